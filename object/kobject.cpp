#include "object/kobject.h"

#include <cstdlib>
#include <cstring>

#include "object/kproperty.h"
#include "object/kreversewalk.h"

// ---------------------------------------------------------------------------
// Class identity: KObject keeps the fixed id 1.

int KObject::ClassId = 1;
KClassDefinition KObject::ClassDefinition = {&KObject::ClassId, &KPlug::ClassDefinition, "KObject", nullptr};
int KObject::ClassGroupId = 1;
const char* KObject::ClassGroupName = "";

const HdlKObject HdlNull;
const HdlKObject NullHandle;
int GlobalSelectOrderId = 0;

namespace {

const int sKObjectRegistered = KPlug_RegisterClassId(&KObject::ClassDefinition, 1);
KObjectWorldLink gWorldLink = {nullptr, nullptr, nullptr};
bool gProjectModified = false;

// Calls act(plug) for each object among the children (or the parents) of an
// object, from the last, while act may disconnect it; the object's own
// destruction waits for the end of the walk.
template <class Act>
void EachRelatedObject(KObject* self, bool children, Act act)
{
    KPostponedDestroy hold(self);
    WalkFromLast([self, children] { return children ? self->GetSrcCount() : self->GetDstCount(); },
                 [&](int i) {
                     KPlug* plug = children ? self->GetSrc(i) : self->GetDst(i);
                     if (plug && plug->Is(KObject::ClassId))
                         act(plug);
                 });
}

} // namespace

void KObject_SetWorldLink(const KObjectWorldLink& link)
{
    gWorldLink = link;
}

void Object_SetProjectModified(bool modified)
{
    gProjectModified = modified;
}

bool Object_GetProjectModified()
{
    return gProjectModified;
}

// ---------------------------------------------------------------------------
// Life

KObject::KObject()
    : mReplaceActions(16)
    , mProperties(16)
{}

KObject::KObject(const char* name, HdlKObjectTemplate<KEntity> entity)
    : KObject()
{
    SetObjectFullName(name);
    KObject* owner = static_cast<const HdlKObject&>(entity).Get();
    if (owner)
        owner->ConnectSrc(this, kConnectionNormal);
}

KObject::~KObject()
{
    // An object deleted without Destruct (one on the stack) still leaves its world.
    WorldDetach();
    mRegistrations.reset();
    if (GetSrcCount() > 0)
        ClearChildren();
    KObject* entity = mEntity.Get();
    if (entity)
        DisconnectPlug(this, entity);
    ClearStates();
}

IKObject* KObject::IQuery(unsigned long interfaceId, int flags)
{
    if (interfaceId == 0x98ABD146ul)
        return this;
    return KPlug::IQuery(interfaceId, flags);
}

void KObject::Construct(KWorld* world)
{
    if (world && gWorldLink.mRegisterObject)
        gWorldLink.mRegisterObject(world, this);
}

void KObject::WorldDetach()
{
    if (mWorld && gWorldLink.mUnregisterObject)
        gWorldLink.mUnregisterObject(mWorld, this);
    mWorld = nullptr;
    mWorldIndex = -1;
}

// Objects are destroyed through the plug's Destroy, which honours a postponed
// destruction: a listener that destroys an object taking part in a
// disconnect has it destroyed once the disconnect is over.
void KObject::Destruct()
{
    SetObjectStatusFlag(eBeingDestroyed, true);
    SetSelectFlag(mSelectFlags & ~eSelected);
    EntityNotify(kEntityDestroyed, HdlNull, nullptr, -1);
    DisconnectAll();
    DestructProperties();
    WorldDetach();
    KPlug::Destruct();
}

// Cuts every connection of a property. A user reference property is destroyed
// by its target's owner as soon as its source link goes, so its destruction is
// held back until both sides have been cut.
static void DisconnectPropertyFully(KProperty* property)
{
    // Nothing to cut: no hold either (the common case at teardown).
    if (property->GetSrcCount() == 0 && property->GetDstCount() == 0)
        return;
    KPostponedDestroy hold(property);
    property->DisconnectAllSrc();
    property->DisconnectAllDst();
}

void KObject::DisconnectAll()
{
    KPostponedDestroy hold(this);
    // A row not made yet has no connection, and below mFirstMade there are
    // only such rows.
    for (int i = mProperties.GetCount() - 1; i >= 0 && i >= mFirstMade; --i)
    {
        if (i >= mProperties.GetCount())
            continue;
        if (KProperty* property = mProperties[i].Made())
            DisconnectPropertyFully(property);
    }
    DisconnectAllSrc();
    WalkFromLast([this] { return GetDstCount(); },
                 [this](int i) {
                     KPlug* plug = GetDst(i);
                     if (plug && plug != mEntity.Get())
                         DisconnectPlug(this, plug);
                 });
}

void KObject::DestructProperties()
{
    for (int i = mProperties.GetCount() - 1; i >= 0; --i)
    {
        if (i >= mProperties.GetCount())
            i = mProperties.GetCount() - 1;
        if (i < 0)
            break;
        // Rows never made at the end of the list only leave, unannounced:
        // the whole run goes at once (below mFirstMade, without a look).
        if (i == mProperties.GetCount() - 1 && mProperties[i].IsDeferred())
        {
            int first = i;
            while (first > mFirstMade && mProperties[first - 1].IsDeferred())
                --first;
            if (first <= mFirstMade)
                first = 0;
            mProperties.SetCount(first);
            i = first;
            continue;
        }
        PropertyIndexDestroy(i);
    }
}

