#ifndef QOX_OBJECT_KOBJECT_H
#define QOX_OBJECT_KOBJECT_H

// Objects: named, property-carrying plugs.
//
// The objects connected as an object's sources are its children, those
// connected as its destinations its parents. An object owns an ordered list of
// properties (its owned plugs), names and a prefix (with a cached full name),
// flag words, a weak link to the entity that contains it, pending
// replacements, callback registrations and per-evaluation state blocks. It
// turns connection notifications into object-tree notifications that
// subclasses override.

#include <cassert>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/karray.h"
#include "base/kstring.h"
#include "object/kcallback.h"
#include "object/kplug.h"

class KObject;
class KProperty;
class KEntity;
class KDataType;
class KWorld;
class KWorldState;
class KMergeInfo;
class KObjectList;
class KPropertyInfo;
class IApplyManager;
class IMergeManager;

typedef int kEntityEventType;
typedef int kObjectListEvent;
typedef int kPropertyType;
typedef int kPropertyFlag;
typedef int kParentType;
typedef int kObjectSetFindType;
typedef int kPropertiesTransferType;

// Entity events raised by objects (kEntityEventType).
enum
{
    kEntityDestroyed = 1,
    kEntityChildAdded = 4,
    kEntityChildRemoved = 5,
    kEntitySelected = 6,
    kEntityUnselected = 7,
    kEntityNameChanging = 8,
    kEntityPrefixChanging = 9,
    kEntityUniqueNameChanging = 10,
    kEntityUniquePrefixChanging = 11,
    kEntityNameChanged = 12,
    kEntityPrefixChanged = 13,
    kEntityUniqueNameChanged = 14,
    kEntityUniquePrefixChanged = 15,
    kEntitySelected2Set = 16,
    kEntitySelected2Cleared = 17,
    kEntityHardSelected = 18,
    kEntityActivated = 19,
    kEntityDeactivated = 20,
    kEntityTransactionBegin = 23,
    kEntityTransactionEnd = 24,
    kEntitySelectedAgain = 25,
    kEntityChildAdding = 28,
    kEntityChildRemoving = 29,
    kEntityChildRemovedAt = 31,
    kEntityChildMoving = 32,
    kEntityChildMoved = 33
};

// Object-tree and list events (kObjectListEvent).
enum
{
    kListClear = 0,
    kListAdding = 1,
    kListRemoving = 2,
    kListAdded = 4,
    kListRemoved = 5,
    kListBeginChange = 6,
    kListEndChange = 7,
    kListPropertyAdding = 8,
    kListPropertyRemoving = 9,
    kListPropertyAdded = 11,
    kListPropertyRemoved = 12,
    kListChildMoving = 14,
    kListChildMoved = 15
};

// Weak handle to an object: the same two words as a plug handle.
class HdlKObject : public HdlKPlug
{
public:
    constexpr HdlKObject()
        : HdlKPlug()
    {}
    HdlKObject(const KObject* object);
    // A plug handle known to name an object (or to be empty or dead).
    explicit HdlKObject(const HdlKPlug& hdl)
        : HdlKPlug(hdl)
    {}

    KObject* Get() const;
    KObject* operator->() const { return Get(); }
};

// Typed weak handle; T derives from KObject.
template <class T>
class HdlKObjectTemplate : public HdlKObject
{
public:
    constexpr HdlKObjectTemplate()
        : HdlKObject()
    {}
    HdlKObjectTemplate(T* object)
        : HdlKObject(static_cast<const KObject*>(object))
    {}
    explicit HdlKObjectTemplate(const HdlKObject& hdl)
        : HdlKObject(hdl)
    {}

    T* Get() const { return static_cast<T*>(HdlKObject::Get()); }
    T* operator->() const { return Get(); }
};

// The process's two empty object handles.
extern const HdlKObject HdlNull;
extern const HdlKObject NullHandle;

// A pending replacement of a connection.
struct KReplaceActionInfo
{
    KReplaceActionInfo()
        : mPlug(nullptr)
        , mOther(nullptr)
        , mNewPlug(nullptr)
        , mSourceSide(false)
    {}
    KReplaceActionInfo(KPlug* plug, KPlug* other, KPlug* newPlug, bool sourceSide)
        : mPlug(plug)
        , mOther(other)
        , mNewPlug(newPlug)
        , mSourceSide(sourceSide)
    {}
    bool operator==(const KReplaceActionInfo& o) const
    {
        return mPlug == o.mPlug && mOther == o.mOther && mNewPlug == o.mNewPlug && mSourceSide == o.mSourceSide;
    }

