// Animation layers on curve nodes, the layer-type arithmetic, solving in layers, the time-warp set, and evaluation of
// general and rotation nodes.

#include "fcurve_test_util.h"

#include <cmath>

#include "base/kset.h"
#include "fcurve/kfcurvelayer.h"
#include "object/kpropertydatatype.h"

using namespace fctest;

namespace {

const double kHalf = std::sqrt(0.5);
int gLayerEvents = 0;
void CountLayerEvents(KFCurveNode*, KFCurveNodeEvent* event, void*)
{
    if (event->mEventType & KFCURVENODEEVENT_CTRLCURVE)
        gLayerEvents++;
}

// A rotation node "R" with X, Y, Z keyed linearly at {seconds, x, y, z}.
KFCurveNode* MakeRotation(std::initializer_list<std::initializer_list<double>> keys, bool quaternion,
                          unsigned int interpolation = L)
{
    KFCurveNode* r = FCurveNodeCreateFromDataType(KDataTypeLclRotation, "R");
    r->CreateFCurve();
    KeyMembers(r, keys, interpolation);
    r->SetUseQuaternion(quaternion);
    return r;
}

// The layer ids along a node's chain.
std::vector<int> Chain(KFCurveNode* node)
{
    std::vector<int> ids;
    for (; node; node = node->LayerGet())
        ids.push_back(node->GetLayerID());
    return ids;
}

// A node of the layer type with members X, Y, Z (and W for quaternions).
KFCurveNode* MakeNode(int layerType)
{
    return layerType == KFCL_QUAT ? MemberNode("N", layerType, {0, 0, 0, 1}) : MemberNode("N", layerType);
}

// Angle in degrees of the rotation between two Euler XYZ triples.
double AngleBetween(const double* a, const double* b)
{
    KgeRMatrix ra, rb, rel;
    KmXYZtoR(ra, a[0], a[1], a[2]);
    KmXYZtoR(rb, b[0], b[1], b[2]);
    KmRiR(rel, ra, rb);
    double q[4] = {0, 0, 0, 1};
    KmRtoQ(q, rel);
    return 2.0 * std::acos(std::fmin(std::fabs(q[3]), 1.0)) * 57.29577951308232;
}

} // namespace

TEST(KFCurveNodeLayers, LayerChainStaysOrdered)
{
    KFCurveNode* flat = MemberNode("Node", KFCL_ADD, {1, 2, 3});
    flat->SetMultiLayer(false); // a node that is not multi-layer gets no layers
    EXPECT_FALSE(flat->Get(0)->IsMultiLayer());
    EXPECT_EQ(flat->LayerCreate(1), nullptr);
    EXPECT_EQ(flat->CreateLayerAt(1), nullptr);
    EXPECT_EQ(flat->GetLayerNode(5), flat);
    EXPECT_EQ(flat->InsertOrCopyLayer(2, flat), nullptr);
    flat->Destroy();
    KFCurveNode* node = MemberNode("Node", KFCL_ADD, {1, 2, 3});
    gLayerEvents = 0;
    node->CallbackRegister(CountLayerEvents, nullptr);
    EXPECT_EQ(node->CreateLayerAt(0), nullptr); // a lone base and id 0: nothing
    KFCurveNode* l3 = node->CreateLayerAt(3);
    KFCurveNode* l2 = node->CreateLayerAt(2);
    EXPECT_EQ(node->CreateLayerAt(3), l3); // left alone
    EXPECT_EQ(gLayerEvents, 2);
    node->CreateLayerAt(5);
    EXPECT_EQ(Chain(node), (std::vector<int>{0, 2, 3, 5}));
    EXPECT_EQ(l2->ObjectLayerGet(), node);
    EXPECT_EQ(l2->Get(0)->ObjectLayerGet(), node->Get(0));
    EXPECT_STREQ(l2->Get(1)->GetName(), "Y");
    EXPECT_EQ(node->LayerGet(3), l3);
    EXPECT_EQ(node->LayerGet(4), nullptr);
    EXPECT_EQ(node->GetPreviousLayer(0), nullptr);
    EXPECT_EQ(node->GetPreviousLayer(3), l2);
    EXPECT_EQ(node->GetPreviousLayer(4), l3);
    EXPECT_EQ(node->GetCorrectLayer(4, false), nullptr);
    EXPECT_EQ(node->GetCorrectLayer(4, true)->GetLayerID(), 4);
    EXPECT_EQ(Chain(node), (std::vector<int>{0, 2, 3, 4, 5}));
    EXPECT_EQ(node->RemoveLayer(3, false), l3); // removing keeps the rest linked
    EXPECT_EQ(l3->LayerGet(), nullptr);
    l3->Destroy();
    EXPECT_EQ(node->RemoveLayer(4, true), nullptr);
    EXPECT_EQ(node->RemoveLayer(9, true), nullptr);
    EXPECT_EQ(Chain(node), (std::vector<int>{0, 2, 5}));
    node->CallbackUnregister(CountLayerEvents, nullptr);
    node->Destroy(); // the chain goes with it
}