void KObject::ResetToDefault()
{
    SetSelectFlag(mSelectFlags & ~eSelected);
    mReservedWord2 = 0;
}

// ---------------------------------------------------------------------------
// Class group and plug answers

int KObject::GetClassGroupId()
{
    return ClassGroupId;
}

const char* KObject::GetClassGroupName()
{
    return ClassGroupName;
}

bool KObject::IsInReplace(KPlug* a, KPlug* b)
{
    for (int i = 0; i < mReplaceActions.GetCount(); ++i)
    {
        const KReplaceActionInfo& info = mReplaceActions[i];
        if ((info.mPlug == a && info.mOther == b) || (info.mPlug == b && info.mOther == a))
            return true;
    }
    return false;
}

bool KObject::IsInState(kPlugState state)
{
    if (state != 0)
        return false;
    if (GetSrcCount() != 0 || GetDstCount() > 1)
        return false;
    if (GetDstCount() == 1 && !mEntity.Get())
        return false;
    for (int i = 0; i < mProperties.GetCount(); ++i)
    {
        KProperty* property = mProperties[i].Made();
        if (property && (property->GetSrcCount() != 0 || property->GetDstCount() != 0))
            return false;
    }
    return true;
}

int KObject::GetOwnedPlugCount()
{
    return mProperties.GetCount();
}

KPlug* KObject::GetOwnedPlug(int index)
{
    return (index >= 0 && index < mProperties.GetCount()) ? GetProperty(index) : nullptr;
}

// ---------------------------------------------------------------------------
// Notifications

namespace {

// Which notifications a connection notification becomes.
enum class KListRoute
{
    Tree,             // ObjectTreeNotify only
    TreeThenChildren, // ObjectTreeNotify, then ChildrenListNotify when it agreed
    Children,         // ChildrenListNotify
    Parents           // ParentListNotify
};

struct KListEventRoute
{
    kPlugAction mAction;
    kObjectListEvent mEvent;
    KListRoute mRoute;
};

// A connection of the object itself with another object.
const KListEventRoute kOwnRoutes[] = {
    {kPlugSrcConnecting, kListAdding, KListRoute::TreeThenChildren},
    {kPlugSrcConnected, kListAdded, KListRoute::TreeThenChildren},
    {kPlugSrcDisconnecting, kListRemoving, KListRoute::TreeThenChildren},
    {kPlugSrcDisconnected, kListRemoved, KListRoute::TreeThenChildren},
    {kPlugSrcMoving, kListChildMoving, KListRoute::Children},
    {kPlugSrcMoved, kListChildMoved, KListRoute::Children},
    {kPlugDstConnecting, kListAdding, KListRoute::Parents},
    {kPlugDstConnected, kListAdded, KListRoute::Parents},
    {kPlugDstDisconnecting, kListRemoving, KListRoute::Parents},
    {kPlugDstDisconnected, kListRemoved, KListRoute::Parents},
};

// A source connection of one of the object's properties with another object.
const KListEventRoute kPropertyRoutes[] = {
    {kPlugSrcConnecting, kListAdding, KListRoute::Tree},
    {kPlugSrcConnected, kListAdded, KListRoute::Tree},
    {kPlugSrcDisconnecting, kListRemoving, KListRoute::Tree},
    {kPlugSrcDisconnected, kListRemoved, KListRoute::Tree},
};

template <size_t N>
const KListEventRoute* FindRoute(const KListEventRoute (&routes)[N], kPlugAction action)
{
    for (const KListEventRoute& route : routes)
        if (route.mAction == action)
            return &route;
    return nullptr;
}

} // namespace

// Pending replacements live between the begin and end notifications.
void KObject::TrackReplaceAction(kPlugAction action, KPlug* plug, KPlug* other, KPlug* extra)
{
    switch (action)
    {
    case kPlugReplaceSrcEndBegin: mReplaceActions.Add(KReplaceActionInfo(plug, other, extra, true)); break;
    case kPlugReplaceDstEndBegin: mReplaceActions.Add(KReplaceActionInfo(plug, other, extra, false)); break;
    case kPlugReplaceSrcEndEnd:
    case kPlugReplaceDstEndEnd:
    {
        bool sourceSide = action == kPlugReplaceSrcEndEnd;
        for (int i = 0; i < mReplaceActions.GetCount(); ++i)
        {
            const KReplaceActionInfo& info = mReplaceActions[i];
            if (info.mPlug == plug && info.mOther == other && info.mSourceSide == sourceSide)
            {
                mReplaceActions.RemoveAt(i);
                break;
            }
        }
        break;
    }
    default: break;
    }
}

// A notification whose other end is not a live object.
bool KObject::NotifyWithoutObject(kPlugAction action, KPlug* plug, KPlug* other, int index)
{
    if (action == kPlugDstDisconnecting && plug && other && !IsInReplace(plug, other) && plug->Is(KProperty::ClassId) &&
        other->Is(KProperty::ClassId) && static_cast<KProperty*>(other)->IsReferenceProperty())
    {
        // Removing a referenced property's link removes the reference property.
        KProperty* reference = static_cast<KProperty*>(other);
        if (KObject* owner = reference->GetOwnerObject())
            owner->PropertyDestroy(reference);
        return true;
    }
    if (action == kPlugBeginChange || action == kPlugEndChange)
        return ObjectTreeNotify(plug, action == kPlugBeginChange ? kListBeginChange : kListEndChange, HdlKObject(),
                                index);
    return true;
}

