// Grouped allocation of curve nodes, curves and children arrays.
//
// A block starts with its member count, then holds the members one after
// another, each behind the block's address: the member then sits 8 bytes
// past a 16-byte boundary, where a heap member (16-byte aligned, as the
// allocators in use align these sizes) does not, so that freeing tells the
// two apart by the address alone. A heap member that would sit there takes
// a block of its own.
//
// The count starts far above any number of members and comes down to the
// members laid when the scope closes: members ending before that never
// bring it to zero, and laying one costs no atomic operation.

#include "fcurve/kfcurvegroup.h"

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurve_internal.h"
#include "fcurve/kfcurvenode.h"

#include <atomic>
#include <climits>
#include <cstdint>
#include <new>

#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#define QOX_GROUP_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QOX_GROUP_ASAN 1
#endif
#endif

#ifdef QOX_GROUP_ASAN
#include <sanitizer/asan_interface.h>
#define QOX_GROUP_POISON(address, size)   ASAN_POISON_MEMORY_REGION(address, size)
#define QOX_GROUP_UNPOISON(address, size) ASAN_UNPOISON_MEMORY_REGION(address, size)
#define QOX_GROUP_NO_ASAN                 __attribute__((no_sanitize_address))
#else
#define QOX_GROUP_POISON(address, size)   ((void)(address), (void)(size))
#define QOX_GROUP_UNPOISON(address, size) ((void)(address), (void)(size))
#define QOX_GROUP_NO_ASAN
#endif

namespace {

const size_t kAlignment = 16;
// The block's address in front of each member.
const size_t kHeader = 8;
// The count of a block while its scope is open, less the members ended.
const long kUnclaimed = LONG_MAX / 2;
// Blocks: 16-byte aligned whatever the allocator's own alignment.
const std::align_val_t kHeapAlignment{kAlignment};
// The step of the block's loading (PrefetchGroupOf).
const size_t kCacheLine = 64;

size_t RoundUp(size_t bytes)
{
    return (bytes + kAlignment - 1) & ~(kAlignment - 1);
}

// The room of a member: its header and itself, up to the next boundary.
size_t MemberBytes(size_t size)
{
    return RoundUp(kHeader + size);
}

thread_local KFCurveGroupScope* tOpen = nullptr;
thread_local KFCurveGroupSlabs* tSlabs = nullptr;

// Slabs: this size, on a boundary of it, so that a block finds its slab by
// its address alone.
const size_t kSlabBytes = size_t(2) << 20;
// The record at a slab's start, a cache line of its own.
const size_t kSlabHeader = 64;
// Blocks larger than this come from the heap: a slab holds many.
const size_t kSlabBlockMost = kSlabBytes / 16;
// A slab's count while it is being cut, less the blocks freed (as a block's
// member count, so that cutting one costs no atomic operation).
const long kSlabUncut = LONG_MAX / 2;
// Slabs mapped and not yet returned, for the memory figures.
std::atomic<size_t> gSlabsMapped{0};

} // namespace

struct alignas(16) KFCurveGroupScope::Block
{
    std::atomic<long> mMembers;
    size_t mBytes : 63; // of the members' room after this record
    size_t mInSlab : 1; // cut from a slab (else from the heap)
};

struct KFCurveGroupSlabs::Slab
{
    std::atomic<long> mBlocks;
};

namespace {

typedef KFCurveGroupScope::Block* BlockPointer;

typedef KFCurveGroupSlabs::Slab* SlabPointer;

// A slab of kSlabBytes on a boundary of its size; null when the system
// gives none.
SlabPointer MapSlab()
{
    // Twice the size, then the ends beyond the boundary given back.
    void* mapped = mmap(nullptr, 2 * kSlabBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    char* start = static_cast<char*>(mapped);
    char* slab = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(start) + kSlabBytes - 1) & ~(kSlabBytes - 1));
    if (slab > start)
        munmap(start, static_cast<size_t>(slab - start));
    if (slab + kSlabBytes < start + 2 * kSlabBytes)
        munmap(slab + kSlabBytes, static_cast<size_t>(start + 2 * kSlabBytes - (slab + kSlabBytes)));
    QOX_GROUP_POISON(slab + kSlabHeader, kSlabBytes - kSlabHeader);
    gSlabsMapped.fetch_add(1, std::memory_order_relaxed);
    return new (slab) KFCurveGroupSlabs::Slab{{kSlabUncut}};
}

