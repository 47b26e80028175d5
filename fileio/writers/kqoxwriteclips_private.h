#ifndef QOX_FILEIO_WRITERS_KQOXWRITECLIPS_PRIVATE_H
#define QOX_FILEIO_WRITERS_KQOXWRITECLIPS_PRIVATE_H

// Video clips made for the textures of a scene for the length of one write,
// so that their files are embedded as media. The guard changes the caller's
// scene only while it lives and puts it back as it was on the way out. Not
// part of the library's interface.

#include <unordered_set>
#include <vector>

#include "base/kstring.h"

class KPlug;

namespace qoxsdk_600 {

class KQoxEntity;
class KQoxObject;
class KQoxScene;
class KQoxSdkManager;
class KQoxTexture;
class KQoxVideo;

// The scene's materials, textures and clips are connected to the objects
// that use them (KQoxScene::ConnectMaterials, ConnectTextures and
// ConnectVideos). A texture written with the scene whose file is a regular
// file and that has no clip (none connected, and no clip of the scene named
// by its media name) keeps the clip made for it: the clip is written after the
// scene's own, and the texture's media name names it. Every other clip made
// (for other textures, or for the gobos of lights) goes again at once. On
// the way out the clips, connections and entity entries made here go, and
// the textures get their names back, allocating nothing.
//
// Memory running out while the clips are made throws std::bad_alloc with
// the scene as it was; so does a name the connections lost for want of
// memory (a texture's or a kept clip's), which would be written otherwise.
class KQoxTextureClips
{
public:
    // textures and clips: those the write stores.
    KQoxTextureClips(KQoxScene& scene, KQoxSdkManager& manager, const std::vector<KQoxTexture*>& textures,
                     const std::vector<KQoxVideo*>& clips);
    ~KQoxTextureClips() { Undo(); }
    KQoxTextureClips(const KQoxTextureClips&) = delete;
    KQoxTextureClips& operator=(const KQoxTextureClips&) = delete;

    // The clips kept for the write, in the order they were made.
    const std::vector<KQoxVideo*>& GetClips() const { return mClips; }
    // The files of textures without a clip that were not found: their media
    // cannot be embedded.
    const std::vector<KString>& GetMissingFiles() const { return mMissingFiles; }
    // Whether a texture's file could not be opened for want of a file
    // descriptor: it is there, and the write cannot embed it.
    bool DescriptorsRanOut() const { return mDescriptorsRanOut; }

private:
    // What the connections may change: a texture's names, and the sources
    // of a plug.
    struct TextureNames
    {
        KQoxTexture* mTexture; // null once given back
        KString mFileName, mRelativeFileName, mMediaName;
    };
    struct Sources
    {
        KPlug* mPlug;
        std::vector<KPlug*> mSources;
    };
    // The objects an entity listed before, by kind (material, texture, clip).
    struct Listed
    {
        KQoxEntity* mEntity;
        std::unordered_set<KQoxObject*> mObjects[3];
    };
    // The constructor's work: records what may change, then connects.
    void Make(const std::vector<KQoxTexture*>& textures, const std::vector<KQoxVideo*>& clips);
    void Record(KQoxEntity* entity);
    // std::bad_alloc when a texture or a clip made for it lost a name.
    void ExpectNames() const;
    // Gives the texture its names back (once), moving them: allocates nothing.
    static void Restore(TextureNames& names);
    // Takes a clip made here out of every entity and connection, and
    // destroys it, allocating nothing.
    void DropClip(KQoxVideo* clip);
    // Puts the scene back as it was, allocating nothing.
    void Undo();

    KQoxScene& mScene;
    KQoxSdkManager& mManager;
    bool mConnected = false;                // the scene may differ from what was recorded
    std::unordered_set<KQoxVideo*> mBefore; // the manager's clips before
    std::vector<KQoxVideo*> mClips;
    std::vector<KString> mMissingFiles;
    bool mDescriptorsRanOut = false;
    std::vector<TextureNames> mNames;
    std::vector<Sources> mSources;
    std::vector<Listed> mListed;
};

} // namespace qoxsdk_600

#endif
