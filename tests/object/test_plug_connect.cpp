// Connection operations of plugs: exact notification sequences, sub-plug
// views, one-way connections, vetoes, postponed destruction.

#include <gtest/gtest.h>

#include "object/kproperty.h"
#include "object_test_helpers.h"

typedef std::vector<std::string> Log;

namespace {

KPlugFilter* OtherFilter()
{
    return KPlug_GetFilter(TOtherPlug::ClassId);
}

std::vector<KPlug*> Sources(KPlug* plug)
{
    std::vector<KPlug*> out;
    for (int i = 0; i < plug->GetSrcCount(); ++i)
        out.push_back(plug->GetSrc(i));
    return out;
}

} // namespace

TEST(PlugConnect, ConnectNotifiesBothEndsThenSubPlugs)
{
    TPlug a("A"), b("B");
    KPlug* sub = b.SubPlugGetOrCreate(KPlug_GetFilter(TPlug::ClassId));
    ASSERT_NE(sub, nullptr);
    ASSERT_NE(sub, &b);
    ClearLog();
    ASSERT_TRUE(b.ConnectSrc(&a));
    Log expected = {
        "B:0 B -1 A 0 null",         "A:1 A -1 B 0 null",         "B:2 B -1 A 0 null",
        "A:3 A -1 B 0 null",         "B.sub:0 B.sub -1 A 0 null", "B.sub:2 B.sub -1 A 0 null",
        "B:4 B 0 A 0 null",          "A:5 A 0 B 0 null",          "B.sub:4 B.sub 0 A 0 null",
    };
    EXPECT_EQ(NotifyLog(), expected);
    EXPECT_EQ(b.GetSrcCount(), 1);
    EXPECT_EQ(a.GetDstCount(), 1);
    EXPECT_EQ(b.GetSrc(0), &a);
    EXPECT_EQ(a.GetDst(0), &b);
    ASSERT_EQ(sub->GetSrcCount(), 1);
    EXPECT_EQ(sub->GetSrc(0), &a);
}

TEST(PlugConnect, DisconnectNotifiesWithOldIndexes)
{
    TPlug a("A"), c("C"), b("B");
    KPlug* sub = b.SubPlugGetOrCreate(KPlug_GetFilter(TPlug::ClassId));
    ASSERT_TRUE(b.ConnectSrc(&c));
    ASSERT_TRUE(b.ConnectSrc(&a));
    ClearLog();
    ASSERT_TRUE(b.DisconnectSrc(&a));
    Log expected = {
        "B:6 B 1 A 0 null",          "A:7 A 0 B 0 null",         "B.sub:6 B.sub -1 A 0 null",
        "B:8 B 1 A 0 null",          "A:9 A 0 B 0 null",         "B.sub:8 B.sub 1 A 0 null",
    };
    EXPECT_EQ(NotifyLog(), expected);
    EXPECT_EQ(Sources(&b), std::vector<KPlug*>({&c}));
    EXPECT_EQ(Sources(sub), std::vector<KPlug*>({&c}));
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
    Log expected = {
        "B:12 B -1 A 0 D", "A:10 A -1 B 0 D",                                        // begin pair
        "B:6 B 0 A 0 null", "A:7 A 0 B 0 null", "B:8 B 0 A 0 null", "A:9 A 0 B 0 null", // disconnect
        "B:0 B -1 D 0 null", "D:1 D -1 B 0 null", "B:2 B -1 D 0 null", "D:3 D -1 B 0 null",
        "B:4 B 0 D 0 null", "D:5 D 0 B 0 null",                                      // connect before C
        "B:13 B -1 A 0 D", "A:11 A -1 B 0 D",                                        // end pair
    };
    EXPECT_EQ(NotifyLog(), expected);
    EXPECT_EQ(Sources(&b), std::vector<KPlug*>({&d, &c}));
    // The replaced connection's type is not kept.
    EXPECT_EQ(b.GetSrcType(0), 0);
    EXPECT_EQ(a.GetDstCount(), 0);
}

TEST(PlugConnect, ReplaceAtCountConnectsAtEnd)
{
    TPlug a("A"), d("D"), b("B");
    ASSERT_TRUE(b.ConnectSrc(&a));
    ClearLog();
    ASSERT_TRUE(b.ReplaceSrcAt(1, &d));
    EXPECT_EQ(Sources(&b), std::vector<KPlug*>({&a, &d}));
    EXPECT_EQ(NotifyLog().front(), "B:0 B -1 D 0 null"); // a plain connect: no replace pair
    EXPECT_FALSE(b.ReplaceSrcAt(-1, &d));
}

