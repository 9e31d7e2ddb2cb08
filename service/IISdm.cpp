#include "service/IISdm.h"

#include <new>

#include "platform/Platform.h"
#include "text/Base64.h"
#include "text/Error.h"
#include "text/StatementBuffer.h"

namespace tarvelo {

TIISdmPtr::TIISdmPtr(const ServiceConfig& config, Platform& platform)
    : SpplyHTTPRIO(SoapInterface::supply(), config.readUrl, config),
      // The write side takes turns on the read side's connections: an action that reads and
      // writes opens no second one.
      ApplyHTTPRIO(SoapInterface::apply(), config.writeUrl, config, CallSide::Write,
                   SpplyHTTPRIO.connection()),
      SpplyIntf(std::make_unique<IVRDS_IIS_WebSCoorSpplyIsapi>(SpplyHTTPRIO)),
      ApplyIntf(std::make_unique<IVRDS_IIS_WebSCoorApplyIsapi>(ApplyHTTPRIO)),
      m_platform(platform) {}

TIISdmPtr::~TIISdmPtr() {
    if (IISdmPtr == this) IISdmPtr = nullptr;
}

void TIISdmPtr::setWaiter(CallWaiter* waiter) {
    SpplyHTTPRIO.setWaiter(waiter);
    ApplyHTTPRIO.setWaiter(waiter);
}

std::string TIISdmPtr::QueryBySQL(std::string_view sqlText) {
    try {
        // The interface is obtained again before every query; it holds no state, so nothing
        // that refers to the client object is lost.
        SpplyIntf = std::make_unique<IVRDS_IIS_WebSCoorSpplyIsapi>(SpplyHTTPRIO);
        SpplyHTTPRIO.announce("正在查询…");
        std::string answer = SpplyIntf->SpplyVanDataBySQL(sqlText);
        m_queryFailure.reset();
        return answer;
    } catch (...) {
        keepQueryFailure();
    }
    return std::string(kQueryFailed);
}

void TIISdmPtr::QueryInto(std::string_view sqlText, DataSet& target) {
    SpplyIntf = std::make_unique<IVRDS_IIS_WebSCoorSpplyIsapi>(SpplyHTTPRIO);
    SpplyHTTPRIO.announce("正在查询…");
    LoadAnswer(BackgroundQuery::read(*SpplyIntf, sqlText), target);
}

void TIISdmPtr::LoadAnswer(BackgroundQuery::Answer answer, DataSet& target) {
    if (answer.callFailure) {
        try {
            std::rethrow_exception(answer.callFailure);
        } catch (...) {
            keepQueryFailure();
        }
        target.loadPacket(kQueryFailed);  // raises what loading "出错" raises
        return;
    }
    m_queryFailure.reset();
    if (answer.packetFailure) {
        target.close();
        std::rethrow_exception(answer.packetFailure);
    }
    target.loadPacket(std::move(answer.rows));
}

void TIISdmPtr::keepQueryFailure() {
    try {
        throw;
    } catch (const Error& e) {
        m_queryFailure = e;
    } catch (const std::bad_alloc&) {
        m_queryFailure = Error("内存不足，无法接收查询结果。");
    } catch (const std::exception& e) {
        m_queryFailure = Error("查询没有完成。", e.what());
    } catch (...) {
        m_queryFailure = Error("查询没有完成。");
    }
}

namespace {

// A count as people read it: "9,998".
std::string grouped(std::size_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace

int TIISdmPtr::ApplyDelta(DataSet& dataset, std::string_view tableName, std::string_view keyFields,
                          std::string_view excludedFields, std::string_view successDetail) {
    if (dataset.changeCount() == 0) return -7;
    CursorGuard cursor(m_platform, Cursor::Hourglass);
    struct Scratch {
        DataSet& d;
        ~Scratch() {
            try {
                d.close();
            } catch (...) {
            }
        }
    } scratch{CdsDelta};

    CdsDelta.close();
    CdsDelta.loadPacket(*dataset.delta());
    const std::string delta = CdsDelta.packetText();
    StatementBuffer params;
    params.add("SQL00=Select 'AAA' AAA From " + std::string(tableName) + " Where 1=2");
    params.add("Key00=ResolveToSQL;upWhereChanged;" + std::string(keyFields));
    params.add("Inc00=");
    params.add("Exc00=" + std::string(excludedFields));

    const DataSet::ChangeCounts counts = dataset.changeCounts();
    const std::size_t carried = counts.inserted + counts.modified;
    ApplyHTTPRIO.announce(carried > 0 ? "正在上传 " + grouped(carried) + " 行…"
                                      : "正在删除 " + grouped(counts.deleted) + " 行…");
    int result;
    try {
        result = ApplyIntf->ApplyVanDataBySQLupKeyChangedExc1(params.text(), delta);
    } catch (const Error& e) {
        // What went wrong follows on the next line: a refused value, a service that is down.
        m_platform.message("7-第二服务器\n" + e.message());
        return 7;
    } catch (...) {
        m_platform.message("7-第二服务器");
        return 7;
    }
    if (result == 0) {
        m_platform.information(successDetail.empty() ? std::string("操作成功。")
                                                     : "操作成功。\n" + std::string(successDetail));
        dataset.mergeChangeLog();
    } else {
        // The service refused the save: say so, rather than let it pass for success.
        m_platform.message("操作失败,请重试或与系统管理员联系");
    }
    return result;
}

std::string TIISdmPtr::StoredPassword(std::string_view password) {
    SpplyHTTPRIO.announce("正在处理密码…");
    return SpplyIntf->EnVerifs(PasswordSource(password));
}

std::string TIISdmPtr::PasswordSource(std::string_view password) {
    return base64Encode(password);
}

}  // namespace tarvelo
