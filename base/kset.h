#ifndef QOX_BASE_KSET_H
#define QOX_BASE_KSET_H

// Sorted key sets: KCharPtrSet maps texts to values, KSet maps numbers to
// values. Entries are appended unsorted and put in order lazily, the first
// time a lookup or an indexed read needs it. Duplicate keys are accepted.
// A value of 0 is also the answer for an absent key, so users store nonzero
// values (object pointers, indices plus one).
//
// Values (and KSet keys, which often hold pointers too) are pointer-sized.

#include <cstddef>
#include <cstdint>

// Pointer-sized user value stored beside a key or a list item.
typedef uintptr_t kReference;

// One entry of a KCharPtrSet: the set's own copy of the key and its value.
struct SCharPtrSet
{
    char* mKey;
    kReference mValue;
};

// Orders entries by key text without regard to case (strcasecmp).
int CompareSCharPtrSet(const void* a, const void* b);
// Orders entries by key text, case-sensitively (strcmp).
int CompareSCharPtrSetSensitive(const void* a, const void* b);

class KCharPtrSet
{
public:
    explicit KCharPtrSet(int blockSize);
    ~KCharPtrSet();

    KCharPtrSet(const KCharPtrSet&) = delete;
    KCharPtrSet& operator=(const KCharPtrSet&) = delete;

    // Frees every key copy and the entries.
    void Clear();
    // Appends {copy of key, value}; no duplicate test. A null key counts as "".
    void Add(const char* key, kReference value);
    // The value stored under key (position in sorted order in *index), or 0
    // and -1 when absent.
    kReference Get(const char* key, int* index = nullptr);
    // Removes the entry found by Get when its value is nonzero; true when removed.
    bool Remove(const char* key);
    // The value at a position in sorted order, its key in *key; 0 out of range.
    kReference GetFromIndex(int index, char** key = nullptr);
    // The value at a position in sorted order; the index must be in range (asserted).
    kReference& operator[](int index);
    // Removes the entry at a position in sorted order; the index must be in range (asserted).
    void RemoveFromIndex(int index);
    // Puts the entries in key order when an addition left them unsorted.
    void Sort();
    // Binary search in the current order; null when absent.
    SCharPtrSet* FindEqual(const char* key) const;

    int GetCount() const { return mSetCount; }
    // Changes with every change of the entries, and no two sets ever have
    // the same: an answer of Get remembered with it (and with mCaseSensitive)
    // holds as long as both are the same.
    unsigned long long GetVersion() const { return mVersion; }

    // Exact-case keys; set right after construction, before adding.
    bool mCaseSensitive;

private:
    void Changed();

    int Compare(const char* a, const char* b) const;
    // Position of an entry with that key in the sorted entries, or -1.
    int Search(const char* key) const;
    void Grow();

    SCharPtrSet* mSetArray;
    int mSetCount;
    int mBlockCount;
    int mBlockSize;
    // Entries [0, mSortedCount) are in key order; the set is unsorted while
    // mSortedCount < mSetCount. Entries appended since the last sort are
    // sorted on their own and merged in, rather than sorting everything
    // again. The comparison the order was made with is recorded, so a change
    // of mCaseSensitive sorts afresh.
    int mSortedCount;
    bool mSortedCaseSensitive;
    unsigned long long mVersion = 0;
};

// One entry of a KSet.
struct SSet
{
    kReference mKey;
    kReference mValue;
};

// Orders entries by key as an unsigned number: -1, 0 or 1.
int CompareSSet(const void* a, const void* b);

class KSet
{
public:
    explicit KSet(int blockSize);
    KSet(const KSet& other);
    KSet& operator=(const KSet& other);
    ~KSet();

    // Appends {key, value}; no duplicate test.
    void Add(kReference key, kReference value);
    // The value stored under key (position in sorted order in *index), or 0
    // and -1 when absent.
    kReference Get(kReference key, int* index = nullptr) const;
    // 0 when the entry found by Get had a nonzero value and was removed, else 1.
    int Remove(kReference key);
    // Removes every entry holding value; 0 when at least one was removed, else 1.
    int RemoveItem(kReference value);
    // Replaces the value of the entry with that key: 0, or 1 when absent.
    int SetItem(kReference key, kReference value);
    void Clear();
    // The value at a position in sorted order, its key in *key; 0 out of range.
    kReference GetFromIndex(int index, kReference* key = nullptr) const;
    // The same for callers that hold 32-bit keys.
    kReference GetFromIndex(int index, unsigned int* key) const;
    kReference GetFromIndex(int index, std::nullptr_t) const
    {
        return GetFromIndex(index, static_cast<kReference*>(nullptr));
    }
    // Removes the entry at a position in the current order: 0, or 1 when the
    // position is at or past the count.
    int RemoveFromIndex(int index);
    // Exchanges key and value of every entry, then sorts; returns 0.
    int Swap() const;
    void Sort() const;
    // Binary search in the current order; null when absent.
    SSet* FindEqual(kReference key) const;

    int GetCount() const { return mSetCount; }

private:
    int Search(kReference key) const;
    void Grow();
    void CopyFrom(const KSet& other);

    // Sorting and swapping reorder entries of a set that lookups treat as const.
    mutable SSet* mSetArray;
    int mSetCount;
    int mBlockCount;
    int mBlockSize;
    // Entries [0, mSortedCount) are in key order (see KCharPtrSet).
    mutable int mSortedCount;
};

#endif
