#ifndef QOX_OBJECT_KUNIQUENAME_H
#define QOX_OBJECT_KUNIQUENAME_H

// A table of unique names, each naming one object. Names are compared (and
// hashed) without regard to case. Adding a name that is taken stores a
// numbered variant instead: "Cube" gives "Cube 1", "Cube 2", ...; "Cube7" and
// "Cube007" give "Cube8". The names live one after the other in one pool;
// slots hold the object, offset and length of each name; an open-addressed
// hash table, grown with the number of names, holds slot indexes.

#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class KUniqueNameObjectList
{
public:
    // 2^bits hash positions to start with (the table grows with the names);
    // the name pool grows in multiples of growStep * 16 bytes.
    KUniqueNameObjectList(unsigned int bits, unsigned int growStep);
    ~KUniqueNameObjectList();

    KUniqueNameObjectList(const KUniqueNameObjectList&) = delete;
    KUniqueNameObjectList& operator=(const KUniqueNameObjectList&) = delete;

    // Stores the name (made unique) for the object in the lowest free slot
    // and returns the stored text, valid until the next addition; null for an
    // empty name, a null object or a name too long for the pool.
    const char* AddObject(const char* name, const void* object);
    // Removes the entry of that name (whatever object it names).
    void RemoveObject(const char* name, const void* object);
    const void* GetObjectByName(const char* name) const;
    // The name of the object (the last slot that holds it), or null.
    const char* GetNameByObject(const void* object) const;
    // Empties the table.
    void ClearObject();

    // Slots: one past the highest used slot, and the object of a slot (null
    // for a free slot or an index outside the table).
    int GetSlotCount() const { return static_cast<int>(mSlots.size()); }
    const void* GetSlotObject(int slot) const;

private:
    struct Slot
    {
        const void* mObject;
        unsigned int mOffset;
        unsigned int mLength;
        unsigned int mHash;
    };

    int Find(const char* name, unsigned int length) const;
    // Position in mTable of the slot's entry.
    size_t TablePosition(int slot) const;
    void TableInsert(int slot);
    void TableErase(size_t position);
    void TableGrow();
    const char* Store(const std::string& name, const void* object);
    void ReservePool(unsigned int length);
    void CompactPool();

    std::vector<Slot> mSlots;
    // Free slots below the end, so that a new name takes the lowest.
    std::set<int> mFreeSlots;
    // Slot indexes by hash, -1 for an empty position; at most half full.
    std::vector<int> mTable;
    int mLive = 0;
    // The pool: names with their terminators, and zeros where names were
    // removed, up to mPoolLength.
    std::vector<char> mPool;
    unsigned int mPoolLength = 0;
    unsigned int mLiveBytes = 0;
    unsigned int mGrowStep;

    // For each numbered base (lower case) a run of counters known to be
    // taken, so that adding one name many times does not test every counter
    // again. Additions only take names, so the runs stay true until a
    // removal, which forgets them.
    struct TakenRun
    {
        std::string mFrom;
        std::string mTo;
    };
    std::unordered_map<std::string, TakenRun> mTaken;
};

#endif
