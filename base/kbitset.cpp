#include "base/kbitset.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "base/kmemorypool.h"

namespace {

// Bit indexes are ints, so units stop at 2^31 / 32.
const int64_t kMaxUnits = int64_t(1) << (31 - KBitSet::kUnitPowerOf2);

KMemoryReusePool::KXAllocStd& StdAllocator()
{
    // Never destroyed: sets may be released during static destruction.
    static KMemoryReusePool::KXAllocStd* allocator = new KMemoryReusePool::KXAllocStd;
    return *allocator;
}

void* PoolAlloc(unsigned int size)
{
    KMemoryReusePool* pool = KBitSet::GetBVPool();
    return pool ? pool->Alloc(StdAllocator(), size) : nullptr;
}

void* PoolRealloc(void* p, unsigned int size)
{
    KMemoryReusePool* pool = KBitSet::GetBVPool();
    return pool ? pool->Realloc(StdAllocator(), p, size) : nullptr;
}

void PoolFree(void* p)
{
    if (!p)
        return;
    if (KMemoryReusePool* pool = KBitSet::GetBVPool())
        pool->Free(StdAllocator(), p);
}

typedef KBitSet::KBitSegment::KBlock KBlock;

inline unsigned int* Units(KBlock* block)
{
    return reinterpret_cast<unsigned int*>(block + 1);
}

inline unsigned int BlockBytes(int unitCount)
{
    return static_cast<unsigned int>(sizeof(KBlock) + sizeof(unsigned int) * size_t(unitCount));
}

inline int64_t BlockEnd(const KBlock* block)
{
    return int64_t(block->mFirst) + block->mCount;
}

} // namespace

int kBCount(unsigned int unit)
{
    return __builtin_popcount(unit);
}

bool KBitSetFindFirstUnsetBit(int index, bool isSet, void* param)
{
    if (isSet)
        return true;
    *static_cast<int*>(param) = index;
    return false;
}

// ===========================================================================
// The shared pool

KMemoryReusePool* KBitSet::GetBVPool()
{
    static std::mutex lock;
    static KMemoryReusePool* pool = nullptr;
    static unsigned int generation = 0;
    static KMemoryReusePool* standalone = nullptr;

    std::lock_guard<std::mutex> guard(lock);
    const unsigned int current = KMemoryReusePool::GetListGeneration();
    if (pool && generation == current)
        return pool;
    // The pool lives in the library's list, so PurgeAll and DestroyAll reach
    // it. Before the list exists (or after it is gone) a pool of the same
    // layout that is never destroyed stands in; blocks carry their own size,
    // so either pool takes back the other's blocks.
    KMemoryReusePool* created = KMemoryReusePool::Create(131072, 2, 0, 2097152);
    if (!created)
    {
        if (!standalone)
            standalone = new KMemoryReusePool(131072, 2, 0, 2097152);
        created = standalone;
    }
    pool = created;
    generation = current;
    return pool;
}

// ===========================================================================
// Segments

void KBitSet::KBitSegment::DestroyInternal(KBlock* block)
{
    PoolFree(block);
}

void KBitSet::KBitSegment::Release()
{
    if (mBlock && --mBlock->mRefCount <= 0)
        DestroyInternal(mBlock);
    mBlock = nullptr;
}

bool KBitSet::KBitSegment::CopyOnWrite()
{
    if (!mBlock || mBlock->mRefCount <= 1)
        return true;
    const unsigned int bytes = BlockBytes(mBlock->mCount);
    KBlock* copy = static_cast<KBlock*>(PoolAlloc(bytes));
    if (!copy)
        return false;
    std::memcpy(copy, mBlock, bytes);
    copy->mRefCount = 1;
    --mBlock->mRefCount;
    mBlock = copy;
    return true;
}

bool KBitSet::KBitSegment::Resize(const KXRange& range, bool fill)
{
    KBlock* block = static_cast<KBlock*>(PoolAlloc(BlockBytes(range.mCount)));
    if (!block)
        return false;
    unsigned int* units = Units(block);
    std::memset(units, fill ? 0xFF : 0x00, sizeof(unsigned int) * size_t(range.mCount));
    if (mBlock)
    {
        const int64_t from = std::max<int64_t>(range.mFirst, mBlock->mFirst);
        const int64_t to = std::min<int64_t>(int64_t(range.mFirst) + range.mCount, BlockEnd(mBlock));
        if (to > from)
            std::memcpy(units + (from - range.mFirst), Units(mBlock) + (from - mBlock->mFirst),
                        sizeof(unsigned int) * size_t(to - from));
        Release();
    }
    block->mFirst = range.mFirst;
    block->mCount = range.mCount;
    block->mRefCount = 1;
    mBlock = block;
    return true;
}