    KPlug* mPlug;
    KPlug* mOther;
    KPlug* mNewPlug;
    bool mSourceSide;
};

// One evaluation-state block: stamp (-1 when new), its data, then the data.
struct KEvaluationState
{
    int mStamp;
    void* mData;
};

// A member of the evaluation state.
struct KStateMember
{
    enum
    {
        ePerEvaluation = 1
    };
    int mOffset = 0;
    int mFlags = 0;
};

// A link of the chain of visited objects in IsParentOf.
struct KStackItem
{
    KStackItem* mPrevious;
    KObject* mObject;
};

// Event record of the object-tree notifications.
class KEventObjectTree : public KEventBase
{
public:
    enum
    {
        eType = 0x52362
    };
    KEventObjectTree()
        : KEventBase(eType)
        , mPlug(nullptr)
        , mEvent(0)
    {}

    KPlug* mPlug;
    HdlKObject mObject;
    HdlKObject mOther;
    kObjectListEvent mEvent;
};

// How a world registers objects and their properties. The world unit installs
// these; without them Construct(world) and WorldDetach only record or clear
// nothing.
struct KObjectWorldLink
{
    int (*mRegisterObject)(KWorld* world, KObject* object);
    void (*mUnregisterObject)(KWorld* world, KObject* object);
    void (*mUnregisterProperty)(KWorld* world, KProperty* property);
};
void KObject_SetWorldLink(const KObjectWorldLink& link);

// Process-wide "project modified" flag.
void Object_SetProjectModified(bool modified);
bool Object_GetProjectModified();

// Process-wide counter of selections.
extern int GlobalSelectOrderId;

// One entry of an object's property list: a property, or the number of a row
// of the class's deferred table whose property is not made yet. A property is
// at least 2-aligned, so the low bit tells the two apart.
class KPropertySlot
{
public:
    KPropertySlot() = default;
    KPropertySlot(KProperty* property)
        : mBits(reinterpret_cast<uintptr_t>(property))
    {}
    static KPropertySlot Deferred(int row)
    {
        KPropertySlot slot;
        slot.mBits = (static_cast<uintptr_t>(row) << 1) | 1u;
        return slot;
    }
    bool IsDeferred() const { return (mBits & 1u) != 0; }
    int Row() const { return static_cast<int>(mBits >> 1); }
    // The property; null for a deferred row.
    KProperty* Made() const { return IsDeferred() ? nullptr : reinterpret_cast<KProperty*>(mBits); }
    bool operator==(const KPropertySlot& other) const { return mBits == other.mBits; }

private:
    uintptr_t mBits = 0;
};

class KObject : public KPlug
{
    KPLUG_CLASS_DECLARE(KObject)
public:
    static int ClassGroupId;
    static const char* ClassGroupName;

    // Object flags.
    enum
    {
        eDefaultObjectFlags = 0x13DF,
        eNoUserProperties = 0x20
    };
    // Status flags.
    enum
    {
        eBeingDestroyed = 8
    };
    // Select flags.
    enum
    {
        eSelected = 1,
        eSelected2 = 2
    };
    // kParentType bits.
    enum
    {
        eParentDirect = 1,
        eParentRecursive = 2,
        eParentNoFilter = 4
    };
    // kObjectSetFindType values.
    enum
    {
        eFindFullName = 0,
        eFindShortName = 1
    };
    // kPropertiesTransferType bits.
    enum
    {
        eTransferStatic = 1,
        eTransferCloneUser = 4,
        eTransferUser = 8
    };
    // Which passes a merge runs (bits below) and which side of a relation.
    typedef int kMergePasses;
    typedef int kRelation;

    // kMergePasses bits.
    enum
    {
        eMergeProperties = 2,
        eMergeDstRelations = 4,
        eMergeSrcRelations = 8,
        eMergeIdentity = 64
    };
    // kRelation values.
    enum
    {
        eRelationSrc = 1,
        eRelationDst = 2
    };

    KObject();
    // Takes the full name and, when the entity is live, joins it.
    KObject(const char* name, HdlKObjectTemplate<KEntity> entity);
    ~KObject() override;

