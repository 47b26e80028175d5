// Vector, quaternion, matrix and affine transform classes.
#include "base/kmath.h"
#include "base/karray.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void ExpectVectorNear(const KQoxVector4& v, double x, double y, double z, double w, double tol = 1e-9)
{
    EXPECT_NEAR(v[0], x, tol);
    EXPECT_NEAR(v[1], y, tol);
    EXPECT_NEAR(v[2], z, tol);
    EXPECT_NEAR(v[3], w, tol);
}

void ExpectRowNear(const KQoxXMatrix& m, int row, double a, double b, double c, double tol = 1e-9)
{
    EXPECT_NEAR(m.Get(row, 0), a, tol) << "row " << row;
    EXPECT_NEAR(m.Get(row, 1), b, tol) << "row " << row;
    EXPECT_NEAR(m.Get(row, 2), c, tol) << "row " << row;
}

// A point through a full 4x4 as a row vector (x, y, z, 1).
KQoxVector4 Transform(const KQoxMatrix& m, double x, double y, double z)
{
    KQoxVector4 r;
    for (int c = 0; c < 4; ++c)
        r[c] = x * m.Get(0, c) + y * m.Get(1, c) + z * m.Get(2, c) + m.Get(3, c);
    return r;
}

} // namespace

TEST(KQoxVectorTest, Vector4EqualityIgnoresWAndUsesTheTolerance)
{
    EXPECT_TRUE(KQoxVector4(1, 2, 3, 7) == KQoxVector4(1, 2, 3.0000009, -5));
    EXPECT_FALSE(KQoxVector4(1, 2, 3, 7) != KQoxVector4(1, 2, 3.0000009, -5));
    EXPECT_FALSE(KQoxVector4(1, 2, 3, 0) == KQoxVector4(1.000002, 2, 3, 0));
    EXPECT_TRUE(KQoxVector4(1, 2, 3, 0) != KQoxVector4(1.000002, 2, 3, 0));
    EXPECT_FALSE(KQoxVector4(std::nan(""), 0, 0, 0) == KQoxVector4(std::nan(""), 0, 0, 0));

    EXPECT_FALSE(KQoxVector2(0.1, 0.2) == KQoxVector2(0.1, 0.2000000001));
    EXPECT_TRUE(KQoxVector2(0.1, 0.2) == KQoxVector2(0.1, 0.2));
    EXPECT_TRUE(KQoxVector2(std::nan(""), 0) != KQoxVector2(std::nan(""), 0));
}

TEST(KQoxVectorTest, VectorRules)
{
    // Scalar and vector operations include W; products are component by component.
    const KQoxVector4 a(1, 2, 3, 4), b(2, 4, 8, 16);
    ExpectVectorNear(a * b, 2, 8, 24, 64, 0);
    ExpectVectorNear(b / a, 2, 2, 8.0 / 3.0, 4, 1e-15);
    ExpectVectorNear(a - 1.0, 0, 1, 2, 3, 0);
    ExpectVectorNear(-a, -1, -2, -3, -4, 0);
    KQoxVector4 c = a;
    c /= 2.0;
    ExpectVectorNear(c, 0.5, 1, 1.5, 2, 0);

    // Dot, length and distance ignore W; the cross product sets W = 1.
    EXPECT_EQ(a.DotProduct(b), 2 + 8 + 24);
    ExpectVectorNear(KQoxVector4(1, 0, 0, 0).CrossProduct(KQoxVector4(0, 1, 0, 0)), 0, 0, 1, 1, 0);
    EXPECT_EQ(KQoxVector4(3, 4, 0, 100).Length(), 5.0);
    EXPECT_EQ(KQoxVector4(0, 0, 0, 9).Length(), 0.0);
    EXPECT_EQ(KQoxVector4(1, 1, 1, 0).Distance(KQoxVector4(4, 5, 1, 50)), 5.0);

    // Normalising leaves W alone, and a zero vector zero.
    KQoxVector4 n(0, 0, 0, 5);
    n.Normalize();
    ExpectVectorNear(n, 0, 0, 0, 5, 0);
    KQoxVector4 u(0, 3, 4, 7);
    u.Normalize();
    ExpectVectorNear(u, 0, 0.6, 0.8, 7, 1e-15);

    const double raw[4] = {9, 8, 7, 6};
    KQoxVector4 r;
    r = raw;
    ExpectVectorNear(r, 9, 8, 7, 6, 0);
    r[static_cast<long>(2)] = 2.5;
    EXPECT_EQ(static_cast<const double*>(r)[2], 2.5);

    KQoxVector2 v2(3, 4);
    EXPECT_EQ(v2.Length(), 5.0);
    EXPECT_EQ(KQoxVector2().Length(), 0.0);
    EXPECT_EQ(KQoxVector2(1, 2).Distance(KQoxVector2(4, 6)), 5.0);
    EXPECT_TRUE(v2 / KQoxVector2(3, 2) == KQoxVector2(1, 2));
    KQoxVector2 z;
    z.Normalize();
    EXPECT_TRUE(z == KQoxVector2(0, 0));
}

