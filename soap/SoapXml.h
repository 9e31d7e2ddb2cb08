#pragma once

// Pieces shared by the request and response readers and writers of this folder.

#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "soap/SoapRequest.h"
#include "soap/SoapValue.h"

namespace tarvelo::soapxml {

inline constexpr std::string_view kEnvelopeNs = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr std::string_view kEncodingNs = "http://schemas.xmlsoap.org/soap/encoding/";
inline constexpr std::string_view kSchemaNs = "http://www.w3.org/2001/XMLSchema";
inline constexpr std::string_view kSchemaInstanceNs = "http://www.w3.org/2001/XMLSchema-instance";

// The envelope's opening up to and including the Body start tag, and its closing.
std::string open();
std::string close();

// Element content or attribute value with & < > " escaped and CR as &#13;, so that line breaks
// arrive byte for byte. What XML 1.0 cannot carry at all (NUL and the other control characters
// but tab, LF and CR; bytes that are not UTF-8; U+FFFE and U+FFFF) becomes "?", so that every
// envelope written is well-formed.
void appendText(std::string& out, std::string_view text);
// <name xsi:type="...">value</name>, arrays SOAP-encoded with <item> elements.
void appendValue(std::string& out, std::string_view name, const SoapValue& value);

std::string_view localName(const pugi::xml_node& node);
// The namespace URI of an element, from the xmlns declarations on it and its ancestors.
std::string_view namespaceOf(const pugi::xml_node& node);
// The namespace URI `prefix` stands for at `node` ("" for the default namespace); empty when
// undeclared.
std::string_view namespaceOfPrefix(const pugi::xml_node& node, std::string_view prefix);
// The attribute of `node` named `local` in namespace `ns`, whatever its prefix; empty if none.
pugi::xml_attribute attributeIn(const pugi::xml_node& node, std::string_view ns,
                                std::string_view local);
// All character data of an element (text and CDATA), unchanged.
std::string textOf(const pugi::xml_node& node);
pugi::xml_node firstElement(const pugi::xml_node& parent);
// A parameter or return element: its text, the text of each child element, and what it declares
// of a SOAP-encoded array.
SoapParam readParam(const pugi::xml_node& node);

// Parses an envelope and returns the first element inside its Body; throws tarvelo::Error
// naming `what` ("请求" or "应答") when the text is not a SOAP 1.1 envelope.
pugi::xml_node bodyContent(pugi::xml_document& doc, std::string_view text, std::string_view what);

}  // namespace tarvelo::soapxml
