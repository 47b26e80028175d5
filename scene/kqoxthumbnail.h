#ifndef QOX_SCENE_KQOXTHUMBNAIL_H
#define QOX_SCENE_KQOXTHUMBNAIL_H

// KQoxThumbnail: a small preview image of a scene or a take. The data format
// (0: three bytes per pixel, any other: four) must be set before the size,
// which allocates the pixel array. Made and destroyed by the SDK manager.

#include <memory>

namespace qoxsdk_600 {

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
    struct Members;
    std::unique_ptr<Members> mMembers;
};

} // namespace qoxsdk_600

#endif
