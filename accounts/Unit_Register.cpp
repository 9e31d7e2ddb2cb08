#include "accounts/Unit_Register.h"

namespace tarvelo {

TFrm_Register::TFrm_Register(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("Frm_Register"));
    setWindowTitle(QStringLiteral("Frm_Register"));
    resize(523, 273);
}

}  // namespace tarvelo
