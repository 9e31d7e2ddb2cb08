#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QDir>
#include <QImage>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "app/Application.h"
#include "browser/KVR_Main.h"
#include "platform/ScriptedPlatform.h"
#include "service/IISdm.h"
#include "support/CommaLocale.h"
#include "support/RawHttpListener.h"
#include "support/SignIn.h"
#include "support/TestService.h"
#include "text/Date.h"
#include "widgets/DBGrid.h"
#include "workbook/Templates.h"

namespace tarvelo::test {
namespace {

// The operations of an update that replaces a unit: the existence check, the one delta, the
// count that checks the unit afterwards.
const std::vector<std::string> kReplaced = {
    "SpplyVanDataBySQL", "ApplyVanDataBySQLupKeyChangedExc1", "SpplyVanDataBySQL"};

std::string fixture(const char* name) {
    return std::string(TARVELO_FIXTURES) + "/workbooks/" + name;
}

// A data-update user's main window over the service, importing workbooks made by independent
// writers.
class DataCentre : public ::testing::Test {
protected:
    void SetUp() override {
        app().use(ui, service.base());
        module = std::make_unique<TIISdmPtr>(app().config, ui);
        IISdmPtr = module.get();
        putAccount(service, "amy", "10");
        signIn(service, *module, "amy");
        window = new TKVR_MainForm;
        window->USERID = "amy";
        window->DATABZ = "10";
        window->show();
        window->PageControl1->setCurrentWidget(window->TS_Admin);
        ui.clear();
    }
    void TearDown() override {
        delete window;
        IISdmPtr = nullptr;
        module.reset();
        app().reset();
    }
    // One press of " 更新数据 " on `page` with `file` chosen and `target` typed.
    void update(QWidget* page, const std::string& file, const QString& target,
                std::optional<bool> answer = {}) {
        window->PageControl2->setCurrentWidget(page);
        window->QueryDBEdit->setText(target);
        ui.answerOpenFile(file);
        if (answer) ui.answerQuestion(*answer);
        ui.clear();
        mark = service.statements().size();
        QTest::mouseClick(window->TransferTB, Qt::LeftButton);
    }
    std::string scalar(const std::string& sql) { return service.scalar(sql); }
    // The statements and operations since the last press (update() clears the platform's
    // record, and marks where the service's begins).
    std::vector<std::string> sent() const {
        std::vector<std::string> out;
        const auto all = service.statements();
        for (std::size_t i = mark; i < all.size(); ++i)
            out.push_back(all[i].second);
        return out;
    }
    std::vector<std::string> operations() const {
        std::vector<std::string> out;
        const auto all = service.statements();
        for (std::size_t i = mark; i < all.size(); ++i)
            out.push_back(all[i].first);
        return out;
    }
    DataSet& importRows() { return window->importDataSet(window->activeImportPage()); }
    // The import period as the confirmation names it: "2026年12月".
    std::string monthText() const {
        return period.substr(0, 4) + "年" + std::to_string(std::stoi(period.substr(4))) + "月";
    }

    TestService service;
    ScriptedPlatform ui;
    std::unique_ptr<TIISdmPtr> module;
    TKVR_MainForm* window = nullptr;
    std::size_t mark = 0;
    const std::string period = Date::today().period();
};

TEST_F(DataCentre, ANewUnitIsStoredAsReadWithoutAQuestion) {
    update(window->TS_XXJD, fixture("prices.xlsx"), QStringLiteral("南湖区 "));  // a blank kept
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"操作成功。\n已存入 4 行。"});
    // The dialog's first filter shows both formats.
    EXPECT_EQ(ui.events().front().text.rfind("Excel 工作簿 (*.xls *.xlsx);;", 0), 0u);
    const std::string unit = " where PERDID='" + period + "' and PLACE='南湖区 '";
    EXPECT_EQ(scalar("select count(*) from KVR_XXJ" + unit), "4");  // "  小计  " ends the rows
    EXPECT_EQ(scalar("select group_concat(SERIAL||'|'||ITEMDESC||'|'||coalesce(SPECID,'')||'|'||"
                     "coalesce(XXJ,'')||'|'||coalesce(DEJ,''), '/') from (select * from KVR_XXJ" +
                     unit + " order by SERIAL)"),
              "1|热轧带肋钢筋|Φ12|4120|3900.5/2|普通硅酸盐水泥|P.O 42.5|面议|0.3/"
              "3|商品混凝土|C30|1E15|1.5E-7/4|成交日期||#N/A|FALSE");
    EXPECT_EQ(scalar("select distinct RQ from KVR_XXJ" + unit), Date::today().shortText());
    EXPECT_EQ(scalar("select NOTE from KVR_XXJ" + unit + " and SERIAL=4"), "8.00");  // text 8.00
    EXPECT_EQ(scalar("select ITEMID from KVR_XXJ" + unit + " and SERIAL=3"), "8");   // number 8
    // The existence check as sent, the one upload, and the count that checks the unit.
    EXPECT_EQ(operations(), kReplaced);
    EXPECT_EQ(sent().front(), " Select * \r\n FROM KVR_XXJ \r\n where PERDID='" + period +
                                  "'\r\n and PLACE='南湖区 '\r\n");
    EXPECT_EQ(sent().back(), " Select count(*) AS N \r\n FROM KVR_XXJ \r\n where PERDID='" +
                                 period + "'\r\n and PLACE='南湖区 '\r\n");
    EXPECT_EQ(window->Cds_XXJD.changeCount(), 0u);
    EXPECT_EQ(ui.cursor(), Cursor::Default);
}

// Under a locale with a decimal comma, the decimals of a workbook are stored exactly as the file
// holds them, from either format: nothing between the cell and the service reads or writes a
// number by the process's locale (there, "3900.5" read by strtod is 3900).
TEST_F(DataCentre, DecimalsAreStoredExactlyUnderALocaleWithADecimalComma) {
    const CommaLocale comma;
    ASSERT_TRUE(comma.taken()) << "de_DE.UTF-8 in " << TARVELO_LOCALE_DIR;
    char written[16];
    std::snprintf(written, sizeof written, "%.1f", 0.5);
    ASSERT_STREQ(written, "0,5");  // the locale is in force
    const std::pair<const char*, const char*> files[] = {
        {"prices.xlsx", "0101|4120|3900.5/12.5|面议|0.3/8|1E15|1.5E-7/2026-12-09|#N/A|FALSE"},
        {"prices.xls", "0101|4120|3900.5/12.5|面议|0.3/8|1E15|1.5E-7/2026-12-09||FALSE"},
    };
    for (const auto& [file, stored] : files) {
        service.exec("DELETE FROM KVR_XXJ");
        update(window->TS_XXJD, fixture(file), QStringLiteral("东城区"));
        EXPECT_EQ(ui.messages(), std::vector<std::string>{"操作成功。\n已存入 4 行。"}) << file;
        EXPECT_EQ(scalar("select group_concat(ITEMID||'|'||coalesce(XXJ,'')||'|'||coalesce(DEJ,''),"
                         " '/') from (select * from KVR_XXJ order by SERIAL)"),
                  stored)
            << file;
    }
}

