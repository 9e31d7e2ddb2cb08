#include "soap/SoapXml.h"

#include "soap/XmlCharacters.h"
#include "text/Error.h"

namespace tarvelo::soapxml {

std::string open() {
    return R"(<?xml version="1.0" encoding="utf-8"?>)"
           R"(<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/")"
           R"( xmlns:xsd="http://www.w3.org/2001/XMLSchema")"
           R"( xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance")"
           R"( xmlns:SOAP-ENC="http://schemas.xmlsoap.org/soap/encoding/">)"
           R"(<SOAP-ENV:Body SOAP-ENV:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/">)";
}

std::string close() {
    return "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

void appendText(std::string& out, std::string_view text) {
    std::size_t plain = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char* escape = nullptr;
        const auto c = static_cast<unsigned char>(text[i]);
        switch (text[i]) {
            case '&':
                escape = "&amp;";
                break;
            case '<':
                escape = "&lt;";
                break;
            case '>':
                escape = "&gt;";
                break;
            case '"':
                escape = "&quot;";
                break;
            case '\r':
                escape = "&#13;";
                break;
            case '\t':
            case '\n':
                continue;
            default:
                if (c >= 0x20 && c < 0x80) continue;
                if (c >= 0x80) {
                    if (const std::size_t n = xmlchars::charLength(text, i)) {
                        i += n - 1;
                        continue;
                    }
                }
                // U+FFFE and U+FFFF are whole characters: one "?" each.
                if (c == 0xEF && text.substr(i + 1, 1) == "\xBF" && i + 2 < text.size() &&
                    (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
                    out.append(text.data() + plain, i - plain);
                    out += '?';
                    i += 2;
                    plain = i + 1;
                    continue;
                }
                // XML cannot carry this at all (a control character, a byte that is no UTF-8):
                // it becomes "?", the rule for every character the other side cannot hold.
                escape = "?";
        }
        out.append(text.data() + plain, i - plain);
        out += escape;
        plain = i + 1;
    }
    out.append(text.data() + plain, text.size() - plain);
}

void appendValue(std::string& out, std::string_view name, const SoapValue& value) {
    auto element = [&](std::string_view tag, std::string_view type, std::string_view text) {
        out.append("<").append(tag).append(" xsi:type=\"").append(type).append("\">");
        appendText(out, text);
        out.append("</").append(tag).append(">");
    };
    if (const auto* s = std::get_if<std::string>(&value)) {
        element(name, "xsd:string", *s);
    } else if (const auto* i = std::get_if<std::int32_t>(&value)) {
        element(name, "xsd:int", std::to_string(*i));
    } else if (const auto* d = std::get_if<double>(&value)) {
        element(name, "xsd:double", soapDoubleText(*d));
    } else {
        const auto& items = std::get<std::vector<double>>(value);
        out.append("<").append(name).append(
            R"( xsi:type="SOAP-ENC:Array" SOAP-ENC:arrayType="xsd:double[)");
        out.append(std::to_string(items.size())).append("]\">");
        for (double item : items)
            element("item", "xsd:double", soapDoubleText(item));
        out.append("</").append(name).append(">");
    }
}

std::string_view localName(const pugi::xml_node& node) {
    const std::string_view name = node.name();
    const std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string_view namespaceOfPrefix(const pugi::xml_node& node, std::string_view prefix) {
    const std::string attribute = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
    for (auto n = node; n && n.type() == pugi::node_element; n = n.parent())
        if (const auto a = n.attribute(attribute.c_str())) return a.value();
    return {};
}

std::string_view namespaceOf(const pugi::xml_node& node) {
    const std::string_view name = node.name();
    const std::size_t colon = name.find(':');
    return namespaceOfPrefix(node, colon == std::string_view::npos ? "" : name.substr(0, colon));
}

pugi::xml_attribute attributeIn(const pugi::xml_node& node, std::string_view ns,
                                std::string_view local) {
    for (auto a : node.attributes()) {
        const std::string_view name = a.name();
        const std::size_t colon = name.find(':');
        // An attribute without a prefix is in no namespace.
        if (colon == std::string_view::npos || name.substr(colon + 1) != local) continue;
        const std::string_view prefix = name.substr(0, colon);
        if (prefix != "xmlns" && namespaceOfPrefix(node, prefix) == ns) return a;
    }
    return {};
}

std::string textOf(const pugi::xml_node& node) {
    std::string text;
    for (auto c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) text += c.value();
    return text;
}

pugi::xml_node firstElement(const pugi::xml_node& parent) {
    for (auto c = parent.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element) return c;
    return {};
}

SoapParam readParam(const pugi::xml_node& node) {
    SoapParam param;
    param.name = localName(node);
    param.text = textOf(node);
    for (auto item = firstElement(node); item; item = item.next_sibling())
        if (item.type() == pugi::node_element) param.items.push_back(textOf(item));
    if (const auto arrayType = attributeIn(node, kEncodingNs, "arrayType")) {
        param.arrayType = arrayType.value();
        const std::size_t colon = param.arrayType->find(':');
        param.arrayTypeNs = namespaceOfPrefix(
            node, colon == std::string::npos ? "" : param.arrayType->substr(0, colon));
    }
    // an encoded array without items is an array all the same
    param.type = attributeIn(node, kSchemaInstanceNs, "type").value();
    param.isArray = !param.items.empty() || param.arrayType || param.type.ends_with(":Array");
    return param;
}

pugi::xml_node bodyContent(pugi::xml_document& doc, std::string_view text, std::string_view what) {
    // No end-of-line normalisation: a statement's CR LF must arrive as sent, even from a peer
    // that does not escape its CR. Blank-only text is a value too.
    const auto result = doc.load_buffer(
        text.data(), text.size(), pugi::parse_cdata | pugi::parse_escapes | pugi::parse_ws_pcdata,
        pugi::encoding_utf8);
    const std::string prefix =
        "收到的" + std::string(what) + "不是 SOAP 1.1 信封：“" + excerpt(text) + "”";
    if (!result)
        throw Error(prefix, std::string("XML 错误：") + result.description() + "，位置 " +
                                std::to_string(result.offset));
    const auto envelope = doc.document_element();
    if (localName(envelope) != "Envelope" || namespaceOf(envelope) != kEnvelopeNs)
        throw Error(prefix, "根元素不是 SOAP 1.1 的 Envelope");
    pugi::xml_node body;
    for (auto c = firstElement(envelope); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && localName(c) == "Body" &&
            namespaceOf(c) == kEnvelopeNs)
            body = c;
    if (!body) throw Error(prefix, "信封中没有 Body");
    const auto content = firstElement(body);
    if (!content) throw Error(prefix, "Body 是空的");
    return content;
}

}  // namespace tarvelo::soapxml
