// Matrix converter: cells, total matrix, extraction and the sampled conversion.
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvefilters.h"
#include "fcurve/kfcurvenode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

typedef KFCurveFilterMatrixConverter Converter;

KTime Sec(double seconds)
{
    KTime t;
    t.SetSecondDouble(seconds);
    return t;
}

void AddKey(KFCurve& curve, double seconds, float value)
{
    KFCurveKey key{};
    key.Set(Sec(seconds), value, KFCURVE_INTERPOLATION_LINEAR, KFCURVE_TANGEANT_AUTO);
    curve.KeyAdd(key.GetTime(), key);
}

// A transform node: "T", "R" (Euler XYZ) and "S", each with "X", "Y", "Z"
// curves; scaling curves default to 1.
struct Transform
{
    std::unique_ptr<KFCurveNode> node;
    Transform() : node(new KFCurveNode("Model", "Model", nullptr))
    {
        const char* groups[3] = {"T", "R", "S"};
        for (int g = 0; g < 3; ++g)
        {
            KFCurveNode* group = new KFCurveNode(groups[g], groups[g], nullptr, g == 1 ? KFCL_EULER_XYZ : KFCL_ADD);
            node->Add(group);
            for (const char* member : {"X", "Y", "Z"})
                group->FindOrCreate(member, true)->FCurveGet()->SetValue(g == 2 ? 1.0f : 0.0f);
        }
    }
    KFCurve& Curve(const char* group, const char* member)
    {
        return *node->FindRecursive(group)->FindRecursive(member)->FCurveGet();
    }
};

void ExpectMatrixNear(const KgeAMatrix& a, const KgeAMatrix& b, double tolerance)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(a.mData[r][c], b.mData[r][c], tolerance) << r << "," << c;
}

KgeAMatrix Translation(double x, double y, double z)
{
    KgeAMatrix m;
    m.mData[3][0] = x;
    m.mData[3][1] = y;
    m.mData[3][2] = z;
    return m;
}

KgeAMatrix Rotation(double x, double y, double z)
{
    KgeAMatrix m;
    KmXYZtoR(m, x, y, z);
    return m;
}

KgeAMatrix Scaling(double x, double y, double z)
{
    KgeAMatrix m;
    m.mData[0][0] = x;
    m.mData[1][1] = y;
    m.mData[2][2] = z;
    return m;
}

// A converter that only converts (no unroll, no reduction), with a source
// cell that differs from the identity.
void Configure(Converter& converter, double period)
{
    KgeAMatrix scale = Scaling(2.0, 2.0, 2.0);
    converter.SetSourceMatrix(Converter::ePostGlobal, scale);
    converter.SetApplyUnroll(false);
    converter.SetApplyConstantKeyReducer(false);
    KTime p = Sec(period);
    converter.SetResamplingPeriod(p);
}

TEST(KFCurveFilterMatrixConverter, DefaultsAndCellFlags)
{
    Converter converter;
    EXPECT_STREQ(converter.GetName(), "FCurve Matrix Converter");
    EXPECT_EQ(converter.GetResamplingPeriod(), KTime(0));
    EXPECT_TRUE(converter.GetResamplingOnFrameRateMultiple());
    EXPECT_TRUE(converter.GetApplyUnroll());
    EXPECT_TRUE(converter.GetApplyConstantKeyReducer());
    EXPECT_TRUE(converter.GetGenerateLastKeyExactlyAtEndTime());
    EXPECT_TRUE(converter.GetResampleTranslation());
    EXPECT_EQ(converter.mSourceRotationOrder.mOrder, 0);
    EXPECT_EQ(converter.mDestRotationOrder.mOrder, 0);

    // Within 1e-6 of the identity counts as the identity.
    KgeAMatrix almost;
    almost.mData[1][2] = 0.0000005;
    converter.SetSourceMatrix(Converter::ePreRotate, almost);
    KgeAMatrix out;
    out.mData[0][3] = 9.0;
    converter.GetSourceMatrix(Converter::ePreRotate, out);
    EXPECT_EQ(out.mData[1][2], 0.0000005);
    EXPECT_EQ(out.mData[0][3], 9.0); // the fourth column is left alone

    KFCurveFilterMatrixConverter::Cell cell;
    EXPECT_TRUE(cell.mIsAllIdentity);
    cell.mMatrices[4] = Translation(1, 2, 3); // a value left from before a Reset
    cell.InverseMatrices();
    EXPECT_EQ(cell.mMatrices[4].mData[3][0], 1.0);

    cell.mIsIdentity[4] = false;
    cell.mIsAllIdentity = false;
    cell.mMatrices[4] = Rotation(10, 20, 30);
    cell.mMatrices[4].mData[3][1] = 4.0;
    const KgeAMatrix before = cell.mMatrices[4];
    cell.InverseMatrices();
    EXPECT_GT(std::fabs(cell.mMatrices[4].mData[3][1] - before.mData[3][1]), 1e-3);
    cell.InverseMatrices();
    ExpectMatrixNear(cell.mMatrices[4], before, 1e-12);
    cell.Reset();
    EXPECT_TRUE(cell.mIsAllIdentity);
    EXPECT_TRUE(cell.mIsIdentity[4]);

    // Equivalence reads the stored values whatever the flags say.
    Converter other;
    EXPECT_TRUE(other.MatricesEquivalence(&cell.mMatrices[0], &cell.mMatrices[0]));
    KFCurveFilterMatrixConverter::Cell plain;
    EXPECT_FALSE(other.MatricesEquivalence(plain.mMatrices, cell.mMatrices));
}

