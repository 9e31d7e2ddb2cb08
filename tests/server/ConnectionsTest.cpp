#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "server/ServerFixture.h"
#include "server/http/HttpEndpoint.h"
#include "server/soap/SoapService.h"
#include "server/store/Store.h"
#include "soap/SoapRequest.h"
#include "text/Error.h"

namespace tarvelo::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A raw loopback connection, for clients that misbehave in ways an HTTP library will not.
class Socket {
public:
    explicit Socket(int port, bool blocking = true) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | (blocking ? 0 : SOCK_NONBLOCK), 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ||
                      (!blocking && errno == EINPROGRESS);
    }
    ~Socket() { ::close(m_fd); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool connected() const { return m_connected; }
    int fd() const { return m_fd; }

    bool send(std::string_view data, std::chrono::milliseconds timeout = 2000ms) {
        setTimeout(SO_SNDTIMEO, timeout);
        while (!data.empty()) {
            const ssize_t n = ::send(m_fd, data.data(), data.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            data.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    // One HTTP answer (header and Content-Length body); what arrived when time ran out or the
    // peer closed.
    std::string answer(std::chrono::milliseconds timeout = 3000ms) {
        const auto deadline = Clock::now() + timeout;
        std::string text;
        for (;;) {
            const auto head = text.find("\r\n\r\n");
            if (head != std::string::npos) {
                const auto at = text.find("Content-Length: ");
                const std::size_t length =
                    at == std::string::npos ? 0 : std::stoul(text.substr(at + 16));
                if (text.size() >= head + 4 + length) return text;
            }
            if (!readSome(text, deadline)) return text;
        }
    }

    // Whether the peer closes the connection before `timeout`, reading whatever comes first
    // (into `read`, when given).
    bool closedWithin(std::chrono::milliseconds timeout, std::string* read = nullptr) {
        const auto deadline = Clock::now() + timeout;
        std::string ignored;
        std::string& text = read ? *read : ignored;
        while (Clock::now() < deadline)
            if (!readSome(text, deadline)) return Clock::now() < deadline;
        return false;
    }

private:
    void setTimeout(int option, std::chrono::milliseconds t) {
        timeval tv{static_cast<time_t>(t.count() / 1000),
                   static_cast<suseconds_t>(t.count() % 1000 * 1000)};
        ::setsockopt(m_fd, SOL_SOCKET, option, &tv, sizeof tv);
    }
    // False at the end of the stream, on an error, or when the deadline passed.
    bool readSome(std::string& text, Clock::time_point deadline) {
        // Rounded up: a poll that ends before the deadline is not taken for the peer's end.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= 0ms) return false;
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
        char buf[4096];
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        text.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    int m_fd = -1;
    bool m_connected = false;
};

std::string soapPost(std::string_view body, std::string_view extraHeaders = {}) {
    return "POST /soap/" + std::string(SoapInterface::supply().name) +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml; charset=utf-8\r\n" +
           std::string(extraHeaders) + "Content-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + std::string(body);
}

std::string echoBody() {
    const SoapRequest::Argument args[] = {{"dValue", 1.5}};
    return SoapRequest::write(SoapInterface::supply().ns, "echoDouble", args);
}

bool answeredOk(const std::string& answer) {
    return answer.starts_with("HTTP/1.1 200") && answer.find(">1.5<") != std::string::npos;
}

TEST(Connections, IdleAndSlowClientsLockNobodyOut) {
    server::EndpointOptions options;
    options.maxConnectionsPerAddress = 0;  // every client here comes from 127.0.0.1
    TestService service({}, options);
    // Clients that keep their connection open after a request, as libcurl does...
    std::vector<std::unique_ptr<Socket>> idle;
    for (int i = 0; i < 40; ++i) {
        idle.push_back(std::make_unique<Socket>(service.port()));
        ASSERT_TRUE(idle.back()->send(soapPost(echoBody())));
        ASSERT_TRUE(answeredOk(idle.back()->answer())) << i;
    }
    // ...and clients that send their header a byte at a time.
    std::vector<std::unique_ptr<Socket>> slow;
    for (int i = 0; i < 20; ++i) {
        slow.push_back(std::make_unique<Socket>(service.port()));
        ASSERT_TRUE(slow.back()->send("POST /soap/"));
    }
    for (int round = 0; round < 3; ++round) {
        Socket fresh(service.port());
        ASSERT_TRUE(fresh.send(soapPost(echoBody())));
        EXPECT_TRUE(answeredOk(fresh.answer(2000ms))) << "round " << round;
        for (auto& s : slow)
            s->send("I");
    }
    // The idle ones are still served on their kept-alive connections.
    ASSERT_TRUE(idle.front()->send(soapPost(echoBody())));
    EXPECT_TRUE(answeredOk(idle.front()->answer()));
}

TEST(Connections, IdleAndSlowHeaderConnectionsAreClosedAfterTheirTimeouts) {
    server::EndpointOptions options;
    options.idleTimeout = 1s;
    options.headerTimeout = 1s;
    options.bodyTimeout = 1s;
    TestService service({}, options);
    const auto started = Clock::now();
    Socket silent(service.port());
    Socket slow(service.port());
    Socket slowBody(service.port());
    const std::string whole = soapPost(echoBody());
    ASSERT_TRUE(slowBody.send(whole.substr(0, whole.find("\r\n\r\n") + 4)));
    Socket kept(service.port());
    ASSERT_TRUE(kept.send(soapPost(echoBody())));
    ASSERT_TRUE(answeredOk(kept.answer()));
    // A byte every 200 ms keeps a connection active, but its header never ends.
    bool slowClosed = false, bodyClosed = false;
    while ((!slowClosed || !bodyClosed) && Clock::now() - started < 6s) {
        slowClosed = slowClosed || !slow.send("X") || slow.closedWithin(100ms);
        bodyClosed = bodyClosed || !slowBody.send("<") || slowBody.closedWithin(100ms);
    }
    EXPECT_TRUE(slowClosed);
    EXPECT_TRUE(bodyClosed);  // a body that trickles in is cut off too
    EXPECT_TRUE(silent.closedWithin(5s));
    EXPECT_TRUE(kept.closedWithin(5s));
    EXPECT_GE(Clock::now() - started, 900ms);  // not before its time
    Socket fresh(service.port());
    ASSERT_TRUE(fresh.send(soapPost(echoBody())));
    EXPECT_TRUE(answeredOk(fresh.answer()));
}

TEST(Connections, AChunkedBodyIsNotReadPastTheRequestLimit) {
    server::ServiceLimits limits;
    limits.maxRequestBytes = 64 << 10;
    std::mutex mutex;
    std::vector<std::string> lines;
    server::EndpointOptions options;
    options.log = [&](const std::string& line) {
        std::lock_guard lock(mutex);
        lines.push_back(line);
    };
    TestService service(limits, options);
    Socket client(service.port());
    ASSERT_TRUE(client.send("POST /soap/" + std::string(SoapInterface::supply().name) +
                            " HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n"));
    const std::string chunk = "4000\r\n" + std::string(0x4000, 'x') + "\r\n";
    std::size_t sent = 0;
    while (sent < (32u << 20) && client.send(chunk, 1000ms))
        sent += 0x4000;
    // What the kernel buffers on both sides is accepted; the rest is refused.
    EXPECT_LT(sent, 32u << 20);
    EXPECT_TRUE(client.closedWithin(2000ms));
    std::lock_guard lock(mutex);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("请求太大"), std::string::npos) << lines.back();
}

// A service told to stop still answers what it is working on: a write it committed is never cut
// off from its answer (the client would think it failed and send it again).
TEST(Connections, StoppingAnswersTheRequestsBeingWorkedOn) {
    TestService service;
    // A statement that runs a while and answers some megabytes, more than a socket buffers.
    const SoapRequest::Argument args[] = {
        {"sSQL", std::string("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c WHERE "
                             "x<120000) SELECT x AS N, 'abcdefghijklmnopqrstuvwxyz' AS T FROM c")}};
    Socket client(service.port());
    ASSERT_TRUE(client.send(
        soapPost(SoapRequest::write(SoapInterface::supply().ns, "SpplyVanDataBySQL", args),
                 "Authorization: Bearer " + std::string(TestService::kAdminToken) + "\r\n")));
    std::this_thread::sleep_for(100ms);  // the statement is running
    std::thread stopper([&] { service.stopEndpoint(); });
    const std::string answer = client.answer(20s);
    stopper.join();
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200")) << answer.substr(0, 200);
    EXPECT_NE(answer.find("N=&quot;120000&quot;"), std::string::npos) << answer.size();
}

// Answers built and not yet read are held within a budget: a client that asks and never reads
// turns others away for a while (HTTP 503), never fills the memory; once it reads, they are
// answered again.
TEST(Connections, AnswersNotYetReadAreHeldWithinABudget) {
    server::EndpointOptions options;
    options.answerBudget = 1 << 20;
    TestService service({}, options);
    const std::string admin =
        "Authorization: Bearer " + std::string(TestService::kAdminToken) + "\r\n";
    const SoapRequest::Argument big[] = {
        {"sSQL", std::string("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c WHERE "
                             "x<120000) SELECT x AS N, 'abcdefghijklmnopqrstuvwxyz' AS T FROM c")}};
    const std::string regions = soapPost(
        SoapRequest::write(SoapInterface::supply().ns, "SpplyVanDataBySQL",
                           std::vector<SoapRequest::Argument>{
                               {"sSQL", "select ID,IDDESC FROM KVR_REGION ORDER BY ID "}}));
    Socket hoarder(service.port());
    ASSERT_TRUE(hoarder.send(
        soapPost(SoapRequest::write(SoapInterface::supply().ns, "SpplyVanDataBySQL", big), admin)));
    // Its answer, megabytes, waits unread; another caller is turned away meanwhile.
    std::string refused;
    for (int i = 0; i < 100 && !refused.starts_with("HTTP/1.1 503"); ++i) {
        std::this_thread::sleep_for(50ms);
        Socket other(service.port());
        ASSERT_TRUE(other.send(regions));
        refused = other.answer();
    }
    EXPECT_TRUE(refused.starts_with("HTTP/1.1 503")) << refused.substr(0, 300);
    EXPECT_NE(refused.find("数据服务正忙，请稍后再试。"), std::string::npos);
    // Read, the answer is let go, and the next caller is answered.
    const std::string whole = hoarder.answer(20s);
    EXPECT_NE(whole.find("N=&quot;120000&quot;"), std::string::npos) << whole.size();
    std::string answered;
    for (int i = 0; i < 100 && !answered.starts_with("HTTP/1.1 200"); ++i) {
        Socket later(service.port());
        ASSERT_TRUE(later.send(regions));
        answered = later.answer();
        if (!answered.starts_with("HTTP/1.1 200")) std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(answered.starts_with("HTTP/1.1 200")) << answered.substr(0, 300);
}

TEST(Connections, ABurstOfConnectionsIsTakenWithoutResets) {
    server::EndpointOptions options;
    options.maxConnectionsPerAddress = 0;  // every client here comes from 127.0.0.1
    TestService service({}, options);
    std::vector<std::unique_ptr<Socket>> burst;
    for (int i = 0; i < 200; ++i)
        burst.push_back(std::make_unique<Socket>(service.port(), false));
    int answered = 0;
    for (auto& s : burst) {
        pollfd p{s->fd(), POLLOUT, 0};
        if (!s->connected() || ::poll(&p, 1, 5000) != 1) continue;
        const int flags = 0;
        ::fcntl(s->fd(), F_SETFL, flags);
        if (s->send("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n") &&
            s->answer(5000ms).starts_with("HTTP/1.1 200"))
            ++answered;
    }
    EXPECT_EQ(answered, 200);
}

// A stranger's connection is closed as soon as it is taken: it is never read, never answered and
// holds none of the room the allowed clients have.
TEST(Connections, AConnectionFromANetworkNotAllowedIsClosedUnread) {
    const struct {
        std::vector<std::string> allowed;
        bool admitted;
    } cases[] = {
        {{"10.0.0.0/8"}, false},
        {{"10.1.0.0/16", "::1"}, false},  // loopback is not implied
        {{"10.0.0.0/8", "127.0.0.1"}, true},
    };
    for (const auto& c : cases) {
        const std::string what = testing::PrintToString(c.allowed);
        std::mutex mutex;
        std::vector<std::string> lines;
        server::EndpointOptions options;
        options.allowed = server::ClientNetworks(c.allowed);
        options.log = [&](const std::string& line) {
            std::lock_guard lock(mutex);
            lines.push_back(line);
        };
        TestService service({}, options);
        Socket silent(service.port());  // sends nothing at all
        Socket asking(service.port());
        asking.send(soapPost(echoBody()));
        if (c.admitted) {
            EXPECT_TRUE(answeredOk(asking.answer())) << what;
            EXPECT_FALSE(silent.closedWithin(500ms)) << what;
            EXPECT_EQ(service.connectionsAccepted(), 2u) << what;
            continue;
        }
        std::string read;
        EXPECT_TRUE(silent.closedWithin(2000ms, &read)) << what;  // the header timeout is 10 s
        EXPECT_EQ(read, "") << what;
        EXPECT_TRUE(asking.closedWithin(2000ms, &read)) << what;
        EXPECT_EQ(read, "") << what;
        EXPECT_EQ(service.connectionsAccepted(), 0u) << what;
        std::lock_guard lock(mutex);
        ASSERT_EQ(lines.size(), 2u) << what;
        for (const auto& line : lines) {
            EXPECT_NE(line.find(" 127.0.0.1:"), std::string::npos) << line;
            EXPECT_TRUE(line.ends_with(" 拒绝连接：对端不在允许的网络之内")) << line;
        }
    }
}

TEST(Connections, OneAddressHoldsAtMostItsShareOfConnections) {
    server::EndpointOptions options;
    options.maxConnectionsPerAddress = 3;
    TestService service({}, options);
    std::vector<std::unique_ptr<Socket>> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(std::make_unique<Socket>(service.port()));
        ASSERT_TRUE(held.back()->send(soapPost(echoBody())));
        ASSERT_TRUE(answeredOk(held.back()->answer())) << i;  // kept alive
    }
    Socket fourth(service.port());
    fourth.send(soapPost(echoBody()));
    std::string read;
    EXPECT_TRUE(fourth.closedWithin(2000ms, &read));
    EXPECT_EQ(read, "");
    EXPECT_EQ(service.connectionsAccepted(), 3u);
    // The three are still served.
    for (auto& s : held) {
        ASSERT_TRUE(s->send(soapPost(echoBody())));
        EXPECT_TRUE(answeredOk(s->answer()));
    }
    // One goes: its room is free for another.
    held.pop_back();
    bool answered = false;
    for (const auto until = Clock::now() + 5s; !answered && Clock::now() < until;) {
        Socket next(service.port());
        answered = next.send(soapPost(echoBody())) && answeredOk(next.answer(1000ms));
        if (!answered) std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(answered);
}

TEST(Connections, APortInUseIsRefused) {
    TestService service;
    server::Store store(service.dbPath());
    server::SoapService soap(store, {});
    server::EndpointOptions options;
    options.port = service.port();
    server::HttpEndpoint second(soap, options);
    try {
        second.bind();
        ADD_FAILURE() << "a second service listens on port " << service.port();
    } catch (const Error& e) {
        EXPECT_NE(e.message().find("端口已被占用"), std::string::npos) << e.message();
    }
    Socket client(service.port());
    ASSERT_TRUE(client.send(soapPost(echoBody())));
    EXPECT_TRUE(answeredOk(client.answer()));
}

}  // namespace
}  // namespace tarvelo::test
