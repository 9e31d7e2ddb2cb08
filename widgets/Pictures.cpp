#include "widgets/Pictures.h"

#include <QFile>
#include <QGuiApplication>

namespace tarvelo {

QIcon pictureIcon(const QString& path) {
    QIcon icon;
    // The dense file goes in first. Between a 1x and a 2x file equally far from a screen's
    // ratio of 1.5, Qt 6.4 takes the one added first; scaled down the 2x one stays sharp, while
    // the 1x one scaled up blurs. (QIcon would add the 2x file after the 1x one by itself.)
    QString dense = path;
    dense.insert(path.lastIndexOf(QLatin1Char('.')), QStringLiteral("@2x"));
    if (QFile::exists(dense)) icon.addFile(dense);
    icon.addFile(path);
    return icon;
}

QPixmap picture(const QString& path, QSize size) {
    return pictureIcon(path).pixmap(size, qApp->devicePixelRatio());
}

}  // namespace tarvelo
