// Building: each group's faces become one mesh with one control point per
// distinct (position, texture vertex, normal) reference; rational B-spline
// surfaces become NURBS.

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <unordered_map>

#include "formats/obj/kqoxreaderobj.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

KQoxVector4 KQoxReaderObj::ComputeDefaultNormal(const KQoxVector4* points)
{
    KQoxVector4 a = points[1] - points[0];
    KQoxVector4 b = points[2] - points[0];
    KQoxVector4 normal = a.CrossProduct(b);
    normal.Normalize();
    return normal;
}

namespace {

using Corner = KObjMesh::Corner;

// Control points worth gathering on several threads at least.
const int kParallelPoints = 1 << 16;

// The flat normal of a face from its first three positions.
KQoxVector4 FaceNormal(const KObjPodArray<KQoxVector4>& vertices, const Corner* corners)
{
    const KQoxVector4 points[3] = {vertices[corners[0].mVertex], vertices[corners[1].mVertex],
                                   vertices[corners[2].mVertex]};
    return KQoxReaderObj::ComputeDefaultNormal(points);
}

int FaceCount(uint32_t face)
{
    return static_cast<int>(face & KObjMesh::kCountMask);
}

// Waves of points gathered from a list whose pages are given back on the
// way: the more, the less of the list is held beside the mesh's array.
const int kDropWaves = 16;

// Runs of list pages moved at once into the array being filled, at least,
// and moves per wave at most: every move may split the mappings of the list
// and of the array, whose number the system bounds, so that short runs and
// runs past those are given back instead.
const size_t kLeastMovedPages = 16;
const int kMostMovesPerWave = 4;

// Gathers the points from one of the file's lists in number order, each
// run of points in slices on the threads; index(point) is the item of the
// list the point reads (-1: none). With dropping, the points go in waves,
// and after each wave the whole pages of the list no later point reads go
// back to the system, so that the list shrinks as the mesh's array grows.
// With into, the array being filled (items of itemBytes, all of them
// written, in order: the points before number n write the first
// itemsBefore(n) items, the rest write none of those), those pages go where
// the next wave writes instead, as far as they reach: the array's pages are
// not faulted in fresh (itemsBefore is asked in ascending order only). True
// when pages were given back or moved; lost set when moving took pages of
// the array that could not be had again (the array is not to be read or
// written then).
template <class T, class Index, class One, class Before>
bool GatherPoints(KObjPodArray<T>& list, bool dropping, const KObjPodArray<KObjMesh::Point>& entries, int pointCount,
                  int threads, Index&& index, One&& one, void* into, size_t itemBytes, Before&& itemsBefore, bool& lost)
{
    lost = false;
    const size_t slices = pointCount >= kParallelPoints ? kObjPortionsPerThread * static_cast<size_t>(threads) : 1;
    auto gather = [&](int begin, int end) {
        const long long count = end - begin;
        KRunPortions(slices, threads, [&](size_t slice) {
            const int from =
                begin + static_cast<int>(count * static_cast<long long>(slice) / static_cast<long long>(slices));
            const int to =
                begin + static_cast<int>(count * static_cast<long long>(slice + 1) / static_cast<long long>(slices));
            for (int number = from; number < to; ++number)
                one(number, entries[number]);
        });
    };
    const size_t perPage = kObjPageBytes / sizeof(T);
    const size_t pages = list.size() / perPage;
    if (!dropping || pages == 0 || pointCount == 0 || !list.drops_pages())
    {
        gather(0, pointCount);
        return false;
    }
    // Per whole page, the last point reading it, then the wave after which
    // it goes: 0 before the first wave (no point reads it), w + 1 after wave w.
    std::vector<int> bucket(pages, -1);
    for (int number = 0; number < pointCount; ++number)
    {
        const int item = index(entries[number]);
        if (item >= 0 && static_cast<size_t>(item) / perPage < pages)
            bucket[static_cast<size_t>(item) / perPage] = number;
    }
    auto waveBegin = [&](int w) { return static_cast<int>(static_cast<long long>(pointCount) * w / kDropWaves); };
    std::vector<size_t> starts(kDropWaves + 2, 0);
    for (int& b : bucket)
    {
        const int last = b;
        b = 0;
        if (last >= 0)
        {
            int w = static_cast<int>(static_cast<long long>(last) * kDropWaves / pointCount);
            while (w + 1 < kDropWaves && waveBegin(w + 1) <= last)
                ++w;
            while (w > 0 && waveBegin(w) > last)
                --w;
            b = w + 1;
        }
        ++starts[static_cast<size_t>(b) + 1];
    }
    for (size_t b = 1; b < starts.size(); ++b)
        starts[b] += starts[b - 1];
    std::vector<size_t> order(pages);
    {
        std::vector<size_t> at(starts.begin(), starts.end() - 1);
        for (size_t page = 0; page < pages; ++page)
            order[at[static_cast<size_t>(bucket[page])]++] = page;
    }
    // The runs of pages in a row going after each wave, in pages.
    struct Span
    {
        size_t mFirst, mEnd;
    };
    std::vector<Span> spare;
    auto retire = [&](size_t b) {
        for (size_t i = starts[b]; i < starts[b + 1];)
        {
            size_t j = i + 1;
            while (j < starts[b + 1] && order[j] == order[j - 1] + 1)
                ++j;
            spare.push_back(Span{order[i], order[j - 1] + 1});
            i = j;
        }
    };
    // The whole pages of the array that wave w is the first to write.
    const uintptr_t pageMask = kObjPageBytes - 1;
    bool moving = into != nullptr && ObjRoomForMoves(static_cast<size_t>(kMostMovesPerWave) * (kDropWaves + 1));
    std::vector<uintptr_t> firstPages(kDropWaves + 1, 0);
    if (moving)
    {
        const uintptr_t arrayBegin = reinterpret_cast<uintptr_t>(into);
        for (int w = 0; w <= kDropWaves; ++w)
            firstPages[static_cast<size_t>(w)] =
                arrayBegin + static_cast<uintptr_t>(itemsBefore(waveBegin(w))) * itemBytes;
        const uintptr_t lastPage = firstPages.back() & ~pageMask;
        for (uintptr_t& at : firstPages)
            at = std::min((at + pageMask) & ~pageMask, lastPage);
    }
    // Before wave w: the spare pages into the array's pages it writes first
    // (they are written whole by it and the next), the rest given back.
    auto supply = [&](int w) {
        uintptr_t at = moving && w < kDropWaves ? firstPages[static_cast<size_t>(w)] : 0;
        const uintptr_t end = moving && w < kDropWaves ? std::max(at, firstPages[static_cast<size_t>(w) + 1]) : 0;
        char* const base = reinterpret_cast<char*>(list.data());
        int moves = 0;
        for (Span& span : spare)
        {
            const size_t room = (end - at) / kObjPageBytes;
            const size_t n = std::min(span.mEnd - span.mFirst, room);
            if (moving && n >= kLeastMovedPages && moves < kMostMovesPerWave)
            {
                ++moves;
                const EObjMove moved = ObjMovePages(base + span.mFirst * kObjPageBytes, reinterpret_cast<void*>(at), n);
                if (moved == EObjMove::eMOVED)
                {
                    span.mFirst += n;
                    at += n * kObjPageBytes;
                }
                else
                {
                    lost = lost || moved == EObjMove::eLOST;
                    moving = false;
                }
            }
            if (span.mEnd > span.mFirst)
                list.drop_pages(span.mFirst * perPage, span.mEnd * perPage);
        }
        spare.clear();
    };
    retire(0);
    for (int w = 0; w < kDropWaves; ++w)
    {
        supply(w);
        if (lost)
            return true;
        gather(waveBegin(w), waveBegin(w + 1));
        retire(static_cast<size_t>(w) + 1);
    }
    supply(kDropWaves);
    return true;
}

// An array of the mesh that lost pages to a move that could not be undone
// is not freed with the mesh: its storage may lie in malloc's heap, where
// the hole would fault later. Its storage goes to an array never destroyed.
template <class T>
void Abandon(KArrayTemplate<T>& array)
{
    (new KArrayTemplate<T>())->Swap(array); // kept for good on purpose
}

// The whole pages written of a spent list (mapped from the system) moved
// into the whole pages of [into, into + bytes), an array about to be written
// whole, instead of the system faulting in fresh ones there; the list is
// not to be read after. False when pages of the array were lost (see
// ObjMovePages).
template <class T>
bool MoveSpentPages(KObjPodArray<T>& spent, void* into, size_t bytes)
{
    if (!spent.drops_pages())
        return true;
    const uintptr_t pageMask = kObjPageBytes - 1;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(into) + pageMask) & ~pageMask;
    const uintptr_t end = (reinterpret_cast<uintptr_t>(into) + bytes) & ~pageMask;
    const size_t written = spent.size() * sizeof(T) / kObjPageBytes;
    const size_t pages = end > begin ? std::min(written, static_cast<size_t>(end - begin) / kObjPageBytes) : 0;
    return pages < kLeastMovedPages || !ObjRoomForMoves(1) ||
           ObjMovePages(spent.data(), reinterpret_cast<void*>(begin), pages) != EObjMove::eLOST;
}

} // namespace

