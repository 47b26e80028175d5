// Derivatives of every interpolation and tangent mode, auto values, weights, velocities, Bezier handles and the
// auto/Bezier conversions.

#include "fcurve_test_util.h"

#include "fcurve/kfcurve_autotangent.h"
#include "fcurve/kfcurve_tcb4051.h"

#include <cmath>
#include <utility>

using namespace fctest;

namespace {

// Keys at 0, 1, 2 ... seconds with the given values, all of one kind.
void Keys(KFCurve& c, std::initializer_list<float> values, unsigned int interpolation, unsigned int mode)
{
    int i = 0;
    for (float v : values)
        AddKey(c, Sec(i++), v, interpolation, mode);
}

float Weight(int fixed)
{
    return static_cast<float>(fixed / 9999.0);
}

void Slopes(KFCurve& c, int i, double left, double right, double tolerance = 1e-5)
{
    EXPECT_NEAR(c.KeyGetLeftDerivative(i), left, tolerance) << "key " << i;
    EXPECT_NEAR(c.KeyGetRightDerivative(i), right, tolerance) << "key " << i;
}

} // namespace

TEST(KFCurveDerivativeTest, ConstantAndLinear)
{
    KFCurve c;
    AddKey(c, Sec(0), 0.0f, L);
    AddKey(c, Sec(2), 4.0f, C, 0);
    AddKey(c, Sec(3), 1.0f, L);
    // The first key's left derivative is its right one; the last key's right its left one; a constant segment is flat.
    Slopes(c, 0, 2, 2);
    Slopes(c, 1, 2, 0);
    Slopes(c, 2, 0, 0);
    EXPECT_FLOAT_EQ(c.KeyGetLeftAuto(1), 100.0f); // a linear previous segment reads as auto 100
    EXPECT_EQ(c.KeyGetLeftAuto(2), 0.0f);
    KFCurve one;
    AddKey(one, Sec(0), 5.0f, L);
    Slopes(one, 0, 0, 0);
}

TEST(KFCurveDerivativeTest, CubicAutoAndAutoBreak)
{
    for (unsigned int mode : {AUTO, static_cast<unsigned int>(KFCURVE_TANGEANT_AUTO_BREAK)})
    {
        KFCurve c;
        Keys(c, {0, 10, 10}, U, mode);
        Slopes(c, 0, 10, 10); // auto 0: the mean of the secants 10 and 0; end keys have one secant
        Slopes(c, 1, 5, 5);
        Slopes(c, 2, 0, 0);
        c.KeySetLeftAuto(1, 100.0f); // auto 100 follows the tangent's own secant, -100 the other one
        c.KeySetRightAuto(1, 100.0f);
        Slopes(c, 1, 10, 0);
        EXPECT_FLOAT_EQ(c.KeyGetLeftAuto(1), 100.0f);
        c.KeySetRightAuto(1, -100.0f);
        EXPECT_FLOAT_EQ(c.KeyGetRightDerivative(1), 10.0f);
    }
    KFCurve c;
    Keys(c, {0, 10, 10}, U, AUTO);
    c.KeySetLeftDerivative(1, 7.0f); // setting a derivative stores the matching auto value
    EXPECT_NEAR(c.KeyGetLeftAuto(1), 40.0f, 1e-4);
    EXPECT_NEAR(c.KeyGetLeftDerivative(1), 7.0f, 1e-5);
    c.KeySetRightDerivative(1, 40.0f); // beyond the middle band (30 at -500)
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
    AddKey(c, Sec(0), 0.0f, U, USER, 1.0f, 3.0f);
    AddKey(c, Sec(1), 1.0f, U, USER, 3.0f, 0.0f);
    AddKey(c, Sec(2), 0.0f, U, USER);
    Slopes(c, 1, 3, 3, 0);
    c.KeySetLeftDerivative(1, 2.0f); // a plain user tangent stays continuous, a broken one does not
    Slopes(c, 1, 2, 2, 0);
    c.KeySetTangeantMode(1, BREAK);
    c.KeySetLeftDerivative(1, -4.0f);
    Slopes(c, 1, -4, 2, 0);
    c.KeyIncRightDerivative(1, 0.5f);
    c.KeyIncLeftDerivative(1, 1.0f);
    c.KeyMultDerivative(1, 2.0f);
    Slopes(c, 1, -6, 5, 0);
    // Bezier handles lie a third of the span out along the slopes.
    EXPECT_FLOAT_EQ(c.KeyGetRightBezierTangeant(1), 1.0f + 5.0f / 3.0f);
    EXPECT_FLOAT_EQ(c.KeyGetLeftBezierTangeant(1), 1.0f + 6.0f / 3.0f);
    c.KeySetRightBezierTangeant(1, 2.0f);
    c.KeySetLeftBezierTangeant(1, 2.0f);
    Slopes(c, 1, -3, 3);
    EXPECT_EQ(c.KeyGetRightBezierTangeant(2), 0.0f); // the last key: its value
    EXPECT_EQ(c.KeyGetLeftBezierTangeant(0), 0.0f);  // the first key: its value
    KFCurve r;                                       // removing a key keeps the following key's incoming tangent
    AddKey(r, Sec(0), 0.0f, U, USER, 1.0f, 2.0f);
    AddKey(r, Sec(1), 1.0f, U, BREAK, 3.0f, -7.0f);
    AddKey(r, Sec(2), 0.0f, U, BREAK, 5.0f, 0.0f);
    r.KeySetLeftTangeantWeight(2, 0.6f);
    r.KeyRemove(1);
    EXPECT_EQ(r.KeyGetLeftDerivative(1), -7.0f);
    EXPECT_EQ(r.KeyGetLeftTangeantWeight(1), Weight(5999));
    EXPECT_EQ(r.KeyGetRightDerivative(0), 1.0f);
}

