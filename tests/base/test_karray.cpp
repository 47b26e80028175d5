#include "base/karray.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "test_util.h"

#if defined(__SANITIZE_ADDRESS__)
#define QOX_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QOX_TEST_ASAN 1
#endif
#endif

#ifdef QOX_TEST_ASAN
// The failed-allocation cases need a null from an allocation that cannot be
// had, not a sanitizer report; the suite asks for that itself (the
// environment's ASAN_OPTIONS still come first).
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1";
}
#endif

namespace {

int Capacity(KBaseArray& a)
{
    return a.Reserve(0); // Reserve(0) only reports the capacity
}

std::vector<int> Items(KArrayTemplate<int>& a)
{
    return std::vector<int>(a.GetArray(), a.GetArray() + a.GetCount());
}

// An item whose equality is a tolerance, with a non-const operator==.
struct Point
{
    double x, y;
    bool operator==(Point& o) { return std::fabs(x - o.x) <= 1e-6 && std::fabs(y - o.y) <= 1e-6; }
};

} // namespace

TEST(KArrayGrowth, BlockGrowth)
{
    KArrayTemplate<int> a(16);
    EXPECT_EQ(0, Capacity(a));
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(i, a.Add(i * 10));
    EXPECT_EQ(16, Capacity(a));
    a.Add(160); // the 17th item makes two blocks
    EXPECT_EQ(32, Capacity(a));
    for (int i = 17; i < 33; ++i)
        a.Add(i * 10);
    EXPECT_EQ(64, Capacity(a)); // geometric: 1, 2, 4 blocks
    for (int i = 0; i < 33; ++i)
        ASSERT_EQ(i * 10, a[i]);

    KArrayTemplate<int> neg(-5); // a block size below 1 behaves as 1
    neg.Add(1);
    EXPECT_EQ(1, Capacity(neg));
    // Many appends move the storage only a logarithmic number of times.
    KArrayTemplate<int> big;
    const int* last = big.GetArray();
    int moves = 0;
    for (int i = 0; i < 100000; ++i)
    {
        big.Add(i);
        if (big.GetArray() != last)
            ++moves, last = big.GetArray();
    }
    EXPECT_EQ(99999, big.GetLast());
    EXPECT_LE(moves, 20);
}

TEST(KArrayEdit, InsertAndRemove)
{
    KArrayTemplate<int> a;
    for (int v : {1, 2, 3})
        a.Add(v);
    EXPECT_EQ(3, a.InsertAt(100, 9)); // past the end appends
    EXPECT_EQ(0, a.InsertAt(0, 0));
    EXPECT_EQ(2, a.InsertAt(2, 7));
    EXPECT_EQ(Items(a), (std::vector<int>{0, 1, 7, 2, 3, 9}));

    EXPECT_EQ(0, a.RemoveAt(0));  // front
    EXPECT_EQ(9, a.RemoveLast()); // back
    EXPECT_EQ(3, a.RemoveAt(3));  // last through RemoveAt
    EXPECT_EQ(Items(a), (std::vector<int>{1, 7, 2}));
    EXPECT_FALSE(a.ValidateIndex(3) || a.ValidateIndex(-1));
    EXPECT_FALSE(a.RemoveIt(42));
    EXPECT_TRUE(a.RemoveIt(7));
    EXPECT_EQ(Items(a), (std::vector<int>{1, 2}));
    // The base InsertAt copies an item that lies in the array while it grows.
    KArrayTemplate<int> b(4);
    for (int i = 0; i < 4; ++i)
        b.Add(100 + i);
    EXPECT_EQ(4, b.KBaseArray::InsertAt(b.GetCount(), &b[1]));
    EXPECT_EQ(0, b.KBaseArray::InsertAt(0, &b[3])); // item shifted by the insert
    EXPECT_EQ(Items(b), (std::vector<int>{103, 100, 101, 102, 103, 101}));
}

TEST(KArraySearch, FindForms)
{
    KArrayTemplate<int> a;
    for (int x : {5, 6, 5, 7, 5})
        a.Add(x);
    EXPECT_EQ(2, a.FindAfter(0, 5));
    EXPECT_EQ(0, a.FindAfter(-1, 5));
    EXPECT_EQ(-1, a.FindAfter(4, 5));
    EXPECT_EQ(2, a.FindBefore(4, 5));
    EXPECT_EQ(4, a.FindBefore(5, 5));
    EXPECT_EQ(-1, a.FindBefore(0, 5));
    EXPECT_EQ(1, a.AddUnique(6));
    EXPECT_EQ(5, a.AddUnique(8));

    KArrayTemplate<double> d; // the element type's own equality
    d.Add(NAN);
    d.Add(-0.0);
    EXPECT_EQ(-1, d.Find(NAN));
    EXPECT_EQ(1, d.Find(0.0));

    KArrayTemplate<Point> pts;
    for (Point p : {Point{1, 2}, Point{3, 4}, Point{1, 2}})
        pts.Add(p);
    EXPECT_EQ(2, pts.FindAfter(0, Point{1.0000001, 2}));
    EXPECT_EQ(-1, pts.FindAfter(-1, Point{1.1, 2}));
}

