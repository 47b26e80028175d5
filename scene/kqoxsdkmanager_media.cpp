// The SDK manager's textures, video clips and image converters.

#include "scene/attributes/kqoximageconverter.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

KQoxTexture* KQoxSdkManager::CreateKQoxTexture(const char* pName)
{
    KString name = PrefixName("Texture::", pName);
    return AddCreated<KQoxTexture, true>(mTextures, AllocateKQoxTexture(name), mTextureRenamingStrategy);
}

KQoxVideo* KQoxSdkManager::CreateKQoxVideo(const char* pName)
{
    KString name = PrefixName("Video::", pName);
    return AddCreated<KQoxVideo, true>(mVideos, AllocateKQoxVideo(name), mVideoRenamingStrategy);
}

KQoxImageConverter* KQoxSdkManager::CreateKQoxImageConverter()
{
    return AddCreated(mImageConverters, AllocateKQoxImageConverter());
}

KQoxTexture* KQoxSdkManager::AllocateKQoxTexture(const char* pName)
{
    return new KQoxTexture(*this, pName);
}

KQoxVideo* KQoxSdkManager::AllocateKQoxVideo(const char* pName)
{
    return new KQoxVideo(*this, pName);
}

KQoxImageConverter* KQoxSdkManager::AllocateKQoxImageConverter()
{
    return new KQoxImageConverter(*this);
}

bool KQoxSdkManager::DestroyKQoxTexture(KQoxTexture* pTexture)
{
    return DestroyUnlisted(mTextures, pTexture);
}

bool KQoxSdkManager::DestroyKQoxVideo(KQoxVideo* pVideo)
{
    return DestroyUnlisted(mVideos, pVideo);
}

bool KQoxSdkManager::DestroyKQoxImageConverter(KQoxImageConverter* pConverter)
{
    return DestroyListed(mImageConverters, pConverter);
}

KQoxTexture* KQoxSdkManager::FindKQoxTexture(const char* pName, int pIndex)
{
    return FindNamed(mTextures, "Texture::", pName, pIndex);
}

KQoxVideo* KQoxSdkManager::FindKQoxVideo(const char* pName, int pIndex)
{
    return FindNamed(mVideos, "Video::", pName, pIndex);
}

} // namespace qoxsdk_600