TEST(KFCurveFilterMatrixConverter, AllIdentityFlagStaysOff)
{
    Converter converter;
    Transform t;
    KgeAMatrix m = Translation(0, 0, 1);
    converter.SetSourceMatrix(Converter::ePreTranslate, m);
    KgeAMatrix identity;
    converter.SetSourceMatrix(Converter::ePreTranslate, identity);
    // Both cells now hold identities: equivalent, nothing converted.
    EXPECT_FALSE(converter.Apply(*t.node, true));
    EXPECT_EQ(converter.GetLastErrorID(), 1);
    EXPECT_STREQ(converter.GetLastErrorString(), "MatrixConverter, No key were changed by filter.");
}

TEST(KFCurveFilterMatrixConverter, RotationPivotBracketsTheRotation)
{
    Converter converter;
    converter.SetResampleTranslation(false);
    KFCurveFilterMatrixConverter::Cell cell;
    cell.mMatrices[Converter::eRotationPivot] = Translation(1, 2, 3);
    cell.mIsIdentity[Converter::eRotationPivot] = false;
    cell.mIsAllIdentity = false;
    KgeAMatrix t, r = Rotation(10, 50, -20), s, total;
    converter.ComputeTotalMatrix(total, cell, t, r, s);
    EXPECT_TRUE(converter.GetResampleTranslation());

    // M11^-1 x R x M11 with row vectors: M11 acts first.
    KgeAMatrix expected = Translation(1, 2, 3);
    KmAA(expected, expected, r);
    KgeAMatrix inverse = Translation(-1, -2, -3);
    KmAA(expected, expected, inverse);
    ExpectMatrixNear(total, expected, 1e-12);
}

TEST(KFCurveFilterMatrixConverter, ExtractTransforms)
{
    Converter converter;
    KFCurveFilterMatrixConverter::Cell identity;
    KgeSVector s;
    KgeRVector r;
    KgeTVector t;

    KgeAMatrix total = Rotation(0, 0, 30);
    const double scales[3] = {2, 3, 4};
    KmRS(total, total, scales);
    total.mData[3][0] = 1;
    total.mData[3][1] = 2;
    total.mData[3][2] = 3;
    converter.ExtractTransforms(s, r, t, total, identity);
    EXPECT_NEAR(s.x, 2, 1e-12);
    EXPECT_NEAR(s.y, 3, 1e-12);
    EXPECT_NEAR(s.z, 4, 1e-12);
    EXPECT_NEAR(r.x, 0, 1e-9);
    EXPECT_NEAR(r.y, 0, 1e-9);
    EXPECT_NEAR(r.z, 30, 1e-9);
    EXPECT_EQ(t.x, 1);
    EXPECT_EQ(t.y, 2);
    EXPECT_EQ(t.z, 3);
    EXPECT_EQ(s.w, 0.0); // fourth components untouched
    EXPECT_EQ(t.w, 1.0);

    KgeAMatrix mirror = Scaling(-1, 1, 1);
    mirror.mData[3][1] = 7;
    converter.ExtractTransforms(s, r, t, mirror, identity);
    EXPECT_EQ(s.x, -1);
    EXPECT_EQ(s.y, -1);
    EXPECT_EQ(s.z, -1);
    EXPECT_NEAR(std::fabs(r.x), 180, 1e-9);
    EXPECT_NEAR(r.y, 0, 1e-9);
    EXPECT_NEAR(r.z, 0, 1e-9);
    EXPECT_EQ(t.y, 7);

    KgeAMatrix up = Rotation(0, 90, 0);
    converter.ExtractTransforms(s, r, t, up, identity);
    EXPECT_NEAR(r.x, 0, 1e-9);
    EXPECT_NEAR(r.y, 90, 1e-9);
    EXPECT_EQ(r.z, 0);
    KgeAMatrix down = Rotation(0, -90, 0);
    converter.ExtractTransforms(s, r, t, down, identity);
    EXPECT_NEAR(r.x, 0, 1e-9);
    EXPECT_NEAR(r.y, -90, 1e-9);
    EXPECT_EQ(r.z, 0);

    // A collapsed axis: zero scale, the rotation still comes from the other rows.
    KgeAMatrix flat = Rotation(0, 0, 45);
    const double flatScales[3] = {0, 2, 2};
    KmRS(flat, flat, flatScales);
    converter.ExtractTransforms(s, r, t, flat, identity);
    EXPECT_EQ(s.x, 0);
    EXPECT_NEAR(r.z, 45, 1e-9);
    EXPECT_FALSE(std::isnan(r.x) || std::isnan(r.y));
}

