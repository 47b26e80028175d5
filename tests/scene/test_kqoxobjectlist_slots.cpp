// The manager's object lists find an object's position through a flat table
// of addresses: pinned against a plain vector walked from the start, through
// long runs of additions and removals (with removals of objects never listed
// and of ones listed twice), lookups of absent addresses and clears.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "scene/kqoxobjectlist.h"

using namespace qoxsdk_600;

namespace {

struct Item
{
    int mValue = 0;
};

int gDestroyed = 0;
void CountDestroyed(Item*)
{
    ++gDestroyed;
}

// The list's view: every index in turn, and every object's presence.
void ExpectSame(KQoxObjectList<Item>& list, const std::vector<Item*>& expected, const std::vector<Item>& pool)
{
    ASSERT_EQ(static_cast<int>(expected.size()), list.GetCount());
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(expected[i], list.Get(static_cast<int>(i))) << i;
    EXPECT_EQ(nullptr, list.Get(-1));
    EXPECT_EQ(nullptr, list.Get(static_cast<int>(expected.size())));
    for (const Item& item : pool)
    {
        Item* p = const_cast<Item*>(&item);
        EXPECT_EQ(std::find(expected.begin(), expected.end(), p) != expected.end(), list.Contains(p));
    }
}

} // namespace

TEST(ObjectListSlots, RandomAddsAndRemovesAgreeWithAPlainList)
{
    std::vector<Item> pool(3000);
    std::mt19937 random(7);
    KQoxObjectList<Item> list;
    std::vector<Item*> expected;
    for (int round = 0; round < 20000; ++round)
    {
        Item* item = &pool[random() % pool.size()];
        const bool listed = std::find(expected.begin(), expected.end(), item) != expected.end();
        if (random() % 3 != 0)
        {
            list.Add(item); // a second addition changes nothing
            if (!listed)
                expected.push_back(item);
        }
        else
        {
            EXPECT_EQ(listed, list.Remove(item));
            if (listed)
                expected.erase(std::find(expected.begin(), expected.end(), item));
        }
        if (round % 2500 == 0)
            ExpectSame(list, expected, pool);
    }
    ExpectSame(list, expected, pool);
    EXPECT_FALSE(list.Contains(nullptr));
    EXPECT_FALSE(list.Remove(nullptr));
    Item outside;
    EXPECT_FALSE(list.Contains(&outside));
    EXPECT_FALSE(list.Remove(&outside));

    // Emptied one by one from the front, the back and the middle.
    while (!expected.empty())
    {
        const size_t at = (expected.size() % 3 == 0) ? 0 : (expected.size() % 3 == 1) ? expected.size() - 1
                                                                                     : expected.size() / 2;
        EXPECT_TRUE(list.Remove(expected[at]));
        expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(at));
        if (expected.size() % 500 == 0)
            ExpectSame(list, expected, pool);
    }
    EXPECT_EQ(0, list.GetCount());
}

TEST(ObjectListSlots, NeighbouringAddressesAndRefillsAfterDestroyAll)
{
    // Objects side by side in memory, as an allocator hands them out.
    std::unique_ptr<Item[]> block(new Item[4096]);
    std::vector<Item> none;
    KQoxObjectList<Item> list;
    list.SetDestroyer(&CountDestroyed);
    std::vector<Item*> expected;
    for (int i = 0; i < 4096; ++i)
    {
        list.Add(&block[i]);
        expected.push_back(&block[i]);
    }
    // Every other one out, then back in at the end.
    for (int i = 0; i < 4096; i += 2)
        EXPECT_TRUE(list.Remove(&block[i]));
    for (int i = 0; i < 4096; i += 2)
        EXPECT_FALSE(list.Contains(&block[i]));
    for (int i = 1; i < 4096; i += 2)
        EXPECT_TRUE(list.Contains(&block[i]));
    for (int i = 0; i < 4096; i += 2)
        list.Add(&block[i]);
    expected.clear();
    for (int i = 1; i < 4096; i += 2)
        expected.push_back(&block[i]);
    for (int i = 0; i < 4096; i += 2)
        expected.push_back(&block[i]);
    ExpectSame(list, expected, none);
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_TRUE(list.Contains(expected[i]));

    gDestroyed = 0;
    list.DestroyAll();
    EXPECT_EQ(4096, gDestroyed);
    EXPECT_EQ(0, list.GetCount());
    EXPECT_FALSE(list.Contains(&block[5]));
    list.Add(&block[5]);
    EXPECT_TRUE(list.Contains(&block[5]));
    EXPECT_EQ(&block[5], list.Get(0));
    EXPECT_TRUE(list.Remove(&block[5]));
    EXPECT_FALSE(list.Remove(&block[5]));
}
