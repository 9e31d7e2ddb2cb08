#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <pugixml.hpp>
#include <set>
#include <thread>

#include "server/ServerFixture.h"
#include "soap/SoapFault.h"
#include "soap/SoapResponse.h"
#include "support/Command.h"
#include "text/Base64.h"
#include "text/Error.h"

namespace tarvelo::test {
namespace {

const SoapInterface& supply() {
    return SoapInterface::supply();
}
const SoapInterface& apply() {
    return SoapInterface::apply();
}

std::string envelope(std::string_view body) {
    return R"(<?xml version="1.0"?><soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body>)" +
           std::string(body) + "</soap:Body></soap:Envelope>";
}

std::string faultOf(const TestService::HttpReply& r, std::string_view operation = "x") {
    try {
        SoapResponse::read(r.body, operation);
    } catch (const SoapFault& f) {
        return f.code() + ": " + f.faultString();
    } catch (const Error& e) {
        return "not a fault: " + e.message();
    }
    return "no fault";
}

// The opening of a daValue element with the encoding and schema namespaces bound to e and x; the
// operation element's namespace comes before it.
const std::string kEncodedArray = R"(><daValue xmlns:e="http://schemas.xmlsoap.org/soap/encoding/")"
                                  R"( xmlns:x="http://www.w3.org/2001/XMLSchema")";

TEST(SoapEndpoint, AnyPrefixesAndNoTypesAreAccepted) {
    TestService service;
    const auto reply = service.post(
        supply(),
        envelope(
            R"(<q:SpplyVanDataBySQL xmlns:q="urn:VRDS_IIS_WebSCoorSpplyIsapi-IVRDS_IIS_WebSCoorSpplyIsapi">)"
            "<sSQL>select 'a' || " +
            TestService::dialect("char(13) || char(10)", "chr(13) || chr(10)") +
            " AS T</sSQL></q:SpplyVanDataBySQL>"));
    EXPECT_EQ(reply.status, 200);
    const SoapParam result = SoapResponse::read(reply.body, "SpplyVanDataBySQL");
    EXPECT_NE(result.text.find("T=\"a&#013;&#010;\""), std::string::npos) << result.text;
}

TEST(SoapEndpoint, MalformedRequestsAreClientFaultsAndTheServiceGoesOn) {
    TestService service;
    const std::string ns(supply().ns);
    const struct {
        const SoapInterface* iface;
        std::string body;
        const char* says;
    } cases[] = {
        {&supply(), "<not xml", "Client: "},
        {&supply(), "<a/>", "Client: "},
        {&supply(),
         envelope("<q:SpplyVanDataBySQL xmlns:q=\"urn:other\"><sSQL>select "
                  "1</sSQL></q:SpplyVanDataBySQL>"),
         "命名空间"},
        {&apply(),
         envelope("<q:SpplyVanDataBySQL xmlns:q=\"" + ns +
                  "\"><sSQL>select 1</sSQL></q:SpplyVanDataBySQL>"),
         "命名空间"},
        {&supply(), envelope("<q:DropEverything xmlns:q=\"" + ns + "\"/>"), "没有操作"},
        {&supply(), envelope("<q:SpplyVanDataBySQL xmlns:q=\"" + ns + "\"/>"), "缺少参数“sSQL”"},
        {&supply(),
         envelope("<q:echoDouble xmlns:q=\"" + ns + "\"><dValue>abc</dValue></q:echoDouble>"),
         "Client: "},
        {&supply(), envelope("<q:DeVerifs xmlns:q=\"" + ns + "\"><Src>x</Src></q:DeVerifs>"),
         "不可逆"},
        // An array must come SOAP-encoded with its items, as a scalar must come as one value.
        {&supply(),
         envelope("<q:echoDoubleArray xmlns:q=\"" + ns +
                  "\"><daValue><item>1</item><item>2</item></daValue></q:echoDoubleArray>"),
         "Client: 参数“daValue”不是 SOAP 编码的数组：缺少 SOAP-ENC:arrayType"},
        {&apply(),
         envelope("<q:echoDoubleArray xmlns:q=\"" + std::string(apply().ns) +
                  "\"><daValue>1.5</daValue></q:echoDoubleArray>"),
         "Client: 参数“daValue”不是 SOAP 编码的数组"},
        {&supply(),
         envelope("<q:echoDoubleArray xmlns:q=\"" + ns + "\" " + kEncodedArray +
                  " e:arrayType=\"x:double[2]\"/></q:echoDoubleArray>"),
         "Client: 参数“daValue”声明了 2 项，实际收到 0 项"},
        {&supply(),
         envelope("<q:SpplyVanDataBySQL xmlns:q=\"" + ns +
                  "\"><sSQL><b>select 1</b></sSQL></q:SpplyVanDataBySQL>"),
         "Client: 参数“sSQL”应是单个值"},
        {&supply(),
         envelope("<q:GetFileByEncoded xmlns:q=\"" + ns +
                  "\"><sFileName>/etc/passwd</sFileName></q:GetFileByEncoded>"),
         "不提供"},
    };
    for (const auto& c : cases) {
        const auto reply = service.post(*c.iface, c.body);
        EXPECT_EQ(reply.status, 500) << c.body;
        EXPECT_NE(faultOf(reply).find(c.says), std::string::npos)
            << c.body << " -> " << faultOf(reply);
    }
    EXPECT_EQ(
        service.call(supply(), "echoDouble", std::vector<SoapRequest::Argument>{{"dValue", 2.5}})
            .text,
        "2.5");
}

TEST(SoapEndpoint, TheEchoesAnswerOnBothSides) {
    TestService service;
    for (const SoapInterface* iface : {&supply(), &apply()}) {
        const SoapRequest::Argument one[] = {{"dValue", -0.1}};
        EXPECT_EQ(soapDouble(service.call(*iface, "echoDouble", one).text, "r"), -0.1);
        const SoapRequest::Argument many[] = {{"daValue", std::vector<double>{1, 2.25, -1e300}}};
        const SoapParam r = service.call(*iface, "echoDoubleArray", many);
        ASSERT_TRUE(r.isArray);
        EXPECT_EQ(r.items, (std::vector<std::string>{"1", "2.25", "-1e+300"}));
        const SoapRequest::Argument none[] = {{"daValue", std::vector<double>{}}};
        EXPECT_TRUE(service.call(*iface, "echoDoubleArray", none).doubles().empty());
    }
    // Another peer's prefixes and item names.
    const auto reply = service.post(
        supply(), envelope("<q:echoDoubleArray xmlns:q=\"" + std::string(supply().ns) + "\"" +
                           kEncodedArray + R"( e:arrayType="x:double[2]"><v>0.5</v><v>4</v>)" +
                           "</daValue></q:echoDoubleArray>"));
    EXPECT_EQ(SoapResponse::read(reply.body, "echoDoubleArray").doubles(),
              (std::vector<double>{0.5, 4}));
}

TEST(SoapEndpoint, OversizedBodiesAreRefusedWithAFault) {
    server::ServiceLimits limits;
    limits.maxRequestBytes = 1 << 16;
    TestService service(limits);
    const std::string big = envelope("<q:SpplyVanDataBySQL xmlns:q=\"" + std::string(supply().ns) +
                                     "\"><sSQL>select '" + std::string(1 << 17, 'x') +
                                     "'</sSQL></q:SpplyVanDataBySQL>");
    const auto reply = service.post(supply(), big);
    EXPECT_EQ(reply.status, 413);
    EXPECT_NE(faultOf(reply).find("请求太大"), std::string::npos) << reply.body;
    EXPECT_EQ(
        service.call(supply(), "echoDouble", std::vector<SoapRequest::Argument>{{"dValue", 1.0}})
            .text,
        "1");
}

TEST(SoapEndpoint, EnVerifsIsKeyedDeterministicAndNeverObserved) {
    TestService a;
    TestService b;
    const std::string source = base64Encode(std::string(60, 'p'));  // with a CR LF inside
    ASSERT_NE(source.find("\r\n"), std::string::npos);
    const std::string stored = a.enVerifs(source);
    EXPECT_EQ(stored.size(), 44u);
    EXPECT_EQ(a.enVerifs(source), stored);
    EXPECT_NE(a.enVerifs(source.substr(0, 76) + source.substr(78)), stored);  // the CR LF counts
    EXPECT_NE(b.enVerifs(source), stored);  // another database, another secret
    EXPECT_TRUE(a.statements().empty());
}

TEST(SoapEndpoint, EachRequestIsOneLogLineThatNeverHoldsAPassword) {
    std::mutex mutex;
    std::vector<std::string> lines;
    TestService service({}, [&](const std::string& line) {
        std::lock_guard lock(mutex);
        lines.push_back(line);
    });
    loadPriceFixture(service);
    service.enVerifs("c2VjcmV0LXBhc3N3b3Jk");
    service.query("select * from KVR_REGION");
    service.query("select * from KVR_NOPE");
    EXPECT_THROW(service.execute("drop table KVR_XXJ"), SoapFault);
    std::lock_guard lock(mutex);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find("IVRDS_IIS_WebSCoorSpplyIsapi.EnVerifs"), std::string::npos)
        << lines[0];
    EXPECT_NE(lines[0].find("127.0.0.1:"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("SpplyVanDataBySQL"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find(" 2 行"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("错误"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find("故障"), std::string::npos) << lines[3];
    for (const auto& line : lines) {
        EXPECT_EQ(line.find("c2VjcmV0"), std::string::npos) << line;
        EXPECT_EQ(line.find("KVR_REGION"), std::string::npos) << line;  // no statement texts
        EXPECT_EQ(line.find('\n'), std::string::npos);
    }
}

TEST(SoapEndpoint, TheWsdlDeclaresEveryOperationWithItsAction) {
    TestService service;
    for (const SoapInterface* iface : {&supply(), &apply()}) {
        const auto reply = service.get("/wsdl/" + std::string(iface->name));
        ASSERT_EQ(reply.status, 200);
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(reply.body.c_str()));
        const auto root = doc.document_element();
        std::vector<std::string> operations;
        for (auto op : root.child("portType").children("operation"))
            operations.push_back(op.attribute("name").value());
        ASSERT_EQ(operations.size(), iface->operations.size());
        for (std::size_t i = 0; i < operations.size(); ++i)
            EXPECT_EQ(operations[i], iface->operations[i].name);
        const auto binding = root.child("binding");
        const auto first = binding.child("operation").child("soap:operation");
        EXPECT_EQ("\"" + std::string(first.attribute("soapAction").value()) + "\"",
                  iface->soapAction(iface->operations[0].name));
        EXPECT_EQ(std::string(root.child("service")
                                  .child("port")
                                  .child("soap:address")
                                  .attribute("location")
                                  .value()),
                  service.url(*iface));
    }
    EXPECT_EQ(service.get("/wsdl/INope").status, 404);
}

// The namespace a QName written in an attribute of `node` stands in.
std::string namespaceOfQName(pugi::xml_node node, std::string_view qname) {
    const auto colon = qname.find(':');
    const std::string attribute =
        colon == std::string_view::npos ? "xmlns" : "xmlns:" + std::string(qname.substr(0, colon));
    for (; node; node = node.parent())
        if (const auto a = node.attribute(attribute.c_str())) return a.value();
    return "(undeclared)";
}

std::string_view localPart(std::string_view name) {
    const auto colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// What a tool needs to read the WSDL offline: well-formed XML (xmllint, fetching nothing), every
// type it names declared in XML Schema itself, in its own types or in a namespace its schema
// imports, and every import from a schema the service itself serves.
TEST(SoapEndpoint, TheWsdlReadsOfflineWithEveryNamespaceItUsesImported) {
    constexpr std::string_view kXsd = "http://www.w3.org/2001/XMLSchema";
    TestService service;
    for (const SoapInterface* iface : {&supply(), &apply()}) {
        const std::string wsdl = service.get("/wsdl/" + std::string(iface->name)).body;
        const std::string file = service.dir() / (std::string(iface->name) + ".wsdl");
        std::ofstream(file) << wsdl;
        const CommandResult lint = runCommand("xmllint --noout --nonet '" + file + "'");
        EXPECT_EQ(lint.status, 0) << lint.output;
        EXPECT_EQ(lint.output, "");

        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(wsdl.c_str()));
        const auto schema = doc.document_element().child("types").first_child();
        ASSERT_EQ(localPart(schema.name()), "schema");
        ASSERT_EQ(namespaceOfQName(schema, schema.name()), kXsd);
        std::set<std::string> known = {std::string(kXsd),
                                       schema.attribute("targetNamespace").value()};
        const std::map<std::string, std::string> locations = {
            {"http://schemas.xmlsoap.org/soap/encoding/",
             service.base() + "/wsdl/soap-encoding.xsd"},
            {"http://schemas.xmlsoap.org/wsdl/", service.base() + "/wsdl/wsdl.xsd"}};
        for (auto child : schema.children()) {
            if (localPart(child.name()) != "import") continue;
            const std::string ns = child.attribute("namespace").value();
            EXPECT_EQ(child.attribute("schemaLocation").value(),
                      locations.contains(ns) ? locations.at(ns) : "(none)")
                << iface->name << " " << ns;
            known.insert(ns);
        }
        EXPECT_TRUE(known.contains("http://schemas.xmlsoap.org/soap/encoding/")) << iface->name;
        EXPECT_TRUE(known.contains("http://schemas.xmlsoap.org/wsdl/")) << iface->name;
        std::size_t named = 0;
        const auto expectKnown = [&](pugi::xml_node node, const char* attribute) {
            if (const auto a = node.attribute(attribute)) {
                ++named;
                EXPECT_TRUE(known.contains(namespaceOfQName(node, a.value())))
                    << iface->name << ": " << node.name() << " " << attribute << "=" << a.value();
            }
        };
        for (const auto& x : schema.select_nodes(".//*")) {
            for (const char* attribute : {"base", "ref", "type"})
                expectKnown(x.node(), attribute);
            for (auto a : x.node().attributes())
                if (localPart(a.name()) == "arrayType" &&
                    namespaceOfQName(x.node(), a.name()) == "http://schemas.xmlsoap.org/wsdl/")
                    expectKnown(x.node(), a.name());
        }
        for (auto message : doc.document_element().children("message"))
            for (auto part : message.children("part"))
                expectKnown(part, "type");
        EXPECT_GT(named, 2 * iface->operations.size());
    }
}

// An offline schema compiler reads the WSDL's types with what the service serves and nothing
// else: the types cut out of the WSDL, and the schemas fetched from the addresses their imports
// name, saved beside them. xmllint, with no network and a catalog that maps those addresses to
// the saved copies, validates encoded arrays against them; xmlschema (Debian's python3), barred
// from remote addresses and from its own copies of the standard schemas, compiles them.
TEST(SoapEndpoint, TheWsdlTypesCompileOfflineFromTheSchemasTheServiceServes) {
    TestService service;
    const std::filesystem::path dir = service.dir();
    const std::string wsdl = service.get("/wsdl/" + std::string(supply().name)).body;
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(wsdl.c_str()));
    const auto root = doc.document_element();
    const auto schema = root.child("types").child("xsd:schema");
    ASSERT_TRUE(schema);

    std::string catalog =
        R"(<?xml version="1.0"?><catalog xmlns="urn:oasis:names:tc:entity:xmlns:xml:catalog">)";
    std::vector<std::string> hints;
    for (auto import : schema.children("xsd:import")) {
        const std::string url = import.attribute("schemaLocation").value();
        ASSERT_TRUE(url.starts_with(service.base() + "/wsdl/")) << url;
        const std::string file = url.substr(url.rfind('/') + 1);
        const auto reply = service.get(url.substr(service.base().size()));
        ASSERT_EQ(reply.status, 200) << url;
        EXPECT_EQ(reply.header("Content-Type"), "text/xml; charset=utf-8") << url;
        std::ofstream(dir / file) << reply.body;
        catalog += "<uri name=\"" + url + "\" uri=\"file://" + (dir / file).string() + "\"/>";
        hints.push_back(std::string(import.attribute("namespace").value()) + "=" +
                        (dir / file).string());
    }
    ASSERT_EQ(hints.size(), 2u);
    std::ofstream(dir / "catalog.xml") << catalog << "</catalog>";

    // The types as a schema document of their own: the namespaces the WSDL binds on its root
    // bound on the schema.
    pugi::xml_document types;
    auto copy = types.append_copy(schema);
    for (auto a : root.attributes())
        if (std::string_view(a.name()).starts_with("xmlns:") && !copy.attribute(a.name()))
            copy.append_attribute(a.name()) = a.value();
    ASSERT_TRUE(types.save_file((dir / "types.xsd").c_str()));

    // An element of the array type, and two instances of it.
    const std::string ns(supply().ns);
    std::ofstream(dir / "check.xsd")
        << R"(<xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:ns1=")" << ns
        << R"(" targetNamespace="urn:check"><xsd:import namespace=")" << ns
        << R"(" schemaLocation="types.xsd"/>)"
        << R"(<xsd:element name="daValue" type="ns1:TDoubleDynArray"/></xsd:schema>)";
    const struct {
        const char* file;
        const char* attributes;
        int status;
        const char* says;
    } instances[] = {
        {"empty.xml",
         R"(xmlns:e="http://schemas.xmlsoap.org/soap/encoding/" e:arrayType="xsd:double[0]" id="a")",
         0, "validates"},
        {"stranger.xml", R"(length="0")", 3, "length"},
    };
    for (const auto& i : instances) {
        std::ofstream(dir / i.file) << "<c:daValue xmlns:c=\"urn:check\" " << i.attributes << "/>";
        const CommandResult lint =
            runCommand("XML_CATALOG_FILES='" + (dir / "catalog.xml").string() +
                       "' xmllint --nonet --noout --schema '" + (dir / "check.xsd").string() +
                       "' '" + (dir / i.file).string() + "'");
        EXPECT_EQ(lint.status, i.status) << i.file << "\n" << lint.output;
        EXPECT_NE(lint.output.find(i.says), std::string::npos) << i.file << "\n" << lint.output;
        EXPECT_EQ(lint.output.find("failed to load"), std::string::npos) << lint.output;
    }

