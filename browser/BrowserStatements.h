#pragma once

#include <string_view>

#include "data/PriceTable.h"

namespace tarvelo {

class StatementBuffer;

// The statements of the information centre, composed line by line into the window's statement
// buffer; every value goes in through the quoting helper.
struct BrowserStatements {
    // The distinct item names of a category's period; `place` narrows "信息价" and "苗木价" to a
    // region (ignored for the other categories).
    static void itemList(StatementBuffer& b, Category category, std::string_view period,
                         std::string_view place);
    // The suggestions of the search box: distinct names whose composite key holds `text`.
    static void suggestion(StatementBuffer& b, Category category, std::string_view period,
                           std::string_view place, std::string_view text);
    // The search: every matching row of the category's period (and region), by SERIAL.
    static void search(StatementBuffer& b, Category category, std::string_view period,
                       std::string_view place, std::string_view text);
    // Whether the category's statements take a region.
    static bool byRegion(Category category) {
        return category == Category::XXJ || category == Category::MMJ;
    }
};

}  // namespace tarvelo
