#include "service/SoapClient.h"

#include <span>

#include "soap/SoapFault.h"
#include "soap/SoapResponse.h"
#include "text/CodePage936.h"
#include "text/Error.h"

namespace tarvelo {

SoapClient::SoapClient(const SoapInterface& iface, std::string url, const ServiceConfig& config)
    : m_iface(iface), m_url(std::move(url)), m_http(config) {}

SoapParam SoapClient::call(std::string_view operation, Arguments arguments) {
    const std::string body = SoapRequest::write(
        m_iface.ns, operation,
        std::span<const SoapRequest::Argument>(arguments.begin(), arguments.size()));
    const HttpTransport::Reply reply = m_http.post(m_url, m_iface.soapAction(operation), body);
    if (reply.status != 200) {
        // A SOAP 1.1 fault comes with status 500; any other answer is the HTTP error itself.
        try {
            SoapResponse::read(reply.body, operation);
        } catch (const SoapFault&) {
            throw;
        } catch (const Error&) {
        }
        throw Error("数据服务返回了 HTTP 错误 " + std::to_string(reply.status) + "。",
                    m_url + "：" + excerpt(reply.body));
    }
    return SoapResponse::read(reply.body, operation);
}

std::string SoapClient::narrow(std::string_view operation, Arguments arguments) {
    return throughCp936(call(operation, arguments).text);
}

std::string SoapClient::wide(std::string_view operation, Arguments arguments) {
    return call(operation, arguments).text;
}

std::int32_t SoapClient::integer(std::string_view operation, Arguments arguments) {
    return soapInt(call(operation, arguments).text, "return");
}

double SoapClient::real(std::string_view operation, Arguments arguments) {
    return soapDouble(call(operation, arguments).text, "return");
}

std::vector<double> SoapClient::reals(std::string_view operation, Arguments arguments) {
    std::vector<double> out;
    for (const auto& item : call(operation, arguments).items)
        out.push_back(soapDouble(item, "return"));
    return out;
}

}  // namespace tarvelo
