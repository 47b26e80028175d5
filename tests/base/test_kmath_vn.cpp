// Short-vector kernels and the Euler continuity kernel.
#include "base/kmath.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const int kXYZ[3] = {0, 1, 2};

void ExpectSameRotation(const double* a, const double* b)
{
    double ma[4][4];
    double mb[4][4];
    KmXYZtoR(ma, a[0], a[1], a[2]);
    KmXYZtoR(mb, b[0], b[1], b[2]);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(ma[r][c], mb[r][c], 1e-9);
}

TEST(KmathVN, AddAndScale)
{
    double a[4] = {1.0, 2.0, 3.0, 4.0};
    double b[4] = {0.5, -2.0, 10.0, 99.0};
    double out[4] = {7.0, 7.0, 7.0, 7.0};
    EXPECT_EQ(KVNAdd(out, a, b, 3), out);
    EXPECT_DOUBLE_EQ(out[0], 1.5);
    EXPECT_DOUBLE_EQ(out[1], 0.0);
    EXPECT_DOUBLE_EQ(out[2], 13.0);
    EXPECT_DOUBLE_EQ(out[3], 7.0); // only n components are written

    EXPECT_EQ(KVNScale(a, a, -2.0, 4), a); // in place
    EXPECT_DOUBLE_EQ(a[0], -2.0);
    EXPECT_DOUBLE_EQ(a[3], -8.0);
    KVNAdd(a, a, a, 2);
    EXPECT_DOUBLE_EQ(a[0], -4.0);
    EXPECT_DOUBLE_EQ(a[1], -8.0);
}

TEST(KmathVN, ContinuousRotationWholeTurns)
{
    const double ref[3] = {0.0, 0.0, 0.0};
    const double rot[3] = {350.0, 0.0, 0.0};
    double out[3];
    EXPECT_FALSE(KVNGetContinuousRotation(out, rot, ref, kXYZ));
    EXPECT_DOUBLE_EQ(out[0], -10.0);
    EXPECT_DOUBLE_EQ(out[1], 0.0);
    EXPECT_DOUBLE_EQ(out[2], 0.0);

    // Several turns away.
    const double ref2[3] = {720.0, -360.0, 10.0};
    const double rot2[3] = {5.0, 20.0, 1090.0};
    EXPECT_FALSE(KVNGetContinuousRotation(out, rot2, ref2, kXYZ));
    EXPECT_DOUBLE_EQ(out[0], 725.0);
    EXPECT_DOUBLE_EQ(out[1], -340.0);
    EXPECT_DOUBLE_EQ(out[2], 10.0);
}

TEST(KmathVN, ContinuousRotationAlternativeSolution)
{
    const double ref[3] = {0.0, 0.0, 0.0};
    const double rot[3] = {180.0, 180.0, 180.0};
    double out[3];
    EXPECT_TRUE(KVNGetContinuousRotation(out, rot, ref, kXYZ));
    EXPECT_DOUBLE_EQ(out[0], 0.0);
    EXPECT_DOUBLE_EQ(out[1], 0.0);
    EXPECT_DOUBLE_EQ(out[2], 0.0);

    // A flip seen by the reference: (10, 170, 20) near (-170, 10, -160).
    const double ref2[3] = {-170.0, 10.0, -160.0};
    const double rot2[3] = {10.0, 170.0, 20.0};
    EXPECT_TRUE(KVNGetContinuousRotation(out, rot2, ref2, kXYZ));
    EXPECT_DOUBLE_EQ(out[0], -170.0);
    EXPECT_DOUBLE_EQ(out[1], 10.0);
    EXPECT_DOUBLE_EQ(out[2], -160.0);
    ExpectSameRotation(out, rot2);
}

TEST(KmathVN, ContinuousRotationTieChoosesAlternative)
{
    // (90, 90, 90) and its alternative (270 -> -90, 90, 270 -> -90) are equally far
    // from the reference (0, 90, 0): the alternative is taken. The middle angle is at
    // gimbal lock, so the first and third share the leftover distance afterwards.
    const double ref[3] = {0.0, 90.0, 0.0};
    const double rot[3] = {90.0, 90.0, 90.0};
    double out[3];
    EXPECT_TRUE(KVNGetContinuousRotation(out, rot, ref, kXYZ));
    EXPECT_DOUBLE_EQ(out[1], 90.0);
    // Alternative is (-90, 90, -90); d0 = d2 = 90 -> both shift by 90.
    EXPECT_DOUBLE_EQ(out[0], 0.0);
    EXPECT_DOUBLE_EQ(out[2], 0.0);
}

TEST(KmathVN, ContinuousRotationGimbalLock270)
{
    const double ref[3] = {10.0, -90.0, 30.0};
    const double rot[3] = {50.0, -90.0, 50.0};
    double out[3];
    EXPECT_FALSE(KVNGetContinuousRotation(out, rot, ref, kXYZ));
    // Middle -90 is 270 in [0, 360): d0 = -40, d2 = -20 -> first += -10, third -= -10.
    EXPECT_DOUBLE_EQ(out[0], 40.0);
    EXPECT_DOUBLE_EQ(out[1], -90.0);
    EXPECT_DOUBLE_EQ(out[2], 60.0);
}

TEST(KmathVN, ContinuousRotationAxisOrderAndAliasing)
{
    // ZYX order: the first axis is Z (index 2), the middle Y, the third X.
    const int zyx[3] = {2, 1, 0};
    double ref[3] = {0.0, 0.0, 0.0};
    double rot[3] = {30.0, 180.0, 200.0}; // X, Y, Z
    EXPECT_TRUE(KVNGetContinuousRotation(rot, rot, ref, zyx));
    // In axis order (200, 180, 30): alternative (380 -> 20, 0, 210 -> -150).
    EXPECT_DOUBLE_EQ(rot[2], 20.0);
    EXPECT_DOUBLE_EQ(rot[1], 0.0);
    EXPECT_DOUBLE_EQ(rot[0], -150.0);
}

TEST(KmathVN, ContinuousRotationKeepsTheRotation)
{
    // Whatever is chosen, the matrix of an XYZ result equals the input's.
    double ref[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < 200; ++i)
    {
        const double rot[3] = {std::fmod(i * 37.3, 720.0) - 360.0, std::fmod(i * 11.7, 170.0) - 85.0,
                               std::fmod(i * 91.1, 1000.0) - 500.0};
        double out[3];
        KVNGetContinuousRotation(out, rot, ref, kXYZ);
        ExpectSameRotation(out, rot);
        for (int k = 0; k < 3; ++k)
            EXPECT_LE(std::fabs(out[k] - ref[k]), 180.0);
        ref[0] = out[0];
        ref[1] = out[1];
        ref[2] = out[2];
    }
}

} // namespace
