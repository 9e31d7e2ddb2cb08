#include "browser/KVR_Main.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ActionGuard.h"
#include "app/Application.h"
#include "app/Globals.h"
#include "signin/Login.h"
#include "signin/SessionRegistry.h"

namespace tarvelo {

TKVR_MainForm::TKVR_MainForm(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("KVR_MainForm"));
    setWindowTitle(QStringLiteral("Tarvelo 云平台"));
    resize(1000, 700);

    PageControl1 = new QTabWidget(this);
    PageControl1->setDocumentMode(true);  // flat buttons for tabs
    QFont kai(QStringLiteral("楷体"));
    kai.setBold(true);
    kai.setPixelSize(16);
    PageControl1->tabBar()->setFont(kai);
    TS_User = new QWidget;
    TS_Admin = new QWidget;
    TabSheet1 = new QWidget;
    PageControl1->addTab(TS_User, QStringLiteral("信息中心"));
    PageControl1->addTab(TS_Admin, QStringLiteral(" 数据中心 "));
    PageControl1->addTab(TabSheet1, QStringLiteral("StreamTest"));
    PageControl1->setTabVisible(2, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PageControl1);

    // The exit buttons sit at the right end of the information centre's strip.
    auto* strip = new QHBoxLayout;
    strip->addStretch();
    SpeedButton2 = new QToolButton(TS_User);
    SpeedButton2->setText(QStringLiteral("退出"));
    SpeedButton2->setAutoRaise(true);
    wwwSpeedButton = new QToolButton(TS_User);
    wwwSpeedButton->setToolTip(QStringLiteral("退出"));
    wwwSpeedButton->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    wwwSpeedButton->setAutoRaise(true);
    strip->addWidget(SpeedButton2);
    strip->addWidget(wwwSpeedButton);
    auto* page = new QVBoxLayout(TS_User);
    page->addLayout(strip);
    page->addStretch();
    connect(SpeedButton2, &QToolButton::clicked, this,
            [this] { runAction([this] { SpeedButton2Click(); }); });
    connect(wwwSpeedButton, &QToolButton::clicked, this,
            [this] { runAction([this] { wwwSpeedButtonClick(); }); });

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TKVR_MainForm::~TKVR_MainForm() {
    // While the program still refers to a main window, its session is released once more.
    try {
        if (KVR_MainForm) SessionRegistry::sendRelease(ADOQuery1, KVR_MainForm->USERID);
    } catch (...) {
    }
}

void TKVR_MainForm::SpeedButton2Click() {
    close();
}

void TKVR_MainForm::wwwSpeedButtonClick() {
    close();
    if (app().terminate) app().terminate();
}

void TKVR_MainForm::closeEvent(QCloseEvent* event) {
    event->accept();
    runAction([this] { FormClose(); });
}

void TKVR_MainForm::FormClose() {
    if (m_closed) return;
    m_closed = true;
    // The session first, then the data access module and the login window, which ends the
    // program; then this window goes.
    SessionRegistry::sendRelease(ADOQuery1, USERID);
    if (Tarvelo) {
        Tarvelo->closeDataModule();
        Tarvelo->close();
    }
    KVR_MainForm = nullptr;
    deleteLater();
}

}  // namespace tarvelo
