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
};

AppContext& app();
Platform& platform();

}  // namespace tarvelo
