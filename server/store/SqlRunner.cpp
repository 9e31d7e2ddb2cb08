#include "server/store/SqlRunner.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "data/DataPacket.h"
#include "data/PacketWriter.h"
#include "server/store/DbError.h"
#include "server/store/Schema.h"
#include "server/store/ServiceConnection.h"
#include "text/CodePage936.h"
#include "text/NumberText.h"

namespace tarvelo::server {

std::atomic<std::size_t> SqlRunner::s_building{0};

namespace {

// A computed text column is at least this wide, so that a client that writes into a display
// column (a role tick, a marker) is not refused because every value it was loaded with happened
// to be a single blank.
constexpr int kMinComputedWidth = 20;

bool isNameChar(char c, bool first) {
    const auto b = static_cast<unsigned char>(c);
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || b >= 0x80 ||
           (!first && ((c >= '0' && c <= '9') || c == '.' || c == '-'));
}

// The packet's name of a result column: upper case, as the service's database folds unquoted
// names; an expression without an alias, whose text is no attribute name, is named by position.
std::string columnName(const std::string& raw, int index) {
    std::string name = upperName(raw);
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
    return significantText(static_cast<double>(ms.count()) / 1000.0, 3);
}

}  // namespace

void SqlRunner::failed(const DbError& e) {
    const std::string& detail = e.detail();
    if (m_c.timedOut() || e.cause() == DbError::Cause::Interrupted)
        throw StatementError("语句执行超过 " + seconds(m_limits.statementTime) + " 秒，已被中止。",
                             detail, false);
    if (auto told = Schema::describeViolation(e.violation()))
        throw StatementError(*told, detail, false);
    switch (e.cause()) {
        case DbError::Cause::Unique:
            throw StatementError("已有相同主键的行。", detail, false);
        case DbError::Cause::NotNull:
            throw StatementError("主键列不能为空。", detail, false);
        case DbError::Cause::Busy:
            throw StatementError("数据库正忙，请稍后再试。", detail, false);
        case DbError::Cause::TooBig:
            throw StatementError("语句产生的值太大。", detail, false);
        case DbError::Cause::ReadOnly:
        case DbError::Cause::Disconnected:
            throw StatementError(e.message(), detail, false);
        case DbError::Cause::Syntax:
        case DbError::Cause::Denied:
            throw StatementError(e.message(), detail, true);
        default:
            throw StatementError("语句执行失败。", detail, false);
    }
}

SqlRunner::Answer SqlRunner::query(std::string_view sql, const RowFilter& filter) {
    const auto stmt = m_c.prepareArrived(sql, Side::Read);
    DbStatement& s = *stmt;
    // The clock stops the statement; the packet built after it counts against the same limit.
    const auto started = std::chrono::steady_clock::now();
    const auto pastTime = [&] {
        return m_limits.statementTime.count() > 0 &&
               std::chrono::steady_clock::now() - started > m_limits.statementTime;
    };
    const auto timedOut = [&] {
        return StatementError("语句执行超过 " + seconds(m_limits.statementTime) + " 秒，已被中止。",
                              "生成数据包时超时", false);
    };
    m_c.startClock(m_limits.statementTime);
    int n = 0;
    try {
        n = s.columnCount();  // PostgreSQL knows the columns once the statement has started
    } catch (const DbError& e) {
        m_c.stopClock();
        failed(e);
    }

    std::vector<ResultColumn> columns(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        auto& c = columns[static_cast<std::size_t>(i)];
        const std::string raw = s.columnName(i);
        std::string name = columnName(raw, i);
        // Duplicate names get a suffix, as a dataset needs every name once.
        for (int k = 1;; ++k) {
            bool taken = false;
            for (int j = 0; j < i && !taken; ++j)
                taken = columns[j].name == name;
            if (!taken) break;
            name = columnName(raw, i) + "_" + std::to_string(k);
        }
        c.name = std::move(name);
        c.declared = s.declared(i);
    }

    // Answers being built at once hold memory beside the ones already built: the whole
    // service's are held within a budget, reserved a piece at a time as rows are read.
    struct Reservation {
        std::size_t bytes = 0;
        ~Reservation() { s_building -= bytes; }
    } reserved;
    const auto reserve = [&](std::size_t needed) {
        while (reserved.bytes < needed) {
            constexpr std::size_t kPiece = 1 << 20;
            reserved.bytes += kPiece;
            if (s_building.fetch_add(kPiece) + kPiece > m_limits.buildingBudget) {
                m_c.stopClock();
                throw StatementError(
                    "数据服务正忙，请稍后再试。",
                    "同时生成的答复超过 " + std::to_string(m_limits.buildingBudget >> 20) + " MiB",
                    false);
            }
        }
    };
    std::vector<Row> rows;
    std::vector<std::optional<std::string_view>> values(static_cast<std::size_t>(n));
    // What the packet will take, counted as written (escapes included) while the rows are read,
    // so that an answer past the cap is refused before it costs more than the cap.
    std::size_t bytes = 0;
    const auto step = [&] {
        try {
            return s.step();
        } catch (const DbError& e) {
            m_c.stopClock();
            failed(e);
        }
    };
    while (bytes <= m_limits.maxAnswerBytes && step()) {
        // A row held costs its own bookkeeping too, whatever its values (a join of nulls).
        bytes += sizeof(Row) + 2 * sizeof(void*);
        for (int i = 0; i < n && bytes <= m_limits.maxAnswerBytes; ++i) {
            auto& c = columns[static_cast<std::size_t>(i)];
            auto& v = values[static_cast<std::size_t>(i)];
            bytes += c.name.size() + 8;  // what the value costs even when null
            const ValueType type = s.type(i);
            if (type == ValueType::Null) {
                v.reset();
                continue;
            }
            // The number first: asking for the text converts the value.
            const std::int64_t integer = type == ValueType::Integer ? s.integer(i) : 0;
            const bool int32 =
                type == ValueType::Integer && integer == static_cast<std::int32_t>(integer);
            const bool finite = type != ValueType::Real || std::isfinite(s.real(i));
            v = s.view(i);
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
            c.allInt = c.allInt && type == ValueType::Integer;
            c.allInt32 = c.allInt32 && (type != ValueType::Integer || int32);
            c.allNumeric =
                c.allNumeric && finite && (type == ValueType::Integer || type == ValueType::Real);
        }
        if (bytes <= m_limits.maxAnswerBytes) rows.push_back(Row::fromValues(values));
        reserve(bytes);
    }
    m_c.stopClock();

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

    if (filter) {
        std::vector<std::string> names;
        for (const auto& c : columns)
            names.push_back(c.name);
        std::vector<std::optional<std::string>> owned(columns.size());
        std::vector<Row> kept;
        for (const auto& row : rows) {
            if (kept.size() % 4096 == 4095 && pastTime()) throw timedOut();
            for (std::size_t i = 0; i < columns.size(); ++i) {
                const auto v = row.get(i);
                owned[i] = v ? std::optional<std::string>(std::string(*v)) : std::nullopt;
            }
            if (!filter(names, owned)) continue;
            for (std::size_t i = 0; i < columns.size(); ++i)
                values[i] = owned[i] ? std::optional<std::string_view>(*owned[i]) : std::nullopt;
            kept.push_back(Row::fromValues(values));
        }
        rows = std::move(kept);
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
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (r % 4096 == 4095 && pastTime()) throw timedOut();
        writer.row(rows[r]);
    }
    Answer answer{writer.finish(), rows.size()};
    if (answer.packet.size() > m_limits.maxAnswerBytes) throw tooLarge();
    return answer;
}

long long SqlRunner::execute(std::string_view sql) {
    const auto stmt = m_c.prepareArrived(sql, Side::Write);
    m_c.startClock(m_limits.statementTime);
    try {
        const long long changed = stmt->run();
        m_c.stopClock();
        return changed;
    } catch (const DbError& e) {
        m_c.stopClock();
        failed(e);
    }
}

}  // namespace tarvelo::server
