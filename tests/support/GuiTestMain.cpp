// The entry of the window tests: a QApplication on the offscreen platform (unless another
// platform, a display, is asked for), the Chinese fonts and Qt texts the program uses, then
// every test.
//
// The offscreen screen is 1920 x 1080 unless TARVELO_TEST_SCREEN says otherwise:
// "1280x800@1.5" is a screen of 1280 x 800 device pixels with the program scaled by 1.5, as
// QT_SCALE_FACTOR scales it (the factor must be known before the application exists);
// "1920x1080,1280x800" are two screens side by side, the first one the primary screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <cstdio>
#include <memory>

#include "app/Application.h"
#include "app/ChineseLocale.h"
#include "app/Fonts.h"
#include "widgets/OwnerActivation.h"
#include "widgets/QtCallWaiter.h"

namespace {

// The platform's screen configuration for TARVELO_TEST_SCREEN; null when it is malformed.
std::unique_ptr<QTemporaryFile> offscreenScreen(const QByteArray& layout) {
    static const QRegularExpression form(
        QStringLiteral(R"(^(\d+x\d+(?:,\d+x\d+)*)(?:@([0-9]+(?:\.[0-9]+)?))?$)"));
    const QRegularExpressionMatch m = form.match(QString::fromLatin1(layout));
    if (!m.hasMatch()) return nullptr;
    QStringList screens;
    int x = 0;
    for (const QString& size : m.captured(1).split(QLatin1Char(','))) {
        const int width = size.section(QLatin1Char('x'), 0, 0).toInt();
        const int height = size.section(QLatin1Char('x'), 1, 1).toInt();
        screens << QStringLiteral(R"({"name": "screen%1", "x": %2, "y": 0, "width": %3, )"
                                  R"("height": %4})")
                       .arg(screens.size() + 1)
                       .arg(x)
                       .arg(width)
                       .arg(height);
        x += width;
    }
    auto file = std::make_unique<QTemporaryFile>();
    if (!file->open()) return nullptr;
    file->write((QStringLiteral(R"({"screens": [)") + screens.join(QStringLiteral(", ")) +
                 QStringLiteral("]}"))
                    .toUtf8());
    file->flush();
    if (!m.captured(2).isEmpty()) qputenv("QT_SCALE_FACTOR", m.captured(2).toLatin1());
    return file;
}

}  // namespace

// Clears what the client remembers before each test: its settings and its data folder (the
// kept auto-login cookies).
class ForgetSettings : public ::testing::EmptyTestEventListener {
public:
    explicit ForgetSettings(QString dataRoot) : m_dataRoot(std::move(dataRoot)) {}

private:
    void OnTestStart(const ::testing::TestInfo&) override {
        QSettings(QStringLiteral("Tarvelo"), QStringLiteral("tarvelo")).clear();
        // Only ever a folder of this run.
        const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        if (data.startsWith(m_dataRoot + QLatin1Char('/'))) QDir(data).removeRecursively();
    }
    QString m_dataRoot;
};

int main(int argc, char** argv) {
    std::unique_ptr<QTemporaryFile> screens;
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        const QByteArray layout = qEnvironmentVariableIsEmpty("TARVELO_TEST_SCREEN")
                                      ? QByteArray("1920x1080")
                                      : qgetenv("TARVELO_TEST_SCREEN");
        screens = offscreenScreen(layout);
        if (!screens) {
            std::fprintf(stderr, "TARVELO_TEST_SCREEN must read like 1280x800@1.5, not %s\n",
                         layout.constData());
            return 1;
        }
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens->fileName().toLocal8Bit());
    }
    // The program's data folder (QStandardPaths::AppDataLocation) is one of this run too, never
    // the user's own.
    const QTemporaryDir dataDir;
    if (!dataDir.isValid()) {
        std::fprintf(stderr, "no temporary folder for the program's data\n");
        return 1;
    }
    qputenv("XDG_DATA_HOME", dataDir.path().toLocal8Bit());
    QApplication application(argc, argv);
    tarvelo::installChineseFonts();
    if (!tarvelo::installChineseLocale()) {
        std::fprintf(stderr, "Qt's Chinese translation is missing: run scripts/setup\n");
        return 1;
    }
    // Service calls wait as they do in the program: off the GUI thread, input held back.
    tarvelo::QtCallWaiter waiter;
    tarvelo::OwnerActivation ownerActivation;
    QApplication::instance()->installEventFilter(&ownerActivation);
    tarvelo::app().waiter = &waiter;
    // What the client remembers goes to a folder of this run, and each test starts with nothing
    // remembered.
    const QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new ForgetSettings(dataDir.path()));
    return RUN_ALL_TESTS();
}
