#include "widgets/TrendChart.h"

#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <algorithm>
#include <cmath>

namespace tarvelo {

TrendChart::TrendChart(QWidget* parent) : QWidget(parent) {
    setMinimumSize(420, 260);
    setMouseTracking(true);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void TrendChart::setPoints(std::vector<Point> points) {
    m_points = std::move(points);
    bool any = false;
    for (const auto& p : m_points)
        if (p.price) {
            m_low = any ? std::min(m_low, *p.price) : *p.price;
            m_high = any ? std::max(m_high, *p.price) : *p.price;
            any = true;
        }
    if (!any) m_low = 0, m_high = 1;
    // Room above and below the line, and a scale for a flat price.
    const double span = m_high - m_low;
    const double pad = span > 0 ? span * 0.1 : std::max(1.0, std::abs(m_high) * 0.05);
    m_low -= pad;
    m_high += pad;
    update();
}

QRectF TrendChart::plotArea() const {
    return QRectF(70, 20, std::max(10, width() - 110), std::max(10, height() - 70));
}

QPointF TrendChart::position(std::size_t i) const {
    const QRectF area = plotArea();
    const double x = m_points.size() > 1
                         ? area.left() + area.width() * static_cast<double>(i) /
                                             static_cast<double>(m_points.size() - 1)
                         : area.center().x();
    const auto& p = m_points.at(i);
    if (!p.price) return {x, area.bottom()};
    return {x, area.bottom() - area.height() * (*p.price - m_low) / (m_high - m_low)};
}

void TrendChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = plotArea();
    const QPalette pal = palette();
    // The value scale: five lines with their prices.
    painter.setPen(QPen(pal.color(QPalette::Mid), 1, Qt::DotLine));
    for (int k = 0; k <= 4; ++k) {
        const double y = area.bottom() - area.height() * k / 4.0;
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        painter.setPen(pal.color(QPalette::Text));
        painter.drawText(QRectF(0, y - 9, area.left() - 6, 18), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(m_low + (m_high - m_low) * k / 4.0, 'f', 0));
        painter.setPen(QPen(pal.color(QPalette::Mid), 1, Qt::DotLine));
    }
    painter.setPen(pal.color(QPalette::Text));
    painter.drawLine(area.bottomLeft(), area.bottomRight());
    painter.drawLine(area.bottomLeft(), area.topLeft());
    // Month labels: as many as fit side by side, always the last month's.
    const double spacing =
        m_points.size() > 1 ? area.width() / static_cast<double>(m_points.size() - 1) : area.width();
    const int step = std::max(1, static_cast<int>(std::ceil(64.0 / spacing)));
    for (std::size_t k = 0; k < m_points.size(); k += static_cast<std::size_t>(step)) {
        const std::size_t i = m_points.size() - 1 - k;
        const QPointF at = position(i);
        painter.drawText(QRectF(at.x() - 30, area.bottom() + 4, 60, 18), Qt::AlignCenter,
                         m_points[i].month);
    }
    // The line, broken where a month has no number.
    QPen line(pal.color(QPalette::Highlight), 2);
    painter.setPen(line);
    QPainterPath path;
    bool open = false;
    for (std::size_t i = 0; i < m_points.size(); ++i) {
        if (!m_points[i].price) {
            open = false;
            continue;
        }
        if (open)
            path.lineTo(position(i));
        else
            path.moveTo(position(i));
        open = true;
    }
    painter.drawPath(path);
    for (std::size_t i = 0; i < m_points.size(); ++i) {
        const auto& p = m_points[i];
        if (p.price) {
            painter.setBrush(pal.color(QPalette::Highlight));
            painter.drawEllipse(position(i), 3.5, 3.5);
        } else if (!p.text.isEmpty()) {
            // A price that is text: a hollow mark on the axis, with its text above.
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(QColor(0xc0, 0x50, 0x20), 2));
            painter.drawRect(QRectF(position(i) - QPointF(4, 4), QSizeF(8, 8)));
            painter.drawText(QRectF(position(i).x() - 30, area.bottom() - 26, 60, 18),
                             Qt::AlignCenter, p.text);
            painter.setPen(line);
        }
    }
}

bool TrendChart::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    std::optional<std::size_t> nearest;
    for (std::size_t i = 0; i < m_points.size(); ++i)
        if (!nearest || std::abs(position(i).x() - help->pos().x()) <
                            std::abs(position(*nearest).x() - help->pos().x()))
            nearest = i;
    if (!nearest || std::abs(position(*nearest).x() - help->pos().x()) > 20) {
        QToolTip::hideText();
        return true;
    }
    const auto& p = m_points[*nearest];
    QToolTip::showText(
        help->globalPos(),
        p.month + QStringLiteral("：") + (p.text.isEmpty() ? QStringLiteral("没有价格") : p.text),
        this);
    return true;
}

}  // namespace tarvelo
