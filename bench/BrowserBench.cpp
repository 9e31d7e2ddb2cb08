// One typed character in the search box of the information centre, on the "信息价" tab with a
// region and the month selected: from the key event to the suggestion grid's model holding its
// rows, through the real window, data access module, and the reference service over loopback.
//
//   browser_bench [--rows N] [--months M] [--regions R] [--db FILE] [--count K] [--no-goals]
//
// Uses (or generates) the same database as service_bench: N information-price rows over M
// months and R regions (by default 1,000,000 over 60 and 20). Goals, checked unless --no-goals
// (exit status 1 when missed), at 1,000,000 and 5,000,000 rows: median <= 10 ms, 99th
// percentile <= 30 ms. Calls wait as in the program, on the waiter's thread.
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

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
#include "widgets/DBGrid.h"
#include "widgets/QtCallWaiter.h"

using namespace tarvelo;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    server::DemoData::Volume volume;
    int count = 1000;
    bool goals = true;
    std::string db;
    for (int i = 1; i < argc; ++i) {
        if (bench::databaseOption(argc, argv, i, volume, db)) continue;
        if (!std::strcmp(argv[i], "--count") && i + 1 < argc)
            count = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--no-goals"))
            goals = false;
        else {
            std::fprintf(stderr,
                         "usage: browser_bench [--rows N] [--months M] [--regions R] "
                         "[--db FILE] [--count K] [--no-goals]\n");
            return 2;
        }
    }
    db = bench::benchDatabase(volume, db);
    if (db.empty()) return 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    installChineseFonts();

    server::Store store(db);
    // The statements measured are the benchmark's own: the service runs them as they come,
    // with no accounts checked (what checking adds is a match of the text against the client's).
    server::SoapService service(store, server::ServiceLimits{}, {}, {.open = true, .mail = {}});
    server::HttpEndpoint endpoint(service, server::EndpointOptions{});
    endpoint.start();

    ScriptedPlatform ui;
    app().use(ui, endpoint.baseUrl());
    int status = 0;
    {
        TIISdmPtr module(app().config, ui);
        // Calls wait as they do in the program: off the window's thread, input held back.
        QtCallWaiter waiter;
        module.setWaiter(&waiter);
        IISdmPtr = &module;
        TKVR_MainForm window;
        window.DATABZ = "10";
        window.show();
        // The first region under "信息价" of the current month.
        QTreeWidgetItem* region = window.TV_TreeL->topLevelItem(0)->child(0);
        window.TV_TreeL->setCurrentItem(region);
        window.TV_TreeLClick();
        window.QueryEdit->setFocus();
        window.QueryEditEnter();
        const QString characters[] = {QStringLiteral("钢"), QStringLiteral("水"),
                                      QStringLiteral("混"), QStringLiteral("管"),
                                      QStringLiteral("砂"), QStringLiteral("板")};
        std::vector<double> times;
        std::size_t shown = 0;
        for (int i = 0; i < count + 20; ++i) {
            window.QueryEdit->clear();  // an empty box sends nothing
            const auto t0 = Clock::now();
            QTest::sendKeyEvent(QTest::Click, window.QueryEdit, Qt::Key_unknown, characters[i % 6],
                                {});
            // Suggestions come beside the window's calls: shown when their answer is taken in.
            while (window.suggestionsPending())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            const int got = window.SelDBGrid->model()->rowCount();
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            if (i >= 20) {  // the first ones warm the caches
                times.push_back(ms);
                shown += static_cast<std::size_t>(got);
            }
        }
        std::sort(times.begin(), times.end());
        const double median = times[times.size() / 2];
        const double p99 = times[std::min(times.size() - 1, times.size() * 99 / 100)];
        // The peer: the same statements through the data module alone, without the window.
        std::vector<double> bare;
        for (int i = 0; i < std::min(count, 300); ++i) {
            StatementBuffer b;
            BrowserStatements::suggestion(b, Category::XXJ, window.browserPeriod,
                                          region->text(0).toStdString(),
                                          characters[i % 6].toStdString());
            const auto t0 = Clock::now();
            DataSet answer;
            module.QueryInto(b.text(), answer);
            bare.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        std::sort(bare.begin(), bare.end());
        const double bareMedian = bare[bare.size() / 2];
        std::printf(
            "one typed character, region \"%s\" of %s (%ld information-price rows): "
            "median %.2f ms, p99 %.2f ms, %.1f suggestions each (%zu characters)\n",
            region->text(0).toStdString().c_str(), window.browserPeriod.c_str(), volume.infoRows,
            median, p99, static_cast<double>(shown) / static_cast<double>(times.size()),
            times.size());
        if (shown == 0) {
            std::fprintf(stderr, "no suggestion was shown: the measurement is meaningless\n");
            status = 1;
        }
        if (goals) {
            std::printf(
                "goals (%ld information-price rows):\n"
                "  keystroke to suggestions median <= 10 ms  %s  %.2f ms (the statement through "
                "the data module alone: %.2f ms)\n"
                "  keystroke to suggestions p99 <= 30 ms     %s  %.2f ms\n",
                volume.infoRows, median <= 10 ? "met" : "MISSED", median, bareMedian,
                p99 <= 30 ? "met" : "MISSED", p99);
            if (median > 10 || p99 > 30) status = 1;
        }
        IISdmPtr = nullptr;
    }
    endpoint.stop();
    return status;
}
