#pragma once

#include <cstdint>
#include <string>

namespace tarvelo::server {

// A consistent copy of a database file, taken while the service reads and writes it, through
// SQLite's online backup.
class DatabaseBackup {
public:
    struct Copied {
        std::int64_t pages = 0;
        std::int64_t bytes = 0;
    };

    // Copies `from` to `to` as it stood at one moment. The copy is written beside `to` under
    // another name, passes SQLite's integrity check, and only then takes the name `to`, so that
    // a failed backup never leaves a partial copy there. An existing `to` is refused unless
    // `overwrite`. Throws tarvelo::Error saying what went wrong.
    static Copied copy(const std::string& from, const std::string& to, bool overwrite);
};

}  // namespace tarvelo::server