    // Plug operations ----------------------------------------------------------
    IKObject* IQuery(unsigned long interfaceId, int flags) override;
    // Registers the object with a non-null world.
    void Construct(KWorld* world) override;
    // Marks the object destroyed, unselects it, tells its entity, disconnects
    // everything, destroys the dynamic properties, leaves the world, then the
    // plug's Destruct. Safe to call more than once.
    void Destruct() override;
    int GetClassGroupId() override;
    const char* GetClassGroupName() override;
    bool IsInReplace(KPlug* a, KPlug* b) override;
    bool IsInState(kPlugState state) override;
    bool PlugNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, int index, KPlug* other,
                    kConnectionType type, KPlug* extra) override;
    int GetOwnedPlugCount() override;
    KPlug* GetOwnedPlug(int index) override;

    // Object operations --------------------------------------------------------
    virtual void DestructProperties();
    virtual void DisconnectAll();
    virtual void ResetToDefault();
    virtual void EntitySet(HdlKObjectTemplate<KEntity> entity);
    virtual int GetPrefixClassId();
    virtual void SetObjectName(const char* name);
    virtual const char* GetObjectName();
    virtual void SetObjectPrefixName(const char* prefix);
    virtual void SetObjectUniqueName(const char* name);
    virtual void SetObjectUniquePrefixName(const char* prefix);
    virtual void SetObjectFullName(const char* fullName);
    virtual void SetDirtyName(bool recursive);
    virtual bool EntityNotify(kEntityEventType event, const HdlKObject& handle, const char* text, int index);
    virtual bool ObjectSetNotify(kEntityEventType event, const HdlKObject& object, const HdlKObject& handle,
                                 const char* text);
    virtual void ObjectTransactionBegin();
    virtual void ObjectTransactionEnd();
    virtual KObject* ObjectClone(const char* name, bool a, bool b);
    virtual void SetObjectActive(bool active);
    virtual bool SetSelectFlag(int flags);
    virtual bool ListNotify(KObject* list, kObjectListEvent event, const HdlKObject& handle, int index);
    virtual bool ObjectTreeNotify(KPlug* plug, kObjectListEvent event, const HdlKObject& handle, int index);
    virtual bool ChildrenListNotify(kObjectListEvent event, const HdlKObject& child, int index);
    virtual bool ParentListNotify(kObjectListEvent event, const HdlKObject& parent, int index);
    virtual void PropertyNotify(kObjectListEvent event, KProperty* property, bool dynamic, const char* text);
    virtual void EvaluationStateInit(KEvaluationState* state, KEvaluationState* source);
    virtual void EvaluationStateFree(KEvaluationState* state);
    virtual KProperty* CreatePropertyFromType(const char* name, kPropertyType type, KDataType* dataType,
                                              bool animatable, bool user, KProperty* referenced);
    // A bare property holding a value of that kind (blank descriptor, no
    // owner), or null for a kind no property holds.
    static KProperty* NewPropertyOfType(kPropertyType type);
    // Appends with property notifications 8 before and 11 after; returns -1.
    virtual int PropertyAddToList(KProperty* property);
    // Removes with notifications 9 and 12, and from the object's world: false
    // when removed, true when the index named nothing.
    virtual bool PropertyIndexRemoveFromList(int index);
    // Removes from the list; destroys a dynamic property, only disconnects a
    // static one.
    virtual bool PropertyIndexDestroy(int index);
    virtual void CleanUpPropertyBeforeRemove(KProperty* property);
    virtual KProperty* AddUserReferenceProperty(KProperty* target, const char* name);
    virtual KProperty* CloneUserProperty(KProperty* property);
    virtual void TransferPropertiesFrom(KObject& from, kPropertiesTransferType bits);
    virtual void TransferStaticPropertiesFrom(KObject& from);
    virtual void TransferUserPropertiesFrom(KObject& from);
    virtual void EditMergeConflicts(IMergeManager& manager);
    virtual bool CanMergeOverNow(KObject& other, IMergeManager& manager, KString* reason);
    // This object (the incoming one) takes the place of other (the existing
    // one); true when pass 2 or 64 ran.
    virtual bool MergeOver(KObject& other, kMergePasses passes, IApplyManager& manager, KMergeInfo& info);
    virtual bool MergeOverCustom(bool a, IApplyManager& manager, KMergeInfo& info);
    // Moves from's connections of one kind, and those of its properties, to to.
    virtual bool SubstituteRelation(kRelation relation, KObject& from, KObject& to, KMergeInfo& info);
    virtual void MergeCleanup(IApplyManager& manager);
    virtual bool IsMergeableSrc(KPlug* source);
    virtual bool IsMergeable();
    virtual bool CustomConflict();

    // Entity side. An entity (a KObject subclass) overrides these; a plain
    // object holds no members and has no focus.
    virtual bool EntityNotify(HdlKObject object, kEntityEventType kind, const HdlKObject& other, const char* text,
                              int value);
    virtual bool EntityPlugNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, int index, KPlug* other,
                                  kConnectionType type, KPlug* extra);
    virtual void SetFocus(HdlKObject focus);
    virtual HdlKObject GetFocus();

    // Entity and world ---------------------------------------------------------
    HdlKObject GetEntity() const { return mEntity; }
    KWorld* GetWorld() const { return mWorld; }
    int GetWorldIndex() const { return mWorldIndex; }
    // Set by the world when it registers or unregisters the object.
    void SetWorldIndex(KWorld* world, int index)
    {
        mWorld = world;
        mWorldIndex = index;
    }
    void WorldDetach();

    // Flags and selection ----------------------------------------------------
    bool HasObjectFlags(int flags) const { return (mObjectFlags & flags) != 0; }
    bool HasAllObjectFlags(int flags) const { return (mObjectFlags & flags) == flags; }
    void EnableObjectFlags(int flags) { mObjectFlags |= flags; }
    void DisableObjectFlags(int flags) { mObjectFlags &= ~flags; }
    int GetObjectFlags() const { return mObjectFlags; }
    void SetObjectStatusFlag(int flags, bool set)
    {
        mStatusFlags = set ? (mStatusFlags | flags) : (mStatusFlags & ~flags);
    }
    bool GetObjectStatusFlag(int flags) const { return (mStatusFlags & flags) != 0; }
    void ClearObjectStatusFlags() { mStatusFlags = 0; }
    bool GetObjectActive() const { return mActive; }
    int GetSelectFlag() const { return mSelectFlags; }
    int GetSelectOrder() const { return mSelectOrder; }
    void HardSelect();
    void Focus();
    bool IsFocused();
    void SetSoftClassId(int id, const char* name);
    int GetSoftClassId() const { return mSoftClassId; }
    KString GetSoftClassName() const;
    bool GetFullSoftClassId() const;

    // Tree and queries ---------------------------------------------------------
    void ClearChildren();
    int ObjectFindIndex(const HdlKObject& object);
    bool IsPartOfEntity(const HdlKObject& entity);
    bool IsOrphan();
    bool IsParentOf(const HdlKObject& child, kParentType type, int classId, KStackItem* stack);
    HdlKObject Find(const char* name, kObjectSetFindType how, int classId);
    bool HasConnection(kDirection direction);
    static int GetComponentClassId();
    bool Register(ICallback* object, ICallbackMethod method);
    bool Unregister(ICallback* object, ICallbackMethod method);
    RegisterEntryList* GetRegistrations() const { return mRegistrations.get(); }
    void ObjectDetachParents();
    void ObjectDetachChildren();
    void ObjectDestroyChildren();
    void FillOldToNewSet(KMergeInfo& info);

    // Properties ---------------------------------------------------------------
    // A class may list rows of a fixed table whose properties it makes only
    // when first asked for (PropertyAddDeferred): such a row counts, keeps
    // its place and answers every query like a made property; asking for it
    // as a property makes it, once. Like any change of the object, making one
    // is not safe against a concurrent request on the same object.
    int GetPropertyCount() const { return mProperties.GetCount(); }
    // index must lie in the list (asserted). Makes a deferred row's property.
    KProperty* GetProperty(int index) const
    {
        assert(index >= 0 && index < mProperties.GetCount());
        KProperty* property = mProperties[index].Made();
        return property ? property : MakeDeferred(index);
    }
    // The property at index, or null for a row not made yet; makes nothing.
    KProperty* GetPropertyIfMade(int index) const
    {
        assert(index >= 0 && index < mProperties.GetCount());
        return mProperties[index].Made();
    }
    // Whether index lies in the list.
    bool IsPropertyIndex(int index) const;
    // The descriptor and the own flags of the property at index, read
    // without making a deferred row; a blank descriptor and 0 out of range.
    const KPropertyInfo& ReadPropertyInfoAt(int index) const;
    kPropertyFlag GetPropertyFlagAt(int index) const;
    // The value of the property at index, in the property's own
    // representation, as its GetData and SetData read and write it. A row not
    // made is read and written through the object without being made, unless
    // the write would be announced to a listener (then it is made first).
    // Nothing is read or written out of range.
    void GetPropertyData(int index, void* out);
    void SetPropertyData(int index, void* in);
    // Where the value of a row not made yet lies, for a reader that writes
    // it in place: the value in its property's own representation (bool,
    // int for int and enum kinds, float, double, KTime, the four doubles of
    // a vector or colour), and storing a value of the row's kind there is
    // what SetPropertyData does with it. Null out of range, for a made
    // property, for a class that keeps no such value, and while a write
    // would be announced to a listener.
    void* DeferredValueAt(int index);
    KProperty* FindPropertyByName(const char* name);
    // Index of the first property of that name, or -1; makes nothing.
    int FindPropertyIndexByName(const char* name) const;
    bool PropertyRemoveFromList(KProperty* property);
    bool PropertyDestroy(KProperty* property);
    int GetUserPropertyCount();
    KProperty* GetUserProperty(int index);
    // Destroy a user property of this object; true when one was removed.
    bool RemoveUserProperty(int index);
    bool RemoveUserProperty(KProperty* property);
    void CloneUserProperties(KObject* from);
    KProperty* GetUserReferencePropertyBasedOnOriginal(KProperty* original);
    int GetUserReferencePropertyIndexBasedOnOriginal(KProperty* original);

    // Names --------------------------------------------------------------------
    const char* GetObjectOriginalName();
    const char* GetObjectPrefixName();
    const char* GetObjectOriginalPrefixName();
    const char* GetObjectFullName();
    KString GetObjectFullPrefixName();
    KString GetObjectLabelName(bool full);
    KString GetObjectReferenceName();
    KString GetObjectEntityName();
    bool IsNameDirty() const { return mDirtyName; }
    static void ExtractUniqueChildPrefix(const KString& parentFullPrefix, const KString& childPrefix, KString& result);
    // The first live object among the destinations of the prefix class, or null.
    KObject* GetPrefixParent();

    // Evaluation states ----------------------------------------------------------
    void AllocState(int index);
    KEvaluationState* GetEvaluationState(int index);
    KEvaluationState* GetEvaluationState(KEvaluateInfo* info, KStateMember* member);
    void StateMemberAdd(KStateMember* member, int size, int& end);
    void ClearStates();
    int GetStateSize() const { return mStateSize; }
    int GetStateCount() const { return static_cast<int>(mStates.size()); }

