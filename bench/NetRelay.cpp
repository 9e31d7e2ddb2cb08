#include "bench/NetRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "text/NumberText.h"

namespace tarvelo::bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kPiece = 4096;           // the rate's granularity: 3.3 ms at 10 Mbit/s
constexpr std::size_t kQueueLimit = 8u << 20;  // per direction; beyond it the source waits
constexpr std::size_t kReadSize = 64u << 10;
constexpr int kReadsPerTurn = 4;

struct Piece {
    Clock::time_point arrives;
    std::string bytes;  // empty: the sending side was closed
    std::size_t written = 0;
};

// One direction of one connection: bytes read from `from`, on their way to `to`.
struct Flow {
    int from = -1;
    int to = -1;
    std::deque<Piece> queue;
    std::size_t queued = 0;
    bool sourceClosed = false;  // `from` sent its end (or failed)
    bool closedOn = false;      // that end was passed on to `to`
    bool blocked = false;       // `to` took no more: wait until it is writable
};

struct Connection {
    long id = 0;
    int client = -1;
    int service = -1;
    bool connecting = true;
    bool failed = false;
    Clock::time_point handshakeDone;  // the client's first byte goes on the link no earlier
    Flow up;                          // client to service
    Flow down;                        // service to client
    bool lastUp = false;              // the latest bytes read went client to service
    RelayCounts counts;
};

void setNoDelay(int fd) {
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

sockaddr_in address(const std::string& host, int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, host.c_str(), &a.sin_addr) != 1)
        throw std::runtime_error("not a numeric IPv4 address: " + host);
    return a;
}

}  // namespace

struct NetRelay::State {
    std::string targetHost;
    int targetPort = 0;
    LinkShape shape;
    int listener = -1;
    int wake = -1;  // an eventfd: the destructor's word to stop
    int port = 0;
    std::thread thread;
    std::list<Connection> connections;
    long nextId = 1;
    Clock::time_point linkFree[2];  // per direction: when the link has sent what it was given
    mutable std::mutex countsLock;
    RelayCounts total;
    std::function<void(long, const RelayCounts&)> report;

    void count(Connection& c, const RelayCounts& more) {
        const std::lock_guard lock(countsLock);
        for (RelayCounts* r : {&c.counts, &total}) {
            r->connections += more.connections;
            r->roundTrips += more.roundTrips;
            r->bytesUp += more.bytesUp;
            r->bytesDown += more.bytesDown;
        }
    }

    Clock::duration oneWay() const {
        return std::chrono::duration_cast<Clock::duration>(shape.roundTrip) / 2;
    }

    void accept(Clock::time_point now) {
        for (;;) {
            const int client = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (client < 0) return;  // EAGAIN, or a connection gone before it was taken
            const int service = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (service < 0) {
                ::close(client);
                continue;
            }
            setNoDelay(client);
            setNoDelay(service);
            const sockaddr_in to = address(targetHost, targetPort);
            const int rc = ::connect(service, reinterpret_cast<const sockaddr*>(&to), sizeof to);
            if (rc != 0 && errno != EINPROGRESS) {
                ::close(service);
                ::close(client);
                continue;
            }
            Connection& c = connections.emplace_back();
            c.id = nextId++;
            c.client = client;
            c.service = service;
            c.connecting = rc != 0;
            c.handshakeDone = now + std::chrono::duration_cast<Clock::duration>(shape.roundTrip);
            c.up.from = client;
            c.up.to = service;
            c.down.from = service;
            c.down.to = client;
            count(c, {1, 1, 0, 0});
        }
    }

