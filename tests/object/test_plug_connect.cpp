// Connection operations of plugs: exact notification sequences, sub-plug
// views, one-way connections, vetoes, postponed destruction.

#include <gtest/gtest.h>

#include "object/kproperty.h"
#include "object_test_helpers.h"

typedef std::vector<KPlug*> Plugs;

namespace {

KPlugFilter* OtherFilter()
{
    return KPlug_GetFilter(TOtherPlug::ClassId);
}

// The plug a listener destroys when it is told of gVictimAction.
TPlug* gVictim = nullptr;
kPlugAction gVictimAction = 0;

void DestroyVictim(TPlug*, kPlugAction action, KPlug*, KPlug*)
{
    if (action == gVictimAction && gVictim)
    {
        TPlug* victim = gVictim;
        gVictim = nullptr;
        victim->Destroy(0);
    }
}

} // namespace

TEST(PlugConnect, ConnectAndDisconnectNotifyBothEndsThenSubPlugs)
{
    TPlug a("A"), c("C"), b("B");
    KPlug* sub = b.SubPlugGetOrCreate(KPlug_GetFilter(TPlug::ClassId));
    ASSERT_NE(sub, &b);
    ASSERT_TRUE(b.ConnectSrc(&c));
    ClearLog();
    ASSERT_TRUE(b.ConnectSrc(&a));
    EXPECT_EQ(NotifyLog(), Log({"B:0 B -1 A 0 null", "A:1 A -1 B 0 null", "B:2 B -1 A 0 null", "A:3 A -1 B 0 null",
                                "B.sub:0 B.sub -1 A 0 null", "B.sub:2 B.sub -1 A 0 null", "B:4 B 1 A 0 null",
                                "A:5 A 0 B 0 null", "B.sub:4 B.sub 1 A 0 null"}));
    EXPECT_EQ(Sources(&b), Plugs({&c, &a}));
    EXPECT_EQ(a.GetDst(0), &b);
    EXPECT_EQ(Sources(sub), Plugs({&c, &a}));
    // Disconnecting tells the old indexes.
    ClearLog();
    ASSERT_TRUE(b.DisconnectSrc(&a));
    EXPECT_EQ(NotifyLog(), Log({"B:6 B 1 A 0 null", "A:7 A 0 B 0 null", "B.sub:6 B.sub -1 A 0 null", "B:8 B 1 A 0 null",
                                "A:9 A 0 B 0 null", "B.sub:8 B.sub 1 A 0 null"}));
    EXPECT_EQ(Sources(&b), Plugs({&c}));
    EXPECT_EQ(Sources(sub), Plugs({&c}));
    EXPECT_EQ(a.GetDstCount(), 0);
    // Not connected any more: refused, nothing sent.
    ClearLog();
    EXPECT_FALSE(b.DisconnectSrc(&a));
    EXPECT_TRUE(NotifyLog().empty());
}

TEST(PlugConnect, ReplaceSendsBeginPairDisconnectConnectEndPair)
{
    TPlug a("A"), c("C"), d("D"), b("B");
    ASSERT_TRUE(b.ConnectSrc(&a, 1));
    ASSERT_TRUE(b.ConnectSrc(&c));
    ClearLog();
    ASSERT_TRUE(b.ReplaceSrcAt(0, &d));
    EXPECT_EQ(NotifyLog(), Log({
                               "B:12 B -1 A 0 D", "A:10 A -1 B 0 D", // begin pair
                               "B:6 B 0 A 0 null", "A:7 A 0 B 0 null", "B:8 B 0 A 0 null", "A:9 A 0 B 0 null",
                               "B:0 B -1 D 0 null", "D:1 D -1 B 0 null", "B:2 B -1 D 0 null", "D:3 D -1 B 0 null",
                               "B:4 B 0 D 0 null", "D:5 D 0 B 0 null", // connected before C
                               "B:13 B -1 A 0 D", "A:11 A -1 B 0 D",   // end pair
                           }));
    EXPECT_EQ(Sources(&b), Plugs({&d, &c}));
    EXPECT_EQ(b.GetSrcType(0), 0); // the replaced connection's type is not kept
    EXPECT_EQ(a.GetDstCount(), 0);
    // At the count: a plain connect at the end, no replace pair.
    TPlug e("E");
    ClearLog();
    ASSERT_TRUE(b.ReplaceSrcAt(2, &e));
    EXPECT_EQ(Sources(&b), Plugs({&d, &c, &e}));
    EXPECT_EQ(NotifyLog().front(), "B:0 B -1 E 0 null");
    EXPECT_FALSE(b.ReplaceSrcAt(-1, &e));
    ClearLog();
    EXPECT_FALSE(b.ReplaceInSrc(&a, &e, -1)); // a is not connected
    EXPECT_TRUE(NotifyLog().empty());
    // In a destination list the destination end is still told first.
    TPlug s("S"), old("O"), nu("N");
    ASSERT_TRUE(s.ConnectDst(&old));
    ClearLog();
    ASSERT_TRUE(s.ReplaceDstAt(0, &nu));
    Log log = NotifyLog();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(Log(log.begin(), log.begin() + 2), Log({"O:12 O -1 S 0 N", "S:10 S -1 O 0 N"}));
    EXPECT_EQ(Log(log.end() - 2, log.end()), Log({"O:13 O -1 S 0 N", "S:11 S -1 O 0 N"}));
    EXPECT_EQ(s.GetDst(0), &nu);
    EXPECT_EQ(old.GetSrcCount(), 0);
}

