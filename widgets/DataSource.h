#pragma once

#include <QAbstractTableModel>
#include <optional>
#include <vector>

#include "widgets/GridColumn.h"

namespace tarvelo {

class DataSet;

// The data source (Ds_*) of a dataset: a read-only table model of the dataset's rows in the
// columns a grid declares. It follows the dataset: a load or a close resets it, an append or a
// delete inserts or removes a row, a post changes a row; the dataset's current row is told to
// the view through currentRowChanged. A column whose field the rows lack stays empty.
class TDataSource : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TDataSource(DataSet& dataSet, QObject* parent = nullptr);
    ~TDataSource() override;

    DataSet& dataSet() const { return m_dataSet; }
    void setColumns(std::vector<GridColumn> columns);
    const std::vector<GridColumn>& columns() const { return m_columns; }
    // The dataset field a column shows; nullopt for a column the dataset lacks.
    std::optional<std::size_t> fieldOf(int column) const {
        return m_fields.at(static_cast<std::size_t>(column));
    }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    void currentRowChanged(int row);

private:
    void remap();

    DataSet& m_dataSet;
    std::vector<GridColumn> m_columns;
    std::vector<std::optional<std::size_t>> m_fields;  // dataset field of each column
    int m_subscription = 0;
};

}  // namespace tarvelo
