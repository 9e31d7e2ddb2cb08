#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/ServiceLimits.h"
#include "soap/SoapInterface.h"
#include "soap/SoapRequest.h"

namespace tarvelo::server {
struct EndpointOptions;
class Store;
class SoapService;
class HttpEndpoint;
class ServiceConnection;
}  // namespace tarvelo::server

namespace tarvelo::test {

// The reference service running in-process on a free loopback port over a fresh database: a
// SQLite file, or, when TARVELO_TEST_PG names the socket folder of a PostgreSQL server (as the
// suites' PostgreSQL run sets it; see scripts/pg-server), a new database on it served by the two
// sides' roles. It records every statement it receives, so a test can check
// the exact text that crossed the wire, and talks to the service through a real HTTP client.
class TestService {
public:
    // Whether the services of this run are on PostgreSQL.
    static bool onPostgres();

    // The administrator's token the test's own calls carry (see post).
    static constexpr std::string_view kAdminToken = "test-administrator-token-0123456789";

    // The limits for tests that act as people do, only at machine speed: EnVerifs is not
    // rationed (a person signing in twice a second is not what the ration is for).
    static server::ServiceLimits atMachineSpeed() {
        server::ServiceLimits limits;
        limits.enVerifsBurst = 1 << 20;
        limits.newSessionsBurst = 1 << 20;
        return limits;
    }

    // `log` receives the service's request log lines; none are written when it is empty.
    explicit TestService(server::ServiceLimits limits = {},
                         std::function<void(const std::string&)> log = {});
    // With the endpoint's options as given (timeouts, workers, access rules, TLS);
    // `options.log` as above.
    TestService(server::ServiceLimits limits, const server::EndpointOptions& options);
    // Over HTTPS with the given certificate and key files.
    TestService(const std::string& tlsCert, const std::string& tlsKey);
    // Over a copy of a database file made beforehand (instead of a fresh one), opened as the
    // service opens any file.
    struct ExistingFile {
        std::filesystem::path path;
    };
    explicit TestService(const ExistingFile& database);
    // On a fresh SQLite file whatever the run, to hold the engines' answers side by side.
    struct OnSqlite {};
    explicit TestService(OnSqlite);
    ~TestService();
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;

    // The SQLite file, or on PostgreSQL the URI of the database as its owner.
    const std::string& dbPath() const { return m_dbPath; }
    // A folder of the test's own, removed with the service.
    const std::filesystem::path& dir() const { return m_dir; }
    // A connection to the database as its owner, past the service and its guard.
    std::unique_ptr<server::ServiceConnection> owner() const;
    // The text for the engine of this run: SQLite's, or PostgreSQL's where their dialects differ.
    static std::string dialect(std::string_view sqlite, std::string_view postgresql) {
        return std::string(onPostgres() ? postgresql : sqlite);
    }
    // On PostgreSQL, the URI of the database as one side's role; dbPath() on SQLite.
    std::string uriAs(std::string_view role) const;
    std::string url(const SoapInterface& iface) const;  // the endpoint of an interface
    std::string base() const;                           // "http://127.0.0.1:port"
    int port() const;
    // Connections the service has taken so far (see HttpEndpoint::connectionsAccepted).
    std::uint64_t connectionsAccepted() const;
    // Stops the HTTP side as Ctrl+C does (the database stays for checks).
    void stopEndpoint();

    // Each statement's answer is held back this long, as over a slow network (0: none).
    void holdAnswers(std::chrono::milliseconds delay) { m_hold = delay; }

    // Every mail the service has sent so far (reset codes), one after the other.
    std::string mail() const;

    // Statements received, with their operation, in order.
    std::vector<std::pair<std::string, std::string>> statements() const;
    void forgetStatements();

    // Fixture rows and checks straight on the database, past the service and its guard.
    void exec(std::string_view sql);
    std::string scalar(std::string_view sql);  // first column of the first row; "" for none

    // Raw exchanges over plain HTTP, with the request headers given beside the client's own.
    // post(iface, body) and call() carry the administrator's token: they are the tests' own
    // requests, as tarvelo-query makes them; administrator() adds it to other requests.
    using Headers = std::vector<std::pair<std::string, std::string>>;
    struct HttpReply {
        int status = 0;
        std::string body;
        Headers headers;
        std::string header(std::string_view name) const;  // case-blind; "" when absent
    };
    HttpReply post(const SoapInterface& iface, const std::string& body) const;
    static Headers administrator(Headers headers = {});
    HttpReply post(const std::string& path, const std::string& body,
                   const Headers& headers = {}) const;
    HttpReply get(const std::string& path, const Headers& headers = {}) const;

    // A SOAP call through HTTP; the "return" of the answer. Throws SoapFault for a fault.
    SoapParam call(const SoapInterface& iface, std::string_view operation,
                   std::span<const SoapRequest::Argument> arguments) const;
    std::string query(std::string_view sql) const;                          // SpplyVanDataBySQL
    int execute(std::string_view sql) const;                                // ApplyVanDataByExc
    int applyDelta(std::string_view params, std::string_view delta) const;  // ...Exc1
    std::string enVerifs(std::string_view source) const;

private:
    void start(server::ServiceLimits limits, server::EndpointOptions options);

    std::filesystem::path m_dir;
    std::string m_dbPath;
    std::string m_pgDatabase;  // the database made on PostgreSQL; empty on SQLite
    std::unique_ptr<server::Store> m_store;
    std::unique_ptr<server::SoapService> m_service;
    std::unique_ptr<server::HttpEndpoint> m_endpoint;
    mutable std::mutex m_mutex;
    std::vector<std::pair<std::string, std::string>> m_statements;
    std::atomic<std::chrono::milliseconds> m_hold{std::chrono::milliseconds(0)};
};

}  // namespace tarvelo::test
