#include "fcurve/kfcurvefilter_unroll.h"

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const long long kSecond = 46186158000LL;
const char* const kNotRotation = "Unroll Filter, Works only on rotation CurveNodes.";

struct Key3
{
    double seconds;
    double x, y, z;
};

void AddKey(KFCurve* curve, long long ticks, double value)
{
    KFCurveKey key;
    key.Init();
    key.Set(KTime(ticks), static_cast<float>(value), KFCURVE_INTERPOLATION_LINEAR);
    curve->KeyAdd(KTime(ticks), key);
}

// An Euler rotation node with X, Y, Z curves holding the given key triples.
KFCurveNode* RotationNode(const std::vector<Key3>& keys, int order = 0)
{
    KFCurveNode* node = new KFCurveNode("R", "R", nullptr, KFCL_NOLAYER, 0);
    node->SetLayerType(KFCL_EULER_XYZ);
    node->SetRotationOrder(order);
    const char* const names[3] = {"X", "Y", "Z"};
    for (int i = 0; i < 3; ++i)
    {
        KFCurveNode* child = new KFCurveNode(names[i], names[i], nullptr, KFCL_NOLAYER, 0);
        KFCurve* curve = new KFCurve;
        for (const Key3& k : keys)
            AddKey(curve, static_cast<long long>(k.seconds * kSecond), i == 0 ? k.x : i == 1 ? k.y : k.z);
        child->FCurveSet(curve, false);
        node->Add(child);
    }
    return node;
}

float Value(KFCurveNode* node, int child, int key)
{
    return node->Get(child)->FCurveGet()->KeyGetValue(key);
}

}  // namespace

TEST(KFCurveUnroll, NameAndErrors)
{
    KFCurveFilterUnroll filter;
    EXPECT_STREQ("Unroll Filter", filter.GetName());
    EXPECT_EQ(KTIME_MINUS_INFINITE, filter.GetStartTime());
    EXPECT_EQ(KTIME_INFINITE, filter.GetStopTime());

    // Not an Euler node.
    KFCurveNode* node = RotationNode({{0, 0, 0, 170}, {1, 0, 0, -170}});
    node->SetLayerType(KFCL_ADD);
    EXPECT_FALSE(filter.Apply(*node, true));
    EXPECT_EQ(2, filter.GetLastErrorID());
    EXPECT_STREQ(kNotRotation, filter.GetLastErrorString());
    EXPECT_FLOAT_EQ(-170.0f, Value(node, 2, 1));
    node->Destroy();

    // Euler node with two children, and with four.
    for (int children : {2, 4})
    {
        KFCurveNode* odd = new KFCurveNode("R", "R", nullptr, KFCL_EULER_XYZ, 0);
        for (int i = 0; i < children; ++i)
        {
            KFCurveNode* child = new KFCurveNode("C", "C", nullptr, KFCL_NOLAYER, 0);
            KFCurve* curve = new KFCurve;
            AddKey(curve, 0, 350.0);
            child->FCurveSet(curve, false);
            odd->Add(child);
        }
        ASSERT_EQ(KFCL_EULER_XYZ, odd->GetLayerType());
        filter.GetError().ClearLastError();
        EXPECT_FALSE(filter.Apply(*odd, true));
        EXPECT_EQ(2, filter.GetLastErrorID());
        EXPECT_STREQ(kNotRotation, filter.GetLastErrorString());
        EXPECT_FLOAT_EQ(350.0f, Value(odd, 0, 0));
        odd->Destroy();
    }

    // A single curve is refused, and so is an array of two.
    KFCurve single;
    filter.GetError().ClearLastError();
    EXPECT_FALSE(filter.Apply(single));
    EXPECT_EQ(2, filter.GetLastErrorID());
    EXPECT_STREQ(kNotRotation, filter.GetLastErrorString());
    KFCurve* two[2] = {&single, &single};
    filter.GetError().ClearLastError();
    EXPECT_FALSE(filter.Apply(two, 2));
    EXPECT_STREQ(kNotRotation, filter.GetLastErrorString());

    // Three children without keys.
    KFCurveNode* empty = RotationNode({});
    EXPECT_FALSE(filter.Apply(*empty, true));
    EXPECT_EQ(0, filter.GetLastErrorID());
    EXPECT_STREQ("Unroll Filter, No key to be filtered.", filter.GetLastErrorString());
    empty->Destroy();

    // Three Euler children, one of them without a curve.
    KFCurveNode* holed = RotationNode({{0, 0, 0, 10}});
    holed->Get(1)->FCurveSet(nullptr, true);
    EXPECT_FALSE(filter.Apply(*holed, true));
    EXPECT_EQ(2, filter.GetLastErrorID());
    holed->Destroy();
}

