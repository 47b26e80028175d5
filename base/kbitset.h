#ifndef QOX_BASE_KBITSET_H
#define QOX_BASE_KBITSET_H

// KBitSet: a sparse, copy-on-write set of non-negative integer indexes.
//
// Bits live in 32-bit units; runs of consecutive units form segments, kept in
// a slot table in ascending order. Segments that lie close together are
// merged. The slot table is shared between copies of a set and each segment
// block between slot tables; a block is duplicated before it is written when
// anyone else still holds it. All storage comes from one process-wide memory
// reuse pool (GetBVPool).
//
// Setting bit b is done by the owner as
//     seg = set.GuarantySegment(KBitSet::KXRange(b >> 5, 1));
//     unit = (b >> 5) - seg->GetFirstUnit(); word = seg->GetUnit(unit);
//     if (!(word & mask)) seg->SafeAssign(set, unit, word | mask);
// and cleared with seg->UnsetBit(b, set).

#include "base/kstring.h"

class KMemoryReusePool;

// Number of set bits of a unit.
int kBCount(unsigned int unit);

// A walk visitor: index, its value, the caller's parameter. False stops the walk.
typedef bool (*KBitSetVisitor)(int index, bool isSet, void* param);

// Stops at the first unset index and writes it into *(int*)param.
bool KBitSetFindFirstUnsetBit(int index, bool isSet, void* param);

class KBitSet
{
public:
    // Base-2 logarithm of the unit width (32 bits).
    enum
    {
        kUnitPowerOf2 = 5
    };
    // Segments within this many units of a request are merged with it ...
    enum
    {
        SegmentDistanceThresholdInUnits = 256 / 32 + 1
    };
    // ... over a window of at least this many units.
    enum
    {
        SegmentMinSizeInUnits = 64 / 32 + 1
    };

    enum kBitwiseOperation
    {
        eAnd = 0,
        eAndNot = 1,
        eOr = 2,
        eXor = 3
    };

    // A run of units.
    struct KXRange
    {
        KXRange(int first = 0, int count = 0)
            : mFirst(first)
            , mCount(count)
        {}
        int mFirst; // first unit index
        int mCount; // unit count
    };

    // A slot of the segment table: one pointer to a shared segment block.
    class KBitSegment
    {
    public:
        // Segment block header; mCount units follow it.
        struct KBlock
        {
            int mFirst;
            int mCount;
            int mRefCount;
        };

        int GetFirstUnit() const { return mBlock ? mBlock->mFirst : 0; }
        int GetUnitCount() const { return mBlock ? mBlock->mCount : 0; }
        // Unit i of the segment (0 <= i < unit count).
        unsigned int GetUnit(int i) const { return reinterpret_cast<const unsigned int*>(mBlock + 1)[i]; }

        // Stores value as unit i of this segment of `set`, un-sharing the
        // slot table and then the segment first when others hold them.
        // Returns the slot that now holds the segment (the table may have
        // moved), or null when memory ran out (nothing stored).
        KBitSegment* SafeAssign(KBitSet& set, int unitIndexInSegment, unsigned int value);
        // Clears bit b, which this segment of `set` covers; nothing when the
        // bit is already clear or outside the segment.
        void UnsetBit(int b, KBitSet& set);
        // The highest set bit as an absolute index; false when none is set.
        bool GetLastSetBitAbsoluteIndex(int& index) const;

        // Run operations of the set algebra, applied to units
        // [unitFrom, unitFrom + count) of this segment, against the same
        // units of `other` when given. Each stores only words that change.
        // False ends the walk (memory ran out).
        bool FillWith(KBitSet& set, int unitFrom, int count, const KBitSegment* other, unsigned int value);
        bool AndWith(KBitSet& set, int unitFrom, int count, const KBitSegment* other, unsigned int value);
        bool IntersectionAnd(KBitSet& set, int unitFrom, int count, const KBitSegment* other, unsigned int value);
        bool IntersectionAndNot(KBitSet& set, int unitFrom, int count, const KBitSegment* other, unsigned int value);
        bool IntersectionOr(KBitSet& set, int unitFrom, int count, const KBitSegment* other, unsigned int value);
        bool IntersectionXor(KBitSet& set, int unitFrom, int count, const KBitSegment* other, unsigned int value);

    private:
        friend class KBitSet;
        enum Combine
        {
            eFill,
            eKeepAnd,
            eAnd,
            eAndNot,
            eOr,
            eXor
        };
        bool Apply(Combine how, KBitSet& set, int unitFrom, int count, const KBitSegment* other, unsigned int value);

