#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "server/store/sqlite/SqlGuard.h"

namespace tarvelo::server {

class ServiceConnection;

// The service's database on PostgreSQL as a whole: making it, checking it, copying it.
class PgDatabase {
public:
    // The roles the two sides connect as.
    static constexpr std::string_view kReadRole = "tarvelo_read";
    static constexpr std::string_view kWriteRole = "tarvelo_write";

    // Creates, as the URI's role (which then owns them), the tables with their checks, the
    // functions the client's statements call, the secret of the password transformation, and
    // the two sides' roles with their privileges and limits. Throws tarvelo::Error when the
    // database already holds the service's tables; nothing is left half made. Returns what it
    // could not do as a role that is not a superuser (a limit, a function left to the sides),
    // each with the statements a superuser may run instead.
    static std::vector<std::string> initialise(const std::string& uri, const std::string& secret);
    // Whether the database holds the service's tables; throws tarvelo::Error when it cannot be
    // reached.
    static bool initialised(const std::string& uri);
    // Throws tarvelo::Error unless the database can be reached and holds the service's tables.
    static void requireInitialised(const std::string& uri);
    // Throws tarvelo::Error when the URI's role may do more than `side` needs. Returns warnings
    // of what the role may still do that only a superuser could have taken away.
    static std::vector<std::string> checkSide(const std::string& uri, Side side);
    static std::unique_ptr<ServiceConnection> connect(const std::string& uri, Side side);
    // The stored form of a password, computed by the database with its secret.
    static std::string transformPassword(ServiceConnection& c, std::string_view source);
    // A copy of the whole database by pg_dump in its custom format (pg_restore reads it back),
    // written beside `to` and renamed when complete. Returns its size in bytes.
    static long long backup(const std::string& uri, const std::string& to, bool overwrite);
    // The URI as messages show it: without a password.
    static std::string shownUri(std::string_view uri);
};

}  // namespace tarvelo::server
