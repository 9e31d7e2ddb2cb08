#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "data/DataSet.h"
#include "platform/ScriptedPlatform.h"
#include "server/http/HttpEndpoint.h"
#include "service/IISdm.h"
#include "support/TestService.h"
#include "text/Error.h"

namespace tarvelo::test {
namespace {

constexpr const char* kToken = "office-token-0123456789abcdef";

// A query and a write of the client's own, which any caller may send.
constexpr std::string_view kRegions = "select ID,IDDESC FROM KVR_REGION ORDER BY ID ";
constexpr std::string_view kRelease = " DELETE FROM KVR_LOGIN  \r\n WHERE USERID=''\r\n";

// What a query through the data access module gives: the first region when the service
// answered, the user's message otherwise.
std::string queryThrough(TIISdmPtr& module) {
    const std::string answer = module.QueryBySQL(kRegions);
    if (answer == TIISdmPtr::kQueryFailed)
        return module.queryFailure() ? module.queryFailure()->message() : "出错 without a cause";
    DataSet ds;
    ds.loadPacket(answer);
    return "IDDESC=" + ds.fieldByName("IDDESC").asText();
}

// The same for a write.
std::string writeThrough(TIISdmPtr& module, std::string_view sql) {
    try {
        return "rows=" + std::to_string(module.ApplyIntf->ApplyVanDataByExc(sql));
    } catch (const Error& e) {
        return e.message();
    }
}

const std::string kNoToken =
    "数据服务拒绝了访问（HTTP 401）：它要求访问令牌，而 tarvelo.ini 中没有设置。"
    "请向系统管理员索取令牌，写在 tarvelo.ini 的 [service] 节：access-token = 令牌。";
const std::string kWrongToken =
    "数据服务拒绝了访问（HTTP 401）：tarvelo.ini 中的访问令牌（access-token）不对。"
    "请向系统管理员核对令牌。";
const std::string kRefusedWithoutCertificate =
    "数据服务拒绝了访问（HTTP 403）：本机所在的网络不在它允许之列，或它要求客户端证书而 "
    "tarvelo.ini 中没有设置（client-cert 和 client-key）。请与系统管理员联系。";
const std::string kRefusedCertificate =
    "数据服务拒绝了访问（HTTP 403）：本机所在的网络不在它允许之列，或 tarvelo.ini 中 "
    "client-cert 指定的客户端证书不被它认可。请与系统管理员联系。";

// Both sides send the token of tarvelo.ini; a refusal tells the user what to put there, even for
// a write too large for the service to read before it refuses.
TEST(ClientAccess, TheConfiguredTokenIsSentAndARefusalSaysWhatToDo) {
    server::EndpointOptions options;
    options.accessToken = server::AccessToken(kToken);
    TestService service({}, options);
    service.exec("INSERT INTO KVR_REGION VALUES ('01','东城区')");
    const std::string large = "delete from KVR_REGION where IDDESC='" + std::string(8 << 20, 'x') +
                              "'";  // more than a socket buffers
    const struct {
        std::string token;
        std::string says;  // of a query, a small write and a large one
    } cases[] = {
        {"", kNoToken},
        {"office-token-0123456789abcdeF", kWrongToken},
        {kToken, ""},
    };
    ScriptedPlatform platform;
    for (const auto& c : cases) {
        ServiceConfig config = ServiceConfig::forService(service.base());
        config.accessToken = c.token;
        TIISdmPtr module(config, platform);
        if (c.says.empty()) {
            EXPECT_EQ(queryThrough(module), "IDDESC=东城区");
            EXPECT_EQ(writeThrough(module, kRelease), "rows=0");
            continue;
        }
        EXPECT_EQ(queryThrough(module), c.says) << c.token;
        // The detail carries the service's own words.
        EXPECT_NE(module.queryFailure()->detail().find("拒绝访问：请求没有带上有效的访问令牌"),
                  std::string::npos)
            << module.queryFailure()->detail();
        EXPECT_EQ(writeThrough(module, kRelease), c.says) << c.token;
        EXPECT_EQ(writeThrough(module, large), c.says) << c.token;
    }
    EXPECT_EQ(service.statements().size(), 2u);  // the query and the write with the token
}

// The service closes a connection from a network it does not serve as soon as it takes it: the
// client sees its connection end without an answer, and a write of unknown outcome.
TEST(ClientAccess, AClientOutsideTheAllowedNetworksIsNotAnswered) {
    for (const bool listed : {false, true}) {
        server::EndpointOptions options;
        options.allowed =
            server::ClientNetworks(listed ? std::vector<std::string>{"10.1.0.0/16", "127.0.0.1"}
                                          : std::vector<std::string>{"10.1.0.0/16"});
        TestService service({}, options);
        service.exec("INSERT INTO KVR_REGION VALUES ('01','东城区')");
        ScriptedPlatform platform;
        TIISdmPtr module(ServiceConfig::forService(service.base()), platform);
        const std::string cutOff = "与数据服务（127.0.0.1:" + std::to_string(service.port()) +
                                   "）的通信中断了。请稍后再试。";
        EXPECT_EQ(queryThrough(module), listed ? "IDDESC=东城区" : cutOff);
        EXPECT_EQ(writeThrough(module, kRelease),
                  listed
                      ? "rows=0"
                      : "数据服务的答复没有完整收到，不知道这次写入是否已经完成。请先查询核对数据，"
                        "再决定是否重新发送。");
        EXPECT_EQ(service.statements().size(), listed ? 2u : 0u);
    }
}

// Certificates made for a test with openssl: the service's own (self-signed, for 127.0.0.1),
// an office authority with the clients it signed, and a stranger's authority with its client.
class Certificates {
public:
    Certificates()
        : m_dir(std::filesystem::temp_directory_path() /
                ("tarvelo-client-cert-test-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(m_dir);
        const std::string ec = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 ";
        const std::string client = "-addext basicConstraints=CA:FALSE ";
        m_made =
            make("service", ec + "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1") &&
            make("office-ca", ec + "-subj /CN=Office-CA") &&
            make("stranger-ca", ec + "-subj /CN=Stranger-CA") &&
            make("desk", ec + client + "-subj /CN=desk-7 -addext extendedKeyUsage=clientAuth " +
                             signedBy("office-ca")) &&
            make("any-use", ec + client + "-subj /CN=any-use " + signedBy("office-ca")) &&
            make("web-server", ec + client +
                                   "-subj /CN=web-server -addext extendedKeyUsage=serverAuth " +
                                   signedBy("office-ca")) &&
            make("stranger", ec + client + "-subj /CN=stranger " + signedBy("stranger-ca"));
    }
    ~Certificates() { std::filesystem::remove_all(m_dir); }

    bool made() const { return m_made; }
    std::string cert(const std::string& name) const { return (m_dir / (name + ".pem")).string(); }
    std::string key(const std::string& name) const { return (m_dir / (name + ".key")).string(); }

private:
    std::string signedBy(const std::string& ca) const {
        return "-CA " + cert(ca) + " -CAkey " + key(ca);
    }
    bool make(const std::string& name, const std::string& options) const {
        const std::string command = "openssl req -x509 " + options + " -keyout " + key(name) +
                                    " -out " + cert(name) + " 2>/dev/null";
        return std::system(command.c_str()) == 0;
    }

    std::filesystem::path m_dir;
    bool m_made = false;
};

TEST(ClientAccess, AClientCertificateOfTheOfficeAuthorityIsRequired) {
    Certificates certs;
    if (!certs.made()) GTEST_SKIP() << "openssl could not make the certificates";
    std::mutex mutex;
    std::string log;
    server::EndpointOptions options;
    options.tlsCert = certs.cert("service");
    options.tlsKey = certs.key("service");
    options.tlsClientCa = certs.cert("office-ca");
    options.log = [&](const std::string& line) {
        std::lock_guard lock(mutex);
        log += line + "\n";
    };
    TestService service({}, options);
    service.exec("INSERT INTO KVR_REGION VALUES ('01','东城区')");
    const struct {
        std::string cert;  // "": none configured
        std::string says;  // "" : answered
        std::string logged;
    } cases[] = {
        {"desk", "", ""},
        {"any-use", "", ""},  // a certificate that names no purposes may serve any
        {"", kRefusedWithoutCertificate, "拒绝（403）：没有出示客户端证书"},
        {"stranger", kRefusedCertificate, "拒绝（403）：客户端证书“CN=stranger”没有通过验证（"},
        {"web-server", kRefusedCertificate, "拒绝（403）：客户端证书“CN=web-server”没有通过验证（"},
        {"missing",
         "无法使用客户端证书“" + certs.cert("missing") + "”或其私钥“" + certs.key("missing") +
             "”：文件无法读取，或不是 PEM 格式，或私钥与证书不配。请检查 tarvelo.ini 中的 "
             "client-cert 和 client-key。",
         ""},
    };
    ScriptedPlatform platform;
    for (const auto& c : cases) {
        ServiceConfig config = ServiceConfig::forService(service.base());
        config.caFile = certs.cert("service");
        if (!c.cert.empty()) {
            config.clientCert = certs.cert(c.cert);
            config.clientKey = certs.key(c.cert);
        }
        TIISdmPtr module(config, platform);
        EXPECT_EQ(queryThrough(module), c.says.empty() ? "IDDESC=东城区" : c.says) << c.cert;
        if (c.says.empty()) continue;
        EXPECT_EQ(writeThrough(module, kRelease), c.says) << c.cert;
        std::lock_guard lock(mutex);
        EXPECT_NE(log.find(c.logged), std::string::npos) << c.cert << "\n" << log;
    }
    EXPECT_EQ(service.statements().size(), 2u);  // the two queries with a good certificate
}

}  // namespace
}  // namespace tarvelo::test
