#include "server/http/HttpEndpoint.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <vector>

#include "server/http/WorkerPool.h"
#include "server/soap/SoapService.h"
#include "server/soap/Wsdl.h"
#include "soap/SoapInterface.h"
#include "soap/SoapResponse.h"
#include "text/Error.h"
#include "text/Gzip.h"
#include "text/NumberText.h"
#include "text/OneLine.h"
#include "text/Trim.h"

namespace tarvelo::server {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kXml = "text/xml; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";
constexpr std::string_view kSoapPrefix = "/soap/";
constexpr std::string_view kWsdlPrefix = "/wsdl/";
constexpr unsigned kIoThreads = 2;
// Per connection: the request header must fit, and body pieces pass through it.
constexpr std::size_t kConnectionMemory = 64 << 10;
// A SOAP answer longer than this goes out compressed to a client that takes gzip; below it the
// header and the stream's frame would eat what compression saves.
constexpr std::size_t kCompressAbove = 1 << 10;
// Level 3: measured on a month of deal prices at 1,000,000 rows (2.27 MB), it costs what level 1
// costs (4.5 ms, about 500 MB/s) and shrinks the packet 17.6 times where level 1 does 12.6 times;
// level 6 (24.5 times) takes twice the time, which the two I/O threads spend as answers go out.
constexpr int kAnswerGzipLevel = 3;
// Compressed answers are written in pieces of this size as the connection takes them.
constexpr std::size_t kGzipPiece = 32 << 10;

// What a refused caller reads: which rule it did not meet, never what it asked for.
constexpr std::string_view kNetworkRefused =
    "拒绝访问：本机所在的网络不在数据服务允许之列。请与数据服务的管理员联系。\n";
constexpr std::string_view kCertificateRefused =
    "拒绝访问：没有出示数据服务认可的客户端证书（tarvelo.ini 中的 client-cert 和 "
    "client-key）。\n";
constexpr std::string_view kTokenRefused =
    "拒绝访问：请求没有带上有效的访问令牌（Authorization: Bearer，tarvelo.ini 中的 "
    "access-token）。\n";

constexpr std::string_view kAdminRefused =
    "拒绝访问：管理员令牌只能从数据服务允许的管理网络使用（serve --admin-allow）。\n";

const SoapInterface* interfaceNamed(std::string_view name) {
    for (const SoapInterface* i : {&SoapInterface::supply(), &SoapInterface::apply()})
        if (i->name == name) return i;
    return nullptr;
}

std::string now() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

// "host:port" of a peer, for the log.
std::string addressText(const sockaddr* address) {
    if (!address) return "?";
    char host[INET6_ADDRSTRLEN] = "?";
    int port = 0;
    if (address->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        inet_ntop(AF_INET, &in->sin_addr, host, sizeof host);
        port = ntohs(in->sin_port);
    } else if (address->sa_family == AF_INET6) {
        const auto* in = reinterpret_cast<const sockaddr_in6*>(address);
        inet_ntop(AF_INET6, &in->sin6_addr, host, sizeof host);
        port = ntohs(in->sin6_port);
    }
    return std::string(host) + ":" + std::to_string(port);
}

const sockaddr* clientAddressOf(MHD_Connection* c) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    return info ? info->client_addr : nullptr;
}

std::string peerOf(MHD_Connection* c) {
    return addressText(clientAddressOf(c));
}

// Who a caller is for the limits that hold per caller: an IPv4 address (also through an IPv6
// socket), or an IPv6 /64, the block one machine is usually given whole.
std::string callerOf(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = "?";
    if (address && address->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                  sizeof text);
    } else if (address && address->sa_family == AF_INET6) {
        in6_addr a = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&a)) {
            inet_ntop(AF_INET, &a.s6_addr[12], text, sizeof text);
            return text;
        }
        std::fill(std::begin(a.s6_addr) + 8, std::end(a.s6_addr), 0);
        inet_ntop(AF_INET6, &a, text, sizeof text);
        return std::string(text) + "/64";
    }
    return text;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The most connections the kernel lets wait for accept() on one socket.
int systemBacklog() {
    std::ifstream in("/proc/sys/net/core/somaxconn");
    int n = 0;
    if (in >> n && n > 0) return n;
    return SOMAXCONN;
}

