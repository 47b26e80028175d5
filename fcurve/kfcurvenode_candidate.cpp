// Curve node candidates: the total candidate of a node, its conversion into
// the candidate of one layer, keying, clearing, and the saved candidate state.
//
// The total candidate is stored for every value of the node: the own curve's
// value first, then the members (a quaternion node keeps its quaternion, X,
// Y, Z, W, and shows it as Euler XYZ angles).

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurvenode_internal.h"

#include "base/kmath_kernels.h"
#include "base/kmath_vn.h"

#include <algorithm>
#include <vector>

using namespace kfcurvenode_detail;

namespace {

// Number of values of the node in the form the candidates store them. Only
// members of a quaternion's shape are stored as one (see MemberLayerType).
int StoreCount(KFCurveNode* node)
{
    int own = node->FCurveGet() ? 1 : 0;
    if (MemberLayerType(node) == KFCL_QUAT)
        return own + 4;
    return node->GetValueCount();
}

// Number of values a node takes from a candidate array, as evaluation
// writes them (Euler angles for a quaternion node, at any depth).
int InputCount(KFCurveNode* node)
{
    int count = node->FCurveGet() ? 1 : 0;
    if (MemberLayerType(node) == KFCL_QUAT && node->GetLayerID() == 0)
        return count + 3;
    for (int i = 0; i < node->GetCount(); ++i)
        if (KFCurveNode* child = node->Get(i))
            count += InputCount(child);
    return count;
}

bool QuaternionBase(KFCurveNode* node)
{
    return MemberLayerType(node) == KFCL_QUAT && node->GetLayerID() == 0;
}

// Position of child i's first value among the node's values.
int ChildOffset(KFCurveNode* node, int child)
{
    int offset = node->FCurveGet() ? 1 : 0;
    if (MemberLayerType(node) == KFCL_QUAT)
        return offset + child;
    for (int i = 0; i < child; ++i)
        if (node->Get(i))
            offset += node->Get(i)->GetValueCount();
    return offset;
}

// Quaternion of Euler XYZ angles in degrees.
void EulerXYZToQuaternion(double* q, const double* angles)
{
    KgeRMatrix r;
    KmXYZtoR(r, angles[0], angles[1], angles[2]);
    q[0] = 0.0;
    q[1] = 0.0;
    q[2] = 0.0;
    q[3] = 1.0;
    KmRtoQ(q, r);
}

} // namespace

namespace kfcurvenode_detail {

double* EvaluatedToStored(KFCurveNode* node, const double*& in, double* out)
{
    if (node->FCurveGet())
        *out++ = *in++;
    if (QuaternionBase(node))
    {
        EulerXYZToQuaternion(out, in);
        in += 3;
        return out + 4;
    }
    for (int i = 0; i < node->GetCount(); ++i)
        if (KFCurveNode* child = node->Get(i))
            out = EvaluatedToStored(child, in, out);
    return out;
}

double* StoredToEvaluated(KFCurveNode* node, const double*& in, double* out)
{
    if (node->FCurveGet())
        *out++ = *in++;
    if (QuaternionBase(node))
    {
        KgeRMatrix r;
        KmQtoR(r, in);
        KmRtoVXYZ(out, r);
        in += 4;
        return out + 3;
    }
    for (int i = 0; i < node->GetCount(); ++i)
        if (KFCurveNode* child = node->Get(i))
            out = StoredToEvaluated(child, in, out);
    return out;
}

} // namespace kfcurvenode_detail

