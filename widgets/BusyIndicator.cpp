#include "widgets/BusyIndicator.h"

#include "widgets/WindowPlacement.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvelo {

BusyIndicator::BusyIndicator(QWidget* host, const QString& what, bool cancellable)
    : QFrame(host, host ? Qt::WindowFlags() : Qt::Tool | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("BusyIndicator"));
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setLineWidth(1);
    setAutoFillBackground(true);
    setCursor(Qt::ArrowCursor);
    // The focus stays where the user left it: nothing here takes it.
    setFocusPolicy(Qt::NoFocus);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 12, 16, 12);
    column->setSpacing(8);
    m_what = new QLabel(what, this);
    QFont bold = m_what->font();
    bold.setBold(true);
    m_what->setFont(bold);
    column->addWidget(m_what);

    auto* bar = new QProgressBar(this);
    bar->setRange(0, 0);  // no end known: the bar moves to show the program is alive
    bar->setTextVisible(false);
    bar->setFixedHeight(10);
    bar->setMinimumWidth(220);
    column->addWidget(bar);

    auto* row = new QHBoxLayout;
    m_elapsed = new QLabel(this);
    row->addWidget(m_elapsed, 1);
    if (cancellable) {
        m_cancel = new QPushButton(QStringLiteral("取消"), this);
        m_cancel->setFocusPolicy(Qt::NoFocus);
        m_cancel->setToolTip(QStringLiteral("不再等待这次查询（Esc）"));
        connect(m_cancel, &QPushButton::clicked, this, &BusyIndicator::cancelRequested);
        row->addWidget(m_cancel);
    }
    column->addLayout(row);
    if (!cancellable) {
        auto* note = new QLabel(QStringLiteral("写入数据时不能取消，请等待数据服务答复。"), this);
        column->addWidget(note);
    }
    setElapsedSeconds(0);
    place();
    show();
    raise();
}

void BusyIndicator::setElapsedSeconds(qint64 seconds) {
    m_elapsed->setText(QStringLiteral("已用 %1 秒").arg(seconds));
}

void BusyIndicator::showCancelling() {
    if (!m_cancel) return;
    m_cancel->setEnabled(false);
    m_cancel->setText(QStringLiteral("正在取消…"));
}

void BusyIndicator::place() {
    adjustSize();
    if (QWidget* host = parentWidget()) {
        // Over the middle of the window, inside it even when the window is small.
        const QRect area = host->rect();
        resize(std::min(width(), area.width()), std::min(height(), area.height()));
        move(area.center() - rect().center());
        return;
    }
    WindowPlacement::keepOnScreen(this);  // a window of its own: on the screen, centred
}

}  // namespace tarvelo
