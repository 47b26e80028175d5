// Geometry functions.
#include "base/kmath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "test_util.h"

using namespace qoxtest;

namespace {

bool RotationIsLeftHand(const KgeRMatrix& r)
{
    KgeAMatrix a;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            a.mData[i][j] = r.mData[i][j];
    return IsLeftHand(a);
}

} // namespace

TEST(KGeometryTest, TriangulationOrder)
{
    const struct
    {
        int corners;
        std::vector<int> indexes;
    } cases[] = {
        {3, {0, 1, 2}},
        {4, {0, 1, 2, 2, 3, 0}},
        {5, {0, 1, 2, 2, 3, 0, 0, 3, 4}},
        {8, {0, 1, 2, 2, 3, 0, 0, 3, 7, 3, 4, 7, 7, 4, 6, 4, 5, 6}}, // the zig-zag order
        {2, {}},
        {0, {}}, // too few corners: nothing written
    };
    for (const auto& c : cases)
    {
        std::vector<int> idx(64, -7);
        KTriangulation(idx.data(), c.corners);
        EXPECT_EQ(std::vector<int>(idx.begin(), idx.begin() + c.indexes.size()), c.indexes) << c.corners;
        EXPECT_EQ(idx[c.indexes.size()], -7) << c.corners;
    }
    // The triangles of a regular n-gon, all the same way round, sum to its area.
    for (int n = 3; n <= 21; ++n)
    {
        std::vector<int> idx(3 * (n - 2) + 3, -7);
        KTriangulation(idx.data(), n);
        EXPECT_EQ(idx[3 * (n - 2)], -7) << n;
        double area = 0, x[3], y[3];
        for (int k = 0; k < 3 * (n - 2); ++k)
        {
            ASSERT_TRUE(idx[k] >= 0 && idx[k] < n) << n;
            x[k % 3] = std::cos(2 * kPi * idx[k] / n);
            y[k % 3] = std::sin(2 * kPi * idx[k] / n);
            const double signedArea = ((x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0])) * 0.5;
            EXPECT_TRUE(k % 3 != 2 || signedArea > 0.0) << "n " << n << " triangle " << k / 3;
            area += k % 3 == 2 ? signedArea : 0.0;
        }
        EXPECT_NEAR(area, 0.5 * n * std::sin(2 * kPi / n), 1e-12) << n;
    }
}

TEST(KGeometryTest, FitBoxInBoxAndTriangleAngles)
{
    const struct
    {
        double w, h, x, y, boxW, boxH;
        bool center, fit, keepRatio, cover;
        double outX, outY, outW, outH;
    } cases[] = {
        {4, 2, 0, 0, 10, 10, true, true, true, false, 0, 2.5, 10, 5},
        {4, 2, 0, 0, 10, 10, true, true, true, true, -5, 0, 20, 10},
        {4, 2, 1, 1, 10, 10, false, false, true, false, 1, 1, 4, 2}, // without fit the size stays
        {4, 2, 1, 1, 10, 8, true, true, false, false, 1, 1, 10, 8},  // without keepRatio: the box size
        {2, 1, 0, 0, 6, 3, false, true, true, false, 0, 0, 6, 3},    // equal ratios take H/h
    };
    for (const auto& c : cases)
    {
        double x, y, w, h;
        KFitBoxInBox(c.w, c.h, c.x, c.y, c.boxW, c.boxH, c.center, c.fit, c.keepRatio, c.cover, c.cover, &x, &y, &w,
                     &h);
        EXPECT_EQ(w, c.outW);
        EXPECT_EQ(h, c.outH);
        EXPECT_EQ(x, c.outX);
        EXPECT_EQ(y, c.outY);
    }
    double w = 0;
    KFitBoxInBox(2, 1, 0, 0, 6, 3, true, true, true, false, false, nullptr, nullptr, &w, nullptr);
    EXPECT_EQ(w, 6.0); // null outputs are skipped

    EXPECT_NEAR(TriangleBaseAngle(5, 1, 1), kPi, 1e-15);
    EXPECT_NEAR(TriangleBaseAngle(1, 1, 1), kPi / 3, 1e-15);
    EXPECT_NEAR(TriangleBaseAngle(5, 3, 4), kPi / 2, 1e-15);
    EXPECT_EQ(TriangleBaseAngle(1, 0, 1), 0.0);
}

