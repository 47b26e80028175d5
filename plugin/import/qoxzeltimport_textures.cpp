// Textures of the import: a file texture with its 2-D placement per
// texture, fed into a shader's colour directly or through a layered texture.

#include <string>

#include "base/kpath.h"
#include "fileio/kqoximporter.h"
#include "host/zglobal.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/qoxzeltutility.h"
#include "scene/attributes/kqoxgeometry.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxtexture.h"

using namespace qoxsdk_600;

namespace {

const double kRadiansPerDegree = 0.017453292519943295;

// Numbers the layered textures made while the plug-in is loaded.
long long gLayerCount = 0;

// Runs a node-creating script text and fetches the node it names.
ZObject CreateByScript(const char* command, const char* failure)
{
    ZStringArray result;
    ZGlobal::executeCommand(command, result, false, false);
    ZSelectionList selection;
    ZObject node;
    ZStatus status = result.length() > 0 ? selection.add(result[0])
                                         : ZStatus(ZStatus::kFailure, std::string(command) + " made no node");
    if (status)
        status = selection.getDependNode(0, node);
    DebugCheckStatus(status, failure);
    return node;
}

void SetDouble(ZFnDependencyNode& node, const char* attribute, double value)
{
    ZStatus status;
    ZPlug plug = node.findPlug(attribute, &status);
    DebugCheckStatus(status, nullptr);
    if (status)
        DebugCheckStatus(plug.setValue(value), nullptr);
}

// The host "blendMode" of an SDK texture blend mode.
short HostBlendMode(int mode)
{
    switch (mode)
    {
    case KQoxLayerElementTexture::eADD: return 4;
    case KQoxLayerElementTexture::eMODULATE: return 6;
    default: return 0;
    }
}

// The file a file texture shows. A relative name is taken from the folder of
// the imported file (made full, so that it does not hang on the working
// folder). A file name that leads nowhere gives way to the relative name
// when that one leads to a file; either gives way, after both, to its base
// name in that folder (a path of the author's machine).
KString HostFileName(KQoxTexture& texture, KQoxImporter* importer)
{
    KString directory;
    if (importer && importer->GetFileName() && *importer->GetFileName())
        directory = ExtractDirectoryFromFilePath(KFullPath(importer->GetFileName()).ToChars());
    for (KFindFile upTo : {KFindFile::eAnyCase, KFindFile::eBaseName})
        for (const char* name : {texture.GetFileName(), texture.GetRelativeFileName()})
        {
            KString found = KFindFileFrom(directory.ToChars(), name, upTo);
            if (!found.IsEmpty())
                return found;
        }
    // Neither leads to a file: the file name, taken from that folder.
    KString fileName(texture.GetFileName() ? texture.GetFileName() : "");
    if (fileName.GetLen() > 0 && GetIsRelativePath(fileName.ToChars()) && directory.GetLen() > 0)
        fileName = KCleanPath(MakeFullPath(directory.ToChars(), fileName.ToChars()).ToChars());
    return fileName;
}

} // namespace

void QoxZeltImport::ConnectTexture(ZObject& shader, KQoxTexture* texture, KQoxGeometry* geometry)
{
    ZFnPhongShader phong(shader);
    ZPlug color = phong.findPlug("color");
    ConnectTexture(color, texture, geometry);
}

