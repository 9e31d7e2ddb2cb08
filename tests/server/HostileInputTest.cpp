#include <gtest/gtest.h>

#include <thread>

#include "data/PacketWriter.h"
#include "server/ServerFixture.h"
#include "server/store/sqlite/SqliteServiceConnection.h"
#include "soap/SoapFault.h"
#include "soap/SoapResponse.h"
#include "support/Packets.h"

namespace tarvelo::test {
namespace {

// The XML text of a value: markup escaped, every other byte as it is.
std::string xmlText(std::string_view value) {
    std::string out;
    appendEscaped(out, value);
    return out;
}

// A request envelope whose parameters are given as XML text, so that a test can send what no
// well-behaved writer would.
std::string envelope(const SoapInterface& iface, std::string_view operation,
                     std::initializer_list<std::pair<std::string_view, std::string>> params) {
    std::string body =
        R"(<?xml version="1.0"?><soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body><q:)" +
        std::string(operation) + " xmlns:q=\"" + std::string(iface.ns) + "\">";
    for (const auto& [name, xml] : params)
        body += "<" + std::string(name) + ">" + xml + "</" + std::string(name) + ">";
    return body + "</q:" + std::string(operation) + "></soap:Body></soap:Envelope>";
}

std::string regionParams() {
    return statement({"SQL00=Select 'AAA' AAA From KVR_REGION Where 1=2",
                      "Key00=ResolveToSQL;upWhereChanged;ID", "Inc00=", "Exc00="});
}

// A delta inserting region 03 named by `name`, given as packet (XML) text.
std::string regionDelta(std::string_view name) {
    return packet(R"(<FIELD attrname="ID" fieldtype="string" WIDTH="8"/>)"
                  R"(<FIELD attrname="IDDESC" fieldtype="string" WIDTH="12"/>)",
                  R"(<ROW RowState="4" ID="03" IDDESC=")" + std::string(name) + R"("/>)", true);
}

// `xml` with `attribute` added to the first element that starts with `element`.
std::string withAttribute(std::string xml, std::string_view element, std::string_view attribute) {
    const auto at = xml.find(element);
    const auto end = xml.find_first_of(" >", at + element.size());
    return xml.insert(end, attribute);
}

class HostileInput : public ::testing::Test {
protected:
    void SetUp() override { loadPriceFixture(service); }
    void expectUntouched() {
        EXPECT_EQ(service.scalar("select count(*) from KVR_XXJ"), "5");
        EXPECT_EQ(service.scalar("select group_concat(ID||IDDESC, ',') from KVR_REGION"),
                  "01东城区,02西城区");
    }
    TestService service;
};

TEST_F(HostileInput, CharactersXmlDoesNotAllowAreClientFaultsAndNothingIsCutShort) {
    const SoapInterface& read = SoapInterface::supply();
    const SoapInterface& write = SoapInterface::apply();
    const struct {
        const char* what;
        std::string body;
    } cases[] = {
        {"a NUL reference ends the statement before its region",
         envelope(write, "ApplyVanDataByExc",
                  {{"sSQL", xmlText("delete from KVR_XXJ where PERDID='202612'") + "&#0;" +
                                xmlText(" and PLACE='东城区'")}})},
        {"a NUL reference in hexadecimal",
         envelope(write, "ApplyVanDataByExc",
                  {{"sSQL", xmlText("delete from KVR_XXJ where PERDID='202612'") + "&#x00;" +
                                xmlText(" and PLACE='东城区'")}})},
        {"a NUL reference hides a second statement",
         envelope(read, "SpplyVanDataBySQL",
                  {{"sSQL", "select 1 as A&#0;; delete from KVR_REGION"}})},
        {"a control character",
         envelope(write, "ApplyVanDataByExc",
                  {{"sSQL", xmlText("update KVR_REGION set IDDESC='a\x01' where ID='01'")}})},
        {"an overlong NUL, no UTF-8",
         envelope(write, "ApplyVanDataByExc",
                  {{"sSQL", xmlText("update KVR_REGION set IDDESC='a\xC0\x80' where ID='01'")}})},
        {"a NUL reference in a delta value",
         envelope(
             write, "ApplyVanDataBySQLupKeyChangedExc1",
             {{"sSQL", xmlText(regionParams())}, {"sDelta00", xmlText(regionDelta("ab&#0;cd"))}})},
        {"a literal opener inside an attribute hides nothing after it",
         withAttribute(envelope(write, "ApplyVanDataByExc",
                                {{"sSQL", xmlText("delete from KVR_XXJ where PERDID='202612'") +
                                              "&#0;" + xmlText(" and PLACE='东城区'")}}),
                       "<q:", R"( x="<?")")},
        {"a comment opener inside a delta's attribute hides nothing after it",
         envelope(write, "ApplyVanDataBySQLupKeyChangedExc1",
                  {{"sSQL", xmlText(regionParams())},
                   {"sDelta00", xmlText(withAttribute(regionDelta("ab&#0;cd"), "<DATAPACKET",
                                                      R"( x="<!--")"))}})},
        {"bytes that are no UTF-8 in a delta value",
         envelope(
             write, "ApplyVanDataBySQLupKeyChangedExc1",
             {{"sSQL", xmlText(regionParams())}, {"sDelta00", xmlText(regionDelta("\xFF\xFE"))}})},
    };
    for (const auto& c : cases) {
        const auto reply =
            service.post(c.body.find("Spply") != std::string::npos ? read : write, c.body);
        EXPECT_EQ(reply.status, 500) << c.what;
        try {
            SoapResponse::read(reply.body, "x");
            ADD_FAILURE() << c.what << ": no fault: " << reply.body;
        } catch (const SoapFault& f) {
            EXPECT_EQ(f.code(), "Client") << c.what;
            EXPECT_NE(f.faultString().find("XML 1.0 不允许的字符"), std::string::npos)
                << c.what << " -> " << f.faultString();
        }
    }
    expectUntouched();
    // Where a reference is plain text, and for the characters XML has, nothing is refused.
    const auto cdata = service.post(
        read, envelope(read, "SpplyVanDataBySQL",
                       {{"sSQL", "<![CDATA[select '&#0;' as A]]>&#x20;&#13;&#10;&#9;"}}));
    EXPECT_EQ(cdata.status, 200) << cdata.body;
    EXPECT_NE(SoapResponse::read(cdata.body, "SpplyVanDataBySQL").text.find(R"(A="&amp;#0;")"),
              std::string::npos);
}

TEST_F(HostileInput, NoFunctionBuildsAValuePastTheLimitIntoARow) {
    if (TestService::onPostgres())
        GTEST_SKIP() << "SQLite's limit of one value; on PostgreSQL the answer cap and the "
                        "roles' work_mem bound what a statement builds";
    const char* const builders[] = {
        "printf('%.*c',100000,'x')",
        "format('%.*c',100000,'x')",
        "printf('%.*c',2000000000,'x')",  // would run for seconds in one call
        "zeroblob(100000)",
        "replace(hex(zeroblob(30000)),'0','00')",
        "(select group_concat(hex(zeroblob(1000))) from KVR_XXJ, KVR_XXJ, KVR_REGION)",
    };
    for (const char* builder : builders) {
        const std::string sql =
            "update KVR_REGION set IDDESC=" + std::string(builder) + " where ID='01'";
        EXPECT_THROW(service.execute(sql), SoapFault) << sql;
        const std::string answer = service.query("select " + std::string(builder) + " as V");
        EXPECT_TRUE(answer.find("PRINTF") != std::string::npos ||
                    answer.find("FORMAT") != std::string::npos ||
                    answer.find("值太大") != std::string::npos)
            << builder << " -> " << answer.substr(0, 200);
    }
    expectUntouched();
}

TEST_F(HostileInput, ADeltaUnderAnotherWritersLockSaysTheDatabaseIsBusy) {
    const auto other = service.owner();
    other->exec(TestService::dialect("BEGIN IMMEDIATE",
                                     "BEGIN; LOCK TABLE KVR_REGION IN EXCLUSIVE MODE"));
    try {
        service.applyDelta(regionParams(), regionDelta("南湖区"));
        ADD_FAILURE() << "applied under another writer's lock";
    } catch (const SoapFault& f) {
        EXPECT_NE(f.faultString().find("数据库正忙，请稍后再试。"), std::string::npos)
            << f.faultString();
    }
    other->exec("ROLLBACK");
    EXPECT_EQ(service.applyDelta(regionParams(), regionDelta("南湖区")), 0);
}

// The detail of a refused answer: after how many rows reading stopped.
std::size_t rowsReadBeforeRefusal(const std::string& answer) {
    const auto end = answer.find(" 行时中止");
    if (end == std::string::npos) return 0;
    auto begin = end;
    while (begin > 0 && answer[begin - 1] >= '0' && answer[begin - 1] <= '9')
        --begin;
    return std::stoul(answer.substr(begin, end - begin));
}

TEST(AnswerCap, ARefusedAnswerStopsReadingOnceItsPacketWouldPassTheCap) {
    server::ServiceLimits limits;
    limits.maxAnswerBytes = 64 << 10;
    TestService service(limits);
    // 500 rows of 100 quotes: 50 KB as stored, 300 KB as escaped in the packet.
    const std::string answer = service.query(TestService::dialect(
        "with recursive n(i) as (select 1 union all select i+1 from n where i<500) "
        "select replace(hex(zeroblob(50)),'0','\"') as Q from n",
        "select repeat('\"', 100) as Q from generate_series(1, 500)"));
    EXPECT_NE(answer.find("查询结果太大"), std::string::npos) << answer.substr(0, 200);
    const std::size_t rows = rowsReadBeforeRefusal(answer);
    EXPECT_GT(rows, 0u) << answer;
    EXPECT_LE(rows, limits.maxAnswerBytes / 600 + 1) << answer;
}

}  // namespace
}  // namespace tarvelo::test
