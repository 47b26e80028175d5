// Curve node: structure, names, children, lookup, cloning, layers, template,
// data node, time warp, curve attachment, callbacks, user lock and display
// state.

#include "fcurve/kfcurvenode.h"

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurve_internal.h"
#include "fcurve/kfcurvegroup.h"
#include "fcurve/kfcurvenode_internal.h"
#include "object/kproperty.h"

#include <cctype>
#include <climits>
#include <new>
#include <cstdint>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include <functional>
#include <mutex>
#include <new>
#include <string_view>
#include <unordered_map>
#include <vector>

using namespace kfcurvenode_detail;

namespace {

// Name records shared by every node of the same name, time-warp name and
// data type (a scene holds a million "X" members): one record per distinct
// triple, counted in its mRefCount, freed with its last borrower. Borrowed
// records are never changed; the pool's lock makes nodes on different
// threads safe.
class NamePool
{
public:
    typedef KFCurveNode::NameInfo NameInfo;

    static NameInfo* Acquire(const char* name, const char* timeWarpName, KDataType* type)
    {
        NamePool& pool = Get();
        const Key key{name ? name : "", timeWarpName ? timeWarpName : "", type};
        // The records a thread acquired last, each kept alive by a count of
        // its own and holding counts paid ahead: a tree made again and again
        // ("X", "Y", "Z" under "T", "R" and "S") finds its names there
        // without hashing them, and most often without the lock.
        Recent& recent = tRecent.mSlots[RecentSlot(key)];
        NameInfo* info = recent.mInfo;
        if (info && info->mDataType == type && info->mName.GetLen() == key.mName.size() &&
            std::memcmp(info->mName.ToChars(), key.mName.data(), key.mName.size()) == 0 &&
            info->mTimeWarpName.GetLen() == key.mTimeWarpName.size() &&
            std::memcmp(info->mTimeWarpName.ToChars(), key.mTimeWarpName.data(), key.mTimeWarpName.size()) == 0)
        {
            if (recent.mPaid == 0)
            {
                // The list's own count keeps the record: no lock needed.
                info->mRefCount.fetch_add(kPaidAhead, std::memory_order_relaxed);
                recent.mPaid = kPaidAhead;
            }
            --recent.mPaid;
            return info;
        }
        {
            std::lock_guard<std::mutex> lock(pool.mMutex);
            auto found = pool.mRecords.find(key);
            if (found != pool.mRecords.end())
                info = found->second;
            else
            {
                info = new NameInfo{KString(key.mName.data()), KString(key.mTimeWarpName.data()), type, nullptr, 0};
                pool.mRecords.emplace(Key{ViewOf(info->mName), ViewOf(info->mTimeWarpName), type}, info);
            }
            // One count for the caller, one for the thread's list unless
            // the list was closed.
            info->mRefCount.fetch_add(tRecent.mClosed ? 1 : 2, std::memory_order_relaxed);
        }
        if (tRecent.mClosed)
            return info;
        // The closer gives the list's counts back when the thread ends.
        (void)&tCloser;
        if (recent.mInfo)
            Release(recent.mInfo, 1 + recent.mPaid);
        recent.mInfo = info;
        recent.mPaid = 0;
        return info;
    }

    // One more borrower of a pooled record.
    static NameInfo* Share(NameInfo* info)
    {
        // The caller's count keeps the record.
        info->mRefCount.fetch_add(1, std::memory_order_relaxed);
        return info;
    }

    // count borrowers fewer (one by default). Counts that stay above zero
    // go without the lock; the last ones go under it, so that a lookup in
    // the pool never finds a record on its way out.
    static void Release(NameInfo* info, int count = 1)
    {
        int current = info->mRefCount.load(std::memory_order_relaxed);
        while (current > count)
            if (info->mRefCount.compare_exchange_weak(current, current - count, std::memory_order_acq_rel))
                return;
        NamePool& pool = Get();
        std::lock_guard<std::mutex> lock(pool.mMutex);
        if (info->mRefCount.fetch_sub(count, std::memory_order_acq_rel) > count)
            return;
        pool.mRecords.erase(Key{ViewOf(info->mName), ViewOf(info->mTimeWarpName), info->mDataType});
        delete info;
    }

    // The records pooled now.
    static size_t RecordCount()
    {
        NamePool& pool = Get();
        std::lock_guard<std::mutex> lock(pool.mMutex);
        return pool.mRecords.size();
    }

private:
    // The views of a pooled key point into the record's own strings.
    struct Key
    {
        std::string_view mName;
        std::string_view mTimeWarpName;
        KDataType* mType;
        bool operator==(const Key& o) const
        {
            return mType == o.mType && mName == o.mName && mTimeWarpName == o.mTimeWarpName;
        }
    };
    struct KeyHash
    {
        size_t operator()(const Key& k) const
        {
            const std::hash<std::string_view> text;
            size_t h = text(k.mName);
            h = h * 31 + text(k.mTimeWarpName);
            return h * 31 + std::hash<const void*>()(k.mType);
        }
    };

    static std::string_view ViewOf(const KString& text) { return std::string_view(text.ToChars(), text.GetLen()); }
    // A place in the thread's list of recent records, from the name's
    // length, first and last letters and the type, spread by a Fibonacci
    // multiplier (the top bits of the product).
    static size_t RecentSlot(const Key& key)
    {
        const size_t n = key.mName.size();
        uint64_t h = n;
        if (n > 0)
            h |= (static_cast<uint64_t>(static_cast<unsigned char>(key.mName[0])) << 8) |
                 (static_cast<uint64_t>(static_cast<unsigned char>(key.mName[n - 1])) << 16);
        h ^= static_cast<uint64_t>(reinterpret_cast<uintptr_t>(key.mType)) << 20;
        return static_cast<size_t>((h * 0x9E3779B97F4A7C15ull) >> (64 - kRecentBits));
    }

