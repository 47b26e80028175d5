#include "object/kentity.h"

#include <cstring>
#include <unordered_set>

#include "object/kreversewalk.h"

KPLUG_CLASS_IMPLEMENT(KEntity, KObjectSet, "KEntity")
KPLUG_CLASS_IMPLEMENT(KEntityList, KGenericObjectList, "KEntityList")

HdlKObject Global_GeneralEntity;
HdlKObject Global_SystemEntity;
HdlKObject Global_UserEntity;

namespace {

bool AllClasses(int classId)
{
    return classId == -1 || classId == KPlug::ClassId;
}

// The live object a plug is, or null.
KObject* AsObject(KPlug* plug)
{
    return (plug && plug->Is(KObject::ClassId)) ? static_cast<KObject*>(plug) : nullptr;
}

// Handles of the live objects among the plug's sources, in order.
void SourceObjects(KPlug* plug, KArrayTemplate<HdlKObject>& out)
{
    for (int i = 0; i < plug->GetSrcCount(); ++i)
        if (KObject* object = AsObject(plug->GetSrc(i)))
            out.Add(HdlKObject(object));
}

// Walk guard for chains of entity handles: longer than the number of living
// plugs means a loop.
int WalkLimit()
{
    return KPlug_GetLivingCount() + 1;
}

} // namespace

// ---------------------------------------------------------------------------
// Life

KEntity::KEntity()
    : mNames(std::make_unique<KUniqueNameObjectList>(10, 64))
{
    mSelection = new KPlugList();
    mSelection->Construct(nullptr);
}

KEntity::~KEntity()
{
    DropSelection();
    mNames.reset();
}

void KEntity::Construct(KWorld* world)
{
    KObject::Construct(world);
}

void KEntity::Destruct()
{
    DropSelection();
    KObject::Destruct();
}

void KEntity::DropSelection()
{
    KPlugList* selection = mSelection;
    mSelection = nullptr;
    if (selection)
        selection->Destroy(0);
}

// ---------------------------------------------------------------------------
// Notifications

bool KEntity::Contains(KObject* object) const
{
    // Whether the object's chain of entities reaches this entity.
    int guard = WalkLimit();
    for (KObject* entity = object->GetEntity().Get(); entity && guard-- > 0; entity = entity->GetEntity().Get())
        if (entity == this)
            return true;
    return false;
}

bool KEntity::IsMember(KObject* object) const
{
    return object && object->GetEntity().Get() == this;
}

bool KEntity::PlugNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, int index, KPlug* other,
                         kConnectionType type, KPlug* extra)
{
    if (action == kPlugRequestSrc && plug == this)
    {
        if (KObject* object = AsObject(other))
        {
            if (object == this || IsMember(object))
                return false;
            // An entity that contains this one cannot become its member: the
            // entities would contain one another.
            int guard = WalkLimit();
            for (KObject* up = GetEntity().Get(); up && guard-- > 0; up = up->GetEntity().Get())
                if (up == object)
                    return false;
        }
    }
    if (!KObject::PlugNotify(callstack, action, plug, index, other, type, extra))
        return false;
    return EntityPlugNotify(callstack, action, plug, index, other, type, extra);
}

bool KEntity::ChildrenListNotify(kObjectListEvent event, const HdlKObject& child, int)
{
    KObject* object = child.Get();
    switch (event)
    {
    case kListAdding:
        if (object)
        {
            KObject* previous = object->GetEntity().Get();
            if (previous && previous != this)
                DisconnectPlug(object, previous);
            object->EntitySet(HdlKObjectTemplate<KEntity>(this));
        }
        break;
    case kListAdded: EntityNotify(HdlKObject(this), kEntityMemberAdded, child, nullptr, -1); break;
    case kListRemoved:
        EntityNotify(HdlKObject(this), kEntityMemberRemoved, child, nullptr, -1);
        // A removed member no longer counts this entity as its own, so it can
        // join it (or another) again.
        object = child.Get();
        if (object && object->GetEntity().Get() == this)
            object->EntitySet(HdlKObjectTemplate<KEntity>());
        break;
    default: break;
    }
    return true;
}

