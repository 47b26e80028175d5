// Matrix, quaternion and Euler kernels and the rotation-order conversions.
#include "base/kmath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "test_util.h"

using namespace qoxtest;

namespace {

typedef double M44[4][4];

// Elementary rotation about one axis (row-vector convention), built
// independently of the kernels.
void Elementary(M44 out, int axis, double degrees)
{
    FillSentinel(out, 0.0);
    const double t = degrees * kPi / 180.0, c = std::cos(t), s = std::sin(t);
    const int a = (axis + 1) % 3, b = (axis + 2) % 3;
    out[axis][axis] = out[3][3] = 1.0;
    out[a][a] = out[b][b] = c;
    out[a][b] = s;
    out[b][a] = -s;
}

// Plain product of 3x3 parts: out = x . y.
void Mul3(M44 out, const M44 x, const M44 y)
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
void ProductOfElementary(M44 out, int first, double a, int second, double b, int third, double c)
{
    M44 e2, e3;
    Elementary(out, first, a);
    Elementary(e2, second, b);
    Elementary(e3, third, c);
    Mul3(out, out, e2);
    Mul3(out, out, e3);
}

// A rotation with scale (2, 3, 4) and translation (5, -6, 7).
void ScaledTransform(M44 m)
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

// Nothing outside rows x cols was written over the sentinel.
void ExpectUntouched(const M44 m, int rows, int cols)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (r >= rows || c >= cols)
            {
                EXPECT_EQ(m[r][c], 77.0) << "element " << r << "," << c;
            }
}

// Runs a kernel into a sentinel-filled output, then with the output being each
// input in turn: the results agree exactly, and nothing outside rows x cols is
// written.
template <typename Kernel>
void ExpectAliasSafe(Kernel run, const M44 a, const M44 b, int rows, int cols)
{
    M44 ref, x, y;
    FillSentinel(ref);
    run(ref, a, b);
    std::memcpy(x, a, sizeof x);
    run(x, x, b);
    std::memcpy(y, b, sizeof y);
    run(y, a, y);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
        {
            EXPECT_EQ(x[r][c], ref[r][c]) << "element " << r << "," << c;
            EXPECT_EQ(y[r][c], ref[r][c]) << "element " << r << "," << c;
        }
    ExpectUntouched(ref, rows, cols);
}

} // namespace

TEST(KMathKernels, XYZandIJKtoRBuildTheElementaryProducts)
{
    M44 m;
    FillSentinel(m);
    EXPECT_EQ(KmXYZtoR(m, 90.0, 0.0, 0.0), m);
    const M44 rx90 = {{1, 0, 0}, {0, 0, 1}, {0, -1, 0}};
    ExpectMatrixNear(m, rx90);
    ExpectUntouched(m, 3, 3); // only the 3x3 part is written

    const double angles[][3] = {{23.0, 41.0, -67.0}, {-150.0, 12.5, 80.0}, {0.0, 170.0, -3.0}};
    for (int code = 0; code < 12; ++code)
    {
        const int i = KmEulerAxis[code][0], j = KmEulerAxis[code][1], k = KmEulerAxis[code][2];
        for (const auto& a : angles)
        {
            M44 expected;
            ProductOfElementary(expected, i, a[0], j, a[1], (code & 1) ? i : k, a[2]);
            FillSentinel(m);
            EXPECT_EQ(KmIJKtoR(m, a[0], a[1], a[2], code), m);
            ExpectMatrixNear(m, expected);
            ExpectUntouched(m, 3, 3);
            if (code == 0)
            { // Rx . Ry . Rz with X acting first
                KmXYZtoR(expected, a[0], a[1], a[2]);
                ExpectMatrixNear(m, expected);
            }
        }
    }
}

