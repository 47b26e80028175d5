// Native reader: geometry (meshes, NURBS and patch surfaces) with its
// links, shapes and layers. Every array comes in one
// portion; counts, indices and positions are checked before they are used.

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "base/kmemorypool.h"
#include "fileio/kqoxnative_private.h"
#include "fileio/kqoxreaderqox_private.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxpatch.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

using namespace qoxnative;

namespace {

// Room for the items a file holds could not be had: memory ran out. The
// whole read fails with "Out of memory" and is undone, as any failed read.
[[noreturn]] void NoRoom()
{
    throw std::bad_alloc();
}

// The array at count items (zero-filled), or NoRoom.
template <typename T>
void SizeOrNoRoom(KArrayTemplate<T>& array, int count)
{
    array.SetCount(count);
    if (array.GetCount() != count)
        NoRoom();
}

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
    bool ok = count >= 0 && count % width == 0 && count / width <= 0x7FFFFFFF;
    if (ok && !out.SetCountUnset(static_cast<int>(count / width)))
        NoRoom();
    KPrefaulter prefault(ok ? out.GetArray() : nullptr, ok ? static_cast<size_t>(count) * sizeof(double) : 0);
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
    bool ok = count >= 0 && count <= 0x7FFFFFFF;
    if (ok && !out.SetCountUnset(static_cast<int>(count)))
        NoRoom();
    KPrefaulter prefault(ok ? out.GetArray() : nullptr, ok ? static_cast<size_t>(count) * sizeof(int) : 0);
    ok = ok && file.FieldReadArrayI(out.GetArray(), static_cast<unsigned long long>(count));
    if (!ok)
        out.SetCount(0);
    file.FieldReadEnd();
    return ok;
}

// True when every one of the n values lies in [low, high) (low is 0 or -1):
// one branch-free pass that vectorises. A value v lies inside when v - low,
// taken unsigned, is below high - low; moving both by 2^31 makes that a
// signed comparison, which every vector unit has.
bool AllBelow(const int* values, int n, int low, int high)
{
    if (high <= low)
        return n == 0;
    const unsigned int shift = 0x80000000u - static_cast<unsigned int>(low);
    const int limit = static_cast<int>(static_cast<unsigned int>(high) - static_cast<unsigned int>(low) + 0x80000000u);
    int outside = 0;
    for (int i = 0; i < n; ++i)
        outside |= -static_cast<int>(static_cast<int>(static_cast<unsigned int>(values[i]) + shift) >= limit);
    return outside == 0;
}

// The polygon-vertex array straight into the mesh, checked against its
// control points.
bool ReadPolygonVertices(IQoxObject& file, KQoxMesh& mesh)
{
    if (!file.FieldReadBegin(kPolygonVertexIndex))
        return true;
    long long count = file.FieldReadArrayCount();
    int* vertices = count > 0 && count <= 0x7FFFFFFF ? mesh.SetPolygonVertexCount(static_cast<int>(count)) : nullptr;
    // A mesh without polygons yet refuses the vertices only for want of room.
    if (count > 0 && count <= 0x7FFFFFFF && !vertices && mesh.GetPolygonCount() == 0)
        NoRoom();
    // An empty array is a mesh without polygons (points only, or none).
    bool ok = vertices != nullptr || count == 0;
    {
        KPrefaulter prefault(vertices, ok ? static_cast<size_t>(count) * sizeof(int) : 0);
        ok = ok && file.FieldReadArrayI(vertices, static_cast<unsigned long long>(count));
    }
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
    SizeOrNoRoom(out, static_cast<int>(positions.size()));
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

bool KQoxRead6::ReadLinkFields(KQoxLink& link, int points)
{
    KString mode(mFile.FieldReadC(kLinkMode, ""));
    link.SetLinkMode(mode == "Additive" ? KQoxLink::eADDITIVE
                                        : (mode == "Total1" ? KQoxLink::eTOTAL1 : KQoxLink::eNORMALIZE));
    if (mFile.FieldReadBegin(kUserData))
    {
        KString id(mFile.FieldReadC());
        KString data(mFile.FieldReadC());
        link.SetUserData(id, data);
        mFile.FieldReadEnd();
    }
    std::vector<int> indexes;
    std::vector<double> weights;
    bool ok = ReadInts(mFile, kIndexes, indexes);
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
            link.AddControlPointIndex(indexes[i], weights[i]);
    }
    KQoxVector4 t, r, s;
    if (ok && ReadTransform(mFile, kTransform, t, r, s))
    {
        link.SetTransformT(t);
        link.SetTransformR(r);
        link.SetTransformS(s);
    }
    if (ok && ReadTransform(mFile, kTransformLink, t, r, s))
    {
        link.SetTransformLinkT(t);
        link.SetTransformLinkR(r);
        link.SetTransformLinkS(s);
    }
    if (ok && ReadTransform(mFile, kTransformAssociateModel, t, r, s))
    {
        link.SetTransformAssociateModelT(t);
        link.SetTransformAssociateModelR(r);
        link.SetTransformAssociateModelS(s);
    }
    if (ok && ReadTransform(mFile, kTransformParent, t, r, s))
    {
        link.SetTransformParentT(t);
        link.SetTransformParentR(r);
        link.SetTransformParentS(s);
    }
    return ok;
}

