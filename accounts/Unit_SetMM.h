#pragma once

#include "accounts/PasswordWindow.h"

namespace tarvelo {

// The password reset: the account's e-mail address, then the new password twice.
class TFrm_SetMM : public TPasswordWindow {
    Q_OBJECT
public:
    explicit TFrm_SetMM(QWidget* owner = nullptr);

protected:
    bool checkFirstBox(DataSet& row) override;
};

}  // namespace tarvelo
