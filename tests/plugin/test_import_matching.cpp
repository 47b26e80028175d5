// Name-clash tables and the merge node matcher: imported SDK nodes paired
// with the host nodes that already stand for them.
#include "plugin_test_util.h"

#include "host/zfn.h"
#include "plugin/import/qoxzeltmergenodematcher.h"
#include "plugin/import/qoxzeltnameclashtable.h"
#include "plugin/qoxzeltnode.h"
#include "plugin/qoxzeltsdkmanager.h"
#include "scene/kqoxpluginbase.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxuserproperty.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxnull.h"
#include "scene/kqoxpath.h"

using namespace qoxsdk_600;

namespace {

using Strings = std::vector<std::string>;

class MatchTest : public ::testing::Test
{
protected:
    void SetUp() override { zelthost::Host::Get().Reset(); }

    void Run(const std::string& text) { qoxtest::RunScriptOrFail(text); }
    // A dynamic numeric attribute on a host node.
    static void AddAttr(const char* node, const char* name, ZFnNumericData::Type type)
    {
        ZFnNumericAttribute fn;
        ZObject attribute = fn.create(ZString(name), ZString(name), type);
        ZFnDependencyNode host(Path(node).node());
        ASSERT_TRUE(host.addAttribute(attribute)) << name;
    }
    static ZDagPath Path(const std::string& name) { return qoxtest::HostPath(name); }
    // A node under parent (the scene root when null), in namespace ns.
    QoxZeltNode* Node(const char* name, KQoxNode* parent = nullptr, const char* ns = "")
    {
        QoxZeltNode* node = mManager.CreateQoxZeltNode(name, nullptr);
        (parent ? parent : Root())->AddChild(node);
        node->mNameSpace = ns;
        return node;
    }
    KQoxNode* Root()
    {
        if (!mScene)
            mScene = mManager.CreateKQoxScene();
        return mScene->GetRootNode();
    }
    static std::string Full(QoxZeltNode* node)
    {
        return node->GetDagPath() ? node->GetDagPath()->fullPathName().asChar() : "(none)";
    }
    void Apply()
    {
        QoxZeltMergeNodeMatcher* matcher = mManager.CreateQoxZeltMergeNodeMatcher();
        matcher->mPluginBase = &mPlugin;
        EXPECT_TRUE(matcher->Apply(Root(), ZFn::kInvalid));
        EXPECT_TRUE(mManager.DestroyQoxZeltMergeNodeMatcher(matcher));
    }