KBitSet::KBitSegment* KBitSet::KBitSegment::SafeAssign(KBitSet& set, int unitIndexInSegment, unsigned int value)
{
    if (!mBlock || unitIndexInSegment < 0 || unitIndexInSegment >= mBlock->mCount || !set.mTable)
        return nullptr;
    KBitSegment* segment = this;
    if (set.mTable->mRefCount >= 2)
    {
        const ptrdiff_t slot = this - set.Slots();
        if (slot < 0 || slot >= set.SlotCount())
            return nullptr; // not a segment of this set
        if (!set.CopyOnWrite())
            return nullptr;
        segment = set.Slots() + slot;
    }
    if (!segment->CopyOnWrite())
        return nullptr;
    Units(segment->mBlock)[unitIndexInSegment] = value;
    set.mCount = -1;
    return segment;
}

void KBitSet::KBitSegment::UnsetBit(int b, KBitSet& set)
{
    if (!mBlock || b < 0)
        return;
    const int i = (b >> kUnitPowerOf2) - mBlock->mFirst;
    if (i < 0 || i >= mBlock->mCount)
        return;
    const unsigned int mask = 1u << (b & 31);
    const unsigned int word = Units(mBlock)[i];
    if (word & mask)
        SafeAssign(set, i, word & ~mask);
}

bool KBitSet::KBitSegment::GetLastSetBitAbsoluteIndex(int& index) const
{
    if (!mBlock)
        return false;
    const unsigned int* units = Units(mBlock);
    for (int i = mBlock->mCount - 1; i >= 0; --i)
    {
        if (units[i] != 0)
        {
            const int bit = 31 - __builtin_clz(units[i]);
            index = ((mBlock->mFirst + i) << kUnitPowerOf2) + bit;
            return true;
        }
    }
    return false;
}

bool KBitSet::KBitSegment::Apply(Combine how, KBitSet& set, int unitFrom, int count, const KBitSegment* other,
                                 unsigned int value)
{
    KBitSegment* segment = this;
    for (int u = unitFrom; u < unitFrom + count; ++u)
    {
        const int i = u - segment->mBlock->mFirst;
        const unsigned int word = Units(segment->mBlock)[i];
        const unsigned int theirs = other && other->mBlock ? Units(other->mBlock)[u - other->mBlock->mFirst] : 0u;
        unsigned int result = word;
        switch (how)
        {
        case eFill: result = value; break;
        case eKeepAnd: result = word & value; break;
        case eAnd: result = word & theirs; break;
        case eAndNot: result = word & ~theirs; break;
        case eOr: result = word | theirs; break;
        case eXor: result = word ^ theirs; break;
        }
        if (result != word)
        {
            segment = segment->SafeAssign(set, i, result);
            if (!segment)
                return false;
        }
    }
    return true;
}

bool KBitSet::KBitSegment::FillWith(KBitSet& set, int unitFrom, int count, const KBitSegment*, unsigned int value)
{
    return Apply(eFill, set, unitFrom, count, nullptr, value);
}

bool KBitSet::KBitSegment::AndWith(KBitSet& set, int unitFrom, int count, const KBitSegment*, unsigned int value)
{
    return Apply(eKeepAnd, set, unitFrom, count, nullptr, value);
}

bool KBitSet::KBitSegment::IntersectionAnd(KBitSet& set, int unitFrom, int count, const KBitSegment* other,
                                           unsigned int value)
{
    return Apply(eAnd, set, unitFrom, count, other, value);
}

bool KBitSet::KBitSegment::IntersectionAndNot(KBitSet& set, int unitFrom, int count, const KBitSegment* other,
                                              unsigned int value)
{
    return Apply(eAndNot, set, unitFrom, count, other, value);
}

bool KBitSet::KBitSegment::IntersectionOr(KBitSet& set, int unitFrom, int count, const KBitSegment* other,
                                          unsigned int value)
{
    return Apply(eOr, set, unitFrom, count, other, value);
}

bool KBitSet::KBitSegment::IntersectionXor(KBitSet& set, int unitFrom, int count, const KBitSegment* other,
                                           unsigned int value)
{
    return Apply(eXor, set, unitFrom, count, other, value);
}

