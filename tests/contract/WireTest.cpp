#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "contract/Contract.h"
#include "contract/Wire.h"
#include "service/IVRDS_IIS_WebSCoorApplyIsapi.h"
#include "service/IVRDS_IIS_WebSCoorSpplyIsapi.h"
#include "service/ServiceConfig.h"
#include "service/SoapClient.h"
#include "soap/SoapValue.h"
#include "support/RawHttpListener.h"

namespace tarvelo::test {
namespace {

// The string arguments of a call, by position: "a0¥", "a1¥", ... The yen sign is outside code
// page 936, so a narrow parameter arrives as "a0?" and a wide one as "a0¥": the two kinds of
// string, alike as xsd:string, tell themselves apart on the wire.
using Args = std::vector<std::string>;

template <class Unit>
using Calls =
    std::vector<std::pair<std::string_view, std::function<SoapValue(Unit&, const Args&)>>>;

using Spply = IVRDS_IIS_WebSCoorSpplyIsapi;
using Apply = IVRDS_IIS_WebSCoorApplyIsapi;

// Every operation as the program calls it: through the interface unit, arguments in the order
// of the unit's own declaration.
const Calls<Spply> kSpplyCalls = {
    {"EnVerifs", [](Spply& i, const Args& a) -> SoapValue { return i.EnVerifs(a[0]); }},
    {"DeVerifs", [](Spply& i, const Args& a) -> SoapValue { return i.DeVerifs(a[0]); }},
    {"SpplyVanDataBySQL",
     [](Spply& i, const Args& a) -> SoapValue { return i.SpplyVanDataBySQL(a[0]); }},
    {"SpplyVanDataBySQLs",
     [](Spply& i, const Args& a) -> SoapValue { return i.SpplyVanDataBySQLs(a[0]); }},
    {"SpplyVrdDataBySQL",
     [](Spply& i, const Args& a) -> SoapValue { return i.SpplyVrdDataBySQL(a[0]); }},
    {"SpplyJpgByEncoded",
     [](Spply& i, const Args& a) -> SoapValue { return i.SpplyJpgByEncoded(a[0]); }},
    {"GetFileByEncoded",
     [](Spply& i, const Args& a) -> SoapValue { return i.GetFileByEncoded(a[0]); }},
    {"PutFileByDecoded",
     [](Spply& i, const Args& a) -> SoapValue { return i.PutFileByDecoded(a[0], a[1]); }},
    {"GetFileByEnCompressed",
     [](Spply& i, const Args& a) -> SoapValue { return i.GetFileByEnCompressed(a[0]); }},
    {"PutFileByDeCompressed",
     [](Spply& i, const Args& a) -> SoapValue { return i.PutFileByDeCompressed(a[0], a[1]); }},
    {"SpplyJpgFileLists",
     [](Spply& i, const Args& a) -> SoapValue { return i.SpplyJpgFileLists(a[0]); }},
    {"SetupGoing", [](Spply& i, const Args& a) -> SoapValue { return i.SetupGoing(a[0], a[1]); }},
    {"GetFileExtLists",
     [](Spply& i, const Args& a) -> SoapValue { return i.GetFileExtLists(a[0]); }},
    {"ExistsFileName", [](Spply& i, const Args& a) -> SoapValue { return i.ExistsFileName(a[0]); }},
    {"GetExtFileTXTs",
     [](Spply& i, const Args& a) -> SoapValue { return i.GetExtFileTXTs(a[0], a[1]); }},
    {"GetExtFileXMLs",
     [](Spply& i, const Args& a) -> SoapValue { return i.GetExtFileXMLs(a[0], a[1]); }},
    {"ExistsFilePath", [](Spply& i, const Args& a) -> SoapValue { return i.ExistsFilePath(a[0]); }},
    {"CreateFilePath", [](Spply& i, const Args& a) -> SoapValue { return i.CreateFilePath(a[0]); }},
    {"ApplyVanDataBySQL",
     [](Spply& i, const Args& a) -> SoapValue { return i.ApplyVanDataBySQL(a[0], a[1]); }},
    {"ApplyVanDataBySQLupKeyChanged",
     [](Spply& i, const Args& a) -> SoapValue {
         return i.ApplyVanDataBySQLupKeyChanged(a[0], a[1], a[2]);
     }},
    {"ApplyVrdDataBySQLupKeyChanged",
     [](Spply& i, const Args& a) -> SoapValue {
         return i.ApplyVrdDataBySQLupKeyChanged(a[0], a[1], a[2]);
     }},
    {"echoDoubleArray",
     [](Spply& i, const Args&) -> SoapValue {
         return i.echoDoubleArray({1.5, -2});
     }},
    {"echoDouble", [](Spply& i, const Args&) -> SoapValue { return i.echoDouble(0.5); }},
};

const Calls<Apply> kApplyCalls = {
    {"SpplyVanDataBySQL",
     [](Apply& i, const Args& a) -> SoapValue { return i.SpplyVanDataBySQL(a[0]); }},
    {"SpplyVrdDataBySQL",
     [](Apply& i, const Args& a) -> SoapValue { return i.SpplyVrdDataBySQL(a[0]); }},
    {"SpplyVanGuids", [](Apply& i, const Args&) -> SoapValue { return i.SpplyVanGuids(); }},
    {"SpplyVanSequences",
     [](Apply& i, const Args& a) -> SoapValue { return i.SpplyVanSequences(a[0]); }},
    {"ApplyVanDataByExc",
     [](Apply& i, const Args& a) -> SoapValue { return i.ApplyVanDataByExc(a[0]); }},
    {"ApplyVanDataByExcExp",
     [](Apply& i, const Args& a) -> SoapValue { return i.ApplyVanDataByExcExp(a[0]); }},
    {"ApplyVanDataBySQL",
     [](Apply& i, const Args& a) -> SoapValue { return i.ApplyVanDataBySQL(a[0], a[1]); }},
    {"ApplyVrdDataBySQL",
     [](Apply& i, const Args& a) -> SoapValue { return i.ApplyVrdDataBySQL(a[0], a[1]); }},
    {"ApplyVanDataBySQLupKeyChanged",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVanDataBySQLupKeyChanged(a[0], a[1], a[2]);
     }},
    {"ApplyVrdDataBySQLupKeyChanged",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVrdDataBySQLupKeyChanged(a[0], a[1], a[2]);
     }},
    {"ApplyVanDataBySQLupKeyChangedExc",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVanDataBySQLupKeyChangedExc(a[0], a[1]);
     }},
    {"ApplyVrdDataBySQLupKeyChangedExc",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVrdDataBySQLupKeyChangedExc(a[0], a[1]);
     }},
    {"ApplyVanDataBySQLupKeyChangedEx",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVanDataBySQLupKeyChangedEx(a[0], a[1], a[2], a[3], a[4], a[5]);
     }},
    {"ApplyVrdDataBySQLupKeyChangedEx",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVrdDataBySQLupKeyChangedEx(a[0], a[1], a[2], a[3], a[4], a[5]);
     }},
    {"ApplyVanDataBySQLupKeyChangedExs",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVanDataBySQLupKeyChangedExs(
             a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11], a[12], a[13],
             a[14], a[15], a[16], a[17], a[18], a[19], a[20], a[21], a[22], a[23], a[24], a[25],
             a[26], a[27], a[28], a[29]);
     }},
    {"ApplyVrdDataBySQLupKeyChangedExs",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVrdDataBySQLupKeyChangedExs(
             a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11], a[12], a[13],
             a[14], a[15], a[16], a[17], a[18], a[19], a[20], a[21], a[22], a[23], a[24], a[25],
             a[26], a[27], a[28], a[29]);
     }},
    {"ApplyVanDataBySQLupKeyChangedExcs",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVanDataBySQLupKeyChangedExcs(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7],
                                                    a[8], a[9], a[10]);
     }},
    {"ApplyVrdDataBySQLupKeyChangedExcs",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVrdDataBySQLupKeyChangedExcs(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7],
                                                    a[8], a[9], a[10]);
     }},
    {"ApplyVanDataBySQLupKeyChangedExcA",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVanDataBySQLupKeyChangedExcA(a[0], a[1]);
     }},
    {"ApplyVanDataBySQLupKeyChangedExc1",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVanDataBySQLupKeyChangedExc1(a[0], a[1]);
     }},
    {"ApplyVanDataBySQLupKeyChangedKey1",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVanDataBySQLupKeyChangedKey1(a[0], a[1], a[2]);
     }},
    {"ApplyVanChangedExc1",
     [](Apply& i, const Args& a) -> SoapValue { return i.ApplyVanChangedExc1(a[0], a[1]); }},
    {"ApplyVrdDataBySQLupKeyChangedExcA",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVrdDataBySQLupKeyChangedExcA(a[0], a[1]);
     }},
    {"ApplyVrdDataBySQLupKeyChangedExc1",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVrdDataBySQLupKeyChangedExc1(a[0], a[1]);
     }},
    {"ApplyVrdDataBySQLupKeyChangedKey1",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVrdDataBySQLupKeyChangedKey1(a[0], a[1]);
     }},
    {"ApplyB64DataBySQLupKeyChangedExc1",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyB64DataBySQLupKeyChangedExc1(a[0], a[1]);
     }},
    {"ApplyVanDataBySQLupKeyChangedExc2",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVanDataBySQLupKeyChangedExc2(a[0], a[1], a[2]);
     }},
    {"ApplyVrdDataBySQLupKeyChangedExc2",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVrdDataBySQLupKeyChangedExc2(a[0], a[1], a[2]);
     }},
    {"ApplyVanDataBySQLupKeyChangedExc3",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVanDataBySQLupKeyChangedExc3(a[0], a[1], a[2], a[3]);
     }},
    {"ApplyVrdDataBySQLupKeyChangedExc3",
     [](Apply& i, const Args& a) -> SoapValue {
         return i.ApplyVrdDataBySQLupKeyChangedExc3(a[0], a[1], a[2], a[3]);
     }},
    {"echoDoubleArray",
     [](Apply& i, const Args&) -> SoapValue {
         return i.echoDoubleArray({1.5, -2});
     }},
    {"echoDouble", [](Apply& i, const Args&) -> SoapValue { return i.echoDouble(0.5); }},
};

