// Filter set: defaults, mode acceptance by mode type, factors, the automatic
// setup and activity, Reset and Copy.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "character/kfiltersetinfo.h"
#include "character/kqoxfilterset.h"

using namespace qoxsdk_600;

namespace {

// Named indices used below.
enum
{
    kPullIterationCount = 0,
    kPosture = 1,
    kForceActorSpace = 2,
    kScaleCompensation = 3,
    kMassCenterCompensation = 7,
    kFloorContact = 44,
    kFootBottomToAnkle = 45,
    kDamping = 75,
    kOrientation = 76,
    kDisplacement = 77,
    kDisplacementMemory = 78,
    kStabilization = 82,
    kAnkleStabilizationTime = 83,
    kAnkleStabilizationDamping = 87
};

void SetMode(KFilterSetBase& base, int index, int mode)
{
    base.GetState(index)->mMode = mode;
}

void SetValue(KFilterSetBase& base, int index, double value)
{
    base.GetState(index)->mValue = value;
}

double Value(KFilterSetBase& base, int index)
{
    return base.GetState(index)->mValue;
}

} // namespace

TEST(FilterSet, NewSetHoldsTheTableDefaults)
{
    EXPECT_EQ(KQoxFilterSet::GetParameterCount(), 177);
    KQoxFilterSet set;
    for (int i = 0; i < KQoxFilterSet::GetParameterCount(); ++i)
    {
        EXPECT_EQ(set.GetParameterMode(i), KQoxFilterSet::GetParameterDefaultMode(i)) << i;
        EXPECT_EQ(set.GetParameterValue(i), KQoxFilterSet::GetParameterDefaultValue(i)) << i;
        EXPECT_EQ(KQoxFilterSet::GetParameterIndex(KQoxFilterSet::GetParameterName(i)), i);
    }
    EXPECT_EQ(set.GetParameterMode(kMassCenterCompensation), 1);
    EXPECT_EQ(set.GetParameterValue(kMassCenterCompensation), 80.0);
    EXPECT_EQ(set.GetParameterValue(kPullIterationCount), 10.0);
    EXPECT_EQ(set.GetParameterMode(kAnkleStabilizationDamping), 0);
    EXPECT_EQ(set.GetParameterMode(38), 1); // reported although it can never be set
    EXPECT_EQ(KQoxFilterSet::GetParameterIndex("Posture"), 1);
    EXPECT_EQ(KQoxFilterSet::GetParameterIndex("posture"), -1);

    // Outside the table: nothing is read or written.
    for (int index : {-1, 177, std::numeric_limits<int>::min()})
    {
        EXPECT_EQ(KQoxFilterSet::GetParameterName(index), nullptr);
        EXPECT_EQ(KQoxFilterSet::GetParameterMaxValue(index), 0.0);
        set.SetParameterMode(index, 1);
        set.SetParameterValue(index, 5.0);
        EXPECT_EQ(set.GetParameterMode(index), 0);
        EXPECT_EQ(set.GetParameterValue(index), 0.0);
    }
}

TEST(FilterSet, ModesAcceptedByModeType)
{
    // For each mode type, which of the modes -1..3 are kept.
    const struct
    {
        int index;
        bool accepted[5]; // modes -1, 0, 1, 2, 3
    } cases[] = {
        {kPullIterationCount, {false, false, false, false, false}}, // type 0
        {kFootBottomToAnkle, {false, false, false, false, false}},  // type 0 with default mode 1
        {kForceActorSpace, {false, true, true, false, false}},      // type 1
        {kScaleCompensation, {false, true, true, true, false}},     // type 2
        {kDisplacementMemory, {false, true, true, false, false}},   // type 3
    };
    for (const auto& c : cases)
        for (int mode = -1; mode <= 3; ++mode)
        {
            KQoxFilterSet set;
            const int before = set.GetParameterMode(c.index);
            set.SetParameterMode(c.index, mode);
            EXPECT_EQ(set.GetParameterMode(c.index), c.accepted[mode + 1] ? mode : before)
                << "index " << c.index << " mode " << mode;
        }
}

TEST(FilterSet, ValuesAreStoredUncheckedWithOneComponent)
{
    KQoxFilterSet set;
    const double values[] = {7.0, -1e300, std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::infinity()};
    for (double v : values)
    {
        set.SetParameterValue(kPosture, v, 0);
        EXPECT_EQ(set.GetParameterValue(kPosture, 0), v);
        EXPECT_EQ(set.GetParameterValue(kPosture, 2), v);
    }
    set.SetParameterValue(kPosture, std::nan(""), 1);
    EXPECT_TRUE(std::isnan(set.GetParameterValue(kPosture)));

    // Reset brings every parameter back.
    set.SetParameterMode(kScaleCompensation, 2);
    set.SetParameterValue(kDamping, 55.0);
    set.Reset();
    for (int i = 0; i < KQoxFilterSet::GetParameterCount(); ++i)
    {
        ASSERT_EQ(set.GetParameterMode(i), KQoxFilterSet::GetParameterDefaultMode(i)) << i;
        ASSERT_EQ(set.GetParameterValue(i), KQoxFilterSet::GetParameterDefaultValue(i)) << i;
    }
}

