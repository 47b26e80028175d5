// One mesh node as one OBJ group: vertices in world space, texture
// coordinates, normals and faces. Every index read from the mesh's layers is
// checked: a corner without valid data gets no texture or normal number.

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/obj/kqoxwriterobj.h"
#include "formats/kqoxkeptvalues.h"
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

// Polygons from which a mesh's corner UV numbers are worked out on several
// threads.
constexpr size_t kParallelPolygons = size_t(1) << 16;

// The longest text of one face corner, " v/t/n", and the corners given room
// at once.
constexpr size_t kCornerMax = 3 * (kObjUnsignedMax + 2);
// Room past a corner's text for the fixed-size copy of a number.
constexpr size_t kCopySlack = 32;
constexpr int kCornerRun = 256;

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

    const KString group = KQoxWholeName(*node);
    if (HasLineBreak(group.ToChars()))
    {
        // A line break would end the "g" line early.
        const std::string written = WithoutLineBreaks(group.ToChars());
        NoteLineBreak("group", written.c_str());
        mObj->Text("g ").Text(written.c_str()).Char('\n');
    }
    else
        mObj->Text("g ").Text(group.ToChars()).Char('\n');
    // The long lists of lines are formatted in blocks on several threads.
    auto WriteBlocks = [&](size_t count, auto&& format) {
        ObjWriteBlocks(*mObj, mBlockTexts, mThreads, mBlockItems, count, format);
    };

    // Baking works on copies: the scene keeps its points and normals.
    // Without baking the mesh's own arrays are read.
    const KQoxVector4* pointData = mesh->GetControlPoints();
    const KQoxVector4* normalData = hasNormals ? normalElement->mDirectArray.GetArray() : nullptr;
    std::vector<KQoxVector4> points;
    std::vector<KQoxVector4> normals;
    if (mEvaluateDeformations && (mesh->GetShapeCount() > 0 || mesh->GetLinkCount() > 0) && pointCount > 0)
    {
        points.assign(pointData, pointData + pointCount);
        if (hasNormals)
            normals.assign(normalData, normalData + pointCount);
        pointData = points.data();
        normalData = normals.data();
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

    // Colours by control point go with their points: "v x y z r g b", and
    // the alpha after them when some point's colour is not opaque. Others
    // (by polygon vertex, say) have no place there: counted for the message.
    const KQoxLayer* colorLayer = mesh->GetLayer(0, KQoxLayerElement::eVERTEX_COLOR);
    const KQoxLayerElementVertexColor* colors = colorLayer ? colorLayer->GetVertexColors() : nullptr;
    if (colors && colors->mMappingMode != KQoxLayerElement::eBY_CONTROL_POINT)
    {
        ++mColorsLeftOut;
        colors = nullptr;
    }
    // A point's colour; null when the element gives it none.
    auto colorOf = [&](int point) -> const KQoxColor* {
        int item = point;
        if (colors->mReferenceMode != KQoxLayerElement::eDIRECT)
            item = colors->mIndexArray.ValidateIndex(point) ? colors->mIndexArray[point] : -1;
        return colors->mDirectArray.ValidateIndex(item) ? &colors->mDirectArray[item] : nullptr;
    };
    int colorNumbers = colors ? 6 : 3;
    for (int i = 0; colors && i < pointCount && colorNumbers == 6; ++i)
        if (const KQoxColor* color = colorOf(i))
            colorNumbers = color->mAlpha != 1.0 ? 7 : 6;
    WriteBlocks(static_cast<size_t>(pointCount), [&](Output& out, size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i)
        {
            const KQoxVector4 p = KQoxMultTKept(world, pointData[i]);
            if (!colors)
            {
                out.Line("v", 1, p.mData, 3);
                continue;
            }
            // A point the element gives no colour is white.
            const KQoxColor* color = colorOf(static_cast<int>(i));
            const double values[7] = {p.mData[0],
                                      p.mData[1],
                                      p.mData[2],
                                      color ? color->mRed : 1.0,
                                      color ? color->mGreen : 1.0,
                                      color ? color->mBlue : 1.0,
                                      color ? color->mAlpha : 1.0};
            out.Line("v", 1, values, colorNumbers);
        }
    });
    mNextVertex += pointCount;

    // Texture coordinates: the UV array as it is (optionally swapped), or
    // one entry per polygon corner when textures vary by polygon.
    bool uvLinesWritten = false;
    std::vector<int> cornerUV;  // per corner, its "vt" number; -1 for none
    std::vector<size_t> packed; // with them, where each polygon's corners start
    if (uvArray)
    {
        auto writeUV = [](Output& out, const KQoxVector2& uv, bool swap) {
            const double values[2] = {swap ? uv[1] : uv[0], swap ? uv[0] : uv[1]};
            out.Line("vt", 2, values, 2);
        };
        if (textureCount == 0 || textureMapping == KQoxLayerElement::eALL_SAME)
        {
            KQoxTexture* texture = textureCount > 0 ? mesh->GT(textureCount - 1, 0) : nullptr;
            const bool swap = texture && texture->GetSwapUV();
            WriteBlocks(static_cast<size_t>(uvCount), [&](Output& out, size_t begin, size_t end) {
                for (size_t i = begin; i < end; ++i)
                    writeUV(out, uvArray[i], swap);
            });
            mNextTextureCoordinate += uvCount;
            uvLinesWritten = true;
        }
        else if (textureMapping == KQoxLayerElement::eBY_POLYGON)
        {
            // A corner's UV number straight from the mesh's arrays, as
            // GetPolygonVertex and GetTextureUVIndex give it.
            const int* corners = mesh->GetPolygonVertices();
            const int cornerTotal = mesh->GetPolygonVertexCount();
            const KQoxLayerElementUV* uvs = layer ? layer->GetUVs() : nullptr;
            const bool indexed = uvs && uvs->mMappingMode == KQoxLayerElement::eBY_POLYGON_VERTEX &&
                                 uvs->mReferenceMode == KQoxLayerElement::eINDEX_TO_DIRECT;
            const int* uvIndexArray = indexed ? uvs->mIndexArray.GetArray() : nullptr;
            const int uvIndexTotal = indexed ? uvs->mIndexArray.GetCount() : 0;
            // First each corner's "vt" number and each polygon's swapping,
            // on several threads for a large mesh (the corners with a UV
            // counted per slice of polygons, then numbered); then the lines,
            // in blocks of polygons.
            std::vector<char> swaps(static_cast<size_t>(polygonCount));
            // Without a mapping every corner takes the first UV.
            auto cornerUVIndex = [&](int start, int c, bool valid) {
                const int vertex = valid ? corners[start + c] : -1;
                if (uvMapping == KQoxLayerElement::eBY_CONTROL_POINT)
                    return vertex;
                if (uvMapping == KQoxLayerElement::eBY_POLYGON_VERTEX)
                    return vertex >= 0 && uvIndexArray && start + c < uvIndexTotal ? uvIndexArray[start + c] : -1;
                return 0;
            };
            // Each texture's swapping, looked up once.
            std::vector<char> textureSwaps(static_cast<size_t>(textureCount));
            for (int i = 0; i < textureCount; ++i)
            {
                KQoxTexture* texture = mesh->GT(i, 0);
                textureSwaps[static_cast<size_t>(i)] = texture && texture->GetSwapUV();
            }
            packed.resize(static_cast<size_t>(polygonCount) + 1);
            for (int p = 0; p < polygonCount; ++p)
                packed[static_cast<size_t>(p) + 1] =
                    packed[static_cast<size_t>(p)] + static_cast<size_t>(std::max(mesh->GetPolygonSize(p), 0));
            cornerUV.resize(packed.back());
            const size_t slices = static_cast<size_t>(polygonCount) >= kParallelPolygons
                                      ? kObjPortionsPerThread * static_cast<size_t>(mThreads)
                                      : 1;
            auto sliceBegin = [&](size_t slice) {
                return static_cast<int>(static_cast<size_t>(polygonCount) * slice / slices);
            };
            // visit(p, c, hasUV) for every corner of the slice's polygons.
            auto eachCorner = [&](size_t slice, auto&& visit) {
                for (int p = sliceBegin(slice), last = sliceBegin(slice + 1); p < last; ++p)
                {
                    const int size = mesh->GetPolygonSize(p);
                    const int start = mesh->GetPolygonVertexIndex(p);
                    const bool valid = start >= 0 && size >= 0 && size <= cornerTotal - start;
                    for (int c = 0; c < size; ++c)
                    {
                        const int uvIndex = cornerUVIndex(start, c, valid);
                        visit(p, c, uvIndex >= 0 && uvIndex < uvCount);
                    }
                }
            };
            std::vector<int> sliceUVs(slices + 1, 0);
            KRunPortions(slices, mThreads, [&](size_t slice) {
                int count = 0;
                eachCorner(slice, [&](int, int, bool hasUV) { count += hasUV; });
                sliceUVs[slice + 1] = count;
            });
            for (size_t slice = 0; slice < slices; ++slice)
                sliceUVs[slice + 1] += sliceUVs[slice];
            KRunPortions(slices, mThreads, [&](size_t slice) {
                int next = uvBase + sliceUVs[slice];
                eachCorner(slice, [&](int p, int c, bool hasUV) {
                    cornerUV[packed[static_cast<size_t>(p)] + static_cast<size_t>(c)] = hasUV ? next++ : -1;
                });
                for (int p = sliceBegin(slice), last = sliceBegin(slice + 1); p < last; ++p)
                {
                    const int textureIndex = ElementIndex(textures, p);
                    swaps[static_cast<size_t>(p)] = textureIndex >= 0 && textureIndex < textureCount &&
                                                    textureSwaps[static_cast<size_t>(textureIndex)];
                }
            });
            const int written = sliceUVs[slices];
            WriteBlocks(static_cast<size_t>(polygonCount), [&](Output& out, size_t begin, size_t end) {
                for (size_t p = begin; p < end; ++p)
                {
                    const int polygon = static_cast<int>(p);
                    const int size = mesh->GetPolygonSize(polygon);
                    const int start = mesh->GetPolygonVertexIndex(polygon);
                    const bool valid = start >= 0 && size >= 0 && size <= cornerTotal - start;
                    for (int c = 0; c < size; ++c)
                        if (cornerUV[packed[p] + static_cast<size_t>(c)] >= 0)
                            writeUV(out, uvArray[cornerUVIndex(start, c, valid)], swaps[p] != 0);
                }
            });
            mNextTextureCoordinate += written;
        }
    }

    if (hasNormals)
    {
        WriteBlocks(static_cast<size_t>(pointCount), [&](Output& out, size_t begin, size_t end) {
            for (size_t i = begin; i < end; ++i)
            {
                KQoxVector4 n = KQoxMultTKept(normalMatrix, normalData[i]);
                KQoxNormalizeKept(n);
                out.Line("vn", 2, n.mData, 3);
            }
        });
        mNextNormal += pointCount;
    }

    // Materials: one pair for the whole mesh, or a pair per polygon.
    const bool hasMaterials = materialCount >= 1 || textureCount >= 1;
    const bool perPolygon = (materialCount >= 1 && materialMapping != KQoxLayerElement::eALL_SAME) ||
                            (textureCount >= 1 && textureMapping != KQoxLayerElement::eALL_SAME);
    auto nameText = [](KQoxMaterial* material) { return KQoxWholeName(*material); };
    if (hasMaterials && !perPolygon)
    {
        KQoxTexture* texture = textureCount > 0 ? mesh->GT(textureCount - 1, 0) : nullptr;
        KQoxMaterial* material = materialCount > 0 ? mesh->GM(materialCount - 1, 0) : mDefaultMaterial;
        if (material)
            UseMaterial(material, texture, nameText(material));
    }
    else if (!hasMaterials && mMaterialsPresent && mDefaultMaterial)
    {
        UseMaterial(mDefaultMaterial, nullptr, nameText(mDefaultMaterial));
    }

    KQoxMaterial* currentMaterial = nullptr;
    KQoxTexture* currentTexture = nullptr;
    const int* cornerArray = mesh->GetPolygonVertices();
    const int cornerCount = mesh->GetPolygonVertexCount();
    // UV numbers per corner, as GetTextureUVIndex gives them.
    const KQoxLayerElementUV* uvElement = layer ? layer->GetUVs() : nullptr;
    const bool uvIndexed = uvElement && uvElement->mMappingMode == KQoxLayerElement::eBY_POLYGON_VERTEX &&
                           uvElement->mReferenceMode == KQoxLayerElement::eINDEX_TO_DIRECT;
    const int* uvIndices = uvIndexed ? uvElement->mIndexArray.GetArray() : nullptr;
    const int uvIndexCount = uvIndexed ? uvElement->mIndexArray.GetCount() : 0;
    int lastMaterialIndex = -1;
    KQoxMaterial* lastMaterial = nullptr;
    int lastTextureIndex = -1;
    KQoxTexture* lastTexture = nullptr;
    // The material and texture of a polygon when they go by polygon.
    auto polygonMaterial = [&](int p, KQoxMaterial*& material, KQoxTexture*& texture) {
        material = nullptr;
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
        {
            // Neighbouring polygons mostly share their material.
            if (materialIndex != lastMaterialIndex)
            {
                lastMaterial = mesh->GM(materialIndex, 0);
                lastMaterialIndex = materialIndex;
            }
            material = lastMaterial;
        }
        texture = nullptr;
        int textureIndex = -1;
        if (textureCount > 0 && textureMapping == KQoxLayerElement::eALL_SAME)
            textureIndex = textureCount - 1;
        else if (textureCount > 0 && textureMapping == KQoxLayerElement::eBY_POLYGON)
            textureIndex = ElementIndex(textures, p);
        if (textureIndex >= 0 && textureIndex < textureCount)
        {
            if (textureIndex != lastTextureIndex)
            {
                lastTexture = mesh->GT(textureIndex, 0);
                lastTextureIndex = textureIndex;
            }
            texture = lastTexture;
        }
    };
    auto writeFaces = [&](Output& out, size_t begin, size_t end) {
        for (size_t polygon = begin; polygon < end; ++polygon)
        {
            const int p = static_cast<int>(polygon);
            int corner = cornerUV.empty() ? 0 : static_cast<int>(packed[polygon]);
            const int size = mesh->GetPolygonSize(p);
            // The polygon's corners straight from the mesh's arrays, checked once.
            const int start = mesh->GetPolygonVertexIndex(p);
            const bool valid = start >= 0 && size >= 0 && size <= cornerCount - start;
            // "f", then per corner " v", "/t" or "/" when a normal follows, "/n".
            // Room is asked for a run of corners at a time.
            char* at = out.Begin(kCornerRun * kCornerMax + 2 + kCopySlack);
            *at++ = 'f';
            for (int c = 0, left = kCornerRun; c < size; ++c, ++corner)
            {
                if (--left < 0)
                {
                    out.End(at);
                    at = out.Begin(kCornerRun * kCornerMax + 1 + kCopySlack);
                    left = kCornerRun - 1;
                }
                const int v = valid ? cornerArray[start + c] : -1;
                if (v < 0 || v >= pointCount)
                    continue;
                int t = -1;
                if (!cornerUV.empty())
                    t = corner < static_cast<int>(cornerUV.size()) ? cornerUV[corner] : -1;
                else if (uvLinesWritten)
                {
                    int uvIndex = -1;
                    if (uvMapping == KQoxLayerElement::eBY_CONTROL_POINT)
                        uvIndex = v;
                    else if (uvMapping == KQoxLayerElement::eBY_POLYGON_VERTEX && uvIndices && start + c < uvIndexCount)
                        uvIndex = uvIndices[start + c];
                    if (uvIndex >= 0 && uvIndex < uvCount)
                        t = uvBase + uvIndex;
                }
                *at++ = ' ';
                const char* const vertexText = at;
                at = ObjInt(at, static_cast<long long>(vertexBase) + v);
                const size_t vertexLength = static_cast<size_t>(at - vertexText);
                if (t >= 0 || hasNormals)
                    *at++ = '/';
                if (t >= 0)
                    at = ObjInt(at, t);
                if (hasNormals)
                {
                    *at++ = '/';
                    // Vertex and normal numbers usually run together: the same text.
                    if (normalBase == vertexBase)
                    {
                        // A fixed size copies without a call (through a copy,
                        // since the two overlap); the bytes past the number are
                        // written over or left outside the text.
                        char copy[kCopySlack];
                        std::memcpy(copy, vertexText, kCopySlack);
                        std::memcpy(at, copy, kCopySlack);
                        at += vertexLength;
                    }
                    else
                        at = ObjInt(at, static_cast<long long>(normalBase) + v);
                }
            }
            *at++ = '\n';
            out.End(at);
        }
    };
    // Runs of polygons between "usemtl" lines.
    for (int p = 0; p < polygonCount;)
    {
        int next = polygonCount;
        if (hasMaterials && perPolygon)
        {
            KQoxMaterial* material;
            KQoxTexture* texture;
            polygonMaterial(p, material, texture);
            if (material != currentMaterial || texture != currentTexture)
            {
                currentMaterial = material;
                currentTexture = texture;
                if (material)
                    UseMaterial(material, texture, nameText(material));
            }
            for (next = p + 1; next < polygonCount; ++next)
            {
                polygonMaterial(next, material, texture);
                if (material != currentMaterial || texture != currentTexture)
                    break;
            }
        }
        WriteBlocks(static_cast<size_t>(next - p), [&](Output& out, size_t begin, size_t end) {
            writeFaces(out, static_cast<size_t>(p) + begin, static_cast<size_t>(p) + end);
        });
        p = next;
    }
}

} // namespace qoxsdk_600
