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
// All character data of an element (text and CDATA), unchanged.
std::string textOf(const pugi::xml_node& node);
pugi::xml_node firstElement(const pugi::xml_node& parent);
// A parameter or return element: its text, or the text of each item of an array.
SoapParam readParam(const pugi::xml_node& node);

// Parses an envelope and returns the first element inside its Body; throws tarvelo::Error
// naming `what` ("请求" or "应答") when the text is not a SOAP 1.1 envelope.
pugi::xml_node bodyContent(pugi::xml_document& doc, std::string_view text, std::string_view what);

}  // namespace tarvelo::soapxml
