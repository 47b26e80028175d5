// Deformation import: link classification, smooth skins, weighted clusters
// and rigid binds, as host command transcripts and resulting weights.
#include "deform_test_util.h"

#include "plugin/import/qoxzeltdeformations.h"
#include "scene/attributes/kqoxnull.h"
#include "scene/attributes/kqoxpatch.h"
#include "scene/kqoxpose.h"

using namespace qoxsdk_600;
using Strings = std::vector<std::string>;

namespace {

std::string Matrix(const char* values)
{
    return std::string(" -type \"matrix\" ") + values;
}
const char kIdentity[] = "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1";
const char kIdentityNegZero[] = "1 0 0 0 0 1 0 0 0 0 1 0 -0 -0 -0 1";

class SkinTest : public DeformTest
{
protected:
    // A host surface under a transform: V of the SDK is host U (vRows CVs),
    // U of the SDK host V (uColumns CVs, seam repeats included).
    static void HostSurface(const std::string& name, int vRows, int uColumns)
    {
        ZFnTransform t;
        ZObject transform = t.create();
        t.setName(ZString(name));
        ZPointArray cvs;
        for (int i = 0; i < vRows * uColumns; ++i)
            cvs.append(ZPoint(i % uColumns, i / uColumns, 0));
        ZDoubleArray uKnots, vKnots;
        for (int i = 0; i < vRows + 2; ++i)
            uKnots.append(i);
        for (int i = 0; i < uColumns + 2; ++i)
            vKnots.append(i);
        ZFnNurbsSurface surface;
        ZStatus st;
        surface.create(cvs, uKnots, vKnots, 3, 3, ZFnNurbsSurface::kOpen, ZFnNurbsSurface::kOpen, false, transform,
                       &st);
        EXPECT_TRUE(st) << st.errorString();
    }
    KQoxNurb* Surface(int uCount, int vCount, bool uPeriodic)
    {
        KQoxNurb* nurb = mImport.mManager.CreateKQoxNurb();
        nurb->InitControlPoints(uCount, uPeriodic ? KQoxNurb::ePERIODIC : KQoxNurb::eOPEN, vCount, KQoxNurb::eOPEN);
        nurb->SetOrder(4, 4);
        return nurb;
    }
    // The host's weight of a cluster at one component.
    static std::string Percent(const std::string& cluster, const std::string& component)
    {
        Strings answer = Ask("percent -q " + cluster + " " + component);
        return answer.empty() ? "" : answer[0];
    }
};

// ---- Smooth skins ----

TEST_F(SkinTest, MeshSmoothSkinTranscriptMatricesAndWeights)
{
    HostGrid("box", 2, 2);
    Run("createNode joint -n hip; createNode joint -n knee -p hip");
    KQoxMesh* mesh = Mesh(4);
    QoxZeltNode* box = Node("box", mesh, nullptr, "box");
    box->SetDefaultT(KQoxVector4(5, 0, 0));
    QoxZeltNode* hip = Joint("hip");
    QoxZeltNode* knee = Joint("knee", hip, "|hip|knee");
    Link(mesh, hip, 2, {{0, 1.0}, {1, 0.25}});
    // Unsorted: sorted with its weights before anything reads it.
    KQoxLink* kneeLink = Link(mesh, knee, 0, {{3, 1.0}, {1, 0.75}});
    kneeLink->SetTransformLinkT(KQoxVector4(0, 1, 0));
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    // G = translation (5, 0, 0); the knee's P = G^-1 . TL^-1 moves by
    // (-5, -1, 0) and its bind pose B = P^-1 by (5, 1, 0).
    const Strings expected = {
        "select -cl",
        "select -tgl \"hip\" \"knee\" ",
        "select -tgl  |box.vtx[0:1] |box.vtx[3]",
        "newSkinCluster \"-toSelectedBones -mi 5 -dr 4\"",
        "select -cl",
        "setAttr skinCluster1.geomMatrix" + Matrix("1 0 0 0 0 1 0 0 0 0 1 0 5 0 0 1"),
        "setAttr hip.bindPose" + Matrix("1 0 0 0 0 1 0 0 0 0 1 0 5 -0 -0 1"),
        "setAttr skinCluster1.bindPreMatrix[0]" + Matrix("1 0 0 0 0 1 0 0 0 0 1 0 -5 0 0 1"),
        "setAttr knee.bindPose" + Matrix("1 0 0 0 0 1 0 0 0 0 1 0 5 1 -0 1"),
        "setAttr skinCluster1.bindPreMatrix[1]" + Matrix("1 0 0 0 0 1 0 0 0 0 1 0 -5 -1 0 1"),
        "skinPercent -prw 10000 -normalize off skinCluster1 \"polySurfaceShape1\"",
        "select -tgl  |box.vtx[0:1] |box.vtx[3]",
        "setAttr \"skinCluster1.normalizeWeights\" 0",
        "setAttr \"skinCluster1.normalizeWeights\" 1",
        "skinPercent -normalize true skinCluster1",
        "setAttr \"skinCluster1.normalizeWeights\" 0",
        "select -cl",
    };
    EXPECT_EQ(Commands(), expected);
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_EQ(kneeLink->GetControlPointIndices()[0], 1);
    EXPECT_EQ(kneeLink->GetControlPointWeights()[0], 0.75);
    // The bind command's closest-bone weights are gone: point 2 has none,
    // point 3 only the knee.
    const double weights[4][2] = {{1, 0}, {0.25, 0.75}, {0, 0}, {0, 1}};
    for (unsigned p = 0; p < 4; ++p)
        for (unsigned j = 0; j < 2; ++j)
            EXPECT_DOUBLE_EQ(SkinWeight("skinCluster1", p, j), weights[p][j]) << p << " " << j;
    EXPECT_EQ(Ask("getAttr skinCluster1.normalizeWeights"), Strings{"0"});
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(SkinTest, NurbsSmoothSkinWeightsTheSeamRepeats)
{
    // SDK U: 4 CVs, periodic, order 4; the host repeats 3 of them: 7 host V CVs.
    HostSurface("surf", 4, 7);
    Run("createNode joint -n hip");
    KQoxNurb* nurb = Surface(4, 4, true);
    QoxZeltNode* surf = Node("surf", nurb, nullptr, "surf");
    surf->mUSeam = true;
    QoxZeltNode* hip = Joint("hip");
    Link(nurb, hip, 2, {{9, 0.5}, {11, 0.25}, {0, 1.0}});
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    const std::string components = "select -tgl  |surf.cv[0][0] |surf.cv[2][1] |surf.cv[2][3]";
    const Strings expected = {
        "select -cl",
        "select -tgl \"hip\" ",
        components,
        "newSkinCluster \"-toSelectedBones -mi 5 -dr 4\"",
        "select -cl",
        "setAttr skinCluster1.geomMatrix" + Matrix(kIdentity),
        "setAttr hip.bindPose" + Matrix(kIdentityNegZero),
        "setAttr skinCluster1.bindPreMatrix[0]" + Matrix(kIdentity),
        "skinPercent -prw 10000 -normalize off skinCluster1 \"nurbsSurfaceShape1\"",
        components,
        "setAttr \"skinCluster1.normalizeWeights\" 0",
        "setAttr \"skinCluster1.normalizeWeights\" 1",
        "skinPercent -normalize true skinCluster1",
        "setAttr \"skinCluster1.normalizeWeights\" 0",
        "select -cl",
    };
    EXPECT_EQ(Commands(), expected);
    // Host point = host U x 7 + host V: CV 9 is (2, 1) = 15 and its repeat
    // (2, 5) = 19; CV 11 is (2, 3) = 17 with no repeat; CV 0 repeats at
    // (0, 4). With one influence every weighted point ends at 1, the others at 0.
    const std::pair<unsigned, double> points[] = {{15, 1.0}, {19, 1.0}, {17, 1.0}, {0, 1.0}, {4, 1.0}, {16, 0.0}};
    for (const auto& p : points)
        EXPECT_DOUBLE_EQ(SkinWeight("skinCluster1", p.first, 0), p.second) << p.first;
    EXPECT_TRUE(Errors().empty());
}

TEST_F(SkinTest, NurbsWithoutControlPointsIsSkippedWithALogLine)
{
    HostSurface("surf", 4, 4);
    Run("createNode joint -n hip");
    KQoxNurb* nurb = mImport.mManager.CreateKQoxNurb(); // no control points at all
    Node("surf", nurb, nullptr, "surf");
    QoxZeltNode* hip = Joint("hip");
    Link(nurb, hip, 2, {{1, 1.0}});
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(LogLines(),
              Strings{"Smooth binding of surf skipped: its NURBS surface has no control point in U or in V."});
}

TEST_F(SkinTest, ParentedSkinWarnsOnceNamingTheLastBone)
{
    Run("createNode joint -n hip; createNode joint -n knee -p hip");
    HostGrid("box", 2, 2);
    Run("parent box |hip|knee");
    KQoxMesh* mesh = Mesh(4);
    QoxZeltNode* hip = Joint("hip");
    QoxZeltNode* knee = Joint("knee", hip, "|hip|knee");
    Node("box", mesh, knee, "|hip|knee|box");
    Link(mesh, knee, 2, {{0, 1.0}});
    Link(mesh, hip, 2, {{1, 1.0}});
    Link(mesh, knee, 2, {{2, 1.0}});
    Param(QoxZeltUserParams::kImportShowUI, true);
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    const Strings& commands = Commands();
    ASSERT_GE(commands.size(), 3u);
    // The same bone twice in the selection.
    EXPECT_EQ(commands[2], "select -tgl \"knee\" \"hip\" \"knee\" ");
    EXPECT_EQ(commands[0], "confirmDialog -t \"QOX import warning\" -m \"The skin is parented to the deforming bone "
                           "(knee). Inconsistent behaviour may occur.\" -b \"Ok\"");
    // knee twice: the host makes three influences of two bones here, so
    // the bind matrices do not match the links either.
    EXPECT_EQ(LogLines(), (Strings{"Warning: The skin is parented to the deforming bone (knee). Inconsistent "
                                   "behaviour may occur.",
                                   "Smooth binding of box skipped: the skin cluster skinCluster1 has 1 bind matrices "
                                   "for 3 influences; it was deleted."}));
}

TEST_F(SkinTest, BindPreMatrixCountMismatchDeletesTheSkinCluster)
{
    HostGrid("box", 2, 2);
    Run("createNode joint -n hip; createNode joint -n knee");
    // Bound already: the new binding fails and the skin cluster found has
    // two bind matrices for one link.
    Run("select -cl; select -tgl hip knee; select -tgl box; newSkinCluster \"-toSelectedBones\"");
    KQoxMesh* mesh = Mesh(4);
    Node("box", mesh, nullptr, "box");
    Link(mesh, Joint("hip"), 2, {{0, 1.0}});
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    const Strings& commands = Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), "delete skinCluster1");
    EXPECT_EQ(Ask("ls -type skinCluster"), Strings{});
    EXPECT_EQ(LogLines(), Strings{"Smooth binding of box skipped: the skin cluster skinCluster1 has 2 bind matrices "
                                  "for 1 influences; it was deleted."});
}

