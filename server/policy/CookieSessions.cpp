#include "server/policy/CookieSessions.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <charconv>
#include <vector>

#include "server/store/PasswordTransform.h"
#include "text/Base64.h"
#include "text/Error.h"

namespace tarvelo::server {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

// Base64url without padding: a cookie's value as RFC 6265 allows it, with no line breaks (the
// Base64 of the password forms has them every 76 characters).
std::string urlEncode(std::string_view bytes) {
    std::string out;
    unsigned bits = 0;
    int have = 0;
    for (unsigned char c : bytes) {
        bits = (bits << 8) | c;
        have += 8;
        while (have >= 6) {
            have -= 6;
            out += kAlphabet[(bits >> have) & 63];
        }
    }
    if (have > 0) out += kAlphabet[(bits << (6 - have)) & 63];
    return out;
}

std::optional<std::string> urlDecode(std::string_view text) {
    std::string out;
    unsigned bits = 0;
    int have = 0;
    for (char c : text) {
        const char* at = std::char_traits<char>::find(kAlphabet, 64, c);
        if (!at) return std::nullopt;
        bits = (bits << 6) | static_cast<unsigned>(at - kAlphabet);
        have += 6;
        if (have >= 8) {
            have -= 8;
            out += static_cast<char>((bits >> have) & 0xFF);
        }
    }
    return out;
}

std::string randomHex(std::size_t bytes) {
    std::vector<unsigned char> raw(bytes);
    if (RAND_bytes(raw.data(), static_cast<int>(bytes)) != 1)
        throw Error("服务无法生成随机数。", "RAND_bytes");
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : raw) {
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    return out;
}

std::vector<std::string_view> fields(std::string_view text) {
    std::vector<std::string_view> out;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find('\n', at);
        out.push_back(text.substr(at, end == std::string_view::npos ? end : end - at));
        if (end == std::string_view::npos) return out;
        at = end + 1;
    }
}

std::optional<std::int64_t> number(std::string_view text) {
    std::int64_t n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return n;
}

// The stored forms' 32 bytes, enciphered as two AES-256 blocks under `key`: one form always
// gives one text, and the text gives the form back.
std::optional<std::string> aes(std::string_view key, std::string_view in, bool encrypt) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (!ctx) return std::nullopt;
    std::string out(in.size() + 32, '\0');
    int n = 0, tail = 0;
    const bool ok =
        EVP_CipherInit_ex(ctx, EVP_aes_256_ecb(), nullptr,
                          reinterpret_cast<const unsigned char*>(key.data()), nullptr,
                          encrypt ? 1 : 0) == 1 &&
        EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
        EVP_CipherUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &n,
                         reinterpret_cast<const unsigned char*>(in.data()),
                         static_cast<int>(in.size())) == 1 &&
        EVP_CipherFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()) + n, &tail) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok) return std::nullopt;
    out.resize(static_cast<std::size_t>(n + tail));
    return out;
}

std::optional<std::string> formBytes(std::string_view base64) {
    if (base64.size() != 44) return std::nullopt;
    try {
        std::string raw = base64Decode(base64);
        if (raw.size() == 32) return raw;
    } catch (const Error&) {
    }
    return std::nullopt;
}

}  // namespace

std::int64_t CookieSessions::now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string CookieSessions::sign(std::string_view payload, std::string_view signedAlso) const {
    return urlEncode(payload) + "." +
           urlEncode(hmacSha256(m_key, std::string(payload) + std::string(signedAlso)));
}

std::optional<std::string> CookieSessions::verified(std::string_view cookie,
                                                    std::string_view signedAlso) const {
    const auto dot = cookie.find('.');
    if (dot == std::string_view::npos || cookie.size() > 1024) return std::nullopt;
    const auto payload = urlDecode(cookie.substr(0, dot));
    const auto mac = urlDecode(cookie.substr(dot + 1));
    if (!payload || !mac) return std::nullopt;
    const std::string expected = hmacSha256(m_key, *payload + std::string(signedAlso));
    if (mac->size() != expected.size() ||
        CRYPTO_memcmp(mac->data(), expected.data(), expected.size()) != 0)
        return std::nullopt;
    return payload;
}

std::optional<CallerSession> CookieSessions::read(std::string_view cookie) const {
    const auto payload = verified(cookie, {});
    if (!payload) return std::nullopt;
    const auto f = fields(*payload);
    if (f.size() != 10 || f[0] != "s2") return std::nullopt;
    CallerSession s;
    s.id = f[1];
    s.account = f[2];
    s.byPassword = f[3] == "1";
    s.looked = f[4];
    s.resetAccount = f[5];
    s.formTag = f[8];
    const auto resetUntil = number(f[6]);
    const auto issued = number(f[7]);
    if (!resetUntil || !issued || s.id.size() != 32 ||
        *issued + std::chrono::seconds(kSessionLife).count() < now())
        return std::nullopt;
    s.resetUntil = *resetUntil;
    s.issued = *issued;
    return s;
}

CallerSession CookieSessions::fresh() const {
    CallerSession s;
    s.id = randomHex(16);
    s.issued = now();
    return s;
}

std::string CookieSessions::write(const CallerSession& s) const {
    // Every field is free of line breaks: ids are checked when they arrive.
    return sign("s2\n" + s.id + "\n" + s.account + "\n" + (s.byPassword ? "1" : "0") + "\n" +
                s.looked + "\n" + s.resetAccount + "\n" + std::to_string(s.resetUntil) + "\n" +
                std::to_string(s.issued) + "\n" + s.formTag + "\n");
}

std::string CookieSessions::formTag(std::string_view storedForm) const {
    return urlEncode(hmacSha256(m_key, "form\n" + std::string(storedForm)).substr(0, 16));
}

std::string CookieSessions::maskKey(const CallerSession& s, std::string_view account) const {
    return hmacSha256(m_key, "mask\n" + s.id + "\n" + std::string(account));
}

std::string CookieSessions::mask(const CallerSession& s, std::string_view account,
                                 std::string_view form) const {
    const std::string key = maskKey(s, account);
    if (const auto raw = formBytes(form))
        if (const auto enciphered = aes(key, *raw, true)) return base64Encode(*enciphered);
    return "~" + urlEncode(hmacSha256(key, form));
}

std::optional<std::string> CookieSessions::unmask(const CallerSession& s, std::string_view account,
                                                  std::string_view masked) const {
    const auto raw = formBytes(masked);
    if (!raw) return std::nullopt;
    const auto form = aes(maskKey(s, account), *raw, false);
    if (!form) return std::nullopt;
    return base64Encode(*form);
}

std::string CookieSessions::autoLogin(std::string_view account, std::string_view storedForm) const {
    const std::string payload =
        "a1\n" + std::string(account) + "\n" +
        std::to_string(now() + std::chrono::seconds(kAutoLoginLife).count());
    return sign(payload, "\n" + std::string(storedForm));
}

bool CookieSessions::autoLoginHolds(std::string_view cookie, std::string_view account,
                                    std::string_view storedForm) const {
    const auto payload = verified(cookie, "\n" + std::string(storedForm));
    if (!payload) return false;
    const auto f = fields(*payload);
    const auto until = f.size() == 3 ? number(f[2]) : std::nullopt;
    return f[0] == "a1" && f[1] == account && until && *until >= now();
}

}  // namespace tarvelo::server
