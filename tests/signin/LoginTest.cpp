#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QRawFont>
#include <QSettings>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include "about/About.h"
#include "accounts/Unit_EditMM.h"
#include "accounts/Unit_ProcGrant.h"
#include "accounts/Unit_Register.h"
#include "accounts/Unit_SetMM.h"
#include "app/ActionGuard.h"
#include "app/Application.h"
#include "app/Globals.h"
#include "app/StartUp.h"
#include "browser/KVR_Main.h"
#include "platform/MachineId.h"
#include "platform/ScriptedPlatform.h"
#include "service/CallWaiter.h"
#include "service/IISdm.h"
#include "signin/AutoLoginCookie.h"
#include "signin/Login.h"
#include "support/Glyphs.h"
#include "support/RawHttpListener.h"
#include "support/TestService.h"
#include "text/Date.h"
#include "text/Error.h"
#include "widgets/DBGrid.h"

namespace tarvelo::test {
namespace {

// The account rows the tests sign in with; passwords stored as the service transforms them.
class LoginWindow : public ::testing::Test {
protected:
    void SetUp() override {
        app().use(ui, service.base(), [this] { ++terminated; });
        for (const auto& [id, name, password, roles] :
             {std::tuple{"amy", "艾米", "secret-1", "10"},
              std::tuple{"bob", "鲍勃", "secret-2", "01"}})
            service.exec(std::string("INSERT INTO KVR_USERH (USERID,USERNAME,PASSWORD,PWBZ,SYSBZ,"
                                     "DATABZ,TEL,VERIFY) VALUES ('") +
                         id + "','" + name + "','" +
                         service.enVerifs(TIISdmPtr::PasswordSource(password)) + "','0','0','" +
                         roles + "','139','')");
        login = new TTarvelo;
        Tarvelo = login;
        login->show();
    }
    void TearDown() override {
        delete Tarvelo.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        app().reset();
    }

    void signIn(const QString& id, const QString& password, bool autoLogin = false) {
        ui.clear();
        login->UserIDEdit->setText(id);
        login->PassWordEdit->setText(password);
        login->CheckBox2->setChecked(autoLogin);
        QTest::mouseClick(login->OKSpeedButton, Qt::LeftButton);
    }
    std::vector<std::string> sent() const {
        std::vector<std::string> out;
        for (const auto& [operation, sql] : service.statements())
            out.push_back(sql);
        return out;
    }
    std::string sessions() {
        return service.scalar("select group_concat(USERID||'/'||MAC, ' ') from KVR_LOGIN");
    }

