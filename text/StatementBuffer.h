#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvelo {

// A statement composed line by line, the way every window builds its SQL. The text sent is each
// line followed by CR LF, the last one too; blanks at the ends of lines are kept, they are part
// of the statement.
class StatementBuffer {
public:
    void clear() { m_lines.clear(); }
    void add(std::string_view line) { m_lines.emplace_back(line); }

    const std::vector<std::string>& lines() const { return m_lines; }
    std::size_t count() const { return m_lines.size(); }
    std::string text() const;

private:
    std::vector<std::string> m_lines;
};

}  // namespace tarvelo
