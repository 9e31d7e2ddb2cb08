#include "workbook/WorkbookReader.h"

#include <fstream>

#include "text/Error.h"
#include "text/Trim.h"
#include "workbook/XlsReader.h"
#include "workbook/XlsxReader.h"

namespace tarvelo {

std::unique_ptr<WorkbookReader> WorkbookReader::open(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Error("无法打开文件“" + path + "”。");
    char head[8] = {};
    in.read(head, sizeof head);
    const std::string_view magic(head, static_cast<std::size_t>(in.gcount()));
    if (magic.starts_with(std::string_view("PK\x03\x04", 4)))
        return std::make_unique<XlsxReader>(path);
    if (magic == std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
        return std::make_unique<XlsReader>(path);
    if (magic.size() >= 2 && static_cast<unsigned char>(magic[1]) == 0x00 &&
        (static_cast<unsigned char>(magic[0]) == 0x09 ||
         static_cast<unsigned char>(magic[0]) == 0x08))
        throw Error("文件“" + path +
                    "”是早期版本的 Excel 格式（Excel 5.0 以前），无法读取：请另存为 .xlsx。");
    throw Error("文件“" + path +
                "”不是 Excel 工作簿（既不是 .xlsx 也不是 .xls），例如 CSV 或文本文件。");
}

int forEachImportRow(WorkbookReader& sheet, const std::function<void(int row)>& take) {
    int taken = 0;
    for (int row = 2; row < 10000; ++row) {
        const std::string first = sheet.cellText(row, 1);
        const std::string_view key = trim(first);
        if (key.empty() || key == "小计") break;
        take(row);
        ++taken;
    }
    return taken;
}

}  // namespace tarvelo
