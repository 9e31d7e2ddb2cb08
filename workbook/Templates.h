#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvelo {

// The empty workbook of a category that data-update staff fill and import: its file name, its
// single worksheet's name and the titles of row 1, which name the columns the import reads.
struct WorkbookTemplate {
    std::string_view fileName;
    std::string_view sheetName;
    std::vector<std::string_view> titles;

    // The workbook in the Excel 97-2003 format: a compound document holding one BIFF8
    // worksheet with the titles as text cells in row 1. No document properties, no author;
    // the same bytes on every run.
    std::string bytes() const;
};

// Information prices, deal prices, nursery-stock prices, vendor quotes: in this order.
const std::vector<WorkbookTemplate>& workbookTemplates();

}  // namespace tarvelo
