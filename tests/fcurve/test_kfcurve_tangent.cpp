// Derivatives of every interpolation and tangent mode, auto values,
// weights, velocities, Bezier handles and the auto/Bezier conversions.

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurve_autotangent.h"
#include "fcurve/kfcurve_tcb4051.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

KTime Sec(double s)
{
    KTime t;
    t.SetSecondDouble(s);
    return t;
}

// Appends a key with every field given.
void Add(KFCurve& c, double seconds, float value, unsigned int interpolation,
         unsigned int mode = KFCURVE_TANGEANT_USER, float right = 0.0f, float nextLeft = 0.0f)
{
    KFCurveKey key;
    std::memset(static_cast<void*>(&key), 0, sizeof key);
    key.Set(Sec(seconds), value, interpolation, mode, right, nextLeft);
    c.KeyAdd(Sec(seconds), key);
}

void AddTCB(KFCurve& c, double seconds, float value, float t, float cont, float b)
{
    KFCurveKey key;
    std::memset(static_cast<void*>(&key), 0, sizeof key);
    key.SetTCB(Sec(seconds), value, t, cont, b);
    c.KeyAdd(Sec(seconds), key);
}

const unsigned int C = KFCURVE_INTERPOLATION_CONSTANT;
const unsigned int L = KFCURVE_INTERPOLATION_LINEAR;
const unsigned int U = KFCURVE_INTERPOLATION_CUBIC;

}  // namespace

TEST(KFCurveDerivativeTest, ConstantAndLinear)
{
    KFCurve c;
    Add(c, 0, 0.0f, L);
    Add(c, 2, 4.0f, C);
    Add(c, 3, 1.0f, L);
    EXPECT_FLOAT_EQ(c.KeyGetLeftDerivative(1), 2.0f);
    EXPECT_FLOAT_EQ(c.KeyGetRightDerivative(0), 2.0f);
    EXPECT_FLOAT_EQ(c.KeyGetLeftAuto(1), 100.0f);  // a linear previous segment reads as auto 100
    EXPECT_EQ(c.KeyGetRightDerivative(1), 0.0f);    // constant segment
    EXPECT_EQ(c.KeyGetLeftDerivative(2), 0.0f);
    EXPECT_EQ(c.KeyGetLeftAuto(2), 0.0f);
    // The first key's left derivative is its right one; the last key's right its left one.
    EXPECT_FLOAT_EQ(c.KeyGetLeftDerivative(0), 2.0f);
    EXPECT_EQ(c.KeyGetRightDerivative(2), 0.0f);
    // One key: no slope.
    KFCurve one;
    Add(one, 0, 5.0f, L);
    EXPECT_EQ(one.KeyGetLeftDerivative(0), 0.0f);
    EXPECT_EQ(one.KeyGetRightDerivative(0), 0.0f);
}

