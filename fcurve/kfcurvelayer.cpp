// Layer-type arithmetic, solving in layers and the time-warp set.

#include "fcurve/kfcurvelayer.h"

#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurvenode_internal.h"

#include "base/kgeometry.h"
#include "base/kmath_kernels.h"
#include "base/kmath_vn.h"
#include "base/kset.h"

#include <algorithm>
#include <cmath>

using namespace kfcurvenode_detail;

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
    int room = 0;
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
    switch (node->GetLayerType())
    {
    case KFCL_NOLAYER:
    case KFCL_ADD:
    {
        int n = MemberCount(node);
        for (int i = 0; i < n; ++i)
            out[i] = first[i] + second[i];
        break;
    }
    case KFCL_MULT:
    {
        int n = MemberCount(node);
        for (int i = 0; i < n; ++i)
            out[i] = first[i] * second[i];
        break;
    }
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

void InverseValuesAlongLayerType(KFCurveNode* node, double* out, double* in)
{
    if (!node)
        return;
    int n = MemberCount(node);
    switch (node->GetLayerType())
    {
    case KFCL_NOLAYER:
    case KFCL_ADD:
        for (int i = 0; i < n; ++i)
            out[i] = -in[i];
        break;
    case KFCL_MULT:
        for (int i = 0; i < n; ++i)
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

// The values of each listed layer folded together from the neutral values.
static void SumLayers(KFCurveNode* node, double* sum, int count, KTime time, KArrayTemplate<KFCurveNode*>& layers,
                      int* index)
{
    node->GetZeroValues(sum);
    for (int i = 0; i < layers.GetCount(); ++i)
    {
        KFCurveNode* layer = layers[i];
        if (!layer)
            continue;
        ValueBuffer values(count);
        layer->EvaluateSpecificLayer(values.Data(), time, layer->GetLayerID(), index);
        AddValuesAlongLayerType(layer, sum, sum, values.Data());
    }
}

void KFCurve_CandidateSolveInLayers(KFCurveNode* node, double* out, double* wanted, KTime time,
                                    KArrayTemplate<KFCurveNode*>& below, KArrayTemplate<KFCurveNode*>& above, int,
                                    int* index, double* previous)
{
    if (!node)
        return;
    const int count = KFCurve_LayerValueRoom(node) + 8;
    ValueBuffer sumBelow(count), sumAbove(count), inverse(count);
    SumLayers(node, sumBelow.Data(), count, time, below, index);
    SumLayers(node, sumAbove.Data(), count, time, above, index);

    int members = MemberCount(node);
    for (int i = 0; i < members; ++i)
        out[i] = wanted[i];
    if (below.GetCount() > 0)
    {
        InverseValuesAlongLayerType(node, inverse.Data(), sumBelow.Data());
        AddValuesAlongLayerType(node, out, inverse.Data(), out);
    }
    if (above.GetCount() > 0)
    {
        InverseValuesAlongLayerType(node, inverse.Data(), sumAbove.Data());
        AddValuesAlongLayerType(node, out, out, inverse.Data());
    }
    int order = node->GetRotationOrder();
    if (node->GetLayerType() == KFCL_EULER_XYZ && previous && order >= 0 && order < 12)
        KVNGetContinuousRotation(out, out, previous, KmEulerAxis[order]);
}

void KFCurve_CandidateEvaluateInLayersRecursive(KFCurveNode* node, double* accumulator, KTime time,
                                                KArrayTemplate<int>* layerIds, int listIndex, int* index)
{
    // Walked as a loop; the walk ends with the chain or, with a list, once
    // every listed id has been passed.
    int k = listIndex;
    while (node)
    {
        bool fold = false;
        if (!layerIds)
            fold = true;
        else
        {
            if (k < 0 || k >= layerIds->GetCount())
                return;
            int id = (*layerIds)[k];
            if (node->GetLayerID() == id)
                fold = true;
            else if (node->GetLayerID() > id)
            {
                k++;
                continue;
            }
            else
            {
                node = node->LayerGet();
                continue;
            }
        }
        if (fold)
        {
            ValueBuffer values(LayerRoom(node) + 8);
            node->EvaluateSpecificLayer(values.Data(), time, node->GetLayerID(), index);
            AddValuesAlongLayerType(node, accumulator, accumulator, values.Data());
            node = node->LayerGet();
            k++;
        }
    }
}
