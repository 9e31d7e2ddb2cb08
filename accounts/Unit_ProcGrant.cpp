#include "accounts/Unit_ProcGrant.h"

namespace tarvelo {

TFrm_ProcGrant::TFrm_ProcGrant(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("Frm_ProcGrant"));
    setWindowTitle(QStringLiteral("Frm_ProcGrant"));
    resize(992, 667);
}

}  // namespace tarvelo
