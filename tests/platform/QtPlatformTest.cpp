#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>
#include <QTreeView>
#include <string_view>

#include <functional>

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

// The question before unsaved changes are lost: no icon, the buttons "保存", "不保存" and "取消"
// in Chinese, centred over the window it concerns. Each button gives its answer; Enter saves,
// Escape cancels.
TEST(QtPlatform, TheSaveQuestionAnswersSaveDiscardOrCancel) {
    QtPlatform platform;
    QWidget owner;
    owner.setGeometry(300, 200, 900, 600);
    owner.show();
    const auto button = [](const char* text) {
        return [text](QMessageBox* box) {
            for (QAbstractButton* b : box->buttons())
                if (b->text() == QString::fromUtf8(text)) QTest::mouseClick(b, Qt::LeftButton);
        };
    };
    const auto key = [](Qt::Key k) { return [k](QMessageBox* box) { QTest::keyClick(box, k); }; };
    using Answer = Platform::SaveAnswer;
    const struct {
        const char* name;
        std::function<void(QMessageBox*)> answer;
        Answer expected;
    } cases[] = {
        {"保存", button("保存"), Answer::Save},
        {"不保存", button("不保存"), Answer::Discard},
        {"取消", button("取消"), Answer::Cancel},
        {"Enter", key(Qt::Key_Return), Answer::Save},
        {"Escape", key(Qt::Key_Escape), Answer::Cancel},
    };
    for (const auto& c : cases) {
        owner.activateWindow();  // as the window manager does when a box closes
        ASSERT_TRUE(QTest::qWaitForWindowActive(&owner));
        QStringList buttons;
        QString title, defaultButton;
        QMessageBox::Icon icon = QMessageBox::Information;
        QPoint offCentre(-1000, -1000);
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;  // the question then never returns: the test times out
            for (const QAbstractButton* b : box->buttons())
                buttons << b->text();
            buttons.sort();
            title = box->windowTitle();
            defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
            icon = box->icon();
            offCentre = box->frameGeometry().center() - owner.frameGeometry().center();
            if (c.expected == Answer::Save && c.answer) {
                QDir().mkpath(QDir::currentPath() + QStringLiteral("/screenshots"));
                box->grab().save(QDir::currentPath() +
                                 QStringLiteral("/screenshots/asktosave.png"));
            }
            c.answer(box);
        });
        EXPECT_EQ(platform.askToSave("角色已修改，尚未保存。要保存吗？", "温馨提示"), c.expected)
            << c.name;
        EXPECT_EQ(buttons.join(QLatin1Char(' ')), QStringLiteral("不保存 保存 取消")) << c.name;
        EXPECT_EQ(title, QStringLiteral("温馨提示")) << c.name;
        EXPECT_EQ(defaultButton, QStringLiteral("保存")) << c.name;
        EXPECT_EQ(icon, QMessageBox::NoIcon) << c.name;
        EXPECT_LE(offCentre.manhattanLength(), 2) << c.name;
    }
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

// The workbook dialog sets no title of its own: it shows the toolkit's title for opening a file,
// as the program's translation words it.
TEST(QtPlatform, TheFileDialogShowsTheToolkitsTitle) {
    struct Rewording : QTranslator {
        bool isEmpty() const override { return false; }
        QString translate(const char* context, const char* source, const char*,
                          int) const override {
            if (std::string_view(context) == "QFileDialog" && std::string_view(source) == "Open")
                return QStringLiteral("选取文件");
            return {};
        }
    } rewording;
    QCoreApplication::installTranslator(&rewording);
    QtPlatform platform;
    QString title;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        dialog->reject();
    });
    platform.openFile("Excel 工作簿 (*.xls *.xlsx);;*.xls (*.xls)", QDir::tempPath().toStdString(),
                      "XML");
    QCoreApplication::removeTranslator(&rewording);
    EXPECT_EQ(title, QStringLiteral("选取文件"));
}

// What the file dialog shows in its detail view: the visible labels, buttons, tool tips and
// combo box entries, the column titles, the places, every column of the listed entries but their
// names, and the entries of the context menu. Names of files and folders and paths are left out:
// they are the user's, not the dialog's.
struct DialogTexts {
    QStringList texts;
    QMap<QString, QStringList> rows;  // by name: size, type, date
};

