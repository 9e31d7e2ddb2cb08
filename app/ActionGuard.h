#pragma once

#include <functional>

namespace tarvelo {

// Runs one user action (an event handler) to its end: an exception that escapes it ends the
// action and is shown in the standard error box with its text. Qt never sees an exception.
void runAction(const std::function<void()>& handler);

}  // namespace tarvelo
