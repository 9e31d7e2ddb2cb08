#include "server/store/sqlite/SqlGuard.h"

#include <sqlite3.h>

#include "data/DataPacket.h"
#include "server/store/Schema.h"

namespace tarvelo::server {

SqlGuard::SqlGuard(sqlite3* db) : m_db(db) {
    sqlite3_set_authorizer(m_db, authorize, this);
}

SqlGuard::~SqlGuard() {
    sqlite3_set_authorizer(m_db, nullptr, nullptr);
}

void SqlGuard::setSide(Side side) {
    m_side = side;
    clear();
}

void SqlGuard::clear() {
    m_denial.clear();
    m_writes = false;
    m_selects = false;
}

int SqlGuard::authorize(void* self, int action, const char* a1, const char* a2,
                        const char* database, const char*) {
    return static_cast<SqlGuard*>(self)->check(action, a1, a2, database != nullptr);
}

int SqlGuard::deny(std::string reason) {
    if (m_denial.empty()) m_denial = std::move(reason);
    return SQLITE_DENY;
}

int SqlGuard::check(int action, const char* a1, const char* a2, bool inDatabase) {
    if (m_side == Side::Internal) return SQLITE_OK;
    const std::string table = a1 ? a1 : "";
    const auto tableAllowed = [&](const char* verb) {
        if (upperName(table).starts_with("SQLITE_"))
            return deny(std::string("不允许") + verb + "数据库的结构表“" + table + "”。");
        if (sameName(table, Schema::kSecretTable)) return deny("不允许访问密钥表。");
        if (!Schema::instance().isServiceTable(table))
            return deny(std::string("不允许") + verb + "表“" + table + "”：它不是本服务的数据表。");
        return SQLITE_OK;
    };
    switch (action) {
        case SQLITE_SELECT:
            m_selects = true;
            return SQLITE_OK;
        case SQLITE_RECURSIVE:
            return SQLITE_OK;
        case SQLITE_READ:
            // Without a database it is a common table expression or subquery, or a stored table
            // of which no column is read (count(*) of it): only the names of stored tables that
            // are off limits are refused then.
            if (!inDatabase && !sameName(table, Schema::kSecretTable) &&
                !upperName(table).starts_with("SQLITE_"))
                return SQLITE_OK;
            return tableAllowed("读取");
        case SQLITE_FUNCTION: {
            const std::string name = upperName(a2 ? a2 : "");
            if (name == "LOAD_EXTENSION" || name == "FTS3_TOKENIZER")
                return deny("不允许调用函数 " + name + "。");
            // One call of these can build a value far past the length limit (which SQLite then
            // answers as NULL instead of failing) and run for seconds where the statement clock
            // cannot stop it. None of the client's statements uses them.
            if (name == "PRINTF" || name == "FORMAT")
                return deny("不允许调用函数 " + name + "：它能造出任意长的值。");
            return SQLITE_OK;
        }
        case SQLITE_INSERT:
        case SQLITE_UPDATE:
        case SQLITE_DELETE:
            if (upperName(table).starts_with("SQLITE_")) {
                // A table-valued function (json_each, pragma_table_info, dbstat) in a query
                // first asks to update the schema table, as if it were created on the spot.
                if (action == SQLITE_UPDATE && m_selects)
                    return deny(
                        "不允许读取数据库的结构（表值函数 json_each、pragma_table_info、dbstat "
                        "等）。");
                // DDL first writes the schema table: say what it is.
                return deny("不允许修改数据库结构（CREATE/DROP/ALTER 等）。");
            }
            if (m_side != Side::Write)
                return deny("查询端只接受查询语句（SELECT），不能修改数据。");
            m_writes = true;
            return tableAllowed("修改");
        case SQLITE_PRAGMA:
            return deny("不允许执行 PRAGMA。");
        case SQLITE_ATTACH:
        case SQLITE_DETACH:
            return deny("不允许附加或分离数据库（ATTACH/DETACH）。");
        case SQLITE_TRANSACTION:
        case SQLITE_SAVEPOINT:
            return deny("不允许事务控制语句（BEGIN/COMMIT/ROLLBACK/SAVEPOINT）。");
        default:
            return deny("不允许修改数据库结构（CREATE/DROP/ALTER 等）。");
    }
}

}  // namespace tarvelo::server
