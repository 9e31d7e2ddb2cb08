// A service call does not freeze the windows: they paint, input is dropped, a busy indicator
// tells what is being done, and a read can be abandoned.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <vector>

#include "accounts/Unit_Register.h"
#include "app/Application.h"
#include "app/Globals.h"
#include "platform/ScriptedPlatform.h"
#include "service/IISdm.h"
#include "signin/Login.h"
#include "support/RawHttpListener.h"
#include "text/Error.h"
#include "widgets/QtCallWaiter.h"

namespace tarvelo::test {
namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

QtCallWaiter& waiter() {
    return *static_cast<QtCallWaiter*>(app().waiter);
}

// Runs `step` once the call in flight has lasted `ms` milliseconds.
void during(int ms, std::function<void()> step) {
    QTimer::singleShot(ms, qApp, std::move(step));
}

class ServiceWait : public ::testing::Test {
protected:
    void open(const std::string& base) {
        app().use(ui, base);
        ASSERT_TRUE(dynamic_cast<QtCallWaiter*>(app().waiter));
        login = new TTarvelo;
        Tarvelo = login;
        login->show();
        login->activateWindow();
        login->UserIDEdit->setText(QStringLiteral("amy"));
        login->PassWordEdit->setText(QStringLiteral("secret"));
    }
    void TearDown() override {
        delete Tarvelo.data();
        delete Frm_Register.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        app().reset();
    }

    ScriptedPlatform ui;
    TTarvelo* login = nullptr;
};

TEST_F(ServiceWait, TheWindowPaintsDropsInputAndSaysWhatIsBeingDone) {
    RawHttpListener slow(500, "<html>busy</html>", "text/html");
    slow.answerAfter(std::chrono::milliseconds(1500));
    open(slow.base());
    PaintCounter counter;
    login->installEventFilter(&counter);

    bool checkedIndicator = false;
    int paintsBefore = 0;
    during(100, [&] {
        ASSERT_TRUE(waiter().busy());
        paintsBefore = counter.paints;
        login->update();
        // A click on another button reaches nothing while the call is in flight; typing waits
        // for its end.
        QTest::mouseClick(login->RegSpeedButton, Qt::LeftButton);
        QTest::mouseClick(login->OKSpeedButton, Qt::LeftButton);
        QTest::keyClick(login->UserIDEdit, Qt::Key_X);
        EXPECT_FALSE(waiter().indicator()) << "not before half a second";
    });
    during(900, [&] {
        EXPECT_GT(counter.paints, paintsBefore) << "the window painted during the call";
        BusyIndicator* busy = waiter().indicator();
        ASSERT_TRUE(busy);
        EXPECT_TRUE(busy->isVisible());
        EXPECT_EQ(busy->parentWidget(), login);
        EXPECT_TRUE(login->rect().contains(busy->geometry()));
        EXPECT_EQ(busy->whatLabel()->text(), QStringLiteral("正在查询…"));
        EXPECT_EQ(busy->elapsedLabel()->text(), QStringLiteral("已用 0 秒"));
        ASSERT_TRUE(busy->cancelButton());
        EXPECT_EQ(busy->cancelButton()->text(), QStringLiteral("取消"));
        if (qEnvironmentVariableIsSet("TARVELO_SHOTS"))
            login->grab().save(qEnvironmentVariable("TARVELO_SHOTS") + "/busy-read.png");
        checkedIndicator = true;
    });
    QTest::mouseClick(login->OKSpeedButton, Qt::LeftButton);

    EXPECT_TRUE(checkedIndicator);
    EXPECT_FALSE(waiter().busy());
    EXPECT_FALSE(waiter().indicator()) << "the indicator goes with the call";
    EXPECT_FALSE(Frm_Register) << "the click made during the call was not handled, then or later";
    EXPECT_EQ(login->UserIDEdit->text(), QStringLiteral("amy")) << "not during the call";
    QTest::qWait(20);
    EXPECT_EQ(login->UserIDEdit->text(), QStringLiteral("amyx")) << "the key typed is kept";
    EXPECT_EQ(slow.requests().size(), 1u) << "the second press of 登录 started nothing";
    ASSERT_EQ(ui.events().size(), 1u);
    EXPECT_TRUE(ui.events()[0].text.starts_with("数据服务返回了 HTTP 错误 500"))
        << ui.events()[0].text;

    // Input goes through again once the call is over.
    QTest::mouseClick(login->RegSpeedButton, Qt::LeftButton);
    EXPECT_TRUE(Frm_Register);
}

// The button and Esc both abandon a read; the handler ends with the cancellation as its error.
TEST_F(ServiceWait, AReadCanBeCancelledFromTheIndicatorOrWithEsc) {
    for (const bool byKey : {false, true}) {
        SilentListener silent;
        open(silent.base());
        bool cancelled = false;
        during(700, [&] {
            BusyIndicator* busy = waiter().indicator();
            ASSERT_TRUE(busy && busy->cancelButton());
            if (byKey)
                QTest::keyClick(login->PassWordEdit, Qt::Key_Escape);
            else
                QTest::mouseClick(busy->cancelButton(), Qt::LeftButton);
            cancelled = true;
        });
        QTest::mouseClick(login->OKSpeedButton, Qt::LeftButton);
        EXPECT_TRUE(cancelled) << byKey;
        ASSERT_EQ(ui.events().size(), 1u) << byKey;
        EXPECT_EQ(ui.events()[0].kind, ScriptedPlatform::Event::ErrorBox) << byKey;
        EXPECT_TRUE(ui.events()[0].text.starts_with("已取消")) << ui.events()[0].text;
        EXPECT_FALSE(waiter().busy());
        TearDown();
        ui.clear();
    }
}

// A write once sent cannot be taken back: the indicator has no cancel button and says why, and
// Esc does not end the wait.
TEST_F(ServiceWait, AWriteCannotBeCancelled) {
    RawHttpListener slow(500, "<html>busy</html>", "text/html");
    slow.answerAfter(std::chrono::milliseconds(1200));
    open(slow.base());
    bool checked = false;
    during(800, [&] {
        BusyIndicator* busy = waiter().indicator();
        ASSERT_TRUE(busy);
        EXPECT_EQ(busy->whatLabel()->text(), QStringLiteral("正在写入数据…"));
        EXPECT_FALSE(busy->cancelButton());
        EXPECT_TRUE(busy->findChildren<QLabel*>().size() >= 3);
        bool saysWhy = false;
        for (const QLabel* l : busy->findChildren<QLabel*>())
            saysWhy |= l->text() == QStringLiteral("写入数据时不能取消，请等待数据服务答复。");
        EXPECT_TRUE(saysWhy);
        if (qEnvironmentVariableIsSet("TARVELO_SHOTS"))
            login->grab().save(qEnvironmentVariable("TARVELO_SHOTS") + "/busy-write.png");
        QTest::keyClick(login->UserIDEdit, Qt::Key_Escape);
        checked = true;
    });
    std::string said;
    try {
        IISdmPtr->ApplyIntf->ApplyVanDataByExc("delete from KVR_LOGIN");
    } catch (const Error& e) {
        said = e.message();
    }
    EXPECT_TRUE(checked);
    EXPECT_TRUE(said.starts_with("数据服务返回了 HTTP 错误 500")) << said;
}

}  // namespace
}  // namespace tarvelo::test