TEST_F(DataCentre, StoredRowsAreReplacedOnlyWhenTheUserSaysSo) {
    std::string rows;
    for (int i = 1; i <= 50; ++i)
        rows += std::string(i > 1 ? "," : "") + "('" + period + "','东城区'," + std::to_string(i) +
                ",'旧" + std::to_string(i) + "')";
    service.exec("INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC) VALUES " + rows +
                 ";INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC) VALUES ('" + period +
                 "','西城区',1,'别的区')");
    const std::string unit = " from KVR_XXJ where PLACE='东城区'";
    const std::string question = "已有数据，要更新数据吗？\n" + monthText() +
                                 " 信息价 “东城区”：已存的 50 行将被工作簿中的 4 行替换。";

    update(window->TS_XXJD, fixture("prices.xlsx"), QStringLiteral("东城区"), false);  // Cancel
    EXPECT_EQ(ui.messages(), std::vector<std::string>{question});
    EXPECT_EQ(scalar("select count(*)" + unit), "50");
    EXPECT_EQ(window->Cds_XXJD.recordCount(), 50u);  // the grid shows the stored rows
    EXPECT_EQ(window->Cds_XXJD.changeCount(), 0u);
    EXPECT_EQ(operations(), std::vector<std::string>{"SpplyVanDataBySQL"});

    update(window->TS_XXJD, fixture("prices.xlsx"), QStringLiteral("东城区"), true);
    EXPECT_EQ(ui.messages(), (std::vector<std::string>{question, "操作成功。\n已存入 4 行。"}));
    EXPECT_EQ(scalar("select count(*) || '/' || max(SERIAL)" + unit),
              "4/4");  // replaced, not merged
    EXPECT_EQ(scalar("select ITEMDESC from KVR_XXJ where PLACE='西城区'"),
              "别的区");  // another unit
    // No delete statement: the stored rows go in the same delta as the new ones.
    EXPECT_EQ(operations(), kReplaced);
    EXPECT_EQ(window->Cds_XXJD.recordCount(), 4u);
    EXPECT_EQ(window->Cds_XXJD.changeCount(), 0u);
    // The second dialog opened in the folder of the first workbook.
    EXPECT_EQ(ui.openFileDirectories(),
              (std::vector<std::string>{"", std::string(TARVELO_FIXTURES) + "/workbooks"}));
}

// Another user stores a row in the unit while the confirmation is open: the upload replaces the
// rows the user saw, and the user hears that the unit holds one more.
TEST_F(DataCentre, RowsStoredMeanwhileAreReported) {
    service.exec("INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC) VALUES ('" + period +
                 "','东城区',1,'旧')");
    ui.answerQuestion([&] {
        service.exec("INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC) VALUES ('" + period +
                     "','东城区',99,'别人的')");
        return true;
    });
    update(window->TS_XXJD, fixture("prices.xlsx"), QStringLiteral("东城区"));
    ASSERT_EQ(ui.messages().size(), 3u);
    EXPECT_EQ(ui.messages()[1], "操作成功。\n已存入 4 行。");
    EXPECT_EQ(ui.messages()[2], "注意：" + monthText() +
                                    " 信息价 “东城区”现有 5 行，不是本次存入的 4 行：另有用户同时"
                                    "更新了这个单元。请查询核对。");
}

// Whatever the service refuses after the user said yes, the unit keeps every stored row.
TEST_F(DataCentre, ARefusedUploadLeavesTheUnitAsItWas) {
    const struct {
        QWidget* page;
        const char* table;
        const char* workbook;
        const char* target;
        const char* stored;  // the unit's rows, and one of another unit
    } pages[] = {
        {window->TS_XXJD, "KVR_XXJ", "prices.xlsx", "东城区",
         "(PERDID,PLACE,SERIAL,ITEMDESC) VALUES ('P','东城区',1,'甲'),('P','东城区',2,'乙'),"
         "('P','西城区',1,'丙')"},
        {window->TS_CJJD, "KVR_CJJ", "deal.xlsx", "",
         "(PERDID,PLACE,SERIAL,ITEMDESC) VALUES ('P','东城区',1,'甲'),('P','西城区',2,'乙')"},
        {window->TS_MMJD, "KVR_MMJ", "nursery.xlsx", "东城区",
         "(PERDID,PLACE,SERIAL,ITEMDESC) VALUES ('P','东城区',1,'甲'),('P','西城区',1,'丙')"},
        {window->TS_CSJD, "KVR_CSJ", "vendor.xlsx", "钢材",
         "(PERDID,ICEXT,SERIAL,ITEMDESC) VALUES ('P','钢材',1,'甲'),('P','水泥',1,'丙')"},
    };
    for (const auto& p : pages) {
        SCOPED_TRACE(p.table);
        std::string stored = p.stored;
        for (std::size_t at; (at = stored.find("'P'")) != std::string::npos;)
            stored.replace(at, 3, "'" + period + "'");
        service.exec(std::string("INSERT INTO ") + p.table + " " + stored);
        const std::string all = std::string("select * from ") + p.table + " order by 1,2,3,4";
        const std::string before = service.query(all);
        // The service refuses the new rows, as it would a value it cannot store.
        service.exec(std::string("CREATE TRIGGER refuse BEFORE INSERT ON ") + p.table +
                     " BEGIN SELECT RAISE(ABORT, '拒收'); END");
        update(p.page, fixture(p.workbook), QString::fromUtf8(p.target), true);
        ASSERT_EQ(ui.messages().size(), 2u);
        EXPECT_EQ(ui.messages()[1].rfind("7-第二服务器\n", 0), 0u) << ui.messages()[1];
        EXPECT_EQ(service.query(all), before);
        // The rows read stay pending in the grid for another try.
        EXPECT_GT(importRows().changeCount(), 0u);
        service.exec("DROP TRIGGER refuse");
        // Once the service takes them, the unit holds exactly the workbook's rows.
        update(p.page, fixture(p.workbook), QString::fromUtf8(p.target), true);
        EXPECT_EQ(ui.messages().back().rfind("操作成功。\n已存入 ", 0), 0u) << ui.messages().back();
        const std::string unit = std::string(" from ") + p.table + " where ITEMDESC in ('甲','乙')";
        EXPECT_EQ(scalar("select count(*)" + unit), "0");
        EXPECT_EQ(scalar(std::string("select count(*) from ") + p.table + " where ITEMDESC='丙'"),
                  p.table == std::string("KVR_CJJ") ? "0" : "1");  // deal prices: the month
    }
}

