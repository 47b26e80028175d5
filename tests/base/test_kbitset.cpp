#include "base/kbitset.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "base/kmemorypool.h"

namespace {

typedef std::set<int> Ints;

// Sets bit b the way the world registry does.
void SetBit(KBitSet& set, int b)
{
    KBitSet::KBitSegment* seg = set.GuarantySegment(KBitSet::KXRange(b >> KBitSet::kUnitPowerOf2, 1));
    ASSERT_NE(seg, nullptr);
    const int unit = (b >> KBitSet::kUnitPowerOf2) - seg->GetFirstUnit();
    const unsigned int mask = 1u << (b % 32);
    const unsigned int word = seg->GetUnit(unit);
    if (!(word & mask))
    {
        ASSERT_NE(seg->SafeAssign(set, unit, word | mask), nullptr);
    }
}

void ClearBit(KBitSet& set, int b)
{
    KBitSet::KBitSegment* seg = set.GuarantySegment(KBitSet::KXRange(b >> KBitSet::kUnitPowerOf2, 1));
    ASSERT_NE(seg, nullptr);
    seg->UnsetBit(b, set);
}

KBitSet Make(const std::vector<int>& bits)
{
    KBitSet set;
    for (int b : bits)
        SetBit(set, b);
    return set;
}

struct Visit
{
    int index;
    bool isSet;
};

bool Record(int index, bool isSet, void* param)
{
    static_cast<std::vector<Visit>*>(param)->push_back({index, isSet});
    return true;
}

// Every index the generic walker visits, from start (or the beginning).
std::vector<Visit> Walk(const KBitSet& set, int* start = nullptr, int* end = nullptr, bool skipGaps = true)
{
    std::vector<Visit> visits;
    set.ForEachBit(&Record, &visits, start, end, &skipGaps);
    return visits;
}

Ints Bits(const KBitSet& set)
{
    Ints bits;
    for (const Visit& v : Walk(set))
        if (v.isSet)
            bits.insert(v.index);
    return bits;
}

std::string PrintBits(const KBitSet& set, int* start, int* end, bool* flag)
{
    KString text;
    set.ForEachBit_PrintBit(text, start, end, flag);
    return text.ToChars();
}

// The searches, with null for the optional parameters given as -1 or not given.
int FirstUnset(const KBitSet& set, int start = -1, bool skipGaps = false)
{
    int found = 1234;
    set.ForEachBit_FindFirstUnsetBit(&found, start >= 0 ? &start : nullptr, nullptr, skipGaps ? &skipGaps : nullptr);
    return found;
}

int NextSet(const KBitSet& set, int start, int end, const bool* want)
{
    int found = 1234;
    set.ForEachBit_FindNextSetBit(found, nullptr, &start, end >= 0 ? &end : nullptr, const_cast<bool*>(want));
    return found;
}

const bool kSet = true, kUnset = false;

// The result of operation op on two plain sets.
Ints Reference(int op, const Ints& l, const Ints& r)
{
    Ints result;
    for (int v : l)
        if ((op == KBitSet::eAnd) == (r.count(v) != 0) || op == KBitSet::eOr)
            result.insert(v);
    if (op == KBitSet::eOr || op == KBitSet::eXor)
        for (int v : r)
            if (!l.count(v))
                result.insert(v);
    return result;
}

} // namespace

