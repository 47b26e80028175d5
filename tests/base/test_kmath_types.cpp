// Vector, quaternion, matrix and affine transform classes.
#include "base/kmath.h"
#include "base/karray.h"

#include <gtest/gtest.h>

#include <cmath>

#include "test_util.h"

using qoxtest::ExpectNear;

namespace {

typedef KQoxVector4 V4;
const V4 kOne(1, 1, 1, 0);

// Row r, columns 0 to 2.
void ExpectRow(const KQoxXMatrix& m, int r, double a, double b, double c, double tol = 1e-9)
{
    ExpectNear(static_cast<const KgeAMatrix&>(m).mData[r], {a, b, c}, tol);
}

double& Raw(KQoxXMatrix& m, int r, int c)
{
    return static_cast<KgeAMatrix&>(m).mData[r][c];
}

} // namespace

TEST(KQoxVectorTest, EqualityAndWRules)
{
    EXPECT_TRUE(V4(1, 2, 3, 7) == V4(1, 2, 3.0000009, -5)); // W ignored, 1e-6 tolerance
    EXPECT_TRUE(V4(1, 2, 3, 0) != V4(1.000002, 2, 3, 0));
    EXPECT_FALSE(V4(std::nan(""), 0, 0, 0) == V4(std::nan(""), 0, 0, 0));
    EXPECT_FALSE(KQoxVector2(0.1, 0.2) == KQoxVector2(0.1, 0.2000000001)); // exact
    KArrayTemplate<V4> v4;                                                 // arrays find with the element's equality
    v4.Add(V4(1, 2, 3, 0));
    v4.Add(V4(4, 5, 6, 0));
    EXPECT_EQ(v4.Find(V4(4, 5, 6.0000005, 99)), 1);
    EXPECT_EQ(v4.AddUnique(V4(1.0000001, 2, 3, -1)), 0);
    // Vector operations include W; dot and distance ignore it; the cross
    // product sets it to 1; normalising leaves it alone (and a zero vector zero).
    const V4 a(1, 2, 3, 4), b(2, 4, 8, 16);
    ExpectNear(b / a, {2, 2, 8.0 / 3.0, 4}, 1e-15);
    EXPECT_EQ(a.DotProduct(b), 2 + 8 + 24);
    ExpectNear(V4(1, 0, 0, 0).CrossProduct(V4(0, 1, 0, 0)), {0, 0, 1, 1}, 0);
    EXPECT_EQ(V4(1, 1, 1, 0).Distance(V4(4, 5, 1, 50)), 5.0);
    V4 n(0, 0, 0, 5), u(0, 3, 4, 7);
    n.Normalize();
    u.Normalize();
    ExpectNear(n, {0, 0, 0, 5}, 0);
    ExpectNear(u, {0, 0.6, 0.8, 7}, 1e-15);
    // Quaternions are component-wise too, and W is compared.
    const KQoxQuaternion p(1, 2, 3, 4);
    EXPECT_TRUE(p * KQoxQuaternion(2, 2, 2, 2) == KQoxQuaternion(2, 4, 6, 8)); // not the Hamilton product
    EXPECT_TRUE(p != KQoxQuaternion(1, 2, 3, 4.000002));
}

