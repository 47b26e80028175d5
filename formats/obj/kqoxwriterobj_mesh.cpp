// One mesh node as one OBJ group: vertices in world space, texture
// coordinates, normals and faces. Every index read from the mesh's layers is
// checked: a corner without valid data gets no texture or normal number.

#include <vector>

#include "formats/obj/kqoxwriterobj.h"
#include "formats/obj/kqoxwriterobj_private.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxnode.h"

namespace qoxsdk_600 {

namespace {

// The item an index-mapped element gives for a position; -1 when there is
// none.
int ElementIndex(const KQoxLayerElement* element, int position)
{
    if (!element || position < 0)
        return -1;
    if (element->mReferenceMode == KQoxLayerElement::eDIRECT)
        return position;
    return element->mIndexArray.ValidateIndex(position) ? element->mIndexArray[position] : -1;
}

} // namespace

void KQoxWriterObj::WriteMesh(KQoxNode* node, KQoxMesh* mesh)
{
    const int pointCount = mesh->GetControlPointsCount();
    const int uvCount = mesh->GetTextureUVCount();
    const int materialCount = mesh->GMC(0);
    const int textureCount = mesh->GTC(0);
    const int polygonCount = mesh->GetPolygonCount();
    KQoxLayer* layer = mesh->GetLayer(0);
    const KQoxLayerElementMaterial* materials = layer ? layer->GetMaterials() : nullptr;
    const KQoxLayerElementTexture* textures = layer ? layer->GetTextures() : nullptr;
    const KQoxLayerElementNormal* normalElement = layer ? layer->GetNormals() : nullptr;
    const int materialMapping = mesh->GetMaterialMappingMode();
    int textureMapping = mesh->GetTextureMappingMode();
    if (textureMapping != KQoxLayerElement::eBY_POLYGON && textureMapping != KQoxLayerElement::eALL_SAME)
        textureMapping = 0;
    int uvMapping = mesh->GetTextureUVMappingMode();
    if (uvMapping != KQoxLayerElement::eBY_CONTROL_POINT && uvMapping != KQoxLayerElement::eBY_POLYGON_VERTEX)
        uvMapping = 0;
    const KQoxVector2* uvArray = uvCount > 0 ? mesh->GetTextureUV() : nullptr;
    const bool hasNormals = normalElement && normalElement->mDirectArray.GetCount() >= pointCount && pointCount > 0;

    const int vertexBase = mNextVertex;
    const int uvBase = mNextTextureCoordinate;
    const int normalBase = mNextNormal;
    const KQoxXMatrix world(node->GetGlobalT(eSOURCE_SET, false), node->GetGlobalR(eSOURCE_SET, false),
                            node->GetGlobalS(eSOURCE_SET, false));
    const KQoxXMatrix normalMatrix = world.Inverse().Transpose();

    mObj->Text("g ").Text(node->GetNameWithoutNameSpacePrefix().ToChars()).Char('\n');

    // Baking works on copies: the scene keeps its points and normals.
    std::vector<KQoxVector4> points(mesh->GetControlPoints(), mesh->GetControlPoints() + pointCount);
    std::vector<KQoxVector4> normals;
    if (hasNormals)
        normals.assign(normalElement->mDirectArray.GetArray(), normalElement->mDirectArray.GetArray() + pointCount);
    if (mEvaluateDeformations && (mesh->GetShapeCount() > 0 || mesh->GetLinkCount() > 0) && pointCount > 0)
    {
        std::vector<KQoxVector4> tips;
        if (hasNormals)
            for (int i = 0; i < pointCount; ++i)
                tips.push_back(points[i] + normals[i]);
        KQoxXMatrix reference(world);
        if (mesh->GetShapeCount() > 0)
        {
            ComputeShapeDeformation(node, mesh, points.data());
            if (hasNormals)
                ComputeShapeDeformation(node, mesh, tips.data());
        }
        if (mesh->GetLinkCount() > 0)
        {
            ComputeLinkDeformation(reference, mesh, points.data());
            if (hasNormals)
                ComputeLinkDeformation(reference, mesh, tips.data());
        }
        if (hasNormals)
            for (int i = 0; i < pointCount; ++i)
                normals[i] = tips[i] - points[i];
    }

    for (const KQoxVector4& point : points)
    {
        const KQoxVector4 p = world.MultT(point);
        mObj->Text("v ").Double(p[0]).Char(' ').Double(p[1]).Char(' ').Double(p[2]).Char('\n');
    }
    mNextVertex += pointCount;

    // Texture coordinates: the UV array as it is (optionally swapped), or
    // one entry per polygon corner when textures vary by polygon.
    bool uvLinesWritten = false;
    std::vector<int> cornerUV; // per corner, its "vt" number; -1 for none
    if (uvArray)
    {
        auto writeUV = [&](const KQoxVector2& uv, bool swap) {
            mObj->Text("vt ").Double(swap ? uv[1] : uv[0]).Char(' ').Double(swap ? uv[0] : uv[1]).Char('\n');
        };
        if (textureCount == 0 || textureMapping == KQoxLayerElement::eALL_SAME)
        {
            KQoxTexture* texture = textureCount > 0 ? mesh->GT(textureCount - 1, 0) : nullptr;
            const bool swap = texture && texture->GetSwapUV();
            for (int i = 0; i < uvCount; ++i)
                writeUV(uvArray[i], swap);
            mNextTextureCoordinate += uvCount;
            uvLinesWritten = true;
        }
        else if (textureMapping == KQoxLayerElement::eBY_POLYGON)
        {
            int written = 0;
            for (int p = 0; p < polygonCount; ++p)
            {
                const int textureIndex = ElementIndex(textures, p);
                KQoxTexture* texture =
                    textureIndex >= 0 && textureIndex < textureCount ? mesh->GT(textureIndex, 0) : nullptr;
                const bool swap = texture && texture->GetSwapUV();
                int uvIndex = 0;
                for (int c = 0; c < mesh->GetPolygonSize(p); ++c)
                {
                    if (uvMapping == KQoxLayerElement::eBY_CONTROL_POINT)
                        uvIndex = mesh->GetPolygonVertex(p, c);
                    else if (uvMapping == KQoxLayerElement::eBY_POLYGON_VERTEX)
                        uvIndex = mesh->GetTextureUVIndex(p, c);
                    if (uvIndex >= 0 && uvIndex < uvCount)
                    {
                        writeUV(uvArray[uvIndex], swap);
                        cornerUV.push_back(uvBase + written++);
                    }
                    else
                        cornerUV.push_back(-1);
                }
            }
            mNextTextureCoordinate += written;
        }
    }

    if (hasNormals)
    {
        for (const KQoxVector4& normal : normals)
        {
            KQoxVector4 n = normalMatrix.MultT(normal);
            n.Normalize();
            mObj->Text("vn ").Double(n[0]).Char(' ').Double(n[1]).Char(' ').Double(n[2]).Char('\n');
        }
        mNextNormal += pointCount;
    }

    // Materials: one pair for the whole mesh, or a pair per polygon.
    const bool hasMaterials = materialCount >= 1 || textureCount >= 1;
    const bool perPolygon = (materialCount >= 1 && materialMapping != KQoxLayerElement::eALL_SAME) ||
                            (textureCount >= 1 && textureMapping != KQoxLayerElement::eALL_SAME);
    auto nameText = [](KQoxMaterial* material, bool replaceBlank) {
        KString text = material->GetNameWithoutNameSpacePrefix();
        if (replaceBlank)
            text.FindAndReplace(" ", "_", 0);
        return text;
    };
    if (hasMaterials && !perPolygon)
    {
        KQoxTexture* texture = textureCount > 0 ? mesh->GT(textureCount - 1, 0) : nullptr;
        KQoxMaterial* material = materialCount > 0 ? mesh->GM(materialCount - 1, 0) : mDefaultMaterial;
        if (material)
            UseMaterial(material, texture, nameText(material, true));
    }
    else if (!hasMaterials && mMaterialsPresent && mDefaultMaterial)
    {
        UseMaterial(mDefaultMaterial, nullptr, nameText(mDefaultMaterial, false));
    }

    KQoxMaterial* currentMaterial = nullptr;
    KQoxTexture* currentTexture = nullptr;
    int corner = 0;
    for (int p = 0; p < polygonCount; ++p)
    {
        if (hasMaterials && perPolygon)
        {
            KQoxMaterial* material = nullptr;
            int materialIndex = -1;
            if (materialCount == 0)
                material = mDefaultMaterial;
            else if (materialMapping == KQoxLayerElement::eALL_SAME)
                materialIndex = materialCount - 1;
            else if (materialMapping == KQoxLayerElement::eBY_POLYGON)
                materialIndex = ElementIndex(materials, p);
            else if (materialMapping == KQoxLayerElement::eBY_CONTROL_POINT)
                materialIndex = ElementIndex(materials, mesh->GetPolygonVertex(p, 0));
            if (materialIndex >= 0 && materialIndex < materialCount)
                material = mesh->GM(materialIndex, 0);
            KQoxTexture* texture = nullptr;
            int textureIndex = -1;
            if (textureCount > 0 && textureMapping == KQoxLayerElement::eALL_SAME)
                textureIndex = textureCount - 1;
            else if (textureCount > 0 && textureMapping == KQoxLayerElement::eBY_POLYGON)
                textureIndex = ElementIndex(textures, p);
            if (textureIndex >= 0 && textureIndex < textureCount)
                texture = mesh->GT(textureIndex, 0);
            if (material != currentMaterial || texture != currentTexture)
            {
                currentMaterial = material;
                currentTexture = texture;
                if (material)
                    UseMaterial(material, texture, nameText(material, true));
            }
        }

        mObj->Char('f');
        const int size = mesh->GetPolygonSize(p);
        for (int c = 0; c < size; ++c, ++corner)
        {
            const int v = mesh->GetPolygonVertex(p, c);
            if (v < 0 || v >= pointCount)
                continue;
            int t = -1;
            if (!cornerUV.empty())
                t = corner < static_cast<int>(cornerUV.size()) ? cornerUV[corner] : -1;
            else if (uvLinesWritten)
            {
                const int uvIndex = uvMapping == KQoxLayerElement::eBY_CONTROL_POINT    ? v
                                    : uvMapping == KQoxLayerElement::eBY_POLYGON_VERTEX ? mesh->GetTextureUVIndex(p, c)
                                                                                        : -1;
                if (uvIndex >= 0 && uvIndex < uvCount)
                    t = uvBase + uvIndex;
            }
            mObj->Char(' ').Int(vertexBase + v);
            if (t >= 0 || hasNormals)
                mObj->Char('/');
            if (t >= 0)
                mObj->Int(t);
            if (hasNormals)
                mObj->Char('/').Int(normalBase + v);
        }
        mObj->Char('\n');
    }
}

} // namespace qoxsdk_600
