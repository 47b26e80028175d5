// T, R and S read one value per member: a member without a curve, in the
// base layer or in an upper layer, moves no value onto another member. The
// base layer's missing member shows its property's value, an upper layer's
// adds (or multiplies, or turns) nothing. Keys run linearly from 0 to 1 s,
// so a member shows the mean of its two keys at 0.5 s.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "channel_layers_test_util.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using channeltest::BuildCase;
using channeltest::ChannelCase;
using channeltest::ChannelOf;
using fctest::Sec;
using qoxtest::TempDir;

namespace {

using channeltest::Keys;

// Base keys of T, R and S where the base layer loses a member (which then
// shows its property's value); at 0.5 s T (-4, 3, 15), R (10, 20, 30), S (2,
// 4, 3).
const Keys kTBase = {{{-6, -2}, {2, 4}, {10, 20}}};
const Keys kRBase = {{{0, 20}, {10, 30}, {20, 40}}};
const Keys kSBase = {{{1, 3}, {3, 5}, {1, 5}}};
const Keys kNoLayer = {};
// Layer keys of T and S: at 0.5 s T (1, 0.5, 5), S (2, 2, 2).
const Keys kTLayer = {{{0, 2}, {0, 1}, {0, 10}}};
const Keys kSLayer = {{{1, 3}, {1, 3}, {2, 2}}};

const ChannelCase kCases[] = {
    // Base layer: T (-4, 3, 15), R (10, 20, 30), S (2, 4, 3) but for the
    // member that shows its property.
    {"T base X", 0, 0, false, kTBase, kNoLayer, {1, 2, 7}, {1, 3, 15}},
    {"T base Y", 0, 1, false, kTBase, kNoLayer, {1, 2, 7}, {-4, 2, 15}},
    {"T base Z", 0, 2, false, kTBase, kNoLayer, {1, 2, 7}, {-4, 3, 7}},
    {"R base X", 1, 0, false, kRBase, kNoLayer, {5, 15, 25}, {5, 20, 30}},
    {"R base Y", 1, 1, false, kRBase, kNoLayer, {5, 15, 25}, {10, 15, 30}},
    {"R base Z", 1, 2, false, kRBase, kNoLayer, {5, 15, 25}, {10, 20, 25}},
    {"S base X", 2, 0, false, kSBase, kNoLayer, {0.5, 1.5, 2.5}, {0.5, 4, 3}},
    {"S base Y", 2, 1, false, kSBase, kNoLayer, {0.5, 1.5, 2.5}, {2, 1.5, 3}},
    {"S base Z", 2, 2, false, kSBase, kNoLayer, {0.5, 1.5, 2.5}, {2, 4, 2.5}},
    // Layer 1 without a member: T adds the others to (-4, 3, 15), S
    // multiplies them into (2, 4, 3); R turns about the one axis its base
    // turns about, 20 and 5 degrees there.
    {"T layer X", 0, 0, true, kTBase, kTLayer, {0, 0, 0}, {-4, 3.5, 20}},
    {"T layer Y", 0, 1, true, kTBase, kTLayer, {0, 0, 0}, {-3, 3, 20}},
    {"T layer Z", 0, 2, true, kTBase, kTLayer, {0, 0, 0}, {-3, 3.5, 15}},
    {"R layer X", 1, 0, true, Keys{{{0, 0}, {10, 30}, {0, 0}}}, Keys{{{0, 0}, {0, 10}, {0, 0}}}, {0, 0, 0}, {0, 25, 0}},
    {"R layer Y", 1, 1, true, Keys{{{0, 0}, {0, 0}, {10, 30}}}, Keys{{{0, 0}, {0, 0}, {0, 10}}}, {0, 0, 0}, {0, 0, 25}},
    {"R layer Z", 1, 2, true, Keys{{{10, 30}, {0, 0}, {0, 0}}}, Keys{{{0, 10}, {0, 0}, {0, 0}}}, {0, 0, 0}, {25, 0, 0}},
    {"S layer X", 2, 0, true, kSBase, kSLayer, {1, 1, 1}, {2, 8, 6}},
    {"S layer Y", 2, 1, true, kSBase, kSLayer, {1, 1, 1}, {4, 4, 6}},
    {"S layer Z", 2, 2, true, kSBase, kSLayer, {1, 1, 1}, {4, 8, 3}},
};

const int kForms[3] = {eEXPORT_QOX_BINARY, eEXPORT_QOX_ASCII, eEXPORT_QOX5_BINARY};

void ExpectChannel(const KQoxXMatrix& local, const ChannelCase& c)
{
    const KQoxVector4 v = ChannelOf(local, c.mChannel);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(v[i], c.mAtHalf[i], 1e-4) << "member " << i;
}

} // namespace

TEST(NativeChannelMembers, EachValueReadFromItsOwnMember)
{
    TempDir dir;
    for (const ChannelCase& c : kCases)
    {
        SCOPED_TRACE(c.mName);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        KQoxNode* ball = manager.CreateKQoxNode("Ball");
        scene.GetRootNode()->AddChild(ball);
        ASSERT_NE(BuildCase(*ball, c), nullptr);
        ExpectChannel(ball->GetLocalFromCurrentTake(Sec(0.5)), c);
        // A file gives every member of the base layer a curve again.
        if (!c.mLayered)
            continue;
        for (int form : kForms)
        {
            SCOPED_TRACE(form);
            const std::string name = dir.File("members.qox");
            ASSERT_TRUE(fileiotest::Export(manager, scene, name, form));
            KQoxScene read(manager);
            ASSERT_TRUE(fileiotest::Import(manager, read, name));
            KQoxNode* node = read.GetRootNode()->GetChild(0);
            ASSERT_NE(node, nullptr);
            ASSERT_TRUE(node->SetCurrentTakeNode("Walk"));
            KFCurveNode* channel = channeltest::Channel(node->GetCurrentTakeNode(), c.mChannel);
            KFCurveNode* holder = c.mLayered ? channel->LayerGet(1) : channel;
            ASSERT_NE(holder, nullptr);
            ASSERT_EQ(holder->Get(c.mMissing)->FCurveGet(), nullptr) << "the file kept the removed curve";
            ExpectChannel(node->GetLocalFromCurrentTake(Sec(0.5)), c);
        }
    }
}

