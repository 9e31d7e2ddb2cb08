#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "server/store/sqlite/SqliteConnection.h"
#include "server/store/sqlite/SqliteMemory.h"
#include "server/store/sqlite/SqliteStatement.h"

namespace tarvelo::test {
namespace {

namespace fs = std::filesystem;

// SQLite allocates through the service's count: past the limit a statement fails, within it
// statements run, and the connection goes on after a refusal; what the statements took is given
// back to the count.
TEST(SqliteMemory, HoldsSqliteWithinTheLimitAndCountsEveryByteBack) {
    const fs::path dir =
        fs::temp_directory_path() / ("sqlite-memory-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        server::SqliteConnection db((dir / "m.db").string(), true);
        ASSERT_TRUE(server::SqliteMemory::installed());
        const std::int64_t limit = server::SqliteMemory::limit();
        const std::int64_t before = server::SqliteMemory::used();
        server::SqliteMemory::setLimit(before + (16 << 20));
        const struct {
            const char* sql;
            bool fits;
        } cases[] = {
            {"SELECT length(randomblob(1000000))", true},
            {"SELECT length(randomblob(64000000))", false},
            {"SELECT length(randomblob(8000000))", true},
            {"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
             "SELECT length(group_concat(hex(randomblob(100)))) FROM n",
             true},
            {"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
             "SELECT length(group_concat(hex(randomblob(1000)))) FROM n",
             false},
        };
        for (const auto& c : cases) {
            bool ran = false;
            try {
                server::SqliteStatement q(db, c.sql);
                ran = q.step();
            } catch (const std::exception& e) {
                EXPECT_FALSE(c.fits) << c.sql << ": " << e.what();
            }
            EXPECT_EQ(ran, c.fits) << c.sql;
        }
        server::SqliteMemory::setLimit(limit);
        // Each thread keeps at most half a MiB taken ahead of its allocations.
        EXPECT_LE(server::SqliteMemory::used(), before + (512 << 10));
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tarvelo::test