double* KFCurveNode::CandidateSet(KTime time, double* values, int layerId, int childIndex)
{
    if (!values)
        return values;
    const int inputCount = InputCount(this);
    if (mLayerID != 0)
        return values + inputCount;

    const int id = GetCorrectLayerID(layerId);
    time = MapTime(time, true);
    const int own = mFCurve ? 1 : 0;
    const bool quaternion = MemberLayerType(this) == KFCL_QUAT;

    // The total in stored form.
    const int storeCount = StoreCount(this);
    ValueBuffer total(storeCount + 4);
    const double* in = values;
    EvaluatedToStored(this, in, total.Data());

    // Values without keys in any layer take the candidate at once as their
    // constant value in the target layer.
    std::vector<char> mask(static_cast<size_t>(GetCount()) + 1, 0);
    bool anyMarked = false;
    if (!mParent && mFCurve)
    {
        int keys = 0;
        for (KFCurveNode* node = this; node; node = node->mNextLayer)
            if (node->mFCurve)
                keys += node->mFCurve->KeyGetCount();
        if (keys == 0)
            mask[0] = anyMarked = true;
    }
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i) && KeyGetCountOnChild(i) == 0 && (childIndex < 0 || childIndex == i))
            mask[static_cast<size_t>(i) + 1] = anyMarked = true;
    if (anyMarked)
    {
        ValueBuffer layerValues(storeCount + 4);
        ComputeCandidateForLayer(layerValues.Data(), total.Data(), time, id, nullptr);
        KFCurveNode* layer = LayerGet(id);
        if (!layer)
        {
            CreateLayerAt(id);
            layer = LayerGet(id);
        }
        if (layer)
        {
            if (mask[0] && layer->mFCurve)
            {
                layer->mFCurve->SetValue(static_cast<float>(layerValues[0]));
                layer->mFCurve->CandidateClear();
            }
            for (int i = 0; i < GetCount() && i < layer->GetCount(); ++i)
            {
                KFCurveNode* child = layer->Get(i);
                if (!mask[static_cast<size_t>(i) + 1] || !child || !child->mFCurve)
                    continue;
                child->mFCurve->SetValue(static_cast<float>(layerValues[ChildOffset(this, i)]));
                child->mFCurve->CandidateClear();
            }
        }
    }

    SetCandidateMethods(KFCURVENODE_CANDIDATE_SET, KFCURVENODE_CANDIDATE_SET);
    mCandidateTotalValue.SetTime(time);
    if (childIndex < 0)
        mCandidateTotalValue.Set(total.Data(), storeCount);
    else
    {
        mCandidateTotalValue.SetCount(storeCount);
        if (own)
            mCandidateTotalValue[0] = total[0];
        int first = ChildOffset(this, childIndex);
        int count = quaternion ? 4 : (Get(childIndex) ? Get(childIndex)->GetValueCount() : 0);
        for (int i = first; i < first + count && i < storeCount; ++i)
            mCandidateTotalValue[i] = total[i];
    }

    // The members.
    if (quaternion)
    {
        for (int i = 0; i < 4 && i < GetCount(); ++i)
            if (Get(i) && (childIndex < 0 || childIndex == i))
                Get(i)->CandidateSet(time, total.Data() + own + i, layerId, -1);
        return values + inputCount;
    }
    double* p = values + own;
    for (int i = 0; i < GetCount(); ++i)
    {
        KFCurveNode* child = Get(i);
        if (!child)
            continue;
        if (childIndex < 0 || childIndex == i)
            p = child->CandidateSet(time, p, layerId, -1);
        else
            p += InputCount(child);
    }
    return p;
}

double* KFCurveNode::CandidateSetSpecificLayer(KTime time, double* values, int layerId)
{
    if (!values)
        return values;
    return CandidateSetSpecificLayerInternal(MapTime(time, true), values, layerId);
}

double* KFCurveNode::CandidateSetSpecificLayerInternal(KTime time, double* values, int layerId)
{
    SetCandidateMethods(KFCURVENODE_CANDIDATE_NONE, KFCURVENODE_CANDIDATE_NONE);
    if (mLayerID == layerId)
    {
        double* p = values;
        if (mFCurve)
        {
            mFCurve->CandidateSet(time, *p);
            if (mFCurve->KeyGetCount() == 0)
                mFCurve->SetValue(static_cast<float>(*p));
            p++;
        }
        for (int i = 0; i < GetCount(); ++i)
            if (Get(i))
                p = Get(i)->CandidateSetSpecificLayerInternal(time, p, Get(i)->mLayerID);
        return p;
    }
    // A layer below this node cannot be reached from here.
    if (layerId < mLayerID)
        return values + GetValueCount();
    if (mNextLayer && mNextLayer->mLayerID <= layerId)
        return mNextLayer->CandidateSetSpecificLayerInternal(time, values, layerId);
    KFCurveNode* layer;
    if (!mNextLayer)
        layer = LayerCreate(layerId, true);
    else
    {
        KFCurveNode* base = mObjectLayer ? mObjectLayer : this;
        layer = base->IsMultiLayer() ? MakeLayer(layerId) : nullptr;
        if (layer)
        {
            LinkLayerAfter(layer);
            FireOnObjectLayer(KFCURVENODEEVENT_CTRLCURVE);
        }
    }
    if (!layer)
        return values + GetValueCount();
    return layer->CandidateSetSpecificLayerInternal(time, values, layerId);
}

double* KFCurveNode::CandidateGet(double* values, int)
{
    if (!values || CandidateTotalMethod() != KFCURVENODE_CANDIDATE_SET)
        return values;
    return WriteTotalCandidate(values);
}

