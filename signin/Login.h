#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "data/DataSet.h"
#include "text/StatementBuffer.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace tarvelo {

class TIISdmPtr;

// The login window: the first window of the program and its main form. It builds the data
// access module and the machine identifier, admits a user and hands over to a new main window.
// A password login with "自动登录" ticked keeps the service's auto-login cookie for the next run
// (AutoLoginCookie); one without it removes the kept cookie.
class TTarvelo : public QWidget {
    Q_OBJECT
public:
    explicit TTarvelo(QWidget* parent = nullptr);
    ~TTarvelo() override;

    QLineEdit* UserIDEdit;
    QLineEdit* PassWordEdit;
    QCheckBox* CheckBox1;  // "记住密码": shown, read by nothing; nothing is ever stored
    QCheckBox* CheckBox2;  // "自动登录"
    QLineEdit* PCIDEdit;   // hidden: this machine's identifier
    QToolButton* OKSpeedButton;
    QToolButton* RegSpeedButton;
    QToolButton* MMSpeedButton;
    QToolButton* SetMMSpeedButton;
    QToolButton* HelpSpeedButton;
    QLabel* Caption;  // the decorative caption at the top left
    DataSet Cds_Login;
    DataSet CdsTmp;
    StatementBuffer ADOQuery1;

    void OKSpeedButtonClick();
    void RegSpeedButtonClick();
    void MMSpeedButtonClick();
    void SetMMSpeedButtonClick();
    void HelpSpeedButtonClick();

    // Closes the data access module if it is still open (the main window's close does this).
    void closeDataModule();
    int failedPasswords() const { return m_failedPasswords; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void FormClose();

private:
    // The lookup of the password buttons into CdsTmp; false when it refused.
    bool lookUpAccount();
    // After a verified password: keeps the service's auto-login cookie for the next run when
    // "自动登录" is ticked, removes it when it is not.
    void keepAutoLogin(TIISdmPtr& dm);

    std::unique_ptr<TIISdmPtr> m_module;
    int m_failedPasswords = 0;
    bool m_released = false;
};

}  // namespace tarvelo