protected:
    // Appends row of the class's deferred table without making its property.
    void PropertyAddDeferred(int row);
    // The same for count rows in turn.
    void PropertyAddDeferred(const int* rows, int count);
    // Index in the list of that row while it is not made, else -1.
    int FindDeferredRow(int row) const { return mProperties.Find(KPropertySlot::Deferred(row)); }
    // A class that defers rows: makes the property of row, owned by the
    // object (ConnectOwnedPlug), and keeps it for the object's life; its
    // descriptor and own flags as the row has them before it is made.
    virtual KProperty* MakeDeferredProperty(int row);
    virtual const KPropertyInfo& DeferredPropertyInfo(int row) const;
    // Every row's descriptor by row number when the class keeps them in one
    // array for the object's life (DeferredPropertyInfo(row) is then
    // infos[row]); null by default. Asked once, when a row not made is first
    // read, so that reading a row's descriptor takes no call to the class.
    virtual const KPropertyInfo* DeferredPropertyInfos() const;
    virtual kPropertyFlag DeferredPropertyFlags(int row) const;
    // The value of a row not made, as its property would read and write it
    // (without announcing the write); by default the row is made for it.
    virtual void DeferredPropertyGetData(int row, void* out);
    virtual void DeferredPropertySetData(int row, void* in);
    // The place of a row's value when its setter only copies the value there
    // (see DeferredValueAt); null by default.
    virtual void* DeferredPropertyValue(int row);

    // The live objects among the plug's destinations (or sources) that the
    // filter of classId accepts (-1 and the plug class: all), in order.
    static void CollectObjects(KPlug* plug, bool sources, int classId, KArrayTemplate<KObject*>& out);