TEST_F(SkinTest, BoneWithoutHostPathEndsTheBindingBeforeAnyCommand)
{
    HostGrid("box", 2, 2);
    KQoxMesh* mesh = Mesh(4);
    Node("box", mesh, nullptr, "box");
    QoxZeltNode* ghost = Node("ghost", mImport.mManager.CreateKQoxSkeleton());
    KQoxLink* link = Link(mesh, ghost, 2, {{2, 0.5}, {1, 0.5}});
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    EXPECT_TRUE(Commands().empty());
    // Skipped before anything changed: the link keeps its order.
    EXPECT_EQ(link->GetControlPointIndices()[0], 2);
    EXPECT_EQ(LogLines(), Strings{"Smooth binding of box skipped: its bone ghost has no host node."});
}

// A skin that is skipped leaves its links and the geometry's weights as the
// file had them: unsorted points, transform-link matrices and weights that
// pre-normalising would change.
class SkippedSkinTest : public SkinTest
{
protected:
    void SetUp() override
    {
        SkinTest::SetUp();
        HostGrid("box", 2, 2);
        Run("createNode joint -n hip; createNode joint -n knee");
        mMesh = Mesh(4);
        mBox = Node("box", mMesh, nullptr, "box");
        mHip = Joint("hip");
        mHipLink = Link(mMesh, mHip, 2, {{3, 0.2}, {1, 0.2}});
        KQoxPose* pose = mImport.mManager.CreateKQoxPose("bind", true);
        KQoxMatrix hipMatrix;
        hipMatrix.Set(3, 1, 2.0);
        ASSERT_GE(pose->Add(mHip->GetInitialName(), hipMatrix), 0);
        ASSERT_TRUE(mScene->AddPose(pose));
        Param(QoxZeltUserParams::kImportNullsToPivot, true);
        Param(QoxZeltUserParams::kImportForceWeightNormalize, true);
    }
    // The hip link exactly as it was made.
    void ExpectHipLinkUnchanged()
    {
        EXPECT_EQ(std::vector<int>(mHipLink->GetControlPointIndices(), mHipLink->GetControlPointIndices() + 2),
                  (std::vector<int>{3, 1}));
        EXPECT_EQ(std::vector<double>(mHipLink->GetControlPointWeights(), mHipLink->GetControlPointWeights() + 2),
                  (std::vector<double>{0.2, 0.2}));
        KQoxXMatrix transformLink;
        mHipLink->GetTransformLinkMatrix(transformLink);
        EXPECT_EQ(transformLink.Get(3, 1), 0.0);
    }
    KQoxMesh* mMesh = nullptr;
    QoxZeltNode* mBox = nullptr;
    QoxZeltNode* mHip = nullptr;
    KQoxLink* mHipLink = nullptr;
};