// count blocks fewer; the slab goes with its last.
void ReleaseSlab(SlabPointer slab, long count)
{
    if (slab->mBlocks.fetch_sub(count, std::memory_order_acq_rel) != count)
        return;
    QOX_GROUP_UNPOISON(slab, kSlabBytes);
    munmap(slab, kSlabBytes);
    gSlabsMapped.fetch_sub(1, std::memory_order_relaxed);
}

SlabPointer SlabOf(const void* block)
{
    return reinterpret_cast<SlabPointer>(reinterpret_cast<uintptr_t>(block) & ~(kSlabBytes - 1));
}

// Room for a block of bytes with its record: from the thread's slabs when
// some are open and it is small enough, else from the heap.
void* AllocateBlock(size_t bytes, bool& inSlab)
{
    if (KFCurveGroupSlabs* slabs = tSlabs)
        if (bytes <= kSlabBlockMost)
            if (void* room = slabs->Take(bytes))
            {
                inSlab = true;
                QOX_GROUP_UNPOISON(room, sizeof(KFCurveGroupScope::Block));
                return room;
            }
    inSlab = false;
    return ::operator new(bytes, kHeapAlignment, std::nothrow);
}

void FreeBlock(BlockPointer block)
{
    const size_t bytes = sizeof(*block) + block->mBytes;
    if (block->mInSlab)
    {
        QOX_GROUP_POISON(block, bytes);
        ReleaseSlab(SlabOf(block), 1);
        return;
    }
    QOX_GROUP_UNPOISON(block, bytes);
    ::operator delete(static_cast<void*>(block), kHeapAlignment);
}

// count members fewer; the block goes with its last.
void Release(BlockPointer block, long count)
{
    if (block->mMembers.fetch_sub(count, std::memory_order_acq_rel) == count)
        FreeBlock(block);
}

// The header is kept poisoned: it sits between members as a heap redzone would.
QOX_GROUP_NO_ASAN BlockPointer BlockOf(const void* member)
{
    return *reinterpret_cast<const BlockPointer*>(static_cast<const char*>(member) - kHeader);
}

QOX_GROUP_NO_ASAN void SetBlockOf(char* header, BlockPointer block)
{
    *reinterpret_cast<BlockPointer*>(header) = block;
}

} // namespace

KFCurveGroupScope::KFCurveGroupScope(size_t bytes)
    : mOuter(tOpen)
    , mBytes(RoundUp(bytes))
{
    tOpen = this;
}

KFCurveGroupScope::~KFCurveGroupScope()
{
    tOpen = mOuter;
    if (mBlock)
        Release(mBlock, kUnclaimed - mTaken);
}

size_t KFCurveGroupScope::NodeBytes()
{
    return MemberBytes(sizeof(KFCurveNode));
}

size_t KFCurveGroupScope::CurveBytes()
{
    return MemberBytes(sizeof(KFCurve));
}

size_t KFCurveGroupScope::ChildrenBytes(int count)
{
    return MemberBytes(
        static_cast<size_t>(count < KFCurveNodeChildren::kFirstCapacity ? KFCurveNodeChildren::kFirstCapacity : count) *
        sizeof(KFCurveNode*));
}

KFCurveGroupScope* KFCurveGroupScope::Open()
{
    return tOpen;
}

void* KFCurveGroupScope::Take(size_t size)
{
    const size_t bytes = MemberBytes(size);
    if (!mBlock)
    {
        if (bytes > mBytes)
            return nullptr;
        bool inSlab = false;
        void* memory = AllocateBlock(sizeof(Block) + mBytes, inSlab);
        if (!memory)
            return nullptr;
        mBlock = new (memory) Block{{kUnclaimed}, mBytes, inSlab};
        mNext = reinterpret_cast<char*>(mBlock + 1);
        mEnd = mNext + mBytes;
        QOX_GROUP_POISON(mNext, mBytes);
    }
    if (static_cast<size_t>(mEnd - mNext) < bytes)
        return nullptr;
    char* header = mNext;
    mNext += bytes;
    ++mTaken;
    SetBlockOf(header, mBlock);
    QOX_GROUP_UNPOISON(header + kHeader, size);
    return header + kHeader;
}

