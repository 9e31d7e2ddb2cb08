#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "server/store/DbError.h"
#include "server/store/DbStatement.h"
#include "server/store/sqlite/SqlGuard.h"

namespace tarvelo::server {

// A connection as the service uses it, on either engine: the schema readied, statements that
// arrive through the service held to their side, and a deadline after which a running statement
// is stopped. Failures of the service's own statements throw DbError.
class ServiceConnection {
public:
    virtual ~ServiceConnection() = default;

    // A statement of the service's own: fixed text, parameters written "?" or "?N".
    virtual std::unique_ptr<DbStatement> prepare(std::string_view sql) = 0;
    // Statements of the service's own without parameters, several at once.
    virtual void exec(std::string_view sql) = 0;

    // One statement that arrived through the service, held to `side`: a query on the read side,
    // one INSERT, UPDATE or DELETE on the write side. Throws StatementError when it is refused,
    // in the same words on either engine.
    virtual std::unique_ptr<DbStatement> prepareArrived(std::string_view sql, Side side) = 0;

    // Runs `s` with the values bound to it, now or a little later: an engine may send many such
    // statements before it reads their answers, which saves a round trip each. `done` gets the
    // rows changed, or the failure, in the order of the calls, by the time flush() returns (or
    // during a later runQueued). `s` may be bound anew as soon as this returns.
    using Done = std::function<void(long long changes, const DbError* failure)>;
    virtual void runQueued(DbStatement& s, Done done) {
        long long changes = 0;
        try {
            changes = s.run();
        } catch (const DbError& e) {
            s.reset();
            done(0, &e);
            return;
        }
        s.reset();
        done(changes, nullptr);
    }
    virtual void flush() {}

    // One transaction of the service's own; rollback() never throws.
    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() noexcept = 0;

    // Statements started after this run until `limit` from now; zero or less means no limit.
    virtual void startClock(std::chrono::milliseconds limit) = 0;
    virtual void stopClock() = 0;
    // Whether the last statement was stopped by the deadline.
    virtual bool timedOut() const = 0;
    // How long a statement waits for another writer's lock before failing as busy.
    virtual void setLockWait(std::chrono::milliseconds wait) = 0;

    // Back to the state a new lease expects: the service's own side, no clock, no transaction.
    virtual void release() noexcept = 0;

    // The condition that finds a row whose `column` holds the bound value, a null matching a null
    // (a key column is never null, which lets an engine use its index).
    virtual std::string sameValue(std::string_view column, bool keyColumn) const = 0;
    // What follows an INSERT so that a taken key changes no row instead of failing.
    virtual std::string_view insertTail() const = 0;
};

}  // namespace tarvelo::server
