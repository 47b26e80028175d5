// Curve-node key queries and edits across members, rotation continuity, copy
// and replace over spans.

#include <gtest/gtest.h>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kpropertydatatype.h"

namespace {

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

// A translation node with its own curve and X, Y, Z.
KFCurveNode* MakeNode()
{
    KFCurveNode* t = FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "T");
    t->CreateFCurve();
    t->FCurveSet(KFCurveCreate());
    return t;
}

TEST(KFCurveNodeKeys, KeyAddTakesOneValuePerCurve)
{
    KFCurveNode* t = MakeNode();
    double values[5] = {1, 2, 3, 4, 99};
    EXPECT_EQ(t->KeyAdd(Seconds(1), values), values + 4);
    EXPECT_EQ(t->KeyGetCount(), 4);
    KFCurve* z = t->Get(2)->FCurveGet();
    ASSERT_EQ(z->KeyGetCount(), 1);
    EXPECT_EQ(z->KeyGetValue(0), 4.0f);
    EXPECT_EQ(z->KeyGetInterpolation(0), static_cast<unsigned int>(KFCURVE_INTERPOLATION_CUBIC));
    EXPECT_EQ(z->KeyGetTangeantMode(0), static_cast<unsigned int>(KFCURVE_TANGEANT_AUTO));
    EXPECT_FLOAT_EQ(z->KeyGetRightTangeantWeight(0), 0.33333334f);
    EXPECT_EQ(t->FCurveGet()->KeyGetValue(0), 1.0f);

    double defaults[4] = {5, 6, 7, 8}, read[4];
    EXPECT_EQ(t->SetValue(defaults), defaults + 4);
    EXPECT_EQ(t->GetValue(read), read + 4);
    EXPECT_EQ(read[3], 8.0);
    t->Destroy();
}

TEST(KFCurveNodeKeys, CountsFirstLastAndIntervals)
{
    KFCurveNode* t = MakeNode();
    KTime start = Seconds(10), stop = Seconds(-10);
    EXPECT_EQ(t->GetFirstKeyTime(), KTIME_MINUS_INFINITE);
    EXPECT_EQ(t->GetLastKeyTime(), KTIME_INFINITE);
    EXPECT_FALSE(t->GetAnimationInterval(start, stop));
    EXPECT_EQ(start, Seconds(10));
    EXPECT_EQ(stop, Seconds(-10));
    KTime spanStart, spanStop;
    t->GetTimeSpan(spanStart, spanStop);
    EXPECT_EQ(spanStart, KTIME_INFINITE);
    EXPECT_EQ(spanStop, KTIME_MINUS_INFINITE);

    AddKey(t->Get(0)->FCurveGet(), 2.0, 1.0f);
    AddKey(t->Get(1)->FCurveGet(), 1.0, 1.0f);
    AddKey(t->Get(1)->FCurveGet(), 3.0, 1.0f);
    KFCurveNode* layer = t->CreateLayerAt(1);
    AddKey(layer->Get(2)->FCurveGet(), -1.0, 1.0f);
    AddKey(layer->Get(0)->FCurveGet(), 5.0, 1.0f);

    EXPECT_EQ(t->KeyGetCount(false), 3);
    EXPECT_EQ(t->KeyGetCount(true), 5);
    EXPECT_EQ(t->KeyGetCountOnChild(0), 2);
    EXPECT_EQ(t->KeyGetCountOnChild(2), 1);
    EXPECT_EQ(t->GetFirstKeyTime(), Seconds(1));
    EXPECT_EQ(t->GetFirstKeyTime(nullptr, true), Seconds(-1));
    EXPECT_EQ(t->GetLastKeyTime(), Seconds(3));
    EXPECT_EQ(t->GetLastKeyTime(nullptr, true), Seconds(5));
    bool onlyX[3] = {true, false, false};
    EXPECT_EQ(t->GetFirstKeyTime(onlyX), Seconds(2));
    KFCurveKey* key = nullptr;
    EXPECT_TRUE(t->KeyGetLast(key, onlyX));
    EXPECT_EQ(key, t->Get(0)->FCurveGet()->KeyGetPtr(0));

    start = Seconds(1.5);
    stop = Seconds(1.5);
    EXPECT_TRUE(t->GetAnimationInterval(start, stop));
    EXPECT_EQ(start, Seconds(-1));
    EXPECT_EQ(stop, Seconds(5));
    start = Seconds(-7);
    EXPECT_TRUE(t->GetAnimationInterval(start, stop));
    EXPECT_EQ(start, Seconds(-7));
    t->GetTimeSpan(spanStart, spanStop);
    EXPECT_EQ(spanStart, Seconds(-1));
    EXPECT_EQ(spanStop, Seconds(5));
    t->Destroy();
}

