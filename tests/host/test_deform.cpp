// Skin clusters, clusters, rigid binds and the commands that weight them.
#include "host_test_util.h"

#include <cmath>

namespace {

using DeformTest = HostTest;
using Strings = std::vector<std::string>;

class SkinTest : public HostTest
{
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        Quad("box");
        Run("createNode joint -n hip; createNode joint -n knee -p hip; setAttr knee.ty 1");
    }
};

TEST_F(SkinTest, NewSkinClusterBindsTheSelectedBones)
{
    EXPECT_EQ(RunError("select -cl; newSkinCluster \"-toSelectedBones -mi 5 -dr 4\""),
              "newSkinCluster: select at least one joint and one geometry");
    Run("select -cl");
    Run("select -tgl \"knee\" \"hip\" ");
    Run("select -tgl |box.vtx[0:3]");
    EXPECT_EQ(Run("newSkinCluster \"-toSelectedBones -mi 5 -dr 4\""), Strings{"skinCluster1"});
    Run("select -cl");
    EXPECT_EQ(Run("getAttr skinCluster1.maxInfluences; getAttr skinCluster1.dropoffRate"), Strings{"4"});

    // Influences keep the selection order; the cluster is found downstream of
    // the original shape, the last child of the transform.
    ZObject skin = Node("skinCluster1");
    ZFnSkinCluster fn(skin);
    EXPECT_EQ(fn.indexForInfluenceObject(Path("knee")), 0u);
    EXPECT_EQ(fn.indexForInfluenceObject(Path("hip")), 1u);
    ZStatus st;
    fn.indexForInfluenceObject(Path("persp"), &st);
    EXPECT_EQ(st.errorString(), "persp is not an influence object of skinCluster1");
    ZDagPath box = Path("box");
    ZItDependencyGraph walk(box.child(box.childCount() - 1), ZFn::kInvalid, ZItDependencyGraph::kDownstream);
    bool found = false;
    for (; !walk.isDone(); walk.next())
        found = found || walk.currentItem().hasFn(ZFn::kSkinClusterFilter);
    EXPECT_TRUE(found);
    EXPECT_EQ(Plug("skinCluster1", "bindPreMatrix").numElements(), 2u);
    // Point 0 (0,0,0) is nearest the hip, point 3 (1,1,0) nearest the knee.
    ZDoubleArray w;
    fn.getWeights(3, w);
    EXPECT_EQ(w.items(), (std::vector<double>{1, 0}));
    EXPECT_EQ(RunError("select -tgl knee box; newSkinCluster \"-toSelectedBones\""),
              "newSkinCluster: polySurfaceShape1 is already bound to skinCluster1");
}

TEST_F(SkinTest, SetWeightsNormalisesTheOtherInfluences)
{
    Run("select -cl; select -tgl hip knee; select -tgl box; newSkinCluster \"-toSelectedBones -mi 5 -dr 4\"");
    ZFnSkinCluster fn(Node("skinCluster1"));
    ZFnSingleIndexedComponent comp;
    ZObject vertices = comp.create(ZFn::kMeshVertComponent);
    comp.addElements([] {
        ZIntArray a;
        a.append(0);
        a.append(2);
        return a;
    }());
    ZIntArray influence(1, 1);
    ZFloatArray weights(2, 0.25f);
    ASSERT_TRUE(fn.setWeights(Path("box"), vertices, influence, weights, true));
    ZDoubleArray w;
    fn.getWeights(0, w);
    EXPECT_EQ(w.items(), (std::vector<double>{0.75, 0.25}));
    ASSERT_TRUE(fn.setWeights(Path("box"), vertices, influence, ZFloatArray(2, 0.6f), false));
    fn.getWeights(0, w);
    EXPECT_FLOAT_EQ(static_cast<float>(w[0] + w[1]), 1.35f);
    Run("skinPercent -normalize true skinCluster1");
    fn.getWeights(2, w);
    EXPECT_DOUBLE_EQ(w[0] + w[1], 1.0);
    EXPECT_EQ(Run("skinPercent -q -t hip skinCluster1 box.vtx[1]"), Strings{"1"});

    EXPECT_EQ(fn.setWeights(Path("box"), vertices, influence, ZFloatArray(3, 0.1f)).errorString(),
              "expected 2 weights, got 3");
    EXPECT_EQ(fn.setWeights(Path("box"), vertices, ZIntArray(1, 2), weights).errorString(),
              "influence index 2 out of range");
    ZObject far = comp.create(ZFn::kMeshVertComponent);
    comp.addElement(4);
    EXPECT_EQ(fn.setWeights(Path("box"), far, influence, ZFloatArray(1, 0.1f)).errorString(),
              "component index out of range");
    EXPECT_EQ(fn.setWeights(Path("box"), vertices, influence, ZFloatArray(2, std::nanf(""))).errorString(),
              "the value is not a finite number");
    EXPECT_EQ(fn.setWeights(Path("persp"), vertices, influence, weights).errorString(),
              "perspShape is not deformed by skinCluster1");
    Run("setAttr \"skinCluster1.normalizeWeights\" 0");
    EXPECT_EQ(Plug("skinCluster1", "normalizeWeights").asInt(), 0);

    // A skin cluster made bare has nothing to weight, in either precision.
    Run("createNode skinCluster -n bare");
    ZFnSkinCluster bare(Node("bare"));
    EXPECT_EQ(bare.setWeights(Path("box"), vertices, influence, weights).errorString(),
              "the skin cluster has no geometry");
    EXPECT_EQ(bare.setWeights(Path("box"), vertices, influence, ZDoubleArray(2, 0.5)).errorString(),
              "the skin cluster has no geometry");
}

