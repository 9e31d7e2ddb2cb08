#include "widgets/QtCallWaiter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <thread>

#include "text/Error.h"
#include "widgets/BusyIndicator.h"

namespace tarvelo {

namespace {

bool isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return false;
    }
}

}  // namespace

QtCallWaiter::QtCallWaiter(QObject* parent) : QObject(parent) {}

void QtCallWaiter::wait(const Call& call, const std::function<void()>& exchange,
                        std::atomic<bool>& cancel) {
    // Input is held back during a call, so a second one can only come from code; the transport
    // of the first is in use on the other thread.
    if (m_busy) throw Error("上一次数据服务请求还没有结束，请稍候。");
    m_busy = true;
    m_call = &call;
    m_cancel = &cancel;
    qApp->installEventFilter(this);
    struct Reset {
        QtCallWaiter* w;
        ~Reset() {
            qApp->removeEventFilter(w);
            delete w->m_indicator.data();
            w->m_busy = false;
            w->m_call = nullptr;
            w->m_cancel = nullptr;
            w->replayHeld();
        }
    } reset{this};

    QEventLoop loop;
    std::atomic<bool> done{false};
    QElapsedTimer clock;
    clock.start();
    QTimer ticker;
    ticker.setInterval(100);
    connect(&ticker, &QTimer::timeout, &loop, [&] {
        if (!m_indicator && clock.elapsed() >= kIndicatorDelayMs) showIndicator();
        if (m_indicator) m_indicator->setElapsedSeconds(clock.elapsed() / 1000);
    });
    ticker.start();
    {
        std::jthread worker([&] {
            exchange();
            done = true;
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        // The loop may also be left when the program quits; the call is still waited for.
        while (!done)
            loop.exec();
    }  // the thread is joined here
}

void QtCallWaiter::showIndicator() {
    QWidget* host = QApplication::activeModalWidget();
    if (!host) host = QApplication::activeWindow();
    if (!host) {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && !w->isMinimized()) {
                host = w;
                break;
            }
    }
    m_indicator = new BusyIndicator(host, QString::fromStdString(m_call->what),
                                    m_call->side == CallSide::Read);
    connect(m_indicator, &BusyIndicator::cancelRequested, this, &QtCallWaiter::requestCancel);
}

void QtCallWaiter::requestCancel() {
    if (!m_busy || !m_call || m_call->side != CallSide::Read) return;
    *m_cancel = true;
    if (m_indicator) m_indicator->showCancelling();
}

bool QtCallWaiter::belongsToIndicator(QObject* object) const {
    if (!m_indicator || !object->isWidgetType()) return false;
    auto* w = static_cast<QWidget*>(object);
    return w == m_indicator || m_indicator->isAncestorOf(w);
}

bool QtCallWaiter::holds(QObject* watched, QEvent* event) const {
    const auto* box = qobject_cast<const QLineEdit*>(watched);
    if (!box || box->isReadOnly() || !box->isEnabled()) return false;
    if (event->type() == QEvent::InputMethod) return true;
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    // Keys that act (Enter, Escape, Tab, shortcuts) are dropped as clicks are; what writes or
    // edits text is kept.
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    switch (key->key()) {
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Home:
        case Qt::Key_End:
            return true;
        default:
            break;
    }
    const QString text = key->text();
    return !text.isEmpty() && text.at(0).isPrint();
}

void QtCallWaiter::replayHeld() {
    if (m_held.empty()) return;
    // After the handler that made the call has ended, as the keys would have arrived then.
    auto held = std::make_shared<std::vector<Held>>(std::move(m_held));
    m_held.clear();
    QMetaObject::invokeMethod(
        qApp,
        [held] {
            for (Held& h : *held)
                if (h.target) QCoreApplication::postEvent(h.target, h.event.release());
        },
        Qt::QueuedConnection);
}

bool QtCallWaiter::eventFilter(QObject* watched, QEvent* event) {
    if (!m_busy) return false;
    const QEvent::Type type = event->type();
    if (type == QEvent::Close && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow() && event->spontaneous()) {
        event->ignore();  // a window is not closed under a call in flight
        return true;
    }
    if (!isUserInput(type)) return false;
    // Window-system objects pass events on to their widgets: the decision is taken there.
    if (watched->isWindowType()) return false;
    if (belongsToIndicator(watched)) return false;
    if (type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
        requestCancel();
    if (holds(watched, event)) m_held.push_back({watched, std::unique_ptr<QEvent>(event->clone())});
    return true;
}

}  // namespace tarvelo