TEST(KFCurveNodeKeys, IsKeyAndNeighbouringKeyTimes)
{
    KFCurveNode* t = FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "T");
    t->CreateFCurve();
    for (int i = 0; i < 3; ++i)
        AddKey(t->Get(i)->FCurveGet(), 1.0, 0.0f);
    AddKey(t->Get(0)->FCurveGet(), 2.0, 0.0f);
    AddKey(t->Get(2)->FCurveGet(), 4.0, 0.0f);
    int count = -1;
    KTime one = Seconds(1), two = Seconds(2), three = Seconds(3);
    EXPECT_EQ(t->IsKey(one, &count), 2);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(t->IsKey(two, &count), 1);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(t->IsKey(three, &count), 0);
    bool onlyX[3] = {true, false, false};
    EXPECT_EQ(t->IsKey(two, &count, onlyX), 2);
    bool none[3] = {false, false, false};
    EXPECT_EQ(t->IsKey(three, &count, none), 2); // no curve asked
    // Tolerances: a key half a second away counts with 0.5 s on that side.
    KTime near = Seconds(2.5);
    EXPECT_EQ(t->IsKey(near, &count, onlyX, 0.0, 0.5, 0.0), 2);
    EXPECT_EQ(t->IsKey(near, &count, onlyX, 0.0, 0.0, 0.5), 0);

    EXPECT_EQ(t->GetPrevKeyTime(Seconds(2)), Seconds(1));
    EXPECT_EQ(t->GetPrevKeyTime(Seconds(3)), Seconds(2));
    EXPECT_EQ(t->GetPrevKeyTime(Seconds(1)), KTIME_MINUS_INFINITE);
    EXPECT_EQ(t->GetNextKeyTime(Seconds(1)), Seconds(2));
    EXPECT_EQ(t->GetNextKeyTime(Seconds(2.5)), Seconds(4));
    EXPECT_EQ(t->GetNextKeyTime(Seconds(4)), KTIME_INFINITE);
    bool onlyY[3] = {false, true, false};
    EXPECT_EQ(t->GetNextKeyTime(Seconds(1), onlyY), KTIME_INFINITE);
    t->Destroy();
}

TEST(KFCurveNodeKeys, DeleteKeysAndSpans)
{
    KFCurveNode* t = FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "T");
    t->CreateFCurve();
    for (int i = 0; i < 3; ++i)
        for (int s = 0; s < 4; ++s)
            AddKey(t->Get(i)->FCurveGet(), s, static_cast<float>(s));
    double values[3] = {9, 9, 9};
    t->CandidateSet(Seconds(1), values);
    KTime when = Seconds(1);
    bool skipY[3] = {true, false, true};
    EXPECT_TRUE(t->DeleteKey(when, skipY));
    EXPECT_FALSE(t->IsCandidate());
    EXPECT_EQ(t->Get(0)->FCurveGet()->KeyGetCount(), 3);
    EXPECT_EQ(t->Get(1)->FCurveGet()->KeyGetCount(), 4);
    // Within a tolerance of a tenth of a span.
    KTime close = Seconds(2.05);
    EXPECT_FALSE(t->DeleteKey(close, nullptr, 0.0));
    EXPECT_TRUE(t->DeleteKey(close, nullptr, 0.1));
    EXPECT_EQ(t->Get(1)->FCurveGet()->KeyGetCount(), 3);
    // Keys strictly inside the span go.
    EXPECT_TRUE(t->Delete(Seconds(0), Seconds(3)));
    EXPECT_EQ(t->Get(1)->FCurveGet()->KeyGetCount(), 2);
    t->Destroy();
}

