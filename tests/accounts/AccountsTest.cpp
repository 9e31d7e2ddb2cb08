#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QWindow>

#include <cstdlib>
#include <functional>

#include "about/About.h"
#include "accounts/Unit_EditMM.h"
#include "accounts/Unit_ProcGrant.h"
#include "accounts/Unit_Register.h"
#include "accounts/Unit_SetMM.h"
#include "app/Application.h"
#include "app/Globals.h"
#include "browser/KVR_Main.h"
#include "platform/ScriptedPlatform.h"
#include "service/IISdm.h"
#include "signin/Login.h"
#include "support/Glyphs.h"
#include "support/RawHttpListener.h"
#include "support/SignIn.h"
#include "support/TestService.h"
#include "widgets/DBGrid.h"
#include "widgets/UnsavedRowDelegate.h"

namespace tarvelo::test {
namespace {

// The login window over the service, with one account to change.
class Accounts : public ::testing::Test {
protected:
    void SetUp() override {
        app().use(ui, service.base(), [] {});
        service.exec(
            "INSERT INTO KVR_USERH (USERID,USERNAME,PASSWORD,PWBZ,SYSBZ,DATABZ,TEL,EMAIL,VERIFY) "
            "VALUES ('amy','艾米','" +
            service.enVerifs(TIISdmPtr::PasswordSource("old-1")) +
            "','0','0','10','139','Amy@example.com','')");
        login = new TTarvelo;
        Tarvelo = login;
        login->show();
    }
    void TearDown() override {
        delete Tarvelo.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        app().reset();
    }
    // Whether `id` signs in with `password` (the main window then opens; it is closed again).
    bool signsIn(const QString& id, const QString& password) {
        service.exec("DELETE FROM KVR_LOGIN");
        ui.clear();
        login->UserIDEdit->setText(id);
        login->PassWordEdit->setText(password);
        login->CheckBox2->setChecked(false);
        QTest::mouseClick(login->OKSpeedButton, Qt::LeftButton);
        const bool in = bool(KVR_MainForm);
        delete KVR_MainForm.data();
        login->show();
        return in;
    }
    // The code of the latest mail the service sent: six digits after "验证码：".
    std::string mailedCode() const {
        const std::string mail = service.mail();
        const std::string mark = "验证码：";
        const auto at = mail.rfind(mark);
        return at == std::string::npos ? std::string() : mail.substr(at + mark.size(), 6);
    }
    // The login window's data module signed in as a user manager, as the main window is when
    // it opens the administration window: a system account of its own, which that window does
    // not list.
    void signInAsManager() {
        service.exec(
            "INSERT INTO KVR_USERH (USERID,USERNAME,PASSWORD,PWBZ,SYSBZ,DATABZ) VALUES "
            "('root','管理员','" +
            service.enVerifs(TIISdmPtr::PasswordSource("pw")) + "','0','1','11')");
        signIn(service, *IISdmPtr, "root");
    }
    TFrm_Register* registration() {
        QTest::mouseClick(login->RegSpeedButton, Qt::LeftButton);
        return Frm_Register;
    }
    void fill(TFrm_Register* w,
              const QStringList& values) {  // id, name, password, verify, tel, qq, email
        QLineEdit* boxes[] = {w->UserIDEdit, w->UserNameEdit, w->PassWordEdit, w->VerifyEdit,
                              w->TelEdit,    w->QQEdit,       w->EmailEdit};
        for (int i = 0; i < 7; ++i)
            boxes[i]->setText(values[i]);
        ui.clear();
        QTest::mouseClick(w->BitBtn1, Qt::LeftButton);
    }

    TestService service{TestService::atMachineSpeed()};
    ScriptedPlatform ui;
    TTarvelo* login = nullptr;
};

TEST_F(Accounts, RegistrationChecksInItsOrderAndCreatesASignableAccount) {
    TFrm_Register* w = registration();
    const struct {
        QStringList values;
        const char* message;
    } refusals[] = {
        {{" \t", "", "p", "p", "1", "", "e"}, "请输入用户编码。"},
        // What cannot reach the service as typed is refused, before anything is asked.
        {{"bob", "张😀", "", "", "", "", ""},
         "真实姓名“张😀”中有无法传送到服务器的字符：“😀”（U+1F600）。请改正后再试。"},
        {{"bob", "", "p", "p", "1", "", "b²@example.com"},
         "邮箱“b²@example.com”中有无法传送到服务器的字符：“²”（U+00B2）。请改正后再试。"},
        {{"amy", "", "", "", "", "", ""}, "该用户已存在。"},  // before any other box
        {{"bob", "", "", "", "", "", ""}, "请输入密码。"},
        {{"bob", "", "abc", "", "", "", ""}, "请确认密码。"},
        {{"bob", "", "abc", "abc ", "", "", ""}, "两次密码不一致，请重新确认。"},
        {{"bob", "", "abc", "abc", "", "", ""}, "请输入电话号码。"},
        {{"bob", "", "abc", "abc", "138", "", ""}, "请输入电子邮箱。"},
    };
    for (const auto& r : refusals) {
        fill(w, r.values);
        EXPECT_EQ(ui.messages(), std::vector<std::string>{r.message}) << r.message;
    }
    // No name, no QQ; a password may hold anything (it travels as the Base64 of its bytes).
    fill(w, {" bob ", "", "秘密 1😀", "秘密 1😀", "138", "", "bob@example.com"});
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"操作成功。"});
    EXPECT_EQ(w->UserIDEdit->text(), QStringLiteral("bob"));
    // The empty name and QQ are stored as empty text, not null (a null would make this null).
    EXPECT_EQ(service.scalar("select DATABZ||SYSBZ||PWBZ||USERNAME||QQ||TEL from "
                             "KVR_USERH where USERID='bob'"),
              "0000138");
    fill(w, {"bob", "", "x", "x", "1", "", "e"});
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"该用户已存在。"});  // a second "确定"
    EXPECT_TRUE(signsIn(QStringLiteral("bob"), QStringLiteral("秘密 1😀")));
    // For a look: the window as the user sees it.
    QDir().mkpath(QDir::currentPath() + QStringLiteral("/screenshots"));
    w->grab().save(QDir::currentPath() + QStringLiteral("/screenshots/register.png"));
    // Each press opens another window.
    TFrm_Register* second = registration();
    EXPECT_NE(second, w);
    EXPECT_TRUE(w->isVisible() && second->isVisible());
}