TEST(KFCurveNodeLayers, NewLayersTypesAndCopies)
{
    // New layers start neutral, with the base colours.
    KFCurveNode* scale = MemberNode("S", KFCL_MULT, {2, 3, 4});
    float red[3] = {1.0f, 0.0f, 0.0f};
    scale->Get(1)->SetColor(red);
    KFCurveNode* layer = scale->LayerCreate(1);
    EXPECT_EQ(Statics(layer), Vec({1, 1, 1}));
    EXPECT_EQ(layer->Get(1)->GetColor()[0], 1.0f);
    scale->Destroy();
    KFCurveNode* quat = MemberNode("Q", KFCL_QUAT, {0, 0, 0, 1});
    EXPECT_EQ(Statics(quat->CreateLayerAt(1)), Vec({0, 0, 0, 1}));
    double zeros[4];
    EXPECT_EQ(quat->GetZeroValues(zeros), zeros + 4);
    quat->Destroy();
    // Changing the layer type adds or removes the fourth member "W"; nodes of other sizes keep their members.
    KFCurveNode* r = MemberNode("R", KFCL_EULER_XYZ);
    r->SetLayerType(KFCL_QUAT);
    ASSERT_EQ(r->GetCount(), 4);
    EXPECT_STREQ(r->Get(3)->GetName(), "W");
    EXPECT_EQ(r->Get(3)->GetDataType(), KDataTypeNumber);
    EXPECT_NE(Member(r, 3), nullptr);
    r->SetLayerType(KFCL_EULER_XYZ);
    EXPECT_EQ(r->GetCount(), 3);
    KFCurveNode* two = MemberNode("2", KFCL_NOLAYER, {0, 0});
    two->SetLayerType(KFCL_QUAT);
    EXPECT_EQ(two->GetCount(), 2);
    two->Destroy();
    // A layer copied in keeps its own curves; quaternion use and rotation order follow the base along the chain.
    KFCurveNode* source = MemberNode("R", KFCL_EULER_XYZ, {7, 8, 9});
    KFCurveNode* copied = r->InsertOrCopyLayer(2, source);
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->GetLayerID(), 2);
    EXPECT_EQ(Statics(copied), Vec({7, 8, 9}));
    EXPECT_NE(Member(copied, 2), Member(source, 2));
    r->SetUseQuaternion(true);
    r->SetRotationOrder(4);
    EXPECT_TRUE(copied->GetUseQuaternion());
    EXPECT_EQ(copied->GetRotationOrder(), 4);
    source->Destroy();
    r->Destroy();
}

