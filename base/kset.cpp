#include "base/kset.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

// A new array of capacity entries holding the first count of old, which is
// released. Running out of memory ends the process, as with any new.
template <typename T>
T* Regrow(T* old, int count, size_t capacity)
{
    T* grown = new T[capacity];
    if (count > 0)
        std::memcpy(static_cast<void*>(grown), static_cast<const void*>(old), static_cast<size_t>(count) * sizeof(T));
    delete[] old;
    return grown;
}

} // namespace

namespace {

// Brings entries [sorted, count) into the order of the sorted run
// [0, sorted) without sorting the run again: the new entries are sorted
// among themselves, then merged with the run, each one placed behind the
// run entries it does not precede. The merge takes a scratch buffer when
// memory allows and works in place otherwise, so sorting never fails: a set
// is sorted when entries are removed, as when a data type is freed.
// Equal keys keep no particular order, as with a full sort.
template <class Entry, class Less>
void SortTail(Entry* entries, int sorted, int count, Less less)
{
    if (sorted >= count)
    {
        return;
    }
    std::sort(entries + sorted, entries + count, less);
    std::inplace_merge(entries, entries + sorted, entries + count, less);
}

// Next capacity in blocks: at least one more block, otherwise doubling, so
// appending stays amortised O(1).
int NextBlockCount(int blockCount)
{
    return blockCount < 1 ? 1 : blockCount * 2;
}

const char* NonNull(const char* text)
{
    return text ? text : "";
}

} // namespace

int CompareSCharPtrSet(const void* a, const void* b)
{
    return strcasecmp(static_cast<const SCharPtrSet*>(a)->mKey, static_cast<const SCharPtrSet*>(b)->mKey);
}

int CompareSCharPtrSetSensitive(const void* a, const void* b)
{
    return strcmp(static_cast<const SCharPtrSet*>(a)->mKey, static_cast<const SCharPtrSet*>(b)->mKey);
}

int CompareSSet(const void* a, const void* b)
{
    kReference ka = static_cast<const SSet*>(a)->mKey;
    kReference kb = static_cast<const SSet*>(b)->mKey;
    return ka < kb ? -1 : (ka > kb ? 1 : 0);
}

// ---------------------------------------------------------------------------
// KCharPtrSet

namespace {

// The versions handed out to every set of the process.
std::atomic<unsigned long long> gCharPtrSetVersions{0};

} // namespace

void KCharPtrSet::Changed()
{
    mVersion = ++gCharPtrSetVersions;
}

KCharPtrSet::KCharPtrSet(int blockSize)
    : mCaseSensitive(false)
    , mSetArray(nullptr)
    , mSetCount(0)
    , mBlockCount(0)
    , mBlockSize(blockSize < 1 ? 1 : blockSize)
    , mSortedCount(0)
    , mSortedCaseSensitive(false)
{
    Changed();
}

KCharPtrSet::~KCharPtrSet()
{
    Clear();
}

void KCharPtrSet::Clear()
{
    for (int i = 0; i < mSetCount; ++i)
    {
        delete[] mSetArray[i].mKey;
    }
    delete[] mSetArray;
    mSetArray = nullptr;
    mSetCount = 0;
    mBlockCount = 0;
    mSortedCount = 0;
    Changed();
}

int KCharPtrSet::Compare(const char* a, const char* b) const
{
    return mCaseSensitive ? strcmp(a, b) : strcasecmp(a, b);
}

void KCharPtrSet::Grow()
{
    int blocks = NextBlockCount(mBlockCount);
    mSetArray = Regrow(mSetArray, mSetCount, static_cast<size_t>(blocks) * static_cast<size_t>(mBlockSize));
    mBlockCount = blocks;
}

void KCharPtrSet::Add(const char* key, kReference value)
{
    key = NonNull(key);
    if (mSetCount >= mBlockCount * mBlockSize)
    {
        Grow();
    }
    if (mSortedCaseSensitive != mCaseSensitive)
    {
        mSortedCount = 0;
        mSortedCaseSensitive = mCaseSensitive;
    }
    // An entry appended behind a sorted run that it does not precede keeps
    // the set sorted.
    bool staysSorted =
        mSortedCount == mSetCount && (mSetCount == 0 || Compare(mSetArray[mSetCount - 1].mKey, key) <= 0);
    size_t length = strlen(key);
    char* copy = new char[length + 1];
    memcpy(copy, key, length + 1);
    mSetArray[mSetCount].mKey = copy;
    mSetArray[mSetCount].mValue = value;
    ++mSetCount;
    Changed();
    if (staysSorted)
    {
        mSortedCount = mSetCount;
    }
}

