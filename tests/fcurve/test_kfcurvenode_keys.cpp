// Curve-node candidates (setting, solving into a layer, keying, saved state) and key queries and edits across members,
// copy and replace over spans.

#include "fcurve_test_util.h"

#include <cmath>

#include "object/kpropertydatatype.h"

using namespace fctest;

namespace {

// A node of the given data type with X, Y, Z and curves (and one of its own).
KFCurveNode* Make(KDataType* type = KDataTypeLclTranslation, const char* name = "T", bool ownCurve = false)
{
    KFCurveNode* node = FCurveNodeCreateFromDataType(type, name);
    node->CreateFCurve();
    if (ownCurve)
        node->FCurveSet(KFCurveCreate());
    return node;
}

// The same keys on every member, at the given seconds with their values.
void KeyAll(KFCurveNode* node, std::initializer_list<double> seconds)
{
    for (int i = 0; i < node->GetCount(); ++i)
        for (double s : seconds)
            AddKey(*Member(node, i), Sec(s), static_cast<float>(i + 1));
}

} // namespace

TEST(KFCurveNodeCandidate, SetGetAndEvaluate)
{
    KFCurveNode* t = Make(); // layer nodes ignore total candidates
    KFCurveNode* layer = t->CreateLayerAt(1);
    double values[3] = {1, 2, 3};
    EXPECT_EQ(layer->CandidateSet(Sec(1), values), values + 3);
    EXPECT_FALSE(layer->IsCandidate());
    EXPECT_EQ(Member(layer, 0)->GetValue(), 0.0f);
    t->Destroy();
    t = Make(); // keyless members take the candidate at once
    AddKey(*Member(t, 0), Sec(0), 100.0f);
    double four[3] = {4, 5, 6}, out[4] = {0, 0, 0, 0}, total[8];
    EXPECT_EQ(t->CandidateSet(Sec(1), four), four + 3);
    EXPECT_TRUE(t->IsCandidate());
    EXPECT_EQ(Values(*Member(t, 0)), (std::vector<float>{100}));
    EXPECT_EQ(Member(t, 1)->GetValue(), 5.0f);
    EXPECT_EQ(t->CandidateGet(out), out + 3);
    ExpectNear3(out, 4, 5, 6, 0);
    KTime time;
    EXPECT_EQ(t->CandidateGetTotalCandidate(total, time), total + 4);
    EXPECT_EQ(time, Sec(1));
    t->CandidateEvaluate(out, Sec(1)); // the cached candidate answers candidate evaluation at its time
    ExpectNear3(out, 4, 5, 6, 0);
    t->GeneralEvaluate(out, Sec(1));
    ExpectNear3(out, 100, 5, 6, 0);
    t->CandidateClear();
    EXPECT_FALSE(t->IsCandidate());
    double cleared[3] = {-1, -1, -1};
    EXPECT_EQ(t->CandidateGet(cleared), cleared);
    t->CandidateSet(Sec(1), values, 0, 1); // a child index sets one member
    EXPECT_EQ(Member(t, 1)->GetValue(), 2.0f);
    EXPECT_EQ(Member(t, 2)->GetValue(), 6.0f);
    t->Destroy();
    // A quaternion node takes Euler angles, holds the quaternion and shows the angles.
    KFCurveNode* q = Make(KDataTypeLclRotation, "Q");
    q->SetLayerType(KFCL_QUAT);
    Member(q, 3)->SetValue(1.0f);
    double angles[3] = {0, 0, 90};
    EXPECT_EQ(q->CandidateSet(Sec(1), angles), angles + 3);
    EXPECT_NEAR(Member(q, 2)->GetValue(), std::sqrt(0.5), 1e-6);
    EXPECT_NEAR(Member(q, 3)->GetValue(), std::sqrt(0.5), 1e-6);
    EXPECT_EQ(q->CandidateGet(out), out + 3);
    ExpectNear3(out, 0, 0, 90);
    q->CandidateEvaluate(out, Sec(1));
    ExpectNear3(out, 0, 0, 90);
    q->Destroy();
}

