// The solver parameter table: integrity computed over all entries, and the
// lookup by name.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "character/kcharacterenums.h"
#include "character/kfiltersetinfo.h"

using namespace qoxsdk_600;

namespace {

// Entry indices given as ranges, expanded.
std::set<int> Indices(std::initializer_list<std::pair<int, int>> ranges)
{
    std::set<int> out;
    for (const auto& r : ranges)
        for (int i = r.first; i <= r.second; ++i)
            out.insert(i);
    return out;
}

// The entries for which a test holds.
template <class F>
std::set<int> Where(F test)
{
    std::set<int> out;
    const KFilterSetInfo* info = GetFilterSetInfo();
    for (int i = 0; i < info->mCount; ++i)
        if (test(info->mParams[i]))
            out.insert(i);
    return out;
}

// Number of texts a text function has, counted up to its first null.
template <class E>
int TextCount(char* (*text)(E))
{
    int n = 0;
    while (text(static_cast<E>(n)))
        ++n;
    return n;
}

} // namespace

TEST(FilterSetInfo, FilledOnceFromAnyThread)
{
    // Each test runs in its own process, so this is the table's first use.
    std::vector<KFilterSetInfo*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = GetFilterSetInfo(); });
    for (std::thread& t : threads)
        t.join();
    for (KFilterSetInfo* info : seen)
        EXPECT_EQ(info, GetFilterSetInfo());
    EXPECT_EQ(GetFilterSetInfo()->mCount, 177);
    EXPECT_STREQ(GetFilterSetInfo()->mParams[176].mName, "SyncMode");
}

TEST(FilterSetInfo, ModeTypesUnitsAndFlagsByEntry)
{
    typedef const KFilterParamInfo& P;
    EXPECT_EQ(Where([](P p) { return p.mModeType == 1; }), Indices({{2, 2},
                                                                    {7, 8},
                                                                    {44, 44},
                                                                    {52, 52},
                                                                    {55, 55},
                                                                    {63, 63},
                                                                    {67, 74},
                                                                    {125, 126},
                                                                    {128, 131},
                                                                    {165, 165},
                                                                    {167, 167},
                                                                    {171, 171},
                                                                    {175, 176}}));
    EXPECT_EQ(Where([](P p) { return p.mModeType == 2; }), Indices({{3, 6}, {76, 77}, {85, 88}}));
    EXPECT_EQ(Where([](P p) { return p.mModeType == 3; }), Indices({{78, 81}, {83, 84}}));
    EXPECT_EQ(Where([](P p) { return p.mModeType == 0; }).size(), 135u);

    EXPECT_EQ(Where([](P p) { return p.mUnit == 0; }), Indices({{2, 2},
                                                                {8, 8},
                                                                {44, 44},
                                                                {52, 52},
                                                                {55, 55},
                                                                {63, 63},
                                                                {125, 126},
                                                                {128, 131},
                                                                {165, 165},
                                                                {167, 167},
                                                                {171, 171},
                                                                {175, 176}}));
    EXPECT_EQ(Where([](P p) { return p.mUnit == 1; }), Indices({{0, 0},
                                                                {3, 3},
                                                                {7, 7},
                                                                {9, 37},
                                                                {51, 51},
                                                                {54, 54},
                                                                {62, 62},
                                                                {65, 65},
                                                                {67, 75},
                                                                {77, 77},
                                                                {79, 82},
                                                                {89, 124},
                                                                {127, 127},
                                                                {169, 169},
                                                                {173, 173}}));
    EXPECT_EQ(Where([](P p) { return p.mUnit == 2; }), Indices({{76, 76}, {78, 78}, {83, 83}, {87, 88}}));
    EXPECT_EQ(Where([](P p) { return p.mUnit == 3; }),
              Indices({{4, 6}, {38, 43}, {45, 50}, {56, 61}, {84, 84}, {86, 86}, {141, 164}}));
    EXPECT_EQ(Where([](P p) { return p.mUnit == 4; }), Indices({{85, 85}, {133, 140}}));
    EXPECT_EQ(Where([](P p) { return p.mUnit == 5; }), (std::set<int>{1, 53, 64, 66, 132, 166, 168, 170, 172, 174}));

    EXPECT_EQ(Where([](P p) { return p.mInvert; }), (std::set<int>{83}));
    EXPECT_EQ(Where([](P p) { return p.mFlag; }),
              Indices({{1, 1}, {45, 51}, {56, 62}, {132, 164}, {166, 166}, {170, 170}, {174, 174}}));
    EXPECT_EQ(Where([](P p) { return p.mValueType != 0; }).size(), 0u);

    // Default modes: switches on at 7, 165, 176; off/auto/user at Auto but 87;
    // auto/user at Auto; mode-less entries 38-43, 45-51, 56-62 carry mode 1.
    EXPECT_EQ(
        Where([](P p) { return p.mDefaultMode == 1; }),
        Indices({{7, 7}, {165, 165}, {176, 176}, {3, 6}, {76, 77}, {85, 86}, {88, 88}, {38, 43}, {45, 51}, {56, 62}}));
}

