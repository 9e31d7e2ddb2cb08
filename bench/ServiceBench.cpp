// Measures the reference service end to end over loopback through a real HTTP client:
//   1. the information-price suggestion statement of the search box (a region, a month, a
//      two-character text) over a large KVR_XXJ: median and 99th percentile;
//   2. the deal-price suggestion statement over a whole month of KVR_CJJ: median;
//   3. a delta of 9,998 inserted rows resolved through ApplyVanDataBySQLupKeyChangedExc1;
//   4. two concurrent clients sending suggestion statements: answers per second together;
//   5. connections: 1,000 simultaneous connects (how many fail), then 8 clients sending
//      suggestion statements while 1,000 idle keep-alive connections and 100 connections
//      sending their header a byte at a time are open: 99th percentile.
// Every answer is read back as a SOAP response and loaded into a dataset, as the client does.
// Beside 1, 2 and 4 on SQLite stands "SQLite alone": the same statements run straight on the
// same file through SQLite in this process (no HTTP, no SOAP, no packet), so that what the
// service adds to the database's own work shows.
//
//   service_bench [--rows N] [--months M] [--regions R] [--db FILE] [--seconds S] [--no-goals]
//                 [--backend sqlite|postgresql|both]
//
// The database (N information-price rows over M months and R regions, by default 1,000,000 over
// 60 and 20, and N/2 deal-price rows over the same months: see DemoData::Volume) is generated on
// first use and kept. Ten years of 80 regions:
//   scripts/bench service --rows 10000000 --months 120 --regions 80
// Goals, checked unless --no-goals (exit status 1 when one is missed), whatever the volume:
// suggestion median <= 3 ms and p99 <= 10 ms, deal-price month median <= 15 ms, delta <= 0.2 s,
// two clients >= 1,500 answers/s, no failed connect of the 1,000, and 8 clients' p99 <= 50 ms
// beside the idle and slow connections.
#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchDatabase.h"
#include "data/DataSet.h"
#include "data/PriceTable.h"
#include "server/http/HttpEndpoint.h"
#include "server/soap/SoapService.h"
#include "server/store/DemoData.h"
#include "server/store/Dialect.h"
#include "server/store/ServiceConnection.h"
#include "server/store/Store.h"
#include "server/store/postgresql/PgDatabase.h"
#include "server/store/sqlite/SqliteMemory.h"
#include "soap/SoapInterface.h"
#include "soap/SoapRequest.h"
#include "soap/SoapResponse.h"
#include "text/Date.h"
#include "text/DateTime.h"
#include "text/StatementBuffer.h"

using namespace tarvelo;
using Clock = std::chrono::steady_clock;

