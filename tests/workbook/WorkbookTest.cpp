#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "support/Command.h"
#include "text/Error.h"
#include "workbook/CellError.h"
#include "workbook/CellText.h"
#include "workbook/WorkbookReader.h"

namespace tarvelo {
namespace {

std::string fixture(const char* name) {
    return std::string(TARVELO_FIXTURES) + "/workbooks/" + name;
}

TEST(CellText, NumbersReadInGeneralNotation) {
    const std::pair<double, const char*> cases[] = {
        {12.5, "12.5"},
        {8, "8"},
        {0.1 + 0.2, "0.3"},
        {-3.25, "-3.25"},
        {1e15, "1E15"},
        {1.5e-7, "1.5E-7"},
        {123456789012345.0, "123456789012345"},
        {1234567890123456789.0, "1.23456789012346E18"},
        {0, "0"},
        {0.000123, "0.000123"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(numberText(value), text) << value;
}

TEST(CellText, DatesOfBothSystems) {
    const struct {
        double serial;
        bool date1904;
        const char* text;
    } cases[] = {
        {1, false, "1900-01-01"},
        {59, false, "1900-02-28"},
        {60, false, "1900-02-29"},
        {61, false, "1900-03-01"},
        {46000, false, "2025-12-09"},
        {0, true, "1904-01-01"},
        {46000.5, false, "2025-12-09 12:00:00"},
        {46000.99999999, false, "2025-12-10"},
        {44538.6041782407, true, "2025-12-09 14:30:01"},
        {2958465, false, "9999-12-31"},
        {2958466, false, "2958466"},
        {-1, false, "-1"},
        {1e300, true, "1E300"},  // found by the fuzzer
    };
    for (const auto& c : cases)
        EXPECT_EQ(dateText(c.serial, c.date1904), c.text) << c.serial;
}

TEST(CellText, DateFormatsAreToldByTheirLetters) {
    const std::pair<const char*, bool> cases[] = {
        {"yyyy-mm-dd", true},         {"m/d/yy h:mm", true}, {"[h]:mm", true},
        {"General", false},           {"0.00", false},       {"#,##0\"元\"", false},
        {"\"日期\"yyyy\"年\"", true}, {"[Red]0.00", false},  {"[$-804]yyyy\"年\"m\"月\"", true},
        {"0.00E+00", false},          {"\\d0", false},       {"0;[Red]-0;\"d\"", false},
    };
    for (const auto& [code, date] : cases)
        EXPECT_EQ(isDateFormat(code), date) << code;
    EXPECT_TRUE(isBuiltInDateFormat(14));
    EXPECT_FALSE(isBuiltInDateFormat(2));
}

// One workbook, written by openpyxl, and by LibreOffice into both formats: every writer's file
// reads the same.
TEST(Workbooks, TheActiveWorksheetsCellsReadAsTheirValuesWhoeverWroteThem) {
    const struct {
        int row, column;
        const char* text;
    } cells[] = {
        {1, 1, "材料名"},     {2, 1, "热轧带肋钢筋"},
        {2, 2, "0101"},       {2, 4, "  Φ12  "},
        {2, 5, ""},           {2, 9, "4120"},
        {2, 10, "3900.5"},    {3, 2, "12.5"},
        {3, 9, "面议"},       {3, 10, "0.3"},
        {4, 2, "8"},          {4, 9, "1E15"},
        {4, 10, "1.5E-7"},    {4, 11, "TRUE"},
        {5, 2, "2026-12-09"}, {5, 3, "2026-12-09 14:30:05"},
        {5, 9, "#N/A"},       {5, 10, "FALSE"},  // I5: the text "#N/A"
        {5, 11, "8.00"},      {8, 1, "合并的单元格"},
        {8, 2, ""},           {99, 1, ""},
        {2, 200, ""},
    };
    for (const char* file : {"prices.xlsx", "lo-prices.xlsx", "lo-prices.xls"}) {
        const auto sheet = WorkbookReader::open(fixture(file));
        EXPECT_EQ(sheet->sheetName(), "信息价") << file;
        for (const auto& c : cells)
            EXPECT_EQ(sheet->cellText(c.row, c.column), c.text)
                << file << " " << c.row << "," << c.column;
        EXPECT_EQ(sheet->lastRow(), 8) << file;
        EXPECT_EQ(sheet->lastColumn(), 11) << file;
    }
    for (const char* file : {"date1904.xlsx", "lo-date1904.xls"}) {
        const auto sheet = WorkbookReader::open(fixture(file));
        EXPECT_EQ(sheet->cellText(2, 1), "2026-12-09") << file;
        EXPECT_EQ(sheet->cellText(2, 2), "2.5") << file;
    }
}

// A cell with no value to read refuses the reading and names itself: an error value (a formula's
// failed result, or one typed in) or a formula whose result the file does not hold. A formula
// with its stored result reads as that result; a text that looks like an error value is text.
TEST(Workbooks, ErrorValuesAndFormulasWithoutResultsAreRefusedByCell) {
    const std::string error = "单元格的值是错误值“";
    const std::string errorEnd = "”，不是可以导入的数据。请在电子表格程序中改正这个单元格后再试。";
    const std::string noResult =
        "单元格是公式，但文件中没有保存它的计算结果（这个文件可能是由不计算公式的程序生成的），"
        "无法读取。请先用电子表格程序打开这个文件并保存，再导入。";
    const struct {
        const char* file;
        int row, column;
        const char* cell;
        const char* value;  // the error value; null for a formula without its result
    } refused[] = {
        // Calculated by LibreOffice: failed formulas hold their error values as results.
        {"lo-formulas.xlsx", 3, 9, "第 3 行 I 列", "#DIV/0!"},
        {"lo-formulas.xlsx", 4, 9, "第 4 行 I 列", "#N/A"},
        {"lo-formulas.xlsx", 5, 9, "第 5 行 I 列", "#VALUE!"},
        {"lo-formulas.xls", 3, 9, "第 3 行 I 列", "#DIV/0!"},
        {"lo-formulas.xls", 4, 9, "第 4 行 I 列", "#N/A"},
        {"lo-formulas.xls", 5, 9, "第 5 行 I 列", "#VALUE!"},
        // Typed in, with no formula; and an error as a formula's result written by hand.
        {"errors.xlsx", 2, 2, "第 2 行 B 列", "#REF!"},
        {"errors.xlsx", 2, 3, "第 2 行 C 列", "#NAME?"},
        {"errors.xlsx", 2, 4, "第 2 行 D 列", "#NUM!"},
        {"errors.xlsx", 2, 5, "第 2 行 E 列", "#NULL!"},
        {"errors.xls", 2, 9, "第 2 行 I 列", "#N/A"},
        {"errors.xls", 2, 10, "第 2 行 J 列", "#REF!"},
        // Never calculated: an empty result (openpyxl), none at all, a placeholder "0" in a
        // workbook that asks to be calculated when opened (as libxlsxwriter writes).
        {"formulas.xlsx", 2, 10, "第 2 行 J 列", nullptr},
        {"formulas.xlsx", 3, 9, "第 3 行 I 列", nullptr},
        {"formulas.xlsx", 6, 1, "第 6 行 A 列", nullptr},
        {"errors.xlsx", 2, 6, "第 2 行 F 列", nullptr},
        {"errors.xlsx", 2, 8, "第 2 行 H 列", nullptr},
        {"placeholders.xlsx", 2, 2, "第 2 行 B 列", nullptr},
    };
    for (const auto& c : refused) {
        const auto sheet = WorkbookReader::open(fixture(c.file));
        try {
            const std::string text = sheet->cellText(c.row, c.column);
            ADD_FAILURE() << c.file << " " << c.cell << " read as “" << text << "”";
        } catch (const CellError& e) {
            EXPECT_EQ(e.message(), std::string("工作表") + c.cell + "：" +
                                       (c.value ? error + c.value + errorEnd : noResult))
                << c.file;
            EXPECT_EQ(e.row(), c.row);
            EXPECT_EQ(e.column(), c.column);
        }
    }
    const struct {
        const char* file;
        int row, column;
        const char* text;
    } read[] = {
        {"lo-formulas.xlsx", 2, 10, "8240"}, {"lo-formulas.xls", 2, 10, "8240"},
        {"lo-formulas.xlsx", 6, 1, "管材"},  {"lo-formulas.xls", 6, 1, "管材"},
        {"errors.xlsx", 2, 7, ""},           {"placeholders.xlsx", 2, 3, "5"},
        {"prices.xlsx", 5, 9, "#N/A"},       {"lo-prices.xls", 5, 9, "#N/A"},
    };
    for (const auto& c : read)
        EXPECT_EQ(WorkbookReader::open(fixture(c.file))->cellText(c.row, c.column), c.text)
            << c.file << " " << c.row << "," << c.column;

    // The import's rule refuses a formula without its result in column A, where it used to end
    // the reading as an empty cell; the whole sheet is still measured.
    const auto uncalculated = WorkbookReader::open(fixture("formulas.xlsx"));
    std::vector<int> rows;
    EXPECT_THROW(forEachImportRow(*uncalculated, [&](int r) { rows.push_back(r); }), CellError);
    EXPECT_EQ(rows, (std::vector<int>{2, 3, 4, 5}));
    EXPECT_EQ(uncalculated->lastRow(), 6);
    EXPECT_EQ(WorkbookReader::open(fixture("lo-formulas.xls"))->lastColumn(), 10);
}

// tarvelo-sheet says the same, and ends with a failure.
TEST(Workbooks, TheSheetToolRefusesACellWithoutAValue) {
    for (const char* file : {"lo-formulas.xlsx", "lo-formulas.xls"}) {
        const auto r = test::runCommand(std::string(TARVELO_SHEET) + " " + fixture(file));
        EXPECT_EQ(r.status, 1) << file;
        EXPECT_NE(r.output.find("工作表第 3 行 I 列：单元格的值是错误值“#DIV/0!”"),
                  std::string::npos)
            << r.output;
    }
}

// The same values written by another writer into the older binary format read the same way.
TEST(Xls, TheActiveWorksheetsCellsReadAsTheirValues) {
    const auto sheet = WorkbookReader::open(fixture("prices.xls"));
    EXPECT_EQ(sheet->sheetName(), "信息价");
    const struct {
        int row, column;
        const char* text;
    } cells[] = {
        {1, 1, "材料名"},
        {2, 1, "热轧带肋钢筋"},
        {2, 2, "0101"},
        {2, 4, "  Φ12  "},
        {2, 5, ""},
        {2, 9, "4120"},
        {2, 10, "3900.5"},
        {3, 2, "12.5"},
        {3, 9, "面议"},
        {3, 10, "0.3"},
        {4, 2, "8"},
        {4, 9, "1E15"},
        {4, 10, "1.5E-7"},
        {4, 11, "TRUE"},
        {5, 2, "2026-12-09"},
        {5, 3, "2026-12-09 14:30:05"},
        {5, 10, "FALSE"},
        {5, 11, "8.00"},
        {8, 1, "合并的单元格"},
        {8, 2, ""},
        {99, 1, ""},
    };
    for (const auto& c : cells)
        EXPECT_EQ(sheet->cellText(c.row, c.column), c.text) << c.row << "," << c.column;
    std::vector<int> rows;
    EXPECT_EQ(forEachImportRow(*sheet, [&](int r) { rows.push_back(r); }), 4);

    // Shared strings running over CONTINUE records.
    const auto longSheet = WorkbookReader::open(fixture("long.xls"));
    EXPECT_EQ(longSheet->cellText(3000, 1), "第2999行的材料名称很长很长");
    EXPECT_EQ(longSheet->lastRow(), 3000);
}

TEST(Xls, DamagedCompoundDocumentsAreClearErrors) {
    std::ifstream in(fixture("prices.xls"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]) |
                                          static_cast<unsigned char>(bytes[at + 1]) << 8 |
                                          static_cast<unsigned char>(bytes[at + 2]) << 16 |
                                          static_cast<unsigned char>(bytes[at + 3]) << 24);
    };
    const auto path = std::filesystem::temp_directory_path() /
                      ("tarvelo-damaged-" + std::to_string(::getpid()) + ".xls");
    const auto refusal = [&](const std::string& content) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        try {
            WorkbookReader::open(path.string())->lastRow();
        } catch (const Error& e) {
            return e.message() + " " + e.detail();
        }
        return std::string("read");
    };
    // The directory's chain made to point at itself: a loop.
    std::string looping = bytes;
    const std::uint32_t fat = u32(76), directory = u32(48);
    const std::size_t entry = (fat + 1) * 512 + directory * 4;
    for (int i = 0; i < 4; ++i)
        looping[entry + i] = static_cast<char>((directory >> (8 * i)) & 0xFF);
    EXPECT_NE(refusal(looping).find("成环"), std::string::npos) << refusal(looping);
    // Every truncation.
    int refused = 0;
    for (std::size_t n = 0; n < bytes.size(); n += 7)
        if (refusal(bytes.substr(0, n)) != "read") ++refused;
    EXPECT_EQ(refused, static_cast<int>((bytes.size() + 6) / 7));
    std::filesystem::remove(path);
}

std::string le16(unsigned v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF)};
}
std::string le32(std::uint32_t v) {
    return le16(v & 0xFFFF) + le16(v >> 16);
}
std::string record(unsigned type, const std::string& body) {
    return le16(type) + le16(static_cast<unsigned>(body.size())) + body;
}
std::string utf16(std::u16string_view text) {
    std::string out;
    for (const char16_t c : text)
        out += le16(c);
    return out;
}