void KQoxReaderObj::FindPageDrops(PageDrops (&drops)[3])
{
    for (PageDrops& d : drops)
    {
        d.mStarts.clear();
        d.mPages.clear();
    }
    const size_t meshes = mGroups.size();
    if (meshes < 2 || !(mVertices.drops_pages() || mTextureVertices.drops_pages() || mNormals.drops_pages()))
        return;
    const size_t perPage[3] = {kObjPageBytes / sizeof(KQoxVector4), kObjPageBytes / sizeof(KQoxVector2),
                               kObjPageBytes / sizeof(KQoxVector4)};
    const size_t pages[3] = {mVertices.size() / perPage[0], mTextureVertices.size() / perPage[1],
                             mNormals.size() / perPage[2]};
    // Per whole page, the last mesh reading it (-1: none); every reference
    // a mesh keeps is read when it is built.
    std::vector<int> last[3];
    for (int l = 0; l < 3; ++l)
        last[l].assign(pages[l], -1);
    int k = 0;
    auto mark = [&](int l, int item) {
        if (item >= 0 && static_cast<size_t>(item) / perPage[l] < pages[l])
            last[l][static_cast<size_t>(item) / perPage[l]] = k;
    };
    // The pages of a span of items; only whole pages are given back.
    auto markSpan = [&](int l, int least, int most) {
        const size_t end = std::min(static_cast<size_t>(most) / perPage[l] + 1, pages[l]);
        for (size_t page = static_cast<size_t>(least) / perPage[l]; page < end; ++page)
            last[l][page] = k;
    };
    for (auto& group : mGroups)
    {
        const KObjMesh& mesh = *group.second;
        // The points of a numbered mesh whose span of a list is about as
        // many pages as the points fill: the pages of the span count as
        // read (at worst a page goes back a few meshes later). Otherwise
        // each point counts.
        bool scan[3] = {true, true, true};
        const size_t points = mesh.mPoints.size();
        for (int l = 0; mesh.mSpansKnown && l < 3; ++l)
        {
            const int least = mesh.mSpans[l][0], most = mesh.mSpans[l][1];
            if (most < least)
                scan[l] = false;
            else if (static_cast<size_t>(most - least) / perPage[l] <= 2 * (points / perPage[l]) + 2)
            {
                markSpan(l, least, most);
                scan[l] = false;
            }
        }
        if (scan[0] || scan[1] || scan[2])
            for (const PointEntry& point : mesh.mPoints)
            {
                if (scan[0])
                    mark(0, point.mVertex);
                if (scan[1])
                    mark(1, point.mTextureVertex);
                if (scan[2])
                    mark(2, point.mNormal);
            }
        for (const auto& entry : mesh.mFaceLists)
            for (const Corner& corner : entry.second.mCorners)
            {
                mark(0, corner.mVertex);
                mark(1, corner.mTextureVertex);
                mark(2, corner.mNormal);
            }
        ++k;
    }
    // Grouped by mesh; those of the last mesh or none are left to the last
    // mesh's gathering.
    for (int l = 0; l < 3; ++l)
    {
        PageDrops& d = drops[l];
        d.mStarts.assign(meshes + 1, 0);
        for (int reader : last[l])
            if (reader >= 0 && static_cast<size_t>(reader) + 1 < meshes)
                ++d.mStarts[static_cast<size_t>(reader) + 1];
        for (size_t m = 1; m <= meshes; ++m)
            d.mStarts[m] += d.mStarts[m - 1];
        d.mPages.resize(d.mStarts[meshes]);
        std::vector<size_t> at(d.mStarts.begin(), d.mStarts.end() - 1);
        for (size_t page = 0; page < pages[l]; ++page)
        {
            const int reader = last[l][page];
            if (reader >= 0 && static_cast<size_t>(reader) + 1 < meshes)
                d.mPages[at[static_cast<size_t>(reader)]++] = page;
        }
    }
}

