#include "text/NumberText.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace tarvelo {

namespace {

std::string written(double value, std::chars_format format, int precision) {
    char buf[400];  // "%.2f" of 1E308 has 309 digits before the point
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, format, precision);
    return ec == std::errc() ? std::string(buf, end) : std::string();
}

// A well-formed decimal number too large or too small for a double: whether its magnitude is
// above 1 tells which, from its digits' place and its exponent.
double outOfRange(std::string_view text) {
    const bool negative = text[0] == '-';
    if (negative) text.remove_prefix(1);
    const std::size_t e = text.find_first_of("eE");
    const std::string_view digits = text.substr(0, e);
    long long exponent = 0;
    if (e != std::string_view::npos) {
        std::string_view x = text.substr(e + 1);
        if (!x.empty() && x[0] == '+') x.remove_prefix(1);
        if (std::from_chars(x.data(), x.data() + x.size(), exponent).ec != std::errc())
            exponent = x.starts_with('-') ? -(1LL << 40) : (1LL << 40);  // too many digits
    }
    const std::size_t point = std::min(digits.find('.'), digits.size());
    const std::size_t first = digits.find_first_of("123456789");
    // The place of the first significant digit: 0 for the units.
    const long long place = first < point ? static_cast<long long>(point - first - 1)
                                          : -static_cast<long long>(first - point);
    const double huge = std::numeric_limits<double>::infinity();
    return (place + exponent > 0 ? huge : 0.0) * (negative ? -1.0 : 1.0);
}

}  // namespace

std::string fixedText(double value, int decimals) {
    return written(value, std::chars_format::fixed, decimals);
}

std::string significantText(double value, int digits) {
    return written(value, std::chars_format::general, digits);
}

std::optional<double> decimalValue(std::string_view text) {
    if (text.empty() || text.size() > 64) return std::nullopt;
    if (text.find_first_not_of("0123456789+-.eE") != std::string_view::npos) return std::nullopt;
    // from_chars takes no "+" before the number; strtod did, and a "+" stays accepted.
    if (text[0] == '+') {
        text.remove_prefix(1);
        if (text.empty() || text[0] == '+' || text[0] == '-') return std::nullopt;
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if ((ec != std::errc() && ec != std::errc::result_out_of_range) ||
        end != text.data() + text.size())
        return std::nullopt;
    // Out of range ("1E999", "1E-999") is still a number written out in full: it is what strtod
    // makes of it, an infinity or a zero of its sign (from_chars leaves the value untouched).
    if (ec == std::errc::result_out_of_range) return outOfRange(text);
    return value;
}

}  // namespace tarvelo
