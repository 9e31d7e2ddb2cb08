#include "server/store/PasswordTransform.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "text/Base64.h"
#include "text/Error.h"

namespace tarvelo::server {

std::string transformPassword(std::string_view secret, std::string_view source) {
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!HMAC(EVP_sha256(), secret.data(), static_cast<int>(secret.size()),
              reinterpret_cast<const unsigned char*>(source.data()), source.size(), mac, &length))
        throw Error("密码变换失败。", "HMAC-SHA256");
    return base64Encode(std::string_view(reinterpret_cast<const char*>(mac), length));
}

}  // namespace tarvelo::server
