// Plugs: values by type, locks, elements, connections, dynamic attributes.
#include "host_test_util.h"

#include <cmath>

namespace {

using PlugTest = HostTest;

TEST_F(PlugTest, ValuesFollowTheAttributeType)
{
    Run("createNode transform -n t; createNode file -n tex");
    ZPlug vis = Plug("t", "visibility"), order = Plug("t", "rotateOrder"), tx = Plug("t", "tx");
    ASSERT_TRUE(vis.setValue(0.25));
    EXPECT_EQ(vis.asDouble(), 1.0); // booleans hold 0 or 1
    ASSERT_TRUE(order.setValue(2.9));
    EXPECT_EQ(order.asInt(), 2);
    EXPECT_EQ(order.setValue(std::nan("")).errorString(), "an integer attribute cannot hold nan");
    ASSERT_TRUE(tx.setValue(-1.5e308));
    EXPECT_EQ(tx.asDouble(), -1.5e308);
    ASSERT_TRUE(tx.setValue(4.9e-324)); // denormals are kept
    EXPECT_EQ(tx.asDouble(), 4.9e-324);
    EXPECT_EQ(tx.name().str(), "t.translateX");
    EXPECT_EQ(tx.info().str(), "|t.translateX");
    EXPECT_EQ(tx.partialName().str(), "tx");

    EXPECT_FALSE(Plug("t", "translate").setValue(1.0));
    EXPECT_FALSE(Plug("t", "translate").isNull());
    ZPlug name = Plug("tex", "fileTextureName");
    EXPECT_TRUE(name.setValue(ZString("/tmp/a b.tif")));
    EXPECT_EQ(name.asString().str(), "/tmp/a b.tif");
    EXPECT_FALSE(name.setValue(1.0));

    ZStatus st;
    ZFnDependencyNode(Node("t")).findPlug("nosuch", &st);
    EXPECT_EQ(st.errorString(), "No attribute 'nosuch' on t");
}

TEST_F(PlugTest, ArrayElementsAndMatrices)
{
    Run("createNode layeredTexture -n layers; createNode skinCluster -n skin");
    ZPlug inputs = Plug("layers", "inputs");
    EXPECT_TRUE(inputs.isArray());
    EXPECT_EQ(inputs.numElements(), 0u);
    EXPECT_TRUE(inputs.child(0).isNull()); // an element first
    ZPlug blend = inputs.elementByLogicalIndex(7).child(2);
    EXPECT_EQ(blend.name().str(), "layers.inputs[7].blendMode");
    ASSERT_TRUE(blend.setValue(4));
    EXPECT_EQ(inputs.numElements(), 1u);
    EXPECT_EQ(inputs.elementByPhysicalIndex(0).logicalIndex(), 7u);
    EXPECT_EQ(blend.parent().name().str(), "layers.inputs[7]");
    ZStatus st;
    inputs.elementByPhysicalIndex(1, &st);
    EXPECT_FALSE(st);
    Plug("layers", "outAlpha").elementByLogicalIndex(0, &st);
    EXPECT_EQ(st.errorString(), "layers.outAlpha is not an array");

    double m[4][4] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}};
    ZFnMatrixData data;
    ZPlug pm = Plug("skin", "bindPreMatrix").elementByLogicalIndex(2);
    ASSERT_TRUE(pm.setValue(data.create(ZMatrix(m))));
    ZObject back;
    ASSERT_TRUE(pm.getValue(back));
    EXPECT_TRUE(ZFnMatrixData(back).matrix().isEquivalent(ZMatrix(m), 0));
    EXPECT_EQ(Run("getAttr skin.bindPreMatrix[2]")[5], "6");
    Run("setAttr skin.bindPreMatrix[0] -type \"matrix\" 1 0 0 0 0 1 0 0 0 0 1 0 7 8 9 1");
    EXPECT_EQ(Run("getAttr skin.bindPreMatrix[0]")[12], "7");
    EXPECT_EQ(RunError("setAttr skin.bindPreMatrix[0] -type \"matrix\" 1 2 3"),
              "setAttr: a matrix needs 16 values, got 3");
    EXPECT_EQ(RunError("getAttr skin.bindPreMatrix"), "getAttr: skin.bindPreMatrix is an array: name an element");
}

