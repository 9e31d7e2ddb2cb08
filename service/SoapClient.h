#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "service/HttpTransport.h"
#include "soap/SoapInterface.h"
#include "soap/SoapRequest.h"

namespace tarvelo {

// A SOAP client object of one interface: its endpoint URL and the transport that reaches it.
// Calls are synchronous. A fault raises SoapFault (its text is the faultstring); an HTTP error
// status or a transport failure raises tarvelo::Error saying which.
class SoapClient {
public:
    // `connection`: another client's (HttpTransport::connection()), to take turns on its
    // kept-alive connections; none: one of its own.
    SoapClient(const SoapInterface& iface, std::string url, const ServiceConfig& config,
               CallSide side = CallSide::Read,
               std::shared_ptr<HttpTransport::Connection> connection = {});

    const SoapInterface& iface() const { return m_iface; }
    const std::string& url() const { return m_url; }
    void setUrl(std::string url) { m_url = std::move(url); }
    CallSide side() const { return m_http.side(); }
    const std::shared_ptr<HttpTransport::Connection>& connection() const {
        return m_http.connection();
    }
    void setWaiter(CallWaiter* waiter) { m_http.setWaiter(waiter); }
    // What the next call does, for the waiter's indicator ("正在查询…").
    void announce(std::string what) { m_http.announce(std::move(what)); }
    // Ends a read in flight and every later one (see HttpTransport::abandon).
    void abandon() { m_http.abandon(); }
    const ServiceConfig& config() const { return m_http.config(); }
    // The transport, for what belongs to the connection rather than to a call (its cookies).
    HttpTransport& transport() { return m_http; }

    using Arguments = std::initializer_list<SoapRequest::Argument>;
    SoapParam call(std::string_view operation, Arguments arguments);

    // The result of `operation` read as its type. Narrow strings cross the code page 936 round
    // trip (characters outside it become "?"); wide ones do not.
    std::string narrow(std::string_view operation, Arguments arguments);
    // The same, with the text handed to `sink` piece by piece as it arrives instead of being
    // returned whole: the answer is never held whole, here or on its way. The sink runs where the
    // exchange runs (the waiter's thread).
    using TextSink = std::function<void(std::string_view)>;
    void narrowInto(std::string_view operation, Arguments arguments, const TextSink& sink);
    std::string wide(std::string_view operation, Arguments arguments);
    std::int32_t integer(std::string_view operation, Arguments arguments);
    double real(std::string_view operation, Arguments arguments);
    std::vector<double> reals(std::string_view operation, Arguments arguments);

private:
    // The envelope of a call.
    std::string request(std::string_view operation, Arguments arguments) const;
    // Raises what an answer other than HTTP 200 means.
    [[noreturn]] void refused(const HttpTransport::Reply& reply, std::string_view operation) const;

    const SoapInterface& m_iface;
    std::string m_url;
    HttpTransport m_http;
};

}  // namespace tarvelo