TEST(KQoxVectorTest, AxisAlignmentInEulerAngle)
{
    KQoxVector4 angles(1, 1, 1, 42);
    const KQoxVector4 origin(1, 1, 1, 0);
    EXPECT_TRUE(KQoxVector4::AxisAlignmentInEulerAngle(origin, KQoxVector4(3, 1, 1, 0),
                                                       KQoxVector4(-5, 1, 1, 0), angles));
    ExpectVectorNear(angles, 180, 0, 0, 42, 0);

    EXPECT_TRUE(KQoxVector4::AxisAlignmentInEulerAngle(origin, KQoxVector4(3, 1, 1, 0),
                                                       KQoxVector4(9, 1.0001, 1, 0), angles));
    ExpectVectorNear(angles, 0, 0, 0, 42, 0);

    // X onto Y is a quarter turn about Z.
    EXPECT_TRUE(KQoxVector4::AxisAlignmentInEulerAngle(origin, KQoxVector4(2, 1, 1, 0),
                                                       KQoxVector4(1, 4, 1, 0), angles));
    ExpectVectorNear(angles, 0, 0, 90, 42, 1e-9);

    // Generic: the rotation turns d1 onto d2.
    const KQoxVector4 a(0.3, -2, 5, 0), b(-4, 1, 2, 0);
    KQoxVector4::AxisAlignmentInEulerAngle(KQoxVector4(), a, b, angles);
    KQoxXMatrix r(KQoxVector4(), angles, KQoxVector4(1, 1, 1, 0));
    KQoxVector4 d1 = a, d2 = b;
    d1.Normalize();
    d2.Normalize();
    EXPECT_TRUE(r.MultT(d1) == d2);
}

TEST(KQoxVectorTest, ArraysMatchWithTheElementEquality)
{
    KArrayTemplate<KQoxVector4> v4;
    v4.Add(KQoxVector4(1, 2, 3, 0));
    v4.Add(KQoxVector4(4, 5, 6, 0));
    EXPECT_EQ(v4.Find(KQoxVector4(4, 5, 6.0000005, 99)), 1);
    EXPECT_EQ(v4.Find(KQoxVector4(4, 5, 6.00001, 0)), -1);
    EXPECT_EQ(v4.AddUnique(KQoxVector4(1.0000001, 2, 3, -1)), 0);
    EXPECT_EQ(v4.GetCount(), 2);

    KArrayTemplate<KQoxVector2> v2;
    v2.Add(KQoxVector2(0.1, 0.2));
    EXPECT_EQ(v2.Find(KQoxVector2(0.1, 0.2)), 0);
    EXPECT_EQ(v2.Find(KQoxVector2(0.1, 0.2000000001)), -1);
}

TEST(KQoxQuaternionTest, ComponentWiseOperations)
{
    EXPECT_TRUE(KQoxQuaternion() == KQoxQuaternion(0, 0, 0, 0));
    const KQoxQuaternion a(1, 2, 3, 4), b(2, 2, 2, 2);
    EXPECT_TRUE(a * b == KQoxQuaternion(2, 4, 6, 8)); // not the Hamilton product
    EXPECT_TRUE(a - 1.0 == KQoxQuaternion(0, 1, 2, 3));
    EXPECT_TRUE(a == KQoxQuaternion(1, 2, 3, 4.0000009));
    EXPECT_TRUE(a != KQoxQuaternion(1, 2, 3, 4.000002)); // W is compared

    // The default quaternion turned into a matrix is the identity.
    const KQoxMatrix m(KQoxVector4(), KQoxQuaternion(), KQoxVector4(1, 1, 1, 0));
    EXPECT_TRUE(m == KQoxMatrix());
}

