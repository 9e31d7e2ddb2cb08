#include "widgets/UnsavedRowDelegate.h"

#include "data/DataSet.h"

namespace tarvelo {

const QColor UnsavedRowDelegate::kUnsaved(0xFF, 0xE0, 0x82);
const QColor UnsavedRowDelegate::kUnsavedSelected(0xFF, 0xB3, 0x00);

UnsavedRowDelegate::UnsavedRowDelegate(const DataSet& rows, QObject* parent)
    : QStyledItemDelegate(parent), m_rows(rows) {}

bool UnsavedRowDelegate::unsaved(const QModelIndex& index) const {
    if (!index.isValid() || !m_rows.active() || index.row() < 0) return false;
    const auto row = static_cast<std::size_t>(index.row());
    return row < m_rows.recordCount() && m_rows.hasPendingChange(row);
}

void UnsavedRowDelegate::initStyleOption(QStyleOptionViewItem* option,
                                         const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (unsaved(index)) {
        option->backgroundBrush = kUnsaved;
        option->palette.setColor(QPalette::Text, Qt::black);
    }
}

void UnsavedRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    if (!unsaved(index)) return QStyledItemDelegate::paint(painter, option, index);
    // The style draws a selected row in the palette's highlight, whatever its ground.
    QStyleOptionViewItem amber(option);
    amber.palette.setColor(QPalette::Highlight, kUnsavedSelected);
    amber.palette.setColor(QPalette::HighlightedText, Qt::black);
    QStyledItemDelegate::paint(painter, amber, index);
}

}  // namespace tarvelo
