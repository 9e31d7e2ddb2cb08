#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "data/DataSet.h"
#include "service/BackgroundQuery.h"
#include "service/CallWaiter.h"
#include "service/IVRDS_IIS_WebSCoorApplyIsapi.h"
#include "service/IVRDS_IIS_WebSCoorSpplyIsapi.h"
#include "service/ServiceConfig.h"
#include "service/SoapClient.h"
#include "text/Error.h"

namespace tarvelo {

class Platform;

// The data access module: every window reaches the service through it. It lives from the
// login window's construction to the end of the run.
class TIISdmPtr {
public:
    // Sets both endpoints from the configuration and obtains both interfaces.
    TIISdmPtr(const ServiceConfig& config, Platform& platform);
    ~TIISdmPtr();
    TIISdmPtr(const TIISdmPtr&) = delete;
    TIISdmPtr& operator=(const TIISdmPtr&) = delete;

    SoapClient SpplyHTTPRIO;  // the read side's client and endpoint
    SoapClient ApplyHTTPRIO;  // the write side's client and endpoint
    std::unique_ptr<IVRDS_IIS_WebSCoorSpplyIsapi> SpplyIntf;
    std::unique_ptr<IVRDS_IIS_WebSCoorApplyIsapi> ApplyIntf;
    DataSet CdsDelta;         // scratch of ApplyDelta: empty before and after every use
    DataSet Cds_UserHPassed;  // the signed-in user's KVR_USERH row

    // The answer of the read side to `sqlText`: a data packet, or whatever text the service
    // answers to a statement it rejects. Any failure gives "出错"; nothing is shown or retried,
    // but the failure is kept (queryFailure()) so that whoever ends the action can say why.
    std::string QueryBySQL(std::string_view sqlText);
    // The same answer loaded into `target` as it arrives, as target.loadPacket(QueryBySQL(...))
    // would load it, but without the answer ever being held whole as text: rows are made on the
    // waiter's thread while the transfer runs, and the text they came from is let go. A failed
    // call is kept as QueryBySQL keeps it; then, and for an answer that is no packet, `target`
    // is closed and tarvelo::Error raised, as loadPacket raises it.
    void QueryInto(std::string_view sqlText, DataSet& target);
    // An answer read beside the window's calls (BackgroundQuery) loaded into `target` as
    // QueryInto loads its own, failures included.
    void LoadAnswer(BackgroundQuery::Answer answer, DataSet& target);

    // Why the latest QueryBySQL gave "出错", until a later one succeeds or it is forgotten.
    const Error* queryFailure() const { return m_queryFailure ? &*m_queryFailure : nullptr; }
    void forgetQueryFailure() { m_queryFailure.reset(); }

    // How calls wait for their answers; null: on the calling thread.
    void setWaiter(CallWaiter* waiter);

    // The cookies the service set on this module's calls: both sides, and a BackgroundQuery on
    // the read side's connection, carry the same ones. Lines as HttpTransport::cookieLine gives
    // them; empty when the module holds no valid cookie of that name.
    std::string cookieLine(std::string_view name) {
        return SpplyHTTPRIO.transport().cookieLine(name);
    }
    // Adds a cookie kept from an earlier run; a line that is no cookie line is ignored.
    void putCookieLine(std::string_view line) { SpplyHTTPRIO.transport().putCookieLine(line); }
    void forgetCookie(std::string_view name) { SpplyHTTPRIO.transport().forgetCookie(name); }

    // Sends the pending changes of `dataset` as a delta for `tableName`, finding rows by
    // `keyFields` and leaving out `excludedFields` (both comma-separated). Returns -7 at once
    // when nothing is pending; 7 after a failed call ("7-第二服务器" is shown, the changes stay
    // pending); 0 when the service applied everything ("操作成功。" is shown, the change log is
    // merged); otherwise the service's result, with "操作失败,请重试或与系统管理员联系" shown and
    // the changes kept pending. `successDetail`, when given, is a second line of the success
    // box ("已存入 30 行。").
    int ApplyDelta(DataSet& dataset, std::string_view tableName, std::string_view keyFields,
                   std::string_view excludedFields, std::string_view successDetail = {});

    // The stored form of a password: EnVerifs of its Base64 text. Failures are raised.
    std::string StoredPassword(std::string_view password);
    // What EnVerifs receives for a password: the Base64 of its UTF-8 bytes, with a CR LF after
    // every 76 characters.
    static std::string PasswordSource(std::string_view password);

    static constexpr std::string_view kQueryFailed = "出错";

private:
    // Inside a catch block: keeps what went wrong as the query's failure.
    void keepQueryFailure();

    Platform& m_platform;
    std::optional<Error> m_queryFailure;
};

// The module of the running program, or null before its construction and after its release.
inline TIISdmPtr* IISdmPtr = nullptr;

}  // namespace tarvelo
