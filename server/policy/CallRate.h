#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tarvelo::server {

// How often each caller may do something, as a bucket of calls per caller: it holds `burst`
// calls when full, a call takes one, and one comes back every `refill`. A caller whose bucket
// is empty is refused until one has come back. Callers are told apart by a key (their address).
// Thread-safe.
class CallRate {
public:
    using Clock = std::chrono::steady_clock;

    CallRate(int burst, std::chrono::milliseconds refill);

    // Whether `caller` may call now; a call taken is counted.
    bool take(std::string_view caller, Clock::time_point now = Clock::now());

private:
    struct Bucket {
        double calls = 0;  // left, at `at`
        Clock::time_point at;
    };
    double refilled(const Bucket& b, Clock::time_point now) const;

    int m_burst;
    std::chrono::milliseconds m_refill;
    std::mutex m_mutex;
    std::unordered_map<std::string, Bucket> m_buckets;
};

}  // namespace tarvelo::server