    static const int kRecentBits = 6;
    static const size_t kRecent = size_t(1) << kRecentBits;
    // Counts a thread's list takes at a time for the nodes it will make.
    static const int kPaidAhead = 64;
    struct Recent
    {
        NameInfo* mInfo;
        int mPaid; // counts of mInfo taken ahead, not handed out yet
    };
    // A thread's list: plain data without a destructor, so that it is
    // still sound after the thread's destructors ran. Objects destroyed at
    // process exit (after the main thread's) still make and end nodes.
    struct RecentList
    {
        Recent mSlots[kRecent];
        bool mClosed; // counts given back: records come from the pool alone
    };
    // Gives the list's counts back when the thread ends, so that threads
    // that come and go pin no records, and closes the list.
    struct RecentCloser
    {
        ~RecentCloser()
        {
            for (Recent& recent : tRecent.mSlots)
                if (recent.mInfo)
                {
                    Release(recent.mInfo, 1 + recent.mPaid);
                    recent = Recent{nullptr, 0};
                }
            tRecent.mClosed = true;
        }
    };
    static thread_local RecentList tRecent;
    static thread_local RecentCloser tCloser;
    // Never destroyed: nodes in static objects may end after it would.
    static NamePool& Get()
    {
        static NamePool* pool = new NamePool;
        return *pool;
    }

    std::mutex mMutex;
    std::unordered_map<Key, NameInfo*, KeyHash> mRecords;
};

thread_local NamePool::RecentList NamePool::tRecent;
thread_local NamePool::RecentCloser NamePool::tCloser;

} // namespace

size_t kfcurve_detail::NamePoolRecordCount()
{
    return NamePool::RecordCount();
}

// ---------------------------------------------------------------------------
// KFCurveNodeChildren
// ---------------------------------------------------------------------------

int KFCurveNodeChildren::Find(const KFCurveNode* node) const
{
    for (int i = 0; i < mCount; ++i)
        if (mItems[i] == node)
            return i;
    return -1;
}

bool KFCurveNodeChildren::Reserve(int capacity)
{
    if (capacity <= mCapacity)
        return true;
    // Laid in the open group's block when it has room (the first array of a
    // node made in a group most often), else on the heap.
    void* grown = kfcurve_detail::GroupMemberNew(static_cast<size_t>(capacity) * sizeof(KFCurveNode*), true);
    if (!grown)
        return false;
    if (mCount > 0)
        std::memcpy(grown, mItems, static_cast<size_t>(mCount) * sizeof(KFCurveNode*));
    FreeItems();
    mItems = static_cast<KFCurveNode**>(grown);
    mCapacity = capacity;
    return true;
}

void KFCurveNodeChildren::FreeItems()
{
    kfcurve_detail::GroupMemberDelete(mItems, static_cast<size_t>(mCapacity) * sizeof(KFCurveNode*));
}

int KFCurveNodeChildren::InsertAt(int index, KFCurveNode* node)
{
    if (index > mCount)
        index = mCount;
    if (index < 0)
        index = 0;
    if (mCount == mCapacity)
    {
        if (mCapacity > INT_MAX / 2)
            return -1;
        if (!Reserve(mCapacity == 0 ? kFirstCapacity : 2 * mCapacity))
            return -1;
    }
    std::memmove(mItems + index + 1, mItems + index, static_cast<size_t>(mCount - index) * sizeof(KFCurveNode*));
    mItems[index] = node;
    ++mCount;
    return index;
}

void KFCurveNodeChildren::RemoveAt(int index)
{
    if (!ValidateIndex(index))
        return;
    std::memmove(mItems + index, mItems + index + 1, static_cast<size_t>(mCount - index - 1) * sizeof(KFCurveNode*));
    --mCount;
}

void KFCurveNodeChildren::Clear()
{
    FreeItems();
    mItems = nullptr;
    mCount = 0;
    mCapacity = 0;
}

// ---------------------------------------------------------------------------
// KFCurveNodeCandidateState
// ---------------------------------------------------------------------------

void KNoTraceFnc(const char*, ...) {}

KFCurveNodeCandidateState::KFCurveNodeCandidateState()
    : mTotalCandidateMethod(0)
    , mSpecificCandidateMethod(0)
    , mCandidateTotalTime(0)
    , mCandidateSpecificValue(0.0)
    , mFCurveValue(0.0)
    , mCandidateSpecificTime(0)
    , mLayerID(0)
{}

KFCurveNodeCandidateState::~KFCurveNodeCandidateState()
{
    ClearSubStates();
}

void KFCurveNodeCandidateState::ClearSubStates()
{
    mSubStates.clear();
    mLayerState.reset();
}

void KFCurveNodeCandidateState::Dump(int indent)
{
    KString blanks(' ', static_cast<unsigned int>(indent > 0 ? indent : 0));
    const char* b = blanks.ToChars();
    KNoTraceFnc("%smTotalCandidateMethod = %d\n", b, mTotalCandidateMethod);
    KNoTraceFnc("%smSpecificCandidateMethod = %d\n", b, mSpecificCandidateMethod);
    KNoTraceFnc("%smCandidateTotalValue = %f, %f, %f, %f\n", b, mCandidateTotalValue.Get(0),
                mCandidateTotalValue.Get(1), mCandidateTotalValue.Get(2), mCandidateTotalValue.Get(3));
    KNoTraceFnc("%smCandidateTotalTime = %f\n", b, mCandidateTotalTime.GetSecondDouble());
    KNoTraceFnc("%smCandidateSpecificValue = %f\n", b, mCandidateSpecificValue);
    KNoTraceFnc("%smFCurveValue = %f\n", b, mFCurveValue);
    KNoTraceFnc("%smCandidateSpecificTime = %f\n", b, mCandidateSpecificTime.GetSecondDouble());
    KNoTraceFnc("%smLayerState:\n", b);
    if (mLayerState)
        mLayerState->Dump(indent + 1);
    for (size_t i = 0; i < mSubStates.size(); ++i)
    {
        KNoTraceFnc("%smSubStates[%d]:\n", b, static_cast<int>(i));
        if (mSubStates[i])
            mSubStates[i]->Dump(indent + 1);
    }
}

// ---------------------------------------------------------------------------
// Construction and destruction
// ---------------------------------------------------------------------------

KFCurveNode::KFCurveNode(const char* name, const char* typeName, KDataType* dataType, int layerType, int layerId)
    : KFCurveNode(BorrowedName(), NamePool::Acquire(name, typeName, dataType), layerType, layerId)
{}