TEST(KGeometryTest, QuaternionsFromPositions)
{
    KgeQuaternion q;
    double m[4][4];
    const struct
    {
        KgeTVector a, b;
        double x, y, z, w;
    } cases[] = {
        {KgeTVector(1, 2, 2), KgeTVector(1, 2, 2), 0, 0, 0, 18},   // equal: (0, 0, 0, 2|a|^2)
        {KgeTVector(1, 2, 2), KgeTVector(2, 4, 4), 0, 0, 0, 36},   // |a||b| + a.b
        {KgeTVector(1, 2, 2), KgeTVector(-1, -2, -2), 0, 0, 0, 0}, // opposite
        {KgeTVector(2, 0, 0), KgeTVector(0, 3, 0), 0, 0, 6, 6},    // X onto Y
    };
    for (const auto& c : cases)
    {
        GetQuaternionFromPositionToPosition(q, c.a, c.b);
        ExpectNear(q, {c.x, c.y, c.z, c.w});
    }
    KmQtoR(m, q);
    ExpectNear(m[0], {0, 1, 0}); // a quarter turn about Z
    GetQuaternionFromPositionToPosition(q, KgeTVector(1, 1, 1), KgeTVector(3, 1, 1), KgeTVector(1, 4, 1));
    ExpectNear(q, {0, 0, 6, 6}); // with an origin
    // Single-precision forms.
    GetQuaternionFromPositionToPositionFromUnitVector(q, KgeVertex(1, 0, 0), KgeVertex(0, 1, 0));
    ExpectNear(q, {0, 0, 1, 1}, 0);
    GetQuaternionFromPositionToPosition(q, KgeVertex(0.1f, 0.2f, 0.3f), KgeVertex(0.3f, 0.1f, -0.2f));
    EXPECT_EQ(q.x, static_cast<double>(0.2f * -0.2f - 0.3f * 0.1f));
    // X onto a unit vector; a turn by an angle about an axis.
    KgeSetQuaternion(q, KgeTVector(0.6, 0, 0.8));
    KmQtoR(m, q);
    ExpectNear(m[0], {0.6, 0, 0.8});
    QuaternionFromAngularDisplacement(q, KgeTVector(0, 0, 2), kPi);
    ExpectNear(q, {0, 0, 2, std::cos(kPi / 2)});
}

TEST(KGeometryTest, ConstraintAndProjectionOfQuaternions)
{
    const double s45 = std::sin(kPi / 4), c12 = std::cos(kPi / 12), s12 = std::sin(kPi / 12);
    const struct
    {
        KgeQuaternion in;
        double z, w;
    } cases[] = {
        {KgeQuaternion(0, 0, s45, s45), s12, c12},   // 90 degrees about Z, limited to 30
        {KgeQuaternion(0, 0, s45, -s45), s12, -c12}, // a negative w keeps its side
        {KgeQuaternion(0, 0, std::sin(kPi / 24), std::cos(kPi / 24)), std::sin(kPi / 24), std::cos(kPi / 24)},
        {KgeQuaternion(0, 0, 0, 0), 0, 0}, // a zero quaternion stays zero
    };
    for (const auto& c : cases)
    {
        KgeQuaternion q = c.in;
        ConstraintQuaternion(q, 30);
        ExpectNear(q, {0, 0, c.z, c.w});
    }
    // The twist about Z of a turn about Z is the turn; about X it is none.
    KgeQuaternion out;
    ProjectQuaternionOnAxis(out, KgeTVector(0, 0, 1), KgeQuaternion(0, 0, 0.5, std::sqrt(0.75)));
    ExpectNear(out, {0, 0, 0.5, std::sqrt(0.75)});
    ProjectQuaternionOnAxis(out, KgeTVector(1, 0, 0), KgeQuaternion(0, 0, 0.5, std::sqrt(0.75)));
    ExpectNear(out, {0, 0, 0, 1});
    // d just past 1 gives w = 0, not a NaN.
    ProjectQuaternionOnAxis(out, KgeTVector(0, 0, 1), KgeQuaternion(0, 0, 1.0000000001, 0));
    EXPECT_EQ(out.w, 0.0);
}

