#include "base/kbitset.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "base/kmemorypool.h"

namespace {

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

bool CollectSet(int index, bool isSet, void* param)
{
    if (isSet)
        static_cast<std::set<int>*>(param)->insert(index);
    return true;
}

// The set bits, read with the generic walker.
std::set<int> Bits(const KBitSet& set)
{
    std::set<int> bits;
    bool skipGaps = true;
    set.ForEachBit(&CollectSet, &bits, nullptr, nullptr, &skipGaps);
    return bits;
}

KBitSet Make(const std::vector<int>& bits)
{
    KBitSet set;
    for (int b : bits)
        SetBit(set, b);
    return set;
}

std::string PrintBits(const KBitSet& set, int* start, int* end, bool* flag)
{
    KString text;
    set.ForEachBit_PrintBit(text, start, end, flag);
    return text.ToChars();
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

bool StopAtThird(int, bool, void* param)
{
    return ++*static_cast<int*>(param) < 3;
}

}  // namespace

TEST(KBitSetTest, SegmentsGrowMergeAndStaySorted)
{
    KBitSet set;
    EXPECT_EQ(set.GetSegmentCount(), 0);
    SetBit(set, 3);
    ASSERT_EQ(set.GetSegmentCount(), 1);
    EXPECT_EQ(set.GetSegment(0)->GetFirstUnit(), 0);
    EXPECT_EQ(set.GetSegment(0)->GetUnitCount(), 1);

    // Unit 6 lies in the window of units 0 to 18: the segment grows.
    KBitSet grown = set;
    SetBit(grown, 200);
    ASSERT_EQ(grown.GetSegmentCount(), 1);
    EXPECT_EQ(grown.GetSegment(0)->GetFirstUnit(), 0);
    EXPECT_EQ(grown.GetSegment(0)->GetUnitCount(), 7);
    EXPECT_EQ(Bits(grown), (std::set<int>{3, 200}));

    // Unit 312 is far away: a second segment; unit 156 goes between them.
    SetBit(set, 10000);
    SetBit(set, 5000);
    ASSERT_EQ(set.GetSegmentCount(), 3);
    EXPECT_EQ(set.GetSegment(0)->GetFirstUnit(), 0);
    EXPECT_EQ(set.GetSegment(1)->GetFirstUnit(), 156);
    EXPECT_EQ(set.GetSegment(2)->GetFirstUnit(), 312);
    EXPECT_EQ(set.GetSegment(2)->GetUnitCount(), 1);
    EXPECT_EQ(set.GetSegment(3), nullptr);
    EXPECT_EQ(Bits(set), (std::set<int>{3, 5000, 10000}));
}

TEST(KBitSetTest, RequestBetweenTwoSegmentsMergesBoth)
{
    KBitSet set = Make({0, 15 * 32 + 4});  // units 0 and 15: too far apart
    ASSERT_EQ(set.GetSegmentCount(), 2);
    SetBit(set, 8 * 32 + 1);  // unit 8: its window (0 to 18) reaches both
    ASSERT_EQ(set.GetSegmentCount(), 1);
    EXPECT_EQ(set.GetSegment(0)->GetFirstUnit(), 0);
    EXPECT_EQ(set.GetSegment(0)->GetUnitCount(), 16);
    EXPECT_EQ(Bits(set), (std::set<int>{0, 257, 484}));

    // A run already covered returns its segment unchanged.
    KBitSet::KBitSegment* seg = set.GetSegment(0);
    EXPECT_EQ(set.GuarantySegment(KBitSet::KXRange(3, 5)), seg);
    EXPECT_EQ(set.GetSegment(0)->GetUnitCount(), 16);

    // Invalid runs.
    EXPECT_EQ(set.GuarantySegment(KBitSet::KXRange(-1, 1)), nullptr);
    EXPECT_EQ(set.GuarantySegment(KBitSet::KXRange(0, 0)), nullptr);
    EXPECT_EQ(set.GuarantySegment(KBitSet::KXRange(1 << 26, 1)), nullptr);
}

TEST(KBitSetTest, CountUnsetAndLastBit)
{
    KBitSet set = Make({0, 31, 32, 63});
    EXPECT_EQ(set.GetCountOfSetBits(), 4);
    SetBit(set, 40);
    EXPECT_EQ(set.GetCountOfSetBits(), 5);  // the cache follows changes
    ClearBit(set, 31);
    ClearBit(set, 31);  // already clear: nothing
    EXPECT_EQ(set.GetCountOfSetBits(), 4);
    set.Clear();
    EXPECT_EQ(set.GetCountOfSetBits(), 0);
    EXPECT_EQ(set.GetSegmentCount(), 0);

    KBitSet last = Make({3, 200});
    int index = -1;
    ASSERT_TRUE(last.GetSegment(0)->GetLastSetBitAbsoluteIndex(index));
    EXPECT_EQ(index, 200);
    last.GetSegment(0)->UnsetBit(200, last);
    ASSERT_TRUE(last.GetSegment(0)->GetLastSetBitAbsoluteIndex(index));
    EXPECT_EQ(index, 3);
    last.GetSegment(0)->UnsetBit(3, last);
    EXPECT_FALSE(last.GetSegment(0)->GetLastSetBitAbsoluteIndex(index));
    EXPECT_EQ(last.GetCountOfSetBits(), 0);

    // The highest index an int can hold.
    KBitSet top = Make({0x7FFFFFFF});
    EXPECT_EQ(top.GetCountOfSetBits(), 1);
    ASSERT_TRUE(top.GetSegment(0)->GetLastSetBitAbsoluteIndex(index));
    EXPECT_EQ(index, 0x7FFFFFFF);
    int found = 0;
    int from = 0x7FFFFFE0;
    bool wantSet = true;
    top.ForEachBit_FindNextSetBit(found, nullptr, &from, nullptr, &wantSet);
    EXPECT_EQ(found, 0x7FFFFFFF);
}

TEST(KBitSetTest, FindFirstUnsetBit)
{
    KBitSet low = Make({0, 1, 2, 3, 4});
    int found = -1;
    EXPECT_FALSE(low.ForEachBit_FindFirstUnsetBit(&found));
    EXPECT_EQ(found, 5);
    int start = 2;
    low.ForEachBit_FindFirstUnsetBit(&found, &start);
    EXPECT_EQ(found, 5);
    start = 7;
    low.ForEachBit_FindFirstUnsetBit(&found, &start);
    EXPECT_EQ(found, 7);

    // The first segment starts at unit 2: index 0 comes from the gap.
    KBitSet high = Make({64, 65});
    found = -1;
    high.ForEachBit_FindFirstUnsetBit(&found);
    EXPECT_EQ(found, 0);
    // Skipping gaps, the first unset index is inside the segment.
    bool skip = true;
    high.ForEachBit_FindFirstUnsetBit(&found, nullptr, nullptr, &skip);
    EXPECT_EQ(found, 66);

    // A full segment: the walk runs out and leaves the parameter alone.
    KBitSet full;
    for (int b = 0; b < 32; ++b)
        SetBit(full, b);
    found = 1234;
    EXPECT_TRUE(full.ForEachBit_FindFirstUnsetBit(&found));
    EXPECT_EQ(found, 1234);

    // The registry's fallback: the index after the last set bit.
    int last = -1;
    ASSERT_TRUE(full.GetSegment(full.GetSegmentCount() - 1)->GetLastSetBitAbsoluteIndex(last));
    EXPECT_EQ(last + 1, 32);
}

TEST(KBitSetTest, FindNextSetBitAndEndBound)
{
    KBitSet set = Make({5, 100});  // one segment, units 0 to 3
    bool wantSet = true, wantUnset = false;
    int found = 0;
    EXPECT_FALSE(set.ForEachBit_FindNextSetBit(found, nullptr, nullptr, nullptr, &wantSet));
    EXPECT_EQ(found, 5);
    int start = 6;
    set.ForEachBit_FindNextSetBit(found, nullptr, &start, nullptr, &wantSet);
    EXPECT_EQ(found, 100);
    start = 101;
    EXPECT_TRUE(set.ForEachBit_FindNextSetBit(found, nullptr, &start, nullptr, &wantSet));
    EXPECT_EQ(found, -1);

    start = 5;
    set.ForEachBit_FindNextSetBit(found, nullptr, &start, nullptr, &wantUnset);
    EXPECT_EQ(found, 6);
    start = 42;
    set.ForEachBit_FindNextSetBit(found, nullptr, &start, nullptr, nullptr);  // any index
    EXPECT_EQ(found, 42);

    // The end applies by units: bit 100 lies in unit 3.
    start = 6;
    int end = 50;  // unit 1
    set.ForEachBit_FindNextSetBit(found, nullptr, &start, &end, &wantSet);
    EXPECT_EQ(found, -1);
    end = 96;  // unit 3 is finished
    set.ForEachBit_FindNextSetBit(found, nullptr, &start, &end, &wantSet);
    EXPECT_EQ(found, 100);

    // Unit-wise search agrees with the bit-by-bit walk over many starts.
    KBitSet mixed = Make({0, 1, 2, 40, 41, 77, 300, 301, 302, 900, 5000, 5031});
    for (int s = 0; s < 5100; s += 7)
    {
        std::vector<Visit> visits;
        int from = s;
        mixed.ForEachBit(&Record, &visits, &from, nullptr, &wantSet);
        int expectSet = -1;
        for (const Visit& v : visits)
            if (v.isSet)
            {
                expectSet = v.index;
                break;
            }
        mixed.ForEachBit_FindNextSetBit(found, nullptr, &from, nullptr, &wantSet);
        ASSERT_EQ(found, expectSet) << s;

        visits.clear();
        mixed.ForEachBit(&Record, &visits, &from, nullptr, nullptr);
        int expectUnset = -1;
        for (const Visit& v : visits)
            if (!v.isSet)
            {
                expectUnset = v.index;
                break;
            }
        mixed.ForEachBit_FindNextSetBit(found, nullptr, &from, nullptr, &wantUnset);
        ASSERT_EQ(found, expectUnset) << s;
    }
}

TEST(KBitSetTest, WalkOrderGapsAndStops)
{
    // Bit 64 only: a segment of unit 2, after a gap of 64 unset indexes.
    KBitSet set = Make({64});
    EXPECT_EQ(PrintBits(set, nullptr, nullptr, nullptr), std::string(64, '0') + "1" + std::string(31, '0'));
    bool skip = true;
    EXPECT_EQ(PrintBits(set, nullptr, nullptr, &skip), "1" + std::string(31, '0'));

    // Start inside the gap, end inside the segment's unit.
    int start = 60, end = 70;
    EXPECT_EQ(PrintBits(set, &start, &end, nullptr), "0000" "1" + std::string(31, '0'));
    // An end inside the gap stops after the unit that holds it.
    end = 10;
    EXPECT_EQ(PrintBits(set, nullptr, &end, nullptr), std::string(32, '0'));

    // Two segments; the walk stops after the unit holding the end.
    KBitSet two = Make({1, 10000});
    end = 5000;
    std::vector<Visit> visits;
    EXPECT_TRUE(two.ForEachBit(&Record, &visits, nullptr, &end, &skip));
    ASSERT_EQ(visits.size(), 32u);
    EXPECT_TRUE(visits[1].isSet);
    visits.clear();
    EXPECT_TRUE(two.ForEachBit(&Record, &visits, nullptr, nullptr, &skip));
    ASSERT_EQ(visits.size(), 64u);
    EXPECT_EQ(visits[32].index, 9984);
    EXPECT_TRUE(visits[48].isSet);

    // A visitor that answers false stops the walk.
    int calls = 0;
    EXPECT_FALSE(two.ForEachBit(&StopAtThird, &calls));
    EXPECT_EQ(calls, 3);

    // Empty set: nothing to walk.
    KBitSet empty;
    EXPECT_EQ(PrintBits(empty, nullptr, nullptr, nullptr), "");
}

TEST(KBitSetTest, PrintExactText)
{
    KBitSet set = Make({1});
    KString text("> ");
    set.Print(text);
    // Memory: the set (16 bytes), the table header (16) with one slot (8),
    // one segment of one unit (12 + 4).
    char expected[256];
    std::snprintf(expected, sizeof expected,
                  "> this:%p, SegmentsCount:1, BitsCount:1, MemUsage:56 bytes {\n", static_cast<void*>(&set));
    EXPECT_EQ(std::string(text.ToChars()), std::string(expected) + "01" + std::string(30, '0') + "\n}");

    KBitSet empty;
    KString none;
    empty.Print(none);
    std::snprintf(expected, sizeof expected,
                  "this:%p, SegmentsCount:0, BitsCount:0, MemUsage:16 bytes {\n\n}", static_cast<void*>(&empty));
    EXPECT_EQ(std::string(none.ToChars()), expected);

    // Three segments: the table has doubled to 4 slots (one empty).
    KBitSet three = Make({0, 5000, 10000});
    KString stats;
    three.PrintStatistics(stats);
    std::snprintf(expected, sizeof expected, "this:%p, SegmentsCount:4, BitsCount:3, MemUsage:%d bytes",
                  static_cast<void*>(&three), 16 + 16 + 4 * 8 + 3 * 16);
    EXPECT_EQ(std::string(stats.ToChars()), expected);
}

TEST(KBitSetTest, AlgebraMatchesReference)
{
    const std::vector<int> a = {1, 5, 40, 300, 10000, 10031, 70000};
    const std::vector<int> b = {5, 41, 300, 5000, 10001, 10031};
    const std::set<int> sa(a.begin(), a.end()), sb(b.begin(), b.end());
    auto reference = [&](int op) {
        std::set<int> r;
        for (int x : sa)
        {
            const bool inB = sb.count(x) != 0;
            if ((op == KBitSet::eAnd && inB) || (op == KBitSet::eAndNot && !inB) ||
                op == KBitSet::eOr || (op == KBitSet::eXor && !inB))
                r.insert(x);
        }
        if (op == KBitSet::eOr || op == KBitSet::eXor)
            for (int x : sb)
                if (!sa.count(x))
                    r.insert(x);
        return r;
    };

    const KBitSet right = Make(b);
    for (int op = KBitSet::eAnd; op <= KBitSet::eXor; ++op)
    {
        KBitSet left = Make(a);
        left.ApplyOp(op, right);
        EXPECT_EQ(Bits(left), reference(op)) << op;
        EXPECT_EQ(left.GetCountOfSetBits(), static_cast<int>(reference(op).size())) << op;
        EXPECT_EQ(Bits(right), sb) << op;  // the operand is never touched
    }
    KBitSet left = Make(a);
    left.ApplyOp(7, right);  // not an operation
    EXPECT_EQ(Bits(left), sa);
}

TEST(KBitSetTest, AlgebraWithItselfAndEmptySets)
{
    const std::set<int> bits = {2, 33, 400, 9000};
    KBitSet x = Make({2, 33, 400, 9000});
    x.And(x);
    x.Or(x);
    EXPECT_EQ(Bits(x), bits);
    x.Xor(x);
    EXPECT_EQ(x.GetCountOfSetBits(), 0);
    EXPECT_EQ(x.GetSegmentCount(), 0);
    x = Make({2, 33, 400, 9000});
    x.AndNot(x);
    EXPECT_EQ(x.GetSegmentCount(), 0);

    // A copy shares the table: the same answers, and the copy survives.
    x = Make({2, 33, 400, 9000});
    KBitSet y = x;
    x.And(y);
    EXPECT_EQ(Bits(x), bits);
    x.Xor(y);
    EXPECT_EQ(x.GetSegmentCount(), 0);
    EXPECT_EQ(Bits(y), bits);

    KBitSet empty;
    KBitSet z = y;
    z.Or(empty);
    z.AndNot(empty);
    z.Xor(empty);
    EXPECT_EQ(Bits(z), bits);
    z.And(empty);
    EXPECT_EQ(z.GetSegmentCount(), 0);
    empty.And(y);
    empty.AndNot(y);
    EXPECT_EQ(empty.GetSegmentCount(), 0);
    empty.Or(y);
    EXPECT_EQ(Bits(empty), bits);
    KBitSet w;
    w.Xor(y);
    EXPECT_EQ(Bits(w), bits);
    EXPECT_EQ(Bits(y), bits);
}

TEST(KBitSetTest, RandomOperationsAgreeWithReference)
{
    unsigned int seed = 2024;
    auto next = [&seed](unsigned int range) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % range;
    };
    KBitSet sets[3];
    std::set<int> model[3];
    for (int step = 0; step < 3000; ++step)
    {
        const int which = static_cast<int>(next(3));
        const unsigned int action = next(10);
        // Clustered indexes so that segments meet, merge and stay apart.
        const int index = static_cast<int>(next(4) * 3000 + next(600));
        if (action < 5)
        {
            SetBit(sets[which], index);
            model[which].insert(index);
        }
        else if (action < 7)
        {
            ClearBit(sets[which], index);
            model[which].erase(index);
        }
        else if (action < 9)
        {
            const int other = static_cast<int>(next(3));
            const int op = static_cast<int>(next(4));
            sets[which].ApplyOp(op, sets[other]);
            std::set<int> result;
            const std::set<int>& l = model[which];
            const std::set<int>& r = model[other];
            for (int v : l)
                if ((op == KBitSet::eAnd) == (r.count(v) != 0) || op == KBitSet::eOr)
                    result.insert(v);
            if (op == KBitSet::eOr || op == KBitSet::eXor)
                for (int v : r)
                    if (!l.count(v))
                        result.insert(v);
            model[which] = result;
        }
        else
        {
            const int other = static_cast<int>(next(3));
            sets[which] = sets[other];  // shares storage until a change
            model[which] = model[other];
        }
        for (int k = 0; k < 3; ++k)
        {
            ASSERT_EQ(Bits(sets[k]), model[k]) << "step " << step << " set " << k;
            ASSERT_EQ(sets[k].GetCountOfSetBits(), static_cast<int>(model[k].size()));
        }
        // Segments stay sorted and apart.
        for (int k = 0; k < 3; ++k)
            for (int s = 1; s < sets[k].GetSegmentCount(); ++s)
            {
                KBitSet::KBitSegment* prev = sets[k].GetSegment(s - 1);
                ASSERT_LT(prev->GetFirstUnit() + prev->GetUnitCount() - 1, sets[k].GetSegment(s)->GetFirstUnit());
            }
    }
}

