// Curve-node callbacks and events, user locks and display state.

#include <gtest/gtest.h>

#include <vector>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kpropertydatatype.h"

namespace {

struct Call
{
    int tag;
    int type;
    int count;
    IData* data;
};

std::vector<Call> gCalls;

void Record(KFCurveNode*, KFCurveNodeEvent* event, void* data)
{
    gCalls.push_back({static_cast<int>(reinterpret_cast<intptr_t>(data)), event->mEventType, event->mEventCount,
                      event->mData});
}

void* Tag(int tag)
{
    return reinterpret_cast<void*>(static_cast<intptr_t>(tag));
}

void UnregisterSelf(KFCurveNode* node, KFCurveNodeEvent* event, void* data)
{
    Record(node, event, data);
    node->CallbackUnregister(UnregisterSelf, data);
}

TEST(KFCurveNodeCallbacks, EventsReachCallbacksLastRegisteredFirst)
{
    gCalls.clear();
    KFCurveNode* node = KFCurveNodeCreate("N");
    node->CallbackRegister(Record, Tag(1));
    node->CallbackRegister(Record, Tag(2));
    node->FCurveSet(KFCurveCreate());
    ASSERT_EQ(gCalls.size(), 2u);
    EXPECT_EQ(gCalls[0].tag, 2);
    EXPECT_EQ(gCalls[1].tag, 1);
    EXPECT_EQ(gCalls[0].type, KFCURVENODEEVENT_FCURVE);
    EXPECT_EQ(gCalls[0].count, 1);
    EXPECT_EQ(node->GetNodeUpdateId(), 1u);
    node->Destroy();
    ASSERT_EQ(gCalls.size(), 4u);
    EXPECT_EQ(gCalls[3].type, KFCURVENODEEVENT_DESTROY);
}

TEST(KFCurveNodeCallbacks, DisabledCallbacksAccumulateOneEvent)
{
    gCalls.clear();
    KFCurveNode* node = KFCurveNodeCreate("N");
    node->CallbackRegister(Record, Tag(1));
    node->CallbackRegister(Record, Tag(2));
    node->CallbackEnable(false);
    EXPECT_FALSE(node->CallbackIsEnable());
    node->FCurveSet(KFCurveCreate());
    KFCurveNode* warp = KFCurveNodeCreate("W", KDataTypeTimeWarp);
    node->TimeWarpSet(warp);
    node->CreateLayerAt(1);
    EXPECT_TRUE(gCalls.empty());
    EXPECT_EQ(node->GetNodeUpdateId(), 3u);
    node->CallbackEnable(true);
    ASSERT_EQ(gCalls.size(), 2u);
    // First registered first on enabling.
    EXPECT_EQ(gCalls[0].tag, 1);
    EXPECT_EQ(gCalls[0].type, 28);
    EXPECT_EQ(gCalls[0].count, 3);
    // Cleared events are not delivered.
    node->CallbackEnable(false);
    node->SetVisibility(true);
    node->CallbackClear();
    node->CallbackEnable(true);
    EXPECT_EQ(gCalls.size(), 2u);

    // Data updates reach callbacks even while they are disabled.
    node->CallbackEnable(false);
    IData* data = reinterpret_cast<IData*>(Tag(77));
    node->DataUpdated(data);
    ASSERT_EQ(gCalls.size(), 4u);
    EXPECT_EQ(gCalls[2].type, KFCURVENODEEVENT_DATAUPDATED);
    EXPECT_EQ(gCalls[2].data, data);
    EXPECT_EQ(gCalls[2].tag, 2);
    node->CallbackEnable(true);
    EXPECT_EQ(gCalls.size(), 4u);
    node->CallbackUnregister(Record, Tag(1));
    node->CallbackUnregister(Record, Tag(2));
    node->Destroy();
}

TEST(KFCurveNodeCallbacks, UnregisteringAndTheCallbackBlock)
{
    gCalls.clear();
    KFCurveNode* node = KFCurveNodeCreate("N");
    // Without a block: enabled, nothing fired, no update id.
    EXPECT_TRUE(node->CallbackIsEnable());
    node->SetVisibility(true);
    EXPECT_EQ(node->GetNodeUpdateId(), 0u);

    node->CallbackRegister(Record, Tag(1));
    node->CallbackEnable(false);
    node->CallbackUnregister(Record, Tag(1));
    // The empty block stays (still disabled) ...
    EXPECT_FALSE(node->CallbackIsEnable());
    // ... until a pair that is not registered is unregistered.
    node->CallbackUnregister(Record, Tag(5));
    EXPECT_TRUE(node->CallbackIsEnable());

    // The same function twice with two data pointers: one goes.
    node->CallbackRegister(Record, Tag(1));
    node->CallbackRegister(Record, Tag(2));
    node->CallbackUnregister(Record, Tag(1));
    node->SetVisibility(false);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].tag, 2);
    EXPECT_EQ(gCalls[0].type, KFCURVENODEEVENT_VISIBILITY);
    node->CallbackUnregister(Record, Tag(2));

    // A callback may unregister itself while events are delivered.
    gCalls.clear();
    node->CallbackRegister(UnregisterSelf, Tag(3));
    node->CallbackRegister(Record, Tag(4));
    node->SetVisibility(true);
    node->SetVisibility(false);
    ASSERT_EQ(gCalls.size(), 3u);
    EXPECT_EQ(gCalls[0].tag, 4);
    EXPECT_EQ(gCalls[1].tag, 3);
    EXPECT_EQ(gCalls[2].tag, 4);
    node->CallbackUnregister(Record, Tag(4));
    node->Destroy();
}

