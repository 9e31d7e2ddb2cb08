#include "service/HttpTransport.h"

#include <curl/curl.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <mutex>
#include <new>
#include <semaphore>
#include <thread>
#include <vector>

#include "text/Error.h"
#include "text/Gzip.h"

namespace tarvelo {

namespace {

constexpr const char* kUserAgent = "Tarvelo SOAP 1.1";

// Largest answer taken, counted as inflated: well above the service's own limit on answers.
constexpr std::size_t kMaxAnswerBytes = std::size_t{512} << 20;
// With compress-requests, a body longer than this goes out gzip-compressed.
constexpr std::size_t kCompressAbove = 1 << 10;

// What every handle of the process shares: resolved host names and TLS sessions, so that a
// connection opened by another transport (a query beside the window's, on a thread of its own)
// resumes a TLS session instead of a full handshake. libcurl takes each kind of shared data
// through these locks, so handles on different threads use it at once. Its shared connection
// cache is not safe across threads: connections are kept per Connection instead.
class ProcessShare {
public:
    ProcessShare() : m_share(curl_share_init()) {
        if (!m_share) throw Error("无法初始化 HTTP 客户端。", "curl_share_init");
        curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, lock);
        curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, unlock);
        curl_share_setopt(m_share, CURLSHOPT_USERDATA, this);
        curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }
    ~ProcessShare() { curl_share_cleanup(m_share); }
    ProcessShare(const ProcessShare&) = delete;
    ProcessShare& operator=(const ProcessShare&) = delete;
    CURLSH* get() const { return m_share; }

    // The one of the process while any handle uses it.
    static std::shared_ptr<ProcessShare> current() {
        static std::mutex mutex;
        static std::weak_ptr<ProcessShare> shared;
        std::lock_guard guard(mutex);
        std::shared_ptr<ProcessShare> share = shared.lock();
        if (!share) shared = share = std::make_shared<ProcessShare>();
        return share;
    }

private:
    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self) noexcept {
        static_cast<ProcessShare*>(self)->m_locks[data].lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* self) noexcept {
        static_cast<ProcessShare*>(self)->m_locks[data].unlock();
    }

    CURLSH* m_share;
    std::mutex m_locks[CURL_LOCK_DATA_LAST];
};

// A request body handed to libcurl as it asks for it.
struct Upload {
    std::string_view body;
    std::size_t offset = 0;
    bool resendable = true;  // a read: asking again does no harm
};

std::size_t readBody(char* out, std::size_t size, std::size_t count, void* from) noexcept {
    auto& up = *static_cast<Upload*>(from);
    const std::size_t n = std::min(size * count, up.body.size() - up.offset);
    std::memcpy(out, up.body.data() + up.offset, n);
    up.offset += n;
    return n;
}

// libcurl rewinds the body to send it again on a new connection when a kept-alive one ended
// without a byte of answer. A write whose body went out whole may have been applied before the
// connection ended: it is not sent again, and the call ends as one of unknown outcome.
int seekBody(void* from, curl_off_t offset, int origin) noexcept {
    auto& up = *static_cast<Upload*>(from);
    if (!up.resendable && up.offset == up.body.size()) return CURL_SEEKFUNC_FAIL;
    if (origin != SEEK_SET || offset < 0 || static_cast<std::size_t>(offset) > up.body.size())
        return CURL_SEEKFUNC_CANTSEEK;
    up.offset = static_cast<std::size_t>(offset);
    return CURL_SEEKFUNC_OK;
}

struct Answer {
    CURL* curl = nullptr;
    const HttpTransport::BodySink* sink = nullptr;
    std::string body;
    std::size_t received = 0;
    bool started = false;    // the first piece of the body has arrived
    bool streaming = false;  // the body goes to the sink
    bool tooLarge = false;
    bool outOfMemory = false;
    std::exception_ptr sinkFailure;
};

