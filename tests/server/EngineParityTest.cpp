#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "browser/BrowserStatements.h"
#include "server/store/DemoData.h"
#include "server/ServerFixture.h"
#include "support/TestService.h"
#include "text/StatementBuffer.h"

namespace tarvelo::test {
namespace {

// The client's statements, as it sends them, over the demonstration data.
std::vector<std::string> clientStatements(const Date& today) {
    std::vector<std::string> out = {
        statement({"select ID,IDDESC FROM KVR_REGION ORDER BY ID "}),
        statement({"select ID,IDDESC FROM KVR_ICEXT ORDER BY ID"}),
        // The administration window's list: a CTE, CASE and SubStr over the accounts.
        statement({"with aaa as ", "( ", "SELECT USERID,USERNAME,QQ,EMAIL,SYSBZ,TEL,DATABZ ",
                   ",CASE WHEN SubStr(DATABZ,1,1)='1' THEN '√' ELSE  ' ' END AS DBZ1 ",
                   ",CASE WHEN SubStr(DATABZ,2,1)='1' THEN '√' ELSE  ' ' END AS DBZ2 ",
                   "FROM KVR_USERH ", "Where SYSBZ<>'1' ", "Order By USERID ", ") ",
                   "select USERID,USERNAME,QQ,EMAIL,SYSBZ,TEL,DATABZ,DBZ1,DBZ2 ", "from aaa "}),
        statement({"Select * From KVR_LOGIN  ", "Where USERID='admin'  "}),
        statement({" Select count(*) AS N ", " From KVR_XXJ ", " Where PERDID='202612' "}),
    };
    const std::string period = today.period();
    for (const Category c : {Category::XXJ, Category::CJJ, Category::MMJ, Category::CSJ}) {
        const std::string place = BrowserStatements::byRegion(c) ? "东城区" : "钢材";
        for (const char* text : {"钢", "HRB400", "面议", "没有这种材料'"}) {
            StatementBuffer suggestion, search;
            BrowserStatements::suggestion(suggestion, c, period, place, text);
            BrowserStatements::search(search, c, period, place, text);
            out.push_back(suggestion.text());
            out.push_back(search.text());
        }
        StatementBuffer items;
        BrowserStatements::itemList(items, c, period, place);
        out.push_back(items.text());
    }
    return out;
}

// A packet's rows in a fixed order, for a statement that leaves their order open (DISTINCT
// without ORDER BY: SQLite answers in the order of first appearance, PostgreSQL sorted).
std::string rowsSorted(const std::string& packet) {
    const auto first = packet.find("<ROW ");
    const auto end = packet.rfind("</ROWDATA>");
    if (first == std::string::npos || end == std::string::npos) return packet;
    std::vector<std::string> rows;
    for (auto at = first; at < end;) {
        const auto next = packet.find("/>", at) + 2;
        rows.push_back(packet.substr(at, next - at));
        at = next;
    }
    std::sort(rows.begin(), rows.end());
    std::string out = packet.substr(0, first);
    for (const auto& r : rows)
        out += r;
    return out + packet.substr(end);
}

// The same rows on both engines give the same packets, byte for byte: names, types and widths
// in the metadata, dates, numbers, nulls, and the order of rows where the statement orders them.
TEST(EngineParity, TheClientsStatementsGetTheSamePacketsOnBothEngines) {
    if (!TestService::onPostgres()) GTEST_SKIP() << "runs in the suites' PostgreSQL run";
    const Date today{2026, 12, 10};
    TestService sqlite{TestService::OnSqlite{}};
    TestService postgresql;
    server::DemoData::load(sqlite.dbPath(), today);
    server::DemoData::load(postgresql.dbPath(), today);
    std::size_t rows = 0;
    for (const auto& sql : clientStatements(today)) {
        const std::string a = sqlite.query(sql);
        const std::string b = postgresql.query(sql);
        ASSERT_EQ(a.rfind("<?xml", 0), 0u) << sql << "\n" << a.substr(0, 300);
        if (sql.find("Order By") != std::string::npos || sql.find("ORDER BY") != std::string::npos)
            EXPECT_EQ(a, b) << sql;
        else
            EXPECT_EQ(rowsSorted(a), rowsSorted(b)) << sql;
        for (std::size_t at = a.find("<ROW "); at != std::string::npos; at = a.find("<ROW ", at + 1))
            ++rows;
    }
    EXPECT_GT(rows, 300u);  // the statements found what there is to compare

    // A delta applied on both leaves the same rows.
    for (TestService* s : {&sqlite, &postgresql})
        EXPECT_EQ(s->execute("update KVR_REGION set IDDESC='东城新区' where ID='02'"), 1);
    EXPECT_EQ(sqlite.query("select * from KVR_REGION order by ID"),
              postgresql.query("select * from KVR_REGION order by ID"));
}

}  // namespace
}  // namespace tarvelo::test