// Every arithmetic operator of the two four-component types, W included;
// values worked out by hand.
template <typename T>
void ExpectFourWayArithmetic()
{
    const T a(1, 2, 3, 4), b(2, 4, 8, 16);
    auto expect = [](const T& v, std::initializer_list<double> want) {
        int i = 0;
        for (double w : want)
            EXPECT_EQ(v.GetAt(i++), w) << i;
    };
    expect(a + 1.0, {2, 3, 4, 5});
    expect(a - 1.0, {0, 1, 2, 3});
    expect(a * 2.0, {2, 4, 6, 8});
    expect(a / 2.0, {0.5, 1, 1.5, 2});
    expect(-a, {-1, -2, -3, -4});
    expect(a + b, {3, 6, 11, 20});
    expect(a - b, {-1, -2, -5, -12});
    expect(a * b, {2, 8, 24, 64});
    expect(b / a, {2, 2, 8.0 / 3.0, 4});
    T c = a;
    c += 1.0;
    expect(c, {2, 3, 4, 5});
    c -= 2.0;
    expect(c, {0, 1, 2, 3});
    c *= 4.0;
    expect(c, {0, 4, 8, 12});
    c /= 4.0;
    expect(c, {0, 1, 2, 3});
    c += b;
    expect(c, {2, 5, 10, 19});
    c -= a;
    expect(c, {1, 3, 7, 15});
    c *= a;
    expect(c, {1, 6, 21, 60});
    c /= b;
    expect(c, {0.5, 1.5, 21.0 / 8.0, 3.75});
    c.SetAt(3, -1);
    c[1] = 9;
    const double* raw = c;
    EXPECT_EQ(raw[1], 9.0);
    EXPECT_EQ(c[3], -1.0);
    c.Set(5, 6, 7, 8);
    expect(c, {5, 6, 7, 8});
    expect(a / 0.0, {HUGE_VAL, HUGE_VAL, HUGE_VAL, HUGE_VAL});
}

TEST(KQoxVectorTest, FourComponentArithmetic)
{
    ExpectFourWayArithmetic<V4>();
    ExpectFourWayArithmetic<KQoxQuaternion>();
    V4 v(1, 2, 3, 4);
    v.Set(7, 8, 9); // W defaults to 0 on a vector
    EXPECT_EQ(v[3], 0.0);
}

TEST(KQoxMatrixTest, ConstructionProductsAndEquality)
{
    KQoxMatrix m;
    m.Set(0, 3, 5.0);
    m.SetTRS(V4(1, 2, 3, 0), V4(0, 0, 90, 0), V4(2, 3, 4, 0));
    EXPECT_EQ(m.Get(0, 3), 5.0); // the fourth column is kept
    const KQoxMatrix k(V4(1, 2, 3, 0), V4(0, 0, 90, 0), V4(2, 3, 4, 0));
    ExpectNear(k.GetRow(0), {0, 2, 0, 0}, 1e-15);
    ExpectNear(k.GetRow(1), {-3, 0, 0, 0}, 1e-15);
    ExpectNear(k.GetRow(3), {1, 2, 3, 1}, 0);
    // The quaternion forms build the same matrix.
    EXPECT_TRUE(KQoxMatrix(V4(1, 2, 3, 0), KQoxQuaternion(0, 0, std::sqrt(0.5), std::sqrt(0.5)), V4(2, 3, 4, 0)) == k);
    EXPECT_TRUE(KQoxMatrix(V4(), KQoxQuaternion(), kOne) == KQoxMatrix()); // the default is no rotation
    // A translation, B a rotation: A * B rotates first and translates after.
    const KQoxMatrix a(V4(5, 0, 0, 0), V4(0, 0, 0, 0), kOne), b(V4(0, 0, 0, 0), V4(0, 0, 90, 0), kOne);
    ExpectNear((a * b).GetRow(0), {0, 1, 0, 0}, 1e-15);
    ExpectNear((a * b).GetRow(3), {5, 0, 0, 1}, 1e-15);
    ExpectNear((b * a).GetRow(3), {0, 5, 0, 1}, 1e-15);
    // Full 4x4: the fourth column takes part.
    KQoxMatrix p, q;
    p.Set(0, 3, 2.0);
    q.Set(3, 0, 3.0);
    EXPECT_EQ((p * q).Get(3, 3), 7.0); // q . p
    EXPECT_EQ((q * p).Get(3, 3), 1.0);
    EXPECT_EQ(a.Transpose().Get(0, 3), 5.0);
    p.Set(0, 3, 1e-7);
    EXPECT_TRUE(p == KQoxMatrix());
    p.Set(0, 3, 2e-6);
    EXPECT_TRUE(p != KQoxMatrix());
    EXPECT_EQ(static_cast<const double*>(p)[3], 2e-6);
}

