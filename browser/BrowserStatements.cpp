#include "browser/BrowserStatements.h"

#include "text/SqlLiteral.h"
#include "text/StatementBuffer.h"

namespace tarvelo {

namespace {

// The column lines of the common table expression: for the suggestions, and for the search.
std::string_view suggestionColumns(Category c) {
    switch (c) {
        case Category::XXJ:
            return ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MATERIAL,XXJ,SERIAL ";
        case Category::CJJ:
            return ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MATERIAL,CJJ,SERIAL ";
        case Category::MMJ:
            return ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MMJ,SERIAL,UNIT,VEND,LINKMAN,"
                   "LINKTEL ";
        case Category::CSJ:
            return ",ITEMID,ITEMDESC,VEND,PERDID,SPECID,MODEL,BRAND,MATERIAL,UNIT,CSJ,SERIAL,"
                   "ICEXT ";
    }
    return {};
}

std::string_view searchColumns(Category c) {
    switch (c) {
        case Category::XXJ:
            return ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MATERIAL,XXJ,SERIAL,UNIT,DEJ,"
                   "NOTE ";
        case Category::CJJ:
            return ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MATERIAL,CJJ,SERIAL,UNIT,CJRQ,"
                   "NOTE ";
        case Category::MMJ:
            return ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MMJ,SERIAL,UNIT,VEND,LINKMAN,"
                   "LINKTEL,NOTE ";
        case Category::CSJ:
            return ",ITEMID,ITEMDESC,VEND,PERDID,SPECID,MODEL,BRAND,MATERIAL,UNIT,CSJ,SERIAL,ICEXT,"
                   "LINKMAN,LINKTEL,NOTE ";
    }
    return {};
}

// Both statements share all but the column line, the final select and the ordering.
void composite(StatementBuffer& b, Category c, std::string_view period, std::string_view place,
               std::string_view text, bool search) {
    b.clear();
    b.add("with AAA as");
    b.add("(");
    b.add(" Select coalesce(ITEMDESC,',') ");
    if (c == Category::CSJ) {
        b.add(" ||','||coalesce(VEND,',') ");
        b.add(" ||','||coalesce(PERDID,',') ");
        b.add(" ||','||coalesce(ICEXT,',') ");
    } else {
        b.add(" ||','||coalesce(PLACE,',') ");
        b.add(" ||','||coalesce(PERDID,',') ");
        if (c == Category::MMJ) b.add(" ||','||coalesce(VEND,',') ");
    }
    b.add(" MERG");
    b.add(search ? searchColumns(c) : suggestionColumns(c));
    b.add(" From " + std::string(priceTable(c).tableName));
    if (BrowserStatements::byRegion(c)) {
        b.add(std::string(" WHERE PLACE=") + sqlLiteral(place) + " ");
        b.add(std::string(" and PERDID=") + sqlLiteral(period) + " ");
    } else {
        b.add(std::string(" WHERE PERDID=") + sqlLiteral(period) + " ");
    }
    b.add(" ) ");
    b.add(search ? " Select * from AAA  " : " Select DISTINCT ITEMDESC from AAA  ");
    b.add(std::string(" where PosStr(MERG,") + sqlLiteral(text) + ")>=1");
    if (search) b.add(" Order by SERIAL ");
}

}  // namespace

void BrowserStatements::itemList(StatementBuffer& b, Category c, std::string_view period,
                                 std::string_view place) {
    b.clear();
    b.add(" SELECT distinct ITEMDESC FROM " + std::string(priceTable(c).tableName) + " ");
    b.add(std::string(" where PERDID=") + sqlLiteral(period));
    if (byRegion(c)) b.add(std::string(" and PLACE=") + sqlLiteral(place));
}

void BrowserStatements::suggestion(StatementBuffer& b, Category c, std::string_view period,
                                   std::string_view place, std::string_view text) {
    composite(b, c, period, place, text, false);
}

void BrowserStatements::search(StatementBuffer& b, Category c, std::string_view period,
                               std::string_view place, std::string_view text) {
    composite(b, c, period, place, text, true);
}

}  // namespace tarvelo
