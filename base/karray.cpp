#include "base/karray.h"

#include "base/kmemorypool.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// Blocks needed to hold n items (at least one).
int BlocksFor(long long n, int blockSize)
{
    long long blocks = (n + blockSize - 1) / blockSize;
    return blocks < 1 ? 1 : static_cast<int>(blocks);
}

} // namespace

KBaseArray::KBaseArray(int blockSize, int itemSize)
    : mBlockSize(blockSize < 1 ? 1 : blockSize)
    , mItemSize(itemSize < 1 ? 1 : itemSize)
{}

KBaseArray::~KBaseArray()
{
    Clear();
}

bool KBaseArray::SetBlocks(int blocks)
{
    if (blocks == mBlockCount)
        return true;
    if (blocks <= 0)
    {
        std::free(mBaseArray);
        mBaseArray = nullptr;
        mBlockCount = 0;
        return true;
    }
    if (static_cast<long long>(blocks) * mBlockSize > INT_MAX)
        return false;
    const size_t bytes = static_cast<size_t>(blocks) * static_cast<size_t>(mBlockSize) * static_cast<size_t>(mItemSize);
    void* data = std::realloc(mBaseArray, bytes);
    if (!data)
        return false; // the old block is still ours and unchanged
    mBaseArray = data;
    mBlockCount = blocks;
    return true;
}

bool KBaseArray::Grow(int n)
{
    if (n <= GetCapacity())
        return true;
    const int needed = BlocksFor(n, mBlockSize);
    // Double the block count (first growth gives one block, then 2, 4, ...),
    // never beyond what an int count can address.
    long long target = mBlockCount > 0 ? 2LL * mBlockCount : 1;
    if (target < needed)
        target = needed;
    const long long maxBlocks = INT_MAX / mBlockSize;
    if (target > maxBlocks)
        target = maxBlocks;
    if (target >= needed && SetBlocks(static_cast<int>(target)))
        return true;
    // The geometric step failed: settle for exactly what is needed.
    return SetBlocks(needed);
}

int KBaseArray::InsertAt(int index, void* item)
{
    if (index > mArrayCount)
        index = mArrayCount;
    if (index < 0)
        index = 0;
    if (mArrayCount == INT_MAX)
        return -1;

    const size_t itemSize = static_cast<size_t>(mItemSize);
    if (mArrayCount >= GetCapacity())
    {
        // The item may lie inside our own storage, which growth can move.
        const char* base = static_cast<const char*>(mBaseArray);
        const char* p = static_cast<const char*>(item);
        if (base && p >= base && p < base + static_cast<size_t>(mArrayCount) * itemSize)
        {
            const size_t offset = static_cast<size_t>(p - base);
            if (!Grow(mArrayCount + 1))
                return -1;
            item = static_cast<char*>(mBaseArray) + offset;
        }
        else if (!Grow(mArrayCount + 1))
        {
            return -1;
        }
    }

    char* data = static_cast<char*>(mBaseArray);
    char* slot = data + static_cast<size_t>(index) * itemSize;
    const char* src = static_cast<const char*>(item);
    if (index < mArrayCount)
    {
        std::memmove(slot + itemSize, slot, static_cast<size_t>(mArrayCount - index) * itemSize);
        // A source item at or after the slot has just moved up by one.
        if (src >= slot && src < data + static_cast<size_t>(mArrayCount) * itemSize)
            src += itemSize;
    }
    std::memmove(slot, src, itemSize);
    ++mArrayCount;
    return index;
}

void KBaseArray::RemoveAt(int index)
{
    if (!ValidateIndex(index))
        return;
    if (index + 1 < mArrayCount)
    {
        char* slot = static_cast<char*>(mBaseArray) + static_cast<size_t>(index) * mItemSize;
        std::memmove(slot, slot + mItemSize, static_cast<size_t>(mArrayCount - index - 1) * mItemSize);
    }
    --mArrayCount;
}

void KBaseArray::Clear()
{
    std::free(mBaseArray);
    mBaseArray = nullptr;
    mArrayCount = 0;
    mBlockCount = 0;
}

void KBaseArray::Empty()
{
    mArrayCount = 0;
}

int KBaseArray::Reserve(int n)
{
    if (n <= 0)
        return GetCapacity();
    const int oldBlocks = mBlockCount;
    const int blocks = BlocksFor(n, mBlockSize);
    if (!SetBlocks(blocks))
        return GetCapacity();
    char* data = static_cast<char*>(mBaseArray);
    const size_t capacityBytes = static_cast<size_t>(GetCapacity()) * mItemSize;
    if (blocks > oldBlocks)
    {
        const size_t from = static_cast<size_t>(mArrayCount) * mItemSize;
        std::memset(data + from, 0, capacityBytes - from);
    }
    else if (n < mArrayCount)
    {
        const size_t from = static_cast<size_t>(n) * mItemSize;
        std::memset(data + from, 0, capacityBytes - from);
        mArrayCount = n;
    }
    return GetCapacity();
}