TEST(KFCurveDerivativeTest, CubicAuto)
{
    KFCurve c;
    Add(c, 0, 0.0f, U, KFCURVE_TANGEANT_AUTO);
    Add(c, 1, 10.0f, U, KFCURVE_TANGEANT_AUTO);
    Add(c, 2, 10.0f, U, KFCURVE_TANGEANT_AUTO);
    // Auto 0: the mean of the secants 10 and 0.
    EXPECT_FLOAT_EQ(c.KeyGetLeftDerivative(1), 5.0f);
    EXPECT_FLOAT_EQ(c.KeyGetRightDerivative(1), 5.0f);
    // End keys have one secant on both sides.
    EXPECT_FLOAT_EQ(c.KeyGetRightDerivative(0), 10.0f);
    EXPECT_FLOAT_EQ(c.KeyGetLeftDerivative(2), 0.0f);
    // Auto 100 follows the tangent's own secant.
    c.KeySetLeftAuto(1, 100.0f);
    EXPECT_FLOAT_EQ(c.KeyGetLeftDerivative(1), 10.0f);
    EXPECT_FLOAT_EQ(c.KeyGetLeftAuto(1), 100.0f);
    c.KeySetRightAuto(1, 100.0f);
    EXPECT_FLOAT_EQ(c.KeyGetRightDerivative(1), 0.0f);
    c.KeySetRightAuto(1, -100.0f);
    EXPECT_FLOAT_EQ(c.KeyGetRightDerivative(1), 10.0f);
    // Setting a derivative stores the matching auto value.
    c.KeySetLeftDerivative(1, 7.0f);
    EXPECT_NEAR(c.KeyGetLeftAuto(1), 40.0f, 1e-4);
    EXPECT_NEAR(c.KeyGetLeftDerivative(1), 7.0f, 1e-5);
    c.KeySetRightDerivative(1, 40.0f);  // beyond the middle band (30 at -500)
    EXPECT_NEAR(c.KeyGetRightDerivative(1), 40.0f, 1e-3);
    EXPECT_LT(c.KeyGetRightAuto(1), -500.0f);
    EXPECT_FALSE(c.IsKeyInterpolationPureCubicAuto(1));
    c.KeySetLeftAuto(1, 0.0f);
    c.KeySetRightAuto(1, 0.0f);
    EXPECT_TRUE(c.IsKeyInterpolationPureCubicAuto(1));
}

TEST(KFCurveDerivativeTest, CubicUserAndBreak)
{
    KFCurve c;
    Add(c, 0, 0.0f, U, KFCURVE_TANGEANT_USER, 1.0f, 3.0f);
    Add(c, 1, 1.0f, U, KFCURVE_TANGEANT_USER, 3.0f, 0.0f);
    Add(c, 2, 0.0f, U, KFCURVE_TANGEANT_USER);
    EXPECT_EQ(c.KeyGetLeftDerivative(1), 3.0f);
    EXPECT_EQ(c.KeyGetRightDerivative(1), 3.0f);
    // A plain user tangent stays continuous.
    c.KeySetLeftDerivative(1, 2.0f);
    EXPECT_EQ(c.KeyGetLeftDerivative(1), 2.0f);
    EXPECT_EQ(c.KeyGetRightDerivative(1), 2.0f);
    // A broken one does not.
    c.KeySetTangeantMode(1, KFCURVE_TANGEANT_BREAK);
    c.KeySetLeftDerivative(1, -4.0f);
    EXPECT_EQ(c.KeyGetLeftDerivative(1), -4.0f);
    EXPECT_EQ(c.KeyGetRightDerivative(1), 2.0f);
    c.KeyIncRightDerivative(1, 0.5f);
    c.KeyIncLeftDerivative(1, 1.0f);
    EXPECT_EQ(c.KeyGetRightDerivative(1), 2.5f);
    EXPECT_EQ(c.KeyGetLeftDerivative(1), -3.0f);
    c.KeyMultDerivative(1, 2.0f);
    EXPECT_EQ(c.KeyGetRightDerivative(1), 5.0f);
    EXPECT_EQ(c.KeyGetLeftDerivative(1), -6.0f);
    // Bezier handles lie a third of the span out along the slopes.
    EXPECT_FLOAT_EQ(c.KeyGetRightBezierTangeant(1), 1.0f + 5.0f / 3.0f);
    EXPECT_FLOAT_EQ(c.KeyGetLeftBezierTangeant(1), 1.0f + 6.0f / 3.0f);
    c.KeySetRightBezierTangeant(1, 2.0f);
    EXPECT_FLOAT_EQ(c.KeyGetRightDerivative(1), 3.0f);
    c.KeySetLeftBezierTangeant(1, 2.0f);
    EXPECT_FLOAT_EQ(c.KeyGetLeftDerivative(1), -3.0f);
    EXPECT_EQ(c.KeyGetRightBezierTangeant(2), 0.0f);  // the last key: its value
    EXPECT_EQ(c.KeyGetLeftBezierTangeant(0), 0.0f);   // the first key: its value
}

