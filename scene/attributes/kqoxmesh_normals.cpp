// Mesh normals, and the splitting and merging of points for hard edges.

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/kmath_types.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxshape.h"

namespace qoxsdk_600 {

namespace {

// Corner normal of a corner: e2 x e1 counter-clockwise, e1 x e2 clockwise,
// with w = 1.
KQoxVector4 CornerNormal(const KQoxVector4& pCorner, const KQoxVector4& pPrevious, const KQoxVector4& pNext, bool pCW)
{
    const KQoxVector4 e1(pPrevious[0] - pCorner[0], pPrevious[1] - pCorner[1], pPrevious[2] - pCorner[2]);
    const KQoxVector4 e2(pNext[0] - pCorner[0], pNext[1] - pCorner[1], pNext[2] - pCorner[2]);
    const KQoxVector4& a = pCW ? e1 : e2;
    const KQoxVector4& b = pCW ? e2 : e1;
    return KQoxVector4(a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0], 1.0);
}

void NormalizeXYZ(KQoxVector4& pV)
{
    const double length = std::sqrt(pV[0] * pV[0] + pV[1] * pV[1] + pV[2] * pV[2]);
    if (length > 0.0)
    {
        pV[0] /= length;
        pV[1] /= length;
        pV[2] /= length;
    }
}

// A grid of cells 16 tolerances wide: two points that compare equal lie in
// the same cell, or in the neighbouring one along an axis where a point lies
// within the tolerance of its cell's side, so only those cells are searched.
// This gives the pairs the all-pairs comparison gives.
class KPointGrid
{
public:
    KPointGrid(const KQoxVector4* pPoints, int pCount)
        : mPoints(pPoints)
        , mNext(static_cast<size_t>(pCount > 0 ? pCount : 0), -1)
    {
        // An open-addressed table at most half full: one slot per cell,
        // holding the latest point inserted there; earlier points of the
        // cell follow through mNext.
        size_t capacity = 16;
        while (capacity < 2 * static_cast<size_t>(pCount > 0 ? pCount : 0))
            capacity *= 2;
        mKeys.assign(capacity, 0);
        mHeads.assign(capacity, -1);
        mMask = capacity - 1;
    }

    // False for a point that equals nothing (a NaN coordinate).
    static bool Comparable(const KQoxVector4& pPoint)
    {
        return !std::isnan(pPoint[0]) && !std::isnan(pPoint[1]) && !std::isnan(pPoint[2]);
    }

    void Insert(int pIndex)
    {
        int64_t cell[3];
        for (int a = 0; a < 3; ++a)
            cell[a] = Quantize(mPoints[pIndex][a]);
        const size_t slot = Slot(Key(cell));
        mKeys[slot] = Key(cell);
        mNext[static_cast<size_t>(pIndex)] = mHeads[slot];
        mHeads[slot] = pIndex;
    }

    // Calls pVisit(index) for every inserted point equal to the point.
    template <class F>
    void ForEachEqual(const KQoxVector4& pPoint, F pVisit) const
    {
        int64_t centre[3];
        int low[3], high[3];
        for (int a = 0; a < 3; ++a)
        {
            const double x = pPoint[a];
            centre[a] = Quantize(x);
            // Rounding of large coordinates widens the margin a little.
            const double margin = 2.0 * K_MATH_EQUAL_TOLERANCE + std::fabs(x) * 1e-15;
            const double start = static_cast<double>(centre[a]) * kCell;
            low[a] = (x - start <= margin) ? -1 : 0;
            high[a] = (start + kCell - x <= margin) ? 1 : 0;
        }
        for (int dx = low[0]; dx <= high[0]; ++dx)
            for (int dy = low[1]; dy <= high[1]; ++dy)
                for (int dz = low[2]; dz <= high[2]; ++dz)
                {
                    const int64_t cell[3] = {centre[0] + dx, centre[1] + dy, centre[2] + dz};
                    for (int index = mHeads[Slot(Key(cell))]; index >= 0; index = mNext[static_cast<size_t>(index)])
                        if (mPoints[index] == pPoint)
                            pVisit(index);
                }
    }

private:
    static constexpr double kCell = 16.0 * 1e-6; // 16 times K_MATH_EQUAL_TOLERANCE

