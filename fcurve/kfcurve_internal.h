#ifndef QOX_FCURVE_KFCURVE_INTERNAL_H
#define QOX_FCURVE_KFCURVE_INTERNAL_H

// Helpers shared by the curve's source files.

#include "fcurve/kfcurve.h"

namespace kfcurve_detail {

inline KTime TimeFromSeconds(double seconds)
{
    KTime t;
    t.SetSecondDouble(seconds);
    return t;
}

// Tangent-mode families of a cubic key.
inline bool IsCubic(const KFCurveKey& k)
{
    return k.GetInterpolation() == KFCURVE_INTERPOLATION_CUBIC;
}
inline bool IsAutoMode(unsigned int mode)
{
    return mode == KFCURVE_TANGEANT_AUTO || mode == KFCURVE_TANGEANT_AUTO_BREAK;
}
inline bool IsUserMode(unsigned int mode)
{
    return mode == KFCURVE_TANGEANT_USER || mode == KFCURVE_TANGEANT_BREAK;
}
inline bool IsTcbMode(unsigned int mode)
{
    return mode == KFCURVE_TANGEANT_TCB;
}

// Adds with saturation at the ends of the tick range.
inline KTime SaturatedAdd(KTime time, long long delta)
{
    long long r;
    if (__builtin_add_overflow(time.Get(), delta, &r))
        r = delta > 0 ? 0x7FFFFFFFFFFFFFFFLL : static_cast<long long>(0x8000000000000000ULL);
    return KTime(r);
}

} // namespace kfcurve_detail

#endif
