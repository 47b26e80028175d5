#include "object/kplug.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "object/kreversewalk.h"

// ---------------------------------------------------------------------------
// Class identity of the plug classes. KPlug keeps the fixed id 2.

int KPlug::ClassId = 2;
KClassDefinition KPlug::ClassDefinition = {&KPlug::ClassId, nullptr, "KPlug", nullptr};
int KPlug::ClassGroupId = 2;
const char* KPlug::ClassGroupName = "";

namespace {
const int sKPlugRegistered = KPlug_RegisterClassId(&KPlug::ClassDefinition, 2);
std::atomic<int> GlobalPlugCount(0);
} // namespace

KPLUG_CLASS_IMPLEMENT(KPlugList, KPlug, "KPlugList")
KPLUG_CLASS_IMPLEMENT(KDataPlug, KPlug, "KDataPlug")
KPLUG_CLASS_IMPLEMENT(KPlugFilter, KPlug, "KPlugFilter")
KPLUG_CLASS_IMPLEMENT(KClassIdFilter, KPlugFilter, "KClassIdFilter")

int KPlug_GetLivingCount()
{
    return GlobalPlugCount;
}

// ---------------------------------------------------------------------------
// Connection lists

namespace {

// Lists shorter than this are searched by a plain scan.
const int kIndexThreshold = 32;
// The smallest table of a list's index has 2^kIndexMinBits slots.
const int kIndexMinBits = 7;

} // namespace

// How many records of each plug serial a long list holds: one open-addressed
// table probed linearly, kept at most half full. A removal shifts the slots
// after it back, so no slot is ever marked deleted and a lookup stops at the
// first free slot. Keyed by serial alone (a plug's serial is unique while
// the serials do not wrap), a count is never below that of the handle: a
// count of 0 still proves the handle absent and one of 1 leaves at most one
// record to find.
struct KPlugConnectionList::Index
{
    struct Slot
    {
        uint32_t mSerial;
        uint32_t mCount; // 0: free
    };

    explicit Index(int records) { Rehash(records); }

    void Add(uint32_t serial)
    {
        if ((mUsed + 1) * 2 > mMask + 1)
            Rehash(mUsed + 1);
        size_t i = Home(serial);
        while (mSlots[i].mCount > 0 && mSlots[i].mSerial != serial)
            i = (i + 1) & mMask;
        if (mSlots[i].mCount == 0)
        {
            mSlots[i].mSerial = serial;
            ++mUsed;
        }
        ++mSlots[i].mCount;
    }

    void Remove(uint32_t serial)
    {
        size_t i = Find(serial);
        if (i > mMask || --mSlots[i].mCount > 0)
            return;
        // Pull back each following slot that may live at i, up to a free one.
        for (size_t j = (i + 1) & mMask; mSlots[j].mCount > 0; j = (j + 1) & mMask)
        {
            const size_t home = Home(mSlots[j].mSerial);
            // The slot stays when its home lies cyclically within (i, j].
            const bool stays = i < j ? (home > i && home <= j) : (home > i || home <= j);
            if (!stays)
            {
                mSlots[i] = mSlots[j];
                i = j;
            }
        }
        mSlots[i].mCount = 0;
        --mUsed;
    }

    // Records of the serial.
    uint32_t Count(uint32_t serial) const
    {
        const size_t i = Find(serial);
        return i > mMask ? 0 : mSlots[i].mCount;
    }

private:
    size_t Home(uint32_t serial) const
    {
        // Fibonacci hashing: serials made one after another spread out.
        return static_cast<size_t>((serial * 0x9E3779B97F4A7C15ull) >> mShift);
    }
    // The slot of the serial, or past the table.
    size_t Find(uint32_t serial) const
    {
        for (size_t i = Home(serial); mSlots[i].mCount > 0; i = (i + 1) & mMask)
            if (mSlots[i].mSerial == serial)
                return i;
        return mMask + 1;
    }
    // A table with room for at least twice as many serials, those held kept.
    void Rehash(size_t serials)
    {
        int bits = kIndexMinBits;
        while ((size_t(1) << bits) < serials * 4)
            ++bits;
        std::unique_ptr<Slot[]> old = std::move(mSlots);
        const size_t oldCapacity = old ? mMask + 1 : 0;
        mSlots.reset(new Slot[size_t(1) << bits]());
        mMask = (size_t(1) << bits) - 1;
        mShift = 64 - bits;
        for (size_t k = 0; k < oldCapacity; ++k)
        {
            if (old[k].mCount == 0)
                continue;
            size_t i = Home(old[k].mSerial);
            while (mSlots[i].mCount > 0)
                i = (i + 1) & mMask;
            mSlots[i] = old[k];
        }
    }

    std::unique_ptr<Slot[]> mSlots;
    size_t mMask = 0;
    int mShift = 64;
    size_t mUsed = 0;
};

KPlugConnectionList::State::~State()
{
    delete mIndex.load(std::memory_order_relaxed);
}

static_assert(sizeof(KPlugConnectionList) == sizeof(void*), "a list without records is one pointer");

KPlugConnectionList::State* KPlugConnectionList::State::Make(int capacity)
{
    static_assert(sizeof(State) % alignof(KPlugConnection) == 0, "records follow the bookkeeping aligned");
    void* block = ::operator new(sizeof(State) + sizeof(KPlugConnection) * static_cast<size_t>(capacity));
    State* state = new (block) State;
    state->mCapacity = capacity;
    return state;
}

void KPlugConnectionList::StateDeleter::operator()(State* state) const
{
    state->~State();
    ::operator delete(state);
}

KPlugConnectionList::KPlugConnectionList() = default;

KPlugConnectionList::~KPlugConnectionList() = default;

void KPlugConnectionList::Clear()
{
    mState.reset();
}

