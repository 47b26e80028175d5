// Pivot-set conversion of animation and the "__Pre_"/"__Post_" extra nodes:
// shifts and matrices worked out by hand, resampling periods, and the motion
// of posed hierarchies compared before and after each rewrite.

#include <cmath>
#include <cstring>

#include "fcurve/kfcurve.h"
#include "node_test_util.h"
#include "common/qox_test_common.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxskeleton.h"
#include "scene/kqoxreplacepivot.h"
#include "scene/kqoxtakenode.h"

using namespace nodetest;
using namespace qoxtest;

namespace {

// A mesh whose pivot matrix the conversions read and write.
class PivotGeometry : public TestAttribute
{
public:
    explicit PivotGeometry(KQoxSdkManager& manager)
        : TestAttribute(manager, eMESH)
    {}
    KQoxXMatrix& GetPivot(KQoxXMatrix& m) override { return m = mPivot; }
    void SetPivot(KQoxXMatrix& m) override { mPivot = m; }
    void ApplyPivot() override { ++mApplied; }

    KQoxXMatrix mPivot;
    int mApplied = 0;
};

// A skeleton that answers with limb nodes of its own size.
class LimbSkeleton : public TestAttribute
{
public:
    LimbSkeleton(KQoxSdkManager& manager, int skeletonType, double size)
        : TestAttribute(manager, eSKELETON)
        , mSkeletonType(skeletonType)
        , mSize(size)
    {}
    KQoxNodeAttribute* CreatePivotNodeAttribute(const char*) override
    {
        return static_cast<TestManager&>(GetSdkManager())
            .AddCreatedNodeAttribute(new LimbSkeleton(GetSdkManager(), 2, mSize));
    }

    int mSkeletonType;
    double mSize;
};

KTime Seconds(double s)
{
    KTime t;
    t.SetSecondDouble(s);
    return t;
}

void AddLinearKey(KFCurve* curve, KTime time, float value)
{
    const int index = curve->KeyAdd(time);
    curve->KeySet(index, time, value, KFCURVE_INTERPOLATION_LINEAR);
}

KFCurve* Channel(KQoxTakeNode* take, int i)
{
    switch (i)
    {
    case 0: return take->GetTranslationX();
    case 1: return take->GetTranslationY();
    case 2: return take->GetTranslationZ();
    case 3: return take->GetEulerRotationX();
    case 4: return take->GetEulerRotationY();
    case 5: return take->GetEulerRotationZ();
    case 6: return take->GetScaleX();
    case 7: return take->GetScaleY();
    default: return take->GetScaleZ();
    }
}

// A take "Take 001" in which rotation Z, rotation Y and translation X move
// linearly over one second.
KQoxTakeNode* Animate(KQoxNode* node)
{
    KQoxTakeNode* take = node->CreateTakeNode("Take 001");
    const float values[3][2] = {{0.0f, 60.0f}, {10.0f, -50.0f}, {1.0f, 4.0f}};
    KFCurve* curves[3] = {take->GetEulerRotationZ(), take->GetEulerRotationY(), take->GetTranslationX()};
    for (int c = 0; c < 3; ++c)
    {
        AddLinearKey(curves[c], KTime(0), values[c][0]);
        AddLinearKey(curves[c], Seconds(1.0), values[c][1]);
    }
    return take;
}

// Poses node and its ancestors at time t (their current take's curves
// evaluated into the default values), then returns its global matrix of the
// source set, pivots included.
KQoxXMatrix PosedGlobal(KQoxNode* node, KTime t)
{
    for (KQoxNode* n = node; n; n = n->GetParent())
    {
        KQoxTakeNode* take = n->GetCurrentTakeNode();
        double v[9];
        for (int i = 0; i < 9; ++i)
            v[i] = Channel(take, i)->Evaluate(t);
        n->SetDefaultT(KQoxVector4(v[0], v[1], v[2], 0));
        n->SetDefaultR(KQoxVector4(v[3], v[4], v[5], 0));
        n->SetDefaultS(KQoxVector4(v[6], v[7], v[8], 0));
    }
    return node->GetGlobalMatrix(eSOURCE_SET, true);
}

void ExpectXYZ(const KQoxVector4& v, const KQoxVector4& expected)
{
    ExpectVector(v, expected[0], expected[1], expected[2], v[3]);
}

void ExpectSameMatrix(const KQoxXMatrix& a, const KQoxXMatrix& b, double tolerance, const char* what)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(a.Get(r, c), b.Get(r, c), tolerance) << what << " element " << r << "," << c;
}

