#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data/FieldDef.h"
#include "data/Row.h"
#include "data/RowState.h"

namespace tarvelo {

// Writes a data packet (or a delta packet) row by row into one UTF-8 string, without leading or
// trailing white space. Rows must have as many columns as `fields`.
class PacketWriter {
public:
    // `sizeHint`: expected bytes of the whole text, to allocate once.
    PacketWriter(const std::vector<FieldDef>& fields, bool delta, std::size_t sizeHint = 0);

    void row(const Row& row, RowState state = RowState::None);
    // A "8" row: only the columns where `current` differs from `base`. A column changed to null
    // is written with an empty value, since an absent attribute means "unchanged" here.
    void changes(const Row& current, const Row& base);

    std::string finish();

    static std::size_t estimate(std::size_t fieldCount, std::size_t rows, std::size_t valueBytes);

private:
    void openRow(RowState state);
    void value(std::size_t column, std::string_view text);

    std::vector<std::string> m_prefixes;  // ` NAME="` per column
    std::string m_out;
};

// Appends `text` with the packet's attribute escapes.
void appendEscaped(std::string& out, std::string_view text);
// How many bytes appendEscaped would append.
std::size_t escapedLength(std::string_view text);

}  // namespace tarvelo
