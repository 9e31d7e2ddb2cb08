// The entry of the window tests: a QApplication on the offscreen platform (unless a display is
// asked for), the Chinese fonts the program maps, then every test.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/Fonts.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    tarvelo::installChineseFonts();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
