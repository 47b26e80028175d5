#include "scene/kqoxnodeproperties.h"

#include <atomic>
#include <cmath>
#include <cstring>

#include "scene/kqoxnode.h"

namespace qoxsdk_600 {

KPLUG_CLASS_IMPLEMENT(KQoxNodeProperties, KQoxPropertyHandler, "KQoxNodeProperties")

namespace {

const char* const kRotationOrderTexts[] = {"Euler XYZ", "Euler XZY", "Euler YZX",  "Euler YXZ",
                                           "Euler ZXY", "Euler ZYX", "Spheric XYZ"};
// Type 1 has no text of its own; it shares the text of type 0.
const char* const kInheritTypeTexts[] = {"RrSs", "RrSs", "Rrs"};

// Vector rows keep their own w; bool, double and enumeration rows take the value.
template <class T>
void StoreValue(T& to, const T& from)
{
    to = from;
}
void StoreValue(KgeTVector& to, const KgeTVector& from)
{
    to.x = from.x;
    to.y = from.y;
    to.z = from.z;
}
template <class T>
T LoadValue(const T& from)
{
    return from;
}
KgeTVector LoadValue(const KgeTVector& from)
{
    return KgeTVector(from.x, from.y, from.z, 1.0);
}

} // namespace

void KQoxNodeProperties::KQoxPivot::Reset()
{
    const KQoxVector4 point(0.0, 0.0, 0.0, 1.0);
    mRotationOffset = point;
    mRotationPivot = point;
    mRotationPivotUpdateOffset = point;
    mPreRotation = point;
    mPostRotation = point;
    mScalingOffset = point;
    mScalingPivot = point;
    mScalingPivotUpdateOffset = point;
    mGeometricTranslation = point;
    mGeometricRotation = point;
    mGeometricScaling = KQoxVector4(1.0, 1.0, 1.0, 1.0);
    mRotationOrder = eEULER_XYZ;
    mRotationSpaceForLimitOnly = false;
    mGlobalMatrixValid = false;
    mPivotState = ePIVOT_STATE_REFERENCE;
}

KQoxNodeProperties::KQoxPivot& KQoxNodeProperties::KQoxPivotPair::operator[](int set)
{
    if (!mSets)
        mSets.reset(new KQoxPivot[2]);
    return mSets[set];
}

const KQoxNodeProperties::KQoxPivot& KQoxNodeProperties::KQoxPivotPair::operator[](int set) const
{
    static const KQoxPivot reset;
    return mSets ? mSets[set] : reset;
}

void KQoxNodeProperties::KQoxPivotPair::Reset(int set)
{
    if (mSets)
        mSets[set].Reset();
}

namespace {

// Positions of the value rows among the shared descriptors.
enum
{
#define KQOX_NODE_PROPERTY_INDEX(Name, Type, Flags) kRow##Name,
    KQOX_NODE_PROPERTY_ROWS(KQOX_NODE_PROPERTY_INDEX)
#undef KQOX_NODE_PROPERTY_INDEX
    kRowCount
};

const char* const kChannelNames[4] = {"Lcl Translation", "Lcl Rotation", "Lcl Scaling", "Visibility"};

// The descriptors every node's table shares: one per value row and object
// list, as the rows are set up, and one per channel, copied from the first
// channel property made.
struct SharedDescriptors
{
    KPropertyInfo mRows[kRowCount];
    KPropertyInfo mLookAt;
    KPropertyInfo mUpVector;
    std::atomic<const KPropertyInfo*> mChannels[4] = {};
};

template <class T>
void DescribeRow(KPropertyInfo& info, const char* name, void (KQoxNodeProperties::*set)(T),
                 T (KQoxNodeProperties::*get)())
{
    info.mType = KPropertyGetType(static_cast<T*>(nullptr));
    info.mName = name;
    info.mGetter = KPropertyMemberCast<KPropertyAccessor>(
        static_cast<T (KPlug::*)()>(static_cast<T (KQoxNodeProperties::*)()>(get)));
    info.mSetter = KPropertyMemberCast<KPropertyAccessor>(
        static_cast<void (KPlug::*)(T)>(static_cast<void (KQoxNodeProperties::*)(T)>(set)));
}

void DescribeObjectList(KPropertyInfo& info, const char* name, bool (KQoxNodeProperties::*set)(int, KObject*),
                        KObject* (KQoxNodeProperties::*get)(int))
{
    info.ModifyFlag(KPropertyInfo::eList | KPropertyInfo::eObjectList, true);
    info.mType = kPropertyTypeObject;
    info.mName = name;
    info.mGetter = KPropertyMemberCast<KPropertyAccessor>(static_cast<KObject* (KPlug::*)(int)>(get));
    info.mSetter = KPropertyMemberCast<KPropertyAccessor>(static_cast<bool (KPlug::*)(int, KObject*)>(set));
}

SharedDescriptors* MakeSharedDescriptors()
{
    SharedDescriptors* shared = new SharedDescriptors;
#define KQOX_NODE_PROPERTY_DESCRIBE(Name, Type, Flags)                                                                 \
    DescribeRow<Type>(shared->mRows[kRow##Name], #Name, &KQoxNodeProperties::Name##Set, &KQoxNodeProperties::Name##Get);
    KQOX_NODE_PROPERTY_ROWS(KQOX_NODE_PROPERTY_DESCRIBE)
#undef KQOX_NODE_PROPERTY_DESCRIBE
    // The two enumerations show their values through texts.
    shared->mRows[kRowRotationOrder].SetAsStringFunc(static_cast<KPropertyToString>(
        static_cast<char* (KQoxNodeProperties::*)(int)>(&KQoxNodeProperties::RotationOrderText)));
    shared->mRows[kRowInheritType].SetAsStringFunc(static_cast<KPropertyToString>(
        static_cast<char* (KQoxNodeProperties::*)(int)>(&KQoxNodeProperties::InheritTypeText)));
    DescribeObjectList(shared->mLookAt, "LookAtProperty", &KQoxNodeProperties::LookAtPropertySet,
                       &KQoxNodeProperties::LookAtPropertyGet);
    DescribeObjectList(shared->mUpVector, "UpVectorProperty", &KQoxNodeProperties::UpVectorPropertySet,
                       &KQoxNodeProperties::UpVectorPropertyGet);
    return shared;
}

// Made on first use and kept for the life of the process: the properties of
// every node point into it.
SharedDescriptors& Shared()
{
    static SharedDescriptors* const shared = MakeSharedDescriptors();
    return *shared;
}

bool SameText(const char* a, const char* b)
{
    return a == b || (a && b && strcmp(a, b) == 0);
}

// Whether two descriptors answer every query alike (the world index apart,
// which only a registered property has).
bool SameDescriptor(const KPropertyInfo& a, const KPropertyInfo& b)
{
    return a.mFlags == b.mFlags && a.mType == b.mType && SameText(a.mName, b.mName) && SameText(a.mLabel, b.mLabel) &&
           a.mDataType == b.mDataType && a.mGetter == b.mGetter && a.mSetter == b.mSetter &&
           std::memcmp(&a.mMin, &b.mMin, sizeof(double)) == 0 && std::memcmp(&a.mMax, &b.mMax, sizeof(double)) == 0 &&
           a.mToString == b.mToString && a.mEnumList == b.mEnumList && a.mWorldIndex == b.mWorldIndex;
}

} // namespace

template <class T>
void KQoxNodeProperties::AddRow(Row<T>& row, int index, int flags)
{
    PropertyAddToList(&row);
    row.SetSharedPropertyInfo(&Shared().mRows[index]);
    ConnectOwnedPlug(&row);
    if (flags)
        row.ModifyPropertyFlag(flags, true);
}

void KQoxNodeProperties::AddObjectList(KPropertyObjectList& list, const KPropertyInfo& info)
{
    PropertyAddToList(&list);
    list.SetSharedPropertyInfo(&info);
    ConnectOwnedPlug(&list);
    list.SetFilter(KPlug_GetFilter(ClassId), 0);
    list.SetContentSpec(1, ClassId);
    list.SetDirection(KPlug::eAcceptSrc);
}

KProperty* KQoxNodeProperties::AddChannel(int channel)
{
    const char* name = kChannelNames[channel];
    KDataType* dataType = KDataTypeGet(name);
    if (!dataType)
        return nullptr;
    KProperty* property =
        CreatePropertyFromType(name, DataTypeToPropertyType(dataType), dataType, false, false, nullptr);
    if (!property)
        return nullptr;
    property->GetPropertyInfo().ModifyFlag(KPropertyInfo::eAnimatable, true);
    property->ModifyPropertyFlag(KProperty::eAnimated, true);

    // The first node's channel becomes the shared descriptor; later nodes
    // share it whenever theirs came out the same (it may not, when a data
    // type was replaced or the name was taken).
    std::atomic<const KPropertyInfo*>& slot = Shared().mChannels[channel];
    const KPropertyInfo* shared = slot.load(std::memory_order_acquire);
    if (!shared)
    {
        KPropertyInfo* made = KPropertyInfo::Clone(property->ReadPropertyInfo());
        if (slot.compare_exchange_strong(shared, made, std::memory_order_acq_rel))
            shared = made;
        else
            delete made;
    }
    if (SameDescriptor(*shared, property->ReadPropertyInfo()))
        property->SetSharedPropertyInfo(shared);
    return property;
}

KQoxNodeProperties::KQoxNodeProperties(KQoxTakeNodeContainer* node)
    : mNode(static_cast<KQoxNode*>(node))
{
#define KQOX_NODE_PROPERTY_ADD(Name, Type, Flags) AddRow<Type>(m##Name, kRow##Name, Flags);
    KQOX_NODE_PROPERTY_ROWS_BEFORE_LISTS(KQOX_NODE_PROPERTY_ADD)
    AddObjectList(mLookAtProperty, Shared().mLookAt);
    AddObjectList(mUpVectorProperty, Shared().mUpVector);
    mLookAtProperty.ModifyPropertyFlag(1, true);
    mUpVectorProperty.ModifyPropertyFlag(1, true);
    KQOX_NODE_PROPERTY_ROWS_AFTER_LISTS(KQOX_NODE_PROPERTY_ADD)
#undef KQOX_NODE_PROPERTY_ADD

    mShow.Set(true);
    mNegativePercentShapeSupport.Set(true);

    mLclTranslation = AddChannel(0);
    mLclRotation = AddChannel(1);
    mLclScaling = AddChannel(2);
    if (mLclScaling)
    {
        KgeTVector one(1.0, 1.0, 1.0, 1.0);
        mLclScaling->SetData(&one, 0, nullptr, nullptr);
    }
    mVisibility = AddChannel(3);
    if (mVisibility)
        mVisibility->SetDouble(1.0);
}

KQoxNodeProperties::~KQoxNodeProperties() {}

IKObject* KQoxNodeProperties::IQuery(unsigned long interfaceId, int flags)
{
    return KObject::IQuery(interfaceId, flags);
}

int KQoxNodeProperties::GetClassGroupId()
{
    return KObject::ClassGroupId;
}

const char* KQoxNodeProperties::GetClassGroupName()
{
    return KObject::ClassGroupName;
}

void KQoxNodeProperties::DefaultValueChanged(KQoxUserProperty* property)
{
    if (mNode)
        mNode->PropertyDefaultValueChanged(property);
}

KQoxObject* KQoxNodeProperties::GetKQoxObject()
{
    return mNode;
}

char* KQoxNodeProperties::RotationOrderAsString(ERotationOrder order)
{
    int i = static_cast<int>(order);
    return (i >= 0 && i <= 6) ? const_cast<char*>(kRotationOrderTexts[i]) : nullptr;
}

char* KQoxNodeProperties::InheritTypeAsString(ETransformInheritType type)
{
    int i = static_cast<int>(type);
    return (i >= 0 && i <= 2) ? const_cast<char*>(kInheritTypeTexts[i]) : nullptr;
}

char* KQoxNodeProperties::RotationOrderText(int value)
{
    return RotationOrderAsString(static_cast<ERotationOrder>(value));
}

char* KQoxNodeProperties::InheritTypeText(int value)
{
    return InheritTypeAsString(static_cast<ETransformInheritType>(value));
}

#define KQOX_NODE_PROPERTY_ACCESSORS(Name, Type, Flags)                                                                \
    void KQoxNodeProperties::Name##Set(Type value)                                                                     \
    {                                                                                                                  \
        StoreValue(m##Name.Value(), value);                                                                            \
    }                                                                                                                  \
    Type KQoxNodeProperties::Name##Get()                                                                               \
    {                                                                                                                  \
        return LoadValue(m##Name.Value());                                                                             \
    }
KQOX_NODE_PROPERTY_ROWS(KQOX_NODE_PROPERTY_ACCESSORS)
#undef KQOX_NODE_PROPERTY_ACCESSORS

bool KQoxNodeProperties::PlugNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, int index, KPlug* other,
                                    kConnectionType type, KPlug* extra)
{
    if (plug == this && mNode)
    {
        KQoxNodeProperties* otherTable =
            (other && other->Is(ClassId)) ? static_cast<KQoxNodeProperties*>(other) : nullptr;
        KQoxNode* otherNode = otherTable ? otherTable->mNode : nullptr;
        KQoxEntity* entity = mNode->GetEntity();
        KQoxEntity* otherEntity = otherNode ? otherNode->GetEntity() : nullptr;
        switch (action)
        {
        case kPlugRequestSrc:
            // A node already in this node's entity, or this node itself or one
            // of its ancestors, cannot become its child.
            if ((entity && entity == otherEntity) || (otherNode && otherNode->IsSelfOrAncestorOf(mNode)))
            {
                mNode->GetError().SetLastErrorID(KQoxNode::eCYCLIC_GRAPH);
                return false;
            }
            break;
        case kPlugSrcConnected:
            if (otherNode)
                otherNode->SetEntity(entity, false);
            break;
        case kPlugSrcDisconnected:
            if (otherNode)
                otherNode->SetEntity(nullptr, false);
            break;
        default: break;
        }
    }
    return KObject::PlugNotify(callstack, action, plug, index, other, type, extra);
}

bool operator!=(const KgeTVector& a, const KQoxVector4& b)
{
    const double left[4] = {a.x, a.y, a.z, a.w};
    for (int i = 0; i < 4; ++i)
        if (std::isnan(left[i]) || std::isnan(b[i]) || left[i] != b[i])
            return true;
    return false;
}

} // namespace qoxsdk_600