TEST(FilterSetInfo, GoverningParametersRangesAndDefaults)
{
    const KFilterSetInfo* info = GetFilterSetInfo();
    std::set<std::string> names;
    std::set<int> governing;
    for (int i = 0; i < info->mCount; ++i)
    {
        const KFilterParamInfo& p = info->mParams[i];
        names.insert(p.mName);
        EXPECT_LT(strlen(p.mName), 256u);
        EXPECT_LE(p.mMinValue, p.mMaxValue) << p.mName;
        EXPECT_GE(p.mDefaultValue, p.mMinValue) << p.mName;
        EXPECT_LE(p.mDefaultValue, p.mMaxValue) << p.mName;
        EXPECT_LT(p.mParentIndex, i) << p.mName; // governors come first
        if (p.mParentIndex >= 0)
            governing.insert(p.mParentIndex);
    }
    EXPECT_EQ(names.size(), 177u);
    EXPECT_EQ(governing, (std::set<int>{44, 55, 75, 77, 82}));
    typedef const KFilterParamInfo& P;
    EXPECT_EQ(Where([](P p) { return p.mParentIndex == 44; }), Indices({{45, 51}}));
    EXPECT_EQ(Where([](P p) { return p.mParentIndex == 55; }), Indices({{56, 62}}));
    EXPECT_EQ(Where([](P p) { return p.mParentIndex == 75; }), Indices({{76, 77}}));
    EXPECT_EQ(Where([](P p) { return p.mParentIndex == 77; }), Indices({{78, 81}}));
    EXPECT_EQ(Where([](P p) { return p.mParentIndex == 82; }), Indices({{83, 88}}));

    // The maximum of each choice equals its number of texts.
    const struct
    {
        int index;
        int texts;
    } choices[] = {{1, TextCount(KCharacter_GetPostureString)},
                   {53, TextCount(KCharacter_GetFootFloorPivotString)},
                   {64, TextCount(KCharacter_GetHandFloorPivotString)},
                   {66, TextCount(KCharacter_GetRollExtractionModeString)},
                   {132, TextCount(KCharacter_GetHipsTranslationModeString)},
                   {166, TextCount(KCharacter_GetHandContactTypeString)},
                   {168, TextCount(KCharacter_GetFingerContactModeString)},
                   {170, TextCount(KCharacter_GetFootContactTypeString)},
                   {172, TextCount(KCharacter_GetFingerContactModeString)},
                   {174, TextCount(KCharacter_GetContactBehaviourString)}};
    for (const auto& c : choices)
        EXPECT_EQ(info->mParams[c.index].mMaxValue, c.texts) << c.index;
    EXPECT_EQ(info->mParams[168].mDefaultValue, 1.0); // "Spread"
    EXPECT_EQ(info->mParams[172].mDefaultValue, 1.0);

    // The seven unit-0 switches with a 0..100 range.
    for (const char* name : {"ApplyLimits", "Mirror", "GameMode", "LeftKneeKillPitch", "RightKneeKillPitch",
                             "LeftElbowKillPitch", "RightElbowKillPitch"})
    {
        const KFilterParamInfo& p = info->mParams[info->ParamIndexByName(name)];
        EXPECT_EQ(p.mUnit, 0) << name;
        EXPECT_EQ(p.mMinValue, 0.0) << name;
        EXPECT_EQ(p.mMaxValue, 100.0) << name;
    }
}

TEST(FilterSetInfo, LookupByName)
{
    const struct
    {
        const char* name;
        int index;
    } cases[] = {{"PullIterationCount", 0},
                 {"Posture", 1},
                 {"posture", -1},
                 {"Posture ", -1},
                 {"", -1},
                 {"ReachActorLeftAnkleRotationRotation", 31},
                 {"ReachActorLeftAnkleRotation", -1},
                 {"ReachActorRightAnkleRotation", 32},
                 {"HipsTOffsetX", 38},
                 {"ChestTOffsetZ", 43},
                 {"HipsTOffset", -1},
                 {"ChestTOffset", -1},
                 {"AnkleStabilizationPerimeter", 84},
                 {"SyncMode", 176}};
    for (const auto& c : cases)
        EXPECT_EQ(GetFilterSetInfo()->ParamIndexByName(c.name), c.index) << c.name;
    EXPECT_EQ(GetFilterSetInfo()->ParamIndexByName(nullptr), -1);
    EXPECT_EQ(GetFilterSetInfo()->mParams[84].mUnit, 3);
    EXPECT_EQ(GetFilterSetInfo()->mParams[85].mUnit, 4);
}

TEST(FilterSetInfo, UnfilledAndEmptyTablesAndLongNames)
{
    KFilterSetInfo unfilled(5);
    EXPECT_EQ(unfilled.ParamIndexByName(""), 0);
    EXPECT_EQ(unfilled.ParamIndexByName("Posture"), -1);
    EXPECT_EQ(unfilled.mParams[4].mParentIndex, -1);
    EXPECT_EQ(unfilled.mParams[4].mMaxValue, 0.0);
    EXPECT_FALSE(unfilled.mParams[4].mFlag);

    for (int count : {0, -1, -2147483647 - 1})
    {
        KFilterSetInfo empty(count);
        EXPECT_EQ(empty.mCount, 0);
        EXPECT_EQ(empty.ParamIndexByName(""), -1);
    }

    // A name longer than the field is cut, never written past it.
    const std::string longName(1000, 'x');
    KFilterParamInfo param;
    param.Init(3, longName.c_str());
    EXPECT_EQ(strlen(param.mName), 255u);
    EXPECT_EQ(param.mParentIndex, 3);
    param.Init(-1, nullptr);
    EXPECT_STREQ(param.mName, "");
    // TypeInit's sixth argument is the flag, the seventh the invert switch.
    param.TypeInit(2, 1, 0, -5.0, 5.0, true, false);
    EXPECT_TRUE(param.mFlag);
    EXPECT_FALSE(param.mInvert);
}
