#ifndef QOX_SCENE_ATTRIBUTES_KQOXDEFORMER_H
#define QOX_SCENE_ATTRIBUTES_KQOXDEFORMER_H

// KQoxDeformer: the version-6 form of skinning. A skin deformer (type 1)
// stands for the skinning of one geometry, a cluster deformer (type 2) for
// one of its links: the cluster carries the link's data with its four
// transforms as matrices, while the nodes it names are connections (the bone
// as a source of the cluster, the associate model as a source of its
// "SrcModelReference" property). The scene converts between links and
// deformers.
//
// Deformers are made by the SDK manager ("SubDeformer::" prefix for clusters,
// "Deformer::" for skins) and listed by one entity at a time.

#include "base/karray.h"
#include "base/kerror.h"
#include "base/kmath_types.h"
#include "base/kstring.h"
#include "base/kstringlist.h"
#include "object/kpropertylist.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxtakenodecontainer.h"

namespace qoxsdk_600 {

class KQoxDeformerProperties;
class KQoxEntity;

class KQoxDeformer : public KQoxTakeNodeContainer
{
public:
    typedef enum : int
    {
        eUNIDENTIFIED = 0, // any type, in the deformer queries
        eSKIN = 1,
        eCLUSTER = 2
    } EDeformerType;

    // The type text "cluster" (any case) makes a cluster, anything else a skin.
    KQoxDeformer(KQoxSdkManager& pManager, const char* pName, const char* pType);
    ~KQoxDeformer() override;

    void Destruct() override;
    ENameSpace GetNameSpace() const override { return eNO_PREFIX; }
    KQoxPropertyHandler* GetPropertyHandler() override;
    // "Skin" or "Cluster".
    KString GetTypeName() override;
    // One entry: "Deformer".
    KStringList GetTypeFlags() override;
    // Channels of the animatable properties of the block (user ones only).
    void AddChannels(KQoxTakeNode* pTakeNode) override;
    KQoxUserProperty* CreateKQoxUserProperty(KProperty* pProperty) override;

    // The class id of KQoxDeformerProperties.
    static int GetClassID();
    EDeformerType GetDeformerType() const { return mDeformerType; }
    void SetMultiLayer(bool pMultiLayer) { mMultiLayer = pMultiLayer; }
    bool GetMultiLayer() const { return mMultiLayer; }

    // Destruction does not touch the entity: take the deformer out first.
    // Leaves the current entity (when any) and joins the new one (when not
    // null); true. Nothing for the entity it is in already.
    bool SetEntity(KQoxEntity* pEntity);
    KQoxEntity* GetEntity() const { return mEntity; }
    // Forgets the entity without touching its lists.
    void ForgetEntity() { mEntity = nullptr; }

    // Skin data --------------------------------------------------------------------
    void SetLinkDeformAccuracy(double pAccuracy) { mLinkDeformAccuracy = pAccuracy; }
    double GetLinkDeformAccuracy() const { return mLinkDeformAccuracy; }

    // Cluster data (the link's, matrices for the transforms) ----------------------------
    void SetLinkMode(KQoxLink::ELinkMode pMode) { mLinkMode = pMode; }
    KQoxLink::ELinkMode GetLinkMode() const { return mLinkMode; }
    void SetUserData(KString pUserDataID, KString pUserData);
    KString GetUserDataID() const { return mUserDataID; }
    KString GetUserData() const { return mUserData; }
    KArrayTemplate<int>& GetControlPointIndices() { return mControlPointIndices; }
    KArrayTemplate<double>& GetControlPointWeights() { return mControlPointWeights; }
    const KArrayTemplate<int>& GetControlPointIndices() const { return mControlPointIndices; }
    const KArrayTemplate<double>& GetControlPointWeights() const { return mControlPointWeights; }
    KQoxMatrix& GetTransform() { return mTransform; }
    KQoxMatrix& GetTransformLink() { return mTransformLink; }
    KQoxMatrix& GetTransformAssociateModel() { return mTransformAssociateModel; }
    KQoxMatrix& GetTransformParent() { return mTransformParent; }
    const KQoxMatrix& GetTransform() const { return mTransform; }
    const KQoxMatrix& GetTransformLink() const { return mTransformLink; }
    const KQoxMatrix& GetTransformAssociateModel() const { return mTransformAssociateModel; }
    const KQoxMatrix& GetTransformParent() const { return mTransformParent; }
    void SetTransformParentSet(bool pSet) { mTransformParentSet = pSet; }
    bool IsTransformParentSet() const { return mTransformParentSet; }

    // Cluster from a link: mode, user data, indices, weights, parent flag and
    // the four matrices built from the link's vectors. A skin: nothing.
    KQoxDeformer& operator=(const KQoxLink& pLink);

    KError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString(); }

private:
    KQoxEntity* mEntity;                 // not owned
    KQoxDeformerProperties* mProperties; // owned; destroyed through Destroy(0)
    KError mError;
    bool mMultiLayer;
    EDeformerType mDeformerType;
    double mLinkDeformAccuracy;
    KQoxLink::ELinkMode mLinkMode;
    KString mUserDataID;
    KString mUserData;
    KArrayTemplate<int> mControlPointIndices;    // grows 256 at a time
    KArrayTemplate<double> mControlPointWeights; // grows 256 at a time
    KQoxMatrix mTransform;
    KQoxMatrix mTransformLink;
    KQoxMatrix mTransformAssociateModel;
    KQoxMatrix mTransformParent;
    bool mTransformParentSet;
};

// The property block of a deformer; one class id for the skin and the
// cluster blocks.
class KQoxDeformerProperties : public KQoxPropertyHandler
{
    KPLUG_CLASS_DECLARE(KQoxDeformerProperties)
public:
    explicit KQoxDeformerProperties(KQoxTakeNodeContainer* pOwner);
    ~KQoxDeformerProperties() override;

    void DefaultValueChanged(KQoxUserProperty* pUserProperty) override;
    KQoxObject* GetKQoxObject() override;
    KQoxDeformer* GetKQoxDeformer();
    // "Skin" or "Cluster": each concrete set names its kind.
    virtual const char* GetTypeName() = 0;

protected:
    KQoxTakeNodeContainer* mOwner;
};

class KQoxSkinDeformerProperties : public KQoxDeformerProperties
{
public:
    explicit KQoxSkinDeformerProperties(KQoxTakeNodeContainer* pOwner);
    const char* GetTypeName() override { return "Skin"; }
};

// "SrcModel" and "SrcModelReference": object lists that take scene nodes.
class KQoxClusterDeformerProperties : public KQoxDeformerProperties
{
public:
    explicit KQoxClusterDeformerProperties(KQoxTakeNodeContainer* pOwner);
    const char* GetTypeName() override { return "Cluster"; }

    bool SrcModelSet(int pIndex, KObject* pObject) { return SrcModel.SetAt(pIndex, pObject); }
    KObject* SrcModelGet(int pIndex) { return SrcModel.GetAt(pIndex); }
    bool SrcModelReferenceSet(int pIndex, KObject* pObject) { return SrcModelReference.SetAt(pIndex, pObject); }
    KObject* SrcModelReferenceGet(int pIndex) { return SrcModelReference.GetAt(pIndex); }

    KPropertyObjectList SrcModel;
    KPropertyObjectList SrcModelReference;
};

} // namespace qoxsdk_600

#endif