void KQoxReaderObj::DropPages(PageDrops (&drops)[3], size_t k)
{
    for (int l = 0; l < 3; ++l)
    {
        PageDrops& d = drops[l];
        if (k + 1 >= d.mStarts.size())
            continue;
        // Pages in a row, over one mesh's or several, go back in one call
        // once there are enough of them: a call per mesh would cost more
        // than the pages it gives back when the meshes are many and small.
        for (size_t i = d.mStarts[k]; i < d.mStarts[k + 1]; ++i)
        {
            const size_t page = d.mPages[i];
            if (page != d.mPendingEnd)
            {
                FlushPageDrops(l, d);
                d.mPendingFirst = page;
            }
            d.mPendingEnd = page + 1;
        }
        if (d.mPendingEnd - d.mPendingFirst >= kPagesDroppedAtOnce)
            FlushPageDrops(l, d);
    }
}

void KQoxReaderObj::FlushPageDrops(int list, PageDrops& d)
{
    if (d.mPendingEnd > d.mPendingFirst)
    {
        const size_t perPage = list == 1 ? kObjPageBytes / sizeof(KQoxVector2) : kObjPageBytes / sizeof(KQoxVector4);
        const size_t first = d.mPendingFirst * perPage, end = d.mPendingEnd * perPage;
        const bool dropped = list == 0   ? mVertices.drop_pages(first, end)
                             : list == 1 ? mTextureVertices.drop_pages(first, end)
                                         : mNormals.drop_pages(first, end);
        mPagesDropped = mPagesDropped || dropped;
    }
    d.mPendingFirst = d.mPendingEnd = 0;
}

