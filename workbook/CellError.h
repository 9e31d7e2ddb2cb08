#pragma once

#include <string>

#include "text/Error.h"
#include "workbook/SheetCell.h"

namespace tarvelo {

// A cell whose value cannot be read as text: an error value, or a formula whose result the file
// does not hold. message() names the cell ("工作表第 5 行 I 列：…"); reason() is the rest, for a
// caller that names the cell in its own words.
class CellError : public Error {
public:
    CellError(int row, int column, std::string reason);

    int row() const { return m_row; }
    int column() const { return m_column; }
    const std::string& reason() const { return m_reason; }

private:
    int m_row;
    int m_column;
    std::string m_reason;
};

// The text of `cell` in row `row`; throws CellError for a cell that has no value to read.
const std::string& readableText(int row, const SheetCell& cell);

// "A", "B", …, "Z", "AA", …: a 1-based column as a worksheet names it.
std::string columnLetter(int column);

}  // namespace tarvelo
