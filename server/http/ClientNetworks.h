#pragma once

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvelo::server {

// The networks whose clients the service answers (serve --allow): IPv4 and IPv6 blocks in CIDR
// form ("10.1.0.0/16", "fd00::/8"), a bare address standing for itself alone (/32, /128). Host
// bits past the prefix are ignored. An IPv4 client that reaches an IPv6 socket
// (::ffff:10.1.2.3) is matched as the IPv4 address it is. Loopback is a network like any other:
// admitted only when listed. Immutable once made; safe to share between threads.
class ClientNetworks {
public:
    ClientNetworks() = default;  // none listed: every client is admitted
    // Throws tarvelo::Error naming the first text that is no address or block.
    explicit ClientNetworks(const std::vector<std::string>& blocks);

    bool restricts() const { return !m_blocks.empty(); }
    bool admits(const sockaddr* address) const;

private:
    struct Block {
        sa_family_t family = AF_UNSPEC;
        std::array<std::uint8_t, 16> bytes{};  // the first 4 for IPv4
        int prefix = 0;                        // leading bits that must match
    };
    std::vector<Block> m_blocks;
};

}  // namespace tarvelo::server
