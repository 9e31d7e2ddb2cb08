#include "text/Base64.h"

#include <array>
#include <cstdint>
#include <cstdio>

#include "text/Error.h"

// Written by hand: the line form (CR LF after every 76 characters) and the strict refusals are
// part of the wire contract, and none of our libraries offers exactly that pair.

namespace tarvelo {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kLineLength = 76;
constexpr std::uint8_t kInvalid = 0xFF;

constexpr std::array<std::uint8_t, 256> makeDecodeTable() {
    std::array<std::uint8_t, 256> table{};
    for (auto& v : table)
        v = kInvalid;
    for (std::uint8_t i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}
constexpr auto kDecode = makeDecodeTable();

[[noreturn]] void refuse(std::size_t offset, const std::string& why) {
    throw Error("Base64 文本无效，无法解码。", "位置 " + std::to_string(offset) + "：" + why);
}

}  // namespace

std::string base64Encode(std::string_view bytes) {
    const std::size_t chars = (bytes.size() + 2) / 3 * 4;
    std::string out;
    out.reserve(chars + chars / kLineLength * 2);
    std::size_t lineFill = 0;
    auto put = [&](char c) {
        if (lineFill == kLineLength) {
            out += "\r\n";
            lineFill = 0;
        }
        out += c;
        ++lineFill;
    };
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t n = static_cast<unsigned char>(bytes[i]) << 16 |
                                static_cast<unsigned char>(bytes[i + 1]) << 8 |
                                static_cast<unsigned char>(bytes[i + 2]);
        put(kAlphabet[n >> 18]);
        put(kAlphabet[(n >> 12) & 63]);
        put(kAlphabet[(n >> 6) & 63]);
        put(kAlphabet[n & 63]);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        std::uint32_t n = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        put(kAlphabet[n >> 18]);
        put(kAlphabet[(n >> 12) & 63]);
        put(rest == 2 ? kAlphabet[(n >> 6) & 63] : '=');
        put('=');
    }
    return out;
}

std::string base64Decode(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3);
    std::uint32_t group = 0;
    int inGroup = 0;
    int padding = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') continue;
        if (c == '=') {
            if (inGroup < 2) refuse(i, "填充符“=”出现的位置不对");
            ++padding;
            group <<= 6;
            if (++inGroup == 4) {
                out += static_cast<char>(group >> 16);
                if (padding == 1) out += static_cast<char>((group >> 8) & 0xFF);
                group = 0;
                inGroup = 0;
            }
            continue;
        }
        if (padding > 0) refuse(i, "填充符“=”之后还有字符");
        const std::uint8_t v = kDecode[static_cast<unsigned char>(c)];
        if (v == kInvalid) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(c));
            refuse(i, std::string("字节 ") + hex + " 不属于 Base64 字母表");
        }
        group = group << 6 | v;
        if (++inGroup == 4) {
            out += static_cast<char>(group >> 16);
            out += static_cast<char>((group >> 8) & 0xFF);
            out += static_cast<char>(group & 0xFF);
            group = 0;
            inGroup = 0;
        }
    }
    if (inGroup != 0) refuse(text.size(), "文本不是完整的四字符组");
    return out;
}

}  // namespace tarvelo
