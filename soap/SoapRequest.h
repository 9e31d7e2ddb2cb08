#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "soap/SoapValue.h"

namespace tarvelo {

// A parameter or result as it arrived: its text, or for an array the text of each item.
struct SoapParam {
    std::string name;
    std::string text;
    bool isArray = false;
    std::vector<std::string> items;
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