    TestService service{TestService::atMachineSpeed()};
    ScriptedPlatform ui;
    int terminated = 0;
    TTarvelo* login = nullptr;
    const std::string pc = GetPCID();
};

TEST_F(LoginWindow, APasswordLoginRegistersTheSessionAndHandsOver) {
    ASSERT_EQ(pc.size(), 16u);
    EXPECT_EQ(pc.find_first_not_of("0123456789ABCDEF"), std::string::npos) << pc;
    EXPECT_EQ(GetPCID(), pc);
    EXPECT_EQ(login->PCIDEdit->text().toStdString(), pc);
    EXPECT_TRUE(login->PCIDEdit->isHidden());
    signIn(QStringLiteral("  amy\t "), QStringLiteral("secret-1"));
    EXPECT_TRUE(ui.messages().empty()) << ui.messages().front();
    EXPECT_EQ(login->UserIDEdit->text(), QStringLiteral("amy"));  // trimmed, written back
    EXPECT_EQ(
        sent(),
        (std::vector<std::string>{
            " SELECT u.USERID,u.USERNAME,u.PASSWORD,u.PWBZ,u.SYSBZ,u.DATABZ,u.TEL,u.VERIFY \r\n"
            " FROM KVR_USERH u \r\n"
            " Where u.USERID='amy'  \r\n",
            "Select * From KVR_LOGIN  \r\nWhere USERID='amy'  \r\n",
            " Insert into KVR_LOGIN(USERID,MAC,RQ)  \r\n Values(   'amy'\r\n,'" + pc + "'\r\n,'" +
                Date::today().compact() + "'\r\n             )\r\n",
            "update KVR_USERH set VERIFY='" + pc + "' where USERID='amy'",
            // the main window, once shown, reads its reference lists
            "select ID,IDDESC FROM KVR_ICEXT ORDER BY ID",
            "select ID,IDDESC FROM KVR_REGION ORDER BY ID "}));
    EXPECT_EQ(sessions(), "amy/" + pc);
    ASSERT_TRUE(KVR_MainForm);
    EXPECT_EQ(KVR_MainForm->parent(), login);
    EXPECT_EQ(
        KVR_MainForm->USERID + KVR_MainForm->USERNAME + KVR_MainForm->SYSBZ + KVR_MainForm->DATABZ,
        "amy艾米010");
    EXPECT_TRUE(KVR_MainForm->isVisible());
    EXPECT_TRUE(login->isHidden());
    EXPECT_EQ(KVR_MainForm->windowTitle(), QStringLiteral("Tarvelo 云平台"));
}

// The next windows remember, for this user of the computer: the account (never the password),
// and where the main window was, its last category tab and a column width the user dragged.
TEST_F(LoginWindow, TheNextWindowsRememberTheAccountAndTheMainWindowsLayout) {
    EXPECT_EQ(login->UserIDEdit->text(), QString());
    signIn(QStringLiteral("amy"), QStringLiteral("secret-1"));
    ASSERT_TRUE(KVR_MainForm);
    TKVR_MainForm* main = KVR_MainForm;
    main->setGeometry(120, 90, 1100, 760);
    QTabWidget* tabs = main->PageControl3;
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(2).center());
    ASSERT_EQ(tabs->currentIndex(), 2);
    // The border after 材料名 dragged 40 pixels to the right.
    QHeaderView* header = main->MMMDBGrid->horizontalHeader();
    const int before = main->MMMDBGrid->columnWidth(1);
    const QPoint border(header->sectionViewportPosition(1) + header->sectionSize(1) - 1,
                        header->height() / 2);
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, border);
    QTest::mouseMove(header->viewport(), border + QPoint(20, 0));
    QTest::mouseMove(header->viewport(), border + QPoint(40, 0));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, border + QPoint(40, 0));
    const int dragged = main->MMMDBGrid->columnWidth(1);
    ASSERT_EQ(dragged, before + 40);
    const QRect placed = main->geometry();
    main->close();

    TTarvelo second;
    second.show();
    second.activateWindow();
    QApplication::processEvents();
    EXPECT_EQ(second.UserIDEdit->text(), QStringLiteral("amy"));
    EXPECT_EQ(QApplication::focusWidget(), second.PassWordEdit);
    EXPECT_EQ(second.PassWordEdit->text(), QString());
    QFile kept(QSettings(QStringLiteral("Tarvelo"), QStringLiteral("tarvelo")).fileName());
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll().indexOf("secret-1"), -1);

    TKVR_MainForm again(&second);
    again.show();
    EXPECT_EQ(again.geometry(), placed);
    EXPECT_EQ(again.PageControl3->currentIndex(), 2);
    EXPECT_EQ(again.MMMDBGrid->columnWidth(1), dragged);
    EXPECT_NE(again.XXMDBGrid->columnWidth(1), dragged);  // another grid keeps its own
}

