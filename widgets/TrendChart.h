#pragma once

#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

namespace tarvelo {

// A line chart of one price by month, painted here: a point for each month with a price, the
// line broken where a month has none, a month whose price is text ("面议") marked on the axis
// with that text. Resting the mouse on a month shows its price.
class TrendChart : public QWidget {
    Q_OBJECT
public:
    struct Point {
        QString month;  // "2026-12"
        std::optional<double> price;
        QString text;  // as stored; empty: no price that month
    };
    explicit TrendChart(QWidget* parent = nullptr);
    void setPoints(std::vector<Point> points);
    const std::vector<Point>& points() const { return m_points; }
    // Where month `i` is drawn (the line's point, or the mark on the axis).
    QPointF position(std::size_t i) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    QRectF plotArea() const;
    std::vector<Point> m_points;
    double m_low = 0, m_high = 1;
};

}  // namespace tarvelo
