#include "signin/Login.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include "about/About.h"
#include "accounts/Unit_EditMM.h"
#include "accounts/Unit_Register.h"
#include "accounts/Unit_SetMM.h"
#include "app/ActionGuard.h"
#include "app/Application.h"
#include "app/ClientSettings.h"
#include "app/Globals.h"
#include "browser/KVR_Main.h"
#include "platform/MachineId.h"
#include "platform/Platform.h"
#include "service/IISdm.h"
#include "signin/AutoLoginCookie.h"
#include "signin/SessionRegistry.h"
#include "text/Date.h"
#include "text/Error.h"
#include "text/SqlLiteral.h"
#include "text/Trim.h"
#include "widgets/Pictures.h"
#include "widgets/WindowPlacement.h"

// The pictures are compiled into the windows' static library, whose resource initialiser the
// linker would drop unless it is called.
static void initPictures() {
    Q_INIT_RESOURCE(resources);
}

namespace tarvelo {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}
std::string s(const QString& q) {
    return q.toStdString();
}

QToolButton* flatButton(QWidget* parent, const QString& caption, const QRect& geometry) {
    auto* b = new QToolButton(parent);
    b->setText(caption);
    b->setAutoRaise(true);
    b->setGeometry(geometry);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

QLabel* label(QWidget* parent, const QString& text, const QRect& geometry) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(geometry);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

}  // namespace

TTarvelo::TTarvelo(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Tarvelo"));
    setWindowTitle(QStringLiteral("Tarvelo"));
    setFixedSize(618, 327);
    initPictures();

    // The banner over the top 185 pixels and the background under it, both stretched.
    auto* banner = new QLabel(this);
    banner->setGeometry(0, 0, 618, 185);
    banner->setPixmap(picture(QStringLiteral(":/pictures/banner.png"), banner->size()));
    banner->setScaledContents(true);
    auto* background = new QLabel(this);
    background->setGeometry(0, 185, 618, 142);
    background->setPixmap(picture(QStringLiteral(":/pictures/background.png"), background->size()));
    background->setScaledContents(true);

    Caption = new QLabel(QStringLiteral("VRDS DerOzurEverovadu"), this);
    Caption->setGeometry(12, 8, 300, 24);
    Caption->setStyleSheet(QStringLiteral("color: white; font: bold 15px;"));

    QFont kai(QStringLiteral("楷体"));
    kai.setPixelSize(16);
    label(this, QStringLiteral("登录账号"), QRect(120, 199, 90, 26))->setFont(kai);
    label(this, QStringLiteral("密码"), QRect(120, 233, 90, 26))->setFont(kai);

    UserIDEdit = new QLineEdit(this);
    UserIDEdit->setObjectName(QStringLiteral("UserIDEdit"));
    UserIDEdit->setGeometry(218, 199, 210, 26);
    PassWordEdit = new QLineEdit(this);
    PassWordEdit->setObjectName(QStringLiteral("PassWordEdit"));
    PassWordEdit->setGeometry(218, 233, 210, 26);
    PassWordEdit->setEchoMode(QLineEdit::Password);
    PassWordEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // "*"

    CheckBox1 = new QCheckBox(QStringLiteral("记住密码"), this);
    CheckBox1->setGeometry(218, 264, 100, 22);
    CheckBox2 = new QCheckBox(QStringLiteral("自动登录"), this);
    CheckBox2->setGeometry(328, 264, 100, 22);

    PCIDEdit = new QLineEdit(QStringLiteral("PC"), this);
    PCIDEdit->setObjectName(QStringLiteral("PCIDEdit"));
    PCIDEdit->hide();

    OKSpeedButton = flatButton(this, QStringLiteral("登录"), QRect(446, 199, 90, 60));
    OKSpeedButton->setFont(kai);
    RegSpeedButton = flatButton(this, QStringLiteral("注册账号"), QRect(130, 294, 90, 26));
    MMSpeedButton = flatButton(this, QStringLiteral("修改密码"), QRect(230, 294, 90, 26));
    SetMMSpeedButton = flatButton(this, QStringLiteral("重置密码"), QRect(330, 294, 90, 26));
    HelpSpeedButton = flatButton(this, QStringLiteral("登录须知"), QRect(430, 294, 90, 26));

    // The account of the last sign-in on this computer, never its password.
    UserIDEdit->setText(ClientSettings::lastAccount());
    if (!UserIDEdit->text().isEmpty()) PassWordEdit->setFocus();
    setTabOrder(UserIDEdit, PassWordEdit);
    setTabOrder(PassWordEdit, CheckBox1);
    setTabOrder(CheckBox1, CheckBox2);
    setTabOrder(CheckBox2, OKSpeedButton);

    const auto bind = [this](QToolButton* button, void (TTarvelo::*handler)()) {
        connect(button, &QToolButton::clicked, this,
                [this, handler] { runAction([&] { (this->*handler)(); }); });
    };
    bind(OKSpeedButton, &TTarvelo::OKSpeedButtonClick);
    bind(RegSpeedButton, &TTarvelo::RegSpeedButtonClick);
    bind(MMSpeedButton, &TTarvelo::MMSpeedButtonClick);
    bind(SetMMSpeedButton, &TTarvelo::SetMMSpeedButtonClick);
    bind(HelpSpeedButton, &TTarvelo::HelpSpeedButtonClick);
    // Enter moves from the account to the password, and signs in from the password.
    connect(UserIDEdit, &QLineEdit::returnPressed, PassWordEdit,
            [this] { PassWordEdit->setFocus(); });
    connect(PassWordEdit, &QLineEdit::returnPressed, this,
            [this] { runAction([this] { OKSpeedButtonClick(); }); });

    WindowPlacement::keepOnScreen(this);

    // The data access module, then this machine's identifier. The module carries the service's
    // auto-login cookie kept from an earlier run: the service shows an account's VERIFY only to
    // a caller that holds it.
    m_module = std::make_unique<TIISdmPtr>(app().config, platform());
    m_module->setWaiter(app().waiter);
    if (const std::string kept = AutoLoginCookie::load(app().config.readUrl); !kept.empty())
        m_module->putCookieLine(kept);
    IISdmPtr = m_module.get();
    PCIDEdit->setText(q(GetPCID()));
}

