#pragma once

#include <map>
#include <string>
#include <vector>

#include "workbook/WorkbookReader.h"

namespace tarvelo {

// The active worksheet of an .xls workbook (BIFF8 in a compound document), read by our own code:
// no library at hand tells which worksheet was active when the file was saved. Reads the sheet
// list and the active tab (WINDOW1), the shared strings across CONTINUE records, formats and
// cell formats for dates, the date mode, and the sheet's labels, numbers, RK and MULRK values,
// booleans, errors and formula results (with their STRING records). A sheet holds at most
// 65,536 rows, so it is read whole. Encrypted and pre-BIFF8 workbooks are refused.
class XlsReader : public WorkbookReader {
public:
    explicit XlsReader(const std::string& path);

    const std::string& sheetName() const override { return m_sheetName; }
    std::string cellText(int row, int column) override;
    int lastRow() override;
    int lastColumn() override;

private:
    std::string m_path;
    std::string m_sheetName;
    std::map<int, std::map<int, std::string>> m_cells;  // row -> column -> text
    int m_lastColumn = 0;
};

}  // namespace tarvelo