// A listening socket on host:port, or -1 with `detail` saying why. SO_REUSEADDR lets a
// restarted service bind while old connections linger; SO_REUSEPORT is left off, so that a
// port another service listens on is refused instead of shared.
int listenOn(const std::string& host, int port, std::string& detail) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (const int rc = getaddrinfo(host.empty() ? nullptr : host.c_str(),
                                   std::to_string(port).c_str(), &hints, &found)) {
        detail = gai_strerror(rc);
        return -1;
    }
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            detail = std::strerror(errno);
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, systemBacklog()) != 0) {
            detail = std::strerror(errno);
            ::close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    return fd;
}

int boundPort(int fd) {
    sockaddr_storage a{};
    socklen_t n = sizeof a;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) != 0) return 0;
    if (a.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&a)->sin_port);
    if (a.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&a)->sin6_port);
    return 0;
}

// How many certificates a PEM text holds; 0 when it holds none or is not PEM.
unsigned certificatesIn(const std::string& pem) {
    gnutls_datum_t text{reinterpret_cast<unsigned char*>(const_cast<char*>(pem.data())),
                        static_cast<unsigned>(pem.size())};
    gnutls_x509_crt_t* list = nullptr;
    unsigned n = 0;
    if (gnutls_x509_crt_list_import2(&list, &n, &text, GNUTLS_X509_FMT_PEM, 0) < 0) return 0;
    for (unsigned i = 0; i < n; ++i)
        gnutls_x509_crt_deinit(list[i]);
    gnutls_free(list);
    return n;
}

// The subject of a DER certificate ("CN=...,O=..."), for the log.
std::string subjectOf(const gnutls_datum_t& der) {
    std::string subject = "?";
    gnutls_x509_crt_t crt = nullptr;
    if (gnutls_x509_crt_init(&crt) < 0) return subject;
    gnutls_datum_t dn{};
    if (gnutls_x509_crt_import(crt, &der, GNUTLS_X509_FMT_DER) == 0 &&
        gnutls_x509_crt_get_dn3(crt, &dn, 0) == 0) {
        subject.assign(reinterpret_cast<const char*>(dn.data), dn.size);
        gnutls_free(dn.data);
    }
    gnutls_x509_crt_deinit(crt);
    return subject;
}

// Why the client's certificate is not taken (who it names and what is wrong with it); empty when
// it was signed by an authority of the trust list and may serve a TLS client. The library only
// asks for a certificate during the handshake and takes whatever comes: the check is here.
std::string certificateProblem(MHD_Connection* c) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_GNUTLS_SESSION);
    if (!info || !info->tls_session) return "连接没有 TLS 会话";
    const auto session = static_cast<gnutls_session_t>(info->tls_session);
    unsigned count = 0;
    const gnutls_datum_t* chain = gnutls_certificate_get_peers(session, &count);
    if (!chain || count == 0) return "没有出示客户端证书";
    // A certificate that names its purposes must name client authentication.
    gnutls_typed_vdata_st purpose{};
    purpose.type = GNUTLS_DT_KEY_PURPOSE_OID;
    purpose.data = reinterpret_cast<unsigned char*>(const_cast<char*>(GNUTLS_KP_TLS_WWW_CLIENT));
    unsigned status = 0;
    const int rc = gnutls_certificate_verify_peers(session, &purpose, 1, &status);
    if (rc == GNUTLS_E_SUCCESS && status == 0) return {};
    std::string detail = rc == GNUTLS_E_SUCCESS ? std::string() : gnutls_strerror(rc);
    gnutls_datum_t text{};
    if (rc == GNUTLS_E_SUCCESS &&
        gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &text, 0) == 0) {
        detail.assign(reinterpret_cast<const char*>(text.data), text.size);
        gnutls_free(text.data);
    }
    return "客户端证书“" + subjectOf(chain[0]) + "”没有通过验证（" + detail + "）";
}