TEST_F(LoginWindow, RefusalsSayWhyAndPutTheFocusWhereItIsNeeded) {
    service.exec("INSERT INTO KVR_LOGIN VALUES ('bob','FFFFFFFF00000000','20261201')");
    const struct {
        QString id, password;
        const char* message;
        QWidget* focus;
        bool userRowLoaded = true;
    } cases[] = {
        {QStringLiteral(" \t"), QStringLiteral("x"), "请输入用户编码。", login->UserIDEdit, false},
        {QStringLiteral("nobody"), QStringLiteral("x"), "该用户不存在。", login->UserIDEdit, false},
        {QStringLiteral("bob"), QStringLiteral("secret-2"), "该用户已在线。", nullptr},
        {QStringLiteral("amy"), QString(), "请输入密码。", login->PassWordEdit},
        {QStringLiteral("amy"), QStringLiteral("wrong"), "密码错误，请重输。", login->PassWordEdit},
    };
    for (const auto& c : cases) {
        login->OKSpeedButton->setFocus();
        signIn(c.id, c.password);
        EXPECT_EQ(ui.messages(), std::vector<std::string>{c.message}) << c.message;
        if (c.focus) {
            EXPECT_EQ(login->focusWidget(), c.focus) << c.message;
        }
        if (!c.userRowLoaded) {
            EXPECT_FALSE(IISdmPtr->Cds_UserHPassed.active()) << c.message;
        }
    }
    EXPECT_EQ(login->failedPasswords(), 1);  // only the wrong password counted
    EXPECT_EQ(sessions(), "bob/FFFFFFFF00000000");
    EXPECT_FALSE(KVR_MainForm);
}

TEST_F(LoginWindow, ThisMachinesStaleSessionAdmitsWithoutASecondRow) {
    service.exec("INSERT INTO KVR_LOGIN VALUES ('amy','" + pc + "','20250101')");
    signIn(QStringLiteral("amy"), QStringLiteral("secret-1"));
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(sessions(), "amy/" + pc);
    EXPECT_TRUE(KVR_MainForm);
}

// A password login with "自动登录" ticked keeps the service's auto-login cookie in a file of the
// user's own; the next run's login window puts it into its new data module, and the same account
// then signs in on this machine without its password.
TEST_F(LoginWindow, ATickedPasswordLoginLetsTheNextRunSignInWithoutThePassword) {
    const std::string kept = AutoLoginCookie::fileFor(app().config.readUrl).toStdString();
    // Without the cookie the service hides VERIFY, even where it names this machine.
    service.exec("UPDATE KVR_USERH SET VERIFY='" + pc + "' WHERE USERID IN ('amy','bob')");
    signIn(QStringLiteral("amy"), QString(), true);
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"请输入密码。"});

    signIn(QStringLiteral("amy"), QStringLiteral("secret-1"), true);
    EXPECT_TRUE(ui.messages().empty()) << ui.messages().front();
    ASSERT_TRUE(KVR_MainForm);
    const std::string line = IISdmPtr->cookieLine(AutoLoginCookie::kName);
    ASSERT_NE(line, "");
    EXPECT_EQ(AutoLoginCookie::load(app().config.readUrl), line);
    QFile file(QString::fromStdString(kept));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << kept;
    EXPECT_EQ(file.readAll().toStdString(), line + "\n");
    EXPECT_EQ(file.permissions() & ~(QFile::ReadUser | QFile::WriteUser),
              QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_TRUE(kept.starts_with(
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString() + "/"));
    // A service on another host keeps its own; on this host, whatever its port, it is this one
    // (a service started on a free port keeps its host from run to run, and cookies are kept by
    // host).
    EXPECT_NE(AutoLoginCookie::fileFor("http://localhost:1/soap/x").toStdString(), kept);
    EXPECT_EQ(AutoLoginCookie::fileFor("http://127.0.0.1:1/soap/x").toStdString(), kept);

    // The next run: a new login window with a new data module.
    const auto nextRun = [this] {
        delete Tarvelo.data();  // the main window's close releases the session
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        login = new TTarvelo;
        Tarvelo = login;
        login->show();
    };
    nextRun();
    EXPECT_EQ(IISdmPtr->cookieLine(AutoLoginCookie::kName), line);
    const struct {
        const char* account;
        const char* verify;  // set on the service beforehand
        const char* said;    // "" for a login without the password
    } cases[] = {
        // The cookie is amy's: bob's VERIFY stays hidden.
        {"bob", nullptr, "请输入密码。"},
        // amy's latest password login was on another machine.
        {"amy", "0000000000000000", "请输入密码。"},
        {"amy", "PC", ""},
    };
    for (const auto& c : cases) {
        if (c.verify)
            service.exec(std::string("UPDATE KVR_USERH SET VERIFY='") +
                         (c.verify == std::string("PC") ? pc : c.verify) + "' WHERE USERID='amy'");
        const std::size_t before = sent().size();
        signIn(QString::fromLatin1(c.account), QString(), true);
        if (*c.said) {
            EXPECT_EQ(ui.messages(), std::vector<std::string>{c.said}) << c.account;
            EXPECT_FALSE(KVR_MainForm) << c.account;
            continue;
        }
        EXPECT_TRUE(ui.messages().empty()) << ui.messages().front();
        ASSERT_TRUE(KVR_MainForm);
        EXPECT_EQ(KVR_MainForm->USERID, "amy");
        // No password was checked: this machine is not registered as verified again.
        const auto statements = service.statements();
        for (std::size_t i = before; i < statements.size(); ++i) {
            EXPECT_EQ(statements[i].second.find("VERIFY="), std::string::npos)
                << statements[i].second;
        }
    }
    EXPECT_EQ(AutoLoginCookie::load(app().config.readUrl), line);
}

