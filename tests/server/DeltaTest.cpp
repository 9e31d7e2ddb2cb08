#include <gtest/gtest.h>

#include "data/PriceTable.h"
#include "server/ServerFixture.h"
#include "soap/SoapFault.h"
#include "text/DateTime.h"

namespace tarvelo::test {
namespace {

// The parameter text the client sends with a delta.
std::string params(std::string_view table, std::string_view key, std::string_view excluded = "") {
    return statement({"SQL00=Select 'AAA' AAA From " + std::string(table) + " Where 1=2",
                      "Key00=ResolveToSQL;upWhereChanged;" + std::string(key),
                      "Inc00=", "Exc00=" + std::string(excluded)});
}

class Delta : public ::testing::Test {
protected:
    void SetUp() override { loadPriceFixture(service); }

    // Rows of an import: the information-price template with `n` rows appended; row `wide`
    // (from 1; none when 0) has a name one byte wider than its column.
    std::string importDelta(int n, std::string_view place = "南湖区", int wide = 0) {
        DataSet ds;
        priceTable(Category::XXJ).reset(ds);
        for (int i = 1; i <= n; ++i) {
            ds.append();
            ds.fieldByName("PERDID").setText("202612");
            ds.fieldByName("PLACE").setText(place);
            ds.fieldByName("SERIAL").setText(std::to_string(i));
            ds.fieldByName("ITEMDESC")
                .setText(i == wide ? std::string(65, 'x') : "钢筋" + std::to_string(i));
            ds.fieldByName("SPECID").setText("规格“甲”\r\n第二行\\");
            ds.fieldByName("XXJ").setText(i % 2 ? "4100" : "面议");
            ds.fieldByName("RQ").setDateTime(DateTime{Date{2026, 12, 10}, 9, 30, 0, 0});
            ds.post();
        }
        return *ds.delta();
    }

    std::string count(std::string_view where) {
        return service.scalar("select count(*) from KVR_XXJ where " + std::string(where));
    }

