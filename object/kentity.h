#ifndef QOX_OBJECT_KENTITY_H
#define QOX_OBJECT_KENTITY_H

// Entities: the containers of groups of objects (a scene's worth).
//
// The members of an entity are connected to it as sources and record it as
// their entity. The entity keeps their full names unique in its name table,
// keeps track of the selected members, and relays its members' plug
// notifications and entity events to its own listeners. An entity inside
// another entity passes every entity event on to it first.

#include <memory>

#include "object/kcallback.h"
#include "object/kobjectlist.h"
#include "object/kobjectset.h"
#include "object/kuniquename.h"

class KEntity;

// Entity event kinds raised by the entity itself.
enum
{
    kEntityMemberAdded = 2,
    kEntityMemberRemoved = 3,
    kEntityRemoveName = 26,
    kEntityAddName = 27,
    kEntityFocusChanged = 30
};

// Record passed to the entity-event listeners.
class KEventEntity : public KEventBase
{
public:
    enum
    {
        eType = 54863398
    };
    KEventEntity()
        : KEventBase(eType)
    {}

    HdlKObject mObject;
    HdlKObject mOther;
    kEntityEventType mKind = 0;
    int mValue = -1;
};

// Record passed to the plug-event listeners.
class KEventEntityPlug : public KEventBase
{
public:
    enum
    {
        eType = 42086455
    };
    KEventEntityPlug()
        : KEventBase(eType)
    {}

    kPlugAction mAction = 0;
    KPlug* mPlug = nullptr;
    int mIndex = 0;
    KPlug* mOther = nullptr;
    kConnectionType mConnectionType = 0;
    KPlug* mThird = nullptr;
};

// Record passed to the plug-data-event (54891576) and plug-state-event
// (54957145) listeners.
class KEventEntityPlugData : public KEventBase
{
public:
    enum
    {
        eDataType = 54891576,
        eStateType = 54957145
    };
    explicit KEventEntityPlugData(int type)
        : KEventBase(type)
    {}

    kPlugAction mAction = 0;
    KPlug* mPlug = nullptr;
    int mValue = 0;
    void* mData1 = nullptr;
    void* mData2 = nullptr;
};

class KEntity : public KObjectSet
{
    KPLUG_CLASS_DECLARE(KEntity)
public:
    KEntity();
    ~KEntity() override;

    KEntity(const KEntity&) = delete;
    KEntity& operator=(const KEntity&) = delete;

    void Construct(KWorld* world) override;
    // Deletes the selection list, then the object's destruction.
    void Destruct() override;
    // Refuses a new source that is already a member (or that would make the
    // entities contain one another); else the object's handling, then the
    // plug listeners.
    bool PlugNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, int index, KPlug* other,
                    kConnectionType type, KPlug* extra) override;
    bool ChildrenListNotify(kObjectListEvent event, const HdlKObject& child, int index) override;
    void ObjectTransactionBegin() override;
    void ObjectTransactionEnd() override;

    // Relays to the matching listeners, except actions 1, 3, 5, 7 and 9.
    virtual bool EntityPlugStateNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, void* a, void* b,
                                       int value);
    virtual bool EntityPlugDataNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, void* a, void* b,
                                      int value);
    bool EntityPlugNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, int index, KPlug* other,
                          kConnectionType type, KPlug* extra) override;
    bool EntityNotify(HdlKObject object, kEntityEventType kind, const HdlKObject& other, const char* text,
                      int value) override;
    using KObject::EntityNotify;
    void SetFocus(HdlKObject focus) override;
    HdlKObject GetFocus() override;

    // Membership ---------------------------------------------------------------
    // Makes the object and, through object sets, their members members of
    // this entity; nothing for what is already inside. True.
    bool RecursiveAdd(HdlKObject object);
    // Disconnects the object (and, through object sets, their members) when
    // this entity is its entity; false for an invalid handle.
    bool RecursiveRemove(HdlKObject object);
    // Whether this entity is the object's entity.
    bool IsMember(KObject* object) const;

    // Names ----------------------------------------------------------------------
    KObject* FindObjectByName(const char* fullName);
    // Enters the member's full name in the name table; when the table had to
    // number it, the member takes the unique name.
    void AddName(KObject* member);
    void RemoveName(KObject* member);
    // Sends kind 26 / 27 for the object and every prefix child below it.
    void RecursiveRename(KObject* object);
    void RecursiveRenamed(KObject* object);
    // The member's full name as the name table keeps it.
    static KString GetEntityFullName(KObject* member);

    // Selection ----------------------------------------------------------------
    int ObjectGetSelectedCount(int classId);
    HdlKObject ObjectGetSelected(int index, int classId);
    void ObjectSelectAll(bool select, KObject* except, int flags);

    // Clean-up -------------------------------------------------------------------
    bool CleanupIfInState(kPlugState state, KObject* object);
    void CleanupIfInState(kPlugState state, int classId);

    // Listeners ------------------------------------------------------------------
    bool EntityRegister(ICallback* object, ICallbackMethod method);
    bool EntityUnregister(ICallback* object, ICallbackMethod method);
    bool EntityPlugNotifyRegister(ICallback* object, ICallbackMethod method);
    bool EntityPlugNotifyUnregister(ICallback* object, ICallbackMethod method);
    bool EntityPlugDataNotifyRegister(ICallback* object, ICallbackMethod method);
    bool EntityPlugDataNotifyUnregister(ICallback* object, ICallbackMethod method);
    bool EntityPlugStateNotifyRegister(ICallback* object, ICallbackMethod method);
    bool EntityPlugStateNotifyUnregister(ICallback* object, ICallbackMethod method);

private:
    void AddCheck(KObject* object);
    bool Contains(KObject* object) const;
    KPlugList* GetSelection();
    void DropSelection();
    static bool Relayed(kPlugAction action);

    HdlKObject mFocus;
    RegisterEntryList mEntityListeners;
    RegisterEntryList mPlugListeners;
    RegisterEntryList mPlugDataListeners;
    RegisterEntryList mPlugStateListeners;
    std::unique_ptr<KUniqueNameObjectList> mNames;
    void* mReserved1 = nullptr;
    void* mReserved2 = nullptr;
    KPlugList* mSelection = nullptr;
};

// The typed list of entity handles.
class KEntityList : public KObjectListTemplate<HdlKObjectTemplate<KEntity>>
{
    KPLUG_CLASS_DECLARE(KEntityList)
};

// Process-wide entities.
extern HdlKObject Global_GeneralEntity;
extern HdlKObject Global_SystemEntity;
extern HdlKObject Global_UserEntity;
void KEntity_SetUser(HdlKObjectTemplate<KEntity> entity);
HdlKObjectTemplate<KEntity> KEntity_GetUser();
bool KEntity_IsEnabled();
bool KEntity_Init();
bool KEntity_Release();

// A new entity named name.
HdlKObjectTemplate<KEntity> KEntityCreate(const char* name);

#endif
