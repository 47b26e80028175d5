// Native writers: video clips made for textures for the length of a write.

#include "fileio/writers/kqoxwriteclips_private.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <unordered_set>

#include "base/kfile.h"
#include "base/kfilecause.h"
#include "object/kplug.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxpropertybinding.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

enum
{
    kMaterials,
    kTextures,
    kClips
};

int Count(KQoxEntity& entity, int kind)
{
    switch (kind)
    {
    case kMaterials: return entity.GetMaterialCount();
    case kTextures: return entity.GetTextureCount();
    default: return entity.GetVideoCount();
    }
}

KQoxObject* At(KQoxEntity& entity, int kind, int index)
{
    switch (kind)
    {
    case kMaterials: return entity.GetMaterial(index);
    case kTextures: return entity.GetTexture(index);
    default: return entity.GetVideo(index);
    }
}

bool Lists(KQoxEntity& entity, int kind, KQoxObject* object)
{
    for (int i = 0; i < Count(entity, kind); ++i)
        if (At(entity, kind, i) == object)
            return true;
    return false;
}

// Takes the object out of the entity whatever its reference count.
void Unlist(KQoxEntity& entity, int kind, KQoxObject* object)
{
    while (Lists(entity, kind, object))
    {
        if (kind == kMaterials)
            entity.RemoveMaterial(object);
        else if (kind == kTextures)
            entity.RemoveTexture(object);
        else
            entity.RemoveVideo(object);
    }
}

bool SameText(const char* a, const char* b)
{
    return std::strcmp(a ? a : "", b ? b : "") == 0;
}

// Whether the texture has a clip already: one connected, or one of the
// clips written named by its media name.
bool HasClip(KQoxTexture& texture, const std::vector<KQoxVideo*>& clips)
{
    if (texture.GetVideo())
        return true;
    const char* media = texture.GetMediaName();
    if (!media || !*media)
        return false;
    for (KQoxVideo* clip : clips)
        if (SameText(clip->GetName(), media) ||
            SameText(KQoxWholeText(clip->GetNameWithoutNameSpacePrefix()).ToChars(), media))
            return true;
    return false;
}

// The texture a clip was made for: the first texture among its users.
KQoxTexture* TextureOf(KQoxVideo* clip)
{
    KPlug* plug = clip->GetPropertyHandler();
    for (int i = 0; plug && i < plug->GetDstCount(); ++i)
    {
        KQoxObject* user = GetKQoxObjectOfPlug(plug->GetDst(i));
        if (user && user->GetNameSpace() == KQoxObject::eTEXTURE)
            return static_cast<KQoxTexture*>(user);
    }
    return nullptr;
}

} // namespace

KQoxTextureClips::KQoxTextureClips(KQoxScene& scene, KQoxSdkManager& manager, const std::vector<KQoxTexture*>& textures,
                                   const std::vector<KQoxVideo*>& clips)
    : mScene(scene)
    , mManager(manager)
{
    try
    {
        Make(textures, clips);
    }
    catch (...)
    {
        // No destructor runs for an object never made.
        Undo();
        throw;
    }
}

void KQoxTextureClips::Make(const std::vector<KQoxTexture*>& textures, const std::vector<KQoxVideo*>& clips)
{
    // The textures that get a clip of their own.
    std::unordered_set<KQoxTexture*> embedded;
    for (KQoxTexture* texture : textures)
    {
        const char* file = texture->GetFileName();
        if (!file || !*file || HasClip(*texture, clips))
            continue;
        // A folder, device or FIFO is no image: it is not found.
        if (RegularFileExist(file))
            embedded.insert(texture);
        else if (KOutOfDescriptors(errno))
            mDescriptorsRanOut = true;
        else
            mMissingFiles.push_back(KQoxWholeText(KString(file)));
    }
    if (embedded.empty())
        return;

    // What the connections may change, to put back: every record is made
    // before the scene changes.
    std::unordered_set<KQoxTexture*> named;
    auto recordNames = [&](KQoxTexture* texture) {
        if (!texture || !named.insert(texture).second)
            return;
        mNames.push_back({texture, texture->GetFileName(), texture->GetRelativeFileName(), texture->GetMediaName()});
        const TextureNames& names = mNames.back();
        for (const KString* name : {&names.mFileName, &names.mRelativeFileName, &names.mMediaName})
            KQoxWholeText(*name);
    };
    for (KQoxTexture* texture : textures)
        recordNames(texture);
    KQoxEntity* entity = mScene.GetEntity();
    for (int i = 0; i < entity->GetTextureCount(); ++i)
        recordNames(dynamic_cast<KQoxTexture*>(entity->GetTexture(i)));
    for (int i = 0; i < entity->GetNodeCount(); ++i)
        if (KQoxNode* node = entity->GetNode(i))
            if (KPlug* plug = node->GetPropertyHandler())
            {
                mSources.push_back({plug, {}});
                for (int s = 0; s < plug->GetSrcCount(); ++s)
                    mSources.back().mSources.push_back(plug->GetSrc(s));
            }
    // Clips go to the entity of the node that uses them: the scene's, or
    // that of any node of the manager whose light has a gobo.
    Record(entity);
    for (int i = 0; i < mManager.GetKQoxNodeCount(); ++i)
        if (KQoxNode* node = mManager.GetKQoxNode(i))
            Record(node->GetEntity());
    for (int i = 0; i < mManager.GetKQoxVideoCount(); ++i)
        mBefore.insert(mManager.GetKQoxVideo(i));

    mConnected = true;
    mScene.ConnectMaterials();
    mScene.ConnectTextures();
    mScene.ConnectVideos();
    ExpectNames();

    std::vector<KQoxVideo*> made;
    for (int i = 0; i < mManager.GetKQoxVideoCount(); ++i)
        if (!mBefore.count(mManager.GetKQoxVideo(i)))
            made.push_back(mManager.GetKQoxVideo(i));
    std::unordered_set<KQoxTexture*> kept;
    for (KQoxVideo* clip : made)
    {
        KQoxTexture* texture = TextureOf(clip);
        bool keep = texture && embedded.count(texture) && !kept.count(texture);
        // A clip of the same name as one written would be ambiguous.
        for (KQoxVideo* other : clips)
            keep = keep && !SameText(other->GetName(), clip->GetName());
        for (KQoxVideo* other : mClips)
            keep = keep && !SameText(other->GetName(), clip->GetName());
        if (keep)
        {
            mClips.push_back(clip);
            kept.insert(texture);
        }
        else
            DropClip(clip);
    }
    // A texture whose clip went keeps its own names in the file.
    for (TextureNames& names : mNames)
        if (!kept.count(names.mTexture))
            Restore(names);
}

