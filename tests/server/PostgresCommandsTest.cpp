#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "server/store/DbStatement.h"
#include "server/store/postgresql/PgDatabase.h"
#include "server/ServerBinary.h"
#include "server/store/ServiceConnection.h"
#include "soap/SoapFault.h"
#include "support/TestService.h"
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

// A session of one side's role, as another caller's request holds it.
std::unique_ptr<server::ServiceConnection> sessionOf(const TestService& s, server::Side side) {
    return server::PgDatabase::connect(
        s.uriAs(side == server::Side::Read ? "tarvelo_read" : "tarvelo_write"), side);
}

std::string scalarOf(server::ServiceConnection& c, const std::string& sql) {
    auto q = c.prepare(sql);
    return q->step() ? q->text(0) : std::string();
}

// Neither side may take an advisory lock (one held past its statement, or thousands at once,
// fill the server's lock table) nor signal a session, though another session of its own role
// is one it could signal: every overload is refused and the other session lives on.
TEST_F(PostgresCommands, TheSidesCannotTakeAdvisoryLocksNorSignalSessions) {
    service->exec("INSERT INTO KVR_REGION VALUES ('01','东城区')");
    auto readPeer = sessionOf(*service, server::Side::Read);
    auto writePeer = sessionOf(*service, server::Side::Write);
    const std::string readPid = scalarOf(*readPeer, "SELECT pg_backend_pid()");
    const std::string writePid = scalarOf(*writePeer, "SELECT pg_backend_pid()");
    const std::string calls[] = {
        "pg_advisory_lock(1)",          "pg_advisory_lock(1, 2)",
        "pg_advisory_lock_shared(1)",   "pg_advisory_xact_lock(1)",
        "pg_advisory_xact_lock(1, 2)",  "pg_advisory_xact_lock_shared(1, 2)",
        "pg_try_advisory_lock(1)",      "pg_try_advisory_lock_shared(1, 2)",
        "pg_try_advisory_xact_lock(1)", "pg_try_advisory_xact_lock_shared(1)",
        "pg_terminate_backend(PID)",    "pg_terminate_backend(PID, 100)",
        "pg_cancel_backend(PID)",
    };
    const auto with = [](std::string call, const std::string& pid) {
        if (const auto at = call.find("PID"); at != std::string::npos) call.replace(at, 3, pid);
        return call;
    };
    for (const auto& call : calls) {
        SCOPED_TRACE(call);
        // The read side answers its error in the packet.
        const std::string answer = service->query("select " + with(call, readPid));
        EXPECT_NE(answer.find("语句被拒绝"), std::string::npos) << answer.substr(0, 300);
        try {
            service->execute("update KVR_REGION set IDDESC = IDDESC where ID = '01' and " +
                             with(call, writePid) + " is not null");
            ADD_FAILURE() << "the write side ran it";
        } catch (const SoapFault& f) {
            EXPECT_NE(f.faultString().find("语句被拒绝"), std::string::npos) << f.faultString();
        }
    }
    EXPECT_EQ(scalarOf(*readPeer, "SELECT pg_backend_pid()"), readPid);
    EXPECT_EQ(scalarOf(*writePeer, "SELECT pg_backend_pid()"), writePid);
    EXPECT_EQ(service->scalar("select count(*) from pg_locks l join pg_database d on d.oid = "
                              "l.database where l.locktype = 'advisory' and d.datname = "
                              "current_database()"),
              "0");
    EXPECT_TRUE(
        server::PgDatabase::checkSide(service->uriAs("tarvelo_read"), server::Side::Read).empty());
    EXPECT_TRUE(server::PgDatabase::checkSide(service->uriAs("tarvelo_write"), server::Side::Write)
                    .empty());
}

// Where a side may still take advisory locks (an owner that is no superuser could not take them
// away), the locks a request took end with it: the pooled session goes on to the next request
// holding none, and the service's own prepared statements still serve it.
TEST_F(PostgresCommands, AdvisoryLocksARequestTookEndWithIt) {
    service->exec("GRANT EXECUTE ON FUNCTION pg_advisory_lock(bigint) TO tarvelo_read");
    const auto warnings =
        server::PgDatabase::checkSide(service->uriAs("tarvelo_read"), server::Side::Read);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("pg_advisory_lock"), std::string::npos) << warnings[0];
    service->exec("INSERT INTO KVR_REGION VALUES ('01','东城区')");
    // Those of this database only: the tests of other databases on the server take their own.
    const std::string held =
        "select count(*) from pg_locks l join pg_database d on d.oid = l.database "
        "where l.locktype = 'advisory' and d.datname = current_database()";
    for (int request = 0; request < 5; ++request) {
        SCOPED_TRACE(request);
        ASSERT_NE(service
                      ->query("select count(pg_advisory_lock(g)) as n from "
                              "generate_series(1, 2000) g")
                      .find("2000"),
                  std::string::npos);
        // The lease ends just after the answer went out.
        for (int i = 0; i < 100 && service->scalar(held) != "0"; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(service->scalar(held), "0");
        EXPECT_NE(service->query("select IDDESC from KVR_REGION").find("东城区"),
                  std::string::npos);
    }
}

