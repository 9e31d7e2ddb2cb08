#pragma once

#include <string>

struct sqlite3;

namespace tarvelo::server {

// Which statements a connection accepts at the moment:
//   Read     the read side: SELECT over the service's tables, nothing else;
//   Write    the write side: INSERT, UPDATE and DELETE of the service's tables (reading them too);
//   Internal the service's own work (schema, secret, demo data): anything.
// Neither service side may run DDL, PRAGMA, ATTACH, transaction control, or touch the secret.
enum class Side { Internal, Read, Write };

// SQLite's authorizer on one connection. A denied action makes the statement fail to prepare;
// denial() then says in Chinese why.
class SqlGuard {
public:
    explicit SqlGuard(sqlite3* db);
    ~SqlGuard();
    SqlGuard(const SqlGuard&) = delete;
    SqlGuard& operator=(const SqlGuard&) = delete;

    void setSide(Side side);
    Side side() const { return m_side; }

    // Cleared by setSide and by clear(); set by the first denied action of a prepare.
    const std::string& denial() const { return m_denial; }
    // Whether the last prepared statement inserts, updates or deletes rows.
    bool writes() const { return m_writes; }
    void clear();

private:
    static int authorize(void* self, int action, const char* a1, const char* a2,
                         const char* database, const char* trigger);
    int check(int action, const char* a1, const char* a2, bool inDatabase);
    int deny(std::string reason);

    sqlite3* m_db;
    Side m_side = Side::Internal;
    std::string m_denial;
    bool m_writes = false;
    bool m_selects = false;  // the statement being prepared has a SELECT
};

}  // namespace tarvelo::server