TEST(KMathKernels, RtoVordInvertsIJKtoR)
{
    // Distinct axes: the angles come back.
    const double angles[][3] = {{23.0, 41.0, -67.0}, {-150.0, -89.0, 80.0}, {179.0, 0.5, -179.0}, {0, 0, 0}};
    for (int code = 0; code < 12; code += 2)
        for (const auto& a : angles)
        {
            M44 m;
            double back[3];
            KmIJKtoR(m, a[0], a[1], a[2], code);
            EXPECT_EQ(KmRtoVord(back, m, code), back);
            ExpectNear(back, {a[0], a[1], a[2]}, 1e-8);
        }
    // Repeated axes: a middle angle in (0, 180) before the parity sign comes back
    // as it was; a negative one as an equivalent triple.
    for (int code = 1; code < 12; code += 2)
    {
        const double sign = (code & 2) ? -1 : 1;
        M44 m;
        double back[3];
        KmIJKtoR(m, 35.0, sign * 120.0, -60.0, code);
        KmRtoVord(back, m, code);
        ExpectNear(back, {35.0, sign * 120.0, -60.0}, 1e-8);
    }
    M44 m1;
    double equivalent[3];
    KmIJKtoR(m1, 35.0, -70.0, -60.0, 1);
    ExpectNear(KmRtoVord(equivalent, m1, 1), {-145.0, 70.0, 120.0}, 1e-8);
    // Gimbal: distinct axes with the middle angle 90 (the first absorbs the
    // third); repeated axes with the middle angle 0 (one turn by the sum).
    const struct
    {
        double a[3];
        int code;
        double expected[3];
    } gimbal[] = {{{30, 90, 20}, 0, {10, 90, 0}}, {{25, 0, 40}, 1, {65, 0, 0}}, {{25, 0, 40}, 3, {65, 0, 0}}};
    for (const auto& g : gimbal)
    {
        M44 m;
        double a[3];
        KmIJKtoR(m, g.a[0], g.a[1], g.a[2], g.code);
        KmRtoVord(a, m, g.code);
        ExpectNear(a, {g.expected[0], g.expected[1], g.expected[2]}, 1e-9);
        EXPECT_EQ(a[2], 0.0);
    }
}

TEST(KMathKernels, RtoVXYZGimbalBranchesAndRoundTrip)
{
    M44 m;
    double a[3];
    // Y = 89.99: m[0][2] = -0.999999985 takes the +90 branch; X absorbs Z.
    KmXYZtoR(m, 30.0, 89.99, 20.0);
    EXPECT_NEAR(m[0][2], -0.999999985, 1e-9);
    EXPECT_EQ(KmRtoVXYZ(a, m), a);
    ExpectNear(a, {10.0, 90.0, 0.0}, 1e-6);
    EXPECT_EQ(a[1] + a[2], 90.0);
    KmRtoVord(a, m, 0); // KmRtoVord's threshold is on cy: it still recovers the angles
    ExpectNear(a, {30.0, 89.99, 20.0}, 1e-6);
    for (double x : {30.0, 10.0})
    { // Y = -90: m[0][2] = 1 takes the -90 branch
        KmXYZtoR(m, x, -90.0, 20.0);
        KmRtoVXYZ(a, m);
        ExpectNear(a, {x + 20.0, -90.0, 0.0}, 1e-9);
    }
    // The thresholds themselves: 0.999999 is inside the branch, just below is not.
    M44 t = {{0, 0, 0.999999, 0}, {0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 0, 1}};
    KmRtoVXYZ(a, t);
    ExpectNear(a, {0.0, -90.0, 0.0}, 0.0);
    t[0][2] = -0.999999;
    KmRtoVXYZ(a, t);
    EXPECT_EQ(a[1], 90.0);
    t[0][2] = 0.9999989;
    KmRtoVXYZ(a, t);
    EXPECT_NEAR(a[1], -std::asin(0.9999989) * K_RAD_TO_DEG, 1e-12);
    t[0][2] = std::nan("");
    KmRtoVXYZ(a, t);
    EXPECT_TRUE(std::isnan(a[1])); // the general branch

    const double angles[][3] = {{30, 0, 0}, {-170, 45, 120}, {12, -80, -33}, {179, 89.9, -179}};
    for (const auto& in : angles)
    {
        KmXYZtoR(m, in[0], in[1], in[2]);
        KmRtoVXYZ(a, m);
        ExpectNear(a, {in[0], in[1], in[2]}, 1e-6);
    }
}

