#include "fcurve/kfcurveplot.h"

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvelayer.h"
#include "fcurve/kfcurvelayer_internal.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurvenode_internal.h"
#include "fcurve/kfcurveutils.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using kfcurvelayer_detail::LeafLayout;
using kfcurveutils_detail::SaturatedAdd;

// The curve of member m of a node: its own curve when it has no children,
// else child m's curve.
KFCurve* MemberCurve(KFCurveNode* node, int member)
{
    if (!node)
        return nullptr;
    if (node->GetCount() == 0)
        return member == 0 ? node->FCurveGet() : nullptr;
    KFCurveNode* child = node->Get(member);
    return child ? child->FCurveGet() : nullptr;
}

// The curve at leaf i's path from a node shaped like the plotted one.
KFCurve* LeafCurve(KFCurveNode* node, const LeafLayout& layout, int leaf)
{
    KFCurveNode* holder = LeafLayout::Follow(node, layout.Path(leaf));
    return holder ? holder->FCurveGet() : nullptr;
}

// The target layer of a chain, created when the chain has none.
KFCurveNode* FindOrCreateLayer(KFCurveNode* node, int layerId)
{
    KFCurveNode* layer = node->LayerGet(layerId);
    if (!layer)
    {
        node->CreateLayerAt(layerId);
        layer = node->LayerGet(layerId);
    }
    return layer;
}

} // namespace

KTime GetNextSmartPlotTime(KTime* current, KFCurveSmartMergeInfos** infos, int layerCount, KArrayTemplate<int>* members)
{
    KTime result = KTIME_INFINITE;
    bool marked[4] = {false, false, false, false};
    if (!current || !infos)
        return result;
    for (int k = 0; k < layerCount; ++k)
    {
        if (!infos[k])
            continue;
        for (int j = 0; j < 4; ++j)
        {
            KFCurveSmartMergeInfos& info = infos[k][j];
            if (!info.mCurve || info.mNextKeyIndex >= info.mCurve->KeyGetCount())
                continue;
            KTime t = info.mCurve->KeyGetTime(info.mNextKeyIndex);
            if (t <= *current)
            {
                info.mNextKeyIndex++;
                if (info.mNextKeyIndex >= info.mCurve->KeyGetCount())
                    continue;
                t = info.mCurve->KeyGetTime(info.mNextKeyIndex);
            }
            if (t < result)
            {
                result = t;
                if (members)
                {
                    members->Clear();
                    for (bool& m : marked)
                        m = false;
                }
            }
            if (t == result && members && !marked[j])
            {
                members->Add(j);
                marked[j] = true;
            }
        }
    }
    return result;
}

namespace {

using kfcurvelayer_detail::LayerFold;
using kfcurvelayer_detail::LeafValues;
using kfcurvenode_detail::Destroyed;

// One plot: what it reads at each plot time, its buffers and the two result
// nodes (the dense plot, and the smart keys when plotting smartly). Values
// are laid out by the node's leaves (see kfcurvelayer_internal.h), as the
// result nodes, shaped like the node with a curve on every leaf, take them.
struct PlotRun
{
    PlotRun(KFCurveNode* node, KArrayTemplate<int>* layerIds, int targetLayerId, KFCurveNode* wanted, bool useTimeWarp,
            bool smart);

