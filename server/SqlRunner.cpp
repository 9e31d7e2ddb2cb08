#include "server/SqlRunner.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "data/DataPacket.h"
#include "data/PacketWriter.h"
#include "server/Schema.h"
#include "server/ServiceConnection.h"
#include "text/CodePage936.h"

namespace tarvelo::server {

namespace {

// A computed text column is at least this wide, so that a client that writes into a display
// column (a role tick, a marker) is not refused because every value it was loaded with happened
// to be a single blank.
constexpr int kMinComputedWidth = 20;

// What follows the first statement: only blanks, semicolons and comments are allowed.
bool onlyTrivia(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == ';') {
            ++i;
        } else if (s.substr(i, 2) == "--") {
            const auto eol = s.find('\n', i);
            i = eol == std::string_view::npos ? s.size() : eol + 1;
        } else if (s.substr(i, 2) == "/*") {
            const auto end = s.find("*/", i + 2);
            i = end == std::string_view::npos ? s.size() : end + 2;
        } else {
            return false;
        }
    }
    return true;
}

bool isNameChar(char c, bool first) {
    const auto b = static_cast<unsigned char>(c);
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || b >= 0x80 ||
           (!first && ((c >= '0' && c <= '9') || c == '.' || c == '-'));
}

// The packet's name of a result column: upper case, as the service's database folds unquoted
// names; an expression without an alias, whose text is no attribute name, is named by position.
std::string columnName(const char* raw, int index) {
    std::string name = upperName(raw ? raw : "");
    bool valid = !name.empty() && isNameChar(name[0], true);
    for (std::size_t i = 1; valid && i < name.size(); ++i)
        valid = isNameChar(name[i], false);
    return valid ? name : "COLUMN" + std::to_string(index + 1);
}

// "yyyy-mm-dd" to the packet's "yyyymmdd"; nullopt for anything else.
std::optional<std::string> compactDate(std::string_view iso) {
    if (iso.size() != 10 || iso[4] != '-' || iso[7] != '-') return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < iso.size(); ++i) {
        if (i == 4 || i == 7) continue;
        if (iso[i] < '0' || iso[i] > '9') return std::nullopt;
        out += iso[i];
    }
    return out;
}

struct ResultColumn {
    std::string name;
    std::optional<ColumnDef> declared;  // nullopt: computed, typed from its values
    std::size_t widest = 0;             // declared text columns: a value wider than the declaration
    bool allInt = true;                 // computed columns: every non-null value so far
    bool allInt32 = true;
    bool allNumeric = true;
    bool anyValue = false;
};

FieldDef fieldOf(const ResultColumn& c, const std::vector<Row>& rows, std::size_t index) {
    if (c.declared) {
        switch (c.declared->kind) {
            // A compound SELECT takes its first part's declaration; a later part may be wider.
            case ColumnKind::Narrow:
                return FieldDef::make(c.name, FieldType::String,
                                      std::max(c.declared->length, static_cast<int>(c.widest)));
            case ColumnKind::Wide:
                return FieldDef::make(c.name, FieldType::WideString,
                                      std::max(2 * c.declared->length, static_cast<int>(c.widest)));
            case ColumnKind::Integer:
                return FieldDef::make(c.name, FieldType::Int32);
            case ColumnKind::Date:
                return FieldDef::make(c.name, FieldType::Date);
        }
    }
    if (c.anyValue && c.allInt)
        return FieldDef::make(c.name, c.allInt32 ? FieldType::Int32 : FieldType::Int64);
    if (c.anyValue && c.allNumeric) return FieldDef::make(c.name, FieldType::Double);
    std::size_t width = kMinComputedWidth;
    for (const auto& row : rows)
        width = std::max(width, cp936Length(row.value(index)));
    return FieldDef::make(c.name, FieldType::String, static_cast<int>(width));
}

std::string seconds(std::chrono::milliseconds ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3g", static_cast<double>(ms.count()) / 1000.0);
    return buf;
}

}  // namespace

void SqlRunner::Finalizer::operator()(sqlite3_stmt* s) const {
    sqlite3_finalize(s);
}