TEST(KGeometryTest, ThreePointsFramesAndLookAt)
{
    KgeAMatrix a;
    FillSentinel(a);
    double area = -1, ratio = -1;
    ThreePointsTransform(a, area, ratio, KgeTVector(0, 0, 0), KgeTVector(1, 1, 1), KgeTVector(3, 3, 3));
    EXPECT_EQ(area + ratio, 0.0); // collinear points: identity at the centre
    ExpectMatrixNear(a, kIdentity, 0.0);
    ExpectNear(a[3], {4.0 / 3, 4.0 / 3, 4.0 / 3});
    EXPECT_EQ(a.mData[0][3], 77.0);
    ThreePointsTransform(a, area, ratio, KgeTVector(0, 0, 0), KgeTVector(2, 0, 0), KgeTVector(0, 2, 0));
    EXPECT_NEAR(area, 4.0, 1e-15);
    EXPECT_NEAR(ratio, 1.0, 1e-15);
    const double r = std::sqrt(0.5);
    const double expected[4][4] = {{0, 0, 1}, {r, r, 0}, {-r, r, 0}, {2.0 / 3, 2.0 / 3, 0}};
    ExpectMatrixNear(a, expected, 1e-12, 4);

    KgeRMatrix frame;
    FillSentinel(frame);
    EXPECT_EQ(ComputeAxisRM(frame, KgeTVector(2, 0, 0), KgeTVector(0, 1, 0)), 2.0);
    const double axes[4][4] = {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}};
    ExpectMatrixNear(frame, axes);
    EXPECT_EQ(frame.mData[3][3], 77.0);
    EXPECT_EQ(ComputeAxisRM(frame, KgeTVector(0, 3, 0), KgeTVector(0, 1, 0)), 3.0);
    EXPECT_EQ(frame.mData[3][3], 1.0); // the axis along "up": the identity

    KgeRMatrix o;
    o.mData[0][0] = 2;
    o.mData[1][0] = 1;
    o.mData[2][0] = o.mData[2][1] = o.mData[2][2] = 5;
    Orthogonalize(o);
    ExpectMatrixNear(o, kIdentity);
    // Looking along +X with Y up: the frame is the identity, the roll a turn about X.
    KLookAtRoll2Transformation(a, KgeTVector(1, 2, 3), KgeTVector(11, 2, 3), 30, KgeTVector(0, 1, 0));
    double rx[4][4];
    KmXYZtoR(rx, 30, 0, 0);
    ExpectMatrixNear(a, rx);
    ExpectNear(a[3], {1, 2, 3, 1}, 0);
    EXPECT_EQ(a.mData[0][3], 0.0);
    // Looking along +Z: rows D, U, S, rolled; and back.
    KLookAtRoll2Transformation(a, KgeTVector(1, 2, 3), KgeTVector(1, 2, 13), 30, KgeTVector(0, 1, 0));
    const double c = std::cos(kPi / 6), s = std::sin(kPi / 6);
    const double dus[4][4] = {{0, 0, 1}, {-s, c, 0}, {-c, -s, 0}};
    ExpectMatrixNear(a, dus);
    KgeTVector target, eye;
    double roll = 0;
    KTransformation2LookAtRoll(target, roll, eye, a);
    ExpectNear(eye, {1, 2, 3});
    ExpectNear(target, {1, 2, 4, 1});
    EXPECT_NEAR(roll, 30.0, 1e-12);
}