// With fixed matrices in the destination cell, the extraction inverts the
// chain: recomposing its results gives the total matrix back.
TEST(KFCurveFilterMatrixConverter, ExtractThroughADestinationCell)
{
    Converter converter;
    KFCurveFilterMatrixConverter::Cell cell;
    auto set = [&](int id, const KgeAMatrix& m) {
        cell.mMatrices[id] = m;
        cell.mIsIdentity[id] = false;
        cell.mIsAllIdentity = false;
    };
    KgeAMatrix m0 = Rotation(5, -10, 15);
    m0.mData[3][0] = 0.5;
    set(0, m0);
    set(1, Translation(1, 0, -2));
    set(2, Translation(0, 3, 0));
    set(3, Rotation(0, 0, 30));
    set(4, Rotation(20, 0, 0));
    set(5, Scaling(2, 2, 2));
    set(6, Rotation(0, 15, 0));
    set(7, Scaling(0.5, 0.5, 0.5));
    set(8, Translation(0.25, 0.5, 0.75));
    set(11, Translation(-1, 1, 2));
    set(12, Translation(3, -1, 0));

    KgeAMatrix t = Translation(1, 2, 3), r = Rotation(10, 20, 30), s = Scaling(1, 2, 3), total;
    converter.ComputeTotalMatrix(total, cell, t, r, s);

    KFCurveFilterMatrixConverter::Cell inverted = cell;
    inverted.InverseMatrices();
    KgeSVector so;
    KgeRVector ro;
    KgeTVector to;
    converter.ExtractTransforms(so, ro, to, total, inverted);
    EXPECT_NEAR(so.x, 1, 1e-9);
    EXPECT_NEAR(so.y, 2, 1e-9);
    EXPECT_NEAR(so.z, 3, 1e-9);
    EXPECT_NEAR(ro.x, 10, 1e-9);
    EXPECT_NEAR(ro.y, 20, 1e-9);
    EXPECT_NEAR(ro.z, 30, 1e-9);

    KgeAMatrix t2 = Translation(to.x, to.y, to.z), r2 = Rotation(ro.x, ro.y, ro.z), s2 = Scaling(so.x, so.y, so.z);
    KgeAMatrix back;
    converter.ComputeTotalMatrix(back, cell, t2, r2, s2);
    ExpectMatrixNear(back, total, 1e-9);
}