KPlugConnectionList::Index* KPlugConnectionList::SearchIndex() const
{
    Index* index = mState->mIndex.load(std::memory_order_acquire);
    if (index || mState->mCount < kIndexThreshold)
        return index;
    // Searches on other threads may build one at the same time: the first
    // one published is kept. Without memory for it the search goes on
    // without one: a disconnection, as when a plug is freed, must not fail.
    std::unique_ptr<Index> made;
    try
    {
        made = std::make_unique<Index>(mState->mCount);
        for (int i = 0; i < mState->mCount; ++i)
            made->Add(At(i).mHdl.GetSerial());
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
    if (mState->mIndex.compare_exchange_strong(index, made.get(), std::memory_order_acq_rel))
        return made.release();
    return index;
}

void KPlugConnectionList::Grow(int index)
{
    // Doubles the storage and opens a gap at index, the records starting at 0.
    State& st = *mState;
    const int capacity = st.mCapacity < 4 ? 4 : st.mCapacity * 2;
    std::unique_ptr<State, StateDeleter> grown(State::Make(capacity));
    memcpy(static_cast<void*>(grown->Data()), st.Data() + st.mHead, sizeof(KPlugConnection) * index);
    memcpy(static_cast<void*>(grown->Data() + index + 1), st.Data() + st.mHead + index,
           sizeof(KPlugConnection) * (st.mCount - index));
    grown->mCount = st.mCount;
    grown->mIndex.store(st.mIndex.exchange(nullptr, std::memory_order_relaxed), std::memory_order_relaxed);
    mState = std::move(grown);
}

static void KPlugConnection_Store(KPlugConnection* slot, const KPlugConnection& c)
{
    memcpy(static_cast<void*>(slot), &c, sizeof(KPlugConnection));
}

void KPlugConnectionList::Insert(int index, const KPlugConnection& connection)
{
    if (!mState)
        mState.reset(State::Make(1)); // most plugs keep one connection a side
    if (index < 0)
        index = 0;
    if (index > mState->mCount)
        index = mState->mCount;
    const bool roomBack = mState->mHead + mState->mCount < mState->mCapacity;
    const bool roomFront = mState->mHead > 0;
    if (!roomBack && !roomFront)
        Grow(index); // a new block: the gap is open
    else if (roomFront && (!roomBack || index < mState->mCount - index))
    {
        KPlugConnection* data = mState->Data();
        memmove(static_cast<void*>(data + mState->mHead - 1), data + mState->mHead, sizeof(KPlugConnection) * index);
        --mState->mHead;
    }
    else
    {
        KPlugConnection* data = mState->Data();
        memmove(static_cast<void*>(data + mState->mHead + index + 1), data + mState->mHead + index,
                sizeof(KPlugConnection) * (mState->mCount - index));
    }
    State& st = *mState;
    KPlugConnection_Store(st.Data() + st.mHead + index, connection);
    ++st.mCount;

    if (Index* counts = st.mIndex.load(std::memory_order_relaxed))
        counts->Add(connection.mHdl.GetSerial());
}

void KPlugConnectionList::Remove(int index)
{
    if (index < 0 || index >= GetCount())
        return;
    State& st = *mState;
    HdlKPlug hdl = At(index).mHdl;
    if (index < st.mCount - 1 - index)
    {
        memmove(static_cast<void*>(st.Data() + st.mHead + 1), st.Data() + st.mHead, sizeof(KPlugConnection) * index);
        ++st.mHead;
    }
    else
    {
        memmove(static_cast<void*>(st.Data() + st.mHead + index), st.Data() + st.mHead + index + 1,
                sizeof(KPlugConnection) * (st.mCount - index - 1));
    }
    if (--st.mCount == 0)
        st.mHead = 0;
    if (Index* counts = st.mIndex.load(std::memory_order_relaxed))
        counts->Remove(hdl.GetSerial());
}

int KPlugConnectionList::FindOnly(const HdlKPlug& hdl) const
{
    // Outwards from where the last search ended and inwards from both ends
    // at once: the ends alone cover the list.
    const int count = GetCount();
    int hint = mState->mLastFound.load(std::memory_order_relaxed);
    if (hint < 0 || hint >= count)
        hint = count / 2;
    for (int step = 0, lo = 0, hi = count - 1; lo <= hi; ++step, ++lo, --hi)
    {
        const int near[4] = {hi, lo, hint + step, hint - step - 1};
        for (int position : near)
        {
            if (position >= 0 && position < count && At(position).mHdl == hdl)
            {
                mState->mLastFound.store(position, std::memory_order_relaxed);
                return position;
            }
        }
    }
    return -1;
}

int KPlugConnectionList::FindLast(const HdlKPlug& hdl) const
{
    // The last records first, without the index: lists are mostly searched
    // near their end (a list emptied from the back), and a short list is
    // searched whole this way.
    const int count = GetCount();
    const int tail = count < kIndexThreshold ? count : kIndexThreshold;
    for (int i = count - 1; i >= count - tail; --i)
        if (At(i).mHdl == hdl)
            return i;
    if (count == tail)
        return -1;
    if (const Index* counts = SearchIndex())
    {
        const uint32_t records = counts->Count(hdl.GetSerial());
        if (records == 0)
            return -1;
        if (records == 1)
            return FindOnly(hdl);
    }
    for (int i = count - tail - 1; i >= 0; --i)
        if (At(i).mHdl == hdl)
            return i;
    return -1;
}

// ---------------------------------------------------------------------------
// Life

static_assert(sizeof(KPlug) <= 48, "a plug is six words: what many plugs never use is kept apart");

const KPlugConnectionList& KPlug::NoConnections()
{
    static const KPlugConnectionList none;
    return none;
}

KPlug::KPlug()
{
    if (GlobalPlugCount.fetch_add(1) == 0)
        HdlManagerInitMultithread();
    mHandle = GetGlobal_ObjectHdlManager()->AllocateHdl(this, HdlNextSerial());
    if (KPlug_GetFilter(-1))
        mDefaultFilterSerial = KPlug_GetNoneFilterSerial();
}

KPlug::Extra& KPlug::GetExtra()
{
    if (!mExtra)
        mExtra = std::make_unique<Extra>();
    return *mExtra;
}

KPlug::~KPlug()
{
    // Nothing run from here may destroy the plug a second time.
    if (mPostponedDestroyCount < 1)
        mPostponedDestroyCount = 1;
    InternalClear();
    if (mOwner)
        KPlug::SetOwnerPlug(nullptr);
    if (mExtra)
    {
        while (mExtra->mNotifyHandlers)
        {
            KPlugNotifyHandler* next = mExtra->mNotifyHandlers->mNext;
            delete mExtra->mNotifyHandlers;
            mExtra->mNotifyHandlers = next;
        }
    }
    GetGlobal_ObjectHdlManager()->FreeHdl(this);
    mExtra.reset();
    if (GlobalPlugCount.fetch_sub(1) == 1)
        HdlManagerCloseMultithread();
}

IKObject* KPlug::IQuery(unsigned long interfaceId, int)
{
    if (interfaceId == kIKObjectId || interfaceId == kICallbackId || interfaceId == 0xDE1947F3ul)
        return this;
    return nullptr;
}

void KPlug::Destroy(int)
{
    if (mPostponedDestroyCount != 0)
    {
        mFlags |= eDestroyRequested;
        return;
    }
    mPostponedDestroyCount = 1;
    Destruct();
    delete this;
}

void KPlug::PostponedDestroyEnd()
{
    if (mPostponedDestroyCount > 0)
        --mPostponedDestroyCount;
    if (mPostponedDestroyCount == 0 && (mFlags & eDestroyRequested))
    {
        mFlags &= ~eDestroyRequested;
        Destroy(0);
    }
}

void KPlug::Construct(KWorld*) {}

void KPlug::Destruct()
{
    PlugStateNotify(nullptr, kPlugDestroying, this, nullptr, nullptr, 0);
    InternalClear();
}

void KPlug::InternalClear()
{
    // A sub-plug's lists are views of its owner's connections.
    if (!IsSubPlug())
    {
        DisconnectAllSrc();
        DisconnectAllDst();
    }
    SubPlugRemoveAll();
}

// ---------------------------------------------------------------------------
// Class identity

bool KPlug::Is(int classId) const
{
    for (KClassDefinition* def = GetClassDefinition(); def; def = def->mParent)
        if (def->mClassId && *def->mClassId == classId)
            return true;
    return false;
}

int KPlug::GetClassId() const
{
    return ClassId;
}

const char* KPlug::GetClassIdName() const
{
    return ClassDefinition.mName;
}

KClassDefinition* KPlug::GetClassDefinition() const
{
    return &ClassDefinition;
}

int KPlug::GetClassGroupId()
{
    return ClassGroupId;
}

const char* KPlug::GetClassGroupName()
{
    return ClassGroupName;
}

KPlug* KPlug::SubPlugInstanciate(KPlugFilter*)
{
    KPlug* plug = new KPlug();
    plug->Construct(nullptr);
    return plug;
}

bool KPlug::IsInReplace(KPlug* a, KPlug* b)
{
    return mOwner ? mOwner->IsInReplace(a, b) : false;
}

bool KPlug::IsInState(kPlugState)
{
    return mOwner != nullptr;
}

// ---------------------------------------------------------------------------
// Notifications

bool KPlug::PlugNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, int index, KPlug* other,
                       kConnectionType type, KPlug* extra)
{
    if (mOwner && !(mFlags & eCreatedOnDemand))
    {
        KPlugCallstack record = {callstack, this};
        return mOwner->PlugNotify(&record, action, plug, index, other, type, extra);
    }
    if (KPlugNotifyHandler* handlers = NotifyHandlers())
        PlugNotifyHandler(handlers, callstack, action, plug, index, other, type, extra);
    return true;
}

