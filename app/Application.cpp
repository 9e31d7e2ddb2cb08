#include "app/Application.h"

#include "text/Error.h"

namespace tarvelo {

AppContext& app() {
    static AppContext context;
    return context;
}

Platform& platform() {
    if (!app().platform) throw Error("程序内部错误：平台层尚未设置。");
    return *app().platform;
}

}  // namespace tarvelo
