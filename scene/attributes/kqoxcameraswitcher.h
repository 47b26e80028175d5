#ifndef QOX_SCENE_ATTRIBUTES_KQOXCAMERASWITCHER_H
#define QOX_SCENE_ATTRIBUTES_KQOXCAMERASWITCHER_H

// KQoxCameraSwitcher: the node attribute of the scene's "Camera Switcher"
// node (attribute type 8). The channel "Camera Index" in every take node
// gives the index of the active camera over time; the ordered camera names,
// filled by the native reader, renumber that index. No property set.

#include "base/karray.h"
#include "base/kstring.h"
#include "base/kstringlist.h"
#include "scene/kqoxnodeattribute.h"

namespace qoxsdk_600 {

class KQoxCameraSwitcher : public KQoxNodeAttribute
{
public:
    explicit KQoxCameraSwitcher(KQoxSdkManager& pManager);
    // Detaches from the node, then deletes the names (last first).
    ~KQoxCameraSwitcher() override;

    EAttributeType GetAttributeType() const override { return eCAMERA_SWITCHER; }
    void AddChannels(KQoxTakeNode* pTakeNode) override;
    void RemoveChannels(KQoxTakeNode* pTakeNode) override;
    // Adds nothing; the type name is empty and there are no type flags.
    void FillPropertyList(void*) override {}
    KString GetTypeName() override { return KString(""); }
    KStringList GetTypeFlags() override { return KStringList(); }

    // Appends a copy (null counts as empty).
    void AddCameraName(const char* pName);
    int GetCameraNameCount() const { return mCameraNames.GetCount(); }
    // Null for an index at or beyond the count.
    const char* GetCameraName(unsigned int pIndex) const;
    // True when pIndex names one of the cameras: a camera index read from a
    // file is refused otherwise.
    bool IsValidCameraIndex(int pIndex) const { return pIndex >= 0 && pIndex < GetCameraNameCount(); }

    // The Default take's "Camera Index" value truncated toward zero; 0 when
    // detached, without the channel, or for a value no int can hold.
    int GetDefaultCameraIndex();
    // Sets that value (single precision); nothing when detached or without
    // the channel.
    void SetDefaultCameraIndex(int pIndex);

    // The names become a copy of the other's: reading the same scene again
    // does not pile them up.
    KQoxCameraSwitcher& operator=(KQoxCameraSwitcher& pOther);

private:
    void ClearNames();

    KArrayTemplate<KString*> mCameraNames; // owned strings
};

} // namespace qoxsdk_600

#endif