bool KPlug::PlugStateNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, void* a, void* b, int value)
{
    if (mOwner && !(mFlags & eCreatedOnDemand))
        return mOwner->PlugStateNotify(callstack, action, plug, a, b, value);
    if (KPlugNotifyHandler* handlers = NotifyHandlers())
        PlugStateNotifyHandler(handlers, callstack, action, plug, a, b, value);
    return true;
}

bool KPlug::PlugDataNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, void* a, void* b, int value)
{
    if (mOwner && !(mFlags & eCreatedOnDemand))
        return mOwner->PlugDataNotify(callstack, action, plug, a, b, value);
    if (KPlugNotifyHandler* handlers = NotifyHandlers())
        PlugDataNotifyHandler(handlers, callstack, action, plug, a, b, value);
    return true;
}

bool KPlug::HasDataListeners() const
{
    const KPlug* plug = this;
    while (plug->mOwner && !(plug->mFlags & eCreatedOnDemand))
        plug = plug->mOwner;
    return plug->NotifyHandlers() != nullptr;
}

void KPlug::RegisterNotify(KPlug* listener)
{
    Extra& extra = GetExtra();
    extra.mNotifyHandlers = new KPlugNotifyHandler{listener, extra.mNotifyHandlers};
}

void KPlug::RemoveNotify(KPlug* listener)
{
    if (!mExtra)
        return;
    for (KPlugNotifyHandler** link = &mExtra->mNotifyHandlers; *link; link = &(*link)->mNext)
    {
        if ((*link)->mListener == listener)
        {
            KPlugNotifyHandler* record = *link;
            *link = record->mNext;
            delete record;
            return;
        }
    }
}

bool KPlug::IsListener(KPlug* listener) const
{
    for (KPlugNotifyHandler* h = NotifyHandlers(); h; h = h->mNext)
        if (h->mListener == listener)
            return true;
    return false;
}

namespace {

// Tells the listeners from a record to the end of the list, oldest first. They
// are held as handles while others are told, since a listener may unregister
// or be destroyed meanwhile; tell(listener) checks that one is still a listener.
template <class Tell>
void TellListeners(KPlugNotifyHandler* handler, Tell tell)
{
    KArrayTemplate<HdlKPlug> listeners(8);
    for (KPlugNotifyHandler* h = handler; h; h = h->mNext)
        listeners.InsertAt(0, HdlKPlug(h->mListener));
    for (int i = 0; i < listeners.GetCount(); ++i)
        if (KPlug* listener = listeners[i].Get())
            tell(listener);
}

} // namespace

bool KPlug::PlugNotifyHandler(KPlugNotifyHandler* handler, KPlugCallstack* callstack, kPlugAction action, KPlug* plug,
                              int index, KPlug* other, kConnectionType type, KPlug* extra)
{
    TellListeners(handler, [&](KPlug* listener) {
        if (IsListener(listener))
            listener->PlugNotify(callstack, action, plug, index, other, type, extra);
    });
    return true;
}

