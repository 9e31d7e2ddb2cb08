#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "platform/QtPlatform.h"

namespace tarvelo::test {
namespace {

// The confirmation a user meets before stored rows are replaced: no icon, Cancel the default
// button, so that Enter cancels.
TEST(QtPlatform, AQuestionHasNoIconAndEnterCancels) {
    QtPlatform platform;
    QMessageBox::Icon icon = QMessageBox::Information;
    QString defaultButton;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        icon = box->icon();
        defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
        QDir().mkpath(QDir::currentPath() + QStringLiteral("/screenshots"));
        box->grab().save(QDir::currentPath() + QStringLiteral("/screenshots/question.png"));
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_FALSE(
        platform.question("已有数据，要更新数据吗？\n2026年12月 信息价 “东城区”：已存的 50 "
                          "行将被工作簿中的 4 行替换。",
                          "温馨提示"));
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(defaultButton, QStringLiteral("取消"));
}

}  // namespace
}  // namespace tarvelo::test
