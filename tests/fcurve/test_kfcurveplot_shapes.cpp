// Plotting and solving in layers curve nodes read from the native file in shapes the layer arithmetic meets only in
// files: members that hold no curves, members nested a level deeper, layers whose members differ from the base's,
// and a member whose own layer chain holds the plotted layer in another shape. Every plot and solve must stay within
// the node's values; values are checked where the shape defines them.

#include "fcurve_test_util.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "base/kset.h"
#include "fcurve/kfcurveglobal.h"
#include "fcurve/kfcurvelayer.h"
#include "fcurve/kfcurveplot.h"
#include "object/kpropertydatatype.h"

using namespace fctest;

namespace {

const KQox::EForm kForms[] = {KQox::eBINARY, KQox::eASCII, KQox::eENCRYPTED};

// The first node of a section, read without a template.
KFCurveNode* ReadFirst(const Image& image)
{
    KQox f;
    EXPECT_TRUE(OpenSection(f, image)) << f.GetLastErrorString();
    return KFCurveNodeCreate(&f);
}

// A node stored as a channel in the form given and read back as a new node.
KFCurveNode* RoundTrip(KFCurveNode* source, KQox::EForm form)
{
    Image image = WriteSection(
        form, 6000, [&](KQox& f) { EXPECT_TRUE(source->QoxStore(&f, false, true, true, "Channel", true, false)); });
    return ReadFirst(image);
}

// "Transform" with T, R, S (X, Y, Z each) and Visibility, as the data types make them: no curve anywhere.
KFCurveNode* BareTransform()
{
    KFCurveNode* root = KFCurveNodeCreate("Transform");
    root->Add(FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "Lcl Translation"));
    root->Add(FCurveNodeCreateFromDataType(KDataTypeLclRotation, "Lcl Rotation"));
    root->Add(FCurveNodeCreateFromDataType(KDataTypeLclScaling, "Lcl Scaling"));
    root->Add(KFCurveNodeCreate("Visibility", KDataTypeVisibility));
    return root;
}

// A destination "D" with members X, Y, Z and no curves.
KFCurveNode* Destination()
{
    KFCurveNode* node = KFCurveNodeCreate("D", static_cast<KDataType*>(nullptr), KFCL_ADD, 0);
    for (const char* member : {"X", "Y", "Z"})
        node->FindOrCreate(member, false);
    return node;
}

KTime Frame(long long k)
{
    return KTime(k * kTicksPerFrame30);
}

// Every way of plotting a node over frames 0 to 3: combined (all layers, a list), solved for layer 1 against the
// node's own values, smartly, and with each flag that maintains or replaces layers.
void PlotEveryWay(KFCurveNode* node)
{
    KArrayTemplate<int> base, both;
    base.Add(0);
    both.Add(0);
    both.Add(1);
    KSmartPlotOptions smart;
    smart.mSmartPlot = true;
    const struct
    {
        const char* name;
        KArrayTemplate<int>* ids;
        int target;
        unsigned int flags;
        bool solve;
        KSmartPlotOptions* options;
    } ways[] = {
        {"combined", nullptr, 0, 0, false, nullptr},
        {"listed", &both, 0, 0, false, nullptr},
        {"smart", nullptr, 0, 0, false, &smart},
        {"solved", nullptr, 1, 0, true, nullptr},
        {"solved smartly", nullptr, 1, 0, true, &smart},
        {"reset", nullptr, 0, KFCURVE_PLOT_RESET_LAYERS, false, nullptr},
        {"keys replaced", &base, 1, KFCURVE_PLOT_REPLACE_KEYS, false, nullptr},
        {"curves replaced", nullptr, 1, KFCURVE_PLOT_REPLACE_CURVES, false, nullptr},
        {"solved, curves replaced", nullptr, 1, KFCURVE_PLOT_REPLACE_CURVES, true, nullptr},
    };
    for (const auto& way : ways)
    {
        SCOPED_TRACE(way.name);
        KFCurveNode* wanted = way.solve ? node->Clone(false) : nullptr;
        KFCurveNode* destination = way.flags ? nullptr : Destination();
        KFCurve_PlotInLayers(node, way.ids, way.target, way.flags, Frame(0), Frame(3), Frame(1), destination, wanted,
                             false, way.options);
        for (KFCurveNode* n : {wanted, destination})
            if (n)
                n->Destroy();
    }
}

} // namespace

// A Transform read from a file whose members hold no curves: nine X, Y, Z leaves and Visibility, none of them with
// a value. Plotting it, combined or solved, must stay within the values; the node keeps its shape, and no curve
// appears on a member that had none.
TEST(KFCurvePlotShapes, TransformWhoseMembersHoldNoCurves)
{
    KFCurveNode* source = BareTransform();
    for (KQox::EForm form : kForms)
    {
        SCOPED_TRACE(form);
        KFCurveNode* node = RoundTrip(source, form);
        ASSERT_NE(node, nullptr);
        ASSERT_EQ(node->GetCount(), 4);
        EXPECT_EQ(node->GetValueCount(), 0);
        EXPECT_EQ(node->Get(1)->GetLayerType(), KFCL_EULER_XYZ);
        PlotEveryWay(node);
        ASSERT_EQ(node->GetCount(), 4);
        for (int m = 0; m < 3; ++m)
        {
            ASSERT_EQ(node->Get(m)->GetCount(), 3) << m;
            EXPECT_EQ(node->Get(m)->FCurveGet(), nullptr) << m;
        }
        EXPECT_EQ(node->GetValueCount(), 0);
        node->Destroy();
    }
    source->Destroy();
}