TEST(PlugConnect, ReplaceInDstTellsDestinationEndFirst)
{
    TPlug s("S"), old("O"), nu("N");
    ASSERT_TRUE(s.ConnectDst(&old));
    ClearLog();
    ASSERT_TRUE(s.ReplaceDstAt(0, &nu));
    Log& log = NotifyLog();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], "O:12 O -1 S 0 N");
    EXPECT_EQ(log[1], "S:10 S -1 O 0 N");
    EXPECT_EQ(log[log.size() - 2], "O:13 O -1 S 0 N");
    EXPECT_EQ(log[log.size() - 1], "S:11 S -1 O 0 N");
    EXPECT_EQ(s.GetDstCount(), 1);
    EXPECT_EQ(s.GetDst(0), &nu);
    EXPECT_EQ(old.GetSrcCount(), 0);
}

TEST(PlugConnect, ReplaceOfAbsentPlugFails)
{
    TPlug a("A"), d("D"), b("B");
    ClearLog();
    EXPECT_FALSE(b.ReplaceInSrc(&a, &d, -1));
    EXPECT_TRUE(NotifyLog().empty());
}

TEST(PlugConnect, MoveSendsFourteenAndFifteen)
{
    TPlug p("P"), q("Q"), r("R"), b("B");
    b.ConnectSrc(&p);
    b.ConnectSrc(&q);
    b.ConnectSrc(&r);
    ClearLog();
    ASSERT_TRUE(b.MoveSrcAt(0, 2));
    EXPECT_EQ(Sources(&b), std::vector<KPlug*>({&q, &r, &p}));
    EXPECT_EQ(NotifyLog(), Log({"B:14 B 0 P 0 null", "B:15 B 2 P 0 null"}));
    ClearLog();
    ASSERT_TRUE(b.MoveSrcAt(2, 0));
    EXPECT_EQ(Sources(&b), std::vector<KPlug*>({&p, &q, &r}));
    EXPECT_EQ(NotifyLog(), Log({"B:14 B 2 P 0 null", "B:15 B 0 P 0 null"}));
    // From [P, Q, R], MoveSrcAt(2, 0) gives [R, P, Q].
    ASSERT_TRUE(b.MoveSrcAt(2, 0));
    EXPECT_EQ(Sources(&b), std::vector<KPlug*>({&r, &p, &q}));
    ClearLog();
    EXPECT_FALSE(b.MoveSrcAt(1, 1));
    EXPECT_FALSE(b.MoveSrcAt(0, 3));
    EXPECT_FALSE(b.MoveSrcAt(-1, 0));
    EXPECT_TRUE(NotifyLog().empty());
    // By plugs.
    ASSERT_TRUE(b.MoveSrcAt(&q, &r));
    EXPECT_EQ(Sources(&b), std::vector<KPlug*>({&q, &r, &p}));
}

TEST(PlugConnect, MoveUpdatesSubPlugViewFirst)
{
    TOtherPlug p("P"), r("R");
    TPlug q("Q"), b("B");
    KPlug* sub = b.SubPlugGetOrCreate(OtherFilter());
    b.ConnectSrc(&p);
    b.ConnectSrc(&q);
    b.ConnectSrc(&r);
    ASSERT_EQ(Sources(sub), std::vector<KPlug*>({&p, &r}));
    ClearLog();
    ASSERT_TRUE(b.MoveSrcAt(0, 2));
    EXPECT_EQ(NotifyLog(), Log({"B.sub:14 B.sub 0 P 0 null", "B.sub:15 B.sub 1 P 0 null", "B:14 B 0 P 0 null",
                                "B:15 B 2 P 0 null"}));
    EXPECT_EQ(Sources(sub), std::vector<KPlug*>({&r, &p}));
    // Moving on the sub-plug moves the two plugs in the owner.
    ASSERT_TRUE(sub->MoveSrcAt(1, 0));
    EXPECT_EQ(Sources(&b), std::vector<KPlug*>({&q, &p, &r}));
    EXPECT_EQ(Sources(sub), std::vector<KPlug*>({&p, &r}));
}

