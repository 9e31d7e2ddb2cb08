#pragma once

#include <QColor>
#include <QString>

namespace tarvelo {

// The colour of the grids' title row: 16777128 in the windows' BGR notation, a light cyan.
inline const QColor kTitleColour = QColor(0xA8, 0xFF, 0xFF);

// One column of a grid, declared as data: the dataset field it shows, its title and width.
struct GridColumn {
    QString field;
    QString title;
    int width = 0;  // pixels; 0: the grid's default
    Qt::Alignment titleAlignment = Qt::AlignCenter;
    QColor titleColour = kTitleColour;  // invalid: the style's own
};

}  // namespace tarvelo
