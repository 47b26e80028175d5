// Objects: object-tree notifications, selection, properties, states, queries
// and destruction.

#include <gtest/gtest.h>

#include <algorithm>

#include "object/kproperty.h"
#include "object_test_helpers.h"

TEST(Object, ConnectDisconnectAndMoveRaiseTreeChildrenAndParentNotifications)
{
    TObject p("P"), c("C");
    ClearLog();
    ASSERT_TRUE(p.ConnectSrc(&c));
    EXPECT_EQ(NotifyLog(), Log({"P:tree P 1 C -1", "P:children 1 C -1", "P:entity 28 C null -1", "C:parents 1 P -1",
                                "P:tree P 4 C 0", "P:children 4 C 0", "P:entity 4 C null 0", "C:parents 4 P 0"}));
    ClearLog();
    ASSERT_TRUE(p.DisconnectSrc(&c));
    EXPECT_EQ(NotifyLog(),
              Log({"P:tree P 2 C 0", "P:children 2 C 0", "P:entity 29 C null -1", "C:parents 2 P 0", "P:tree P 5 C 0",
                   "P:children 5 C 0", "P:entity 5 C null -1", "P:entity 31 C null 0", "C:parents 5 P 0"}));
    // Moving a child.
    TObject a("A"), b("B");
    p.ConnectSrc(&a);
    p.ConnectSrc(&b);
    ClearLog();
    ASSERT_TRUE(p.MoveSrcAt(1, 0));
    EXPECT_EQ(LogLines("P:children"), Log({"P:children 14 B 1", "P:children 15 B 0"}));
    EXPECT_EQ(LogLines("P:entity"), Log({"P:entity 32 B null 1", "P:entity 33 B null 0"}));
    EXPECT_EQ(p.ObjectFindIndex(HdlKObject(&b)), 0);
    EXPECT_EQ(p.ObjectFindIndex(HdlKObject(&p)), -1);
}

namespace {
class TreeListener : public TCallback
{
public:
    void OnTree(IRegister*, KEventBase* event)
    {
        KEventObjectTree* tree = static_cast<KEventObjectTree*>(event);
        mEvents.push_back(event->mType == KEventObjectTree::eType ? tree->mEvent : -1);
        mOthers.push_back(tree->mOther.Get());
    }
    std::vector<int> mEvents;
    std::vector<KObject*> mOthers;
};
} // namespace

TEST(Object, RegisteredCallbacksReceiveObjectTreeEvents)
{
    KObject p, c;
    TreeListener listener;
    ICallbackMethod method = static_cast<ICallbackMethod>(&TreeListener::OnTree);
    EXPECT_TRUE(p.Register(&listener, method));
    p.ConnectSrc(&c);
    p.BeginChange();
    p.EndChange();
    EXPECT_EQ(listener.mEvents, std::vector<int>({1, 4, 6, 7}));
    EXPECT_EQ(listener.mOthers, std::vector<KObject*>({&c, &c, nullptr, nullptr}));
    EXPECT_TRUE(p.Unregister(&listener, method));
    EXPECT_EQ(p.GetRegistrations(), nullptr); // freed once empty
    p.DisconnectSrc(&c);
    EXPECT_EQ(listener.mEvents.size(), 4u);
}

TEST(Object, SelectionObjectFlagsAndEvents)
{
    TObject o("O");
    ClearLog();
    int before = GlobalSelectOrderId;
    EXPECT_TRUE(o.SetSelectFlag(KObject::eSelected));
    EXPECT_EQ(o.GetSelectOrder(), before + 1);
    EXPECT_EQ(NotifyLog(), Log({"O:entity 6 null null -1", "O:state 24 O"}));
    ClearLog();
    // The same flags on a selected object: 25 and 26, and false.
    EXPECT_FALSE(o.SetSelectFlag(KObject::eSelected));
    EXPECT_EQ(NotifyLog(), Log({"O:entity 25 null null -1", "O:state 26 O"}));
    ClearLog();
    EXPECT_TRUE(o.SetSelectFlag(KObject::eSelected | KObject::eSelected2));
    EXPECT_EQ(NotifyLog(), Log({"O:entity 25 null null -1", "O:state 26 O", "O:entity 16 null null -1"}));
    ClearLog();
    EXPECT_TRUE(o.SetSelectFlag(0));
    EXPECT_EQ(NotifyLog(), Log({"O:entity 7 null null -1", "O:state 25 O", "O:entity 17 null null -1"}));
    ClearLog();
    EXPECT_FALSE(o.SetSelectFlag(0));
    EXPECT_TRUE(NotifyLog().empty());
    o.HardSelect();
    EXPECT_EQ(NotifyLog().back(), "O:entity 18 null null -1");
    ClearLog();
    o.SetObjectActive(true);
    o.SetObjectActive(true);
    o.SetObjectActive(false);
    EXPECT_EQ(NotifyLog(), Log({"O:entity 19 null null -1", "O:entity 20 null null -1"}));
    o.ResetToDefault();
    EXPECT_EQ(o.GetSelectFlag() & KObject::eSelected, 0);
    // The soft class.
    KObject plain;
    plain.SetSoftClassId(12, "Soft");
    EXPECT_STREQ(plain.GetSoftClassName(), "Soft");
    EXPECT_TRUE(plain.GetFullSoftClassId()); // class id 1 has low bits set
}