// Every value of a request header, joined by commas as one list (a header may be repeated).
std::string headerList(MHD_Connection* c, const char* name) {
    struct Search {
        const char* name;
        std::string values;
    } search{name, {}};
    MHD_get_connection_values(
        c, MHD_HEADER_KIND,
        [](void* cls, MHD_ValueKind, const char* key, const char* value) -> MHD_Result {
            auto& s = *static_cast<Search*>(cls);
            if (key && value && ::strcasecmp(key, s.name) == 0)
                s.values += (s.values.empty() ? "" : ",") + std::string(value);
            return MHD_YES;
        },
        &search);
    return search.values;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Whether an Accept-Encoding list takes gzip: "gzip" (or "x-gzip") with a weight above 0, or,
// when it names neither, "*" with one. An element whose weight cannot be read counts as absent;
// no list at all takes nothing but the answer as it is.
bool acceptsGzip(std::string_view list) {
    double gzipWeight = -1, anyWeight = -1;
    while (!list.empty()) {
        const auto comma = list.find(',');
        std::string_view element = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        const auto semicolon = element.find(';');
        const std::string_view coding = trim(element.substr(0, semicolon));
        double weight = 1;
        bool readable = true;
        for (std::string_view params = semicolon == std::string_view::npos
                                           ? std::string_view()
                                           : element.substr(semicolon + 1);
             !params.empty();) {
            const auto next = params.find(';');
            const std::string_view param = params.substr(0, next);
            params = next == std::string_view::npos ? std::string_view() : params.substr(next + 1);
            const auto equals = param.find('=');
            if (equals == std::string_view::npos || !sameName(trim(param.substr(0, equals)), "q"))
                continue;
            const std::string_view value = trim(param.substr(equals + 1));
            const auto [end, ec] =
                std::from_chars(value.data(), value.data() + value.size(), weight);
            readable = !value.empty() && ec == std::errc() && end == value.data() + value.size() &&
                       weight >= 0 && weight <= 1;
        }
        if (!readable) continue;
        if (sameName(coding, "gzip") || sameName(coding, "x-gzip"))
            gzipWeight = weight;
        else if (coding == "*")
            anyWeight = weight;
    }
    return gzipWeight >= 0 ? gzipWeight > 0 : anyWeight > 0;
}

// How a request body is encoded, as its Content-Encoding list says.
enum class BodyCoding { Identity, Gzip, Unknown };
BodyCoding bodyCodingOf(std::string_view list) {
    const std::string_view coding = trim(list);
    if (coding.empty() || sameName(coding, "identity")) return BodyCoding::Identity;
    if (sameName(coding, "gzip") || sameName(coding, "x-gzip")) return BodyCoding::Gzip;
    return BodyCoding::Unknown;
}

// What a response gives back to the count of the answers held when it lets its body go.
struct HeldCount {
    std::atomic<std::size_t>* held = nullptr;
    std::size_t bytes = 0;
    void release() {
        if (held) *held -= bytes;
        held = nullptr;
    }
};

// A response that owns `body`; null when out of memory (`count` is then given back at once).
MHD_Response* responseOf(std::string body, const char* type, HeldCount count = {}) {
    struct Owned {
        std::string text;
        HeldCount count;
        ~Owned() { count.release(); }
    };
    auto* owned = new Owned{std::move(body), count};
    MHD_Response* r = MHD_create_response_from_buffer_with_free_callback_cls(
        owned->text.size(), owned->text.data(), [](void* p) { delete static_cast<Owned*>(p); },
        owned);
    if (!r) {
        delete owned;
        return nullptr;
    }
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    return r;
}

// A response that owns `body` and sends it gzip-compressed, compressing each piece as the
// connection is ready for it: beside the text itself, one piece and zlib's state are held, never
// the whole compressed answer. Its length is not known beforehand (chunked, over HTTP/1.1).
MHD_Response* gzipResponseOf(std::string body, const char* type, HeldCount count = {}) {
    struct Stream {
        std::string text;
        HeldCount count;
        std::string_view rest;
        GzipDeflater deflater{kAnswerGzipLevel};
        ~Stream() { count.release(); }
    };
    auto* stream = new Stream{std::move(body), count, {}};
    stream->rest = stream->text;
    MHD_Response* r = MHD_create_response_from_callback(
        MHD_SIZE_UNKNOWN, kGzipPiece,
        [](void* cls, uint64_t, char* out, size_t room) -> ssize_t {
            auto& s = *static_cast<Stream*>(cls);
            try {
                const std::size_t n = s.deflater.deflate(s.rest, true, out, room);
                if (n > 0) return static_cast<ssize_t>(n);
                return s.deflater.finished() ? MHD_CONTENT_READER_END_OF_STREAM
                                             : MHD_CONTENT_READER_END_WITH_ERROR;
            } catch (...) {
                return MHD_CONTENT_READER_END_WITH_ERROR;  // the connection is closed
            }
        },
        stream, [](void* cls) { delete static_cast<Stream*>(cls); });
    if (!r) {
        delete stream;
        return nullptr;
    }
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_ENCODING, "gzip");
    return r;
}

MHD_Result queue(MHD_Connection* c, unsigned status, MHD_Response* r) {
    if (!r) return MHD_NO;
    const MHD_Result queued = MHD_queue_response(c, status, r);
    MHD_destroy_response(r);
    return queued;
}

