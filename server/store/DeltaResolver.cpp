#include "server/store/DeltaResolver.h"

#include <charconv>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "data/DataPacket.h"
#include "server/store/ApplyParams.h"
#include "server/store/DbError.h"
#include "server/store/Schema.h"
#include "server/store/ServiceConnection.h"
#include "server/store/SqlRunner.h"
#include "soap/XmlCharacters.h"
#include "text/Date.h"
#include "text/Trim.h"

namespace tarvelo::server {

namespace {

[[noreturn]] void refuse(std::string message, std::string detail = {}) {
    throw StatementError(std::move(message), std::move(detail), true);
}

std::string rowLabel(std::size_t change) {
    return "第 " + std::to_string(change) + " 行";
}

// A packet value in the form the column stores; nullopt stores null.
struct Bound {
    std::optional<std::string> text;
    std::optional<std::int64_t> integer;
};

Bound convert(const ColumnDef& column, std::optional<std::string_view> value, bool emptyIsNull,
              std::size_t change) {
    if (!value) return {};
    switch (column.kind) {
        case ColumnKind::Narrow:
        case ColumnKind::Wide:
            return {std::string(*value), std::nullopt};
        case ColumnKind::Integer: {
            const std::string_view v = trim(*value);
            if (v.empty() && emptyIsNull) return {};
            std::int64_t x = 0;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), x);
            if (ec != std::errc() || end != v.data() + v.size() || v.empty())
                refuse(rowLabel(change) + "：列 " + column.name + " 的值“" + excerpt(*value, 20) +
                       "”不是整数。");
            return {std::nullopt, x};
        }
        case ColumnKind::Date: {
            std::string_view v = trim(*value);
            if (v.empty() && emptyIsNull) return {};
            if (v.size() > 8 && v[8] == 'T') v = v.substr(0, 8);  // a dateTime keeps its date
            const auto d = v.size() == 8 ? Date::fromCompact(v) : Date::fromText(v);
            if (!d)
                refuse(rowLabel(change) + "：列 " + column.name + " 的值“" + excerpt(*value, 20) +
                       "”不是日期。");
            return {d->shortText(), std::nullopt};
        }
    }
    return {};
}

void bind(DbStatement& s, int index, const Bound& b) {
    if (b.integer)
        s.bind(index, *b.integer);
    else if (b.text)
        s.bind(index, std::string_view(*b.text));
    else
        s.bindNull(index);
}

// The transaction is rolled back unless committed.
class Transaction {
public:
    explicit Transaction(ServiceConnection& c) : m_c(c) {
        try {
            m_c.begin();
        } catch (const DbError& e) {
            // Another writer held the lock for the whole busy timeout.
            if (e.cause() == DbError::Cause::Busy)
                throw StatementError("数据库正忙，请稍后再试。", e.detail(), false);
            throw StatementError("提交无法开始，没有写入任何数据。", e.detail(), false);
        }
    }
    ~Transaction() {
        if (m_open) m_c.rollback();
    }
    void commit() {
        m_c.commit();
        m_open = false;
    }

private:
    ServiceConnection& m_c;
    bool m_open = true;
};

// A batch of inserts failed: the delta is applied again a row at a time to say which row.
struct BatchFailed {};

// Rows of one multi-row INSERT.
constexpr std::size_t kBatchRows = 64;

}  // namespace

