// Matrix converter: cells, total matrix, extraction and the sampled conversion.

#include "fcurve_test_util.h"

#include "fcurve/kfcurvefilters.h"

#include <cmath>
#include <memory>

using namespace fctest;

namespace {

typedef KFCurveFilterMatrixConverter Converter;
typedef KFCurveFilterMatrixConverter::Cell Cell;
const char* const kGroups[3] = {"T", "R", "S"};
const char* const kMembers[3] = {"X", "Y", "Z"};

// A transform node: "T", "R" (Euler XYZ) and "S", each with "X", "Y", "Z" curves; scaling curves default to 1.
struct Transform
{
    std::unique_ptr<KFCurveNode> node{KFCurveNodeCreate("Model", static_cast<KDataType*>(nullptr))};
    Transform()
    {
        node->Add(MemberNode("T", KFCL_ADD));
        node->Add(MemberNode("R", KFCL_EULER_XYZ));
        node->Add(MemberNode("S", KFCL_ADD, {1, 1, 1}));
    }
    KFCurve& Curve(int group, int member) { return *Member(node->Get(group), member); }
    // Keys at 0 and `end` seconds on one curve.
    Transform(int group, int member, float first, float last, double end = 1.0)
        : Transform()
    {
        AddKey(Curve(group, member), Sec(0), first);
        AddKey(Curve(group, member), Sec(end), last);
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

// The total matrix of a cell with the given transforms.
KgeAMatrix Total(Converter& converter, Cell& cell, KgeAMatrix t, KgeAMatrix r, KgeAMatrix s)
{
    KgeAMatrix total;
    converter.ComputeTotalMatrix(total, cell, t, r, s);
    return total;
}

void SetCell(Cell& cell, int id, const KgeAMatrix& m)
{
    cell.mMatrices[id] = m;
    cell.mIsIdentity[id] = false;
    cell.mIsAllIdentity = false;
}

// A converter that only converts (no unroll, no reduction), with a source cell that scales by 2 after everything.
void Configure(Converter& converter, double period)
{
    KgeAMatrix scale = Scaling(2.0, 2.0, 2.0);
    converter.SetSourceMatrix(Converter::ePostGlobal, scale);
    converter.SetApplyUnroll(false);
    converter.SetApplyConstantKeyReducer(false);
    KTime p = Sec(period);
    converter.SetResamplingPeriod(p);
}

} // namespace

TEST(KFCurveFilterMatrixConverter, DefaultsCellsAndEquivalence)
{
    Converter converter;
    EXPECT_STREQ(converter.GetName(), "FCurve Matrix Converter");
    EXPECT_TRUE(converter.GetResamplingOnFrameRateMultiple() && converter.GetApplyUnroll() &&
                converter.GetApplyConstantKeyReducer() && converter.GetGenerateLastKeyExactlyAtEndTime());
    KgeAMatrix almost; // a matrix read back: the fourth column is left alone
    almost.mData[1][2] = 0.0000005;
    converter.SetSourceMatrix(Converter::ePreRotate, almost);
    KgeAMatrix out;
    out.mData[0][3] = 9.0;
    converter.GetSourceMatrix(Converter::ePreRotate, out);
    EXPECT_EQ(Vec({out.mData[1][2], out.mData[0][3]}), Vec({0.0000005, 9.0}));
    Cell cell; // only matrices flagged as set are inverted; twice gives them back
    EXPECT_TRUE(cell.mIsAllIdentity);
    cell.mMatrices[4] = Translation(1, 2, 3); // a value left from before a Reset
    cell.InverseMatrices();
    EXPECT_EQ(cell.mMatrices[4].mData[3][0], 1.0);
    SetCell(cell, 4, Rotation(10, 20, 30));
    cell.mMatrices[4].mData[3][1] = 4.0;
    const KgeAMatrix before = cell.mMatrices[4];
    cell.InverseMatrices();
    EXPECT_GT(std::fabs(cell.mMatrices[4].mData[3][1] - before.mData[3][1]), 1e-3);
    cell.InverseMatrices();
    ExpectMatrixNear(cell.mMatrices[4], before, 1e-12);
    cell.Reset();
    EXPECT_TRUE(cell.mIsAllIdentity && cell.mIsIdentity[4]);
    // Equivalence reads the stored values whatever the flags say.
    EXPECT_TRUE(converter.MatricesEquivalence(cell.mMatrices, cell.mMatrices));
    EXPECT_FALSE(converter.MatricesEquivalence(Cell().mMatrices, cell.mMatrices));
    Converter back; // a matrix set back to the identity: both cells equivalent, nothing converted
    KgeAMatrix m = Translation(0, 0, 1), identity;
    back.SetSourceMatrix(Converter::ePreTranslate, m);
    back.SetSourceMatrix(Converter::ePreTranslate, identity);
    Transform t;
    EXPECT_FALSE(back.Apply(*t.node, true));
    ExpectError(back, 1, "MatrixConverter, No key were changed by filter.");
}

TEST(KFCurveFilterMatrixConverter, PivotsBracketTheirTransform)
{
    // M11^-1 x R x M11 and M12^-1 x S x M12 with row vectors: the pivot acts first.
    const KgeAMatrix pivot = Translation(1, 2, 3), inverse = Translation(-1, -2, -3), none;
    const KgeAMatrix r = Rotation(10, 50, -20), s = Scaling(2, 3, 4);
    for (bool rotation : {true, false})
    {
        Converter converter;
        converter.SetResampleTranslation(false);
        Cell cell;
        SetCell(cell, rotation ? Converter::eRotationPivot : Converter::eScalingPivot, pivot);
        const KgeAMatrix total = Total(converter, cell, none, rotation ? r : none, rotation ? none : s);
        KgeAMatrix expected = pivot;
        EXPECT_TRUE(converter.GetResampleTranslation());
        KmAA(expected, expected, rotation ? r : s);
        KmAA(expected, expected, inverse);
        ExpectMatrixNear(total, expected, 1e-12);
    }
}

TEST(KFCurveFilterMatrixConverter, ExtractTransforms)
{
    Converter converter;
    Cell identity;
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
    EXPECT_EQ(std::vector<double>({s.x, s.y, s.z, s.w}), std::vector<double>({2, 3, 4, 0})); // w untouched
    ExpectNear3(r, 0, 0, 30, 1e-9);
    EXPECT_EQ(std::vector<double>({t.x, t.y, t.z, t.w}), std::vector<double>({1, 2, 3, 1}));
    KgeAMatrix mirror = Scaling(-1, 1, 1); // a mirror: the scale becomes (-1, -1, -1) and X turns half a turn
    mirror.mData[3][1] = 7;
    converter.ExtractTransforms(s, r, t, mirror, identity);
    EXPECT_EQ(std::vector<double>({s.x, s.y, s.z}), std::vector<double>({-1, -1, -1}));
    ExpectNear3(r, std::fabs(r.x) == r.x ? 180 : -180, 0, 0, 1e-9);
    EXPECT_EQ(t.y, 7);
    // Gimbal lock up and down; a collapsed axis keeps the other rows' rotation.
    for (double y : {90.0, -90.0})
    {
        KgeAMatrix lock = Rotation(0, y, 0);
        converter.ExtractTransforms(s, r, t, lock, identity);
        ExpectNear3(r, 0, y, 0, 1e-9);
        EXPECT_EQ(r.z, 0);
    }
    KgeAMatrix flat = Rotation(0, 0, 45);
    const double flatScales[3] = {0, 2, 2};
    KmRS(flat, flat, flatScales);
    converter.ExtractTransforms(s, r, t, flat, identity);
    EXPECT_EQ(s.x, 0);
    EXPECT_NEAR(r.z, 45, 1e-9);
    EXPECT_FALSE(std::isnan(r.x) || std::isnan(r.y));
    // Through a destination cell the extraction inverts the chain: recomposing its results gives the total back.
    Cell cell;
    KgeAMatrix m0 = Rotation(5, -10, 15);
    m0.mData[3][0] = 0.5;
    SetCell(cell, 0, m0);
    SetCell(cell, 1, Translation(1, 0, -2));
    SetCell(cell, 2, Translation(0, 3, 0));
    SetCell(cell, 3, Rotation(0, 0, 30));
    SetCell(cell, 4, Rotation(20, 0, 0));
    SetCell(cell, 5, Scaling(2, 2, 2));
    SetCell(cell, 6, Rotation(0, 15, 0));
    SetCell(cell, 7, Scaling(0.5, 0.5, 0.5));
    SetCell(cell, 8, Translation(0.25, 0.5, 0.75));
    SetCell(cell, 11, Translation(-1, 1, 2));
    SetCell(cell, 12, Translation(3, -1, 0));
    total = Total(converter, cell, Translation(1, 2, 3), Rotation(10, 20, 30), Scaling(1, 2, 3));
    Cell inverted = cell;
    inverted.InverseMatrices();
    converter.ExtractTransforms(s, r, t, total, inverted);
    ExpectNear3(s, 1, 2, 3, 1e-9);
    ExpectNear3(r, 10, 20, 30, 1e-9);
    ExpectMatrixNear(
        Total(converter, cell, Translation(t.x, t.y, t.z), Rotation(r.x, r.y, r.z), Scaling(s.x, s.y, s.z)), total,
        1e-9);
}

TEST(KFCurveFilterMatrixConverter, ThirtyOneKeysWithTheLastAtTheEnd)
{
    for (int variant = 0; variant < 3; ++variant)
    {
        const double end = variant == 0 ? 1.0 : 1.0005;
        Transform t(0, 0, 0.0f, 1.0f, end);
        Converter converter;
        Configure(converter, 1.0 / 30.0);
        converter.SetGenerateLastKeyExactlyAtEndTime(variant != 2);
        EXPECT_TRUE(converter.Apply(*t.node, true));
        for (int g = 0; g < 3; ++g)
            for (int m = 0; m < 3; ++m)
            {
                KFCurve& c = t.Curve(g, m);
                ASSERT_EQ(c.KeyGetCount(), 31) << kGroups[g] << kMembers[m] << variant;
                EXPECT_EQ(c.KeyGetTime(0), KTime(0));
                EXPECT_EQ(c.KeyGetTime(29), KTime(29 * converter.GetResamplingPeriod().Get()));
                EXPECT_EQ(c.KeyGetTime(30), variant == 2 ? Sec(1.0) : Sec(end));
            }
        // Keys take the interpolation of the source key they follow (cubic auto where the source curve has no key).
        EXPECT_EQ(t.Curve(0, 0).KeyGetInterpolation(5), L);
        EXPECT_EQ(t.Curve(1, 1).KeyGetInterpolation(5), U);
        // The post-global matrix scales the node before its translation: the translation stays, the scaling doubles.
        EXPECT_NEAR(t.Curve(0, 0).KeyGetValue(15), 0.5 / end, 1e-5);
        EXPECT_FLOAT_EQ(t.Curve(2, 1).KeyGetValue(3), 2.0f);
        EXPECT_FLOAT_EQ(t.Curve(2, 1).GetValue(), 2.0f);
    }
}

TEST(KFCurveFilterMatrixConverter, SchedulesOfTheSamples)
{
    // On a frame multiple the samples start at 0 (0, 0.1 .. 0.4 and 0.45); otherwise at the first key.
    for (bool onFrame : {true, false})
    {
        Transform t;
        AddKey(t.Curve(1, 2), Sec(0.05), 10.0f);
        AddKey(t.Curve(1, 2), Sec(0.45), 20.0f);
        Converter converter;
        Configure(converter, 0.1);
        converter.SetResamplingOnFrameRateMultiple(onFrame);
        EXPECT_TRUE(converter.Apply(*t.node, true));
        KFCurve& z = t.Curve(1, 2); // the converted curve
        EXPECT_EQ(z.KeyGetTime(0), onFrame ? KTime(0) : Sec(0.05));
        if (onFrame)
        {
            ASSERT_EQ(z.KeyGetCount(), 6);
            EXPECT_EQ(z.KeyGetTime(5), Sec(0.45));
            EXPECT_NEAR(z.KeyGetValue(0), 10.0, 1e-4);
        }
    }
    Transform s(2, 0, 1.0f, 3.0f, 0.5); // keys on one curve key all nine
    Converter converter;
    Configure(converter, 0.1);
    EXPECT_TRUE(converter.Apply(*s.node, true));
    for (int g = 0; g < 3; ++g)
        for (int m = 0; m < 3; ++m)
            EXPECT_EQ(s.Curve(g, m).KeyGetCount(), 6) << kGroups[g] << kMembers[m];
    EXPECT_NEAR(s.Curve(2, 0).KeyGetValue(5), 6.0, 1e-5);
    Transform late(0, 0, 0.0f, 1.0f); // a filter start later than every key: the schedule is the last key alone
    converter.SetStartTime(Sec(5.0));
    EXPECT_TRUE(converter.Apply(*late.node, true));
    EXPECT_EQ(Times(late.Curve(0, 0)), (std::vector<long long>{kTicksPerSecond}));
}

TEST(KFCurveFilterMatrixConverter, PivotsTurnTranslationResamplingOn)
{
    for (int id : {-1, int(Converter::eScaleOffset), int(Converter::eRotationPivot), int(Converter::eScalingPivot)})
    {
        Transform t(0, 0, 1.0f, 2.0f);
        Converter converter;
        Configure(converter, 0.25);
        converter.SetResampleTranslation(false);
        if (id >= 0)
        {
            KgeAMatrix pivot = Translation(1, 2, 3);
            converter.SetSourceMatrix(static_cast<Converter::EMatrixID>(id), pivot);
        }
        EXPECT_TRUE(converter.Apply(*t.node, true));
        EXPECT_EQ(converter.GetResampleTranslation(), id >= 0);
        // Without a pivot the translation is left as it was.
        EXPECT_EQ(t.Curve(0, 0).KeyGetCount(), id >= 0 ? 5 : 2) << id;
        EXPECT_EQ(t.Curve(0, 1).KeyGetCount(), id >= 0 ? 5 : 0) << id;
        EXPECT_EQ(t.Curve(1, 0).KeyGetCount(), 5);
    }
}

// The converted curves give the same total matrix through the destination cell as the original curves through the
// source cell.
TEST(KFCurveFilterMatrixConverter, ConversionKeepsTheMotion)
{
    Transform t;
    KeyMembers(t.node->Get(0), {{0, 0, 1, 2}, {1, 5, 4, 3}});
    KeyMembers(t.node->Get(1), {{0, 0, 10, 20}, {1, 40, 25, 10}});
    KeyMembers(t.node->Get(2), {{0, 1, 1, 1}, {1, 1, 2, 3}});
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
    Cell source, destination;
    SetCell(source, Converter::ePreRotate, pre);
    SetCell(source, Converter::ePreTranslate, shift);
    ASSERT_EQ(t.Curve(1, 0).KeyGetCount(), 9);
    for (int k = 0; k <= 8; ++k)
    {
        double before[3][3], after[3][3];
        for (int g = 0; g < 3; ++g)
            for (int i = 0; i < 3; ++i)
            {
                before[g][i] = Member(original->Get(g), i)->Evaluate(Sec(k * 0.125));
                after[g][i] = t.Curve(g, i).KeyGetValue(k);
            }
        ExpectMatrixNear(Total(converter, source, Translation(before[0][0], before[0][1], before[0][2]),
                               Rotation(before[1][0], before[1][1], before[1][2]),
                               Scaling(before[2][0], before[2][1], before[2][2])),
                         Total(converter, destination, Translation(after[0][0], after[0][1], after[0][2]),
                               Rotation(after[1][0], after[1][1], after[1][2]),
                               Scaling(after[2][0], after[2][1], after[2][2])),
                         1e-4);
    }
}

TEST(KFCurveFilterMatrixConverter, EquivalentCellsStillUnrollAndReduce)
{
    Transform t(1, 0, 0.0f, 350.0f);
    AddKeys(t.Curve(0, 1), {5, 5, 5});
    Converter converter;
    KTime period = Sec(1.0 / 30.0);
    converter.SetResamplingPeriod(period);
    EXPECT_FALSE(converter.Apply(*t.node, true));
    ExpectError(converter, 1, "MatrixConverter, No key were changed by filter.");
    EXPECT_NEAR(t.Curve(1, 0).Evaluate(Sec(1.0)), -10.0, 1e-3);
    EXPECT_EQ(t.Curve(0, 1).KeyGetCount(), 0);
    EXPECT_FLOAT_EQ(t.Curve(0, 1).GetValue(), 5.0f);
}

TEST(KFCurveFilterMatrixConverter, Refusals)
{
    Converter converter;
    KFCurve curve;
    KFCurve* curves[1] = {&curve};
    EXPECT_FALSE(converter.Apply(curves, 1));
    ExpectError(converter, 2, "MatrixConverter, invalid apply method.");
    converter.GetError().ClearLastError();
    EXPECT_FALSE(converter.Apply(curve));
    EXPECT_STREQ(converter.GetLastErrorString(), "MatrixConverter, invalid apply method.");
    Configure(converter, 0.1);
    std::unique_ptr<KFCurveNode> partial(KFCurveNodeCreate("Model", static_cast<KDataType*>(nullptr)));
    partial->FindOrCreate("T", false)->FindOrCreate("X", true);
    EXPECT_FALSE(converter.Apply(*partial, true));
    ExpectError(converter, 3, "MatrixConverter, Missing curve.");
    // A period not positive, or one needing too many samples: nothing changes.
    const struct
    {
        double period, end;
        const char* text;
    } cases[] = {{0.0, 1.0, "MatrixConverter, Invalid resampling period. No key were changed by filter."},
                 {1.0 / 30.0, 1.0e6, "MatrixConverter, Too many keys to resample. No key were changed by filter."}};
    for (const auto& k : cases)
    {
        Transform t(0, 0, 0.0f, 1.0f, k.end);
        Converter c;
        Configure(c, k.period);
        EXPECT_FALSE(c.Apply(*t.node, true));
        ExpectError(c, 1, k.text);
        EXPECT_EQ(t.Curve(0, 0).KeyGetCount(), 2);
        EXPECT_EQ(t.Curve(1, 0).KeyGetCount(), 0);
    }
    Transform still; // without keys the period does not matter: only static values convert
    still.Curve(0, 2).SetValue(3.0f);
    still.Curve(2, 2).SetValue(1.5f);
    Converter zero;
    Configure(zero, 0.0);
    EXPECT_TRUE(zero.Apply(*still.node, true));
    EXPECT_FLOAT_EQ(still.Curve(0, 2).GetValue(), 3.0f);
    EXPECT_FLOAT_EQ(still.Curve(2, 2).GetValue(), 3.0f);
    EXPECT_EQ(still.Curve(2, 2).KeyGetCount(), 0);
}
