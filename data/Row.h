#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarvelo {

// One row of values, each either null or a text in the packet's value form. A row is a single
// allocation: a header of per-column end offsets followed by the values' bytes. A dataset of
// 100,000 rows is then 100,000 allocations, not 1.5 million, and costs little more than its text.
class Row {
public:
    Row() = default;
    explicit Row(std::size_t columns);  // all null

    // One entry per column; nullopt is null.
    static Row fromValues(std::span<const std::optional<std::string_view>> values);

    std::size_t size() const;
    bool isNull(std::size_t column) const;
    std::string_view value(std::size_t column) const;  // empty for null
    std::optional<std::string_view> get(std::size_t column) const;
    void set(std::size_t column, std::optional<std::string_view> value);
    // Bytes the row occupies (header and values), for size estimates.
    std::size_t byteSize() const { return m_blob.size(); }

    // Same columns, same nulls, same values.
    friend bool operator==(const Row& a, const Row& b) { return a.m_blob == b.m_blob; }

private:
    std::uint32_t end(std::size_t column) const;
    std::size_t dataStart() const { return (1 + size()) * sizeof(std::uint32_t); }

    // [count][end offset of each column, bit 31 set for null][value bytes]
    std::string m_blob;
};

}  // namespace tarvelo