    TestService service;
};

TEST_F(Delta, InsertedRowsAreStoredWithTheirValuesExactly) {
    EXPECT_EQ(service.applyDelta(params("KVR_XXJ", "PERDID,PLACE,SERIAL"), importDelta(3)), 0);
    EXPECT_EQ(count("PLACE='南湖区'"), "3");
    EXPECT_EQ(service.scalar("select RQ from KVR_XXJ where PLACE='南湖区' and SERIAL=2"),
              "2026-12-10");
    EXPECT_EQ(service.scalar("select SPECID from KVR_XXJ where PLACE='南湖区' and SERIAL=1"),
              "规格“甲”\r\n第二行\\");
    EXPECT_EQ(
        service.scalar(TestService::dialect("select typeof(SERIAL)", "select pg_typeof(SERIAL)") +
                       "||XXJ from KVR_XXJ where PLACE='南湖区' and SERIAL=2"),
        TestService::dialect("integer面议", "bigint面议"));
    // The statement observed is the parameter text as sent.
    EXPECT_EQ(service.statements().back().second, params("KVR_XXJ", "PERDID,PLACE,SERIAL"));
}

// Hundreds of rows (which go to PostgreSQL many to a statement): a failure names its row, a taken
// key is counted by its row, and nothing of either delta stays.
TEST_F(Delta, ALargeDeltaNamesTheRowThatFailsAndCountsEveryTakenKey) {
    // Row 150 one byte wider than its column, as no client would send it.
    std::string wide = importDelta(300);
    const std::string name = "ITEMDESC=\"钢筋150\"";
    wide.replace(wide.find(name), name.size(), "ITEMDESC=\"" + std::string(65, 'x') + "\"");
    try {
        service.applyDelta(params("KVR_XXJ", "PERDID,PLACE,SERIAL"), wide);
        ADD_FAILURE() << "a value wider than its column was stored";
    } catch (const SoapFault& f) {
        EXPECT_NE(f.faultString().find("第 150 行：列 ITEMDESC 的值太长"), std::string::npos)
            << f.faultString();
    }
    EXPECT_EQ(count("PLACE='南湖区'"), "0");
    // Serials 1 to 3 of 东城区's month are taken by the fixture's rows.
    EXPECT_EQ(
        service.applyDelta(params("KVR_XXJ", "PERDID,PLACE,SERIAL"), importDelta(300, "东城区")),
        3);
    EXPECT_EQ(count("PLACE='东城区'"), "4");
}

TEST_F(Delta, EditsAndDeletesFindTheirRowsByTheValuesAsLoaded) {
    DataSet users;
    users.loadPacket(service.query("select * from KVR_USERH where SYSBZ<>'1' order by USERID"));
    users.edit();  // amy
    users.fieldByName("DATABZ").setText("11");
    users.fieldByName("QQ").setText("12345");
    users.post();
    users.next();  // bob
    users.deleteRow();
    EXPECT_EQ(service.applyDelta(params("KVR_USERH", "USERID"), *users.delta()), 0);
    EXPECT_EQ(service.scalar("select DATABZ||QQ||TEL from KVR_USERH where USERID='amy'"),
              "1112345139");
    EXPECT_EQ(service.scalar("select count(*) from KVR_USERH"), "2");
}

TEST_F(Delta, ExcludedColumnsAreNeverWritten) {
    DataSet users;
    users.loadPacket(service.query(
        "select USERID, DATABZ, CASE WHEN SubStr(DATABZ,2,1)='1' THEN '√' ELSE ' ' END AS DBZ2 "
        "from KVR_USERH where USERID='amy'"));
    users.edit();
    users.fieldByName("DATABZ").setText("11");
    users.fieldByName("DBZ2").setText("√");
    users.post();
    EXPECT_EQ(service.applyDelta(params("KVR_USERH", "USERID", "DBZ1,DBZ2"), *users.delta()), 0);
    EXPECT_EQ(service.scalar("select DATABZ from KVR_USERH where USERID='amy'"), "11");
    // Without the exclusion the display column is an unknown column.
    users.edit();
    users.fieldByName("DBZ2").setText(" ");
    users.post();
    EXPECT_THROW(service.applyDelta(params("KVR_USERH", "USERID"), *users.delta()), SoapFault);
}

TEST_F(Delta, AConflictRollsBackEveryRowAndCountsTheFailures) {
    DataSet users;
    users.loadPacket(service.query("select * from KVR_USERH where SYSBZ<>'1' order by USERID"));
    users.edit();  // amy: a change that would apply
    users.fieldByName("DATABZ").setText("00");
    users.post();
    users.next();  // bob, changed meanwhile by someone else
    users.edit();
    users.fieldByName("DATABZ").setText("11");
    users.post();
    service.exec("update KVR_USERH set DATABZ='10' where USERID='bob'");
    EXPECT_EQ(service.applyDelta(params("KVR_USERH", "USERID"), *users.delta()), 1);
    EXPECT_EQ(service.scalar("select group_concat(DATABZ) from (select DATABZ from KVR_USERH "
                             "where SYSBZ<>'1' order by USERID) as u"),
              "10,10");

    // Inserting rows whose keys are taken: every taken key is a failed row, nothing is kept.
    EXPECT_EQ(
        service.applyDelta(params("KVR_XXJ", "PERDID,PLACE,SERIAL"), importDelta(4, "东城区")), 3);
    EXPECT_EQ(count("PLACE='东城区' and PERDID='202612'"), "3");
    EXPECT_EQ(count("SERIAL=4"), "0");
}

TEST_F(Delta, BadDeltasAreFaultsAndWriteNothing) {
    const std::string rows = importDelta(2);
    const struct {
        std::string params;
        std::string delta;
        const char* says;
    } cases[] = {
        {params("KVR_NOPE", "PERDID"), rows, "KVR_NOPE"},
        {params("TARVELO_SECRET", "SECRET"), rows, "TARVELO_SECRET"},
        {params("KVR_XXJ", "PERDID,NOPE"), rows, "NOPE"},
        {params("KVR_XXJ", "PERDID,PLACE,SERIAL", "SERIAL"), rows, "不能在 Exc00 中排除"},
        {params("KVR_CSJ", "PERDID,ICEXT,SERIAL"), rows, "PLACE"},  // no such column there
        {params("KVR_XXJ", "PERDID,PLACE,SERIAL"), "<DATAPACKET", "增量数据包"},
        {params("KVR_XXJ", "PERDID,PLACE,SERIAL"), service.query("select * from KVR_XXJ"),
         "RowState"},
        {"Key00=ResolveToSQL;upWhereChanged;PERDID\r\n", rows, "SQL00"},
        {"SQL00=Select 'AAA' AAA From KVR_XXJ Where 1=2\r\nKey00=PERDID\r\n", rows, "Key00"},
        {params("KVR_XXJ", "PERDID,PLACE,SERIAL"),
         [&] {
             std::string d = rows;
             d.replace(d.find("钢筋2"), 7, std::string(70, 'W'));
             return d;
         }(),
         "ITEMDESC"},
        {params("KVR_XXJ", "PERDID,PLACE,SERIAL"),
         [&] {
             std::string d = rows;
             d.replace(d.find("RQ=\"20261210\""), 13, "RQ=\"20261310\"");
             return d;
         }(),
         ""},
    };
    for (const auto& c : cases) {
        try {
            const int result = service.applyDelta(c.params, c.delta);
            ADD_FAILURE() << "no fault, result " << result << " for " << c.says;
        } catch (const SoapFault& f) {
            EXPECT_NE(f.faultString().find(c.says), std::string::npos) << f.faultString();
        }
    }
    EXPECT_EQ(count("PLACE='南湖区'"), "0");
    EXPECT_EQ(service.scalar("select count(*) from KVR_CSJ"), "0");
    // The connections that answered the faults serve on, outside any transaction.
    for (int i = 0; i < 3; ++i)
        service.execute("insert into KVR_REGION values ('0" + std::to_string(i + 3) + "','新区')");
    EXPECT_EQ(service.scalar("select count(*) from KVR_REGION"), "5");
}

}  // namespace
}  // namespace tarvelo::test
