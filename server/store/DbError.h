#pragma once

#include <string>

#include "text/Error.h"

namespace tarvelo::server {

// A failed call of the database, by its cause, whichever engine holds the service's tables.
// violation() is the failed check in the form Schema::describeViolation reads ("CHECK constraint
// failed: NAME" or "width check failed: NAME"), empty when no check of ours failed.
class DbError : public Error {
public:
    enum class Cause {
        Other,
        Unique,       // a key that is taken
        NotNull,      // a key column left empty
        Check,        // one of the schema's checks
        Busy,         // another writer held the lock past the wait
        TooBig,       // a value or statement past the engine's limits
        ReadOnly,     // the database cannot be written here
        Interrupted,  // stopped by the statement clock
        Syntax,       // a statement the database cannot run (message() says so to the user)
        Denied,       // refused by the database's privileges (message() says so to the user)
        Disconnected, // the database server ended the session
    };

    DbError(Cause cause, std::string message, std::string detail, std::string violation = {})
        : Error(std::move(message), std::move(detail)),
          m_cause(cause),
          m_violation(std::move(violation)) {}

    Cause cause() const { return m_cause; }
    const std::string& violation() const { return m_violation; }

private:
    Cause m_cause;
    std::string m_violation;
};

}  // namespace tarvelo::server