TEST(Object, CreatePropertyFromTypeNamesUniquely)
{
    TObject o("O");
    // Flag 0x20 refuses user properties only.
    o.EnableObjectFlags(KObject::eNoUserProperties);
    EXPECT_EQ(o.CreatePropertyFromType("U", kPropertyTypeDouble, nullptr, false, true, nullptr), nullptr);
    EXPECT_NE(o.CreatePropertyFromType("S", kPropertyTypeDouble, nullptr, false, false, nullptr), nullptr);
    o.DisableObjectFlags(KObject::eNoUserProperties);
    ClearLog();
    KProperty* p1 = o.CreatePropertyFromType("N", kPropertyTypeDouble, nullptr, true, true, nullptr);
    KProperty* p2 = o.CreatePropertyFromType("N", kPropertyTypeInt, nullptr, false, true, nullptr);
    KProperty* p3 = o.CreatePropertyFromType("N", kPropertyTypeBool, nullptr, false, false, nullptr);
    ASSERT_TRUE(p1 && p2 && p3);
    EXPECT_STREQ(p2->GetPropertyName(), "N 0");
    EXPECT_STREQ(p3->GetPropertyName(), "N 1");
    EXPECT_TRUE(p1->IsAnimatable() && p1->IsDynamic() && p1->IsUserProperty());
    EXPECT_FALSE(p2->IsAnimatable() || p3->IsUserProperty());
    EXPECT_EQ(p1->GetOwnerObject(), &o);
    EXPECT_EQ(o.GetOwnedPlug(2), p2);
    EXPECT_EQ(o.GetUserPropertyCount(), 2);
    EXPECT_EQ(o.GetUserProperty(1), p2);
    EXPECT_EQ(o.FindPropertyByName("N 1"), p3);
    EXPECT_EQ(o.FindPropertyByName("n"), nullptr);
    EXPECT_EQ(LogLines("O:property"), Log({"O:property 8 prop:N dynamic", "O:property 11 prop:N dynamic",
                                           "O:property 8 prop:N 0 dynamic", "O:property 11 prop:N 0 dynamic",
                                           "O:property 8 prop:N 1 dynamic", "O:property 11 prop:N 1 dynamic"}));
    // Codes outside the table create nothing.
    EXPECT_EQ(o.CreatePropertyFromType("X", 3, nullptr, false, false, nullptr), nullptr);
    EXPECT_EQ(o.CreatePropertyFromType("X", 18, nullptr, false, false, nullptr), nullptr);
    EXPECT_EQ(o.GetPropertyCount(), 4);
    ClearLog();
    EXPECT_TRUE(o.RemoveUserProperty(p2));
    EXPECT_EQ(LogLines("O:property"), Log({"O:property 9 prop:N 0 dynamic", "O:property 12 prop:N 0 dynamic"}));
    EXPECT_FALSE(o.RemoveUserProperty(p3)); // not a user property
    EXPECT_EQ(o.GetPropertyCount(), 3);
    EXPECT_EQ(o.GetUserPropertyCount(), 1);
    // Every code of the table creates its kind.
    for (int type : {1, 2, 4, 6, 7, 8, 9, 13, 14, 15, 16, 17})
    {
        KProperty* p = o.CreatePropertyFromType("T", type, nullptr, false, false, nullptr);
        ASSERT_NE(p, nullptr) << type;
        EXPECT_EQ(p->GetPropertyType(), type);
    }
}

