#pragma once

#include <string>
#include <string_view>

namespace tarvelo {

// `value` as an SQL string literal: between single quotes, each embedded single quote doubled.
// Every value a user typed reaches a statement through this one function, so a name such as
// "O'Neil" is a value and never part of the statement's syntax.
std::string sqlLiteral(std::string_view value);

}  // namespace tarvelo
