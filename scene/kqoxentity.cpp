#include "scene/kqoxentity.h"

#include "scene/attributes/kqoxgeometry.h"
#include "scene/attributes/kqoxshape.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "scene/kqoxnode.h"
#include "scene/kqoxnode_walk.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

const char* const kEntityErrors[KQoxEntity::eERROR_COUNT] = {"Node is null.",
                                                             "Node is already owned by the entity.",
                                                             "Node does not belong to the entity.",
                                                             "Parameter is out of range.",
                                                             "Material still in use.",
                                                             "Material not found.",
                                                             "Texture still in use.",
                                                             "Texture not found.",
                                                             "Video still in use.",
                                                             "Video not found.",
                                                             "Video name clash.",
                                                             nullptr,
                                                             nullptr,
                                                             nullptr,
                                                             nullptr,
                                                             nullptr,
                                                             nullptr};

const char* NameOf(KQoxNode* node)
{
    return node->GetName();
}

const char* NameOf(KQoxEntity::KQoxObjectReference* record)
{
    return record->mObject->GetName();
}

// Puts a list in ascending strcmp order of full names. The items appended
// since the list was last in order are sorted apart and merged in, so a list
// that grows between lookups is never sorted whole again.
template <class T>
void SortByName(KArrayTemplate<T>& list, int sortedCount)
{
    const int count = list.GetCount();
    if (count < 2)
        return;
    T* items = &list[0];
    auto less = [](T a, T b) { return std::strcmp(NameOf(a), NameOf(b)) < 0; };
    if (sortedCount < 0 || sortedCount > count)
        sortedCount = 0;
    std::sort(items + sortedCount, items + count, less);
    std::inplace_merge(items, items + sortedCount, items + count, less);
}

// Binary search of a sorted list; the position of an equal name or -1.
template <class T>
int BinaryFind(KArrayTemplate<T>& list, const char* name)
{
    int low = 0;
    int high = list.GetCount() - 1;
    while (low <= high)
    {
        const int mid = low + (high - low) / 2;
        const int order = std::strcmp(name, NameOf(list[mid]));
        if (order == 0)
            return mid;
        if (order < 0)
            high = mid - 1;
        else
            low = mid + 1;
    }
    return -1;
}

} // namespace

KQoxEntity::KQoxEntity(KQoxSdkManager& manager)
    : mManager(manager)
    , mListedBy(&manager)
    , mRootNode(nullptr)
    , mError(kEntityErrors, eERROR_COUNT)
{
    // Listed first, so that the manager can reach it as soon as it holds
    // records; taken off again if the root cannot be made.
    manager.mEntities.insert(this);
    try
    {
        KQoxNode* root = manager.CreateKQoxNode("RootNode");
        if (root)
            root->SetEntity(this, true);
        mRootNode = root;
    }
    catch (...)
    {
        manager.mEntities.erase(this);
        throw;
    }
}

KQoxEntity::~KQoxEntity()
{
    if (mListedBy)
        mListedBy->mEntities.erase(this);
    Clear();
    for (int kind = 0; kind < eKIND_COUNT; ++kind)
        FreeReferences(static_cast<EKind>(kind));
}

// ---------------------------------------------------------------------------
// Nodes

bool KQoxEntity::AddNode(KQoxNode* node)
{
    if (!node)
    {
        mError.SetLastErrorID(eNODE_IS_NULL);
        return false;
    }
    if (FindSlot(node) >= 0)
    {
        mError.SetLastErrorID(eNODE_ALREADY_OWNED);
        return false;
    }
    // Listed once both the node and the list hold it: memory running out
    // (std::bad_alloc) leaves both as they were.
    SetSlot(node, mNodes.GetCount());
    if (mNodes.Add(node) < 0)
    {
        ForgetSlot(node);
        throw std::bad_alloc();
    }
    return true;
}

int KQoxEntity::FindSlot(const KQoxNode* node) const
{
    if (node->mListedIn == this)
        return node->mListedSlot;
    const KQoxNode::KQoxOtherListing* listing = node->FindOtherListing(this);
    return listing ? listing->mSlot : -1;
}

