#include <gtest/gtest.h>

#include <string>

#include "contract/Contract.h"
#include "contract/Wire.h"
#include "support/TestService.h"

namespace tarvelo::test {
namespace {

// A request as a peer of the published interface writes it, by hand: prefixes of its own, the
// encoding style on the envelope, a namespace declaration on the operation element.
std::string request(std::string_view ns, std::string_view operation, std::string_view params) {
    return R"(<?xml version="1.0" encoding="utf-8"?>)"
           R"(<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/")"
           R"( xmlns:xsd="http://www.w3.org/2001/XMLSchema")"
           R"( xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance")"
           R"( xmlns:enc="http://schemas.xmlsoap.org/soap/encoding/")"
           R"( s:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>)"
           "<m:" +
           std::string(operation) + " xmlns:m=\"" + std::string(ns) + "\">" + std::string(params) +
           "</m:" + std::string(operation) + "></s:Body></s:Envelope>";
}

std::string str(std::string_view name, std::string_view text) {
    return "<" + std::string(name) + " xsi:type=\"xsd:string\">" + std::string(text) + "</" +
           std::string(name) + ">";
}

// What came back, read by hand: "return TEXT" (array items separated by blanks), or
// "fault CODE: STRING", or what is wrong with the answer.
std::string answerOf(const TestService::HttpReply& reply, std::string_view operation) {
    pugi::xml_document doc;
    const auto element = wire::bodyElement(doc, reply.body);
    if (!element) return "no envelope: " + reply.body;
    const std::string envelopeNs = "{" + std::string(contract::kEnvelopeNs) + "}";
    if (wire::expanded(element) == envelopeNs + "Fault")
        return std::to_string(reply.status) + " fault " +
               std::string(wire::localOf(wire::textOf(element.child("faultcode")))) + ": " +
               wire::textOf(element.child("faultstring"));
    if (wire::localOf(element.name()) != std::string(operation) + "Response")
        return "answer element " + std::string(element.name());
    const auto result = wire::firstElement(element);
    if (!result || std::string_view(result.name()) != "return" || result.next_sibling())
        return "no single return element";
    std::string text = std::to_string(reply.status) + " return ";
    if (const auto item = wire::firstElement(result)) {
        for (auto i = item; i; i = i.next_sibling())
            text += wire::textOf(i) + " ";
        return text;
    }
    return text + wire::textOf(result);
}

std::string endpoint(const contract::Interface& side) {
    return "/soap/" + std::string(side.name);
}

// The delta of one new account, in a CDATA section as a peer may well send it.
std::string newAccount(std::string_view id, std::string_view name) {
    return R"(<sDelta00 xsi:type="xsd:string"><![CDATA[<?xml version="1.0" standalone="yes"?>)"
           R"(<DATAPACKET Version="2.0"><METADATA><FIELDS>)"
           R"(<FIELD attrname="USERID" fieldtype="string" WIDTH="32"/>)"
           R"(<FIELD attrname="USERNAME" fieldtype="string" WIDTH="32"/>)"
           R"(<FIELD attrname="DATABZ" fieldtype="string" WIDTH="2"/>)"
           R"(</FIELDS><PARAMS DATASET_DELTA="1"/></METADATA><ROWDATA>)"
           R"(<ROW RowState="4" USERID=")" +
           std::string(id) + "\" USERNAME=\"" + std::string(name) +
           R"(" DATABZ="00"/></ROWDATA></DATAPACKET>]]></sDelta00>)";
}

const std::string kUserParams = str("sSQL",
                                    "SQL00=Select 'AAA' AAA From KVR_USERH Where 1=2&#13;\n"
                                    "Key00=ResolveToSQL;upWhereChanged;USERID&#13;\n"
                                    "Inc00=&#13;\n"
                                    "Exc00=&#13;\n");

