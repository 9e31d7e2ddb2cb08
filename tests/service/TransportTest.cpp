#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include <unistd.h>

#include "data/DataSet.h"
#include "platform/ScriptedPlatform.h"
#include "service/IISdm.h"
#include "soap/SoapFault.h"
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
    if (std::system(make.c_str()) != 0) {
        std::filesystem::remove_all(dir);
        GTEST_SKIP() << "openssl could not make a certificate: " << make;
    }
    struct Cleanup {
        std::filesystem::path dir;
        ~Cleanup() { std::filesystem::remove_all(dir); }
    } cleanup{dir};

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
}

const char* const kFault =
    R"(<?xml version="1.0"?><S:Envelope xmlns:S="http://schemas.xmlsoap.org/soap/envelope/"><S:Body><S:Fault><faultcode>S:Server</faultcode><faultstring>数据库忙</faultstring></S:Fault></S:Body></S:Envelope>)";

std::string answer(const char* operation, const char* value) {
    return std::string(
               R"(<?xml version="1.0"?><S:Envelope xmlns:S="http://schemas.xmlsoap.org/soap/envelope/"><S:Body><r:)") +
           operation + R"(Response xmlns:r="urn:x"><return>)" + value +
           "</return></r:" + operation + "Response></S:Body></S:Envelope>";
}

// What comes back is told apart by what it is, not only by its status.
TEST(Transport, FaultsHttpErrorsAndGarbageAreToldApart) {
    const struct {
        int status;
        std::string body;
        const char* says;  // in the error's message; "fault:" for a SoapFault
    } cases[] = {
        {200, kFault, "fault:数据库忙"},
        {500, kFault, "fault:数据库忙"},
        {500, "<html>Internal Server Error</html>", "HTTP 错误 500"},
        {302, "", "HTTP 错误 302"},
        {200, "", "不是 SOAP"},
        {200, "<html>hello</html>", "不是 SOAP"},
    };
    ScriptedPlatform platform;
    for (const auto& c : cases) {
        RawHttpListener peer(c.status, c.body, "text/xml");
        TIISdmPtr module(ServiceConfig::forService(peer.base()), platform);
        std::string what = "no error";
        try {
            module.SpplyIntf->SpplyVanDataBySQL("select 1");
        } catch (const SoapFault& f) {
            what = "fault:" + f.faultString();
        } catch (const Error& e) {
            what = e.message();
        }
        EXPECT_NE(what.find(c.says), std::string::npos)
            << c.status << " " << c.body << " -> " << what;
    }
}

// Wide strings travel as they are; narrow ones cross code page 936 both ways.
TEST(Transport, OnlyNarrowStringsCrossCodePage936) {
    ScriptedPlatform platform;
    {
        RawHttpListener peer(200, answer("ExistsFileName", "😀¥"), "text/xml");
        TIISdmPtr module(ServiceConfig::forService(peer.base()), platform);
        EXPECT_EQ(module.SpplyIntf->ExistsFileName("😀¥.txt"), "😀¥");
        EXPECT_NE(peer.requests().at(0).find("<sFilePath xsi:type=\"xsd:string\">😀¥.txt<"),
                  std::string::npos);
    }
    {
        RawHttpListener peer(200, answer("EnVerifs", "😀¥"), "text/xml");
        TIISdmPtr module(ServiceConfig::forService(peer.base()), platform);
        EXPECT_EQ(module.SpplyIntf->EnVerifs("😀¥"), "??");
        EXPECT_NE(peer.requests().at(0).find("<Src xsi:type=\"xsd:string\">?"
                                             "?<"),
                  std::string::npos);
    }
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
