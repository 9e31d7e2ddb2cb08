#include <gtest/gtest.h>

#include <cmath>

#include "soap/SoapFault.h"
#include "soap/SoapRequest.h"
#include "soap/SoapResponse.h"
#include "soap/SoapResponseStream.h"
#include "text/Error.h"

namespace tarvelo {
namespace {

constexpr std::string_view kSpply = "urn:VRDS_IIS_WebSCoorSpplyIsapi-IVRDS_IIS_WebSCoorSpplyIsapi";

TEST(SoapRequest, WireFormOfAStatement) {
    const SoapRequest::Argument args[] = {{"sSQL", std::string("select 1\r\n")}};
    EXPECT_EQ(
        SoapRequest::write(kSpply, "SpplyVanDataBySQL", args),
        R"(<?xml version="1.0" encoding="utf-8"?>)"
        R"(<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/")"
        R"( xmlns:xsd="http://www.w3.org/2001/XMLSchema")"
        R"( xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance")"
        R"( xmlns:SOAP-ENC="http://schemas.xmlsoap.org/soap/encoding/">)"
        R"(<SOAP-ENV:Body SOAP-ENV:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/">)"
        R"(<NS1:SpplyVanDataBySQL xmlns:NS1="urn:VRDS_IIS_WebSCoorSpplyIsapi-IVRDS_IIS_WebSCoorSpplyIsapi">)"
        "<sSQL xsi:type=\"xsd:string\">select 1&#13;\n</sSQL>"
        "</NS1:SpplyVanDataBySQL></SOAP-ENV:Body></SOAP-ENV:Envelope>");
}

TEST(SoapRequest, EveryTypeAndAwkwardTextRoundTrips) {
    const std::string sql = " SELECT * FROM KVR_XXJ \r\n where PLACE='杭州<市>&'\r\n";
    const SoapRequest::Argument args[] = {
        {"sSQL", sql},
        {"sBlank", std::string("  \r\n ")},
        {"sEmpty", std::string()},
        {"iCount", std::int32_t{-7}},
        {"dValue", 0.1},
        {"aValues", std::vector<double>{1.5, -2, 1e300}},
        {"aNone", std::vector<double>{}},
    };
    const SoapRequest r = SoapRequest::read(SoapRequest::write(kSpply, "Op", args));
    EXPECT_EQ(r.ns, kSpply);
    EXPECT_EQ(r.operation, "Op");
    ASSERT_EQ(r.params.size(), 7u);
    EXPECT_EQ(r.params[0].text, sql);
    EXPECT_EQ(r.find("sBlank")->text, "  \r\n ");
    EXPECT_EQ(r.find("sEmpty")->text, "");
    EXPECT_EQ(soapInt(r.find("iCount")->text, "iCount"), -7);
    EXPECT_EQ(soapDouble(r.find("dValue")->text, "dValue"), 0.1);
    EXPECT_TRUE(r.find("aValues")->isArray);
    EXPECT_EQ(r.find("aValues")->items, (std::vector<std::string>{"1.5", "-2", "1e+300"}));
    EXPECT_EQ(r.find("aValues")->doubles(), (std::vector<double>{1.5, -2, 1e300}));
    EXPECT_TRUE(r.find("aNone")->isArray);
    EXPECT_TRUE(r.find("aNone")->items.empty());
    EXPECT_TRUE(r.find("aNone")->doubles().empty());
    EXPECT_EQ(r.find("missing"), nullptr);
    const std::string oddNs = R"(urn:a"b&c<d>)";
    EXPECT_EQ(SoapRequest::read(SoapRequest::write(oddNs, "Op", args)).ns, oddNs);
}

