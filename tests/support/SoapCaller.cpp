#include "support/SoapCaller.h"

#include "soap/SoapResponse.h"
#include "soap/SoapValue.h"
#include "text/Base64.h"
#include "text/SqlLiteral.h"

namespace tarvelo::test {

std::string loginLookup(std::string_view id) {
    return " SELECT u.USERID,u.USERNAME,u.PASSWORD,u.PWBZ,u.SYSBZ,u.DATABZ,u.TEL,u.VERIFY \r\n"
           " FROM KVR_USERH u \r\n Where u.USERID=" +
           sqlLiteral(id) + "  \r\n";
}

std::string deltaParams(std::string_view table, std::string_view key, std::string_view excluded) {
    return "SQL00=Select 'AAA' AAA From " + std::string(table) +
           " Where 1=2\r\nKey00=ResolveToSQL;upWhereChanged;" + std::string(key) +
           "\r\nInc00=\r\nExc00=" + std::string(excluded) + "\r\n";
}

std::string SoapCaller::call(const SoapInterface& iface, std::string_view operation,
                             std::span<const SoapRequest::Argument> arguments) {
    TestService::Headers headers;
    std::string cookies;
    for (const auto& [name, value] : m_cookies)
        cookies += (cookies.empty() ? "" : "; ") + name + "=" + value;
    if (!cookies.empty()) headers.emplace_back("Cookie", cookies);
    const auto reply = m_service.post("/soap/" + std::string(iface.name),
                                      SoapRequest::write(iface.ns, operation, arguments), headers);
    if (m_keepsCookies) {
        for (const auto& [name, value] : reply.headers) {
            if (name.size() != 10 || strncasecmp(name.c_str(), "Set-Cookie", 10) != 0) continue;
            const auto eq = value.find('=');
            const auto end = value.find(';');
            const std::string cookie = value.substr(0, eq);
            const std::string v =
                value.substr(eq + 1, end == std::string::npos ? end : end - eq - 1);
            if (v.empty() || value.find("Max-Age=0") != std::string::npos)
                m_cookies.erase(cookie);
            else
                m_cookies[cookie] = v;
        }
    }
    return SoapResponse::read(reply.body, operation).text;
}

std::string SoapCaller::query(std::string_view sql) {
    const SoapRequest::Argument args[] = {{"sSQL", std::string(sql)}};
    return call(SoapInterface::supply(), "SpplyVanDataBySQL", args);
}

long long SoapCaller::execute(std::string_view sql) {
    const SoapRequest::Argument args[] = {{"sSQL", std::string(sql)}};
    return soapInt(call(SoapInterface::apply(), "ApplyVanDataByExc", args), "return");
}

int SoapCaller::applyDelta(std::string_view params, std::string_view delta) {
    const SoapRequest::Argument args[] = {{"sSQL", std::string(params)},
                                          {"sDelta00", std::string(delta)}};
    return soapInt(call(SoapInterface::apply(), "ApplyVanDataBySQLupKeyChangedExc1", args),
                   "return");
}

std::string SoapCaller::enVerifs(std::string_view source) {
    const SoapRequest::Argument args[] = {{"Src", std::string(source)}};
    return call(SoapInterface::supply(), "EnVerifs", args);
}

std::string SoapCaller::signIn(std::string_view id, std::string_view password) {
    const std::string row = query(loginLookup(id));
    enVerifs(base64Encode(password));
    return row;
}

std::string SoapCaller::cookie(const std::string& name) const {
    const auto it = m_cookies.find(name);
    return it == m_cookies.end() ? std::string() : it->second;
}

}  // namespace tarvelo::test
