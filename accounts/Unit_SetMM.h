#pragma once

#include <QWidget>

namespace tarvelo {

// The window's contents come with the accounts work; it exists now so that the program builds
// its windows in their order.
class TFrm_SetMM : public QWidget {
    Q_OBJECT
public:
    explicit TFrm_SetMM(QWidget* owner = nullptr);
};

}  // namespace tarvelo