TEST_F(Accounts, APasswordIsChangedWithTheOldOne) {
    // The lookup takes the id as typed.
    login->UserIDEdit->setText(QStringLiteral(" amy"));
    ui.clear();
    QTest::mouseClick(login->MMSpeedButton, Qt::LeftButton);
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"该用户不存在。"});

    login->UserIDEdit->setText(QStringLiteral("amy"));
    QTest::mouseClick(login->MMSpeedButton, Qt::LeftButton);
    TFrm_EditMM* change = Frm_EditMM;
    const auto press = [&](TFrm_EditMM* w, const QString& a, const QString& b, const QString& c) {
        w->MaskEdit1->setText(a);
        w->MaskEdit2->setText(b);
        w->MaskEdit3->setText(c);
        ui.clear();
        QTest::mouseClick(w->BitBtn1, Qt::LeftButton);
        return ui.messages();
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(press(change, "", "n", "n"), V{"请输入原密码"});
    EXPECT_EQ(press(change, "old-1 ", "n", "n"), V{"原密码不正确,请重新输入"});  // blanks count
    EXPECT_EQ(press(change, "old-1", "", "n"), V{"请输入新密码"});
    EXPECT_EQ(press(change, "old-1", "n", ""), V{"请确认新密码"});
    EXPECT_EQ(press(change, "old-1", "n", "N"), V{"两次输入的密码不匹配,请重新输入"});
    EXPECT_EQ(press(change, "old-1", "new-2", "new-2"), V{"操作成功。"});
    // The row now holds the new stored form: a second change needs the new password.
    EXPECT_EQ(press(change, "old-1", "x", "x"), V{"原密码不正确,请重新输入"});
    EXPECT_TRUE(signsIn(QStringLiteral("amy"), QStringLiteral("new-2")));
    EXPECT_FALSE(signsIn(QStringLiteral("amy"), QStringLiteral("old-1")));
}

}  // namespace
}  // namespace tarvelo::test

namespace tarvelo::test {
namespace {

TEST_F(Accounts, RolesAreFlippedByAClickAndSentOnSave) {
    service.exec(
        "INSERT INTO KVR_USERH (USERID,USERNAME,PASSWORD,SYSBZ,DATABZ) VALUES "
        "('bob','鲍勃','" +
        service.enVerifs(TIISdmPtr::PasswordSource("pw")) +
        "','','02'),"
        "('sys','系统','x','1','11'),('nul','空','x',NULL,'11')");
    signInAsManager();
    ui.clear();
    auto* w = new TFrm_ProcGrant(login);
    std::vector<std::string> listed;
    for (w->Cds_UserH.first(); !w->Cds_UserH.eof(); w->Cds_UserH.next())
        listed.push_back(w->Cds_UserH.fieldByName("USERID").asText());
    EXPECT_EQ(listed, (std::vector<std::string>{"amy", "bob"}));  // no system account, no null
    EXPECT_EQ(service.statements().back().second,
              "with aaa as \r\n( \r\nSELECT USERID,USERNAME,QQ,EMAIL,SYSBZ,TEL,DATABZ \r\n"
              ",CASE WHEN SubStr(DATABZ,1,1)='1' THEN '√' ELSE  ' ' END AS DBZ1 \r\n"
              ",CASE WHEN SubStr(DATABZ,2,1)='1' THEN '√' ELSE  ' ' END AS DBZ2 \r\n"
              "FROM KVR_USERH \r\nWhere SYSBZ<>'1' \r\nOrder By USERID \r\n) \r\n"
              "select USERID,USERNAME,QQ,EMAIL,SYSBZ,TEL,DATABZ,DBZ1,DBZ2 \r\nfrom aaa \r\n");
    const auto click = [&](int row, int column) {
        QTest::mouseClick(w->DBGrid1->viewport(), Qt::LeftButton, {},
                          w->DBGrid1->visualRect(w->DBGrid1->model()->index(row, column)).center());
    };
    const auto cell = [&](int row, int column) {
        return w->DBGrid1->model()->index(row, column).data().toString().toStdString();
    };
    EXPECT_EQ(cell(0, 3) + "|" + cell(0, 4), "√| ");  // amy: "10"
    click(0, 4);
    EXPECT_EQ(cell(0, 4), "√");
    EXPECT_EQ(w->Cds_UserH.fieldByName("DATABZ").asText(), "11");
    click(0, 4);  // and back
    EXPECT_EQ(w->Cds_UserH.fieldByName("DATABZ").asText(), "10");
    click(1, 4);  // bob: "02", the "2" shown as a blank, stored as "1"
    click(1, 3);  // and the data-update role
    EXPECT_EQ(w->Cds_UserH.fieldByName("DATABZ").asText(), "11");
    // A click in another column flips nothing and sends nothing.
    const std::size_t flips = w->Cds_UserH.changeCount();
    const std::size_t sentBeforeClick = service.statements().size();
    click(0, 0);
    EXPECT_EQ(cell(0, 3) + "|" + cell(0, 4), "√| ");
    EXPECT_EQ(w->Cds_UserH.fieldByName("DATABZ").asText(), "10");
    EXPECT_EQ(w->Cds_UserH.changeCount(), flips);
    EXPECT_EQ(service.statements().size(), sentBeforeClick);
    // A closed window loses its flips: a new one shows the stored roles, nothing was sent.
    const std::size_t sentBefore = service.statements().size();
    QTest::mouseClick(w->ExitTB, Qt::LeftButton);
    EXPECT_TRUE(w->isHidden());
    auto* again = new TFrm_ProcGrant(login);
    EXPECT_EQ(again->DBGrid1->model()->index(1, 3).data().toString(), QStringLiteral(" "));
    EXPECT_EQ(service.statements().size(), sentBefore + 1);  // only the new window's list
    delete again;
    w->show();
    // Refresh drops the flips.
    QTest::mouseClick(w->RefreshTB, Qt::LeftButton);
    EXPECT_EQ(w->Cds_UserH.changeCount(), 0u);
    EXPECT_EQ(cell(1, 3) + "|" + cell(1, 4), " | ");
    // Nothing to save: nothing sent, nothing shown.
    const std::size_t before = service.statements().size();
    ui.clear();
    QTest::mouseClick(w->SaveTB, Qt::LeftButton);
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(service.statements().size(), before);
    // Grant bob both roles and save; a second save sends nothing.
    click(1, 3);
    click(1, 4);
    QTest::mouseClick(w->SaveTB, Qt::LeftButton);
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"操作成功。"});
    EXPECT_EQ(service.scalar("select DATABZ from KVR_USERH where USERID='bob'"), "11");
    ui.clear();
    QTest::mouseClick(w->SaveTB, Qt::LeftButton);
    EXPECT_TRUE(ui.messages().empty());
    // The roles take effect at bob's next sign-in.
    login->UserIDEdit->setText(QStringLiteral("bob"));
    login->PassWordEdit->setText(QStringLiteral("pw"));
    QTest::mouseClick(login->OKSpeedButton, Qt::LeftButton);
    ASSERT_TRUE(KVR_MainForm);
    EXPECT_TRUE(KVR_MainForm->TransferTB->isEnabled());
    EXPECT_TRUE(KVR_MainForm->UserTB->isEnabled());
}

}  // namespace
}  // namespace tarvelo::test