TEST_F(PlugTest, LocksCoverChildrenAndRefuseWrites)
{
    Run("createNode transform -n t");
    ZPlug translate = Plug("t", "translate"), ty = Plug("t", "ty");
    ASSERT_TRUE(translate.setLocked(true));
    EXPECT_TRUE(ty.isLocked());
    EXPECT_EQ(ty.setValue(1.0).errorString(), "The attribute 't.translateY' is locked");
    EXPECT_EQ(ZFnTransform(Node("t")).setTranslation(ZVector(1, 2, 3), ZSpace::kTransform).errorString(),
              "The attribute 't.translate' is locked");
    EXPECT_EQ(RunError("setAttr t.ty 3"), "setAttr: The attribute 't.translateY' is locked");
    ASSERT_TRUE(ty.setLocked(false)); // unlocking a child unlocks its parent too
    EXPECT_FALSE(translate.isLocked());
    Run("setAttr -lock true t.rx");
    EXPECT_EQ(Run("getAttr -lock t.rx"), std::vector<std::string>{"1"});
    Run("setAttr -lock false t.rx 30");
    EXPECT_EQ(Run("getAttr t.rx"), std::vector<std::string>{"30"});
    EXPECT_NEAR(Plug("t", "rx").asDouble(), M_PI / 6, 1e-15); // stored in radians
}

TEST_F(PlugTest, ConnectionsAreOneSourcePerDestination)
{
    Run("createNode transform -n a; createNode transform -n b; createNode transform -n c");
    ZDGModifier mod;
    ASSERT_TRUE(mod.connect(Plug("a", "tx"), Plug("b", "ty")));
    ASSERT_TRUE(mod.doIt());
    ZPlugArray plugs;
    EXPECT_TRUE(Plug("b", "ty").connectedTo(plugs, true, false));
    ASSERT_EQ(plugs.length(), 1u);
    EXPECT_EQ(plugs[0].name().str(), "a.translateX");
    EXPECT_TRUE(Plug("a", "tx").connectedTo(plugs, false, true));
    EXPECT_EQ(plugs[0].name().str(), "b.translateY");

    mod.connect(Plug("c", "tx"), Plug("b", "ty"));
    EXPECT_EQ(mod.doIt().errorString(), "The destination attribute 'b.translateY' already has an incoming connection");
    EXPECT_EQ(RunError("connectAttr a.tx b.ty"), "connectAttr: a.translateX is already connected to b.translateY");
    Run("connectAttr -f c.tx b.ty");
    Plug("b", "ty").connectedTo(plugs, true, false);
    EXPECT_EQ(plugs[0].name().str(), "c.translateX");
    EXPECT_EQ(RunError("connectAttr a.translate b.tz"),
              "connectAttr: The attribute a.translate cannot be connected to b.translateZ");

    // Deleting a node takes its connections with it.
    Run("delete c");
    EXPECT_FALSE(Plug("b", "ty").isConnected());
}

TEST_F(PlugTest, DynamicAttributesClashWithCodeThree)
{
    Run("createNode transform -n t");
    ZFnDependencyNode node(Node("t"));
    ZFnNumericAttribute fn;
    ZObject speed = fn.create("my_prop", "my_prop", ZFnNumericData::kDouble, 0.0);
    ASSERT_TRUE(fn.setKeyable(true));
    ASSERT_TRUE(fn.setSoftMin(-5));
    // The soft range: each bound set, read and refused alone.
    double bound = 0;
    EXPECT_TRUE(fn.hasSoftMin());
    EXPECT_FALSE(fn.hasSoftMax());
    ASSERT_TRUE(fn.getSoftMin(bound));
    EXPECT_EQ(bound, -5.0);
    EXPECT_EQ(fn.getSoftMax(bound).errorString(), "no soft maximum");
    EXPECT_EQ(fn.setSoftMax(std::nan("")).errorString(), "the value is not a finite number");
    EXPECT_FALSE(fn.hasSoftMax());
    ASSERT_TRUE(fn.setSoftMax(7.5));
    ASSERT_TRUE(fn.getSoftMax(bound));
    EXPECT_EQ(bound, 7.5);
    EXPECT_EQ(ZFnNumericAttribute().getSoftMin(bound).errorString(), "no soft minimum");
    EXPECT_EQ(ZFnNumericAttribute().setSoftMin(1).errorString(), "the function set is not attached to a valid object");
    ASSERT_TRUE(node.addAttribute(speed, ZFnDependencyNode::kNormalAttr));
    ZStatus clash = node.addAttribute(fn.create("my_prop", "my_prop", ZFnNumericData::kInt));
    EXPECT_EQ(clash.statusCode(), ZStatus::kInvalidParameter);
    EXPECT_EQ(static_cast<int>(clash.statusCode()), 3);
    EXPECT_EQ(clash.errorString(), "The attribute name 'my_prop' is already in use on t");
    EXPECT_EQ(node.addAttribute(fn.create("tx", "tx", ZFnNumericData::kInt)).statusCode(), 3);

    ZObject color = ZFnNumericAttribute().createColor("tint", "tint");
    ASSERT_TRUE(node.addAttribute(color));
    ZObject vec = ZFnNumericAttribute().create("dir", "dir", ZFnNumericData::k3Double);
    ASSERT_TRUE(node.addAttribute(vec));
    EXPECT_EQ(Plug("t", "tint").child(1).name().str(), "t.tintG");
    EXPECT_EQ(Plug("t", "dir").child(2).partialName().str(), "dirZ");
    ZStatus st;
    ZObject found = node.attribute("dir", &st);
    ASSERT_TRUE(st);
    EXPECT_EQ(ZFnNumericAttribute(found).unitType(), ZFnNumericData::k3Double);
    EXPECT_EQ(ZFnNumericAttribute(node.attribute("tint")).unitType(), ZFnNumericData::k3Float);
    EXPECT_EQ(ZFnNumericAttribute(node.attribute("my_prop")).unitType(), ZFnNumericData::kDouble);
    ZFnNumericAttribute(node.attribute("fileTextureName"), &st);
    EXPECT_FALSE(st); // not there on a transform
    Run("setAttr t.dir 1 2 3");
    EXPECT_EQ(Run("getAttr t.dir"), (std::vector<std::string>{"1", "2", "3"}));

    // A hidden, non-connectable tag attribute, as the import adds.
    ZFnNumericAttribute tag;
    ZObject id = tag.create("pelbrinTypeID", "qoxID", ZFnNumericData::kInt);
    tag.setHidden(true);
    tag.setStorable(true);
    tag.setConnectable(false);
    ASSERT_TRUE(node.addAttribute(id));
    ASSERT_TRUE(node.findPlug("qoxID").setValue(5));
    EXPECT_EQ(Run("getAttr t.pelbrinTypeID"), std::vector<std::string>{"5"});
    EXPECT_EQ(RunError("connectAttr t.tx t.qoxID"), "connectAttr: the attribute is not connectable");

    ASSERT_TRUE(node.removeAttribute(node.attribute("my_prop")));
    EXPECT_FALSE(node.hasAttribute("my_prop"));
    EXPECT_FALSE(node.removeAttribute(node.attribute("translate")));
    ZObject unused = ZFnNumericAttribute().create("spare", "spare", ZFnNumericData::kFloat);
    EXPECT_TRUE(ZGlobal::deleteNode(unused));
    EXPECT_TRUE(unused.isNull());
    EXPECT_TRUE(ZFnNumericAttribute().create("bad name", "b", ZFnNumericData::kFloat).isNull());
}

