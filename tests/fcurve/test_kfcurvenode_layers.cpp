// Animation layers on curve nodes, the layer-type arithmetic, solving in
// layers and the time-warp set.

#include <gtest/gtest.h>

#include <cmath>

#include "base/kset.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvelayer.h"
#include "fcurve/kfcurvenode.h"
#include "object/kpropertydatatype.h"

namespace {

const double kHalf = std::sqrt(0.5);

// A node of the given layer type with members X, Y, Z (and W for type 4),
// each curve holding its static value.
KFCurveNode* MakeMembers(int layerType, std::initializer_list<double> values)
{
    KFCurveNode* node = KFCurveNodeCreate("Node", static_cast<KDataType*>(nullptr), layerType, 0);
    const char* names[] = {"X", "Y", "Z", "W"};
    int i = 0;
    for (double v : values)
    {
        KFCurveNode* member = node->FindOrCreate(names[i++], true);
        member->FCurveGet()->SetValue(static_cast<float>(v));
    }
    return node;
}

// Sets the static values of a layer's members.
void SetLayerValues(KFCurveNode* layer, std::initializer_list<double> values)
{
    int i = 0;
    for (double v : values)
        layer->Get(i++)->FCurveGet()->SetValue(static_cast<float>(v));
}

void ExpectNear3(const double* v, double x, double y, double z, double tolerance = 1e-4)
{
    EXPECT_NEAR(v[0], x, tolerance);
    EXPECT_NEAR(v[1], y, tolerance);
    EXPECT_NEAR(v[2], z, tolerance);
}

int gLayerEvents = 0;
void CountLayerEvents(KFCurveNode*, KFCurveNodeEvent* event, void*)
{
    if (event->mEventType & KFCURVENODEEVENT_CTRLCURVE)
        gLayerEvents++;
}

TEST(KFCurveNodeLayers, NodeThatIsNotMultiLayerGetsNoLayers)
{
    KFCurveNode* node = MakeMembers(KFCL_ADD, {1, 2, 3});
    node->SetMultiLayer(false);
    EXPECT_FALSE(node->Get(0)->IsMultiLayer());
    EXPECT_EQ(node->LayerCreate(1), nullptr);
    EXPECT_EQ(node->CreateLayerAt(1), nullptr);
    EXPECT_EQ(node->GetCorrectLayerID(5), 0);
    EXPECT_EQ(node->GetLayerNode(5), node);
    EXPECT_EQ(node->InsertOrCopyLayer(2, node), nullptr);
    node->Destroy();
}

TEST(KFCurveNodeLayers, LayerChainStaysOrdered)
{
    KFCurveNode* node = MakeMembers(KFCL_ADD, {1, 2, 3});
    gLayerEvents = 0;
    node->CallbackRegister(CountLayerEvents, nullptr);
    EXPECT_EQ(node->CreateLayerAt(0), nullptr); // a lone base and id 0: nothing
    KFCurveNode* l3 = node->CreateLayerAt(3);
    ASSERT_NE(l3, nullptr);
    EXPECT_EQ(gLayerEvents, 1);
    KFCurveNode* l2 = node->CreateLayerAt(2);
    ASSERT_NE(l2, nullptr);
    EXPECT_EQ(node->LayerGet(), l2);
    EXPECT_EQ(l2->LayerGet(), l3);
    EXPECT_EQ(gLayerEvents, 2);
    EXPECT_EQ(node->CreateLayerAt(3), l3); // left alone
    EXPECT_EQ(gLayerEvents, 2);
    KFCurveNode* l5 = node->CreateLayerAt(5);
    EXPECT_EQ(l3->LayerGet(), l5);

    EXPECT_EQ(l2->GetLayerID(), 2);
    EXPECT_EQ(l2->ObjectLayerGet(), node);
    EXPECT_EQ(l2->Get(0)->ObjectLayerGet(), node->Get(0));
    EXPECT_EQ(l2->GetCount(), 3);
    EXPECT_STREQ(l2->Get(1)->GetName(), "Y");

    EXPECT_EQ(node->LayerGet(3), l3);
    EXPECT_EQ(node->LayerGet(4), nullptr);
    EXPECT_EQ(node->GetPreviousLayer(0), nullptr);
    EXPECT_EQ(node->GetPreviousLayer(3), l2);
    EXPECT_EQ(node->GetPreviousLayer(4), l3);
    EXPECT_EQ(node->GetCorrectLayer(4, false), nullptr);
    KFCurveNode* l4 = node->GetCorrectLayer(4, true);
    ASSERT_NE(l4, nullptr);
    EXPECT_EQ(l3->LayerGet(), l4);

    // Removing keeps the rest linked.
    KFCurveNode* removed = node->RemoveLayer(3, false);
    EXPECT_EQ(removed, l3);
    EXPECT_EQ(removed->LayerGet(), nullptr);
    EXPECT_EQ(l2->LayerGet(), l4);
    removed->Destroy();
    EXPECT_EQ(node->RemoveLayer(4, true), nullptr);
    EXPECT_EQ(l2->LayerGet(), l5);
    EXPECT_EQ(node->RemoveLayer(9, true), nullptr);

    node->CallbackUnregister(CountLayerEvents, nullptr);
    node->Destroy(); // the chain goes with it
}

TEST(KFCurveNodeLayers, NewLayersStartNeutralWithTheBaseColours)
{
    KFCurveNode* scale = MakeMembers(KFCL_MULT, {2, 3, 4});
    float red[3] = {1.0f, 0.0f, 0.0f};
    scale->Get(1)->SetColor(red);
    KFCurveNode* layer = scale->LayerCreate(1);
    ASSERT_NE(layer, nullptr);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(layer->Get(i)->FCurveGet()->GetValue(), 1.0f);
    EXPECT_EQ(layer->Get(1)->GetColor()[0], 1.0f);
    EXPECT_EQ(layer->Get(1)->GetColor()[1], 0.0f);
    scale->Destroy();

    KFCurveNode* quat = MakeMembers(KFCL_QUAT, {0, 0, 0, 1});
    KFCurveNode* qlayer = quat->CreateLayerAt(1);
    ASSERT_NE(qlayer, nullptr);
    EXPECT_EQ(qlayer->Get(0)->FCurveGet()->GetValue(), 0.0f);
    EXPECT_EQ(qlayer->Get(3)->FCurveGet()->GetValue(), 1.0f);
    double zeros[4];
    EXPECT_EQ(quat->GetZeroValues(zeros), zeros + 4);
    EXPECT_EQ(zeros[3], 1.0);
    quat->Destroy();
}

TEST(KFCurveNodeLayers, LayerTypeChangesAddOrRemoveTheFourthMember)
{
    KFCurveNode* r = MakeMembers(KFCL_EULER_XYZ, {0, 0, 0});
    r->SetLayerType(KFCL_QUAT);
    ASSERT_EQ(r->GetCount(), 4);
    EXPECT_STREQ(r->Get(3)->GetName(), "W");
    EXPECT_EQ(r->Get(3)->GetDataType(), KDataTypeNumber);
    EXPECT_NE(r->Get(3)->FCurveGet(), nullptr);
    r->SetLayerType(KFCL_EULER_XYZ);
    EXPECT_EQ(r->GetCount(), 3);
    r->Destroy();

    KFCurveNode* two = MakeMembers(KFCL_NOLAYER, {0, 0});
    two->SetLayerType(KFCL_QUAT);
    EXPECT_EQ(two->GetCount(), 2);
    EXPECT_EQ(two->GetLayerType(), KFCL_QUAT);
    two->Destroy();
}

TEST(KFCurveNodeLayers, InsertOrCopyLayerAndUseQuaternionOnTheChain)
{
    KFCurveNode* node = MakeMembers(KFCL_EULER_XYZ, {1, 2, 3});
    KFCurveNode* source = MakeMembers(KFCL_EULER_XYZ, {7, 8, 9});
    KFCurveNode* layer = node->InsertOrCopyLayer(2, source);
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->GetLayerID(), 2);
    EXPECT_EQ(layer->Get(2)->FCurveGet()->GetValue(), 9.0f);
    EXPECT_NE(layer->Get(2)->FCurveGet(), source->Get(2)->FCurveGet());
    node->SetUseQuaternion(true);
    node->SetRotationOrder(4);
    EXPECT_TRUE(layer->GetUseQuaternion());
    EXPECT_EQ(layer->GetRotationOrder(), 4);
    source->Destroy();
    node->Destroy();
}

