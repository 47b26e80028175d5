// Writes small whole-scene files of every native form (version 6 and
// version 5) into a directory, as
// seeds for fuzz_native_import: make_native_seeds <directory>.

#include <fstream>
#include <string>

#include "character/kqoxcharacter.h"
#include "character/kqoxcharacterpose.h"
#include "character/kqoxcontrolset.h"
#include "character/kqoxcontrolsetplug.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxpatch.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsceneinfo.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakeinfo.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxthumbnail.h"
#include "scene/kqoxuserproperty.h"

using namespace qoxsdk_600;

int main(int argc, char** argv)
{
    if (argc < 2)
        return 1;
    const int formats[] = {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII, eEXPORT_QOX_ENCRYPTED, eEXPORT_QOX5_BINARY,
                           eEXPORT_QOX5_ASCII};
    const char* names[] = {"scene_binary.qox", "scene_ascii.qox", "scene_encrypted.qox", "scene5_binary.qox",
                           "scene5_ascii.qox"};
    for (int k = 0; k < 5; ++k)
    {
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        KQoxNode* a = manager.CreateKQoxNode("A");
        KQoxNode* b = manager.CreateKQoxNode("B");
        scene.GetRootNode()->AddChild(a);
        a->AddChild(b);
        b->SetShadingMode(KQoxNode::eWIRE_FRAME);
        // A triangle with normals, UVs and a material, and a light.
        KQoxMesh* mesh = manager.CreateKQoxMesh();
        b->SetNodeAttribute(mesh);
        mesh->InitControlPoints(3);
        mesh->BeginPolygon(-1, -1, 0);
        for (int v = 0; v < 3; ++v)
            mesh->AddPolygon(v);
        mesh->EndPolygon();
        KQoxLayerElementMaterial* materials = new KQoxLayerElementMaterial;
        materials->mMappingMode = KQoxLayerElement::eALL_SAME;
        materials->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
        materials->mDirectArray.Add(manager.CreateKQoxMaterial("M"));
        materials->mIndexArray.Add(0);
        mesh->GetLayer(0)->SetMaterials(materials);
        KQoxLayerElementUV* uvs = new KQoxLayerElementUV;
        uvs->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
        for (int v = 0; v < 3; ++v)
            uvs->mDirectArray.Add(KQoxVector2(v, 1));
        mesh->GetLayer(0)->SetUVs(uvs);
        KQoxNode* lamp = manager.CreateKQoxNode("Lamp");
        lamp->SetNodeAttribute(manager.CreateKQoxLight());
        scene.GetRootNode()->AddChild(lamp);
        // A camera aiming at A with B as its up target; the light aims at
        // the camera, turned by its post-target rotation.
        KQoxNode* eye = manager.CreateKQoxNode("Eye");
        eye->SetNodeAttribute(manager.CreateKQoxCamera());
        scene.GetRootNode()->AddChild(eye);
        eye->SetTarget(a);
        eye->SetTargetUp(b);
        eye->SetTargetUpVector(KQoxVector4(0, 1, 0, 0));
        lamp->SetTarget(eye);
        lamp->SetPostTargetRotation(KQoxVector4(0, 90, 0, 1));
        KQoxTakeNode* take = a->CreateTakeNode("Take 001");
        if (KFCurve* curve = take ? take->GetTranslationX() : nullptr)
        {
            curve->KeyModifyBegin();
            curve->KeyAdd(KTime(0));
            curve->KeyAdd(KTime(1539538600));
            curve->KeyModifyEnd();
        }
        // The translation plays through a time warp (t -> 2t over a second)
        // and carries an upper layer: the reader merges both.
        if (KFCurveNode* t = take ? take->GetKFCurveNode()->FindRecursive("T") : nullptr)
        {
            KFCurveNode* warp = KFCurveNodeCreate("Warp");
            KFCurve* timing = KFCurveCreate();
            timing->KeyModifyBegin();
            timing->KeyAppendFast(KTime(0), 0.0f);
            timing->KeyAppendFast(KTime(46186158000LL), 2.0f);
            timing->KeyModifyEnd();
            warp->FCurveSet(timing);
            t->TimeWarpSet(warp);
            t->LayerCreate(1);
        }
        KQoxTakeInfo info;
        info.Name = "Take 001";
        scene.SetTakeInfo(info);
        KQoxTexture* texture = manager.CreateKQoxTexture("T");
        // A texture file beside the seeds: embedded as the media of a clip.
        const std::string textureFile = std::string(argv[1]) + "/texture.raw";
        std::ofstream(textureFile, std::ios::binary) << "texture bytes";
        texture->SetFileName(textureFile.c_str());
        scene.GetEntity()->AddTexture(texture);
        scene.GetEntity()->AddVideo(manager.CreateKQoxVideo("V"));
        KQoxSceneInfo* sceneInfo = manager.CreateKQoxSceneInfo();
        scene.SetSceneInfo(sceneInfo);
        sceneInfo->mTitle = "seed";
        KQoxThumbnail* thumbnail = manager.CreateKQoxThumbnail();
        thumbnail->SetSize(KQoxThumbnail::e64x64);
        sceneInfo->SetSceneThumbnail(thumbnail);
        // Surfaces, skinning (a cluster in version 6), a character with
        // links and a control set, a control-set plug and a character pose
        // (a nested scene).
        KQoxNode* sheet = manager.CreateKQoxNode("Sheet");
        scene.GetRootNode()->AddChild(sheet);
        KQoxNurb* nurb = manager.CreateKQoxNurb();
        sheet->SetNodeAttribute(nurb);
        nurb->SetOrder(2, 2);
        nurb->InitControlPoints(2, KQoxNurb::eOPEN, 2, KQoxNurb::ePERIODIC);
        for (int i = 0; i < 4; ++i)
            nurb->GetControlPoints()[i] = KQoxVector4(i, i % 2, 0, 1);
        KQoxLink* link = manager.CreateKQoxLink();
        link->SetLink(a);
        link->AddControlPointIndex(1, 0.5);
        nurb->AddLink(link);
        KQoxNode* quilt = manager.CreateKQoxNode("Quilt");
        scene.GetRootNode()->AddChild(quilt);
        KQoxPatch* patch = manager.CreateKQoxPatch();
        quilt->SetNodeAttribute(patch);
        patch->InitControlPoints(2, KQoxPatch::eLINEAR, 2, KQoxPatch::eBEZIER);
        KQoxCharacter* character = scene.GetCharacter(scene.CreateCharacter("Hero"));
        KQoxCharacterLink characterLink;
        characterLink.mNode = a;
        character->SetCharacterLink(eCharacterHips, characterLink);
        character->SetCharacterLink(eCharacterReference, characterLink);
        KQoxControlSetLink controlLink;
        controlLink.mNode = b;
        character->GetControlSet()->SetControlSetLink(eCharacterHips, controlLink);
        KQoxEffector effector;
        effector.mNode = b;
        character->GetControlSet()->SetEffector(static_cast<EEffectorNodeId>(0), effector);
        character->GetControlSet()->SetEffectorAux(static_cast<EEffectorNodeId>(0), a, static_cast<EEffectorSetId>(1));
        KQoxControlSetPlug* plug = scene.GetControlSetPlug(scene.CreateControlSetPlug("Rig"));
        character->GetControlSet()->ToPlug(plug);
        // User properties of a character and of a plug, with their values.
        KQoxUserProperty* reach = manager.CreateKQoxUserProperty("Reach", "Vector", "Reach");
        character->AddProperty(reach);
        reach->SetDefaultValue(1.0, 2.0, 3.0);
        KQoxUserProperty* stiffness = manager.CreateKQoxUserProperty("Stiffness", "Real", "Stiffness");
        stiffness->ModifyFlag(KQoxUserProperty::eANIMATABLE, true);
        plug->AddProperty(stiffness);
        stiffness->SetDefaultValue(0.5);
        KQoxCharacterPose* pose = scene.GetCharacterPose(scene.CreateCharacterPose("Stance"));
        KQoxNode* poseNode = manager.CreateKQoxNode("PoseHips");
        pose->GetRootNode()->AddChild(poseNode);
        characterLink.mNode = poseNode;
        pose->GetCharacter()->SetCharacterLink(eCharacterHips, characterLink);
        KQoxExporter exporter(manager);
        exporter.Initialize((std::string(argv[1]) + "/" + names[k]).c_str());
        exporter.SetFileFormat(formats[k]);
        exporter.SetPassword("fuzz");
        if (!exporter.Export(scene))
            return 1;
    }
    return 0;
}
