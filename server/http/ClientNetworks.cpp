#include "server/http/ClientNetworks.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <charconv>
#include <cstring>

#include "text/Error.h"

namespace tarvelo::server {

namespace {

bool matches(const std::uint8_t* address, const std::uint8_t* block, int prefix) {
    const int whole = prefix / 8;
    if (std::memcmp(address, block, static_cast<std::size_t>(whole)) != 0) return false;
    if (prefix % 8 == 0) return true;
    const auto mask = static_cast<std::uint8_t>(0xFF << (8 - prefix % 8));
    return (address[whole] & mask) == (block[whole] & mask);
}

}  // namespace

ClientNetworks::ClientNetworks(const std::vector<std::string>& blocks) {
    for (const std::string& text : blocks) {
        const auto slash = text.find('/');
        const std::string address = text.substr(0, slash);
        Block b;
        int bits = 0;
        if (inet_pton(AF_INET, address.c_str(), b.bytes.data()) == 1) {
            b.family = AF_INET;
            bits = 32;
        } else if (inet_pton(AF_INET6, address.c_str(), b.bytes.data()) == 1) {
            b.family = AF_INET6;
            bits = 128;
        } else {
            throw Error(
                "“" + text +
                "”不是 IP 地址或网段。请写成 10.1.0.0/16、192.168.1.20 或 fd00::/8 这样的形式。");
        }
        b.prefix = bits;
        if (slash != std::string::npos) {
            const char* first = text.data() + slash + 1;
            const char* last = text.data() + text.size();
            const auto [end, ec] = std::from_chars(first, last, b.prefix);
            if (first == last || ec != std::errc() || end != last || b.prefix < 0 ||
                b.prefix > bits)
                throw Error("“" + text + "”的前缀长度应在 0 到 " + std::to_string(bits) +
                            " 之间。");
        }
        m_blocks.push_back(b);
    }
}

bool ClientNetworks::admits(const sockaddr* address) const {
    if (m_blocks.empty()) return true;
    if (!address) return false;
    sa_family_t family = address->sa_family;
    const std::uint8_t* bytes = nullptr;
    if (family == AF_INET) {
        bytes = reinterpret_cast<const std::uint8_t*>(
            &reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
    } else if (family == AF_INET6) {
        const auto* in6 = &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
        bytes = reinterpret_cast<const std::uint8_t*>(in6);
        if (IN6_IS_ADDR_V4MAPPED(in6)) {
            family = AF_INET;
            bytes += 12;
        }
    } else {
        return false;
    }
    for (const Block& b : m_blocks)
        if (b.family == family && matches(bytes, b.bytes.data(), b.prefix)) return true;
    return false;
}

}  // namespace tarvelo::server