TEST_F(DataCentre, AFailedUploadLeavesTheRowsPending) {
    service.exec("INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC) VALUES ('" + period +
                 "','南湖区',1,'旧')");
    module->ApplyHTTPRIO.setUrl("http://127.0.0.1:1/soap/x");  // the write side is down
    update(window->TS_XXJD, fixture("prices.xlsx"), QStringLiteral("南湖区"), true);
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(ui.messages()[1].rfind("7-第二服务器\n", 0), 0u) << ui.messages()[1];
    EXPECT_EQ(window->Cds_XXJD.recordCount(), 4u);
    EXPECT_EQ(scalar("select group_concat(ITEMDESC) from KVR_XXJ"), "旧");
}

TEST_F(DataCentre, AWorkbookThatCannotBeReadLeavesTheStoredRows) {
    service.exec("INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC) VALUES ('" + period +
                 "','东城区',1,'旧')");
    update(window->TS_XXJD, fixture("prices.csv"), QStringLiteral("东城区"));
    ASSERT_EQ(ui.messages().size(), 1u);  // read before any question
    EXPECT_EQ(ui.messages()[0].rfind("打开Excel失败。\n", 0), 0u) << ui.messages()[0];
    EXPECT_EQ(scalar("select ITEMDESC from KVR_XXJ where PLACE='东城区'"), "旧");
    EXPECT_EQ(operations(), std::vector<std::string>{"SpplyVanDataBySQL"});
}

TEST_F(DataCentre, AWorksheetWithoutRowsChangesNothing) {
    // The template imported unchanged, over a stored unit and over an empty one.
    const auto dir =
        std::filesystem::temp_directory_path() / ("tarvelo-import-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string template_ = (dir / "t.xls").string();
    std::ofstream(template_, std::ios::binary) << workbookTemplates()[0].bytes();
    service.exec("INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC) VALUES ('" + period +
                 "','东城区',1,'旧'),('" + period + "','东城区',2,'旧二')");
    for (const char* target : {"东城区", "南湖区"}) {
        update(window->TS_XXJD, template_, QString::fromUtf8(target));
        EXPECT_EQ(ui.messages(),
                  std::vector<std::string>{"工作簿中没有可导入的数据，未作任何更改。"});
        EXPECT_EQ(operations(), std::vector<std::string>{"SpplyVanDataBySQL"});
    }
    EXPECT_EQ(scalar("select group_concat(ITEMDESC) from KVR_XXJ"), "旧,旧二");
    // The grid shows what is stored, with nothing pending.
    update(window->TS_XXJD, template_, QStringLiteral("东城区"));
    EXPECT_EQ(window->Cds_XXJD.recordCount(), 2u);
    EXPECT_EQ(window->Cds_XXJD.changeCount(), 0u);
    std::filesystem::remove_all(dir);
}

TEST_F(DataCentre, NoCharacterIsChangedWithoutTheUserKnowing) {
    service.exec("INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC) VALUES ('" + period +
                 "','东城区',1,'旧')");
    const std::string stored = "select group_concat(ITEMDESC) from KVR_XXJ";
    // A control character is refused, naming its cell.
    update(window->TS_XXJD, fixture("control.xlsx"), QStringLiteral("东城区"));
    EXPECT_EQ(ui.messages(),
              std::vector<std::string>{"打开Excel失败。\n工作表第 3 行 E 列（型号）：含有控制字符 "
                                       "U+0007，不能导入。"});
    EXPECT_EQ(scalar(stored), "旧");
    EXPECT_EQ(operations(), std::vector<std::string>{"SpplyVanDataBySQL"});
    // Characters code page 936 cannot hold: the user is told which cells and what they become.
    const std::string question =
        "工作簿中有 4 个单元格含有无法原样传送到服务器的字符（服务器使用代码页 936）：\n"
        "第 2 行 D 列（规格）：“Ø”（U+00D8）将改为“Φ”，存为“Φ12”\n"
        "第 3 行 H 列（计量单位）：“³”（U+00B3）将改为“3”，存为“m3”\n"
        "第 3 行 K 列（备注）：“😀”（U+1F600）将改为“?”，存为“好评?”\n"
        "第 4 行 D 列（规格）：“µ”（U+00B5）将改为“μ”，存为“50μm”\n"
        "要按上面的改法导入吗？";
    update(window->TS_XXJD, fixture("characters.xlsx"), QStringLiteral("东城区"), false);
    EXPECT_EQ(ui.messages(), std::vector<std::string>{question});
    EXPECT_EQ(operations(), std::vector<std::string>{"SpplyVanDataBySQL"});
    EXPECT_EQ(window->Cds_XXJD.recordCount(), 1u);  // the stored row again
    ui.answerQuestion(true);                        // the characters, then the replacement
    update(window->TS_XXJD, fixture("characters.xlsx"), QStringLiteral("东城区"), true);
    EXPECT_EQ(ui.messages().back(), "操作成功。\n已存入 3 行。");
    EXPECT_EQ(scalar("select group_concat(SPECID||'|'||UNIT||'|'||coalesce(NOTE,''), '/') from "
                     "(select * from KVR_XXJ order by SERIAL)"),
              "Φ12|吨|/C30|m3|好评?/50μm|千克|");
    // A target that cannot travel is refused before anything is sent.
    ui.clear();
    window->PageControl2->setCurrentWidget(window->TS_XXJD);
    window->QueryDBEdit->setText(QStringLiteral("东城区😀"));
    ui.answerOpenFile(fixture("prices.xlsx"));
    const std::size_t before = service.statements().size();
    QTest::mouseClick(window->TransferTB, Qt::LeftButton);
    EXPECT_EQ(ui.messages(),
              std::vector<std::string>{
                  "导入目标“东城区😀”中有无法传送到服务器的字符：“😀”（U+1F600）。请改正后再试。"});
    EXPECT_EQ(service.statements().size(), before);
    // So is one longer than its column, rather than blamed on the workbook.
    window->QueryDBEdit->setText(QStringLiteral("东城区东城区东城区"));
    ui.answerOpenFile(fixture("prices.xlsx"));
    ui.clear();
    QTest::mouseClick(window->TransferTB, Qt::LeftButton);
    EXPECT_EQ(ui.messages(),
              std::vector<std::string>{
                  "导入目标“东城区东城区东城区”太长：最多 12 字节（代码页 936，汉字占 "
                  "2 字节），这个目标占 18 字节。请改正后再试。"});
    EXPECT_EQ(service.statements().size(), before);
}

TEST_F(DataCentre, ACellItsColumnCannotHoldSaysWhichAndWhy) {
    const struct {
        const char* workbook;
        const char* message;
    } cases[] = {
        // The information-price workbook read on the deal page: its column J (3900.5).
        {"prices.xlsx", "打开Excel失败。\n工作表第 2 行 J 列（成交日期）：“3900.5”不是日期。"},
        // A date with a digit too many is no date (blanks around one are trimmed).
        {"bad-date.xlsx",
         "打开Excel失败。\n工作表第 3 行 J 列（成交日期）：“2026-12-091”不是日期。"},
    };
    for (const auto& c : cases) {
        update(window->TS_CJJD, fixture(c.workbook), QString());
        EXPECT_EQ(ui.messages(), std::vector<std::string>{c.message});
        EXPECT_EQ(scalar("select count(*) from KVR_CJJ"), "0");
    }
}

// A failed formula's error value, or a formula whose result the workbook does not hold, is never
// uploaded as a price: the reading is refused at that cell, and nothing is written.
TEST_F(DataCentre, ErrorValuesAndFormulasWithoutResultsAreNeverUploaded) {
    const struct {
        const char* workbook;
        const char* message;
    } cases[] = {
        {"lo-formulas.xls",
         "打开Excel失败。\n工作表第 3 行 I 列（信息价）：单元格的值是错误值“#DIV/0!”，不是可以导入"
         "的数据。请在电子表格程序中改正这个单元格后再试。"},
        {"lo-formulas.xlsx",
         "打开Excel失败。\n工作表第 3 行 I 列（信息价）：单元格的值是错误值“#DIV/0!”，不是可以导入"
         "的数据。请在电子表格程序中改正这个单元格后再试。"},
        {"formulas.xlsx",
         "打开Excel失败。\n工作表第 2 行 J 列（定额价）：单元格是公式，但文件中没有保存它的计算结果"
         "（这个文件可能是由不计算公式的程序生成的），无法读取。请先用电子表格程序打开这个文件并保"
         "存，再导入。"},
    };
    for (const auto& c : cases) {
        update(window->TS_XXJD, fixture(c.workbook), QStringLiteral("东城区"));
        EXPECT_EQ(ui.messages(), std::vector<std::string>{c.message}) << c.workbook;
        EXPECT_EQ(operations(), std::vector<std::string>{"SpplyVanDataBySQL"}) << c.workbook;
        EXPECT_EQ(scalar("select count(*) from KVR_XXJ"), "0");
        EXPECT_EQ(ui.cursor(), Cursor::Default);
    }
}

TEST_F(DataCentre, OnlyTheInformationPricePageTrimsItsSPECID) {
    update(window->TS_CJJD, fixture("deal.xlsx"), QString());
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"操作成功。\n已存入 1 行。"});
    EXPECT_EQ(scalar("select SPECID || '|' || PLACE || '|' || CJRQ || '|' || CJJ from KVR_CJJ"),
              "  河砂  |东城区|2026-12-03|150");
}