    static int64_t Quantize(double pValue)
    {
        // Huge and infinite values share the end cells; they are still
        // compared exactly.
        const double q = std::floor(pValue / kCell);
        const double limit = 4.0e18;
        if (!(q > -limit))
            return static_cast<int64_t>(-limit);
        if (!(q < limit))
            return static_cast<int64_t>(limit);
        return static_cast<int64_t>(q);
    }
    static uint64_t Key(const int64_t* pCell)
    {
        uint64_t h = 1469598103934665603ull;
        for (int a = 0; a < 3; ++a)
            h = (h ^ static_cast<uint64_t>(pCell[a])) * 1099511628211ull;
        return h;
    }

    // The slot of the cell's key, or the empty slot where it goes.
    size_t Slot(uint64_t pKey) const
    {
        size_t slot = static_cast<size_t>((pKey * 0x9E3779B97F4A7C15ull) >> 20) & mMask;
        while (mHeads[slot] >= 0 && mKeys[slot] != pKey)
            slot = (slot + 1) & mMask;
        return slot;
    }

    const KQoxVector4* mPoints;
    std::vector<uint64_t> mKeys;
    std::vector<int> mHeads; // -1: empty slot
    std::vector<int> mNext;
    size_t mMask = 0;
};

} // namespace

// ---- Normals --------------------------------------------------------------------------

// Sums of the corner normals of every control point and their counts.
static void SumCornerNormals(const KQoxMesh& pMesh, bool pCW, std::vector<KQoxVector4>& pSums,
                             std::vector<int>& pCounts)
{
    const int points = pMesh.GetControlPointsCount();
    const KQoxVector4* P = pMesh.GetControlPoints();
    const int* vertices = pMesh.GetPolygonVertices();
    pSums.assign(static_cast<size_t>(points), KQoxVector4(0.0, 0.0, 0.0, 0.0));
    pCounts.assign(static_cast<size_t>(points), 0);
    for (int p = 0; p < pMesh.GetPolygonCount(); ++p)
    {
        const int first = pMesh.GetPolygonVertexIndex(p);
        const int size = pMesh.GetPolygonSize(p);
        for (int v = 0; v < size; ++v)
        {
            const int c = vertices[first + v];
            const int previous = vertices[first + (v + size - 1) % size];
            const int next = vertices[first + (v + 1) % size];
            // A corner naming a point outside the mesh has no normal.
            if (c < 0 || c >= points || previous < 0 || previous >= points || next < 0 || next >= points)
                continue;
            const KQoxVector4 corner = CornerNormal(P[c], P[previous], P[next], pCW);
            for (int i = 0; i < 4; ++i)
                pSums[static_cast<size_t>(c)][i] += corner[i];
            ++pCounts[static_cast<size_t>(c)];
        }
    }
}

static KQoxVector4 AverageNormal(const KQoxVector4& pSum, int pCount)
{
    if (pCount == 0)
        return KQoxVector4(0.0, 0.0, 0.0, 1.0);
    KQoxVector4 normal = pSum / static_cast<double>(pCount);
    NormalizeXYZ(normal);
    return normal;
}

void KQoxMesh::ComputeVertexNormals(bool pCW)
{
    std::vector<KQoxVector4> sums;
    std::vector<int> counts;
    SumCornerNormals(*this, pCW, sums, counts);
    InitNormals(0);
    KQoxVector4* normals = GetNormals();
    const int count = GetLayer(0)->GetNormals()->mDirectArray.GetCount();
    for (int i = 0; i < count && i < static_cast<int>(sums.size()); ++i)
        normals[i] = AverageNormal(sums[static_cast<size_t>(i)], counts[static_cast<size_t>(i)]);
}

