#include "fcurve/kfcurvefilter_resample.h"

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurveutils.h"

namespace {

const char* const kResampleMessages[] = {"Bad Period", "Bad Interval"};

} // namespace

KFCurveFilterResample::KFCurveFilterResample()
    : KFCurveFilter("FCurve Resample", kResampleMessages, 2)
    , mKeysOnFrame(false)
    , mPeriod(0)
    , mIntelligentMode(false)
{
    KFCurveFilterResample::Reset();
}

KFCurveFilterResample::~KFCurveFilterResample() = default;

void KFCurveFilterResample::Reset()
{
    mKeysOnFrame = false;
    mPeriod.SetTime(0, 0, 0, 1, 0, 0);
    mIntelligentMode = false;
    KFCurveFilter::Reset();
}

void KFCurveFilterResample::SetKeysOnFrame(bool keysOnFrame)
{
    mKeysOnFrame = keysOnFrame;
}

bool KFCurveFilterResample::GetKeysOnFrame()
{
    return mKeysOnFrame;
}

KTime KFCurveFilterResample::GetPeriodTime()
{
    return mPeriod;
}

void KFCurveFilterResample::SetPeriodTime(const KTime& period)
{
    mPeriod = period;
}

void KFCurveFilterResample::SetIntelligentMode(bool intelligent)
{
    mIntelligentMode = intelligent;
}

bool KFCurveFilterResample::GetIntelligentMode()
{
    return mIntelligentMode;
}

bool KFCurveFilterResample::Apply(KFCurve& curve)
{
    if (mPeriod <= KTime(0))
    {
        mError.SetLastError(eBadPeriod, "Bad Period");
        return false;
    }

    const int count = curve.KeyGetCount();
    KTime start = mStart;
    KTime stop = mStop;
    if (start <= KTIME_MINUS_INFINITE && count > 0)
        start = curve.KeyGetTime(0);
    if (stop >= KTIME_INFINITE && count > 0)
        stop = curve.KeyGetTime(count - 1);
    if (start <= KTIME_MINUS_INFINITE || stop >= KTIME_INFINITE)
    {
        mError.SetLastError(eBadInterval, "Bad Interval");
        return false;
    }

    // Keys on frame: a start past the first period that is not on a period
    // moves up to the next whole period.
    if (mKeysOnFrame && start.Get() % mPeriod.Get() != 0)
    {
        const long long multiple = (start.Get() / mPeriod.Get()) * mPeriod.Get();
        if (multiple > 0)
        {
            long long moved;
            if (__builtin_add_overflow(multiple, mPeriod.Get(), &moved))
            {
                mError.SetLastError(eBadInterval, "Bad Interval");
                return false;
            }
            start = KTime(moved);
        }
    }
    if (stop <= start)
    {
        mError.SetLastError(eBadInterval, "Bad Interval");
        return false;
    }

    KFCurve original;
    original.CopyFrom(curve, true);
    KFCurve resampled;
    resampled.CopyFrom(curve, false);

    const bool done = mIntelligentMode
                          ? KFCurveUtils::Resample(original, resampled, start, stop, mPeriod, true)
                          : KFCurveUtils::Resample(original, resampled, start, stop, mPeriod,
                                                   KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, true);
    if (!done)
    {
        // The range holds more samples than one pass may make.
        mError.SetLastError(eBadInterval, "Bad Interval");
        return false;
    }
    KFCurveUtils::Merge(original, resampled, curve);
    return true;
}