void KQoxEntity::SetSlot(KQoxNode* node, int slot)
{
    // A node that no entity keeps inline any more is taken inline by the
    // next one that places it.
    if (!node->mListedIn)
    {
        node->mListedIn = this;
        node->ForgetOtherListing(this);
    }
    if (node->mListedIn == this)
        node->mListedSlot = slot;
    else
        node->SetOtherListing(this, slot);
}

bool KQoxEntity::RemoveNode(KQoxNode* node)
{
    if (!node)
    {
        mError.SetLastErrorID(eNODE_IS_NULL);
        return false;
    }
    const int slot = FindSlot(node);
    if (slot < 0)
    {
        mError.SetLastErrorID(eNODE_NOT_OWNED);
        return false;
    }
    if (node == mRootNode)
        mRootNode = nullptr;
    mNodes[slot] = nullptr;
    ForgetSlot(node);
    ++mNodeHoles;
    if (mNodeHoles * 2 > mNodes.GetCount())
        CompactNodes();
    return true;
}

void KQoxEntity::ForgetSlot(KQoxNode* node)
{
    if (node->mListedIn == this)
    {
        node->mListedIn = nullptr;
        node->mListedSlot = -1;
    }
    else
        node->ForgetOtherListing(this);
}

void KQoxEntity::CompactNodes()
{
    if (mNodeHoles == 0)
        return;
    const int count = mNodes.GetCount();
    int kept = 0;
    int sortedKept = 0;
    for (int i = 0; i < count; ++i)
    {
        KQoxNode* node = mNodes[i];
        if (!node)
            continue;
        if (i < mNodeOrder.mSortedCount)
            ++sortedKept; // removal keeps the order of what stays
        mNodes[kept] = node;
        SetSlot(node, kept++);
    }
    mNodes.SetCount(kept);
    mNodeOrder.mSortedCount = sortedKept;
    mNodeHoles = 0;
}

KQoxNode* KQoxEntity::GetNode(int index)
{
    CompactNodes();
    return (index >= 0 && index < mNodes.GetCount()) ? mNodes[index] : nullptr;
}

void KQoxEntity::FillNodeArray(KArrayTemplate<KQoxNode*>& array, KQoxNodeAttribute::EAttributeType type, bool recursive)
{
    array.Clear();
    if (recursive)
    {
        KQoxWalkPreOrder(mRootNode, [&array, type](KQoxNode* node) {
            KQoxNodeAttribute* attribute = node->GetNodeAttribute();
            if (attribute && attribute->GetAttributeType() == type)
                array.Add(node);
            return true;
        });
        return;
    }
    CompactNodes();
    for (int i = 0; i < mNodes.GetCount(); ++i)
    {
        KQoxNodeAttribute* attribute = mNodes[i]->GetNodeAttribute();
        if (attribute && attribute->GetAttributeType() == type)
            array.Add(mNodes[i]);
    }
}

// ---------------------------------------------------------------------------
// Reference lists

int KQoxEntity::FindRecord(EKind kind, KQoxObject* object) const
{
    auto found = mRecordOf[kind].find(object);
    if (found == mRecordOf[kind].end())
        return -1;
    const KArrayTemplate<KQoxObjectReference*>& list = mReferences[kind];
    for (int i = list.GetCount() - 1; i >= 0; --i)
        if (list[i] == found->second)
            return i;
    return -1;
}

bool KQoxEntity::AddReference(EKind kind, KQoxObject* object)
{
    if (!object)
        return false;
    auto found = mRecordOf[kind].find(object);
    if (found != mRecordOf[kind].end())
    {
        ++found->second->mCount;
        return true;
    }
    // Listed once both the index and the list hold it: memory running out
    // (std::bad_alloc) leaves the entity as it was.
    std::unique_ptr<KQoxObjectReference> record(new KQoxObjectReference{object, 1});
    const auto indexed = mRecordOf[kind].emplace(object, record.get()).first;
    if (mReferences[kind].Add(record.get()) < 0)
    {
        mRecordOf[kind].erase(indexed);
        throw std::bad_alloc();
    }
    record.release();
    return true;
}