bool KQoxReaderObj::FillNormals(KObjMesh& mesh)
{
    struct Use
    {
        int mVertex;
        size_t mCorner; // position in the list's corners
        size_t mFace;
    };
    std::vector<Use> uses;
    for (auto& entry : mesh.mFaceLists)
    {
        KObjMesh::FaceList& list = entry.second;
        if (entry.first == 0)
        {
            size_t first = 0;
            for (uint32_t& face : list.mFaces)
            {
                const int count = FaceCount(face);
                Corner* corners = &list.mCorners[first];
                first += static_cast<size_t>(count);
                if (!(face & KObjMesh::kMissingNormals))
                    continue;
                if (!mNormals.push_back(FaceNormal(mVertices, corners)))
                    return false;
                const int index = static_cast<int>(mNormals.size()) - 1;
                for (int r = 0; r < count; ++r)
                    corners[r].mNormal = index;
                face &= ~KObjMesh::kMissingNormals;
            }
            continue;
        }
        // Shared vertices of one smoothing group get one averaged normal.
        uses.clear();
        std::vector<size_t> firsts(list.mFaces.size());
        size_t first = 0;
        for (size_t f = 0; f < list.mFaces.size(); ++f)
        {
            firsts[f] = first;
            const int count = FaceCount(list.mFaces[f]);
            for (int r = 0; r < count; ++r)
                uses.push_back(Use{list.mCorners[first + r].mVertex, first + r, f});
            first += static_cast<size_t>(count);
        }
        std::stable_sort(uses.begin(), uses.end(), [](const Use& a, const Use& b) { return a.mVertex < b.mVertex; });
        std::vector<KQoxVector4> faceNormals(list.mFaces.size());
        std::vector<char> faceNormalKnown(list.mFaces.size(), 0);
        for (size_t begin = 0; begin < uses.size();)
        {
            size_t end = begin;
            KQoxVector4 sum;
            bool missing = false;
            for (; end < uses.size() && uses[end].mVertex == uses[begin].mVertex; ++end)
            {
                const Corner& corner = list.mCorners[uses[end].mCorner];
                if (corner.mNormal >= 0)
                {
                    sum += mNormals[corner.mNormal];
                    continue;
                }
                missing = true;
                const size_t f = uses[end].mFace;
                if (!faceNormalKnown[f])
                {
                    faceNormals[f] = FaceNormal(mVertices, &list.mCorners[firsts[f]]);
                    faceNormalKnown[f] = 1;
                }
                sum += faceNormals[f];
            }
            if (missing)
            {
                sum.Normalize();
                if (!mNormals.push_back(sum))
                    return false;
                const int index = static_cast<int>(mNormals.size()) - 1;
                for (size_t u = begin; u < end; ++u)
                {
                    Corner& corner = list.mCorners[uses[u].mCorner];
                    if (corner.mNormal < 0)
                        corner.mNormal = index;
                }
            }
            begin = end;
        }
        for (uint32_t& face : list.mFaces)
            face &= ~KObjMesh::kMissingNormals;
    }
    mesh.mAllFacesHaveNormals = true;
    return true;
}

KQoxMaterial* KQoxReaderObj::DefaultMaterial()
{
    if (!mDefaultMaterial)
        mDefaultMaterial = mManager.CreateKQoxMaterial("default");
    return mDefaultMaterial;
}

