#pragma once

// Reading what crossed the wire with no help from the code under test: HTTP requests as the
// loopback listener recorded them, and SOAP envelopes through a plain XML parser with every
// namespace prefix resolved, so that a check holds for any prefixes a peer chooses.

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <string_view>

#include "contract/Contract.h"

namespace tarvelo::test::wire {

struct HttpRequest {
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;

    std::string header(const std::string& lowerName) const {
        const auto it = headers.find(lowerName);
        return it == headers.end() ? "<none>" : it->second;
    }
};

inline HttpRequest parseRequest(std::string_view raw) {
    HttpRequest r;
    const auto end = raw.find("\r\n\r\n");
    if (end == std::string_view::npos) return r;
    r.body = std::string(raw.substr(end + 4));
    std::string_view head = raw.substr(0, end);
    head.remove_prefix(std::min(head.size(), head.find("\r\n") + 2));  // the request line
    while (!head.empty()) {
        const auto eol = std::min(head.find("\r\n"), head.size());
        const std::string_view line = head.substr(0, eol);
        head.remove_prefix(std::min(head.size(), eol + 2));
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        std::string name(line.substr(0, colon));
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ')
            value.remove_prefix(1);
        r.headers[name] = std::string(value);
    }
    return r;
}

inline std::string_view prefixOf(std::string_view qname) {
    const auto colon = qname.find(':');
    return colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
}

inline std::string_view localOf(std::string_view qname) {
    const auto colon = qname.find(':');
    return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

// The namespace URI bound to `prefix` where `node` stands ("" for none).
inline std::string uriOf(pugi::xml_node node, std::string_view prefix) {
    const std::string attribute = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
    for (; node && node.type() == pugi::node_element; node = node.parent())
        if (const auto a = node.attribute(attribute.c_str())) return a.value();
    return {};
}

// "{uri}local" of an element, or of a QName written in an attribute of `scope`.
inline std::string expanded(pugi::xml_node scope, std::string_view qname) {
    return "{" + uriOf(scope, prefixOf(qname)) + "}" + std::string(localOf(qname));
}
inline std::string expanded(pugi::xml_node element) {
    return expanded(element, element.name());
}

// The value of the attribute `{uri}local` of `node`, or "<none>".
inline std::string attributeOf(pugi::xml_node node, std::string_view uri, std::string_view local) {
    for (const auto a : node.attributes()) {
        const std::string_view name = a.name();
        if (prefixOf(name).empty() || prefixOf(name) == "xmlns") continue;
        if (localOf(name) == local && uriOf(node, prefixOf(name)) == uri) return a.value();
    }
    return "<none>";
}

inline pugi::xml_node firstElement(pugi::xml_node parent) {
    for (auto c = parent.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element) return c;
    return {};
}

// The element inside the Body of a SOAP 1.1 envelope, or null when `body` is none.
inline pugi::xml_node bodyElement(pugi::xml_document& doc, std::string_view body) {
    const unsigned options = pugi::parse_default | pugi::parse_ws_pcdata;  // CR LF kept as sent
    if (!doc.load_buffer(body.data(), body.size(), options & ~pugi::parse_eol, pugi::encoding_utf8))
        return {};
    const auto envelope = doc.document_element();
    if (expanded(envelope) != "{" + std::string(contract::kEnvelopeNs) + "}Envelope") return {};
    for (auto c = firstElement(envelope); c; c = c.next_sibling())
        if (c.type() == pugi::node_element &&
            expanded(c) == "{" + std::string(contract::kEnvelopeNs) + "}Body")
            return firstElement(c);
    return {};
}

inline std::string textOf(pugi::xml_node node) {
    std::string text;
    for (auto c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) text += c.value();
    return text;
}

// An operation element as lines: "{ns}Name", the encoding style in force, then one line per
// parameter: its name, its xsi:type resolved, for an array its arrayType resolved, its text or
// its items with their types.
inline std::string render(pugi::xml_node op) {
    const std::string envelopeNs(contract::kEnvelopeNs);
    const std::string xsiNs(contract::kXsiNs);
    std::string style = "<none>";
    for (auto n = op; n && n.type() == pugi::node_element; n = n.parent())
        if (const std::string s = attributeOf(n, envelopeNs, "encodingStyle"); s != "<none>") {
            style = s;
            break;
        }
    std::string out = expanded(op) + "\nencodingStyle " + style + "\n";
    for (auto p = firstElement(op); p; p = p.next_sibling()) {
        if (p.type() != pugi::node_element) continue;
        out += expanded(p) + " " + expanded(p, attributeOf(p, xsiNs, "type"));
        if (const std::string arrayType =
                attributeOf(p, std::string(contract::kEncodingNs), "arrayType");
            arrayType != "<none>") {
            out += " " + expanded(p, arrayType) + " [";
            for (auto item = firstElement(p); item; item = item.next_sibling())
                if (item.type() == pugi::node_element)
                    out +=
                        " " + expanded(item, attributeOf(item, xsiNs, "type")) + " " + textOf(item);
            out += " ]";
        } else {
            out += " \"" + textOf(p) + "\"";
        }
        out += "\n";
    }
    return out;
}

// The text of the parameter `name` (unqualified) of an operation element.
inline std::string param(pugi::xml_node op, std::string_view name) {
    for (auto p = firstElement(op); p; p = p.next_sibling())
        if (p.type() == pugi::node_element && expanded(p) == "{}" + std::string(name))
            return textOf(p);
    return "<none>";
}

}  // namespace tarvelo::test::wire
