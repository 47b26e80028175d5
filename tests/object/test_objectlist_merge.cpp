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
    EXPECT_EQ(list.GetCount(), 3);
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
    ASSERT_EQ(list.GetCount(), 4);
    EXPECT_EQ(list[0].Get(), &p);
    EXPECT_EQ(list[1].Get(), &q);
    EXPECT_EQ(list[2].Get(), &r);
    EXPECT_EQ(list[3].Get(), &s);
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
    ASSERT_EQ(selected.GetCount(), 2);
    EXPECT_EQ(selected[0].Get(), &p);
    EXPECT_EQ(selected[1].Get(), &r);
}

TEST(ObjectList, TypedListOfTypedHandles)
{
    KObjectListTemplate<HdlKObjectTemplate<TObject>> list;
    TObject t("T");
    EXPECT_EQ(list.Add(HdlKObjectTemplate<TObject>(&t)), 0);
    EXPECT_EQ(list[0].Get(), &t);
    EXPECT_EQ(list[0]->mTag, "T");
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
    auto* oldValue = static_cast<KPropertyTemplate<double>*>(
        existing->CreatePropertyFromType("Size", 4, nullptr, false, false, nullptr));
    auto* newValue = static_cast<KPropertyTemplate<double>*>(
        incoming.CreatePropertyFromType("Size", 4, nullptr, false, false, nullptr));
    oldValue->Set(3.0);
    newValue->Set(1.0);
    // A property connection to the rest of the scene.
    KObject driver;
    KProperty* drive = driver.CreatePropertyFromType("Out", 4, nullptr, false, false, nullptr);
    ASSERT_TRUE(oldValue->ConnectSrc(drive));

    KObject before;
    scene.ConnectSrc(&before);
    scene.ConnectSrc(existing); // the existing object is the scene's second child
    existing->ConnectSrc(&child);
    HdlKObject gone(existing);

    KMergeInfo info;
    EXPECT_TRUE(incoming.MergeOver(*existing, KObject::eMergeProperties | KObject::eMergeDstRelations |
                                                  KObject::eMergeSrcRelations | KObject::eMergeIdentity,
                                   Manager(), info));
    EXPECT_EQ(newValue->Get(), 3.0);             // values: existing -> incoming
    ASSERT_EQ(scene.GetSrcCount(), 2);
    EXPECT_EQ(scene.GetSrc(1), &incoming);       // same position in the parent
    EXPECT_EQ(incoming.GetSrcCount(), 1);
    EXPECT_EQ(incoming.GetSrc(0), &child);       // children follow
    EXPECT_TRUE(newValue->IsConnectedSrc(drive)); // property connections follow
    EXPECT_EQ(gone.Get(), nullptr);              // the existing object is destroyed
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
    ASSERT_EQ(parent.GetSrcCount(), 1);
    EXPECT_EQ(parent.GetSrc(0), &incoming);
    EXPECT_EQ(existing.GetDstCount(), 0);
}

TEST(ObjectMerge, ConnectionsToMergedPartnersAreDropped)
{
    KObject partner, existing, incoming;
    partner.SetObjectName("Partner");
    partner.ConnectSrc(&existing);
    KMergeInfo info;
    info.mOldObjects.Add(HdlKObject(&partner));
    incoming.MergeOver(existing, KObject::eMergeDstRelations, Manager(), info);
    EXPECT_EQ(partner.GetSrcCount(), 0);
    EXPECT_EQ(incoming.GetDstCount(), 0);
}

TEST(ObjectMerge, HelpersAndOldToNewSet)
{
    KObject owner;
    KProperty* p = owner.CreatePropertyFromType("P", 4, nullptr, false, false, nullptr);
    EXPECT_EQ(GetOwner(p), &owner);
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
}

TEST(ObjectMerge, RefusingParentMakesObjectNotMergeable)
{
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
