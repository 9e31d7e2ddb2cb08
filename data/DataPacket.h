#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/FieldDef.h"
#include "data/Row.h"
#include "data/RowState.h"

namespace tarvelo {

// A data packet or delta packet in memory (the format is described in PacketWriter.cpp).
struct DataPacket {
    std::vector<FieldDef> fields;
    bool delta = false;  // PARAMS DATASET_DELTA="1"
    std::vector<Row> rows;
    std::vector<RowState> rowStates;  // one per row; None where ROW has no RowState

    // Parses packet text (UTF-8; white space before the declaration is fine). Anything that is
    // not a well-formed packet, or a value that is not of its column's type, throws
    // tarvelo::Error quoting the first characters of what arrived.
    // Rows are parsed about `chunkBytes` at a time, so that the XML parser's document tree (about
    // three times the size of the text it holds) stays small beside the rows; 0 parses the text
    // as one document. The result is the same either way.
    static DataPacket parse(std::string_view text, std::size_t chunkBytes = kChunkBytes);
    static constexpr std::size_t kChunkBytes = 64 << 10;

    std::string text() const;
};

// ASCII case-insensitive equality, the rule for field and attribute names.
bool sameName(std::string_view a, std::string_view b);
std::string upperName(std::string_view name);  // the key a name is looked up by

}  // namespace tarvelo
