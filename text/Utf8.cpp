#include "text/Utf8.h"

namespace tarvelo {

Utf8Char decodeUtf8(std::string_view text, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = b(0);
    if (lead < 0x80) return {lead, 1, true};
    const std::size_t n = lead >= 0xC2 && lead <= 0xDF   ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    if (n == 0 || i + n > text.size()) return {lead, 1, false};
    char32_t c = n == 2 ? lead & 0x1F : n == 3 ? lead & 0x0F : lead & 0x07;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xC0) != 0x80) return {lead, 1, false};
        c = (c << 6) | (b(k) & 0x3F);
    }
    const char32_t least = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return {lead, 1, false};
    return {c, n, true};
}

}  // namespace tarvelo
