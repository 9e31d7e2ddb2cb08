#include "workbook/CellError.h"

namespace tarvelo {

CellError::CellError(int row, int column, std::string reason)
    : Error("工作表第 " + std::to_string(row) + " 行 " + columnLetter(column) + " 列：" + reason),
      m_row(row),
      m_column(column),
      m_reason(std::move(reason)) {}

std::string columnLetter(int column) {
    std::string s;
    for (int c = column; c > 0; c = (c - 1) / 26)
        s.insert(s.begin(), static_cast<char>('A' + (c - 1) % 26));
    return s;
}

const std::string& readableText(int row, const SheetCell& cell) {
    switch (cell.kind) {
        case SheetCell::Kind::Value:
            break;
        case SheetCell::Kind::Error:
            // What the spreadsheet shows in place of a value: no price, and nothing to store.
            throw CellError(row, cell.column,
                            "单元格的值是错误值“" + cell.text +
                                "”，不是可以导入的数据。请在电子表格程序中改正这个单元格后再试。");
        case SheetCell::Kind::NoResult:
            // A file written by a program that does not calculate: its formulas' results are
            // missing or placeholders, and only a spreadsheet program can work them out.
            throw CellError(
                row, cell.column,
                "单元格是公式，但文件中没有保存它的计算结果（这个文件可能是由不计算公式的"
                "程序生成的），无法读取。请先用电子表格程序打开这个文件并保存，再导入。");
    }
    return cell.text;
}

}  // namespace tarvelo
