// tarvelo-sheet: what an import would read from a workbook's active worksheet.
//
//   tarvelo-sheet FILE         the worksheet's name, then one line per data row the import
//                              takes (rows 2 on, until column A is empty or "小计"), columns 1 to
//                              13 as text separated by tabs
//   tarvelo-sheet --all FILE   every row and column of the used range instead
//
// Line breaks and tabs inside cells are shown as "⏎" and "→". Errors go to stderr; the exit
// status is then 1 (2 for a usage mistake).
#include <iostream>
#include <string>

#include "text/Error.h"
#include "text/OneLine.h"
#include "workbook/WorkbookReader.h"

using namespace tarvelo;

namespace {

void printRow(WorkbookReader& sheet, int row, int columns) {
    std::string line;
    for (int c = 1; c <= columns; ++c)
        line += (c > 1 ? "\t" : "") + oneLine(sheet.cellText(row, c));
    std::cout << line << '\n';
}

}  // namespace

int main(int argc, char** argv) {
    std::string path;
    bool all = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--all") {
            all = true;
        } else if (a == "--help" || a == "-h") {
            std::cout << "用法：tarvelo-sheet [--all] FILE\n";
            return 0;
        } else if (a.starts_with("--") || !path.empty()) {
            std::cerr << "无法识别的参数“" << a << "”。\n用法：tarvelo-sheet [--all] FILE\n";
            return 2;
        } else {
            path = a;
        }
    }
    if (path.empty()) {
        std::cerr << "用法：tarvelo-sheet [--all] FILE\n";
        return 2;
    }
    try {
        const auto sheet = WorkbookReader::open(path);
        std::cout << "工作表：" << sheet->sheetName() << '\n';
        if (all) {
            const int rows = sheet->lastRow();
            const int columns = sheet->lastColumn();
            for (int r = 1; r <= rows; ++r)
                printRow(*sheet, r, columns);
        } else {
            const int taken = forEachImportRow(*sheet, [&](int row) { printRow(*sheet, row, 13); });
            std::cerr << "导入将读取 " << taken << " 行。\n";
        }
        return 0;
    } catch (const Error& e) {
        std::cerr << e.message() << (e.detail().empty() ? "" : "\n" + e.detail()) << '\n';
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "出错：" << e.what() << '\n';
        return 1;
    }
}