bool KQoxRead6::ReadLinksAndShapes(KQoxGeometry& geometry)
{
    KQoxSdkManager& manager = mScene.mManager;
    const int points = geometry.GetControlPointsCount();
    bool ok = true;
    while (ok && Ok() && mFile.FieldReadBegin(kLink))
    {
        int linked = mFile.FieldReadI();
        int associate = mFile.FieldReadI();
        ok = linked >= -1 && associate >= -1 && mFile.FieldReadBlockBegin();
        KQoxLink* link = ok ? manager.CreateKQoxLink() : nullptr;
        if (ok && !link)
        {
            ok = false;
            mFile.FieldReadBlockEnd();
        }
        if (ok)
        {
            geometry.AddLink(link);
            mPendingLinks.push_back({link, linked, associate});
            ok = ReadLinkFields(*link, points);
            mFile.FieldReadBlockEnd();
        }
        mFile.FieldReadEnd();
    }
    while (ok && Ok() && mFile.FieldReadBegin(kShape))
    {
        KString name(mFile.FieldReadC());
        ok = mFile.FieldReadBlockBegin();
        KQoxShape* shape = ok ? manager.CreateKQoxShape() : nullptr;
        if (ok && !shape)
        {
            ok = false;
            mFile.FieldReadBlockEnd();
        }
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

void KQoxRead6::ReadGeometry(KQoxNode& node, const char* kind)
{
    if (!mFile.FieldReadBegin(kGeometry))
        return;
    if (!mFile.FieldReadBlockBegin())
    {
        mFile.FieldReadEnd();
        return;
    }
    KQoxSdkManager& manager = mScene.mManager;
    KQoxGeometry* geometry = nullptr;
    if (std::strcmp(kind, GeometryKindText(KQoxNodeAttribute::eNURB)) == 0)
        geometry = manager.CreateKQoxNurb();
    else if (std::strcmp(kind, GeometryKindText(KQoxNodeAttribute::ePATCH)) == 0)
        geometry = manager.CreateKQoxPatch();
    else
        geometry = manager.CreateKQoxMesh();
    bool ok = geometry != nullptr;
    if (ok)
    {
        node.SetNodeAttribute(geometry);
        switch (geometry->GetAttributeType())
        {
        case KQoxNodeAttribute::eNURB: ok = ReadNurbFields(static_cast<KQoxNurb&>(*geometry)); break;
        case KQoxNodeAttribute::ePATCH: ok = ReadPatchFields(static_cast<KQoxPatch&>(*geometry)); break;
        default: ok = ReadPolygons(static_cast<KQoxMesh&>(*geometry)); break;
        }
        ok = ok && ReadLinksAndShapes(*geometry) && ReadLayers(*geometry);
    }
    if (!ok)
        mCorrupted = true;
    mFile.FieldReadBlockEnd();
    mFile.FieldReadEnd();
}

bool KQoxRead6::ReadPolygons(KQoxMesh& mesh)
{
    // The bulk arrays go straight into the mesh; the polygons are made from
    // the sizes at once.
    bool ok = ReadItems(mFile, kVertices, mesh.GetControlPointArray(), 4) && ReadPolygonVertices(mFile, mesh);
    KArrayTemplate<int> sizes, groups;
    ok = ok && ReadIntArray(mFile, kPolygonSizes, sizes) && ReadIntArray(mFile, kPolygonGroups, groups);
    // SetPolygons refuses bad sizes and a want of room alike: the room is
    // had first.
    if (ok && mesh.GetPolygonCount() == 0 && !mesh.ReservePolygons(sizes.GetCount(), 0))
        NoRoom();
    return ok && (groups.GetCount() == 0 || groups.GetCount() == sizes.GetCount()) &&
           mesh.SetPolygons(sizes.GetArray(), groups.GetCount() > 0 ? groups.GetArray() : nullptr, sizes.GetCount());
}

bool KQoxRead6::ReadLayers(KQoxGeometry& geometry)
{
    KQoxGeometry* mesh = &geometry;
    bool ok = true;
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
                    SizeOrNoRoom(e->mDirectArray, static_cast<int>(positions.size()));
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
    return ok;
}

namespace {

// The two integers of a U, V field; false when it is missing or short.
bool ReadPair(IQoxObject& file, const char* name, int& u, int& v)
{
    if (!file.FieldReadBegin(name))
        return false;
    bool ok = file.FieldReadGetRemain() >= 2;
    u = file.FieldReadI();
    v = file.FieldReadI();
    file.FieldReadEnd();
    return ok;
}

// The whole named array (doubles or integers); empty when the field is
// missing, false when it holds no array of numbers. The count is checked
// against the file before anything is allocated.
template <typename T>
bool ReadArray(IQoxObject& file, const char* name, std::vector<T>& out)
{
    out.clear();
    if (!file.FieldReadBegin(name))
        return true;
    long long count = file.FieldReadArrayCount();
    bool ok = count >= 0;
    if (ok && count > 0)
    {
        out.resize(static_cast<size_t>(count));
        if constexpr (std::is_same<T, double>::value)
            ok = file.FieldReadArrayD(out.data(), out.size());
        else
            ok = file.FieldReadArrayI(out.data(), out.size());
    }
    file.FieldReadEnd();
    return ok;
}

// The control grid of U x V points into the geometry, sized for them already.
bool FillGrid(KQoxGeometry& geometry, const std::vector<double>& points, int uCount, int vCount)
{
    const long long count = static_cast<long long>(uCount) * vCount;
    if (static_cast<long long>(points.size()) != 4 * count)
        return false;
    // The grid holds as many points as the file: fewer for want of room.
    if (geometry.GetControlPointsCount() != count)
        NoRoom();
    for (long long i = 0; i < count; ++i)
        geometry.GetControlPoints()[i] =
            KQoxVector4(points[static_cast<size_t>(4 * i)], points[static_cast<size_t>(4 * i + 1)],
                        points[static_cast<size_t>(4 * i + 2)], points[static_cast<size_t>(4 * i + 3)]);
    return true;
}

} // namespace

bool KQoxRead6::ReadNurbFields(KQoxNurb& nurb)
{
    int uOrder = 0, vOrder = 0, uCount = 0, vCount = 0, uStep = 0, vStep = 0;
    KQoxNurb::ENurbType uType = KQoxNurb::eOPEN, vType = KQoxNurb::eOPEN;
    bool ok = ReadPair(mFile, kNurbOrder, uOrder, vOrder) && ReadPair(mFile, kDimensions, uCount, vCount) &&
              uOrder >= 0 && vOrder >= 0 && uCount >= 0 && vCount >= 0;
    // A surface never given an order holds no control points either.
    ok = ok && ((uOrder > 0 && vOrder > 0) || uCount == 0 || vCount == 0);
    ok = ok && mFile.FieldReadBegin(kForm);
    if (ok)
    {
        KString u(mFile.FieldReadC()), v(mFile.FieldReadC());
        mFile.FieldReadEnd();
        ok = KQoxNurb::NurbTypeFromToken(u.ToChars(), uType) && KQoxNurb::NurbTypeFromToken(v.ToChars(), vType);
    }
    // Everything is read as the file holds it, then checked against the
    // description before the surface is sized from it: the grid, each knot
    // vector at its knot count, each multiplicity vector at its direction's
    // control point count.
    std::vector<double> points, uKnots, vKnots;
    std::vector<int> uMultiplicity, vMultiplicity;
    ok = ok && ReadArray(mFile, kVertices, points) && ReadArray(mFile, kKnotVectorU, uKnots) &&
         ReadArray(mFile, kKnotVectorV, vKnots) && ReadArray(mFile, kMultiplicityU, uMultiplicity) &&
         ReadArray(mFile, kMultiplicityV, vMultiplicity);
    // As the surface counts them (none for a count and order of zero).
    auto knotCount = [](int count, int order, KQoxNurb::ENurbType type) {
        return std::max(0LL, type == KQoxNurb::eOPEN ? static_cast<long long>(count) + order
                                                     : static_cast<long long>(count) + 2LL * order - 1);
    };
    ok = ok && static_cast<long long>(points.size()) == 4LL * uCount * vCount &&
         static_cast<long long>(uKnots.size()) == knotCount(uCount, uOrder, uType) &&
         static_cast<long long>(vKnots.size()) == knotCount(vCount, vOrder, vType) &&
         static_cast<long long>(uMultiplicity.size()) == uCount &&
         static_cast<long long>(vMultiplicity.size()) == vCount;
    // Every weight (the fourth component of a point) is positive.
    for (size_t i = 3; ok && i < points.size(); i += 4)
        ok = points[i] > 0.0;
    if (!ok)
        return false;
    nurb.SetOrder(static_cast<unsigned int>(uOrder), static_cast<unsigned int>(vOrder));
    nurb.InitControlPoints(uCount, uType, vCount, vType);
    ok = FillGrid(nurb, points, uCount, vCount) && nurb.GetUKnotVectorSize() == static_cast<int>(uKnots.size()) &&
         nurb.GetVKnotVectorSize() == static_cast<int>(vKnots.size());
    if (!ok)
        return false;
    std::copy(uKnots.begin(), uKnots.end(), nurb.GetUKnotVector());
    std::copy(vKnots.begin(), vKnots.end(), nurb.GetVKnotVector());
    std::copy(uMultiplicity.begin(), uMultiplicity.end(), nurb.GetUMultiplicityVector());
    std::copy(vMultiplicity.begin(), vMultiplicity.end(), nurb.GetVMultiplicityVector());
    if (ReadPair(mFile, kStep, uStep, vStep))
        nurb.SetStep(uStep, vStep);
    nurb.SetSurfaceMode(mFile.FieldReadI(kSurfaceMode, KQoxNurb::eDEFAULT_SURFACE_MODE));
    return true;
}

bool KQoxRead6::ReadPatchFields(KQoxPatch& patch)
{
    int uCount = 0, vCount = 0;
    KQoxPatch::EPatchType uType = KQoxPatch::eLINEAR, vType = KQoxPatch::eLINEAR;
    bool ok =
        ReadPair(mFile, kDimensions, uCount, vCount) && uCount >= 0 && vCount >= 0 && mFile.FieldReadBegin(kPatchType);
    if (ok)
    {
        KString u(mFile.FieldReadC()), v(mFile.FieldReadC());
        mFile.FieldReadEnd();
        ok = KQoxPatch::PatchTypeFromToken(u.ToChars(), uType) && KQoxPatch::PatchTypeFromToken(v.ToChars(), vType);
    }
    // The grid is sized only once the file is known to hold it.
    std::vector<double> points;
    ok = ok && ReadArray(mFile, kVertices, points) && static_cast<long long>(points.size()) == 4LL * uCount * vCount;
    if (!ok)
        return false;
    patch.InitControlPoints(uCount, uType, vCount, vType);
    if (!FillGrid(patch, points, uCount, vCount))
        return false;
    int u = 0, v = 0;
    if (ReadPair(mFile, kStep, u, v))
        patch.SetStep(u, v);
    if (ReadPair(mFile, kClosed, u, v))
        patch.SetClosed(u != 0, v != 0);
    if (ReadPair(mFile, kUCapped, u, v))
        patch.SetUCapped(u != 0, v != 0);
    if (ReadPair(mFile, kVCapped, u, v))
        patch.SetVCapped(u != 0, v != 0);
    patch.SetSurfaceMode(mFile.FieldReadI(kSurfaceMode, KQoxPatch::eDEFAULT_SURFACE_MODE));
    return true;
}

} // namespace qoxsdk_600
