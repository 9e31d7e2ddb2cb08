#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/Application.h"
#include "app/Globals.h"
#include "app/StartUp.h"
#include "browser/KVR_Main.h"
#include "platform/QtPlatform.h"
#include "platform/ScriptedPlatform.h"
#include "support/TestService.h"

namespace tarvelo::test {
namespace {

// Every kind of message box the platform shows with Qt's own OK button: the button reads "确定",
// from Qt's translation, which our own translator, asked first, must leave to it.
TEST(ChineseQtTexts, MessageBoxesHaveAChineseOkButton) {
    QtPlatform platform;
    using Show = void (QtPlatform::*)(std::string_view);
    for (const auto& [name, show] :
         {std::pair<const char*, Show>{"message", &QtPlatform::message},
          std::pair<const char*, Show>{"information", &QtPlatform::information},
          std::pair<const char*, Show>{"errorBox", &QtPlatform::errorBox}}) {
        QStringList buttons;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            for (const QAbstractButton* b : box->buttons())
                buttons << b->text();
            box->accept();
        });
        (platform.*show)("操作成功。");
        EXPECT_EQ(buttons.join(QLatin1Char(' ')).toStdString(), "确定") << name;
    }
}

// The month picker of the main window opens a calendar that names the months and the days of
// the week in Chinese.
TEST(ChineseQtTexts, TheMonthPickersCalendarIsChinese) {
    TestService service;
    ScriptedPlatform ui;
    app().use(ui, service.base());
    createWindows();
    ASSERT_TRUE(KVR_MainForm);
    KVR_MainForm->show();
    QDateEdit* picker = KVR_MainForm->YMDateTimePicker;
    {
        const QSignalBlocker quiet(picker);
        picker->setDate(QDate(2026, 12, 1));
    }
    QTest::mouseClick(picker, Qt::LeftButton, {},
                      QPoint(picker->width() - 6, picker->height() / 2));
    QCalendarWidget* calendar = picker->calendarWidget();
    ASSERT_TRUE(QTest::qWaitFor([&] { return calendar->isVisible(); }));

    const auto* month =
        calendar->findChild<QToolButton*>(QStringLiteral("qt_calendar_monthbutton"));
    ASSERT_NE(month, nullptr);
    EXPECT_EQ(month->text().toStdString(), "十二月");
    QStringList months;
    for (const QAction* a : month->menu()->actions())
        months << a->text();
    EXPECT_EQ(months.join(QLatin1Char(' ')).toStdString(),
              "一月 二月 三月 四月 五月 六月 七月 八月 九月 十月 十一月 十二月");

    const auto* days =
        calendar->findChild<QAbstractItemView*>(QStringLiteral("qt_calendar_calendarview"));
    ASSERT_NE(days, nullptr);
    QStringList weekdays;
    for (int column = 0; column < days->model()->columnCount(); ++column)
        weekdays << days->model()->index(0, column).data().toString();
    EXPECT_EQ(weekdays.join(QLatin1Char(' ')).toStdString(), "周日 周一 周二 周三 周四 周五 周六");

    calendar->window()->hide();
    destroyWindows();
    app() = AppContext{};
}

}  // namespace
}  // namespace tarvelo::test
