#include <freexl.h>
#include <gtest/gtest.h>

#include <unistd.h>
#include "contract/TablesContract.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "text/Error.h"
#include "workbook/Templates.h"
#include "workbook/WorkbookReader.h"

namespace tarvelo {
namespace {

// Each template is written, then read back by our reader, by FreeXL and by xlrd: one worksheet
// of the given name with the titles in row 1 and nothing else; the same bytes every time.
TEST(Templates, OpenInIndependentReadersWithTheirSheetAndTitles) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("tarvelo-templates-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ASSERT_EQ(workbookTemplates().size(), 4u);
    for (std::size_t i = 0; i < workbookTemplates().size(); ++i) {
        const auto& t = workbookTemplates()[i];
        // What each reader must find is the published template, typed in by hand.
        const auto& want = contract::kTemplates[i];
        const std::string bytes = t.bytes();
        EXPECT_EQ(bytes, t.bytes()) << t.fileName;  // deterministic
        const std::string path = (dir / std::string(t.fileName)).string();
        std::ofstream(path, std::ios::binary) << bytes;

        // Ours: the titles, and an empty row 2, so an unchanged template imports nothing.
        const auto sheet = WorkbookReader::open(path);
        EXPECT_EQ(sheet->sheetName(), want.sheetName);
        for (std::size_t c = 0; c < want.titles.size(); ++c)
            EXPECT_EQ(sheet->cellText(1, static_cast<int>(c) + 1), want.titles[c]);
        EXPECT_EQ(sheet->lastRow(), 1);
        EXPECT_EQ(sheet->lastColumn(), static_cast<int>(want.titles.size()));
        EXPECT_EQ(forEachImportRow(*sheet, [](int) {}), 0);

        // FreeXL.
        const void* handle = nullptr;
        ASSERT_EQ(freexl_open(path.c_str(), &handle), FREEXL_OK) << t.fileName;
        unsigned int count = 0;
        ASSERT_EQ(freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &count), FREEXL_OK);
        EXPECT_EQ(count, 1u);
        const char* name = nullptr;
        freexl_get_worksheet_name(handle, 0, &name);
        EXPECT_EQ(std::string(name ? name : ""), want.sheetName);
        freexl_select_active_worksheet(handle, 0);
        unsigned int rows = 0;
        unsigned short columns = 0;
        freexl_worksheet_dimensions(handle, &rows, &columns);
        EXPECT_EQ(rows, 1u);
        EXPECT_EQ(columns, want.titles.size());
        for (unsigned short c = 0; c < columns; ++c) {
            FreeXL_CellValue v;
            ASSERT_EQ(freexl_get_cell_value(handle, 0, c, &v), FREEXL_OK);
            ASSERT_TRUE(v.type == FREEXL_CELL_TEXT || v.type == FREEXL_CELL_SST_TEXT);
            EXPECT_EQ(std::string(v.value.text_value), want.titles[c]);
        }
        freexl_close(handle);

        // xlrd, where Debian's python3 has it.
        if (std::system("/usr/bin/python3 -c 'import xlrd' 2>/dev/null") == 0) {
            const std::string script =
                "/usr/bin/python3 -c \"import sys,xlrd; b=xlrd.open_workbook(sys.argv[1]); "
                "s=b.sheet_by_index(0); print(b.nsheets, s.name, s.nrows, "
                "'|'.join(s.row_values(0)))\" '" +
                path + "'";
            FILE* p = ::popen(script.c_str(), "r");
            std::string out;
            char buf[4096];
            while (const std::size_t n = std::fread(buf, 1, sizeof buf, p))
                out.append(buf, n);
            EXPECT_EQ(::pclose(p), 0) << out;
            std::string expected = "1 " + std::string(want.sheetName) + " 1 ";
            for (std::size_t c = 0; c < want.titles.size(); ++c)
                expected += (c ? "|" : "") + std::string(want.titles[c]);
            EXPECT_EQ(out, expected + "\n");
        }
    }
    std::filesystem::remove_all(dir);
}

// A record that claims more bytes than its stream holds is a clear error.
TEST(Templates, ARecordLongerThanItsStreamIsRefused) {
    std::string bytes = workbookTemplates()[0].bytes();
    const std::size_t bof = 3 * 512;  // the workbook stream follows the header, table and directory
    ASSERT_EQ(bytes.substr(bof, 2), std::string("\x09\x08", 2));
    bytes[bof + 2] = '\xFF';
    bytes[bof + 3] = '\x7F';
    const auto path = std::filesystem::temp_directory_path() /
                      ("tarvelo-record-" + std::to_string(::getpid()) + ".xls");
    std::ofstream(path, std::ios::binary) << bytes;
    try {
        WorkbookReader::open(path.string());
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_NE((e.message() + e.detail()).find("记录超出流"), std::string::npos)
            << e.message() << e.detail();
    }
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace tarvelo
