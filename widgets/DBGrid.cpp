#include "widgets/DBGrid.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QTextDocument>
#include <QToolTip>
#include <QWheelEvent>

#include "app/ClientSettings.h"
#include "data/DataSet.h"
#include "widgets/DataSource.h"
#include "widgets/GridExport.h"
#include "widgets/GridPrinter.h"
#include "widgets/GridSortModel.h"

namespace tarvelo {

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent) {
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setDefaultSectionSize(22);
    verticalHeader()->setFixedWidth(12);
    connect(this, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (m_source && m_source->dataSet().active() && index.isValid()) {
            m_source->dataSet().moveTo(static_cast<std::size_t>(datasetRow(index.row())));
            emit cellClicked();
        }
    });
}

void TDBGrid::setDataSource(TDataSource* source) {
    m_source = source;
    if (m_sortable) {
        m_sort = new GridSortModel(this);
        m_sort->setSourceModel(source);
        setModel(m_sort);
        // No order of our own until a title is clicked; each load comes in its own order.
        horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        horizontalHeader()->setSortIndicatorShown(true);
        setSortingEnabled(true);
        connect(source, &QAbstractItemModel::modelReset, this,
                [this] { horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder); });
    } else {
        setModel(source);
    }
    applyWidths();
    connect(source, &QAbstractItemModel::modelReset, this, &TDBGrid::applyWidths);
    // The dataset's current row is the grid's current row, both ways.
    connect(source, &TDataSource::currentRowChanged, this, [this](int row) {
        const int shown = viewRow(row);
        if (shown >= 0 && shown < model()->rowCount() && currentIndex().row() != shown)
            setCurrentIndex(model()->index(shown, std::max(0, currentIndex().column())));
    });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                DataSet& ds = m_source->dataSet();
                if (!current.isValid() || !ds.active()) return;
                const auto row = static_cast<std::size_t>(datasetRow(current.row()));
                if (ds.currentRow() != row) ds.moveTo(row);
            });
}

int TDBGrid::datasetRow(int row) const {
    if (!m_sort || row < 0) return row;
    return m_sort->mapToSource(m_sort->index(row, 0)).row();
}

int TDBGrid::viewRow(int datasetRow) const {
    if (!m_sort || datasetRow < 0) return datasetRow;
    return m_sort->mapFromSource(m_source->index(datasetRow, 0)).row();
}

void TDBGrid::contextMenuEvent(QContextMenuEvent* event) {
    if (!m_source) return QTableView::contextMenuEvent(event);
    QMenu menu(this);
    const bool hasRows = m_source->dataSet().active() && m_source->rowCount() > 0;
    for (QAction* a : m_ownerActions) {
        a->setEnabled(hasRows);
        menu.addAction(a);
    }
    if (!m_ownerActions.empty()) menu.addSeparator();
    QAction* toExcel = menu.addAction(QStringLiteral("导出Excel…"));
    QAction* print = menu.addAction(QStringLiteral("打印…"));
    QAction* toPdf = menu.addAction(QStringLiteral("导出PDF…"));
    const bool rows = m_source->dataSet().active() && m_source->rowCount() > 0;
    for (QAction* a : {toExcel, print, toPdf})
        a->setEnabled(rows);
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == toExcel) GridExport::toExcel(*this);
    if (chosen == print) GridPrinter::preview(*this);
    if (chosen == toPdf) GridPrinter::toPdf(*this);
}

void TDBGrid::addMenuAction(QAction* action) {
    m_ownerActions.push_back(action);
    action->setShortcutContext(Qt::WidgetShortcut);
    addAction(action);
}

void TDBGrid::setGridName(const QString& name) {
    m_name = name;
    applyWidths();
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] {
        if (m_applyingWidths || m_name.isEmpty()) return;
        std::vector<int> widths;
        for (int c = 0; c < horizontalHeader()->count(); ++c)
            widths.push_back(columnWidth(c));
        ClientSettings::setColumnWidths(m_name, widths);
    });
}

void TDBGrid::applyWidths() {
    if (!m_source) return;
    m_applyingWidths = true;
    const auto& columns = m_source->columns();
    for (std::size_t c = 0; c < columns.size(); ++c)
        if (columns[c].width > 0) setColumnWidth(static_cast<int>(c), columns[c].width);
    if (!m_name.isEmpty()) {
        const std::vector<int> kept = ClientSettings::columnWidths(m_name);
        for (std::size_t c = 0; c < kept.size() && c < columns.size(); ++c)
            if (kept[c] > 0) setColumnWidth(static_cast<int>(c), kept[c]);
    }
    m_applyingWidths = false;
}

bool TDBGrid::isCut(const QModelIndex& index) const {
    if (!index.isValid()) return false;
    // Measured as the cell is drawn: the cell's font and width, its text wrapped at blanks
    // where the row has room for more lines. A column running past the grid's edge shows only
    // the part inside.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    const QSize needed = itemDelegateForIndex(index)->sizeHint(option, index);
    const QRect shown = option.rect.intersected(viewport()->rect());
    return needed.width() > shown.width() || needed.height() > shown.height();
}

bool TDBGrid::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QTableView::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    if (!isCut(index)) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    QString text = index.data().toString();
    // An item name such as "<b>粗砂</b>" is shown as typed, not as markup.
    if (Qt::mightBeRichText(text))
        text = QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text.toHtmlEscaped());
    QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
    return true;
}

void TDBGrid::wheelEvent(QWheelEvent* event) {
    // A sideways turn (a touchpad's) scrolls as usual.
    if (!m_wheelRule || !m_source || !m_source->dataSet().active() || event->angleDelta().y() == 0)
        return QTableView::wheelEvent(event);
    DataSet& ds = m_source->dataSet();
    event->accept();
    if (ds.recordCount() == 0) return;
    // One row of what is shown, which a sorted grid shows in its own order.
    const int at = viewRow(static_cast<int>(ds.currentRow().value_or(0)));
    const int rows = static_cast<int>(ds.recordCount());
    if (event->angleDelta().y() < 0) {
        if (at + 1 < rows) ds.moveTo(static_cast<std::size_t>(datasetRow(at + 1)));
    } else if (at > 0) {
        ds.moveTo(static_cast<std::size_t>(datasetRow(at - 1)));
    }
}

QString TDBGrid::selectionText() const {
    if (!m_source) return {};
    QStringList lines;
    QStringList titles;
    for (const auto& c : m_source->columns())
        titles << c.title;
    lines << titles.join('\t');
    QModelIndexList rows = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& r : rows) {
        QStringList cells;
        for (int c = 0; c < m_source->columnCount(); ++c) {
            QString v = model()->index(r.row(), c).data().toString();
            v.replace(QLatin1Char('\t'), QLatin1Char(' '));
            v.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
            v.replace(QLatin1Char('\n'), QLatin1Char(' '));
            cells << v;
        }
        lines << cells.join('\t');
    }
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        QApplication::clipboard()->setText(selectionText());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

}  // namespace tarvelo