DialogTexts shownTexts(QFileDialog* dialog) {
    DialogTexts shown;
    auto add = [&](const QString& t) {
        if (!t.isEmpty() && !QDir::isAbsolutePath(t)) shown.texts << t;
    };
    add(dialog->windowTitle());
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (!w->isVisible()) continue;
        add(w->toolTip());
        if (auto* l = qobject_cast<QLabel*>(w)) add(l->text());
        if (auto* b = qobject_cast<QAbstractButton*>(w)) add(b->text());
        if (auto* c = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < c->count(); ++i)
                add(c->itemText(i));
    }
    auto* tree = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
    const QAbstractItemModel* files = tree->model();
    for (int c = 0; c < files->columnCount(tree->rootIndex()); ++c)
        add(files->headerData(c, Qt::Horizontal).toString());
    for (int r = 0; r < files->rowCount(tree->rootIndex()); ++r) {
        QStringList& row = shown.rows[files->index(r, 0, tree->rootIndex()).data().toString()];
        for (int c = 1; c < files->columnCount(tree->rootIndex()); ++c) {
            row << files->index(r, c, tree->rootIndex()).data().toString();
            add(row.back());
        }
    }
    const QAbstractItemModel* places =
        dialog->findChild<QListView*>(QStringLiteral("sidebar"))->model();
    for (int r = 0; r < places->rowCount(); ++r) {
        const QString name = places->index(r, 0).data().toString();
        const QString path = places->index(r, 0).data(Qt::ToolTipRole).toString();
        if (path.isEmpty() || QFileInfo(path).fileName() != name) add(name);
    }
    QTimer menuShown;  // gone with this function, should no menu come
    menuShown.setSingleShot(true);
    QObject::connect(&menuShown, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (const QAction* a : menu->actions())
            add(a->text());
        menu->close();
    });
    menuShown.start(50);
    tree->setCurrentIndex(files->index(0, 0, tree->rootIndex()));
    emit tree->customContextMenuRequested(tree->visualRect(tree->currentIndex()).center());
    return shown;
}

// The texts that hold Latin letters once the filter's own words and patterns, the accelerator
// keys ("打开(&O)") and the symbols of size units are taken out.
QStringList english(const QStringList& texts) {
    static const QRegularExpression own(
        QStringLiteral(R"(Excel|\*\.xlsx?|\(&?[A-Z]\)|(?<=\d )[kMGT]B\b)"));
    static const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
    QStringList found;
    for (const QString& t : texts)
        if (QString(t).remove(own).contains(latin)) found << t;
    return found;
}

// Nothing the file dialog shows is English: not its labels and buttons, not the column titles,
// not the type names, sizes and dates of a folder's entries, not the places or the context menu,
// neither in a folder nor in the computer's view. Through all that the dialog still returns the
// file picked in its list.
TEST(QtPlatform, TheFileDialogShowsNoEnglish) {
    QtPlatform platform;
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QDir(folder.path()).mkdir(QStringLiteral("子目录"));
    for (const auto& [name, bytes] :
         {std::pair{"价格.xlsx", 1536}, std::pair{"旧表.xls", 0}, std::pair{"说明.txt", 10}}) {
        QFile file(folder.filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(bytes, 'x'));
    }
    DialogTexts inFolder, inComputer;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        [&] {
            dialog->findChild<QToolButton*>(QStringLiteral("detailModeButton"))->click();
            auto* tree = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
            // The entries' details come from a thread of the file system model.
            auto detailed = [tree](int entries) {
                return QTest::qWaitFor([&] {
                    const QModelIndex root = tree->rootIndex();
                    if (tree->model()->rowCount(root) != entries) return false;
                    for (int r = 0; r < entries; ++r)
                        if (tree->model()->index(r, 2, root).data().toString().isEmpty())
                            return false;
                    return true;
                });
            };
            ASSERT_TRUE(detailed(3));
            dialog->resize(900, 500);
            QDir().mkpath(QDir::currentPath() + QStringLiteral("/screenshots"));
            dialog->grab().save(QDir::currentPath() +
                                QStringLiteral("/screenshots/filedetails.png"));
            inFolder = shownTexts(dialog);

            dialog->setDirectory(QString());  // the computer: its drives
            ASSERT_TRUE(detailed(1));
            inComputer = shownTexts(dialog);

            dialog->setDirectory(folder.path());
            ASSERT_TRUE(detailed(3));
            const QModelIndex root = tree->rootIndex();
            for (int r = 0; r < 3; ++r)
                if (tree->model()->index(r, 0, root).data().toString() ==
                    QStringLiteral("价格.xlsx"))
                    tree->setCurrentIndex(tree->model()->index(r, 0, root));
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
        }();
        if (dialog->isVisible()) dialog->reject();  // whatever failed above
    });
    EXPECT_EQ(platform.openFile("Excel 工作簿 (*.xls *.xlsx);;*.xls (*.xls)",
                                folder.path().toStdString(), "XML"),
              folder.filePath(QStringLiteral("价格.xlsx")).toStdString());

    // name, column: what it shows
    auto shown = [](const DialogTexts& d, const char* name, int column) {
        return d.rows.value(QString::fromUtf8(name)).value(column - 1).toStdString();
    };
    EXPECT_EQ(inFolder.rows.keys().join(QLatin1Char(' ')).toStdString(),
              "价格.xlsx 子目录 旧表.xls");
    EXPECT_EQ(shown(inFolder, "子目录", 2), "文件夹");
    EXPECT_EQ(shown(inFolder, "价格.xlsx", 1), "1.50 kB");
    EXPECT_EQ(shown(inFolder, "旧表.xls", 1), "0 字节");
    EXPECT_EQ(shown(inComputer, "/", 2), "驱动器");
    for (const char* text : {"查找范围：", "文件名称(&N)：", "文件类型：", "取消", "名称", "类型",
                             "修改日期", "计算机", "重命名(&R)", "新建文件夹(&N)"})
        EXPECT_TRUE(inFolder.texts.contains(QString::fromUtf8(text))) << text;
    const QStringList found = english(inFolder.texts + inComputer.texts);
    EXPECT_TRUE(found.isEmpty()) << found.join(QStringLiteral(" | ")).toStdString();
}

}  // namespace
}  // namespace tarvelo::test