TEST(KFCurveNodeLayers, EvaluationCombinesLayersByType)
{
    double v[8];
    // Added.
    KFCurveNode* add = MakeMembers(KFCL_ADD, {1, 2, 3});
    SetLayerValues(add->CreateLayerAt(1), {10, 20, 30});
    SetLayerValues(add->CreateLayerAt(2), {100, 200, 300});
    EXPECT_EQ(add->GeneralEvaluate(v, KTime(0)), v + 3);
    ExpectNear3(v, 111, 222, 333);
    // The plain evaluation reads the base layer only.
    add->Evaluate(v, KTime(0));
    ExpectNear3(v, 1, 2, 3);
    add->EvaluateSpecificLayer(v, KTime(0), 2);
    ExpectNear3(v, 100, 200, 300);
    double untouched[3] = {-1, -1, -1};
    EXPECT_EQ(add->EvaluateSpecificLayer(untouched, KTime(0), 7), untouched);
    add->Destroy();

    // Multiplied.
    KFCurveNode* mult = MakeMembers(KFCL_MULT, {2, 3, 4});
    SetLayerValues(mult->CreateLayerAt(1), {3, 0.5, 1});
    mult->GeneralEvaluate(v, KTime(0));
    ExpectNear3(v, 6, 1.5, 4);
    mult->Destroy();

    // Euler: the node's own rotation first (Z 90), then the layer's (X 90).
    KFCurveNode* euler = MakeMembers(KFCL_EULER_XYZ, {0, 0, 90});
    SetLayerValues(euler->CreateLayerAt(1), {90, 0, 0});
    euler->GeneralEvaluate(v, KTime(0));
    ExpectNear3(v, 90, -90, 0);
    euler->Destroy();

    // Quaternion: (90 about Z) x (90 about X) as a quaternion product; the
    // base writes Euler XYZ angles, three values for four members.
    KFCurveNode* quat = MakeMembers(KFCL_QUAT, {0, 0, kHalf, kHalf});
    SetLayerValues(quat->CreateLayerAt(1), {kHalf, 0, 0, kHalf});
    EXPECT_EQ(quat->GeneralEvaluate(v, KTime(0)), v + 3);
    ExpectNear3(v, 90, 0, 90);
    // A layer writes its four members.
    EXPECT_EQ(quat->LayerGet()->GeneralEvaluate(v, KTime(0)), v + 4);
    quat->Destroy();

    // A single-curve rotation node ignores its layers; a plain one adds them.
    KFCurveNode* single = KFCurveNodeCreate("Angle", static_cast<KDataType*>(nullptr), KFCL_EULER_XYZ, 0);
    single->FCurveSet(KFCurveCreate());
    single->FCurveGet()->SetValue(30.0f);
    single->CreateLayerAt(1)->FCurveGet()->SetValue(15.0f);
    single->GeneralEvaluate(v, KTime(0));
    EXPECT_NEAR(v[0], 30.0, 1e-6);
    single->SetLayerType(KFCL_NOLAYER);
    single->GeneralEvaluate(v, KTime(0));
    EXPECT_NEAR(v[0], 45.0, 1e-6);
    single->Destroy();
}

