#pragma once

#include <string>
#include <string_view>

namespace tarvelo {

// `text` shown on one line of a terminal or a log: each line break (CR LF, CR or LF) as "⏎" and
// each tab as "→", everything else as it is.
std::string oneLine(std::string_view text);

}  // namespace tarvelo
