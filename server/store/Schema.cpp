#include "server/store/Schema.h"

#include "data/DataPacket.h"
#include "data/PriceTable.h"

namespace tarvelo::server {

namespace {

ColumnDef narrow(std::string name, int n) {
    return {std::move(name), ColumnKind::Narrow, n};
}

TableDef plainTable(std::string name, std::vector<ColumnDef> columns, std::vector<std::string> key,
                    std::vector<std::vector<std::string>> indexes = {}) {
    TableDef t;
    t.name = std::move(name);
    t.columns = std::move(columns);
    t.key = std::move(key);
    t.indexes = std::move(indexes);
    return t;
}

std::vector<std::string> split(std::string_view list) {
    std::vector<std::string> out;
    while (!list.empty()) {
        const auto comma = list.find(',');
        out.emplace_back(list.substr(0, comma));
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return out;
}

TableDef priceTableDef(const PriceTable& t) {
    TableDef def;
    def.name = std::string(t.tableName);
    for (const auto& c : t.columns) {
        switch (c.type) {
            case FieldType::WideString:
                def.columns.push_back({std::string(c.name), ColumnKind::Wide, c.width / 2});
                break;
            case FieldType::Int32:
                def.columns.push_back({std::string(c.name), ColumnKind::Integer});
                break;
            case FieldType::Date:
                def.columns.push_back({std::string(c.name), ColumnKind::Date});
                break;
            default:
                def.columns.push_back(narrow(std::string(c.name), c.width));
        }
    }
    // Rows are kept in key order, so the rows of one import unit (a month, and a region or
    // material class) lie together: the statements of the client all select by a key prefix.
    def.key = split(t.keyList());
    def.withoutRowid = true;
    return def;
}

// The checks that stay in the file: they call only SQLite's own functions, so that any program
// that writes the file keeps them. Widths are counted by functions only the service has: they
// are TEMP triggers of its connections instead (widthTriggers).
std::string storedCheck(const ColumnDef& c) {
    const std::string& n = c.name;
    const std::string constraint = " CONSTRAINT \"" + c.checkName() + "\" CHECK (";
    switch (c.kind) {
        case ColumnKind::Integer:
            return constraint + n + " IS NULL OR (typeof(" + n + ") = 'integer' AND " + n +
                   " BETWEEN -2147483648 AND 2147483647))";
        case ColumnKind::Date:
            return constraint + n + " IS NULL OR (typeof(" + n + ") = 'text' AND date(" + n +
                   ") IS " + n + "))";
        default:
            return {};
    }
}

constexpr std::string_view kCheckFailed = "CHECK constraint failed: ";
constexpr std::string_view kWidthFailed = "width check failed: ";

}  // namespace

std::string ColumnDef::declaredType() const {
    switch (kind) {
        case ColumnKind::Narrow:
            return "VARCHAR(" + std::to_string(length) + ")";
        case ColumnKind::Wide:
            return "NVARCHAR(" + std::to_string(length) + ")";
        case ColumnKind::Integer:
            return "INTEGER";
        case ColumnKind::Date:
            return "DATE";
    }
    return {};
}

std::string ColumnDef::checkName() const {
    switch (kind) {
        case ColumnKind::Narrow:
            return name + ".narrow." + std::to_string(length);
        case ColumnKind::Wide:
            return name + ".wide." + std::to_string(length);
        case ColumnKind::Integer:
            return name + ".i4";
        case ColumnKind::Date:
            return name + ".date";
    }
    return {};
}

const ColumnDef* TableDef::column(std::string_view n) const {
    for (const auto& c : columns)
        if (sameName(c.name, n)) return &c;
    return nullptr;
}

std::string TableDef::createStatement() const {
    std::string sql = "CREATE TABLE " + name + " (";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const auto& c = columns[i];
        if (i) sql += ", ";
        sql += c.name + " " + c.declaredType();
        for (const auto& k : key)
            if (k == c.name) sql += " NOT NULL";
        sql += storedCheck(c);
    }
    if (!key.empty()) {
        sql += ", PRIMARY KEY (";
        for (std::size_t i = 0; i < key.size(); ++i)
            sql += (i ? "," : "") + key[i];
        sql += ")";
    }
    sql += withoutRowid ? ") WITHOUT ROWID" : ")";
    return sql;
}

std::vector<std::string> TableDef::indexStatements() const {
    std::vector<std::string> out;
    for (const auto& index : indexes) {
        std::string sql = "CREATE INDEX " + name + "_BY";
        for (const auto& c : index)
            sql += "_" + c;
        sql += " ON " + name + " (";
        for (std::size_t i = 0; i < index.size(); ++i)
            sql += (i ? "," : "") + index[i];
        out.push_back(sql + ")");
    }
    return out;
}

std::vector<std::string> TableDef::widthTriggers() const {
    std::vector<std::string> out;
    for (const bool update : {false, true}) {
        std::string cases;
        for (const auto& c : columns) {
            if (c.kind != ColumnKind::Narrow && c.kind != ColumnKind::Wide) continue;
            // An update is held to the widths only in the values it changes (SQLite likewise
            // skips a CHECK constraint on columns an UPDATE does not set): a row another program
            // stored too wide stays editable in its other columns.
            cases += " WHEN ";
            if (update) cases += "NEW." + c.name + " IS NOT OLD." + c.name + " AND ";
            cases += (c.kind == ColumnKind::Narrow ? "cp936_length(NEW." : "utf16_length(NEW.") +
                     c.name + ") > " + std::to_string(c.length) + " THEN RAISE(ABORT, '" +
                     std::string(kWidthFailed) + c.checkName() + "')";
        }
        if (cases.empty()) continue;
        const std::string event = update ? "UPDATE" : "INSERT";
        out.push_back("CREATE TEMP TRIGGER " + name + "_WIDTHS_ON_" + event + " BEFORE " + event +
                      " ON main." + name + " BEGIN SELECT CASE" + cases + " END; END");
    }
    return out;
}

Schema::Schema() {
    for (const auto& t : priceTables())
        m_tables.push_back(priceTableDef(t));
    m_tables.push_back(plainTable("KVR_REGION", {narrow("ID", 8), narrow("IDDESC", 12)}, {"ID"}));
    m_tables.push_back(plainTable("KVR_ICEXT", {narrow("ID", 8), narrow("IDDESC", 48)}, {"ID"}));
    m_tables.push_back(
        plainTable("KVR_USERH",
                   {narrow("USERID", 32), narrow("USERNAME", 32), narrow("PASSWORD", 64),
                    narrow("PWBZ", 1), narrow("SYSBZ", 1), narrow("DATABZ", 2), narrow("TEL", 32),
                    narrow("QQ", 32), narrow("EMAIL", 64), narrow("VERIFY", 32)},
                   {"USERID"}));
    // No key: two machines passing the session check at the same moment may both insert a row,
    // and the release deletes every row of the account.
    m_tables.push_back(plainTable(
        "KVR_LOGIN", {narrow("USERID", 32), narrow("MAC", 32), narrow("RQ", 8)}, {}, {{"USERID"}}));
    m_tables.push_back(plainTable(std::string(kSecretTable), {narrow("SECRET", 64)}, {}));
}

const Schema& Schema::instance() {
    static const Schema schema;
    return schema;
}

const TableDef* Schema::table(std::string_view name) const {
    for (const auto& t : m_tables)
        if (sameName(t.name, name)) return &t;
    return nullptr;
}

bool Schema::isServiceTable(std::string_view name) const {
    return table(name) != nullptr && !sameName(name, kSecretTable);
}

std::vector<std::string> Schema::createStatements() const {
    std::vector<std::string> out;
    for (const auto& t : m_tables) {
        out.push_back(t.createStatement());
        for (auto& sql : t.indexStatements())
            out.push_back(std::move(sql));
    }
    return out;
}

bool Schema::callsServiceFunctions(std::string_view storedSql) {
    const std::string sql = upperName(storedSql);
    return sql.find("CP936_LENGTH(") != std::string::npos ||
           sql.find("UTF16_LENGTH(") != std::string::npos;
}

std::optional<ColumnDef> Schema::fromDeclaredType(std::string_view declared) {
    const std::string d = upperName(declared);
    if (d == "INTEGER") return ColumnDef{{}, ColumnKind::Integer};
    if (d == "DATE") return ColumnDef{{}, ColumnKind::Date};
    for (auto [prefix, kind] : {std::pair{std::string_view("VARCHAR("), ColumnKind::Narrow},
                                std::pair{std::string_view("NVARCHAR("), ColumnKind::Wide}}) {
        if (d.size() > prefix.size() + 1 && d.starts_with(prefix) && d.back() == ')') {
            int n = 0;
            for (std::size_t i = prefix.size(); i + 1 < d.size(); ++i) {
                if (d[i] < '0' || d[i] > '9' || n > 100000) return std::nullopt;
                n = n * 10 + (d[i] - '0');
            }
            if (n > 0) return ColumnDef{{}, kind, n};
        }
    }
    return std::nullopt;
}

std::optional<std::string> Schema::describeViolation(std::string_view message) {
    std::string_view name;
    for (const std::string_view prefix : {kCheckFailed, kWidthFailed}) {
        if (const auto at = message.find(prefix); at != std::string_view::npos) {
            name = message.substr(at + prefix.size());
            break;
        }
    }
    const auto dot = name.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    const std::string column(name.substr(0, dot));
    const std::string_view rest = name.substr(dot + 1);
    if (rest.starts_with("narrow."))
        return "列 " + column + " 的值太长：最多 " + std::string(rest.substr(7)) +
               " 字节（代码页 936，汉字占 2 字节）。";
    if (rest.starts_with("wide."))
        return "列 " + column + " 的值太长：最多 " + std::string(rest.substr(5)) + " 个字。";
    if (rest == "i4") return "列 " + column + " 只能存放 32 位整数。";
    if (rest == "date") return "列 " + column + " 只能存放日期（yyyy-mm-dd）。";
    return std::nullopt;
}

}  // namespace tarvelo::server