KQoxMesh* KQoxReaderObj::CreateQoxMeshFromObjMesh(KObjMesh& objMesh)
{
    if (!objMesh.mAllFacesHaveNormals && !FillNormals(objMesh))
        return nullptr;
    size_t corners = objMesh.mNumbered ? objMesh.mCornerPoints.size() : 0, faceCount = 0;
    for (auto& entry : objMesh.mFaceLists)
    {
        corners += entry.second.mCorners.size();
        faceCount += entry.second.mFaces.size();
    }
    if (corners > static_cast<size_t>(INT_MAX) || faceCount > static_cast<size_t>(INT_MAX))
        return nullptr;
    KQoxMesh* mesh = mManager.CreateKQoxMesh();
    if (!mesh)
        return nullptr;
    auto fail = [&] {
        mManager.DestroyKQoxNodeAttribute(mesh);
        return nullptr;
    };
    // Distinct corners, at most one per corner: reserved at that, since
    // pages never written cost nothing.
    KObjPodArray<PointEntry> entries;
    if (objMesh.mNumbered)
        entries.swap(objMesh.mPoints);
    else if (!entries.reserve_more(corners))
        return fail();

    mesh->InitMaterialIndices(mMaterialLibrarySeen ? KQoxLayerElement::eBY_POLYGON : KQoxLayerElement::eALL_SAME);
    if (mesh->GetLayerCount() == 0)
        mesh->CreateLayer();
    KQoxLayer* layer = mesh->GetLayer(0);
    if (objMesh.mSomeFaceHasTexture)
    {
        mesh->InitTextureIndices(KQoxLayerElement::eBY_POLYGON);
        if (!objMesh.mAllFacesHaveTexture)
        {
            KQoxTexture* empty = mManager.CreateKQoxTexture("_empty_");
            if (empty)
            {
                empty->SetDefaultAlpha(0.0);
                mesh->AT(empty, 0);
            }
        }
    }
    std::vector<RunIndices> runs;
    IndexRuns(*mesh, objMesh, runs);

    // The polygon vertices: the numbered corners' point numbers become the
    // mesh's array as they are, the other corners are numbered straight
    // into it; the polygons are made over them at once later.
    int* polygonVertices = nullptr;
    if (objMesh.mNumbered)
    {
        const size_t capacity = objMesh.mCornerPoints.capacity();
        int* numbers = objMesh.mCornerPoints.data();
        if (!mesh->TakePolygonVertices(numbers, static_cast<int>(corners), capacity))
            return fail();
        objMesh.mCornerPoints.detach();
        polygonVertices = mesh->GetPolygonVertices();
    }
    else
    {
        polygonVertices = mesh->SetPolygonVertexCount(static_cast<int>(corners));
        if (!polygonVertices && corners > 0)
            return fail();
    }
    KQoxLayerElementUV* uvs = nullptr;
    if (objMesh.mSomeCornerHasTextureVertex)
    {
        mesh->InitTextureUVIndices(KQoxLayerElement::eBY_POLYGON_VERTEX);
        uvs = layer->GetUVs();
    }
    int usedUVs = static_cast<int>(objMesh.mUsedUVs);
    int uvCount = objMesh.mUVCount;
    if (!objMesh.mNumbered)
    {
        if (!CoverChainHeads())
            return fail();
        uvCount = NumberCorners(objMesh, entries, polygonVertices, usedUVs);
    }

    // The control points, their normals and the UVs from the numbering, one
    // array at a time: building the last mesh, each of the file's lists is
    // freed once gathered, so that beside the mesh's arrays no more than the
    // file's lists not yet gathered are held.
    const int pointCount = static_cast<int>(entries.size());
    mesh->InitNormals(0);
    KArrayTemplate<KQoxVector4>& pointArray = mesh->GetControlPointArray();
    KArrayTemplate<KQoxVector4>& normalArray = layer->GetNormals()->mDirectArray;
    // Gathered in slices on the threads (each slice writes its own items;
    // every UV number belongs to exactly one control point: all are set).
    // Building the last mesh, the file's lists shrink as they are gathered.
    if (!pointArray.SetCountUnset(pointCount))
        return fail();
    KQoxVector4* points = pointArray.GetArray();
    const KQoxVector4* vertices = mVertices.data();
    bool lost = false;
    mPagesDropped |= GatherPoints(
        mVertices, mBuildingLastMesh, entries, pointCount, mThreads,
        [](const PointEntry& point) { return point.mVertex; },
        [&](int number, const PointEntry& point) { points[number] = vertices[point.mVertex]; }, points,
        sizeof(KQoxVector4), [](int number) { return number; }, lost);
    if (mBuildingLastMesh)
        mVertices.release();
    if (lost)
    {
        Abandon(pointArray);
        return fail();
    }
    // Each point the colour of its vertex, once the file gave any.
    if (!mVertexColors.empty())
    {
        KQoxLayerElementVertexColor* colors = new (std::nothrow) KQoxLayerElementVertexColor;
        if (!colors)
            return fail();
        layer->SetVertexColors(colors);
        colors->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
        colors->mReferenceMode = KQoxLayerElement::eDIRECT;
        if (!colors->mDirectArray.SetCountUnset(pointCount))
            return fail();
        KQoxColor* pointColors = colors->mDirectArray.GetArray();
        const KQoxVector4* fileColors = mVertexColors.data();
        GatherPoints(
            mVertexColors, false, entries, pointCount, mThreads, [](const PointEntry& point) { return point.mVertex; },
            [&](int number, const PointEntry& point) {
                const KQoxVector4& color = fileColors[point.mVertex];
                new (pointColors + number) KQoxColor(color[0], color[1], color[2], color[3]);
            },
            nullptr, sizeof(KQoxColor), [](int) { return 0; }, lost);
        if (mBuildingLastMesh)
            mVertexColors.release();
    }
    if (!normalArray.SetCountUnset(pointCount))
        return fail();
    KQoxVector4* normals = normalArray.GetArray();
    const KQoxVector4* fileNormals = mNormals.data();
    mPagesDropped |= GatherPoints(
        mNormals, mBuildingLastMesh, entries, pointCount, mThreads,
        [](const PointEntry& point) { return point.mNormal; },
        [&](int number, const PointEntry& point) {
            normals[number] = point.mNormal >= 0 ? fileNormals[point.mNormal] : KQoxVector4(0.0, 0.0, 0.0, 0.0);
        },
        normals, sizeof(KQoxVector4), [](int number) { return number; }, lost);
    if (mBuildingLastMesh)
        mNormals.release();
    if (lost)
    {
        Abandon(normalArray);
        return fail();
    }
    KObjPodArray<int> pointUV; // per control point, its UV number (-1: none)
    if (uvs)
    {
        if (!uvs->mDirectArray.SetCountUnset(uvCount) || !pointUV.extend(static_cast<size_t>(pointCount)))
            return fail();
        KQoxVector2* uvArray = uvs->mDirectArray.GetArray();
        int uvCursor = 0;
        const KQoxVector2* textureVertices = mTextureVertices.data();
        mPagesDropped |= GatherPoints(
            mTextureVertices, mBuildingLastMesh, entries, pointCount, mThreads,
            [](const PointEntry& point) { return point.mUV >= 0 ? point.mTextureVertex : -1; },
            [&](int number, const PointEntry& point) {
                pointUV[number] = point.mUV;
                if (point.mUV >= 0)
                    uvArray[point.mUV] = textureVertices[point.mTextureVertex];
            },
            uvArray, sizeof(KQoxVector2),
            [&](int number) {
                // UV numbers go up with the points': the first one from this
                // point on, looked for from where the last look ended.
                uvCursor = std::max(uvCursor, number);
                while (uvCursor < pointCount && entries[uvCursor].mUV < 0)
                    ++uvCursor;
                return uvCursor < pointCount ? entries[uvCursor].mUV : uvCount;
            },
            lost);
        if (lost)
        {
            Abandon(uvs->mDirectArray);
            return fail();
        }
    }
    if (mBuildingLastMesh)
        mTextureVertices.release();
    // Then each corner's UV number (0 for none), up to the last corner that
    // has a UV, over the spent pages of the numbering.
    if (uvs)
    {
        if (!uvs->mIndexArray.SetCountUnset(usedUVs))
            return fail();
        int* cornerUVs = uvs->mIndexArray.GetArray();
        if (!MoveSpentPages(entries, cornerUVs, static_cast<size_t>(usedUVs) * sizeof(int)))
        {
            Abandon(uvs->mIndexArray);
            return fail();
        }
        entries.release();
        const size_t cornerSlices =
            usedUVs >= kParallelPoints ? kObjPortionsPerThread * static_cast<size_t>(mThreads) : 1;
        KRunPortions(cornerSlices, mThreads, [&](size_t slice) {
            const int begin = static_cast<int>(static_cast<long long>(usedUVs) * slice / cornerSlices);
            const int end = static_cast<int>(static_cast<long long>(usedUVs) * (slice + 1) / cornerSlices);
            for (int c = begin; c < end; ++c)
            {
                const int uv = pointUV[polygonVertices[c]];
                cornerUVs[c] = uv >= 0 ? uv : 0;
            }
        });
        pointUV.release();
    }
    entries.release();
    // The polygons once the points are made: the faces are held until then.
    if (!SetFacePolygons(*mesh, objMesh, runs, faceCount))
        return fail();
    for (auto& entry : objMesh.mFaceLists)
    {
        entry.second.mFaces.release();
        entry.second.mRuns.release();
    }
    return mesh;
}