TEST_F(SkippedSkinTest, LinkWithoutBone)
{
    KQoxLink* loose = mImport.mManager.CreateKQoxLink();
    loose->AddControlPointIndex(0, 1.0);
    mMesh->AddLink(loose);
    KArrayTemplate<KQoxLink*> links;
    links.Add(mHipLink);
    links.Add(loose);
    Clear();
    mImport.BuildSmoothBinding(mBox, mImport.GetLog(), &mImport.mManager, &links);
    EXPECT_TRUE(Commands().empty());
    ExpectHipLinkUnchanged();
    EXPECT_EQ(LogLines(), Strings{"Smooth binding of box skipped: its link 2 has no bone."});
}

TEST_F(SkippedSkinTest, BoneWithoutHostPathAfterABoundOne)
{
    Link(mMesh, Node("ghost", mImport.mManager.CreateKQoxSkeleton()), 2, {{0, 1.0}});
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    EXPECT_TRUE(Commands().empty());
    ExpectHipLinkUnchanged();
    EXPECT_EQ(LogLines(), Strings{"Smooth binding of box skipped: its bone ghost has no host node."});
}

TEST_F(SkippedSkinTest, NoSkinClusterMade)
{
    zelthost::Host::Get().missingCommands.insert("newSkinCluster");
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    zelthost::Host::Get().missingCommands.clear();
    EXPECT_EQ(Ask("ls -type skinCluster"), Strings{});
    ExpectHipLinkUnchanged();
    EXPECT_EQ(LogLines(), Strings{"Smooth binding of box skipped: the host made no skin cluster for it."});
}