double* KFCurveNode::CandidateGetWithTime(double* values, KTime& time)
{
    double* p = values;
    if (mFCurve)
    {
        *p++ = mFCurve->CandidateGet();
        time = mFCurve->CandidateGetTime();
    }
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i))
            p = Get(i)->CandidateGetWithTime(p, time);
    return p;
}

double* KFCurveNode::CandidateGetTotalCandidate(double* values, KTime& time)
{
    time = mCandidateTotalValue.GetTime();
    int n = mCandidateTotalValue.GetCount();
    for (int i = 0; i < n; ++i)
        values[i] = mCandidateTotalValue.Get(i);
    return values + n;
}

double* KFCurveNode::CandidateGetSpecificLayer(double* values, KTime& time, int layerId)
{
    if (CandidateTotalMethod() == KFCURVENODE_CANDIDATE_SET && CandidateSpecificMethod() == KFCURVENODE_CANDIDATE_SET)
    {
        if (LayerGet(layerId))
            FromTotalCandidateToSpecificCandidate(layerId);
        else if (!mNextLayer)
        {
            time = mCandidateTotalValue.GetTime();
            return ComputeCandidateForLayer(values, mCandidateTotalValue.GetArray(), mCandidateTotalValue.GetTime(),
                                            layerId, nullptr);
        }
    }
    KFCurveNode* layer = LayerGet(layerId);
    if (layer)
        return layer->CandidateGetWithTime(values, time);
    return GetZeroValues(values);
}

void KFCurveNode::FromTotalCandidateToSpecificCandidate(int layerId)
{
    if (mLayerID != 0 || CandidateTotalMethod() != KFCURVENODE_CANDIDATE_SET ||
        CandidateSpecificMethod() != KFCURVENODE_CANDIDATE_SET)
        return;
    // A quaternion node computes the layer's quaternion, which its members
    // take as it is.
    ValueBuffer layerValues(StoreCount(this) + 4);
    KTime time = mCandidateTotalValue.GetTime();
    ComputeCandidateForLayer(layerValues.Data(), mCandidateTotalValue.GetArray(), time, layerId, nullptr);
    CandidateSetSpecificLayerInternal(time, layerValues.Data(), layerId);
}

double* KFCurveNode::ComputeCandidateForLayer(double* layerValues, double* totalValues, KTime time, int layerId,
                                              int* index)
{
    const int own = mFCurve ? 1 : 0;
    const int n = StoreCount(this);
    GetZeroValues(layerValues);
    if (own)
        layerValues[0] = totalValues[0];
    switch (MemberLayerType(this))
    {
    case KFCL_NOLAYER:
    case KFCL_ADD:
    {
        ValueBuffer sum(n + 4);
        for (int i = 0; i < sum.Count(); ++i)
            sum[i] = 0.0;
        EvaluateCurvesExceptLayerRecursiveAdd(sum.Data(), time, layerId, index);
        for (int i = own; i < n; ++i)
            layerValues[i] = totalValues[i] - sum[i];
        break;
    }
    case KFCL_MULT:
    {
        ValueBuffer product(n + 4);
        for (int i = 0; i < product.Count(); ++i)
            product[i] = 1.0;
        EvaluateCurvesExceptLayerRecursiveMult(product.Data(), time, layerId, index);
        // Another layer scaled to 0 leaves nothing to solve: the neutral
        // value stays.
        for (int i = own; i < n; ++i)
            if (product[i] != 0.0)
                layerValues[i] = totalValues[i] / product[i];
        break;
    }
    case KFCL_EULER_XYZ:
    {
        if (n - own < 3)
            break;
        KSSRotationOrder order(mRotationOrder);
        KgeRMatrix below, above, wanted, aboveInverse, belowInverse, right, layer;
        EvaluateCurvesBeforeLayerRecursiveEulerXYZ(below, time, layerId, index);
        EvaluateCurvesAfterLayerRecursiveEulerXYZ(above, time, layerId, index);
        order.V2M(wanted, totalValues + own);
        KmRi(aboveInverse, above);
        KmRi(belowInverse, below);
        KmRR(right, aboveInverse, wanted);
        KmRR(layer, right, belowInverse);
        order.M2V(layerValues + own, layer);
        break;
    }
    case KFCL_QUAT:
    {
        double below[4] = {0.0, 0.0, 0.0, 1.0};
        double above[4] = {0.0, 0.0, 0.0, 1.0};
        EvaluateCurvesBeforeLayerRecursiveQuat(below, time, layerId, index);
        EvaluateCurvesAfterLayerRecursiveQuat(above, time, layerId, index);
        for (int i = 0; i < 3; ++i)
        {
            below[i] = -below[i];
            above[i] = -above[i];
        }
        double right[4];
        KmQQ(right, totalValues + own, above);
        KmQQ(layerValues + own, below, right);
        break;
    }
    default: break;
    }
    return layerValues + n;
}