TEST(PlugConnect, SwapExchangesAndSelfSwapChangesNothing)
{
    TPlug a("A"), b("B"), c("C"), d("D");
    d.ConnectSrc(&a);
    d.ConnectSrc(&b);
    d.ConnectSrc(&c);
    ClearLog();
    EXPECT_TRUE(d.SwapSrc(1, 1));
    EXPECT_TRUE(NotifyLog().empty());
    EXPECT_EQ(Sources(&d), std::vector<KPlug*>({&a, &b, &c}));
    EXPECT_TRUE(d.SwapSrc(0, 2));
    EXPECT_EQ(Sources(&d), std::vector<KPlug*>({&c, &b, &a}));
    EXPECT_TRUE(d.SwapSrc(1, 0)); // neighbours: one move is enough
    EXPECT_EQ(Sources(&d), std::vector<KPlug*>({&b, &c, &a}));
    EXPECT_TRUE(d.SwapSrc(2, 2));
    EXPECT_EQ(Sources(&d), std::vector<KPlug*>({&b, &c, &a}));
    // A refused move is reported.
    EXPECT_FALSE(d.SwapSrc(0, 3));
    EXPECT_FALSE(d.SwapSrc(-1, 0));
}

TEST(PlugConnect, DuplicateConnectionsAreKeptAndTheLastIsRemoved)
{
    TPlug a("A"), c("C"), b("B");
    b.ConnectSrc(&a);
    b.ConnectSrc(&c);
    b.ConnectSrc(&a);
    EXPECT_EQ(b.GetSrcCount(), 3);
    EXPECT_EQ(a.GetDstCount(), 2);
    ClearLog();
    ASSERT_TRUE(b.DisconnectSrc(&a));
    EXPECT_EQ(NotifyLog().front(), "B:6 B 2 A 0 null");
    EXPECT_EQ(Sources(&b), std::vector<KPlug*>({&a, &c}));
    EXPECT_EQ(a.GetDstCount(), 1);
    EXPECT_TRUE(b.IsConnectedSrc(&a));
    EXPECT_TRUE(a.IsConnectedDst(&b));
    EXPECT_FALSE(b.IsConnectedDst(&a));
}

TEST(PlugConnect, ConnectAtInsertsBeforeIndex)
{
    TPlug a("A"), c("C"), x("X"), b("B");
    b.ConnectSrc(&a);
    b.ConnectSrc(&c);
    ASSERT_TRUE(b.ConnectSrcAt(1, &x));
    EXPECT_EQ(Sources(&b), std::vector<KPlug*>({&a, &x, &c}));
    TPlug y("Y");
    ASSERT_TRUE(b.ConnectSrcAt(99, &y)); // outside the list: at the end
    EXPECT_EQ(b.GetSrc(3), &y);
    TPlug d1("D1"), d2("D2");
    a.ConnectDst(&d1);
    ASSERT_TRUE(a.ConnectDstAt(0, &d2));
    EXPECT_EQ(a.GetDst(0), &d2);
}

