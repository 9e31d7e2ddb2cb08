#pragma once

#include <string>
#include <string_view>

namespace tarvelo {

// The text of a cell's value, as the import reads it:
//   numbers in general notation, up to 15 significant digits, "." as the decimal separator, no
//   trailing zeros, exponent form ("1.5E-7", "1E15") only for very large or small magnitudes;
//   a number whose format is a date as "yyyy-MM-dd", with " HH:mm:ss" when it has a time of day.
std::string numberText(double value);
// `serial` days of the workbook's date system (1904 or 1900, with the 1900 system's fictitious
// 29 February 1900 as serial 60). A serial no date can stand for (negative, past 9999-12-31,
// not finite) reads as its number.
std::string dateText(double serial, bool date1904);

// Whether a number format code shows a date or time: a date or time letter (y m d h s) outside
// quoted text, brackets and escaped characters.
bool isDateFormat(std::string_view code);
// Whether a built-in number format id is a date or time format.
bool isBuiltInDateFormat(int id);

}  // namespace tarvelo
