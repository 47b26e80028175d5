// Matrix helpers shared by the node's matrix and pivot code: affine copies,
// signed axis lengths and the pure rotation of a 3x3 part.
#ifndef QOX_SCENE_KQOXNODE_MATH_H
#define QOX_SCENE_KQOXNODE_MATH_H

#include <cmath>

#include "base/kmath_kernels.h"
#include "base/kmath_types.h"

namespace qoxsdk_600 {
namespace nodemath {

// Copies the 3x3 part and the translation row; the fourth column stays.
inline void CopyAffine(KRow4* to, const KRow4* from)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            to[r][c] = from[r][c];
}

// Signed axis lengths: the row lengths, all negated when the 3x3 determinant
// is negative (or not a number).
inline void SignedAxisLengths(const KRow4* m, double* lengths)
{
    const double d = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * m[2][0] +
                     (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * m[2][1] +
                     (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * m[2][2];
    for (int i = 0; i < 3; ++i)
    {
        const double s = m[i][0] * m[i][0] + m[i][1] * m[i][1] + m[i][2] * m[i][2];
        lengths[i] = s == 0.0 ? 0.0 : std::sqrt(s);
    }
    if (!(d >= 0.0))
        for (int i = 0; i < 3; ++i)
            lengths[i] = -lengths[i];
}

// Euler XYZ degrees of the rotation left when each row is divided by its
// signed length.
inline void RotationAngles(const KRow4* m, double* angles)
{
    double lengths[3];
    SignedAxisLengths(m, lengths);
    KgeRMatrix r;
    for (int i = 0; i < 3; ++i)
    {
        const double inverse = 1.0 / lengths[i];
        for (int j = 0; j < 3; ++j)
            r.mData[i][j] = m[i][j] * inverse;
    }
    KmRtoVXYZ(angles, r.mData);
}

// The exact rotation rebuilt from a matrix's Euler angles (shear dropped);
// only the 3x3 part of out is written.
inline void PureRotation(const KRow4* m, KRow4* out)
{
    double angles[3];
    RotationAngles(m, angles);
    KmXYZtoR(out, angles[0], angles[1], angles[2]);
}

} // namespace nodemath
} // namespace qoxsdk_600

#endif