KFCurveGroupSlabs::KFCurveGroupSlabs()
    : mOuter(tSlabs)
{
    tSlabs = this;
}

KFCurveGroupSlabs::~KFCurveGroupSlabs()
{
    tSlabs = mOuter;
    Retire();
}

KFCurveGroupSlabs* KFCurveGroupSlabs::Open()
{
    return tSlabs;
}

size_t KFCurveGroupSlabs::BytesMapped()
{
    return gSlabsMapped.load(std::memory_order_relaxed) * kSlabBytes;
}

void KFCurveGroupSlabs::Retire()
{
    if (mSlab)
        ReleaseSlab(mSlab, kSlabUncut - mTaken);
    mSlab = nullptr;
    mNext = mEnd = nullptr;
    mTaken = 0;
}

void* KFCurveGroupSlabs::New(size_t size)
{
    return kfcurve_detail::LoneMemberNew(size);
}

void KFCurveGroupSlabs::Delete(void* memory, size_t size)
{
    kfcurve_detail::GroupMemberDelete(memory, size);
}

void* KFCurveGroupSlabs::Take(size_t bytes)
{
    bytes = RoundUp(bytes);
    if (static_cast<size_t>(mEnd - mNext) < bytes)
    {
        Retire();
        if (bytes > kSlabBytes - kSlabHeader || !(mSlab = MapSlab()))
            return nullptr;
        mNext = reinterpret_cast<char*>(mSlab) + kSlabHeader;
        mEnd = reinterpret_cast<char*>(mSlab) + kSlabBytes;
    }
    void* room = mNext;
    mNext += bytes;
    ++mTaken;
    return room;
}

bool kfcurve_detail::sGroupMembers = true;

void* kfcurve_detail::GroupMemberNew(size_t size, bool orNull)
{
    if (KFCurveGroupScope* scope = tOpen)
        if (sGroupMembers)
            if (void* member = scope->Take(size))
                return member;
    return LoneMemberNew(size, orNull);
}

void* kfcurve_detail::LoneMemberNew(size_t size, bool orNull)
{
    if (tSlabs)
    {
        // A block of its own in the thread's slab.
        KFCurveGroupScope lone(MemberBytes(size));
        if (void* member = lone.Take(size))
            return member;
    }
    void* member = orNull ? ::operator new(size, std::nothrow) : ::operator new(size);
    if (!member || !IsGroupMember(member))
        return member;
    // An allocator that aligns this size on 8 bytes only: the member takes
    // a block of its own, which tells it apart as any block member.
    ::operator delete(member);
    KFCurveGroupScope lone(MemberBytes(size));
    member = lone.Take(size);
    if (!member && !orNull)
        throw std::bad_alloc();
    return member;
}

void kfcurve_detail::GroupMemberDelete(void* member, size_t size)
{
    if (!member)
        return;
    if (!IsGroupMember(member))
    {
        ::operator delete(member);
        return;
    }
    BlockPointer block = BlockOf(member);
    QOX_GROUP_POISON(member, size);
    Release(block, 1);
}

void kfcurve_detail::PrefetchGroupOf(const void* member)
{
    if (!IsGroupMember(member))
        return;
    BlockPointer block = BlockOf(member);
    const char* room = reinterpret_cast<const char*>(block + 1);
    for (size_t at = 0; at < block->mBytes; at += kCacheLine)
        __builtin_prefetch(room + at);
}

bool kfcurve_detail::SameGroup(const void* member, const void* other)
{
    return IsGroupMember(member) && IsGroupMember(other) && BlockOf(member) == BlockOf(other);
}

bool kfcurve_detail::IsFirstInGroup(const void* member)
{
    return IsGroupMember(member) &&
           static_cast<const char*>(member) - kHeader == reinterpret_cast<const char*>(BlockOf(member) + 1);
}

bool kfcurve_detail::IsGroupMember(const void* member)
{
    return (reinterpret_cast<uintptr_t>(member) & (kAlignment - 1)) == kHeader;
}
