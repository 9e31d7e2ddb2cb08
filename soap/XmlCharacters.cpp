#include "soap/XmlCharacters.h"

#include <cstdint>
#include <cstdio>
#include <utility>

#include "text/Utf8.h"

namespace tarvelo::xmlchars {

namespace {

bool allowed(std::uint32_t cp) {
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
           (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

std::string at(std::size_t offset) {
    return "（位置 " + std::to_string(offset) + "）";
}

std::string byteText(unsigned char c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", c);
    return buf;
}

// The character reference "&#...;" at `i`: its length, or a description of what is wrong.
struct Reference {
    std::size_t length = 0;
    std::optional<std::string> problem;
};

Reference reference(std::string_view xml, std::size_t i) {
    std::size_t k = i + 2;
    const bool hex = k < xml.size() && xml[k] == 'x';
    if (hex) ++k;
    const std::size_t digits = k;
    std::uint32_t cp = 0;
    bool tooLarge = false;
    for (; k < xml.size() && xml[k] != ';'; ++k) {
        const char c = xml[k];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
        if (cp > 0x10FFFF) {
            tooLarge = true;
            cp = 0x110000;
        }
    }
    const std::string_view text = xml.substr(i, k + 1 - i);
    if (k >= xml.size() || xml[k] != ';' || k == digits)
        return {0, "字符引用“" + std::string(text.substr(0, 12)) + "”不完整" + at(i)};
    if (tooLarge || !allowed(cp))
        return {0,
                "字符引用“" + std::string(text.substr(0, 16)) + "”指向 XML 不允许的字符" + at(i)};
    return {k + 1 - i, std::nullopt};
}

}  // namespace

std::size_t charLength(std::string_view text, std::size_t i) {
    const Utf8Char c = decodeUtf8(text, i);
    return c.valid && allowed(c.code) ? c.length : 0;
}

std::optional<std::string> problem(std::string_view xml) {
    // Up to here references are plain text: the inside of a CDATA section, comment or
    // processing instruction. Those open only in content, never inside a tag: a parser may take
    // "<?" in an attribute value as text, and what follows must still be looked at.
    std::size_t literalEnd = 0;
    bool inTag = false;
    char quote = 0;  // the quote of the attribute value being read, inside a tag
    for (std::size_t i = 0; i < xml.size();) {
        const char c = xml[i];
        if (i < literalEnd) {
        } else if (inTag) {
            if (quote != 0 && c == quote)
                quote = 0;
            else if (quote == 0 && (c == '"' || c == '\''))
                quote = c;
            else if (quote == 0 && c == '>')
                inTag = false;
        } else if (c == '<') {
            bool literal = false;
            for (const auto& [open, close] :
                 {std::pair<std::string_view, std::string_view>{"<![CDATA[", "]]>"},
                  {"<!--", "-->"},
                  {"<?", "?>"}}) {
                if (xml.substr(i, open.size()) != open) continue;
                const auto end = xml.find(close, i + open.size());
                literalEnd = end == std::string_view::npos ? xml.size() : end + close.size();
                literal = true;
                break;
            }
            inTag = !literal;
        }
        if (i >= literalEnd && c == '&' && i + 1 < xml.size() && xml[i + 1] == '#') {
            const Reference r = reference(xml, i);
            if (r.problem) return r.problem;
            i += r.length;
            continue;
        }
        const std::size_t n = charLength(xml, i);
        if (n == 0) {
            const auto b = static_cast<unsigned char>(c);
            if (b < 0x20) return "控制字符 " + byteText(b) + at(i);
            return "字节 " + byteText(b) + " 不是 UTF-8 字符或 XML 不允许的字符" + at(i);
        }
        i += n;
    }
    return std::nullopt;
}

}  // namespace tarvelo::xmlchars
