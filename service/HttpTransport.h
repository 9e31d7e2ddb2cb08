#pragma once

#include <string>
#include <string_view>

#include "service/ServiceConfig.h"

typedef void CURL;

namespace tarvelo {

// HTTP POST of SOAP requests through libcurl, one connection kept alive per transport. Not
// thread-safe: the client makes its calls one after the other on one thread.
class HttpTransport {
public:
    explicit HttpTransport(const ServiceConfig& config);
    ~HttpTransport();
    HttpTransport(const HttpTransport&) = delete;
    HttpTransport& operator=(const HttpTransport&) = delete;

    struct Reply {
        long status = 0;
        std::string body;
    };
    // Sends `body` with the SOAPAction header `soapAction` (already in its double quotes).
    // Throws tarvelo::Error with curl's message when no HTTP answer arrives.
    Reply post(const std::string& url, std::string_view soapAction, std::string_view body);

private:
    ServiceConfig m_config;
    CURL* m_curl;
};

}  // namespace tarvelo