void SqlRunner::failed(int rc) {
    sqlite3* db = m_c.db().handle();
    const std::string detail = sqlite3_errmsg(db);
    if (m_c.timedOut())
        throw StatementError("语句执行超过 " + seconds(m_limits.statementTime) + " 秒，已被中止。",
                             detail, false);
    if (auto told = Schema::describeViolation(detail)) throw StatementError(*told, detail, false);
    const int primary = rc & 0xFF;
    if (rc == SQLITE_CONSTRAINT_PRIMARYKEY || rc == SQLITE_CONSTRAINT_UNIQUE)
        throw StatementError("已有相同主键的行。", detail, false);
    if (rc == SQLITE_CONSTRAINT_NOTNULL) throw StatementError("主键列不能为空。", detail, false);
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        throw StatementError("数据库正忙，请稍后再试。", detail, false);
    if (primary == SQLITE_TOOBIG) throw StatementError("语句产生的值太大。", detail, false);
    if (primary == SQLITE_READONLY)
        throw StatementError("数据库文件只读，服务无法写入。", detail, false);
    throw StatementError("语句执行失败。", detail, false);
}

SqlRunner::Statement SqlRunner::prepare(std::string_view sql, Side side) {
    // SQLite ends a statement at a NUL byte whatever length it is told: what follows would be
    // left out unseen.
    if (const auto nul = sql.find('\0'); nul != std::string_view::npos)
        throw StatementError("语句被拒绝：语句中有 NUL 字符。", "位置 " + std::to_string(nul),
                             true);
    sqlite3* db = m_c.db().handle();
    m_c.guard().setSide(side);
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), 0, &raw, &tail);
    Statement stmt(raw);
    if (rc != SQLITE_OK) {
        const std::string detail = sqlite3_errmsg(db);
        if (!m_c.guard().denial().empty())
            throw StatementError("语句被拒绝：" + m_c.guard().denial(), detail, true);
        throw StatementError("语句有错误，数据库无法执行。", detail, true);
    }
    const std::string_view rest =
        tail ? sql.substr(static_cast<std::size_t>(tail - sql.data())) : std::string_view();
    if (!stmt) {
        if (onlyTrivia(rest)) throw StatementError("语句是空的。", {}, true);
        throw StatementError("语句被拒绝：一次只能执行一条语句。", {}, true);
    }
    if (!onlyTrivia(rest))
        throw StatementError("语句被拒绝：一次只能执行一条语句。", "其后还有：" + excerpt(rest, 40),
                             true);
    return stmt;
}

