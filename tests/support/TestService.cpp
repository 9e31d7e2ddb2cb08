#include "support/TestService.h"

#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "server/http/HttpEndpoint.h"
#include "server/soap/SoapService.h"
#include "server/store/Store.h"
#include "server/store/postgresql/PgDatabase.h"
#include "server/store/sqlite/SqliteServiceConnection.h"
#include "server/store/sqlite/SqliteStatement.h"
#include "soap/SoapResponse.h"
#include "soap/SoapValue.h"
#include "text/Error.h"

namespace tarvelo::test {

namespace {
std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// The server's folder names its socket's folder and port (scripts/pg-server writes them).
std::string pgUri(std::string_view database, std::string_view role) {
    const std::string dir = env("TARVELO_TEST_PG");
    std::string host, port;
    std::ifstream(dir + "/host") >> host;
    std::ifstream(dir + "/port") >> port;
    return "postgresql://" + std::string(role) + "@/" + std::string(database) + "?host=" + host +
           "&port=" + port;
}

// Statements of the server as a whole (CREATE and DROP DATABASE), as its superuser.
void onServer(const std::string& sql) {
    auto c = server::PgDatabase::connect(pgUri("postgres", "tv"), server::Side::Internal);
    c->exec(sql);
}

std::filesystem::path freshDir() {
    static std::atomic<int> counter{0};
    auto dir = std::filesystem::temp_directory_path() /
               ("tarvelo-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}
}  // namespace

TestService::TestService(server::ServiceLimits limits, std::function<void(const std::string&)> log)
    : m_dir(freshDir()) {
    server::EndpointOptions options;
    options.log = std::move(log);
    start(limits, std::move(options));
}

TestService::TestService(server::ServiceLimits limits, const server::EndpointOptions& options)
    : m_dir(freshDir()) {
    start(limits, options);
}

TestService::TestService(const std::string& tlsCert, const std::string& tlsKey)
    : m_dir(freshDir()) {
    server::EndpointOptions options;
    options.tlsCert = tlsCert;
    options.tlsKey = tlsKey;
    start({}, std::move(options));
}

TestService::TestService(OnSqlite) : m_dir(freshDir()) {
    server::Store::initialise((m_dir / "service.db").string());
    start({}, {});
}

TestService::TestService(const ExistingFile& database) : m_dir(freshDir()) {
    std::filesystem::copy_file(database.path, m_dir / "service.db");
    start({}, {});
}

bool TestService::onPostgres() {
    return !env("TARVELO_TEST_PG").empty();
}

std::string TestService::uriAs(std::string_view role) const {
    return m_pgDatabase.empty() ? m_dbPath : pgUri(m_pgDatabase, role);
}

void TestService::start(server::ServiceLimits limits, server::EndpointOptions options) {
    m_dbPath = (m_dir / "service.db").string();
    if (onPostgres() && !std::filesystem::exists(m_dbPath)) {
        m_pgDatabase = "tarvelo_test_" + m_dir.filename().string().substr(13);
        for (auto& c : m_pgDatabase)
            if (c == '-') c = '_';
        onServer("DROP DATABASE IF EXISTS " + m_pgDatabase + " WITH (FORCE)");
        onServer("CREATE DATABASE " + m_pgDatabase);
        m_dbPath = pgUri(m_pgDatabase, "tv");
        server::Store::initialise(m_dbPath);
        // SQLite's group_concat, which the tests' own checks use, for this test database only.
        owner()->exec(R"SQL(
CREATE FUNCTION group_concat_step(acc text, v text, sep text) RETURNS text LANGUAGE sql
  IMMUTABLE AS $$ SELECT CASE WHEN v IS NULL THEN acc WHEN acc IS NULL THEN v
                              ELSE acc || sep || v END $$;
CREATE FUNCTION group_concat_step(acc text, v text) RETURNS text LANGUAGE sql
  IMMUTABLE AS $$ SELECT group_concat_step(acc, v, ',') $$;
CREATE AGGREGATE group_concat(text, text) (SFUNC = group_concat_step, STYPE = text);
CREATE AGGREGATE group_concat(text) (SFUNC = group_concat_step, STYPE = text);
)SQL");
        m_store = std::make_unique<server::Store>(uriAs(server::PgDatabase::kReadRole),
                                                  uriAs(server::PgDatabase::kWriteRole));
        m_store->checkSides();
    } else {
        if (!std::filesystem::exists(m_dbPath)) server::Store::initialise(m_dbPath);
        m_store = std::make_unique<server::Store>(m_dbPath);
    }
    // The test's own calls (query, execute, applyDelta, enVerifs, call) carry the
    // administrator's token, as tarvelo-query does; the client and raw posts do not.
    if (!options.adminToken.required()) options.adminToken = server::AccessToken(kAdminToken);
    server::AccountPolicy::Options accounts;
    accounts.mail = server::MailCommand("cat >> '" + (m_dir / "mail.txt").string() + "'");
    m_service = std::make_unique<server::SoapService>(
        *m_store, limits,
        [this](std::string_view operation, std::string_view sql) {
            {
                std::lock_guard lock(m_mutex);
                m_statements.emplace_back(operation, sql);
            }
            if (const auto hold = m_hold.load(); hold.count() > 0)
                std::this_thread::sleep_for(hold);
        },
        std::move(accounts));
    m_endpoint = std::make_unique<server::HttpEndpoint>(*m_service, std::move(options));
    m_endpoint->start();
}

void TestService::stopEndpoint() {
    m_endpoint->stop();
}

TestService::~TestService() {
    m_endpoint->stop();
    m_endpoint.reset();
    m_service.reset();
    m_store.reset();
    if (!m_pgDatabase.empty()) {
        try {
            onServer("DROP DATABASE IF EXISTS " + m_pgDatabase + " WITH (FORCE)");
        } catch (const std::exception&) {
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

std::string TestService::url(const SoapInterface& iface) const {
    return m_endpoint->baseUrl() + "/soap/" + std::string(iface.name);
}

std::string TestService::base() const {
    return m_endpoint->baseUrl();
}

int TestService::port() const {
    return m_endpoint->port();
}

std::uint64_t TestService::connectionsAccepted() const {
    return m_endpoint->connectionsAccepted();
}

void TestService::forgetStatements() {
    std::lock_guard lock(m_mutex);
    m_statements.clear();
}

std::string TestService::mail() const {
    std::ifstream in(m_dir / "mail.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::pair<std::string, std::string>> TestService::statements() const {
    std::lock_guard lock(m_mutex);
    return m_statements;
}

std::unique_ptr<server::ServiceConnection> TestService::owner() const {
    if (server::Store::isPostgres(m_dbPath))
        return server::PgDatabase::connect(m_dbPath, server::Side::Internal);
    return std::make_unique<server::SqliteServiceConnection>(m_dbPath);
}

void TestService::exec(std::string_view sql) {
    owner()->exec(sql);
}

std::string TestService::scalar(std::string_view sql) {
    const auto c = owner();
    const auto q = c->prepare(sql);
    return q->step() ? q->text(0) : std::string();
}

namespace {
TestService::HttpReply replyOf(const httplib::Result& res) {
    if (!res) throw tarvelo::Error("测试：HTTP 请求失败。", httplib::to_string(res.error()));
    TestService::HttpReply reply{res->status, res->body, {}};
    for (const auto& [name, value] : res->headers)
        reply.headers.emplace_back(name, value);
    return reply;
}

httplib::Headers headersOf(const TestService::Headers& headers) {
    return httplib::Headers(headers.begin(), headers.end());
}
}  // namespace

std::string TestService::HttpReply::header(std::string_view name) const {
    for (const auto& [n, value] : headers)
        if (n.size() == name.size() &&
            std::equal(n.begin(), n.end(), name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return value;
    return {};
}

TestService::HttpReply TestService::post(const std::string& path, const std::string& body,
                                         const Headers& headers) const {
    httplib::Client client("127.0.0.1", m_endpoint->port());
    client.set_read_timeout(30);
    return replyOf(client.Post(path, headersOf(headers), body, "text/xml; charset=utf-8"));
}

TestService::Headers TestService::administrator(Headers headers) {
    headers.emplace_back("Authorization", "Bearer " + std::string(kAdminToken));
    return headers;
}

TestService::HttpReply TestService::post(const SoapInterface& iface,
                                         const std::string& body) const {
    return post("/soap/" + std::string(iface.name), body, administrator());
}

TestService::HttpReply TestService::get(const std::string& path, const Headers& headers) const {
    httplib::Client client("127.0.0.1", m_endpoint->port());
    return replyOf(client.Get(path, headersOf(headers)));
}

SoapParam TestService::call(const SoapInterface& iface, std::string_view operation,
                            std::span<const SoapRequest::Argument> arguments) const {
    const HttpReply reply = post(iface, SoapRequest::write(iface.ns, operation, arguments));
    return SoapResponse::read(reply.body, operation);
}

std::string TestService::query(std::string_view sql) const {
    const SoapRequest::Argument args[] = {{"sSQL", std::string(sql)}};
    return call(SoapInterface::supply(), "SpplyVanDataBySQL", args).text;
}

int TestService::execute(std::string_view sql) const {
    const SoapRequest::Argument args[] = {{"sSQL", std::string(sql)}};
    return soapInt(call(SoapInterface::apply(), "ApplyVanDataByExc", args).text, "return");
}

int TestService::applyDelta(std::string_view params, std::string_view delta) const {
    const SoapRequest::Argument args[] = {{"sSQL", std::string(params)},
                                          {"sDelta00", std::string(delta)}};
    return soapInt(call(SoapInterface::apply(), "ApplyVanDataBySQLupKeyChangedExc1", args).text,
                   "return");
}

std::string TestService::enVerifs(std::string_view source) const {
    const SoapRequest::Argument args[] = {{"Src", std::string(source)}};
    return call(SoapInterface::supply(), "EnVerifs", args).text;
}

}  // namespace tarvelo::test
