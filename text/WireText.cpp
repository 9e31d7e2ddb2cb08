#include "text/WireText.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "text/CodePage936.h"

namespace tarvelo {

namespace {

// The nearest code page 936 form of characters construction workbooks are full of. Anything
// else that code page 936 cannot hold becomes "?", as the boundary makes it, but never
// silently. Sorted by code point.
constexpr std::array<std::pair<char32_t, std::string_view>, 30> kNearest = {{
    {0x00A0, " "},       // no-break space
    {0x00A5, "\uFFE5"},  // ¥ -> ￥
    {0x00A9, "(C)"},     // ©
    {0x00AD, ""},        // soft hyphen: invisible
    {0x00AE, "(R)"},     // ®
    {0x00B2, "2"},       // ² (m²)
    {0x00B3, "3"},       // ³ (m³)
    {0x00B5, "\u03BC"},  // micro sign -> μ
    {0x00B9, "1"},       // ¹
    {0x00BC, "1/4"},     // ¼
    {0x00BD, "1/2"},     // ½
    {0x00BE, "3/4"},     // ¾
    {0x00D8, "\u03A6"},  // Ø -> Φ (diameter)
    {0x00F8, "\u03A6"},  // ø -> Φ
    {0x2002, " "},       // en space
    {0x2003, " "},       // em space
    {0x2009, " "},       // thin space
    {0x200B, ""},        // zero-width space
    {0x2013, "-"},       // en dash
    {0x2022, "\u00B7"},  // bullet -> ·
    {0x2070, "0"},       // superscript zero
    {0x2074, "4"},       // superscript four
    {0x2122, "TM"},      // ™
    {0x2153, "1/3"},     // ⅓
    {0x2154, "2/3"},     // ⅔
    {0x2205, "\u03A6"},  // empty set, written for a diameter -> Φ
    {0x2212, "-"},       // minus sign
    {0x2300, "\u03A6"},  // diameter sign -> Φ
    {0xFEFF, ""},        // byte order mark
    {0xFF5E, "~"},       // fullwidth tilde
}};

// Decodes one UTF-8 sequence at `p`; a malformed one yields its first byte alone.
std::pair<char32_t, std::size_t> decode(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char lead = b(0);
    std::size_t n = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (n == 0 || i + n > s.size()) return {lead, 1};
    char32_t c = n == 1 ? lead : n == 2 ? lead & 0x1F : n == 3 ? lead & 0x0F : lead & 0x07;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xC0) != 0x80) return {lead, 1};
        c = (c << 6) | (b(k) & 0x3F);
    }
    return {c, n};
}

bool isControl(char32_t c) {
    return (c < 0x20 && c != '\t' && c != '\r' && c != '\n') || (c >= 0x7F && c <= 0x9F);
}

bool plain(std::string_view s) {
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x7F || isControl(c)) return false;
    }
    return true;
}

std::string nearest(char32_t c) {
    const auto* at = std::lower_bound(kNearest.begin(), kNearest.end(), c,
                                      [](const auto& e, char32_t v) { return e.first < v; });
    if (at != kNearest.end() && at->first == c) return std::string(at->second);
    return "?";
}

}  // namespace

std::vector<WireFlaw> WireText::flaws(std::string_view utf8) {
    std::vector<WireFlaw> out;
    if (plain(utf8)) return out;
    bool hasControl = false;
    for (char ch : utf8)
        hasControl = hasControl || isControl(static_cast<unsigned char>(ch));
    // Most texts cross unchanged: one round trip tells, before looking at each character.
    if (!hasControl && throughCp936(utf8) == utf8) {
        // C1 controls (U+0080..U+009F) arrive as two bytes and may round-trip; look for them.
        bool c1 = false;
        for (std::size_t i = 0; i + 1 < utf8.size(); ++i)
            c1 = c1 || (static_cast<unsigned char>(utf8[i]) == 0xC2 &&
                        static_cast<unsigned char>(utf8[i + 1]) <= 0x9F);
        if (!c1) return out;
    }
    for (std::size_t i = 0; i < utf8.size();) {
        const auto [code, n] = decode(utf8, i);
        const std::string_view one = utf8.substr(i, n);
        i += n;
        if (isControl(code)) {
            out.push_back({std::string(one), code, "?", true});
        } else if (code >= 0x80 && throughCp936(one) != one) {
            // A stray byte (no UTF-8) is shown as the replacement character.
            out.push_back(
                {n == 1 ? std::string("\uFFFD") : std::string(one), code, nearest(code), false});
        }
    }
    return out;
}

std::string WireText::fitted(std::string_view utf8) {
    if (plain(utf8)) return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto [code, n] = decode(utf8, i);
        const std::string_view one = utf8.substr(i, n);
        i += n;
        if (isControl(code))
            out += '?';
        else if (code >= 0x80 && throughCp936(one) != one)
            out += nearest(code);
        else
            out += one;
    }
    return out;
}

std::string WireText::codeText(char32_t code) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(code));
    return buf;
}

std::string WireText::refusal(std::string_view what, std::string_view text) {
    const auto found = flaws(text);
    if (found.empty()) return {};
    std::string out = std::string(what) + "“" + std::string(text) + "”中有无法传送到服务器的字符：";
    for (std::size_t k = 0; k < found.size(); ++k) {
        const WireFlaw& f = found[k];
        out += k > 0 ? "，" : "";
        out += f.control ? "控制字符 " + codeText(f.code)
                         : "“" + f.character + "”（" + codeText(f.code) + "）";
    }
    return out + "。请改正后再试。";
}

std::string WireText::describe(const WireFlaw& flaw) {
    if (flaw.control) return "控制字符 " + codeText(flaw.code);
    return "“" + flaw.character + "”（" + codeText(flaw.code) + "）将改为“" + flaw.replacement +
           "”";
}

}  // namespace tarvelo
