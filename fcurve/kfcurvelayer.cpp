// Layer-type arithmetic, solving in layers and the time-warp set.

#include "fcurve/kfcurvelayer.h"

#include "fcurve/kfcurvelayer_internal.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurvenode_internal.h"

#include "base/kgeometry.h"
#include "base/kmath_kernels.h"
#include "base/kmath_vn.h"
#include "base/kset.h"

#include <algorithm>
#include <cmath>
#include <vector>

using namespace kfcurvenode_detail;
using namespace kfcurvelayer_detail;

namespace {

// One set per thread: each read or write installs its own on the thread that
// stores or retrieves its channels, and no other thread sees it.
KSet*& TimeWarpSet()
{
    static thread_local KSet* sSet = nullptr;
    return sSet;
}

// Members of a node for the layer arithmetic: the children, at least one
// when the node has its own curve.
int MemberCount(KFCurveNode* node)
{
    int n = node->GetCount();
    if (n < 1 && node->FCurveGet())
        n = 1;
    return n;
}

// Room one layer's values need: as many as it holds, as its evaluation at
// its own id writes (a member may hold that layer in another shape), and
// one per member for the layer arithmetic.
int LayerRoom(KFCurveNode* layer)
{
    const int values = std::max(layer->GetValueCount(), layer->GetSpecificLayerValueCount(layer->GetLayerID()));
    return std::max(values, MemberCount(layer));
}

} // namespace

int KFCurve_LayerValueRoom(KFCurveNode* node)
{
    if (!node)
        return 0;
    int room = LeafLayout(node).Count();
    for (KFCurveNode* layer = node; layer; layer = layer->LayerGet())
        room = std::max(room, LayerRoom(layer));
    return room;
}

void KFCurve_SetTWSet(KSet* set)
{
    TimeWarpSet() = set;
}

KFCurveNode* KFCurve_FindTWFromNickNumber(int nick)
{
    KSet* set = TimeWarpSet();
    if (!set)
        return nullptr;
    for (int i = 0; i < set->GetCount(); ++i)
    {
        kReference key = 0;
        kReference value = set->GetFromIndex(i, &key);
        if (static_cast<int>(key) == nick)
            return reinterpret_cast<KFCurveNode*>(value);
    }
    return nullptr;
}

bool KFCurve_FindNickNumberFromTW(int& nick, KFCurveNode* timeWarp)
{
    KSet* set = TimeWarpSet();
    if (!set || !timeWarp)
        return false;
    for (int i = 0; i < set->GetCount(); ++i)
    {
        kReference key = 0;
        kReference value = set->GetFromIndex(i, &key);
        if (reinterpret_cast<KFCurveNode*>(value) == timeWarp)
        {
            nick = static_cast<int>(key);
            return true;
        }
    }
    return false;
}

bool AxisAlignmentInEulerAngle(double* p0, double* p1, double* p2, double* angles)
{
    double d1[3], d2[3];
    for (int i = 0; i < 3; ++i)
    {
        d1[i] = p1[i] - p0[i];
        d2[i] = p2[i] - p0[i];
    }
    for (double* d : {d1, d2})
    {
        double length = sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        if (length > 0.0)
            for (int i = 0; i < 3; ++i)
                d[i] /= length;
    }
    bool same = true;
    bool opposite = true;
    for (int i = 0; i < 3; ++i)
    {
        if (fabs(d1[i] - d2[i]) > 0.001)
            same = false;
        if (fabs(d1[i] + d2[i]) > 0.001)
            opposite = false;
    }
    if (same)
    {
        angles[0] = angles[1] = angles[2] = 0.0;
        return true;
    }
    if (opposite)
    {
        angles[0] = 180.0;
        angles[1] = angles[2] = 0.0;
        return true;
    }
    KgeQuaternion q;
    GetQuaternionFromPositionToPosition(q, KgeTVector(d1[0], d1[1], d1[2]), KgeTVector(d2[0], d2[1], d2[2]));
    KgeRMatrix r;
    KmQtoR(r, q);
    double result[3];
    KmRtoVXYZ(result, r);
    for (int i = 0; i < 3; ++i)
        angles[i] = result[i];
    return true;
}

void AddValuesAlongLayerType(KFCurveNode* node, double* out, double* first, double* second)
{
    if (!node)
        return;
    CombineValues(CombiningType(node, node->GetLayerType()), MemberCount(node), out, first, second);
}

void InverseValuesAlongLayerType(KFCurveNode* node, double* out, double* in)
{
    if (!node)
        return;
    InvertValues(CombiningType(node, node->GetLayerType()), MemberCount(node), out, in);
}