void KQoxTextureClips::ExpectNames() const
{
    for (const TextureNames& names : mNames)
    {
        KQoxTexture& texture = *names.mTexture;
        // A clip made here gives the texture its own names and its name as
        // media name; any other texture keeps its names.
        KQoxVideo* clip = texture.GetVideo();
        const bool made = clip && !mBefore.count(clip);
        bool whole = SameText(texture.GetFileName(), names.mFileName) &&
                     SameText(texture.GetRelativeFileName(), names.mRelativeFileName) &&
                     SameText(texture.GetMediaName(), made ? clip->GetName() : names.mMediaName.ToChars());
        if (made)
            whole = whole && *clip->GetName() && SameText(clip->GetFileName(), names.mFileName) &&
                    SameText(clip->GetRelativeFileName(), names.mRelativeFileName);
        if (!whole)
            throw std::bad_alloc();
    }
}

void KQoxTextureClips::Restore(TextureNames& names)
{
    KQoxTexture* texture = names.mTexture;
    if (!texture)
        return;
    // Moved, not copied: the texture's connected clip, if any, is one it had
    // before, whose names these are.
    if (!SameText(texture->mFileName, names.mFileName))
        texture->mFileName = std::move(names.mFileName);
    if (!SameText(texture->mRelativeFileName, names.mRelativeFileName))
        texture->mRelativeFileName = std::move(names.mRelativeFileName);
    if (!SameText(texture->mMediaName, names.mMediaName))
        texture->mMediaName = std::move(names.mMediaName);
    names.mTexture = nullptr;
}

void KQoxTextureClips::Record(KQoxEntity* entity)
{
    if (!entity)
        return;
    for (const Listed& listed : mListed)
        if (listed.mEntity == entity)
            return;
    mListed.push_back({entity, {}});
    for (int kind : {kMaterials, kTextures, kClips})
        for (int i = 0; i < Count(*entity, kind); ++i)
            mListed.back().mObjects[kind].insert(At(*entity, kind, i));
}

void KQoxTextureClips::DropClip(KQoxVideo* clip)
{
    for (const Listed& listed : mListed)
        Unlist(*listed.mEntity, kClips, clip);
    if (KPlug* plug = clip->GetPropertyHandler())
    {
        plug->DisconnectAllDst();
        plug->DisconnectAllSrc();
    }
    mManager.DestroyKQoxVideo(clip);
}

void KQoxTextureClips::Undo()
{
    if (!mConnected)
        return;
    mConnected = false;
    mClips.clear();
    // Every clip made here, kept or not yet dropped.
    for (int i = mManager.GetKQoxVideoCount() - 1; i >= 0; --i)
    {
        KQoxVideo* clip = mManager.GetKQoxVideo(i);
        if (clip && !mBefore.count(clip))
            DropClip(clip);
    }
    // Materials and textures connected to the nodes that use them.
    for (const Sources& sources : mSources)
        for (int s = sources.mPlug->GetSrcCount() - 1; s >= 0; --s)
        {
            KPlug* source = sources.mPlug->GetSrc(s);
            if (std::find(sources.mSources.begin(), sources.mSources.end(), source) == sources.mSources.end())
                sources.mPlug->DisconnectSrc(source);
        }
    // What the entities listed on connection.
    for (const Listed& listed : mListed)
        for (int kind : {kMaterials, kTextures, kClips})
            for (int i = Count(*listed.mEntity, kind) - 1; i >= 0; --i)
            {
                KQoxObject* object = At(*listed.mEntity, kind, i);
                if (!listed.mObjects[kind].count(object))
                    Unlist(*listed.mEntity, kind, object);
            }
    for (TextureNames& names : mNames)
        Restore(names);
}

} // namespace qoxsdk_600
