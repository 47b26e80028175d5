#ifndef QOX_FORMATS_DXF_KQOXDXFWELD_H
#define QOX_FORMATS_DXF_KQOXDXFWELD_H

// Finds the first stored point equal to a given one (X, Y and Z each within
// 1e-6, W ignored) through a grid of hashed cells, giving the same answer as a
// search from the first point without its quadratic cost. The cells live in one
// flat open-addressed table so a lookup touches one or two cache lines.

#include <cstdint>
#include <vector>

#include "base/kmath_types.h"

namespace qoxsdk_600 {

class KDxfWeldIndex
{
public:
    // The lowest index of an equal point among those added, or -1.
    int Find(const std::vector<KQoxVector4>& points, const KQoxVector4& point) const;
    // Records points[index]; points with a non-finite coordinate equal nothing
    // and are not recorded.
    void Add(const KQoxVector4& point, int index);

private:
    struct Cell
    {
        double x, y, z;
    };
    // Bit patterns of a cell's three keys; -0.0 never reaches a key.
    struct Key
    {
        uint64_t x, y, z;
        bool operator==(const Key& o) const { return x == o.x && y == o.y && z == o.z; }
    };
    static bool CellOf(const KQoxVector4& point, Cell& cell);
    static Key KeyOf(const Cell& cell);
    static uint64_t Hash(const Key& key);
    // Per cell the first and last index added; mNext chains the indices of a
    // cell in ascending order (-1 ends a chain), so a cell costs no allocation.
    // mFirst < 0 marks an empty slot.
    struct Slot
    {
        Key mKey;
        int mFirst, mLast;
    };
    // The slot holding key, or the empty slot where it would go.
    size_t Probe(const Key& key, uint64_t hash) const;
    void Grow();
    std::vector<Slot> mSlots; // size is zero or a power of two
    size_t mUsed = 0;
    std::vector<int> mNext;
};

} // namespace qoxsdk_600

#endif