TEST(Object, StaticPropertiesAreOnlyDisconnected)
{
    KObject o, other;
    KPropertyTemplate<double> member;
    member.Init();
    member.SetPropertyInfo("Member", &o, nullptr, nullptr);
    o.PropertyAddToList(&member);
    KProperty* source = AddDouble(other, "Src");
    ASSERT_TRUE(member.ConnectSrc(source));
    EXPECT_FALSE(o.PropertyDestroy(&member)); // removed
    EXPECT_EQ(o.GetPropertyCount(), 0);
    EXPECT_EQ(member.GetSrcCount(), 0);
    EXPECT_TRUE(o.PropertyDestroy(&member)); // nothing left to remove
}

TEST(Object, ReferencePropertyGoesWithItsTarget)
{
    KObject owner, holder;
    owner.SetObjectName("Owner");
    KProperty* target = owner.CreatePropertyFromType("Value", 4, nullptr, true, false, nullptr);
    target->SetPropertyMinMax(-5.0, 5.0);
    KProperty* reference = holder.AddUserReferenceProperty(target, nullptr);
    ASSERT_NE(reference, nullptr);
    EXPECT_STREQ(reference->GetPropertyName(), "Owner.Value");
    EXPECT_EQ(reference->GetRefProperty(), target);
    EXPECT_EQ(target->GetReferenceProperty(0), reference);
    EXPECT_EQ(reference->GetPropertyMin(), -5.0); // range and animatable flag are copied
    EXPECT_TRUE(reference->IsAnimatable());
    EXPECT_EQ(holder.GetUserReferencePropertyBasedOnOriginal(target), reference);
    EXPECT_EQ(holder.GetUserReferencePropertyIndexBasedOnOriginal(target), 0);
    // Cutting the link destroys the reference property (postponed to the end
    // of the disconnect it is told about).
    HdlKPlug hdl(reference);
    target->DisconnectAllDst();
    EXPECT_EQ(hdl.Get(), nullptr);
    EXPECT_EQ(holder.GetPropertyCount(), 0);
    // Removing the target from its object removes the references too.
    KProperty* again = holder.AddUserReferenceProperty(target, "Ref");
    ASSERT_NE(again, nullptr);
    HdlKPlug hdl2(again);
    owner.PropertyDestroy(target);
    EXPECT_EQ(hdl2.Get(), nullptr);
    EXPECT_EQ(holder.GetPropertyCount(), 0);
    EXPECT_EQ(holder.AddUserReferenceProperty(nullptr, "x"), nullptr);
}

TEST(Object, ConnectedOnlyToItsEntityIsInStateZero)
{
    KObject entity, object;
    object.EntitySet(HdlKObjectTemplate<KEntity>(HdlKObject(&entity)));
    ASSERT_TRUE(entity.ConnectSrc(&object));
    EXPECT_TRUE(object.IsInState(0));
    EXPECT_FALSE(object.IsInState(1));
    EXPECT_TRUE(object.IsOrphan());
    KObject other;
    ASSERT_TRUE(AddDouble(object, "P")->ConnectDst(AddDouble(other, "Q")));
    EXPECT_FALSE(object.IsInState(0));
    EXPECT_TRUE(object.HasConnection(KPlug::eAcceptDst));
    EXPECT_FALSE(object.HasConnection(KPlug::eAcceptSrc));
    // DisconnectAll keeps the entity link.
    object.DisconnectAll();
    EXPECT_EQ(object.GetDstCount(), 1);
    EXPECT_EQ(object.GetDst(0), &entity);
    EXPECT_TRUE(object.IsInState(0));
    EXPECT_TRUE(object.IsPartOfEntity(HdlKObject(&entity)));
    EXPECT_TRUE(object.IsPartOfEntity(HdlNull));
    EXPECT_FALSE(object.IsPartOfEntity(HdlKObject(&other)));
    KObject parent;
    parent.ConnectSrc(&object);
    EXPECT_FALSE(object.IsOrphan());
}

