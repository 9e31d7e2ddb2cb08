#include "server/SessionRegistry.h"

#include <sqlite3.h>

#include "server/SqliteConnection.h"
#include "server/SqliteStatement.h"
#include "text/Error.h"

namespace tarvelo::server {

namespace {

constexpr const char* kDated = "RQ GLOB '[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]'";

}  // namespace

std::vector<SessionRegistry::Session> SessionRegistry::list() const {
    SqliteStatement q(m_db, "SELECT USERID, MAC, RQ FROM KVR_LOGIN ORDER BY USERID, RQ, MAC");
    std::vector<Session> out;
    while (q.step())
        out.push_back({q.text(0), q.text(1), q.text(2)});
    return out;
}

int SessionRegistry::clear(std::string_view user) {
    return removeWhere("USERID = ?1", user);
}

SessionRegistry::Expiry SessionRegistry::clearOlderThan(int days, const Date& today) {
    Expiry out;
    {
        SqliteStatement cutoff(m_db, "SELECT strftime('%Y%m%d', ?1, ?2)");
        cutoff.bind(1, today.shortText());
        cutoff.bind(2, "-" + std::to_string(days) + " days");
        const auto before = cutoff.step() ? Date::fromCompact(cutoff.text(0)) : std::nullopt;
        if (!before) throw Error("无法计算 " + std::to_string(days) + " 天之前的日期。");
        out.before = *before;
    }
    out.removed = removeWhere(std::string(kDated) + " AND RQ < ?1", out.before.compact());
    SqliteStatement undated(
        m_db, "SELECT count(*) FROM KVR_LOGIN WHERE NOT coalesce(" + std::string(kDated) + ", 0)");
    undated.step();
    out.undated = static_cast<int>(undated.integer(0));
    return out;
}

bool SessionRegistry::accountExists(std::string_view user) const {
    SqliteStatement q(m_db, "SELECT 1 FROM KVR_USERH WHERE USERID = ?1");
    q.bind(1, user);
    return q.step();
}

std::string SessionRegistry::shownDate(std::string_view stored) {
    const auto date = Date::fromCompact(stored);
    return date ? date->shortText() : std::string(stored);
}

int SessionRegistry::removeWhere(std::string_view condition, std::string_view value) {
    SqliteStatement remove(m_db, "DELETE FROM KVR_LOGIN WHERE " + std::string(condition));
    remove.bind(1, value);
    const int rc = remove.run();
    if ((rc & 0xFF) == SQLITE_BUSY)
        throw Error("数据库正忙：服务正在写入别的数据，没有删除任何记录。请稍后再试。",
                    sqlite3_errmsg(m_db.handle()));
    if (rc != SQLITE_DONE) m_db.fail("无法删除在线记录。", rc);
    return sqlite3_changes(m_db.handle());
}

}  // namespace tarvelo::server