TEST(KArrayCount, SetCountResizeReserve)
{
    KArrayTemplate<int> a;
    a.SetCount(5);
    EXPECT_EQ(Items(a), (std::vector<int>(5, 0)));
    for (int i = 0; i < 5; ++i)
        a[i] = 9;
    const int cap = Capacity(a);
    a.SetCount(2);
    EXPECT_EQ(cap, Capacity(a));
    a.SetCount(5); // regrown items are zero again
    EXPECT_EQ(Items(a), (std::vector<int>{9, 9, 0, 0, 0}));
    a.Resize(3);
    a[2] = 1;
    a.Resize(6); // within the same block: new items are zero too
    EXPECT_EQ(Items(a), (std::vector<int>{9, 9, 1, 0, 0, 0}));
    a.Resize(0);
    EXPECT_EQ(16, Capacity(a)); // one block kept

    KArrayTemplate<int> r(4);
    for (int i = 0; i < 10; ++i)
        r.Add(i + 1);
    EXPECT_EQ(8, r.Reserve(6)); // shrinks to two blocks, count cut to 6
    EXPECT_EQ(6, r.GetCount());
    EXPECT_EQ(6, r[5]);
    EXPECT_EQ(20, r.Reserve(17));
    r.AddMultiple(3u);
    EXPECT_EQ(9, r.GetCount());
    EXPECT_EQ(0, r[8]);
    r.Empty(); // keeps the storage, Clear frees it
    EXPECT_EQ(20, Capacity(r));
    r.Clear();
    EXPECT_EQ(0, Capacity(r));
}

TEST(KArrayCopy, AssignmentAndArrays)
{
    KArrayTemplate<int> a(256);
    for (int i = 0; i < 3; ++i)
        a.Add(i);
    a = a;
    EXPECT_EQ(Items(a), (std::vector<int>{0, 1, 2}));
    KArrayTemplate<int> b(a);
    EXPECT_EQ(256, Capacity(b)); // the source's block size
    b[0] = 42;
    EXPECT_EQ(0, a[0]);

    KArrayTemplate<int> c, other, u;
    c.Add(7);
    c = a;
    for (int v : {1, 9, 9})
        other.Add(v);
    c.AddArray(other);
    u.Add(1);
    u.AddArrayNoDuplicate(other); // repeats inside other are added once
    EXPECT_EQ(Items(u), (std::vector<int>{1, 9}));
    c.RemoveArray(other); // 0 1 2 1 9 9 less one 1 and two 9s
    EXPECT_EQ(Items(c), (std::vector<int>{0, 2, 1}));
    c.AddArray(c);
    EXPECT_EQ(Items(c), (std::vector<int>{0, 2, 1, 0, 2, 1}));
    c.RemoveArray(c);
    EXPECT_EQ(0, c.GetCount());
}

