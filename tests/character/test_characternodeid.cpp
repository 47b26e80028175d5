// Character node ids and groups: table integrity computed over the whole
// table, and the lookups' edge cases.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "character/kqoxcharacternodeid.h"

using namespace qoxsdk_600;

namespace {

typedef KQoxCharacterNodeIds Ids;

ECharacterGroupId G(int g)
{
    return static_cast<ECharacterGroupId>(g);
}

ECharacterNodeId N(int id)
{
    return static_cast<ECharacterNodeId>(id);
}

} // namespace

TEST(CharacterNodeIds, EveryGroupedIdSitsAtExactlyOnePositionAndMapsBack)
{
    const int expectedCounts[12] = {15, 7, 9, 8, 1, 30, 30, 5, 12, 9, 30, 30};
    std::map<int, int> seen; // id -> occurrences
    std::set<std::string> names;
    for (int g = 0; g < CharacterGroupCount; ++g)
    {
        ASSERT_EQ(Ids::GetCharacterGroupCount(G(g)), expectedCounts[g]) << g;
        for (int i = 0; i < expectedCounts[g]; ++i)
        {
            const ECharacterNodeId id = Ids::GetCharacterGroupElementByIndex(G(g), i);
            char* name = Ids::GetCharacterGroupNameByIndex(G(g), i);
            ASSERT_TRUE(id >= 0 && id <= 190 && name);
            ++seen[id];
            names.insert(name);
            EXPECT_EQ(Ids::GetCharacterGroupVersionByIndex(G(g), i), id >= 90 ? 4500 : 4000) << name;
            // Every lookup leads back to the same entry, with the table's own text.
            ECharacterGroupId group = CharacterGroupCount, byName = CharacterGroupCount;
            int index = -1, nameIndex = -1;
            ECharacterNodeId back = N(-1);
            char* byId = nullptr;
            ASSERT_TRUE(Ids::GetCharacterGroupIndexByElement(id, group, index));
            ASSERT_TRUE(Ids::FindCharacterGroupIndexByName(name, false, byName, nameIndex));
            ASSERT_TRUE(Ids::GetCharacterNodeIdFromNodeName(name, back));
            ASSERT_TRUE(Ids::GetCharacterNodeNameFromNodeId(id, byId));
            EXPECT_TRUE(group == g && byName == g && index == i && nameIndex == i && back == id && byId == name)
                << name;
        }
    }
    EXPECT_EQ(seen.size(), 186u); // the counts sum to 186, no id twice
    EXPECT_EQ(names.size(), 186u);
    std::set<int> missing;
    for (int id = 0; id <= 190; ++id)
        if (!seen.count(id))
            missing.insert(id);
    EXPECT_EQ(missing, (std::set<int>{67, 68, 69, 88, 89}));
}

TEST(CharacterNodeIds, ByPositionLookupsOutsideTheGroups)
{
    const int outside[][2] = {{-1, 0}, {12, 0}, {0, -1}, {0, 15}, {4, 1}, {11, 30}, {0x7fffffff, 0}, {0, 0x7fffffff}};
    for (const auto& c : outside)
    {
        EXPECT_EQ(Ids::GetCharacterGroupElementByIndex(G(c[0]), c[1]), -1) << c[0] << "," << c[1];
        EXPECT_EQ(Ids::GetCharacterGroupNameByIndex(G(c[0]), c[1]), nullptr);
        EXPECT_EQ(Ids::GetCharacterGroupVersionByIndex(G(c[0]), c[1]), 0);
    }
    EXPECT_EQ(Ids::GetCharacterGroupCount(G(-1)) + Ids::GetCharacterGroupCount(G(12)), 0);
    EXPECT_STREQ(Ids::GetCharacterGroupNameByIndex(CharacterGroupSpecial, 0), "HipsTranslation");
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
                 {"LeftFingerBase", 90},
                 {"RightFootExtraFinger4", 190},
                 {nullptr, -1}};
    for (const auto& c : cases)
    {
        ECharacterNodeId id = N(1234);
        EXPECT_EQ(Ids::GetCharacterNodeIdFromNodeName(c.name, id), c.id >= 0) << (c.name ? c.name : "null");
        EXPECT_EQ(id, c.id >= 0 ? c.id : 1234);
    }
    // "Reference" has an id but no group entry; a miss leaves the outputs.
    ECharacterGroupId group = CharacterGroupNeck;
    int index = 77;
    EXPECT_FALSE(Ids::FindCharacterGroupIndexByName("Reference", false, group, index));
    EXPECT_FALSE(Ids::FindCharacterGroupIndexByName(nullptr, false, group, index));
    EXPECT_TRUE(group == CharacterGroupNeck && index == 77);
}

TEST(CharacterNodeIds, ReferenceAndFloorIds)
{
    ECharacterGroupId group = CharacterGroupProps;
    int index = 5, version = -7;
    char* name = nullptr;
    EXPECT_FALSE(Ids::GetCharacterGroupIndexByElement(eCharacterReference, group, index));
    ASSERT_TRUE(Ids::GetCharacterNodeNameFromNodeId(eCharacterReference, name));
    EXPECT_STREQ(name, "Reference");
    ASSERT_TRUE(Ids::GetCharacterGroupVersionByElement(eCharacterReference, version));
    EXPECT_EQ(version, 4000);
    for (int id : {68, 69, 88, 89, -1, 191, 1 << 30})
    {
        char* untouched = nullptr;
        int v = -7;
        EXPECT_FALSE(Ids::GetCharacterGroupIndexByElement(N(id), group, index)) << id;
        EXPECT_FALSE(Ids::GetCharacterNodeNameFromNodeId(N(id), untouched)) << id;
        EXPECT_FALSE(Ids::GetCharacterGroupVersionByElement(N(id), v)) << id;
        EXPECT_TRUE(untouched == nullptr && v == -7 && group == CharacterGroupProps && index == 5);
    }
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
        int group; // -1: not found
        int index;
    } cases[] = {{"Spine1", 1, -1, 0},
                 {"Neck", 1, 1, 4},
                 {"Neck", 0, -1, 0},
                 {"Hips", 0, 0, 0},
                 {"Hips", -1, -1, 0},
                 {"RightFootExtraFinger4", 11, 11, 29},
                 {"RightFootExtraFinger4", 10, -1, 0}};
    for (const auto& c : cases)
    {
        ECharacterGroupId group = G(c.limit);
        int index = -5;
        EXPECT_EQ(Ids::FindCharacterGroupIndexByName(c.name, true, group, index), c.group >= 0) << c.name << c.limit;
        EXPECT_EQ(group, c.group >= 0 ? c.group : c.limit) << c.name;
        EXPECT_EQ(index, c.group >= 0 ? c.index : -5) << c.name;
    }
}