KFCurveNode::KFCurveNode(BorrowedName, NameInfo* borrowed, int layerType, int layerId)
    : mNameInfo(borrowed)
    , mFlags(eExpanded | eMultiLayer | eNameBorrowed | eNoCandidate)
    , mLayerID(layerId)
    , mRotationOrder(0)
{
    SetLayerType(layerType, nullptr);
}

KFCurveNode::KFCurveNode(KFCurveNode* templateNode)
    : mNameInfo(nullptr)
    , mFlags(eExpanded | eMultiLayer |
             (templateNode ? templateNode->mFlags & (eUseQuaternion | eCandidateMethods) : eNoCandidate))
    , mLayerID(0)
    , mRotationOrder(templateNode ? templateNode->mRotationOrder : 0)
{
    if (templateNode)
    {
        LinksToWrite().mTemplate = templateNode;
        mCandidateTotalValue = templateNode->mCandidateTotalValue;
        // A template's record is shared for real: it must be the template's own.
        if (NameInfo* shared = templateNode->GetNameInfo())
        {
            mNameInfo = shared;
            mNameInfo->mRefCount++;
        }
        SetLayerType(templateNode->mLayerType, nullptr);
    }
    if (!mNameInfo)
    {
        mNameInfo = NamePool::Acquire("", "", nullptr);
        SetNameBorrowed(true);
    }
}

KFCurveNode::~KFCurveNode()
{
    CallbackAddEvent(KFCURVENODEEVENT_DESTROY);
    if (mLinks)
        mLinks->mCallback.reset();
    Clear();
    if (mParent)
    {
        int index = mParent->Find(this);
        if (index >= 0)
            mParent->Remove(index);
        mParent = nullptr;
    }
    SetNameInfo(nullptr);
    mNodes.Clear();
}

void KFCurveNode::Destroy(int)
{
    delete this;
}

void* KFCurveNode::operator new(size_t size)
{
    return kfcurve_detail::GroupMemberNew(size);
}

void KFCurveNode::operator delete(void* node, size_t size)
{
    kfcurve_detail::GroupMemberDelete(node, size);
}

KFCurveNode* KFCurveNodeCreate(const char* name, const char* typeName, const char* dataTypeName, int layerType,
                               int layerId)
{
    return new KFCurveNode(name, typeName, TypeGet(dataTypeName), layerType, layerId);
}

KFCurveNode* KFCurveNodeCreate(const char* name, KDataType* dataType, int layerType, int layerId)
{
    const char* typeName = (dataType != nullptr && dataType == TypeTimeWarp()) ? "" : name;
    return new KFCurveNode(name, typeName, dataType, layerType, layerId);
}

KFCurveNode* KFCurveNodeCreate(KFCurveNode* templateNode)
{
    return new KFCurveNode(templateNode);
}

KFCurveNode* FCurveNodeCreateFromDataType(KDataType* dataType, const char* name)
{
    static const char* const kMemberNames[21] = {"X", "Y", "Z", " ", " ", " ", " ", " ", " ", " ", " ",
                                                 " ", " ", " ", " ", " ", " ", " ", " ", " ", " "};
    int layerType = KFCL_ADD;
    if (dataType != nullptr)
    {
        if (dataType == TypeLclRotation() || dataType == TypeMatrixRotation())
            layerType = KFCL_EULER_XYZ;
        else if (dataType == TypeScaling() || dataType == TypeLclScaling() || dataType == TypeMatrixScaling() ||
                 dataType == TypeScalingUV())
            layerType = KFCL_MULT;
    }
    KFCurveNode* node = KFCurveNodeCreate(name, dataType, layerType, 0);
    int members = TypeMemberCount(dataType);
    try
    {
        for (int i = 0; members >= 2 && i < members; ++i)
        {
            const char* memberName = i < 21 ? kMemberNames[i] : " ";
            KFCurveNodeAdopt(node, KFCurveNodeCreate(memberName, static_cast<KDataType*>(nullptr), KFCL_NOLAYER, 0));
        }
    }
    catch (...)
    {
        node->Destroy(); // never a node with a member missing
        throw;
    }
    return node;
}

// ---------------------------------------------------------------------------
// Names and type
// ---------------------------------------------------------------------------

const char* KFCurveNode::GetName()
{
    if (!mNameInfo)
        return "";
    if (mNameInfo->mProperty)
    {
        const char* name = mNameInfo->mProperty->GetPropertyName();
        return name ? name : "";
    }
    return mNameInfo->mName.ToChars();
}

const char* KFCurveNode::GetTypeName()
{
    return mNameInfo ? TypeName(mNameInfo->mDataType) : "";
}

KDataType* KFCurveNode::GetDataType()
{
    return mNameInfo ? mNameInfo->mDataType : nullptr;
}

KProperty* KFCurveNode::GetProperty()
{
    return mNameInfo ? mNameInfo->mProperty : nullptr;
}

void KFCurveNode::SetProperty(KProperty* property)
{
    if (mNameInfo && (property || !NameBorrowed()))
        GetNameInfo()->mProperty = property;
}

const char* KFCurveNode::GetTimeWarpName()
{
    return mNameInfo ? mNameInfo->mTimeWarpName.ToChars() : "";
}

void KFCurveNode::SetTimeWarpName(const char* name)
{
    if (mNameInfo)
        Rename(mNameInfo->mName.ToChars(), name);
}

void KFCurveNode::Rename(const char* name, const char* timeWarpName)
{
    if (!mNameInfo)
        return;
    if (!NameBorrowed())
    {
        mNameInfo->mName = name ? name : "";
        mNameInfo->mTimeWarpName = timeWarpName ? timeWarpName : "";
        return;
    }
    NameInfo* renamed = NamePool::Acquire(name, timeWarpName, mNameInfo->mDataType);
    NamePool::Release(mNameInfo);
    mNameInfo = renamed;
}

KFCurveNode::NameInfo* KFCurveNode::GetNameInfo()
{
    if (mNameInfo && NameBorrowed())
    {
        NameInfo* borrowed = mNameInfo;
        mNameInfo = new NameInfo{borrowed->mName, borrowed->mTimeWarpName, borrowed->mDataType, nullptr, 1};
        SetNameBorrowed(false);
        NamePool::Release(borrowed);
    }
    return mNameInfo;
}