namespace {

// The statements measured are the benchmark's own: the service runs them as they come, with
// no accounts checked (what checking adds is a match of the text against the client's).
const server::AccountPolicy::Options kOpenAccounts{.open = true, .mail = {}};

const char* const kTexts[] = {"钢筋", "水泥", "混凝", "玻璃", "钢管", "电缆", "砂浆", "板材"};

std::string suggestion(std::string_view table, std::string_view priceColumn, std::string_view place,
                       std::string_view period, std::string_view text) {
    StatementBuffer b;
    b.add("with AAA as");
    b.add("(");
    b.add(" Select coalesce(ITEMDESC,',') ");
    b.add(" ||','||coalesce(PLACE,',') ");
    b.add(" ||','||coalesce(PERDID,',') ");
    b.add(" MERG");
    b.add(",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MATERIAL," + std::string(priceColumn) +
          ",SERIAL ");
    b.add(" From " + std::string(table));
    if (!place.empty()) {
        b.add(" WHERE PLACE='" + std::string(place) + "' ");
        b.add(" and PERDID='" + std::string(period) + "' ");
    } else {
        b.add(" WHERE PERDID='" + std::string(period) + "' ");
    }
    b.add(" ) ");
    b.add(" Select DISTINCT ITEMDESC from AAA  ");
    b.add(" where PosStr(MERG,'" + std::string(text) + "')>=1");
    return b.text();
}

std::string period(int monthsBack) {
    const Date t = Date::today();
    const int m = t.year * 12 + t.month - 1 - monthsBack;
    return Date{m / 12, m % 12 + 1, 1}.period();
}

// The statements of a run over a volume: statement i asks for a region and a month spread over
// the whole database, and one of eight texts. Written beforehand, so that making them costs
// the measured loops nothing.
class Workload {
public:
    explicit Workload(const server::DemoData::Volume& v) : m_volume(v) {
        std::vector<std::string> regions, periods;
        for (int r = 0; r < v.regions; ++r)
            regions.push_back(server::DemoData::volumeRegion(r));
        for (int m = 0; m < v.months; ++m)
            periods.push_back(period(m));
        for (unsigned long i = 0; i < kCount; ++i) {
            const unsigned long h = (i * 2654435761ul) >> 7;
            m_info.push_back(suggestion("KVR_XXJ", "XXJ", regions[h % regions.size()],
                                        periods[h / regions.size() % periods.size()],
                                        kTexts[i % 8]));
            // A whole month: the deal-price table is keyed by month alone.
            m_deal.push_back(
                suggestion("KVR_CJJ", "CJJ", "", periods[h % periods.size()], kTexts[i % 8]));
        }
    }
    const server::DemoData::Volume& volume() const { return m_volume; }
    const std::string& info(long i) const { return m_info[static_cast<unsigned long>(i) % kCount]; }
    const std::string& deal(long i) const { return m_deal[static_cast<unsigned long>(i) % kCount]; }

private:
    static constexpr unsigned long kCount = 8192;
    server::DemoData::Volume m_volume;
    std::vector<std::string> m_info, m_deal;
};

// The same statements straight on the database file through SQLite: prepared, stepped through
// every row with each value read as text, finalised; on a connection set up as the service's
// are (its allocator, the mapping of the file, its functions).
class Direct {
public:
    explicit Direct(const std::string& path) {
        server::SqliteMemory::install();
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + path);
        sqlite3_exec(m_db, "PRAGMA mmap_size=2147483648", nullptr, nullptr, nullptr);
        server::registerDialect(m_db);
    }
    ~Direct() { sqlite3_close(m_db); }
    Direct(const Direct&) = delete;
    Direct& operator=(const Direct&) = delete;

    std::size_t query(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v3(m_db, sql.data(), static_cast<int>(sql.size()), 0, &stmt, nullptr) !=
            SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(m_db));
        std::size_t rows = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            ++rows;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i)
                sqlite3_column_text(stmt, i);
        }
        const int rc = sqlite3_finalize(stmt);
        if (rc != SQLITE_OK) throw std::runtime_error(sqlite3_errstr(rc));
        return rows;
    }

private:
    sqlite3* m_db = nullptr;
};

class Client {
public:
    explicit Client(int port) : m_http("127.0.0.1", port) {
        m_http.set_keep_alive(true);
        m_http.set_tcp_nodelay(true);
        m_http.set_read_timeout(60);
    }
    std::string call(const SoapInterface& iface, std::string_view operation,
                     std::span<const SoapRequest::Argument> args) {
        const auto res = m_http.Post(
            "/soap/" + std::string(iface.name), {{"SOAPAction", iface.soapAction(operation)}},
            SoapRequest::write(iface.ns, operation, args), "text/xml; charset=utf-8");
        if (!res) throw std::runtime_error("HTTP failed: " + httplib::to_string(res.error()));
        return SoapResponse::read(res->body, operation).text;
    }
    std::size_t query(const std::string& sql) {
        const SoapRequest::Argument args[] = {{"sSQL", sql}};
        DataSet ds;
        ds.loadPacket(call(SoapInterface::supply(), "SpplyVanDataBySQL", args));
        return ds.recordCount();
    }

private:
    httplib::Client m_http;
};

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

// The crowds here all come from 127.0.0.1: no limit per address.
server::EndpointOptions crowdOptions() {
    server::EndpointOptions options;
    options.maxConnectionsPerAddress = 0;
    return options;
}

// A loopback connection of our own, for the crowds of idle and slow clients.
int connectTo(int port, bool nonBlocking) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Reads one answer with a Content-Length; false on an error, a close or after 10 s.
bool readAnswer(int fd) {
    std::string text;
    char buf[8192];
    for (;;) {
        const auto head = text.find("\r\n\r\n");
        if (head != std::string::npos) {
            const auto at = text.find("Content-Length: ");
            if (at == std::string::npos) return false;
            if (text.size() >= head + 4 + std::stoul(text.substr(at + 16))) return true;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1) return false;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        text.append(buf, static_cast<std::size_t>(n));
    }
}

