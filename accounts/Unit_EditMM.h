#pragma once

#include "accounts/PasswordWindow.h"

namespace tarvelo {

// The password change: the old password, then the new one twice.
class TFrm_EditMM : public TPasswordWindow {
    Q_OBJECT
public:
    explicit TFrm_EditMM(QWidget* owner = nullptr);

protected:
    bool checkFirstBox(DataSet& row) override;
};

}  // namespace tarvelo