KQoxReaderObj::NameUse& KQoxReaderObj::UseOfName(const char* prefix, KQoxObject& object)
{
    auto known = mNameNumbers.find(&object);
    if (known == mNameNumbers.end())
    {
        const KString name = KQoxSdkManager::PrefixName(prefix, object.GetName());
        const int number = mNamesNumbered.emplace(name.ToChars(), static_cast<int>(mNameUses.size())).first->second;
        if (static_cast<size_t>(number) == mNameUses.size())
            mNameUses.emplace_back();
        known = mNameNumbers.emplace(&object, number).first;
    }
    return mNameUses[static_cast<size_t>(known->second)];
}

void KQoxReaderObj::IndexRuns(KQoxMesh& mesh, KObjMesh& objMesh, std::vector<RunIndices>& runs)
{
    const unsigned stamp = ++mMeshStamp ? mMeshStamp : ++mMeshStamp;
    // The index of a material or texture in this mesh, added at first use.
    auto indexOf = [&](const char* prefix, KQoxObject& object, auto&& add) {
        NameUse& use = UseOfName(prefix, object);
        if (use.mMesh != stamp)
        {
            use.mIndex = add();
            use.mMesh = stamp;
        }
        return use.mIndex;
    };
    // What the layer holds already keeps its index.
    if (KQoxLayer* layer = mesh.GetLayer(0))
    {
        auto seed = [&](const char* prefix, auto* element) {
            for (int i = 0; element && i < element->mDirectArray.GetCount(); ++i)
                if (element->mDirectArray[i])
                    indexOf(prefix, *element->mDirectArray[i], [i] { return i; });
        };
        seed("Material::", layer->GetMaterials());
        seed("Texture::", layer->GetTextures());
    }
    // Runs of faces share material and texture: the last lookup is kept.
    const KQoxMaterial* lastMaterial = nullptr;
    const KQoxTexture* lastTexture = nullptr;
    RunIndices last{0, 0};
    bool haveLast = false;
    for (auto& entry : objMesh.mFaceLists)
        for (const KObjMesh::Run& run : entry.second.mRuns)
        {
            RunIndices indices{0, 0};
            if (mMaterialLibrarySeen && haveLast && run.mMaterial == lastMaterial && run.mTexture == lastTexture)
                indices = last;
            else if (mMaterialLibrarySeen)
            {
                KQoxMaterial* used = run.mMaterial ? run.mMaterial : DefaultMaterial();
                indices.mMaterial = used ? indexOf("Material::", *used, [&] { return mesh.AM(used, 0); }) : -1;
                if (run.mTexture)
                    indices.mTexture = indexOf("Texture::", *run.mTexture, [&] { return mesh.AT(run.mTexture, 0); });
                haveLast = true;
                lastMaterial = run.mMaterial;
                lastTexture = run.mTexture;
                last = indices;
            }
            runs.push_back(indices);
        }
}

int KQoxReaderObj::NumberCorners(KObjMesh& objMesh, KObjPodArray<PointEntry>& entries, int* polygonVertices,
                                 int& usedUVs)
{
    int* const heads = mChainHeads.data();
    int uvCount = 0;
    size_t out = 0;
    size_t lastUV = 0; // corners up to the last one with a UV
    for (auto& entry : objMesh.mFaceLists)
    {
        KObjMesh::FaceList& list = entry.second;
        for (const Corner& corner : list.mCorners)
        {
            const int number = KObjMesh::PointOf(heads, entries, uvCount, corner);
            polygonVertices[out] = number;
            const int uv = entries[number].mUV;
            ++out;
            lastUV = uv >= 0 ? out : lastUV;
        }
        // Numbered: the corners' memory goes before the control points are made.
        list.mCorners.release();
    }
    // Every vertex used heads a chain: back to none for the next mesh.
    for (const PointEntry& point : entries)
        heads[point.mVertex] = -1;
    usedUVs = static_cast<int>(lastUV);
    return uvCount;
}

