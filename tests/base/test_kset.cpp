#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/kset.h"

namespace {

typedef std::vector<std::string> Strings;
typedef std::vector<std::pair<kReference, kReference>> Pairs;

// Keys of a text set in its current index order.
Strings Keys(KCharPtrSet& set)
{
    Strings keys;
    for (int i = 0; i < set.GetCount(); ++i)
    {
        char* key = nullptr;
        set.GetFromIndex(i, &key);
        keys.push_back(key);
    }
    return keys;
}

Pairs Entries(const KSet& set)
{
    Pairs entries;
    for (int i = 0; i < set.GetCount(); ++i)
    {
        kReference key = 0;
        kReference value = set.GetFromIndex(i, &key);
        entries.emplace_back(key, value);
    }
    return entries;
}

} // namespace

TEST(KCharPtrSetTest, EmptySetAndCaseRules)
{
    KCharPtrSet set(20);
    int index = 5;
    char* key = reinterpret_cast<char*>(0x1234);
    EXPECT_EQ(set.Get("x", &index), 0u);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(set.FindEqual("x"), nullptr);
    EXPECT_FALSE(set.Remove("x"));
    EXPECT_EQ(set.GetFromIndex(0, &key), 0u);
    EXPECT_EQ(key, reinterpret_cast<char*>(0x1234));

    set.Add("C", 3);
    set.Add("b", 2);
    set.Add("Name", 1);
    EXPECT_EQ(Keys(set), (Strings{"b", "C", "Name"})); // case-insensitive by default
    EXPECT_EQ(set.Get("NAME", &index), 1u);
    EXPECT_EQ(index, 2);

    set.mCaseSensitive = true; // strcmp order: capitals first
    EXPECT_EQ(Keys(set), (Strings{"C", "Name", "b"}));
    EXPECT_EQ(set.Get("NAME", &index), 0u);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(set.Get("Name", &index), 1u);
    EXPECT_EQ(index, 1);
    set.mCaseSensitive = false;
    EXPECT_EQ(Keys(set), (Strings{"b", "C", "Name"}));
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
    EXPECT_EQ(set.GetFromIndex(3, &key), 0u);
    // Later additions are merged into place, before and among the sorted ones.
    set.Add("bravo", 2);
    set.Add("Aa", 0);
    int index = -1;
    EXPECT_EQ(set.Get("BRAVO", &index), 2u);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(Keys(set), (Strings{"Aa", "alpha", "bravo", "charlie", "delta"}));
    set[4] = 40; // a writable value in sorted order
    EXPECT_EQ(set.Get("delta"), 40u);
    // The key is the set's own copy; values are pointer-sized.
    char text[] = "echo";
    int object = 0;
    set.Add(text, reinterpret_cast<kReference>(&object));
    text[0] = 'x';
    EXPECT_EQ(reinterpret_cast<int*>(set.Get("echo")), &object);
    EXPECT_EQ(set.Get("xcho"), 0u);
}

TEST(KCharPtrSetTest, RemoveAndRemoveFromIndex)
{
    KCharPtrSet set(20);
    set.Add("b", 2);
    set.Add("zero", 0);
    set.Add("a", 1);
    set.Add("c", 3);
    EXPECT_TRUE(set.Remove("B"));
    EXPECT_EQ(set.Get("b"), 0u);
    EXPECT_FALSE(set.Remove("zero")); // a key holding 0 is never removed by Remove
    EXPECT_EQ(set.GetCount(), 3);
    set.Add("aa", 11);
    set.RemoveFromIndex(0); // "a", once sorted
    EXPECT_EQ(Keys(set), (Strings{"aa", "c", "zero"}));
    set.Clear();
    EXPECT_EQ(set.Get("c"), 0u);
    set.Add("c", 3);
    EXPECT_EQ(set.Get("c"), 3u);
}

