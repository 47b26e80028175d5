#include "fileio/writers/kqoxwriterqox6.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "base/kfilecause.h"
#include "fileio/kqoxfilescene.h"
#include "fileio/kqoxnative_private.h"
#include "fileio/writers/kqoxwriteclips_private.h"
#include "fileio/writers/kqoxwriteskin_private.h"
#include "fileio/writers/kqoxwriterqox6_private.h"
#include "scene/attributes/kqoxgenericnode.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxthumbnail.h"
#include "scene/kqoxuserproperty.h"
#include "object/kproperty.h"

namespace qoxsdk_600 {

using namespace qoxnative;

// ---------------------------------------------------------------------------
// Helpers

void KQoxWrite6::Int(const char* name, int value)
{
    mFile.FieldWriteBegin(name);
    mFile.FieldWriteI(value);
    mFile.FieldWriteEnd();
}

void KQoxWrite6::Double(const char* name, double value)
{
    mFile.FieldWriteBegin(name);
    mFile.FieldWriteD(value);
    mFile.FieldWriteEnd();
}

void KQoxWrite6::Text(const char* name, const char* value)
{
    mFile.FieldWriteBegin(name);
    mFile.FieldWriteC(value);
    mFile.FieldWriteEnd();
}

void KQoxWrite6::Doubles(const char* name, const double* values, int count)
{
    mFile.FieldWriteBegin(name);
    for (int i = 0; i < count; ++i)
        mFile.FieldWriteD(values[i]);
    mFile.FieldWriteEnd();
}

namespace {

// Properties added to an object at run time; the object's own table comes
// back with the object.
bool IsAddedProperty(KQoxUserProperty* property)
{
    return property && (!property->GetKProperty() || property->GetKProperty()->IsDynamic());
}

// Calls write(wrapper) for each property added to the object at run time, in
// the object's order. Wrappers the object has put off are not made for it:
// each added one is stood in for by a wrapper of the same property (a wrapper
// answers from its property alone), and the rows of its table, never added,
// stay unmade.
template <class Write>
void EachAddedProperty(KQoxObject& object, Write write)
{
    const int pending = object.GetPendingPropertyCount();
    if (pending == 0)
    {
        for (int i = 0; i < object.GetPropertyCount(); ++i)
            if (IsAddedProperty(object.GetProperty(i)))
                write(object.GetProperty(i));
        return;
    }
    KQoxPropertyHandler* handler = object.GetPropertyHandler();
    for (int i = 0; i < pending; ++i)
    {
        if (!(handler->ReadPropertyInfoAt(i).GetFlags() & KPropertyInfo::eDynamic))
            continue;
        KQoxUserProperty standIn(object.GetSdkManager(), handler->GetProperty(i));
        write(&standIn);
    }
}

} // namespace

void KQoxWrite6::UserProperties(KQoxObject& object)
{
    int added = 0;
    EachAddedProperty(object, [&added](KQoxUserProperty*) { ++added; });
    if (added == 0)
        return;
    mFile.FieldWriteBegin(kUserProperties);
    mFile.FieldWriteBlockBegin();
    EachAddedProperty(object, [this](KQoxUserProperty* property) {
        int flags = 0;
        for (int bit : {KQoxUserProperty::eANIMATABLE, KQoxUserProperty::eUSER, KQoxUserProperty::eTEMPORARY})
            if (property->GetFlag(bit))
                flags |= bit;
        const char* type = KQoxUserProperty::GetPropertyTypeName(property->GetPropertyType());
        mFile.FieldWriteBegin(kUserProperty);
        mFile.FieldWriteC(property->GetName().ToChars());
        mFile.FieldWriteC(type ? type : "");
        mFile.FieldWriteC(property->GetLabel(false).ToChars());
        mFile.FieldWriteI(flags);
        mFile.FieldWriteD(property->GetMinLimit());
        mFile.FieldWriteD(property->GetMaxLimit());
        mFile.FieldWriteEnd();
    });
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

void KQoxWrite6::UserPropertyValues(KQoxObject& object)
{
    bool any = false;
    EachAddedProperty(object, [&any](KQoxUserProperty*) { any = true; });
    if (!any)
        return;
    mFile.FieldWriteBegin(kProperties);
    mFile.FieldWriteBlockBegin();
    EachAddedProperty(object, [this](KQoxUserProperty* property) {
        if (KProperty* value = property->GetKProperty())
            mFile.FieldWriteProperty(*value);
    });
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

void KQoxWrite6::ObjectHeader(KQoxObject& object, KObject* properties, int version)
{
    Int(kVersion, version);
    UserProperties(object);
    if (properties)
        mFile.FieldWritePropertiesList(*properties);
}

void KQoxWrite6::Thumbnail(KQoxThumbnail* thumbnail)
{
    if (!thumbnail || thumbnail->GetSize() == KQoxThumbnail::eNOT_SET || !thumbnail->GetThumbnailImage())
        return;
    mFile.FieldWriteBegin(kThumbnail);
    mFile.FieldWriteBlockBegin();
    // The format first: the size's byte count depends on it.
    Int(kThumbnailFormat, thumbnail->GetDataFormat());
    Int(kThumbnailSize, thumbnail->GetSize());
    mFile.FieldWriteBegin(kThumbnailImage);
    mFile.FieldWriteArrayB(thumbnail->GetThumbnailImage(), static_cast<unsigned int>(thumbnail->GetSizeInBytes()));
    mFile.FieldWriteEnd();
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

std::vector<KQoxTakeNodeContainer*> KQoxWrite6::Containers()
{
    std::vector<KQoxTakeNodeContainer*> containers(mNodes.begin(), mNodes.end());
    containers.insert(containers.end(), mScene.mTextures.begin(), mScene.mTextures.end());
    containers.insert(containers.end(), mScene.mVideos.begin(), mScene.mVideos.end());
    containers.insert(containers.end(), mScene.mMaterials.begin(), mScene.mMaterials.end());
    containers.insert(containers.end(), mScene.mGenericNodes.begin(), mScene.mGenericNodes.end());
    if (mScene.mCameraSwitcher && mOptions.GetState(KStreamOptionsQox::eGLOBAL_SETTINGS))
        containers.push_back(mScene.mCameraSwitcher);
    return containers;
}

std::vector<KString> KQoxWrite6::TakeNames()
{
    std::vector<KString> names;
    std::unordered_set<std::string> seen;
    seen.insert("Default");
    auto add = [&](const char* name) {
        if (seen.insert(name).second)
            names.push_back(KString(name));
    };
    for (const std::unique_ptr<KQoxTakeInfo>& info : mScene.mTakeInfos)
        add(info->Name.ToChars());
    for (KQoxTakeNodeContainer* container : Containers())
        for (int i = 0; i < container->GetTakeNodeCount(); ++i)
            add(container->GetTakeNodeName(i));
    return names;
}

// ---------------------------------------------------------------------------
// KQoxWriterQox6

namespace {

// "File not created" as the file's failure to be made or moved gave it, with
// the cause it names.
void TakeNotCreated(KError& error, const IQoxObject& file)
{
    if (file.GetLastErrorID() == KQox::eFILE_NOT_CREATED)
        error.SetLastError(KQoxWriter::eFILE_NOT_CREATED, file.GetLastErrorString());
    else
        error.SetLastErrorID(KQoxWriter::eFILE_NOT_CREATED);
}

} // namespace

KQoxWriterQox6::KQoxWriterQox6(KQoxSdkManager& manager, KQox::EForm form)
    : KQoxWriter(manager)
    , mForm(form)
{}

KQoxWriterQox6::~KQoxWriterQox6()
{
    // A file never closed is dropped, never left half-written under its name.
    if (mFile)
        mFile->ProjectAbandon();
}

bool KQoxWriterQox6::FileCreate(const char* fileName)
{
    return UnlessOutOfMemory([&] { return CreateFile(fileName); }, [&] { AbandonFile(); });
}

bool KQoxWriterQox6::CreateFile(const char* fileName)
{
    if (mFile)
        mFile->ProjectAbandon();
    mFile.reset(new IQoxObject);
    if (!mFile->ProjectCreateSafe(fileName, mForm, mFileVersion, mPassword.ToChars()))
    {
        TakeNotCreated(mError, *mFile);
        mFile.reset();
        return false;
    }
    mFile->FieldWriteBegin(kCreator);
    mFile->FieldWriteC(kCreatorText);
    mFile->FieldWriteEnd();
    return true;
}

bool KQoxWriterQox6::FileClose()
{
    // Out of memory before the file is put (the commit allocates nothing
    // after), the old file stays.
    return UnlessOutOfMemory([&] { return CloseFile(); }, [&] { AbandonFile(); });
}

bool KQoxWriterQox6::CloseFile()
{
    if (!mFile)
        return Fail(eFILE_NOT_OPENED);
    bool ok = mFile->ProjectCloseSafe();
    if (!ok)
    {
        if (mFile->GetLastErrorID() == KQox::eNO_SPACE_LEFT)
            mError.SetLastErrorID(eOUT_OF_DISK_SPACE);
        else
            TakeNotCreated(mError, *mFile);
    }
    mFile.reset();
    return ok;
}

bool KQoxWriterQox6::IsFileOpen()
{
    return mFile && mFile->ProjectIsWriting();
}

KStreamOptions* KQoxWriterQox6::GetWriteOptions()
{
    return new KStreamOptionsQox;
}

namespace {

void WriteDefinitions(KQoxWrite6& w)
{
    w.mFile.ProjectWriteSectionBegin(kDefinitions, w.SectionVersion(kDefinitionsVersion));
    const std::pair<const char*, size_t> kinds[] = {{kMaterial, w.mScene.mMaterials.size()},
                                                    {kTexture, w.mScene.mTextures.size()},
                                                    {kVideo, w.mScene.mVideos.size()},
                                                    {kModel, w.mNodes.size()}};
    for (const auto& kind : kinds)
    {
        if (kind.second == 0)
            continue;
        w.mFile.FieldWriteBegin(kObjectType);
        w.mFile.FieldWriteC(kind.first);
        w.mFile.FieldWriteBlockBegin();
        w.Int(kCount, static_cast<int>(kind.second));
        w.mFile.FieldWriteBlockEnd();
        w.mFile.FieldWriteEnd();
    }
    w.mFile.ProjectWriteSectionEnd();
}

void WriteConnections(KQoxWrite6& w)
{
    // Node indices are positions in the objects section; -1 is the root.
    std::unordered_map<KQoxNode*, int> index;
    for (size_t i = 0; i < w.mNodes.size(); ++i)
        index[w.mNodes[i]] = static_cast<int>(i);
    w.mFile.ProjectWriteSectionBegin(kConnections, w.SectionVersion(kConnectionsVersion));
    for (size_t i = 0; i < w.mNodes.size(); ++i)
    {
        auto parent = index.find(w.mNodes[i]->GetParent());
        w.mFile.FieldWriteBegin(kConnect);
        w.mFile.FieldWriteC(kObjectObject);
        w.mFile.FieldWriteI(static_cast<int>(i));
        w.mFile.FieldWriteI(parent == index.end() ? -1 : parent->second);
        w.mFile.FieldWriteEnd();
    }
    w.WriteTargetConnections();
    w.WriteDeformerConnections();
    w.mFile.ProjectWriteSectionEnd();
}

} // namespace

bool KQoxWriterQox6::Write(KQoxScene& scene, KStreamOptions* options)
{
    return UnlessOutOfMemory([&] { return WriteScene(scene, options); }, [&] { AbandonFile(); });
}

void KQoxWriterQox6::AbandonFile()
{
    // Memory ran out: the write fails as a full disk would, nothing of it
    // left and the old file as it was.
    if (mFile)
        mFile->ProjectAbandon();
    mFile.reset();
}

bool KQoxWriterQox6::WriteScene(KQoxScene& scene, KStreamOptions* options)
{
    const KStreamOptionsQox defaults;
    const KStreamOptionsQox* qoxOptions =
        KStreamOptionsQox::ForTransfer(*this, options, defaults, eFILE_NOT_OPENED, eSTREAM_OPTIONS_NOT_SET);
    if (!qoxOptions)
        return false;
    KQoxNode* root = FindRootNode(scene);
    // Version 6 keeps skinning as skin and cluster deformers: the scene's
    // deformers and links are brought to one form for the write only.
    std::unique_ptr<KQoxSkinAsLinks> links;
    std::unique_ptr<KQoxSkinAsDeformers> deformers;
    if (mFileVersion >= KQox::eVERSION_6)
    {
        links.reset(new KQoxSkinAsLinks(scene, mManager, GeometriesUnder(root)));
        deformers.reset(new KQoxSkinAsDeformers(scene, mManager));
    }
    std::unique_ptr<KQoxTextureClips> clips; // outlives the content that lists its clips
    KQoxFileScene content(mManager);
    content.Gather(scene);
    content.mRoot = root;
    mMessage = "";
    ReportLeftOut(scene, deformers ? deformers->GetLinksWithoutNode() : 0, mMessage);
    // Texture files are embedded as the media of clips made for the write,
    // in both versions: the version-5 layout carries clips as version 6 does.
    if (qoxOptions->GetState(KStreamOptionsQox::eMEDIA) && qoxOptions->GetState(KStreamOptionsQox::eTEXTURE))
    {
        clips.reset(new KQoxTextureClips(scene, mManager, content.mTextures, content.mVideos));
        content.mVideos.insert(content.mVideos.end(), clips->GetClips().begin(), clips->GetClips().end());
        for (const KString& file : clips->GetMissingFiles())
        {
            mMessage += "Texture file not found, its media is not embedded: ";
            mMessage += KEscapeControls(file.ToChars()).c_str();
            mMessage += "\n";
        }
    }
    mSkins = deformers ? &deformers->GetSkins() : nullptr;
    mPosesTooDeep = 0;
    mTargetsLeftOut = 0;
    mDescriptorsRanOut = clips && clips->DescriptorsRanOut();
    bool ok = !mDescriptorsRanOut && WriteFileScene(content, *qoxOptions);
    mSkins = nullptr;
    if (mPosesTooDeep > 0)
    {
        mMessage += "Left out of the file, not stored yet: ";
        mMessage += mPosesTooDeep;
        mMessage += " character poses nested too deep\n";
    }
    if (mTargetsLeftOut > 0)
    {
        mMessage += "Left out of the file, not stored yet: ";
        mMessage += mTargetsLeftOut;
        mMessage += " look-at and up-vector targets that are not other nodes of the file\n";
    }
    // A message that lost its text for want of memory would say nothing.
    if (!mMessage.IsOK())
        throw std::bad_alloc();
    // An image that is there but could not be opened fails the save as a
    // file that could not be made would: the old file stays.
    if (mDescriptorsRanOut)
    {
        mError.SetLastErrorCause(eFILE_NOT_CREATED, KFileErrorCause(EMFILE));
        return false;
    }
    return ok;
}

bool KQoxWriterQox6::WriteFileScene(KQoxFileScene& scene, const KStreamOptionsQox& options)
{
    KQoxWrite6 w(*mFile, scene, options);
    w.mVersion5 = mFileVersion < KQox::eVERSION_6;
    if (options.GetState(KStreamOptionsQox::eMODEL))
        CollectNodesUnder(scene.mRoot, w.mNodes);
    w.mSkins = mSkins;
    // A pose's scene goes in the pose's block, laid out as a whole file is
    // (its skinning as links: nothing brings it to deformers).
    w.mWriteNested = [this, &options](KQoxScene& nested) {
        const std::vector<KQoxWrittenSkin>* skins = mSkins;
        mSkins = nullptr;
        ++mNestedDepth;
        KQoxFileScene content(mManager);
        content.Gather(nested);
        WriteFileScene(content, options);
        --mNestedDepth;
        mSkins = skins;
    };
    // Readers refuse scenes nested deeper: such poses are left out, and said so.
    w.mNestedAllowed = mNestedDepth + 1 < kMaxNestedScenes;

    WriteDefinitions(w);
    mFile->ProjectWriteSectionBegin(kObjects, w.SectionVersion(kObjectsVersion));
    // Shading objects first: the nodes' geometry refers to them by position.
    if (options.GetState(KStreamOptionsQox::eMATERIAL))
        for (size_t i = 0; i < scene.mMaterials.size(); ++i)
        {
            w.mMaterialIndex[scene.mMaterials[i]] = static_cast<int>(i);
            w.WriteMaterial(*scene.mMaterials[i]);
        }
    if (options.GetState(KStreamOptionsQox::eTEXTURE))
    {
        for (size_t i = 0; i < scene.mTextures.size(); ++i)
        {
            w.mTextureIndex[scene.mTextures[i]] = static_cast<int>(i);
            w.WriteTexture(*scene.mTextures[i]);
        }
        for (KQoxVideo* video : scene.mVideos)
            w.WriteVideo(*video);
    }
    for (size_t i = 0; i < w.mNodes.size(); ++i)
        w.mNodeIndex[w.mNodes[i]] = static_cast<int>(i);
    for (KQoxNode* node : w.mNodes)
        w.WriteNode(*node);
    if (options.GetState(KStreamOptionsQox::eMODEL))
    {
        for (KQoxGenericNode* generic : scene.mGenericNodes)
            w.WriteGenericNode(*generic);
        w.WriteDeformers();
    }
    if (options.GetState(KStreamOptionsQox::eCHARACTER))
        for (KQoxPose* pose : scene.mPoses)
            w.WritePose(*pose);
    if (options.GetState(KStreamOptionsQox::eCHARACTER))
    {
        for (const KQoxFileCharacter& character : scene.mCharacters)
            w.WriteCharacter(character);
        for (KQoxControlSetPlug* plug : scene.mScenePlugs)
            w.WriteControlSetPlug(*plug);
        for (KQoxCharacterPose* pose : scene.mSceneCharacterPoses)
        {
            if (w.mNestedAllowed)
                w.WriteCharacterPose(*pose);
            else
                ++mPosesTooDeep;
        }
    }
    if (options.GetState(KStreamOptionsQox::eGLOBAL_SETTINGS))
    {
        w.WriteSceneInfo();
        w.WriteGlobalSettings();
        w.WriteGlobalCameraSettings();
        w.WriteCameraSwitcher();
    }
    mFile->ProjectWriteSectionEnd();
    WriteConnections(w);
    mTargetsLeftOut += w.mTargetsLeftOut;
    mDescriptorsRanOut = mDescriptorsRanOut || w.mDescriptorsRanOut;
    w.WriteTakes();
    if (options.GetState(KStreamOptionsQox::eANIMATION))
        for (const KString& take : w.TakeNames())
            w.WriteAnimation(take.ToChars());

    if (mFile->GetLastErrorID() == KQox::eNO_SPACE_LEFT)
        return Fail(eOUT_OF_DISK_SPACE);
    return true;
}

bool KQoxWriterQox6::WriteTakeFile(const char* fileName, KQoxScene& scene, const char* takeName)
{
    return UnlessOutOfMemory([&] { return WriteTake(fileName, scene, takeName); }, [&] { AbandonFile(); });
}

bool KQoxWriterQox6::WriteTake(const char* fileName, KQoxScene& scene, const char* takeName)
{
    if (!FileCreate(fileName))
        return false;
    KStreamOptionsQox options;
    KQoxFileScene content(mManager);
    content.Gather(scene);
    KQoxWrite6 w(*mFile, content, options);
    w.mVersion5 = mFileVersion < KQox::eVERSION_6;
    CollectNodesUnder(FindRootNode(scene), w.mNodes);
    w.WriteAnimation(takeName ? takeName : "");
    return FileClose();
}

} // namespace qoxsdk_600