// An .xls file of one worksheet whose column A holds, from row 2 down, the shared strings of an
// SST record and CONTINUE records whose bodies are `parts` (after the SST's counts).
std::string sharedStringsWorkbook(std::vector<std::string> parts, int strings) {
    parts.front() = le32(strings) + le32(strings) + parts.front();
    std::string table = record(0x00FC, parts.front());
    for (std::size_t i = 1; i < parts.size(); ++i)
        table += record(0x003C, parts[i]);
    const std::string bof = record(0x0809, le16(0x0600) + le16(0x0005) + std::string(12, '\0'));
    const std::size_t sheetAt = bof.size() + 4 + 9 + table.size() + 4;
    std::string stream = bof + record(0x0085, le32(sheetAt) + std::string("\0\0\x01\0S", 5)) +
                         table + record(0x000A, "");
    stream += record(0x0809, le16(0x0600) + le16(0x0010) + std::string(12, '\0'));
    for (int i = 0; i < strings; ++i)
        stream += record(0x00FD, le16(i + 1) + le16(0) + le16(15) + le32(i));
    stream += record(0x000A, "");
    stream.resize((std::max<std::size_t>(stream.size(), 4096) + 511) & ~std::size_t{511}, '\0');

    // The compound document: header, allocation table (sector 0), directory (sector 1), stream.
    const std::size_t sectors = stream.size() / 512;
    std::string header =
        std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(16, '\0') + le16(0x3E) +
        le16(3) + le16(0xFFFE) + le16(9) + le16(6) + std::string(10, '\0') + le32(1) + le32(1) +
        le32(0) + le32(4096) + le32(0xFFFFFFFE) + le32(0) + le32(0xFFFFFFFE) + le32(0) + le32(0);
    while (header.size() < 512)
        header += le32(0xFFFFFFFF);
    std::string fat = le32(0xFFFFFFFD) + le32(0xFFFFFFFE);
    for (std::size_t i = 0; i < sectors; ++i)
        fat += le32(i + 1 < sectors ? static_cast<std::uint32_t>(i + 3) : 0xFFFFFFFE);
    while (fat.size() < 512)
        fat += le32(0xFFFFFFFF);
    const auto entry = [](std::u16string_view name, int type, std::uint32_t start,
                          std::uint32_t size) {
        std::string e = utf16(name);
        e.resize(64, '\0');
        e += le16(static_cast<unsigned>(2 * name.size() + 2)) + static_cast<char>(type) + '\x01' +
             le32(0xFFFFFFFF) + le32(0xFFFFFFFF) + le32(type == 5 ? 1 : 0xFFFFFFFF);
        e.resize(116, '\0');
        return e + le32(start) + le32(size) + le32(0);
    };
    std::string directory = entry(u"Root Entry", 5, 0xFFFFFFFE, 0) +
                            entry(u"Workbook", 2, 2, static_cast<std::uint32_t>(stream.size()));
    directory.resize(512, '\0');
    return header + fat + directory + stream;
}

