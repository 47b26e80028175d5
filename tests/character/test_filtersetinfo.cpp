// The solver parameter table: integrity computed over all entries, and the
// lookup by name.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "character/kcharacterenums.h"
#include "character/kfiltersetinfo.h"

using namespace qoxsdk_600;

namespace {

// Entry indices written as "2 7-8 44".
std::set<int> Indices(const char* text)
{
    std::set<int> out;
    std::istringstream in(text);
    std::string item;
    while (in >> item)
    {
        const size_t dash = item.find('-');
        const int first = std::stoi(item.substr(0, dash));
        const int last = dash == std::string::npos ? first : std::stoi(item.substr(dash + 1));
        for (int i = first; i <= last; ++i)
            out.insert(i);
    }
    return out;
}

// The entries for which a test holds.
std::set<int> Where(const std::function<bool(const KFilterParamInfo&)>& test)
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

TEST(FilterSetInfo, ModeTypesUnitsFlagsAndDefaultModes)
{
    typedef const KFilterParamInfo& P;
    const struct
    {
        const char* what;
        std::function<bool(P)> test;
        const char* expected;
    } rows[] = {
        {"switches", [](P p) { return p.mModeType == 1; },
         "2 7-8 44 52 55 63 67-74 125-126 128-131 165 167 171 175-176"},
        {"off/auto/user", [](P p) { return p.mModeType == 2; }, "3-6 76-77 85-88"},
        {"auto/user", [](P p) { return p.mModeType == 3; }, "78-81 83-84"},
        {"unit none", [](P p) { return p.mUnit == 0; }, "2 8 44 52 55 63 125-126 128-131 165 167 171 175-176"},
        {"percent", [](P p) { return p.mUnit == 1; }, "0 3 7 9-37 51 54 62 65 67-75 77 79-82 89-124 127 169 173"},
        {"time", [](P p) { return p.mUnit == 2; }, "76 78 83 87-88"},
        {"length", [](P p) { return p.mUnit == 3; }, "4-6 38-43 45-50 56-61 84 86 141-164"},
        {"angle", [](P p) { return p.mUnit == 4; }, "85 133-140"},
        {"choice", [](P p) { return p.mUnit == 5; }, "1 53 64 66 132 166 168 170 172 174"},
        {"invert", [](P p) { return p.mInvert; }, "83"},
        {"flag", [](P p) { return p.mFlag; }, "1 45-51 56-62 132-164 166 170 174"},
        {"default mode 1", [](P p) { return p.mDefaultMode == 1; }, "3-7 38-43 45-51 56-62 76-77 85-86 88 165 176"},
        {"other default modes", [](P p) { return p.mDefaultMode != 0 && p.mDefaultMode != 1; }, ""},
        {"value types", [](P p) { return p.mValueType != 0; }, ""},
        {"governed by 44", [](P p) { return p.mParentIndex == 44; }, "45-51"},
        {"governed by 55", [](P p) { return p.mParentIndex == 55; }, "56-62"},
        {"governed by 75", [](P p) { return p.mParentIndex == 75; }, "76-77"},
        {"governed by 77", [](P p) { return p.mParentIndex == 77; }, "78-81"},
        {"governed by 82", [](P p) { return p.mParentIndex == 82; }, "83-88"},
        {"governed at all", [](P p) { return p.mParentIndex != -1; }, "45-51 56-62 76-81 83-88"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Where(row.test), Indices(row.expected)) << row.what;
    EXPECT_EQ(Where([](P p) { return p.mModeType == 0; }).size(), 135u);
}

TEST(FilterSetInfo, NamesRangesAndDefaults)
{
    const KFilterSetInfo* info = GetFilterSetInfo();
    std::set<std::string> names;
    for (int i = 0; i < info->mCount; ++i)
    {
        const KFilterParamInfo& p = info->mParams[i];
        names.insert(p.mName);
        EXPECT_TRUE(p.mMinValue <= p.mDefaultValue && p.mDefaultValue <= p.mMaxValue) << p.mName;
        EXPECT_LT(p.mParentIndex, i) << p.mName; // governors come first
    }
    EXPECT_EQ(names.size(), 177u);

    // The maximum of each choice equals its number of texts.
    const int choices[][2] = {{1, TextCount(KCharacter_GetPostureString)},
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
        EXPECT_EQ(info->mParams[c[0]].mMaxValue, c[1]) << c[0];
    EXPECT_EQ(info->mParams[168].mDefaultValue + info->mParams[172].mDefaultValue, 2.0); // both "Spread"
    for (const char* name : {"ApplyLimits", "Mirror", "GameMode", "LeftKneeKillPitch", "RightKneeKillPitch",
                             "LeftElbowKillPitch", "RightElbowKillPitch"})
    {
        const KFilterParamInfo& p = info->mParams[info->ParamIndexByName(name)];
        EXPECT_TRUE(p.mUnit == 0 && p.mMinValue == 0.0 && p.mMaxValue == 100.0) << name;
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
                 {nullptr, -1},
                 {"ReachActorLeftAnkleRotationRotation", 31},
                 {"ReachActorLeftAnkleRotation", -1},
                 {"ReachActorRightAnkleRotation", 32},
                 {"HipsTOffsetX", 38},
                 {"ChestTOffsetZ", 43},
                 {"HipsTOffset", -1},
                 {"ChestTOffset", -1},
                 {"SyncMode", 176}};
    for (const auto& c : cases)
        EXPECT_EQ(GetFilterSetInfo()->ParamIndexByName(c.name), c.index) << (c.name ? c.name : "null");
}

TEST(FilterSetInfo, UnfilledAndEmptyTablesAndLongNames)
{
    KFilterSetInfo unfilled(5);
    EXPECT_EQ(unfilled.ParamIndexByName(""), 0);
    EXPECT_EQ(unfilled.ParamIndexByName("Posture"), -1);
    EXPECT_TRUE(unfilled.mParams[4].mParentIndex == -1 && unfilled.mParams[4].mMaxValue == 0.0);
    for (int count : {0, -1, -2147483647 - 1})
    {
        KFilterSetInfo empty(count);
        EXPECT_EQ(empty.mCount, 0);
        EXPECT_EQ(empty.ParamIndexByName(""), -1);
    }
    // A name longer than the field is cut, never written past it.
    KFilterParamInfo param;
    param.Init(3, std::string(1000, 'x').c_str());
    EXPECT_EQ(strlen(param.mName), 255u);
    param.Init(-1, nullptr);
    EXPECT_STREQ(param.mName, "");
    // TypeInit's sixth argument is the flag, the seventh the invert switch.
    param.TypeInit(2, 1, 0, -5.0, 5.0, true, false);
    EXPECT_TRUE(param.mFlag && !param.mInvert);
}
