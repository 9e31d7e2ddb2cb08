#pragma once

#include <string>
#include <string_view>

namespace tarvelo {
struct SoapInterface;
}

namespace tarvelo::server {

// A WSDL 1.1 description (RPC style, SOAP section-5 encoding) of every operation the interface
// declares, in declaration order, with the service's address `location`. Its types import the
// schemas below from `schemaBase` + their file names ("http://host:port/wsdl/").
std::string wsdlOf(const SoapInterface& iface, std::string_view location,
                   std::string_view schemaBase);

// The schemas the WSDL's types import, served beside it so that a tool reads them without the
// network: the SOAP 1.1 encoding's array (soapenc:Array, soapenc:arrayType and what they
// reference) and the WSDL namespace's wsdl:arrayType attribute.
struct ImportedSchema {
    std::string_view file;  // "soap-encoding.xsd"
    std::string_view ns;
    std::string_view text;
};
// The schema served under `file`, or nullptr.
const ImportedSchema* importedSchema(std::string_view file);

}  // namespace tarvelo::server
