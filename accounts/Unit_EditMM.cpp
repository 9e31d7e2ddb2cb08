#include "accounts/Unit_EditMM.h"

#include <QLineEdit>

#include "data/DataSet.h"
#include "service/IISdm.h"

namespace tarvelo {

TFrm_EditMM::TFrm_EditMM(QWidget* owner)
    : TPasswordWindow(
          owner, QStringLiteral("Frm_EditMM"), QStringLiteral("修改密码"),
          {QStringLiteral("原密码:"), QStringLiteral("新密码:"), QStringLiteral("确认密码:")}, 97,
          true) {}

bool TFrm_EditMM::checkFirstBox(DataSet& row) {
    if (MaskEdit1->text().isEmpty()) {
        refuse("请输入原密码", MaskEdit1);
        return false;
    }
    // The stored forms are compared, never the typed text.
    if (IISdmPtr->StoredPassword(MaskEdit1->text().toStdString()) !=
        row.fieldByName("PASSWORD").asText()) {
        refuse("原密码不正确,请重新输入", MaskEdit1);
        return false;
    }
    return true;
}

}  // namespace tarvelo