TEST(KBitSetTest, SegmentsGrowMergeAndStaySorted)
{
    KBitSet set = Make({3});
    // Unit 6 lies in the window of units 0 to 18: the segment grows.
    KBitSet grown = set;
    SetBit(grown, 200);
    ASSERT_EQ(grown.GetSegmentCount(), 1);
    EXPECT_EQ(grown.GetSegment(0)->GetUnitCount(), 7);
    EXPECT_EQ(Bits(grown), (Ints{3, 200}));
    // Unit 312 is far away: a second segment; unit 156 goes between them.
    SetBit(set, 10000);
    SetBit(set, 5000);
    ASSERT_EQ(set.GetSegmentCount(), 3);
    EXPECT_EQ(set.GetSegment(1)->GetFirstUnit(), 156);
    EXPECT_EQ(set.GetSegment(2)->GetFirstUnit(), 312);
    EXPECT_EQ(Bits(set), (Ints{3, 5000, 10000}));
    // A request whose window reaches two segments merges both.
    KBitSet two = Make({0, 15 * 32 + 4});
    ASSERT_EQ(two.GetSegmentCount(), 2);
    SetBit(two, 8 * 32 + 1);
    ASSERT_EQ(two.GetSegmentCount(), 1);
    EXPECT_EQ(two.GetSegment(0)->GetUnitCount(), 16);
    EXPECT_EQ(Bits(two), (Ints{0, 257, 484}));
    EXPECT_EQ(two.GuarantySegment(KBitSet::KXRange(3, 5)), two.GetSegment(0)); // already covered
    EXPECT_EQ(two.GetSegment(0)->GetUnitCount(), 16);
    EXPECT_EQ(two.GuarantySegment(KBitSet::KXRange(-1, 1)), nullptr);
    EXPECT_EQ(two.GuarantySegment(KBitSet::KXRange(0, 0)), nullptr);
    EXPECT_EQ(two.GuarantySegment(KBitSet::KXRange(1 << 26, 1)), nullptr);
}

TEST(KBitSetTest, CountsLastBitAndTheTopIndex)
{
    KBitSet set = Make({0, 31, 32, 63});
    SetBit(set, 40);
    ClearBit(set, 31);
    ClearBit(set, 31);                     // already clear: nothing
    EXPECT_EQ(set.GetCountOfSetBits(), 4); // the cache follows changes
    set.Clear();
    EXPECT_EQ(set.GetCountOfSetBits() + set.GetSegmentCount(), 0);

    KBitSet last = Make({3, 200});
    int index = -1;
    for (int expected : {200, 3})
    {
        ASSERT_TRUE(last.GetSegment(0)->GetLastSetBitAbsoluteIndex(index));
        EXPECT_EQ(index, expected);
        last.GetSegment(0)->UnsetBit(expected, last);
    }
    EXPECT_FALSE(last.GetSegment(0)->GetLastSetBitAbsoluteIndex(index));

    KBitSet top = Make({0x7FFFFFFF}); // the highest index an int can hold
    EXPECT_EQ(top.GetCountOfSetBits(), 1);
    ASSERT_TRUE(top.GetSegment(0)->GetLastSetBitAbsoluteIndex(index));
    EXPECT_EQ(index, 0x7FFFFFFF);
    EXPECT_EQ(NextSet(top, 0x7FFFFFE0, -1, &kSet), 0x7FFFFFFF);
}

TEST(KBitSetTest, FindFirstUnsetAndNextSetBits)
{
    KBitSet low = Make({0, 1, 2, 3, 4}), high = Make({64, 65}), full;
    int found = -1;
    EXPECT_FALSE(low.ForEachBit_FindFirstUnsetBit(&found)); // found: the walk stopped
    EXPECT_EQ(found, 5);
    EXPECT_EQ(FirstUnset(low, 2), 5);
    EXPECT_EQ(FirstUnset(low, 7), 7);
    // The first segment starts at unit 2: index 0 comes from the gap, unless gaps are skipped.
    EXPECT_EQ(FirstUnset(high), 0);
    EXPECT_EQ(FirstUnset(high, -1, true), 66);
    for (int b = 0; b < 32; ++b)
        SetBit(full, b);
    EXPECT_EQ(FirstUnset(full), 1234); // the walk runs out and leaves the parameter alone

    KBitSet set = Make({5, 100}); // one segment, units 0 to 3
    EXPECT_EQ(NextSet(set, 101, -1, &kSet), -1);
    EXPECT_EQ(NextSet(set, 42, -1, nullptr), 42); // any index
    EXPECT_EQ(NextSet(set, 6, 50, &kSet), -1);    // the end applies by units: bit 100 lies in unit 3
    EXPECT_EQ(NextSet(set, 6, 96, &kSet), 100);
    // Across segments and gaps, for set and for unset bits.
    KBitSet mixed = Make({0, 1, 2, 40, 300, 301, 5000, 5031});
    EXPECT_EQ(NextSet(mixed, 41, -1, &kSet), 300);
    EXPECT_EQ(NextSet(mixed, 302, -1, &kSet), 5000);
    EXPECT_EQ(NextSet(mixed, 0, -1, &kUnset), 3);
    EXPECT_EQ(NextSet(mixed, 300, -1, &kUnset), 302);
    EXPECT_EQ(NextSet(mixed, 5031, -1, &kUnset), 5032);
}

