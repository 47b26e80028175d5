#ifndef QOX_FCURVE_KFCURVEGROUP_H
#define QOX_FCURVE_KFCURVEGROUP_H

// Grouped allocation of a channel tree. While a KFCurveGroupScope is open on
// a thread, the curve nodes, curves and children arrays made on that thread
// are laid one after another in one block, as long as it has room (then
// they come from the heap as usual). Nothing else changes: each member
// still ends on its own (Destroy, delete, removal from its parent), in any
// order, and may outlive the tree it was made in, or move to another tree.
// The block counts its members and is freed with the last one.
//
// Scopes nest: the innermost one open gives the room. A scope is for the
// thread that opened it; a member may end on any thread.

#include <cstddef>

class KFCurveGroupScope
{
public:
    // Room for the members the caller is about to make, as the sums of the
    // sizes below. The block is made by the first member that fits.
    explicit KFCurveGroupScope(size_t bytes);
    // Closes the scope; the block lives on while a member does.
    ~KFCurveGroupScope();
    KFCurveGroupScope(const KFCurveGroupScope&) = delete;
    KFCurveGroupScope& operator=(const KFCurveGroupScope&) = delete;

    // The room a curve node, a curve and a children array of count places
    // (count at least 3, what a node takes for its first child) take in a
    // block.
    static size_t NodeBytes();
    static size_t CurveBytes();
    static size_t ChildrenBytes(int count);

    // The room for a member of that size, or null when the scope has none
    // left (for the member classes' own allocation).
    void* Take(size_t size);
    // The innermost scope open on this thread; null when none is.
    static KFCurveGroupScope* Open();

    // A block's record (defined with the allocator).
    struct Block;

private:
    KFCurveGroupScope* mOuter;
    size_t mBytes;
    Block* mBlock = nullptr;
    char* mNext = nullptr;
    char* mEnd = nullptr;
    long mTaken = 0; // members laid in the block
};

// Bulk making of channel trees on a thread. While one is open on a thread,
// the blocks its scopes make (and the curves' key storage and take nodes
// made there) are cut one after another from slabs of two megabytes
// instead of coming from the heap one by one: the heap of any thread but
// the first grows a page at a time, and each step stalls every thread of
// the process that touches new memory. A slab goes back to the system when the last block cut
// from it is freed, on whatever thread; blocks freed before make no room in
// it, so this is for reads that make many trees which are kept together.
// Blocks too large for a slab come from the heap as usual.
class KFCurveGroupSlabs
{
public:
    KFCurveGroupSlabs();
    // The slab being cut lives on while a block cut from it does.
    ~KFCurveGroupSlabs();
    KFCurveGroupSlabs(const KFCurveGroupSlabs&) = delete;
    KFCurveGroupSlabs& operator=(const KFCurveGroupSlabs&) = delete;

    // Memory of size bytes (aligned as new aligns up to 8 bytes) for an
    // object made in bulk: from a slab when some are open on this thread,
    // else from the heap. Freed by Delete with the same size, on any thread.
    // Out of memory throws std::bad_alloc, as new does.
    static void* New(size_t size);
    static void Delete(void* memory, size_t size);

    // Room of bytes (a multiple of 16) for a block, on a 16-byte boundary;
    // null when the system gives no slab. For the scopes' allocator.
    void* Take(size_t bytes);
    // The innermost one open on this thread; null when none is.
    static KFCurveGroupSlabs* Open();
    // Bytes of the slabs the process holds now (memory outside the heap).
    static size_t BytesMapped();

    // A slab's record (defined with the allocator).
    struct Slab;

private:
    void Retire();

    KFCurveGroupSlabs* mOuter;
    Slab* mSlab = nullptr;
    char* mNext = nullptr;
    char* mEnd = nullptr;
    long mTaken = 0; // blocks cut from the slab
};

#endif
