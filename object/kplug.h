#ifndef QOX_OBJECT_KPLUG_H
#define QOX_OBJECT_KPLUG_H

// Plugs: the connectable base of the object model.
//
// A plug keeps two ordered lists of connections, its sources and its
// destinations; a connection from A to B is recorded as a destination of A and
// as a source of B. Connections are changed only through the operations
// below, which keep both lists (and the lists of the plugs' sub-plugs)
// consistent and tell every plug involved before and after through PlugNotify.
//
// A sub-plug (type bit 8) is a filtered view of its owner's connections: it
// holds the owner's connections that its filter accepts, in the owner's order.
// Connecting or disconnecting a sub-plug acts on its owner.
//
// Plugs refer to one another through weak handles only.

#include <atomic>
#include <cassert>
#include <cstdint>
#include <memory>

#include "base/karray.h"
#include "object/kcallback.h"
#include "object/kclassid.h"
#include "object/khdl.h"

class KPlug;
class KPlugFilter;
class KWorld;

typedef int kPlugAction;
typedef int kConnectionType;
typedef int kPlugState;

// Notification codes (kPlugAction).
enum
{
    kPlugRequestSrc = 0, // may other become a source? (veto)
    kPlugRequestDst = 1, // may other become a destination? (veto)
    kPlugSrcConnecting = 2,
    kPlugDstConnecting = 3,
    kPlugSrcConnected = 4,
    kPlugDstConnected = 5,
    kPlugSrcDisconnecting = 6,
    kPlugDstDisconnecting = 7,
    kPlugSrcDisconnected = 8,
    kPlugDstDisconnected = 9,
    kPlugReplaceSrcEndBegin = 10, // told to the source end of a replaced connection
    kPlugReplaceSrcEndEnd = 11,
    kPlugReplaceDstEndBegin = 12, // told to the destination end
    kPlugReplaceDstEndEnd = 13,
    kPlugSrcMoving = 14,
    kPlugSrcMoved = 15,
    kPlugBeginChange = 16,
    kPlugEndChange = 17,
    kPlugDataChanging = 20,
    kPlugDataChanged = 21,
    kPlugDestroying = 23,
    kPlugSelected = 24,
    kPlugUnselected = 25,
    kPlugSelectedAgain = 26,
    kPlugNameChanging = 27,
    kPlugNameChanged = 28,
    kPlugPrefixChanging = 29,
    kPlugInfoChanged = 31
};

// Connection types (kConnectionType).
enum
{
    kConnectionNormal = 0,
    kConnectionOneWay = 2 // recorded only in the destination's source list
};

// The chain of plugs through which a connection notification was relayed.
struct KPlugCallstack
{
    KPlugCallstack* mPrevious;
    KPlug* mPlug;
};

// One registered listener of a plug.
struct KPlugNotifyHandler
{
    KPlug* mListener;
    KPlugNotifyHandler* mNext;
};

// One connection record.
struct KPlugConnection
{
    HdlKPlug mHdl;
    kConnectionType mType;
};

// An ordered list of connection records. Grows geometrically and removes at
// either end in constant time. A search looks at the last records first; a
// long list searched past them keeps, from then on, an occurrence count per
// plug (one flat table, no allocation per record) so that a lookup of a plug
// not in the list fails at once and one of a plug connected once looks out
// from where the last such lookup ended and in from both ends. Lists that
// are only filled and read in order never pay for it. Searches may run on
// several threads at once while the list does not change.
class KPlugConnectionList
{
public:
    KPlugConnectionList();
    ~KPlugConnectionList();

    KPlugConnectionList(const KPlugConnectionList&) = delete;
    KPlugConnectionList& operator=(const KPlugConnectionList&) = delete;

