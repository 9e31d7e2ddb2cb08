#include "server/store/postgresql/PgServiceConnection.h"

#include <libpq-fe.h>

#include "data/DataPacket.h"
#include "server/ServiceLimits.h"
#include "server/store/DbError.h"
#include "server/store/Schema.h"
#include "server/store/StatementError.h"
#include "server/store/StatementText.h"
#include "server/store/postgresql/PgDatabase.h"
#include "server/store/postgresql/PgStatement.h"

namespace tarvelo::server {

namespace {

// Prepared statements kept per connection before they are let go at the end of a lease.
constexpr std::size_t kMaxPrepared = 256;

bool oneOf(const std::string& word, std::initializer_list<std::string_view> words) {
    for (auto w : words)
        if (word == w) return true;
    return false;
}

// The refusal of a statement that is not of its side, in the words the SQLite guard uses.
std::string refusalOf(const std::string& keyword, Side side) {
    if (oneOf(keyword, {"CREATE", "DROP", "ALTER", "TRUNCATE", "GRANT", "REVOKE", "COMMENT",
                        "REINDEX", "VACUUM", "CLUSTER", "REFRESH", "SECURITY", "IMPORT"}))
        return "语句被拒绝：不允许修改数据库结构（CREATE/DROP/ALTER 等）。";
    if (oneOf(keyword, {"BEGIN", "START", "COMMIT", "END", "ROLLBACK", "ABORT", "SAVEPOINT",
                        "RELEASE", "PREPARE"}))
        return "语句被拒绝：不允许事务控制语句（BEGIN/COMMIT/ROLLBACK/SAVEPOINT）。";
    if (oneOf(keyword, {"SET", "RESET", "LOAD", "DISCARD", "LOCK", "COPY", "CALL", "DO"}))
        return "语句被拒绝：不允许执行 " + keyword + " 语句。";
    return std::string(side == Side::Read ? kReadSideOnlyQueries : kWriteSideOnlyWrites);
}

std::string field(const PGresult* r, int code) {
    const char* v = r ? PQresultErrorField(r, code) : nullptr;
    return v ? v : "";
}

}  // namespace

PgServiceConnection::PgServiceConnection(const std::string& uri, Side side) : m_side(side) {
    m_baseTimeout = ServiceLimits{}.statementTime;
    m_timeout = m_baseTimeout;
    std::string options =
        "-c DateStyle=ISO -c statement_timeout=" + std::to_string(m_baseTimeout.count()) +
        " -c idle_in_transaction_session_timeout=60000 -c client_min_messages=warning -c "
        "lock_timeout=5000";
    // A backslash is a character in a string literal, as in SQLite, whatever the database
    // sets: the service reads quoted values that way when it checks the client's statements.
    options += " -c standard_conforming_strings=on";
    if (side == Side::Read) options += " -c default_transaction_read_only=on";
    const char* application = side == Side::Read    ? "tarvelo-server (read)"
                              : side == Side::Write ? "tarvelo-server (write)"
                                                    : "tarvelo-server";
    const char* keys[] = {"dbname",           "options",         "client_encoding",
                          "application_name", "connect_timeout", nullptr};
    const char* values[] = {uri.c_str(), options.c_str(), "UTF8", application, "10", nullptr};
    m_conn = PQconnectdbParams(keys, values, 1);
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        const std::string detail = m_conn ? PQerrorMessage(m_conn) : "PQconnectdbParams";
        PQfinish(m_conn);
        m_conn = nullptr;
        throw Error("无法连接 PostgreSQL 数据库“" + PgDatabase::shownUri(uri) +
                        "”。请确认数据库服务器已启动、地址和角色正确。",
                    detail);
    }
    // The service's tables as this database numbers them, so that a result column read
    // straight from one carries its declared type into the packet.
    PGresult* r = PQexec(m_conn,
                         "SELECT c.oid, c.relname, a.attnum, a.attname FROM pg_class c "
                         "JOIN pg_namespace n ON n.oid = c.relnamespace "
                         "JOIN pg_attribute a ON a.attrelid = c.oid "
                         "WHERE n.nspname = current_schema() AND c.relkind = 'r' "
                         "AND a.attnum > 0 AND NOT a.attisdropped");
    if (PQresultStatus(r) != PGRES_TUPLES_OK) {
        const DbError e = error(r);
        PQclear(r);
        throw Error("无法读取 PostgreSQL 数据库的表结构。", e.detail());
    }
    for (int i = 0; i < PQntuples(r); ++i) {
        const TableDef* table = Schema::instance().table(PQgetvalue(r, i, 1));
        if (!table) continue;
        if (const ColumnDef* column = table->column(PQgetvalue(r, i, 3)))
            m_columns.emplace(std::pair{static_cast<unsigned>(std::stoul(PQgetvalue(r, i, 0))),
                                        std::stoi(PQgetvalue(r, i, 2))},
                              *column);
    }
    PQclear(r);
}