TEST(KQoxXMatrixTest, FourthColumnOnCopyProductAndEquality)
{
    KQoxXMatrix m(V4(1, 2, 3, 0), V4(10, 20, 30, 0), V4(1, 2, 3, 0));
    Raw(m, 0, 3) = 9.0;
    const KQoxXMatrix copy(m);
    EXPECT_EQ(copy.Get(0, 3), 0.0); // reset by the copy
    EXPECT_TRUE(copy == m);         // the fourth column is not compared
    KQoxXMatrix target;
    Raw(target, 1, 3) = 4.0;
    target = m; // assignment keeps the target's fourth column
    EXPECT_EQ(target.Get(1, 3), 4.0);
    EXPECT_EQ(target.Get(0, 3), 0.0);
    KgeAMatrix raw;
    raw.mData[2][3] = 6.0;
    target = raw;
    EXPECT_EQ(target.Get(2, 3), 0.0);

    const KQoxXMatrix a(V4(5, 0, 0, 0), V4(0, 0, 0, 0), kOne), b(V4(0, 0, 0, 0), V4(0, 0, 90, 0), V4(2, 2, 2, 0));
    ExpectNear((a * b).MultT(V4(1, 0, 0, 0)), {5, 2, 0, 0}, 1e-12); // b first, then a
    const V4 p(1, 2, 3, 0);
    EXPECT_TRUE((b * a).MultT(p) == b.MultT(a.MultT(p)));
    KQoxXMatrix c = a;
    Raw(c, 1, 3) = 3.0;
    c *= b;
    EXPECT_TRUE(c == a * b);
    EXPECT_EQ(c.Get(1, 3), 3.0); // *= leaves the fourth column
    Raw(c, 3, 1) += 1e-5;
    EXPECT_TRUE(c != a * b);

    KQoxXMatrix s(V4(1, 2, 3, 0), V4(0, 0, 0, 0), kOne);
    ExpectNear((s * 2.0).GetT(), {0, 0, 0}, 0); // a product with a scalar has no translation; *= keeps it
    ExpectNear((s / 4.0).GetS(), {0.25, 0.25, 0.25}, 0);
    s *= 2.0;
    ExpectNear(s.GetT(), {1, 2, 3}, 0);
    ExpectNear(s.GetS(), {2, 2, 2}, 0);
    EXPECT_EQ((-s).Get(3, 3), -1.0);
    EXPECT_EQ((-s).Get(0, 3), 0.0);
}

TEST(KQoxXMatrixTest, DecompositionSetRSetSAndInverse)
{
    // Mirrored: diag(1, 1, -1) reads as scale -1 and a half turn about Z.
    KQoxXMatrix mirror;
    Raw(mirror, 2, 2) = -1.0;
    ExpectNear(mirror.GetS(), {-1, -1, -1, 0}, 0);
    const V4 r = mirror.GetR();
    ExpectNear(r, {0, 0}, 1e-12);
    EXPECT_NEAR(std::fabs(r[2]), 180.0, 1e-12);
    // SetR keeps scale and translation; SetS on the scaled matrix sets a
    // mirrored scale and keeps the rotation.
    KQoxXMatrix m(V4(1, 2, 3, 0), V4(40, -10, 5, 0), V4(2, 3, 4, 0));
    Raw(m, 2, 3) = 0.25;
    m.SetR(V4(0, 0, 90, 0));
    ExpectRow(m, 0, 0, 2, 0, 1e-6);
    ExpectRow(m, 1, -3, 0, 0, 1e-6);
    ExpectRow(m, 2, 0, 0, 4, 1e-6);
    ExpectNear(m.GetT(), {1, 2, 3}, 0);
    m.SetS(V4(-1, -2, -3, 0));
    ExpectNear(m.GetS(), {-1, -2, -3}, 1e-12);
    ExpectNear(m.GetR(), {0, 0, 90}, 1e-9);
    EXPECT_EQ(m.Get(2, 3), 0.25);
    KQoxXMatrix q(V4(1, 2, 3, 0), V4(0, 0, 0, 0), V4(2, 3, 4, 0));
    q.SetQ(KQoxQuaternion(0, 0, 1, 1)); // an unnormalised quarter turn about Z
    ExpectRow(q, 0, 0, 2, 0, 1e-12);
    ExpectRow(q, 1, -3, 0, 0, 1e-12);

    const KQoxXMatrix t(V4(-7, 8, 9, 0), V4(12, -34, 56, 0), V4(0.5, 2, 3, 0));
    ExpectNear(t.GetR(), {12, -34, 56}, 1e-9);
    ExpectNear(t.GetS(), {0.5, 2, 3}, 1e-12);
    KQoxXMatrix rebuilt;
    rebuilt.SetTQS(t.GetT(), t.GetQ(), t.GetS());
    EXPECT_TRUE(rebuilt == t);
    ExpectNear(KQoxXMatrix(V4(), V4(10, -90, 20, 0), kOne).GetR(), {30, -90, 0}, 1e-9); // the gimbal rule
    // The inverse times the original is the identity, both ways.
    const KQoxXMatrix g(V4(-3, 7, 2, 0), V4(25, -60, 145, 0), V4(0.5, 3, -2, 0));
    EXPECT_TRUE(g.Inverse() * g == KQoxXMatrix());
    EXPECT_TRUE(g * g.Inverse() == KQoxXMatrix());
    KQoxXMatrix k(g); // the class passes to the kernels without copying
    KmAi(k, k);
    EXPECT_TRUE(k == g.Inverse());
}

