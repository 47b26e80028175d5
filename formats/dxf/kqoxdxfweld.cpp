#include "formats/dxf/kqoxdxfweld.h"

#include <cmath>
#include <cstring>

namespace qoxsdk_600 {

namespace {

constexpr double kTolerance = 1e-6;
// Cells ten tolerances wide, centred on multiples of their width so that
// round coordinates sit in the middle of a cell.
constexpr double kCell = 10 * kTolerance;
// A point this far (in cells) from its cell's centre may have equal points
// in the neighbouring cell: the tolerance plus a margin for rounding.
constexpr double kNearEdge = 0.5 - 2 * kTolerance / kCell;
// Cells per unit: a point's position in cells is a product, not a quotient.
// It may differ from the quotient in the last bit, far inside the margin
// above, and every point is placed the same way.
constexpr double kCellsPerUnit = 1e5;
static_assert(kCell * kCellsPerUnit > 0.999999 && kCell * kCellsPerUnit < 1.000001, "cells per unit");

bool Equal(const KQoxVector4& a, const KQoxVector4& b)
{
    return std::fabs(a[0] - b[0]) <= kTolerance && std::fabs(a[1] - b[1]) <= kTolerance &&
           std::fabs(a[2] - b[2]) <= kTolerance;
}

// std::floor without a library call where a 64-bit integer holds the value.
double Floor(double x)
{
    if (!(std::fabs(x) < 4503599627370496.0)) // 2^52, and NaN
        return std::floor(x);
    const double t = static_cast<double>(static_cast<int64_t>(x));
    return t > x ? t - 1.0 : t;
}

} // namespace

uint32_t KDxfWeldIndex::Tag(const Cell& cell)
{
    // The keys are whole numbers: as integers (their bit patterns past the
    // integer range) they are mixed by Mix.
    auto whole = [](double key) {
        if (std::fabs(key) < 9.0e18)
            return static_cast<uint64_t>(static_cast<int64_t>(key));
        uint64_t bits;
        std::memcpy(&bits, &key, sizeof(bits));
        return bits;
    };
    return Mix(whole(cell.x), whole(cell.y), whole(cell.z));
}

uint32_t KDxfWeldIndex::Mix(uint64_t x, uint64_t y, uint64_t z)
{
    // Combined by odd multipliers and the sum mixed once (the finaliser of
    // MurmurHash3), so that neighbouring cells spread over the whole table.
    uint64_t h = x * 0x9E3779B97F4A7C15ULL + y * 0xC2B2AE3D27D4EB4FULL + z * 0x165667B19E3779F9ULL;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ULL;
    h ^= h >> 33;
    return static_cast<uint32_t>(h);
}

size_t KDxfWeldIndex::Probe(uint32_t tag) const
{
    const size_t mask = mSlots.size() - 1;
    size_t at = tag & mask;
    while (mSlots[at].mHead >= 0 && mSlots[at].mTag != tag)
        at = (at + 1) & mask;
    return at;
}

void KDxfWeldIndex::Grow()
{
    std::vector<Slot, KDxfLargeAllocator<Slot>> old;
    old.swap(mSlots);
    mSlots.assign(old.empty() ? 1024 : old.size() * 2, Slot{0, -1});
    for (const Slot& slot : old)
        if (slot.mHead >= 0)
            mSlots[Probe(slot.mTag)] = slot;
}

bool KDxfWeldIndex::CellOf(const KQoxVector4& point, Cell& cell)
{
    if (!std::isfinite(point[0]) || !std::isfinite(point[1]) || !std::isfinite(point[2]))
        return false;
    // Adding 0.0 turns -0.0 into 0.0, so both share a cell.
    cell = {Floor(point[0] * kCellsPerUnit + 0.5) + 0.0, Floor(point[1] * kCellsPerUnit + 0.5) + 0.0,
            Floor(point[2] * kCellsPerUnit + 0.5) + 0.0};
    return std::isfinite(cell.x) && std::isfinite(cell.y) && std::isfinite(cell.z);
}

int KDxfWeldIndex::Find(const KDxfPoints& points, const KQoxVector4& point) const
{
    Cell centre;
    if (mUsed == 0 || !CellOf(point, centre))
        return -1;
    // Per axis, the neighbour cell to visit too (0 when the point lies well
    // inside its cell).
    double step[3];
    const double key[3] = {centre.x, centre.y, centre.z};
    for (int axis = 0; axis < 3; ++axis)
    {
        const double offset = point[axis] * kCellsPerUnit - key[axis];
        step[axis] = offset > kNearEdge ? 1 : offset < -kNearEdge ? -1 : 0;
    }
    int best = -1;
    for (int mask = 0; mask < 8; ++mask)
    {
        if (((mask & 1) && !step[0]) || ((mask & 2) && !step[1]) || ((mask & 4) && !step[2]))
            continue;
        const Cell cell{centre.x + ((mask & 1) ? step[0] : 0), centre.y + ((mask & 2) ? step[1] : 0),
                        centre.z + ((mask & 4) ? step[2] : 0)};
        // Newest first: the lowest equal index is the last one met.
        for (int index = mSlots[Probe(Tag(cell))].mHead; index >= 0; index = NextOf(index))
            if ((best < 0 || index < best) && Equal(points[static_cast<size_t>(index)], point))
                best = index;
    }
    return best;
}

void KDxfWeldIndex::Add(const KQoxVector4& point, int index)
{
    Cell cell;
    if (index < 0 || !CellOf(point, cell))
        return;
    // Keep the table at most half full so probe runs stay short.
    if (2 * (mUsed + 1) > mSlots.size())
        Grow();
    const uint32_t tag = Tag(cell);
    Slot& slot = mSlots[Probe(tag)];
    if (slot.mHead < 0)
    {
        slot = Slot{tag, index};
        ++mUsed;
        return;
    }
    // Indices arrive in ascending order; a repeat keeps the chain as is.
    if (index <= slot.mHead)
        return;
    Link(index, slot.mHead);
    slot.mHead = index;
}

void KDxfWeldIndex::Link(int index, int next)
{
    // Only indices behind another in their chain take a link; those past
    // the end of mNext have none.
    const size_t size = static_cast<size_t>(index) + 1;
    if (mNext.size() < size)
    {
        DxfMakeRoom(mNext, size - mNext.size());
        mNext.resize(size, -1);
    }
    mNext[static_cast<size_t>(index)] = next;
}

KDxfWeldIndex::Key KDxfWeldIndex::KeyOf(const KQoxVector4& point)
{
    // The usual point, every coordinate in cells well within the range of
    // a 64-bit integer: its cell is found as integers in one pass, which
    // gives what CellOf and Tag give (Floor's steps, Tag's conversions).
    Key key;
    uint64_t whole[3];
    bool inside = true;
    int axis = 0;
    for (; axis < 3; ++axis)
    {
        const double scaled = point[axis] * kCellsPerUnit;
        const double shifted = scaled + 0.5;
        if (!(std::fabs(shifted) < 4503599627370496.0)) // 2^52, and NaN
            break;
        int64_t cell = static_cast<int64_t>(shifted);
        if (static_cast<double>(cell) > shifted)
            --cell;
        inside = inside && std::fabs(scaled - static_cast<double>(cell)) <= kNearEdge;
        whole[axis] = static_cast<uint64_t>(cell);
    }
    if (axis == 3)
    {
        key.mInside = inside;
        key.mTag = Mix(whole[0], whole[1], whole[2]);
        return key;
    }
    Cell cell;
    key.mInside = CellOf(point, cell);
    if (!key.mInside)
        return key;
    const double centre[3] = {cell.x, cell.y, cell.z};
    for (axis = 0; key.mInside && axis < 3; ++axis)
        key.mInside = std::fabs(point[axis] * kCellsPerUnit - centre[axis]) <= kNearEdge;
    key.mTag = Tag(cell);
    return key;
}

void KDxfWeldIndex::Prefetch(const Key& key) const
{
    if (key.mInside && !mSlots.empty())
        __builtin_prefetch(&mSlots[key.mTag & (mSlots.size() - 1)]);
}

int KDxfWeldIndex::FindOrAdd(KDxfPoints& points, const KQoxVector4& point, const Key& key)
{
    if (!key.mInside)
    {
        // Near a cell's edge (or not a number): the general search.
        const int found = Find(points, point);
        if (found >= 0)
            return found;
        const int index = static_cast<int>(points.size());
        DxfMakeRoom(points, 1);
        points.push_back(point);
        Add(point, index);
        return index;
    }
    // Well inside one cell: its chain alone holds every equal point, and the
    // slot found is where a new point goes.
    if (2 * (mUsed + 1) > mSlots.size())
        Grow();
    const uint32_t tag = key.mTag;
    Slot& slot = mSlots[Probe(tag)];
    int best = -1;
    for (int index = slot.mHead; index >= 0; index = NextOf(index))
        if (Equal(points[static_cast<size_t>(index)], point))
            best = index;
    if (best >= 0)
        return best;
    const int index = static_cast<int>(points.size());
    DxfMakeRoom(points, 1);
    points.push_back(point);
    if (slot.mHead < 0)
    {
        slot = Slot{tag, index};
        ++mUsed;
    }
    else
    {
        Link(index, slot.mHead);
        slot.mHead = index;
    }
    return index;
}

} // namespace qoxsdk_600