// ===========================================================================
// The set and its slot table

KBitSet::KBitSet()
    : mTable(nullptr)
    , mCount(-1)
{}

KBitSet::KBitSet(const KBitSet& other)
    : mTable(other.mTable)
    , mCount(other.mCount)
{
    if (mTable)
        ++mTable->mRefCount;
}

KBitSet& KBitSet::operator=(const KBitSet& other)
{
    if (&other != this)
    {
        if (other.mTable)
            ++other.mTable->mRefCount;
        ReleaseTable();
        mTable = other.mTable;
        mCount = other.mCount;
    }
    return *this;
}

KBitSet::~KBitSet()
{
    ReleaseTable();
}

KBitSet::KBitSegment* KBitSet::Slots() const
{
    return mTable ? reinterpret_cast<KBitSegment*>(mTable + 1) : nullptr;
}

int KBitSet::UsedSlotCount() const
{
    const int n = SlotCount();
    const KBitSegment* slots = Slots();
    int used = 0;
    while (used < n && slots[used].mBlock)
        ++used;
    return used;
}

int KBitSet::GetSegmentCount() const
{
    return UsedSlotCount();
}

KBitSet::KBitSegment* KBitSet::GetSegment(int index)
{
    return index >= 0 && index < UsedSlotCount() ? Slots() + index : nullptr;
}

void KBitSet::DestroyInternal(KTable* table)
{
    KBitSegment* slots = reinterpret_cast<KBitSegment*>(table + 1);
    for (int i = 0; i < table->mSlotCount; ++i)
        slots[i].Release();
    PoolFree(table);
}

void KBitSet::ReleaseTable()
{
    if (mTable && --mTable->mRefCount <= 0)
        DestroyInternal(mTable);
    mTable = nullptr;
}

bool KBitSet::CopyOnWrite()
{
    if (!mTable || mTable->mRefCount <= 1)
        return true;
    const unsigned int bytes =
        static_cast<unsigned int>(sizeof(KTable) + sizeof(KBitSegment) * size_t(mTable->mSlotCount));
    KTable* copy = static_cast<KTable*>(PoolAlloc(bytes));
    if (!copy)
        return false;
    std::memcpy(copy, mTable, bytes);
    copy->mRefCount = 1;
    KBitSegment* slots = reinterpret_cast<KBitSegment*>(copy + 1);
    for (int i = 0; i < copy->mSlotCount; ++i)
        if (slots[i].mBlock)
            ++slots[i].mBlock->mRefCount;
    --mTable->mRefCount;
    mTable = copy;
    return true;
}

bool KBitSet::MakeRoomForSlot()
{
    if (!mTable)
    {
        KTable* table = static_cast<KTable*>(PoolAlloc(sizeof(KTable) + sizeof(KBitSegment)));
        if (!table)
            return false;
        table->mZero = 0;
        table->mSlotCount = 1;
        table->mRefCount = 1;
        table->mPad = 0;
        mTable = table;
        Slots()[0].mBlock = nullptr;
        return true;
    }
    if (!CopyOnWrite())
        return false;
    const int n = mTable->mSlotCount;
    if (UsedSlotCount() < n)
        return true;
    const int doubled = n * 2;
    KTable* table = static_cast<KTable*>(
        PoolRealloc(mTable, static_cast<unsigned int>(sizeof(KTable) + sizeof(KBitSegment) * size_t(doubled))));
    if (!table)
        return false; // the old table stays
    mTable = table;
    KBitSegment* slots = Slots();
    for (int i = n; i < doubled; ++i)
        slots[i].mBlock = nullptr;
    mTable->mSlotCount = doubled;
    return true;
}

KBitSet::KBitSegment* KBitSet::CreateSegment(const KXRange& range, bool fill)
{
    if (!MakeRoomForSlot())
        return nullptr;
    KBitSegment* slots = Slots();
    const int used = UsedSlotCount();
    int pos = 0;
    while (pos < used && slots[pos].mBlock->mFirst < range.mFirst)
        ++pos;
    std::memmove(slots + pos + 1, slots + pos, sizeof(KBitSegment) * size_t(used - pos));
    slots[pos].mBlock = nullptr;
    if (!slots[pos].Resize(range, fill))
    {
        std::memmove(slots + pos, slots + pos + 1, sizeof(KBitSegment) * size_t(used - pos));
        slots[used].mBlock = nullptr;
        return nullptr;
    }
    return slots + pos;
}