TEST(KQoxMatrixTest, ConstructionAccessAndTRS)
{
    KQoxMatrix m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(m.Get(r, c), r == c ? 1.0 : 0.0);

    m.Set(0, 3, 5.0);
    m.SetTRS(KQoxVector4(1, 2, 3, 0), KQoxVector4(0, 0, 90, 0), KQoxVector4(2, 3, 4, 0));
    EXPECT_EQ(m.Get(0, 3), 5.0); // fourth column kept
    const KQoxMatrix k(KQoxVector4(1, 2, 3, 0), KQoxVector4(0, 0, 90, 0), KQoxVector4(2, 3, 4, 0));
    EXPECT_TRUE(k.GetColumn(3) == KQoxVector4(0, 0, 0, 0));
    EXPECT_EQ(k.Get(3, 3), 1.0);
    EXPECT_NEAR(k.Get(0, 1), 2.0, 1e-15);
    EXPECT_NEAR(k.Get(1, 0), -3.0, 1e-15);
    EXPECT_NEAR(k.Get(2, 2), 4.0, 1e-15);
    EXPECT_TRUE(k.GetRow(3) == KQoxVector4(1, 2, 3, 0));

    // The quaternion form builds the same matrix.
    const KQoxMatrix kq(KQoxVector4(1, 2, 3, 0), KQoxQuaternion(0, 0, std::sqrt(0.5), std::sqrt(0.5)),
                        KQoxVector4(2, 3, 4, 0));
    EXPECT_TRUE(kq == k);
    KQoxMatrix sq;
    sq.Set(2, 3, -1.0);
    sq.SetTQS(KQoxVector4(1, 2, 3, 0), KQoxQuaternion(0, 0, 1, 1), KQoxVector4(2, 3, 4, 0));
    EXPECT_EQ(sq.Get(2, 3), -1.0);
    sq.Set(2, 3, 0.0);
    EXPECT_TRUE(sq == k);

    KQoxMatrix rc;
    rc.SetRow(1, KQoxVector4(1, 2, 3, 4));
    rc.SetColumn(2, KQoxVector4(5, 6, 7, 8));
    EXPECT_TRUE(rc.GetRow(1) == KQoxVector4(1, 2, 6, 4));
    EXPECT_EQ(rc.GetRow(1)[3], 4.0);
    EXPECT_EQ(rc.GetColumn(2)[3], 8.0);
    rc.SetIdentity();
    EXPECT_TRUE(rc == KQoxMatrix());
}

TEST(KQoxMatrixTest, ProductOrderAndArithmetic)
{
    // A translation, B a rotation: A * B rotates first and translates after.
    const KQoxMatrix a(KQoxVector4(5, 0, 0, 0), KQoxVector4(0, 0, 0, 0), KQoxVector4(1, 1, 1, 0));
    const KQoxMatrix b(KQoxVector4(0, 0, 0, 0), KQoxVector4(0, 0, 90, 0), KQoxVector4(1, 1, 1, 0));
    ExpectVectorNear(Transform(a * b, 1, 0, 0), 5, 1, 0, 1, 1e-15);
    ExpectVectorNear(Transform(b * a, 1, 0, 0), 0, 6, 0, 1, 1e-15);
    KQoxMatrix c = a;
    c *= b;
    EXPECT_TRUE(c == a * b);

    // Full 4x4: the fourth column takes part.
    KQoxMatrix p;
    p.Set(0, 3, 2.0);
    KQoxMatrix q;
    q.Set(3, 0, 3.0);
    EXPECT_EQ((p * q).Get(3, 3), 7.0); // q . p
    EXPECT_EQ((q * p).Get(3, 3), 1.0);

    const KQoxMatrix n = -a;
    EXPECT_EQ(n.Get(3, 0), -5.0);
    EXPECT_EQ(n.Get(3, 3), -1.0);

    const KQoxMatrix t = a.Transpose();
    EXPECT_EQ(t.Get(0, 3), 5.0);
    EXPECT_EQ(t.Get(3, 0), 0.0);

    KQoxMatrix e;
    e.Set(1, 3, 1e-7);
    EXPECT_TRUE(e == KQoxMatrix());
    e.Set(1, 3, 2e-6);
    EXPECT_TRUE(e != KQoxMatrix());
    EXPECT_EQ(static_cast<const double*>(e)[7], 2e-6);
}

