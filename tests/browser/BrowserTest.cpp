#include <gtest/gtest.h>

#include <QApplication>

#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QDir>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPrintPreviewDialog>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <QWheelEvent>
#include <filesystem>
#include <functional>

#include "app/Application.h"
#include "app/Globals.h"
#include "browser/KVR_Main.h"
#include "browser/PriceTrendWindow.h"
#include "platform/ScriptedPlatform.h"
#include "service/IISdm.h"
#include "support/Glyphs.h"
#include "support/RawHttpListener.h"
#include "support/SignIn.h"
#include "support/TestService.h"
#include "text/Date.h"
#include "widgets/DBGrid.h"
#include "widgets/DataSource.h"
#include "widgets/TrendChart.h"
#include "workbook/WorkbookReader.h"

namespace tarvelo::test {
namespace {

// A signed-in main window over a service holding one month of each category.
class Browser : public ::testing::Test {
protected:
    void SetUp() override {
        app().use(ui, service.base());
        module = std::make_unique<TIISdmPtr>(app().config, ui);
        IISdmPtr = module.get();
        const std::string p = "'" + period + "'";
        service.exec(
            "INSERT INTO KVR_REGION VALUES ('01','东城区'),('02','西城区'),('03','南湖区');"
            "INSERT INTO KVR_ICEXT VALUES ('01','钢材'),('02','水泥');"
            "INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC,SPECID,UNIT,XXJ) VALUES"
            " (" +
            p +
            ",'南湖区',1,'热轧带肋钢筋','Φ12','吨','4120'),"
            " (" +
            p +
            ",'南湖区',2,'Steel bar','Φ16','吨','4180'),"
            " (" +
            p +
            ",'南湖区',3,NULL,'无名','个','1'),"
            " (" +
            p +
            ",'东城区',1,'普通硅酸盐水泥','P.O 42.5','吨','460');"
            "INSERT INTO KVR_CJJ (PERDID,SERIAL,PLACE,ITEMDESC,CJJ) VALUES"
            " (" +
            p + ",1,'东城区','中砂','150'),(" + p +
            ",2,'西城区','碎石','120'),"
            " (" +
            p +
            ",3,'西城区','O''Neil 砂','99');"
            "INSERT INTO KVR_MMJ (PERDID,PLACE,SERIAL,ITEMDESC,MMJ,VEND) VALUES"
            " (" +
            p +
            ",'西城区',1,'香樟','850','青山苗圃');"
            "INSERT INTO KVR_CSJ (PERDID,ICEXT,SERIAL,ITEMDESC,CSJ,VEND) VALUES"
            " (" +
            p + ",'钢材',1,'镀锌钢管','28','鑫达建材'),(" + p +
            ",'水泥',2,'熟料','260','海螺建材');");
        open("10");
    }
    void TearDown() override {
        delete window;
        IISdmPtr = nullptr;
        module.reset();
        app().reset();
    }
    void open(const std::string& roles) {
        delete window;
        putAccount(service, "amy", roles);
        if (!signedIn) signIn(service, *module, "amy");
        signedIn = true;
        window = new TKVR_MainForm;
        window->USERID = "amy";
        window->DATABZ = roles;
        window->show();
    }
    QTreeWidgetItem* node(const QString& top, const QString& child = {}) {
        for (int i = 0; i < window->TV_TreeL->topLevelItemCount(); ++i) {
            QTreeWidgetItem* t = window->TV_TreeL->topLevelItem(i);
            if (t->text(0) != top) continue;
            if (child.isEmpty()) return t;
            for (int c = 0; c < t->childCount(); ++c)
                if (t->child(c)->text(0) == child) return t->child(c);
        }
        return nullptr;
    }
    // A real click on a tree node (its parent expanded first so that it can be seen).
    void click(QTreeWidgetItem* item) {
        if (item->parent()) item->parent()->setExpanded(true);
        QTest::mouseClick(window->TV_TreeL->viewport(), Qt::LeftButton, {},
                          window->TV_TreeL->visualItemRect(item).center());
    }
    std::vector<std::string> sent() const {
        std::vector<std::string> out;
        for (const auto& [operation, sql] : service.statements())
            out.push_back(sql);
        return out;
    }
    static std::vector<std::string> column(DataSet& ds, const char* field) {
        std::vector<std::string> out;
        if (!ds.active()) return out;
        for (ds.first(); !ds.eof(); ds.next())
            out.push_back(ds.fieldByName(field).asText());
        std::sort(out.begin(), out.end());
        return out;
    }
    void type(const QString& text) {
        window->QueryEdit->setFocus();
        window->QueryEditEnter();  // the focus event of a window that is not active
        ui.clear();
        window->QueryEdit->clear();  // an empty box sends nothing; the text is then new
        window->QueryEdit->setText(text);
        settle();
    }
    // Suggestions are fetched beside the window's calls: until their answer is taken in.
    void settle() {
        for (int i = 0; i < 1000 && window->suggestionsPending(); ++i)
            QTest::qWait(5);
        QCoreApplication::processEvents();
    }

    TestService service;
    ScriptedPlatform ui;
    std::unique_ptr<TIISdmPtr> module;
    bool signedIn = false;
    TKVR_MainForm* window = nullptr;
    const std::string period = Date::today().period();
};

using V = std::vector<std::string>;

TEST_F(Browser, ShowBuildsTheTreeTheIconsAndTheRoleButtons) {
    EXPECT_EQ(sent(), (V{"select ID,IDDESC FROM KVR_ICEXT ORDER BY ID",
                         "select ID,IDDESC FROM KVR_REGION ORDER BY ID "}));
    const struct {
        const char* top;
        QStringList children;
    } tree[] = {{"信息价", {"东城区", "西城区", "南湖区"}},
                {"成交价", {}},
                {"苗木价", {"东城区", "西城区", "南湖区"}},
                {"厂商报价", {"钢材", "水泥"}}};
    ASSERT_EQ(window->TV_TreeL->topLevelItemCount(), 4);
    for (int i = 0; i < 4; ++i) {
        QTreeWidgetItem* t = window->TV_TreeL->topLevelItem(i);
        EXPECT_EQ(t->text(0), QString::fromUtf8(tree[i].top));
        QStringList children;
        for (int c = 0; c < t->childCount(); ++c)
            children << t->child(c)->text(0);
        EXPECT_EQ(children, tree[i].children) << tree[i].top;
    }
    for (QListWidget* lv : {window->lv1, window->lv2}) {
        ASSERT_EQ(lv->count(), 3);
        EXPECT_EQ(lv->item(2)->text(), QStringLiteral("南湖区"));
        EXPECT_FALSE(lv->item(2)->icon().isNull());
    }
    EXPECT_EQ(window->browserPeriod, period);
    EXPECT_EQ(window->importPeriod, period);
    EXPECT_EQ(window->PageControl1->currentWidget(), window->TS_User);
    EXPECT_EQ(window->PageControl2->currentWidget(), window->TS_CJJD);
    EXPECT_EQ(window->PageControl3->currentWidget(), window->TS_XXJ);
    EXPECT_EQ(window->TV_TreeL->selectedItems().size(), 0);
    EXPECT_TRUE(window->SelDBGrid->isHidden());

    for (const auto& [roles, transfer, users] :
         {std::tuple{"10", true, false}, std::tuple{"00", false, false},
          std::tuple{"11", true, true}}) {
        open(roles);
        EXPECT_EQ(window->TransferTB->isEnabled(), transfer) << roles;
        EXPECT_EQ(window->UserTB->isEnabled(), users) << roles;
    }
}

TEST_F(Browser, RegionListsOfEveryLength) {
    // No regions: no children and empty icon lists.
    service.exec("DELETE FROM KVR_REGION");
    open("10");
    EXPECT_EQ(node("信息价")->childCount(), 0);
    EXPECT_EQ(node("苗木价")->childCount(), 0);
    EXPECT_EQ(window->lv1->count(), 0);
    // Twenty-two regions: the 21st and 22nd have a caption but no picture.
    for (int i = 1; i <= 22; ++i)
        service.exec("INSERT INTO KVR_REGION VALUES ('" + std::to_string(100 + i) + "','区" +
                     std::to_string(i) + "')");
    open("10");
    ASSERT_EQ(window->lv2->count(), 22);
    EXPECT_FALSE(window->lv2->item(19)->icon().isNull());
    EXPECT_TRUE(window->lv2->item(20)->icon().isNull());
    EXPECT_EQ(window->lv2->item(20)->text(), QStringLiteral("区21"));
}

TEST_F(Browser, AFailedReferenceQueryLeavesTheFourCategories) {
    IISdmPtr->SpplyHTTPRIO.setUrl("http://127.0.0.1:1/soap/x");
    open("10");
    EXPECT_EQ(window->TV_TreeL->topLevelItemCount(), 4);
    EXPECT_EQ(node("信息价")->childCount(), 0);
    ASSERT_FALSE(ui.events().empty());
    EXPECT_EQ(ui.events().back().kind, ScriptedPlatform::Event::ErrorBox);
}

TEST_F(Browser, EachKindOfNodeListsItsItems) {
    const std::string p = "'" + period + "'";
    const struct {
        const char* top;
        const char* child;
        QWidget* tab;           // nullptr: unchanged
        std::string statement;  // empty: none sent
        V items;
    } clicks[] = {
        {"成交价",
         "",
         window->TS_CJJ,
         " SELECT distinct ITEMDESC FROM KVR_CJJ \r\n where PERDID=" + p + "\r\n",
         {"O'Neil 砂", "中砂", "碎石"}},
        {"信息价", "", window->TS_XXJ, "", {"O'Neil 砂", "中砂", "碎石"}},  // list unchanged
        {"厂商报价",
         "",
         window->TS_CSJ,
         " SELECT distinct ITEMDESC FROM KVR_CSJ \r\n where PERDID=" + p + "\r\n",
         {"熟料", "镀锌钢管"}},
        {"厂商报价", "钢材", nullptr, "", {"熟料", "镀锌钢管"}},
        {"苗木价", "", window->TS_MMJ, "", {"熟料", "镀锌钢管"}},
        // A region under "信息价" while "苗木价" is the active tab: the tab stays.
        {"信息价",
         "南湖区",
         nullptr,
         " SELECT distinct ITEMDESC FROM KVR_XXJ \r\n where PERDID=" + p +
             "\r\n and PLACE='南湖区'\r\n",
         {"", "Steel bar", "热轧带肋钢筋"}},
        {"苗木价",
         "西城区",
         nullptr,
         " SELECT distinct ITEMDESC FROM KVR_MMJ \r\n where PERDID=" + p +
             "\r\n and PLACE='西城区'\r\n",
         {"香樟"}},
    };
    for (const auto& c : clicks) {
        ui.clear();
        QWidget* tabBefore = window->PageControl3->currentWidget();
        window->Cds_XXJ.loadPacket(service.query("select 1 AS X"));  // a grid with rows
        const std::size_t before = sent().size();
        click(node(QString::fromUtf8(c.top), QString::fromUtf8(c.child)));
        EXPECT_EQ(window->PageControl3->currentWidget(), c.tab ? c.tab : tabBefore)
            << c.top << c.child;
        const auto now = sent();
        if (c.statement.empty()) {
            EXPECT_EQ(now.size(), before) << c.top << c.child;
        } else {
            EXPECT_EQ(now.back(), c.statement) << c.top << c.child;
            EXPECT_EQ(ui.events().at(0),
                      (ScriptedPlatform::Event{ScriptedPlatform::Event::SetCursor, "hourglass"}));
        }
        EXPECT_EQ(column(window->Cds_Item, "ITEMDESC"), c.items) << c.top << c.child;
        for (DataSet* grid :
             {&window->Cds_XXJ, &window->Cds_CJJ, &window->Cds_MMJ, &window->Cds_CSJ})
            EXPECT_FALSE(grid->active());  // every click empties the price grids
        EXPECT_EQ(ui.cursor(), Cursor::Default);
    }
    // The region's icon is marked.
    EXPECT_EQ(window->lv2->currentRow(), 1);
}

// A tree click the service cannot answer ends in the error box, which names the cause; the
// cursor is back before the box shows, and the price grids the click emptied stay empty.
TEST_F(Browser, AFailedTreeClickSaysWhyAndLeavesThePriceGridsEmpty) {
    window->Cds_XXJ.loadPacket(service.query("select * from KVR_XXJ"));  // a grid with rows
    const std::string down = "127.0.0.1:" + std::to_string(closedPort());
    IISdmPtr->SpplyHTTPRIO.setUrl("http://" + down + "/soap/IVRDS_IIS_WebSCoorSpplyIsapi");
    ui.clear();
    const std::size_t before = sent().size();
    click(node("成交价"));
    using Event = ScriptedPlatform::Event;
    const auto& events = ui.events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0], (Event{Event::SetCursor, "hourglass"}));
    EXPECT_EQ(events[1], (Event{Event::SetCursor, "default"}));  // back before the box
    EXPECT_EQ(events[2].kind, Event::ErrorBox);
    EXPECT_EQ(events[2].text.rfind("无法连接数据服务（" + down + "）：连接被拒绝。", 0), 0u)
        << events[2].text;
    EXPECT_EQ(ui.cursor(), Cursor::Default);
    for (TDBGrid* grid :
         {window->XXMDBGrid, window->CJMDBGrid, window->MMMDBGrid, window->CSMDBGrid})
        EXPECT_EQ(grid->model()->rowCount(), 0);
    EXPECT_EQ(sent().size(), before);
}

