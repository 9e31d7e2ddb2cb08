#include "accounts/Unit_Register.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/ActionGuard.h"
#include "app/Application.h"
#include "platform/Platform.h"
#include "service/IISdm.h"
#include "text/Error.h"
#include "text/SqlLiteral.h"
#include "text/Trim.h"
#include "text/WireText.h"
#include "widgets/WindowPlacement.h"

namespace tarvelo {

namespace {

QLineEdit* box(QWidget* parent, int y, bool secret) {
    auto* e = new QLineEdit(parent);
    e->setGeometry(130, y, 200, 26);
    if (secret) {
        e->setEchoMode(QLineEdit::Password);
        e->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    }
    return e;
}

void label(QWidget* parent, const QString& text, int y) {
    auto* l = new QLabel(text, parent);
    QFont kai(QStringLiteral("楷体"));
    kai.setPixelSize(20);
    l->setFont(kai);
    l->setStyleSheet(QStringLiteral("color: red;"));
    l->setGeometry(10, y, 115, 26);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

}  // namespace

TFrm_Register::TFrm_Register(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::WindowStaysOnTopHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Frm_Register"));
    setWindowTitle(QStringLiteral("注册账号"));
    setFixedSize(523, 273);
    QFont song(QStringLiteral("宋体"));
    song.setPixelSize(15);
    setFont(song);
    const char* labels[] = {"*登录账号", "真实姓名", "*密码", "*确认密码",
                            "*手机",     "QQ号",     "*邮箱"};
    for (int i = 0; i < 7; ++i)
        label(this, QString::fromUtf8(labels[i]), 8 + 37 * i);
    UserIDEdit = box(this, 8, false);
    UserNameEdit = box(this, 45, false);
    PassWordEdit = box(this, 82, true);
    VerifyEdit = box(this, 119, true);
    TelEdit = box(this, 156, false);
    QQEdit = box(this, 193, false);
    EmailEdit = box(this, 230, false);
    (new QLabel(QStringLiteral("用户名16位"), this))->setGeometry(336, 8, 90, 26);
    (new QLabel(QStringLiteral("密码不超16位"), this))->setGeometry(336, 82, 90, 26);
    BitBtn1 = new QPushButton(QStringLiteral("确定"), this);
    BitBtn1->setGeometry(436, 60, 75, 40);
    BitBtn2 = new QPushButton(QStringLiteral("放弃"), this);
    BitBtn2->setGeometry(436, 140, 75, 40);
    // "确定" first, so it holds the focus when the window opens.
    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, UserIDEdit);
    setTabOrder(UserIDEdit, PassWordEdit);
    setTabOrder(PassWordEdit, VerifyEdit);
    setTabOrder(VerifyEdit, TelEdit);
    setTabOrder(TelEdit, QQEdit);
    setTabOrder(QQEdit, UserNameEdit);
    setTabOrder(UserNameEdit, EmailEdit);
    // Enter in a box moves the focus as the layout says (the name box: nowhere) and goes no
    // further: the window's own Enter is for when no box has the focus.
    m_enterMoves = {{UserIDEdit, PassWordEdit}, {PassWordEdit, VerifyEdit}, {VerifyEdit, TelEdit},
                    {TelEdit, QQEdit},          {QQEdit, BitBtn1},          {EmailEdit, BitBtn1},
                    {UserNameEdit, nullptr}};
    for (const auto& [box, next] : m_enterMoves)
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

void TFrm_Register::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A window restored from the task bar comes back as it was, with what was typed.
    if (!event->spontaneous()) runAction([this] { FormShow(); });
}

void TFrm_Register::FormShow() {
    for (QLineEdit* e : {UserIDEdit, PassWordEdit, VerifyEdit, TelEdit, QQEdit})
        e->clear();
    BitBtn1->setFocus();
}

bool TFrm_Register::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            for (const auto& [box, next] : m_enterMoves)
                if (box == watched) {
                    if (next) next->setFocus();
                    return true;
                }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFrm_Register::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        UserIDEdit->setFocus();
        return;
    }
    if (event->key() == Qt::Key_Escape) {  // as "放弃"
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TFrm_Register::BitBtn1Click() {
    Platform& ui = platform();
    const auto refuse = [&](const char* message, QLineEdit* focus) {
        ui.message(message);
        focus->setFocus();
    };
    const std::string userId(trim(UserIDEdit->text().toStdString()));
    UserIDEdit->setText(QString::fromStdString(userId));
    if (userId.empty()) return refuse("请输入用户编码。", UserIDEdit);
    // What cannot reach the service as typed is refused, never stored as "?". (Passwords
    // travel as the Base64 of their bytes, whatever they hold.)
    const std::pair<QLineEdit*, const char*> typed[] = {{UserIDEdit, "登录账号"},
                                                        {UserNameEdit, "真实姓名"},
                                                        {TelEdit, "手机"},
                                                        {QQEdit, "QQ号"},
                                                        {EmailEdit, "邮箱"}};
    for (const auto& [box, what] : typed) {
        const std::string refusal = WireText::refusal(what, box->text().toStdString());
        if (!refusal.empty()) return refuse(refusal.c_str(), box);
    }
    if (!IISdmPtr) throw Error("数据访问模块已经关闭。");
    TIISdmPtr& dm = *IISdmPtr;
    ADOQuery1.clear();
    ADOQuery1.add("Select * From KVR_USERH  ");
    ADOQuery1.add(std::string("Where USERID=") + sqlLiteral(userId) + "  ");
    DataSet& users = dm.Cds_UserHPassed;
    dm.QueryInto(ADOQuery1.text(), users);
    if (!users.fieldByName("USERID").asText().empty()) {
        users.close();
        return refuse("该用户已存在。", UserIDEdit);
    }
    if (PassWordEdit->text().isEmpty()) return refuse("请输入密码。", PassWordEdit);
    if (VerifyEdit->text().isEmpty()) return refuse("请确认密码。", VerifyEdit);
    if (PassWordEdit->text() != VerifyEdit->text())
        return refuse("两次密码不一致，请重新确认。", VerifyEdit);
    if (TelEdit->text().isEmpty()) return refuse("请输入电话号码。", TelEdit);
    if (EmailEdit->text().isEmpty()) return refuse("请输入电子邮箱。", EmailEdit);

    users.append();
    users.fieldByName("USERID").setText(userId);
    // The optional boxes are written as they are, an empty box as empty text.
    users.fieldByName("USERNAME").setExactText(UserNameEdit->text().toStdString());
    users.fieldByName("PASSWORD").setText(dm.StoredPassword(PassWordEdit->text().toStdString()));
    users.fieldByName("TEL").setText(TelEdit->text().toStdString());
    users.fieldByName("QQ").setExactText(QQEdit->text().toStdString());
    users.fieldByName("EMAIL").setText(EmailEdit->text().toStdString());
    users.fieldByName("PWBZ").setText("0");
    users.fieldByName("SYSBZ").setText("0");
    users.fieldByName("DATABZ").setText("00");
    users.post();
    dm.ApplyDelta(users, "KVR_USERH", "USERID", "");
}

}  // namespace tarvelo