void KEntity::ObjectTransactionBegin()
{
    EntityNotify(HdlKObject(this), kEntityTransactionBegin, HdlKObject(), nullptr, -1);
}

void KEntity::ObjectTransactionEnd()
{
    EntityNotify(HdlKObject(this), kEntityTransactionEnd, HdlKObject(), nullptr, -1);
}

bool KEntity::Relayed(kPlugAction action)
{
    return !(action == 1 || action == 3 || action == 5 || action == 7 || action == 9);
}

bool KEntity::EntityPlugNotify(KPlugCallstack*, kPlugAction action, KPlug* plug, int index, KPlug* other,
                               kConnectionType type, KPlug* extra)
{
    if (!Relayed(action) || mPlugListeners.GetCount() == 0)
        return true;
    KEventEntityPlug record;
    record.mAction = action;
    record.mPlug = plug;
    record.mIndex = index;
    record.mOther = other;
    record.mConnectionType = type;
    record.mThird = extra;
    mPlugListeners.Call(nullptr, &record);
    return true;
}

namespace {

// Hands a plug data or state change to the listeners of its list.
void CallPlugData(RegisterEntryList& listeners, int type, kPlugAction action, KPlug* plug, void* a, void* b, int value)
{
    if (listeners.GetCount() == 0)
        return;
    KEventEntityPlugData record(type);
    record.mAction = action;
    record.mPlug = plug;
    record.mValue = value;
    record.mData1 = a;
    record.mData2 = b;
    listeners.Call(nullptr, &record);
}

} // namespace

bool KEntity::EntityPlugDataNotify(KPlugCallstack*, kPlugAction action, KPlug* plug, void* a, void* b, int value)
{
    if (Relayed(action))
        CallPlugData(mPlugDataListeners, KEventEntityPlugData::eDataType, action, plug, a, b, value);
    return true;
}

bool KEntity::EntityPlugStateNotify(KPlugCallstack*, kPlugAction action, KPlug* plug, void* a, void* b, int value)
{
    if (Relayed(action))
        CallPlugData(mPlugStateListeners, KEventEntityPlugData::eStateType, action, plug, a, b, value);
    return true;
}

bool KEntity::EntityNotify(HdlKObject objectHdl, kEntityEventType kind, const HdlKObject& otherHdl, const char* text,
                           int value)
{
    // The entity this one belongs to hears everything first.
    if (KObject* parent = GetEntity().Get())
        parent->EntityNotify(objectHdl, kind, otherHdl, text, value);

    KObject* object = objectHdl.Get();
    KObject* other = otherHdl.Get();
    bool callListeners = true;
    switch (kind)
    {
    case 0:
    case kEntitySelectedAgain: return true;
    case kEntityDestroyed:
        if (IsMember(object))
        {
            DisconnectPlug(object, this);
            callListeners = false;
        }
        else
            callListeners = object && object->GetEntity().Get();
        break;
    case kEntityMemberAdded:
        if (IsMember(other) && other->GetPrefixClassId() == -1)
            AddName(other);
        break;
    case kEntityMemberRemoved:
        if (IsMember(other))
        {
            int prefixClass = other->GetPrefixClassId();
            bool hasPrefixParent = false;
            if (prefixClass != -1)
            {
                KPlugFilter* filter = AllClasses(prefixClass) ? nullptr : KPlug_GetFilter(prefixClass);
                for (int i = 0; i < other->GetDstCount() && !hasPrefixParent; ++i)
                {
                    KPlug* plug = other->GetDst(i);
                    hasPrefixParent = plug && (!filter || filter->Is(plug));
                }
            }
            if (prefixClass == -1 || hasPrefixParent)
                RemoveName(other);
        }
        break;
    case kEntityChildAdded:
        if (IsMember(object) && other)
        {
            AddCheck(other);
            other = otherHdl.Get();
            int prefixClass = other ? other->GetPrefixClassId() : -1;
            if (other && prefixClass != -1 && (object = objectHdl.Get()) && object->Is(prefixClass))
                RecursiveRenamed(other);
        }
        break;
    case kEntityChildRemoved:
    case kEntityUniqueNameChanging:
    case kEntityUniqueNameChanged:
    case kEntityTransactionBegin:
    case kEntityTransactionEnd:
    case kEntityFocusChanged:
    case kEntityChildRemovedAt: break;
    case kEntitySelected:
        // Only members are kept in the selection, as a rebuild would.
        if (mSelection && IsMember(object) && !mSelection->IsConnectedSrc(object))
            mSelection->ConnectSrc(object, kConnectionNormal);
        break;
    case kEntityUnselected: DropSelection(); break;
    case kEntityNameChanging:
        if (IsMember(object))
            EntityNotify(objectHdl, kEntityRemoveName, otherHdl, text, value);
        break;
    case kEntityPrefixChanging:
        if (IsMember(object))
            RecursiveRename(object);
        break;
    case kEntityNameChanged:
        if (IsMember(object))
            EntityNotify(objectHdl, kEntityAddName, otherHdl, text, -1);
        break;
    case kEntityPrefixChanged:
        if (IsMember(object))
            RecursiveRenamed(object);
        break;
    case kEntityRemoveName:
    case kEntityAddName:
    {
        // The object named by the event: the other object when one is given,
        // else the object itself (renames send no other object).
        KObject* target = other ? other : object;
        if (IsMember(target))
        {
            if (kind == kEntityRemoveName)
                RemoveName(target);
            else
                AddName(target);
        }
        break;
    }
    case kEntityChildRemoving:
        if (IsMember(other) && object)
        {
            int prefixClass = other->GetPrefixClassId();
            if (prefixClass != -1 && object->Is(prefixClass))
                RecursiveRename(other);
        }
        break;
    default: callListeners = IsMember(object); break;
    }

    if (callListeners && mEntityListeners.GetCount() > 0)
    {
        KEventEntity record;
        record.mObject = objectHdl;
        record.mOther = otherHdl;
        record.mKind = kind;
        record.mValue = value;
        mEntityListeners.Call(nullptr, &record);
    }
    return true;
}