TEST(KFCurveNodeCallbacks, UserLockOverTreeAndLayers)
{
    KFCurveNode* t = FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "T");
    t->CreateFCurve();
    KFCurveNode* layer = t->CreateLayerAt(1);
    KFCurveNode* x = t->Get(0);
    t->UserLockAdd();
    t->UserLockAdd();
    t->UserLockRemove();
    EXPECT_TRUE(t->IsUserLocked());
    EXPECT_TRUE(x->IsUserLocked());
    EXPECT_TRUE(layer->Get(2)->IsUserLocked());
    EXPECT_FALSE(x->SetPreExtrapolation(KFCURVE_EXTRAPOLATION_REPETITION, true));
    EXPECT_FALSE(x->SetPostExtrapolationCount(3, true));
    EXPECT_EQ(x->FCurveGet()->GetPreExtrapolation(), static_cast<unsigned int>(KFCURVE_EXTRAPOLATION_CONST));
    EXPECT_TRUE(x->SetPreExtrapolation(KFCURVE_EXTRAPOLATION_REPETITION, false));
    EXPECT_TRUE(x->SetPreExtrapolationCount(2, false));
    EXPECT_EQ(x->FCurveGet()->GetPreExtrapolationCount(), 2u);
    // Without a curve: false.
    EXPECT_FALSE(t->SetPostExtrapolation(KFCURVE_EXTRAPOLATION_MIRROR_REPETITION, false));
    t->UserLockRemove();
    EXPECT_FALSE(x->IsUserLocked());
    EXPECT_TRUE(x->SetPostExtrapolation(KFCURVE_EXTRAPOLATION_KEEP_SLOPE, true));
    // One removal too many leaves the node unlocked, not locked below zero.
    t->UserLockRemove();
    EXPECT_FALSE(t->IsUserLocked());
    EXPECT_EQ(t->GetUserLockCount(), 0);
    t->Destroy();
}

TEST(KFCurveNodeCallbacks, VisibilityIOTypeAndColour)
{
    KFCurveNode* t = FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "T");
    t->CreateFCurve();
    KFCurveNode* layer = t->CreateLayerAt(1);
    t->SetVisibility(true, true, true);
    EXPECT_TRUE(t->GetVisibility());
    EXPECT_TRUE(t->Get(2)->GetVisibility());
    EXPECT_TRUE(layer->Get(1)->GetVisibility());
    EXPECT_TRUE(t->Get(0)->IsEditable());
    EXPECT_FALSE(t->IsEditable()); // no curve of its own
    t->SetVisibility(false, false, false, 1);
    EXPECT_FALSE(t->Get(1)->GetVisibility());
    EXPECT_TRUE(t->Get(0)->GetVisibility());
    EXPECT_TRUE(t->GetVisibility());
    t->SetVisibility(false, false, false, 7); // no such child: nothing
    EXPECT_TRUE(t->Get(0)->GetVisibility());
    t->SetVisibility(false);
    EXPECT_FALSE(t->GetVisibility());
    EXPECT_TRUE(t->Get(0)->GetVisibility());

    t->SetIOType(3);
    EXPECT_EQ(t->GetIOType(), 1);
    t->SetIOType(2);
    EXPECT_EQ(t->GetIOType(), 0);
    t->SetTakeType(0x10);
    EXPECT_EQ(t->GetTakeType(), 0x10);
    t->SetExpended(false);
    EXPECT_FALSE(t->IsExpended());

    float* none = t->GetColor();
    EXPECT_EQ(none[0], 0.0f);
    EXPECT_EQ(none[2], 0.0f);
    float green[3] = {0.0f, 1.0f, 0.0f};
    t->SetColor(green); // no curve: no effect
    t->Get(1)->SetColor(green);
    EXPECT_EQ(t->Get(1)->GetColor()[1], 1.0f);
    EXPECT_EQ(t->Get(1)->GetColor()[0], 0.0f);
    t->Destroy();
}

} // namespace
