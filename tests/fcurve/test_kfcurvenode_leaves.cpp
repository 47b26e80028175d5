// Curve node values one per leaf, and the total candidate of a node one of
// whose members is a quaternion: each value stays on the member it belongs
// to, whatever curves a layer lacks or however a quaternion is shown.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fcurve/fcurve_test_util.h"
#include "fcurve/kfcurvenode.h"

using namespace fctest;

namespace {

const double kHalf = std::sqrt(0.5);

// "Transform" holding T (1, 2, 3), R as the quaternion of a 90 degree turn
// about Z, and S (4, 5, 6).
KFCurveNode* TransformWithQuaternion()
{
    KFCurveNode* transform = KFCurveNodeCreate("Transform");
    transform->Add(MemberNode("T", KFCL_ADD, {1, 2, 3}));
    transform->Add(MemberNode("R", KFCL_QUAT, {0, 0, kHalf, kHalf}));
    transform->Add(MemberNode("S", KFCL_MULT, {4, 5, 6}));
    return transform;
}

} // namespace

// A total candidate, set or cached by evaluation, keeps the quaternion
// member as its four values and shows it as three angles: the values after
// it stay where they belong.
TEST(CurveNodeLeaves, QuaternionMemberCandidateKeepsTheValuesAfterIt)
{
    const std::vector<double> shown = {1, 2, 3, 0, 0, 90, 4, 5, 6};
    const std::vector<double> kept = {1, 2, 3, 0, 0, kHalf, kHalf, 4, 5, 6};
    for (bool set : {true, false})
    {
        SCOPED_TRACE(set ? "set" : "evaluated");
        KFCurveNode* transform = TransformWithQuaternion();
        double values[16] = {0};
        if (set)
        {
            std::vector<double> input = shown; // exactly what evaluation shows
            transform->CandidateSet(Sec(1), input.data());
        }
        else
        {
            EXPECT_EQ(transform->CandidateEvaluate(values, Sec(1)) - values, 9);
        }
        // Read back from the candidate.
        std::fill(values, values + 16, -1.0);
        EXPECT_EQ(transform->CandidateEvaluate(values, Sec(1)) - values, 9);
        ExpectNearN(values, shown, 1e-5);
        KTime time;
        EXPECT_EQ(transform->CandidateGetTotalCandidate(values, time) - values, 10);
        ExpectNearN(values, kept, 1e-6);
        // One value per leaf: the quaternion's four members.
        std::fill(values, values + 16, -1.0);
        EXPECT_EQ(transform->EvaluateLeaves(values, Sec(1), nullptr, true) - values, 10);
        ExpectNearN(values, kept, 1e-6);
        transform->Destroy();
    }
}

// Members keyed from their first value at 0 s to their second at 1 s in the
// base layer and in layer 1, one member without a curve in one of them; the
// leaves enter holding 7 (what a member without a curve in the base shows).
TEST(CurveNodeLeaves, EachValueOnItsOwnLeaf)
{
    struct Case
    {
        const char* name;
        int layerType;
        int missing;      // the member without a curve
        bool inLayer;     // in layer 1, else in the base layer
        double atHalf[3]; // worked out by hand
    } const cases[] = {
        // Base (2, 4, 6) at 0.5 s; layer 1 adds (1, 2, 3) or multiplies by them.
        {"added, base X", KFCL_ADD, 0, false, {7 + 1, 6, 9}},
        {"added, base Y", KFCL_ADD, 1, false, {3, 7 + 2, 9}},
        {"added, base Z", KFCL_ADD, 2, false, {3, 6, 7 + 3}},
        {"added, layer X", KFCL_ADD, 0, true, {2, 6, 9}},
        {"added, layer Y", KFCL_ADD, 1, true, {3, 4, 9}},
        {"added, layer Z", KFCL_ADD, 2, true, {3, 6, 6}},
        {"multiplied, base X", KFCL_MULT, 0, false, {7, 8, 18}},
        {"multiplied, layer Y", KFCL_MULT, 1, true, {2, 4, 18}},
        {"multiplied, layer Z", KFCL_MULT, 2, true, {2, 8, 6}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        KFCurveNode* node = MemberNode("N", c.layerType);
        node->SetMultiLayer(true);
        KeyMembers(node, {{0, 1, 2, 3}, {1, 3, 6, 9}});
        KFCurveNode* layer = node->LayerCreate(1);
        ASSERT_NE(layer, nullptr);
        KeyMembers(layer, {{0, 1, 2, 3}, {1, 1, 2, 3}});
        (c.inLayer ? layer : node)->Get(c.missing)->FCurveSet(nullptr, true);
        ASSERT_EQ(node->GetLeafCount(), 3);
        double leaves[3] = {7, 7, 7};
        EXPECT_EQ(node->EvaluateLeaves(leaves, Sec(0.5)) - leaves, 3);
        ExpectNearN(leaves, {c.atHalf[0], c.atHalf[1], c.atHalf[2]}, 1e-5);
        // Evaluation writes one value per curve of the base layer: those of
        // the members with one, each with its own layer values combined.
        std::vector<double> packed;
        for (int i = 0; i < 3; ++i)
            if (node->Get(i)->FCurveGet())
                packed.push_back(c.atHalf[i]);
        double values[8] = {0};
        EXPECT_EQ(node->GeneralEvaluate(values, Sec(0.5)) - values, static_cast<long>(packed.size()));
        ExpectNearN(values, packed, 1e-5);
        node->Destroy();
    }
}

// A rotation layer keyed about one axis, one of its other members without a
// curve: the base turns 20 degrees about that axis at 0.5 s, the layer 5
// more, and the member the layer lacks turns nothing.
TEST(CurveNodeLeaves, RotationLayerWithoutAMemberTurnsByTheOthers)
{
    for (int axis = 0; axis < 3; ++axis)
    {
        const int missing = (axis + 1) % 3;
        SCOPED_TRACE(axis);
        KFCurveNode* node = MemberNode("R", KFCL_EULER_XYZ);
        node->SetMultiLayer(true);
        AddKeys(*Member(node, axis), {10, 30});
        KFCurveNode* layer = node->LayerCreate(1);
        ASSERT_NE(layer, nullptr);
        AddKeys(*Member(layer, axis), {0, 10});
        layer->Get(missing)->FCurveSet(nullptr, true);
        std::vector<double> expected = {0, 0, 0};
        expected[static_cast<size_t>(axis)] = 25;
        double values[8] = {0};
        EXPECT_EQ(node->GeneralEvaluate(values, Sec(0.5)) - values, 3);
        ExpectNearN(values, expected, 1e-4);
        double leaves[3] = {0, 0, 0};
        node->EvaluateLeaves(leaves, Sec(0.5));
        ExpectNearN(leaves, expected, 1e-4);
        node->Destroy();
    }
}
