#include "plugin/import/qoxzeltnameclashtable.h"

#include <cstring>

#include "host/zfn.h"
#include "scene/kqoxnode.h"

using namespace qoxsdk_600;

namespace {

// Byte-wise order of two texts, a null text counting as empty.
int CompareNames(const char* a, const char* b)
{
    return std::strcmp(a ? a : "", b ? b : "");
}

// The halving search shared by every container: keyCompare(i) is the order
// of item i's key against the text looked for. The index of a match, or -1.
template <class KeyCompare>
int SortedFind(int count, KeyCompare keyCompare)
{
    if (count == 0)
        return -1;
    int lo = 0;
    int hi = count - 1;
    int mid = hi / 2;
    for (;;)
    {
        const int order = keyCompare(mid);
        if (order == 0)
            return mid;
        if (order < 0)
            lo = mid + 1;
        else
            hi = mid - 1;
        const int next = (lo + hi) / 2;
        if (next == mid || lo < 0 || hi >= count)
            return -1;
        mid = next;
    }
}

// Where a new item goes: after every item whose key is equal or lower.
// newCompare(i) is the order of the new key against item i's key.
template <class NewCompare>
int SortedInsertIndex(int count, NewCompare newCompare)
{
    if (count == 0)
        return 0;
    int lo = 0;
    int hi = count - 1;
    int mid = count / 2;
    for (;;)
    {
        if (newCompare(mid) < 0)
        {
            hi = mid - 1;
            if (mid == 0)
                return 0;
        }
        else
        {
            if (mid == count - 1)
                return count;
            lo = mid + 1;
        }
        const int next = (lo + hi + 1) / 2;
        if (next == mid)
            return mid;
        mid = next;
    }
}

// Inserts a record by its mName.
template <class Record>
void InsertRecord(KArrayTemplate<Record*>& records, Record* record)
{
    const int at = SortedInsertIndex(
        records.GetCount(), [&](int i) { return CompareNames(record->mName.ToChars(), records[i]->mName.ToChars()); });
    records.InsertAt(at, record);
}

template <class Record>
Record* FindRecord(KArrayTemplate<Record*>& records, const char* name)
{
    const int i =
        SortedFind(records.GetCount(), [&](int k) { return CompareNames(records[k]->mName.ToChars(), name); });
    return i < 0 ? nullptr : records[i];
}

} // namespace

// ---- QoxZeltDagPathSortedArray ----

QoxZeltDagPathSortedArray::~QoxZeltDagPathSortedArray()
{
    DeleteAndClear(mEntries);
}

void QoxZeltDagPathSortedArray::Add(const char* name, const ZDagPath& path)
{
    InsertRecord(mEntries, new Entry{KString(name ? name : ""), path});
}

ZDagPath* QoxZeltDagPathSortedArray::Find(const char* name)
{
    Entry* entry = FindRecord(mEntries, name);
    return entry ? &entry->mPath : nullptr;
}

// ---- QoxZeltKQoxNodeSortedArray ----

void QoxZeltKQoxNodeSortedArray::Add(KQoxNode* node)
{
    const int at = SortedInsertIndex(mNodes.GetCount(), [&](int i) {
        return CompareNames(node->GetNameWithoutNameSpacePrefix().ToChars(),
                            mNodes[i]->GetNameWithoutNameSpacePrefix().ToChars());
    });
    mNodes.InsertAt(at, node);
}

KQoxNode* QoxZeltKQoxNodeSortedArray::Find(const char* name)
{
    const int i = SortedFind(mNodes.GetCount(), [&](int k) {
        return CompareNames(mNodes[k]->GetNameWithoutNameSpacePrefix().ToChars(), name);
    });
    return i < 0 ? nullptr : mNodes[i];
}

// ---- Clash records ----

template <class Clash>
void QoxClashRecords<Clash>::Add(Clash* clash)
{
    InsertRecord(mClashes, clash);
}

template <class Clash>
Clash* QoxClashRecords<Clash>::Find(const char* name)
{
    return FindRecord(mClashes, name);
}

template class QoxClashRecords<QoxZeltNameClash>;
template class QoxClashRecords<QoxNameClash>;

// ---- QoxZeltNameClashTable ----

QoxZeltNameClashTable::QoxZeltNameClashTable(ZFn::Type type)
{
    QoxZeltDagPathSortedArray seen;
    for (ZItDag it(ZItDag::kDepthFirst, type); !it.isDone(); it.next())
    {
        ZDagPath path;
        it.getPath(path);
        ZFnDagNode dagNode(path);
        const KString name(dagNode.name().asChar());
        if (Clash* clash = Find(name.ToChars()))
            clash->mPaths.Add(new ZDagPath(path));
        else if (ZDagPath* earlier = seen.Find(name.ToChars()))
        {
            Clash* record = new Clash;
            record->mName = name;
            record->mPaths.Add(new ZDagPath(path));
            record->mPaths.Add(new ZDagPath(*earlier));
            Add(record);
        }
        seen.Add(name.ToChars(), path);
    }
}

// ---- QoxNameClashTable ----

QoxNameClashTable::QoxNameClashTable(KQoxNode* root)
{
    QoxZeltKQoxNodeSortedArray seen;
    if (root)
        BuildTable(root, seen);
}

void QoxNameClashTable::BuildTable(KQoxNode* node, QoxZeltKQoxNodeSortedArray& seen)
{
    const KString name = node->GetNameWithoutNameSpacePrefix();
    if (Clash* clash = Find(name.ToChars()))
        clash->mNodes.Add(node);
    else if (KQoxNode* earlier = seen.Find(name.ToChars()))
    {
        Clash* record = new Clash;
        record->mName = name;
        record->mNodes.Add(earlier);
        record->mNodes.Add(node);
        Add(record);
    }
    seen.Add(node);
    for (int i = 0; i < node->GetChildCount(false); ++i)
        BuildTable(node->GetChild(i), seen);
}