TEST(KFCurveDerivativeTest, TCBAndThe4051Mode)
{
    KFCurve c; // equal slopes of 2 on both sides of the TCB key
    AddKey(c, Sec(0), 0.0f, L);
    AddTCB(c, Sec(1), 2.0f);
    AddKey(c, Sec(2), 4.0f, L);
    Slopes(c, 1, 2, 2);
    KFCurve d; // unequal slopes: in = 2, out = -4; tension .5, continuity .25, bias -.5
    AddTCB(d, Sec(0), 0.0f);
    AddTCB(d, Sec(1), 2.0f, 0.5f, 0.25f, -0.5f);
    AddKey(d, Sec(2), -2.0f, L);
    const double t = 0.5, k = 0.25, b = -0.5, in = 2.0, out = -4.0;
    const double left = (1 - t) / 2 * ((1 - k) * (1 + b) * in + (1 + k) * (1 - b) * out);
    const double right = (1 - t) / 2 * ((1 + k) * (1 + b) * in + (1 - k) * (1 - b) * out);
    Slopes(d, 1, left, right);
    EXPECT_NEAR(d.KeyGetRightDerivative(0), 2.0, 1e-6); // the first TCB key: its outgoing slope
    // In the 4051 mode the left derivative is the right one; a last TCB key keeps its left formula (no recursion).
    KFCURVE_SetTCB4051EvalMode(true);
    EXPECT_TRUE(gsTCB4051EvalMode);
    EXPECT_NEAR(d.KeyGetLeftDerivative(1), right, 1e-6);
    KFCurve e;
    AddKey(e, Sec(0), 0.0f, U, USER);
    AddTCB(e, Sec(1), 3.0f);
    Slopes(e, 1, 3, 3);
    KFCURVE_SetTCB4051EvalMode(false);
    EXPECT_NEAR(d.KeyGetLeftDerivative(1), left, 1e-6);
}

