#include "server/store/sqlite/SqliteMemory.h"

#include <sqlite3.h>

#include <atomic>
#include <cstdlib>
#include <limits>
#include <mutex>

namespace tarvelo::server {

namespace {

std::atomic<std::int64_t> g_used{0};
std::atomic<std::int64_t> g_limit{std::numeric_limits<std::int64_t>::max()};
bool g_installed = false;

// Each block carries its size in front of it, as SQLite's own allocator does where the C
// library cannot tell a block's size: 8 bytes, which keeps the 8-byte alignment SQLite needs.
using Header = std::int64_t;

bool take(std::int64_t bytes) {
    const std::int64_t before = g_used.fetch_add(bytes, std::memory_order_relaxed);
    if (before + bytes <= g_limit.load(std::memory_order_relaxed)) return true;
    g_used.fetch_sub(bytes, std::memory_order_relaxed);
    return false;
}

// Every thread counts against the sum in chunks and keeps what it has taken but not used as its
// credit: one atomic sum that every allocation touched would be a cache line passed between the
// processors at every value a statement builds. What the threads hold in credit counts as used,
// so the limit is met early by at most a few chunks each, never passed.
constexpr std::int64_t kChunk = 256 << 10;

struct Credit {
    std::int64_t bytes = 0;
    ~Credit() { g_used.fetch_sub(bytes, std::memory_order_relaxed); }
};
thread_local Credit t_credit;

bool reserve(std::int64_t bytes) {
    Credit& credit = t_credit;
    if (credit.bytes >= bytes) {
        credit.bytes -= bytes;
        return true;
    }
    const std::int64_t missing = bytes - credit.bytes;
    if (take(missing + kChunk)) {
        credit.bytes = kChunk;
        return true;
    }
    if (!take(missing)) return false;
    credit.bytes = 0;
    return true;
}

void unreserve(std::int64_t bytes) {
    Credit& credit = t_credit;
    credit.bytes += bytes;
    if (credit.bytes > 2 * kChunk) {
        g_used.fetch_sub(credit.bytes - kChunk, std::memory_order_relaxed);
        credit.bytes = kChunk;
    }
}

int roundUp(int bytes) {
    return (bytes + 7) & ~7;
}

void* allocate(int bytes) {
    const std::int64_t size = roundUp(bytes);
    if (!reserve(size)) return nullptr;
    auto* block =
        static_cast<Header*>(std::malloc(static_cast<std::size_t>(size) + sizeof(Header)));
    if (!block) {
        unreserve(size);
        return nullptr;
    }
    *block = size;
    return block + 1;
}

void release(void* p) {
    if (!p) return;
    Header* block = static_cast<Header*>(p) - 1;
    unreserve(*block);
    std::free(block);
}

int sizeOf(void* p) {
    return p ? static_cast<int>(static_cast<Header*>(p)[-1]) : 0;
}

void* reallocate(void* p, int bytes) {
    Header* block = static_cast<Header*>(p) - 1;
    const std::int64_t before = *block;
    const std::int64_t size = roundUp(bytes);
    if (size > before && !reserve(size - before)) return nullptr;
    auto* moved =
        static_cast<Header*>(std::realloc(block, static_cast<std::size_t>(size) + sizeof(Header)));
    if (!moved) {
        if (size > before) unreserve(size - before);
        return nullptr;
    }
    if (size < before) unreserve(before - size);
    *moved = size;
    return moved + 1;
}

int start(void*) {
    return SQLITE_OK;
}

void stop(void*) {}

}  // namespace

void SqliteMemory::install() {
    static std::once_flag once;
    std::call_once(once, [] {
        static const sqlite3_mem_methods methods{allocate, release, reallocate, sizeOf,
                                                 roundUp,  start,   stop,       nullptr};
        // Both fail alike when SQLite has already started.
        g_installed = sqlite3_config(SQLITE_CONFIG_MALLOC, &methods) == SQLITE_OK &&
                      sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
        if (g_installed) return;
        const std::int64_t limit = g_limit.load();
        if (limit != std::numeric_limits<std::int64_t>::max()) sqlite3_hard_heap_limit64(limit);
    });
}

void SqliteMemory::setLimit(std::int64_t bytes) {
    install();
    g_limit.store(bytes);
    if (!g_installed) sqlite3_hard_heap_limit64(bytes);
}

std::int64_t SqliteMemory::limit() {
    return g_limit.load();
}

std::int64_t SqliteMemory::used() {
    return g_used.load();
}

bool SqliteMemory::installed() {
    install();
    return g_installed;
}

}  // namespace tarvelo::server