TEST(KBitSetTest, WalkOrderGapsAndStops)
{
    // Bit 64 only: a segment of unit 2, after a gap of 64 unset indexes.
    KBitSet set = Make({64});
    const std::string segment = "1" + std::string(31, '0');
    EXPECT_EQ(PrintBits(set, nullptr, nullptr, nullptr), std::string(64, '0') + segment);
    bool skip = true;
    EXPECT_EQ(PrintBits(set, nullptr, nullptr, &skip), segment);
    int start = 60, end = 70; // start inside the gap, end inside the segment's unit
    EXPECT_EQ(PrintBits(set, &start, &end, nullptr), "0000" + segment);
    end = 10; // an end inside the gap stops after the unit that holds it
    EXPECT_EQ(PrintBits(set, nullptr, &end, nullptr), std::string(32, '0'));
    EXPECT_EQ(PrintBits(KBitSet(), nullptr, nullptr, nullptr), "");
    // Two segments; the walk stops after the unit holding the end.
    KBitSet two = Make({1, 10000});
    end = 5000;
    std::vector<Visit> visits = Walk(two, nullptr, &end);
    ASSERT_EQ(visits.size(), 32u);
    EXPECT_TRUE(visits[1].isSet);
    visits = Walk(two);
    ASSERT_EQ(visits.size(), 64u);
    EXPECT_EQ(visits[32].index, 9984);
    EXPECT_TRUE(visits[48].isSet);
    // A visitor that answers false stops the walk.
    int calls = 0;
    EXPECT_FALSE(two.ForEachBit([](int, bool, void* p) { return ++*static_cast<int*>(p) < 3; }, &calls));
    EXPECT_EQ(calls, 3);
}

TEST(KBitSetTest, PrintExactText)
{
    KBitSet set = Make({1});
    KString text("> ");
    set.Print(text);
    // Memory: the set (16 bytes), the table header (16) with one slot (8), one
    // segment of one unit (12 + 4).
    char expected[256];
    std::snprintf(expected, sizeof expected, "> this:%p, SegmentsCount:1, BitsCount:1, MemUsage:56 bytes {\n",
                  static_cast<void*>(&set));
    EXPECT_EQ(std::string(text.ToChars()), std::string(expected) + "01" + std::string(30, '0') + "\n}");

    KBitSet empty;
    KString none;
    empty.Print(none);
    std::snprintf(expected, sizeof expected, "this:%p, SegmentsCount:0, BitsCount:0, MemUsage:16 bytes {\n\n}",
                  static_cast<void*>(&empty));
    EXPECT_EQ(std::string(none.ToChars()), expected);
    // Three segments: the table has doubled to 4 slots (one empty).
    KBitSet three = Make({0, 5000, 10000});
    KString stats;
    three.PrintStatistics(stats);
    std::snprintf(expected, sizeof expected, "this:%p, SegmentsCount:4, BitsCount:3, MemUsage:%d bytes",
                  static_cast<void*>(&three), 16 + 16 + 4 * 8 + 3 * 16);
    EXPECT_EQ(std::string(stats.ToChars()), expected);
}