void KEntity::SetFocus(HdlKObject focus)
{
    mFocus = focus;
    EntityNotify(focus, kEntityFocusChanged, HdlKObject(), nullptr, -1);
}

HdlKObject KEntity::GetFocus()
{
    return mFocus;
}

// ---------------------------------------------------------------------------
// Membership

namespace {

// Calls visit on every member of object when it is (still) an object set.
template <class Visit>
void VisitSetMembers(KObject* object, Visit visit)
{
    if (!object || !object->Is(KObjectSet::ClassId))
        return;
    KArrayTemplate<HdlKObject> members(16);
    SourceObjects(object, members);
    for (int i = 0; i < members.GetCount(); ++i)
        visit(members[i].Get());
}

} // namespace

void KEntity::AddCheck(KObject* object)
{
    if (!object || object == this || Contains(object))
        return;
    HdlKObject handle(object);
    ConnectSrc(object, kConnectionNormal);
    VisitSetMembers(handle.Get(), [this](KObject* member) { AddCheck(member); });
}

bool KEntity::RecursiveAdd(HdlKObject object)
{
    AddCheck(object.Get());
    return true;
}

namespace {

void RemoveFrom(KEntity* entity, KObject* object, std::unordered_set<KObject*>& visited)
{
    if (!object || !visited.insert(object).second)
        return;
    HdlKObject handle(object);
    if (object->GetEntity().Get() == entity)
        KPlug::DisconnectPlug(object, entity);
    VisitSetMembers(handle.Get(), [&](KObject* member) { RemoveFrom(entity, member, visited); });
}

} // namespace

bool KEntity::RecursiveRemove(HdlKObject object)
{
    if (!object.Get())
        return false;
    std::unordered_set<KObject*> visited;
    RemoveFrom(this, object.Get(), visited);
    return true;
}

// ---------------------------------------------------------------------------
// Names

KString KEntity::GetEntityFullName(KObject* member)
{
    KString entityPart;
    MakeFullEntityName(member, entityPart);
    KObject* parent = member->GetPrefixParent();
    KString parentPrefix = parent ? parent->GetObjectFullPrefixName() : KString("");
    KString prefix = ConcatPrefixes(parentPrefix, member->GetObjectPrefixName());
    return MakeFullName(entityPart, "", prefix, member->GetObjectName());
}