bool KQoxMesh::CheckIfVertexNormalsCCW()
{
    KQoxLayer* layer = GetLayer(0);
    KQoxLayerElementNormal* stored = layer ? layer->GetNormals() : nullptr;
    if (!stored || stored->mDirectArray.GetCount() == 0)
        return false;
    std::vector<KQoxVector4> sums;
    std::vector<int> counts;
    SumCornerNormals(*this, false, sums, counts);
    const int count = std::min(stored->mDirectArray.GetCount(), static_cast<int>(sums.size()));
    for (int i = 0; i < count; ++i)
    {
        const KQoxVector4 computed = AverageNormal(sums[static_cast<size_t>(i)], counts[static_cast<size_t>(i)]);
        const KQoxVector4& normal = stored->mDirectArray[i];
        const double dx = normal[0] - computed[0], dy = normal[1] - computed[1], dz = normal[2] - computed[2];
        if (std::sqrt(dx * dx + dy * dy + dz * dz) < 0.01)
            return true;
    }
    return false;
}

// ---- Splitting -------------------------------------------------------------------------

void KQoxMesh::BuildSplitList(KArrayTemplate<KArrayTemplate<KDuplicateVertex>*>& pList, ESplitObject pObject)
{
    if (pObject != eBY_CONTROL_POINT)
        return;
    const int points = GetControlPointsCount();
    const int base = pList.GetCount();
    for (int i = 0; i < points; ++i)
        pList.Add(new KArrayTemplate<KDuplicateVertex>(4));
    int nextFree = points;
    KQoxVector4 normal(0.0, 0.0, 0.0, 0.0);
    int position = 0;
    for (int p = 0; p < GetPolygonCount(); ++p)
    {
        const int size = GetPolygonSize(p);
        for (int v = 0; v < size; ++v, ++position)
        {
            const int c = mPolygonVertices[position];
            if (c < 0 || c >= points)
                continue; // a vertex naming no point has no use list
            KArrayTemplate<KDuplicateVertex>& uses = *pList[base + c];
            GetPolygonVertexNormal(p, v, normal);
            KDuplicateVertex use;
            use.lVertexPolyIndex = position;
            use.lNewIndex = uses.GetCount() == 0 ? c : nextFree++;
            use.lNormal = normal;
            uses.Add(use);
        }
    }
}

