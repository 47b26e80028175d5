// Curve node values one per leaf: each value read from the leaf it belongs
// to, whatever members lack a curve in one layer or another.

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvelayer_internal.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurvenode_internal.h"

#include <vector>

using namespace kfcurvelayer_detail;
using namespace kfcurvenode_detail;

int KFCurveNode::GetLeafCount()
{
    return LeafLayout(this).Count();
}

KFCurveNode* KFCurveNode::GetLeaf(int leaf)
{
    const LeafLayout layout(this);
    return leaf >= 0 && leaf < layout.Count() ? LeafLayout::Follow(this, layout.Path(leaf)) : nullptr;
}

double* KFCurveNode::GetLeafValues(double* leaves)
{
    const LeafLayout layout(this);
    for (int i = 0; i < layout.Count(); ++i)
        if (KFCurveNode* holder = LeafLayout::Follow(this, layout.Path(i)))
            if (KFCurve* curve = holder->FCurveGet())
                leaves[i] = curve->GetValue();
    return leaves + layout.Count();
}

double* KFCurveNode::EvaluateLeaves(double* leaves, KTime time, int* index, bool candidate)
{
    int localIndex = 0;
    if (!index)
        index = &localIndex;
    const LeafLayout layout(this);
    time = MapTime(time, candidate);

    // A total candidate set on the node is stored one value per curve of
    // the base layer (a quaternion as its four members): each goes to the
    // leaf its curve stands on.
    if (candidate && IsCandidate() && CandidateTotalMethod() == KFCURVENODE_CANDIDATE_SET && mLayerID == 0 &&
        (mCandidateTotalValue.GetTime() == time || (mFlags & eCandidateAnyTime) != 0))
    {
        std::vector<int> map;
        layout.MapValues(this, mLayerID, map);
        const int stored = mCandidateTotalValue.GetCount();
        for (int k = 0; k < static_cast<int>(map.size()) && k < stored; ++k)
            if (map[static_cast<size_t>(k)] >= 0)
                leaves[map[static_cast<size_t>(k)]] = mCandidateTotalValue.Get(k);
        return leaves + layout.Count();
    }

    LeafValues(layout, this, mLayerID, candidate).Evaluate(time, index, leaves, leaves, nullptr);
    for (KFCurveNode* layer = mNextLayer; layer; layer = layer->mNextLayer)
        LeafValues(layout, layer, layer->mLayerID, candidate)
            .Fold(layout, CombiningType(this, layer->mLayerType), time, index, leaves, nullptr);
    return leaves + layout.Count();
}
