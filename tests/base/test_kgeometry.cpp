// Geometry functions.
#include "base/kmath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;

void ExpectRow(const KRow4* m, int r, double a, double b, double c, double tol = 1e-12)
{
    EXPECT_NEAR(m[r][0], a, tol) << "row " << r;
    EXPECT_NEAR(m[r][1], b, tol) << "row " << r;
    EXPECT_NEAR(m[r][2], c, tol) << "row " << r;
}

void ExpectVec(const KgeTVector& v, double x, double y, double z, double tol = 1e-12)
{
    EXPECT_NEAR(v.x, x, tol);
    EXPECT_NEAR(v.y, y, tol);
    EXPECT_NEAR(v.z, z, tol);
}

void ExpectQuat(const KgeQuaternion& q, double x, double y, double z, double w, double tol = 1e-12)
{
    EXPECT_NEAR(q.x, x, tol);
    EXPECT_NEAR(q.y, y, tol);
    EXPECT_NEAR(q.z, z, tol);
    EXPECT_NEAR(q.w, w, tol);
}

template <typename M>
void Sentinel(M& m, double v = 77.0)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m.mData[r][c] = v;
}

} // namespace

TEST(KGeometryTest, TriangulationOrder)
{
    int idx[64];
    for (int& i : idx)
        i = -7;
    KTriangulation(idx, 3);
    EXPECT_EQ(std::vector<int>(idx, idx + 3), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(idx[3], -7);

    KTriangulation(idx, 4);
    EXPECT_EQ(std::vector<int>(idx, idx + 6), (std::vector<int>{0, 1, 2, 2, 3, 0}));
    EXPECT_EQ(idx[6], -7);

    KTriangulation(idx, 5);
    EXPECT_EQ(std::vector<int>(idx, idx + 9), (std::vector<int>{0, 1, 2, 2, 3, 0, 0, 3, 4}));
    EXPECT_EQ(idx[9], -7);

    KTriangulation(idx, 8);
    EXPECT_EQ(std::vector<int>(idx, idx + 18),
              (std::vector<int>{0, 1, 2, 2, 3, 0, 0, 3, 7, 3, 4, 7, 7, 4, 6, 4, 5, 6}));
    EXPECT_EQ(idx[18], -7);

    // Too few corners: nothing written.
    for (int& i : idx)
        i = -7;
    KTriangulation(idx, 2);
    KTriangulation(idx, 0);
    EXPECT_EQ(idx[0], -7);
}

TEST(KGeometryTest, TriangulationCoversTheConvexPolygon)
{
    // The triangles of a regular n-gon, all the same way round, sum to its area.
    for (int n = 3; n <= 21; ++n)
    {
        std::vector<int> idx(3 * (n - 2) + 3, -7);
        KTriangulation(idx.data(), n);
        EXPECT_EQ(idx[3 * (n - 2)], -7) << n;
        std::vector<double> x(n), y(n);
        for (int i = 0; i < n; ++i)
        {
            x[i] = std::cos(2 * kPi * i / n);
            y[i] = std::sin(2 * kPi * i / n);
        }
        double area = 0;
        for (int t = 0; t < n - 2; ++t)
        {
            const int a = idx[3 * t], b = idx[3 * t + 1], c = idx[3 * t + 2];
            ASSERT_TRUE(a >= 0 && a < n && b >= 0 && b < n && c >= 0 && c < n) << n;
            const double signedArea = ((x[b] - x[a]) * (y[c] - y[a]) - (x[c] - x[a]) * (y[b] - y[a])) * 0.5;
            EXPECT_GT(signedArea, 0.0) << "n " << n << " triangle " << t;
            area += signedArea;
        }
        EXPECT_NEAR(area, 0.5 * n * std::sin(2 * kPi / n), 1e-12) << n;
    }
}

TEST(KGeometryTest, FitBoxInBox)
{
    double x, y, w, h;
    KFitBoxInBox(4, 2, 0, 0, 10, 10, true, true, true, false, false, &x, &y, &w, &h);
    EXPECT_EQ(w, 10.0);
    EXPECT_EQ(h, 5.0);
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(y, 2.5);
    KFitBoxInBox(4, 2, 0, 0, 10, 10, true, true, true, true, true, &x, &y, &w, &h);
    EXPECT_EQ(w, 20.0);
    EXPECT_EQ(h, 10.0);
    EXPECT_EQ(x, -5.0);
    EXPECT_EQ(y, 0.0);

    // Without fit the size stays; without keepRatio it becomes the outer size.
    KFitBoxInBox(4, 2, 1, 1, 10, 10, false, false, true, false, false, &x, &y, &w, &h);
    EXPECT_EQ(w, 4.0);
    EXPECT_EQ(h, 2.0);
    EXPECT_EQ(x, 1.0);
    EXPECT_EQ(y, 1.0);
    KFitBoxInBox(4, 2, 1, 1, 10, 8, true, true, false, false, false, &x, &y, &w, &h);
    EXPECT_EQ(w, 10.0);
    EXPECT_EQ(h, 8.0);
    EXPECT_EQ(x, 1.0);

    // Equal ratios take H/h.
    KFitBoxInBox(2, 1, 0, 0, 6, 3, false, true, true, false, false, &x, &y, &w, &h);
    EXPECT_EQ(w, 6.0);
    EXPECT_EQ(h, 3.0);
    // Null outputs are skipped.
    KFitBoxInBox(2, 1, 0, 0, 6, 3, true, true, true, false, false, nullptr, nullptr, &w, nullptr);
    EXPECT_EQ(w, 6.0);
}

TEST(KGeometryTest, QuaternionFromPositions)
{
    KgeQuaternion q;
    // Equal directions: (0, 0, 0, 2|a|^2).
    GetQuaternionFromPositionToPosition(q, KgeTVector(1, 2, 2), KgeTVector(1, 2, 2));
    ExpectQuat(q, 0, 0, 0, 18);
    // Same direction, other length: |a||b| + a.b = 18 + 18.
    GetQuaternionFromPositionToPosition(q, KgeTVector(1, 2, 2), KgeTVector(2, 4, 4));
    ExpectQuat(q, 0, 0, 0, 36);

    GetQuaternionFromPositionToPosition(q, KgeTVector(1, 2, 2), KgeTVector(-1, -2, -2));
    ExpectQuat(q, 0, 0, 0, 0, 1e-12);
    double m[4][4];
    KmQtoR(m, q);
    ExpectRow(m, 0, 1, 0, 0, 0);
    ExpectRow(m, 1, 0, 1, 0, 0);

    // X onto Y: a quarter turn about Z.
    GetQuaternionFromPositionToPosition(q, KgeTVector(2, 0, 0), KgeTVector(0, 3, 0));
    ExpectQuat(q, 0, 0, 6, 6);
    KmQtoR(m, q);
    ExpectRow(m, 0, 0, 1, 0);

    // With an origin.
    GetQuaternionFromPositionToPosition(q, KgeTVector(1, 1, 1), KgeTVector(3, 1, 1), KgeTVector(1, 4, 1));
    ExpectQuat(q, 0, 0, 6, 6);

    // Single-precision forms.
    GetQuaternionFromPositionToPosition(q, KgeVertex(2, 0, 0), KgeVertex(0, 3, 0));
    ExpectQuat(q, 0, 0, 6, 6, 0);
    GetQuaternionFromPositionToPositionFromUnitVector(q, KgeVertex(1, 0, 0), KgeVertex(0, 1, 0));
    ExpectQuat(q, 0, 0, 1, 1, 0);
    GetQuaternionFromPositionToPosition(q, KgeVertex(0.1f, 0.2f, 0.3f), KgeVertex(0.3f, 0.1f, -0.2f));
    EXPECT_EQ(q.x, static_cast<double>(0.2f * -0.2f - 0.3f * 0.1f));

    // X onto a unit vector.
    KgeSetQuaternion(q, KgeTVector(0, 1, 0));
    ExpectQuat(q, 0, 0, 1, 1, 0);
    KgeSetQuaternion(q, KgeTVector(0.6, 0, 0.8));
    KmQtoR(m, q);
    ExpectRow(m, 0, 0.6, 0, 0.8);

    QuaternionFromAngularDisplacement(q, KgeTVector(0, 0, 2), kPi);
    ExpectQuat(q, 0, 0, 2, std::cos(kPi / 2));
}

TEST(KGeometryTest, ConstraintAndProjectionOfQuaternions)
{
    const double s45 = std::sin(kPi / 4);
    KgeQuaternion q(0, 0, s45, s45); // 90 degrees about Z
    ConstraintQuaternion(q, 30);
    ExpectQuat(q, 0, 0, std::sin(kPi / 12), std::cos(kPi / 12));

    // Already within the limit: unchanged.
    KgeQuaternion small(0, 0, std::sin(kPi / 24), std::cos(kPi / 24));
    ConstraintQuaternion(small, 30);
    ExpectQuat(small, 0, 0, std::sin(kPi / 24), std::cos(kPi / 24), 0);

    // A negative w keeps its side.
    KgeQuaternion neg(0, 0, s45, -s45);
    ConstraintQuaternion(neg, 30);
    ExpectQuat(neg, 0, 0, std::sin(kPi / 12), -std::cos(kPi / 12));

    // A zero quaternion stays zero.
    KgeQuaternion zero(0, 0, 0, 0);
    ConstraintQuaternion(zero, 30);
    ExpectQuat(zero, 0, 0, 0, 0, 0);

    // Twist about Z of a 60-degree turn about Z is the turn itself.
    KgeQuaternion out;
    ProjectQuaternionOnAxis(out, KgeTVector(0, 0, 1), KgeQuaternion(0, 0, 0.5, std::sqrt(0.75)));
    ExpectQuat(out, 0, 0, 0.5, std::sqrt(0.75));
    // A twist about an axis perpendicular to the rotation is none.
    ProjectQuaternionOnAxis(out, KgeTVector(1, 0, 0), KgeQuaternion(0, 0, 0.5, std::sqrt(0.75)));
    ExpectQuat(out, 0, 0, 0, 1);
    // d just past 1 gives w = 0, not a NaN.
    ProjectQuaternionOnAxis(out, KgeTVector(0, 0, 1), KgeQuaternion(0, 0, 1.0000000001, 0));
    EXPECT_EQ(out.w, 0.0);
}

TEST(KGeometryTest, TriangleBaseAngle)
{
    EXPECT_NEAR(TriangleBaseAngle(5, 1, 1), kPi, 1e-15);
    EXPECT_NEAR(TriangleBaseAngle(1, 1, 1), kPi / 3, 1e-15);
    EXPECT_NEAR(TriangleBaseAngle(5, 3, 4), kPi / 2, 1e-15);
    EXPECT_NEAR(TriangleBaseAngle(0, 1, 1), 0.0, 1e-15);
    EXPECT_EQ(TriangleBaseAngle(1, 0, 1), 0.0);
}

TEST(KGeometryTest, ThreePointsTransform)
{
    KgeAMatrix a;
    Sentinel(a);
    double area = -1, ratio = -1;
    ThreePointsTransform(a, area, ratio, KgeTVector(0, 0, 0), KgeTVector(1, 1, 1), KgeTVector(3, 3, 3));
    EXPECT_EQ(area, 0.0);
    EXPECT_EQ(ratio, 0.0);
    ExpectRow(a, 0, 1, 0, 0, 0);
    ExpectRow(a, 1, 0, 1, 0, 0);
    ExpectRow(a, 2, 0, 0, 1, 0);
    ExpectRow(a, 3, 4.0 / 3, 4.0 / 3, 4.0 / 3);
    EXPECT_EQ(a.mData[0][3], 77.0);

    Sentinel(a);
    ThreePointsTransform(a, area, ratio, KgeTVector(0, 0, 0), KgeTVector(2, 0, 0), KgeTVector(0, 2, 0));
    EXPECT_NEAR(area, 4.0, 1e-15);
    EXPECT_NEAR(ratio, 1.0, 1e-15);
    const double r = std::sqrt(0.5);
    ExpectRow(a, 0, 0, 0, 1);
    ExpectRow(a, 2, -r, r, 0);
    ExpectRow(a, 1, r, r, 0);
    ExpectRow(a, 3, 2.0 / 3, 2.0 / 3, 0);
    EXPECT_EQ(a.mData[3][3], 77.0);
}

TEST(KGeometryTest, FramesAndLookAt)
{
    KgeRMatrix r;
    Sentinel(r);
    EXPECT_EQ(ComputeAxisRM(r, KgeTVector(2, 0, 0), KgeTVector(0, 1, 0)), 2.0);
    ExpectRow(r, 0, 1, 0, 0);
    ExpectRow(r, 1, 0, 0, -1);
    ExpectRow(r, 2, 0, 1, 0);
    EXPECT_EQ(r.mData[3][3], 77.0);
    Sentinel(r);
    EXPECT_EQ(ComputeAxisRM(r, KgeTVector(0, 0, 0), KgeTVector(0, 1, 0)), 0.0);
    EXPECT_EQ(r.mData[3][3], 1.0);
    EXPECT_EQ(r.mData[0][3], 0.0);
    Sentinel(r);
    EXPECT_EQ(ComputeAxisRM(r, KgeTVector(0, 3, 0), KgeTVector(0, 1, 0)), 3.0);
    EXPECT_EQ(r.mData[0][0], 1.0);
    EXPECT_EQ(r.mData[3][0], 0.0);

    KgeRMatrix o;
    o.mData[0][0] = 2;
    o.mData[1][0] = 1;
    o.mData[1][1] = 1;
    o.mData[2][0] = 5;
    o.mData[2][1] = 5;
    o.mData[2][2] = 5;
    Orthogonalize(o);
    ExpectRow(o, 0, 1, 0, 0);
    ExpectRow(o, 1, 0, 1, 0);
    ExpectRow(o, 2, 0, 0, 1);

    // Looking along +X with Y up: the frame is the identity, the roll a turn about X.
    KgeAMatrix a;
    KLookAtRoll2Transformation(a, KgeTVector(1, 2, 3), KgeTVector(11, 2, 3), 30, KgeTVector(0, 1, 0));
    double rx[4][4];
    KmXYZtoR(rx, 30, 0, 0);
    for (int i = 0; i < 3; ++i)
        ExpectRow(a, i, rx[i][0], rx[i][1], rx[i][2]);
    ExpectRow(a, 3, 1, 2, 3, 0);
    EXPECT_EQ(a.mData[0][3], 0.0);
    EXPECT_EQ(a.mData[3][3], 1.0);

    // Looking along +Z: rows D, U, S, rolled.
    KLookAtRoll2Transformation(a, KgeTVector(1, 2, 3), KgeTVector(1, 2, 13), 30, KgeTVector(0, 1, 0));
    const double c = std::cos(kPi / 6), s = std::sin(kPi / 6);
    ExpectRow(a, 0, 0, 0, 1);
    ExpectRow(a, 1, -s, c, 0);
    ExpectRow(a, 2, -c, -s, 0);
    KgeTVector target, eye;
    double roll = 0;
    KTransformation2LookAtRoll(target, roll, eye, a);
    ExpectVec(eye, 1, 2, 3);
    ExpectVec(target, 1, 2, 4);
    EXPECT_EQ(target.w, 1.0);
    EXPECT_NEAR(roll, 30.0, 1e-12);
}

TEST(KGeometryTest, RotationHelpers)
{
    double m[4][4];
    for (auto& row : m)
        for (double& v : row)
            v = 77;
    const double angles[3] = {30, 40, 50};
    KVNSetXYZRotation(m, angles);
    EXPECT_EQ(m[0][3], 0.0);
    EXPECT_EQ(m[3][0], 0.0);
    EXPECT_EQ(m[3][3], 1.0);
    double back[3];
    KVNGetXYZRotation(back, m);
    EXPECT_NEAR(back[0], 30, 1e-12);
    EXPECT_NEAR(back[1], 40, 1e-12);
    EXPECT_NEAR(back[2], 50, 1e-12);

    double a[4][4], b[4][4], out[4][4], expected[4][4];
    KmXYZtoR(a, 10, 0, 0);
    KmXYZtoR(b, 0, 20, 0);
    for (auto& row : out)
        for (double& v : row)
            v = 77;
    KVNRot44MultRot44(out, a, b);
    KmRR(expected, a, b);
    for (int i = 0; i < 3; ++i)
        ExpectRow(out, i, expected[i][0], expected[i][1], expected[i][2], 0);
    EXPECT_EQ(out[3][2], 0.0);
    EXPECT_EQ(out[2][3], 0.0);
    EXPECT_EQ(out[3][3], 1.0);

    double v[3] = {3, 0, 4}, n[3] = {9, 9, 9};
    KVNNormalize(n, v, 3);
    EXPECT_EQ(n[0], 0.6);
    EXPECT_EQ(n[2], 0.8);
    const double zero[3] = {0, 0, 0};
    KVNNormalize(n, zero, 3);
    EXPECT_EQ(n[0], 0.6);
}

TEST(KGeometryTest, SplittingAndJoining)
{
    // A mirrored, scaled, rotated transform.
    KgeAMatrix a;
    KmXYZtoR(a, 20, 30, 40);
    const double s[3] = {2, 3, -4};
    KmRS(a, a, s);
    a.mData[3][0] = 7;
    a.mData[3][1] = 8;
    a.mData[3][2] = 9;
    EXPECT_TRUE(IsLeftHand(a));

    KgeTVector t;
    KgeRMatrix r;
    KgeSVector sv;
    KgeSetTRMS(t, r, sv, a);
    EXPECT_NEAR(sv.x, 2, 1e-12);
    EXPECT_NEAR(sv.y, 3, 1e-12);
    EXPECT_NEAR(sv.z, 4, 1e-12);
    ExpectVec(t, 7, 8, 9, 0);
    EXPECT_EQ(t.w, 1.0);
    KgeAMatrix rAsAffine;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            rAsAffine.mData[i][j] = r.mData[i][j];
    EXPECT_TRUE(IsLeftHand(rAsAffine));

    KgeSetRightHandTRMS(t, r, sv, a);
    EXPECT_NEAR(sv.x, -2, 1e-12);
    EXPECT_NEAR(sv.y, -3, 1e-12);
    EXPECT_NEAR(sv.z, -4, 1e-12);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            rAsAffine.mData[i][j] = r.mData[i][j];
    EXPECT_FALSE(IsLeftHand(rAsAffine));

    // Joining gives the matrix back; the fourth column is not written.
    KgeAMatrix joined;
    Sentinel(joined);
    KgeSetTRMS(joined, t, r, sv);
    for (int i = 0; i < 4; ++i)
        ExpectRow(joined, i, a.mData[i][0], a.mData[i][1], a.mData[i][2]);
    EXPECT_EQ(joined.mData[1][3], 77.0);

    // KgeSetRM both ways: the rotation of one matrix with the scale of another.
    KgeRMatrix rot;
    KgeSetRM(rot, a);
    for (int i = 0; i < 3; ++i)
    {
        const double len = std::sqrt(a.mData[i][0] * a.mData[i][0] + a.mData[i][1] * a.mData[i][1] +
                                     a.mData[i][2] * a.mData[i][2]);
        ExpectRow(rot, i, a.mData[i][0] / len, a.mData[i][1] / len, a.mData[i][2] / len);
    }
    KgeAMatrix scaled;
    const double s2[3] = {5, 6, 7};
    KmRS(scaled, scaled, s2);
    scaled.mData[3][1] = 1;
    KgeRMatrix rz;
    KmXYZtoR(rz, 0, 0, 90);
    KgeSetRM(scaled, rz);
    ExpectRow(scaled, 0, 0, 5, 0);
    ExpectRow(scaled, 1, -6, 0, 0);
    ExpectRow(scaled, 2, 0, 0, 7);
    ExpectRow(scaled, 3, 0, 1, 0, 0);

    // A scale in a frame turned 90 degrees about Z becomes the axis-aligned scale.
    KgeSVector out;
    KgeRotateScaleAprox(out, rz, KgeSVector(2, 1, 1));
    EXPECT_NEAR(out.x, 1, 1e-12);
    EXPECT_NEAR(out.y, 2, 1e-12);
    EXPECT_NEAR(out.z, 1, 1e-12);
    KgeRotateScaleAprox(out, rz, KgeSVector(-2, 1, 1));
    EXPECT_NEAR(out.x, -1, 1e-12);
    EXPECT_NEAR(out.y, -2, 1e-12);
    EXPECT_NEAR(out.z, -1, 1e-12);
    // A translation row in the rotation matrix does not matter.
    rz.mData[3][0] = 100;
    KgeRotateScaleAprox(out, rz, KgeSVector(2, 1, 1));
    EXPECT_NEAR(out.y, 2, 1e-12);
}

TEST(KGeometryTest, Interpolation)
{
    KgeTVector out(9, 9, 9, 5);
    const KgeTVector a(0, 2, 4), b(10, 12, 14);
    KgeLinearInterpolation(out, a, b, 0.25);
    ExpectVec(out, 2.5, 4.5, 6.5);
    EXPECT_EQ(out.w, 5.0);
    KgeLinearInterpolation(out, a, b, -1);
    ExpectVec(out, 0, 2, 4, 0);
    KgeLinearInterpolation(out, a, b, 3);
    ExpectVec(out, 10, 12, 14, 0);

    KgeRMatrix identity, half, mid, expected;
    KmXYZtoR(half, 0, 0, 180);
    KgeLinearInterpolation(mid, identity, half, 0.5);
    KmXYZtoR(expected, 0, 0, 90);
    for (int i = 0; i < 3; ++i)
        ExpectRow(mid, i, expected.mData[i][0], expected.mData[i][1], expected.mData[i][2]);

    // The shorter way: 170 and -170 about Z meet at 180, not at 0.
    KgeRMatrix p, q;
    KmXYZtoR(p, 0, 0, 170);
    KmXYZtoR(q, 0, 0, -170);
    KgeLinearInterpolation(mid, p, q, 0.5);
    ExpectRow(mid, 0, -1, 0, 0, 1e-12);

    KgeLinearInterpolation(mid, p, q, 0);
    ExpectRow(mid, 0, p.mData[0][0], p.mData[0][1], p.mData[0][2], 0);
    KgeLinearInterpolation(mid, p, q, 1);
    ExpectRow(mid, 0, q.mData[0][0], q.mData[0][1], q.mData[0][2], 0);
}

TEST(KGeometryTest, SwingToHeight)
{
    KgeRMatrix r;
    // A unit segment along X swung up to height 1 ends straight above p1.
    GetRToH(r, KgeTVector(0, 0, 0), KgeTVector(1, 0, 0), 1);
    ExpectRow(r, 0, 0, 1, 0);
    // Length 2 to height 1: 30 degrees about Z.
    GetRToH(r, KgeTVector(0, 0, 0), KgeTVector(2, 0, 0), 1);
    KgeRMatrix expected;
    KmXYZtoR(expected, 0, 0, 30);
    for (int i = 0; i < 3; ++i)
        ExpectRow(r, i, expected.mData[i][0], expected.mData[i][1], expected.mData[i][2]);
    // A zero segment gives the identity.
    Sentinel(r);
    GetRToH(r, KgeTVector(1, 1, 1), KgeTVector(1, 1, 1), 5);
    ExpectRow(r, 0, 1, 0, 0, 0);
    ExpectRow(r, 2, 0, 0, 1, 0);
    EXPECT_EQ(r.mData[3][3], 77.0);
}

TEST(KGeometryTest, IKSolve)
{
    // Target at the end effector: nothing moves.
    KgeTVector chain[3] = {KgeTVector(0, 0, 0), KgeTVector(1, 0, 0), KgeTVector(2, 0, 0)};
    IKSolve(chain, 3, 1.0, KgeTVector(2, 0, 0), 5);
    ExpectVec(chain[1], 1, 0, 0, 0);
    ExpectVec(chain[2], 2, 0, 0, 0);

    // One joint, reach equal to the length: one step turns the bone onto the target.
    KgeTVector bone[2] = {KgeTVector(0, 0, 0), KgeTVector(1, 0, 0)};
    IKSolve(bone, 2, 1.0, KgeTVector(0, 5, 0), 1);
    ExpectVec(bone[0], 0, 0, 0, 0);
    ExpectVec(bone[1], 0, 1, 0);

    // Two bones approach a reachable target (from 1.41 away); lengths are kept.
    KgeTVector arm[3] = {KgeTVector(0, 0, 0), KgeTVector(1, 0, 0), KgeTVector(2, 0, 0)};
    IKSolve(arm, 3, 2.0, KgeTVector(1, 1, 0), 50);
    EXPECT_LT(std::hypot(arm[2].x - 1, arm[2].y - 1), 0.01);
    EXPECT_NEAR(arm[2].z, 0, 1e-12);
    const double l1 = std::sqrt(arm[1].x * arm[1].x + arm[1].y * arm[1].y + arm[1].z * arm[1].z);
    const double dx = arm[2].x - arm[1].x, dy = arm[2].y - arm[1].y, dz = arm[2].z - arm[1].z;
    EXPECT_NEAR(l1, 1, 1e-12);
    EXPECT_NEAR(std::sqrt(dx * dx + dy * dy + dz * dz), 1, 1e-12);

    // No iterations, too short a chain or a zero reach: unchanged.
    KgeTVector same[2] = {KgeTVector(0, 0, 0), KgeTVector(1, 0, 0)};
    IKSolve(same, 2, 1.0, KgeTVector(0, 1, 0), 0);
    IKSolve(same, 1, 1.0, KgeTVector(0, 1, 0), 3);
    IKSolve(same, 2, 0.0, KgeTVector(0, 1, 0), 3);
    ExpectVec(same[1], 1, 0, 0, 0);
}

TEST(KGeometryTest, TypeDefaults)
{
    const KgeTVector t;
    EXPECT_EQ(t.w, 1.0);
    const KgeRGBVector c;
    EXPECT_EQ(c.w, 1.0);
    EXPECT_EQ(c[0], 0.0);
    const KgeRGBAVector ca;
    EXPECT_EQ(ca.a, 0.0);
    const KgeAMatrix a;
    EXPECT_EQ(a.mData[3][3], 1.0);
    EXPECT_EQ(a[3][3], 1.0);
    EXPECT_EQ(a[0][1], 0.0);
    const KgeQuaternion q;
    EXPECT_EQ(q.w, 0.0);
}