// Shared strings run over CONTINUE records at awkward places; each is decoded only when its cell
// is asked for, so where each one starts must be found right whatever came before it.
TEST(Xls, SharedStringsSplitOverContinueRecordsReadWhole) {
    const std::string wideHeader = le16(2) + '\x01';
    const struct {
        const char* what;
        std::vector<std::string> parts;
        std::vector<const char*> texts;  // none: the workbook is refused as damaged
    } cases[] = {
        {"one-byte characters going on as two-byte ones",
         {le16(4) + '\0' + "ab", '\x01' + utf16(u"中文") + le16(3) + '\0' + "end"},
         {"ab中文", "end"}},
        {"a two-byte character with one byte in each part",
         {wideHeader + utf16(u"中").append(utf16(u"文").substr(0, 1)),
          utf16(u"文").substr(1) + le16(3) + '\0' + "end"},
         {"中文", "end"}},
        {"formatting runs and extended data running over",
         {le16(2) + '\x0C' + le16(2) + le32(3) + "hi" + std::string(5, '\x07'),
          std::string(6, '\x07') + le16(3) + '\0' + "end"},
         {"hi", "end"}},
        {"a surrogate pair that ends its part",
         {le16(4) + '\x01' + utf16(u"\U0001F600"),
          '\x01' + utf16(u"中文") + le16(3) + '\0' + "end"},
         {"\U0001F600中文", "end"}},
        {"a surrogate pair split between parts, its low half with no option byte before it",
         {le16(2) + '\x01' + utf16(u"\xD83D"), utf16(u"\xDC01") + le16(3) + '\0' + "end"},
         {"\U0001F401", "end"}},
        {"two high halves that end their part",
         {le16(3) + '\x01' + utf16(u"\xD800\xD800"),
          '\x01' + utf16(u"中") + le16(3) + '\0' + "end"},
         {"\uFFFD中", "end"}},
        {"a string running past the last part", {le16(9) + '\0' + "abc"}, {}},
    };
    const auto path = std::filesystem::temp_directory_path() /
                      ("tarvelo-shared-" + std::to_string(::getpid()) + ".xls");
    for (const auto& c : cases) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << sharedStringsWorkbook(
            c.parts, c.texts.empty() ? 1 : static_cast<int>(c.texts.size()));
        try {
            const auto sheet = WorkbookReader::open(path.string());
            EXPECT_FALSE(c.texts.empty()) << c.what;
            for (std::size_t i = c.texts.size(); i-- > 0;)  // the last string asked for first
                EXPECT_EQ(sheet->cellText(static_cast<int>(i) + 2, 1), c.texts[i]) << c.what;
        } catch (const Error& e) {
            EXPECT_TRUE(c.texts.empty()) << c.what << ": " << e.message() << " " << e.detail();
        }
    }
    std::filesystem::remove(path);
}

