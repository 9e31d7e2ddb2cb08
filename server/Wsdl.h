#pragma once

#include <string>
#include <string_view>

namespace tarvelo {
struct SoapInterface;
}

namespace tarvelo::server {

// A WSDL 1.1 description (RPC style, SOAP section-5 encoding) of every operation the interface
// declares, in declaration order, with the service's address `location`.
std::string wsdlOf(const SoapInterface& iface, std::string_view location);

}  // namespace tarvelo::server