void KCharPtrSet::Sort()
{
    if (mSortedCaseSensitive != mCaseSensitive)
    {
        mSortedCount = 0;
        mSortedCaseSensitive = mCaseSensitive;
    }
    if (mSortedCount >= mSetCount)
    {
        return;
    }
    if (mCaseSensitive)
    {
        SortTail(mSetArray, mSortedCount, mSetCount,
                 [](const SCharPtrSet& a, const SCharPtrSet& b) { return strcmp(a.mKey, b.mKey) < 0; });
    }
    else
    {
        SortTail(mSetArray, mSortedCount, mSetCount,
                 [](const SCharPtrSet& a, const SCharPtrSet& b) { return strcasecmp(a.mKey, b.mKey) < 0; });
    }
    mSortedCount = mSetCount;
}

int KCharPtrSet::Search(const char* key) const
{
    key = NonNull(key);
    int low = 0;
    int high = mSetCount;
    while (low < high)
    {
        int mid = low + (high - low) / 2;
        if (Compare(mSetArray[mid].mKey, key) < 0)
        {
            low = mid + 1;
        }
        else
        {
            high = mid;
        }
    }
    if (low < mSetCount && Compare(mSetArray[low].mKey, key) == 0)
    {
        return low;
    }
    return -1;
}

kReference KCharPtrSet::Get(const char* key, int* index)
{
    Sort();
    int position = Search(key);
    if (index)
    {
        *index = position;
    }
    return position < 0 ? 0 : mSetArray[position].mValue;
}

bool KCharPtrSet::Remove(const char* key)
{
    int position = -1;
    if (Get(key, &position) != 0)
    {
        RemoveFromIndex(position);
        return true;
    }
    return false;
}

kReference KCharPtrSet::GetFromIndex(int index, char** key)
{
    if (index < 0 || index >= mSetCount)
    {
        return 0;
    }
    Sort();
    if (key)
    {
        *key = mSetArray[index].mKey;
    }
    return mSetArray[index].mValue;
}

kReference& KCharPtrSet::operator[](int index)
{
    assert(index >= 0 && index < mSetCount);
    Sort();
    // The value may be written through the reference.
    Changed();
    return mSetArray[index].mValue;
}

void KCharPtrSet::RemoveFromIndex(int index)
{
    assert(index >= 0 && index < mSetCount);
    Sort();
    delete[] mSetArray[index].mKey;
    std::memmove(static_cast<void*>(mSetArray + index), static_cast<const void*>(mSetArray + index + 1),
                 static_cast<size_t>(mSetCount - index - 1) * sizeof(SCharPtrSet));
    --mSetCount;
    mSortedCount = mSetCount;
    Changed();
}

SCharPtrSet* KCharPtrSet::FindEqual(const char* key) const
{
    if (mSetCount == 0)
    {
        return nullptr;
    }
    int position = Search(key);
    return position < 0 ? nullptr : mSetArray + position;
}

// ---------------------------------------------------------------------------
// KSet

KSet::KSet(int blockSize)
    : mSetArray(nullptr)
    , mSetCount(0)
    , mBlockCount(0)
    , mBlockSize(blockSize < 1 ? 1 : blockSize)
    , mSortedCount(0)
{}

KSet::KSet(const KSet& other)
    : KSet(other.mBlockSize)
{
    CopyFrom(other);
}

KSet& KSet::operator=(const KSet& other)
{
    if (this != &other)
    {
        Clear();
        mBlockSize = other.mBlockSize;
        CopyFrom(other);
    }
    return *this;
}

KSet::~KSet()
{
    Clear();
}

// Takes every entry of other in sorted order (this set is empty).
void KSet::CopyFrom(const KSet& other)
{
    other.Sort();
    if (other.mSetCount == 0)
    {
        return;
    }
    int blocks = (other.mSetCount + mBlockSize - 1) / mBlockSize;
    mSetArray = new SSet[static_cast<size_t>(blocks) * static_cast<size_t>(mBlockSize)];
    mBlockCount = blocks;
    std::memcpy(static_cast<void*>(mSetArray), static_cast<const void*>(other.mSetArray),
                static_cast<size_t>(other.mSetCount) * sizeof(SSet));
    mSetCount = other.mSetCount;
    mSortedCount = mSetCount;
}

