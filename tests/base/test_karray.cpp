#include "base/karray.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

int Capacity(KBaseArray& a)
{
    return a.Reserve(0);  // Reserve(0) only reports the capacity
}

// A vector-like item whose equality is a tolerance, with a non-const operator==.
struct Point
{
    double x, y;
    bool operator==(Point& o) { return std::fabs(x - o.x) <= 1e-6 && std::fabs(y - o.y) <= 1e-6; }
};

}  // namespace

TEST(KArrayGrowth, BlockGrowth)
{
    KArrayTemplate<int> a(16);
    EXPECT_EQ(0, Capacity(a));
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(i, a.Add(i * 10));
    EXPECT_EQ(16, Capacity(a));
    a.Add(160);  // the 17th item makes two blocks
    EXPECT_EQ(32, Capacity(a));
    for (int i = 17; i < 33; ++i)
        a.Add(i * 10);
    EXPECT_EQ(64, Capacity(a));  // geometric: 1, 2, 4 blocks
    for (int i = 0; i < 33; ++i)
        ASSERT_EQ(i * 10, a[i]);

    KArrayTemplate<int> one(0);  // a block size below 1 behaves as 1
    EXPECT_EQ(3, one.Reserve(3));
    KArrayTemplate<int> neg(-5);
    neg.Add(1);
    EXPECT_EQ(1, Capacity(neg));
}

TEST(KArrayGrowth, AppendsMoveStorageLogarithmically)
{
    KArrayTemplate<int> a;
    const int* last = a.GetArray();
    int moves = 0;
    for (int i = 0; i < 100000; ++i)
    {
        a.Add(i);
        if (a.GetArray() != last)
            ++moves, last = a.GetArray();
    }
    EXPECT_EQ(100000, a.GetCount());
    EXPECT_EQ(99999, a.GetLast());
    EXPECT_LE(moves, 20);
}

TEST(KArrayEdit, InsertAndRemove)
{
    KArrayTemplate<int> a;
    a.Add(1);
    a.Add(2);
    a.Add(3);
    EXPECT_EQ(3, a.InsertAt(100, 9));  // past the end appends
    EXPECT_EQ(9, a[3]);
    EXPECT_EQ(0, a.InsertAt(0, 0));
    EXPECT_EQ(2, a.InsertAt(2, 7));
    // 0 1 7 2 3 9
    const int expect[] = {0, 1, 7, 2, 3, 9};
    ASSERT_EQ(6, a.GetCount());
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(expect[i], a.GetAt(i));

    EXPECT_EQ(0, a.RemoveAt(0));     // front
    EXPECT_EQ(9, a.RemoveLast());    // back
    EXPECT_EQ(3, a.RemoveAt(3));     // last through RemoveAt
    ASSERT_EQ(3, a.GetCount());
    EXPECT_EQ(1, a.GetFirst());
    EXPECT_EQ(2, a.GetLast());
    a.SetLast(5);
    a.SetAt(0, 4);
    EXPECT_EQ(4, a[0]);
    EXPECT_EQ(5, a[2]);
    EXPECT_TRUE(a.ValidateIndex(2));
    EXPECT_FALSE(a.ValidateIndex(3));
    EXPECT_FALSE(a.ValidateIndex(-1));

    EXPECT_FALSE(a.RemoveIt(42));
    EXPECT_EQ(3, a.GetCount());
    EXPECT_TRUE(a.RemoveIt(7));
    EXPECT_EQ(2, a.GetCount());
}

TEST(KArrayEdit, InsertItemFromOwnStorage)
{
    // The base InsertAt copies an item that lies in the array while it grows.
    KArrayTemplate<int> a(4);
    for (int i = 0; i < 4; ++i)
        a.Add(100 + i);
    EXPECT_EQ(4, a.KBaseArray::InsertAt(a.GetCount(), &a[1]));
    EXPECT_EQ(101, a[4]);
    EXPECT_EQ(0, a.KBaseArray::InsertAt(0, &a[3]));  // item shifted by the insert
    EXPECT_EQ(103, a[0]);
    EXPECT_EQ(100, a[1]);
}

TEST(KArraySearch, FindForms)
{
    KArrayTemplate<int> a;
    const int v[] = {5, 6, 5, 7, 5};
    for (int x : v)
        a.Add(x);
    EXPECT_EQ(0, a.Find(5));
    EXPECT_EQ(2, a.FindAfter(0, 5));
    EXPECT_EQ(0, a.FindAfter(-1, 5));
    EXPECT_EQ(-1, a.FindAfter(4, 5));
    EXPECT_EQ(2, a.FindBefore(4, 5));
    EXPECT_EQ(4, a.FindBefore(5, 5));
    EXPECT_EQ(-1, a.FindBefore(0, 5));
    EXPECT_EQ(-1, a.Find(9));

    EXPECT_EQ(1, a.AddUnique(6));
    EXPECT_EQ(5, a.GetCount());
    EXPECT_EQ(5, a.AddUnique(8));
    EXPECT_EQ(6, a.GetCount());

    KArrayTemplate<double> d;
    d.Add(NAN);
    d.Add(-0.0);
    EXPECT_EQ(-1, d.Find(NAN));
    EXPECT_EQ(1, d.Find(0.0));

    int x = 0, y = 0;
    KArrayTemplate<int*> p;
    p.Add(&x);
    EXPECT_EQ(-1, p.Find(&y));
    EXPECT_EQ(0, p.Find(&x));

    KArrayTemplate<Point> pts;
    pts.Add(Point{1, 2});
    pts.Add(Point{3, 4});
    pts.Add(Point{1, 2});
    EXPECT_EQ(2, pts.FindAfter(0, Point{1.0000001, 2}));
    EXPECT_EQ(-1, pts.FindAfter(-1, Point{1.1, 2}));
}