void KQoxEntity::AppendInOrder(EKind kind, const std::vector<KQoxObject*>& objects)
{
    KArrayTemplate<KQoxObjectReference*>& list = mReferences[kind];
    const std::unordered_set<const KQoxObject*> moved(objects.begin(), objects.end());
    // The others close up in order; the records of those given are kept
    // (by mRecordOf) and appended again below.
    int kept = 0, firstMoved = list.GetCount();
    for (int i = 0; i < list.GetCount(); ++i)
    {
        if (!moved.count(list[i]->mObject))
            list[kept++] = list[i];
        else if (firstMoved > i)
            firstMoved = i;
    }
    // Only the items before the first one moved are still known in order.
    if (firstMoved < mReferenceOrder[kind].mSortedCount)
        mReferenceOrder[kind].mSortedCount = firstMoved;
    list.SetCount(kept);
    std::unordered_set<const KQoxObject*> appended;
    for (KQoxObject* object : objects)
    {
        if (!object || !appended.insert(object).second)
            continue;
        auto found = mRecordOf[kind].find(object);
        if (found != mRecordOf[kind].end())
            list.Add(found->second);
        else
            AddReference(kind, object);
    }
}

bool KQoxEntity::AddVideo(KQoxObject* video)
{
    if (!video)
        return false;
    KArrayTemplate<KQoxObjectReference*>& list = mReferences[eVIDEO];
    for (int i = 0; i < list.GetCount(); ++i)
    {
        if (list[i]->mObject == video)
        {
            ++list[i]->mCount;
            return true;
        }
        if (std::strcmp(list[i]->mObject->GetName(), video->GetName()) == 0)
        {
            mError.SetLastErrorID(eVIDEO_NAME_CLASH);
            return false;
        }
    }
    return AddReference(eVIDEO, video);
}

bool KQoxEntity::RemoveReference(EKind kind, KQoxObject* object)
{
    static const int kInUse[eKIND_COUNT] = {eMATERIAL_IN_USE, eTEXTURE_IN_USE, eVIDEO_IN_USE, eGENERIC_NODE_IN_USE,
                                            eDEFORMER_IN_USE};
    static const int kNotFound[eKIND_COUNT] = {eMATERIAL_NOT_FOUND, eTEXTURE_NOT_FOUND, eVIDEO_NOT_FOUND,
                                               eGENERIC_NODE_NOT_FOUND, eDEFORMER_NOT_FOUND};
    const int index = FindRecord(kind, object);
    if (index < 0)
    {
        mError.SetLastErrorID(kNotFound[kind]);
        return false;
    }
    KQoxObjectReference* record = mReferences[kind][index];
    if (--record->mCount > 0)
    {
        mError.SetLastErrorID(kInUse[kind]);
        return false;
    }
    EraseRecord(kind, index);
    return true;
}

void KQoxEntity::EraseRecord(EKind kind, int index)
{
    KQoxObjectReference* record = mReferences[kind][index];
    mReferences[kind].RemoveAt(index);
    if (index < mReferenceOrder[kind].mSortedCount)
        --mReferenceOrder[kind].mSortedCount;
    mRecordOf[kind].erase(record->mObject);
    delete record;
}

void KQoxEntity::Forget(KQoxObject* object)
{
    for (int kind = 0; kind < eKIND_COUNT; ++kind)
    {
        const int index = FindRecord(static_cast<EKind>(kind), object);
        if (index >= 0)
            EraseRecord(static_cast<EKind>(kind), index);
    }
}

KQoxObject* KQoxEntity::GetReference(EKind kind, int index, bool setError)
{
    KArrayTemplate<KQoxObjectReference*>& list = mReferences[kind];
    if (index < 0 || index >= list.GetCount())
    {
        if (setError)
            mError.SetLastErrorID(ePARAMETER_OUT_OF_RANGE);
        return nullptr;
    }
    return list[index]->mObject;
}

KQoxObject* KQoxEntity::FindReference(EKind kind, const KString& name, bool setError, int* index)
{
    static const int kNotFound[eKIND_COUNT] = {eMATERIAL_NOT_FOUND, eTEXTURE_NOT_FOUND, eVIDEO_NOT_FOUND,
                                               eGENERIC_NODE_NOT_FOUND, eDEFORMER_NOT_FOUND};
    KArrayTemplate<KQoxObjectReference*>& list = mReferences[kind];
    for (int i = 0; i < list.GetCount(); ++i)
        if (name.Compare(list[i]->mObject->GetName()) == 0)
        {
            if (index)
                *index = i;
            return list[i]->mObject;
        }
    if (setError)
        mError.SetLastErrorID(kNotFound[kind]);
    return nullptr;
}

