#include "soap/SoapRequest.h"

#include "soap/SoapXml.h"
#include "soap/XmlCharacters.h"
#include "text/Error.h"

namespace tarvelo {

std::string SoapRequest::write(std::string_view ns, std::string_view operation,
                               std::span<const Argument> arguments) {
    std::string out = soapxml::open();
    out.append("<NS1:").append(operation).append(" xmlns:NS1=\"");
    soapxml::appendText(out, ns);
    out.append("\">");
    for (const auto& [name, value] : arguments)
        soapxml::appendValue(out, name, value);
    out.append("</NS1:").append(operation).append(">");
    return out + soapxml::close();
}

SoapRequest SoapRequest::read(std::string_view text) {
    // Checked before parsing: the parser would take both kinds of fault as they come, and a
    // reference to NUL would cut every text after it short.
    if (const auto problem = xmlchars::problem(text))
        throw Error("收到的请求不是格式正确的 XML：其中有 XML 1.0 不允许的字符。", *problem);
    pugi::xml_document doc;
    const auto op = soapxml::bodyContent(doc, text, "请求");
    SoapRequest request;
    request.ns = soapxml::namespaceOf(op);
    request.operation = soapxml::localName(op);
    for (auto p = op.first_child(); p; p = p.next_sibling()) {
        if (p.type() != pugi::node_element) continue;
        request.params.push_back(soapxml::readParam(p));
    }
    return request;
}

const SoapParam* SoapRequest::find(std::string_view name) const {
    for (const auto& p : params)
        if (p.name == name) return &p;
    return nullptr;
}

}  // namespace tarvelo