bool check(bool goals, bool ok, const std::string& what) {
    if (goals) std::printf("  %-70s %s\n", what.c_str(), ok ? "met" : "MISSED");
    return ok || !goals;
}

// 10000000 as "10,000,000".
std::string grouped(long n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

// "suggestion median 0.62 ms (SQLite alone 0.41 ms) ≤ 3 ms"; no "SQLite alone" when it is < 0.
std::string figure(const char* what, double value, double alone, const char* unit,
                   const char* goal) {
    char buf[200];
    const auto number = [&](double v) {
        if (std::strcmp(unit, "ms") != 0) return grouped(std::lround(v));
        std::snprintf(buf, sizeof buf, "%.2f", v);
        return std::string(buf);
    };
    std::string out = std::string(what) + " " + number(value) + " " + unit;
    if (alone >= 0) out += " (SQLite alone " + number(alone) + " " + unit + ")";
    return out + " " + goal;
}

std::string describe(const server::DemoData::Volume& v) {
    return grouped(v.infoRows) + " information-price rows over " + std::to_string(v.months) +
           " months and " + std::to_string(v.regions) + " regions, " + grouped(v.dealRows()) +
           " deal-price rows";
}

}  // namespace

// Answers per second of `clients` clients together for `seconds`; `open(t)` makes client t
// (anything with query(sql)).
template <class Open>
double throughput(const Workload& w, int clients, double seconds, Open open) {
    std::atomic<long> total{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < clients; ++t)
        threads.emplace_back([&, t] {
            auto c = open(t);
            long n = 0;
            for (long i = t; !stop; i += clients, ++n)
                c.query(w.info(i));
            total += n;
        });
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    for (auto& t : threads)
        t.join();
    return static_cast<double>(total) / (ms(Clock::now() - t0) / 1000);
}

double throughput(const std::vector<int>& ports, const Workload& w, int clients, double seconds) {
    return throughput(w, clients, seconds, [&](int t) {
        return Client(ports[static_cast<std::size_t>(t) % ports.size()]);
    });
}

// 1 and 2 above through `q` (a client of the service, or SQLite alone).
struct Timings {
    double sMedian = 0, sP99 = 0, cMedian = 0, cP99 = 0, names = 0;
};

template <class Q>
Timings timeSuggestions(Q& q, const Workload& w) {
    Timings out;
    // 1. Information-price suggestions: region and month, two characters.
    for (long i = 0; i < 50; ++i)
        q.query(w.info(i + 5000));
    std::vector<double> times;
    std::size_t answered = 0;
    for (long i = 0; i < 2000; ++i) {
        const std::string sql = w.info(i);
        const auto t0 = Clock::now();
        answered += q.query(sql);
        times.push_back(ms(Clock::now() - t0));
    }
    out.sMedian = percentile(times, 0.5);
    out.sP99 = percentile(times, 0.99);
    out.names = static_cast<double>(answered) / static_cast<double>(times.size());
    // 2. Deal-price suggestions over a whole month.
    for (long i = 0; i < 10; ++i)
        q.query(w.deal(i + 5000));
    times.clear();
    for (long i = 0; i < 300; ++i) {
        const std::string sql = w.deal(i);
        const auto t0 = Clock::now();
        q.query(sql);
        times.push_back(ms(Clock::now() - t0));
    }
    out.cMedian = percentile(times, 0.5);
    out.cP99 = percentile(times, 0.99);
    return out;
}

void print(const Timings& t, const Workload& w, const char* through) {
    std::printf(
        "%s suggestion, region and month (2000 statements, %.1f names each): median %.2f ms, "
        "p99 %.2f ms\n",
        through, t.names, t.sMedian, t.sP99);
    std::printf(
        "%s suggestion, deal prices of a whole month (%s rows): median %.2f ms, "
        "p99 %.2f ms\n",
        through, grouped(w.volume().dealRows() / w.volume().months).c_str(), t.cMedian, t.cP99);
}

