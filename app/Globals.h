#pragma once

#include <QPointer>

namespace tarvelo {

class TTarvelo;
class TKVR_MainForm;
class TFrm_Register;
class TFrm_EditMM;
class TFrm_SetMM;
class TFrm_ProcGrant;
class TAboutBox;

// The program's references to its windows. Guarded: each becomes null when its window goes
// away. The data access module's reference, IISdmPtr, lives with the module (service/IISdm.h).
inline QPointer<TTarvelo> Tarvelo;
inline QPointer<TKVR_MainForm> KVR_MainForm;
inline QPointer<TFrm_Register> Frm_Register;
inline QPointer<TFrm_EditMM> Frm_EditMM;
inline QPointer<TFrm_SetMM> Frm_SetMM;
inline QPointer<TFrm_ProcGrant> Frm_ProcGrant;
inline QPointer<TAboutBox> AboutBox;

}  // namespace tarvelo