TEST(KFCurveNodeCandidate, CachedCandidateKeepsEveryMember)
{
    KFCurveNode* node = KFCurveNodeCreate("Six"); // six members: the cache holds six values, not four
    for (int i = 0; i < 6; ++i)
    {
        const char name[2] = {static_cast<char>('A' + i), 0};
        node->FindOrCreate(name, true)->FCurveGet()->SetValue(static_cast<float>(i + 1));
    }
    double v[6], cached[8] = {0, 0, 0, 0, 0, 0, -1, -1};
    node->CandidateEvaluate(v, Sec(1));
    EXPECT_TRUE(node->IsCandidate());
    KTime time;
    EXPECT_EQ(node->CandidateGetTotalCandidate(cached, time), cached + 6);
    EXPECT_EQ(std::vector<double>(cached, cached + 7), (std::vector<double>{1, 2, 3, 4, 5, 6, -1}));
    Member(node, 5)->SetValue(60.0f); // asked again at that time, the cache answers, all six members
    node->CandidateEvaluate(v, Sec(1));
    EXPECT_EQ(v[5], 6.0);
    double values[6] = {6, 5, 4, 3, 2, 1};
    EXPECT_EQ(node->CandidateSet(Sec(2), values), values + 6);
    node->CandidateGet(cached);
    EXPECT_EQ(cached[5], 1.0);
    node->FindOrCreate("G", true); // a member added afterwards reads 0 from the cache rather than beyond it
    double seven[7];
    EXPECT_EQ(node->CandidateGet(seven), seven + 7);
    EXPECT_EQ(seven[6], 0.0);
    node->Destroy();
}

TEST(KFCurveNodeCandidate, SpecificLayersSolvingAndKeying)
{
    KFCurveNode* s = Make(KDataTypeLclScaling, "S"); // missing layers read their neutral values
    s->CreateLayerAt(1);
    double v[3];
    KTime time;
    EXPECT_EQ(s->CandidateGetSpecificLayer(v, time, 4), v + 3);
    ExpectNear3(v, 1, 1, 1, 0);
    s->Destroy();
    KFCurveNode* t = Make(); // a specific layer is created on demand; the candidate is its value while keyless
    double set[3] = {7, 8, 9};
    EXPECT_EQ(t->CandidateSetSpecificLayer(Sec(1), set, 3), set + 3);
    KFCurveNode* l3 = t->LayerGet(3);
    ASSERT_NE(l3, nullptr);
    EXPECT_EQ(Member(l3, 2)->CandidateGet(), 9.0f);
    EXPECT_EQ(Member(l3, 2)->GetValue(), 9.0f);
    l3->CandidateGetWithTime(v, time);
    ExpectNear3(v, 7, 8, 9, 0);
    EXPECT_EQ(time, Sec(1));
    double ones[3] = {1, 1, 1}; // clearing one layer, or a layer and those above it
    t->CandidateSetSpecificLayer(Sec(1), ones, 0);
    t->CandidateClear(0, false);
    EXPECT_FALSE(Member(t, 0)->IsCandidate());
    EXPECT_TRUE(Member(l3, 0)->IsCandidate());
    t->CandidateClear(0, true);
    EXPECT_FALSE(Member(l3, 0)->IsCandidate());
    t->Destroy();
    t = Make(); // layer 1 must hold the total less the base layer; keying writes it there
    KeyAll(t, {0, 4});
    KFCurveNode* layer = t->CreateLayerAt(1);
    AddKey(*Member(layer, 0), Sec(0), 0.0f);
    double wanted[3] = {10, 20, 30};
    t->CandidateSet(Sec(2), wanted, 1);
    t->CandidateGetSpecificLayer(v, time, 1);
    ExpectNear3(v, 9, 18, 27);
    EXPECT_TRUE(Member(layer, 0)->IsCandidate());
    EXPECT_TRUE(t->CandidateKey(nullptr, 1, nullptr, false, U, AUTO));
    EXPECT_FALSE(t->IsCandidate());
    EXPECT_EQ(Member(layer, 0)->KeyGetCount(), 2);
    EXPECT_EQ(Member(layer, 1)->KeyGetCount(), 1);
    t->GeneralEvaluate(v, Sec(2));
    ExpectNear3(v, 10, 20, 30, 1e-3);
    t->Evaluate(v, Sec(2)); // the base layer is untouched
    ExpectNear3(v, 1, 2, 3, 1e-5);
    EXPECT_FALSE(t->CandidateKey(nullptr, 1)); // no candidate, no time: nothing keyed
    double more[3] = {0, 0, 0};                // with a mask only the selected members are keyed
    t->CandidateSet(Sec(3), more, 1);
    bool mask[3] = {false, true, false};
    EXPECT_TRUE(t->CandidateKey(nullptr, 1, mask));
    EXPECT_EQ(Member(layer, 1)->KeyGetCount(), 2);
    EXPECT_EQ(Member(layer, 2)->KeyGetCount(), 1);
    t->Destroy();
    KFCurveNode* r = Make(KDataTypeLclRotation, "R"); // euler rotations keyed in a layer under another recombine
    AddKey(*Member(r, 2), Sec(0), 40.0f);
    KFCurveNode* rl = r->CreateLayerAt(1);
    Member(r->CreateLayerAt(2), 0)->SetValue(25.0f);
    r->CandidateSet(Sec(1), wanted, 1);
    ASSERT_TRUE(r->CandidateKey(nullptr, 1));
    EXPECT_EQ(Member(rl, 0)->KeyGetCount(), 1);
    r->GeneralEvaluate(v, Sec(1));
    ExpectNear3(v, 10, 20, 30, 1e-3);
    r->Destroy();
}