// The operations the service offers answer requests written to the published interface.
TEST(ServiceSide, TheOfferedOperationsAnswerPublishedRequests) {
    TestService service;
    service.exec("INSERT INTO KVR_REGION VALUES ('01','东城区')");
    const std::string array = R"(<daValue xsi:type="enc:Array" enc:arrayType="xsd:double[2]">)"
                              R"(<item xsi:type="xsd:double">1.5</item>)"
                              R"(<item xsi:type="xsd:double">-2</item></daValue>)";
    const std::string dValue = R"(<dValue xsi:type="xsd:double">2.5</dValue>)";
    const struct {
        const contract::Interface* side;
        std::string_view operation;
        std::string params;
        std::string answer;  // the start of answerOf()
    } cases[] = {
        {&contract::kSpply, "EnVerifs", str("Src", "cGFzcw=="), "200 return "},
        {&contract::kSpply, "SpplyVanDataBySQL", str("sSQL", "select IDDESC from KVR_REGION"),
         "200 return <?xml"},
        {&contract::kSpply, "echoDouble", dValue, "200 return 2.5"},
        {&contract::kSpply, "echoDoubleArray", array, "200 return 1.5 -2 "},
        {&contract::kApply, "ApplyVanDataByExc",
         str("sSQL", "DELETE FROM KVR_REGION WHERE ID='01'"), "200 return 1"},
        {&contract::kApply, "ApplyVanDataBySQLupKeyChangedExc1",
         kUserParams + newAccount("cai", "蔡"), "200 return 0"},
        {&contract::kApply, "echoDouble", dValue, "200 return 2.5"},
        {&contract::kApply, "echoDoubleArray", array, "200 return 1.5 -2 "},
    };
    // As the administrator's tool sends them: the statements are the test's own.
    for (const auto& c : cases) {
        const auto reply =
            service.post(endpoint(*c.side), request(c.side->ns, c.operation, c.params),
                         TestService::administrator());
        const std::string answer = answerOf(reply, c.operation);
        EXPECT_EQ(answer.substr(0, c.answer.size()), c.answer)
            << c.side->name << "." << c.operation << " -> " << answer;
    }
    EXPECT_EQ(service.scalar("select count(*) from KVR_REGION"), "0");
    EXPECT_EQ(service.scalar("select USERNAME from KVR_USERH where USERID='cai'"), "蔡");
}

// A double array as a gSOAP client writes it, the envelope byte for byte: the empty array bare
// (no type, no length, no items), a full one typed and with its length.
TEST(ServiceSide, ArraysAsAGsoapClientWritesThemAreEchoed) {
    TestService service;
    const auto envelope = [](std::string_view daValue) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<SOAP-ENV:Envelope"
               " xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\""
               " xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\""
               " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
               " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
               " xmlns:ns1=\"urn:VRDS_IIS_WebSCoorSpplyIsapi-IVRDS_IIS_WebSCoorSpplyIsapi\">"
               "<SOAP-ENV:Body"
               " SOAP-ENV:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">"
               "<ns1:echoDoubleArray>" +
               std::string(daValue) +
               "</ns1:echoDoubleArray></SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
    };
    const TestService::Headers headers = {
        {"Content-Type", "text/xml; charset=utf-8"},
        {"SOAPAction",
         "\"urn:VRDS_IIS_WebSCoorSpplyIsapi-IVRDS_IIS_WebSCoorSpplyIsapi#echoDoubleArray\""}};
    const struct {
        std::string daValue;
        std::string answer;  // the return element, rendered
    } cases[] = {
        {"<daValue></daValue>",
         "{}return {http://schemas.xmlsoap.org/soap/encoding/}Array"
         " {http://www.w3.org/2001/XMLSchema}double[0] [ ]"},
        {"<daValue/>",
         "{}return {http://schemas.xmlsoap.org/soap/encoding/}Array"
         " {http://www.w3.org/2001/XMLSchema}double[0] [ ]"},
        {"<daValue xsi:type=\"SOAP-ENC:Array\" SOAP-ENC:arrayType=\"xsd:double[2]\">"
         "<item>0.5</item><item>-1E3</item></daValue>",
         "{}return {http://schemas.xmlsoap.org/soap/encoding/}Array"
         " {http://www.w3.org/2001/XMLSchema}double[2] ["
         " {http://www.w3.org/2001/XMLSchema}double 0.5"
         " {http://www.w3.org/2001/XMLSchema}double -1000 ]"},
    };
    for (const auto& c : cases) {
        const auto reply =
            service.post("/soap/IVRDS_IIS_WebSCoorSpplyIsapi", envelope(c.daValue), headers);
        pugi::xml_document doc;
        const auto answer = wire::bodyElement(doc, reply.body);
        EXPECT_EQ(reply.status, 200) << c.daValue << " -> " << reply.body;
        EXPECT_EQ(wire::render(answer),
                  "{urn:VRDS_IIS_WebSCoorSpplyIsapi-IVRDS_IIS_WebSCoorSpplyIsapi}"
                  "echoDoubleArrayResponse\n"
                  "encodingStyle http://schemas.xmlsoap.org/soap/encoding/\n" +
                      c.answer + "\n")
            << c.daValue;
    }
}

