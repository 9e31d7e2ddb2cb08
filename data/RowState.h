#pragma once

#include <cstdint>

namespace tarvelo {

// The RowState attribute of a delta packet's ROW.
enum class RowState : std::uint8_t {
    None = 0,      // an ordinary row: no RowState attribute
    Original = 1,  // a modified row as loaded; the next ROW holds its changes
    Deleted = 2,   // a deleted row as loaded
    Inserted = 4,  // an inserted row with all its non-null values
    Modified = 8,  // the changed columns of the row before it
};

}  // namespace tarvelo
