#pragma once

#include <map>
#include <string>
#include <string_view>

#include <strings.h>

#include <span>

#include "support/TestService.h"

namespace tarvelo::test {

// A caller of the service as any SOAP stack that keeps cookies would be (as zeep, or gSOAP with
// cookies on): plain HTTP requests, the cookies the service sets sent back with the next ones,
// no administrator's token. Faults throw SoapFault.
class SoapCaller {
public:
    explicit SoapCaller(const TestService& service, bool keepsCookies = true)
        : m_service(service), m_keepsCookies(keepsCookies) {}

    std::string query(std::string_view sql);  // the answer's text: a packet, or an error text
    long long execute(std::string_view sql);
    int applyDelta(std::string_view params, std::string_view delta);
    std::string enVerifs(std::string_view source);
    // The sign-in as the client makes it: the account's lookup, then its password transformed;
    // the lookup's answer.
    std::string signIn(std::string_view id, std::string_view password);

    std::string cookie(const std::string& name) const;
    void setCookie(const std::string& name, const std::string& value) { m_cookies[name] = value; }
    void forgetCookie(const std::string& name) { m_cookies.erase(name); }

private:
    std::string call(const SoapInterface& iface, std::string_view operation,
                     std::span<const SoapRequest::Argument> arguments);

    const TestService& m_service;
    bool m_keepsCookies;
    std::map<std::string, std::string> m_cookies;
};

// The login lookup of the client for `id`.
std::string loginLookup(std::string_view id);
// The delta parameter text of the client for a table and its key.
std::string deltaParams(std::string_view table, std::string_view key,
                        std::string_view excluded = {});

}  // namespace tarvelo::test
