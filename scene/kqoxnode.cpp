#include "scene/kqoxnode.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxcameraswitcher.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmarker.h"
#include "scene/attributes/kqoxnull.h"
#include "scene/attributes/kqoxopticalreference.h"
#include "scene/attributes/kqoxskeleton.h"

#include <atomic>

#include "scene/kqoxentity.h"
#include "scene/kqoxnode_walk.h"
#include "scene/kqoxnodeattribute.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxtakenode_private.h"
#include "scene/kqoxuserproperty.h"

namespace qoxsdk_600 {

namespace {

const char* const kNodeErrors[KQoxNode::eERROR_COUNT] = {
    "Take node error",
    "Node name clash",
    "Material name clash",
    "Texture name clash",
    "Video name clash",
    "Target node is not a child of this object",
    "Operation with a target of the entity would generate a cyclic graph",
    "Index out of range",
    "Invalid frame rate"};

// The children view of a node table: its sources of the node-table class.
KPlug* ChildView(KQoxNodeProperties* table)
{
    return table ? table->SubPlugGetOrCreate(KPlug_GetFilter(KQoxNodeProperties::ClassId)) : nullptr;
}

} // namespace

KQoxNode::KQoxNode(KQoxSdkManager& manager, const char* name)
    : KQoxTakeNodeContainer(manager, name, &mError)
    , mProperties(nullptr)
    , mEntity(nullptr)
    , mNodeAttribute(nullptr)
    , mShadingMode(eLIGHT_SHADING)
    , mMultiTakeMode(eMULTI_TAKE)
    , mMultiLayer(false)
    , mSelected(false)
    , mLimits(nullptr)
    , mError(kNodeErrors, eERROR_COUNT)
    , mCullingType(eCULLING_OFF)
{
    mProperties = new KQoxNodeProperties(this);
    Reset();
    InitTakes();
    SetVisibility(true);
    SetShadingMode(eLIGHT_SHADING);
    PublishPropertiesLater();
}

namespace {

std::atomic<KQoxNode::CharacterLinkClearFunction> gCharacterLinkClearFunction(nullptr);

} // namespace

void KQoxNode::SetCharacterLinkClearFunction(CharacterLinkClearFunction function)
{
    gCharacterLinkClearFunction.store(function);
}

KQoxNode::CharacterLinkClearFunction KQoxNode::GetCharacterLinkClearFunction()
{
    return gCharacterLinkClearFunction.load();
}

KQoxNode::~KQoxNode()
{
    // A node destroyed while entities list it leaves every one of those
    // lists, which would otherwise keep a pointer to a node no longer there.
    // Each removal drops the entity's entry, and the last one the list.
    if (mListedIn)
        mListedIn->RemoveNode(this);
    while (mOtherListings)
        mOtherListings->back().mEntity->RemoveNode(this);
    // Wrappers never made have nothing to destroy.
    ForgetPendingProperties();
    // Every character table slot that names this node forgets it; the rest of
    // each slot stays. The attribute only forgets its owner.
    if (CharacterLinkClearFunction clear = GetCharacterLinkClearFunction())
        for (int i = 0; i < mCharacterLinks.GetCount(); ++i)
        {
            const KQoxLinkToCharacter& link = mCharacterLinks[i];
            clear(link.mCharacter, link.mType, link.mIndex, link.mSubIndex, this);
        }
    mCharacterLinks.Clear();
    if (mNodeAttribute)
        mNodeAttribute->ClearNode();
    mNodeAttribute = nullptr;
    delete mLimits;
    mLimits = nullptr;
    // The take nodes (destroyed by the base) still refer to the channel
    // properties through their callbacks: drop those first.
    UnregisterAllDefaultTakeCallback();
    // The user properties that wrap the table's properties go with the table,
    // so the manager never lists a wrapper of a freed property.
    for (int i = mUserProperties.GetCount() - 1; i >= 0; --i)
    {
        KQoxUserProperty* property = mUserProperties[i];
        if (property && property->GetPropertyHandler() == mProperties)
        {
            mUserProperties.RemoveAt(i);
            GetSdkManager().DestroyKQoxUserProperty(property);
        }
    }
    mProperties->Destroy(0);
    mProperties = nullptr;
    for (int i = 0; i < mChildNames.GetCount(); ++i)
        delete mChildNames[i];
    mChildNames.Clear();
}

KQoxNode::KQoxOtherListing* KQoxNode::FindOtherListingIn(const KQoxEntity* entity) const
{
    for (KQoxOtherListing& listing : *mOtherListings)
        if (listing.mEntity == entity)
            return &listing;
    return nullptr;
}

void KQoxNode::SetOtherListing(KQoxEntity* entity, int slot)
{
    if (KQoxOtherListing* listing = FindOtherListing(entity))
    {
        listing->mSlot = slot;
        return;
    }
    // The list is kept only once it holds the entry: memory running out
    // (std::bad_alloc) never leaves an empty one, which the destructor
    // could not walk.
    if (!mOtherListings)
    {
        std::unique_ptr<std::vector<KQoxOtherListing>> made(new std::vector<KQoxOtherListing>);
        made->push_back({entity, slot});
        mOtherListings = std::move(made);
        return;
    }
    mOtherListings->push_back({entity, slot});
}

bool KQoxNode::ForgetOtherListingIn(const KQoxEntity* entity)
{
    KQoxOtherListing* listing = FindOtherListingIn(entity);
    if (!listing)
        return false;
    // The order of the entries carries nothing: the last one fills the gap.
    *listing = mOtherListings->back();
    mOtherListings->pop_back();
    if (mOtherListings->empty())
        mOtherListings.reset();
    return true;
}

KQoxNodeLimits& KQoxNode::Limits()
{
    if (!mLimits)
    {
        // "RotationActive" was turned off when the node was made; whatever
        // it holds now stays.
        mLimits = new KQoxNodeLimits(nullptr);
        mLimits->mLimitedNode = this;
    }
    return *mLimits;
}

const KQoxNodeLimits& KQoxNode::LimitsForReading() const
{
    static const KQoxNodeLimits kNeutral(nullptr);
    return mLimits ? *mLimits : kNeutral;
}

void KQoxNode::Destruct()
{
    if (mProperties)
        mProperties->Destruct();
}

KQoxPropertyHandler* KQoxNode::GetPropertyHandler()
{
    return mProperties;
}

void KQoxNode::FillPropertyList(void* list)
{
    KQoxTakeNodeContainer::FillPropertyList(list);
    FillAddedPropertyList(list);
}

void KQoxNode::FillAddedPropertyList(void* list)
{
    if (mNodeAttribute)
        mNodeAttribute->FillPropertyList(list);
}

KString KQoxNode::GetTypeName()
{
    return mNodeAttribute ? mNodeAttribute->GetTypeName() : KString("Null");
}

KStringList KQoxNode::GetTypeFlags()
{
    if (mNodeAttribute)
        return mNodeAttribute->GetTypeFlags();
    KStringList flags;
    flags.Add("Null");
    return flags;
}

int KQoxNode::GetClassID()
{
    return KQoxNodeProperties::ClassId;
}

KQoxUserProperty* KQoxNode::CreateKQoxUserProperty(KProperty* property)
{
    return GetSdkManager().CreateKQoxUserProperty(property);
}

void KQoxNode::Reset()
{
    KQoxNodeProperties& p = *mProperties;
    const KgeTVector zero(0.0, 0.0, 0.0, 1.0);
    typedef std::initializer_list<KQoxNodeProperties::Row<KgeTVector>*> VectorRows;
    typedef std::initializer_list<KQoxNodeProperties::Row<bool>*> BoolRows;
    for (KQoxNodeProperties::Row<KgeTVector>* row :
         VectorRows{&p.mRotationOffset, &p.mRotationPivot, &p.mRotationPivotUpdateOffset, &p.mScalingOffset,
                    &p.mScalingPivot, &p.mScalingPivotUpdateOffset, &p.mTranslationMin, &p.mTranslationMax,
                    &p.mPreRotation, &p.mPostRotation, &p.mRotationMin, &p.mRotationMax, &p.mScalingMin, &p.mScalingMax,
                    &p.mGeometricTranslation, &p.mGeometricRotation})
        KPropertyCopyValue(row->Value(), zero);
    KPropertyCopyValue(p.mGeometricScaling.Value(), KgeTVector(1.0, 1.0, 1.0, 1.0));
    for (KQoxNodeProperties::Row<bool>* row :
         BoolRows{&p.mTranslationActive, &p.mTranslationMinX, &p.mTranslationMinY, &p.mTranslationMinZ,
                  &p.mTranslationMaxX,   &p.mTranslationMaxY, &p.mTranslationMaxZ, &p.mRotationSpaceForLimitOnly,
                  &p.mRotationActive,    &p.mRotationMinX,    &p.mRotationMinY,    &p.mRotationMinZ,
                  &p.mRotationMaxX,      &p.mRotationMaxY,    &p.mRotationMaxZ,    &p.mScalingActive,
                  &p.mScalingMinX,       &p.mScalingMinY,     &p.mScalingMinZ,     &p.mScalingMaxX,
                  &p.mScalingMaxY,       &p.mScalingMaxZ})
        row->Value() = false;
    p.mRotationOrder.Value() = eEULER_XYZ;
    p.mInheritType.Value() = eINHERIT_RrSs;
    p.mAxisLen.Value() = 0.0;

    p.mQuaternionInterpolate.Set(false);
    p.mRotationStiffnessX.Set(0.0);
    p.mRotationStiffnessY.Set(0.0);
    p.mRotationStiffnessZ.Set(0.0);

    p.mPivots.Reset(0);
    p.mPivots.Reset(1);
}

// ---------------------------------------------------------------------------
// Hierarchy

namespace {

// Calls visit(table) on the node tables among the sources of node's table,
// in order (what its children view holds), until visit returns false.
template <class Visit>
void ForEachChildTable(KQoxNode* node, Visit visit)
{
    KPlug* table = node ? node->GetPropertyHandler() : nullptr;
    const int count = table ? table->GetSrcCount() : 0;
    for (int i = 0; i < count; ++i)
    {
        KPlug* plug = table->GetSrc(i);
        if (plug && plug->Is(KQoxNodeProperties::ClassId) && !visit(static_cast<KQoxNodeProperties*>(plug)))
            return;
    }
}

} // namespace

bool KQoxHasChild(KQoxNode* node)
{
    bool found = false;
    ForEachChildTable(node, [&found](KQoxNodeProperties*) {
        found = true;
        return false;
    });
    return found;
}

void KQoxAddChildren(KQoxNode* node, KArrayTemplate<KQoxNode*>& out)
{
    ForEachChildTable(node, [&out](KQoxNodeProperties* table) {
        if (KQoxNode* child = table->GetKQoxNode())
            out.Add(child);
        return true;
    });
}

KQoxNode* KQoxChildAt(KQoxNode* node, int index)
{
    KQoxNode* found = nullptr;
    ForEachChildTable(node, [&found, &index](KQoxNodeProperties* table) {
        if (index-- > 0)
            return true;
        found = table->GetKQoxNode();
        return false;
    });
    return found;
}

KQoxNode* KQoxNode::GetParent()
{
    if (!mProperties)
        return nullptr;
    const int count = mProperties->GetDstCount();
    for (int i = 0; i < count; ++i)
    {
        KPlug* plug = mProperties->GetDst(i);
        if (plug && plug->Is(KQoxNodeProperties::ClassId))
            return static_cast<KQoxNodeProperties*>(plug)->GetKQoxNode();
    }
    return nullptr;
}

bool KQoxNode::IsSelfOrAncestorOf(KQoxNode* node)
{
    if (node == this)
        return true;
    // A leaf is nobody's ancestor: keeps attaching new leaves constant-time.
    if (!node || !KQoxHasChild(this))
        return false;
    for (KQoxNode* up = node->GetParent(); up; up = up->GetParent())
        if (up == this)
            return true;
    return false;
}

bool KQoxNode::AddChild(KQoxNode* child)
{
    if (!child || !child->mProperties)
        return false;
    // Checked before the child leaves its old parent, so a refused move
    // changes nothing. A child without children can be an ancestor of
    // nothing but itself: the walk up from this node is for subtrees only.
    if (child == this || (KQoxHasChild(child) && child->IsSelfOrAncestorOf(this)))
    {
        mError.SetLastErrorID(eCYCLIC_GRAPH);
        return false;
    }
    if (KQoxNode* oldParent = child->GetParent())
        oldParent->RemoveChild(child);
    if (!mProperties->ConnectSrc(child->mProperties))
        return false;
    // Attaching moves the child's subtree into this node's entity; a name
    // clash there leaves it out, and then the attachment is undone.
    if (child->GetEntity() != mEntity)
    {
        const int error = child->GetLastErrorID();
        mProperties->DisconnectSrc(child->mProperties);
        mError.SetLastErrorID(error);
        return false;
    }
    return true;
}

KQoxNode* KQoxNode::RemoveChild(KQoxNode* child)
{
    if (!child)
        return child;
    if (mProperties && child->mProperties)
        mProperties->DisconnectSrc(child->mProperties);
    return child;
}

int KQoxNode::GetChildCount(bool recursive)
{
    KPlug* view = ChildView(mProperties);
    if (!view)
        return 0;
    const int count = view->GetSrcCount();
    if (!recursive)
        return count;
    int total = -1; // this node is not counted
    KQoxWalkPreOrder(this, [&total](KQoxNode*) {
        ++total;
        return true;
    });
    return total;
}

KQoxNode* KQoxNode::GetChild(int index)
{
    KPlug* view = ChildView(mProperties);
    if (!view || index < 0 || index >= view->GetSrcCount())
        return nullptr;
    KPlug* plug = view->GetSrc(index);
    return plug ? static_cast<KQoxNodeProperties*>(plug)->GetKQoxNode() : nullptr;
}

KQoxNode* KQoxNode::FindChild(const char* name, bool recursive, bool initialName)
{
    const KString fullName = KQoxSdkManager::PrefixName("Model::", name);
    auto matches = [&](KQoxNode* node) {
        return fullName.Compare(initialName ? node->GetInitialName() : node->GetName()) == 0;
    };
    KQoxNode* found = nullptr;
    if (!recursive)
    {
        for (int i = 0; i < GetChildCount(false) && !found; ++i)
            if (KQoxNode* child = GetChild(i))
                if (matches(child))
                    found = child;
        return found;
    }
    // Pre-order below this node: a child, then its subtree, then the next.
    KQoxWalkPreOrder(this, [&](KQoxNode* node) {
        if (node != this && matches(node))
            found = node;
        return found == nullptr;
    });
    return found;
}

// ---------------------------------------------------------------------------
// Targets

KQoxNode* KQoxNode::FirstListedNode(KPropertyObjectList& list)
{
    const int count = list.GetSrcCount();
    for (int i = 0; i < count; ++i)
    {
        KPlug* plug = list.GetSrc(i);
        if (plug && plug->Is(KQoxNodeProperties::ClassId))
            return static_cast<KQoxNodeProperties*>(plug)->GetKQoxNode();
    }
    return nullptr;
}

void KQoxNode::SetTarget(KQoxNode* target)
{
    if (!target || !target->mProperties || !mProperties)
        return;
    if (!mProperties->mLookAtProperty.IsConnectedSrc(target->mProperties))
        mProperties->mLookAtProperty.ConnectSrc(target->mProperties);
}

KQoxNode* KQoxNode::GetTarget() const
{
    KPropertyObjectList* list = mProperties ? mProperties->mLookAtProperty.IfMade() : nullptr;
    return list ? FirstListedNode(*list) : nullptr;
}

void KQoxNode::SetTargetUp(KQoxNode* target)
{
    if (!target || !target->mProperties || !mProperties)
        return;
    if (!mProperties->mUpVectorProperty.IsConnectedSrc(target->mProperties))
        mProperties->mUpVectorProperty.ConnectSrc(target->mProperties);
}

KQoxNode* KQoxNode::GetTargetUp() const
{
    KPropertyObjectList* list = mProperties ? mProperties->mUpVectorProperty.IfMade() : nullptr;
    return list ? FirstListedNode(*list) : nullptr;
}

// ---------------------------------------------------------------------------
// Visibility

void KQoxNode::SetVisibility(bool visible)
{
    mProperties->mShow.Set(visible);
    KProperty* visibility = mProperties->mVisibility;
    if (!visibility)
        return;
    visibility->SetDouble(visible ? 1.0 : 0.0);
    // The Default take holds the static values: its channel (or the value
    // kept for it while it is owed) follows, as files write it from there.
    if (IsDefaultTakePending())
        RememberDefaultValues(visibility);
    else if (KQoxTakeNode* take = GetBuiltTakeNode(0))
        UpdateDefaultValuesWithProperty(FindChannelNode(take->GetKFCurveNode(), "Visibility"), visibility);
}

bool KQoxNode::GetVisibility()
{
    return mProperties->mVisibility ? mProperties->mVisibility->AsDouble() != 0.0 : false;
}

// ---------------------------------------------------------------------------
// Attribute

KQoxNodeAttribute* KQoxNode::SetNodeAttribute(KQoxNodeAttribute* attribute)
{
    if (attribute == mNodeAttribute)
        return nullptr;
    KQoxNodeAttribute* previous = mNodeAttribute;
    mNodeAttribute = attribute;
    if (previous)
        previous->UnsetNode();
    if (attribute)
    {
        if (KQoxNode* holder = attribute->GetNode())
            holder->SetNodeAttribute(nullptr);
        attribute->SetNode(*this);
    }
    const int type = attribute ? attribute->GetAttributeType() : 0;
    const int marker = type == KQoxNodeAttribute::eMARKER ? attribute->GetMarkerType() : -1;
    mMultiLayer = marker == 2 || marker == 3;
    mMultiTakeMode = (type == KQoxNodeAttribute::eLIGHT || type == KQoxNodeAttribute::eCAMERA || marker == 1)
                         ? eNO_MULTI_TAKE
                         : eMULTI_TAKE;
    return previous;
}

void KQoxNode::ForgetNodeAttribute(KQoxNodeAttribute* attribute)
{
    if (attribute && attribute == mNodeAttribute)
        mNodeAttribute = nullptr;
    // Nothing kept for the owed Default take may name it any more.
    if (attribute && attribute == mChannellessAttribute)
        mChannellessAttribute = nullptr;
    if (attribute)
        ForgetDefaultChannels(attribute);
}

KQoxNodeAttribute* KQoxNode::AttributeOfType(int type) const
{
    return (mNodeAttribute && mNodeAttribute->GetAttributeType() == type) ? mNodeAttribute : nullptr;
}

// The typed views check the class as well as the type code, so an attribute
// of another class that answers the same code is no such attribute.
KQoxNull* KQoxNode::GetNull() const
{
    return dynamic_cast<KQoxNull*>(AttributeOfType(KQoxNodeAttribute::eNULL));
}

KQoxMarker* KQoxNode::GetMarker() const
{
    return dynamic_cast<KQoxMarker*>(AttributeOfType(KQoxNodeAttribute::eMARKER));
}

KQoxSkeleton* KQoxNode::GetSkeleton() const
{
    return dynamic_cast<KQoxSkeleton*>(AttributeOfType(KQoxNodeAttribute::eSKELETON));
}

KQoxCamera* KQoxNode::GetCamera() const
{
    return dynamic_cast<KQoxCamera*>(AttributeOfType(KQoxNodeAttribute::eCAMERA));
}

KQoxCameraSwitcher* KQoxNode::GetCameraSwitcher() const
{
    return dynamic_cast<KQoxCameraSwitcher*>(AttributeOfType(KQoxNodeAttribute::eCAMERA_SWITCHER));
}

KQoxLight* KQoxNode::GetLight() const
{
    return dynamic_cast<KQoxLight*>(AttributeOfType(KQoxNodeAttribute::eLIGHT));
}

KQoxOpticalReference* KQoxNode::GetOpticalReference() const
{
    return dynamic_cast<KQoxOpticalReference*>(AttributeOfType(KQoxNodeAttribute::eOPTICAL_REFERENCE));
}

KQoxNodeAttribute* KQoxNode::GetGeometry() const
{
    if (!mNodeAttribute)
        return nullptr;
    const int type = mNodeAttribute->GetAttributeType();
    return (type == KQoxNodeAttribute::eMESH || type == KQoxNodeAttribute::eNURB || type == KQoxNodeAttribute::ePATCH)
               ? mNodeAttribute
               : nullptr;
}

// ---------------------------------------------------------------------------
// Selection

void KQoxNode::SetSelected(bool selected, bool recursive)
{
    if (!recursive)
    {
        mSelected = selected;
        return;
    }
    KQoxWalkPreOrder(this, [selected](KQoxNode* node) {
        node->mSelected = selected;
        return true;
    });
}

bool KQoxNode::GetSelected(bool recursive)
{
    if (mSelected || !recursive)
        return mSelected;
    // The walk stops at the first selected node.
    return !KQoxWalkPreOrder(this, [](KQoxNode* node) { return !node->mSelected; });
}

// ---------------------------------------------------------------------------
// Character links and child names

bool KQoxNode::GetCharacterLink(int index, KQoxCharacter** character, int* type, int* linkIndex, int* subIndex)
{
    if (index < 0 || index >= mCharacterLinks.GetCount() || !character || !type || !linkIndex || !subIndex)
        return false;
    const KQoxLinkToCharacter& link = mCharacterLinks[index];
    *character = link.mCharacter;
    *type = link.mType;
    *linkIndex = link.mIndex;
    *subIndex = link.mSubIndex;
    return true;
}

int KQoxNode::FindCharacterLink(KQoxCharacter* character, int type, int index, int subIndex)
{
    if (!character)
        return -1;
    const KQoxLinkToCharacter wanted = {character, type, index, subIndex};
    for (int i = 0; i < mCharacterLinks.GetCount(); ++i)
        if (mCharacterLinks[i] == wanted)
            return i;
    return -1;
}

int KQoxNode::AddCharacterLink(KQoxCharacter* character, int type, int index, int subIndex)
{
    return mCharacterLinks.Add(KQoxLinkToCharacter{character, type, index, subIndex});
}

int KQoxNode::RemoveCharacterLink(KQoxCharacter* character, int type, int index, int subIndex)
{
    const KQoxLinkToCharacter wanted = {character, type, index, subIndex};
    for (int i = 0; i < mCharacterLinks.GetCount(); ++i)
        if (mCharacterLinks[i] == wanted)
        {
            mCharacterLinks.RemoveAt(i);
            return i;
        }
    return -1;
}

void KQoxNode::AddChildName(const char* name)
{
    mChildNames.Add(new KString(name));
}

char* KQoxNode::GetChildName(unsigned int index)
{
    if (index >= static_cast<unsigned int>(mChildNames.GetCount()))
        return nullptr;
    return mChildNames[static_cast<int>(index)]->Buffer();
}

} // namespace qoxsdk_600
