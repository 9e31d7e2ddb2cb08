#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "server/store/Schema.h"

namespace tarvelo::server {

// The type of one value of a result row, as the engine hands it over.
enum class ValueType { Null, Integer, Real, Text };

// A prepared statement of either engine: parameters bound by position from 1, rows read one at
// a time. Failures throw DbError.
class DbStatement {
public:
    virtual ~DbStatement() = default;

    virtual void bind(int index, std::string_view text) = 0;
    virtual void bind(int index, std::int64_t value) = 0;
    virtual void bindNull(int index) = 0;
    void bindOptional(int index, const std::optional<std::string_view>& value) {
        if (value)
            bind(index, *value);
        else
            bindNull(index);
    }

    // True when a row is ready, false when the statement is done.
    virtual bool step() = 0;
    // Steps to the end; the rows the statement inserted, updated or deleted.
    long long run() {
        while (step()) {
        }
        return changes();
    }
    // Ready to run again with new parameters.
    virtual void reset() = 0;
    virtual long long changes() const = 0;

    virtual int columnCount() const = 0;
    virtual std::string columnName(int column) const = 0;
    // The declared type of a column read straight from one of the service's tables; nullopt for
    // a computed one.
    virtual std::optional<ColumnDef> declared(int column) const = 0;

    // The current row's values. Ask for the number before the text: SQLite converts a value
    // whose text is asked for.
    virtual ValueType type(int column) const = 0;
    virtual std::int64_t integer(int column) const = 0;
    virtual double real(int column) const = 0;
    // Valid until the next step.
    virtual std::string_view view(int column) const = 0;
    std::string text(int column) const { return std::string(view(column)); }
};

}  // namespace tarvelo::server