namespace tarvelo::test {
namespace {

TEST_F(Accounts, PasswordWindowsShareTheLatestLookupAndKeepAFailedWritePending) {
    service.exec("INSERT INTO KVR_USERH (USERID,PASSWORD,EMAIL,SYSBZ,DATABZ) VALUES ('bob','" +
                 service.enVerifs(TIISdmPtr::PasswordSource("bob-pw")) + "','b@x','0','00')");
    login->UserIDEdit->setText(QStringLiteral("amy"));
    QTest::mouseClick(login->MMSpeedButton, Qt::LeftButton);
    TFrm_EditMM* forAmy = Frm_EditMM;
    login->UserIDEdit->setText(QStringLiteral("bob"));
    QTest::mouseClick(login->SetMMSpeedButton, Qt::LeftButton);
    // The change window opened for amy now works on bob's row, the latest lookup.
    forAmy->MaskEdit1->setText(QStringLiteral("bob-pw"));
    forAmy->MaskEdit2->setText(QStringLiteral("n1"));
    forAmy->MaskEdit3->setText(QStringLiteral("n1"));
    // The write side is down: the new stored form stays pending in the row.
    IISdmPtr->ApplyHTTPRIO.setUrl("http://127.0.0.1:1/soap/x");
    ui.clear();
    QTest::mouseClick(forAmy->BitBtn1, Qt::LeftButton);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].rfind("7-第二服务器\n", 0), 0u) << ui.messages()[0];
    EXPECT_EQ(login->CdsTmp.changeCount(), 1u);
    // So the next change in the window accepts the new password as the old one.
    forAmy->MaskEdit1->setText(QStringLiteral("n1"));
    forAmy->MaskEdit2->setText(QStringLiteral("n2"));
    forAmy->MaskEdit3->setText(QStringLiteral("n2"));
    ui.clear();
    QTest::mouseClick(forAmy->BitBtn1, Qt::LeftButton);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].rfind("7-第二服务器\n", 0), 0u) << ui.messages()[0];
    EXPECT_EQ(service.scalar("select PASSWORD from KVR_USERH where USERID='bob'"),
              service.enVerifs(TIISdmPtr::PasswordSource("bob-pw")));
}

}  // namespace
}  // namespace tarvelo::test

namespace tarvelo::test {
namespace {

TEST_F(Accounts, EnterMovesThroughTheBoxes) {
    TFrm_Register* w = registration();
    w->raise();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    const struct {
        QWidget* from;
        QWidget* to;
    } moves[] = {
        {w->UserIDEdit, w->PassWordEdit},
        {w->PassWordEdit, w->VerifyEdit},
        {w->VerifyEdit, w->TelEdit},
        {w->TelEdit, w->QQEdit},
        {w->QQEdit, w->BitBtn1},
        {w->EmailEdit, w->BitBtn1},
        {w->UserNameEdit, w->UserNameEdit},  // the name box: nothing
    };
    // (A box passed its Enter on to the window, which then took the focus to the first box:
    // found by this test.)
    for (const auto& m : moves) {
        m.from->setFocus();
        QTest::keyClick(m.from, Qt::Key_Return);
        EXPECT_EQ(QApplication::focusWidget(), m.to);
    }
    // The password windows: Enter in the new-password box does nothing; in the confirmation it
    // moves to "确定".
    w->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == login; }));
    login->UserIDEdit->setText(QStringLiteral("amy"));
    QTest::mouseClick(login->MMSpeedButton, Qt::LeftButton);
    TFrm_EditMM* change = Frm_EditMM;
    change->raise();
    change->activateWindow();
    // (A window counts as active while the window that owns it is: wait for the change itself.)
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == change; }));
    for (const auto& [from, to] :
         {std::pair<QWidget*, QWidget*>{change->MaskEdit1, change->MaskEdit2},
          {change->MaskEdit2, change->MaskEdit2},
          {change->MaskEdit3, change->BitBtn1}}) {
        from->setFocus();
        QTest::keyClick(from, Qt::Key_Return);
        EXPECT_EQ(QApplication::focusWidget(), to);
    }
}

}  // namespace
}  // namespace tarvelo::test

