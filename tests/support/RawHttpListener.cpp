#include "support/RawHttpListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace tarvelo::test {

namespace {

int listenOnLoopback(int& port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(s, 16) != 0)
        throw std::runtime_error("test listener: cannot listen on loopback");
    socklen_t len = sizeof addr;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    return s;
}

}  // namespace

int closedPort() {
    int port = 0;
    const int s = listenOnLoopback(port);
    ::close(s);
    return port;
}

SilentListener::SilentListener() {
    m_socket = listenOnLoopback(m_port);
}

SilentListener::~SilentListener() {
    ::close(m_socket);
}

RawHttpListener::RawHttpListener(int status, std::string body, std::string contentType,
                                 std::string headers) {
    const std::string head =
        "HTTP/1.1 " + std::to_string(status) + " Whatever\r\nContent-Type: " + contentType +
        "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + headers;
    m_response = head + "Connection: close\r\n\r\n" + body;
    m_keptResponse = head + "\r\n" + body;
    m_socket = listenOnLoopback(m_port);
    m_thread = std::thread([this] { serve(); });
}

RawHttpListener::~RawHttpListener() {
    m_stop = true;
    m_thread.join();
    ::close(m_socket);
}

std::vector<std::string> RawHttpListener::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void RawHttpListener::serve() {
    while (!m_stop) {
        pollfd p{m_socket, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const int c = ::accept(m_socket, nullptr, nullptr);
        if (c < 0) continue;
        const bool dropSecond = m_dropSecond;
        for (int taken = 0; !m_stop; ++taken) {
            std::string request;
            char buf[65536];
            std::size_t expected = std::string::npos;
            while (expected == std::string::npos || request.size() < expected) {
                pollfd q{c, POLLIN, 0};
                if (::poll(&q, 1, 2000) <= 0) break;
                const ssize_t n = ::read(c, buf, sizeof buf);
                if (n <= 0) break;
                request.append(buf, static_cast<std::size_t>(n));
                const auto end = request.find("\r\n\r\n");
                if (expected == std::string::npos && end != std::string::npos) {
                    std::size_t length = 0;
                    const auto at = request.find("Content-Length: ");
                    if (at != std::string::npos && at < end)
                        length = std::stoul(request.substr(at + 16));
                    expected = end + 4 + length;
                }
            }
            if (request.empty() && taken > 0) break;  // the client closed its kept connection
            {
                std::lock_guard lock(m_mutex);
                m_requests.push_back(request);
            }
            if (dropSecond && taken == 1) break;
            const auto due = std::chrono::steady_clock::now() + m_delay.load();
            while (!m_stop && std::chrono::steady_clock::now() < due)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const std::string& response = dropSecond ? m_keptResponse : m_response;
            const ssize_t sent = ::write(c, response.data(), response.size());
            (void)sent;
            if (!dropSecond) break;
        }
        ::close(c);
    }
}

}  // namespace tarvelo::test
