#pragma once

#include <atomic>
#include <functional>
#include <string>

namespace tarvelo {

// Which side of the service a call goes to. A read may be abandoned; a write may not: once it is
// sent, only the service knows whether it was applied.
enum class CallSide { Read, Write };

// How a caller waits for one HTTP exchange with the service. Without a waiter the exchange runs
// on the caller's thread; the desktop client's waiter runs it on a thread of its own and keeps
// the windows painting meanwhile, with user input held back.
class CallWaiter {
public:
    struct Call {
        std::string what;  // what is being done, for the user: "正在查询…"
        CallSide side = CallSide::Read;
    };

    virtual ~CallWaiter() = default;

    // Runs `exchange` to its end and returns then. `exchange` throws nothing and may run on
    // another thread; it watches `cancel`, which the waiter raises when the user abandons a read.
    virtual void wait(const Call& call, const std::function<void()>& exchange,
                      std::atomic<bool>& cancel) = 0;
};

}  // namespace tarvelo
