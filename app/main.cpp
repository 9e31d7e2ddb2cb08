// The desktop client: the windows are created in their order and the message loop runs until
// the login window closes. An error that escapes start-up is shown in the standard error box.
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QTimer>

#include "app/ActionGuard.h"
#include "app/Application.h"
#include "app/ChineseLocale.h"
#include "app/Fonts.h"
#include "app/Globals.h"
#include "app/StartUp.h"
#include "platform/QtPlatform.h"
#include "signin/Login.h"
#include "text/Error.h"
#include "widgets/OwnerActivation.h"
#include "widgets/QtCallWaiter.h"

int main(int argc, char** argv) {
    using namespace tarvelo;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvelo"));
    QApplication::setQuitOnLastWindowClosed(false);  // the login window's close ends the program
    installChineseFonts();
    installChineseLocale();
    QtPlatform qtPlatform;
    app().platform = &qtPlatform;
    QtCallWaiter waiter;
    OwnerActivation ownerActivation;
    QApplication::instance()->installEventFilter(&ownerActivation);
    app().waiter = &waiter;
    app().terminate = [] { QCoreApplication::quit(); };
    int status = 0;
    try {
        std::vector<std::string> args;
        for (const QString& a : QCoreApplication::arguments().mid(1))
            args.push_back(a.toStdString());
        app().config = ServiceConfig::load(
            args,
            ServiceConfig::standardFiles(QCoreApplication::applicationDirPath().toStdString()));
        createWindows();
        Tarvelo->show();
        // The keyboard goes to the login window at once, also where no window manager would
        // give it the focus.
        Tarvelo->activateWindow();
        status = QApplication::exec();
    } catch (const std::exception& e) {
        qtPlatform.errorBox(failureText(e));
        status = 1;
    }
    destroyWindows();
    return status;
}