bool KPlug::PlugStateNotifyHandler(KPlugNotifyHandler* handler, KPlugCallstack* callstack, kPlugAction action,
                                   KPlug* plug, void* a, void* b, int value)
{
    TellListeners(handler, [&](KPlug* listener) {
        if (IsListener(listener))
            listener->PlugStateNotify(callstack, action, plug, a, b, value);
    });
    return true;
}

bool KPlug::PlugDataNotifyHandler(KPlugNotifyHandler* handler, KPlugCallstack* callstack, kPlugAction action,
                                  KPlug* plug, void* a, void* b, int value)
{
    TellListeners(handler, [&](KPlug* listener) {
        if (IsListener(listener))
            listener->PlugDataNotify(callstack, action, plug, a, b, value);
    });
    return true;
}

bool KPlug::BeginChange()
{
    return PlugNotify(nullptr, kPlugBeginChange, this, -1, nullptr, kConnectionNormal, nullptr);
}

bool KPlug::EndChange()
{
    return PlugNotify(nullptr, kPlugEndChange, this, -1, nullptr, kConnectionNormal, nullptr);
}

void KPlug::DisconnectBegin() {}

void KPlug::DisconnectEnd() {}

void KPlug::ConnectBegin() {}

void KPlug::ConnectEnd() {}

bool KPlug::ValidateConnections()
{
    return true;
}

// ---------------------------------------------------------------------------
// Owner and sub-plugs

bool KPlug::SetOwnerPlug(KPlug* owner)
{
    if (owner == mOwner)
        return false;
    if (owner)
    {
        // An owner chain that leads back here would relay notifications forever.
        for (KPlug* p = owner; p; p = p->mOwner)
            if (p == this)
                return false;
        if (mOwner)
            SetOwnerPlug(nullptr);
        mOwner = owner;
        if (IsSubPlug())
            owner->SubPlugAdd(this);
        return true;
    }
    if (IsSubPlug() && mOwner)
        mOwner->SubPlugRemove(this);
    mOwner = nullptr;
    return true;
}

int KPlug::GetOwnedPlugCount()
{
    return 0;
}

KPlug* KPlug::GetOwnedPlug(int)
{
    return nullptr;
}

bool KPlug::ConnectOwnedPlug(KPlug* plug)
{
    if (!plug || plug->mOwner == this)
        return false;
    plug->SetOwnerPlug(this);
    return true;
}

bool KPlug::DisconnectOwnedPlug(KPlug* plug)
{
    if (plug && plug->mOwner == this)
    {
        plug->SetOwnerPlug(nullptr);
        return true;
    }
    return false;
}

KPlugFilter* KPlug::GetFilter() const
{
    if (mExtra && mExtra->mFilterSet)
        return static_cast<KPlugFilter*>(mExtra->mFilter.Get());
    KPlugFilter* none = KPlug_GetFilter(-1);
    return (none && mDefaultFilterSerial != 0 && mDefaultFilterSerial == KPlug_GetNoneFilterSerial()) ? none : nullptr;
}

void KPlug::SetFilter(KPlugFilter* filter, kType type)
{
    bool wasSubPlug = IsSubPlug();
    Extra& extra = GetExtra();
    extra.mFilter = HdlKPlug(filter);
    extra.mFilterSet = true;
    if (type & eSubPlug)
        mFlags |= eSubPlug;
    else
        mFlags &= ~eSubPlug;
    if (mOwner && !wasSubPlug && IsSubPlug())
        mOwner->SubPlugAdd(this);
    else if (mOwner && wasSubPlug && !IsSubPlug())
        mOwner->SubPlugRemove(this);
}

void KPlug::SubPlugAdd(KPlug* plug)
{
    if (!plug)
        return;
    GetExtra().mSubPlugs.Add(plug);
    SubPlugFill(plug);
}

void KPlug::SubPlugRemove(KPlug* plug)
{
    if (mExtra)
        mExtra->mSubPlugs.RemoveIt(plug);
}

void KPlug::SubPlugFill(KPlug* sub)
{
    for (int i = 0; i < GetSrcCount(); ++i)
    {
        KPlug* plug = GetSrc(i);
        if (plug && sub->IsValidSrc(plug))
            sub->GetExtra().mSrc.Insert(sub->Connections(true).GetCount(),
                                        KPlugConnection{HdlKPlug(plug), GetSrcType(i)});
    }
    for (int i = 0; i < GetDstCount(); ++i)
    {
        KPlug* plug = GetDst(i);
        if (plug && sub->IsValidDst(plug))
            sub->GetExtra().mDst.Insert(sub->Connections(false).GetCount(),
                                        KPlugConnection{HdlKPlug(plug), GetDstType(i)});
    }
}

KPlug* KPlug::SubPlugFind(KPlugFilter* filter)
{
    if (!filter)
        return this;
    KPlugFilter* none = KPlug_GetFilter(-1);
    KPlugFilter* plugs = KPlug_GetFilter(KPlug::ClassId);
    if ((none && filter->IsEqual(none)) || (plugs && filter->IsEqual(plugs)))
        return this;
    for (int i = GetSubPlugCount() - 1; i >= 0; --i)
    {
        KPlugFilter* subFilter = mExtra->mSubPlugs[i]->GetFilter();
        if (subFilter && subFilter->IsEqual(filter))
            return mExtra->mSubPlugs[i];
    }
    return nullptr;
}

KPlug* KPlug::SubPlugGetOrCreate(KPlugFilter* filter)
{
    KPlug* sub = SubPlugFind(filter);
    if (sub)
        return sub;
    sub = SubPlugInstanciate(filter);
    if (!sub)
        return nullptr;
    ConnectOwnedPlug(sub);
    sub->SetFilter(filter, eSubPlug);
    sub->mFlags |= eCreatedOnDemand;
    return sub;
}

