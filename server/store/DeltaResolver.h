#pragma once

#include <functional>
#include <string_view>

#include "server/ServiceLimits.h"

namespace tarvelo {
struct DataPacket;
}

namespace tarvelo::server {

class ServiceConnection;
struct ApplyParams;

// Applies a delta packet to one table in one transaction, with prepared statements:
//   "4"      inserts the row's values;
//   "2"      deletes the row found by its key values as loaded;
//   "1","8"  updates the changed columns of the row found by its key values and (by default)
//            the loaded values of the changed columns, so a row someone else changed meanwhile
//            is not found.
// Excluded columns are never written. A row that finds no row to change, or whose key is
// taken, fails; the result is 0 when every row applied, otherwise every change is rolled back
// and the result is the number of rows that failed.
// Unknown tables or columns, a malformed packet or parameter text, and a value the column cannot
// hold (too wide, not a number, not a date) throw StatementError, with nothing written.
class DeltaResolver {
public:
    // Sees the parameters and the delta once both are read and their shape checked, before
    // anything is written: may refuse (by throwing StatementError) or change values.
    using Inspector = std::function<void(const ApplyParams&, DataPacket&)>;

    DeltaResolver(ServiceConnection& connection, const ServiceLimits& limits,
                  Inspector inspector = {})
        : m_c(connection), m_limits(limits), m_inspector(std::move(inspector)) {}

    int apply(std::string_view params, std::string_view delta);

    // Rows handled by the last apply, for the log.
    std::size_t rows() const { return m_rows; }

private:
    ServiceConnection& m_c;
    const ServiceLimits& m_limits;
    Inspector m_inspector;
    std::size_t m_rows = 0;
};

}  // namespace tarvelo::server
