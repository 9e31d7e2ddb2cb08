#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarvelo::test {

// A loopback HTTP listener that records every request byte for byte and answers each with the
// same canned response, then closes the connection. For checking the exact bytes a client
// sends, and for peers that misbehave (an HTTP 500 without SOAP, garbage).
class RawHttpListener {
public:
    // `status` and `body` make the response; `contentType` its type; `headers` further header
    // lines, each ending in CR LF ("Set-Cookie: a=1\r\n").
    RawHttpListener(int status, std::string body, std::string contentType = "text/plain",
                    std::string headers = {});
    ~RawHttpListener();
    RawHttpListener(const RawHttpListener&) = delete;
    RawHttpListener& operator=(const RawHttpListener&) = delete;

    // Each answer is sent this long after its request has been read.
    void answerAfter(std::chrono::milliseconds delay) { m_delay = delay; }
    // From now on each connection's first request is answered with the connection kept open,
    // and the next one on it is read whole and left unanswered as the connection is closed: a
    // service that went away after taking a request on a kept-alive connection.
    void dropSecondRequests() { m_dropSecond = true; }

    int port() const { return m_port; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::vector<std::string> requests() const;

private:
    void serve();

    std::string m_response;
    std::string m_keptResponse;  // the same, without "Connection: close"
    std::atomic<bool> m_dropSecond{false};
    std::atomic<std::chrono::milliseconds> m_delay{std::chrono::milliseconds(0)};
    int m_socket = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

// A loopback port on which nothing listens.
int closedPort();

// A loopback port that takes connections (the kernel completes them) and never answers.
class SilentListener {
public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    std::string base() const { return "http://127.0.0.1:" + std::to_string(m_port); }

private:
    int m_socket = -1;
    int m_port = 0;
};

}  // namespace tarvelo::test