TEST(PlugConnect, OneWayConnectionIsRecordedOnlyAtTheDestination)
{
    TPlug a("A"), b("B");
    b.ModifyPlugFlags(KPlug::eOneWayInput, true);
    ClearLog();
    ASSERT_TRUE(b.ConnectSrc(&a));
    EXPECT_EQ(NotifyLog(), Log({"B:0 B -1 A 0 null", "B:2 B -1 A 2 null", "B:4 B 0 A 2 null"}));
    EXPECT_EQ(b.GetSrcCount(), 1);
    EXPECT_EQ(b.GetSrcType(0), kConnectionOneWay);
    EXPECT_EQ(a.GetDstCount(), 0);
    ClearLog();
    ASSERT_TRUE(b.DisconnectSrc(&a));
    EXPECT_EQ(NotifyLog(), Log({"B:6 B 0 A 0 null", "B:8 B 0 A 0 null"}));
    EXPECT_EQ(b.GetSrcCount(), 0);
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
    EXPECT_EQ(b.SubPlugGetOrCreate(KPlug_GetFilter(-1)), &b);
    EXPECT_EQ(b.SubPlugGetOrCreate(nullptr), &b);
    EXPECT_EQ(b.SubPlugGetOrCreate(KPlug_GetFilter(KPlug::ClassId)), &b);
    EXPECT_TRUE(sub->IsSubPlug());
    EXPECT_EQ(sub->GetOwnerPlug(), &b);

    b.ConnectSrc(&a);
    b.ConnectSrc(&x);
    b.ConnectSrc(&c);
    b.ConnectSrc(&y);
    EXPECT_EQ(Sources(sub), std::vector<KPlug*>({&x, &y}));
    // Inserting in the owner at 1 mirrors in the view.
    ASSERT_TRUE(b.ConnectSrcAt(1, &z));
    EXPECT_EQ(Sources(&b), std::vector<KPlug*>({&a, &z, &x, &c, &y}));
    EXPECT_EQ(Sources(sub), std::vector<KPlug*>({&z, &x, &y}));
    EXPECT_EQ(sub->FindSrcIndexFromOwnerPlugIndex(&b, 3), 2);
    EXPECT_EQ(sub->FindSrcIndexFromOwnerPlugIndex(&b, 5), 3);
    EXPECT_EQ(sub->FindSrcIndexFromOwnerPlugIndex(&b, -1), -1);

    // Connecting to the sub-plug connects the owner; the view's filter
    // refuses plugs of other classes.
    TOtherPlug w("W");
    TPlug v("V");
    ASSERT_TRUE(sub->ConnectSrc(&w));
    EXPECT_EQ(b.GetSrc(5), &w);
    EXPECT_EQ(sub->GetSrc(3), &w);
    EXPECT_FALSE(sub->ConnectSrc(&v));
    EXPECT_FALSE(b.IsConnectedSrc(&v));

    // Disconnecting through the view acts on the owner.
    ASSERT_TRUE(sub->DisconnectSrc(&x));
    EXPECT_FALSE(b.IsConnectedSrc(&x));
    EXPECT_EQ(Sources(sub), std::vector<KPlug*>({&z, &y, &w}));

    // A view made later is filled from the owner's connections.
    TPlug b2("B2");
    b2.ConnectSrc(&a);
    b2.ConnectSrc(&y);
    KPlug* late = b2.SubPlugGetOrCreate(OtherFilter());
    EXPECT_EQ(Sources(late), std::vector<KPlug*>({&y}));
}

TEST(PlugConnect, RelayedConnectionNotificationNamesTheSubPlug)
{
    TPlug b("B"), s("S");
    TOtherPlug x("X");
    ASSERT_TRUE(b.ConnectOwnedPlug(&s));
    EXPECT_FALSE(b.ConnectOwnedPlug(&s));
    s.SetFilter(OtherFilter(), KPlug::eSubPlug);
    ASSERT_EQ(b.GetSubPlugCount(), 1);
    s.mRecord = false;
    ClearLog();
    ASSERT_TRUE(b.ConnectSrc(&x));
    // The sub-plug's notifications reach the owner with the sub-plug as plug.
    bool sawRelayed = false;
    for (const std::string& line : NotifyLog())
        if (line == "B:4 S 0 X 0 null")
            sawRelayed = true;
    EXPECT_TRUE(sawRelayed);
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
    const int kSubs = 300;
    std::vector<TPlug*> subs;
    for (int i = 0; i < kSubs; ++i)
    {
        TPlug* sub = new TPlug("s");
        sub->mRecord = false;
        b.ConnectOwnedPlug(sub);
        sub->SetFilter(KPlug_GetFilter(-1), KPlug::eSubPlug);
        subs.push_back(sub);
    }
    ASSERT_EQ(b.GetSubPlugCount(), kSubs);
    ASSERT_TRUE(b.ConnectSrc(&a));
    for (TPlug* sub : subs)
        ASSERT_EQ(Sources(sub), std::vector<KPlug*>({&a}));
    ASSERT_TRUE(b.DisconnectSrc(&a));
    for (TPlug* sub : subs)
        ASSERT_EQ(sub->GetSrcCount(), 0);
    for (TPlug* sub : subs)
        sub->Destroy(0); // detaches itself from the owner
    EXPECT_EQ(b.GetSubPlugCount(), 0);
}

