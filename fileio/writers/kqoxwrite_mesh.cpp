// Version-6 writer: geometry (meshes, NURBS and patch surfaces) with its
// links, shapes and layers, every array in one portion.

#include <memory>
#include <vector>

#include "base/kmemorypool.h"

#include "fileio/kqoxnative_private.h"
#include "fileio/writers/kqoxwriterqox6_private.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxpatch.h"
#include "scene/attributes/kqoxshape.h"

namespace qoxsdk_600 {

using namespace qoxnative;

namespace {

// The doubles of an array of KQoxVector4, KQoxVector2 or KQoxColor items.
template <typename T>
void Items(IQoxObject& file, const char* name, const KArrayTemplate<T>& items, int width)
{
    file.FieldWriteBegin(name);
    file.FieldWriteArrayD(reinterpret_cast<const double*>(items.GetArray()),
                          static_cast<unsigned int>(items.GetCount() * width));
    file.FieldWriteEnd();
}

void Ints(IQoxObject& file, const char* name, const int* items, int count)
{
    file.FieldWriteBegin(name);
    file.FieldWriteArrayI(items, static_cast<unsigned int>(count));
    file.FieldWriteEnd();
}

// Object pointers as their positions in the objects section (-1: none).
template <typename T>
std::vector<int> Positions(const KArrayTemplate<T*>& objects, const std::unordered_map<const void*, int>& index)
{
    std::vector<int> out(static_cast<size_t>(objects.GetCount()), -1);
    for (int i = 0; i < objects.GetCount(); ++i)
    {
        auto found = index.find(objects[i]);
        if (found != index.end())
            out[static_cast<size_t>(i)] = found->second;
    }
    return out;
}

void Vector(IQoxObject& file, const KQoxVector4& v)
{
    for (int k = 0; k < 4; ++k)
        file.FieldWriteD(v[k]);
}

// The three vectors of one of a link's transforms.
void Transform(IQoxObject& file, const char* name, const KQoxVector4& t, const KQoxVector4& r, const KQoxVector4& s)
{
    file.FieldWriteBegin(name);
    Vector(file, t);
    Vector(file, r);
    Vector(file, s);
    file.FieldWriteEnd();
}

} // namespace

void KQoxWrite6::WriteLinkFields(KQoxLink& link)
{
    if (const char* mode = KQoxLink::LinkModeToken(link.GetLinkMode()))
        Text(kLinkMode, mode);
    mFile.FieldWriteBegin(kUserData);
    mFile.FieldWriteC(link.GetUserDataID().ToChars());
    mFile.FieldWriteC(link.GetUserData().ToChars());
    mFile.FieldWriteEnd();
    Ints(mFile, kIndexes, link.GetControlPointIndices(), link.GetControlPointIndicesCount());
    mFile.FieldWriteBegin(kWeights);
    mFile.FieldWriteArrayD(link.GetControlPointWeights(),
                           static_cast<unsigned int>(link.GetControlPointIndicesCount()));
    mFile.FieldWriteEnd();
    KQoxVector4 t, r, s;
    Transform(mFile, kTransform, link.GetTransformT(t), link.GetTransformR(r), link.GetTransformS(s));
    Transform(mFile, kTransformLink, link.GetTransformLinkT(t), link.GetTransformLinkR(r), link.GetTransformLinkS(s));
    Transform(mFile, kTransformAssociateModel, link.GetTransformAssociateModelT(t), link.GetTransformAssociateModelR(r),
              link.GetTransformAssociateModelS(s));
    if (link.IsTransformParentSet())
        Transform(mFile, kTransformParent, link.GetTransformParentT(t), link.GetTransformParentR(r),
                  link.GetTransformParentS(s));
}

void KQoxWrite6::WriteLinksAndShapes(KQoxGeometry& geometry)
{
    // Version 6 keeps links as clusters of a skin deformer.
    for (int i = 0; (mVersion5 || !mSkins) && i < geometry.GetLinkCount(); ++i)
    {
        KQoxLink* link = geometry.GetLink(i);
        auto position = [this](KQoxNode* node) {
            auto found = mNodeIndex.find(node);
            return found == mNodeIndex.end() ? -1 : found->second;
        };
        mFile.FieldWriteBegin(kLink);
        mFile.FieldWriteI(position(link->GetLink()));
        mFile.FieldWriteI(position(link->GetAssociateModel()));
        mFile.FieldWriteBlockBegin();
        WriteLinkFields(*link);
        mFile.FieldWriteBlockEnd();
        mFile.FieldWriteEnd();
    }
    for (int i = 0; i < geometry.GetShapeCount(); ++i)
    {
        KQoxShape* shape = geometry.GetShape(i);
        mFile.FieldWriteBegin(kShape);
        mFile.FieldWriteC(geometry.GetShapeName(i));
        mFile.FieldWriteBlockBegin();
        Items(mFile, kVertices, shape->GetControlPointArray(), 4);
        KQoxLayer* layer = shape->GetLayer(0);
        if (layer && layer->GetNormals())
            Items(mFile, kNormals, layer->GetNormals()->mDirectArray, 4);
        mFile.FieldWriteBlockEnd();
        mFile.FieldWriteEnd();
    }
}

void KQoxWrite6::WriteGeometry(KQoxGeometry& geometry)
{
    static_assert(sizeof(KQoxVector4) == 4 * sizeof(double) && sizeof(KQoxVector2) == 2 * sizeof(double) &&
                      sizeof(KQoxColor) == 4 * sizeof(double),
                  "layer items are packed doubles");
    mFile.FieldWriteBegin(kGeometry);
    mFile.FieldWriteBlockBegin();
    Int(kVersion, kGeometryVersion);
    Items(mFile, kVertices, geometry.GetControlPointArray(), 4);
    switch (geometry.GetAttributeType())
    {
    case KQoxNodeAttribute::eMESH: WritePolygons(static_cast<KQoxMesh&>(geometry)); break;
    case KQoxNodeAttribute::eNURB: WriteNurbFields(static_cast<KQoxNurb&>(geometry)); break;
    case KQoxNodeAttribute::ePATCH: WritePatchFields(static_cast<KQoxPatch&>(geometry)); break;
    default: break;
    }
    WriteLinksAndShapes(geometry);
    WriteLayers(geometry);
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

void KQoxWrite6::WritePolygons(KQoxMesh& mesh)
{
    Ints(mFile, kPolygonVertexIndex, mesh.GetPolygonVertices(), mesh.GetPolygonVertexCount());
    // Filled at once, without a zero fill first (the same memory failure as
    // any buffer of the writers).
    const int count = mesh.GetPolygonCount();
    std::unique_ptr<int[]> sizes(new int[static_cast<size_t>(count)]);
    std::unique_ptr<int[]> groups(new int[static_cast<size_t>(count)]);
    kAdviseLargePages(sizes.get(), static_cast<size_t>(count) * sizeof(int));
    kAdviseLargePages(groups.get(), static_cast<size_t>(count) * sizeof(int));
    mesh.GetPolygonSizesAndGroups(sizes.get(), groups.get());
    Ints(mFile, kPolygonSizes, sizes.get(), count);
    Ints(mFile, kPolygonGroups, groups.get(), count);
}

void KQoxWrite6::WriteLayers(KQoxGeometry& mesh)
{
    for (int l = 0; l < mesh.GetLayerCount(); ++l)
    {
        KQoxLayer* layer = mesh.GetLayer(l);
        mFile.FieldWriteBegin(kLayer);
        mFile.FieldWriteI(l);
        mFile.FieldWriteBlockBegin();
        for (int type = KQoxLayerElement::eNORMAL; type <= KQoxLayerElement::eVERTEX_COLOR; ++type)
        {
            KQoxLayerElement* element =
                layer->GetLayerElementOfType(static_cast<KQoxLayerElement::ELayerElementType>(type));
            if (!element)
                continue;
            mFile.FieldWriteBegin(kLayerElementNames[type]);
            mFile.FieldWriteBlockBegin();
            Text(kMappingInformationType, KQoxLayerElement::MappingModeToken(element->mMappingMode));
            Text(kReferenceInformationType, KQoxLayerElement::ReferenceModeToken(element->mReferenceMode));
            switch (type)
            {
            case KQoxLayerElement::eNORMAL:
                Items(mFile, kDirect, static_cast<KQoxLayerElementNormal*>(element)->mDirectArray, 4);
                break;
            case KQoxLayerElement::eMATERIAL:
            {
                std::vector<int> p =
                    Positions(static_cast<KQoxLayerElementMaterial*>(element)->mDirectArray, mMaterialIndex);
                Ints(mFile, kDirect, p.data(), static_cast<int>(p.size()));
                break;
            }
            case KQoxLayerElement::eTEXTURE:
            {
                KQoxLayerElementTexture* textures = static_cast<KQoxLayerElementTexture*>(element);
                std::vector<int> p = Positions(textures->mDirectArray, mTextureIndex);
                Ints(mFile, kDirect, p.data(), static_cast<int>(p.size()));
                Text(kBlendMode, KQoxLayerElementTexture::BlendModeToken(textures->mBlendMode));
                Double(kTextureAlpha, textures->mAlpha);
                break;
            }
            case KQoxLayerElement::ePOLYGON_GROUP:
            {
                KArrayTemplate<int>& direct = static_cast<KQoxLayerElementPolygonGroup*>(element)->mDirectArray;
                Ints(mFile, kDirect, direct.GetArray(), direct.GetCount());
                break;
            }
            case KQoxLayerElement::eUV:
                Items(mFile, kDirect, static_cast<KQoxLayerElementUV*>(element)->mDirectArray, 2);
                break;
            default: Items(mFile, kDirect, static_cast<KQoxLayerElementVertexColor*>(element)->mDirectArray, 4);
            }
            Ints(mFile, kIndex, element->mIndexArray.GetArray(), element->mIndexArray.GetCount());
            mFile.FieldWriteBlockEnd();
            mFile.FieldWriteEnd();
        }
        mFile.FieldWriteBlockEnd();
        mFile.FieldWriteEnd();
    }
}

void KQoxWrite6::WriteNurbFields(KQoxNurb& nurb)
{
    auto pair = [this](const char* name, int u, int v) {
        mFile.FieldWriteBegin(name);
        mFile.FieldWriteI(u);
        mFile.FieldWriteI(v);
        mFile.FieldWriteEnd();
    };
    pair(kNurbOrder, static_cast<int>(nurb.GetUOrder()), static_cast<int>(nurb.GetVOrder()));
    pair(kDimensions, nurb.GetUCount(), nurb.GetVCount());
    pair(kStep, nurb.GetUStep(), nurb.GetVStep());
    mFile.FieldWriteBegin(kForm);
    mFile.FieldWriteC(KQoxNurb::NurbTypeToken(nurb.GetNurbUType()));
    mFile.FieldWriteC(KQoxNurb::NurbTypeToken(nurb.GetNurbVType()));
    mFile.FieldWriteEnd();
    Int(kSurfaceMode, nurb.GetSurfaceMode());
    mFile.FieldWriteBegin(kKnotVectorU);
    mFile.FieldWriteArrayD(nurb.GetUKnotVector(), static_cast<unsigned int>(nurb.GetUKnotVectorSize()));
    mFile.FieldWriteEnd();
    mFile.FieldWriteBegin(kKnotVectorV);
    mFile.FieldWriteArrayD(nurb.GetVKnotVector(), static_cast<unsigned int>(nurb.GetVKnotVectorSize()));
    mFile.FieldWriteEnd();
    Ints(mFile, kMultiplicityU, nurb.GetUMultiplicityVector(), nurb.GetUCount());
    Ints(mFile, kMultiplicityV, nurb.GetVMultiplicityVector(), nurb.GetVCount());
}

void KQoxWrite6::WritePatchFields(KQoxPatch& patch)
{
    auto pair = [this](const char* name, int u, int v) {
        mFile.FieldWriteBegin(name);
        mFile.FieldWriteI(u);
        mFile.FieldWriteI(v);
        mFile.FieldWriteEnd();
    };
    mFile.FieldWriteBegin(kPatchType);
    mFile.FieldWriteC(KQoxPatch::PatchTypeToken(patch.GetPatchUType()));
    mFile.FieldWriteC(KQoxPatch::PatchTypeToken(patch.GetPatchVType()));
    mFile.FieldWriteEnd();
    pair(kDimensions, patch.GetUCount(), patch.GetVCount());
    pair(kStep, patch.GetUStep(), patch.GetVStep());
    pair(kClosed, patch.GetUClosed() ? 1 : 0, patch.GetVClosed() ? 1 : 0);
    pair(kUCapped, patch.GetUCappedBottom() ? 1 : 0, patch.GetUCappedTop() ? 1 : 0);
    pair(kVCapped, patch.GetVCappedBottom() ? 1 : 0, patch.GetVCappedTop() ? 1 : 0);
    Int(kSurfaceMode, patch.GetSurfaceMode());
}

} // namespace qoxsdk_600