TEST_F(SkippedSkinTest, BoundSkinStillSortsReplacesAndNormalizes)
{
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    EXPECT_EQ(Ask("ls -type skinCluster"), Strings{"skinCluster1"});
    EXPECT_EQ(std::vector<int>(mHipLink->GetControlPointIndices(), mHipLink->GetControlPointIndices() + 2),
              (std::vector<int>{1, 3}));
    // One link per point: a lone weight below 1 becomes 1.
    EXPECT_EQ(mHipLink->GetControlPointWeights()[0], 1.0);
    KQoxXMatrix transformLink;
    mHipLink->GetTransformLinkMatrix(transformLink);
    EXPECT_EQ(transformLink.Get(3, 1), 2.0);
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(SkinTest, SortingMovesWeightsAndLeavesSortedLinks)
{
    KQoxLink* link = mImport.mManager.CreateKQoxLink();
    for (auto p : {std::make_pair(5, 0.5), std::make_pair(2, 0.2), std::make_pair(9, 0.9)})
        link->AddControlPointIndex(p.first, p.second);
    mImport.SortControlPointsOnSmoothSkin(link);
    EXPECT_EQ(std::vector<int>(link->GetControlPointIndices(), link->GetControlPointIndices() + 3),
              (std::vector<int>{2, 5, 9}));
    EXPECT_EQ(std::vector<double>(link->GetControlPointWeights(), link->GetControlPointWeights() + 3),
              (std::vector<double>{0.2, 0.5, 0.9}));
    // A reversed link of 100,000 points sorts without a deep recursion.
    std::vector<int> indices;
    std::vector<double> weights;
    for (int i = 100000; i > 0; --i)
    {
        indices.push_back(i);
        weights.push_back(i * 0.5);
    }
    DoubleQuickSort(indices.data(), weights.data(), 0, static_cast<int>(indices.size()) - 1);
    for (int i = 0; i < 100000; ++i)
    {
        ASSERT_EQ(indices[i], i + 1);
        ASSERT_EQ(weights[i], (i + 1) * 0.5);
    }
    DoubleQuickSort(indices.data(), weights.data(), 0, 0);
    DoubleQuickSort(nullptr, nullptr, 0, -1);
}

TEST_F(SkinTest, PreNormalizeNumbers)
{
    KQoxMesh* mesh = Mesh(6);
    QoxZeltNode* a = Node("a", mImport.mManager.CreateKQoxSkeleton());
    QoxZeltNode* b = Node("b", mImport.mManager.CreateKQoxSkeleton());
    KQoxLink* first = Link(mesh, a, 2, {{0, 0.4}, {1, 0.0}, {2, 1.5}, {3, 0.2}, {4, 0.0}, {5, 0.3}});
    KQoxLink* second = Link(mesh, b, 0, {{3, 0.6}, {4, 0.0}, {9, 0.5}});
    KQoxLink* additive = Link(mesh, b, 1, {{0, 0.5}, {5, 0.1}});
    KQoxLink* boneless = Link(mesh, nullptr, 2, {{5, 0.3}});
    PreNormalize(mesh);
    auto weightsOf = [](KQoxLink* link) {
        return std::vector<double>(link->GetControlPointWeights(),
                                   link->GetControlPointWeights() + link->GetControlPointIndicesCount());
    };
    // 0.4 alone -> 1; 0 and 1.5 stay; 0.2 + 0.6 -> 0.25 and 0.75; a zero sum
    // stays zero; 0.3 alone (the boneless link does not count) -> 1.
    const std::vector<double> firstExpected{1.0, 0.0, 1.5, 0.25, 0.0, 1.0}, secondExpected{0.75, 0.0, 0.5};
    for (size_t i = 0; i < firstExpected.size(); ++i)
        EXPECT_DOUBLE_EQ(weightsOf(first)[i], firstExpected[i]) << i;
    for (size_t i = 0; i < secondExpected.size(); ++i)
        EXPECT_DOUBLE_EQ(weightsOf(second)[i], secondExpected[i]) << i;
    EXPECT_EQ(weightsOf(additive), (std::vector<double>{0.5, 0.1}));
    EXPECT_EQ(weightsOf(boneless), (std::vector<double>{0.3}));
    PreNormalize(nullptr);
}

TEST_F(SkinTest, FailedInfluenceIndexSkipsThatPass)
{
    HostGrid("box", 2, 2);
    Run("createNode joint -n hip; createNode joint -n knee; createNode joint -n other");
    // Bound already to hip and knee: the skin cluster found has two bind
    // matrices for the two links, but other is no influence of it.
    Run("select -cl; select -tgl hip knee; select -tgl box; newSkinCluster \"-toSelectedBones\"");
    KQoxMesh* mesh = Mesh(4);
    QoxZeltNode* box = Node("box", mesh, nullptr, "box");
    KQoxLink* hipLink = Link(mesh, Joint("hip"), 2, {{0, 1.0}, {1, 0.5}});
    Link(mesh, Joint("other"), 2, {{1, 0.5}});
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    EXPECT_EQ(LogLines(), Strings{"Smooth binding of box: other is no influence of the skin cluster; its weights "
                                  "are left out."});
    EXPECT_DOUBLE_EQ(SkinWeight("skinCluster1", 0, 0), 1.0);
    EXPECT_DOUBLE_EQ(SkinWeight("skinCluster1", 1, 0), 1.0);
    EXPECT_DOUBLE_EQ(SkinWeight("skinCluster1", 1, 1), 0.0);
    // One pass by hand onto the knee's index.
    ZFnSkinCluster skin(Object("skinCluster1"));
    SetZeltSmoothBindingZeltParameter(box, hipLink, 1, skin, false);
    EXPECT_DOUBLE_EQ(SkinWeight("skinCluster1", 1, 1), 0.5);
}

// ---- Link classification ----

TEST_F(SkinTest, LinksAreSortedByModeJointAndHint)
{
    HostGrid("box", 3, 3);
    Run("createNode joint -n j1; createNode transform -n model; createNode transform -n n1 -p model");
    Run("createNode transform -n n2; createNode transform -n n3; createNode transform -n n4");
    Run("createNode transform -n n5 -p model; createNode joint -n j2");
    KQoxMesh* mesh = Mesh(9);
    Node("box", mesh, nullptr, "box");
    QoxZeltNode* j1 = Joint("j1");
    QoxZeltNode* model = Node("model", mImport.mManager.CreateKQoxNull(), nullptr, "model");
    QoxZeltNode* n1 = Node("n1", mImport.mManager.CreateKQoxNull(), model, "|model|n1");
    QoxZeltNode* n2 = Node("n2", mImport.mManager.CreateKQoxNull(), nullptr, "n2");
    QoxZeltNode* n3 = Node("n3", mImport.mManager.CreateKQoxNull(), nullptr, "n3");
    QoxZeltNode* n4 = Node("n4", mImport.mManager.CreateKQoxNull(), nullptr, "n4");
    QoxZeltNode* n5 = Node("n5", mImport.mManager.CreateKQoxNull(), model, "|model|n5");
    QoxZeltNode* j2 = Joint("j2");
    KQoxLink* jointAdditive = Link(mesh, j2, 1, {{0, 1.0}}); // no hint, joint: rigid
    KQoxLink* underModel = Link(mesh, n1, 1, {{1, 1.0}});    // no hint, parent = model: rigid
    underModel->SetAssociateModel(model);
    Link(mesh, n2, 1, {{2, 1.0}}); // no hint: weighted
    KQoxLink* compensation = Link(mesh, n3, 1, {{3, 1.0}});
    compensation->SetUserData(KString("zelt_clusterhint"), KString("CompensationCluster")); // dropped
    KQoxLink* lowerCase = Link(mesh, n4, 1, {{4, 1.0}});
    lowerCase->SetUserData(KString("Zelt_ClusterHint"), KString("compensationcluster")); // weighted
    KQoxLink* relative = Link(mesh, n5, 1, {{5, 1.0}});
    relative->SetUserData(KString("Zelt_ClusterHint"), KString("WeightedRelativeCluster"));
    relative->SetAssociateModel(model); // rewritten to a rigid bind
    Link(mesh, j1, 2, {{6, 1.0}});      // smooth
    Link(mesh, nullptr, 2, {{7, 1.0}}); // skipped
    Link(mesh, j1, 7, {{8, 1.0}});      // another mode: skipped
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    EXPECT_STREQ(relative->GetUserData(KString("ZELT_CLUSTERHINT")).ToChars(), "RigidBind");
    EXPECT_STREQ(jointAdditive->GetUserData().ToChars(), "");
    Strings clusters, binds;
    for (const std::string& c : Commands())
    {
        if (c.rfind("cluster ", 0) == 0)
            clusters.push_back(c);
        if (c.rfind("select -tgl ", 0) == 0)
            binds.push_back(c);
    }
    EXPECT_EQ(clusters, (Strings{"cluster -n n2 -bf -bs 1.0  -wn n2  n2", "cluster -n n4 -bf -bs 1.0  -wn n4  n4"}));
    ASSERT_GE(binds.size(), 4u);
    // Weighted first, then the rigid bind (links in order), then the skin.
    EXPECT_EQ(binds[0], "select -tgl |j2 |model|n1 |model|n5 ");
    EXPECT_EQ(binds[1], "select -tgl |box");
    EXPECT_EQ(binds[2], "select -tgl \"j1\" ");
}

TEST_F(SkinTest, NodesWithoutPathOrMatchedAreLeftAloneChildrenStillHandled)
{
    HostGrid("child", 2, 2);
    Run("createNode transform -n bone");
    KQoxMesh* parentMesh = Mesh(4);
    QoxZeltNode* matched = Node("matched", parentMesh);
    matched->mMatchedByMerge = true;
    KQoxMesh* childMesh = Mesh(4);
    Node("child", childMesh, matched, "child");
    KQoxMesh* orphanMesh = Mesh(4);
    Node("orphan", orphanMesh); // no host path
    QoxZeltNode* bone = Node("bone", mImport.mManager.CreateKQoxNull(), nullptr, "bone");
    Link(parentMesh, bone, 1, {{0, 1.0}});
    Link(childMesh, bone, 1, {{1, 1.0}});
    Link(orphanMesh, bone, 1, {{2, 1.0}});
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    Strings percents;
    for (const std::string& c : Commands())
        if (c.rfind("percent", 0) == 0)
            percents.push_back(c);
    EXPECT_EQ(percents, Strings{"percent -v 1.000000 bone1  |child.vtx[1]"});
}

TEST_F(SkinTest, ChildrenAreHandledLastFirstBeforeTheirParent)
{
    HostGrid("p", 2, 2);
    HostGrid("a", 2, 2);
    HostGrid("b", 2, 2);
    Run("createNode transform -n bone");
    QoxZeltNode* bone = Node("bone", mImport.mManager.CreateKQoxNull(), nullptr, "bone");
    KQoxMesh* pm = Mesh(4);
    QoxZeltNode* p = Node("p", pm, nullptr, "p");
    KQoxMesh* am = Mesh(4);
    Node("a", am, p, "a");
    KQoxMesh* bm = Mesh(4);
    Node("b", bm, p, "b");
    for (KQoxMesh* m : {pm, am, bm})
        Link(m, bone, 1, {{0, 0.5}});
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    Strings percents;
    for (const std::string& c : Commands())
        if (c.rfind("percent", 0) == 0)
            percents.push_back(c);
    // One cluster, made for b and reused for a and p.
    EXPECT_EQ(percents, (Strings{"percent -v 0.500000 bone1  |b.vtx[0]", "percent -v 0.500000 bone1  |a.vtx[0]",
                                 "percent -v 0.500000 bone1  |p.vtx[0]"}));
}

// ---- The non-joint warning ----

class NonJointTest : public SkinTest
{
protected:
    // A smooth skin on hip plus non-joint links to the named nulls.
    void Build(std::vector<const char*> names)
    {
        HostGrid("box", 2, 2);
        Run("createNode joint -n hip");
        KQoxMesh* mesh = Mesh(4);
        Node("box", mesh, nullptr, "box");
        Link(mesh, Joint("hip"), 2, {{0, 1.0}});
        for (const char* name : names)
            Link(mesh, Node(name, mImport.mManager.CreateKQoxNull()), 2, {{1, 1.0}});
        Param(QoxZeltUserParams::kImportShowUI, true);
        Clear();
        mImport.BuildClusterInformation(ZeltRoot());
    }
    static std::string Message(const std::string& names)
    {
        return "QOX import error | The following DAG nodes influence the skin in the source QOX file but because they "
               "are not of type Joint, they are ignored:\\n\\n" +
               names + "\\nThe resulting skin operation may produce errors.\\n | [Ok] -> Ok";
    }
    const std::string kHeading = "The following DAG nodes influence the skin in the source QOX file but because they "
                                 "are not of type Joint, they are ignored:";
    const std::string kEnd = "The resulting skin operation may produce errors.";
};

TEST_F(NonJointTest, OneName)
{
    Build({"n1"});
    EXPECT_EQ(Dialogs(), Strings{Message("        n1\\n        \\n")});
    EXPECT_EQ(LogLines(), (Strings{kHeading, "n1", kEnd}));
}

TEST_F(NonJointTest, ThreeNames)
{
    Build({"n1", "n2", "n3"});
    EXPECT_EQ(Dialogs(), Strings{Message("        n1, n2, n3\\n        \\n")});
    EXPECT_EQ(LogLines(), (Strings{kHeading, "n1", "n2", "n3", kEnd}));
}

TEST_F(NonJointTest, FourNamesAndNoDialogWithoutUI)
{
    HostGrid("box", 2, 2);
    Run("createNode joint -n hip");
    KQoxMesh* mesh = Mesh(4);
    Node("box", mesh, nullptr, "box");
    Link(mesh, Joint("hip"), 2, {{0, 1.0}});
    for (const char* name : {"a", "b", "c", "d"})
        Link(mesh, Node(name, mImport.mManager.CreateKQoxNull()), 0, {{1, 1.0}});
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    EXPECT_TRUE(Dialogs().empty());
    EXPECT_EQ(LogLines(), (Strings{kHeading, "a", "b", "c", "d", kEnd}));
    // With the dialog: the first line ends with the separator.
    Param(QoxZeltUserParams::kImportShowUI, true);
    Run("delete skinCluster1");
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    EXPECT_EQ(Dialogs(), Strings{Message("        a, b, c, \\n        d\\n        \\n")});
}

TEST_F(NonJointTest, NonJointsAloneAreDroppedSilently)
{
    HostGrid("box", 2, 2);
    KQoxMesh* mesh = Mesh(4);
    Node("box", mesh, nullptr, "box");
    Param(QoxZeltUserParams::kImportShowUI, true);
    Link(mesh, Node("n1", mImport.mManager.CreateKQoxNull()), 2, {{1, 1.0}});
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    EXPECT_TRUE(Commands().empty());
    EXPECT_TRUE(LogLines().empty());
}

// ---- Weighted clusters ----

TEST_F(SkinTest, WeightedMeshClusterWritesRunsOfVertices)
{
    HostGrid("box", 11, 2);
    Run("createNode transform -n bone");
    KQoxMesh* mesh = Mesh(22);
    Node("box", mesh, nullptr, "box");
    QoxZeltNode* bone = Node("bone", mImport.mManager.CreateKQoxNull(), nullptr, "bone");
    KQoxLink* link = Link(
        mesh, bone, 1, {{5, 0.5}, {6, 0.500009}, {7, 0.500018}, {10, 0.3}, {3, 0.2}, {2, 0.2}, {11, 0.5}, {12, 0.6}});
    link->SetTransformLinkT(KQoxVector4(1, 2, 3));
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    const Strings expected = {
        "select -cl",
        "select -cl",
        "cluster -n bone -bf -bs 1.0  -wn bone  bone",
        "select -cl",
        "percent -v 0.500000 bone1  |box.vtx[5:7]",
        "percent -v 0.300000 bone1  |box.vtx[10]",
        "percent -v 0.200000 bone1  |box.vtx[3]",
        "percent -v 0.200000 bone1  |box.vtx[2]",
        "percent -v 0.500000 bone1  |box.vtx[11]",
        "percent -v 0.600000 bone1  |box.vtx[12]",
    };
    EXPECT_EQ(Commands(), expected);
    EXPECT_EQ(Percent("bone1", "box.vtx[7]"), "0.5");
    EXPECT_EQ(Percent("bone1", "box.vtx[12]"), "0.6");
    EXPECT_EQ(Percent("bone1", "box.vtx[2]"), "0.2");
    // The bind-pre matrix is the inverse of the transform-link matrix.
    ZObject data;
    ZFnDependencyNode(Object("bone1")).findPlug("bindPreMatrix").getValue(data);
    ZMatrix bindPre = ZFnMatrixData(data).matrix();
    EXPECT_EQ(bindPre(3, 0), -1.0);
    EXPECT_EQ(bindPre(3, 1), -2.0);
    EXPECT_EQ(bindPre(3, 2), -3.0);
    EXPECT_EQ(bone->mHostName, ZString("bone1"));
    EXPECT_TRUE(bone->GetDagPath()->hasFn(ZFn::kClusterHandle));
}

TEST_F(SkinTest, RelativeHintAndReuseOfTheCluster)
{
    HostGrid("box", 2, 2);
    HostGrid("lid", 2, 2);
    Run("createNode transform -n bone");
    KQoxMesh* box = Mesh(4);
    Node("box", box, nullptr, "box");
    KQoxMesh* lid = Mesh(4);
    Node("lid", lid, nullptr, "lid");
    QoxZeltNode* bone = Node("bone", mImport.mManager.CreateKQoxNull(), nullptr, "bone");
    Link(lid, bone, 1, {{0, 0.25}})->SetUserData(KString("Zelt_ClusterHint"), KString("weightedRELATIVEcluster"));
    Link(box, bone, 1, {{3, 0.75}});
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    // lid comes last as a child of the root, so it is handled first.
    const Strings expected = {
        "select -cl",
        "select -cl",
        "cluster -n bone -rel  -bf -bs 1.0  -wn bone  bone",
        "select -cl",
        "percent -v 0.250000 bone1  |lid.vtx[0]",
        "select -cl",
        "select -cl",
        "percent -v 0.750000 bone1  |box.vtx[3]",
    };
    EXPECT_EQ(Commands(), expected);
    EXPECT_EQ(Ask("getAttr bone1.relative"), Strings{"1"});
    EXPECT_EQ(Percent("bone1", "box.vtx[3]"), "0.75");
    EXPECT_EQ(Percent("bone1", "lid.vtx[0]"), "0.25");
}

TEST_F(SkinTest, ClusterOfControlVerticesWithSeams)
{
    HostSurface("surf", 4, 7);
    Run("createNode transform -n bone");
    KQoxNurb* nurb = Surface(4, 4, true);
    QoxZeltNode* surf = Node("surf", nurb, nullptr, "surf");
    surf->mUSeam = true;
    QoxZeltNode* bone = Node("bone", mImport.mManager.CreateKQoxNull(), nullptr, "bone");
    Link(nurb, bone, 1, {{7, 0.5}, {8, 0.25}});
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    // CV 7 is [1][3] (no repeat); CV 8 is [2][0], repeated at [2][4].
    const Strings expected = {
        "select -cl",
        "select -cl",
        "cluster -n bone -bf -bs 1.0  -wn bone  bone",
        "select -cl",
        "percent -v 0.500000  bone1  |surf.cv[1][3]",
        "percent -v 0.250000  bone1  |surf.cv[2][0]",
        "percent -v 0.250000  bone1  |surf.cv[2][4]",
    };
    EXPECT_EQ(Commands(), expected);
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_EQ(Percent("bone1", "surf.cv[2][4]"), "0.25");
}

TEST_F(SkinTest, LinksThatCannotBeBuiltAreSkippedAndTheOthersGoOn)
{
    HostGrid("box", 2, 2);
    Run("createNode transform -n bone; createNode transform -n late");
    KQoxMesh* mesh = Mesh(4);
    Node("box", mesh, nullptr, "box");
    QoxZeltNode* ghost = Node("ghost", mImport.mManager.CreateKQoxNull()); // no host path
    QoxZeltNode* bone = Node("bone", mImport.mManager.CreateKQoxNull(), nullptr, "bone");
    QoxZeltNode* late = Node("late", mImport.mManager.CreateKQoxNull(), nullptr, "late");
    Link(mesh, ghost, 1, {{0, 1.0}});
    Link(mesh, bone, 1, {{1, 1.0}});
    Link(mesh, late, 1, {{2, 1.0}});
    // bone already stands for a cluster whose deformer set is gone.
    Run("select -cl; cluster -n old -bf -bs 1.0 -wn bone bone; delete oldSet");
    bone->mHostName = "old";
    ZDagPath bonePath = Path("bone");
    bone->SetDagPath(&bonePath);
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    EXPECT_EQ(LogLines(), (Strings{"Cluster of box on ghost skipped: the linked node has no host node.",
                                   "Cluster of box on bone skipped: the cluster has no deformer set."}));
    EXPECT_EQ(Percent("late1", "box.vtx[2]"), "1");
}

TEST_F(SkinTest, MissingClusterByNameIsReportedAndSkipped)
{
    HostGrid("box", 2, 2);
    Run("select -cl; createNode transform -n bone; cluster -n c -bf -bs 1.0 -wn bone bone");
    KQoxMesh* mesh = Mesh(4);
    Node("box", mesh, nullptr, "box");
    QoxZeltNode* bone = Node("bone", mImport.mManager.CreateKQoxNull(), nullptr, "bone");
    bone->mHostName = "no such cluster";
    Link(mesh, bone, 1, {{0, 1.0}});
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    ASSERT_FALSE(Errors().empty());
    EXPECT_EQ(Errors().front().rfind("Cannot find cluster link.", 0), 0u) << Errors().front();
    EXPECT_EQ(LogLines(), Strings{"Cluster of box on bone skipped: no cluster could be found or made."});
}

TEST_F(SkinTest, LongNamesMakeLongCommands)
{
    const std::string longName(3000, 'x');
    HostGrid(longName, 2, 2);
    Run("createNode transform -n bone");
    KQoxMesh* mesh = Mesh(4);
    Node(longName.c_str(), mesh, nullptr, longName.c_str());
    QoxZeltNode* bone = Node("bone", mImport.mManager.CreateKQoxNull(), nullptr, "bone");
    Link(mesh, bone, 1, {{0, 1e300}, {1, 0.5}});
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    const Strings& commands = Commands();
    ASSERT_EQ(commands.size(), 6u);
    EXPECT_EQ(commands[4].size(), std::string("percent -v ").size() + 301 + 7 + std::string(" bone1  |").size() +
                                      longName.size() + std::string(".vtx[0]").size());
    EXPECT_EQ(commands[5], "percent -v 0.500000 bone1  |" + longName + ".vtx[1]");
}

TEST_F(SkinTest, PatchClustersGoThroughAConvertedSurface)
{
    HostSurface("patch", 4, 4);
    Run("createNode transform -n bone");
    KQoxPatch* patch = mImport.mManager.CreateKQoxPatch();
    patch->InitControlPoints(4, KQoxPatch::eBSPLINE, 4, KQoxPatch::eBSPLINE);
    Node("patch", patch, nullptr, "patch");
    QoxZeltNode* bone = Node("bone", mImport.mManager.CreateKQoxNull(), nullptr, "bone");
    Link(patch, bone, 1, {{5, 0.5}});
    KQoxPatch* broken = mImport.mManager.CreateKQoxPatch(); // converts to an empty surface
    HostGrid("other", 2, 2);
    Node("other", broken, nullptr, "other");
    Link(broken, bone, 1, {{1, 0.5}});
    // A cardinal patch has no NURBS form: its link is passed over.
    KQoxPatch* cardinal = mImport.mManager.CreateKQoxPatch();
    cardinal->InitControlPoints(4, KQoxPatch::eCARDINAL, 4, KQoxPatch::eBSPLINE);
    HostSurface("cardinal", 4, 4);
    Node("cardinal", cardinal, nullptr, "cardinal");
    Link(cardinal, bone, 1, {{2, 0.25}});
    const int attributes = mImport.mManager.GetKQoxNodeAttributeCount();
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    Strings percents;
    for (const std::string& c : Commands())
        if (c.rfind("percent", 0) == 0)
            percents.push_back(c);
    EXPECT_EQ(percents, Strings{"percent -v 0.500000  bone1  |patch.cv[1][1]"});
    EXPECT_EQ(LogLines(),
              (Strings{"Cluster of cardinal on bone skipped: the patch could not be made a NURBS surface.",
                       "Cluster of other on bone skipped: its NURBS surface has no control point in U or in V."}));
    // The temporary surfaces are gone.
    EXPECT_EQ(mImport.mManager.GetKQoxNodeAttributeCount(), attributes);
}

// ---- Rigid binds ----

TEST_F(SkinTest, RigidBindTranscriptIgnoresWeights)
{
    HostGrid("box", 2, 2);
    Run("createNode joint -n a; createNode joint -n b -p a");
    KQoxMesh* mesh = Mesh(4);
    Node("box", mesh, nullptr, "box");
    QoxZeltNode* a = Joint("a");
    QoxZeltNode* b = Joint("b", a, "|a|b");
    QoxZeltNode* lost = Node("lost", mImport.mManager.CreateKQoxNull());
    for (QoxZeltNode* bone : {a, b, lost})
    {
        KQoxLink* link = Link(mesh, bone, 1, {{0, 0.3}});
        link->SetUserData(KString("Zelt_ClusterHint"), KString("RigidBind"));
    }
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    const Strings expected = {
        "select -cl", "select -tgl |a |a|b ", "select -tgl |box", "newBindSkin \"-byClosestPoint -toSelectedBones\"",
        "select -cl",
    };
    EXPECT_EQ(Commands(), expected);
    EXPECT_EQ(LogLines(), Strings{"Rigid binding of box: the influence lost has no host node; it is left out."});
    EXPECT_EQ(Ask("ls -type rigidSkin"), Strings{"rigidSkin1"});
}

} // namespace

