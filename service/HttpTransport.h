#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "service/CallWaiter.h"
#include "service/ServiceConfig.h"

namespace tarvelo {

// HTTP POST of SOAP requests through libcurl. Calls are made one after the other; with a waiter,
// each exchange runs on the waiter's thread while the caller waits. A read side's whole call is
// limited by the configured timeout, a write side's by the longer write timeout. Every call
// carries the configured access token and presents the configured client certificate.
//
// Connections are kept alive: after the first call, calls open none while the service keeps the
// connection open. Transports given one Connection (the read and the write side of a data
// module) take turns on the same connections; every transport of the process shares resolved
// host names and TLS sessions, so a connection it must open still skips the full handshake. A
// connection the service closed while idle is opened again without a word; a write whose body
// has gone out whole is never sent again by itself, since the service may have applied it.
//
// Answers are asked for gzip-compressed and read as they arrive, inflated; a service that
// answers plainly is read as well. With `compress-requests` a longer request body goes out
// gzip-compressed.
//
// Each Connection keeps the cookies the service sets, in memory, and sends them back with every
// call on it: transports that share a Connection share its cookies; another Connection (a second
// data module) starts with none.
class HttpTransport {
public:
    // libcurl's handle and the connections it keeps, for transports that take turns on it.
    class Connection;

    // `connection`: another transport's, to share; none: one of its own.
    explicit HttpTransport(const ServiceConfig& config, CallSide side = CallSide::Read,
                           std::shared_ptr<Connection> connection = {});
    ~HttpTransport();
    HttpTransport(const HttpTransport&) = delete;
    HttpTransport& operator=(const HttpTransport&) = delete;

    struct Reply {
        long status = 0;
        std::string body;       // empty when the body went to a sink
        bool streamed = false;  // the body went to the sink given
    };
    // Takes an answer's body piece by piece as it arrives; runs where the exchange runs (the
    // waiter's thread). What it throws ends the exchange and is raised by post().
    using BodySink = std::function<void(std::string_view)>;
    // Sends `body` with the SOAPAction header `soapAction` (already in its double quotes).
    // Throws tarvelo::Error saying in Chinese why no HTTP answer arrived and what to do, with
    // curl's message as its detail. A write that was sent but not answered is reported as of
    // unknown outcome, never as not applied.
    // With a sink, the body of an answer with status 200 goes to it instead of into the reply;
    // any other answer is collected as usual.
    Reply post(const std::string& url, std::string_view soapAction, std::string_view body,
               const BodySink* sink = nullptr);

    CallSide side() const { return m_side; }
    const std::shared_ptr<Connection>& connection() const { return m_connection; }
    const ServiceConfig& config() const { return m_config; }
    // Null: the exchange runs on the caller's thread.
    void setWaiter(CallWaiter* waiter) { m_waiter = waiter; }
    // What the next call does, as the waiter shows it ("正在查询…"); a call without one is
    // described by its side.
    void announce(std::string what) { m_nextActivity = std::move(what); }
    // Ends a read in flight, and every later one, at once: the transport is being let go (from
    // another thread than the one calling post()). A write is never cut short.
    void abandon() { m_abandoned = true; }
    // Whether the read in flight is to end: cancelled by the user, or abandoned.
    bool cancelled() const { return m_cancel || m_abandoned; }

    // The cookies of the connection, one line each as a Netscape cookie file holds them
    // ("domain<TAB>subdomains<TAB>path<TAB>secure<TAB>expires<TAB>name<TAB>value", the domain
    // prefixed "#HttpOnly_" for an HttpOnly cookie). Each waits for a call in flight on the
    // connection to end, as post() does.
    //
    // The line of the cookie `name` that is still valid; empty when there is none.
    std::string cookieLine(std::string_view name);
    // Adds the cookie of `line`, replacing one of its name, domain and path; a line that is no
    // cookie line is ignored.
    void putCookieLine(std::string_view line);
    // Removes every cookie named `name`.
    void forgetCookie(std::string_view name);

private:
    // How a call waits for its turn on the connection: through the waiter, as the exchange does.
    void waitForTurn(const std::function<void()>& block);

    ServiceConfig m_config;
    CallSide m_side;
    std::shared_ptr<Connection> m_connection;
    CallWaiter* m_waiter = nullptr;
    std::string m_nextActivity;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_abandoned{false};
};

}  // namespace tarvelo