void KQoxMesh::SplitPointsForHardEdge(KArrayTemplate<KArrayTemplate<KDuplicateVertex>*>& pList)
{
    const int listCount = pList.GetCount();
    const int n = GetControlPointsCount();

    // Links: every later use of a point gets the point's weights.
    int skipped = 0;
    for (int l = 0; l < GetLinkCount(); ++l)
    {
        KQoxLink* link = mLinkArray[l];
        const int pairs = link->GetControlPointIndicesCount();
        for (int k = 0; k < pairs; ++k)
        {
            const int index = link->GetControlPointIndices()[k];
            const double weight = link->GetControlPointWeights()[k];
            if (index < 0 || index >= listCount || index >= n)
            {
                ++skipped;
                continue;
            }
            const KArrayTemplate<KDuplicateVertex>& uses = *pList[index];
            for (int u = 1; u < uses.GetCount(); ++u)
                link->AddControlPointIndex(uses[u].lNewIndex, weight);
        }
    }
    if (skipped > 0)
    {
        char text[128];
        snprintf(text, sizeof(text), "%d link control point indices outside the geometry were skipped.", skipped);
        mError.SetLastError(ePARAMETER_OUT_OF_RANGE, text);
    }

    // Points: the first use keeps the point, every later use gets a copy.
    for (int i = 0; i < n && i < listCount; ++i)
    {
        const KArrayTemplate<KDuplicateVertex>& uses = *pList[i];
        if (uses.GetCount() == 0)
            continue;
        KQoxVector4* normals = GetNormals();
        if (normals && i < GetLayer(0)->GetNormals()->mDirectArray.GetCount())
            normals[i] = uses[0].lNormal;
        const KQoxVector4 point = mControlPoints[i];
        for (int u = 1; u < uses.GetCount(); ++u)
        {
            SetControlPointAt(point, uses[u].lNormal, uses[u].lNewIndex);
            if (mPolygonVertices.ValidateIndex(uses[u].lVertexPolyIndex))
                mPolygonVertices[uses[u].lVertexPolyIndex] = uses[u].lNewIndex;
        }
    }

    // Shapes follow: each copy of a point takes the point's target.
    const int m = GetControlPointsCount();
    for (int s = 0; s < GetShapeCount(); ++s)
    {
        KQoxShape* shape = mShapeArray[s];
        KArrayTemplate<KQoxVector4> points(shape->GetControlPointArray());
        KArrayTemplate<KQoxVector4> normals(256);
        if (KQoxVector4* shapeNormals = shape->GetNormals())
            for (int i = 0; i < shape->GetLayer(0)->GetNormals()->mDirectArray.GetCount(); ++i)
                normals.Add(shapeNormals[i]);
        shape->InitControlPoints(m);
        shape->InitNormals(m);
        KQoxVector4* targetPoints = shape->GetControlPoints();
        KQoxVector4* targetNormals = shape->GetNormals();
        const int targetCount = shape->GetControlPointsCount();
        const int targetNormalCount = shape->GetLayer(0)->GetNormals()->mDirectArray.GetCount();
        auto place = [&](int pTo, int pFrom) {
            if (pTo < 0)
                return;
            if (pFrom < points.GetCount() && pTo < targetCount)
                targetPoints[pTo] = points[pFrom];
            if (pFrom < normals.GetCount() && pTo < targetNormalCount)
                targetNormals[pTo] = normals[pFrom];
        };
        for (int i = 0; i < n; ++i)
        {
            place(i, i);
            if (i < listCount)
                for (int u = 1; u < pList[i]->GetCount(); ++u)
                    place((*pList[i])[u].lNewIndex, i);
        }
    }

    SetNormalsMappingMode(KQoxLayerElement::eBY_CONTROL_POINT);
}

// ---- Merging --------------------------------------------------------------------------------

bool KQoxMesh::BuildMergeList(KArrayTemplate<int>& pList, ESplitObject pObject, bool pAll)
{
    if (pObject != eBY_CONTROL_POINT)
        return false;
    const int n = GetControlPointsCount();
    const KQoxVector4* P = GetControlPoints();
    pList.Empty();
    pList.SetCount(n); // every entry 0, unassigned

    // The scan stops, when not all points are asked for, at the first point
    // index reached by a duplicate found so far. firstLater[i] is the first
    // later point equal to point i (the duplicate that point i's scan finds
    // first); a backward pass gives it.
    int stop = n;
    if (!pAll)
    {
        std::vector<int> firstLater(static_cast<size_t>(n), INT_MAX);
        KPointGrid grid(P, n);
        for (int i = n - 1; i >= 0; --i)
        {
            if (!KPointGrid::Comparable(P[i]))
                continue;
            int best = INT_MAX;
            grid.ForEachEqual(P[i], [&](int pIndex) {
                if (pIndex < best)
                    best = pIndex;
            });
            firstLater[static_cast<size_t>(i)] = best;
            grid.Insert(i);
        }
        int firstDuplicate = INT_MAX;
        for (int i = 0; i < n; ++i)
        {
            if (firstDuplicate <= i)
            {
                stop = i;
                break;
            }
            if (firstLater[static_cast<size_t>(i)] < firstDuplicate)
                firstDuplicate = firstLater[static_cast<size_t>(i)];
        }
    }

    // Forward pass: a point merges into the latest earlier scanned point
    // equal to it; every entry then names a point that stays, following the
    // chain through the point it merges into.
    bool found = false;
    KPointGrid grid(P, n);
    for (int m = 0; m < n; ++m)
    {
        int latest = -1;
        if (KPointGrid::Comparable(P[m]))
            grid.ForEachEqual(P[m], [&](int pIndex) {
                if (pIndex > latest)
                    latest = pIndex;
            });
        if (latest >= 0)
        {
            found = true;
            pList[m] = pList[latest];
        }
        else if (m <= stop)
            pList[m] = m;
        if (m < stop && KPointGrid::Comparable(P[m]))
            grid.Insert(m);
    }
    return found;
}

