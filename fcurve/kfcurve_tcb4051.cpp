// The program-wide TCB evaluation mode.

#include "fcurve/kfcurve_tcb4051.h"

bool gsTCB4051EvalMode = false;

bool KFCURVE_GetTCB4051EvalMode()
{
    return gsTCB4051EvalMode;
}

void KFCURVE_SetTCB4051EvalMode(bool on)
{
    gsTCB4051EvalMode = on;
}