TEST_F(Browser, TabsSelectTheirCategoryAndQueryNothing) {
    window->Cds_XXJ.loadPacket(service.query("select 1 AS X"));
    window->QueryEdit->setText(QStringLiteral("abc"));
    const std::size_t before = sent().size();
    window->PageControl3->setCurrentWidget(window->TS_CSJ);
    EXPECT_EQ(window->TV_TreeL->currentItem(), node("厂商报价"));
    EXPECT_TRUE(window->QueryEdit->text().isEmpty());
    EXPECT_EQ(sent().size(), before);
    EXPECT_TRUE(window->Cds_XXJ.active());
}

TEST_F(Browser, SuggestionsMatchTheCompositeKey) {
    const struct {
        QWidget* tab;
        const char* top;
        const char* region;
        QString text;
        V names;
    } cases[] = {
        {window->TS_CJJ, "成交价", "", QStringLiteral("西城"), {"O'Neil 砂", "碎石"}},  // by region
        {window->TS_CJJ,
         "成交价",
         "",
         QString::fromStdString(period.substr(2)),
         {"O'Neil 砂", "中砂", "碎石"}},
        {window->TS_XXJ,
         "信息价",
         "南湖区",
         QStringLiteral(","),
         {"", "Steel bar", "热轧带肋钢筋"}},
        {window->TS_XXJ, "信息价", "南湖区", QStringLiteral("Steel"), {"Steel bar"}},
        {window->TS_XXJ, "信息价", "南湖区", QStringLiteral("steel"), {}},       // case counts
        {window->TS_MMJ, "苗木价", "西城区", QStringLiteral("青山"), {"香樟"}},  // by supplier
        // Vendor quotes: by supplier, and by material class, which no other category has.
        {window->TS_CSJ, "厂商报价", "", QStringLiteral("鑫达"), {"镀锌钢管"}},
        {window->TS_CSJ, "厂商报价", "", QStringLiteral("水泥"), {"熟料"}},
        {window->TS_CSJ, "厂商报价", "", QStringLiteral("建材"), {"熟料", "镀锌钢管"}},
        {window->TS_CJJ, "成交价", "", QStringLiteral("O'Neil"), {"O'Neil 砂"}},  // a quote
    };
    for (const auto& c : cases) {
        window->PageControl3->setCurrentWidget(c.tab);
        if (*c.region) click(node(QString::fromUtf8(c.top), QString::fromUtf8(c.region)));
        type(c.text);
        EXPECT_TRUE(ui.messages().empty()) << c.text.toStdString();
        EXPECT_FALSE(window->SelDBGrid->isHidden()) << c.text.toStdString();
        EXPECT_EQ(column(window->Cds_SelItem, "ITEMDESC"), c.names) << c.text.toStdString();
        EXPECT_EQ(window->SelDBGrid->model()->rowCount(), static_cast<int>(c.names.size()));
    }
    EXPECT_NE(sent().back().find("PosStr(MERG,'O''Neil')>=1"), std::string::npos) << sent().back();
}

TEST_F(Browser, ASuggestionChosenByMouseOrEnterSearches) {
    window->PageControl3->setCurrentWidget(window->TS_CJJ);
    type(QStringLiteral("砂"));
    // Enter in the box: one search with the text as typed, not one per key press and release.
    const std::size_t before = sent().size();
    QTest::keyClick(window->QueryEdit, Qt::Key_Return);
    EXPECT_EQ(sent().size(), before + 1);
    EXPECT_NE(sent().back().find(" Order by SERIAL "), std::string::npos);
    EXPECT_EQ(column(window->Cds_CJJ, "ITEMDESC"), (V{"O'Neil 砂", "中砂"}));
    EXPECT_TRUE(window->SelDBGrid->isHidden());

    // A click on the second suggestion searches for that name.
    type(QStringLiteral("砂"));
    window->Cds_SelItem.first();
    const std::string second = [&] {
        window->Cds_SelItem.next();
        return window->Cds_SelItem.fieldByName("ITEMDESC").asText();
    }();
    QTest::mouseClick(
        window->SelDBGrid->viewport(), Qt::LeftButton, {},
        window->SelDBGrid->visualRect(window->SelDBGrid->model()->index(1, 0)).center());
    EXPECT_EQ(window->QueryEdit->text().toStdString(), second);
    EXPECT_EQ(column(window->Cds_CJJ, "ITEMDESC"), V{second});
    EXPECT_TRUE(window->SelDBGrid->isHidden());

    // Escape in the suggestion grid hides it and goes back to the box; Enter there chooses the
    // highlighted name, as a click does.
    type(QStringLiteral("砂"));
    window->Cds_CJJ.close();
    QTest::keyClick(window->SelDBGrid, Qt::Key_Escape);
    EXPECT_TRUE(window->SelDBGrid->isHidden());
    EXPECT_FALSE(window->Cds_CJJ.active());
    window->SelDBGrid->show();
    window->SelDBGrid->selectRow(1);
    QTest::keyClick(window->SelDBGrid, Qt::Key_Return);
    EXPECT_TRUE(window->SelDBGrid->isHidden());
    EXPECT_EQ(window->QueryEdit->text().toStdString(), second);
    EXPECT_EQ(column(window->Cds_CJJ, "ITEMDESC"), V{second});

    // Enter with no suggestions empties the box and searches nothing.
    type(QStringLiteral("没有这个"));
    const std::size_t quiet = sent().size();
    QTest::keyClick(window->QueryEdit, Qt::Key_Return);
    EXPECT_TRUE(window->QueryEdit->text().isEmpty());
    EXPECT_EQ(sent().size(), quiet);

    // "清屏" empties the grid; the same search fills it again.
    window->QueryEdit->setText(QString::fromStdString(second));
    QTest::mouseClick(window->SpeedButton3, Qt::LeftButton);
    EXPECT_FALSE(window->Cds_CJJ.active());
    QTest::mouseClick(window->QuerySpeedButton, Qt::LeftButton);
    EXPECT_EQ(column(window->Cds_CJJ, "ITEMDESC"), V{second});
    EXPECT_EQ(ui.cursor(), Cursor::Default);
}

