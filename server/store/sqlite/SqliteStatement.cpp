#include "server/store/sqlite/SqliteStatement.h"

#include <sqlite3.h>

#include "server/store/DbError.h"
#include "server/store/sqlite/SqliteConnection.h"
#include "text/Error.h"

namespace tarvelo::server {

namespace {

DbError::Cause causeOf(int extended) {
    switch (extended) {
        case SQLITE_CONSTRAINT_PRIMARYKEY:
        case SQLITE_CONSTRAINT_UNIQUE:
            return DbError::Cause::Unique;
        case SQLITE_CONSTRAINT_NOTNULL:
            return DbError::Cause::NotNull;
        case SQLITE_CONSTRAINT_CHECK:
        case SQLITE_CONSTRAINT_TRIGGER:
            return DbError::Cause::Check;
        default:
            break;
    }
    switch (extended & 0xFF) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return DbError::Cause::Busy;
        case SQLITE_TOOBIG:
            return DbError::Cause::TooBig;
        case SQLITE_READONLY:
            return DbError::Cause::ReadOnly;
        case SQLITE_INTERRUPT:
            return DbError::Cause::Interrupted;
        default:
            return DbError::Cause::Other;
    }
}

}  // namespace

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

bool SqliteStatement::step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) {
        m_changes = sqlite3_stmt_readonly(m_stmt) ? 0 : sqlite3_changes64(m_db);
        return false;
    }
    const int extended = sqlite3_extended_errcode(m_db);
    const std::string detail = sqlite3_errmsg(m_db);
    const DbError::Cause cause = causeOf(extended);
    throw DbError(cause,
                  cause == DbError::Cause::ReadOnly ? "数据库文件只读，服务无法写入。"
                                                    : "数据库操作失败。",
                  detail, cause == DbError::Cause::Check ? detail : "");
}

void SqliteStatement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    m_changes = 0;
}

int SqliteStatement::columnCount() const {
    return sqlite3_column_count(m_stmt);
}

std::string SqliteStatement::columnName(int column) const {
    const char* name = sqlite3_column_name(m_stmt, column);
    return name ? name : "";
}

std::optional<ColumnDef> SqliteStatement::declared(int column) const {
    const char* declared = sqlite3_column_decltype(m_stmt, column);
    return declared ? Schema::fromDeclaredType(declared) : std::nullopt;
}

ValueType SqliteStatement::type(int column) const {
    switch (sqlite3_column_type(m_stmt, column)) {
        case SQLITE_NULL:
            return ValueType::Null;
        case SQLITE_INTEGER:
            return ValueType::Integer;
        case SQLITE_FLOAT:
            return ValueType::Real;
        default:
            return ValueType::Text;
    }
}

std::int64_t SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

double SqliteStatement::real(int column) const {
    return sqlite3_column_double(m_stmt, column);
}

std::string_view SqliteStatement::view(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
             : std::string_view();
}

}  // namespace tarvelo::server
