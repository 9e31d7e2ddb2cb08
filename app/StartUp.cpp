#include "app/StartUp.h"

#include "about/About.h"
#include "accounts/Unit_EditMM.h"
#include "accounts/Unit_ProcGrant.h"
#include "accounts/Unit_Register.h"
#include "accounts/Unit_SetMM.h"
#include "app/Globals.h"
#include "browser/KVR_Main.h"
#include "signin/Login.h"

namespace tarvelo {

namespace {
// The windows created at start-up have no owner window; they are deleted at the end.
QList<QPointer<QWidget>>& startUpWindows() {
    static QList<QPointer<QWidget>> windows;
    return windows;
}

template <typename T>
T* make(QPointer<T>& global) {
    auto* w = new T(nullptr);
    global = w;
    startUpWindows().append(w);
    return w;
}
}  // namespace

void createWindows() {
    make(Tarvelo);
    make(KVR_MainForm);
    make(Frm_EditMM);
    make(Frm_Register);
    make(Frm_SetMM);
    make(AboutBox);
    make(Frm_ProcGrant);
}

void destroyWindows() {
    // The login window goes last: it owns the data access module that others may still use.
    auto& windows = startUpWindows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (*it && !qobject_cast<TTarvelo*>(it->data())) delete it->data();
    for (auto& w : windows)
        delete w.data();
    windows.clear();
}

}  // namespace tarvelo