// Members with and without curves. A Transform whose translation is keyed and whose rotation and scaling hold no
// curves plots within its values; the translation plotted on its own holds X rising one per frame and Y at 2, and
// gives Z, a member without a curve, none: the plot has no value of Z's own to put there.
TEST(KFCurvePlotShapes, MembersWithAndWithoutCurves)
{
    KFCurveNode* source = BareTransform();
    KFCurveNode* t = source->Get(0);
    for (int m = 0; m < 2; ++m)
        t->Get(m)->FCurveSet(KFCurveCreate());
    AddKey(*Member(t, 0), Frame(0), 0.0f);
    AddKey(*Member(t, 0), Frame(30), 30.0f);
    Member(t, 1)->SetValue(2.0f);
    for (KQox::EForm form : kForms)
    {
        SCOPED_TRACE(form);
        KFCurveNode* node = RoundTrip(source, form);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->GetValueCount(), 2);
        KFCurveNode* translation = node->Get(0);
        ASSERT_EQ(translation->GetCount(), 3);
        ASSERT_EQ(translation->Get(2)->FCurveGet(), nullptr);
        KFCurveNode* destination = Destination();
        KFCurve_PlotInLayers(translation, nullptr, 0, 0, Frame(0), Frame(3), Frame(1), destination, nullptr, false,
                             nullptr);
        // Frames 0 to 4: the first sample past the stop is the last.
        const std::vector<std::vector<float>> expected = {{0, 1, 2, 3, 4}, {2, 2, 2, 2, 2}};
        for (int m = 0; m < 2; ++m)
        {
            ASSERT_NE(Member(destination, m), nullptr) << m;
            EXPECT_EQ(Values(*Member(destination, m)), expected[m]) << m;
        }
        EXPECT_EQ(Member(destination, 2), nullptr);
        PlotEveryWay(node);
        destination->Destroy();
        node->Destroy();
    }
    source->Destroy();
}

// A layer layerId of X 10, Y 20, Z 30 whose X, written with the LayerID 0
// (the base layer's), carries layer layerId in its own chain with sixty
// members of 100.
static void ChainedLayer(KQox& f, int layerId)
{
    BeginChannel(f, "X");
    WriteD(f, "Default", 10);
    WriteI(f, "LayerID", 0);
    BeginChannel(f, "X", "LayerChannel");
    for (int k = 0; k < 60; ++k)
        StaticChannel(f, ("A" + std::to_string(k)).c_str(), 100, layerId);
    WriteI(f, "LayerID", layerId);
    EndChannel(f);
    EndChannel(f);
    StaticChannel(f, "Y", 20, layerId);
    StaticChannel(f, "Z", 30, layerId);
}

// Layers read from a file that differ in shape from the base T (X 1, Y 2, Z 3): fewer members, more members, no
// member at all, and a member X that belongs to the base layer but carries layer 1 in its own chain with sixty
// members. Combined at frame 2 and solved for layer 1 so that the whole shows (10, 20, 30); the values are checked
// where every layer lines up with the base's X, Y, Z.
TEST(KFCurvePlotShapes, LayersOfOtherShapes)
{
    using Writer = std::function<void(KQox&)>;
    const Writer fewer = [](KQox& f) {
        StaticChannel(f, "X", 10, 1);
        StaticChannel(f, "Y", 20, 1);
    };
    const Writer more = [](KQox& f) {
        StaticChannel(f, "X", 10, 1);
        StaticChannel(f, "Y", 20, 1);
        StaticChannel(f, "Z", 30, 1);
        for (int k = 0; k < 5; ++k)
            StaticChannel(f, ("Q" + std::to_string(k)).c_str(), 7, 1);
    };
    const Writer none = [](KQox&) {};
    const Writer chained = [](KQox& f) { ChainedLayer(f, 1); };
    const struct
    {
        const char* name;
        Writer layer;
        bool aligned;                // the layer's values line up with X, Y, Z
        std::vector<float> combined; // at frame 2
        std::vector<float> solved;   // layer 1's members after solving
    } cases[] = {
        {"fewer members", fewer, true, {11, 22, 3}, {9, 18}},
        {"more members", more, true, {11, 22, 33}, {9, 18, 27}},
        {"no member", none, true, {1, 2, 3}, {}},
        {"member chained to another shape", chained, false, {}, {}},
    };
    for (const auto& c : cases)
        for (KQox::EForm form : kForms)
        {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(form);
            Image image = WriteSection(form, 6000, [&](KQox& f) {
                BeginChannel(f, "T");
                StaticChannel(f, "X", 1);
                StaticChannel(f, "Y", 2);
                StaticChannel(f, "Z", 3);
                WriteI(f, "LayerType", KFCL_ADD);
                BeginChannel(f, "T", "LayerChannel");
                c.layer(f);
                WriteI(f, "LayerID", 1);
                WriteI(f, "LayerType", KFCL_ADD);
                EndChannel(f);
                EndChannel(f);
            });
            KFCurveNode* node = ReadFirst(image);
            ASSERT_NE(node, nullptr);
            ASSERT_NE(node->LayerGet(1), nullptr);
            PlotEveryWay(node);
            node->Destroy();

            node = ReadFirst(image);
            KFCurveNode* destination = Destination();
            KFCurve_PlotInLayers(node, nullptr, 0, 0, Frame(0), Frame(3), Frame(1), destination, nullptr, false,
                                 nullptr);
            if (c.aligned)
            {
                for (int m = 0; m < 3; ++m)
                    EXPECT_NEAR(Member(destination, m)->Evaluate(Frame(2)), c.combined[m], 1e-5) << m;
            }
            destination->Destroy();

            KFCurveNode* wanted = MemberNode("T", KFCL_ADD, {10, 20, 30});
            KFCurve_PlotInLayers(node, nullptr, 1, KFCURVE_PLOT_REPLACE_CURVES, Frame(0), Frame(3), Frame(1), nullptr,
                                 wanted, false, nullptr);
            KFCurveNode* layer = node->LayerGet(1);
            ASSERT_NE(layer, nullptr);
            if (c.aligned)
            {
                for (size_t m = 0; m < c.solved.size(); ++m)
                    EXPECT_NEAR(Member(layer, static_cast<int>(m))->Evaluate(Frame(2)), c.solved[m], 1e-5) << m;
            }
            for (int m = 0; m < 3; ++m) // the base keeps its values
                EXPECT_FLOAT_EQ(Member(node, m)->Evaluate(Frame(2)), static_cast<float>(m + 1)) << m;
            wanted->Destroy();
            node->Destroy();
        }
}