    std::string command = "/usr/bin/python3 '" TARVELO_SOURCE_DIR
                          "/tests/server/wsdl-types-offline.py' '" +
                          (dir / "types.xsd").string() + "'";
    for (const auto& hint : hints)
        command += " '" + hint + "'";
    const CommandResult compiled = runCommand(command);
    EXPECT_EQ(compiled.status, 0) << compiled.output;
    EXPECT_EQ(compiled.output,
              "import http://schemas.xmlsoap.org/soap/encoding/ soap-encoding.xsd\n"
              "import http://schemas.xmlsoap.org/wsdl/ wsdl.xsd\n"
              "TDoubleDynArray restriction {http://schemas.xmlsoap.org/soap/encoding/}Array "
              "derived\n"
              "attributes href id {http://schemas.xmlsoap.org/soap/encoding/}arrayType "
              "{http://schemas.xmlsoap.org/soap/encoding/}offset\n"
              "wsdl:arrayType True\n");
}

TEST(SoapEndpoint, ConcurrentClientsAreAnsweredSideBySide) {
    TestService service;
    loadPriceFixture(service);
    std::vector<std::thread> clients;
    std::atomic<int> good{0};
    for (int t = 0; t < 4; ++t)
        clients.emplace_back([&] {
            for (int i = 0; i < 25; ++i) {
                DataSet ds;
                ds.loadPacket(service.query(xxjSuggestion("东城区", "202612", "钢")));
                if (ds.recordCount() == 1) ++good;
            }
        });
    for (auto& c : clients)
        c.join();
    EXPECT_EQ(good, 100);
}

}  // namespace
}  // namespace tarvelo::test