void KBitSet::RemoveSegment(int slot)
{
    const int used = UsedSlotCount();
    if (slot < 0 || slot >= used)
        return;
    KBitSegment* slots = Slots();
    slots[slot].Release();
    std::memmove(slots + slot, slots + slot + 1, sizeof(KBitSegment) * size_t(used - slot - 1));
    slots[used - 1].mBlock = nullptr;
}

KBitSet::KBitSegment* KBitSet::GuarantySegment(const KXRange& range)
{
    if (range.mFirst < 0 || range.mCount <= 0 || int64_t(range.mFirst) + range.mCount > kMaxUnits)
        return nullptr;
    const int64_t first = range.mFirst;
    const int64_t end = first + range.mCount;
    const int used = UsedSlotCount();
    KBitSegment* slots = Slots();

    for (int k = 0; k < used; ++k)
    {
        const KBlock* block = slots[k].mBlock;
        if (block->mFirst <= first && BlockEnd(block) >= end)
            return slots + k;
    }

    // Segments that reach into the merge window are merged with the request,
    // together with any segment the grown run then overlaps.
    const int64_t windowStart = std::max<int64_t>(0, first - SegmentDistanceThresholdInUnits);
    const int64_t windowEnd =
        windowStart + std::max<int64_t>(SegmentMinSizeInUnits, range.mCount + 2 * SegmentDistanceThresholdInUnits);
    int firstHit = -1, lastHit = -1;
    int64_t lo = first, hi = end;
    for (int k = 0; k < used; ++k)
    {
        const KBlock* block = slots[k].mBlock;
        const int64_t s0 = block->mFirst, s1 = BlockEnd(block);
        const bool inWindow = s0 < windowEnd && s1 > windowStart;
        const bool overlaps = s0 < hi && s1 > lo;
        if (inWindow || overlaps)
        {
            if (firstHit < 0)
                firstHit = k;
            lastHit = k;
            lo = std::min(lo, s0);
            hi = std::max(hi, s1);
        }
        else if (s0 >= std::max(windowEnd, hi))
        {
            break;
        }
    }
    if (firstHit >= 0)
        return GuarantySegmentGrow(firstHit, lastHit, static_cast<int>(lo), static_cast<int>(hi));
    return CreateSegment(range, false);
}

KBitSet::KBitSegment* KBitSet::GuarantySegmentGrow(int firstSlot, int lastSlot, int lo, int hi)
{
    if (!CopyOnWrite())
        return nullptr;
    KBitSegment* slots = Slots();
    if (!slots[firstSlot].Resize(KXRange(lo, hi - lo), false))
        return nullptr;
    KBlock* target = slots[firstSlot].mBlock;
    for (int k = firstSlot + 1; k <= lastSlot; ++k)
    {
        KBlock* merged = slots[k].mBlock;
        std::memcpy(Units(target) + (merged->mFirst - lo), Units(merged),
                    sizeof(unsigned int) * size_t(merged->mCount));
    }
    for (int k = firstSlot + 1; k <= lastSlot; ++k)
        RemoveSegment(firstSlot + 1);
    return Slots() + firstSlot;
}

int KBitSet::GetCountOfSetBits()
{
    if (mCount == -1)
    {
        int count = 0;
        const int used = UsedSlotCount();
        KBitSegment* slots = Slots();
        for (int k = 0; k < used; ++k)
        {
            const unsigned int* units = Units(slots[k].mBlock);
            for (int i = 0; i < slots[k].mBlock->mCount; ++i)
                count += kBCount(units[i]);
        }
        mCount = count;
    }
    return mCount;
}

// ===========================================================================
// Set algebra