MHD_Result queue(MHD_Connection* c, unsigned status, std::string body, const char* type) {
    return queue(c, status, responseOf(std::move(body), type));
}

}  // namespace

// One request, from its header to its answer.
struct HttpEndpoint::Exchange {
    std::string method;
    std::string path;
    std::string peer;
    Caller caller;                         // who calls, for the service's policy and limits
    std::vector<std::string> setCookies;   // with the answer
    const SoapInterface* iface = nullptr;  // a SOAP request
    std::string body;
    std::size_t received = 0;                // bytes of the body as sent (compressed, when it is)
    std::unique_ptr<GzipInflater> inflater;  // a body sent gzip-compressed
    bool gzipAnswer = false;                 // the client takes a gzip-compressed answer
    bool submitted = false;
    bool answered = false;  // by a worker
    std::size_t held = 0;   // of the answer, counted in the service's answers held
    unsigned status = 200;
    std::string answer;
};

struct HttpEndpoint::Callbacks {
    // A caller the service does not answer: it learns which rule it did not meet, the log learns
    // who it was and why, and its connection is closed (a body it sent is not read).
    static MHD_Result deny(HttpEndpoint& self, MHD_Connection* c, const Exchange& x,
                           const Refusal& r) {
        self.log(x, "", 0, "拒绝（" + std::to_string(r.status) + "）：" + r.why);
        MHD_Response* response = responseOf(std::string(r.answer), kText);
        if (!response) return MHD_NO;
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
        if (r.status == MHD_HTTP_UNAUTHORIZED)
            MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE,
                                    r.wrongToken
                                        ? "Bearer realm=\"tarvelo\", error=\"invalid_token\""
                                        : "Bearer realm=\"tarvelo\"");
        return queue(c, r.status, response);
    }

    static MHD_Result refuse(HttpEndpoint& self, MHD_Connection* c, const Exchange& x,
                             unsigned status, const std::string& message) {
        self.log(x, "", 0, "拒绝：" + message);
        if (x.path.starts_with(kSoapPrefix))
            return queue(c, status, SoapResponse::writeFault("Client", message), kXml);
        return queue(c, status, message + "\n", kText);
    }

    static MHD_Result answerOther(HttpEndpoint& self, MHD_Connection* c, const Exchange& x) {
        if (x.method == MHD_HTTP_METHOD_GET && x.path.starts_with(kWsdlPrefix)) {
            const std::string_view file = std::string_view(x.path).substr(kWsdlPrefix.size());
            if (const ImportedSchema* schema = importedSchema(file)) {
                self.log(x, "", 0, "XML 架构");
                return queue(c, MHD_HTTP_OK, std::string(schema->text), kXml);
            }
            const SoapInterface* iface = interfaceNamed(file);
            if (!iface) return refuse(self, c, x, MHD_HTTP_NOT_FOUND, "没有这个接口。");
            const char* host =
                MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_HOST);
            const std::string authority =
                host ? std::string(host) : self.m_options.host + ":" + std::to_string(self.m_port);
            const std::string scheme = self.m_options.tlsCert.empty() ? "http://" : "https://";
            self.log(x, "", 0, "WSDL");
            return queue(
                c, MHD_HTTP_OK,
                wsdlOf(*iface,
                       scheme + authority + std::string(kSoapPrefix) + std::string(iface->name),
                       scheme + authority + std::string(kWsdlPrefix)),
                kXml);
        }
        if (x.method == MHD_HTTP_METHOD_GET && x.path == "/") {
            std::string text = "Tarvelo 参考价格服务\n\n";
            for (const SoapInterface* i : {&SoapInterface::supply(), &SoapInterface::apply()})
                text += "POST /soap/" + std::string(i->name) + "    WSDL: /wsdl/" +
                        std::string(i->name) + "\n";
            return queue(c, MHD_HTTP_OK, text, kText);
        }
        return refuse(self, c, x, MHD_HTTP_NOT_FOUND, "没有这个地址：" + x.path);
    }

    static MHD_Result access(void* cls, MHD_Connection* c, const char* url, const char* method,
                             const char*, const char* upload, size_t* uploadSize, void** context) {
        auto& self = *static_cast<HttpEndpoint*>(cls);
        try {
            auto* x = static_cast<Exchange*>(*context);
            if (!x) {
                x = new Exchange;
                *context = x;
                x->method = method;
                x->path = url;
                x->peer = peerOf(c);
                x->caller.address = callerOf(clientAddressOf(c));
                x->caller.secure = !self.m_options.tlsCert.empty();
                for (auto [name, into] :
                     {std::pair{CookieSessions::kSessionCookie, &x->caller.sessionCookie},
                      std::pair{CookieSessions::kAutoLoginCookie, &x->caller.autoLoginCookie}})
                    if (const char* v = MHD_lookup_connection_value(c, MHD_COOKIE_KIND,
                                                                    std::string(name).c_str()))
                        *into = v;
                x->caller.admin = self.isAdmin(c);
                self.setHeaderDeadline(c, Clock::now() + self.m_options.bodyTimeout);
                if (const auto refused = self.refusal(c)) return deny(self, c, *x, *refused);
                if (x->method == MHD_HTTP_METHOD_POST && x->path.starts_with(kSoapPrefix))
                    x->iface = interfaceNamed(std::string_view(x->path).substr(kSoapPrefix.size()));
                if (!x->iface) return answerOther(self, c, *x);
                switch (bodyCodingOf(headerList(c, MHD_HTTP_HEADER_CONTENT_ENCODING))) {
                    case BodyCoding::Identity:
                        break;
                    case BodyCoding::Gzip:
                        // The limit holds for the body as inflated: inflating stops there.
                        x->inflater =
                            std::make_unique<GzipInflater>(self.m_service.limits().maxRequestBytes);
                        break;
                    case BodyCoding::Unknown:
                        return refuse(self, c, *x, MHD_HTTP_UNSUPPORTED_MEDIA_TYPE,
                                      "请求正文的内容编码（Content-Encoding）不受支持：数据服务只"
                                      "接受用 gzip 压缩的或不压缩的请求。");
                }
                x->gzipAnswer = acceptsGzip(headerList(c, MHD_HTTP_HEADER_ACCEPT_ENCODING));
                if (const char* length = MHD_lookup_connection_value(
                        c, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH)) {
                    const unsigned long long n = std::strtoull(length, nullptr, 10);
                    if (n > self.m_service.limits().maxRequestBytes)
                        return refuse(self, c, *x, MHD_HTTP_CONTENT_TOO_LARGE, self.tooLarge());
                    // Room for the body as announced, up to a little: a client that announces
                    // much and sends little holds no more than it sent.
                    x->body.reserve(std::min<unsigned long long>(n, 1 << 20));
                }
                return MHD_YES;
            }
            if (*uploadSize != 0) {
                const std::string_view piece(upload, *uploadSize);
                *uploadSize = 0;
                x->received += piece.size();
                if (x->received > self.m_service.limits().maxRequestBytes) {
                    // A body in chunks announces no length. Reading stops here; no answer can
                    // be sent before the body is read, so the connection is closed.
                    self.log(*x, "", 0, "拒绝：" + self.tooLarge() + "（分块传送，连接已关闭）");
                    return MHD_NO;
                }
                if (!x->inflater) {
                    x->body.append(piece);
                } else if (const auto state = x->inflater->inflate(piece, x->body);
                           state == GzipInflater::State::TooLarge ||
                           state == GzipInflater::State::Corrupt) {
                    // Refused once the rest has arrived (a compressed body is within the limit
                    // as sent): the rest is read and dropped, and the connection lives on.
                    x->body = std::string();
                }
                return MHD_YES;
            }
            if (x->answered) {
                const bool compress = x->gzipAnswer && x->answer.size() > kCompressAbove;
                // The response holds the answer now, and gives its count back when it lets go.
                const HeldCount count{&self.m_answersHeld, x->held};
                x->held = 0;
                MHD_Response* r = compress ? gzipResponseOf(std::move(x->answer), kXml, count)
                                           : responseOf(std::move(x->answer), kXml, count);
                if (r) MHD_add_response_header(r, MHD_HTTP_HEADER_VARY, "Accept-Encoding");
                for (const auto& cookie : x->setCookies)
                    if (r) MHD_add_response_header(r, MHD_HTTP_HEADER_SET_COOKIE, cookie.c_str());
                return queue(c, x->status, r);
            }
            if (x->submitted) return MHD_YES;
            if (x->inflater) {
                switch (x->inflater->finish()) {
                    case GzipInflater::State::TooLarge:
                        return refuse(self, c, *x, MHD_HTTP_CONTENT_TOO_LARGE, self.tooLarge());
                    case GzipInflater::State::Corrupt:
                        return refuse(self, c, *x, MHD_HTTP_BAD_REQUEST,
                                      "请求正文无法解压：gzip 压缩数据已损坏或不完整。（" +
                                          x->inflater->problem() + "）");
                    default:
                        x->inflater.reset();
                }
            }
            // Answers built and not yet taken by their clients are held in memory: past the
            // budget, a new request is turned away until clients have read theirs.
            if (self.m_answersHeld.load() > self.m_options.answerBudget)
                return refuse(self, c, *x, MHD_HTTP_SERVICE_UNAVAILABLE,
                              "数据服务正忙，请稍后再试。（尚未取走的答复已超过 " +
                                  std::to_string(self.m_options.answerBudget >> 20) + " MiB）");
            // The connection waits, holding no thread, until a worker has the answer; the body
            // is complete, so no deadline runs while the statement does.
            x->submitted = true;
            ++self.m_inFlight;
            self.setHeaderDeadline(c, Clock::time_point::max());
            MHD_suspend_connection(c);
            const bool queued = !self.m_refusing && self.m_workers->submit([&self, c, x] {
                try {
                    self.serveSoap(*x->iface, *x);
                } catch (...) {
                    // Out of memory even for the fault: an empty 500 answer, and the
                    // connection is resumed all the same.
                    x->status = MHD_HTTP_INTERNAL_SERVER_ERROR;
                    x->answer.clear();
                }
                x->answered = true;
                MHD_resume_connection(c);
            });
            if (!queued) {
                x->status = MHD_HTTP_SERVICE_UNAVAILABLE;
                x->answer = SoapResponse::writeFault("Server", "服务正在停止，请稍后再试。");
                x->answered = true;
                MHD_resume_connection(c);
            }
            return MHD_YES;
        } catch (...) {
            return MHD_NO;  // out of memory: the connection is closed
        }
    }

    static void completed(void* cls, MHD_Connection* c, void** context,
                          MHD_RequestTerminationCode) {
        auto& self = *static_cast<HttpEndpoint*>(cls);
        const auto* x = static_cast<Exchange*>(*context);
        if (x && x->submitted) --self.m_inFlight;
        if (x) self.m_answersHeld -= x->held;  // an answer its connection never took
        delete x;
        *context = nullptr;
        self.setHeaderDeadline(c, Clock::now() + self.m_options.idleTimeout);
    }

    // A connection from a network not allowed is closed before anything is read from it.
    static MHD_Result admit(void* cls, const sockaddr* address, socklen_t) {
        auto& self = *static_cast<HttpEndpoint*>(cls);
        if (self.m_options.allowed.admits(address)) return MHD_YES;
        try {
            if (self.m_options.log) {
                const std::string line =
                    now() + " " + addressText(address) + " 拒绝连接：对端不在允许的网络之内";
                std::lock_guard lock(self.m_logMutex);
                self.m_options.log(line);
            }
        } catch (...) {
        }
        return MHD_NO;
    }

    static void connection(void* cls, MHD_Connection* c, void**,
                           MHD_ConnectionNotificationCode code) {
        auto& self = *static_cast<HttpEndpoint*>(cls);
        std::lock_guard lock(self.m_awaitedMutex);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            ++self.m_accepted;
            const MHD_ConnectionInfo* info =
                MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
            if (info)
                self.m_awaited[c] = {info->connect_fd, Clock::now() + self.m_options.headerTimeout};
        } else {
            self.m_awaited.erase(c);
        }
    }
};

