#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// What XML 1.0 allows as characters (its Char production), which our parser does not check: it
// takes bytes that are no UTF-8 as they come and turns "&#0;" into a NUL byte, after which every
// C string read from the document ends there.
namespace tarvelo::xmlchars {

// Bytes of the well-formed UTF-8 sequence at `i` when it encodes a character XML 1.0 allows
// (tab, LF, CR, U+0020 to U+D7FF, U+E000 to U+FFFD, U+10000 to U+10FFFF); 0 otherwise.
std::size_t charLength(std::string_view text, std::size_t i);

// Why `xml` is not well-formed as to its characters: a byte that is not UTF-8, a character XML
// does not allow, or a character reference to one ("&#0;", "&#x1;"), outside CDATA sections,
// comments and processing instructions, where references are plain text. nullopt when every
// character is allowed. Says where, in Chinese.
std::optional<std::string> problem(std::string_view xml);

}  // namespace tarvelo::xmlchars
