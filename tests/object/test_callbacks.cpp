// Callback lists: order, every re-entrancy case, masks and the consumed
// flag; the process-wide event facilities.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "base/kset.h"
#include "object/kcallback.h"
#include "object_test_helpers.h"
#include "common/qox_test_threads.h"

namespace {

typedef std::vector<std::string> Calls;
Calls gCalls;
RegisterEntryList* gList = nullptr;
int gDepth = 0; // walks of gList running

// What a callback does to the list it is called from, after recording its name.
enum Act
{
    kNothing,
    kRemoveTarget,       // removes mTarget
    kRemoveTargetNested, // removes mTarget, only from a nested walk
    kAddTargetOnce,      // adds mTarget, the first time only
    kAddTargetWithEvent, // adds mTarget with an event of its own
    kDeleteList,
    kRemoveAll,
    kCallListOnce, // calls the list again, the first time only
    kConsume,
};

class Cb : public TCallback
{
public:
    explicit Cb(const std::string& name)
        : mName(name)
    {}
    void OnEvent(IRegister*, KEventBase* event);
    void Other(IRegister*, KEventBase*) { gCalls.push_back(mName + "-other"); }

    std::string mName;
    Act mAct = kNothing;
    Cb* mTarget = nullptr;
};

const ICallbackMethod kOnEvent = static_cast<ICallbackMethod>(&Cb::OnEvent);
const ICallbackMethod kOther = static_cast<ICallbackMethod>(&Cb::Other);

void Cb::OnEvent(IRegister*, KEventBase* event)
{
    gCalls.push_back(mName);
    KEventBase inner(2);
    switch (mAct)
    {
    case kNothing: break;
    case kRemoveTargetNested:
        if (gDepth == 2)
            gList->Remove(mTarget, kOnEvent);
        break;
    case kRemoveTarget: gList->Remove(mTarget, kOnEvent); break;
    case kAddTargetOnce:
        gList->Add(mTarget, kOnEvent, kCallbackAllEvents);
        mAct = kNothing;
        break;
    case kAddTargetWithEvent: gList->Add(mTarget, kOnEvent, new KEventBase(3)); break;
    case kDeleteList:
        delete gList;
        gList = nullptr;
        break;
    case kRemoveAll: gList->RemoveAll(); break;
    case kCallListOnce:
        mAct = kNothing;
        ++gDepth;
        gList->Call(nullptr, &inner);
        --gDepth;
        break;
    case kConsume: event->mConsumed = true; break;
    }
}

} // namespace

// Each case: callbacks a, b, c[, d] in a list made on the heap; one callback
// acts on the list during the call. The calls made, the entries left (-1: the
// list is gone) and, when given, the calls of a second call.
TEST(CallbackList, EveryReentrancyCase)
{
    const struct
    {
        const char* mWhat;
        int mCount;
        int mActor;
        Act mAct;
        int mTarget;
        Calls mCalls;
        int mLeft;
        Calls mSecond;
    } cases[] = {
        {"oldest registration first", 3, 1, kNothing, 0, {"a", "b", "c"}, 3, {}},
        {"b removes itself", 3, 1, kRemoveTarget, 1, {"a", "b", "c"}, 2, {"a", "c"}},
        {"b removes c, not called yet", 4, 1, kRemoveTarget, 2, {"a", "b", "d"}, 3, {}},
        {"b removes a, called already", 3, 1, kRemoveTarget, 0, {"a", "b", "c"}, 2, {}},
        {"b adds d: called from the next call on", 3, 1, kAddTargetOnce, 3, {"a", "b", "c"}, 4, {"a", "b", "c", "d"}},
        {"b destroys the list", 3, 1, kDeleteList, 0, {"a", "b"}, -1, {}},
        {"b empties the list", 3, 1, kRemoveAll, 0, {"a", "b"}, 0, {}},
        {"b calls the list again", 3, 1, kCallListOnce, 0, {"a", "b", "a", "b", "c", "c"}, 3, {}},
        {"a removes c in the nested walk", 4, 0, kRemoveTargetNested, 2, {"a", "b", "a", "b", "d", "d"}, 3, {}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.mWhat);
        Cb cbs[4] = {Cb("a"), Cb("b"), Cb("c"), Cb("d")};
        gList = new RegisterEntryList();
        for (int i = 0; i < c.mCount; ++i)
            gList->Add(&cbs[i], kOnEvent, kCallbackAllEvents);
        cbs[c.mActor].mAct = c.mAct;
        cbs[c.mActor].mTarget = &cbs[c.mTarget];
        if (c.mAct == kRemoveTargetNested)
            cbs[1].mAct = kCallListOnce;
        gCalls.clear();
        gDepth = 1;
        KEventBase event(1);
        EXPECT_EQ(gList->Call(nullptr, &event), 0);
        EXPECT_EQ(gCalls, c.mCalls);
        EXPECT_EQ(gList ? gList->GetCount() : -1, c.mLeft);
        if (!c.mSecond.empty())
        {
            gCalls.clear();
            gList->Call(nullptr, &event);
            EXPECT_EQ(gCalls, c.mSecond);
        }
        delete gList;
        gList = nullptr;
    }
}