TEST(PlugConnect, DisconnectAllSkipsDeadRecordsAndLeavesThem)
{
    TPlug a("A"), b("B");
    TPlug* c = new TPlug("C");
    b.ModifyPlugFlags(KPlug::eOneWayInput, true);
    b.ConnectSrc(&a);
    b.ConnectSrc(c);
    c->Destroy(0); // a one-way source does not know its destination
    ASSERT_EQ(b.GetSrcCount(), 2);
    EXPECT_EQ(b.GetSrc(1), nullptr);
    b.DisconnectAllSrc();
    ASSERT_EQ(b.GetSrcCount(), 1);
    EXPECT_EQ(b.GetSrc(0), nullptr);
}

TEST(PlugConnect, DisconnectAllByClass)
{
    TPlug a("A"), b("B");
    TOtherPlug x("X");
    b.ConnectSrc(&a);
    b.ConnectSrc(&x);
    b.DisconnectAllSrc(TOtherPlug::ClassId);
    EXPECT_EQ(Sources(&b), std::vector<KPlug*>({&a}));
    TPlug d1("D1");
    TOtherPlug d2("D2");
    a.ConnectDst(&d1);
    a.ConnectDst(&d2);
    a.DisconnectAllDst(TPlug::ClassId); // TOtherPlug is a TPlug too
    EXPECT_EQ(a.GetDstCount(), 0);
}

TEST(PlugConnect, ListenersHearUnownedPlugsOldestFirst)
{
    KPlug plain;
    TPlug l1("L1"), l2("L2"), a("A");
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

namespace {
TPlug* gVictim = nullptr;
}

TEST(PlugConnect, PlugDestroyedByListenerDuringDisconnectDiesAfterIt)
{
    TPlug b("B");
    TPlug* a = new TPlug("A");
    a->mRecordState = true;
    gVictim = a;
    b.ConnectSrc(a);
    HdlKPlug hdl(a);
    b.mHook = [](TPlug*, kPlugAction action, KPlug*, KPlug*) {
        if (action == kPlugSrcDisconnecting && gVictim)
        {
            TPlug* victim = gVictim;
            gVictim = nullptr;
            victim->Destroy(0);
        }
    };
    ClearLog();
    ASSERT_TRUE(b.DisconnectSrc(a));
    b.mHook = nullptr;
    Log expected = {"B:6 B 0 A 0 null", "A:7 A 0 B 0 null", "B:8 B 0 A 0 null", "A:9 A 0 B 0 null",
                    "A:state23 A"};
    EXPECT_EQ(NotifyLog(), expected);
    EXPECT_EQ(hdl.Get(), nullptr);
    EXPECT_EQ(b.GetSrcCount(), 0);
}

TEST(PlugConnect, PlugDestroyedByListenerDuringConnectDiesAfterIt)
{
    TPlug b("B");
    TPlug* a = new TPlug("A");
    gVictim = a;
    HdlKPlug hdl(a);
    b.mHook = [](TPlug*, kPlugAction action, KPlug*, KPlug*) {
        if (action == kPlugSrcConnecting && gVictim)
        {
            TPlug* victim = gVictim;
            gVictim = nullptr;
            victim->Destroy(0);
        }
    };
    ASSERT_TRUE(b.ConnectSrc(a));
    b.mHook = nullptr;
    // The connection was completed, then the plug destroyed, which removed it.
    EXPECT_EQ(hdl.Get(), nullptr);
    EXPECT_EQ(b.GetSrcCount(), 0);
}

TEST(PlugConnect, PostponedDestroyCounts)
{
    TPlug* a = new TPlug("A");
    HdlKPlug hdl(a);
    a->PostponedDestroyBegin();
    a->PostponedDestroyBegin();
    a->Destroy(0);
    EXPECT_EQ(hdl.Get(), a);
    a->PostponedDestroyEnd();
    EXPECT_EQ(hdl.Get(), a);
    EXPECT_EQ(a->GetPostponedDestroyCount(), 1);
    a->PostponedDestroyEnd();
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
    ASSERT_EQ(dst.GetSrcCount(), n / 2);
    for (int i = 0; i < n / 2; ++i)
        ASSERT_EQ(dst.GetSrc(i), plugs[2 * i + 1]);
    for (int i = n - 1; i >= 1; i -= 2)
        ASSERT_TRUE(plugs[i]->DisconnectDst(&dst));
    EXPECT_EQ(dst.GetSrcCount(), 0);
    for (TPlug* p : plugs)
        p->Destroy(0);
}