TEST(KFCurveFilterMatrixConverter, ThirtyOneKeysWithTheLastAtTheEnd)
{
    for (int variant = 0; variant < 3; ++variant)
    {
        Transform t;
        const double end = variant == 0 ? 1.0 : 1.0005;
        AddKey(t.Curve("T", "X"), 0.0, 0.0f);
        AddKey(t.Curve("T", "X"), end, 1.0f);
        Converter converter;
        Configure(converter, 1.0 / 30.0);
        converter.SetGenerateLastKeyExactlyAtEndTime(variant != 2);
        EXPECT_TRUE(converter.Apply(*t.node, true));

        for (const char* group : {"T", "R", "S"})
            for (const char* member : {"X", "Y", "Z"})
            {
                KFCurve& c = t.Curve(group, member);
                ASSERT_EQ(c.KeyGetCount(), 31) << group << member << variant;
                EXPECT_EQ(c.KeyGetTime(0), KTime(0));
                EXPECT_EQ(c.KeyGetTime(29), KTime(29 * converter.GetResamplingPeriod().Get()));
                EXPECT_EQ(c.KeyGetTime(30), variant == 2 ? Sec(1.0) : Sec(end));
            }
        KFCurve& x = t.Curve("T", "X");
        // Keys take the interpolation of the source key they follow (cubic
        // auto where the source curve has no key).
        EXPECT_EQ(x.KeyGetInterpolation(5), static_cast<unsigned int>(KFCURVE_INTERPOLATION_LINEAR));
        EXPECT_EQ(t.Curve("R", "Y").KeyGetInterpolation(5), static_cast<unsigned int>(KFCURVE_INTERPOLATION_CUBIC));
        // The post-global matrix scales the node before its translation: the
        // translation stays, the scaling doubles.
        EXPECT_NEAR(x.KeyGetValue(15), 0.5 / end, 1e-5);
        EXPECT_FLOAT_EQ(t.Curve("S", "Y").KeyGetValue(3), 2.0f);
        EXPECT_FLOAT_EQ(t.Curve("S", "Y").GetValue(), 2.0f);
    }
}

TEST(KFCurveFilterMatrixConverter, StartOnAFrameMultiple)
{
    Transform t;
    AddKey(t.Curve("R", "Z"), 0.05, 10.0f);
    AddKey(t.Curve("R", "Z"), 0.45, 20.0f);
    Converter converter;
    Configure(converter, 0.1);
    EXPECT_TRUE(converter.Apply(*t.node, true));
    KFCurve& z = t.Curve("R", "Z");
    ASSERT_EQ(z.KeyGetCount(), 6); // 0, 0.1, 0.2, 0.3, 0.4 and 0.45
    EXPECT_EQ(z.KeyGetTime(0), KTime(0));
    EXPECT_EQ(z.KeyGetTime(5), Sec(0.45));
    EXPECT_NEAR(z.KeyGetValue(0), 10.0, 1e-4);

    Transform u;
    AddKey(u.Curve("R", "Z"), 0.05, 10.0f);
    AddKey(u.Curve("R", "Z"), 0.45, 20.0f);
    Converter free;
    Configure(free, 0.1);
    free.SetResamplingOnFrameRateMultiple(false);
    EXPECT_TRUE(free.Apply(*u.node, true));
    EXPECT_EQ(u.Curve("R", "Z").KeyGetTime(0), Sec(0.05));
}

TEST(KFCurveFilterMatrixConverter, KeysOnOneCurveKeyAllNine)
{
    Transform t;
    AddKey(t.Curve("S", "X"), 0.0, 1.0f);
    AddKey(t.Curve("S", "X"), 0.5, 3.0f);
    Converter converter;
    Configure(converter, 0.1);
    EXPECT_TRUE(converter.Apply(*t.node, true));
    for (const char* group : {"T", "R", "S"})
        for (const char* member : {"X", "Y", "Z"})
            EXPECT_EQ(t.Curve(group, member).KeyGetCount(), 6) << group << member;
    EXPECT_NEAR(t.Curve("S", "X").KeyGetValue(5), 6.0, 1e-5);
}

TEST(KFCurveFilterMatrixConverter, PivotsTurnTranslationResamplingOn)
{
    Transform kept;
    AddKey(kept.Curve("T", "X"), 0.0, 1.0f);
    AddKey(kept.Curve("T", "X"), 1.0, 2.0f);
    Converter plain;
    Configure(plain, 0.25);
    plain.SetResampleTranslation(false);
    EXPECT_TRUE(plain.Apply(*kept.node, true));
    EXPECT_EQ(kept.Curve("T", "X").KeyGetCount(), 2); // translation left as it was
    EXPECT_EQ(kept.Curve("R", "X").KeyGetCount(), 5);

    for (int id : {Converter::eScaleOffset, Converter::eRotationPivot, Converter::eScalingPivot})
    {
        Transform t;
        AddKey(t.Curve("T", "X"), 0.0, 1.0f);
        AddKey(t.Curve("T", "X"), 1.0, 2.0f);
        Converter converter;
        Configure(converter, 0.25);
        converter.SetResampleTranslation(false);
        KgeAMatrix pivot = Translation(1, 2, 3);
        converter.SetSourceMatrix(static_cast<Converter::EMatrixID>(id), pivot);
        EXPECT_TRUE(converter.Apply(*t.node, true));
        EXPECT_TRUE(converter.GetResampleTranslation());
        EXPECT_EQ(t.Curve("T", "X").KeyGetCount(), 5) << id;
        EXPECT_EQ(t.Curve("T", "Y").KeyGetCount(), 5) << id;
    }
}

