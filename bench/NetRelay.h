#pragma once

// A TCP relay on the loopback interface that makes a connection behave as one over a slow link:
// every piece of bytes, in either direction, arrives half a round trip after it was sent, behind
// whatever the link is still carrying at its rate. It counts what crosses it, so that a benchmark
// can say how many round trips, connections and bytes an action of the client costs.
//
// The link's model, per direction (client to service, service to client):
//   - the bytes read from one end go into a queue, in order, cut into pieces of at most 4 KiB;
//   - a piece starts on the link when the link has finished the one before it (the rate is the
//     whole link's, shared by every connection of that direction), takes size / rate to send,
//     and is written to the other end half a round trip after it was sent;
//   - opening a connection costs one round trip: what the client sends on a new connection goes
//     on the link no earlier than a round trip after the connection was accepted (the handshake
//     the loopback interface made at once);
//   - an end that closes its sending side (shutdown or close) is passed on as such once the bytes
//     before it have arrived; an end that fails (reset, refused) ends the connection on both.
// Round trips are counted per connection: one for its opening, and one each time the flow turns
// from client-to-service to service-to-client (a request answered; a request sent in several
// writes, or an answer read in several, is still one).
//
// POSIX sockets and ppoll on a thread of its own; nothing here is thread-safe but counts().
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarvelo::bench {

struct LinkShape {
    std::chrono::microseconds roundTrip{0};
    double bytesPerSecond = 0;  // 0: as fast as the loopback interface goes

    // "10mbit", "512kbit", "2gbit" (bits per second), "1mbyte", "300kbyte", "800byte" (bytes per
    // second), "0" or "unlimited"; nothing for anything else.
    static std::optional<double> parseRate(std::string_view text);
    // "10 Mbit/s", "unlimited".
    static std::string rateText(double bytesPerSecond);
};

// What crossed the relay: the payload bytes of TCP, not the headers of its packets.
struct RelayCounts {
    long connections = 0;
    long roundTrips = 0;
    long long bytesUp = 0;    // client to service
    long long bytesDown = 0;  // service to client

    RelayCounts operator-(const RelayCounts& before) const {
        return {connections - before.connections, roundTrips - before.roundTrips,
                bytesUp - before.bytesUp, bytesDown - before.bytesDown};
    }
};

class NetRelay {
public:
    // Listens on 127.0.0.1:`listenPort` (0: a free port) and forwards every connection to
    // `targetHost`:`targetPort` (a numeric IPv4 address). Throws std::runtime_error when it
    // cannot listen. The relay runs from here until destruction.
    NetRelay(std::string targetHost, int targetPort, LinkShape shape, int listenPort = 0);
    ~NetRelay();
    NetRelay(const NetRelay&) = delete;
    NetRelay& operator=(const NetRelay&) = delete;

    int port() const;
    // "http://127.0.0.1:PORT".
    std::string baseUrl() const;
    // Everything counted so far, over open and closed connections alike. Thread-safe.
    RelayCounts counts() const;
    // Called on the relay's thread when a connection has ended, with its number (from 1) and
    // its own counts (its `connections` is 1). Set before the first connection.
    void onClosed(std::function<void(long id, const RelayCounts&)> report);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace tarvelo::bench
