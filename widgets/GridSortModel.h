#pragma once

#include <QSortFilterProxyModel>

namespace tarvelo {

// The order a grid shows its rows in after a click on a column title, leaving the dataset's own
// order alone: numbers by their value, other text by the Chinese collation, and text that is no
// number ("面议") after the numbers and empty cells after everything, whichever way the column
// is sorted.
class GridSortModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};

}  // namespace tarvelo