TEST(KFCurveNodeLayers, EvaluationCombinesLayersByType)
{
    // {layer type, a, b, a then b, inverse of a, a base a under a layer b evaluates to}.
    const struct
    {
        int layerType;
        std::vector<double> a, b, sum, inverse, evaluated;
    } cases[] = {
        {KFCL_ADD, {1, 2, 3}, {10, 20, 30}, {11, 22, 33}, {-1, -2, -3}, {11, 22, 33}},
        {KFCL_MULT, {2, 4, 8}, {3, 0.5, 1}, {6, 2, 8}, {0.5, 0.25, 0.125}, {6, 2, 8}},
        // Euler: first applied first, as evaluation composes a node and its layer.
        {KFCL_EULER_XYZ, {0, 0, 90}, {90, 0, 0}, {90, -90, 0}, {0, 0, -90}, {90, -90, 0}},
        {KFCL_EULER_XYZ, {90, 0, 0}, {0, 0, 90}, {90, 0, 90}, {-90, 0, 0}, {90, 0, 90}},
        // Quaternions: (90 about Z) x (90 about X); the base evaluates to Euler XYZ angles.
        {KFCL_QUAT,
         {0, 0, kHalf, kHalf},
         {kHalf, 0, 0, kHalf},
         {0.5, 0.5, 0.5, 0.5},
         {0, 0, -kHalf, kHalf},
         {90, 0, 90}},
    };
    double out[4], v[8];
    for (const auto& k : cases)
    {
        SCOPED_TRACE(k.layerType);
        KFCurveNode* node = MakeNode(k.layerType);
        double a[4], b[4];
        std::copy(k.a.begin(), k.a.end(), a);
        std::copy(k.b.begin(), k.b.end(), b);
        AddValuesAlongLayerType(node, out, a, b);
        ExpectNearN(out, k.sum, 1e-9);
        InverseValuesAlongLayerType(node, out, a);
        ExpectNearN(out, k.inverse, 1e-9);
        SetMembers(node, k.a);
        SetMembers(node->CreateLayerAt(1), k.b);
        EXPECT_EQ(node->GeneralEvaluate(v, KTime(0)), v + 3); // three values for four quaternion members
        ExpectNearN(v, k.evaluated, 1e-4);
        if (k.layerType == KFCL_QUAT)
        {
            EXPECT_EQ(node->LayerGet()->GeneralEvaluate(v, KTime(0)), v + 4); // a layer writes its four
        }
        AddValuesAlongLayerType(node, a, a, b); // the output may be an input
        ExpectNearN(a, k.sum, 1e-9);
        node->Destroy();
    }
    KFCurveNode* odd = MemberNode("N", 9); // unknown layer types leave the output alone
    double keep[3] = {5, 5, 5}, first[3] = {1, 2, 3};
    AddValuesAlongLayerType(odd, keep, first, first);
    InverseValuesAlongLayerType(odd, keep, first);
    ExpectNear3(keep, 5, 5, 5, 0);
    odd->Destroy();
    // Layers on layers; the plain evaluation reads the base layer only.
    KFCurveNode* add = MemberNode("T", KFCL_ADD, {1, 2, 3});
    SetMembers(add->CreateLayerAt(1), {10, 20, 30});
    SetMembers(add->CreateLayerAt(2), {100, 200, 300});
    add->GeneralEvaluate(v, KTime(0));
    ExpectNear3(v, 111, 222, 333);
    add->Evaluate(v, KTime(0));
    ExpectNear3(v, 1, 2, 3);
    add->EvaluateSpecificLayer(v, KTime(0), 2);
    ExpectNear3(v, 100, 200, 300);
    double untouched[3] = {-1, -1, -1};
    EXPECT_EQ(add->EvaluateSpecificLayer(untouched, KTime(0), 7), untouched);
    add->Destroy();
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

TEST(KFCurveNodeLayerMath, PrepareSolveAndEvaluateInLayers)
{
    KFCurveNode* node = MemberNode("T", KFCL_ADD, {1, 1, 1});
    KFCurveNode* l1 = node->CreateLayerAt(1);
    SetMembers(l1, {10, 10, 10});
    SetMembers(node->CreateLayerAt(2), {100, 100, 100});
    KFCurveNode* l3 = node->CreateLayerAt(3);
    using List = std::vector<KFCurveNode*>;
    auto split = [&](KArrayTemplate<int>* ids, int target) {
        KArrayTemplate<KFCurveNode*> below, above;
        KFCurve_PrepareForSolving(node, ids, target, below, above);
        return std::make_pair(List(below.GetArray(), below.GetArray() + below.GetCount()),
                              List(above.GetArray(), above.GetArray() + above.GetCount()));
    };
    EXPECT_EQ(split(nullptr, 2), std::make_pair(List{node, l1}, List{l3}));
    KArrayTemplate<int> ids; // with the list (3, 1, 8) and target 1: list order decides; 8 is skipped
    for (int id : {3, 1, 8})
        ids.Add(id);
    EXPECT_EQ(split(&ids, 1), std::make_pair(List{}, List{l3, l1}));
    // Evaluating in layers folds every layer, or the listed ones; a list of ids below the chain folds nothing.
    const std::vector<std::vector<int>> lists = {{}, {0, 2}, {-5, -3}};
    const double sums[3] = {111, 101, 0};
    for (size_t i = 0; i < lists.size(); ++i)
    {
        KArrayTemplate<int> list;
        for (int id : lists[i])
            list.Add(id);
        double acc[3] = {0, 0, 0};
        KFCurve_CandidateEvaluateInLayersRecursive(node, acc, KTime(0), i ? &list : nullptr, 0, nullptr);
        ExpectNear3(acc, sums[i], sums[i], sums[i]);
    }
    node->Destroy();
}

TEST(KFCurveNodeLayerMath, SolvedLayerRecombinesToTheWantedValues)
{
    // {layer type, base, layer 2 above the target layer 1, wanted}.
    const struct
    {
        int layerType;
        std::vector<double> base, top, wanted;
        double tolerance;
    } cases[] = {
        {KFCL_ADD, {1, 2, 3}, {10, 10, 10}, {5, 5, 5}, 1e-4},         // solves to (-6, -7, -8)
        {KFCL_MULT, {2, 2, 2}, {3, 3, 3}, {12, 6, 3}, 1e-4},          // solves to (2, 1, 0.5)
        {KFCL_EULER_XYZ, {0, 0, 40}, {25, 0, 0}, {10, 20, 30}, 1e-3}, // rotations that do not commute
        {KFCL_QUAT, {0, 0, kHalf, kHalf}, {kHalf, 0, 0, kHalf}, {0, kHalf, 0, kHalf}, 1e-3},
    };
    const double solved[2][3] = {{-6, -7, -8}, {2, 1, 0.5}};
    double previous[3] = {0, 0, 0}, v[8];
    for (size_t c = 0; c < 4; ++c)
    {
        const auto& k = cases[c];
        KFCurveNode* node = MakeNode(k.layerType);
        SetMembers(node, k.base);
        KFCurveNode* target = node->CreateLayerAt(1);
        SetMembers(node->CreateLayerAt(2), k.top);
        KArrayTemplate<KFCurveNode*> below, above, none;
        KFCurve_PrepareForSolving(node, nullptr, 1, below, above);
        double wanted[4], out[4];
        std::copy(k.wanted.begin(), k.wanted.end(), wanted);
        KFCurve_CandidateSolveInLayers(node, out, wanted, KTime(0), below, above, 0, nullptr, previous);
        if (c < 2)
            ExpectNear3(out, solved[c][0], solved[c][1], solved[c][2]);
        SetMembers(target, std::vector<double>(out, out + k.wanted.size()));
        node->GeneralEvaluate(v, KTime(0));
        if (k.layerType == KFCL_QUAT)
            ExpectNear3(v, 0, 90, 0, k.tolerance);
        else
            ExpectNear3(v, k.wanted[0], k.wanted[1], k.wanted[2], k.tolerance);
        // Empty lists: the wanted values unchanged.
        KFCurve_CandidateSolveInLayers(node, v, wanted, KTime(0), none, none, 0, nullptr, previous);
        ExpectNear3(v, wanted[0], wanted[1], wanted[2], 0);
        node->Destroy();
    }
}

TEST(KFCurveNodeLayerMath, TimeWarpSetAndAxisAlignment)
{
    // Time warps found by number only through the set (storage round trips find them through one).
    KFCurveNode* warp = KFCurveNodeCreate("Warp", KDataTypeTimeWarp);
    int nick = -1;
    KFCurve_SetTWSet(nullptr);
    EXPECT_EQ(KFCurve_FindTWFromNickNumber(7), nullptr);
    EXPECT_FALSE(KFCurve_FindNickNumberFromTW(nick, warp));
    warp->Destroy();
    // The Euler angles that turn the axis towards one point so that it points towards another.
    double o[3] = {1, 1, 1}, px[3] = {3, 1, 1}, py[3] = {1, 5, 1}, nx[3] = {-2, 1, 1}, angles[3];
    EXPECT_TRUE(AxisAlignmentInEulerAngle(o, px, px, angles));
    ExpectNear3(angles, 0, 0, 0, 0);
    EXPECT_TRUE(AxisAlignmentInEulerAngle(o, px, nx, angles));
    ExpectNear3(angles, 180, 0, 0, 0);
    EXPECT_TRUE(AxisAlignmentInEulerAngle(o, px, py, angles));
    ExpectNear3(angles, 0, 0, 90, 1e-9);
}

TEST(KFCurveNodeEvaluate, ValueLayoutTimeWarpsAndUpdateIds)
{
    // The node's own curve first, then the children depth first.
    KFCurveNode* node = FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "T");
    node->CreateFCurve();
    node->FCurveSet(KFCurveCreate());
    node->FCurveGet()->SetValue(9.0f);
    SetMembers(node, {1, 2, 3});
    double v[4];
    EXPECT_EQ(node->GeneralEvaluate(v, KTime(0)), v + 4);
    EXPECT_EQ(v[0], 9.0);
    EXPECT_EQ(v[3], 3.0);
    EXPECT_EQ(node->GetValueCount(), 4);
    node->Destroy();
    // A warp holding 2 s maps every time there; the plain evaluation ignores it.
    KFCurveNode* t = FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "T");
    t->CreateFCurve();
    AddKeys(*Member(t, 0), {0, 10}, 4);
    KFCurveNode* warp = KFCurveNodeCreate("Warp", KDataTypeTimeWarp);
    warp->FCurveSet(KFCurveCreate());
    warp->FCurveGet()->SetValue(2.0f);
    t->TimeWarpSet(warp);
    t->GeneralEvaluate(v, Sec(0.5));
    EXPECT_NEAR(v[0], 5.0, 1e-5);
    t->CandidateEvaluate(v, Sec(3.0));
    EXPECT_NEAR(v[0], 5.0, 1e-5);
    t->Evaluate(v, Sec(3.0));
    EXPECT_NEAR(v[0], 7.5, 1e-5);
    t->Destroy(); // the warp goes with its last user
    // Update ids sum the curves, the layers' included for the values.
    KFCurveNode* u = FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "T");
    u->CreateFCurve();
    const unsigned int before = u->GetUpdateId(), valuesBefore = u->GetValuesUpdateId();
    AddKey(*Member(u, 1), Sec(0), 1.0f);
    EXPECT_GT(u->GetUpdateId(), before);
    EXPECT_GT(u->GetValuesUpdateId(), valuesBefore);
    KFCurveNode* layer = u->CreateLayerAt(1);
    const unsigned int withLayer = u->GetValuesUpdateId();
    AddKey(*Member(layer, 0), Sec(0), 1.0f);
    EXPECT_GT(u->GetValuesUpdateId(), withLayer);
    u->Destroy();
}