TEST(KGeometryTest, RotationHelpersAndSwings)
{
    double m[4][4], back[3];
    FillSentinel(m);
    const double angles[3] = {30, 40, 50};
    KVNSetXYZRotation(m, angles);
    ExpectNear(m[3], {0, 0, 0, 1}, 0); // the whole 4x4 is written
    KVNGetXYZRotation(back, m);
    ExpectNear(back, {30, 40, 50});
    double a[4][4], b[4][4], out[4][4], expected[4][4];
    KmXYZtoR(a, 10, 0, 0);
    KmXYZtoR(b, 0, 20, 0);
    FillSentinel(out);
    KVNRot44MultRot44(out, a, b); // the whole 4x4
    KmRR(expected, a, b);
    ExpectMatrixNear(out, expected, 0.0);
    ExpectNear(out[3], {0, 0, 0, 1}, 0);
    double v[3] = {3, 0, 4}, n[3] = {9, 9, 9}, zero[3] = {0, 0, 0};
    KVNNormalize(n, v, 3);
    KVNNormalize(n, zero, 3); // a zero vector leaves the output alone
    ExpectNear(n, {0.6, 0, 0.8}, 0);
    // A unit segment along X swung up to height 1 ends straight above p1; length 2
    // to height 1 is 30 degrees about Z; a zero segment gives the identity.
    KgeRMatrix r, rz30;
    GetRToH(r, KgeTVector(0, 0, 0), KgeTVector(1, 0, 0), 1);
    ExpectNear(r[0], {0, 1, 0});
    GetRToH(r, KgeTVector(0, 0, 0), KgeTVector(2, 0, 0), 1);
    KmXYZtoR(rz30, 0, 0, 30);
    ExpectMatrixNear(r, rz30);
    FillSentinel(r);
    GetRToH(r, KgeTVector(1, 1, 1), KgeTVector(1, 1, 1), 5);
    ExpectMatrixNear(r, kIdentity, 0.0);
    EXPECT_EQ(r.mData[3][3], 77.0);
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
    KgeSetTRMS(t, r, sv, a); // positive scale, mirrored rotation
    ExpectNear(sv, {2, 3, 4});
    ExpectNear(t, {7, 8, 9, 1}, 0);
    EXPECT_TRUE(RotationIsLeftHand(r));
    // Joining gives the matrix back; the fourth column is not written.
    KgeAMatrix joined;
    FillSentinel(joined);
    KgeSetTRMS(joined, t, r, sv);
    ExpectMatrixNear(joined, a, 1e-12, 4);
    EXPECT_EQ(joined.mData[1][3], 77.0);
    KgeSetRightHandTRMS(t, r, sv, a); // negative scale, proper rotation
    ExpectNear(sv, {-2, -3, -4});
    EXPECT_FALSE(RotationIsLeftHand(r));
    // KgeSetRM both ways: the rotation of one matrix with the scale of another.
    KgeRMatrix rot, rz;
    KgeSetRM(rot, a);
    ExpectNear(rot[2], {a[2][0] / 4, a[2][1] / 4, a[2][2] / 4}); // rows divided by their lengths
    KgeAMatrix scaled;
    const double s2[3] = {5, 6, 7};
    KmRS(scaled, scaled, s2);
    scaled.mData[3][1] = 1;
    KmXYZtoR(rz, 0, 0, 90);
    KgeSetRM(scaled, rz);
    const double expected[4][4] = {{0, 5, 0}, {-6, 0, 0}, {0, 0, 7}, {0, 1, 0}};
    ExpectMatrixNear(scaled, expected, 1e-12, 4);
    // A scale in a frame turned 90 degrees about Z becomes the axis-aligned
    // scale; a translation row in the rotation matrix does not matter.
    KgeSVector out;
    KgeRotateScaleAprox(out, rz, KgeSVector(2, 1, 1));
    ExpectNear(out, {1, 2, 1});
    KgeRotateScaleAprox(out, rz, KgeSVector(-2, 1, 1));
    ExpectNear(out, {-1, -2, -1});
    rz.mData[3][0] = 100;
    KgeRotateScaleAprox(out, rz, KgeSVector(2, 1, 1));
    ExpectNear(out, {1, 2, 1});
}