TEST(Object, PendingReplacementIsVisibleOnlyDuringTheReplace)
{
    KObject p, a, b;
    p.ConnectSrc(&a);
    // Records what IsInReplace answers while the disconnect inside the replace runs.
    class Watch : public KObject
    {
    public:
        bool ParentListNotify(kObjectListEvent event, const HdlKObject& parent, int) override
        {
            if (event == kListRemoving && parent.Get())
                mSeen = parent.Get()->IsInReplace(parent.Get(), this);
            return true;
        }
        bool mSeen = false;
    };
    Watch w;
    p.ConnectSrc(&w);
    ASSERT_TRUE(p.ReplaceInSrc(&w, &b, -1));
    EXPECT_TRUE(w.mSeen);
    EXPECT_EQ(Sources(&p), std::vector<KPlug*>({&a, &b}));
    EXPECT_FALSE(p.IsInReplace(&p, &w) || w.IsInReplace(&w, &p));
    ASSERT_TRUE(p.ReplaceSrcAt(0, &w));
    EXPECT_FALSE(p.IsInReplace(&p, &a) || a.IsInReplace(&a, &p));
}

namespace {
KObject* gDoomed = nullptr;
class Killer : public TObject
{
public:
    Killer()
        : TObject("K")
    {}
    bool ChildrenListNotify(kObjectListEvent event, const HdlKObject& child, int index) override
    {
        if (event == kListRemoving && gDoomed)
        {
            KObject* doomed = gDoomed;
            gDoomed = nullptr;
            doomed->Destroy(0);
        }
        return TObject::ChildrenListNotify(event, child, index);
    }
};
} // namespace

TEST(Object, ObjectDestroyedByListenerDuringDisconnectWaits)
{
    Killer parent;
    TObject* child = new TObject("C");
    parent.ConnectSrc(child);
    HdlKObject hdl(child);
    gDoomed = child;
    ClearLog();
    ASSERT_TRUE(parent.DisconnectSrc(child));
    EXPECT_EQ(hdl.Get(), nullptr);
    // The disconnect finished before the child went.
    Log log = NotifyLog();
    auto removed = std::find(log.begin(), log.end(), "C:parents 5 K 0");
    auto destroyed = std::find(log.begin(), log.end(), "C:entity 1 null null -1");
    ASSERT_TRUE(removed != log.end() && destroyed != log.end());
    EXPECT_LT(removed, destroyed);
}

TEST(Object, DestructOrderAndSecondCallIsHarmless)
{
    KObject parent;
    TObject* o = new TObject("O");
    o->SetSelectFlag(KObject::eSelected);
    KObject other;
    KProperty* q = AddDouble(other, "Q");
    AddDouble(*o, "P", true)->ConnectDst(q);
    parent.ConnectSrc(o);
    ClearLog();
    o->Destruct();
    EXPECT_TRUE(o->GetObjectStatusFlag(KObject::eBeingDestroyed));
    Log log = NotifyLog();
    ASSERT_GE(log.size(), 4u);
    // Unselected first; the plug's own Destruct ends it.
    EXPECT_EQ(Log(log.begin(), log.begin() + 4),
              Log({"O:entity 7 null null -1", "O:state 25 O", "O:entity 1 null null -1", "O:state 23 O"}));
    EXPECT_EQ(log.back(), "O:state 23 O");
    EXPECT_EQ(o->GetPropertyCount(), 0);
    EXPECT_EQ(q->GetSrcCount(), 0);
    EXPECT_EQ(parent.GetSrcCount(), 0);
    o->Destruct();
    o->Destroy(0);
}

TEST(Object, TreeQueriesDetachAndDestroy)
{
    TObject root("Root"), mid("Mid"), leaf("Leaf");
    root.ConnectSrc(&mid);
    mid.ConnectSrc(&leaf);
    EXPECT_TRUE(mid.IsParentOf(HdlKObject(&leaf), KObject::eParentDirect, -1, nullptr));
    EXPECT_FALSE(root.IsParentOf(HdlKObject(&leaf), KObject::eParentDirect, -1, nullptr));
    EXPECT_TRUE(root.IsParentOf(HdlKObject(&leaf), KObject::eParentDirect | KObject::eParentRecursive, -1, nullptr));
    EXPECT_TRUE(root.IsParentOf(HdlKObject(&leaf), 3, TObject::ClassId, nullptr));
    EXPECT_FALSE(root.IsParentOf(HdlKObject(&leaf), 3, TPlug::ClassId, nullptr));
    // A cycle answers false instead of looping.
    leaf.ConnectSrc(&root);
    TObject stranger("S");
    EXPECT_FALSE(stranger.IsParentOf(HdlKObject(&leaf), 3, -1, nullptr));
    leaf.DisconnectSrc(&root);

    EXPECT_EQ(root.Find("Mid", KObject::eFindShortName, -1).Get(), &mid);
    EXPECT_EQ(root.Find("Mid", KObject::eFindFullName, TObject::ClassId).Get(), &mid);
    EXPECT_EQ(root.Find("mid", KObject::eFindShortName, -1).Get(), nullptr);
    EXPECT_EQ(root.Find("Leaf", KObject::eFindShortName, -1).Get(), nullptr); // children only
    // Detaching from the parents, destroying the children.
    KObject parent, p2;
    KObject* a = new KObject();
    KObject* b = new KObject();
    HdlKObject ha(a), hb(b);
    parent.ConnectSrc(a);
    parent.ConnectSrc(b);
    p2.ConnectSrc(a);
    a->ObjectDetachParents();
    EXPECT_EQ(a->GetDstCount(), 0);
    parent.ConnectSrc(a);
    parent.ObjectDestroyChildren();
    EXPECT_EQ(parent.GetSrcCount(), 0);
    EXPECT_EQ(ha.Get(), nullptr);
    EXPECT_EQ(hb.Get(), nullptr);
}