TTarvelo::~TTarvelo() = default;

void TTarvelo::closeDataModule() {
    m_module.reset();
}

void TTarvelo::OKSpeedButtonClick() {
    Platform& ui = platform();
    // 1, 2: the account id, trimmed and written back.
    const std::string userId(trim(s(UserIDEdit->text())));
    UserIDEdit->setText(q(userId));
    if (userId.empty()) {
        ui.message("请输入用户编码。");
        UserIDEdit->setFocus();
        return;
    }
    char sessionMark = '0';
    char passwordMark = '0';

    // 3, 4: the account's row.
    if (!m_module) throw Error("数据访问模块已经关闭，无法登录。");
    TIISdmPtr& dm = *m_module;
    ADOQuery1.clear();
    ADOQuery1.add(" SELECT u.USERID,u.USERNAME,u.PASSWORD,u.PWBZ,u.SYSBZ,u.DATABZ,u.TEL,u.VERIFY ");
    ADOQuery1.add(" FROM KVR_USERH u ");
    ADOQuery1.add(std::string(" Where u.USERID=") + sqlLiteral(userId) + "  ");
    dm.QueryInto(ADOQuery1.text(), dm.Cds_UserHPassed);
    if (dm.Cds_UserHPassed.fieldByName("USERID").asText().empty()) {
        ui.message("该用户不存在。");
        dm.Cds_UserHPassed.close();
        UserIDEdit->setFocus();
        return;
    }

    // 5: the session check; the first row decides.
    const std::string machineId = s(PCIDEdit->text());
    SessionRegistry::check(ADOQuery1, userId);
    dm.QueryInto(ADOQuery1.text(), Cds_Login);
    Cds_Login.first();
    if (Cds_Login.fieldByName("USERID").asText().empty())
        sessionMark = '1';
    else if (Cds_Login.fieldByName("MAC").asText() != machineId) {
        ui.message("该用户已在线。");
        return;
    }

    // 6: auto login on the machine of the account's latest password login. The service shows
    // VERIFY only to a caller holding the account's auto-login cookie; to anyone else it reads
    // empty, and the password is asked for.
    const std::string verify = dm.Cds_UserHPassed.fieldByName("VERIFY").asText();
    const bool autoLogin = CheckBox2->isChecked() && !verify.empty() && verify == machineId;
    if (!autoLogin) {
        if (PassWordEdit->text().isEmpty()) {
            ui.message("请输入密码。");
            PassWordEdit->setFocus();
            return;
        }
        passwordMark = '2';
    }

    // 7, 8: the password, compared in its stored form.
    if (passwordMark == '2') {
        const std::string stored = dm.Cds_UserHPassed.fieldByName("PASSWORD").asText();
        if (dm.StoredPassword(s(PassWordEdit->text())) != stored) {
            ++m_failedPasswords;
            if (m_failedPasswords < 3) {
                ui.message("密码错误，请重输。");
                PassWordEdit->setFocus();
                return;
            }
            ui.message("三次密码错误，系统自动退出。");
            // The window is released without its close (no session was registered).
            m_released = true;
            m_module.reset();
            Tarvelo = nullptr;
            deleteLater();
            if (app().terminate) app().terminate();
            return;
        }
    }
    m_failedPasswords = 0;

    // 9, 10: the session row and this machine as the account's verified one.
    if (sessionMark == '1') {
        SessionRegistry::registration(ADOQuery1, userId, machineId, Date::today().compact());
        dm.ApplyHTTPRIO.announce("正在登记本次登录…");
        dm.ApplyIntf->ApplyVanDataByExc(ADOQuery1.text());
    }
    if (passwordMark == '2') {
        dm.ApplyHTTPRIO.announce("正在登记本机…");
        dm.ApplyIntf->ApplyVanDataByExc(std::string("update KVR_USERH set VERIFY=") +
                                        sqlLiteral(machineId) + std::string(" where USERID=") +
                                        sqlLiteral(userId));
        keepAutoLogin(dm);
    }

    ClientSettings::setLastAccount(QString::fromStdString(userId));
    // 11 to 13: a new main window takes over.
    auto* main = new TKVR_MainForm(this);
    KVR_MainForm = main;
    main->USERID = dm.Cds_UserHPassed.fieldByName("USERID").asText();
    main->USERNAME = dm.Cds_UserHPassed.fieldByName("USERNAME").asText();
    main->SYSBZ = dm.Cds_UserHPassed.fieldByName("SYSBZ").asText();
    main->DATABZ = dm.Cds_UserHPassed.fieldByName("DATABZ").asText();
    main->show();
    main->activateWindow();  // the keyboard goes to it, with or without a window manager
    hide();
}

