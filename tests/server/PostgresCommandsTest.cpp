#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "server/ServerBinary.h"
#include "support/TestService.h"
#include "soap/SoapFault.h"
#include "text/Base64.h"

namespace tarvelo::test {
namespace {

class PostgresCommands : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TestService::onPostgres()) GTEST_SKIP() << "runs in the suites' PostgreSQL run";
        service.emplace();
    }
    std::optional<TestService> service;
};

TEST_F(PostgresCommands, ServeAcceptsOnlyRolesThatCanDoNoMoreThanTheirSide) {
    const std::string owner = service->dbPath();
    const std::string read = service->uriAs("tarvelo_read");
    const std::string write = service->uriAs("tarvelo_write");
    const struct {
        std::vector<std::string> args;
        const char* says;
    } refused[] = {
        {{"--db", owner}, "是超级用户"},
        {{"--db", write}, "能修改数据"},
        {{"--db", read, "--write-db", read}, "没有写入数据表的权限"},
        {{"--db", read, "--write-db", owner}, "是超级用户"},
        {{"--db", (service->dir() / "x.db").string(), "--write-db", write}, "只有 PostgreSQL"},
    };
    for (const auto& c : refused) {
        std::vector<std::string> args{"serve", "--listen", "127.0.0.1:0"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const BinaryOutcome outcome = runServerBinary(args);
        EXPECT_EQ(outcome.status, 1) << outcome.out;
        EXPECT_NE(outcome.out.find(c.says), std::string::npos) << c.says << "\n" << outcome.out;
        EXPECT_EQ(outcome.out.find("已启动"), std::string::npos) << outcome.out;
    }
}

TEST_F(PostgresCommands, InitAddUserAndBackupWorkOnTheDatabase) {
    const std::string owner = service->dbPath();
    const BinaryOutcome again = runServerBinary({"init", "--db", owner});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.out.find("已经初始化过了"), std::string::npos) << again.out;

    // The stored form is the one the client compares with what EnVerifs returns.
    const BinaryOutcome added = runServerBinary({"add-user", "--db", owner, "--id", "dan", "--name",
                                                 "丹", "--password", "口令 1'", "--roles", "10"});
    ASSERT_EQ(added.status, 0) << added.out;
    EXPECT_EQ(service->scalar("select PASSWORD from KVR_USERH where USERID='dan'"),
              service->enVerifs(base64Encode("口令 1'")));

    const std::string copy = (service->dir() / "backup.dump").string();
    const BinaryOutcome backup = runServerBinary({"backup", "--db", owner, "--to", copy});
    ASSERT_EQ(backup.status, 0) << backup.out;
    EXPECT_GT(std::filesystem::file_size(copy), 0u);
    const BinaryOutcome twice = runServerBinary({"backup", "--db", owner, "--to", copy});
    EXPECT_EQ(twice.status, 1);
    EXPECT_NE(twice.out.find("--overwrite"), std::string::npos) << twice.out;
    // A complete archive of the tables and the account just added.
    FILE* p = ::popen(("pg_restore --data-only --table=kvr_userh --file=- " + copy).c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string restored;
    char buf[4096];
    while (const std::size_t n = std::fread(buf, 1, sizeof buf, p))
        restored.append(buf, n);
    EXPECT_EQ(::pclose(p), 0);
    EXPECT_NE(restored.find("dan\t丹"), std::string::npos) << restored.substr(0, 400);
}

// The database server drops the sessions of the read side (a restart, a replica switched): the
// next query runs on a new session instead of failing; a write is never sent twice.
TEST_F(PostgresCommands, AQueryOutlivesTheSessionTheDatabaseDropped) {
    service->exec("INSERT INTO KVR_REGION VALUES ('01','东城区')");
    const auto dropSessions = [&] {
        service->scalar(
            "select count(pg_terminate_backend(pid)) from pg_stat_activity where usename in "
            "('tarvelo_read', 'tarvelo_write') and datname = current_database()");
    };
    ASSERT_NE(service->query("select IDDESC from KVR_REGION").find("东城区"), std::string::npos);
    EXPECT_EQ(service->execute("update KVR_REGION set IDDESC='东城' where ID='01'"), 1);
    dropSessions();
    EXPECT_NE(service->query("select IDDESC from KVR_REGION").find("东城"), std::string::npos);
    // The write side's dropped session fails this write, plainly, and the next one goes through.
    try {
        service->execute("update KVR_REGION set IDDESC='东城区' where ID='01'");
    } catch (const SoapFault& f) {
        EXPECT_NE(f.faultString().find("连接断开"), std::string::npos) << f.faultString();
    }
    EXPECT_EQ(service->execute("update KVR_REGION set IDDESC='东城区' where ID='01'"), 1);
}

}  // namespace
}  // namespace tarvelo::test
