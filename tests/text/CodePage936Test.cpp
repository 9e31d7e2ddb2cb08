#include <gtest/gtest.h>

#include "text/CodePage936.h"
#include "text/Cp936Passage.h"

namespace tarvelo {
namespace {

TEST(CodePage936, RoundTripKeepsWhatTheCodePageHoldsAndMarksTheRest) {
    struct Case {
        const char* utf8;
        std::string cp936;
        const char* back;
    };
    const Case cases[] = {
        {"select * from KVR_XXJ", "select * from KVR_XXJ", "select * from KVR_XXJ"},
        {"钢筋", "\xB8\xD6\xBD\xEE", "钢筋"},
        {"€", "\x80", "€"},
        {"a¥b", "a?b", "a?b"},           // yen sign: not in code page 936
        {"x😀y", "x?y", "x?y"},           // emoji
        {"\xF0\xA0\x80\x80", "?", "?"},  // U+20000
        {"\xC3", "?", "?"},              // a UTF-8 sequence cut off
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8ToCp936(c.utf8), c.cp936) << c.utf8;
        EXPECT_EQ(cp936ToUtf8(c.cp936), c.back) << c.utf8;
    }
}

TEST(CodePage936, UndecodableBytesBecomeOneQuestionMarkEach) {
    EXPECT_EQ(cp936ToUtf8("a\xAA\xA1z"), "a?z");  // user-defined area
    EXPECT_EQ(cp936ToUtf8("ok\xB8"), "ok?");      // lead byte at the very end
    EXPECT_EQ(cp936ToUtf8("\xFF"), "?");
}

TEST(CodePage936, LengthCountsTwoBytesPerChineseCharacter) {
    EXPECT_EQ(cp936Length("HRB400"), 6u);
    EXPECT_EQ(cp936Length("钢筋"), 4u);
    EXPECT_EQ(cp936Length("Φ12钢¥"), 2u + 2 + 2 + 1);
    EXPECT_EQ(cp936Length("a\xE9\x92"), 2u);  // a cut-off sequence is one "?"
}

// The length takes shortcuts for common characters; it must agree with the converter on every
// character of the basic plane.
TEST(CodePage936, LengthAgreesWithTheConverterOnEveryCharacter) {
    for (unsigned cp = 0x80; cp <= 0xFFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        std::string s;
        if (cp < 0x800) {
            s += static_cast<char>(0xC0 | (cp >> 6));
        } else {
            s += static_cast<char>(0xE0 | (cp >> 12));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        }
        s += static_cast<char>(0x80 | (cp & 0x3F));
        ASSERT_EQ(cp936Length(s), utf8ToCp936(s).size()) << std::hex << cp;
    }
}

TEST(CodePage936, LargeTextSurvives) {
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += "热轧带肋钢筋HRB400E;";
    EXPECT_EQ(cp936ToUtf8(utf8ToCp936(text)), text);
}

// Answers cross the boundary piece by piece as they arrive; wherever the pieces are cut, the
// result is that of the whole text through the converter both ways.
TEST(CodePage936, PiecesCrossAsTheWholeTextWouldWhereverTheyAreCut) {
    const std::string text =
        "钢筋 Φ12 ¥5😀\xE9\x92"
        "a\xFF\x80混凝土€\xF0\x9F\x98\r\n砂";
    const std::string whole = cp936ToUtf8(utf8ToCp936(text));
    EXPECT_EQ(throughCp936(text), whole);
    for (std::size_t a = 0; a <= text.size(); ++a)
        for (std::size_t b = a; b <= text.size(); ++b) {
            Cp936Passage passage;
            std::string out;
            passage.pass(std::string_view(text).substr(0, a), out);
            passage.pass(std::string_view(text).substr(a, b - a), out);
            passage.pass(std::string_view(text).substr(b), out);
            passage.finish(out);
            ASSERT_EQ(out, whole) << a << " " << b;
        }
    // The ideographs taken without the converter come back unchanged through it, every one.
    for (unsigned cp = 0x4E00; cp <= 0x9FA5; ++cp) {
        const std::string s{static_cast<char>(0xE0 | (cp >> 12)),
                            static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                            static_cast<char>(0x80 | (cp & 0x3F))};
        ASSERT_EQ(cp936ToUtf8(utf8ToCp936(s)), s) << std::hex << cp;
    }
}

}  // namespace
}  // namespace tarvelo