    KFCurveNode* node;
    KArrayTemplate<int>* layerIds;
    KFCurveNode* wanted; // null: the layers are combined, not solved for
    bool smart;
    LeafLayout layout;
    int layerCount = 0;
    // Per layer, the source curves of its members (smart plotting).
    std::vector<KFCurveSmartMergeInfos> infoStore;
    std::vector<KFCurveSmartMergeInfos*> infos;
    Destroyed<KFCurveNode> smartResult, denseResult;
    KFCurveNode* timeWarp;
    LayerFold combined, below, above; // the layers combined, or around the target when solving
    std::unique_ptr<LeafValues> wantedValues;
    std::vector<char> covered;
    // Per leaf, whether some source of the plot (a layer combined, or when
    // solving the wanted node or a layer around the target) holds a curve
    // for it. A leaf none does has no value of its own in the node: the plot
    // gives no curve to a holder without one there.
    std::vector<char> sourced;
    std::vector<double> values, wantedLeaves, previous, warpValues;
    bool havePrevious = false;
    int hint = -1, wantedHint = -1, warpHint = -1;
};

// Marks the leaves a layer, evaluated at its own id, gives values for.
void MarkSourced(const LeafLayout& layout, KFCurveNode* layer, std::vector<char>& sourced)
{
    std::vector<int> map;
    layout.MapValues(layer, layer->GetLayerID(), map);
    for (int leaf : map)
        if (leaf >= 0)
            sourced[static_cast<size_t>(leaf)] = 1;
}

// An empty result node shaped like the node.
Destroyed<KFCurveNode> ResultNode(KFCurveNode* node)
{
    Destroyed<KFCurveNode> result(node->CloneTemplate(true, false, false, -1));
    result->CreateFCurve();
    return result;
}

PlotRun::PlotRun(KFCurveNode* node_, KArrayTemplate<int>* layerIds_, int targetLayerId, KFCurveNode* wanted_,
                 bool useTimeWarp, bool smart_)
    : node(node_)
    , layerIds(layerIds_)
    , wanted(wanted_)
    , smart(smart_)
    , layout(node_)
    , timeWarp(useTimeWarp ? node_->TimeWarpGet() : nullptr)
    , combined(layout)
    , below(layout)
    , above(layout)
{
    for (KFCurveNode* layer = node; layer; layer = layer->LayerGet())
        ++layerCount;
    if (smart)
    {
        infoStore.resize(static_cast<size_t>(layerCount) * 4);
        infos.resize(static_cast<size_t>(layerCount));
        int k = 0;
        for (KFCurveNode* layer = node; layer; layer = layer->LayerGet(), ++k)
        {
            infos[k] = &infoStore[static_cast<size_t>(k) * 4];
            const int children = layer->GetCount();
            if (children >= 5)
                continue;
            if (children == 0)
                infos[k][0].mCurve = layer->FCurveGet();
            else
                for (int j = 0; j < children; ++j)
                    infos[k][j].mCurve = layer->Get(j) ? layer->Get(j)->FCurveGet() : nullptr;
        }
        smartResult = ResultNode(node);
    }
    denseResult = ResultNode(node);

    sourced.assign(static_cast<size_t>(layout.Count()), 0);
    if (wanted)
    {
        KArrayTemplate<KFCurveNode*> layersBelow, layersAbove;
        KFCurve_PrepareForSolving(node, layerIds, targetLayerId, layersBelow, layersAbove);
        for (int i = 0; i < layersBelow.GetCount(); ++i)
        {
            below.Add(layersBelow[i]);
            MarkSourced(layout, layersBelow[i], sourced);
        }
        for (int i = 0; i < layersAbove.GetCount(); ++i)
        {
            above.Add(layersAbove[i]);
            MarkSourced(layout, layersAbove[i], sourced);
        }
        wantedValues.reset(new LeafValues(layout, wanted, wanted->GetLayerID()));
        MarkSourced(layout, wanted, sourced);
    }
    else
    {
        for (KFCurveNode* layer : kfcurvelayer_detail::ListedLayers(node, layerIds, 0))
        {
            combined.Add(layer);
            MarkSourced(layout, layer, sourced);
        }
    }

    const size_t count = static_cast<size_t>(layout.Count()) + 4;
    values.assign(count, 0.0);
    wantedLeaves.assign(count, 0.0);
    previous.assign(count, 0.0);
    covered.assign(count, 0);
    warpValues.assign((timeWarp ? timeWarp->GetValueCount() : 0) + 4, 0.0);
}

// The node's values at a plot time (through the time warp when there is
// one): the layers combined, or the target layer's values solved for. A leaf
// no layer (or, solving, the wanted node) gives a value for shows what a leaf
// without a curve shows.
void EvaluateAt(PlotRun& run, KTime plotTime)
{
    KTime evaluationTime = plotTime;
    if (run.timeWarp)
    {
        run.timeWarp->Evaluate(run.warpValues.data(), plotTime, &run.warpHint);
        evaluationTime.SetSecondDouble(run.warpValues[0]);
    }
    const int count = run.layout.Count();
    std::fill(run.covered.begin(), run.covered.end(), 0);
    if (!run.wanted)
    {
        run.combined.Evaluate(evaluationTime, &run.hint, run.values.data(), &run.covered);
        for (int i = 0; i < count; ++i)
            if (!run.covered[static_cast<size_t>(i)])
                run.values[static_cast<size_t>(i)] = run.layout.Default(i);
        return;
    }
    for (int i = 0; i < count; ++i)
        run.wantedLeaves[static_cast<size_t>(i)] = run.layout.Default(i);
    run.wantedValues->Evaluate(evaluationTime, &run.wantedHint, run.wantedLeaves.data(), run.wantedLeaves.data(),
                               nullptr);
    if (!run.havePrevious)
    {
        run.previous = run.wantedLeaves;
        run.havePrevious = true;
    }
    kfcurvelayer_detail::SolveForLayer(run.layout, run.below, run.above, run.wantedLeaves.data(), evaluationTime,
                                       &run.hint, run.previous.data(), run.values.data());
    run.previous = run.values;
}

// Appends the values to the dense plot, and on a source key time to the
// smart curves of the members keyed then.
void AppendSample(PlotRun& run, KTime plotTime, bool onKey, const KArrayTemplate<int>& members)
{
    const std::vector<double>& values = run.values;
    if (run.node->GetCount() == 0)
    {
        if (onKey)
            run.smartResult->FCurveGet()->KeyAppendFast(plotTime, static_cast<float>(values[0]));
        run.denseResult->FCurveGet()->KeyAppendFast(plotTime, static_cast<float>(values[0]));
        return;
    }
    if (!run.wanted && run.denseResult->GetLayerType() == KFCL_EULER_XYZ)
        run.denseResult->GetContinuousRotation(run.values.data(), run.values.data(), plotTime);
    if (onKey)
        for (int i = 0; i < members.GetCount(); ++i)
        {
            const int leaf = run.layout.MemberLeaf(members[i]);
            if (leaf >= 0)
                if (KFCurve* curve = MemberCurve(run.smartResult.get(), members[i]))
                    curve->KeyAppendFast(plotTime, static_cast<float>(values[static_cast<size_t>(leaf)]));
        }
    run.denseResult->KeyAppend(plotTime, run.values.data(), false);
}

// Where smart plotting samples besides the regular times: each source key
// time, and one delta before and after it.
struct SmartSchedule
{
    SmartSchedule(KTime start, KTime delta)
        : delta(delta)
        , nextKey(start)
        , before(SaturatedAdd(start, -delta.Get()))
        , after(SaturatedAdd(start, delta.Get()))
    {}