void KFCurveNode::DropNameInfo()
{
    if (!mNameInfo)
        return;
    if (NameBorrowed())
        NamePool::Release(mNameInfo);
    else if (mNameInfo->mRefCount.fetch_sub(1, std::memory_order_acq_rel) <= 1)
        delete mNameInfo;
    mNameInfo = nullptr;
    SetNameBorrowed(false);
}

void KFCurveNode::SetNameInfo(NameInfo* nameInfo)
{
    if (nameInfo == mNameInfo)
        return;
    DropNameInfo();
    if (nameInfo)
    {
        mNameInfo = nameInfo;
        mNameInfo->mRefCount++;
    }
}

// ---------------------------------------------------------------------------
// Children
// ---------------------------------------------------------------------------

void KFCurveNode::Clear()
{
    // Entering a block, the walk loads all of it at once: the first node
    // laid in it, or a node outside it above its members.
    if (GetCount() > 0)
    {
        KFCurveNode* last = mNodes[GetCount() - 1];
        if (kfcurve_detail::IsFirstInGroup(this))
            kfcurve_detail::PrefetchGroupOf(this);
        else if (!kfcurve_detail::SameGroup(this, last))
            kfcurve_detail::PrefetchGroupOf(last);
    }
    for (int i = GetCount() - 1; i >= 0; --i)
    {
        if (GetContainerType())
            Remove(i);
        else
            Delete(i);
    }
    mNodes.Clear();
    if (mFCurve)
    {
        KFCurve* curve = mFCurve;
        mFCurve = nullptr;
        curve->Destroy();
    }
    if (mNextLayer)
    {
        KFCurveNode* layer = mNextLayer;
        mNextLayer = nullptr;
        layer->ReleaseReference();
    }
    mObjectLayer = this;
    if (KFCurveNode* timeWarp = TimeWarpGet())
    {
        mLinks->mTimeWarp = nullptr;
        timeWarp->ReleaseReference();
    }
}

void KFCurveNode::ReleaseReference()
{
    mReferenceCount--;
    if (mReferenceCount < 1)
        Destroy();
}

int KFCurveNode::Add(KFCurveNode* node)
{
    if (!node)
        return -1;
    const int index = mNodes.Add(node);
    if (index < 0)
        return -1;
    if (!GetContainerType())
        node->SetParent(this);
    return index;
}

void KFCurveNodeAdopt(KFCurveNode* parent, KFCurveNode* child)
{
    if (parent->Add(child) >= 0)
        return;
    child->Destroy();
    throw std::bad_alloc();
}

int KFCurveNode::SortedAdd(KFCurveNode* node)
{
    if (!node)
        return -1;
    const char* name = node->GetName();
    int count = GetCount();
    int index = count;
    for (int i = 0; i < count; ++i)
    {
        if (strcasecmp(mNodes[i]->GetName(), name) >= 0)
        {
            index = i;
            break;
        }
    }
    return mNodes.InsertAt(index, node);
}

void KFCurveNode::Remove(int index)
{
    if (!mNodes.ValidateIndex(index))
        return;
    KFCurveNode* child = mNodes[index];
    if (!GetContainerType() && child)
        child->SetParent(nullptr);
    mNodes.RemoveAt(index);
}

void KFCurveNode::Delete(int index)
{
    if (!mNodes.ValidateIndex(index))
        return;
    KFCurveNode* child = mNodes[index];
    Remove(index);
    if (child)
        child->Destroy();
}

void KFCurveNode::Delete(KFCurveNode* child)
{
    if (!child)
        return;
    int index = Find(child);
    if (index >= 0)
        Remove(index);
    child->Destroy();
}

int KFCurveNode::GetCount()
{
    return mNodes.GetCount();
}

KFCurveNode* KFCurveNode::Get(int index)
{
    return mNodes.ValidateIndex(index) ? mNodes[index] : nullptr;
}

bool KFCurveNode::IsChild(KFCurveNode* node, bool recursive)
{
    for (int i = 0; i < GetCount(); ++i)
    {
        KFCurveNode* child = Get(i);
        if (child == node)
            return true;
        if (recursive && child && child->IsChild(node, true))
            return true;
    }
    return false;
}

int KFCurveNode::Find(const char* name)
{
    if (!name)
        return -1;
    // Letters that match without regard to case agree once bit 5 is set:
    // a cheap first test before the full comparison.
    const int first = static_cast<unsigned char>(name[0]) | 0x20;
    for (int i = 0; i < GetCount(); ++i)
    {
        KFCurveNode* child = Get(i);
        const char* own = child ? child->GetName() : nullptr;
        if (own && (static_cast<unsigned char>(own[0]) | 0x20) == first && strcasecmp(own, name) == 0)
            return i;
    }
    return -1;
}

int KFCurveNode::Find(KFCurveNode* node)
{
    return mNodes.Find(node);
}

KFCurveNode* KFCurveNode::Find(KDataType* dataType)
{
    for (int i = 0; i < GetCount(); ++i)
    {
        KFCurveNode* child = Get(i);
        if (child && child->GetDataType() == dataType)
            return child;
    }
    return nullptr;
}

void KFCurveNode::SetParent(KFCurveNode* parent)
{
    mParent = parent;
}

KFCurveNode* KFCurveNode::GetParent()
{
    return mParent;
}

bool KFCurveNode::MatchesPathItem(const char* item)
{
    if (!item)
        return false;
    // The first letters decide most comparisons.
    const char* name = GetName();
    if (tolower(static_cast<unsigned char>(name[0])) == tolower(static_cast<unsigned char>(item[0])) &&
        strcasecmp(name, item) == 0)
        return true;
    KDataType* type = GetDataType();
    if (type == nullptr)
        return false;
    if (strcmp(item, "T") == 0)
        return type == TypeLclTranslation();
    if (strcmp(item, "R") == 0)
        return type == TypeLclRotation();
    if (strcmp(item, "S") == 0)
        return type == TypeLclScaling();
    return false;
}

