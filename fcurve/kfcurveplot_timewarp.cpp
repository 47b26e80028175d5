#include "fcurve/kfcurveplot.h"

#include "fcurve/kfcurvefilters.h"
#include "fcurve/kfcurveglobal.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurveutils.h"

#include <algorithm>
#include <limits>
#include <unordered_set>
#include <vector>

namespace {

const long long kMostWork = std::numeric_limits<long long>::max();

long long SaturatedAdd(long long a, long long b)
{
    long long sum;
    return __builtin_add_overflow(a, b, &sum) ? kMostWork : sum;
}

long long SaturatedMultiply(long long a, long long b)
{
    long long product;
    return __builtin_mul_overflow(a, b, &product) ? kMostWork : product;
}

// The span a time warp is plotted over: its keys' span, or the single time
// 0 for a warp without keys (it maps every time to the same one).
void WarpSpan(KFCurveNode* warp, KTime& start, KTime& stop)
{
    start = KTIME_INFINITE;
    stop = KTIME_MINUS_INFINITE;
    if (!warp->GetAnimationInterval(start, stop) || stop < start)
        start = stop = KTime(0);
}

// Whether some member of the node has members of its own.
bool HasNestedMembers(KFCurveNode* node)
{
    for (int i = 0; i < node->GetCount(); ++i)
        if (node->Get(i) && node->Get(i)->GetCount() > 0)
            return true;
    return false;
}

// Whether the node's warp can be baked into curves: no node it applies to
// (its members at any depth, the later layers of its chain, their members,
// and the members' own layers) plays through a warp of its own, which would
// apply after it, and none holds a curve beside members (a plot fills
// leaves only).
bool Bakeable(KFCurveNode* node)
{
    std::vector<KFCurveNode*> pending(1, node);
    std::unordered_set<KFCurveNode*> seen;
    while (!pending.empty())
    {
        KFCurveNode* n = pending.back();
        pending.pop_back();
        if (!n || !seen.insert(n).second)
            continue;
        if (n != node && n->TimeWarpGet())
            return false;
        if (n->FCurveGet() && n->GetCount() > 0)
            return false;
        pending.push_back(n->LayerGet());
        for (int i = 0; i < n->GetCount(); ++i)
            pending.push_back(n->Get(i));
    }
    return true;
}

// The leaves of a node (itself when it has no children).
long long LeafCount(KFCurveNode* node)
{
    if (node->GetCount() == 0)
        return 1;
    long long count = 0;
    for (int i = 0; i < node->GetCount(); ++i)
        if (node->Get(i))
            count += LeafCount(node->Get(i));
    return count;
}

// What evaluating one layer node at its own id takes.
long long LayerWork(KFCurveNode* layer)
{
    return 1 + std::max(layer->GetValueCount(), layer->GetSpecificLayerValueCount(layer->GetLayerID()));
}

// The members a warp on a node with nested members goes to: those of every
// node of its chain from it on.
std::vector<KFCurveNode*> ChainMembers(KFCurveNode* node)
{
    std::vector<KFCurveNode*> members;
    for (KFCurveNode* layer = node; layer; layer = layer->LayerGet())
        for (int i = 0; i < layer->GetCount(); ++i)
            if (layer->Get(i))
                members.push_back(layer->Get(i));
    return members;
}

// The work of baking a warp of the given samples into a node (see Bake): at
// each sample the warp is evaluated, every layer plotted is evaluated, and
// every leaf of the node takes a key.
long long BakeCost(KFCurveNode* node, long long samples)
{
    if (HasNestedMembers(node))
    {
        long long cost = 0;
        for (KFCurveNode* member : ChainMembers(node))
            cost = SaturatedAdd(cost, BakeCost(member, samples));
        return cost;
    }
    long long perSample = SaturatedAdd(1, LeafCount(node));
    if (node->ObjectLayerGet() == node)
    {
        for (KFCurveNode* layer = node; layer; layer = layer->LayerGet())
            perSample = SaturatedAdd(perSample, LayerWork(layer));
        return SaturatedMultiply(samples + 1, perSample);
    }
    perSample = SaturatedAdd(perSample, LayerWork(node));
    long long cost = SaturatedMultiply(samples + 1, perSample);
    if (KFCurveNode* next = node->LayerGet())
        cost = SaturatedAdd(cost, BakeCost(next, samples));
    return cost;
}

// Bakes the warp the node holds into its curves, and detaches it. A node
// whose members have members hands the warp to the members of each node of
// its chain, which play through it as they did through the node, and each
// is baked. Otherwise the node's value through the warp, sampled at the
// plot period over the span, replaces its curves: a base node's layers
// combined into the base, which then holds the whole animation; an upper
// layer's own curves alone, the warp going on to the layers after it. The
// constant key reducer then runs when that global setting is on.
void Bake(KFCurveNode* node, KFCurveNode* warp, KTime start, KTime stop, KTime period)
{
    if (HasNestedMembers(node))
    {
        const std::vector<KFCurveNode*> members = ChainMembers(node);
        for (KFCurveNode* member : members)
            member->TimeWarpSet(warp);
        node->TimeWarpSet(nullptr);
        for (KFCurveNode* member : members)
            Bake(member, warp, start, stop, period);
        return;
    }
    // The base layer's own id is 0 (a damaged file may give it another).
    const int layerId = node->GetLayerID();
    KFCurveNode* next = nullptr;
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
        next = node->LayerGet();
        if (next)
            next->TimeWarpSet(warp);
    }
    if (KFCURVE_GetUseConstantKeyReducer())
    {
        KFCurveFilterConstantKeyReducer reducer;
        reducer.Apply(*node, true);
    }
    node->TimeWarpSet(nullptr);
    if (next)
        Bake(next, warp, start, stop, period);
}

// Bakes a node's time warp when it can be baked whole within the budget; a
// warp whose bake would exceed what is left, that the period cannot sample,
// or that cannot be baked stays attached: the node still plays through it.
void MergeTimeWarp(KFCurveNode* node, long long& budget)
{
    KFCurveNode* warp = node->TimeWarpGet();
    KTime start, stop;
    WarpSpan(warp, start, stop);
    const KTime period = KFCURVE_GetPlotPeriod();
    const long long samples = kfcurveutils_detail::SampleCount(start, stop, period);
    if (samples < 0 || budget <= 0 || !Bakeable(node))
        return;
    const long long cost = BakeCost(node, samples);
    if (cost > budget)
        return;
    budget -= cost;
    Bake(node, warp, start, stop, period);
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