void KBaseArray::Resize(int n)
{
    if (n < 0)
        n = 0;
    if (!SetBlocks(BlocksFor(n, mBlockSize)))
        return;
    char* data = static_cast<char*>(mBaseArray);
    const size_t capacityBytes = static_cast<size_t>(GetCapacity()) * mItemSize;
    // New items are zero-filled whether or not the storage moved.
    const int from = n < mArrayCount ? n : mArrayCount;
    const size_t fromBytes = static_cast<size_t>(from) * mItemSize;
    std::memset(data + fromBytes, 0, capacityBytes - fromBytes);
    mArrayCount = n;
}

void KBaseArray::AddMultiple(int n)
{
    if (n <= 0)
        return;
    if (static_cast<long long>(mArrayCount) + n > INT_MAX)
        return;
    const int newCount = mArrayCount + n;
    if (!Grow(newCount))
        return;
    // Zero the new items and the rest of the last block they reach.
    long long endItems = static_cast<long long>(BlocksFor(newCount, mBlockSize)) * mBlockSize;
    if (endItems > GetCapacity())
        endItems = GetCapacity();
    char* data = static_cast<char*>(mBaseArray);
    const size_t from = static_cast<size_t>(mArrayCount) * mItemSize;
    std::memset(data + from, 0, static_cast<size_t>(endItems) * mItemSize - from);
    mArrayCount = newCount;
}

void KBaseArray::SetCount(int n)
{
    if (n > mArrayCount)
        AddMultiple(n - mArrayCount);
    else
        mArrayCount = n < 0 ? 0 : n;
}

bool KBaseArray::SetCountUnset(int n)
{
    if (n < 0)
        return false;
    // An empty array gets exactly the blocks it needs; a growing one grows as appends do.
    if (n > GetCapacity() && !(mArrayCount == 0 ? SetBlocks(BlocksFor(n, mBlockSize)) : Grow(n)))
        return false;
    const size_t from = static_cast<size_t>(mArrayCount) * static_cast<size_t>(mItemSize);
    const size_t to = static_cast<size_t>(n) * static_cast<size_t>(mItemSize);
    mArrayCount = n;
    kAdviseLargePages(static_cast<char*>(mBaseArray) + from, to > from ? to - from : 0);
    return true;
}

void KBaseArray::CopyFrom(const KBaseArray& other)
{
    if (&other == this)
        return;
    Clear();
    mBlockSize = other.mBlockSize;
    if (other.mArrayCount <= 0)
        return;
    if (!SetBlocks(BlocksFor(other.mArrayCount, mBlockSize)))
        return;
    std::memcpy(mBaseArray, other.mBaseArray, static_cast<size_t>(other.mArrayCount) * mItemSize);
    mArrayCount = other.mArrayCount;
}

bool KBaseArray::AppendItems(const void* src, int count)
{
    if (count <= 0)
        return true;
    if (static_cast<long long>(mArrayCount) + count > INT_MAX)
        return false;
    // The source may be this array's own storage, which growth can move.
    const char* base = static_cast<const char*>(mBaseArray);
    const char* p = static_cast<const char*>(src);
    const bool inside = base && p >= base && p < base + static_cast<size_t>(GetCapacity()) * mItemSize;
    const size_t offset = inside ? static_cast<size_t>(p - base) : 0;
    if (!Grow(mArrayCount + count))
        return false;
    if (inside)
        p = static_cast<const char*>(mBaseArray) + offset;
    std::memmove(static_cast<char*>(mBaseArray) + static_cast<size_t>(mArrayCount) * mItemSize, p,
                 static_cast<size_t>(count) * mItemSize);
    mArrayCount += count;
    return true;
}

bool KBaseArray::AdoptStorage(void* storage, int count, size_t capacity)
{
    if (count < 0 || static_cast<size_t>(count) > capacity || (!storage && count > 0))
        return false;
    if (count == 0)
    {
        Clear();
        std::free(storage);
        return true;
    }
    // Whole blocks, as the array counts its room: shrinking gives back the
    // slack past them (in place), growing (at most a block) may move.
    const int blocks = BlocksFor(count, mBlockSize);
    if (static_cast<long long>(blocks) * mBlockSize > INT_MAX)
        return false;
    const size_t items = static_cast<size_t>(blocks) * static_cast<size_t>(mBlockSize);
    void* trimmed = items == capacity ? storage : std::realloc(storage, items * static_cast<size_t>(mItemSize));
    if (!trimmed)
    {
        if (items > capacity)
            return false;
        trimmed = storage; // could not shrink: the larger block serves
    }
    std::free(mBaseArray);
    mBaseArray = trimmed;
    mBlockCount = blocks;
    mArrayCount = count;
    return true;
}

void KBaseArray::SwapStorage(KBaseArray& other)
{
    std::swap(mBaseArray, other.mBaseArray);
    std::swap(mArrayCount, other.mArrayCount);
    std::swap(mBlockCount, other.mBlockCount);
    std::swap(mBlockSize, other.mBlockSize);
}
