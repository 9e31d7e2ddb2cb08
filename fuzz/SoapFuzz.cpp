// SOAP request and response reading. Any input is read or refused with tarvelo::Error, by the
// whole-answer reader and by the stream reader fed in pieces (which, on an answer both take, gives
// the same text, for a well-formed one without a second "return"); a request
// that reads, written again with its parameters as strings, reads back to the same texts, and a
// parameter that reads as a double array writes back and reads again to the same values.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "soap/SoapRequest.h"
#include "soap/SoapResponse.h"
#include "soap/SoapResponseStream.h"
#include "text/Error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvelo;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::optional<std::string> whole;
    try {
        whole = SoapResponse::read(text, "SpplyVanDataBySQL").text;
    } catch (const Error&) {
    }
    std::string pieces;
    try {
        SoapResponseStream stream("SpplyVanDataBySQL", [&](std::string_view p) { pieces += p; });
        for (std::size_t at = 0; at < text.size(); at += 5)
            stream.feed(text.substr(at, 5));
        stream.finish();
        // The stream is the stricter reader: what it takes, the whole reader takes too, and gives
        // the same text, unless the answer has a second Body or "return" (the stream reads the
        // first, the other the last) or a document type (whose entities only the stream expands).
        const auto once = [&](std::string_view word) {
            const std::size_t first = text.find(word);
            return first == std::string_view::npos ||
                   text.find(word, first + 1) == std::string_view::npos;
        };
        if (once("Body") && once("return") && text.find("<!DOCTYPE") == std::string_view::npos &&
            (!whole || *whole != pieces))
            std::abort();
    } catch (const Error&) {
    }
    SoapRequest request;
    try {
        request = SoapRequest::read(text);
    } catch (const Error&) {
        return 0;
    }
    // A double array that reads writes back and reads again to the same values.
    for (const auto& p : request.params) {
        std::vector<double> values;
        try {
            values = p.doubles();
        } catch (const Error&) {
            continue;
        }
        if (values.size() != p.items.size()) std::abort();
        const SoapRequest::Argument array[] = {{"a", values}};
        const auto back =
            SoapRequest::read(SoapRequest::write("urn:x", "Op", array)).params.at(0).doubles();
        if (back.size() != values.size()) std::abort();
        for (std::size_t i = 0; i < back.size(); ++i)
            if (soapDoubleText(back[i]) != soapDoubleText(values[i])) std::abort();
    }
    // Names that are no plain XML names cannot be written back; the service refuses them anyway.
    auto plainName = [](const std::string& name) {
        if (name.empty() || (name[0] >= '0' && name[0] <= '9') || name[0] == '-' || name[0] == '.')
            return false;
        for (unsigned char c : name)
            if (!(std::isalnum(c) || c == '_' || c == '-' || c == '.')) return false;
        return true;
    };
    if (!plainName(request.operation)) return 0;
    std::vector<SoapRequest::Argument> args;
    for (const auto& p : request.params) {
        if (!plainName(p.name)) return 0;
        args.emplace_back(p.name, p.text);
    }
    const SoapRequest again =
        SoapRequest::read(SoapRequest::write(request.ns, request.operation, args));
    if (again.params.size() != request.params.size()) std::abort();
    // What XML cannot carry becomes "?" on the way: the lengths may only shrink, and a second
    // round trip changes nothing more.
    std::vector<SoapRequest::Argument> args2;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& before = request.params[i].text;
        const std::string& after = again.params[i].text;
        if (after != before &&
            (after.size() > before.size() || after.find('?') == std::string::npos))
            std::abort();
        args2.emplace_back(again.params[i].name, after);
    }
    const SoapRequest third =
        SoapRequest::read(SoapRequest::write(request.ns, request.operation, args2));
    for (std::size_t i = 0; i < args.size(); ++i)
        if (third.params[i].text != again.params[i].text) std::abort();
    return 0;
}