void KPlug::SubPlugRemoveAll()
{
    while (GetSubPlugCount() > 0)
    {
        KPlug* sub = mExtra->mSubPlugs.RemoveLast();
        // A sub-plug that outlives this plug must not relay to it any more.
        if (sub->mOwner == this)
            sub->mOwner = nullptr;
        if (sub->mFlags & eCreatedOnDemand)
            sub->Destroy(0);
    }
}

// ---------------------------------------------------------------------------
// Queries

namespace {

bool FilterAccepts(KPlugFilter* filter, KPlug* plug)
{
    return !filter || filter->Is(plug);
}

} // namespace

bool KPlug::IsValidSrc(KPlug* plug, kConnectionType) const
{
    return (mFlags & eAcceptSrc) && FilterAccepts(GetFilter(), plug);
}

bool KPlug::IsValidDst(KPlug* plug, kConnectionType) const
{
    return (mFlags & eAcceptDst) && FilterAccepts(GetFilter(), plug);
}

bool KPlug::RequestValidSrc(KPlug* plug, kConnectionType type)
{
    return IsValidSrc(plug, type) && PlugNotify(nullptr, kPlugRequestSrc, this, -1, plug, type, nullptr);
}

bool KPlug::RequestValidDst(KPlug* plug, kConnectionType type)
{
    return IsValidDst(plug, type) && PlugNotify(nullptr, kPlugRequestDst, this, -1, plug, type, nullptr);
}

bool KPlug::IsConnectedSrc(KPlug* plug) const
{
    return plug && Connections(true).FindLast(HdlKPlug(plug)) >= 0;
}

bool KPlug::IsConnectedDst(KPlug* plug) const
{
    return plug && Connections(false).FindLast(HdlKPlug(plug)) >= 0;
}

int KPlug::FindSrc(KPlug* plug) const
{
    return plug ? Connections(true).FindLast(HdlKPlug(plug)) : -1;
}

int KPlug::FindDst(KPlug* plug) const
{
    return plug ? Connections(false).FindLast(HdlKPlug(plug)) : -1;
}

int KPlug::FindIndexFromOwnerPlugIndex(const KPlugConnectionList& mine, const KPlugConnectionList& owners,
                                       int ownerIndex)
{
    if (ownerIndex < 0)
        return -1;
    if (ownerIndex >= owners.GetCount() || mine.GetCount() == 0)
        return mine.GetCount();
    int ownerPos = -1;
    for (int i = 0; i < mine.GetCount(); ++i)
    {
        const HdlKPlug& hdl = mine.At(i).mHdl;
        int j = ownerPos + 1;
        while (j < owners.GetCount() && owners.At(j).mHdl != hdl)
            ++j;
        if (j >= owners.GetCount())
            continue; // not in the owner's list: keep looking
        ownerPos = j;
        if (ownerPos >= ownerIndex)
            return i;
    }
    return mine.GetCount();
}

int KPlug::FindSrcIndexFromOwnerPlugIndex(KPlug* owner, int ownerIndex) const
{
    if (!owner)
        return -1;
    return FindIndexFromOwnerPlugIndex(Connections(true), owner->Connections(true), ownerIndex);
}

int KPlug::FindDstIndexFromOwnerPlugIndex(KPlug* owner, int ownerIndex) const
{
    if (!owner)
        return -1;
    return FindIndexFromOwnerPlugIndex(Connections(false), owner->Connections(false), ownerIndex);
}

// ---------------------------------------------------------------------------
// Connect

namespace {

// A sub-plug taking part in a connection change, and its position.
struct KSubPart
{
    HdlKPlug mSub;
    int mPosition;
};

// A short list kept in place: plugs have few sub-plugs, and a connection
// change then allocates nothing for them. Longer lists continue on the heap.
template <class T>
class KShortList
{
public:
    int GetCount() const { return mCount; }
    T& operator[](int index) { return index < kInPlace ? mInPlace[index] : mMore[static_cast<size_t>(index - kInPlace)]; }
    const T& operator[](int index) const
    {
        return index < kInPlace ? mInPlace[index] : mMore[static_cast<size_t>(index - kInPlace)];
    }
    void Add(const T& item)
    {
        if (mCount < kInPlace)
            mInPlace[mCount] = item;
        else
            mMore.push_back(item);
        ++mCount;
    }
    void Empty()
    {
        mMore.clear();
        mCount = 0;
    }

private:
    static const int kInPlace = 4;
    T mInPlace[kInPlace];
    std::vector<T> mMore;
    int mCount = 0;
};

typedef KShortList<KSubPart> KSubParts;

// Calls visit(sub) for each sub-plug of a plug that is still alive, from a
// snapshot taken first: a listener may add, remove or destroy sub-plugs.
template <class Visit>
void ForEachSubPlug(KPlug* plug, Visit visit)
{
    KShortList<HdlKPlug> subs;
    for (int i = 0; i < plug->GetSubPlugCount(); ++i)
        subs.Add(HdlKPlug(plug->GetSubPlug(i)));
    for (int i = 0; i < subs.GetCount(); ++i)
        if (KPlug* sub = subs[i].Get())
            visit(sub);
}

// Tells each live sub-plug of parts of a connection change, with its
// position as index when withPosition is set and -1 otherwise.
void TellParts(const KSubParts& parts, kPlugAction action, bool withPosition, KPlug* other,
               kConnectionType type)
{
    for (int i = 0; i < parts.GetCount(); ++i)
        if (KPlug* sub = parts[i].mSub.Get())
            sub->PlugNotify(nullptr, action, sub, withPosition ? parts[i].mPosition : -1, other, type, nullptr);
}

} // namespace

bool KPlug::ConnectSrc(KPlug* plug, kConnectionType type)
{
    return ConnectPlug(plug, this, type);
}

bool KPlug::ConnectDst(KPlug* plug, kConnectionType type)
{
    return ConnectPlug(this, plug, type);
}

bool KPlug::ConnectSrcAt(int index, KPlug* plug, kConnectionType type)
{
    return ConnectAt(plug, -1, this, index, type);
}

bool KPlug::ConnectDstAt(int index, KPlug* plug, kConnectionType type)
{
    return ConnectAt(this, index, plug, -1, type);
}

bool KPlug::ConnectPlug(KPlug* source, KPlug* destination, kConnectionType type)
{
    return UserConnectBefore(source, nullptr, destination, nullptr, type);
}