SqlRunner::Answer SqlRunner::query(std::string_view sql) {
    Statement stmt = prepare(sql, Side::Read);
    sqlite3_stmt* s = stmt.get();
    if (!sqlite3_stmt_readonly(s))
        throw StatementError("语句被拒绝：查询端只接受查询语句（SELECT）。", {}, true);
    const int n = sqlite3_column_count(s);
    if (n == 0) throw StatementError("语句被拒绝：查询端只接受查询语句（SELECT）。", {}, true);

    std::vector<ResultColumn> columns(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        auto& c = columns[static_cast<std::size_t>(i)];
        std::string name = columnName(sqlite3_column_name(s, i), i);
        // Duplicate names get a suffix, as a dataset needs every name once.
        for (int k = 1;; ++k) {
            bool taken = false;
            for (int j = 0; j < i && !taken; ++j)
                taken = columns[j].name == name;
            if (!taken) break;
            name = columnName(sqlite3_column_name(s, i), i) + "_" + std::to_string(k);
        }
        c.name = std::move(name);
        if (const char* declared = sqlite3_column_decltype(s, i))
            c.declared = Schema::fromDeclaredType(declared);
    }

    std::vector<Row> rows;
    std::vector<std::optional<std::string_view>> values(static_cast<std::size_t>(n));
    // What the packet will take, counted as written (escapes included) while the rows are read,
    // so that an answer past the cap is refused before it costs more than the cap.
    std::size_t bytes = 0;
    m_c.startClock(m_limits.statementTime);
    int rc = SQLITE_DONE;
    while (bytes <= m_limits.maxAnswerBytes && (rc = sqlite3_step(s)) == SQLITE_ROW) {
        // A row held costs its own bookkeeping too, whatever its values (a join of nulls).
        bytes += sizeof(Row) + 2 * sizeof(void*);
        for (int i = 0; i < n && bytes <= m_limits.maxAnswerBytes; ++i) {
            auto& c = columns[static_cast<std::size_t>(i)];
            auto& v = values[static_cast<std::size_t>(i)];
            bytes += c.name.size() + 8;  // what the value costs even when null
            const int type = sqlite3_column_type(s, i);
            if (type == SQLITE_NULL) {
                v.reset();
                continue;
            }
            // The number first: asking for the text converts the value.
            const std::int64_t integer = type == SQLITE_INTEGER ? sqlite3_column_int64(s, i) : 0;
            const bool int32 =
                type == SQLITE_INTEGER && integer == static_cast<std::int32_t>(integer);
            const bool finite = type != SQLITE_FLOAT || std::isfinite(sqlite3_column_double(s, i));
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
            v = std::string_view(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(s, i)));
            bytes += escapedLength(*v);
            if (c.declared) {
                const ColumnKind kind = c.declared->kind;
                if ((kind == ColumnKind::Date && !compactDate(*v)) ||
                    (kind == ColumnKind::Integer && !int32)) {
                    c.declared.reset();  // not what the column declares: typed from the values
                } else if ((kind == ColumnKind::Narrow || kind == ColumnKind::Wide) &&
                           v->size() > static_cast<std::size_t>(c.declared->length)) {
                    // Neither code page 936 bytes nor UTF-16 units exceed the UTF-8 length, so
                    // only a long value needs measuring.
                    const FieldDef def = fieldOf(c, {}, 0);
                    if (const auto size = def.storedSize(*v);
                        size > static_cast<std::size_t>(def.width))
                        c.widest = size;
                }
            }
            c.anyValue = true;
            c.allInt = c.allInt && type == SQLITE_INTEGER;
            c.allInt32 = c.allInt32 && (type != SQLITE_INTEGER || int32);
            c.allNumeric =
                c.allNumeric && finite && (type == SQLITE_INTEGER || type == SQLITE_FLOAT);
        }
        if (bytes <= m_limits.maxAnswerBytes) rows.push_back(Row::fromValues(values));
    }
    m_c.stopClock();
    if (bytes <= m_limits.maxAnswerBytes && rc != SQLITE_DONE) failed(rc);

    // Dates are stored as "yyyy-mm-dd" and travel as "yyyymmdd".
    std::vector<std::size_t> dates;
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (columns[i].declared && columns[i].declared->kind == ColumnKind::Date)
            dates.push_back(i);
    if (!dates.empty()) {
        std::vector<std::string> converted(columns.size());
        for (auto& row : rows) {
            for (std::size_t i = 0; i < columns.size(); ++i)
                values[i] = row.get(i);
            for (std::size_t i : dates)
                if (values[i]) values[i] = converted[i] = *compactDate(*values[i]);
            row = Row::fromValues(values);
        }
    }

    const auto tooLarge = [&] {
        return StatementError("查询结果太大：超过 " +
                                  std::to_string(m_limits.maxAnswerBytes >> 20) +
                                  " MiB 的上限，请缩小查询范围。",
                              std::to_string(rows.size()) + " 行时中止", false);
    };
    if (bytes > m_limits.maxAnswerBytes) throw tooLarge();

    std::vector<FieldDef> fields;
    for (std::size_t i = 0; i < columns.size(); ++i)
        fields.push_back(fieldOf(columns[i], rows, i));
    // `bytes` already counts every value as written and its attribute name.
    PacketWriter writer(fields, false, 256 + fields.size() * 80 + rows.size() * 8 + bytes);
    for (const auto& row : rows)
        writer.row(row);
    Answer answer{writer.finish(), rows.size()};
    if (answer.packet.size() > m_limits.maxAnswerBytes) throw tooLarge();
    return answer;
}

long long SqlRunner::execute(std::string_view sql) {
    Statement stmt = prepare(sql, Side::Write);
    if (!m_c.guard().writes())
        throw StatementError("语句被拒绝：写入端只接受一条 INSERT、UPDATE 或 DELETE 语句。", {},
                             true);
    m_c.startClock(m_limits.statementTime);
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    }
    m_c.stopClock();
    if (rc != SQLITE_DONE) failed(sqlite3_extended_errcode(m_c.db().handle()));
    return sqlite3_changes64(m_c.db().handle());
}

}  // namespace tarvelo::server
