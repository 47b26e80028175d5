// Native reader: mesh geometry with its layers. Every array comes in one
// piece; counts, indices and positions are checked before they are used.

#include <memory>
#include <vector>

#include "fileio/kqoxnative_private.h"
#include "fileio/kqoxreaderqox_private.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

using namespace qoxnative;

namespace {

// The integers of the named field of the open list; false when the field is
// there but holds no integer array.
bool ReadInts(IQoxObject& file, const char* name, std::vector<int>& out)
{
    out.clear();
    if (!file.FieldReadBegin(name))
        return true;
    long long count = file.FieldReadArrayCount();
    bool ok = count >= 0;
    if (ok)
    {
        out.resize(static_cast<size_t>(count));
        ok = file.FieldReadArrayI(out.data(), out.size());
    }
    file.FieldReadEnd();
    return ok;
}

// Items of width doubles each into the array (its count set to the item
// count, filled straight from the file); false when the count is no whole
// number of items. Emptied when the field cannot be read.
template <typename T>
bool ReadItems(IQoxObject& file, const char* name, KArrayTemplate<T>& out, int width)
{
    if (!file.FieldReadBegin(name))
        return true;
    long long count = file.FieldReadArrayCount();
    bool ok = count >= 0 && count % width == 0 && count / width <= 0x7FFFFFFF &&
              out.SetCountUnset(static_cast<int>(count / width));
    ok = ok && file.FieldReadArrayD(reinterpret_cast<double*>(out.GetArray()), static_cast<unsigned long long>(count));
    if (!ok)
        out.SetCount(0);
    file.FieldReadEnd();
    return ok;
}

// The integers of the named field into the array, filled straight from the
// file (empty when the field is missing); false when the field is there but
// holds no integer array.
bool ReadIntArray(IQoxObject& file, const char* name, KArrayTemplate<int>& out)
{
    out.SetCount(0);
    if (!file.FieldReadBegin(name))
        return true;
    long long count = file.FieldReadArrayCount();
    bool ok = count >= 0 && count <= 0x7FFFFFFF && out.SetCountUnset(static_cast<int>(count));
    ok = ok && file.FieldReadArrayI(out.GetArray(), static_cast<unsigned long long>(count));
    if (!ok)
        out.SetCount(0);
    file.FieldReadEnd();
    return ok;
}

// True when every one of the n values lies in [low, high) (low is 0 or -1):
// one pass for the largest value taken from low, which vectorises.
bool AllBelow(const int* values, int n, int low, int high)
{
    if (high <= low)
        return n == 0;
    const unsigned int offset = static_cast<unsigned int>(-low);
    unsigned int largest = 0;
    for (int i = 0; i < n; ++i)
    {
        const unsigned int v = static_cast<unsigned int>(values[i]) + offset;
        largest = v > largest ? v : largest;
    }
    return n == 0 || largest < static_cast<unsigned int>(high) + offset;
}

// The polygon-vertex array straight into the mesh, checked against its
// control points.
bool ReadPolygonVertices(IQoxObject& file, KQoxMesh& mesh)
{
    if (!file.FieldReadBegin(kPolygonVertexIndex))
        return true;
    long long count = file.FieldReadArrayCount();
    int* vertices = count >= 0 && count <= 0x7FFFFFFF ? mesh.SetPolygonVertexCount(static_cast<int>(count)) : nullptr;
    bool ok = vertices && file.FieldReadArrayI(vertices, static_cast<unsigned long long>(count));
    const int points = mesh.GetControlPointsCount();
    ok = ok && AllBelow(vertices, static_cast<int>(count), 0, points);
    if (!ok && vertices)
        mesh.SetPolygonVertexCount(0);
    file.FieldReadEnd();
    return ok;
}

// Positions in the objects section as objects; -1 is none.
template <typename T>
bool Resolve(const std::vector<int>& positions, const std::vector<T*>& objects, KArrayTemplate<T*>& out)
{
    out.SetCount(static_cast<int>(positions.size()));
    for (size_t i = 0; i < positions.size(); ++i)
    {
        int p = positions[i];
        if (p < -1 || p >= static_cast<int>(objects.size()))
            return false;
        out[static_cast<int>(i)] = p < 0 ? nullptr : objects[static_cast<size_t>(p)];
    }
    return true;
}

// The three vectors of a link transform; false when the field is missing
// or short.
bool ReadTransform(IQoxObject& file, const char* name, KQoxVector4& t, KQoxVector4& r, KQoxVector4& s)
{
    if (!file.FieldReadBegin(name))
        return false;
    bool ok = file.FieldReadGetRemain() >= 12;
    for (KQoxVector4* v : {&t, &r, &s})
        for (int k = 0; ok && k < 4; ++k)
            (*v)[k] = file.FieldReadD();
    file.FieldReadEnd();
    return ok;
}

} // namespace

