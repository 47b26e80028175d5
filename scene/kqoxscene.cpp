#include "scene/kqoxscene.h"

#include <atomic>
#include <string>
#include <unordered_set>

#include "scene/attributes/kqoxcameraswitcher.h"
#include "scene/attributes/kqoxdeformer.h"
#include "scene/attributes/kqoxgenericnode.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxglobalcamerasettings.h"
#include "scene/kqoxgloballightsettings.h"
#include "scene/kqoxglobaltimesettings.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsceneinfo.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakeinfo.h"
#include "scene/kqoxtakenodecontainer.h"

namespace qoxsdk_600 {

namespace {
const char* const kSceneErrors[1] = {"Take error."};
const char* const kCameraSwitcherNodeName = "Camera Switcher";

// Shading mode of the camera switcher node.
const KQoxNode::EShadingMode kCameraSwitcherShading = KQoxNode::eWIRE_FRAME;

// The materials, textures and generic nodes of the entity are animated
// objects of classes above this file; they are reached as take-node
// containers.
KQoxTakeNodeContainer* AsAnimated(KQoxObject* object)
{
    return dynamic_cast<KQoxTakeNodeContainer*>(object);
}

std::atomic<KQoxScene::CharacterObjectsDestroyFunction> gCharacterObjectsDestroyFunction(nullptr);

template <class T>
T* ItemOrNull(const KArrayTemplate<T*>& array, int index)
{
    if (index < 0 || index >= array.GetCount())
        return nullptr;
    return array[index];
}
} // namespace

KQoxScene::KQoxScene(KQoxSdkManager& manager)
    : mManager(manager)
    , mCameraSwitcher(nullptr)
    , mSceneInfo(nullptr)
    , mError(kSceneErrors, 1)
{
    mEntity.reset(new KQoxEntity(manager));
    mCameraSwitcher = manager.CreateKQoxNode(kCameraSwitcherNodeName);
    if (mCameraSwitcher)
    {
        mCameraSwitcher->SetVisibility(false);
        mCameraSwitcher->SetShadingMode(kCameraSwitcherShading);
        mCameraSwitcher->SetNodeAttribute(manager.CreateKQoxCameraSwitcher());
    }
    mLightSettings.reset(new KQoxGlobalLightSettings);
    mCameraSettings.reset(new KQoxGlobalCameraSettings(manager, *this));
    mTimeSettings.reset(new KQoxGlobalTimeSettings);
}

KQoxScene::~KQoxScene()
{
    // The entity forgets the root node; the manager destroys it when asked.
    mEntity.reset();
    if (mCameraSwitcher)
        mManager.DestroyKQoxNode(mCameraSwitcher, true);
    mCameraSwitcher = nullptr;
    DestroySceneInfo();
    DestroyCharacterObjects();
    mPoses.Clear();
    mLightSettings.reset();
    mCameraSettings.reset();
    mTimeSettings.reset();
    while (!mTakeInfos.empty())
        mTakeInfos.pop_back();
}

void KQoxScene::Clear()
{
    if (KQoxNode* root = GetRootNode())
    {
        while (root->GetChildCount(false) > 0)
        {
            KQoxNode* child = root->GetChild(root->GetChildCount(false) - 1);
            root->RemoveChild(child);
            mManager.DestroyKQoxNode(child, true);
        }
        while (root->GetTakeNodeCount() > 1)
            root->RemoveTakeNode(root->GetTakeNodeCount() - 1);
    }
    if (mCameraSwitcher)
    {
        mCameraSwitcher->SetName(kCameraSwitcherNodeName);
        mCameraSwitcher->SetVisibility(false);
        mCameraSwitcher->SetShadingMode(kCameraSwitcherShading);
        if (KQoxNodeAttribute* attribute = mCameraSwitcher->GetCameraSwitcher())
            static_cast<KQoxCameraSwitcher*>(attribute)->SetDefaultCameraIndex(0);
        for (int i = mCameraSwitcher->GetTakeNodeCount() - 1; i >= 1; --i)
            mCameraSwitcher->RemoveTakeNode(i);
    }
    DestroySceneInfo();
    DestroyCharacterObjects();
    mPoses.Clear();
    // Each generic node leaves the entity with its whole reference record
    // before it is destroyed, so the entity never keeps a record of an object
    // that is gone.
    while (GetGenericNodeCount() > 0)
    {
        KQoxObject* object = mEntity->GetGenericNode(0);
        auto* node = dynamic_cast<KQoxGenericNode*>(object);
        if (node && node->GetEntity() == mEntity.get())
            node->SetEntity(nullptr);
        bool removed = mEntity->GetGenericNodeCount() == 0 || mEntity->GetGenericNode(0) != object;
        while (!removed)
        {
            removed = mEntity->RemoveGenericNode(object);
            if (!removed && mEntity->GetLastErrorID() != KQoxEntity::eGENERIC_NODE_IN_USE)
                break;
        }
        if (!removed)
            break;
        if (node)
            mManager.DestroyKQoxGenericNode(node);
    }
    mLightSettings->RestoreDefaultSettings();
    mCameraSettings->RestoreDefaultSettings();
    mTimeSettings->RestoreDefaultSettings();
    mCurrentTakeName = "";
    while (!mTakeInfos.empty())
        mTakeInfos.pop_back();
}

// Hierarchy and entity -------------------------------------------------------------

KQoxNode* KQoxScene::GetRootNode() const
{
    return mEntity->GetRootNode();
}

void KQoxScene::ReplaceCameraSwitcher(KQoxNode* node)
{
    if (node == mCameraSwitcher)
        return;
    if (mCameraSwitcher)
        mManager.DestroyKQoxNode(mCameraSwitcher, true);
    mCameraSwitcher = node;
}

bool KQoxScene::ValidateNewName(KQoxObject& object, const char* name)
{
    return mEntity->ValidateNewName(object, name);
}

int KQoxScene::GetGenericNodeCount() const
{
    return mEntity->GetGenericNodeCount();
}

KQoxGenericNode* KQoxScene::GetGenericNode(int index)
{
    return dynamic_cast<KQoxGenericNode*>(mEntity->GetGenericNode(index));
}

bool KQoxScene::AddGenericNode(KQoxGenericNode* node)
{
    return node && node->SetEntity(mEntity.get());
}

bool KQoxScene::RemoveGenericNode(KQoxGenericNode* node)
{
    return node && node->SetEntity(nullptr);
}

void KQoxScene::FillTextureArray(KArrayTemplate<KQoxTexture*>& textures)
{
    textures.Clear();
    for (int i = 0; i < mEntity->GetTextureCount(); ++i)
        if (auto* texture = dynamic_cast<KQoxTexture*>(mEntity->GetTexture(i)))
            textures.Add(texture);
}

void KQoxScene::FillMaterialArray(KArrayTemplate<KQoxMaterial*>& materials)
{
    materials.Clear();
    for (int i = 0; i < mEntity->GetMaterialCount(); ++i)
        if (auto* material = dynamic_cast<KQoxMaterial*>(mEntity->GetMaterial(i)))
            materials.Add(material);
}

int KQoxScene::GetDeformerCount() const
{
    return mEntity->GetDeformerCount();
}

KQoxDeformer* KQoxScene::GetDeformer(const char* name)
{
    return dynamic_cast<KQoxDeformer*>(mEntity->GetDeformer(name));
}

bool KQoxScene::AddDeformer(KQoxDeformer* deformer)
{
    return mEntity->AddDeformer(deformer);
}

bool KQoxScene::RemoveDeformer(KQoxDeformer* deformer)
{
    return mEntity->RemoveDeformer(deformer);
}

// Characters and poses ----------------------------------------------------------------

void KQoxScene::SetCharacterObjectsDestroyFunction(CharacterObjectsDestroyFunction function)
{
    gCharacterObjectsDestroyFunction.store(function);
}

// The lists fill only through the character library, which installs the
// function first.
void KQoxScene::DestroyCharacterObjects()
{
    if (CharacterObjectsDestroyFunction destroy = gCharacterObjectsDestroyFunction.load())
        destroy(*this);
    mCharacters.Clear();
    mControlSetPlugs.Clear();
    mCharacterPoses.Clear();
}

KQoxCharacter* KQoxScene::GetCharacter(int index) const
{
    return ItemOrNull(mCharacters, index);
}

KQoxControlSetPlug* KQoxScene::GetControlSetPlug(int index) const
{
    return ItemOrNull(mControlSetPlugs, index);
}

KQoxCharacterPose* KQoxScene::GetCharacterPose(int index) const
{
    return ItemOrNull(mCharacterPoses, index);
}

KQoxPose* KQoxScene::GetPose(int index) const
{
    return ItemOrNull(mPoses, index);
}

bool KQoxScene::AddPose(KQoxPose* pose)
{
    if (!pose || mPoses.FindAfter(-1, pose) >= 0)
        return false;
    mPoses.Add(pose);
    return true;
}

bool KQoxScene::RemovePose(KQoxPose* pose)
{
    const int index = mPoses.FindAfter(-1, pose);
    if (index < 0)
        return false;
    mPoses.RemoveAt(index);
    return true;
}

bool KQoxScene::RemovePose(int index)
{
    if (index < 0 || index >= mPoses.GetCount())
        return false;
    mPoses.RemoveAt(index);
    return true;
}

// Settings and information ---------------------------------------------------------------

void KQoxScene::SetSceneInfo(KQoxSceneInfo* sceneInfo)
{
    if (sceneInfo == mSceneInfo)
        return;
    DestroySceneInfo();
    mSceneInfo = sceneInfo;
}

void KQoxScene::DestroySceneInfo()
{
    if (mSceneInfo)
        mManager.DestroyKQoxSceneInfo(mSceneInfo);
    mSceneInfo = nullptr;
}

// Takes ------------------------------------------------------------------------------------

template <class F>
bool KQoxScene::ForEachAnimated(bool withGenericNodes, F function)
{
    bool result = true;
    auto visit = [&](KQoxTakeNodeContainer* object) {
        if (object && !function(*object))
            result = false;
    };
    visit(mCameraSwitcher);
    for (int i = 0; i < mEntity->GetNodeCount(); ++i)
        visit(mEntity->GetNode(i));
    for (int i = 0; i < mEntity->GetTextureCount(); ++i)
        visit(AsAnimated(mEntity->GetTexture(i)));
    for (int i = 0; i < mEntity->GetMaterialCount(); ++i)
        visit(AsAnimated(mEntity->GetMaterial(i)));
    if (withGenericNodes)
        for (int i = 0; i < mEntity->GetGenericNodeCount(); ++i)
            visit(AsAnimated(mEntity->GetGenericNode(i)));
    return result;
}

void KQoxScene::SetTakeError(const char* text, const char* name)
{
    KString message(text);
    message += name ? name : "";
    mError.SetLastError(0, message.Buffer());
}

bool KQoxScene::CreateTake(const char* name)
{
    const bool result = ForEachAnimated(
        false, [name](KQoxTakeNodeContainer& object) { return object.CreateTakeNode(name) != nullptr; });
    if (!result)
        SetTakeError("At least one node, texture or material already has a take called ", name);
    return result;
}

bool KQoxScene::RemoveTake(const char* name)
{
    const bool result =
        ForEachAnimated(false, [name](KQoxTakeNodeContainer& object) { return object.RemoveTakeNode(name); });
    if (!result)
        SetTakeError("Not all nodes, textures and materials have a take called ", name);
    return result;
}

bool KQoxScene::SetCurrentTake(const char* name)
{
    mCurrentTakeName = name ? name : "";
    const bool result =
        ForEachAnimated(true, [name](KQoxTakeNodeContainer& object) { return object.SetCurrentTakeNode(name); });
    if (!result)
        SetTakeError("Not all nodes have a take node called ", name);
    return result;
}

void KQoxScene::FillTakeNameArray(KArrayTemplate<KString*>& names)
{
    for (int i = names.GetCount() - 1; i >= 0; --i)
        delete names[i];
    names.Clear();
    std::unordered_set<std::string> seen;
    ForEachAnimated(true, [&](KQoxTakeNodeContainer& object) {
        for (int i = 0; i < object.GetTakeNodeCount(); ++i)
        {
            const char* take = object.GetTakeNodeName(i);
            if (take && seen.insert(take).second)
                names.Add(new KString(take));
        }
        return true;
    });
}

bool KQoxScene::FindTakeName(const KString& name)
{
    bool found = false;
    ForEachAnimated(true, [&](KQoxTakeNodeContainer& object) {
        for (int i = 0; i < object.GetTakeNodeCount() && !found; ++i)
        {
            const char* take = object.GetTakeNodeName(i);
            found = take && name.Compare(take) == 0;
        }
        return true;
    });
    return found;
}

bool KQoxScene::SetTakeInfo(const KQoxTakeInfo& info)
{
    if (!FindTakeName(info.Name))
        return false;
    if (KQoxTakeInfo* stored = GetTakeInfo(info.Name))
        *stored = info;
    else
        mTakeInfos.emplace_back(new KQoxTakeInfo(info));
    return true;
}

KQoxTakeInfo* KQoxScene::GetTakeInfo(const KString& name)
{
    for (auto& info : mTakeInfos)
        if (info->Name.Compare(name.ToChars()) == 0)
            return info.get();
    return nullptr;
}

} // namespace qoxsdk_600