// A connection with another object, of this object (plug == this) or of one
// of its properties.
bool KObject::NotifyListEvent(kPlugAction action, KPlug* plug, const HdlKObject& other, int index)
{
    const KListEventRoute* route = plug == this ? FindRoute(kOwnRoutes, action) : FindRoute(kPropertyRoutes, action);
    if (!route)
        return true;
    switch (route->mRoute)
    {
    case KListRoute::Tree:
        // A destroyed object's properties lose their sources without telling.
        if (action == kPlugSrcDisconnected && GetObjectStatusFlag(eBeingDestroyed))
            return true;
        return ObjectTreeNotify(plug, route->mEvent, other, index);
    case KListRoute::TreeThenChildren:
        return ObjectTreeNotify(this, route->mEvent, other, index) && ChildrenListNotify(route->mEvent, other, index);
    case KListRoute::Children: return ChildrenListNotify(route->mEvent, other, index);
    case KListRoute::Parents: return ParentListNotify(route->mEvent, other, index);
    }
    return true;
}

bool KObject::PlugNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, int index, KPlug* other,
                         kConnectionType type, KPlug* extra)
{
    KObject* otherObject = nullptr;
    if (other && other->Is(KObject::ClassId) && HdlKPlug(other).Get())
        otherObject = static_cast<KObject*>(other);

    TrackReplaceAction(action, plug, other, extra);
    bool result = otherObject ? NotifyListEvent(action, plug, HdlKObject(otherObject), index)
                              : NotifyWithoutObject(action, plug, other, index);
    if (!result)
        return false;

    KObject* entity = mEntity.Get();
    if (entity && !entity->EntityPlugNotify(callstack, action, plug, index, other, type, extra))
        return false;
    return KPlug::PlugNotify(callstack, action, plug, index, other, type, extra);
}

bool KObject::ObjectTreeNotify(KPlug* plug, kObjectListEvent event, const HdlKObject& handle, int)
{
    if (plug != this || !mRegistrations)
        return true;
    KEventObjectTree record;
    record.mPlug = plug;
    record.mObject = HdlKObject(this);
    record.mOther = handle.Get() ? handle : HdlKObject();
    record.mEvent = event;
    mRegistrations->Call(nullptr, &record);
    return true;
}

bool KObject::ChildrenListNotify(kObjectListEvent event, const HdlKObject& child, int index)
{
    KObject* object = child.Get();
    if (!object)
        return true;
    switch (event)
    {
    case kListAdding: EntityNotify(kEntityChildAdding, child, nullptr, -1); break;
    case kListRemoving: EntityNotify(kEntityChildRemoving, child, nullptr, -1); break;
    case kListAdded:
    {
        EntityNotify(kEntityChildAdded, child, nullptr, index);
        // The child's prefix is made relative to this object's.
        object = child.Get();
        if (!object)
            break;
        int prefixClass = object->GetPrefixClassId();
        if (prefixClass != -1 && object->mRequestedPrefix && !object->mRequestedPrefix->IsEmpty() && Is(prefixClass) &&
            object->Is(prefixClass))
        {
            KString requested(*object->mRequestedPrefix);
            KString result;
            ExtractUniqueChildPrefix(RequestedPrefixChain(), requested, result);
            object->SetObjectPrefixName(result);
        }
        break;
    }
    case kListRemoved:
        EntityNotify(kEntityChildRemoved, child, nullptr, -1);
        EntityNotify(kEntityChildRemovedAt, child, nullptr, index);
        break;
    case kListChildMoving: EntityNotify(kEntityChildMoving, child, nullptr, index); break;
    case kListChildMoved: EntityNotify(kEntityChildMoved, child, nullptr, index); break;
    default: break;
    }
    return true;
}

bool KObject::ParentListNotify(kObjectListEvent, const HdlKObject&, int)
{
    return true;
}

bool KObject::ListNotify(KObject*, kObjectListEvent, const HdlKObject&, int)
{
    return true;
}

void KObject::PropertyNotify(kObjectListEvent, KProperty*, bool, const char*) {}

bool KObject::EntityNotify(kEntityEventType event, const HdlKObject& handle, const char* text, int index)
{
    if (event == kEntityDestroyed)
        PlugStateNotify(nullptr, kPlugDestroying, this, nullptr, nullptr, 0);
    HdlKObject self(this);
    KObject* entity = mEntity.Get();
    if (entity)
        entity->EntityNotify(self, event, handle, text, index);
    KArrayTemplate<KObject*> parents(8);
    CollectObjects(this, false, KObject::ClassId, parents);
    KArrayTemplate<HdlKObject> parentHdls(8);
    for (int i = 0; i < parents.GetCount(); ++i)
        parentHdls.Add(HdlKObject(parents[i]));
    for (int i = 0; i < parentHdls.GetCount(); ++i)
        if (KObject* parent = parentHdls[i].Get())
            parent->ObjectSetNotify(event, self, handle, text);
    return true;
}

bool KObject::ObjectSetNotify(kEntityEventType, const HdlKObject&, const HdlKObject&, const char*)
{
    return true;
}

bool KObject::EntityNotify(HdlKObject, kEntityEventType, const HdlKObject&, const char*, int)
{
    return true;
}

bool KObject::EntityPlugNotify(KPlugCallstack*, kPlugAction, KPlug*, int, KPlug*, kConnectionType, KPlug*)
{
    return true;
}

void KObject::SetFocus(HdlKObject) {}

HdlKObject KObject::GetFocus()
{
    return HdlKObject();
}

