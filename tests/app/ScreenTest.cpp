// The windows on small and scaled screens. The binary runs once per screen (TARVELO_TEST_SCREEN,
// see tests/CMakeLists.txt): the scale factor must be set before the application exists.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "about/About.h"
#include "accounts/Unit_EditMM.h"
#include "accounts/Unit_ProcGrant.h"
#include "accounts/Unit_Register.h"
#include "accounts/Unit_SetMM.h"
#include "app/Application.h"
#include "app/Globals.h"
#include "app/StartUp.h"
#include "browser/KVR_Main.h"
#include "platform/ScriptedPlatform.h"
#include "service/IISdm.h"
#include "signin/Login.h"
#include "support/TestService.h"
#include "widgets/DBGrid.h"

namespace tarvelo::test {
namespace {

// The screens TARVELO_TEST_SCREEN asks for ("1280x800@1.5", "1920x1080,1280x800@1.5"): their
// sizes in device pixels and the scale factor.
struct ScreenLayout {
    std::vector<QSize> sizes;
    double scale = 1;
};

ScreenLayout askedFor() {
    ScreenLayout layout;
    const QString text = qEnvironmentVariable("TARVELO_TEST_SCREEN", QStringLiteral("1920x1080"));
    const QStringList parts = text.split(QLatin1Char('@'));
    if (parts.size() == 2) layout.scale = parts[1].toDouble();
    for (const QString& screen : parts[0].split(QLatin1Char(','))) {
        const QStringList wh = screen.split(QLatin1Char('x'));
        layout.sizes.emplace_back(wh.value(0).toInt(), wh.value(1).toInt());
    }
    return layout;
}

QString screenName() {
    return qEnvironmentVariable("TARVELO_TEST_SCREEN").replace(QLatin1Char(','), QLatin1Char('+'));
}

QRect onScreen(const QWidget* w) {
    return {w->mapToGlobal(QPoint(0, 0)), w->size()};
}

// Checks that `w` is shown wholly on the available area of the screen `expected` (its own),
// centred there at its `designed` size where that fits, and shrunk (never below what its
// layout needs) where it does not.
void expectPlaced(QWidget* w, QSize designed, QScreen* expected) {
    ASSERT_TRUE(w);
    SCOPED_TRACE(w->objectName().toStdString());
    ASSERT_TRUE(w->isVisible());
    EXPECT_EQ(w->screen(), expected);
    const QRect available = expected->availableGeometry();
    const QRect frame = w->frameGeometry();
    const QSize margins = frame.size() - w->size();
    EXPECT_TRUE(available.contains(frame))
        << "frame (" << frame.x() << "," << frame.y() << " " << frame.width() << "x"
        << frame.height() << ") on (" << available.x() << "," << available.y() << " "
        << available.width() << "x" << available.height() << ")";
    const QSize room = available.size() - margins;
    EXPECT_EQ(w->size(), designed.boundedTo(room));
    EXPECT_EQ(w->size(), w->size().expandedTo(w->minimumSizeHint()));
    EXPECT_LE(std::abs(frame.center().x() - available.center().x()), 1);
    EXPECT_LE(std::abs(frame.center().y() - available.center().y()), 1);
}

// Checks that every button, box and tab of `window`'s shown pages lies wholly inside the window
// and inside each widget around it: nothing cut off at a right or bottom edge.
void expectControlsInView(QWidget* window) {
    QList<QWidget*> controls;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window)) continue;
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
            qobject_cast<QDateEdit*>(w) || qobject_cast<QTabBar*>(w))
            controls.append(w);
    }
    ASSERT_FALSE(controls.isEmpty());
    for (QWidget* w : controls) {
        // Line edits inside date boxes are the boxes' own business.
        if (qobject_cast<QDateEdit*>(w->parentWidget())) continue;
        QRect shown = window->rect();
        for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
            shown &= QRect(p->mapTo(window, QPoint(0, 0)), p->size());
        const QRect at(w->mapTo(window, QPoint(0, 0)), w->size());
        EXPECT_TRUE(shown.contains(at))
            << w->metaObject()->className() << " " << w->objectName().toStdString() << " \""
            << (qobject_cast<QAbstractButton*>(w)
                    ? qobject_cast<QAbstractButton*>(w)->text().toStdString()
                    : std::string())
            << "\" at (" << at.x() << "," << at.y() << " " << at.width() << "x" << at.height()
            << ") shown in (" << shown.x() << "," << shown.y() << " " << shown.width() << "x"
            << shown.height() << ")";
    }
}

// Every tab of `tabs` in view: the bar on the screen's available area, each tab within the bar.
void expectTabsInView(QTabWidget* tabs, const QRect& available) {
    const QTabBar* bar = tabs->tabBar();
    ASSERT_TRUE(bar->isVisible());
    EXPECT_TRUE(available.contains(onScreen(bar)));
    for (int i = 0; i < bar->count(); ++i) {
        if (!bar->isTabVisible(i)) continue;
        EXPECT_TRUE(bar->rect().contains(bar->tabRect(i))) << bar->tabText(i).toStdString();
    }
}

