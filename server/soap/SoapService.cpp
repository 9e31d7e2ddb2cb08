#include "server/soap/SoapService.h"

#include <algorithm>
#include <limits>

#include "data/DataPacket.h"
#include "server/store/ApplyParams.h"
#include "server/store/DeltaResolver.h"
#include "server/store/SqlRunner.h"
#include "server/store/Store.h"
#include "soap/SoapInterface.h"
#include "soap/SoapRequest.h"
#include "soap/SoapResponse.h"

namespace tarvelo::server {

namespace {

// A failure answered as a SOAP fault.
struct Fault {
    std::string code;  // "Client" or "Server"
    std::string message;
    std::string detail;
};

std::string faultText(const Fault& f) {
    return f.detail.empty() ? f.message : f.message + "（" + f.detail + "）";
}

std::string rowsText(std::size_t n) {
    return std::to_string(n) + " 行";
}

std::int32_t clampInt(long long n) {
    return static_cast<std::int32_t>(std::clamp<long long>(
        n, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

SoapService::SoapService(Store& store, ServiceLimits limits, StatementObserver observer,
                         AccountPolicy::Options accounts)
    : m_store(store),
      m_limits(limits),
      m_observer(std::move(observer)),
      m_enVerifsRate(limits.enVerifsBurst, limits.enVerifsRefill),
      m_policy(store, m_limits, std::move(accounts)) {}

SoapService::Reply SoapService::handle(const SoapInterface& iface, std::string_view body,
                                       const Caller& caller) {
    Reply reply;
    AccountPolicy::Call call(caller);
    const bool checked = m_policy.checks(caller);
    // Whom a write was for, in its log line.
    const auto byWhom = [&] {
        return call.who.empty() ? std::string("（未登录）") : "（账号 " + call.who + "）";
    };
    const auto answer = [&](const SoapValue& value, std::string outcome) {
        reply.body = SoapResponse::write(iface.ns, reply.operation, value);
        reply.outcome = std::move(outcome);
    };
    try {
        SoapRequest request;
        try {
            request = SoapRequest::read(body);
        } catch (const Error& e) {
            throw Fault{"Client", e.message(), e.detail()};
        }
        reply.operation = request.operation;
        if (request.ns != iface.ns)
            throw Fault{"Client",
                        "请求的操作元素不在接口 " + std::string(iface.name) + " 的命名空间中。",
                        "收到的命名空间：" + request.ns};
        const SoapOperation* op = iface.find(request.operation);
        if (!op)
            throw Fault{
                "Client",
                "接口 " + std::string(iface.name) + " 没有操作“" + request.operation + "”。",
                {}};
        for (const auto& p : op->params) {
            const SoapParam* given = request.find(p.name);
            if (!given)
                throw Fault{
                    "Client",
                    "操作 " + request.operation + " 缺少参数“" + std::string(p.name) + "”。",
                    {}};
            // A scalar read from an element that holds elements would be the text beside
            // them: most likely nothing, which is not what was sent.
            if (p.type != SoapType::DoubleArray && given->isArray)
                throw Fault{"Client",
                            "参数“" + given->name + "”应是单个值，收到的却是数组或含有子元素。",
                            "子元素 " + std::to_string(given->items.size()) + " 个"};
        }
        const auto text = [&](std::string_view name) -> const std::string& {
            return request.find(name)->text;
        };
        const std::string& name = request.operation;
        const bool readSide = &iface == &SoapInterface::supply();

        if (name == "echoDouble") {
            try {
                const double v = soapDouble(text("dValue"), "dValue");
                answer(v, soapDoubleText(v));
            } catch (const Error& e) {
                throw Fault{"Client", e.message(), e.detail()};
            }
        } else if (name == "echoDoubleArray") {
            std::vector<double> values;
            try {
                values = request.find("daValue")->doubles();
            } catch (const Error& e) {
                throw Fault{"Client", e.message(), e.detail()};
            }
            answer(values, std::to_string(values.size()) + " 个数");
        } else if (readSide && name == "EnVerifs") {
            // The argument is a password in disguise: it is never logged or observed. Its answer
            // is what the accounts table holds, so each caller gets only a few a second.
            if (!m_enVerifsRate.take(caller.address)) {
                reply.status = 500;
                reply.body = SoapResponse::writeFault("Client", "请求过于频繁，请稍后再试。");
                reply.outcome = "拒绝：EnVerifs 过于频繁（每个地址连续最多 " +
                                std::to_string(m_limits.enVerifsBurst) + " 次，此后每 " +
                                std::to_string(m_limits.enVerifsRefill.count()) + " 毫秒 1 次）";
                return reply;
            }
            if (!checked) {
                answer(m_store.transformPassword(text("Src")), "已变换");
            } else {
                m_policy.begin(call);
                try {
                    std::string masked = m_policy.enVerifs(call, text("Src"));
                    answer(std::move(masked), "已变换" + byWhom());
                } catch (const StatementError& e) {
                    throw Fault{e.rejected() ? "Client" : "Server", e.message(), e.detail()};
                }
            }
        } else if (readSide && name == "DeVerifs") {
            throw Fault{"Server", "本服务的密码变换不可逆，不提供 DeVerifs。", {}};
        } else if (readSide && name == "SpplyVanDataBySQL") {
            const std::string& sql = text("sSQL");
            if (m_observer) m_observer(name, sql);
            m_policy.begin(call);
            try {
                auto result = checked
                                  ? m_policy.read(call, sql)
                                  : SqlRunner(*m_store.acquire(Side::Read), m_limits).query(sql);
                answer(std::move(result.packet), rowsText(result.rows));
            } catch (const StatementError& e) {
                // The client loads whatever text comes back: an error text rather than a fault,
                // so that what went wrong reaches the user's error box.
                answer(e.message() + (e.detail().empty() ? "" : "（" + e.detail() + "）"),
                       "错误：" + e.message());
            }
        } else if (!readSide && name == "ApplyVanDataByExc") {
            const std::string& sql = text("sSQL");
            if (m_observer) m_observer(name, sql);
            m_policy.begin(call);
            try {
                const long long n =
                    checked ? m_policy.execute(call, sql)
                            : SqlRunner(*m_store.acquire(Side::Write), m_limits).execute(sql);
                answer(clampInt(n), (call.table.empty() ? "" : call.table + " ") +
                                        rowsText(static_cast<std::size_t>(n)) + byWhom());
            } catch (const StatementError& e) {
                throw Fault{e.rejected() ? "Client" : "Server", e.message(), e.detail()};
            }
        } else if (!readSide && name == "ApplyVanDataBySQLupKeyChangedExc1") {
            const std::string& params = text("sSQL");
            if (m_observer) m_observer(name, params);
            m_policy.begin(call);
            auto lease = m_store.acquire(Side::Write);
            std::string table;
            DeltaResolver resolver(*lease, m_limits, [&](const ApplyParams& p, DataPacket& delta) {
                table = p.table;
                if (checked) m_policy.inspectDelta(call, *lease, p, delta);
            });
            try {
                const int failed = resolver.apply(params, text("sDelta00"));
                if (failed == 0 && checked) m_policy.deltaApplied(call);
                answer(failed, table + " " +
                                   (failed == 0 ? rowsText(resolver.rows()) + "已提交"
                                                : std::to_string(failed) + " 行失败，已全部撤销") +
                                   byWhom());
            } catch (const StatementError& e) {
                throw Fault{e.rejected() ? "Client" : "Server", e.message(), e.detail()};
            }
        } else {
            throw Fault{"Server", "本服务不提供操作“" + name + "”。", {}};
        }
    } catch (const Fault& f) {
        reply.status = 500;
        reply.body = SoapResponse::writeFault(f.code, faultText(f));
        reply.outcome = "故障：" + f.message;
    } catch (const Error& e) {
        reply.status = 500;
        reply.body = SoapResponse::writeFault(
            "Server", e.message() + (e.detail().empty() ? "" : "（" + e.detail() + "）"));
        reply.outcome = "故障：" + e.message();
    } catch (const std::exception& e) {
        reply.status = 500;
        reply.body =
            SoapResponse::writeFault("Server", std::string("服务内部错误。（") + e.what() + "）");
        reply.outcome = std::string("故障：") + e.what();
    }
    // Cookies go out with faults too: a session begun by a refused request is still the caller's.
    if (checked) m_policy.finish(call);
    reply.setCookies = std::move(call.setCookies);
    return reply;
}

}  // namespace tarvelo::server
