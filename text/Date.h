#pragma once

#include <compare>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace tarvelo {

// The application's short date form, the one way dates are shown and read as text: what
// Date::shortText() writes, spelled in Qt's notation for the windows' date pickers. Change both
// together (the Date tests hold them to each other).
inline constexpr std::string_view kShortDateFormat = "yyyy-MM-dd";

// A calendar date (proleptic Gregorian, years 1 to 9999) and its text forms.
struct Date {
    int year = 0;
    int month = 0;
    int day = 0;

    static Date today();  // local date
    // The broken-down local time of `t`, on every system (the C library's reentrant call differs
    // between POSIX and Windows).
    static std::tm localTime(std::time_t t);
    static bool isValid(int year, int month, int day);

    // Text typed or read as a date: "yyyy-MM-dd", "yyyy/M/d", "yyyy.M.d" (month and day of one
    // or two digits in the three separated forms) or "yyyyMMdd". Blanks around it are ignored.
    // nullopt for anything else, including dates that do not exist.
    static std::optional<Date> fromText(std::string_view text);
    // Exactly eight digits "yyyymmdd", the packet's form of a date.
    static std::optional<Date> fromCompact(std::string_view text);

    std::string period() const;     // "YYYYMM"
    std::string compact() const;    // "yyyymmdd"
    std::string shortText() const;  // "yyyy-MM-dd"

    auto operator<=>(const Date&) const = default;
};

}  // namespace tarvelo
