#include "server/Wsdl.h"

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

std::string wsdlOf(const SoapInterface& iface, std::string_view location) {
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
    // another namespace's components only after importing it. Without a schemaLocation, a tool
    // takes the two namespaces from what it knows and fetches nothing.
    w += "  <types>\n    <xsd:schema targetNamespace=\"" + ns +
         "\">\n"
         "      <xsd:import namespace=\"http://schemas.xmlsoap.org/soap/encoding/\"/>\n"
         "      <xsd:import namespace=\"http://schemas.xmlsoap.org/wsdl/\"/>\n"
         "      <xsd:complexType name=\"TDoubleDynArray\">\n"
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
