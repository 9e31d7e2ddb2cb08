#include "server/SqliteStatement.h"

#include <sqlite3.h>

#include "server/SqliteConnection.h"
#include "text/Error.h"

namespace tarvelo::server {

SqliteStatement::SqliteStatement(const SqliteConnection& db, std::string_view sql)
    : m_db(db.handle()) {
    const int rc = sqlite3_prepare_v3(m_db, sql.data(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr);
    if (rc != SQLITE_OK) db.fail("数据库无法准备语句。", rc);
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(m_stmt);
}

void SqliteStatement::bind(int index, std::string_view text) {
    sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void SqliteStatement::bind(int index, std::int64_t value) {
    sqlite3_bind_int64(m_stmt, index, value);
}

void SqliteStatement::bindNull(int index) {
    sqlite3_bind_null(m_stmt, index);
}

void SqliteStatement::bindOptional(int index, const std::optional<std::string_view>& value) {
    if (value)
        bind(index, *value);
    else
        bindNull(index);
}

bool SqliteStatement::step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw Error("数据库操作失败。", sqlite3_errmsg(m_db));
}

int SqliteStatement::run() {
    int rc;
    while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
    }
    return rc;
}

void SqliteStatement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

std::string SqliteStatement::text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
             : std::string();
}

std::int64_t SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

}  // namespace tarvelo::server