TEST(KGeometryTest, Interpolation)
{
    KgeTVector out(9, 9, 9, 5);
    const KgeTVector a(0, 2, 4), b(10, 12, 14);
    KgeLinearInterpolation(out, a, b, 0.25);
    ExpectNear(out, {2.5, 4.5, 6.5, 5});   // W is kept
    KgeLinearInterpolation(out, a, b, -1); // clamped to the ends
    ExpectNear(out, {0, 2, 4}, 0);
    KgeLinearInterpolation(out, a, b, 3);
    ExpectNear(out, {10, 12, 14}, 0);

    KgeRMatrix identity, half, mid, expected, p, q;
    KmXYZtoR(half, 0, 0, 180);
    KgeLinearInterpolation(mid, identity, half, 0.5);
    KmXYZtoR(expected, 0, 0, 90);
    ExpectMatrixNear(mid, expected);
    // The shorter way: 170 and -170 about Z meet at 180, not at 0.
    KmXYZtoR(p, 0, 0, 170);
    KmXYZtoR(q, 0, 0, -170);
    KgeLinearInterpolation(mid, p, q, 0.5);
    ExpectNear(mid[0], {-1, 0, 0});
    KgeLinearInterpolation(mid, p, q, 1);
    ExpectMatrixNear(mid, q, 0.0);
}

TEST(KGeometryTest, IKSolve)
{
    // Target at the end effector: nothing moves.
    KgeTVector chain[3] = {KgeTVector(0, 0, 0), KgeTVector(1, 0, 0), KgeTVector(2, 0, 0)};
    IKSolve(chain, 3, 1.0, KgeTVector(2, 0, 0), 5);
    ExpectNear(chain[1], {1, 0, 0}, 0);
    // One joint, reach equal to the length: one step turns the bone onto the target.
    KgeTVector bone[2] = {KgeTVector(0, 0, 0), KgeTVector(1, 0, 0)};
    IKSolve(bone, 2, 1.0, KgeTVector(0, 5, 0), 1);
    ExpectNear(bone[0], {0, 0, 0}, 0);
    ExpectNear(bone[1], {0, 1, 0});
    // Two bones approach a reachable target (from 1.41 away); lengths are kept.
    KgeTVector arm[3] = {KgeTVector(0, 0, 0), KgeTVector(1, 0, 0), KgeTVector(2, 0, 0)};
    IKSolve(arm, 3, 2.0, KgeTVector(1, 1, 0), 50);
    EXPECT_LT(std::hypot(arm[2].x - 1, arm[2].y - 1), 0.01);
    EXPECT_NEAR(arm[2].z, 0, 1e-12);
    EXPECT_NEAR(std::sqrt(arm[1].x * arm[1].x + arm[1].y * arm[1].y + arm[1].z * arm[1].z), 1, 1e-12);
    EXPECT_NEAR(std::hypot(std::hypot(arm[2].x - arm[1].x, arm[2].y - arm[1].y), arm[2].z - arm[1].z), 1, 1e-12);
    IKSolve(bone, 1, 1.0, KgeTVector(1, 0, 0), 3); // too short a chain or a zero reach: unchanged
    IKSolve(bone, 2, 0.0, KgeTVector(1, 0, 0), 3);
    ExpectNear(bone[1], {0, 1, 0});
    // The fourth components the files rely on after construction.
    EXPECT_TRUE(KgeTVector().w == 1.0 && KgeRGBVector().w == 1.0 && KgeRGBAVector().a == 0.0 && KgeRVector().w == 0.0);
}