TEST_F(DataCentre, TheDealPageTakesTheWholeMonthAndTheRowLimit) {
    update(window->TS_CJJD, fixture("rows12000.xlsx"), QStringLiteral("不相干"));
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"操作成功。\n已存入 9998 行。"});
    EXPECT_EQ(scalar("select count(*) || '/' || max(SERIAL) from KVR_CJJ"), "9998/9998");
    EXPECT_EQ(scalar("select SPECID from KVR_CJJ where SERIAL=5"), "5");  // column 3, untrimmed
}

TEST_F(DataCentre, NurseryAndVendorPagesImportIntoThePickedMonth) {
    // The period picker, turned back a year with the keyboard, sets the import period.
    window->QueryDateTimePicker->setFocus();
    QTest::keyClick(window->QueryDateTimePicker, Qt::Key_Home);
    QTest::keyClick(window->QueryDateTimePicker, Qt::Key_Down);
    const QDate picked = window->QueryDateTimePicker->date();
    ASSERT_EQ(picked.year(), QDate::currentDate().year() - 1);
    const std::string month = Date{picked.year(), picked.month(), 1}.period();
    EXPECT_EQ(window->importPeriod, month);

    update(window->TS_MMJD, fixture("nursery.xlsx"), QStringLiteral("东城区"));
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"操作成功。\n已存入 2 行。"});
    EXPECT_EQ(sent().front(), " Select * \r\n FROM KVR_MMJ \r\n where PERDID='" + month +
                                  "'\r\n and PLACE='东城区'\r\n");
    // Columns C and G of the nursery-stock template are not read.
    EXPECT_EQ(scalar("select PERDID||'|'||PLACE||'|'||SERIAL||'|'||ITEMDESC||'|'||ITEMID||'|'||"
                     "SPECID||'|'||MODEL||'|'||BRAND||'|'||UNIT||'|'||MMJ||'|'||VEND||'|'||"
                     "LINKMAN||'|'||LINKTEL||'|'||NOTE from KVR_MMJ where SERIAL=1"),
              month + "|东城区|1|材料|B|D|E|F|H|I|J|K|L|M");

    update(window->TS_CSJD, fixture("vendor.xlsx"), QStringLiteral("钢材"));
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"操作成功。\n已存入 2 行。"});
    EXPECT_EQ(sent().front(), " Select * \r\n FROM KVR_CSJ \r\n where PERDID='" + month +
                                  "'\r\n and ICEXT='钢材'\r\n");
    EXPECT_EQ(scalar("select PERDID||'|'||ICEXT||'|'||SERIAL||'|'||ITEMDESC||'|'||ITEMID||'|'||"
                     "SPECID||'|'||MODEL||'|'||BRAND||'|'||MATERIAL||'|'||UNIT||'|'||CSJ||'|'||"
                     "VEND||'|'||LINKMAN||'|'||LINKTEL||'|'||NOTE from KVR_CSJ where SERIAL=1"),
              month + "|钢材|1|材料|B|C|D|E|F|G|H|I|J|K|L");
    EXPECT_EQ(scalar("select count(*) from KVR_CSJ where PERDID='" + period + "'"),
              month == period ? "2" : "0");
}