namespace tarvelo::test {
namespace {

// Shows `w` as the active window, with the keyboard focus in it.
bool activate(QWidget* w) {
    w->show();
    w->raise();
    w->activateWindow();
    return QTest::qWaitForWindowActive(w) && QTest::qWaitFor([w] {
               return QApplication::focusWidget() && QApplication::focusWidget()->window() == w;
           });
}

// A user without a mouse finishes each window: types into the boxes, moves on with Enter or Tab
// as the window leads, and presses "确定" with Enter, which writes the row; Enter on "放弃" then
// closes the window. (Enter on a focused button used to reach the window, which took the focus
// back into a box and wrote nothing.)
TEST_F(Accounts, TheKeyboardAloneFinishesEachWindow) {
    struct Step {
        const char* typed;  // kMailedCode: the code the service mailed
        Qt::Key key;
        QWidget* focusAfter;
    };
    static constexpr const char* kMailedCode = "<the mailed code>";
    struct Script {
        QWidget* window;  // the one just opened
        std::vector<Step> steps;
    };
    const struct {
        QToolButton* opener;
        std::function<Script()> script;
        const char* check;   // what the write stored ...
        std::string stored;  // ... and its value
        std::vector<std::string> said = {"操作成功。"};
    } windows[] = {
        {login->RegSpeedButton,
         [] {
             TFrm_Register* w = Frm_Register;  // "确定" holds the focus at first
             return Script{w,
                           {{"", Qt::Key_Tab, w->BitBtn2},
                            {"", Qt::Key_Tab, w->UserIDEdit},
                            {"kay", Qt::Key_Return, w->PassWordEdit},
                            {"pw-9", Qt::Key_Return, w->VerifyEdit},
                            {"pw-9", Qt::Key_Return, w->TelEdit},
                            {"138", Qt::Key_Return, w->QQEdit},
                            {"", Qt::Key_Tab, w->UserNameEdit},
                            {"Kay", Qt::Key_Tab, w->EmailEdit},
                            {"k@x.cn", Qt::Key_Return, w->BitBtn1},
                            {"", Qt::Key_Return, w->BitBtn1}}};
         },
         "select USERNAME||'|'||TEL||'|'||EMAIL from KVR_USERH where USERID='kay'",
         "Kay|138|k@x.cn"},
        {login->MMSpeedButton,
         [] {
             TFrm_EditMM* w = Frm_EditMM;
             return Script{w,
                           {{"old-1", Qt::Key_Return, w->MaskEdit2},
                            {"new-2", Qt::Key_Return, w->MaskEdit2},  // stays
                            {"", Qt::Key_Tab, w->MaskEdit3},
                            {"new-2", Qt::Key_Return, w->BitBtn1},
                            {"", Qt::Key_Return, w->BitBtn1}}};
         },
         "select PASSWORD from KVR_USERH where USERID='amy'",
         service.enVerifs(TIISdmPtr::PasswordSource("new-2"))},
        {login->SetMMSpeedButton,
         [] {
             TFrm_SetMM* w = Frm_SetMM;
             return Script{w,
                           {{"Amy@example.com", Qt::Key_Return, w->MaskEdit2},
                            {"reset-3", Qt::Key_Tab, w->MaskEdit3},
                            {"reset-3", Qt::Key_Tab, w->CodeEdit},
                            {"", Qt::Key_Tab, w->BitBtn1},
                            {"", Qt::Key_Return, w->CodeEdit},  // the code is mailed
                            {kMailedCode, Qt::Key_Return, w->BitBtn1},
                            {"", Qt::Key_Return, w->BitBtn1}}};
         },
         "select PASSWORD from KVR_USERH where USERID='amy'",
         service.enVerifs(TIISdmPtr::PasswordSource("reset-3")),
         {"验证码已发送到该邮箱，请查收邮件，把验证码填入“验证码”框后再按“确定”。", "操作成功。"}},
    };
    for (const auto& window : windows) {
        const std::string name = window.opener->text().toStdString();
        login->UserIDEdit->setText(QStringLiteral("amy"));
        QTest::mouseClick(window.opener, Qt::LeftButton);
        const Script script = window.script();
        QWidget* w = script.window;
        ASSERT_TRUE(w && activate(w)) << name;
        ui.clear();
        for (const Step& step : script.steps) {
            QWidget* at = QApplication::focusWidget();
            ASSERT_NE(at, nullptr) << name;
            const QString typed = step.typed == kMailedCode ? QString::fromStdString(mailedCode())
                                                            : QString::fromUtf8(step.typed);
            if (!typed.isEmpty()) QTest::keyClicks(at, typed);
            QTest::keyClick(at, step.key);
            EXPECT_EQ(QApplication::focusWidget(), step.focusAfter) << name << ": " << step.typed;
        }
        EXPECT_EQ(ui.messages(), window.said) << name;
        const auto sent = service.statements();
        EXPECT_EQ(sent.empty() ? "nothing" : sent.back().first, "ApplyVanDataBySQLupKeyChangedExc1")
            << name;
        EXPECT_EQ(service.scalar(window.check), window.stored) << name;
        // Enter on "放弃" closes the window, writing nothing.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_TRUE(w->isHidden()) << name;
        EXPECT_EQ(service.statements().size(), sent.size()) << name;
        w->hide();  // should it have stayed open, it would take the next window's keys
        login->show();
    }
}

// The reset window for amy, active, and what its "确定" sends and says.
class Reset : public Accounts {
protected:
    void SetUp() override {
        Accounts::SetUp();
        login->UserIDEdit->setText(QStringLiteral("amy"));
        QTest::mouseClick(login->SetMMSpeedButton, Qt::LeftButton);
        w = Frm_SetMM;
        ASSERT_TRUE(w && activate(w));
    }
    // The statement of the request (no code) or of the proof: the account of the lookup with
    // the address typed, and the code.
    static std::string asked(const std::string& email, const std::string& code = {}) {
        return "Select USERID From KVR_USERH  \r\nWhere USERID='amy' and EMAIL='" + email +
               "'  \r\n" + (code.empty() ? "" : "and 'RESETCODE'='" + code + "'  \r\n");
    }
    struct Press {
        QString email, password, again, code;
        std::string said;
        QLineEdit* focus;
        std::string sent;  // the statement that went out; "" for none
    };
    void press(const Press& p) {
        SCOPED_TRACE(p.said);
        w->MaskEdit1->setText(p.email);
        w->MaskEdit2->setText(p.password);
        w->MaskEdit3->setText(p.again);
        w->CodeEdit->setText(p.code);
        const std::size_t before = service.statements().size();
        ui.clear();
        QTest::mouseClick(w->BitBtn1, Qt::LeftButton);
        EXPECT_EQ(ui.messages(), std::vector<std::string>{p.said});
        EXPECT_EQ(QApplication::focusWidget(), p.focus);
        const auto statements = service.statements();
        EXPECT_EQ(statements.size(), before + (p.sent.empty() ? 0 : 1));
        if (!p.sent.empty() && statements.size() > before) {
            EXPECT_EQ(statements.back(),
                      (std::pair<std::string, std::string>{"SpplyVanDataBySQL", p.sent}));
        }
    }

