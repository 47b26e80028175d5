#ifndef QOX_FORMATS_DXF_KQOXDXFWELD_H
#define QOX_FORMATS_DXF_KQOXDXFWELD_H

// Finds the first stored point equal to a given one (X, Y and Z each within
// 1e-6, W ignored) through a grid of hashed cells, giving the same answer as a
// search from the first point without its quadratic cost. The cells live in one
// flat open-addressed table so a lookup touches one or two cache lines.

#include <cstdint>
#include <vector>

#include "base/kmath_types.h"
#include "formats/dxf/kqoxdxfmemory.h"

namespace qoxsdk_600 {

// The points a weld index numbers, in the reader's large-array memory.
using KDxfPoints = std::vector<KQoxVector4, KDxfLargeAllocator<KQoxVector4>>;

class KDxfWeldIndex
{
public:
    // The lowest index of an equal point among those added, or -1.
    int Find(const KDxfPoints& points, const KQoxVector4& point) const;
    // Records points[index]; points with a non-finite coordinate equal nothing
    // and are not recorded.
    void Add(const KQoxVector4& point, int index);
    struct Cell
    {
        double x, y, z;
    };
    // Where a point is looked up: its cell's hash, and whether the point
    // lies well inside the cell (no neighbour can hold an equal one); the
    // hash is used only then.
    struct Key
    {
        uint32_t mTag = 0;
        bool mInside = false;
    };
    static Key KeyOf(const KQoxVector4& point);
    // Asks the memory for the slot of a key ahead of its look-up, so that
    // the look-ups of a face's corners wait for memory together.
    void Prefetch(const Key& key) const;
    // Find, and when nothing is found, appends the point to points, records
    // it (Add) and gives its index; one look-up in the usual case. key is
    // KeyOf(point).
    int FindOrAdd(KDxfPoints& points, const KQoxVector4& point, const Key& key);
    int FindOrAdd(KDxfPoints& points, const KQoxVector4& point) { return FindOrAdd(points, point, KeyOf(point)); }

private:
    static bool CellOf(const KQoxVector4& point, Cell& cell);
    // 32 bits of a hash of the cell's three keys (-0.0 never reaches a key).
    static uint32_t Tag(const Cell& cell);
    // The hash of the three keys as integers.
    static uint32_t Mix(uint64_t x, uint64_t y, uint64_t z);
    // Per cell the index added last; mNext chains each cell's indices from
    // the newest down (-1, or no entry, ends a chain), so a cell costs no
    // allocation. A slot keeps 32 bits of the cell's hash, not the cell, to
    // stay small: cells sharing them share a chain, which costs time but
    // never gives a wrong answer, as every index on a chain is compared
    // point by point. mHead < 0 marks an empty slot.
    struct Slot
    {
        uint32_t mTag;
        int mHead;
    };
    // The slot holding tag, or the empty slot where it would go; the tag
    // also picks the first slot tried, so growing needs no cell.
    size_t Probe(uint32_t tag) const;
    void Grow();
    // The index after index in its chain, -1 for none; and the setting of
    // it, made once, when index is added behind the chain's head. Most
    // points head their cell's chain and never take a link.
    int NextOf(int index) const
    {
        return static_cast<size_t>(index) < mNext.size() ? mNext[static_cast<size_t>(index)] : -1;
    }
    void Link(int index, int next);
    // Size zero or a power of two. Look-ups land on slots at random: in
    // huge pages they rarely miss the address translation cache too.
    std::vector<Slot, KDxfLargeAllocator<Slot>> mSlots;
    size_t mUsed = 0;
    std::vector<int, KDxfLargeAllocator<int>> mNext;
};

} // namespace qoxsdk_600

#endif