    QoxZeltSdkManager mManager{QoxZeltSdkManager::eIMPORT};
    KQoxScene* mScene = nullptr;
    KQoxPluginBase mPlugin;
};

// ---- Tables ----

TEST_F(MatchTest, SdkTableListsSharedStrippedNamesInPreOrder)
{
    QoxZeltNode* a = Node("a");
    QoxZeltNode* hand1 = Node("hand", a);
    Node("Hand", a); // another case: no clash
    QoxZeltNode* b = Node("b");
    QoxZeltNode* hand2 = Node("hand", b);
    QoxZeltNode* hand3 = Node("hand");
    Node("RootNode", b); // the root's own name clashes with it
    QoxNameClashTable table(Root());
    EXPECT_EQ(table.GetCount(), 2);
    QoxNameClashTable::Clash* hands = table.Find("hand");
    ASSERT_NE(hands, nullptr);
    EXPECT_EQ(hands->mNodes.GetCount(), 3);
    EXPECT_EQ(hands->mNodes[0], hand1);
    EXPECT_EQ(hands->mNodes[1], hand2);
    EXPECT_EQ(hands->mNodes[2], hand3);
    QoxNameClashTable::Clash* roots = table.Find("RootNode");
    ASSERT_NE(roots, nullptr);
    EXPECT_EQ(roots->mNodes[0], Root());
    EXPECT_EQ(table.Find("Hand"), nullptr);
    EXPECT_EQ(table.Find("a"), nullptr);
    EXPECT_EQ(table.Find(""), nullptr);
    // Records in ascending order; the table leaves the nodes alive.
    EXPECT_STREQ(table.GetAt(0)->mName.ToChars(), "RootNode");
    EXPECT_STREQ(table.GetAt(1)->mName.ToChars(), "hand");
    (void)b;
}

TEST_F(MatchTest, SdkTableOfDistinctNamesIsEmpty)
{
    Node("x", Node("y"));
    QoxNameClashTable table(Root());
    EXPECT_EQ(table.GetCount(), 0);
    EXPECT_EQ(table.Find("x"), nullptr);
    QoxNameClashTable none(nullptr);
    EXPECT_EQ(none.GetCount(), 0);
}

TEST_F(MatchTest, HostTableKeepsSecondThenFirstThenTheRest)
{
    Run("createNode transform -n a; createNode transform -n b; createNode transform -n c");
    // The host keeps names unique: a shared name comes from instancing.
    Run("createNode transform -n knob -p a; parent -add |a|knob b; parent -add |a|knob c");
    Run("namespace -add ns; createNode transform -n ns:solo; createNode transform -n solo -p a");
    QoxZeltNameClashTable table(ZFn::kTransform);
    QoxZeltNameClashTable::Clash* knobs = table.Find("knob");
    ASSERT_NE(knobs, nullptr);
    ASSERT_EQ(knobs->mPaths.GetCount(), 3);
    EXPECT_STREQ(knobs->mPaths[0]->fullPathName().asChar(), "|b|knob");
    EXPECT_STREQ(knobs->mPaths[1]->fullPathName().asChar(), "|a|knob");
    EXPECT_STREQ(knobs->mPaths[2]->fullPathName().asChar(), "|c|knob");
    // Host names are compared whole: ns:solo and solo do not clash.
    EXPECT_EQ(table.Find("solo"), nullptr);
    EXPECT_EQ(table.Find("ns:solo"), nullptr);
}

TEST(SortedArrays, EqualKeysGoAfterTheirEqualsAndLookupsHalve)
{
    QoxZeltDagPathSortedArray paths;
    EXPECT_EQ(paths.Find("x"), nullptr);
    ZDagPath one({1}), two({2}), three({3}), four({4}), five({5});
    paths.Add("m", one);
    paths.Add("z", two);   // above all: the end
    paths.Add("a", three); // below all: the front
    paths.Add("m", four);  // after the first m
    paths.Add(nullptr, five);
    ASSERT_EQ(paths.GetCount(), 5);
    EXPECT_EQ(*paths.Find(""), five);
    EXPECT_EQ(*paths.Find("a"), three);
    EXPECT_EQ(*paths.Find("z"), two);
    EXPECT_EQ(paths.Find("n"), nullptr);
    EXPECT_EQ(paths.Find("0"), nullptr);
    EXPECT_EQ(paths.Find("zz"), nullptr);
    ZDagPath* m = paths.Find("m");
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(*m == one || *m == four);

    // Many equal keys keep their insertion order, each found.
    QoxZeltSdkManager manager(QoxZeltSdkManager::eIMPORT);
    QoxZeltKQoxNodeSortedArray nodes;
    std::vector<KQoxNode*> made;
    for (const char* name : {"k", "c", "k", "a", "k", "x", "c"})
    {
        made.push_back(manager.CreateQoxZeltNode(name, nullptr));
        nodes.Add(made.back());
    }
    std::vector<std::string> order;
    for (int i = 0; i < nodes.GetCount(); ++i)
        order.push_back(nodes.GetAt(i)->GetNameWithoutNameSpacePrefix().ToChars());
    EXPECT_EQ(order, (Strings{"a", "c", "c", "k", "k", "k", "x"}));
    EXPECT_EQ(nodes.GetAt(1), made[1]);
    EXPECT_EQ(nodes.GetAt(3), made[0]);
    EXPECT_EQ(nodes.GetAt(4), made[2]);
    EXPECT_EQ(nodes.GetAt(5), made[4]);
    for (const char* name : {"a", "c", "k", "x"})
        EXPECT_STREQ(nodes.Find(name)->GetNameWithoutNameSpacePrefix().ToChars(), name);
    EXPECT_EQ(nodes.Find("b"), nullptr);
}

TEST(SortedArrays, DeleteAndClearFreesEachPathOnce)
{
    KArrayTemplate<ZDagPath*> paths;
    paths.Add(new ZDagPath({1}));
    paths.Add(nullptr);
    paths.Add(new ZDagPath({2, 3}));
    DeleteAndClear(paths);
    EXPECT_EQ(paths.GetCount(), 0);
    DeleteAndClear(paths);
}

// ---- Pairing ----

TEST_F(MatchTest, NamespacePrefixMustAgree)
{
    Run("namespace -add ns; namespace -add other");
    Run("createNode transform -n ns:arm; createNode transform -n other:leg; createNode transform -n hip");
    QoxZeltNode* arm = Node("arm", nullptr, "ns");
    QoxZeltNode* leg = Node("leg", nullptr, "ns");
    QoxZeltNode* hip = Node("hip");
    Apply();
    EXPECT_EQ(Full(arm), "|ns:arm");
    EXPECT_TRUE(arm->mMatchedByMerge);
    EXPECT_EQ(Full(leg), "(none)");
    EXPECT_FALSE(leg->mMatchedByMerge);
    EXPECT_EQ(Full(hip), "|hip");
}

TEST_F(MatchTest, PlainHostNameDoesNotPairWithNamespacedNode)
{
    Run("createNode transform -n arm");
    QoxZeltNode* arm = Node("arm", nullptr, "ns");
    Apply();
    EXPECT_FALSE(arm->mMatchedByMerge);
}

TEST_F(MatchTest, SeveralColonsSplitAtTheFirst)
{
    Run("namespace -add a; namespace -add a:b; createNode transform -n a:b:c");
    QoxZeltNode* node = Node("b:c", nullptr, "a");
    Apply();
    EXPECT_EQ(Full(node), "|a:b:c");
}

TEST_F(MatchTest, AncestryIsTestedOnlyForSharedNames)
{
    // Shared SDK name: the hand under body pairs, the top-level hand does not.
    Run("createNode transform -n body; createNode transform -n hand -p body");
    QoxZeltNode* topHand = Node("hand");
    QoxZeltNode* body = Node("body");
    QoxZeltNode* bodyHand = Node("hand", body);
    // Unique name one level deeper in the host: paired anyway.
    Run("createNode transform -n grip -p body");
    QoxZeltNode* grip = Node("grip");
    Apply();
    EXPECT_EQ(Full(bodyHand), "|body|hand");
    EXPECT_EQ(Full(topHand), "(none)");
    EXPECT_EQ(Full(grip), "|body|grip");
}

TEST_F(MatchTest, SharedNameTakesTheFirstListedQualifierAndTheLastPath)
{
    // One host hand instanced under left and right: both SDK hands qualify
    // through one of its paths; the first listed is taken at each path, so
    // it ends with the last path met.
    Run("createNode transform -n left; createNode transform -n right; createNode transform -n hand -p left");
    Run("parent -add |left|hand right");
    QoxZeltNode* leftHand = Node("hand", Node("left"));
    QoxZeltNode* rightHand = Node("hand", Node("right"));
    Apply();
    EXPECT_EQ(Full(leftHand), "|right|hand");
    EXPECT_FALSE(rightHand->mMatchedByMerge);
}

TEST_F(MatchTest, SharedNameAtTheWrongDepthStaysUnpaired)
{
    Run("createNode transform -n body; createNode transform -n hand -p body");
    QoxZeltNode* hand1 = Node("hand");
    QoxZeltNode* other = Node("other");
    QoxZeltNode* hand2 = Node("hand", other);
    Apply();
    EXPECT_EQ(Full(hand1), "(none)");
    EXPECT_EQ(Full(hand2), "(none)");
}

TEST_F(MatchTest, HostNamespacesAreDroppedFromAncestors)
{
    Run("namespace -add ns; createNode transform -n ns:arm; createNode transform -n ns:hand -p ns:arm");
    Run("createNode transform -n hand");
    QoxZeltNode* arm = Node("arm", nullptr, "ns");
    QoxZeltNode* hand = Node("hand", arm, "ns");
    QoxZeltNode* top = Node("hand");
    Apply();
    EXPECT_EQ(Full(hand), "|ns:arm|ns:hand");
    EXPECT_EQ(Full(top), "|hand");
    KQoxPath sdkPath(hand);
    QoxZeltMergeNodeMatcher matcher(mManager);
    EXPECT_TRUE(matcher.ComparePath(sdkPath, Path("|ns:arm|ns:hand")));
    EXPECT_FALSE(matcher.ComparePath(sdkPath, Path("|hand")));
}

TEST_F(MatchTest, UniqueNameKeepsTheFirstHostPath)
{
    Run("createNode transform -n a; createNode transform -n b");
    Run("namespace -add n; createNode transform -n n:x -p a; createNode transform -n n:x -p b");
    QoxZeltNode* x = Node("x", nullptr, "n");
    Apply();
    EXPECT_EQ(Full(x), "|a|n:x");
}

TEST_F(MatchTest, InstancesPairThroughAnyPath)
{
    Run("createNode transform -n p1; createNode transform -n p2; createNode transform -n leaf -p p1");
    Run("createNode transform -n leaf -p p2");
    Run("parent -add |p1|leaf p2");
    // Two SDK leaves force the ancestry test; the instance under p2 matches
    // the one under p2 in the SDK even though its first path is under p1.
    QoxZeltNode* p2 = Node("p2");
    QoxZeltNode* leaf = Node("leaf", p2);
    QoxZeltNode* stray = Node("leaf", Node("p3"));
    Apply();
    EXPECT_TRUE(leaf->mMatchedByMerge);
    EXPECT_FALSE(stray->mMatchedByMerge);
}

TEST_F(MatchTest, RootWrapperPairsOnlyWithASharedChildName)
{
    Run("createNode transform -n Qox_Root; createNode transform -n c -p Qox_Root");
    QoxZeltNode* wrapper = Node("Qox_Root");
    Node("a", wrapper);
    Node("b", wrapper);
    Apply();
    EXPECT_FALSE(wrapper->mMatchedByMerge);
    ZDagPath path = Path("Qox_Root");
    EXPECT_TRUE(IsHalvekPatch(path, wrapper, &mPlugin));
    EXPECT_FALSE(IsHalvekPatch(path, wrapper, nullptr));
    Run("createNode transform -n b -p Qox_Root");
    EXPECT_FALSE(IsHalvekPatch(path, wrapper, &mPlugin));
    Apply();
    EXPECT_TRUE(wrapper->mMatchedByMerge);
}

TEST_F(MatchTest, CamerasAndLightsGetTheirShapes)
{
    Run("camera -n cam; createNode transform -n bare");
    ZFnPointLight light;
    ZFnDagNode(light.create()).setName("lamp");
    QoxZeltNode* cam = Node("cam");
    cam->SetNodeAttribute(mManager.CreateKQoxCamera());
    QoxZeltNode* lamp = Node("lamp");
    lamp->SetNodeAttribute(mManager.CreateKQoxLight());
    QoxZeltNode* bare = Node("bare");
    Apply();
    ASSERT_NE(cam->GetShapeObject(), nullptr);
    EXPECT_TRUE(cam->GetShapeObject()->hasFn(ZFn::kCamera));
    ASSERT_NE(lamp->GetShapeObject(), nullptr);
    EXPECT_TRUE(lamp->GetShapeObject()->hasFn(ZFn::kLight));
    EXPECT_TRUE(bare->mMatchedByMerge);
    EXPECT_EQ(bare->GetShapeObject(), nullptr);
}

TEST_F(MatchTest, EmptyHostOrEmptySceneIsSuccess)
{
    QoxZeltNode* lonely = Node("lonely");
    Apply();
    EXPECT_FALSE(lonely->mMatchedByMerge);
    zelthost::Host::Get().Reset();
    QoxZeltMergeNodeMatcher matcher(mManager);
    EXPECT_TRUE(matcher.Apply(nullptr, ZFn::kInvalid));
}

// ---- User properties ----

class UserPropertyMappingTest : public MatchTest
{
protected:
    KQoxUserProperty* Property(QoxZeltNode* node, const char* label, const char* type, bool user = true)
    {
        KQoxUserProperty* property = mManager.CreateKQoxUserProperty(label, type, label);
        property->ModifyFlag(KQoxUserProperty::eUSER, user);
        node->AddProperty(property);
        return property;
    }
    static std::string Mapped(QoxZeltNode* node, const char* label)
    {
        KString* name = node->GetUserPropertyHostName(label);
        return name ? name->ToChars() : "(none)";
    }
};

TEST_F(UserPropertyMappingTest, LabelsMapOntoAttributesOfMatchingType)
{
    Run("createNode transform -n rig");
    AddAttr("rig", "Max_Speed", ZFnNumericData::kDouble);
    AddAttr("rig", "flag", ZFnNumericData::kBoolean);
    AddAttr("rig", "count", ZFnNumericData::kLong);
    AddAttr("rig", "tint", ZFnNumericData::k3Double);
    AddAttr("rig", "mass", ZFnNumericData::kBoolean);
    QoxZeltNode* rig = Node("rig");
    rig->SetNodeAttribute(mManager.CreateKQoxNull());
    Property(rig, "Max Speed", "Real");
    Property(rig, "flag", "Bool");
    Property(rig, "count", "Integer");
    Property(rig, "tint", "Color");
    Property(rig, "mass", "Real"); // exists with another type: no entry, not pending
    Property(rig, "hidden", "Real", false);
    Apply();
    EXPECT_EQ(Mapped(rig, "Max Speed"), "Max_Speed");
    EXPECT_EQ(Mapped(rig, "flag"), "flag");
    EXPECT_EQ(Mapped(rig, "count"), "count");
    EXPECT_EQ(Mapped(rig, "tint"), "tint");
    EXPECT_EQ(Mapped(rig, "mass"), "(none)");
    EXPECT_EQ(Mapped(rig, "hidden"), "(none)");
}

TEST_F(UserPropertyMappingTest, NumberedNamesAreTriedUpToTen)
{
    Run("createNode transform -n rig");
    AddAttr("rig", "speed3", ZFnNumericData::kDouble);
    AddAttr("rig", "pace1", ZFnNumericData::kBoolean);
    AddAttr("rig", "pace3", ZFnNumericData::kDouble);
    AddAttr("rig", "far10", ZFnNumericData::kFloat);
    AddAttr("rig", "near11", ZFnNumericData::kDouble);
    QoxZeltNode* rig = Node("rig");
    rig->SetNodeAttribute(mManager.CreateKQoxNull());
    Property(rig, "speed", "Real");
    Property(rig, "pace", "Real");
    Property(rig, "far", "Real");
    Property(rig, "near", "Real");
    Apply();
    EXPECT_EQ(Mapped(rig, "speed"), "speed3");
    EXPECT_EQ(Mapped(rig, "pace"), "(none)"); // pace1 exists with another type
    EXPECT_EQ(Mapped(rig, "far"), "far10");
    EXPECT_EQ(Mapped(rig, "near"), "(none)");
}

TEST_F(UserPropertyMappingTest, NodeWithoutAttributeGetsNoEntries)
{
    Run("createNode transform -n rig");
    AddAttr("rig", "speed", ZFnNumericData::kDouble);
    QoxZeltNode* rig = Node("rig");
    Property(rig, "speed", "Real");
    Apply();
    EXPECT_TRUE(rig->mMatchedByMerge);
    EXPECT_EQ(Mapped(rig, "speed"), "(none)");
}

} // namespace
