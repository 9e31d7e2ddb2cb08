#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tarvelo::server {

// The token every request must carry when the service is not open to all (serve
// --access-token-file): "Authorization: Bearer TOKEN". A token is at least 16 visible ASCII
// characters (no blanks), so that it fits a header as it is and is not guessed in an afternoon.
// Only its SHA-256 digest is kept; requests are compared in constant time, whatever their length.
// Immutable once made; safe to share between threads.
class AccessToken {
public:
    AccessToken() = default;  // none: requests need no token
    // Throws tarvelo::Error saying what is wrong with the token (never showing it).
    explicit AccessToken(std::string_view token);
    // The file's text without the blanks and line breaks around it. Throws tarvelo::Error when
    // the file cannot be read or holds no usable token.
    static AccessToken fromFile(const std::string& path);

    bool required() const { return m_required; }

    enum class Verdict { Admitted, Missing, Wrong };
    // `authorization`: the request's Authorization header, or null when it has none.
    Verdict check(const char* authorization) const;

private:
    using Digest = std::array<unsigned char, 32>;
    static Digest digestOf(std::string_view text);

    bool m_required = false;
    Digest m_digest{};
};

}  // namespace tarvelo::server