    int GetCount() const { return mState ? mState->mCount : 0; }
    // index must lie within the list.
    const KPlugConnection& At(int index) const
    {
        assert(index >= 0 && index < GetCount());
        return mState->Data()[mState->mHead + index];
    }
    // Inserts before index (clamped to the count).
    void Insert(int index, const KPlugConnection& connection);
    void Remove(int index);
    // Last position of the handle, or -1.
    int FindLast(const HdlKPlug& hdl) const;
    void Clear();

private:
    struct Index;
    // The bookkeeping with the records right behind it in one block, made
    // by the first insertion and kept until Clear: most plugs never
    // connect, and then the list costs one pointer.
    struct State
    {
        int mHead = 0;
        int mCount = 0;
        int mCapacity = 0;
        // Made by the first search of a long list, then kept in step.
        mutable std::atomic<Index*> mIndex{nullptr};
        // Where the last search by count found its record: the next search
        // starts there too, so removals that walk through a long list stay
        // cheap. Only a hint (any value is safe).
        mutable std::atomic<int> mLastFound{0};
        ~State();
        KPlugConnection* Data() { return reinterpret_cast<KPlugConnection*>(this + 1); }
        const KPlugConnection* Data() const { return reinterpret_cast<const KPlugConnection*>(this + 1); }
        // A block with room for capacity records.
        static State* Make(int capacity);
    };
    struct StateDeleter
    {
        void operator()(State* state) const;
    };
    void Grow(int index);
    // The index of a long list, made now if there is none yet.
    Index* SearchIndex() const;
    // Position of the one record of a handle, or -1.
    int FindOnly(const HdlKPlug& hdl) const;

    std::unique_ptr<State, StateDeleter> mState;
};

class KPlug : public ICallback
{
public:
    // Low three bits of the flags: which connections the plug accepts.
    typedef int kDirection;
    // Sub-plug type: 8 for a filtered view of the owner, else 0.
    typedef int kType;

    enum
    {
        eAcceptSrc = 1,
        eAcceptDst = 2,
        eOneWayInput = 4,
        eDirectionMask = 7,
        eSubPlug = 8,
        eCreatedOnDemand = 16,
        eDestroyRequested = 0x10000
    };

    static int ClassId;
    static KClassDefinition ClassDefinition;
    static int ClassGroupId;
    static const char* ClassGroupName;

    KPlug();
    virtual ~KPlug();

    KPlug(const KPlug&) = delete;
    KPlug& operator=(const KPlug&) = delete;

    // Interface ids 0, 2 and 0xDE1947F3 answer the plug itself.
    IKObject* IQuery(unsigned long interfaceId, int flags) override;
    // Destruct and delete, unless destruction is postponed: then it happens
    // when the postponement ends.
    void Destroy(int local = 0) override;