HttpEndpoint::HttpEndpoint(SoapService& service, EndpointOptions options)
    : m_service(service), m_options(std::move(options)) {
    if (!m_options.tlsCert.empty() || !m_options.tlsKey.empty()) {
        m_certPem = readFile(m_options.tlsCert);
        m_keyPem = readFile(m_options.tlsKey);
        if (m_certPem.empty() || m_keyPem.empty())
            throw Error("无法启用 HTTPS：证书或私钥文件无法读取。",
                        "证书 " + m_options.tlsCert + "，私钥 " + m_options.tlsKey);
    }
    if (!m_options.tlsClientCa.empty()) {
        if (m_certPem.empty())
            throw Error("客户端证书只能在 HTTPS 下检查：请同时给出服务自己的证书和私钥。");
        m_clientCaPem = readFile(m_options.tlsClientCa);
        if (certificatesIn(m_clientCaPem) == 0)
            throw Error("无法检查客户端证书：文件“" + m_options.tlsClientCa +
                        "”无法读取，或其中没有 PEM 格式的证书。请给出签发客户端证书的 CA 证书。");
    }
}

HttpEndpoint::~HttpEndpoint() {
    stop();
}

int HttpEndpoint::bind() {
    // A peer that goes away while its answer is written must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    std::string detail;
    m_socket = listenOn(m_options.host, m_options.port, detail);
    if (m_socket < 0)
        throw Error("无法在 " + m_options.host + ":" + std::to_string(m_options.port) +
                        " 上监听：地址无效或端口已被占用。",
                    detail);
    m_port = boundPort(m_socket);

    const int workers =
        m_options.workers > 0
            ? m_options.workers
            : std::max(8, 4 * static_cast<int>(std::thread::hardware_concurrency()));
    m_workers = std::make_unique<WorkerPool>(workers);
    // Connections never take the descriptors the database and the workers need: past the
    // open-file limit SQLite could not open its files and every client would get errors.
    m_maxConnections = m_options.maxConnections;
    if (rlimit files{}; getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY) {
        const long room = static_cast<long>(files.rlim_cur) - 64 - 4L * workers;
        m_maxConnections = static_cast<int>(std::clamp<long>(room, 16, m_maxConnections));
    }

    const bool tls = !m_certPem.empty();
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME;
    if (tls) flags |= MHD_USE_TLS;
    std::vector<MHD_OptionItem> options = {
        {MHD_OPTION_LISTEN_SOCKET, m_socket, nullptr},
        {MHD_OPTION_THREAD_POOL_SIZE, kIoThreads, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, static_cast<intptr_t>(m_options.idleTimeout.count()),
         nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, m_maxConnections, nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, std::max(m_options.maxConnectionsPerAddress, 0),
         nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(kConnectionMemory), nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&Callbacks::completed), this},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&Callbacks::connection), this},
    };
    if (tls) {
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, m_certPem.data()});
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, m_keyPem.data()});
        // The handshake asks for a certificate signed by these; refusal() checks what came.
        if (!m_clientCaPem.empty())
            options.push_back({MHD_OPTION_HTTPS_MEM_TRUST, 0, m_clientCaPem.data()});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});
    const bool screened = m_options.allowed.restricts();
    m_daemon = MHD_start_daemon(flags, 0, screened ? &Callbacks::admit : nullptr,
                                screened ? this : nullptr, &Callbacks::access, this,
                                MHD_OPTION_ARRAY, options.data(), MHD_OPTION_END);
    if (!m_daemon) {
        ::close(m_socket);
        m_socket = -1;
        m_workers.reset();
        if (tls)
            throw Error("无法启用 HTTPS：证书或私钥文件无法读取。",
                        "证书 " + m_options.tlsCert + "，私钥 " + m_options.tlsKey);
        throw Error("无法启动 HTTP 服务。", "MHD_start_daemon");
    }
    m_socket = -1;  // the daemon closes it when it stops
    m_reaper = std::thread([this] { reapSlowHeaders(); });
    return m_port;
}