// What an update of each page sends, byte for byte: the unit's stored rows (each line followed
// by CR LF), then the one delta that deletes them and inserts the workbook's rows, for the page's
// table and key list, then the count of the unit. No delete statement goes before the delta; the
// deal-price unit is the whole month, whatever the target box holds.
TEST_F(DataCentre, EachPageSendsTheStatementsOfItsUnit) {
    const std::string& P = period;
    const struct {
        QWidget* page;
        const char* workbook;
        QString target;
        std::string stored;  // a row of the unit, and one of another
        std::string rows;    // the unit's stored rows
        std::string delta;   // the parameters of the delta
        std::string count;   // the unit's rows afterwards
    } pages[] = {
        // clang-format off
        {window->TS_XXJD, "prices.xlsx", QStringLiteral("东城区"),
         "INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC) VALUES ('" + P + "','东城区',1,'旧'),"
         "('" + P + "','西城区',1,'邻')",
         " Select * \r\n"
         " FROM KVR_XXJ \r\n"
         " where PERDID='" + P + "'\r\n"
         " and PLACE='东城区'\r\n",
         "SQL00=Select 'AAA' AAA From KVR_XXJ Where 1=2\r\n"
         "Key00=ResolveToSQL;upWhereChanged;PERDID,PLACE,SERIAL\r\n"
         "Inc00=\r\n"
         "Exc00=\r\n",
         " Select count(*) AS N \r\n"
         " FROM KVR_XXJ \r\n"
         " where PERDID='" + P + "'\r\n"
         " and PLACE='东城区'\r\n"},
        {window->TS_CJJD, "deal.xlsx", QStringLiteral("东城区"),
         "INSERT INTO KVR_CJJ (PERDID,PLACE,SERIAL,ITEMDESC) VALUES ('" + P + "','西城区',7,'旧')",
         " Select * \r\n"
         " FROM KVR_CJJ \r\n"
         " where PERDID='" + P + "'\r\n",
         "SQL00=Select 'AAA' AAA From KVR_CJJ Where 1=2\r\n"
         "Key00=ResolveToSQL;upWhereChanged;PERDID,SERIAL\r\n"
         "Inc00=\r\n"
         "Exc00=\r\n",
         " Select count(*) AS N \r\n"
         " FROM KVR_CJJ \r\n"
         " where PERDID='" + P + "'\r\n"},
        {window->TS_MMJD, "nursery.xlsx", QStringLiteral("西城区"),
         "INSERT INTO KVR_MMJ (PERDID,PLACE,SERIAL,ITEMDESC) VALUES ('" + P + "','西城区',1,'旧'),"
         "('" + P + "','东城区',1,'邻')",
         " Select * \r\n"
         " FROM KVR_MMJ \r\n"
         " where PERDID='" + P + "'\r\n"
         " and PLACE='西城区'\r\n",
         "SQL00=Select 'AAA' AAA From KVR_MMJ Where 1=2\r\n"
         "Key00=ResolveToSQL;upWhereChanged;PERDID,PLACE,SERIAL\r\n"
         "Inc00=\r\n"
         "Exc00=\r\n",
         " Select count(*) AS N \r\n"
         " FROM KVR_MMJ \r\n"
         " where PERDID='" + P + "'\r\n"
         " and PLACE='西城区'\r\n"},
        {window->TS_CSJD, "vendor.xlsx", QStringLiteral("水泥"),
         "INSERT INTO KVR_CSJ (PERDID,ICEXT,SERIAL,ITEMDESC) VALUES ('" + P + "','水泥',1,'旧'),"
         "('" + P + "','钢材',1,'邻')",
         " Select * \r\n"
         " FROM KVR_CSJ \r\n"
         " where PERDID='" + P + "'\r\n"
         " and ICEXT='水泥'\r\n",
         "SQL00=Select 'AAA' AAA From KVR_CSJ Where 1=2\r\n"
         "Key00=ResolveToSQL;upWhereChanged;PERDID,ICEXT,SERIAL\r\n"
         "Inc00=\r\n"
         "Exc00=\r\n",
         " Select count(*) AS N \r\n"
         " FROM KVR_CSJ \r\n"
         " where PERDID='" + P + "'\r\n"
         " and ICEXT='水泥'\r\n"},
        // clang-format on
    };
    for (const auto& p : pages) {
        SCOPED_TRACE(p.workbook);
        service.exec(p.stored);
        update(p.page, fixture(p.workbook), p.target, true);
        ASSERT_EQ(ui.messages().size(), 2u);  // the replacement asked about, and done
        EXPECT_EQ(ui.messages()[1].rfind("操作成功。", 0), 0u) << ui.messages()[1];
        EXPECT_EQ(operations(), kReplaced);
        EXPECT_EQ(sent(), (std::vector<std::string>{p.rows, p.delta, p.count}));
    }
    EXPECT_EQ(scalar("select group_concat(ITEMDESC) from (select ITEMDESC from KVR_XXJ union all "
                     "select ITEMDESC from KVR_MMJ union all select ITEMDESC from KVR_CSJ union "
                     "all select ITEMDESC from KVR_CJJ) where ITEMDESC in ('旧','邻')"),
              "邻,邻,邻");  // the units replaced; their neighbours kept
}

// A review the service cannot answer ends in the error box, which names the cause; the rows of
// the last review are gone from the grid, so none is taken for the answer, and the cursor is back.
TEST_F(DataCentre, AFailedReviewSaysWhyAndShowsNoRows) {
    service.exec("INSERT INTO KVR_CJJ (PERDID,SERIAL,PLACE,ITEMDESC) VALUES ('" + period +
                 "',1,'东城区','丙')");
    window->PageControl2->setCurrentWidget(window->TS_CJJD);
    QTest::mouseClick(window->QueryTB, Qt::LeftButton);
    ASSERT_EQ(window->CJJDDBGrid->model()->rowCount(), 1);
    const std::string down = "127.0.0.1:" + std::to_string(closedPort());
    module->SpplyHTTPRIO.setUrl("http://" + down + "/soap/IVRDS_IIS_WebSCoorSpplyIsapi");
    ui.clear();
    mark = service.statements().size();
    QTest::mouseClick(window->QueryTB, Qt::LeftButton);
    using Event = ScriptedPlatform::Event;
    ASSERT_EQ(ui.events().size(), 3u);
    EXPECT_EQ(ui.events()[0], (Event{Event::SetCursor, "hourglass"}));
    EXPECT_EQ(ui.events()[1], (Event{Event::SetCursor, "default"}));  // back before the box
    EXPECT_EQ(ui.events()[2].kind, Event::ErrorBox);
    EXPECT_EQ(ui.events()[2].text.rfind("无法连接数据服务（" + down + "）：连接被拒绝。", 0), 0u)
        << ui.events()[2].text;
    EXPECT_EQ(ui.cursor(), Cursor::Default);
    EXPECT_EQ(window->CJJDDBGrid->model()->rowCount(), 0);
    EXPECT_TRUE(sent().empty());
}

TEST_F(DataCentre, WhatEndsTheCommandEarly) {
    // No target for a region's page.
    update(window->TS_MMJD, fixture("prices.xlsx"), QString());
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"请选择地区导入数据"});
    EXPECT_TRUE(sent().empty());
    update(window->TS_CSJD, fixture("prices.xlsx"), QString());
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"请选择材料类型导入数据"});
    EXPECT_TRUE(sent().empty());
    // A cancelled dialog.
    window->PageControl2->setCurrentWidget(window->TS_XXJD);
    ui.answerOpenFile(std::nullopt);
    ui.clear();
    mark = service.statements().size();
    QTest::mouseClick(window->TransferTB, Qt::LeftButton);
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_TRUE(sent().empty());
}

