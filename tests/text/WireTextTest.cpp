#include <gtest/gtest.h>

#include "text/CodePage936.h"
#include "text/WireText.h"

namespace tarvelo::test {
namespace {

// What each text becomes, and what the user is told, before it goes to the service.
TEST(WireText, FindsEveryCharacterThatCannotTravelAndItsNearestForm) {
    const struct {
        const char* text;
        const char* fitted;
        std::vector<std::pair<char32_t, bool>> flaws;  // code point, control
    } cases[] = {
        {"热轧带肋钢筋 Φ12 P.O 42.5 ℃ ±5% ×2 m² ",
         "热轧带肋钢筋 Φ12 P.O 42.5 ℃ ±5% ×2 m2 ",
         {{0xB2, false}}},
        {"m³", "m3", {{0xB3, false}}},
        {"Ø12 ø8 ∅6 ⌀4",
         "Φ12 Φ8 Φ6 Φ4",
         {{0xD8, false}, {0xF8, false}, {0x2205, false}, {0x2300, false}}},
        {"50µm ½寸 ¥3 品牌™",
         "50μm 1/2寸 ￥3 品牌TM",
         {{0xB5, false}, {0xBD, false}, {0xA5, false}, {0x2122, false}}},
        {"好评😀", "好评?", {{0x1F600, false}}},
        {"a\x07"
         "b\x1F"
         "c\x7F",
         "a?b?c?",
         {{0x07, true}, {0x1F, true}, {0x7F, true}}},
        {"C1\xC2\x85", "C1?", {{0x85, true}}},
        {"tab\tCR\rLF\n", "tab\tCR\rLF\n", {}},
        {"\xFF"
         "x",
         "?x",
         {{0xFF, false}}},  // a stray byte is no character
        {"€ · “引号” — 《》", "€ · “引号” — 《》", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto flaws = WireText::flaws(c.text);
        ASSERT_EQ(flaws.size(), c.flaws.size());
        for (std::size_t i = 0; i < flaws.size(); ++i) {
            EXPECT_EQ(flaws[i].code, c.flaws[i].first);
            EXPECT_EQ(flaws[i].control, c.flaws[i].second);
        }
        EXPECT_EQ(WireText::fitted(c.text), c.fitted);
        // What is sent after fitting crosses unchanged.
        EXPECT_EQ(throughCp936(WireText::fitted(c.text)), WireText::fitted(c.text));
    }
}

TEST(WireText, EveryNearestFormTravels) {
    const std::string all =
        "\u00A0\u00A5\u00A9\u00AD\u00AE\u00B2\u00B3\u00B5\u00B9\u00BC\u00BD\u00BE\u00D8"
        "\u00F8\u2002\u2003\u2009\u200B\u2013\u2022\u2070\u2074\u2122\u2153\u2154\u2205"
        "\u2212\u2300\uFEFF\uFF5E";
    const std::string fitted = WireText::fitted(all);
    EXPECT_EQ(fitted.find('?'), std::string::npos) << fitted;
    EXPECT_EQ(throughCp936(fitted), fitted);
}

TEST(WireText, SaysWhatChangesAndRefusesTypedValues) {
    const auto flaws = WireText::flaws("m³");
    ASSERT_EQ(flaws.size(), 1u);
    EXPECT_EQ(WireText::describe(flaws[0]), "“³”（U+00B3）将改为“3”");
    EXPECT_EQ(WireText::describe(WireText::flaws("\x07")[0]), "控制字符 U+0007");
    EXPECT_EQ(WireText::refusal("真实姓名", "张三"), "");
    EXPECT_EQ(WireText::refusal("真实姓名", "张😀三\x01"),
              "真实姓名“张😀三\x01”中有无法传送到服务器的字符：“😀”（U+1F600），控制字符 "
              "U+0001。请改正后再试。");
}

}  // namespace
}  // namespace tarvelo::test
