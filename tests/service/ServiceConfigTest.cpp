#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "service/ServiceConfig.h"
#include "text/Error.h"

namespace tarvelo {
namespace {

class ServiceConfigFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string file(const std::string& name, const std::string& text) {
        const auto path = (dir / name).string();
        std::ofstream(path) << text;
        return path;
    }
    std::string errorOf(std::vector<std::string> args, const std::vector<std::string>& files) {
        try {
            ServiceConfig::load(args, files);
        } catch (const Error& e) {
            return e.message() + " | " + e.detail();
        }
        return "no error";
    }
    // One folder per test process: ctest runs the tests of this fixture side by side.
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("tarvelo-config-test-" + std::to_string(::getpid()));
};

TEST_F(ServiceConfigFiles, TheFirstFileFoundIsReadAndOptionsOverrideIt) {
    const auto beside = (dir / "missing.ini").string();
    const auto user = file("user.ini",
                           "; comment\n[client]\nwhatever = 1\n[service]\n"
                           "service = https://prices.example.com:8443/\n"
                           "ca-file = /etc/ssl/our-ca.pem\nconnect-timeout = 2.5\ntimeout = 30\n");
    std::vector<std::string> args{"--raw", "--write-url", "http://other:1/w", "select 1"};
    const ServiceConfig c = ServiceConfig::load(args, {beside, user});
    EXPECT_EQ(c.readUrl, "https://prices.example.com:8443/soap/IVRDS_IIS_WebSCoorSpplyIsapi");
    EXPECT_EQ(c.writeUrl, "http://other:1/w");
    EXPECT_EQ(c.caFile, "/etc/ssl/our-ca.pem");
    EXPECT_FALSE(c.insecureTls);  // certificates are checked unless said otherwise
    EXPECT_EQ(c.connectTimeout.count(), 2500);
    EXPECT_EQ(c.totalTimeout.count(), 30000);
    EXPECT_EQ(args, (std::vector<std::string>{"--raw", "select 1"}));  // options taken out

    // Names are case-blind; relative certificate and key files lie beside the configuration
    // file.
    std::vector<std::string> none;
    const ServiceConfig e = ServiceConfig::load(
        none, {file("beside.ini",
                    "[Service]\nSERVICE = http://a\nCA-File = certs/ca.pem\n"
                    "client-cert = certs/desk.pem\nclient-key = /etc/tarvelo/desk.key\n"
                    "access-token = Ab0-._~+/=xyz \ncompress-requests = Yes\n")});
    EXPECT_EQ(e.caFile, (dir / "certs" / "ca.pem").string());
    EXPECT_EQ(e.clientCert, (dir / "certs" / "desk.pem").string());
    EXPECT_EQ(e.clientKey, "/etc/tarvelo/desk.key");
    EXPECT_EQ(e.accessToken, "Ab0-._~+/=xyz");
    EXPECT_EQ(c.accessToken, "");  // none unless configured
    EXPECT_TRUE(e.compressRequests);
    EXPECT_FALSE(c.compressRequests);  // an older service does not take compressed requests

    std::vector<std::string> both{"--service", "http://127.0.0.1:8517"};
    const ServiceConfig d = ServiceConfig::load(both, {});
    EXPECT_EQ(d.writeUrl, "http://127.0.0.1:8517/soap/IVRDS_IIS_WebSCoorApplyIsapi");
    EXPECT_EQ(d.connectTimeout.count(), 10000);
    EXPECT_EQ(d.totalTimeout.count(), 120000);
}

TEST_F(ServiceConfigFiles, MistakesAreClearErrors) {
    const auto beside = (dir / "beside.ini").string();
    const auto user = (dir / "user.ini").string();
    // Nothing configured: both places looked at are named.
    const std::string missing = errorOf({}, {beside, user});
    EXPECT_NE(missing.find("没有配置数据服务的地址"), std::string::npos) << missing;
    EXPECT_NE(missing.find(beside), std::string::npos) << missing;
    EXPECT_NE(missing.find(user), std::string::npos) << missing;

    const struct {
        std::string ini;
        const char* says;
    } cases[] = {
        {"[service]\nservice = ftp://x\n", "http://"},
        {"[service]\nread-url = http://a/r\n", "没有配置"},  // the write side is missing
        {"[service]\nservice = http://a\ntimeout = soon\n", "timeout"},
        {"[service]\nservice = http://a\ninsecure-tls = perhaps\n", "insecure-tls"},
        {"[service]\nservice = http://a\ncompress-requests = gzip\n", "compress-requests"},
        {"[service]\nservice = http://a\nretries = 3\n", "retries"},
        {"[service]\nservice = http://a\ntimeout = 0.0001\n", "timeout"},  // 0 would mean none
        {"[service]\nservice = http://h  # main\n", "http://"},
        {"[service]\nthis line is no setting\n", "第 2 行"},
        // It goes into a header as it is.
        {"[service]\nservice = http://a\naccess-token = two words\n", "access-token 只能由可见"},
        {"[service]\nservice = http://a\naccess-token = 令牌\n", "access-token 只能由可见"},
        {"[service]\nservice = http://a\nclient-key = desk.key\n", "client-key 要和 client-cert"},
    };
    for (const auto& c : cases) {
        const std::string text = errorOf({}, {file("beside.ini", c.ini)});
        EXPECT_NE(text.find(c.says), std::string::npos) << c.ini << " -> " << text;
    }
    EXPECT_NE(errorOf({"--service"}, {}).find("--service"), std::string::npos);
    EXPECT_NE(errorOf({"--config", (dir / "nope.ini").string()}, {}).find("无法读取"),
              std::string::npos);
}

// Where the programs look, in order: beside themselves, the user's folder, the computer's.
TEST(ServiceConfigPlaces, BesideTheProgramThenTheUsersThenTheComputers) {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string kept = xdg ? xdg : "";
    ::setenv("XDG_CONFIG_HOME", "/home/amy/.config", 1);
    EXPECT_EQ(ServiceConfig::standardFiles("/opt/tarvelo/bin"),
              (std::vector<std::string>{"/opt/tarvelo/bin/tarvelo.ini",
                                        "/home/amy/.config/tarvelo/tarvelo.ini",
                                        "/etc/tarvelo/tarvelo.ini"}));
    if (xdg)
        ::setenv("XDG_CONFIG_HOME", kept.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace tarvelo
