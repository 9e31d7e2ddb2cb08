#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

namespace tarvelo {

// The small panel shown over a window while a service call takes longer than a moment: what is
// being done, the time it has taken, and a cancel button for a read (a write says why it cannot
// be cancelled). Without a window to lie over it is a small window of its own.
class BusyIndicator : public QFrame {
    Q_OBJECT
public:
    BusyIndicator(QWidget* host, const QString& what, bool cancellable);

    void setElapsedSeconds(qint64 seconds);
    // The user asked to cancel: the button says the call is being abandoned.
    void showCancelling();

    QLabel* whatLabel() const { return m_what; }
    QLabel* elapsedLabel() const { return m_elapsed; }
    QPushButton* cancelButton() const { return m_cancel; }  // null for a write

signals:
    void cancelRequested();

private:
    void place();

    QLabel* m_what;
    QLabel* m_elapsed;
    QPushButton* m_cancel = nullptr;
};

}  // namespace tarvelo
