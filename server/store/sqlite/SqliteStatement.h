#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "server/store/DbStatement.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tarvelo::server {

class SqliteConnection;

// A prepared SQLite statement (parameters bound by position from 1).
class SqliteStatement final : public DbStatement {
public:
    // Prepares a statement of the service's own; throws tarvelo::Error when it cannot.
    SqliteStatement(const SqliteConnection& db, std::string_view sql);
    // Takes over a statement prepared by the caller.
    SqliteStatement(sqlite3* db, sqlite3_stmt* prepared) : m_db(db), m_stmt(prepared) {}
    ~SqliteStatement() override;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    sqlite3_stmt* handle() const { return m_stmt; }

    void bind(int index, std::string_view text) override;
    void bind(int index, std::int64_t value) override;
    void bindNull(int index) override;
    using DbStatement::bindOptional;

    bool step() override;
    void reset() override;
    long long changes() const override { return m_changes; }

    int columnCount() const override;
    std::string columnName(int column) const override;
    std::optional<ColumnDef> declared(int column) const override;
    ValueType type(int column) const override;
    std::int64_t integer(int column) const override;
    double real(int column) const override;
    std::string_view view(int column) const override;

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    long long m_changes = 0;
};

}  // namespace tarvelo::server