    // The earliest pending time after the last plot time and before the
    // next regular time t; t itself when none.
    KTime PlotTime(KTime t, KTime previousPlot) const
    {
        const KTime candidates[3] = {before, nextKey, after};
        for (const KTime& c : candidates)
            if (c > previousPlot && c < t)
                return c;
        return t;
    }

    // Moves on past a plot time to the next source key time.
    void Advance(PlotRun& run, KTime plotTime)
    {
        if (plotTime >= nextKey)
        {
            KTime current = plotTime;
            nextKey = GetNextSmartPlotTime(&current, run.infos.data(), run.layerCount, &members);
            before = nextKey == KTIME_INFINITE ? KTIME_INFINITE : SaturatedAdd(nextKey, -delta.Get());
        }
        if (plotTime >= after)
            after = nextKey == KTIME_INFINITE ? KTIME_INFINITE : SaturatedAdd(nextKey, delta.Get());
    }

    KTime delta;
    KTime nextKey, before, after;
    KArrayTemplate<int> members; // the members keyed at nextKey
};

// Samples the node at every period from start to stop, and smartly around
// the source keys.
void Sample(PlotRun& run, KTime start, KTime stop, KTime period, KTime delta)
{
    SmartSchedule schedule(start, delta);
    KTime t = start;
    KTime previousPlot = SaturatedAdd(start, -delta.Get());
    KTime plotTime = start;
    while (plotTime <= stop)
    {
        plotTime = run.smart ? schedule.PlotTime(t, previousPlot) : t;
        EvaluateAt(run, plotTime);
        AppendSample(run, plotTime, run.smart && plotTime == schedule.nextKey, schedule.members);
        if (run.smart)
            schedule.Advance(run, plotTime);

        previousPlot = plotTime;
        if (plotTime >= t)
        {
            long long next;
            if (__builtin_add_overflow(t.Get(), period.Get(), &next))
                break; // no later regular sample exists
            t = KTime(next);
        }
    }
}

// The smart keys refined against the dense plot.
void Refine(PlotRun& run, const KSmartPlotOptions& options, KTime delta)
{
    KFCurveNode* smartResult = run.smartResult.get();
    KFCurveNode* denseResult = run.denseResult.get();
    if (options.mBreakTangents)
        KFCURVE_BreakTangents(smartResult, denseResult, delta, options.mBreakThreshold);
    if (options.mIncreaseFidelity)
        KFCURVE_IncreaseFidelity(smartResult, denseResult, options.mFidelityTolerance, options.mFidelitySubdivisions,
                                 options.mFidelityBreaksTangents, delta, options.mBreakThreshold, false, nullptr,
                                 nullptr);
}

// The plotted leaf curves, taken off their result node. The first owner of
// a curve gets the curve itself, every later one a copy; curves that find no
// owner are destroyed with this object.
class PlottedCurves
{
public:
    PlottedCurves(KFCurveNode* plotted, const LeafLayout& layout)
        : mCurves(static_cast<size_t>(layout.Count()))
        , mUnowned(mCurves.size())
    {
        for (int i = 0; i < layout.Count(); ++i)
            if (KFCurveNode* holder = LeafLayout::Follow(plotted, layout.Path(i)))
            {
                mCurves[i] = holder->FCurveSet(nullptr, false);
                mUnowned[i].reset(mCurves[i]);
            }
    }

