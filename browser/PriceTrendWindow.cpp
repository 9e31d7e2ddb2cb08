#include "browser/PriceTrendWindow.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/ActionGuard.h"
#include "data/DataSet.h"
#include "service/IISdm.h"
#include "text/StatementBuffer.h"
#include "widgets/TrendChart.h"
#include "widgets/WindowPlacement.h"

namespace tarvelo {

PriceTrendWindow::PriceTrendWindow(QWidget* owner, TIISdmPtr& data, PriceTrend::Item item,
                                   std::string last)
    : QWidget(owner, Qt::Window), m_data(data), m_item(std::move(item)), m_last(std::move(last)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("价格走势"));
    resize(860, 440);
    const QString what = QString::fromStdString(
        std::string(priceTable(m_item.category).title) + " · " + m_item.place + " · " +
        m_item.name + (m_item.specId.empty() ? "" : " · " + m_item.specId) +
        (m_item.model.empty() ? "" : " · " + m_item.model));
    Caption = new QLabel(what, this);
    Months = new QComboBox(this);
    Months->addItems({QStringLiteral("近 12 个月"), QStringLiteral("近 24 个月")});
    Chart = new TrendChart(this);
    Table = new QTableWidget(0, 2, this);
    Table->setHorizontalHeaderLabels({QStringLiteral("月份"), QStringLiteral("价格")});
    Table->verticalHeader()->hide();
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->horizontalHeader()->setStretchLastSection(true);
    Table->setFixedWidth(240);
    auto* top = new QHBoxLayout;
    top->addWidget(Caption, 1);
    top->addWidget(Months);
    auto* body = new QHBoxLayout;
    body->addWidget(Chart, 1);
    body->addWidget(Table);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(body, 1);
    connect(Months, &QComboBox::currentIndexChanged, this,
            [this](int index) { runAction([&] { load(index == 1 ? 24 : 12); }); });
    WindowPlacement::keepOnScreen(this);
}

void PriceTrendWindow::load(int months) {
    StatementBuffer statement;
    PriceTrend::statement(statement, m_item, m_last, months);
    lastStatement = statement.text();
    DataSet rows;
    m_data.QueryInto(lastStatement, rows);
    std::vector<TrendChart::Point> points;
    Table->setRowCount(0);
    for (const auto& p : PriceTrend::series(rows, m_item.category, m_last, months)) {
        const QString month =
            QString::fromStdString(p.period.substr(0, 4) + "-" + p.period.substr(4));
        points.push_back({month, p.price, QString::fromStdString(p.text)});
        const int r = Table->rowCount();
        Table->insertRow(r);
        Table->setItem(r, 0, new QTableWidgetItem(month));
        Table->setItem(
            r, 1,
            new QTableWidgetItem(p.found ? QString::fromStdString(p.text) : QStringLiteral("—")));
    }
    Chart->setPoints(std::move(points));
}

void PriceTrendWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace tarvelo