TEST(KFCurveNodeLayerMath, AddAndInverseByLayerType)
{
    KFCurveNode* three = MakeMembers(KFCL_ADD, {0, 0, 0});
    double first[4] = {1, 2, 3, 0}, second[4] = {10, 20, 30, 0}, out[4];
    AddValuesAlongLayerType(three, out, first, second);
    ExpectNear3(out, 11, 22, 33, 0);
    InverseValuesAlongLayerType(three, out, first);
    ExpectNear3(out, -1, -2, -3, 0);
    // The output may be an input.
    AddValuesAlongLayerType(three, first, first, second);
    ExpectNear3(first, 11, 22, 33, 0);
    three->Destroy();

    KFCurveNode* scale = KFCurveNodeCreate("S", static_cast<KDataType*>(nullptr), KFCL_MULT, 0);
    scale->FCurveSet(KFCurveCreate());
    double a = 2, b = 3, r = 0, four = 4;
    AddValuesAlongLayerType(scale, &r, &a, &b);
    EXPECT_EQ(r, 6.0);
    InverseValuesAlongLayerType(scale, &r, &four);
    EXPECT_EQ(r, 0.25);
    scale->Destroy();

    KFCurveNode* quat = MakeMembers(KFCL_QUAT, {0, 0, 0, 1});
    double q[4] = {0.1, 0.2, 0.3, 0.9}, qi[4];
    InverseValuesAlongLayerType(quat, qi, q);
    EXPECT_EQ(qi[0], -0.1);
    EXPECT_EQ(qi[1], -0.2);
    EXPECT_EQ(qi[2], -0.3);
    EXPECT_EQ(qi[3], 0.9);
    double qz[4] = {0, 0, kHalf, kHalf}, qx[4] = {kHalf, 0, 0, kHalf}, qp[4];
    AddValuesAlongLayerType(quat, qp, qz, qx);
    EXPECT_NEAR(qp[0], 0.5, 1e-12);
    EXPECT_NEAR(qp[1], 0.5, 1e-12);
    EXPECT_NEAR(qp[2], 0.5, 1e-12);
    EXPECT_NEAR(qp[3], 0.5, 1e-12);
    quat->Destroy();

    // Euler: first applied first, as evaluation composes a node and its layer.
    KFCurveNode* euler = MakeMembers(KFCL_EULER_XYZ, {0, 0, 0});
    double z90[3] = {0, 0, 90}, x90[3] = {90, 0, 0}, e[3];
    AddValuesAlongLayerType(euler, e, z90, x90);
    ExpectNear3(e, 90, -90, 0);
    AddValuesAlongLayerType(euler, e, x90, z90);
    ExpectNear3(e, 90, 0, 90);
    double tilt[3] = {30, 0, 0};
    InverseValuesAlongLayerType(euler, e, tilt);
    ExpectNear3(e, -30, 0, 0);
    euler->Destroy();

    // Unknown layer types leave the output alone.
    KFCurveNode* odd = MakeMembers(9, {1, 2, 3});
    double keep[3] = {5, 5, 5};
    AddValuesAlongLayerType(odd, keep, first, second);
    InverseValuesAlongLayerType(odd, keep, first);
    ExpectNear3(keep, 5, 5, 5, 0);
    odd->Destroy();
}