void KObject::RaiseEntity(kEntityEventType event, const char* text)
{
    EntityNotify(event, HdlNull, text, -1);
}

void KObject::EntitySet(HdlKObjectTemplate<KEntity> entity)
{
    mEntity = static_cast<const HdlKObject&>(entity);
}

int KObject::GetPrefixClassId()
{
    return -1;
}

void KObject::ObjectTransactionBegin()
{
    RaiseEntity(kEntityTransactionBegin);
}

void KObject::ObjectTransactionEnd()
{
    RaiseEntity(kEntityTransactionEnd);
}

KObject* KObject::ObjectClone(const char*, bool, bool)
{
    return nullptr;
}

void KObject::SetObjectActive(bool active)
{
    if (active == mActive)
        return;
    mActive = active;
    RaiseEntity(active ? kEntityActivated : kEntityDeactivated);
}

bool KObject::SetSelectFlag(int flags)
{
    if (flags == mSelectFlags)
    {
        if (mSelectFlags & eSelected)
        {
            RaiseEntity(kEntitySelectedAgain);
            PlugStateNotify(nullptr, kPlugSelectedAgain, this, nullptr, nullptr, 0);
        }
        return false;
    }
    int old = mSelectFlags;
    mSelectFlags = flags;
    if ((old ^ flags) & eSelected)
    {
        if (flags & eSelected)
        {
            mSelectOrder = ++GlobalSelectOrderId;
            RaiseEntity(kEntitySelected);
            PlugStateNotify(nullptr, kPlugSelected, this, nullptr, nullptr, 0);
        }
        else
        {
            RaiseEntity(kEntityUnselected);
            PlugStateNotify(nullptr, kPlugUnselected, this, nullptr, nullptr, 0);
        }
    }
    else if (flags & eSelected)
    {
        mSelectOrder = ++GlobalSelectOrderId;
        RaiseEntity(kEntitySelectedAgain);
        PlugStateNotify(nullptr, kPlugSelectedAgain, this, nullptr, nullptr, 0);
    }
    if ((old ^ flags) & eSelected2)
        RaiseEntity((flags & eSelected2) ? kEntitySelected2Set : kEntitySelected2Cleared);
    return true;
}

void KObject::HardSelect()
{
    SetSelectFlag(mSelectFlags | eSelected);
    RaiseEntity(kEntityHardSelected);
}

void KObject::Focus()
{
    KObject* entity = mEntity.Get();
    if (entity)
        entity->SetFocus(HdlKObject(this));
}

bool KObject::IsFocused()
{
    KObject* entity = mEntity.Get();
    return entity && entity->GetFocus() == HdlKObject(this);
}

void KObject::SetSoftClassId(int id, const char* name)
{
    mSoftClassId = id;
    if (!mSoftClassName)
        mSoftClassName = std::make_unique<KString>();
    *mSoftClassName = name ? name : "";
}

KString KObject::GetSoftClassName() const
{
    return mSoftClassName ? *mSoftClassName : KString();
}

bool KObject::GetFullSoftClassId() const
{
    if ((GetClassId() & 0xFFFF) != 0)
        return true;
    return mSoftClassId != 0;
}

// ---------------------------------------------------------------------------
// Tree and queries

void KObject::CollectObjects(KPlug* plug, bool sources, int classId, KArrayTemplate<KObject*>& out)
{
    KPlugFilter* filter = nullptr;
    if (classId != -1 && classId != KPlug::ClassId)
    {
        filter = KPlug_GetFilter(classId);
        if (!filter)
            return; // an unknown class has no members
    }
    int count = sources ? plug->GetSrcCount() : plug->GetDstCount();
    for (int i = 0; i < count; ++i)
    {
        KPlug* p = sources ? plug->GetSrc(i) : plug->GetDst(i);
        if (p && p->Is(KObject::ClassId) && (!filter || filter->Is(p)))
            out.Add(static_cast<KObject*>(p));
    }
}

void KObject::ClearChildren()
{
    ObjectDetachChildren();
}

void KObject::ObjectDetachChildren()
{
    EachRelatedObject(this, true, [this](KPlug* child) { DisconnectPlug(child, this); });
}

void KObject::ObjectDestroyChildren()
{
    EachRelatedObject(this, true, [this](KPlug* child) {
        DisconnectPlug(child, this);
        child->Destroy(0);
    });
}

void KObject::ObjectDetachParents()
{
    EachRelatedObject(this, false, [this](KPlug* parent) { parent->DisconnectSrc(this); });
}

int KObject::ObjectFindIndex(const HdlKObject& object)
{
    for (int i = 0; i < GetSrcCount(); ++i)
    {
        KPlug* plug = GetSrc(i);
        if (plug && plug->Is(KObject::ClassId) && HdlKObject(static_cast<KObject*>(plug)) == object)
            return i;
    }
    return -1;
}

bool KObject::IsPartOfEntity(const HdlKObject& entity)
{
    if (entity.IsEmpty())
        return true;
    // Walk up the entity links; a chain longer than the number of living
    // plugs must loop.
    int guard = KPlug_GetLivingCount() + 1;
    for (HdlKObject current = mEntity; current.Get() && guard-- > 0; current = current.Get()->mEntity)
        if (current == entity)
            return true;
    return false;
}

bool KObject::IsOrphan()
{
    if (GetDstCount() == 0)
        return true;
    if (GetDstCount() == 1)
    {
        KObject* entity = mEntity.Get();
        return entity && GetDst(0) == entity;
    }
    return false;
}