PgServiceConnection::~PgServiceConnection() {
    PQfinish(m_conn);
}

std::pair<std::string, int> PgServiceConnection::numbered(std::string_view sql) {
    std::string out;
    int next = 0, most = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (c == '\'') quoted = !quoted;
        if (quoted || c != '?') {
            out += c;
            continue;
        }
        std::size_t j = i + 1;
        int n = 0;
        while (j < sql.size() && sql[j] >= '0' && sql[j] <= '9')
            n = n * 10 + (sql[j++] - '0');
        if (j == i + 1) n = ++next;
        most = std::max(most, n);
        out += "$" + std::to_string(n);
        i = j - 1;
    }
    return {out, most};
}

std::unique_ptr<DbStatement> PgServiceConnection::prepare(std::string_view sql) {
    auto [text, parameters] = numbered(sql);
    auto found = m_prepared.find(text);
    if (found == m_prepared.end()) {
        flush();  // preparing waits for its answer, which pipeline mode does not allow
        const std::string name = "tarvelo_" + std::to_string(m_prepared.size() + 1);
        PGresult* r = PQprepare(m_conn, name.c_str(), text.c_str(), parameters, nullptr);
        if (PQresultStatus(r) != PGRES_COMMAND_OK) {
            DbError e = error(r);
            PQclear(r);
            throw e;
        }
        PQclear(r);
        found = m_prepared.emplace(text, name).first;
    }
    return std::make_unique<PgStatement>(*this, found->second, std::string(), parameters);
}

void PgServiceConnection::run(const std::string& sql) {
    flush();
    PGresult* r = PQexec(m_conn, sql.c_str());
    const auto status = PQresultStatus(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        DbError e = error(r);
        PQclear(r);
        throw e;
    }
    PQclear(r);
}

void PgServiceConnection::exec(std::string_view sql) {
    run(std::string(sql));
}

std::unique_ptr<DbStatement> PgServiceConnection::prepareArrived(std::string_view sql, Side side) {
    if (const auto nul = sql.find('\0'); nul != std::string_view::npos)
        throw StatementError("语句被拒绝：语句中有 NUL 字符。", "位置 " + std::to_string(nul),
                             true);
    if (onlyTrivia(sql)) throw StatementError("语句是空的。", {}, true);
    // A first word names what the statement is; the role's privileges and the read-only
    // transaction decide what it may do, whatever it is.
    const std::string keyword = firstKeyword(sql);
    const bool fits = side == Side::Read ? oneOf(keyword, {"SELECT", "WITH", "VALUES", "TABLE"})
                                         : oneOf(keyword, {"INSERT", "UPDATE", "DELETE", "WITH"});
    if (!fits) throw StatementError(refusalOf(keyword, side), {}, true);
    return std::make_unique<PgStatement>(*this, std::string(), std::string(sql), 0, side);
}

// At most this many statements are sent before their answers are read: the answers must fit
// the socket's buffers while the statements are still being written.
constexpr std::size_t kMaxQueued = 500;

void PgServiceConnection::runQueued(DbStatement& s, Done done) {
    checkClock();
    if (PQpipelineStatus(m_conn) == PQ_PIPELINE_OFF && !PQenterPipelineMode(m_conn))
        throw error(nullptr);
    static_cast<PgStatement&>(s).sendQueued();
    s.reset();
    m_queued.push_back(std::move(done));
    if (m_queued.size() >= kMaxQueued) flush();
}