// The children of node in order, each tested before its own subtree.
static KFCurveNode* FindPathItem(KFCurveNode* node, const char* item)
{
    for (int i = 0; i < node->GetCount(); ++i)
    {
        KFCurveNode* child = node->Get(i);
        if (!child)
            continue;
        if (child->MatchesPathItem(item))
            return child;
        KFCurveNode* found = FindPathItem(child, item);
        if (found)
            return found;
    }
    return nullptr;
}

KFCurveNode* KFCurveNode::FindRecursive(const char* path)
{
    if (!path)
        return nullptr;
    // One item (the usual case) needs no copy.
    if (!strchr(path, '/'))
        return FindPathItem(this, path);
    // The items are cut from a private copy, so the caller's text is never
    // written to.
    std::vector<char> text(path, path + strlen(path) + 1);
    KFCurveNode* current = this;
    char* item = text.data();
    for (;;)
    {
        char* separator = strchr(item, '/');
        if (separator)
            *separator = '\0';
        current = FindPathItem(current, item);
        if (!current || !separator)
            return current;
        item = separator + 1;
    }
}

KFCurveNode* KFCurveNode::FindRecursive(KDataType* dataType)
{
    for (int i = 0; i < GetCount(); ++i)
    {
        KFCurveNode* child = Get(i);
        if (!child)
            continue;
        if (child->GetDataType() == dataType)
            return child;
        KFCurveNode* found = child->FindRecursive(dataType);
        if (found)
            return found;
    }
    return nullptr;
}

KFCurveNode* KFCurveNode::FindOrCreate(const char* name, bool createCurve)
{
    KFCurveNode* child = Get(Find(name));
    if (!child)
    {
        child = new KFCurveNode(name, name, nullptr, KFCL_NOLAYER, 0);
        KFCurveNodeAdopt(this, child);
    }
    if (createCurve && !child->mFCurve)
        child->FCurveSet(KFCurveCreate(), false);
    return child;
}

void KFCurveNode::CreateFCurve()
{
    if (GetCount() == 0)
    {
        if (!mFCurve)
            FCurveSet(KFCurveCreate(), false);
        return;
    }
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i))
            Get(i)->CreateFCurve();
}

bool KFCurveNode::FCurveCreated()
{
    if (GetCount() == 0)
        return mFCurve != nullptr;
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i) && !Get(i)->FCurveCreated())
            return false;
    return true;
}

// ---------------------------------------------------------------------------
// Cloning
// ---------------------------------------------------------------------------

size_t KFCurveNode::CloneBytes(bool withCurves)
{
    size_t bytes = KFCurveGroupScope::NodeBytes();
    if (mFCurve && withCurves)
        bytes += KFCurveGroupScope::CurveBytes();
    const int count = GetCount();
    if (count > 0)
        bytes += KFCurveGroupScope::ChildrenBytes(count);
    for (int i = 0; i < count; ++i)
        if (KFCurveNode* child = Get(i))
            bytes += child->CloneBytes(withCurves);
    return bytes;
}

KFCurveNode* KFCurveNode::CloneTemplate(bool asTemplate, bool copyCurves, bool createCurves, int layerId)
{
    // The copy is laid in one block: a lone node needs none.
    if (GetCount() == 0)
        return CloneTree(asTemplate, copyCurves, createCurves, layerId);
    KFCurveGroupScope group(CloneBytes(copyCurves || createCurves));
    return CloneTree(asTemplate, copyCurves, createCurves, layerId);
}

KFCurveNode* KFCurveNode::CloneTree(bool asTemplate, bool copyCurves, bool createCurves, int layerId)
{
    int id = layerId == -1 ? mLayerID : layerId;
    KFCurveNode* node;
    if (asTemplate)
        node = new KFCurveNode(this);
    else
    {
        // A pooled record already holds the names: the copy borrows it too.
        if (NameBorrowed())
            node = new KFCurveNode(BorrowedName(), NamePool::Share(mNameInfo), mLayerType, id);
        else
            node = new KFCurveNode(GetName(), GetTimeWarpName(), GetDataType(), mLayerType, id);
        if (GetUserLockCount() != 0)
            node->LinksToWrite().mUserLock = GetUserLockCount();
        node->SetUseQuaternion(GetUseQuaternion());
        node->SetRotationOrder(mRotationOrder);
        node->mFlags = (node->mFlags & ~eVisible) | (mFlags & eVisible);
        if (id != 0)
            node->mObjectLayer = mObjectLayer;
    }
    if (mFCurve)
    {
        if (copyCurves)
        {
            KFCurve* curve = KFCurveCreate();
            curve->CopyFrom(*mFCurve, true);
            node->mFCurve = curve;
        }
        else if (createCurves)
            node->mFCurve = KFCurveCreate();
    }
    const int count = GetCount();
    if (count > 0)
        node->mNodes.Reserve(count < KFCurveNodeChildren::kFirstCapacity ? KFCurveNodeChildren::kFirstCapacity : count);
    try
    {
        for (int i = 0; i < count; ++i)
        {
            KFCurveNode* child = Get(i);
            if (child)
                KFCurveNodeAdopt(node, child->CloneTree(asTemplate, copyCurves, createCurves, id));
        }
    }
    catch (...)
    {
        node->Destroy(); // never a copy with a child missing
        throw;
    }
    return node;
}

KFCurveNode* KFCurveNode::Clone(bool asTemplate)
{
    return CloneTemplate(asTemplate, true, false, -1);
}

// ---------------------------------------------------------------------------
// Flags
// ---------------------------------------------------------------------------

void KFCurveNode::SetExpended(bool expanded)
{
    mFlags = expanded ? (mFlags | eExpanded) : (mFlags & ~eExpanded);
}

void KFCurveNode::SetMultiLayer(bool multiLayer)
{
    mFlags = multiLayer ? (mFlags | eMultiLayer) : (mFlags & ~eMultiLayer);
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i))
            Get(i)->SetMultiLayer(multiLayer);
}

// ---------------------------------------------------------------------------
// Layers
// ---------------------------------------------------------------------------

void KFCurveNode::FireOnObjectLayer(int eventType)
{
    (mObjectLayer ? mObjectLayer : this)->CallbackAddEvent(eventType);
}

