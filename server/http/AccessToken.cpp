#include "server/http/AccessToken.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "text/Error.h"
#include "text/Trim.h"

namespace tarvelo::server {

namespace {

constexpr std::size_t kShortest = 16;

bool isTokenChar(char c) {
    return c > ' ' && c < 0x7F;
}

bool startsWithCaseBlind(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if ((text[i] | 0x20) != (prefix[i] | 0x20)) return false;
    return true;
}

}  // namespace

AccessToken::AccessToken(std::string_view token) : m_required(true) {
    for (char c : token)
        if (!isTokenChar(c))
            throw Error("访问令牌只能由可见的 ASCII 字符组成（不含空格、汉字和控制字符）。");
    if (token.size() < kShortest)
        throw Error("访问令牌太短：至少要 " + std::to_string(kShortest) +
                    " 个字符。可以用 openssl rand -base64 32 生成一个。");
    m_digest = digestOf(token);
}

AccessToken AccessToken::fromFile(const std::string& path) {
    std::string text;
    // A folder opens but does not read: both are one failure to the user.
    std::FILE* f = std::fopen(path.c_str(), "rb");
    int failure = f ? 0 : errno;
    if (f) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0 && text.size() < 65536;)
            text.append(buf, n);
        if (std::ferror(f)) failure = errno;
        std::fclose(f);
    }
    if (failure)
        throw Error("无法读取访问令牌文件“" + path + "”。请检查文件是否存在、服务的账号能否读它。",
                    std::strerror(failure));
    const std::string_view token = trim(text);
    if (token.empty())
        throw Error("访问令牌文件“" + path +
                    "”是空的。请在里面写上令牌，例如用 openssl rand "
                    "-base64 32 生成。");
    try {
        return AccessToken(token);
    } catch (const Error& e) {
        throw Error("访问令牌文件“" + path + "”不可用：" + e.message());
    }
}

AccessToken::Digest AccessToken::digestOf(std::string_view text) {
    Digest d{};
    unsigned int length = 0;
    if (!EVP_Digest(text.data(), text.size(), d.data(), &length, EVP_sha256(), nullptr))
        throw Error("无法计算访问令牌的摘要。", "EVP_Digest SHA-256");
    return d;
}

AccessToken::Verdict AccessToken::check(const char* authorization) const {
    if (!m_required) return Verdict::Admitted;
    if (!authorization) return Verdict::Missing;
    std::string_view value = trim(authorization);
    constexpr std::string_view kScheme = "Bearer ";
    if (!startsWithCaseBlind(value, kScheme)) return Verdict::Missing;
    value = trim(value.substr(kScheme.size()));
    // Digests of equal length, compared without an early exit: the time taken says nothing of
    // how much of the token was right.
    const Digest offered = digestOf(value);
    return CRYPTO_memcmp(offered.data(), m_digest.data(), m_digest.size()) == 0 ? Verdict::Admitted
                                                                                : Verdict::Wrong;
}

}  // namespace tarvelo::server