TEST(Object, EvaluationStates)
{
    KObject o;
    KStateMember m1, m2, m3;
    int end = 0;
    typedef std::vector<int> Ints;
    // By hand: a member starts at the state size so far (aligned to its size),
    // its end rounds up to 4, and the state keeps 12 bytes past the end.
    o.StateMemberAdd(&m1, 8, end);
    EXPECT_EQ(Ints({m1.mOffset, end, o.GetStateSize()}), Ints({0, 8, 20}));
    o.StateMemberAdd(&m2, 2, end);
    EXPECT_EQ(Ints({m2.mOffset, end, o.GetStateSize()}), Ints({20, 24, 36}));
    o.StateMemberAdd(&m3, 3, end);
    EXPECT_EQ(Ints({m3.mOffset, end, o.GetStateSize()}), Ints({36, 40, 52}));

    KEvaluationState* shared = o.GetEvaluationState(nullptr, &m1);
    EXPECT_EQ(shared, o.GetEvaluationState(0));
    m2.mFlags = KStateMember::ePerEvaluation;
    KEvaluateInfo info;
    info.mStateIndex = 3;
    info.mSourceStateIndex = 1;
    info.mEvaluationStamp = 9;
    KEvaluationState* s = o.GetEvaluationState(&info, &m2);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s, o.GetEvaluationState(3));
    EXPECT_EQ(s->mStamp, 9);
    EXPECT_GE(o.GetStateCount(), 4);
    static_cast<char*>(s->mData)[m2.mOffset] = 5;
    // Growing the state keeps the data and resets the stamps.
    KStateMember m4;
    o.StateMemberAdd(&m4, 4, end);
    s = o.GetEvaluationState(3);
    EXPECT_EQ(static_cast<char*>(s->mData)[m2.mOffset], 5);
    EXPECT_EQ(s->mStamp, -1);
    EXPECT_EQ(o.GetEvaluationState(99), nullptr);
    o.ClearStates();
    EXPECT_EQ(o.GetStateCount(), 0);
}

TEST(Object, TransferAndCloneProperties)
{
    KObject from, to;
    auto* fs = static_cast<KPropertyTemplate<double>*>(AddDouble(from, "S"));
    auto* ts = static_cast<KPropertyTemplate<double>*>(AddDouble(to, "S"));
    auto* fu = static_cast<KPropertyTemplate<int>*>(from.CreatePropertyFromType("U", 1, nullptr, true, true, nullptr));
    fu->SetPropertyMinMax(1.0, 9.0);
    fs->Set(4.5);
    fu->Set(7);
    to.TransferPropertiesFrom(from, KObject::eTransferStatic | KObject::eTransferCloneUser | KObject::eTransferUser);
    EXPECT_EQ(ts->Get(), 4.5);
    KProperty* cloned = to.FindPropertyByName("U");
    ASSERT_NE(cloned, nullptr);
    EXPECT_TRUE(cloned->IsUserProperty() && cloned->IsAnimatable());
    EXPECT_EQ(cloned->GetPropertyType(), 1);
    EXPECT_EQ(cloned->GetPropertyMax(), 9.0);
    EXPECT_EQ(cloned->AsInteger(), 7); // the user value was transferred after cloning
}