    // Reads what `flow`'s source has and puts it on the link.
    void read(Connection& c, Flow& flow, bool up, Clock::time_point now) {
        char buffer[kReadSize];
        int reads = 0;
        while (!flow.sourceClosed && flow.queued < kQueueLimit) {
            const ssize_t n = ::recv(flow.from, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            if (n < 0) {
                c.failed = true;
                return;
            }
            if (n == 0) {
                flow.sourceClosed = true;
                // The end arrives with the last bytes before it, and no sooner than they would.
                Clock::time_point at = (up ? std::max(now, c.handshakeDone) : now) + oneWay();
                if (!flow.queue.empty()) at = std::max(at, flow.queue.back().arrives);
                flow.queue.push_back({at, {}, 0});
                return;
            }
            const std::size_t size = static_cast<std::size_t>(n);
            const bool turn = !up && c.lastUp;
            c.lastUp = up;
            count(c, {0, turn ? 1 : 0, up ? n : 0, up ? 0 : n});
            // A new connection's bytes go on the link once its handshake is done (others' that
            // come meanwhile wait behind them: the link keeps one queue per direction).
            Clock::time_point& free = linkFree[up ? 0 : 1];
            Clock::time_point sent = std::max(now, free);
            if (up) sent = std::max(sent, c.handshakeDone);
            const std::size_t piece = shape.bytesPerSecond > 0 ? kPiece : size;
            for (std::size_t at = 0; at < size; at += piece) {
                const std::size_t len = std::min(piece, size - at);
                if (shape.bytesPerSecond > 0)
                    sent +=
                        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                            static_cast<double>(len) / shape.bytesPerSecond));
                flow.queue.push_back({sent + oneWay(), std::string(buffer + at, len), 0});
                flow.queued += len;
            }
            free = sent;
            if (++reads == kReadsPerTurn) return;  // the other flows get their turn
        }
    }

    // Writes what has arrived at `flow`'s destination.
    void deliver(Connection& c, Flow& flow, Clock::time_point now) {
        flow.blocked = false;
        while (!flow.queue.empty() && flow.queue.front().arrives <= now) {
            Piece& p = flow.queue.front();
            if (p.bytes.empty()) {
                ::shutdown(flow.to, SHUT_WR);
                flow.closedOn = true;
                flow.queue.pop_front();
                continue;
            }
            const ssize_t n = ::send(flow.to, p.bytes.data() + p.written,
                                     p.bytes.size() - p.written, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                flow.blocked = true;
                return;
            }
            if (n < 0) {
                c.failed = true;
                return;
            }
            p.written += static_cast<std::size_t>(n);
            if (p.written < p.bytes.size()) {
                flow.blocked = true;
                return;
            }
            flow.queued -= p.bytes.size();
            flow.queue.pop_front();
        }
    }

    void run() {
        std::vector<pollfd> fds;
        std::vector<Connection*> owners;  // per entry of `fds` from the third on, its connection
        for (;;) {
            Clock::time_point now = Clock::now();
            std::optional<Clock::time_point> next;
            for (Connection& c : connections) {
                if (c.connecting || c.failed) continue;
                for (Flow* f : {&c.up, &c.down}) {
                    deliver(c, *f, now);
                    if (!f->blocked && !f->queue.empty())
                        next = std::min(next.value_or(Clock::time_point::max()),
                                        f->queue.front().arrives);
                }
            }
            // A connection is done when both ends were passed on, or one failed.
            for (auto it = connections.begin(); it != connections.end();) {
                if (it->failed || (it->up.closedOn && it->down.closedOn)) {
                    if (it->failed) {
                        // A reset is passed on as one.
                        const linger reset{1, 0};
                        for (int fd : {it->client, it->service})
                            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                    }
                    ::close(it->client);
                    ::close(it->service);
                    if (report) report(it->id, it->counts);
                    it = connections.erase(it);
                } else {
                    ++it;
                }
            }

            fds.clear();
            owners.clear();
            fds.push_back({wake, POLLIN, 0});
            fds.push_back({listener, POLLIN, 0});
            for (Connection& c : connections) {
                short client = 0, service = 0;
                if (c.connecting) {
                    service = POLLOUT;
                } else {
                    if (!c.up.sourceClosed && c.up.queued < kQueueLimit) client |= POLLIN;
                    if (!c.down.sourceClosed && c.down.queued < kQueueLimit) service |= POLLIN;
                    if (c.up.blocked) service |= POLLOUT;
                    if (c.down.blocked) client |= POLLOUT;
                }
                // A socket asked nothing is left out: its hang-up would wake the loop at once
                // while the end it sent is still on its way.
                fds.push_back({client ? c.client : -1, client, 0});
                fds.push_back({service ? c.service : -1, service, 0});
                owners.push_back(&c);
            }
            timespec timeout{};
            timespec* wait = nullptr;
            if (next) {
                const auto left = std::max(Clock::duration::zero(), *next - now);
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
                timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
                timeout.tv_nsec = static_cast<long>(ns % 1000000000);
                wait = &timeout;
            }
            if (::ppoll(fds.data(), fds.size(), wait, nullptr) < 0 && errno != EINTR) return;
            if (fds[0].revents) return;
            now = Clock::now();
            if (fds[1].revents & POLLIN) accept(now);
            for (std::size_t i = 0; i < owners.size(); ++i) {
                Connection& c = *owners[i];
                const short client = fds[2 + 2 * i].revents;
                const short service = fds[3 + 2 * i].revents;
                if (c.connecting) {
                    if (!service) continue;
                    int error = 0;
                    socklen_t len = sizeof error;
                    ::getsockopt(c.service, SOL_SOCKET, SO_ERROR, &error, &len);
                    if (error != 0) {
                        c.failed = true;  // refused: the client is refused too
                        continue;
                    }
                    c.connecting = false;
                    continue;
                }
                // Reading also sees an end or a failure of the source (POLLHUP, POLLERR).
                if (client & (POLLIN | POLLHUP | POLLERR)) read(c, c.up, true, now);
                if (service & (POLLIN | POLLHUP | POLLERR)) read(c, c.down, false, now);
            }
        }
    }
};

