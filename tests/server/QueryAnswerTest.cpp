#include <gtest/gtest.h>

#include "data/DataPacket.h"
#include "data/DataSet.h"
#include "data/ReferenceList.h"
#include "server/ServerFixture.h"
#include "text/Error.h"

namespace tarvelo::test {
namespace {

class QueryAnswer : public ::testing::Test {
protected:
    void SetUp() override { loadPriceFixture(service); }
    TestService service;
};

std::string fieldsOf(const DataPacket& p) {
    std::string out;
    for (const auto& f : p.fields)
        out +=
            f.name + ":" + f.typeName + (f.width ? "(" + std::to_string(f.width) + ")" : "") + " ";
    return out;
}

TEST_F(QueryAnswer, DeclaredColumnsGiveTheirPacketTypesAndDatesTravelAsEightDigits) {
    const DataPacket p = DataPacket::parse(service.query(statement(
        {" Select * ", " FROM KVR_XXJ ", " where PERDID='202612'", " and PLACE='东城区'"})));
    EXPECT_EQ(fieldsOf(p),
              "PERDID:string(6) PLACE:string(12) SERIAL:i4 ITEMDESC:string(64) ITEMID:string(24) "
              "ZJID:string(24) SPECID:string.uni(96) MODEL:string(64) BRAND:string(32) "
              "MATERIAL:string(32) UNIT:string(8) XXJ:string(12) DEJ:string(12) NOTE:string(16) "
              "RQ:date ");
    DataSet ds;
    ds.loadPacket(
        service.query("select * from KVR_XXJ where PERDID='202612' and PLACE='东城区' "
                      "order by SERIAL"));
    ASSERT_EQ(ds.recordCount(), 3u);
    EXPECT_EQ(ds.row(0).value(ds.fieldByName("RQ").index()), "20261205");
    EXPECT_TRUE(ds.row(2).isNull(ds.fieldByName("RQ").index()));
    EXPECT_EQ(ds.row(1).value(ds.fieldByName("XXJ").index()), "面议");
}

TEST_F(QueryAnswer, ComputedColumnsAreTypedFromTheirValuesAndNamesAreUpperCaseAndUnique) {
    const DataPacket p = DataPacket::parse(service.query(
        "select count(*) n, max(SERIAL)+0.5 half, PLACE||'：'||ITEMDESC label, itemdesc, "
        "ITEMDESC, 1+1 from KVR_XXJ where PERDID='202612' group by PLACE, ITEMDESC"));
    EXPECT_EQ(fieldsOf(p),
              "N:i4 HALF:r8 LABEL:string(22) ITEMDESC:string(64) ITEMDESC_1:string(64) "
              "COLUMN6:i4 ");
    // A computed text column leaves room for what a client writes into it.
    const DataPacket small = DataPacket::parse(service.query("select ' ' AS DBZ1 from KVR_REGION"));
    EXPECT_EQ(fieldsOf(small), "DBZ1:string(20) ");
}

TEST_F(QueryAnswer, AColumnIsTypedByEveryValueNotOnlyByItsDeclaration) {
    // A compound select takes the first part's declaration: the field widens to what it holds.
    DataSet ds;
    ds.loadPacket(service.query(
        "select ID, RQ from KVR_REGION, (select RQ from KVR_XXJ where PERDID='202612' limit 1) as x "
        "union all select '一个很长的地区编码abc', 'n/a'"));
    EXPECT_EQ(ds.fields()[0].width, 21);
    EXPECT_EQ(ds.fields()[1].typeName, "string");  // no longer a date column
    ds.moveTo(2);
    EXPECT_EQ(ds.fieldByName("ID").asText(), "一个很长的地区编码abc");
    ds.first();
    EXPECT_EQ(ds.fieldByName("RQ").asText(), "2026-12-05");  // as stored, like the others
    const DataPacket special = DataPacket::parse(service.query("select 1e999 AS BIG"));
    EXPECT_EQ(special.fields[0].typeName, "string");  // infinity is no r8 value
}

TEST_F(QueryAnswer, AnEmptyAnswerStillDescribesItsColumns) {
    DataSet ds;
    ds.loadPacket(service.query(statement({"Select * From KVR_LOGIN  ", "Where USERID='amy'  "})));
    EXPECT_EQ(ds.recordCount(), 0u);
    EXPECT_EQ(ds.fieldCount(), 3u);
    EXPECT_EQ(ds.fieldByName("MAC").asText(), "");
}

TEST_F(QueryAnswer, TheSuggestionStatementMatchesItsCompositeKey) {
    const auto names = [&](std::string_view text) {
        DataSet ds;
        ds.loadPacket(service.query(xxjSuggestion("东城区", "202612", text)));
        std::vector<std::string> out;
        for (ds.first(); !ds.eof(); ds.next())
            out.push_back(ds.fieldByName("ITEMDESC").asText());
        std::sort(out.begin(), out.end());
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(names("钢筋"), V{"热轧带肋钢筋"});
    EXPECT_EQ(names("东城"), (V{"", "普通硅酸盐水泥", "热轧带肋钢筋"}));  // a null name: empty
    EXPECT_EQ(names("2026"), (V{"", "普通硅酸盐水泥", "热轧带肋钢筋"}));
    EXPECT_EQ(names("西城"), V{});
    EXPECT_EQ(names("hrb"), V{});  // case-sensitive, and SPECID is not in the key
}

TEST_F(QueryAnswer, PosStrCountsCharactersAndPassesNullsOn) {
    DataSet ds;
    ds.loadPacket(service.query(
        "select PosStr('热轧带肋钢筋','钢筋') a, POSSTR('abc','x') b, posstr(NULL,'a') c, "
        "PosStr('abc','') d, SubStr('10',2,1) e"));
    EXPECT_EQ(ds.fieldByName("A").asText(), "5");
    EXPECT_EQ(ds.fieldByName("B").asText(), "0");
    EXPECT_TRUE(ds.isNull(ds.fieldByName("C").index()));
    EXPECT_EQ(ds.fieldByName("D").asText(), "1");
    EXPECT_EQ(ds.fieldByName("E").asText(), "0");
}

TEST_F(QueryAnswer, TheClientsOtherStatementsRunAsWritten) {
    // The user list of the roles administration, with its ticks.
    DataSet users;
    users.loadPacket(service.query(
        statement({"with aaa as ", "( ", "SELECT USERID,USERNAME,QQ,EMAIL,SYSBZ,TEL,DATABZ ",
                   ",CASE WHEN SubStr(DATABZ,1,1)='1' THEN '√' ELSE  ' ' END AS DBZ1 ",
                   ",CASE WHEN SubStr(DATABZ,2,1)='1' THEN '√' ELSE  ' ' END AS DBZ2 ",
                   "FROM KVR_USERH ", "Where SYSBZ<>'1' ", "Order By USERID ", ") ",
                   "select USERID,USERNAME,QQ,EMAIL,SYSBZ,TEL,DATABZ,DBZ1,DBZ2 ", "from aaa "})));
    ASSERT_EQ(users.recordCount(), 2u);
    EXPECT_EQ(users.fieldByName("USERID").asText(), "amy");
    EXPECT_EQ(users.fieldByName("DBZ1").asText(), "√");
    EXPECT_EQ(users.fieldByName("DBZ2").asText(), " ");
    users.edit();
    users.fieldByName("DBZ2").setText("√");  // the flip a click makes
    users.post();

    // The login's lookup through an alias.
    DataSet login;
    login.loadPacket(service.query(
        statement({" SELECT u.USERID,u.USERNAME,u.PASSWORD,u.PWBZ,u.SYSBZ,u.DATABZ,u.TEL,u.VERIFY ",
                   " FROM KVR_USERH u ", " Where u.USERID='bob'  "})));
    EXPECT_EQ(login.fieldByName("DATABZ").asText(), "01");

    // The reference lists and an item list.
    DataSet regions;
    regions.loadPacket(service.query(ReferenceList::regions().statement));
    EXPECT_EQ(regions.recordCount(), 2u);
    DataSet items;
    items.loadPacket(service.query(
        statement({" SELECT distinct ITEMDESC FROM KVR_CJJ ", " where PERDID='202612'"})));
    EXPECT_EQ(items.recordCount(), 2u);
}

TEST_F(QueryAnswer, ARejectedStatementIsAnsweredWithATextThatSaysWhy) {
    const std::string answer = service.query("select nothing from nowhere");
    EXPECT_NE(answer.find("语句有错误"), std::string::npos) << answer;
    DataSet ds;
    EXPECT_THROW(ds.loadPacket(answer), Error);
}

TEST(QueryLimits, ALongStatementIsInterruptedAndAHugeAnswerRefused) {
    server::ServiceLimits limits;
    limits.statementTime = std::chrono::milliseconds(200);
    limits.maxAnswerBytes = 4096;
    TestService service(limits);
    const auto started = std::chrono::steady_clock::now();
    const std::string endless = service.query(
        "with recursive n(i) as (select 1 union all select i+1 from n) select count(*) from n");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_NE(endless.find("已被中止"), std::string::npos) << endless;

    const std::string huge = service.query(
        "with recursive n(i) as (select 1 union all select i+1 from n where i<1000) "
        "select i, 'some text to fill the answer' t from n");
    EXPECT_NE(huge.find("查询结果太大"), std::string::npos) << huge;
    // Rows of nulls cost their room too.
    const std::string nulls = service.query(
        "with recursive n(i) as (select 1 union all select i+1 from n) "
        "select null a, null b, null c, null d from n");
    EXPECT_NE(nulls.find("查询结果太大"), std::string::npos) << nulls;
    // A value past the length limit is refused at once, so no single function call can run
    // for long where the clock cannot stop it.
    const std::string big = service.query(TestService::dialect(
        "select instr(zeroblob(100000), 'x')", "select strpos(repeat('x', 2000000000), 'x')"));
    EXPECT_NE(big.find("值太大"), std::string::npos) << big;
    // The service goes on answering.
    EXPECT_NO_THROW(DataPacket::parse(service.query("select 1 as one")));
}

}  // namespace
}  // namespace tarvelo::test