class PivotTest : public NodeTest
{
protected:
    PivotGeometry* Geometry(KQoxNode* node)
    {
        auto* g = static_cast<PivotGeometry*>(mManager->AddCreatedNodeAttribute(new PivotGeometry(*mManager)));
        node->SetNodeAttribute(g);
        return g;
    }
    // Makes "Take 001" current on every node that has it.
    void UseTake(KQoxNode*)
    {
        for (int i = 0; i < mManager->GetKQoxNodeCount(); ++i)
            mManager->GetKQoxNode(i)->SetCurrentTakeNode("Take 001");
    }
};

} // namespace

// A rotation offset (5, 0, 0) in the active source set is baked into every
// translation value and key of every take; both sets end empty and no curve
// is resampled.
TEST_F(PivotTest, ResetAndConvertShiftsByTheOffset)
{
    KQoxNode* node = Node("N");
    node->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
    node->SetRotationOffset(eSOURCE_SET, KQoxVector4(5, 0, 0, 1));
    node->GetDefaultTakeNode()->GetTranslationX()->SetValue(1.5f);
    KQoxTakeNode* take = node->CreateTakeNode("Take 001");
    AddLinearKey(take->GetTranslationX(), KTime(0), 1.0f);
    AddLinearKey(take->GetTranslationX(), Seconds(1.0), -2.0f);
    AddLinearKey(take->GetTranslationY(), Seconds(0.5), 3.0f);
    AddLinearKey(take->GetEulerRotationZ(), Seconds(0.5), 45.0f);

    node->ResetPivotSetAndConvertAnimation();

    EXPECT_EQ(node->GetDefaultTakeNode()->GetTranslationX()->GetValue(), 6.5f);
    ASSERT_EQ(take->GetTranslationX()->KeyGetCount(), 2);
    EXPECT_EQ(take->GetTranslationX()->KeyGetValue(0), 6.0f);
    EXPECT_EQ(take->GetTranslationX()->KeyGetValue(1), 3.0f);
    EXPECT_EQ(take->GetTranslationX()->KeyGetTime(1), Seconds(1.0));
    ASSERT_EQ(take->GetTranslationY()->KeyGetCount(), 1);
    EXPECT_EQ(take->GetTranslationY()->KeyGetValue(0), 3.0f);
    EXPECT_EQ(take->GetEulerRotationZ()->KeyGetCount(), 1);
    for (EPivotSet set : {eSOURCE_SET, eDESTINATION_SET})
    {
        ExpectVector(node->GetRotationOffset(set), 0, 0, 0, 0);
        ExpectVector(node->GetGeometricScaling(set), 1, 1, 1, 1);
    }
    // The pivot state is left as it was.
    EPivotState state;
    node->GetPivotState(eSOURCE_SET, state);
    EXPECT_EQ(state, ePIVOT_STATE_ACTIVE);
}

// The baked animation under empty pivot sets moves the node as the source
// set's pivots did, frame by frame, through a parent with pivots of its own.
TEST_F(PivotTest, ConvertedAnimationKeepsTheMotion)
{
    KQoxNode* child = Node("C");
    KQoxNode* parent = Tree("P", {child});
    KQoxNode* root = Tree("Root", {parent});
    for (KQoxNode* n : {parent, child})
    {
        n->SetRotationActive(true);
        n->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
        Animate(n);
    }
    parent->SetPreRotation(eSOURCE_SET, KQoxVector4(0, 0, 30, 1));
    parent->SetRotationOffset(eSOURCE_SET, KQoxVector4(0, 1, 0, 1));
    parent->SetRotationPivot(eSOURCE_SET, KQoxVector4(1, 2, 0, 1));
    child->SetPreRotation(eSOURCE_SET, KQoxVector4(-20, 15, 0, 1));
    child->SetPostRotation(eSOURCE_SET, KQoxVector4(10, 0, 0, 1));
    child->SetRotationOffset(eSOURCE_SET, KQoxVector4(2, 0, 0, 1));
    UseTake(root);

    std::vector<KQoxXMatrix> before;
    for (int frame = 0; frame <= 30; ++frame)
        before.push_back(PosedGlobal(child, KTime(frame * kTicksPerFrame30)));
    root->ResetPivotSetAndConvertAnimation();
    for (int frame = 0; frame <= 30; ++frame)
        ExpectSameMatrix(PosedGlobal(child, KTime(frame * kTicksPerFrame30)), before[frame], 1e-4, "frame");
}

