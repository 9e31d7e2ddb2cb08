#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QSet>
#include <QTextLayout>
#include <QWidget>

#include "about/About.h"
#include "accounts/Unit_EditMM.h"
#include "accounts/Unit_ProcGrant.h"
#include "accounts/Unit_Register.h"
#include "accounts/Unit_SetMM.h"
#include "app/Application.h"
#include "app/Globals.h"
#include "app/StartUp.h"
#include "browser/KVR_Main.h"
#include "platform/ScriptedPlatform.h"
#include "signin/Login.h"
#include "support/TestService.h"

namespace tarvelo::test {
namespace {

const QString kKaiGb = QStringLiteral("AR PL KaitiM GB");
const QString kSongGb = QStringLiteral("AR PL SungtiL GB");
const QString kFullWidthPunctuation = QStringLiteral("，。？：");

// The faces the windows name, the GB face each must resolve to, and the Unicode face of the same
// style that draws what GB2312 lacks.
struct NamedFace {
    const char* named;
    QString gb;
    QString unicode;
};
const NamedFace kFaces[] = {
    {"楷体", kKaiGb, QStringLiteral("AR PL UKai CN")},
    {"楷体_GB2312", kKaiGb, QStringLiteral("AR PL UKai CN")},
    {"宋体", kSongGb, QStringLiteral("AR PL UMing CN")},
};

QFont face(const QString& family, int pixels) {
    QFont font(family);
    font.setPixelSize(pixels);
    return font;
}

// The family of the face that really draws the character (a fallback face where the font
// itself lacks it).
QString drawnBy(const QFont& font, QChar c) {
    QTextLayout layout(QString(c), font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const auto runs = layout.glyphRuns();
    return runs.size() == 1 ? runs.front().rawFont().familyName() : QString();
}

// The outline of a character in a face, filled at 64 pixels without smoothing.
QImage ink(const QRawFont& raw, QChar c) {
    QImage image(80, 80, QImage::Format_Grayscale8);
    image.fill(0);
    QPainter painter(&image);
    painter.translate(8, 64);
    painter.fillPath(raw.pathForGlyph(raw.glyphIndexesForString(QString(c)).value(0)), Qt::white);
    return image;
}

// How much of the ink of two drawings lies on the same pixels (intersection over union).
double overlap(const QImage& a, const QImage& b) {
    int both = 0, either = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const bool inA = qGray(a.pixel(x, y)) > 127, inB = qGray(b.pixel(x, y)) > 127;
            both += inA && inB;
            either += inA || inB;
        }
    return either ? double(both) / either : 1.0;
}

TEST(ChineseFonts, EachNamedFaceIsAGbFaceThatHoldsTheWindowsText) {
    for (const NamedFace& f : kFaces) {
        const QFont font = face(QString::fromUtf8(f.named), 21);
        EXPECT_EQ(QFontInfo(font).family(), f.gb) << f.named;
        const QRawFont raw = QRawFont::fromFont(font);
        for (const QChar c : QStringLiteral("真实姓名钢筋混凝土") + kFullWidthPunctuation)
            EXPECT_TRUE(raw.supportsCharacter(c)) << f.named << " " << QString(c).toStdString();
        // 喆 lies beyond GB2312: the Unicode face of the same style draws it.
        EXPECT_EQ(drawnBy(font, u'喆').toLower(), f.unicode.toLower()) << f.named;
    }
}

// AR PL UKai draws 真 as the old form 眞. The GB faces and the Unicode ones come from the same
// designs, so where the forms agree (实, 钢) they draw alike; the GB face's 真 must be nothing like
// the Unicode face's 眞.
TEST(ChineseFonts, TheGbFacesDrawTheMainlandFormOfZhen) {
    const QRawFont ukai = QRawFont::fromFont(face(QStringLiteral("AR PL UKai CN"), 64));
    ASSERT_GT(overlap(ink(ukai, u'真'), ink(ukai, u'眞')), 0.9) << "the measure sees the old form";
    for (const NamedFace& f : kFaces) {
        const QRawFont gb = QRawFont::fromFont(face(QString::fromUtf8(f.named), 64));
        const QRawFont unicode = QRawFont::fromFont(face(f.unicode, 64));
        for (const QChar c : QStringLiteral("实钢"))
            EXPECT_GT(overlap(ink(gb, c), ink(unicode, c)), 0.9)
                << f.named << " " << QString(c).toStdString();
        EXPECT_LT(overlap(ink(gb, u'真'), ink(unicode, u'眞')), 0.5) << f.named;
    }
}

// Whatever face a widget of any window ends up with (named, inherited or from a style sheet), it
// is a GB face, and its full-width punctuation takes a whole Han character's width.
TEST(ChineseFonts, EveryWidgetOfEveryWindowDrawsInAGbFaceWithFullWidthPunctuation) {
    TestService service;
    ScriptedPlatform ui;
    app().use(ui, service.base());
    createWindows();
    QStringList wrong;
    QSet<QString> checked;
    for (QWidget* window : std::initializer_list<QWidget*>{
             Tarvelo.data(), KVR_MainForm.data(), Frm_EditMM.data(), Frm_Register.data(),
             Frm_SetMM.data(), AboutBox.data(), Frm_ProcGrant.data()}) {
        ASSERT_NE(window, nullptr);
        QList<QWidget*> widgets = window->findChildren<QWidget*>();
        widgets.prepend(window);
        for (QWidget* w : widgets) {
            w->ensurePolished();
            const QFont font = w->font();
            if (checked.contains(font.key())) continue;
            checked.insert(font.key());
            const QString where = window->objectName() + QLatin1Char('/') +
                                  QString::fromUtf8(w->metaObject()->className()) +
                                  QLatin1Char('#') + w->objectName() + QStringLiteral(": ");
            const QString family = QFontInfo(font).family();
            if (family != kKaiGb && family != kSongGb) wrong << where + family;
            const QFontMetricsF metrics(font);
            const qreal han = metrics.horizontalAdvance(u'钢');
            for (const QChar p : kFullWidthPunctuation)
                if (metrics.horizontalAdvance(p) != han)
                    wrong << where + family + QStringLiteral(" ") + p;
        }
    }
    destroyWindows();
    app() = AppContext{};
    EXPECT_GE(checked.size(), 5);  // the windows use faces of both styles at several sizes
    EXPECT_TRUE(wrong.isEmpty()) << wrong.join(QStringLiteral("\n")).toStdString();
}

}  // namespace
}  // namespace tarvelo::test
