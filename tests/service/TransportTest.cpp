#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include <unistd.h>

#include "data/DataSet.h"
#include "platform/ScriptedPlatform.h"
#include "service/IISdm.h"
#include "support/RawHttpListener.h"
#include "support/TestService.h"
#include "text/Error.h"

namespace tarvelo::test {
namespace {

std::string errorOfQuery(TIISdmPtr& module) {
    try {
        module.SpplyIntf->SpplyVanDataBySQL("select 1 AS ONE");
    } catch (const Error& e) {
        return e.message();
    }
    return "no error";
}

// A service with a certificate of its own is trusted only when told so.
TEST(Transport, CertificatesAreCheckedUnlessConfiguredOtherwise) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("tarvelo-tls-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string cert = (dir / "cert.pem").string(), key = (dir / "key.pem").string();
    const std::string make =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 "
        "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
        key + " -out " + cert + " 2>/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0) << make;

    TestService service(cert, key);
    ScriptedPlatform platform;
    ServiceConfig config = ServiceConfig::forService(service.base());
    ASSERT_TRUE(config.readUrl.starts_with("https://"));
    {
        TIISdmPtr module(config, platform);
        EXPECT_EQ(module.QueryBySQL("select 1 AS ONE"), "出错");
        EXPECT_NE(errorOfQuery(module).find("证书无法验证"), std::string::npos);
    }
    for (int way = 0; way < 2; ++way) {
        ServiceConfig trusting = config;
        if (way == 0)
            trusting.caFile = cert;
        else
            trusting.insecureTls = true;
        TIISdmPtr module(trusting, platform);
        DataSet ds;
        ds.loadPacket(module.QueryBySQL("select 1 AS ONE"));
        EXPECT_EQ(ds.fieldByName("ONE").asText(), "1") << way;
    }
    std::filesystem::remove_all(dir);
}

// A service that takes the connection and never answers does not hold the caller forever.
TEST(Transport, ASilentServiceEndsInATimeout) {
    SilentListener silent;
    ScriptedPlatform platform;
    ServiceConfig config = ServiceConfig::forService(silent.base());
    config.totalTimeout = std::chrono::milliseconds(300);
    TIISdmPtr module(config, platform);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_NE(errorOfQuery(module).find("超时"), std::string::npos);
    EXPECT_EQ(module.QueryBySQL("select 1"), "出错");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

}  // namespace
}  // namespace tarvelo::test