void KFCurve_PrepareForSolving(KFCurveNode* node, KArrayTemplate<int>* layerIds, int targetLayerId,
                               KArrayTemplate<KFCurveNode*>& below, KArrayTemplate<KFCurveNode*>& above)
{
    if (!node)
        return;
    KArrayTemplate<KFCurveNode*> layers;
    if (!layerIds)
        for (KFCurveNode* layer = node; layer; layer = layer->LayerGet())
            layers.Add(layer);
    else
        for (int i = 0; i < layerIds->GetCount(); ++i)
        {
            KFCurveNode* layer = node->LayerGet((*layerIds)[i]);
            if (layer)
                layers.Add(layer);
        }
    int i = 0;
    const int n = layers.GetCount();
    while (i < n && layers[i]->GetLayerID() < targetLayerId)
        below.Add(layers[i++]);
    while (i < n && layers[i]->GetLayerID() <= targetLayerId)
        i++;
    while (i < n && layers[i]->GetLayerID() != 0)
        above.Add(layers[i++]);
}

void KFCurve_CandidateSolveInLayers(KFCurveNode* node, double* out, double* wanted, KTime time,
                                    KArrayTemplate<KFCurveNode*>& below, KArrayTemplate<KFCurveNode*>& above, int,
                                    int* index, double* previous)
{
    if (!node)
        return;
    LeafLayout layout(node);
    LayerFold foldBelow(layout), foldAbove(layout);
    for (int i = 0; i < below.GetCount(); ++i)
        if (below[i])
            foldBelow.Add(below[i]);
    for (int i = 0; i < above.GetCount(); ++i)
        if (above[i])
            foldAbove.Add(above[i]);
    SolveForLayer(layout, foldBelow, foldAbove, wanted, time, index, previous, out);
}

void KFCurve_CandidateEvaluateInLayersRecursive(KFCurveNode* node, double* accumulator, KTime time,
                                                KArrayTemplate<int>* layerIds, int listIndex, int* index)
{
    if (!node)
        return;
    LeafLayout layout(node);
    for (KFCurveNode* layer : ListedLayers(node, layerIds, listIndex))
        LeafValues(layout, layer, layer->GetLayerID())
            .Fold(layout, CombiningType(node, layer->GetLayerType()), time, index, accumulator, nullptr);
}

// ---------------------------------------------------------------------------
// Leaf layout
// ---------------------------------------------------------------------------

