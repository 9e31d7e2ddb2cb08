#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "server/http/AccessToken.h"
#include "server/http/ClientNetworks.h"
#include "server/policy/AccountPolicy.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace tarvelo {
struct SoapInterface;
}

namespace tarvelo::server {

class SoapService;
class WorkerPool;

struct EndpointOptions {
    std::string host = "127.0.0.1";
    int port = 0;         // 0: any free port
    std::string tlsCert;  // both set: HTTPS (PEM files)
    std::string tlsKey;
    // Who is answered. A request refused by any of these gets HTTP 403 (network, certificate) or
    // 401 (token) with a line of plain text and a log line saying who and why; nothing it asked
    // is read or run. Every path is guarded alike, the WSDL and the index included. Checked in
    // this order, so that a stranger's network learns nothing of what else is asked.
    // The clients' networks; none listed: any. A connection from elsewhere is closed as soon as
    // it is accepted (with a log line), before it can send anything or hold a connection's
    // room; its requests would be refused all the same.
    ClientNetworks allowed;
    // With TLS: a PEM file of the authorities that must have signed the client's certificate.
    std::string tlsClientCa;
    AccessToken accessToken;  // "Authorization: Bearer TOKEN" on every request; none: not asked
    // The administrator's token (serve --admin-token-file), sent the same way: a request that
    // carries it may run any statement the guard allows (tarvelo-query), from the networks
    // `adminAllowed` lists only (loopback when none are given); from elsewhere it is refused.
    // It admits where the access token is asked for as well. None: no request is the
    // administrator's.
    AccessToken adminToken;
    ClientNetworks adminAllowed;
    int workers = 0;  // threads answering SOAP requests; 0: a pool sized by the machine
    // A connection that sends nothing for this long is closed, kept-alive or not.
    std::chrono::seconds idleTimeout{30};
    // The header of a request must be complete this long after the connection was made (after
    // the previous answer, on a kept-alive connection: the idle timeout), however slowly it
    // trickles in.
    std::chrono::seconds headerTimeout{10};
    // The body of a request must be complete this long after its header.
    std::chrono::seconds bodyTimeout{300};
    // Open at once; more are accepted and closed at once. Never more than the open-file limit
    // leaves room for (the database and the workers need descriptors too).
    int maxConnections = 10000;
    // Open at once from one address; more from it are closed at once. 0: no limit. Clients
    // behind one NAT or proxy share their address.
    int maxConnectionsPerAddress = 32;
    // Answers built and not yet taken by their clients, in bytes, that the service holds at
    // once; past it, a SOAP request is refused with HTTP 503 until clients have read theirs (a
    // client that asks and never reads cannot fill the memory with answers).
    std::size_t answerBudget = std::size_t(1) << 30;
    // One line per request (time, peer, operation, duration, rows or error); none when empty.
    std::function<void(const std::string&)> log;
};

// The HTTP side of the service:
//   POST /soap/IVRDS_IIS_WebSCoorSpplyIsapi   the read side
//   POST /soap/IVRDS_IIS_WebSCoorApplyIsapi   the write side
//   GET  /wsdl/<interface>                    WSDL 1.1 of every declared operation
//   GET  /wsdl/soap-encoding.xsd, /wsdl/wsdl.xsd   the schemas its types import
// Connections are served by a few event-driven I/O threads (libmicrohttpd, epoll), so an idle
// or slow connection holds no thread; a complete SOAP request is answered by a worker of a pool
// while its connection waits, suspended.
class HttpEndpoint {
public:
    HttpEndpoint(SoapService& service, EndpointOptions options);
    ~HttpEndpoint();
    HttpEndpoint(const HttpEndpoint&) = delete;
    HttpEndpoint& operator=(const HttpEndpoint&) = delete;

    // Binds the address (a port in use is refused: the socket is not shared) and starts taking
    // connections; returns the port. Throws tarvelo::Error when it cannot.
    int bind();
    // Waits until stop(); bind() first.
    void run();
    // bind(); returns once requests are accepted.
    void start();
    // Ends every connection once the requests being answered are done. Thread-safe.
    void stop();

    int port() const { return m_port; }
    // How many connections may be open at once, as bound: the option, or less where the
    // open-file limit leaves no room for more.
    int maxConnections() const { return m_maxConnections; }
    std::string baseUrl() const;  // "http://127.0.0.1:8517"
    // How many connections have been taken since bind() (a client that keeps its connection
    // alive is counted once, however many requests it sends).
    std::uint64_t connectionsAccepted() const { return m_accepted; }

private:
    struct Exchange;
    struct Callbacks;
    struct Refusal {
        unsigned status;
        std::string_view answer;  // to the caller
        std::string why;          // for the log: the caller's certificate, what was wrong
        bool wrongToken = false;
    };

    std::optional<Refusal> refusal(MHD_Connection* c) const;
    bool isAdmin(MHD_Connection* c) const;

    void serveSoap(const SoapInterface& iface, Exchange& x);
    std::string tooLarge() const;
    void log(const Exchange& x, std::string_view operation, double ms, std::string_view outcome);
    void reapSlowHeaders();
    void setHeaderDeadline(MHD_Connection* c, std::chrono::steady_clock::time_point deadline);

    SoapService& m_service;
    EndpointOptions m_options;
    std::string m_certPem, m_keyPem, m_clientCaPem;
    int m_socket = -1;
    int m_port = 0;
    int m_maxConnections = 0;
    MHD_Daemon* m_daemon = nullptr;
    std::unique_ptr<WorkerPool> m_workers;
    // SOAP requests taken for an answer whose answer has not gone out yet.
    std::atomic<int> m_inFlight{0};
    // Set when stop() begins: requests that come after are answered with a fault at once.
    std::atomic<bool> m_refusing{false};
    std::atomic<std::uint64_t> m_accepted{0};
    std::atomic<std::size_t> m_answersHeld{0};
    std::mutex m_logMutex;

    std::mutex m_stopMutex;  // one stop at a time
    std::mutex m_stateMutex;
    std::condition_variable m_stateChanged;
    bool m_stopping = false;
    bool m_stopped = false;

    // Connections whose request header is awaited: their socket and its deadline.
    struct Awaited {
        int fd = -1;
        std::chrono::steady_clock::time_point deadline;
    };
    std::mutex m_awaitedMutex;
    std::map<MHD_Connection*, Awaited> m_awaited;
    std::thread m_reaper;
};

}  // namespace tarvelo::server