bool KQoxRead6::ReadLinksAndShapes(KQoxGeometry& geometry)
{
    KQoxSdkManager& manager = mScene.mManager;
    const int points = geometry.GetControlPointsCount();
    bool ok = true;
    while (ok && Ok() && mFile.FieldReadBegin(kLink))
    {
        int linked = mFile.FieldReadI();
        int associate = mFile.FieldReadI();
        KQoxLink* link = manager.CreateKQoxLink();
        ok = link && linked >= -1 && associate >= -1 && mFile.FieldReadBlockBegin();
        if (ok)
        {
            geometry.AddLink(link);
            mPendingLinks.push_back({link, linked, associate});
            KString mode(mFile.FieldReadC(kLinkMode, ""));
            link->SetLinkMode(mode == "Additive" ? KQoxLink::eADDITIVE
                                                 : (mode == "Total1" ? KQoxLink::eTOTAL1 : KQoxLink::eNORMALIZE));
            if (mFile.FieldReadBegin(kUserData))
            {
                KString id(mFile.FieldReadC());
                KString data(mFile.FieldReadC());
                link->SetUserData(id, data);
                mFile.FieldReadEnd();
            }
            std::vector<int> indexes;
            std::vector<double> weights;
            ok = ReadInts(mFile, kIndexes, indexes);
            if (ok && mFile.FieldReadBegin(kWeights))
            {
                long long count = mFile.FieldReadArrayCount();
                ok = count == static_cast<long long>(indexes.size());
                weights.resize(indexes.size());
                ok = ok && mFile.FieldReadArrayD(weights.data(), weights.size());
                mFile.FieldReadEnd();
            }
            ok = ok && weights.size() == indexes.size();
            for (size_t i = 0; ok && i < indexes.size(); ++i)
            {
                ok = indexes[i] >= 0 && indexes[i] < points;
                if (ok)
                    link->AddControlPointIndex(indexes[i], weights[i]);
            }
            KQoxVector4 t, r, s;
            if (ok && ReadTransform(mFile, kTransform, t, r, s))
            {
                link->SetTransformT(t);
                link->SetTransformR(r);
                link->SetTransformS(s);
            }
            if (ok && ReadTransform(mFile, kTransformLink, t, r, s))
            {
                link->SetTransformLinkT(t);
                link->SetTransformLinkR(r);
                link->SetTransformLinkS(s);
            }
            if (ok && ReadTransform(mFile, kTransformAssociateModel, t, r, s))
            {
                link->SetTransformAssociateModelT(t);
                link->SetTransformAssociateModelR(r);
                link->SetTransformAssociateModelS(s);
            }
            if (ok && ReadTransform(mFile, kTransformParent, t, r, s))
            {
                link->SetTransformParentT(t);
                link->SetTransformParentR(r);
                link->SetTransformParentS(s);
            }
            mFile.FieldReadBlockEnd();
        }
        mFile.FieldReadEnd();
    }
    while (ok && Ok() && mFile.FieldReadBegin(kShape))
    {
        KString name(mFile.FieldReadC());
        KQoxShape* shape = manager.CreateKQoxShape();
        ok = shape && mFile.FieldReadBlockBegin();
        if (ok)
        {
            ok = ReadItems(mFile, kVertices, shape->GetControlPointArray(), 4);
            if (ok && mFile.FieldReadGetCount(kNormals) > 0)
            {
                KQoxLayer* layer = shape->GetLayer(shape->GetLayerCount() > 0 ? 0 : shape->CreateLayer());
                KQoxLayerElementNormal* normals = new KQoxLayerElementNormal;
                layer->SetNormals(normals);
                ok = ReadItems(mFile, kNormals, normals->mDirectArray, 4);
            }
            geometry.AddShape(shape, name.ToChars());
            mFile.FieldReadBlockEnd();
        }
        mFile.FieldReadEnd();
    }
    return ok;
}

