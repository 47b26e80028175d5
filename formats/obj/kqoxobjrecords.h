#ifndef QOX_FORMATS_OBJ_KQOXOBJRECORDS_H
#define QOX_FORMATS_OBJ_KQOXOBJRECORDS_H

// What the OBJ reader keeps while it parses: vertex references, faces, the
// faces of one group and free-form surfaces. Indices are zero-based here;
// -1 means absent.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "base/kstring.h"
#include "formats/obj/kqoxobjarray.h"

namespace qoxsdk_600 {

class KQoxMaterial;
class KQoxTexture;

// One vertex reference of a face or surface.
struct KIndexGroup
{
    int mVertex = 0;
    int mTextureVertex = 0;
    int mNormal = 0;
    int mNumber = 0; // control point number in the reference table

    KIndexGroup() = default;
    KIndexGroup(int vertex, int textureVertex, int normal)
        : mVertex(vertex)
        , mTextureVertex(textureVertex)
        , mNormal(normal)
    {}
    // The number takes no part.
    bool operator==(const KIndexGroup& other) const
    {
        return mVertex == other.mVertex && mTextureVertex == other.mTextureVertex && mNormal == other.mNormal;
    }
    bool operator!=(const KIndexGroup& other) const { return !(*this == other); }
};

// One parsed "f" statement. The reader reuses one face for every statement,
// so parsing allocates nothing once the reference array has grown.
class KObjFace
{
public:
    KObjFace(int smoothingGroup, KQoxMaterial* material, KQoxTexture* texture);
    // Clears the references and takes new face attributes.
    void Reset(int smoothingGroup, KQoxMaterial* material, KQoxTexture* texture);

    // False, nothing added, for a negative vertex. A negative normal or
    // texture vertex clears the matching flag.
    bool AddVertexGroup(const KIndexGroup& reference);
    // The i-th reference (number 0); i must be below GetCount().
    KIndexGroup GetGroupAt(int i) const { return mReferences[i]; }
    int GetCount() const { return static_cast<int>(mReferences.size()); }
    void Display() const {}

    bool mHasNormals = true;
    bool mHasTextureVertices = true;
    bool mHasTexture = false;
    KQoxMaterial* mMaterial = nullptr;
    KQoxTexture* mTexture = nullptr;
    int mSmoothingGroup = 0;
    std::vector<KIndexGroup> mReferences;
};

// The faces of one group name, by smoothing group. Faces are stored flat
// and small, since a file may hold millions: a word per face, one array of
// corners, and the material and texture once per run of faces sharing them.
class KObjMesh
{
public:
    // One corner of a face: zero-based indices, -1 when absent.
    struct Corner
    {
        int mVertex;
        int mTextureVertex;
        int mNormal;
    };
    // Faces from mFirstFace on (to the next run) use this material and texture.
    struct Run
    {
        size_t mFirstFace;
        KQoxMaterial* mMaterial;
        KQoxTexture* mTexture;
    };
    // A face's word: its corner count, and kMissingNormals when a corner
    // has no normal. Its corners follow the previous face's.
    static constexpr uint32_t kMissingNormals = 0x80000000u;
    static constexpr uint32_t kCountMask = 0x7fffffffu;
    struct FaceList
    {
        KObjPodArray<uint32_t> mFaces;
        KObjPodArray<Corner> mCorners;
        KObjPodArray<Run> mRuns;
    };
    // One control point to be: a distinct (vertex, texture vertex, normal)
    // corner, its UV number (-1: none) and the next point of the same vertex
    // (-1: none).
    struct Point
    {
        int mVertex;
        int mTextureVertex;
        int mNormal;
        int mUV;
        int mNext;
    };
    // PointOf compares a corner's texture vertex and normal with a point's
    // as one word.
    static_assert(offsetof(Corner, mNormal) == offsetof(Corner, mTextureVertex) + sizeof(int),
                  "texture vertex and normal side by side");
    static_assert(offsetof(Point, mNormal) == offsetof(Point, mTextureVertex) + sizeof(int),
                  "texture vertex and normal side by side");

    // Copies the face into the list of its smoothing group; false, nothing
    // added, when memory runs out.
    bool AddFace(const KObjFace& face, int smoothingGroup);
    // The same with the face list of the face's smoothing group in hand,
    // for runs of faces in one group.
    bool AddFace(const KObjFace& face, FaceList& list);
    // Ends a face whose count corners were appended to the list's corners
    // last; false, nothing added, when memory runs out (the caller drops the
    // corners).
    bool AddFaceHeader(FaceList& list, int count, bool hasNormals, bool hasTextureVertices, KQoxMaterial* material,
                       KQoxTexture* texture);
    int GetCount() const { return mFaceCount; }
    void Display() const {}

    // Smoothing group -> faces in file order; visited in ascending order.
    std::map<int, FaceList> mFaceLists;
    bool mAllFacesHaveNormals = true;
    bool mAllFacesHaveTextureVertices = true;
    bool mAllFacesHaveTexture = true;
    bool mSomeFaceHasTexture = false;
    // Whether any corner kept refers to a texture vertex.
    bool mSomeCornerHasTextureVertex = false;
    int mFaceCount = 0;
    // Faces left out because fewer than three of their vertex references
    // were in range.
    size_t mFacesOutOfRange = 0;

