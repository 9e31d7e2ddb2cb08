#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "server/store/ServiceConnection.h"

struct pg_conn;
struct pg_result;

namespace tarvelo::server {

// A service connection to PostgreSQL as the role of one side (the connection URI says which).
// What a statement may do is the role's privileges: the read side's role only SELECTs the
// service's tables and cannot see the secret, the write side's only reads and writes their rows;
// neither owns a table. Each connection runs with a statement timeout, in ISO dates, and on the
// read side in read-only transactions; whatever a statement set is reset when its lease ends.
class PgServiceConnection final : public ServiceConnection {
public:
    PgServiceConnection(const std::string& uri, Side side);
    ~PgServiceConnection() override;

    pg_conn* handle() const { return m_conn; }
    Side side() const { return m_side; }

    std::unique_ptr<DbStatement> prepare(std::string_view sql) override;
    void exec(std::string_view sql) override;
    std::unique_ptr<DbStatement> prepareArrived(std::string_view sql, Side side) override;
    void runQueued(DbStatement& s, Done done) override;
    void flush() override;
    void begin() override;
    void commit() override;
    void rollback() noexcept override;
    void startClock(std::chrono::milliseconds limit) override;
    void stopClock() override;
    bool timedOut() const override { return m_timedOut; }
    void setLockWait(std::chrono::milliseconds wait) override;
    void release() noexcept override;
    std::string sameValue(std::string_view column, bool keyColumn) const override;
    std::string_view insertTail() const override { return " ON CONFLICT DO NOTHING"; }

    // The failure of a result (or of the connection when `r` is null), by its cause.
    DbError error(const pg_result* r);
    // The declared column of a table column of the service (by table OID and column number).
    std::optional<ColumnDef> declared(unsigned table, int column) const;
    // Called before each statement runs: throws DbError (Interrupted) past the deadline.
    void checkClock();
    // A new session in place of one the server dropped: the statements prepared on the old one
    // are gone, the statement clock's timeout is set again. Throws tarvelo::Error when the
    // database cannot be reached.
    void reconnect();
    // The text of a statement of the service's own with "?" and "?N" as "$N", and how many
    // parameters it takes.
    static std::pair<std::string, int> numbered(std::string_view sql);

private:
    void setTimeout(std::chrono::milliseconds limit);
    // Reads the answers of every statement sent in pipeline mode and leaves the mode; returns
    // them in order: the rows changed, or the failure.
    std::vector<std::pair<long long, std::optional<DbError>>> drainPipeline();
    void run(const std::string& sql);

    pg_conn* m_conn = nullptr;
    Side m_side;
    std::map<std::string, std::string> m_prepared;  // statement text -> name
    std::vector<Done> m_queued;                     // sent in pipeline mode, not yet answered
    std::map<std::pair<unsigned, int>, ColumnDef> m_columns;
    std::chrono::milliseconds m_timeout{0};      // what the connection has set
    std::chrono::milliseconds m_baseTimeout{0};  // what it had when it was made
    std::chrono::milliseconds m_clockLimit{0};   // what the running clock asks for
    std::chrono::steady_clock::time_point m_deadline = std::chrono::steady_clock::time_point::max();
    bool m_timedOut = false;
};

}  // namespace tarvelo::server