    virtual void Construct(KWorld* world);
    // Action 23, then every connection is removed (InternalClear).
    virtual void Destruct();
    // True for the class's own id and every ancestor's.
    virtual bool Is(int classId) const;
    virtual int GetClassId() const;
    virtual const char* GetClassIdName() const;
    virtual KClassDefinition* GetClassDefinition() const;
    virtual int GetClassGroupId();
    virtual const char* GetClassGroupName();
    virtual KPlug* SubPlugInstanciate(KPlugFilter* filter);
    virtual bool IsInReplace(KPlug* a, KPlug* b);
    virtual bool IsInState(kPlugState state);
    virtual bool PlugDataNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, void* a, void* b,
                                int value);
    virtual bool PlugStateNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, void* a, void* b,
                                 int value);
    virtual bool PlugNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, int index, KPlug* other,
                            kConnectionType type, KPlug* extra);
    virtual bool SetOwnerPlug(KPlug* owner);
    virtual int GetOwnedPlugCount();
    virtual KPlug* GetOwnedPlug(int index);
    virtual bool ConnectOwnedPlug(KPlug* plug);
    virtual bool DisconnectOwnedPlug(KPlug* plug);
    virtual bool BeginChange();
    virtual bool EndChange();
    virtual void DisconnectBegin();
    virtual void DisconnectEnd();
    virtual void ConnectBegin();
    virtual void ConnectEnd();
    virtual bool ValidateConnections();

    // Reading the lists ------------------------------------------------------
    int GetSrcCount() const { return mExtra ? mExtra->mSrc.GetCount() : 0; }
    int GetDstCount() const { return mExtra ? mExtra->mDst.GetCount() : 0; }
    // The plug of a record, null when it no longer exists; index must lie in
    // the list (asserted).
    KPlug* GetSrc(int index) const { return Connections(true).At(index).mHdl.Get(); }
    KPlug* GetDst(int index) const { return Connections(false).At(index).mHdl.Get(); }
    kConnectionType GetSrcType(int index) const { return Connections(true).At(index).mType; }
    kConnectionType GetDstType(int index) const { return Connections(false).At(index).mType; }
    HdlKPlug GetSrcHdl(int index) const { return Connections(true).At(index).mHdl; }
    HdlKPlug GetDstHdl(int index) const { return Connections(false).At(index).mHdl; }

    // Connecting -------------------------------------------------------------
    bool ConnectSrc(KPlug* plug, kConnectionType type = kConnectionNormal);
    bool ConnectDst(KPlug* plug, kConnectionType type = kConnectionNormal);
    bool ConnectSrcAt(int index, KPlug* plug, kConnectionType type = kConnectionNormal);
    bool ConnectDstAt(int index, KPlug* plug, kConnectionType type = kConnectionNormal);
    static bool ConnectPlug(KPlug* source, KPlug* destination, kConnectionType type);
    static bool ConnectAt(KPlug* source, int destinationIndex, KPlug* destination, int sourceIndex,
                          kConnectionType type);
    // beforeDestination: in the source's destinations; beforeSource: in the
    // destination's sources; null = at the end.
    static bool UserConnectBefore(KPlug* source, KPlug* beforeDestination, KPlug* destination, KPlug* beforeSource,
                                  kConnectionType type);

    // Disconnecting ----------------------------------------------------------
    bool DisconnectSrc(KPlug* plug);
    bool DisconnectDst(KPlug* plug);
    bool DisconnectSrcAt(int index);
    bool DisconnectDstAt(int index);
    static bool DisconnectPlug(KPlug* source, KPlug* destination);
    void DisconnectAllSrc();
    void DisconnectAllDst();
    void DisconnectAllSrc(int classId);
    void DisconnectAllDst(int classId);

    // Replacing and moving ---------------------------------------------------
    bool ReplaceSrcAt(int index, KPlug* plug);
    bool ReplaceDstAt(int index, KPlug* plug);
    bool ReplaceInSrc(KPlug* oldSource, KPlug* newSource, int newSourceIndex);
    bool ReplaceInDst(KPlug* oldDestination, KPlug* newDestination, int newDestinationIndex);
    bool MoveSrcAt(int from, int to);
    bool MoveSrcAt(KPlug* plug, KPlug* atPlug);
    // Exchanges two sources; false when an index is outside the list.
    bool SwapSrc(int a, int b);

    // Queries ----------------------------------------------------------------
    bool IsConnectedSrc(KPlug* plug) const;
    bool IsConnectedDst(KPlug* plug) const;
    bool IsValidSrc(KPlug* plug, kConnectionType type = kConnectionNormal) const;
    bool IsValidDst(KPlug* plug, kConnectionType type = kConnectionNormal) const;
    bool RequestValidSrc(KPlug* plug, kConnectionType type = kConnectionNormal);
    bool RequestValidDst(KPlug* plug, kConnectionType type = kConnectionNormal);
    int FindSrcIndexFromOwnerPlugIndex(KPlug* owner, int ownerIndex) const;
    int FindDstIndexFromOwnerPlugIndex(KPlug* owner, int ownerIndex) const;
    // Last position of a plug among the sources / destinations, or -1.
    int FindSrc(KPlug* plug) const;
    int FindDst(KPlug* plug) const;

    // Owner and sub-plugs ----------------------------------------------------
    KPlug* GetOwnerPlug() const { return mOwner; }
    void SetFilter(KPlugFilter* filter, kType type);
    // The filter; null when none was set or it has been destroyed (a plug
    // without a filter accepts every plug).
    KPlugFilter* GetFilter() const;
    bool IsSubPlug() const { return (mFlags & eSubPlug) != 0; }
    void SubPlugAdd(KPlug* plug);
    void SubPlugRemove(KPlug* plug);
    void SubPlugFill(KPlug* sub);
    KPlug* SubPlugFind(KPlugFilter* filter);
    KPlug* SubPlugGetOrCreate(KPlugFilter* filter);
    void SubPlugRemoveAll();
    int GetSubPlugCount() const { return mExtra ? mExtra->mSubPlugs.GetCount() : 0; }
    KPlug* GetSubPlug(int index) const
    {
        assert(index >= 0 && index < GetSubPlugCount());
        return mExtra->mSubPlugs[index];
    }

    // Flags ------------------------------------------------------------------
    int GetPlugFlags() const { return mFlags; }
    kDirection GetDirection() const { return mFlags & eDirectionMask; }
    // Replaces the three direction bits.
    void SetDirection(kDirection direction) { mFlags = (mFlags & ~eDirectionMask) | (direction & eDirectionMask); }
    void ModifyPlugFlags(int bits, bool set) { mFlags = set ? (mFlags | bits) : (mFlags & ~bits); }

    // A free word for the plug's users; the plug never reads it.
    int GetUserWord() const { return mUserWord; }
    void SetUserWord(int value) { mUserWord = value; }

    // Listeners ----------------------------------------------------------------
    // Whether a data notification of this plug reaches a listener, relayed
    // as KPlug::PlugDataNotify relays it (up the owners to the first plug
    // that keeps it). A class may skip making what only such a notification
    // would show.
    bool HasDataListeners() const;
    void RegisterNotify(KPlug* listener);
    void RemoveNotify(KPlug* listener);
    bool PlugNotifyHandler(KPlugNotifyHandler* handler, KPlugCallstack* callstack, kPlugAction action, KPlug* plug,
                           int index, KPlug* other, kConnectionType type, KPlug* extra);
    bool PlugStateNotifyHandler(KPlugNotifyHandler* handler, KPlugCallstack* callstack, kPlugAction action, KPlug* plug,
                                void* a, void* b, int value);
    bool PlugDataNotifyHandler(KPlugNotifyHandler* handler, KPlugCallstack* callstack, kPlugAction action, KPlug* plug,
                               void* a, void* b, int value);

    // Destruction --------------------------------------------------------------
    int GetPostponedDestroyCount() const { return mPostponedDestroyCount; }
    void SetPostponedDestroyCount(int count) { mPostponedDestroyCount = count; }
    void PostponedDestroyBegin() { ++mPostponedDestroyCount; }
    // Ends one postponement; destroys the plug when that was the last one and
    // a destroy was requested meanwhile.
    void PostponedDestroyEnd();
    void InternalClear();

