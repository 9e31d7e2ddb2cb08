#pragma once

#include <functional>
#include <memory>
#include <string>

namespace tarvelo {

// The active worksheet of a workbook file, read as text cells. Which reader is used follows
// from the file's content, never from its name. Cells read as the spreadsheet application's
// value-to-text conversion gives them (see CellText.h); rows and columns are 1-based.
class WorkbookReader {
public:
    virtual ~WorkbookReader() = default;

    // Throws tarvelo::Error saying what the file is when it is no workbook this can read (a
    // text or CSV file, an older binary format, an encrypted or damaged workbook).
    static std::unique_ptr<WorkbookReader> open(const std::string& path);

    virtual const std::string& sheetName() const = 0;
    // Reads as far down the worksheet as `row` needs, no further.
    virtual std::string cellText(int row, int column) = 0;
    // The last row and column holding anything; this reads the whole worksheet.
    virtual int lastRow() = 0;
    virtual int lastColumn() = 0;
};

// The reading rule of an import: rows 2, 3, … while below 10000, stopping at the first row whose
// column A, trimmed of characters up to U+0020, is empty or "小计". Calls `take` with each row
// number and returns how many rows were taken.
int forEachImportRow(WorkbookReader& sheet, const std::function<void(int row)>& take);

}  // namespace tarvelo
