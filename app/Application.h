#pragma once

#include <functional>

#include "service/ServiceConfig.h"

namespace tarvelo {

class CallWaiter;
class Platform;

// What every window of the program shares: the platform layer, where the service is, and how
// the program ends. Set up by the entry before the first window is built (tests set it too).
struct AppContext {
    Platform* platform = nullptr;
    // How service calls wait: the windows keep painting while input is held back. Null: on the
    // calling thread, as command-line tools do.
    CallWaiter* waiter = nullptr;
    ServiceConfig config;
    // Ends the program: leaves the message loop (tests record the request instead).
    std::function<void()> terminate;

    // Points the program at `platform` and at the reference service at `base`
    // ("http://host:port"), as tests and benchmarks run it.
    void use(Platform& platform, const std::string& base, std::function<void()> terminate = {});
    // Forgets the platform, the service and the ending, as between two tests; the way calls
    // wait belongs to the program and stays.
    void reset();
};

AppContext& app();
Platform& platform();

}  // namespace tarvelo