TEST(FilterSet, FactorsOfANewSet)
{
    KFilterSetBase base;
    EXPECT_DOUBLE_EQ(base.GetParamFact(kPullIterationCount), 0.1);
    EXPECT_EQ(base.GetParamFact(kPosture), -1.0);               // a choice has no factor
    EXPECT_EQ(base.GetParamFact(kScaleCompensation), -1.0);     // automatic, no governing parameter
    EXPECT_EQ(base.GetParamFact(kAnkleStabilizationTime), 1.0); // 1 - 0 (inverted)
    EXPECT_TRUE(base.IsParamActive(-1));
    EXPECT_FALSE(base.IsParamActive(kFloorContact));
    EXPECT_TRUE(base.IsParamActive(kFootBottomToAnkle));
    EXPECT_TRUE(base.IsParamActive(kMassCenterCompensation));
    EXPECT_FALSE(base.IsParamActive(kAnkleStabilizationDamping));
    EXPECT_TRUE(base.IsParamAuto(kScaleCompensation));
    EXPECT_TRUE(base.IsParamAuto(kDisplacementMemory));
    EXPECT_FALSE(base.IsParamAuto(kMassCenterCompensation));
}

TEST(FilterSet, AutomaticSetupExamples)
{
    // On a new set exactly one value changes: 83 goes from 0 to 1.
    {
        KFilterSetBase base;
        KFilterSetBase fresh;
        base.AutomaticParamSetup();
        for (int i = 0; i < base.GetCount(); ++i)
        {
            if (i != kAnkleStabilizationTime)
            {
                EXPECT_EQ(Value(base, i), Value(fresh, i)) << i;
            }
        }
        EXPECT_EQ(Value(base, kAnkleStabilizationTime), 1.0);
    }

    const struct
    {
        const char* what;
        double damping;
        int displacementMode; // -1: default
        double displacement;
        double stabilization;
        int checked;
        double expected;
    } cases[] = {
        {"Damping 40 drives Orientation", 40.0, -1, 0.0, 0.0, kOrientation, 0.1},
        {"negative factor gives the default", -10.0, -1, 0.0, 0.0, kOrientation, 0.0},
        {"no clamping past the maximum", 200.0, -1, 0.0, 0.0, kOrientation, 0.5},
        {"inverted: 1 - 0.3", 0.0, -1, 0.0, 30.0, kAnkleStabilizationTime, 0.7},
        {"user Displacement 60", 0.0, 2, 60.0, 0.0, kDisplacementMemory, 0.15},
        {"auto Displacement passes Damping on", 80.0, 1, 60.0, 0.0, kDisplacementMemory, 0.2},
        {"auto Displacement itself follows Damping", 80.0, 1, 60.0, 0.0, kDisplacement, 80.0},
        {"ScaleCompensation back to its default", 0.0, -1, 0.0, 0.0, kScaleCompensation, 100.0},
    };
    for (const auto& c : cases)
    {
        KFilterSetBase base;
        SetValue(base, kDamping, c.damping);
        SetValue(base, kStabilization, c.stabilization);
        SetValue(base, kScaleCompensation, 3.0);
        if (c.displacementMode >= 0)
            SetMode(base, kDisplacement, c.displacementMode);
        SetValue(base, kDisplacement, c.displacement);
        base.AutomaticParamSetup();
        EXPECT_NEAR(Value(base, c.checked), c.expected, 1e-12) << c.what;
        EXPECT_EQ(base.GetState(kDisplacement)->mMode, c.displacementMode >= 0 ? c.displacementMode : 1) << c.what;
    }
}

TEST(FilterSet, ActivityFollowsModesAndGoverningParameters)
{
    KFilterSetBase base;
    // DisplacementMemory is active exactly when Displacement is not Off.
    for (int mode : {0, 1, 2})
    {
        SetMode(base, kDisplacement, mode);
        EXPECT_EQ(base.IsParamActive(kDisplacementMemory), mode != 0) << mode;
    }
    // A governed switch-less entry ignores its switch.
    SetMode(base, kFloorContact, 0);
    EXPECT_TRUE(base.IsParamActive(kFootBottomToAnkle));
    SetMode(base, kFloorContact, 1);
    EXPECT_TRUE(base.IsParamActive(kFloorContact));
    // An off/auto/user entry is inactive when Off, whatever governs it.
    SetMode(base, kOrientation, 0);
    EXPECT_FALSE(base.IsParamActive(kOrientation));
    EXPECT_FALSE(base.IsParamActive(177));
    EXPECT_FALSE(base.IsParamAuto(-1));
    EXPECT_EQ(base.GetParamFact(500), -1.0);
}

TEST(FilterSet, CopyTakesModesOverUnchecked)
{
    KFilterSetBase source;
    SetMode(source, kPullIterationCount, 1); // refused by SetParameterMode
    SetMode(source, kScaleCompensation, 9);
    SetValue(source, kDamping, -42.5);
    KFilterSetBase target;
    target.Copy(&source);
    for (int i = 0; i < source.GetCount(); ++i)
    {
        EXPECT_EQ(target.GetState(i)->mMode, source.GetState(i)->mMode) << i;
        EXPECT_EQ(Value(target, i), Value(source, i)) << i;
    }
    target.Copy(nullptr);
    target.Copy(&target);
    EXPECT_EQ(target.GetState(kScaleCompensation)->mMode, 9);
}
