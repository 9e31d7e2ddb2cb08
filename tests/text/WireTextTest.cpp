#include <gtest/gtest.h>

#include "text/CodePage936.h"
#include "text/WireText.h"

namespace tarvelo::test {
namespace {

// What each text becomes, and what the user is told, before it goes to the service.
TEST(WireText, FindsEveryCharacterThatCannotTravelAndItsNearestForm) {
    struct Flaw {
        char32_t code;
        bool control = false;
        bool stray = false;
    };
    const struct {
        const char* text;
        const char* fitted;
        std::vector<Flaw> flaws;
    } cases[] = {
        {"热轧带肋钢筋 Φ12 P.O 42.5 ℃ ±5% ×2 m² ",
         "热轧带肋钢筋 Φ12 P.O 42.5 ℃ ±5% ×2 m2 ",
         {{0xB2}}},
        {"m³", "m3", {{0xB3}}},
        {"Ø12 ø8 ∅6 ⌀4", "Φ12 Φ8 Φ6 Φ4", {{0xD8}, {0xF8}, {0x2205}, {0x2300}}},
        {"50µm ½寸 ¥3 品牌™", "50μm 1/2寸 ￥3 品牌TM", {{0xB5}, {0xBD}, {0xA5}, {0x2122}}},
        {"好评😀", "好评?", {{0x1F600}}},
        {"a\x07"
         "b\x1F"
         "c\x7F",
         "a?b?c?",
         {{0x07, true}, {0x1F, true}, {0x7F, true}}},
        {"C1\xC2\x85 热", "C1? 热", {{0x85, true}}},
        {"tab\tCR\rLF\n", "tab\tCR\rLF\n", {}},
        {"€ · “引号” — 《》 ～ 热轧", "€ · “引号” — 《》 ～ 热轧", {}},
        // Bytes that are no UTF-8: stray, overlong, a surrogate, a cut-off sequence.
        {"\xFF"
         "x",
         "?x",
         {{0xFF, false, true}}},
        {"a\xC1\x81"
         "b",
         "a??b",
         {{0xC1, false, true}, {0x81, false, true}}},
        {"\xB2\xAD", "??", {{0xB2, false, true}, {0xAD, false, true}}},
        {"\xED\xA0\x80", "???", {{0xED, false, true}, {0xA0, false, true}, {0x80, false, true}}},
        {"热\xE7\x83", "热??", {{0xE7, false, true}, {0x83, false, true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto flaws = WireText::flaws(c.text);
        ASSERT_EQ(flaws.size(), c.flaws.size());
        for (std::size_t i = 0; i < flaws.size(); ++i) {
            EXPECT_EQ(flaws[i].code, c.flaws[i].code);
            EXPECT_EQ(flaws[i].control, c.flaws[i].control);
            EXPECT_EQ(flaws[i].stray, c.flaws[i].stray);
        }
        const std::string fitted = WireText::fitted(c.text);
        EXPECT_EQ(fitted, c.fitted);
        // No flaw exactly when the text crosses as it is and holds no control character; the
        // fitted text always crosses.
        bool control = false;
        for (const auto& f : c.flaws)
            control = control || f.control;
        EXPECT_EQ(flaws.empty(), throughCp936(c.text) == c.text && !control);
        EXPECT_EQ(throughCp936(fitted), fitted);
        EXPECT_TRUE(WireText::flaws(fitted).empty());
    }
}

// Each character with a nearest form cannot cross alone, and its form can.
TEST(WireText, EveryNearestFormIsNeededAndTravels) {
    const char* const withForms[] = {"\u00A0", "\u00A5", "\u00A9", "\u00AD", "\u00AE", "\u00B2",
                                     "\u00B3", "\u00B5", "\u00B9", "\u00BC", "\u00BD", "\u00BE",
                                     "\u00D8", "\u00F8", "\u2002", "\u2003", "\u2009", "\u200B",
                                     "\u2022", "\u2070", "\u2074", "\u2122", "\u2153", "\u2154",
                                     "\u2205", "\u2212", "\u2300", "\uFEFF"};
    for (const char* one : withForms) {
        SCOPED_TRACE(one);
        EXPECT_NE(throughCp936(one), one);
        const auto flaws = WireText::flaws(one);
        ASSERT_EQ(flaws.size(), 1u);
        EXPECT_NE(flaws[0].replacement, "?");
        EXPECT_EQ(throughCp936(flaws[0].replacement), flaws[0].replacement);
    }
}

TEST(WireText, SaysWhatChangesAndRefusesTypedValues) {
    const auto flaws = WireText::flaws("m³");
    ASSERT_EQ(flaws.size(), 1u);
    EXPECT_EQ(WireText::describe(flaws[0]), "“³”（U+00B3）将改为“3”");
    EXPECT_EQ(WireText::describe(WireText::flaws("\x07")[0]), "控制字符 U+0007");
    EXPECT_EQ(WireText::describe(WireText::flaws("\xC1")[0]), "无效的 UTF-8 字节 0xC1 将改为“?”");
    EXPECT_EQ(WireText::refusal("真实姓名", "张三"), "");
    EXPECT_EQ(WireText::refusal("真实姓名", "张😀三\x01"),
              "真实姓名“张😀三\x01”中有无法传送到服务器的字符：“😀”（U+1F600），控制字符 "
              "U+0001。请改正后再试。");
}

}  // namespace
}  // namespace tarvelo::test
