#include "widgets/OwnerActivation.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace tarvelo {

bool OwnerActivation::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Hide || !watched->isWidgetType()) return false;
    auto* w = static_cast<QWidget*>(watched);
    // Popups (menus, calendars, lists) give the focus back themselves.
    if (!w->isWindow() || w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip)
        return false;
    QWidget* owner = w->parentWidget() ? w->parentWidget()->window() : nullptr;
    if (!owner || !owner->isVisible()) return false;
    const QWidget* active = QApplication::activeWindow();
    if (active == nullptr || active == w) owner->activateWindow();
    return false;
}

}  // namespace tarvelo
