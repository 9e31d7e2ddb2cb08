#pragma once

#include <cstddef>

namespace tarvelo {

// What a dataset tells its listeners. Before/After pairs bracket a change so that a view can
// announce it in advance (Qt's begin/end protocol); `row` is the position concerned.
struct DataSetEvent {
    enum class Kind {
        BeforeReset,  // load, close or a change of the field list follows
        AfterReset,
        BeforeInsert,  // a row appears at `row`
        AfterInsert,
        BeforeRemove,  // the row at `row` goes away
        AfterRemove,
        RowChanged,      // the values of `row` changed (a post)
        CurrentChanged,  // the current row moved to `row`
    };
    Kind kind;
    std::size_t row = 0;
};

}  // namespace tarvelo
