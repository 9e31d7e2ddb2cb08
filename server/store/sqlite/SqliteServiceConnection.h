#pragma once

#include <chrono>

#include "server/store/ServiceConnection.h"
#include "server/store/sqlite/SqlGuard.h"
#include "server/store/sqlite/SqliteConnection.h"

namespace tarvelo::server {

// A service connection on a SQLite file: the dialect's functions registered, the schema readied
// (an older file upgraded, the width checks installed: prepareSchema), the SQL guard installed,
// a busy timeout, and a deadline after which a running statement is interrupted. Throws
// tarvelo::Error when the file cannot be opened or upgraded.
class SqliteServiceConnection final : public ServiceConnection {
public:
    explicit SqliteServiceConnection(const std::string& path);

    SqliteConnection& db() { return m_db; }
    SqlGuard& guard() { return m_guard; }

    std::unique_ptr<DbStatement> prepare(std::string_view sql) override;
    void exec(std::string_view sql) override;
    std::unique_ptr<DbStatement> prepareArrived(std::string_view sql, Side side) override;
    void begin() override;
    void commit() override;
    void rollback() noexcept override;
    void startClock(std::chrono::milliseconds limit) override;
    void stopClock() override;
    bool timedOut() const override { return m_timedOut; }
    void setLockWait(std::chrono::milliseconds wait) override;
    void release() noexcept override;
    std::string sameValue(std::string_view column, bool keyColumn) const override;
    std::string_view insertTail() const override { return {}; }

private:
    static int progress(void* self);

    SqliteConnection m_db;
    SqlGuard m_guard;
    std::chrono::steady_clock::time_point m_deadline = std::chrono::steady_clock::time_point::max();
    bool m_timedOut = false;
};

}  // namespace tarvelo::server