TEST(KMathKernels, RtoQCascadeAndQuaternionRules)
{
    // Half turns about X, Y and Z (diag(-1, -1, 1) is (0, 0, 1, 0)), the second
    // and third branches, and the identity.
    const double h = std::sqrt(0.5);
    const double cases[][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {h, h, 0, 0}, {0, h, h, 0}, {0, 0, 0, 1}};
    for (const auto& expected : cases)
    {
        M44 m;
        double q[4];
        KmQtoR(m, expected);
        EXPECT_EQ(KmRtoQ(q, m), q);
        ExpectNear(q, {expected[0], expected[1], expected[2], expected[3]}, 1e-12);
        EXPECT_EQ(q[0] * q[3], 0.0);
    }
    const double angles[][3] = {{30, 0, 0}, {-170, 45, 120}, {12, -80, -33}, {90, 90, 90}};
    for (const auto& a : angles)
    {
        M44 m, back;
        double q[4];
        KmXYZtoR(m, a[0], a[1], a[2]);
        KmRtoQ(q, m);
        EXPECT_GE(q[3], 0.0);
        EXPECT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3], 1.0, 1e-12);
        KmQtoR(back, q);
        ExpectMatrixNear(back, m);
    }
    // A zero quaternion gives the identity, only the 3x3 part is written, and
    // scaling a quaternion does not change its matrix.
    M44 m, n;
    const double zero[4] = {0, 0, 0, 0}, qa[4] = {0.1, -0.4, 0.3, 0.8}, qb[4] = {-0.3, 1.2, -0.9, -2.4};
    FillSentinel(m);
    EXPECT_EQ(KmQtoR(m, zero), m);
    ExpectMatrixNear(m, kIdentity, 0.0);
    ExpectUntouched(m, 3, 3);
    KmQtoR(m, qa);
    KmQtoR(n, qb);
    ExpectMatrixNear(m, n, 1e-14);
    // a (x) b rotates by b first, then by a: the matrix b.a = KmRR(a, b); the
    // output may be either input.
    M44 ma, mb, mab, expected;
    double pa[4], pb[4], qab[4], a1[4], b1[4];
    KmXYZtoR(ma, 10, 20, 30);
    KmXYZtoR(mb, -40, 5, 75);
    KmRtoQ(pa, ma);
    KmRtoQ(pb, mb);
    EXPECT_EQ(KmQQ(qab, pa, pb), qab);
    KmQtoR(mab, qab);
    KmRR(expected, ma, mb);
    ExpectMatrixNear(mab, expected);
    std::memcpy(a1, pa, sizeof a1);
    std::memcpy(b1, pb, sizeof b1);
    KmQQ(a1, a1, pb);
    KmQQ(b1, pa, b1);
    EXPECT_EQ(0, std::memcmp(a1, qab, sizeof qab));
    EXPECT_EQ(0, std::memcmp(b1, qab, sizeof qab));
    const double qi[4] = {1, 0, 0, 0}, qj[4] = {0, 1, 0, 0};
    KmQQ(a1, qi, qj); // the Hamilton rule: i (x) j = k
    ExpectNear(a1, {0, 0, 1, 0}, 0.0);
}

TEST(KMathKernels, AffineProductsAndInverses)
{
    // Translation = t_q . p3 + t_p: q acts first.
    M44 out, p, q, ref, inv, prod;
    ScaledTransform(p);
    KmXYZtoR(q, -5, 60, 14);
    q[3][0] = 1.5;
    q[3][1] = 2.5;
    q[3][2] = -3.5;
    KmAA(ref, p, q);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(ref[3][c], q[3][0] * p[0][c] + q[3][1] * p[1][c] + q[3][2] * p[2][c] + p[3][c], 1e-12);
    ExpectAliasSafe(KmAA, p, q, 4, 3);
    ExpectAliasSafe(KmAiA, p, q, 4, 3);
    ExpectAliasSafe([](KRow4* o, const KRow4* in, const KRow4*) { return KmAi(o, in); }, p, p, 4, 3);
    // The affine inverse composes to the identity both ways; KmAiA is
    // KmAA(KmAi(a), b) in one pass and undoes KmAA(a, b).
    KmAi(inv, p);
    KmAA(prod, p, inv);
    ExpectMatrixNear(prod, kIdentity, 1e-12, 4);
    KmAA(prod, inv, p);
    ExpectMatrixNear(prod, kIdentity, 1e-12, 4);
    KmAA(ref, inv, q);
    KmAiA(out, p, q);
    ExpectMatrixNear(out, ref, 1e-12, 4);
    KmAA(prod, p, q);
    KmAiA(out, p, prod);
    ExpectMatrixNear(out, q, 1e-12, 4);
    // A zero row stays a zero column instead of becoming infinite.
    const M44 z = {{0, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, 4, 0}, {1, 2, 3, 1}};
    const M44 zInv = {{0, 0, 0}, {0, 0.5, 0}, {0, 0, 0.25}, {0, -1, -0.75}};
    KmAi(inv, z);
    ExpectMatrixNear(inv, zInv, 0.0, 4);
}

