#pragma once

#include <QFont>
#include <QString>
#include <initializer_list>
#include <string_view>
#include <tuple>
#include <vector>

#include "widgets/DataSource.h"

class QObject;
class QToolButton;
class QWidget;

namespace tarvelo {

class DataSet;

// Small pieces the main window's two centres build their pages from.

// UTF-8 text for a widget.
QString q(std::string_view s);
// The "楷体" face at a pixel size.
QFont kai(int pixels, bool bold = false);
// A flat tool-bar button with a caption.
QToolButton* button(QWidget* parent, const QString& caption);
// Grid columns from (field, title, width) triples; width 0 leaves the field's own.
std::vector<GridColumn> columns(
    std::initializer_list<std::tuple<const char*, const char*, int>> list);
// A data source over `ds` with its grid columns, owned by `parent`.
TDataSource* source(DataSet& ds, QObject* parent, std::vector<GridColumn> cols);

}  // namespace tarvelo
