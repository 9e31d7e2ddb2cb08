#include <gtest/gtest.h>
#include <zlib.h>

#include "data/DataSet.h"
#include "platform/ScriptedPlatform.h"
#include "server/store/DemoData.h"
#include "service/IISdm.h"
#include "soap/SoapInterface.h"
#include "soap/SoapRequest.h"
#include "support/Administrator.h"
#include "support/RawHttpListener.h"
#include "support/TestService.h"
#include "text/Error.h"

namespace tarvelo::test {
namespace {

// What zlib itself inflates `gz` to; "not gzip" when it cannot.
std::string inflated(std::string_view gz) {
    z_stream z{};
    inflateInit2(&z, 16 + MAX_WBITS);
    std::string out(64 << 20, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.data()));
    z.avail_in = static_cast<uInt>(gz.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    return rc == Z_STREAM_END ? out : "not gzip";
}

// The body of a recorded request, and whether its header has `line`.
std::string bodyOf(const std::string& request) {
    return request.substr(request.find("\r\n\r\n") + 4);
}
bool hasHeader(const std::string& request, std::string_view line) {
    return request.substr(0, request.find("\r\n\r\n") + 2).find(std::string(line) + "\r\n") !=
           std::string::npos;
}

// A month of the demonstration's deal prices reaches the client as the same dataset, byte for
// byte, whether the service compressed it (the client asks it to), a peer answered it plainly,
// and whether it was read as it arrived or collected whole.
TEST(Compression, AMonthLoadsTheSameCompressedOrPlain) {
    TestService service;
    server::DemoData::load(service.dbPath(), Date::today());
    const std::string sql = "select * from KVR_CJJ where PERDID='" +
                            service.scalar("select max(PERDID) from KVR_CJJ") + "' order by SERIAL";
    // The reference: the packet as an HTTP client that takes no compression gets it.
    const std::string packet = service.query(sql);
    ASSERT_GT(packet.size(), 50000u);
    DataSet expected;
    expected.loadPacket(packet);
    const std::string expectedText = expected.packetText();

    ScriptedPlatform platform;
    TIISdmPtr module(administrator(service), platform);
    DataSet streamed;
    module.QueryInto(sql, streamed);
    EXPECT_EQ(streamed.packetText(), expectedText);
    EXPECT_EQ(module.QueryBySQL(sql), packet);

    // A peer that never compresses: the same packet in a plain answer.
    const SoapRequest::Argument args[] = {{"sSQL", sql}};
    const auto plain =
        service.post(SoapInterface::supply(),
                     SoapRequest::write(SoapInterface::supply().ns, "SpplyVanDataBySQL", args));
    ASSERT_EQ(plain.header("Content-Encoding"), "");
    RawHttpListener peer(200, plain.body, "text/xml; charset=utf-8");
    TIISdmPtr plainModule(ServiceConfig::forService(peer.base()), platform);
    DataSet fromPeer;
    plainModule.QueryInto(sql, fromPeer);
    EXPECT_EQ(fromPeer.packetText(), expectedText);
    EXPECT_TRUE(hasHeader(peer.requests().at(0), "Accept-Encoding: gzip"));
}

// With compress-requests, a body over 1 KiB goes out gzip-compressed and says so; a shorter one
// goes out as it is; off (the default), nothing is compressed. The service applies a compressed
// write as any other.
TEST(Compression, LongerRequestsGoOutCompressedWhenConfigured) {
    std::string rows;
    for (int i = 1; i <= 3000; ++i)
        rows += std::string(rows.empty() ? "" : ",") + "('R" + std::to_string(i) + "','区" +
                std::to_string(i) + "')";
    const std::string insert = "insert into KVR_REGION (ID,IDDESC) values " + rows;
    ASSERT_GT(insert.size(), 40000u);

    const char* const kAnswer =
        R"(<?xml version="1.0"?><S:Envelope xmlns:S="http://schemas.xmlsoap.org/soap/envelope/"><S:Body><r:ApplyVanDataByExcResponse xmlns:r="urn:x"><return>1</return></r:ApplyVanDataByExcResponse></S:Body></S:Envelope>)";
    ScriptedPlatform platform;
    for (const bool on : {false, true}) {
        RawHttpListener peer(200, kAnswer, "text/xml");
        ServiceConfig config = ServiceConfig::forService(peer.base());
        config.compressRequests = on;
        TIISdmPtr module(config, platform);
        module.ApplyIntf->ApplyVanDataByExc("delete from KVR_LOGIN");
        module.ApplyIntf->ApplyVanDataByExc(insert);
        const auto requests = peer.requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_FALSE(hasHeader(requests[0], "Content-Encoding: gzip")) << on;
        EXPECT_EQ(hasHeader(requests[1], "Content-Encoding: gzip"), on);
        const std::string body = bodyOf(requests[1]);
        if (on) {
            EXPECT_LT(body.size(), insert.size() / 2);
            EXPECT_NE(
                inflated(body).find(">insert into KVR_REGION (ID,IDDESC) values ('R1','区1'),"),
                std::string::npos);
            EXPECT_TRUE(hasHeader(requests[1], "Content-Length: " + std::to_string(body.size())));
        } else {
            EXPECT_NE(body.find(">insert into KVR_REGION"), std::string::npos);
        }
    }

    TestService service;
    ServiceConfig config = administrator(service);
    config.compressRequests = true;
    TIISdmPtr module(config, platform);
    EXPECT_EQ(module.ApplyIntf->ApplyVanDataByExc(insert), 3000);
    EXPECT_EQ(service.scalar("select count(*) || ' ' || max(IDDESC) from KVR_REGION where ID "
                             "like 'R%'"),
              "3000 区999");
}

}  // namespace
}  // namespace tarvelo::test