KObject* KEntity::FindObjectByName(const char* fullName)
{
    if (!mNames)
        return nullptr;
    return static_cast<KObject*>(const_cast<void*>(mNames->GetObjectByName(fullName)));
}

void KEntity::AddName(KObject* member)
{
    if (!member || !mNames)
        return;
    KString full = GetEntityFullName(member);
    if (mNames->GetObjectByName(full) == member)
        return;
    const char* stored = mNames->AddObject(full, member);
    if (!stored)
        return;
    KString unique(stored);
    if (unique == full)
        return;

    // The table numbered (or trimmed) the name: the member takes it.
    KObject* parent = member->GetPrefixParent();
    KString parentPrefix = parent ? parent->GetObjectFullPrefixName() : KString("");
    KString prefix = ConcatPrefixes(parentPrefix, member->GetObjectPrefixName());
    KString lead = prefix.IsEmpty() ? KString("") : prefix + ":";
    if (strncmp(unique, lead, lead.GetLen()) == 0)
    {
        member->SetObjectUniqueName(unique.ToChars() + lead.GetLen());
        return;
    }
    KString entityPart, groupPart, prefixPart, name;
    ExtractNameParts(unique, entityPart, groupPart, prefixPart, name);
    KString own(prefixPart);
    if (!parentPrefix.IsEmpty())
    {
        KString parentLead = parentPrefix + ":";
        if (strncmp(own, parentLead, parentLead.GetLen()) == 0)
            own = KString(own.ToChars() + parentLead.GetLen());
    }
    member->SetObjectUniquePrefixName(own);
    member->SetObjectUniqueName(name);
}

void KEntity::RemoveName(KObject* member)
{
    if (!member || !mNames)
        return;
    KString full = GetEntityFullName(member);
    // Only the member's own entry: another member may hold that name.
    if (mNames->GetObjectByName(full) == member)
        mNames->RemoveObject(full, member);
}

namespace {

void Rename(KEntity* entity, KObject* object, kEntityEventType kind, std::unordered_set<KObject*>& visited)
{
    if (!object || !visited.insert(object).second)
        return;
    HdlKObject handle(object);
    entity->EntityNotify(handle, kind, HdlKObject(), "", -1);
    object = handle.Get();
    if (!object)
        return;
    int prefixClass = object->GetPrefixClassId();
    if (prefixClass == -1)
        return;
    // Every prefix child's full name holds this object's prefix.
    KPlugFilter* filter = AllClasses(prefixClass) ? nullptr : KPlug_GetFilter(prefixClass);
    if (!AllClasses(prefixClass) && !filter)
        return;
    KArrayTemplate<HdlKObject> children(16);
    for (int i = 0; i < object->GetSrcCount(); ++i)
    {
        KObject* child = AsObject(object->GetSrc(i));
        if (child && (!filter || filter->Is(child)))
            children.Add(HdlKObject(child));
    }
    for (int i = 0; i < children.GetCount(); ++i)
        Rename(entity, children[i].Get(), kind, visited);
}

} // namespace

void KEntity::RecursiveRename(KObject* object)
{
    std::unordered_set<KObject*> visited;
    Rename(this, object, kEntityRemoveName, visited);
}

void KEntity::RecursiveRenamed(KObject* object)
{
    std::unordered_set<KObject*> visited;
    Rename(this, object, kEntityAddName, visited);
}

// ---------------------------------------------------------------------------
// Selection

KPlugList* KEntity::GetSelection()
{
    if (!mSelection)
    {
        mSelection = new KPlugList();
        mSelection->Construct(nullptr);
        KArrayTemplate<HdlKObject> members(16);
        SourceObjects(this, members);
        for (int i = 0; i < members.GetCount(); ++i)
        {
            KObject* member = members[i].Get();
            if (member && IsMember(member) && (member->GetSelectFlag() & KObject::eSelected))
                mSelection->ConnectSrc(member, kConnectionNormal);
        }
    }
    return mSelection;
}

