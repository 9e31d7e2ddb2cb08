#pragma once

#include <QWidget>

#include "browser/PriceTrend.h"

class QComboBox;
class QLabel;
class QTableWidget;

namespace tarvelo {

class TIISdmPtr;
class TrendChart;

// "价格走势": one item's price over the last 12 or 24 months up to the information centre's
// period, as a line chart beside a table of the months and their prices. One statement per
// choice of months.
class PriceTrendWindow : public QWidget {
    Q_OBJECT
public:
    PriceTrendWindow(QWidget* owner, TIISdmPtr& data, PriceTrend::Item item, std::string last);

    // Reads the months again: `months` is 12 or 24. Throws as QueryBySQL does.
    void load(int months);

    QComboBox* Months;
    TrendChart* Chart;
    QTableWidget* Table;
    QLabel* Caption;
    std::string lastStatement;  // for tests: what load() sent

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    TIISdmPtr& m_data;
    PriceTrend::Item m_item;
    std::string m_last;
};

}  // namespace tarvelo
