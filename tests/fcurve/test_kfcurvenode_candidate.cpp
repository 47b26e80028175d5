// Curve-node candidates: total candidates, their solving into one layer,
// keying, clearing and the saved candidate state.

#include <gtest/gtest.h>

#include <cmath>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kpropertydatatype.h"

namespace {

const double kHalf = std::sqrt(0.5);

KTime Seconds(double s)
{
    KTime t;
    t.SetSecondDouble(s);
    return t;
}

void AddKey(KFCurve* curve, double seconds, float value)
{
    KFCurveKey key;
    key.Init();
    key.Set(Seconds(seconds), value, KFCURVE_INTERPOLATION_LINEAR, KFCURVE_TANGEANT_AUTO);
    curve->KeyAdd(Seconds(seconds), key);
}

KFCurveNode* MakeTranslation()
{
    KFCurveNode* t = FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "T");
    t->CreateFCurve();
    return t;
}

void ExpectNear3(const double* v, double x, double y, double z, double tolerance = 1e-4)
{
    EXPECT_NEAR(v[0], x, tolerance);
    EXPECT_NEAR(v[1], y, tolerance);
    EXPECT_NEAR(v[2], z, tolerance);
}

TEST(KFCurveNodeCandidate, LayerNodesIgnoreTotalCandidates)
{
    KFCurveNode* t = MakeTranslation();
    KFCurveNode* layer = t->CreateLayerAt(1);
    double values[3] = {1, 2, 3};
    EXPECT_EQ(layer->CandidateSet(Seconds(1), values), values + 3);
    EXPECT_FALSE(layer->IsCandidate());
    EXPECT_EQ(layer->Get(0)->FCurveGet()->GetValue(), 0.0f);
    t->Destroy();
}

TEST(KFCurveNodeCandidate, KeylessValuesTakeTheCandidateAtOnce)
{
    KFCurveNode* t = MakeTranslation();
    AddKey(t->Get(0)->FCurveGet(), 0.0, 100.0f); // X is keyed, Y and Z are not
    double values[3] = {4, 5, 6};
    EXPECT_EQ(t->CandidateSet(Seconds(1), values), values + 3);
    EXPECT_TRUE(t->IsCandidate());
    EXPECT_EQ(t->Get(0)->FCurveGet()->GetValue(), 0.0f);
    EXPECT_EQ(t->Get(1)->FCurveGet()->GetValue(), 5.0f);
    EXPECT_EQ(t->Get(2)->FCurveGet()->GetValue(), 6.0f);

    double out[4] = {0, 0, 0, 0};
    EXPECT_EQ(t->CandidateGet(out), out + 3);
    ExpectNear3(out, 4, 5, 6, 0);
    KTime time;
    double total[8];
    EXPECT_EQ(t->CandidateGetTotalCandidate(total, time), total + 4);
    EXPECT_EQ(time, Seconds(1));
    // The cached candidate answers candidate evaluation at its time.
    t->CandidateEvaluate(out, Seconds(1));
    ExpectNear3(out, 4, 5, 6, 0);
    t->GeneralEvaluate(out, Seconds(1));
    ExpectNear3(out, 100, 5, 6, 0);

    t->CandidateClear();
    EXPECT_FALSE(t->IsCandidate());
    double cleared[3] = {-1, -1, -1};
    EXPECT_EQ(t->CandidateGet(cleared), cleared);
    t->Destroy();
}

TEST(KFCurveNodeCandidate, SpecificLayerValuesAndNeutralValuesForMissingLayers)
{
    KFCurveNode* t = MakeTranslation();
    double v[3];
    KTime time;
    EXPECT_EQ(t->CandidateGetSpecificLayer(v, time, 4), v + 3);
    ExpectNear3(v, 0, 0, 0, 0);

    KFCurveNode* s = FCurveNodeCreateFromDataType(KDataTypeLclScaling, "S");
    s->CreateFCurve();
    s->CreateLayerAt(1);
    EXPECT_EQ(s->CandidateGetSpecificLayer(v, time, 4), v + 3);
    ExpectNear3(v, 1, 1, 1, 0);
    s->Destroy();

    // Layer 1 must hold the total less the base layer.
    for (int i = 0; i < 3; ++i)
        AddKey(t->Get(i)->FCurveGet(), 0.0, static_cast<float>(i + 1));
    t->CreateLayerAt(1);
    double wanted[3] = {5, 5, 5};
    t->CandidateSet(Seconds(2), wanted, 1);
    t->CandidateGetSpecificLayer(v, time, 1);
    ExpectNear3(v, 4, 3, 2);
    EXPECT_EQ(time, Seconds(2));
    EXPECT_TRUE(t->LayerGet()->Get(0)->FCurveGet()->IsCandidate());
    t->Destroy();
}

