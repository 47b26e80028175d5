// Object lists, tree collection, and merging one object over another.

#include <gtest/gtest.h>

#include "object/kobjectlist.h"
#include "object/kobjectmerge.h"
#include "object/kproperty.h"
#include "object_test_helpers.h"

namespace {

class Guard : public KObject
{
public:
    bool ListNotify(KObject*, kObjectListEvent event, const HdlKObject& handle, int index) override
    {
        mEvents.push_back(event);
        mIndexes.push_back(index);
        mHandles.push_back(handle);
        return !(mRefuse == event);
    }
    std::vector<int> mEvents;
    std::vector<int> mIndexes;
    std::vector<HdlKObject> mHandles;
    int mRefuse = -1;
};

std::vector<KObject*> Objects(KObjectList& list)
{
    std::vector<KObject*> out;
    for (int i = 0; i < list.GetCount(); ++i)
        out.push_back(list[i].Get());
    return out;
}

} // namespace

TEST(ObjectList, ChangesAreAskedAndTold)
{
    KObjectList list;
    Guard guard;
    list.SetListener(&guard);
    KObject a, b, c;
    EXPECT_EQ(list.Add(HdlKObject(&a)), 0);
    EXPECT_EQ(list.Add(HdlKObject(&b)), 1);
    EXPECT_EQ(list.InsertAt(0, HdlKObject(&c)), 0);
    EXPECT_EQ(guard.mEvents, std::vector<int>({1, 4, 1, 4, 1, 4}));
    EXPECT_EQ(guard.mIndexes, std::vector<int>({0, 0, 1, 1, 0, 0}));
    EXPECT_EQ(list[0].Get(), &c);
    guard.mEvents.clear();
    guard.mHandles.clear();
    EXPECT_TRUE(list.Remove(HdlKObject(&a)));
    EXPECT_EQ(guard.mEvents, std::vector<int>({2, 5}));
    EXPECT_EQ(guard.mHandles[1].Get(), &a); // the removed handle's copy
    EXPECT_EQ(list.SetAt(1, HdlKObject(&a)), 1);
    EXPECT_EQ(list[1].Get(), &a);
    EXPECT_EQ(list.SetAt(5, HdlKObject(&a)), -1);
    EXPECT_FALSE(list.Remove(HdlKObject(&b)));
    EXPECT_FALSE(list.Remove(7));
    // A refused add leaves the list unchanged.
    guard.mRefuse = kListAdding;
    EXPECT_EQ(list.Add(HdlKObject(&b)), -1);
    EXPECT_EQ(list.GetCount(), 2);
    guard.mRefuse = kListClear;
    list.Clear(false);
    EXPECT_EQ(list.GetCount(), 2);
    guard.mRefuse = -1;
    list.Clear(false);
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(ObjectList, AddListCleanupAndFind)
{
    KObjectList list, other;
    KObject* a = new KObject();
    KObject* b = new KObject();
    KObject* c = new KObject();
    a->SetObjectFullName("Grp::x:Alpha");
    b->SetObjectName("Beta");
    c->SetObjectName("Gamma");
    other.Add(HdlKObject(a));
    other.Add(HdlKObject(b));
    other.Add(HdlKObject(c));
    EXPECT_EQ(list.AddList(other), 3);
    EXPECT_EQ(list.FindIndex("x:Alpha"), 0);
    EXPECT_EQ(list.Find("Beta").Get(), b);
    EXPECT_EQ(list.FindIndex("beta"), -1); // case matters
    EXPECT_EQ(list.FindIndex(HdlKObject(c)), 2);
    a->Destroy(0);
    c->Destroy(0);
    EXPECT_EQ(list.FindIndex("x:Alpha"), -1); // dead handles are skipped
    EXPECT_TRUE(list.Cleanup());
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list[0].Get(), b);
    EXPECT_FALSE(list.Cleanup());
    HdlKObject hb(b);
    list.Clear(true);
    EXPECT_EQ(hb.Get(), nullptr);
    other.Cleanup();
}

TEST(ObjectList, TreeCollectionIsDepthFirstParentFirst)
{
    TObject p("P"), q("Q"), r("R"), s("S");
    KObject plain;
    p.ConnectSrc(&q);
    p.ConnectSrc(&plain);
    p.ConnectSrc(&s);
    q.ConnectSrc(&r);
    KObjectList list;
    ObjectListGet(&p, list, TObject::ClassId);
    EXPECT_EQ(Objects(list), std::vector<KObject*>({&p, &q, &r, &s}));
    KObjectList all;
    ObjectListGet(&p, all, -1);
    EXPECT_EQ(all.GetCount(), 5);
    KObjectList none;
    ObjectListGet(nullptr, none, -1);
    EXPECT_EQ(none.GetCount(), 0);
    r.SetSelectFlag(KObject::eSelected);
    p.SetSelectFlag(KObject::eSelected);
    KObjectList selected;
    SelectedObjectListGet(&p, selected, TObject::ClassId);
    EXPECT_EQ(Objects(selected), std::vector<KObject*>({&p, &r}));
    // A list of typed handles.
    KObjectListTemplate<HdlKObjectTemplate<TObject>> typed;
    EXPECT_EQ(typed.Add(HdlKObjectTemplate<TObject>(&q)), 0);
    EXPECT_EQ(typed[0]->mTag, "Q");
}

