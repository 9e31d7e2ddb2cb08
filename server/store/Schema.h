#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvelo::server {

// How a column is declared and what packet type it maps onto:
//   VARCHAR(n)  -> "string", WIDTH n (code page 936 bytes)
//   NVARCHAR(n) -> "string.uni", WIDTH 2n (UTF-16 bytes)
//   INTEGER     -> "i4"
//   DATE        -> "date", stored as "yyyy-mm-dd" text, written in packets as "yyyymmdd"
enum class ColumnKind { Narrow, Wide, Integer, Date };

struct ColumnDef {
    std::string name;
    ColumnKind kind;
    int length = 0;  // characters of a VARCHAR or NVARCHAR as declared

    std::string declaredType() const;
    // The name of the column's check, which carries what a violation needs to be told:
    // "COLUMN.narrow.n", "COLUMN.wide.n", "COLUMN.i4" or "COLUMN.date".
    std::string checkName() const;
};

struct TableDef {
    std::string name;
    std::vector<ColumnDef> columns;
    std::vector<std::string> key;  // the primary key; empty for none
    bool withoutRowid = false;
    std::vector<std::vector<std::string>> indexes;

    const ColumnDef* column(std::string_view name) const;  // ASCII case ignored
    // The table with its key and the checks any SQLite program can evaluate: 32-bit integers
    // and "yyyy-mm-dd" dates.
    std::string createStatement() const;
    std::vector<std::string> indexStatements() const;
    // The width checks: TEMP triggers (insert, update) of one connection on main.<name>, calling
    // the functions registerDialect adds, so that the file itself never names them. An insert,
    // or an update of a column, with a value wider than declared fails with
    // "width check failed: COLUMN.narrow.n" (or ".wide.n"). Empty for a table without text.
    std::vector<std::string> widthTriggers() const;
};

// The service's tables: the four price tables, the two reference lists, the user and session
// tables, and the table that keeps the password transformation's secret (which no statement
// arriving through the service may read).
class Schema {
public:
    static const Schema& instance();

    const std::vector<TableDef>& tables() const { return m_tables; }
    const TableDef* table(std::string_view name) const;  // ASCII case ignored
    // Whether statements arriving through the service may touch `name` (every table but the
    // secret's).
    bool isServiceTable(std::string_view name) const;

    static constexpr std::string_view kSecretTable = "TARVELO_SECRET";

    // Every CREATE TABLE and CREATE INDEX, in order.
    std::vector<std::string> createStatements() const;
    // Whether a CREATE TABLE read from a file calls functions only the service has: the checks
    // of files written before the widths moved into TEMP triggers.
    static bool callsServiceFunctions(std::string_view storedSql);

    // The declared type of a result column, or nullopt for one the schema does not declare.
    static std::optional<ColumnDef> fromDeclaredType(std::string_view declared);

    // A failed check of the schema ("CHECK constraint failed: NAME" or "width check failed:
    // NAME") told in Chinese; nullopt when `sqliteMessage` is not one of ours.
    static std::optional<std::string> describeViolation(std::string_view sqliteMessage);

private:
    Schema();
    std::vector<TableDef> m_tables;
};

}  // namespace tarvelo::server