int KQoxEntity::GetMaterialIndex(KString name)
{
    int index = -1;
    FindReference(eMATERIAL, name, true, &index);
    return index;
}

void KQoxEntity::ForgetReferences(bool deformers)
{
    for (int kind = 0; kind < eKIND_COUNT; ++kind)
        if (deformers || kind != eDEFORMER)
            FreeReferences(static_cast<EKind>(kind));
}

void KQoxEntity::FreeReferences(EKind kind)
{
    KArrayTemplate<KQoxObjectReference*>& list = mReferences[kind];
    for (int i = list.GetCount() - 1; i >= 0; --i)
        delete list[i];
    list.Clear();
    mRecordOf[kind].clear();
    mReferenceOrder[kind] = NameOrder();
}

// ---------------------------------------------------------------------------
// Names

namespace {

template <class T>
int SortedFindIn(KArrayTemplate<T>& list, int& sortedCount, unsigned long& version, unsigned long nameVersion,
                 const char* name)
{
    // A name change anywhere may have put the list out of order.
    if (version != nameVersion)
        sortedCount = 0;
    if (sortedCount != list.GetCount())
        SortByName(list, sortedCount);
    sortedCount = list.GetCount();
    version = nameVersion;
    return BinaryFind(list, name);
}

} // namespace

int KQoxEntity::SortedFind(KArrayTemplate<KQoxNode*>& list, NameOrder& order, const char* name)
{
    return SortedFindIn(list, order.mSortedCount, order.mNameVersion, mManager.GetNameVersion(), name);
}

int KQoxEntity::SortedFind(KArrayTemplate<KQoxObjectReference*>& list, NameOrder& order, const char* name)
{
    return SortedFindIn(list, order.mSortedCount, order.mNameVersion, mManager.GetNameVersion(), name);
}

bool KQoxEntity::ConsultNodes(const char* name, unsigned int* index, bool& answer)
{
    CompactNodes();
    if (mNodes.GetCount() == 0)
        return true;
    const bool reorder =
        mNodeOrder.mSortedCount != mNodes.GetCount() || mNodeOrder.mNameVersion != mManager.GetNameVersion();
    const int found = SortedFind(mNodes, mNodeOrder, name);
    if (reorder)
        for (int i = 0; i < mNodes.GetCount(); ++i)
            SetSlot(mNodes[i], i);
    if (found >= 0 && index)
        *index = static_cast<unsigned int>(found);
    answer = found >= 0;
    return answer;
}

bool KQoxEntity::ConsultReferences(EKind kind, const char* name, unsigned int* index, bool& answer)
{
    if (mReferences[kind].GetCount() == 0)
        return true;
    const int found = SortedFind(mReferences[kind], mReferenceOrder[kind], name);
    if (found >= 0 && index)
        *index = static_cast<unsigned int>(found);
    answer = found >= 0;
    return answer;
}

bool KQoxEntity::ValidateName(KQoxObject& object, const char* name, unsigned int* index)
{
    if (!name)
        return false;
    bool answer = true;
    switch (object.GetNameSpace())
    {
    case KQoxObject::eNODE:
        if (GetNodeCount() == 0)
            return true;
        if (!ConsultReferences(eGENERIC_NODE, name, index, answer))
            return false;
        ConsultNodes(name, index, answer);
        return answer;
    case KQoxObject::eTEXTURE:
    case KQoxObject::eMATERIAL:
    {
        const EKind own = object.GetNameSpace() == KQoxObject::eTEXTURE ? eTEXTURE : eMATERIAL;
        if (mReferences[own].GetCount() == 0)
            return true;
        if (!ConsultReferences(eGENERIC_NODE, name, index, answer))
            return false;
        ConsultReferences(own, name, index, answer);
        return answer;
    }
    case KQoxObject::eNO_PREFIX:
        return ConsultNodes(name, index, answer) && ConsultReferences(eMATERIAL, name, index, answer) &&
               ConsultReferences(eTEXTURE, name, index, answer) &&
               ConsultReferences(eGENERIC_NODE, name, index, answer);
    default: return false;
    }
}

