// Materials of the import: one phong shader per material (kept for the
// whole import object and found again by name), one shading group per
// material slot of a geometry, its faces or the whole object as members, and
// the textures gathered per material group.

#include <cstdio>
#include <memory>
#include <vector>

#include "host/zgeometry.h"
#include "host/zglobal.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/qoxzeltdialogs.h"
#include "plugin/qoxzeltnode.h"
#include "plugin/qoxzeltuserparams.h"
#include "plugin/qoxzeltutility.h"
#include "scene/attributes/kqoxgeometry.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxcolor.h"
#include "scene/kqoxnode.h"

using namespace qoxsdk_600;

namespace {

const KQoxColor& DefaultAmbient()
{
    static const KQoxColor color(0.4, 0.4, 0.4, 1.0);
    return color;
}

const KQoxColor& DefaultDiffuse()
{
    static const KQoxColor color(0.5, 0.5, 0.5, 1.0);
    return color;
}

const KQoxColor& DefaultSpecular()
{
    static const KQoxColor color(0.3, 0.3, 0.3, 1.0);
    return color;
}

// The element that stands in for an empty texture element of a NURBS
// surface or patch: all same, the geometry's first texture.
KQoxLayerElementTexture& SubstituteElement()
{
    static KQoxLayerElementTexture element;
    return element;
}

// Hands the meter a label of three or four numbers.
void ShowProgress(QoxZeltProgressMeter& progress, const char* format, int a, int b, int c, int d = 0)
{
    // Called once per polygon: the label is only formatted for a listener.
    if (!QoxZeltProgressMeter::Listening())
        return;
    char label[128];
    std::snprintf(label, sizeof(label), format, a, b, c, d);
    progress.Activate(label);
}

// Percentage of done out of total, truncated toward zero.
int Percent(int done, int total)
{
    return total > 0 ? static_cast<int>(done * 100.0 / total) : 0;
}

ZColor HostColor(const KQoxColor& color)
{
    return ZColor(static_cast<float>(color.mRed), static_cast<float>(color.mGreen), static_cast<float>(color.mBlue),
                  1.0f);
}

// Each slot's faces, in the order they were gathered, as one face
// component of the path in the slot's selection.
std::vector<ZSelectionList> SelectFaces(const ZDagPath& path, const std::vector<ZIntArray>& faces)
{
    std::vector<ZSelectionList> selections(faces.size());
    for (size_t slot = 0; slot < faces.size(); ++slot)
    {
        if (faces[slot].length() == 0)
            continue;
        ZFnSingleIndexedComponent fn;
        ZObject component = fn.create(ZFn::kMeshPolygonComponent);
        fn.addElements(faces[slot]);
        selections[slot].add(path, component, false);
    }
    return selections;
}

FaceAttributes* AddRecord(FaceAttributesList& records, KQoxGeometry* geometry, int polygon, const ZObject& shader)
{
    records.emplace_back(new FaceAttributes);
    FaceAttributes* record = records.back().get();
    record->geometry = geometry;
    record->polygonIndex = polygon;
    record->shader = shader;
    return record;
}

// The material element of layer 0 and its index array (null when the
// element refers to materials directly); count receives the index count.
const int* MaterialIndices(KQoxMesh* mesh, int& count)
{
    count = 0;
    int* indices = mesh->GetMaterialIndices();
    KQoxLayer* layer = mesh->GetLayer(0);
    KQoxLayerElementMaterial* element = layer ? layer->GetMaterials() : nullptr;
    if (!indices || !element)
        return nullptr;
    count = element->mIndexArray.GetCount();
    return indices;
}

// The material value that most vertices of a polygon carry (the first met
// on equal counts); -1 when no vertex carries one.
int WinningValue(const std::vector<int>& values)
{
    std::vector<int> distinct, counts;
    for (int value : values)
    {
        size_t k = 0;
        while (k < distinct.size() && distinct[k] != value)
            ++k;
        if (k == distinct.size())
        {
            distinct.push_back(value);
            counts.push_back(0);
        }
        ++counts[k];
    }
    int winner = -1, best = 0;
    for (size_t k = 0; k < distinct.size(); ++k)
        if (counts[k] > best)
        {
            best = counts[k];
            winner = distinct[k];
        }
    return winner;
}

// Texture of a material group in an element; null when there is none.
KQoxTexture* GroupTexture(KQoxGeometry* geometry, KQoxLayerElementTexture& element, int polygonIndex)
{
    int position = element.mMappingMode == KQoxLayerElement::eALL_SAME ? 0 : polygonIndex;
    if (position < 0)
        position = 0;
    const int indexCount = element.mIndexArray.GetCount();
    const int directCount = element.mDirectArray.GetCount();
    int textureIndex;
    if (position < indexCount)
        textureIndex = element.mIndexArray[position];
    else if (element.mReferenceMode == KQoxLayerElement::eDIRECT)
        textureIndex = position; // a direct element needs no index
    else
        return nullptr;
    if (textureIndex < 0)
        return nullptr;
    switch (element.mReferenceMode)
    {
    case KQoxLayerElement::eINDEX_TO_DIRECT:
        return textureIndex < directCount ? element.mDirectArray[textureIndex] : nullptr;
    case KQoxLayerElement::eDIRECT: return position < directCount ? element.mDirectArray[position] : nullptr;
    case KQoxLayerElement::eINDEX: return geometry->GT(textureIndex, 0);
    default: return nullptr;
    }
}

void GatherTextures(KQoxGeometry* geometry, bool surface, FaceAttributesList& records)
{
    const int layers = geometry->GetLayerCount(KQoxLayerElement::eTEXTURE);
    for (int l = 0; l < layers; ++l)
    {
        KQoxLayer* layer = geometry->GetLayer(l, KQoxLayerElement::eTEXTURE);
        KQoxLayerElementTexture* element = layer ? layer->GetTextures() : nullptr;
        if (!element)
            continue;
        if (element->mIndexArray.GetCount() == 0 && element->mDirectArray.GetCount() == 0)
        {
            KQoxTexture* first = surface ? geometry->GT(0, 0) : nullptr;
            if (!first)
                continue;
            KQoxLayerElementTexture& substitute = SubstituteElement();
            substitute.mMappingMode = KQoxLayerElement::eALL_SAME;
            substitute.mDirectArray.Clear();
            substitute.mIndexArray.Clear();
            substitute.mDirectArray.Add(first);
            substitute.mIndexArray.Add(0);
            substitute.mBlendMode =
                static_cast<KQoxLayerElementTexture::EBlendMode>(static_cast<int>(first->GetBlendMode()));
            element = &substitute;
        }
        for (const std::unique_ptr<FaceAttributes>& record : records)
        {
            KQoxTexture* texture = GroupTexture(geometry, *element, record->polygonIndex);
            if (!texture || record->textures.Find(texture) >= 0)
                continue;
            const char* fileName = texture->GetFileName();
            if (!fileName || !*fileName)
                continue;
            record->textures.Add(texture);
            record->blendModes.Add(element->mBlendMode);
        }
    }
}

} // namespace