// The service's own figures on one database (1-4 above).
struct Figures {
    Timings t;
    double dMedian = 0, rate = 0;
};

// 1, 2 and 4 with SQLite alone on the file.
Figures measureDirect(const std::string& path, const Workload& w, double seconds) {
    Figures f;
    Direct direct(path);
    f.t = timeSuggestions(direct, w);
    print(f.t, w, "SQLite alone:");
    f.rate = throughput(w, 2, seconds, [&](int) { return Direct(path); });
    std::printf("SQLite alone: two threads: %.0f suggestion answers/s\n", f.rate);
    return f;
}

Figures measure(int port, const Workload& w, double seconds) {
    Figures f;
    Client client(port);
    f.t = timeSuggestions(client, w);
    print(f.t, w, "service:");
    std::vector<double> times;

    // 3. A delta of 9,998 inserted rows.
    DataSet import;
    priceTable(Category::XXJ).reset(import);
    for (int i = 1; i <= 9998; ++i) {
        import.append();
        import.fieldByName("PERDID").setText("209912");
        import.fieldByName("PLACE").setText("基准测试区");
        import.fieldByName("SERIAL").setText(std::to_string(i));
        import.fieldByName("ITEMDESC").setText("热轧带肋钢筋");
        import.fieldByName("ITEMID").setText("0101" + std::to_string(i));
        import.fieldByName("SPECID").setText("HRB400E Φ" + std::to_string(6 + i % 30));
        import.fieldByName("BRAND").setText("鑫达");
        import.fieldByName("UNIT").setText("吨");
        import.fieldByName("XXJ").setText(std::to_string(4000 + i % 300));
        import.fieldByName("RQ").setDateTime(DateTime{Date::today(), 0, 0, 0, 0});
        import.post();
    }
    const std::string delta = *import.delta();
    StatementBuffer params;
    params.add("SQL00=Select 'AAA' AAA From KVR_XXJ Where 1=2");
    params.add("Key00=ResolveToSQL;upWhereChanged;PERDID,PLACE,SERIAL");
    params.add("Inc00=");
    params.add("Exc00=");
    times.clear();
    for (int run = 0; run < 5; ++run) {
        const SoapRequest::Argument del[] = {
            {"sSQL", std::string("delete from KVR_XXJ where PERDID='209912'")}};
        client.call(SoapInterface::apply(), "ApplyVanDataByExc", del);
        const SoapRequest::Argument args[] = {{"sSQL", params.text()}, {"sDelta00", delta}};
        const auto t0 = Clock::now();
        const std::string result =
            client.call(SoapInterface::apply(), "ApplyVanDataBySQLupKeyChangedExc1", args);
        times.push_back(ms(Clock::now() - t0));
        if (result != "0") {
            std::fprintf(stderr, "delta answered %s\n", result.c_str());
            std::exit(1);
        }
    }
    const SoapRequest::Argument del[] = {
        {"sSQL", std::string("delete from KVR_XXJ where PERDID='209912'")}};
    client.call(SoapInterface::apply(), "ApplyVanDataByExc", del);
    f.dMedian = percentile(times, 0.5);
    std::printf("service: delta of 9,998 inserted rows (%.1f MB): median %.0f ms, best %.0f ms\n",
                static_cast<double>(delta.size()) / 1e6, f.dMedian,
                *std::min_element(times.begin(), times.end()));

    // 4. Two clients at once.
    f.rate = throughput({port}, w, 2, seconds);
    std::printf("service: two concurrent clients: %.0f suggestion answers/s\n", f.rate);

    return f;
}

// The benchmark's PostgreSQL: a primary and one streaming replica on Unix sockets under pg/ in
// the working folder (scripts/pg-server), started for the run and stopped after it; the database
// is generated once and kept, like the SQLite file.
struct PostgresFigures {
    Figures f;
    double primaryAlone = 0;  // answers/s of 8 clients on the primary's service
    double withReplica = 0;   // 4 on the primary's service and 4 on the replica's
};

int shell(const std::string& command) {
    return std::system(command.c_str());
}

std::string pgUri(const std::string& dir, const std::string& db, const std::string& role) {
    std::string host, port;
    std::ifstream(dir + "/host") >> host;
    std::ifstream(dir + "/port") >> port;
    return "postgresql://" + role + "@/" + db + "?host=" + host + "&port=" + port;
}