TEST(CallbackList, RemoveMasksConsumedFlagAndDraining)
{
    RegisterEntryList list;
    gList = &list;
    Cb a("a"), b("b"), c("c");
    KEventBase event(7);
    // Remove matches object and method.
    list.Add(&a, kOnEvent, kCallbackAllEvents);
    list.Add(&a, kOther, kCallbackAllEvents);
    EXPECT_EQ(list.Remove(&b, kOnEvent), 1);
    EXPECT_EQ(list.Remove(&a, kOnEvent), 0);
    EXPECT_EQ(list.Remove(&a, kOnEvent), 1);
    gCalls.clear();
    list.Call(nullptr, &event);
    EXPECT_EQ(gCalls, Calls({"a-other"}));
    list.RemoveAll();
    // The consumed flag stops a call, but not a masked one.
    list.Add(&a, kOnEvent, 1);
    list.Add(&b, kOnEvent, 2);
    list.Add(&c, kOnEvent, 3);
    a.mAct = kConsume;
    gCalls.clear();
    list.Call(nullptr, &event);
    EXPECT_EQ(gCalls, Calls({"a"}));
    const int masks[] = {1, 2};
    const Calls masked[] = {{"a", "c"}, {"b", "c"}};
    for (int i = 0; i < 2; ++i)
    {
        gCalls.clear();
        event.mConsumed = false;
        list.Call(nullptr, &event, masks[i]);
        EXPECT_EQ(gCalls, masked[i]) << masks[i];
    }
    list.RemoveAll();
    // Each entry's own event, once, newest first; one added meanwhile too.
    a.mAct = kNothing;
    list.Add(&a, kOnEvent, new KEventBase(1));
    list.Add(&b, kOnEvent, new KEventBase(2));
    b.mAct = kAddTargetWithEvent;
    b.mTarget = &c;
    gCalls.clear();
    list.CallEventOnceThenRemove();
    EXPECT_EQ(gCalls, Calls({"b", "c", "a"}));
    EXPECT_EQ(list.GetCount(), 0);
    gList = nullptr;
}

TEST(CallbackList, RemovedEntriesLeaveTheCallersEventAlone)
{
    // An event handed to Add stays the caller's: removing the entry, or all
    // entries, must not free it (here it lives on the stack).
    RegisterEntryList list;
    Cb a("a"), b("b");
    KEventBase mine(4);
    list.Add(&a, kOnEvent, &mine);
    list.Add(&b, kOnEvent, &mine);
    EXPECT_EQ(list.Remove(&a, kOnEvent), 0);
    list.RemoveAll();
    EXPECT_EQ(mine.mType, 4);
}

namespace {
std::vector<int> gPlain;
void Plain(void* data)
{
    gPlain.push_back(static_cast<int>(reinterpret_cast<intptr_t>(data)));
}
unsigned int gLastValue = 0;
class Deferred : public Cb
{
public:
    Deferred()
        : Cb("deferred")
    {}
    void Take(IRegister* sender, KEventBase* event)
    {
        if (!sender && event && event->mType == KEventGlobal::eType)
            gLastValue = static_cast<KEventGlobal*>(event)->mValue;
        gCalls.push_back("v" + std::to_string(gLastValue));
    }
};
} // namespace

TEST(GlobalEvents, DeferredEventsNewestFirstThenPlainCallsLastAddedFirst)
{
    gCalls.clear();
    gPlain.clear();
    Deferred d;
    ICallbackMethod take = static_cast<ICallbackMethod>(&Deferred::Take);
    GlobalEventAdd(&d, take, nullptr, 1);
    GlobalEventAdd(&d, take, nullptr, 2);
    GlobalEventAdd(Plain, reinterpret_cast<void*>(10));
    GlobalEventAdd(Plain, reinterpret_cast<void*>(20));
    GlobalEventCall();
    EXPECT_EQ(gCalls, Calls({"v2", "v1"}));
    EXPECT_EQ(gPlain, std::vector<int>({20, 10}));
    EXPECT_EQ(GetGlobalEventList()->GetCount(), 0);
    EXPECT_EQ(GetGlobalCallbackList()->GetCount(), 0);
}

