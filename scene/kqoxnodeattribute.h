#ifndef QOX_SCENE_KQOXNODEATTRIBUTE_H
#define QOX_SCENE_KQOXNODEATTRIBUTE_H

// What a scene node is: the abstract base of nulls, markers, skeletons,
// geometry, cameras, camera switchers, lights and optical references.
//
// An attribute belongs to at most one node. Set on a node, it adds its own
// animation channels to every take node of that node; taken off, it removes
// them. Attributes are created and destroyed through the SDK manager; a node
// never deletes its attribute. Destroying an attribute detaches it from its
// node first, so neither side is left pointing at freed memory.

#include "base/kmath_types.h"
#include "base/kstring.h"
#include "base/kstringlist.h"

namespace qoxsdk_600 {

class KQoxNode;
class KQoxSdkManager;
class KQoxTakeNode;

class KQoxNodeAttribute
{
public:
    enum EAttributeType : int
    {
        eUNIDENTIFIED = 0,
        eNULL = 1,
        eMARKER = 2,
        eSKELETON = 3,
        eMESH = 4,
        eNURB = 5,
        ePATCH = 6,
        eCAMERA = 7,
        eCAMERA_SWITCHER = 8,
        eLIGHT = 9,
        eOPTICAL_REFERENCE = 10
    };

    explicit KQoxNodeAttribute(KQoxSdkManager& manager);
    // Detaches the attribute from its node, if any.
    virtual ~KQoxNodeAttribute();

    KQoxNodeAttribute(const KQoxNodeAttribute&) = delete;

    virtual EAttributeType GetAttributeType() const = 0;
    // Records the owner, then adds the channels to each of its take nodes.
    virtual void SetNode(KQoxNode& node);
    // Removes the channels from each take node of the owner, then forgets it.
    virtual void UnsetNode();
    virtual void AddChannels(KQoxTakeNode* takeNode);
    virtual void RemoveChannels(KQoxTakeNode* takeNode);
    // Appends the attribute's properties to a KArrayTemplate<KProperty*>.
    virtual void FillPropertyList(void* list);
    virtual KString GetTypeName();
    virtual KStringList GetTypeFlags();

    // What the limit utilities ask of markers, skeletons and geometry; the
    // subclasses answer. Here: marker type -1, not a root skeleton, no
    // control points.
    virtual int GetMarkerType() const { return -1; }
    virtual bool IsRootSkeleton() const { return false; }
    virtual int GetControlPointsCount() const { return 0; }
    virtual const KQoxVector4* GetControlPoints() const { return nullptr; }

    // What pivot conversion asks of geometry (meshes, NURBS and patches
    // answer): the pivot matrix into the argument, a new pivot matrix, and
    // baking it into the control points and normals. Here: the identity,
    // and setting or applying does nothing.
    virtual KQoxXMatrix& GetPivot(KQoxXMatrix& pMatrix)
    {
        pMatrix.SetIdentity();
        return pMatrix;
    }
    virtual void SetPivot(KQoxXMatrix& pMatrix) { (void)pMatrix; }
    virtual void ApplyPivot() {}

    // The attribute of an extra node that takes over this node's pre- or
    // post-rotation: a skeleton answers with a new limb-node skeleton of its
    // own limb-node size, made through the manager; null here (no attribute).
    virtual KQoxNodeAttribute* CreatePivotNodeAttribute(const char* pName)
    {
        (void)pName;
        return nullptr;
    }

    KQoxNode* GetNode() const { return mNode; }
    KQoxSdkManager& GetSdkManager() const { return *mManager; }
    // Copies nothing; subclasses copy their own data.
    KQoxNodeAttribute& operator=(KQoxNodeAttribute&) { return *this; }

    // Forgets the owner without touching its take nodes; the node calls it
    // when it is destroyed.
    void ClearNode() { mNode = nullptr; }

protected:
    // A list holding the one type flag, as most kinds report it.
    static KStringList TypeFlags(const char* flag)
    {
        KStringList flags;
        flags.Add(flag);
        return flags;
    }
    KQoxNode* mNode;
    KQoxSdkManager* mManager;
};

} // namespace qoxsdk_600

#endif