TEST(KQoxXMatrixTest, CopyKeepsOrResetsTheFourthColumn)
{
    KQoxXMatrix m(KQoxVector4(1, 2, 3, 0), KQoxVector4(10, 20, 30, 0), KQoxVector4(1, 2, 3, 0));
    static_cast<KgeAMatrix&>(m).mData[0][3] = 9.0;
    const KQoxXMatrix copy(m);
    EXPECT_EQ(copy.Get(0, 3), 0.0);
    EXPECT_EQ(copy.Get(3, 3), 1.0);
    EXPECT_TRUE(copy == m); // the fourth column is not compared

    KQoxXMatrix target;
    static_cast<KgeAMatrix&>(target).mData[1][3] = 4.0;
    target = m;
    EXPECT_EQ(target.Get(1, 3), 4.0);
    EXPECT_EQ(target.Get(0, 3), 0.0);
    EXPECT_EQ(target.Get(3, 1), 2.0);

    KgeAMatrix raw;
    raw.mData[3][0] = 8.0;
    raw.mData[2][3] = 6.0;
    target = raw;
    EXPECT_EQ(target.Get(3, 0), 8.0);
    EXPECT_EQ(target.Get(2, 3), 0.0);

    // The KgeAMatrix view is the same storage.
    KgeAMatrix& view = m;
    view.mData[3][2] = -1.0;
    EXPECT_EQ(m.GetT()[2], -1.0);
    EXPECT_EQ(static_cast<double*>(m)[14], -1.0);
}

TEST(KQoxXMatrixTest, MirroredMatrixDecomposition)
{
    KQoxXMatrix m;
    KgeAMatrix& a = m;
    a.mData[2][2] = -1.0;
    a.mData[3][0] = 4.0;
    ExpectVectorNear(m.GetS(), -1, -1, -1, 0, 0);
    const KQoxVector4 r = m.GetR();
    EXPECT_NEAR(r[0], 0.0, 1e-12);
    EXPECT_NEAR(r[1], 0.0, 1e-12);
    EXPECT_NEAR(std::fabs(r[2]), 180.0, 1e-12);
    EXPECT_EQ(r[3], 0.0);
    m.SetT(m.GetT());
    ExpectRowNear(m, 0, 1, 0, 0);
    ExpectRowNear(m, 1, 0, 1, 0);
    ExpectRowNear(m, 2, 0, 0, -1);
    ExpectRowNear(m, 3, 4, 0, 0);
}

TEST(KQoxXMatrixTest, SetRKeepsScaleAndTranslation)
{
    KQoxXMatrix m(KQoxVector4(1, 2, 3, 0), KQoxVector4(40, -10, 5, 0), KQoxVector4(2, 3, 4, 0));
    static_cast<KgeAMatrix&>(m).mData[2][3] = 0.25;
    m.SetR(KQoxVector4(0, 0, 90, 0));
    ExpectRowNear(m, 0, 0, 2, 0, 1e-6);
    ExpectRowNear(m, 1, -3, 0, 0, 1e-6);
    ExpectRowNear(m, 2, 0, 0, 4, 1e-6);
    ExpectVectorNear(m.GetT(), 1, 2, 3, 0, 0);
    EXPECT_EQ(m.Get(2, 3), 0.25);

    // SetS on a mirrored matrix replaces the signed scale.
    m.SetS(KQoxVector4(-1, -2, -3, 0));
    ExpectVectorNear(m.GetS(), -1, -2, -3, 0, 1e-12);
    ExpectVectorNear(m.GetR(), 0, 0, 90, 0, 1e-9);
    EXPECT_EQ(m.Get(2, 3), 0.25);

    // SetQ with the same rotation as a quaternion.
    KQoxXMatrix q(KQoxVector4(1, 2, 3, 0), KQoxVector4(0, 0, 0, 0), KQoxVector4(2, 3, 4, 0));
    q.SetQ(KQoxQuaternion(0, 0, 1, 1)); // unnormalised quarter turn about Z
    ExpectRowNear(q, 0, 0, 2, 0, 1e-12);
    ExpectRowNear(q, 1, -3, 0, 0, 1e-12);
    ExpectVectorNear(q.GetT(), 1, 2, 3, 0, 0);

    // Reading round trips.
    const KQoxXMatrix r(KQoxVector4(-7, 8, 9, 0), KQoxVector4(12, -34, 56, 0), KQoxVector4(0.5, 2, 3, 0));
    ExpectVectorNear(r.GetT(), -7, 8, 9, 0, 0);
    ExpectVectorNear(r.GetR(), 12, -34, 56, 0, 1e-9);
    ExpectVectorNear(r.GetS(), 0.5, 2, 3, 0, 1e-12);
    KQoxXMatrix rebuilt;
    rebuilt.SetTQS(r.GetT(), r.GetQ(), r.GetS());
    EXPECT_TRUE(rebuilt == r);
    rebuilt.SetTRS(r.GetT(), r.GetR(), r.GetS());
    EXPECT_TRUE(rebuilt == r);

    // Angles through the gimbal convention.
    const KQoxXMatrix g(KQoxVector4(), KQoxVector4(10, -90, 20, 0), KQoxVector4(1, 1, 1, 0));
    ExpectVectorNear(g.GetR(), 30, -90, 0, 0, 1e-9);
    const KQoxXMatrix h(KQoxVector4(), KQoxVector4(30, 0, 0, 0), KQoxVector4(1, 1, 1, 0));
    ExpectVectorNear(h.GetR(), 30, 0, 0, 0, 1e-12);
}