TEST(KArrayDeathTest, FailedGrowthLeavesArrayUnchanged)
{
    EXPECT_EXIT(
        {
            qoxtest::CapAddressSpace();
            KArrayTemplate<double> huge(200000000); // one block is 1.6 GB
            const int index = huge.Add(1.0);
            huge.SetCount(10);
            std::exit(index == -1 && huge.GetCount() == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// The direct accessors assert their index in every build.
TEST(KArrayDeathTest, IndexOutOfRangeIsAnAssertion)
{
#ifdef NDEBUG
    GTEST_SKIP() << "assertions are off in this build type";
#endif
    KArrayTemplate<int> a;
    a.Add(1);
    EXPECT_DEATH(a.GetAt(1), "index");
    EXPECT_DEATH(a[-1], "index");
    EXPECT_DEATH(a.RemoveAt(1), "index");
    a.RemoveLast();
    EXPECT_DEATH(a.GetLast(), "index");
}

TEST(KArrayCount, SetCountUnsetKeepsItemsAndRefusesBadCounts)
{
    KArrayTemplate<int> a(1024);
    ASSERT_TRUE(a.SetCountUnset(3000));
    EXPECT_EQ(a.GetCount(), 3000);
    for (int i = 0; i < 3000; ++i)
        a[i] = i * 3;
    // Growing keeps what is there; lowering drops the tail; a negative count changes nothing.
    ASSERT_TRUE(a.SetCountUnset(5000));
    EXPECT_EQ(a[2999], 8997);
    ASSERT_TRUE(a.SetCountUnset(10));
    EXPECT_EQ(a.GetCount(), 10);
    EXPECT_EQ(a[9], 27);
    EXPECT_FALSE(a.SetCountUnset(-1));
    EXPECT_EQ(a.GetCount(), 10);
    // Appending after it carries on from the count.
    a.Add(77);
    EXPECT_EQ(a.GetCount(), 11);
    EXPECT_EQ(a[10], 77);
    KArrayTemplate<double> none;
    EXPECT_TRUE(none.SetCountUnset(0));
    EXPECT_EQ(none.GetCount(), 0);
}

TEST(KArrayAdopt, TakesStorageWithoutCopyAndTrimsToWholeBlocks)
{
    // 1000 items in room for 5000: the same block, trimmed to 63 blocks of 16.
    int* storage = static_cast<int*>(std::malloc(5000 * sizeof(int)));
    ASSERT_NE(nullptr, storage);
    for (int i = 0; i < 1000; ++i)
        storage[i] = 7 * i - 3;
    KArrayTemplate<int> a(16);
    a.Add(99); // what it held goes
    ASSERT_TRUE(a.Adopt(storage, 1000, 5000));
    EXPECT_EQ(1000, a.GetCount());
    EXPECT_EQ(1008, Capacity(a));
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(7 * i - 3, a[i]);
    // It grows on as any array: the next item fits, the 1009th doubles.
    for (int i = 1000; i < 1009; ++i)
        a.Add(i);
    EXPECT_EQ(2016, Capacity(a));
    EXPECT_EQ(-3, a[0]);
    EXPECT_EQ(1008, a.GetLast());
}

TEST(KArrayAdopt, ExactRoomAndRoomToRoundUp)
{
    // Room for exactly the whole blocks: kept as it is.
    int* exact = static_cast<int*>(std::malloc(32 * sizeof(int)));
    for (int i = 0; i < 20; ++i)
        exact[i] = i;
    KArrayTemplate<int> a(16);
    ASSERT_TRUE(a.Adopt(exact, 20, 32));
    EXPECT_EQ(exact, a.GetArray());
    EXPECT_EQ(32, Capacity(a));
    // Room for the items only: grown to the whole block.
    int* tight = static_cast<int*>(std::malloc(5 * sizeof(int)));
    for (int i = 0; i < 5; ++i)
        tight[i] = 100 + i;
    KArrayTemplate<int> b(1024);
    ASSERT_TRUE(b.Adopt(tight, 5, 5));
    EXPECT_EQ(1024, Capacity(b));
    EXPECT_EQ((std::vector<int>{100, 101, 102, 103, 104}), Items(b));
    b.SetCount(1024); // the whole block is usable
    EXPECT_EQ(0, b[1023]);
}

TEST(KArrayAdopt, EmptyAndRefusedStorage)
{
    KArrayTemplate<int> a(8);
    a.Add(1);
    a.Add(2);
    // Null with no items: emptied, storage freed.
    ASSERT_TRUE(a.Adopt(nullptr, 0, 0));
    EXPECT_EQ(0, a.GetCount());
    EXPECT_EQ(0, Capacity(a));
    EXPECT_EQ(nullptr, a.GetArray());
    // Storage with no items: freed by the array.
    ASSERT_TRUE(a.Adopt(static_cast<int*>(std::malloc(64)), 0, 16));
    EXPECT_EQ(0, Capacity(a));
    // Refused: the array keeps what it has, the caller its storage.
    a.Add(5);
    int* storage = static_cast<int*>(std::malloc(4 * sizeof(int)));
    EXPECT_FALSE(a.Adopt(storage, 5, 4));  // more items than room
    EXPECT_FALSE(a.Adopt(storage, -1, 4)); // negative count
    EXPECT_FALSE(a.Adopt(nullptr, 3, 3));  // items without storage
    EXPECT_EQ((std::vector<int>{5}), Items(a));
    std::free(storage);
}

TEST(KArraySwap, ExchangesItemsStorageAndBlockSizes)
{
    KArrayTemplate<int> a(4), b(100);
    for (int i = 0; i < 5; ++i)
        a.Add(i);
    b.Add(42);
    const int* aStorage = a.GetArray();
    const int* bStorage = b.GetArray();
    a.Swap(b);
    EXPECT_EQ(bStorage, a.GetArray());
    EXPECT_EQ(aStorage, b.GetArray());
    EXPECT_EQ((std::vector<int>{42}), Items(a));
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4}), Items(b));
    EXPECT_EQ(100, Capacity(a));
    EXPECT_EQ(8, Capacity(b));
    // The block size went along: b grows by fours, a by hundreds.
    for (int i = 0; i < 4; ++i)
        b.Add(i);
    EXPECT_EQ(16, Capacity(b));
    for (int i = 0; i < 100; ++i)
        a.Add(i);
    EXPECT_EQ(200, Capacity(a));

    // With an empty array, and back: each array frees what it holds at the
    // end, whichever is destroyed first.
    auto* empty = new KArrayTemplate<int>(16);
    empty->Swap(b);
    EXPECT_EQ(0, b.GetCount());
    EXPECT_EQ(nullptr, b.GetArray());
    EXPECT_EQ(9, empty->GetCount());
    b.Add(7);
    delete empty;
    EXPECT_EQ((std::vector<int>{7}), Items(b));
    a.Swap(a); // with itself: unchanged
    EXPECT_EQ(101, a.GetCount());
    EXPECT_EQ(42, a[0]);
}