TEST_F(DataCentre, TemplatesAreWrittenToTheWorkingDirectory) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("tarvelo-templates-ui-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(dir.string()));
    for (int press = 0; press < 2; ++press) {
        ui.clear();
        QTest::mouseClick(window->LoadTB, Qt::LeftButton);
        EXPECT_EQ(ui.messages(),
                  std::vector<std::string>{"下载成功\n四个模板已写入文件夹：" + dir.string()});
        for (const auto& t : workbookTemplates()) {
            std::ifstream in(dir / std::filesystem::u8path(std::string(t.fileName)),
                             std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), {});
            EXPECT_EQ(bytes, t.bytes()) << t.fileName;
        }
    }
    // A directory that cannot be written: the error box, no success.
    std::filesystem::permissions(
        dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    std::filesystem::remove(dir /
                            std::filesystem::u8path(std::string(workbookTemplates()[0].fileName)));
    ui.clear();
    QTest::mouseClick(window->LoadTB, Qt::LeftButton);
    if (::geteuid() != 0) {  // root writes anywhere
        ASSERT_EQ(ui.events().size(), 3u);
        EXPECT_EQ(ui.events()[1].kind, ScriptedPlatform::Event::ErrorBox);
    }
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
    QDir::setCurrent(previous);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tarvelo::test

namespace tarvelo::test {
namespace {

TEST_F(DataCentre, TheReviewListsWhatIsStoredAndThePickListFillsTheTarget) {
    service.exec(
        "INSERT INTO KVR_REGION VALUES ('01','东城区'),('02','西城区');"
        "INSERT INTO KVR_ICEXT VALUES ('01','钢材');"
        "INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC) VALUES ('" +
        period + "','东城区',1,'甲'),('" + period +
        "','西城区',1,'乙');"
        "INSERT INTO KVR_CJJ (PERDID,SERIAL,PLACE,ITEMDESC) VALUES ('" +
        period +
        "',1,'东城区','丙');"
        "INSERT INTO KVR_MMJ (PERDID,PLACE,SERIAL,ITEMDESC) VALUES ('" +
        period + "','西城区',1,'丁'),('" + period +
        "','东城区',1,'戊');"
        "INSERT INTO KVR_CSJ (PERDID,ICEXT,SERIAL,ITEMDESC) VALUES ('" +
        period + "','钢材',1,'己'),('" + period + "','水泥',1,'庚')");
    delete window;
    window = new TKVR_MainForm;  // shown again: the reference lists now hold rows
    window->DATABZ = "10";
    window->show();
    window->PageControl1->setCurrentWidget(window->TS_Admin);

    // The statement sent, byte for byte: the target narrows the region and material-class
    // pages only when it is not empty, and never the deal page.
    const std::string& P = period;
    const struct {
        QWidget* page;
        QString target;
        std::size_t rows;
        std::string statement;
    } reviews[] = {
        // clang-format off
        {window->TS_XXJD, QString(), 2,
         " Select * \r\n"
         " FROM KVR_XXJ \r\n"
         " where PERDID='" + P + "'\r\n"},
        {window->TS_XXJD, QStringLiteral("东城区"), 1,
         " Select * \r\n"
         " FROM KVR_XXJ \r\n"
         " where PERDID='" + P + "'\r\n"
         " and PLACE='东城区'\r\n"},
        {window->TS_MMJD, QStringLiteral("西城区"), 1,
         " Select * \r\n"
         " FROM KVR_MMJ \r\n"
         " where PERDID='" + P + "'\r\n"
         " and PLACE='西城区'\r\n"},
        {window->TS_CSJD, QStringLiteral("钢材"), 1,
         " Select * \r\n"
         " FROM KVR_CSJ \r\n"
         " where PERDID='" + P + "'\r\n"
         " and ICEXT='钢材'\r\n"},
        {window->TS_CJJD, QStringLiteral("东城区"), 1,
         " Select * \r\n"
         " FROM KVR_CJJ \r\n"
         " where PERDID='" + P + "'\r\n"},
        // clang-format on
    };
    for (const auto& r : reviews) {
        window->PageControl2->setCurrentWidget(r.page);
        window->QueryDBEdit->setText(r.target);
        QTest::mouseClick(window->QueryTB, Qt::LeftButton);
        EXPECT_EQ(window->importDataSet(window->activeImportPage()).recordCount(), r.rows);
        EXPECT_EQ(service.statements().back().second, r.statement);
    }

    // The pick list: regions on the region pages, none for deal prices; a pick copies IDDESC and
    // empties the grids.
    window->PageControl2->setCurrentWidget(window->TS_CSJD);
    EXPECT_TRUE(window->QueryDBEdit->text().isEmpty());
    EXPECT_FALSE(window->QueryDBGrid->isHidden());
    window->PageControl2->setCurrentWidget(window->TS_CJJD);
    EXPECT_TRUE(window->QueryDBGrid->isHidden());
    window->PageControl2->setCurrentWidget(window->TS_XXJD);
    QTest::mouseClick(window->QueryTB, Qt::LeftButton);
    EXPECT_EQ(window->Cds_XXJD.recordCount(), 2u);
    QTest::mouseClick(
        window->QueryDBGrid->viewport(), Qt::LeftButton, {},
        window->QueryDBGrid->visualRect(window->QueryDBGrid->model()->index(1, 0)).center());
    EXPECT_EQ(window->QueryDBEdit->text(), QStringLiteral("西城区"));
    EXPECT_TRUE(window->QueryDBGrid->isHidden());
    EXPECT_EQ(window->Cds_XXJD.recordCount(), 0u);
    // "清屏" closes the page's rows; the query brings them back.
    QTest::mouseClick(window->QueryTB, Qt::LeftButton);
    QTest::mouseClick(window->RefreshTB, Qt::LeftButton);
    EXPECT_FALSE(window->Cds_XXJD.active());
    QTest::mouseClick(window->QueryTB, Qt::LeftButton);
    EXPECT_EQ(window->Cds_XXJD.recordCount(), 1u);
    // The page with its rows and the pick list open, for a look.
    window->QueryDBEdit->clear();
    window->showPickList();
    const QString dir = QDir::currentPath() + QStringLiteral("/screenshots");
    QDir().mkpath(dir);
    EXPECT_TRUE(window->grab().save(dir + QStringLiteral("/datacentre.png")));
}

// The pick list as a user meets it: a mouse press on any cell of a row puts that row's name
// into the target box, and an update then replaces that region's unit, not its neighbour's.
TEST_F(DataCentre, APickPutsTheClickedRowIntoTheTargetBox) {
    service.exec(
        "INSERT INTO KVR_REGION VALUES ('01','东城区'),('02','西城区'),('03','南湖区');"
        "INSERT INTO KVR_ICEXT VALUES ('01','钢材'),('02','水泥')");
    delete window;
    window = new TKVR_MainForm;  // shown again: the reference lists now hold rows
    window->DATABZ = "10";
    window->show();
    window->PageControl1->setCurrentWidget(window->TS_Admin);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTableView* list = window->QueryDBGrid;
    const auto pick = [&](QWidget* page, int row, int column) {
        window->PageControl2->setCurrentWidget(page);
        QTest::mouseClick(window->QueryDBEdit, Qt::LeftButton);  // entering shows the list
        EXPECT_TRUE(window->QueryDBEdit->hasFocus());
        EXPECT_FALSE(list->isHidden());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, column)).center());
        EXPECT_TRUE(list->isHidden());
        EXPECT_FALSE(window->QueryDBEdit->hasFocus());  // the list does not come back
        return window->QueryDBEdit->text().toStdString();
    };
    // The list opens at its top.
    window->PageControl2->setCurrentWidget(window->TS_XXJD);
    QTest::mouseClick(window->QueryDBEdit, Qt::LeftButton);
    EXPECT_EQ(list->currentIndex().row(), 0);
    const char* regions[] = {"东城区", "西城区", "南湖区"};
    for (int column : {0, 1})
        for (int row = 0; row < 3; ++row)
            EXPECT_EQ(pick(window->TS_XXJD, row, column), regions[row])
                << "row " << row << ", column " << column;
    EXPECT_EQ(pick(window->TS_CSJD, 1, 1), "水泥");
    EXPECT_EQ(pick(window->TS_MMJD, 2, 1), "南湖区");

    // The picked region is the one replaced.
    service.exec("INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC) VALUES ('" + period +
                 "','西城区',1,'旧'),('" + period + "','南湖区',1,'邻居')");
    EXPECT_EQ(pick(window->TS_XXJD, 1, 1), "西城区");
    ui.answerOpenFile(fixture("prices.xlsx"));
    ui.answerQuestion(true);
    ui.clear();
    QTest::mouseClick(window->TransferTB, Qt::LeftButton);
    EXPECT_EQ(ui.messages().back(), "操作成功。\n已存入 4 行。");
    EXPECT_EQ(scalar("select count(*) from KVR_XXJ where PLACE='西城区'"), "4");
    EXPECT_EQ(scalar("select ITEMDESC from KVR_XXJ where PLACE='南湖区'"), "邻居");
}