TEST(PlugConnect, MoveAndSwap)
{
    TPlug p("P"), q("Q"), r("R"), b("B");
    b.ConnectSrc(&p);
    b.ConnectSrc(&q);
    b.ConnectSrc(&r);
    ClearLog();
    ASSERT_TRUE(b.MoveSrcAt(0, 2));
    EXPECT_EQ(Sources(&b), Plugs({&q, &r, &p}));
    EXPECT_EQ(NotifyLog(), Log({"B:14 B 0 P 0 null", "B:15 B 2 P 0 null"}));
    ASSERT_TRUE(b.MoveSrcAt(2, 0));
    ASSERT_TRUE(b.MoveSrcAt(&r, &p)); // by plugs: R to P's place
    EXPECT_EQ(Sources(&b), Plugs({&r, &p, &q}));
    // Refused moves change and send nothing.
    ClearLog();
    EXPECT_FALSE(b.MoveSrcAt(1, 1));
    EXPECT_FALSE(b.MoveSrcAt(0, 3));
    EXPECT_FALSE(b.MoveSrcAt(-1, 0));
    EXPECT_FALSE(b.SwapSrc(0, 3));
    EXPECT_FALSE(b.SwapSrc(-1, 0));
    // Swapping a place with itself succeeds and sends nothing.
    EXPECT_TRUE(b.SwapSrc(1, 1));
    EXPECT_TRUE(NotifyLog().empty());
    EXPECT_EQ(Sources(&b), Plugs({&r, &p, &q}));

    EXPECT_TRUE(b.SwapSrc(0, 2));
    EXPECT_EQ(Sources(&b), Plugs({&q, &p, &r}));
    EXPECT_TRUE(b.SwapSrc(1, 0)); // neighbours: one move is enough
    EXPECT_EQ(Sources(&b), Plugs({&p, &q, &r}));
}

TEST(PlugConnect, MoveUpdatesSubPlugViewFirst)
{
    TOtherPlug p("P"), r("R");
    TPlug q("Q"), b("B");
    KPlug* sub = b.SubPlugGetOrCreate(OtherFilter());
    b.ConnectSrc(&p);
    b.ConnectSrc(&q);
    b.ConnectSrc(&r);
    ASSERT_EQ(Sources(sub), Plugs({&p, &r}));
    ClearLog();
    ASSERT_TRUE(b.MoveSrcAt(0, 2));
    EXPECT_EQ(NotifyLog(), Log({"B.sub:14 B.sub 0 P 0 null", "B.sub:15 B.sub 1 P 0 null", "B:14 B 0 P 0 null",
                                "B:15 B 2 P 0 null"}));
    EXPECT_EQ(Sources(sub), Plugs({&r, &p}));
    // Moving on the sub-plug moves the two plugs in the owner.
    ASSERT_TRUE(sub->MoveSrcAt(1, 0));
    EXPECT_EQ(Sources(&b), Plugs({&q, &p, &r}));
    EXPECT_EQ(Sources(sub), Plugs({&p, &r}));
}

