#pragma once

#include <cstdint>
#include <string>

namespace tarvelo {

// A non-empty cell as a reader holds it.
struct SheetCell {
    enum class Kind : std::uint8_t {
        Value,     // `text` is the cell's value as text
        Error,     // an error value (a formula that failed, or one typed in): `text` is "#N/A", …
        NoResult,  // a formula whose result the file does not hold; `text` is empty
    };
    int column = 0;
    std::string text;
    Kind kind = Kind::Value;
};

}  // namespace tarvelo
