#include "server/store/Store.h"

#include <openssl/rand.h>

#include <filesystem>

#include "server/store/DbError.h"
#include "server/store/PasswordTransform.h"
#include "server/store/postgresql/PgDatabase.h"
#include "server/store/Schema.h"
#include "server/store/sqlite/SqliteMemory.h"
#include "server/store/sqlite/SqliteServiceConnection.h"
#include "server/store/sqlite/SqliteStatement.h"
#include "text/Error.h"

namespace tarvelo::server {

namespace {

std::string hex(const unsigned char* p, std::size_t n) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += kDigits[p[i] >> 4];
        out += kDigits[p[i] & 15];
    }
    return out;
}

constexpr long long kHeapLimit = 1ll << 30;

bool hasTable(const SqliteConnection& db, std::string_view name) {
    SqliteStatement q(db, "SELECT 1 FROM sqlite_schema WHERE type='table' AND name=?1");
    q.bind(1, name);
    return q.step();
}

std::size_t sideIndex(Side side) {
    return static_cast<std::size_t>(side);
}

}  // namespace

bool Store::isPostgres(std::string_view database) {
    return database.starts_with("postgresql://") || database.starts_with("postgres://");
}

Store::Store(std::string database, std::string writeDatabase)
    : m_database(std::move(database)),
      m_writeDatabase(std::move(writeDatabase)),
      m_postgres(isPostgres(m_database)) {
    if (m_postgres) {
        m_shown = PgDatabase::shownUri(m_database);
        if (!m_writeDatabase.empty() && !isPostgres(m_writeDatabase))
            throw Error("写入端的数据库“" + m_writeDatabase +
                        "”应是 PostgreSQL 连接地址（postgresql://…），与查询端相同的数据库。");
        PgDatabase::requireInitialised(m_database);
        return;
    }
    if (!m_writeDatabase.empty())
        throw Error("只有 PostgreSQL 数据库的查询端和写入端可以分开连接；SQLite 文件“" +
                    m_database + "”由一个服务的两端共用。");
    m_shown = m_database;
    // Whatever a statement builds, SQLite's own memory stays within this; past it a statement
    // fails with an error instead of the process being killed.
    SqliteMemory::setLimit(kHeapLimit);
    std::error_code seen;
    const bool exists = std::filesystem::exists(m_database, seen);
    if (seen)
        throw Error(
            "无法访问数据库文件“" + m_database + "”：运行服务的账号没有权限进入它所在的目录。",
            seen.message());
    if (!exists)
        throw Error("数据库文件“" + m_database + "”不存在：请先运行 tarvelo-server init --db " +
                    m_database + "。");
    auto lease = acquire();
    SqliteConnection& db = static_cast<SqliteServiceConnection&>(*lease).db();
    if (!hasTable(db, Schema::kSecretTable))
        throw Error("数据库文件“" + m_database + "”尚未初始化：请先运行 tarvelo-server init --db " +
                    m_database + "。");
    SqliteStatement q(db, "SELECT SECRET FROM " + std::string(Schema::kSecretTable));
    if (!q.step() || q.text(0).size() < 32)
        throw Error("数据库文件“" + m_database + "”中的密钥缺失或已损坏。");
    m_secret = q.text(0);
}

Store::~Store() = default;

std::vector<std::string> Store::checkSides() const {
    if (!m_postgres) return {};
    auto warnings = PgDatabase::checkSide(m_database, Side::Read);
    if (!m_writeDatabase.empty())
        for (auto& w : PgDatabase::checkSide(m_writeDatabase, Side::Write))
            warnings.push_back(std::move(w));
    return warnings;
}

std::string Store::newSecret() {
    unsigned char key[32];
    if (RAND_bytes(key, sizeof key) != 1) throw Error("无法生成密码变换所需的密钥。");
    return hex(key, sizeof key);
}

std::vector<std::string> Store::initialise(const std::string& path) {
    if (isPostgres(path)) return PgDatabase::initialise(path, newSecret());
    SqliteConnection db(path, true);
    if (hasTable(db, Schema::kSecretTable) || hasTable(db, "KVR_XXJ"))
        throw Error("数据库文件“" + path + "”已经初始化过了。");
    db.exec("PRAGMA journal_mode=WAL");
    db.exec("BEGIN");
    for (const auto& sql : Schema::instance().createStatements())
        db.exec(sql);
    SqliteStatement insert(
        db, "INSERT INTO " + std::string(Schema::kSecretTable) + " (SECRET) VALUES (?1)");
    insert.bind(1, newSecret());
    try {
        insert.run();
    } catch (const DbError& e) {
        throw Error("无法保存密码变换所需的密钥。", e.detail());
    }
    db.exec("COMMIT");
    return {};
}

std::unique_ptr<ServiceConnection> Store::open(Side side) const {
    if (!m_postgres) return std::make_unique<SqliteServiceConnection>(m_database);
    if (side == Side::Write) {
        if (m_writeDatabase.empty())
            throw Error("这个服务只提供查询端：启动时没有给出写入端的数据库（--write-db）。");
        return PgDatabase::connect(m_writeDatabase, Side::Write);
    }
    return PgDatabase::connect(m_database, side);
}

Store::Lease Store::acquire(Side side) {
    // One SQLite connection serves every side: its guard is set per statement.
    const Side pool = m_postgres ? side : Side::Internal;
    {
        std::lock_guard lock(m_mutex);
        auto& idle = m_idle[sideIndex(pool)];
        if (!idle.empty()) {
            auto c = std::move(idle.back());
            idle.pop_back();
            return Lease(*this, pool, std::move(c));
        }
    }
    return Lease(*this, pool, open(pool));
}

Store::Lease::~Lease() {
    if (!m_c) return;
    m_c->release();
    std::lock_guard lock(m_store->m_mutex);
    m_store->m_idle[sideIndex(m_side)].push_back(std::move(m_c));
}

std::string Store::transformPassword(std::string_view source) {
    if (!m_postgres) return server::transformPassword(m_secret, source);
    auto lease = acquire(Side::Read);
    return PgDatabase::transformPassword(*lease, source);
}

}  // namespace tarvelo::server
