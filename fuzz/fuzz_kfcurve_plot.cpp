// libFuzzer target: any bytes opened as a native file (binary, ASCII, or
// encrypted with the password "fuzz"), every curve node ("Channel" field in
// any list of any section) read and plotted in layers: its layers combined
// through its time warp, the listed layers smartly into a destination, then
// solved for its top layer with one of the flags that maintain or replace
// layers, evaluated whole and as a candidate that is then set and keyed, and
// its time warps merged. The nodes are read alone, and again into
// a transform template. Time warps numbered 1 to 3 are installed before
// reading, so that TimeWarpID fields find them.
//
// Work per input is bounded: at most kMaxNodes nodes are plotted, each plot
// takes about kSamples regular samples, and merging time warps has a small
// budget.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/kqox.h"
#include "base/kset.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvelayer.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurveplot.h"
#include "object/kpropertydatatype.h"

namespace {

const long long kTicksPerSecond = 46186158000LL;
const long long kSamples = 48;
const int kMaxNodes = 64;
const int kMaxDepth = 16;

// The time warps TimeWarpID 1, 2 and 3 name: t -> 2t over a second, the
// constant 0.5 s, and the first second played backwards.
class Warps
{
public:
    Warps()
        : mKeeper(KFCurveNodeCreate("Keeper"))
        , mSet(16)
    {
        const float values[3][2] = {{0.0f, 2.0f}, {0.5f, 0.5f}, {1.0f, 0.0f}};
        for (int k = 0; k < 3; ++k)
        {
            KFCurveNode* warp = KFCurveNodeCreate("Warp", KDataTypeTimeWarp);
            KFCurve* curve = KFCurveCreate();
            curve->KeyModifyBegin();
            curve->KeyAppendFast(KTime(0), values[k][0]);
            if (k != 1)
                curve->KeyAppendFast(KTime(kTicksPerSecond), values[k][1]);
            curve->KeyModifyEnd();
            curve->SetValue(values[k][0]);
            warp->FCurveSet(curve);
            // The keeper's children hold the warps until the input is done.
            KFCurveNode* user = KFCurveNodeCreate("User");
            user->TimeWarpSet(warp);
            mKeeper->Add(user);
            mSet.Add(k + 1, reinterpret_cast<kReference>(warp));
        }
        KFCurve_SetTWSet(&mSet);
    }
    ~Warps()
    {
        KFCurve_SetTWSet(nullptr);
        mKeeper->Destroy();
    }
    Warps(const Warps&) = delete;
    Warps& operator=(const Warps&) = delete;

private:
    KFCurveNode* mKeeper;
    KSet mSet;
};

// The span a node is plotted over: its keys' span, or the first second, at a
// period that takes about kSamples samples.
void PlotSpan(KFCurveNode* node, KTime& start, KTime& stop, KTime& period)
{
    start = KTIME_INFINITE;
    stop = KTIME_MINUS_INFINITE;
    long long span = 0;
    if (!node->GetAnimationInterval(start, stop) || stop < start ||
        __builtin_sub_overflow(stop.Get(), start.Get(), &span))
    {
        start = KTime(0);
        stop = KTime(kTicksPerSecond);
        span = kTicksPerSecond;
    }
    period = KTime(span / kSamples > 0 ? span / kSamples : 1);
}

struct Plotter
{
    int plotted = 0;

