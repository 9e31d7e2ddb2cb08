#include <gtest/gtest.h>

#include "data/DataSet.h"
#include "data/PriceTable.h"
#include "support/Packets.h"
#include "text/Error.h"

namespace tarvelo {
namespace {

using test::kItemFields;
using test::packet;

void appendItem(DataSet& ds, const char* id, const char* name, const char* price) {
    ds.append();
    ds.fieldByName("ID").setText(id);
    ds.fieldByName("NAME").setText(name);
    ds.fieldByName("PRICE").setText(price);
    ds.post();
}

std::string deltaText(DataSet& ds) {
    return ds.delta().value_or("(no delta)");
}

TEST(DataSet, ThreeAppendedRowsMakeThreeInsertions) {
    DataSet ds;
    priceTable(Category::XXJ).reset(ds);
    for (int i = 1; i <= 3; ++i) {
        ds.append();
        ds.fieldByName("PERDID").setText("202612");
        ds.fieldByName("PLACE").setText("杭州市");
        ds.fieldByName("SERIAL").setText(std::to_string(i));
        ds.post();
    }
    EXPECT_EQ(ds.changeCount(), 3u);
    DataSet delta;
    delta.loadPacket(deltaText(ds));
    EXPECT_EQ(delta.recordCount(), 3u);
    EXPECT_NE(deltaText(ds).find(R"(<PARAMS DATASET_DELTA="1"/>)"), std::string::npos);
    EXPECT_NE(
        deltaText(ds).find(R"(<ROW RowState="4" PERDID="202612" PLACE="杭州市" SERIAL="3"/>)"),
        std::string::npos);
}

TEST(DataSet, DeltaShapes) {
    struct Case {
        const char* what;
        void (*change)(DataSet&);
        const char* rows;  // expected ROWDATA of the delta; empty: no delta
    };
    const Case cases[] = {
        {"one field of one loaded row edited",
         [](DataSet& ds) {
             ds.moveTo(1);
             ds.edit();
             ds.fieldByName("PRICE").setText("495");
             ds.post();
         },
         R"(<ROW RowState="1" ID="2" NAME="水泥" PRICE="480"/><ROW RowState="8" PRICE="495"/>)"},
        {"a loaded row deleted", [](DataSet& ds) { ds.deleteRow(); },
         R"(<ROW RowState="2" ID="1" NAME="钢筋" PRICE="4200" RQ="20261201"/>)"},
        {"edited, then deleted: the row as loaded",
         [](DataSet& ds) {
             ds.edit();
             ds.fieldByName("NAME").setText("钢材");
             ds.post();
             ds.deleteRow();
         },
         R"(<ROW RowState="2" ID="1" NAME="钢筋" PRICE="4200" RQ="20261201"/>)"},
        {"appended and deleted again",
         [](DataSet& ds) {
             appendItem(ds, "4", "石子", "90");
             ds.deleteRow();
         },
         ""},
        {"appended, then edited again: one insertion with its latest values",
         [](DataSet& ds) {
             appendItem(ds, "4", "石子", "90");
             ds.edit();
             ds.fieldByName("PRICE").setText("95");
             ds.post();
         },
         R"(<ROW RowState="4" ID="4" NAME="石子" PRICE="95"/>)"},
        {"edited back to the value as loaded",
         [](DataSet& ds) {
             ds.edit();
             ds.fieldByName("PRICE").setText("1");
             ds.post();
             ds.edit();
             ds.fieldByName("PRICE").setText("4200");
             ds.post();
         },
         ""},
        {"a value cleared: written empty in the modification",
         [](DataSet& ds) {
             ds.edit();
             ds.fieldByName("RQ").setText("");
             ds.post();
         },
         R"(<ROW RowState="1" ID="1" NAME="钢筋" PRICE="4200" RQ="20261201"/><ROW RowState="8" RQ=""/>)"},
        {"changes in the order they were made",
         [](DataSet& ds) {
             ds.moveTo(2);
             ds.edit();
             ds.fieldByName("RQ").setText("2026/12/5");
             ds.post();
             appendItem(ds, "4", "石子", "90");
             ds.first();
             ds.deleteRow();
         },
         R"(<ROW RowState="1" ID="3" NAME="砂" PRICE="面议" RQ="20261203"/><ROW RowState="8" RQ="20261205"/>)"
         R"(<ROW RowState="4" ID="4" NAME="石子" PRICE="90"/>)"
         R"(<ROW RowState="2" ID="1" NAME="钢筋" PRICE="4200" RQ="20261201"/>)"},
    };
    for (const auto& c : cases) {
        DataSet ds;
        ds.loadPacket(test::itemPacket());
        c.change(ds);
        if (*c.rows == '\0') {
            EXPECT_EQ(ds.changeCount(), 0u) << c.what;
            EXPECT_EQ(ds.delta(), std::nullopt) << c.what;
        } else {
            EXPECT_EQ(deltaText(ds), packet(kItemFields, c.rows, true)) << c.what;
        }
    }
}

TEST(DataSet, DeltaLoadedElsewhereWritesBackAsTheSameText) {
    DataSet ds;
    ds.loadPacket(test::itemPacket());
    ds.edit();
    ds.fieldByName("RQ").setText("");
    ds.fieldByName("NAME").setText("螺纹钢");
    ds.post();
    appendItem(ds, "4", "石子", "90");
    ds.moveTo(1);
    ds.deleteRow();
    const std::string delta = deltaText(ds);

    DataSet cdsDelta;
    cdsDelta.loadPacket(delta);
    EXPECT_EQ(cdsDelta.packetText(), delta);
    EXPECT_EQ(cdsDelta.changeCount(), 0u);
}

TEST(DataSet, MergeMakesTheCurrentRowsTheBase) {
    DataSet ds;
    ds.loadPacket(test::itemPacket());
    appendItem(ds, "4", "石子", "90");
    ds.first();
    ds.deleteRow();
    ds.mergeChangeLog();
    EXPECT_EQ(ds.changeCount(), 0u);
    EXPECT_EQ(ds.delta(), std::nullopt);

    ds.first();
    ds.edit();
    ds.fieldByName("PRICE").setText("500");
    ds.post();
    EXPECT_EQ(deltaText(ds), packet(kItemFields,
                                    R"(<ROW RowState="1" ID="2" NAME="水泥" PRICE="480"/>)"
                                    R"(<ROW RowState="8" PRICE="500"/>)",
                                    true));
    ds.mergeChangeLog();
    EXPECT_EQ(ds.packetText(),
              packet(kItemFields, R"(<ROW ID="2" NAME="水泥" PRICE="500"/>)"
                                  R"(<ROW ID="3" NAME="砂" PRICE="面议" RQ="20261203"/>)"
                                  R"(<ROW ID="4" NAME="石子" PRICE="90"/>)"));
}

TEST(DataSet, WithoutLoggingChangesGoStraightToTheBase) {
    DataSet ds;
    ds.loadPacket(test::itemPacket());
    ds.setLogChanges(false);
    appendItem(ds, "4", "石子", "90");
    ds.first();
    ds.deleteRow();
    EXPECT_EQ(ds.changeCount(), 0u);
    EXPECT_EQ(ds.recordCount(), 3u);
}

TEST(DataSet, CancelAndNavigation) {
    DataSet ds;
    ds.loadPacket(test::itemPacket());
    ds.append();
    ds.fieldByName("NAME").setText("石子");
    EXPECT_EQ(ds.fieldByName("NAME").asText(), "石子");  // the edit buffer is what reads
    ds.cancel();
    EXPECT_EQ(ds.recordCount(), 3u);
    EXPECT_EQ(ds.changeCount(), 0u);
    EXPECT_EQ(ds.currentRow(), 2u);

    ds.first();

    ds.edit();
    ds.fieldByName("NAME").setText("铁");
    ds.cancel();
    EXPECT_EQ(ds.fieldByName("NAME").asText(), "钢筋");

    // moving on posts a pending edit
    ds.edit();
    ds.fieldByName("NAME").setText("铁");
    ds.next();
    EXPECT_EQ(ds.changeCount(), 1u);

    std::vector<std::string> names;
    for (ds.first(); !ds.eof(); ds.next())
        names.push_back(ds.fieldByName("NAME").asText());
    EXPECT_EQ(names, (std::vector<std::string>{"铁", "水泥", "砂"}));
    EXPECT_EQ(ds.fieldByName("NAME").asText(), "砂");  // eof stays on the last row
}

TEST(DataSet, WritingRefusesWhatTheColumnCannotHold) {
    struct Case {
        const char* field;
        std::string value;
        const char* mentions;  // besides the column's name
    };
    const Case cases[] = {
        {"PERDID", "2026121", "6"},
        {"PLACE", "黑龙江省哈尔滨市", "12"},  // 16 bytes in code page 936
        {"SPECID", "", "96"},                 // 49 characters, filled in below
        {"SERIAL", "12a", "32 位整数"},
        {"SERIAL", "2147483648", "32 位整数"},
        {"SERIAL", "1.5", "32 位整数"},
        {"SERIAL", "+-5", "32 位整数"},
        {"RQ", "2026-02-30", "日期"},
        {"RQ", "12/10/2026", "日期"},
        {"RQ", "tomorrow", "日期"},
    };
    std::string longSpec;
    for (int i = 0; i < 49; ++i)
        longSpec += "规";
    DataSet ds;
    priceTable(Category::XXJ).reset(ds);
    ds.append();
    for (const auto& c : cases) {
        const std::string value = std::string(c.field) == "SPECID" ? longSpec : c.value;
        try {
            ds.fieldByName(c.field).setText(value);
            ADD_FAILURE() << c.field << " took " << value;
        } catch (const Error& e) {
            EXPECT_NE(e.message().find(std::string("“") + c.field + "”"), std::string::npos)
                << e.what();
            EXPECT_NE(e.message().find(c.mentions), std::string::npos) << e.what();
        }
        EXPECT_TRUE(ds.fieldByName(c.field).isNull()) << "nothing is cut and stored";
    }
}

TEST(DataSet, WritingAcceptsWhatFitsAndNormalisesIt) {
    struct Case {
        const char* field;
        std::string value;
        std::string text;  // read back
    };
    std::string spec48;
    for (int i = 0; i < 48; ++i)
        spec48 += "规";
    const Case cases[] = {
        {"PLACE", "黑龙江哈尔滨", "黑龙江哈尔滨"},  // 12 bytes exactly
        {"SPECID", spec48, spec48},                 // 96 UTF-16 bytes exactly
        {"SERIAL", " 42 ", "42"},
        {"SERIAL", "-2147483648", "-2147483648"},
        {"RQ", "2026-12-10", "2026-12-10"},
        {"RQ", "2026/1/5", "2026-01-05"},
        {"RQ", "2026.1.5", "2026-01-05"},
        {"RQ", "20260105", "2026-01-05"},
        {"XXJ", "面议", "面议"},  // a price is text
        {"NOTE", "", ""},
    };
    DataSet ds;
    priceTable(Category::XXJ).reset(ds);
    for (const auto& c : cases) {
        ds.append();
        ds.fieldByName(c.field).setText(c.value);
        ds.post();
        EXPECT_EQ(ds.fieldByName(c.field).asText(), c.text) << c.field << " " << c.value;
    }
    ds.append();
    ds.fieldByName("NOTE").setText("x");
    ds.fieldByName("NOTE").setText("");
    EXPECT_TRUE(ds.fieldByName("NOTE").isNull());
}

TEST(DataSet, DateWrittenFromDateTimeKeepsTheDateOnly) {
    DataSet ds;
    priceTable(Category::XXJ).reset(ds);
    ds.append();
    ds.fieldByName("RQ").setDateTime(DateTime{{2026, 12, 10}, 23, 59, 58, 999});
    ds.post();
    EXPECT_EQ(ds.fieldByName("RQ").asText(), "2026-12-10");
    EXPECT_NE(ds.packetText().find(R"(<ROW RQ="20261210"/>)"), std::string::npos);
}

TEST(DataSet, DateTimesThatAreNoInstantAreRefused) {
    DataSet ds;
    priceTable(Category::XXJ).reset(ds);
    ds.append();
    for (const DateTime& bad : {DateTime{}, DateTime{{2026, 2, 30}}, DateTime{{2026, 12, 10}, 24}})
        EXPECT_THROW(ds.fieldByName("RQ").setDateTime(bad), Error);
    EXPECT_TRUE(ds.fieldByName("RQ").isNull());
}

TEST(DataSet, MisuseIsAnErrorNotACrash) {
    DataSet ds;
    EXPECT_THROW(ds.fieldByName("X"), Error);  // closed
    EXPECT_THROW(ds.append(), Error);
    ds.loadPacket(test::itemPacket());
    EXPECT_THROW(ds.fieldByName("NAME").setText("x"), Error);  // not editing
    EXPECT_THROW(ds.field(4), Error);
    EXPECT_THROW(ds.moveTo(3), Error);
    ds.loadPacket(packet(kItemFields, ""));
    EXPECT_THROW(ds.edit(), Error);
    EXPECT_THROW(ds.deleteRow(), Error);
    ds.close();
    EXPECT_FALSE(ds.active());
    EXPECT_EQ(ds.fieldCount(), 0u);
}

TEST(DataSet, ListenersHearLoadsPostsMovesAndCloses) {
    DataSet ds;
    std::string heard;
    const int id = ds.subscribe([&](const DataSetEvent& e) {
        static const char* const names[] = {"reset(",  "reset)",  "insert(", "insert)",
                                            "remove(", "remove)", "changed", "current"};
        heard += names[static_cast<int>(e.kind)] + std::to_string(e.row);
        // a listener may read the dataset at once: the current row must already be valid
        if (e.kind == DataSetEvent::Kind::AfterRemove)
            heard += "@" + std::to_string(ds.currentRow().value_or(99)) + ds.text(1);
        heard += " ";
    });
    ds.loadPacket(test::itemPacket());
    ds.next();
    appendItem(ds, "4", "石子", "90");
    ds.deleteRow();
    ds.close();
    ds.unsubscribe(id);
    ds.loadPacket(test::itemPacket());
    EXPECT_EQ(heard,
              "reset(0 reset)0 current0 current1 insert(3 insert)3 current3 changed3 "
              "remove(3 remove)3@2砂 current2 reset(0 reset)0 ");
}

TEST(DataSet, GridHelpers) {
    DataSet ds;
    priceTable(Category::CJJ).reset(ds);
    EXPECT_EQ(ds.fieldCount(), 14u);
    EXPECT_EQ(ds.field(3).name(), "ITEMDESC");
    EXPECT_EQ(ds.field(3).displayWidth(), 64);
    EXPECT_EQ(ds.field(5).displayWidth(), 48);  // SPECID: 96 UTF-16 bytes
    EXPECT_EQ(ds.fieldByName("CJRQ").displayWidth(), 10);
    ds.fieldByName("CJJ").setDisplayFormat("0.00");
    EXPECT_EQ(ds.fieldByName("CJJ").displayFormat(), "0.00");
    ds.append();
    ds.fieldByName("CJRQ").setText("2026/11/30");
    ds.post();
    EXPECT_EQ(ds.displayText(0, 11), "2026-11-30");
}

}  // namespace
}  // namespace tarvelo