// The translation-shift conversion: rotation pivot and offset differences,
// the parent's pivot, and the geometry pivot moved the other way.
TEST_F(PivotTest, ShiftConversionMovesTranslationAndGeometryPivot)
{
    KQoxNode* child = Node("C");
    KQoxNode* parent = Tree("P", {child});
    PivotGeometry* geometry = Geometry(child);
    parent->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
    parent->SetRotationPivot(eSOURCE_SET, KQoxVector4(0, 0, 4, 1));
    child->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
    child->SetRotationPivot(eSOURCE_SET, KQoxVector4(2, 0, 0, 1));
    child->SetPostRotation(eSOURCE_SET, KQoxVector4(0, 0, 90, 1));
    child->SetRotationOffset(eSOURCE_SET, KQoxVector4(0, 1, 0, 1));
    child->SetDefaultS(KQoxVector4(2, 0, 1, 0));

    child->ConvertPivotAnimation(eDESTINATION_SET, 30.0, true);

    // d = pivot (2, 0, 0) + offset (0, 1, 0) - parent pivot (0, 0, 4).
    KQoxTakeNode* take = child->GetDefaultTakeNode();
    EXPECT_EQ(take->GetTranslationX()->GetValue(), 2.0f);
    EXPECT_EQ(take->GetTranslationY()->GetValue(), 1.0f);
    EXPECT_EQ(take->GetTranslationZ()->GetValue(), -4.0f);
    // Geometry: -(2, 0, 0) / (2, 1 for the zero, 1) = (-1, 0, 0), taken back
    // through Rz(90): (-1, 0, 0) . Rz(90)^T = (0, 1, 0).
    ExpectVector(geometry->mPivot.GetT(), 0, 1, 0, 0);
    EXPECT_EQ(geometry->mApplied, 0);
    // The parent had no parent; the post-rotation made both takes resample
    // nothing here (no keys), and the pivot values stay.
    ExpectVector(child->GetRotationPivot(eSOURCE_SET), 2, 0, 0, 1);

    // Both sets in reference state: no shift, the pivot rewritten unchanged.
    KQoxNode* alone = Node("Alone");
    PivotGeometry* still = Geometry(alone);
    alone->SetRotationPivot(eSOURCE_SET, KQoxVector4(7, 7, 7, 1));
    alone->ConvertPivotAnimation(eSOURCE_SET, 30.0, true);
    EXPECT_EQ(alone->GetDefaultTakeNode()->GetTranslationX()->GetValue(), 0.0f);
    ExpectVector(still->mPivot.GetT(), 0, 0, 0, 0);
    // The matrix conversion bakes the pivot in all the same.
    alone->ConvertPivotAnimationRecursive(eSOURCE_SET, 30.0, true);
    EXPECT_EQ(still->mApplied, 1);
}