bool KBitSet::ForEachSegmentPair(const KBitSet& other, KXFESPParam& param)
{
    KBitSet& target = param.mTarget ? *param.mTarget : *this;
    const int usedThis = UsedSlotCount();
    const int usedOther = other.UsedSlotCount();
    int i = 0, j = 0;
    int cursorThis = 0, cursorOther = 0; // next unit not yet walked in each set

    while (i < usedThis || j < usedOther)
    {
        // Slots are looked up again each time: an operation may have
        // un-shared (moved) this set's table.
        KBitSegment* mine = i < usedThis ? Slots() + i : nullptr;
        KBitSegment* theirs = j < usedOther ? other.Slots() + j : nullptr;
        int a0 = 0, a1 = 0, b0 = 0, b1 = 0;
        if (mine)
        {
            a0 = std::max(mine->mBlock->mFirst, cursorThis);
            a1 = mine->mBlock->mFirst + mine->mBlock->mCount;
        }
        if (theirs)
        {
            b0 = std::max(theirs->mBlock->mFirst, cursorOther);
            b1 = theirs->mBlock->mFirst + theirs->mBlock->mCount;
        }

        if (mine && (!theirs || a0 < b0))
        {
            const int runEnd = theirs ? std::min(a1, b0) : a1;
            if (param.mThisOnly && !(mine->*param.mThisOnly)(target, a0, runEnd - a0, nullptr, param.mValue))
                return false;
            cursorThis = runEnd;
            if (cursorThis >= a1)
                ++i;
        }
        else if (theirs && (!mine || b0 < a0))
        {
            const int runEnd = mine ? std::min(b1, a0) : b1;
            if (param.mOtherOnly && !(theirs->*param.mOtherOnly)(target, b0, runEnd - b0, nullptr, param.mValue))
                return false;
            cursorOther = runEnd;
            if (cursorOther >= b1)
                ++j;
        }
        else
        {
            const int runEnd = std::min(a1, b1);
            if (param.mBoth && !(mine->*param.mBoth)(target, a0, runEnd - a0, theirs, param.mValue))
                return false;
            cursorThis = cursorOther = runEnd;
            if (cursorThis >= a1)
                ++i;
            if (cursorOther >= b1)
                ++j;
        }
    }
    return true;
}

void KBitSet::And(const KBitSet& other)
{
    if (&other == this || mTable == other.mTable || !mTable)
        return;
    if (!other.mTable)
    {
        Clear();
        return;
    }
    mCount = -1;
    KXFESPParam param = {&KBitSegment::FillWith, nullptr, &KBitSegment::IntersectionAnd, this, 0u};
    ForEachSegmentPair(other, param);
}

void KBitSet::AndNot(const KBitSet& other)
{
    if (&other == this || mTable == other.mTable)
    {
        Clear();
        return;
    }
    if (!mTable || !other.mTable)
        return;
    mCount = -1;
    KXFESPParam param = {&KBitSegment::AndWith, nullptr, &KBitSegment::IntersectionAndNot, this, ~0u};
    ForEachSegmentPair(other, param);
}

bool KBitSet::GuarantySegmentsOf(const KBitSet& other)
{
    const int used = other.UsedSlotCount();
    for (int k = 0; k < used; ++k)
    {
        const KBlock* block = other.Slots()[k].mBlock;
        if (!GuarantySegment(KXRange(block->mFirst, block->mCount)))
            return false;
    }
    return true;
}

void KBitSet::Or(const KBitSet& other)
{
    if (&other == this || mTable == other.mTable || !other.mTable)
        return;
    mCount = -1;
    if (!GuarantySegmentsOf(other))
        return;
    KXFESPParam param = {nullptr, nullptr, &KBitSegment::IntersectionOr, this, 0u};
    ForEachSegmentPair(other, param);
}

void KBitSet::Xor(const KBitSet& other)
{
    if (&other == this || mTable == other.mTable)
    {
        Clear();
        return;
    }
    if (!other.mTable)
        return;
    mCount = -1;
    if (!GuarantySegmentsOf(other))
        return;
    KXFESPParam param = {nullptr, nullptr, &KBitSegment::IntersectionXor, this, 0u};
    ForEachSegmentPair(other, param);
}

void KBitSet::ApplyOp(int op, const KBitSet& other)
{
    switch (op)
    {
    case eAnd: And(other); break;
    case eAndNot: AndNot(other); break;
    case eOr: Or(other); break;
    case eXor: Xor(other); break;
    default: break;
    }
}

void KBitSet::Clear()
{
    mCount = -1;
    if (mTable && mTable->mSlotCount >= 1)
        ReleaseTable();
}

// ===========================================================================
// Walks