TEST_F(PlugTest, DependencyWalksFindDeformersUpAndDown)
{
    Quad("box");
    ZObject shape = Node("polySurfaceShape1");
    ZFnBlendShapeDeformer blend;
    ASSERT_TRUE(!blend.create(Node("box")).isNull());
    ZItDependencyGraph up(shape, ZFn::kBlendShape, ZItDependencyGraph::kUpstream);
    ASSERT_FALSE(up.isDone());
    EXPECT_EQ(ZFnDependencyNode(up.currentItem()).name().str(), "blendShape1");
    ZItDependencyGraph down(shape, ZFn::kBlendShape, ZItDependencyGraph::kDownstream);
    EXPECT_TRUE(down.isDone());
    // The original shape lies below its transform, last, and feeds the deformer.
    ZObject orig = ZFnDagNode(Node("box")).child(1);
    EXPECT_TRUE(ZFnDagNode(orig).isIntermediateObject());
    ZItDependencyGraph fromOrig(orig, ZFn::kInvalid, ZItDependencyGraph::kDownstream);
    std::vector<std::string> order;
    for (; !fromOrig.isDone(); fromOrig.next())
        order.push_back(ZFnDependencyNode(fromOrig.currentItem()).name().str());
    EXPECT_EQ(order, (std::vector<std::string>{"polySurfaceShape1Orig", "blendShape1", "polySurfaceShape1"}));
    ZStatus st;
    ZItDependencyGraph bad(ZObject(), ZFn::kInvalid, ZItDependencyGraph::kUpstream, ZItDependencyGraph::kDepthFirst,
                           ZItDependencyGraph::kNodeLevel, &st);
    EXPECT_FALSE(st);
    EXPECT_TRUE(bad.isDone());
}

TEST_F(PlugTest, StaticAttributesAreOneObjectPerType)
{
    // A feed from another file texture's outColor is told apart by attribute.
    Run("shadingNode -at file -n f1; shadingNode -at file -n f2; createNode transform -n t");
    EXPECT_TRUE(Plug("f1", "outColor").attribute() == Plug("f2", "outColor").attribute());
    EXPECT_FALSE(Plug("f1", "outColor").attribute() == Plug("f1", "outAlpha").attribute());
    ZFnNumericAttribute fn;
    ZFnDependencyNode(Node("f1")).addAttribute(fn.create("extra", "extra", ZFnNumericData::kDouble));
    ZFnDependencyNode(Node("f2")).addAttribute(fn.create("extra", "extra", ZFnNumericData::kDouble));
    EXPECT_FALSE(Plug("f1", "extra").attribute() == Plug("f2", "extra").attribute()); // dynamic: per node
}

} // namespace
