#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "workbook/SheetCell.h"
#include "workbook/WorkbookReader.h"

namespace tarvelo {

class CompoundFile;
class CompoundStream;

// The active worksheet of an .xls workbook (BIFF8 in a compound document), read by our own code:
// no library at hand tells which worksheet was active when the file was saved. Reads the sheet
// list and the active tab (WINDOW1), the shared strings across CONTINUE records, formats and
// cell formats for dates, the date mode, and the sheet's labels, numbers, RK and MULRK values,
// booleans, errors and formula results (with their STRING records). An error value, typed in or
// a formula's result, is no value: asking for its cell throws CellError. Encrypted and pre-BIFF8
// workbooks are refused.
//
// Opening reads the workbook's globals and runs once over the record headers of the sheet: that
// finds the merged areas (listed after the cells) and whether the cells come in row order, as
// writers put them. The shared strings are held as they are in the file and only stepped over
// then (so damage in them is still found at opening); each is decoded when a cell first asks for
// it. Cells are then decoded only as far down as asked, straight from the file, so
// a long sheet read by the import's rule costs what its first 10,000 rows cost. Cells out of row
// order make the first question read the whole sheet.
class XlsReader : public WorkbookReader {
public:
    explicit XlsReader(const std::string& path);
    ~XlsReader() override;

    const std::string& sheetName() const override { return m_sheetName; }
    std::string cellText(int row, int column) override;
    int lastRow() override;
    int lastColumn() override;

private:
    struct Globals;
    struct Cursor;
    struct Area {
        int row0, col0, row1, col1;
        std::uint64_t offset;  // of its MERGECELLS record: it empties the cells read before it
    };
    void readGlobals(Globals& globals, std::size_t& sheetOffset);
    void surveySheet(std::size_t sheetOffset);
    // Decodes cells until every cell of `row` (1-based) is known or the sheet ends.
    void readRowsUntil(int row);
    bool covered(int row, int col, std::uint64_t offset) const;
    void put(std::size_t row, std::size_t col, std::string text, std::uint64_t offset,
             SheetCell::Kind kind = SheetCell::Kind::Value);

    std::string m_path;
    std::string m_sheetName;
    std::unique_ptr<CompoundFile> m_file;
    std::unique_ptr<CompoundStream> m_workbook;
    std::unique_ptr<Globals> m_globals;
    std::unique_ptr<Cursor> m_cursor;
    std::vector<Area> m_merges;  // by first row
    std::vector<int> m_coverReach;
    bool m_inRowOrder = true;
    bool m_sheetDone = false;
    int m_rowsKnown = 0;  // every cell of rows up to this one (1-based) is decoded
    // Row r (1-based) at index r - 1: its cells, by column.
    std::vector<std::vector<SheetCell>> m_rows;
    int m_lastColumn = 0;
};

}  // namespace tarvelo
