// Filter set: defaults, mode acceptance by mode type, factors, the automatic
// setup and activity, Reset and Copy.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "character/kqoxfilterset.h"

using namespace qoxsdk_600;

namespace {

// Indices used below.
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

KFilterSetBase::KParamState& State(KFilterSetBase& base, int index)
{
    return *base.GetState(index);
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
    EXPECT_TRUE(set.GetParameterMode(kMassCenterCompensation) == 1 &&
                set.GetParameterValue(kMassCenterCompensation) == 80);
    EXPECT_EQ(set.GetParameterValue(kPullIterationCount), 10.0);
    EXPECT_EQ(set.GetParameterMode(kAnkleStabilizationDamping), 0);
    EXPECT_EQ(set.GetParameterMode(38), 1); // reported although it can never be set
    EXPECT_EQ(KQoxFilterSet::GetParameterIndex("posture"), -1);
    // Outside the table nothing is read or written.
    for (int index : {-1, 177, std::numeric_limits<int>::min()})
    {
        set.SetParameterMode(index, 1);
        set.SetParameterValue(index, 5.0);
        EXPECT_TRUE(KQoxFilterSet::GetParameterName(index) == nullptr && set.GetParameterMode(index) == 0 &&
                    set.GetParameterValue(index) == 0.0);
    }
}

// The static description reads the table row; outside the table every field
// is zero and there is no name.
TEST(FilterSet, ParameterDescriptionReadsTheTableRow)
{
    const int kAngularPerimeter = 85;
    EXPECT_STREQ(KQoxFilterSet::GetParameterName(kAngularPerimeter), "AnkleStabilizationAngularPerimeter");
    EXPECT_EQ(KQoxFilterSet::GetParameterModeType(kAngularPerimeter), 2);
    EXPECT_EQ(KQoxFilterSet::GetParameterDefaultMode(kAngularPerimeter), 1);
    EXPECT_EQ(KQoxFilterSet::GetParameterUnit(kAngularPerimeter), 4);
    EXPECT_EQ(KQoxFilterSet::GetParameterValueType(kAngularPerimeter), 0);
    EXPECT_EQ(KQoxFilterSet::GetParameterMinValue(kAngularPerimeter), 0.0);
    EXPECT_EQ(KQoxFilterSet::GetParameterMaxValue(kAngularPerimeter), 60.0);
    EXPECT_EQ(KQoxFilterSet::GetParameterDefaultValue(kFootBottomToAnkle), 7.5);
    EXPECT_EQ(KQoxFilterSet::GetParameterUnit(kFootBottomToAnkle), 3);
    EXPECT_EQ(KQoxFilterSet::GetParameterMinValue(38), -1000.0); // HipsTOffsetX
    EXPECT_EQ(KQoxFilterSet::GetParameterMaxValue(kFootBottomToAnkle), 10000.0);
    for (int index : {-1, 177, std::numeric_limits<int>::max()})
    {
        EXPECT_EQ(KQoxFilterSet::GetParameterName(index), nullptr);
        EXPECT_EQ(KQoxFilterSet::GetParameterModeType(index) + KQoxFilterSet::GetParameterDefaultMode(index) +
                      KQoxFilterSet::GetParameterUnit(index) + KQoxFilterSet::GetParameterValueType(index),
                  0);
        EXPECT_EQ(KQoxFilterSet::GetParameterMinValue(index), 0.0);
        EXPECT_EQ(KQoxFilterSet::GetParameterMaxValue(index), 0.0);
        EXPECT_EQ(KQoxFilterSet::GetParameterDefaultValue(index), 0.0);
    }
}

TEST(FilterSet, ModesAcceptedByModeType)
{
    const struct
    {
        int index;
        bool accepted[5]; // modes -1, 0, 1, 2, 3
    } cases[] = {
        {kPullIterationCount, {false, false, false, false, false}}, // type 0
        {kFootBottomToAnkle, {false, false, false, false, false}},  // type 0, default mode 1
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
            EXPECT_EQ(set.GetParameterMode(c.index), c.accepted[mode + 1] ? mode : before) << c.index << "/" << mode;
        }
}

TEST(FilterSet, ValuesAreStoredUncheckedAndResetRestoresDefaults)
{
    KQoxFilterSet set;
    for (double v : {7.0, -1e300, std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min(),
                     std::numeric_limits<double>::infinity()})
    {
        set.SetParameterValue(kPosture, v, 0);
        EXPECT_TRUE(set.GetParameterValue(kPosture, 0) == v && set.GetParameterValue(kPosture, 2) == v);
    }
    set.SetParameterValue(kPosture, std::nan(""), 1);
    EXPECT_TRUE(std::isnan(set.GetParameterValue(kPosture)));
    set.SetParameterMode(kScaleCompensation, 2);
    set.Reset();
    for (int i = 0; i < KQoxFilterSet::GetParameterCount(); ++i)
        ASSERT_TRUE(set.GetParameterMode(i) == KQoxFilterSet::GetParameterDefaultMode(i) &&
                    set.GetParameterValue(i) == KQoxFilterSet::GetParameterDefaultValue(i))
            << i;
}

TEST(FilterSet, FactorsAndActivityOfANewSet)
{
    KFilterSetBase base;
    EXPECT_DOUBLE_EQ(base.GetParamFact(kPullIterationCount), 0.1);
    EXPECT_EQ(base.GetParamFact(kPosture), -1.0);               // a choice has no factor
    EXPECT_EQ(base.GetParamFact(kScaleCompensation), -1.0);     // automatic, nothing governs it
    EXPECT_EQ(base.GetParamFact(kAnkleStabilizationTime), 1.0); // 1 - 0, inverted
    EXPECT_EQ(base.GetParamFact(500), -1.0);
    const struct
    {
        int index;
        bool active;
    } activity[] = {{-1, true},
                    {kFloorContact, false},
                    {kFootBottomToAnkle, true}, // its switch is not consulted
                    {kMassCenterCompensation, true},
                    {kAnkleStabilizationDamping, false},
                    {177, false}};
    for (const auto& a : activity)
        EXPECT_EQ(base.IsParamActive(a.index), a.active) << a.index;
    // DisplacementMemory is active exactly when Displacement is not Off.
    for (int mode : {0, 1, 2})
    {
        State(base, kDisplacement).mMode = mode;
        EXPECT_EQ(base.IsParamActive(kDisplacementMemory), mode != 0) << mode;
    }
}

TEST(FilterSet, AutomaticSetupExamples)
{
    // On a new set exactly one value changes: 83 goes from 0 to 1.
    KFilterSetBase fresh, base;
    base.AutomaticParamSetup();
    for (int i = 0; i < base.GetCount(); ++i)
        EXPECT_EQ(State(base, i).mValue, i == kAnkleStabilizationTime ? 1.0 : State(fresh, i).mValue) << i;

    const struct
    {
        const char* what;
        double damping;
        int displacementMode;
        double displacement;
        double stabilization;
        int checked;
        double expected;
    } cases[] = {
        {"Damping 40 drives Orientation", 40.0, 1, 0.0, 0.0, kOrientation, 0.1},
        {"negative factor gives the default", -10.0, 1, 0.0, 0.0, kOrientation, 0.0},
        {"no clamping past the maximum", 200.0, 1, 0.0, 0.0, kOrientation, 0.5},
        {"inverted: 1 - 0.3", 0.0, 1, 0.0, 30.0, kAnkleStabilizationTime, 0.7},
        {"user Displacement 60", 0.0, 2, 60.0, 0.0, kDisplacementMemory, 0.15},
        {"auto Displacement passes Damping on", 80.0, 1, 60.0, 0.0, kDisplacementMemory, 0.2},
        {"auto Displacement follows Damping", 80.0, 1, 60.0, 0.0, kDisplacement, 80.0},
        {"ScaleCompensation back to its default", 0.0, 1, 0.0, 0.0, kScaleCompensation, 100.0},
    };
    for (const auto& c : cases)
    {
        KFilterSetBase set;
        State(set, kDamping).mValue = c.damping;
        State(set, kStabilization).mValue = c.stabilization;
        State(set, kScaleCompensation).mValue = 3.0;
        State(set, kDisplacement) = {c.displacementMode, c.displacement};
        set.AutomaticParamSetup();
        EXPECT_NEAR(State(set, c.checked).mValue, c.expected, 1e-12) << c.what;
        EXPECT_EQ(State(set, kDisplacement).mMode, c.displacementMode) << c.what; // modes untouched
    }
}

TEST(FilterSet, CopyTakesModesOverUnchecked)
{
    KFilterSetBase source, target;
    State(source, kPullIterationCount).mMode = 1; // refused by SetParameterMode
    State(source, kScaleCompensation).mMode = 9;
    State(source, kDamping).mValue = -42.5;
    target.Copy(&source);
    target.Copy(nullptr);
    target.Copy(&target);
    for (int i = 0; i < source.GetCount(); ++i)
        EXPECT_TRUE(State(target, i).mMode == State(source, i).mMode &&
                    State(target, i).mValue == State(source, i).mValue)
            << i;
}