// The converted curves give the same total matrix through the destination
// cell as the original curves through the source cell.
TEST(KFCurveFilterMatrixConverter, ConversionKeepsTheMotion)
{
    Transform t;
    const char* members[3] = {"X", "Y", "Z"};
    for (int i = 0; i < 3; ++i)
    {
        AddKey(t.Curve("T", members[i]), 0.0, static_cast<float>(i));
        AddKey(t.Curve("T", members[i]), 1.0, static_cast<float>(5 - i));
        AddKey(t.Curve("R", members[i]), 0.0, static_cast<float>(10 * i));
        AddKey(t.Curve("R", members[i]), 1.0, static_cast<float>(40 - 15 * i));
        AddKey(t.Curve("S", members[i]), 0.0, 1.0f);
        AddKey(t.Curve("S", members[i]), 1.0, static_cast<float>(1 + i));
    }
    std::unique_ptr<KFCurveNode> original(t.node->Clone(false));

    Converter converter;
    KgeAMatrix pre = Rotation(0, 0, 30), shift = Translation(0, 5, 0);
    converter.SetSourceMatrix(Converter::ePreRotate, pre);
    converter.SetSourceMatrix(Converter::ePreTranslate, shift);
    converter.SetApplyUnroll(false);
    converter.SetApplyConstantKeyReducer(false);
    KTime period = Sec(0.125);
    converter.SetResamplingPeriod(period);
    EXPECT_TRUE(converter.Apply(*t.node, true));

    KFCurveFilterMatrixConverter::Cell source;
    source.mMatrices[Converter::ePreRotate] = pre;
    source.mMatrices[Converter::ePreTranslate] = shift;
    source.mIsIdentity[Converter::ePreRotate] = false;
    source.mIsIdentity[Converter::ePreTranslate] = false;
    source.mIsAllIdentity = false;
    KFCurveFilterMatrixConverter::Cell destination;

    ASSERT_EQ(t.Curve("R", "X").KeyGetCount(), 9);
    for (int k = 0; k <= 8; ++k)
    {
        const KTime time = Sec(k * 0.125);
        double before[3][3], after[3][3];
        const char* groups[3] = {"T", "R", "S"};
        for (int g = 0; g < 3; ++g)
            for (int i = 0; i < 3; ++i)
            {
                before[g][i] = original->FindRecursive(groups[g])->FindRecursive(members[i])->FCurveGet()->Evaluate(time);
                after[g][i] = t.Curve(groups[g], members[i]).KeyGetValue(k);
            }
        KgeAMatrix t0 = Translation(before[0][0], before[0][1], before[0][2]);
        KgeAMatrix r0 = Rotation(before[1][0], before[1][1], before[1][2]);
        KgeAMatrix s0 = Scaling(before[2][0], before[2][1], before[2][2]);
        KgeAMatrix t1 = Translation(after[0][0], after[0][1], after[0][2]);
        KgeAMatrix r1 = Rotation(after[1][0], after[1][1], after[1][2]);
        KgeAMatrix s1 = Scaling(after[2][0], after[2][1], after[2][2]);
        KgeAMatrix m0, m1;
        converter.ComputeTotalMatrix(m0, source, t0, r0, s0);
        converter.ComputeTotalMatrix(m1, destination, t1, r1, s1);
        ExpectMatrixNear(m0, m1, 1e-4);
    }
}