bool KPlug::ConnectAt(KPlug* source, int destinationIndex, KPlug* destination, int sourceIndex, kConnectionType type)
{
    if (!source || !destination)
        return false;
    KPlug* beforeDestination = nullptr;
    if (destinationIndex >= 0 && destinationIndex < source->GetDstCount())
        beforeDestination = source->GetDst(destinationIndex);
    KPlug* beforeSource = nullptr;
    if (sourceIndex >= 0 && sourceIndex < destination->GetSrcCount())
        beforeSource = destination->GetSrc(sourceIndex);
    return UserConnectBefore(source, beforeDestination, destination, beforeSource, type);
}

bool KPlug::UserConnectBefore(KPlug* source, KPlug* beforeDestination, KPlug* destination, KPlug* beforeSource,
                              kConnectionType type)
{
    for (;;)
    {
        if (!source || !destination || source == destination)
            return false;
        kConnectionType actual = type;
        if (destination->mFlags & eOneWayInput)
            actual |= kConnectionOneWay;
        if (!destination->RequestValidSrc(source, kConnectionNormal))
            return false;
        if (!(actual & kConnectionOneWay) && !source->RequestValidDst(destination, kConnectionNormal))
            return false;
        if (!source->IsSubPlug() && !destination->IsSubPlug())
            return InternalConnectBefore(source, beforeDestination, destination, beforeSource, actual);
        // A sub-plug connects through its owner.
        if (source->IsSubPlug())
            source = source->mOwner;
        if (destination->IsSubPlug())
            destination = destination->mOwner;
    }
}

bool KPlug::InternalConnectBefore(KPlug* source, KPlug* beforeDestination, KPlug* destination, KPlug* beforeSource,
                                  kConnectionType type)
{
    const bool oneWay = (type & kConnectionOneWay) != 0;
    const HdlKPlug srcHdl(source);
    const HdlKPlug dstHdl(destination);

    // Listeners may destroy either plug while they are told: that happens
    // once the connection is complete.
    // (The destination's hold ends first.)
    KPostponedDestroy holdSource(source);
    KPostponedDestroy holdDestination(destination);

    destination->PlugNotify(nullptr, kPlugSrcConnecting, destination, -1, source, type, nullptr);
    if (!oneWay)
        source->PlugNotify(nullptr, kPlugDstConnecting, source, -1, destination, type, nullptr);

    int srcPos = beforeSource ? destination->Connections(true).FindLast(HdlKPlug(beforeSource)) : -1;
    if (srcPos < 0)
        srcPos = destination->GetSrcCount();
    int dstPos = -1;
    if (!oneWay)
    {
        dstPos = beforeDestination ? source->Connections(false).FindLast(HdlKPlug(beforeDestination)) : -1;
        if (dstPos < 0)
            dstPos = source->GetDstCount();
    }

    // Sub-plugs that show the new connection, each with its own position.
    KSubParts dstParts;
    KSubParts srcParts;
    ForEachSubPlug(destination, [&](KPlug* sub) {
        if (sub->RequestValidSrc(source, kConnectionNormal))
            dstParts.Add(KSubPart{HdlKPlug(sub), sub->FindSrcIndexFromOwnerPlugIndex(destination, srcPos)});
    });
    if (!oneWay)
        ForEachSubPlug(source, [&](KPlug* sub) {
            if (sub->RequestValidDst(destination, kConnectionNormal))
                srcParts.Add(KSubPart{HdlKPlug(sub), sub->FindDstIndexFromOwnerPlugIndex(source, dstPos)});
        });
    TellParts(dstParts, kPlugSrcConnecting, false, source, type);
    TellParts(srcParts, kPlugDstConnecting, false, destination, type);

    // Listeners may have changed the lists meanwhile: keep positions in range.
    auto insert = [type](KPlugConnectionList& list, int& position, const HdlKPlug& hdl) {
        if (position > list.GetCount() || position < 0)
            position = list.GetCount();
        list.Insert(position, KPlugConnection{hdl, type});
    };
    insert(destination->GetExtra().mSrc, srcPos, srcHdl);
    if (!oneWay)
        insert(source->GetExtra().mDst, dstPos, dstHdl);
    for (int i = 0; i < dstParts.GetCount(); ++i)
        if (KPlug* sub = dstParts[i].mSub.Get())
            insert(sub->GetExtra().mSrc, dstParts[i].mPosition, srcHdl);
    for (int i = 0; i < srcParts.GetCount(); ++i)
        if (KPlug* sub = srcParts[i].mSub.Get())
            insert(sub->GetExtra().mDst, srcParts[i].mPosition, dstHdl);

    destination->PlugNotify(nullptr, kPlugSrcConnected, destination, srcPos, source, type, nullptr);
    if (!oneWay)
        source->PlugNotify(nullptr, kPlugDstConnected, source, dstPos, destination, type, nullptr);
    TellParts(dstParts, kPlugSrcConnected, true, source, type);
    TellParts(srcParts, kPlugDstConnected, true, destination, type);
    return true;
}

// ---------------------------------------------------------------------------
// Disconnect

bool KPlug::DisconnectSrc(KPlug* plug)
{
    return DisconnectPlug(plug, this);
}

bool KPlug::DisconnectDst(KPlug* plug)
{
    return DisconnectPlug(this, plug);
}

bool KPlug::DisconnectSrcAt(int index)
{
    if (index < 0 || index >= GetSrcCount())
        return false;
    return DisconnectPlug(GetSrc(index), this);
}

bool KPlug::DisconnectDstAt(int index)
{
    if (index < 0 || index >= GetDstCount())
        return false;
    return DisconnectPlug(this, GetDst(index));
}

