#include "fcurve/kfcurvefilter_timeshift.h"

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurveutils.h"

namespace {

const char* const kTimeShiftMessages[] = {"No key", "Left unchanged"};

} // namespace

// The range is left at zero: this filter never reads it.
KFCurveFilterTimeShiftAndScale::KFCurveFilterTimeShiftAndScale()
    : KFCurveFilter("TimeShiftAndScaleFilter", kTimeShiftMessages, 2)
    , mShift(0)
    , mScale(1.0)
{}

KFCurveFilterTimeShiftAndScale::~KFCurveFilterTimeShiftAndScale() = default;

KTime& KFCurveFilterTimeShiftAndScale::GetShift()
{
    return mShift;
}

void KFCurveFilterTimeShiftAndScale::SetShift(const KTime& shift)
{
    mShift = shift;
}

double KFCurveFilterTimeShiftAndScale::GetScale()
{
    return mScale;
}

void KFCurveFilterTimeShiftAndScale::SetScale(double scale)
{
    mScale = scale;
}

bool KFCurveFilterTimeShiftAndScale::Apply(KFCurve& curve)
{
    const bool scaling = mScale > 0.0 && mScale != 1.0;
    if (mShift == KTime(0) && !scaling)
    {
        mError.SetLastError(eLeftUnchanged, "TimeShiftAndScaleFilter, No key were changed by filter.");
        return false;
    }
    const int count = curve.KeyGetCount();
    if (count == 0)
    {
        mError.SetLastError(eNoKey, "TimeShiftAndScaleFilter, No key to be filtered.");
        return false;
    }

    curve.KeyModifyBegin();
    for (int i = 0; i < count; ++i)
    {
        // Saturated, so that keys near the ends of the tick range keep their order.
        KTime time = kfcurveutils_detail::SaturatedAdd(curve.KeyGetTime(i), mShift.Get());
        if (scaling)
            time.SetSecondDouble(time.GetSecondDouble() * mScale);
        curve.KeySetTime(i, time);
    }
    curve.CallbackAddEvent(KFCURVEEVENT_KEY, -1);
    curve.KeyModifyEnd();
    return true;
}