// The matrix conversion: geometric transforms into the geometry pivot,
// target 2 taken as the destination set, and which differences resample.
TEST_F(PivotTest, MatrixConversionDecidesWhatToResample)
{
    KQoxNode* node = Node("N");
    PivotGeometry* geometry = Geometry(node);
    node->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
    node->SetGeometricTranslation(eSOURCE_SET, KQoxVector4(1, 2, 3, 1));
    node->SetGeometricScaling(eSOURCE_SET, KQoxVector4(2, 2, 2, 1));
    node->ConvertPivotAnimationRecursive(static_cast<EPivotSet>(2), 30.0, false);
    // P . G(source) with an empty destination: scaling 2 then (1, 2, 3).
    EXPECT_NEAR(geometry->mPivot.Get(0, 0), 2.0, 1e-12);
    ExpectVector(geometry->mPivot.GetT(), 1, 2, 3, 0);
    EXPECT_EQ(geometry->mApplied, 1);

    // Resampled or not, told by the key count of a two-key rotation curve.
    const struct
    {
        const char* what;
        bool rotationActive;
        KQoxVector4 preSource, preDestination;
        ERotationOrder orderSource;
        bool limitOnly;
        int matrixKeys, shiftKeys;
    } cases[] = {
        {"equal pre-rotations", true, {0, 40, 0, 1}, {0, 40, 0, 1}, eEULER_XYZ, false, 2, 31},
        {"different pre-rotations", true, {0, 40, 0, 1}, {0, 0, 0, 1}, eEULER_XYZ, false, 31, 31},
        {"pre-rotations without RotationActive", false, {0, 40, 0, 1}, {0, 0, 0, 1}, eEULER_XYZ, false, 2, 31},
        {"rotation orders only", true, {0, 0, 0, 1}, {0, 0, 0, 1}, eEULER_ZYX, false, 31, 2},
        {"rotation order of a limit-only set", true, {0, 0, 0, 1}, {0, 0, 0, 1}, eEULER_ZYX, true, 2, 2},
    };
    for (const auto& c : cases)
    {
        for (int conversion = 0; conversion < 2; ++conversion)
        {
            KQoxNode* n = Node("Case");
            n->SetRotationActive(c.rotationActive);
            for (EPivotSet set : {eSOURCE_SET, eDESTINATION_SET})
                n->SetPivotState(set, ePIVOT_STATE_ACTIVE);
            n->SetPreRotation(eSOURCE_SET, c.preSource);
            n->SetPreRotation(eDESTINATION_SET, c.preDestination);
            n->SetRotationOrder(eSOURCE_SET, c.orderSource);
            n->SetUseRotationSpaceForLimitOnly(eSOURCE_SET, c.limitOnly);
            KQoxTakeNode* take = n->CreateTakeNode("Take 001");
            AddLinearKey(take->GetEulerRotationX(), KTime(0), 0.0f);
            AddLinearKey(take->GetEulerRotationX(), Seconds(1.0), 90.0f);
            if (conversion == 0)
                n->ConvertPivotAnimationRecursive(eDESTINATION_SET, 30.0, false);
            else
                n->ConvertPivotAnimation(eDESTINATION_SET, 30.0, false);
            EXPECT_EQ(take->GetEulerRotationX()->KeyGetCount(), conversion == 0 ? c.matrixKeys : c.shiftKeys)
                << c.what << (conversion == 0 ? " (matrix)" : " (shift)");
            mManager->DestroyKQoxNode(n, false);
        }
    }
}

// ---------------------------------------------------------------------------
// "__Pre_" and "__Post_" nodes

// Names from the node's name; a clash counter stays after the suffix. A
// rotation within 1e-6 of zero counts as none.
TEST_F(PivotTest, ExtraNodesAreNamedAfterTheNode)
{
    KQoxNode* arm = Node("arm");
    KQoxNode* clash = Node("leg");
    clash->SetName("leg_ncl1_1");
    KQoxNode* tiny = Node("tiny");
    KQoxNode* root = Tree("Root", {arm, clash, tiny});
    for (KQoxNode* n : {arm, clash})
    {
        n->SetPreRotation(eSOURCE_SET, KQoxVector4(0, 0, 10, 1));
        n->SetPostRotation(eSOURCE_SET, KQoxVector4(10, 0, 0, 1));
    }
    tiny->SetPreRotation(eSOURCE_SET, KQoxVector4(0, 0, 0.0000005, 1));
    const int count = mManager->GetKQoxNodeCount();
    EXPECT_FALSE(ReplacePivotExport(root, eSOURCE_SET, *mManager));
    EXPECT_FALSE(ReplacePivotExport(nullptr, eSOURCE_SET, *mManager));
    ReplacePivotImport(nullptr, eSOURCE_SET, *mManager);
    EXPECT_EQ(mManager->GetKQoxNodeCount(), count + 4);
    EXPECT_STREQ(arm->GetParent()->GetName(), "Model::arm__Pre_");
    EXPECT_STREQ(arm->GetChild(0)->GetName(), "Model::arm__Post_");
    EXPECT_STREQ(clash->GetParent()->GetName(), "Model::leg__Pre_ncl1_1");
    EXPECT_STREQ(clash->GetChild(0)->GetName(), "Model::leg__Post_ncl1_1");
    EXPECT_EQ(tiny->GetParent(), root);
}

