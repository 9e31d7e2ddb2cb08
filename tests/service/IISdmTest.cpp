#include <gtest/gtest.h>

#include <functional>

#include "data/DataPacket.h"
#include "data/DataSet.h"
#include "platform/ScriptedPlatform.h"
#include "server/store/DemoData.h"
#include "service/IISdm.h"
#include "soap/SoapFault.h"
#include "soap/SoapResponse.h"
#include "support/Administrator.h"
#include "support/Packets.h"
#include "support/RawHttpListener.h"
#include "support/TestService.h"
#include "text/Base64.h"
#include "text/StatementBuffer.h"

namespace tarvelo::test {
namespace {

using Event = ScriptedPlatform::Event;

class DataAccess : public ::testing::Test {
protected:
    void SetUp() override {
        service.exec(
            "INSERT INTO KVR_REGION VALUES ('01','东城区'),('02','西城区');"
            "INSERT INTO KVR_USERH (USERID,USERNAME,DATABZ,SYSBZ) VALUES ('amy','艾米','10','0')");
    }
    // A user row appended to an empty answer of the user table, pending as an insertion.
    void appendUser(DataSet& users, std::string_view id) {
        users.loadPacket(module.QueryBySQL("Select * From KVR_USERH  \r\nWhere USERID='-'  \r\n"));
        users.append();
        users.fieldByName("USERID").setText(id);
        users.fieldByName("USERNAME").setText("新用户");
        users.fieldByName("DATABZ").setText("00");
        users.post();
    }