protected:
    bool InternalMoveSrcBefore(int from, int before);

private:
    friend class KHdlManager;
    friend class HdlKPlug;

    static bool InternalConnectBefore(KPlug* source, KPlug* beforeDestination, KPlug* destination, KPlug* beforeSource,
                                      kConnectionType type);
    static int FindIndexFromOwnerPlugIndex(const KPlugConnectionList& mine, const KPlugConnectionList& owners,
                                           int ownerIndex);
    bool ReplaceIn(bool sourceList, KPlug* oldPlug, KPlug* newPlug, int newPlugIndex);
    void DisconnectAll(bool sources, KPlugFilter* filter, bool filtered);
    bool IsListener(KPlug* listener) const;

    // What many plugs never use, kept apart so that those do not pay for it:
    // made by the first connection, sub-plug, listener or filter set, kept
    // until the plug goes.
    struct Extra
    {
        // Sub-plugs come one or two to a plug: the list starts small.
        Extra()
            : mSubPlugs(2)
        {}
        KPlugConnectionList mSrc;
        KPlugConnectionList mDst;
        KArrayTemplate<KPlug*> mSubPlugs;
        HdlKPlug mFilter; // weak: filters are destroyed when the plug library ends
        bool mFilterSet = false;
        KPlugNotifyHandler* mNotifyHandlers = nullptr;
    };
    Extra& GetExtra();
    KPlugNotifyHandler* NotifyHandlers() const { return mExtra ? mExtra->mNotifyHandlers : nullptr; }
    // The sources (true) or destinations; an empty list without the record.
    const KPlugConnectionList& Connections(bool sources) const
    {
        if (!mExtra)
            return NoConnections();
        return sources ? mExtra->mSrc : mExtra->mDst;
    }
    static const KPlugConnectionList& NoConnections();

    KHdlEntry* mHandle = nullptr;
    KPlug* mOwner = nullptr;
    std::unique_ptr<Extra> mExtra;
    int mFlags = eAcceptSrc | eAcceptDst;
    int mPostponedDestroyCount = 0;
    int mUserWord = 0;
    // Until a filter is set, the filter is the class-less one ("None") that
    // existed when the plug was made: this is the number of that filter
    // among those made so far (0 when there was none), and it stands for
    // the filter while that one lives.
    unsigned int mDefaultFilterSerial = 0;
};