void KFCurveNode::CandidateClearInternal(bool withSubLayers)
{
    if (mFCurve)
        mFCurve->CandidateClear();
    mCandidateTotalValue.SetTime(KTIME_INFINITE);
    SetCandidateMethods(KFCURVENODE_CANDIDATE_NONE, KFCURVENODE_CANDIDATE_NONE);
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i))
            Get(i)->CandidateClearInternal(withSubLayers);
    if (withSubLayers)
        CandidateClearSubLayers();
}

void KFCurveNode::CandidateClear(int layerId, bool withSubLayers)
{
    int id = GetCorrectLayerID(layerId);
    for (KFCurveNode* node = this; node; node = node->mNextLayer)
    {
        if (node->mLayerID == id)
        {
            node->CandidateClearInternal(withSubLayers);
            return;
        }
        if (node->mNextLayer && node->mNextLayer->mLayerID > id)
            return;
    }
}

void KFCurveNode::CandidateClearSubLayers()
{
    std::vector<KFCurveNode*> layers;
    for (KFCurveNode* node = mNextLayer; node; node = node->mNextLayer)
        layers.push_back(node);
    for (size_t i = layers.size(); i-- > 0;)
        layers[i]->CandidateClearInternal(false);
}

bool KFCurveNode::CandidateKey(int* index, int layerId, bool* mask, bool valuesAreLayer, int interpolation,
                               int tangentMode, bool tangentBreak, bool setAllFields, KTime time, double tolerance)
{
    KFCurveNode* base = mObjectLayer ? mObjectLayer : this;
    const int id = GetCorrectLayerID(layerId);
    const int n = StoreCount(this);
    ValueBuffer values(n + 4);
    GetZeroValues(values.Data());

    // 1. The values and the time of the candidate.
    KTime candidateTime = KTIME_INFINITE;
    bool haveValues = false;
    if (IsCandidate())
    {
        for (int i = 0; i < n; ++i)
            values[i] = mCandidateTotalValue.Get(i);
        candidateTime = mCandidateTotalValue.GetTime();
        haveValues = true;
    }
    else
    {
        // Candidates set directly on the layer's curves are the layer's values.
        KFCurveNode* layer = LayerGet(id);
        KTime layerTime = KTIME_INFINITE;
        if (layer)
        {
            ValueBuffer layerValues(layer->GetValueCount() + 4);
            layer->CandidateGetWithTime(layerValues.Data(), layerTime);
            if (layerTime != KTIME_INFINITE && layer->GetValueCount() <= n)
            {
                for (int i = 0; i < layer->GetValueCount(); ++i)
                    values[i] = layerValues[i];
                candidateTime = layerTime;
                haveValues = true;
                valuesAreLayer = true;
            }
        }
    }

    // 2. The time: an infinite time takes the candidate's, and the reverse.
    if (time == KTIME_INFINITE)
        time = candidateTime;
    else
    {
        time = MapTime(time, true);
        if (candidateTime == KTIME_INFINITE || !haveValues)
        {
            ValueBuffer shown(GetValueCount() + 4);
            EvaluateInternal(shown.Data(), time, nullptr, true);
            for (int i = 0; i < n; ++i)
                values[i] = mCandidateTotalValue.Get(i);
            haveValues = true;
        }
    }

    // 3. Nothing to key without a time.
    if (time == KTIME_INFINITE || !haveValues)
    {
        base->CandidateClear(0, true);
        return false;
    }

    // 4. The layer's values.
    ValueBuffer layerValues(n + 4);
    if (valuesAreLayer)
        for (int i = 0; i < n; ++i)
            layerValues[i] = values[i];
    else
        ComputeCandidateForLayer(layerValues.Data(), values.Data(), time, id, index);
    if (MemberLayerType(this) == KFCL_EULER_XYZ && mRotationOrder >= 0 && mRotationOrder < 12)
    {
        KFCurveNode* layer = LayerGet(id);
        int own = mFCurve ? 1 : 0;
        if (layer && n - own >= 3)
        {
            ValueBuffer current(std::max(layer->GetValueCount(), layer->GetSpecificLayerValueCount(id)) + 4);
            double* end = layer->EvaluateSpecificLayer(current.Data(), time, id, nullptr);
            if (end - current.Data() >= own + 3)
                KVNGetContinuousRotation(layerValues.Data() + own, layerValues.Data() + own, current.Data() + own,
                                         KmEulerAxis[mRotationOrder]);
        }
    }

    // 5. Set, key, clear.
    CandidateSetSpecificLayerInternal(time, layerValues.Data(), id);
    bool keyed = CandidateKeySpecificLayer(index, id, mask, interpolation, tangentMode, tangentBreak, setAllFields,
                                           time, tolerance);
    base->CandidateClear(0, true);
    return keyed;
}