TEST(KFCurveNodeCandidate, CandidateSetSpecificLayerCreatesTheLayer)
{
    KFCurveNode* t = MakeTranslation();
    double v[3] = {7, 8, 9};
    EXPECT_EQ(t->CandidateSetSpecificLayer(Seconds(1), v, 3), v + 3);
    KFCurveNode* layer = t->LayerGet(3);
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->Get(2)->FCurveGet()->CandidateGet(), 9.0f);
    EXPECT_EQ(layer->Get(2)->FCurveGet()->GetValue(), 9.0f); // no keys: also the value
    double second[3] = {1, 1, 1};
    t->CandidateSetSpecificLayer(Seconds(1), second, 2);
    EXPECT_EQ(t->LayerGet()->GetLayerID(), 2);
    EXPECT_EQ(t->LayerGet()->LayerGet(), layer);
    KTime time;
    double back[3];
    layer->CandidateGetWithTime(back, time);
    ExpectNear3(back, 7, 8, 9, 0);
    EXPECT_EQ(time, Seconds(1));
    t->Destroy();
}

TEST(KFCurveNodeCandidate, CandidateKeyWritesTheSolvedLayer)
{
    KFCurveNode* t = MakeTranslation();
    for (int i = 0; i < 3; ++i)
    {
        AddKey(t->Get(i)->FCurveGet(), 0.0, static_cast<float>(i + 1));
        AddKey(t->Get(i)->FCurveGet(), 4.0, static_cast<float>(i + 1));
    }
    KFCurveNode* layer = t->CreateLayerAt(1);
    AddKey(layer->Get(0)->FCurveGet(), 0.0, 0.0f);
    double wanted[3] = {10, 20, 30};
    t->CandidateSet(Seconds(2), wanted, 1);
    EXPECT_TRUE(t->CandidateKey(nullptr, 1, nullptr, false, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO));
    EXPECT_FALSE(t->IsCandidate());
    EXPECT_EQ(layer->Get(1)->FCurveGet()->KeyGetCount(), 1);
    EXPECT_EQ(layer->Get(0)->FCurveGet()->KeyGetCount(), 2);
    double v[3];
    t->GeneralEvaluate(v, Seconds(2));
    ExpectNear3(v, 10, 20, 30, 1e-3);
    // The base layer is untouched.
    t->Evaluate(v, Seconds(2));
    ExpectNear3(v, 1, 2, 3, 1e-5);

    // Without a candidate and without a time nothing is keyed.
    EXPECT_FALSE(t->CandidateKey(nullptr, 1));

    // With a mask only the selected members are keyed.
    double more[3] = {0, 0, 0};
    t->CandidateSet(Seconds(3), more, 1);
    bool mask[3] = {false, true, false};
    EXPECT_TRUE(t->CandidateKey(nullptr, 1, mask));
    EXPECT_EQ(layer->Get(1)->FCurveGet()->KeyGetCount(), 2);
    EXPECT_EQ(layer->Get(2)->FCurveGet()->KeyGetCount(), 1);
    t->Destroy();
}

TEST(KFCurveNodeCandidate, EulerCandidateKeyedInALayerRecombines)
{
    KFCurveNode* r = FCurveNodeCreateFromDataType(KDataTypeLclRotation, "R");
    r->CreateFCurve();
    AddKey(r->Get(2)->FCurveGet(), 0.0, 40.0f);
    KFCurveNode* layer = r->CreateLayerAt(1);
    KFCurveNode* top = r->CreateLayerAt(2);
    top->Get(0)->FCurveGet()->SetValue(25.0f);
    double wanted[3] = {10, 20, 30};
    r->CandidateSet(Seconds(1), wanted, 1);
    ASSERT_TRUE(r->CandidateKey(nullptr, 1));
    EXPECT_EQ(layer->Get(0)->FCurveGet()->KeyGetCount(), 1);
    double v[3];
    r->GeneralEvaluate(v, Seconds(1));
    ExpectNear3(v, 10, 20, 30, 1e-3);
    r->Destroy();
}

TEST(KFCurveNodeCandidate, QuaternionNodeTakesEulerAnglesAndShowsThem)
{
    KFCurveNode* q = FCurveNodeCreateFromDataType(KDataTypeLclRotation, "Q");
    q->CreateFCurve();
    q->SetLayerType(KFCL_QUAT);
    ASSERT_EQ(q->GetCount(), 4);
    q->Get(3)->FCurveGet()->SetValue(1.0f);
    double angles[3] = {0, 0, 90};
    EXPECT_EQ(q->CandidateSet(Seconds(1), angles), angles + 3);
    // The members hold the quaternion.
    EXPECT_NEAR(q->Get(2)->FCurveGet()->GetValue(), kHalf, 1e-6);
    EXPECT_NEAR(q->Get(3)->FCurveGet()->GetValue(), kHalf, 1e-6);
    double out[3];
    EXPECT_EQ(q->CandidateGet(out), out + 3);
    ExpectNear3(out, 0, 0, 90);
    q->CandidateEvaluate(out, Seconds(1));
    ExpectNear3(out, 0, 0, 90);
    q->Destroy();
}

