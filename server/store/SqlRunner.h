#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    // Sees each row of an answer before it is written, by the names of its columns: may change
    // its values, or leave the row out by returning false.
    using RowFilter = std::function<bool(const std::vector<std::string>& names,
                                         std::vector<std::optional<std::string>>& values)>;

    // A read-only statement answered as a data packet. Throws StatementError.
    Answer query(std::string_view sql, const RowFilter& filter = {});
    // One INSERT, UPDATE or DELETE; the number of rows it changed. Throws StatementError.
    long long execute(std::string_view sql);

private:
    [[noreturn]] void failed(const class DbError& e);

    // Bytes of the answers being built in the whole process (see ServiceLimits::buildingBudget).
    static std::atomic<std::size_t> s_building;

    ServiceConnection& m_c;
    const ServiceLimits& m_limits;
};

}  // namespace tarvelo::server