bool KPlug::DisconnectPlug(KPlug* source, KPlug* destination)
{
    while (source && source->IsSubPlug())
        source = source->mOwner;
    while (destination && destination->IsSubPlug())
        destination = destination->mOwner;
    if (!source || !destination)
        return false;
    if (!destination->IsValidSrc(source) || !source->IsValidDst(destination))
        return false;

    const HdlKPlug srcHdl(source);
    const HdlKPlug dstHdl(destination);
    int srcIndex = destination->Connections(true).FindLast(srcHdl);
    int dstIndex = source->Connections(false).FindLast(dstHdl);
    if (srcIndex < 0 && dstIndex < 0)
        return false;

    // The sub-plugs that show the connection are told first, then searched:
    // listeners may have changed the lists.
    KSubParts dstParts;
    KSubParts srcParts;
    if (srcIndex >= 0)
        for (int i = 0; i < destination->GetSubPlugCount(); ++i)
            if (destination->GetSubPlug(i)->IsValidSrc(source))
                dstParts.Add(KSubPart{HdlKPlug(destination->GetSubPlug(i)), -1});
    if (dstIndex >= 0)
        for (int i = 0; i < source->GetSubPlugCount(); ++i)
            if (source->GetSubPlug(i)->IsValidDst(destination))
                srcParts.Add(KSubPart{HdlKPlug(source->GetSubPlug(i)), -1});

    destination->DisconnectBegin();
    source->DisconnectBegin();
    // Both holds end after DisconnectEnd, the destination's first.
    KPostponedDestroy holdSource(source);
    KPostponedDestroy holdDestination(destination);

    if (srcIndex >= 0)
        destination->PlugNotify(nullptr, kPlugSrcDisconnecting, destination, srcIndex, source, kConnectionNormal,
                                nullptr);
    if (dstIndex >= 0)
        source->PlugNotify(nullptr, kPlugDstDisconnecting, source, dstIndex, destination, kConnectionNormal, nullptr);
    TellParts(dstParts, kPlugSrcDisconnecting, false, source, kConnectionNormal);
    TellParts(srcParts, kPlugDstDisconnecting, false, destination, kConnectionNormal);

    // Positions are taken now.
    if (srcIndex >= 0)
        srcIndex = destination->Connections(true).FindLast(srcHdl);
    if (dstIndex >= 0)
        dstIndex = source->Connections(false).FindLast(dstHdl);
    auto find = [](KPlug* owner, bool sourceSide, const HdlKPlug& hdl, KSubParts& found) {
        for (int i = 0; i < owner->GetSubPlugCount(); ++i)
        {
            KPlug* sub = owner->GetSubPlug(i);
            int pos = (sourceSide ? sub->Connections(true) : sub->Connections(false)).FindLast(hdl);
            if (pos >= 0)
                found.Add(KSubPart{HdlKPlug(sub), pos});
        }
    };
    dstParts.Empty();
    srcParts.Empty();
    if (srcIndex >= 0)
        find(destination, true, srcHdl, dstParts);
    if (dstIndex >= 0)
        find(source, false, dstHdl, srcParts);

    if (srcIndex >= 0)
        destination->GetExtra().mSrc.Remove(srcIndex);
    if (dstIndex >= 0)
        source->GetExtra().mDst.Remove(dstIndex);
    for (int i = 0; i < dstParts.GetCount(); ++i)
        dstParts[i].mSub.Get()->GetExtra().mSrc.Remove(dstParts[i].mPosition);
    for (int i = 0; i < srcParts.GetCount(); ++i)
        srcParts[i].mSub.Get()->GetExtra().mDst.Remove(srcParts[i].mPosition);

    if (srcIndex >= 0)
        destination->PlugNotify(nullptr, kPlugSrcDisconnected, destination, srcIndex, source, kConnectionNormal,
                                nullptr);
    if (dstIndex >= 0)
        source->PlugNotify(nullptr, kPlugDstDisconnected, source, dstIndex, destination, kConnectionNormal, nullptr);
    TellParts(dstParts, kPlugSrcDisconnected, true, source, kConnectionNormal);
    TellParts(srcParts, kPlugDstDisconnected, true, destination, kConnectionNormal);

    destination->DisconnectEnd();
    source->DisconnectEnd();
    return true;
}

void KPlug::DisconnectAll(bool sources, KPlugFilter* filter, bool filtered)
{
    // No connection: nothing to walk, no listener to wait for.
    if ((sources ? GetSrcCount() : GetDstCount()) == 0)
        return;
    KPlugConnectionList& list = sources ? mExtra->mSrc : mExtra->mDst;
    // A listener may ask for this plug's destruction: it waits for the walk.
    KPostponedDestroy hold(this);
    WalkFromLast([&list] { return list.GetCount(); },
                 [&](int i) {
                     KPlug* plug = list.At(i).mHdl.Get();
                     if (!plug || (filtered && !(filter && filter->Is(plug))))
                         return;
                     if (sources)
                         DisconnectPlug(plug, this);
                     else
                         DisconnectPlug(this, plug);
                 });
}

void KPlug::DisconnectAllSrc()
{
    DisconnectAll(true, nullptr, false);
}

void KPlug::DisconnectAllDst()
{
    DisconnectAll(false, nullptr, false);
}

void KPlug::DisconnectAllSrc(int classId)
{
    DisconnectAll(true, KPlug_GetFilter(classId), true);
}

void KPlug::DisconnectAllDst(int classId)
{
    DisconnectAll(false, KPlug_GetFilter(classId), true);
}

// ---------------------------------------------------------------------------
// Replace

bool KPlug::ReplaceSrcAt(int index, KPlug* plug)
{
    if (index < 0)
        return false;
    if (index >= GetSrcCount())
        return ConnectSrc(plug, kConnectionNormal);
    return ReplaceInSrc(GetSrc(index), plug, -1);
}

bool KPlug::ReplaceDstAt(int index, KPlug* plug)
{
    if (index < 0)
        return false;
    if (index >= GetDstCount())
        return ConnectDst(plug, kConnectionNormal);
    return ReplaceInDst(GetDst(index), plug, -1);
}

bool KPlug::ReplaceInSrc(KPlug* oldSource, KPlug* newSource, int newSourceIndex)
{
    return ReplaceIn(true, oldSource, newSource, newSourceIndex);
}

bool KPlug::ReplaceInDst(KPlug* oldDestination, KPlug* newDestination, int newDestinationIndex)
{
    return ReplaceIn(false, oldDestination, newDestination, newDestinationIndex);
}

