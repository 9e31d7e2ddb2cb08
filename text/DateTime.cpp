#include "text/DateTime.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "text/Trim.h"

namespace tarvelo {

namespace {

bool isDigits(std::string_view s) {
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return !s.empty();
}

int number(std::string_view s) {
    int v = 0;
    for (char c : s)
        v = v * 10 + (c - '0');
    return v;
}

bool validTime(int h, int m, int s, int ms) {
    return h >= 0 && h < 24 && m >= 0 && m < 60 && s >= 0 && s < 60 && ms >= 0 && ms < 1000;
}

}  // namespace

DateTime DateTime::now() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    const std::tm local = Date::localTime(seconds);
    return DateTime{Date{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday}, local.tm_hour,
                    local.tm_min, local.tm_sec, static_cast<int>(ms % 1000)};
}

std::optional<DateTime> DateTime::fromPacket(std::string_view text) {
    // yyyymmddThh:mm:sssss
    if (text.size() != 20 || text[8] != 'T' || text[11] != ':' || text[14] != ':')
        return std::nullopt;
    const auto date = Date::fromCompact(text.substr(0, 8));
    const auto h = text.substr(9, 2), m = text.substr(12, 2), s = text.substr(15, 5);
    if (!date || !isDigits(h) || !isDigits(m) || !isDigits(s)) return std::nullopt;
    const int ms = number(s);
    DateTime dt{*date, number(h), number(m), ms / 1000, ms % 1000};
    if (!validTime(dt.hour, dt.minute, dt.second, dt.millisecond)) return std::nullopt;
    return dt;
}

std::optional<DateTime> DateTime::fromText(std::string_view text) {
    text = trim(text);
    const std::size_t blank = text.find(' ');
    const auto date = Date::fromText(text.substr(0, blank));
    if (!date) return std::nullopt;
    if (blank == std::string_view::npos) return DateTime{*date};
    const std::string_view time = trim(text.substr(blank));
    // hh:mm or hh:mm:ss, hours of one or two digits
    const std::size_t c1 = time.find(':');
    if (c1 == std::string_view::npos) return std::nullopt;
    const std::size_t c2 = time.find(':', c1 + 1);
    const auto h = time.substr(0, c1);
    const auto m =
        time.substr(c1 + 1, c2 == std::string_view::npos ? std::string_view::npos : c2 - c1 - 1);
    const auto s = c2 == std::string_view::npos ? std::string_view("0") : time.substr(c2 + 1);
    if (h.size() > 2 || m.size() != 2 || s.size() > 2 || !isDigits(h) || !isDigits(m) ||
        !isDigits(s))
        return std::nullopt;
    DateTime dt{*date, number(h), number(m), number(s), 0};
    if (!validTime(dt.hour, dt.minute, dt.second, 0)) return std::nullopt;
    return dt;
}

std::string DateTime::packetText() const {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02dT%02d:%02d:%05d", date.year, date.month, date.day,
                  hour, minute, second * 1000 + millisecond);
    return buf;
}

std::string DateTime::shortText() const {
    if (hour == 0 && minute == 0 && second == 0) return date.shortText();
    char buf[16];
    std::snprintf(buf, sizeof buf, " %02d:%02d:%02d", hour, minute, second);
    return date.shortText() + buf;
}

}  // namespace tarvelo