void HttpEndpoint::run() {
    std::unique_lock lock(m_stateMutex);
    m_stateChanged.wait(lock, [this] { return m_stopped; });
}

void HttpEndpoint::start() {
    bind();
}

void HttpEndpoint::stop() {
    std::lock_guard serial(m_stopMutex);
    {
        std::lock_guard lock(m_stateMutex);
        if (m_stopped) return;
        m_stopping = true;
    }
    m_stateChanged.notify_all();
    m_refusing = true;
    if (m_options.log && m_daemon) {
        std::lock_guard lock(m_logMutex);
        m_options.log(now() + " 停止：不再接受新的请求；等待正在处理的 " +
                      std::to_string(m_inFlight) + " 个请求完成");
    }
    if (m_reaper.joinable()) m_reaper.join();
    // Requests being answered finish and resume their connections, and their answers go out
    // (a write the service committed is never cut off from its answer), before the daemon ends;
    // a client that does not read its answer is not waited for long.
    if (m_workers) m_workers->close();
    for (const auto until = Clock::now() + std::chrono::seconds(5);
         m_inFlight > 0 && Clock::now() < until;)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (m_daemon) MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
    if (m_socket >= 0) ::close(m_socket);
    m_socket = -1;
    {
        std::lock_guard lock(m_stateMutex);
        m_stopped = true;
    }
    m_stateChanged.notify_all();
}

