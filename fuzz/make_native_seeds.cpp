// Writes small whole-scene files of every native form into a directory, as
// seeds for fuzz_native_import: make_native_seeds <directory>.

#include <string>

#include "fcurve/kfcurve.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoxfilescene.h"
#include "fileio/kqoxioregistry.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsceneinfo.h"
#include "scene/kqoxsdkmanager.h"
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
        KQoxFileScene scene(manager);
        scene.mRoot = manager.CreateKQoxNode("Scene");
        KQoxNode* a = manager.CreateKQoxNode("A");
        KQoxNode* b = manager.CreateKQoxNode("B");
        scene.mRoot->AddChild(a);
        a->AddChild(b);
        b->SetShadingMode(KQoxNode::eWIRE_FRAME);
        KQoxTakeNode* take = a->CreateTakeNode("Take 001");
        if (KFCurve* curve = take ? take->GetTranslationX() : nullptr)
        {
            curve->KeyModifyBegin();
            curve->KeyAdd(KTime(0));
            curve->KeyAdd(KTime(1539538600));
            curve->KeyModifyEnd();
        }
        std::unique_ptr<KQoxTakeInfo> info(new KQoxTakeInfo);
        info->Name = "Take 001";
        scene.mTakeInfos.push_back(std::move(info));
        KQoxTexture* texture = manager.CreateKQoxTexture("T");
        texture->SetFileName("t.png");
        scene.mTextures.push_back(texture);
        scene.mVideos.push_back(manager.CreateKQoxVideo("V"));
        scene.mSceneInfo = manager.CreateKQoxSceneInfo();
        scene.mSceneInfo->mTitle = "seed";
        KQoxThumbnail* thumbnail = manager.CreateKQoxThumbnail();
        thumbnail->SetSize(KQoxThumbnail::e64x64);
        scene.mSceneInfo->SetSceneThumbnail(thumbnail);
        KQoxExporter exporter(manager);
        exporter.Initialize((std::string(argv[1]) + "/" + names[k]).c_str());
        exporter.SetFileFormat(formats[k]);
        exporter.SetPassword("fuzz");
        if (!exporter.Export(scene))
            return 1;
    }
    return 0;
}
