#include "scene/kqoxsceneinfo.h"

namespace qoxsdk_600 {

KQoxSceneInfo::KQoxSceneInfo()
    : mSceneThumbnail(nullptr)
{}

KQoxSceneInfo::~KQoxSceneInfo() {}

KQoxSceneInfo::KQoxSceneInfo(const KQoxSceneInfo& pInfo)
    : mSceneThumbnail(nullptr)
{
    *this = pInfo;
}

KQoxSceneInfo& KQoxSceneInfo::operator=(const KQoxSceneInfo& pInfo)
{
    mTitle = pInfo.mTitle;
    mSubject = pInfo.mSubject;
    mAuthor = pInfo.mAuthor;
    mKeywords = pInfo.mKeywords;
    mRevision = pInfo.mRevision;
    mComment = pInfo.mComment;
    mSceneThumbnail = pInfo.mSceneThumbnail;
    return *this;
}

void KQoxSceneInfo::Clear()
{
    mTitle = "";
    mSubject = "";
    mAuthor = "";
    mKeywords = "";
    mRevision = "";
    mComment = "";
    mSceneThumbnail = nullptr;
}

} // namespace qoxsdk_600