// XML cannot carry NUL, most control characters, non-UTF-8 bytes or U+FFFF: each becomes "?",
// and whatever the text, the envelope stays well-formed (a stored value or an echoed request
// holding a NUL once broke the service's answer).
TEST(SoapRequest, WhatXmlCannotCarryBecomesAQuestionMark) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {std::string("a\0b", 3), "a?b"},
        {"\x01\x08\x0B\x0C\x1F\t\n", "?????\t\n"},
        {"\xFF\xC0\x80z", "???z"},                      // no UTF-8; an overlong form
        {"\xED\xA0\x80", "???"},                        // a surrogate
        {"\xEF\xBF\xBF\xEF\xBF\xBD", "?\xEF\xBF\xBD"},  // U+FFFF; U+FFFD stays
        {"钢筋😀\xE9\x92", "钢筋😀??"},                   // a sequence cut off at the end
    };
    for (const auto& c : cases) {
        const SoapRequest::Argument args[] = {{"sSQL", c.in}};
        EXPECT_EQ(SoapRequest::read(SoapRequest::write(kSpply, "Op", args)).params[0].text, c.out);
        EXPECT_EQ(SoapResponse::read(SoapResponse::write(kSpply, "Op", c.in), "Op").text, c.out);
        try {
            SoapResponse::read(SoapResponse::writeFault("Client", c.in), "Op");
            ADD_FAILURE();
        } catch (const SoapFault& f) {
            EXPECT_EQ(f.faultString(), c.out);
        }
    }
}

TEST(SoapRequest, ReadsWhateverPrefixesAPeerUses) {
    const std::string text =
        "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">\n"
        "  <soap:Header/>\n"
        "  <soap:Body>\n"
        "    <EnVerifs xmlns=\"" +
        std::string(kSpply) +
        "\">\n"
        "      <Src>YWJj\r\nZGVm</Src>\n"
        "      <Other><![CDATA[a<b]]>&amp;c</Other>\n"
        "    </EnVerifs>\n"
        "  </soap:Body>\n"
        "</soap:Envelope>";
    const SoapRequest r = SoapRequest::read(text);
    EXPECT_EQ(r.ns, kSpply);
    EXPECT_EQ(r.operation, "EnVerifs");
    EXPECT_EQ(r.find("Src")->text, "YWJj\r\nZGVm");  // raw CR LF kept as sent
    EXPECT_EQ(r.find("Other")->text, "a<b&c");
}

TEST(SoapRequest, RefusesWhatIsNotASoap11Request) {
    const char* cases[] = {
        "",
        "出错",
        "<Envelope/>",
        R"(<e:Envelope xmlns:e="http://www.w3.org/2003/05/soap-envelope"><e:Body><x/></e:Body></e:Envelope>)",
        R"(<e:Envelope xmlns:e="http://schemas.xmlsoap.org/soap/envelope/"><e:Body/></e:Envelope>)",
        R"(<e:Envelope xmlns:e="http://schemas.xmlsoap.org/soap/envelope/"><e:Header/></e:Envelope>)",
        R"(<e:Envelope xmlns:e="http://schemas.xmlsoap.org/soap/envelope/"><e:Body><x>)",
    };
    for (const char* text : cases) {
        try {
            SoapRequest::read(text);
            ADD_FAILURE() << "accepted " << text;
        } catch (const Error& e) {
            EXPECT_NE(e.message().find("不是 SOAP 1.1 信封"), std::string::npos) << e.what();
        }
    }
}

