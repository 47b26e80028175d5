#ifndef QOX_FCURVE_KFCURVEFILTER_RESAMPLE_H
#define QOX_FCURVE_KFCURVEFILTER_RESAMPLE_H

// Resample filter: replaces the keys of a curve inside the filter's range by
// keys at a fixed period and keeps the keys outside it.

#include "fcurve/kfcurvefilters.h"

class KFCurveFilterResample : public KFCurveFilter
{
public:
    enum
    {
        eBadPeriod = 0,
        eBadInterval = 1
    };

    KFCurveFilterResample();
    ~KFCurveFilterResample() override;

    using KFCurveFilter::Apply;
    // Resamples the range (the first to the last key for an open range end);
    // false with error 0 for a period that is not positive, error 1 for an
    // empty or open range. The curve is untouched on failure.
    bool Apply(KFCurve& curve) override;
    // Keys on frame off, one frame of the current global time mode, intelligent
    // mode off, range minus infinity to infinity.
    void Reset() override;

    // With keys on frame, a range start between two periods (and past the
    // first one) moves up to the next whole period.
    virtual void SetKeysOnFrame(bool keysOnFrame);
    virtual bool GetKeysOnFrame();
    virtual KTime GetPeriodTime();
    virtual void SetPeriodTime(const KTime& period);

    // Intelligent mode: each resampled key takes the kind of the source key
    // it falls after, instead of cubic auto.
    void SetIntelligentMode(bool intelligent);
    bool GetIntelligentMode();

private:
    bool mKeysOnFrame;
    KTime mPeriod;
    bool mIntelligentMode;
};

#endif
