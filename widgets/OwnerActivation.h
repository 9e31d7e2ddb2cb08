#pragma once

#include <QObject>

namespace tarvelo {

// Gives the keyboard back to a window's owner when the window goes (the about box, an account
// window, a message box): without a window manager nothing else would, and the keys would go
// nowhere until a click. Installed on the application once.
class OwnerActivation : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace tarvelo
