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

TextTable::TextTable(std::vector<std::string> heading) : m_heading(std::move(heading)) {
    for (const auto& h : m_heading)
        m_width.push_back(columns(h));
}

void TextTable::add(std::vector<std::string> row) {
    row.resize(m_heading.size());
    for (std::size_t c = 0; c < row.size(); ++c) {
        row[c] = oneLine(row[c]);
        m_width[c] = std::max(m_width[c], columns(row[c]));
    }
    m_rows.push_back(std::move(row));
}

void TextTable::measure(const std::vector<std::string>& row) {
    for (std::size_t c = 0; c < std::min(row.size(), m_width.size()); ++c)
        m_width[c] = std::max(m_width[c], columns(oneLine(row[c])));
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

std::string TextTable::lineOf(const std::vector<std::string>& values) const {
    std::string out;
    const std::size_t n = m_heading.size();
    for (std::size_t c = 0; c < n; ++c) {
        const std::string_view value = c < values.size() ? std::string_view(values[c]) : "";
        out += value;
        if (c + 1 < n) out += std::string(m_width[c] - columns(value) + 2, ' ');
    }
    out += '\n';
    return out;
}

std::string TextTable::headingLines() const {
    std::vector<std::string> rule;
    for (std::size_t w : m_width)
        rule.emplace_back(w, '-');
    return lineOf(m_heading) + lineOf(rule);
}

std::string TextTable::line(const std::vector<std::string>& row) const {
    std::vector<std::string> values;
    for (const auto& v : row)
        values.push_back(oneLine(v));
    return lineOf(values);
}

std::string TextTable::text() const {
    std::string out = headingLines();
    for (const auto& row : m_rows)
        out += lineOf(row);
    return out;
}

}  // namespace tarvelo