    void Plot(KFCurveNode* node)
    {
        if (!node || plotted >= kMaxNodes)
            return;
        const int way = plotted++;
        KTime start, stop, period;
        PlotSpan(node, start, stop, period);

        // Every layer combined, through the time warp; the plot is dropped.
        KFCurve_PlotInLayers(node, nullptr, 0, 0, start, stop, period, nullptr, nullptr, true, nullptr);

        // The layers of the chain listed, plotted smartly into a copy of the
        // node's shape.
        KArrayTemplate<int> ids;
        int top = 0;
        for (KFCurveNode* layer = node; layer; layer = layer->LayerGet())
        {
            ids.Add(layer->GetLayerID());
            top = layer->GetLayerID();
        }
        KSmartPlotOptions smart;
        smart.mSmartPlot = true;
        smart.mKeepDensePlot = way % 3 == 2;
        KFCurveNode* destination = node->CloneTemplate(true, false, true, -1);
        KFCurve_PlotInLayers(node, &ids, 0, 0, start, stop, period, destination, nullptr, false, &smart);
        destination->Destroy();

        // Solved for the top layer so that the whole shows the node's own
        // values, with one of the flags.
        const unsigned int flags[] = {KFCURVE_PLOT_REPLACE_CURVES, KFCURVE_PLOT_REPLACE_KEYS,
                                      KFCURVE_PLOT_RESET_LAYERS | KFCURVE_PLOT_REPLACE_CURVES,
                                      KFCURVE_PLOT_REMOVE_LAYERS};
        KFCurveNode* wanted = node->Clone(false);
        KFCurve_PlotInLayers(node, way % 2 ? &ids : nullptr, top, flags[way % 4], start, stop, period, nullptr, wanted,
                             way % 2 == 0, nullptr);
        wanted->Destroy();

        // Evaluated whole (warp, layers, rotations), as a candidate, and that
        // candidate set and keyed into the top layer: the values written and
        // read stay within the room the node's values take.
        std::vector<double> values(static_cast<size_t>(node->GetValueCount()) + 4, 0.0);
        node->GeneralEvaluate(values.data(), start);
        node->CandidateEvaluate(values.data(), stop);
        // And one value per leaf, whatever curves the layers lack.
        std::vector<double> leaves(static_cast<size_t>(node->GetLeafCount()) + 4, 0.0);
        node->EvaluateLeaves(leaves.data(), start);
        node->EvaluateLeaves(leaves.data(), stop, nullptr, true);
        node->CandidateSet(stop, values.data(), top);
        node->CandidateKey(nullptr, top, nullptr, way % 2 == 0, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO,
                           false, true, stop, 0.0);

        // The budget counts the samples times the values evaluated and the
        // leaves keyed at each.
        long long budget = kSamples * 1024;
        KFCurve_MergeTimeWarps(node, budget);
    }
};

// A transform template as the reader gives a take's node: T, R, S (X, Y, Z
// each) and Visibility, every leaf with a curve.
KFCurveNode* TransformTemplate()
{
    KFCurveNode* root = KFCurveNodeCreate("Transform");
    root->Add(FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "Lcl Translation"));
    root->Add(FCurveNodeCreateFromDataType(KDataTypeLclRotation, "Lcl Rotation"));
    root->Add(FCurveNodeCreateFromDataType(KDataTypeLclScaling, "Lcl Scaling"));
    root->Add(KFCurveNodeCreate("Visibility", KDataTypeVisibility));
    root->CreateFCurve();
    return root;
}

// Reads and plots the channels of the current list, then walks its fields
// and sections. With a template the channels are read into it.
void Walk(KQox& f, Plotter& plotter, bool withTemplate, int depth)
{
    if (withTemplate)
    {
        KFCurveNode* root = TransformTemplate();
        bool any = false;
        while (KFCurveNode* child = KFCurveNodeCreate(&f, root, false, true, true))
        {
            plotter.Plot(child);
            any = true;
        }
        if (any)
            plotter.Plot(root);
        root->Destroy();
    }
    else
    {
        while (KFCurveNode* node = KFCurveNodeCreate(&f))
        {
            plotter.Plot(node);
            node->Destroy();
        }
    }
    if (depth >= kMaxDepth)
        return;
    const int count = f.FieldReadGetRecordCount();
    for (int i = 0; i < count; ++i)
    {
        bool section = false;
        const char* text = f.FieldReadGetRecordName(i, &section);
        if (!text)
            break;
        const std::string name = text;
        if (section)
        {
            if (f.ProjectReadSectionBegin(name.c_str()))
            {
                Walk(f, plotter, withTemplate, depth + 1);
                f.ProjectReadSectionEnd();
            }
        }
        else if (f.FieldReadBegin(name.c_str()))
        {
            if (f.FieldReadBlockBegin())
            {
                Walk(f, plotter, withTemplate, depth + 1);
                f.FieldReadBlockEnd();
            }
            f.FieldReadEnd();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > (1u << 20))
        return 0;
    Warps warps;
    Plotter plotter;
    for (bool withTemplate : {false, true})
    {
        KQox f;
        if (f.ProjectOpen(data, static_cast<unsigned int>(size), "fuzz", false))
            Walk(f, plotter, withTemplate, 0);
    }
    return 0;
}