TEST(KFCurveDerivativeTest, TCB)
{
    KFCurve c;
    // Equal slopes of 2 on both sides of the TCB key.
    Add(c, 0, 0.0f, L);
    AddTCB(c, 1, 2.0f, 0.0f, 0.0f, 0.0f);
    Add(c, 2, 4.0f, L);
    EXPECT_FLOAT_EQ(c.KeyGetLeftDerivative(1), 2.0f);
    EXPECT_FLOAT_EQ(c.KeyGetRightDerivative(1), 2.0f);

    // Unequal slopes: in = 2, out = -4; tension .5, continuity .25, bias -.5.
    KFCurve d;
    Add(d, 0, 0.0f, U, KFCURVE_TANGEANT_TCB);
    d.KeySetTCB(0, Sec(0), 0.0f, 0.0f, 0.0f, 0.0f);
    AddTCB(d, 1, 2.0f, 0.5f, 0.25f, -0.5f);
    Add(d, 2, -2.0f, L);
    const double t = 0.5, k = 0.25, b = -0.5, in = 2.0, out = -4.0;
    const double left = (1 - t) / 2 * ((1 - k) * (1 + b) * in + (1 + k) * (1 - b) * out);
    const double right = (1 - t) / 2 * ((1 + k) * (1 + b) * in + (1 - k) * (1 - b) * out);
    EXPECT_NEAR(d.KeyGetLeftDerivative(1), left, 1e-6);
    EXPECT_NEAR(d.KeyGetRightDerivative(1), right, 1e-6);
    // The first TCB key uses its outgoing slope only.
    EXPECT_NEAR(d.KeyGetRightDerivative(0), 2.0, 1e-6);

    // With the 4051 mode the left derivative is the right one.
    KFCURVE_SetTCB4051EvalMode(true);
    EXPECT_TRUE(KFCURVE_GetTCB4051EvalMode());
    EXPECT_NEAR(d.KeyGetLeftDerivative(1), right, 1e-6);
    // A last TCB key keeps its left formula (no endless recursion).
    KFCurve e;
    Add(e, 0, 0.0f, U, KFCURVE_TANGEANT_USER);
    AddTCB(e, 1, 3.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_NEAR(e.KeyGetLeftDerivative(1), 3.0, 1e-6);
    EXPECT_NEAR(e.KeyGetRightDerivative(1), 3.0, 1e-6);
    KFCURVE_SetTCB4051EvalMode(false);
    EXPECT_FALSE(gsTCB4051EvalMode);
    EXPECT_NEAR(d.KeyGetLeftDerivative(1), left, 1e-6);
}

TEST(KFCurveDerivativeTest, WeightsAndVelocities)
{
    KFCurve c;
    Add(c, 0, 0.0f, U, KFCURVE_TANGEANT_USER);
    Add(c, 1, 1.0f, U, KFCURVE_TANGEANT_USER);
    Add(c, 2, 0.0f, L);
    EXPECT_EQ(c.KeyGetLeftTangeantWeight(1), 0.33333334f);
    EXPECT_FALSE(c.KeyIsLeftTangeantWeighted(1));
    c.KeySetLeftTangeantWeight(1, 0.999f);
    EXPECT_TRUE(c.KeyIsLeftTangeantWeighted(1));
    EXPECT_EQ(c.KeyGetLeftTangeantWeight(1), static_cast<float>(9899 / 9999.0));
    EXPECT_EQ(c.KeyGetTangeantWeightMode(0), static_cast<unsigned int>(KFCURVE_WEIGHTED_NEXT_LEFT));
    c.KeySetRightTangeantWeight(0, 0.25f);
    EXPECT_TRUE(c.KeyIsRightTangeantWeighted(0));
    EXPECT_EQ(c.KeyGetRightTangeantWeight(0), static_cast<float>(2499 / 9999.0));
    c.KeySetRightTangeantWeightedMode(0, false);
    EXPECT_EQ(c.KeyGetRightTangeantWeight(0), 0.33333334f);
    // A linear key's left side cannot be weighted on the cubic-only flag;
    // a weight on a non-cubic previous key is not stored.
    c.KeySetLeftTangeantWeight(2, 0.5f);
    EXPECT_TRUE(c.KeyIsLeftTangeantWeighted(2));  // key 1 is cubic
    c.KeySetRightTangeantWeight(2, 0.5f);          // the last key has no right side
    EXPECT_FALSE(c.KeyIsRightTangeantWeighted(2));

    c.KeySetRightTangeantVelocity(0, 1.5f);
    EXPECT_TRUE(c.KeyIsRightTangeantVelocity(0));
    EXPECT_EQ(c.KeyGetRightTangeantVelocity(0), static_cast<float>(14998 / 9999.0));
    c.KeySetLeftTangeantVelocity(1, -0.5f);
    EXPECT_EQ(c.KeyGetLeftTangeantVelocity(1), static_cast<float>(-4999 / 9999.0));
    c.KeySetLeftTangeantVelocityMode(1, false);
    EXPECT_EQ(c.KeyGetLeftTangeantVelocity(1), 0.0f);

    // Descriptions carry all of it.
    KFCurveTangeantInfo info = c.KeyGetLeftDerivativeInfo(1);
    EXPECT_TRUE(info.mWeighted);
    EXPECT_EQ(info.mWeight, static_cast<float>(9899 / 9999.0));
    KFCurve d;
    Add(d, 0, 0.0f, U, KFCURVE_TANGEANT_USER);
    Add(d, 1, 1.0f, U, KFCURVE_TANGEANT_BREAK);
    info.mDerivative = 4.0f;
    d.KeySetLeftDerivativeInfo(1, info);
    EXPECT_EQ(d.KeyGetLeftDerivative(1), 4.0f);
    EXPECT_EQ(d.KeyGetLeftTangeantWeight(1), static_cast<float>(9899 / 9999.0));
}

TEST(KFCurveDerivativeTest, RemovalKeepsTheFollowingKeysIncomingTangent)
{
    KFCurve c;
    Add(c, 0, 0.0f, U, KFCURVE_TANGEANT_USER, 1.0f, 2.0f);
    Add(c, 1, 1.0f, U, KFCURVE_TANGEANT_BREAK, 3.0f, -7.0f);
    Add(c, 2, 0.0f, U, KFCURVE_TANGEANT_BREAK, 5.0f, 0.0f);
    c.KeySetLeftTangeantWeight(2, 0.6f);
    c.KeyRemove(1);
    EXPECT_EQ(c.KeyGetLeftDerivative(1), -7.0f);
    EXPECT_EQ(c.KeyGetLeftTangeantWeight(1), static_cast<float>(5999 / 9999.0));
    EXPECT_EQ(c.KeyGetRightDerivative(0), 1.0f);
}

TEST(KFCurveDerivativeTest, ChangingModeOrInterpolationKeepsTheSlopes)
{
    KFCurve c;
    const float values[5] = {0, 3, 1, 4, 2};
    for (int i = 0; i < 5; ++i)
        Add(c, i * 0.5, values[i], U, KFCURVE_TANGEANT_AUTO);
    float left[5], right[5];
    for (int i = 0; i < 5; ++i) {
        left[i] = c.KeyGetLeftDerivative(i);
        right[i] = c.KeyGetRightDerivative(i);
    }
    c.KeyTangeantSetMode(false, KFCURVE_TANGEANT_USER);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(c.KeyGetTangeantMode(i), 0x400u);
        EXPECT_NEAR(c.KeyGetLeftDerivative(i), left[i], 1e-4) << i;
        if (i < 4) {
            EXPECT_NEAR(c.KeyGetRightDerivative(i), right[i], 1e-4) << i;
        }
    }
    // One key back to auto: its slopes and its neighbours' keep.
    c.KeySetSelected(2, true);
    c.KeyTangeantSetMode(true, KFCURVE_TANGEANT_BREAK);
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(c.KeyGetLeftDerivative(i), left[i], 1e-4) << i;
    c.KeyTangeantSetInterpolation(true, L);
    EXPECT_EQ(c.KeyGetInterpolation(2), 4u);
    EXPECT_NEAR(c.KeyGetLeftDerivative(2), left[2], 1e-4);
}