std::vector<std::pair<long long, std::optional<DbError>>> PgServiceConnection::drainPipeline() {
    std::vector<std::pair<long long, std::optional<DbError>>> out;
    if (PQpipelineStatus(m_conn) == PQ_PIPELINE_OFF) return out;
    const bool synced = PQpipelineSync(m_conn) == 1;
    for (std::size_t i = 0; synced && i < m_queued.size(); ++i) {
        PGresult* r = PQgetResult(m_conn);
        if (!r) {
            out.emplace_back(0, error(nullptr));
            break;
        }
        switch (PQresultStatus(r)) {
            case PGRES_COMMAND_OK:
            case PGRES_TUPLES_OK:
                out.emplace_back(std::atoll(PQcmdTuples(r)), std::nullopt);
                break;
            case PGRES_PIPELINE_ABORTED:
                out.emplace_back(0,
                                 DbError(DbError::Cause::Other, "前面的一行出错，这一行没有执行。",
                                         "pipeline aborted"));
                break;
            default:
                out.emplace_back(0, error(r));
        }
        PQclear(r);
        PQclear(PQgetResult(m_conn));  // the end of this statement's answers
    }
    // Up to the sync point, then out of the mode.
    while (PGresult* r = PQgetResult(m_conn)) {
        const bool sync = PQresultStatus(r) == PGRES_PIPELINE_SYNC;
        PQclear(r);
        if (sync) break;
    }
    PQexitPipelineMode(m_conn);
    return out;
}

void PgServiceConnection::flush() {
    auto answers = drainPipeline();
    auto queued = std::move(m_queued);
    m_queued.clear();
    for (std::size_t i = 0; i < queued.size(); ++i) {
        if (i >= answers.size()) {
            const DbError lost(DbError::Cause::Disconnected, "与 PostgreSQL 数据库的连接断开了。",
                               PQerrorMessage(m_conn));
            queued[i](0, &lost);
            continue;
        }
        queued[i](answers[i].first, answers[i].second ? &*answers[i].second : nullptr);
    }
}

void PgServiceConnection::begin() {
    run("BEGIN");
}

void PgServiceConnection::commit() {
    run("COMMIT");
}

void PgServiceConnection::rollback() noexcept {
    // Statements still in flight are read and forgotten: the transaction ends without them.
    if (PQpipelineStatus(m_conn) != PQ_PIPELINE_OFF) {
        drainPipeline();
        m_queued.clear();
    }
    if (PQtransactionStatus(m_conn) == PQTRANS_IDLE) return;
    PQclear(PQexec(m_conn, "ROLLBACK"));
}

void PgServiceConnection::setTimeout(std::chrono::milliseconds limit) {
    if (limit.count() < 0) limit = std::chrono::milliseconds(0);
    if (limit == m_timeout) return;
    run("SET statement_timeout = " + std::to_string(limit.count()));
    m_timeout = limit;
}

void PgServiceConnection::reconnect() {
    PQreset(m_conn);
    m_prepared.clear();
    m_timeout = m_baseTimeout;
    if (PQstatus(m_conn) != CONNECTION_OK)
        throw DbError(DbError::Cause::Other,
                      "与 PostgreSQL 数据库的连接断开了，重新连接也没有成功。",
                      PQerrorMessage(m_conn));
    if (m_deadline != std::chrono::steady_clock::time_point::max()) setTimeout(m_clockLimit);
}

void PgServiceConnection::startClock(std::chrono::milliseconds limit) {
    m_timedOut = false;
    m_clockLimit = limit;
    m_deadline = limit.count() > 0 ? std::chrono::steady_clock::now() + limit
                                   : std::chrono::steady_clock::time_point::max();
    setTimeout(limit);
}

void PgServiceConnection::stopClock() {
    m_deadline = std::chrono::steady_clock::time_point::max();
}

void PgServiceConnection::checkClock() {
    if (std::chrono::steady_clock::now() < m_deadline) return;
    m_timedOut = true;
    throw DbError(DbError::Cause::Interrupted, "语句执行超过时间上限，已被中止。", "deadline");
}

void PgServiceConnection::setLockWait(std::chrono::milliseconds wait) {
    run("SET lock_timeout = " + std::to_string(wait.count()));
}