TEST(KQoxXMatrixTest, TransformingValues)
{
    ExpectNear(KQoxXMatrix(V4(5, 6, 7, 0), V4(), kOne).MultT(V4(1, 0, 0, 9)), {6, 6, 7, 0}, 0);
    // MultR: the rotation R first, then the matrix's 3x3 part; a uniform scale
    // does not enter the angles.
    const KQoxXMatrix m(kOne, V4(0, 0, 90, 0), V4(2, 3, 4, 0)), rot(V4(), V4(0, 0, 90, 0), kOne);
    const V4 expected = (rot * KQoxXMatrix(V4(), V4(30, 0, 0, 0), kOne)).GetR();
    ExpectNear(KQoxXMatrix(kOne, V4(0, 0, 90, 0), V4(2, 2, 2, 0)).MultR(V4(30, 0, 0, 0)),
               {expected[0], expected[1], expected[2], 0}, 1e-9);
    // Non-uniform: Rxyz(30, 0, 0) . M3 has rows (0, 2, 0), (-3c, 0, 4s), (3s, 0, 4c);
    // divided by their lengths 2, sqrt(10.75), sqrt(14.25) they read as
    // X = atan2(4s / sqrt(10.75), 4c / sqrt(14.25)) = 33.613..., Y = 0, Z = 90.
    const double c30 = std::cos(30 * K_DEG_TO_RAD), s30 = std::sin(30 * K_DEG_TO_RAD);
    const double x = std::atan2(4 * s30 / std::sqrt(10.75), 4 * c30 / std::sqrt(14.25)) * K_RAD_TO_DEG;
    EXPECT_NEAR(x, 33.613, 1e-3);
    ExpectNear(m.MultR(V4(30, 0, 0, 0)), {x, 0, 90, 0}, 1e-9);

    const KQoxQuaternion q(0.2, -0.3, 0.5, 0.7);
    KQoxXMatrix fromQ, fromMQ; // MultQ = Qm (x) Q: Q first, then the matrix's rotation
    fromQ.SetTQS(V4(), q, kOne);
    fromMQ.SetTQS(V4(), rot.MultQ(q), kOne);
    EXPECT_TRUE(fromMQ == rot * fromQ);
    // Without removing the scale first: a scaled matrix scales the quaternion.
    const KQoxQuaternion sq = KQoxXMatrix(V4(), V4(), V4(3, 3, 3, 0)).MultQ(KQoxQuaternion(0, 0, 0, 1));
    EXPECT_NEAR(sq[3], std::sqrt((9.0 + 1.0) / 4.0), 1e-12);
    ExpectNear(m.MultS(V4(1, 2, -1, 0)), {-2, -6, -4, 0}, 1e-12); // signed scale after scaling the rows
}