TEST(KMathKernels, RotationProductsTransposeAndScale)
{
    M44 a, b, t, expected, out;
    KmXYZtoR(a, 10, 20, 30);
    KmXYZtoR(b, -40, 5, 75);
    ExpectAliasSafe([](KRow4* o, const KRow4* in, const KRow4*) { return KmRi(o, in); }, a, a, 3, 3);
    ExpectAliasSafe(KmRR, a, b, 3, 3);
    ExpectAliasSafe(KmRiR, a, b, 3, 3);
    const double s[3] = {2, -3, 0.5};
    ExpectAliasSafe([&s](KRow4* o, const KRow4* in, const KRow4*) { return KmRS(o, in, s); }, a, a, 3, 3);
    KmRi(t, a);
    KmRS(out, a, s);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
        {
            EXPECT_EQ(t[i][j], a[j][i]);
            EXPECT_EQ(out[i][j], a[i][j] * s[i]);
        }
    KmRR(out, a, b);
    Mul3(expected, b, a);
    ExpectMatrixNear(out, expected, 1e-15);
    KmRiR(out, a, b); // b.a^T
    KmRR(expected, t, b);
    ExpectMatrixNear(out, expected, 1e-15);
    // Full 4x4 product and transpose over all sixteen elements.
    M44 f, g;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
        {
            f[r][c] = r * 4 + c + 1;
            g[r][c] = (r == c) ? 2.0 : (r - c) * 0.5;
        }
    ExpectAliasSafe(KmMM, f, g, 4, 4);
    ExpectAliasSafe([](KRow4* o, const KRow4* in, const KRow4*) { return KmMt(o, in); }, f, f, 4, 4);
    KmMM(out, f, g);
    KmMt(t, f);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
        {
            EXPECT_EQ(out[r][c], g[r][0] * f[0][c] + g[r][1] * f[1][c] + g[r][2] * f[2][c] + g[r][3] * f[3][c]);
            EXPECT_EQ(t[r][c], f[c][r]);
        }
}

TEST(KSSRotationOrderTest, V2MMatchesTheOrderTable)
{
    // Code -> axis applied first, second, third; the third rotation takes the
    // angle of axis k (the axis the order does not repeat).
    const int table[12][3] = {{0, 1, 2}, {0, 1, 0}, {0, 2, 1}, {0, 2, 0}, {1, 2, 0}, {1, 2, 1},
                              {1, 0, 2}, {1, 0, 1}, {2, 0, 1}, {2, 0, 2}, {2, 1, 0}, {2, 1, 2}};
    const KgeRVector v(17.0, -42.0, 63.0);
    for (int code = 0; code <= 12; ++code)
    {
        KgeRMatrix m, zero;
        FillSentinel(m.mData);
        FillSentinel(zero.mData);
        KSSRotationOrder(code).V2M(zero, KgeRVector(0, 0, 0)); // the identity in every order
        ExpectMatrixNear(zero, kIdentity, 1e-15);
        if (code == 12)
            break;
        const int* axes = table[code];
        M44 expected;
        ProductOfElementary(expected, axes[0], v[axes[0]], axes[1], v[axes[1]], axes[2], v[KmEulerAxis[code][2]]);
        KSSRotationOrder(code).V2M(m, v);
        ExpectMatrixNear(m, expected);
        ExpectUntouched(m.mData, 3, 3);
    }
    // Code 12 is swing then twist: row 0 (the image of X) depends on Y and Z only.
    KgeRMatrix m, n;
    KSSRotationOrder(12).V2M(m, KgeRVector(0, 30, 40));
    KSSRotationOrder(12).V2M(n, KgeRVector(75, 30, 40));
    ExpectNear(m.mData[0], {n.mData[0][0], n.mData[0][1], n.mData[0][2]}, 1e-15);
}