// What the operation element of a request must read (see wire::render), from the published
// declaration and the arguments the calls above pass.
std::string expectedRequest(const contract::Interface& side, const contract::Operation& op) {
    const std::string xsd = "{" + std::string(contract::kXsdNs) + "}";
    std::string out = "{" + std::string(side.ns) + "}" + std::string(op.name) + "\nencodingStyle " +
                      std::string(contract::kEncodingNs) + "\n";
    for (std::size_t k = 0; k < op.params.size(); ++k) {
        const auto& p = op.params[k];
        out += "{}" + std::string(p.name) + " ";
        if (p.type == contract::kString)
            out += xsd + "string \"a" + std::to_string(k) + "?\"";
        else if (p.type == contract::kWide)
            out += xsd + "string \"a" + std::to_string(k) + "¥\"";
        else if (p.type == contract::kDouble)
            out += xsd + "double \"0.5\"";
        else if (p.type == contract::kDoubleArray)
            out += "{" + std::string(contract::kEncodingNs) + "}Array " + xsd + "double[2] [ " +
                   xsd + "double 1.5 " + xsd + "double -2 ]";
        else
            out += "<no such type in the contract: " + std::string(p.type) + ">";
        out += "\n";
    }
    return out;
}

// The answer of the operation, written by hand, and what the call must make of it: narrow text
// loses the yen sign on its way back, wide text keeps it.
std::pair<std::string, SoapValue> answerFor(const contract::Operation& op) {
    std::string value;
    SoapValue expected;
    if (op.result == contract::kString) {
        value = R"(<return xsi:type="xsd:string">r¥</return>)";
        expected = std::string("r?");
    } else if (op.result == contract::kWide) {
        value = R"(<return xsi:type="xsd:string">r¥</return>)";
        expected = std::string("r¥");
    } else if (op.result == contract::kInt) {
        value = R"(<return xsi:type="xsd:int">-3</return>)";
        expected = std::int32_t{-3};
    } else if (op.result == contract::kDouble) {
        value = R"(<return xsi:type="xsd:double">0.25</return>)";
        expected = 0.25;
    } else {
        value = R"(<return xsi:type="SOAP-ENC:Array" SOAP-ENC:arrayType="xsd:double[2]">)"
                R"(<item xsi:type="xsd:double">1.5</item><item xsi:type="xsd:double">-2</item>)"
                R"(</return>)";
        expected = std::vector<double>{1.5, -2};
    }
    const std::string envelope =
        R"(<?xml version="1.0" encoding="utf-8"?>)"
        R"(<env:Envelope xmlns:env="http://schemas.xmlsoap.org/soap/envelope/")"
        R"( xmlns:xsd="http://www.w3.org/2001/XMLSchema")"
        R"( xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance")"
        R"( xmlns:SOAP-ENC="http://schemas.xmlsoap.org/soap/encoding/"><env:Body>)"
        "<r:" +
        std::string(op.name) + "Response xmlns:r=\"urn:any\">" + value +
        "</r:" + std::string(op.name) + "Response></env:Body></env:Envelope>";
    return {envelope, expected};
}