TEST(Xlsx, PartsFromOtherWritersReadToo) {
    // Prefixed element names, rich text without its phonetic run, inline strings with an
    // escaped CR, a formula's cached text, the 1904 date system, empty rows.
    const auto sheet = WorkbookReader::open(fixture("parts.xlsx"));
    EXPECT_EQ(sheet->sheetName(), "手工");
    EXPECT_EQ(sheet->cellText(1, 1), " 标题 ");
    EXPECT_EQ(sheet->cellText(2, 1), "富文本");
    EXPECT_EQ(sheet->cellText(2, 2), "行内\r文字");
    EXPECT_EQ(sheet->cellText(2, 3), "公式结果");
    EXPECT_EQ(sheet->cellText(2, 5), "1904-01-01");
    EXPECT_EQ(sheet->cellText(2, 6), "1904-01-02");
    EXPECT_EQ(sheet->cellText(4, 1), "");
    EXPECT_EQ(sheet->cellText(5, 3), "3");
    // A merged area: only its first cell holds anything.
    EXPECT_EQ(sheet->cellText(6, 1), "合并");
    EXPECT_EQ(sheet->cellText(6, 2), "");
}

TEST(Xlsx, TheReadingRuleStopsWhereItShould) {
    const auto prices = WorkbookReader::open(fixture("prices.xlsx"));
    std::vector<int> rows;
    EXPECT_EQ(forEachImportRow(*prices, [&](int r) { rows.push_back(r); }),
              4);  // "  小计  " ends it
    EXPECT_EQ(rows, (std::vector<int>{2, 3, 4, 5}));

    const auto stops = WorkbookReader::open(fixture("stops.xlsx"));
    EXPECT_EQ(forEachImportRow(*stops, [](int) {}), 3);  // "小计：" and "合计" do not end it

    const auto many = WorkbookReader::open(fixture("rows12000.xlsx"));
    int last = 0;
    EXPECT_EQ(forEachImportRow(*many, [&](int r) { last = r; }), 9998);
    EXPECT_EQ(last, 9999);
    EXPECT_EQ(many->cellText(9999, 2), "C09998");
}

