#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "server/ServiceLimits.h"
#include "server/SqlGuard.h"
#include "text/Error.h"

struct sqlite3_stmt;

namespace tarvelo::server {

class ServiceConnection;

// A statement arriving through the service was refused or failed. message() says why in
// Chinese; `rejected` tells a statement the guard or the parser refused from one that failed
// while running.
class StatementError : public Error {
public:
    StatementError(std::string message, std::string detail, bool rejected)
        : Error(std::move(message), std::move(detail)), m_rejected(rejected) {}
    bool rejected() const { return m_rejected; }

private:
    bool m_rejected;
};

// Runs one statement that arrived through the service on a leased connection, under the guard
// of its side and the statement time limit.
class SqlRunner {
public:
    SqlRunner(ServiceConnection& connection, const ServiceLimits& limits)
        : m_c(connection), m_limits(limits) {}

    struct Answer {
        std::string packet;
        std::size_t rows = 0;
    };
    // A read-only statement answered as a data packet. Throws StatementError.
    Answer query(std::string_view sql);
    // One INSERT, UPDATE or DELETE; the number of rows it changed. Throws StatementError.
    long long execute(std::string_view sql);

private:
    struct Finalizer {
        void operator()(sqlite3_stmt* s) const;
    };
    using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;
    Statement prepare(std::string_view sql, Side side);
    [[noreturn]] void failed(int rc);

    ServiceConnection& m_c;
    const ServiceLimits& m_limits;
};

}  // namespace tarvelo::server
