// Matrix, quaternion and Euler kernels and the rotation-order conversions.
#include "base/kmath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

const double kPi = 3.14159265358979323846;

// A 4x4 with every element set to a recognisable value, to see what a kernel writes.
void FillSentinel(double m[4][4], double value = 77.0)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m[r][c] = value;
}

void Expect3x3Near(const double a[4][4], const double b[4][4], double tol = 1e-12)
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(a[r][c], b[r][c], tol) << "element " << r << "," << c;
}

void ExpectAffineNear(const double a[4][4], const double b[4][4], double tol = 1e-12)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(a[r][c], b[r][c], tol) << "element " << r << "," << c;
}

void ExpectAnglesNear(const double* a, double x, double y, double z, double tol = 1e-9)
{
    EXPECT_NEAR(a[0], x, tol);
    EXPECT_NEAR(a[1], y, tol);
    EXPECT_NEAR(a[2], z, tol);
}

// Elementary rotations about one axis (row-vector convention), built independently
// of the kernels.
void Elementary(double out[4][4], int axis, double degrees)
{
    FillSentinel(out, 0.0);
    out[3][3] = 1.0;
    const double t = degrees * kPi / 180.0;
    const double c = std::cos(t), s = std::sin(t);
    const int a = (axis + 1) % 3, b = (axis + 2) % 3;
    out[axis][axis] = 1.0;
    out[a][a] = c;
    out[a][b] = s;
    out[b][a] = -s;
    out[b][b] = c;
}

// Plain product of 3x3 parts: out = x . y.
void Mul3(double out[4][4], const double x[4][4], const double y[4][4])
{
    double r[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[i][j] = x[i][0] * y[0][j] + x[i][1] * y[1][j] + x[i][2] * y[2][j];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            out[i][j] = r[i][j];
}

// E_first(a) . E_second(b) . E_third(c).
void ProductOfElementary(double out[4][4], int first, double a, int second, double b, int third, double c)
{
    double e1[4][4], e2[4][4], e3[4][4];
    Elementary(e1, first, a);
    Elementary(e2, second, b);
    Elementary(e3, third, c);
    FillSentinel(out, 0.0);
    Mul3(out, e1, e2);
    Mul3(out, out, e3);
}

// A rotation with scale (2, 3, 4) and translation (5, -6, 7).
void ScaledTransform(double m[4][4])
{
    FillSentinel(m, 0.0);
    KmXYZtoR(m, 20.0, -35.0, 110.0);
    const double s[3] = {2.0, 3.0, 4.0};
    KmRS(m, m, s);
    m[3][0] = 5.0;
    m[3][1] = -6.0;
    m[3][2] = 7.0;
    m[3][3] = 1.0;
}

// Brings an angle into (-180, 180].
double Wrap(double a)
{
    while (a > 180.0)
        a -= 360.0;
    while (a <= -180.0)
        a += 360.0;
    return a;
}

} // namespace

TEST(KMathKernels, XYZtoRWritesTheXYZRuleAndOnlyThe3x3Part)
{
    double m[4][4];
    FillSentinel(m);
    EXPECT_EQ(KmXYZtoR(m, 90.0, 0.0, 0.0), m);
    const double expected[4][4] = {{1, 0, 0, 77}, {0, 0, 1, 77}, {0, -1, 0, 77}, {77, 77, 77, 77}};
    Expect3x3Near(m, expected);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(m[i][3], 77.0);
        EXPECT_EQ(m[3][i], 77.0);
    }
    EXPECT_EQ(m[3][3], 77.0);

    // Rx . Ry . Rz with X acting first.
    double product[4][4];
    ProductOfElementary(product, 0, 30.0, 1, -50.0, 2, 125.0);
    KmXYZtoR(m, 30.0, -50.0, 125.0);
    Expect3x3Near(m, product);
}

