#ifndef QOX_SCENE_KQOXTHUMBNAIL_H
#define QOX_SCENE_KQOXTHUMBNAIL_H

// KQoxThumbnail: a small preview image of a scene or a take. The data format
// (0: three bytes per pixel, any other: four) must be set before the size,
// which allocates the pixel array. Made and destroyed by the SDK manager.

#include <memory>

namespace qoxsdk_600 {

// The state of a thumbnail: data format, size code and the pixel array. The
// array keeps the length it was allocated with, so a format changed after
// the size can never make a copy run past it.
struct KQoxThumbnailMembers
{
    int mFormat = 0; // 0: three bytes per pixel; any other value: four
    int mSize = 0;   // 64, 128, or 0 for no image
    std::unique_ptr<unsigned char[]> mImage;
    unsigned long mImageLength = 0;

    // The byte count of the size code in the data format: 64 gives 12288
    // (format 0) or 16384, 128 gives 49152 or 65536, any other code 0.
    unsigned long GetSizeInByte() const;
};

class KQoxThumbnail
{
public:
    typedef int EDataFormat;
    enum
    {
        eRGB_24 = 0,
        eRGBA_32 = 1
    };
    typedef int EImageSize;
    enum
    {
        eNOT_SET = 0,
        e64x64 = 64,
        e128x128 = 128
    };

    // Format 0, size 0, no image.
    KQoxThumbnail();
    ~KQoxThumbnail();
    KQoxThumbnail(const KQoxThumbnail&) = delete;
    KQoxThumbnail& operator=(const KQoxThumbnail&) = delete;

    EDataFormat GetDataFormat() const;
    // Does not resize the pixel array.
    void SetDataFormat(EDataFormat pFormat);
    EImageSize GetSize() const;
    // Frees the image, stores the size code and allocates an uninitialised
    // array of the byte count for the size and the current format (none for
    // a count of 0).
    void SetSize(EImageSize pSize);
    // 64: 12288 (format 0) or 16384; 128: 49152 or 65536; other sizes 0.
    // Never more than the array the last SetSize allocated (a format changed
    // after the size does not grow it).
    unsigned long GetSizeInBytes() const;
    // False when no size code is set. Otherwise copies the byte count's worth
    // of bytes, never more than the array the last SetSize allocated.
    bool SetThumbnailImage(const unsigned char* pImage);
    // The pixel array, null when none.
    unsigned char* GetThumbnailImage() const;

private:
    std::unique_ptr<KQoxThumbnailMembers> mMembers;
};

} // namespace qoxsdk_600

#endif
