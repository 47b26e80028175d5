#include "formats/dxf/kqoxdxfweld.h"

#include <cmath>
#include <cstring>
#include <functional>

namespace qoxsdk_600 {

namespace {

constexpr double kTolerance = 1e-6;
// Twice the tolerance, so that rounding in the division never puts two equal
// points more than one cell apart.
constexpr double kCell = 2 * kTolerance;

bool Equal(const KQoxVector4& a, const KQoxVector4& b)
{
    return std::fabs(a[0] - b[0]) <= kTolerance && std::fabs(a[1] - b[1]) <= kTolerance &&
           std::fabs(a[2] - b[2]) <= kTolerance;
}

} // namespace

size_t KDxfWeldIndex::CellHash::operator()(const Cell& c) const
{
    std::hash<double> h;
    size_t seed = h(c.x);
    seed ^= h(c.y) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    seed ^= h(c.z) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    return seed;
}

bool KDxfWeldIndex::CellOf(const KQoxVector4& point, Cell& cell)
{
    if (!std::isfinite(point[0]) || !std::isfinite(point[1]) || !std::isfinite(point[2]))
        return false;
    cell = {std::floor(point[0] / kCell), std::floor(point[1] / kCell), std::floor(point[2] / kCell)};
    // -0.0 and 0.0 must share a cell.
    cell.x += 0.0, cell.y += 0.0, cell.z += 0.0;
    return std::isfinite(cell.x) && std::isfinite(cell.y) && std::isfinite(cell.z);
}

int KDxfWeldIndex::Find(const std::vector<KQoxVector4>& points, const KQoxVector4& point) const
{
    Cell centre;
    if (!CellOf(point, centre))
        return -1;
    int best = -1;
    // Equal points lie in the same or a neighbouring cell; where cells are
    // wider than one unit apart (huge coordinates) neighbours coincide.
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
            for (int dz = -1; dz <= 1; ++dz)
            {
                const Cell cell{centre.x + dx, centre.y + dy, centre.z + dz};
                auto found = mCells.find(cell);
                if (found == mCells.end())
                    continue;
                for (int index : found->second)
                {
                    if (best >= 0 && index >= best)
                        break;
                    if (Equal(points[static_cast<size_t>(index)], point))
                    {
                        best = index;
                        break;
                    }
                }
            }
    return best;
}

void KDxfWeldIndex::Add(const KQoxVector4& point, int index)
{
    Cell cell;
    if (CellOf(point, cell))
        mCells[cell].push_back(index);
}

} // namespace qoxsdk_600