bool KFCurveNode::CandidateKeySpecificLayer(int* index, int layerId, bool* mask, int interpolation, int tangentMode,
                                            bool tangentBreak, bool setAllFields, KTime time, double tolerance)
{
    int id = GetCorrectLayerID(layerId);
    if (mLayerID != id)
    {
        if (mNextLayer && mNextLayer->mLayerID <= id)
            return mNextLayer->CandidateKeySpecificLayer(index, layerId, mask, interpolation, tangentMode, tangentBreak,
                                                         setAllFields, time, tolerance);
        return false;
    }
    bool keyed = false;
    if (mFCurve && (mask == nullptr || mask[0]))
        keyed = mFCurve->CandidateKey(index, interpolation, tangentMode, tangentBreak, setAllFields, time, tolerance) ==
                    0 ||
                keyed;
    for (int i = 0; i < GetCount(); ++i)
    {
        KFCurveNode* child = Get(i);
        if (!child || (mask != nullptr && !mask[i]))
            continue;
        if (child->CandidateKeySpecificLayer(index, child->mLayerID, mask ? mask + i : nullptr, interpolation,
                                             tangentMode, tangentBreak, setAllFields, time, tolerance))
            keyed = true;
    }
    return keyed;
}

void KFCurveNode::GetCandidateState(KFCurveNodeCandidateState& state)
{
    state.ClearSubStates();
    state.mTotalCandidateMethod = CandidateTotalMethod();
    state.mSpecificCandidateMethod = CandidateSpecificMethod();
    state.mCandidateTotalValue = mCandidateTotalValue.Read();
    state.mCandidateTotalTime = mCandidateTotalValue.GetTime();
    state.mLayerID = mLayerID;
    if (mFCurve)
    {
        state.mCandidateSpecificValue = mFCurve->CandidateGet();
        state.mCandidateSpecificTime = mFCurve->CandidateGetTime();
        state.mFCurveValue = mFCurve->GetValue();
    }
    for (int i = 0; i < GetCount(); ++i)
    {
        auto sub = std::make_unique<KFCurveNodeCandidateState>();
        if (Get(i))
            Get(i)->GetCandidateState(*sub);
        state.mSubStates.push_back(std::move(sub));
    }
    if (mNextLayer)
    {
        state.mLayerState = std::make_unique<KFCurveNodeCandidateState>();
        mNextLayer->GetCandidateState(*state.mLayerState);
    }
}

void KFCurveNode::SetCandidateState(const KFCurveNodeCandidateState& state, bool removeOtherLayers)
{
    if (mLayerID == 0 && removeOtherLayers)
    {
        std::vector<int> remove;
        for (KFCurveNode* node = mNextLayer; node; node = node->mNextLayer)
        {
            bool kept = false;
            for (const KFCurveNodeCandidateState* s = state.mLayerState.get(); s; s = s->mLayerState.get())
                if (s->mLayerID == node->mLayerID)
                    kept = true;
            if (!kept)
                remove.push_back(node->mLayerID);
        }
        for (int id : remove)
            RemoveLayer(id, true);
    }
    SetCandidateMethods(state.mTotalCandidateMethod, state.mSpecificCandidateMethod);
    mCandidateTotalValue = state.mCandidateTotalValue;
    mCandidateTotalValue.SetTime(state.mCandidateTotalTime);
    if (mFCurve)
    {
        mFCurve->CandidateSet(state.mCandidateSpecificTime, state.mCandidateSpecificValue);
        mFCurve->SetValue(static_cast<float>(state.mFCurveValue));
    }
    for (int i = 0; i < GetCount() && i < static_cast<int>(state.mSubStates.size()); ++i)
        if (Get(i) && state.mSubStates[i])
            Get(i)->SetCandidateState(*state.mSubStates[i], false);
    if (mNextLayer && state.mLayerState)
        mNextLayer->SetCandidateState(*state.mLayerState, false);
}
