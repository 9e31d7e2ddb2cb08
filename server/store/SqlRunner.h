#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "server/ServiceLimits.h"
#include "server/store/StatementError.h"

namespace tarvelo::server {

class ServiceConnection;

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
    [[noreturn]] void failed(const class DbError& e);

    ServiceConnection& m_c;
    const ServiceLimits& m_limits;
};

}  // namespace tarvelo::server
