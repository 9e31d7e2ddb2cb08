#include "server/Store.h"

#include <openssl/rand.h>
#include <sqlite3.h>

#include <filesystem>

#include "server/Schema.h"
#include "server/SqliteStatement.h"
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

constexpr sqlite3_int64 kHeapLimit = sqlite3_int64{1} << 30;

bool hasTable(const SqliteConnection& db, std::string_view name) {
    SqliteStatement q(db, "SELECT 1 FROM sqlite_schema WHERE type='table' AND name=?1");
    q.bind(1, name);
    return q.step();
}

}  // namespace

Store::Store(std::string path) : m_path(std::move(path)) {
    // Whatever a statement builds, SQLite's own memory stays within this; past it a statement
    // fails with an error instead of the process being killed.
    sqlite3_hard_heap_limit64(kHeapLimit);
    std::error_code seen;
    const bool exists = std::filesystem::exists(m_path, seen);
    if (seen)
        throw Error("无法访问数据库文件“" + m_path + "”：运行服务的账号没有权限进入它所在的目录。",
                    seen.message());
    if (!exists)
        throw Error("数据库文件“" + m_path + "”不存在：请先运行 tarvelo-server init --db " +
                    m_path + "。");
    auto lease = acquire();
    SqliteConnection& db = lease->db();
    if (!hasTable(db, Schema::kSecretTable))
        throw Error("数据库文件“" + m_path + "”尚未初始化：请先运行 tarvelo-server init --db " +
                    m_path + "。");
    SqliteStatement q(db, "SELECT SECRET FROM " + std::string(Schema::kSecretTable));
    if (!q.step() || q.text(0).size() < 32)
        throw Error("数据库文件“" + m_path + "”中的密钥缺失或已损坏。");
    m_secret = q.text(0);
}

void Store::initialise(const std::string& path) {
    SqliteConnection db(path, true);
    if (hasTable(db, Schema::kSecretTable) || hasTable(db, "KVR_XXJ"))
        throw Error("数据库文件“" + path + "”已经初始化过了。");
    db.exec("PRAGMA journal_mode=WAL");
    db.exec("BEGIN");
    for (const auto& sql : Schema::instance().createStatements())
        db.exec(sql);
    unsigned char key[32];
    if (RAND_bytes(key, sizeof key) != 1) throw Error("无法生成密码变换所需的密钥。");
    SqliteStatement insert(
        db, "INSERT INTO " + std::string(Schema::kSecretTable) + " (SECRET) VALUES (?1)");
    insert.bind(1, hex(key, sizeof key));
    if (insert.run() != SQLITE_DONE) db.fail("无法保存密码变换所需的密钥。", SQLITE_ERROR);
    db.exec("COMMIT");
}

Store::Lease Store::acquire() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_idle.empty()) {
            auto c = std::move(m_idle.back());
            m_idle.pop_back();
            return Lease(*this, std::move(c));
        }
    }
    return Lease(*this, std::make_unique<ServiceConnection>(m_path));
}

Store::Lease::~Lease() {
    if (!m_c) return;
    m_c->guard().setSide(Side::Internal);
    m_c->stopClock();
    // No path leaves a transaction open; should one ever, the next request must not inherit it.
    if (!sqlite3_get_autocommit(m_c->db().handle()))
        sqlite3_exec(m_c->db().handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    std::lock_guard lock(m_store->m_mutex);
    m_store->m_idle.push_back(std::move(m_c));
}

}  // namespace tarvelo::server