TEST(KArrayCount, SetCountResizeReserve)
{
    KArrayTemplate<int> a;
    a.SetCount(5);
    ASSERT_EQ(5, a.GetCount());
    for (int i = 0; i < 5; ++i)
    {
        EXPECT_EQ(0, a[i]);
        a[i] = 9;
    }
    const int cap = Capacity(a);
    a.SetCount(2);
    EXPECT_EQ(2, a.GetCount());
    EXPECT_EQ(cap, Capacity(a));
    a.SetCount(5);  // regrown items are zero again
    EXPECT_EQ(9, a[1]);
    EXPECT_EQ(0, a[2]);
    EXPECT_EQ(0, a[4]);

    a.Resize(3);
    a[2] = 1;
    a.Resize(10);  // within the same block: new items are zero too
    EXPECT_EQ(10, a.GetCount());
    EXPECT_EQ(1, a[2]);
    EXPECT_EQ(0, a[3]);
    EXPECT_EQ(0, a[9]);
    a.Resize(0);
    EXPECT_EQ(0, a.GetCount());
    EXPECT_EQ(16, Capacity(a));  // one block kept

    KArrayTemplate<int> r(4);
    for (int i = 0; i < 10; ++i)
        r.Add(i + 1);
    EXPECT_EQ(8, r.Reserve(6));   // shrinks to two blocks, count cut to 6
    EXPECT_EQ(6, r.GetCount());
    EXPECT_EQ(6, r[5]);
    EXPECT_EQ(20, r.Reserve(17));
    EXPECT_EQ(6, r.GetCount());

    r.AddMultiple(3u);
    EXPECT_EQ(9, r.GetCount());
    EXPECT_EQ(0, r[8]);

    r.Empty();
    EXPECT_EQ(0, r.GetCount());
    EXPECT_EQ(20, Capacity(r));
    r.Clear();
    EXPECT_EQ(0, Capacity(r));
    EXPECT_EQ(nullptr, r.GetArray());
}

TEST(KArrayCopy, AssignmentAndArrays)
{
    KArrayTemplate<int> a(256);
    for (int i = 0; i < 3; ++i)
        a.Add(i);
    a = a;
    ASSERT_EQ(3, a.GetCount());
    EXPECT_EQ(2, a[2]);

    KArrayTemplate<int> b(a);
    EXPECT_EQ(3, b.GetCount());
    EXPECT_EQ(256, Capacity(b));  // the source's block size
    EXPECT_NE(a.GetArray(), b.GetArray());
    b[0] = 42;
    EXPECT_EQ(0, a[0]);

    KArrayTemplate<int> c;
    c.Add(7);
    c = a;
    EXPECT_EQ(3, c.GetCount());
    EXPECT_EQ(1, c[1]);

    KArrayTemplate<int> other;
    other.Add(1);
    other.Add(9);
    other.Add(9);
    c.AddArray(other);
    EXPECT_EQ(6, c.GetCount());
    KArrayTemplate<int> u;
    u.Add(1);
    u.AddArrayNoDuplicate(other);  // repeats inside other are added once
    ASSERT_EQ(2, u.GetCount());
    EXPECT_EQ(9, u[1]);

    c.RemoveArray(other);  // 0 1 2 1 9 9 less one 1 and two 9s: 0 2 1
    ASSERT_EQ(3, c.GetCount());
    EXPECT_EQ(0, c[0]);
    EXPECT_EQ(2, c[1]);
    EXPECT_EQ(1, c[2]);

    c.AddArray(c);
    ASSERT_EQ(6, c.GetCount());
    EXPECT_EQ(0, c[3]);
    EXPECT_EQ(1, c[5]);
    c.RemoveArray(c);
    EXPECT_EQ(0, c.GetCount());

    KArrayTemplate<int> empty;
    c.AddArray(empty);
    EXPECT_EQ(0, c.GetCount());
}

// Caps the address space a little above the current use, then asks for one
// block far larger than that: growth must fail and leave the array as it was.
void CheckFailedGrowth()
{
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(f, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (256u << 20);
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_AS, &rl);
    KArrayTemplate<double> huge(200000000);  // one block is 1.6 GB
    const int index = huge.Add(1.0);
    huge.SetCount(10);
    std::exit(index == -1 && huge.GetCount() == 0 ? 0 : 1);
}

TEST(KArrayDeathTest, FailedGrowthLeavesArrayUnchanged)
{
    EXPECT_EXIT(CheckFailedGrowth(), ::testing::ExitedWithCode(0), "");
}