TEST(KFCurveDerivativeTest, InsertAnotherCurve)
{
    KFCurve source;
    Add(source, 0, 1.0f, L);
    Add(source, 1, 2.0f, L);
    // Appended after the keys.
    KFCurve c;
    Add(c, 0, 0.0f, L);
    Add(c, 1, 5.0f, U, KFCURVE_TANGEANT_USER);
    c.Insert(&source, Sec(3), 0.5f);
    ASSERT_EQ(c.KeyGetCount(), 4);
    EXPECT_EQ(c.KeyGetTime(2), Sec(3));
    EXPECT_EQ(c.KeyGetTime(3), Sec(4));
    EXPECT_EQ(c.KeyGetValue(3), 2.0f);
    EXPECT_EQ(c.KeyGetLeftDerivative(2), 0.5f);
    // Overlapping: keys are added, an equal time replaces.
    KFCurve d;
    Add(d, 0, 0.0f, L);
    Add(d, 2, 0.0f, L);
    d.Insert(&source, Sec(1), 0.0f);
    ASSERT_EQ(d.KeyGetCount(), 3);
    EXPECT_EQ(d.KeyGetValue(1), 1.0f);
    EXPECT_EQ(d.KeyGetValue(2), 2.0f);
    EXPECT_FLOAT_EQ(d.Evaluate(Sec(1.5)), 1.5f);
}