int DeltaResolver::apply(std::string_view paramText, std::string_view deltaText) {
    m_rows = 0;
    const ApplyParams params = [&] {
        try {
            return ApplyParams::parse(paramText);
        } catch (const StatementError&) {
            throw;
        } catch (const Error& e) {
            refuse(e.message(), e.detail());
        }
    }();
    const TableDef* table = Schema::instance().table(params.table);
    if (!table || !Schema::instance().isServiceTable(params.table))
        refuse("提交的目标表“" + params.table + "”不是本服务的数据表。");

    // A reference to NUL would cut the value short where the parser hands it over.
    if (const auto problem = xmlchars::problem(deltaText))
        refuse("增量数据包无法读取：其中有 XML 1.0 不允许的字符。", *problem);
    DataPacket delta = [&] {
        try {
            return DataPacket::parse(deltaText);
        } catch (const Error& e) {
            refuse("增量数据包无法读取：" + e.message(), e.detail());
        }
    }();

    // Which table column each packet field writes; nullptr for an excluded field.
    const auto excluded = [&](std::string_view name) {
        for (const auto& e : params.excluded)
            if (sameName(e, name)) return true;
        return false;
    };
    std::vector<const ColumnDef*> target(delta.fields.size(), nullptr);
    for (std::size_t i = 0; i < delta.fields.size(); ++i) {
        if (excluded(delta.fields[i].name)) continue;
        target[i] = table->column(delta.fields[i].name);
        if (!target[i])
            refuse("表 " + table->name + " 没有列“" + delta.fields[i].name + "”。",
                   "可用 Exc00 排除不写的列");
    }
    std::vector<std::size_t> keyFields;
    for (const auto& k : params.key) {
        if (!table->column(k)) refuse("表 " + table->name + " 没有键列“" + k + "”。");
        if (excluded(k)) refuse("键列“" + k + "”不能在 Exc00 中排除。");
        std::optional<std::size_t> at;
        for (std::size_t i = 0; i < delta.fields.size(); ++i)
            if (target[i] && sameName(delta.fields[i].name, k)) at = i;
        if (!at) refuse("增量数据包中没有键列“" + k + "”。");
        keyFields.push_back(*at);
    }
    const auto isKey = [&](std::size_t field) {
        for (auto k : keyFields)
            if (k == field) return true;
        return false;
    };

    // Check the order of states before writing anything.
    for (std::size_t r = 0; r < delta.rows.size(); ++r) {
        const RowState s = delta.rowStates[r];
        const bool ok =
            s == RowState::Inserted || s == RowState::Deleted ||
            (s == RowState::Original && r + 1 < delta.rows.size() &&
             delta.rowStates[r + 1] == RowState::Modified) ||
            (s == RowState::Modified && r > 0 && delta.rowStates[r - 1] == RowState::Original);
        if (!ok)
            refuse("增量数据包有误：第 " + std::to_string(r + 1) + " 个 ROW 的 RowState 不对。",
                   "RowState " + std::to_string(static_cast<int>(s)));
    }
    if (m_inspector) m_inspector(params, delta);

    const auto run = [&](bool batched) -> int {
        // Names are checked above; values are bound.
        std::map<std::string, std::unique_ptr<DbStatement>> prepared;
        const auto statement = [&](const std::string& sql) -> DbStatement& {
            auto& slot = prepared[sql];
            if (!slot) slot = m_c.prepare(sql);
            return *slot;
        };

        m_c.startClock(m_limits.statementTime);
        struct ClockStop {
            ServiceConnection& c;
            ~ClockStop() { c.stopClock(); }
        } clockStop{m_c};
        Transaction transaction(m_c);

        int failedRows = 0;
        std::size_t change = 0;

        // Inserts waiting to go together: one column list, up to kBatchRows rows.
        struct Batch {
            std::string cols;
            std::size_t width = 0;
            std::vector<Bound> values;
            std::size_t rows = 0;
        } batch;
        const auto sendBatch = [&] {
            if (batch.rows == 0) return;
            std::string marks = "(";
            for (std::size_t i = 0; i < batch.width; ++i)
                marks += i ? ",?" : "?";
            marks += ")";
            std::string sql =
                "INSERT INTO " + table->name + " (" + batch.cols + ") VALUES " + marks;
            for (std::size_t r = 1; r < batch.rows; ++r)
                sql += "," + marks;
            auto& s = statement(sql + std::string(m_c.insertTail()));
            for (std::size_t i = 0; i < batch.values.size(); ++i)
                bind(s, static_cast<int>(i + 1), batch.values[i]);
            m_c.runQueued(s, [&failedRows, rows = batch.rows](long long n, const DbError* e) {
                if (e) throw BatchFailed{};
                failedRows += static_cast<int>(rows - static_cast<std::size_t>(n));
            });
            batch = {};
        };
        // What became of the change numbered `row`. A row that changes nothing fails: an insert
        // whose key is taken, a row not found. Whether it changed what it should.
        const auto outcome = [&](std::size_t row, long long changes, const DbError* failure) {
            if (!failure) {
                if (changes == 0) ++failedRows;
                return changes != 0;
            }
            const DbError& e = *failure;
            if (e.cause() == DbError::Cause::Unique) {
                ++failedRows;
                return false;
            }
            const std::string& detail = e.detail();
            if (m_c.timedOut() || e.cause() == DbError::Cause::Interrupted)
                throw StatementError("提交超过时间上限，已被中止，没有写入任何数据。", detail,
                                     false);
            if (auto told = Schema::describeViolation(e.violation()))
                throw StatementError(rowLabel(row) + "：" + *told + "没有写入任何数据。", detail,
                                     false);
            if (e.cause() == DbError::Cause::NotNull)
                throw StatementError(rowLabel(row) + "：键列不能为空。没有写入任何数据。", detail,
                                     false);
            if (e.cause() == DbError::Cause::Busy)
                throw StatementError("数据库正忙，请稍后再试。", detail, false);
            if (e.cause() == DbError::Cause::ReadOnly)
                throw StatementError(e.message() + "没有写入任何数据。", detail, false);
            throw StatementError(rowLabel(row) + "写入失败，没有写入任何数据。", detail, false);
        };

        for (std::size_t r = 0; r < delta.rows.size(); ++r) {
            const Row& row = delta.rows[r];
            const RowState state = delta.rowStates[r];
            ++change;
            if (state == RowState::Inserted) {
                std::string cols, marks;
                std::vector<Bound> values;
                for (std::size_t i = 0; i < target.size(); ++i) {
                    if (!target[i] || row.isNull(i)) continue;
                    cols += (values.empty() ? "" : ",") + target[i]->name;
                    marks += values.empty() ? "?" : ",?";
                    values.push_back(convert(*target[i], row.get(i), false, change));
                }
                if (values.empty()) refuse(rowLabel(change) + "：插入的行没有任何值。");
                if (batched) {
                    if (batch.rows == kBatchRows || (batch.rows > 0 && batch.cols != cols))
                        sendBatch();
                    batch.cols = cols;
                    batch.width = values.size();
                    for (auto& v : values)
                        batch.values.push_back(std::move(v));
                    ++batch.rows;
                    continue;
                }
                auto& s = statement("INSERT INTO " + table->name + " (" + cols + ") VALUES (" +
                                    marks + ")" + std::string(m_c.insertTail()));
                for (std::size_t i = 0; i < values.size(); ++i)
                    bind(s, static_cast<int>(i + 1), values[i]);
                m_c.runQueued(s, [&outcome, row = change](long long n, const DbError* e) {
                    outcome(row, n, e);
                });
                continue;
            }

            // Deleted, or Original followed by its Modified row: after the inserts before it.
            sendBatch();
            const Row* changes = state == RowState::Original ? &delta.rows[++r] : nullptr;
            std::string sql;
            std::vector<Bound> values;
            bool keyChanges = false;
            if (changes) {
                for (std::size_t i = 0; i < target.size(); ++i) {
                    if (!target[i] || changes->isNull(i)) continue;
                    keyChanges = keyChanges || isKey(i);
                    sql += (values.empty() ? "" : ",") + target[i]->name + "=?";
                    values.push_back(convert(*target[i], changes->get(i), true, change));
                }
                if (values.empty()) continue;  // nothing of what may be written changed
                sql = "UPDATE " + table->name + " SET " + sql + " WHERE ";
            } else {
                sql = "DELETE FROM " + table->name + " WHERE ";
            }
            bool first = true;
            for (std::size_t i = 0; i < target.size(); ++i) {
                if (!target[i]) continue;
                const bool compared =
                    isKey(i) || params.where == WhereMode::All ||
                    (params.where == WhereMode::Changed && changes && !changes->isNull(i));
                if (!compared) continue;
                sql += (first ? "" : " AND ") + m_c.sameValue(target[i]->name, isKey(i));
                first = false;
                values.push_back(convert(*target[i], row.get(i), false, change));
            }
            auto& s = statement(sql);
            for (std::size_t i = 0; i < values.size(); ++i)
                bind(s, static_cast<int>(i + 1), values[i]);
            if (!keyChanges) {
                m_c.runQueued(s, [&outcome, row = change](long long n, const DbError* e) {
                    outcome(row, n, e);
                });
                continue;
            }
            // A new key may be taken. The failed row is counted and the others still tried, so
            // the answer tells how many failed; an engine that gives up a transaction at its first
            // error keeps it through the savepoint.
            m_c.flush();
            m_c.exec("SAVEPOINT DELTA_ROW");
            bool applied = false;
            try {
                const long long n = s.run();
                s.reset();
                applied = outcome(change, n, nullptr);
            } catch (const DbError& e) {
                s.reset();
                applied = outcome(change, 0, &e);
            }
            m_c.exec(applied ? "RELEASE SAVEPOINT DELTA_ROW"
                             : "ROLLBACK TO SAVEPOINT DELTA_ROW; RELEASE SAVEPOINT DELTA_ROW");
        }
        sendBatch();
        m_c.flush();
        m_rows = change;
        if (failedRows > 0) return failedRows;  // the transaction rolls back
        transaction.commit();
        return 0;
    };

    // Where a taken key changes no row instead of failing, consecutive inserts go many to a
    // statement. A failure cannot be told by its row there: the delta is then applied again
    // (everything before rolled back) a row at a time, which says which row failed.
    if (!m_c.insertTail().empty()) {
        try {
            return run(true);
        } catch (const BatchFailed&) {
        }
    }
    return run(false);
}

}  // namespace tarvelo::server