// Called from libcurl's C code: nothing may be thrown through it; a refusal ends the transfer.
std::size_t collect(char* data, std::size_t size, std::size_t count, void* out) noexcept {
    auto* answer = static_cast<Answer*>(out);
    const std::size_t n = size * count;
    if (!answer->started) {
        answer->started = true;
        long status = 0;
        curl_easy_getinfo(answer->curl, CURLINFO_RESPONSE_CODE, &status);
        answer->streaming = answer->sink && status == 200;
    }
    if (answer->received + n > kMaxAnswerBytes) {
        answer->tooLarge = true;
        return 0;
    }
    answer->received += n;
    if (answer->streaming) {
        try {
            (*answer->sink)(std::string_view(data, n));
        } catch (...) {
            answer->sinkFailure = std::current_exception();
            return 0;
        }
        return n;
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

// "host:port" of `url` for messages; the URL itself when curl cannot take it apart.
std::string hostAndPort(const std::string& url) {
    std::string out = url;
    if (CURLU* u = curl_url()) {
        char* host = nullptr;
        char* port = nullptr;
        if (curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
            curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
            curl_url_get(u, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK)
            out = std::string(host) + ":" + port;
        curl_free(host);
        curl_free(port);
        curl_url_cleanup(u);
    }
    return out;
}

std::string host(const std::string& url) {
    const std::string hp = hostAndPort(url);
    const auto colon = hp.rfind(':');
    return colon == std::string::npos ? hp : hp.substr(0, colon);
}

long wholeSeconds(std::chrono::milliseconds d) {
    return static_cast<long>((d.count() + 999) / 1000);
}

constexpr const char* kCheckAddress = "请确认数据服务已启动，或检查 tarvelo.ini 中的地址。";

// What the user is told when no HTTP answer came: what went wrong, then what to do.
std::string problem(CURL* c, CURLcode rc, const std::string& url, CallSide side,
                    const ServiceConfig& config) {
    const std::string where = hostAndPort(url);
    // Whether the request had started on its way: a write that had may have been applied.
    curl_off_t pretransfer = 0;
    curl_easy_getinfo(c, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
    const bool sent = pretransfer > 0;
    switch (rc) {
        case CURLE_ABORTED_BY_CALLBACK:
            return "已取消：没有等到数据服务的答复，这次查询没有完成。";
        case CURLE_COULDNT_RESOLVE_HOST:
            return "找不到数据服务的主机“" + host(url) +
                   "”。请检查 tarvelo.ini 中的地址和本机的网络连接。";
        case CURLE_COULDNT_RESOLVE_PROXY:
            return "找不到代理服务器。请检查 tarvelo.ini 中的 proxy 或系统的代理设置。";
        case CURLE_COULDNT_CONNECT: {
            long osError = 0;
            curl_easy_getinfo(c, CURLINFO_OS_ERRNO, &osError);
            const char* why = osError == ECONNREFUSED   ? "连接被拒绝"
                              : osError == ENETUNREACH  ? "网络不可达"
                              : osError == EHOSTUNREACH ? "主机不可达"
                                                        : "无法建立连接";
            return "无法连接数据服务（" + where + "）：" + why + "。" + kCheckAddress;
        }
        case CURLE_PEER_FAILED_VERIFICATION:
            return "数据服务的证书无法验证（" + where +
                   "）。如果数据服务使用自己的证书，请在 tarvelo.ini 中设置 ca-file。";
        case CURLE_SSL_CERTPROBLEM:
            return "无法使用客户端证书“" + config.clientCert + "”" +
                   (config.clientKey.empty() ? std::string()
                                             : "或其私钥“" + config.clientKey + "”") +
                   "：文件无法读取，或不是 PEM 格式，或私钥与证书不配。请检查 tarvelo.ini 中的 "
                   "client-cert 和 client-key。";
        case CURLE_SSL_CACERT_BADFILE:
            return "无法读取证书文件“" + config.caFile + "”。请检查 tarvelo.ini 中的 ca-file。";
        case CURLE_SSL_CONNECT_ERROR:
            if (!sent)
                return "无法与数据服务（" + where +
                       "）建立加密连接。请检查 tarvelo.ini 中的地址是 http:// 还是 https://。";
            break;
        case CURLE_BAD_CONTENT_ENCODING:
            if (side == CallSide::Read)
                return "数据服务的应答无法解压：gzip 压缩数据已损坏。请稍后再试；如果一再如此，"
                       "请与系统管理员联系。";
            break;
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
            return "数据服务的地址无效：“" + url + "”。请检查 tarvelo.ini 中的地址。";
        case CURLE_OPERATION_TIMEDOUT:
            if (!sent)
                return "无法连接数据服务（" + where + "）：" +
                       std::to_string(wholeSeconds(config.connectTimeout)) + " 秒内没有建立连接。" +
                       kCheckAddress;
            if (side == CallSide::Read)
                return "数据服务在 " + std::to_string(wholeSeconds(config.totalTimeout)) +
                       " 秒内没有答复。请稍后再试；如果一再如此，请与系统管理员联系。";
            break;
        default:
            break;
    }
    if (side == CallSide::Write && sent) {
        const std::string late = rc == CURLE_OPERATION_TIMEDOUT
                                     ? "数据服务在 " +
                                           std::to_string(wholeSeconds(config.writeTimeout)) +
                                           " 秒内没有答复"
                                     : "数据服务的答复没有完整收到";
        return late + "，不知道这次写入是否已经完成。请先查询核对数据，再决定是否重新发送。";
    }
    return "与数据服务（" + where + "）的通信中断了。请稍后再试。";
}

// Called from libcurl's C code while a transfer runs: a cancelled or abandoned read ends.
int progress(void* transport, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept {
    return static_cast<const HttpTransport*>(transport)->cancelled() ? 1 : 0;
}

// The fields of a Netscape cookie line: domain, subdomains, path, secure, expires, name, value.
// Empty for anything else (a line of several, a command such as "ALL").
std::vector<std::string_view> cookieFields(std::string_view line) {
    if (line.find_first_of("\r\n") != std::string_view::npos) return {};
    std::vector<std::string_view> fields;
    for (std::size_t at = 0;;) {
        const std::size_t tab = line.find('\t', at);
        fields.push_back(line.substr(at, tab == std::string_view::npos ? tab : tab - at));
        if (tab == std::string_view::npos) break;
        at = tab + 1;
    }
    if (fields.size() != 7 || fields[0].empty() || fields[5].empty()) return {};
    return fields;
}

// The cookie by which the service knows its caller.
constexpr std::string_view kSessionCookie = "TarveloSession";

// The host a cookie line's domain field names: without the HttpOnly mark and a leading dot.
std::string cookieHost(std::string_view domain) {
    if (domain.starts_with("#HttpOnly_")) domain.remove_prefix(10);
    if (domain.starts_with('.')) domain.remove_prefix(1);
    return std::string(domain);
}

// Whether a cookie of `expires` (seconds since 1970; 0: until the program ends) is still valid.
bool stillValid(std::string_view expires) {
    long long at = 0;
    const auto [end, ec] = std::from_chars(expires.data(), expires.data() + expires.size(), at);
    if (ec != std::errc() || end != expires.data() + expires.size()) return false;
    return at == 0 || at > static_cast<long long>(std::time(nullptr));
}

}  // namespace

// One libcurl handle: the connections it keeps alive, taken by one call at a time, and the
// cookies the service set on them.
class HttpTransport::Connection {
public:
    Connection() {
        static std::once_flag once;
        std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
        m_share = ProcessShare::current();
        m_curl = curl_easy_init();
        if (!m_curl) throw Error("无法初始化 HTTP 客户端。", "curl_easy_init");
        curl_easy_setopt(m_curl, CURLOPT_SHARE, m_share->get());
        // The service tells its callers apart by cookies: kept in memory (no file is read or
        // written), sent with every later call on this handle.
        curl_easy_setopt(m_curl, CURLOPT_COOKIEFILE, "");
    }
    ~Connection() { curl_easy_cleanup(m_curl); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    CURL* handle() const { return m_curl; }

    // The cookie jar, one Netscape line a cookie; the caller holds the turn.
    std::vector<std::string> cookies() const {
        std::vector<std::string> out;
        curl_slist* list = nullptr;
        if (curl_easy_getinfo(m_curl, CURLINFO_COOKIELIST, &list) == CURLE_OK)
            for (const curl_slist* at = list; at; at = at->next)
                out.emplace_back(at->data);
        curl_slist_free_all(list);
        return out;
    }
    void addCookie(const std::string& line) {
        curl_easy_setopt(m_curl, CURLOPT_COOKIELIST, line.c_str());
    }
    // The cookie `name` as the host `from` set it, set for the host `to` as well, or removed
    // there when `from` holds none.
    void mirrorCookie(std::string_view name, const std::string& from, const std::string& to) {
        std::string line;
        bool elsewhere = false;
        for (const std::string& l : cookies()) {
            const auto fields = cookieFields(l);
            if (fields.empty() || fields[5] != name) continue;
            if (cookieHost(fields[0]) == from)
                line = l;
            else if (cookieHost(fields[0]) == to)
                elsewhere = true;
        }
        if (line.empty()) {
            if (elsewhere) removeCookies(name);
            return;
        }
        const std::size_t tab = line.find('\t');
        const std::string_view domain = std::string_view(line).substr(0, tab);
        const std::string prefix = domain.starts_with("#HttpOnly_") ? "#HttpOnly_" : "";
        addCookie(prefix + to + line.substr(tab));
    }
    // libcurl removes no single cookie: the jar is emptied and filled again without them.
    void removeCookies(std::string_view name) {
        const std::vector<std::string> kept = cookies();
        curl_easy_setopt(m_curl, CURLOPT_COOKIELIST, "ALL");
        for (const std::string& line : kept) {
            const auto fields = cookieFields(line);
            if (!fields.empty() && fields[5] != name) addCookie(line);
        }
    }

    // The handle for one call; a call of another thread waits for its turn, through `waitFor`
    // (the caller's waiter: the window keeps painting while a query made beside it, the search
    // box's suggestions, ends). A call made on the thread whose call is waiting for its answer
    // (from an event handled meanwhile) would wait for itself: it is refused. The turn is a
    // semaphore, not a mutex: a waiter takes it on a thread of its own for the caller.
    using WaitFor = std::function<void(const std::function<void()>& block)>;
    class Turn {
    public:
        // `cancel`, raised meanwhile, ends the wait (a read the user abandons).
        Turn(Connection& c, const WaitFor& waitFor, const std::atomic<bool>& cancel) : m_c(c) {
            if (!c.m_free.try_acquire()) {
                if (c.m_holder.load() == std::this_thread::get_id())
                    throw Error("上一次与数据服务的通信还没有结束，请稍后再试。",
                                "HttpTransport::post：同一连接上的调用尚未返回");
                std::atomic<bool> taken{false};
                try {
                    waitFor([&] {
                        while (!cancel) {
                            if (c.m_free.try_acquire_for(std::chrono::milliseconds(50))) {
                                taken = true;
                                return;
                            }
                        }
                    });
                } catch (...) {
                    if (taken) c.m_free.release();
                    throw;
                }
                if (!taken)
                    throw Error("已取消：没有等到数据服务的答复，这次查询没有完成。",
                                "HttpTransport::post：等待连接时取消");
            }
            c.m_holder = std::this_thread::get_id();
        }
        ~Turn() {
            m_c.m_holder = std::thread::id();
            m_c.m_free.release();
        }
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;

    private:
        Connection& m_c;
    };

private:
    std::shared_ptr<ProcessShare> m_share;  // outlives the handle
    CURL* m_curl = nullptr;
    std::binary_semaphore m_free{1};
    std::atomic<std::thread::id> m_holder{};
};

HttpTransport::HttpTransport(const ServiceConfig& config, CallSide side,
                             std::shared_ptr<Connection> connection)
    : m_config(config),
      m_side(side),
      m_connection(connection ? std::move(connection) : std::make_shared<Connection>()) {}

HttpTransport::~HttpTransport() = default;

void HttpTransport::waitForTurn(const std::function<void()>& block) {
    if (!m_waiter) return block();
    CallWaiter::Call call;
    call.side = m_side;
    call.what = !m_nextActivity.empty() ? m_nextActivity : std::string("正在等待数据服务…");
    m_waiter->wait(call, block, m_cancel);
}

std::string HttpTransport::cookieLine(std::string_view name) {
    m_cancel = false;
    const Connection::Turn turn(
        *m_connection, [this](const std::function<void()>& block) { waitForTurn(block); },
        m_cancel);
    for (const std::string& line : m_connection->cookies()) {
        const auto fields = cookieFields(line);
        if (!fields.empty() && fields[5] == name && stillValid(fields[4])) return line;
    }
    return {};
}

void HttpTransport::putCookieLine(std::string_view line) {
    if (cookieFields(line).empty()) return;
    m_cancel = false;
    const Connection::Turn turn(
        *m_connection, [this](const std::function<void()>& block) { waitForTurn(block); },
        m_cancel);
    m_connection->addCookie(std::string(line));
}

void HttpTransport::forgetCookie(std::string_view name) {
    m_cancel = false;
    const Connection::Turn turn(
        *m_connection, [this](const std::function<void()>& block) { waitForTurn(block); },
        m_cancel);
    m_connection->removeCookies(name);
}

HttpTransport::Reply HttpTransport::post(const std::string& url, std::string_view soapAction,
                                         std::string_view body, const BodySink* sink) {
    // A cancel made while the call waits for its turn ends it there, and is not forgotten.
    m_cancel = false;
    const Connection::Turn turn(
        *m_connection, [this](const std::function<void()>& block) { waitForTurn(block); },
        m_cancel);
    CURL* c = m_connection->handle();
    Reply reply;
    // Options set for one call are set again for every call: the handle is reused, by the other
    // side's transport too.
    std::string compressed;
    Upload upload{body, 0, m_side == CallSide::Read};
    if (m_config.compressRequests && body.size() > kCompressAbove) {
        compressed = gzip(body);
        upload.body = compressed;
    }
    HeaderList headers;
    headers.add("Content-Type: text/xml; charset=utf-8");
    headers.add("SOAPAction: " + std::string(soapAction));
    headers.add("Accept:");  // no header of curl's own beyond what the contract names
    headers.add("Expect:");  // no 100-continue round trip for large bodies
    if (!compressed.empty()) headers.add("Content-Encoding: gzip");
    if (!m_config.accessToken.empty()) headers.add("Authorization: Bearer " + m_config.accessToken);
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, nullptr);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, readBody);
    curl_easy_setopt(c, CURLOPT_READDATA, &upload);
    curl_easy_setopt(c, CURLOPT_SEEKFUNCTION, seekBody);
    curl_easy_setopt(c, CURLOPT_SEEKDATA, &upload);
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(upload.body.size()));
    // Inflated before the sink or the reply sees a byte; a plain answer passes as it is.
    curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, "gzip");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.list);
    curl_easy_setopt(c, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(m_config.connectTimeout.count()));
    const auto whole = m_side == CallSide::Write ? m_config.writeTimeout : m_config.totalTimeout;
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(whole.count()));
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, m_config.insecureTls ? 0L : 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, m_config.insecureTls ? 0L : 2L);
    if (!m_config.caFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, m_config.caFile.c_str());
    if (!m_config.clientCert.empty()) {
        curl_easy_setopt(c, CURLOPT_SSLCERT, m_config.clientCert.c_str());
        curl_easy_setopt(c, CURLOPT_SSLCERTTYPE, "PEM");
        if (!m_config.clientKey.empty())
            curl_easy_setopt(c, CURLOPT_SSLKEY, m_config.clientKey.c_str());
    }
    if (!m_config.proxy.empty())
        curl_easy_setopt(c, CURLOPT_PROXY, m_config.proxy == "none" ? "" : m_config.proxy.c_str());
    const std::string noProxy = noProxyList();
    curl_easy_setopt(c, CURLOPT_NOPROXY, noProxy.c_str());
    Answer answer;
    answer.curl = c;
    answer.sink = sink;
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &answer);
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    // The handle outlives this call: nothing of this frame stays set in it, on every path.
    struct Unhook {
        CURL* c;
        ~Unhook() {
            curl_easy_setopt(c, CURLOPT_ERRORBUFFER, nullptr);
            curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
            curl_easy_setopt(c, CURLOPT_WRITEDATA, nullptr);
            curl_easy_setopt(c, CURLOPT_READDATA, nullptr);
            curl_easy_setopt(c, CURLOPT_SEEKDATA, nullptr);
        }
    } unhook{c};
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, m_side == CallSide::Write ? 1L : 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, this);
    CURLcode rc = CURLE_OK;
    const auto exchange = [&]() noexcept { rc = curl_easy_perform(c); };
    if (m_waiter) {
        CallWaiter::Call call;
        call.side = m_side;
        call.what = !m_nextActivity.empty()     ? std::move(m_nextActivity)
                    : m_side == CallSide::Write ? std::string("正在写入数据…")
                                                : std::string("正在读取数据…");
        m_nextActivity.clear();
        m_waiter->wait(call, exchange, m_cancel);
    } else {
        m_nextActivity.clear();
        exchange();
    }
    if (answer.sinkFailure) std::rethrow_exception(answer.sinkFailure);
    if (answer.outOfMemory) throw std::bad_alloc();
    if (answer.tooLarge)
        throw Error("数据服务的应答太大（超过 " + std::to_string(kMaxAnswerBytes >> 20) +
                        " MiB），已放弃接收。",
                    url);
    if (rc != CURLE_OK)
        throw Error(problem(c, rc, url, m_side, m_config),
                    url + "：" + (*error ? error : curl_easy_strerror(rc)));
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &reply.status);
    // The service knows its caller by the session cookie whichever side set it: where the read
    // and the write side are on two hosts, each gets what the other set.
    if (const std::string read = host(m_config.readUrl), write = host(m_config.writeUrl);
        !read.empty() && !write.empty() && read != write) {
        const std::string here = host(url);
        m_connection->mirrorCookie(kSessionCookie, here, here == read ? write : read);
    }
    reply.body = std::move(answer.body);
    reply.streamed = answer.streaming;
    return reply;
}

}  // namespace tarvelo
