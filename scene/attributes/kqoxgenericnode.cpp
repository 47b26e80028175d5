// Generic nodes and their property handler.

#include "scene/attributes/kqoxgenericnode.h"

#include "scene/attributes/kqoxattribute_private.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

KPLUG_CLASS_IMPLEMENT(KQoxGenericNodeProperties, KQoxPropertyHandler, "KQoxGenericNodeProperties")

namespace {

const char* const kGenericNodeErrors[1] = {"Error"};

} // namespace

KQoxGenericNodeProperties::KQoxGenericNodeProperties(KQoxTakeNodeContainer* pOwner)
    : mOwner(pOwner)
{}

KQoxGenericNodeProperties::~KQoxGenericNodeProperties() {}

void KQoxGenericNodeProperties::DefaultValueChanged(KQoxUserProperty* pUserProperty)
{
    if (mOwner)
        mOwner->PropertyDefaultValueChanged(pUserProperty);
}

KQoxGenericNode::KQoxGenericNode(KQoxSdkManager& pManager, const char* pName)
    : KQoxTakeNodeContainer(pManager, pName, &mError)
    , mEntity(nullptr)
    , mProperties(nullptr)
    , mError(kGenericNodeErrors, 1)
{
    mProperties = new KQoxGenericNodeProperties(this);
    Init();
}

KQoxGenericNode::~KQoxGenericNode()
{
    // The entity is the scene's and may be gone already; the scene takes
    // its generic nodes out of it, as it does its textures.
    mProperties->Destroy(0);
    mProperties = nullptr;
}

void KQoxGenericNode::Destruct()
{
    mProperties->Destruct();
}

KQoxPropertyHandler* KQoxGenericNode::GetPropertyHandler()
{
    return mProperties;
}

KString KQoxGenericNode::GetTypeName()
{
    return KString("GenericNode");
}

KStringList KQoxGenericNode::GetTypeFlags()
{
    KStringList flags;
    flags.Add("GenericNode");
    return flags;
}

bool KQoxGenericNode::SetEntity(KQoxEntity* pEntity)
{
    if (pEntity == mEntity)
        return true;
    if (mEntity)
        mEntity->RemoveGenericNode(this);
    mEntity = pEntity;
    if (mEntity)
        mEntity->AddGenericNode(this);
    return true;
}

void KQoxGenericNode::AddChannels(KQoxTakeNode* pTakeNode)
{
    // Init runs from the constructor, before the handler could hold any
    // property; later takes copy the Default take.
    if (!mProperties)
        return;
    attr::AddAnimatableChannels(*this, *mProperties, pTakeNode);
}

KQoxUserProperty* KQoxGenericNode::CreateKQoxUserProperty(KProperty* pProperty)
{
    return mManager.CreateKQoxUserProperty(pProperty);
}

} // namespace qoxsdk_600