TEST(KFCurveNodeEvaluate, RotationNodes)
{
    double v[3];
    KFCurveNode* e = MakeRotation({{0, 0, 0, 0}, {1, 90, 90, 0}}, false); // without quaternions the curves are followed
    e->GeneralEvaluate(v, Sec(0.5));
    ExpectNear3(v, 45, 45, 0);
    SetMembers(e->CreateLayerAt(2), {5}); // a specific layer of a rotation node
    EXPECT_EQ(e->EvaluateSpecificLayer(v, Sec(1), 2), v + 3);
    ExpectNear3(v, 5, 0, 0, 0);
    e->Destroy();
    // With quaternions the keys hold and halfway the turn is half done (not the Euler path), continuous at keys.
    KFCurveNode* r = MakeRotation({{0, 0, 0, 0}, {1, 90, 90, 0}, {2, 90, 90, 90}}, true);
    r->GeneralEvaluate(v, Sec(1.0));
    ExpectNear3(v, 90, 90, 0);
    const double start[3] = {0, 0, 0}, end[3] = {90, 90, 0};
    r->GeneralEvaluate(v, Sec(0.5));
    const double total = AngleBetween(start, end);
    EXPECT_NEAR(AngleBetween(start, v), total / 2.0, 1e-3);
    EXPECT_NEAR(AngleBetween(v, end), total / 2.0, 1e-3);
    EXPECT_GT(std::fabs(v[2]) + std::fabs(v[0] - 45.0), 1.0);
    r->GeneralEvaluate(v, KTime(Sec(1.0).Get() - 1000));
    EXPECT_LT(AngleBetween(v, end), 1e-3);
    r->Destroy();
    // 350 to 370 about X: the short way, next to the keyed angles.
    KFCurveNode* w = MakeRotation({{0, 350, 0, 0}, {1, 370, 0, 0}}, true);
    w->GeneralEvaluate(v, Sec(0.5));
    ExpectNear3(v, 360, 0, 0, 1e-3);
    w->Destroy();
    // Cubic keys about one axis stay on that axis and keep the key values, in the node's own rotation order too.
    KFCurveNode* c = MakeRotation({{0, 0, 0, 0}, {1, 60, 0, 0}, {2, 0, 0, 0}, {3, 30, 0, 0}}, true, U);
    for (double t = 0.0; t <= 3.0; t += 0.125)
    {
        c->GeneralEvaluate(v, Sec(t));
        EXPECT_NEAR(v[1], 0.0, 1e-3) << t;
        EXPECT_NEAR(v[2], 0.0, 1e-3) << t;
        EXPECT_TRUE(v[0] > -40.0 && v[0] < 100.0) << t;
    }
    c->GeneralEvaluate(v, Sec(2.0));
    EXPECT_NEAR(v[0], 0.0, 1e-4);
    c->SetRotationOrder(5);
    c->GeneralEvaluate(v, Sec(1.0));
    EXPECT_NEAR(v[0], 60.0, 1e-4);
    c->Destroy();
}