// A root with a pre-rotation gets a parentless pre node; a leaf with a
// post-rotation gets a childless post node; a skeleton's extra nodes are
// limb nodes of its size. Import folds both back and destroys them.
TEST_F(PivotTest, RootAndLeafExtraNodes)
{
    KQoxNode* leaf = Node("Leaf");
    KQoxNode* root = Tree("Top", {leaf});
    root->SetNodeAttribute(mManager->AddCreatedNodeAttribute(new LimbSkeleton(*mManager, 0, 2.5)));
    root->SetPreRotation(eSOURCE_SET, KQoxVector4(0, 90, 0, 1));
    leaf->SetPostRotation(eSOURCE_SET, KQoxVector4(0, 0, 45, 1));
    const int nodes = mManager->GetKQoxNodeCount();
    const int attributes = mManager->GetKQoxNodeAttributeCount();

    EXPECT_TRUE(ReplacePivotExport(root, eSOURCE_SET, *mManager));
    KQoxNode* pre = root->GetParent();
    ASSERT_NE(pre, nullptr);
    EXPECT_EQ(pre->GetParent(), nullptr);
    auto* limb = static_cast<LimbSkeleton*>(pre->GetNodeAttribute());
    ASSERT_NE(limb, nullptr);
    EXPECT_EQ(limb->mSkeletonType, 2);
    EXPECT_EQ(limb->mSize, 2.5);
    ASSERT_EQ(leaf->GetChildCount(), 1);
    KQoxNode* post = leaf->GetChild(0);
    EXPECT_EQ(post->GetChildCount(), 0);
    EXPECT_EQ(post->GetNodeAttribute(), nullptr);
    KQoxVector4 r;
    ExpectVector(post->GetDefaultR(r), 0, 0, 45, 0);
    ExpectVector(leaf->GetPostRotation(eSOURCE_SET), 0, 0, 0, 0);
    EXPECT_EQ(mManager->GetKQoxNodeCount(), nodes + 2);

    // Import from the pre node, which the caller keeps.
    KQoxNode* holder = Tree("Holder", {pre});
    ReplacePivotImport(holder, eSOURCE_SET, *mManager);
    EXPECT_EQ(root->GetParent(), holder);
    EXPECT_EQ(leaf->GetChildCount(), 0);
    ExpectVector(root->GetPreRotation(eSOURCE_SET), 0, 90, 0, 0);
    ExpectVector(leaf->GetPostRotation(eSOURCE_SET), 0, 0, 45, 0);
    EXPECT_EQ(mManager->GetKQoxNodeCount(), nodes + 1); // the holder
    EXPECT_EQ(mManager->GetKQoxNodeAttributeCount(), attributes);
}

// Import by name alone: a hand-made "__Pre_" node is folded, siblings
// without extra nodes become active, an extra node without children is
// skipped.
TEST_F(PivotTest, ImportRecognisesNamesAndActivatesSiblings)
{
    KQoxNode* inner = Node("Inner");
    KQoxNode* handMade = Tree("by_hand__Pre_x", {inner});
    KQoxNode* plain = Node("Plain");
    KQoxNode* empty = Node("empty__Post_");
    KQoxNode* root = Tree("Root", {plain, handMade, empty});
    handMade->SetDefaultT(KQoxVector4(0, 0, 7, 0));
    handMade->SetDefaultR(KQoxVector4(5, 0, 0, 0));
    ReplacePivotImport(root, eSOURCE_SET, *mManager);
    EXPECT_EQ(inner->GetParent(), root);
    KQoxVector4 t;
    ExpectVector(inner->GetDefaultT(t), 0, 0, 7, 0);
    ExpectVector(inner->GetPreRotation(eSOURCE_SET), 5, 0, 0, 0);
    EXPECT_EQ(mManager->FindKQoxNode("by_hand__Pre_x"), nullptr);
    EXPECT_EQ(empty->GetParent(), root);
    EPivotState state;
    for (KQoxNode* n : {plain, inner})
    {
        n->GetPivotState(eDESTINATION_SET, state);
        EXPECT_EQ(state, n == plain ? ePIVOT_STATE_ACTIVE : ePIVOT_STATE_REFERENCE) << n->GetName();
    }
    empty->GetPivotState(eSOURCE_SET, state);
    EXPECT_EQ(state, ePIVOT_STATE_REFERENCE);
}