TEST(KFCurveNodeCandidate, SavedStateRestoresValuesAndDropsNewLayers)
{
    KFCurveNode* t = Make();
    t->CreateLayerAt(1);
    double values[3] = {1, 2, 3};
    t->CandidateSet(Sec(1), values);
    KFCurveNodeCandidateState state;
    t->GetCandidateState(state);
    EXPECT_EQ(state.mTotalCandidateMethod, KFCURVENODE_CANDIDATE_SET);
    EXPECT_EQ(state.mSubStates.size(), 3u);
    ASSERT_NE(state.mLayerState, nullptr);
    EXPECT_EQ(state.mLayerState->mLayerID, 1);
    EXPECT_EQ(state.mSubStates[1]->mFCurveValue, 2.0);
    state.Dump();
    t->CandidateClear();
    Member(t, 1)->SetValue(50.0f);
    t->CreateLayerAt(2);
    t->SetCandidateState(state, true);
    EXPECT_TRUE(t->IsCandidate());
    EXPECT_EQ(t->LayerGet(2), nullptr);
    EXPECT_NE(t->LayerGet(1), nullptr);
    EXPECT_EQ(Member(t, 1)->GetValue(), 2.0f);
    double out[3];
    t->CandidateGet(out);
    ExpectNear3(out, 1, 2, 3, 0);
    t->GetCandidateState(state); // saving again replaces the old sub-states
    EXPECT_EQ(state.mSubStates.size(), 3u);
    t->Destroy();
}

