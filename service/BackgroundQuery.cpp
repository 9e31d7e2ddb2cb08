#include "service/BackgroundQuery.h"

#include "data/PacketStream.h"
#include "service/IVRDS_IIS_WebSCoorSpplyIsapi.h"
#include "text/Error.h"

namespace tarvelo {

BackgroundQuery::BackgroundQuery(const SoapInterface& iface, std::string url,
                                 const ServiceConfig& config,
                                 std::shared_ptr<HttpTransport::Connection> connection)
    : m_client(iface, std::move(url), config, CallSide::Read, std::move(connection)) {}

BackgroundQuery::~BackgroundQuery() {
    m_abandoned = true;
    m_client.abandon();
    if (m_thread.joinable()) m_thread.join();
}

BackgroundQuery::Answer BackgroundQuery::read(IVRDS_IIS_WebSCoorSpplyIsapi& intf,
                                              std::string_view sqlText) {
    Answer answer;
    try {
        answer.sqlText = sqlText;
        PacketStream packet;
        intf.SpplyVanDataBySQL(sqlText, [&](std::string_view piece) { packet.feed(piece); });
        try {
            answer.rows = packet.finish();
        } catch (...) {
            answer.packetFailure = std::current_exception();
        }
    } catch (...) {
        answer.callFailure = std::current_exception();
    }
    return answer;
}

void BackgroundQuery::start(std::string sqlText, Done done) {
    if (m_busy) throw Error("上一次后台查询还没有结束。");
    if (m_thread.joinable()) m_thread.join();  // not busy: at most handing its answer on
    m_busy = true;
    m_thread = std::jthread([this, sql = std::move(sqlText), done = std::move(done)] {
        IVRDS_IIS_WebSCoorSpplyIsapi intf(m_client);
        Answer answer = read(intf, sql);
        // Free before the answer is handed on: whoever takes it may start the next query at
        // once, which then waits only for this thread's last steps.
        m_busy = false;
        try {
            if (!m_abandoned) done(std::move(answer));
        } catch (...) {
            // Nothing may leave the thread; without memory to hand the answer on, it is lost.
        }
    });
}

}  // namespace tarvelo
