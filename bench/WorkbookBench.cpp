// Reads price workbooks of 9,998 and 60,000 data rows (13 columns, .xlsx and .xls) by the
// import's reading rule, cell by cell as text, each read in a process of its own so that its
// time and peak memory are its alone; beside it, a bare libzip + pugixml pass over the 9,998-row
// .xlsx (every part we read inflated whole and parsed, every cell's value visited), and openpyxl
// (.xlsx), xlrd and FreeXL (.xls) doing the same reading.
//
//   workbook_bench [--file F] [--repeat N] [--no-goals] [--no-peers]
//
// The workbooks are made by make-price-workbook.py (openpyxl, xlwt) when missing. Goals, checked
// unless --no-goals or --file (exit status 1 when one is not met):
//   - the 60,000-row workbooks: peak memory at most 30 MB, and a read time at most 1.2 times
//     that of the 9,998-row workbook of the same format (the rule takes at most 9,998 rows);
//   - the 9,998-row .xlsx, the whole process: at most 1.3 times the bare pass's process;
//   - the 9,998-row workbooks: median at most 100 ms, peak memory at most 50 MB.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <freexl.h>
#include <pugixml.hpp>

#include "workbook/WorkbookReader.h"

using Clock = std::chrono::steady_clock;

namespace {

double milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// In the child: the import's reading, 13 cells of each row taken. Prints "ms rows".
int readByTheRule(const std::string& file) {
    const auto t0 = Clock::now();
    const auto sheet = tarvelo::WorkbookReader::open(file);
    std::size_t bytes = 0;
    const int rows = tarvelo::forEachImportRow(*sheet, [&](int row) {
        for (int c = 1; c <= 13; ++c)
            bytes += sheet->cellText(row, c).size();
    });
    const double ms = milliseconds(Clock::now() - t0);
    std::printf("%.3f %d\n", ms, rows);
    return bytes > 0 ? 0 : 1;
}

std::string inflate(zip_t* zip, const std::string& name) {
    zip_stat_t st;
    if (zip_stat(zip, name.c_str(), 0, &st) != 0) return {};
    std::string out(static_cast<std::size_t>(st.size), '\0');
    zip_file_t* f = zip_fopen(zip, name.c_str(), 0);
    if (!f) return {};
    const zip_int64_t n = zip_fread(f, out.data(), out.size());
    zip_fclose(f);
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
}

std::size_t visit(const pugi::xml_node& node) {
    std::size_t bytes = 0;
    for (auto c = node.first_child(); c; c = c.next_sibling())
        bytes += c.type() == pugi::node_pcdata ? std::strlen(c.value()) : visit(c);
    return bytes;
}

// In the child: the bare pass. The parts our reader reads (workbook, its relationships,
// styles, shared strings, the active sheet), each inflated whole and parsed by pugixml in
// place; every text in them visited. Prints "ms rows".
int barePass(const std::string& file) {
    const auto t0 = Clock::now();
    int error = 0;
    zip_t* zip = zip_open(file.c_str(), ZIP_RDONLY, &error);
    if (!zip) return 1;
    constexpr unsigned kParse = pugi::parse_default | pugi::parse_ws_pcdata;
    std::size_t bytes = 0;
    std::string sheetPart;
    {
        std::string workbook = inflate(zip, "xl/workbook.xml");
        std::string rels = inflate(zip, "xl/_rels/workbook.xml.rels");
        pugi::xml_document w, r;
        w.load_buffer_inplace(workbook.data(), workbook.size(), kParse);
        r.load_buffer_inplace(rels.data(), rels.size(), kParse);
        const auto sheets = w.document_element().child("sheets");
        const std::string id = sheets.first_child().attribute("r:id").value();
        for (auto rel : r.document_element().children())
            if (id == rel.attribute("Id").value()) {
                const std::string target = rel.attribute("Target").value();
                sheetPart = target.starts_with('/') ? target.substr(1) : "xl/" + target;
            }
    }
    int rows = 0;
    for (const std::string& name :
         {std::string("xl/styles.xml"), std::string("xl/sharedStrings.xml"), sheetPart}) {
        std::string text = inflate(zip, name);
        if (text.empty()) continue;
        pugi::xml_document doc;
        if (!doc.load_buffer_inplace(text.data(), text.size(), kParse)) return 1;
        bytes += visit(doc);
        if (name == sheetPart)
            for ([[maybe_unused]] auto row : doc.document_element().child("sheetData").children())
                ++rows;
    }
    zip_close(zip);
    const double ms = milliseconds(Clock::now() - t0);
    std::printf("%.3f %d\n", ms, rows);
    return bytes > 0 ? 0 : 1;
}

struct Run {
    double readMs = 0;     // as the child measured its reading
    double processMs = 0;  // the child's whole life, as this process saw it
    double peakMb = 0;     // the child's peak resident memory
    int rows = 0;
};

// Runs this program again as `mode FILE` and reads what it prints.
bool child(const char* mode, const std::string& file, Run& run) {
    int out[2];
    if (::pipe(out) != 0) return false;
    const auto t0 = Clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::execl("/proc/self/exe", "workbook_bench", mode, file.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buf[256];
    ssize_t n;
    while ((n = ::read(out[0], buf, sizeof buf)) > 0)
        text.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.processMs = milliseconds(Clock::now() - t0);
    run.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
           std::sscanf(text.c_str(), "%lf %d", &run.readMs, &run.rows) == 2;
}

struct Figures {
    double readMs = 0, processMs = 0, peakMb = 0;
    int rows = 0;
    bool ok = false;
};

Figures measure(const char* mode, const std::string& file, int repeat) {
    std::vector<double> read, process;
    Figures f;
    for (int i = 0; i < repeat; ++i) {
        Run run;
        if (!child(mode, file, run)) return f;
        read.push_back(run.readMs);
        process.push_back(run.processMs);
        f.peakMb = std::max(f.peakMb, run.peakMb);
        f.rows = run.rows;
    }
    f.readMs = median(read);
    f.processMs = median(process);
    f.ok = true;
    return f;
}

const char* verdict(bool met) {
    return met ? "met" : "NOT met";
}

void freexlPeer(const std::string& f, double ours) {
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
        const double ms = milliseconds(Clock::now() - t1);
        std::printf("  FreeXL, the same reading (in this process): %.0f ms (%.1f times ours)\n", ms,
                    ms / ours);
    }
    freexl_close(handle);
}

void pythonPeer(const std::string& scripts, const std::string& f, double ours) {
    const bool xls = f.ends_with(".xls");
    const std::string peer = "/usr/bin/python3 " + scripts +
                             (xls ? "/read-with-xlrd.py " : "/read-with-openpyxl.py ") + f +
                             " >/dev/null";
    const auto t0 = Clock::now();
    const int rc = std::system(peer.c_str());
    const double ms = milliseconds(Clock::now() - t0);
    if (rc == 0)
        std::printf("  %s, the same reading, whole process: %.0f ms (%.0f times ours)\n",
                    xls ? "xlrd" : "openpyxl", ms, ms / ours);
    else
        std::printf("  %s could not be run\n", xls ? "xlrd" : "openpyxl");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && !std::strcmp(argv[1], "--child-read")) return readByTheRule(argv[2]);
    if (argc == 3 && !std::strcmp(argv[1], "--child-bare")) return barePass(argv[2]);
    if (argc >= 2 && !std::strcmp(argv[1], "--child-none")) return 0;