TEST(KFCurveUnroll, NearestAngles)
{
    KFCurveFilterUnroll filter;
    KFCurveNode* node = RotationNode({{0, 0, 0, 170}, {1, 0, 0, -170}});
    EXPECT_TRUE(filter.Apply(*node, true));
    EXPECT_FLOAT_EQ(170.0f, Value(node, 2, 0));
    EXPECT_FLOAT_EQ(190.0f, Value(node, 2, 1));
    EXPECT_FLOAT_EQ(0.0f, Value(node, 0, 1));
    node->Destroy();

    // The curve's first key is compared with (0, 0, 0).
    node = RotationNode({{0, 0, 0, 350}, {1, 0, 0, 340}});
    EXPECT_TRUE(filter.Apply(*node, true));
    EXPECT_FLOAT_EQ(-10.0f, Value(node, 2, 0));
    EXPECT_FLOAT_EQ(-20.0f, Value(node, 2, 1));
    node->Destroy();

    // A run of keys keeps turning the same way.
    node = RotationNode({{0, 0, 0, 0}, {1, 0, 0, 120}, {2, 0, 0, -120}, {3, 0, 0, 0}, {4, 0, 0, 120}});
    EXPECT_TRUE(filter.Apply(*node, true));
    const float expected[5] = {0, 120, 240, 360, 480};
    for (int k = 0; k < 5; ++k)
        EXPECT_FLOAT_EQ(expected[k], Value(node, 2, k)) << k;
    node->Destroy();
}

TEST(KFCurveUnroll, ThreeCurveArray)
{
    KFCurve x, y, z;
    AddKey(&x, 0, 0.0);
    AddKey(&x, kSecond, 0.0);
    AddKey(&y, 0, 0.0);
    AddKey(&y, kSecond, 0.0);
    AddKey(&z, 0, 170.0);
    AddKey(&z, kSecond, -170.0);
    KFCurve* curves[3] = {&x, &y, &z};
    KFCurveFilterUnroll filter;
    EXPECT_TRUE(filter.Apply(curves, 3));
    EXPECT_FLOAT_EQ(190.0f, z.KeyGetValue(1));
    // The curves are handed back, still alive and owned by the caller.
    EXPECT_EQ(2, x.KeyGetCount());
}

TEST(KFCurveUnroll, SphericalOrderOnlySynchronises)
{
    KFCurveNode* node = RotationNode({{0, 0, 0, 350}, {1, 0, 0, 10}}, 12);
    // Y gets an extra key at 0.5 s: the others must gain one there too.
    AddKey(node->Get(1)->FCurveGet(), kSecond / 2, 5.0);
    KFCurveFilterUnroll filter;
    EXPECT_TRUE(filter.Apply(*node, true));
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(3, node->Get(c)->FCurveGet()->KeyGetCount()) << c;
    EXPECT_FLOAT_EQ(350.0f, Value(node, 2, 0));
    EXPECT_FLOAT_EQ(180.0f, Value(node, 2, 1));
    EXPECT_FLOAT_EQ(10.0f, Value(node, 2, 2));
    node->Destroy();
}

TEST(KFCurveUnroll, SingleKeyRangeWritesNothing)
{
    KFCurveNode* node = RotationNode({{0, 0, 0, 0}, {1, 0, 0, 350}, {2, 0, 0, 0}});
    // Y lacks the key at 1 s: a write-back would synchronise it.
    node->Get(1)->FCurveGet()->KeyRemove(1);
    KFCurveFilterUnroll filter;
    KTime start(kSecond), stop(kSecond + kSecond / 2);
    filter.SetStartTime(start);
    filter.SetStopTime(stop);
    EXPECT_TRUE(filter.Apply(*node, true));
    EXPECT_EQ(2, node->Get(1)->FCurveGet()->KeyGetCount());
    EXPECT_FLOAT_EQ(350.0f, Value(node, 2, 1));
    node->Destroy();
}

TEST(KFCurveUnroll, PathTest)
{
    // Without the path test each key follows the previous one.
    KFCurveFilterUnroll plain;
    KFCurveNode* node = RotationNode({{0, 0, 0, 0}, {1, 0, 0, 170}, {2, 0, 0, -20}});
    EXPECT_TRUE(plain.Apply(*node, true));
    EXPECT_FLOAT_EQ(340.0f, Value(node, 2, 2));
    node->Destroy();

    // A path test whose tolerance is never met keeps (0, 0, 0) as reference.
    KFCurveFilterUnroll strict;
    strict.SetTestForPath(true);
    strict.SetQualityTolerance(1e9);
    node = RotationNode({{0, 0, 0, 0}, {1, 0, 0, 170}, {2, 0, 0, -20}});
    EXPECT_TRUE(strict.Apply(*node, true));
    EXPECT_FLOAT_EQ(170.0f, Value(node, 2, 1));
    EXPECT_FLOAT_EQ(-20.0f, Value(node, 2, 2));
    node->Destroy();

    // The default tolerance accepts a plain turn about one axis (factor 1).
    KFCurveFilterUnroll loose;
    loose.SetTestForPath(true);
    node = RotationNode({{0, 0, 0, 0}, {1, 0, 0, 170}, {2, 0, 0, -20}});
    EXPECT_TRUE(loose.Apply(*node, true));
    EXPECT_FLOAT_EQ(340.0f, Value(node, 2, 2));
    node->Destroy();
}

TEST(KFCurveUnroll, InterpolationQualityFactor)
{
    KFCurveFilterUnroll filter;
    KgeRVector a(10.0, 20.0, 30.0), b(10.0, 20.0, 30.0);
    EXPECT_DOUBLE_EQ(100.0, filter.InterpolationQualityFactor(a, b));
    KgeRVector zero(0.0, 0.0, 0.0), quarter(0.0, 0.0, 90.0);
    EXPECT_NEAR(1.0, filter.InterpolationQualityFactor(zero, quarter), 1e-9);
    // A triple equal to the identity rotation but far away: factor 0.
    KgeRVector turned(180.0, 180.0, 180.0);
    EXPECT_NEAR(0.0, filter.InterpolationQualityFactor(zero, turned), 1e-6);
}