    const std::string codeSent =
        "验证码已发送到该邮箱，请查收邮件，把验证码填入“验证码”框后再按“确定”。";
    const QString email = QStringLiteral("Amy@example.com");
    TFrm_SetMM* w = nullptr;
};

// "确定" without a code asks the service to mail one; it does when the address typed is the
// account's, to the letter. The window has grown a row for the code's box, which takes six
// digits from the keyboard and nothing else.
TEST_F(Reset, ACodeIsMailedOnlyToTheAccountsAddress) {
    EXPECT_EQ(w->size(), QSize(523, 268));
    QTest::keyClicks(w->CodeEdit, QStringLiteral("12a3-45678"));
    EXPECT_EQ(w->CodeEdit->text(), QStringLiteral("123456"));
    press({"", "r", "r", "", "请输入邮箱", w->MaskEdit1, ""});
    press({"amy'@example.com", "", "", "", "该用户名和邮箱不匹配,请重新输入", w->MaskEdit1,
           asked("amy''@example.com")});
    EXPECT_EQ(service.mail(), "");

    // A request that cannot reach the service says why.
    const std::string readSide = IISdmPtr->SpplyHTTPRIO.url();
    const std::string down = "127.0.0.1:" + std::to_string(closedPort());
    IISdmPtr->SpplyHTTPRIO.setUrl("http://" + down + "/soap/IVRDS_IIS_WebSCoorSpplyIsapi");
    w->MaskEdit1->setText(email);
    w->CodeEdit->clear();
    ui.clear();
    QTest::mouseClick(w->BitBtn1, Qt::LeftButton);
    ASSERT_EQ(ui.events().size(), 1u);
    EXPECT_EQ(ui.events()[0].kind, ScriptedPlatform::Event::ErrorBox);
    EXPECT_TRUE(ui.events()[0].text.starts_with("无法连接数据服务（" + down + "）：连接被拒绝。"))
        << ui.events()[0].text;
    IISdmPtr->SpplyHTTPRIO.setUrl(readSide);
    EXPECT_EQ(service.mail(), "");

    press({email, "", "", "", codeSent, w->CodeEdit, asked("Amy@example.com")});
    const std::string code = mailedCode();
    EXPECT_EQ(code.size(), 6u) << service.mail();
    EXPECT_EQ(code.find_first_not_of("0123456789"), std::string::npos) << code;
    EXPECT_NE(service.mail().find("Amy@example.com"), std::string::npos) << service.mail();
}

// With the code the window checks its boxes, then sends the code; a wrong one empties the
// code's box and writes nothing, the mailed one lets the new password be written.
TEST_F(Reset, TheMailedCodeLetsTheNewPasswordBeWritten) {
    press({email, "", "", "", codeSent, w->CodeEdit, asked("Amy@example.com")});
    const std::string code = mailedCode();
    ASSERT_EQ(code.size(), 6u) << service.mail();
    const QString typed = QString::fromStdString(code);
    for (const Press& p : {
             Press{email, "r", "r", "12345", "请输入邮件中的 6 位验证码。", w->CodeEdit, ""},
             Press{email, "", "r", typed, "请输入新密码", w->MaskEdit2, ""},
             Press{email, "r", "", typed, "请确认新密码", w->MaskEdit3, ""},
             Press{email, "r", "R", typed, "两次输入的密码不匹配,请重新输入", w->MaskEdit2, ""},
         })
        press(p);
    std::string wrong = code;
    wrong[5] = static_cast<char>('0' + (wrong[5] - '0' + 1) % 10);
    const std::string stored = service.scalar("select PASSWORD from KVR_USERH where USERID='amy'");
    press({email, "reset-3", "reset-3", QString::fromStdString(wrong),
           "验证码不正确或已过期，请重新获取。", w->CodeEdit, asked("Amy@example.com", wrong)});
    EXPECT_EQ(w->CodeEdit->text(), QString());
    EXPECT_EQ(service.scalar("select PASSWORD from KVR_USERH where USERID='amy'"), stored);

    // The code stays good for another try.
    QTest::keyClicks(w->CodeEdit, typed);
    QDir().mkpath(QDir::currentPath() + QStringLiteral("/screenshots"));
    EXPECT_TRUE(w->grab().save(QDir::currentPath() + QStringLiteral("/screenshots/setmm.png")));
    EXPECT_EQ(missingGlyphs(w), "");
    ui.clear();
    QTest::mouseClick(w->BitBtn1, Qt::LeftButton);
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"操作成功。"});
    const auto statements = service.statements();
    ASSERT_GE(statements.size(), 2u);
    EXPECT_EQ(statements[statements.size() - 2].second, asked("Amy@example.com", code));
    EXPECT_EQ(statements.back().first, "ApplyVanDataBySQLupKeyChangedExc1");
    EXPECT_TRUE(signsIn(QStringLiteral("amy"), QStringLiteral("reset-3")));
    EXPECT_FALSE(signsIn(QStringLiteral("amy"), QStringLiteral("old-1")));
}

