#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarvelo {

// Rows of text aligned in columns for a terminal: the heading, a rule of dashes under each
// column, the rows; two blanks between columns. Wide characters (Chinese) count two columns,
// so the columns line up whatever the locale.
class TextTable {
public:
    explicit TextTable(std::vector<std::string> heading);

    // Each value is shown on one line (line breaks and control characters made visible).
    void add(std::vector<std::string> row);
    std::size_t rows() const { return m_rows.size(); }
    // Every line followed by "\n".
    std::string text() const;

    // A table too large to keep is written a line at a time: every row is measured first, then
    // the heading lines are written, then each row's line.
    void measure(const std::vector<std::string>& row);
    std::string headingLines() const;  // the heading and the rule under it
    std::string line(const std::vector<std::string>& row) const;

    // Terminal columns of a UTF-8 text, without depending on the locale: two for wide
    // characters, none for combining marks, one for everything else (a stray byte included).
    static std::size_t columns(std::string_view text);

private:
    // `values` are one-line texts already.
    std::string lineOf(const std::vector<std::string>& values) const;

    std::vector<std::string> m_heading;
    std::vector<std::size_t> m_width;
    std::vector<std::vector<std::string>> m_rows;
};

}  // namespace tarvelo