namespace kfcurvelayer_detail {

int CombiningType(KFCurveNode* node, int layerType)
{
    const int angles = layerType == KFCL_EULER_XYZ ? 3 : (layerType == KFCL_QUAT ? 4 : 0);
    if (angles == 0)
        return layerType;
    bool shaped = node->GetCount() == angles;
    for (int i = 0; shaped && i < angles; ++i)
        shaped = node->Get(i) && node->Get(i)->GetCount() == 0;
    return shaped ? layerType : KFCL_NOLAYER;
}

void CombineValues(int type, int count, double* out, const double* first, const double* second)
{
    switch (type)
    {
    case KFCL_NOLAYER:
    case KFCL_ADD:
        for (int i = 0; i < count; ++i)
            out[i] = first[i] + second[i];
        break;
    case KFCL_MULT:
        for (int i = 0; i < count; ++i)
            out[i] = first[i] * second[i];
        break;
    case KFCL_EULER_XYZ:
    {
        // The first rotation applies first, as a layer's own rotation does
        // before the next layer's in evaluation.
        KgeRMatrix a, b, product;
        KmXYZtoR(a, first[0], first[1], first[2]);
        KmXYZtoR(b, second[0], second[1], second[2]);
        KmRR(product, b, a);
        double angles[3];
        KmRtoVXYZ(angles, product);
        for (int i = 0; i < 3; ++i)
            out[i] = angles[i];
        break;
    }
    case KFCL_QUAT:
    {
        double q[4];
        KmQQ(q, first, second);
        for (int i = 0; i < 4; ++i)
            out[i] = q[i];
        break;
    }
    default: break;
    }
}

void InvertValues(int type, int count, double* out, const double* in)
{
    switch (type)
    {
    case KFCL_NOLAYER:
    case KFCL_ADD:
        for (int i = 0; i < count; ++i)
            out[i] = -in[i];
        break;
    case KFCL_MULT:
        for (int i = 0; i < count; ++i)
            out[i] = 1.0 / in[i];
        break;
    case KFCL_EULER_XYZ:
    {
        KgeRMatrix r;
        KmXYZtoR(r, in[0], in[1], in[2]);
        KmRi(r, r);
        double angles[3];
        KmRtoVXYZ(angles, r);
        for (int i = 0; i < 3; ++i)
            out[i] = angles[i];
        break;
    }
    case KFCL_QUAT:
    {
        double w = in[3];
        out[0] = -in[0];
        out[1] = -in[1];
        out[2] = -in[2];
        out[3] = w;
        break;
    }
    default: break;
    }
}

LeafLayout::LeafLayout(KFCurveNode* node)
    : mNode(node)
    , mCombining(CombiningType(node, node->GetLayerType()))
{
    std::vector<int> path;
    Collect(node, nullptr, path);
}

void LeafLayout::Collect(KFCurveNode* node, KFCurveNode* parent, std::vector<int>& path)
{
    if (node->GetCount() == 0)
    {
        // The neutral value of the parent's type for this member; of the
        // node's own curve for a node without children.
        const double fallback = parent ? NeutralValue(CombiningType(parent, parent->GetLayerType()), path.back())
                                       : NeutralValue(node->GetLayerType(), -1);
        mLeafOf[node] = Count();
        mLeaves.push_back(Leaf{path, fallback});
        return;
    }
    for (int i = 0; i < node->GetCount(); ++i)
    {
        KFCurveNode* child = node->Get(i);
        if (!child)
            continue;
        path.push_back(i);
        Collect(child, node, path);
        path.pop_back();
    }
}

int LeafLayout::MemberLeaf(int member) const
{
    if (mNode->GetCount() == 0)
        return member == 0 ? 0 : -1;
    KFCurveNode* child = mNode->Get(member);
    if (!child || child->GetCount() != 0)
        return -1;
    auto found = mLeafOf.find(child);
    return found == mLeafOf.end() ? -1 : found->second;
}

KFCurveNode* LeafLayout::Follow(KFCurveNode* root, const std::vector<int>& path)
{
    if (!root)
        return nullptr;
    if (path.empty())
        return root->GetCount() == 0 ? root : nullptr;
    KFCurveNode* node = root;
    for (int i : path)
    {
        node = node->Get(i);
        if (!node)
            return nullptr;
    }
    return node;
}

double LeafLayout::Identity(int type, int leaf) const
{
    // Rotations and quaternions combine only over the node's own members.
    return NeutralValue(type, type == KFCL_QUAT ? leaf : 0);
}

void LeafLayout::MapValues(KFCurveNode* node, int layerId, std::vector<int>& map) const
{
    map.clear();
    if (node)
        MapInto(node, layerId, mNode, map);
}

// Walks the node as KFCurveNode::EvaluateLayer does, beside its counterpart
// in the layout's node (matched by child index, null once the shapes part).
void LeafLayout::MapInto(KFCurveNode* node, int layerId, KFCurveNode* counterpart, std::vector<int>& map) const
{
    KFCurveNode* layer = node->LayerGet(node->GetCorrectLayerID(layerId));
    if (!layer)
        return;
    const bool leaf = counterpart && counterpart->GetCount() == 0;
    if (layer->FCurveGet())
    {
        auto found = leaf ? mLeafOf.find(counterpart) : mLeafOf.end();
        map.push_back(found == mLeafOf.end() ? -1 : found->second);
    }
    const bool rotation = MemberLayerType(layer) == KFCL_EULER_XYZ;
    for (int i = 0; i < layer->GetCount(); ++i)
    {
        KFCurveNode* child = layer->Get(i);
        if (!child)
            continue;
        KFCurveNode* next = (counterpart && !leaf) ? counterpart->Get(i) : nullptr;
        MapInto(child, rotation ? child->GetLayerID() : layerId, next, map);
    }
}

LeafValues::LeafValues(const LeafLayout& layout, KFCurveNode* node, int layerId, bool candidate)
    : mNode(node)
    , mLayerId(layerId)
    , mCandidate(candidate)
    , mLeafCount(layout.Count())
{
    layout.MapValues(node, layerId, mMap);
    // The map counts what evaluation writes; the room is kept for any value
    // the count of the node gives beyond it.
    const size_t room = std::max(mMap.size(), static_cast<size_t>(node->GetSpecificLayerValueCount(layerId)));
    mScratch.assign(room + 4, 0.0);
}

void LeafValues::Evaluate(KTime time, int* index, const double* fill, double* out, std::vector<char>* covered)
{
    if (fill != out)
        std::copy(fill, fill + mLeafCount, out);
    ForEachLeafValue(time, index, covered, [out](int leaf, double value) { out[leaf] = value; });
}

template <class Use>
void LeafValues::ForEachLeafValue(KTime time, int* index, std::vector<char>* covered, Use use)
{
    double* end = mCandidate ? mNode->CandidateEvaluateSpecificLayer(mScratch.data(), time, mLayerId, index)
                             : mNode->EvaluateSpecificLayer(mScratch.data(), time, mLayerId, index);
    const int written = std::min(static_cast<int>(end - mScratch.data()), static_cast<int>(mMap.size()));
    for (int k = 0; k < written; ++k)
    {
        const int leaf = mMap[static_cast<size_t>(k)];
        if (leaf < 0)
            continue;
        use(leaf, mScratch[static_cast<size_t>(k)]);
        if (covered)
            (*covered)[static_cast<size_t>(leaf)] = 1;
    }
}

void LayerFold::Add(KFCurveNode* layer)
{
    mLayers.emplace_back(mLayout, layer, layer->GetLayerID());
}

void LeafValues::Fold(const LeafLayout& layout, int type, KTime time, int* index, double* out,
                      std::vector<char>* covered)
{
    if (type == KFCL_EULER_XYZ || type == KFCL_QUAT)
    {
        // Three or four leaves (see CombiningType).
        mLeaves.resize(static_cast<size_t>(mLeafCount) + 4);
        for (int i = 0; i < mLeafCount; ++i)
            mLeaves[static_cast<size_t>(i)] = layout.Identity(type, i);
        Evaluate(time, index, mLeaves.data(), mLeaves.data(), covered);
        CombineValues(type, mLeafCount, out, out, mLeaves.data());
        return;
    }
    if (type != KFCL_NOLAYER && type != KFCL_ADD && type != KFCL_MULT)
        return;
    // Neutral values change nothing: only the leaves given values take part,
    // so that a layer costs what it writes.
    ForEachLeafValue(time, index, covered,
                     [type, out](int leaf, double value) { CombineValues(type, 1, out + leaf, out + leaf, &value); });
}

void LayerFold::Evaluate(KTime time, int* index, double* out, std::vector<char>* covered)
{
    const int count = mLayout.Count();
    KFCurveNode* node = mLayout.Node();
    const int start = mLayout.Combining();
    for (int i = 0; i < count; ++i)
        out[i] = mLayout.Identity(start, i);
    for (LeafValues& layer : mLayers)
        layer.Fold(mLayout, CombiningType(node, layer.Node()->GetLayerType()), time, index, out, covered);
}

std::vector<KFCurveNode*> ListedLayers(KFCurveNode* node, KArrayTemplate<int>* layerIds, int listIndex)
{
    // The walk ends with the chain or, with a list, once every listed id has
    // been passed.
    std::vector<KFCurveNode*> layers;
    int k = listIndex;
    while (node)
    {
        if (layerIds)
        {
            if (k < 0 || k >= layerIds->GetCount())
                break;
            const int id = (*layerIds)[k];
            if (node->GetLayerID() > id)
            {
                k++;
                continue;
            }
            if (node->GetLayerID() < id)
            {
                node = node->LayerGet();
                continue;
            }
        }
        layers.push_back(node);
        node = node->LayerGet();
        k++;
    }
    return layers;
}

void SolveForLayer(const LeafLayout& layout, LayerFold& below, LayerFold& above, const double* wanted, KTime time,
                   int* index, const double* previous, double* out)
{
    const int count = layout.Count();
    const int type = layout.Combining();
    std::vector<double> sum(static_cast<size_t>(count) + 4), inverse(static_cast<size_t>(count) + 4);
    for (int i = 0; i < count; ++i)
        out[i] = wanted[i];
    if (!below.Empty())
    {
        below.Evaluate(time, index, sum.data(), nullptr);
        InvertValues(type, count, inverse.data(), sum.data());
        CombineValues(type, count, out, inverse.data(), out);
    }
    if (!above.Empty())
    {
        above.Evaluate(time, index, sum.data(), nullptr);
        InvertValues(type, count, inverse.data(), sum.data());
        CombineValues(type, count, out, out, inverse.data());
    }
    const int order = layout.Node()->GetRotationOrder();
    if (type == KFCL_EULER_XYZ && previous && order >= 0 && order < 12)
        KVNGetContinuousRotation(out, out, previous, KmEulerAxis[order]);
}

} // namespace kfcurvelayer_detail
