#ifndef QOX_SCENE_KQOXENTITY_H
#define QOX_SCENE_KQOXENTITY_H

// The holder of one scene's objects.
//
// The entity knows the scene's root node ("Model::RootNode", made by its
// constructor), keeps a flat list of every node attached to the scene, and
// reference-counted lists of the materials, textures, videos, generic nodes
// and deformers that the scene's nodes and geometry use. It owns none of them:
// the SDK manager does. Objects join and leave through their own SetEntity.
//
// The shading objects, generic nodes and deformers are held as KQoxObject
// pointers; the typed views come with their classes.

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/karray.h"
#include "base/kerror.h"
#include "base/kstring.h"
#include "scene/kqoxnodeattribute.h"

namespace qoxsdk_600 {

class KQoxNode;
class KQoxObject;
class KQoxSdkManager;

class KQoxEntity
{
public:
    enum EError : int
    {
        eNODE_IS_NULL = 0,
        eNODE_ALREADY_OWNED = 1,
        eNODE_NOT_OWNED = 2,
        ePARAMETER_OUT_OF_RANGE = 3,
        eMATERIAL_IN_USE = 4,
        eMATERIAL_NOT_FOUND = 5,
        eTEXTURE_IN_USE = 6,
        eTEXTURE_NOT_FOUND = 7,
        eVIDEO_IN_USE = 8,
        eVIDEO_NOT_FOUND = 9,
        eVIDEO_NAME_CLASH = 10,
        eGENERIC_NODE_IN_USE = 11,
        eGENERIC_NODE_NOT_FOUND = 12,
        eDEFORMER_IN_USE = 14,
        eDEFORMER_NOT_FOUND = 15,
        eERROR_COUNT = 17
    };

    // One referenced object and the number of its users.
    struct KQoxObjectReference
    {
        KQoxObject* mObject;
        int mCount;
    };

    // Creates the root node "RootNode" through the manager and attaches it.
    explicit KQoxEntity(KQoxSdkManager& manager);
    ~KQoxEntity();

    KQoxEntity(const KQoxEntity&) = delete;
    KQoxEntity& operator=(const KQoxEntity&) = delete;

    KQoxNode* GetRootNode() const { return mRootNode; }

    // Nodes ---------------------------------------------------------------------
    bool AddNode(KQoxNode* node);
    bool RemoveNode(KQoxNode* node);
    int GetNodeCount() const { return mNodes.GetCount() - mNodeHoles; }
    // Null for an index outside the list.
    KQoxNode* GetNode(int index);
    // The nodes whose attribute has the type: in list order, or depth first
    // from the root when recursive.
    void FillNodeArray(KArrayTemplate<KQoxNode*>& array, KQoxNodeAttribute::EAttributeType type, bool recursive);

    // Shading objects, generic nodes, deformers ---------------------------------------
    bool AddMaterial(KQoxObject* material) { return AddReference(eMATERIAL, material); }
    bool RemoveMaterial(KQoxObject* material) { return RemoveReference(eMATERIAL, material); }
    int GetMaterialCount() const { return mReferences[eMATERIAL].GetCount(); }
    KQoxObject* GetMaterial(int index) { return GetReference(eMATERIAL, index, true); }
    KQoxObject* GetMaterial(KString name) { return FindReference(eMATERIAL, name, true, nullptr); }
    int GetMaterialIndex(KString name);
    bool AddTexture(KQoxObject* texture) { return AddReference(eTEXTURE, texture); }
    bool RemoveTexture(KQoxObject* texture) { return RemoveReference(eTEXTURE, texture); }
    int GetTextureCount() const { return mReferences[eTEXTURE].GetCount(); }
    KQoxObject* GetTexture(int index) { return GetReference(eTEXTURE, index, true); }
    KQoxObject* GetTexture(KString name) { return FindReference(eTEXTURE, name, true, nullptr); }
    // Puts the materials (textures) given at the end of their list in the
    // order given, each keeping its use count (one the list did not hold
    // joins with one use); the others keep their order before them. A
    // reader lists the objects of a file in file order so, after the
    // geometry read with them listed those its layers use in node order.
    void AppendMaterialsInOrder(const std::vector<KQoxObject*>& materials) { AppendInOrder(eMATERIAL, materials); }
    void AppendTexturesInOrder(const std::vector<KQoxObject*>& textures) { AppendInOrder(eTEXTURE, textures); }
    // Refused (error 10) when another video has the same full name.
    bool AddVideo(KQoxObject* video);
    bool RemoveVideo(KQoxObject* video) { return RemoveReference(eVIDEO, video); }
    int GetVideoCount() const { return mReferences[eVIDEO].GetCount(); }
    KQoxObject* GetVideo(int index) { return GetReference(eVIDEO, index, true); }
    KQoxObject* GetVideo(KString name) { return FindReference(eVIDEO, name, true, nullptr); }
    bool AddGenericNode(KQoxObject* node) { return AddReference(eGENERIC_NODE, node); }
    bool RemoveGenericNode(KQoxObject* node) { return RemoveReference(eGENERIC_NODE, node); }
    int GetGenericNodeCount() const { return mReferences[eGENERIC_NODE].GetCount(); }
    KQoxObject* GetGenericNode(int index) { return GetReference(eGENERIC_NODE, index, true); }
    KQoxObject* GetGenericNode(const char* name) { return FindReference(eGENERIC_NODE, KString(name), false, nullptr); }
    bool AddDeformer(KQoxObject* deformer) { return AddReference(eDEFORMER, deformer); }
    bool RemoveDeformer(KQoxObject* deformer) { return RemoveReference(eDEFORMER, deformer); }
    // All deformers (counting by deformer type comes with the deformer class).
    int GetDeformerCount() const { return mReferences[eDEFORMER].GetCount(); }
    KQoxObject* GetDeformer(int index) { return GetReference(eDEFORMER, index, false); }
    KQoxObject* GetDeformer(const char* name) { return FindReference(eDEFORMER, KString(name), false, nullptr); }

