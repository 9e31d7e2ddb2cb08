#pragma once

#include <string_view>

#include "accounts/PasswordWindow.h"
#include "data/DataSet.h"
#include "text/StatementBuffer.h"

namespace tarvelo {

// The password reset: the account's e-mail address, the new password twice and the code the
// service mails to that address. The service checks the address and the code; the first "确定"
// with the code box empty asks it to mail one, a later one with the code sets the password.
class TFrm_SetMM : public TPasswordWindow {
    Q_OBJECT
public:
    explicit TFrm_SetMM(QWidget* owner = nullptr);

    QLineEdit* CodeEdit;  // "验证码": six digits from the mail
    StatementBuffer ADOQuery1;

    void FormShow() override;

protected:
    // The e-mail, then the code: asks for one, or checks the one typed has six digits.
    bool checkFirstBox(DataSet& row) override;
    // The proof: the account, its e-mail and the code, which the service must find.
    bool checkBeforeWrite(DataSet& row) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whether the service finds the account of `row` with the e-mail typed and, when one is
    // given, the code. Asking without a code makes the service mail one to a matching address.
    // A failed call or an answer that is no packet raises tarvelo::Error.
    bool serviceFinds(DataSet& row, std::string_view code);

    DataSet m_found;  // the answer of serviceFinds, emptied again at once
};

}  // namespace tarvelo