namespace {

// Tells both ends of a replaced connection, then their sub-plugs (with the
// end plug as the notified plug).
void SendReplacePair(KPlug* dstEnd, KPlug* srcEnd, KPlug* newPlug, kPlugAction dstAction, kPlugAction srcAction)
{
    dstEnd->PlugNotify(nullptr, dstAction, dstEnd, -1, srcEnd, kConnectionNormal, newPlug);
    srcEnd->PlugNotify(nullptr, srcAction, srcEnd, -1, dstEnd, kConnectionNormal, newPlug);
    ForEachSubPlug(dstEnd, [&](KPlug* sub) {
        sub->PlugNotify(nullptr, dstAction, dstEnd, -1, srcEnd, kConnectionNormal, newPlug);
    });
    ForEachSubPlug(srcEnd, [&](KPlug* sub) {
        sub->PlugNotify(nullptr, srcAction, srcEnd, -1, dstEnd, kConnectionNormal, newPlug);
    });
}

} // namespace

bool KPlug::ReplaceIn(bool sourceList, KPlug* oldPlug, KPlug* newPlug, int newPlugIndex)
{
    if (!oldPlug)
        return false;
    int p = sourceList ? Connections(true).FindLast(HdlKPlug(oldPlug)) : Connections(false).FindLast(HdlKPlug(oldPlug));
    if (p < 0)
        return false;
    KPlug* dstEnd = sourceList ? this : oldPlug;
    KPlug* srcEnd = sourceList ? oldPlug : this;

    // The plugs involved stay alive until the replacement is complete.
    KPostponedDestroy holdThis(this);
    KPostponedDestroy holdOld(oldPlug);
    KPostponedDestroy holdNew(newPlug);

    SendReplacePair(dstEnd, srcEnd, newPlug, kPlugReplaceDstEndBegin, kPlugReplaceSrcEndBegin);
    bool result = sourceList ? DisconnectSrcAt(p) : DisconnectDstAt(p);
    if (result)
    {
        if (sourceList)
        {
            KPlug* before = p < GetSrcCount() ? GetSrc(p) : nullptr;
            KPlug* beforeDst = nullptr;
            if (newPlug && newPlugIndex >= 0 && newPlugIndex < newPlug->GetDstCount())
                beforeDst = newPlug->GetDst(newPlugIndex);
            result = UserConnectBefore(newPlug, beforeDst, this, before, kConnectionNormal);
        }
        else
        {
            KPlug* before = p < GetDstCount() ? GetDst(p) : nullptr;
            KPlug* beforeSrc = nullptr;
            if (newPlug && newPlugIndex >= 0 && newPlugIndex < newPlug->GetSrcCount())
                beforeSrc = newPlug->GetSrc(newPlugIndex);
            result = UserConnectBefore(this, before, newPlug, beforeSrc, kConnectionNormal);
        }
    }
    SendReplacePair(dstEnd, srcEnd, newPlug, kPlugReplaceDstEndEnd, kPlugReplaceSrcEndEnd);
    return result;
}

// ---------------------------------------------------------------------------
// Move

bool KPlug::MoveSrcAt(int from, int to)
{
    int count = GetSrcCount();
    if (from < 0 || from >= count || to < 0 || to >= count || from == to)
        return false;
    if (IsSubPlug())
        return mOwner ? mOwner->MoveSrcAt(GetSrc(from), GetSrc(to)) : false;
    return InternalMoveSrcBefore(from, to < from ? to : to + 1);
}

bool KPlug::MoveSrcAt(KPlug* plug, KPlug* atPlug)
{
    return MoveSrcAt(FindSrc(plug), FindSrc(atPlug));
}

bool KPlug::SwapSrc(int a, int b)
{
    int count = GetSrcCount();
    if (a < 0 || a >= count || b < 0 || b >= count)
        return false;
    if (a == b)
        return true;
    int lo = a < b ? a : b;
    int hi = a < b ? b : a;
    if (!MoveSrcAt(hi, lo))
        return false;
    // Neighbours are exchanged by the first move alone.
    if (hi == lo + 1)
        return true;
    return MoveSrcAt(lo + 1, hi);
}

bool KPlug::InternalMoveSrcBefore(int from, int before)
{
    int count = GetSrcCount();
    if (from < 0 || from >= count || before < 0 || before > count || before == from || before == from + 1)
        return false;
    KPostponedDestroy hold(this);
    const KPlugConnection moved = Connections(true).At(from);

    // Sub-plugs that show the moved connection move it first.
    ForEachSubPlug(this, [&](KPlug* sub) {
        int subFrom = FindIndexFromOwnerPlugIndex(sub->Connections(true), Connections(true), from);
        if (subFrom >= 0 && subFrom < sub->GetSrcCount() && sub->Connections(true).At(subFrom).mHdl == moved.mHdl)
            sub->InternalMoveSrcBefore(subFrom,
                                       FindIndexFromOwnerPlugIndex(sub->Connections(true), Connections(true), before));
    });

    PlugNotify(nullptr, kPlugSrcMoving, this, from, moved.mHdl.Get(), moved.mType, nullptr);

    bool result = false;
    // A listener may have changed the list: move only the record announced.
    if (from < GetSrcCount() && Connections(true).At(from).mHdl == moved.mHdl && before <= GetSrcCount())
    {
        GetExtra().mSrc.Remove(from);
        int newPos = before > from ? before - 1 : before;
        GetExtra().mSrc.Insert(newPos, moved);
        PlugNotify(nullptr, kPlugSrcMoved, this, newPos, moved.mHdl.Get(), moved.mType, nullptr);
        result = true;
    }
    return result;
}

// ---------------------------------------------------------------------------
// Filters

bool KPlugFilter::Is(KPlug*) const
{
    return false;
}

bool KPlugFilter::IsEqual(KPlugFilter*) const
{
    return false;
}

bool KClassIdFilter::Is(KPlug* plug) const
{
    if (mFilterClassId == -1)
        return true;
    return plug && plug->Is(mFilterClassId);
}

bool KClassIdFilter::IsEqual(KPlugFilter* other) const
{
    const KClassIdFilter* filter = dynamic_cast<const KClassIdFilter*>(other);
    return filter && filter->mFilterClassId == mFilterClassId;
}
