#pragma once

#include <string>
#include <string_view>

namespace tarvelo {

// `text` shown on one line of a terminal or a log: each line break (CR LF, CR or LF) as "⏎",
// each tab as "→", any other control character as "\xHH" (so that no text forges a line or
// moves a terminal's cursor), everything else as it is.
std::string oneLine(std::string_view text);

}  // namespace tarvelo
