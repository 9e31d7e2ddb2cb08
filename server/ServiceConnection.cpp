#include "server/ServiceConnection.h"

#include <sqlite3.h>

#include "server/Dialect.h"

namespace tarvelo::server {

namespace {
// Longest text or blob a statement may build; keeps a hostile statement from taking the
// machine's memory with zeroblob() or repeated concatenation.
constexpr int kMaxValueBytes = 64 << 20;
}  // namespace

ServiceConnection::ServiceConnection(const std::string& path)
    : m_db(path, false), m_guard(m_db.handle()) {
    sqlite3* h = m_db.handle();
    sqlite3_busy_timeout(h, 5000);
    sqlite3_limit(h, SQLITE_LIMIT_LENGTH, kMaxValueBytes);
    registerDialect(h);
    // The pages of the file are shared between the workers' connections through the mapping,
    // instead of each connection keeping a cache of its own.
    m_db.exec("PRAGMA synchronous=NORMAL; PRAGMA mmap_size=2147483648; PRAGMA foreign_keys=OFF");
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
