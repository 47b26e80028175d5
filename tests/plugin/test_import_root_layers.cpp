// The file's root node under a world transform: its animation is re-expressed
// with its layers combined, each value on its own member, and the layers then
// leave the converted channels (they would count twice).
#include "deform_test_util.h"

#include "fcurve/kfcurvenode.h"
#include "fileio/channel_layers_test_util.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using channeltest::ChannelCase;
using channeltest::Keys;
using fctest::Sec;

namespace {

// R turned in layer 1 about the axis its base turns about, one member of the
// layer without a curve: at 0.5 s the root turns 25 degrees about that axis,
// and the world of a Z-up host then turns it 90 degrees about X. Euler XYZ
// angles turn about Z, then Y, then X: a turn about Y or Z followed by X 90
// keeps its angle and takes 90 on X; a turn about X adds up to 115.
const ChannelCase kRootCases[] = {
    {"R layer X",
     1,
     0,
     true,
     Keys{{{0, 0}, {10, 30}, {0, 0}}},
     Keys{{{0, 0}, {0, 10}, {0, 0}}},
     {0, 0, 0},
     {90, 25, 0}},
    {"R layer Y",
     1,
     1,
     true,
     Keys{{{0, 0}, {0, 0}, {10, 30}}},
     Keys{{{0, 0}, {0, 0}, {0, 10}}},
     {0, 0, 0},
     {90, 0, 25}},
    {"R layer Z",
     1,
     2,
     true,
     Keys{{{10, 30}, {0, 0}, {0, 0}}},
     Keys{{{0, 10}, {0, 0}, {0, 0}}},
     {0, 0, 0},
     {115, 0, 0}},
};

class RootLayersTest : public DeformTest
{};

} // namespace

TEST_F(RootLayersTest, RootAnimationConvertedWithItsLayersMemberByMember)
{
    for (const ChannelCase& c : kRootCases)
    {
        SCOPED_TRACE(c.mName);
        TearDown();
        SetUp();
        zelthost::Host::Get().SetUpAxis("z");
        QoxZeltNode* root = Node("Qox_Root");
        Node("child", nullptr, root);
        KQoxTakeNode* take = channeltest::BuildCase(*root, c);
        ASSERT_NE(take, nullptr);
        mImport.Preprocess(Root());
        ASSERT_NE(mImport.mWorldMatrix.get(), nullptr);
        mImport.PropagateWorldTransformToChildrenOf(Root());

        KFCurveNode* rotation = channeltest::Channel(take, 1);
        EXPECT_EQ(rotation->LayerGet(), nullptr);
        const KQoxVector4 r = root->GetLocalFromCurrentTake(Sec(0.5)).GetR();
        for (int i = 0; i < 3; ++i)
        {
            EXPECT_NEAR(r[i], c.mAtHalf[i], 1e-3) << "member " << i;
            EXPECT_NEAR(rotation->Get(i)->FCurveGet()->Evaluate(Sec(0.5)), c.mAtHalf[i], 1e-3) << "member " << i;
        }
    }
}
