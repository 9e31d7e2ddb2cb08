#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "server/store/ServiceConnection.h"

namespace tarvelo::server {

// The database of the service, on either engine, and its connections (one per worker at a time,
// kept for reuse, one pool per side):
//   a SQLite file: every side on the same file, held apart by the SQL guard;
//   PostgreSQL (a libpq connection URI, "postgresql://..." or "postgres://..."): each side
//   connects as a role of its own, held apart by the database's privileges. The read side's URI
//   may point at a streaming replica; the write side's at the primary.
class Store {
public:
    // Opens an initialised database: `database` for the read side and the service's own work,
    // `writeDatabase` for the write side (PostgreSQL only; the read side's when empty). A SQLite
    // file an older version wrote is upgraded (prepareSchema). Throws tarvelo::Error when the
    // database is missing, was not initialised or cannot be upgraded.
    explicit Store(std::string database, std::string writeDatabase = {});
    ~Store();

    // Before serving requests: on PostgreSQL, throws tarvelo::Error when a side's role may do more
    // than its side needs (the privileges are the guard: a read side that may write would take
    // a write through the read side). Returns warnings of what a side's role may still do that
    // only a superuser could have taken away.
    std::vector<std::string> checkSides() const;

    // Creates the tables, their checks and the secret of the password transformation (and on
    // PostgreSQL the roles of the two sides). Throws when the database already holds them.
    // Returns notes of what a PostgreSQL owner that is not a superuser could not set.
    static std::vector<std::string> initialise(const std::string& database);

    // Whether `database` names a PostgreSQL database rather than a SQLite file.
    static bool isPostgres(std::string_view database);

    // A connection for the duration of one request; handed back when the lease ends.
    class Lease {
    public:
        Lease(Store& store, Side side, std::unique_ptr<ServiceConnection> c)
            : m_store(&store), m_side(side), m_c(std::move(c)) {}
        ~Lease();
        Lease(Lease&&) = default;
        ServiceConnection& operator*() const { return *m_c; }
        ServiceConnection* operator->() const { return m_c.get(); }

    private:
        Store* m_store;
        Side m_side;
        std::unique_ptr<ServiceConnection> m_c;
    };
    Lease acquire(Side side = Side::Internal);

    // The database as messages name it (a file, or a URI without its password).
    const std::string& path() const { return m_shown; }
    bool postgres() const { return m_postgres; }

    // The stored form of a password sent as `source` (see transformPassword): computed here
    // from the secret on SQLite; on PostgreSQL by the database, which keeps the secret where no
    // side's role can read it.
    std::string transformPassword(std::string_view source);

private:
    static std::string newSecret();
    std::unique_ptr<ServiceConnection> open(Side side) const;

    std::string m_database;
    std::string m_writeDatabase;
    std::string m_shown;
    bool m_postgres = false;
    std::string m_secret;
    std::mutex m_mutex;
    std::array<std::vector<std::unique_ptr<ServiceConnection>>, 3> m_idle;
};

}  // namespace tarvelo::server