TEST(KMathKernels, EulerAxisTableFollowsTheCodeBits)
{
    const int expected[12][3] = {{0, 1, 2}, {0, 1, 2}, {0, 2, 1}, {0, 2, 1}, {1, 2, 0}, {1, 2, 0},
                                 {1, 0, 2}, {1, 0, 2}, {2, 0, 1}, {2, 0, 1}, {2, 1, 0}, {2, 1, 0}};
    for (int code = 0; code < 12; ++code)
    {
        for (int a = 0; a < 3; ++a)
            EXPECT_EQ(KmEulerAxis[code][a], expected[code][a]) << "code " << code;
        EXPECT_EQ(KmEulerAxis[code][0], code / 4);
        // Bit 1 is set exactly for the odd permutations.
        const bool odd = (KmEulerAxis[code][1] != (KmEulerAxis[code][0] + 1) % 3);
        EXPECT_EQ(odd, (code & 2) != 0) << "code " << code;
    }
}

TEST(KMathKernels, IJKtoRBuildsTheElementaryProductForEveryCode)
{
    const double angles[][3] = {{23.0, 41.0, -67.0}, {-150.0, 12.5, 80.0}, {0.0, 170.0, -3.0}};
    for (int code = 0; code < 12; ++code)
    {
        const int i = KmEulerAxis[code][0], j = KmEulerAxis[code][1], k = KmEulerAxis[code][2];
        const int third = (code & 1) ? i : k;
        for (const auto& a : angles)
        {
            double expected[4][4], m[4][4];
            ProductOfElementary(expected, i, a[0], j, a[1], third, a[2]);
            FillSentinel(m);
            EXPECT_EQ(KmIJKtoR(m, a[0], a[1], a[2], code), m);
            Expect3x3Near(m, expected);
            for (int n = 0; n < 3; ++n)
            {
                EXPECT_EQ(m[n][3], 77.0);
                EXPECT_EQ(m[3][n], 77.0);
            }
        }
    }
    // Code 0 is the XYZ rule.
    double a[4][4], b[4][4];
    KmIJKtoR(a, 10.0, 20.0, 30.0, 0);
    KmXYZtoR(b, 10.0, 20.0, 30.0);
    Expect3x3Near(a, b);
}

TEST(KMathKernels, RtoVordInvertsIJKtoRForDistinctAxes)
{
    const double angles[][3] = {{23.0, 41.0, -67.0}, {-150.0, -89.0, 80.0}, {179.0, 0.5, -179.0}, {0, 0, 0}};
    for (int code = 0; code < 12; code += 2)
        for (const auto& a : angles)
        {
            double m[4][4], back[3];
            KmIJKtoR(m, a[0], a[1], a[2], code);
            EXPECT_EQ(KmRtoVord(back, m, code), back);
            ExpectAnglesNear(back, a[0], a[1], a[2], 1e-8);
        }
}

TEST(KMathKernels, RtoVordGivesAnEquivalentTripleForRepeatedAxes)
{
    for (int code = 1; code < 12; code += 2)
    {
        // Middle angle in (0, 180) before the parity sign: the same triple comes back.
        const double a[3] = {35.0, (code & 2) ? -120.0 : 120.0, -60.0};
        double m[4][4], back[3];
        KmIJKtoR(m, a[0], a[1], a[2], code);
        KmRtoVord(back, m, code);
        ExpectAnglesNear(back, a[0], a[1], a[2], 1e-8);

        // A negative middle angle comes back as an equivalent triple.
        const double n[3] = {35.0, (code & 2) ? 70.0 : -70.0, -60.0};
        double m2[4][4], m3[4][4];
        KmIJKtoR(m2, n[0], n[1], n[2], code);
        KmRtoVord(back, m2, code);
        KmIJKtoR(m3, back[0], back[1], back[2], code);
        Expect3x3Near(m3, m2, 1e-12);
        if (code == 1)
        {
            ExpectAnglesNear(back, Wrap(35.0 + 180.0), 70.0, Wrap(-60.0 + 180.0), 1e-8);
        }
    }
}

TEST(KMathKernels, RtoVordGimbalBranches)
{
    double m[4][4], a[3];
    // Distinct axes, middle angle exactly 90: the third angle is 0 and the first
    // absorbs it.
    KmIJKtoR(m, 30, 90, 20, 0);
    KmRtoVord(a, m, 0);
    ExpectAnglesNear(a, 10, 90, 0, 1e-9);
    EXPECT_EQ(a[2], 0.0);
    // Repeated axis, middle angle 0: one turn about X by the sum.
    KmIJKtoR(m, 25, 0, 40, 1);
    KmRtoVord(a, m, 1);
    ExpectAnglesNear(a, 65, 0, 0, 1e-9);
    EXPECT_EQ(a[2], 0.0);
    // The same through the parity sign (code 3, X Z X).
    KmIJKtoR(m, 25, 0, 40, 3);
    KmRtoVord(a, m, 3);
    ExpectAnglesNear(a, 65, 0, 0, 1e-9);
}

