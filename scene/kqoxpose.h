#ifndef QOX_SCENE_KQOXPOSE_H
#define QOX_SCENE_KQOXPOSE_H

// KQoxPose: a named set of node matrices, either a bind pose (the matrices of
// the skinned nodes at binding time) or a rest pose.
//
// Items name their node by text, so a pose survives the renaming and
// re-creation of nodes as long as the names agree. Poses are made and
// destroyed by the SDK manager ("Pose::" prefix) and listed by scenes. Bind
// poses of one manager must agree: a node may not appear with two different
// matrices in two bind poses that scenes of the manager list.

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/karray.h"
#include "base/kerror.h"
#include "base/kmath_types.h"
#include "base/kstring.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxtakenodecontainer.h"

namespace qoxsdk_600 {

class KQoxPose;

// The pose's property block.
class KQoxPoseProperties : public KQoxPropertyHandler
{
    KPLUG_CLASS_DECLARE(KQoxPoseProperties)
public:
    explicit KQoxPoseProperties(KQoxPose* pose);
    ~KQoxPoseProperties() override;

    void DefaultValueChanged(KQoxUserProperty* userProperty) override;
    KQoxObject* GetKQoxObject() override;
    KQoxPose* GetKQoxPose() { return mPose; }

private:
    KQoxPose* mPose; // not owned
};

class KQoxPose : public KQoxTakeNodeContainer
{
public:
    // One node's matrix in the pose.
    struct KQoxPoseInfo
    {
        KString mNodeName;
        KQoxMatrix mMatrix;
        bool mLocal; // relative to the parent node when true, global otherwise
    };

    // A bind pose ('b') when bindPose is true, else a rest pose ('r'); no
    // items. Made through KQoxSdkManager::CreateKQoxPose.
    KQoxPose(KQoxSdkManager& manager, const KString& name, bool bindPose);
    ~KQoxPose() override;
    KQoxPose(const KQoxPose&) = delete;
    // Copies nothing.
    KQoxPose& operator=(KQoxPose&) { return *this; }

    void Destruct() override;
    ENameSpace GetNameSpace() const override { return ePOSE; }
    KQoxPropertyHandler* GetPropertyHandler() override;
    // "RestPose" or "BindPose".
    KString GetTypeName() override;
    KStringList GetTypeFlags() override { return KStringList(); }
    void AddChannels(KQoxTakeNode* takeNode) override;
    KQoxUserProperty* CreateKQoxUserProperty(KProperty* property) override;

    bool IsBindPose() const { return mType == 'b'; }
    bool IsRestPose() const { return mType == 'r'; }

    // Adds the node's matrix and returns its index. When the node already has
    // an item with an equal matrix (every element within 1e-6), that index
    // comes back and the item is left as it is. -1 (pose unchanged) when the
    // node has an item with another matrix here or, for a bind pose, in
    // another bind pose listed by a scene of the same manager.
    int Add(const char* nodeName, const KQoxMatrix& matrix, bool local = false);
    // Removes the item; nothing for an index out of range.
    void Remove(int index);
    int GetCount() const { return static_cast<int>(mItems.size()); }
    // Null out of range.
    KQoxPoseInfo* GetItem(int index);
    // The shared empty name, the shared identity and false out of range.
    const KString& GetNodeName(int index) const;
    const KQoxMatrix& GetMatrix(int index) const;
    bool IsLocalMatrix(int index) const;
    // Renames the item's node; nothing out of range or for a null or empty name.
    void ReplaceNodeName(int index, const char* newName);
    // The first item whose node name equals the text exactly, or -1.
    int Find(const char* nodeName) const;

    // The checks behind Add. The local check: true (index -1) when the pose
    // has no item for the name, else index of that item and whether its
    // matrix equals the given one. The full check adds, for a bind pose, the
    // local check of every other bind pose in the manager's scenes.
    bool LocalValidateParams(const KString& name, const KQoxMatrix& matrix, int& index) const;
    bool ValidateParams(const KString& name, const KQoxMatrix& matrix, int& index);

    // Walk the manager's scenes in order and their poses in order; for each
    // pose considered that holds the node name, append the pose and the
    // item's index. True when at least one pair was appended.
    static bool GetPosesContaining(KQoxSdkManager& manager, const char* nodeName, KArrayTemplate<KQoxPose*>& poses,
                                   KArrayTemplate<int>& indices);
    static bool GetBindPoseContaining(KQoxSdkManager& manager, const char* nodeName, KArrayTemplate<KQoxPose*>& poses,
                                      KArrayTemplate<int>& indices);
    static bool GetRestPoseContaining(KQoxSdkManager& manager, const char* nodeName, KArrayTemplate<KQoxPose*>& poses,
                                      KArrayTemplate<int>& indices);

    KError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString(); }

private:
    static bool CollectPoses(KQoxSdkManager& manager, const char* nodeName, char type, KArrayTemplate<KQoxPose*>& poses,
                             KArrayTemplate<int>& indices);
    // Index of the first item per node name; rebuilt after a removal or a rename.
    void RebuildIndex() const;

    KQoxPoseProperties* mProperties; // owned
    KError mError;
    char mType; // 'b' bind pose, 'r' rest pose
    std::vector<std::unique_ptr<KQoxPoseInfo>> mItems;
    mutable std::unordered_map<std::string, int> mFirstIndex;
    mutable bool mIndexValid = true;
};

} // namespace qoxsdk_600

#endif
