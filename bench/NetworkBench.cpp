// The client's own paths through a slow link: the real windows (offscreen), the real data access
// module waiting as the program waits (QtCallWaiter), the reference service in this process on a
// generated database, and between them tarvelo-relay's link (NetRelay): once on loopback (the
// relay at no delay and no limit, so that the same things are counted) and once at the link's
// round trip and rate (100 ms and 10 Mbit/s unless told). Per action: time, round trips,
// connections opened and bytes on the wire each way, as the relay counts them.
//   sign-in          the login window: account and password, the button, until the main window
//                    is shown with its reference lists
//   region click     a click on the first region under "信息价": the items of its month
//   keystroke        one character typed into the search box (that region selected): from the key
//                    event to the suggestion grid showing the rows for the box's text (median)
//   month of deals   "成交价", the month typed into the box, Enter: every deal price of the month
//                    in the grid (bytes set beside the answer uncompressed, and gzip's size of it)
//   upload           the data centre's update of 9,998 information prices replacing 9,998 (with
//                    compress-requests on when this build's ServiceConfig knows the key)
// Then typing: "2026" and an item's name typed with real key events, 20, 60 and 250 ms apart,
// through the relay at --typing-rtt (250 ms): whether the box ends with every key in order and
// the suggestions shown are those of its final text.
//
//   network_bench [--rows N] [--months M] [--regions R] [--db FILE] [--rtt MS] [--rate RATE]
//                 [--typing-rtt MS] [--paces MS,...] [--keys K] [--workbook FILE] [--no-goals]
//
// The database (by default network-bench-<volume>-<month>.db in the working folder) is
// generated on first use as service_bench's is, and written to: sessions and the uploaded unit.
// Goals, checked unless --no-goals (exit status 1 when one is missed), at the link's shape:
// keystroke <= 1 round trip + 30 ms; month <= 1 round trip + the gzip-compressed answer's time
// at the rate + 100 ms, its bytes <= 30 % of the uncompressed answer; sign-in <= its round trips
// x the round trip + 150 ms; one connection, opened by sign-in, for every action; upload <= 2 s
// with compress-requests; no key lost or reordered at any of the three paces.
#include <httplib.h>
#include <sqlite3.h>
#include <zlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/Fonts.h"
#include "app/Globals.h"
#include "bench/BenchDatabase.h"
#include "bench/NetRelay.h"
#include "browser/BrowserStatements.h"
#include "browser/KVR_Main.h"
#include "platform/ScriptedPlatform.h"
#include "server/http/HttpEndpoint.h"
#include "server/soap/SoapService.h"
#include "server/store/DemoData.h"
#include "server/store/Store.h"
#include "service/IISdm.h"
#include "signin/Login.h"
#include "soap/SoapInterface.h"
#include "soap/SoapRequest.h"
#include "text/Date.h"
#include "text/Error.h"
#include "text/NumberText.h"
#include "text/StatementBuffer.h"
#include "widgets/DBGrid.h"
#include "widgets/QtCallWaiter.h"

using namespace tarvelo;
using namespace tarvelo::bench;
using Clock = std::chrono::steady_clock;