TEST(PlugConnect, DuplicatesInsertionAndDisconnectAllByClass)
{
    TPlug a("A"), c("C"), x("X"), y("Y"), b("B");
    b.ConnectSrc(&a);
    b.ConnectSrc(&c);
    b.ConnectSrc(&a);
    EXPECT_EQ(a.GetDstCount(), 2);
    // The last of the duplicates is removed.
    ClearLog();
    ASSERT_TRUE(b.DisconnectSrc(&a));
    EXPECT_EQ(NotifyLog().front(), "B:6 B 2 A 0 null");
    EXPECT_EQ(Sources(&b), Plugs({&a, &c}));
    EXPECT_EQ(a.GetDstCount(), 1);
    EXPECT_TRUE(a.IsConnectedDst(&b));
    EXPECT_FALSE(b.IsConnectedDst(&a));

    ASSERT_TRUE(b.ConnectSrcAt(1, &x));  // before the index
    ASSERT_TRUE(b.ConnectSrcAt(99, &y)); // outside the list: at the end
    EXPECT_EQ(Sources(&b), Plugs({&a, &x, &c, &y}));
    TPlug d1("D1"), d2("D2");
    a.ConnectDst(&d1);
    ASSERT_TRUE(a.ConnectDstAt(0, &d2));
    EXPECT_EQ(a.GetDst(0), &d2);
    // Disconnecting all of a class (a subclass counts).
    TOtherPlug o1("O1"), o2("O2");
    b.ConnectSrc(&o1);
    b.DisconnectAllSrc(TOtherPlug::ClassId);
    EXPECT_EQ(Sources(&b), Plugs({&a, &x, &c, &y}));
    a.ConnectDst(&o2);
    a.DisconnectAllDst(TPlug::ClassId);
    EXPECT_EQ(a.GetDstCount(), 0);
}

TEST(PlugConnect, OneWayConnectionIsRecordedOnlyAtTheDestination)
{
    TPlug a("A"), b("B");
    b.ModifyPlugFlags(KPlug::eOneWayInput, true);
    ClearLog();
    ASSERT_TRUE(b.ConnectSrc(&a));
    EXPECT_EQ(NotifyLog(), Log({"B:0 B -1 A 0 null", "B:2 B -1 A 2 null", "B:4 B 0 A 2 null"}));
    EXPECT_EQ(b.GetSrcType(0), kConnectionOneWay);
    EXPECT_EQ(a.GetDstCount(), 0);
    ClearLog();
    ASSERT_TRUE(b.DisconnectSrc(&a));
    EXPECT_EQ(NotifyLog(), Log({"B:6 B 0 A 0 null", "B:8 B 0 A 0 null"}));
    EXPECT_EQ(b.GetSrcCount(), 0);
    // A destroyed one-way source leaves a dead record, which DisconnectAll skips and keeps.
    TPlug* dead = new TPlug("X");
    b.ConnectSrc(&a);
    b.ConnectSrc(dead);
    dead->Destroy(0);
    EXPECT_EQ(Sources(&b), Plugs({&a, nullptr}));
    b.DisconnectAllSrc();
    EXPECT_EQ(Sources(&b), Plugs({nullptr}));
}

TEST(PlugConnect, VetoesAndStaticRefusalsLeaveListsUnchanged)
{
    TPlug a("A"), b("B");
    b.mAccept = false;
    ClearLog();
    EXPECT_FALSE(b.ConnectSrc(&a));
    EXPECT_EQ(NotifyLog(), Log({"B:0 B -1 A 0 null"}));
    b.mAccept = true;
    a.mAccept = false;
    ClearLog();
    EXPECT_FALSE(b.ConnectSrc(&a));
    EXPECT_EQ(NotifyLog(), Log({"B:0 B -1 A 0 null", "A:1 A -1 B 0 null"}));
    a.mAccept = true;
    EXPECT_EQ(b.GetSrcCount(), 0);
    EXPECT_EQ(a.GetDstCount(), 0);
    // Direction bit: no notification at all.
    b.SetDirection(KPlug::eAcceptDst);
    ClearLog();
    EXPECT_FALSE(b.ConnectSrc(&a));
    EXPECT_TRUE(NotifyLog().empty());
    b.SetDirection(KPlug::eAcceptSrc | KPlug::eAcceptDst);
    // A filter that refuses.
    b.SetFilter(OtherFilter(), 0);
    EXPECT_FALSE(b.IsValidSrc(&a));
    EXPECT_FALSE(b.ConnectSrc(&a));
    TOtherPlug o("O");
    EXPECT_TRUE(b.ConnectSrc(&o));

    EXPECT_FALSE(b.ConnectSrc(&b));
    EXPECT_FALSE(b.ConnectSrc(nullptr));
    EXPECT_FALSE(KPlug::ConnectPlug(nullptr, &b, 0));
}

