#include "character/kqoxcharacterproperties.h"

#include <cstdio>

#include "character/kqoxcharacter.h"
#include "character/kqoxfilterset.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxpropertybinding.h"

namespace qoxsdk_600 {

KPLUG_CLASS_IMPLEMENT(KQoxCharacterProperties, KQoxPropertyHandler, "KQoxCharacterProperties")

const char* const KQoxCharacterProperties::ClassName = "KQoxCharacterProperties";

namespace {

// Setter ranges.
const double kPullIterationMin = 0.0;
const double kPullIterationMax = 30.0;
const double kDistanceMin = 0.01;
const double kDistanceMax = 1000.0;

// Node link properties: plug type 0, any class, one object, connected as
// sources (direction 3), no own flags.
const KPlug::kType kNodeLinkPlugType = 0;
const int kAnyClass = -1;
const int kNodeLinkCount = 1;
const KPlug::kDirection kNodeLinkDirection = 3;
const char* const kNodeLinkFormat = "%sLink";

// The five object lists: sub-plugs for the first two, sources except for
// "DestinationObject".
const KPlug::kType kSubPlugType = 8;
const KPlug::kType kPlainPlugType = 0;
const KPlug::kDirection kSourceDirection = 1;
const KPlug::kDirection kDestinationDirection = 2;
const int kObjectListCount = 1;

double Clamp(double value, double low, double high)
{
    return value < low ? low : (value > high ? high : value);
}

// The scene object whose property block the plug is, when it is of class C.
template <class C>
C* ObjectOfPlug(KPlug* plug)
{
    return dynamic_cast<C*>(GetKQoxObjectOfPlug(plug));
}

// The property-type code of a row's value type.
template <class T>
kPropertyType TypeCode()
{
    return kPropertyTypeEnum;
}
template <>
kPropertyType TypeCode<bool>()
{
    return kPropertyTypeBool;
}
template <>
kPropertyType TypeCode<double>()
{
    return kPropertyTypeDouble;
}
template <>
kPropertyType TypeCode<KgeTVector>()
{
    return kPropertyTypeVector3D;
}

} // namespace

// ---------------------------------------------------------------------------
// Construction

KQoxCharacterProperties::KQoxCharacterProperties(KQoxCharacter* character)
    : mCharacter(character)
{
    mHipsTOffset.Held() = KgeTVector(0.0, 0.0, 0.0, 1.0);
    mChestTOffset.Held() = KgeTVector(0.0, 0.0, 0.0, 1.0);
    DeclareTypedProperties();
    mActive.Set(true);
    mLock.Set(false);
    mWeight.Set(100.0);
#define QOX_CP_ANIM_ANIM(name) m##name.GetPropertyInfo().ModifyFlag(KPropertyInfo::eAnimatable, true);
#define QOX_CP_ANIM_STILL(name)
#define QOX_CP_FLAG(name, type, access, anim, setter, param, from, write, text) QOX_CP_ANIM_##anim(name)
    QOX_CHARACTER_PROPERTIES(QOX_CP_FLAG)
#undef QOX_CP_FLAG
#undef QOX_CP_ANIM_STILL
#undef QOX_CP_ANIM_ANIM
    FilterSetToProperties();
    CreateNodeLinkProperties();
    DeclareObjectList(mSourceObject, "SourceObject", kSubPlugType, kSourceDirection,
                      &KQoxCharacterProperties::SourceObjectGet, &KQoxCharacterProperties::SourceObjectSet);
    DeclareObjectList(mDestinationObject, "DestinationObject", kSubPlugType, kDestinationDirection,
                      &KQoxCharacterProperties::DestinationObjectGet, &KQoxCharacterProperties::DestinationObjectSet);
    DeclareObjectList(mActor, "Actor", kPlainPlugType, kSourceDirection, &KQoxCharacterProperties::ActorGet,
                      &KQoxCharacterProperties::ActorSet);
    DeclareObjectList(mCharacterList, "Character", kPlainPlugType, kSourceDirection,
                      &KQoxCharacterProperties::CharacterGet, &KQoxCharacterProperties::CharacterSet);
    DeclareObjectList(mControlSet, "ControlSet", kPlainPlugType, kSourceDirection,
                      &KQoxCharacterProperties::ControlSetGet, &KQoxCharacterProperties::ControlSetSet);
}

KQoxCharacterProperties::~KQoxCharacterProperties() {}

void KQoxCharacterProperties::DeclareTypedProperties()
{
    typedef KQoxCharacterProperties Self;
#define QOX_CP_SETTER_RW(name) &Self::name##Set
#define QOX_CP_SETTER_RO(name) nullptr
#define QOX_CP_TEXT_PLAIN(name)
#define QOX_CP_TEXT_VECTOR(name)
#define QOX_CP_TEXT_ENUM(name)                                                                                         \
    m##name.GetPropertyInfo().SetAsStringFunc(static_cast<KPropertyToString>(&Self::name##AsString));
#define QOX_CP_READONLY_RW(name)
#define QOX_CP_READONLY_RO(name) m##name.SetReadOnly(true);
#define QOX_CP_DECLARE(name, type, access, anim, setter, param, from, write, text)                                     \
    BindMemberProperty<type, Self>(m##name, #name, this, &Self::name##Get, QOX_CP_SETTER_##access(name),               \
                                   TypeCode<type>());                                                                  \
    QOX_CP_CAT(QOX_CP_TEXT_, QOX_CP_KIND_##type)(name) QOX_CP_READONLY_##access(name)
    QOX_CHARACTER_PROPERTIES(QOX_CP_DECLARE)
#undef QOX_CP_DECLARE
#undef QOX_CP_READONLY_RO
#undef QOX_CP_READONLY_RW
#undef QOX_CP_TEXT_ENUM
#undef QOX_CP_TEXT_PLAIN
#undef QOX_CP_TEXT_VECTOR
#undef QOX_CP_SETTER_RO
#undef QOX_CP_SETTER_RW
}

void KQoxCharacterProperties::CreateNodeLinkProperties()
{
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
    {
        KQoxCharacterLink* link = mCharacter ? mCharacter->LinkSlot(id) : nullptr;
        if (link)
            link->mPropertyLink = nullptr;
        char* nodeName = nullptr;
        if (!KQoxCharacterNodeIds::GetCharacterNodeNameFromNodeId(static_cast<ECharacterNodeId>(id), nodeName))
            continue;
        char name[128];
        std::snprintf(name, sizeof(name), kNodeLinkFormat, nodeName);
        KPropertyObjectList* property = KPropertyObjectList::Create(this, name, kNodeLinkPlugType, kAnyClass,
                                                                    kNodeLinkCount, kNodeLinkDirection, 0);
        if (!property)
            continue;
        property->SetUserWord(id);
        if (link)
            link->mPropertyLink = property;
    }
}

void KQoxCharacterProperties::DeclareObjectList(KPropertyObjectList& list, const char* name, KPlug::kType plugType,
                                                KPlug::kDirection direction,
                                                KObject* (KQoxCharacterProperties::*getter)(int),
                                                bool (KQoxCharacterProperties::*setter)(int, KObject*))
{
    PropertyAddToList(&list);
    list.Init();
    list.SetPropertyInfo(name, this, KPropertyMemberCast<KPropertyAccessor>(getter),
                         KPropertyMemberCast<KPropertyAccessor>(setter));
    list.SetFilter(KPlug_GetFilter(kAnyClass), plugType);
    list.SetPropertyType(kPropertyTypeObject);
    list.SetContentSpec(kObjectListCount, kAnyClass);
    list.SetDirection(direction);
}

// ---------------------------------------------------------------------------
// Owner

void KQoxCharacterProperties::DefaultValueChanged(KQoxUserProperty* property)
{
    if (mCharacter)
        mCharacter->PropertyDefaultValueChanged(property);
}

KQoxObject* KQoxCharacterProperties::GetKQoxObject()
{
    return mCharacter;
}

KPropertyObjectList* KQoxCharacterProperties::GetNodeLinkProperty(int id) const
{
    KQoxCharacterLink* link = mCharacter ? mCharacter->LinkSlot(id) : nullptr;
    return link ? link->mPropertyLink : nullptr;
}

// ---------------------------------------------------------------------------
// Typed accessors, generated from the table

#define QOX_CP_AFTER_STORE(name, param)
// A value-and-mode pair's value also reaches the filter set, so that a value
// set through the property is the one every file version stores.
#define QOX_CP_AFTER_PAIR(name, param) mCharacter->GetFilterSet()->SetParameterValue(param, value, 0);
// Enumerations are mirrored as signed numbers.
#define QOX_CP_AFTER_VALUE(name, param)                                                                                \
    mCharacter->GetFilterSet()->SetParameterValue(param, static_cast<double>(static_cast<int>(value)), 0);
#define QOX_CP_AFTER_CLAMP30(name, param)   mCharacter->GetFilterSet()->SetParameterValue(param, value, 0);
#define QOX_CP_AFTER_CLAMP1000(name, param) mCharacter->GetFilterSet()->SetParameterValue(param, value, 0);
#define QOX_CP_AFTER_BOOLMODE(name, param)  mCharacter->GetFilterSet()->SetParameterMode(param, value ? 1 : 0);
#define QOX_CP_AFTER_MODE(name, param)      mCharacter->GetFilterSet()->SetParameterMode(param, static_cast<int>(value));
#define QOX_CP_BEFORE_STORE
#define QOX_CP_BEFORE_PAIR
#define QOX_CP_BEFORE_VALUE
#define QOX_CP_BEFORE_BOOLMODE
#define QOX_CP_BEFORE_MODE
#define QOX_CP_BEFORE_CLAMP30   value = Clamp(value, kPullIterationMin, kPullIterationMax);
#define QOX_CP_BEFORE_CLAMP1000 value = Clamp(value, kDistanceMin, kDistanceMax);
#define QOX_CP_SETDEF_RO(name, type, setter, param)
#define QOX_CP_SETDEF_RW(name, type, setter, param)                                                                    \
    void KQoxCharacterProperties::name##Set(type value)                                                                \
    {                                                                                                                  \
        QOX_CP_BEFORE_##setter m##name.Held() = value;                                                                 \
        if (mCharacter)                                                                                                \
        {                                                                                                              \
            QOX_CP_AFTER_##setter(name, param)                                                                         \
        }                                                                                                              \
    }
#define QOX_CP_TEXTDEF_PLAIN(name, type, text)
#define QOX_CP_TEXTDEF_VECTOR(name, type, text)
#define QOX_CP_GETDEF_PLAIN(name, type) QOX_CP_GETDEF(name, type)
#define QOX_CP_GETDEF_ENUM(name, type)  QOX_CP_GETDEF(name, type)
// The offsets are written out below.
#define QOX_CP_GETDEF_VECTOR(name, type)
#define QOX_CP_GETDEF(name, type)                                                                                      \
    type KQoxCharacterProperties::name##Get()                                                                          \
    {                                                                                                                  \
        return m##name.Held();                                                                                         \
    }
#define QOX_CP_TEXTDEF_ENUM(name, type, text)                                                                          \
    char* KQoxCharacterProperties::name##AsString(int value)                                                           \
    {                                                                                                                  \
        return text(static_cast<type>(value));                                                                         \
    }
#define QOX_CP_DEFINE(name, type, access, anim, setter, param, from, write, text)                                      \
    QOX_CP_SETDEF_##access(name, type, setter, param) QOX_CP_CAT(QOX_CP_GETDEF_, QOX_CP_KIND_##type)(name, type)       \
        QOX_CP_CAT(QOX_CP_TEXTDEF_, QOX_CP_KIND_##type)(name, type, text)
QOX_CHARACTER_PROPERTIES(QOX_CP_DEFINE)
#undef QOX_CP_DEFINE

// The offsets are reported as points: the fourth component is always 1.
KgeTVector KQoxCharacterProperties::HipsTOffsetGet()
{
    const KgeTVector& v = mHipsTOffset.Held();
    return KgeTVector(v.x, v.y, v.z, 1.0);
}

KgeTVector KQoxCharacterProperties::ChestTOffsetGet()
{
    const KgeTVector& v = mChestTOffset.Held();
    return KgeTVector(v.x, v.y, v.z, 1.0);
}

// ---------------------------------------------------------------------------
// Object lists

bool KQoxCharacterProperties::SourceObjectSet(int index, KObject* object)
{
    return mSourceObject.SetAt(index, object);
}

KObject* KQoxCharacterProperties::SourceObjectGet(int index)
{
    return mSourceObject.GetAt(index);
}

bool KQoxCharacterProperties::DestinationObjectSet(int index, KObject* object)
{
    return mDestinationObject.SetAt(index, object);
}

KObject* KQoxCharacterProperties::DestinationObjectGet(int index)
{
    return mDestinationObject.GetAt(index);
}

bool KQoxCharacterProperties::ActorSet(int index, KObject* object)
{
    return mActor.SetAt(index, object);
}

KObject* KQoxCharacterProperties::ActorGet(int index)
{
    return mActor.GetAt(index);
}

bool KQoxCharacterProperties::CharacterSet(int index, KObject* object)
{
    return mCharacterList.SetAt(index, object);
}

KObject* KQoxCharacterProperties::CharacterGet(int index)
{
    return mCharacterList.GetAt(index);
}

bool KQoxCharacterProperties::ControlSetSet(int index, KObject* object)
{
    return mControlSet.SetAt(index, object);
}

KObject* KQoxCharacterProperties::ControlSetGet(int index)
{
    return mControlSet.GetAt(index);
}

// ---------------------------------------------------------------------------
// Notification

bool KQoxCharacterProperties::PlugNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, int index,
                                         KPlug* other, kConnectionType type, KPlug* extra)
{
    if (mCharacter && plug)
    {
        if (plug == &mControlSet)
        {
            // Only a control-set plug's block loads the control set.
            if (action == kPlugSrcConnected)
                if (KQoxControlSetPlug* controlSetPlug = ObjectOfPlug<KQoxControlSetPlug>(other))
                {
                    mCharacter->GetControlSet()->FromPlug(controlSetPlug);
                    return false;
                }
        }
        else if ((action == kPlugSrcConnected || action == kPlugSrcDisconnecting) &&
                 NodeLinkNotify(action, plug, other))
            return false;
    }
    return KObject::PlugNotify(callstack, action, plug, index, other, type, extra);
}

// A node link property is recognised by the character's link of its user
// word pointing back at it; only a node's property block links a node. A
// disconnection clears the link only when the removed source is the block of
// the node that the link holds now. True when the event was taken.
bool KQoxCharacterProperties::NodeLinkNotify(kPlugAction action, KPlug* plug, KPlug* other)
{
    const int id = plug->GetUserWord();
    KQoxCharacterLink* slot = mCharacter->LinkSlot(id);
    if (!slot || static_cast<KPlug*>(slot->mPropertyLink) != plug)
        return false;
    KQoxNode* node = ObjectOfPlug<KQoxNode>(other);
    if (!node)
        return false;
    KQoxCharacterLink link(*slot);
    if (action == kPlugSrcConnected)
        link.mNode = node;
    else if (slot->mNode == node)
        link.mNode = nullptr;
    else
        return false;
    mCharacter->SetCharacterLink(static_cast<ECharacterNodeId>(id), link, false);
    return true;
}

} // namespace qoxsdk_600