void TTarvelo::keepAutoLogin(TIISdmPtr& dm) {
    const std::string& service = app().config.readUrl;
    if (!CheckBox2->isChecked()) {
        // The user no longer wants it: the next run asks for the password.
        AutoLoginCookie::forget(service);
        dm.forgetCookie(AutoLoginCookie::kName);
        return;
    }
    // The answer to the VERIFY update carried the cookie; a service that sets none leaves what
    // was kept as it was.
    const std::string line = dm.cookieLine(AutoLoginCookie::kName);
    if (!line.empty() && !AutoLoginCookie::store(service, line))
        platform().message("无法保存自动登录信息（" +
                           AutoLoginCookie::fileFor(service).toStdString() +
                           "），下次登录时请输入密码。");
}

void TTarvelo::RegSpeedButtonClick() {
    auto* w = new TFrm_Register(this);
    Frm_Register = w;
    w->show();
    w->activateWindow();
}

bool TTarvelo::lookUpAccount() {
    // The id exactly as typed: this lookup does not trim.
    const std::string userId = s(UserIDEdit->text());
    if (userId.empty()) {
        platform().message("请输入用户编码。");
        UserIDEdit->setFocus();
        return false;
    }
    if (!m_module) throw Error("数据访问模块已经关闭。");
    ADOQuery1.clear();
    ADOQuery1.add("Select * From KVR_USERH  ");
    ADOQuery1.add(std::string("Where USERID=") + sqlLiteral(userId) + "  ");
    m_module->QueryInto(ADOQuery1.text(), CdsTmp);
    if (CdsTmp.fieldByName("USERID").asText().empty()) {
        platform().message("该用户不存在。");
        CdsTmp.close();
        UserIDEdit->setFocus();
        return false;
    }
    return true;
}

void TTarvelo::MMSpeedButtonClick() {
    if (!lookUpAccount()) return;
    auto* w = new TFrm_EditMM(this);
    Frm_EditMM = w;
    w->show();
    w->activateWindow();
}

void TTarvelo::SetMMSpeedButtonClick() {
    if (!lookUpAccount()) return;
    auto* w = new TFrm_SetMM(this);
    Frm_SetMM = w;
    w->show();
    w->activateWindow();
}

void TTarvelo::HelpSpeedButtonClick() {
    auto* w = new TAboutBox(this);
    AboutBox = w;
    w->show();
    w->activateWindow();
}

void TTarvelo::closeEvent(QCloseEvent* event) {
    event->accept();
    runAction([this] { FormClose(); });
}

void TTarvelo::FormClose() {
    if (!m_released) {
        m_released = true;
        // The release for the current main window's user (none before a login), then the
        // module; closing this window ends the program.
        SessionRegistry::sendRelease(ADOQuery1,
                                     KVR_MainForm ? KVR_MainForm->USERID : std::string());
        m_module.reset();
        Tarvelo = nullptr;
        deleteLater();
        if (app().terminate) app().terminate();
    }
}

}  // namespace tarvelo
