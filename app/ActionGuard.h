#pragma once

#include <exception>
#include <functional>
#include <string>

namespace tarvelo {

// Runs one user action (an event handler) to its end: an exception that escapes it ends the
// action and is shown in the standard error box with its text. Qt never sees an exception.
void runAction(const std::function<void()>& handler);

// What the user is told of `e`, which ended an action or the start-up. A failed query answers
// "出错", and what fails next (its packet cannot be read) is only the consequence: the text is
// then why the query failed. The failure is forgotten once told.
std::string failureText(const std::exception& e);

}  // namespace tarvelo
