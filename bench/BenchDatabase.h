#pragma once

// The benchmarks' generated databases, shared by service_bench, browser_bench and load_bench.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "server/store/DemoData.h"
#include "server/store/Store.h"
#include "text/Date.h"

namespace tarvelo::bench {

// Takes a database option at argv[i] (--rows N, --months M, --regions R, --db FILE), moving `i`
// past its value; false when argv[i] is none of them.
inline bool databaseOption(int argc, char** argv, int& i, server::DemoData::Volume& volume,
                           std::string& db) {
    const std::string_view a = argv[i];
    if (i + 1 >= argc) return false;
    if (a == "--rows")
        volume.infoRows = std::atol(argv[++i]);
    else if (a == "--months")
        volume.months = std::atoi(argv[++i]);
    else if (a == "--regions")
        volume.regions = std::atoi(argv[++i]);
    else if (a == "--db")
        db = argv[++i];
    else
        return false;
    return true;
}

// The SQLite database of `volume`: `db` when given, else "service-bench-<volume>-<month>.db" in
// the working folder, generated on first use. It is generated in a process of its own, so that
// the memory it took is no part of what the benchmark then measures, and under another name until
// it is complete, so that a run cut short leaves nothing half-made for the next one to measure.
// Returns the empty string when generating failed.
inline std::string benchDatabase(const server::DemoData::Volume& volume, std::string db) {
    if (db.empty()) db = "service-bench-" + volume.name() + "-" + Date::today().period() + ".db";
    if (std::filesystem::exists(db)) return db;
    std::printf(
        "generating %ld information-price and %ld deal-price rows over %d months and %d "
        "regions in %s ...\n",
        volume.infoRows, volume.dealRows(), volume.months, volume.regions, db.c_str());
    std::fflush(stdout);
    const auto t0 = std::chrono::steady_clock::now();
    const std::string part = db + ".part";
    const pid_t child = ::fork();
    if (child == 0) {
        for (const char* suffix : {"", "-wal", "-shm"})
            std::filesystem::remove(part + suffix);
        server::Store::initialise(part);
        server::DemoData::loadVolume(part, Date::today(), volume);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    std::filesystem::rename(part, db);
    std::printf("  done in %.1f s (%.0f MB)\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(),
                static_cast<double>(std::filesystem::file_size(db)) / 1e6);
    return db;
}

}  // namespace tarvelo::bench