    // Corners numbered as they are read, for a mesh of one face list whose
    // faces all have normals (the reader decides): its distinct corners in
    // order of first appearance, each corner's point number instead of the
    // corner itself, the UVs numbered, and the corners up to the last one
    // with a UV. The face list then keeps no corners. The point numbers are
    // heap storage: the mesh built takes them over as its polygon vertices.
    bool mNumbered = false;
    KObjPodArray<Point> mPoints;
    KObjPodArray<int> mCornerPoints{EObjStorage::eHEAP};
    int mUVCount = 0;
    size_t mUsedUVs = 0;
    // Once its numbering is over: per list the points read (positions,
    // texture vertices, normals), the least and the most item they read;
    // most below least when they read none.
    bool mSpansKnown = false;
    int mSpans[3][2] = {};

    // The point of a corner among points: found on the chain of its vertex
    // (heads: per vertex, the last point made of it, -1 none), or made (in
    // room the caller made) and put at the chain's head, with the next UV
    // number of uvCount when it has a texture vertex. Its number.
    static int PointOf(int* heads, KObjPodArray<Point>& points, int& uvCount, const Corner& corner)
    {
        int& head = heads[corner.mVertex];
        int number = head;
        // The texture vertex and normal, side by side in both, compared at once.
        uint64_t pair;
        std::memcpy(&pair, &corner.mTextureVertex, sizeof pair);
        for (; number >= 0; number = points[static_cast<size_t>(number)].mNext)
        {
            uint64_t other;
            std::memcpy(&other, &points[static_cast<size_t>(number)].mTextureVertex, sizeof other);
            if (other == pair)
                break;
        }
        if (number < 0)
        {
            number = static_cast<int>(points.size());
            const int uv = corner.mTextureVertex >= 0 ? uvCount++ : -1;
            points.push_reserved(Point{corner.mVertex, corner.mTextureVertex, corner.mNormal, uv, head});
            head = number;
        }
        return number;
    }

    // Numbers one more corner of a numbered mesh (see PointOf), room for it
    // made in mPoints and mCornerPoints.
    void NumberCorner(int* heads, const Corner& corner)
    {
        const int number = PointOf(heads, mPoints, mUVCount, corner);
        mCornerPoints.push_reserved(number);
        if (mPoints[static_cast<size_t>(number)].mUV >= 0)
            mUsedUVs = mCornerPoints.size();
    }
};

// Inline: called for every face.
inline bool KObjMesh::AddFaceHeader(FaceList& list, int count, bool hasNormals, bool hasTextureVertices,
                                    KQoxMaterial* material, KQoxTexture* texture)
{
    const size_t face = list.mFaces.size();
    const bool newRun =
        list.mRuns.empty() || list.mRuns.end()[-1].mMaterial != material || list.mRuns.end()[-1].mTexture != texture;
    if (newRun && !list.mRuns.push_back(Run{face, material, texture}))
        return false;
    if (!list.mFaces.push_back(static_cast<uint32_t>(count) | (hasNormals ? 0u : kMissingNormals)))
    {
        if (newRun)
            list.mRuns.truncate(list.mRuns.size() - 1);
        return false;
    }
    if (!hasNormals)
        mAllFacesHaveNormals = false;
    if (!hasTextureVertices)
        mAllFacesHaveTextureVertices = false;
    if (texture)
        mSomeFaceHasTexture = true;
    else
        mAllFacesHaveTexture = false;
    ++mFaceCount;
    return true;
}

// One "surf" block.
class KObjSurf
{
public:
    enum ECurveType
    {
        eNONE = 0,
        eBMATRIX = 1,
        eBEZIER = 2,
        eBSPLINE = 3,
        eCARDINAL = 4,
        eTAYLOR = 5
    };

    KObjSurf(ECurveType type, bool rational, int degreeU, int degreeV, KQoxMaterial* material, KQoxTexture* texture);

    // False for a negative vertex; otherwise keeps the vertex index only.
    bool AddVertexGroup(const KIndexGroup& reference);
    // A "parm" statement: direction u or v, then parameter values.
    bool ReadParm(const char* rest);
    const char* GetGroupName() const { return mGroupName.ToChars(); }

    KString mGroupName;
    ECurveType mCurveType;
    KQoxMaterial* mMaterial;
    KQoxTexture* mTexture;
    bool mRational;
    int mDegreeU;
    int mDegreeV;
    int mControlPointCount = 0;
    double mRange[4] = {0.0, 0.0, 0.0, 0.0}; // s0, s1, t0, t1
    std::vector<int> mVertices;
    std::vector<double> mParametersU;
    std::vector<double> mParametersV;
};

// Orders by vertex, then normal, then texture vertex; -1, 0 or 1.
int CompareKIndexGroup(const void* a, const void* b);

// The table of distinct references, kept sorted. Each new reference gets the
// next number (0, 1, 2, ... in order of first appearance) and is inserted at
// its sorted position. The table is a malloc'd array the caller frees; null
// with capacity 0 to start. Returns the new number, or -1 when memory runs out.
int AddGroupToArray(KIndexGroup*& table, int& capacity, int& count, const KIndexGroup& reference);
// The equal entry, or null.
KIndexGroup* FindGroup(KIndexGroup*& table, int& count, const KIndexGroup& reference);

} // namespace qoxsdk_600

#endif
