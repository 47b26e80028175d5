// Callback lists: order, every re-entrancy case, masks and the consumed
// flag; the process-wide event facilities.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/kset.h"
#include "object/kcallback.h"

namespace {

std::vector<std::string> gCalls;

class Cb : public ICallback
{
public:
    explicit Cb(const std::string& name) : mName(name) {}
    IKObject* IQuery(unsigned long, int) override { return this; }
    void Destroy(int) override {}

    void OnEvent(IRegister*, KEventBase* event)
    {
        gCalls.push_back(mName);
        if (mAction)
            mAction(this, event);
    }
    void Other(IRegister*, KEventBase*) { gCalls.push_back(mName + "-other"); }

    std::string mName;
    void (*mAction)(Cb* self, KEventBase* event) = nullptr;
};

const ICallbackMethod kOnEvent = static_cast<ICallbackMethod>(&Cb::OnEvent);
const ICallbackMethod kOther = static_cast<ICallbackMethod>(&Cb::Other);

RegisterEntryList* gList = nullptr;
Cb* gTarget = nullptr;
int gNested = 0;

} // namespace

class CallbackList : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gCalls.clear();
        gList = &list;
    }
    RegisterEntryList list;
    Cb a{"a"}, b{"b"}, c{"c"}, d{"d"};
    KEventBase event{7};
};

TEST_F(CallbackList, OldestRegistrationIsCalledFirst)
{
    list.Add(&a, kOnEvent, kCallbackAllEvents);
    list.Add(&b, kOnEvent, kCallbackAllEvents);
    list.Add(&c, kOnEvent, kCallbackAllEvents);
    EXPECT_EQ(list.Call(nullptr, &event), 0);
    EXPECT_EQ(gCalls, std::vector<std::string>({"a", "b", "c"}));
}

TEST_F(CallbackList, RemoveMatchesObjectAndMethod)
{
    list.Add(&a, kOnEvent, kCallbackAllEvents);
    list.Add(&a, kOther, kCallbackAllEvents);
    EXPECT_EQ(list.Remove(&b, kOnEvent), 1);
    EXPECT_EQ(list.Remove(&a, kOnEvent), 0);
    EXPECT_EQ(list.Remove(&a, kOnEvent), 1);
    list.Call(nullptr, &event);
    EXPECT_EQ(gCalls, std::vector<std::string>({"a-other"}));
}

TEST_F(CallbackList, CallbackRemovingItselfSkipsAndRepeatsNothing)
{
    list.Add(&a, kOnEvent, kCallbackAllEvents);
    list.Add(&b, kOnEvent, kCallbackAllEvents);
    list.Add(&c, kOnEvent, kCallbackAllEvents);
    b.mAction = [](Cb* self, KEventBase*) { gList->Remove(self, kOnEvent); };
    list.Call(nullptr, &event);
    EXPECT_EQ(gCalls, std::vector<std::string>({"a", "b", "c"}));
    EXPECT_EQ(list.GetCount(), 2);
}

TEST_F(CallbackList, RemovingAnEntryNotYetCalledPreventsItsCall)
{
    list.Add(&a, kOnEvent, kCallbackAllEvents);
    list.Add(&b, kOnEvent, kCallbackAllEvents);
    list.Add(&c, kOnEvent, kCallbackAllEvents);
    list.Add(&d, kOnEvent, kCallbackAllEvents);
    gTarget = &c;
    b.mAction = [](Cb*, KEventBase*) { gList->Remove(gTarget, kOnEvent); };
    list.Call(nullptr, &event);
    EXPECT_EQ(gCalls, std::vector<std::string>({"a", "b", "d"}));
}

TEST_F(CallbackList, RemovingAnEntryAlreadyCalledChangesNothing)
{
    list.Add(&a, kOnEvent, kCallbackAllEvents);
    list.Add(&b, kOnEvent, kCallbackAllEvents);
    list.Add(&c, kOnEvent, kCallbackAllEvents);
    gTarget = &a;
    b.mAction = [](Cb*, KEventBase*) { gList->Remove(gTarget, kOnEvent); };
    list.Call(nullptr, &event);
    EXPECT_EQ(gCalls, std::vector<std::string>({"a", "b", "c"}));
}

TEST_F(CallbackList, EntryAddedDuringCallWaitsForTheNextCall)
{
    list.Add(&a, kOnEvent, kCallbackAllEvents);
    list.Add(&b, kOnEvent, kCallbackAllEvents);
    list.Add(&c, kOnEvent, kCallbackAllEvents);
    gTarget = &d;
    b.mAction = [](Cb* self, KEventBase*) {
        gList->Add(gTarget, kOnEvent, kCallbackAllEvents);
        self->mAction = nullptr;
    };
    list.Call(nullptr, &event);
    EXPECT_EQ(gCalls, std::vector<std::string>({"a", "b", "c"}));
    gCalls.clear();
    list.Call(nullptr, &event);
    EXPECT_EQ(gCalls, std::vector<std::string>({"a", "b", "c", "d"}));
}