TEST(KFCurveNodeCandidate, CachedCandidateKeepsEveryMember)
{
    // Six members: the cache holds six values, not four.
    KFCurveNode* node = KFCurveNodeCreate("Six");
    for (int i = 0; i < 6; ++i)
    {
        char name[2] = {static_cast<char>('A' + i), 0};
        node->FindOrCreate(name, true)->FCurveGet()->SetValue(static_cast<float>(i + 1));
    }
    double v[6];
    node->CandidateEvaluate(v, Seconds(1));
    EXPECT_TRUE(node->IsCandidate());
    double cached[8] = {0, 0, 0, 0, 0, 0, -1, -1};
    KTime time;
    EXPECT_EQ(node->CandidateGetTotalCandidate(cached, time), cached + 6);
    EXPECT_EQ(time, Seconds(1));
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(cached[i], i + 1.0);
    EXPECT_EQ(cached[6], -1.0);
    // Asked again at that time, the cache answers, all six members.
    node->Get(5)->FCurveGet()->SetValue(60.0f);
    node->CandidateEvaluate(v, Seconds(1));
    EXPECT_EQ(v[5], 6.0);

    double values[6] = {6, 5, 4, 3, 2, 1};
    EXPECT_EQ(node->CandidateSet(Seconds(2), values), values + 6);
    node->CandidateGet(cached);
    EXPECT_EQ(cached[5], 1.0);

    // A member added afterwards reads 0 from the cache rather than beyond it.
    node->FindOrCreate("G", true);
    double seven[7];
    EXPECT_EQ(node->CandidateGet(seven), seven + 7);
    EXPECT_EQ(seven[6], 0.0);
    node->Destroy();
}

TEST(KFCurveNodeCandidate, ChildIndexSetsOneMember)
{
    KFCurveNode* t = MakeTranslation();
    double values[3] = {1, 2, 3};
    t->CandidateSet(Seconds(1), values, 0, 1);
    EXPECT_EQ(t->Get(0)->FCurveGet()->GetValue(), 0.0f);
    EXPECT_EQ(t->Get(1)->FCurveGet()->GetValue(), 2.0f);
    EXPECT_EQ(t->Get(2)->FCurveGet()->GetValue(), 0.0f);
    t->Destroy();
}

TEST(KFCurveNodeCandidate, SavedStateRestoresValuesAndDropsNewLayers)
{
    KFCurveNode* t = MakeTranslation();
    t->CreateLayerAt(1);
    double values[3] = {1, 2, 3};
    t->CandidateSet(Seconds(1), values);
    KFCurveNodeCandidateState state;
    t->GetCandidateState(state);
    EXPECT_EQ(state.mTotalCandidateMethod, KFCURVENODE_CANDIDATE_SET);
    EXPECT_EQ(state.mSubStates.GetCount(), 3);
    ASSERT_NE(state.mLayerState, nullptr);
    EXPECT_EQ(state.mLayerState->mLayerID, 1);
    EXPECT_EQ(state.mSubStates[1]->mFCurveValue, 2.0);
    state.Dump();

    t->CandidateClear();
    t->Get(1)->FCurveGet()->SetValue(50.0f);
    t->CreateLayerAt(2);
    t->SetCandidateState(state, true);
    EXPECT_TRUE(t->IsCandidate());
    EXPECT_EQ(t->LayerGet(2), nullptr);
    EXPECT_NE(t->LayerGet(1), nullptr);
    EXPECT_EQ(t->Get(1)->FCurveGet()->GetValue(), 2.0f);
    double out[3];
    t->CandidateGet(out);
    ExpectNear3(out, 1, 2, 3, 0);

    // Saving again replaces the old sub-states.
    t->GetCandidateState(state);
    EXPECT_EQ(state.mSubStates.GetCount(), 3);
    t->Destroy();
}

TEST(KFCurveNodeCandidate, ClearWithAndWithoutSubLayers)
{
    KFCurveNode* t = MakeTranslation();
    double v[3] = {1, 1, 1};
    t->CandidateSetSpecificLayer(Seconds(1), v, 1);
    t->CandidateSetSpecificLayer(Seconds(1), v, 0);
    KFCurve* base = t->Get(0)->FCurveGet();
    KFCurve* upper = t->LayerGet(1)->Get(0)->FCurveGet();
    EXPECT_TRUE(base->IsCandidate());
    EXPECT_TRUE(upper->IsCandidate());
    t->CandidateClear(0, false);
    EXPECT_FALSE(base->IsCandidate());
    EXPECT_TRUE(upper->IsCandidate());
    t->CandidateClear(1, false);
    EXPECT_FALSE(upper->IsCandidate());
    t->CandidateSetSpecificLayer(Seconds(1), v, 1);
    t->CandidateClear(0, true);
    EXPECT_FALSE(upper->IsCandidate());
    t->Destroy();
}

} // namespace