bool KQoxReaderObj::NumberNewCorners(KObjMesh& mesh, KObjMesh::FaceList& list, size_t first)
{
    // A face without normals gets them when the mesh is built, which
    // changes its corners: they are kept as they are from then on.
    if (!mesh.mAllFacesHaveNormals)
        return StopNumbering(mesh);
    const size_t count = list.mCorners.size() - first;
    if (!CoverChainHeads() || !mesh.mPoints.reserve_more(count) || !mesh.mCornerPoints.reserve_more(count))
        return false;
    int* const heads = mChainHeads.data();
    for (size_t c = first; c < list.mCorners.size(); ++c)
        mesh.NumberCorner(heads, list.mCorners[c]);
    list.mCorners.truncate(first);
    return true;
}

bool KQoxReaderObj::StopNumbering(KObjMesh& mesh)
{
    if (!mesh.mNumbered)
        return true;
    KObjMesh::FaceList& list = mesh.mFaceLists.begin()->second;
    const size_t numbered = mesh.mCornerPoints.size();
    const size_t pending = list.mCorners.size();
    // A mesh may stop before any corner was numbered (its first run read
    // in parallel portions): nothing to move then.
    if (numbered > 0)
    {
        if (!list.mCorners.extend(numbered))
            return false;
        Corner* corners = list.mCorners.data();
        std::memmove(static_cast<void*>(corners + numbered), corners, pending * sizeof(Corner));
        for (size_t c = 0; c < numbered; ++c)
        {
            const PointEntry& point = mesh.mPoints[static_cast<size_t>(mesh.mCornerPoints[c])];
            corners[c] = Corner{point.mVertex, point.mTextureVertex, point.mNormal};
        }
    }
    if (&mesh == mNumbering)
    {
        ClearNumberingChains();
        mNumbering = nullptr;
    }
    mesh.mPoints.release();
    mesh.mCornerPoints.release();
    mesh.mNumbered = false;
    mesh.mSpansKnown = false;
    mesh.mUVCount = 0;
    mesh.mUsedUVs = 0;
    return true;
}

void KQoxReaderObj::StartNumbering(KObjMesh& mesh)
{
    // The groups of a file tend to be alike: the sizes of the mesh numbered
    // before are a good first room for this one's arrays, which would
    // otherwise grow (copying themselves each time) from a few items.
    // Bounded, so that after one large mesh small ones reserve little; a
    // reserve that fails is only a hint lost.
    if (mNumbering)
    {
        // A large file of several groups: lists that have items go on
        // large pages now (on a block of one large page at least), since
        // growing them there from small blocks leaves their first
        // megabytes in small pages, a fault for each. A file of one group
        // keeps its lists as they grow (they lend their pages to its
        // mesh as it is built).
        if (mFileBytes >= kListsOnLargePagesLeast)
        {
            auto onLargePages = [](auto& list) {
                using Item = std::remove_reference_t<decltype(list[0])>;
                if (!list.empty())
                    list.reserve(kObjLargePageBytes / sizeof(Item)); // a failure is only a hint lost
            };
            onLargePages(mVertices);
            onLargePages(mTextureVertices);
            onLargePages(mNormals);
        }
        const KObjMesh& before = *mNumbering;
        const size_t faces = before.mFaceLists.empty() ? 0 : before.mFaceLists.begin()->second.mFaces.size();
        mesh.mPoints.reserve_more(std::min(before.mPoints.size(), kMostItemsHinted));
        mesh.mCornerPoints.reserve_more(std::min(before.mCornerPoints.size(), kMostItemsHinted));
        mesh.mFaceLists.begin()->second.mFaces.reserve_more(std::min(faces, kMostItemsHinted));
    }
    ClearNumberingChains();
    mNumbering = &mesh;
    mesh.mNumbered = true;
}

bool KQoxReaderObj::CoverChainHeads()
{
    const size_t had = mChainHeads.size();
    if (had >= mVertices.size())
        return true;
    if (!mChainHeads.extend(mVertices.size() - had))
        return false;
    std::fill(mChainHeads.begin() + had, mChainHeads.end(), -1);
    return true;
}

void KQoxReaderObj::ClearNumberingChains()
{
    if (!mNumbering)
        return;
    // The spans of the lists the points read are noted on the way, while
    // the points are at hand: they spare the build a pass over them all.
    int least[3] = {INT_MAX, INT_MAX, INT_MAX}, most[3] = {-1, -1, -1};
    for (const PointEntry& point : mNumbering->mPoints)
    {
        mChainHeads[static_cast<size_t>(point.mVertex)] = -1;
        const int items[3] = {point.mVertex, point.mTextureVertex, point.mNormal};
        for (int l = 0; l < 3; ++l)
            if (items[l] >= 0)
            {
                least[l] = std::min(least[l], items[l]);
                most[l] = std::max(most[l], items[l]);
            }
    }
    for (int l = 0; l < 3; ++l)
    {
        mNumbering->mSpans[l][0] = least[l];
        mNumbering->mSpans[l][1] = most[l];
    }
    mNumbering->mSpansKnown = true;
}

