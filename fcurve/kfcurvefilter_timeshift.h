#ifndef QOX_FCURVE_KFCURVEFILTER_TIMESHIFT_H
#define QOX_FCURVE_KFCURVEFILTER_TIMESHIFT_H

// Time shift-and-scale filter: moves every key of a curve by a time offset,
// then stretches key times by a factor. It works on all keys; the filter's
// range is not read.

#include "fcurve/kfcurvefilters.h"

class KFCurveFilterTimeShiftAndScale : public KFCurveFilter
{
public:
    enum
    {
        eNoKey = 0,
        eLeftUnchanged = 1
    };

    KFCurveFilterTimeShiftAndScale();
    ~KFCurveFilterTimeShiftAndScale() override;

    using KFCurveFilter::Apply;
    // False with error 1 when neither a shift nor a scaling applies (a scale
    // of 1 or not above 0 does not scale), error 0 for a curve without keys.
    bool Apply(KFCurve& curve) override;

    virtual KTime& GetShift();
    virtual void SetShift(const KTime& shift);
    virtual double GetScale();
    virtual void SetScale(double scale);

private:
    KTime mShift;
    double mScale;
};

#endif
