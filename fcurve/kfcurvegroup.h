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

#endif