// Typed text hides the pick list of an empty box, also when an input method commits it; a key
// that types nothing (Shift) does not, and later characters do not either.
TEST_F(DataCentre, TypedTextHidesThePickList) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    window->PageControl2->setCurrentWidget(window->TS_XXJD);
    QTest::mouseClick(window->QueryDBEdit, Qt::LeftButton);
    ASSERT_FALSE(window->QueryDBGrid->isHidden());
    QTest::keyClick(window->QueryDBEdit, Qt::Key_Shift);
    EXPECT_FALSE(window->QueryDBGrid->isHidden()) << "Shift types nothing";
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("东"));
    QApplication::sendEvent(window->QueryDBEdit, &commit);
    EXPECT_EQ(window->QueryDBEdit->text(), QStringLiteral("东"));
    EXPECT_TRUE(window->QueryDBGrid->isHidden()) << "the input method's text is typed text";

    window->showPickList();
    QApplication::sendEvent(window->QueryDBEdit, &commit);
    EXPECT_FALSE(window->QueryDBGrid->isHidden()) << "the box was not empty";
    QTest::keyClick(window->QueryDBEdit, Qt::Key_Escape);
    EXPECT_TRUE(window->QueryDBGrid->isHidden());
}

// Choosing a day in the calendar empties the grids, also when the month stays the same.
TEST_F(DataCentre, ClosingTheCalendarOnTheSameMonthEmptiesTheGrids) {
    service.exec("INSERT INTO KVR_CJJ (PERDID,SERIAL,PLACE,ITEMDESC) VALUES ('" + period +
                 "',1,'东城区','丙')");
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    window->PageControl2->setCurrentWidget(window->TS_CJJD);
    QTest::mouseClick(window->QueryTB, Qt::LeftButton);
    ASSERT_EQ(window->Cds_CJJD.recordCount(), 1u);
    QDateEdit* picker = window->QueryDateTimePicker;
    QTest::mouseClick(picker, Qt::LeftButton, {},
                      QPoint(picker->width() - 6, picker->height() / 2));
    QWidget* calendar = picker->calendarWidget();
    ASSERT_TRUE(calendar->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);  // today, chosen again
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(calendar->isVisible());
    EXPECT_EQ(window->importPeriod, period);
    EXPECT_EQ(window->Cds_CJJD.recordCount(), 0u);
    EXPECT_TRUE(window->Cds_CJJD.active());
}

// However the calendar closes, the grids are emptied and the import period becomes the month the
// picker then shows. Escape, or a click beside the calendar, closes it without a choice; a month
// looked at in the calendar is the picker's month already, also when it is then left with Escape.
TEST_F(DataCentre, EveryClosingOfTheCalendarEmptiesTheGrids) {
    const QDate today = QDate::currentDate();
    for (int m : {0, 1, 2}) {  // a stored row in each month the picker comes to
        const QDate d = today.addMonths(m);
        service.exec("INSERT INTO KVR_CJJ (PERDID,SERIAL,PLACE,ITEMDESC) VALUES ('" +
                     Date{d.year(), d.month(), 1}.period() + "',1,'东城区','丙')");
    }
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == window; }));
    window->PageControl2->setCurrentWidget(window->TS_CJJD);
    QDateEdit* picker = window->QueryDateTimePicker;
    const QPoint arrow(picker->width() - 6, picker->height() / 2);
    const auto key = [](Qt::Key k) { QTest::keyClick(QApplication::focusWidget(), k); };
    // A click elsewhere goes to the window, as the platform delivers it, for the open calendar
    // to see (a click sent to a widget straight would pass it by).
    const auto click = [&](QWidget* at, QPoint p) {
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at->mapTo(window, p));
    };
    QWidget* rows = window->CJJDDBGrid->viewport();
    const struct {
        const char* how;
        std::function<void()> close;
        int months;  // from today's
    } closings[] = {
        {"Escape", [&] { key(Qt::Key_Escape); }, 0},
        {"the arrow clicked again", [&] { click(picker, arrow); }, 0},
        {"a click on the page's rows", [&] { click(rows, rows->rect().center()); }, 0},
        {"the next month looked at, then Escape",
         [&] {
             key(Qt::Key_PageDown);
             key(Qt::Key_Escape);
         },
         1},
        {"a day of the next month chosen",
         [&] {
             key(Qt::Key_PageDown);
             key(Qt::Key_Return);
         },
         2},
    };
    for (const auto& c : closings) {
        QTest::mouseClick(window->QueryTB, Qt::LeftButton);
        ASSERT_EQ(window->Cds_CJJD.recordCount(), 1u) << c.how;
        QTest::mouseClick(picker, Qt::LeftButton, {}, arrow);
        QWidget* calendar = picker->calendarWidget();
        ASSERT_TRUE(calendar->isVisible()) << c.how;
        c.close();
        QCoreApplication::sendPostedEvents();
        EXPECT_FALSE(calendar->isVisible()) << c.how;
        const QDate shown = today.addMonths(c.months);
        EXPECT_EQ(picker->date(), shown) << c.how;
        EXPECT_EQ(window->importPeriod, (Date{shown.year(), shown.month(), 1}.period())) << c.how;
        EXPECT_EQ(window->Cds_CJJD.recordCount(), 0u) << c.how;
        EXPECT_TRUE(window->Cds_CJJD.active()) << c.how;
    }
}

