#include "import/ImportUnit.h"

#include <array>

#include "data/DataSet.h"
#include "text/Date.h"
#include "text/DateTime.h"
#include "text/Error.h"
#include "text/SqlLiteral.h"
#include "text/StatementBuffer.h"
#include "text/Trim.h"
#include "workbook/CellError.h"
#include "workbook/WorkbookReader.h"

namespace tarvelo {

namespace {

// The field each worksheet column fills, column 1 first; empty where the column is not read.
using Mapping = std::array<std::string_view, 13>;
constexpr Mapping kXXJ = {"ITEMDESC", "ITEMID", "ZJID", "SPECID", "MODEL", "BRAND", "MATERIAL",
                          "UNIT",     "XXJ",    "DEJ",  "NOTE",   "",      ""};
constexpr Mapping kCJJ = {"ITEMDESC", "ITEMID", "SPECID", "MODEL", "BRAND", "MATERIAL", "UNIT",
                          "CJJ",      "PLACE",  "CJRQ",   "NOTE",  "",      ""};
constexpr Mapping kMMJ = {"ITEMDESC", "ITEMID", "",     "SPECID",  "MODEL",   "BRAND", "",
                          "UNIT",     "MMJ",    "VEND", "LINKMAN", "LINKTEL", "NOTE"};
constexpr Mapping kCSJ = {"ITEMDESC", "ITEMID", "SPECID",  "MODEL",   "BRAND", "MATERIAL", "UNIT",
                          "CSJ",      "VEND",   "LINKMAN", "LINKTEL", "NOTE",  ""};

const Mapping& mapping(Category c) {
    switch (c) {
        case Category::XXJ:
            return kXXJ;
        case Category::CJJ:
            return kCJJ;
        case Category::MMJ:
            return kMMJ;
        case Category::CSJ:
            return kCSJ;
    }
    return kXXJ;
}

// The column holding the unit's target: PLACE, ICEXT, or none for deal prices.
std::string_view targetColumn(Category c) {
    return c == Category::CSJ ? "ICEXT" : c == Category::CJJ ? "" : "PLACE";
}

}  // namespace

const ImportUnit& ImportUnit::of(Category category) {
    static const ImportUnit units[] = {
        {Category::XXJ}, {Category::CJJ}, {Category::MMJ}, {Category::CSJ}};
    return units[static_cast<int>(category)];
}

std::string_view ImportUnit::emptyTargetMessage() const {
    return category == Category::CSJ ? "请选择材料类型导入数据" : "请选择地区导入数据";
}

void ImportUnit::storedRows(StatementBuffer& b, std::string_view period, std::string_view target,
                            std::string_view select) const {
    const std::string table(priceTable(category).tableName);
    b.clear();
    b.add(select);
    b.add(" FROM " + table + " ");
    b.add(std::string(" where PERDID=") + sqlLiteral(period));
    if (needsTarget() && !target.empty())
        b.add(" and " + std::string(targetColumn(category)) + "=" + sqlLiteral(target));
}

std::optional<FieldDef> ImportUnit::targetField() const {
    if (!needsTarget()) return std::nullopt;
    for (const FieldDef& f : priceTable(category).fieldDefs())
        if (f.name == targetColumn(category)) return f;
    return std::nullopt;
}

int ImportUnit::read(WorkbookReader& sheet, DataSet& ds, std::string_view period,
                     std::string_view target, const std::string& today,
                     std::vector<CellChange>& changes) const {
    const PriceTable& table = priceTable(category);
    const Date day = *Date::fromText(today);
    const Mapping& columns = mapping(category);
    // "工作表第 3 行 H 列（计量单位）": which cell, by the column's title.
    const auto label = [&](int row, int c, std::string_view field) {
        std::string title;
        for (const auto& col : table.columns)
            if (col.name == field)
                title = std::string(col.dataCentreTitle.empty() ? col.title : col.dataCentreTitle);
        return "第 " + std::to_string(row) + " 行 " + columnLetter(c) + " 列（" +
               (title.empty() ? std::string(field) : title) + "）";
    };
    // A cell with no value to read (an error value, a formula without its result) is refused
    // by the reader, also in column A where the rule looks for the end: named here by its title.
    try {
        return forEachImportRow(sheet, [&](int row) {
            ds.setLogChanges(true);
            ds.append();
            ds.fieldByName("PERDID").setText(period);
            ds.fieldByName("SERIAL").setText(std::to_string(row - 1));
            if (!targetColumn(category).empty())
                ds.fieldByName(targetColumn(category)).setText(target);
            for (int c = 1; c <= 13; ++c) {
                const std::string_view field = columns[static_cast<std::size_t>(c - 1)];
                if (field.empty()) continue;
                std::string text = sheet.cellText(row, c);
                try {
                    const bool trimmed = field == "SPECID" && category == Category::XXJ;
                    if (trimmed) text = std::string(trim(text));
                    auto flaws = WireText::flaws(text);
                    for (const auto& f : flaws)
                        if (f.control) throw Error("含有" + WireText::describe(f) + "，不能导入。");
                    if (!flaws.empty()) {
                        // Trimmed again: a no-break space at an end becomes a blank.
                        std::string fitted = WireText::fitted(text);
                        if (trimmed) fitted = std::string(trim(fitted));
                        changes.push_back({row, c, label(row, c, field), std::move(text), fitted,
                                           std::move(flaws)});
                        text = std::move(fitted);
                    }
                    if (field == "CJRQ") {
                        // A deal date is a date and nothing else: no text after it, no time of day.
                        const std::string_view date = trim(text);
                        if (date.empty()) continue;
                        const auto parsed = Date::fromText(date);
                        if (!parsed) throw Error("“" + text + "”不是日期。");
                        ds.fieldByName(field).setDateTime(DateTime{*parsed, 0, 0, 0, 0});
                    } else {
                        ds.fieldByName(field).setText(text);
                    }
                } catch (const Error& e) {
                    // Which cell could not be stored, and why, for the line after
                    // "打开Excel失败。".
                    throw Error("工作表" + label(row, c, field) + "：" + e.message(), e.detail());
                }
            }
            ds.fieldByName("RQ").setDateTime(DateTime{day, 0, 0, 0, 0});
            ds.post();
        });
    } catch (const CellError& e) {
        throw Error(
            "工作表" +
                label(e.row(), e.column(), columns[static_cast<std::size_t>(e.column() - 1)]) +
                "：" + e.reason(),
            e.detail());
    }
}

}  // namespace tarvelo
