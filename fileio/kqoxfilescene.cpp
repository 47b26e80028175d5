#include "fileio/kqoxfilescene.h"

#include <cstring>

#include "base/karray.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxscene.h"

namespace qoxsdk_600 {

KQoxTakeInfo* KQoxFileScene::FindTakeInfo(const char* name) const
{
    for (const std::unique_ptr<KQoxTakeInfo>& info : mTakeInfos)
        if (std::strcmp(info->Name.ToChars(), name) == 0)
            return info.get();
    return nullptr;
}

void KQoxFileScene::Gather(KQoxScene& scene)
{
    mRoot = scene.GetRootNode();
    KQoxEntity* entity = scene.GetEntity();
    mTextures.clear();
    mVideos.clear();
    for (int i = 0; entity && i < entity->GetTextureCount(); ++i)
        if (KQoxTexture* texture = dynamic_cast<KQoxTexture*>(entity->GetTexture(i)))
            mTextures.push_back(texture);
    for (int i = 0; entity && i < entity->GetVideoCount(); ++i)
        if (KQoxVideo* video = dynamic_cast<KQoxVideo*>(entity->GetVideo(i)))
            mVideos.push_back(video);
    mTakeInfos.clear();
    KArrayTemplate<KString*> names;
    scene.FillTakeNameArray(names);
    for (int i = 0; i < names.GetCount(); ++i)
    {
        if (KQoxTakeInfo* info = scene.GetTakeInfo(*names[i]))
            mTakeInfos.emplace_back(new KQoxTakeInfo(*info));
        delete names[i];
    }
    mCurrentTakeName = scene.GetCurrentTakeName();
    mSceneInfo = scene.GetSceneInfo();
    mLightSettings = scene.GetGlobalLightSettings();
    mTimeSettings = scene.GetGlobalTimeSettings();
}

void KQoxFileScene::Apply(KQoxScene& scene)
{
    KQoxEntity* entity = scene.GetEntity();
    for (KQoxTexture* texture : mTextures)
        entity->AddTexture(texture);
    for (KQoxVideo* video : mVideos)
        entity->AddVideo(video);
    for (const std::unique_ptr<KQoxTakeInfo>& info : mTakeInfos)
    {
        // A take no object animates still has its description.
        if (!scene.FindTakeName(info->Name))
            scene.CreateTake(info->Name.ToChars());
        scene.SetTakeInfo(*info);
    }
    if (!mCurrentTakeName.IsEmpty())
        scene.SetCurrentTake(mCurrentTakeName.ToChars());
    if (mSceneInfo && mSceneInfo != scene.GetSceneInfo())
        scene.SetSceneInfo(mSceneInfo);
    scene.GetGlobalLightSettings() = mLightSettings;
    scene.GetGlobalTimeSettings() = mTimeSettings;
}

} // namespace qoxsdk_600