std::string describe(const SoapValue& v) {
    static const char* const kinds[] = {"text ", "int ", "double ", "double array of "};
    std::string out = kinds[v.index()];
    if (const auto* s = std::get_if<std::string>(&v)) return out + "\"" + *s + "\"";
    if (const auto* i = std::get_if<std::int32_t>(&v)) return out + std::to_string(*i);
    if (const auto* d = std::get_if<double>(&v)) return out + soapDoubleText(*d);
    for (double d : std::get<std::vector<double>>(v))
        out += soapDoubleText(d) + " ";
    return out;
}

// Calls every published operation of `side` through its interface unit against a listener that
// records the request and answers as the service would, and checks both directions.
template <class Unit>
void checkEveryOperation(const contract::Interface& side, const SoapInterface& code,
                         const Calls<Unit>& calls) {
    EXPECT_EQ(calls.size(), side.operations.size());
    for (const auto& op : side.operations) {
        SCOPED_TRACE(std::string(side.name) + "." + std::string(op.name));
        const auto call = std::find_if(calls.begin(), calls.end(),
                                       [&](const auto& c) { return c.first == op.name; });
        if (call == calls.end()) {
            ADD_FAILURE() << "the interface unit has no call for this operation";
            continue;
        }
        const auto [answer, expectedResult] = answerFor(op);
        RawHttpListener listener(200, answer, "text/xml; charset=utf-8");
        SoapClient rio(code, listener.base() + "/soap/" + std::string(side.name),
                       ServiceConfig::forService(listener.base()));
        Unit unit(rio);
        Args args;
        for (int k = 0; k < 30; ++k)
            args.push_back("a" + std::to_string(k) + "¥");
        SoapValue result;
        try {
            result = call->second(unit, args);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "the call failed: " << e.what();
        }
        EXPECT_EQ(describe(result), describe(expectedResult));

        ASSERT_EQ(listener.requests().size(), 1u);
        const wire::HttpRequest request = wire::parseRequest(listener.requests()[0]);
        EXPECT_EQ(request.header("soapaction"),
                  "\"" + std::string(side.ns) + "#" + std::string(op.name) + "\"");
        EXPECT_EQ(request.header("content-type"), contract::kContentType);
        EXPECT_EQ(request.header("user-agent"), contract::kUserAgent);
        pugi::xml_document doc;
        const pugi::xml_node element = wire::bodyElement(doc, request.body);
        ASSERT_TRUE(element) << request.body;
        EXPECT_EQ(wire::render(element), expectedRequest(side, op));
    }
}

TEST(Wire, EveryReadSideOperationTravelsAsPublished) {
    checkEveryOperation(contract::kSpply, SoapInterface::supply(), kSpplyCalls);
}

TEST(Wire, EveryWriteSideOperationTravelsAsPublished) {
    checkEveryOperation(contract::kApply, SoapInterface::apply(), kApplyCalls);
}

}  // namespace
}  // namespace tarvelo::test
