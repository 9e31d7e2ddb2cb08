#pragma once

#include <QWidget>

class QPushButton;

namespace tarvelo {

// The about box: the product, its version and what it does.
class TAboutBox : public QWidget {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* owner = nullptr);
    QPushButton* OKButton;

protected:
    void keyPressEvent(QKeyEvent* event) override;  // Escape closes
};

}  // namespace tarvelo
