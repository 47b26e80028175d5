#ifndef QOX_SCENE_KQOXTAKEINFO_H
#define QOX_SCENE_KQOXTAKEINFO_H

// KQoxTakeInfo: the description of one take apart from its animation: file
// and scene names, comments, time spans, import offset and a thumbnail that
// it never owns.

#include "base/kstring.h"
#include "base/ktime.h"

namespace qoxsdk_600 {

class KQoxThumbnail;

class KQoxTakeInfo
{
public:
    // Selected, zero spans, offset 0, offset mode 1, no thumbnail.
    KQoxTakeInfo();
    // Copy every field; the thumbnail pointer is shared, not duplicated.
    KQoxTakeInfo(const KQoxTakeInfo& pTakeInfo);
    KQoxTakeInfo& operator=(const KQoxTakeInfo& pTakeInfo);
    ~KQoxTakeInfo();

    KQoxThumbnail* GetTakeThumbnail() const { return Thumbnail; }
    // Stores the pointer without taking or releasing anything.
    void SetTakeThumbnail(KQoxThumbnail* pThumbnail) { Thumbnail = pThumbnail; }

    KString Name;       // the take's name in the file
    KString ImportName; // the name the take gets in the scene on import
    KString Comments;
    bool Selected;
    KTimeSpan LocalTimeSpan;
    KTimeSpan ReferenceTimeSpan;
    KTime ImportOffset;
    // 1 (eRELATIVE): the offset is added to every key time; any other value
    // (eABSOLUTE): the animation is moved to start at the offset.
    int ImportOffsetMode;
    KQoxThumbnail* Thumbnail;

    enum
    {
        eABSOLUTE = 0,
        eRELATIVE = 1
    };
};

} // namespace qoxsdk_600

#endif
