#include "scene/kqoxtakeinfo.h"

namespace qoxsdk_600 {

KQoxTakeInfo::KQoxTakeInfo()
    : Selected(true)
    , ImportOffset(0)
    , ImportOffsetMode(eRELATIVE)
    , Thumbnail(nullptr)
{}

KQoxTakeInfo::KQoxTakeInfo(const KQoxTakeInfo& pTakeInfo)
    : Selected(true)
    , ImportOffset(0)
    , ImportOffsetMode(eRELATIVE)
    , Thumbnail(nullptr)
{
    *this = pTakeInfo;
}

KQoxTakeInfo& KQoxTakeInfo::operator=(const KQoxTakeInfo& pTakeInfo)
{
    Name = pTakeInfo.Name;
    ImportName = pTakeInfo.ImportName;
    Comments = pTakeInfo.Comments;
    Selected = pTakeInfo.Selected;
    LocalTimeSpan = pTakeInfo.LocalTimeSpan;
    ReferenceTimeSpan = pTakeInfo.ReferenceTimeSpan;
    ImportOffset = pTakeInfo.ImportOffset;
    ImportOffsetMode = pTakeInfo.ImportOffsetMode;
    Thumbnail = pTakeInfo.Thumbnail;
    return *this;
}

KQoxTakeInfo::~KQoxTakeInfo() {}

} // namespace qoxsdk_600
