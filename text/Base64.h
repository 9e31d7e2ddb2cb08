#pragma once

#include <string>
#include <string_view>

namespace tarvelo {

// Base64 with the standard alphabet and "=" padding, broken into lines of 76 characters by
// CR LF (a break only between characters, never after the last one). This is the form the
// service's password transformation receives and the form the empty packets are stored in.
std::string base64Encode(std::string_view bytes);

// Decodes Base64 text; CR and LF anywhere are ignored. Anything else outside the alphabet,
// misplaced padding or a length that is not a whole number of groups throws tarvelo::Error.
std::string base64Decode(std::string_view text);

}  // namespace tarvelo
