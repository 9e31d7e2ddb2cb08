#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvelo {

// Numbers as text in the C notation ("3900.5", never "3900,5"), whatever locale the process was
// given: Qt sets the C library's locale from the environment, and printf, strtod and streams then
// follow it. Everything that goes on the wire, into a file, a database or a log goes through here
// (or std::to_chars/from_chars directly).

// As printf's "%.*f": `decimals` digits after the point.
std::string fixedText(double value, int decimals);
// As printf's "%.*g": at most `digits` significant digits, trailing zeros dropped.
std::string significantText(double value, int digits);
// The value of a decimal number written out in full ("-12.5", "+3", ".5", "1E15"); nothing for
// anything else, also hexadecimal, "inf" and "nan", and text around the number.
std::optional<double> decimalValue(std::string_view text);

}  // namespace tarvelo