// A password login without "自动登录" removes the kept cookie, from the file and from the data
// module: neither this run nor the next signs in without the password.
TEST_F(LoginWindow, AnUntickedPasswordLoginForgetsTheKeptCookie) {
    signIn(QStringLiteral("amy"), QStringLiteral("secret-1"), true);
    ASSERT_TRUE(KVR_MainForm);
    ASSERT_NE(AutoLoginCookie::load(app().config.readUrl), "");
    delete KVR_MainForm.data();
    login->show();

    signIn(QStringLiteral("amy"), QStringLiteral("secret-1"), false);
    ASSERT_TRUE(KVR_MainForm);
    EXPECT_FALSE(QFile::exists(AutoLoginCookie::fileFor(app().config.readUrl)));
    EXPECT_EQ(IISdmPtr->cookieLine(AutoLoginCookie::kName), "");
    delete KVR_MainForm.data();
    login->show();
    signIn(QStringLiteral("amy"), QString(), true);
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"请输入密码。"});

    delete Tarvelo.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    login = new TTarvelo;
    Tarvelo = login;
    login->show();
    signIn(QStringLiteral("amy"), QString(), true);
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"请输入密码。"});
    EXPECT_FALSE(KVR_MainForm);
}

TEST_F(LoginWindow, TheThirdWrongPasswordOfTheWindowEndsTheProgram) {
    signIn(QStringLiteral("amy"), QStringLiteral("w1"));
    signIn(QStringLiteral("amy"), QStringLiteral("w2"));
    signIn(QStringLiteral("amy"), QStringLiteral("secret-1"));  // a success resets the count
    EXPECT_EQ(login->failedPasswords(), 0);
    // A main window destroyed while the program still refers to it releases its session.
    delete KVR_MainForm.data();
    EXPECT_EQ(sessions(), "");
    EXPECT_EQ(sent().back(), " DELETE FROM KVR_LOGIN  \r\n WHERE USERID='amy'\r\n");

    signIn(QStringLiteral("amy"), QStringLiteral("w3"));
    signIn(QStringLiteral("amy"), QStringLiteral("w4"));
    EXPECT_EQ(terminated, 0);
    signIn(QStringLiteral("bob"), QStringLiteral("w5"));  // the count belongs to the window
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"三次密码错误，系统自动退出。"});
    EXPECT_EQ(terminated, 1);
    EXPECT_FALSE(Tarvelo);
    EXPECT_EQ(IISdmPtr, nullptr);
}

TEST_F(LoginWindow, ClosingReleasesTheSessionOnceAndEndsTheProgram) {
    service.exec("INSERT INTO KVR_LOGIN VALUES ('carl','1234','20261201')");
    signIn(QStringLiteral("amy"), QStringLiteral("secret-1"));
    ASSERT_TRUE(KVR_MainForm);
    const std::size_t before = sent().size();
    KVR_MainForm->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(sessions(), "carl/1234");
    const auto after = sent();
    ASSERT_EQ(after.size(), before + 1);  // one release reaches the service
    EXPECT_EQ(after.back(), " DELETE FROM KVR_LOGIN  \r\n WHERE USERID='amy'\r\n");
    EXPECT_FALSE(KVR_MainForm);
    EXPECT_FALSE(Tarvelo);
    EXPECT_EQ(IISdmPtr, nullptr);
    EXPECT_EQ(terminated, 1);
}

