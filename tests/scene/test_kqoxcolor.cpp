// Colour values: clamping on every write, exact comparison, NaN handling.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "scene/kqoxcolor.h"

using qoxsdk_600::KQoxColor;

TEST(KQoxColorTest, ClampsEveryComponentOnTheWayIn)
{
    struct Case
    {
        double in[4];
        double out[4];
    };
    const double inf = std::numeric_limits<double>::infinity();
    const double dmax = std::numeric_limits<double>::max();
    const double denorm = std::numeric_limits<double>::denorm_min();
    const Case cases[] = {
        {{1.5, -0.2, 0.5, 2.0}, {1.0, 0.0, 0.5, 1.0}},
        {{inf, -inf, dmax, -dmax}, {1.0, 0.0, 1.0, 0.0}},
        {{denorm, -denorm, 0.0, 1.0}, {denorm, 0.0, 0.0, 1.0}},
    };
    for (const Case& c : cases)
    {
        KQoxColor constructed(c.in[0], c.in[1], c.in[2], c.in[3]);
        KQoxColor set;
        set.Set(c.in[0], c.in[1], c.in[2], c.in[3]);
        for (const KQoxColor* color : {&constructed, &set})
        {
            EXPECT_EQ(c.out[0], color->mRed);
            EXPECT_EQ(c.out[1], color->mGreen);
            EXPECT_EQ(c.out[2], color->mBlue);
            EXPECT_EQ(c.out[3], color->mAlpha);
            EXPECT_TRUE(color->IsValid());
        }
    }
}

TEST(KQoxColorTest, NaNIsKeptInvalidAndUnequalToEverything)
{
    KQoxColor color;
    color.Set(0.5, std::nan(""), 0.5, 1.0);
    EXPECT_TRUE(std::isnan(color.mGreen));
    EXPECT_FALSE(color.IsValid());
    EXPECT_FALSE(color == color);
    EXPECT_TRUE(color != color);
}

TEST(KQoxColorTest, AlphaTakesPartInComparisonAndCopy)
{
    EXPECT_EQ(KQoxColor(1.0, 1.0, 1.0, 1.0), KQoxColor()); // opaque white
    KQoxColor a(0.1, 0.2, 0.3, 0.4);
    KQoxColor b(0.1, 0.2, 0.3, 0.5);
    EXPECT_NE(a, b);
    b = a;
    EXPECT_EQ(a, b);
    EXPECT_EQ(0.4, b.mAlpha);
    // Assignment clamps again: a colour written past the clamp is repaired.
    KQoxColor raw;
    raw.mRed = 7.0;
    KQoxColor copy;
    copy = raw;
    EXPECT_EQ(1.0, copy.mRed);
}
