// Character node ids and groups: table integrity computed over the whole
// table, and the lookups' edge cases.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "character/kqoxcharacternodeid.h"

using namespace qoxsdk_600;

namespace {

typedef KQoxCharacterNodeIds Ids;

ECharacterGroupId Group(int g)
{
    return static_cast<ECharacterGroupId>(g);
}

} // namespace

TEST(CharacterNodeIds, EveryGroupedIdSitsAtExactlyOnePositionAndMapsBack)
{
    const int expectedCounts[12] = {15, 7, 9, 8, 1, 30, 30, 5, 12, 9, 30, 30};
    std::map<int, int> seen; // id -> occurrences
    std::set<std::string> names;
    int total = 0;
    for (int g = 0; g < CharacterGroupCount; ++g)
    {
        ASSERT_EQ(Ids::GetCharacterGroupCount(Group(g)), expectedCounts[g]) << g;
        for (int i = 0; i < Ids::GetCharacterGroupCount(Group(g)); ++i, ++total)
        {
            const ECharacterNodeId id = Ids::GetCharacterGroupElementByIndex(Group(g), i);
            const char* name = Ids::GetCharacterGroupNameByIndex(Group(g), i);
            ASSERT_GE(id, 0);
            ASSERT_LE(id, 190);
            ASSERT_NE(name, nullptr);
            ++seen[id];
            names.insert(name);
            EXPECT_EQ(Ids::GetCharacterGroupVersionByIndex(Group(g), i), id >= 90 ? 4500 : 4000) << name;

            // Every lookup leads back to the same entry.
            ECharacterGroupId foundGroup = CharacterGroupCount;
            int foundIndex = -1;
            ASSERT_TRUE(Ids::GetCharacterGroupIndexByElement(id, foundGroup, foundIndex));
            EXPECT_EQ(foundGroup, g);
            EXPECT_EQ(foundIndex, i);
            ASSERT_TRUE(Ids::FindCharacterGroupIndexByName(name, false, foundGroup, foundIndex));
            EXPECT_EQ(foundGroup, g);
            EXPECT_EQ(foundIndex, i);
            ECharacterNodeId back = static_cast<ECharacterNodeId>(-1);
            ASSERT_TRUE(Ids::GetCharacterNodeIdFromNodeName(name, back));
            EXPECT_EQ(back, id);
            char* byId = nullptr;
            ASSERT_TRUE(Ids::GetCharacterNodeNameFromNodeId(id, byId));
            EXPECT_EQ(byId, name); // the table's own text
        }
    }
    EXPECT_EQ(total, 186);
    EXPECT_EQ(seen.size(), 186u);
    for (const auto& entry : seen)
        EXPECT_EQ(entry.second, 1) << entry.first;
    EXPECT_EQ(names.size(), 186u);
    // The ids without a group entry are exactly the reference and the four floors.
    std::set<int> missing;
    for (int id = 0; id <= 190; ++id)
        if (!seen.count(id))
            missing.insert(id);
    EXPECT_EQ(missing, (std::set<int>{67, 68, 69, 88, 89}));
    // Group 10 and 11 run through 131..160 and 161..190 in order.
    for (int i = 0; i < 30; ++i)
    {
        EXPECT_EQ(Ids::GetCharacterGroupElementByIndex(CharacterGroupLeftFoot, i), 131 + i);
        EXPECT_EQ(Ids::GetCharacterGroupElementByIndex(CharacterGroupRightFoot, i), 161 + i);
    }
}

TEST(CharacterNodeIds, ByPositionLookupsOutsideTheGroups)
{
    const struct
    {
        int group;
        int index;
    } outside[] = {{-1, 0}, {12, 0}, {0, -1}, {0, 15}, {4, 1}, {11, 30}, {0x7fffffff, 0}, {0, 0x7fffffff}};
    for (const auto& c : outside)
    {
        EXPECT_EQ(Ids::GetCharacterGroupElementByIndex(Group(c.group), c.index), -1) << c.group << "," << c.index;
        EXPECT_EQ(Ids::GetCharacterGroupNameByIndex(Group(c.group), c.index), nullptr);
        EXPECT_EQ(Ids::GetCharacterGroupVersionByIndex(Group(c.group), c.index), 0);
    }
    EXPECT_EQ(Ids::GetCharacterGroupCount(Group(-1)), 0);
    EXPECT_EQ(Ids::GetCharacterGroupCount(Group(12)), 0);
    EXPECT_STREQ(Ids::GetCharacterGroupNameByIndex(CharacterGroupSpecial, 0), "HipsTranslation");
    EXPECT_STREQ(Ids::GetCharacterGroupNameByIndex(CharacterGroupRightFoot, 29), "RightFootExtraFinger4");
}