TEST(KFCurveNodeKeys, KeyAddCountsAndIntervals)
{
    // One value per curve, the node's own first; keys are cubic auto.
    KFCurveNode* t = Make(KDataTypeLclTranslation, "T", true);
    double values[5] = {1, 2, 3, 4, 99}, read[4];
    EXPECT_EQ(t->KeyAdd(Sec(1), values), values + 4);
    EXPECT_EQ(t->KeyGetCount(), 4);
    EXPECT_EQ(Vec({t->FCurveGet()->KeyGetValue(0), Member(t, 2)->KeyGetValue(0)}), Vec({1, 4}));
    EXPECT_EQ(Member(t, 2)->KeyGetInterpolation(0) | Member(t, 2)->KeyGetTangeantMode(0), 0x108u); // cubic auto
    double defaults[4] = {5, 6, 7, 8};
    t->SetValue(defaults);
    EXPECT_EQ(t->GetValue(read), read + 4);
    EXPECT_EQ(read[3], 8.0);
    t->Destroy();
    t = Make(KDataTypeLclTranslation, "T", true);
    KTime start = Sec(10), stop = Sec(-10), spanStart, spanStop;
    EXPECT_EQ(t->GetFirstKeyTime(), KTIME_MINUS_INFINITE);
    EXPECT_EQ(t->GetLastKeyTime(), KTIME_INFINITE);
    EXPECT_FALSE(t->GetAnimationInterval(start, stop));
    EXPECT_EQ(start, Sec(10)); // left as they were
    t->GetTimeSpan(spanStart, spanStop);
    EXPECT_TRUE(spanStart == KTIME_INFINITE && spanStop == KTIME_MINUS_INFINITE);
    AddKey(*Member(t, 0), Sec(2), 1.0f);
    AddKey(*Member(t, 1), Sec(1), 1.0f);
    AddKey(*Member(t, 1), Sec(3), 1.0f);
    KFCurveNode* layer = t->CreateLayerAt(1);
    AddKey(*Member(layer, 2), Sec(-1), 1.0f);
    AddKey(*Member(layer, 0), Sec(5), 1.0f);
    EXPECT_EQ(t->KeyGetCount(false), 3);
    EXPECT_EQ(t->KeyGetCount(true), 5);
    EXPECT_EQ(t->KeyGetCountOnChild(0), 2);
    bool onlyX[3] = {true, false, false};
    EXPECT_EQ(Vec({t->GetFirstKeyTime().GetSecondDouble(), t->GetFirstKeyTime(nullptr, true).GetSecondDouble(),
                   t->GetLastKeyTime().GetSecondDouble(), t->GetLastKeyTime(nullptr, true).GetSecondDouble(),
                   t->GetFirstKeyTime(onlyX).GetSecondDouble()}),
              Vec({1, -1, 3, 5, 2}));
    KFCurveKey* key = nullptr;
    EXPECT_TRUE(t->KeyGetLast(key, onlyX));
    EXPECT_EQ(key, Member(t, 0)->KeyGetPtr(0));
    EXPECT_TRUE(t->KeyGetFirst(key, nullptr, true));
    EXPECT_EQ(key, Member(layer, 2)->KeyGetPtr(0));
    start = stop = Sec(1.5); // the interval only widens what is given
    EXPECT_TRUE(t->GetAnimationInterval(start, stop));
    EXPECT_TRUE(start == Sec(-1) && stop == Sec(5));
    start = Sec(-7);
    EXPECT_TRUE(t->GetAnimationInterval(start, stop));
    EXPECT_EQ(start, Sec(-7));
    t->GetTimeSpan(spanStart, spanStop);
    EXPECT_TRUE(spanStart == Sec(-1) && spanStop == Sec(5));
    t->Destroy();
}

TEST(KFCurveNodeKeys, IsKeyNeighboursAndDeletion)
{
    KFCurveNode* t = Make();
    KeyAll(t, {1});
    AddKey(*Member(t, 0), Sec(2), 0.0f);
    AddKey(*Member(t, 2), Sec(4), 0.0f);
    int count = -1;
    KTime one = Sec(1), two = Sec(2), three = Sec(3), near = Sec(2.5);
    bool onlyX[3] = {true, false, false}, onlyY[3] = {false, true, false}, none[3] = {false, false, false};
    EXPECT_EQ(t->IsKey(one, &count), 2); // 2: every asked curve has a key; 1: some; 0: none
    EXPECT_EQ(count, 3);
    EXPECT_EQ(t->IsKey(two, &count), 1);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(t->IsKey(three, &count), 0);
    EXPECT_EQ(t->IsKey(two, &count, onlyX), 2);
    EXPECT_EQ(t->IsKey(three, &count, none), 2); // no curve asked
    // Tolerances: a key half a second away counts with 0.5 s on that side.
    EXPECT_EQ(t->IsKey(near, &count, onlyX, 0.0, 0.5, 0.0), 2);
    EXPECT_EQ(t->IsKey(near, &count, onlyX, 0.0, 0.0, 0.5), 0);
    const struct
    {
        double from;
        KTime previous, next;
    } neighbours[] = {
        {1, KTIME_MINUS_INFINITE, Sec(2)}, {2, Sec(1), Sec(4)}, {2.5, Sec(2), Sec(4)}, {4, Sec(2), KTIME_INFINITE}};
    for (const auto& n : neighbours)
    {
        EXPECT_EQ(t->GetPrevKeyTime(Sec(n.from)), n.previous) << n.from;
        EXPECT_EQ(t->GetNextKeyTime(Sec(n.from)), n.next) << n.from;
    }
    EXPECT_EQ(t->GetNextKeyTime(Sec(1), onlyY), KTIME_INFINITE);
    t->Destroy();
    t = Make();
    KeyAll(t, {0, 1, 2, 3});
    double values[3] = {9, 9, 9};
    t->CandidateSet(Sec(1), values);
    bool skipY[3] = {true, false, true};
    EXPECT_TRUE(t->DeleteKey(one, skipY));
    EXPECT_FALSE(t->IsCandidate());
    EXPECT_EQ((std::vector<int>{Member(t, 0)->KeyGetCount(), Member(t, 1)->KeyGetCount()}), (std::vector<int>{3, 4}));
    KTime close = Sec(2.05); // within a tolerance of a tenth of a span
    EXPECT_FALSE(t->DeleteKey(close, nullptr, 0.0));
    EXPECT_TRUE(t->DeleteKey(close, nullptr, 0.1));
    EXPECT_EQ(Member(t, 1)->KeyGetCount(), 3);
    EXPECT_TRUE(t->Delete(Sec(0), Sec(3))); // keys strictly inside the span go
    EXPECT_EQ(Times(*Member(t, 1)), (std::vector<long long>{0, 3 * kTicksPerSecond}));
    t->Destroy();
}