// The reading rule stops by row 10,000 while merged areas are listed after every row: they
// still empty their covered cells, high up and far down, and what was read early stays readable.
TEST(Workbooks, ReadingStopsEarlyYetMergedAreasAfterTheRowsHold) {
    const struct {
        int row, column;
        const char* merged;  // long-merged.xls and .xlsx
        const char* plain;   // rows12000.xlsx
    } cells[] = {
        {5, 2, "合并5", "C00004"}, {5, 3, "", "4"},          {11000, 2, "合并11000", "C10999"},
        {11000, 3, "", "10999"},   {2, 1, "材料1", "材料1"}, {9999, 1, "材料9998", "材料9998"},
        {4, 2, "B3", "C00003"},
    };
    for (const char* file : {"long-merged.xls", "long-merged.xlsx", "rows12000.xlsx"}) {
        const bool merged = std::string_view(file).starts_with("long-merged");
        const auto sheet = WorkbookReader::open(fixture(file));
        EXPECT_EQ(forEachImportRow(*sheet, [](int) {}), 9998) << file;
        for (const auto& c : cells)
            EXPECT_EQ(sheet->cellText(c.row, c.column), merged ? c.merged : c.plain)
                << file << " " << c.row << "," << c.column;
        EXPECT_EQ(sheet->lastRow(), 12001) << file;
        EXPECT_EQ(sheet->cellText(3, 1), "材料2") << file;
    }
}

