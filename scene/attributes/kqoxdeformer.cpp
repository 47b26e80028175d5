// Skin and cluster deformers and their property blocks.

#include "scene/attributes/kqoxdeformer.h"

#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodeproperties.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

KPLUG_CLASS_IMPLEMENT(KQoxDeformerProperties, KQoxPropertyHandler, "KQoxDeformerProperties")

namespace {

const char* const kDeformerErrors[1] = {"Error"};

bool IsClusterType(const char* pType)
{
    return pType && KString(pType).CompareNoCase("cluster") == 0;
}

// The general matrix holding the affine matrix's values.
void FromAffine(KQoxMatrix& pTo, const KQoxXMatrix& pFrom)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            pTo.mData[r][c] = pFrom.Get(r, c);
}

} // namespace

KQoxDeformer::KQoxDeformer(KQoxSdkManager& pManager, const char* pName, const char* pType)
    : KQoxTakeNodeContainer(pManager, pName, &mError)
    , mEntity(nullptr)
    , mProperties(nullptr)
    , mError(kDeformerErrors, 1)
    , mMultiLayer(false)
    , mDeformerType(IsClusterType(pType) ? eCLUSTER : eSKIN)
    , mLinkDeformAccuracy(50.0)
    , mLinkMode(KQoxLink::eNORMALIZE)
    , mControlPointIndices(256)
    , mControlPointWeights(256)
    , mTransformParentSet(false)
{
    if (mDeformerType == eCLUSTER)
        mProperties = new KQoxClusterDeformerProperties(this);
    else
        mProperties = new KQoxSkinDeformerProperties(this);
    KQoxTakeNodeContainer::Init();
}

KQoxDeformer::~KQoxDeformer()
{
    // The entity may be gone already: the scene takes deformers out of it
    // (RemoveKQoxDeformers) before they are destroyed.
    mProperties->Destroy(0);
    mProperties = nullptr;
}

void KQoxDeformer::Destruct()
{
    mProperties->Destruct();
}

KQoxPropertyHandler* KQoxDeformer::GetPropertyHandler()
{
    return mProperties;
}

KString KQoxDeformer::GetTypeName()
{
    return KString(mProperties->GetTypeName());
}

KStringList KQoxDeformer::GetTypeFlags()
{
    KStringList flags;
    flags.Add("Deformer", 0);
    return flags;
}

void KQoxDeformer::AddChannels(KQoxTakeNode* pTakeNode)
{
    for (int i = 0; i < mProperties->GetPropertyCount(); ++i)
    {
        KProperty* property = mProperties->GetProperty(i);
        if (property && property->IsAnimatable())
            CreateChannelsForProperty(property, pTakeNode);
    }
}

KQoxUserProperty* KQoxDeformer::CreateKQoxUserProperty(KProperty* pProperty)
{
    return mManager.CreateKQoxUserProperty(pProperty);
}

int KQoxDeformer::GetClassID()
{
    return KQoxDeformerProperties::ClassId;
}

bool KQoxDeformer::SetEntity(KQoxEntity* pEntity)
{
    if (pEntity == mEntity)
        return true;
    if (mEntity)
        mEntity->RemoveDeformer(this);
    mEntity = pEntity;
    if (mEntity)
        mEntity->AddDeformer(this);
    return true;
}

void KQoxDeformer::SetUserData(KString pUserDataID, KString pUserData)
{
    mUserDataID = pUserDataID;
    mUserData = pUserData;
}

KQoxDeformer& KQoxDeformer::operator=(const KQoxLink& pLink)
{
    if (mDeformerType != eCLUSTER)
        return *this;
    mLinkMode = pLink.GetLinkMode();
    mUserDataID = pLink.GetUserDataID();
    mUserData = pLink.GetUserData();
    mControlPointIndices.Empty();
    for (int i = 0; i < pLink.GetControlPointIndicesCount(); ++i)
        mControlPointIndices.Add(pLink.GetControlPointIndices()[i]);
    mControlPointWeights.Empty();
    for (int i = 0; i < pLink.GetControlPointIndicesCount(); ++i)
        mControlPointWeights.Add(pLink.GetControlPointWeights()[i]);
    mTransformParentSet = pLink.IsTransformParentSet();
    KQoxXMatrix matrix;
    FromAffine(mTransform, pLink.GetTransformMatrix(matrix));
    FromAffine(mTransformLink, pLink.GetTransformLinkMatrix(matrix));
    FromAffine(mTransformAssociateModel, pLink.GetTransformAssociateModelMatrix(matrix));
    FromAffine(mTransformParent, pLink.GetTransformParentMatrix(matrix));
    return *this;
}

// ---- Property blocks ---------------------------------------------------------------

KQoxDeformerProperties::KQoxDeformerProperties(KQoxTakeNodeContainer* pOwner)
    : mOwner(pOwner)
{}

KQoxDeformerProperties::~KQoxDeformerProperties() {}

void KQoxDeformerProperties::DefaultValueChanged(KQoxUserProperty* pUserProperty)
{
    mOwner->PropertyDefaultValueChanged(pUserProperty);
}

KQoxObject* KQoxDeformerProperties::GetKQoxObject()
{
    return mOwner;
}

KQoxDeformer* KQoxDeformerProperties::GetKQoxDeformer()
{
    return static_cast<KQoxDeformer*>(mOwner);
}

KQoxSkinDeformerProperties::KQoxSkinDeformerProperties(KQoxTakeNodeContainer* pOwner)
    : KQoxDeformerProperties(pOwner)
{}

KQoxClusterDeformerProperties::KQoxClusterDeformerProperties(KQoxTakeNodeContainer* pOwner)
    : KQoxDeformerProperties(pOwner)
{
    KPropertyObjectList* lists[2] = {&SrcModel, &SrcModelReference};
    const char* names[2] = {"SrcModel", "SrcModelReference"};
    for (int i = 0; i < 2; ++i)
    {
        lists[i]->Init(nullptr);
        lists[i]->SetPropertyInfo(names[i], this, nullptr, nullptr);
        lists[i]->SetContentSpec(1, KQoxNode::GetClassID());
        lists[i]->SetPropertyType(kPropertyTypeObject);
        PropertyAddToList(lists[i]);
    }
}

} // namespace qoxsdk_600
