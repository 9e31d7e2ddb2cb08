#include "app/Application.h"

#include "text/Error.h"

namespace tarvelo {

AppContext& app() {
    static AppContext context;
    return context;
}

void AppContext::use(Platform& p, const std::string& base, std::function<void()> end) {
    platform = &p;
    config = ServiceConfig::forService(base);
    terminate = std::move(end);
}

void AppContext::reset() {
    CallWaiter* const kept = waiter;
    *this = AppContext{};
    waiter = kept;
}

Platform& platform() {
    if (!app().platform) throw Error("程序内部错误：平台层尚未设置。");
    return *app().platform;
}

}  // namespace tarvelo
