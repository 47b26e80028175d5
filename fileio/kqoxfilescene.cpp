#include "fileio/kqoxfilescene.h"

#include <cstring>
#include <unordered_set>
#include <vector>

#include "base/karray.h"
#include "scene/attributes/kqoxgenericnode.h"
#include "scene/attributes/kqoxgeometry.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxpose.h"
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
    mMaterials.clear();
    for (int i = 0; entity && i < entity->GetMaterialCount(); ++i)
        if (KQoxMaterial* material = dynamic_cast<KQoxMaterial*>(entity->GetMaterial(i)))
            mMaterials.push_back(material);
    // Materials and textures the geometry's layers use, whether or not the
    // entity lists them.
    std::unordered_set<const void*> seen(mMaterials.begin(), mMaterials.end());
    seen.insert(mTextures.begin(), mTextures.end());
    std::vector<KQoxNode*> pending(1, mRoot);
    while (!pending.empty())
    {
        KQoxNode* node = pending.back();
        pending.pop_back();
        if (!node)
            continue;
        if (KQoxGeometry* geometry = dynamic_cast<KQoxGeometry*>(node->GetNodeAttribute()))
            for (int l = 0; l < geometry->GetLayerCount(); ++l)
            {
                KQoxLayer* layer = geometry->GetLayer(l);
                if (KQoxLayerElementMaterial* materials = layer->GetMaterials())
                    for (int i = 0; i < materials->mDirectArray.GetCount(); ++i)
                        if (materials->mDirectArray[i] && seen.insert(materials->mDirectArray[i]).second)
                            mMaterials.push_back(materials->mDirectArray[i]);
                if (KQoxLayerElementTexture* textures = layer->GetTextures())
                    for (int i = 0; i < textures->mDirectArray.GetCount(); ++i)
                        if (textures->mDirectArray[i] && seen.insert(textures->mDirectArray[i]).second)
                            mTextures.push_back(textures->mDirectArray[i]);
            }
        for (int i = node->GetChildCount() - 1; i >= 0; --i)
            pending.push_back(node->GetChild(i));
    }
    mGenericNodes.clear();
    for (int i = 0; entity && i < entity->GetGenericNodeCount(); ++i)
        if (KQoxGenericNode* node = dynamic_cast<KQoxGenericNode*>(entity->GetGenericNode(i)))
            mGenericNodes.push_back(node);
    mPoses.clear();
    for (int i = 0; i < scene.GetPoseCount(); ++i)
        mPoses.push_back(scene.GetPose(i));
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
    // Objects the scene's geometry does not reference yet join its entity.
    KQoxEntity* entity = scene.GetEntity();
    auto listed = [entity](KQoxObject* object, int count, KQoxObject* (KQoxEntity::*get)(int)) {
        for (int i = 0; i < count; ++i)
            if ((entity->*get)(i) == object)
                return true;
        return false;
    };
    for (KQoxMaterial* material : mMaterials)
        if (!listed(material, entity->GetMaterialCount(), &KQoxEntity::GetMaterial))
            entity->AddMaterial(material);
    for (KQoxTexture* texture : mTextures)
        if (!listed(texture, entity->GetTextureCount(), &KQoxEntity::GetTexture))
            entity->AddTexture(texture);
    for (KQoxVideo* video : mVideos)
        if (!listed(video, entity->GetVideoCount(), &KQoxEntity::GetVideo))
            entity->AddVideo(video);
    for (KQoxPose* pose : mPoses)
        scene.AddPose(pose);
    for (KQoxGenericNode* node : mGenericNodes)
        if (!listed(node, entity->GetGenericNodeCount(), &KQoxEntity::GetGenericNode))
            entity->AddGenericNode(node);
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