TEST(KFCurveNodeKeys, ContinuousRotationAndOffsets)
{
    KFCurveNode* r = Make(KDataTypeLclRotation, "R");
    double first[3] = {350, 0, 0}, next[3] = {10, 0, 0}, plain[3] = {20, 0, 0};
    r->KeyAppend(Sec(0), first, true);
    EXPECT_EQ(r->KeyAppend(Sec(1), next, true), next + 3);
    r->KeyAppend(Sec(2), plain, false);
    EXPECT_EQ(Values(*Member(r, 0)), (std::vector<float>{350, 370, 20}));
    double out[3], later[3] = {-350, 0, 0};
    r->GetContinuousRotation(out, later, Sec(1.5));
    EXPECT_NEAR(out[0], 370.0, 1e-9);
    double offset[3], from[3] = {10, 0, 0}, to[3] = {370, 5, -700};
    EXPECT_FALSE(r->GetContinuousOffset(offset, from, to));
    ExpectNear3(offset, 360, 0, -720, 0);
    // The equivalent rotation (X + 180, 180 - Y, Z + 180) is the nearer one.
    double zero[3] = {0, 0, 0}, flipped[3] = {180, 180, 180};
    EXPECT_TRUE(r->GetContinuousOffset(offset, zero, flipped));
    ExpectNear3(offset, 180, 180, 180, 0);
    r->Destroy();
}

