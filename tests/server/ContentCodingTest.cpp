#include <gtest/gtest.h>
#include <httplib.h>
#include <zlib.h>

#include <fstream>
#include <optional>

#include "server/store/DemoData.h"
#include "soap/SoapFault.h"
#include "soap/SoapRequest.h"
#include "soap/SoapResponse.h"
#include "support/TestService.h"

namespace tarvelo::test {
namespace {

// gzip through zlib itself, `copies` members of `text` one after another.
std::string gzipped(std::string_view text, int copies = 1) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string member(deflateBound(&z, text.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(member.data());
    z.avail_out = static_cast<uInt>(member.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    member.resize(z.total_out);
    deflateEnd(&z);
    std::string out;
    for (int i = 0; i < copies; ++i)
        out += member;
    return out;
}

// One answer as it crossed the wire: httplib does not undo its compression.
struct Raw {
    int status = 0;
    std::string body, contentEncoding, vary;
};

Raw exchange(const TestService& service, const std::string& body, const httplib::Headers& headers,
             bool decompress = false) {
    httplib::Client client("127.0.0.1", service.port());
    client.set_decompress(decompress);
    client.set_read_timeout(30);
    // The month is read as the administrator: the test's statement is its own.
    httplib::Headers sent = headers;
    sent.emplace("Authorization", "Bearer " + std::string(TestService::kAdminToken));
    const auto res = client.Post("/soap/" + std::string(SoapInterface::supply().name), sent, body,
                                 "text/xml; charset=utf-8");
    if (!res) return {};
    return {res->status, res->body, res->get_header_value("Content-Encoding"),
            res->get_header_value("Vary")};
}

std::string query(std::string_view sql) {
    const SoapRequest::Argument args[] = {{"sSQL", std::string(sql)}};
    return SoapRequest::write(SoapInterface::supply().ns, "SpplyVanDataBySQL", args);
}

std::string echo() {
    const SoapRequest::Argument args[] = {{"dValue", 2.5}};
    return SoapRequest::write(SoapInterface::supply().ns, "echoDouble", args);
}

// The fault of an answer, as "code: faultstring"; "no fault" when it is none.
std::string faultOf(const std::string& body, std::string_view operation) {
    try {
        SoapResponse::read(body, operation);
    } catch (const SoapFault& f) {
        return f.code() + ": " + f.faultString();
    }
    return "no fault";
}

// The demonstration data's latest month of deal prices, as the client asks for it.
class ContentCoding : public ::testing::Test {
protected:
    void SetUp() override {
        server::DemoData::load(service.dbPath(), Date::today());
        month = query("select * from KVR_CJJ where PERDID='" +
                      service.scalar("select max(PERDID) from KVR_CJJ") + "' order by SERIAL");
        plain = exchange(service, month, {});
        ASSERT_EQ(plain.status, 200);
        ASSERT_GT(plain.body.size(), 50000u);
    }

    TestService service;
    std::string month;
    Raw plain;
};

// gzip goes out only to a client whose Accept-Encoding takes it, weights and "*" included, and
// only for an answer long enough to gain from it; every SOAP answer says that it varies so.
TEST_F(ContentCoding, AnswersAreCompressedOnlyWhenTheClientTakesGzip) {
    EXPECT_EQ(plain.contentEncoding, "");
    EXPECT_EQ(plain.vary, "Accept-Encoding");
    const struct {
        const char* accept;
        bool gzip;
    } cases[] = {
        {"gzip", true},
        {"GZip;q=0.5", true},
        {"deflate, gzip;q=1.0, br", true},
        {"x-gzip", true},
        {"*", true},
        {"gzip;q=0.001", true},
        {"identity", false},
        {"br, deflate", false},
        {"gzip;q=0", false},
        {"gzip; q=0.000", false},
        {"*;q=0", false},
        {"*, gzip;q=0", false},
        {"gzip;q=2", false},      // not a weight: as if not named
        {"gzip;q=abc", false},    // the same
        {"identity;q=0", false},  // nothing else named: the answer as it is
    };
    for (const auto& c : cases) {
        const Raw r = exchange(service, month, {{"Accept-Encoding", c.accept}});
        EXPECT_EQ(r.status, 200) << c.accept;
        EXPECT_EQ(r.vary, "Accept-Encoding") << c.accept;
        EXPECT_EQ(r.contentEncoding, c.gzip ? "gzip" : "") << c.accept;
        if (c.gzip) {
            EXPECT_TRUE(r.body.starts_with("\x1f\x8b")) << c.accept;
            EXPECT_LT(r.body.size(), plain.body.size() / 4) << c.accept;
        } else {
            EXPECT_EQ(r.body, plain.body) << c.accept;
        }
    }
    // What a gzip answer inflates to is the plain answer, byte for byte.
    const Raw inflated = exchange(service, month, {{"Accept-Encoding", "gzip"}}, true);
    EXPECT_EQ(inflated.body, plain.body);

    // A short answer is not worth it.
    const Raw small = exchange(service, echo(), {{"Accept-Encoding", "gzip"}});
    EXPECT_EQ(small.status, 200);
    EXPECT_EQ(small.contentEncoding, "");
    EXPECT_EQ(small.vary, "Accept-Encoding");
    EXPECT_NE(small.body.find(">2.5<"), std::string::npos);
}

// A request body may come gzip-compressed (as one member or several); any other coding is
// refused as such, and a body that does not inflate gets a Client fault saying so. Each is
// answered on a connection that goes on serving.
TEST_F(ContentCoding, RequestBodiesComeGzipCompressedOrPlain) {
    const std::string whole = gzipped(month);
    std::string badCheck = whole;
    badCheck[badCheck.size() - 6] ^= 0x55;  // in the CRC-32 of the trailer
    const std::string half = month.substr(0, month.size() / 2);
    const std::string rest = month.substr(month.size() / 2);
    const std::string kCorrupt = "Client: 请求正文无法解压：gzip 压缩数据已损坏或不完整。（";
    const std::string kUnknown =
        "Client: 请求正文的内容编码（Content-Encoding）不受支持：数据服务只接受用 gzip "
        "压缩的或不压缩的请求。";
    const struct {
        const char* coding;
        std::string body;
        int status;
        std::string fault;  // its beginning; "" for the month's answer
    } cases[] = {
        {"gzip", whole, 200, ""},
        {"x-gzip", whole, 200, ""},
        {"GZIP", gzipped(half) + gzipped(rest), 200, ""},
        {"identity", month, 200, ""},
        {"br", whole, 415, kUnknown},
        {"gzip, gzip", gzipped(whole), 415, kUnknown},
        {"gzip", month, 400, kCorrupt + "incorrect header check）"},
        {"gzip", whole.substr(0, whole.size() / 2), 400,
         kCorrupt + "unexpected end of gzip stream）"},
        {"gzip", badCheck, 400, kCorrupt + "incorrect data check）"},
        {"gzip", "", 400, kCorrupt + "empty gzip stream）"},
        {"gzip", whole + "garbage", 400, kCorrupt},
    };
    httplib::Client client("127.0.0.1", service.port());
    client.set_keep_alive(true);
    const auto connections = service.connectionsAccepted();
    for (const auto& c : cases) {
        const auto res =
            client.Post("/soap/" + std::string(SoapInterface::supply().name),
                        {{"Content-Encoding", c.coding},
                         {"Authorization", "Bearer " + std::string(TestService::kAdminToken)}},
                        c.body, "text/xml");
        ASSERT_TRUE(res) << c.coding << " " << httplib::to_string(res.error());
        EXPECT_EQ(res->status, c.status) << c.coding << " " << c.fault;
        if (c.fault.empty())
            EXPECT_EQ(res->body, plain.body) << c.coding;
        else
            EXPECT_TRUE(faultOf(res->body, "SpplyVanDataBySQL").starts_with(c.fault))
                << c.coding << ": " << faultOf(res->body, "SpplyVanDataBySQL");
    }
    // A refusal after the body has been read keeps the connection; one before it closes it.
    EXPECT_LE(service.connectionsAccepted() - connections, 3u);
}

std::size_t peakMemoryKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:")) return std::stoul(line.substr(6));
    return 0;
}

// A small body that inflates past the request limit is refused with the limit's own fault, its
// inflating stopped at the limit, and the service goes on answering.
TEST_F(ContentCoding, AGzipBombIsRefusedAtTheRequestLimit) {
    const std::string zeros(1 << 20, '\0');
    const struct {
        const char* what;
        std::string body;
    } bombs[] = {
        {"one member: 80 MiB from about 80 KB", gzipped(std::string(80 << 20, '\0'))},
        {"1,024 members: 1 GiB from about 1 MB", gzipped(zeros, 1024)},
    };
    const std::size_t before = peakMemoryKiB();
    for (const auto& b : bombs) {
        EXPECT_LT(b.body.size(), 1100u << 10) << b.what;
        const Raw r = exchange(service, b.body, {{"Content-Encoding", "gzip"}});
        EXPECT_EQ(r.status, 413) << b.what;
        EXPECT_EQ(faultOf(r.body, "SpplyVanDataBySQL"), "Client: 请求太大：超过 64 MiB 的上限。")
            << b.what;
        const Raw after = exchange(service, echo(), {});
        EXPECT_EQ(after.status, 200) << b.what;
        EXPECT_NE(after.body.find(">2.5<"), std::string::npos) << b.what;
    }
    // The test's own 80 MiB text, then at most the limit's 64 MiB as the body grows: never the
    // gibibyte.
    EXPECT_LT(peakMemoryKiB() - before, std::size_t{400} << 10);
}

}  // namespace
}  // namespace tarvelo::test
