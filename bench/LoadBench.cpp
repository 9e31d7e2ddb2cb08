// A month of prices loaded from the reference service, as users load it: its memory and whether
// the window keeps painting meanwhile.
//   1. tarvelo-query (the real program, a process of its own) printing every information price of
//      the latest month: its peak resident memory beyond that of the same program printing an
//      empty answer of the same columns, against the size of the packet it received;
//   2. the desktop client's main window on the "成交价" tab, the month's period typed into the
//      search box and Enter pressed, which loads every deal price of the month into the grid:
//      its peak resident memory beyond what it held before the key, against the packet's size,
//      and the longest time the window's event loop went without turning (a timer asks every
//      10 ms) while the answer arrived and loaded.
// The service runs in a process of its own, so that nothing of its memory is counted.
//
//   load_bench [--rows N] [--months M] [--regions R] [--db FILE] [--no-goals]
//
// Uses (or generates) the database of service_bench (by default 1,000,000 information-price rows
// over 60 months and 20 regions). Goals, checked unless --no-goals (exit
// status 1 when one is missed): both peaks at most 2.5 times the packet's size; the longest turn
// under 100 ms (more than 10 frames a second).
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/Fonts.h"
#include "bench/BenchDatabase.h"
#include "browser/BrowserStatements.h"
#include "browser/KVR_Main.h"
#include "platform/ScriptedPlatform.h"
#include "server/http/HttpEndpoint.h"
#include "server/soap/SoapService.h"
#include "server/store/DemoData.h"
#include "server/store/Store.h"
#include "service/IISdm.h"
#include "text/Date.h"
#include "text/StatementBuffer.h"
#include "widgets/QtCallWaiter.h"

using namespace tarvelo;
using Clock = std::chrono::steady_clock;

namespace {

long statusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    return 0;
}

// The service over `db` in a child process; returns its port (the child ends with `stop`).
struct ServiceProcess {
    pid_t pid = -1;
    int port = 0;
    explicit ServiceProcess(const std::string& db) {
        int fds[2];
        if (::pipe(fds) != 0) std::exit(1);
        pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            server::Store store(db);
            // The statements measured are the benchmark's own: the service runs them as they come,
            // with no accounts checked (what checking adds is a match of the text against the
            // client's).
            server::SoapService service(store, server::ServiceLimits{}, {},
                                        {.open = true, .mail = {}});
            server::HttpEndpoint endpoint(service, server::EndpointOptions{});
            endpoint.start();
            const int p = endpoint.port();
            if (::write(fds[1], &p, sizeof p) != sizeof p) ::_exit(1);
            ::pause();  // until the parent ends it
            ::_exit(0);
        }
        ::close(fds[1]);
        if (::read(fds[0], &port, sizeof port) != sizeof port) std::exit(1);
        ::close(fds[0]);
    }
    ~ServiceProcess() {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port); }
};

struct Run {
    long peakKb = 0;
    double seconds = 0;
    std::size_t outputBytes = 0;
};

// Runs tarvelo-query with `args`, its standard output counted and dropped.
Run runQuery(const std::vector<std::string>& args) {
    std::vector<std::string> all = {TARVELO_QUERY};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (::pipe(out) != 0) std::exit(1);
    const auto t0 = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    Run run;
    char buf[65536];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        run.outputBytes += static_cast<std::size_t>(n);
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    run.peakKb = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "tarvelo-query failed (status %d)\n", status);
        std::exit(1);
    }
    return run;
}

double mb(double bytes) {
    return bytes / 1e6;
}

bool check(bool goals, bool met, const char* what, const std::string& figures) {
    if (goals) std::printf("  %-58s %s  %s\n", what, met ? "met" : "MISSED", figures.c_str());
    return met || !goals;
}

