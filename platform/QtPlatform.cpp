#include "platform/QtPlatform.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "platform/FileDialogModel.h"

namespace tarvelo {

namespace {

QString q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

const QString kTitle = QStringLiteral("Tarvelo");

void show(QMessageBox::Icon icon, std::string_view text) {
    QMessageBox box(icon, kTitle, q(text), QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

Qt::CursorShape shapeOf(Cursor c) {
    switch (c) {
        case Cursor::Hourglass:
            return Qt::WaitCursor;
        case Cursor::DatabaseWait:
            return Qt::BusyCursor;
        case Cursor::Default:
            break;
    }
    return Qt::ArrowCursor;
}

}  // namespace

void QtPlatform::message(std::string_view text) {
    show(QMessageBox::NoIcon, text);
}

void QtPlatform::information(std::string_view text) {
    show(QMessageBox::Information, text);
}

void QtPlatform::errorBox(std::string_view text) {
    show(QMessageBox::Critical, text);
}

bool QtPlatform::question(std::string_view text, std::string_view caption) {
    QMessageBox box(QMessageBox::NoIcon, q(caption), q(text), QMessageBox::Ok | QMessageBox::Cancel,
                    QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::Cancel);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    return box.exec() == QMessageBox::Ok;
}

Platform::SaveAnswer QtPlatform::askToSave(std::string_view text, std::string_view caption) {
    // Over the window whose changes are concerned, which is the active one.
    QMessageBox box(QMessageBox::NoIcon, q(caption), q(text),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                    QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    box.button(QMessageBox::Save)->setText(QStringLiteral("保存"));
    box.button(QMessageBox::Discard)->setText(QStringLiteral("不保存"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    switch (box.exec()) {
        case QMessageBox::Save:
            return SaveAnswer::Save;
        case QMessageBox::Discard:
            return SaveAnswer::Discard;
        default:
            return SaveAnswer::Cancel;
    }
}

std::optional<std::string> QtPlatform::openFile(std::string_view filter, std::string_view directory,
                                                std::string_view defaultExtension) {
    // No title of our own: the dialog shows the platform's, in the platform's language.
    QFileDialog dialog(QApplication::activeWindow(), QString(), q(directory), q(filter));
    dialog.setProxyModel(new FileDialogModel);  // the dialog takes it
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(q(defaultExtension));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

std::optional<std::string> QtPlatform::saveFile(std::string_view filter, std::string_view directory,
                                                std::string_view name,
                                                std::string_view defaultExtension) {
    QFileDialog dialog(QApplication::activeWindow(), QString(), q(directory), q(filter));
    dialog.setProxyModel(new FileDialogModel);  // the dialog takes it
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(q(defaultExtension));
    dialog.selectFile(q(name));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

void QtPlatform::setCursor(Cursor cursor) {
    if (cursor == m_cursor) return;
    if (m_cursor != Cursor::Default) QApplication::restoreOverrideCursor();
    if (cursor != Cursor::Default) QApplication::setOverrideCursor(QCursor(shapeOf(cursor)));
    m_cursor = cursor;
}

}  // namespace tarvelo