// Escape closes the about box and the account windows, whichever part of them has the focus,
// and Enter on the about box's "确定" closes it too. Escape leaves the login window alone:
// closing it would end the program.
TEST_F(Accounts, EscapeClosesTheAboutBoxAndTheAccountWindowsButNotTheLogin) {
    const auto opened = [&](QToolButton* opener, auto& window) {
        login->UserIDEdit->setText(QStringLiteral("amy"));
        QTest::mouseClick(opener, Qt::LeftButton);
        return static_cast<QWidget*>(window.data());
    };
    const struct {
        const char* name;
        std::function<QWidget*()> open;
        std::function<QWidget*(QWidget*)> focus;  // in the window opened
        Qt::Key key;
        bool closes;
    } cases[] = {
        {"about box, 确定, Escape", [&] { return opened(login->HelpSpeedButton, AboutBox); },
         [](QWidget* w) { return static_cast<TAboutBox*>(w)->OKButton; }, Qt::Key_Escape, true},
        {"about box, 确定, Enter", [&] { return opened(login->HelpSpeedButton, AboutBox); },
         [](QWidget* w) { return static_cast<TAboutBox*>(w)->OKButton; }, Qt::Key_Return, true},
        {"registration, a box", [&] { return opened(login->RegSpeedButton, Frm_Register); },
         [](QWidget* w) { return static_cast<TFrm_Register*>(w)->UserIDEdit; }, Qt::Key_Escape,
         true},
        {"registration, 确定", [&] { return opened(login->RegSpeedButton, Frm_Register); },
         [](QWidget* w) { return static_cast<TFrm_Register*>(w)->BitBtn1; }, Qt::Key_Escape, true},
        {"password change, a box", [&] { return opened(login->MMSpeedButton, Frm_EditMM); },
         [](QWidget* w) { return static_cast<TFrm_EditMM*>(w)->MaskEdit2; }, Qt::Key_Escape, true},
        {"password reset, 放弃", [&] { return opened(login->SetMMSpeedButton, Frm_SetMM); },
         [](QWidget* w) { return static_cast<TFrm_SetMM*>(w)->BitBtn2; }, Qt::Key_Escape, true},
        {"administration, the grid", [&] { return new TFrm_ProcGrant(login); },
         [](QWidget* w) { return static_cast<TFrm_ProcGrant*>(w)->DBGrid1; }, Qt::Key_Escape, true},
        {"administration, 保存", [&] { return new TFrm_ProcGrant(login); },
         [](QWidget* w) { return static_cast<TFrm_ProcGrant*>(w)->SaveTB; }, Qt::Key_Escape, true},
        {"login", [&] { return login; }, [&](QWidget*) { return login->UserIDEdit; },
         Qt::Key_Escape, false},
    };
    for (const auto& c : cases) {
        QWidget* w = c.open();
        ASSERT_TRUE(w && activate(w)) << c.name;
        c.focus(w)->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == c.focus(w); }))
            << c.name;
        ui.clear();
        QTest::keyClick(QApplication::focusWidget(), c.key);
        EXPECT_EQ(w->isHidden(), c.closes) << c.name;
        EXPECT_TRUE(ui.messages().empty()) << c.name;
        if (c.closes) {
            // The keyboard goes back to the login window, with or without a window manager.
            EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == login; }))
                << c.name;
        }
        if (w != login) w->hide();  // what stayed open would take the next window's keys
        login->show();
    }
}

