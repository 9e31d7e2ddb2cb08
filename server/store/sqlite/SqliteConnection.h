#pragma once

#include <string>
#include <string_view>

struct sqlite3;

namespace tarvelo::server {

// One open SQLite connection. Move-only; closing happens in the destructor.
class SqliteConnection {
public:
    // Opens (creating when `create`) the database file for reading and writing. Throws
    // tarvelo::Error, saying so when the file is read-only.
    SqliteConnection(const std::string& path, bool create);
    ~SqliteConnection();
    SqliteConnection(SqliteConnection&& other) noexcept;
    SqliteConnection& operator=(SqliteConnection&&) = delete;
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    sqlite3* handle() const { return m_db; }
    // Runs statements that take no parameters and return nothing of interest.
    void exec(std::string_view sql);
    // Throws tarvelo::Error with `what` (Chinese) and SQLite's message for a failed call.
    [[noreturn]] void fail(std::string_view what, int rc) const;

private:
    [[noreturn]] static void throwReadOnly(const std::string& path, const std::string& detail);

    sqlite3* m_db = nullptr;
};

}  // namespace tarvelo::server