TEST(KFCurveNodeEvaluate, ExtremeKeyTimesAndWarpedTimes)
{
    // Keys half the tick range apart: span lengths are taken in seconds as doubles, so nothing overflows.
    KFCurveNode* r = FCurveNodeCreateFromDataType(KDataTypeLclRotation, "R");
    r->CreateFCurve();
    const KTime ends[2] = {KTime(-(1LL << 62)), KTime((1LL << 62) - 1)};
    for (int k = 0; k < 2; ++k)
        for (int i = 0; i < 3; ++i)
            AddKey(*Member(r, i), ends[k], k == 0 ? 0.0f : 90.0f, U);
    r->SetUseQuaternion(true);
    double v[3];
    for (KTime t : {KTime(0), ends[0], ends[1], KTIME_INFINITE, KTIME_MINUS_INFINITE})
    {
        r->GeneralEvaluate(v, t);
        EXPECT_TRUE(std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]));
    }
    KTime start(0), stop(0);
    EXPECT_TRUE(r->GetAnimationInterval(start, stop));
    EXPECT_EQ(start, ends[0]);
    EXPECT_EQ(stop, ends[1]);
    EXPECT_EQ(r->GetNextKeyTime(KTime(0)), ends[1]);
    KFCurveNode* warp = KFCurveNodeCreate("Warp", KDataTypeTimeWarp); // a time warp far beyond the tick range saturates
    warp->FCurveSet(KFCurveCreate());
    warp->FCurveGet()->SetValue(3.0e38f);
    r->TimeWarpSet(warp);
    r->GeneralEvaluate(v, KTime(0));
    EXPECT_NEAR(v[0], 90.0, 1e-3);
    r->Destroy();
}
