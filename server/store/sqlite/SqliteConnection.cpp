#include "server/store/sqlite/SqliteConnection.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>

#include <utility>

#include "server/store/sqlite/SqliteMemory.h"
#include "text/Error.h"

namespace tarvelo::server {

SqliteConnection::SqliteConnection(const std::string& path, bool create) {
    SqliteMemory::install();
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE |
                      (create ? SQLITE_OPEN_CREATE : 0);
    const int rc = sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string detail = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        m_db = nullptr;
        if ((rc & 0xFF) == SQLITE_READONLY ||
            (::access(path.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS)))
            throwReadOnly(path, detail);
        throw Error("无法打开数据库文件“" + path + "”。", detail);
    }
    // SQLite opens a file it may not write for reading only, without a word; the service would
    // then fail on its first write, or on its first read when the WAL index cannot be made.
    if (sqlite3_db_readonly(m_db, "main") == 1) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throwReadOnly(path, "sqlite3_db_readonly");
    }
}

void SqliteConnection::throwReadOnly(const std::string& path, const std::string& detail) {
    throw Error("数据库文件只读：服务无法写入“" + path +
                    "”。请让运行服务的账号能写这个文件和它所在的目录。",
                detail);
}

SqliteConnection::~SqliteConnection() {
    sqlite3_close_v2(m_db);
}

SqliteConnection::SqliteConnection(SqliteConnection&& other) noexcept
    : m_db(std::exchange(other.m_db, nullptr)) {}

void SqliteConnection::exec(std::string_view sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(m_db, std::string(sql).c_str(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        std::string detail = message ? message : sqlite3_errstr(rc);
        sqlite3_free(message);
        throw Error("数据库操作失败。", detail);
    }
}

void SqliteConnection::fail(std::string_view what, int rc) const {
    const char* message = sqlite3_errmsg(m_db);
    throw Error(std::string(what), message ? message : sqlite3_errstr(rc));
}

}  // namespace tarvelo::server
