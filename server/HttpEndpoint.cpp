#include "server/HttpEndpoint.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <ctime>

#include "server/SoapService.h"
#include "server/Wsdl.h"
#include "soap/SoapInterface.h"
#include "soap/SoapResponse.h"
#include "text/Error.h"

namespace tarvelo::server {

namespace {

constexpr const char* kXml = "text/xml; charset=utf-8";

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

}  // namespace

HttpEndpoint::HttpEndpoint(SoapService& service, EndpointOptions options)
    : m_service(service), m_options(std::move(options)) {
    if (!m_options.tlsCert.empty() || !m_options.tlsKey.empty()) {
        auto tls = std::make_unique<httplib::SSLServer>(m_options.tlsCert.c_str(),
                                                        m_options.tlsKey.c_str());
        if (!tls->is_valid())
            throw Error("无法启用 HTTPS：证书或私钥文件无法读取。",
                        "证书 " + m_options.tlsCert + "，私钥 " + m_options.tlsKey);
        m_server = std::move(tls);
    } else {
        m_server = std::make_unique<httplib::Server>();
    }
    httplib::Server& s = *m_server;
    const int workers =
        m_options.workers > 0
            ? m_options.workers
            : std::max(8, 4 * static_cast<int>(std::thread::hardware_concurrency()));
    // A keep-alive connection holds its worker while it lasts, so the pool is generous.
    s.new_task_queue = [workers] {
        return new httplib::ThreadPool(static_cast<std::size_t>(workers));
    };
    s.set_tcp_nodelay(true);
    s.set_keep_alive_max_count(10000);
    s.set_keep_alive_timeout(5);
    s.set_payload_max_length(m_service.limits().maxRequestBytes);

    for (const SoapInterface* iface : {&SoapInterface::supply(), &SoapInterface::apply()}) {
        s.Post("/soap/" + std::string(iface->name),
               [this, iface](const httplib::Request& req, httplib::Response& res) {
                   serveSoap(*iface, req, res);
               });
    }
    s.Get(R"(/wsdl/([A-Za-z_]+))", [this](const httplib::Request& req, httplib::Response& res) {
        const SoapInterface* iface = interfaceNamed(req.matches[1].str());
        if (!iface) {
            res.status = 404;
            res.set_content("没有这个接口。\n", "text/plain; charset=utf-8");
            return;
        }
        const std::string host = req.has_header("Host")
                                     ? req.get_header_value("Host")
                                     : m_options.host + ":" + std::to_string(m_port);
        const std::string scheme = m_options.tlsCert.empty() ? "http://" : "https://";
        res.set_content(wsdlOf(*iface, scheme + host + "/soap/" + std::string(iface->name)), kXml);
    });
    s.Get("/", [this](const httplib::Request&, httplib::Response& res) {
        std::string text = "Tarvelo 参考价格服务\n\n";
        for (const SoapInterface* i : {&SoapInterface::supply(), &SoapInterface::apply()})
            text += "POST /soap/" + std::string(i->name) + "    WSDL: /wsdl/" +
                    std::string(i->name) + "\n";
        res.set_content(text, "text/plain; charset=utf-8");
    });
    // Refusals that never reach a handler (a body over the limit, an unknown path) still answer
    // in the service's words; a SOAP path gets a fault.
    s.set_error_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (!res.body.empty()) return;  // a fault the service wrote itself
        std::string message;
        if (res.status == 413)
            message = "请求太大：超过 " + std::to_string(m_service.limits().maxRequestBytes >> 20) +
                      " MiB 的上限。";
        else if (res.status == 404)
            message = "没有这个地址：" + req.path;
        else
            message = "请求无法处理（HTTP " + std::to_string(res.status) + "）。";
        if (req.path.starts_with("/soap/"))
            res.set_content(SoapResponse::writeFault("Client", message), kXml);
        else
            res.set_content(message + "\n", "text/plain; charset=utf-8");
        log(req, "", 0, "拒绝：" + message);
    });
    s.set_exception_handler([](const httplib::Request&, httplib::Response& res,
                               std::exception_ptr ep) {
        std::string what = "未知异常";
        try {
            std::rethrow_exception(ep);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
        }
        res.status = 500;
        res.set_content(SoapResponse::writeFault("Server", "服务内部错误。（" + what + "）"), kXml);
    });
}

HttpEndpoint::~HttpEndpoint() {
    stop();
}

int HttpEndpoint::bind() {
    if (m_options.port == 0) {
        m_port = m_server->bind_to_any_port(m_options.host);
        if (m_port < 0) m_port = 0;
    } else if (m_server->bind_to_port(m_options.host, m_options.port)) {
        m_port = m_options.port;
    }
    if (m_port == 0)
        throw Error("无法在 " + m_options.host + ":" + std::to_string(m_options.port) +
                    " 上监听：地址无效或端口已被占用。");
    return m_port;
}

void HttpEndpoint::run() {
    m_server->listen_after_bind();
}

void HttpEndpoint::start() {
    bind();
    m_thread = std::thread([this] { run(); });
    while (!m_server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void HttpEndpoint::stop() {
    if (m_server) m_server->stop();
    if (m_thread.joinable()) m_thread.join();
}

std::string HttpEndpoint::baseUrl() const {
    return (m_options.tlsCert.empty() ? "http://" : "https://") + m_options.host + ":" +
           std::to_string(m_port);
}

void HttpEndpoint::serveSoap(const SoapInterface& iface, const httplib::Request& req,
                             httplib::Response& res) {
    const auto started = std::chrono::steady_clock::now();
    SoapService::Reply reply = m_service.handle(iface, req.body);
    res.status = reply.status;
    res.set_content(std::move(reply.body), kXml);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count();
    log(req, std::string(iface.name) + "." + (reply.operation.empty() ? "?" : reply.operation), ms,
        reply.outcome);
}

void HttpEndpoint::log(const httplib::Request& req, std::string_view operation, double ms,
                       std::string_view outcome) {
    if (!m_options.log) return;
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.1f ms", ms);
    std::string line = now() + " " + req.remote_addr + ":" + std::to_string(req.remote_port) + " " +
                       (operation.empty() ? req.method + " " + req.path : std::string(operation)) +
                       " " + duration + " " + std::string(outcome);
    std::lock_guard lock(m_logMutex);
    m_options.log(line);
}

}  // namespace tarvelo::server