void KQoxRead6::ResolveLinks()
{
    const int count = static_cast<int>(mNodes.size());
    for (const PendingLink& pending : mPendingLinks)
    {
        if (pending.mLinked >= count || pending.mAssociate >= count)
        {
            mCorrupted = true;
            return;
        }
        if (pending.mLinked >= 0)
            pending.mLink->SetLink(mNodes[static_cast<size_t>(pending.mLinked)]);
        if (pending.mAssociate >= 0)
            pending.mLink->SetAssociateModel(mNodes[static_cast<size_t>(pending.mAssociate)]);
    }
    mPendingLinks.clear();
}

void KQoxRead6::ReadMesh(KQoxNode& node)
{
    if (!mFile.FieldReadBegin(kGeometry))
        return;
    KQoxMesh* mesh = mScene.mManager.CreateKQoxMesh();
    if (!mesh || !mFile.FieldReadBlockBegin())
    {
        mFile.FieldReadEnd();
        return;
    }
    node.SetNodeAttribute(mesh);
    // The bulk arrays go straight into the mesh; the polygons are made from
    // the sizes at once.
    bool ok = ReadItems(mFile, kVertices, mesh->GetControlPointArray(), 4) && ReadPolygonVertices(mFile, *mesh);
    KArrayTemplate<int> sizes, groups;
    ok = ok && ReadIntArray(mFile, kPolygonSizes, sizes) && ReadIntArray(mFile, kPolygonGroups, groups);
    ok = ok && (groups.GetCount() == 0 || groups.GetCount() == sizes.GetCount()) &&
         mesh->SetPolygons(sizes.GetArray(), groups.GetCount() > 0 ? groups.GetArray() : nullptr, sizes.GetCount());
    sizes.Clear();
    groups.Clear();

    ok = ok && ReadLinksAndShapes(*mesh);

    // Layers in order; layer 0 may exist already (polygons make it).
    int layerCount = 0;
    while (ok && mFile.FieldReadBegin(kLayer))
    {
        KQoxLayer* layer =
            layerCount < mesh->GetLayerCount() ? mesh->GetLayer(layerCount) : mesh->GetLayer(mesh->CreateLayer());
        ++layerCount;
        if (layer && mFile.FieldReadBlockBegin())
        {
            for (int type = KQoxLayerElement::eNORMAL; ok && type <= KQoxLayerElement::eVERTEX_COLOR; ++type)
            {
                if (!mFile.FieldReadBegin(kLayerElementNames[type]))
                    continue;
                if (!mFile.FieldReadBlockBegin())
                {
                    mFile.FieldReadEnd();
                    continue;
                }
                KQoxLayerElement::EMappingMode mapping;
                KQoxLayerElement::EReferenceMode reference;
                ok = KQoxLayerElement::MappingModeFromToken(mFile.FieldReadC(kMappingInformationType, ""), mapping) &&
                     KQoxLayerElement::ReferenceModeFromToken(mFile.FieldReadC(kReferenceInformationType, ""),
                                                              reference);
                std::vector<int> positions;
                KQoxLayerElement* element = nullptr;
                int directCount = 0;
                switch (type)
                {
                case KQoxLayerElement::eNORMAL:
                {
                    std::unique_ptr<KQoxLayerElementNormal> e(new KQoxLayerElementNormal);
                    ok = ok && ReadItems(mFile, kDirect, e->mDirectArray, 4);
                    directCount = e->mDirectArray.GetCount();
                    layer->SetNormals(e.get());
                    element = e.release();
                    break;
                }
                case KQoxLayerElement::eMATERIAL:
                {
                    std::unique_ptr<KQoxLayerElementMaterial> e(new KQoxLayerElementMaterial);
                    ok = ok && ReadInts(mFile, kDirect, positions) && Resolve(positions, mMaterials, e->mDirectArray);
                    directCount = e->mDirectArray.GetCount();
                    layer->SetMaterials(e.get());
                    element = e.release();
                    break;
                }
                case KQoxLayerElement::eTEXTURE:
                {
                    std::unique_ptr<KQoxLayerElementTexture> e(new KQoxLayerElementTexture);
                    ok = ok && ReadInts(mFile, kDirect, positions) && Resolve(positions, mTextures, e->mDirectArray);
                    ok = ok &&
                         KQoxLayerElementTexture::BlendModeFromToken(
                             mFile.FieldReadC(kBlendMode, KQoxLayerElementTexture::BlendModeToken(0)), e->mBlendMode);
                    e->mAlpha = mFile.FieldReadD(kTextureAlpha, 1.0);
                    directCount = e->mDirectArray.GetCount();
                    layer->SetTextures(e.get());
                    element = e.release();
                    break;
                }
                case KQoxLayerElement::ePOLYGON_GROUP:
                {
                    std::unique_ptr<KQoxLayerElementPolygonGroup> e(new KQoxLayerElementPolygonGroup);
                    ok = ok && ReadInts(mFile, kDirect, positions);
                    e->mDirectArray.SetCount(static_cast<int>(positions.size()));
                    for (size_t i = 0; i < positions.size(); ++i)
                        e->mDirectArray[static_cast<int>(i)] = positions[i];
                    directCount = e->mDirectArray.GetCount();
                    layer->SetPolygonGroups(e.get());
                    element = e.release();
                    break;
                }
                case KQoxLayerElement::eUV:
                {
                    std::unique_ptr<KQoxLayerElementUV> e(new KQoxLayerElementUV);
                    ok = ok && ReadItems(mFile, kDirect, e->mDirectArray, 2);
                    directCount = e->mDirectArray.GetCount();
                    layer->SetUVs(e.get());
                    element = e.release();
                    break;
                }
                default:
                {
                    std::unique_ptr<KQoxLayerElementVertexColor> e(new KQoxLayerElementVertexColor);
                    ok = ok && ReadItems(mFile, kDirect, e->mDirectArray, 4);
                    directCount = e->mDirectArray.GetCount();
                    layer->SetVertexColors(e.get());
                    element = e.release();
                    break;
                }
                }
                if (ok)
                {
                    element->mMappingMode = mapping;
                    element->mReferenceMode = reference;
                    // The indices straight into the element, then checked.
                    KArrayTemplate<int>& indices = element->mIndexArray;
                    ok = ReadIntArray(mFile, kIndex, indices);
                    // Indices into the direct array stay inside it. Material and
                    // texture indices may name an entry the geometry does not hold
                    // (a mesh read from a file without materials keeps index 0);
                    // their users look them up with a bounds check.
                    const bool bounded = type != KQoxLayerElement::eMATERIAL && type != KQoxLayerElement::eTEXTURE;
                    const int limit = bounded ? directCount : 0x7FFFFFFF;
                    if (ok && reference == KQoxLayerElement::eINDEX_TO_DIRECT)
                        ok = AllBelow(indices.GetArray(), indices.GetCount(), -1, limit);
                }
                mFile.FieldReadBlockEnd();
                mFile.FieldReadEnd();
            }
            mFile.FieldReadBlockEnd();
        }
        mFile.FieldReadEnd();
    }
    if (!ok)
        mCorrupted = true;
    mFile.FieldReadBlockEnd();
    mFile.FieldReadEnd();
}

} // namespace qoxsdk_600
