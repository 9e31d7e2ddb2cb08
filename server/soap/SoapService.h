#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "server/ServiceLimits.h"
#include "server/policy/AccountPolicy.h"
#include "server/policy/CallRate.h"

namespace tarvelo {
struct SoapInterface;
}

namespace tarvelo::server {

class Store;

// Answers the SOAP requests of both interfaces, without HTTP: the read side's EnVerifs,
// SpplyVanDataBySQL and the echoes; the write side's ApplyVanDataByExc,
// ApplyVanDataBySQLupKeyChangedExc1 and the echoes. Every other declared operation is answered
// by a fault saying the service does not offer it. Thread-safe: each call leases a connection.
class SoapService {
public:
    // Sees every statement text that arrives, with its operation (tests record them; the log
    // prints them when asked). Never sees a password.
    using StatementObserver = std::function<void(std::string_view operation, std::string_view sql)>;

    SoapService(Store& store, ServiceLimits limits, StatementObserver observer = {},
                AccountPolicy::Options accounts = {});

    struct Reply {
        int status = 200;  // 500 for a fault, as SOAP 1.1 over HTTP wants
        std::string body;
        std::string operation;                // for the log; empty when the request named none
        std::string outcome;                  // for the log: rows, a result, or the error
        std::vector<std::string> setCookies;  // Set-Cookie header values
    };
    // `caller` says who calls: its address for the limits per caller, its cookies, whether it
    // holds the administrator's token (see AccountPolicy).
    Reply handle(const SoapInterface& iface, std::string_view body, const Caller& caller = {});

    const ServiceLimits& limits() const { return m_limits; }

private:
    Store& m_store;
    ServiceLimits m_limits;
    StatementObserver m_observer;
    // Per caller: EnVerifs does not name the account whose password it transforms, so its calls
    // can only be counted by who makes them.
    CallRate m_enVerifsRate;
    AccountPolicy m_policy;
};

}  // namespace tarvelo::server
