#include "scene/kqoxthumbnail.h"

#include <cstring>

namespace qoxsdk_600 {

// The image array keeps the length it was allocated with, so a format changed
// after SetSize can never make a copy run past it.
struct KQoxThumbnail::Members
{
    KQoxThumbnail::EDataFormat mFormat = 0;
    KQoxThumbnail::EImageSize mSize = 0;
    std::unique_ptr<unsigned char[]> mImage;
    unsigned long mImageLength = 0;

    unsigned long GetSizeInByte() const
    {
        const unsigned long bytesPerPixel = mFormat == KQoxThumbnail::eRGB_24 ? 3 : 4;
        if (mSize == KQoxThumbnail::e64x64 || mSize == KQoxThumbnail::e128x128)
            return static_cast<unsigned long>(mSize) * static_cast<unsigned long>(mSize) * bytesPerPixel;
        return 0;
    }
};

KQoxThumbnail::KQoxThumbnail()
    : mMembers(new Members)
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
