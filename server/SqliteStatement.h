#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace tarvelo::server {

class SqliteConnection;

// A prepared statement of our own (fixed text, parameters bound by position from 1).
class SqliteStatement {
public:
    SqliteStatement(const SqliteConnection& db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    sqlite3_stmt* handle() const { return m_stmt; }

    void bind(int index, std::string_view text);
    void bind(int index, std::int64_t value);
    void bindNull(int index);
    // Binds text, or null for nullopt.
    void bindOptional(int index, const std::optional<std::string_view>& value);

    // Steps once: true when a row is ready, false when done. Throws tarvelo::Error on failure.
    bool step();
    // Steps to the end and returns the SQLite result code (SQLITE_DONE or an error), for callers
    // that tell failures apart themselves.
    int run();
    void reset();

    std::string text(int column) const;
    std::int64_t integer(int column) const;

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

}  // namespace tarvelo::server