TEST(KFCurveAutoTest, ConversionsOfAKey)
{
    KFCurve c;
    Add(c, 0, 0.0f, U, KFCURVE_TANGEANT_AUTO);
    Add(c, 1, 10.0f, U, KFCURVE_TANGEANT_AUTO);
    Add(c, 2, 10.0f, U, KFCURVE_TANGEANT_AUTO);
    double l = 0, r = 0;
    KFCURVE_ComputeToLeftAndToRight(l, r, &c, 1);
    EXPECT_EQ(l, 10.0);
    EXPECT_EQ(r, 0.0);
    KFCURVE_ComputeToLeftAndToRight(l, r, &c, 0);
    EXPECT_EQ(l, 10.0);
    EXPECT_EQ(r, 10.0);
    double lb, rb, la = 0, ra = 0;
    KFCURVE_ComputeBezierFromAutoForKey(lb, rb, la, ra, &c, 1);
    EXPECT_EQ(lb, 5.0);
    EXPECT_EQ(rb, 5.0);
    la = ra = 100;
    KFCURVE_ComputeBezierFromAutoForKey(lb, rb, la, ra, &c, 1);
    EXPECT_EQ(lb, 10.0);
    EXPECT_EQ(rb, 0.0);
    la = ra = -100;
    KFCURVE_ComputeBezierFromAutoForKey(lb, rb, la, ra, &c, 1);
    EXPECT_EQ(lb, 0.0);
    EXPECT_EQ(rb, 10.0);
    double b = 7.0, a = 0;
    KFCURVE_ComputeLeftAutoFromBezierForKey(a, b, &c, 1);
    EXPECT_NEAR(a, 40.0, 1e-9);

    // Secants are formed in single precision.
    KFCurve s;
    Add(s, 0, 0.0f, U, KFCURVE_TANGEANT_AUTO);
    Add(s, 3, 1.0f, U, KFCURVE_TANGEANT_AUTO);
    KFCURVE_ComputeToLeftAndToRight(l, r, &s, 0);
    EXPECT_EQ(r, static_cast<double>(1.0f / 3.0f));

    // Without keys the outputs are 0; the auto outputs of the two-sided
    // inverse are left alone and its Bezier arguments zeroed.
    KFCurve empty;
    double out = 9;
    a = 50;
    KFCURVE_ComputeLeftBezierFromAutoForKey(out, a, &empty, 0);
    EXPECT_EQ(out, 0.0);
    out = 9;
    KFCURVE_ComputeRightAutoFromBezierForKey(out, b, &empty, 0);
    EXPECT_EQ(out, 0.0);
    la = 1, ra = 2, lb = 3, rb = 4;
    KFCURVE_ComputeAutoFromBezierForKey(la, ra, lb, rb, &empty, 0);
    EXPECT_EQ(la, 1.0);
    EXPECT_EQ(ra, 2.0);
    EXPECT_EQ(lb, 0.0);
    EXPECT_EQ(rb, 0.0);
    lb = rb = 5;
    KFCURVE_ComputeBezierFromAutoForKey(lb, rb, la, ra, nullptr, 0);
    EXPECT_EQ(lb, 0.0);
    EXPECT_EQ(rb, 0.0);
}