        // Builds a block for the run holding the units of the old block that
        // fall in it (the rest cleared, or all ones when fill), and drops the
        // old block. False when memory ran out (segment unchanged).
        bool Resize(const KXRange& range, bool fill);
        // Gives this slot a private copy of a shared block.
        bool CopyOnWrite();
        // Drops one reference; frees the block at zero.
        void Release();
        static void DestroyInternal(KBlock* block);

        KBlock* mBlock;
    };

    // Segment operation called by ForEachSegmentPair.
    typedef bool (KBitSegment::*SegmentOperation)(KBitSet& set, int unitFrom, int count, const KBitSegment* other,
                                                  unsigned int value);

    // Operations for the runs of a pair walk: only in this set, only in the
    // other, in both (each may be null); then the target set and a word value.
    struct KXFESPParam
    {
        SegmentOperation mThisOnly;
        SegmentOperation mOtherOnly;
        SegmentOperation mBoth;
        KBitSet* mTarget;
        unsigned int mValue;
    };

    KBitSet();
    KBitSet(const KBitSet& other);
    KBitSet& operator=(const KBitSet& other);
    ~KBitSet();

    // Number of set bits, counted once and cached until the next change.
    int GetCountOfSetBits();

    void And(const KBitSet& other);
    void AndNot(const KBitSet& other);
    void Or(const KBitSet& other);
    void Xor(const KBitSet& other);
    // Dispatches on kBitwiseOperation; other values do nothing.
    void ApplyOp(int op, const KBitSet& other);
    // Back to the empty set.
    void Clear();

    // The segment covering the whole run, growing, merging or creating one as
    // needed. Null for an invalid run or when memory ran out.
    KBitSegment* GuarantySegment(const KXRange& range);

    // Segments in ascending order (non-empty slots).
    int GetSegmentCount() const;
    KBitSegment* GetSegment(int index);

    // Walks the indexes from *start (0 when null): the unset indexes in the
    // gap before each segment (unless *flag is true), then each bit of the
    // segment. With an end index the walk finishes the unit holding it and
    // stops there. True when the walk ran to its end, false when the visitor
    // stopped it.
    bool ForEachBit(KBitSetVisitor visitor, void* param, int* start = nullptr, int* end = nullptr,
                    bool* flag = nullptr) const;
    bool ForEachBit_FindFirstUnsetBit(void* param, int* start = nullptr, int* end = nullptr,
                                      bool* flag = nullptr) const;
    // First index whose value is *flag (any index when flag is null) into
    // found, -1 when none was met. The parameter is passed through unused.
    bool ForEachBit_FindNextSetBit(int& found, void* param, int* start = nullptr, int* end = nullptr,
                                   bool* flag = nullptr) const;
    bool ForEachBit_PrintBit(KString& text, int* start = nullptr, int* end = nullptr, bool* flag = nullptr) const;
    // Appends "1" or "0" to the KString at param.
    static bool PrintBit(int index, bool isSet, void* param);

    // Appends "this:%p, SegmentsCount:%d, BitsCount:%d, MemUsage:%d bytes".
    void PrintStatistics(KString& text);
    // Statistics, " {\n", one digit per bit up to the end of the last segment, "\n}".
    void Print(KString& text);

    // The pool of all bit-set storage.
    static KMemoryReusePool* GetBVPool();

private:
    struct KTable
    {
        int mZero;
        int mSlotCount;
        int mRefCount;
        int mPad;
    };

    KBitSegment* Slots() const;
    int SlotCount() const { return mTable ? mTable->mSlotCount : 0; }
    int UsedSlotCount() const;

    bool CopyOnWrite();
    void ReleaseTable();
    static void DestroyInternal(KTable* table);
    // A private table with at least one free slot; false when memory ran out.
    bool MakeRoomForSlot();

    KBitSegment* CreateSegment(const KXRange& range, bool fill);
    KBitSegment* GuarantySegmentGrow(int firstSlot, int lastSlot, int lo, int hi);
    // Gives this set storage for every unit other stores; false when memory ran out.
    bool GuarantySegmentsOf(const KBitSet& other);
    void RemoveSegment(int slot);
    bool ForEachSegmentPair(const KBitSet& other, KXFESPParam& param);
    // First index in walk order whose value is `value` (any index when
    // anyValue), scanning whole units; -1 when the walk meets none.
    int FindFirst(bool value, bool anyValue, int* start, int* end, bool* flag) const;

    KTable* mTable;
    int mCount; // cached count of set bits, -1 when not counted
};

#endif
