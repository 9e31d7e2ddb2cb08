#include "bench/NetRelay.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace tarvelo::bench {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string out(n, '\0');
    for (char& c : out)
        c = static_cast<char>(random());
    return out;
}

void sendAll(int fd, const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        ASSERT_GT(n, 0);
        at += static_cast<std::size_t>(n);
    }
}

// Reads `n` bytes, or up to the end when `n` is 0; what a reset ends is what came before it.
std::string receive(int fd, std::size_t n = 0) {
    std::string out;
    char buffer[65536];
    while (n == 0 || out.size() < n) {
        const ssize_t got =
            ::recv(fd, buffer, n == 0 ? sizeof buffer : std::min(sizeof buffer, n - out.size()), 0);
        if (got <= 0) break;
        out.append(buffer, static_cast<std::size_t>(got));
    }
    return out;
}

int connectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return fd;
}

// A service on a free loopback port that serves each connection it accepts with `serve`.
class Service {
public:
    explicit Service(std::function<void(int)> serve) {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_listener, 16);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this, serve] {
            for (int fd; (fd = ::accept(m_listener, nullptr, nullptr)) >= 0;) {
                serve(fd);
                ::close(fd);
            }
        });
    }
    ~Service() {
        ::shutdown(m_listener, SHUT_RDWR);  // ends the accept
        m_thread.join();
        ::close(m_listener);
    }
    int port() const { return m_port; }

private:
    int m_listener;
    int m_port;
    std::thread m_thread;
};

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

TEST(NetRelay, PassesBytesUnchangedBothWaysLateAndAtItsRate) {
    const std::string request = randomBytes(200000, 1);
    const std::string answer = randomBytes(300000, 2);
    std::string received;
    Service service([&](int fd) {
        received = receive(fd);  // up to the client's half-close
        sendAll(fd, answer);
    });
    const LinkShape shape{40ms, 10e6};  // 40 ms, 10 MB/s: 50 ms for the 500 kB
    NetRelay relay("127.0.0.1", service.port(), shape);
    const auto t0 = Clock::now();
    const int fd = connectTo(relay.port());
    sendAll(fd, request);
    ::shutdown(fd, SHUT_WR);
    const std::string got = receive(fd);
    const double elapsed = seconds(Clock::now() - t0);
    ::close(fd);
    EXPECT_TRUE(got == answer) << got.size() << " bytes back of " << answer.size();
    EXPECT_TRUE(received == request) << received.size() << " bytes on of " << request.size();
    // The handshake's round trip, the request's way there, the answer's way back, and both at
    // the link's rate; never sooner (how much later depends on the machine's load).
    EXPECT_GE(elapsed, 2 * 0.040 + 500000 / 10e6 - 0.001);
    const RelayCounts c = relay.counts();
    EXPECT_EQ(c.connections, 1);
    EXPECT_EQ(c.roundTrips, 2);  // the handshake and one answer
    EXPECT_EQ(c.bytesUp, 200000);
    EXPECT_EQ(c.bytesDown, 300000);
}

// A request written in pieces and an answer read in pieces is one round trip; each answer
// is one more, each connection one for its opening.
TEST(NetRelay, CountsARoundTripPerAnswerAndPerConnection) {
    Service service([](int fd) {
        for (std::string r; !(r = receive(fd, 10)).empty();) {
            sendAll(fd, "answer-");
            sendAll(fd, r);
        }
    });
    NetRelay relay("127.0.0.1", service.port(), LinkShape{10ms, 0});
    std::mutex lock;
    std::vector<std::pair<long, RelayCounts>> closed;
    relay.onClosed([&](long id, const RelayCounts& c) {
        const std::lock_guard hold(lock);
        closed.emplace_back(id, c);
    });
    const struct { int exchanges; } connections[] = {{3}, {1}};
    for (const auto& c : connections) {
        const int fd = connectTo(relay.port());
        for (int i = 0; i < c.exchanges; ++i) {
            const std::string r = "request-" + std::to_string(i) + "/";
            sendAll(fd, r.substr(0, 4));
            std::this_thread::sleep_for(2ms);
            sendAll(fd, r.substr(4));
            EXPECT_EQ(receive(fd, 17), "answer-" + r);
        }
        ::shutdown(fd, SHUT_WR);
        EXPECT_EQ(receive(fd), "");  // the service's end, passed on
        ::close(fd);
    }
    const RelayCounts total = relay.counts();
    EXPECT_EQ(total.connections, 2);
    EXPECT_EQ(total.roundTrips, 2 + 3 + 1);
    EXPECT_EQ(total.bytesUp, 4 * 10);
    EXPECT_EQ(total.bytesDown, 4 * 17);
    for (int i = 0; i < 100; ++i) {  // the relay closes its side after passing the end on
        {
            const std::lock_guard hold(lock);
            if (closed.size() == 2) break;
        }
        std::this_thread::sleep_for(5ms);
    }
    const std::lock_guard hold(lock);
    ASSERT_EQ(closed.size(), 2u);
    EXPECT_EQ(closed[0].first, 1);
    EXPECT_EQ(closed[0].second.roundTrips, 4);
    EXPECT_EQ(closed[0].second.bytesDown, 3 * 17);
    EXPECT_EQ(closed[1].first, 2);
    EXPECT_EQ(closed[1].second.roundTrips, 2);
    EXPECT_EQ(closed[1].second.connections, 1);
}

// The service ends its side first and still reads what the client sends after it.
TEST(NetRelay, PassesAHalfCloseFromTheServiceAndARefusal) {
    std::promise<std::string> after;
    Service service([&](int fd) {
        sendAll(fd, "bye");
        ::shutdown(fd, SHUT_WR);
        after.set_value(receive(fd));
    });
    NetRelay relay("127.0.0.1", service.port(), LinkShape{5ms, 0});
    const int fd = connectTo(relay.port());
    EXPECT_EQ(receive(fd), "bye");
    sendAll(fd, "still here");
    ::shutdown(fd, SHUT_WR);
    EXPECT_EQ(receive(fd), "");
    ::close(fd);
    auto heard = after.get_future();
    ASSERT_EQ(heard.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(heard.get(), "still here");

    // Nobody listens where the relay forwards: the client's connection ends without a byte.
    int unused = 0;
    {
        const Service gone([](int) {});
        unused = gone.port();
    }
    NetRelay nowhere("127.0.0.1", unused, LinkShape{});
    const int refused = connectTo(nowhere.port());
    EXPECT_EQ(receive(refused), "");
    ::close(refused);
    EXPECT_EQ(nowhere.counts().connections, 1);
}

TEST(NetRelay, ReadsRates) {
    const struct {
        const char* text;
        std::optional<double> bytesPerSecond;
    } cases[] = {
        {"10mbit", 1.25e6},       {"512kbit", 64e3},        {"1Gbit", 1.25e8},
        {"2mbyte", 2e6},          {"800byte", 800},         {"0", 0.0},
        {"unlimited", 0.0},       {"10", std::nullopt},     {"fast", std::nullopt},
        {"-1mbit", std::nullopt}, {"10mbps", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LinkShape::parseRate(c.text), c.bytesPerSecond) << c.text;
    EXPECT_EQ(LinkShape::rateText(1.25e6), "10 Mbit/s");
    EXPECT_EQ(LinkShape::rateText(0), "unlimited");
}

}  // namespace
}  // namespace tarvelo::bench