// Input as a user gives it: real clicks and keys on an active window.
class BrowserInput : public Browser {
protected:
    void SetUp() override {
        Browser::SetUp();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
    // Characters as an input method commits them into the focused box, one by one.
    void typeKeys(const QString& text) {
        for (const QChar ch : text) {
            QInputMethodEvent commit;
            commit.setCommitString(QString(ch));
            QApplication::sendEvent(QApplication::focusWidget(), &commit);
            settle();  // typed more slowly than the service answers
        }
    }
    // Opens `grid`'s menu as a right click on its first row does (the context-menu event the
    // window system delivers) and chooses `action`; `whenChosen` runs inside the action, once
    // the loop of a dialog it opens is running. Returns whether the menu offered the action.
    bool chooseFromMenu(TDBGrid* grid, const QString& action,
                        std::function<void()> whenChosen = {}) {
        bool offered = false;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            for (QAction* a : menu->actions())
                if (a->text() == action) {
                    offered = true;
                    if (whenChosen) QTimer::singleShot(0, whenChosen);
                    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
                    return;
                }
            menu->close();
        });
        const QPoint at = grid->visualRect(grid->model()->index(0, 1)).center();
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at,
                                     grid->viewport()->mapToGlobal(at));
        QApplication::sendEvent(grid->viewport(), &rightClick);
        return offered;
    }
    void clickTab(QTabWidget* tabs, int index) {
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {},
                          tabs->tabBar()->tabRect(index).center());
    }
    // "砂" typed into the box on the deal-price tab: two suggestions, shown. (Coming to the tab
    // empties the box.)
    void suggest() {
        clickTab(window->PageControl3, 0);
        clickTab(window->PageControl3, 1);
        QTest::mouseClick(window->QueryEdit, Qt::LeftButton);
        typeKeys(QStringLiteral("砂"));
        ASSERT_TRUE(window->SelDBGrid->isVisible());
        ASSERT_EQ(window->Cds_SelItem.recordCount(), 2u)
            << window->QueryEdit->text().toStdString() << "\n"
            << sent().back();
    }
};

// A click on the blank part of the tree keeps the chosen region: typing still suggests, and the
// search still searches in it.
TEST_F(BrowserInput, ABlankClickInTheTreeKeepsTheRegion) {
    click(node(QStringLiteral("信息价"), QStringLiteral("南湖区")));
    QTreeWidget* tree = window->TV_TreeL;
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      QPoint(tree->viewport()->width() / 2, tree->viewport()->height() - 4));
    ASSERT_FALSE(
        tree->itemAt(QPoint(tree->viewport()->width() / 2, tree->viewport()->height() - 4)));
    EXPECT_TRUE(node(QStringLiteral("信息价"), QStringLiteral("南湖区"))->isSelected());
    QTest::mouseClick(window->QueryEdit, Qt::LeftButton);
    EXPECT_TRUE(ui.messages().empty());
    const std::size_t before = sent().size();
    typeKeys(QStringLiteral("钢"));
    ASSERT_EQ(sent().size(), before + 1);
    EXPECT_NE(sent().back().find(" WHERE PLACE='南湖区' "), std::string::npos);
    QTest::mouseClick(window->QuerySpeedButton, Qt::LeftButton);
    EXPECT_EQ(column(window->Cds_XXJ, "ITEMDESC"), V{"热轧带肋钢筋"});
}

// The line under the grids says what the active tab shows and how many rows, or that nothing
// matched; another tab, the clear button and a new tree click each speak for themselves.
TEST_F(BrowserInput, TheStatusLineSaysWhatIsShownAndWhenNothingMatched) {
    click(node(QStringLiteral("信息价"), QStringLiteral("南湖区")));
    EXPECT_EQ(window->StatusLine->text(), QString());
    QTest::mouseClick(window->QueryEdit, Qt::LeftButton);
    typeKeys(QStringLiteral("热轧带肋钢筋"));
    QTest::mouseClick(window->QuerySpeedButton, Qt::LeftButton);
    const QString period = QString::fromStdString(window->browserPeriod);
    const QString where = QStringLiteral("信息价 · 南湖区 · ") + period.left(4) +
                          QStringLiteral("年") + period.mid(4) + QStringLiteral("月 · ");
    EXPECT_EQ(
        window->StatusLine->text(),
        where + QStringLiteral("“热轧带肋钢筋”：共 %1 行").arg(window->Cds_XXJ.recordCount()));
    ASSERT_GT(window->Cds_XXJ.recordCount(), 0u);

    window->QueryEdit->selectAll();
    typeKeys(QStringLiteral("没有这种材料"));
    QTest::mouseClick(window->QuerySpeedButton, Qt::LeftButton);
    EXPECT_EQ(window->StatusLine->text(),
              where + QStringLiteral("“没有这种材料”：没有找到匹配的材料"));

    clickTab(window->PageControl3, 1);
    EXPECT_EQ(window->StatusLine->text(), QString());
    clickTab(window->PageControl3, 0);
    EXPECT_NE(window->StatusLine->text().indexOf(QStringLiteral("没有找到")), -1);
    QTest::mouseClick(window->SpeedButton3, Qt::LeftButton);
    EXPECT_EQ(window->StatusLine->text(), QString());
    EXPECT_TRUE(ui.messages().empty());
}

// A right click on a price grid offers "导出Excel…"; the file it writes reads back through the
// import's own reader with the grid's titles and texts, every row, in the grid's order.
TEST_F(BrowserInput, APriceGridExportsWhatItShowsToExcel) {
    click(node(QStringLiteral("信息价"), QStringLiteral("东城区")));
    QTest::mouseClick(window->QueryEdit, Qt::LeftButton);
    typeKeys(QStringLiteral("水泥"));
    QTest::mouseClick(window->QuerySpeedButton, Qt::LeftButton);
    TDBGrid* grid = window->XXMDBGrid;
    QAbstractItemModel* model = grid->model();
    ASSERT_GT(model->rowCount(), 0);
    const std::string path =
        (QDir::tempPath() + QStringLiteral("/tarvelo-grid-export.xlsx")).toStdString();
    std::filesystem::remove(path);
    ui.answerSaveFile(path);
    EXPECT_TRUE(chooseFromMenu(grid, QStringLiteral("导出Excel…")));
    ASSERT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(ui.messages().back(),
              "已导出 " + std::to_string(model->rowCount()) + " 行到“" + path + "”。");

    const auto sheet = WorkbookReader::open(path);
    for (int c = 0; c < model->columnCount(); ++c) {
        EXPECT_EQ(sheet->cellText(1, c + 1),
                  model->headerData(c, Qt::Horizontal).toString().toStdString());
        for (int r = 0; r < model->rowCount(); ++r)
            EXPECT_EQ(sheet->cellText(r + 2, c + 1),
                      model->index(r, c).data().toString().toStdString())
                << "row " << r << " column " << c;
    }
    EXPECT_EQ(sheet->lastRow(), model->rowCount() + 1);
    std::filesystem::remove(path);
}

