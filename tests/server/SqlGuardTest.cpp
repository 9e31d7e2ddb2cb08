#include <gtest/gtest.h>

#include <filesystem>

#include "data/DataPacket.h"
#include "server/ServerFixture.h"
#include "soap/SoapFault.h"
#include "text/Error.h"

namespace tarvelo::test {
namespace {

// Statements neither side may run, with a word the refusal must contain, and where PostgreSQL
// words it otherwise (a statement SQLite's names make sense to it only as an error), its word.
struct Refused {
    const char* sql;
    const char* says;
    const char* postgresqlSays = nullptr;
};

// What the refusal of `c` says on the engine of this run. On PostgreSQL the write side refuses
// any query by its kind before it could meet the secret.
std::string said(const Refused& c, bool writeSide) {
    if (!TestService::onPostgres()) return c.says;
    const std::string sql = c.sql;
    if (writeSide && sql.starts_with("select"))
        return "INSERT、UPDATE 或 DELETE";
    return c.postgresqlSays ? c.postgresqlSays : c.says;
}
const Refused kNeitherSide[] = {
    {"CREATE TABLE X (A INTEGER)", "结构"},
    {"DROP TABLE KVR_XXJ", "结构"},
    {"ALTER TABLE KVR_XXJ ADD COLUMN Z", "结构"},
    {"CREATE INDEX I ON KVR_XXJ (PLACE)", "结构"},
    {"PRAGMA writable_schema=1", "PRAGMA", "语句被拒绝"},
    {"select * from pragma_table_info('KVR_XXJ')", "不允许", "语句有错误"},
    {"ATTACH DATABASE '/tmp/x.db' AS x", "ATTACH", "语句被拒绝"},
    {"BEGIN", "事务"},
    {"select SECRET from TARVELO_SECRET", "密钥"},
    {"select count(*) from TARVELO_SECRET", "密钥"},
    {"select 1 from KVR_REGION, tarvelo_secret", "密钥"},
    {"with s as (select * from TARVELO_SECRET) select 1 from s", "密钥"},
    {"VACUUM INTO '/tmp/tarvelo-guard-vacuum.db'", "语句被拒绝"},
    {"select * from sqlite_master", "结构表", "语句有错误"},
    {"select * from KVR_NOPE", "语句有错误"},
    {"select 1 from KVR_REGION; delete from KVR_REGION", "一条语句"},
    {"  \r\n  ", "空"},
};

class SqlGuard : public ::testing::Test {
protected:
    void SetUp() override { loadPriceFixture(service); }
    // Nothing a refused statement could have touched has changed.
    void expectUntouched() {
        EXPECT_EQ(service.scalar("select count(*) from KVR_REGION"), "2");
        EXPECT_EQ(service.scalar("select count(*) from KVR_XXJ"), "5");
        EXPECT_EQ(service.scalar(TestService::dialect(
                      "select count(*) from sqlite_schema where type='table'",
                      "select count(*) from pg_tables where schemaname = 'public'")),
                  "9");
        EXPECT_EQ(service.scalar("select length(SECRET) from TARVELO_SECRET"), "64");
        EXPECT_FALSE(std::filesystem::exists("/tmp/tarvelo-guard-vacuum.db"));
    }
    TestService service;
};

TEST_F(SqlGuard, TheReadSideAnswersRefusalsAsTextAndRunsNothing) {
    std::vector<Refused> cases(std::begin(kNeitherSide), std::end(kNeitherSide));
    cases.push_back({"delete from KVR_REGION", "只接受查询"});
    cases.push_back({"insert into KVR_REGION values ('9','x')", "只接受查询"});
    cases.push_back({"update KVR_USERH set DATABZ='11'", "只接受查询"});
    for (const auto& c : cases) {
        const std::string answer = service.query(c.sql);
        EXPECT_NE(answer.find(said(c, false)), std::string::npos) << c.sql << " -> " << answer;
        EXPECT_THROW(DataPacket::parse(answer), Error) << c.sql;
    }
    expectUntouched();
}

TEST_F(SqlGuard, TableValuedFunctionsInAQueryAreRefusedAsReadingTheStructure) {
    if (TestService::onPostgres())
        GTEST_SKIP() << "SQLite's table-valued functions; PostgreSQL's catalogs are readable by "
                        "design and hold no secret";
    for (const char* sql : {"select * from json_each('[1,2]')", "select * from dbstat",
                            "select name from pragma_table_info('KVR_XXJ')",
                            "select ID from KVR_REGION, json_each('[1]')"}) {
        const std::string answer = service.query(sql);
        EXPECT_NE(answer.find("不允许读取数据库的结构"), std::string::npos)
            << sql << " -> " << answer;
    }
    try {
        service.execute("insert into KVR_REGION select key, value from json_each('[\"x\"]')");
        ADD_FAILURE() << "json_each ran on the write side";
    } catch (const SoapFault& f) {
        EXPECT_NE(f.faultString().find("不允许读取数据库的结构"), std::string::npos)
            << f.faultString();
    }
    expectUntouched();
}

TEST_F(SqlGuard, TheWriteSideAnswersRefusalsAsFaults) {
    std::vector<Refused> cases(std::begin(kNeitherSide), std::end(kNeitherSide));
    cases.push_back({"select * from KVR_REGION", "INSERT、UPDATE 或 DELETE"});
    cases.push_back({"delete from TARVELO_SECRET", "密钥"});
    cases.push_back({"update TARVELO_SECRET set SECRET='0'", "密钥"});
    cases.push_back({"insert into KVR_REGION select 'x', SECRET from TARVELO_SECRET", "密钥"});
    cases.push_back({"delete from KVR_REGION; select 1", "一条语句"});
    for (const auto& c : cases) {
        try {
            service.execute(c.sql);
            ADD_FAILURE() << "not refused: " << c.sql;
        } catch (const SoapFault& f) {
            EXPECT_NE(f.faultString().find(said(c, true)), std::string::npos)
                << c.sql << " -> " << f.faultString();
        }
    }
    expectUntouched();
}

TEST_F(SqlGuard, TheWriteSideRunsTheClientsStatementsAndEnforcesWidths) {
    // The session statements of the login and the shutdown, as sent.
    EXPECT_EQ(
        service.execute(statement({" Insert into KVR_LOGIN(USERID,MAC,RQ)  ", " Values(   'amy'",
                                   ",'BFEBFBFF000906EA'", ",'20261210'", "             )"})),
        1);
    EXPECT_EQ(service.execute("update KVR_USERH set VERIFY='BFEBFBFF000906EA' where USERID='amy'"),
              1);
    EXPECT_EQ(service.execute(statement({" DELETE FROM KVR_LOGIN  ", " WHERE USERID='amy'"})), 1);

    try {
        service.execute("update KVR_USERH set DATABZ='110' where USERID='amy'");
        ADD_FAILURE() << "a value wider than its column was stored";
    } catch (const SoapFault& f) {
        EXPECT_NE(f.faultString().find("DATABZ"), std::string::npos) << f.faultString();
    }
    EXPECT_THROW(service.execute("update KVR_XXJ set SERIAL='x'"), SoapFault);
    EXPECT_THROW(service.execute("update KVR_XXJ set RQ='2026-13-01'"), SoapFault);
    // Two Chinese characters take four bytes of a six-byte period.
    EXPECT_THROW(service.execute("update KVR_XXJ set PERDID='二〇二六年'"), SoapFault);
    EXPECT_EQ(service.scalar("select DATABZ from KVR_USERH where USERID='amy'"), "10");
    EXPECT_EQ(service.scalar("select count(*) from KVR_XXJ where RQ='2026-12-05'"), "3");
}

}  // namespace
}  // namespace tarvelo::test
