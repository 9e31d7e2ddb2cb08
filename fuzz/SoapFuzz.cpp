// SOAP request and response reading. Any input is read or refused with tarvelo::Error; a request
// that reads, written again with its parameters as strings, reads back to the same texts.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "soap/SoapRequest.h"
#include "soap/SoapResponse.h"
#include "text/Error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvelo;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        SoapResponse::read(text, "SpplyVanDataBySQL");
    } catch (const Error&) {
    }
    SoapRequest request;
    try {
        request = SoapRequest::read(text);
    } catch (const Error&) {
        return 0;
    }
    std::vector<SoapRequest::Argument> args;
    for (const auto& p : request.params) {
        // names that are no XML names cannot be written back; the service refuses them anyway
        if (p.name.empty() || p.name.find_first_of("<>&\"' /=") != std::string::npos) return 0;
        args.emplace_back(p.name, p.text);
    }
    if (request.operation.empty() ||
        request.operation.find_first_of("<>&\"' /=") != std::string::npos)
        return 0;
    const SoapRequest again =
        SoapRequest::read(SoapRequest::write(request.ns, request.operation, args));
    if (again.params.size() != request.params.size()) std::abort();
    for (std::size_t i = 0; i < args.size(); ++i)
        if (again.params[i].text != request.params[i].text) std::abort();
    return 0;
}
