#ifndef QOX_FCURVE_KFCURVE_TCB4051_H
#define QOX_FCURVE_KFCURVE_TCB4051_H

// Program-wide TCB evaluation mode: when on, the left derivative of a cubic
// TCB key equals its right derivative. Off by default.

extern bool gsTCB4051EvalMode;

bool KFCURVE_GetTCB4051EvalMode();
void KFCURVE_SetTCB4051EvalMode(bool on);

#endif