ZString QoxZeltImport::ConnectMaterialShader(ZObject& shaderList, char* name, ZObject& shader)
{
    ZFnPhongShader phong(shader);
    ZFnDependencyNode list(shaderList);
    ZStatus status;
    phong.findPlug("message", &status);
    DebugCheckStatus(status, nullptr);
    list.findPlug("shaders", &status);
    DebugCheckStatus(status, nullptr);

    ZString command("sets -renderable true -noSurfaceShader true -empty -name \"");
    command += name;
    command += "SG\"";
    ZStringArray result;
    ZGlobal::executeCommand(command, result, false, false);
    ZString group = result.length() > 0 ? result[0] : ZString();

    command = "connectAttr -f \"";
    command += phong.name();
    command += ".outColor\"  \"";
    command += group;
    command += ".surfaceShader\"  ";
    ZGlobal::executeCommand(command, result, false, false);
    return group;
}

void QoxZeltImport::FillSetWith(ZString& setName, const char* member, ZStringArray result, bool force)
{
    ZString command(force ? "sets -e -forceElement \"" : "sets -e \"");
    command += setName;
    command += "\"  \"";
    command += member;
    command += "\"";
    ZGlobal::executeCommand(command, result, false, false);
}

void QoxZeltImport::BuildMaterialInformation(QoxZeltNode* node)
{
    if (!node)
        return;
    KQoxNodeAttribute* attribute = node->GetGeometry();
    const int type = attribute ? attribute->GetAttributeType() : 0;
    if (node->GetDagPath() && !node->mMatchedByMerge && QoxZeltUserParams::Instance().GetImportType() != 0 &&
        (type == 4 || type == 5 || type == 6))
        BuildMaterials(*node, static_cast<KQoxGeometry*>(attribute), type);
    for (int i = node->GetChildCount(false) - 1; i >= 0; --i)
        BuildMaterialInformation(static_cast<QoxZeltNode*>(node->GetChild(i)));
}