// Holds back the destruction of a plug (none for null) while the guard lives:
// a Destroy asked for meanwhile happens when the last such hold ends.
class KPostponedDestroy
{
public:
    explicit KPostponedDestroy(KPlug* plug)
        : mPlug(plug)
    {
        if (mPlug)
            mPlug->PostponedDestroyBegin();
    }
    ~KPostponedDestroy()
    {
        if (mPlug)
            mPlug->PostponedDestroyEnd();
    }
    KPostponedDestroy(const KPostponedDestroy&) = delete;
    KPostponedDestroy& operator=(const KPostponedDestroy&) = delete;

private:
    KPlug* mPlug;
};

// A plug that only carries its own class identity.
class KDataPlug : public KPlug
{
    KPLUG_CLASS_DECLARE(KDataPlug)
};

// Decides which plugs a plug accepts.
class KPlugFilter : public KPlug
{
    KPLUG_CLASS_DECLARE(KPlugFilter)
public:
    virtual bool Is(KPlug* plug) const;
    virtual bool IsEqual(KPlugFilter* other) const;
    using KPlug::Is;
};

// Accepts the plugs of one class and its subclasses (every plug, null
// included, for class id -1).
class KClassIdFilter : public KPlugFilter
{
    KPLUG_CLASS_DECLARE(KClassIdFilter)
public:
    explicit KClassIdFilter(int classId = -1)
        : mFilterClassId(classId)
    {}
    bool Is(KPlug* plug) const override;
    bool IsEqual(KPlugFilter* other) const override;
    using KPlug::Is;
    int GetFilterClassId() const { return mFilterClassId; }

private:
    int mFilterClassId;
};

// A plug whose sources are read as items.
class KPlugList : public KPlug
{
    KPLUG_CLASS_DECLARE(KPlugList)
};

// A plug list whose items are of type T.
template <class T>
class KPlugListTemplate : public KPlugList
{
public:
    // Source i as a T (null when it no longer exists).
    T* Get(int index) const { return static_cast<T*>(GetSrc(index)); }
    // Source i of the class view: this plug for -1 or the plug class, else the
    // sub-plug of that class.
    T* Get(int index, int classId)
    {
        KPlug* view = this;
        if (classId != -1 && classId != KPlug::ClassId)
            view = SubPlugGetOrCreate(KPlug_GetFilter(classId));
        return view ? static_cast<T*>(view->GetSrc(index)) : nullptr;
    }
};

// Number of living plugs.
int KPlug_GetLivingCount();

#endif