void KFCurveNode::LayerSet(KFCurveNode* layer, bool destroyOld)
{
    if (layer == mNextLayer)
        return;
    KFCurveNode* old = mNextLayer;
    mNextLayer = layer;
    if (destroyOld && old)
        old->Destroy();
    FireOnObjectLayer(KFCURVENODEEVENT_CTRLCURVE);
}

KFCurveNode* KFCurveNode::LayerGet(int layerId)
{
    for (KFCurveNode* node = this; node; node = node->mNextLayer)
    {
        if (node->mLayerID == layerId)
            return node;
        if (node->mLayerID > layerId)
            return nullptr;
    }
    return nullptr;
}

int KFCurveNode::GetCorrectLayerID(int layerId)
{
    return IsMultiLayer() ? layerId : 0;
}

KFCurveNode* KFCurveNode::GetLayerNode(int layerId)
{
    return LayerGet(GetCorrectLayerID(layerId));
}

KFCurveNode* KFCurveNode::GetCorrectLayer(int layerId, bool create)
{
    int id = GetCorrectLayerID(layerId);
    KFCurveNode* layer = LayerGet(id);
    if (!layer && create)
    {
        CreateLayerAt(id);
        layer = LayerGet(id);
    }
    return layer;
}

KFCurveNode* KFCurveNode::GetPreviousLayer(int layerId)
{
    if (layerId == 0)
        return nullptr;
    KFCurveNode* node = this;
    while (node->mNextLayer && node->mNextLayer->mLayerID < layerId)
        node = node->mNextLayer;
    return node;
}

// Gives the curves of a new layer the neutral value of the base node's layer
// type at their value position, and the colour of the matching base curve.
static void InitLayerCurves(KFCurveNode* layer, KFCurveNode* base, const double* zeros, int count, int& position)
{
    if (layer->FCurveGet())
    {
        double value = position < count ? zeros[position] : 0.0;
        layer->FCurveGet()->SetValue(static_cast<float>(value));
        if (base && base->FCurveGet())
            layer->FCurveGet()->SetColor(base->FCurveGet()->GetColor());
        position++;
    }
    for (int i = 0; i < layer->GetCount(); ++i)
    {
        KFCurveNode* child = layer->Get(i);
        if (child)
            InitLayerCurves(child, base ? base->Get(i) : nullptr, zeros, count, position);
    }
}

KFCurveNode* KFCurveNode::MakeLayer(int layerId)
{
    KFCurveNode* layer = CloneTemplate(false, false, true, layerId);
    layer->mObjectLayer = mObjectLayer ? mObjectLayer : this;
    int count = GetValueCount() + 4;
    ValueBuffer zeros(count);
    GetZeroValues(zeros.Data());
    int position = 0;
    InitLayerCurves(layer, this, zeros.Data(), count, position);
    return layer;
}

KFCurveNode* KFCurveNode::LayerCreate(int layerId, bool destroyOld)
{
    KFCurveNode* base = mObjectLayer ? mObjectLayer : this;
    if (!base->IsMultiLayer())
        return nullptr;
    KFCurveNode* layer = MakeLayer(layerId);
    LayerSet(layer, destroyOld);
    return layer;
}

void KFCurveNode::LinkLayerAfter(KFCurveNode* layer)
{
    layer->mNextLayer = mNextLayer;
    mNextLayer = layer;
}

KFCurveNode* KFCurveNode::CreateLayerAt(int layerId)
{
    KFCurveNode* base = mObjectLayer ? mObjectLayer : this;
    if (!base->IsMultiLayer() || mLayerID == layerId || layerId < mLayerID)
        return nullptr;
    if (!mNextLayer)
    {
        if (layerId == 0)
            return nullptr;
        return LayerCreate(layerId, true);
    }
    KFCurveNode* previous = this;
    while (previous->mNextLayer && previous->mNextLayer->mLayerID < layerId)
        previous = previous->mNextLayer;
    KFCurveNode* next = previous->mNextLayer;
    if (next && next->mLayerID == layerId)
        return next;
    // A new layer after previous, in front of next (at the end when none).
    KFCurveNode* layer = previous->MakeLayer(layerId);
    previous->LinkLayerAfter(layer);
    FireOnObjectLayer(KFCURVENODEEVENT_CTRLCURVE);
    return layer;
}

KFCurveNode* KFCurveNode::RemoveLayer(int layerId, bool destroy)
{
    KFCurveNode* previous = GetPreviousLayer(layerId);
    if (!previous)
        return nullptr;
    KFCurveNode* removed = previous->mNextLayer;
    if (!removed || removed->mLayerID != layerId)
        return nullptr;
    previous->mNextLayer = removed->mNextLayer;
    removed->mNextLayer = nullptr;
    removed->mObjectLayer = this;
    if (destroy)
    {
        removed->Destroy();
        return nullptr;
    }
    return removed;
}

KFCurveNode* KFCurveNode::InsertOrCopyLayer(int layerId, KFCurveNode* source)
{
    KFCurveNode* layer = LayerGet(layerId);
    if (!layer)
    {
        CreateLayerAt(layerId);
        layer = LayerGet(layerId);
    }
    if (!layer)
        return nullptr;
    if (source)
        layer->SingleLayerCopyFrom(source, false);
    return layer;
}

void KFCurveNode::SetLayerType(int type, KFCurveNode* objectLayer)
{
    if (type == mLayerType)
        return;
    int count = GetCount();
    int expected = type == KFCL_QUAT ? 4 : (type == KFCL_EULER_XYZ ? 3 : count);
    if (expected != count)
    {
        if (count == 3 && type == KFCL_QUAT)
        {
            KFCurveNode* w = new KFCurveNode("W", "W", TypeNumber(), KFCL_NOLAYER, mLayerID);
            w->mFCurve = KFCurveCreate();
            if (objectLayer)
                w->mObjectLayer = objectLayer;
            KFCurveNodeAdopt(this, w); // out of memory, the node keeps its type
        }
        else if (count == 4 && mLayerType == KFCL_QUAT && type == KFCL_EULER_XYZ)
            Delete(3);
    }
    mLayerType = type;
}

