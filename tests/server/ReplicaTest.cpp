#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "soap/SoapFault.h"
#include "soap/SoapInterface.h"
#include "soap/SoapRequest.h"
#include "soap/SoapResponse.h"

namespace tarvelo::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string run(const std::string& command) {
    std::string out;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    char buf[4096];
    while (const std::size_t n = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    const int status = ::pclose(p);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(command + " failed:\n" + out);
    return out;
}

// One SOAP call to an endpoint URL; the answer's "return". Throws SoapFault for a fault.
std::string call(const std::string& url, const SoapInterface& iface, std::string_view operation,
                 const std::string& sql) {
    std::smatch m;
    const std::regex parts(R"(http://([0-9.]+):([0-9]+)(/.*))");
    if (!std::regex_match(url, m, parts)) throw std::runtime_error("url " + url);
    httplib::Client client(m[1].str(), std::stoi(m[2].str()));
    client.set_read_timeout(30);
    const SoapRequest::Argument args[] = {{"sSQL", sql}};
    const auto res =
        client.Post(m[3].str(), SoapRequest::write(iface.ns, operation, args), "text/xml");
    if (!res) throw std::runtime_error("no answer from " + url);
    return SoapResponse::read(res->body, operation).text;
}

std::string read(const std::string& url, const std::string& sql) {
    return call(url, SoapInterface::supply(), "SpplyVanDataBySQL", sql);
}
std::string write(const std::string& url, const std::string& sql) {
    return call(url, SoapInterface::apply(), "ApplyVanDataByExc", sql);
}

std::string iniValue(const std::string& ini, const std::string& key) {
    std::smatch m;
    if (!std::regex_search(ini, m, std::regex(key + R"( *= *(\S+))")))
        throw std::runtime_error("no " + key + " in\n" + ini);
    return m[1].str();
}

std::string applyUrlOf(const std::string& base) {
    return base + "/soap/" + std::string(SoapInterface::apply().name);
}

// A primary and a streaming replica with a service on each, as scripts/cluster makes them.
class Replica : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists("/usr/lib/postgresql/15/bin/initdb"))
            GTEST_SKIP() << "PostgreSQL 15 is not installed";
        dir = fs::temp_directory_path() / ("tarvelo-cluster-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        env = "TARVELO_SERVER_BIN=" + std::string(TARVELO_SERVER) +
              " TARVELO_WRITE_PORT=0 TARVELO_READ_PORT=0"
              // The test's statements are its own, not the client's.
              " TARVELO_SERVE_OPTIONS='--accounts open' ";
        const std::string ini = run(env + kCluster + " start " + dir.string());
        readUrl = iniValue(ini, "read-url");
        writeUrl = iniValue(ini, "write-url");
    }
    void TearDown() override {
        if (dir.empty()) return;
        try {
            run(env + kCluster + " stop " + dir.string());
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
        fs::remove_all(dir);
    }
    static constexpr const char* kCluster = TARVELO_SOURCE_DIR "/scripts/cluster";
    fs::path dir;
    std::string env, readUrl, writeUrl;
};

TEST_F(Replica, ARowWrittenOnThePrimaryIsReadOnTheReplicaWhichTakesNoWrites) {
    // The read URL leads to the replica, the write URL to the primary.
    const std::string inRecovery = "select pg_is_in_recovery() AS R";
    EXPECT_NE(read(readUrl, inRecovery).find("R=\"1\""), std::string::npos);
    const std::string writeBase = writeUrl.substr(0, writeUrl.find("/soap/"));
    EXPECT_NE(read(writeBase + "/soap/" + std::string(SoapInterface::supply().name), inRecovery)
                  .find("R=\"0\""),
              std::string::npos);

    EXPECT_EQ(write(writeUrl, "insert into KVR_REGION values ('99','副本区')"), "1");
    // The replica replays what the primary wrote, soon but not at once.
    std::string seen;
    for (int i = 0; i < 200 && seen.find("副本区") == std::string::npos; ++i) {
        seen = read(readUrl, "select IDDESC from KVR_REGION where ID='99'");
        if (seen.find("副本区") == std::string::npos) std::this_thread::sleep_for(50ms);
    }
    EXPECT_NE(seen.find("IDDESC=\"副本区\""), std::string::npos) << seen;

    // The replica's service has no write side; its read side takes no write either.
    const std::string readBase = readUrl.substr(0, readUrl.find("/soap/"));
    try {
        write(applyUrlOf(readBase), "delete from KVR_REGION");
        ADD_FAILURE() << "the replica's service took a write";
    } catch (const SoapFault& f) {
        EXPECT_NE(f.faultString().find("只提供查询端"), std::string::npos) << f.faultString();
    }
    EXPECT_NE(read(readUrl, "delete from KVR_REGION").find("只接受查询"), std::string::npos);

    // A write side pointed at the replica by mistake is told the database is read-only.
    const std::string replica = run(TARVELO_SOURCE_DIR "/scripts/pg-server uri " +
                                    (dir / "replica").string() + " tarvelo tarvelo_write");
    const std::string replicaRead = run(TARVELO_SOURCE_DIR "/scripts/pg-server uri " +
                                        (dir / "replica").string() + " tarvelo tarvelo_read");
    const fs::path log = dir / "misplaced.log";
    const pid_t child = ::fork();
    if (child == 0) {
        std::freopen(log.c_str(), "w", stdout);
        ::dup2(1, 2);
        const std::string r = replicaRead.substr(0, replicaRead.find('\n'));
        const std::string w = replica.substr(0, replica.find('\n'));
        ::execl(TARVELO_SERVER, TARVELO_SERVER, "serve", "--listen", "127.0.0.1:0", "--db",
                r.c_str(), "--write-db", w.c_str(), "--accounts", "open",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Stopped however the test ends, an assertion's early return included.
    struct Reaper {
        pid_t pid;
        ~Reaper() {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    } reaper{child};
    std::string base;
    for (int i = 0; i < 200 && base.empty(); ++i) {
        std::this_thread::sleep_for(50ms);
        std::ifstream in(log);
        std::stringstream text;
        text << in.rdbuf();
        std::smatch m;
        const std::string s = text.str();
        if (std::regex_search(s, m, std::regex(R"(http://[0-9.]+:[0-9]+)"))) base = m.str();
    }
    ASSERT_FALSE(base.empty()) << "the misplaced write side did not start";
    try {
        write(applyUrlOf(base), "insert into KVR_REGION values ('98','不该写入')");
        ADD_FAILURE() << "a write went into the replica";
    } catch (const SoapFault& f) {
        EXPECT_NE(f.faultString().find("数据库只读"), std::string::npos) << f.faultString();
    }
    EXPECT_EQ(read(readUrl, "select count(*) AS N from KVR_REGION where ID='98'").find("N=\"1\""),
              std::string::npos);
}

}  // namespace
}  // namespace tarvelo::test
