#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "app/Application.h"
#include "browser/KVR_Main.h"
#include "platform/ScriptedPlatform.h"
#include "service/IISdm.h"
#include "support/TestService.h"
#include "text/Date.h"
#include "widgets/DBGrid.h"
#include "workbook/Templates.h"

namespace tarvelo::test {
namespace {

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
        window = new TKVR_MainForm;
        window->DATABZ = "10";
        window->show();
        window->PageControl1->setCurrentWidget(window->TS_Admin);
        ui.clear();
    }
    void TearDown() override {
        delete window;
        IISdmPtr = nullptr;
        module.reset();
        app() = AppContext{};
    }
    // One press of " 更新数据 " on `page` with `file` chosen and `target` typed.
    void update(QWidget* page, const std::string& file, const QString& target,
                std::optional<bool> answer = {}) {
        window->PageControl2->setCurrentWidget(page);
        window->QueryDBEdit->setText(target);
        ui.answerOpenFile(file);
        if (answer) ui.answerQuestion(*answer);
        ui.clear();
        QTest::mouseClick(window->TransferTB, Qt::LeftButton);
    }
    std::string scalar(const std::string& sql) { return service.scalar(sql); }
    std::vector<std::string> sent() const {
        std::vector<std::string> out;
        for (const auto& [operation, sql] : service.statements())
            out.push_back(sql);
        return out;
    }

    TestService service;
    ScriptedPlatform ui;
    std::unique_ptr<TIISdmPtr> module;
    TKVR_MainForm* window = nullptr;
    const std::string period = Date::today().period();
};

TEST_F(DataCentre, ANewUnitIsStoredAsReadWithoutAQuestion) {
    update(window->TS_XXJD, fixture("prices.xlsx"), QStringLiteral("南湖区 "));  // a blank kept
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"操作成功。"});
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
    // The existence check as sent; no delete for a unit without rows.
    EXPECT_NE(std::find(sent().begin(), sent().end(),
                        " Select * \r\n FROM KVR_XXJ \r\n where PERDID='" + period +
                            "'\r\n and PLACE='南湖区 '\r\n"),
              sent().end());
    for (const auto& sql : sent())
        EXPECT_EQ(sql.find("delete"), std::string::npos) << sql;
    EXPECT_EQ(window->Cds_XXJD.changeCount(), 0u);
    EXPECT_EQ(ui.cursor(), Cursor::Default);
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

    update(window->TS_XXJD, fixture("prices.xlsx"), QStringLiteral("东城区"), false);  // Cancel
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"已有数据，要更新数据吗？"});
    EXPECT_EQ(scalar("select count(*)" + unit), "50");
    EXPECT_EQ(window->Cds_XXJD.recordCount(), 50u);  // the grid shows the stored rows

    update(window->TS_XXJD, fixture("prices.xlsx"), QStringLiteral("东城区"), true);
    EXPECT_EQ(ui.messages(), (std::vector<std::string>{"已有数据，要更新数据吗？", "操作成功。"}));
    EXPECT_EQ(scalar("select count(*) || '/' || max(SERIAL)" + unit),
              "4/4");  // replaced, not merged
    EXPECT_EQ(scalar("select ITEMDESC from KVR_XXJ where PLACE='西城区'"),
              "别的区");  // another unit
    EXPECT_EQ(sent().back().find("delete"), std::string::npos);
}

TEST_F(DataCentre, AFailedUploadLeavesTheRowsPending) {
    module->ApplyHTTPRIO.setUrl("http://127.0.0.1:1/soap/x");  // the write side is down
    update(window->TS_XXJD, fixture("prices.xlsx"), QStringLiteral("南湖区"));
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"7-第二服务器"});
    EXPECT_EQ(window->Cds_XXJD.changeCount(), 4u);
    EXPECT_EQ(scalar("select count(*) from KVR_XXJ"), "0");
}

TEST_F(DataCentre, AWorkbookThatCannotBeReadLeavesTheStoredRows) {
    service.exec("INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC) VALUES ('" + period +
                 "','东城区',1,'旧')");
    update(window->TS_XXJD, fixture("prices.csv"), QStringLiteral("东城区"), true);
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(ui.messages()[1].rfind("打开Excel失败。\n", 0), 0u) << ui.messages()[1];
    EXPECT_EQ(scalar("select ITEMDESC from KVR_XXJ where PLACE='东城区'"), "旧");
    for (const auto& sql : sent())
        EXPECT_EQ(sql.find("delete"), std::string::npos) << sql;
}