// A click on a column title sorts what the grid shows: prices by their value with "面议" and
// empty prices last either way; a click on a row still finds its record; the dataset keeps the
// service's order, and the next search comes in that order again.
TEST_F(BrowserInput, AClickOnATitleSortsTheRowsShownAndLeavesTheDatasetsOrder) {
    const std::string p = "'" + period + "'";
    service.exec("INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC,SPECID,XXJ) VALUES (" + p +
                 ",'东城区',11,'中砂','甲','90'),(" + p + ",'东城区',12,'中砂','乙','面议'),(" + p +
                 ",'东城区',13,'中砂','丙','1200'),(" + p + ",'东城区',14,'中砂','丁',NULL),(" + p +
                 ",'东城区',15,'中砂','戊','150')");
    click(node(QStringLiteral("信息价"), QStringLiteral("东城区")));
    QTest::mouseClick(window->QueryEdit, Qt::LeftButton);
    typeKeys(QStringLiteral("中砂"));
    QTest::mouseClick(window->QuerySpeedButton, Qt::LeftButton);
    TDBGrid* grid = window->XXMDBGrid;
    QAbstractItemModel* shown = grid->model();
    const auto shownColumn = [&](int c) {
        std::vector<std::string> out;
        for (int r = 0; r < shown->rowCount(); ++r)
            out.push_back(shown->index(r, c).data().toString().toStdString());
        return out;
    };
    constexpr int kPrice = 5, kSpec = 2;  // 信息价, 规格
    ASSERT_EQ(shown->headerData(kPrice, Qt::Horizontal).toString(), QStringLiteral("信息价"));
    ASSERT_EQ(shownColumn(kPrice), (V{"90", "面议", "1200", "", "150"}));
    QHeaderView* titles = grid->horizontalHeader();
    const auto clickTitle = [&](int c) {
        QTest::mouseClick(titles->viewport(), Qt::LeftButton, {},
                          QPoint(titles->sectionViewportPosition(c) + titles->sectionSize(c) / 2,
                                 titles->height() / 2));
    };
    clickTitle(kPrice);
    EXPECT_EQ(shownColumn(kPrice), (V{"90", "150", "1200", "面议", ""}));
    clickTitle(kPrice);
    EXPECT_EQ(shownColumn(kPrice), (V{"1200", "150", "90", "面议", ""}));
    EXPECT_EQ(shownColumn(kSpec), (V{"丙", "戊", "甲", "乙", "丁"}));
    // The dataset's own order is the service's.
    V stored;
    DataSet& ds = window->Cds_XXJ;
    for (ds.first(); !ds.eof(); ds.next())
        stored.push_back(ds.fieldByName("SPECID").asText());
    EXPECT_EQ(stored, (V{"甲", "乙", "丙", "丁", "戊"}));
    // A click on the second row shown makes its record the current one.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(shown->index(1, kSpec)).center());
    EXPECT_EQ(window->Cds_XXJ.fieldByName("SPECID").asText(), "戊");
    // The wheel moves to the row below as shown.
    QWheelEvent down(grid->viewport()->rect().center(),
                     grid->viewport()->mapToGlobal(grid->viewport()->rect().center()), {},
                     {0, -120}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid->viewport(), &down);
    EXPECT_EQ(window->Cds_XXJ.fieldByName("SPECID").asText(), "甲");
    // A new search comes in the service's order again.
    QTest::mouseClick(window->QuerySpeedButton, Qt::LeftButton);
    EXPECT_EQ(shownColumn(kPrice), (V{"90", "面议", "1200", "", "150"}));
    EXPECT_EQ(titles->sortIndicatorSection(), -1);
}

// "导出PDF…" prints what the grid shows: 200 rows take several pages, each with the title row
// and a page number, under the heading of what was searched.
TEST_F(BrowserInput, APriceGridPrintsToPdfWithTitlesOnEveryPage) {
    std::string rows;
    for (int i = 1; i <= 200; ++i)
        rows += std::string(rows.empty() ? "" : ",") + "('" + period + "','东城区'," +
                std::to_string(100 + i) + ",'中砂','规格" + std::to_string(i) + "','" +
                std::to_string(100 + i) + "')";
    service.exec("INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC,SPECID,XXJ) VALUES " + rows);
    click(node(QStringLiteral("信息价"), QStringLiteral("东城区")));
    QTest::mouseClick(window->QueryEdit, Qt::LeftButton);
    typeKeys(QStringLiteral("中砂"));
    QTest::mouseClick(window->QuerySpeedButton, Qt::LeftButton);
    TDBGrid* grid = window->XXMDBGrid;
    ASSERT_EQ(grid->model()->rowCount(), 200);

    // "打印…" opens the print preview of the same pages.
    QString previewTitle;
    EXPECT_TRUE(chooseFromMenu(grid, QStringLiteral("打印…"), [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* preview = qobject_cast<QPrintPreviewDialog*>(w);
                preview && preview->isVisible()) {
                previewTitle = preview->windowTitle();
                preview->reject();
            }
    }));
    EXPECT_EQ(previewTitle, QStringLiteral("打印预览"));

    const std::string path =
        (QDir::tempPath() + QStringLiteral("/tarvelo-grid-print.pdf")).toStdString();
    std::filesystem::remove(path);
    ui.answerSaveFile(path);
    EXPECT_TRUE(chooseFromMenu(grid, QStringLiteral("导出PDF…")));
    ASSERT_TRUE(std::filesystem::exists(path))
        << (ui.messages().empty() ? "" : ui.messages().back());

    const auto run = [](const std::string& command) {
        std::string out;
        FILE* p = ::popen(command.c_str(), "r");
        char buf[4096];
        while (const std::size_t n = std::fread(buf, 1, sizeof buf, p))
            out.append(buf, n);
        ::pclose(p);
        return out;
    };
    const std::string info = run("pdfinfo '" + path + "'");
    const auto pagesAt = info.find("Pages:");
    ASSERT_NE(pagesAt, std::string::npos) << info;
    const int pages = std::stoi(info.substr(pagesAt + 6));
    EXPECT_GE(pages, 4);
    EXPECT_EQ(ui.messages().back(), "已导出到“" + path + "”。");
    const std::string text = run("pdftotext -layout '" + path + "' -");
    EXPECT_NE(text.find("信息价 · 东城区 · "), std::string::npos) << text.substr(0, 400);
    EXPECT_NE(text.find("规格200"), std::string::npos);
    // Every page repeats the title row and carries its number.
    std::size_t start = 0;
    for (int page = 1; page <= pages; ++page) {
        const auto end = text.find('\f', start);
        const std::string one = text.substr(start, end - start);
        EXPECT_NE(one.find("材料名"), std::string::npos) << "page " << page;
        EXPECT_NE(one.find(std::to_string(page)), std::string::npos) << "page " << page;
        start = end + 1;
    }
    std::filesystem::remove(path);
}

// Ctrl+T on a price row opens its trend: one statement for the item (name, 规格 (SPECID),
// model, region) over the last 12 months, a point for each month with a number, a gap for a
// month without a row, "面议" marked and listed as it is stored.
TEST_F(BrowserInput, CtrlTOnAPriceRowShowsItsTrendWithGapsAndTextPrices) {
    const auto back = [&](int months) {
        const int m =
            std::stoi(period.substr(0, 4)) * 12 + std::stoi(period.substr(4)) - 1 - months;
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d%02d", m / 12, m % 12 + 1);
        return std::string(buf);
    };
    const auto row = [](const std::string& p, int serial, const char* specId, const char* price) {
        return "('" + p + "','东城区'," + std::to_string(serial) + ",'中砂','" + specId + "'," +
               (price ? "'" + std::string(price) + "'" : std::string("NULL")) + ")";
    };
    service.exec("INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC,SPECID,XXJ) VALUES " +
                 row(back(0), 21, "甲", "150") + "," + row(back(0), 22, "乙", "999") + "," +
                 row(back(1), 21, "甲", "面议") + "," + row(back(3), 21, "甲", "140") + "," +
                 row(back(5), 21, "甲", "130") + "," + row(back(13), 21, "甲", "100"));
    click(node(QStringLiteral("信息价"), QStringLiteral("东城区")));
    QTest::mouseClick(window->QueryEdit, Qt::LeftButton);
    typeKeys(QStringLiteral("中砂"));
    QTest::mouseClick(window->QuerySpeedButton, Qt::LeftButton);
    TDBGrid* grid = window->XXMDBGrid;
    ASSERT_EQ(grid->model()->rowCount(), 2);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(0, 2)).center());
    ASSERT_EQ(window->Cds_XXJ.fieldByName("SPECID").asText(), "甲");
    QTest::keyClick(grid, Qt::Key_T, Qt::ControlModifier);

    auto* trend = window->findChild<PriceTrendWindow*>();
    ASSERT_NE(trend, nullptr);
    EXPECT_TRUE(trend->isVisible());
    EXPECT_EQ(trend->lastStatement,
              " Select PERDID,XXJ From KVR_XXJ \r\n Where PLACE='东城区'\r\n"
              " and ITEMDESC='中砂'\r\n and coalesce(SPECID,'')='甲'\r\n"
              " and coalesce(MODEL,'')=''\r\n and PERDID>='" +
                  back(11) + "' and PERDID<='" + back(0) + "'\r\n Order By PERDID,SERIAL \r\n");
    const auto& points = trend->Chart->points();
    ASSERT_EQ(points.size(), 12u);
    const auto at = [&](int monthsBack) {
        return points[static_cast<std::size_t>(11 - monthsBack)];
    };
    EXPECT_EQ(at(0).price, std::optional<double>(150));
    EXPECT_EQ(at(1).price, std::nullopt);
    EXPECT_EQ(at(1).text, QStringLiteral("面议"));
    EXPECT_EQ(at(2).text, QString());  // no row: a gap
    EXPECT_EQ(at(3).price, std::optional<double>(140));
    EXPECT_EQ(at(5).price, std::optional<double>(130));
    EXPECT_EQ(trend->Table->item(10, 1)->text(), QStringLiteral("面议"));
    EXPECT_EQ(trend->Table->item(9, 1)->text(), QStringLiteral("—"));
    // Two years: the month of 100 comes in.
    trend->Months->setFocus();
    QTest::keyClick(trend->Months, Qt::Key_Down);
    ASSERT_EQ(trend->Chart->points().size(), 24u);
    EXPECT_EQ(trend->Chart->points()[10].price, std::optional<double>(100));
    QTest::keyClick(trend, Qt::Key_Escape);
    EXPECT_TRUE(ui.messages().empty());
}

