#include "app/ActionGuard.h"

#include <exception>

#include "app/Application.h"
#include "platform/Platform.h"
#include "service/IISdm.h"
#include "text/Error.h"

namespace tarvelo {

std::string failureText(const std::exception& e) {
    const Error* cause = IISdmPtr ? IISdmPtr->queryFailure() : nullptr;
    std::string text = cause ? cause->what() : e.what();
    if (IISdmPtr) IISdmPtr->forgetQueryFailure();
    return text;
}

void runAction(const std::function<void()>& handler) {
    // A query that failed earlier is no cause of what this action meets. An action run while
    // another waits for the service (the marquee's timer) leaves that one's failure alone.
    static int depth = 0;
    if (depth == 0 && IISdmPtr) IISdmPtr->forgetQueryFailure();
    struct Depth {
        Depth() { ++depth; }
        ~Depth() { --depth; }
    } nested;
    try {
        handler();
    } catch (const std::exception& e) {
        try {
            platform().errorBox(failureText(e));
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