TEST(KBitSetTest, AlgebraWithOthersItselfCopiesAndEmptySets)
{
    const std::vector<int> a = {1, 5, 40, 300, 10000, 10031, 70000}, b = {5, 41, 300, 5000, 10001, 10031};
    const KBitSet right = Make(b);
    for (int op = KBitSet::eAnd; op <= KBitSet::eXor; ++op)
    {
        KBitSet left = Make(a);
        left.ApplyOp(op, right);
        const Ints expected = Reference(op, Ints(a.begin(), a.end()), Ints(b.begin(), b.end()));
        EXPECT_EQ(Bits(left), expected) << op;
        EXPECT_EQ(left.GetCountOfSetBits(), static_cast<int>(expected.size())) << op;
        EXPECT_EQ(Bits(right), Ints(b.begin(), b.end())) << op; // the operand is never touched
    }
    const Ints bits = {2, 33, 400, 9000};
    KBitSet x = Make({2, 33, 400, 9000});
    x.And(x);
    x.Or(x);
    EXPECT_EQ(Bits(x), bits);
    KBitSet y = x; // a copy shares the table
    x.And(y);
    EXPECT_EQ(Bits(x), bits);
    x.Xor(y);
    EXPECT_EQ(x.GetSegmentCount(), 0);
    EXPECT_EQ(Bits(y), bits);
    y.AndNot(y);
    EXPECT_EQ(y.GetSegmentCount(), 0);
    y = Make({2, 33, 400, 9000});
    y.ApplyOp(7, Make({2, 5})); // not an operation: nothing changes
    KBitSet empty, z = y, w;
    z.Or(empty);
    z.AndNot(empty);
    z.Xor(empty);
    EXPECT_EQ(Bits(z), bits);
    z.And(empty);
    EXPECT_EQ(z.GetSegmentCount(), 0);
    empty.AndNot(y);
    EXPECT_EQ(empty.GetSegmentCount(), 0);
    empty.Or(y);
    w.Xor(y);
    EXPECT_EQ(Bits(empty), bits);
    EXPECT_EQ(Bits(w), bits);
}

TEST(KBitSetTest, CopiesAreIsolated)
{
    const Ints original = {1, 64, 3000};
    KBitSet a = Make({1, 64, 3000});
    KBitSet b(a);
    EXPECT_EQ(a.GetSegment(0), b.GetSegment(0)); // one table until a change
    SetBit(b, 2);
    EXPECT_EQ(Bits(b), (Ints{1, 2, 64, 3000}));
    EXPECT_NE(a.GetSegment(0), b.GetSegment(0));
    // Clearing a bit that is already clear changes nothing and shares on.
    KBitSet c = a;
    c.GetSegment(0)->UnsetBit(5, c);
    EXPECT_EQ(a.GetSegment(0), c.GetSegment(0));
    c.GetSegment(0)->UnsetBit(64, c);
    EXPECT_EQ(Bits(c), (Ints{1, 3000}));
    // Growth, merging and the algebra on a copy leave the original alone.
    KBitSet d = a;
    SetBit(d, 200);  // grows the first segment
    SetBit(d, 2000); // new segment between the two
    d.Xor(Make({1, 3000, 3001}));
    EXPECT_EQ(Bits(d), (Ints{64, 200, 2000, 3001}));
    KBitSet e = a;
    e.And(Make({64}));
    EXPECT_EQ(Bits(e), (Ints{64}));
    KBitSet f;
    f = a;
    f = f;
    f.Clear();
    EXPECT_EQ(Bits(a), original);
    EXPECT_EQ(a.GetCountOfSetBits(), 3);
}

TEST(KBitSetTest, StorageFollowsLibraryStartAndStop)
{
    KMemoryReusePool::DestroyAll(); // before start-up the sets use a stand-in pool
    KBitSet before = Make({7, 700});
    ASSERT_NE(KBitSet::GetBVPool(), nullptr);
    ASSERT_TRUE(KMemoryReusePool::InitAll());
    KMemoryReusePool* pool = KBitSet::GetBVPool();
    EXPECT_GE(KMemoryReusePool::GlobalMemoryReusePools->Find(pool), 1); // after the default
    KBitSet during = Make({1, 2, 3});
    SetBit(before, 9000); // a set from before start-up keeps working
    KMemoryReusePool::PurgeAll();
    KMemoryReusePool::DestroyAll(); // and so does one outliving the library's stop
    SetBit(during, 5000);
    ClearBit(before, 7);
    EXPECT_EQ(Bits(during), (Ints{1, 2, 3, 5000}));
    EXPECT_EQ(Bits(before), (Ints{700, 9000}));
}