TEST(KFCurveNodeLayerMath, PrepareForSolvingSplitsAroundTheTarget)
{
    KFCurveNode* node = MakeMembers(KFCL_ADD, {0, 0, 0});
    KFCurveNode* l1 = node->CreateLayerAt(1);
    KFCurveNode* l2 = node->CreateLayerAt(2);
    KFCurveNode* l3 = node->CreateLayerAt(3);
    (void)l2;
    KArrayTemplate<KFCurveNode*> below, above;
    KFCurve_PrepareForSolving(node, nullptr, 2, below, above);
    ASSERT_EQ(below.GetCount(), 2);
    EXPECT_EQ(below[0], node);
    EXPECT_EQ(below[1], l1);
    ASSERT_EQ(above.GetCount(), 1);
    EXPECT_EQ(above[0], l3);

    // With the list (3, 1) and target 1: list order decides.
    KArrayTemplate<int> ids;
    ids.Add(3);
    ids.Add(1);
    ids.Add(8); // no such layer: skipped
    below.Clear();
    above.Clear();
    KFCurve_PrepareForSolving(node, &ids, 1, below, above);
    EXPECT_EQ(below.GetCount(), 0);
    ASSERT_EQ(above.GetCount(), 2);
    EXPECT_EQ(above[0], l3);
    EXPECT_EQ(above[1], l1);
    node->Destroy();
}