std::string format(const char* f, double a, double b = 0, double c = 0) {
    char out[256];
    std::snprintf(out, sizeof out, f, a, b, c);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    server::DemoData::Volume volume;
    bool goals = true;
    std::string db;
    for (int i = 1; i < argc; ++i) {
        if (bench::databaseOption(argc, argv, i, volume, db)) continue;
        if (!std::strcmp(argv[i], "--no-goals"))
            goals = false;
        else {
            std::fprintf(stderr,
                         "usage: load_bench [--rows N] [--months M] [--regions R] "
                         "[--db FILE] [--no-goals]\n");
            return 2;
        }
    }
    db = bench::benchDatabase(volume, db);
    if (db.empty()) return 1;
    const long rows = volume.infoRows;
    const std::string period = Date::today().period();
    bool ok = true;
    ServiceProcess service(db);

    // 1. tarvelo-query. The packet's size is that of --raw's output less its line break.
    const std::string month = "Select * From KVR_XXJ Where PERDID='" + period + "'";
    const std::string none = "Select * From KVR_XXJ Where 1=2";
    const std::vector<std::string> at = {"--service", service.base()};
    auto with = [&](std::vector<std::string> more) {
        more.insert(more.begin(), at.begin(), at.end());
        return more;
    };
    const double packet = static_cast<double>(runQuery(with({"--raw", month})).outputBytes - 1);
    const Run empty = runQuery(with({none}));
    const Run table = runQuery(with({month}));
    const Run csv = runQuery(with({"--csv", month}));
    const double tableExtra = static_cast<double>(table.peakKb - empty.peakKb) * 1024;
    const double csvExtra = static_cast<double>(csv.peakKb - empty.peakKb) * 1024;
    std::printf(
        "tarvelo-query, information prices of %s (%ld rows in the database): packet %.1f MB\n"
        "  printing an empty answer: peak %.1f MB\n"
        "  printing the month as a table: peak %.1f MB (+%.1f MB, %.2f x the packet), %.2f s\n"
        "  printing the month as CSV:     peak %.1f MB (+%.1f MB, %.2f x the packet), %.2f s\n",
        period.c_str(), rows, mb(packet), empty.peakKb / 1024.0, table.peakKb / 1024.0,
        mb(tableExtra), tableExtra / packet, table.seconds, csv.peakKb / 1024.0, mb(csvExtra),
        csvExtra / packet, csv.seconds);

    // 2. The desktop client.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    installChineseFonts();
    ScriptedPlatform ui;
    app().use(ui, service.base());
    double clientExtra = 0, dealPacket = 0, longestTurn = 0, loadSeconds = 0;
    std::size_t loaded = 0, turns = 0;
    {
        TIISdmPtr module(app().config, ui);
        // Calls wait as they do in the program: off the window's thread, input held back.
        QtCallWaiter waiter;
        module.setWaiter(&waiter);
        IISdmPtr = &module;
        TKVR_MainForm window;
        window.DATABZ = "10";
        window.show();
        if (!QTest::qWaitForWindowExposed(&window)) return 1;
        // "成交价" in the tree: its tab, and the month's items.
        window.TV_TreeL->setCurrentItem(window.TV_TreeL->topLevelItem(1));
        window.TV_TreeLClick();
        window.QueryEdit->setFocus();
        QTest::keyClicks(window.QueryEdit, QString::fromStdString(period));
        while (window.suggestionsPending())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QApplication::processEvents();
        // The packet the search receives, measured by a process of its own.
        {
            StatementBuffer search;
            BrowserStatements::search(search, Category::CJJ, window.browserPeriod, "", period);
            dealPacket =
                static_cast<double>(runQuery(with({"--raw", search.text()})).outputBytes - 1);
        }
        std::vector<qint64> ticks;
        QElapsedTimer clock;
        QTimer timer;
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [&] { ticks.push_back(clock.elapsed()); });
        std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
        const long before = statusKilobytes("VmRSS:");
        clock.start();
        timer.start();
        ticks.push_back(0);
        QTest::keyClick(window.QueryEdit, Qt::Key_Return);
        ticks.push_back(clock.elapsed());
        timer.stop();
        loadSeconds = static_cast<double>(clock.elapsed()) / 1000;
        clientExtra = static_cast<double>(statusKilobytes("VmHWM:") - before) * 1024;
        for (std::size_t i = 1; i < ticks.size(); ++i)
            longestTurn = std::max(longestTurn, static_cast<double>(ticks[i] - ticks[i - 1]));
        turns = ticks.size() - 2;
        loaded = window.Cds_CJJ.recordCount();
        IISdmPtr = nullptr;
    }
    std::printf(
        "desktop client, \"成交价\" searched for \"%s\": %zu rows into the grid, packet %.1f MB\n"
        "  peak beyond what it held before: +%.1f MB (%.2f x the packet), %.2f s\n"
        "  the event loop turned %zu times meanwhile; its longest wait %.0f ms (%.0f frames/s "
        "at the least)\n",
        period.c_str(), loaded, mb(dealPacket), mb(clientExtra), clientExtra / dealPacket,
        loadSeconds, turns, longestTurn, longestTurn > 0 ? 1000 / longestTurn : 0.0);
    if (loaded == 0) {
        std::fprintf(stderr, "the search loaded nothing: the measurement is meaningless\n");
        return 1;
    }
    if (goals) std::printf("goals (%ld rows):\n", rows);
    ok &= check(goals, tableExtra <= 2.5 * packet, "tarvelo-query peak <= 2.5 x the packet",
                format("%.2f x (%.1f MB beyond the empty answer's %.1f MB)", tableExtra / packet,
                       mb(tableExtra), empty.peakKb / 1024.0));
    ok &= check(goals, clientExtra <= 2.5 * dealPacket, "desktop client peak <= 2.5 x the packet",
                format("%.2f x (%.1f MB for a %.1f MB packet)", clientExtra / dealPacket,
                       mb(clientExtra), mb(dealPacket)));
    ok &= check(goals, longestTurn < 100, "the window keeps painting: > 10 frames/s",
                format("longest wait %.0f ms", longestTurn));
    return ok ? 0 : 1;
}