TEST(PlugConnect, SubPlugIsAFilteredViewInOwnerOrder)
{
    TPlug a("A"), c("C"), b("B");
    TOtherPlug x("X"), y("Y"), z("Z");
    KPlug* sub = b.SubPlugGetOrCreate(OtherFilter());
    EXPECT_EQ(b.SubPlugGetOrCreate(OtherFilter()), sub); // found again, not made twice
    for (KPlugFilter* all : {KPlug_GetFilter(-1), static_cast<KPlugFilter*>(nullptr), KPlug_GetFilter(KPlug::ClassId)})
        EXPECT_EQ(b.SubPlugGetOrCreate(all), &b);
    EXPECT_TRUE(sub->IsSubPlug());
    EXPECT_EQ(sub->GetOwnerPlug(), &b);

    for (KPlug* p : Plugs({&a, &x, &c, &y}))
        b.ConnectSrc(p);
    EXPECT_EQ(Sources(sub), Plugs({&x, &y}));
    // Inserting in the owner at 1 mirrors in the view.
    ASSERT_TRUE(b.ConnectSrcAt(1, &z));
    EXPECT_EQ(Sources(&b), Plugs({&a, &z, &x, &c, &y}));
    EXPECT_EQ(Sources(sub), Plugs({&z, &x, &y}));
    EXPECT_EQ(sub->FindSrcIndexFromOwnerPlugIndex(&b, 3), 2);
    EXPECT_EQ(sub->FindSrcIndexFromOwnerPlugIndex(&b, 5), 3);
    EXPECT_EQ(sub->FindSrcIndexFromOwnerPlugIndex(&b, -1), -1);
    // Connecting to the sub-plug connects the owner; the view's filter
    // refuses plugs of other classes.
    TOtherPlug w("W");
    TPlug v("V");
    ASSERT_TRUE(sub->ConnectSrc(&w));
    EXPECT_EQ(b.GetSrc(5), &w);
    EXPECT_FALSE(sub->ConnectSrc(&v));
    EXPECT_FALSE(b.IsConnectedSrc(&v));
    // Disconnecting through the view acts on the owner.
    ASSERT_TRUE(sub->DisconnectSrc(&x));
    EXPECT_FALSE(b.IsConnectedSrc(&x));
    EXPECT_EQ(Sources(sub), Plugs({&z, &y, &w}));
    // A view made later is filled from the owner's connections.
    TPlug b2("B2");
    b2.ConnectSrc(&a);
    b2.ConnectSrc(&y);
    EXPECT_EQ(Sources(b2.SubPlugGetOrCreate(OtherFilter())), Plugs({&y}));
}

TEST(PlugConnect, RelayedConnectionNotificationNamesTheSubPlug)
{
    TPlug b("B"), s("S");
    TOtherPlug x("X");
    ASSERT_TRUE(b.ConnectOwnedPlug(&s));
    EXPECT_FALSE(b.ConnectOwnedPlug(&s));
    s.SetFilter(OtherFilter(), KPlug::eSubPlug);
    s.mRecord = false;
    ClearLog();
    ASSERT_TRUE(b.ConnectSrc(&x));
    // The sub-plug's notifications reach the owner with the sub-plug as plug.
    EXPECT_EQ(LogLines("B:4 S"), Log({"B:4 S 0 X 0 null"}));
    EXPECT_EQ(b.mLastCallstackPlug, &s);
    // State notifications pass the callstack unchanged (null here).
    s.PlugStateNotify(nullptr, 31, &s, nullptr, nullptr, 0);
    EXPECT_EQ(b.mLastStateCallstack, nullptr);
    EXPECT_TRUE(b.DisconnectOwnedPlug(&s));
    EXPECT_EQ(b.GetSubPlugCount(), 0);
    EXPECT_FALSE(b.DisconnectOwnedPlug(&s));
}

