#include "accounts/Unit_SetMM.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <string>

#include "service/IISdm.h"
#include "text/SqlLiteral.h"

namespace tarvelo {

namespace {

constexpr int kCodeLength = 6;

bool isCode(const QString& text) {
    if (text.size() != kCodeLength) return false;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    return true;
}

}  // namespace

TFrm_SetMM::TFrm_SetMM(QWidget* owner)
    : TPasswordWindow(
          owner, QStringLiteral("Frm_SetMM"), QStringLiteral("重置密码"),
          {QStringLiteral("邮箱"), QStringLiteral("新密码"), QStringLiteral("确认密码")}, 177,
          false) {
    // The code's box under the three, the window grown by a row and the buttons centred beside
    // the four.
    setFixedSize(523, 268);
    auto* label = new QLabel(QStringLiteral("验证码"), this);
    label->setGeometry(40, 190, 110, 28);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    CodeEdit = new QLineEdit(this);
    CodeEdit->setObjectName(QStringLiteral("CodeEdit"));
    CodeEdit->setGeometry(160, 190, 97, 28);
    CodeEdit->setMaxLength(kCodeLength);
    CodeEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(kCodeLength)), CodeEdit));
    CodeEdit->setInputMethodHints(Qt::ImhDigitsOnly);
    label->setBuddy(CodeEdit);
    BitBtn1->move(400, 75);
    BitBtn2->move(400, 145);
    setTabOrder(MaskEdit3, CodeEdit);
    setTabOrder(CodeEdit, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    CodeEdit->installEventFilter(this);
}

void TFrm_SetMM::FormShow() {
    CodeEdit->clear();
    TPasswordWindow::FormShow();
}

bool TFrm_SetMM::eventFilter(QObject* watched, QEvent* event) {
    // Enter in the code's box goes to "确定", as from the confirmation.
    if (watched == CodeEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            BitBtn1->setFocus();
            return true;
        }
    }
    return TPasswordWindow::eventFilter(watched, event);
}

bool TFrm_SetMM::checkFirstBox(DataSet& row) {
    if (MaskEdit1->text().isEmpty()) {
        refuse("请输入邮箱", MaskEdit1);
        return false;
    }
    if (CodeEdit->text().isEmpty()) {
        // No code yet: the service mails one if the address is the account's.
        if (!serviceFinds(row, {})) {
            refuse("该用户名和邮箱不匹配,请重新输入", MaskEdit1);
            return false;
        }
        refuse("验证码已发送到该邮箱，请查收邮件，把验证码填入“验证码”框后再按“确定”。", CodeEdit);
        return false;
    }
    if (!isCode(CodeEdit->text())) {
        refuse("请输入邮件中的 6 位验证码。", CodeEdit);
        return false;
    }
    return true;
}

bool TFrm_SetMM::checkBeforeWrite(DataSet& row) {
    if (serviceFinds(row, CodeEdit->text().toStdString())) return true;
    CodeEdit->clear();
    refuse("验证码不正确或已过期，请重新获取。", CodeEdit);
    return false;
}

bool TFrm_SetMM::serviceFinds(DataSet& row, std::string_view code) {
    // The account is the one the lookup found, by the id it holds.
    ADOQuery1.clear();
    ADOQuery1.add("Select USERID From KVR_USERH  ");
    ADOQuery1.add("Where USERID=" + sqlLiteral(row.fieldByName("USERID").asText()) +
                  " and EMAIL=" + sqlLiteral(MaskEdit1->text().toStdString()) + "  ");
    if (!code.empty()) ADOQuery1.add("and 'RESETCODE'=" + sqlLiteral(code) + "  ");
    IISdmPtr->QueryInto(ADOQuery1.text(), m_found);
    const bool found = m_found.recordCount() > 0;
    m_found.close();
    return found;
}

}  // namespace tarvelo
