#include "soap/SoapResponse.h"

#include "soap/SoapFault.h"
#include "soap/SoapXml.h"

namespace tarvelo {

std::string SoapResponse::write(std::string_view ns, std::string_view operation,
                                const SoapValue& result) {
    std::string out = soapxml::open();
    out.append("<NS1:").append(operation).append("Response xmlns:NS1=\"");
    soapxml::appendText(out, ns);
    out.append("\">");
    soapxml::appendValue(out, "return", result);
    out.append("</NS1:").append(operation).append("Response>");
    return out + soapxml::close();
}

std::string SoapResponse::writeFault(std::string_view code, std::string_view message) {
    std::string out = soapxml::open();
    out.append("<SOAP-ENV:Fault><faultcode>SOAP-ENV:");
    soapxml::appendText(out, code);
    out.append("</faultcode><faultstring>");
    soapxml::appendText(out, message);
    out.append("</faultstring></SOAP-ENV:Fault>");
    return out + soapxml::close();
}

SoapParam SoapResponse::read(std::string_view text, std::string_view operation) {
    pugi::xml_document doc;
    const auto content = soapxml::bodyContent(doc, text, "应答");
    if (soapxml::localName(content) == "Fault" &&
        soapxml::namespaceOf(content) == soapxml::kEnvelopeNs) {
        std::string code = soapxml::textOf(content.child("faultcode"));
        if (const auto colon = code.find(':'); colon != std::string::npos) code.erase(0, colon + 1);
        throw SoapFault(code, soapxml::textOf(content.child("faultstring")));
    }
    const std::string expected = std::string(operation) + "Response";
    if (soapxml::localName(content) != expected)
        throw Error("服务的应答不是 " + expected + "：“" + excerpt(text) + "”",
                    "收到的元素 " + std::string(content.name()));
    pugi::xml_node result;
    for (auto c = soapxml::firstElement(content); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && soapxml::localName(c) == "return") result = c;
    if (!result) throw Error("服务的应答中没有返回值。", "收到的内容：“" + excerpt(text) + "”");
    return soapxml::readParam(result);
}

}  // namespace tarvelo