bool KObject::IsParentOf(const HdlKObject& child, kParentType type, int classId, KStackItem* stack)
{
    KObject* object = child.Get();
    if (!object)
        return false;
    for (KStackItem* item = stack; item; item = item->mPrevious)
        if (item->mObject == object)
            return false; // a cycle
    KPlugFilter* filter = nullptr;
    if (classId != -1 && classId != KPlug::ClassId && !(type & eParentNoFilter))
        filter = KPlug_GetFilter(classId);
    KStackItem here = {stack, object};
    for (int i = 0; i < object->GetDstCount(); ++i)
    {
        KPlug* plug = object->GetDst(i);
        if (!plug || (filter && !filter->Is(plug)))
            continue;
        if ((type & eParentDirect) && plug == this && (classId == -1 || plug->Is(classId)))
            return true;
        if ((type & eParentRecursive) && plug->Is(KObject::ClassId))
            if (IsParentOf(HdlKObject(static_cast<KObject*>(plug)), eParentDirect | eParentRecursive, classId, &here))
                return true;
    }
    return false;
}

HdlKObject KObject::Find(const char* name, kObjectSetFindType how, int classId)
{
    if (!name)
        return HdlNull;
    KArrayTemplate<KObject*> children(16);
    CollectObjects(this, true, classId, children);
    for (int i = 0; i < children.GetCount(); ++i)
    {
        KObject* child = children[i];
        const char* text = how == eFindShortName ? child->GetObjectName() : child->GetObjectFullName();
        if (strcmp(text, name) == 0)
            return HdlKObject(child);
    }
    return HdlNull;
}

bool KObject::HasConnection(kDirection direction)
{
    if (direction & eAcceptSrc)
    {
        if (GetSrcCount() > 0)
            return true;
        for (int i = 0; i < mProperties.GetCount(); ++i)
            if (KProperty* property = mProperties[i].Made(); property && property->GetSrcCount() > 0)
                return true;
    }
    if (direction & eAcceptDst)
    {
        if (GetDstCount() > 0)
            return true;
        for (int i = 0; i < mProperties.GetCount(); ++i)
            if (KProperty* property = mProperties[i].Made(); property && property->GetDstCount() > 0)
                return true;
    }
    return false;
}

int KObject::GetComponentClassId()
{
    static const int id = KPlug_GetClassId("KComponent");
    return id;
}

bool KObject::Register(ICallback* object, ICallbackMethod method)
{
    if (!mRegistrations)
        mRegistrations = std::make_unique<RegisterEntryList>();
    mRegistrations->Add(object, method, kCallbackAllEvents);
    return true;
}