TEST(KFCurveNodeLayerMath, SolvedLayerRecombinesToTheWantedValues)
{
    double v[8];
    double previous[3] = {0, 0, 0};

    // Added: wanted (5, 5, 5) with layers 0 (1, 2, 3) and 2 (10, 10, 10)
    // around target 1 gives (-6, -7, -8).
    {
        KFCurveNode* node = MakeMembers(KFCL_ADD, {1, 2, 3});
        KFCurveNode* target = node->CreateLayerAt(1);
        SetLayerValues(node->CreateLayerAt(2), {10, 10, 10});
        KArrayTemplate<KFCurveNode*> below, above;
        KFCurve_PrepareForSolving(node, nullptr, 1, below, above);
        double wanted[3] = {5, 5, 5}, out[3];
        KFCurve_CandidateSolveInLayers(node, out, wanted, KTime(0), below, above, 0, nullptr, previous);
        ExpectNear3(out, -6, -7, -8);
        // Empty lists: the wanted values unchanged.
        KArrayTemplate<KFCurveNode*> none;
        KFCurve_CandidateSolveInLayers(node, v, wanted, KTime(0), none, none, 0, nullptr, previous);
        ExpectNear3(v, 5, 5, 5);
        SetLayerValues(target, {out[0], out[1], out[2]});
        node->GeneralEvaluate(v, KTime(0));
        ExpectNear3(v, 5, 5, 5);
        node->Destroy();
    }
    // Multiplied: wanted 12 over 2 and 3 gives 2.
    {
        KFCurveNode* node = MakeMembers(KFCL_MULT, {2, 2, 2});
        KFCurveNode* target = node->CreateLayerAt(1);
        SetLayerValues(node->CreateLayerAt(2), {3, 3, 3});
        KArrayTemplate<KFCurveNode*> below, above;
        KFCurve_PrepareForSolving(node, nullptr, 1, below, above);
        double wanted[3] = {12, 6, 3}, out[3];
        KFCurve_CandidateSolveInLayers(node, out, wanted, KTime(0), below, above, 0, nullptr, previous);
        ExpectNear3(out, 2, 1, 0.5);
        SetLayerValues(target, {out[0], out[1], out[2]});
        node->GeneralEvaluate(v, KTime(0));
        ExpectNear3(v, 12, 6, 3);
        node->Destroy();
    }
    // Euler rotations that do not commute.
    {
        KFCurveNode* node = MakeMembers(KFCL_EULER_XYZ, {0, 0, 40});
        KFCurveNode* target = node->CreateLayerAt(1);
        SetLayerValues(node->CreateLayerAt(2), {25, 0, 0});
        KArrayTemplate<KFCurveNode*> below, above;
        KFCurve_PrepareForSolving(node, nullptr, 1, below, above);
        double wanted[3] = {10, 20, 30}, out[3];
        KFCurve_CandidateSolveInLayers(node, out, wanted, KTime(0), below, above, 0, nullptr, previous);
        SetLayerValues(target, {out[0], out[1], out[2]});
        node->GeneralEvaluate(v, KTime(0));
        ExpectNear3(v, 10, 20, 30, 1e-3);
        node->Destroy();
    }
    // Quaternions.
    {
        KFCurveNode* node = MakeMembers(KFCL_QUAT, {0, 0, kHalf, kHalf});
        KFCurveNode* target = node->CreateLayerAt(1);
        SetLayerValues(node->CreateLayerAt(2), {kHalf, 0, 0, kHalf});
        KArrayTemplate<KFCurveNode*> below, above;
        KFCurve_PrepareForSolving(node, nullptr, 1, below, above);
        double wanted[4] = {0, kHalf, 0, kHalf}, out[4];
        KFCurve_CandidateSolveInLayers(node, out, wanted, KTime(0), below, above, 0, nullptr, previous);
        SetLayerValues(target, {out[0], out[1], out[2], out[3]});
        node->GeneralEvaluate(v, KTime(0));
        ExpectNear3(v, 0, 90, 0, 1e-3);
        node->Destroy();
    }
}