// Export then import of an animated hierarchy: every node's posed global
// matrix is the same before, between (unit scaling) and after, the
// translation keys come back and the extra nodes are gone.
TEST_F(PivotTest, ExportImportRoundTripKeepsTheMotion)
{
    KQoxNode* hand = Node("Hand");
    KQoxNode* finger = Node("Finger");
    KQoxNode* arm = Tree("Arm", {hand, finger});
    KQoxNode* shoulder = Tree("Shoulder", {arm});
    KQoxNode* root = Tree("Root", {shoulder});
    struct
    {
        KQoxNode* node;
        KQoxVector4 pre, post;
    } rotations[] = {{shoulder, {0, 0, 30, 1}, {0, 0, 0, 1}},
                     {arm, {10, 20, 0, 1}, {0, 45, 0, 1}},
                     {hand, {0, 0, 0, 1}, {-30, 0, 0, 1}},
                     {finger, {0, 0, -60, 1}, {0, 0, 0, 1}}};
    for (const auto& r : rotations)
    {
        r.node->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
        r.node->SetPreRotation(eSOURCE_SET, r.pre);
        r.node->SetPostRotation(eSOURCE_SET, r.post);
        AddLinearKey(Animate(r.node)->GetTranslationY(), Seconds(0.5), -2.0f);
    }
    root->CreateTakeNode("Take 001");
    UseTake(root);
    KQoxNode* all[] = {shoulder, arm, hand, finger};
    const int frames[] = {0, 7, 15, 30};
    std::vector<KQoxXMatrix> before;
    for (int f : frames)
        for (KQoxNode* n : all)
            before.push_back(PosedGlobal(n, KTime(f * kTicksPerFrame30)));
    const int nodeCount = mManager->GetKQoxNodeCount();

    EXPECT_FALSE(ReplacePivotExport(root, eSOURCE_SET, *mManager));
    EXPECT_EQ(mManager->GetKQoxNodeCount(), nodeCount + 5);
    EXPECT_STREQ(shoulder->GetParent()->GetName(), "Model::Shoulder__Pre_");
    EXPECT_EQ(shoulder->GetParent()->GetParent(), root);
    EXPECT_EQ(arm->GetTakeNode(1)->GetTranslationX()->KeyGetCount(), 0);
    UseTake(root);
    // With unit scaling each node's frame (below its post node, when it
    // has one) moves as before.
    size_t i = 0;
    for (int f : frames)
        for (KQoxNode* n : all)
        {
            KQoxNode* frame =
                n->GetChildCount() == 1 && strstr(n->GetChild(0)->GetName(), "__Post_") ? n->GetChild(0) : n;
            ExpectSameMatrix(PosedGlobal(frame, KTime(f * kTicksPerFrame30)), before[i++], 1e-5, frame->GetName());
        }

    ReplacePivotImport(root, eSOURCE_SET, *mManager);
    EXPECT_EQ(mManager->GetKQoxNodeCount(), nodeCount);
    EXPECT_EQ(arm->GetParent(), shoulder);
    EXPECT_EQ(hand->GetParent(), arm);
    EXPECT_EQ(finger->GetParent(), arm);
    for (const auto& r : rotations)
    {
        ExpectXYZ(r.node->GetPreRotation(eSOURCE_SET), r.pre);
        ExpectXYZ(r.node->GetPostRotation(eSOURCE_SET), r.post);
        KFCurve* x = r.node->GetTakeNode(1)->GetTranslationX();
        ASSERT_EQ(x->KeyGetCount(), 2);
        EXPECT_EQ(x->KeyGetValue(1), 4.0f);
    }
    i = 0;
    for (int f : frames)
        for (KQoxNode* n : all)
            ExpectSameMatrix(PosedGlobal(n, KTime(f * kTicksPerFrame30)), before[i++], 1e-5, n->GetName());
}