    bool Has(int leaf) const { return mCurves[leaf] != nullptr; }

    KFCurve* Take(int leaf)
    {
        if (!mCurves[leaf])
            return nullptr;
        if (mUnowned[leaf])
            return mUnowned[leaf].release();
        Destroyed<KFCurve> copy(KFCurveCreate());
        copy->CopyFrom(*mCurves[leaf], true);
        return copy.release();
    }

private:
    std::vector<KFCurve*> mCurves;
    std::vector<Destroyed<KFCurve>> mUnowned;
};

// Sets each leaf curve of a layer to the neutral value over the span.
void ResetLayer(KFCurveNode* layer, const PlotRun& run, KTime start, KTime stop)
{
    for (int i = 0; i < run.layout.Count(); ++i)
    {
        KFCurve* curve = LeafCurve(layer, run.layout, i);
        if (!curve)
            continue;
        const double neutral = run.layout.Identity(run.layout.Combining(), i);
        KFCurve neutralCurve;
        neutralCurve.SetValue(static_cast<float>(neutral));
        neutralCurve.CandidateSet(KTime(0), neutral);
        curve->Replace(&neutralCurve, start, stop, false, true);
    }
}

// Resets the listed layers (all without a list, but for the target layer
// when it takes the plot) or removes them, as the flags ask.
void MaintainLayers(const PlotRun& run, int targetLayerId, unsigned int flags, KTime start, KTime stop)
{
    KFCurveNode* node = run.node;
    KArrayTemplate<int>* layerIds = run.layerIds;
    if (flags & KFCURVE_PLOT_RESET_LAYERS)
    {
        const bool keepsTarget = (flags & (KFCURVE_PLOT_REPLACE_KEYS | KFCURVE_PLOT_REPLACE_CURVES)) != 0;
        if (!layerIds)
        {
            for (KFCurveNode* layer = node; layer; layer = layer->LayerGet())
                if (!(keepsTarget && layer->GetLayerID() == targetLayerId))
                    ResetLayer(layer, run, start, stop);
        }
        else
        {
            for (int i = 0; i < layerIds->GetCount(); ++i)
                if (KFCurveNode* layer = node->LayerGet((*layerIds)[i]))
                    ResetLayer(layer, run, start, stop);
        }
        return;
    }
    if (!(flags & KFCURVE_PLOT_REMOVE_LAYERS) || !layerIds)
        return;
    for (int i = 0; i < layerIds->GetCount(); ++i)
    {
        const int id = (*layerIds)[i];
        if ((flags & KFCURVE_PLOT_REPLACE_KEYS) && id == targetLayerId)
            continue;
        if (id == 0)
        {
            for (int leaf = 0; leaf < run.layout.Count(); ++leaf)
                if (KFCurve* curve = LeafCurve(node, run.layout, leaf))
                    curve->KeyClear();
        }
        else if (node->LayerGet(id))
        {
            node->RemoveLayer(id, true);
        }
    }
}

// Whether the plotted curve of a leaf goes to its holder: always where the
// holder has a curve; where it has none, only when the plot has a value of
// the leaf's own (a neutral stand-in would override what the leaf shows).
bool Placed(const PlotRun& run, int leaf, KFCurveNode* holder)
{
    return holder->FCurveGet() || run.sourced[static_cast<size_t>(leaf)];
}

// Gives each node of the destination at a leaf's path the plotted curve.
void PlaceInDestination(KFCurveNode* destination, PlottedCurves& plotted, const PlotRun& run)
{
    for (int i = 0; i < run.layout.Count(); ++i)
        if (plotted.Has(i))
            if (KFCurveNode* holder = LeafLayout::Follow(destination, run.layout.Path(i)))
                if (Placed(run, i, holder))
                    holder->FCurveReplace(plotted.Take(i));
}

// The target layer's keys over the span replaced by the plotted ones.
void ReplaceTargetKeys(KFCurveNode* layer, PlottedCurves& plotted, const LeafLayout& layout, KTime start, KTime stop)
{
    Destroyed<KFCurveNode> clone(layer->CloneTemplate(false, false, false, -1));
    for (int i = 0; i < layout.Count(); ++i)
    {
        KFCurveNode* holder = LeafLayout::Follow(clone.get(), layout.Path(i));
        if (holder && plotted.Has(i))
            holder->FCurveSet(plotted.Take(i), true);
    }
    layer->Replace(clone.get(), start, stop, false, true);
}

// The target layer's curves replaced by the plotted ones, which keep the
// replaced curves' default value, colour and data flag.
void ReplaceTargetCurves(KFCurveNode* layer, PlottedCurves& plotted, const PlotRun& run)
{
    for (int i = 0; i < run.layout.Count(); ++i)
    {
        if (!plotted.Has(i))
            continue;
        KFCurveNode* holder = LeafLayout::Follow(layer, run.layout.Path(i));
        if (!holder || !Placed(run, i, holder))
            continue;
        KFCurve* curve = plotted.Take(i);
        if (KFCurve* current = holder->FCurveGet())
        {
            curve->SetValue(current->GetValue());
            curve->SetColor(current->GetColor());
            curve->SetWasData(current->GetWasData());
        }
        holder->FCurveReplace(curve);
    }
}

} // namespace