TEST(KFCurveAutoTest, BreakpointsOnBothSides)
{
    double L = 10, R = 0, a, b;
    auto left = [&](double x) {
        a = x;
        KFCURVE_ComputeLeftBezierFromAuto(b, a, L, R);
        return b;
    };
    auto right = [&](double x) {
        a = x;
        KFCURVE_ComputeRightBezierFromAuto(b, a, L, R);
        return b;
    };
    // +-100: the secants.
    EXPECT_EQ(left(100), 10.0);
    EXPECT_EQ(left(-100), 0.0);
    EXPECT_EQ(right(100), 0.0);
    EXPECT_EQ(right(-100), 10.0);
    // +-500: the middle formula still holds (3L - 2R and 3R - 2L).
    EXPECT_DOUBLE_EQ(left(500), 30.0);
    EXPECT_DOUBLE_EQ(left(-500), -20.0);
    EXPECT_DOUBLE_EQ(right(500), -20.0);
    EXPECT_DOUBLE_EQ(right(-500), 30.0);
    // Beyond +-500 the sweep is added: 35 + 0.04 x 1000 = 75.
    EXPECT_DOUBLE_EQ(left(600), 75.0);
    EXPECT_DOUBLE_EQ(left(-600), -25.0 - 40.0);
    EXPECT_DOUBLE_EQ(right(600), -25.0 - 40.0);
    EXPECT_DOUBLE_EQ(right(-600), 75.0);
    // The sweep starts from 0 at the breakpoints.
    EXPECT_NEAR(left(500.001), 30.0, 1e-3);
    EXPECT_NEAR(right(-500.001), 30.0, 1e-3);
    // Equal secants: the right side sweeps the other way.
    L = R = 2;
    EXPECT_DOUBLE_EQ(left(600), 2.0 - 40.0);
    EXPECT_DOUBLE_EQ(right(600), 2.0 + 40.0);
    EXPECT_DOUBLE_EQ(left(-600), 2.0 + 40.0);
    EXPECT_DOUBLE_EQ(right(-600), 2.0 - 40.0);

    // Inverses.
    L = 10, R = 0;
    b = 75;
    KFCURVE_ComputeLeftAutoFromBezier(a, b, L, R);
    EXPECT_NEAR(a, 600.0, 1e-9);
    L = R = 3;
    b = 3;
    KFCURVE_ComputeLeftAutoFromBezier(a, b, L, R);
    EXPECT_EQ(a, 0.0);
    b = 0.000001;  // snapped to 0 in the caller's variable
    L = 1, R = -1;
    KFCURVE_ComputeRightAutoFromBezier(a, b, L, R);
    EXPECT_EQ(b, 0.0);
    EXPECT_NEAR(a, 0.0, 1e-12);
}

