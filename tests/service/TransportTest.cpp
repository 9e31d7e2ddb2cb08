#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include <unistd.h>

#include "data/DataSet.h"
#include "platform/ScriptedPlatform.h"
#include "server/http/HttpEndpoint.h"
#include "service/BackgroundQuery.h"
#include "service/IISdm.h"
#include "soap/SoapFault.h"
#include "support/Administrator.h"
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
    ServiceConfig config = administrator(service);
    ASSERT_TRUE(config.readUrl.starts_with("https://"));
    {
        TIISdmPtr module(config, platform);
        EXPECT_EQ(module.QueryBySQL("select 1 AS ONE"), "出错");
        EXPECT_NE(errorOfQuery(module).find("证书无法验证"), std::string::npos);
        EXPECT_NE(errorOfQuery(module).find("请在 tarvelo.ini 中设置 ca-file"), std::string::npos);
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

std::string bodyOfRequest(const std::string& request) {
    return request.substr(request.find("\r\n\r\n") + 4);
}

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
    EXPECT_EQ(errorOfQuery(module),
              "数据服务在 1 秒内没有答复。请稍后再试；如果一再如此，请与系统管理员联系。");
    EXPECT_EQ(module.QueryBySQL("select 1"), "出错");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

// Whatever keeps the answer from coming, the user reads its cause and what to do, and
// QueryBySQL, which still answers "出错", keeps that cause until a query succeeds.
TEST(Transport, EachFailureSaysItsCause) {
    SilentListener silent;
    RawHttpListener broken(500, "<html>Internal Server Error</html>", "text/html");
    RawHttpListener faulting(500, kFault, "text/xml");
    const std::string refused = "127.0.0.1:" + std::to_string(closedPort());
    const struct {
        std::string base;
        std::string says;  // the whole message
    } cases[] = {
        {"http://" + refused,
         "无法连接数据服务（" + refused +
             "）：连接被拒绝。请确认数据服务已启动，或检查 tarvelo.ini 中的地址。"},
        {"http://no-such-host.invalid:8517",
         "找不到数据服务的主机“no-such-host.invalid”。请检查 tarvelo.ini "
         "中的地址和本机的网络连接。"},
        {silent.base(),
         "数据服务在 1 秒内没有答复。请稍后再试；如果一再如此，请与系统管理员联系。"},
        {broken.base(),
         "数据服务返回了 HTTP 错误 500：数据服务内部出错。请稍后再试，或与系统管理员联系。"},
        {faulting.base(), "服务报告了错误：数据库忙"},
    };
    ScriptedPlatform platform;
    for (const auto& c : cases) {
        ServiceConfig config = ServiceConfig::forService(c.base);
        config.totalTimeout = std::chrono::milliseconds(300);
        TIISdmPtr module(config, platform);
        EXPECT_EQ(module.QueryBySQL("select 1"), "出错") << c.base;
        ASSERT_TRUE(module.queryFailure()) << c.base;
        EXPECT_EQ(module.queryFailure()->message(), c.says) << c.base;
        EXPECT_NE(module.queryFailure()->detail(), "") << c.base;
    }

    TestService service;
    TIISdmPtr module(administrator(service), platform);
    module.SpplyHTTPRIO.setUrl("http://" + refused + "/x");
    EXPECT_EQ(module.QueryBySQL("select 1 AS ONE"), "出错");
    EXPECT_TRUE(module.queryFailure());
    module.SpplyHTTPRIO.setUrl(service.url(SoapInterface::supply()));
    EXPECT_NE(module.QueryBySQL("select 1 AS ONE"), "出错");
    EXPECT_FALSE(module.queryFailure());
}

// A write that went out and was not answered may have been applied: the user is told the outcome
// is unknown, not that it failed. One that never left is known not to have been applied. The write
// side waits longer than the read side.
TEST(Transport, AnUnansweredWriteHasAnUnknownOutcome) {
    ServiceConfig defaults;
    EXPECT_GT(defaults.writeTimeout, defaults.totalTimeout);

    SilentListener silent;
    ScriptedPlatform platform;
    ServiceConfig config = ServiceConfig::forService(silent.base());
    config.totalTimeout = std::chrono::milliseconds(200);
    config.writeTimeout = std::chrono::milliseconds(1200);
    TIISdmPtr module(config, platform);
    const auto started = std::chrono::steady_clock::now();
    std::string said = "no error";
    try {
        module.ApplyIntf->ApplyVanDataByExc("delete from KVR_LOGIN");
    } catch (const Error& e) {
        said = e.message();
    }
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1100))
        << "the write side's own timeout applies";
    EXPECT_EQ(said,
              "数据服务在 2 "
              "秒内没有答复，不知道这次写入是否已经完成。请先查询核对数据，再决定是否重新发送。");

    const std::string refused = "127.0.0.1:" + std::to_string(closedPort());
    module.ApplyHTTPRIO.setUrl("http://" + refused + "/x");
    try {
        module.ApplyIntf->ApplyVanDataByExc("delete from KVR_LOGIN");
    } catch (const Error& e) {
        said = e.message();
    }
    EXPECT_TRUE(said.starts_with("无法连接数据服务（" + refused + "）：连接被拒绝。")) << said;
}