TEST_F(LoginWindow, TheExitButtonsCloseTheWindowAndEndTheProgram) {
    for (int button = 0; button < 2; ++button) {
        if (button == 1) {  // a second run of the program
            delete Tarvelo.data();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            login = new TTarvelo;
            Tarvelo = login;
        }
        terminated = 0;
        signIn(QStringLiteral("amy"), QStringLiteral("secret-1"));
        ASSERT_TRUE(KVR_MainForm);
        QTest::mouseClick(button == 0 ? KVR_MainForm->SpeedButton2 : KVR_MainForm->wwwSpeedButton,
                          Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(sessions(), "") << button;
        EXPECT_FALSE(KVR_MainForm) << button;
        EXPECT_FALSE(Tarvelo) << button;
        EXPECT_EQ(IISdmPtr, nullptr) << button;
        EXPECT_EQ(terminated, button == 0 ? 1 : 2) << button;  // the second button ends it itself
    }
}

TEST_F(LoginWindow, ClosingBeforeALoginRemovesNothing) {
    service.exec("INSERT INTO KVR_LOGIN VALUES ('amy','1234','20261201')");
    login->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(sent(), std::vector<std::string>{" DELETE FROM KVR_LOGIN  \r\n WHERE USERID=''\r\n"});
    EXPECT_EQ(sessions(), "amy/1234");
    EXPECT_EQ(terminated, 1);
}

// A stopped service is named as stopped, not as a broken answer; the next action that fails for
// another reason is not blamed on it.
TEST_F(LoginWindow, AStoppedServiceEndsTheActionWithItsCause) {
    service.stopEndpoint();
    signIn(QStringLiteral("amy"), QStringLiteral("secret-1"));
    ASSERT_EQ(ui.events().size(), 1u);
    EXPECT_EQ(ui.events()[0].kind, ScriptedPlatform::Event::ErrorBox);
    const std::string said = ui.events()[0].text;
    EXPECT_TRUE(
        said.starts_with("无法连接数据服务（127.0.0.1:" + std::to_string(service.port()) +
                         "）：连接被拒绝。请确认数据服务已启动，或检查 tarvelo.ini 中的地址。\n"))
        << said;
    EXPECT_EQ(said.find("数据包"), std::string::npos) << said;
    EXPECT_FALSE(KVR_MainForm);

    runAction([] { throw Error("另一个错误。"); });
    ASSERT_EQ(ui.events().size(), 2u);
    EXPECT_EQ(ui.events()[1].text, "另一个错误。");
}

// Waits for each call to the service as the program does, counting the calls to the read side:
// after it has answered `answered` of them, its address becomes a port where nothing listens, so
// the next read fails as it would with the service gone.
class ReadSideGoesAway : public CallWaiter {
public:
    ReadSideGoesAway(TIISdmPtr& module, int answered, std::string away)
        : m_module(module), m_answered(answered), m_away(std::move(away)) {}
    void wait(const Call& call, const std::function<void()>& exchange,
              std::atomic<bool>& cancel) override {
        // The address of this call is already taken; the next read goes to the new one.
        if (call.side == CallSide::Read && ++m_reads == m_answered)
            m_module.SpplyHTTPRIO.setUrl(m_away);
        if (app().waiter)
            app().waiter->wait(call, exchange, cancel);
        else
            exchange();
    }

private:
    TIISdmPtr& m_module;
    int m_answered;
    std::string m_away;
    int m_reads = 0;
};

// The service fails at one step of a password login: the login stops there with the error box
// naming the cause, the main window does not open, and only what was written before the failing
// step stays written.
TEST_F(LoginWindow, AServiceFailingAtAStepStopsTheLoginThere) {
    const std::string down = "127.0.0.1:" + std::to_string(closedPort());
    const std::string refused = "无法连接数据服务（" + down + "）：连接被拒绝。";
    const std::string readSide = IISdmPtr->SpplyHTTPRIO.url();
    const struct {
        const char* step;
        int readsAnswered;    // then the read side is gone; 0: it stays
        const char* refusal;  // a trigger that makes the service refuse a write; "" for none
        std::string said;     // the error box begins with it
        std::vector<std::string> operations;  // what reached the service
        std::string sessions;                 // afterwards
    } cases[] = {
        {"session check", 1, "", refused, {"SpplyVanDataBySQL"}, ""},
        // The password's stored form is asked for after the two queries.
        {"EnVerifs", 2, "", refused, {"SpplyVanDataBySQL", "SpplyVanDataBySQL"}, ""},
        {"session register",
         0,
         "CREATE TRIGGER refuse BEFORE INSERT ON KVR_LOGIN BEGIN "
         "SELECT RAISE(ABORT, '会话表暂停登记'); END",
         "服务报告了错误：语句执行失败。（会话表暂停登记）",
         {"SpplyVanDataBySQL", "SpplyVanDataBySQL", "ApplyVanDataByExc"},
         ""},
        // The session row written before the failure stays.
        {"VERIFY",
         0,
         "CREATE TRIGGER refuse BEFORE UPDATE ON KVR_USERH BEGIN "
         "SELECT RAISE(ABORT, '用户表暂停更新'); END",
         "服务报告了错误：语句执行失败。（用户表暂停更新）",
         {"SpplyVanDataBySQL", "SpplyVanDataBySQL", "ApplyVanDataByExc", "ApplyVanDataByExc"},
         "amy/" + pc},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        service.exec("DELETE FROM KVR_LOGIN");
        if (*c.refusal) service.exec(c.refusal);
        IISdmPtr->SpplyHTTPRIO.setUrl(readSide);
        ReadSideGoesAway waiter(*IISdmPtr, c.readsAnswered, "http://" + down + "/soap/x");
        IISdmPtr->setWaiter(&waiter);
        const std::size_t before = service.statements().size();
        signIn(QStringLiteral("amy"), QStringLiteral("secret-1"));
        IISdmPtr->setWaiter(app().waiter);
        ASSERT_EQ(ui.events().size(), 1u);
        EXPECT_EQ(ui.events()[0].kind, ScriptedPlatform::Event::ErrorBox);
        const std::string said = ui.events()[0].text;
        EXPECT_TRUE(said.starts_with(c.said)) << said;
        EXPECT_EQ(ui.cursor(), Cursor::Default);
        std::vector<std::string> operations;
        for (const auto& [operation, sql] : service.statements())
            operations.push_back(operation);
        operations.erase(operations.begin(), operations.begin() + static_cast<long>(before));
        EXPECT_EQ(operations, c.operations);
        EXPECT_EQ(sessions(), c.sessions);
        EXPECT_EQ(service.scalar("select VERIFY from KVR_USERH where USERID='amy'"), "");
        EXPECT_FALSE(KVR_MainForm);
        EXPECT_TRUE(login->isVisible());
        if (*c.refusal) service.exec("DROP TRIGGER refuse");
    }
    // With the service whole again, the same login goes through.
    signIn(QStringLiteral("amy"), QStringLiteral("secret-1"));
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_TRUE(KVR_MainForm);
}

TEST_F(LoginWindow, EachPressOfTheHelpButtonOpensAnotherAboutBox) {
    QTest::mouseClick(login->HelpSpeedButton, Qt::LeftButton);
    QPointer<TAboutBox> first = AboutBox;
    QTest::mouseClick(login->HelpSpeedButton, Qt::LeftButton);
    ASSERT_TRUE(first && AboutBox);
    EXPECT_NE(first, AboutBox);
    EXPECT_TRUE(first->isVisible() && AboutBox->isVisible());
    EXPECT_EQ(login->findChildren<TAboutBox*>().size(), 2);
}

TEST_F(LoginWindow, WindowsRenderTheirChineseText) {
    for (const auto& [family, installed] :
         {std::pair{"楷体", "AR PL KaitiM GB"}, std::pair{"楷体_GB2312", "AR PL KaitiM GB"},
          std::pair{"宋体", "AR PL SungtiL GB"}}) {
        const QFont font(QString::fromUtf8(family));
        EXPECT_EQ(QFontInfo(font).family().toStdString(), installed) << family;
        EXPECT_TRUE(QRawFont::fromFont(font).supportsCharacter(u'钢')) << family;
    }
    EXPECT_EQ(QFontInfo(QApplication::font()).family().toStdString(), "AR PL SungtiL GB");
    const QString dir = QDir::currentPath() + QStringLiteral("/screenshots");
    QDir().mkpath(dir);
    // Every character each window shows has its glyph in the font that draws it.
    EXPECT_EQ(login->size(), QSize(618, 327));
    EXPECT_EQ(missingGlyphs(login), "");
    EXPECT_TRUE(login->grab().save(dir + QStringLiteral("/login.png")));
    signIn(QStringLiteral("amy"), QStringLiteral("secret-1"));
    ASSERT_TRUE(KVR_MainForm);
    EXPECT_EQ(KVR_MainForm->size(), QSize(1000, 700));
    EXPECT_EQ(missingGlyphs(KVR_MainForm), "");
    EXPECT_TRUE(KVR_MainForm->grab().save(dir + QStringLiteral("/main.png")));
    QTest::mouseClick(login->HelpSpeedButton, Qt::LeftButton);
    ASSERT_TRUE(AboutBox && AboutBox->isVisible());
    EXPECT_EQ(missingGlyphs(AboutBox), "");
    EXPECT_TRUE(AboutBox->grab().save(dir + QStringLiteral("/about.png")));
}

TEST(StartUp, CreatesEveryWindowHiddenWithTheLoginWindowFirst) {
    TestService service;
    ScriptedPlatform ui;
    app().use(ui, service.base());
    createWindows();
    EXPECT_TRUE(Tarvelo && KVR_MainForm && Frm_EditMM && Frm_Register && Frm_SetMM && AboutBox &&
                Frm_ProcGrant);
    EXPECT_NE(IISdmPtr, nullptr);  // built by the login window
    const std::vector<QWidget*> windows{Tarvelo.data(),      KVR_MainForm.data(), Frm_EditMM.data(),
                                        Frm_Register.data(), Frm_SetMM.data(),    AboutBox.data(),
                                        Frm_ProcGrant.data()};
    for (QWidget* w : windows)
        EXPECT_TRUE(w->isHidden()) << w->objectName().toStdString();
    // Closing the login window before anyone signed in: the hidden start-up main window holds
    // no user, so the release removes nothing, and the program ends.
    service.exec("INSERT INTO KVR_LOGIN VALUES ('amy','1234','20261201')");
    int terminated = 0;
    app().terminate = [&] { ++terminated; };
    Tarvelo->close();
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(service.statements().back().second,
              " DELETE FROM KVR_LOGIN  \r\n WHERE USERID=''\r\n");
    EXPECT_EQ(service.scalar("select count(*) from KVR_LOGIN"), "1");
    destroyWindows();
    EXPECT_FALSE(Tarvelo);
    EXPECT_EQ(IISdmPtr, nullptr);
    app().reset();
}

// With the service stopped, start-up fails on the administration window's list, and the box
// that ends the program names the stopped service, not the answer it never got.
TEST(StartUp, AStoppedServiceIsNamedAsStopped) {
    TestService service;
    service.stopEndpoint();
    ScriptedPlatform ui;
    app().use(ui, service.base());
    std::string said = "no failure";
    try {
        createWindows();
    } catch (const std::exception& e) {
        said = failureText(e);
    }
    destroyWindows();
    app().reset();
    EXPECT_TRUE(
        said.starts_with("无法连接数据服务（127.0.0.1:" + std::to_string(service.port()) +
                         "）：连接被拒绝。请确认数据服务已启动，或检查 tarvelo.ini 中的地址。"))
        << said;
}

}  // namespace
}  // namespace tarvelo::test
