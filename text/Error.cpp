#include "text/Error.h"

namespace tarvelo {

namespace {
std::string joined(const std::string& message, const std::string& detail) {
    return detail.empty() ? message : message + "\n" + detail;
}
}  // namespace

Error::Error(std::string message, std::string detail)
    : std::runtime_error(joined(message, detail)),
      m_message(std::move(message)),
      m_detail(std::move(detail)) {}

std::string excerpt(std::string_view text, std::size_t maxChars) {
    std::size_t chars = 0;
    std::size_t i = 0;
    while (i < text.size() && chars < maxChars) {
        ++i;
        // continuation bytes belong to the code point just started
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;
        ++chars;
    }
    std::string out(text.substr(0, i));
    if (i < text.size()) out += "…";
    return out;
}

}  // namespace tarvelo
