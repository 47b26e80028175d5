// Writes small whole-scene files of every native form into a directory, as
// seeds for fuzz_native_import: make_native_seeds <directory>.

#include <string>

#include "fcurve/kfcurve.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxlight.h"
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

using namespace qoxsdk_600;

int main(int argc, char** argv)
{
    if (argc < 2)
        return 1;
    const int formats[] = {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII, eEXPORT_QOX_ENCRYPTED};
    const char* names[] = {"scene_binary.qox", "scene_ascii.qox", "scene_encrypted.qox"};
    for (int k = 0; k < 3; ++k)
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
        KQoxTakeNode* take = a->CreateTakeNode("Take 001");
        if (KFCurve* curve = take ? take->GetTranslationX() : nullptr)
        {
            curve->KeyModifyBegin();
            curve->KeyAdd(KTime(0));
            curve->KeyAdd(KTime(1539538600));
            curve->KeyModifyEnd();
        }
        KQoxTakeInfo info;
        info.Name = "Take 001";
        scene.SetTakeInfo(info);
        KQoxTexture* texture = manager.CreateKQoxTexture("T");
        texture->SetFileName("t.png");
        scene.GetEntity()->AddTexture(texture);
        scene.GetEntity()->AddVideo(manager.CreateKQoxVideo("V"));
        KQoxSceneInfo* sceneInfo = manager.CreateKQoxSceneInfo();
        scene.SetSceneInfo(sceneInfo);
        sceneInfo->mTitle = "seed";
        KQoxThumbnail* thumbnail = manager.CreateKQoxThumbnail();
        thumbnail->SetSize(KQoxThumbnail::e64x64);
        sceneInfo->SetSceneThumbnail(thumbnail);
        KQoxExporter exporter(manager);
        exporter.Initialize((std::string(argv[1]) + "/" + names[k]).c_str());
        exporter.SetFileFormat(formats[k]);
        exporter.SetPassword("fuzz");
        if (!exporter.Export(scene))
            return 1;
    }
    return 0;
}
