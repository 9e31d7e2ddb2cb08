#include "accounts/Unit_EditMM.h"

namespace tarvelo {

TFrm_EditMM::TFrm_EditMM(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("Frm_EditMM"));
    setWindowTitle(QStringLiteral("修改密码"));
    resize(400, 240);
}

}  // namespace tarvelo
