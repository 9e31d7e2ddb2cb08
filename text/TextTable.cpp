#include "text/TextTable.h"

#include <algorithm>

#include "text/OneLine.h"
#include "text/Utf8.h"

namespace tarvelo {

namespace {

// The East Asian wide and fullwidth ranges.
bool isWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
           (c >= 0x20000 && c <= 0x3FFFD);
}

}  // namespace

TextTable::TextTable(std::vector<std::string> heading) : m_heading(std::move(heading)) {}

void TextTable::add(std::vector<std::string> row) {
    row.resize(m_heading.size());
    for (auto& value : row)
        value = oneLine(value);
    m_rows.push_back(std::move(row));
}

std::size_t TextTable::columns(std::string_view text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char c = decodeUtf8(text, i);
        i += c.length;
        if (!c.valid) {
            ++width;
            continue;
        }
        const bool combining =
            (c.code >= 0x0300 && c.code <= 0x036F) || (c.code >= 0xFE20 && c.code <= 0xFE2F);
        width += combining ? 0 : isWide(c.code) ? 2 : 1;
    }
    return width;
}

std::string TextTable::text() const {
    const std::size_t n = m_heading.size();
    std::vector<std::size_t> width(n);
    for (std::size_t c = 0; c < n; ++c)
        width[c] = columns(m_heading[c]);
    for (const auto& row : m_rows)
        for (std::size_t c = 0; c < n; ++c)
            width[c] = std::max(width[c], columns(row[c]));
    std::string out;
    const auto line = [&](const std::vector<std::string>& values) {
        for (std::size_t c = 0; c < n; ++c) {
            out += values[c];
            if (c + 1 < n) out += std::string(width[c] - columns(values[c]) + 2, ' ');
        }
        out += '\n';
    };
    line(m_heading);
    std::vector<std::string> rule;
    for (std::size_t c = 0; c < n; ++c)
        rule.emplace_back(width[c], '-');
    line(rule);
    for (const auto& row : m_rows)
        line(row);
    return out;
}

}  // namespace tarvelo
