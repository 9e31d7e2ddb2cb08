#pragma once

#include <QColor>
#include <QStyledItemDelegate>

namespace tarvelo {

class DataSet;

// Draws the rows of a grid whose changes wait in the dataset's change log on an amber ground,
// a deeper amber when selected, with black text on both: what the user has changed and not yet
// saved stands out from the stored rows.
class UnsavedRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static const QColor kUnsaved;
    static const QColor kUnsavedSelected;

    UnsavedRowDelegate(const DataSet& rows, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    bool unsaved(const QModelIndex& index) const;

    const DataSet& m_rows;
};

}  // namespace tarvelo
