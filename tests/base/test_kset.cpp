#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <strings.h>
#include <vector>

#include "base/kset.h"

namespace {

// Keys of a text set in its current index order.
std::vector<std::string> Keys(KCharPtrSet& set)
{
    std::vector<std::string> keys;
    for (int i = 0; i < set.GetCount(); ++i) {
        char* key = nullptr;
        set.GetFromIndex(i, &key);
        keys.push_back(key);
    }
    return keys;
}

std::vector<std::pair<kReference, kReference>> Entries(const KSet& set)
{
    std::vector<std::pair<kReference, kReference>> entries;
    for (int i = 0; i < set.GetCount(); ++i) {
        kReference key = 0;
        kReference value = set.GetFromIndex(i, &key);
        entries.emplace_back(key, value);
    }
    return entries;
}

} // namespace

TEST(KCharPtrSetTest, EmptySetAnswersZeroAndMinusOne)
{
    KCharPtrSet set(20);
    int index = 5;
    EXPECT_EQ(set.Get("x", &index), 0u);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(set.FindEqual("x"), nullptr);
    EXPECT_FALSE(set.Remove("x"));
    char* key = reinterpret_cast<char*>(0x1234);
    EXPECT_EQ(set.GetFromIndex(0, &key), 0u);
    EXPECT_EQ(key, reinterpret_cast<char*>(0x1234));
}

TEST(KCharPtrSetTest, CaseInsensitiveByDefault)
{
    KCharPtrSet set(20);
    set.Add("Name", 1);
    set.Add("name", 2);
    EXPECT_EQ(set.GetCount(), 2);
    int index = -1;
    kReference value = set.Get("NAME", &index);
    EXPECT_TRUE(value == 1 || value == 2);
    ASSERT_GE(index, 0);
    EXPECT_EQ(set.GetFromIndex(index, nullptr), value);

    // Case-insensitive order: "b" between "A" and "C".
    KCharPtrSet order(20);
    order.Add("C", 3);
    order.Add("b", 2);
    order.Add("A", 1);
    EXPECT_EQ(Keys(order), (std::vector<std::string>{"A", "b", "C"}));
}

TEST(KCharPtrSetTest, CaseSensitiveFlag)
{
    KCharPtrSet set(20);
    set.mCaseSensitive = true;
    set.Add("Name", 1);
    int index = 7;
    EXPECT_EQ(set.Get("NAME", &index), 0u);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(set.Get("Name", &index), 1u);
    EXPECT_EQ(index, 0);

    set.Add("b", 2);
    set.Add("C", 3);
    // strcmp order: capitals first.
    EXPECT_EQ(Keys(set), (std::vector<std::string>{"C", "Name", "b"}));

    // Changing the flag after sorting puts the entries in the other order.
    set.mCaseSensitive = false;
    EXPECT_EQ(Keys(set), (std::vector<std::string>{"b", "C", "Name"}));
    EXPECT_EQ(set.Get("NAME", &index), 1u);
    EXPECT_EQ(index, 2);
}

TEST(KCharPtrSetTest, LazySortAndIndexedAccess)
{
    KCharPtrSet set(2);
    set.Add("delta", 4);
    set.Add("alpha", 1);
    set.Add("charlie", 3);
    // Positions are in sorted order once a lookup has happened.
    char* key = nullptr;
    EXPECT_EQ(set.GetFromIndex(0, &key), 1u);
    EXPECT_STREQ(key, "alpha");
    EXPECT_EQ(set.GetFromIndex(-1, &key), 0u);
    EXPECT_STREQ(key, "alpha");
    EXPECT_EQ(set.GetFromIndex(3, &key), 0u);

    // A later addition is merged into place.
    set.Add("bravo", 2);
    int index = -1;
    EXPECT_EQ(set.Get("BRAVO", &index), 2u);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(Keys(set), (std::vector<std::string>{"alpha", "bravo", "charlie", "delta"}));

    // operator[] gives a writable value in sorted order.
    set[3] = 40;
    EXPECT_EQ(set.Get("delta"), 40u);

    // The key is the set's own copy.
    char text[] = "echo";
    set.Add(text, 5);
    text[0] = 'x';
    EXPECT_EQ(set.Get("echo"), 5u);
    EXPECT_EQ(set.Get("xcho"), 0u);
}