// A picture drawn as sharp as the screen allows: `pixmap` holds `logical` times the ratio in
// device pixels.
void expectSharp(const QPixmap& pixmap, QSize logical, double ratio, const std::string& what) {
    EXPECT_EQ(pixmap.size(), (QSizeF(logical) * ratio).toSize()) << what;
    EXPECT_DOUBLE_EQ(pixmap.devicePixelRatio(), ratio) << what;
}

// The program as it starts: every window created, the login window shown; an account with
// both roles and the reference lists to fill the main window.
class Screens : public ::testing::Test {
protected:
    void SetUp() override {
        // The platform must show what was asked for, or the checks prove nothing.
        const ScreenLayout layout = askedFor();
        const QList<QScreen*> screens = QGuiApplication::screens();
        ASSERT_EQ(screens.size(), static_cast<qsizetype>(layout.sizes.size()));
        for (qsizetype i = 0; i < screens.size(); ++i) {
            // in device pixels, give or take the rounding to whole logical ones
            const QSizeF device = QSizeF(screens[i]->size()) * layout.scale;
            EXPECT_NEAR(device.width(), layout.sizes[i].width(), 1);
            EXPECT_NEAR(device.height(), layout.sizes[i].height(), 1);
            EXPECT_DOUBLE_EQ(screens[i]->devicePixelRatio(), layout.scale);
        }
        ratio = layout.scale;

        app().use(ui, service.base(), [] {});
        service.exec(
            "INSERT INTO KVR_USERH (USERID,USERNAME,PASSWORD,PWBZ,SYSBZ,DATABZ,TEL,VERIFY) "
            "VALUES ('amy','艾米','" +
            service.enVerifs(TIISdmPtr::PasswordSource("secret-1")) +
            "','0','0','11','139','');"
            "INSERT INTO KVR_REGION VALUES ('01','东城区'),('02','西城区'),('03','南湖区');"
            "INSERT INTO KVR_ICEXT VALUES ('01','钢材')");
        createWindows();
        Tarvelo->show();
        Tarvelo->activateWindow();
    }
    void TearDown() override {
        destroyWindows();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        app() = AppContext{};
    }
    void signIn() {
        Tarvelo->UserIDEdit->setText(QStringLiteral("amy"));
        Tarvelo->PassWordEdit->setText(QStringLiteral("secret-1"));
        QTest::mouseClick(Tarvelo->OKSpeedButton, Qt::LeftButton);
        ASSERT_TRUE(ui.messages().empty()) << ui.messages().front();
        ASSERT_TRUE(KVR_MainForm && KVR_MainForm->isVisible());
    }
    void save(QWidget* w, const QString& name) {
        const QString dir = QDir::currentPath() + QStringLiteral("/screenshots");
        QDir().mkpath(dir);
        EXPECT_TRUE(w->grab().save(QStringLiteral("%1/%2-%3.png").arg(dir, name, screenName())));
    }

    TestService service;
    ScriptedPlatform ui;
    double ratio = 1;
};

using SmallScreen = Screens;
using TwoScreens = Screens;

TEST_F(SmallScreen, TheLoginWindowAndTheWindowsItOpensAreCentredOnTheScreen) {
    QScreen* primary = QGuiApplication::primaryScreen();
    expectPlaced(Tarvelo, QSize(618, 327), primary);
    QTest::mouseClick(Tarvelo->HelpSpeedButton, Qt::LeftButton);
    expectPlaced(AboutBox, QSize(420, 280), primary);
    QTest::mouseClick(Tarvelo->RegSpeedButton, Qt::LeftButton);
    expectPlaced(Frm_Register, QSize(523, 273), primary);
    Tarvelo->UserIDEdit->setText(QStringLiteral("amy"));
    QTest::mouseClick(Tarvelo->MMSpeedButton, Qt::LeftButton);
    expectPlaced(Frm_EditMM, QSize(523, 218), primary);
    QTest::mouseClick(Tarvelo->SetMMSpeedButton, Qt::LeftButton);
    expectPlaced(Frm_SetMM, QSize(523, 268), primary);
    EXPECT_TRUE(ui.messages().empty()) << ui.messages().front();
}

