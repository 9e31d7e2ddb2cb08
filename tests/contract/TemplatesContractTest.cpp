#include <freexl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "contract/TablesContract.h"
#include "workbook/Templates.h"

namespace tarvelo {
namespace {

using contract::kTemplates;

// Row 1 of the only worksheet of the workbook at `path`, as FreeXL reads it; the worksheet's
// name first.
std::vector<std::string> sheetAndTitles(const std::string& path) {
    const void* handle = nullptr;
    if (freexl_open(path.c_str(), &handle) != FREEXL_OK) return {"(FreeXL cannot open it)"};
    std::vector<std::string> out;
    unsigned int sheets = 0;
    freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheets);
    if (sheets != 1) out.push_back(std::to_string(sheets) + " worksheets");
    const char* name = nullptr;
    freexl_get_worksheet_name(handle, 0, &name);
    out.push_back(name ? name : "");
    freexl_select_active_worksheet(handle, 0);
    unsigned int rows = 0;
    unsigned short columns = 0;
    freexl_worksheet_dimensions(handle, &rows, &columns);
    if (rows != 1) out.push_back(std::to_string(rows) + " rows");
    for (unsigned short c = 0; c < columns; ++c) {
        FreeXL_CellValue v;
        if (freexl_get_cell_value(handle, 0, c, &v) != FREEXL_OK) {
            out.push_back("(unreadable cell)");
        } else if (v.type == FREEXL_CELL_TEXT || v.type == FREEXL_CELL_SST_TEXT) {
            out.push_back(v.value.text_value);
        } else {
            out.push_back("(not text)");
        }
    }
    freexl_close(handle);
    return out;
}

// The download writes each template under its own file name; what is found there under the
// agreed name opens with one worksheet of the agreed name and the agreed titles in row 1.
TEST(TemplateContract, WrittenFilesHaveTheirNamesSheetAndTitles) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("tarvelo-template-contract-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    ASSERT_EQ(workbookTemplates().size(), std::size(kTemplates));
    for (std::size_t i = 0; i < std::size(kTemplates); ++i) {
        const WorkbookTemplate& t = workbookTemplates()[i];
        std::ofstream(dir / std::filesystem::u8path(std::string(t.fileName)), std::ios::binary)
            << t.bytes();
    }
    for (const auto& want : kTemplates) {
        const auto path = dir / std::filesystem::u8path(std::string(want.fileName));
        if (!std::filesystem::exists(path)) {
            ADD_FAILURE() << want.fileName << " was not written";
            continue;
        }
        std::vector<std::string> expected{std::string(want.sheetName)};
        for (const auto title : want.titles)
            expected.emplace_back(title);
        EXPECT_EQ(sheetAndTitles(path.string()), expected) << want.fileName;
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tarvelo
