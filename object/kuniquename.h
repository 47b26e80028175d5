#ifndef QOX_OBJECT_KUNIQUENAME_H
#define QOX_OBJECT_KUNIQUENAME_H

// A table of unique names, each naming one object. Names are compared (and
// hashed) without regard to case. Adding a name that is taken stores a
// numbered variant instead: "Cube" gives "Cube 1", "Cube 2", ...; "Cube7" and
// "Cube007" give "Cube8". The names live one after the other in one pool;
// slots hold the object, offset and length of each name; hash buckets hold
// slot indexes.

#include <string>
#include <unordered_map>

class KUniqueNameObjectList
{
public:
    // 2^bits hash buckets; arrays grow in multiples of growStep.
    KUniqueNameObjectList(unsigned int bits, unsigned int growStep);
    ~KUniqueNameObjectList();

    KUniqueNameObjectList(const KUniqueNameObjectList&) = delete;
    KUniqueNameObjectList& operator=(const KUniqueNameObjectList&) = delete;

    // Stores the name (made unique) for the object and returns the stored
    // text, valid until the next addition; null for an empty name or a null
    // object.
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
    int GetSlotCount() const { return mSlotCount; }
    const void* GetSlotObject(int slot) const;

private:
    int Find(const char* name, unsigned int length) const;
    unsigned int Hash(const char* name) const;
    const char* Store(const std::string& name, const void* object);
    bool ReservePool(unsigned int needed);
    void CompactPool();
    void BucketRemove(unsigned int bucket, int slot);

    unsigned int mMask;
    int mSlotCount = 0;
    const void** mObjects = nullptr;
    int mSlotCapacity = 0;
    unsigned int* mOffsets = nullptr;
    unsigned int* mLengths = nullptr;
    char* mPool = nullptr;
    unsigned int mPoolCapacity = 0;
    unsigned int mPoolLength = 0;
    int** mBuckets = nullptr;
    int* mBucketCapacity = nullptr;
    int* mBucketCount = nullptr;
    unsigned int mGrowStep;

    // Bookkeeping beside the table: the lowest slot that may be free, the
    // bytes of live names, and for each numbered base (lower case) a run of
    // counters known to be taken, so that adding one name many times does not
    // test every counter again. Additions only take names, so the runs stay
    // true until a removal, which forgets them.
    int mFirstFree = 0;
    unsigned int mLiveBytes = 0;
    struct TakenRun
    {
        std::string mFrom;
        std::string mTo;
    };
    std::unordered_map<std::string, TakenRun> mTaken;
};

#endif