private:
    KProperty* MakeDeferred(int index) const;
    // The list changes that keep mFirstMade: an entry made at index, and
    // the entry at index taken out.
    void NoteMade(int index) const
    {
        if (index < mFirstMade)
            mFirstMade = index;
    }
    void RemoveEntry(int index);
    // DeferredPropertyInfos, asked for once; and the descriptor of a row
    // not made yet through it.
    const KPropertyInfo* DeferredRows() const;
    const KPropertyInfo& DeferredRowInfo(int row) const;
    void TrackReplaceAction(kPlugAction action, KPlug* plug, KPlug* other, KPlug* extra);
    bool NotifyWithoutObject(kPlugAction action, KPlug* plug, KPlug* other, int index);
    bool NotifyListEvent(kPlugAction action, KPlug* plug, const HdlKObject& other, int index);
    void RaiseEntity(kEntityEventType event, const char* text = nullptr);
    // Stores a new name (or prefix) in slot and, when given, the requested
    // slot, telling the entity and the listeners before and after.
    void ChangeNameText(const KString& value, kEntityEventType changing, kEntityEventType changed,
                        kPlugAction plugChanging, bool prefix, std::unique_ptr<KString>& slot,
                        std::unique_ptr<KString>* requested = nullptr);
    KString RequestedPrefixChain();
    // A state block is one allocation: the header, then the zeroed data.
    struct StateBlockDelete
    {
        void operator()(KEvaluationState* state) const { ::operator delete(state); }
    };
    typedef std::unique_ptr<KEvaluationState, StateBlockDelete> StateBlock;
    static StateBlock NewState(int dataSize);

    // The words and pointers first, then the small fields together, so that
    // no padding falls between them.
    KWorld* mWorld = nullptr;
    HdlKObject mEntity;
    std::unique_ptr<KString> mName;
    std::unique_ptr<KString> mRequestedName;
    std::unique_ptr<KString> mPrefix;
    std::unique_ptr<KString> mRequestedPrefix;
    std::unique_ptr<KString> mFullName;
    std::unique_ptr<RegisterEntryList> mRegistrations;
    std::unique_ptr<KString> mSoftClassName;
    KArrayTemplate<KReplaceActionInfo> mReplaceActions;
    std::vector<StateBlock> mStates;
    KArrayTemplate<KPropertySlot> mProperties;
    // DeferredPropertyInfos once asked; null: ask DeferredPropertyInfo.
    mutable const KPropertyInfo* mDeferredRows = nullptr;
    int mWorldIndex = -1;
    bool mDirtyName = true;
    bool mActive = false;
    mutable bool mDeferredRowsAsked = false;
    int mObjectFlags = eDefaultObjectFlags;
    int mStatusFlags = 0;
    int mSoftClassId = 0;
    int mSelectFlags = 0;
    int mSelectOrder = 0;
    int mStateSize = 0;
    // Every entry of the list below this index is a row not made yet (so
    // none of them has a connection or anything to destroy): the walks over
    // the made properties stop there. At or past the count when none is
    // made; it may lie lower than the first made entry, never higher.
    mutable int mFirstMade = 0;
    int mReservedWord2 = 0;
};

inline HdlKObject::HdlKObject(const KObject* object)
    : HdlKPlug(static_cast<const KPlug*>(object))
{}

inline KObject* HdlKObject::Get() const
{
    return static_cast<KObject*>(HdlKPlug::Get());
}

// Splits a full name "entity:::group::prefix:name" (separators searched from
// the end); always true.
bool ExtractNameParts(const char* text, KString& entityPart, KString& groupPart, KString& prefixPart, KString& name);
// group + "::" (when not empty) + prefix + ":" (when not empty) + name.
KString MakeFullName(const char* entityPart, const char* groupPart, const char* prefixPart, const char* name);
// Joins a parent prefix and a child prefix with one ':'.
KString ConcatPrefixes(const char* parentPrefix, const char* childPrefix);
// The entity part of a full name: always empty.
void MakeFullEntityName(KObject* object, KString& text);

// The topmost owner of a plug (the plug itself without owner) when it is an
// object; null otherwise.
KObject* GetOwner(KPlug* plug);
void MergeDst(KPlug* from, KPlug* to, KMergeInfo& info);
void MergeSrc(KPlug* from, KPlug* to, KMergeInfo& info);

#endif
