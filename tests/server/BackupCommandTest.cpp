#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "server/store/DemoData.h"
#include "server/ServerBinary.h"
#include "server/store/sqlite/SqliteServiceConnection.h"
#include "server/store/sqlite/SqliteStatement.h"
#include "server/store/Store.h"
#include "text/Date.h"

namespace tarvelo::test {
namespace {

namespace fs = std::filesystem;

constexpr int kBatchRows = 50;

std::string scalar(server::SqliteServiceConnection& c, std::string_view sql) {
    server::SqliteStatement q(c.db(), sql);
    return q.step() ? q.text(0) : std::string();
}

class BackupCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tarvelo-backup-test-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        db = (dir / "prices.db").string();
        server::Store::initialise(db);
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path dir;
    std::string db;
};

// Each transaction of the writer adds one batch of rows and counts it in another table, so a copy
// that caught a transaction half-way, or mixed two moments, shows it.
void writeBatch(server::SqliteServiceConnection& c, int batch) {
    std::string sql = "BEGIN IMMEDIATE; INSERT INTO KVR_REGION (ID, IDDESC) VALUES ";
    for (int i = 0; i < kBatchRows; ++i)
        sql += (i ? "," : "") + ("('b" + std::to_string(batch * kBatchRows + i) + "','") +
               std::to_string(batch) + "')";
    sql += "; UPDATE KVR_ICEXT SET IDDESC='" + std::to_string(batch) + "' WHERE ID='batches';";
    sql += "COMMIT";
    c.db().exec(sql);
}

TEST_F(BackupCommand, CopiesALiveDatabaseAsItStoodAtOneMomentWhileWritesGoOn) {
    server::DemoData::Volume volume;
    volume.infoRows = 200000;
    server::DemoData::loadVolume(db, Date::today(), volume);
    server::SqliteServiceConnection writing(db);
    writing.db().exec("INSERT INTO KVR_ICEXT VALUES ('batches','0')");

    std::atomic<int> committed{0};
    std::atomic<bool> done{false};
    std::string failed;
    std::thread writer([&] {
        try {
            while (!done) {
                writeBatch(writing, committed + 1);
                ++committed;
            }
        } catch (const std::exception& e) {
            failed = e.what();
            done = true;
        }
    });
    while (committed < 20 && !done)
        std::this_thread::yield();
    const int before = committed;
    const std::string copy = (dir / "copy.db").string();
    const BinaryOutcome made = runServerBinary({"backup", "--db", db, "--to", copy});
    const int after = committed;
    done = true;
    writer.join();
    ASSERT_EQ(failed, "");
    EXPECT_EQ(made.status, 0) << made.out;
    EXPECT_EQ(made.out.rfind("已备份：" + db + " → " + copy + "（", 0), 0u) << made.out;
    // The writer was not held up by the backup.
    EXPECT_GT(after, before);

    server::SqliteServiceConnection c(copy);
    EXPECT_EQ(scalar(c, "PRAGMA integrity_check"), "ok");
    EXPECT_EQ(scalar(c, "PRAGMA journal_mode"), "wal");
    EXPECT_EQ(scalar(c, "select count(*) from KVR_XXJ"), "200000");
    const std::string counted = scalar(c, "select IDDESC from KVR_ICEXT where ID='batches'");
    ASSERT_FALSE(counted.empty()) << "the copy lacks what was written before it began";
    const int batches = std::stoi(counted);
    EXPECT_GE(batches, before);
    EXPECT_LE(batches, after);
    EXPECT_EQ(scalar(c, "select count(*) from KVR_REGION where ID like 'b%'"),
              std::to_string(batches * kBatchRows));
    EXPECT_EQ(
        scalar(c,
               "select count(*) from (select IDDESC from KVR_REGION where ID like 'b%' "
               "group by IDDESC having count(*) <> " +
                   std::to_string(kBatchRows) + " or IDDESC+0 > " + std::to_string(batches) + ")"),
        "0");
}

TEST_F(BackupCommand, NeverOverwritesUntoldNorLeavesAPartialCopy) {
    const std::string copy = (dir / "copy.db").string();
    ASSERT_EQ(runServerBinary({"backup", "--db", db, "--to", copy}).status, 0);
    server::SqliteServiceConnection(db).db().exec("INSERT INTO KVR_REGION VALUES ('99','新区')");

    const struct {
        std::vector<std::string> args;
        int status;
        std::string said;
    } cases[] = {
        {{"--to", copy},
         1,
         "备份文件“" + copy + "”已经存在，没有覆盖它。要覆盖，请加上 --overwrite。"},
        {{"--to", db, "--overwrite"}, 1, "备份文件不能是数据库文件本身。"},
        {{"--to", (dir / "none" / "copy.db").string()}, 1, "”不存在。"},
        {{"--to", dir.string()}, 1, "”是一个目录"},
        {{"--to", copy + "2", "--db", db + ".missing"},
         1,
         "数据库文件“" + db + ".missing”不存在。"},
        {{}, 2, "缺少选项 --to。"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"backup", "--db", db};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const BinaryOutcome outcome = runServerBinary(args);
        EXPECT_EQ(outcome.status, c.status) << c.said;
        EXPECT_NE(outcome.out.find(c.said), std::string::npos) << outcome.out;
    }
    // A file SQLite would take as part of the copy (a journal left by a program that has the old
    // copy open, or crashed) stops an overwrite too.
    { std::ofstream(copy + "-wal") << "x"; }
    EXPECT_EQ(runServerBinary({"backup", "--db", db, "--to", copy, "--overwrite"}).status, 1);
    fs::remove(copy + "-wal");
    {
        server::SqliteServiceConnection old(copy);
        EXPECT_EQ(scalar(old, "select count(*) from KVR_REGION"), "0");
    }

    const BinaryOutcome replaced =
        runServerBinary({"backup", "--db", db, "--to", copy, "--overwrite"});
    EXPECT_EQ(replaced.status, 0) << replaced.out;
    // Nothing but the database and its copy is left behind.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"copy.db", "prices.db"}));
    server::SqliteServiceConnection c(copy);
    EXPECT_EQ(scalar(c, "select IDDESC from KVR_REGION"), "新区");
}

}  // namespace
}  // namespace tarvelo::test