// With no suggestion to click, a click on the grid empties the box.
TEST_F(BrowserInput, AClickOnTheSuggestionsWithoutARowEmptiesTheBox) {
    clickTab(window->PageControl3, 1);
    QTest::mouseClick(window->QueryEdit, Qt::LeftButton);
    typeKeys(QStringLiteral("无"));
    ASSERT_TRUE(window->SelDBGrid->isVisible());
    ASSERT_EQ(window->Cds_SelItem.recordCount(), 0u);
    QTest::mouseClick(window->SelDBGrid->viewport(), Qt::LeftButton, {}, QPoint(40, 10));
    EXPECT_TRUE(window->QueryEdit->text().isEmpty());
}

// Over a slow network (each answer held 250 ms) typing goes on while suggestions are fetched:
// no key or input-method commit is lost or reordered, at most one suggestion query is in
// flight, the next one asks for the latest text, and the list never shows the answer for an
// older text than the box holds. Enter then searches for the text as it stands.
TEST_F(BrowserInput, TypingOutrunsTheServiceAndLosesNothing) {
    clickTab(window->PageControl3, 1);  // 成交价: no region needed
    QTest::mouseClick(window->QueryEdit, Qt::LeftButton);
    // What the list showed each time it was filled, beside the box's text then.
    std::vector<std::pair<std::string, V>> shown;
    QObject::connect(window->SelDBGrid->model(), &QAbstractItemModel::modelReset, window, [&] {
        shown.emplace_back(window->QueryEdit->text().toStdString(),
                           column(window->Cds_SelItem, "ITEMDESC"));
    });
    const auto typedText = [](const std::string& statement) {
        const auto at = statement.find("PosStr(MERG,'");
        return statement.substr(at + 13, statement.find("')>=1", at) - at - 13);
    };
    service.holdAnswers(std::chrono::milliseconds(250));
    for (const int msPerKey : {20, 60, 250}) {
        SCOPED_TRACE(msPerKey);
        shown.clear();
        const std::size_t before = sent().size();
        // "碎" and "石" as an input method commits them, then three keys.
        for (const QString& commit : {QStringLiteral("碎"), QStringLiteral("石")}) {
            QInputMethodEvent e;
            e.setCommitString(commit);
            QApplication::sendEvent(window->QueryEdit, &e);
            QTest::qWait(msPerKey);
        }
        for (const Qt::Key key : {Qt::Key_X, Qt::Key_Backspace, Qt::Key_Y}) {
            QTest::keyClick(window->QueryEdit, key);
            QTest::qWait(msPerKey);
        }
        settle();
        EXPECT_EQ(window->QueryEdit->text(), QStringLiteral("碎石y"));
        // One statement at a time, each for the box's text when it was sent, the last for all.
        std::vector<std::string> texts;
        for (std::size_t i = before; i < sent().size(); ++i)
            texts.push_back(typedText(sent()[i]));
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(texts.back(), "碎石y");
        const V typedInOrder = {"碎", "碎石", "碎石x", "碎石", "碎石y"};
        std::size_t next = 0;
        for (const std::string& t : texts) {
            while (next < typedInOrder.size() && typedInOrder[next] != t)
                ++next;
            EXPECT_LT(next, typedInOrder.size()) << "sent out of order: " << t;
        }
        if (msPerKey == 20) {
            EXPECT_LT(texts.size(), 5u) << "typing faster than the service";
        }
        // Whenever the list was filled, it held the suggestions of the box's text then.
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back(), (std::pair<std::string, V>{"碎石y", {}}));
        for (const auto& [text, names] : shown)
            EXPECT_EQ(names, text == "碎" || text == "碎石" ? V{"碎石"} : V{}) << text;
        EXPECT_TRUE(window->SelDBGrid->isVisible());
        // Back to an empty box for the next round.
        window->QueryEdit->clear();
        settle();
    }

    // Enter pressed before the suggestions of the text as it stands have come: the search is
    // for that text, not for an older one, and the box keeps it.
    const std::size_t beforeEnter = sent().size();
    QTest::keyClick(window->QueryEdit, Qt::Key_0);  // "0": every row of the period matches
    QTest::keyClick(window->QueryEdit, Qt::Key_Return);
    settle();
    EXPECT_EQ(window->QueryEdit->text(), QStringLiteral("0"));
    std::vector<std::string> searches;
    for (std::size_t i = beforeEnter; i < sent().size(); ++i)
        if (sent()[i].find(" Select * from AAA  ") != std::string::npos)
            searches.push_back(typedText(sent()[i]));
    EXPECT_EQ(searches, V{"0"});
    EXPECT_EQ(column(window->Cds_CJJ, "ITEMDESC"), (V{"O'Neil 砂", "中砂", "碎石"}));
    EXPECT_TRUE(window->SelDBGrid->isHidden());
    EXPECT_TRUE(ui.messages().empty());
}

// The suggestions belong to the box, the node, the tab and the period they were asked for.
TEST_F(BrowserInput, TheSuggestionsNeverGoStale) {
    const struct {
        const char* what;
        std::function<void()> act;
    } changes[] = {
        {"the focus moves to the item list",
         [&] { QTest::mouseClick(window->DBGrid1->viewport(), Qt::LeftButton); }},
        {"Tab takes the focus on", [&] { QTest::keyClick(window->QueryEdit, Qt::Key_Tab); }},
        {"another node", [&] { click(node(QStringLiteral("苗木价"))); }},
        {"another tab", [&] { clickTab(window->PageControl3, 3); }},
        {"another period",
         [&] {
             window->YMDateTimePicker->setFocus(Qt::TabFocusReason);
             QTest::keyClick(window->YMDateTimePicker, Qt::Key_Down);
         }},
    };
    for (const auto& c : changes) {
        suggest();
        c.act();
        EXPECT_TRUE(window->SelDBGrid->isHidden()) << c.what;
    }
    QTest::keyClick(window->YMDateTimePicker, Qt::Key_Up);  // the month with the rows again

    // The keyboard: Down goes into the suggestions, Escape back to the box, Enter chooses.
    suggest();
    QTest::keyClick(window->QueryEdit, Qt::Key_Down);
    EXPECT_TRUE(window->SelDBGrid->hasFocus());
    EXPECT_EQ(window->SelDBGrid->currentIndex().row(), 0);
    QTest::keyClick(window->SelDBGrid, Qt::Key_Escape);
    EXPECT_TRUE(window->SelDBGrid->isHidden());
    EXPECT_TRUE(window->QueryEdit->hasFocus());
    EXPECT_EQ(window->QueryEdit->text(), QStringLiteral("砂"));

    suggest();
    QTest::keyClick(window->QueryEdit, Qt::Key_Down);
    QTest::keyClick(window->SelDBGrid, Qt::Key_Down);
    const std::string second = window->Cds_SelItem.fieldByName("ITEMDESC").asText();
    QTest::keyClick(window->SelDBGrid, Qt::Key_Return);
    EXPECT_EQ(window->QueryEdit->text().toStdString(), second);
    EXPECT_EQ(column(window->Cds_CJJ, "ITEMDESC"), V{second});
    EXPECT_TRUE(window->SelDBGrid->isHidden());
    EXPECT_TRUE(window->QueryEdit->hasFocus());
    EXPECT_TRUE(ui.messages().empty());
}

// "请选择地区查询" answers the user's own entering of the box only; coming back to the page
// where the box had the focus asks nothing.
TEST_F(BrowserInput, NoMessageAppearsByItself) {
    QTest::mouseClick(window->QueryEdit, Qt::LeftButton);
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"请选择地区查询"});
    ui.clear();
    clickTab(window->PageControl1, 1);
    clickTab(window->PageControl1, 0);
    EXPECT_TRUE(window->QueryEdit->hasFocus()) << "the page gives the box its focus back";
    EXPECT_TRUE(ui.messages().empty());
    QTest::keyClick(window->QueryEdit, Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    ASSERT_TRUE(window->QueryEdit->hasFocus());
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"请选择地区查询"}) << "Tab is the user's";
}

TEST_F(Browser, WithoutARegionTheRegionalTabsAskForOne) {
    // Nothing selected, or a material class: no region, so typing sends nothing and the search
    // asks for one.
    for (QTreeWidgetItem* selected :
         {static_cast<QTreeWidgetItem*>(nullptr), node("厂商报价", "钢材")}) {
        if (selected) click(selected);
        window->PageControl3->setCurrentWidget(window->TS_XXJ);
        if (selected) window->TV_TreeL->setCurrentItem(selected);
        const std::size_t before = sent().size();
        type(QStringLiteral("钢"));
        EXPECT_EQ(sent().size(), before);
        QTest::mouseClick(window->QuerySpeedButton, Qt::LeftButton);
        EXPECT_EQ(ui.messages(), V{"请选择地区查询"});
    }
    // The box gets the focus by a click: the message; by the window coming back after the
    // message box: nothing, or the message would reopen for ever.
    window->TV_TreeL->setCurrentItem(nullptr);
    for (const auto& [reason, messages] :
         {std::pair{Qt::MouseFocusReason, 1u}, std::pair{Qt::ActiveWindowFocusReason, 0u}}) {
        ui.clear();
        QFocusEvent out(QEvent::FocusOut, Qt::MouseFocusReason);
        QApplication::sendEvent(window->QueryEdit, &out);
        QFocusEvent in(QEvent::FocusIn, reason);
        QApplication::sendEvent(window->QueryEdit, &in);
        EXPECT_EQ(ui.messages().size(), messages) << reason;
    }
    // A region under "苗木价" serves the "信息价" tab: the two hold the same list.
    click(node("苗木价", "南湖区"));
    window->PageControl3->setCurrentWidget(window->TS_XXJ);
    window->TV_TreeL->setCurrentItem(node("苗木价", "南湖区"));
    type(QStringLiteral("钢"));
    EXPECT_NE(sent().back().find(" WHERE PLACE='南湖区' "), std::string::npos);
    EXPECT_NE(sent().back().find(" From KVR_XXJ"), std::string::npos);
}

