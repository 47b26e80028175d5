// The DAG: names, namespaces, instances, paths and depth-first iteration.
#include "host_test_util.h"

#include "host/zscene_private.h"

namespace {

std::vector<std::string> DagOrder(ZItDag::TraversalType type = ZItDag::kDepthFirst, ZFn::Type filter = ZFn::kInvalid)
{
    std::vector<std::string> out;
    for (ZItDag it(type, filter); !it.isDone(); it.next())
    {
        ZDagPath path;
        it.getPath(path);
        out.push_back(path.fullPathName().str());
    }
    return out;
}

using DagTest = HostTest;

TEST_F(DagTest, NamesAreMadeUniqueWithinTheirNamespace)
{
    ZFnTransform fn;
    fn.create();
    EXPECT_EQ(fn.setName("arm").str(), "arm");
    ZFnTransform other;
    other.create();
    EXPECT_EQ(other.setName("arm").str(), "arm1");
    EXPECT_EQ(other.setName("joint7").str(), "joint7");
    ZFnTransform third;
    third.create();
    EXPECT_EQ(third.setName("joint7").str(), "joint1");

    Run("namespace -add \"ns\"; namespace -set \"ns\"");
    ZFnTransform inNs;
    inNs.create();
    EXPECT_EQ(inNs.setName("arm").str(), "ns:arm");
    EXPECT_EQ(Run("namespaceInfo -currentNamespace"), std::vector<std::string>{"ns"});
    Run("namespace -set \":\"");
    EXPECT_EQ(Run("namespaceInfo -lon"), std::vector<std::string>{"ns"});

    ZStatus st;
    EXPECT_EQ(fn.setName("1arm", &st).str(), "_1arm"); // names are cleaned, as the host does
    EXPECT_EQ(fn.setName("cube.smile face", &st).str(), "cube_smile_face");
    EXPECT_EQ(fn.setName("", &st).str(), "cube_smile_face");
    EXPECT_EQ(st.errorString(), "Invalid node name: ");
    fn.setName("a::b", &st);
    EXPECT_EQ(st.errorString(), "Invalid node name: a::b");
    fn.setName("missing:arm", &st);
    EXPECT_EQ(st.errorString(), "Namespace does not exist: missing");
}

TEST_F(DagTest, InstancesHaveOnePathPerParentAndOutliveOneParent)
{
    ZObject a = Quad("a");
    ZFnTransform b;
    ZObject bObj = b.create();
    b.setName("b");
    ZObject shape = ZFnDagNode(a).child(0);
    ASSERT_TRUE(b.addChild(shape, 0xffffffffu, true));

    ZDagPathArray paths;
    ASSERT_TRUE(ZDagPath::getAllPathsTo(shape, paths));
    ASSERT_EQ(paths.length(), 2u);
    EXPECT_EQ(paths[0].fullPathName().str(), "|a|polySurfaceShape1");
    EXPECT_EQ(paths[1].fullPathName().str(), "|b|polySurfaceShape1");
    EXPECT_EQ(paths[0].partialPathName().str(), "a|polySurfaceShape1");
    EXPECT_EQ(paths[1].instanceNumber(), 1u);
    EXPECT_TRUE(ZFnDagNode(shape).isInstanced());
    EXPECT_EQ(DagOrder(ZItDag::kDepthFirst, ZFn::kMesh),
              (std::vector<std::string>{"|a|polySurfaceShape1", "|b|polySurfaceShape1"}));

    // The same child twice under one parent is refused.
    EXPECT_FALSE(b.addChild(shape, 0xffffffffu, true));

    Run("delete a");
    EXPECT_FALSE(shape.isNull());
    EXPECT_FALSE(paths[0].isValid());
    EXPECT_TRUE(paths[1].isValid());
    EXPECT_EQ(ZFnDagNode(shape).partialPathName().str(), "polySurfaceShape1");
    Run("delete b");
    EXPECT_TRUE(shape.isNull());
    EXPECT_TRUE(bObj.isNull());
    // Handles to deleted nodes fail cleanly.
    ZStatus st;
    ZFnDependencyNode(shape, &st);
    EXPECT_FALSE(st);
    EXPECT_FALSE(paths[1].isValid());
    EXPECT_EQ(paths[1].fullPathName(&st).str(), "");
    EXPECT_FALSE(st);
}

TEST_F(DagTest, DepthFirstVisitsEachSubtreeBeforeTheNextSibling)
{
    Run("file -f -new");
    Run("createNode transform -n a; createNode transform -n b -p a; createNode joint -n c -p b;"
        "createNode joint -n d -p a; createNode transform -n e");
    std::vector<std::string> depth = DagOrder();
    std::vector<std::string> user(depth.begin() + 8, depth.end()); // after the four default cameras
    EXPECT_EQ(user, (std::vector<std::string>{"|a", "|a|b", "|a|b|c", "|a|d", "|e"}));
    EXPECT_EQ(DagOrder(ZItDag::kDepthFirst, ZFn::kJoint), (std::vector<std::string>{"|a|b|c", "|a|d"}));
    std::vector<std::string> breadth = DagOrder(ZItDag::kBreadthFirst, ZFn::kTransform);
    std::vector<std::string> tail(breadth.end() - 5, breadth.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"|a", "|e", "|a|b", "|a|d", "|a|b|c"}));
}

