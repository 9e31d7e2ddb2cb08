#pragma once

#include <string>
#include <string_view>

#include "soap/SoapRequest.h"
#include "soap/SoapValue.h"

namespace tarvelo {

// The answer to a SOAP 1.1 RPC request: <OperationResponse> in the interface's namespace with
// one child "return", or a fault.
struct SoapResponse {
    static std::string write(std::string_view ns, std::string_view operation,
                             const SoapValue& result);
    // `code` is "Client" (a malformed request) or "Server" (a failure while answering).
    static std::string writeFault(std::string_view code, std::string_view message);

    // The "return" of <operation>Response, whatever prefixes the peer uses. Throws SoapFault for
    // a fault and tarvelo::Error for anything that is not such an answer.
    static SoapParam read(std::string_view text, std::string_view operation);
};

}  // namespace tarvelo
