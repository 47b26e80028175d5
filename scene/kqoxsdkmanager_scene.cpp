// The SDK manager's operations on scenes and poses.

#include "scene/kqoxnode.h"
#include "scene/kqoxpose.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

KQoxScene* KQoxSdkManager::CreateKQoxScene()
{
    return AddCreated(mScenes, AllocateKQoxScene());
}

KQoxScene* KQoxSdkManager::AllocateKQoxScene()
{
    return new KQoxScene(*this);
}

bool KQoxSdkManager::DestroyKQoxScene(KQoxScene* pScene, bool pRecursive)
{
    if (!RemoveListed(mScenes, pScene))
        return false;
    // The root is read before the scene goes; the scene never destroys it.
    KQoxNode* root = pRecursive ? pScene->GetRootNode() : nullptr;
    DisposeObject<KQoxScene, false>(pScene);
    if (!pRecursive)
        return true;
    return DestroyKQoxNode(root, true);
}

KQoxPose* KQoxSdkManager::CreateKQoxPose(const char* pName, bool pBindPose)
{
    KString name = PrefixName("Pose::", pName);
    return AddCreated(mPoses, AllocateKQoxPose(name.Buffer(), pBindPose));
}

KQoxPose* KQoxSdkManager::AllocateKQoxPose(const char* pName, bool pBindPose)
{
    return new KQoxPose(*this, KString(pName), pBindPose);
}

bool KQoxSdkManager::DestroyKQoxPose(KQoxPose* pPose)
{
    if (!RemoveListed(mPoses, pPose))
        return false;
    // Scenes only list poses; none may keep a pose that is gone.
    mScenes.ForEach([pPose](KQoxScene* scene) {
        while (scene->RemovePose(pPose))
        {}
    });
    DisposeObject<KQoxPose, false>(pPose);
    return true;
}

KQoxPose* KQoxSdkManager::FindKQoxPose(const char* pName)
{
    return FindNamed(mPoses, nullptr, pName, 0);
}

} // namespace qoxsdk_600