namespace {

TEST_F(SkinTest, BindPoseGivesTheGeometryAndBoneMatrices)
{
    HostGrid("box", 2, 2);
    Run("createNode joint -n hip");
    KQoxMesh* mesh = Mesh(4);
    QoxZeltNode* box = Node("box", mesh, nullptr, "box");
    QoxZeltNode* hip = Joint("hip");
    KQoxLink* link = Link(mesh, hip, 2, {{0, 1.0}});
    link->SetTransformLinkT(KQoxVector4(0, 9, 0));
    KQoxPose* pose = mImport.mManager.CreateKQoxPose("bind", true);
    KQoxMatrix boxMatrix, hipMatrix;
    boxMatrix.Set(3, 0, 5.0);
    hipMatrix.Set(3, 1, 2.0);
    ASSERT_GE(pose->Add(box->GetInitialName(), boxMatrix), 0);
    ASSERT_GE(pose->Add(hip->GetInitialName(), hipMatrix), 0);
    ASSERT_TRUE(mScene->AddPose(pose));
    Param(QoxZeltUserParams::kImportNullsToPivot, true);
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    Strings matrices;
    for (const std::string& c : Commands())
        if (c.find("-type \"matrix\"") != std::string::npos)
            matrices.push_back(c);
    // G from the pose; the bone's B from the pose (its bindPose is not
    // written) and P = B^-1.
    EXPECT_EQ(matrices, (Strings{"setAttr skinCluster1.geomMatrix -type \"matrix\" 1 0 0 0 0 1 0 0 0 0 1 0 5 0 0 1",
                                 "setAttr skinCluster1.bindPreMatrix[0] -type \"matrix\" 1 0 0 0 0 1 0 0 0 0 1 0 -0 "
                                 "-2 -0 1"}));
    // With kImportNullsToPivot the link's transform-link matrix is the pose's.
    KQoxXMatrix transformLink;
    link->GetTransformLinkMatrix(transformLink);
    EXPECT_EQ(transformLink.Get(3, 1), 2.0);
}

} // namespace

namespace {

TEST_F(SkinTest, ClusterOfALinkWithoutPointsGetsNoWeights)
{
    HostGrid("box", 2, 2);
    Run("createNode transform -n bone");
    KQoxMesh* mesh = Mesh(4);
    Node("box", mesh, nullptr, "box");
    QoxZeltNode* bone = Node("bone", mImport.mManager.CreateKQoxNull(), nullptr, "bone");
    Link(mesh, bone, 1, {});
    Clear();
    mImport.BuildClusterInformation(ZeltRoot());
    EXPECT_EQ(Commands(),
              (Strings{"select -cl", "select -cl", "cluster -n bone -bf -bs 1.0  -wn bone  bone", "select -cl"}));
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_EQ(Ask("ls -type cluster"), Strings{"bone1"});
}

} // namespace
