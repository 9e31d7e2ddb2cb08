#include "app/ActionGuard.h"

#include <exception>

#include "app/Application.h"
#include "platform/Platform.h"

namespace tarvelo {

void runAction(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        try {
            platform().errorBox(e.what());
        } catch (...) {
        }
    } catch (...) {
        try {
            platform().errorBox("发生了未知的错误。");
        } catch (...) {
        }
    }
}

}  // namespace tarvelo
