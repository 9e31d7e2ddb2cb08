#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "text/Date.h"
#include "text/DateTime.h"
#include "text/NumberText.h"
#include "text/OneLine.h"
#include "text/SqlLiteral.h"
#include "text/StatementBuffer.h"
#include "text/Trim.h"

namespace tarvelo {
namespace {

TEST(Trim, RemovesEverythingUpToU0020AtBothEnds) {
    const std::pair<std::string, std::string> cases[] = {
        {"  钢筋 ", "钢筋"},
        {"\t\r\n a b \r\n", "a b"},
        {std::string("\x01x\x1f", 3), "x"},
        {std::string("\0x", 2), "x"},
        {"   ", ""},
        {"", ""},
        {"\xE3\x80\x80全角\xE3\x80\x80", "\xE3\x80\x80全角\xE3\x80\x80"},  // U+3000 stays
        {"\xC2\xA0x", "\xC2\xA0x"},                                        // U+00A0 stays
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(trim(in), out) << in;
}

TEST(SqlLiteral, QuotesAndDoublesEmbeddedQuotes) {
    const std::pair<std::string, std::string> cases[] = {
        {"杭州市", "'杭州市'"},
        {"O'Neil", "'O''Neil'"},
        {"'; DROP TABLE KVR_USERH; --", "'''; DROP TABLE KVR_USERH; --'"},
        {"''", "''''''"},
        {"", "''"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(sqlLiteral(in), out);
}

TEST(StatementBuffer, EveryLineEndsWithCrLfTheLastToo) {
    StatementBuffer sql;
    EXPECT_EQ(sql.text(), "");
    sql.add(" SELECT distinct ITEMDESC FROM KVR_XXJ ");
    sql.add(" where PERDID=" + sqlLiteral("202612"));
    EXPECT_EQ(sql.text(), " SELECT distinct ITEMDESC FROM KVR_XXJ \r\n where PERDID='202612'\r\n");
    sql.clear();
    sql.add("");
    EXPECT_EQ(sql.text(), "\r\n");
}

TEST(Date, AcceptsTheFourTypedFormsAndNothingElse) {
    const std::pair<const char*, std::optional<Date>> cases[] = {
        {"2026-12-10", Date{2026, 12, 10}},
        {"2026/1/5", Date{2026, 1, 5}},
        {"2026.01.05", Date{2026, 1, 5}},
        {"20260105", Date{2026, 1, 5}},
        {" 2024-02-29 ", Date{2024, 2, 29}},
        {"2023-02-29", std::nullopt},  // no such day
        {"2026-13-01", std::nullopt},
        {"2026-12/10", std::nullopt},  // mixed separators
        {"10/12/2026", std::nullopt},
        {"2026-1", std::nullopt},
        {"202612", std::nullopt},
        {"2026-12-10x", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, date] : cases)
        EXPECT_EQ(Date::fromText(text), date) << text;
}

TEST(Date, TextForms) {
    const Date d{2026, 3, 7};
    EXPECT_EQ(d.period(), "202603");
    EXPECT_EQ(d.compact(), "20260307");
    EXPECT_EQ(d.shortText(), "2026-03-07");
    std::string pattern(kShortDateFormat);  // the Qt spelling of the same form
    for (auto [field, value] : {std::pair{"yyyy", "2026"}, {"MM", "03"}, {"dd", "07"}})
        pattern.replace(pattern.find(field), std::string_view(field).size(), value);
    EXPECT_EQ(pattern, d.shortText());
    EXPECT_EQ(Date::fromCompact("20260307"), d);
    EXPECT_EQ(Date::fromCompact("2026-3-7"), std::nullopt);
    EXPECT_EQ(Date::today().period().size(), 6u);
}

TEST(DateTime, PacketFormHasMillisecondsInTheLastFiveDigits) {
    const DateTime dt{{2026, 12, 10}, 13, 45, 7, 123};
    EXPECT_EQ(dt.packetText(), "20261210T13:45:07123");
    EXPECT_EQ(DateTime::fromPacket("20261210T13:45:07123"), dt);
    EXPECT_EQ(dt.shortText(), "2026-12-10 13:45:07");
    EXPECT_EQ((DateTime{{2026, 12, 10}}.shortText()), "2026-12-10");
    for (const char* bad : {"20261210T24:00:00000", "20261210T13:45:60000", "20261210 13:45:07123",
                            "20261310T13:45:07123", "20261210T13:45:0712"})
        EXPECT_EQ(DateTime::fromPacket(bad), std::nullopt) << bad;
    EXPECT_EQ(DateTime::fromText("2026/12/10 8:05"), (DateTime{{2026, 12, 10}, 8, 5, 0, 0}));
    EXPECT_EQ(DateTime::fromText("2026-12-10 08:05:09"), (DateTime{{2026, 12, 10}, 8, 5, 9, 0}));
    EXPECT_EQ(DateTime::fromText("2026-12-10 25:00"), std::nullopt);
}

}  // namespace
}  // namespace tarvelo

namespace tarvelo {
namespace {

// The numbers of the wire, files and logs, in the C notation whatever the locale.
TEST(NumberText, DecimalNumbersWrittenOutInFullAndNothingElse) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"3900.5", 3900.5},
        {"-12.5", -12.5},
        {"+3", 3},
        {".5", 0.5},
        {"1E15", 1e15},
        {"1.5e-7", 1.5e-7},
        {"1e999", inf},  // as strtod: beyond a double is an infinity of its sign
        {"-1e999", -inf},
        {"123456789012345678901234567890123456789e300", inf},
        {"1e-999", 0.0},  // and below it a zero
        {"0.0000001e-400", 0.0},
        {"3900,5", std::nullopt},  // a decimal comma is no number here
        {"0x1A", std::nullopt},
        {"inf", std::nullopt},
        {"nan", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"+-3", std::nullopt},
        {"++3", std::nullopt},
        {"1e", std::nullopt},
        {".", std::nullopt},
        {"", std::nullopt},
        {"1000000000000000000000000000000000000000000000000000000000000000000", std::nullopt},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(decimalValue(text), value) << text;
    EXPECT_EQ(fixedText(3900.456, 2), "3900.46");
    EXPECT_EQ(fixedText(1234.5, 0), "1234");  // as printf: to even
    EXPECT_EQ(fixedText(2.25, 1), "2.2");
    EXPECT_EQ(significantText(0.0123456, 3), "0.0123");
    EXPECT_EQ(significantText(12.5, 3), "12.5");
    EXPECT_EQ(significantText(1234567, 3), "1.23e+06");
}

TEST(OneLine, LineBreaksAndTabsAreShownNotBroken) {
    EXPECT_EQ(oneLine("a\r\nb\rc\nd\te"), "a⏎b⏎c⏎d→e");
    EXPECT_EQ(oneLine("钢筋 Φ12"), "钢筋 Φ12");
    EXPECT_EQ(oneLine("a\x1B[2Jb\x7F\x01"), "a\\x1B[2Jb\\x7F\\x01");
}

}  // namespace
}  // namespace tarvelo
