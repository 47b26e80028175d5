#ifndef QOX_OBJECT_KOBJECTMERGE_H
#define QOX_OBJECT_KOBJECTMERGE_H

// What a merge of one scene into another knows: the objects taking part
// (searched by full name) and the mapping from the objects of one list to the
// objects at the same index of the other.

#include "base/kset.h"
#include "object/kobjectlist.h"

class KMergeInfo
{
public:
    KMergeInfo()
        : mOldToNew(20)
    {}

    // The incoming objects.
    KObjectList mNewObjects;
    // The existing objects they take the place of, index for index.
    KObjectList mOldObjects;
    // Existing object -> incoming object (filled by KObject::FillOldToNewSet).
    KSet mOldToNew;

    // Whether an object of that full name takes part in the merge.
    bool IsMerged(const char* fullName) const
    {
        return mNewObjects.FindIndex(fullName) >= 0 || mOldObjects.FindIndex(fullName) >= 0;
    }
};

#endif