namespace {

// The statements measured are the benchmark's own: the service runs them as they come, with
// no accounts checked (what checking adds is a match of the text against the client's).
const server::AccountPolicy::Options kOpenAccounts{.open = true, .mail = {}};

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Turns the event loop until `done` holds or `timeoutMs` have passed; false then.
bool waitFor(const std::function<bool()>& done, double timeoutMs) {
    const auto t0 = Clock::now();
    QTimer tick;  // wakes the loop now and then: `done` may turn true without an event
    tick.start(1);
    while (!done()) {
        if (msSince(t0) > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

std::string ms(double v) {
    return fixedText(v, v < 100 ? 1 : 0) + " ms";
}

std::string bytes(long long b) {
    if (b >= 1000000) return fixedText(static_cast<double>(b) / 1e6, 2) + " MB";
    if (b >= 10000) return fixedText(static_cast<double>(b) / 1e3, 1) + " kB";
    return std::to_string(b) + " B";
}

// The values of `column` in every row of `ds`, in order.
std::vector<std::string> column(const DataSet& ds, std::string_view name) {
    std::vector<std::string> out;
    if (!ds.active()) return out;
    const auto c = ds.findField(name);
    if (!c) return out;
    for (std::size_t r = 0; r < ds.recordCount(); ++r)
        out.push_back(ds.displayText(r, *c));
    return out;
}

std::size_t gzipSize(const std::string& text) {
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, text.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    const std::size_t size = z.total_out;
    deflateEnd(&z);
    return size;
}

// Types `text` into `box` as key events: ASCII as its keys, anything else as a key carrying the
// character, as an input method commits it.
void typeCharacter(QWidget* box, QChar ch) {
    if (ch.unicode() < 0x80)
        QTest::keyClick(box, static_cast<char>(ch.unicode()));
    else
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(ch), {});
}

struct Figures {
    double ms = 0;
    RelayCounts counts;
    bool ok = true;  // the action did what it should
};

struct Profile {
    std::string name;
    LinkShape shape;
    Figures signIn, region, keystroke, month, upload;
};

struct Oracle {
    TIISdmPtr* module;
    std::vector<std::string> suggestions(const std::string& period, const std::string& region,
                                         const std::string& text, Category c) const {
        StatementBuffer b;
        BrowserStatements::suggestion(b, c, period, region, text);
        DataSet ds;
        module->QueryInto(b.text(), ds);
        return column(ds, "ITEMDESC");
    }
};

class Session {
public:
    Session(ScriptedPlatform& ui, const std::string& db, const std::string& base, bool compress,
            bool& compressKnown) {
        // Every sign-in starts from no session, as the first of the day does.
        sqlite3* h = nullptr;
        if (sqlite3_open(db.c_str(), &h) == SQLITE_OK) {
            sqlite3_busy_timeout(h, 5000);
            sqlite3_exec(h, "DELETE FROM KVR_LOGIN", nullptr, nullptr, nullptr);
        }
        sqlite3_close(h);
        app().use(ui, base);
        if (compress) {
            compressKnown = false;
            // The key as tarvelo.ini carries it; a build whose ServiceConfig does not know it
            // refuses the file, and calls go uncompressed.
            const std::string ini = "network-bench-compress.ini";
            std::ofstream(ini) << "[service]\ncompress-requests = true\n";
            ServiceConfig c = app().config;
            try {
                c.read(ini);
                app().config = c;
                compressKnown = true;
            } catch (const Error&) {
            }
        }
        m_login = new TTarvelo;
        Tarvelo = m_login;
        m_login->show();
        static_cast<void>(QTest::qWaitForWindowExposed(m_login));
    }
    ~Session() {
        delete m_login;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        app().reset();
    }
    TTarvelo* login() const { return m_login; }

private:
    TTarvelo* m_login;
};

template <typename Action>
Figures measure(const NetRelay& relay, Action action) {
    Figures f;
    const RelayCounts before = relay.counts();
    const auto t0 = Clock::now();
    f.ok = action();
    f.ms = msSince(t0);
    f.counts = relay.counts() - before;
    return f;
}

bool signIn(TTarvelo* login, ScriptedPlatform& ui, double timeoutMs) {
    login->UserIDEdit->setText(QStringLiteral("admin"));
    login->PassWordEdit->setText(QStringLiteral("admin123"));
    ui.clear();
    QTest::mouseClick(login->OKSpeedButton, Qt::LeftButton);
    return waitFor(
               [] {
                   return KVR_MainForm && KVR_MainForm->isVisible() &&
                          KVR_MainForm->Cds_Region.active();
               },
               timeoutMs) &&
           ui.messages().empty();
}

// Clicks `item` of the tree as the user does, and waits for the items it asks for.
bool clickNode(TKVR_MainForm* w, QTreeWidgetItem* item, double timeoutMs) {
    if (item->parent()) item->parent()->setExpanded(true);
    w->TV_TreeL->scrollToItem(item);
    w->Cds_Item.close();
    QTest::mouseClick(w->TV_TreeL->viewport(), Qt::LeftButton, {},
                      w->TV_TreeL->visualItemRect(item).center());
    return waitFor([w] { return w->Cds_Item.active(); }, timeoutMs);
}

bool showsSuggestions(TKVR_MainForm* w, const std::vector<std::string>& expected) {
    return w->SelDBGrid->isVisible() && w->Cds_SelItem.active() &&
           column(w->Cds_SelItem, "ITEMDESC") == expected;
}

// Empties the box and waits until nothing is in flight for it.
void clearBox(TKVR_MainForm* w) {
    w->QueryEdit->clear();
    waitFor([] { return false; }, 1);
    w->SelDBGrid->hide();
    w->Cds_SelItem.close();
}

std::string row(const char* what, const Figures& f) {
    char line[256];
    std::snprintf(line, sizeof line, "  %-26s %10s %4ld %3ld %10s %10s%s", what, ms(f.ms).c_str(),
                  f.counts.roundTrips, f.counts.connections, bytes(f.counts.bytesUp).c_str(),
                  bytes(f.counts.bytesDown).c_str(), f.ok ? "" : "  FAILED");
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    server::DemoData::Volume volume;
    bool goals = true;
    std::string db, workbook;
    LinkShape link{std::chrono::milliseconds(100), 10e6 / 8};
    std::chrono::microseconds typingRtt = std::chrono::milliseconds(250);
    int keys = 7;
    std::vector<int> paces = {20, 60, 250};
    for (int i = 1; i < argc; ++i) {
        if (databaseOption(argc, argv, i, volume, db)) continue;
        const std::string_view a = argv[i];
        const bool value = i + 1 < argc;
        if (a == "--rtt" && value) {
            link.roundTrip = std::chrono::milliseconds(std::atoi(argv[++i]));
        } else if (a == "--typing-rtt" && value) {
            typingRtt = std::chrono::milliseconds(std::atoi(argv[++i]));
        } else if (a == "--rate" && value && LinkShape::parseRate(argv[i + 1])) {
            link.bytesPerSecond = *LinkShape::parseRate(argv[++i]);
        } else if (a == "--keys" && value) {
            keys = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--paces" && value) {
            paces.clear();
            for (const char* at = argv[++i]; *at;) {
                char* end = nullptr;
                paces.push_back(static_cast<int>(std::strtol(at, &end, 10)));
                at = *end == ',' ? end + 1 : end + std::strlen(end);
            }
        } else if (a == "--workbook" && value) {
            workbook = argv[++i];
        } else if (a == "--no-goals") {
            goals = false;
        } else {
            std::fprintf(
                stderr,
                "usage: network_bench [--rows N] [--months M] [--regions R] [--db FILE] "
                "[--rtt MS] [--rate RATE] [--typing-rtt MS] [--paces MS,MS,...] [--keys K] "
                "[--workbook FILE] [--no-goals]\n");
            return 2;
        }
    }
    const std::string period = Date::today().period();
    if (db.empty()) db = "network-bench-" + volume.name() + "-" + period + ".db";
    db = benchDatabase(volume, db);
    if (db.empty()) return 1;
    if (workbook.empty()) {
        workbook = "price-workbook-9998.xlsx";
        if (!std::filesystem::exists(workbook) &&
            std::system(("/usr/bin/python3 " + std::string(TARVELO_BENCH_SOURCE) +
                         "/make-price-workbook.py " + workbook)
                            .c_str()) != 0)
            return 1;
    }
    workbook = std::filesystem::absolute(workbook).string();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    installChineseFonts();

    server::Store store(db);
    server::SoapService service(store, server::ServiceLimits{}, {}, kOpenAccounts);
    server::HttpEndpoint endpoint(service, server::EndpointOptions{});
    endpoint.start();
    ScriptedPlatform ui;
    QtCallWaiter waiter;
    app().waiter = &waiter;
    const double patience = 120000;  // ms: whatever a step takes, it is not left waiting forever

    // What the windows should show, asked straight of the service (no relay, no waiter).
    ServiceConfig direct = ServiceConfig::forService(endpoint.baseUrl());
    TIISdmPtr oracleModule(direct, ui);
    const Oracle oracle{&oracleModule};
    std::string regionName;
    {
        DataSet regions;
        oracleModule.QueryInto("select ID,IDDESC FROM KVR_REGION ORDER BY ID ", regions);
        regionName = column(regions, "IDDESC").at(0);
    }
    // The month's deal prices as the search asks for them: rows, the answer's HTTP body
    // uncompressed and gzip's size of it.
    StatementBuffer monthSearch;
    BrowserStatements::search(monthSearch, Category::CJJ, period, "", period);
    std::size_t monthRows = 0, monthPlain = 0, monthGzip = 0;
    {
        DataSet month;
        oracleModule.QueryInto(monthSearch.text(), month);
        monthRows = month.recordCount();
        httplib::Client http("127.0.0.1", endpoint.port());
        http.set_decompress(false);
        const std::string sql = monthSearch.text();
        const SoapRequest::Argument args[] = {{"sSQL", sql}};
        const SoapInterface& supply = SoapInterface::supply();
        const auto res = http.Post("/soap/" + std::string(supply.name),
                                   {{"SOAPAction", supply.soapAction("SpplyVanDataBySQL")},
                                    {"Accept-Encoding", "identity"}},
                                   SoapRequest::write(supply.ns, "SpplyVanDataBySQL", args),
                                   "text/xml; charset=utf-8");
        if (!res || res->status != 200) {
            std::fprintf(stderr, "the month's answer could not be fetched\n");
            return 1;
        }
        monthPlain = res->body.size();
        monthGzip = gzipSize(res->body);
    }
    const QString typedCharacters[] = {
        QStringLiteral("钢"), QStringLiteral("水"), QStringLiteral("混"), QStringLiteral("管"),
        QStringLiteral("砂"), QStringLiteral("板"), QStringLiteral("电")};

    std::vector<Profile> profiles = {{"loopback", LinkShape{}, {}, {}, {}, {}, {}},
                                     {"link", link, {}, {}, {}, {}, {}}};
    bool compressKnown = false;
    bool ok = true;
    for (Profile& p : profiles) {
        NetRelay relay("127.0.0.1", endpoint.port(), p.shape);
        Session session(ui, db, relay.baseUrl(), true, compressKnown);
        p.signIn = measure(relay, [&] { return signIn(session.login(), ui, patience); });
        TKVR_MainForm* w = KVR_MainForm;
        if (!p.signIn.ok || !w) {
            std::fprintf(stderr, "sign-in failed on %s: %s\n", p.name.c_str(),
                         ui.messages().empty() ? "" : ui.messages().front().c_str());
            return 1;
        }
        w->DATABZ = "10";  // the data centre's upload, whatever the account's roles
        QTreeWidgetItem* region = w->TV_TreeL->topLevelItem(0)->child(0);
        p.region = measure(relay, [&] { return clickNode(w, region, patience); });

        // Keystrokes into the empty box.
        w->QueryEdit->setFocus();
        QApplication::processEvents();
        const std::string regionText = region->text(0).toStdString();
        std::vector<double> times;
        RelayCounts keyCounts;
        for (int k = 0; k < keys; ++k) {
            const QString ch = typedCharacters[k % 7];
            const auto expected =
                oracle.suggestions(w->browserPeriod, regionText, ch.toStdString(), Category::XXJ);
            clearBox(w);
            const Figures f = measure(relay, [&] {
                typeCharacter(w->QueryEdit, ch[0]);
                return waitFor([&] { return showsSuggestions(w, expected); }, patience);
            });
            p.keystroke.ok = p.keystroke.ok && f.ok && !expected.empty();
            times.push_back(f.ms);
            keyCounts.roundTrips += f.counts.roundTrips;
            keyCounts.connections += f.counts.connections;
            keyCounts.bytesUp += f.counts.bytesUp;
            keyCounts.bytesDown += f.counts.bytesDown;
        }
        std::sort(times.begin(), times.end());
        p.keystroke.ms = times[times.size() / 2];
        // Per keystroke; the connections of all of them.
        p.keystroke.counts = {keyCounts.connections, keyCounts.roundTrips / keys,
                              keyCounts.bytesUp / keys, keyCounts.bytesDown / keys};

        // The month of deal prices: the tab, the month typed (its suggestions shown), Enter.
        clearBox(w);
        bool ready = clickNode(w, w->TV_TreeL->topLevelItem(1), patience);
        w->QueryEdit->setFocus();
        const auto monthSuggestions =
            oracle.suggestions(w->browserPeriod, "", period, Category::CJJ);
        QTest::keyClicks(w->QueryEdit, QString::fromStdString(period));
        ready = ready && waitFor([&] { return showsSuggestions(w, monthSuggestions); }, patience);
        w->Cds_CJJ.close();
        p.month = measure(relay, [&] {
            QTest::keyClick(w->QueryEdit, Qt::Key_Return);
            return waitFor(
                [&] { return w->Cds_CJJ.active() && w->Cds_CJJ.recordCount() == monthRows; },
                patience);
        });
        p.month.ok = p.month.ok && ready;

        // The upload: the unit holds the workbook's rows from the run before (on loopback, a
        // first upload fills it).
        w->PageControl2->setCurrentWidget(w->TS_XXJD);
        w->QueryDBEdit->setText(QStringLiteral("基准区"));
        const auto upload = [&] {
            ui.answerOpenFile(workbook);
            ui.answerQuestion(true);
            ui.clear();
            w->TransferTBClick();
            return !ui.messages().empty() && ui.messages().back().rfind("操作成功。", 0) == 0;
        };
        if (&p == &profiles.front()) upload();
        p.upload = measure(relay, upload);
        for (const Figures* f : {&p.signIn, &p.region, &p.keystroke, &p.month, &p.upload})
            ok = ok && f->ok;
    }

    // Typing at three paces through the slow round trip: no key may be lost or reordered.
    struct Typing {
        int intervalMs;
        QString text;
        QString got;
        bool suggestionsOfFinal = false;
    };
    std::vector<Typing> typing;
    {
        const LinkShape slow{typingRtt, link.bytesPerSecond};
        NetRelay relay("127.0.0.1", endpoint.port(), slow);
        Session session(ui, db, relay.baseUrl(), false, compressKnown);
        if (!signIn(session.login(), ui, patience)) return 1;
        TKVR_MainForm* w = KVR_MainForm;
        QTreeWidgetItem* region = w->TV_TreeL->topLevelItem(0)->child(0);
        clickNode(w, region, patience);
        const std::string regionText = region->text(0).toStdString();
        // A longer text: the first item name the region's suggestions for "钢" hold.
        const auto names = oracle.suggestions(w->browserPeriod, regionText, "钢", Category::XXJ);
        const QString longer = QString::fromStdString(names.empty() ? "钢筋混凝土" : names.front());
        w->QueryEdit->setFocus();
        for (const int interval : paces)
            for (const QString& text : {QStringLiteral("2026"), longer}) {
                clearBox(w);
                waitFor([] { return false; }, 2.0 * static_cast<double>(typingRtt.count()) / 1000);
                Typing t{interval, text, {}, false};
                for (qsizetype i = 0; i < text.size(); ++i)
                    QTimer::singleShot(static_cast<int>(i) * interval, w,
                                       [w, ch = text[i]] { typeCharacter(w->QueryEdit, ch); });
                // Every key sent, then the answers for the last of them given time to arrive.
                waitFor([] { return false; }, static_cast<double>(text.size() * interval));
                const auto expected = oracle.suggestions(w->browserPeriod, regionText,
                                                         text.toStdString(), Category::XXJ);
                waitFor(
                    [&] { return w->QueryEdit->text() == text && showsSuggestions(w, expected); },
                    4.0 * static_cast<double>(typingRtt.count()) / 1000 + 1000);
                t.got = w->QueryEdit->text();
                t.suggestionsOfFinal =
                    showsSuggestions(w, oracle.suggestions(w->browserPeriod, regionText,
                                                           t.got.toStdString(), Category::XXJ));
                typing.push_back(t);
            }
    }
    endpoint.stop();

    const Profile& lo = profiles[0];
    const Profile& sl = profiles[1];
    const double rtt = static_cast<double>(link.roundTrip.count()) / 1000;
    std::printf(
        "%ld information-price rows (%zu deal prices in %s); the link: round trip %s, %s; "
        "compress-requests %s\n",
        volume.infoRows, monthRows, period.c_str(), ms(rtt).c_str(),
        LinkShape::rateText(link.bytesPerSecond).c_str(),
        compressKnown ? "on" : "unknown to this build (uploads go uncompressed)");
    std::printf("  %-26s %10s %4s %3s %10s %10s\n", "action", "time", "RTs", "new", "sent",
                "received");
    const std::pair<const char*, Figures Profile::*> actions[] = {
        {"sign-in", &Profile::signIn},
        {"region click", &Profile::region},
        {"keystroke (median, each)", &Profile::keystroke},
        {"month of deal prices", &Profile::month},
        {"upload 9,998 rows", &Profile::upload}};
    for (const Profile& p : profiles) {
        std::printf("%s (round trip %s, %s):\n", p.name.c_str(),
                    ms(static_cast<double>(p.shape.roundTrip.count()) / 1000).c_str(),
                    LinkShape::rateText(p.shape.bytesPerSecond).c_str());
        for (const auto& [what, member] : actions)
            std::printf("%s\n", row(what, p.*member).c_str());
    }
    std::printf("the month's answer: %s uncompressed, %s as gzip\n",
                bytes(static_cast<long long>(monthPlain)).c_str(),
                bytes(static_cast<long long>(monthGzip)).c_str());
    std::printf("typing through a %s round trip:\n",
                ms(static_cast<double>(typingRtt.count()) / 1000).c_str());
    for (const Typing& t : typing) {
        std::printf("  %3d ms per key, \"%s\": the box reads \"%s\", suggestions %s\n",
                    t.intervalMs, t.text.toStdString().c_str(), t.got.toStdString().c_str(),
                    t.suggestionsOfFinal ? "of that text" : "NOT of that text");
    }
    if (!ok) std::fprintf(stderr, "an action did not complete: the figures are meaningless\n");
    if (!goals) return ok ? 0 : 1;

    const auto check = [&](bool met, const std::string& what, const std::string& figures) {
        std::printf("  %-62s %s  %s\n", what.c_str(), met ? "met" : "NOT met", figures.c_str());
        ok = ok && met;
    };
    std::printf("goals (the link: round trip %s, %s):\n", ms(rtt).c_str(),
                LinkShape::rateText(link.bytesPerSecond).c_str());
    for (const int pace : paces) {
        bool met = true;
        std::string got;
        for (const Typing& t : typing)
            if (t.intervalMs == pace) {
                met = met && t.got == t.text && t.suggestionsOfFinal;
                got += (got.empty() ? "\"" : ", \"") + t.got.toStdString() + "\"";
            }
        check(met,
              "no key lost at " + std::to_string(pace) + " ms per key (" +
                  ms(static_cast<double>(typingRtt.count()) / 1000) + " round trip)",
              "the box reads " + got);
    }
    check(sl.keystroke.ms <= rtt + 30, "keystroke to suggestions <= 1 round trip + 30 ms",
          ms(sl.keystroke.ms) + " (loopback " + ms(lo.keystroke.ms) + ")");
    const double transfer = static_cast<double>(monthGzip) / link.bytesPerSecond * 1000;
    check(sl.month.ms <= rtt + transfer + 100,
          "month of deal prices <= 1 round trip + gzip's transfer + 100 ms",
          ms(sl.month.ms) + " against " + ms(rtt + transfer + 100) + " (loopback " +
              ms(lo.month.ms) + ")");
    check(static_cast<double>(sl.month.counts.bytesDown) <= 0.3 * static_cast<double>(monthPlain),
          "month's bytes on the wire <= 30 % of the uncompressed answer",
          bytes(sl.month.counts.bytesDown) + " of " + bytes(static_cast<long long>(monthPlain)) +
              " (" +
              fixedText(100.0 * static_cast<double>(sl.month.counts.bytesDown) /
                            static_cast<double>(monthPlain),
                        0) +
              " %)");
    const double signInAllowed = static_cast<double>(sl.signIn.counts.roundTrips) * rtt + 150;
    check(sl.signIn.ms <= signInAllowed, "sign-in <= its round trips x round trip + 150 ms",
          ms(sl.signIn.ms) + " against " + ms(signInAllowed) + " (" +
              std::to_string(sl.signIn.counts.roundTrips) + " round trips)");
    std::string opened;
    bool oneConnection = sl.signIn.counts.connections <= 1;
    for (const auto& [what, member] : actions) {
        const long n = (sl.*member).counts.connections;
        if (member != &Profile::signIn) oneConnection = oneConnection && n == 0;
        if (n > 0)
            opened += (opened.empty() ? "" : ", ") + std::string(what) + " " + std::to_string(n);
    }
    check(oneConnection, "one connection: sign-in opens it, no action another",
          "opened: " + (opened.empty() ? std::string("none") : opened));
    check(compressKnown && sl.upload.ms <= 2000, "upload <= 2 s with compress-requests",
          ms(sl.upload.ms) + ", " + bytes(sl.upload.counts.bytesUp) + " sent" +
              (compressKnown ? "" : " (compress-requests unknown to this build)"));
    return ok ? 0 : 1;
}
