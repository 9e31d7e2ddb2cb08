#include "service/HttpTransport.h"

#include <curl/curl.h>

#include <cstdlib>
#include <mutex>
#include <new>

#include "text/Error.h"

namespace tarvelo {

namespace {

constexpr const char* kUserAgent = "Tarvelo SOAP 1.1";

// Largest answer taken: well above the service's own limit on answers.
constexpr std::size_t kMaxAnswerBytes = std::size_t{512} << 20;

struct Answer {
    std::string body;
    bool tooLarge = false;
    bool outOfMemory = false;
};

// Called from libcurl's C code: nothing may be thrown through it; a refusal ends the transfer.
std::size_t collect(char* data, std::size_t size, std::size_t count, void* out) noexcept {
    auto* answer = static_cast<Answer*>(out);
    const std::size_t n = size * count;
    if (answer->body.size() + n > kMaxAnswerBytes) {
        answer->tooLarge = true;
        return 0;
    }
    try {
        answer->body.append(data, n);
    } catch (...) {
        answer->outOfMemory = true;
        return 0;
    }
    return n;
}

// The loopback addresses never go through a proxy, whatever the environment names.
std::string noProxyList() {
    std::string list = "127.0.0.1,localhost,::1";
    for (const char* name : {"no_proxy", "NO_PROXY"})
        if (const char* v = std::getenv(name); v && *v) return list + "," + v;
    return list;
}

struct HeaderList {
    curl_slist* list = nullptr;
    void add(const std::string& header) {
        curl_slist* grown = curl_slist_append(list, header.c_str());
        if (!grown) throw std::bad_alloc();
        list = grown;
    }
    ~HeaderList() { curl_slist_free_all(list); }
};

std::string curlProblem(CURLcode rc) {
    switch (rc) {
        case CURLE_COULDNT_CONNECT:
            return "连接被拒绝或无法建立：数据服务可能没有运行。";
        case CURLE_COULDNT_RESOLVE_HOST:
            return "找不到数据服务的主机。";
        case CURLE_OPERATION_TIMEDOUT:
            return "等待数据服务超时。";
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
            return "数据服务的证书无法验证。";
        default:
            return "与数据服务通信失败。";
    }
}

}  // namespace

HttpTransport::HttpTransport(const ServiceConfig& config) : m_config(config) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    m_curl = curl_easy_init();
    if (!m_curl) throw Error("无法初始化 HTTP 客户端。", "curl_easy_init");
}

HttpTransport::~HttpTransport() {
    curl_easy_cleanup(m_curl);
}

HttpTransport::Reply HttpTransport::post(const std::string& url, std::string_view soapAction,
                                         std::string_view body) {
    CURL* c = m_curl;
    Reply reply;
    // Options set for one call are set again for every call: the handle is reused.
    HeaderList headers;
    headers.add("Content-Type: text/xml; charset=utf-8");
    headers.add("SOAPAction: " + std::string(soapAction));
    headers.add("Accept:");  // no header of curl's own beyond what the contract names
    headers.add("Expect:");  // no 100-continue round trip for large bodies
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.list);
    curl_easy_setopt(c, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(m_config.connectTimeout.count()));
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(m_config.totalTimeout.count()));
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, m_config.insecureTls ? 0L : 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, m_config.insecureTls ? 0L : 2L);
    if (!m_config.caFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, m_config.caFile.c_str());
    if (!m_config.proxy.empty())
        curl_easy_setopt(c, CURLOPT_PROXY, m_config.proxy == "none" ? "" : m_config.proxy.c_str());
    const std::string noProxy = noProxyList();
    curl_easy_setopt(c, CURLOPT_NOPROXY, noProxy.c_str());
    Answer answer;
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &answer);
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    const CURLcode rc = curl_easy_perform(c);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, nullptr);
    if (answer.outOfMemory) throw std::bad_alloc();
    if (answer.tooLarge)
        throw Error("数据服务的应答太大（超过 " + std::to_string(kMaxAnswerBytes >> 20) +
                        " MiB），已放弃接收。",
                    url);
    if (rc != CURLE_OK)
        throw Error(curlProblem(rc), url + "：" + (*error ? error : curl_easy_strerror(rc)));
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &reply.status);
    reply.body = std::move(answer.body);
    return reply;
}

}  // namespace tarvelo
