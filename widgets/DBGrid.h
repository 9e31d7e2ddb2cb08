#pragma once

#include <QTableView>

namespace tarvelo {

class TDataSource;

// The read-only grid: whole rows selected, columns resizable, widths from the column
// declarations, following its dataset's current row both ways. The wheel scrolls, unless the
// grid has the wheel rule. A cell whose text its column cuts shows the whole text in a tool tip.
// Ctrl+C copies the selected rows, with the column titles, as tab-separated text for a
// spreadsheet.
class TDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBGrid(QWidget* parent = nullptr);
    void setDataSource(TDataSource* source);
    TDataSource* dataSource() const { return m_source; }
    // The wheel rule of the price and import grids: a wheel turn over an open dataset moves
    // exactly one record (the next one when turned towards the user); without an open dataset
    // the grid scrolls as usual.
    void installWheelRule() { m_wheelRule = true; }
    // A click on a column title sorts the rows shown (GridSortModel), a second click the other
    // way; the dataset keeps its order, and a new load shows its order again. Before
    // setDataSource.
    void enableSorting() { m_sortable = true; }
    // The dataset row shown in view row `row`, and the other way.
    int datasetRow(int row) const;
    int viewRow(int datasetRow) const;
    // The selected rows as the clipboard receives them.
    QString selectionText() const;
    // The grid's name ("信息价"): column widths a user drags are kept under it for the next grid
    // of that name, and an export proposes it as the file's name.
    void setGridName(const QString& name);
    const QString& gridName() const { return m_name; }
    // What the rows are ("信息价 · 东城区 · 2026年12月 · “钢筋”"), the heading of a printout.
    void setDescription(const QString& text) { m_description = text; }
    // An action of the grid's owner, first in the grid's menu (and its shortcut on the grid),
    // offered while the grid has rows.
    void addMenuAction(QAction* action);
    const QString& description() const { return m_description; }

signals:
    // A click on a cell, after the dataset's current row moved there.
    void cellClicked();

protected:
    bool viewportEvent(QEvent* event) override;
    // The grid's menu: "导出Excel…" (what the grid shows, to an .xlsx file).
    void contextMenuEvent(QContextMenuEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void applyWidths();
    // Whether the cell shows less than its whole text.
    bool isCut(const QModelIndex& index) const;
    TDataSource* m_source = nullptr;
    class GridSortModel* m_sort = nullptr;
    bool m_sortable = false;
    bool m_wheelRule = false;
    QString m_name;
    QString m_description;
    std::vector<QAction*> m_ownerActions;
    bool m_applyingWidths = false;
};

}  // namespace tarvelo
