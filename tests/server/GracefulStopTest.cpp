#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "data/DataSet.h"
#include "data/PriceTable.h"
#include "server/ServerBinary.h"
#include "server/ServerFixture.h"
#include "server/store/Store.h"
#include "server/store/sqlite/SqliteServiceConnection.h"
#include "server/store/sqlite/SqliteStatement.h"
#include "soap/SoapInterface.h"
#include "soap/SoapRequest.h"
#include "soap/SoapResponse.h"
#include "soap/SoapValue.h"
#include "text/DateTime.h"

namespace tarvelo::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// `tarvelo-server serve` running as a process of its own; what it writes is collected.
class ServeProcess {
public:
    explicit ServeProcess(const std::string& db) {
        // Statements of the test's own, as a client that checks everything itself sends them.
        std::vector<std::string> args{"serve",       "--db",       db,     "--listen",
                                      "127.0.0.1:0", "--accounts", "open", "--log-statements"};
        std::vector<char*> argv = argvOf(args);
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            ::dup2(out[1], 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        m_reader = std::thread([this, fd = out[0]] {
            char buf[4096];
            for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) {
                std::lock_guard lock(m_mutex);
                m_out.append(buf, static_cast<std::size_t>(n));
                m_grew.notify_all();
            }
            ::close(fd);
        });
    }
    ~ServeProcess() {
        if (m_pid > 0 && !m_status) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_reader.join();
    }

    // Whether `text` was written within `timeout`.
    bool saw(std::string_view text, std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        return m_grew.wait_for(lock, timeout,
                               [&] { return m_out.find(text) != std::string::npos; });
    }
    std::string output() {
        std::lock_guard lock(m_mutex);
        return m_out;
    }
    int port() {
        const std::string out = output();
        const auto at = out.find("http://127.0.0.1:");
        return at == std::string::npos ? 0 : std::atoi(out.c_str() + at + 17);
    }
    void signal(int sig) { ::kill(m_pid, sig); }
    bool running() {
        if (m_status) return false;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == 0) return true;
        m_status = status;
        return false;
    }
    // The exit status (waits for it); -1 when it did not exit normally.
    int exitStatus() {
        if (!m_status) {
            int status = 0;
            ::waitpid(m_pid, &status, 0);
            m_status = status;
        }
        return WIFEXITED(*m_status) ? WEXITSTATUS(*m_status) : -1;
    }

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
    std::thread m_reader;
    std::mutex m_mutex;
    std::condition_variable m_grew;
    std::string m_out;
};

// An import of `n` information-price rows, as the data centre sends it.
std::string importRequest(int n) {
    DataSet ds;
    priceTable(Category::XXJ).reset(ds);
    for (int i = 1; i <= n; ++i) {
        ds.append();
        ds.fieldByName("PERDID").setText("202612");
        ds.fieldByName("PLACE").setText("南湖区");
        ds.fieldByName("SERIAL").setText(std::to_string(i));
        ds.fieldByName("ITEMDESC").setText("热轧带肋钢筋" + std::to_string(i));
        ds.fieldByName("XXJ").setText("4100");
        ds.fieldByName("RQ").setDateTime(DateTime{Date{2026, 12, 10}, 9, 30, 0, 0});
        ds.post();
    }
    const SoapRequest::Argument args[] = {
        {"sSQL",
         statement({"SQL00=Select 'AAA' AAA From KVR_XXJ Where 1=2",
                    "Key00=ResolveToSQL;upWhereChanged;PERDID,PLACE,SERIAL", "Inc00=", "Exc00="})},
        {"sDelta00", *ds.delta()}};
    return SoapRequest::write(SoapInterface::apply().ns, "ApplyVanDataBySQLupKeyChangedExc1", args);
}

TEST(GracefulStop, ADeltaInFlightIsCommittedAndAnsweredBeforeTheServiceExits) {
    constexpr int kRows = 20000;
    const fs::path dir =
        fs::temp_directory_path() / ("tarvelo-stop-test-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string db = (dir / "prices.db").string();
    server::Store::initialise(db);
    const std::string request = importRequest(kRows);

    ServeProcess serve(db);
    ASSERT_TRUE(serve.saw("按 Ctrl+C 停止。", 10s)) << serve.output();
    const int port = serve.port();

    // Another writer holds the database, so the delta waits in the middle of being applied for
    // as long as the test wants.
    auto blocker = std::make_unique<server::SqliteServiceConnection>(db);
    blocker->db().exec("BEGIN IMMEDIATE");
    std::optional<httplib::Result> answer;
    std::thread client([&] {
        httplib::Client c("127.0.0.1", port);
        c.set_read_timeout(60);
        answer.emplace(c.Post("/soap/" + std::string(SoapInterface::apply().name), request,
                              "text/xml; charset=utf-8"));
    });
    // Should a check below fail, the service is killed, which ends the client's wait too.
    struct Joined {
        ServeProcess& serve;
        std::thread& client;
        ~Joined() {
            if (!client.joinable()) return;
            if (serve.running()) serve.signal(SIGKILL);
            client.join();
        }
    } joined{serve, client};
    ASSERT_TRUE(serve.saw("ApplyVanDataBySQLupKeyChangedExc1 语句", 10s)) << serve.output();

    serve.signal(SIGTERM);
    ASSERT_TRUE(serve.saw("停止：不再接受新的请求；等待正在处理的 1 个请求完成", 5s))
        << serve.output();
    // While it waits, a new request is refused at once, and the process stays.
    httplib::Client late("127.0.0.1", port);
    late.set_read_timeout(10);
    const auto refused =
        late.Post("/soap/" + std::string(SoapInterface::supply().name),
                  SoapRequest::write(SoapInterface::supply().ns, "SpplyVanDataBySQL",
                                     std::vector<SoapRequest::Argument>{{"sSQL", "select 1"}}),
                  "text/xml; charset=utf-8");
    ASSERT_TRUE(refused) << httplib::to_string(refused.error());
    EXPECT_EQ(refused->status, 503);
    EXPECT_NE(refused->body.find("服务正在停止，请稍后再试。"), std::string::npos) << refused->body;
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(serve.running());

    blocker->db().exec("ROLLBACK");
    blocker.reset();
    client.join();
    const httplib::Result& got = *answer;
    ASSERT_TRUE(got) << httplib::to_string(got.error());
    EXPECT_EQ(got->status, 200) << got->body;
    EXPECT_EQ(
        soapInt(SoapResponse::read(got->body, "ApplyVanDataBySQLupKeyChangedExc1").text, "return"),
        0);
    EXPECT_EQ(serve.exitStatus(), 0) << serve.output();
    EXPECT_NE(serve.output().find("服务已停止。"), std::string::npos) << serve.output();

    // The database was closed cleanly: its log was written back and removed.
    EXPECT_FALSE(fs::exists(db + "-wal"));
    server::SqliteServiceConnection c(db);
    const auto scalar = [&](std::string_view sql) {
        server::SqliteStatement q(c.db(), sql);
        return q.step() ? q.text(0) : std::string();
    };
    EXPECT_EQ(scalar("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(scalar("select count(*) from KVR_XXJ"), std::to_string(kRows));
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tarvelo::test
