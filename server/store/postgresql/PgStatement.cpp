#include "server/store/postgresql/PgStatement.h"

#include <libpq-fe.h>

#include <charconv>
#include <cstdlib>
#include <limits>

#include "server/store/DbError.h"
#include "server/store/postgresql/PgServiceConnection.h"
#include "server/store/StatementText.h"
#include "text/NumberText.h"

namespace tarvelo::server {

namespace {

// Type OIDs of PostgreSQL's built-in types (pg_type.dat).
constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700,
              kFloat8 = 701, kNumeric = 1700;

}  // namespace

PgStatement::PgStatement(PgServiceConnection& c, std::string prepared, std::string sql,
                         int parameters, Side arrived)
    : m_c(c),
      m_prepared(std::move(prepared)),
      m_sql(std::move(sql)),
      m_values(static_cast<std::size_t>(parameters)),
      m_arrived(arrived) {}

PgStatement::~PgStatement() {
    if (m_running) {
        // Rows nobody will read are not fetched: the server stops sending them.
        if (PGcancel* cancel = PQgetCancel(m_c.handle())) {
            char buf[256];
            PQcancel(cancel, buf, sizeof buf);
            PQfreeCancel(cancel);
        }
        finish();
    }
    PQclear(m_row);
}

void PgStatement::bind(int index, std::string_view text) {
    m_values.at(static_cast<std::size_t>(index - 1)) = std::string(text);
}

void PgStatement::bind(int index, std::int64_t value) {
    m_values.at(static_cast<std::size_t>(index - 1)) = std::to_string(value);
}

void PgStatement::bindNull(int index) {
    m_values.at(static_cast<std::size_t>(index - 1)).reset();
}

void PgStatement::send() {
    m_c.checkClock();
    std::vector<const char*> values;
    for (const auto& v : m_values)
        values.push_back(v ? v->c_str() : nullptr);
    const int n = static_cast<int>(values.size());
    const int sent = m_prepared.empty() ? PQsendQueryParams(m_c.handle(), m_sql.c_str(), 0, nullptr,
                                                            nullptr, nullptr, nullptr, 0)
                                        : PQsendQueryPrepared(m_c.handle(), m_prepared.c_str(), n,
                                                              values.data(), nullptr, nullptr, 0);
    if (!sent) throw m_c.error(nullptr);
    PQsetSingleRowMode(m_c.handle());
    m_running = true;
}

bool PgStatement::mayRetry(const PGresult* first) const {
    // A query that arrived on the read side, before its first answer, on a connection the
    // database server dropped (restarted, or a replica that was switched): running it again on
    // a new connection is what the client would do, without the error in between.
    if (m_arrived != Side::Read || m_row || m_retried) return false;
    if (PQstatus(m_c.handle()) == CONNECTION_BAD) return true;
    const char* state = first ? PQresultErrorField(first, PG_DIAG_SQLSTATE) : nullptr;
    return state && (std::string_view(state).starts_with("08") ||
                     std::string_view(state).starts_with("57P"));
}

void PgStatement::sendQueued() {
    std::vector<const char*> values;
    for (const auto& v : m_values)
        values.push_back(v ? v->c_str() : nullptr);
    if (!PQsendQueryPrepared(m_c.handle(), m_prepared.c_str(), static_cast<int>(values.size()),
                             values.data(), nullptr, nullptr, 0))
        throw m_c.error(nullptr);
}

void PgStatement::finish() {
    while (PGresult* r = PQgetResult(m_c.handle()))
        PQclear(r);
    m_running = false;
}

void PgStatement::take(PGresult* r) {
    PQclear(m_row);
    m_row = r;
}

void PgStatement::prime() const {
    if (m_row || m_done || m_running) return;
    // The columns are known once the first answer is in: take it now, and hand it to the
    // first step.
    auto* self = const_cast<PgStatement*>(this);
    self->m_primedRow = self->advance();
    self->m_primed = true;
}

bool PgStatement::step() {
    if (m_primed) {
        m_primed = false;
        return m_primedRow;
    }
    return advance();
}

bool PgStatement::advance() {
    if (m_done) return false;
    if (!m_running) {
        try {
            send();
        } catch (const DbError&) {
            if (!mayRetry(nullptr)) throw;
            m_retried = true;
            m_c.reconnect();
            send();
        }
    }
    PGresult* r = PQgetResult(m_c.handle());
    if (mayRetry(r)) {
        PQclear(r);
        finish();
        m_retried = true;
        m_c.reconnect();
        send();
        r = PQgetResult(m_c.handle());
    }
    if (!r) {
        m_running = false;
        throw m_c.error(nullptr);
    }
    switch (PQresultStatus(r)) {
        case PGRES_SINGLE_TUPLE:
            take(r);
            return true;
        case PGRES_TUPLES_OK:
        case PGRES_COMMAND_OK: {
            const bool rows = PQresultStatus(r) == PGRES_TUPLES_OK && PQnfields(r) > 0;
            m_command = PQcmdStatus(r);
            m_changes = rows ? 0 : std::atoll(PQcmdTuples(r));
            take(r);
            finish();
            m_done = true;
            // What ran was not what the side takes: a query on the write side (which wrote
            // nothing), or a command that returns no rows on the read side (which the read-only
            // transaction kept from writing).
            if (m_arrived == Side::Read && !rows)
                throw DbError(DbError::Cause::Denied, std::string(kReadSideOnlyQueries), m_command);
            if (m_arrived == Side::Write &&
                (rows || !(m_command.starts_with("INSERT") || m_command.starts_with("UPDATE") ||
                           m_command.starts_with("DELETE"))))
                throw DbError(DbError::Cause::Denied, std::string(kWriteSideOnlyWrites), m_command);
            return false;
        }
        case PGRES_EMPTY_QUERY:
            PQclear(r);
            finish();
            m_done = true;
            throw DbError(DbError::Cause::Syntax, "语句是空的。", {});
        default: {
            DbError e = m_c.error(r);
            PQclear(r);
            finish();
            m_done = true;
            throw e;
        }
    }
}

void PgStatement::reset() {
    if (m_running) finish();
    for (auto& v : m_values)
        v.reset();
    m_done = false;
    m_primed = false;
    m_changes = 0;
    m_command.clear();
    PQclear(m_row);
    m_row = nullptr;
}

int PgStatement::columnCount() const {
    prime();
    return m_row ? PQnfields(m_row) : 0;
}

std::string PgStatement::columnName(int column) const {
    prime();
    const char* name = m_row ? PQfname(m_row, column) : nullptr;
    return name ? name : "";
}

std::optional<ColumnDef> PgStatement::declared(int column) const {
    prime();
    if (!m_row) return std::nullopt;
    const Oid table = PQftable(m_row, column);
    if (table == InvalidOid) return std::nullopt;
    return m_c.declared(table, PQftablecol(m_row, column));
}

ValueType PgStatement::type(int column) const {
    if (PQgetisnull(m_row, 0, column)) return ValueType::Null;
    switch (PQftype(m_row, column)) {
        case kBool:
        case kInt2:
        case kInt4:
        case kInt8:
        case kOid:
            return ValueType::Integer;
        case kFloat4:
        case kFloat8:
        case kNumeric:
            return ValueType::Real;
        default:
            return ValueType::Text;
    }
}

std::int64_t PgStatement::integer(int column) const {
    const std::string_view v = view(column);
    std::int64_t x = 0;
    std::from_chars(v.data(), v.data() + v.size(), x);
    return x;
}

double PgStatement::real(int column) const {
    // PostgreSQL writes numbers in the C notation; so are they read, whatever the locale. A
    // numeric beyond a double's range reads as an infinity, as the answer's typing expects.
    const std::string_view v = view(column);
    if (v == "Infinity") return std::numeric_limits<double>::infinity();
    if (v == "-Infinity") return -std::numeric_limits<double>::infinity();
    return decimalValue(v).value_or(std::numeric_limits<double>::quiet_NaN());
}

std::string_view PgStatement::view(int column) const {
    if (PQgetisnull(m_row, 0, column)) return {};
    const char* p = PQgetvalue(m_row, 0, column);
    // A truth value reads as SQLite's 1 or 0.
    if (PQftype(m_row, column) == kBool) return *p == 't' ? "1" : "0";
    return {p, static_cast<std::size_t>(PQgetlength(m_row, 0, column))};
}

}  // namespace tarvelo::server