// A region's icon lists the items of that region in the icon list's own category, with the
// region selected under it, that branch unfolded and the other category's regions folded away.
TEST_F(BrowserInput, ARegionsIconListsItsItemsAndFoldsTheOtherBranch) {
    const struct {
        int tab;  // of the category tabs
        QListWidget* icons;
        int row;
        const char* own;    // the category the region is chosen under
        const char* other;  // the one folded away
        const char* region;
        std::string statement;
        V items;
    } cases[] = {
        // clang-format off
        {0, window->lv1, 2, "信息价", "苗木价", "南湖区",
         " SELECT distinct ITEMDESC FROM KVR_XXJ \r\n"
         " where PERDID='" + period + "'\r\n"
         " and PLACE='南湖区'\r\n",
         {"", "Steel bar", "热轧带肋钢筋"}},
        {2, window->lv2, 1, "苗木价", "信息价", "西城区",
         " SELECT distinct ITEMDESC FROM KVR_MMJ \r\n"
         " where PERDID='" + period + "'\r\n"
         " and PLACE='西城区'\r\n",
         {"香樟"}},
        // clang-format on
    };
    // By the mouse, and by the keyboard alone: the arrows to the icon, then Enter.
    for (const bool keys : {false, true})
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.region) + (keys ? " by the keyboard" : " by the mouse"));
            clickTab(window->PageControl3, c.tab);
            node(c.other)->setExpanded(true);
            node(c.own)->setExpanded(false);
            const std::size_t before = sent().size();
            if (keys) {
                c.icons->setFocus(Qt::TabFocusReason);
                QTest::keyClick(c.icons, Qt::Key_Home);
                for (int i = 0; i < c.row; ++i)
                    QTest::keyClick(c.icons, Qt::Key_Right);
                ASSERT_EQ(sent().size(), before) << "moving over the icons chooses nothing";
                QTest::keyClick(c.icons, Qt::Key_Return);
            } else {
                QTest::mouseClick(c.icons->viewport(), Qt::LeftButton, {},
                                  c.icons->visualItemRect(c.icons->item(c.row)).center());
            }
            EXPECT_EQ(window->TV_TreeL->currentItem(), node(c.own, c.region));
            EXPECT_TRUE(node(c.own)->isExpanded());
            EXPECT_FALSE(node(c.other)->isExpanded());
            ASSERT_EQ(sent().size(), before + 1);
            EXPECT_EQ(sent().back(), c.statement);
            EXPECT_EQ(column(window->Cds_Item, "ITEMDESC"), c.items);
            EXPECT_EQ(c.icons->currentRow(), c.row);
            EXPECT_EQ(window->PageControl3->currentIndex(), c.tab);
            EXPECT_EQ(ui.cursor(), Cursor::Default);
        }
    // In the tree too, Enter chooses the node the arrows reached.
    window->TV_TreeL->setFocus(Qt::TabFocusReason);
    node("信息价")->setExpanded(true);
    window->TV_TreeL->setCurrentItem(node("信息价"));
    const std::size_t before = sent().size();
    QTest::keyClick(window->TV_TreeL, Qt::Key_Down);  // the first region under 信息价
    ASSERT_EQ(sent().size(), before);
    QTest::keyClick(window->TV_TreeL, Qt::Key_Return);
    ASSERT_EQ(sent().size(), before + 1);
    EXPECT_EQ(window->TV_TreeL->currentItem(), node("信息价")->child(0));
    EXPECT_NE(sent().back().find("KVR_XXJ"), std::string::npos) << sent().back();
    EXPECT_EQ(window->lv1->currentRow(), 0);
}

// Each tab's suggestion statement, sent at every character typed, and its search statement, as
// they cross the wire: every line with its blanks, each followed by CR LF. Each typed text
// matches through one column of the composite key and tells the period's rows apart; the rows
// found carry the composite key first.
TEST_F(BrowserInput, EachTabSuggestsAndSearchesWithItsOwnStatements) {
    const std::string& P = period;
    const struct {
        int tab;  // of the category tabs
        const char* top;
        const char* region;  // "": the tab takes none
        QString typed;
        std::string suggestion;
        std::string search;
        V names;  // suggested, and the items of the rows found
    } cases[] = {
        // clang-format off
        {0, "信息价", "南湖区", QStringLiteral("Steel"),
         "with AAA as\r\n"
         "(\r\n"
         " Select coalesce(ITEMDESC,',') \r\n"
         " ||','||coalesce(PLACE,',') \r\n"
         " ||','||coalesce(PERDID,',') \r\n"
         " MERG\r\n"
         ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MATERIAL,XXJ,SERIAL \r\n"
         " From KVR_XXJ\r\n"
         " WHERE PLACE='南湖区' \r\n"
         " and PERDID='" + P + "' \r\n"
         " ) \r\n"
         " Select DISTINCT ITEMDESC from AAA  \r\n"
         " where PosStr(MERG,'Steel')>=1\r\n",
         "with AAA as\r\n"
         "(\r\n"
         " Select coalesce(ITEMDESC,',') \r\n"
         " ||','||coalesce(PLACE,',') \r\n"
         " ||','||coalesce(PERDID,',') \r\n"
         " MERG\r\n"
         ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MATERIAL,XXJ,SERIAL,UNIT,DEJ,NOTE \r\n"
         " From KVR_XXJ\r\n"
         " WHERE PLACE='南湖区' \r\n"
         " and PERDID='" + P + "' \r\n"
         " ) \r\n"
         " Select * from AAA  \r\n"
         " where PosStr(MERG,'Steel')>=1\r\n"
         " Order by SERIAL \r\n",
         {"Steel bar"}},
        // By region: "西城" is only in PLACE.
        {1, "", "", QStringLiteral("西城"),
         "with AAA as\r\n"
         "(\r\n"
         " Select coalesce(ITEMDESC,',') \r\n"
         " ||','||coalesce(PLACE,',') \r\n"
         " ||','||coalesce(PERDID,',') \r\n"
         " MERG\r\n"
         ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MATERIAL,CJJ,SERIAL \r\n"
         " From KVR_CJJ\r\n"
         " WHERE PERDID='" + P + "' \r\n"
         " ) \r\n"
         " Select DISTINCT ITEMDESC from AAA  \r\n"
         " where PosStr(MERG,'西城')>=1\r\n",
         "with AAA as\r\n"
         "(\r\n"
         " Select coalesce(ITEMDESC,',') \r\n"
         " ||','||coalesce(PLACE,',') \r\n"
         " ||','||coalesce(PERDID,',') \r\n"
         " MERG\r\n"
         ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MATERIAL,CJJ,SERIAL,UNIT,CJRQ,NOTE \r\n"
         " From KVR_CJJ\r\n"
         " WHERE PERDID='" + P + "' \r\n"
         " ) \r\n"
         " Select * from AAA  \r\n"
         " where PosStr(MERG,'西城')>=1\r\n"
         " Order by SERIAL \r\n",
         {"O'Neil 砂", "碎石"}},
        // By supplier: "青山" is only in VEND.
        {2, "苗木价", "西城区", QStringLiteral("青山"),
         "with AAA as\r\n"
         "(\r\n"
         " Select coalesce(ITEMDESC,',') \r\n"
         " ||','||coalesce(PLACE,',') \r\n"
         " ||','||coalesce(PERDID,',') \r\n"
         " ||','||coalesce(VEND,',') \r\n"
         " MERG\r\n"
         ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MMJ,SERIAL,UNIT,VEND,LINKMAN,LINKTEL \r\n"
         " From KVR_MMJ\r\n"
         " WHERE PLACE='西城区' \r\n"
         " and PERDID='" + P + "' \r\n"
         " ) \r\n"
         " Select DISTINCT ITEMDESC from AAA  \r\n"
         " where PosStr(MERG,'青山')>=1\r\n",
         "with AAA as\r\n"
         "(\r\n"
         " Select coalesce(ITEMDESC,',') \r\n"
         " ||','||coalesce(PLACE,',') \r\n"
         " ||','||coalesce(PERDID,',') \r\n"
         " ||','||coalesce(VEND,',') \r\n"
         " MERG\r\n"
         ",ITEMID,ITEMDESC,PLACE,PERDID,SPECID,MODEL,BRAND,MMJ,SERIAL,UNIT,VEND,LINKMAN,LINKTEL,"
         "NOTE \r\n"
         " From KVR_MMJ\r\n"
         " WHERE PLACE='西城区' \r\n"
         " and PERDID='" + P + "' \r\n"
         " ) \r\n"
         " Select * from AAA  \r\n"
         " where PosStr(MERG,'青山')>=1\r\n"
         " Order by SERIAL \r\n",
         {"香樟"}},
        // By material class: "水泥" is only in ICEXT, of one of the period's two quotes.
        {3, "", "", QStringLiteral("水泥"),
         "with AAA as\r\n"
         "(\r\n"
         " Select coalesce(ITEMDESC,',') \r\n"
         " ||','||coalesce(VEND,',') \r\n"
         " ||','||coalesce(PERDID,',') \r\n"
         " ||','||coalesce(ICEXT,',') \r\n"
         " MERG\r\n"
         ",ITEMID,ITEMDESC,VEND,PERDID,SPECID,MODEL,BRAND,MATERIAL,UNIT,CSJ,SERIAL,ICEXT \r\n"
         " From KVR_CSJ\r\n"
         " WHERE PERDID='" + P + "' \r\n"
         " ) \r\n"
         " Select DISTINCT ITEMDESC from AAA  \r\n"
         " where PosStr(MERG,'水泥')>=1\r\n",
         "with AAA as\r\n"
         "(\r\n"
         " Select coalesce(ITEMDESC,',') \r\n"
         " ||','||coalesce(VEND,',') \r\n"
         " ||','||coalesce(PERDID,',') \r\n"
         " ||','||coalesce(ICEXT,',') \r\n"
         " MERG\r\n"
         ",ITEMID,ITEMDESC,VEND,PERDID,SPECID,MODEL,BRAND,MATERIAL,UNIT,CSJ,SERIAL,ICEXT,LINKMAN,"
         "LINKTEL,NOTE \r\n"
         " From KVR_CSJ\r\n"
         " WHERE PERDID='" + P + "' \r\n"
         " ) \r\n"
         " Select * from AAA  \r\n"
         " where PosStr(MERG,'水泥')>=1\r\n"
         " Order by SERIAL \r\n",
         {"熟料"}},
        // clang-format on
    };
    DataSet* rows[] = {&window->Cds_XXJ, &window->Cds_CJJ, &window->Cds_MMJ, &window->Cds_CSJ};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        clickTab(window->PageControl3, c.tab);
        if (*c.region) click(node(QString::fromUtf8(c.top), QString::fromUtf8(c.region)));
        QTest::mouseClick(window->QueryEdit, Qt::LeftButton);
        const std::size_t before = sent().size();
        typeKeys(c.typed);
        // One suggestion statement per character; the last one holds the whole text.
        ASSERT_EQ(sent().size(), before + c.typed.size());
        EXPECT_EQ(sent().back(), c.suggestion);
        EXPECT_EQ(column(window->Cds_SelItem, "ITEMDESC"), c.names);
        QTest::mouseClick(window->QuerySpeedButton, Qt::LeftButton);
        ASSERT_EQ(sent().size(), before + c.typed.size() + 1);
        EXPECT_EQ(sent().back(), c.search);
        DataSet& found = *rows[c.tab];
        EXPECT_EQ(column(found, "ITEMDESC"), c.names);
        ASSERT_TRUE(found.active());
        EXPECT_EQ(found.fields()[0].name, "MERG");
        EXPECT_TRUE(ui.messages().empty());
        EXPECT_EQ(ui.cursor(), Cursor::Default);
    }
}

