#include "object/kuniquename.h"

#include <algorithm>
#include <cstring>
#include <iterator>
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

// FNV-1a over the name in lower case, so that names equal without regard to
// case hash alike.
unsigned int HashName(const char* name)
{
    unsigned int hash = 2166136261u;
    for (const char* p = name; *p; ++p)
    {
        hash ^= static_cast<unsigned char>(LowerAscii(*p));
        hash *= 16777619u;
    }
    return hash;
}

// Longest name and largest pool the 32-bit offsets can address.
const unsigned int kMaxNameLength = 0x7FFFFFF0u;
const unsigned long long kMaxPool = 0x7FFFFFFFull;

} // namespace

KUniqueNameObjectList::KUniqueNameObjectList(unsigned int bits, unsigned int growStep)
    : mGrowStep(growStep ? growStep : 1)
{
    if (bits > 24)
        bits = 24;
    mTable.assign(size_t(1) << (bits < 1 ? 1 : bits), -1);
}

KUniqueNameObjectList::~KUniqueNameObjectList() = default;

void KUniqueNameObjectList::ClearObject()
{
    mSlots.clear();
    mFreeSlots.clear();
    std::fill(mTable.begin(), mTable.end(), -1);
    mLive = 0;
    mPool.clear();
    mPoolLength = 0;
    mLiveBytes = 0;
    mTaken.clear();
}

const void* KUniqueNameObjectList::GetSlotObject(int slot) const
{
    return (slot >= 0 && slot < GetSlotCount()) ? mSlots[slot].mObject : nullptr;
}

int KUniqueNameObjectList::Find(const char* name, unsigned int length) const
{
    if (length == 0)
        return -1;
    unsigned int hash = HashName(name);
    size_t mask = mTable.size() - 1;
    for (size_t i = hash & mask; mTable[i] >= 0; i = (i + 1) & mask)
    {
        const Slot& slot = mSlots[mTable[i]];
        if (slot.mHash == hash && slot.mLength == length && strcasecmp(&mPool[slot.mOffset], name) == 0)
            return mTable[i];
    }
    return -1;
}

size_t KUniqueNameObjectList::TablePosition(int slot) const
{
    size_t mask = mTable.size() - 1;
    size_t i = mSlots[slot].mHash & mask;
    while (mTable[i] != slot)
        i = (i + 1) & mask;
    return i;
}

void KUniqueNameObjectList::TableInsert(int slot)
{
    size_t mask = mTable.size() - 1;
    size_t i = mSlots[slot].mHash & mask;
    while (mTable[i] >= 0)
        i = (i + 1) & mask;
    mTable[i] = slot;
}

// Linear-probing removal: later entries of the run move back into the gap, so
// no lookup stops early at it.
void KUniqueNameObjectList::TableErase(size_t position)
{
    size_t mask = mTable.size() - 1;
    size_t gap = position;
    for (size_t i = (gap + 1) & mask; mTable[i] >= 0; i = (i + 1) & mask)
    {
        size_t home = mSlots[mTable[i]].mHash & mask;
        // The entry may fill the gap when its home is not between the gap and it.
        if (((i - home) & mask) >= ((i - gap) & mask))
        {
            mTable[gap] = mTable[i];
            gap = i;
        }
    }
    mTable[gap] = -1;
}

void KUniqueNameObjectList::TableGrow()
{
    mTable.assign(mTable.size() * 2, -1);
    for (int slot = 0; slot < GetSlotCount(); ++slot)
        if (mSlots[slot].mObject)
            TableInsert(slot);
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
    if (name.size() >= kMaxNameLength || mPoolLength + 1ull + length > kMaxPool)
        return nullptr;

    int slot;
    if (!mFreeSlots.empty())
    {
        slot = *mFreeSlots.begin();
        mFreeSlots.erase(mFreeSlots.begin());
    }
    else
    {
        slot = GetSlotCount();
        mSlots.push_back(Slot{nullptr, 0, 0, 0});
    }

    ReservePool(length);
    unsigned int offset = mPoolLength;
    memcpy(&mPool[offset], name.c_str(), length + 1);
    mPoolLength += length + 1;
    mLiveBytes += length + 1;

    mSlots[slot] = Slot{object, offset, length, HashName(name.c_str())};
    if (static_cast<size_t>(++mLive) * 2 > mTable.size())
        TableGrow();
    else
        TableInsert(slot);
    return &mPool[offset];
}

// Makes room for length + 1 more bytes: reclaims the holes left by removed
// names when they are at least half of the pool, else grows by
// ((length + 1) / step + 1) * step * 16 bytes, and at least doubles.
void KUniqueNameObjectList::ReservePool(unsigned int length)
{
    size_t capacity = mPool.size();
    if (capacity - mPoolLength > length + 1)
        return;
    if (mLiveBytes * 2ull <= mPoolLength && capacity - mLiveBytes > length + 1)
    {
        CompactPool();
        return;
    }
    unsigned long long amount = (static_cast<unsigned long long>(length + 1) / mGrowStep + 1) * mGrowStep * 16ull;
    unsigned long long target = capacity + amount;
    if (target < capacity * 2ull)
        target = capacity * 2ull;
    if (target > kMaxPool + 1)
        target = kMaxPool + 1;
    mPool.resize(static_cast<size_t>(target), '\0');
}

void KUniqueNameObjectList::CompactPool()
{
    std::vector<char> packed(mPool.size(), '\0');
    unsigned int used = 0;
    for (Slot& slot : mSlots)
    {
        if (!slot.mObject)
            continue;
        memcpy(&packed[used], &mPool[slot.mOffset], slot.mLength + 1);
        slot.mOffset = used;
        used += slot.mLength + 1;
    }
    mPool.swap(packed);
    mPoolLength = used;
}

void KUniqueNameObjectList::RemoveObject(const char* name, const void*)
{
    if (!name)
        return;
    int index = Find(name, static_cast<unsigned int>(strlen(name)));
    if (index < 0)
        return;
    TableErase(TablePosition(index));
    --mLive;
    Slot& slot = mSlots[index];
    unsigned int offset = slot.mOffset;
    unsigned int n = slot.mLength;
    memset(&mPool[offset], 0, n + 1);
    mLiveBytes -= n + 1;
    slot = Slot{nullptr, 0, 0, 0};
    if (offset + n + 1 == mPoolLength)
    {
        // Every byte of the pool outside a live name is zero and names hold no
        // zero byte, so the new end follows the last non-zero byte before the
        // removed name.
        unsigned int end = offset;
        while (end > 0 && mPool[end - 1] == '\0')
            --end;
        mPoolLength = end > 0 ? end + 1 : 0;
    }
    if (index + 1 == GetSlotCount())
    {
        mSlots.pop_back();
        while (!mSlots.empty() && !mSlots.back().mObject)
        {
            mFreeSlots.erase(std::prev(mFreeSlots.end()));
            mSlots.pop_back();
        }
    }
    else
        mFreeSlots.insert(index);
    mTaken.clear();
}

const void* KUniqueNameObjectList::GetObjectByName(const char* name) const
{
    if (!name)
        return nullptr;
    int slot = Find(name, static_cast<unsigned int>(strlen(name)));
    return slot >= 0 ? mSlots[slot].mObject : nullptr;
}

const char* KUniqueNameObjectList::GetNameByObject(const void* object) const
{
    if (!object)
        return nullptr;
    for (int slot = GetSlotCount() - 1; slot >= 0; --slot)
        if (mSlots[slot].mObject == object)
            return &mPool[mSlots[slot].mOffset];
    return nullptr;
}