namespace {
IApplyManager& Manager()
{
    static int storage = 0;
    return *reinterpret_cast<IApplyManager*>(&storage); // never used by the base merge
}
} // namespace

TEST(ObjectMerge, IncomingObjectTakesOverValuesConnectionsAndIdentity)
{
    KObject scene, child;
    KObject* existing = new KObject();
    KObject incoming;
    existing->SetObjectFullName("pre:Cube");
    incoming.SetObjectName("Cube 1");
    auto* oldValue = static_cast<KPropertyTemplate<double>*>(AddDouble(*existing, "Size"));
    auto* newValue = static_cast<KPropertyTemplate<double>*>(AddDouble(incoming, "Size"));
    oldValue->Set(3.0);
    newValue->Set(1.0);
    // A property connection to the rest of the scene.
    KObject driver;
    KProperty* drive = AddDouble(driver, "Out");
    ASSERT_TRUE(oldValue->ConnectSrc(drive));

    KObject before;
    scene.ConnectSrc(&before);
    scene.ConnectSrc(existing); // the existing object is the scene's second child
    existing->ConnectSrc(&child);
    HdlKObject gone(existing);

    KMergeInfo info;
    EXPECT_TRUE(incoming.MergeOver(*existing,
                                   KObject::eMergeProperties | KObject::eMergeDstRelations |
                                       KObject::eMergeSrcRelations | KObject::eMergeIdentity,
                                   Manager(), info));
    EXPECT_EQ(newValue->Get(), 3.0);                                       // values: existing -> incoming
    EXPECT_EQ(Sources(&scene), std::vector<KPlug*>({&before, &incoming})); // same position in the parent
    EXPECT_EQ(Sources(&incoming), std::vector<KPlug*>({&child}));          // children follow
    EXPECT_TRUE(newValue->IsConnectedSrc(drive));                          // property connections follow
    EXPECT_EQ(gone.Get(), nullptr);                                        // the existing object is destroyed
    EXPECT_STREQ(incoming.GetObjectName(), "Cube");
    EXPECT_STREQ(incoming.GetObjectPrefixName(), "pre");
}

TEST(ObjectMerge, DestinationConnectedToBothEndsUpConnectedOnce)
{
    KObject parent, existing, incoming;
    parent.ConnectSrc(&existing);
    parent.ConnectSrc(&incoming);
    KMergeInfo info;
    EXPECT_FALSE(incoming.MergeOver(existing, KObject::eMergeDstRelations, Manager(), info));
    EXPECT_EQ(Sources(&parent), std::vector<KPlug*>({&incoming}));
    EXPECT_EQ(existing.GetDstCount(), 0);
    // Connections to partners that are merged themselves are dropped.
    KObject partner, existing2, incoming2;
    partner.ConnectSrc(&existing2);
    KMergeInfo info2;
    info2.mOldObjects.Add(HdlKObject(&partner));
    incoming2.MergeOver(existing2, KObject::eMergeDstRelations, Manager(), info2);
    EXPECT_EQ(partner.GetSrcCount(), 0);
    EXPECT_EQ(incoming2.GetDstCount(), 0);
}

TEST(ObjectMerge, HelpersOldToNewSetAndMergeability)
{
    KObject owner;
    EXPECT_EQ(GetOwner(AddDouble(owner, "P")), &owner);
    EXPECT_EQ(GetOwner(&owner), &owner);
    KPlug bare;
    EXPECT_EQ(GetOwner(&bare), nullptr);
    EXPECT_EQ(GetOwner(nullptr), nullptr);
    EXPECT_TRUE(owner.IsMergeable());

    KMergeInfo info;
    KObject n1, n2, o1, o2;
    info.mNewObjects.Add(HdlKObject(&n1));
    info.mNewObjects.Add(HdlKObject(&n2));
    info.mOldObjects.Add(HdlKObject(&o1));
    info.mOldObjects.Add(HdlKObject(&o2));
    owner.FillOldToNewSet(info);
    EXPECT_EQ(info.mOldToNew.GetCount(), 2);
    EXPECT_EQ(info.mOldToNew.Get(reinterpret_cast<kReference>(&o2)), reinterpret_cast<kReference>(&n2));
    EXPECT_TRUE(info.IsMerged(""));

    // A parent refusing merges makes its child not mergeable.
    class Picky : public KObject
    {
    public:
        bool IsMergeableSrc(KPlug*) override { return false; }
    };
    Picky parent;
    KObject o;
    parent.ConnectSrc(&o);
    EXPECT_FALSE(o.IsMergeable());
}