bool KObject::Unregister(ICallback* object, ICallbackMethod method)
{
    if (!mRegistrations)
        return true;
    mRegistrations->Remove(object, method);
    if (mRegistrations->GetCount() == 0)
    {
        // Running walks of the list are orphaned, not left dangling.
        std::unique_ptr<RegisterEntryList> orphaned = std::move(mRegistrations);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Properties

KProperty* KObject::FindPropertyByName(const char* name)
{
    int index = FindPropertyIndexByName(name);
    return index >= 0 ? GetProperty(index) : nullptr;
}

int KObject::FindPropertyIndexByName(const char* name) const
{
    if (!name)
        return -1;
    // The first letters decide most comparisons: a file's reader asks for
    // every property of an object in turn.
    const int count = mProperties.GetCount();
    for (int i = 0; i < count; ++i)
    {
        const KPropertySlot slot = mProperties[i];
        const char* own = slot.IsDeferred() ? DeferredRowInfo(slot.Row()).mName : slot.Made()->ReadPropertyInfo().mName;
        if (own[0] == name[0] && strcmp(own, name) == 0)
            return i;
    }
    return -1;
}

namespace {

// What an index outside the list, or a row a class does not describe, reads.
const KPropertyInfo& BlankPropertyInfo()
{
    static const KPropertyInfo blank;
    return blank;
}

} // namespace

bool KObject::IsPropertyIndex(int index) const
{
    return index >= 0 && index < mProperties.GetCount();
}

const KPropertyInfo& KObject::ReadPropertyInfoAt(int index) const
{
    if (!IsPropertyIndex(index))
        return BlankPropertyInfo();
    const KPropertySlot& slot = mProperties[index];
    if (!slot.IsDeferred())
        return slot.Made()->ReadPropertyInfo();
    return DeferredRowInfo(slot.Row());
}

// Asked for the array only once a row exists, so from the class that added
// it, constructed by then.
const KPropertyInfo* KObject::DeferredRows() const
{
    if (!mDeferredRowsAsked)
    {
        mDeferredRows = DeferredPropertyInfos();
        mDeferredRowsAsked = true;
    }
    return mDeferredRows;
}

const KPropertyInfo& KObject::DeferredRowInfo(int row) const
{
    const KPropertyInfo* rows = DeferredRows();
    return rows ? rows[row] : DeferredPropertyInfo(row);
}

kPropertyFlag KObject::GetPropertyFlagAt(int index) const
{
    if (!IsPropertyIndex(index))
        return 0;
    const KPropertySlot& slot = mProperties[index];
    return slot.IsDeferred() ? DeferredPropertyFlags(slot.Row()) : slot.Made()->GetPropertyFlag();
}

void KObject::GetPropertyData(int index, void* out)
{
    if (!IsPropertyIndex(index))
        return;
    const KPropertySlot slot = mProperties[index];
    if (slot.IsDeferred())
        DeferredPropertyGetData(slot.Row(), out);
    else
        slot.Made()->GetData(out, 0, nullptr, nullptr);
}

void KObject::SetPropertyData(int index, void* in)
{
    if (!IsPropertyIndex(index))
        return;
    const KPropertySlot slot = mProperties[index];
    // The change notifications name the property: made for whoever hears them.
    if (slot.IsDeferred() && !HasDataListeners())
        DeferredPropertySetData(slot.Row(), in);
    else
        GetProperty(index)->SetData(in, 0, nullptr, nullptr);
}

void* KObject::DeferredValueAt(int index)
{
    if (!IsPropertyIndex(index))
        return nullptr;
    const KPropertySlot slot = mProperties[index];
    return slot.IsDeferred() && !HasDataListeners() ? DeferredPropertyValue(slot.Row()) : nullptr;
}

void* KObject::DeferredPropertyValue(int)
{
    return nullptr;
}

void KObject::DeferredPropertyGetData(int row, void* out)
{
    int index = FindDeferredRow(row);
    if (index >= 0)
        GetProperty(index)->GetData(out, 0, nullptr, nullptr);
}

void KObject::DeferredPropertySetData(int row, void* in)
{
    int index = FindDeferredRow(row);
    if (index >= 0)
        GetProperty(index)->SetData(in, 0, nullptr, nullptr);
}

void KObject::PropertyAddDeferred(int row)
{
    PropertyAddDeferred(&row, 1);
}

void KObject::PropertyAddDeferred(const int* rows, int count)
{
    const int first = mProperties.GetCount();
    // One growth of the list for all of them.
    mProperties.AddMultiple(count);
    for (int i = 0; i < count && first + i < mProperties.GetCount(); ++i)
        mProperties[first + i] = KPropertySlot::Deferred(rows[i]);
    // Rows after a list of rows only stay a list of rows.
    if (mFirstMade >= first)
        mFirstMade = mProperties.GetCount();
}

void KObject::RemoveEntry(int index)
{
    mProperties.RemoveAt(index);
    if (index < mFirstMade)
        --mFirstMade;
}

KProperty* KObject::MakeDeferredProperty(int)
{
    return nullptr;
}

const KPropertyInfo& KObject::DeferredPropertyInfo(int) const
{
    return BlankPropertyInfo();
}

const KPropertyInfo* KObject::DeferredPropertyInfos() const
{
    return nullptr;
}

kPropertyFlag KObject::DeferredPropertyFlags(int) const
{
    return 0;
}

// The slot keeps the property from then on, so every later query gives the
// same one. Made from a query that may be const: the list is what changes,
// not what it answers.
KProperty* KObject::MakeDeferred(int index) const
{
    KProperty* property = const_cast<KObject*>(this)->MakeDeferredProperty(mProperties[index].Row());
    assert(property && property->GetOwnerPlug() == this);
    assert(!(property->ReadPropertyInfo().GetFlags() & KPropertyInfo::eWorldRegistration));
    mProperties[index] = KPropertySlot(property);
    NoteMade(index);
    return property;
}

int KObject::PropertyAddToList(KProperty* property)
{
    if (!property)
        return -1;
    PropertyNotify(kListPropertyAdding, property, property->IsDynamic(), nullptr);
    mProperties.Add(property);
    NoteMade(mProperties.GetCount() - 1);
    PropertyNotify(kListPropertyAdded, property, property->IsDynamic(), nullptr);
    return -1;
}

bool KObject::PropertyRemoveFromList(KProperty* property)
{
    return PropertyIndexRemoveFromList(mProperties.Find(property));
}

bool KObject::PropertyIndexRemoveFromList(int index)
{
    if (index < 0 || index >= mProperties.GetCount())
        return true;
    KProperty* property = GetProperty(index);
    PropertyNotify(kListPropertyRemoving, property, property->IsDynamic(), nullptr);
    CleanUpPropertyBeforeRemove(property);
    // The cleanup may have changed the list; unchanged, the entry is still
    // where it was.
    if (index >= mProperties.GetCount() || !(mProperties[index] == KPropertySlot(property)))
        index = mProperties.Find(property);
    if (index >= 0)
        RemoveEntry(index);
    // A property outside the list is no longer the world's to track: it may
    // be destroyed before the world is.
    if (mWorld && gWorldLink.mUnregisterProperty)
        gWorldLink.mUnregisterProperty(mWorld, property);
    PropertyNotify(kListPropertyRemoved, property, property->IsDynamic(), nullptr);
    return false;
}

bool KObject::PropertyDestroy(KProperty* property)
{
    return PropertyIndexDestroy(mProperties.Find(property));
}

bool KObject::PropertyIndexDestroy(int index)
{
    if (index < 0 || index >= mProperties.GetCount())
        return true;
    // A row never made has nothing to tell, cut or free: it only leaves.
    if (mProperties[index].IsDeferred())
    {
        RemoveEntry(index);
        return false;
    }
    KProperty* property = mProperties[index].Made();
    bool result = PropertyIndexRemoveFromList(index);
    if (property->IsDynamic())
        property->Destroy(0);
    else
        DisconnectPropertyFully(property);
    return result;
}

void KObject::CleanUpPropertyBeforeRemove(KProperty* property)
{
    if (!property)
        return;
    // Most properties have no destination: no list to make then.
    if (property->GetDstCount() == 0)
        return;
    KArrayTemplate<HdlKPlug> references(4);
    for (int i = property->GetDstCount() - 1; i >= 0; --i)
    {
        KPlug* plug = property->GetDst(i);
        if (plug && plug->Is(KProperty::ClassId) && static_cast<KProperty*>(plug)->IsReferenceProperty() &&
            static_cast<KProperty*>(plug)->GetRefProperty() == property)
            references.Add(HdlKPlug(plug));
    }
    for (int i = 0; i < references.GetCount(); ++i)
    {
        KProperty* reference = static_cast<KProperty*>(references[i].Get());
        if (!reference)
            continue;
        KObject* owner = reference->GetOwnerObject();
        if (owner)
            owner->PropertyDestroy(reference);
    }
}

KProperty* KObject::NewPropertyOfType(kPropertyType type)
{
    switch (type)
    {
    case kPropertyTypeInt:
    case kPropertyTypeEnum: return new KPropertyTemplate<int>();
    case kPropertyTypeBool:
    case kPropertyTypeAction: return new KPropertyTemplate<bool>();
    case kPropertyTypeDouble: return new KPropertyTemplate<double>();
    case kPropertyTypeTime: return new KPropertyTemplate<KTime>();
    case kPropertyTypeString: return new KPropertyTemplate<KString>();
    case kPropertyTypeObject: return new KPropertyTemplate<KObject*>();
    case kPropertyTypeVector3D: return new KPropertyTemplate<KgeTVector>();
    case kPropertyTypeColorRGB: return new KPropertyTemplate<KgeRGBVector>();
    case kPropertyTypeColorRGBA: return new KPropertyTemplate<KgeRGBAVector>();
    case kPropertyTypeReference: return new KPropertyTemplate<KProperty*>();
    default: return nullptr;
    }
}

KProperty* KObject::CreatePropertyFromType(const char* name, kPropertyType type, KDataType* dataType, bool animatable,
                                           bool user, KProperty* referenced)
{
    if (HasObjectFlags(eNoUserProperties) && user)
        return nullptr;
    KProperty* property = NewPropertyOfType(type);
    if (!property)
        return nullptr;
    property->SetPropertyType(type);

    KString base(name ? name : "");
    KString candidate(base);
    for (int n = 0; FindPropertyByName(candidate); ++n)
        candidate = base + " " + n;

    property->SetPropertyInfo(nullptr, this, nullptr, nullptr);
    property->GetPropertyInfo().SetAllocatedName(candidate);
    if (type == kPropertyTypeReference && referenced)
        property->ConnectSrc(referenced, kConnectionNormal);
    property->GetPropertyInfo().ModifyFlag(KPropertyInfo::eUser, user);
    property->GetPropertyInfo().ModifyFlag(KPropertyInfo::eDynamic, true);
    property->SetPropertyDataType(dataType);
    PropertyAddToList(property);
    property->SetPropertyMinMax(0.0, 100.0);
    if (animatable)
        property->GetPropertyInfo().ModifyFlag(KPropertyInfo::eAnimatable, true);
    return property;
}

int KObject::GetUserPropertyCount()
{
    int count = 0;
    for (int i = 0; i < mProperties.GetCount(); ++i)
        if (ReadPropertyInfoAt(i).GetFlags() & KPropertyInfo::eUser)
            ++count;
    return count;
}

KProperty* KObject::GetUserProperty(int index)
{
    if (index < 0)
        return nullptr;
    for (int i = 0; i < mProperties.GetCount(); ++i)
        if ((ReadPropertyInfoAt(i).GetFlags() & KPropertyInfo::eUser) && index-- == 0)
            return GetProperty(i);
    return nullptr;
}

bool KObject::RemoveUserProperty(int index)
{
    KProperty* property = GetUserProperty(index);
    if (!property)
        return false;
    PropertyDestroy(property);
    return true;
}

bool KObject::RemoveUserProperty(KProperty* property)
{
    if (!property || mProperties.Find(property) < 0 || !property->IsUserProperty())
        return false;
    PropertyDestroy(property);
    return true;
}

KProperty* KObject::AddUserReferenceProperty(KProperty* target, const char* name)
{
    if (!target || target->GetPropertyType() == kPropertyTypeObject)
        return nullptr;
    KString text;
    if (name)
        text = name;
    else
    {
        KObject* owner = target->GetOwnerObject();
        text = KString(owner ? owner->GetObjectName() : "") + "." + target->GetPropertyName();
    }
    KProperty* property = CreatePropertyFromType(text, kPropertyTypeReference, target->GetPropertyDataType(),
                                                 target->IsAnimatable(), true, target);
    if (!property)
        return nullptr;
    if (!property->IsConnectedSrc(target))
    {
        PropertyDestroy(property);
        return nullptr;
    }
    property->SetPropertyMinMax(target->GetPropertyMin(), target->GetPropertyMax());
    return property;
}

void KObject::CloneUserProperties(KObject* from)
{
    if (!from || from == this)
        return;
    for (int i = 0; i < from->GetUserPropertyCount(); ++i)
        CloneUserProperty(from->GetUserProperty(i));
}

KProperty* KObject::CloneUserProperty(KProperty* property)
{
    if (!property)
        return nullptr;
    kPropertyType type = kPropertyTypeReference;
    if (!property->IsReferenceProperty())
    {
        type = DataTypeToPropertyType(property->GetPropertyDataType());
        // Without a data type that names a kind, the property's own kind is
        // kept rather than losing the property.
        if (type == 0)
            type = property->GetPropertyType();
    }
    KProperty* clone = CreatePropertyFromType(property->GetPropertyName(), type, property->GetPropertyDataType(),
                                              property->IsAnimatable(), true,
                                              property->IsReferenceProperty() ? property->GetRefProperty() : nullptr);
    if (clone)
        clone->SetPropertyMinMax(property->GetPropertyMin(), property->GetPropertyMax());
    return clone;
}

KProperty* KObject::GetUserReferencePropertyBasedOnOriginal(KProperty* original)
{
    int index = GetUserReferencePropertyIndexBasedOnOriginal(original);
    return index >= 0 ? GetUserProperty(index) : nullptr;
}

int KObject::GetUserReferencePropertyIndexBasedOnOriginal(KProperty* original)
{
    if (!original)
        return -1;
    int userIndex = 0;
    for (int i = 0; i < mProperties.GetCount(); ++i)
    {
        if (!(ReadPropertyInfoAt(i).GetFlags() & KPropertyInfo::eUser))
            continue;
        KProperty* property = GetProperty(i);
        if (property->IsReferenceProperty() && property->GetRefProperty() == original)
            return userIndex;
        ++userIndex;
    }
    return -1;
}

void KObject::TransferPropertiesFrom(KObject& from, kPropertiesTransferType bits)
{
    if (bits & eTransferStatic)
        TransferStaticPropertiesFrom(from);
    if (bits & eTransferCloneUser)
        CloneUserProperties(&from);
    if (bits & eTransferUser)
        TransferUserPropertiesFrom(from);
}

namespace {

void TransferProperties(KObject& to, KObject& from, bool user)
{
    if (&to == &from)
        return;
    for (int i = 0; i < to.GetPropertyCount(); ++i)
    {
        KProperty* mine = to.GetProperty(i);
        if (mine->IsUserProperty() != user)
            continue;
        for (int j = 0; j < from.GetPropertyCount(); ++j)
        {
            KProperty* theirs = from.GetProperty(j);
            if (strcmp(mine->GetPropertyName(), theirs->GetPropertyName()) == 0 &&
                mine->GetClassId() == theirs->GetClassId())
            {
                mine->CopyAnimationFrom(theirs);
                break;
            }
        }
    }
}

} // namespace

void KObject::TransferStaticPropertiesFrom(KObject& from)
{
    TransferProperties(*this, from, false);
}

void KObject::TransferUserPropertiesFrom(KObject& from)
{
    TransferProperties(*this, from, true);
}

// ---------------------------------------------------------------------------
// Evaluation states

KObject::StateBlock KObject::NewState(int dataSize)
{
    size_t bytes = sizeof(KEvaluationState) + static_cast<size_t>(dataSize);
    StateBlock state(static_cast<KEvaluationState*>(::operator new(bytes)));
    memset(static_cast<void*>(state.get()), 0, bytes);
    state->mStamp = -1;
    state->mData = state.get() + 1;
    return state;
}

void KObject::AllocState(int index)
{
    while (GetStateCount() <= index)
    {
        mStates.push_back(NewState(mStateSize));
        EvaluationStateInit(mStates.back().get(), nullptr);
    }
}

KEvaluationState* KObject::GetEvaluationState(int index)
{
    return (index >= 0 && index < GetStateCount()) ? mStates[index].get() : nullptr;
}

KEvaluationState* KObject::GetEvaluationState(KEvaluateInfo* info, KStateMember* member)
{
    if (member && (member->mFlags & KStateMember::ePerEvaluation))
    {
        if (!info)
            info = &GlobalDisplayEvaluateInfo;
        if (info->mStateIndex < 0)
            return nullptr;
        AllocState(info->mStateIndex);
        if (info->mSourceStateIndex >= 0)
            AllocState(info->mSourceStateIndex);
        KEvaluationState* state = mStates[info->mStateIndex].get();
        if (state->mStamp != info->mEvaluationStamp)
        {
            EvaluationStateInit(state, GetEvaluationState(info->mSourceStateIndex));
            state->mStamp = info->mEvaluationStamp;
        }
        return state;
    }
    AllocState(0);
    return mStates[0].get();
}

void KObject::StateMemberAdd(KStateMember* member, int size, int& end)
{
    int align = (size % 8 == 0) ? 8 : (size % 4 == 0) ? 4 : (size % 2 == 0) ? 2 : 1;
    int offset = (mStateSize + align - 1) / align * align;
    int memberEnd = offset + size;
    int newSize = (memberEnd + 3) / 4 * 4 + 12;
    end = newSize - 12;
    if (member)
        member->mOffset = offset;
    for (StateBlock& old : mStates)
    {
        StateBlock state = NewState(newSize);
        memcpy(state.get() + 1, old.get() + 1, static_cast<size_t>(mStateSize < newSize ? mStateSize : newSize));
        old = std::move(state);
    }
    mStateSize = newSize;
}

void KObject::ClearStates()
{
    for (StateBlock& state : mStates)
        EvaluationStateFree(state.get());
    mStates.clear();
}

void KObject::EvaluationStateInit(KEvaluationState*, KEvaluationState*) {}

void KObject::EvaluationStateFree(KEvaluationState*) {}

// ---------------------------------------------------------------------------
// Merge hooks with a plain behaviour

void KObject::EditMergeConflicts(IMergeManager&) {}

bool KObject::CanMergeOverNow(KObject&, IMergeManager&, KString*)
{
    return true;
}

bool KObject::MergeOverCustom(bool, IApplyManager&, KMergeInfo&)
{
    return false;
}

void KObject::MergeCleanup(IApplyManager&) {}

bool KObject::IsMergeableSrc(KPlug*)
{
    return true;
}

bool KObject::CustomConflict()
{
    return false;
}
