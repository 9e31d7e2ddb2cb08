#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <string>
#include <thread>

#include "data/DataPacket.h"
#include "service/IVRDS_IIS_WebSCoorSpplyIsapi.h"
#include "service/SoapClient.h"

namespace tarvelo {

// A read of the service made beside the window's own calls, for what the user is typing: it
// runs on a thread of its own, through a client of its own (which may take turns on the window's
// connection: a call of the window then waits for it), and holds no input back, so typing goes
// on while it is answered. One at a time.
class BackgroundQuery {
public:
    struct Answer {
        std::string sqlText;               // the statement asked
        DataPacket rows;                   // the packet, when one came
        std::exception_ptr callFailure;    // no answer came (the service or the network failed)
        std::exception_ptr packetFailure;  // the answer was no packet (a refused statement)
    };
    // SpplyVanDataBySQL of `sqlText` through `intf`, its packet read as it arrives, on the
    // calling thread; every failure is kept in the answer, none is raised.
    static Answer read(IVRDS_IIS_WebSCoorSpplyIsapi& intf, std::string_view sqlText);

    // Called on the query's thread when the answer is complete; it must only hand it on.
    using Done = std::function<void(Answer)>;

    // `connection`: the window's client's, on which the two take turns (one connection to the
    // service); none: one of its own.
    BackgroundQuery(const SoapInterface& iface, std::string url, const ServiceConfig& config,
                    std::shared_ptr<HttpTransport::Connection> connection = {});
    // Abandons a query still in flight and waits for its thread: `done` is not called then.
    ~BackgroundQuery();
    BackgroundQuery(const BackgroundQuery&) = delete;
    BackgroundQuery& operator=(const BackgroundQuery&) = delete;

    // Whether a query is in flight (its `done` not yet returned).
    bool busy() const { return m_busy; }
    // Sends `sqlText` through SpplyVanDataBySQL; the packet is read as it arrives, on the
    // query's thread. Throws tarvelo::Error when one is in flight already.
    void start(std::string sqlText, Done done);

private:
    SoapClient m_client;
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_abandoned{false};
    std::jthread m_thread;
};

}  // namespace tarvelo
