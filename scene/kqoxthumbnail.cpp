#include "scene/kqoxthumbnail.h"

#include <cstring>

namespace qoxsdk_600 {

unsigned long KQoxThumbnailMembers::GetSizeInByte() const
{
    const unsigned long bytesPerPixel = mFormat == KQoxThumbnail::eRGB_24 ? 3 : 4;
    if (mSize == KQoxThumbnail::e64x64 || mSize == KQoxThumbnail::e128x128)
        return static_cast<unsigned long>(mSize) * static_cast<unsigned long>(mSize) * bytesPerPixel;
    return 0;
}

KQoxThumbnail::KQoxThumbnail()
    : mMembers(new KQoxThumbnailMembers)
{}

KQoxThumbnail::~KQoxThumbnail() = default;

KQoxThumbnail::EDataFormat KQoxThumbnail::GetDataFormat() const
{
    return mMembers->mFormat;
}

void KQoxThumbnail::SetDataFormat(EDataFormat pFormat)
{
    mMembers->mFormat = pFormat;
}

KQoxThumbnail::EImageSize KQoxThumbnail::GetSize() const
{
    return mMembers->mSize;
}

void KQoxThumbnail::SetSize(EImageSize pSize)
{
    mMembers->mImage.reset();
    mMembers->mImageLength = 0;
    mMembers->mSize = pSize;
    const unsigned long count = mMembers->GetSizeInByte();
    if (count > 0)
    {
        mMembers->mImage.reset(new unsigned char[count]);
        mMembers->mImageLength = count;
    }
}

unsigned long KQoxThumbnail::GetSizeInBytes() const
{
    // Callers read this many bytes from the image: never more than it holds.
    unsigned long count = mMembers->GetSizeInByte();
    return count < mMembers->mImageLength ? count : mMembers->mImageLength;
}

bool KQoxThumbnail::SetThumbnailImage(const unsigned char* pImage)
{
    if (mMembers->mSize == 0)
        return false;
    unsigned long count = GetSizeInBytes();
    if (count > 0 && pImage)
        memcpy(mMembers->mImage.get(), pImage, count);
    return true;
}

unsigned char* KQoxThumbnail::GetThumbnailImage() const
{
    return mMembers->mImage.get();
}

} // namespace qoxsdk_600