// Flipped rows are drawn in amber (deeper when selected) until saved or flipped back; closing
// the window with flips asks whether to save them, by " 关闭 ", Escape or the close box alike.
TEST_F(Accounts, UnsavedFlipsAreMarkedAndAskedAboutOnClose) {
    service.exec(
        "INSERT INTO KVR_USERH (USERID,USERNAME,PASSWORD,SYSBZ,DATABZ) VALUES "
        "('bob','鲍勃','x','0','02'),('cat','凯特','x','0','00')");
    signInAsManager();
    auto* w = new TFrm_ProcGrant(login);
    ASSERT_TRUE(activate(w));
    const auto click = [&](int row, int column) {
        QTest::mouseClick(w->DBGrid1->viewport(), Qt::LeftButton, {},
                          w->DBGrid1->visualRect(w->DBGrid1->model()->index(row, column)).center());
    };
    // The ground of a row, beside the centred tick of its "更新数据权限" cell.
    const auto ground = [&](int row) {
        const QRect cell = w->DBGrid1->visualRect(w->DBGrid1->model()->index(row, 3));
        const QImage shown = w->DBGrid1->viewport()->grab().toImage();
        const qreal scale = shown.devicePixelRatio();
        return shown.pixelColor(QPoint(cell.left() + 4, cell.center().y()) * scale);
    };
    // The style may shade a selection a little; another colour is far off.
    const auto near = [](const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                   std::abs(a.blue() - b.blue()) <=
               40;
    };
    const QColor stored = ground(2);
    EXPECT_FALSE(near(stored, UnsavedRowDelegate::kUnsaved));
    click(0, 4);  // amy: user management granted
    click(1, 0);  // bob's name: the selection moves, nothing flips
    EXPECT_TRUE(near(ground(0), UnsavedRowDelegate::kUnsaved));
    const QColor selected = ground(1);
    EXPECT_FALSE(near(selected, UnsavedRowDelegate::kUnsavedSelected));
    click(1, 3);  // bob: data update granted, his row still selected
    EXPECT_TRUE(near(ground(1), UnsavedRowDelegate::kUnsavedSelected));
    EXPECT_EQ(ground(2), stored);
    QDir().mkpath(QDir::currentPath() + QStringLiteral("/screenshots"));
    w->grab().save(QDir::currentPath() + QStringLiteral("/screenshots/procgrant-unsaved.png"));
    click(0, 4);  // amy back as stored: nothing of hers to save, a selected row as any other
    EXPECT_TRUE(near(ground(0), selected));

    // Closing, with bob's flip pending: the answer decides.
    const std::string question = "角色已修改，尚未保存。要保存吗？";
    const std::string writeSide = IISdmPtr->ApplyHTTPRIO.url();
    using Answer = Platform::SaveAnswer;
    const struct {
        const char* name;
        std::function<void()> close;
        Answer answer;
        bool writeDown;
        bool closes;
        const char* after;    // the message that follows the question, as it begins; "" for none
        std::size_t pending;  // flips left in the window
        const char* bob;      // his stored roles afterwards
    } cases[] = {
        {"close box, 取消", [&] { w->windowHandle()->close(); }, Answer::Cancel, false, false, "",
         1, "02"},
        {"Escape, 保存 failing", [&] { QTest::keyClick(w->DBGrid1, Qt::Key_Escape); }, Answer::Save,
         true, false, "7-第二服务器\n", 1, "02"},
        {"关闭, 不保存", [&] { QTest::mouseClick(w->ExitTB, Qt::LeftButton); }, Answer::Discard,
         false, true, "", 0, "02"},
        {"Escape, 保存", [&] { QTest::keyClick(w->DBGrid1, Qt::Key_Escape); }, Answer::Save, false,
         true, "操作成功。", 0, "12"},
    };
    for (const auto& c : cases) {
        if (w->isHidden()) {  // a fresh window, with bob's flip again
            w = new TFrm_ProcGrant(login);
            ASSERT_TRUE(activate(w)) << c.name;
            click(1, 3);
        }
        ASSERT_EQ(w->Cds_UserH.changeCount(), 1u) << c.name;
        IISdmPtr->ApplyHTTPRIO.setUrl(c.writeDown ? "http://127.0.0.1:1/soap/x" : writeSide);
        const std::size_t sent = service.statements().size();
        ui.clear();
        ui.answerAskToSave(c.answer);
        c.close();
        const auto& events = ui.events();
        const ScriptedPlatform::Event asked{ScriptedPlatform::Event::AskToSave, question};
        EXPECT_TRUE(!events.empty() && events[0] == asked) << c.name;
        const std::vector<std::string> told = ui.messages();
        EXPECT_EQ(told.size(), *c.after ? 2u : 1u) << c.name;
        if (*c.after && told.size() == 2) {
            EXPECT_EQ(told[1].rfind(c.after, 0), 0u) << c.name << ": " << told[1];
        }
        EXPECT_EQ(w->isHidden(), c.closes) << c.name;
        EXPECT_EQ(w->Cds_UserH.changeCount(), c.pending) << c.name;
        EXPECT_EQ(service.scalar("select DATABZ from KVR_USERH where USERID='bob'"), c.bob)
            << c.name;
        if (c.answer != Answer::Save) {
            EXPECT_EQ(service.statements().size(), sent) << c.name;
        }
    }
    IISdmPtr->ApplyHTTPRIO.setUrl(writeSide);
    // " 保存 " takes the colour off, and then there is nothing to ask about.
    w = new TFrm_ProcGrant(login);
    ASSERT_TRUE(activate(w));
    click(2, 3);
    click(0, 0);
    EXPECT_TRUE(near(ground(2), UnsavedRowDelegate::kUnsaved));
    ui.clear();
    QTest::mouseClick(w->SaveTB, Qt::LeftButton);
    EXPECT_EQ(ground(2), stored);
    QTest::mouseClick(w->ExitTB, Qt::LeftButton);
    EXPECT_TRUE(w->isHidden());
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"操作成功。"});
}

// The service fails under the administration window. A save that cannot reach the write side
// says why and keeps the flips pending, and the next save sends them; a refresh whose list cannot
// be loaded says why and leaves the list closed and empty, its dropped flips unsent.
TEST_F(Accounts, AFailedSaveOrRefreshSaysWhyAndKeepsWhatTheServiceHolds) {
    service.exec(
        "INSERT INTO KVR_USERH (USERID,USERNAME,PASSWORD,SYSBZ,DATABZ) VALUES "
        "('bob','鲍勃','x','0','02')");
    signInAsManager();
    auto* w = new TFrm_ProcGrant(login);
    const auto flipBobsDataUpdate = [&] {
        QTest::mouseClick(w->DBGrid1->viewport(), Qt::LeftButton, {},
                          w->DBGrid1->visualRect(w->DBGrid1->model()->index(1, 3)).center());
    };
    const auto bob = [&] {
        return service.scalar("select DATABZ from KVR_USERH where USERID='bob'");
    };
    const std::string down = "127.0.0.1:" + std::to_string(closedPort());
    const std::string refused = "无法连接数据服务（" + down + "）：连接被拒绝。";

    flipBobsDataUpdate();
    const std::string writeSide = IISdmPtr->ApplyHTTPRIO.url();
    IISdmPtr->ApplyHTTPRIO.setUrl("http://" + down + "/soap/IVRDS_IIS_WebSCoorApplyIsapi");
    std::size_t sent = service.statements().size();
    ui.clear();
    QTest::mouseClick(w->SaveTB, Qt::LeftButton);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].rfind("7-第二服务器\n" + refused, 0), 0u) << ui.messages()[0];
    EXPECT_EQ(ui.cursor(), Cursor::Default);
    EXPECT_EQ(w->Cds_UserH.changeCount(), 1u);
    EXPECT_EQ(service.statements().size(), sent);
    EXPECT_EQ(bob(), "02");
    IISdmPtr->ApplyHTTPRIO.setUrl(writeSide);
    ui.clear();
    QTest::mouseClick(w->SaveTB, Qt::LeftButton);
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"操作成功。"});
    EXPECT_EQ(bob(), "12");

    flipBobsDataUpdate();  // pending again, to be dropped by the refresh
    IISdmPtr->SpplyHTTPRIO.setUrl("http://" + down + "/soap/IVRDS_IIS_WebSCoorSpplyIsapi");
    sent = service.statements().size();
    ui.clear();
    QTest::mouseClick(w->RefreshTB, Qt::LeftButton);
    ASSERT_EQ(ui.events().size(), 1u);
    EXPECT_EQ(ui.events()[0].kind, ScriptedPlatform::Event::ErrorBox);
    EXPECT_EQ(ui.events()[0].text.rfind(refused, 0), 0u) << ui.events()[0].text;
    EXPECT_EQ(ui.cursor(), Cursor::Default);
    EXPECT_FALSE(w->Cds_UserH.active());
    EXPECT_EQ(w->DBGrid1->model()->rowCount(), 0);
    EXPECT_EQ(service.statements().size(), sent);
    EXPECT_EQ(bob(), "12");
}