// A long chain of joints and many siblings, each with a pre-rotation, go
// out and back without exhausting the stack.
TEST_F(PivotTest, LargeHierarchiesRoundTrip)
{
    const int depth = 3000, width = 10000;
    KQoxNode* root = Node("Root");
    KQoxNode* last = root;
    for (int i = 0; i < depth + width; ++i)
    {
        KQoxNode* joint = Node(("J" + std::to_string(i)).c_str());
        (i < depth ? last : root)->AddChild(joint);
        joint->SetPreRotation(eSOURCE_SET, KQoxVector4(0, 0, 1, 1));
        joint->SetDefaultT(KQoxVector4(1, 0, 0, 0));
        if (i < depth)
            last = joint;
    }
    EXPECT_FALSE(ReplacePivotExport(root, eSOURCE_SET, *mManager));
    EXPECT_EQ(root->GetChildCount(true), 2 * (depth + width));
    ReplacePivotImport(root, eSOURCE_SET, *mManager);
    EXPECT_EQ(root->GetChildCount(true), depth + width);
    EXPECT_EQ(root->GetChildCount(false), width + 1);
    ExpectVector(last->GetPreRotation(eSOURCE_SET), 0, 0, 1, 0);
    KQoxVector4 t;
    ExpectVector(last->GetDefaultT(t), 1, 0, 0, 0);
}

// The translation-shift conversion of a pre-rotation, a post-rotation or a
// rotation offset alone keeps the node's motion at every sampled frame.
TEST_F(PivotTest, ShiftConversionKeepsTheMotion)
{
    KQoxVector4 KQoxNodeProperties::KQoxPivot::*const members[] = {&KQoxNodeProperties::KQoxPivot::mPreRotation,
                                                                   &KQoxNodeProperties::KQoxPivot::mPostRotation,
                                                                   &KQoxNodeProperties::KQoxPivot::mRotationOffset};
    for (auto member : members)
    {
        KQoxNode* node = Node("N");
        node->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
        node->GetProperties()->mPivots[eSOURCE_SET].*member = KQoxVector4(-20, 15, 30, 1);
        Animate(node);
        UseTake(node);
        std::vector<KQoxXMatrix> before;
        for (int frame = 0; frame <= 30; frame += 5)
            before.push_back(PosedGlobal(node, KTime(frame * kTicksPerFrame30)));
        node->ConvertPivotAnimation(eDESTINATION_SET, 30.0, false);
        node->ResetPivotSet(eSOURCE_SET);
        for (int frame = 0, k = 0; frame <= 30; frame += 5)
            ExpectSameMatrix(PosedGlobal(node, KTime(frame * kTicksPerFrame30)), before[k++], 1e-4, "shift");
        mManager->DestroyKQoxNode(node, true);
    }
}