TEST(PlugConnect, AnyNumberOfSubPlugsTakesPart)
{
    TPlug a("A"), b("B");
    std::vector<TPlug*> subs;
    for (int i = 0; i < 300; ++i)
    {
        subs.push_back(new TPlug("s"));
        subs.back()->mRecord = false;
        b.ConnectOwnedPlug(subs.back());
        subs.back()->SetFilter(KPlug_GetFilter(-1), KPlug::eSubPlug);
    }
    ASSERT_EQ(b.GetSubPlugCount(), 300);
    ASSERT_TRUE(b.ConnectSrc(&a));
    for (TPlug* sub : subs)
        ASSERT_EQ(Sources(sub), Plugs({&a}));
    ASSERT_TRUE(b.DisconnectSrc(&a));
    for (TPlug* sub : subs)
        ASSERT_EQ(sub->GetSrcCount(), 0);
    for (TPlug* sub : subs)
        sub->Destroy(0); // detaches itself from the owner
    EXPECT_EQ(b.GetSubPlugCount(), 0);
}

TEST(PlugConnect, ListenersHearUnownedPlugsOldestFirst)
{
    KPlug plain;
    TPlug l1("L1"), l2("L2");
    plain.RegisterNotify(&l1);
    plain.RegisterNotify(&l2);
    ClearLog();
    plain.BeginChange();
    EXPECT_EQ(NotifyLog(), Log({"L1:16 ? -1 null 0 null", "L2:16 ? -1 null 0 null"}));
    // A listener that unregisters the other one during delivery.
    l1.mHook = [](TPlug*, kPlugAction, KPlug* plug, KPlug*) { plug->RemoveNotify(nullptr); };
    plain.RemoveNotify(&l2);
    ClearLog();
    plain.EndChange();
    EXPECT_EQ(NotifyLog(), Log({"L1:17 ? -1 null 0 null"}));
    plain.RemoveNotify(&l1);
    ClearLog();
    plain.EndChange();
    EXPECT_TRUE(NotifyLog().empty());
}

TEST(PlugConnect, DestroyWaitsForTheOperationAndTheLastPostponement)
{
    TPlug b("B");
    b.mHook = DestroyVictim;
    // During a disconnect: the disconnect finishes, then the plug goes.
    TPlug* a = new TPlug("A");
    a->mRecordState = true;
    HdlKPlug hdl(a);
    b.ConnectSrc(a);
    gVictim = a;
    gVictimAction = kPlugSrcDisconnecting;
    ClearLog();
    ASSERT_TRUE(b.DisconnectSrc(a));
    EXPECT_EQ(NotifyLog(),
              Log({"B:6 B 0 A 0 null", "A:7 A 0 B 0 null", "B:8 B 0 A 0 null", "A:9 A 0 B 0 null", "A:state23 A"}));
    EXPECT_EQ(hdl.Get(), nullptr);
    EXPECT_EQ(b.GetSrcCount(), 0);
    // During a connect: the connection is completed, then removed with the plug.
    a = new TPlug("A");
    hdl = HdlKPlug(a);
    gVictim = a;
    gVictimAction = kPlugSrcConnecting;
    ASSERT_TRUE(b.ConnectSrc(a));
    EXPECT_EQ(hdl.Get(), nullptr);
    EXPECT_EQ(b.GetSrcCount(), 0);
    b.mHook = nullptr;

    // Holds are counted; the last to end destroys; a null hold holds nothing.
    a = new TPlug("A");
    hdl = HdlKPlug(a);
    {
        KPostponedDestroy outer(a), none(nullptr);
        {
            KPostponedDestroy inner(a);
            a->Destroy(0);
        }
        EXPECT_EQ(hdl.Get(), a);
        EXPECT_EQ(a->GetPostponedDestroyCount(), 1);
    }
    EXPECT_EQ(hdl.Get(), nullptr);
}

TEST(PlugConnect, ManySourcesConnectAndDisconnectInEitherOrder)
{
    TPlug dst("D");
    dst.mRecord = false;
    const int n = 2000;
    std::vector<TPlug*> plugs;
    for (int i = 0; i < n; ++i)
    {
        plugs.push_back(new TPlug("s"));
        plugs.back()->mRecord = false;
        ASSERT_TRUE(dst.ConnectSrc(plugs.back()));
    }
    // Every other one from the front, then the rest from the back.
    for (int i = 0; i < n; i += 2)
        ASSERT_TRUE(dst.DisconnectSrc(plugs[i]));
    for (int i = 0; i < n / 2; ++i)
        ASSERT_EQ(dst.GetSrc(i), plugs[2 * i + 1]);
    for (int i = n - 1; i >= 1; i -= 2)
        ASSERT_TRUE(plugs[i]->DisconnectDst(&dst));
    EXPECT_EQ(dst.GetSrcCount(), 0);
    for (TPlug* p : plugs)
        p->Destroy(0);
}
