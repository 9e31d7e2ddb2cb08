#include "widgets/DataSource.h"

#include "data/DataSet.h"

namespace tarvelo {

TDataSource::TDataSource(DataSet& dataSet, QObject* parent)
    : QAbstractTableModel(parent), m_dataSet(dataSet) {
    m_subscription = m_dataSet.subscribe([this](const DataSetEvent& e) {
        const int row = static_cast<int>(e.row);
        switch (e.kind) {
            case DataSetEvent::Kind::BeforeReset:
                beginResetModel();
                break;
            case DataSetEvent::Kind::AfterReset:
                remap();
                endResetModel();
                break;
            case DataSetEvent::Kind::BeforeInsert:
                beginInsertRows({}, row, row);
                break;
            case DataSetEvent::Kind::AfterInsert:
                endInsertRows();
                break;
            case DataSetEvent::Kind::BeforeRemove:
                beginRemoveRows({}, row, row);
                break;
            case DataSetEvent::Kind::AfterRemove:
                endRemoveRows();
                break;
            case DataSetEvent::Kind::RowChanged:
                if (!m_columns.empty())
                    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
                break;
            case DataSetEvent::Kind::CurrentChanged:
                emit currentRowChanged(row);
                break;
        }
    });
    remap();
}

TDataSource::~TDataSource() {
    m_dataSet.unsubscribe(m_subscription);
}

void TDataSource::setColumns(std::vector<GridColumn> columns) {
    beginResetModel();
    m_columns = std::move(columns);
    remap();
    endResetModel();
}

void TDataSource::remap() {
    m_fields.assign(m_columns.size(), std::nullopt);
    if (!m_dataSet.active()) return;
    for (std::size_t c = 0; c < m_columns.size(); ++c)
        m_fields[c] = m_dataSet.findField(m_columns[c].field.toStdString());
}

int TDataSource::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_dataSet.active()) return 0;
    return static_cast<int>(m_dataSet.recordCount());
}

int TDataSource::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant TDataSource::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    const auto& field = m_fields.at(static_cast<std::size_t>(index.column()));
    if (!field) return QString();
    return QString::fromStdString(
        m_dataSet.displayText(static_cast<std::size_t>(index.row()), *field));
}

QVariant TDataSource::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    const GridColumn& c = m_columns[static_cast<std::size_t>(section)];
    switch (role) {
        case Qt::DisplayRole:
            return c.title;
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(c.titleAlignment | Qt::AlignVCenter);
        case Qt::BackgroundRole:
            return c.titleColour.isValid() ? QVariant(c.titleColour) : QVariant();
        default:
            return {};
    }
}

}  // namespace tarvelo