// A self-signed certificate for 127.0.0.1 in a folder of its own, removed with it; empty paths
// when openssl could not make one.
struct Certificate {
    std::filesystem::path dir;
    std::string cert, key;
    Certificate() {
        dir = std::filesystem::temp_directory_path() /
              ("tarvelo-tls-reuse-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        cert = (dir / "cert.pem").string();
        key = (dir / "key.pem").string();
        const std::string make =
            "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 "
            "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
            key + " -out " + cert + " 2>/dev/null";
        if (std::system(make.c_str()) != 0) cert.clear();
    }
    ~Certificate() { std::filesystem::remove_all(dir); }
};

// After the first call of a data module, its reads and writes, collected or read as they arrive,
// go over the one connection it opened, over TLS too: the service accepts no other.
TEST(KeptConnections, AfterTheFirstCallAModuleOpensNoConnection) {
    Certificate tls;
    if (tls.cert.empty()) GTEST_SKIP() << "openssl could not make a certificate";
    ScriptedPlatform platform;
    for (const bool https : {false, true}) {
        auto service = https ? std::make_unique<TestService>(tls.cert, tls.key)
                             : std::make_unique<TestService>();
        ServiceConfig config = ServiceConfig::forService(service->base());
        config.caFile = tls.cert;
        config.accessToken = std::string(TestService::kAdminToken);
        TIISdmPtr module(config, platform);
        EXPECT_NE(module.QueryBySQL("select 1 AS ONE"), "出错") << https;
        EXPECT_EQ(service->connectionsAccepted(), 1u) << https;
        DataSet ds;
        module.QueryInto("select ID from KVR_REGION", ds);
        EXPECT_EQ(module.ApplyIntf->ApplyVanDataByExc(
                      "insert into KVR_REGION (ID,IDDESC) values ('01','东城区')"),
                  1)
            << https;
        EXPECT_FALSE(module.StoredPassword("secret").empty());
        module.QueryInto("select ID from KVR_REGION", ds);
        EXPECT_EQ(ds.fieldByName("ID").asText(), "01") << https;
        EXPECT_EQ(module.ApplyIntf->ApplyVanDataByExc("delete from KVR_REGION"), 1) << https;
        EXPECT_EQ(service->connectionsAccepted(), 1u) << https;
    }
}

// A connection the service closed while it was idle is opened again without a word, for a read
// and for a write alike, and the write is applied once.
TEST(KeptConnections, AConnectionClosedWhileIdleIsOpenedAgain) {
    server::EndpointOptions options;
    options.idleTimeout = std::chrono::seconds(1);
    TestService service({}, options);
    ScriptedPlatform platform;
    TIISdmPtr module(administrator(service), platform);
    EXPECT_NE(module.QueryBySQL("select 1 AS ONE"), "出错");
    std::this_thread::sleep_for(std::chrono::milliseconds(1700));
    EXPECT_NE(module.QueryBySQL("select 2 AS TWO"), "出错");
    EXPECT_FALSE(module.queryFailure());
    EXPECT_EQ(service.connectionsAccepted(), 2u);
    std::this_thread::sleep_for(std::chrono::milliseconds(1700));
    EXPECT_EQ(module.ApplyIntf->ApplyVanDataByExc(
                  "insert into KVR_REGION (ID,IDDESC) values ('01','东城区')"),
              1);
    EXPECT_EQ(service.scalar("select count(*) from KVR_REGION"), "1");
    EXPECT_EQ(service.connectionsAccepted(), 3u);
}

// A kept-alive connection that ends after taking a request, before a byte of answer: a read is
// sent again on a new connection and answered; a write whose body went out is not sent again,
// since the peer may have applied it, and the user is told its outcome is unknown.
TEST(KeptConnections, AWriteIsNeverSentTwiceByItself) {
    ScriptedPlatform platform;
    RawHttpListener reads(200, answer("SpplyVanDataBySQL", "packet"), "text/xml");
    reads.dropSecondRequests();
    TIISdmPtr reader(ServiceConfig::forService(reads.base()), platform);
    EXPECT_EQ(reader.SpplyIntf->SpplyVanDataBySQL("select 1"), "packet");
    EXPECT_EQ(reader.SpplyIntf->SpplyVanDataBySQL("select 2"), "packet");
    ASSERT_EQ(reads.requests().size(), 3u);
    EXPECT_EQ(bodyOfRequest(reads.requests()[1]), bodyOfRequest(reads.requests()[2]));

    RawHttpListener writes(200, answer("ApplyVanDataByExc", "1"), "text/xml");
    writes.dropSecondRequests();
    TIISdmPtr writer(ServiceConfig::forService(writes.base()), platform);
    EXPECT_EQ(writer.ApplyIntf->ApplyVanDataByExc("delete from KVR_LOGIN where USERID='a'"), 1);
    std::string said = "no error";
    try {
        writer.ApplyIntf->ApplyVanDataByExc("delete from KVR_LOGIN where USERID='b'");
    } catch (const Error& e) {
        said = e.message();
    }
    EXPECT_EQ(said,
              "数据服务的答复没有完整收到，不知道这次写入是否已经完成。请先查询核对数据，再决定是否"
              "重新发送。");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // libcurl may open the new connection before it asks for the body again: nothing goes out
    // on it.
    const auto sent = writes.requests();
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](auto& r) { return !r.empty(); }), 2);
}