std::string HttpEndpoint::baseUrl() const {
    return (m_options.tlsCert.empty() ? "http://" : "https://") + m_options.host + ":" +
           std::to_string(m_port);
}

std::optional<HttpEndpoint::Refusal> HttpEndpoint::refusal(MHD_Connection* c) const {
    if (m_options.allowed.restricts()) {
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        if (!m_options.allowed.admits(info ? info->client_addr : nullptr))
            return Refusal{MHD_HTTP_FORBIDDEN, kNetworkRefused, "对端不在允许的网络之内"};
    }
    if (!m_clientCaPem.empty())
        if (std::string why = certificateProblem(c); !why.empty())
            return Refusal{MHD_HTTP_FORBIDDEN, kCertificateRefused, std::move(why)};
    const char* authorization =
        MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION);
    if (m_options.adminToken.required() &&
        m_options.adminToken.check(authorization) == AccessToken::Verdict::Admitted) {
        if (!isAdmin(c))
            return Refusal{MHD_HTTP_FORBIDDEN, kAdminRefused, "管理员令牌来自不允许的网络"};
        return std::nullopt;
    }
    switch (m_options.accessToken.check(authorization)) {
        case AccessToken::Verdict::Admitted:
            return std::nullopt;
        case AccessToken::Verdict::Missing:
            return Refusal{MHD_HTTP_UNAUTHORIZED, kTokenRefused, "没有带访问令牌"};
        case AccessToken::Verdict::Wrong:
            return Refusal{MHD_HTTP_UNAUTHORIZED, kTokenRefused, "访问令牌不对", true};
    }
    return std::nullopt;
}

