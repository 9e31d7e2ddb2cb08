#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

#include "service/CallWaiter.h"
#include "service/ServiceConfig.h"

typedef void CURL;

namespace tarvelo {

// HTTP POST of SOAP requests through libcurl, one connection kept alive per transport. Calls are
// made one after the other; with a waiter, each exchange runs on the waiter's thread while the
// caller waits. A read side's whole call is limited by the configured timeout, a write side's by
// the longer write timeout. Every call carries the configured access token and presents the
// configured client certificate.
class HttpTransport {
public:
    explicit HttpTransport(const ServiceConfig& config, CallSide side = CallSide::Read);
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
    const ServiceConfig& config() const { return m_config; }
    // Null: the exchange runs on the caller's thread.
    void setWaiter(CallWaiter* waiter) { m_waiter = waiter; }
    // What the next call does, as the waiter shows it ("正在查询…"); a call without one is
    // described by its side.
    void announce(std::string what) { m_nextActivity = std::move(what); }

private:
    ServiceConfig m_config;
    CallSide m_side;
    CURL* m_curl;
    CallWaiter* m_waiter = nullptr;
    std::string m_nextActivity;
    std::atomic<bool> m_cancel{false};
};

}  // namespace tarvelo
