#include "server/soap/Wsdl.h"

#include "soap/SoapInterface.h"

namespace tarvelo::server {

namespace {

std::string_view xsdType(SoapType t) {
    switch (t) {
        case SoapType::String:
        case SoapType::WideString:
            return "xsd:string";
        case SoapType::Int:
            return "xsd:int";
        case SoapType::Double:
            return "xsd:double";
        case SoapType::DoubleArray:
            return "ns1:TDoubleDynArray";
    }
    return "xsd:string";
}

// The declarations of the SOAP 1.1 encoding schema that an encoded array type refers to, as the
// encoding publishes them: the Array type (any items, each optional), its arrayType and offset
// attributes, the position attribute of its items, and the id and href every encoded value may
// carry.
constexpr std::string_view kSoapEncodingSchema = R"(<?xml version="1.0" encoding="utf-8"?>
<xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema"
            xmlns:tns="http://schemas.xmlsoap.org/soap/encoding/"
            targetNamespace="http://schemas.xmlsoap.org/soap/encoding/">
  <xsd:attributeGroup name="commonAttributes">
    <xsd:attribute name="id" type="xsd:ID"/>
    <xsd:attribute name="href" type="xsd:anyURI"/>
    <xsd:anyAttribute namespace="##other" processContents="lax"/>
  </xsd:attributeGroup>
  <xsd:simpleType name="arrayCoordinate">
    <xsd:restriction base="xsd:string"/>
  </xsd:simpleType>
  <xsd:attribute name="arrayType" type="xsd:string"/>
  <xsd:attribute name="offset" type="tns:arrayCoordinate"/>
  <xsd:attributeGroup name="arrayAttributes">
    <xsd:attribute ref="tns:arrayType"/>
    <xsd:attribute ref="tns:offset"/>
  </xsd:attributeGroup>
  <xsd:attribute name="position" type="tns:arrayCoordinate"/>
  <xsd:attributeGroup name="arrayMemberAttributes">
    <xsd:attribute ref="tns:position"/>
  </xsd:attributeGroup>
  <xsd:group name="Array">
    <xsd:sequence>
      <xsd:any namespace="##any" minOccurs="0" maxOccurs="unbounded" processContents="lax"/>
    </xsd:sequence>
  </xsd:group>
  <xsd:element name="Array" type="tns:Array"/>
  <xsd:complexType name="Array">
    <xsd:group ref="tns:Array" minOccurs="0"/>
    <xsd:attributeGroup ref="tns:arrayAttributes"/>
    <xsd:attributeGroup ref="tns:commonAttributes"/>
  </xsd:complexType>
</xsd:schema>
)";

// The one component of the WSDL namespace a schema of types names: the arrayType attribute
// that tells an encoded array's item type and rank.
constexpr std::string_view kWsdlSchema = R"(<?xml version="1.0" encoding="utf-8"?>
<xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema"
            targetNamespace="http://schemas.xmlsoap.org/wsdl/">
  <xsd:attribute name="arrayType" type="xsd:string"/>
</xsd:schema>
)";

constexpr ImportedSchema kImported[] = {
    {"soap-encoding.xsd", "http://schemas.xmlsoap.org/soap/encoding/", kSoapEncodingSchema},
    {"wsdl.xsd", "http://schemas.xmlsoap.org/wsdl/", kWsdlSchema},
};

std::string attr(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

const ImportedSchema* importedSchema(std::string_view file) {
    for (const auto& schema : kImported)
        if (schema.file == file) return &schema;
    return nullptr;
}

std::string wsdlOf(const SoapInterface& iface, std::string_view location,
                   std::string_view schemaBase) {
    const std::string name(iface.name);
    const std::string ns = attr(iface.ns);
    const std::string service = name.substr(1) + "service";  // IFoo -> Fooservice
    std::string w;
    w += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    w += "<definitions xmlns=\"http://schemas.xmlsoap.org/wsdl/\" "
         "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" name=\"" +
         name +
         "service\" "
         "targetNamespace=\"http://tempuri.org/\" xmlns:tns=\"http://tempuri.org/\" "
         "xmlns:soap=\"http://schemas.xmlsoap.org/wsdl/soap/\" "
         "xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\" "
         "xmlns:wsdl=\"http://schemas.xmlsoap.org/wsdl/\" xmlns:ns1=\"" +
         ns + "\">\n";
    // The array type derives from soapenc:Array and names wsdl:arrayType: a schema may use
    // another namespace's components only after importing it, from the schemas this service
    // serves beside the WSDL, so that a tool has no need to look for them elsewhere.
    w += "  <types>\n    <xsd:schema targetNamespace=\"" + ns + "\">\n";
    for (const auto& schema : kImported)
        w += "      <xsd:import namespace=\"" + std::string(schema.ns) + "\" schemaLocation=\"" +
             attr(std::string(schemaBase) + std::string(schema.file)) + "\"/>\n";
    w += "      <xsd:complexType name=\"TDoubleDynArray\">\n"
         "        <xsd:complexContent>\n"
         "          <xsd:restriction base=\"soapenc:Array\">\n"
         "            <xsd:sequence/>\n"
         "            <xsd:attribute ref=\"soapenc:arrayType\" wsdl:arrayType=\"xsd:double[]\"/>\n"
         "          </xsd:restriction>\n"
         "        </xsd:complexContent>\n"
         "      </xsd:complexType>\n"
         "    </xsd:schema>\n  </types>\n";
    for (const auto& op : iface.operations) {
        const std::string o(op.name);
        w += "  <message name=\"" + o + "Request\">\n";
        for (const auto& p : op.params)
            w += "    <part name=\"" + std::string(p.name) + "\" type=\"" +
                 std::string(xsdType(p.type)) + "\"/>\n";
        w += "  </message>\n  <message name=\"" + o +
             "Response\">\n"
             "    <part name=\"return\" type=\"" +
             std::string(xsdType(op.result)) +
             "\"/>\n"
             "  </message>\n";
    }
    w += "  <portType name=\"" + name + "\">\n";
    for (const auto& op : iface.operations) {
        const std::string o(op.name);
        w += "    <operation name=\"" + o + "\">\n      <input message=\"tns:" + o +
             "Request\"/>\n      <output message=\"tns:" + o + "Response\"/>\n    </operation>\n";
    }
    w += "  </portType>\n";
    w += "  <binding name=\"" + name + "binding\" type=\"tns:" + name +
         "\">\n"
         "    <soap:binding style=\"rpc\" transport=\"http://schemas.xmlsoap.org/soap/http\"/>\n";
    for (const auto& op : iface.operations) {
        const std::string o(op.name);
        std::string action = iface.soapAction(o);
        action = action.substr(1, action.size() - 2);  // the header's value without its quotes
        const std::string body =
            "<soap:body use=\"encoded\" "
            "encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\" "
            "namespace=\"" +
            ns + "\"/>";
        w += "    <operation name=\"" + o + "\">\n      <soap:operation soapAction=\"" +
             attr(action) + "\" style=\"rpc\"/>\n      <input message=\"tns:" + o + "Request\">" +
             body + "</input>\n      <output message=\"tns:" + o + "Response\">" + body +
             "</output>\n    </operation>\n";
    }
    w += "  </binding>\n";
    w += "  <service name=\"" + service + "\">\n    <port name=\"" + name +
         "Port\" binding=\"tns:" + name + "binding\">\n      <soap:address location=\"" +
         attr(location) + "\"/>\n    </port>\n  </service>\n</definitions>\n";
    return w;
}

}  // namespace tarvelo::server
