#include "fcurve/kfcurveglobal.h"

#include "fcurve/kfcurvefilter_unroll.h"
#include "fcurve/kfcurvefilters.h"
#include "fcurve/kfcurvenode.h"

namespace {

// Constant-initialised: every value holds from load on, whatever the order
// in which other modules start.
KTime gsPlotPeriod(1539538600LL); // 1/30 s
int gsRotationFilterToApply = KFCURVE_ROTATION_FILTER_UNROLL;
double gsRotationFilterUnrollQuality = 0.25;
bool gsRotationFilterUnrollTestForPath = false;
double gsButterworthFilterInternalRate = 240.0;
bool gsUseConstantKeyReducer = true;
double gsConstantKeyReducerTranslationThreshold = 5e-13;
double gsConstantKeyReducerRotationThreshold = 0.0005;
double gsConstantKeyReducerScalingThreshold = 5e-13;
double gsConstantKeyReducerDefaultThreshold = 5e-13;
bool gsUseConstantKeyReducerOnDevices = true;
bool gsConstantKeyReducerKeepOneKey = true;
bool gsPlotOnFrame = true;
bool gsPlotTranslationOnRootOnly = false;
bool gsPreciseTimeDiscontinuities = false;

} // namespace

KTime KFCURVE_GetPlotPeriod()
{
    return gsPlotPeriod;
}
void KFCURVE_SetPlotPeriod(KTime period)
{
    gsPlotPeriod = period;
}

int KFCURVE_GetRotationFilterToApply()
{
    return gsRotationFilterToApply;
}
void KFCURVE_SetRotationFilterToApply(int filter)
{
    gsRotationFilterToApply = filter;
}

double KFCURVE_GetRotationFilterUnrollQuality()
{
    return gsRotationFilterUnrollQuality;
}
void KFCURVE_SetRotationFilterUnrollQuality(double quality)
{
    gsRotationFilterUnrollQuality = quality;
}
bool KFCURVE_GetRotationFilterUnrollTestForPath()
{
    return gsRotationFilterUnrollTestForPath;
}
void KFCURVE_SetRotationFilterUnrollTestForPath(bool test)
{
    gsRotationFilterUnrollTestForPath = test;
}

double KFCURVE_GetButterworthFilterInternalRate()
{
    return gsButterworthFilterInternalRate;
}
void KFCURVE_SetButterworthFilterInternalRate(double rate)
{
    gsButterworthFilterInternalRate = rate;
}

bool KFCURVE_GetUseConstantKeyReducer()
{
    return gsUseConstantKeyReducer;
}
void KFCURVE_SetUseConstantKeyReducer(bool use)
{
    gsUseConstantKeyReducer = use;
}
double KFCURVE_GetUseConstantKeyReducerTranslationThreshold()
{
    return gsConstantKeyReducerTranslationThreshold;
}
void KFCURVE_SetUseConstantKeyReducerTranslationThreshold(double threshold)
{
    gsConstantKeyReducerTranslationThreshold = threshold;
}
double KFCURVE_GetUseConstantKeyReducerRotationThreshold()
{
    return gsConstantKeyReducerRotationThreshold;
}
void KFCURVE_SetUseConstantKeyReducerRotationThreshold(double threshold)
{
    gsConstantKeyReducerRotationThreshold = threshold;
}
double KFCURVE_GetUseConstantKeyReducerScalingThreshold()
{
    return gsConstantKeyReducerScalingThreshold;
}
void KFCURVE_SetUseConstantKeyReducerScalingThreshold(double threshold)
{
    gsConstantKeyReducerScalingThreshold = threshold;
}
double KFCURVE_GetUseConstantKeyReducerDefaultThreshold()
{
    return gsConstantKeyReducerDefaultThreshold;
}
void KFCURVE_SetUseConstantKeyReducerDefaultThreshold(double threshold)
{
    gsConstantKeyReducerDefaultThreshold = threshold;
}
bool KFCURVE_GetUseConstantKeyReducerOnDevices()
{
    return gsUseConstantKeyReducerOnDevices;
}
void KFCURVE_SetUseConstantKeyReducerOnDevices(bool use)
{
    gsUseConstantKeyReducerOnDevices = use;
}
bool KFCURVE_GetConstantKeyReducerKeepOneKey()
{
    return gsConstantKeyReducerKeepOneKey;
}
void KFCURVE_SetConstantKeyReducerKeepOneKey(bool keep)
{
    gsConstantKeyReducerKeepOneKey = keep;
}

bool KFCURVE_GetPlotOnFrame()
{
    return gsPlotOnFrame;
}
void KFCURVE_SetPlotOnFrame(bool onFrame)
{
    gsPlotOnFrame = onFrame;
}
bool KFCURVE_GetPlotTranslationOnRootOnly()
{
    return gsPlotTranslationOnRootOnly;
}
void KFCURVE_SetPlotTranslationOnRootOnly(bool rootOnly)
{
    gsPlotTranslationOnRootOnly = rootOnly;
}
bool KFCURVE_GetPreciseTimeDiscontinuities()
{
    return gsPreciseTimeDiscontinuities;
}
void KFCURVE_SetPreciseTimeDiscontinuities(bool precise)
{
    gsPreciseTimeDiscontinuities = precise;
}

void KFCURVE_ApplyRotationFilter(KFCurveNode* node, KTime start, KTime stop)
{
    if (!node)
        return;
    switch (gsRotationFilterToApply)
    {
    case KFCURVE_ROTATION_FILTER_GIMBLE_KILLER:
    {
        KFCurveFilterGimbleKiller filter;
        filter.SetStartTime(start);
        filter.SetStopTime(stop);
        filter.Apply(*node, true);
        break;
    }
    case KFCURVE_ROTATION_FILTER_UNROLL:
    {
        KFCurveFilterUnroll filter;
        filter.SetStartTime(start);
        filter.SetStopTime(stop);
        filter.Apply(*node, true);
        break;
    }
    default: break;
    }
}
