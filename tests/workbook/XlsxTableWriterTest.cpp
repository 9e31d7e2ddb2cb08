#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/CommaLocale.h"
#include "text/Error.h"
#include "workbook/WorkbookReader.h"
#include "workbook/XlsxTableWriter.h"

namespace tarvelo {
namespace {

using Kind = XlsxTableWriter::Kind;

std::string sheetXml(const std::string& path) {
    std::string out;
    FILE* p = ::popen(("python3 -c \"import zipfile,sys; "
                       "sys.stdout.write(zipfile.ZipFile('" +
                       path + "').read('xl/worksheets/sheet1.xml').decode())\"")
                          .c_str(),
                      "r");
    char buf[4096];
    while (const std::size_t n = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    ::pclose(p);
    return out;
}

// On a computer whose locale writes a decimal comma, the file still holds its numbers and widths
// in the notation of the format (libxlsxwriter writes them with printf).
TEST(XlsxTableWriter, NumbersAreWrittenInTheFormatsNotationWhateverTheLocale) {
    const auto path =
        (std::filesystem::temp_directory_path() / "tarvelo-export-comma-test.xlsx").string();
    {
        const test::CommaLocale comma;
        ASSERT_TRUE(comma.taken()) << "de_DE.UTF-8 in " << TARVELO_LOCALE_DIR;
        XlsxTableWriter::write(path, "信息价",
                               {{"材料名", Kind::Text, 22.5}, {"信息价", Kind::Number, 9}},
                               {{"钢筋", "-3.25"}, {"水泥", "3900.5"}});
    }
    const std::string xml = sheetXml(path);
    EXPECT_NE(xml.find("<v>-3.25</v>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<v>3900.5</v>"), std::string::npos) << xml;
    EXPECT_EQ(xml.find(",25"), std::string::npos) << xml;
    EXPECT_NE(xml.find("width=\"23.2"), std::string::npos) << xml;
    EXPECT_EQ(WorkbookReader::open(path)->cellText(2, 2), "-3.25");
    std::filesystem::remove(path);
}

// What is written reads back through our own reader with the same texts; numbers and dates are
// stored as such, the title row is frozen, and the widths are the grid's.
TEST(XlsxTableWriter, WritesWhatReadsBackWithTheSameTexts) {
    const auto path =
        (std::filesystem::temp_directory_path() / "tarvelo-export-test.xlsx").string();
    const std::vector<XlsxTableWriter::Column> columns = {{"材料名", Kind::Text, 22.5},
                                                          {"信息价", Kind::Number, 9},
                                                          {"成交日期", Kind::Date, 12},
                                                          {"编码", Kind::Text, 10}};
    const std::vector<XlsxTableWriter::Row> rows = {
        {"热轧带肋钢筋", "4120", "2026-12-05", "0101"},
        {"普通硅酸盐水泥", "面议", "20261203", "0102"},
        {"“引号”\r\n第二行", "-3.25", std::nullopt, std::nullopt},
    };
    XlsxTableWriter::write(path, "信息价", columns, rows);

    const auto sheet = WorkbookReader::open(path);
    EXPECT_EQ(sheet->sheetName(), "信息价");
    const std::vector<std::vector<std::string>> expected = {
        {"材料名", "信息价", "成交日期", "编码"},
        {"热轧带肋钢筋", "4120", "2026-12-05", "0101"},
        {"普通硅酸盐水泥", "面议", "2026-12-03", "0102"},
        {"“引号”\r\n第二行", "-3.25", "", ""},
    };
    for (std::size_t r = 0; r < expected.size(); ++r)
        for (std::size_t c = 0; c < expected[r].size(); ++c)
            EXPECT_EQ(sheet->cellText(static_cast<int>(r + 1), static_cast<int>(c + 1)),
                      expected[r][c])
                << "row " << r + 1 << " column " << c + 1;

    // An independent reader (openpyxl, as Debian packages it) reads the same values, with the
    // numbers as numbers and the dates as dates.
    std::string peer;
    if (FILE* p = ::popen(("/usr/bin/python3 -c \"import openpyxl; ws = "
                           "openpyxl.load_workbook('" +
                           path +
                           "').active; print(ws.title); "
                           "[print(repr(c.value)) for row in ws.iter_rows(min_row=2, max_row=3) "
                           "for c in row]\"")
                              .c_str(),
                          "r")) {
        char buf[4096];
        while (const std::size_t n = std::fread(buf, 1, sizeof buf, p))
            peer.append(buf, n);
        ::pclose(p);
    }
    EXPECT_EQ(peer,
              "信息价\n'热轧带肋钢筋'\n4120\ndatetime.datetime(2026, 12, 5, 0, 0)\n'0101'\n"
              "'普通硅酸盐水泥'\n'面议'\ndatetime.datetime(2026, 12, 3, 0, 0)\n'0102'\n");

    // LibreOffice opens it: its own conversion to CSV holds the same texts.
    const auto folder = std::filesystem::temp_directory_path() / "tarvelo-export-lo";
    std::filesystem::remove_all(folder);
    std::string csv;
    if (FILE* p = ::popen(("HOME=" + folder.string() +
                           " soffice --headless --convert-to csv:\"Text - txt - csv "
                           "(StarCalc)\":44,34,76 --outdir " +
                           folder.string() + " " + path + " >/dev/null 2>&1 && cat " +
                           (folder / "tarvelo-export-test.csv").string())
                              .c_str(),
                          "r")) {
        char buf[4096];
        while (const std::size_t n = std::fread(buf, 1, sizeof buf, p))
            csv.append(buf, n);
        ::pclose(p);
    }
    std::filesystem::remove_all(folder);
    EXPECT_EQ(csv.substr(0, csv.find("\"“引号”")),
              "材料名,信息价,成交日期,编码\n热轧带肋钢筋,4120,2026-12-05,0101\n"
              "普通硅酸盐水泥,面议,2026-12-03,0102\n")
        << csv;

    const std::string xml = sheetXml(path);
    EXPECT_NE(xml.find("ySplit=\"1\""), std::string::npos) << xml.substr(0, 600);
    // Numbers and dates as numbers (a date with its date format), "面议" and codes as text.
    EXPECT_NE(xml.find("<c r=\"B2\"><v>4120</v>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<c r=\"C2\" s=\"2\"><v>46361</v>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<c r=\"B3\" t=\"s\">"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<c r=\"D2\" t=\"s\">"), std::string::npos) << xml;
    EXPECT_NE(xml.find("width=\"23.2"), std::string::npos) << "the first column keeps its width";
    std::filesystem::remove(path);
}

TEST(XlsxTableWriter, AFolderThatCannotBeWrittenIsToldInChinese) {
    try {
        XlsxTableWriter::write("/proc/no-such-folder/x.xlsx", "表", {{"A", Kind::Text, 8}},
                               {{"1"}});
        ADD_FAILURE() << "written into /proc";
    } catch (const Error& e) {
        EXPECT_NE(e.message().find("无法写入 Excel 文件"), std::string::npos) << e.message();
    }
}

}  // namespace
}  // namespace tarvelo
