#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <memory>
#include <vector>

#include "service/CallWaiter.h"
#include "widgets/BusyIndicator.h"

namespace tarvelo {

// The desktop client's way of waiting for a service call: the HTTP exchange runs on a thread of
// its own while the windows go on painting. User input to the windows is dropped meanwhile (a
// click made during a call must not start a second handler, neither now nor after the call), and
// closing a window is refused. Typing into a text box is not dropped but held: its characters,
// the keys that edit them and input-method commits reach the box after the call, in the order
// typed, so that nothing typed while the service answers is lost. After half a second a busy
// indicator says what is being done and for how long; a read can be cancelled from it, or with Esc.
class QtCallWaiter : public QObject, public CallWaiter {
    Q_OBJECT
public:
    static constexpr int kIndicatorDelayMs = 500;

    explicit QtCallWaiter(QObject* parent = nullptr);

    void wait(const Call& call, const std::function<void()>& exchange,
              std::atomic<bool>& cancel) override;

    bool busy() const { return m_busy; }
    // The indicator of the call in flight, once it shows.
    BusyIndicator* indicator() const { return m_indicator; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showIndicator();
    void requestCancel();
    bool belongsToIndicator(QObject* object) const;

    // Typing into a text box during the call, for the box after it.
    struct Held {
        QPointer<QObject> target;
        std::unique_ptr<QEvent> event;
    };
    bool holds(QObject* watched, QEvent* event) const;
    void replayHeld();

    std::vector<Held> m_held;
    bool m_busy = false;
    const Call* m_call = nullptr;
    std::atomic<bool>* m_cancel = nullptr;
    QPointer<BusyIndicator> m_indicator;
};

}  // namespace tarvelo
