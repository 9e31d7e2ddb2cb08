#include "accounts/Unit_SetMM.h"

#include <QLineEdit>

#include "data/DataSet.h"

namespace tarvelo {

TFrm_SetMM::TFrm_SetMM(QWidget* owner)
    : TPasswordWindow(
          owner, QStringLiteral("Frm_SetMM"), QStringLiteral("重置密码"),
          {QStringLiteral("邮箱"), QStringLiteral("新密码"), QStringLiteral("确认密码")}, 177,
          false) {}

bool TFrm_SetMM::checkFirstBox(DataSet& row) {
    if (MaskEdit1->text().isEmpty()) {
        refuse("请输入邮箱", MaskEdit1);
        return false;
    }
    if (MaskEdit1->text().toStdString() != row.fieldByName("EMAIL").asText()) {
        refuse("该用户名和邮箱不匹配,请重新输入", MaskEdit1);
        return false;
    }
    return true;
}

}  // namespace tarvelo