void KFCurveNode::SetUseQuaternion(bool useQuaternion)
{
    for (KFCurveNode* node = this; node; node = node->mNextLayer)
        node->mFlags = useQuaternion ? (node->mFlags | eUseQuaternion) : (node->mFlags & ~eUseQuaternion);
    KFCurveNode* base = mObjectLayer ? mObjectLayer : this;
    base->CandidateClear(0, true);
    FireOnObjectLayer(KFCURVENODEEVENT_CTRLCURVE);
}

void KFCurveNode::SetRotationOrder(int order)
{
    for (KFCurveNode* node = this; node; node = node->mNextLayer)
        node->mRotationOrder = order;
}

// Members of the given count, each writing one value.
static bool MembersOfOneValue(KFCurveNode* node, int count)
{
    if (node->GetCount() != count)
        return false;
    for (int i = 0; i < count; ++i)
        if (!node->Get(i) || node->Get(i)->GetValueCount() != 1)
            return false;
    return true;
}

namespace kfcurvenode_detail {

double NeutralValue(int layerType, int member)
{
    if (layerType == KFCL_MULT)
        return 1.0;
    if (layerType == KFCL_QUAT && member == 3)
        return 1.0;
    return 0.0;
}

bool MembersAreAngles(KFCurveNode* node)
{
    return MembersOfOneValue(node, 3);
}

bool MembersAreQuaternion(KFCurveNode* node)
{
    return MembersOfOneValue(node, 4);
}

int MemberLayerType(KFCurveNode* node)
{
    const int type = node->GetLayerType();
    if (type == KFCL_EULER_XYZ && !MembersAreAngles(node))
        return KFCL_NOLAYER;
    if (type == KFCL_QUAT && !MembersAreQuaternion(node))
        return KFCL_NOLAYER;
    return type;
}

} // namespace kfcurvenode_detail

int KFCurveNode::GetValueCount()
{
    int count = mFCurve ? 1 : 0;
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i))
            count += Get(i)->GetValueCount();
    return count;
}

double* KFCurveNode::GetZeroValues(double* values)
{
    double* p = values;
    if (mFCurve)
        *p++ = NeutralValue(mLayerType, -1);
    const int memberType = MemberLayerType(this);
    for (int i = 0; i < GetCount(); ++i)
    {
        KFCurveNode* child = Get(i);
        if (!child)
            continue;
        int n = child->GetValueCount();
        for (int k = 0; k < n; ++k)
            *p++ = NeutralValue(memberType, i);
    }
    return p;
}

// ---------------------------------------------------------------------------
// Template, data node, time warp
// ---------------------------------------------------------------------------

void KFCurveNode::TemplateSet(KFCurveNode* templateNode)
{
    if (templateNode != TemplateGet())
    {
        if (!TemplateGet())
            SetNameInfo(nullptr);
        LinksToWrite().mTemplate = templateNode;
        SetNameInfo(templateNode ? templateNode->GetNameInfo() : nullptr);
    }
    if (!templateNode)
        return;
    int count = GetCount() < templateNode->GetCount() ? GetCount() : templateNode->GetCount();
    for (int i = 0; i < count; ++i)
        if (Get(i))
            Get(i)->TemplateSet(templateNode->Get(i));
}

void KFCurveNode::DataNodeSet(KFCurveNode* node, bool recursive)
{
    KFCurveNode* dataNode = node == this ? nullptr : node;
    if (dataNode || mLinks)
        LinksToWrite().mDataNode = dataNode;
    if (!recursive || !node)
        return;
    int count = GetCount() < node->GetCount() ? GetCount() : node->GetCount();
    for (int i = 0; i < count; ++i)
        if (Get(i))
            Get(i)->DataNodeSet(node->Get(i), true);
}

KFCurveNode* KFCurveNode::DataNodeGet()
{
    // Follows the links to the end; a loop of links stops where it closes.
    KFCurveNode* slow = this;
    KFCurveNode* fast = this;
    for (;;)
    {
        if (!fast->DataNodeOf())
            return fast;
        fast = fast->DataNodeOf();
        if (!fast->DataNodeOf())
            return fast;
        fast = fast->DataNodeOf();
        slow = slow->DataNodeOf();
        if (slow == fast)
            return fast;
    }
}

void KFCurveNode::TimeWarpSet(KFCurveNode* timeWarp)
{
    if (timeWarp == TimeWarpGet())
        return;
    // A time warp that leads back to this node would map times forever.
    for (KFCurveNode* node = timeWarp; node; node = node->TimeWarpGet())
        if (node == this)
            return;
    KFCurveNode* old = TimeWarpGet();
    LinksToWrite().mTimeWarp = timeWarp;
    if (timeWarp)
        timeWarp->mReferenceCount++;
    if (old)
        old->ReleaseReference();
    CallbackAddEvent(KFCURVENODEEVENT_TIMEWARP);
}

// ---------------------------------------------------------------------------
// Curve attachment
// ---------------------------------------------------------------------------

KFCurve* KFCurveNode::FCurveSet(KFCurve* curve, bool destroyOld)
{
    if (curve == mFCurve)
        return nullptr;
    KFCurve* old = mFCurve;
    if (destroyOld && old)
    {
        old->Destroy();
        old = nullptr;
    }
    mFCurve = curve;
    CallbackAddEvent(KFCURVENODEEVENT_FCURVE);
    return old;
}

void KFCurveNode::FCurveReplace(KFCurve* curve)
{
    FCurveSet(curve, true);
}

namespace {

// Sets one extrapolation field of a node's curve: false without a curve, or
// when the user lock is respected and set.
bool SetExtrapolationField(KFCurveNode& node, bool respectUserLock, void (KFCurve::*set)(unsigned int),
                           unsigned int value)
{
    if (!node.FCurveGet() || (respectUserLock && node.IsUserLocked()))
        return false;
    (node.FCurveGet()->*set)(value);
    return true;
}

} // namespace

bool KFCurveNode::SetPreExtrapolation(unsigned int type, bool respectUserLock)
{
    return SetExtrapolationField(*this, respectUserLock, &KFCurve::SetPreExtrapolation, type);
}

bool KFCurveNode::SetPreExtrapolationCount(unsigned int count, bool respectUserLock)
{
    return SetExtrapolationField(*this, respectUserLock, &KFCurve::SetPreExtrapolationCount, count);
}

