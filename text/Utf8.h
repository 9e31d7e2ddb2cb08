#pragma once

#include <cstddef>
#include <string_view>

namespace tarvelo {

// One character of a UTF-8 text: its code point and its length in bytes. A byte that begins no
// well-formed character (a stray continuation byte, an overlong form, a surrogate, a value past
// U+10FFFF, a sequence cut off) is `valid` false, of length 1, with the byte as its code.
struct Utf8Char {
    char32_t code;
    std::size_t length;
    bool valid;
};

// The character starting at byte `i` of `text` (i < text.size()).
Utf8Char decodeUtf8(std::string_view text, std::size_t i);

}  // namespace tarvelo