TEST_F(DataCentre, ACellItsColumnCannotHoldSaysWhichAndWhy) {
    // The information-price workbook read on the deal page: its column J (3900.5) is no date.
    update(window->TS_CJJD, fixture("prices.xlsx"), QString());
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0],
              "打开Excel失败。\n工作表第 2 行 J 列（成交日期）：“3900.5”不是日期。");
    EXPECT_EQ(scalar("select count(*) from KVR_CJJ"), "0");
}

TEST_F(DataCentre, OnlyTheInformationPricePageTrimsItsSpecification) {
    update(window->TS_CJJD, fixture("deal.xlsx"), QString());
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"操作成功。"});
    EXPECT_EQ(scalar("select SPECID || '|' || PLACE || '|' || CJRQ || '|' || CJJ from KVR_CJJ"),
              "  河砂  |东城区|2026-12-03|150");
}

TEST_F(DataCentre, TheDealPageTakesTheWholeMonthAndTheRowLimit) {
    update(window->TS_CJJD, fixture("rows12000.xlsx"), QStringLiteral("不相干"));
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"操作成功。"});
    EXPECT_EQ(scalar("select count(*) || '/' || max(SERIAL) from KVR_CJJ"), "9998/9998");
    EXPECT_EQ(scalar("select SPECID from KVR_CJJ where SERIAL=5"), "5");  // column 3, untrimmed
}

TEST_F(DataCentre, WhatEndsTheCommandEarly) {
    // No target for a region's page; a template imported unchanged sends nothing.
    update(window->TS_MMJD, fixture("prices.xlsx"), QString());
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"请选择地区导入数据"});
    update(window->TS_CSJD, fixture("prices.xlsx"), QString());
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"请选择材料类型导入数据"});
    const auto dir =
        std::filesystem::temp_directory_path() / ("tarvelo-import-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string template_ = (dir / "t.xls").string();
    std::ofstream(template_, std::ios::binary) << workbookTemplates()[0].bytes();
    const std::size_t before = sent().size();
    update(window->TS_XXJD, template_, QStringLiteral("南湖区"));
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(sent().size(), before + 1);  // only the existence check
    std::filesystem::remove_all(dir);
    // A cancelled dialog.
    window->PageControl2->setCurrentWidget(window->TS_XXJD);
    ui.answerOpenFile(std::nullopt);
    ui.clear();
    QTest::mouseClick(window->TransferTB, Qt::LeftButton);
    EXPECT_TRUE(ui.messages().empty());
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
        EXPECT_EQ(ui.messages(), std::vector<std::string>{"下载成功"});
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
        period + "',1,'东城区','丙')");
    delete window;
    window = new TKVR_MainForm;  // shown again: the reference lists now hold rows
    window->DATABZ = "10";
    window->show();
    window->PageControl1->setCurrentWidget(window->TS_Admin);

    const struct {
        QWidget* page;
        QString target;
        std::size_t rows;
        const char* last;  // the last line of the statement sent
    } reviews[] = {
        {window->TS_XXJD, QString(), 2, " where PERDID='PERIOD'"},
        {window->TS_XXJD, QStringLiteral("东城区"), 1, " and PLACE='东城区'"},
        {window->TS_CJJD, QStringLiteral("东城区"), 1,
         " where PERDID='PERIOD'"},  // never by region
    };
    for (const auto& r : reviews) {
        window->PageControl2->setCurrentWidget(r.page);
        window->QueryDBEdit->setText(r.target);
        QTest::mouseClick(window->QueryTB, Qt::LeftButton);
        EXPECT_EQ(window->importDataSet(window->activeImportPage()).recordCount(), r.rows);
        std::string last = r.last;
        if (const auto at = last.find("PERIOD"); at != std::string::npos)
            last.replace(at, 6, period);
        const std::string sql = service.statements().back().second;
        EXPECT_EQ(sql.substr(sql.size() - last.size() - 2), last + "\r\n") << sql;
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

}  // namespace
}  // namespace tarvelo::test
