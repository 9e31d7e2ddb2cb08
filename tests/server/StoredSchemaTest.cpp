#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "server/store/Dialect.h"
#include "server/store/Schema.h"
#include "server/ServerFixture.h"
#include "server/store/sqlite/SqliteConnection.h"
#include "server/store/sqlite/SqliteStatement.h"
#include "server/store/Store.h"
#include "soap/SoapFault.h"
#include "support/Command.h"
#include "support/Packets.h"
#include "text/Error.h"

namespace tarvelo::test {
namespace {

namespace fs = std::filesystem;

// The sqlite3 command-line shell on `path`, stopping at the first error (-bail).
CommandResult sqliteShell(const std::string& path, const std::string& sql) {
    const fs::path script = fs::path(path).parent_path() / "shell.sql";
    std::ofstream(script) << sql << "\n";
    return runCommand("sqlite3 -bail '" + path + "' < '" + script.string() + "'");
}

// Every row of every table of the service, each value as SQLite quotes it, rowids included.
std::vector<std::string> contents(const std::string& path) {
    server::SqliteConnection db(path, false);
    std::vector<std::string> rows;
    for (const auto& t : server::Schema::instance().tables()) {
        std::string row = t.withoutRowid ? "" : "quote(rowid)";
        server::SqliteStatement columns(db, "SELECT name FROM pragma_table_info('" + t.name + "')");
        while (columns.step())
            row += (row.empty() ? "quote(" : " || ',' || quote(") + columns.text(0) + ")";
        server::SqliteStatement q(
            db, "SELECT '" + t.name + ": ' || " + row + " FROM " + t.name + " ORDER BY 1");
        while (q.step())
            rows.push_back(q.text(0));
    }
    return rows;
}

std::string storedSchema(const std::string& path) {
    server::SqliteConnection db(path, false);
    server::SqliteStatement q(db, "SELECT group_concat(sql, ';') FROM sqlite_schema");
    return q.step() ? q.text(0) : std::string();
}

// A file as the service wrote it while its width checks called its own functions.
fs::path olderFile(const fs::path& dir, std::string_view change = {}) {
    fs::create_directories(dir);
    const fs::path path = dir / "older.db";
    fs::remove(path);
    std::ifstream in(fs::path(TARVELO_FIXTURES) / "databases" / "widths-in-schema.sql");
    std::stringstream sql;
    sql << in.rdbuf();
    server::SqliteConnection db(path.string(), true);
    server::registerDialect(db.handle());
    db.exec(sql.str());
    if (!change.empty()) db.exec(change);
    return path;
}

fs::path scratchDir(std::string_view name) {
    return fs::temp_directory_path() /
           ("tarvelo-stored-schema-" + std::to_string(::getpid()) + "-" + std::string(name));
}

// What any SQLite program may do with a file the service has opened, and what the service
// still refuses.
void expectOpenToOtherProgramsAndGuardedByTheService(TestService& service) {
    const CommandResult edit = sqliteShell(
        service.dbPath(),
        "INSERT INTO KVR_LOGIN VALUES ('amy', 'M', '20261211'); UPDATE KVR_LOGIN SET RQ='20260101';"
        "SELECT count(*) FROM KVR_LOGIN WHERE RQ <> '20260101'; PRAGMA integrity_check;");
    EXPECT_EQ(edit.status, 0) << edit.output;
    EXPECT_EQ(edit.output, "0\nok\n");
    // The checks SQLite evaluates itself stay in the file, for every program that writes it.
    const CommandResult wrong =
        sqliteShell(service.dbPath(),
                    "INSERT INTO KVR_XXJ (PERDID, PLACE, SERIAL) VALUES ('202612', '北区', 'x');");
    EXPECT_NE(wrong.status, 0);
    EXPECT_NE(wrong.output.find("CHECK constraint failed: SERIAL.i4"), std::string::npos)
        << wrong.output;
    try {
        service.execute("update KVR_LOGIN set RQ='202601011'");
        ADD_FAILURE() << "a value wider than its column was stored";
    } catch (const SoapFault& f) {
        EXPECT_EQ(f.faultString(),
                  "列 RQ 的值太长：最多 8 字节（代码页 936，汉字占 2 字节）。（width check failed: "
                  "RQ.narrow.8）");
    }
    EXPECT_EQ(service.scalar("select group_concat(distinct RQ) from KVR_LOGIN"), "20260101");
    EXPECT_EQ(service.scalar("select count(*) from KVR_XXJ where SERIAL='x'"), "0");
}

TEST(StoredSchema, AFreshFileHoldsOnlyWhatEverySqliteProgramUnderstands) {
    TestService service;
    loadPriceFixture(service);
    EXPECT_EQ(storedSchema(service.dbPath()).find("_length("), std::string::npos);
    expectOpenToOtherProgramsAndGuardedByTheService(service);
}

TEST(StoredSchema, AnOlderFileIsRebuiltWithEveryRowOnOpen) {
    const fs::path dir = scratchDir("rebuilt");
    const fs::path older = olderFile(dir);
    const std::vector<std::string> before = contents(older.string());
    ASSERT_EQ(before.size(), 13u);
    ASSERT_EQ(sqliteShell(older.string(), "UPDATE KVR_LOGIN SET RQ='20260101';").status, 1);
    {
        TestService service(TestService::ExistingFile{older});
        const std::string schema = storedSchema(service.dbPath());
        EXPECT_EQ(schema.find("_length("), std::string::npos) << schema;
        EXPECT_EQ(schema.find("_REBUILT"), std::string::npos) << schema;
        EXPECT_EQ(contents(service.dbPath()), before);
        EXPECT_EQ(service.scalar("select group_concat(name) from sqlite_schema where type='index'"
                                 " and tbl_name='KVR_LOGIN'"),
                  "KVR_LOGIN_BY_USERID");
        EXPECT_EQ(service.scalar("pragma integrity_check"), "ok");
        // The rows read and write through the service as before.
        EXPECT_NE(service.query("select * from KVR_XXJ").find("第一行&#013;&#010;第二行"),
                  std::string::npos);
        EXPECT_EQ(service.enVerifs("YWJj").size(), 44u);
        // A second opening finds nothing to do.
        { server::Store reopened(service.dbPath()); }
        EXPECT_EQ(storedSchema(service.dbPath()), schema);
        expectOpenToOtherProgramsAndGuardedByTheService(service);
    }
    fs::remove_all(dir);
}

TEST(StoredSchema, AFailedRebuildLeavesTheOlderFileAsItWas) {
    const fs::path dir = scratchDir("failed");
    // A session table without the column RQ cannot be copied into today's.
    const fs::path older = olderFile(dir, "ALTER TABLE KVR_LOGIN RENAME COLUMN RQ TO WHEN_SEEN");
    const std::string schema = storedSchema(older.string());
    const std::vector<std::string> before = contents(older.string());
    try {
        server::Store store(older.string());
        ADD_FAILURE() << "opened";
    } catch (const Error& e) {
        EXPECT_NE(e.message().find("升级"), std::string::npos) << e.what();
        EXPECT_NE(e.message().find("文件保持原样"), std::string::npos) << e.what();
        EXPECT_NE(e.detail().find("RQ"), std::string::npos) << e.what();
    }
    EXPECT_EQ(storedSchema(older.string()), schema);
    EXPECT_EQ(contents(older.string()), before);
    fs::remove_all(dir);
}

TEST(StoredSchema, TheServiceRefusesWhatTheFileNoLongerChecksAsBefore) {
    TestService service;
    loadPriceFixture(service);
    const struct {
        std::string sql;
        std::string says;
    } cases[] = {
        {"update KVR_USERH set DATABZ='110' where USERID='amy'",
         "列 DATABZ 的值太长：最多 2 字节（代码页 936，汉字占 2 字节）。"},
        {"insert into KVR_REGION values ('03','东城区东城区东')",
         "列 IDDESC 的值太长：最多 12 字节（代码页 936，汉字占 2 字节）。"},
        {"update KVR_XXJ set SPECID=replace(hex(zeroblob(49)),'00','规')",
         "列 SPECID 的值太长：最多 48 个字。"},
        {"update KVR_XXJ set SERIAL='x'", "列 SERIAL 只能存放 32 位整数。"},
        {"update KVR_XXJ set RQ='2026-13-01'", "列 RQ 只能存放日期（yyyy-mm-dd）。"},
    };
    for (const auto& c : cases) {
        try {
            service.execute(c.sql);
            ADD_FAILURE() << "stored: " << c.sql;
        } catch (const SoapFault& f) {
            EXPECT_EQ(f.faultString().find(c.says), 0u) << c.sql << " -> " << f.faultString();
        }
    }
    // The delta of an upload meets the same checks.
    const std::string params =
        statement({"SQL00=Select 'AAA' AAA From KVR_REGION Where 1=2",
                   "Key00=ResolveToSQL;upWhereChanged;ID", "Inc00=", "Exc00="});
    try {
        service.applyDelta(params,
                           packet(R"(<FIELD attrname="ID" fieldtype="string" WIDTH="8"/>)"
                                  R"(<FIELD attrname="IDDESC" fieldtype="string" WIDTH="20"/>)",
                                  R"(<ROW RowState="4" ID="03" IDDESC="南湖区南湖区南"/>)", true));
        ADD_FAILURE() << "a delta row wider than its column was stored";
    } catch (const SoapFault& f) {
        EXPECT_EQ(f.faultString().find("第 1 行：列 IDDESC 的值太长：最多 12 字节"), 0u)
            << f.faultString();
    }
    // An update is held to the widths in the columns it changes: a row another program stored
    // too wide can still be edited in the others.
    server::SqliteConnection(service.dbPath(), false)
        .exec("insert into KVR_REGION values ('09','很长很长很长很长的地区')");
    EXPECT_EQ(service.execute("update KVR_REGION set ID='10' where ID='09'"), 1);
    EXPECT_THROW(service.execute("update KVR_REGION set IDDESC=IDDESC||'区' where ID='10'"),
                 SoapFault);
    EXPECT_EQ(service.scalar("select count(*) from KVR_REGION"), "3");
    EXPECT_EQ(service.scalar("select DATABZ from KVR_USERH where USERID='amy'"), "10");
    EXPECT_EQ(service.scalar("select count(*) from KVR_XXJ where SERIAL='x' or RQ='2026-13-01'"),
              "0");
}

}  // namespace
}  // namespace tarvelo::test