bool HttpEndpoint::isAdmin(MHD_Connection* c) const {
    if (!m_options.adminToken.required()) return false;
    if (m_options.adminToken.check(MHD_lookup_connection_value(
            c, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION)) != AccessToken::Verdict::Admitted)
        return false;
    static const ClientNetworks loopback({"127.0.0.0/8", "::1"});
    const ClientNetworks& from =
        m_options.adminAllowed.restricts() ? m_options.adminAllowed : loopback;
    return from.admits(clientAddressOf(c));
}

std::string HttpEndpoint::tooLarge() const {
    return "请求太大：超过 " + std::to_string(m_service.limits().maxRequestBytes >> 20) +
           " MiB 的上限。";
}

void HttpEndpoint::serveSoap(const SoapInterface& iface, Exchange& x) {
    const auto started = Clock::now();
    SoapService::Reply reply;
    try {
        reply = m_service.handle(iface, x.body, x.caller);
    } catch (const std::exception& e) {
        reply.status = 500;
        reply.body =
            SoapResponse::writeFault("Server", std::string("服务内部错误。（") + e.what() + "）");
        reply.outcome = std::string("故障：") + e.what();
    }
    x.body = std::string();  // the request's memory goes before the answer is sent
    x.status = static_cast<unsigned>(reply.status);
    x.setCookies = std::move(reply.setCookies);
    x.held = reply.body.size();
    m_answersHeld += x.held;
    x.answer = std::move(reply.body);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    log(x, std::string(iface.name) + "." + (reply.operation.empty() ? "?" : reply.operation), ms,
        reply.outcome);
}

void HttpEndpoint::log(const Exchange& x, std::string_view operation, double ms,
                       std::string_view outcome) {
    if (!m_options.log) return;
    const std::string duration = fixedText(ms, 1) + " ms";
    // What a client sent (its path, a quoted name in a refusal) never breaks the line.
    std::string line =
        now() + " " + x.peer + " " +
        oneLine(operation.empty() ? x.method + " " + x.path : std::string(operation)) + " " +
        duration + " " + oneLine(outcome);
    std::lock_guard lock(m_logMutex);
    m_options.log(line);
}

void HttpEndpoint::setHeaderDeadline(MHD_Connection* c, Clock::time_point deadline) {
    std::lock_guard lock(m_awaitedMutex);
    if (const auto it = m_awaited.find(c); it != m_awaited.end()) it->second.deadline = deadline;
}

void HttpEndpoint::reapSlowHeaders() {
    std::unique_lock state(m_stateMutex);
    while (!m_stateChanged.wait_for(state, std::chrono::milliseconds(250),
                                    [this] { return m_stopping; })) {
        const auto t = Clock::now();
        std::lock_guard lock(m_awaitedMutex);
        for (auto& [connection, awaited] : m_awaited) {
            if (awaited.deadline > t) continue;
            // The daemon sees the end of the stream and closes the connection; its socket stays
            // open until the close is notified, which waits for this lock.
            ::shutdown(awaited.fd, SHUT_RDWR);
            awaited.deadline = Clock::time_point::max();
        }
    }
}

}  // namespace tarvelo::server