// Reading the current take into the local state and writing it back keeps
// every curve of the base layer where it was: each value goes to its own
// member, and with an upper layer the base takes what the layer does not add.
TEST(NativeChannelMembers, StateRoundTripKeepsEveryMember)
{
    for (const ChannelCase& c : kCases)
    {
        SCOPED_TRACE(c.mName);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        KQoxNode* ball = manager.CreateKQoxNode("Ball");
        scene.GetRootNode()->AddChild(ball);
        KQoxTakeNode* take = BuildCase(*ball, c);
        ASSERT_NE(take, nullptr);
        ball->SetLocalStateFromCurrentTake(Sec(0.5), false);
        ball->SetCurrentTakeFromLocalState(Sec(0.5), false);
        KFCurveNode* channel = channeltest::Channel(take, c.mChannel);
        for (int i = 0; i < 3; ++i)
        {
            KFCurve* curve = channel->Get(i)->FCurveGet();
            if (!curve)
                continue;
            const double mean = (c.mBase[i][0] + c.mBase[i][1]) / 2.0;
            EXPECT_NEAR(curve->Evaluate(Sec(0.5)), mean, 1e-3) << "member " << i;
        }
        ball->SetLocalStateFromCurrentTake(Sec(0.5), false);
        ExpectChannel(ball->GetLocalState(), c);
    }
}

// A copy takes its channel properties from the default take member by
// member; a member without a curve keeps the property's value.
TEST(NativeChannelMembers, CopyTakesEachDefaultValueFromItsOwnMember)
{
    for (const ChannelCase& c : kCases)
    {
        if (c.mLayered)
            continue;
        SCOPED_TRACE(c.mName);
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        KQoxNode* ball = manager.CreateKQoxNode("Ball");
        scene.GetRootNode()->AddChild(ball);
        KQoxTakeNode* take = BuildCase(*ball, c);
        ASSERT_NE(take, nullptr);
        // The default take shows the case's values at 0.5 s as its own: the
        // property's where the member has no curve.
        KFCurveNode* channel = channeltest::Channel(ball->GetDefaultTakeNode(), c.mChannel);
        channeltest::SetProperty(*ball, c);
        channel->Get(c.mMissing)->FCurveSet(nullptr, true);
        for (int i = 0; i < 3; ++i)
            if (KFCurve* curve = channel->Get(i)->FCurveGet())
                curve->SetValue(static_cast<float>(c.mAtHalf[i]));
        ExpectChannel(ball->GetLocalFromDefaultTake(), c);

        KQoxNode* copy = manager.CreateKQoxNode("Copy");
        scene.GetRootNode()->AddChild(copy);
        *copy = *ball;
        KQoxVector4 copied;
        if (c.mChannel == 0)
            copy->GetDefaultT(copied);
        else if (c.mChannel == 1)
            copy->GetDefaultR(copied);
        else
            copy->GetDefaultS(copied);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(copied[i], c.mAtHalf[i], 1e-4) << "member " << i;
        ExpectChannel(copy->GetLocalFromDefaultTake(), c);
    }
}

// A rotation kept as a quaternion (its four members X, Y, Z, W) goes back
// as a quaternion: a turn of 90 degrees about Z is (0, 0, sqrt(1/2),
// sqrt(1/2)), which the round trip of the state leaves as it was.
TEST(NativeChannelMembers, StateRoundTripKeepsAQuaternion)
{
    const double half = std::sqrt(0.5);
    const double quaternion[4] = {0, 0, half, half};
    for (bool defaultTake : {false, true})
    {
        SCOPED_TRACE(defaultTake ? "default take" : "take");
        KQoxSdkManager manager;
        KQoxScene scene(manager);
        KQoxNode* ball = manager.CreateKQoxNode("Ball");
        scene.GetRootNode()->AddChild(ball);
        KQoxTakeNode* take = defaultTake ? ball->GetDefaultTakeNode() : ball->CreateTakeNode("Walk");
        ASSERT_NE(take, nullptr);
        if (!defaultTake)
        {
            ASSERT_TRUE(ball->SetCurrentTakeNode("Walk"));
        }
        KFCurveNode* rotation = channeltest::Channel(take, 1);
        rotation->SetLayerType(KFCL_QUAT);
        ASSERT_EQ(rotation->GetCount(), 4);
        for (int i = 0; i < 4; ++i)
            rotation->Get(i)->FCurveGet()->SetValue(static_cast<float>(quaternion[i]));
        ball->SetLocalStateFromCurrentTake(Sec(0.5), false);
        EXPECT_NEAR(ball->GetLocalState().GetR()[2], 90.0, 1e-4);
        ball->SetCurrentTakeFromLocalState(Sec(0.5), false);
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(rotation->Get(i)->FCurveGet()->Evaluate(Sec(0.5)), quaternion[i], 1e-5) << "member " << i;
    }
}