TEST_F(Browser, AnItemClickFillsTheBoxWithoutAQuery) {
    click(node("成交价"));
    const std::size_t before = sent().size();
    QTest::mouseClick(window->DBGrid1->viewport(), Qt::LeftButton, {},
                      window->DBGrid1->visualRect(window->DBGrid1->model()->index(0, 0)).center());
    EXPECT_EQ(window->marker, "点");
    EXPECT_EQ(window->QueryEdit->text().toStdString(),
              window->Cds_Item.fieldByName("ITEMDESC").asText());
    EXPECT_EQ(sent().size(), before);
}

TEST_F(Browser, ThePeriodFollowsThePickerHoweverItChanges) {
    window->YMDateTimePicker->setFocus();
    window->YMDateTimePicker->setDate(QDate(2025, 3, 15));  // as typing does
    EXPECT_EQ(window->browserPeriod, "202503");
    click(node("成交价"));
    EXPECT_NE(sent().back().find("'202503'"), std::string::npos);
}

TEST_F(Browser, TheWheelMovesOneRecordOverAnOpenDataset) {
    window->PageControl3->setCurrentWidget(window->TS_CJJ);
    TDBGrid* grid = window->CJMDBGrid;
    const QPoint at = grid->viewport()->rect().center();
    const auto wheel = [&](int delta) {
        QWheelEvent e(at, grid->viewport()->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(grid->viewport(), &e);
    };
    wheel(-360);  // closed dataset: the grid's own handling, nothing breaks
    window->Cds_CJJ.loadPacket(service.query("select * from KVR_CJJ order by SERIAL"));
    wheel(-360);  // however far it turns: one record
    EXPECT_EQ(window->Cds_CJJ.currentRow(), 1u);
    wheel(120);
    wheel(120);
    EXPECT_EQ(window->Cds_CJJ.currentRow(), 0u);
    EXPECT_EQ(grid->currentIndex().row(), 0);
}

// The wheel rule is on the four price grids and the four import grids: there a turn moves one
// record. The item list, the suggestions and the pick list scroll like any list.
TEST_F(Browser, OnlyThePriceAndImportGridsMoveARecordByTheWheel) {
    // Rows enough for every grid to scroll: sixty deal-price items, sixty regions.
    std::string deals, regions;
    for (int i = 1; i <= 60; ++i) {
        const std::string n = std::to_string(i);
        deals += std::string(i > 1 ? "," : "") + "('" + period + "'," + std::to_string(100 + i) +
                 ",'东城区','石料" + n + "')";
        regions +=
            std::string(i > 1 ? "," : "") + "('" + std::to_string(100 + i) + "','镇" + n + "')";
    }
    service.exec("INSERT INTO KVR_CJJ (PERDID,SERIAL,PLACE,ITEMDESC) VALUES " + deals +
                 ";INSERT INTO KVR_REGION VALUES " + regions);
    open("11");
    const std::string rows = service.query("select * from KVR_CJJ order by SERIAL");

    TKVR_MainForm& w = *window;
    const auto page = [&](QWidget* centre, QTabWidget* tabs, QWidget* tab) {
        return [&w, centre, tabs, tab] {
            w.PageControl1->setCurrentWidget(centre);
            tabs->setCurrentWidget(tab);
        };
    };
    const struct {
        const char* name;
        TDBGrid* grid;
        DataSet& rows;
        std::function<void()> show;  // makes the grid seen, with its rows
        bool rule;
    } grids[] = {
        {"XXMDBGrid", w.XXMDBGrid, w.Cds_XXJ, page(w.TS_User, w.PageControl3, w.TS_XXJ), true},
        {"CJMDBGrid", w.CJMDBGrid, w.Cds_CJJ, page(w.TS_User, w.PageControl3, w.TS_CJJ), true},
        {"MMMDBGrid", w.MMMDBGrid, w.Cds_MMJ, page(w.TS_User, w.PageControl3, w.TS_MMJ), true},
        {"CSMDBGrid", w.CSMDBGrid, w.Cds_CSJ, page(w.TS_User, w.PageControl3, w.TS_CSJ), true},
        {"XXJDDBGrid", w.XXJDDBGrid, w.Cds_XXJD, page(w.TS_Admin, w.PageControl2, w.TS_XXJD), true},
        {"CJJDDBGrid", w.CJJDDBGrid, w.Cds_CJJD, page(w.TS_Admin, w.PageControl2, w.TS_CJJD), true},
        {"MMJDDBGrid", w.MMJDDBGrid, w.Cds_MMJD, page(w.TS_Admin, w.PageControl2, w.TS_MMJD), true},
        {"CSJDDBGrid", w.CSJDDBGrid, w.Cds_CSJD, page(w.TS_Admin, w.PageControl2, w.TS_CSJD), true},
        {"DBGrid1", w.DBGrid1, w.Cds_Item, [&] { click(node("成交价")); }, false},
        {"SelDBGrid", w.SelDBGrid, w.Cds_SelItem,
         [&] {
             w.PageControl1->setCurrentWidget(w.TS_User);
             w.PageControl3->setCurrentWidget(w.TS_CJJ);
             type(QStringLiteral("石料"));
         },
         false},
        {"QueryDBGrid", w.QueryDBGrid, w.Cds_Region,
         [&] {
             w.PageControl1->setCurrentWidget(w.TS_Admin);
             w.PageControl2->setCurrentWidget(w.TS_MMJD);  // the pick list of regions
         },
         false},
    };
    for (const auto& g : grids) {
        g.show();
        if (g.rule) g.rows.loadPacket(rows);
        ASSERT_TRUE(g.grid->isVisible()) << g.name;
        ASSERT_GT(g.rows.recordCount(), 20u) << g.name;
        g.rows.first();
        const QPoint at = g.grid->viewport()->rect().center();
        QWheelEvent turn(at, g.grid->viewport()->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, {},
                         Qt::NoScrollPhase, false);
        QApplication::sendEvent(g.grid->viewport(), &turn);
        EXPECT_EQ(g.rows.currentRow(), g.rule ? 1u : 0u) << g.name;
        EXPECT_EQ(g.grid->currentIndex().row(), g.rule ? 1 : 0) << g.name;
        // The rows shown: the first ones still, or the list scrolled on.
        EXPECT_EQ(g.grid->verticalScrollBar()->value() > 0, !g.rule) << g.name;
    }
}

// The region icons stand in cells ruled off by grid lines. The caption under the mouse is
// underlined, and only while the mouse is over it: leaving for an empty part of the list or out
// of the list takes the underline away.
TEST_F(Browser, TheRegionIconsHaveGridLinesAndAnUnderlineOnlyUnderTheMouse) {
    QListWidget* lv = window->lv1;
    ASSERT_TRUE(lv->isVisible());
    QCoreApplication::processEvents();  // the list lays its icons out when it gets to it
    const auto shown = [lv] { return lv->viewport()->grab().toImage(); };
    const QImage plain = shown();
    const QSize cell = lv->gridSize();
    const QColor ground = plain.pixelColor(plain.width() - 4, 4);  // right of the three icons
    const QColor line = plain.pixelColor(cell.width() - 1, cell.height() / 2);
    EXPECT_NE(line, ground);
    // A vertical line after each icon, a horizontal one under the row, unbroken.
    for (int k = 1; k <= 3; ++k)
        for (int y = 0; y < cell.height(); ++y)
            ASSERT_EQ(plain.pixelColor(k * cell.width() - 1, y), line) << k << "," << y;
    for (int x = 0; x < 3 * cell.width(); ++x)
        ASSERT_EQ(plain.pixelColor(x, cell.height() - 1), line) << x;
    EXPECT_EQ(plain.pixelColor(4 * cell.width() - 1, cell.height() / 2), ground);  // no 4th icon

    const QPoint caption = lv->visualItemRect(lv->item(1)).center() + QPoint(0, 14);
    QTest::mouseMove(lv->viewport(), caption);
    const QImage hovered = shown();
    EXPECT_NE(hovered, plain);
    // The change is the caption's underline: only the second cell differs.
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
            if (hovered.pixel(x, y) != plain.pixel(x, y)) {
                ASSERT_TRUE(QRect(cell.width(), 0, cell.width(), cell.height()).contains(x, y))
                    << x << "," << y;
            }
    QTest::mouseMove(lv->viewport(), QPoint(lv->viewport()->width() - 20, 20));  // no icon there
    EXPECT_EQ(shown(), plain);
    QTest::mouseMove(lv->viewport(), caption);
    EXPECT_EQ(shown(), hovered);
    QTest::mouseMove(window->XXMDBGrid->viewport(), QPoint(20, 20));  // out of the list
    EXPECT_EQ(shown(), plain);
}

// A cell whose text its column cuts shows the whole text in a tool tip when the mouse rests on
// it; a cell whose text fits shows none. Every grid does so: price grids, the item list, the
// import grids.
TEST_F(Browser, ACutCellShowsItsWholeTextInAToolTip) {
    const std::string p = "'" + period + "'";
    service.exec("INSERT INTO KVR_XXJ (PERDID,PLACE,SERIAL,ITEMDESC,SPECID,UNIT) VALUES (" + p +
                 ",'东城区',2,'普通硅酸盐水泥','P.O 42.5 袋装','吨'),(" + p +
                 ",'东城区',3,'热轧带肋钢筋 HRB400E 抗震 Φ12-Φ25 定尺九米','','吨'),(" + p +
                 ",'东城区',4,'<b>特级</b> 钢筋混凝土排水管 Ⅱ级 承插口 DN600','','根'),(" + p +
                 ",'东城区',5,'商品混凝土 C30 泵送 坍落度','','方')");
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    click(node("信息价", "东城区"));  // its items in the item list
    window->Cds_XXJ.loadPacket(
        service.query("select * from KVR_XXJ where PLACE='东城区' order by SERIAL"));

    // What the tool tip shows the user.
    const auto tip = []() -> QString {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* l = qobject_cast<QLabel*>(w);
                l && l->objectName() == QStringLiteral("qtooltip_label") && l->isVisible()) {
                if (!Qt::mightBeRichText(l->text())) return l->text();
                QTextDocument shown;
                shown.setHtml(l->text());
                return shown.toPlainText();
            }
        return {};
    };
    // Tool tips come when the mouse rests: each case waits for the grid's tool tip event.
    struct ToolTipEvents : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::ToolTip) ++count;
            return false;
        }
    };
    // The mouse rests on the cell of `field` in the first row whose text starts with `start`.
    const auto rest = [&](TDBGrid* grid, const char* field, const char* start, const char* whole) {
        const TDataSource* source = grid->dataSource();
        QModelIndex cell;
        for (std::size_t c = 0; c < source->columns().size(); ++c)
            if (source->columns()[c].field == QString::fromUtf8(field))
                for (int r = grid->model()->rowCount() - 1; r >= 0; --r)
                    if (const QModelIndex i = grid->model()->index(r, static_cast<int>(c));
                        i.data().toString().startsWith(QString::fromUtf8(start)))
                        cell = i;
        ASSERT_TRUE(cell.isValid()) << field << " " << start;
        ToolTipEvents events;
        grid->viewport()->installEventFilter(&events);
        QTest::mouseMove(grid->viewport(), grid->visualRect(cell).center());
        EXPECT_TRUE(QTest::qWaitFor([&] { return events.count > 0; })) << field << " " << start;
        grid->viewport()->removeEventFilter(&events);
        if (*whole)
            EXPECT_EQ(tip().toStdString(), whole) << field << " " << start;
        else  // a tip shown before goes away
            EXPECT_TRUE(QTest::qWaitFor([&] { return tip().isEmpty(); }, 1000))
                << field << " " << start << ": " << tip().toStdString();
    };
    const struct {
        TDBGrid* grid;
        const char* field;
        const char* start;  // of the cell's text
        const char* whole;  // "": the text fits, no tool tip
    } cells[] = {
        {window->XXMDBGrid, "SPECID", "P.O 42.5 袋", "P.O 42.5 袋装"},
        {window->XXMDBGrid, "SPECID", "P.O 42.5", ""},
        {window->XXMDBGrid, "ITEMDESC", "普通", ""},
        {window->XXMDBGrid, "ITEMDESC", "热轧带肋钢筋 HRB",
         "热轧带肋钢筋 HRB400E 抗震 Φ12-Φ25 定尺九米"},
        {window->XXMDBGrid, "UNIT", "吨", ""},
        {window->XXMDBGrid, "ITEMDESC", "<b>", "<b>特级</b> 钢筋混凝土排水管 Ⅱ级 承插口 DN600"},
        {window->XXMDBGrid, "PERDID", "", ""},
        {window->DBGrid1, "ITEMDESC", "热轧", "热轧带肋钢筋 HRB400E 抗震 Φ12-Φ25 定尺九米"},
        {window->DBGrid1, "ITEMDESC", "普通", ""},
        // Its column is wider than the list: the grid's edge cuts this one.
        {window->DBGrid1, "ITEMDESC", "商品", "商品混凝土 C30 泵送 坍落度"},
    };
    for (const auto& c : cells)
        rest(c.grid, c.field, c.start, c.whole);

    // The import grids of the data centre, whose page empties them as it is entered.
    window->PageControl1->setCurrentWidget(window->TS_Admin);
    window->PageControl2->setCurrentWidget(window->TS_CSJD);
    window->Cds_CSJD.loadPacket(
        service.query("select 'Φ20' AS SPECID, '鑫达建材有限责任公司华东第三分公司' AS VEND"));
    rest(window->CSJDDBGrid, "VEND", "鑫达", "鑫达建材有限责任公司华东第三分公司");
    rest(window->CSJDDBGrid, "SPECID", "Φ20", "");  // the pick list covers the first columns
}

