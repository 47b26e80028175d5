#ifndef QOX_FCURVE_KFCURVEGLOBAL_H
#define QOX_FCURVE_KFCURVEGLOBAL_H

// Process-wide curve settings that readers, writers and filters consult when
// they bake, reduce or clean up animation. Each is one value with a getter
// and a setter; the values hold their defaults until a setter changes them.
// Setters store what they are given, unchecked. The TCB 4051 evaluation mode
// lives with the curve itself (fcurve/kfcurve_tcb4051.h).

#include "base/ktime.h"
#include "fcurve/kfcurve_tcb4051.h"

class KFCurveNode;

// Rotation filter codes of KFCURVE_Get/SetRotationFilterToApply; any other
// value means no rotation filter.
enum
{
    KFCURVE_ROTATION_FILTER_NONE = 0,
    KFCURVE_ROTATION_FILTER_GIMBLE_KILLER = 1,
    KFCURVE_ROTATION_FILTER_UNROLL = 2
};

// Sampling period of time-warp merges (default 1/30 s).
KTime KFCURVE_GetPlotPeriod();
void KFCURVE_SetPlotPeriod(KTime period);

// Rotation filter run by KFCURVE_ApplyRotationFilter (default 2, unroll).
int KFCURVE_GetRotationFilterToApply();
void KFCURVE_SetRotationFilterToApply(int filter);

// Settings an unroll filter copies when it is built or reset.
double KFCURVE_GetRotationFilterUnrollQuality();
void KFCURVE_SetRotationFilterUnrollQuality(double quality);
bool KFCURVE_GetRotationFilterUnrollTestForPath();
void KFCURVE_SetRotationFilterUnrollTestForPath(bool test);

double KFCURVE_GetButterworthFilterInternalRate();
void KFCURVE_SetButterworthFilterInternalRate(double rate);

bool KFCURVE_GetUseConstantKeyReducer();
void KFCURVE_SetUseConstantKeyReducer(bool use);
double KFCURVE_GetUseConstantKeyReducerTranslationThreshold();
void KFCURVE_SetUseConstantKeyReducerTranslationThreshold(double threshold);
double KFCURVE_GetUseConstantKeyReducerRotationThreshold();
void KFCURVE_SetUseConstantKeyReducerRotationThreshold(double threshold);
double KFCURVE_GetUseConstantKeyReducerScalingThreshold();
void KFCURVE_SetUseConstantKeyReducerScalingThreshold(double threshold);
double KFCURVE_GetUseConstantKeyReducerDefaultThreshold();
void KFCURVE_SetUseConstantKeyReducerDefaultThreshold(double threshold);
bool KFCURVE_GetUseConstantKeyReducerOnDevices();
void KFCURVE_SetUseConstantKeyReducerOnDevices(bool use);
bool KFCURVE_GetConstantKeyReducerKeepOneKey();
void KFCURVE_SetConstantKeyReducerKeepOneKey(bool keep);

bool KFCURVE_GetPlotOnFrame();
void KFCURVE_SetPlotOnFrame(bool onFrame);
bool KFCURVE_GetPlotTranslationOnRootOnly();
void KFCURVE_SetPlotTranslationOnRootOnly(bool rootOnly);
bool KFCURVE_GetPreciseTimeDiscontinuities();
void KFCURVE_SetPreciseTimeDiscontinuities(bool precise);

// Runs the selected rotation filter (gimbal killer or unroll) over
// [start, stop] on a rotation curve node and its subtree; results and errors
// are discarded. Any other filter code, or a null node, does nothing.
void KFCURVE_ApplyRotationFilter(KFCurveNode* node, KTime start, KTime stop);

#endif