TEST(KCharPtrSetTest, VersionMovesWithEveryChangeAndNeverRepeats)
{
    KCharPtrSet a(4);
    KCharPtrSet b(4);
    EXPECT_NE(a.GetVersion(), b.GetVersion());
    unsigned long long seen = a.GetVersion();
    auto moved = [&seen](const KCharPtrSet& set) {
        const bool changed = set.GetVersion() != seen;
        seen = set.GetVersion();
        return changed;
    };
    a.Add("b", 2);
    EXPECT_TRUE(moved(a));
    a.Add("a", 1);
    EXPECT_TRUE(moved(a));
    // Lookups, sorting included, change nothing that Get answers.
    EXPECT_EQ(1u, a.Get("A"));
    EXPECT_EQ(0u, a.Get("c"));
    EXPECT_EQ(2u, a.GetFromIndex(1));
    EXPECT_FALSE(moved(a));
    a[0] = 5;
    EXPECT_TRUE(moved(a));
    EXPECT_EQ(5u, a.Get("a"));
    EXPECT_FALSE(a.Remove("c"));
    EXPECT_FALSE(moved(a));
    EXPECT_TRUE(a.Remove("a"));
    EXPECT_TRUE(moved(a));
    a.RemoveFromIndex(0);
    EXPECT_TRUE(moved(a));
    a.Clear();
    EXPECT_TRUE(moved(a));
    EXPECT_NE(a.GetVersion(), b.GetVersion());
    b.Add("x", 1);
    EXPECT_NE(a.GetVersion(), b.GetVersion());
}

TEST(KSetTest, LookupsSortUnsignedPointerSizedKeys)
{
    KSet set(4);
    const kReference big = static_cast<kReference>(0x1234567890ull);
    set.Add(0xFFFFFFFFu, 1);
    set.Add(big, 2);
    set.Add(1, 3);
    kReference key = 99;
    EXPECT_EQ(set.GetFromIndex(3, &key), 0u);
    EXPECT_EQ(key, 99u);
    EXPECT_EQ(Entries(set), (Pairs{{1, 3}, {0xFFFFFFFFu, 1}, {big, 2}}));
    int index = 0;
    EXPECT_EQ(set.Get(5, &index), 0u);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(set.Get(big, &index), 2u);
    EXPECT_EQ(index, 2);
}

TEST(KSetTest, ReturnCodes)
{
    KSet set(20);
    set.Add(1, 10);
    set.Add(2, 0);
    set.Add(3, 30);
    EXPECT_EQ(set.Remove(9), 1);
    EXPECT_EQ(set.Remove(2), 1); // value 0 reads as absent
    EXPECT_EQ(set.Remove(1), 0);
    EXPECT_EQ(set.SetItem(3, 33), 0);
    EXPECT_EQ(set.SetItem(4, 44), 1);
    EXPECT_EQ(set.RemoveFromIndex(2), 1);
    EXPECT_EQ(set.RemoveFromIndex(-1), 1);
    EXPECT_EQ(set.RemoveFromIndex(0), 0); // key 2
    EXPECT_EQ(Entries(set), (Pairs{{3, 33}}));
    // RemoveItem removes every match; before any sorting, position 0 is the
    // first entry added.
    KSet values(20);
    for (kReference k : {5, 2, 9, 4})
        values.Add(k, k == 2 ? 7 : (k == 4 ? 3 : 1));
    EXPECT_EQ(values.RemoveItem(1), 0);
    EXPECT_EQ(values.RemoveItem(1), 1);
    values.Add(1, 10);
    EXPECT_EQ(values.RemoveFromIndex(0), 0);
    EXPECT_EQ(Entries(values), (Pairs{{1, 10}, {4, 3}}));
}

TEST(KSetTest, Swap)
{
    KSet set(20);
    set.Add(1, 10);
    set.Add(2, 5);
    EXPECT_EQ(set.Swap(), 0);
    EXPECT_EQ(Entries(set), (Pairs{{5, 2}, {10, 1}}));
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

TEST(KSetTest, CopiesAreIndependent)
{
    KSet set(3);
    for (kReference k = 10; k > 0; --k)
        set.Add(k, k * 100);
    KSet copy(set), other(1);
    copy.Add(11, 1100);
    EXPECT_EQ(set.GetCount(), 10);
    other.Add(99, 1);
    other = set;
    KSet& alias = other;
    other = alias;
    EXPECT_EQ(Entries(other), Entries(set));
    other.Clear();
    EXPECT_EQ(set.GetCount(), 10);
    EXPECT_EQ(copy.GetCount(), 11);
}

TEST(KCharPtrSetDeathTest, IndexOutOfRangeIsAnAssertion)
{
#ifdef NDEBUG
    GTEST_SKIP() << "assertions are off in this build type";
#endif
    KCharPtrSet set(4);
    set.Add("a", 1);
    EXPECT_DEATH(set[1], "index");
    EXPECT_DEATH(set.RemoveFromIndex(-1), "index");
}