TEST(KBitSetTest, CopiesAreIsolated)
{
    KBitSet a = Make({1, 64, 3000});
    KBitSet b(a);
    // Until a change both read the same table.
    EXPECT_EQ(a.GetSegment(0), b.GetSegment(0));

    SetBit(b, 2);
    EXPECT_EQ(Bits(a), (std::set<int>{1, 64, 3000}));
    EXPECT_EQ(Bits(b), (std::set<int>{1, 2, 64, 3000}));
    EXPECT_NE(a.GetSegment(0), b.GetSegment(0));

    // Clearing a bit that is already clear changes nothing and shares on.
    KBitSet c = a;
    c.GetSegment(0)->UnsetBit(5, c);
    EXPECT_EQ(a.GetSegment(0), c.GetSegment(0));
    c.GetSegment(0)->UnsetBit(64, c);
    EXPECT_EQ(Bits(a), (std::set<int>{1, 64, 3000}));
    EXPECT_EQ(Bits(c), (std::set<int>{1, 3000}));

    // Growth, merging and the algebra on a copy leave the original alone.
    KBitSet d = a;
    SetBit(d, 200);      // grows the first segment
    SetBit(d, 2000);     // new segment between the two
    d.Xor(Make({1, 3000, 3001}));
    EXPECT_EQ(Bits(d), (std::set<int>{64, 200, 2000, 3001}));
    EXPECT_EQ(Bits(a), (std::set<int>{1, 64, 3000}));

    KBitSet e = a;
    e.And(Make({64}));
    EXPECT_EQ(Bits(e), (std::set<int>{64}));
    EXPECT_EQ(Bits(a), (std::set<int>{1, 64, 3000}));

    // Assignment, self-assignment and clearing a copy.
    KBitSet f;
    f = a;
    f = f;
    f.Clear();
    EXPECT_EQ(f.GetCountOfSetBits(), 0);
    EXPECT_EQ(Bits(a), (std::set<int>{1, 64, 3000}));
    EXPECT_EQ(a.GetCountOfSetBits(), 3);
}

TEST(KBitSetTest, StorageFollowsLibraryStartAndStop)
{
    // Before start-up the sets use a stand-in pool.
    KMemoryReusePool::DestroyAll();
    KBitSet before = Make({7, 700});
    ASSERT_NE(KBitSet::GetBVPool(), nullptr);

    ASSERT_TRUE(KMemoryReusePool::InitAll());
    KMemoryReusePool* pool = KBitSet::GetBVPool();
    ASSERT_NE(pool, nullptr);
    EXPECT_GE(KMemoryReusePool::GlobalMemoryReusePools->Find(pool), 1);  // after the default
    EXPECT_EQ(KBitSet::GetBVPool(), pool);
    KBitSet during = Make({1, 2, 3});
    SetBit(before, 9000);  // a set from before start-up keeps working
    KMemoryReusePool::PurgeAll();

    // A set outliving the library's stop keeps working too.
    KMemoryReusePool::DestroyAll();
    SetBit(during, 5000);
    ClearBit(before, 7);
    EXPECT_EQ(Bits(during), (std::set<int>{1, 2, 3, 5000}));
    EXPECT_EQ(Bits(before), (std::set<int>{700, 9000}));
}