TEST(KFCurveNodeLayerMath, EvaluateInLayersFoldsTheListedLayers)
{
    KFCurveNode* node = MakeMembers(KFCL_ADD, {1, 1, 1});
    SetLayerValues(node->CreateLayerAt(1), {10, 10, 10});
    SetLayerValues(node->CreateLayerAt(2), {100, 100, 100});
    double acc[3] = {0, 0, 0};
    KFCurve_CandidateEvaluateInLayersRecursive(node, acc, KTime(0), nullptr, 0, nullptr);
    ExpectNear3(acc, 111, 111, 111);

    KArrayTemplate<int> ids;
    ids.Add(0);
    ids.Add(2);
    double listed[3] = {0, 0, 0};
    KFCurve_CandidateEvaluateInLayersRecursive(node, listed, KTime(0), &ids, 0, nullptr);
    ExpectNear3(listed, 101, 101, 101);

    // A list whose ids all lie below the chain's ends once it is exhausted.
    KArrayTemplate<int> low;
    low.Add(-5);
    low.Add(-3);
    double none[3] = {0, 0, 0};
    KFCurve_CandidateEvaluateInLayersRecursive(node, none, KTime(0), &low, 0, nullptr);
    ExpectNear3(none, 0, 0, 0);
    node->Destroy();
}

TEST(KFCurveNodeLayerMath, TimeWarpSetLookups)
{
    int nick = -1;
    KFCurve_SetTWSet(nullptr);
    EXPECT_EQ(KFCurve_FindTWFromNickNumber(1), nullptr);
    KFCurveNode* warp = KFCurveNodeCreate("Warp", KDataTypeTimeWarp);
    EXPECT_FALSE(KFCurve_FindNickNumberFromTW(nick, warp));

    KSet set(16);
    EXPECT_EQ(KFCurve_FindTWFromNickNumber(1), nullptr);
    KFCurve_SetTWSet(&set);
    EXPECT_EQ(KFCurve_FindTWFromNickNumber(1), nullptr);
    set.Add(7, reinterpret_cast<kReference>(warp));
    EXPECT_EQ(KFCurve_FindTWFromNickNumber(7), warp);
    EXPECT_EQ(KFCurve_FindTWFromNickNumber(8), nullptr);
    EXPECT_TRUE(KFCurve_FindNickNumberFromTW(nick, warp));
    EXPECT_EQ(nick, 7);
    EXPECT_FALSE(KFCurve_FindNickNumberFromTW(nick, nullptr));
    KFCurve_SetTWSet(nullptr);
    warp->Destroy();
}

TEST(KFCurveNodeLayerMath, AxisAlignment)
{
    double o[3] = {1, 1, 1}, px[3] = {3, 1, 1}, py[3] = {1, 5, 1}, nx[3] = {-2, 1, 1}, angles[3];
    EXPECT_TRUE(AxisAlignmentInEulerAngle(o, px, px, angles));
    ExpectNear3(angles, 0, 0, 0, 0);
    EXPECT_TRUE(AxisAlignmentInEulerAngle(o, px, nx, angles));
    ExpectNear3(angles, 180, 0, 0, 0);
    EXPECT_TRUE(AxisAlignmentInEulerAngle(o, px, py, angles));
    ExpectNear3(angles, 0, 0, 90, 1e-9);
}

} // namespace
