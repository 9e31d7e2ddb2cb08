#include "workbook/CellText.h"

#include <algorithm>
#include <charconv>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "text/Date.h"

namespace tarvelo {

std::string numberText(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    if (value == 0) return "0";
    char buf[40];
    // As printf's "%.15G" (general form, 15 significant digits), without its cost.
    const auto written =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    std::string s(buf, written.ptr);
    std::replace(s.begin(), s.end(), 'e', 'E');
    // "%G" writes "1.5E-07" and "1E+15"; the general form writes "1.5E-7" and "1E15".
    const auto e = s.find('E');
    std::string mantissa = s.substr(0, e);
    if (mantissa.find('.') != std::string::npos) {
        while (!mantissa.empty() && mantissa.back() == '0')
            mantissa.pop_back();
        if (!mantissa.empty() && mantissa.back() == '.') mantissa.pop_back();
    }
    if (e == std::string::npos) return mantissa;
    const int exponent = std::atoi(s.c_str() + e + 1);
    return mantissa + "E" + std::to_string(exponent);
}

std::string dateText(double serial, bool date1904) {
    // Outside the days a workbook can show (before its first day, after 9999-12-31), the
    // value reads as the number it is.
    if (!std::isfinite(serial) || serial < 0 || serial >= (date1904 ? 2957004.0 : 2958466.0))
        return numberText(serial);
    double whole = std::floor(serial);
    // Seconds of the day, rounded; a day's end rolls over to the next day, except past the last
    // day there is.
    long seconds = std::lround((serial - whole) * 86400.0);
    if (seconds >= 86400) {
        if (whole + 1 < (date1904 ? 2957004.0 : 2958466.0)) {
            whole += 1;
            seconds -= 86400;
        } else {
            seconds = 86399;
        }
    }
    char clock[64];
    std::snprintf(clock, sizeof clock, "%02ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    // A time of day alone (day 0 of the 1900 system) reads as the time only.
    if (!date1904 && whole == 0) return clock;
    const std::string time = seconds > 0 ? std::string(" ") + clock : std::string();
    // Days from 1970-01-01 of the serial's day.
    long long days;
    if (date1904)
        days = static_cast<long long>(whole) - 24107;  // 1904-01-01 is serial 0
    else if (whole >= 61)
        days = static_cast<long long>(whole) - 25569;  // 1899-12-30 is serial 0
    else if (whole == 60)
        return "1900-02-29" + time;  // the 1900 system's day that never was
    else
        days = static_cast<long long>(whole) - 25568;  // 1899-12-31 is serial 0
    // Civil date from a day count (Howard Hinnant's algorithm).
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const long long y = static_cast<long long>(yoe) + era * 400 + (m <= 2);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", y, m, d);
    return buf + time;
}

bool isBuiltInDateFormat(int id) {
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
           (id >= 50 && id <= 58);
}

bool isDateFormat(std::string_view code) {
    bool quoted = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (quoted) {
            if (c == '"') quoted = false;
            continue;
        }
        switch (c) {
            case '"':
                quoted = true;
                break;
            case '\\':
            case '_':
            case '*':
                ++i;  // the next character is shown as it is (or only spaces for it)
                break;
            case '[': {
                // [h], [mm], [ss]: elapsed time; anything else in brackets is a colour, a
                // condition or a locale.
                const auto end = code.find(']', i);
                const std::string_view inside =
                    code.substr(i + 1, end == std::string_view::npos ? 0 : end - i - 1);
                if (!inside.empty() && inside.find_first_not_of("hHmMsS") == std::string_view::npos)
                    return true;
                if (end == std::string_view::npos) return false;
                i = end;
                break;
            }
            case ';':
                return false;  // only the first section decides
            default:
                switch (c) {
                    case 'y':
                    case 'Y':
                    case 'm':
                    case 'M':
                    case 'd':
                    case 'D':
                    case 'h':
                    case 'H':
                    case 's':
                    case 'S':
                        return true;
                    default:
                        break;
                }
        }
    }
    return false;
}

}  // namespace tarvelo
