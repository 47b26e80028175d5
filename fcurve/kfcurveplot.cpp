#include "fcurve/kfcurveplot.h"

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvelayer.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurveutils.h"

#include <vector>

namespace {

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

// Detaches member m's curve from a node and returns it.
KFCurve* DetachMemberCurve(KFCurveNode* node, int member)
{
    if (node->GetCount() == 0)
        return member == 0 ? node->FCurveSet(nullptr, false) : nullptr;
    KFCurveNode* child = node->Get(member);
    return child ? child->FCurveSet(nullptr, false) : nullptr;
}

// Gives member m of a node a curve, destroying the one it had.
bool PlaceMemberCurve(KFCurveNode* node, int member, KFCurve* curve)
{
    if (node->GetCount() == 0)
    {
        if (member != 0)
            return false;
        node->FCurveReplace(curve);
        return true;
    }
    KFCurveNode* child = node->Get(member);
    if (!child)
        return false;
    child->FCurveReplace(curve);
    return true;
}

// Position of member m's value in the node's value array (own curve first,
// then each child's values).
int MemberOffset(KFCurveNode* node, int member)
{
    int offset = node->FCurveGet() ? 1 : 0;
    if (node->GetCount() == 0)
        return 0;
    for (int i = 0; i < member && i < node->GetCount(); ++i)
        if (KFCurveNode* child = node->Get(i))
            offset += child->GetValueCount();
    return offset;
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

// An empty result node shaped like the node.
KFCurveNode* ResultNode(KFCurveNode* node)
{
    KFCurveNode* result = node->CloneTemplate(true, false, false, -1);
    result->CreateFCurve();
    return result;
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

    // ---- Setup -------------------------------------------------------------
    const bool smart = options && options->mSmartPlot;
    const bool solve = wanted != nullptr;
    const int memberCount = node->GetCount() > 0 ? node->GetCount() : (node->FCurveGet() ? 1 : 0);
    int layerCount = 0;
    for (KFCurveNode* layer = node; layer; layer = layer->LayerGet())
        ++layerCount;

    std::vector<KFCurveSmartMergeInfos> infoStore;
    std::vector<KFCurveSmartMergeInfos*> infos;
    KFCurveNode* smartResult = nullptr;
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
    KFCurveNode* denseResult = ResultNode(node);
    KFCurveNode* timeWarp = useTimeWarp ? node->TimeWarpGet() : nullptr;

    KArrayTemplate<KFCurveNode*> below(16), above(16);
    if (solve)
        KFCurve_PrepareForSolving(node, layerIds, targetLayerId, below, above);

    int valueCount = node->GetValueCount();
    if (wanted && wanted->GetValueCount() > valueCount)
        valueCount = wanted->GetValueCount();
    if (valueCount < 4)
        valueCount = 4;
    valueCount += 4;
    std::vector<double> values(valueCount, 0.0), wantedValues(valueCount, 0.0), previous(valueCount, 0.0);
    std::vector<double> warpValues((timeWarp ? timeWarp->GetValueCount() : 0) + 4, 0.0);
    bool havePrevious = false;

    std::vector<int> offsets(memberCount > 0 ? memberCount : 1, 0);
    for (int m = 0; m < memberCount; ++m)
        offsets[m] = MemberOffset(node, m);

    // ---- Sampling ------------------------------------------------------------
    KTime t = start;
    KTime delta = options ? options->mTimeDelta : KTime(0);
    KTime nextKey = start;
    KTime before = SaturatedAdd(nextKey, -delta.Get());
    KTime after = SaturatedAdd(nextKey, delta.Get());
    KTime previousPlot = SaturatedAdd(start, -delta.Get());
    KTime plotTime = start;
    KArrayTemplate<int> members(16);
    int hint = -1, wantedHint = -1, warpHint = -1;

    while (plotTime <= stop)
    {
        plotTime = t;
        if (smart)
        {
            const KTime candidates[3] = {before, nextKey, after};
            for (const KTime& c : candidates)
                if (c > previousPlot && c < t)
                {
                    plotTime = c;
                    break;
                }
        }

        KTime evaluationTime = plotTime;
        if (timeWarp)
        {
            timeWarp->Evaluate(warpValues.data(), plotTime, &warpHint);
            evaluationTime.SetSecondDouble(warpValues[0]);
        }

        if (!solve)
        {
            node->GetZeroValues(values.data());
            KFCurve_CandidateEvaluateInLayersRecursive(node, values.data(), evaluationTime, layerIds, 0, &hint);
        }
        else
        {
            wanted->EvaluateSpecificLayer(wantedValues.data(), evaluationTime, wanted->GetLayerID(), &wantedHint);
            if (!havePrevious)
            {
                previous = wantedValues;
                havePrevious = true;
            }
            KFCurve_CandidateSolveInLayers(node, values.data(), wantedValues.data(), evaluationTime, below, above, 0,
                                           &hint, previous.data());
            previous = values;
        }

        const bool onKey = smart && plotTime == nextKey;
        if (node->GetCount() == 0)
        {
            if (node->FCurveGet())
            {
                if (onKey)
                    smartResult->FCurveGet()->KeyAppendFast(plotTime, static_cast<float>(values[0]));
                denseResult->FCurveGet()->KeyAppendFast(plotTime, static_cast<float>(values[0]));
            }
        }
        else
        {
            if (!solve && denseResult->GetLayerType() == KFCL_EULER_XYZ)
                denseResult->GetContinuousRotation(values.data(), values.data(), plotTime);
            if (onKey)
                for (int i = 0; i < members.GetCount(); ++i)
                {
                    const int m = members[i];
                    if (m < memberCount)
                        if (KFCurve* curve = MemberCurve(smartResult, m))
                            curve->KeyAppendFast(plotTime, static_cast<float>(values[offsets[m]]));
                }
            denseResult->KeyAppend(plotTime, values.data(), false);
        }

        if (smart)
        {
            if (plotTime >= nextKey)
            {
                KTime current = plotTime;
                nextKey = GetNextSmartPlotTime(&current, infos.data(), layerCount, &members);
                before = nextKey == KTIME_INFINITE ? KTIME_INFINITE : SaturatedAdd(nextKey, -delta.Get());
            }
            if (plotTime >= after)
                after = nextKey == KTIME_INFINITE ? KTIME_INFINITE : SaturatedAdd(nextKey, delta.Get());
        }

        previousPlot = plotTime;
        if (plotTime >= t)
        {
            long long next;
            if (__builtin_add_overflow(t.Get(), period.Get(), &next))
                break; // no later regular sample exists
            t = KTime(next);
        }
    }

    // ---- Refinement ------------------------------------------------------------
    if (smart)
    {
        if (options->mBreakTangents)
            KFCURVE_BreakTangents(smartResult, denseResult, delta, options->mBreakThreshold);
        if (options->mIncreaseFidelity)
            KFCURVE_IncreaseFidelity(smartResult, denseResult, options->mFidelityTolerance,
                                     options->mFidelitySubdivisions, options->mFidelityBreaksTangents, delta,
                                     options->mBreakThreshold, false, nullptr, nullptr);
    }

    // ---- Hand-over ---------------------------------------------------------------
    KFCurveNode* plottedNode = (smart && !options->mKeepDensePlot) ? smartResult : denseResult;
    std::vector<KFCurve*> plotted(memberCount > 0 ? memberCount : 1, nullptr);
    std::vector<bool> owned(plotted.size(), false); // handed to an owner
    for (int m = 0; m < memberCount; ++m)
        plotted[m] = DetachMemberCurve(plottedNode, m);

    // ---- Layer maintenance ----------------------------------------------------------
    const bool keepsTarget = (flags & (KFCURVE_PLOT_REPLACE_KEYS | KFCURVE_PLOT_REPLACE_CURVES)) != 0;
    if (flags & KFCURVE_PLOT_RESET_LAYERS)
    {
        std::vector<double> zero(node->GetValueCount() + 4, 0.0);
        node->GetZeroValues(zero.data());
        auto reset = [&](KFCurveNode* layer) {
            for (int m = 0; m < memberCount; ++m)
            {
                KFCurve* curve = MemberCurve(layer, m);
                if (!curve)
                    continue;
                const double neutral = zero[offsets[m]];
                KFCurve neutralCurve;
                neutralCurve.SetValue(static_cast<float>(neutral));
                neutralCurve.CandidateSet(KTime(0), neutral);
                curve->Replace(&neutralCurve, start, stop, false, true);
            }
        };
        if (!layerIds)
        {
            for (KFCurveNode* layer = node; layer; layer = layer->LayerGet())
                if (!(keepsTarget && layer->GetLayerID() == targetLayerId))
                    reset(layer);
        }
        else
        {
            for (int i = 0; i < layerIds->GetCount(); ++i)
                if (KFCurveNode* layer = node->LayerGet((*layerIds)[i]))
                    reset(layer);
        }
    }
    else if ((flags & KFCURVE_PLOT_REMOVE_LAYERS) && layerIds)
    {
        for (int i = 0; i < layerIds->GetCount(); ++i)
        {
            const int id = (*layerIds)[i];
            if ((flags & KFCURVE_PLOT_REPLACE_KEYS) && id == targetLayerId)
                continue;
            if (id == 0)
            {
                for (int m = 0; m < memberCount; ++m)
                    if (KFCurve* curve = MemberCurve(node, m))
                        curve->KeyClear();
            }
            else if (node->LayerGet(id))
            {
                node->RemoveLayer(id, true);
            }
        }
    }

    // ---- Placement -------------------------------------------------------------------
    // A curve already given to one owner goes to a second one as a copy.
    auto take = [&](int m) -> KFCurve* {
        if (!plotted[m])
            return nullptr;
        if (!owned[m])
        {
            owned[m] = true;
            return plotted[m];
        }
        KFCurve* copy = new KFCurve;
        copy->CopyFrom(*plotted[m], true);
        return copy;
    };

    if (destination)
    {
        for (int m = 0; m < memberCount; ++m)
        {
            if (!plotted[m])
                continue;
            const bool fits = destination->GetCount() == 0 ? m == 0 : m < destination->GetCount();
            if (fits)
                PlaceMemberCurve(destination, m, take(m));
        }
    }

    if (flags & KFCURVE_PLOT_REPLACE_KEYS)
    {
        if (KFCurveNode* layer = FindOrCreateLayer(node, targetLayerId))
        {
            KFCurveNode* clone = layer->CloneTemplate(false, false, false, -1);
            for (int m = 0; m < memberCount; ++m)
            {
                KFCurveNode* holder = clone->GetCount() == 0 ? (m == 0 ? clone : nullptr) : clone->Get(m);
                if (holder && plotted[m])
                    holder->FCurveSet(take(m), true);
            }
            layer->Replace(clone, start, stop, false, true);
            clone->Destroy();
        }
    }
    else if (flags & KFCURVE_PLOT_REPLACE_CURVES)
    {
        if (KFCurveNode* layer = FindOrCreateLayer(node, targetLayerId))
        {
            for (int m = 0; m < memberCount; ++m)
            {
                if (!plotted[m])
                    continue;
                KFCurveNode* holder = layer->GetCount() == 0 ? (m == 0 ? layer : nullptr) : layer->Get(m);
                if (!holder)
                    continue;
                KFCurve* curve = take(m);
                if (KFCurve* current = holder->FCurveGet())
                {
                    curve->SetColor(current->GetColor());
                    curve->SetWasData(current->GetWasData());
                }
                holder->FCurveReplace(curve);
            }
        }
    }

    // Plotted curves that found no owner are released.
    for (size_t m = 0; m < plotted.size(); ++m)
        if (plotted[m] && !owned[m])
            plotted[m]->Destroy();

    if (smartResult)
        smartResult->Destroy();
    denseResult->Destroy();
}
