#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvelo {

// A table as a grid shows it, written as an .xlsx workbook of one worksheet: the titles in a
// bold first row that stays in view (frozen), numbers stored as numbers, dates as dates shown
// "yyyy-mm-dd", text as text, and each column as wide as the grid's.
class XlsxTableWriter {
public:
    enum class Kind {
        Text,    // always text
        Number,  // a number where the value reads as one ("4120", "-3.5"); text otherwise ("面议")
        Date,    // a date where the value reads as "yyyy-mm-dd" or "yyyymmdd"; text otherwise
    };
    struct Column {
        std::string title;
        Kind kind = Kind::Text;
        double width = 10;  // in characters of the default font
    };
    using Row = std::vector<std::optional<std::string>>;  // nullopt: an empty cell

    // Throws tarvelo::Error saying, in Chinese, why the file could not be written.
    static void write(const std::string& path, const std::string& sheetName,
                      const std::vector<Column>& columns, const std::vector<Row>& rows);
};

}  // namespace tarvelo
