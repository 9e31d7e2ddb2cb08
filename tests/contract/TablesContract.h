#pragma once

// The price tables, the reference lists and the worksheet templates as the client and the
// service agree on them, written out by hand.
//
// The client and the service are both built from the one declaration in data/PriceTable.cpp,
// data/ReferenceList.cpp and workbook/Templates.cpp, so a slip there is made on both sides at
// once and nothing built from it can notice. These copies are typed in separately; keep them so:
// never fill them from the code.

#include <span>
#include <string_view>

namespace tarvelo::contract {

// One column as a data packet describes it: `type` is the FIELD's fieldtype, `width` its WIDTH
// (code page 936 bytes for "string", UTF-16 bytes for "string.uni"; 0 where the type has none).
struct Column {
    std::string_view name;
    std::string_view type;
    int width;
};

struct PriceTable {
    std::string_view code;   // the category
    std::string_view title;  // the category as users see it
    std::string_view name;
    std::string_view keyList;         // passed with a delta
    std::span<const Column> columns;  // in packet order
};

inline constexpr Column kXXJColumns[] = {
    {"PERDID", "string", 6},      {"PLACE", "string", 12},  {"SERIAL", "i4", 0},
    {"ITEMDESC", "string", 64},   {"ITEMID", "string", 24}, {"ZJID", "string", 24},
    {"SPECID", "string.uni", 96}, {"MODEL", "string", 64},  {"BRAND", "string", 32},
    {"MATERIAL", "string", 32},   {"UNIT", "string", 8},    {"XXJ", "string", 12},
    {"DEJ", "string", 12},        {"NOTE", "string", 16},   {"RQ", "date", 0},
};

inline constexpr Column kCJJColumns[] = {
    {"PERDID", "string", 6},    {"SERIAL", "i4", 0},      {"PLACE", "string", 12},
    {"ITEMDESC", "string", 64}, {"ITEMID", "string", 24}, {"SPECID", "string.uni", 96},
    {"MODEL", "string", 64},    {"BRAND", "string", 32},  {"MATERIAL", "string", 32},
    {"UNIT", "string", 8},      {"CJJ", "string", 12},    {"CJRQ", "date", 0},
    {"RQ", "date", 0},          {"NOTE", "string", 16},
};

// No material grade, no office code.
inline constexpr Column kMMJColumns[] = {
    {"PERDID", "string", 6},    {"PLACE", "string", 12},  {"SERIAL", "i4", 0},
    {"ITEMDESC", "string", 64}, {"ITEMID", "string", 24}, {"SPECID", "string.uni", 96},
    {"MODEL", "string", 64},    {"BRAND", "string", 32},  {"UNIT", "string", 8},
    {"MMJ", "string", 12},      {"VEND", "string", 48},   {"LINKMAN", "string", 24},
    {"LINKTEL", "string", 32},  {"NOTE", "string", 16},   {"RQ", "date", 0},
};

// No region: a material class instead.
inline constexpr Column kCSJColumns[] = {
    {"PERDID", "string", 6},    {"ICEXT", "string", 48},   {"SERIAL", "i4", 0},
    {"ITEMDESC", "string", 64}, {"ITEMID", "string", 24},  {"SPECID", "string.uni", 96},
    {"MODEL", "string", 64},    {"BRAND", "string", 32},   {"MATERIAL", "string", 32},
    {"UNIT", "string", 8},      {"CSJ", "string", 12},     {"VEND", "string", 48},
    {"LINKMAN", "string", 24},  {"LINKTEL", "string", 32}, {"NOTE", "string", 16},
    {"RQ", "date", 0},
};

// The four categories, always in this order.
inline constexpr PriceTable kPriceTables[] = {
    {"XXJ", "信息价", "KVR_XXJ", "PERDID,PLACE,SERIAL", kXXJColumns},
    {"CJJ", "成交价", "KVR_CJJ", "PERDID,SERIAL", kCJJColumns},
    {"MMJ", "苗木价", "KVR_MMJ", "PERDID,PLACE,SERIAL", kMMJColumns},
    {"CSJ", "厂商报价", "KVR_CSJ", "PERDID,ICEXT,SERIAL", kCSJColumns},
};

// A list of names read whole with `statement` (sent as one string, exactly so). Its IDDESC is
// the value the price tables store in `storedIn`, so it must fit there.
struct ReferenceList {
    std::string_view name;
    std::string_view statement;
    std::string_view storedIn;
    int storedWidth;
};

inline constexpr ReferenceList kReferenceLists[] = {
    {"KVR_REGION", "select ID,IDDESC FROM KVR_REGION ORDER BY ID ", "PLACE", 12},
    {"KVR_ICEXT", "select ID,IDDESC FROM KVR_ICEXT ORDER BY ID", "ICEXT", 48},
};

// An empty workbook a data-update user fills: one worksheet with the titles in row 1.
struct Template {
    std::string_view fileName;
    std::string_view sheetName;
    std::span<const std::string_view> titles;  // columns A, B, C, ...
};

inline constexpr std::string_view kXXJTitles[] = {
    "材料名", "标准材料编码", "造价处编码", "规格",   "型号", "品牌",
    "材质",   "计量单位",     "信息价",     "定额价", "备注",
};
inline constexpr std::string_view kCJJTitles[] = {
    "材料名",   "标准材料编码", "规格", "型号",     "品牌", "材质",
    "计量单位", "成交价",       "地区", "成交日期", "备注",
};
// Thirteen columns: C (造价处编码) and G (材质) are there although the import skips them.
inline constexpr std::string_view kMMJTitles[] = {
    "材料名称", "编码",   "造价处编码", "规格",   "型号",     "品牌", "材质",
    "计量单位", "苗木价", "供应商",     "联系人", "联系电话", "备注",
};
inline constexpr std::string_view kCSJTitles[] = {
    "材料名",   "标准材料编码", "规格",   "型号",   "品牌",     "材质",
    "计量单位", "厂商报价",     "供应商", "联系人", "联系电话", "备注",
};

// Written in this order by the download.
inline constexpr Template kTemplates[] = {
    {"信息价模板.xls", "信息价", kXXJTitles},
    {"成交价模板.xls", "成交价", kCJJTitles},
    {"苗木价模板.xls", "苗木价", kMMJTitles},
    {"厂商报价模板.xls", "create", kCSJTitles},
};

}  // namespace tarvelo::contract
