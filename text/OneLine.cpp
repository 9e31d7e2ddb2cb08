#include "text/OneLine.h"

namespace tarvelo {

std::string oneLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (text[i] == '\r' || text[i] == '\n')
            out += "⏎";
        else if (text[i] == '\t')
            out += "→";
        else if (const auto c = static_cast<unsigned char>(text[i]); c < 0x20 || c == 0x7F) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace tarvelo
