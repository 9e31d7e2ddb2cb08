#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvelo {

// Parameter and result types of the service's operations. Narrow and wide strings both travel as
// xsd:string; narrow ones cross the code page 936 round trip on the client.
enum class SoapType { String, WideString, Int, Double, DoubleArray };

struct SoapParamDecl {
    std::string_view name;
    SoapType type;
};

struct SoapOperation {
    std::string_view name;
    std::vector<SoapParamDecl> params;  // in declaration order
    SoapType result;
};

// One of the service's two SOAP interfaces: its namespace (also the namespace of every
// operation element), its SOAPAction template and every operation it declares, in order.
struct SoapInterface {
    std::string_view name;
    std::string_view ns;
    std::string_view actionTemplate;  // "%operationName%" stands for the operation
    const std::vector<SoapOperation>& operations;

    static const SoapInterface& supply();  // IVRDS_IIS_WebSCoorSpplyIsapi, the read side
    static const SoapInterface& apply();   // IVRDS_IIS_WebSCoorApplyIsapi, the write side

    // The SOAPAction header value: the template filled in, between double quotes.
    std::string soapAction(std::string_view operation) const;
    const SoapOperation* find(std::string_view operation) const;
};

}  // namespace tarvelo