// ---------------------------------------------------------------------------

void KQoxEntity::Clear()
{
    CompactNodes();
    for (int i = 0; i < mNodes.GetCount(); ++i)
    {
        mNodes[i]->mEntity = nullptr;
        ForgetSlot(mNodes[i]);
        // The geometry and its shapes count in this entity: they forget it.
        if (KQoxGeometry* geometry = dynamic_cast<KQoxGeometry*>(mNodes[i]->GetNodeAttribute()))
        {
            geometry->ForgetEntity();
            for (int s = 0; s < geometry->GetShapeCount(); ++s)
                geometry->GetShape(s)->ForgetEntity();
        }
    }
    mRootNode = nullptr;
    mNodes.Clear();
    mNodeOrder = NameOrder();
    FreeReferences(eMATERIAL);
    FreeReferences(eTEXTURE);
}

void KQoxEntity::ClearAllBut(const std::unordered_set<const KQoxNode*>& subtree, const KCounted& materials,
                             const KCounted& textures)
{
    CompactNodes();
    int kept = 0;
    for (int i = 0; i < mNodes.GetCount(); ++i)
    {
        KQoxNode* node = mNodes[i];
        if (subtree.count(node))
        {
            mNodes[kept] = node;
            SetSlot(node, kept++); // an entry the node has already
            continue;
        }
        node->mEntity = nullptr;
        ForgetSlot(node);
        if (KQoxGeometry* geometry = dynamic_cast<KQoxGeometry*>(node->GetNodeAttribute()))
        {
            geometry->ForgetEntity();
            for (int s = 0; s < geometry->GetShapeCount(); ++s)
                geometry->GetShape(s)->ForgetEntity();
        }
    }
    mNodes.SetCount(kept);
    mRootNode = nullptr;
    mNodeOrder = NameOrder();
    KeepOnly(eMATERIAL, materials);
    KeepOnly(eTEXTURE, textures);
}

void KQoxEntity::KeepOnly(EKind kind, const KCounted& kept)
{
    KArrayTemplate<KQoxObjectReference*>& list = mReferences[kind];
    // The records kept are marked by a count below zero, the others go.
    for (const auto& object : kept)
    {
        const auto found = mRecordOf[kind].find(object.first);
        if (found != mRecordOf[kind].end() && object.second > 0)
            found->second->mCount = -object.second;
    }
    for (int i = 0; i < list.GetCount(); ++i)
        if (list[i]->mCount >= 0)
        {
            mRecordOf[kind].erase(list[i]->mObject);
            delete list[i];
        }
    // In the order given; the list only shrinks.
    int count = 0;
    for (const auto& object : kept)
    {
        const auto found = mRecordOf[kind].find(object.first);
        if (found == mRecordOf[kind].end() || found->second->mCount >= 0)
            continue;
        found->second->mCount = -found->second->mCount;
        list[count++] = found->second;
    }
    list.SetCount(count);
    mReferenceOrder[kind] = NameOrder();
}

KQoxEntity::KCounted KQoxEntity::VideosAfterReplace(const std::unordered_set<const KQoxObject*>& leaving,
                                                    KQoxObject* const* joining, int count) const
{
    KCounted videos;
    const KArrayTemplate<KQoxObjectReference*>& list = mReferences[eVIDEO];
    for (int i = 0; i < list.GetCount(); ++i)
    {
        const int uses = list[i]->mCount - (leaving.count(list[i]->mObject) ? 1 : 0);
        if (uses > 0)
            videos.push_back({list[i]->mObject, uses});
    }
    for (int i = 0; i < count; ++i)
    {
        KQoxObject* video = joining[i];
        if (!video)
            continue;
        // As AddVideo: one more use of a clip listed, none for another clip
        // of its name, else listed at the end.
        bool taken = false;
        for (auto& listed : videos)
        {
            if (listed.first == video)
                ++listed.second;
            taken = listed.first == video || std::strcmp(listed.first->GetName(), video->GetName()) == 0;
            if (taken)
                break;
        }
        if (!taken)
            videos.push_back({video, 1});
    }
    return videos;
}

} // namespace qoxsdk_600