TEST(KFCurveNodeKeys, CopyAndReplaceOverSpans)
{
    KFCurveNode* source = Make(KDataTypeLclTranslation, "T", true);
    AddKey(*Member(source, 1), Sec(1), 5.0f);
    Member(source, 0)->SetValue(2.0f);
    AddKey(*Member(source->CreateLayerAt(2), 1), Sec(1), 7.0f);
    double values[4] = {1, 2, 3, 4};
    source->CandidateSet(Sec(1), values);
    KFCurveNode* whole = source->Copy(); // copy: everything, layers re-linked to the copy
    EXPECT_STREQ(whole->GetName(), "T");
    EXPECT_EQ(whole->GetDataType(), KDataTypeLclTranslation);
    EXPECT_EQ(Member(whole, 1)->KeyGetCount(), 1);
    EXPECT_TRUE(whole->IsCandidate());
    ASSERT_NE(whole->LayerGet(), nullptr);
    EXPECT_EQ(whole->LayerGet()->GetLayerID(), 2);
    EXPECT_EQ(whole->LayerGet()->ObjectLayerGet(), whole);
    EXPECT_EQ(Member(whole->LayerGet(), 1)->KeyGetValue(0), 7.0f);
    whole->Destroy();
    // A single layer over a finite span: no layers, no keys, the values.
    KFCurveNode* part = source->SingleLayerCopy(Sec(0), Sec(2));
    EXPECT_EQ(part->LayerGet(), nullptr);
    EXPECT_EQ(Member(part, 1)->KeyGetCount(), 0);
    EXPECT_EQ(Member(part, 0)->GetValue(), 2.0f);
    part->Destroy();
    // CopyFrom: only children present in both; layers not in the source go.
    KFCurveNode* copy = KFCurveNodeCreate("Copy");
    copy->FindOrCreate("X", false);
    copy->FindOrCreate("Y", false);
    copy->CreateLayerAt(1);
    copy->CopyFrom(source, false);
    EXPECT_EQ(copy->GetLayerType(), KFCL_ADD);
    EXPECT_EQ(copy->GetCount(), 2);
    ASSERT_NE(Member(copy, 1), nullptr);
    EXPECT_NE(Member(copy, 1), Member(source, 1));
    EXPECT_EQ(Member(copy, 1)->KeyGetValue(0), 5.0f);
    EXPECT_EQ(copy->LayerGet(1), nullptr);
    EXPECT_EQ(Member(copy->LayerGet(2), 1)->KeyGetValue(0), 7.0f);
    // With take-over the curves move; a source without layers removes the layers.
    KFCurveNode* taker = Make(KDataTypeLclTranslation, "T", true);
    KFCurve* sourceCurve = Member(source, 1);
    taker->CopyFrom(source, true);
    EXPECT_EQ(Member(taker, 1), sourceCurve);
    EXPECT_EQ(Member(source, 1), nullptr);
    EXPECT_EQ(source->FCurveGet(), nullptr);
    KFCurveNode* flat = Make();
    taker->LayerCopyFromRecursive(flat, false);
    EXPECT_EQ(taker->LayerGet(), nullptr);
    for (KFCurveNode* n : {flat, taker, copy, source})
        n->Destroy();
    KFCurveNode* t = Make(); // replace over a span: the span's keys give way to the source's
    KFCurveNode* patch = t->CloneTemplate(false, false, true, -1);
    AddKeys(*Member(t, 0), {0, 0, 0, 0, 0});
    AddKey(*Member(patch, 0), Sec(2), 8.0f);
    t->Replace(patch, Sec(1), Sec(3), true);
    EXPECT_EQ(Times(*Member(t, 0)), (std::vector<long long>{0, 2 * kTicksPerSecond, 4 * kTicksPerSecond}));
    EXPECT_EQ(Member(t, 0)->KeyGetValue(1), 8.0f);
    patch->Destroy();
    t->Destroy();
    // Euler: the span is kept next to the node's rotation (370, 390 become 10, 30).
    KFCurveNode* r = Make(KDataTypeLclRotation, "R");
    KFCurveNode* turn = r->CloneTemplate(false, false, true, -1);
    AddKeys(*Member(r, 0), {0, 10, 20, 30});
    AddKey(*Member(turn, 0), Sec(1), 370.0f);
    AddKey(*Member(turn, 0), Sec(2), 390.0f);
    r->Replace(turn, Sec(1), Sec(2));
    for (double s : {1.0, 2.0, 3.0})
        EXPECT_NEAR(Member(r, 0)->Evaluate(Sec(s)), s == 1.0 ? 10.0 : 30.0, 1e-4) << s;
    turn->Destroy();
    r->Destroy();
}

// A node of three members of three values each, given the rotation layer
// type: nine values, not three angles. Keying it continuously and asking for
// its continuous rotation take all nine values as they are.
TEST(KFCurveNodeKeys, ContinuousRotationOfANodeOfNineValues)
{
    KFCurveNode* trs = KFCurveNodeCreate("Transform");
    trs->Add(Make(KDataTypeLclTranslation, "T"));
    trs->Add(Make(KDataTypeLclRotation, "R"));
    trs->Add(Make(KDataTypeLclScaling, "S"));
    trs->SetLayerType(KFCL_EULER_XYZ, nullptr);
    ASSERT_EQ(trs->GetValueCount(), 9);
    double first[9] = {1, 2, 3, 350, 0, 0, 7, 8, 9}, next[9] = {11, 12, 13, 10, 0, 0, 17, 18, 19};
    trs->KeyAppend(Sec(0), first, true);
    EXPECT_EQ(trs->KeyAppend(Sec(1), next, true), next + 9);
    EXPECT_EQ(Values(*Member(trs->Get(0), 2)), (std::vector<float>{3, 13}));
    EXPECT_EQ(Values(*Member(trs->Get(1), 0)), (std::vector<float>{350, 10}));
    EXPECT_EQ(Values(*Member(trs->Get(2), 0)), (std::vector<float>{7, 17}));
    double out[9] = {};
    EXPECT_EQ(trs->GetContinuousRotation(out, next, Sec(2)), out + 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(out[i], next[i]) << i;
    trs->Destroy();
}
