#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace tarvelo {

// The auto-login cookie of one service, kept between runs for this user of the computer: a file
// per service host in the program's data folder (on Linux ~/.local/share/Tarvelo/), readable and
// writable by its owner alone, holding the cookie's line as the data module gives it
// (TIISdmPtr::cookieLine). Whoever holds the line signs in to its account without the password.
class AutoLoginCookie {
public:
    // The cookie the service sets on a verified password login.
    static constexpr std::string_view kName = "TarveloAutoLogin";

    // The file for the service whose read side is at `serviceUrl`: named by a hash of its host,
    // so that each service host keeps its own (cookies, too, are kept by host, not by port).
    static QString fileFor(const std::string& serviceUrl);
    // The line kept for the service; empty when none is kept or it cannot be read.
    static std::string load(const std::string& serviceUrl);
    // Keeps `line` for the service, replacing what was kept; false when it cannot be written
    // (nothing is kept then).
    static bool store(const std::string& serviceUrl, std::string_view line);
    // Removes what is kept for the service; nothing kept is no failure.
    static void forget(const std::string& serviceUrl);
};

}  // namespace tarvelo