// Closing the main window, which ends the program, asks about an administration window's
// unsaved flips first; 取消 keeps both windows open and the session registered.
TEST_F(Accounts, ClosingTheMainWindowAsksAboutUnsavedFlips) {
    service.exec(
        "INSERT INTO KVR_USERH (USERID,USERNAME,PASSWORD,SYSBZ,DATABZ) VALUES "
        "('bob','鲍勃','x','0','02')");
    signInAsManager();
    auto* main = new TKVR_MainForm(login);
    KVR_MainForm = main;
    main->USERID = "amy";
    main->DATABZ = "11";
    ASSERT_TRUE(activate(main));
    main->PageControl1->setCurrentWidget(main->TS_Admin);
    QTest::mouseClick(main->UserTB, Qt::LeftButton);
    ASSERT_TRUE(Frm_ProcGrant);
    TFrm_ProcGrant* w = Frm_ProcGrant;
    ASSERT_TRUE(activate(w));
    QTest::mouseClick(w->DBGrid1->viewport(), Qt::LeftButton, {},
                      w->DBGrid1->visualRect(w->DBGrid1->model()->index(1, 3)).center());
    ASSERT_EQ(w->Cds_UserH.changeCount(), 1u);

    const std::size_t sent = service.statements().size();
    ui.clear();
    ui.answerAskToSave(Platform::SaveAnswer::Cancel);
    QTest::mouseClick(main->wwwSpeedButton, Qt::LeftButton);
    EXPECT_EQ(ui.events().size(), 1u);
    EXPECT_TRUE(main->isVisible() && w->isVisible());
    EXPECT_EQ(service.statements().size(), sent) << "no session release";

    ui.answerAskToSave(Platform::SaveAnswer::Save);
    QTest::mouseClick(main->SpeedButton2, Qt::LeftButton);
    EXPECT_EQ(service.scalar("select DATABZ from KVR_USERH where USERID='bob'"), "12");
    EXPECT_FALSE(KVR_MainForm);
    EXPECT_EQ(service.statements().back().second,
              " DELETE FROM KVR_LOGIN  \r\n WHERE USERID='amy'\r\n");
}

// Minimising a window and restoring it keeps what was typed and the box the user was typing in;
// only the window's being shown again empties its boxes. The restore reaches the window as a
// spontaneous show, which is counted to make sure the restore was really seen.
TEST_F(Accounts, RestoringAMinimisedWindowKeepsWhatWasTyped) {
    const struct {
        QToolButton* opener;
        std::function<std::pair<QWidget*, std::vector<QLineEdit*>>()> opened;
    } windows[] = {
        {login->RegSpeedButton,
         [] {
             TFrm_Register* w = Frm_Register;
             return std::pair<QWidget*, std::vector<QLineEdit*>>{
                 w, {w->UserIDEdit, w->PassWordEdit, w->VerifyEdit, w->TelEdit, w->QQEdit}};
         }},
        {login->MMSpeedButton,
         [] {
             TFrm_EditMM* w = Frm_EditMM;
             return std::pair<QWidget*, std::vector<QLineEdit*>>{
                 w, {w->MaskEdit1, w->MaskEdit2, w->MaskEdit3}};
         }},
        {login->SetMMSpeedButton,
         [] {
             TFrm_SetMM* w = Frm_SetMM;
             return std::pair<QWidget*, std::vector<QLineEdit*>>{
                 w, {w->MaskEdit1, w->MaskEdit2, w->MaskEdit3, w->CodeEdit}};
         }},
    };
    struct ShowCounter : QObject {
        int spontaneous = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Show && event->spontaneous()) ++spontaneous;
            return false;
        }
    };
    for (const auto& window : windows) {
        const std::string name = window.opener->text().toStdString();
        login->UserIDEdit->setText(QStringLiteral("amy"));
        QTest::mouseClick(window.opener, Qt::LeftButton);
        const auto [w, boxes] = window.opened();
        ASSERT_TRUE(w && activate(w)) << name;
        // Six digits, which every box takes (the reset's code box nothing else).
        const auto typed = [](std::size_t i) { return QString::number(100000 + 11111 * i); };
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            QTest::mouseClick(boxes[i], Qt::LeftButton);
            QTest::keyClicks(boxes[i], typed(i));
        }
        ShowCounter shows;
        w->installEventFilter(&shows);
        w->showMinimized();
        ASSERT_TRUE(QTest::qWaitFor([w] { return w->isMinimized(); })) << name;
        w->showNormal();
        ASSERT_TRUE(QTest::qWaitFor([w] { return !w->isMinimized(); })) << name;
        QCoreApplication::processEvents();
        ASSERT_GE(shows.spontaneous, 1) << name << ": no restore came";
        for (std::size_t i = 0; i < boxes.size(); ++i)
            EXPECT_EQ(boxes[i]->text().toStdString(), typed(i).toStdString())
                << name << ": box " << i;
        EXPECT_EQ(w->focusWidget(), boxes.back()) << name;
        // Shown again, the window starts afresh.
        w->hide();
        w->show();
        for (std::size_t i = 0; i < boxes.size(); ++i)
            EXPECT_TRUE(boxes[i]->text().isEmpty()) << name << ": box " << i;
        w->removeEventFilter(&shows);
        w->close();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == login; }) ||
                    activate(login));
    }
}

}  // namespace
}  // namespace tarvelo::test
