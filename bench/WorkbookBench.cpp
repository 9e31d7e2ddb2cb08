// Reads a 9,998-row, 13-column price workbook by the import's reading rule, cell by cell as
// text, and compares with openpyxl (.xlsx), xlrd and FreeXL (.xls) doing the same.
//
//   workbook_bench [--file F.xlsx] [--repeat N] [--no-goals]
//
// The workbook is made by make-price-workbook.py (openpyxl) when missing. Goals, checked unless
// --no-goals (exit status 1 when missed): median at most 100 ms; peak memory at most 50 MB.
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <freexl.h>

#include "workbook/WorkbookReader.h"

using Clock = std::chrono::steady_clock;

namespace {

long peakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    std::string file = "price-workbook-9998.xlsx";
    int repeat = 7;
    bool goals = true;
    bool peers = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--file") && i + 1 < argc)
            file = argv[++i];
        else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--no-goals"))
            goals = false;
        else if (!std::strcmp(argv[i], "--no-peers"))
            peers = false;
        else {
            std::fprintf(
                stderr,
                "usage: workbook_bench [--file F.xlsx] [--repeat N] [--no-goals] [--no-peers]\n");
            return 2;
        }
    }
    const std::string scripts = std::string(TARVELO_BENCH_SOURCE);
    std::vector<std::string> files{file};
    if (file == "price-workbook-9998.xlsx") files.push_back("price-workbook-9998.xls");
    bool ok = true;
    for (const std::string& f : files) {
        if (!std::filesystem::exists(f)) {
            const std::string make = "/usr/bin/python3 " + scripts + "/make-price-workbook.py " + f;
            if (std::system(make.c_str()) != 0) {
                std::fprintf(stderr,
                             "could not make %s (needs python3-openpyxl and python3-xlwt)\n",
                             f.c_str());
                return 1;
            }
        }
        std::vector<double> times;
        int rows = 0;
        for (int r = 0; r < repeat; ++r) {
            const auto t0 = Clock::now();
            const auto sheet = tarvelo::WorkbookReader::open(f);
            std::size_t bytes = 0;
            rows = tarvelo::forEachImportRow(*sheet, [&](int row) {
                for (int c = 1; c <= 13; ++c)
                    bytes += sheet->cellText(row, c).size();
            });
            times.push_back(seconds(Clock::now() - t0) * 1000);
            if (bytes == 0) return 1;
        }
        std::sort(times.begin(), times.end());
        const double median = times[times.size() / 2];
        const double peakMb = static_cast<double>(peakKilobytes()) / 1024.0;
        std::printf(
            "%s, %d rows x 13 cells by the reading rule: median %.1f ms (best %.1f), "
            "peak memory of the process so far %.1f MB\n",
            f.c_str(), rows, median, times.front(), peakMb);
        ok = ok && median <= 100 && peakMb <= 50;
        if (goals)
            std::printf("  goals: median <= 100 ms %s, peak <= 50 MB %s\n",
                        median <= 100 ? "met" : "MISSED", peakMb <= 50 ? "met" : "MISSED");
        if (!peers) continue;
        if (f.ends_with(".xls")) {
            // FreeXL, in this process: open, then every cell of the same rows.
            const auto t1 = Clock::now();
            const void* handle = nullptr;
            if (freexl_open(f.c_str(), &handle) == FREEXL_OK &&
                freexl_select_active_worksheet(handle, 0) == FREEXL_OK) {
                std::size_t cells = 0;
                for (unsigned row = 1; row < 10000; ++row) {
                    FreeXL_CellValue a;
                    if (freexl_get_cell_value(handle, row, 0, &a) != FREEXL_OK ||
                        a.type == FREEXL_CELL_NULL)
                        break;
                    for (unsigned short c = 0; c < 13; ++c) {
                        FreeXL_CellValue v;
                        if (freexl_get_cell_value(handle, row, c, &v) == FREEXL_OK) ++cells;
                    }
                }
                const double freexlMs = seconds(Clock::now() - t1) * 1000;
                std::printf("  FreeXL, the same reading: %.0f ms (%.1f times ours, %zu cells)\n",
                            freexlMs, freexlMs / median, cells);
            }
            freexl_close(handle);
        }
        const bool xls = f.ends_with(".xls");
        const std::string peer = "/usr/bin/python3 " + scripts +
                                 (xls ? "/read-with-xlrd.py " : "/read-with-openpyxl.py ") + f +
                                 " >/dev/null";
        const auto t0 = Clock::now();
        const int rc = std::system(peer.c_str());
        const double peerMs = seconds(Clock::now() - t0) * 1000;
        if (rc == 0)
            std::printf("  %s, the same reading, whole process: %.0f ms (%.0f times ours)\n",
                        xls ? "xlrd" : "openpyxl", peerMs, peerMs / median);
        else
            std::printf("  %s could not be run\n", xls ? "xlrd" : "openpyxl");
    }
    return !goals || ok ? 0 : 1;
}
