#include "server/store/SessionRegistry.h"

#include <chrono>

#include "server/store/DbError.h"
#include "server/store/ServiceConnection.h"
#include "text/Error.h"

namespace tarvelo::server {

namespace {

bool eightDigits(std::string_view s) {
    if (s.size() != 8) return false;
    for (const char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

Date daysBefore(const Date& day, int days) {
    using namespace std::chrono;
    const sys_days d = year_month_day{year{day.year}, month{static_cast<unsigned>(day.month)},
                                      std::chrono::day{static_cast<unsigned>(day.day)}};
    const year_month_day back{d - std::chrono::days{days}};
    return {static_cast<int>(back.year()), static_cast<int>(static_cast<unsigned>(back.month())),
            static_cast<int>(static_cast<unsigned>(back.day()))};
}

}  // namespace

std::vector<SessionRegistry::Session> SessionRegistry::list() const {
    const auto q = m_db.prepare("SELECT USERID, MAC, RQ FROM KVR_LOGIN ORDER BY USERID, RQ, MAC");
    std::vector<Session> out;
    while (q->step())
        out.push_back({q->text(0), q->text(1), q->text(2)});
    return out;
}

int SessionRegistry::clear(std::string_view user) {
    return remove("USERID = ?", user);
}

SessionRegistry::Expiry SessionRegistry::clearOlderThan(int days, const Date& today) {
    Expiry out;
    out.before = daysBefore(today, days);
    const std::string cutoff = out.before.compact();
    // Eight digits compare as dates; any other text stays, and is counted.
    std::vector<std::string> dates;
    for (const auto& s : list()) {
        if (!eightDigits(s.date))
            ++out.undated;
        else if (s.date < cutoff && (dates.empty() || dates.back() != s.date))
            dates.push_back(s.date);
    }
    for (const auto& d : dates)
        out.removed += remove("RQ = ?", d);
    return out;
}

bool SessionRegistry::accountExists(std::string_view user) const {
    const auto q = m_db.prepare("SELECT 1 FROM KVR_USERH WHERE USERID = ?");
    q->bind(1, user);
    return q->step();
}

std::string SessionRegistry::shownDate(std::string_view stored) {
    const auto date = Date::fromCompact(stored);
    return date ? date->shortText() : std::string(stored);
}

int SessionRegistry::remove(std::string_view condition, std::string_view value) {
    try {
        const auto remove = m_db.prepare("DELETE FROM KVR_LOGIN WHERE " + std::string(condition));
        remove->bind(1, value);
        return static_cast<int>(remove->run());
    } catch (const DbError& e) {
        if (e.cause() == DbError::Cause::Busy)
            throw Error("数据库正忙：服务正在写入别的数据，没有删除任何记录。请稍后再试。",
                        e.detail());
        throw Error("无法删除在线记录。", e.detail());
    }
}

}  // namespace tarvelo::server
