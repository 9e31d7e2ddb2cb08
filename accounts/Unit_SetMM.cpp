#include "accounts/Unit_SetMM.h"

namespace tarvelo {

TFrm_SetMM::TFrm_SetMM(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("Frm_SetMM"));
    setWindowTitle(QStringLiteral("重置密码"));
    resize(400, 240);
}

}  // namespace tarvelo
