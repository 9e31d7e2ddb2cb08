#include "browser/PriceTrend.h"

#include <charconv>
#include <cmath>

#include "data/DataSet.h"
#include "text/SqlLiteral.h"
#include "text/StatementBuffer.h"
#include "text/Trim.h"

namespace tarvelo {

namespace {

std::string period(int monthIndex) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%04d%02d", monthIndex / 12, monthIndex % 12 + 1);
    return buf;
}

int monthIndex(const std::string& p) {
    return std::stoi(p.substr(0, 4)) * 12 + std::stoi(p.substr(4, 2)) - 1;
}

const char* placeColumn(Category c) {
    return c == Category::CSJ ? "ICEXT" : "PLACE";
}

}  // namespace

std::string PriceTrend::firstPeriod(const std::string& last, int months) {
    return period(monthIndex(last) - (months - 1));
}

void PriceTrend::statement(StatementBuffer& b, const Item& item, const std::string& last,
                           int months) {
    const PriceTable& t = priceTable(item.category);
    b.clear();
    b.add(" Select PERDID," + std::string(t.code) + " From " + std::string(t.tableName) + " ");
    b.add(" Where " + std::string(placeColumn(item.category)) + "=" + sqlLiteral(item.place));
    b.add(" and ITEMDESC=" + sqlLiteral(item.name));
    b.add(" and coalesce(SPECID,'')=" + sqlLiteral(item.specId));
    b.add(" and coalesce(MODEL,'')=" + sqlLiteral(item.model));
    b.add(" and PERDID>=" + sqlLiteral(firstPeriod(last, months)) +
          " and PERDID<=" + sqlLiteral(last));
    b.add(" Order By PERDID,SERIAL ");
}

std::vector<PriceTrend::Point> PriceTrend::series(DataSet& rows, Category category,
                                                  const std::string& last, int months) {
    const std::string priceField(priceTable(category).code);
    std::vector<Point> out;
    const int first = monthIndex(last) - (months - 1);
    for (int m = 0; m < months; ++m)
        out.push_back({period(first + m), std::nullopt, {}, false});
    if (!rows.active()) return out;
    for (rows.first(); !rows.eof(); rows.next()) {
        const std::string p = rows.fieldByName("PERDID").asText();
        if (p.size() != 6) continue;
        const int at = monthIndex(p) - first;
        if (at < 0 || at >= months || out[static_cast<std::size_t>(at)].found) continue;
        Point& point = out[static_cast<std::size_t>(at)];
        point.found = true;
        point.text = rows.fieldByName(priceField).asText();
        const std::string_view v = trim(point.text);
        double x = 0;
        const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), x);
        if (ec == std::errc() && end == v.data() + v.size() && !v.empty() && std::isfinite(x))
            point.price = x;
    }
    return out;
}

}  // namespace tarvelo
