#include <gtest/gtest.h>

#include "data/DataPacket.h"
#include "data/DataSet.h"
#include "data/PacketStream.h"
#include "support/Packets.h"
#include "text/Error.h"

namespace tarvelo {
namespace {

using test::packet;

TEST(DataPacket, EmptyRowdataLoadsAsAnOpenDatasetWithoutRows) {
    for (const std::string& text :
         {packet(test::kItemFields, ""),
          "  " + packet(test::kItemFields, ""),  // blanks before the declaration
          std::string("\r\n<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\">"
                      "<METADATA><FIELDS>") +
              std::string(test::kItemFields) +
              "</FIELDS><PARAMS/></METADATA><ROWDATA/></DATAPACKET>"}) {
        DataSet ds;
        ds.loadPacket(text);
        EXPECT_TRUE(ds.active());
        EXPECT_EQ(ds.fieldCount(), 4u);
        EXPECT_EQ(ds.recordCount(), 0u);
        EXPECT_TRUE(ds.eof());
        ds.first();
        EXPECT_TRUE(ds.eof());
        EXPECT_EQ(ds.fieldByName("NAME").asText(), "");
        EXPECT_EQ(ds.changeCount(), 0u);
        EXPECT_EQ(ds.packetText(), packet(test::kItemFields, ""));
    }
}

TEST(DataPacket, EscapesExactlyAsListed) {
    DataSet ds;
    ds.loadPacket(packet(R"(<FIELD attrname="T" fieldtype="string.uni" WIDTH="200"/>)", ""));
    ds.append();
    ds.fieldByName("T").setText("a<b>&\"'\r\n\t\\z 钢");
    ds.post();
    EXPECT_EQ(ds.packetText(),
              packet(R"(<FIELD attrname="T" fieldtype="string.uni" WIDTH="200"/>)",
                     R"(<ROW T="a&lt;b&gt;&amp;&quot;&apos;&#013;&#010;&#009;&#092;z 钢"/>)"));
}

TEST(DataPacket, AwkwardValuesSurviveWriteAndLoad) {
    const std::string values[] = {
        "第一行\r\n第二行",
        "line\nfeed",
        "say \"hi\"",
        "O'Neil",
        R"(C:\价格\2026)",
        "tab\there",
        "  leading and trailing  ",
        "<tag attr=\"x\">&amp;</tag>",
        "]]>",
        "钢筋Φ12",
    };
    DataSet ds;
    ds.loadPacket(packet(R"(<FIELD attrname="T" fieldtype="string" WIDTH="100"/>)", ""));
    for (const auto& v : values) {
        ds.append();
        ds.fieldByName("T").setText(v);
        ds.post();
    }
    DataSet again;
    again.loadPacket(ds.packetText());
    ASSERT_EQ(again.recordCount(), std::size(values));
    again.first();
    for (const auto& v : values) {
        EXPECT_EQ(again.fieldByName("T").asText(), v);
        again.next();
    }
    EXPECT_TRUE(again.eof());
}

TEST(DataPacket, EveryFieldTypeReadsAsTextAndWritesBackUnchanged) {
    struct Case {
        const char* type;
        const char* extra;
        const char* value;
        const char* text;
    };
    const Case cases[] = {
        {"string", R"( WIDTH="10")", "钢筋", "钢筋"},
        {"string.uni", R"( WIDTH="10")", "规格", "规格"},
        {"i1", "", "-128", "-128"},
        {"i2", "", "32767", "32767"},
        {"i4", "", "-2147483648", "-2147483648"},
        {"i8", "", "9223372036854775807", "9223372036854775807"},
        {"ui1", "", "255", "255"},
        {"ui2", "", "65535", "65535"},
        {"ui4", "", "4294967295", "4294967295"},
        {"r8", "", "12.5", "12.5"},
        {"r8", "", "-1.5E-7", "-1.5E-7"},
        {"fixed", R"( DECIMALS="2" WIDTH="18")", "4200.50", "4200.50"},
        {"boolean", "", "TRUE", "TRUE"},
        {"date", "", "20261210", "2026-12-10"},
        {"dateTime", "", "20261210T13:45:07123", "2026-12-10 13:45:07"},
        {"bin.hex", R"( SUBTYPE="Binary" WIDTH="8")", "00FF", "00FF"},
    };
    for (const auto& c : cases) {
        const std::string fields =
            std::string(R"(<FIELD attrname="V" fieldtype=")") + c.type + "\"" + c.extra + "/>";
        // attribute order as written: SUBTYPE, DECIMALS, WIDTH
        const std::string text = packet(fields, std::string(R"(<ROW V=")") + c.value + "\"/>");
        DataSet ds;
        ds.loadPacket(text);
        EXPECT_EQ(ds.fieldByName("V").asText(), c.text) << c.type;
        EXPECT_EQ(ds.packetText(), text) << c.type;
    }
}

TEST(DataPacket, NullIsAnAbsentAttribute) {
    DataSet ds;
    ds.loadPacket(test::itemPacket());
    ds.moveTo(1);
    EXPECT_TRUE(ds.fieldByName("RQ").isNull());
    EXPECT_EQ(ds.fieldByName("RQ").asText(), "");
    EXPECT_FALSE(ds.fieldByName("NAME").isNull());
    EXPECT_EQ(ds.packetText(), test::itemPacket());
}

TEST(DataPacket, NamesAreFoundWithoutRegardToLetterCase) {
    DataSet ds;
    ds.loadPacket(packet(R"(<FIELD attrname="itemdesc" fieldtype="string" WIDTH="64"/>)",
                         R"(<ROW ITEMDESC="钢筋"/><ROW ItemDesc="水泥"/>)"));
    EXPECT_EQ(ds.fieldByName("ITEMDESC").asText(), "钢筋");
    ds.next();
    EXPECT_EQ(ds.fieldByName("ItemDesc").asText(), "水泥");
    EXPECT_THROW(ds.fieldByName("ITEMID"), Error);
}

TEST(DataPacket, RefusesWhatIsNotAPacketQuotingWhatArrived) {
    struct Case {
        std::string text;
        std::string quoted;  // what the message must show of the input
    };
    const Case cases[] = {
        {"出错", "出错"},
        {"", ""},
        {"SQL0204N  \"KVR_XXJ\" is an undefined name.", "SQL0204N"},
        {"<html><body>502 Bad Gateway</body></html>", "<html><body>502 Bad Gateway"},
        {"<DATAPACKET Version=\"2.0\"><METADATA>", "<DATAPACKET"},
        {"<DATAPACKET Version=\"2.0\"><ROWDATA/></DATAPACKET>", "<DATAPACKET"},
        {packet(R"(<FIELD attrname="A" fieldtype="i4"/><FIELD attrname="a" fieldtype="i4"/>)", ""),
         "<?xml"},
        {packet(R"(<FIELD fieldtype="i4"/>)", ""), "<?xml"},
        {packet(R"(<FIELD attrname="A" fieldtype="string" WIDTH="x"/>)", ""), "<?xml"},
        {packet(R"(<FIELD attrname="A" fieldtype="i4"/>)", R"(<ROW RowState="3" A="1"/>)"),
         "<?xml"},
        {packet(R"(<FIELD attrname="A" fieldtype="i4"/>)", R"(<ROW A="1"/><ITEM A="2"/>)"),
         "<?xml"},
    };
    for (const auto& c : cases) {
        DataSet ds;
        ds.loadPacket(test::itemPacket());
        try {
            ds.loadPacket(c.text);
            ADD_FAILURE() << "accepted " << c.text;
        } catch (const Error& e) {
            EXPECT_NE(e.message().find("不是有效的数据包"), std::string::npos) << e.what();
            EXPECT_NE(e.message().find("“" + c.quoted), std::string::npos) << e.what();
            EXPECT_FALSE(e.detail().empty());
        }
        EXPECT_FALSE(ds.active()) << "a failed load leaves the dataset closed";
    }
}

TEST(DataPacket, RefusesValuesNotOfTheirColumnsType) {
    const std::pair<const char*, const char*> cases[] = {
        {"i4", "12a"},          {"i4", "2147483648"},
        {"i2", "40000"},        {"ui1", "-1"},
        {"r8", "0x10"},         {"r8", "nan"},
        {"date", "2026-12-10"}, {"date", "20260230"},
        {"boolean", "yes"},     {"dateTime", "20261210"},
    };
    for (const auto& [type, value] : cases) {
        const std::string text =
            packet(std::string(R"(<FIELD attrname="V" fieldtype=")") + type + "\"/>",
                   std::string(R"(<ROW V="ok"/>)").replace(8, 2, value));
        try {
            DataPacket::parse(text);
            ADD_FAILURE() << type << " accepted " << value;
        } catch (const Error& e) {
            EXPECT_NE(e.message().find("“V”"), std::string::npos) << e.what();
            EXPECT_NE(e.message().find(value), std::string::npos) << e.what();
        }
    }
}

TEST(DataPacket, EveryPrefixOfAPacketLoadsOrFailsCleanly) {
    const std::string text = test::itemPacket();
    for (std::size_t n = 0; n < text.size(); ++n) {
        DataSet ds;
        try {
            ds.loadPacket(text.substr(0, n));
        } catch (const Error&) {
            EXPECT_FALSE(ds.active());
        }
    }
}

TEST(DataPacket, ParsingInChunksGivesWhatTheWholeDocumentGives) {
    const std::string rows = R"(<ROW ID="1" NAME="钢筋"/>)";
    const std::string odd[] = {
        test::itemPacket(),
        packet(test::kItemFields, rows + R"(<!-- <ROW ID="2"/> --><ROW ID="3"/>)"),
        packet(test::kItemFields, rows + R"(<![CDATA[ <ROW ID="2"/> ]]><ROW ID="3"/>)"),
        packet(test::kItemFields, rows + R"(<?pi <ROW ID="2"/> ?><ROW ID="3"/>)"),
        packet(std::string(test::kItemFields) + "<!-- <ROWDATA> -->", rows),
        packet(test::kItemFields, rows) + "<!-- </ROWDATA> -->",
        packet(test::kItemFields, rows + "</ROWDATA><ROWDATA>" + rows),
        packet(test::kItemFields, rows + R"(<ROW ID="x"/>)"),  // an error in a later chunk
        packet(test::kItemFields, rows + R"(<ROW ID="2")"),    // cut off inside a row
        packet(test::kItemFields, rows + std::string("\0<ROW ID=\"2\"/>", 15)),
        packet(test::kItemFields, rows + "x</") + "</ROWDATA>",  // a stray end tag at the edge
        std::string(R"(<DATAPACKET Version="2.0"><METADATA><FIELDS>)") +
            std::string(test::kItemFields) + "</FIELDS><PARAMS/></METADATA><rowdata>" + rows +
            "</rowdata></DATAPACKET>",
    };
    auto outcome = [](const std::string& text, std::size_t chunk) {
        try {
            return DataPacket::parse(text, chunk).text();
        } catch (const Error& e) {
            return std::string("error: ") + e.what();
        }
    };
    // The same text arriving in pieces: the same packet, or an error where the whole has one.
    auto streamed = [](const std::string& text, std::size_t chunk, std::size_t step) {
        PacketStream stream(chunk);
        for (std::size_t at = 0; at < text.size(); at += step)
            stream.feed(std::string_view(text).substr(at, step));
        try {
            return stream.finish().text();
        } catch (const Error&) {
            return std::string("error: ");
        }
    };
    for (const auto& text : odd) {
        const std::string whole = outcome(text, 0);
        EXPECT_EQ(outcome(text, 1), whole) << text;
        EXPECT_EQ(outcome(text, 30), whole) << text;
        for (std::size_t chunk : {1, 30})
            for (std::size_t step : {1, 5, 64}) {
                const std::string got = streamed(text, chunk, step);
                if (whole.rfind("error: ", 0) == 0)
                    EXPECT_EQ(got, "error: ") << chunk << " " << step << " " << text;
                else
                    EXPECT_EQ(got, whole) << chunk << " " << step << " " << text;
            }
    }
    EXPECT_EQ(DataPacket::parse(odd[1], 1).rows.size(), 2u);
}

// A large answer read as it arrives is let go of as its rows are made, and its error messages
// quote its start as those of the whole text do.
TEST(DataPacket, AStreamLetsGoOfTheTextItHasRead) {
    std::string rows;
    for (int i = 0; i < 20000; ++i)
        rows += "<ROW ID=\"" + std::to_string(i) + R"(" NAME="钢筋&amp;" PRICE="4200"/>)";
    const std::string text = packet(test::kItemFields, rows);
    PacketStream stream(64 * 1024);
    for (std::size_t at = 0; at < text.size(); at += 16384)
        stream.feed(std::string_view(text).substr(at, 16384));
    EXPECT_FALSE(stream.wholeText());
    EXPECT_EQ(stream.finish().text(), DataPacket::parse(text, 0).text());

    const std::string bad = packet(test::kItemFields, rows + R"(<ROW ID="x"/>)");
    PacketStream broken(64 * 1024);
    broken.feed(bad);
    try {
        broken.finish();
        ADD_FAILURE();
    } catch (const Error& e) {
        try {
            DataPacket::parse(bad, 0);
        } catch (const Error& whole) {
            EXPECT_EQ(e.message(), whole.message());
        }
        EXPECT_NE(e.message().find("第 20001 行"), std::string::npos) << e.message();
    }
}

TEST(DataPacket, DeltaPacketKeepsRowStates) {
    const std::string delta =
        packet(test::kItemFields,
               R"(<ROW RowState="4" ID="9" NAME="新"/><ROW RowState="1" ID="1" NAME="钢筋"/>)"
               R"(<ROW RowState="8" NAME="钢材" PRICE=""/><ROW RowState="2" ID="2"/>)",
               true);
    const DataPacket p = DataPacket::parse(delta);
    EXPECT_TRUE(p.delta);
    EXPECT_EQ(p.rowStates, (std::vector<RowState>{RowState::Inserted, RowState::Original,
                                                  RowState::Modified, RowState::Deleted}));
    EXPECT_TRUE(p.rows[2].isNull(0));
    EXPECT_FALSE(p.rows[2].isNull(2));  // an empty value: changed to null
    EXPECT_EQ(p.text(), delta);
}

}  // namespace
}  // namespace tarvelo