// The node solved against (the wanted values) read from a file in layer 2, its member X of the base layer carrying
// layer 2 in its own chain with sixty members: evaluated at layer 2 it gives those sixty values and Y's. Each wanted
// value counts for the member it belongs to: Y's 6 for Y; X's sixty values are of another shape than the leaf X and
// Z has none, so the whole is to show their neutral 0 there.
TEST(KFCurvePlotShapes, WantedNodeWhoseMemberHoldsTheLayerInAnotherShape)
{
    for (KQox::EForm form : kForms)
    {
        SCOPED_TRACE(form);
        Image image = WriteSection(form, 6000, [](KQox& f) {
            BeginChannel(f, "W");
            BeginChannel(f, "X");
            WriteD(f, "Default", 5);
            BeginChannel(f, "X", "LayerChannel");
            for (int k = 0; k < 60; ++k)
                StaticChannel(f, ("A" + std::to_string(k)).c_str(), 100, 2);
            WriteI(f, "LayerID", 2);
            EndChannel(f);
            EndChannel(f);
            StaticChannel(f, "Y", 6, 2);
            WriteI(f, "LayerID", 2);
            EndChannel(f);
        });
        KFCurveNode* wanted = ReadFirst(image);
        ASSERT_NE(wanted, nullptr);
        ASSERT_EQ(wanted->GetLayerID(), 2);
        KFCurveNode* node = MemberNode("T", KFCL_ADD, {1, 2, 3});
        KFCurve_PlotInLayers(node, nullptr, 1, KFCURVE_PLOT_REPLACE_CURVES, Frame(0), Frame(3), Frame(1), nullptr,
                             wanted, false, nullptr);
        KFCurveNode* layer = node->LayerGet(1);
        ASSERT_NE(layer, nullptr);
        // Layer 1 holds (0, 6, 0) less the base's (1, 2, 3).
        const double expected[3] = {-1, 4, -3};
        for (int m = 0; m < 3; ++m)
            EXPECT_NEAR(Member(layer, m)->Evaluate(Frame(2)), expected[m], 1e-5) << m;
        node->Destroy();
        wanted->Destroy();
    }
}

// A time warp on a Transform read from a file whose members hold no curves is baked on merging: the plot stays
// within the values and the warp is detached.
TEST(KFCurvePlotShapes, TimeWarpMergedIntoATransformWhoseMembersHoldNoCurves)
{
    const bool reducer = KFCURVE_GetUseConstantKeyReducer();
    KFCURVE_SetUseConstantKeyReducer(false);
    KFCurveNode* warp = KFCurveNodeCreate("Warp", KDataTypeTimeWarp);
    warp->FCurveSet(KFCurveCreate());
    AddKey(*warp->FCurveGet(), KTime(0), 0.0f);
    AddKey(*warp->FCurveGet(), KTime(kTicksPerSecond), 2.0f);
    KFCurveNode* keeper = KFCurveNodeCreate("Keeper");
    keeper->TimeWarpSet(warp);
    KSet set(16);
    set.Add(3, reinterpret_cast<kReference>(warp));
    KFCurve_SetTWSet(&set);
    for (KQox::EForm form : kForms)
    {
        SCOPED_TRACE(form);
        Image image = WriteSection(form, 6000, [](KQox& f) {
            BeginChannel(f, "Transform");
            WriteI(f, "TimeWarpID", 3);
            for (const char* part : {"T", "R", "S"})
            {
                BeginChannel(f, part);
                for (const char* member : {"X", "Y", "Z"})
                {
                    BeginChannel(f, member);
                    EndChannel(f);
                }
                EndChannel(f);
            }
            EndChannel(f);
        });
        KFCurveNode* node = ReadFirst(image);
        ASSERT_NE(node, nullptr);
        ASSERT_EQ(node->TimeWarpGet(), warp);
        EXPECT_EQ(node->GetValueCount(), 0);
        long long budget = KFCURVE_TIMEWARP_MERGE_BUDGET;
        KFCurve_MergeTimeWarps(node, budget);
        EXPECT_EQ(node->TimeWarpGet(), nullptr);
        EXPECT_LT(budget, KFCURVE_TIMEWARP_MERGE_BUDGET);
        node->Destroy();
    }
    KFCurve_SetTWSet(nullptr);
    keeper->Destroy();
    KFCURVE_SetUseConstantKeyReducer(reducer);
}