void KQoxMesh::MergePointsForPolygonVerteNormals(KArrayTemplate<int>& pList)
{
    const int n = GetControlPointsCount();
    if (pList.GetCount() < n)
        return;
    int firstMerged = INT_MAX;
    for (int i = 0; i < n; ++i)
    {
        if (pList[i] < 0 || pList[i] >= n)
            return; // an entry naming no point: nothing is merged
        if (pList[i] != i && i < firstMerged)
            firstMerged = i;
    }
    // Every point from the first merged one on must merge into a point that
    // stays; a list that would leave polygon vertices naming removed points
    // is refused.
    if (firstMerged != INT_MAX)
        for (int i = firstMerged; i < n; ++i)
            if (pList[i] >= firstMerged)
                return;

    // First polygon-vertex position of each point.
    const int vertexCount = mPolygonVertices.GetCount();
    std::vector<int> firstUse(static_cast<size_t>(n), -1);
    for (int k = vertexCount - 1; k >= 0; --k)
    {
        const int c = mPolygonVertices[k];
        if (c >= 0 && c < n)
            firstUse[static_cast<size_t>(c)] = k;
    }

    KQoxVector4* normals = GetNormals();
    const int normalCount = normals ? GetLayer(0)->GetNormals()->mDirectArray.GetCount() : 0;
    std::vector<KQoxVector4> reordered(static_cast<size_t>(std::max(n, vertexCount)), KQoxVector4(0, 0, 0, 0));
    for (int i = 0; i < n; ++i)
    {
        const int k = firstUse[static_cast<size_t>(i)];
        if (k < 0)
            continue;
        if (i < normalCount)
            reordered[static_cast<size_t>(k)] = normals[i];
        mPolygonVertices[k] = pList[i];
    }
    for (int j = 0; j < n && j < normalCount; ++j)
        normals[j] = reordered[static_cast<size_t>(j)];

    if (firstMerged != INT_MAX)
    {
        for (int l = 0; l < GetLinkCount(); ++l)
            mLinkArray[l]->RemoveControlPointIndicesFrom(firstMerged);
        mControlPoints.SetCount(firstMerged);
    }

    const int m = GetControlPointsCount();
    for (int s = 0; s < GetShapeCount(); ++s)
    {
        KQoxShape* shape = mShapeArray[s];
        KArrayTemplate<KQoxVector4> points(shape->GetControlPointArray());
        KArrayTemplate<KQoxVector4> shapeNormals(256);
        if (KQoxVector4* old = shape->GetNormals())
            for (int i = 0; i < shape->GetLayer(0)->GetNormals()->mDirectArray.GetCount(); ++i)
                shapeNormals.Add(old[i]);
        shape->InitControlPoints(m);
        shape->InitNormals(m);
        for (int i = 0; i < m; ++i)
        {
            if (i < points.GetCount())
                shape->GetControlPoints()[i] = points[i];
            if (i < shapeNormals.GetCount())
                shape->GetNormals()[i] = shapeNormals[i];
        }
    }

    if (firstMerged != INT_MAX)
        SetNormalsMappingMode(KQoxLayerElement::eBY_POLYGON_VERTEX);
}

} // namespace qoxsdk_600
