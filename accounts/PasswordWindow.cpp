#include "accounts/PasswordWindow.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/ActionGuard.h"
#include "app/Application.h"
#include "app/Globals.h"
#include "platform/Platform.h"
#include "service/IISdm.h"
#include "signin/Login.h"
#include "text/Error.h"
#include "widgets/WindowPlacement.h"

namespace tarvelo {

TPasswordWindow::TPasswordWindow(QWidget* owner, const QString& objectName, const QString& caption,
                                 const QStringList& labels, int firstBoxWidth, bool firstBoxSecret)
    : QWidget(owner, Qt::Window | Qt::WindowStaysOnTopHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowCloseButtonHint) {
    setObjectName(objectName);
    setWindowTitle(caption);
    setFixedSize(523, 218);
    QLineEdit** boxes[] = {&MaskEdit1, &MaskEdit2, &MaskEdit3};
    for (int i = 0; i < 3; ++i) {
        auto* l = new QLabel(labels[i], this);
        l->setGeometry(40, 40 + 50 * i, 110, 28);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* e = new QLineEdit(this);
        e->setGeometry(160, 40 + 50 * i, i == 0 ? firstBoxWidth : 97, 28);
        if (i > 0 || firstBoxSecret) {
            e->setEchoMode(QLineEdit::Password);
            e->setStyleSheet(QStringLiteral("lineedit-password-character: 35;"));  // "#"
        }
        *boxes[i] = e;
    }
    BitBtn1 = new QPushButton(QStringLiteral("确定"), this);
    BitBtn1->setGeometry(400, 50, 75, 40);
    BitBtn2 = new QPushButton(QStringLiteral("放弃"), this);
    BitBtn2->setGeometry(400, 120, 75, 40);
    setTabOrder(MaskEdit1, MaskEdit2);
    setTabOrder(MaskEdit2, MaskEdit3);
    setTabOrder(MaskEdit3, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    for (QLineEdit* box : {MaskEdit1, MaskEdit2, MaskEdit3})
        box->installEventFilter(this);
    connect(BitBtn1, &QPushButton::clicked, this,
            [this] { runAction([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, &QWidget::close);
    // Enter on a focused button presses it, as Space does (a push button outside a dialog
    // would leave Enter to the window).
    for (QPushButton* b : {BitBtn1, BitBtn2})
        b->setAutoDefault(true);
    WindowPlacement::keepOnScreen(this);
}

void TPasswordWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A window restored from the task bar comes back as it was, with what was typed.
    if (!event->spontaneous()) runAction([this] { FormShow(); });
}

void TPasswordWindow::FormShow() {
    for (QLineEdit* e : {MaskEdit1, MaskEdit2, MaskEdit3})
        e->clear();
    MaskEdit1->setFocus();
}

bool TPasswordWindow::eventFilter(QObject* watched, QEvent* event) {
    // Enter in a box: from the first to the second, from the third to "确定", in the second
    // nowhere; it goes no further, the window's own Enter being for when no box has the focus.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
            (watched == MaskEdit1 || watched == MaskEdit2 || watched == MaskEdit3)) {
            if (watched == MaskEdit1) MaskEdit2->setFocus();
            if (watched == MaskEdit3) BitBtn1->setFocus();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TPasswordWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        MaskEdit3->setFocus();
        return;
    }
    if (event->key() == Qt::Key_Escape) {  // as "放弃"
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TPasswordWindow::checkBeforeWrite(DataSet&) {
    return true;
}

void TPasswordWindow::refuse(const char* message, QLineEdit* focus) {
    platform().message(message);
    focus->setFocus();
}

void TPasswordWindow::BitBtn1Click() {
    if (!Tarvelo || !IISdmPtr) throw Error("登录窗口或数据访问模块已经关闭。");
    // Every window works on the row of the login window's latest lookup.
    DataSet& row = Tarvelo->CdsTmp;
    if (!row.active())
        throw Error("要修改的账号已不在（后来的查找没有找到账号），请重新打开窗口。");
    if (!checkFirstBox(row)) return;
    if (MaskEdit2->text().isEmpty()) return refuse("请输入新密码", MaskEdit2);
    if (MaskEdit3->text().isEmpty()) return refuse("请确认新密码", MaskEdit3);
    if (MaskEdit2->text() != MaskEdit3->text())
        return refuse("两次输入的密码不匹配,请重新输入", MaskEdit2);
    if (!checkBeforeWrite(row)) return;
    row.edit();
    row.fieldByName("PASSWORD").setText(IISdmPtr->StoredPassword(MaskEdit2->text().toStdString()));
    row.post();
    IISdmPtr->ApplyDelta(row, "KVR_USERH", "USERID", "");
}

}  // namespace tarvelo