TEST(KFCurveFilterMatrixConverter, EquivalentCellsStillUnrollAndReduce)
{
    Transform t;
    AddKey(t.Curve("R", "X"), 0.0, 0.0f);
    AddKey(t.Curve("R", "X"), 1.0, 350.0f);
    for (int i = 0; i < 3; ++i)
        AddKey(t.Curve("T", "Y"), i, 5.0f);
    Converter converter;
    KTime period = Sec(1.0 / 30.0);
    converter.SetResamplingPeriod(period);
    EXPECT_FALSE(converter.Apply(*t.node, true));
    EXPECT_EQ(converter.GetLastErrorID(), 1);
    EXPECT_STREQ(converter.GetLastErrorString(), "MatrixConverter, No key were changed by filter.");
    EXPECT_NEAR(t.Curve("R", "X").Evaluate(Sec(1.0)), -10.0, 1e-3);
    EXPECT_EQ(t.Curve("T", "Y").KeyGetCount(), 0);
    EXPECT_FLOAT_EQ(t.Curve("T", "Y").GetValue(), 5.0f);
}

TEST(KFCurveFilterMatrixConverter, Refusals)
{
    Converter converter;
    KFCurve curve;
    KFCurve* curves[1] = {&curve};
    EXPECT_FALSE(converter.Apply(curves, 1));
    EXPECT_EQ(converter.GetLastErrorID(), 2);
    EXPECT_STREQ(converter.GetLastErrorString(), "MatrixConverter, invalid apply method.");
    EXPECT_FALSE(converter.Apply(curve));
    EXPECT_EQ(converter.GetLastErrorID(), 2);

    Configure(converter, 0.1);
    std::unique_ptr<KFCurveNode> partial(new KFCurveNode("Model", "Model", nullptr));
    partial->FindOrCreate("T", false)->FindOrCreate("X", true);
    EXPECT_FALSE(converter.Apply(*partial, true));
    EXPECT_EQ(converter.GetLastErrorID(), 3);
    EXPECT_STREQ(converter.GetLastErrorString(), "MatrixConverter, Missing curve.");
}

TEST(KFCurveFilterMatrixConverter, PeriodMustBePositive)
{
    Transform t;
    AddKey(t.Curve("T", "X"), 0.0, 0.0f);
    AddKey(t.Curve("T", "X"), 1.0, 1.0f);
    Converter converter;
    Configure(converter, 0.0);
    EXPECT_FALSE(converter.Apply(*t.node, true));
    EXPECT_EQ(converter.GetLastErrorID(), 1);
    EXPECT_STREQ(converter.GetLastErrorString(),
                 "MatrixConverter, Invalid resampling period. No key were changed by filter.");
    EXPECT_EQ(t.Curve("T", "X").KeyGetCount(), 2);
    EXPECT_EQ(t.Curve("R", "X").KeyGetCount(), 0);

    // Without keys the period does not matter: only static values convert.
    Transform still;
    still.Curve("T", "Z").SetValue(3.0f);
    still.Curve("S", "Z").SetValue(1.5f);
    EXPECT_TRUE(converter.Apply(*still.node, true));
    EXPECT_FLOAT_EQ(still.Curve("T", "Z").GetValue(), 3.0f);
    EXPECT_FLOAT_EQ(still.Curve("S", "Z").GetValue(), 3.0f);
    EXPECT_EQ(still.Curve("S", "Z").KeyGetCount(), 0);
}

TEST(KFCurveFilterMatrixConverter, SampleCountIsBounded)
{
    Transform t;
    AddKey(t.Curve("T", "X"), 0.0, 0.0f);
    AddKey(t.Curve("T", "X"), 1.0e6, 1.0f);
    Converter converter;
    Configure(converter, 1.0 / 30.0);
    EXPECT_FALSE(converter.Apply(*t.node, true));
    EXPECT_EQ(converter.GetLastErrorID(), 1);
    EXPECT_STREQ(converter.GetLastErrorString(),
                 "MatrixConverter, Too many keys to resample. No key were changed by filter.");
    EXPECT_EQ(t.Curve("T", "X").KeyGetCount(), 2);
}

// A filter start later than every key: the schedule is the last key alone.
TEST(KFCurveFilterMatrixConverter, StartAfterStop)
{
    Transform t;
    AddKey(t.Curve("T", "X"), 0.0, 0.0f);
    AddKey(t.Curve("T", "X"), 1.0, 1.0f);
    Converter converter;
    Configure(converter, 0.1);
    KTime start = Sec(5.0);
    converter.SetStartTime(start);
    EXPECT_TRUE(converter.Apply(*t.node, true));
    ASSERT_EQ(t.Curve("T", "X").KeyGetCount(), 1);
    EXPECT_EQ(t.Curve("T", "X").KeyGetTime(0), Sec(1.0));
}

} // namespace
