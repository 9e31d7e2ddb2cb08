#include "server/store/sqlite/SqliteServiceConnection.h"

#include <sqlite3.h>

#include "server/store/ConnectionSchema.h"
#include "server/store/DbError.h"
#include "server/store/Dialect.h"
#include "server/store/sqlite/SqliteStatement.h"
#include "server/store/StatementError.h"
#include "server/store/StatementText.h"

namespace tarvelo::server {

namespace {
// Longest text or blob a statement may build (the widest column holds 96 bytes). Besides memory,
// this bounds the single function calls the statement clock cannot interrupt: a substring
// search is quadratic at worst, and 64 KiB against 64 KiB still ends in about a second.
constexpr int kMaxValueBytes = 64 << 10;
// Longest statement text and LIKE pattern: the client's longest statements are a few hundred
// bytes; a huge IN list would cost gigabytes to parse before the clock even starts.
constexpr int kMaxStatementBytes = 1 << 20;
constexpr int kMaxLikePattern = 1000;
constexpr int kBusyMilliseconds = 5000;
}  // namespace

SqliteServiceConnection::SqliteServiceConnection(const std::string& path)
    : m_db(path, false), m_guard(m_db.handle()) {
    sqlite3* h = m_db.handle();
    sqlite3_busy_timeout(h, kBusyMilliseconds);
    sqlite3_limit(h, SQLITE_LIMIT_LENGTH, kMaxValueBytes);
    sqlite3_limit(h, SQLITE_LIMIT_SQL_LENGTH, kMaxStatementBytes);
    sqlite3_limit(h, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, kMaxLikePattern);
    registerDialect(h);
    // The pages of the file are shared between the workers' connections through the mapping,
    // instead of each connection keeping a cache of its own.
    m_db.exec("PRAGMA synchronous=NORMAL; PRAGMA mmap_size=2147483648; PRAGMA foreign_keys=OFF");
    prepareSchema(m_db);
    sqlite3_progress_handler(h, 4000, progress, this);
}

std::unique_ptr<DbStatement> SqliteServiceConnection::prepare(std::string_view sql) {
    m_guard.setSide(Side::Internal);
    return std::make_unique<SqliteStatement>(m_db, sql);
}

void SqliteServiceConnection::exec(std::string_view sql) {
    m_guard.setSide(Side::Internal);
    m_db.exec(sql);
}

std::unique_ptr<DbStatement> SqliteServiceConnection::prepareArrived(std::string_view sql,
                                                                     Side side) {
    // SQLite ends a statement at a NUL byte whatever length it is told: what follows would be
    // left out unseen.
    if (const auto nul = sql.find('\0'); nul != std::string_view::npos)
        throw StatementError("语句被拒绝：语句中有 NUL 字符。", "位置 " + std::to_string(nul),
                             true);
    sqlite3* db = m_db.handle();
    m_guard.setSide(side);
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), 0, &raw, &tail);
    auto stmt = std::make_unique<SqliteStatement>(db, raw);
    if (rc != SQLITE_OK) {
        const std::string detail = sqlite3_errmsg(db);
        if (!m_guard.denial().empty())
            throw StatementError("语句被拒绝：" + m_guard.denial(), detail, true);
        throw StatementError("语句有错误，数据库无法执行。", detail, true);
    }
    const std::string_view rest =
        tail ? sql.substr(static_cast<std::size_t>(tail - sql.data())) : std::string_view();
    if (!raw) {
        if (onlyTrivia(rest)) throw StatementError("语句是空的。", {}, true);
        throw StatementError("语句被拒绝：一次只能执行一条语句。", {}, true);
    }
    if (!onlyTrivia(rest))
        throw StatementError("语句被拒绝：一次只能执行一条语句。", "其后还有：" + excerpt(rest, 40),
                             true);
    if (side == Side::Read && (!sqlite3_stmt_readonly(raw) || sqlite3_column_count(raw) == 0))
        throw StatementError(std::string(kReadSideOnlyQueries), {}, true);
    if (side == Side::Write && !m_guard.writes())
        throw StatementError(std::string(kWriteSideOnlyWrites), {}, true);
    return stmt;
}

void SqliteServiceConnection::begin() {
    m_guard.setSide(Side::Internal);
    const int rc = sqlite3_exec(m_db.handle(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return;
    const std::string detail = sqlite3_errmsg(m_db.handle());
    // Another writer held the lock for the whole busy timeout.
    const bool busy = (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED;
    throw DbError(busy ? DbError::Cause::Busy : DbError::Cause::Other, "事务无法开始。", detail);
}

void SqliteServiceConnection::commit() {
    m_guard.setSide(Side::Internal);
    m_db.exec("COMMIT");
}

void SqliteServiceConnection::rollback() noexcept {
    if (!sqlite3_get_autocommit(m_db.handle()))
        sqlite3_exec(m_db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteServiceConnection::startClock(std::chrono::milliseconds limit) {
    m_timedOut = false;
    m_deadline = limit.count() > 0 ? std::chrono::steady_clock::now() + limit
                                   : std::chrono::steady_clock::time_point::max();
}

void SqliteServiceConnection::stopClock() {
    m_deadline = std::chrono::steady_clock::time_point::max();
}

void SqliteServiceConnection::setLockWait(std::chrono::milliseconds wait) {
    sqlite3_busy_timeout(m_db.handle(), static_cast<int>(wait.count()));
}

void SqliteServiceConnection::release() noexcept {
    m_guard.setSide(Side::Internal);
    stopClock();
    // No path leaves a transaction open; should one ever, the next request must not inherit it.
    rollback();
    sqlite3_busy_timeout(m_db.handle(), kBusyMilliseconds);
}

std::string SqliteServiceConnection::sameValue(std::string_view column, bool) const {
    return std::string(column) + " IS ?";
}

int SqliteServiceConnection::progress(void* self) {
    auto* c = static_cast<SqliteServiceConnection*>(self);
    if (c->m_deadline == std::chrono::steady_clock::time_point::max()) return 0;
    if (std::chrono::steady_clock::now() < c->m_deadline) return 0;
    c->m_timedOut = true;
    return 1;
}

}  // namespace tarvelo::server