TEST_F(SkinTest, ClusterCommandNamesTheClusterAndItsHandle)
{
    // The import's text: the cluster named after the node, weighted by the node itself.
    Strings made = Run("select -cl; cluster -n hip -bf -bs 1.0  -wn hip  hip");
    EXPECT_EQ(made, (Strings{"hip1", "hip"}));
    EXPECT_TRUE(Path("hip").hasFn(ZFn::kClusterHandle));
    EXPECT_TRUE(Node("hip1").hasFn(ZFn::kCluster));
    Strings relative = Run("select -cl; cluster -n knee -rel  -bf -bs 1.0  -wn knee  knee");
    EXPECT_EQ(relative, (Strings{"knee1", "knee"}));
    EXPECT_EQ(Run("getAttr knee1.relative"), Strings{"1"});

    // Weights need membership of the deformer set first.
    EXPECT_EQ(RunError("percent -v 0.500000 hip1  box.vtx[0:1]"),
              "percent: box.vtx[0:1] is not a member of the deformer set of hip1");
    ZPlugArray fed;
    ZFnDependencyNode(Node("hip1")).findPlug("message").connectedTo(fed, false, true);
    ASSERT_EQ(fed.length(), 1u);
    ZObject set = fed[0].node();
    ASSERT_TRUE(set.hasFn(ZFn::kSet));
    ZSelectionList members;
    for (int i = 0; i < 3; ++i)
        members.add(ZString("box.vtx[" + std::to_string(i) + "]"));
    ASSERT_TRUE(ZFnSet(set).addMembers(members));
    Run("percent -v 0.500000 hip1  box.vtx[0:1]");
    Run("percent -v 0.300000 hip1  box.vtx[2]");
    EXPECT_EQ(Run("percent -q hip1 box.vtx[0:2]"), (Strings{"0.5", "0.5", "0.3"}));
    EXPECT_EQ(RunError("percent -v 1 nope box.vtx[0]"), "percent: No cluster named: nope");

    // A cluster without -wn gets its own handle.
    EXPECT_EQ(Run("select -cl; cluster -n c -bf -bs 1.0 box"), (Strings{"c", "cHandle"}));
    EXPECT_EQ(Run("percent -q c box.vtx[3]"), Strings{"1"});
}

TEST_F(SkinTest, RigidBindNeedsBonesThenTheGeometry)
{
    Run("select -cl");
    Run("select -tgl |hip |hip|knee ");
    Run("select -tgl |box");
    EXPECT_EQ(Run("newBindSkin \"-byClosestPoint -toSelectedBones\""), Strings{"rigidSkin1"});
    Run("select -cl");
    EXPECT_TRUE(Node("rigidSkin1").hasFn(ZFn::kRigidSkin));
    EXPECT_EQ(RunError("newBindSkin \"-byClosestPoint -toSelectedBones\""),
              "newBindSkin: select at least one joint and one geometry");
    EXPECT_EQ(RunError("select -tgl hip box; newBindSkin \"-byFarthestPoint\""),
              "newBindSkin: Invalid flag '-byFarthestPoint'");
}

} // namespace
