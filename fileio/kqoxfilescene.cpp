#include "fileio/kqoxfilescene.h"

#include "character/kqoxcharacter.h"
#include "character/kqoxcharacterpose.h"
#include "character/kqoxcharacterproperties.h"
#include "character/kqoxfilterset.h"
#include "character/kqoxcontrolset.h"
#include "character/kqoxcontrolsetplug.h"
#include "object/kpropertylist.h"

#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/karray.h"
#include "scene/attributes/kqoxgenericnode.h"
#include "scene/attributes/kqoxgeometry.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/attributes/kqoxcamera.h"
#include "fcurve/kfcurve.h"
#include "scene/attributes/kqoxcameraswitcher.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxglobalcamerasettings.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxpose.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxtakenodecontainer.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxuserproperty.h"
#include "object/kproperty.h"

namespace qoxsdk_600 {

void CollectNodesUnder(KQoxNode* root, std::vector<KQoxNode*>& out)
{
    if (!root)
        return;
    std::vector<KQoxNode*> pending;
    for (int i = root->GetChildCount() - 1; i >= 0; --i)
        pending.push_back(root->GetChild(i));
    while (!pending.empty())
    {
        KQoxNode* node = pending.back();
        pending.pop_back();
        out.push_back(node);
        for (int i = node->GetChildCount() - 1; i >= 0; --i)
            pending.push_back(node->GetChild(i));
    }
}

KPropertyObjectList* FindPlugList(KQoxControlSetPlug& plug, const char* name)
{
    KQoxControlSetPlugProperties* properties = plug.GetProperties();
    for (int i = 0; i < properties->GetLinkListCount(); ++i)
        if (std::strcmp(properties->GetLinkList(i)->GetPropertyName(), name) == 0)
            return properties->GetLinkList(i);
    for (int i = 0; i < properties->GetEffectorListCount(); ++i)
        if (std::strcmp(properties->GetEffectorList(i)->GetPropertyName(), name) == 0)
            return properties->GetEffectorList(i);
    return nullptr;
}

KQoxFileUserProperties::KQoxFileUserProperties(KQoxFileUserProperties&& other) noexcept
    : mManager(other.mManager)
    , mHolder(other.mHolder)
{
    other.mHolder = nullptr;
}

KQoxFileUserProperties& KQoxFileUserProperties::operator=(KQoxFileUserProperties&& other) noexcept
{
    if (&other != this)
    {
        Release();
        mManager = other.mManager;
        mHolder = other.mHolder;
        other.mHolder = nullptr;
    }
    return *this;
}

KQoxFileUserProperties::~KQoxFileUserProperties()
{
    Release();
}

void KQoxFileUserProperties::Hold(KQoxSdkManager& manager, KQoxTakeNodeContainer* holder)
{
    Release();
    mManager = &manager;
    mHolder = holder;
}

void KQoxFileUserProperties::Release()
{
    if (!mHolder)
        return;
    // Nothing of the holder stays with the manager: the wrappers it was
    // given go once it is gone.
    std::vector<KQoxUserProperty*> given;
    for (int i = 0; i < mHolder->GetPropertyCount(); ++i)
        given.push_back(mHolder->GetProperty(i));
    mHolder->Destruct();
    delete mHolder;
    mHolder = nullptr;
    for (KQoxUserProperty* property : given)
        mManager->DestroyKQoxUserProperty(property);
}

void KQoxFileUserProperties::CopyTo(KQoxObject& target) const
{
    if (!mHolder)
        return;
    KQoxPropertyHandler* own = target.GetPropertyHandler();
    for (int i = 0; i < mHolder->GetPropertyCount(); ++i)
    {
        KQoxUserProperty* from = mHolder->GetProperty(i);
        KProperty* value = from ? from->GetKProperty() : nullptr;
        // The holder's own table is not the file's.
        if (!value || !value->IsDynamic())
            continue;
        const KString name = from->GetName();
        if ((own && own->FindPropertyByName(name.ToChars())) || target.FindAttachedPropertyByName(name.ToChars()))
            continue;
        KQoxUserProperty* to = mManager->CreateKQoxUserProperty(
            name.ToChars(), KQoxUserProperty::GetPropertyTypeName(from->GetPropertyType()),
            from->GetLabel(false).ToChars());
        if (!to)
            continue;
        for (int bit : {KQoxUserProperty::eANIMATABLE, KQoxUserProperty::eUSER, KQoxUserProperty::eTEMPORARY})
            if (from->GetFlag(bit))
                to->ModifyFlag(bit, true);
        to->SetLimits(from->GetMinLimit(), from->GetMaxLimit());
        target.AddProperty(to);
        // The value as read, told to the takes as a set default value is.
        if (KProperty* copy = to->GetKProperty())
        {
            copy->CopyPropertyValueFrom(value);
            if (KQoxPropertyHandler* handler = to->GetPropertyHandler())
                handler->DefaultValueChanged(to);
        }
    }
}

KQoxFileScene::~KQoxFileScene()
{
    if (mOwnsCameraSwitcher && mCameraSwitcher)
    {
        if (KQoxNodeAttribute* attribute = mCameraSwitcher->GetNodeAttribute())
        {
            mCameraSwitcher->SetNodeAttribute(nullptr);
            mManager.DestroyKQoxNodeAttribute(attribute);
        }
        mManager.DestroyKQoxNode(mCameraSwitcher);
    }
    for (auto& producer : mProducerCameras)
        mManager.DestroyKQoxNodeAttribute(producer.second);
}

void KQoxFileScene::ApplyCameraSwitcher(KQoxScene& scene)
{
    KQoxNode* target = scene.GetCameraSwitcher();
    KQoxCameraSwitcher* to = target ? dynamic_cast<KQoxCameraSwitcher*>(target->GetNodeAttribute()) : nullptr;
    KQoxCameraSwitcher* from = dynamic_cast<KQoxCameraSwitcher*>(mCameraSwitcher->GetNodeAttribute());
    if (!to || !from)
        return;
    // The file's names join the scene's; each index read is renumbered to
    // the position its camera has there (names looked up by hash: a file
    // may hold many).
    std::unordered_map<std::string, int> positions;
    for (int i = 0; i < to->GetCameraNameCount(); ++i)
        positions.emplace(to->GetCameraName(static_cast<unsigned int>(i)), i);
    std::vector<int> renumbered;
    for (int i = 0; i < from->GetCameraNameCount(); ++i)
    {
        const char* name = from->GetCameraName(static_cast<unsigned int>(i));
        auto found = positions.find(name);
        if (found == positions.end())
        {
            found = positions.emplace(name, to->GetCameraNameCount()).first;
            to->AddCameraName(name);
        }
        renumbered.push_back(found->second);
    }
    auto renumber = [&renumbered](float value) {
        const int index = static_cast<int>(value);
        return index >= 0 && index < static_cast<int>(renumbered.size())
                   ? static_cast<float>(renumbered[static_cast<size_t>(index)])
                   : value;
    };
    for (int t = 0; t < mCameraSwitcher->GetTakeNodeCount(); ++t)
    {
        KQoxTakeNode* source = mCameraSwitcher->GetTakeNode(t);
        const char* name = mCameraSwitcher->GetTakeNodeName(t);
        KQoxTakeNode* destination = nullptr;
        for (int d = 0; d < target->GetTakeNodeCount() && !destination; ++d)
            if (std::strcmp(target->GetTakeNodeName(d), name) == 0)
                destination = target->GetTakeNode(d);
        if (!destination)
            destination = target->CreateTakeNode(name);
        KFCurve* in = source ? source->GetCameraIndex() : nullptr;
        KFCurve* out = destination ? destination->GetCameraIndex() : nullptr;
        if (!in || !out)
            continue;
        out->CopyFrom(*in, true);
        out->SetValue(renumber(in->GetValue()));
        out->KeyModifyBegin();
        for (int k = 0; k < out->KeyGetCount(); ++k)
            out->KeySetValue(k, renumber(out->KeyGetValue(k)));
        out->KeyModifyEnd();
    }
}

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
    mCameraSwitcher = scene.GetCameraSwitcher();
    mOwnsCameraSwitcher = false;
    mSceneCharacterPoses.clear();
    for (int i = 0; i < scene.GetCharacterPoseCount(); ++i)
        if (KQoxCharacterPose* pose = scene.GetCharacterPose(i))
            mSceneCharacterPoses.push_back(pose);
    mScenePlugs.clear();
    for (int i = 0; i < scene.GetControlSetPlugCount(); ++i)
        if (KQoxControlSetPlug* plug = scene.GetControlSetPlug(i))
            mScenePlugs.push_back(plug);
    mCharacters.clear();
    for (int i = 0; i < scene.GetCharacterCount(); ++i)
        if (KQoxCharacter* character = scene.GetCharacter(i))
        {
            mCharacters.emplace_back();
            mCharacters.back().mCharacter = character;
            mCharacters.back().mName = character->GetNameWithoutNameSpacePrefix();
        }
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
    std::vector<KQoxNode*> nodes; // under the root, parents first
    std::vector<KQoxNode*> pending(1, mRoot);
    while (!pending.empty())
    {
        KQoxNode* node = pending.back();
        pending.pop_back();
        if (!node)
            continue;
        if (node != mRoot)
            nodes.push_back(node);
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
    // Take names in the order the file's objects first have them (nodes
    // parents first, textures, clips, materials, generic nodes), so that a
    // read gives every object its takes in the same order; then the names
    // only other objects (the camera switcher) have.
    std::vector<std::string> order;
    std::unordered_set<std::string> named;
    auto addNames = [&](KQoxTakeNodeContainer* object) {
        for (int t = 0; object && t < object->GetTakeNodeCount(); ++t)
            if (const char* take = object->GetTakeNodeName(t))
                if (std::strcmp(take, "Default") != 0 && named.insert(take).second)
                    order.push_back(take);
    };
    for (KQoxNode* node : nodes)
        addNames(node);
    for (KQoxTexture* texture : mTextures)
        addNames(texture);
    for (KQoxVideo* video : mVideos)
        addNames(video);
    for (KQoxMaterial* material : mMaterials)
        addNames(material);
    for (KQoxGenericNode* node : mGenericNodes)
        addNames(node);
    KArrayTemplate<KString*> names;
    scene.FillTakeNameArray(names);
    for (int i = 0; i < names.GetCount(); ++i)
    {
        if (names[i]->Compare("Default") != 0 && named.insert(names[i]->Buffer()).second)
            order.push_back(names[i]->Buffer());
        delete names[i];
    }
    // A take without a description gets an empty one: the file lists every
    // take it holds, and readers read only listed takes.
    mTakeInfos.clear();
    for (const std::string& name : order)
    {
        if (KQoxTakeInfo* info = scene.GetTakeInfo(KString(name.c_str())))
            mTakeInfos.emplace_back(new KQoxTakeInfo(*info));
        else
        {
            mTakeInfos.emplace_back(new KQoxTakeInfo);
            mTakeInfos.back()->Name = name.c_str();
            mTakeInfos.back()->ImportName = name.c_str();
        }
    }
    mCurrentTakeName = scene.GetCurrentTakeName();
    mSceneInfo = scene.GetSceneInfo();
    mLightSettings = scene.GetGlobalLightSettings();
    mTimeSettings = scene.GetGlobalTimeSettings();
    mCameraSettings = &scene.GetGlobalCameraSettings();
}

void KQoxFileScene::Apply(KQoxScene& scene)
{
    // Objects the scene's geometry does not reference yet join its entity.
    KQoxEntity* entity = scene.GetEntity();
    // The entity's list of a kind is gathered once into a set, which then
    // follows the objects offered: a look-up per object, not a search.
    auto joinUnlisted = [entity](const auto& objects, int (KQoxEntity::*count)() const,
                                 KQoxObject* (KQoxEntity::*get)(int), auto add) {
        std::unordered_set<const KQoxObject*> listed;
        for (int i = 0; i < (entity->*count)(); ++i)
            listed.insert((entity->*get)(i));
        for (auto* object : objects)
            if (listed.insert(object).second)
                add(object);
    };
    // The geometry read listed the materials and textures its layers use as
    // its nodes joined the scene, in node order: those read follow the
    // scene's own in file order, as the file was written.
    entity->AppendMaterialsInOrder(std::vector<KQoxObject*>(mMaterials.begin(), mMaterials.end()));
    entity->AppendTexturesInOrder(std::vector<KQoxObject*>(mTextures.begin(), mTextures.end()));
    joinUnlisted(mVideos, &KQoxEntity::GetVideoCount, &KQoxEntity::GetVideo,
                 [entity](KQoxVideo* video) { entity->AddVideo(video); });
    for (KQoxPose* pose : mPoses)
        scene.AddPose(pose);
    joinUnlisted(mGenericNodes, &KQoxEntity::GetGenericNodeCount, &KQoxEntity::GetGenericNode,
                 [entity](KQoxGenericNode* node) { entity->AddGenericNode(node); });
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
    if (mHasCameraSettings)
    {
        KQoxGlobalCameraSettings& cameras = scene.GetGlobalCameraSettings();
        for (auto& producer : mProducerCameras)
            cameras.CopyProducerCamera(producer.first, producer.second);
        // A name the scene does not know leaves the default camera as it is.
        cameras.SetDefaultCamera(mDefaultCamera.ToChars());
        cameras.SetDefaultViewingMode(static_cast<KQoxGlobalCameraSettings::EViewingMode>(mDefaultViewingMode));
    }
    for (const KQoxFileCharacter& read : mCharacters)
    {
        if (read.mCharacter)
            continue;
        KQoxCharacter* character = nullptr;
        for (int c = 0; mFillCharactersByName && !character && c < scene.GetCharacterCount(); ++c)
            if (scene.GetCharacter(c)->GetNameWithoutNameSpacePrefix() == read.mName)
                character = scene.GetCharacter(c);
        if (!character)
            character = scene.GetCharacter(scene.CreateCharacter(read.mName.ToChars()));
        // Only memory keeps a character from being made: the read fails.
        if (!character)
            throw std::bad_alloc();
        read.mUserProperties.CopyTo(*character);
        KQoxFilterSet* filterSet = character->GetFilterSet();
        for (const KQoxFileCharacter::Param& param : read.mParams)
        {
            int index = KQoxFilterSet::GetParameterIndex(param.mName.ToChars());
            if (index < 0)
                continue;
            filterSet->SetParameterMode(index, param.mMode);
            filterSet->SetParameterValue(index, param.mValue);
        }
        character->GetProperties()->FilterSetToProperties();
        for (const KQoxFileCharacter::Link& read : read.mLinks)
        {
            KQoxCharacterLink link;
            link.mNode = read.mNode;
            link.mTemplateName = read.mTemplateName;
            for (int k = 0; k < 4; ++k)
            {
                link.mOffsetT[k] = read.mOffsets[k];
                link.mOffsetR[k] = read.mOffsets[4 + k];
                link.mOffsetS[k] = read.mOffsets[8 + k];
            }
            character->SetCharacterLink(static_cast<ECharacterNodeId>(read.mId), link, true);
        }
        const KQoxFileCharacter::ControlSet& controls = read.mControlSet;
        if (!controls.mRead)
            continue;
        KQoxControlSet* set = character->GetControlSet();
        set->SetType(static_cast<KQoxControlSet::EType>(controls.mType));
        set->SetUseAxis(controls.mUseAxis);
        set->SetLockTransform(controls.mLockTransform);
        set->SetLock3DPick(controls.mLock3DPick);
        for (const auto& read : controls.mLinks)
        {
            KQoxControlSetLink link;
            link.mNode = read.mNode;
            link.mTemplateName = read.mTemplateName;
            set->SetControlSetLink(static_cast<ECharacterNodeId>(read.mId), link);
        }
        for (const auto& read : controls.mEffectors)
        {
            KQoxEffector effector;
            effector.mNode = read.mNode;
            effector.mShow = read.mFlags[0];
            effector.mTActive = read.mFlags[1];
            effector.mRActive = read.mFlags[2];
            effector.mCandidateTActive = read.mFlags[3];
            effector.mCandidateRActive = read.mFlags[4];
            // Without a node the slot takes a fresh effector's flags.
            set->SetEffector(static_cast<EEffectorNodeId>(read.mId), effector);
        }
        for (const auto& read : controls.mAux)
            set->SetEffectorAux(static_cast<EEffectorNodeId>(read.mId), read.mNode,
                                static_cast<EEffectorSetId>(read.mSet));
    }
    if (mOwnsCameraSwitcher && mCameraSwitcher)
        ApplyCameraSwitcher(scene);
    // Each pose gets the nodes and everything else read into its scene.
    for (KQoxFilePose& read : mCharacterPoses)
    {
        KQoxCharacterPose* pose = scene.GetCharacterPose(scene.CreateCharacterPose(read.mName.ToChars()));
        KQoxFileScene* content = read.mContent.get();
        KQoxNode* holder = content->mRoot;
        if (!pose || !pose->GetScene())
            throw std::bad_alloc();
        if (!holder)
            continue;
        KQoxScene& poseScene = *pose->GetScene();
        KQoxNode* root = poseScene.GetRootNode();
        while (holder->GetChildCount() > 0)
        {
            KQoxNode* child = holder->GetChild(0);
            holder->RemoveChild(child);
            root->AddChild(child);
        }
        mManager.DestroyKQoxNode(holder);
        content->mRoot = root;
        content->mFillCharactersByName = true;
        content->Apply(poseScene);
    }
    mCharacterPoses.clear();
    for (const KQoxFilePlug& read : mPlugs)
    {
        KQoxControlSetPlug* plug = scene.GetControlSetPlug(scene.CreateControlSetPlug(read.mName.ToChars()));
        if (!plug)
            throw std::bad_alloc();
        plug->GetProperties()->UseAxisSet(read.mUseAxis);
        plug->GetProperties()->ControlSetTypeSet(static_cast<KQoxControlSet::EType>(read.mType));
        read.mUserProperties.CopyTo(*plug);
        for (const auto& list : read.mLists)
        {
            KPropertyObjectList* property = FindPlugList(*plug, list.first.ToChars());
            if (!property)
                continue;
            for (KQoxNode* node : list.second)
                property->Add(node->GetPropertyHandler());
        }
    }
}

} // namespace qoxsdk_600