// The value of the request's Cookie header; empty when it has none.
std::string cookieHeader(const std::string& request) {
    const auto end = request.find("\r\n\r\n");
    const auto at = request.find("\r\nCookie: ");
    if (at == std::string::npos || at > end) return {};
    const auto from = at + 10;
    return request.substr(from, request.find("\r\n", from) - from);
}

// A call whose answer is no SOAP answer fails, and still brings its cookies.
void tryCall(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception&) {
    }
}

// The cookies a service sets come back with every later call of the data module: on the read
// side, the write side and a query made beside them, which share one connection. The lines are
// those of a cookie file: a session cookie lasts until the program ends (0), the other until its
// Max-Age is over.
// The read and the write side on two hosts: the session either sets reaches the other, and
// the write side's sign-out ends it on both.
TEST(Cookies, TheSessionCrossesToTheOtherSidesHost) {
    ScriptedPlatform platform;
    RawHttpListener read(200, answer("SpplyVanDataBySQL", "x"), "text/xml",
                         "Set-Cookie: TarveloSession=s1; Path=/; HttpOnly\r\n");
    RawHttpListener write(200, answer("ApplyVanDataByExc", "1"), "text/xml",
                          "Set-Cookie: TarveloSession=; Path=/; Max-Age=0\r\n");
    ServiceConfig config = ServiceConfig::forService(read.base());
    const std::string port = write.base().substr(write.base().rfind(':'));
    config.writeUrl = "http://localhost" + port + "/soap/IVRDS_IIS_WebSCoorApplyIsapi";
    TIISdmPtr module(config, platform);
    module.QueryBySQL("select 1");
    tryCall([&] { module.ApplyIntf->ApplyVanDataByExc("delete from KVR_LOGIN"); });
    module.QueryBySQL("select 2");
    ASSERT_EQ(write.requests().size(), 1u);
    EXPECT_NE(cookieHeader(write.requests()[0]).find("TarveloSession=s1"), std::string::npos)
        << write.requests()[0];
    ASSERT_EQ(read.requests().size(), 2u);
    EXPECT_EQ(cookieHeader(read.requests()[1]).find("TarveloSession=s1"), std::string::npos)
        << read.requests()[1];
}

