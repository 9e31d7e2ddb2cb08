#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace tarvelo {

// The program's pictures (resources/, ":/pictures/..."), sharp on scaled screens: each picture
// comes with a file of twice its size (name@2x.png) that screens scaled to 150 % and more use.

// The picture as an icon holding both files.
QIcon pictureIcon(const QString& path);
// The picture at `size` for the densest screen there is.
QPixmap picture(const QString& path, QSize size);

}  // namespace tarvelo
