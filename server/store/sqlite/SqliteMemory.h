#pragma once

#include <cstdint>

namespace tarvelo::server {

// SQLite's memory in this process, counted by the service: every connection allocates through
// it, and an allocation that would take the total past the limit fails (the statement then
// fails with SQLite's "out of memory") instead of the machine running out. SQLite's own count
// (its memory statistics, which its hard heap limit needs) takes one process-wide mutex around
// every allocation and release, so that only one worker's statement at a time can build a
// value: two workers answered fewer statements together than one alone. This count is one
// atomic sum, which each thread touches only once per chunk of its allocations.
class SqliteMemory {
public:
    // Takes SQLite's allocations over, once, before SQLite starts in this process (every
    // connection of the service opens through SqliteConnection, which calls this first). When
    // something started SQLite earlier it is too late for that: the limit is then SQLite's own
    // hard heap limit.
    static void install();

    // The most SQLite may hold at once, in bytes; no limit until one is set.
    static void setLimit(std::int64_t bytes);
    static std::int64_t limit();

    // Bytes SQLite holds now as counted here, with what the threads have taken ahead of their
    // allocations (at most half a MiB each); 0 when SQLite counts them itself.
    static std::int64_t used();
    // Whether install() took the allocations over.
    static bool installed();
};

}  // namespace tarvelo::server
