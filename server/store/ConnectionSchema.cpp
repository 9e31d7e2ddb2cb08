#include "server/store/ConnectionSchema.h"

#include <sqlite3.h>

#include <string>
#include <vector>

#include "server/store/Schema.h"
#include "server/store/sqlite/SqliteConnection.h"
#include "server/store/sqlite/SqliteStatement.h"
#include "text/Error.h"

namespace tarvelo::server {

namespace {

struct StoredTable {
    const TableDef* def;
    bool callsServiceFunctions;
};

// The service's tables that the file holds.
std::vector<StoredTable> storedTables(const SqliteConnection& db) {
    std::vector<StoredTable> out;
    SqliteStatement q(db, "SELECT name, sql FROM main.sqlite_schema WHERE type = 'table'");
    while (q.step())
        if (const TableDef* def = Schema::instance().table(q.text(0)))
            out.push_back({def, Schema::callsServiceFunctions(q.text(1))});
    return out;
}

bool anyToRebuild(const std::vector<StoredTable>& tables) {
    for (const auto& t : tables)
        if (t.callsServiceFunctions) return true;
    return false;
}

// SQLite's way to make a change ALTER TABLE cannot: create the new table, copy the rows, drop
// the old table, rename the new one, make its indexes again. No view or trigger of the file
// refers to the service's tables, and a service connection has foreign keys off.
void rebuild(SqliteConnection& db, const TableDef& def) {
    TableDef fresh = def;
    fresh.name = def.name + "_REBUILT";
    db.exec(fresh.createStatement());
    std::string columns = def.withoutRowid ? "" : "rowid";
    for (const auto& c : def.columns)
        columns += (columns.empty() ? "" : ", ") + c.name;
    db.exec("INSERT INTO main." + fresh.name + " (" + columns + ") SELECT " + columns +
            " FROM main." + def.name);
    db.exec("DROP TABLE main." + def.name);
    db.exec("ALTER TABLE main." + fresh.name + " RENAME TO " + def.name);
    for (const auto& sql : def.indexStatements())
        db.exec(sql);
}

void upgrade(SqliteConnection& db) {
    if (!anyToRebuild(storedTables(db))) return;
    try {
        // Another connection may be at it at the same moment: look again under the write lock.
        db.exec("BEGIN IMMEDIATE");
        for (const auto& t : storedTables(db))
            if (t.callsServiceFunctions) rebuild(db, *t.def);
        db.exec("COMMIT");
    } catch (const Error& e) {
        sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        const char* file = sqlite3_db_filename(db.handle(), "main");
        throw Error("无法把数据库文件“" + std::string(file ? file : "") +
                        "”的表升级到本版本的结构（去掉只有本服务认识的检查函数），文件保持原样。",
                    e.detail());
    }
}

}  // namespace

void prepareSchema(SqliteConnection& db) {
    upgrade(db);
    for (const auto& t : storedTables(db))
        for (const auto& sql : t.def->widthTriggers()) {
            try {
                db.exec(sql);
            } catch (const Error& e) {
                throw Error("无法为表 " + t.def->name + " 建立列宽检查。", e.detail());
            }
        }
}

}  // namespace tarvelo::server
