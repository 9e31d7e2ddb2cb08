#include "text/CodePage936.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

#include "text/Cp936Passage.h"
#include "text/Error.h"

namespace tarvelo {

namespace {

// glibc's //TRANSLIT depends on the locale and //IGNORE drops characters, so neither gives the
// fixed "?" rule: convert in a loop and step over each unconvertible sequence by hand.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw Error("无法进行代码页 936 的文字转换。",
                        std::string("iconv_open ") + from + " -> " + to + " 失败");
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // `skip` tells how many input bytes an unconvertible sequence at `p` spans.
    template <typename Skip>
    std::string convert(std::string_view in, Skip skip) {
        std::string out;
        out.resize(in.size() * 3 / 2 + 16);
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        std::size_t used = 0;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        while (srcLeft > 0) {
            char* dst = out.data() + used;
            std::size_t dstLeft = out.size() - used;
            const std::size_t rc = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            used = out.size() - dstLeft;
            if (rc != static_cast<std::size_t>(-1)) break;
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            // EILSEQ or EINVAL (a sequence cut off at the end): one "?" for it, then go on.
            const std::size_t n = std::min(skip(src, srcLeft), srcLeft);
            src += n;
            srcLeft -= n;
            if (used == out.size()) out.resize(out.size() * 2);
            out[used++] = '?';
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
        out.resize(used);
        return out;
    }

private:
    iconv_t m_cd;
};

// Length of the UTF-8 sequence starting at p; a stray byte counts alone.
std::size_t utf8SequenceLength(const char* p, std::size_t left) {
    const unsigned char lead = static_cast<unsigned char>(*p);
    std::size_t n = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (n > left) n = left;
    for (std::size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80) return i;
    return n;
}

// A lead byte of code page 936 (0x81..0xFE) with a valid trail byte forms one character; any
// other bad byte stands alone.
std::size_t cp936SequenceLength(const char* p, std::size_t left) {
    const unsigned char lead = static_cast<unsigned char>(*p);
    if (lead >= 0x81 && lead <= 0xFE && left >= 2) {
        const unsigned char trail = static_cast<unsigned char>(p[1]);
        if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) return 2;
    }
    return 1;
}

bool isAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

Converter& toCp936() {
    thread_local Converter c("CP936", "UTF-8");
    return c;
}

Converter& fromCp936() {
    thread_local Converter c("UTF-8", "CP936");
    return c;
}

}  // namespace

std::string utf8ToCp936(std::string_view utf8) {
    if (isAscii(utf8)) return std::string(utf8);
    return toCp936().convert(utf8, utf8SequenceLength);
}

std::string cp936ToUtf8(std::string_view cp936) {
    if (isAscii(cp936)) return std::string(cp936);
    return fromCp936().convert(cp936, cp936SequenceLength);
}

std::string throughCp936(std::string_view utf8) {
    if (isAscii(utf8)) return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    Cp936Passage passage;
    passage.pass(utf8, out);
    passage.finish(out);
    return out;
}

bool isCommonIdeographAt(std::string_view utf8, std::size_t i) {
    if (i + 2 >= utf8.size()) return false;
    const auto c = static_cast<unsigned char>(utf8[i]);
    const auto c1 = static_cast<unsigned char>(utf8[i + 1]);
    const auto c2 = static_cast<unsigned char>(utf8[i + 2]);
    if ((c & 0xF0) != 0xE0 || (c1 & 0xC0) != 0x80 || (c2 & 0xC0) != 0x80) return false;
    const unsigned cp = ((c & 0x0Fu) << 12) | ((c1 & 0x3Fu) << 6) | (c2 & 0x3Fu);
    return cp >= 0x4E00 && cp <= 0x9FA5;
}

std::size_t cp936Length(std::string_view utf8) {
    // Width checks run this on every value the service stores, so the common characters are
    // counted without the converter: ASCII takes one byte and every CJK unified ideograph of
    // U+4E00..U+9FA5 (all of which code page 936 holds) two. Anything else goes through iconv.
    std::size_t bytes = 0;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            ++bytes;
            ++i;
            continue;
        }
        if (isCommonIdeographAt(utf8, i)) {
            bytes += 2;
            i += 3;
            continue;
        }
        // One sequence through the converter, so that a stray byte counts as its one "?".
        const std::size_t n = utf8SequenceLength(utf8.data() + i, utf8.size() - i);
        bytes += utf8ToCp936(utf8.substr(i, n)).size();
        i += n;
    }
    return bytes;
}

}  // namespace tarvelo