TEST(KQoxXMatrixTest, ScalarProductsAndNegation)
{
    KQoxXMatrix m(KQoxVector4(1, 2, 3, 0), KQoxVector4(0, 0, 0, 0), KQoxVector4(1, 1, 1, 0));
    const KQoxXMatrix twice = m * 2.0;
    ExpectVectorNear(twice.GetT(), 0, 0, 0, 0, 0);
    ExpectVectorNear(twice.GetS(), 2, 2, 2, 0, 0);
    ExpectVectorNear((m / 4.0).GetS(), 0.25, 0.25, 0.25, 0, 0);
    m *= 2.0;
    ExpectVectorNear(m.GetT(), 1, 2, 3, 0, 0);
    ExpectVectorNear(m.GetS(), 2, 2, 2, 0, 0);
    m /= 2.0;
    ExpectVectorNear(m.GetS(), 1, 1, 1, 0, 0);

    const KQoxXMatrix n = -m;
    EXPECT_EQ(n.Get(0, 0), -1.0);
    EXPECT_EQ(n.Get(3, 2), -3.0);
    EXPECT_EQ(n.Get(3, 3), -1.0);
    EXPECT_EQ(n.Get(0, 3), 0.0);

    const KQoxXMatrix t = m.Transpose();
    EXPECT_EQ(t.Get(0, 3), 1.0);
    EXPECT_EQ(t.Get(3, 0), 0.0);
}

TEST(KQoxXMatrixTest, InverseTimesOriginalIsIdentity)
{
    const KQoxXMatrix m(KQoxVector4(4, 0, 0, 0), KQoxVector4(0, 0, 30, 0), KQoxVector4(2, 2, 2, 0));
    const KQoxXMatrix inv = m.Inverse();
    EXPECT_TRUE(inv * m == KQoxXMatrix());
    EXPECT_TRUE(m * inv == KQoxXMatrix());
    EXPECT_EQ(inv.Get(3, 3), 1.0);

    const KQoxXMatrix general(KQoxVector4(-3, 7, 2, 0), KQoxVector4(25, -60, 145, 0), KQoxVector4(0.5, 3, -2, 0));
    EXPECT_TRUE(general.Inverse() * general == KQoxXMatrix());
    EXPECT_TRUE(general * general.Inverse() == KQoxXMatrix());
}

TEST(KQoxXMatrixTest, AffineProduct)
{
    const KQoxXMatrix a(KQoxVector4(5, 0, 0, 0), KQoxVector4(0, 0, 0, 0), KQoxVector4(1, 1, 1, 0));
    const KQoxXMatrix b(KQoxVector4(0, 0, 0, 0), KQoxVector4(0, 0, 90, 0), KQoxVector4(2, 2, 2, 0));
    // b first, then a.
    ExpectVectorNear((a * b).MultT(KQoxVector4(1, 0, 0, 0)), 5, 2, 0, 0, 1e-12);
    const KQoxVector4 p(1, 2, 3, 0);
    EXPECT_TRUE((a * b).MultT(p) == a.MultT(b.MultT(p)));
    EXPECT_TRUE((b * a).MultT(p) == b.MultT(a.MultT(p)));

    KQoxXMatrix c = a;
    static_cast<KgeAMatrix&>(c).mData[1][3] = 3.0;
    c *= b;
    EXPECT_TRUE(c == a * b);
    EXPECT_EQ(c.Get(1, 3), 3.0); // *= leaves the fourth column
    EXPECT_EQ((a * b).Get(1, 3), 0.0);

    // Equality ignores the fourth column only.
    KQoxXMatrix d = a, e = a;
    static_cast<KgeAMatrix&>(d).mData[0][3] = 1.0;
    EXPECT_TRUE(d == e);
    static_cast<KgeAMatrix&>(d).mData[3][1] = 1e-5;
    EXPECT_TRUE(d != e);
}

