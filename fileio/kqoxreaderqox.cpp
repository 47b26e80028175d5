#include "fileio/kqoxreaderqox.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <unordered_set>

#include "fileio/kqoxattribute_private.h"
#include "fileio/kqoxnative_private.h"
#include "fileio/kqoxread_nodefill_private.h"
#include "fileio/kqoxreaderqox_private.h"
#include "scene/attributes/kqoxgenericnode.h"
#include "scene/attributes/kqoxgeometry.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsceneinfo.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxthumbnail.h"
#include "scene/kqoxuserproperty.h"

namespace qoxsdk_600 {

using namespace qoxnative;

// ---------------------------------------------------------------------------
// Helpers

bool KQoxRead6::Ok()
{
    if (mFile.GetLastErrorID() == KQox::eFILE_CORRUPTED)
        mCorrupted = true;
    return !mCorrupted;
}

namespace {

// Whether the object has a property of that name. The names a file lists as
// an object's user properties that are the object's own are mostly its last
// properties (a node's channels), so the list is searched from its end.
bool HasPropertyNamed(const KObject& object, const char* name)
{
    for (int i = object.GetPropertyCount() - 1; i >= 0; --i)
    {
        const char* own = object.ReadPropertyInfoAt(i).mName;
        if (own && own[0] == name[0] && std::strcmp(own, name) == 0)
            return true;
    }
    return false;
}

} // namespace

void KQoxRead6::ReadUserProperties(KQoxObject& object, KObject* properties)
{
    if (mFile.FieldReadBegin(kUserProperties))
    {
        if (mFile.FieldReadBlockBegin())
        {
            // Reused for every property: the texts are short, and once grown
            // to the longest they are kept without allocation.
            std::string name, type, label;
            while (Ok() && mFile.FieldReadBegin(kUserProperty))
            {
                name = mFile.FieldReadC();
                type = mFile.FieldReadC();
                label = mFile.FieldReadC();
                int flags = mFile.FieldReadI();
                double min = mFile.FieldReadD();
                double max = mFile.FieldReadD();
                mFile.FieldReadEnd();
                // A name the object already has is its own property, not a user
                // one. The property block first, by name only: the wrappers the
                // object has put off all wrap properties of that block, so the
                // attached ones are the rest, and nothing is made for the search.
                if (HasUserProperty(object, properties, name.c_str()))
                    continue;
                KQoxUserProperty* property =
                    mScene.mManager.CreateKQoxUserProperty(name.c_str(), type.c_str(), label.c_str());
                if (!property)
                    continue;
                property->ModifyFlag(
                    flags & (KQoxUserProperty::eANIMATABLE | KQoxUserProperty::eUSER | KQoxUserProperty::eTEMPORARY),
                    true);
                property->SetLimits(min, max);
                object.AddProperty(property);
            }
            mFile.FieldReadBlockEnd();
        }
        mFile.FieldReadEnd();
    }
}

bool KQoxRead6::HasUserProperty(KQoxObject& object, KObject* properties, const char* name)
{
    return !*name || (properties && HasPropertyNamed(*properties, name)) || object.FindAttachedPropertyByName(name);
}

bool KQoxRead6::UserPropertiesKnown(KQox& file, KQoxObject& object, KObject* properties)
{
    const int lists = file.FieldReadGetCount(kUserProperties);
    if (lists == 0)
        return true;
    if (lists > 1 || !file.FieldReadBegin(kUserProperties))
        return false;
    bool known = true;
    if (file.FieldReadBlockBegin())
    {
        while (known && file.FieldReadBegin(kUserProperty))
        {
            known = HasUserProperty(object, properties, file.FieldReadC());
            file.FieldReadEnd();
        }
        file.FieldReadBlockEnd();
    }
    // Not ended: a field ended is passed over, and ReadUserProperties must
    // find the list again when the block is read here after all.
    return known;
}

bool KQoxRead6::Ok(KQox& file)
{
    if (&file == &mFile)
        return Ok();
    return file.GetLastErrorID() != KQox::eFILE_CORRUPTED;
}

bool KQoxRead6::ReadFour(const char* name, KQoxVector4& vector)
{
    return ReadFour(mFile, name, vector);
}

bool KQoxRead6::ReadFour(KQox& file, const char* name, KQoxVector4& vector)
{
    if (!file.FieldReadBegin(name))
        return false;
    const bool ok = file.FieldReadGetRemain() >= 4;
    for (int k = 0; ok && k < 4; ++k)
        vector[k] = file.FieldReadD();
    file.FieldReadEnd();
    return ok;
}

void KQoxRead6::ObjectHeader(KQoxObject& object, KObject* properties)
{
    ReadUserProperties(object, properties);
    if (properties && Ok())
        mFile.FieldReadPropertiesList(*properties);
}

namespace {

// Takes every one of objects out of list, in one pass over it.
template <typename T>
void RemoveEach(std::vector<T*>& list, const std::vector<T*>& objects)
{
    const std::unordered_set<const T*> gone(objects.begin(), objects.end());
    list.erase(std::remove_if(list.begin(), list.end(), [&gone](T* object) { return gone.count(object) > 0; }),
               list.end());
}

} // namespace

void KQoxRead6::Destroy()
{
    // The scenes nested in this one first, with their holder roots.
    for (std::unique_ptr<KQoxRead6>& nested : mNested)
    {
        nested->Destroy();
        if (KQoxNode* holder = nested->mScene.mRoot)
        {
            while (holder->GetChildCount() > 0)
                holder->RemoveChild(holder->GetChild(0));
            mScene.mManager.DestroyKQoxNode(holder);
            nested->mScene.mRoot = nullptr;
        }
    }
    mNested.clear();
    mScene.mCharacterPoses.clear();
    DestroyDeformerLinks();
    KQoxSdkManager& manager = mScene.mManager;
    auto forgetFromScene = [&] {
        RemoveEach(mScene.mTextures, mTextures);
        RemoveEach(mScene.mVideos, mVideos);
        RemoveEach(mScene.mMaterials, mMaterials);
    };
    // User properties the objects were given: an object takes only the
    // wrappers of its own table with it, so the rest go once it is gone
    // (the manager refuses those it no longer lists).
    std::vector<KQoxUserProperty*> properties;
    auto gatherProperties = [&properties](auto* object) {
        for (int i = 0; i < object->GetPropertyCount(); ++i)
            properties.push_back(object->GetProperty(i));
    };
    for (KQoxNode* node : mNodes)
    {
        if (KQoxNode* parent = node->GetParent())
            parent->RemoveChild(node);
    }
    for (KQoxNode* node : mNodes)
    {
        gatherProperties(node);
        // Its attribute (a mesh with its links and shapes) goes with it.
        if (KQoxNodeAttribute* attribute = node->GetNodeAttribute())
        {
            node->SetNodeAttribute(nullptr);
            manager.DestroyKQoxNodeAttribute(attribute);
        }
        manager.DestroyKQoxNode(node);
    }
    forgetFromScene();
    for (KQoxTexture* texture : mTextures)
    {
        gatherProperties(texture);
        manager.DestroyKQoxTexture(texture);
    }
    for (KQoxVideo* video : mVideos)
    {
        gatherProperties(video);
        manager.DestroyKQoxVideo(video);
    }
    for (KQoxMaterial* material : mMaterials)
    {
        gatherProperties(material);
        manager.DestroyKQoxMaterial(material);
    }
    for (KQoxPose* pose : mPoses)
        manager.DestroyKQoxPose(pose);
    for (KQoxGenericNode* node : mGenericNodes)
    {
        gatherProperties(node);
        manager.DestroyKQoxGenericNode(node);
    }
    for (KQoxUserProperty* property : properties)
        manager.DestroyKQoxUserProperty(property);
    mScene.mGenericNodes.clear();
    mGenericNodes.clear();
    mScene.mPoses.clear();
    mPoses.clear();
    // Take descriptions read, with the thumbnails made for them.
    for (std::unique_ptr<KQoxTakeInfo>& info : mScene.mTakeInfos)
        if (KQoxThumbnail* thumbnail = info->GetTakeThumbnail())
            manager.DestroyKQoxThumbnail(thumbnail);
    mScene.mTakeInfos.clear();
    if (mMadeSceneInfo)
    {
        if (KQoxThumbnail* thumbnail = mMadeSceneInfo->GetSceneThumbnail())
            manager.DestroyKQoxThumbnail(thumbnail);
        manager.DestroyKQoxSceneInfo(mMadeSceneInfo);
        if (mScene.mSceneInfo == mMadeSceneInfo)
            mScene.mSceneInfo = nullptr;
        mMadeSceneInfo = nullptr;
    }
    mNodes.clear();
    mTextures.clear();
    mVideos.clear();
    mExtractedClips.clear();
    mMaterials.clear();
}

bool KQoxRead6::ReadScene()
{
    // Objects in file order.
    int objects = mFile.ProjectFindSection(kObjects);
    if (objects >= 0 && mFile.ProjectOpenSection(objects))
    {
        // Nodes read at all: their blocks are read on other threads too.
        std::unique_ptr<NodeFill> fill = mOptions.GetState(KStreamOptionsQox::eMODEL) ? NodeFill::Make(*this) : nullptr;
        mNodeFill = fill.get();
        // Walked until no record is left, without asking the count first.
        for (int i = 0; Ok(); ++i)
        {
            const char* name = mFile.FieldReadGetRecordName(i);
            if (!name)
                break;
            std::string kind(name);
            // Objects that may touch nodes wait for the nodes' blocks.
            if (mNodeFill && kind != kModel && kind != kMaterial && kind != kTexture && kind != kVideo &&
                kind != kGenericNode)
                mNodeFill->Drain();
            if (kind == kModel && mOptions.GetState(KStreamOptionsQox::eMODEL))
                ReadNode(i);
            else if (kind == kGenericNode && mOptions.GetState(KStreamOptionsQox::eMODEL))
                ReadGenericNode();
            else if (kind == kDeformer && mOptions.GetState(KStreamOptionsQox::eMODEL))
                ReadDeformer();
            else if (kind == kPose && mOptions.GetState(KStreamOptionsQox::eCHARACTER))
                ReadPose();
            else if (kind == kCharacter && mOptions.GetState(KStreamOptionsQox::eCHARACTER))
                ReadCharacter();
            else if (kind == kControlSetPlug && mOptions.GetState(KStreamOptionsQox::eCHARACTER))
                ReadControlSetPlug();
            else if (kind == kCharacterPose && mOptions.GetState(KStreamOptionsQox::eCHARACTER))
                ReadCharacterPose();
            else if (kind == kMaterial && mOptions.GetState(KStreamOptionsQox::eMATERIAL))
                ReadMaterial();
            else if (kind == kTexture && mOptions.GetState(KStreamOptionsQox::eTEXTURE))
                ReadTexture();
            else if (kind == kVideo && mOptions.GetState(KStreamOptionsQox::eTEXTURE))
                ReadVideo();
            else if (kind == kSceneInfo && mOptions.GetState(KStreamOptionsQox::eGLOBAL_SETTINGS))
                ReadSceneInfo();
            else if (kind == kGlobalSettings && mOptions.GetState(KStreamOptionsQox::eGLOBAL_SETTINGS))
                ReadGlobalSettings();
            else if (kind == kGlobalCameraSettings && mOptions.GetState(KStreamOptionsQox::eGLOBAL_SETTINGS))
                ReadGlobalCameraSettings();
            else if (kind == kCameraSwitcher && mOptions.GetState(KStreamOptionsQox::eGLOBAL_SETTINGS))
                ReadCameraSwitcher();
        }
        // Every node read, and the damage found meanwhile the file's.
        if (fill)
            fill->End();
        fill.reset();
        mNodeFill = nullptr;
        mFile.ProjectReadSectionEnd();
        PointTexturesAtMedia();
    }
    // Every connection ties nodes: without them read, none can be made (nor
    // checked), and the section is passed over.
    if (Ok() && mOptions.GetState(KStreamOptionsQox::eMODEL))
    {
        int connections = mFile.ProjectFindSection(kConnections);
        bool entered = connections >= 0 && mFile.ProjectOpenSection(connections);
        ReadConnections();
        ResolveLinks();
        ResolveDeformers();
        if (entered)
            mFile.ProjectReadSectionEnd();
    }

    // Take descriptions (with their thumbnails now), then the selected takes' animation.
    std::vector<std::unique_ptr<KQoxTakeInfo>> takes;
    // Descriptions the scene does not keep (takes not selected, or no
    // animation read) take the thumbnails made for them along: nothing else
    // refers to those, and the manager would keep them for good.
    struct DropLeftThumbnails
    {
        std::vector<std::unique_ptr<KQoxTakeInfo>>& mTakes;
        KQoxSdkManager& mManager;
        ~DropLeftThumbnails()
        {
            for (std::unique_ptr<KQoxTakeInfo>& take : mTakes)
                if (KQoxThumbnail* thumbnail = take ? take->GetTakeThumbnail() : nullptr)
                    mManager.DestroyKQoxThumbnail(thumbnail);
        }
    } dropLeft{takes, mScene.mManager};
    KString current;
    if (Ok() && !KQoxRead6::ReadTakeList(mFile, takes, current, &mScene.mManager))
        mCorrupted = true;
    // The writer puts one animation section per listed take, in the list's
    // order: a section without its take's name is the take listed at its
    // place, when the list and the sections agree in number.
    std::vector<KString> listed;
    for (const std::unique_ptr<KQoxTakeInfo>& take : takes)
        listed.push_back(take->Name);
    mListedTakes = listed;
    int sections = 0;
    for (int s = mFile.ProjectFindSection(kAnimation); s >= 0; s = mFile.ProjectFindSection(kAnimation, s))
        ++sections;
    if (static_cast<size_t>(sections) != listed.size())
        listed.clear();
    // Without animation the scene gets no takes, so no descriptions either.
    if (Ok() && mOptions.GetState(KStreamOptionsQox::eANIMATION))
    {
        for (std::unique_ptr<KQoxTakeInfo>& take : takes)
        {
            take->Selected = mOptions.IsTakeSelected(take->Name.ToChars());
            if (!take->Selected || mScene.FindTakeInfo(take->Name.ToChars()))
                continue;
            mScene.mTakeInfos.push_back(std::move(take));
        }
        mScene.mCurrentTakeName = current;
        if (*mOptions.GetTakeName())
            mScene.mCurrentTakeName = mOptions.GetTakeName();
    }
    if (Ok() && mOptions.GetState(KStreamOptionsQox::eANIMATION))
    {
        size_t place = 0;
        for (int s = mFile.ProjectFindSection(kAnimation); s >= 0 && Ok(); s = mFile.ProjectFindSection(kAnimation, s))
        {
            if (!mFile.ProjectOpenSection(s))
            {
                mCorrupted = true;
                break;
            }
            ReadAnimation(true, place < listed.size() ? listed[place].ToChars() : nullptr);
            ++place;
            mFile.ProjectReadSectionEnd();
        }
    }
    // Shape channels the geometry has no shape for go (a Default take still
    // owed holds none: shapes added make it).
    for (KQoxNode* node : mNodes)
        if (KQoxGeometry* geometry = dynamic_cast<KQoxGeometry*>(node->GetNodeAttribute()))
            for (int t = 0; t < node->GetTakeNodeCount(); ++t)
                if (KQoxTakeNode* take = node->GetBuiltTakeNode(t))
                    geometry->CleanShapeChannels(take);
    return Ok();
}

// ---------------------------------------------------------------------------
// KQoxReaderQox

KQoxReaderQox::KQoxReaderQox(KQoxSdkManager& manager)
    : KQoxReader(manager)
{}

KQoxReaderQox::~KQoxReaderQox()
{
    FileClose();
}

// The field file's error as the reader's: the first six ids agree, and the
// file's text (which may name the cause) is kept.
bool KQoxReaderQox::FailFromFile()
{
    int code = mFile.GetLastErrorID();
    if (code < KQox::eFILE_CORRUPTED || code > KQox::eWRONG_PASSWORD)
        return Fail(eUNIDENTIFIED_ERROR);
    mError.SetLastError(code, mFile.GetLastErrorString());
    return false;
}

void KQoxReaderQox::ForgetTakes()
{
    mTakes.clear();
    mCurrentTake = "";
}

bool KQoxReaderQox::AfterOpen()
{
    if (!KQoxRead6::ReadTakeList(mFile, mTakes, mCurrentTake, nullptr))
    {
        mFile.ProjectClose();
        mTakes.clear();
        return Fail(eFILE_CORRUPTED);
    }
    return true;
}

bool KQoxReaderQox::OpenUnlessOutOfMemory(const std::function<bool()>& open)
{
    FileClose();
    ForgetTakes();
    mError.ClearLastError();
    bool finished = false; // false: memory ran out
    const bool opened = UnlessOutOfMemory([&] {
        const bool done = open();
        finished = true;
        return done;
    });
    if (!finished)
    {
        mFile.ProjectClose();
        ForgetTakes();
    }
    return opened;
}

bool KQoxReaderQox::FileOpen(const char* fileName)
{
    return OpenUnlessOutOfMemory([&] {
        // The whole file is verified by Read; opening reads the header and takes only.
        if (!mFile.ProjectOpen(fileName, mPassword.ToChars(), false))
            return FailFromFile();
        return AfterOpen();
    });
}

bool KQoxReaderQox::FileOpen(const void* buffer, unsigned int size)
{
    return OpenUnlessOutOfMemory([&] {
        if (!mFile.ProjectOpen(buffer, size, mPassword.ToChars(), false))
            return FailFromFile();
        return AfterOpen();
    });
}

bool KQoxReaderQox::FileClose()
{
    if (!mFile.ProjectIsOpen())
        return false;
    mFile.ProjectClose();
    return true;
}

bool KQoxReaderQox::IsFileOpen()
{
    return mFile.ProjectIsOpen() && !mFile.ProjectIsWriting();
}

KStreamOptions* KQoxReaderQox::GetReadOptions(bool)
{
    return new KStreamOptionsQox;
}

const KQoxTakeInfo* KQoxReaderQox::GetTakeInfo(int index) const
{
    if (index < 0 || index >= static_cast<int>(mTakes.size()))
        return nullptr;
    return mTakes[static_cast<size_t>(index)].get();
}

bool KQoxReaderQox::Read(KQoxScene& scene, KStreamOptions* options)
{
    // Everything made for the read is made within: memory running out
    // anywhere fails the read.
    return UnlessOutOfMemory([&] {
        const KStreamOptionsQox defaults;
        const KStreamOptionsQox* qoxOptions =
            KStreamOptionsQox::ForTransfer(*this, options, defaults, eFILE_NOT_OPENED, eSTREAM_OPTIONS_NOT_SET);
        if (!qoxOptions)
            return false;
        // What is read gathers apart and joins the scene once the read succeeded.
        KQoxFileScene content(mManager);
        content.mRoot = scene.GetRootNode();
        content.mSceneInfo = scene.GetSceneInfo();
        if (!ReadFileScene(content, *qoxOptions))
            return false;
        content.Apply(scene);
        return true;
    });
}

bool KQoxReaderQox::ReadFileScene(KQoxFileScene& scene, const KStreamOptionsQox& options)
{
    mFile.GetError().ClearLastError();

    KQoxRead6 r(mFile, scene, options);
    bool madeRoot = false;
    if (!scene.mRoot)
    {
        scene.mRoot = mManager.CreateKQoxNode("Scene");
        madeRoot = true;
    }
    // The check value is verified once the scene is read: the bytes read ran
    // through it as they passed, and nothing read joins the caller's scene
    // before it holds.
    bool finished = false; // false: memory ran out
    if (!UnlessOutOfMemory([&] {
            const bool read = r.ReadScene() && mFile.ProjectCheckIntegrity();
            finished = true;
            return read;
        }))
    {
        r.Destroy();
        if (madeRoot)
        {
            mManager.DestroyKQoxNode(scene.mRoot);
            scene.mRoot = nullptr;
        }
        return !finished ? false : Fail(eFILE_CORRUPTED);
    }
    // Media not extracted, and files kept that differ from their images. A
    // message that lost its text for want of memory fails the read rather
    // than hide them.
    mMessage += r.mOwnMediaFiles.Message().c_str();
    if (!mMessage.IsOK())
        throw std::bad_alloc();
    CheckDuplicateNodeNames(scene.mRoot, mMessage);
    return true;
}

bool KQoxReaderQox::ReadTakeFile(const char* fileName, KQoxScene& target)
{
    if (!FileOpen(fileName))
        return false;
    KQoxFileScene scene(mManager);
    scene.Gather(target);
    if (!mFile.ProjectCheckIntegrity())
        return Fail(eFILE_CORRUPTED);
    mFile.GetError().ClearLastError();
    KStreamOptionsQox options;
    KQoxRead6 r(mFile, scene, options);
    // What a failed read made stays in the scene: read as it always was.
    r.mSideBySideAllowed = false;
    // The take file refers to the scene's own objects, in the order the writer walks them.
    CollectNodesUnder(scene.mRoot, r.mNodes);
    r.mTextures = scene.mTextures;
    r.mVideos = scene.mVideos;
    r.mMaterials = scene.mMaterials;
    r.mGenericNodes = scene.mGenericNodes;
    int section = mFile.ProjectFindSection(kAnimation);
    const bool enough = UnlessOutOfMemory([&] {
        if (section >= 0 && mFile.ProjectOpenSection(section))
        {
            r.ReadAnimation(false, nullptr);
            mFile.ProjectReadSectionEnd();
        }
        return true;
    });
    // Checked again: bytes the file lost while it was read (cut short by
    // another program) read as zeros and show only here.
    const bool whole = mFile.ProjectCheckIntegrity();
    FileClose();
    if (!enough)
        return false;
    if (section < 0 || !r.Ok() || !whole)
        return Fail(eFILE_CORRUPTED);
    // Shape channels under their version-5 names join the geometry's own.
    for (KQoxNode* node : r.mNodes)
        if (KQoxGeometry* geometry = dynamic_cast<KQoxGeometry*>(node->GetNodeAttribute()))
            for (int t = 0; t < node->GetTakeNodeCount(); ++t)
                if (KQoxTakeNode* take = node->GetBuiltTakeNode(t))
                    if (r.mTakeRead == node->GetTakeNodeName(t))
                        geometry->CleanShapeChannels(take);
    // A take no description names gets one.
    if (!target.GetTakeInfo(KString(r.mTakeRead.ToChars())) && !r.mTakeRead.IsEmpty())
    {
        KQoxTakeInfo info;
        info.Name = r.mTakeRead;
        info.ImportName = r.mTakeRead;
        target.SetTakeInfo(info);
    }
    return true;
}

} // namespace qoxsdk_600