bool KBitSet::ForEachBit(KBitSetVisitor visitor, void* param, int* start, int* end, bool* flag) const
{
    int64_t pos = start ? std::max(0, *start) : 0;
    // The end applies by units: the unit holding the end index is finished.
    const int64_t limit = end ? ((int64_t(*end) >> kUnitPowerOf2) + 1) << kUnitPowerOf2 : INT64_MAX;
    const bool skipGaps = flag && *flag;
    if (pos >= limit)
        return true;

    const int used = UsedSlotCount();
    const KBitSegment* slots = Slots();
    for (int k = 0; k < used; ++k)
    {
        KBlock* block = slots[k].mBlock;
        const int64_t segStart = int64_t(block->mFirst) << kUnitPowerOf2;
        const int64_t segEnd = BlockEnd(block) << kUnitPowerOf2;
        if (segEnd <= pos)
            continue;
        if (!skipGaps)
        {
            const int64_t gapEnd = std::min(segStart, limit);
            for (; pos < gapEnd; ++pos)
                if (!visitor(static_cast<int>(pos), false, param))
                    return false;
        }
        if (segStart >= limit)
            return true;
        pos = std::max(pos, segStart);
        const int64_t stop = std::min(segEnd, limit);
        const unsigned int* units = Units(block);
        for (; pos < stop; ++pos)
        {
            const unsigned int word = units[(pos >> kUnitPowerOf2) - block->mFirst];
            if (!visitor(static_cast<int>(pos), ((word >> (pos & 31)) & 1u) != 0, param))
                return false;
        }
        if (pos >= limit)
            return true;
    }
    return true;
}

int KBitSet::FindFirst(bool value, bool anyValue, int* start, int* end, bool* flag) const
{
    // Same order as ForEachBit, but whole units are tested at once.
    int64_t pos = start ? std::max(0, *start) : 0;
    const int64_t limit = end ? ((int64_t(*end) >> kUnitPowerOf2) + 1) << kUnitPowerOf2 : INT64_MAX;
    const bool skipGaps = flag && *flag;
    if (pos >= limit)
        return -1;

    const int used = UsedSlotCount();
    const KBitSegment* slots = Slots();
    for (int k = 0; k < used; ++k)
    {
        KBlock* block = slots[k].mBlock;
        const int64_t segStart = int64_t(block->mFirst) << kUnitPowerOf2;
        const int64_t segEnd = BlockEnd(block) << kUnitPowerOf2;
        if (segEnd <= pos)
            continue;
        if (!skipGaps && pos < std::min(segStart, limit) && (anyValue || !value))
            return static_cast<int>(pos);
        if (segStart >= limit)
            return -1;
        pos = std::max(pos, segStart);
        const int64_t stop = std::min(segEnd, limit);
        if (anyValue)
            return static_cast<int>(pos);
        const unsigned int* units = Units(block);
        while (pos < stop)
        {
            const int64_t unit = pos >> kUnitPowerOf2;
            unsigned int word = units[unit - block->mFirst];
            if (!value)
                word = ~word;
            word &= ~0u << (pos & 31); // bits before the position
            if (word != 0)
            {
                const int64_t found = (unit << kUnitPowerOf2) + __builtin_ctz(word);
                return found < stop ? static_cast<int>(found) : -1;
            }
            pos = (unit + 1) << kUnitPowerOf2;
        }
        if (pos >= limit)
            return -1;
    }
    return -1;
}

bool KBitSet::ForEachBit_FindFirstUnsetBit(void* param, int* start, int* end, bool* flag) const
{
    const int found = FindFirst(false, false, start, end, flag);
    if (found < 0)
        return true;
    *static_cast<int*>(param) = found;
    return false;
}

bool KBitSet::ForEachBit_FindNextSetBit(int& found, void*, int* start, int* end, bool* flag) const
{
    found = flag ? FindFirst(*flag, false, start, end, flag) : FindFirst(false, true, start, end, flag);
    return found < 0;
}

bool KBitSet::PrintBit(int, bool isSet, void* param)
{
    *static_cast<KString*>(param) += isSet ? "1" : "0";
    return true;
}

bool KBitSet::ForEachBit_PrintBit(KString& text, int* start, int* end, bool* flag) const
{
    return ForEachBit(&KBitSet::PrintBit, &text, start, end, flag);
}

// ===========================================================================
// Printing

void KBitSet::PrintStatistics(KString& text)
{
    const int slots = SlotCount();
    size_t memory = sizeof(KBitSet);
    if (mTable)
    {
        memory += sizeof(KTable) + sizeof(KBitSegment) * size_t(slots);
        const int used = UsedSlotCount();
        for (int k = 0; k < used; ++k)
            memory += BlockBytes(Slots()[k].mBlock->mCount);
    }
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, "this:%p, SegmentsCount:%d, BitsCount:%d, MemUsage:%d bytes",
                  static_cast<void*>(this), slots, GetCountOfSetBits(), static_cast<int>(memory));
    text += buffer;
}

void KBitSet::Print(KString& text)
{
    PrintStatistics(text);
    text += " {\n";
    ForEachBit_PrintBit(text);
    text += "\n}";
}