TEST(KQoxXMatrixTest, TransformingValues)
{
    const KQoxXMatrix t(KQoxVector4(5, 6, 7, 0), KQoxVector4(0, 0, 0, 0), KQoxVector4(1, 1, 1, 0));
    ExpectVectorNear(t.MultT(KQoxVector4(1, 0, 0, 9)), 6, 6, 7, 0, 0);

    // MultR: the rotation R first, then the matrix's 3x3 part; a uniform scale does not
    // enter the angles.
    const KQoxXMatrix m(KQoxVector4(1, 1, 1, 0), KQoxVector4(0, 0, 90, 0), KQoxVector4(2, 3, 4, 0));
    ExpectVectorNear(m.MultR(KQoxVector4(0, 0, 0, 0)), 0, 0, 90, 0, 1e-9);
    const KQoxXMatrix rot(KQoxVector4(), KQoxVector4(0, 0, 90, 0), KQoxVector4(1, 1, 1, 0));
    const KQoxXMatrix r30(KQoxVector4(), KQoxVector4(30, 0, 0, 0), KQoxVector4(1, 1, 1, 0));
    const KQoxVector4 expected = (rot * r30).GetR();
    const KQoxXMatrix uniform(KQoxVector4(1, 1, 1, 0), KQoxVector4(0, 0, 90, 0), KQoxVector4(2, 2, 2, 0));
    ExpectVectorNear(uniform.MultR(KQoxVector4(30, 0, 0, 0)), expected[0], expected[1], expected[2], 0, 1e-9);
    // Non-uniform: Rxyz(30, 0, 0) . M3 has rows (0, 2, 0), (-3c, 0, 4s), (3s, 0, 4c);
    // divided by their lengths 2, sqrt(10.75), sqrt(14.25) they read as
    // X = atan2(4s / sqrt(10.75), 4c / sqrt(14.25)), Y = 0, Z = 90.
    const double c30 = std::cos(30 * K_DEG_TO_RAD), s30 = std::sin(30 * K_DEG_TO_RAD);
    const double x = std::atan2(4 * s30 / std::sqrt(10.75), 4 * c30 / std::sqrt(14.25)) * K_RAD_TO_DEG;
    ExpectVectorNear(m.MultR(KQoxVector4(30, 0, 0, 0)), x, 0, 90, 0, 1e-9);
    EXPECT_NEAR(x, 33.613, 1e-3);

    // MultQ = Qm (x) Q: Q first, then the matrix's rotation.
    const KQoxQuaternion q(0.2, -0.3, 0.5, 0.7);
    const KQoxQuaternion mq = rot.MultQ(q);
    KQoxXMatrix fromQ;
    fromQ.SetTQS(KQoxVector4(), q, KQoxVector4(1, 1, 1, 0));
    KQoxXMatrix fromMQ;
    fromMQ.SetTQS(KQoxVector4(), mq, KQoxVector4(1, 1, 1, 0));
    EXPECT_TRUE(fromMQ == rot * fromQ);
    // Without removing the scale first: a scaled matrix scales the quaternion.
    const KQoxXMatrix scaled(KQoxVector4(), KQoxVector4(0, 0, 0, 0), KQoxVector4(3, 3, 3, 0));
    const KQoxQuaternion sq = scaled.MultQ(KQoxQuaternion(0, 0, 0, 1));
    EXPECT_NEAR(sq[3], std::sqrt((9.0 + 1.0) / 4.0), 1e-12);

    // MultS: signed scale after scaling the rows.
    ExpectVectorNear(m.MultS(KQoxVector4(1, 2, -1, 0)), -2, -6, -4, 0, 1e-12);
    ExpectVectorNear(m.MultS(KQoxVector4(1, 1, 1, 0)), 2, 3, 4, 0, 1e-12);
}

TEST(KQoxXMatrixTest, PassesToTheKernelsWithoutCopying)
{
    const KQoxXMatrix original(KQoxVector4(1, 2, 3, 0), KQoxVector4(10, 20, 30, 0), KQoxVector4(1, 1, 1, 0));
    KQoxXMatrix m(original);
    double angles[3];
    KmRtoVXYZ(angles, m);
    EXPECT_NEAR(angles[0], 10, 1e-9);
    EXPECT_NEAR(angles[2], 30, 1e-9);
    KmAi(m, m);
    EXPECT_TRUE(m * original == KQoxXMatrix());
    EXPECT_TRUE(m == original.Inverse());
}