// A double array is read only as SOAP encoding writes one: the item type and the length declared
// in SOAP-ENC:arrayType, under whatever prefixes, and nothing but the items.
TEST(SoapParam, DoubleArraysAreReadStrictly) {
    const std::string enc = R"( xmlns:enc="http://schemas.xmlsoap.org/soap/encoding/")";
    const std::string xsd = R"( xmlns:x="http://www.w3.org/2001/XMLSchema")";
    const auto array = [&](std::string_view type, std::string_view content) {
        return "<a" + enc + xsd + " enc:arrayType=\"" + std::string(type) + "\">" +
               std::string(content) + "</a>";
    };
    const struct {
        std::string param;
        std::vector<double> values;  // when read
        const char* refusal;         // when refused: a part of the message
    } cases[] = {
        {array("x:double[2]", "<item>1.5</item> <item>-2</item>"), {1.5, -2}, nullptr},
        {array("x:double[2]", "<v>1</v><w> 2 </w>"), {1, 2}, nullptr},  // items may take any name
        {array("x:double[0]", " \r\n "), {}, nullptr},
        {array("x:double[]", "<item>3</item>"), {3}, nullptr},  // the length left to the items
        {"<a" + enc +
             " enc:arrayType=\"double[1]\" xmlns=\"http://www.w3.org/2001/XMLSchema\">"
             "<item>4</item></a>",
         {4},
         nullptr},  // the type in the default namespace
        {"<a><item>1</item><item>2</item></a>", {}, "缺少 SOAP-ENC:arrayType"},
        {"<a>1.5</a>", {}, "缺少 SOAP-ENC:arrayType"},
        // An empty array may come bare, as some peers write one; typed otherwise, it is refused.
        {"<a/>", {}, nullptr},
        {"<a></a>", {}, nullptr},
        {"<a> \r\n\t</a>", {}, nullptr},
        {R"(<a xmlns:i="http://www.w3.org/2001/XMLSchema-instance" i:type="e:Array"/>)",
         {},
         nullptr},
        {R"(<a xmlns:i="http://www.w3.org/2001/XMLSchema-instance" i:type="x:double"/>)",
         {},
         "缺少 SOAP-ENC:arrayType"},
        {"<a><!-- nothing --></a>", {}, nullptr},
        {"<a><item/></a>", {}, "缺少 SOAP-ENC:arrayType"},
        {"<a>0</a>", {}, "缺少 SOAP-ENC:arrayType"},
        {R"(<a xmlns:e="urn:other" e:arrayType="x:double[1]"><item>1</item></a>)",
         {},
         "缺少 SOAP-ENC:arrayType"},
        {array("x:double[2]", ""), {}, "声明了 2 项，实际收到 0 项"},
        {array("x:double[2]", "1.5 2.5"), {}, "声明了 2 项，实际收到 0 项"},
        {array("x:double[3]", "<item>1</item><item>2</item>"), {}, "声明了 3 项，实际收到 2 项"},
        {array("x:double[0]", "1.5"), {}, "项目之外还有文本"},
        {array("x:double[1]", "<item>1</item>2"), {}, "项目之外还有文本"},
        {array("x:string[1]", "<item>1</item>"), {}, "xsd:double"},
        {array("y:double[1]", "<item>1</item>"), {}, "xsd:double"},  // y is bound to nothing
        {array("x:double[][1]", "<item>1</item>"), {}, "xsd:double"},
        {array("x:double[1,1]", "<item>1</item>"), {}, "一维"},
        {array("x:double[-1]", ""), {}, "一维"},
        {array("x:double", "<item>1</item>"), {}, "类型[长度]"},
        {array("x:double[2]", "<item>1</item><item>abc</item>"), {}, "第 2 项"},
        {array("x:double[1]", "<item><b>1</b></item>"), {}, "第 1 项"},
    };
    for (const auto& c : cases) {
        const std::string text =
            "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/"
            "envelope/\"><soap:Body><Op>" +
            c.param + "</Op></soap:Body></soap:Envelope>";
        const SoapParam p = SoapRequest::read(text).params.at(0);
        try {
            EXPECT_EQ(p.doubles(), c.values) << c.param;
            EXPECT_EQ(c.refusal, nullptr) << "read " << c.param;
        } catch (const Error& e) {
            ASSERT_NE(c.refusal, nullptr) << c.param << " -> " << e.what();
            EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos)
                << c.param << " -> " << e.what();
            EXPECT_NE(e.message().find("参数“a”"), std::string::npos) << e.what();
        }
    }
}

TEST(SoapResponse, ReturnsAndFaults) {
    const std::string packet =
        R"(  <?xml version="1.0" standalone="yes"?><DATAPACKET Version="2.0"/>)";
    EXPECT_EQ(SoapResponse::read(SoapResponse::write(kSpply, "SpplyVanDataBySQL", packet),
                                 "SpplyVanDataBySQL")
                  .text,
              packet);
    EXPECT_EQ(SoapResponse::read(SoapResponse::write(kSpply, "ApplyVanDataByExc", std::int32_t{3}),
                                 "ApplyVanDataByExc")
                  .text,
              "3");
    EXPECT_THROW(SoapResponse::read(SoapResponse::write(kSpply, "EnVerifs", std::string("x")),
                                    "SpplyVanDataBySQL"),
                 Error);
    try {
        SoapResponse::read(SoapResponse::writeFault("Server", "语句被拒绝：不能修改 KVR_USERH"),
                           "EnVerifs");
        ADD_FAILURE() << "a fault was taken for an answer";
    } catch (const SoapFault& f) {
        EXPECT_EQ(f.code(), "Server");
        EXPECT_EQ(f.faultString(), "语句被拒绝：不能修改 KVR_USERH");
        EXPECT_NE(std::string(f.what()).find("语句被拒绝"), std::string::npos);
    }
}

