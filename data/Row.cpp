#include "data/Row.h"

#include <cstring>
#include <vector>

#include "text/Error.h"

namespace tarvelo {

namespace {
constexpr std::uint32_t kNullBit = 0x80000000u;

void putWord(char* at, std::uint32_t v) {
    std::memcpy(at, &v, sizeof v);
}
}  // namespace

Row::Row(std::size_t columns) {
    std::vector<std::optional<std::string_view>> nulls(columns);
    *this = fromValues(nulls);
}

Row Row::fromValues(std::span<const std::optional<std::string_view>> values) {
    std::size_t bytes = 0;
    for (const auto& v : values)
        if (v) bytes += v->size();
    if (bytes >= kNullBit) throw Error("一行数据过大，无法保存。", std::to_string(bytes) + " 字节");
    Row row;
    const std::size_t header = (1 + values.size()) * sizeof(std::uint32_t);
    row.m_blob.resize(header + bytes);
    char* base = row.m_blob.data();
    putWord(base, static_cast<std::uint32_t>(values.size()));
    std::uint32_t offset = 0;
    char* data = base + header;
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::uint32_t word = offset;
        if (values[i]) {
            std::memcpy(data + offset, values[i]->data(), values[i]->size());
            offset += static_cast<std::uint32_t>(values[i]->size());
            word = offset;
        } else {
            word = offset | kNullBit;
        }
        putWord(base + (1 + i) * sizeof(std::uint32_t), word);
    }
    return row;
}

std::size_t Row::size() const {
    if (m_blob.empty()) return 0;
    std::uint32_t n;
    std::memcpy(&n, m_blob.data(), sizeof n);
    return n;
}

std::uint32_t Row::end(std::size_t column) const {
    std::uint32_t w;
    std::memcpy(&w, m_blob.data() + (1 + column) * sizeof(std::uint32_t), sizeof w);
    return w;
}

bool Row::isNull(std::size_t column) const {
    return end(column) & kNullBit;
}

std::string_view Row::value(std::size_t column) const {
    const std::uint32_t stop = end(column) & ~kNullBit;
    const std::uint32_t start = column == 0 ? 0 : end(column - 1) & ~kNullBit;
    return std::string_view(m_blob).substr(dataStart() + start, stop - start);
}

std::optional<std::string_view> Row::get(std::size_t column) const {
    if (isNull(column)) return std::nullopt;
    return value(column);
}

void Row::set(std::size_t column, std::optional<std::string_view> value) {
    // Rows are written one value at a time only by user edits; rebuilding is simple and cheap.
    const std::size_t n = size();
    std::vector<std::optional<std::string_view>> values(n);
    for (std::size_t i = 0; i < n; ++i)
        values[i] = i == column ? value : get(i);
    *this = fromValues(values);
}

}  // namespace tarvelo
