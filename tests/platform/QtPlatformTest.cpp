#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
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

// The workbook dialog opens in the folder it is given, showing the first filter, in Chinese.
TEST(QtPlatform, TheFileDialogOpensInItsFolderInChinese) {
    QtPlatform platform;
    const QString folder = QDir::tempPath();
    QString shownFolder, shownFilter;
    QStringList english, chinese;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shownFolder = dialog->directory().absolutePath();
        shownFilter = dialog->selectedNameFilter();
        for (const auto* b : dialog->findChildren<QAbstractButton*>()) {
            for (const char* word : {"Open", "Cancel", "Choose"})
                if (b->text().contains(QLatin1String(word))) english << b->text();
            if (b->text() == QStringLiteral("取消")) chinese << b->text();
        }
        for (const auto* l : dialog->findChildren<QLabel*>()) {
            for (const char* word : {"Look in", "File &name", "Files of type"})
                if (l->text().contains(QLatin1String(word))) english << l->text();
            if (l->text().startsWith(QStringLiteral("文件名称"))) chinese << l->text();
        }
        dialog->grab().save(QDir::currentPath() + QStringLiteral("/screenshots/filedialog.png"));
        dialog->reject();
    });
    EXPECT_EQ(platform.openFile("Excel 工作簿 (*.xls *.xlsx);;*.xls (*.xls)", folder.toStdString(),
                                "XML"),
              std::nullopt);
    EXPECT_EQ(shownFolder, folder);
    EXPECT_EQ(shownFilter, QStringLiteral("Excel 工作簿 (*.xls *.xlsx)"));
    EXPECT_TRUE(english.isEmpty()) << english.join(QStringLiteral(", ")).toStdString();
    EXPECT_EQ(chinese.size(), 2);
}

}  // namespace
}  // namespace tarvelo::test
