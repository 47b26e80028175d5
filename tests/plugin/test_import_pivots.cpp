// Pivot import, world transform, root wrappers and the import's checks on
// the SDK scene: notices, log lines and the values left in the pivot sets.
#include "deform_test_util.h"

#include "fcurve/kfcurve.h"
#include "plugin/import/qoxzeltdeformations.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxnull.h"
#include "scene/kqoxnodelimits.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using Strings = std::vector<std::string>;

namespace {

const long long kSecond = qoxtest::kTicksPerSecond;

void Key(KFCurve* curve, long long ticks, float value)
{
    const int index = curve->KeyAdd(KTime(ticks));
    curve->KeySet(index, KTime(ticks), value, KFCURVE_INTERPOLATION_LINEAR);
}

void ExpectVector(const KQoxVector4& v, double x, double y, double z, const char* what, double tolerance = 1e-9)
{
    EXPECT_NEAR(v[0], x, tolerance) << what;
    EXPECT_NEAR(v[1], y, tolerance) << what;
    EXPECT_NEAR(v[2], z, tolerance) << what;
}

class PivotTest : public DeformTest
{
protected:
    QoxZeltNode* Plain(const char* name, KQoxNodeAttribute* attribute = nullptr, KQoxNode* parent = nullptr)
    {
        return Node(name, attribute ? attribute : mImport.mManager.CreateKQoxNull(), parent);
    }
    // Rotation active with a minimum on X.
    static void Limit(KQoxNode* node)
    {
        node->GetLimits().SetRotationLimitActive(true);
        node->GetLimits().mRotationLimits.SetLimitMinActive(true, false, false);
    }
    static bool RotationActive(KQoxNode* node) { return node->GetLimits().GetRotationLimitActive(); }
    static ERotationOrder Order(KQoxNode* node, EPivotSet set)
    {
        ERotationOrder order;
        node->GetRotationOrder(set, order);
        return order;
    }
    const std::string kDropped = "Since the node also has rotation limits, those limits cannot be applied due to the "
                                 "resampling and will be dropped\\n";
};

// ---- Pre- and post-rotation nodes of old files ----

TEST_F(PivotTest, PreRotationNodeWarnsOnlyWhenRotationReallyChanges)
{
    Param(QoxZeltUserParams::kImportShowUI, true);
    QoxZeltNode* still = Plain("arm__Pre_1");
    KQoxTakeNode* take = still->CreateTakeNode("Take 001");
    for (int i = 0; i < 4; ++i)
        Key(take->GetEulerRotationX(), i * kSecond, 15.0f);
    QoxZeltNode* moving = Plain("leg__Pre_", nullptr, still);
    for (const char* name : {"Take 001", "Take 002"})
    {
        KQoxTakeNode* t = moving->CreateTakeNode(name);
        Key(t->GetEulerRotationZ(), 0, 0.0f);
        Key(t->GetEulerRotationZ(), kSecond, 30.0f);
    }
    const int keys = take->GetEulerRotationX()->KeyGetCount();
    Clear();
    mImport.ValidatePreAndPostJoints(Root());
    // The scene's curves are untouched; one warning per animated take.
    EXPECT_EQ(take->GetEulerRotationX()->KeyGetCount(), keys);
    const std::string tail = " , \\n Keyframing rotation in a PreRotation node can lead to undefined behavior.";
    const std::string dialog =
        "QOX import error | KeyFrames found in the rotation channel for node: leg__Pre_" + tail + " | [Ok] -> Ok";
    EXPECT_EQ(Dialogs(), (Strings{dialog, dialog}));
    const Strings entries = {"KeyFrames found in the rotation channel for node", "leg__Pre_", tail};
    Strings both = entries;
    both.insert(both.end(), entries.begin(), entries.end());
    EXPECT_EQ(LogLines(), both);
}

TEST_F(PivotTest, PostRotationNodeWarnsForAnyKeyedChannel)
{
    QoxZeltNode* post = Plain("x__Post_y");
    KQoxTakeNode* take = post->CreateTakeNode("Take 001");
    Key(take->GetScaleZ(), 0, 2.0f);
    post->CreateTakeNode("Take 002");              // no keys: no warning
    QoxZeltNode* both = Plain("a__Pre_b__Post_c"); // counts as a pre-rotation node only
    Key(both->CreateTakeNode("Take 001")->GetScaleX(), 0, 2.0f);
    Clear();
    mImport.ValidatePreAndPostJoints(Root());
    EXPECT_TRUE(Dialogs().empty()); // kImportShowUI off
    EXPECT_EQ(LogLines(), (Strings{"KeyFrames found in an animation channel for node: ", "x__Post_y",
                                   " , \\n Keyframing animation in a PostRotation node can lead to undefined "
                                   "behavior."}));
}

// ---- Destination pivot sets ----

TEST_F(PivotTest, SkeletonKeepsLimitsAndPreRotation)
{
    QoxZeltNode* bone = Node("bone", mImport.mManager.CreateKQoxSkeleton());
    Limit(bone);
    bone->SetPreRotation(eSOURCE_SET, KQoxVector4(10, 20, 30));
    bone->SetPostRotation(eSOURCE_SET, KQoxVector4(1, 2, 3));
    bone->SetRotationPivot(eSOURCE_SET, KQoxVector4(4, 5, 6));
    bone->SetRotationPivot(eDESTINATION_SET, KQoxVector4(7, 7, 7));
    bone->SetScalingPivot(eDESTINATION_SET, KQoxVector4(8, 8, 8));
    bone->SetRotationOffset(eSOURCE_SET, KQoxVector4(1, 1, 1));
    bone->SetScalingOffset(eSOURCE_SET, KQoxVector4(2, 2, 2));
    bone->SetPivotState(eSOURCE_SET, ePIVOT_STATE_REFERENCE);
    mImport.SetZeltPivotsRecursive(Root());
    EXPECT_TRUE(RotationActive(bone));
    ExpectVector(bone->GetPreRotation(eDESTINATION_SET), 10, 20, 30, "pre");
    ExpectVector(bone->GetPostRotation(eDESTINATION_SET), 1, 2, 3, "post");
    ExpectVector(bone->GetRotationPivot(eDESTINATION_SET), 0, 0, 0, "rotation pivot");
    ExpectVector(bone->GetScalingPivot(eDESTINATION_SET), 0, 0, 0, "scaling pivot");
    ExpectVector(bone->GetRotationOffset(eDESTINATION_SET), 1, 1, 1, "rotation offset");
    ExpectVector(bone->GetScalingOffset(eDESTINATION_SET), 2, 2, 2, "scaling offset");
    EPivotState state;
    bone->GetPivotState(eSOURCE_SET, state);
    EXPECT_EQ(state, ePIVOT_STATE_ACTIVE);
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(PivotTest, RotationInactiveDropsPreAndPostOfBothSets)
{
    QoxZeltNode* node = Plain("n");
    node->SetPreRotation(eSOURCE_SET, KQoxVector4(10, 0, 0));
    node->SetPreRotation(eDESTINATION_SET, KQoxVector4(11, 0, 0));
    node->SetPostRotation(eSOURCE_SET, KQoxVector4(0, 5, 0));
    node->SetRotationPivot(eSOURCE_SET, KQoxVector4(4, 5, 6));
    node->SetRotationOrder(eSOURCE_SET, eEULER_ZYX);
    node->SetRotationOrder(eDESTINATION_SET, eEULER_YXZ);
    mImport.SetZeltPivotsRecursive(Root());
    for (EPivotSet set : {eSOURCE_SET, eDESTINATION_SET})
    {
        ExpectVector(node->GetPreRotation(set), 0, 0, 0, "pre");
        ExpectVector(node->GetPostRotation(set), 0, 0, 0, "post");
        EXPECT_EQ(node->GetPreRotation(set)[3], 1.0);
    }
    ExpectVector(node->GetRotationPivot(eDESTINATION_SET), 4, 5, 6, "pivot copied");
    EXPECT_EQ(Order(node, eDESTINATION_SET), eEULER_YXZ);
}

TEST_F(PivotTest, LimitsWithPreRotationAndSphericGiveThePreRotationNoticeOnly)
{
    Param(QoxZeltUserParams::kImportShowUI, true);
    QoxZeltNode* node = Plain("n");
    Limit(node);
    node->SetPreRotation(eSOURCE_SET, KQoxVector4(0, 0, 10));
    node->SetRotationOrder(eSOURCE_SET, eSPHERIC_XYZ);
    node->SetRotationOrder(eDESTINATION_SET, eEULER_ZXY);
    Clear();
    mImport.SetZeltPivotsRecursive(Root());
    EXPECT_FALSE(RotationActive(node));
    EXPECT_EQ(Order(node, eDESTINATION_SET), eEULER_ZXY);
    ExpectVector(node->GetPreRotation(eDESTINATION_SET), 0, 0, 10, "pre kept");
    EXPECT_EQ(Dialogs(), Strings{"QOX import error | Node  n has to resample its rotation because it has a "
                                 "PreRotation.\\n" +
                                 kDropped + " | [Ok] -> Ok"});
    EXPECT_EQ(LogLines(),
              (Strings{"Node  ", "n", " has to resample its rotation because it has a PreRotation.\\n", kDropped}));
}

TEST_F(PivotTest, LimitsWithSphericOrderGiveTheSphericNotice)
{
    Param(QoxZeltUserParams::kImportShowUI, true);
    QoxZeltNode* node = Plain("n");
    Limit(node);
    node->SetRotationOrder(eSOURCE_SET, eSPHERIC_XYZ);
    node->SetRotationOrder(eDESTINATION_SET, eEULER_ZXY);
    QoxZeltNode* free = Plain("free", nullptr, node); // spheric without limits: order only
    free->SetRotationActive(true);
    free->SetRotationOrder(eSOURCE_SET, eSPHERIC_XYZ);
    free->SetRotationOrder(eDESTINATION_SET, eEULER_ZXY);
    QoxZeltNode* plain = Plain("plain", nullptr, node); // any other order is copied
    plain->SetRotationActive(true);
    plain->SetRotationOrder(eSOURCE_SET, eEULER_YZX);
    Clear();
    mImport.SetZeltPivotsRecursive(Root());
    EXPECT_EQ(Order(node, eDESTINATION_SET), eEULER_XYZ);
    EXPECT_FALSE(RotationActive(node));
    EXPECT_EQ(Order(free, eDESTINATION_SET), eEULER_XYZ);
    EXPECT_TRUE(RotationActive(free));
    EXPECT_EQ(Order(plain, eDESTINATION_SET), eEULER_YZX);
    // The dialog has one space after "Node" and none before the break; the log the other way round.
    EXPECT_EQ(Dialogs(), Strings{"QOX import error | Node n has to resample its rotation because it has a Spheric "
                                 "rotation space\\n" +
                                 kDropped + " | [Ok] -> Ok"});
    EXPECT_EQ(LogLines(),
              (Strings{"Node  ", "n", " has to resample its rotation because it has a Spheric rotation space \\n",
                       kDropped}));
}

TEST_F(PivotTest, RotationSpaceForLimitsOnly)
{
    Param(QoxZeltUserParams::kImportShowUI, true);
    // Within the tolerance: not modified, no notice, values still cleared.
    QoxZeltNode* tiny = Plain("tiny");
    Limit(tiny);
    tiny->SetUseRotationSpaceForLimitOnly(eSOURCE_SET, true);
    tiny->SetPreRotation(eSOURCE_SET, KQoxVector4(0, 0, 0.0000005));
    tiny->SetPreRotation(eDESTINATION_SET, KQoxVector4(3, 0, 0));
    tiny->SetRotationOrder(eDESTINATION_SET, eEULER_ZYX);
    tiny->SetRotationPivot(eDESTINATION_SET, KQoxVector4(9, 9, 9));
    // Modified by its order: the limits go.
    QoxZeltNode* turned = Plain("turned");
    Limit(turned);
    turned->SetUseRotationSpaceForLimitOnly(eSOURCE_SET, true);
    turned->SetRotationOrder(eSOURCE_SET, eEULER_XZY);
    Clear();
    mImport.SetZeltPivotsRecursive(Root());
    EXPECT_TRUE(RotationActive(tiny));
    for (EPivotSet set : {eSOURCE_SET, eDESTINATION_SET})
    {
        ExpectVector(tiny->GetPreRotation(set), 0, 0, 0, "pre");
        EXPECT_EQ(Order(tiny, set), eEULER_XYZ);
        EXPECT_EQ(Order(turned, set), eEULER_XYZ);
    }
    ExpectVector(tiny->GetRotationPivot(eDESTINATION_SET), 9, 9, 9, "pivot left");
    EXPECT_FALSE(RotationActive(turned));
    const std::string text = " Node turned has the option UseLimitsForRotationSpaceOnly enabled and has a modified "
                             "rotation space.\\n This is not supported by Zelt, rotation limits for this node will be "
                             "dropped \\n";
    EXPECT_EQ(Dialogs(), Strings{"QOX import error | " + text + " | [Ok] -> Ok"});
    EXPECT_EQ(LogLines(), Strings{text});
}

TEST_F(PivotTest, UntargetedLightsAndCamerasTurnTheirPostRotation)
{
    QoxZeltNode* light = Plain("light", mImport.mManager.CreateKQoxLight());
    light->SetRotationActive(true);
    QoxZeltNode* zyx = Plain("zyx", mImport.mManager.CreateKQoxLight());
    zyx->SetRotationActive(true);
    zyx->SetRotationOrder(eSOURCE_SET, eEULER_ZYX);
    zyx->SetPostRotation(eSOURCE_SET, KQoxVector4(0, 30, 0));
    QoxZeltNode* camera = Plain("camera", mImport.mManager.CreateKQoxCamera());
    Limit(camera);
    camera->SetUseRotationSpaceForLimitOnly(eSOURCE_SET, true);
    QoxZeltNode* aimed = Plain("aimed", mImport.mManager.CreateKQoxLight());
    aimed->SetTarget(Plain("target"));
    mImport.SetZeltPivotsRecursive(Root());
    ExpectVector(light->GetPostRotation(eSOURCE_SET), 90, 0, 0, "light");
    // X 90 then Y 30 about fixed axes is, in Z-Y-X order, Z -30 then X 90.
    ExpectVector(zyx->GetPostRotation(eSOURCE_SET), 90, 0, -30, "light in ZYX");
    ExpectVector(aimed->GetPostRotation(eSOURCE_SET), 0, 0, 0, "targeted");
    // The camera's turn (0, 90, 0) counts as a modified rotation space.
    EXPECT_FALSE(RotationActive(camera));
    ExpectVector(camera->GetPostRotation(eSOURCE_SET), 0, 0, 0, "camera post cleared");
    ExpectVector(camera->GetPostRotation(eDESTINATION_SET), 0, 0, 0, "camera post cleared");
}

TEST_F(PivotTest, PivotUseAndRotationPivotRemoval)
{
    QoxZeltNode* a = Plain("a");
    QoxZeltNode* b = Plain("b", nullptr, a);
    QoxZeltNode* c = Plain("c", nullptr, b);
    b->mMatchedByMerge = true;
    for (QoxZeltNode* n : {a, b, c})
    {
        n->SetRotationPivot(eSOURCE_SET, KQoxVector4(1, 2, 3));
        n->SetRotationOffset(eSOURCE_SET, KQoxVector4(4, 5, 6));
        n->SetRotationPivot(eDESTINATION_SET, KQoxVector4(7, 8, 9));
    }
    mImport.DisablePivotUse(ZeltRoot());
    EPivotState state;
    c->GetPivotState(eDESTINATION_SET, state);
    EXPECT_EQ(state, ePIVOT_STATE_REFERENCE);
    mImport.EnablePivotUse(a);
    c->GetPivotState(eSOURCE_SET, state);
    EXPECT_EQ(state, ePIVOT_STATE_ACTIVE);
    mImport.RemoveRotationPivotOnNotPresentNode(ZeltRoot());
    ExpectVector(a->GetRotationPivot(eSOURCE_SET), 0, 0, 0, "a");
    ExpectVector(b->GetRotationPivot(eSOURCE_SET), 1, 2, 3, "matched b");
    ExpectVector(b->GetRotationOffset(eSOURCE_SET), 4, 5, 6, "matched b");
    ExpectVector(c->GetRotationOffset(eSOURCE_SET), 0, 0, 0, "c below b");
    EXPECT_EQ(c->GetRotationOffset(eSOURCE_SET)[3], 1.0);
    mImport.RemoveRotationPivot(Root());
    ExpectVector(b->GetRotationPivot(eSOURCE_SET), 0, 0, 0, "b");
    ExpectVector(b->GetRotationPivot(eDESTINATION_SET), 7, 8, 9, "destination untouched");
}

TEST_F(PivotTest, SortNodeArrayKeepsTheFirstOfEqualNames)
{
    KArrayTemplate<KQoxNode*> nodes;
    SortNodeArray(nodes);
    EXPECT_EQ(nodes.GetCount(), 0);
    QoxZeltNode* b1 = Plain("b");
    QoxZeltNode* a = Plain("a");
    QoxZeltNode* b2 = mImport.mManager.CreateQoxZeltNode("b", nullptr);
    for (KQoxNode* n : {static_cast<KQoxNode*>(b1), static_cast<KQoxNode*>(a), static_cast<KQoxNode*>(b2)})
        nodes.Add(n);
    SortNodeArray(nodes);
    ASSERT_EQ(nodes.GetCount(), 2);
    EXPECT_EQ(nodes[0], a);
    EXPECT_EQ(nodes[1], b1);
}

// ---- World transform and root wrapper ----

TEST_F(PivotTest, WorldTransformForYUp)
{
    KgeAMatrix world;
    world.mData[0][3] = 7.0; // the fourth column is not written
    QoxZeltUserParams::Instance().SetDoubleParam(QoxZeltUserParams::kImportMasterScale, 2.0);
    zelthost::Host::Get().SetUpAxis("y");
    Clear();
    mImport.ComputeWorldTransform(world);
    EXPECT_EQ(Commands(), Strings{"upAxis -q -axis"});
    const double expected[4][4] = {{2, 0, 0, 7}, {0, 2, 0, 0}, {0, 0, 2, 0}, {0, 0, 0, 1}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(world.mData[r][c], expected[r][c]) << r << c;
}

TEST_F(PivotTest, WorldTransformForZUp)
{
    KgeAMatrix world;
    QoxZeltUserParams::Instance().SetDoubleParam(QoxZeltUserParams::kImportMasterScale, 2.0);
    zelthost::Host::Get().SetUpAxis("z");
    mImport.ComputeWorldTransform(world);
    const double c = 6.123233995736766e-17;
    const double expected[4][3] = {{2, 0, 0}, {0, 2 * c, 2}, {0, -2, 2 * c}, {0, 0, 0}};
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(world.mData[r][k], expected[r][k]) << r << k;
}

TEST_F(PivotTest, IdentityWorldKeepsNoCopyAndMovesNothing)
{
    QoxZeltNode* a = Plain("a");
    mImport.Preprocess(Root());
    EXPECT_EQ(mImport.mWorldMatrix.get(), nullptr);
    mImport.PropagateWorldTransformToChildrenOf(Root());
    EXPECT_EQ(a->GetParent(), Root());
    EXPECT_EQ(Root()->GetChildCount(false), 1);
}

TEST_F(PivotTest, ScaledWorldWrapsTheChildrenThatNeedIt)
{
    QoxZeltUserParams::Instance().SetDoubleParam(QoxZeltUserParams::kImportMasterScale, 2.54);
    QoxZeltNode* a = Plain("a");
    QoxZeltNode* matched = Plain("matched");
    matched->mMatchedByMerge = true;
    QoxZeltNode* b = Plain("b");
    mImport.Preprocess(Root());
    ASSERT_NE(mImport.mWorldMatrix.get(), nullptr);
    mImport.PropagateWorldTransformToChildrenOf(Root());
    ASSERT_EQ(Root()->GetChildCount(false), 2);
    EXPECT_EQ(Root()->GetChild(0), matched);
    KQoxNode* wrapper = Root()->GetChild(1);
    EXPECT_STREQ(wrapper->GetName(), "Model::Qox_Root");
    ASSERT_EQ(wrapper->GetChildCount(false), 2);
    EXPECT_EQ(wrapper->GetChild(0), a);
    EXPECT_EQ(wrapper->GetChild(1), b);
    KQoxVector4 t, r, s;
    wrapper->GetDefaultT(t);
    wrapper->GetDefaultR(r);
    wrapper->GetDefaultS(s);
    ExpectVector(t, 0, 0, 0, "T");
    ExpectVector(r, 0, 0, 0, "R");
    ExpectVector(s, 2.54, 2.54, 2.54, "S");
}

TEST_F(PivotTest, ZUpWrapperTurnsNinetyDegreesAndAnExistingWrapperIsConverted)
{
    zelthost::Host::Get().SetUpAxis("z");
    QoxZeltNode* existing = Plain("Qox_Root");
    Plain("child", nullptr, existing);
    KQoxTakeNode* take = existing->CreateTakeNode("Take 001");
    existing->SetCurrentTakeNode("Take 001");
    Key(take->GetTranslationY(), 0, 1.0f);
    Key(take->GetTranslationY(), kSecond, 2.0f);
    QoxZeltNode* a = Plain("a");
    mImport.Preprocess(Root());
    ASSERT_NE(mImport.mWorldMatrix.get(), nullptr);
    mImport.PropagateWorldTransformToChildrenOf(Root());
    ASSERT_EQ(Root()->GetChildCount(false), 2);
    EXPECT_EQ(Root()->GetChild(0), existing);
    KQoxNode* wrapper = Root()->GetChild(1);
    EXPECT_EQ(a->GetParent(), wrapper);
    KQoxVector4 r, s;
    wrapper->GetDefaultR(r);
    wrapper->GetDefaultS(s);
    ExpectVector(r, 90, 0, 0, "R", 1e-6);
    ExpectVector(s, 1, 1, 1, "S", 1e-9);
    // The existing wrapper's animation takes the world transform: a turn of
    // 90 degrees about X (its translation is not resampled).
    EXPECT_NEAR(take->GetEulerRotationX()->GetValue(), 90.0, 1e-4);
    EXPECT_EQ(take->GetTranslationY()->KeyGetCount(), 2);
}

TEST_F(PivotTest, MotionCaptureReferenceRootsAreRenamed)
{
    QoxZeltNode* bvh = Plain("BVH:reference");
    QoxZeltNode* htr = Plain("xHTR:referencey");
    QoxZeltNode* other = Plain("reference");
    EXPECT_TRUE(mImport.IsAlternativeQoxRootNode(bvh));
    EXPECT_STREQ(bvh->GetName(), "Model::Qox_Root");
    EXPECT_STREQ(bvh->GetInitialName(), "Qox_Root");
    EXPECT_TRUE(mImport.IsQoxRootNode(htr));
    EXPECT_STREQ(htr->GetName(), "Model::xQox_Rooty");
    EXPECT_FALSE(mImport.IsAlternativeQoxRootNode(other));
    EXPECT_FALSE(mImport.IsAlternativeQoxRootNode(nullptr));
    EXPECT_STREQ(other->GetName(), "Model::reference");
    // Asked again, the name already holds the wrapper name.
    EXPECT_TRUE(mImport.IsQoxRootNode(bvh));
}

TEST_F(PivotTest, MergeMatchedNodesNeedNoWrapper)
{
    QoxZeltNode* a = Plain("a");
    EXPECT_TRUE(mImport.NeedQoxRoot(a));
    a->mMatchedByMerge = true;
    EXPECT_FALSE(mImport.NeedQoxRoot(a));
}

// ---- Checks ----

TEST_F(PivotTest, BadScaleLogGrowsSentenceBySentence)
{
    Param(QoxZeltUserParams::kExportShowUI, true);
    auto animatedNonUniform = [&](const char* name) {
        QoxZeltNode* node = Plain(name);
        KQoxTakeNode* take = node->CreateTakeNode("Take 001");
        node->SetCurrentTakeNode("Take 001");
        Key(take->GetScaleX(), 0, 1.0f);
        Key(take->GetScaleX(), kSecond, 3.0f);
        Key(take->GetScaleY(), 0, 1.0f);
        Key(take->GetScaleZ(), 0, 1.0f);
        return node;
    };
    QoxZeltNode* zeta = animatedNonUniform("zeta");
    QoxZeltNode* alpha = animatedNonUniform("alpha");
    QoxZeltNode* other = animatedNonUniform("other");
    Plain("c1", nullptr, zeta);
    Plain("c2", nullptr, alpha);
    QoxZeltNode* rsrs = Plain("c3", nullptr, other);
    rsrs->SetTransformationInheritType(eINHERIT_RSrs);
    Clear();
    EXPECT_TRUE(mImport.CheckBadScale(*ZeltRoot()));
    const std::string a = "Node alpha has a Non-uniform scale and one or more child that have a RrSs-type scaling "
                          "which is not supported by Zelt. Some shearing that was not present in StageSculptor may "
                          "appear on a child.\\n";
    const std::string z = "Node zeta has a Non-uniform scale and one or more child that have a RrSs-type scaling "
                          "which is not supported by Zelt. Some shearing that was not present in StageSculptor may "
                          "appear on a child.\\n";
    EXPECT_EQ(LogLines(), (Strings{a, a + z}));
    EXPECT_EQ(Dialogs(), Strings{"QOX import Error | " + a + z + " | [Ok] -> Ok"});
}

TEST_F(PivotTest, BadScaleNothingToReport)
{
    Param(QoxZeltUserParams::kExportShowUI, true);
    Plain("still");
    Clear();
    EXPECT_TRUE(mImport.CheckBadScale(*ZeltRoot()));
    EXPECT_TRUE(Dialogs().empty());
    EXPECT_TRUE(LogLines().empty());
}

TEST(WeightedTangents, AnyWeightedKeyMakesTheCurveWeighted)
{
    KFCurve empty;
    EXPECT_FALSE(HasWeightedTangent(empty));
    KFCurve curve;
    Key(&curve, 0, 1.0f);
    Key(&curve, kSecond, 2.0f);
    EXPECT_FALSE(HasWeightedTangent(curve));
    curve.KeySet(0, KTime(0), 1.0f, KFCURVE_INTERPOLATION_CUBIC);
    curve.KeySetTangeantWeightMode(0, KFCURVE_WEIGHTED_RIGHT);
    EXPECT_TRUE(curve.KeyIsRightTangeantWeighted(0));
    EXPECT_TRUE(HasWeightedTangent(curve));
}

TEST_F(PivotTest, OnlySplitMeshesAreMerged)
{
    // Two triangles whose shared corners were split per polygon vertex (the
    // copies after the originals): 6 points, 4 places.
    KQoxMesh* split = Mesh(6);
    const double corners[6][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 1}};
    for (int i = 0; i < 6; ++i)
        split->GetControlPoints()[i] = KQoxVector4(corners[i][0], corners[i][1], 0);
    const int splitTriangles[2][3] = {{0, 1, 2}, {4, 3, 5}};
    for (const auto& tri : splitTriangles)
    {
        split->BeginPolygon();
        for (int v = 0; v < 3; ++v)
            split->AddPolygon(tri[v]);
        split->EndPolygon();
    }
    // The same triangles sharing points, plus an unused point on a corner: left alone.
    KQoxMesh* shared = Mesh(5);
    const double places[5][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0, 0}};
    for (int i = 0; i < 5; ++i)
        shared->GetControlPoints()[i] = KQoxVector4(places[i][0], places[i][1], 0);
    const int triangles[2][3] = {{0, 1, 2}, {1, 3, 2}};
    for (const auto& tri : triangles)
    {
        shared->BeginPolygon();
        for (int v = 0; v < 3; ++v)
            shared->AddPolygon(tri[v]);
        shared->EndPolygon();
    }
    QoxZeltNode* parent = Plain("parent", split);
    Plain("child", shared, parent);
    mImport.MergeMeshOnNormalPerPolyVertex(Root());
    EXPECT_EQ(split->GetControlPointsCount(), 4);
    EXPECT_EQ(split->GetPolygonVertex(1, 0), split->GetPolygonVertex(0, 1));
    EXPECT_EQ(shared->GetControlPointsCount(), 5);
}

} // namespace
