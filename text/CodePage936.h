#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvelo {

// The narrow text of the service boundary is code page 936. Both directions are lossy in the
// same deterministic way: a character (or byte sequence) the other side cannot hold becomes
// one "?", and conversion always goes on. Thread-safe (one converter per thread).
std::string utf8ToCp936(std::string_view utf8);
std::string cp936ToUtf8(std::string_view cp936);

// `utf8` as it arrives after crossing the narrow boundary: through code page 936 and back, so
// that characters outside it become "?" and everything else is unchanged.
std::string throughCp936(std::string_view utf8);

// Whether the three bytes at `i` are one CJK unified ideograph of U+4E00..U+9FA5: code page 936
// holds every one of them (in two bytes) and gives each back unchanged, so conversions and counts
// can take them without the converter.
bool isCommonIdeographAt(std::string_view utf8, std::size_t i);

// Bytes that `utf8` takes in code page 936, counting each unrepresentable character as the
// one "?" it would become.
std::size_t cp936Length(std::string_view utf8);

}  // namespace tarvelo