void PgServiceConnection::release() noexcept {
    stopClock();
    if (PQstatus(m_conn) != CONNECTION_OK) {
        PQreset(m_conn);
        m_prepared.clear();
    }
    rollback();
    // What a request's statement left in the session ends with the request: session advisory
    // locks (thousands of them would fill the server's lock table), settings (set_config in a
    // query), temporary tables, sequence values. This is DISCARD ALL without its DEALLOCATE ALL,
    // which would throw away the service's own prepared statements and cost a round trip to
    // prepare each again in the next request. A request cannot prepare a statement of its own
    // (PREPARE and several statements in one are refused), nor declare a cursor, LISTEN or
    // change the session's role, which DISCARD ALL also undoes. DISCARD PLANS is left out too:
    // a request leaves no plan of its own, and the service's plans stay valid.
    PQclear(PQexec(m_conn, m_prepared.size() > kMaxPrepared
                               ? "SELECT pg_advisory_unlock_all(); RESET ALL; DISCARD TEMP; "
                                 "DISCARD SEQUENCES; DEALLOCATE ALL"
                               : "SELECT pg_advisory_unlock_all(); RESET ALL; DISCARD TEMP; "
                                 "DISCARD SEQUENCES"));
    if (m_prepared.size() > kMaxPrepared) m_prepared.clear();
    m_timeout = m_baseTimeout;
}

std::string PgServiceConnection::sameValue(std::string_view column, bool keyColumn) const {
    // "=" finds a key through its index; IS NOT DISTINCT FROM matches a null to a null.
    return std::string(column) + (keyColumn ? " = ?" : " IS NOT DISTINCT FROM ?");
}

std::optional<ColumnDef> PgServiceConnection::declared(unsigned table, int column) const {
    const auto found = m_columns.find({table, column});
    if (found == m_columns.end()) return std::nullopt;
    return found->second;
}

DbError PgServiceConnection::error(const PGresult* r) {
    const std::string state = field(r, PG_DIAG_SQLSTATE);
    std::string detail = field(r, PG_DIAG_MESSAGE_PRIMARY);
    if (detail.empty()) detail = PQerrorMessage(m_conn);
    while (!detail.empty() && (detail.back() == '\n' || detail.back() == ' '))
        detail.pop_back();
    if (!state.empty()) detail += "（SQLSTATE " + state + "）";
    using C = DbError::Cause;
    if (state == "23505") return DbError(C::Unique, "已有相同主键的行。", detail);
    if (state == "23502") return DbError(C::NotNull, "主键列不能为空。", detail);
    if (state == "23514")
        return DbError(C::Check, "数据不符合列的检查。", detail,
                       "CHECK constraint failed: " + field(r, PG_DIAG_CONSTRAINT_NAME));
    if (state == "40001" || state == "40P01" || state == "55P03")
        return DbError(C::Busy, "数据库正忙，请稍后再试。", detail);
    if (state == "57014") {
        m_timedOut = true;
        return DbError(C::Interrupted, "语句执行超过时间上限，已被中止。", detail);
    }
    if (state == "25006") {
        if (m_side == Side::Read)
            return DbError(C::Denied, std::string(kReadSideOnlyQueries), detail);
        return DbError(C::ReadOnly,
                       "数据库只读，服务无法写入：写入端连接的是只读的副本，应连接主库。", detail);
    }
    if (state == "54000" || state == "54001" || state == "22001")
        return DbError(C::TooBig, "语句产生的值太大。", detail);
    if (state == "22P05") return DbError(C::Check, "值中有代码页 936 无法表示的字符。", detail);
    if (state == "42501") {
        if (detail.find(upperName(Schema::kSecretTable)) != std::string::npos ||
            detail.find("tarvelo_secret") != std::string::npos)
            return DbError(C::Denied, "语句被拒绝：不允许访问密钥表。", detail);
        return DbError(C::Denied,
                       m_side == Side::Read ? "语句被拒绝：查询端没有读取它的权限。"
                                            : "语句被拒绝：写入端没有这样做的权限。",
                       detail);
    }
    if (state == "42601" && detail.find("multiple commands") != std::string::npos)
        return DbError(C::Syntax, "语句被拒绝：一次只能执行一条语句。", detail);
    if (state.starts_with("42") || state.starts_with("22"))
        return DbError(C::Syntax, "语句有错误，数据库无法执行。", detail);
    if (!r || state.starts_with("08") || state.starts_with("57P"))
        return DbError(C::Disconnected, "与 PostgreSQL 数据库的连接断开了。", detail);
    return DbError(C::Other, "数据库操作失败。", detail);
}

}  // namespace tarvelo::server
