#pragma once

#include <string_view>

namespace tarvelo {

// The trim rule of the whole system: every character up to U+0020 (blanks, tabs, line breaks and
// the other control characters) is removed at both ends. The result views `text`.
std::string_view trim(std::string_view text);

}  // namespace tarvelo
