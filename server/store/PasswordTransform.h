#pragma once

#include <string>
#include <string_view>

namespace tarvelo::server {

// The stored form of a password: HMAC-SHA256 of the text the client sends (the Base64 of the
// typed password) under the database's secret, in Base64. Deterministic for one database, and
// nothing can turn it back into the password.
std::string transformPassword(std::string_view secret, std::string_view source);

// HMAC-SHA256 of `text` under `key`, its 32 bytes as they are. Throws tarvelo::Error.
std::string hmacSha256(std::string_view key, std::string_view text);

}  // namespace tarvelo::server
