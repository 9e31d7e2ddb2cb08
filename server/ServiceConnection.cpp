#include "server/ServiceConnection.h"

#include <sqlite3.h>

#include "server/ConnectionSchema.h"
#include "server/Dialect.h"

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
}  // namespace

ServiceConnection::ServiceConnection(const std::string& path)
    : m_db(path, false), m_guard(m_db.handle()) {
    sqlite3* h = m_db.handle();
    sqlite3_busy_timeout(h, 5000);
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

void ServiceConnection::startClock(std::chrono::milliseconds limit) {
    m_timedOut = false;
    m_deadline = limit.count() > 0 ? std::chrono::steady_clock::now() + limit
                                   : std::chrono::steady_clock::time_point::max();
}

void ServiceConnection::stopClock() {
    m_deadline = std::chrono::steady_clock::time_point::max();
}

int ServiceConnection::progress(void* self) {
    auto* c = static_cast<ServiceConnection*>(self);
    if (c->m_deadline == std::chrono::steady_clock::time_point::max()) return 0;
    if (std::chrono::steady_clock::now() < c->m_deadline) return 0;
    c->m_timedOut = true;
    return 1;
}

}  // namespace tarvelo::server
