#include "formats/obj/kqoxobjrecords.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "formats/obj/kqoxobjscan.h"

namespace qoxsdk_600 {

KObjFace::KObjFace(int smoothingGroup, KQoxMaterial* material, KQoxTexture* texture)
{
    Reset(smoothingGroup, material, texture);
}

void KObjFace::Reset(int smoothingGroup, KQoxMaterial* material, KQoxTexture* texture)
{
    mHasNormals = true;
    mHasTextureVertices = true;
    mHasTexture = texture != nullptr;
    mMaterial = material;
    mTexture = texture;
    mSmoothingGroup = smoothingGroup;
    mReferences.clear();
}

bool KObjFace::AddVertexGroup(const KIndexGroup& reference)
{
    if (reference.mVertex < 0)
        return false;
    if (reference.mNormal < 0)
        mHasNormals = false;
    if (reference.mTextureVertex < 0)
        mHasTextureVertices = false;
    mReferences.push_back(KIndexGroup(reference.mVertex, reference.mTextureVertex, reference.mNormal));
    return true;
}

bool KObjMesh::AddFace(const KObjFace& face, int smoothingGroup)
{
    return AddFace(face, mFaceLists[smoothingGroup]);
}

bool KObjMesh::AddFace(const KObjFace& face, FaceList& list)
{
    const size_t first = list.mCorners.size();
    if (!list.mCorners.reserve_more(face.mReferences.size()))
        return false;
    bool someTextureVertex = false;
    for (const KIndexGroup& reference : face.mReferences)
    {
        list.mCorners.push_reserved(Corner{reference.mVertex, reference.mTextureVertex, reference.mNormal});
        someTextureVertex |= reference.mTextureVertex >= 0;
    }
    if (AddFaceHeader(list, face.GetCount(), face.mHasNormals, face.mHasTextureVertices, face.mMaterial, face.mTexture))
    {
        mSomeCornerHasTextureVertex |= someTextureVertex;
        return true;
    }
    list.mCorners.truncate(first);
    return false;
}

KObjSurf::KObjSurf(ECurveType type, bool rational, int degreeU, int degreeV, KQoxMaterial* material,
                   KQoxTexture* texture)
    : mCurveType(type)
    , mMaterial(material)
    , mTexture(texture)
    , mRational(rational)
    , mDegreeU(degreeU)
    , mDegreeV(degreeV)
{}

bool KObjSurf::AddVertexGroup(const KIndexGroup& reference)
{
    if (reference.mVertex < 0)
        return false;
    mVertices.push_back(reference.mVertex);
    ++mControlPointCount;
    return true;
}

bool KObjSurf::ReadParm(const char* rest)
{
    const std::string_view text(rest ? rest : "");
    const char* p = text.data();
    const char* end = p + text.size();
    std::string_view direction;
    if (!ObjScanWord(p, end, direction))
        return false;
    std::vector<std::string_view> words;
    ObjSplit(text, [&](std::string_view word) {
        words.push_back(word);
        return true;
    });
    if (words.size() < 2)
        return false;
    std::vector<double>* target = direction[0] == 'u' ? &mParametersU : direction[0] == 'v' ? &mParametersV : nullptr;
    if (!target)
        return true;
    // A word that is not a number repeats the value before it.
    double value = 0.0;
    for (size_t i = 1; i < words.size(); ++i)
    {
        const char* w = words[i].data();
        ObjScanDouble(w, w + words[i].size(), value);
        target->push_back(value);
    }
    return true;
}

int CompareKIndexGroup(const void* a, const void* b)
{
    const KIndexGroup& x = *static_cast<const KIndexGroup*>(a);
    const KIndexGroup& y = *static_cast<const KIndexGroup*>(b);
    if (x.mVertex != y.mVertex)
        return x.mVertex < y.mVertex ? -1 : 1;
    if (x.mNormal != y.mNormal)
        return x.mNormal < y.mNormal ? -1 : 1;
    if (x.mTextureVertex != y.mTextureVertex)
        return x.mTextureVertex < y.mTextureVertex ? -1 : 1;
    return 0;
}

namespace {

bool LessGroup(const KIndexGroup& a, const KIndexGroup& b)
{
    return CompareKIndexGroup(&a, &b) < 0;
}

} // namespace

int AddGroupToArray(KIndexGroup*& table, int& capacity, int& count, const KIndexGroup& reference)
{
    if (count >= capacity)
    {
        const int grown = capacity < 10 ? 10 : capacity * 2;
        void* bigger = std::realloc(table, static_cast<size_t>(grown) * sizeof(KIndexGroup));
        if (!bigger)
            return -1;
        table = static_cast<KIndexGroup*>(bigger);
        capacity = grown;
    }
    KIndexGroup entry(reference.mVertex, reference.mTextureVertex, reference.mNormal);
    entry.mNumber = count;
    KIndexGroup* position = std::lower_bound(table, table + count, entry, LessGroup);
    std::memmove(position + 1, position, static_cast<size_t>(table + count - position) * sizeof(KIndexGroup));
    *position = entry;
    return count++;
}

KIndexGroup* FindGroup(KIndexGroup*& table, int& count, const KIndexGroup& reference)
{
    if (!table || count <= 0)
        return nullptr;
    KIndexGroup* position = std::lower_bound(table, table + count, reference, LessGroup);
    return position != table + count && CompareKIndexGroup(position, &reference) == 0 ? position : nullptr;
}

} // namespace qoxsdk_600