TEST(KCharPtrSetTest, LaterEntriesMergeBeforeAndAmongSortedOnes)
{
    KCharPtrSet set(20);
    set.Add("m", 1);
    set.Add("n", 2);
    EXPECT_EQ(set.Get("m"), 1u);
    set.Add("c", 3);
    set.Add("A", 4);
    set.Add("b", 5);
    EXPECT_EQ(Keys(set), (std::vector<std::string>{"A", "b", "c", "m", "n"}));
    // Values are pointer-sized.
    int object = 0;
    set.Add("d", reinterpret_cast<kReference>(&object));
    int index = -1;
    EXPECT_EQ(reinterpret_cast<int*>(set.Get("D", &index)), &object);
    EXPECT_EQ(index, 3);
}

TEST(KCharPtrSetTest, RemoveAndRemoveFromIndex)
{
    KCharPtrSet set(20);
    set.Add("b", 2);
    set.Add("zero", 0);
    set.Add("a", 1);
    set.Add("c", 3);
    EXPECT_TRUE(set.Remove("B"));
    EXPECT_EQ(set.GetCount(), 3);
    EXPECT_EQ(set.Get("b"), 0u);
    // A key holding 0 is never removed by Remove.
    EXPECT_FALSE(set.Remove("zero"));
    EXPECT_EQ(set.GetCount(), 3);

    set.Add("aa", 11);
    set.RemoveFromIndex(0);  // "a", once sorted
    EXPECT_EQ(Keys(set), (std::vector<std::string>{"aa", "c", "zero"}));
    set.Clear();
    EXPECT_EQ(set.GetCount(), 0);
    EXPECT_EQ(set.Get("c"), 0u);
    set.Add("c", 3);
    EXPECT_EQ(set.Get("c"), 3u);
}

TEST(KCharPtrSetTest, InterleavedAddsAndLookupsMatchAFullSort)
{
    // Additions mixed with lookups (single, small and large batches) give
    // the same order as sorting everything at once.
    KCharPtrSet set(20);
    std::multimap<std::string, kReference> reference;
    unsigned seed = 12345;
    int added = 0;
    for (int round = 0; round < 60; ++round) {
        int batch = round % 3 == 0 ? 1 : (round % 3 == 1 ? 5 : 40);
        for (int i = 0; i < batch; ++i) {
            seed = seed * 1103515245u + 12345u;
            char key[32];
            snprintf(key, sizeof key, "%c%u", (seed >> 8) % 2 ? 'K' : 'k', (seed >> 16) % 500);
            std::string lower = key;
            lower[0] = 'k';
            set.Add(key, static_cast<kReference>(++added));
            reference.emplace(lower, added);
        }
        ASSERT_EQ(set.GetCount(), static_cast<int>(reference.size()));
        // Every entry's key compares in order with the next one.
        for (int i = 0; i + 1 < set.GetCount(); ++i) {
            char* a = nullptr;
            char* b = nullptr;
            set.GetFromIndex(i, &a);
            set.GetFromIndex(i + 1, &b);
            ASSERT_LE(strcasecmp(a, b), 0) << "round " << round << " at " << i;
        }
        // Every key is found, at the position of its first occurrence.
        int position = 0;
        for (auto it = reference.begin(); it != reference.end(); it = reference.upper_bound(it->first)) {
            int index = -1;
            kReference value = set.Get(it->first.c_str(), &index);
            ASSERT_EQ(index, position);
            auto range = reference.equal_range(it->first);
            bool known = false;
            for (auto r = range.first; r != range.second; ++r) {
                known = known || r->second == value;
            }
            ASSERT_TRUE(known);
            position += static_cast<int>(reference.count(it->first));
        }
    }
}

TEST(KSetTest, GetFromIndexSortsFirst)
{
    KSet set(20);
    set.Add(7, 70);
    set.Add(3, 30);
    unsigned int key = 0;
    EXPECT_EQ(set.GetFromIndex(0, &key), 30u);
    EXPECT_EQ(key, 3u);
    key = 99;
    EXPECT_EQ(set.GetFromIndex(-1, &key), 0u);
    EXPECT_EQ(set.GetFromIndex(2, &key), 0u);
    EXPECT_EQ(key, 99u);
    EXPECT_EQ(set.GetFromIndex(1, nullptr), 70u);
    int index = 0;
    EXPECT_EQ(set.Get(5, &index), 0u);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(set.Get(7, &index), 70u);
    EXPECT_EQ(index, 1);
}