bool KQoxReaderObj::SetFacePolygons(KQoxMesh& mesh, KObjMesh& objMesh, const std::vector<RunIndices>& runs,
                                    size_t faceCount)
{
    // Every face's word is its corner count now: the normals are filled.
    const int* sizes = nullptr;
    KObjPodArray<int> joined;
    if (objMesh.mFaceLists.size() == 1)
        sizes = reinterpret_cast<const int*>(objMesh.mFaceLists.begin()->second.mFaces.data());
    else
    {
        if (!joined.reserve_more(faceCount))
            return false;
        for (auto& entry : objMesh.mFaceLists)
            joined.append(reinterpret_cast<const int*>(entry.second.mFaces.data()), entry.second.mFaces.size());
        sizes = joined.data();
    }
    if (faceCount > 0 && !mesh.SetPolygons(sizes, nullptr, static_cast<int>(faceCount)))
        return false;
    if (faceCount == 0)
        return true;
    // As the first BeginPolygon would: an element for a material or texture
    // number other than -1 when the layer has none.
    KQoxLayer* layer = mesh.GetLayer(0);
    const RunIndices first = runs.empty() ? RunIndices{0, 0} : runs.front();
    if (!layer->GetMaterials() && first.mMaterial != -1)
        layer->SetMaterials(new KQoxLayerElementMaterial);
    if (!layer->GetTextures() && first.mTexture != -1)
        layer->SetTextures(new KQoxLayerElementTexture);
    auto perPolygon = [&](KQoxLayerElement* element) -> int* {
        if (!element || element->mMappingMode != KQoxLayerElement::eBY_POLYGON ||
            (element->mReferenceMode != KQoxLayerElement::eINDEX &&
             element->mReferenceMode != KQoxLayerElement::eINDEX_TO_DIRECT))
            return nullptr;
        element->mIndexArray.SetCountUnset(static_cast<int>(faceCount));
        return element->mIndexArray.GetCount() == static_cast<int>(faceCount) ? element->mIndexArray.GetArray()
                                                                              : nullptr;
    };
    int* materials = perPolygon(layer->GetMaterials());
    int* textures = perPolygon(layer->GetTextures());
    if (!materials && !textures)
        return true;
    // Each run's numbers over its faces.
    size_t face = 0;
    size_t run = 0;
    for (auto& entry : objMesh.mFaceLists)
    {
        const KObjMesh::FaceList& list = entry.second;
        for (size_t r = 0; r < list.mRuns.size(); ++r, ++run)
        {
            const size_t begin = face + list.mRuns[r].mFirstFace;
            const size_t end = face + (r + 1 < list.mRuns.size() ? list.mRuns[r + 1].mFirstFace : list.mFaces.size());
            if (materials)
                std::fill(materials + begin, materials + end, runs[run].mMaterial);
            if (textures)
                std::fill(textures + begin, textures + end, runs[run].mTexture);
        }
        face += list.mFaces.size();
    }
    return true;
}

KQoxNurb* KQoxReaderObj::CreateQoxGeometryFromObjSurf(KObjSurf& surf)
{
    if (surf.mCurveType != KObjSurf::eBSPLINE || !surf.mRational || surf.mDegreeU < 0 || surf.mDegreeV < 0)
        return nullptr;
    const long long nU = static_cast<long long>(surf.mParametersU.size()) - surf.mDegreeU - 1;
    const long long nV = static_cast<long long>(surf.mParametersV.size()) - surf.mDegreeV - 1;
    // A surface needs at least one point each way, and its references must
    // fill the grid: a short list would leave points undefined.
    if (nU < 1 || nV < 1 || nU * nV > static_cast<long long>(surf.mVertices.size()))
        return nullptr;
    KQoxNurb* nurb = mManager.CreateKQoxNurb();
    if (!nurb)
        return nullptr;
    nurb->SetOrder(surf.mDegreeV + 1, surf.mDegreeU + 1);
    nurb->InitControlPoints(static_cast<int>(nV), KQoxNurb::eOPEN, static_cast<int>(nU), KQoxNurb::eOPEN);
    nurb->SetStep(3, 3);
    const size_t uKnots = std::min<size_t>(surf.mParametersV.size(), std::max(nurb->GetUKnotCount(), 0));
    const size_t vKnots = std::min<size_t>(surf.mParametersU.size(), std::max(nurb->GetVKnotCount(), 0));
    if (double* knots = nurb->GetUKnotVector())
        std::copy(surf.mParametersV.begin(), surf.mParametersV.begin() + uKnots, knots);
    if (double* knots = nurb->GetVKnotVector())
        std::copy(surf.mParametersU.begin(), surf.mParametersU.begin() + vKnots, knots);
    KQoxVector4* points = nurb->GetControlPoints();
    const int count = static_cast<int>(nU * nV);
    for (int i = 0; points && i < count && i < nurb->GetControlPointsCount(); ++i)
    {
        const int target = SwapArrayIndex(i, static_cast<int>(nV), static_cast<int>(nU));
        if (target < nurb->GetControlPointsCount())
            points[target] = mVertices[surf.mVertices[i]];
    }
    if (surf.mMaterial)
        nurb->AM(surf.mMaterial, 0);
    if (surf.mTexture)
    {
        surf.mTexture->SetSwapUV(true);
        nurb->AT(surf.mTexture, 0);
    }
    return nurb;
}

} // namespace qoxsdk_600