TEST_F(SmallScreen, TheMainWindowFitsWithEveryTabAndButtonInView) {
    ASSERT_NO_FATAL_FAILURE(signIn());
    TKVR_MainForm* main = KVR_MainForm;
    QScreen* screen = QGuiApplication::primaryScreen();
    expectPlaced(main, QSize(1000, 700), screen);
    const QRect available = screen->availableGeometry();
    expectTabsInView(main->PageControl1, available);
    expectTabsInView(main->PageControl3, available);
    expectControlsInView(main);
    save(main, QStringLiteral("main"));
    // Where the window keeps its designed size, so do the search strip, the tree and the icon
    // lists.
    if (main->size() == QSize(1000, 700)) {
        EXPECT_EQ(main->TitlePanel->height(), 110);
        EXPECT_EQ(main->TV_TreeL->height(), 224);
        EXPECT_EQ(main->lv1->height(), 150);
    }
    // The suggestions open under the search box and end on the page.
    main->QueryEdit->setFocus();
    ui.clear();
    main->TV_TreeL->topLevelItem(0)->setExpanded(true);
    main->TV_TreeL->setCurrentItem(main->TV_TreeL->topLevelItem(0)->child(0));
    QTest::sendKeyEvent(QTest::Click, main->QueryEdit, Qt::Key_unknown, QStringLiteral("钢"), {});
    for (int i = 0; i < 1000 && main->suggestionsPending(); ++i)
        QTest::qWait(5);  // suggestions come beside the window's calls
    ASSERT_TRUE(main->SelDBGrid->isVisible());
    EXPECT_TRUE(main->Panel4->rect().contains(main->SelDBGrid->geometry()));

    // The data centre, its pick list, and the administration window it opens.
    main->PageControl1->setCurrentWidget(main->TS_Admin);
    expectTabsInView(main->PageControl2, available);
    expectControlsInView(main);
    main->PageControl2->setCurrentWidget(main->TS_XXJD);
    main->showPickList();
    ASSERT_TRUE(main->QueryDBGrid->isVisible());
    EXPECT_TRUE(main->TS_Admin->rect().contains(main->QueryDBGrid->geometry()));
    save(main, QStringLiteral("datacentre"));
    QTest::mouseClick(main->UserTB, Qt::LeftButton);
    expectPlaced(Frm_ProcGrant, QSize(992, 667), screen);
    expectControlsInView(Frm_ProcGrant);
}

TEST_F(SmallScreen, PicturesAreDrawnAtTheScreensPixelDensity) {
    // The login window's banner and background.
    int pictures = 0;
    for (const QLabel* label : Tarvelo->findChildren<QLabel*>()) {
        if (label->pixmap().isNull()) continue;
        ++pictures;
        // as many pixels as the label covers on the screen, give or take the rounding
        EXPECT_GE(label->pixmap().width(), label->width() * ratio - 1);
        EXPECT_GE(label->pixmap().height(), label->height() * ratio - 1);
    }
    EXPECT_EQ(pictures, 2);
    save(Tarvelo, QStringLiteral("login"));

    // The region icons of both lists, and the pictures on the buttons.
    ASSERT_NO_FATAL_FAILURE(signIn());
    TKVR_MainForm* main = KVR_MainForm;
    for (const QListWidget* icons : {main->lv1, main->lv2}) {
        ASSERT_EQ(icons->count(), 3);
        for (int i = 0; i < icons->count(); ++i)
            expectSharp(icons->item(i)->icon().pixmap(icons->iconSize(), ratio), icons->iconSize(),
                        ratio, icons->item(i)->text().toStdString());
    }
    main->PageControl1->setCurrentWidget(main->TS_Admin);
    QTest::mouseClick(main->UserTB, Qt::LeftButton);
    ASSERT_TRUE(Frm_ProcGrant);
    // The search and exit buttons, the six of the data centre's tool bar, and the three of the
    // administration window (a child of the main window).
    int buttons = 0;
    for (const QToolButton* b : main->findChildren<QToolButton*>()) {
        // Only the windows' own buttons: not those of a calendar popup, a window of its own.
        if (b->icon().isNull() || (b->window() != main && b->window() != Frm_ProcGrant.data()))
            continue;
        ++buttons;
        expectSharp(b->icon().pixmap(b->iconSize(), ratio), b->iconSize(), ratio,
                    b->text().toStdString());
    }
    EXPECT_EQ(buttons, 11);
}

TEST_F(TwoScreens, AWindowOpensOnItsOwnersScreen) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 2);
    expectPlaced(Tarvelo, QSize(618, 327), screens[0]);
    // The user takes the login window to the second screen: what it opens appears there.
    Tarvelo->move(screens[1]->availableGeometry().topLeft() + QPoint(20, 20));
    ASSERT_EQ(Tarvelo->screen(), screens[1]);
    QTest::mouseClick(Tarvelo->RegSpeedButton, Qt::LeftButton);
    expectPlaced(Frm_Register, QSize(523, 273), screens[1]);
    ASSERT_NO_FATAL_FAILURE(signIn());
    expectPlaced(KVR_MainForm, QSize(1000, 700), screens[1]);
}

}  // namespace
}  // namespace tarvelo::test
