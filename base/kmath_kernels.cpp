// Matrix, quaternion and Euler kernels and the rotation-order conversions.
#include "base/kmath_kernels.h"

#include <cmath>

const int KmEulerAxis[12][3] = {
    {0, 1, 2}, {0, 1, 2}, // XYZ, XYX
    {0, 2, 1}, {0, 2, 1}, // XZY, XZX
    {1, 2, 0}, {1, 2, 0}, // YZX, YZY
    {1, 0, 2}, {1, 0, 2}, // YXZ, YXY
    {2, 0, 1}, {2, 0, 1}, // ZXY, ZXZ
    {2, 1, 0}, {2, 1, 0}, // ZYX, ZYZ
};

namespace {

// 1 / squared length of a 3x3 row; a zero row yields 0 so that its image stays zero
// instead of turning into infinities.
inline double InverseSquaredLength(const double* row)
{
    const double lSquared = row[0] * row[0] + row[1] * row[1] + row[2] * row[2];
    return lSquared > 0.0 ? 1.0 / lSquared : 0.0;
}

inline double Clamp1(double v)
{
    return v > 1.0 ? 1.0 : (v < -1.0 ? -1.0 : v);
}

// Copies a result computed apart into out (rows 0 to Rows - 1, columns 0 to
// Cols - 1), so that out may be one of the inputs.
template <int Rows, int Cols>
inline KRow4* Store(KRow4* out, const double (&r)[Rows][Cols])
{
    for (int i = 0; i < Rows; ++i)
        for (int j = 0; j < Cols; ++j)
            out[i][j] = r[i][j];
    return out;
}

// 3x3 = b3 . a3, with a3 read transposed when transposeA is set.
KRow4* RotationProduct(KRow4* out, const KRow4* a, const KRow4* b, bool transposeA)
{
    double r[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[i][j] = transposeA ? b[i][0] * a[j][0] + b[i][1] * a[j][1] + b[i][2] * a[j][2]
                                 : b[i][0] * a[0][j] + b[i][1] * a[1][j] + b[i][2] * a[2][j];
    return Store(out, r);
}

} // namespace

KRow4* KmXYZtoR(KRow4* m, double x, double y, double z)
{
    x *= K_DEG_TO_RAD;
    y *= K_DEG_TO_RAD;
    z *= K_DEG_TO_RAD;
    const double cx = std::cos(x), sx = std::sin(x);
    const double cy = std::cos(y), sy = std::sin(y);
    const double cz = std::cos(z), sz = std::sin(z);
    m[0][0] = cy * cz;
    m[0][1] = cy * sz;
    m[0][2] = -sy;
    m[1][0] = sx * sy * cz - cx * sz;
    m[1][1] = sx * sy * sz + cx * cz;
    m[1][2] = sx * cy;
    m[2][0] = cx * sy * cz + sx * sz;
    m[2][1] = cx * sy * sz - sx * cz;
    m[2][2] = cx * cy;
    return m;
}

KRow4* KmAi(KRow4* out, const KRow4* in)
{
    const double s0 = InverseSquaredLength(in[0]);
    const double s1 = InverseSquaredLength(in[1]);
    const double s2 = InverseSquaredLength(in[2]);
    double r[3][3];
    for (int c = 0; c < 3; ++c)
    {
        r[c][0] = in[0][c] * s0;
        r[c][1] = in[1][c] * s1;
        r[c][2] = in[2][c] * s2;
    }
    const double tx = in[3][0], ty = in[3][1], tz = in[3][2];
    for (int c = 0; c < 3; ++c)
    {
        out[0][c] = r[0][c];
        out[1][c] = r[1][c];
        out[2][c] = r[2][c];
        out[3][c] = -(tx * r[0][c] + ty * r[1][c] + tz * r[2][c]);
    }
    return out;
}

KRow4* KmRi(KRow4* out, const KRow4* in)
{
    const double m01 = in[0][1], m02 = in[0][2], m10 = in[1][0];
    const double m12 = in[1][2], m20 = in[2][0], m21 = in[2][1];
    out[0][0] = in[0][0];
    out[1][1] = in[1][1];
    out[2][2] = in[2][2];
    out[0][1] = m10;
    out[1][0] = m01;
    out[0][2] = m20;
    out[2][0] = m02;
    out[1][2] = m21;
    out[2][1] = m12;
    return out;
}

KRow4* KmAA(KRow4* out, const KRow4* a, const KRow4* b)
{
    double r[4][3];
    for (int row = 0; row < 4; ++row)
    {
        const double b0 = b[row][0], b1 = b[row][1], b2 = b[row][2];
        for (int c = 0; c < 3; ++c)
            r[row][c] = b0 * a[0][c] + b1 * a[1][c] + b2 * a[2][c];
    }
    r[3][0] += a[3][0];
    r[3][1] += a[3][1];
    r[3][2] += a[3][2];
    return Store(out, r);
}

KRow4* KmAiA(KRow4* out, const KRow4* a, const KRow4* b)
{
    const double s[3] = {InverseSquaredLength(a[0]), InverseSquaredLength(a[1]), InverseSquaredLength(a[2])};
    // The translation of b relative to a's origin.
    const double d[3] = {b[3][0] - a[3][0], b[3][1] - a[3][1], b[3][2] - a[3][2]};
    double r[4][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[i][j] = (b[i][0] * a[j][0] + b[i][1] * a[j][1] + b[i][2] * a[j][2]) * s[j];
    for (int j = 0; j < 3; ++j)
        r[3][j] = (d[0] * a[j][0] + d[1] * a[j][1] + d[2] * a[j][2]) * s[j];
    return Store(out, r);
}

KRow4* KmRR(KRow4* out, const KRow4* a, const KRow4* b)
{
    return RotationProduct(out, a, b, false);
}

KRow4* KmRiR(KRow4* out, const KRow4* a, const KRow4* b)
{
    return RotationProduct(out, a, b, true);
}

KRow4* KmRS(KRow4* out, const KRow4* in, const double* s)
{
    for (int i = 0; i < 3; ++i)
    {
        const double f = s[i];
        out[i][0] = in[i][0] * f;
        out[i][1] = in[i][1] * f;
        out[i][2] = in[i][2] * f;
    }
    return out;
}

KRow4* KmMM(KRow4* out, const KRow4* a, const KRow4* b)
{
    double r[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r[i][j] = b[i][0] * a[0][j] + b[i][1] * a[1][j] + b[i][2] * a[2][j] + b[i][3] * a[3][j];
    return Store(out, r);
}

KRow4* KmMt(KRow4* out, const KRow4* in)
{
    double r[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r[i][j] = in[j][i];
    return Store(out, r);
}

KRow4* KmIJKtoR(KRow4* out, double a1, double a2, double a3, int code)
{
    const int i = KmEulerAxis[code][0];
    const int j = KmEulerAxis[code][1];
    const int k = KmEulerAxis[code][2];
    a1 *= K_DEG_TO_RAD;
    a2 *= K_DEG_TO_RAD;
    a3 *= K_DEG_TO_RAD;
    if (code & 2)
    {
        // Odd permutation: the same formulas with the angles negated.
        a1 = -a1;
        a2 = -a2;
        a3 = -a3;
    }
    const double ci = std::cos(a1), si = std::sin(a1);
    const double cj = std::cos(a2), sj = std::sin(a2);
    const double ch = std::cos(a3), sh = std::sin(a3);
    const double cc = ci * ch, cs = ci * sh, sc = si * ch, ss = si * sh;
    if (code & 1)
    {
        out[i][i] = cj;
        out[j][i] = sj * si;
        out[k][i] = sj * ci;
        out[i][j] = sj * sh;
        out[j][j] = cc - cj * ss;
        out[k][j] = -cj * cs - sc;
        out[i][k] = -sj * ch;
        out[j][k] = cj * sc + cs;
        out[k][k] = cj * cc - ss;
    }
    else
    {
        out[i][i] = cj * ch;
        out[j][i] = sj * sc - cs;
        out[k][i] = sj * cc + ss;
        out[i][j] = cj * sh;
        out[j][j] = sj * ss + cc;
        out[k][j] = sj * cs - sc;
        out[i][k] = -sj;
        out[j][k] = cj * si;
        out[k][k] = cj * ci;
    }
    return out;
}

double* KmRtoVord(double* angles, const KRow4* in, int code)
{
    const int i = KmEulerAxis[code][0];
    const int j = KmEulerAxis[code][1];
    const int k = KmEulerAxis[code][2];
    // N[a][b] is the input read transposed.
#define N(a, b) in[b][a]
    double r0, r1, r2;
    if (code & 1)
    {
        const double sy = std::sqrt(N(i, j) * N(i, j) + N(i, k) * N(i, k));
        if (sy > 1.6e-9)
        {
            r0 = std::atan2(N(i, j), N(i, k));
            r1 = std::atan2(sy, N(i, i));
            r2 = std::atan2(N(j, i), -N(k, i));
        }
        else
        {
            r0 = std::atan2(-N(j, k), N(j, j));
            r1 = std::atan2(sy, N(i, i));
            r2 = 0.0;
        }
    }
    else
    {
        const double cy = std::sqrt(N(i, i) * N(i, i) + N(j, i) * N(j, i));
        if (cy > 1.6e-9)
        {
            r0 = std::atan2(N(k, j), N(k, k));
            r1 = std::atan2(-N(k, i), cy);
            r2 = std::atan2(N(j, i), N(i, i));
        }
        else
        {
            r0 = std::atan2(-N(j, k), N(j, j));
            r1 = std::atan2(-N(k, i), cy);
            r2 = 0.0;
        }
    }
#undef N
    r0 *= K_RAD_TO_DEG;
    r1 *= K_RAD_TO_DEG;
    r2 *= K_RAD_TO_DEG;
    if (code & 2)
    {
        r0 = -r0;
        r1 = -r1;
        r2 = -r2;
    }
    angles[0] = r0;
    angles[1] = r1;
    angles[2] = r2;
    return angles;
}

double* KmRtoVXYZ(double* angles, const KRow4* in)
{
    const double m = in[0][2];
    double x, y, z;
    if (m >= 0.999999)
    {
        x = std::atan2(-in[2][1], -in[2][0]) * K_RAD_TO_DEG;
        y = -90.0;
        z = 0.0;
    }
    else if (m <= -0.999999)
    {
        x = std::atan2(in[1][0], in[1][1]) * K_RAD_TO_DEG;
        y = 90.0;
        z = 0.0;
    }
    else
    {
        x = std::atan2(in[1][2], in[2][2]) * K_RAD_TO_DEG;
        y = -std::asin(m) * K_RAD_TO_DEG;
        z = std::atan2(in[0][1], in[0][0]) * K_RAD_TO_DEG;
    }
    angles[0] = x;
    angles[1] = y;
    angles[2] = z;
    return angles;
}

double* KmQQ(double* out, const double* a, const double* b)
{
    const double ax = a[0], ay = a[1], az = a[2], aw = a[3];
    const double bx = b[0], by = b[1], bz = b[2], bw = b[3];
    out[0] = ax * bw + aw * bx + ay * bz - az * by;
    out[1] = aw * by - ax * bz + ay * bw + az * bx;
    out[2] = ax * by + aw * bz - ay * bx + az * bw;
    out[3] = aw * bw - ax * bx - ay * by - az * bz;
    return out;
}

double* KmRtoQ(double* q, const KRow4* in)
{
    double t = (in[0][0] + in[1][1] + in[2][2] + 1.0) * 0.25;
    if (t > 1e-10)
    {
        const double w = std::sqrt(t);
        const double f = 0.25 / w;
        q[0] = (in[1][2] - in[2][1]) * f;
        q[1] = (in[2][0] - in[0][2]) * f;
        q[2] = (in[0][1] - in[1][0]) * f;
        q[3] = w;
        return q;
    }
    t = -(in[1][1] + in[2][2]) * 0.5;
    if (t > 1e-10)
    {
        const double x = std::sqrt(t);
        const double f = 0.5 / x;
        q[0] = x;
        q[1] = f * in[0][1];
        q[2] = f * in[0][2];
        q[3] = 0.0;
        return q;
    }
    t = (1.0 - in[2][2]) * 0.5;
    if (t > 1e-10)
    {
        const double y = std::sqrt(t);
        q[0] = 0.0;
        q[1] = y;
        q[2] = (0.5 / y) * in[1][2];
        q[3] = 0.0;
        return q;
    }
    // Nothing else applies: the half turn about Z.
    q[0] = 0.0;
    q[1] = 0.0;
    q[2] = 1.0;
    q[3] = 0.0;
    return q;
}

KRow4* KmQtoR(KRow4* out, const double* q)
{
    const double x = q[0], y = q[1], z = q[2], w = q[3];
    const double n = x * x + y * y + z * z + w * w;
    const double s = (n != 0.0) ? 2.0 / n : 0.0;
    const double xx = x * x * s, yy = y * y * s, zz = z * z * s;
    const double xy = x * y * s, xz = x * z * s, yz = y * z * s;
    const double wx = w * x * s, wy = w * y * s, wz = w * z * s;
    out[0][0] = 1.0 - yy - zz;
    out[0][1] = xy + wz;
    out[0][2] = xz - wy;
    out[1][0] = xy - wz;
    out[1][1] = 1.0 - xx - zz;
    out[1][2] = yz + wx;
    out[2][0] = xz + wy;
    out[2][1] = yz - wx;
    out[2][2] = 1.0 - xx - yy;
    return out;
}

// ---------------------------------------------------------------------------------
// KSSRotationOrder
// ---------------------------------------------------------------------------------

void KSSRotationOrder::M2V(KgeRVector& angles, const KgeRMatrix& m) const
{
    M2V(static_cast<double*>(angles), static_cast<const KRow4*>(m));
}

void KSSRotationOrder::M2V(double* v, const KRow4* m) const
{
    if (mOrder == 0)
    {
        KmRtoVXYZ(v, m);
        return;
    }
    if (mOrder != eSphericXYZ)
    {
        double t[3] = {0.0, 0.0, 0.0};
        KmRtoVord(t, m, mOrder);
        v[KmEulerAxis[mOrder][0]] = t[0];
        v[KmEulerAxis[mOrder][1]] = t[1];
        v[KmEulerAxis[mOrder][2]] = t[2];
        return;
    }

    // Spherical XYZ: a swing that carries the X axis onto row 0, then a twist about X.
    if (m[0][0] <= -0.9999999999)
    {
        v[0] = 180.0;
        v[1] = 180.0;
        v[2] = 180.0;
        return;
    }
    // Shortest rotation of the X axis onto row 0, normalised.
    double s[4] = {0.0, -m[0][2], m[0][1], 1.0 + m[0][0]};
    const double sLength = std::sqrt(s[1] * s[1] + s[2] * s[2] + s[3] * s[3]);
    s[1] /= sLength;
    s[2] /= sLength;
    s[3] /= sLength;

    // Y and Z such that the unnormalised swing (0, sin(Y/2), sin(Z/2), cos(Y/2)cos(Z/2))
    // points the same way as s.
    const double t = s[1] * s[1] * s[2] * s[2];
    double f = 1.0;
    if (t > 1e-10)
    {
        double root = 1.0 - 4.0 * t;
        if (root < 0.0)
            root = 0.0;
        f = std::sqrt((1.0 - std::sqrt(root)) * (0.5 / t));
    }
    v[2] = std::asin(Clamp1(f * s[2])) * K_2RAD_TO_DEG;
    v[1] = std::asin(Clamp1(f * s[1])) * K_2RAD_TO_DEG;

    // What remains after removing the swing is the twist about X.
    double q[4];
    KmRtoQ(q, m);
    const double sConjugate[4] = {-s[0], -s[1], -s[2], s[3]};
    KmQQ(q, sConjugate, q);
    const double qLength = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (qLength > 0.0)
    {
        q[0] /= qLength;
        q[1] /= qLength;
        q[2] /= qLength;
        q[3] /= qLength;
    }
    v[0] = std::atan2(2.0 * (q[3] * q[0] + q[1] * q[2]), 1.0 - 2.0 * (q[0] * q[0] + q[2] * q[2])) * K_RAD_TO_DEG;
}

void KSSRotationOrder::V2M(KgeRMatrix& m, const KgeRVector& angles) const
{
    V2M(static_cast<KRow4*>(m), static_cast<const double*>(angles));
}

void KSSRotationOrder::V2M(KRow4* m, const double* v) const
{
    if (mOrder == 0)
    {
        KmXYZtoR(m, v[0], v[1], v[2]);
        return;
    }
    if (mOrder != eSphericXYZ)
    {
        KmIJKtoR(m, v[KmEulerAxis[mOrder][0]], v[KmEulerAxis[mOrder][1]], v[KmEulerAxis[mOrder][2]], mOrder);
        return;
    }

    // Spherical XYZ: the unnormalised swing (0, s1, s2, c1.c2) times the twist
    // (s0, 0, 0, c0) about X, swing on the left; KmQtoR removes the length.
    const double h0 = v[0] * K_HALF_DEG_TO_RAD;
    const double h1 = v[1] * K_HALF_DEG_TO_RAD;
    const double h2 = v[2] * K_HALF_DEG_TO_RAD;
    const double c0 = std::cos(h0), s0 = std::sin(h0);
    const double c1 = std::cos(h1), s1 = std::sin(h1);
    const double c2 = std::cos(h2), s2 = std::sin(h2);
    const double q[4] = {s0 * c1 * c2, s0 * s2 + s1 * c0, c0 * s2 - s0 * s1, c0 * c1 * c2};
    KmQtoR(m, q);
}
