#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "server/http/HttpEndpoint.h"
#include "support/TestService.h"

namespace tarvelo::test {
namespace {

struct Outcome {
    int status;
    std::string out;
};

// Runs the built tarvelo-query with `args` (already quoted for the shell); stdout and stderr.
Outcome query(const std::string& args) {
    const std::string command = std::string(TARVELO_QUERY) + " " + args + " 2>&1";
    FILE* p = ::popen(command.c_str(), "r");
    std::string out;
    char buf[4096];
    while (const std::size_t n = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    const int status = ::pclose(p);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(TarveloQuery, PrintsAlignedRowsCsvAndResultsAndFailsClearly) {
    TestService service;
    service.exec("INSERT INTO KVR_REGION VALUES ('01','东城区'),('02','西城区'),('10','A,\"B\"')");
    // An empty configuration file of its own, so that no tarvelo.ini of the machine counts.
    const std::string config = (service.dir() / "query.ini").string();
    std::ofstream(config) << "";
    const std::string token = (service.dir() / "admin.token").string();
    std::ofstream(token) << TestService::kAdminToken << "\n";
    const std::string anyone = "--config " + config + " --service " + service.base() + " ";
    const std::string at = anyone + "--token-file " + token + " ";

    // Without the administrator's token, only the client's own statements run.
    const Outcome stranger = query(anyone + "\"select IDDESC,ID FROM KVR_REGION ORDER BY ID \"");
    EXPECT_EQ(stranger.status, 1);
    EXPECT_NE(stranger.out.find("数据服务只执行本系统客户端的语句"), std::string::npos)
        << stranger.out;

    const Outcome table = query(at + "\"select IDDESC,ID FROM KVR_REGION ORDER BY ID \"");
    EXPECT_EQ(table.status, 0);
    // Chinese characters take two columns, so the columns line up in a terminal.
    EXPECT_EQ(table.out,
              "IDDESC  ID\n"
              "------  --\n"
              "东城区  01\n"
              "西城区  02\n"
              "A,\"B\"   10\n"
              "(3 行)\n");

    const Outcome csv = query(at + "--csv \"select IDDESC from KVR_REGION where ID='10'\"");
    EXPECT_EQ(csv.out, "IDDESC\r\n\"A,\"\"B\"\"\"\r\n");

    const Outcome exec = query(at + "--exec \"delete from KVR_REGION where ID>'01'\"");
    EXPECT_EQ(exec.status, 0);
    EXPECT_EQ(exec.out, "2\n");

    const Outcome refused = query(at + "--exec \"drop table KVR_XXJ\"");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("服务报告了错误"), std::string::npos) << refused.out;

    const Outcome nowhere =
        query("--config " + config + " --service http://127.0.0.1:1 \"select 1\"");
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_NE(nowhere.out.find("无法连接数据服务（127.0.0.1:1）：连接被拒绝。请确认数据服务已启动"),
              std::string::npos)
        << nowhere.out;

    EXPECT_EQ(query(at).status, 2);  // no statement
    EXPECT_EQ(query("--csv --exec \"delete from KVR_REGION\"").status,
              2);  // before any configuration
    EXPECT_EQ(query("--help").status, 0);
}

// A service that asks for a token is reached with the one in tarvelo.ini, and without it the
// refusal says what to put there.
TEST(TarveloQuery, SendsTheAccessTokenOfItsConfiguration) {
    server::EndpointOptions options;
    options.accessToken = server::AccessToken("query-token-0123456789");
    TestService service({}, options);
    const std::string with = (service.dir() / "with.ini").string(),
                      without = (service.dir() / "without.ini").string();
    std::ofstream(with) << "[service]\nservice = " << service.base()
                        << "\naccess-token = query-token-0123456789\n";
    std::ofstream(without) << "[service]\nservice = " << service.base() << "\n";

    const Outcome answered =
        query("--config " + with + " --csv \"select ID,IDDESC FROM KVR_ICEXT ORDER BY ID\"");
    EXPECT_EQ(answered.status, 0) << answered.out;
    EXPECT_EQ(answered.out, "ID,IDDESC\r\n");

    const Outcome refused = query("--config " + without + " --exec \"delete from KVR_REGION\"");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("数据服务拒绝了访问（HTTP 401）：它要求访问令牌，而 tarvelo.ini "
                               "中没有设置。"),
              std::string::npos)
        << refused.out;
}

}  // namespace
}  // namespace tarvelo::test
