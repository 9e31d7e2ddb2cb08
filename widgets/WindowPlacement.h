#pragma once

#include <QMargins>
#include <QObject>
#include <QRect>
#include <QSize>

class QScreen;
class QWidget;

namespace tarvelo {

// Where the program's windows open: wholly on the available area of their screen (inside task
// bars and docks), whatever the screen's size and scale. A window opens centred there at its
// designed size when that fits; otherwise it is shrunk to fit, though never below its minimum
// size, and a window that cannot shrink enough keeps its top left corner (and the title bar)
// on the area. The frame a window manager draws around a window counts.
class WindowPlacement : public QObject {
    Q_OBJECT
public:
    // Places `window` by the rule when it is shown: the first time centred on the screen it
    // appears on (its owner's, or the primary screen), and every later time only when it is no
    // longer wholly on its screen (which may have become smaller). Call it in the constructor.
    // `placed`: the window already has its place (one the user left it at), kept while a screen
    // shows it whole.
    static void keepOnScreen(QWidget* window, bool placed = false);

    // The client geometry (frame excluded) for a window of client size `size` with minimum
    // size `minimum` and `frame` margins, on `available`.
    static QRect fit(const QRect& available, QSize size, QSize minimum, const QMargins& frame);

    // The screen a window appears on when shown: its owner's, or the primary screen.
    static QScreen* screenFor(const QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit WindowPlacement(QWidget* window);
    void place(QWidget* window, bool centre);

    bool m_placed = false;
};

}  // namespace tarvelo
