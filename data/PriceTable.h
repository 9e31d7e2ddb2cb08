#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data/FieldDef.h"

namespace tarvelo {

class DataSet;

// The four price categories, always in this order.
enum class Category { XXJ, CJJ, MMJ, CSJ };

struct PriceColumn {
    std::string_view name;
    FieldType type;
    int width;               // 0 for the non-text columns
    std::string_view title;  // shown to users; empty where the column has no title of its own
    std::string_view dataCentreTitle = {};  // where the data centre says it differently
};

// One price table as the client reads and writes it: columns in packet order, the import unit
// (the columns that, with SERIAL, form the key) and the hidden control holding its empty packet.
struct PriceTable {
    Category category;
    std::string_view code;       // "XXJ"
    std::string_view tableName;  // "KVR_XXJ"
    std::string_view title;      // "信息价"
    std::span<const PriceColumn> columns;
    std::span<const std::string_view> unitColumns;  // PERDID, then PLACE or ICEXT where present
    std::string_view memoName;                      // "XXJMemo"

    // The key list passed with a delta: the unit columns and SERIAL, comma-separated.
    std::string keyList() const;
    std::vector<FieldDef> fieldDefs() const;
    // The empty packet: the field descriptions, no parameters, no rows; with the two leading
    // blanks the stored packets have always had.
    std::string emptyPacket() const;
    // The empty packet as its hidden control holds it: Base64 of the packet text.
    std::string emptyPacketBase64() const;
    // Opens `dataSet` on the table's fields with no rows.
    void reset(DataSet& dataSet) const;
};

const std::array<PriceTable, 4>& priceTables();
const PriceTable& priceTable(Category category);

// Resets an import dataset from a control's text: Base64 of an empty packet, decoded and loaded.
void resetFromEmptyPacket(DataSet& dataSet, std::string_view base64Text);

}  // namespace tarvelo