TEST(KMathKernels, RtoVXYZGimbalBranches)
{
    double m[4][4], a[3];

    // Y = 89.99: m[0][2] = -0.999999985 takes the +90 branch; X absorbs Z.
    KmXYZtoR(m, 30.0, 89.99, 20.0);
    EXPECT_NEAR(m[0][2], -0.999999985, 1e-9);
    EXPECT_EQ(KmRtoVXYZ(a, m), a);
    ExpectAnglesNear(a, 10.0, 90.0, 0.0, 1e-6);
    EXPECT_EQ(a[1], 90.0);
    EXPECT_EQ(a[2], 0.0);
    // KmRtoVord's threshold is on cy, so it still recovers the angles.
    KmRtoVord(a, m, 0);
    ExpectAnglesNear(a, 30.0, 89.99, 20.0, 1e-6);

    // Y = -90: m[0][2] = 1 takes the -90 branch.
    KmXYZtoR(m, 30.0, -90.0, 20.0);
    KmRtoVXYZ(a, m);
    ExpectAnglesNear(a, 50.0, -90.0, 0.0, 1e-9);
    KmXYZtoR(m, 10.0, -90.0, 20.0);
    KmRtoVXYZ(a, m);
    ExpectAnglesNear(a, 30.0, -90.0, 0.0, 1e-9);

    // (0, 90, 0): m[0][2] is -1.
    KmXYZtoR(m, 0.0, 90.0, 0.0);
    EXPECT_NEAR(m[0][2], -1.0, 1e-15);
    KmRtoVXYZ(a, m);
    ExpectAnglesNear(a, 0.0, 90.0, 0.0, 1e-12);

    // The thresholds themselves: 0.999999 is inside the branch, just below is not.
    double t[4][4] = {{0, 0, 0.999999, 0}, {0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 0, 1}};
    KmRtoVXYZ(a, t);
    EXPECT_EQ(a[1], -90.0);
    EXPECT_EQ(a[2], 0.0);
    EXPECT_NEAR(a[0], 0.0, 1e-12); // atan2(-0, 1)
    t[0][2] = -0.999999;
    KmRtoVXYZ(a, t);
    EXPECT_EQ(a[1], 90.0);
    t[0][2] = 0.9999989;
    KmRtoVXYZ(a, t);
    EXPECT_NEAR(a[1], -std::asin(0.9999989) * K_RAD_TO_DEG, 1e-12);
    t[0][2] = std::nan("");
    KmRtoVXYZ(a, t);
    EXPECT_TRUE(std::isnan(a[1])); // the general branch
}

TEST(KMathKernels, RtoVXYZRoundTripsAwayFromGimbal)
{
    const double angles[][3] = {{30, 0, 0}, {0, 0, 0}, {-170, 45, 120}, {12, -80, -33}, {179, 89.9, -179}};
    for (const auto& in : angles)
    {
        double m[4][4], a[3];
        KmXYZtoR(m, in[0], in[1], in[2]);
        KmRtoVXYZ(a, m);
        ExpectAnglesNear(a, in[0], in[1], in[2], 1e-6);
    }
}

