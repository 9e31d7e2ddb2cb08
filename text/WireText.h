#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvelo {

// One character of a text that cannot reach the service unchanged: statements and packets
// cross in code page 936, which has no form for it, or it is a control character that no data
// packet may carry.
struct WireFlaw {
    std::string character;    // the character, UTF-8
    char32_t code = 0;        // its code point (for a stray byte, the byte)
    std::string replacement;  // what it becomes: its nearest code page 936 form, or "?"
    bool control = false;     // a control character (other than tab, CR and LF): refused
    bool stray = false;       // a byte that is no part of a well-formed UTF-8 character
};

// What a text becomes on its way to the service, found before anything is sent, so that no
// character is changed without the user knowing.
class WireText {
public:
    // Every character of `utf8` that cannot travel unchanged, in order; empty when the whole
    // text travels as it is (the common case costs one round trip through code page 936).
    static std::vector<WireFlaw> flaws(std::string_view utf8);
    // `utf8` with each flaw replaced by its replacement (control characters too).
    static std::string fitted(std::string_view utf8);
    // "“³”（U+00B3）将改为“3”", or "控制字符 U+0007" for a control character.
    static std::string describe(const WireFlaw& flaw);
    // For a value the user typed, which is refused rather than changed: empty when `text`
    // travels; otherwise "{what}“{text}”中有无法传送到服务器的字符：“😀”（U+1F600）。请改正后再试。"
    static std::string refusal(std::string_view what, std::string_view text);
    // "U+00B3"; a byte as "0xC1".
    static std::string codeText(char32_t code);
    static std::string byteText(char32_t byte);
};

}  // namespace tarvelo