bool KFCurveNode::SetPostExtrapolation(unsigned int type, bool respectUserLock)
{
    return SetExtrapolationField(*this, respectUserLock, &KFCurve::SetPostExtrapolation, type);
}

bool KFCurveNode::SetPostExtrapolationCount(unsigned int count, bool respectUserLock)
{
    return SetExtrapolationField(*this, respectUserLock, &KFCurve::SetPostExtrapolationCount, count);
}

// ---------------------------------------------------------------------------
// Callbacks
// ---------------------------------------------------------------------------

void KFCurveNode::CallbackRegister(kFCurveNodeCallback callback, void* data)
{
    if (!Callbacks())
        LinksToWrite().mCallback = std::make_unique<KFCurveNodeCallback>();
    Callbacks()->mCallbackFunctions.Add(callback);
    Callbacks()->mCallbackObjects.Add(data);
}

void KFCurveNode::CallbackUnregister(kFCurveNodeCallback callback, void* data)
{
    if (!Callbacks())
        return;
    for (int i = Callbacks()->mCallbackFunctions.GetCount() - 1; i >= 0; --i)
    {
        if (Callbacks()->mCallbackFunctions[i] == callback && Callbacks()->mCallbackObjects[i] == data)
        {
            Callbacks()->mCallbackFunctions.RemoveAt(i);
            Callbacks()->mCallbackObjects.RemoveAt(i);
            return;
        }
    }
    if (Callbacks()->mCallbackFunctions.GetCount() == 0)
    {
        mLinks->mCallback.reset();
    }
}

void KFCurveNode::CallbackAddEvent(int eventType)
{
    if (!Callbacks())
        return;
    Callbacks()->mEvent.Add(eventType);
    mNodeUpdateId++;
    if (!Callbacks()->mCallbackEnable)
        return;
    // Last registered first; a callback may unregister itself meanwhile.
    for (int i = Callbacks()->mCallbackFunctions.GetCount() - 1; i >= 0; --i)
    {
        if (!Callbacks() || i >= Callbacks()->mCallbackFunctions.GetCount())
            continue;
        kFCurveNodeCallback function = Callbacks()->mCallbackFunctions[i];
        void* data = Callbacks()->mCallbackObjects[i];
        if (function)
            function(this, &Callbacks()->mEvent, data);
    }
    if (Callbacks())
        Callbacks()->mEvent.Clear();
}

void KFCurveNode::CallbackEnable(bool enable)
{
    if (!Callbacks() || Callbacks()->mCallbackEnable == enable)
        return;
    if (enable && (Callbacks()->mEvent.mEventCount > 0 || Callbacks()->mEvent.mEventType != 0))
    {
        for (int i = 0; Callbacks() && i < Callbacks()->mCallbackFunctions.GetCount(); ++i)
        {
            kFCurveNodeCallback function = Callbacks()->mCallbackFunctions[i];
            if (function)
                function(this, &Callbacks()->mEvent, Callbacks()->mCallbackObjects[i]);
        }
        if (Callbacks())
            Callbacks()->mEvent.Clear();
    }
    if (Callbacks())
        Callbacks()->mCallbackEnable = enable;
}

bool KFCurveNode::CallbackIsEnable()
{
    return Callbacks() ? Callbacks()->mCallbackEnable : true;
}

void KFCurveNode::CallbackClear()
{
    if (Callbacks())
        Callbacks()->mEvent.Clear();
}

void KFCurveNode::DataUpdated(IData* data)
{
    if (!Callbacks())
        return;
    KFCurveNodeEvent event;
    event.mEventType = KFCURVENODEEVENT_DATAUPDATED;
    event.mEventCount = 1;
    event.mData = data;
    for (int i = Callbacks()->mCallbackFunctions.GetCount() - 1; i >= 0; --i)
    {
        if (!Callbacks() || i >= Callbacks()->mCallbackFunctions.GetCount())
            continue;
        kFCurveNodeCallback function = Callbacks()->mCallbackFunctions[i];
        if (function)
            function(this, &event, Callbacks()->mCallbackObjects[i]);
    }
}

// ---------------------------------------------------------------------------
// User lock and display state
// ---------------------------------------------------------------------------

void KFCurveNode::UserLockChange(int delta)
{
    // The count never goes below 0: one removal too many leaves it unlocked.
    int lock = GetUserLockCount() + delta;
    if (lock < 0)
        lock = 0;
    if (lock != 0 || mLinks)
        LinksToWrite().mUserLock = lock;
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i))
            Get(i)->UserLockChange(delta);
}

void KFCurveNode::UserLockAdd()
{
    for (KFCurveNode* node = this; node; node = node->mNextLayer)
        node->UserLockChange(1);
}

void KFCurveNode::UserLockRemove()
{
    for (KFCurveNode* node = this; node; node = node->mNextLayer)
        node->UserLockChange(-1);
}

void KFCurveNode::SetVisibility(bool visible, bool recursive, bool withLayers, int childIndex)
{
    if (withLayers && mNextLayer)
        mNextLayer->SetVisibility(visible, recursive, withLayers, childIndex);
    if (childIndex == -1)
    {
        mFlags = visible ? (mFlags | eVisible) : (mFlags & ~eVisible);
        if (recursive)
            for (int i = 0; i < GetCount(); ++i)
                if (Get(i))
                    Get(i)->SetVisibility(visible, recursive, withLayers, -1);
    }
    else
    {
        KFCurveNode* child = Get(childIndex);
        if (!child)
            return;
        child->SetVisibility(visible, recursive, withLayers, -1);
    }
    CallbackAddEvent(KFCURVENODEEVENT_VISIBILITY);
}

bool KFCurveNode::IsEditable()
{
    return GetVisibility() && mFCurve != nullptr;
}

float* KFCurveNode::GetColor()
{
    if (mFCurve)
        return mFCurve->GetColor();
    static thread_local float sNoColor[3];
    sNoColor[0] = sNoColor[1] = sNoColor[2] = 0.0f;
    return sNoColor;
}

void KFCurveNode::SetColor(float* color)
{
    if (mFCurve)
        mFCurve->SetColor(color);
}