    TestService service;
    ScriptedPlatform platform;
    TIISdmPtr module{administrator(service), platform};
};

TEST_F(DataAccess, QueryBySQLAnswersPacketsAndRejectionTextsUnchanged) {
    DataSet regions;
    regions.loadPacket(module.QueryBySQL("select ID,IDDESC FROM KVR_REGION ORDER BY ID "));
    EXPECT_EQ(regions.recordCount(), 2u);
    EXPECT_EQ(regions.fieldByName("IDDESC").asText(), "东城区");

    const std::string rejected = "select * from KVR_NOPE";
    EXPECT_EQ(module.QueryBySQL(rejected), service.query(rejected));
    EXPECT_TRUE(platform.events().empty());
}

TEST_F(DataAccess, TextCrossesCodePage936BothWays) {
    // Outbound: the statement loses what code page 936 cannot hold before it is sent.
    DataSet ds;
    ds.loadPacket(module.QueryBySQL("select '热轧带肋钢筋 Φ12' A, '¥5😀' B"));
    EXPECT_EQ(ds.fieldByName("A").asText(), "热轧带肋钢筋 Φ12");
    EXPECT_EQ(ds.fieldByName("B").asText(), "?5?");
    EXPECT_EQ(service.statements().back().second, "select '热轧带肋钢筋 Φ12' A, '?5?' B");
    // Inbound: a value stored by another way arrives the same way.
    service.exec("INSERT INTO KVR_REGION VALUES ('03','€¥区')");
    ds.loadPacket(module.QueryBySQL("select IDDESC from KVR_REGION where ID='03'"));
    EXPECT_EQ(ds.fieldByName("IDDESC").asText(), "€?区");
}

TEST_F(DataAccess, EveryFailureOfAQueryIsTheFixedText) {
    RawHttpListener plain500(500, "Internal Server Error");
    RawHttpListener garbage(200, "<html>not soap</html>", "text/html");
    const std::string urls[] = {
        "http://127.0.0.1:" + std::to_string(closedPort()) + "/soap/x",  // nobody listens
        service.url(SoapInterface::apply()),  // the write side answers a fault
        plain500.base() + "/soap/x",
        garbage.base() + "/soap/x",
    };
    for (const auto& url : urls) {
        module.SpplyHTTPRIO.setUrl(url);
        EXPECT_EQ(module.QueryBySQL("select 1"), "出错") << url;
    }
    EXPECT_TRUE(platform.events().empty());
    // The errors themselves say what happened, for callers that let them through.
    module.SpplyHTTPRIO.setUrl(plain500.base() + "/soap/x");
    try {
        module.SpplyIntf->SpplyVanDataBySQL("select 1");
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_NE(e.message().find("HTTP 错误 500"), std::string::npos) << e.message();
    }
    module.SpplyHTTPRIO.setUrl(service.url(SoapInterface::apply()));
    try {
        module.SpplyIntf->SpplyVanDataBySQL("select 1");
        ADD_FAILURE();
    } catch (const SoapFault& f) {
        EXPECT_NE(f.faultString().find("命名空间"), std::string::npos) << f.faultString();
    }
}

// The grids load answers as they arrive; what they hold must be what loading the whole text
// gives, for a large answer with awkward values, a rejection and every kind of failure.
TEST_F(DataAccess, QueryIntoLoadsWhatTheWholeAnswerLoads) {
    service.exec("INSERT INTO KVR_REGION VALUES ('04','东\r\n&<>\"''€')");
    const std::string large =
        "with recursive N(I) as (select 1 union all select I+1 from N where I<30000) "
        "select I, '热轧带肋钢筋 Φ' || I || ' ]]> ¥ &<>\"''' AS NAME, R.IDDESC from N, KVR_REGION "
        "R "
        "where R.ID='04' order by I";
    for (const std::string& sql : {large, std::string("select * from KVR_NOPE")}) {
        DataSet whole, streamed;
        std::string wholeError, streamedError;
        try {
            whole.loadPacket(module.QueryBySQL(sql));
        } catch (const Error& e) {
            wholeError = e.what();
        }
        try {
            module.QueryInto(sql, streamed);
        } catch (const Error& e) {
            streamedError = e.what();
        }
        EXPECT_EQ(streamedError, wholeError);
        EXPECT_EQ(streamed.active(), whole.active());
        if (whole.active()) {
            EXPECT_EQ(streamed.recordCount(), 30000u);
            EXPECT_EQ(streamed.packetText(), whole.packetText());
        }
    }
    RawHttpListener garbage(200, "<html>not soap</html>", "text/html");
    for (const auto& url : {"http://127.0.0.1:" + std::to_string(closedPort()) + "/soap/x",
                            service.url(SoapInterface::apply()), garbage.base() + "/soap/x"}) {
        module.SpplyHTTPRIO.setUrl(url);
        DataSet ds;
        ds.loadPacket(itemPacket());
        EXPECT_THROW(module.QueryInto("select 1", ds), Error) << url;
        EXPECT_FALSE(ds.active());
        EXPECT_TRUE(module.queryFailure()) << url;
    }
    EXPECT_TRUE(platform.events().empty());
}

TEST_F(DataAccess, ApplyDeltaSendsThePendingRowsOnceAndSaysSo) {
    DataSet fresh;
    fresh.loadPacket(module.QueryBySQL("select * from KVR_USERH"));
    EXPECT_EQ(module.ApplyDelta(fresh, "KVR_USERH", "USERID", ""), -7);
    EXPECT_TRUE(platform.events().empty());

    DataSet users;
    appendUser(users, "bob");
    EXPECT_EQ(module.ApplyDelta(users, "KVR_USERH", "USERID", ""), 0);
    EXPECT_EQ(platform.events(), (std::vector<Event>{{Event::SetCursor, "hourglass"},
                                                     {Event::Information, "操作成功。"},
                                                     {Event::SetCursor, "default"}}));
    EXPECT_EQ(service.statements().back().second,
              "SQL00=Select 'AAA' AAA From KVR_USERH Where 1=2\r\n"
              "Key00=ResolveToSQL;upWhereChanged;USERID\r\n"
              "Inc00=\r\n"
              "Exc00=\r\n");
    EXPECT_EQ(service.scalar("select USERNAME||DATABZ from KVR_USERH where USERID='bob'"),
              "新用户00");
    EXPECT_EQ(users.changeCount(), 0u);
    EXPECT_FALSE(module.CdsDelta.active());
    EXPECT_EQ(module.ApplyDelta(users, "KVR_USERH", "USERID", ""), -7);
}

TEST_F(DataAccess, AFailedCallKeepsTheChangesForTheNextTry) {
    DataSet users;
    appendUser(users, "carl");
    platform.clear();
    const std::string writeSide = module.ApplyHTTPRIO.url();
    module.ApplyHTTPRIO.setUrl("http://127.0.0.1:" + std::to_string(closedPort()) + "/soap/x");
    EXPECT_EQ(module.ApplyDelta(users, "KVR_USERH", "USERID", ""), 7);
    ASSERT_EQ(platform.messages().size(), 1u);
    EXPECT_EQ(platform.messages()[0].rfind("7-第二服务器\n", 0), 0u) << platform.messages()[0];
    EXPECT_EQ(platform.cursor(), Cursor::Default);
    EXPECT_EQ(users.changeCount(), 1u);
    EXPECT_FALSE(module.CdsDelta.active());

    module.ApplyHTTPRIO.setUrl(writeSide);  // the service is back
    platform.clear();
    EXPECT_EQ(module.ApplyDelta(users, "KVR_USERH", "USERID", ""), 0);
    EXPECT_EQ(platform.messages(), std::vector<std::string>{"操作成功。"});
    EXPECT_EQ(service.scalar("select count(*) from KVR_USERH where USERID='carl'"), "1");
}

// A save that went out and got no answer may have been applied: the box says the outcome is
// unknown and asks for a check before sending again; the changes stay pending.
TEST_F(DataAccess, AnUnansweredSaveIsOfUnknownOutcome) {
    SilentListener silent;
    ServiceConfig config = administrator(service);
    config.writeTimeout = std::chrono::milliseconds(300);
    TIISdmPtr writer(config, platform);
    writer.ApplyHTTPRIO.setUrl(silent.base() + "/soap/x");
    DataSet users;
    appendUser(users, "dan");
    platform.clear();
    EXPECT_EQ(writer.ApplyDelta(users, "KVR_USERH", "USERID", ""), 7);
    EXPECT_EQ(
        platform.messages(),
        std::vector<std::string>{"7-第二服务器\n数据服务在 1 秒内没有答复，不知道这次写入是否已经"
                                 "完成。请先查询核对数据，再决定是否重新发送。"});
    EXPECT_EQ(users.changeCount(), 1u);
}

TEST_F(DataAccess, ASaveTheServiceRefusesIsReportedAndKeptPending) {
    DataSet users;
    appendUser(users, "amy");  // the key is taken
    platform.clear();
    EXPECT_EQ(module.ApplyDelta(users, "KVR_USERH", "USERID", ""), 1);
    EXPECT_EQ(platform.messages(), std::vector<std::string>{"操作失败,请重试或与系统管理员联系"});
    EXPECT_EQ(users.changeCount(), 1u);
    EXPECT_EQ(service.scalar("select USERNAME from KVR_USERH where USERID='amy'"), "艾米");
}

TEST_F(DataAccess, PasswordsAreTransformedFromTheirBase64Form) {
    const std::string password = "长密码-" + std::string(48, 'x');  // 58 bytes of UTF-8
    ASSERT_EQ(password.size(), 58u);
    const std::string source = TIISdmPtr::PasswordSource(password);
    EXPECT_EQ(source.size(), 80u + 2);
    EXPECT_EQ(source.substr(76, 2), "\r\n");
    EXPECT_EQ(base64Decode(source), password);
    // The stored form is what the service's own account tool stores for the same password.
    server::DemoData::addUser(service.dbPath(), "dan", "丹", password, "00", false);
    EXPECT_EQ(module.StoredPassword(password),
              service.scalar("select PASSWORD from KVR_USERH where USERID='dan'"));
    EXPECT_TRUE(service.statements().empty());  // a password is no statement
}

// The bytes of a one-statement request: the headers the contract names (and Host and
// Content-Length, which HTTP needs), then the envelope.
std::string request(int port, const std::string& iface, const std::string& operation,
                    const std::string& escapedSql) {
    const std::string urn = "urn:" + iface.substr(1) + "-" + iface;
    const std::string body =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?><SOAP-ENV:Envelope "
        "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
        "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\"><SOAP-ENV:Body "
        "SOAP-ENV:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><NS1:" +
        operation + " xmlns:NS1=\"" + urn + "\"><sSQL xsi:type=\"xsd:string\">" + escapedSql +
        "</sSQL></NS1:" + operation + "></SOAP-ENV:Body></SOAP-ENV:Envelope>";
    return "POST /soap/" + iface + " HTTP/1.1\r\n" + "Host: 127.0.0.1:" + std::to_string(port) +
           "\r\n" + "User-Agent: Tarvelo SOAP 1.1\r\n" + "Accept-Encoding: gzip\r\n" +
           "Content-Type: text/xml; charset=utf-8\r\n" + "SOAPAction: \"" + urn + "#" + operation +
           "\"\r\n" + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST_F(DataAccess, TheRequestsAreExactlyWhatTheContractSays) {
    // As the client sends them: no administrator's token.
    TIISdmPtr module{ServiceConfig::forService(service.base()), platform};
    RawHttpListener read(
        200,
        R"(<?xml version="1.0"?><S:Envelope xmlns:S="http://schemas.xmlsoap.org/soap/envelope/"><S:Body><r:SpplyVanDataBySQLResponse xmlns:r="urn:x"><return>ok</return></r:SpplyVanDataBySQLResponse></S:Body></S:Envelope>)",
        "text/xml");
    module.SpplyHTTPRIO.setUrl(read.base() + "/soap/IVRDS_IIS_WebSCoorSpplyIsapi");
    EXPECT_EQ(module.QueryBySQL("select ID\r\nFROM KVR_REGION\r\n"), "ok");
    ASSERT_EQ(read.requests().size(), 1u);
    EXPECT_EQ(read.requests()[0],
              request(read.port(), "IVRDS_IIS_WebSCoorSpplyIsapi", "SpplyVanDataBySQL",
                      "select ID&#13;\nFROM KVR_REGION&#13;\n"));

    RawHttpListener write(
        200,
        R"(<?xml version="1.0"?><S:Envelope xmlns:S="http://schemas.xmlsoap.org/soap/envelope/"><S:Body><r:ApplyVanDataByExcResponse xmlns:r="urn:x"><return>1</return></r:ApplyVanDataByExcResponse></S:Body></S:Envelope>)",
        "text/xml");
    module.ApplyHTTPRIO.setUrl(write.base() + "/soap/IVRDS_IIS_WebSCoorApplyIsapi");
    EXPECT_EQ(
        module.ApplyIntf->ApplyVanDataByExc(" DELETE FROM KVR_LOGIN  \r\n WHERE USERID='amy'\r\n"),
        1);
    ASSERT_EQ(write.requests().size(), 1u);
    EXPECT_EQ(write.requests()[0],
              request(write.port(), "IVRDS_IIS_WebSCoorApplyIsapi", "ApplyVanDataByExc",
                      " DELETE FROM KVR_LOGIN  &#13;\n WHERE USERID='amy'&#13;\n"));
}

// Every operation of both interfaces is callable: the service finds each one, in its namespace,
// with every parameter it declares, and either answers it or says it does not offer it.
TEST_F(DataAccess, EveryDeclaredOperationReachesTheService) {
    TIISdmPtr& m = module;
    const std::pair<const char*, std::function<void()>> calls[] = {
        {"SpplyIntf.EnVerifs", [&] { m.SpplyIntf->EnVerifs("x"); }},
        {"SpplyIntf.DeVerifs", [&] { m.SpplyIntf->DeVerifs("x"); }},
        {"SpplyIntf.SpplyVanDataBySQL", [&] { m.SpplyIntf->SpplyVanDataBySQL("x"); }},
        {"SpplyIntf.SpplyVanDataBySQLs", [&] { m.SpplyIntf->SpplyVanDataBySQLs("x"); }},
        {"SpplyIntf.SpplyVrdDataBySQL", [&] { m.SpplyIntf->SpplyVrdDataBySQL("x"); }},
        {"SpplyIntf.SpplyJpgByEncoded", [&] { m.SpplyIntf->SpplyJpgByEncoded("x"); }},
        {"SpplyIntf.GetFileByEncoded", [&] { m.SpplyIntf->GetFileByEncoded("x"); }},
        {"SpplyIntf.PutFileByDecoded", [&] { m.SpplyIntf->PutFileByDecoded("x", "x"); }},
        {"SpplyIntf.GetFileByEnCompressed", [&] { m.SpplyIntf->GetFileByEnCompressed("x"); }},
        {"SpplyIntf.PutFileByDeCompressed", [&] { m.SpplyIntf->PutFileByDeCompressed("x", "x"); }},
        {"SpplyIntf.SpplyJpgFileLists", [&] { m.SpplyIntf->SpplyJpgFileLists("x"); }},
        {"SpplyIntf.SetupGoing", [&] { m.SpplyIntf->SetupGoing("x", "x"); }},
        {"SpplyIntf.GetFileExtLists", [&] { m.SpplyIntf->GetFileExtLists("x"); }},
        {"SpplyIntf.ExistsFileName", [&] { m.SpplyIntf->ExistsFileName("x"); }},
        {"SpplyIntf.GetExtFileTXTs", [&] { m.SpplyIntf->GetExtFileTXTs("x", "x"); }},
        {"SpplyIntf.GetExtFileXMLs", [&] { m.SpplyIntf->GetExtFileXMLs("x", "x"); }},
        {"SpplyIntf.ExistsFilePath", [&] { m.SpplyIntf->ExistsFilePath("x"); }},
        {"SpplyIntf.CreateFilePath", [&] { m.SpplyIntf->CreateFilePath("x"); }},
        {"SpplyIntf.ApplyVanDataBySQL", [&] { m.SpplyIntf->ApplyVanDataBySQL("x", "x"); }},
        {"SpplyIntf.ApplyVanDataBySQLupKeyChanged",
         [&] { m.SpplyIntf->ApplyVanDataBySQLupKeyChanged("x", "x", "x"); }},
        {"SpplyIntf.ApplyVrdDataBySQLupKeyChanged",
         [&] { m.SpplyIntf->ApplyVrdDataBySQLupKeyChanged("x", "x", "x"); }},
        {"SpplyIntf.echoDoubleArray",
         [&] {
             m.SpplyIntf->echoDoubleArray({1.5, 2});
         }},
        {"SpplyIntf.echoDouble", [&] { m.SpplyIntf->echoDouble(0.5); }},
        {"ApplyIntf.SpplyVanDataBySQL", [&] { m.ApplyIntf->SpplyVanDataBySQL("x"); }},
        {"ApplyIntf.SpplyVrdDataBySQL", [&] { m.ApplyIntf->SpplyVrdDataBySQL("x"); }},
        {"ApplyIntf.SpplyVanGuids", [&] { m.ApplyIntf->SpplyVanGuids(); }},
        {"ApplyIntf.SpplyVanSequences", [&] { m.ApplyIntf->SpplyVanSequences("x"); }},
        {"ApplyIntf.ApplyVanDataByExc", [&] { m.ApplyIntf->ApplyVanDataByExc("x"); }},
        {"ApplyIntf.ApplyVanDataByExcExp", [&] { m.ApplyIntf->ApplyVanDataByExcExp("x"); }},
        {"ApplyIntf.ApplyVanDataBySQL", [&] { m.ApplyIntf->ApplyVanDataBySQL("x", "x"); }},
        {"ApplyIntf.ApplyVrdDataBySQL", [&] { m.ApplyIntf->ApplyVrdDataBySQL("x", "x"); }},
        {"ApplyIntf.ApplyVanDataBySQLupKeyChanged",
         [&] { m.ApplyIntf->ApplyVanDataBySQLupKeyChanged("x", "x", "x"); }},
        {"ApplyIntf.ApplyVrdDataBySQLupKeyChanged",
         [&] { m.ApplyIntf->ApplyVrdDataBySQLupKeyChanged("x", "x", "x"); }},
        {"ApplyIntf.ApplyVanDataBySQLupKeyChangedExc",
         [&] { m.ApplyIntf->ApplyVanDataBySQLupKeyChangedExc("x", "x"); }},
        {"ApplyIntf.ApplyVrdDataBySQLupKeyChangedExc",
         [&] { m.ApplyIntf->ApplyVrdDataBySQLupKeyChangedExc("x", "x"); }},
        {"ApplyIntf.ApplyVanDataBySQLupKeyChangedEx",
         [&] { m.ApplyIntf->ApplyVanDataBySQLupKeyChangedEx("x", "x", "x", "x", "x", "x"); }},
        {"ApplyIntf.ApplyVrdDataBySQLupKeyChangedEx",
         [&] { m.ApplyIntf->ApplyVrdDataBySQLupKeyChangedEx("x", "x", "x", "x", "x", "x"); }},
        {"ApplyIntf.ApplyVanDataBySQLupKeyChangedExs",
         [&] {
             m.ApplyIntf->ApplyVanDataBySQLupKeyChangedExs(
                 "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x",
                 "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x");
         }},
        {"ApplyIntf.ApplyVrdDataBySQLupKeyChangedExs",
         [&] {
             m.ApplyIntf->ApplyVrdDataBySQLupKeyChangedExs(
                 "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x",
                 "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x");
         }},
        {"ApplyIntf.ApplyVanDataBySQLupKeyChangedExcs",
         [&] {
             m.ApplyIntf->ApplyVanDataBySQLupKeyChangedExcs("x", "x", "x", "x", "x", "x", "x", "x",
                                                            "x", "x", "x");
         }},
        {"ApplyIntf.ApplyVrdDataBySQLupKeyChangedExcs",
         [&] {
             m.ApplyIntf->ApplyVrdDataBySQLupKeyChangedExcs("x", "x", "x", "x", "x", "x", "x", "x",
                                                            "x", "x", "x");
         }},
        {"ApplyIntf.ApplyVanDataBySQLupKeyChangedExcA",
         [&] { m.ApplyIntf->ApplyVanDataBySQLupKeyChangedExcA("x", "x"); }},
        {"ApplyIntf.ApplyVanDataBySQLupKeyChangedExc1",
         [&] { m.ApplyIntf->ApplyVanDataBySQLupKeyChangedExc1("x", "x"); }},
        {"ApplyIntf.ApplyVanDataBySQLupKeyChangedKey1",
         [&] { m.ApplyIntf->ApplyVanDataBySQLupKeyChangedKey1("x", "x", "x"); }},
        {"ApplyIntf.ApplyVanChangedExc1", [&] { m.ApplyIntf->ApplyVanChangedExc1("x", "x"); }},
        {"ApplyIntf.ApplyVrdDataBySQLupKeyChangedExcA",
         [&] { m.ApplyIntf->ApplyVrdDataBySQLupKeyChangedExcA("x", "x"); }},
        {"ApplyIntf.ApplyVrdDataBySQLupKeyChangedExc1",
         [&] { m.ApplyIntf->ApplyVrdDataBySQLupKeyChangedExc1("x", "x"); }},
        {"ApplyIntf.ApplyVrdDataBySQLupKeyChangedKey1",
         [&] { m.ApplyIntf->ApplyVrdDataBySQLupKeyChangedKey1("x", "x"); }},
        {"ApplyIntf.ApplyB64DataBySQLupKeyChangedExc1",
         [&] { m.ApplyIntf->ApplyB64DataBySQLupKeyChangedExc1("x", "x"); }},
        {"ApplyIntf.ApplyVanDataBySQLupKeyChangedExc2",
         [&] { m.ApplyIntf->ApplyVanDataBySQLupKeyChangedExc2("x", "x", "x"); }},
        {"ApplyIntf.ApplyVrdDataBySQLupKeyChangedExc2",
         [&] { m.ApplyIntf->ApplyVrdDataBySQLupKeyChangedExc2("x", "x", "x"); }},
        {"ApplyIntf.ApplyVanDataBySQLupKeyChangedExc3",
         [&] { m.ApplyIntf->ApplyVanDataBySQLupKeyChangedExc3("x", "x", "x", "x"); }},
        {"ApplyIntf.ApplyVrdDataBySQLupKeyChangedExc3",
         [&] { m.ApplyIntf->ApplyVrdDataBySQLupKeyChangedExc3("x", "x", "x", "x"); }},
        {"ApplyIntf.echoDoubleArray",
         [&] {
             m.ApplyIntf->echoDoubleArray({1.5, 2});
         }},
        {"ApplyIntf.echoDouble", [&] { m.ApplyIntf->echoDouble(0.5); }},
    };
    std::size_t answered = 0;
    for (const auto& [name, call] : calls) {
        try {
            call();
            ++answered;
        } catch (const SoapFault& f) {
            // The service understood the call: an operation it does not offer, or its own
            // answer to the argument "x".
            for (const char* misunderstood : {"缺少参数", "没有操作", "命名空间", "不是 SOAP"})
                EXPECT_EQ(f.faultString().find(misunderstood), std::string::npos)
                    << name << ": " << f.faultString();
        }
    }
    EXPECT_EQ(std::size(calls), 55u);
    EXPECT_EQ(answered,
              6u);  // EnVerifs, both echoes on both sides, ApplyVanDataBySQLupKeyChangedExc1 faults
}

}  // namespace
}  // namespace tarvelo::test
