#ifndef QOX_FORMATS_KQOXKEPTVALUES_H
#define QOX_FORMATS_KQOXKEPTVALUES_H

// Points and normals placed in world space by the text writers, each
// coordinate kept as it is: an infinity, a NaN or a zero's sign in one
// coordinate neither spreads to the others nor is lost.

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "base/kmath_types.h"

namespace qoxsdk_600 {

// matrix.MultT(point), except that a matrix entry of zero adds nothing
// (where a product 0 × inf would be NaN) and the sum starts at -0, which
// adding leaves every value as it is (where 0 + -0 would lose the sign).
// Finite points away from zero give the very same doubles as MultT.
inline KQoxVector4 KQoxMultTKept(const KQoxXMatrix& matrix, const KQoxVector4& point)
{
    const KRow4* m = matrix;
    auto term = [](double value, double entry) { return entry == 0.0 ? -0.0 : value * entry; };
    double out[3];
    for (int c = 0; c < 3; ++c)
    {
        double sum = -0.0;
        sum += term(point.mData[0], m[0][c]);
        sum += term(point.mData[1], m[1][c]);
        sum += term(point.mData[2], m[2][c]);
        sum += m[3][c] == 0.0 ? -0.0 : m[3][c];
        out[c] = sum;
    }
    return KQoxVector4(out[0], out[1], out[2], 0.0);
}

// Scales X, Y, Z to unit length as KQoxVector4::Normalize does. A vector
// whose square length would overflow or vanish is brought near 1 first, so
// its direction is kept; one with an infinite or NaN coordinate has no
// length to divide by and stays as it is.
inline void KQoxNormalizeKept(KQoxVector4& v)
{
    double* d = v.mData;
    if (!std::isfinite(d[0]) || !std::isfinite(d[1]) || !std::isfinite(d[2]))
        return;
    const double square = v.SquareLength();
    if (!(square >= DBL_MIN && square <= DBL_MAX))
    {
        const double largest = std::max(std::fabs(d[0]), std::max(std::fabs(d[1]), std::fabs(d[2])));
        if (largest > 0.0)
            for (int i = 0; i < 3; ++i)
                d[i] /= largest;
    }
    v.Normalize();
}

} // namespace qoxsdk_600

#endif