TEST(KFCurveDerivativeTest, CubicBeforeOtherKinds)
{
    // A cubic key before a constant or linear key: its stored next-left slope, in the form its own tangent mode keeps.
    KFCurve d;
    AddKey(d, Sec(0), 0.0f, U, USER, 0.0f, 2.5f);
    AddKey(d, Sec(1), 1.0f, C, 0);
    EXPECT_EQ(d.KeyGetLeftDerivative(1), 2.5f);
    d.KeySetTangeantMode(0, AUTO);
    d.KeySetDataDouble(0, KFCURVEKEY_NEXT_LEFT_AUTO, 100.0f); // auto 100: the secant
    EXPECT_FLOAT_EQ(d.KeyGetLeftDerivative(1), 1.0f);
    d.KeySetInterpolation(1, L);
    EXPECT_FLOAT_EQ(d.KeyGetLeftDerivative(1), 1.0f);
    d.KeySetLeftDerivative(1, 0.5f);                    // stored as an auto value
    EXPECT_NEAR(d.KeyGetLeftDerivative(1), 0.5f, 1e-5); // through a float auto value
    // After a TCB key: linear takes its right slope, user its stored slope, break the TCB formula of the TCB key.
    KFCurve e;
    AddTCB(e, Sec(0), 0.0f);
    AddKey(e, Sec(1), 2.0f, L);
    AddKey(e, Sec(2), 5.0f, L);
    EXPECT_FLOAT_EQ(e.KeyGetLeftDerivative(1), 3.0f);
    e.KeySet(1, Sec(1), 2.0f, U, USER, 7.0f, 0.0f);
    EXPECT_FLOAT_EQ(e.KeyGetLeftDerivative(1), 7.0f);
    e.KeySetTangeantMode(1, BREAK);
    e.KeySetTCB(0, Sec(0), 0.0f, 0.5f, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(e.KeyGetLeftDerivative(1), 1.25f); // (1 - 0.5) / 2 x (in 2 + out 3)
}

TEST(KFCurveDerivativeTest, WeightsAndVelocities)
{
    KFCurve c;
    AddKey(c, Sec(0), 0.0f, U, USER);
    AddKey(c, Sec(1), 1.0f, U, USER);
    AddKey(c, Sec(2), 0.0f, L);
    EXPECT_EQ(c.KeyGetLeftTangeantWeight(1), KFCURVE_DEFAULT_WEIGHT);
    EXPECT_FALSE(c.KeyIsLeftTangeantWeighted(1));
    c.KeySetLeftTangeantWeight(1, 0.999f);
    EXPECT_TRUE(c.KeyIsLeftTangeantWeighted(1));
    EXPECT_EQ(c.KeyGetLeftTangeantWeight(1), Weight(9899));
    EXPECT_EQ(c.KeyGetTangeantWeightMode(0), static_cast<unsigned int>(KFCURVE_WEIGHTED_NEXT_LEFT));
    c.KeySetRightTangeantWeight(0, 0.25f);
    EXPECT_TRUE(c.KeyIsRightTangeantWeighted(0));
    EXPECT_EQ(c.KeyGetRightTangeantWeight(0), Weight(2499));
    c.KeySetRightTangeantWeightedMode(0, false);
    EXPECT_EQ(c.KeyGetRightTangeantWeight(0), KFCURVE_DEFAULT_WEIGHT);
    // The left side of a key after a cubic key is weighted on that key; the last key has no right side.
    c.KeySetLeftTangeantWeight(2, 0.5f);
    c.KeySetRightTangeantWeight(2, 0.5f);
    EXPECT_TRUE(c.KeyIsLeftTangeantWeighted(2) && !c.KeyIsRightTangeantWeighted(2));
    c.KeySetRightTangeantVelocity(0, 1.5f);
    EXPECT_TRUE(c.KeyIsRightTangeantVelocity(0));
    EXPECT_EQ(c.KeyGetRightTangeantVelocity(0), Weight(14998));
    c.KeySetLeftTangeantVelocity(1, -0.5f);
    EXPECT_TRUE(c.KeyIsLeftTangeantVelocity(1));
    EXPECT_EQ(c.KeyGetLeftTangeantVelocity(1), Weight(-4999));
    c.KeySetLeftTangeantVelocityMode(1, false);
    EXPECT_EQ(c.KeyGetLeftTangeantVelocity(1), 0.0f);
    c.KeySetRightTangeantVelocityMode(0, false);
    EXPECT_FALSE(c.KeyIsRightTangeantVelocity(0));
    KFCurveTangeantInfo info = c.KeyGetLeftDerivativeInfo(1); // descriptions carry all of it
    EXPECT_TRUE(info.mWeighted);
    EXPECT_EQ(info.mWeight, Weight(9899));
    KFCurve d;
    AddKey(d, Sec(0), 0.0f, U, USER);
    AddKey(d, Sec(1), 1.0f, U, BREAK);
    info.mDerivative = 4.0f;
    d.KeySetLeftDerivativeInfo(1, info);
    EXPECT_EQ(d.KeyGetLeftDerivative(1), 4.0f);
    EXPECT_EQ(d.KeyGetLeftTangeantWeight(1), Weight(9899));
}

TEST(KFCurveDerivativeTest, ModeChangesAndInsertKeepTheSlopes)
{
    KFCurve c;
    const float values[5] = {0, 3, 1, 4, 2};
    for (int i = 0; i < 5; ++i)
        AddKey(c, Sec(i * 0.5), values[i], U, AUTO);
    float left[5], right[5];
    for (int i = 0; i < 5; ++i)
    {
        left[i] = c.KeyGetLeftDerivative(i);
        right[i] = c.KeyGetRightDerivative(i);
    }
    c.KeyTangeantSetMode(false, USER);
    for (int i = 0; i < 5; ++i)
    {
        EXPECT_EQ(c.KeyGetTangeantMode(i), 0x400u);
        EXPECT_NEAR(c.KeyGetLeftDerivative(i), left[i], 1e-4) << i;
        if (i < 4)
        {
            EXPECT_NEAR(c.KeyGetRightDerivative(i), right[i], 1e-4) << i;
        }
    }
    c.KeySetSelected(2, true);
    c.KeyTangeantSetMode(true, BREAK);
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(c.KeyGetLeftDerivative(i), left[i], 1e-4) << i;
    c.KeyTangeantSetInterpolation(true, L);
    EXPECT_EQ(c.KeyGetInterpolation(2), 4u);
    EXPECT_NEAR(c.KeyGetLeftDerivative(2), left[2], 1e-4);
    KFCurve source; // insert another curve: appended after the keys, or merged with an equal time replacing
    Keys(source, {1, 2}, L, AUTO);
    KFCurve a;
    AddKey(a, Sec(0), 0.0f, L);
    AddKey(a, Sec(1), 5.0f, U, USER);
    a.Insert(&source, Sec(3), 0.5f);
    EXPECT_EQ(Times(a), Secs({0, 1, 3, 4}));
    EXPECT_EQ(a.KeyGetValue(3), 2.0f);
    EXPECT_EQ(a.KeyGetLeftDerivative(2), 0.5f);
    KFCurve m;
    AddKey(m, Sec(0), 0.0f, L);
    AddKey(m, Sec(2), 0.0f, L);
    m.Insert(&source, Sec(1), 0.0f);
    EXPECT_EQ(Values(m), (std::vector<float>{0, 1, 2}));
    EXPECT_FLOAT_EQ(m.Evaluate(Sec(1.5)), 1.5f);
}

TEST(KFCurveAutoTest, ConversionsOfAKey)
{
    KFCurve c;
    Keys(c, {0, 10, 10}, U, AUTO);
    double l = 0, r = 0;
    KFCURVE_ComputeToLeftAndToRight(l, r, &c, 1);
    EXPECT_EQ(Vec({l, r}), Vec({10, 0}));
    KFCURVE_ComputeToLeftAndToRight(l, r, &c, 0);
    EXPECT_EQ(Vec({l, r}), Vec({10, 10}));
    // {left auto, right auto, left Bezier, right Bezier} for key 1.
    const double cases[][4] = {{0, 0, 5, 5}, {100, 100, 10, 0}, {-100, -100, 0, 10}};
    for (const auto& k : cases)
    {
        double la = k[0], ra = k[1], lb, rb;
        KFCURVE_ComputeBezierFromAutoForKey(lb, rb, la, ra, &c, 1);
        EXPECT_EQ(Vec({lb, rb}), Vec({k[2], k[3]})) << k[0];
    }
    double a = 0, b = 7.0;
    KFCURVE_ComputeLeftAutoFromBezierForKey(a, b, &c, 1);
    EXPECT_NEAR(a, 40.0, 1e-9);
    KFCurve s; // secants are formed in single precision
    AddKey(s, Sec(0), 0.0f, U, AUTO);
    AddKey(s, Sec(3), 1.0f, U, AUTO);
    KFCURVE_ComputeToLeftAndToRight(l, r, &s, 0);
    EXPECT_EQ(r, static_cast<double>(1.0f / 3.0f));
    // Without keys: outputs 0; the two-sided inverse leaves its auto outputs alone and zeroes its Bezier arguments.
    KFCurve empty;
    double out1 = 9, out2 = 9, la = 1, ra = 2, lb = 3, rb = 4, lb2 = 5, rb2 = 5;
    KFCURVE_ComputeLeftBezierFromAutoForKey(out1, a, &empty, 0);
    KFCURVE_ComputeRightAutoFromBezierForKey(out2, b, &empty, 0);
    KFCURVE_ComputeAutoFromBezierForKey(la, ra, lb, rb, &empty, 0);
    KFCURVE_ComputeBezierFromAutoForKey(lb2, rb2, la, ra, nullptr, 0);
    EXPECT_EQ(Vec({out1, out2, la, ra, lb, rb, lb2, rb2}), Vec({0, 0, 1, 2, 0, 0, 0, 0}));
}

// Each one-sided key wrapper equals its conversion on the key's secants, and
// gives 0 on a curve without keys.
TEST(KFCurveAutoTest, OneSidedKeyWrappersUseTheKeySecants)
{
    KFCurve c;
    Keys(c, {0, 10, 4}, U, AUTO);
    double toLeft = 0, toRight = 0;
    KFCURVE_ComputeToLeftAndToRight(toLeft, toRight, &c, 1);
    using Direct = void (*)(double&, double&, double&, double&);
    using ForKey = void (*)(double&, double&, KFCurve*, int);
    const std::pair<Direct, ForKey> pairs[] = {
        {KFCURVE_ComputeLeftBezierFromAuto, KFCURVE_ComputeLeftBezierFromAutoForKey},
        {KFCURVE_ComputeRightBezierFromAuto, KFCURVE_ComputeRightBezierFromAutoForKey},
        {KFCURVE_ComputeLeftAutoFromBezier, KFCURVE_ComputeLeftAutoFromBezierForKey},
        {KFCURVE_ComputeRightAutoFromBezier, KFCURVE_ComputeRightAutoFromBezierForKey}};
    KFCurve empty;
    for (const auto& [direct, forKey] : pairs)
    {
        for (double in : {-600.0, -3.0, 0.0, 40.0, 700.0})
        {
            double expected = 0, got = 0;
            direct(expected, in, toLeft, toRight);
            forKey(got, in, &c, 1);
            EXPECT_EQ(got, expected) << in;
            got = 9;
            forKey(got, in, &empty, 0);
            EXPECT_EQ(got, 0.0);
        }
    }
}

TEST(KFCurveAutoTest, BreakpointsOnBothSides)
{
    double secL = 10, secR = 0;
    auto left = [&](double x) {
        double b;
        KFCURVE_ComputeLeftBezierFromAuto(b, x, secL, secR);
        return b;
    };
    auto right = [&](double x) {
        double b;
        KFCURVE_ComputeRightBezierFromAuto(b, x, secL, secR);
        return b;
    };
    // +-100: the secants; +-500: still 3L - 2R and 3R - 2L; beyond, the sweep is added (35 + 0.04 x 1000 = 75).
    const double cases[][3] = {{100, 10, 0},    {-100, 0, 10},  {500, 30, -20},
                               {-500, -20, 30}, {600, 75, -65}, {-600, -65, 75}};
    for (const auto& k : cases)
    {
        EXPECT_DOUBLE_EQ(left(k[0]), k[1]) << k[0];
        EXPECT_DOUBLE_EQ(right(k[0]), k[2]) << k[0];
    }
    EXPECT_NEAR(left(500.001), 30.0, 1e-3); // the sweep starts from 0 at the breakpoints
    EXPECT_NEAR(right(-500.001), 30.0, 1e-3);
    secL = secR = 2; // equal secants: the right side sweeps the other way
    EXPECT_DOUBLE_EQ(left(600), 2.0 - 40.0);
    EXPECT_DOUBLE_EQ(right(600), 2.0 + 40.0);
    EXPECT_DOUBLE_EQ(left(-600), 2.0 + 40.0);
    EXPECT_DOUBLE_EQ(right(-600), 2.0 - 40.0);
    double a, b = 75; // inverses
    secL = 10, secR = 0;
    KFCURVE_ComputeLeftAutoFromBezier(a, b, secL, secR);
    EXPECT_NEAR(a, 600.0, 1e-9);
    secL = secR = b = 3;
    KFCURVE_ComputeLeftAutoFromBezier(a, b, secL, secR);
    EXPECT_EQ(a, 0.0);
    b = 0.000001; // snapped to 0 in the caller's variable
    secL = 1, secR = -1;
    KFCURVE_ComputeRightAutoFromBezier(a, b, secL, secR);
    EXPECT_EQ(b, 0.0);
    EXPECT_NEAR(a, 0.0, 1e-12);
    // Both inverses round-trip across the bands for any secants.
    const double secants[][2] = {{10, 0}, {0, 10}, {3, 3}, {-2, 5}, {0, 0}, {7.5, -1.25}, {-4, -4}};
    for (const auto& s : secants)
        for (double x = -1200; x <= 1200; x += 37.5)
            for (bool isLeft : {true, false})
            {
                double sl = s[0], sr = s[1], ax = x, bz, back, check;
                auto toBezier = isLeft ? KFCURVE_ComputeLeftBezierFromAuto : KFCURVE_ComputeRightBezierFromAuto;
                auto toAuto = isLeft ? KFCURVE_ComputeLeftAutoFromBezier : KFCURVE_ComputeRightAutoFromBezier;
                toBezier(bz, ax, sl, sr);
                toAuto(back, bz, sl, sr);
                toBezier(check, back, sl, sr);
                EXPECT_NEAR(check, bz, 1e-6 * (1 + std::fabs(bz))) << sl << " " << sr << " " << x;
                if (sl != sr)
                {
                    EXPECT_NEAR(back, x, 1e-6 * (1 + std::fabs(x))) << sl << " " << sr << " " << x;
                }
            }
}