TEST(KFCurveAutoTest, InversesRoundTrip)
{
    const double secants[][2] = {{10, 0}, {0, 10}, {3, 3}, {-2, 5}, {0, 0}, {7.5, -1.25}, {-4, -4}};
    for (const auto& s : secants) {
        for (double x = -1200; x <= 1200; x += 37.5) {
            double L = s[0], R = s[1], a = x, b, back;
            KFCURVE_ComputeLeftBezierFromAuto(b, a, L, R);
            KFCURVE_ComputeLeftAutoFromBezier(back, b, L, R);
            double check;
            KFCURVE_ComputeLeftBezierFromAuto(check, back, L, R);
            EXPECT_NEAR(check, b, 1e-6 * (1 + std::fabs(b))) << L << " " << R << " " << x;
            if (L != R) {
                EXPECT_NEAR(back, x, 1e-6 * (1 + std::fabs(x))) << L << " " << R << " " << x;
            }
            a = x;
            KFCURVE_ComputeRightBezierFromAuto(b, a, L, R);
            KFCURVE_ComputeRightAutoFromBezier(back, b, L, R);
            KFCURVE_ComputeRightBezierFromAuto(check, back, L, R);
            EXPECT_NEAR(check, b, 1e-6 * (1 + std::fabs(b))) << L << " " << R << " " << x;
            if (L != R) {
                EXPECT_NEAR(back, x, 1e-6 * (1 + std::fabs(x))) << L << " " << R << " " << x;
            }
            EXPECT_FALSE(std::isnan(back));
        }
    }
}

TEST(KFCurveDerivativeTest, CubicBeforeOtherKinds)
{
    // Auto-break behaves as auto for its derivatives.
    KFCurve c;
    Add(c, 0, 0.0f, U, KFCURVE_TANGEANT_AUTO_BREAK);
    Add(c, 1, 10.0f, U, KFCURVE_TANGEANT_AUTO_BREAK);
    Add(c, 2, 10.0f, U, KFCURVE_TANGEANT_AUTO_BREAK);
    EXPECT_FLOAT_EQ(c.KeyGetLeftDerivative(1), 5.0f);
    c.KeySetLeftAuto(1, 100.0f);
    c.KeySetRightAuto(1, 100.0f);
    EXPECT_FLOAT_EQ(c.KeyGetLeftDerivative(1), 10.0f);
    EXPECT_FLOAT_EQ(c.KeyGetRightDerivative(1), 0.0f);

    // A cubic key before a constant or linear key: its stored next-left
    // slope, in the form its own tangent mode keeps.
    KFCurve d;
    Add(d, 0, 0.0f, U, KFCURVE_TANGEANT_USER, 0.0f, 2.5f);
    Add(d, 1, 1.0f, C);
    EXPECT_EQ(d.KeyGetLeftDerivative(1), 2.5f);
    d.KeySetTangeantMode(0, KFCURVE_TANGEANT_AUTO);
    d.KeySetDataDouble(0, KFCURVEKEY_NEXT_LEFT_AUTO, 100.0f);  // auto 100: the secant
    EXPECT_FLOAT_EQ(d.KeyGetLeftDerivative(1), 1.0f);
    d.KeySetInterpolation(1, L);
    EXPECT_FLOAT_EQ(d.KeyGetLeftDerivative(1), 1.0f);
    d.KeySetLeftDerivative(1, 0.5f);  // stored as an auto value
    EXPECT_NEAR(d.KeyGetLeftDerivative(1), 0.5f, 1e-5);  // through a float auto value

    // After a TCB key: a linear key takes its own right slope, a user key its
    // own stored slope, a break key the TCB formula with the TCB key's values.
    KFCurve e;
    AddTCB(e, 0, 0.0f, 0.0f, 0.0f, 0.0f);
    Add(e, 1, 2.0f, L);
    Add(e, 2, 5.0f, L);
    EXPECT_FLOAT_EQ(e.KeyGetLeftDerivative(1), 3.0f);
    e.KeySet(1, Sec(1), 2.0f, U, KFCURVE_TANGEANT_USER, 7.0f, 0.0f);
    EXPECT_FLOAT_EQ(e.KeyGetLeftDerivative(1), 7.0f);
    e.KeySetTangeantMode(1, KFCURVE_TANGEANT_BREAK);
    e.KeySetTCB(0, Sec(0), 0.0f, 0.5f, 0.0f, 0.0f);
    // (1 - 0.5) / 2 x (in 2 + out 3)
    EXPECT_FLOAT_EQ(e.KeyGetLeftDerivative(1), 1.25f);
}
