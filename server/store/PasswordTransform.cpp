#include "server/store/PasswordTransform.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "text/Base64.h"
#include "text/Error.h"

namespace tarvelo::server {

std::string hmacSha256(std::string_view key, std::string_view text) {
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
              reinterpret_cast<const unsigned char*>(text.data()), text.size(), mac, &length))
        throw Error("服务无法计算 HMAC-SHA256。", "HMAC-SHA256");
    return std::string(reinterpret_cast<const char*>(mac), length);
}

std::string transformPassword(std::string_view secret, std::string_view source) {
    return base64Encode(hmacSha256(secret, source));
}

}  // namespace tarvelo::server
