#pragma once

#include <string>

#include "text/Error.h"

namespace tarvelo {

// A SOAP fault answered by the peer: faultcode without its prefix ("Client", "Server") and the
// faultstring, which is what the user is shown.
class SoapFault : public Error {
public:
    SoapFault(std::string code, std::string faultString)
        : Error("服务报告了错误：" + faultString, "SOAP 故障 " + code),
          m_code(std::move(code)),
          m_faultString(std::move(faultString)) {}

    const std::string& code() const { return m_code; }
    const std::string& faultString() const { return m_faultString; }

private:
    std::string m_code;
    std::string m_faultString;
};

}  // namespace tarvelo