TEST(CharacterNodeIds, NameLookupsCompareWholeTextsWithCase)
{
    const struct
    {
        const char* name;
        int id; // -1: not found
    } cases[] = {{"Hips", 0},
                 {"hips", -1},
                 {"Hip", -1},
                 {"HipsX", -1},
                 {"", -1},
                 {"Reference", 67},
                 {"reference", -1},
                 {"Referenc", -1},
                 {"Reference ", -1},
                 {"ReferenceX", -1},
                 {"Spine1", 10},
                 {"Spine", 9},
                 {"LeftFingerBase", 90},
                 {"RightFootExtraFinger4", 190}};
    for (const auto& c : cases)
    {
        ECharacterNodeId id = static_cast<ECharacterNodeId>(1234);
        EXPECT_EQ(Ids::GetCharacterNodeIdFromNodeName(c.name, id), c.id >= 0) << c.name;
        EXPECT_EQ(id, c.id >= 0 ? c.id : 1234) << c.name;
    }
    ECharacterNodeId id = eCharacterHips;
    EXPECT_FALSE(Ids::GetCharacterNodeIdFromNodeName(nullptr, id));

    // "Reference" has an id but no group entry.
    ECharacterGroupId group = CharacterGroupNeck;
    int index = 77;
    EXPECT_FALSE(Ids::FindCharacterGroupIndexByName("Reference", false, group, index));
    EXPECT_FALSE(Ids::FindCharacterGroupIndexByName(nullptr, false, group, index));
    EXPECT_EQ(group, CharacterGroupNeck);
    EXPECT_EQ(index, 77);
}

TEST(CharacterNodeIds, ReferenceAndFloorIds)
{
    ECharacterGroupId group = CharacterGroupProps;
    int index = 5;
    char* name = nullptr;
    int version = -7;
    EXPECT_FALSE(Ids::GetCharacterGroupIndexByElement(eCharacterReference, group, index));
    ASSERT_TRUE(Ids::GetCharacterNodeNameFromNodeId(eCharacterReference, name));
    EXPECT_STREQ(name, "Reference");
    ASSERT_TRUE(Ids::GetCharacterGroupVersionByElement(eCharacterReference, version));
    EXPECT_EQ(version, 4000);

    for (int id : {68, 69, 88, 89, -1, 191, 1 << 30})
    {
        char* untouched = nullptr;
        int v = -7;
        EXPECT_FALSE(Ids::GetCharacterGroupIndexByElement(static_cast<ECharacterNodeId>(id), group, index)) << id;
        EXPECT_FALSE(Ids::GetCharacterNodeNameFromNodeId(static_cast<ECharacterNodeId>(id), untouched)) << id;
        EXPECT_FALSE(Ids::GetCharacterGroupVersionByElement(static_cast<ECharacterNodeId>(id), v)) << id;
        EXPECT_EQ(untouched, nullptr);
        EXPECT_EQ(v, -7);
    }
    EXPECT_EQ(group, CharacterGroupProps);
    EXPECT_EQ(index, 5);

    ASSERT_TRUE(Ids::GetCharacterGroupVersionByElement(eCharacterLeftFingerBase, version));
    EXPECT_EQ(version, 4500);
    ASSERT_TRUE(Ids::GetCharacterGroupVersionByElement(eCharacterNeck, version));
    EXPECT_EQ(version, 4000);
}

TEST(CharacterNodeIds, SearchLimitedToLeadingGroups)
{
    const struct
    {
        const char* name;
        int limit;
        bool found;
        int group;
        int index;
    } cases[] = {{"Spine1", 1, false, 0, 0},
                 {"Neck", 1, true, 1, 4},
                 {"Neck", 0, false, 0, 0},
                 {"Hips", 0, true, 0, 0},
                 {"Hips", -1, false, 0, 0},
                 {"RightFootExtraFinger4", 11, true, 11, 29},
                 {"RightFootExtraFinger4", 10, false, 0, 0},
                 {"Neck9", 9, true, 9, 8}};
    for (const auto& c : cases)
    {
        ECharacterGroupId group = Group(c.limit);
        int index = -5;
        EXPECT_EQ(Ids::FindCharacterGroupIndexByName(c.name, true, group, index), c.found) << c.name << c.limit;
        EXPECT_EQ(group, c.found ? c.group : c.limit) << c.name;
        EXPECT_EQ(index, c.found ? c.index : -5) << c.name;
    }
}