void QoxZeltImport::BuildMaterials(QoxZeltNode& node, KQoxGeometry* geometry, int type)
{
    ZDagPath& path = *node.GetDagPath();
    const KString nodeName = node.GetNameWithoutNameSpacePrefix();

    // One shader (new or from the cache) and one shading group per slot; a
    // geometry without materials has one slot without a material.
    const int count = geometry->GMC(0);
    std::vector<ZString> groups;
    std::vector<ZObject> shaders;
    for (int slot = 0; slot == 0 || slot < count; ++slot)
    {
        KQoxMaterial* material = geometry->GM(slot, 0);
        KString materialName = material ? material->GetNameWithoutNameSpacePrefix() : KString("");
        ZObject shader;
        bool cached = false;
        for (size_t c = 0; material && !cached && c < mMaterialCache.size(); ++c)
            if (mMaterialCache[c].mName == materialName)
            {
                shader = mMaterialCache[c].mShader;
                cached = true;
            }
        if (!cached)
        {
            ZFnPhongShader phong;
            ZStatus status;
            shader = phong.create(true, &status);
            if (!status)
                status.perror("Cannot create shader");
            if (material)
                mMaterialCache.push_back(MaterialShaderData{materialName, shader});
            phong.setCosPower(3.0f);
            if (material)
                phong.setCosPower(static_cast<float>(material->GetShininess() * 128.0));
            phong.setSpecularColor(HostColor(material ? material->GetSpecular() : DefaultSpecular()));
            phong.setColor(HostColor(material ? material->GetDiffuse() : DefaultDiffuse()));
            const float transparency = material ? static_cast<float>(1.0 - material->GetOpacity()) : 0.0f;
            phong.setTransparency(ZColor(transparency, transparency, transparency, 1.0f));
            phong.setAmbientColor(HostColor(material ? material->GetAmbient() : DefaultAmbient()));
            if (material)
                phong.setName(materialName.GetLen() > 0 ? materialName.ToChars() : "unnamed");
        }
        ZSelectionList list;
        ZObject shaderList;
        ZStatus status = list.add("defaultShaderList1");
        if (status)
            status = list.getDependNode(0, shaderList);
        if (!status || shaderList.isNull())
            status.perror("Cannot get ShaderList");
        groups.push_back(ConnectMaterialShader(shaderList, const_cast<char*>(nodeName.ToChars()), shader));
        shaders.push_back(shader);
    }

    FaceAttributesList records;
    ZStringArray unused;
    auto wholeObject = [&]() {
        ZString member = path.partialPathName();
        for (size_t slot = 0; slot < groups.size(); ++slot)
        {
            FillSetWith(groups[slot], member.asChar(), unused, true);
            AddRecord(records, geometry, -1, shaders[slot]);
        }
    };
    if (type == 5 || type == 6)
        wholeObject();
    else
    {
        KQoxMesh* mesh = static_cast<KQoxMesh*>(geometry);
        const int mode = mesh->GetMaterialMappingMode();
        if (mode == KQoxLayerElement::eALL_SAME)
            wholeObject();
        else if (mode == KQoxLayerElement::eBY_POLYGON)
            AssignByPolygon(path, mesh, count, groups, shaders, records);
        else if (mode == KQoxLayerElement::eBY_CONTROL_POINT || mode == KQoxLayerElement::eBY_POLYGON_VERTEX)
            AssignByVertex(path, mesh, mode, count, groups, shaders, records);
    }

    GatherTextures(geometry, type == 5 || type == 6, records);
    for (const std::unique_ptr<FaceAttributes>& record : records)
    {
        if (record->textures.GetCount() == 1)
            ConnectTexture(record->shader, record->textures[0], record->geometry);
        else if (record->textures.GetCount() > 1)
            ConnectLayeredTexture(record.get());
    }
}

