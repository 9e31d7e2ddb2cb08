#include "data/PriceTable.h"

#include "data/DataSet.h"
#include "data/PacketWriter.h"
#include "text/Base64.h"

namespace tarvelo {

namespace {

using T = FieldType;

constexpr PriceColumn kXXJ[] = {
    {"PERDID", T::String, 6, ""},
    {"PLACE", T::String, 12, "地区"},
    {"SERIAL", T::Int32, 0, "序号"},
    {"ITEMDESC", T::String, 64, "材料名"},
    {"ITEMID", T::String, 24, "标准材料编码"},
    {"ZJID", T::String, 24, "造价处编码"},
    {"SPECID", T::WideString, 96, "规格"},
    {"MODEL", T::String, 64, "型号"},
    {"BRAND", T::String, 32, "品牌"},
    {"MATERIAL", T::String, 32, "材质"},
    {"UNIT", T::String, 8, "计量单位"},
    {"XXJ", T::String, 12, "信息价"},
    {"DEJ", T::String, 12, "定额价"},
    {"NOTE", T::String, 16, "备注"},
    {"RQ", T::Date, 0, ""},
};

constexpr PriceColumn kCJJ[] = {
    {"PERDID", T::String, 6, ""},
    {"SERIAL", T::Int32, 0, "序号"},
    {"PLACE", T::String, 12, "地区"},
    {"ITEMDESC", T::String, 64, "材料名"},
    {"ITEMID", T::String, 24, "标准材料编码"},
    {"SPECID", T::WideString, 96, "规格"},
    {"MODEL", T::String, 64, "型号"},
    {"BRAND", T::String, 32, "品牌"},
    {"MATERIAL", T::String, 32, "材质"},
    {"UNIT", T::String, 8, "计量单位"},
    {"CJJ", T::String, 12, "成交价"},
    {"CJRQ", T::Date, 0, "成交日期"},
    {"RQ", T::Date, 0, ""},
    {"NOTE", T::String, 16, "备注"},
};

constexpr PriceColumn kMMJ[] = {
    {"PERDID", T::String, 6, ""},
    {"PLACE", T::String, 12, "地区"},
    {"SERIAL", T::Int32, 0, "序号"},
    {"ITEMDESC", T::String, 64, "材料名"},
    {"ITEMID", T::String, 24, "标准材料编码"},
    {"SPECID", T::WideString, 96, "规格"},
    {"MODEL", T::String, 64, "型号"},
    {"BRAND", T::String, 32, "品牌"},
    {"UNIT", T::String, 8, "计量单位"},
    {"MMJ", T::String, 12, "苗木价"},
    {"VEND", T::String, 48, "供应商"},
    {"LINKMAN", T::String, 24, "联系人"},
    {"LINKTEL", T::String, 32, "联系电话"},
    {"NOTE", T::String, 16, "备注"},
    {"RQ", T::Date, 0, ""},
};

constexpr PriceColumn kCSJ[] = {
    {"PERDID", T::String, 6, ""},
    {"ICEXT", T::String, 48, ""},
    {"SERIAL", T::Int32, 0, "序号"},
    {"ITEMDESC", T::String, 64, "材料名"},
    {"ITEMID", T::String, 24, "标准材料编码", "材料编码"},
    {"SPECID", T::WideString, 96, "规格"},
    {"MODEL", T::String, 64, "型号"},
    {"BRAND", T::String, 32, "品牌"},
    {"MATERIAL", T::String, 32, "材质"},
    {"UNIT", T::String, 8, "计量单位"},
    {"CSJ", T::String, 12, "厂商价"},
    {"VEND", T::String, 48, "供应商"},
    {"LINKMAN", T::String, 24, "联系人"},
    {"LINKTEL", T::String, 32, "联系电话"},
    {"NOTE", T::String, 16, "备注"},
    {"RQ", T::Date, 0, ""},
};

constexpr std::string_view kPeriodRegion[] = {"PERDID", "PLACE"};
constexpr std::string_view kPeriod[] = {"PERDID"};
constexpr std::string_view kPeriodClass[] = {"PERDID", "ICEXT"};

const std::array<PriceTable, 4> kTables{{
    {Category::XXJ, "XXJ", "KVR_XXJ", "信息价", kXXJ, kPeriodRegion, "XXJMemo"},
    {Category::CJJ, "CJJ", "KVR_CJJ", "成交价", kCJJ, kPeriod, "CJJMemo"},
    {Category::MMJ, "MMJ", "KVR_MMJ", "苗木价", kMMJ, kPeriodRegion, "MMJMemo"},
    {Category::CSJ, "CSJ", "KVR_CSJ", "厂商报价", kCSJ, kPeriodClass, "CSJMemo"},
}};

}  // namespace

const std::array<PriceTable, 4>& priceTables() {
    return kTables;
}

const PriceTable& priceTable(Category category) {
    return kTables[static_cast<std::size_t>(category)];
}

std::string PriceTable::keyList() const {
    std::string keys;
    for (const auto column : unitColumns) {
        keys += column;
        keys += ',';
    }
    return keys + "SERIAL";
}

std::vector<FieldDef> PriceTable::fieldDefs() const {
    std::vector<FieldDef> defs;
    defs.reserve(columns.size());
    for (const auto& c : columns)
        defs.push_back(FieldDef::make(std::string(c.name), c.type, c.width));
    return defs;
}

std::string PriceTable::emptyPacket() const {
    return "  " + PacketWriter(fieldDefs(), false).finish();
}

std::string PriceTable::emptyPacketBase64() const {
    return base64Encode(emptyPacket());
}

void PriceTable::reset(DataSet& dataSet) const {
    resetFromEmptyPacket(dataSet, emptyPacketBase64());
}

void resetFromEmptyPacket(DataSet& dataSet, std::string_view base64Text) {
    dataSet.loadPacket(base64Decode(base64Text));
}

}  // namespace tarvelo
