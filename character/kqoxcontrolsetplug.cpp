#include "character/kqoxcontrolsetplug.h"

#include "character/kcharacterblock.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

KPLUG_CLASS_IMPLEMENT(KQoxControlSetPlugProperties, KQoxPropertyHandler, "KQoxControlSetPlugProperties")

const char* const KQoxControlSetPlugProperties::ClassName = "KQoxControlSetPlugProperties";

namespace {

const char* const kControlSetPlugErrors[] = {"Error"};

// List properties: plug type 0, any class, objects connected as sources.
const KPlug::kType kListPlugType = 0;
const int kListAnyClass = -1;
const KPlug::kDirection kListDirection = 3;
const int kLinkListCount = 1;
const int kEffectorListCount = 1 + kEffectorAuxSetCount; // the effector, then its auxiliary sets

template <class T, class Owner>
void BindValue(Owner* owner, KPropertyTemplate<T>& property, const char* name, void (Owner::*set)(T), T (Owner::*get)())
{
    property.SetPropertyInfo(name, owner, KPropertyMemberCast<KPropertyAccessor>(static_cast<T (KPlug::*)()>(get)),
                             KPropertyMemberCast<KPropertyAccessor>(static_cast<void (KPlug::*)(T)>(set)));
    property.SetPropertyType(KPropertyGetType(static_cast<T*>(nullptr)));
    owner->PropertyAddToList(&property);
}

KPropertyObjectList* AddList(KObject* owner, const char* name, int count, int id)
{
    KPropertyObjectList* list =
        KPropertyObjectList::Create(owner, name, kListPlugType, kListAnyClass, count, kListDirection, 0);
    if (list)
        list->SetUserWord(id);
    return list;
}

} // namespace

// ---------------------------------------------------------------------------
// Property block

KQoxControlSetPlugProperties::KQoxControlSetPlugProperties(KQoxTakeNodeContainer* owner)
    : mOwner(owner)
{
    BindValue(this, mUseAxis, "UseAxis", &KQoxControlSetPlugProperties::UseAxisSet,
              &KQoxControlSetPlugProperties::UseAxisGet);
    mUseAxis.Held() = true;
    BindValue(this, mControlSetType, "ControlSetType", &KQoxControlSetPlugProperties::ControlSetTypeSet,
              &KQoxControlSetPlugProperties::ControlSetTypeGet);
    mControlSetType.Held() = KQoxControlSet::eDefaultType;
    mControlSetType.GetPropertyInfo().SetAsStringFunc(
        static_cast<KPropertyToString>(&KQoxControlSetPlugProperties::ControlSetTypeText));

    for (int id = 0; id < kCharacterNodeIdCount; ++id)
    {
        char* name = nullptr;
        if (KQoxCharacterNodeIds::GetCharacterNodeNameFromNodeId(static_cast<ECharacterNodeId>(id), name))
            if (KPropertyObjectList* list = AddList(this, name, kLinkListCount, id))
                mLinkLists.Add(list);
    }
    for (int id = 0; id < kEffectorNodeIdCount; ++id)
        if (KPropertyObjectList* list = AddList(
                this, KQoxControlSet::GetEffectorNodeName(static_cast<EEffectorNodeId>(id)), kEffectorListCount, id))
            mEffectorLists.Add(list);
}

KQoxControlSetPlugProperties::~KQoxControlSetPlugProperties() {}

void KQoxControlSetPlugProperties::DefaultValueChanged(KQoxUserProperty* property)
{
    if (mOwner)
        mOwner->PropertyDefaultValueChanged(property);
}

KQoxObject* KQoxControlSetPlugProperties::GetKQoxObject()
{
    return mOwner;
}

KQoxControlSetPlug* KQoxControlSetPlugProperties::GetKQoxControlSetPlug()
{
    return static_cast<KQoxControlSetPlug*>(mOwner);
}

void KQoxControlSetPlugProperties::ControlSetTypeSet(KQoxControlSet::EType type)
{
    mControlSetType.Held() = type;
}

KQoxControlSet::EType KQoxControlSetPlugProperties::ControlSetTypeGet()
{
    return mControlSetType.Held();
}

void KQoxControlSetPlugProperties::UseAxisSet(bool useAxis)
{
    mUseAxis.Held() = useAxis;
}

bool KQoxControlSetPlugProperties::UseAxisGet()
{
    return mUseAxis.Held();
}

char* KQoxControlSetPlugProperties::ControlSetTypeAsString(KQoxControlSet::EType)
{
    return nullptr;
}

char* KQoxControlSetPlugProperties::ControlSetTypeText(int value)
{
    return ControlSetTypeAsString(static_cast<KQoxControlSet::EType>(value));
}

KPropertyObjectList* KQoxControlSetPlugProperties::GetLinkList(int index) const
{
    return (index >= 0 && index < mLinkLists.GetCount()) ? mLinkLists[index] : nullptr;
}

KPropertyObjectList* KQoxControlSetPlugProperties::GetEffectorList(int index) const
{
    return (index >= 0 && index < mEffectorLists.GetCount()) ? mEffectorLists[index] : nullptr;
}

// ---------------------------------------------------------------------------
// Plug

KQoxControlSetPlug::KQoxControlSetPlug(KQoxSdkManager& manager, const char* name)
    : KQoxTakeNodeContainer(manager, name, &mError)
    , mProperties(nullptr)
    , mError(kControlSetPlugErrors, 1)
{
    mProperties = new KQoxControlSetPlugProperties(this);
    Init();
}

KQoxControlSetPlug::~KQoxControlSetPlug()
{
    // The take nodes (destroyed by the base) may refer to the block's
    // properties through their callbacks: drop those first.
    UnregisterAllDefaultTakeCallback();
    mProperties->Destroy(0);
    mProperties = nullptr;
}

void KQoxControlSetPlug::Destruct()
{
    if (mProperties)
        mProperties->Destruct();
}

KQoxPropertyHandler* KQoxControlSetPlug::GetPropertyHandler()
{
    return mProperties;
}

KString KQoxControlSetPlug::GetTypeName()
{
    return KString("ControlSetPlug");
}

KStringList KQoxControlSetPlug::GetTypeFlags()
{
    return TypeNameFlags(GetTypeName());
}

void KQoxControlSetPlug::AddChannels(KQoxTakeNode* takeNode)
{
    CreateBlockChannels(*this, mProperties, takeNode);
}

KQoxUserProperty* KQoxControlSetPlug::CreateKQoxUserProperty(KProperty* property)
{
    return GetSdkManager().CreateKQoxUserProperty(property);
}

} // namespace qoxsdk_600