TEST(KMathKernels, RtoQCascade)
{
    double q[4];
    const double identity[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    EXPECT_EQ(KmRtoQ(q, identity), q);
    EXPECT_EQ(q[0], 0.0);
    EXPECT_EQ(q[1], 0.0);
    EXPECT_EQ(q[2], 0.0);
    EXPECT_EQ(q[3], 1.0);

    const double halfZ[4][4] = {{-1, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    KmRtoQ(q, halfZ);
    EXPECT_EQ(q[0], 0.0);
    EXPECT_EQ(q[1], 0.0);
    EXPECT_EQ(q[2], 1.0);
    EXPECT_EQ(q[3], 0.0);

    const double halfX[4][4] = {{1, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, -1, 0}, {0, 0, 0, 1}};
    KmRtoQ(q, halfX);
    EXPECT_EQ(q[0], 1.0);
    EXPECT_EQ(q[1], 0.0);
    EXPECT_EQ(q[2], 0.0);
    EXPECT_EQ(q[3], 0.0);

    const double halfY[4][4] = {{-1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, -1, 0}, {0, 0, 0, 1}};
    KmRtoQ(q, halfY);
    EXPECT_EQ(q[0], 0.0);
    EXPECT_EQ(q[1], 1.0);
    EXPECT_EQ(q[2], 0.0);
    EXPECT_EQ(q[3], 0.0);

    // A half turn about (1, 1, 0)/sqrt 2 goes through the second branch.
    double m[4][4];
    const double axisQ[4] = {std::sqrt(0.5), std::sqrt(0.5), 0.0, 0.0};
    KmQtoR(m, axisQ);
    KmRtoQ(q, m);
    EXPECT_NEAR(q[0], std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(q[1], std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(q[2], 0.0, 1e-12);
    EXPECT_EQ(q[3], 0.0);

    // A half turn about (0, 1, 1)/sqrt 2 goes through the third branch.
    const double axisQ2[4] = {0.0, std::sqrt(0.5), std::sqrt(0.5), 0.0};
    KmQtoR(m, axisQ2);
    KmRtoQ(q, m);
    EXPECT_EQ(q[0], 0.0);
    EXPECT_NEAR(q[1], std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(q[2], std::sqrt(0.5), 1e-12);
}

TEST(KMathKernels, QuaternionAndMatrixRoundTrip)
{
    const double angles[][3] = {{30, 0, 0}, {-170, 45, 120}, {12, -80, -33}, {90, 90, 90}};
    for (const auto& a : angles)
    {
        double m[4][4], back[4][4], q[4];
        KmXYZtoR(m, a[0], a[1], a[2]);
        KmRtoQ(q, m);
        EXPECT_GE(q[3], 0.0);
        EXPECT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3], 1.0, 1e-12);
        KmQtoR(back, q);
        Expect3x3Near(back, m, 1e-12);
    }
    // A rotation by t about n is (n sin(t/2), cos(t/2)): 90 degrees about Z.
    double m[4][4], q[4];
    KmXYZtoR(m, 0.0, 0.0, 90.0);
    KmRtoQ(q, m);
    EXPECT_NEAR(q[2], std::sin(kPi / 4), 1e-12);
    EXPECT_NEAR(q[3], std::cos(kPi / 4), 1e-12);
}

TEST(KMathKernels, QtoRRules)
{
    double m[4][4];
    const double identity[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    const double zero[4] = {0, 0, 0, 0};
    FillSentinel(m);
    EXPECT_EQ(KmQtoR(m, zero), m);
    Expect3x3Near(m, identity, 0.0);
    EXPECT_EQ(m[0][3], 77.0);
    EXPECT_EQ(m[3][0], 77.0);

    const double five[4] = {0, 0, 0, 5};
    KmQtoR(m, five);
    Expect3x3Near(m, identity, 0.0);

    const double x[4] = {1, 0, 0, 0};
    KmQtoR(m, x);
    const double halfX[4][4] = {{1, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, -1, 0}, {0, 0, 0, 1}};
    Expect3x3Near(m, halfX, 0.0);

    // Scaling a quaternion does not change its matrix.
    const double q[4] = {0.1, -0.4, 0.3, 0.8};
    const double q3[4] = {-0.3, 1.2, -0.9, -2.4};
    double a[4][4], b[4][4];
    KmQtoR(a, q);
    KmQtoR(b, q3);
    Expect3x3Near(a, b, 1e-14);
}

TEST(KMathKernels, QQComposesLikeTheMatrices)
{
    double ma[4][4], mb[4][4], qa[4], qb[4];
    KmXYZtoR(ma, 10, 20, 30);
    KmXYZtoR(mb, -40, 5, 75);
    KmRtoQ(qa, ma);
    KmRtoQ(qb, mb);

    // a (x) b rotates by b first, then by a: the matrix b.a = KmRR(a, b).
    double qab[4], mab[4][4], expected[4][4];
    EXPECT_EQ(KmQQ(qab, qa, qb), qab);
    KmQtoR(mab, qab);
    KmRR(expected, ma, mb);
    Expect3x3Near(mab, expected, 1e-12);

    // Output equal to either input.
    double a1[4], b1[4];
    std::memcpy(a1, qa, sizeof a1);
    KmQQ(a1, a1, qb);
    std::memcpy(b1, qb, sizeof b1);
    KmQQ(b1, qa, b1);
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ(a1[i], qab[i]);
        EXPECT_EQ(b1[i], qab[i]);
    }

    // The Hamilton rule on basis quaternions: i (x) j = k.
    const double qi[4] = {1, 0, 0, 0}, qj[4] = {0, 1, 0, 0};
    double k[4];
    KmQQ(k, qi, qj);
    EXPECT_EQ(k[0], 0.0);
    EXPECT_EQ(k[1], 0.0);
    EXPECT_EQ(k[2], 1.0);
    EXPECT_EQ(k[3], 0.0);
}

TEST(KMathKernels, AffineProductAndAliasing)
{
    // a: translation (5, 0, 0); b: rotation by 90 about Z. out = b.a rotates then translates.
    double a[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {5, 0, 0, 1}};
    double b[4][4] = {{0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    double out[4][4];
    FillSentinel(out);
    EXPECT_EQ(KmAA(out, a, b), out);
    const double expected[4][4] = {{0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 1, 0}, {5, 0, 0, 1}};
    ExpectAffineNear(out, expected, 0.0);
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(out[r][3], 77.0);

    // General case, compared with the aliased forms.
    double p[4][4], q[4][4], ref[4][4];
    ScaledTransform(p);
    KmXYZtoR(q, -5, 60, 14);
    q[3][0] = 1.5;
    q[3][1] = 2.5;
    q[3][2] = -3.5;
    KmAA(ref, p, q);
    // Translation = t_q . p3 + t_p.
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(ref[3][c], q[3][0] * p[0][c] + q[3][1] * p[1][c] + q[3][2] * p[2][c] + p[3][c], 1e-12);
    double pa[4][4], qb[4][4];
    std::memcpy(pa, p, sizeof pa);
    KmAA(pa, pa, q);
    std::memcpy(qb, q, sizeof qb);
    KmAA(qb, p, qb);
    ExpectAffineNear(pa, ref, 0.0);
    ExpectAffineNear(qb, ref, 0.0);
    EXPECT_EQ(pa[0][3], p[0][3]);
}

TEST(KMathKernels, AffineInverseComposesToIdentity)
{
    double m[4][4], inv[4][4], prod[4][4];
    ScaledTransform(m);
    FillSentinel(inv);
    EXPECT_EQ(KmAi(inv, m), inv);
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(inv[r][3], 77.0);
    const double identity[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    KmAA(prod, m, inv);
    ExpectAffineNear(prod, identity, 1e-12);
    KmAA(prod, inv, m);
    ExpectAffineNear(prod, identity, 1e-12);

    // In place.
    double m2[4][4];
    std::memcpy(m2, m, sizeof m2);
    KmAi(m2, m2);
    ExpectAffineNear(m2, inv, 0.0);

    // A zero row stays a zero column instead of becoming infinite.
    double z[4][4] = {{0, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, 4, 0}, {1, 2, 3, 1}};
    KmAi(inv, z);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_TRUE(std::isfinite(inv[r][c]));
    EXPECT_EQ(inv[0][0], 0.0);
    EXPECT_EQ(inv[1][1], 0.5);
    EXPECT_EQ(inv[3][1], -1.0);
}

TEST(KMathKernels, RotationInverseAndProducts)
{
    double r[4][4], ri[4][4];
    FillSentinel(r);
    KmXYZtoR(r, 33, -12, 71);
    FillSentinel(ri, 5.0);
    EXPECT_EQ(KmRi(ri, r), ri);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(ri[i][j], r[j][i]);
    EXPECT_EQ(ri[3][0], 5.0);
    EXPECT_EQ(ri[0][3], 5.0);
    double inPlace[4][4];
    std::memcpy(inPlace, r, sizeof inPlace);
    KmRi(inPlace, inPlace);
    Expect3x3Near(inPlace, ri, 0.0);

    // KmRR: b.a, aliasing on both sides.
    double a[4][4], b[4][4], ref[4][4], expected[4][4];
    KmXYZtoR(a, 10, 20, 30);
    KmXYZtoR(b, -40, 5, 75);
    FillSentinel(ref);
    EXPECT_EQ(KmRR(ref, a, b), ref);
    Mul3(expected, b, a);
    Expect3x3Near(ref, expected, 1e-15);
    EXPECT_EQ(ref[3][3], 77.0);
    double a2[4][4], b2[4][4];
    std::memcpy(a2, a, sizeof a2);
    std::memcpy(b2, b, sizeof b2);
    KmRR(a2, a2, b);
    KmRR(b2, a, b2);
    Expect3x3Near(a2, ref, 0.0);
    Expect3x3Near(b2, ref, 0.0);

    // KmRiR: b.a^T, the same as KmRR with the transposed a, aliasing on both sides.
    double riR[4][4], at[4][4];
    EXPECT_EQ(KmRiR(riR, a, b), riR);
    KmRi(at, a);
    KmRR(expected, at, b);
    Expect3x3Near(riR, expected, 1e-15);
    std::memcpy(a2, a, sizeof a2);
    std::memcpy(b2, b, sizeof b2);
    KmRiR(a2, a2, b);
    KmRiR(b2, a, b2);
    Expect3x3Near(a2, riR, 0.0);
    Expect3x3Near(b2, riR, 0.0);

    // KmRS scales rows, in place too.
    const double s[3] = {2, -3, 0.5};
    double rs[4][4];
    FillSentinel(rs);
    EXPECT_EQ(KmRS(rs, a, s), rs);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(rs[i][j], a[i][j] * s[i]);
    EXPECT_EQ(rs[3][0], 77.0);
    std::memcpy(a2, a, sizeof a2);
    KmRS(a2, a2, s);
    Expect3x3Near(a2, rs, 0.0);
}

TEST(KMathKernels, AiAIsTheInverseComposedInOnePass)
{
    double a[4][4], b[4][4], ai[4][4], ref[4][4], out[4][4];
    ScaledTransform(a);
    KmXYZtoR(b, 50, -20, 5);
    b[3][0] = -1;
    b[3][1] = 4;
    b[3][2] = 9;
    KmAi(ai, a);
    KmAA(ref, ai, b);
    FillSentinel(out);
    EXPECT_EQ(KmAiA(out, a, b), out);
    ExpectAffineNear(out, ref, 1e-12);
    EXPECT_EQ(out[0][3], 77.0);

    double a2[4][4], b2[4][4];
    std::memcpy(a2, a, sizeof a2);
    std::memcpy(b2, b, sizeof b2);
    KmAiA(a2, a2, b);
    KmAiA(b2, a, b2);
    ExpectAffineNear(a2, out, 0.0);
    ExpectAffineNear(b2, out, 0.0);

    // b composed with a's inverse after a: KmAiA(KmAA(a, b)... ) gives b back.
    double ba[4][4], back[4][4];
    KmAA(ba, a, b);
    KmAiA(back, a, ba);
    ExpectAffineNear(back, b, 1e-12);
}

TEST(KMathKernels, FullMatrixProductAndTranspose)
{
    double a[4][4], b[4][4];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
        {
            a[r][c] = r * 4 + c + 1;
            b[r][c] = (r == c) ? 2.0 : (r - c) * 0.5;
        }
    double out[4][4];
    EXPECT_EQ(KmMM(out, a, b), out);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
        {
            double sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += b[r][k] * a[k][c];
            EXPECT_EQ(out[r][c], sum);
        }
    double a2[4][4], b2[4][4];
    std::memcpy(a2, a, sizeof a2);
    std::memcpy(b2, b, sizeof b2);
    KmMM(a2, a2, b);
    KmMM(b2, a, b2);
    EXPECT_EQ(std::memcmp(a2, out, sizeof out), 0);
    EXPECT_EQ(std::memcmp(b2, out, sizeof out), 0);

    double t[4][4];
    EXPECT_EQ(KmMt(t, a), t);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(t[r][c], a[c][r]);
    KmMt(a2, a);
    KmMt(a2, a2);
    EXPECT_EQ(std::memcmp(a2, a, sizeof a), 0);
}

TEST(KSSRotationOrderTest, V2MMatchesTheOrderTable)
{
    // Code -> (axis applied first, second, third) and which angle each takes.
    struct Row
    {
        int first, second, third;
    };
    const Row table[12] = {{0, 1, 2}, {0, 1, 0}, {0, 2, 1}, {0, 2, 0}, {1, 2, 0}, {1, 2, 1},
                           {1, 0, 2}, {1, 0, 1}, {2, 0, 1}, {2, 0, 2}, {2, 1, 0}, {2, 1, 2}};
    const KgeRVector v(17.0, -42.0, 63.0);
    for (int code = 0; code < 12; ++code)
    {
        // The third rotation takes the angle of axis k (the axis the order does not
        // repeat) in the repeated orders.
        const int k = KmEulerAxis[code][2];
        const double angles[3] = {v[table[code].first], v[table[code].second], v[k]};
        double expected[4][4];
        ProductOfElementary(expected, table[code].first, angles[0], table[code].second, angles[1],
                            table[code].third, angles[2]);
        KgeRMatrix m;
        FillSentinel(m.mData);
        KSSRotationOrder(code).V2M(m, v);
        Expect3x3Near(m, expected, 1e-12);
        EXPECT_EQ(m.mData[3][0], 77.0);
        EXPECT_EQ(m.mData[0][3], 77.0);
    }
}

TEST(KSSRotationOrderTest, V2MEdgeCases)
{
    const double identity[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    for (int code = 0; code <= 12; ++code)
    {
        KgeRMatrix m;
        FillSentinel(m.mData);
        KSSRotationOrder(code).V2M(m, KgeRVector(0, 0, 0));
        Expect3x3Near(m, identity, 1e-15);
    }

    KgeRMatrix m, n;
    KSSRotationOrder(0).V2M(m, KgeRVector(90, 0, 0));
    const double rx90[4][4] = {{1, 0, 0, 0}, {0, 0, 1, 0}, {0, -1, 0, 0}, {0, 0, 0, 1}};
    Expect3x3Near(m, rx90, 1e-15);

    // Codes 0 and 10 differ in general, agree with two of the angles 0.
    KSSRotationOrder(0).V2M(m, KgeRVector(30, 50, 70));
    KSSRotationOrder(10).V2M(n, KgeRVector(30, 50, 70));
    double diff = 0;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            diff += std::fabs(m.mData[r][c] - n.mData[r][c]);
    EXPECT_GT(diff, 0.1);
    KSSRotationOrder(0).V2M(m, KgeRVector(0, 50, 0));
    KSSRotationOrder(10).V2M(n, KgeRVector(0, 50, 0));
    Expect3x3Near(m, n, 1e-15);

    // Code 1 with ry = 0 is one turn about X by rx + rz.
    KSSRotationOrder(1).V2M(m, KgeRVector(25, 0, 40));
    KmXYZtoR(n, 65, 0, 0);
    Expect3x3Near(m, n, 1e-15);

    // Code 12: a turn about X alone equals code 0; rx = ry = 0 is a turn about Z.
    KSSRotationOrder(12).V2M(m, KgeRVector(37, 0, 0));
    KmXYZtoR(n, 37, 0, 0);
    Expect3x3Near(m, n, 1e-15);
    KSSRotationOrder(12).V2M(m, KgeRVector(0, 0, -58));
    KmXYZtoR(n, 0, 0, -58);
    Expect3x3Near(m, n, 1e-15);

    // Code 12 swing then twist: row 0 (the image of X) depends on Y and Z only.
    KgeRMatrix s1, s2;
    KSSRotationOrder(12).V2M(s1, KgeRVector(0, 30, 40));
    KSSRotationOrder(12).V2M(s2, KgeRVector(75, 30, 40));
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(s1.mData[0][c], s2.mData[0][c], 1e-15);
}

TEST(KSSRotationOrderTest, EulerRoundTripForEveryOrder)
{
    const double angles[][3] = {{17, -42, 63}, {-120, 10, 170}, {5, 80, -5}, {150, -85, -100}, {0, 0, 0}};
    for (int code = 0; code <= 12; ++code)
    {
        const KSSRotationOrder order(code);
        for (const auto& a : angles)
        {
            const KgeRVector v(a[0], a[1], a[2], 123.0);
            KgeRMatrix m, m2;
            order.V2M(m, v);
            KgeRVector back(0, 0, 0, 456.0);
            order.M2V(back, m);
            EXPECT_EQ(back.w, 456.0); // only components 0 to 2 are written
            // The matrix of the angles read back is the same rotation in every order.
            order.V2M(m2, back);
            Expect3x3Near(m2, m, 1e-10);

            // Distinct axes and the spherical order: the angles themselves come back
            // when the middle angle (of axis j; code 12: Y and Z) lies within +/-90.
            const bool middleInRange =
                code == 12 ? (std::fabs(a[1]) < 90 && std::fabs(a[2]) < 90)
                           : (code % 2 == 0 && std::fabs(a[KmEulerAxis[code][1]]) < 90);
            if (middleInRange)
                ExpectAnglesNear(back, a[0], a[1], a[2], 1e-8);
        }
    }
    // Repeated orders with a middle angle in (0, 180) before the parity sign give the
    // triple back.
    for (int code = 1; code < 12; code += 2)
    {
        const int j = KmEulerAxis[code][1];
        KgeRVector v(-33, -33, -33);
        v[KmEulerAxis[code][0]] = 48;
        v[j] = (code & 2) ? -121 : 121;
        v[KmEulerAxis[code][2]] = -77;
        KgeRMatrix m;
        KSSRotationOrder(code).V2M(m, v);
        KgeRVector back;
        KSSRotationOrder(code).M2V(back, m);
        ExpectAnglesNear(back, v.x, v.y, v.z, 1e-8);
    }
}

TEST(KSSRotationOrderTest, SecondAppliedAngleLandsInItsAxisComponent)
{
    // Code 2 is X, Z, Y: the angle about Z is applied second and still lands in
    // component 2.
    const KgeRVector v(10, 20, 30);
    KgeRMatrix m, expected;
    KSSRotationOrder(2).V2M(m, v);
    ProductOfElementary(expected.mData, 0, 10, 2, 30, 1, 20);
    Expect3x3Near(m, expected, 1e-12);
    KgeRVector back;
    KSSRotationOrder(2).M2V(back, m);
    ExpectAnglesNear(back, 10, 20, 30, 1e-9);
}

TEST(KSSRotationOrderTest, M2VCodeZeroIsTheXYZRule)
{
    KgeRMatrix m;
    KmXYZtoR(m, 30, 89.99, 20);
    KgeRVector v;
    KSSRotationOrder(0).M2V(v, m);
    ExpectAnglesNear(v, 10, 90, 0, 1e-6);
    KmXYZtoR(m, 30, -90, 20);
    KSSRotationOrder().M2V(v, m);
    ExpectAnglesNear(v, 50, -90, 0, 1e-9);
}

TEST(KSSRotationOrderTest, SphericalM2V)
{
    // X axis turned to point the other way.
    KgeRMatrix m;
    KmXYZtoR(m, 0, 0, 180);
    KgeRVector v(1, 2, 3, 4);
    KSSRotationOrder(12).M2V(v, m);
    ExpectAnglesNear(v, 180, 180, 180, 0.0);
    EXPECT_EQ(v.w, 4.0);

    // Twist alone.
    KmXYZtoR(m, -65, 0, 0);
    KSSRotationOrder(12).M2V(v, m);
    ExpectAnglesNear(v, -65, 0, 0, 1e-9);

    // Swing alone, in Y and in Z.
    KSSRotationOrder(12).V2M(m, KgeRVector(0, 70, 0));
    KSSRotationOrder(12).M2V(v, m);
    ExpectAnglesNear(v, 0, 70, 0, 1e-9);
    KSSRotationOrder(12).V2M(m, KgeRVector(0, 0, -120));
    KSSRotationOrder(12).M2V(v, m);
    ExpectAnglesNear(v, 0, 0, -120, 1e-9);

    // Large swings and twists.
    const double angles[][3] = {{170, 60, 60}, {-100, -45, 80}, {33, 89, 1}};
    for (const auto& a : angles)
    {
        KSSRotationOrder(12).V2M(m, KgeRVector(a[0], a[1], a[2]));
        KSSRotationOrder(12).M2V(v, m);
        ExpectAnglesNear(v, a[0], a[1], a[2], 1e-7);
    }
}
