#ifndef QOX_FILEIO_WRITERS_KQOXWRITECLIPS_PRIVATE_H
#define QOX_FILEIO_WRITERS_KQOXWRITECLIPS_PRIVATE_H

// Video clips made for the textures of a scene for the length of one write,
// so that their files are embedded as media. The guard changes the caller's
// scene only while it lives and puts it back as it was on the way out. Not
// part of the library's interface.

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
// the textures get their names back.
class KQoxTextureClips
{
public:
    // textures and clips: those the write stores.
    KQoxTextureClips(KQoxScene& scene, KQoxSdkManager& manager, const std::vector<KQoxTexture*>& textures,
                     const std::vector<KQoxVideo*>& clips);
    ~KQoxTextureClips();
    KQoxTextureClips(const KQoxTextureClips&) = delete;
    KQoxTextureClips& operator=(const KQoxTextureClips&) = delete;

    // The clips kept for the write, in the order they were made.
    const std::vector<KQoxVideo*>& GetClips() const { return mClips; }
    // The files of textures without a clip that were not found: their media
    // cannot be embedded.
    const std::vector<KString>& GetMissingFiles() const { return mMissingFiles; }

private:
    // What the connections may change: a texture's names, and the sources
    // of a plug.
    struct TextureNames
    {
        KQoxTexture* mTexture;
        KString mFileName, mRelativeFileName, mMediaName;
        void Restore() const; // gives the texture these names back
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
        std::vector<KQoxObject*> mObjects[3];
    };
    void Record(KQoxEntity* entity);
    // Takes a clip made here out of every entity and connection, and destroys it.
    void DropClip(KQoxVideo* clip);

    KQoxScene& mScene;
    KQoxSdkManager& mManager;
    std::vector<KQoxVideo*> mClips;
    std::vector<KString> mMissingFiles;
    std::vector<TextureNames> mNames;
    std::vector<Sources> mSources;
    std::vector<Listed> mListed;
};

} // namespace qoxsdk_600

#endif
