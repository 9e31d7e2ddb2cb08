// The entry of the window tests: a QApplication on the offscreen platform (unless a display is
// asked for), the Chinese fonts and Qt texts the program uses, then every test.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdio>

#include "app/ChineseLocale.h"
#include "app/Application.h"
#include "app/Fonts.h"
#include "widgets/QtCallWaiter.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    tarvelo::installChineseFonts();
    if (!tarvelo::installChineseLocale()) {
        std::fprintf(stderr, "Qt's Chinese translation is missing: run scripts/setup\n");
        return 1;
    }
    // Service calls wait as they do in the program: off the GUI thread, input held back.
    tarvelo::QtCallWaiter waiter;
    tarvelo::app().waiter = &waiter;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