void QoxZeltImport::ConnectTexture(ZPlug& destination, KQoxTexture* texture, KQoxGeometry* geometry)
{
    if (!texture)
        return;
    ZStatus status;
    ZObject file = CreateByScript("shadingNode -at file", "Cannot create the texture.");
    ZFnDependencyNode fileFn(file, &status);
    DebugCheckStatus(status, nullptr);
    fileFn.setName(texture->GetNameWithoutNameSpacePrefix().ToChars());

    KString fileName = HostFileName(*texture, mImporter);
    ZPlug fileTextureName = fileFn.findPlug("fileTextureName", &status);
    if (status)
        status = fileTextureName.setValue(ZString(fileName.ToChars()));
    DebugCheckStatus(status, "Cannot find the texture file name.");

    ZObject placement = CreateByScript("shadingNode -au place2dTexture", "Cannot create the texture placement object.");
    ZFnDependencyNode placementFn(placement, &status);
    DebugCheckStatus(status, nullptr);

    ZDGModifier modifier;
    DebugCheckStatus(modifier.connect(placementFn.findPlug("outUV"), fileFn.findPlug("uv")), nullptr);
    DebugCheckStatus(modifier.doIt(), nullptr);

    // A colour already fed by another file texture keeps its feed.
    ZPlug outColor = fileFn.findPlug("outColor");
    bool connect = !destination.isConnected();
    if (!connect)
    {
        ZPlugArray feeds;
        destination.connectedTo(feeds, true, false);
        for (unsigned i = 0; i < feeds.length(); ++i)
            if (feeds[i].attribute() != outColor.attribute())
                connect = true;
    }
    if (connect)
    {
        DebugCheckStatus(modifier.connect(outColor, destination), nullptr);
        DebugCheckStatus(modifier.doIt(), nullptr);
    }

    // Placement from the texture's default transform; a NURBS surface has
    // its U and V the other way round from the host's, and a closed
    // direction shifts by two control points.
    double offsetU = texture->GetTranslationV(), offsetV = texture->GetTranslationU();
    double rotate = texture->GetRotationW() * kRadiansPerDegree;
    double repeatU = texture->GetScaleU(), repeatV = texture->GetScaleV();
    if (geometry && geometry->GetAttributeType() == KQoxNodeAttribute::eNURB)
    {
        KQoxNurb* nurb = static_cast<KQoxNurb*>(geometry);
        if (nurb->GetNurbVType() == KQoxNurb::eCLOSED && nurb->GetVCount() != 0)
            offsetU += 2.0 / nurb->GetVCount();
        if (nurb->GetNurbUType() == KQoxNurb::eCLOSED && nurb->GetUCount() != 0)
            offsetV += 2.0 / nurb->GetUCount();
        rotate = -rotate;
        repeatU = texture->GetScaleV();
        repeatV = texture->GetScaleU();
    }
    SetDouble(placementFn, "offsetU", offsetU);
    SetDouble(placementFn, "offsetV", offsetV);
    SetDouble(placementFn, "rotateFrame", rotate);
    SetDouble(placementFn, "repeatU", repeatU);
    SetDouble(placementFn, "repeatV", repeatV);
}

void QoxZeltImport::ConnectLayeredTexture(FaceAttributes* record)
{
    if (!record)
        return;
    std::string name = "layeredTexture" + std::to_string(gLayerCount++);
    ZObject layered = CreateByScript("shadingNode -at layeredTexture", "Cannot create the texture.");
    ZStatus status;
    ZFnDependencyNode layeredFn(layered, &status);
    DebugCheckStatus(status, nullptr);
    layeredFn.setName(name.c_str());

    ZPlug inputs = layeredFn.findPlug("inputs", &status);
    DebugCheckStatus(status, nullptr);
    ZObject colorAttr = layeredFn.attribute("color");
    ZObject blendAttr = layeredFn.attribute("blendMode");
    ZObject alphaAttr = layeredFn.attribute("alpha");
    const int count = record->textures.GetCount();
    for (int i = 0; i < count; ++i)
    {
        // The record's first texture goes to the last input.
        ZPlug input = inputs.elementByLogicalIndex(static_cast<unsigned>(count - 1 - i));
        const int blend = i < record->blendModes.GetCount() ? record->blendModes[i] : 0;
        input.child(blendAttr).setValue(HostBlendMode(blend));
        input.child(alphaAttr).setValue(record->textures[i]->GetDefaultAlpha());
        ZPlug color = input.child(colorAttr);
        ConnectTexture(color, record->textures[i], record->geometry);
    }

    ZFnPhongShader phong(record->shader, &status);
    DebugCheckStatus(status, nullptr);
    ZPlug shaderColor = phong.findPlug("color", &status);
    DebugCheckStatus(status, nullptr);
    ZPlug outColor = layeredFn.findPlug("outColor", &status);
    DebugCheckStatus(status, nullptr);
    ZDGModifier modifier;
    DebugCheckStatus(modifier.connect(outColor, shaderColor), nullptr);
    DebugCheckStatus(modifier.doIt(), nullptr);
}