TEST(KSetTest, KeysCompareUnsignedAndPointerSized)
{
    KSet set(4);
    const kReference big = static_cast<kReference>(0x1234567890ull);
    set.Add(0xFFFFFFFFu, 1);
    set.Add(big, 2);
    set.Add(1, 3);
    EXPECT_EQ(Entries(set), (std::vector<std::pair<kReference, kReference>>{{1, 3}, {0xFFFFFFFFu, 1}, {big, 2}}));
    EXPECT_EQ(set.Get(big), 2u);
}

TEST(KSetTest, ReturnCodes)
{
    KSet set(20);
    set.Add(1, 10);
    set.Add(2, 0);
    set.Add(3, 30);
    EXPECT_EQ(set.Remove(9), 1);
    EXPECT_EQ(set.Remove(2), 1);  // value 0 reads as absent
    EXPECT_EQ(set.GetCount(), 3);
    EXPECT_EQ(set.Remove(1), 0);
    EXPECT_EQ(set.GetCount(), 2);

    EXPECT_EQ(set.SetItem(3, 33), 0);
    EXPECT_EQ(set.Get(3), 33u);
    EXPECT_EQ(set.SetItem(4, 44), 1);
    EXPECT_EQ(set.GetCount(), 2);

    EXPECT_EQ(set.RemoveFromIndex(2), 1);
    EXPECT_EQ(set.RemoveFromIndex(-1), 1);
    EXPECT_EQ(set.RemoveFromIndex(0), 0);  // key 2
    EXPECT_EQ(Entries(set), (std::vector<std::pair<kReference, kReference>>{{3, 33}}));
}

TEST(KSetTest, RemoveItemRemovesEveryMatch)
{
    KSet set(20);
    set.Add(5, 1);
    set.Add(2, 7);
    set.Add(9, 1);
    set.Add(4, 3);
    EXPECT_EQ(set.RemoveItem(1), 0);
    EXPECT_EQ(Entries(set), (std::vector<std::pair<kReference, kReference>>{{2, 7}, {4, 3}}));
    EXPECT_EQ(set.RemoveItem(1), 1);
    EXPECT_EQ(set.GetCount(), 2);
}

TEST(KSetTest, RemoveFromIndexUsesCurrentOrder)
{
    KSet set(20);
    set.Add(5, 50);
    set.Add(1, 10);
    // Not sorted yet: position 0 is the first entry added.
    EXPECT_EQ(set.RemoveFromIndex(0), 0);
    EXPECT_EQ(set.Get(5), 0u);
    EXPECT_EQ(set.Get(1), 10u);
}

TEST(KSetTest, Swap)
{
    KSet set(20);
    set.Add(1, 10);
    set.Add(2, 5);
    EXPECT_EQ(set.Swap(), 0);
    EXPECT_EQ(Entries(set), (std::vector<std::pair<kReference, kReference>>{{5, 2}, {10, 1}}));
    EXPECT_EQ(set.Get(10), 1u);
    // Pointer values survive a swap and back.
    KSet pointers(2);
    int a = 0, b = 0;
    pointers.Add(1, reinterpret_cast<kReference>(&a));
    pointers.Add(2, reinterpret_cast<kReference>(&b));
    pointers.Swap();
    EXPECT_EQ(pointers.Get(reinterpret_cast<kReference>(&b)), 2u);
    pointers.Swap();
    EXPECT_EQ(reinterpret_cast<int*>(pointers.Get(1)), &a);
}

TEST(KSetTest, CopyAndAssignment)
{
    KSet set(3);
    for (kReference k = 10; k > 0; --k) {
        set.Add(k, k * 100);
    }
    KSet copy(set);
    EXPECT_EQ(Entries(copy), Entries(set));
    copy.Add(11, 1100);
    EXPECT_EQ(set.GetCount(), 10);
    EXPECT_EQ(copy.GetCount(), 11);

    KSet other(1);
    other.Add(99, 1);
    other = set;
    EXPECT_EQ(Entries(other), Entries(set));
    KSet& alias = other;
    other = alias;
    EXPECT_EQ(Entries(other), Entries(set));
    other.Clear();
    EXPECT_EQ(other.GetCount(), 0);
    EXPECT_EQ(set.GetCount(), 10);
}