TEST(KFCurveNodeKeys, ContinuousRotationAndOffsets)
{
    KFCurveNode* r = FCurveNodeCreateFromDataType(KDataTypeLclRotation, "R");
    r->CreateFCurve();
    double first[3] = {350, 0, 0};
    r->KeyAppend(Seconds(0), first, true);
    double next[3] = {10, 0, 0};
    EXPECT_EQ(r->KeyAppend(Seconds(1), next, true), next + 3);
    EXPECT_EQ(r->Get(0)->FCurveGet()->KeyGetValue(1), 370.0f);
    double plain[3] = {20, 0, 0};
    r->KeyAppend(Seconds(2), plain, false);
    EXPECT_EQ(r->Get(0)->FCurveGet()->KeyGetValue(2), 20.0f);

    double out[3];
    double later[3] = {-350, 0, 0};
    r->GetContinuousRotation(out, later, Seconds(1.5));
    EXPECT_NEAR(out[0], 370.0, 1e-9);

    double offset[3];
    double from[3] = {10, 0, 0}, to[3] = {370, 5, -700};
    EXPECT_FALSE(r->GetContinuousOffset(offset, from, to));
    EXPECT_EQ(offset[0], 360.0);
    EXPECT_EQ(offset[1], 0.0);
    EXPECT_EQ(offset[2], -720.0);
    // The equivalent rotation (X + 180, 180 - Y, Z + 180) is the nearer one.
    double zero[3] = {0, 0, 0}, flipped[3] = {180, 180, 180};
    EXPECT_TRUE(r->GetContinuousOffset(offset, zero, flipped));
    EXPECT_EQ(offset[0], 180.0);
    EXPECT_EQ(offset[1], 180.0);
    EXPECT_EQ(offset[2], 180.0);
    r->Destroy();
}

TEST(KFCurveNodeKeys, CopyFromWithAndWithoutTakeOver)
{
    KFCurveNode* source = MakeNode();
    AddKey(source->Get(1)->FCurveGet(), 1.0, 5.0f);
    KFCurveNode* sourceLayer = source->CreateLayerAt(2);
    AddKey(sourceLayer->Get(1)->FCurveGet(), 1.0, 7.0f);

    KFCurveNode* copy = KFCurveNodeCreate("Copy");
    copy->FindOrCreate("X", false);
    copy->FindOrCreate("Y", false);
    copy->CreateLayerAt(1); // not in the source: goes
    copy->CopyFrom(source, false);
    EXPECT_EQ(copy->GetLayerType(), KFCL_ADD);
    ASSERT_NE(copy->Get(1)->FCurveGet(), nullptr);
    EXPECT_NE(copy->Get(1)->FCurveGet(), source->Get(1)->FCurveGet());
    EXPECT_EQ(copy->Get(1)->FCurveGet()->KeyGetValue(0), 5.0f);
    EXPECT_EQ(copy->GetCount(), 2); // only children present in both
    ASSERT_NE(copy->LayerGet(), nullptr);
    EXPECT_EQ(copy->LayerGet()->GetLayerID(), 2);
    EXPECT_EQ(copy->LayerGet(1), nullptr);
    EXPECT_EQ(copy->LayerGet()->Get(1)->FCurveGet()->KeyGetValue(0), 7.0f);

    KFCurveNode* taker = MakeNode();
    KFCurve* sourceCurve = source->Get(1)->FCurveGet();
    taker->CopyFrom(source, true);
    EXPECT_EQ(taker->Get(1)->FCurveGet(), sourceCurve);
    EXPECT_EQ(source->Get(1)->FCurveGet(), nullptr);
    EXPECT_EQ(source->FCurveGet(), nullptr);

    // A source without layers removes the layers.
    KFCurveNode* flat = MakeNode();
    taker->LayerCopyFromRecursive(flat, false);
    EXPECT_EQ(taker->LayerGet(), nullptr);
    flat->Destroy();
    taker->Destroy();
    copy->Destroy();
    source->Destroy();
}