void QoxZeltImport::AssignByPolygon(ZDagPath& path, KQoxMesh* mesh, int count, std::vector<ZString>& groups,
                                    std::vector<ZObject>& shaders, FaceAttributesList& records)
{
    int indexCount = 0;
    const int* indices = MaterialIndices(mesh, indexCount);
    if (!indices)
        return; // materials referred to directly: nothing says which face has which
    // One walk over the polygons fills every slot's selection; groups and
    // records then follow in slot order.
    if (count <= 0)
        return;
    // Each slot's faces are gathered first and selected together: one
    // component per slot, read back as the face ranges they make.
    std::vector<ZIntArray> faces(static_cast<size_t>(count));
    std::vector<int> firstPolygon(static_cast<size_t>(count), -1);
    QoxZeltProgressMeter progress;
    const int polygons = mesh->GetPolygonCount();
    const int hostPolygons = static_cast<int>(ZItMeshPolygon(path).count());
    int done = 0;
    for (int polygon = 0; polygon < hostPolygons; ++polygon)
    {
        const int slot = polygon < indexCount ? indices[polygon] : -1;
        ++done;
        if (slot < 0 || slot >= count)
            continue;
        faces[static_cast<size_t>(slot)].append(polygon);
        if (firstPolygon[static_cast<size_t>(slot)] < 0)
        {
            firstPolygon[static_cast<size_t>(slot)] = polygon;
            ShowProgress(progress, "processing material %d of %d( %d%% )", slot + 1, count, 0);
        }
        ShowProgress(progress, "processing material %d of %d ( %d%% )", slot + 1, count, Percent(done, polygons));
    }
    std::vector<ZSelectionList> selections = SelectFaces(path, faces);
    ZStringArray unused;
    for (size_t slot = 0; slot < selections.size(); ++slot)
    {
        if (firstPolygon[slot] >= 0)
            AddRecord(records, mesh, firstPolygon[slot], shaders[slot]);
        ZStringArray strings;
        selections[slot].getSelectionStrings(strings);
        const int stringCount = static_cast<int>(strings.length());
        for (int s = 0; s < stringCount; ++s)
        {
            ShowProgress(progress, "assigning material %d of %d ( %d%% )", static_cast<int>(slot) + 1, count,
                         Percent(s, stringCount));
            FillSetWith(groups[slot], strings[static_cast<unsigned>(s)].asChar(), unused, true);
        }
    }
}

void QoxZeltImport::AssignByVertex(ZDagPath& path, KQoxMesh* mesh, int mode, int count, std::vector<ZString>& groups,
                                   std::vector<ZObject>& shaders, FaceAttributesList& records)
{
    if (mode == KQoxLayerElement::eBY_CONTROL_POINT && qoxzeltimport::ShowUI())
    {
        QoxZeltConfirmDialog dialog;
        dialog.Title("QOX import warning");
        dialog.Message(KString("Materials assigned by Control Points. Results may differ from original assignment."));
        dialog.Button(0, "Ok");
        dialog.Pop();
    }
    int indexCount = 0;
    const int* indices = MaterialIndices(mesh, indexCount);
    if (!indices || count <= 0)
        return;
    const int* polygonVertices = mesh->GetPolygonVertices();
    const int controlPoints = mesh->GetControlPointsCount();
    std::vector<ZIntArray> faces(static_cast<size_t>(count));
    std::vector<bool> recorded(static_cast<size_t>(count), false);
    int running = 0;
    // The host keeps the scene's polygons in order, up to its own count.
    const int hostPolygons = static_cast<int>(ZItMeshPolygon(path).count());
    std::vector<int> values;
    QoxZeltProgressMeter progress;
    const int polygons = mesh->GetPolygonCount();
    for (int polygon = 0; polygon < polygons; ++polygon)
    {
        ShowProgress(progress, "processing polygon %d of %d", polygon + 1, polygons, 0);
        const int size = mesh->GetPolygonSize(polygon);
        values.clear();
        for (int k = 0; k < size; ++k, ++running)
        {
            // By polygon vertex the running position picks the value; by
            // control point the vertex's control point does.
            int position = running;
            if (mode == KQoxLayerElement::eBY_CONTROL_POINT)
            {
                position = polygonVertices ? polygonVertices[running] : -1;
                if (position >= controlPoints)
                    position = -1;
            }
            if (position >= 0 && position < indexCount)
                values.push_back(indices[position]);
        }
        const int winner = WinningValue(values);
        if (winner >= 0 && winner < count && polygon < hostPolygons)
        {
            faces[static_cast<size_t>(winner)].append(polygon);
            if (!recorded[static_cast<size_t>(winner)])
            {
                AddRecord(records, mesh, polygon, shaders[static_cast<size_t>(winner)]);
                recorded[static_cast<size_t>(winner)] = true;
            }
        }
    }
    std::vector<ZSelectionList> selections = SelectFaces(path, faces);
    ZStringArray unused;
    for (int slot = 0; slot < count; ++slot)
    {
        ZStringArray strings;
        selections[static_cast<size_t>(slot)].getSelectionStrings(strings);
        const int stringCount = static_cast<int>(strings.length());
        for (int s = 0; s < stringCount; ++s)
        {
            ShowProgress(progress, "applying... pass: %d of %d  step: %d of %d", slot + 1, count, s, stringCount);
            FillSetWith(groups[static_cast<size_t>(slot)], strings[static_cast<unsigned>(s)].asChar(), unused, true);
        }
    }
}
