#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tarvelo {

// A parameter or result of the service's operations: xsd:string, xsd:int, xsd:double or a
// SOAP-encoded array of xsd:double.
using SoapValue = std::variant<std::string, std::int32_t, double, std::vector<double>>;

// The XML Schema lexical forms. Doubles are written in the shortest form that reads back to the
// same value ("INF", "-INF" and "NaN" for the special values).
std::string soapDoubleText(double value);
// Throws tarvelo::Error (naming `what`) when the text is not of the type.
double soapDouble(std::string_view text, std::string_view what);
std::int32_t soapInt(std::string_view text, std::string_view what);

}  // namespace tarvelo
