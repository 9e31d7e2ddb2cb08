#include "service/SoapClient.h"

#include <span>

#include "soap/SoapFault.h"
#include "soap/SoapResponse.h"
#include "soap/SoapResponseStream.h"
#include "text/CodePage936.h"
#include "text/Cp936Passage.h"
#include "text/Error.h"

namespace tarvelo {

namespace {

// What an HTTP error status means to the user, and what to do about it.
std::string statusMeaning(long status) {
    switch (status) {
        case 404:
        case 405:
            return "这个地址上没有数据服务。请检查 tarvelo.ini 中的地址。";
        case 407:
            return "代理服务器要求身份验证。请检查 tarvelo.ini 中的 proxy。";
        case 413:
            return "数据服务拒收这么大的请求。请分批发送。";
        case 415:
            return "数据服务不接受压缩的请求。请把 tarvelo.ini 中的 compress-requests 设为 false。";
        case 502:
        case 503:
        case 504:
            return "数据服务暂时不可用（或代理服务器连不上它）。请稍后再试。";
        default:
            if (status >= 500) return "数据服务内部出错。请稍后再试，或与系统管理员联系。";
            return "数据服务没有接受这个请求。请检查 tarvelo.ini 中的地址。";
    }
}

// The whole message for an HTTP error status. A refusal names what this client sent, as far as
// the status tells: 401 is about the access token, 403 about where the client is or the
// certificate it showed (the service's own text, in the detail, says which).
std::string httpError(long status, const ServiceConfig& config) {
    const std::string refused = "数据服务拒绝了访问（HTTP " + std::to_string(status) + "）：";
    if (status == 401)
        return refused +
               (config.accessToken.empty()
                    ? "它要求访问令牌，而 tarvelo.ini 中没有设置。请向系统管理员索取令牌，写在 "
                      "tarvelo.ini 的 [service] 节：access-token = 令牌。"
                    : "tarvelo.ini 中的访问令牌（access-token）不对。请向系统管理员核对令牌。");
    if (status == 403)
        return refused + "本机所在的网络不在它允许之列，或" +
               (config.clientCert.empty()
                    ? "它要求客户端证书而 tarvelo.ini 中没有设置（client-cert 和 client-key）"
                    : " tarvelo.ini 中 client-cert 指定的客户端证书不被它认可") +
               "。请与系统管理员联系。";
    return "数据服务返回了 HTTP 错误 " + std::to_string(status) + "：" + statusMeaning(status);
}

}  // namespace

SoapClient::SoapClient(const SoapInterface& iface, std::string url, const ServiceConfig& config,
                       CallSide side, std::shared_ptr<HttpTransport::Connection> connection)
    : m_iface(iface), m_url(std::move(url)), m_http(config, side, std::move(connection)) {}

SoapParam SoapClient::call(std::string_view operation, Arguments arguments) {
    const std::string body = request(operation, arguments);
    const HttpTransport::Reply reply = m_http.post(m_url, m_iface.soapAction(operation), body);
    if (reply.status != 200) refused(reply, operation);
    return SoapResponse::read(reply.body, operation);
}

std::string SoapClient::request(std::string_view operation, Arguments arguments) const {
    return SoapRequest::write(
        m_iface.ns, operation,
        std::span<const SoapRequest::Argument>(arguments.begin(), arguments.size()));
}

void SoapClient::refused(const HttpTransport::Reply& reply, std::string_view operation) const {
    // A SOAP 1.1 fault comes with status 500; any other answer is the HTTP error itself.
    try {
        SoapResponse::read(reply.body, operation);
    } catch (const SoapFault&) {
        throw;
    } catch (const Error&) {
    }
    throw Error(httpError(reply.status, m_http.config()), m_url + "：" + excerpt(reply.body));
}

void SoapClient::narrowInto(std::string_view operation, Arguments arguments, const TextSink& sink) {
    const std::string body = request(operation, arguments);
    // Envelope, code page and the caller's reading all go on as the bytes arrive.
    Cp936Passage passage;
    std::string piece;
    const auto pass = [&](std::string_view text) {
        piece.clear();
        passage.pass(text, piece);
        if (!piece.empty()) sink(piece);
    };
    SoapResponseStream answer(operation, pass);
    const HttpTransport::BodySink bytes = [&](std::string_view b) { answer.feed(b); };
    const HttpTransport::Reply reply =
        m_http.post(m_url, m_iface.soapAction(operation), body, &bytes);
    if (reply.status != 200) refused(reply, operation);
    answer.finish();
    piece.clear();
    passage.finish(piece);
    if (!piece.empty()) sink(piece);
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
    return call(operation, arguments).doubles();
}

}  // namespace tarvelo