    std::string file;
    int repeat = 7;
    bool goals = true;
    bool peers = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--file") && i + 1 < argc)
            file = argv[++i];
        else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--no-goals"))
            goals = false;
        else if (!std::strcmp(argv[i], "--no-peers"))
            peers = false;
        else {
            std::fprintf(
                stderr,
                "usage: workbook_bench [--file F] [--repeat N] [--no-goals] [--no-peers]\n");
            return 2;
        }
    }
    const std::string scripts = std::string(TARVELO_BENCH_SOURCE);
    std::vector<std::string> files;
    if (!file.empty()) {
        files.push_back(file);
        goals = false;
    } else {
        for (const char* f : {"price-workbook-9998.xlsx", "price-workbook-60000.xlsx",
                              "price-workbook-9998.xls", "price-workbook-60000.xls"}) {
            files.push_back(f);
            if (std::filesystem::exists(f)) continue;
            const std::string make = "/usr/bin/python3 " + scripts + "/make-price-workbook.py " +
                                     f + (std::strstr(f, "60000") ? " 60000" : " 9998");
            if (std::system(make.c_str()) != 0) {
                std::fprintf(stderr,
                             "could not make %s (needs python3-openpyxl and python3-xlwt)\n", f);
                return 1;
            }
        }
    }

    Run none;
    child("--child-none", "", none);  // prints nothing: only its peak is of use
    std::printf(
        "Each read in a process of its own, %d times: medians, and the highest peak "
        "(the program alone, reading nothing: %.1f MB).\n\n",
        repeat, none.peakMb);

    std::vector<Figures> ours;
    for (const std::string& f : files) {
        const Figures fig = measure("--child-read", f, repeat);
        if (!fig.ok) {
            std::fprintf(stderr, "%s could not be read\n", f.c_str());
            return 1;
        }
        ours.push_back(fig);
        std::printf(
            "%s, %d rows x 13 cells by the reading rule: read %.1f ms, whole process "
            "%.1f ms, peak memory %.1f MB\n",
            f.c_str(), fig.rows, fig.readMs, fig.processMs, fig.peakMb);
        if (!peers || f.find("60000") != std::string::npos) continue;
        if (f.ends_with(".xls")) freexlPeer(f, fig.readMs);
        pythonPeer(scripts, f, fig.readMs);
    }
    Figures bare;
    const std::string bareFile = files.front();
    if (bareFile.ends_with(".xlsx")) {
        bare = measure("--child-bare", bareFile, repeat);
        if (bare.ok)
            std::printf(
                "%s, bare libzip + pugixml pass (%d rows): read %.1f ms, whole process "
                "%.1f ms, peak memory %.1f MB\n",
                bareFile.c_str(), bare.rows, bare.readMs, bare.processMs, bare.peakMb);
    }
    if (!goals) return 0;

    bool ok = true;
    std::printf("\ngoals:\n");
    const auto goal = [&](bool met, const std::string& text) {
        ok = ok && met;
        std::printf("  %-7s %s\n", verdict(met), text.c_str());
    };
    char line[400];
    for (std::size_t small = 0; small < 4; small += 2) {
        const Figures& a = ours[small];
        const Figures& b = ours[small + 1];
        const char* kind = small == 0 ? ".xlsx" : ".xls";
        std::snprintf(line, sizeof line,
                      "60,000-row %s: peak memory %.1f MB <= 30 MB (9,998 rows: %.1f MB)", kind,
                      b.peakMb, a.peakMb);
        goal(b.peakMb <= 30, line);
        const double ratio = b.readMs / a.readMs;
        std::snprintf(line, sizeof line,
                      "60,000-row %s: read %.1f ms, %.2f times the 9,998-row read (%.1f ms) <= 1.2",
                      kind, b.readMs, ratio, a.readMs);
        goal(ratio <= 1.2, line);
        std::snprintf(line, sizeof line,
                      "9,998-row %s: read %.1f ms <= 100 ms, peak memory %.1f MB <= 50 MB", kind,
                      a.readMs, a.peakMb);
        goal(a.readMs <= 100 && a.peakMb <= 50, line);
    }
    if (bare.ok) {
        const double ratio = ours[0].processMs / bare.processMs;
        std::snprintf(line, sizeof line,
                      "9,998-row .xlsx, whole process: %.1f ms, %.2f times the bare libzip + "
                      "pugixml pass (%.1f ms) <= 1.3",
                      ours[0].processMs, ratio, bare.processMs);
        goal(ratio <= 1.3, line);
    } else {
        goal(false, "the bare libzip + pugixml pass could not be run");
    }
    return ok ? 0 : 1;
}
