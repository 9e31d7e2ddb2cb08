#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "server/store/DemoData.h"
#include "server/ServerCommand.h"
#include "server/ServerFixture.h"
#include "server/store/sqlite/SqliteServiceConnection.h"
#include "server/store/sqlite/SqliteStatement.h"
#include "text/Base64.h"
#include "text/Date.h"

namespace tarvelo::test {
namespace {

using server::runServerCommand;

TEST(ServerCommand, InitDemoDataAndAddUserWorkAndRefuseWhatWouldLoseData) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("tarvelo-command-test-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string db = (dir / "demo.db").string();

    EXPECT_EQ(runServerCommand({"init", "--db", db}), 0);
    EXPECT_EQ(runServerCommand({"init", "--db", db}), 1);  // already initialised: untouched
    EXPECT_EQ(runServerCommand({"demo-data", "--db", db}), 0);
    EXPECT_EQ(runServerCommand({"demo-data", "--db", db}), 1);  // holds prices already
    EXPECT_EQ(runServerCommand({"add-user", "--db", db, "--id", "zoe", "--name", "佐伊",
                                "--password", "秘密", "--roles", "10"}),
              0);
    EXPECT_EQ(runServerCommand({"add-user", "--db", db, "--id", "zoe", "--name", "x", "--password",
                                "p", "--roles", "10"}),
              1);  // taken
    EXPECT_EQ(runServerCommand({"add-user", "--db", db, "--id", "z2", "--name", "x", "--password",
                                "p", "--roles", "2"}),
              1);
    EXPECT_EQ(runServerCommand({"add-user", "--db", db, "--id", "z3"}), 2);  // usage
    EXPECT_EQ(runServerCommand({"serve", "--db", (dir / "missing.db").string()}), 1);
    EXPECT_EQ(runServerCommand({"serve", "--db", db, "--listen", "127.0.0.1:65536"}), 2);
    EXPECT_EQ(runServerCommand({"serve", "--db", db, "--tls-cert", "/nonexistent/cert.pem",
                                "--tls-key", "/nonexistent/key.pem"}),
              1);
    EXPECT_EQ(runServerCommand({"serve", "--db", db, "--tls-cert", "cert.pem"}), 2);
    EXPECT_EQ(runServerCommand({"frobnicate"}), 2);
    EXPECT_EQ(runServerCommand({"serve", "--help"}), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.db"));

    // The demonstration data has what the client's lists and searches need.
    server::SqliteServiceConnection c(db);
    const auto scalar = [&](std::string_view sql) {
        server::SqliteStatement q(c.db(), sql);
        return q.step() ? q.text(0) : std::string();
    };
    EXPECT_EQ(scalar("select count(*) from KVR_REGION"), "24");
    EXPECT_EQ(scalar("select count(*) from KVR_ICEXT"), "8");
    EXPECT_EQ(scalar("select count(distinct PERDID) from KVR_XXJ"), "12");
    EXPECT_EQ(scalar("select max(PERDID) from KVR_CSJ"), Date::today().period());
    EXPECT_EQ(scalar("select count(*) > 0 from KVR_MMJ where MMJ='面议'"), "1");
    EXPECT_EQ(scalar("select group_concat(USERID||DATABZ||SYSBZ) from (select * from KVR_USERH "
                     "order by USERID)"),
              "admin110,editor100,system111,viewer000,zoe100");
    // Each unit's SERIAL runs from 1 without gaps.
    EXPECT_EQ(scalar("select count(*) from (select PERDID, PLACE, max(SERIAL) m, count(*) n from "
                     "KVR_XXJ group by PERDID, PLACE) where m <> n"),
              "0");
    std::filesystem::remove_all(dir);
}

// What `serve` writes to stderr when run by an account that may not write the database file
// (root may write anything, so a child process as nobody stands in for such an account).
std::string serveAsAnotherAccount(const std::string& db) {
    int out[2];
    if (::pipe(out) != 0) return "pipe failed";
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], 2);
        ::close(out[0]);
        ::alarm(20);  // a service that started after all ends here
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        ::_exit(runServerCommand({"serve", "--db", db, "--listen", "127.0.0.1:0"}));
    }
    ::close(out[1]);
    std::string text;
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return text + "(exit " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")";
}

TEST(ServerCommand, AReadOnlyDatabaseFileIsNamedSo) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("tarvelo-readonly-test-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string db = (dir / "prices.db").string();
    ASSERT_EQ(runServerCommand({"init", "--db", db}), 0);
    ::chmod(db.c_str(), 0444);
    const std::string said = serveAsAnotherAccount(db);
    EXPECT_NE(said.find("数据库文件只读"), std::string::npos) << said;
    EXPECT_NE(said.find("(exit 1)"), std::string::npos) << said;
    // A folder the service's account may not enter is named as such (it was an English library
    // text). Only another account than the owner meets it.
    if (::geteuid() == 0) {
        ::chmod(dir.c_str(), 0700);
        const std::string denied = serveAsAnotherAccount(db);
        EXPECT_EQ(denied.rfind("无法访问数据库文件“" + db + "”：运行服务的账号没有权限进入", 0), 0u)
            << denied;
    }
    std::filesystem::remove_all(dir);
}

TEST(ServerCommand, DemoPasswordsVerifyThroughTheService) {
    TestService service;
    server::DemoData::addUser(service.dbPath(), "amy", "艾米", "密码 with blanks", "11", false);
    EXPECT_EQ(service.scalar("select PASSWORD from KVR_USERH where USERID='amy'"),
              service.enVerifs(base64Encode("密码 with blanks")));
}

}  // namespace
}  // namespace tarvelo::test