void KFCurve_PlotInLayers(KFCurveNode* node, KArrayTemplate<int>* layerIds, int targetLayerId, unsigned int flags,
                          KTime start, KTime stop, KTime period, KFCurveNode* destination, KFCurveNode* wanted,
                          bool useTimeWarp, KSmartPlotOptions* options)
{
    if (!node)
        return;
    // The sampling loop must end: a positive period and a bounded number of
    // regular samples.
    if (period <= KTime(0))
        return;
    if (start <= stop && kfcurveutils_detail::SampleCount(start, stop, period) < 0)
        return;

    const bool smart = options && options->mSmartPlot;
    const KTime delta = options ? options->mTimeDelta : KTime(0);
    PlotRun run(node, layerIds, targetLayerId, wanted, useTimeWarp, smart);
    Sample(run, start, stop, period, delta);
    if (smart)
        Refine(run, *options, delta);

    KFCurveNode* plottedNode = (smart && !options->mKeepDensePlot) ? run.smartResult.get() : run.denseResult.get();
    PlottedCurves plotted(plottedNode, run.layout);
    MaintainLayers(run, targetLayerId, flags, start, stop);

    if (destination)
        PlaceInDestination(destination, plotted, run);
    if (flags & KFCURVE_PLOT_REPLACE_KEYS)
    {
        if (KFCurveNode* layer = FindOrCreateLayer(node, targetLayerId))
            ReplaceTargetKeys(layer, plotted, run.layout, start, stop);
    }
    else if (flags & KFCURVE_PLOT_REPLACE_CURVES)
    {
        if (KFCurveNode* layer = FindOrCreateLayer(node, targetLayerId))
            ReplaceTargetCurves(layer, plotted, run);
    }
}