void KSet::Grow()
{
    int blocks = NextBlockCount(mBlockCount);
    mSetArray = Regrow(mSetArray, mSetCount, static_cast<size_t>(blocks) * static_cast<size_t>(mBlockSize));
    mBlockCount = blocks;
}

void KSet::Add(kReference key, kReference value)
{
    if (mSetCount >= mBlockCount * mBlockSize)
    {
        Grow();
    }
    bool staysSorted = mSortedCount == mSetCount && (mSetCount == 0 || mSetArray[mSetCount - 1].mKey <= key);
    mSetArray[mSetCount].mKey = key;
    mSetArray[mSetCount].mValue = value;
    ++mSetCount;
    if (staysSorted)
    {
        mSortedCount = mSetCount;
    }
}

void KSet::Sort() const
{
    if (mSortedCount >= mSetCount)
    {
        return;
    }
    SortTail(mSetArray, mSortedCount, mSetCount, [](const SSet& a, const SSet& b) { return a.mKey < b.mKey; });
    mSortedCount = mSetCount;
}

int KSet::Search(kReference key) const
{
    int low = 0;
    int high = mSetCount;
    while (low < high)
    {
        int mid = low + (high - low) / 2;
        if (mSetArray[mid].mKey < key)
        {
            low = mid + 1;
        }
        else
        {
            high = mid;
        }
    }
    return (low < mSetCount && mSetArray[low].mKey == key) ? low : -1;
}

kReference KSet::Get(kReference key, int* index) const
{
    Sort();
    int position = Search(key);
    if (index)
    {
        *index = position;
    }
    return position < 0 ? 0 : mSetArray[position].mValue;
}

int KSet::Remove(kReference key)
{
    int position = -1;
    if (Get(key, &position) == 0)
    {
        return 1;
    }
    return RemoveFromIndex(position);
}

int KSet::RemoveItem(kReference value)
{
    Sort();
    // One compacting pass in sorted order; the survivors stay sorted.
    int kept = 0;
    for (int i = 0; i < mSetCount; ++i)
    {
        if (mSetArray[i].mValue != value)
        {
            mSetArray[kept++] = mSetArray[i];
        }
    }
    bool removed = kept != mSetCount;
    mSetCount = kept;
    mSortedCount = kept;
    return removed ? 0 : 1;
}

int KSet::SetItem(kReference key, kReference value)
{
    Sort();
    int position = Search(key);
    if (position < 0)
    {
        return 1;
    }
    mSetArray[position].mValue = value;
    return 0;
}

void KSet::Clear()
{
    delete[] mSetArray;
    mSetArray = nullptr;
    mSetCount = 0;
    mBlockCount = 0;
    mSortedCount = 0;
}

kReference KSet::GetFromIndex(int index, kReference* key) const
{
    if (index < 0 || index >= mSetCount)
    {
        return 0;
    }
    Sort();
    if (key)
    {
        *key = mSetArray[index].mKey;
    }
    return mSetArray[index].mValue;
}

kReference KSet::GetFromIndex(int index, unsigned int* key) const
{
    kReference wide = 0;
    kReference value = GetFromIndex(index, key ? &wide : nullptr);
    if (key && index >= 0 && index < mSetCount)
    {
        *key = static_cast<unsigned int>(wide);
    }
    return value;
}

int KSet::RemoveFromIndex(int index)
{
    if (index < 0 || index >= mSetCount)
    {
        return 1;
    }
    std::memmove(static_cast<void*>(mSetArray + index), static_cast<const void*>(mSetArray + index + 1),
                 static_cast<size_t>(mSetCount - index - 1) * sizeof(SSet));
    --mSetCount;
    // The index refers to the current order: removing from the sorted run
    // shortens it; removing from the unsorted tail leaves it as it was.
    if (index < mSortedCount)
    {
        --mSortedCount;
    }
    return 0;
}

int KSet::Swap() const
{
    for (int i = 0; i < mSetCount; ++i)
    {
        std::swap(mSetArray[i].mKey, mSetArray[i].mValue);
    }
    mSortedCount = 0;
    Sort();
    return 0;
}

SSet* KSet::FindEqual(kReference key) const
{
    if (mSetCount == 0)
    {
        return nullptr;
    }
    int position = Search(key);
    return position < 0 ? nullptr : mSetArray + position;
}