std::string scalar(const std::string& uri, const std::string& sql) {
    auto c = server::PgDatabase::connect(uri, server::Side::Internal);
    auto q = c->prepare(sql);
    return q->step() ? q->text(0) : std::string();
}

PostgresFigures measurePostgres(const Workload& w, double seconds) {
    const auto& v = w.volume();
    namespace fs = std::filesystem;
    const std::string pgServer = std::string(TARVELO_SOURCE_DIR) + "/scripts/pg-server";
    const std::string primary = (fs::current_path() / "pg" / "primary").string();
    const std::string replica = (fs::current_path() / "pg" / "replica").string();
    if (shell(pgServer + " start " + primary + " 5611 >/dev/null") != 0)
        throw std::runtime_error("PostgreSQL did not start");
    const std::string db = "bench_" + std::to_string(v.infoRows) + "_" + std::to_string(v.months) +
                           "_" + std::to_string(v.regions) + "_" + Date::today().period();
    const std::string owner = pgUri(primary, db, "tv");
    if (scalar(pgUri(primary, "postgres", "tv"),
               "select count(*) from pg_database where datname = '" + db + "'") == "0") {
        std::printf("generating %s in PostgreSQL ...\n", describe(v).c_str());
        const auto t0 = Clock::now();
        server::PgDatabase::connect(pgUri(primary, "postgres", "tv"), server::Side::Internal)
            ->exec("CREATE DATABASE " + db);
        server::Store::initialise(owner);
        server::DemoData::loadVolume(owner, Date::today(), v);
        server::PgDatabase::connect(owner, server::Side::Internal)->exec("ANALYZE");
        std::printf("  done in %.1f s\n", ms(Clock::now() - t0) / 1000);
    }
    shell(pgServer + " home " + replica + " >/dev/null");
    std::string replicaHome, primaryHome;
    std::ifstream(replica + "/host") >> replicaHome;
    std::ifstream(primary + "/host") >> primaryHome;
    if (!fs::exists(replicaHome + "/data/PG_VERSION")) {
        if (shell(std::string(::geteuid() == 0 ? "runuser -u postgres -- " : "") +
                  "/usr/lib/postgresql/15/bin/pg_basebackup -D " + replicaHome +
                  "/data -R -X stream -c fast -d 'host=" + primaryHome + " port=5611 user=tv'") !=
            0)
            throw std::runtime_error("pg_basebackup failed");
    }
    if (shell(pgServer + " start " + replica + " 5612 >/dev/null") != 0)
        throw std::runtime_error("the replica did not start");
    // The replica has replayed everything the primary wrote before it is measured.
    const std::string written =
        scalar(pgUri(primary, "postgres", "tv"), "select pg_current_wal_lsn()");
    for (int i = 0; i < 600; ++i) {
        if (scalar(pgUri(replica, "postgres", "tv"),
                   "select pg_last_wal_replay_lsn() >= '" + written + "'::pg_lsn") == "1")
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    PostgresFigures out;
    {
        server::Store store(pgUri(primary, db, "tarvelo_read"),
                            pgUri(primary, db, "tarvelo_write"));
        server::SoapService service(store, server::ServiceLimits{}, {}, kOpenAccounts);
        server::HttpEndpoint endpoint(service, crowdOptions());
        endpoint.start();
        server::Store replicaStore(pgUri(replica, db, "tarvelo_read"));
        server::SoapService replicaService(replicaStore, server::ServiceLimits{}, {},
                                           kOpenAccounts);
        server::HttpEndpoint replicaEndpoint(replicaService, crowdOptions());
        replicaEndpoint.start();
        std::printf("service on %s over the PostgreSQL primary, %s over its replica\n",
                    endpoint.baseUrl().c_str(), replicaEndpoint.baseUrl().c_str());
        out.f = measure(endpoint.port(), w, seconds);
        out.primaryAlone = throughput({endpoint.port()}, w, 8, seconds);
        out.withReplica = throughput({endpoint.port(), replicaEndpoint.port()}, w, 8, seconds);
        std::printf("8 clients: %.0f answers/s on the primary alone, %.0f on primary + replica\n",
                    out.primaryAlone, out.withReplica);
        endpoint.stop();
        replicaEndpoint.stop();
    }
    shell(pgServer + " stop " + replica);
    shell(pgServer + " stop " + primary);
    return out;
}

int main(int argc, char** argv) {
    // Each of the crowds' connections takes a descriptor here and one in the service.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    server::DemoData::Volume volume;
    double seconds = 3;
    bool goals = true;
    std::string db;
    std::string backend = "sqlite";
    for (int i = 1; i < argc; ++i) {
        if (bench::databaseOption(argc, argv, i, volume, db)) continue;
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--no-goals"))
            goals = false;
        else if (!std::strcmp(argv[i], "--backend") && i + 1 < argc)
            backend = argv[++i];
        else {
            std::fprintf(stderr,
                         "usage: service_bench [--rows N] [--months M] [--regions R] [--db FILE]\n"
                         "                     [--seconds S] [--no-goals]\n"
                         "                     [--backend sqlite|postgresql|both]\n");
            return 2;
        }
    }
    if (backend != "sqlite" && backend != "postgresql" && backend != "both") {
        std::fprintf(stderr, "--backend: sqlite, postgresql or both\n");
        return 2;
    }
    if (volume.infoRows < 1 || volume.months < 1 || volume.regions < 1) {
        std::fprintf(stderr, "--rows, --months and --regions: at least 1\n");
        return 2;
    }
    const Workload work(volume);
    const std::string rowsUsed = grouped(volume.infoRows) + " information-price rows";
    bool ok = true;
    std::optional<Figures> onSqlite;
    if (backend != "postgresql") {
        db = bench::benchDatabase(volume, db);
        if (db.empty()) return 1;

        server::Store store(db);
        server::SoapService service(store, server::ServiceLimits{}, {}, kOpenAccounts);
        server::HttpEndpoint endpoint(service, crowdOptions());
        endpoint.start();
        std::printf("service on %s, database %s (%s)\n", endpoint.baseUrl().c_str(), db.c_str(),
                    describe(volume).c_str());

        const Figures sqlite = measure(endpoint.port(), work, seconds);
        std::vector<std::thread> threads;
        std::atomic<bool> stop{false};
        std::vector<double> times;

        // 5. Connections. First a burst: 1,000 connects at once, each then asks for the index page.
        const int crowd =
            files.rlim_cur >= 2400 ? 1000 : static_cast<int>(files.rlim_cur / 2) - 100;
        std::vector<int> burst;
        for (int i = 0; i < crowd; ++i)
            burst.push_back(connectTo(endpoint.port(), true));
        int refused = 0;
        for (int fd : burst) {
            pollfd p{fd, POLLOUT, 0};
            int error = 0;
            socklen_t n = sizeof error;
            const bool connected = fd >= 0 && ::poll(&p, 1, 10000) == 1 &&
                                   ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &n) == 0 &&
                                   error == 0;
            if (connected) ::fcntl(fd, F_SETFL, 0);
            if (!connected || !sendAll(fd, "GET / HTTP/1.1\r\nHost: bench\r\n\r\n") ||
                !readAnswer(fd))
                ++refused;
        }
        std::printf("%d simultaneous connects: %d failed or reset\n", crowd, refused);

        // They stay as idle keep-alive connections; 100 more send a header a byte every 0.5 s.
        std::vector<int> slow;
        for (int i = 0; i < 100; ++i) {
            slow.push_back(connectTo(endpoint.port(), false));
            sendAll(slow.back(), "POST /soap/");
        }
        std::atomic<bool> slowStop{false};
        std::thread dribble([&] {
            while (!slowStop) {
                for (int fd : slow)
                    sendAll(fd, "X");
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
            }
        });
        std::vector<std::vector<double>> perClient(8);
        stop = false;
        threads.clear();
        for (int t = 0; t < 8; ++t)
            threads.emplace_back([&, t] {
                Client c(endpoint.port());
                for (long i = t; !stop; i += 8) {
                    const std::string sql = work.info(i);
                    const auto t1 = Clock::now();
                    c.query(sql);
                    perClient[static_cast<std::size_t>(t)].push_back(ms(Clock::now() - t1));
                }
            });
        // Within the header timeout (10 s), so that the slow connections are still there.
        std::this_thread::sleep_for(std::chrono::duration<double>(std::min(seconds, 5.0)));
        stop = true;
        for (auto& t : threads)
            t.join();
        slowStop = true;
        dribble.join();
        times.clear();
        for (const auto& v : perClient)
            times.insert(times.end(), v.begin(), v.end());
        const double crowdP99 = percentile(times, 0.99);
        std::printf(
            "8 clients beside %d idle keep-alive and 100 slow-header connections (%zu requests): "
            "median %.2f ms, p99 %.2f ms\n",
            crowd - refused, times.size(), percentile(times, 0.5), crowdP99);
        std::printf(
            "  (the service closes a connection idle for 30 s, and one whose request header is not "
            "complete 10 s after it connected)\n");
        for (int fd : burst)
            if (fd >= 0) ::close(fd);
        for (int fd : slow)
            if (fd >= 0) ::close(fd);

        endpoint.stop();

        std::printf("\n");
        const Figures alone = measureDirect(db, work, seconds);

        const Timings& t = sqlite.t;
        if (goals) std::printf("\ngoals on SQLite (%s):\n", rowsUsed.c_str());
        ok &= check(goals, t.sMedian <= 3,
                    figure("suggestion median", t.sMedian, alone.t.sMedian, "ms", "≤ 3 ms"));
        ok &= check(goals, t.sP99 <= 10,
                    figure("suggestion p99", t.sP99, alone.t.sP99, "ms", "≤ 10 ms"));
        ok &= check(goals, t.cMedian <= 15,
                    figure("deal-price month median", t.cMedian, alone.t.cMedian, "ms", "≤ 15 ms"));
        ok &= check(goals, sqlite.dMedian <= 200,
                    figure("delta of 9,998 rows median", sqlite.dMedian, -1, "ms", "≤ 200 ms"));
        ok &= check(goals, sqlite.rate >= 1500,
                    figure("two clients", sqlite.rate, alone.rate, "answers/s", "≥ 1,500"));
        ok &= check(goals, refused == 0, "1,000 simultaneous connects: none fails");
        ok &= check(goals, crowdP99 <= 50, "8 clients beside 1,000 idle + 100 slow: p99 <= 50 ms");
        onSqlite = sqlite;
    }
    if (backend == "sqlite") return ok ? 0 : 1;

    std::printf("\n");
    const PostgresFigures pg = measurePostgres(work, seconds);
    if (onSqlite) {
        std::printf("\nside by side (%s)%*s SQLite   PostgreSQL\n", rowsUsed.c_str(),
                    std::max(0, 38 - static_cast<int>(rowsUsed.size())), "");
        const auto line = [](const char* what, double a, double b, const char* unit) {
            std::printf("  %-44s %8.2f %10.2f %s\n", what, a, b, unit);
        };
        line("suggestion median", onSqlite->t.sMedian, pg.f.t.sMedian, "ms");
        line("suggestion p99", onSqlite->t.sP99, pg.f.t.sP99, "ms");
        line("deal-price month median", onSqlite->t.cMedian, pg.f.t.cMedian, "ms");
        line("delta of 9,998 rows median", onSqlite->dMedian, pg.f.dMedian, "ms");
        line("two clients", onSqlite->rate, pg.f.rate, "answers/s");
    }
    if (goals) std::printf("goals on PostgreSQL (%s):\n", rowsUsed.c_str());
    ok &= check(goals, pg.f.t.sMedian <= 3,
                figure("suggestion median", pg.f.t.sMedian, -1, "ms", "≤ 3 ms"));
    ok &=
        check(goals, pg.f.t.sP99 <= 10, figure("suggestion p99", pg.f.t.sP99, -1, "ms", "≤ 10 ms"));
    ok &= check(goals, pg.f.t.cMedian <= 15,
                figure("deal-price month median", pg.f.t.cMedian, -1, "ms", "≤ 15 ms"));
    ok &= check(goals, pg.f.dMedian <= 300,
                figure("delta of 9,998 rows median", pg.f.dMedian, -1, "ms", "≤ 300 ms"));
    ok &= check(goals, pg.withReplica > pg.primaryAlone,
                "8 clients: primary + replica answer more than the primary alone");
    return ok ? 0 : 1;
}