// A PostgreSQL server of the test's own, started without the sides' roles: roles belong to the
// whole server, so what init does with them is seen only where no other test made them before.
class PostgresInit : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists("/usr/lib/postgresql/15/bin/initdb"))
            GTEST_SKIP() << "PostgreSQL 15 is not installed";
        dir = std::filesystem::temp_directory_path() /
              ("tarvelo-pg-init-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        pgServer("start", "5496");
        home = pgServer("home");
    }
    void TearDown() override {
        if (dir.empty()) return;
        pgServer("stop");
        std::filesystem::remove_all(dir);
        if (!home.empty()) std::filesystem::remove_all(home);
    }

    // scripts/pg-server COMMAND DIR ARGS: its first line of output.
    std::string pgServer(const std::string& command, const std::string& args = {}) const {
        const std::string line = std::string(TARVELO_SOURCE_DIR) + "/scripts/pg-server " + command +
                                 " " + dir.string() + " " + args + " 2>&1";
        FILE* p = ::popen(line.c_str(), "r");
        std::string out;
        char buf[4096];
        while (const std::size_t n = std::fread(buf, 1, sizeof buf, p))
            out.append(buf, n);
        if (::pclose(p) != 0) throw std::runtime_error(line + " failed:\n" + out);
        return out.substr(0, out.find('\n'));
    }
    std::string uri(const std::string& database, const std::string& role = "tv") const {
        return pgServer("uri", database + " " + role);
    }
    // One value, asked of `database` as its owner.
    std::string scalar(const std::string& database, const std::string& sql) const {
        auto c = server::PgDatabase::connect(uri(database), server::Side::Internal);
        auto q = c->prepare(sql);
        return q->step() ? q->text(0) : std::string();
    }
    void exec(const std::string& database, const std::string& sql) const {
        server::PgDatabase::connect(uri(database), server::Side::Internal)->exec(sql);
    }

    // The database is one the service can be served from: each side's role holds its rights
    // there, and the limits init gives it in that database.
    void expectReady(const std::string& database) const {
        SCOPED_TRACE(database);
        EXPECT_NO_THROW(
            server::PgDatabase::checkSide(uri(database, "tarvelo_read"), server::Side::Read));
        EXPECT_NO_THROW(
            server::PgDatabase::checkSide(uri(database, "tarvelo_write"), server::Side::Write));
        EXPECT_EQ(scalar(database,
                         "SELECT string_agg(r.rolname || ' ' || array_to_string(ARRAY("
                         "SELECT unnest(s.setconfig) ORDER BY 1), ','), '; ' ORDER BY r.rolname) "
                         "FROM pg_db_role_setting s JOIN pg_roles r ON r.oid = s.setrole "
                         "WHERE s.setdatabase = (SELECT oid FROM pg_database "
                         "WHERE datname = current_database())"),
                  "tarvelo_read default_transaction_read_only=on,enable_hashagg=off,"
                  "idle_in_transaction_session_timeout=60s,statement_timeout=10s,"
                  "temp_file_limit=1GB,work_mem=16MB; "
                  "tarvelo_write idle_in_transaction_session_timeout=60s,statement_timeout=10s,"
                  "temp_file_limit=1GB,work_mem=16MB");
    }

    std::filesystem::path dir;
    std::string home;
};

