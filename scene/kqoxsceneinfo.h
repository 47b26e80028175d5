#ifndef QOX_SCENE_KQOXSCENEINFO_H
#define QOX_SCENE_KQOXSCENEINFO_H

// KQoxSceneInfo: the document description of a scene, six free texts and an
// optional thumbnail that the SDK manager owns (never this object).

#include "base/kstring.h"

namespace qoxsdk_600 {

class KQoxThumbnail;

class KQoxSceneInfo
{
public:
    // Six empty texts, no thumbnail.
    KQoxSceneInfo();
    ~KQoxSceneInfo();
    KQoxSceneInfo(const KQoxSceneInfo& pInfo);
    // Copies the texts and the thumbnail pointer (the thumbnail is shared).
    KQoxSceneInfo& operator=(const KQoxSceneInfo& pInfo);

    KQoxThumbnail* GetSceneThumbnail() const { return mSceneThumbnail; }
    // Stores the pointer; the previous thumbnail is not destroyed.
    void SetSceneThumbnail(KQoxThumbnail* pThumbnail) { mSceneThumbnail = pThumbnail; }
    // Empties the texts and forgets the thumbnail without destroying it.
    void Clear();

    KString mTitle;
    KString mSubject;
    KString mAuthor;
    KString mKeywords;
    KString mRevision;
    KString mComment;
    KQoxThumbnail* mSceneThumbnail;
};

} // namespace qoxsdk_600

#endif
