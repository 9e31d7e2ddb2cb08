#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "server/store/DbStatement.h"
#include "server/store/sqlite/SqlGuard.h"

struct pg_conn;
struct pg_result;

namespace tarvelo::server {

class PgServiceConnection;

// A statement on a PostgreSQL connection: one of the service's own, prepared once per
// connection under a name, or one that arrived through the service, sent as it is through the
// extended protocol (which refuses several statements in one). Rows come one at a time
// (libpq's single-row mode), so that a large answer is never held twice.
class PgStatement final : public DbStatement {
public:
    // `prepared`: the name of a prepared statement; empty to send `sql` itself. `arrived`: the
    // side a statement that arrived through the service came on (Internal for the service's
    // own), which the kind of its answer is held to.
    PgStatement(PgServiceConnection& c, std::string prepared, std::string sql, int parameters,
                Side arrived = Side::Internal);
    ~PgStatement() override;
    PgStatement(const PgStatement&) = delete;
    PgStatement& operator=(const PgStatement&) = delete;

    void bind(int index, std::string_view text) override;
    void bind(int index, std::int64_t value) override;
    void bindNull(int index) override;

    bool step() override;
    void reset() override;
    long long changes() const override { return m_changes; }

    // Sends the statement if it has not run yet: the columns come with its first answer.
    int columnCount() const override;
    std::string columnName(int column) const override;
    std::optional<ColumnDef> declared(int column) const override;
    ValueType type(int column) const override;
    std::int64_t integer(int column) const override;
    double real(int column) const override;
    std::string_view view(int column) const override;

    // Sends the prepared statement with its values in pipeline mode, without reading anything.
    void sendQueued();

    // The command tag of the finished statement ("INSERT 0 1", "SELECT 3").
    const std::string& command() const { return m_command; }

private:
    void send();
    bool mayRetry(const pg_result* first) const;
    bool advance();
    void prime() const;
    void finish();  // reads what is left of the answer
    void take(pg_result* r);

    PgServiceConnection& m_c;
    std::string m_prepared;
    std::string m_sql;
    std::vector<std::optional<std::string>> m_values;
    pg_result* m_row = nullptr;  // the current row, or the last result with the columns
    bool m_running = false;
    bool m_done = false;
    bool m_primed = false;     // the first answer was taken to learn the columns
    bool m_primedRow = false;  // and it was a row
    long long m_changes = 0;
    std::string m_command;
    Side m_arrived;
    bool m_retried = false;
};

}  // namespace tarvelo::server