TEST_F(DagTest, ParentsAndChildrenByIndex)
{
    Run("createNode transform -n a; createNode transform -n b -p a");
    ZFnDagNode a(Path("a"));
    ZFnDagNode b(Path("b"));
    EXPECT_EQ(a.childCount(), 1u);
    EXPECT_EQ(ZFnDependencyNode(a.child(0)).name().str(), "b");
    EXPECT_EQ(b.parentCount(), 1u);
    EXPECT_EQ(ZFnDependencyNode(b.parent(0)).name().str(), "a");
    ZStatus st;
    EXPECT_TRUE(a.child(1, &st).isNull());
    EXPECT_EQ(st.errorString(), "child index out of range");
    EXPECT_TRUE(b.parent(1, &st).isNull());
    EXPECT_EQ(st.errorString(), "parent index out of range");
    ZFnDagNode detached;
    EXPECT_EQ(detached.childCount(&st), 0u);
    EXPECT_FALSE(st);
    EXPECT_EQ(detached.parentCount(&st), 0u);
    EXPECT_FALSE(st);
    EXPECT_TRUE(detached.child(0, &st).isNull());
    EXPECT_FALSE(st);
}

TEST_F(DagTest, NewNodesRefuseAParentThatIsNotANode)
{
    ZObject notANode = ZFnNumericAttribute().create("speed", "sp", ZFnNumericData::kDouble, 0.0);
    ZStatus st;
    EXPECT_TRUE(ZFnDagNode().create("transform", notANode, &st).isNull());
    EXPECT_EQ(st.errorString(), "the parent is not a node");
    EXPECT_TRUE(ZFnPointLight().create(notANode, true, &st).isNull());
    EXPECT_EQ(st.errorString(), "the parent is not a node");
    ZObject light = ZFnPointLight().create(ZObject::kNullObj, true, &st);
    ASSERT_TRUE(st) << st.errorString();
    EXPECT_FALSE(light.isNull());
}

TEST_F(DagTest, PathOperations)
{
    Run("createNode transform -n a; createNode transform -n b -p a");
    ZDagPath b = Path("b");
    EXPECT_EQ(b.length(), 2u);
    EXPECT_EQ(b.fullPathName().str(), "|a|b");
    EXPECT_EQ(b.childCount(), 0u);
    EXPECT_FALSE(b.extendToShape());
    ZDagPath up = b;
    ASSERT_TRUE(up.pop());
    EXPECT_EQ(up.fullPathName().str(), "|a");
    EXPECT_FALSE(up.pop(2));
    ZDagPath world;
    EXPECT_EQ(world.node().apiType(), ZFn::kWorld);
    EXPECT_GE(world.childCount(), 5u);

    ZDagPath persp = Path("persp");
    EXPECT_TRUE(persp.hasFn(ZFn::kCamera)); // through its shape
    EXPECT_FALSE(persp.hasFn(ZFn::kSpotLight));
    ASSERT_TRUE(persp.extendToShape());
    EXPECT_EQ(persp.partialPathName().str(), "perspShape");
    EXPECT_EQ(ZFnDependencyNode(persp.transform()).name().str(), "persp");

    // A cycle is refused.
    EXPECT_EQ(RunError("parent a b"), "parent: Cannot parent a under its own descendant");
    EXPECT_EQ(Run("parent -w b"), std::vector<std::string>{"b"});
    EXPECT_EQ(Path("b").fullPathName().str(), "|b");
}

TEST_F(DagTest, DeepHierarchiesAndManyNodes)
{
    zelthost::Scene& scene = zelthost::Host::Get().GetScene();
    uint64_t parent = 0;
    for (int i = 0; i < 2000; ++i)
        parent = scene.Create("transform", "", parent, nullptr)->id;
    ZDagPath deepest;
    ASSERT_TRUE(ZDagPath::getAPathTo(ZObject(zelthost::NodeRep(parent)), deepest));
    EXPECT_EQ(deepest.length(), 2000u);
    EXPECT_EQ(DagOrder().size(), 2008u);

    ZStatus st;
    EXPECT_EQ(scene.Create("locator", "", 0, &st), nullptr);
    EXPECT_EQ(st.errorString(), "a shape needs a transform parent");
    for (int i = 0; i < 100000; ++i)
        scene.Create("objectSet", "", 0, nullptr);
    EXPECT_NE(scene.FindByName("objectSet100000"), nullptr);
    EXPECT_EQ(scene.FindByName("objectSet100001"), nullptr);
    Run("delete transform1");
    EXPECT_EQ(DagOrder().size(), 8u);
}

TEST_F(DagTest, InstancePathsThatMultiplyStayBounded)
{
    // Each level hangs under two parents: 2^18 paths lead to the last node.
    Run("createNode transform -n l0a; createNode transform -n l0b");
    for (int i = 1; i <= 18; ++i)
    {
        std::string prev = std::to_string(i - 1), cur = std::to_string(i);
        Run("createNode transform -n l" + cur + "a -p l" + prev + "a; parent -add l" + cur + "a l" + prev +
            "b; createNode transform -n l" + cur + "b -p l" + cur + "a");
    }
    ZDagPathArray paths;
    ASSERT_TRUE(ZDagPath::getAllPathsTo(Node("l18b"), paths));
    EXPECT_EQ(paths.length(), 100000u); // capped
    EXPECT_TRUE(paths[0].isValid());
    ZItDag it; // walks lazily: the first paths come at once
    for (int i = 0; i < 1000 && !it.isDone(); ++i)
        it.next();
    EXPECT_FALSE(it.isDone());
}

} // namespace
