#include "text/WireText.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "text/CodePage936.h"
#include "text/Utf8.h"

namespace tarvelo {

namespace {

// The nearest code page 936 form of characters construction workbooks are full of. Anything
// else that code page 936 cannot hold becomes "?", as the boundary makes it, but never
// silently. Sorted by code point.
constexpr std::array<std::pair<char32_t, std::string_view>, 28> kNearest = {{
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
}};

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

// Whether `s` holds a control character: C0 and DEL as single bytes, C1 as C2 80..C2 9F.
bool hasControl(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80 && isControl(c)) return true;
        if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) <= 0x9F)
            return true;
    }
    return false;
}

std::string nearest(char32_t c) {
    const auto* at = std::lower_bound(kNearest.begin(), kNearest.end(), c,
                                      [](const auto& e, char32_t v) { return e.first < v; });
    if (at != kNearest.end() && at->first == c) return std::string(at->second);
    return "?";
}

// What one character becomes: itself when it travels, else its nearest form or "?".
WireFlaw judge(std::string_view one, const Utf8Char& d) {
    if (!d.valid) return {"\uFFFD", d.code, "?", false, true};
    if (isControl(d.code)) return {std::string(one), d.code, "?", true, false};
    return {std::string(one), d.code, nearest(d.code), false, false};
}

// Calls `take(character, flaw)` for each character of `utf8`, the flaw null where the character
// travels as it is. Returns false, without a call, when the whole text travels unchanged: most
// texts do, and one round trip tells (a malformed sequence never survives it).
template <typename Take>
bool walk(std::string_view utf8, Take take) {
    if (plain(utf8) || (!hasControl(utf8) && throughCp936(utf8) == utf8)) return false;
    for (std::size_t i = 0; i < utf8.size();) {
        const Utf8Char d = decodeUtf8(utf8, i);
        const std::string_view one = utf8.substr(i, d.length);
        i += d.length;
        if (!d.valid || isControl(d.code) || (d.code >= 0x80 && throughCp936(one) != one)) {
            const WireFlaw flaw = judge(one, d);
            take(one, &flaw);
        } else {
            take(one, nullptr);
        }
    }
    return true;
}

}  // namespace

std::vector<WireFlaw> WireText::flaws(std::string_view utf8) {
    std::vector<WireFlaw> out;
    walk(utf8, [&](std::string_view, const WireFlaw* flaw) {
        if (flaw) out.push_back(*flaw);
    });
    return out;
}

std::string WireText::fitted(std::string_view utf8) {
    std::string out;
    const bool changed = walk(utf8, [&](std::string_view one, const WireFlaw* flaw) {
        out += flaw ? std::string_view(flaw->replacement) : one;
    });
    return changed ? out : std::string(utf8);
}

std::string WireText::byteText(char32_t byte) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned>(byte));
    return buf;
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
               : f.stray ? "无效的 UTF-8 字节 " + byteText(f.code)
                         : "“" + f.character + "”（" + codeText(f.code) + "）";
    }
    return out + "。请改正后再试。";
}

std::string WireText::describe(const WireFlaw& flaw) {
    if (flaw.control) return "控制字符 " + codeText(flaw.code);
    if (flaw.stray) return "无效的 UTF-8 字节 " + byteText(flaw.code) + " 将改为“?”";
    return "“" + flaw.character + "”（" + codeText(flaw.code) + "）将改为“" + flaw.replacement +
           "”";
}

}  // namespace tarvelo