// A candidate set on the base layer is solved into layer 1 against the other layers: base and layer 2 read from a
// file, layer 2 with sixty members beyond X, Y, Z. Only the node's own values take part: added, layer 1 holds the
// wanted values less the base's and layer 2's X, Y, Z; multiplied, the wanted values divided by both. A rotation
// whose layer 2 has a member carrying that layer in its own chain in another shape is solved within its values.
TEST(KFCurvePlotShapes, CandidateSolvedAgainstLayersOfOtherShapes)
{
    using Writer = std::function<void(KQox&)>;
    const auto members = [](std::vector<double> values, int layerId, int extras) {
        return [=](KQox& f) {
            const char* names[] = {"X", "Y", "Z"};
            int i = 0;
            for (double v : values)
                StaticChannel(f, names[i++], v, layerId);
            for (int k = 0; k < extras; ++k)
                StaticChannel(f, ("Q" + std::to_string(k)).c_str(), 7, layerId);
        };
    };
    const Writer chainedRotation = [](KQox& f) { ChainedLayer(f, 2); };
    const struct
    {
        const char* name; // of the node, which gives its layer type
        int layerType;
        Writer base, layer1, layer2;
        std::vector<double> wanted, solved; // solved: layer 1's X, Y, Z; none when the shape defines none
    } cases[] = {
        {"T",
         KFCL_ADD,
         members({1, 2, 3}, 0, 0),
         members({0, 0, 0}, 1, 0),
         members({4, 5, 6}, 2, 60),
         {10, 20, 30},
         {5, 13, 21}},
        {"S",
         KFCL_MULT,
         members({2, 2, 2}, 0, 0),
         members({1, 1, 1}, 1, 0),
         members({2, 4, 5}, 2, 60),
         {8, 16, 20},
         {2, 2, 2}},
        {"R", KFCL_EULER_XYZ, members({0, 0, 0}, 0, 0), members({0, 0, 0}, 1, 0), chainedRotation, {10, 20, 30}, {}},
    };
    for (const auto& c : cases)
        for (KQox::EForm form : kForms)
        {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(form);
            Image image = WriteSection(form, 6000, [&](KQox& f) {
                BeginChannel(f, c.name);
                c.base(f);
                WriteI(f, "LayerType", c.layerType);
                BeginChannel(f, c.name, "LayerChannel");
                c.layer1(f);
                WriteI(f, "LayerID", 1);
                WriteI(f, "LayerType", c.layerType);
                BeginChannel(f, c.name, "LayerChannel");
                c.layer2(f);
                WriteI(f, "LayerID", 2);
                WriteI(f, "LayerType", c.layerType);
                EndChannel(f);
                EndChannel(f);
                EndChannel(f);
            });
            KFCurveNode* node = ReadFirst(image);
            ASSERT_NE(node, nullptr);
            ASSERT_EQ(node->GetLayerType(), c.layerType);
            KFCurveNode* layer = node->LayerGet(1);
            ASSERT_NE(layer, nullptr);
            ASSERT_NE(node->LayerGet(2), nullptr);
            std::vector<double> wanted = c.wanted;
            node->CandidateSet(KTime(0), wanted.data(), 1);
            for (size_t m = 0; m < c.solved.size(); ++m)
                EXPECT_NEAR(Member(layer, static_cast<int>(m))->GetValue(), c.solved[m], 1e-5) << m;
            EXPECT_TRUE(node->CandidateKey(nullptr, 1, nullptr, false, L, AUTO, false, true, KTime(0), 0.0));
            for (size_t m = 0; m < c.solved.size(); ++m)
                EXPECT_NEAR(Member(layer, static_cast<int>(m))->Evaluate(KTime(0)), c.solved[m], 1e-5) << m;
            node->Destroy();
        }
}

namespace {

// A node of the given layer type whose members hold the given static values (a member "X", "Y", "Z", "W", then
// "M4", "M5", ... per value).
KFCurveNode* TypedNode(const char* name, int layerType, std::initializer_list<double> values)
{
    KFCurveNode* node = KFCurveNodeCreate(name, static_cast<KDataType*>(nullptr), layerType, 0);
    static const char* const kNames[] = {"X", "Y", "Z", "W"};
    int i = 0;
    for (double v : values)
    {
        const std::string member = i < 4 ? kNames[i] : "M" + std::to_string(i);
        ++i;
        KFCurveNode* child = KFCurveNodeCreate(member.c_str());
        child->FCurveSet(KFCurveCreate());
        child->FCurveGet()->SetValue(static_cast<float>(v));
        node->Add(child);
    }
    return node;
}

} // namespace

// Members given the quaternion layer type in a file, of fewer and of more than the four one-value members a
// quaternion needs, beside a true quaternion (90 degrees about Z). Only the true one is evaluated as a quaternion
// (three Euler angles); the others give their members' values as they are. Evaluation, candidate evaluation,
// setting and keying a candidate stay within the node's values.
TEST(KFCurvePlotShapes, QuaternionTypeOnMembersOfOtherShapes)
{
    const double half = std::sqrt(0.5);
    KFCurveNode* source = KFCurveNodeCreate("P");
    for (int k = 0; k < 4; ++k)
        source->Add(TypedNode(("E" + std::to_string(k)).c_str(), KFCL_QUAT, {}));
    source->Add(TypedNode("Q1", KFCL_QUAT, {1}));
    source->Add(TypedNode("Q2", KFCL_QUAT, {2, 3}));
    source->Add(TypedNode("Q4", KFCL_QUAT, {0, 0, half, half}));
    source->Add(TypedNode("Q5", KFCL_QUAT, {1, 2, 3, 4, 5}));
    const std::vector<double> expected = {1, 2, 3, 0, 0, 90, 1, 2, 3, 4, 5};
    for (KQox::EForm form : kForms)
    {
        SCOPED_TRACE(form);
        KFCurveNode* node = RoundTrip(source, form);
        ASSERT_NE(node, nullptr);
        ASSERT_EQ(node->GetCount(), 8);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(node->Get(i)->GetLayerType(), KFCL_QUAT) << i;
        ASSERT_EQ(node->GetValueCount(), 12);
        for (bool candidate : {false, true})
        {
            SCOPED_TRACE(candidate);
            std::vector<double> values(node->GetValueCount() + 4, -1.0);
            double* end = node->GeneralEvaluate(values.data(), KTime(0), nullptr, candidate);
            ASSERT_EQ(end - values.data(), static_cast<long>(expected.size()));
            for (size_t i = 0; i < expected.size(); ++i)
                EXPECT_NEAR(values[i], expected[i], 1e-4) << i;
        }
        node->CandidateClear(0, true);
        std::vector<double> wanted(node->GetValueCount() + 4, 0.0);
        std::copy(expected.begin(), expected.end(), wanted.begin());
        EXPECT_EQ(node->CandidateSet(KTime(0), wanted.data()), wanted.data() + expected.size());
        node->CandidateKey(nullptr, 0, nullptr, false, L, AUTO, false, true, KTime(0), 0.0);
        node->Destroy();
    }
    source->Destroy();
}

