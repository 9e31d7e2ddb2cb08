#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace tarvelo {
struct SoapInterface;
}

namespace tarvelo::server {

class SoapService;

struct EndpointOptions {
    std::string host = "127.0.0.1";
    int port = 0;         // 0: any free port
    std::string tlsCert;  // both set: HTTPS
    std::string tlsKey;
    int workers = 0;  // 0: a pool sized by the machine
    // One line per request (time, peer, operation, duration, rows or error); none when empty.
    std::function<void(const std::string&)> log;
};

// The HTTP side of the service:
//   POST /soap/IVRDS_IIS_WebSCoorSpplyIsapi   the read side
//   POST /soap/IVRDS_IIS_WebSCoorApplyIsapi   the write side
//   GET  /wsdl/<interface>                    WSDL 1.1 of every declared operation
class HttpEndpoint {
public:
    HttpEndpoint(SoapService& service, EndpointOptions options);
    ~HttpEndpoint();
    HttpEndpoint(const HttpEndpoint&) = delete;
    HttpEndpoint& operator=(const HttpEndpoint&) = delete;

    // Binds the address; returns the port. Throws tarvelo::Error when it cannot.
    int bind();
    // Serves until stop(); bind() first.
    void run();
    // bind() and run() on a thread of its own; returns once requests are accepted.
    void start();
    void stop();

    int port() const { return m_port; }
    std::string baseUrl() const;  // "http://127.0.0.1:8517"

private:
    void serveSoap(const SoapInterface& iface, const httplib::Request& req, httplib::Response& res);
    void log(const httplib::Request& req, std::string_view operation, double ms,
             std::string_view outcome);

    SoapService& m_service;
    EndpointOptions m_options;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<bool> m_ended{false};
    std::mutex m_logMutex;
};

}  // namespace tarvelo::server