    // Names ------------------------------------------------------------------------
    // True when every non-empty list that the object's namespace consults
    // holds the name (node: generic nodes, nodes; texture: generic nodes,
    // textures; material: generic nodes, materials; no-prefix objects: nodes,
    // materials, textures, generic nodes). The consulted lists end in
    // ascending name order; index receives the position of the hit in the
    // last list consulted.
    bool ValidateName(KQoxObject& object, const char* name, unsigned int* index = nullptr);
    bool ValidateNewName(KQoxObject& object, const char* name) { return !ValidateName(object, name, nullptr); }

    // Detaches every node (and its geometry, through the attribute classes),
    // forgets the root, and empties the node, material and texture lists.
    void Clear();

    KError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString(); }

private:
    friend class KQoxNode;
    friend class KQoxSdkManager;

    enum EKind : int
    {
        eMATERIAL,
        eTEXTURE,
        eVIDEO,
        eGENERIC_NODE,
        eDEFORMER,
        eKIND_COUNT
    };

    // A list of objects that can be put in name order on demand. The order
    // is only established when asked for, and a list already in order is
    // not sorted again until it changes or a name changes.
    struct NameOrder
    {
        int mSortedCount = 0; // leading items known to be in order
        unsigned long mNameVersion = 0;
    };

    // Clear, for a node's SetEntity that replaces the entity's content once
    // its subtree has joined: every node but those of the subtree leaves (its
    // geometry forgets the entity), the root is forgotten, and the material
    // and texture lists hold exactly the objects given, listed already, in
    // that order with those use counts. Allocates nothing.
    using KCounted = std::vector<std::pair<KQoxObject*, int>>;
    void ClearAllBut(const std::unordered_set<const KQoxNode*>& subtree, const KCounted& materials,
                     const KCounted& textures);
    // The list of a kind becomes exactly the objects given (see ClearAllBut).
    void KeepOnly(EKind kind, const KCounted& kept);
    // The clips once, for a node's SetEntity with replace, the entity's tree
    // has left (each clip of leaving counted once less) and the subtree's
    // clips have joined as AddVideo takes them, in that order.
    KCounted VideosAfterReplace(const std::unordered_set<const KQoxObject*>& leaving, KQoxObject* const* joining,
                                int count) const;
    void KeepOnlyVideos(const KCounted& kept) { KeepOnly(eVIDEO, kept); }
    bool AddVideoRecord(KQoxObject* video) { return AddReference(eVIDEO, video); }

    bool AddReference(EKind kind, KQoxObject* object);
    bool RemoveReference(EKind kind, KQoxObject* object);
    // The record at index of the kind's list dropped, whatever its count.
    void EraseRecord(EKind kind, int index);
    // Every record of the object dropped, for the manager destroying it.
    void Forget(KQoxObject* object);
    // Every record dropped (of deformers only with the flag: the manager's
    // Clear keeps those), for the manager destroying what they name.
    void ForgetReferences(bool deformers);
    void AppendInOrder(EKind kind, const std::vector<KQoxObject*>& objects);
    KQoxObject* GetReference(EKind kind, int index, bool setError);
    KQoxObject* FindReference(EKind kind, const KString& name, bool setError, int* index);
    int FindRecord(EKind kind, KQoxObject* object) const;
    void FreeReferences(EKind kind);
    // Sorts a list by full name when needed; then binary search; -1 on miss.
    int SortedFind(KArrayTemplate<KQoxNode*>& list, NameOrder& order, const char* name);
    int SortedFind(KArrayTemplate<KQoxObjectReference*>& list, NameOrder& order, const char* name);
    bool ConsultNodes(const char* name, unsigned int* index, bool& answer);
    bool ConsultReferences(EKind kind, const char* name, unsigned int* index, bool& answer);

    KQoxSdkManager& mManager;
    // The manager while it lists this entity; null once it is destroyed.
    KQoxSdkManager* mListedBy;
    KQoxNode* mRootNode;
    // Removed nodes leave holes (null entries) that are closed, in order,
    // before the list is next read by position, or when they make up half of
    // it. The node records its entry's position: inline for the entity
    // that listed it first (KQoxNode::mListedSlot), in its list of other
    // listings for the others. So a destroyed node leaves every list, and
    // this entity, when cleared or destroyed, leaves every node's record.
    void CompactNodes();
    // The position of a node's entry, or -1; the same recorded; and the
    // record dropped.
    int FindSlot(const KQoxNode* node) const;
    void SetSlot(KQoxNode* node, int slot);
    void ForgetSlot(KQoxNode* node);

    KArrayTemplate<KQoxNode*> mNodes;
    int mNodeHoles = 0;
    KArrayTemplate<KQoxObjectReference*> mReferences[eKIND_COUNT];
    // Record of each referenced object, per kind.
    std::unordered_map<const KQoxObject*, KQoxObjectReference*> mRecordOf[eKIND_COUNT];
    NameOrder mNodeOrder;
    NameOrder mReferenceOrder[eKIND_COUNT];
    KError mError;
};

} // namespace qoxsdk_600

#endif