// Converted curves are resampled at 1 / frame rate (a key per frame over a
// one-second rotation). A rate that gives no period of at least one tick,
// or one too long to count, is refused whole with the node's error.
TEST_F(PivotTest, FrameRatesAndExtremeValues)
{
    const struct
    {
        double rate;
        bool refused;
        long long span; // of the rotation keys, in ticks
        int keys;       // after conversion; 0: at least the two first ones
    } rates[] = {{30.0, false, kTicksPerSecond, 31},
                 {120.0, false, kTicksPerSecond, 121},
                 {46186158000.0, false, 1000, 1001},
                 {46186158000.0, false, kTicksPerSecond, 0},
                 {0.0, true, 1000, 2},
                 {-30.0, true, 1000, 2},
                 {std::nan(""), true, 1000, 2},
                 {5e-324, true, 1000, 2},
                 {1e-9, true, 1000, 2},
                 {1e300, true, 1000, 2}};
    for (const auto& r : rates)
    {
        for (int conversion = 0; conversion < 2; ++conversion)
        {
            KQoxNode* node = Node("N");
            node->SetRotationActive(true);
            node->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
            node->SetPreRotation(eSOURCE_SET, KQoxVector4(0, 0, 30, 1));
            node->SetRotationOffset(eSOURCE_SET, KQoxVector4(1, 0, 0, 1));
            KQoxTakeNode* take = node->CreateTakeNode("Take 001");
            AddLinearKey(take->GetEulerRotationX(), KTime(0), 0.0f);
            AddLinearKey(take->GetEulerRotationX(), KTime(r.span), 90.0f);
            if (conversion == 0)
                node->ConvertPivotAnimationRecursive(eDESTINATION_SET, r.rate, false);
            else
                node->ConvertPivotAnimation(eDESTINATION_SET, r.rate, false);
            KFCurve* x = take->GetEulerRotationX();
            if (r.refused)
            {
                EXPECT_STREQ(node->GetLastErrorString(), "Invalid frame rate") << r.rate;
            }
            EXPECT_EQ(take->GetTranslationX()->GetValue(), r.refused ? 0.0f : 1.0f) << r.rate;
            if (r.keys)
            {
                EXPECT_EQ(x->KeyGetCount(), r.keys) << r.rate;
            }
            ASSERT_GE(x->KeyGetCount(), 2) << r.rate;
            if (!r.refused && r.keys)
            {
                EXPECT_EQ(x->KeyGetTime(1).Get(), r.span / (r.keys - 1)) << r.rate;
            }
            EXPECT_EQ(x->KeyGetTime(x->KeyGetCount() - 1), KTime(r.span)) << r.rate;
            for (int k = 0; k < x->KeyGetCount(); ++k)
                EXPECT_TRUE(std::isfinite(x->KeyGetValue(k))) << r.rate;
            mManager->DestroyKQoxNode(node, false);
        }
    }

    // Offsets at the ends of the float range, a NaN pivot and a rotation
    // order outside the table.
    KQoxNode* node = Node("Extreme");
    node->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
    node->SetRotationOffset(eSOURCE_SET, KQoxVector4(3.4e38, -3.4e38, 1e-310, 1));
    node->SetRotationPivot(eSOURCE_SET, KQoxVector4(std::nan(""), 0, 0, 1));
    node->SetRotationOrder(eSOURCE_SET, static_cast<ERotationOrder>(7));
    Geometry(node);
    KQoxTakeNode* take = node->CreateTakeNode("Take 001");
    AddLinearKey(take->GetEulerRotationY(), KTime(0), 0.0f);
    AddLinearKey(take->GetEulerRotationY(), Seconds(1.0), 45.0f);
    node->ConvertPivotAnimationRecursive(eDESTINATION_SET, 30.0, false);
    node->ConvertPivotAnimation(eDESTINATION_SET, 30.0, false);
    EXPECT_TRUE(std::isnan(take->GetTranslationX()->GetValue()));
    EXPECT_GE(take->GetEulerRotationY()->KeyGetCount(), 2);
}

// A real skeleton's extra nodes get limb-node skeletons of its size, and a
// node assignment copies real geometry into a node that had none.
TEST_F(PivotTest, RealSkeletonAndGeometryCopies)
{
    KQoxNode* joint = Node("joint");
    KQoxNode* root = Tree("Top", {joint});
    KQoxSkeleton* skeleton = mManager->CreateKQoxSkeleton();
    ASSERT_NE(skeleton, nullptr);
    skeleton->SetSkeletonType(KQoxSkeleton::eLIMB);
    skeleton->SetLimbNodeSize(7.5);
    joint->SetNodeAttribute(skeleton);
    joint->SetPreRotation(eSOURCE_SET, KQoxVector4(0, 0, 30, 1));
    EXPECT_FALSE(ReplacePivotExport(root, eSOURCE_SET, *mManager));
    KQoxSkeleton* limb = joint->GetParent()->GetSkeleton();
    ASSERT_NE(limb, nullptr);
    EXPECT_NE(limb, skeleton);
    EXPECT_EQ(limb->GetSkeletonType(), KQoxSkeleton::eLIMB_NODE);
    EXPECT_DOUBLE_EQ(limb->GetLimbNodeSize(), 7.5);

    KQoxNode* source = Node("MeshSource");
    KQoxNode* target = Node("MeshTarget");
    KQoxMesh* mesh = mManager->CreateKQoxMesh();
    ASSERT_NE(mesh, nullptr);
    mesh->InitControlPoints(3);
    mesh->GetControlPoints()[2] = KQoxVector4(1, 2, 3, 1);
    source->SetNodeAttribute(mesh);
    *target = *source;
    auto* copied = dynamic_cast<KQoxMesh*>(target->GetMesh());
    ASSERT_NE(copied, nullptr);
    EXPECT_NE(copied, mesh);
    ASSERT_EQ(copied->GetControlPointsCount(), 3);
    EXPECT_DOUBLE_EQ(copied->GetControlPoints()[2][2], 3.0);
}
