#include "app/Fonts.h"

#include <QApplication>
#include <QFont>

namespace tarvelo {

void installChineseFonts() {
    const QString kai = QStringLiteral("AR PL UKai CN");
    const QString song = QStringLiteral("AR PL UMing CN");
    QFont::insertSubstitution(QStringLiteral("楷体"), kai);
    QFont::insertSubstitution(QStringLiteral("楷体_GB2312"), kai);
    QFont::insertSubstitution(QStringLiteral("宋体"), song);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(13);
    QApplication::setFont(font);
}

}  // namespace tarvelo