TEST(Cookies, AModulesCallsCarryTheCookiesTheServiceSet) {
    ScriptedPlatform platform;
    RawHttpListener setting(
        200, answer("SpplyVanDataBySQL", "x"), "text/xml",
        "Set-Cookie: TarveloSession=s1; Path=/; HttpOnly\r\n"
        "Set-Cookie: TarveloAutoLogin=a1; Max-Age=2592000; Path=/; HttpOnly\r\n");
    TIISdmPtr module(ServiceConfig::forService(setting.base()), platform);
    EXPECT_EQ(module.cookieLine("TarveloAutoLogin"), "");
    module.QueryBySQL("select 1");
    tryCall([&] { module.ApplyIntf->ApplyVanDataByExc("delete from KVR_LOGIN"); });
    BackgroundQuery beside(SoapInterface::supply(), module.SpplyHTTPRIO.url(),
                           module.SpplyHTTPRIO.config(), module.SpplyHTTPRIO.connection());
    std::promise<void> answered;
    beside.start("select 2", [&](BackgroundQuery::Answer) { answered.set_value(); });
    answered.get_future().wait();
    const auto sent = setting.requests();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(cookieHeader(sent[0]), "");
    for (std::size_t i = 1; i < sent.size(); ++i) {
        const std::string carried = cookieHeader(sent[i]);
        EXPECT_NE(carried.find("TarveloSession=s1"), std::string::npos) << i << ": " << carried;
        EXPECT_NE(carried.find("TarveloAutoLogin=a1"), std::string::npos) << i << ": " << carried;
    }
    const std::string session = module.cookieLine("TarveloSession");
    EXPECT_EQ(session, "#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t0\tTarveloSession\ts1");
    const std::string kept = module.cookieLine("TarveloAutoLogin");
    const std::string prefix = "#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t";
    const std::string suffix = "\tTarveloAutoLogin\ta1";
    ASSERT_TRUE(kept.starts_with(prefix) && kept.ends_with(suffix)) << kept;
    const long long expires =
        std::stoll(kept.substr(prefix.size(), kept.size() - prefix.size() - suffix.size()));
    EXPECT_NEAR(expires, std::time(nullptr) + 30 * 86400, 60);
    EXPECT_EQ(module.cookieLine("TarveloAuto"), "");

    // Another module starts with no cookie, and carries what is put into it, until it is
    // forgotten; a line that is no cookie line changes nothing.
    RawHttpListener plain(200, answer("SpplyVanDataBySQL", "x"), "text/xml");
    TIISdmPtr next(ServiceConfig::forService(plain.base()), platform);
    const std::string expired = prefix + "1" + suffix;
    const struct {
        const char* what;
        std::function<void()> change;
        const char* carried;  // the next call's Cookie header
        std::string line;     // what cookieLine gives for the auto-login cookie
    } steps[] = {
        {"a new module", [] {}, "", ""},
        {"no cookie lines",
         [&] {
             next.putCookieLine("ALL");
             next.putCookieLine("TarveloAutoLogin=a1");
             next.putCookieLine(kept + "\n" + session);
             next.putCookieLine(kept + "\textra");
         },
         "", ""},
        {"the kept line", [&] { next.putCookieLine(kept); }, "TarveloAutoLogin=a1", kept},
        {"replaced by an expired one", [&] { next.putCookieLine(expired); }, "", ""},
        {"kept beside a session cookie",
         [&] {
             next.putCookieLine(kept);
             next.putCookieLine(session);
         },
         "TarveloAutoLogin=a1; TarveloSession=s1", kept},
        {"forgotten, the other stays", [&] { next.forgetCookie("TarveloAutoLogin"); },
         "TarveloSession=s1", ""},
    };
    for (const auto& step : steps) {
        step.change();
        next.QueryBySQL("select 1");
        EXPECT_EQ(cookieHeader(plain.requests().back()), step.carried) << step.what;
        EXPECT_EQ(next.cookieLine("TarveloAutoLogin"), step.line) << step.what;
    }
    // Nothing of the second module reached the first one's jar.
    EXPECT_EQ(module.cookieLine("TarveloAutoLogin"), kept);
}

}  // namespace
}  // namespace tarvelo::test
