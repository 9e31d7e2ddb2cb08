#pragma once

#include <QWidget>
#include <utility>
#include <vector>

#include "text/StatementBuffer.h"

class QLineEdit;
class QPushButton;

namespace tarvelo {

// Account registration: a new KVR_USERH row with no roles, its password in the stored form.
class TFrm_Register : public QWidget {
    Q_OBJECT
public:
    explicit TFrm_Register(QWidget* owner = nullptr);

    QLineEdit* UserIDEdit;
    QLineEdit* UserNameEdit;
    QLineEdit* PassWordEdit;
    QLineEdit* VerifyEdit;
    QLineEdit* TelEdit;
    QLineEdit* QQEdit;
    QLineEdit* EmailEdit;
    QPushButton* BitBtn1;  // "确定"
    QPushButton* BitBtn2;  // "放弃"
    StatementBuffer ADOQuery1;

    void BitBtn1Click();
    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;  // FormKeyDown; Escape closes
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<std::pair<QLineEdit*, QWidget*>> m_enterMoves;  // box -> where Enter goes
};

}  // namespace tarvelo
