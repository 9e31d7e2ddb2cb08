#pragma once

#include <QWidget>
#include <string>

#include "text/StatementBuffer.h"

class QTabWidget;
class QToolButton;

namespace tarvelo {

// The main window of a signed-in user, with its two working pages: the information centre and
// the data centre. Closing it releases the session and ends the program.
class TKVR_MainForm : public QWidget {
    Q_OBJECT
public:
    explicit TKVR_MainForm(QWidget* owner = nullptr);
    ~TKVR_MainForm() override;  // FormDestroy

    // The signed-in user, written by the login before the window is shown.
    std::string USERID;
    std::string USERNAME;
    std::string SYSBZ;
    std::string DATABZ;

    QTabWidget* PageControl1;
    QWidget* TS_User;             // "信息中心"
    QWidget* TS_Admin;            // " 数据中心 "
    QWidget* TabSheet1;           // "StreamTest", never shown
    QToolButton* SpeedButton2;    // "退出": closes the window
    QToolButton* wwwSpeedButton;  // closes the window and ends the program
    StatementBuffer ADOQuery1;

    void SpeedButton2Click();
    void wwwSpeedButtonClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void FormClose();

private:
    bool m_closed = false;
};

}  // namespace tarvelo