int KEntity::ObjectGetSelectedCount(int classId)
{
    KPlugList* selection = GetSelection();
    if (AllClasses(classId))
        return selection->GetSrcCount();
    KPlugFilter* filter = KPlug_GetFilter(classId);
    if (!filter)
        return 0;
    int count = 0;
    for (int i = 0; i < selection->GetSrcCount(); ++i)
    {
        KPlug* plug = selection->GetSrc(i);
        if (plug && filter->Is(plug))
            ++count;
    }
    return count;
}

HdlKObject KEntity::ObjectGetSelected(int index, int classId)
{
    KPlugList* selection = GetSelection();
    KPlugFilter* filter = AllClasses(classId) ? nullptr : KPlug_GetFilter(classId);
    if (!AllClasses(classId) && !filter)
        return HdlKObject();
    for (int i = 0; i < selection->GetSrcCount(); ++i)
    {
        KPlug* plug = selection->GetSrc(i);
        if (!plug || (filter && !filter->Is(plug)))
            continue;
        if (index-- == 0)
            return HdlKObject(AsObject(plug));
    }
    return HdlKObject();
}

void KEntity::ObjectSelectAll(bool select, KObject* except, int flags)
{
    ObjectTransactionBegin();
    KArrayTemplate<HdlKObject> members(16);
    SourceObjects(this, members);
    for (int i = 0; i < members.GetCount(); ++i)
    {
        KObject* member = members[i].Get();
        if (!member || member == except || member->HasObjectFlags(flags))
            continue;
        int selectFlags = member->GetSelectFlag();
        member->SetSelectFlag(select ? (selectFlags | KObject::eSelected) : (selectFlags & ~KObject::eSelected));
    }
    ObjectTransactionEnd();
}

// ---------------------------------------------------------------------------
// Clean-up

bool KEntity::CleanupIfInState(kPlugState state, KObject* object)
{
    if (!object || !object->IsInState(state))
        return false;
    object->Destroy(0);
    return true;
}

void KEntity::CleanupIfInState(kPlugState state, int classId)
{
    WalkFromLast([this] { return GetSrcCount(); },
                 [&](int i) {
                     KObject* object = AsObject(GetSrc(i));
                     if (object && (AllClasses(classId) || object->Is(classId)))
                         CleanupIfInState(state, object);
                 });
}

// ---------------------------------------------------------------------------
// Listeners

// Each list's register and unregister pair: a listener for every event of
// the list; both always succeed.
#define KENTITY_LISTENER_PAIR(Register, Unregister, list)                                                              \
    bool KEntity::Register(ICallback* object, ICallbackMethod method)                                                  \
    {                                                                                                                  \
        list.Add(object, method, kCallbackAllEvents);                                                                  \
        return true;                                                                                                   \
    }                                                                                                                  \
    bool KEntity::Unregister(ICallback* object, ICallbackMethod method)                                                \
    {                                                                                                                  \
        list.Remove(object, method);                                                                                   \
        return true;                                                                                                   \
    }

KENTITY_LISTENER_PAIR(EntityRegister, EntityUnregister, mEntityListeners)
KENTITY_LISTENER_PAIR(EntityPlugNotifyRegister, EntityPlugNotifyUnregister, mPlugListeners)
KENTITY_LISTENER_PAIR(EntityPlugDataNotifyRegister, EntityPlugDataNotifyUnregister, mPlugDataListeners)
KENTITY_LISTENER_PAIR(EntityPlugStateNotifyRegister, EntityPlugStateNotifyUnregister, mPlugStateListeners)
#undef KENTITY_LISTENER_PAIR

// ---------------------------------------------------------------------------
// Process-wide entities

void KEntity_SetUser(HdlKObjectTemplate<KEntity> entity)
{
    Global_UserEntity = entity;
}

HdlKObjectTemplate<KEntity> KEntity_GetUser()
{
    return HdlKObjectTemplate<KEntity>(Global_UserEntity);
}

bool KEntity_IsEnabled()
{
    static const bool enabled = true;
    return enabled;
}

bool KEntity_Init()
{
    return true;
}

bool KEntity_Release()
{
    return true;
}

HdlKObjectTemplate<KEntity> KEntityCreate(const char* name)
{
    KEntity* entity = new KEntity();
    entity->Construct(nullptr);
    entity->SetObjectFullName(name);
    return HdlKObjectTemplate<KEntity>(entity);
}