TEST(GlobalEvents, NamedEvents)
{
    gCalls.clear();
    Cb a("a");
    KEventBase event(5);
    EXPECT_EQ(GlobalNamedEventCall("Unknown", nullptr, &event), 0);
    {
        KGlobalNamedEvent registration;
        ASSERT_TRUE(registration.Register("Saved", &a, kOnEvent));
        EXPECT_EQ(GlobalNamedEventCall("SAVED", nullptr, &event), 1); // names ignore case
        EXPECT_EQ(gCalls, Calls({"a"}));
        EXPECT_TRUE(registration.Unregister());
        EXPECT_FALSE(registration.Unregister());
        // The emptied list went with its name.
        EXPECT_EQ(GlobalNamedEventCall("Saved", nullptr, &event), 0);
        ASSERT_TRUE(registration.Register("Saved", &a, kOnEvent));
    } // the destructor unregisters
    EXPECT_EQ(GlobalNamedEventCall("Saved", nullptr, &event), 0);
    EXPECT_EQ(GlobalNamedEventAdd("Loaded"), 1);
    EXPECT_EQ(GlobalNamedEventCall("Loaded", nullptr, &event), 1);
    EXPECT_EQ(GlobalNamedEventRemove("Loaded"), 1);
    EXPECT_EQ(GlobalNamedEventRemove("Loaded"), 0);
    GlobalNamedEventAdd("x");
    GlobalNamedEventAdd("y");
    EXPECT_EQ(GlobalNamedEventClear(), 0);
    EXPECT_EQ(GetGlobalNamedEventList()->GetCount(), 0);
}

namespace {

class Counter : public TCallback
{
public:
    void OnEvent(IRegister*, KEventBase*) { ++mCalls; }
    std::atomic<int> mCalls{0};
};

const ICallbackMethod kCount = static_cast<ICallbackMethod>(&Counter::OnEvent);

} // namespace

TEST(GlobalEvents, NamedEventsFromThreadsAtOnce)
{
    // Threads let go together call named events and register and drop their
    // own. A lookup sorts what was added since the last one, so each round
    // first adds a name out of order, and every thread's first lookup finds
    // it so.
    const int threadCount = 4;
    const int rounds = 150;
    Counter fixed;
    KGlobalNamedEvent zone;
    ASSERT_TRUE(zone.Register("Zone", &fixed, kCount));
    std::atomic<int> failures{0};
    KEventBase event(1);
    for (int round = 0; round < rounds && failures == 0; ++round)
    {
        GlobalNamedEventAdd("A Round"); // before "Zone", the last name
        qoxtest::RunAtOnce(threadCount, [&](int t) {
            bool right = GlobalNamedEventCall("a round", nullptr, &event) == 1 &&
                         GlobalNamedEventCall("Zone", nullptr, &event) == 1;
            Counter own;
            std::string name = "Thread " + std::to_string(t);
            for (int i = 0; i < 10; ++i)
            {
                KGlobalNamedEvent registration;
                right = right && registration.Register(name.c_str(), &own, kCount) &&
                        GlobalNamedEventCall(name.c_str(), nullptr, &event) == 1 && registration.Unregister();
            }
            if (!right || own.mCalls != 10)
                ++failures;
        });
        // Each name once, in name order: the round's and "Zone".
        KCharPtrSet* table = GetGlobalNamedEventList();
        ASSERT_EQ(2, table->GetCount()) << "round " << round;
        char* key = nullptr;
        table->GetFromIndex(0, &key);
        ASSERT_STREQ("A Round", key) << "round " << round;
        table->GetFromIndex(1, &key);
        ASSERT_STREQ("Zone", key) << "round " << round;
        ASSERT_EQ(1, GlobalNamedEventRemove("A Round"));
    }
    EXPECT_EQ(0, failures);
    EXPECT_EQ(threadCount * rounds, fixed.mCalls);
}

TEST(GlobalEventsDeathTest, NothingAfterTheGlobalsAreDestroyed)
{
    EXPECT_EXIT(
        {
            Cb a("a");
            GlobalNamedEventAdd("n");
            DestroyKEventGlobals();
            bool ok = GetGlobalEventList() == nullptr && GetGlobalNamedEventList() == nullptr &&
                      GetGlobalCallbackList() == nullptr;
            GlobalEventAdd(&a, kOnEvent, nullptr, 1);
            GlobalEventAdd(Plain, nullptr);
            KEventBase event(1);
            ok = ok && GlobalNamedEventCall("n", nullptr, &event) == 0 && GlobalNamedEventAdd("m") == 0;
            KGlobalNamedEvent registration;
            ok = ok && !registration.Register("n", &a, kOnEvent);
            GlobalEventCall();
            ok = ok && GetGlobalEventList() == nullptr;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