// Parameters are known by their published names: a request with the two of the delta call in
// the wrong order is either refused or read by name (the parameter text is never taken for the
// packet), and one without "sDelta00" is refused as lacking it.
TEST(ServiceSide, TheDeltaCallTakesItsParametersByTheirPublishedNames) {
    TestService service;
    const auto post = [&](const std::string& params) {
        return answerOf(
            service.post(endpoint(contract::kApply),
                         request(contract::kApply.ns, "ApplyVanDataBySQLupKeyChangedExc1", params)),
            "ApplyVanDataBySQLupKeyChangedExc1");
    };
    const std::string swapped = post(newAccount("dai", "戴") + kUserParams);
    if (swapped.starts_with("500 fault")) {
        EXPECT_EQ(service.scalar("select count(*) from KVR_USERH where USERID='dai'"), "0");
    } else {
        EXPECT_EQ(swapped, "200 return 0");
        EXPECT_EQ(service.scalar("select USERNAME from KVR_USERH where USERID='dai'"), "戴");
    }

    std::string unnamed = newAccount("eve", "伊");
    unnamed.replace(unnamed.find("sDelta00"), 8, "sDelta");
    unnamed.replace(unnamed.rfind("sDelta00"), 8, "sDelta");
    const std::string refused = post(kUserParams + unnamed);
    EXPECT_TRUE(refused.starts_with("500 fault Client: ")) << refused;
    EXPECT_NE(refused.find("sDelta00"), std::string::npos) << refused;
    EXPECT_EQ(service.scalar("select count(*) from KVR_USERH where USERID='eve'"), "0");
}

// Every declared operation is known to the service by its published name and parameter names,
// in its interface's namespace: it answers or says it does not offer it, never that the
// operation or a parameter is unknown.
TEST(ServiceSide, EveryPublishedOperationIsKnownByItsPublishedNames) {
    TestService service;
    for (const contract::Interface* side : {&contract::kSpply, &contract::kApply}) {
        for (const auto& op : side->operations) {
            std::string params;
            for (const auto& p : op.params) {
                const std::string name(p.name);
                if (p.type == contract::kDouble)
                    params += "<" + name + " xsi:type=\"xsd:double\">1</" + name + ">";
                else if (p.type == contract::kDoubleArray)
                    params += "<" + name +
                              R"( xsi:type="enc:Array" enc:arrayType="xsd:double[1]">)" +
                              R"(<item xsi:type="xsd:double">1</item></)" + name + ">";
                else
                    params += str(name, "x");
            }
            const std::string answer = answerOf(
                service.post(endpoint(*side), request(side->ns, op.name, params)), op.name);
            for (const char* misunderstood : {"缺少参数", "没有操作", "命名空间", "不是 SOAP"})
                EXPECT_EQ(answer.find(misunderstood), std::string::npos)
                    << side->name << "." << op.name << " -> " << answer;
            EXPECT_TRUE(answer.starts_with("200 return") || answer.starts_with("500 fault"))
                << side->name << "." << op.name << " -> " << answer;
        }
    }
}

}  // namespace
}  // namespace tarvelo::test
