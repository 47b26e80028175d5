#ifndef QOX_PLUGIN_IMPORT_QOXZELTNAMECLASHTABLE_H
#define QOX_PLUGIN_IMPORT_QOXZELTNAMECLASHTABLE_H

// Name-clash tables: which names several nodes share, on the SDK side (names
// without namespace prefix, over a subtree) and on the host side (names as
// the host gives them, over the DAG). The merge matcher pairs by name and
// needs to know which names cannot be trusted alone.
//
// Every container here is an array of pointers kept in ascending byte-wise
// order of its key (a null text compares as empty). Lookup is a halving
// search that gives one of the items of an equal key; insertion goes after
// every item of an equal key, so equal keys keep their insertion order.

#include "base/karray.h"
#include "base/kstring.h"
#include "host/zdag.h"

namespace qoxsdk_600 {
class KQoxNode;
}

// Deletes each non-null path, last to first, then empties the array.
template <class T>
void DeleteAndClear(KArrayTemplate<T>& array)
{
    for (int i = array.GetCount() - 1; i >= 0; --i)
        delete array[i];
    array.Clear();
}

// Host DAG paths by name; owns its name and path copies.
class QoxZeltDagPathSortedArray
{
public:
    QoxZeltDagPathSortedArray() = default;
    ~QoxZeltDagPathSortedArray();
    QoxZeltDagPathSortedArray(const QoxZeltDagPathSortedArray&) = delete;
    QoxZeltDagPathSortedArray& operator=(const QoxZeltDagPathSortedArray&) = delete;

    // Stores copies of the name and path.
    void Add(const char* name, const ZDagPath& path);
    // The path of an entry of that name (owned by the array), or null.
    ZDagPath* Find(const char* name);
    int GetCount() const { return mEntries.GetCount(); }

private:
    struct Entry
    {
        KString mName;
        ZDagPath mPath;
    };
    KArrayTemplate<Entry*> mEntries;
};

// SDK nodes by name without namespace prefix, asked of the node at every
// comparison; owns nothing.
class QoxZeltKQoxNodeSortedArray
{
public:
    QoxZeltKQoxNodeSortedArray() = default;
    void Add(qoxsdk_600::KQoxNode* node);
    // A node whose stripped name equals the text, or null.
    qoxsdk_600::KQoxNode* Find(const char* name);
    int GetCount() const { return mNodes.GetCount(); }
    qoxsdk_600::KQoxNode* GetAt(int i) const { return mNodes[i]; }

private:
    KArrayTemplate<qoxsdk_600::KQoxNode*> mNodes;
};

// The clash records of a table in ascending name order; owned, freed last to
// first.
template <class Clash>
class QoxClashRecords
{
public:
    QoxClashRecords() = default;
    ~QoxClashRecords() { DeleteAndClear(mClashes); }
    QoxClashRecords(const QoxClashRecords&) = delete;
    QoxClashRecords& operator=(const QoxClashRecords&) = delete;

    // Takes ownership of the record.
    void Add(Clash* clash);
    // The record of that name (still the table's), or null.
    Clash* Find(const char* name);
    int GetCount() const { return mClashes.GetCount(); }
    Clash* GetAt(int i) const { return mClashes[i]; }

private:
    KArrayTemplate<Clash*> mClashes;
};

// A name that two or more host DAG paths bear.
struct QoxZeltNameClash
{
    QoxZeltNameClash() = default;
    ~QoxZeltNameClash() { DeleteAndClear(mPaths); }
    QoxZeltNameClash(const QoxZeltNameClash&) = delete;
    QoxZeltNameClash& operator=(const QoxZeltNameClash&) = delete;

    KString mName;
    // Heap copies owned by the record: the second bearer met, the first,
    // then every later one in traversal order.
    KArrayTemplate<ZDagPath*> mPaths;
};

// The names that two or more host DAG paths of one node type bear.
class QoxZeltNameClashTable : public QoxClashRecords<QoxZeltNameClash>
{
public:
    typedef QoxZeltNameClash Clash;

    // Walks the host DAG depth first with the type as filter (0: every node).
    explicit QoxZeltNameClashTable(ZFn::Type type);
};

// A name (without namespace prefix) that two or more SDK nodes bear.
struct QoxNameClash
{
    KString mName;
    // The bearers in pre-order (parents before children); not owned.
    KArrayTemplate<qoxsdk_600::KQoxNode*> mNodes;
};

// The names (without namespace prefix) that two or more SDK nodes of a
// subtree bear, the subtree's root included. Holds plain node pointers: do
// not consult it once the scene is gone.
class QoxNameClashTable : public QoxClashRecords<QoxNameClash>
{
public:
    typedef QoxNameClash Clash;

    explicit QoxNameClashTable(qoxsdk_600::KQoxNode* root);

    // Records the node and its descendants, with the scratch array of the
    // nodes seen so far.
    void BuildTable(qoxsdk_600::KQoxNode* node, QoxZeltKQoxNodeSortedArray& seen);
};

#endif
