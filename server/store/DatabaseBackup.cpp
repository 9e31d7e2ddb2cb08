#include "server/store/DatabaseBackup.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "server/store/Dialect.h"
#include "server/ServiceLimits.h"
#include "server/store/sqlite/SqliteConnection.h"
#include "server/store/sqlite/SqliteStatement.h"
#include "text/Error.h"

namespace tarvelo::server {

namespace fs = std::filesystem;

namespace {

// Longer than a write of the service may hold its lock (the statement clock stops it).
const int kBusyMilliseconds = static_cast<int>(ServiceLimits{}.statementTime.count()) + 5000;

// The files SQLite keeps beside a database while it is open, or after a crash.
constexpr const char* kCompanions[] = {"-wal", "-journal", "-shm"};

void removeWithCompanions(const std::string& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
    for (const char* suffix : kCompanions)
        fs::remove(path + suffix, ignored);
}

// The rename itself lasts only once the directory entry is on the disk.
void syncDirectory(const fs::path& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

[[noreturn]] void failedCopy(int rc, sqlite3* dest, const std::string& from) {
    std::string detail = sqlite3_errstr(rc);
    if (const std::string said = sqlite3_errmsg(dest); said != detail) detail += "：" + said;
    switch (rc & 0xFF) {
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            throw Error("“" + from + "”不是数据库文件或已经损坏，无法备份。", detail);
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            throw Error("数据库一直被占用，备份没有完成。请稍后再试。", detail);
        case SQLITE_FULL:
            throw Error("磁盘空间不足，备份没有完成。", detail);
        case SQLITE_NOMEM:
            throw Error("内存不足，备份没有完成。", detail);
        default:
            throw Error("读写文件出错，备份没有完成。", detail);
    }
}

}  // namespace

DatabaseBackup::Copied DatabaseBackup::copy(const std::string& from, const std::string& to,
                                            bool overwrite) {
    std::error_code seen;
    if (!fs::exists(from, seen)) {
        if (seen) throw Error("无法访问数据库文件“" + from + "”。", seen.message());
        throw Error("数据库文件“" + from + "”不存在。");
    }
    if (fs::exists(to, seen)) {
        if (fs::equivalent(from, to, seen)) throw Error("备份文件不能是数据库文件本身。");
        if (fs::is_directory(to, seen))
            throw Error("“" + to + "”是一个目录：请给出备份文件的名字，例如 " +
                        (fs::path(to) / "tarvelo.db").string() + "。");
        if (!overwrite)
            throw Error("备份文件“" + to + "”已经存在，没有覆盖它。要覆盖，请加上 --overwrite。");
        // Such a file beside the old copy would be taken as part of the new one.
        for (const char* suffix : {"-wal", "-journal"})
            if (fs::exists(to + suffix, seen))
                throw Error("备份文件“" + to + "”似乎正被某个程序打开（旁边有 " + to + suffix +
                            "），没有覆盖它。请先关闭用它的程序；若没有程序在用，删掉 " + to +
                            suffix + " 再试。");
    }
    const fs::path dir = fs::absolute(to, seen).parent_path();
    if (!fs::is_directory(dir, seen))
        throw Error("无法写备份文件“" + to + "”：目录“" + dir.string() + "”不存在。");
    if (::access(dir.c_str(), W_OK) != 0)
        throw Error("无法写备份文件“" + to + "”：没有在目录“" + dir.string() + "”中写文件的权限。");

    // The copy is made under a name of its own and takes its final name only when it is whole.
    const std::string part = to + ".part-" + std::to_string(::getpid());
    removeWithCompanions(part);
    struct Cleanup {
        const std::string& path;
        bool keep = false;
        ~Cleanup() {
            if (!keep) removeWithCompanions(path);
        }
    } cleanup{part};

    Copied copied;
    {
        SqliteConnection source(from, false);
        sqlite3_busy_timeout(source.handle(), kBusyMilliseconds);
        std::optional<SqliteConnection> dest;
        try {
            dest.emplace(part, true);
        } catch (const Error& e) {
            throw Error("无法创建备份文件“" + part + "”。", e.detail());
        }
        sqlite3_busy_timeout(dest->handle(), kBusyMilliseconds);

        sqlite3_backup* backup =
            sqlite3_backup_init(dest->handle(), "main", source.handle(), "main");
        if (!backup) dest->fail("无法开始备份。", sqlite3_errcode(dest->handle()));
        // All pages in one step, under one read transaction of the source: the copy is the
        // database as it stood when that transaction began, while the service's writers go on
        // (WAL). A copy in several steps would start over whenever another connection writes,
        // and on a busy service might never end.
        int rc = SQLITE_OK;
        for (int waited = 0; waited < kBusyMilliseconds; waited += 100) {
            rc = sqlite3_backup_step(backup, -1);
            if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED) break;
            sqlite3_sleep(100);
        }
        copied.pages = sqlite3_backup_pagecount(backup);
        sqlite3_backup_finish(backup);
        if (rc != SQLITE_DONE) failedCopy(rc, dest->handle(), from);

        registerDialect(dest->handle());  // the width checks call its functions
        SqliteStatement check(*dest, "PRAGMA integrity_check");
        std::string problems;
        while (check.step())
            if (check.text(0) != "ok") problems += check.text(0) + "\n";
        if (!problems.empty())
            throw Error("备份的副本没有通过完整性检查，已经删除：数据库文件本身可能已经损坏。",
                        problems);
    }
    fs::rename(part, to, seen);
    if (seen) throw Error("无法把备份文件改名为“" + to + "”。", seen.message());
    cleanup.keep = true;
    syncDirectory(dir);
    copied.bytes = static_cast<std::int64_t>(fs::file_size(to, seen));
    return copied;
}

}  // namespace tarvelo::server
