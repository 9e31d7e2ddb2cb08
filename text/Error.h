#pragma once

#include <stdexcept>
#include <string>

namespace tarvelo {

// The one failure type of the core. message() says in Chinese what went wrong, for the user;
// detail() carries the technical particulars (parser offsets, library texts). what() is the two
// joined by a line break, which is what the standard error box shows.
class Error : public std::runtime_error {
public:
    explicit Error(std::string message, std::string detail = {});

    const std::string& message() const { return m_message; }
    const std::string& detail() const { return m_detail; }

private:
    std::string m_message;
    std::string m_detail;
};

// The first characters of `text` for an error message: at most `maxChars` code points, cut on a
// UTF-8 boundary and followed by "…" when something was left off.
std::string excerpt(std::string_view text, std::size_t maxChars = 80);

}  // namespace tarvelo
