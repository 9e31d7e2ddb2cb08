#include "soap/SoapValue.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "text/Error.h"
#include "text/Trim.h"

namespace tarvelo {

std::string soapDoubleText(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, ec == std::errc() ? end : buf);
}

double soapDouble(std::string_view text, std::string_view what) {
    const std::string_view t = trim(text);
    if (t == "NaN") return std::numeric_limits<double>::quiet_NaN();
    if (t == "INF") return std::numeric_limits<double>::infinity();
    if (t == "-INF") return -std::numeric_limits<double>::infinity();
    // from_chars also takes "inf", "nan" and the like, which are no xsd:double forms
    const bool decimal = t.find_first_not_of("0123456789+-.eE") == std::string_view::npos;
    double value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (t.empty() || !decimal || ec != std::errc() || end != t.data() + t.size())
        throw Error("“" + std::string(what) + "”不是有效的双精度数：“" + excerpt(text) + "”");
    return value;
}

std::int32_t soapInt(std::string_view text, std::string_view what) {
    std::string_view t = trim(text);
    if (t.size() > 1 && t[0] == '+' && t[1] >= '0' && t[1] <= '9') t.remove_prefix(1);
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size())
        throw Error("“" + std::string(what) + "”不是有效的 32 位整数：“" + excerpt(text) + "”");
    return value;
}

}  // namespace tarvelo