// Coming back to the data centre, the page switch puts the focus back into the target box: that
// is no entering by the user, so the rows stay, no pick list opens and nothing is asked of the
// service. Neither is the focus a refused target puts there. A click into the box, or Shift+Tab
// from the period picker, still enters it: the grids are emptied and the list opens.
TEST_F(DataCentre, OnlyTheUserEntersTheTargetBox) {
    service.exec("INSERT INTO KVR_XXJ (PERDID,SERIAL,PLACE,ITEMDESC) VALUES ('" + period +
                 "',1,'东城区','甲')");
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == window; }));
    window->PageControl2->setCurrentWidget(window->TS_XXJD);
    QLineEdit* box = window->QueryDBEdit;
    QTest::mouseClick(box, Qt::LeftButton);
    ASSERT_FALSE(window->QueryDBGrid->isHidden());
    QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QStringLiteral("东城区"), {});
    ASSERT_TRUE(window->QueryDBGrid->isHidden());
    QTest::mouseClick(window->QueryTB, Qt::LeftButton);
    ASSERT_EQ(window->Cds_XXJD.recordCount(), 1u);
    const auto untouched = [&](const char* after) {
        EXPECT_EQ(window->Cds_XXJD.recordCount(), 1u) << after;
        EXPECT_TRUE(window->QueryDBGrid->isHidden()) << after;
        EXPECT_EQ(box->text(), QStringLiteral("东城区")) << after;
    };

    // To the information centre and back, through the tabs.
    std::size_t sent = service.statements().size();
    QTabBar* tabs = window->PageControl1->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    ASSERT_EQ(window->PageControl1->currentWidget(), window->TS_User);
    ASSERT_FALSE(box->hasFocus());
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    ASSERT_EQ(window->PageControl1->currentWidget(), window->TS_Admin);
    EXPECT_TRUE(box->hasFocus()) << "the switch puts the focus back";
    untouched("the page switch");
    EXPECT_EQ(service.statements().size(), sent);

    // A target that cannot travel is refused and the focus put into the box.
    QTest::mouseClick(window->XXJDDBGrid->viewport(), Qt::LeftButton);
    ASSERT_FALSE(box->hasFocus());
    box->setText(QStringLiteral("东城区😀"));
    ui.clear();
    QTest::mouseClick(window->QueryTB, Qt::LeftButton);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_TRUE(box->hasFocus());
    box->setText(QStringLiteral("东城区"));
    untouched("a refusal");

    // The user's own entering.
    QDateEdit* picker = window->QueryDateTimePicker;
    const struct {
        const char* how;
        std::function<void()> enter;
    } entries[] = {
        {"a click", [&] { QTest::mouseClick(box, Qt::LeftButton); }},
        {"Shift+Tab from the picker's first field",
         [&] {
             QTest::mouseClick(picker, Qt::LeftButton, {}, QPoint(6, picker->height() / 2));
             ASSERT_TRUE(picker->hasFocus());
             QTest::keyClick(picker, Qt::Key_Backtab, Qt::ShiftModifier);
         }},
    };
    for (const auto& e : entries) {
        QTest::mouseClick(window->QueryTB, Qt::LeftButton);
        QTest::mouseClick(window->XXJDDBGrid->viewport(), Qt::LeftButton);
        ASSERT_EQ(window->Cds_XXJD.recordCount(), 1u) << e.how;
        ASSERT_FALSE(box->hasFocus()) << e.how;
        sent = service.statements().size();
        e.enter();
        EXPECT_TRUE(box->hasFocus()) << e.how;
        EXPECT_EQ(window->Cds_XXJD.recordCount(), 0u) << e.how;
        EXPECT_FALSE(window->QueryDBGrid->isHidden()) << e.how;
        EXPECT_EQ(box->text(), QStringLiteral("东城区")) << e.how;
        EXPECT_EQ(service.statements().size(), sent) << e.how;
        QTest::keyClick(box, Qt::Key_Escape);  // the list goes
    }
}

// Every button of the data centre's tool bar shows its own picture beside its caption, and has
// it at twice the size for scaled screens.
TEST_F(DataCentre, TheToolBarButtonsShowTheirPicturesBesideTheirCaptions) {
    window->DATABZ = "11";  // every button enabled, its picture in colour
    window->hide();
    window->show();
    window->PageControl1->setCurrentWidget(window->TS_Admin);
    const std::pair<QToolButton*, const char*> buttons[] = {
        {window->QueryTB, " 查询 "},   {window->TransferTB, " 更新数据 "},
        {window->RefreshTB, " 清屏 "}, {window->UserTB, "用户管理"},
        {window->LoadTB, "下载模版"},  {window->ExitTB, " 关闭 "}};
    std::vector<QImage> pictures;
    for (const auto& [b, caption] : buttons) {
        EXPECT_EQ(b->text().toStdString(), caption);
        ASSERT_TRUE(b->isVisible()) << caption;
        // The picture's colours stand out of the pale bar and the black caption; they are all
        // left of the caption.
        const QImage shown = b->grab().toImage();
        int coloured = 0, rightmost = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                if (shown.pixelColor(x, y).hsvSaturation() > 120) {
                    ++coloured;
                    rightmost = std::max(rightmost, x);
                }
        EXPECT_GT(coloured, 60) << caption;
        EXPECT_LT(rightmost, b->iconSize().width() + 8) << caption;
        EXPECT_GT(shown.width(), b->iconSize().width() + 40) << caption;  // room for the caption
        EXPECT_TRUE(b->icon().availableSizes().contains(QSize(48, 48))) << caption;
        pictures.push_back(b->icon().pixmap(QSize(24, 24), 1.0).toImage());
    }
    for (std::size_t i = 0; i < pictures.size(); ++i)
        for (std::size_t j = i + 1; j < pictures.size(); ++j)
            EXPECT_NE(pictures[i], pictures[j]) << buttons[i].second << buttons[j].second;
    QDir().mkpath(QDir::currentPath() + QStringLiteral("/screenshots"));
    EXPECT_TRUE(
        window->grab().save(QDir::currentPath() + QStringLiteral("/screenshots/datacentre.png")));
}

}  // namespace
}  // namespace tarvelo::test
