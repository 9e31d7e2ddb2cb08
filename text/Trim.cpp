#include "text/Trim.h"

namespace tarvelo {

std::string_view trim(std::string_view text) {
    // Characters up to U+0020 are single bytes in UTF-8 and no multi-byte sequence contains such
    // a byte, so a byte-wise cut is exact.
    auto isTrimmed = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isTrimmed(text[begin]))
        ++begin;
    while (end > begin && isTrimmed(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

}  // namespace tarvelo
