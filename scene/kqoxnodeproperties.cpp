#include "scene/kqoxnodeproperties.h"

#include <cmath>

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

template <class T>
void KQoxNodeProperties::AddRow(Row<T>& row, const char* name, int flags, void (KQoxNodeProperties::*set)(T),
                                T (KQoxNodeProperties::*get)())
{
    PropertyAddToList(&row);
    const bool enumeration = KPropertyGetType(static_cast<T*>(nullptr)) == kPropertyTypeEnum;
    row.SetPropertyType(enumeration ? kPropertyTypeUnknown : KPropertyGetType(static_cast<T*>(nullptr)));
    row.SetPropertyInfo(name, this,
                        KPropertyMemberCast<KPropertyAccessor>(
                            static_cast<T (KPlug::*)()>(static_cast<T (KQoxNodeProperties::*)()>(get))),
                        KPropertyMemberCast<KPropertyAccessor>(
                            static_cast<void (KPlug::*)(T)>(static_cast<void (KQoxNodeProperties::*)(T)>(set))));
    if (flags)
        row.ModifyPropertyFlag(flags, true);
}

void KQoxNodeProperties::AddObjectList(KPropertyObjectList& list, const char* name,
                                       bool (KQoxNodeProperties::*set)(int, KObject*),
                                       KObject* (KQoxNodeProperties::*get)(int))
{
    PropertyAddToList(&list);
    list.Init(nullptr);
    list.SetPropertyInfo(name, this, KPropertyMemberCast<KPropertyAccessor>(static_cast<KObject* (KPlug::*)(int)>(get)),
                         KPropertyMemberCast<KPropertyAccessor>(static_cast<bool (KPlug::*)(int, KObject*)>(set)));
    list.SetFilter(KPlug_GetFilter(ClassId), 0);
    list.SetPropertyType(kPropertyTypeObject);
    list.SetContentSpec(1, ClassId);
    list.SetDirection(KPlug::eAcceptSrc);
}

KProperty* KQoxNodeProperties::AddChannel(const char* name)
{
    KDataType* dataType = KDataTypeGet(name);
    if (!dataType)
        return nullptr;
    KProperty* property =
        CreatePropertyFromType(name, DataTypeToPropertyType(dataType), dataType, false, false, nullptr);
    if (property)
    {
        property->GetPropertyInfo().ModifyFlag(KPropertyInfo::eAnimatable, true);
        property->ModifyPropertyFlag(KProperty::eAnimated, true);
    }
    return property;
}

KQoxNodeProperties::KQoxNodeProperties(KQoxTakeNodeContainer* node)
    : mNode(static_cast<KQoxNode*>(node))
{
#define KQOX_NODE_PROPERTY_ADD(Name, Type, Flags)                                                                      \
    AddRow<Type>(m##Name, #Name, Flags, &KQoxNodeProperties::Name##Set, &KQoxNodeProperties::Name##Get);
    KQOX_NODE_PROPERTY_ROWS_BEFORE_LISTS(KQOX_NODE_PROPERTY_ADD)
    AddObjectList(mLookAtProperty, "LookAtProperty", &KQoxNodeProperties::LookAtPropertySet,
                  &KQoxNodeProperties::LookAtPropertyGet);
    AddObjectList(mUpVectorProperty, "UpVectorProperty", &KQoxNodeProperties::UpVectorPropertySet,
                  &KQoxNodeProperties::UpVectorPropertyGet);
    mLookAtProperty.ModifyPropertyFlag(1, true);
    mUpVectorProperty.ModifyPropertyFlag(1, true);
    KQOX_NODE_PROPERTY_ROWS_AFTER_LISTS(KQOX_NODE_PROPERTY_ADD)
#undef KQOX_NODE_PROPERTY_ADD

    // The two enumerations are typed only once named, with their texts.
    mRotationOrder.SetPropertyType(kPropertyTypeEnum);
    mRotationOrder.GetPropertyInfo().SetAsStringFunc(static_cast<KPropertyToString>(
        static_cast<char* (KQoxNodeProperties::*)(int)>(&KQoxNodeProperties::RotationOrderText)));
    mInheritType.SetPropertyType(kPropertyTypeEnum);
    mInheritType.GetPropertyInfo().SetAsStringFunc(static_cast<KPropertyToString>(
        static_cast<char* (KQoxNodeProperties::*)(int)>(&KQoxNodeProperties::InheritTypeText)));

    mShow.Set(true);
    mNegativePercentShapeSupport.Set(true);

    mLclTranslation = AddChannel("Lcl Translation");
    mLclRotation = AddChannel("Lcl Rotation");
    mLclScaling = AddChannel("Lcl Scaling");
    if (mLclScaling)
    {
        KgeTVector one(1.0, 1.0, 1.0, 1.0);
        mLclScaling->SetData(&one, 0, nullptr, nullptr);
    }
    mVisibility = AddChannel("Visibility");
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
