#include <gtest/gtest.h>

#include "data/DataSet.h"
#include "data/PriceTable.h"
#include "text/Base64.h"

namespace tarvelo {
namespace {

TEST(PriceTable, FourTablesInOrderWithTheirKeyLists) {
    const std::tuple<Category, const char*, const char*, const char*, const char*> expected[] = {
        {Category::XXJ, "XXJ", "KVR_XXJ", "PERDID,PLACE,SERIAL", "XXJMemo"},
        {Category::CJJ, "CJJ", "KVR_CJJ", "PERDID,SERIAL", "CJJMemo"},
        {Category::MMJ, "MMJ", "KVR_MMJ", "PERDID,PLACE,SERIAL", "MMJMemo"},
        {Category::CSJ, "CSJ", "KVR_CSJ", "PERDID,ICEXT,SERIAL", "CSJMemo"},
    };
    ASSERT_EQ(priceTables().size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        const auto& [category, code, table, keys, memo] = expected[i];
        const PriceTable& t = priceTables()[i];
        EXPECT_EQ(&priceTable(category), &t);
        EXPECT_EQ(t.code, code);
        EXPECT_EQ(t.tableName, table);
        EXPECT_EQ(t.keyList(), keys);
        EXPECT_EQ(t.memoName, memo);
    }
}

TEST(PriceTable, EmptyPacketsResetADatasetToTheTablesFields) {
    const std::pair<Category, std::vector<std::string>> expected[] = {
        {Category::XXJ,
         {"PERDID", "PLACE", "SERIAL", "ITEMDESC", "ITEMID", "ZJID", "SPECID", "MODEL", "BRAND",
          "MATERIAL", "UNIT", "XXJ", "DEJ", "NOTE", "RQ"}},
        {Category::CJJ,
         {"PERDID", "SERIAL", "PLACE", "ITEMDESC", "ITEMID", "SPECID", "MODEL", "BRAND", "MATERIAL",
          "UNIT", "CJJ", "CJRQ", "RQ", "NOTE"}},
        {Category::MMJ,
         {"PERDID", "PLACE", "SERIAL", "ITEMDESC", "ITEMID", "SPECID", "MODEL", "BRAND", "UNIT",
          "MMJ", "VEND", "LINKMAN", "LINKTEL", "NOTE", "RQ"}},
        {Category::CSJ,
         {"PERDID", "ICEXT", "SERIAL", "ITEMDESC", "ITEMID", "SPECID", "MODEL", "BRAND", "MATERIAL",
          "UNIT", "CSJ", "VEND", "LINKMAN", "LINKTEL", "NOTE", "RQ"}},
    };
    for (const auto& [category, names] : expected) {
        const PriceTable& table = priceTable(category);
        const std::string memo = table.emptyPacketBase64();
        EXPECT_EQ(base64Decode(memo), table.emptyPacket());
        EXPECT_EQ(table.emptyPacket().substr(0, 7), "  <?xml");

        DataSet ds;
        ds.loadPacket(
            R"(<?xml version="1.0" standalone="yes"?><DATAPACKET Version="2.0"><METADATA><FIELDS><FIELD attrname="X" fieldtype="i4"/></FIELDS><PARAMS/></METADATA><ROWDATA><ROW X="1"/></ROWDATA></DATAPACKET>)");
        resetFromEmptyPacket(ds, memo);
        EXPECT_TRUE(ds.active());
        EXPECT_EQ(ds.recordCount(), 0u);
        std::vector<std::string> got;
        for (const auto& f : ds.fields())
            got.push_back(f.name);
        EXPECT_EQ(got, names) << table.code;
        for (const auto& f : ds.fields()) {
            const FieldType want = f.name == "SERIAL"                   ? FieldType::Int32
                                   : f.name == "RQ" || f.name == "CJRQ" ? FieldType::Date
                                   : f.name == "SPECID"                 ? FieldType::WideString
                                                                        : FieldType::String;
            EXPECT_EQ(f.type, want) << table.code << "." << f.name;
        }
    }
}

TEST(PriceTable, InformationPriceEmptyPacketText) {
    EXPECT_EQ(
        priceTable(Category::XXJ).emptyPacket(),
        R"(  <?xml version="1.0" standalone="yes"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)"
        R"(<FIELD attrname="PERDID" fieldtype="string" WIDTH="6"/>)"
        R"(<FIELD attrname="PLACE" fieldtype="string" WIDTH="12"/>)"
        R"(<FIELD attrname="SERIAL" fieldtype="i4"/>)"
        R"(<FIELD attrname="ITEMDESC" fieldtype="string" WIDTH="64"/>)"
        R"(<FIELD attrname="ITEMID" fieldtype="string" WIDTH="24"/>)"
        R"(<FIELD attrname="ZJID" fieldtype="string" WIDTH="24"/>)"
        R"(<FIELD attrname="SPECID" fieldtype="string.uni" WIDTH="96"/>)"
        R"(<FIELD attrname="MODEL" fieldtype="string" WIDTH="64"/>)"
        R"(<FIELD attrname="BRAND" fieldtype="string" WIDTH="32"/>)"
        R"(<FIELD attrname="MATERIAL" fieldtype="string" WIDTH="32"/>)"
        R"(<FIELD attrname="UNIT" fieldtype="string" WIDTH="8"/>)"
        R"(<FIELD attrname="XXJ" fieldtype="string" WIDTH="12"/>)"
        R"(<FIELD attrname="DEJ" fieldtype="string" WIDTH="12"/>)"
        R"(<FIELD attrname="NOTE" fieldtype="string" WIDTH="16"/>)"
        R"(<FIELD attrname="RQ" fieldtype="date"/>)"
        R"(</FIELDS><PARAMS/></METADATA><ROWDATA></ROWDATA></DATAPACKET>)");
}

TEST(PriceTable, UserFacingTitles) {
    const PriceTable& csj = priceTable(Category::CSJ);
    EXPECT_EQ(csj.title, "厂商报价");
    EXPECT_EQ(csj.columns[4].title, "标准材料编码");
    EXPECT_EQ(csj.columns[4].dataCentreTitle, "材料编码");
    EXPECT_EQ(csj.columns[10].title, "厂商价");
    EXPECT_EQ(priceTable(Category::CJJ).columns[11].title, "成交日期");
}

}  // namespace
}  // namespace tarvelo
