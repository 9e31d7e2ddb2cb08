#include "text/Date.h"

#include <cstdio>
#include <ctime>

#include "text/Trim.h"

namespace tarvelo {

namespace {

// Reads `width` digits (or, when minWidth < width, between minWidth and width) at `pos`.
std::optional<int> digits(std::string_view s, std::size_t& pos, std::size_t minWidth,
                          std::size_t width) {
    int value = 0;
    std::size_t n = 0;
    while (n < width && pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        value = value * 10 + (s[pos] - '0');
        ++pos;
        ++n;
    }
    if (n < minWidth) return std::nullopt;
    return value;
}

std::optional<Date> make(int y, int m, int d) {
    if (!Date::isValid(y, m, d)) return std::nullopt;
    return Date{y, m, d};
}

}  // namespace

std::tm Date::localTime(std::time_t t) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return local;
}

Date Date::today() {
    const std::tm local = localTime(std::time(nullptr));
    return Date{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

bool Date::isValid(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::optional<Date> Date::fromCompact(std::string_view text) {
    if (text.size() != 8) return std::nullopt;
    std::size_t pos = 0;
    auto y = digits(text, pos, 4, 4);
    auto m = digits(text, pos, 2, 2);
    auto d = digits(text, pos, 2, 2);
    if (!y || !m || !d) return std::nullopt;
    return make(*y, *m, *d);
}

std::optional<Date> Date::fromText(std::string_view text) {
    text = trim(text);
    if (text.size() == 8 && text.find_first_not_of("0123456789") == std::string_view::npos)
        return fromCompact(text);
    std::size_t pos = 0;
    auto y = digits(text, pos, 4, 4);
    if (!y || pos >= text.size()) return std::nullopt;
    const char sep = text[pos];
    if (sep != '-' && sep != '/' && sep != '.') return std::nullopt;
    ++pos;
    auto m = digits(text, pos, 1, 2);
    if (!m || pos >= text.size() || text[pos] != sep) return std::nullopt;
    ++pos;
    auto d = digits(text, pos, 1, 2);
    if (!d || pos != text.size()) return std::nullopt;
    return make(*y, *m, *d);
}

std::string Date::period() const {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d", year, month);
    return buf;
}

std::string Date::compact() const {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", year, month, day);
    return buf;
}

std::string Date::shortText() const {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
    return buf;
}

}  // namespace tarvelo
