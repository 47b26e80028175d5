#include "object/kuniquename.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

std::string Lower(const std::string& text)
{
    std::string out(text);
    for (char& c : out)
        c = LowerAscii(c);
    return out;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool EndsWith(const std::string& text, const char* tail)
{
    size_t n = strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// Counters are decimal texts without leading zeros, so any run of digits
// counts on without overflow.
std::string StripZeros(const std::string& digits)
{
    size_t i = 0;
    while (i + 1 < digits.size() && digits[i] == '0')
        ++i;
    return digits.substr(i);
}

std::string Increment(std::string number)
{
    for (size_t i = number.size(); i-- > 0;)
    {
        if (number[i] != '9')
        {
            ++number[i];
            return number;
        }
        number[i] = '0';
    }
    return "1" + number;
}

bool Less(const std::string& a, const std::string& b)
{
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

// Grows a malloc'ed array to at least `needed` items, in multiples of step,
// at least doubling.
template <class T>
bool GrowArray(T*& array, int& capacity, int needed, unsigned int step)
{
    if (needed <= capacity)
        return true;
    long long target = capacity > 0 ? static_cast<long long>(capacity) * 2 : step;
    if (target < needed)
        target = needed;
    target = (target + step - 1) / step * step;
    if (target > 0x7FFFFFFF / static_cast<long long>(sizeof(T)))
        return false;
    T* grown = static_cast<T*>(realloc(array, static_cast<size_t>(target) * sizeof(T)));
    if (!grown)
        return false;
    array = grown;
    capacity = static_cast<int>(target);
    return true;
}

} // namespace

KUniqueNameObjectList::KUniqueNameObjectList(unsigned int bits, unsigned int growStep)
    : mGrowStep(growStep ? growStep : 1)
{
    if (bits > 24)
        bits = 24;
    mMask = bits == 0 ? 1u : (1u << bits) - 1u;
    unsigned int buckets = mMask + 1;
    mBuckets = static_cast<int**>(calloc(buckets, sizeof(int*)));
    mBucketCapacity = static_cast<int*>(calloc(buckets, sizeof(int)));
    mBucketCount = static_cast<int*>(calloc(buckets, sizeof(int)));
    if (!mBuckets || !mBucketCapacity || !mBucketCount)
        abort();
}

KUniqueNameObjectList::~KUniqueNameObjectList()
{
    ClearObject();
    for (unsigned int i = 0; i <= mMask; ++i)
        free(mBuckets[i]);
    free(mBuckets);
    free(mBucketCapacity);
    free(mBucketCount);
}

void KUniqueNameObjectList::ClearObject()
{
    free(mObjects);
    free(mOffsets);
    free(mLengths);
    free(mPool);
    mObjects = nullptr;
    mOffsets = mLengths = nullptr;
    mPool = nullptr;
    mSlotCount = mSlotCapacity = 0;
    mPoolCapacity = mPoolLength = 0;
    for (unsigned int i = 0; i <= mMask; ++i)
        mBucketCount[i] = 0;
    mFirstFree = 0;
    mLiveBytes = 0;
    mTaken.clear();
}

const void* KUniqueNameObjectList::GetSlotObject(int slot) const
{
    return (slot >= 0 && slot < mSlotCount) ? mObjects[slot] : nullptr;
}

// The sum of the name's bytes as signed characters, taken in lower case so
// that names equal without regard to case fall in the same bucket.
unsigned int KUniqueNameObjectList::Hash(const char* name) const
{
    int sum = 0;
    for (const char* p = name; *p; ++p)
        sum += static_cast<signed char>(LowerAscii(*p));
    return static_cast<unsigned int>(sum) & mMask;
}

int KUniqueNameObjectList::Find(const char* name, unsigned int length) const
{
    if (length == 0)
        return -1;
    unsigned int bucket = Hash(name);
    const int* slots = mBuckets[bucket];
    char last = LowerAscii(name[length - 1]);
    for (int i = mBucketCount[bucket] - 1; i >= 0; --i)
    {
        int slot = slots[i];
        unsigned int n = mLengths[slot];
        const char* stored = mPool + mOffsets[slot];
        if (n == length && LowerAscii(stored[n - 1]) == last && strcasecmp(stored, name) == 0)
            return slot;
    }
    return -1;
}

const char* KUniqueNameObjectList::AddObject(const char* name, const void* object)
{
    if (!name || !*name || !object)
        return nullptr;
    std::string text(name);
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        text = "Default";
    else
        text = text.substr(first, text.find_last_not_of(' ') - first + 1);

    if (Find(text.c_str(), static_cast<unsigned int>(text.size())) < 0)
        return Store(text, object);

    // The trailing number, if any; in file names such as "clip.mp3" the first
    // digit belongs to the base.
    size_t digits = text.size();
    while (digits > 0 && IsDigit(text[digits - 1]))
        --digits;
    if (digits < text.size())
    {
        std::string before = text.substr(0, digits);
        if (before.size() >= 3 && (EndsWith(before, ".sd") || EndsWith(before, ".mp") || EndsWith(before, ".mpg")))
            ++digits;
    }
    std::string base;
    std::string counter;
    if (digits < text.size())
    {
        base = text.substr(0, digits);
        counter = Increment(StripZeros(text.substr(digits)));
    }
    else
    {
        base = text + " ";
        counter = "1";
    }

    std::string key = Lower(base);
    auto known = mTaken.find(key);
    bool extends =
        known != mTaken.end() && !Less(counter, known->second.mFrom) && !Less(Increment(known->second.mTo), counter);
    if (extends)
        counter = Increment(known->second.mTo);
    std::string start = counter;
    std::string candidate = base + counter;
    while (Find(candidate.c_str(), static_cast<unsigned int>(candidate.size())) >= 0)
    {
        counter = Increment(counter);
        candidate = base + counter;
    }
    const char* stored = Store(candidate, object);
    if (!stored)
        return nullptr;
    if (extends)
        known->second.mTo = counter;
    else
        mTaken[key] = TakenRun{start, counter};
    return stored;
}

const char* KUniqueNameObjectList::Store(const std::string& name, const void* object)
{
    unsigned int length = static_cast<unsigned int>(name.size());
    if (length >= 0x7FFFFFF0u)
        return nullptr;

    int slot = mFirstFree;
    while (slot < mSlotCount && mObjects[slot])
        ++slot;
    if (slot == mSlotCount)
    {
        int capacity = mSlotCapacity;
        int c1 = capacity, c2 = capacity;
        if (!GrowArray(mObjects, capacity, slot + 1, mGrowStep) || !GrowArray(mOffsets, c1, slot + 1, mGrowStep) ||
            !GrowArray(mLengths, c2, slot + 1, mGrowStep))
            return nullptr;
        mSlotCapacity = capacity;
    }

    unsigned int bucket = Hash(name.c_str());
    int capacity = mBucketCapacity[bucket];
    if (!GrowArray(mBuckets[bucket], capacity, mBucketCount[bucket] + 1, mGrowStep))
        return nullptr;
    mBucketCapacity[bucket] = capacity;

    if (!ReservePool(length))
        return nullptr;

    unsigned int offset = mPoolLength;
    memcpy(mPool + offset, name.c_str(), length + 1);
    mPoolLength += length + 1;
    mLiveBytes += length + 1;

    mObjects[slot] = object;
    mOffsets[slot] = offset;
    mLengths[slot] = length;
    if (slot == mSlotCount)
        ++mSlotCount;
    mFirstFree = slot + 1;
    mBuckets[bucket][mBucketCount[bucket]++] = slot;
    return mPool + offset;
}

// Makes the remaining room more than length + 1 bytes: reclaims the holes
// left by removed names when they are at least half of the pool, else grows
// by ((length + 1) / step + 1) * step * 16 bytes, and at least doubles.
bool KUniqueNameObjectList::ReservePool(unsigned int length)
{
    if (mPoolCapacity - mPoolLength > length + 1)
        return true;
    if (mLiveBytes * 2 <= mPoolLength && mPoolCapacity - mLiveBytes > length + 1)
    {
        CompactPool();
        return true;
    }
    unsigned long long amount = (static_cast<unsigned long long>(length + 1) / mGrowStep + 1) * mGrowStep * 16ull;
    unsigned long long target = mPoolCapacity + amount;
    if (target < mPoolCapacity * 2ull)
        target = mPoolCapacity * 2ull;
    if (target > 0x7FFFFFFFull)
        return false;
    char* grown = static_cast<char*>(realloc(mPool, static_cast<size_t>(target)));
    if (!grown)
        return false;
    memset(grown + mPoolCapacity, 0, static_cast<size_t>(target - mPoolCapacity));
    mPool = grown;
    mPoolCapacity = static_cast<unsigned int>(target);
    return true;
}

void KUniqueNameObjectList::CompactPool()
{
    char* packed = static_cast<char*>(calloc(mPoolCapacity, 1));
    if (!packed)
        return;
    unsigned int used = 0;
    for (int slot = 0; slot < mSlotCount; ++slot)
    {
        if (!mObjects[slot])
            continue;
        memcpy(packed + used, mPool + mOffsets[slot], mLengths[slot] + 1);
        mOffsets[slot] = used;
        used += mLengths[slot] + 1;
    }
    free(mPool);
    mPool = packed;
    mPoolLength = used;
}

void KUniqueNameObjectList::BucketRemove(unsigned int bucket, int slot)
{
    int* slots = mBuckets[bucket];
    int count = mBucketCount[bucket];
    for (int i = 0; i < count; ++i)
    {
        if (slots[i] == slot)
        {
            memmove(slots + i, slots + i + 1, static_cast<size_t>(count - i - 1) * sizeof(int));
            --mBucketCount[bucket];
            return;
        }
    }
}

void KUniqueNameObjectList::RemoveObject(const char* name, const void*)
{
    if (!name)
        return;
    unsigned int length = static_cast<unsigned int>(strlen(name));
    int slot = Find(name, length);
    if (slot < 0)
        return;
    unsigned int offset = mOffsets[slot];
    unsigned int n = mLengths[slot];
    BucketRemove(Hash(mPool + offset), slot);
    memset(mPool + offset, 0, n + 1);
    mLiveBytes -= n + 1;
    mObjects[slot] = nullptr;
    mOffsets[slot] = 0;
    mLengths[slot] = 0;
    if (offset + n + 1 == mPoolLength)
    {
        unsigned int end = 0;
        for (int i = 0; i < mSlotCount; ++i)
            if (mObjects[i] && mOffsets[i] + mLengths[i] + 1 > end)
                end = mOffsets[i] + mLengths[i] + 1;
        mPoolLength = end;
    }
    if (slot < mFirstFree)
        mFirstFree = slot;
    while (mSlotCount > 0 && !mObjects[mSlotCount - 1])
        --mSlotCount;
    if (mFirstFree > mSlotCount)
        mFirstFree = mSlotCount;
    mTaken.clear();
}

const void* KUniqueNameObjectList::GetObjectByName(const char* name) const
{
    if (!name)
        return nullptr;
    int slot = Find(name, static_cast<unsigned int>(strlen(name)));
    return slot >= 0 ? mObjects[slot] : nullptr;
}

const char* KUniqueNameObjectList::GetNameByObject(const void* object) const
{
    if (!object)
        return nullptr;
    for (int slot = mSlotCount - 1; slot >= 0; --slot)
        if (mObjects[slot] == object)
            return mPool + mOffsets[slot];
    return nullptr;
}
