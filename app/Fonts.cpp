#include "app/Fonts.h"

#include <QApplication>
#include <QFont>

namespace tarvelo {

void installChineseFonts() {
    // The GB faces draw the mainland forms (真, not the old 眞 of AR PL UKai) but hold GB2312 only;
    // a character beyond it comes from the Unicode face of the same style, not from whatever face
    // fontconfig would pick.
    const QStringList kai{QStringLiteral("AR PL KaitiM GB"), QStringLiteral("AR PL UKai CN")};
    const QStringList song{QStringLiteral("AR PL SungtiL GB"), QStringLiteral("AR PL UMing CN")};
    QFont::insertSubstitutions(QStringLiteral("楷体"), kai);
    QFont::insertSubstitutions(QStringLiteral("楷体_GB2312"), kai);
    QFont::insertSubstitutions(QStringLiteral("宋体"), song);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(13);
    QApplication::setFont(font);
}

}  // namespace tarvelo