namespace {

// The values of the leaves of a node at frame 2, depth first (NaN for a leaf without a curve).
std::vector<double> LeafValuesAt2(KFCurveNode* node)
{
    std::vector<double> values;
    if (node->GetCount() == 0)
    {
        values.push_back(node->FCurveGet() ? node->FCurveGet()->Evaluate(Frame(2)) : std::nan(""));
        return values;
    }
    for (int i = 0; i < node->GetCount(); ++i)
    {
        std::vector<double> child = LeafValuesAt2(node->Get(i));
        values.insert(values.end(), child.begin(), child.end());
    }
    return values;
}

void ExpectLeaves(KFCurveNode* node, const std::vector<double>& expected)
{
    const std::vector<double> values = LeafValuesAt2(node);
    ASSERT_EQ(values.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
    {
        if (std::isnan(expected[i]))
            EXPECT_TRUE(std::isnan(values[i])) << i << ": " << values[i];
        else
            EXPECT_NEAR(values[i], expected[i], 1e-4) << i;
    }
}

// Gives a node the members "X", "Y", "Z" holding the static values given; NaN leaves a member without a curve.
void StaticMembers(KFCurveNode* node, std::initializer_list<double> values)
{
    static const char* const kNames[] = {"X", "Y", "Z"};
    int i = 0;
    for (double v : values)
    {
        KFCurveNode* member = node->FindOrCreate(kNames[i++], !std::isnan(v));
        if (!std::isnan(v))
            member->FCurveGet()->SetValue(static_cast<float>(v));
    }
}

} // namespace

// Plotting a node whose members do not all hold curves, whose node holds a curve of its own beside its members, or
// whose members are nested a level deeper: each plotted value lands on the leaf it came from. A leaf no plotted layer
// holds a curve for counts as the neutral value of its node (0 added, 1 multiplied) where a holder's curve takes the
// plot, and gives a holder without a curve none (NaN below). "T" read from a file has X without a curve, Y at 5, Z at
// 1, and a layer 1 at (10, 20, 30). Worked out by hand, at frame 2: the layers combined give (10, 25, 31), the base
// alone (-, 5, 1), into layer 1's curves (0, 5, 1); solving layer 1 for (100, 200, 300) gives (100, 195, 299).
TEST(KFCurvePlotShapes, PlottedValuesLandOnTheLeavesTheyCameFrom)
{
    KFCurveNode* partial = KFCurveNodeCreate("T", static_cast<KDataType*>(nullptr), KFCL_ADD, 0);
    StaticMembers(partial, {std::nan(""), 5, 1});
    StaticMembers(partial->CreateLayerAt(1), {10, 20, 30});
    KFCurveNode* ownCurve = KFCurveNodeCreate("T", static_cast<KDataType*>(nullptr), KFCL_ADD, 0);
    ownCurve->FCurveSet(KFCurveCreate());
    ownCurve->FCurveGet()->SetValue(7.0f);
    StaticMembers(ownCurve, {1, 2, 3});
    KFCurveNode* nested = KFCurveNodeCreate("Transform");
    StaticMembers(nested->FindOrCreate("T", false), {std::nan(""), 5, 1});
    KFCurveNode* scaling = KFCurveNodeCreate("S", static_cast<KDataType*>(nullptr), KFCL_MULT, 0);
    StaticMembers(scaling, {std::nan(""), 3, 4});
    nested->Add(scaling);

    const double kNone = std::nan(""); // a leaf without a curve
    KArrayTemplate<int> base, both;
    base.Add(0);
    both.Add(0);
    both.Add(1);
    KSmartPlotOptions dense;
    dense.mSmartPlot = true;
    dense.mKeepDensePlot = true;
    enum Holder
    {
        eDestination, // a copy of the node's shape without curves
        eBase,
        eLayer1
    };
    const struct
    {
        const char* name;
        KFCurveNode* source;
        KArrayTemplate<int>* ids;
        int target;
        unsigned int flags;
        bool solve;
        KSmartPlotOptions* options;
        Holder holder;
        std::vector<double> expected; // the holder's leaves at frame 2
    } cases[] = {
        {"combined", partial, nullptr, 0, 0, false, nullptr, eDestination, {10, 25, 31}},
        {"both listed", partial, &both, 0, 0, false, nullptr, eDestination, {10, 25, 31}},
        {"base listed", partial, &base, 0, 0, false, nullptr, eDestination, {kNone, 5, 1}},
        {"smart, dense kept", partial, &base, 0, 0, false, &dense, eDestination, {kNone, 5, 1}},
        {"solved", partial, nullptr, 1, KFCURVE_PLOT_REPLACE_CURVES, true, nullptr, eLayer1, {100, 195, 299}},
        {"keys replaced", partial, &base, 1, KFCURVE_PLOT_REPLACE_KEYS, false, nullptr, eLayer1, {0, 5, 1}},
        {"curves replaced", partial, nullptr, 1, KFCURVE_PLOT_REPLACE_CURVES, false, nullptr, eLayer1, {10, 25, 31}},
        {"merged into the base", partial, &both, 0, KFCURVE_PLOT_REPLACE_CURVES, false, nullptr, eBase, {10, 25, 31}},
        {"own curve", ownCurve, nullptr, 0, 0, false, nullptr, eDestination, {1, 2, 3}},
        {"own curve, curves replaced",
         ownCurve,
         nullptr,
         0,
         KFCURVE_PLOT_REPLACE_CURVES,
         false,
         nullptr,
         eBase,
         {1, 2, 3}},
        {"nested", nested, nullptr, 0, 0, false, nullptr, eDestination, {kNone, 5, 1, kNone, 3, 4}},
    };
    for (const auto& c : cases)
        for (KQox::EForm form : kForms)
        {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(form);
            KFCurveNode* node = RoundTrip(c.source, form);
            ASSERT_NE(node, nullptr);
            KFCurveNode* wanted = c.solve ? MemberNode("T", KFCL_ADD, {100, 200, 300}) : nullptr;
            KFCurveNode* destination =
                c.holder == eDestination ? node->CloneTemplate(false, false, false, -1) : nullptr;
            KFCurve_PlotInLayers(node, c.ids, c.target, c.flags, Frame(0), Frame(3), Frame(1), destination, wanted,
                                 false, c.options);
            KFCurveNode* holder = c.holder == eDestination ? destination : c.holder == eBase ? node : node->LayerGet(1);
            ASSERT_NE(holder, nullptr);
            ExpectLeaves(holder, c.expected);
            for (KFCurveNode* n : {wanted, destination, node})
                if (n)
                    n->Destroy();
        }
    for (KFCurveNode* n : {partial, ownCurve, nested})
        n->Destroy();
}

namespace {

// Keys joined by straight lines, {seconds, value} each.
void LinearKeys(KFCurve* curve, std::initializer_list<std::pair<double, float>> keys)
{
    for (const auto& key : keys)
        AddKey(*curve, Sec(key.first), key.second, L);
}

// Installs a warp t -> 2t over the first second (held after) as time warp 3 while it lives.
struct DoublingWarp
{
    DoublingWarp()
    {
        warp->FCurveSet(KFCurveCreate());
        LinearKeys(warp->FCurveGet(), {{0, 0.0f}, {1, 2.0f}});
        keeper->TimeWarpSet(warp);
        set.Add(3, reinterpret_cast<kReference>(warp));
        KFCurve_SetTWSet(&set);
    }
    ~DoublingWarp()
    {
        KFCurve_SetTWSet(nullptr);
        keeper->Destroy();
        KFCURVE_SetUseConstantKeyReducer(reducer);
    }
    KFCurveNode* warp = KFCurveNodeCreate("Warp", KDataTypeTimeWarp);
    KFCurveNode* keeper = KFCurveNodeCreate("Keeper");
    KSet set{16};
    bool reducer = KFCURVE_GetUseConstantKeyReducer();
};

// The values a node evaluates to at frames 0 to 40.
std::vector<std::vector<double>> Shown(KFCurveNode* node)
{
    std::vector<std::vector<double>> shown;
    for (int k = 0; k <= 40; ++k)
    {
        std::vector<double> values(node->GetValueCount() + 4, 0.0);
        values.resize(node->GeneralEvaluate(values.data(), Frame(k)) - values.data());
        shown.push_back(values);
    }
    return shown;
}

void ExpectSameShown(const std::vector<std::vector<double>>& a, const std::vector<std::vector<double>>& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (size_t k = 0; k < a.size(); ++k)
    {
        ASSERT_EQ(a[k].size(), b[k].size()) << k;
        for (size_t i = 0; i < a[k].size(); ++i)
            EXPECT_NEAR(a[k][i], b[k][i], 1e-3) << "frame " << k << ", value " << i;
    }
}

// "Transform" with T (X from 0 to 10 over the first second, Y 2, Z 3; a layer 1 adding 100 to X), R (Y from 0 to
// 60 over the first second) and S (X, Y 2; Z from 1 to 3 over the first second), playing through warp 3.
KFCurveNode* WarpedTransform()
{
    KFCurveNode* root = KFCurveNodeCreate("Transform");
    KFCurveNode* t = KFCurveNodeCreate("T", static_cast<KDataType*>(nullptr), KFCL_ADD, 0);
    StaticMembers(t, {0, 2, 3});
    LinearKeys(Member(t, 0), {{0, 0.0f}, {1, 10.0f}});
    KFCurveNode* layer = t->CreateLayerAt(1);
    layer->Get(0)->FCurveGet()->SetValue(100.0f);
    KFCurveNode* r = KFCurveNodeCreate("R", static_cast<KDataType*>(nullptr), KFCL_EULER_XYZ, 0);
    StaticMembers(r, {0, 0, 0});
    LinearKeys(Member(r, 1), {{0, 0.0f}, {1, 60.0f}});
    KFCurveNode* s = KFCurveNodeCreate("S", static_cast<KDataType*>(nullptr), KFCL_MULT, 0);
    StaticMembers(s, {2, 2, 1});
    LinearKeys(Member(s, 2), {{0, 1.0f}, {1, 3.0f}});
    for (KFCurveNode* member : {t, r, s})
        root->Add(member);
    return root;
}

} // namespace

// A time warp on a node whose members are nested (T, R, S with X, Y, Z each), read from a file, is baked into the
// nested members' curves on merging, their own layers included, and detached: the node shows what it showed through
// the warp. By hand, at t seconds: T's X min(20 t, 10) + 100, R's Y min(120 t, 60), S's Z min(1 + 4 t, 3), sampled
// at the plot period over the warp's span (32 keys).
TEST(KFCurvePlotShapes, TimeWarpMergedIntoNestedMembers)
{
    DoublingWarp warp;
    KFCURVE_SetUseConstantKeyReducer(false);
    KFCurveNode* source = WarpedTransform();
    source->TimeWarpSet(warp.warp);
    for (KQox::EForm form : kForms)
    {
        SCOPED_TRACE(form);
        KFCurveNode* node = RoundTrip(source, form);
        ASSERT_NE(node, nullptr);
        ASSERT_EQ(node->TimeWarpGet(), warp.warp);
        ASSERT_NE(node->Get(0)->LayerGet(1), nullptr);
        const auto before = Shown(node);
        long long budget = KFCURVE_TIMEWARP_MERGE_BUDGET;
        KFCurve_MergeTimeWarps(node, budget);
        EXPECT_LT(budget, KFCURVE_TIMEWARP_MERGE_BUDGET);
        EXPECT_TRUE(NoWarpLeft(node));
        EXPECT_EQ(node->Get(0)->LayerGet(), nullptr); // T's layer is in its base
        ExpectSameShown(before, Shown(node));
        KFCurve* x = Member(node->Get(0), 0);
        ASSERT_EQ(x->KeyGetCount(), 32);
        for (int k = 0; k < 32; ++k)
        {
            const double t = k / 30.0;
            EXPECT_EQ(x->KeyGetTime(k).Get(), k * kTicksPerFrame30);
            EXPECT_NEAR(x->KeyGetValue(k), std::min(20 * t, 10.0) + 100, 1e-4) << k;
            EXPECT_NEAR(Member(node->Get(1), 1)->Evaluate(Frame(k)), std::min(120 * t, 60.0), 1e-3) << k;
            EXPECT_NEAR(Member(node->Get(2), 2)->Evaluate(Frame(k)), std::min(1 + 4 * t, 3.0), 1e-4) << k;
            EXPECT_NEAR(Member(node->Get(2), 0)->Evaluate(Frame(k)), 2.0, 1e-6) << k;
        }
        node->Destroy();
    }
    source->Destroy();
}

// When the warp cannot be baked into every nested member (the budget runs out, or a member keeps a warp of its own
// that the budget could not bake), no warp is dropped: the node shows what it showed through its warps.
TEST(KFCurvePlotShapes, TimeWarpOfNestedMembersKeptWhereItCannotBeBaked)
{
    DoublingWarp warp;
    KFCURVE_SetUseConstantKeyReducer(false);
    KFCurveNode* longWarp = KFCurveNodeCreate("Long", KDataTypeTimeWarp);
    longWarp->FCurveSet(KFCurveCreate());
    LinearKeys(longWarp->FCurveGet(), {{0, 0.0f}, {1000000, 500000.0f}});
    KFCurveNode* source = WarpedTransform();
    source->TimeWarpSet(warp.warp);
    warp.set.Add(4, reinterpret_cast<kReference>(longWarp));
    const struct
    {
        const char* name;
        bool memberWarp; // R plays through the long warp of its own
        long long budget;
    } cases[] = {
        {"budget for T alone", false, 32 * 12},
        {"no budget", false, 0},
        {"a member keeps a warp of its own", true, KFCURVE_TIMEWARP_MERGE_BUDGET},
    };
    for (const auto& c : cases)
        for (KQox::EForm form : kForms)
        {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(form);
            source->Get(1)->TimeWarpSet(c.memberWarp ? longWarp : nullptr);
            KFCurveNode* node = RoundTrip(source, form);
            ASSERT_NE(node, nullptr);
            const auto before = Shown(node);
            long long budget = c.budget;
            KFCurve_MergeTimeWarps(node, budget);
            EXPECT_GE(budget, 0);
            EXPECT_FALSE(NoWarpLeft(node));
            ExpectSameShown(before, Shown(node));
            node->Destroy();
        }
    source->Get(1)->TimeWarpSet(nullptr);
    source->Destroy();
}

// The merge budget counts the leaves a bake keys, not only the curves it reads: a node of a thousand members
// holding static curves, read from a file, keys a thousand curves at each of the warp's 32 samples. A budget below that
// keeps the warp attached; the default budget bakes it and is lowered by at least that much.
TEST(KFCurvePlotShapes, TimeWarpBudgetCountsTheLeavesKeyed)
{
    DoublingWarp warp;
    KFCURVE_SetUseConstantKeyReducer(false);
    KFCurveNode* source = KFCurveNodeCreate("N");
    for (int k = 0; k < 1000; ++k)
        source->FindOrCreate(("M" + std::to_string(k)).c_str(), true)->FCurveGet()->SetValue(static_cast<float>(k));
    source->TimeWarpSet(warp.warp);
    const long long keyed = 32 * 1000;
    for (KQox::EForm form : kForms)
    {
        SCOPED_TRACE(form);
        KFCurveNode* node = RoundTrip(source, form);
        ASSERT_NE(node, nullptr);
        ASSERT_EQ(node->GetCount(), 1000);
        ASSERT_EQ(node->GetValueCount(), 1000);
        long long budget = keyed / 2;
        KFCurve_MergeTimeWarps(node, budget);
        EXPECT_EQ(budget, keyed / 2);
        EXPECT_EQ(node->TimeWarpGet(), warp.warp);
        budget = KFCURVE_TIMEWARP_MERGE_BUDGET;
        KFCurve_MergeTimeWarps(node, budget);
        EXPECT_EQ(node->TimeWarpGet(), nullptr);
        EXPECT_LE(budget, KFCURVE_TIMEWARP_MERGE_BUDGET - keyed);
        ASSERT_NE(Member(node, 999), nullptr);
        EXPECT_EQ(Member(node, 999)->KeyGetCount(), 32);
        EXPECT_EQ(Member(node, 999)->Evaluate(Frame(5)), 999.0f);
        node->Destroy();
    }
    source->Destroy();
}

namespace {

// The three members of a node playing through the doubling warp: one keyed linearly from `from` at 0 s to `to` at
// 1 s, one static (a curve without keys), one without a curve. Every curve's default value is `value`.
struct WarpedMembers
{
    const char* name;
    int layerType;
    double value;
    int animated, stat, none; // member indices
    double from, to;
};

const WarpedMembers kWarpedMembers[] = {
    {"T", KFCL_ADD, 5, 0, 2, 1, 0, 10},
    {"R", KFCL_EULER_XYZ, 30, 1, 0, 2, 0, 60},
    {"S", KFCL_MULT, 2, 2, 1, 0, 1, 3},
};

KFCurveNode* MembersNode(const WarpedMembers& m)
{
    KFCurveNode* node = KFCurveNodeCreate(m.name, static_cast<KDataType*>(nullptr), m.layerType, 0);
    static const char* const kNames[] = {"X", "Y", "Z"};
    for (int i = 0; i < 3; ++i)
        node->FindOrCreate(kNames[i], i != m.none);
    Member(node, m.stat)->SetValue(static_cast<float>(m.value));
    Member(node, m.animated)->SetValue(static_cast<float>(m.value));
    LinearKeys(Member(node, m.animated), {{0, static_cast<float>(m.from)}, {1, static_cast<float>(m.to)}});
    return node;
}

// The members after the merge: the member without a curve still has none (what it shows is not the node's to
// change), the static one shows its value, the keyed one the warped keys (from + (to - from) min(2 t, 1) at t
// seconds, by hand), and both keep their default value.
void ExpectMergedMembers(KFCurveNode* node, const WarpedMembers& m)
{
    SCOPED_TRACE(m.name);
    EXPECT_EQ(node->GetLayerType(), m.layerType);
    ASSERT_EQ(node->GetCount(), 3);
    EXPECT_EQ(Member(node, m.none), nullptr);
    ASSERT_NE(Member(node, m.stat), nullptr);
    ASSERT_NE(Member(node, m.animated), nullptr);
    EXPECT_EQ(Member(node, m.stat)->GetValue(), static_cast<float>(m.value));
    EXPECT_EQ(Member(node, m.animated)->GetValue(), static_cast<float>(m.value));
    for (int k = 0; k <= 40; ++k)
    {
        const double t = k / 30.0;
        EXPECT_NEAR(Member(node, m.stat)->Evaluate(Frame(k)), m.value, 1e-4) << k;
        EXPECT_NEAR(Member(node, m.animated)->Evaluate(Frame(k)), m.from + (m.to - m.from) * std::min(2 * t, 1.0),
                    1e-3)
            << k;
    }
}

} // namespace

// Merging a time warp never changes what a member without keys shows: flat T, R and S nodes and a Transform nesting
// all three, read from a file, each with a keyed member, a static member holding a value that is not neutral
// (translation 5, rotation 30, scaling 2) and a member without a curve. After the merge the member without a curve
// has none, the static member shows its value, the keyed member the warped keys, and the node the values it showed
// through the warp.
TEST(KFCurvePlotShapes, TimeWarpMergeKeepsWhatMembersWithoutKeysShow)
{
    DoublingWarp warp;
    KFCURVE_SetUseConstantKeyReducer(false);
    std::vector<KFCurveNode*> sources;
    for (const WarpedMembers& m : kWarpedMembers)
        sources.push_back(MembersNode(m));
    KFCurveNode* transform = KFCurveNodeCreate("Transform");
    for (const WarpedMembers& m : kWarpedMembers)
        transform->Add(MembersNode(m));
    sources.push_back(transform);
    for (size_t c = 0; c < sources.size(); ++c)
    {
        sources[c]->TimeWarpSet(warp.warp);
        for (KQox::EForm form : kForms)
        {
            SCOPED_TRACE(sources[c]->GetName());
            SCOPED_TRACE(form);
            KFCurveNode* node = RoundTrip(sources[c], form);
            ASSERT_NE(node, nullptr);
            ASSERT_EQ(node->TimeWarpGet(), warp.warp);
            const auto before = Shown(node);
            long long budget = KFCURVE_TIMEWARP_MERGE_BUDGET;
            KFCurve_MergeTimeWarps(node, budget);
            EXPECT_TRUE(NoWarpLeft(node));
            ExpectSameShown(before, Shown(node));
            if (c < 3)
                ExpectMergedMembers(node, kWarpedMembers[c]);
            else
                for (int i = 0; i < 3; ++i)
                    ExpectMergedMembers(node->Get(i), kWarpedMembers[i]);
            node->Destroy();
        }
    }
    for (KFCurveNode* source : sources)
        source->Destroy();
}
