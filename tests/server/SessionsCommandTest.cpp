#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "server/ServerBinary.h"
#include "server/ServerFixture.h"
#include "server/store/sqlite/SqliteServiceConnection.h"
#include "text/Date.h"

namespace tarvelo::test {
namespace {

class SessionsCommand : public ::testing::Test {
protected:
    void SetUp() override { loadPriceFixture(service); }

    // The local date `n` days before today, "yyyymmdd".
    std::string daysAgo(int n) {
        return service.scalar(TestService::dialect(
            "select strftime('%Y%m%d','now','localtime','-" + std::to_string(n) + " days')",
            "select to_char(current_date - " + std::to_string(n) + ", 'YYYYMMDD')"));
    }
    // A session as the client registers one, through the write side.
    void signIn(const std::string& user, const std::string& machine, const std::string& date) {
        service.execute(
            statement({" Insert into KVR_LOGIN(USERID,MAC,RQ)  ", " Values(   '" + user + "'",
                       ",'" + machine + "'", ",'" + date + "'", "             )"}));
    }
    BinaryOutcome sessions(std::vector<std::string> args) {
        args.insert(args.begin(), {"sessions", "--db", service.dbPath()});
        return runServerBinary(std::move(args));
    }
    std::string left() {
        return service.scalar(
            "select group_concat(USERID, ',') from (select USERID from KVR_LOGIN order by 1) as l");
    }

    // A database that is not there, and what the command says of it.
    std::string missing() const {
        std::string db = service.dbPath();
        return TestService::onPostgres() ? db.insert(db.find('?'), "_missing") : db + ".missing";
    }
    static std::string missingSays() {
        return TestService::dialect("”不存在：请先运行", "无法连接 PostgreSQL 数据库");
    }

    TestService service;
};

TEST_F(SessionsCommand, ListsAndRemovesRowsLeftBehindWhileTheServiceRuns) {
    EXPECT_EQ(sessions({}).out, "没有在线记录。\n");

    const std::string today = Date::today().compact();
    signIn("amy", "BFEBFBFF000906EA", today);
    signIn("amy", "0F8BFBFF00010676", daysAgo(40));  // two machines passed the check at once
    signIn("bob", "", daysAgo(31));                  // the processor query had failed
    signIn("张三", "178BFBFF00A20F12", daysAgo(30));
    signIn("sys", "AFEBFBFF000906EA", "");
    const auto shown = [](const std::string& compact) {
        return Date::fromCompact(compact)->shortText();
    };

    // Wide characters take two columns: the columns line up in a terminal.
    const BinaryOutcome listed = sessions({});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out,
              "账号  机器标识          登录日期\n"
              "----  ----------------  ----------\n"
              "amy   0F8BFBFF00010676  " +
                  shown(daysAgo(40)) +
                  "\n"
                  "amy   BFEBFBFF000906EA  " +
                  shown(today) +
                  "\n"
                  "bob   （空）            " +
                  shown(daysAgo(31)) +
                  "\n"
                  "sys   AFEBFBFF000906EA  \n"
                  "张三  178BFBFF00A20F12  " +
                  shown(daysAgo(30)) +
                  "\n"
                  "共 5 条在线记录。\n");

    // Thirty days old is not older than thirty days; a row without a readable date stays.
    const BinaryOutcome expired = sessions({"--older-than", "30"});
    EXPECT_EQ(expired.status, 0);
    EXPECT_EQ(expired.out, "已删除 2 条登录日期早于 " + shown(daysAgo(30)) +
                               " 的在线记录。\n"
                               "另有 1 条在线记录的登录日期无法识别，没有删除；需要时用 --clear "
                               "按账号删除。\n");
    EXPECT_EQ(left(), "amy,sys,张三");
    EXPECT_EQ(sessions({"--older-than", "30"}).out.rfind("没有登录日期早于 ", 0), 0u);

    EXPECT_EQ(sessions({"--clear", "张三"}).out,
              "已删除账号“张三”的 1 条在线记录，该账号现在可以在任何一台机器上登录。\n");
    EXPECT_EQ(
        sessions({"--clear", "张三"}).out,
        "账号“张三”没有在线记录，没有删除任何记录。（数据库中也没有这个账号，请检查拼写。）\n");
    EXPECT_EQ(sessions({"--clear", "bob"}).out, "账号“bob”没有在线记录，没有删除任何记录。\n");

    // The service is writing at that moment: the command waits for the write rather than fail.
    const auto writer = service.owner();
    writer->exec(TestService::dialect("BEGIN IMMEDIATE", "BEGIN") +
                 "; INSERT INTO KVR_LOGIN VALUES ('bob','0F8BFBFF00010676','" + today + "')");
    std::thread commit([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        writer->exec("COMMIT");
    });
    const BinaryOutcome waited = sessions({"--clear", "amy"});
    commit.join();
    EXPECT_EQ(waited.status, 0) << waited.out;
    EXPECT_EQ(left(), "bob,sys");
    // What the client's session check sees now.
    EXPECT_EQ(service.query("Select * From KVR_LOGIN  \r\nWhere USERID='amy'  \r\n").find("<ROW "),
              std::string::npos);

    EXPECT_EQ(sessions({"--older-than", "0"}).out.rfind("没有登录日期早于 " + shown(today), 0), 0u);
}

TEST_F(SessionsCommand, RefusesWhatItCannotDoWithAClearMessage) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string said;
    } cases[] = {
        {{"sessions", "--db", service.dbPath(), "--clear", "amy", "--older-than", "3"},
         2,
         "--clear 和 --older-than 只能选一个。"},
        {{"sessions", "--db", service.dbPath(), "--older-than", "-1"}, 2, "--older-than 应为天数"},
        {{"sessions", "--db", service.dbPath(), "--older-than", "一周"},
         2,
         "--older-than 应为天数"},
        {{"sessions", "--db", service.dbPath(), "--clear"}, 2, "选项 --clear 需要一个值。"},
        {{"sessions"}, 2, "缺少选项 --db。"},
        {{"sessions", "--db", missing()}, 1, missingSays()},
    };
    for (const auto& c : cases) {
        const BinaryOutcome outcome = runServerBinary(c.args);
        EXPECT_EQ(outcome.status, c.status) << c.said;
        EXPECT_NE(outcome.out.find(c.said), std::string::npos) << outcome.out;
    }
}

}  // namespace
}  // namespace tarvelo::test
