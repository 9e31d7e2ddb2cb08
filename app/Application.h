#pragma once

#include <functional>

#include "service/ServiceConfig.h"

namespace tarvelo {

class Platform;

// What every window of the program shares: the platform layer, where the service is, and how
// the program ends. Set up by the entry before the first window is built (tests set it too).
struct AppContext {
    Platform* platform = nullptr;
    ServiceConfig config;
    // Ends the program: leaves the message loop (tests record the request instead).
    std::function<void()> terminate;

    // Points the program at `platform` and at the reference service at `base`
    // ("http://host:port"), as tests and benchmarks run it.
    void use(Platform& platform, const std::string& base, std::function<void()> terminate = {});
};

AppContext& app();
Platform& platform();

}  // namespace tarvelo