TEST(KFCurveNodeKeys, CopyOverSpans)
{
    KFCurveNode* t = MakeNode();
    AddKey(t->Get(0)->FCurveGet(), 1.0, 5.0f);
    t->Get(0)->FCurveGet()->SetValue(2.0f);
    KFCurveNode* layer = t->CreateLayerAt(3);
    AddKey(layer->Get(0)->FCurveGet(), 1.0, 6.0f);
    double values[4] = {1, 2, 3, 4};
    t->CandidateSet(Seconds(1), values);

    KFCurveNode* whole = t->Copy();
    EXPECT_STREQ(whole->GetName(), "T");
    EXPECT_EQ(whole->GetDataType(), KDataTypeLclTranslation);
    EXPECT_EQ(whole->Get(0)->FCurveGet()->KeyGetCount(), 1);
    EXPECT_TRUE(whole->IsCandidate());
    ASSERT_NE(whole->LayerGet(), nullptr);
    EXPECT_EQ(whole->LayerGet()->GetLayerID(), 3);
    EXPECT_EQ(whole->LayerGet()->ObjectLayerGet(), whole);
    EXPECT_EQ(whole->LayerGet()->Get(0)->FCurveGet()->KeyGetValue(0), 6.0f);

    KFCurveNode* part = t->SingleLayerCopy(Seconds(0), Seconds(2));
    EXPECT_EQ(part->LayerGet(), nullptr);
    EXPECT_EQ(part->Get(0)->FCurveGet()->KeyGetCount(), 0); // a finite span copies no keys
    EXPECT_EQ(part->Get(0)->FCurveGet()->GetValue(), 2.0f);
    part->Destroy();
    whole->Destroy();
    t->Destroy();
}

TEST(KFCurveNodeKeys, ReplaceOverASpan)
{
    KFCurveNode* t = FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "T");
    t->CreateFCurve();
    KFCurveNode* source = t->CloneTemplate(false, false, true, -1);
    for (int s = 0; s < 5; ++s)
        AddKey(t->Get(0)->FCurveGet(), s, 0.0f);
    AddKey(source->Get(0)->FCurveGet(), 2.0, 8.0f);
    t->Replace(source, Seconds(1), Seconds(3), true);
    KFCurve* x = t->Get(0)->FCurveGet();
    ASSERT_EQ(x->KeyGetCount(), 3);
    EXPECT_EQ(x->KeyGetTime(1), Seconds(2));
    EXPECT_EQ(x->KeyGetValue(1), 8.0f);
    source->Destroy();
    t->Destroy();
}

TEST(KFCurveNodeKeys, EulerReplaceKeepsTheSpanNextToTheNodeRotation)
{
    KFCurveNode* r = FCurveNodeCreateFromDataType(KDataTypeLclRotation, "R");
    r->CreateFCurve();
    KFCurveNode* source = r->CloneTemplate(false, false, true, -1);
    for (int s = 0; s < 4; ++s)
        AddKey(r->Get(0)->FCurveGet(), s, 10.0f * s);
    AddKey(source->Get(0)->FCurveGet(), 1.0, 370.0f);
    AddKey(source->Get(0)->FCurveGet(), 2.0, 390.0f);
    r->Replace(source, Seconds(1), Seconds(2));
    KFCurve* x = r->Get(0)->FCurveGet();
    EXPECT_NEAR(x->Evaluate(Seconds(1)), 10.0, 1e-4);
    EXPECT_NEAR(x->Evaluate(Seconds(2)), 30.0, 1e-4);
    EXPECT_NEAR(x->Evaluate(Seconds(3)), 30.0, 1e-4);
    source->Destroy();
    r->Destroy();
}

} // namespace