// Reads an answer through the stream in pieces of `step` bytes (0: whole); the text it gave, or
// "fault: " / "error: " and what was raised.
std::string streamed(std::string_view envelope, std::size_t step) {
    std::string text;
    try {
        SoapResponseStream stream("SpplyVanDataBySQL",
                                  [&](std::string_view piece) { text += piece; });
        for (std::size_t at = 0; at < envelope.size(); at += step ? step : envelope.size())
            stream.feed(envelope.substr(at, step ? step : envelope.size()));
        stream.finish();
        return text;
    } catch (const SoapFault& f) {
        return "fault: " + f.code() + " " + f.faultString();
    } catch (const Error& e) {
        return std::string("error: ") + e.message();
    }
}

TEST(SoapResponseStream, GivesTheReturnTextByteForByteWhereverTheBytesAreCut) {
    const std::string value =
        "  <?xml version=\"1.0\"?><DATAPACKET A=\"&amp;&lt;&quot;\"/>\r\n钢筋\r"
        "\n]]> \t ¥\n";
    const std::string peer =  // another stack's prefixes, CDATA, raw CR LF and a header
        "<?xml version=\"1.0\"?><e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\">"
        "<e:Header><x/></e:Header><e:Body><m:SpplyVanDataBySQLResponse xmlns:m=\"urn:x\">"
        "<return>a\r\nb<![CDATA[<c>\r\n]]>&#13;d&#x4E2D;</return><return>second</return>"
        "</m:SpplyVanDataBySQLResponse></e:Body></e:Envelope>";
    const struct {
        std::string envelope;
        std::string expected;
    } cases[] = {
        {SoapResponse::write(kSpply, "SpplyVanDataBySQL", value), value},
        {SoapResponse::write(kSpply, "SpplyVanDataBySQL", std::string()), ""},
        {peer, "a\r\nb<c>\r\n\rd中"},
        {SoapResponse::writeFault("Server", "语句被拒绝"), "fault: Server 语句被拒绝"},
        {SoapResponse::write(kSpply, "EnVerifs", std::string("x")),
         "error: 服务的应答不是 SpplyVanDataBySQLResponse：“<?xml"},
        {"<html>not soap</html>", "error: 收到的应答不是 SOAP 1.1 信封：“<html>not soap</html>”"},
        {"<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body>"
         "<m:SpplyVanDataBySQLResponse xmlns:m=\"urn:x\"/></e:Body></e:Envelope>",
         "error: 服务的应答中没有返回值。"},
        {"<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body/>"
         "</e:Envelope>",
         "error: 收到的应答不是 SOAP 1.1 信封：“<e:Envelope"},
    };
    for (const auto& c : cases)
        for (std::size_t step : {0, 1, 7}) {
            const std::string got = streamed(c.envelope, step);
            // An error is known by the start of its message; a value must be exact.
            if (c.expected.rfind("error: ", 0) == 0)
                EXPECT_EQ(got.substr(0, c.expected.size()), c.expected) << step << " " << got;
            else
                EXPECT_EQ(got, c.expected) << step << " " << c.envelope;
        }
    // Cut short anywhere, an answer is refused, never taken for a shorter value.
    const std::string whole = cases[0].envelope;
    for (std::size_t n = 0; n < whole.size(); ++n)
        EXPECT_EQ(streamed(whole.substr(0, n), 0).rfind("error: ", 0), 0u) << n;
}

TEST(SoapValue, LexicalForms) {
    for (double d : {0.1, -2.5e-300, 1e300, 123456789.125, 0.0})
        EXPECT_EQ(soapDouble(soapDoubleText(d), "d"), d);
    EXPECT_EQ(soapDoubleText(INFINITY), "INF");
    EXPECT_EQ(soapDoubleText(-INFINITY), "-INF");
    EXPECT_TRUE(std::isnan(soapDouble("NaN", "d")));
    EXPECT_EQ(soapInt(" +42 ", "i"), 42);
    for (const char* bad : {"", "1.5", "2147483648", "+-1", "x"})
        EXPECT_THROW(soapInt(bad, "i"), Error) << bad;
    for (const char* bad : {"", "1,5", "0x10", "inf"})
        EXPECT_THROW(soapDouble(bad, "d"), Error) << bad;
}

}  // namespace
}  // namespace tarvelo