TEST_F(Browser, CtrlCCopiesTheSelectedRowsWithTitles) {
    window->PageControl3->setCurrentWidget(window->TS_CJJ);
    window->Cds_CJJ.loadPacket(service.query("select * from KVR_CJJ order by SERIAL"));
    window->CJMDBGrid->selectAll();
    QTest::keySequence(window->CJMDBGrid, QKeySequence::Copy);
    const QStringList lines = QApplication::clipboard()->text().split(QStringLiteral("\r\n"));
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines[0],
              QStringLiteral("发布日期\t标准材料编码\t材料名\t规格\t型号\t计量单位\t成交价\t"
                             "成交日期\t地区\t品牌\t材质"));
    EXPECT_EQ(lines[1].split('\t')[2], QStringLiteral("中砂"));
}

TEST_F(Browser, TheWindowRendersItsContents) {
    click(node("信息价", "南湖区"));
    type(QStringLiteral("钢"));
    QTest::mouseClick(window->QuerySpeedButton, Qt::LeftButton);
    type(QStringLiteral("钢筋"));  // the suggestions shown over the grid
    ASSERT_TRUE(window->SelDBGrid->isVisible());
    ASSERT_EQ(window->SelDBGrid->model()->rowCount(), 1);
    ASSERT_EQ(window->XXMDBGrid->model()->rowCount(), 1);
    EXPECT_EQ(window->size(), QSize(1000, 700));
    // Every character on the page, the rows and suggestions too, has its glyph in the font
    // that draws it.
    EXPECT_EQ(missingGlyphs(window), "");
    const QString dir = QDir::currentPath() + QStringLiteral("/screenshots");
    QDir().mkpath(dir);
    EXPECT_TRUE(window->grab().save(dir + QStringLiteral("/browser.png")));
}

}  // namespace
}  // namespace tarvelo::test