TEST(Xlsx, WhatIsNoWorkbookIsAClearError) {
    const std::pair<const char*, const char*> cases[] = {
        {"prices.csv", "不是 Excel 工作簿"},
        {"document.odt", "不是 Excel 工作簿"},
        {"bomb.xlsx", "过大"},
        {"missing.xlsx", "无法打开"},
    };
    for (const auto& [name, says] : cases) {
        try {
            WorkbookReader::open(fixture(name));
            ADD_FAILURE() << name;
        } catch (const Error& e) {
            EXPECT_NE(e.message().find(says), std::string::npos) << name << ": " << e.message();
        }
    }
}

// Sheet parts that would hang the reader or take its memory: each ends quickly, read or refused.
TEST(Xlsx, HostileSheetPartsEndQuickly) {
    const struct {
        const char* file;
        int row, column;
        const char* text;  // nullptr: refused
    } cases[] = {
        {"unclosed-sheetdata.xlsx", 1, 1, nullptr},
        {"endless-row.xlsx", 2, 1, nullptr},      // one row of 20 MB
        {"sparse-wide.xlsx", 10000, 16384, "1"},  // the last column of many rows
        {"empty-rows.xlsx", 50001, 1, "7"},       // 50,000 empty rows before one value
        {"odd-values.xlsx", 1, 1, ""},            // a shared string without its index
        {"odd-values.xlsx", 1, 2, ""},            // a boolean without its value
        {"odd-values.xlsx", 1, 3, "_x0041_"},     // an escaped escape, decoded once
        {"odd-values.xlsx", 1, 4, "a\rb"},
    };
    for (const auto& c : cases) {
        try {
            const auto sheet = WorkbookReader::open(fixture(c.file));
            const std::string text = sheet->cellText(c.row, c.column);
            if (c.text) {
                EXPECT_EQ(text, c.text) << c.file;
            } else {
                ADD_FAILURE() << c.file << " was read";
            }
        } catch (const Error& e) {
            EXPECT_EQ(c.text, nullptr) << c.file << ": " << e.message();
        }
    }
}

// Every prefix of a valid workbook is refused cleanly or read: never a crash or a hang.
TEST(Xlsx, EveryTruncationIsACleanError) {
    std::ifstream in(fixture("parts.xlsx"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const auto path = std::filesystem::temp_directory_path() /
                      ("tarvelo-truncated-" + std::to_string(::getpid()) + ".xlsx");
    int refused = 0;
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(n));
        try {
            const auto sheet = WorkbookReader::open(path.string());
            sheet->lastRow();
        } catch (const Error&) {
            ++refused;
        }
    }
    std::filesystem::remove(path);
    EXPECT_EQ(refused, static_cast<int>(bytes.size()));  // a zip archive ends in its directory
}

}  // namespace
}  // namespace tarvelo
