#include "fcurve/kfcurveplot.h"

#include "fcurve/kfcurvefilters.h"
#include "fcurve/kfcurveglobal.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurveutils.h"

#include <unordered_set>
#include <vector>

namespace {

// The span a time warp is plotted over: its keys' span, or the single time
// 0 for a warp without keys (it maps every time to the same one).
void WarpSpan(KFCurveNode* warp, KTime& start, KTime& stop)
{
    start = KTIME_INFINITE;
    stop = KTIME_MINUS_INFINITE;
    if (!warp->GetAnimationInterval(start, stop) || stop < start)
        start = stop = KTime(0);
}

// Bakes a node's time warp into its curves: the node's value through the
// warp, sampled at the plot period over the warp's span, replaces its
// curves (a base node's layers combined into the base, which then holds
// the whole animation; an upper layer's own curves alone), reduced when the
// constant key reducer is on; the warp is then detached. A warp whose plot
// would exceed the budget stays attached: the node still plays through it.
void MergeTimeWarp(KFCurveNode* node, long long& budget)
{
    KFCurveNode* warp = node->TimeWarpGet();
    KTime start, stop;
    WarpSpan(warp, start, stop);
    const KTime period = KFCURVE_GetPlotPeriod();
    const long long samples = kfcurveutils_detail::SampleCount(start, stop, period);
    if (samples < 0)
        return;
    long long cost = samples + 1;
    for (KFCurveNode* layer = node; layer; layer = layer->LayerGet())
        cost += (samples + 1) * (layer->GetValueCount() + 1);
    if (cost > budget)
        return;
    budget -= cost;

    // The base layer's own id is 0 (a damaged file may give it another).
    const int layerId = node->GetLayerID();
    if (node->ObjectLayerGet() == node)
    {
        KFCurve_PlotInLayers(node, nullptr, layerId, KFCURVE_PLOT_REPLACE_CURVES, start, stop, period, nullptr, nullptr,
                             true, nullptr);
        // The base now holds every layer's share: layers kept above it
        // would count twice.
        node->LayerSet(nullptr, true);
    }
    else
    {
        KArrayTemplate<int> own;
        own.Add(layerId);
        KFCurve_PlotInLayers(node, &own, layerId, KFCURVE_PLOT_REPLACE_CURVES, start, stop, period, nullptr, nullptr,
                             true, nullptr);
    }
    if (KFCURVE_GetUseConstantKeyReducer())
    {
        KFCurveFilterConstantKeyReducer reducer;
        reducer.Apply(*node, true);
    }
    node->TimeWarpSet(nullptr);
}

} // namespace

void KFCurve_MergeTimeWarps(KFCurveNode* root, long long& budget)
{
    if (!root)
        return;
    std::vector<KFCurveNode*> order;
    std::unordered_set<KFCurveNode*> seen;
    std::vector<KFCurveNode*> pending(1, root);
    while (!pending.empty())
    {
        KFCurveNode* node = pending.back();
        pending.pop_back();
        if (!node || !seen.insert(node).second)
            continue;
        order.push_back(node);
        if (node->LayerGet())
            pending.push_back(node->LayerGet());
        for (int i = node->GetCount() - 1; i >= 0; --i)
            pending.push_back(node->Get(i));
    }
    // Inner warps first: a child's and an upper layer's warp apply after
    // their parent's, so they are baked before it.
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if ((*it)->TimeWarpGet())
            MergeTimeWarp(*it, budget);
}
