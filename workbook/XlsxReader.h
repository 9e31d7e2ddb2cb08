#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "workbook/SheetCell.h"
#include "workbook/WorkbookReader.h"

typedef struct zip zip_t;
typedef struct zip_file zip_file_t;

namespace tarvelo {

// The active worksheet of an .xlsx workbook (a zip archive of XML parts), read with libzip and
// pugixml: the workbook's active tab, the relationship to its sheet part, shared strings (rich
// text runs joined, phonetic runs left out), inline strings, and the styles that make a number a
// date. The sheet part is inflated once, in chunks, and parsed as far as the rows asked for, so
// memory stays bounded whatever the worksheet's length; every part read is limited in size (no
// zip bomb). How merged areas are found: see XlsxReader.cpp (readTail).
class XlsxReader : public WorkbookReader {
public:
    explicit XlsxReader(const std::string& path);
    ~XlsxReader() override;

    const std::string& sheetName() const override { return m_sheetName; }
    std::string cellText(int row, int column) override;
    int lastRow() override;
    int lastColumn() override;

private:
    std::string readPart(const std::string& name, std::size_t limit);
    void loadWorkbook();
    void loadSharedStrings();
    void loadStyles();
    // Parses sheet rows until `row` is known or the sheet ends.
    void readRowsUntil(int row);
    // What follows the rows, read on from where they end: the merged areas.
    void readTail();
    void scanMerges(std::string_view text);
    bool covered(int row, int column) const;
    // Parses complete row elements lying in `fragment` (which the parse overwrites).
    void parseRows(char* fragment, std::size_t size);
    std::string valueText(std::string_view type, std::string_view value, int style) const;

    std::string m_path;
    zip_t* m_zip = nullptr;
    std::string m_sheetName;
    std::string m_sheetPart;
    bool m_date1904 = false;
    // The workbook asks to be calculated in full when it is opened: its writer did not calculate
    // (a generator, a script), and what its formulas hold are placeholders, not results.
    bool m_uncalculated = false;
    std::vector<std::string> m_sharedStrings;
    std::vector<bool> m_dateStyles;  // per cell format (xf) index

    zip_file_t* m_sheet = nullptr;
    std::string m_buffer;  // unparsed sheet text
    bool m_inSheetData = false;
    bool m_sheetDone = false;
    std::size_t m_sheetBytes = 0;
    bool m_readWhole = false;  // the part is small enough to be read whole at once
    int m_lastParsedRow = 0;
    std::map<int, std::vector<SheetCell>> m_rows;  // row -> its cells, by column
    int m_lookupRow = 0;  // the row cellText() looked at last, and its cells
    const std::vector<SheetCell>* m_lookupCells = nullptr;
    struct Area {
        int row0, col0, row1, col1;
    };
    std::vector<Area> m_merges;  // by first row, once the reading has passed them
};

}  // namespace tarvelo