std::optional<double> LinkShape::parseRate(std::string_view text) {
    if (text == "unlimited") return 0.0;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || !(value >= 0) || !std::isfinite(value)) return std::nullopt;
    std::string unit(end, text.data() + text.size());
    for (char& ch : unit)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (unit.empty() && value == 0) return 0.0;
    double scale = 1;
    if (!unit.empty() && (unit[0] == 'k' || unit[0] == 'm' || unit[0] == 'g')) {
        scale = unit[0] == 'k' ? 1e3 : unit[0] == 'm' ? 1e6 : 1e9;
        unit.erase(0, 1);
    }
    if (unit == "bit") return value * scale / 8;
    if (unit == "byte") return value * scale;
    return std::nullopt;
}

std::string LinkShape::rateText(double bytesPerSecond) {
    if (bytesPerSecond <= 0) return "unlimited";
    const double bits = bytesPerSecond * 8;
    if (bits >= 1e6) return significantText(bits / 1e6, 4) + " Mbit/s";
    if (bits >= 1e3) return significantText(bits / 1e3, 4) + " kbit/s";
    return significantText(bits, 4) + " bit/s";
}

NetRelay::NetRelay(std::string targetHost, int targetPort, LinkShape shape, int listenPort)
    : m_state(std::make_unique<State>()) {
    State& s = *m_state;
    s.targetHost = std::move(targetHost);
    s.targetPort = targetPort;
    s.shape = shape;
    address(s.targetHost, targetPort);  // refuses what is no address before anything opens
    s.listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(s.listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in at = address("127.0.0.1", listenPort);
    if (s.listener < 0 || ::bind(s.listener, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        ::listen(s.listener, 128) != 0) {
        const std::string why = std::strerror(errno);
        if (s.listener >= 0) ::close(s.listener);
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(listenPort) + ": " +
                                 why);
    }
    socklen_t len = sizeof at;
    ::getsockname(s.listener, reinterpret_cast<sockaddr*>(&at), &len);
    s.port = ntohs(at.sin_port);
    s.wake = ::eventfd(0, EFD_CLOEXEC);
    s.thread = std::thread([&s] { s.run(); });
}

NetRelay::~NetRelay() {
    State& s = *m_state;
    const std::uint64_t one = 1;
    if (::write(s.wake, &one, sizeof one) < 0) std::terminate();
    s.thread.join();
    for (Connection& c : s.connections) {
        ::close(c.client);
        ::close(c.service);
    }
    ::close(s.listener);
    ::close(s.wake);
}

int NetRelay::port() const {
    return m_state->port;
}

std::string NetRelay::baseUrl() const {
    return "http://127.0.0.1:" + std::to_string(m_state->port);
}

RelayCounts NetRelay::counts() const {
    const std::lock_guard lock(m_state->countsLock);
    return m_state->total;
}

void NetRelay::onClosed(std::function<void(long, const RelayCounts&)> report) {
    m_state->report = std::move(report);
}

}  // namespace tarvelo::bench
