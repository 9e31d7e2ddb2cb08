#pragma once

#include <optional>
#include <string>
#include <vector>

#include "data/PriceTable.h"

namespace tarvelo {

class DataSet;
class StatementBuffer;

// One item's price over the months up to a period: the statement that reads it and the series
// a chart draws. Qt-free.
class PriceTrend {
public:
    // The item: its name, 规格 (SPECID) and model (empty for none), and its region (信息价,
    // 成交价, 苗木价) or material class (厂商报价).
    struct Item {
        Category category;
        std::string name, specId, model, place;
    };
    struct Point {
        std::string period;           // "YYYYMM"
        std::optional<double> price;  // nullopt: no price that month, or one that is no number
        std::string text;             // as stored ("面议"); empty when the month has no row
        bool found = false;           // the month has a row
    };

    // The months `months` long ending with `last` ("YYYYMM"), the first of them.
    static std::string firstPeriod(const std::string& last, int months);
    // One statement over the price table: the item's rows of those months, by month and SERIAL.
    static void statement(StatementBuffer& b, const Item& item, const std::string& last,
                          int months);
    // A point for every month, in order: the month's first row (by SERIAL) gives its price.
    static std::vector<Point> series(DataSet& rows, Category category, const std::string& last,
                                     int months);
};

}  // namespace tarvelo
