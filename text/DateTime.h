#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

#include "text/Date.h"

namespace tarvelo {

// A date with a time of day to the millisecond.
struct DateTime {
    Date date;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    static DateTime now();  // local time

    // The packet's form "yyyymmddThh:mm:sssss", the last five digits being seconds times 1000
    // plus milliseconds. nullopt when the text is not exactly that or names no real instant.
    static std::optional<DateTime> fromPacket(std::string_view text);
    // The short date form (any form Date::fromText takes), optionally followed by blanks and
    // "hh:mm" or "hh:mm:ss".
    static std::optional<DateTime> fromText(std::string_view text);

    std::string packetText() const;
    // "yyyy-MM-dd hh:mm:ss"; just the short date when the time is midnight.
    std::string shortText() const;

    auto operator<=>(const DateTime&) const = default;
};

}  // namespace tarvelo
