#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "soap/SoapValue.h"

namespace tarvelo {

// A parameter or result as it arrived.
struct SoapParam {
    std::string name;
    std::string text;      // its own character data (for an array: what stands between the items)
    bool isArray = false;  // it has child elements, or is typed or declared an array
    std::vector<std::string> items;  // the text of each child element
    // SOAP-ENC:arrayType as sent ("xsd:double[3]") and the namespace its prefix stands for.
    std::optional<std::string> arrayType;
    std::string arrayTypeNs;
    std::string type;  // xsi:type as sent ("xsd:double", "SOAP-ENC:Array"), empty when none

    // The items of a SOAP-encoded one-dimensional array of xsd:double. Throws tarvelo::Error
    // naming the parameter when it is not one: no SOAP-ENC:arrayType, another item type, a
    // declared length other than the number of items, text beside the items, or an item that
    // is no xsd:double. An empty array declares its length 0 (or none: "xsd:double[]"), or
    // comes bare: an element with neither items nor text (blanks aside) and no xsi:type other
    // than an array's, as some peers send one (<daValue></daValue>, <daValue/>).
    std::vector<double> doubles() const;
};

// A SOAP 1.1 RPC request: the operation element in the interface's namespace, one child per
// parameter in declaration order.
struct SoapRequest {
    std::string ns;
    std::string operation;
    std::vector<SoapParam> params;

    using Argument = std::pair<std::string_view, SoapValue>;
    static std::string write(std::string_view ns, std::string_view operation,
                             std::span<const Argument> arguments);

    // Any namespace prefixes; parameters by local name; xsi:type tolerated or absent. Throws
    // tarvelo::Error when the text is not such a request, or holds a character XML 1.0 does not
    // allow, directly or as a reference (the service answers a Client fault).
    static SoapRequest read(std::string_view text);

    // The parameter named `name`, or nullptr.
    const SoapParam* find(std::string_view name) const;
};

}  // namespace tarvelo