// Several databases of one server initialised at once all come out whole, whichever of them
// makes the roles; two inits of one database leave it initialised once; a database added later
// takes the roles as they are.
TEST_F(PostgresInit, InitsRunAtOnceOnOneServerEachMakeTheirDatabase) {
    const std::vector<std::string> databases = {"tv_a", "tv_b", "tv_c", "tv_d"};
    for (const auto& d : databases)
        exec("postgres", "CREATE DATABASE " + d);
    std::vector<std::string> targets = databases;
    targets.push_back("tv_a");
    std::vector<BinaryOutcome> outcomes(targets.size());
    {
        // Init writes the per-database settings of a role right after making it: held there
        // until every init waits (on that lock, on a role another has not committed yet, or on
        // the other init of its database), they all meet where they can collide.
        auto holder = server::PgDatabase::connect(uri("postgres"), server::Side::Internal);
        holder->begin();
        holder->exec("LOCK TABLE pg_db_role_setting IN SHARE MODE");
        std::vector<std::jthread> inits;
        for (std::size_t i = 0; i < targets.size(); ++i)
            inits.emplace_back([&, i, target = uri(targets[i])] {
                outcomes[i] = runServerBinary({"init", "--db", target});
            });
        const std::string waiting =
            "SELECT count(*) FROM pg_stat_activity WHERE wait_event_type "
            "= 'Lock' AND application_name = 'tarvelo-server'";
        for (int i = 0; i < 300 && scalar("postgres", waiting) != std::to_string(targets.size());
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(scalar("postgres", waiting), std::to_string(targets.size()));
        holder->commit();
    }
    int refused = 0;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (targets[i] == "tv_a" && outcomes[i].status == 1 &&
            outcomes[i].out.find("已经初始化过了") != std::string::npos) {
            ++refused;
            continue;
        }
        EXPECT_EQ(outcomes[i].status, 0) << targets[i] << ":\n" << outcomes[i].out;
    }
    EXPECT_EQ(refused, 1) << "two inits of one database";
    for (const auto& d : databases)
        expectReady(d);
    EXPECT_EQ(scalar("tv_a", "SELECT count(*) FROM tarvelo_secret"), "1");

    exec("postgres", "CREATE DATABASE tv_e");
    const BinaryOutcome later = runServerBinary({"init", "--db", uri("tv_e")});
    ASSERT_EQ(later.status, 0) << later.out;
    expectReady("tv_e");
}

// Roles the server has already (made by an administrator, or left by a database since dropped)
// are taken as they are and given the rights and limits of the database being initialised.
TEST_F(PostgresInit, InitTakesTheRolesTheServerHasAlready) {
    exec("postgres", "CREATE ROLE tarvelo_read LOGIN NOINHERIT");
    exec("postgres", "CREATE ROLE tarvelo_write LOGIN NOINHERIT");
    exec("postgres", "CREATE DATABASE tv_new");
    const BinaryOutcome outcome = runServerBinary({"init", "--db", uri("tv_new")});
    ASSERT_EQ(outcome.status, 0) << outcome.out;
    expectReady("tv_new");
}

// An owner that is no superuser initialises the database and is told, statement by statement,
// what only a superuser may set; those statements, run by one, leave the database as a
// superuser's init does. An owner granted the temporary file limit sets it itself.
TEST_F(PostgresInit, AnOwnerThatIsNoSuperuserIsToldWhatASuperuserMustSet) {
    exec("postgres", "CREATE ROLE tv_owner LOGIN CREATEROLE");
    exec("postgres", "CREATE DATABASE tv_plain OWNER tv_owner");
    const BinaryOutcome outcome = runServerBinary({"init", "--db", uri("tv_plain", "tv_owner")});
    ASSERT_EQ(outcome.status, 0) << outcome.out;
    for (const char* says : {"temp_file_limit", "pg_advisory_lock(bigint)",
                             "pg_terminate_backend(integer,bigint)", "pg_cancel_backend(integer)"})
        EXPECT_NE(outcome.out.find(says), std::string::npos) << says << "\n" << outcome.out;
    EXPECT_FALSE(
        server::PgDatabase::checkSide(uri("tv_plain", "tarvelo_read"), server::Side::Read).empty());
    std::size_t statements = 0;
    for (std::size_t at = 0, end; (end = outcome.out.find('\n', at)) != std::string::npos;
         at = end + 1)
        if (const std::string line = outcome.out.substr(at, end - at); line.starts_with("  ")) {
            exec("tv_plain", line);
            ++statements;
        }
    EXPECT_GT(statements, 10u);
    expectReady("tv_plain");
    EXPECT_TRUE(
        server::PgDatabase::checkSide(uri("tv_plain", "tarvelo_read"), server::Side::Read).empty());
    EXPECT_TRUE(server::PgDatabase::checkSide(uri("tv_plain", "tarvelo_write"), server::Side::Write)
                    .empty());

    exec("postgres", "GRANT SET ON PARAMETER temp_file_limit TO tv_owner");
    exec("postgres", "CREATE DATABASE tv_granted OWNER tv_owner");
    const BinaryOutcome granted = runServerBinary({"init", "--db", uri("tv_granted", "tv_owner")});
    ASSERT_EQ(granted.status, 0) << granted.out;
    EXPECT_EQ(granted.out.find("temp_file_limit"), std::string::npos) << granted.out;
    EXPECT_EQ(scalar("tv_granted",
                     "SELECT count(*) FROM pg_db_role_setting s, pg_database d "
                     "WHERE d.oid = s.setdatabase AND d.datname = 'tv_granted' "
                     "AND 'temp_file_limit=1GB' = ANY (s.setconfig)"),
              "2");
}

}  // namespace
}  // namespace tarvelo::test
