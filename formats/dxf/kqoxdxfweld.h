#ifndef QOX_FORMATS_DXF_KQOXDXFWELD_H
#define QOX_FORMATS_DXF_KQOXDXFWELD_H

// Finds the first stored point equal to a given one (X, Y and Z each within
// 1e-6, W ignored) through a grid of hashed cells, giving the same answer as a
// search from the first point without its quadratic cost.

#include <cstdint>
#include <unordered_map>
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
        bool operator==(const Cell& o) const { return x == o.x && y == o.y && z == o.z; }
    };
    struct CellHash
    {
        size_t operator()(const Cell& c) const;
    };
    static bool CellOf(const KQoxVector4& point, Cell& cell);
    // Per cell the first and last index added; mNext chains the indices of a
    // cell in ascending order (-1 ends a chain), so a cell costs no allocation.
    struct Chain
    {
        int mFirst, mLast;
    };
    std::unordered_map<Cell, Chain, CellHash> mCells;
    std::vector<int> mNext;
};

} // namespace qoxsdk_600

#endif
