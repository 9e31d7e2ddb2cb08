#include "widgets/WindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace tarvelo {

WindowPlacement::WindowPlacement(QWidget* window) : QObject(window) {
    setObjectName(QStringLiteral("WindowPlacement"));
}

void WindowPlacement::keepOnScreen(QWidget* window, bool placed) {
    if (!window || window->findChild<WindowPlacement*>(QString(), Qt::FindDirectChildrenOnly))
        return;
    auto* placement = new WindowPlacement(window);
    placement->m_placed = placed;
    window->installEventFilter(placement);
}

QRect WindowPlacement::fit(const QRect& available, QSize size, QSize minimum,
                           const QMargins& frame) {
    const QSize room = available.size().shrunkBy(frame);
    const QSize client = size.boundedTo(room).expandedTo(minimum);
    const QSize outer = client.grownBy(frame);
    // Centred where it fits; at the top left of the area where even the smallest does not.
    const int x = available.x() + std::max(0, (available.width() - outer.width()) / 2);
    const int y = available.y() + std::max(0, (available.height() - outer.height()) / 2);
    return {QPoint(x + frame.left(), y + frame.top()), client};
}

QScreen* WindowPlacement::screenFor(const QWidget* window) {
    if (const QWidget* owner = window->parentWidget())
        if (QScreen* screen = owner->window()->screen()) return screen;
    return QGuiApplication::primaryScreen();
}

bool WindowPlacement::eventFilter(QObject* watched, QEvent* event) {
    // The show event comes after the layout has set the window's minimum size and after the
    // native window (with its frame, where the platform knows it) exists, before it appears.
    if (event->type() == QEvent::Show && watched == parent() && !event->spontaneous()) {
        place(static_cast<QWidget*>(watched), !m_placed);
        m_placed = true;
    }
    return QObject::eventFilter(watched, event);
}

void WindowPlacement::place(QWidget* window, bool centre) {
    if (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) return;
    QScreen* screen = centre ? screenFor(window) : window->screen();
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    const QRect outer = window->frameGeometry();
    const QRect client = window->geometry();
    const QMargins frame(client.left() - outer.left(), client.top() - outer.top(),
                         outer.right() - client.right(), outer.bottom() - client.bottom());
    if (!centre && available.contains(outer)) return;
    const QSize minimum = window->minimumSize().expandedTo(window->minimumSizeHint());
    const QRect placed = fit(available, window->size(), minimum, frame);
    if (placed.size() != window->size()) window->resize(placed.size());
    // A window's position is that of its frame.
    window->move(placed.topLeft() - QPoint(frame.left(), frame.top()));
}

}  // namespace tarvelo
