#pragma once

#include <chrono>
#include <string>

#include "server/SqlGuard.h"
#include "server/SqliteConnection.h"

namespace tarvelo::server {

// A connection as the service uses it: the dialect's functions registered, the schema readied
// (an older file upgraded, the width checks installed: prepareSchema), the SQL guard installed,
// a busy timeout, and a deadline after which a running statement is interrupted. Throws
// tarvelo::Error when the file cannot be opened or upgraded.
class ServiceConnection {
public:
    explicit ServiceConnection(const std::string& path);

    SqliteConnection& db() { return m_db; }
    SqlGuard& guard() { return m_guard; }

    // Statements started after this run until `limit` from now; zero or less means no limit.
    void startClock(std::chrono::milliseconds limit);
    void stopClock();
    // Whether the last statement was interrupted by the deadline.
    bool timedOut() const { return m_timedOut; }

private:
    static int progress(void* self);

    SqliteConnection m_db;
    SqlGuard m_guard;
    std::chrono::steady_clock::time_point m_deadline = std::chrono::steady_clock::time_point::max();
    bool m_timedOut = false;
};

}  // namespace tarvelo::server