TEST(KSSRotationOrderTest, EulerRoundTripForEveryOrder)
{
    const double angles[][3] = {{17, -42, 63}, {-120, 10, 170}, {5, 80, -5}, {150, -85, -100}, {0, 0, 0}};
    for (int code = 0; code <= 12; ++code)
    {
        const KSSRotationOrder order(code);
        for (const auto& a : angles)
        {
            KgeRMatrix m, m2;
            order.V2M(m, KgeRVector(a[0], a[1], a[2], 123.0));
            KgeRVector back(0, 0, 0, 456.0);
            order.M2V(back, m);
            EXPECT_EQ(back.w, 456.0); // only components 0 to 2 are written
            order.V2M(m2, back);      // the same rotation in every order
            ExpectMatrixNear(m2, m, 1e-10);
            // Distinct axes and the spherical order: the angles themselves come
            // back when the middle angle (of axis j; code 12: Y and Z) lies within +/-90.
            const bool middleInRange = code == 12 ? (std::fabs(a[1]) < 90 && std::fabs(a[2]) < 90)
                                                  : (code % 2 == 0 && std::fabs(a[KmEulerAxis[code][1]]) < 90);
            if (middleInRange)
                ExpectNear(back, {a[0], a[1], a[2]}, 1e-8);
        }
    }
    // Repeated orders with a middle angle in (0, 180) before the parity sign
    // give the triple back.
    for (int code = 1; code < 12; code += 2)
    {
        KgeRVector v(-33, -33, -33), back;
        v[KmEulerAxis[code][0]] = 48;
        v[KmEulerAxis[code][1]] = (code & 2) ? -121 : 121;
        v[KmEulerAxis[code][2]] = -77;
        KgeRMatrix m;
        KSSRotationOrder(code).V2M(m, v);
        KSSRotationOrder(code).M2V(back, m);
        ExpectNear(back, {v.x, v.y, v.z}, 1e-8);
    }
    // Code 0 reads through the XYZ gimbal rule.
    KgeRMatrix m;
    KgeRVector v;
    KmXYZtoR(m, 30, 89.99, 20);
    KSSRotationOrder(0).M2V(v, m);
    ExpectNear(v, {10, 90, 0}, 1e-6);
    KmXYZtoR(m, 30, -90, 20);
    KSSRotationOrder().M2V(v, m);
    ExpectNear(v, {50, -90, 0}, 1e-9);
    // Spherical: the X axis turned to point the other way; a twist alone; swings
    // alone; large swings with twists.
    KmXYZtoR(m, 0, 0, 180);
    v = KgeRVector(1, 2, 3, 4);
    KSSRotationOrder(12).M2V(v, m);
    ExpectNear(v, {180, 180, 180, 4}, 0.0);
    const double spherical[][3] = {{-65, 0, 0}, {0, 70, 0}, {0, 0, -120}, {170, 60, 60}, {-100, -45, 80}, {33, 89, 1}};
    for (const auto& a : spherical)
    {
        KSSRotationOrder(12).V2M(m, KgeRVector(a[0], a[1], a[2]));
        KSSRotationOrder(12).M2V(v, m);
        ExpectNear(v, {a[0], a[1], a[2]}, 1e-7);
    }
}

TEST(KSSRotationOrderTest, SphericalOppositeXAxisThreshold)
{
    // A twist of 30 about X, then a swing about Z by an angle just short of
    // 180: row 0 = (c, s, 0). At c = -0.9999999999 (and below) the X axis
    // counts as turned the other way; one double above, the angles are
    // worked out: no Y swing, Z = 180 - asin(s), s = sqrt(1 - c^2) ~ sqrt(2e-10).
    const double atThreshold = -0.9999999999;
    const double justAbove = std::nextafter(atThreshold, 0.0);
    for (double c : {atThreshold, justAbove})
    {
        M44 twist, swing;
        Elementary(twist, 0, 30.0);
        Elementary(swing, 2, 0.0);
        const double s = std::sqrt(1.0 - c * c);
        swing[0][0] = swing[1][1] = c;
        swing[0][1] = s;
        swing[1][0] = -s;
        KgeRMatrix m;
        Mul3(m.mData, twist, swing);
        ASSERT_EQ(c, m.mData[0][0]);
        KgeRVector v(1, 2, 3, 4);
        KSSRotationOrder(12).M2V(v, m);
        if (c == atThreshold)
            ExpectNear(v, {180, 180, 180, 4}, 0.0);
        else
            ExpectNear(v, {30, 0, 180.0 - std::sqrt(2e-10) * 180.0 / kPi, 4}, 1e-7);
    }
}