TEST(CallbackListDestroy, DestroyingTheListDuringCallEndsTheWalk)
{
    gCalls.clear();
    RegisterEntryList* list = new RegisterEntryList();
    gList = list;
    Cb a("a"), b("b"), c("c");
    list->Add(&a, kOnEvent, kCallbackAllEvents);
    list->Add(&b, kOnEvent, kCallbackAllEvents);
    list->Add(&c, kOnEvent, kCallbackAllEvents);
    b.mAction = [](Cb*, KEventBase*) {
        delete gList;
        gList = nullptr;
    };
    KEventBase event(1);
    list->Call(nullptr, &event);
    EXPECT_EQ(gCalls, std::vector<std::string>({"a", "b"}));
}

TEST_F(CallbackList, NestedCallRunsCompletelyAndOuterWalkContinues)
{
    list.Add(&a, kOnEvent, kCallbackAllEvents);
    list.Add(&b, kOnEvent, kCallbackAllEvents);
    list.Add(&c, kOnEvent, kCallbackAllEvents);
    gNested = 0;
    b.mAction = [](Cb*, KEventBase*) {
        if (gNested++ == 0)
        {
            KEventBase inner(2);
            gList->Call(nullptr, &inner);
        }
    };
    list.Call(nullptr, &event);
    EXPECT_EQ(gCalls, std::vector<std::string>({"a", "b", "a", "b", "c", "c"}));
}

TEST_F(CallbackList, NestedCallThatRemovesEntriesKeepsOuterWalkRight)
{
    list.Add(&a, kOnEvent, kCallbackAllEvents);
    list.Add(&b, kOnEvent, kCallbackAllEvents);
    list.Add(&c, kOnEvent, kCallbackAllEvents);
    list.Add(&d, kOnEvent, kCallbackAllEvents);
    gNested = 0;
    gTarget = &c;
    b.mAction = [](Cb*, KEventBase*) {
        if (gNested++ == 0)
        {
            KEventBase inner(2);
            gList->Call(nullptr, &inner);
        }
    };
    a.mAction = [](Cb*, KEventBase*) {
        if (gNested == 1)
            gList->Remove(gTarget, kOnEvent); // during the inner walk
    };
    list.Call(nullptr, &event);
    EXPECT_EQ(gCalls, std::vector<std::string>({"a", "b", "a", "b", "d", "d"}));
}

TEST_F(CallbackList, RemoveAllDuringCallEndsTheWalk)
{
    list.Add(&a, kOnEvent, kCallbackAllEvents);
    list.Add(&b, kOnEvent, kCallbackAllEvents);
    list.Add(&c, kOnEvent, kCallbackAllEvents);
    b.mAction = [](Cb*, KEventBase*) { gList->RemoveAll(); };
    list.Call(nullptr, &event);
    EXPECT_EQ(gCalls, std::vector<std::string>({"a", "b"}));
    EXPECT_EQ(list.GetCount(), 0);
}

TEST_F(CallbackList, ConsumedFlagStopsCallButNotMaskedCall)
{
    list.Add(&a, kOnEvent, 1);
    list.Add(&b, kOnEvent, 2);
    list.Add(&c, kOnEvent, 3);
    a.mAction = [](Cb*, KEventBase* e) { e->mConsumed = true; };
    list.Call(nullptr, &event);
    EXPECT_EQ(gCalls, std::vector<std::string>({"a"}));
    gCalls.clear();
    event.mConsumed = false;
    list.Call(nullptr, &event, 1);
    EXPECT_EQ(gCalls, std::vector<std::string>({"a", "c"}));
    gCalls.clear();
    list.Call(nullptr, &event, 2);
    EXPECT_EQ(gCalls, std::vector<std::string>({"b", "c"}));
}

TEST_F(CallbackList, CallEventOnceThenRemoveDrainsNewestFirst)
{
    list.Add(&a, kOnEvent, new KEventBase(1));
    list.Add(&b, kOnEvent, new KEventBase(2));
    gTarget = &c;
    b.mAction = [](Cb*, KEventBase*) { gList->Add(gTarget, kOnEvent, new KEventBase(3)); };
    list.CallEventOnceThenRemove();
    EXPECT_EQ(gCalls, std::vector<std::string>({"b", "c", "a"}));
    EXPECT_EQ(list.GetCount(), 0);
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
    Deferred() : Cb("deferred") {}
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
    EXPECT_EQ(gCalls, std::vector<std::string>({"v2", "v1"}));
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
        EXPECT_EQ(gCalls, std::vector<std::string>({"a"}));
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

TEST(GlobalEvents, QueryHelperAndDisplayEvaluateInfo)
{
    EXPECT_EQ(IQUERYFNC(nullptr, 0, 0), nullptr);
    Cb a("a");
    EXPECT_EQ(IQUERYFNC(&a, 0, 0), &a);
    EXPECT_EQ(GlobalDisplayEvaluateInfo.mEvaluationStamp, -1);
    EXPECT_EQ(GlobalDisplayEvaluateInfo.mStateIndex, 0);
    EXPECT_EQ(GlobalDisplayEvaluateInfo.mSourceStateIndex, 1);
    EXPECT_EQ(GlobalDisplayEvaluateInfo.mField3, 255);
    KEvaluateInfo info;
    info.mEvaluationStamp = 42;
    SetDisplayEvaluateInfo(&info);
    EXPECT_TRUE(IsDisplayEvaluateInfoInitialised());
    EXPECT_EQ(GlobalDisplayEvaluateInfo.mEvaluationStamp, 42);
    GlobalDisplayEvaluateInfo = KEvaluateInfo();
}
