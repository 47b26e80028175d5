// Curve node evaluation: plain, general (time warp, layers, rotations,
// cached candidates), per layer, and the layer products used by solving.

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvelayer_internal.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurvenode_internal.h"

#include "base/kmath_kernels.h"
#include "base/kmath_vn.h"

#include <algorithm>
#include <cmath>
#include <vector>

using namespace kfcurvenode_detail;
using kfcurvelayer_detail::CombineValues;
using kfcurvelayer_detail::LeafLayout;

namespace {

double Dot4(const double* a, const double* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
}

void Negate4(double* q)
{
    for (int i = 0; i < 4; ++i)
        q[i] = -q[i];
}

// Quaternion of the rotation of Euler angles (in the order) taken relative to
// the reference rotation: rotation first, then the inverse of the reference.
void RelativeQuaternion(double* q, const KSSRotationOrder& order, const double* angles, const KgeRMatrix& reference)
{
    KgeRMatrix r;
    order.V2M(r, angles);
    KgeRMatrix rel;
    KmRiR(rel, reference, r);
    q[0] = 0.0;
    q[1] = 0.0;
    q[2] = 0.0;
    q[3] = 1.0;
    KmRtoQ(q, rel);
}

// The keyed segment a quaternion interpolation runs over: the three angle
// curves, keys a and b of the first one, the rotation order, the reference
// rotation (key a's) and the key rotations relative to it.
struct RotationSegment
{
    KFCurve* curves[3] = {nullptr, nullptr, nullptr};
    int a = 0, b = 0;
    KTime ta, tb;
    double sa = 0.0, sb = 0.0, dt = 0.0; // key times and span in seconds
    KSSRotationOrder order;
    KgeRMatrix reference;
    double va[3], vb[3];
    double qa[4] = {0.0, 0.0, 0.0, 1.0};
    double qb[4];
};

void AnglesAt(KFCurve* const* curves, KTime t, double* v)
{
    for (int i = 0; i < 3; ++i)
        v[i] = curves[i]->Evaluate(t, nullptr);
}

// The relative rotation of the keys at time t, on the same half of the
// quaternion sphere as the segment key `near`.
void NeighbourQuaternion(const RotationSegment& s, KTime t, const double* near, double* q)
{
    double v[3];
    AnglesAt(s.curves, t, v);
    RelativeQuaternion(q, s.order, v, s.reference);
    if (Dot4(q, near) < 0.0)
        Negate4(q);
}

// The secant from `from` to `to` over the given seconds, or the segment's
// own when there is no such neighbour.
void Secant(double* out, const double* from, const double* to, double seconds, bool present, const double* segment)
{
    for (int i = 0; i < 4; ++i)
        out[i] = present ? (to[i] - from[i]) / seconds : segment[i];
}

// The weights of the incoming and outgoing secants in a TCB key's tangent
// on its outgoing (right) or incoming (left) side.
void TcbWeights(KFCurve* curve, int key, bool outgoing, double& incoming, double& outgoingWeight)
{
    const double tension = curve->KeyGetDataFloat(key, KFCURVEKEY_TCB_TENSION);
    const double continuity = curve->KeyGetDataFloat(key, KFCURVEKEY_TCB_CONTINUITY);
    const double bias = curve->KeyGetDataFloat(key, KFCURVEKEY_TCB_BIAS);
    if (outgoing)
    {
        incoming = (1.0 - tension) * (1.0 + continuity) * (1.0 + bias) * 0.5;
        outgoingWeight = (1.0 - tension) * (1.0 - continuity) * (1.0 - bias) * 0.5;
    }
    else
    {
        incoming = (1.0 - tension) * (1.0 - continuity) * (1.0 + bias) * 0.5;
        outgoingWeight = (1.0 - tension) * (1.0 + continuity) * (1.0 - bias) * 0.5;
    }
}

// The inner control rotation of a key with slope tangents: the angles one
// third of the span along each curve's slope, out of key a or into key b.
void SlopeControl(const RotationSegment& s, bool outOfA, double* control)
{
    double v[3];
    for (int i = 0; i < 3; ++i)
    {
        if (outOfA)
        {
            const double slope =
                i == 0 ? s.curves[0]->KeyGetRightDerivative(s.a) : s.curves[i]->EvaluateRightDerivative(s.ta, nullptr);
            v[i] = s.va[i] + slope * s.dt / 3.0;
        }
        else
        {
            const double slope =
                i == 0 ? s.curves[0]->KeyGetLeftDerivative(s.b) : s.curves[i]->EvaluateLeftDerivative(s.tb, nullptr);
            v[i] = s.vb[i] - slope * s.dt / 3.0;
        }
    }
    RelativeQuaternion(control, s.order, v, s.reference);
}

// The four Bezier control rotations of the segment: the keys' rotations and
// between them a third of the straight secant (linear keys), of each TCB
// key's quaternion tangent, or of the curves' own slopes; each on the half of
// the quaternion sphere of the one before.
void SegmentControls(const RotationSegment& s, bool linear, int count, double control[4][4])
{
    double segment[4];
    for (int i = 0; i < 4; ++i)
    {
        control[0][i] = s.qa[i];
        control[3][i] = s.qb[i];
        segment[i] = (s.qb[i] - s.qa[i]) / s.dt;
    }
    if (linear)
    {
        for (int i = 0; i < 4; ++i)
        {
            control[1][i] = s.qa[i] + segment[i] * s.dt / 3.0;
            control[2][i] = s.qb[i] - segment[i] * s.dt / 3.0;
        }
    }
    else
    {
        KFCurve* x = s.curves[0];
        if (x->KeyGetTangeantMode(s.a) == KFCURVE_TANGEANT_TCB)
        {
            // Outgoing tangent of key a, from the key before it.
            double qp[4] = {0.0, 0.0, 0.0, 1.0}, incoming[4], before, after;
            bool hasPrevious = s.a > 0;
            double dtPrevious = s.dt;
            if (hasPrevious)
            {
                const KTime tp = x->KeyGetTime(s.a - 1);
                NeighbourQuaternion(s, tp, s.qa, qp);
                dtPrevious = s.sa - tp.GetSecondDouble();
                hasPrevious = dtPrevious > 0.0;
            }
            Secant(incoming, qp, s.qa, dtPrevious, hasPrevious, segment);
            TcbWeights(x, s.a, true, before, after);
            for (int i = 0; i < 4; ++i)
            {
                const double tangent = before * incoming[i] + after * segment[i];
                control[1][i] = s.qa[i] + tangent * s.dt / 3.0;
            }
        }
        else
        {
            SlopeControl(s, true, control[1]);
        }
        if (x->KeyGetTangeantMode(s.b) == KFCURVE_TANGEANT_TCB)
        {
            // Incoming tangent of key b, toward the key after it.
            double qn[4] = {0.0, 0.0, 0.0, 1.0}, outgoing[4], before, after;
            bool hasNext = s.b < count - 1;
            double dtNext = s.dt;
            if (hasNext)
            {
                const KTime tn = x->KeyGetTime(s.b + 1);
                NeighbourQuaternion(s, tn, s.qb, qn);
                dtNext = tn.GetSecondDouble() - s.sb;
                hasNext = dtNext > 0.0;
            }
            Secant(outgoing, s.qb, qn, dtNext, hasNext, segment);
            TcbWeights(x, s.b, false, before, after);
            for (int i = 0; i < 4; ++i)
            {
                const double tangent = before * segment[i] + after * outgoing[i];
                control[2][i] = s.qb[i] - tangent * s.dt / 3.0;
            }
        }
        else
        {
            SlopeControl(s, false, control[2]);
        }
    }
    for (int k = 1; k < 4; ++k)
        if (Dot4(control[k - 1], control[k]) < 0.0)
            Negate4(control[k]);
}

// The point at u of the Bezier of four quaternions (de Casteljau: three
// blends, then two, then one).
void BlendControls(const double control[4][4], double u, double* out)
{
    double level[4][4];
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i < 4; ++i)
            level[k][i] = control[k][i];
    for (int n = 3; n > 0; --n)
    {
        for (int k = 0; k < n; ++k)
        {
            double left[4], right[4];
            KVNScale(left, level[k], 1.0 - u, 4);
            KVNScale(right, level[k + 1], u, 4);
            KVNAdd(level[k], left, right, 4);
        }
    }
    for (int i = 0; i < 4; ++i)
        out[i] = level[0][i];
}

// Combines a layer's values into the node's by the leaf each stands on
// (members matched by child index), added or multiplied: a member without a
// curve in one of the two takes nothing from the other. False, with nothing
// done, when the values are not one per curve of the leaves (a member
// evaluated in another shape).
bool CombineOnLeaves(KFCurveNode* node, int type, double* members, int memberCount, const double* layer, int layerCount)
{
    const LeafLayout layout(node);
    std::vector<int> own, other;
    layout.MapValues(node, node->GetLayerID(), own);
    layout.MapValues(node->LayerGet(), node->LayerGet()->GetLayerID(), other);
    if (static_cast<int>(own.size()) != memberCount || static_cast<int>(other.size()) != layerCount)
        return false;
    std::vector<int> valueOf(static_cast<size_t>(layout.Count()), -1);
    for (int k = 0; k < memberCount; ++k)
        if (own[static_cast<size_t>(k)] >= 0)
            valueOf[static_cast<size_t>(own[static_cast<size_t>(k)])] = k;
    for (int k = 0; k < layerCount; ++k)
    {
        const int leaf = other[static_cast<size_t>(k)];
        const int at = leaf >= 0 ? valueOf[static_cast<size_t>(leaf)] : -1;
        if (at >= 0)
            CombineValues(type == KFCL_MULT ? KFCL_MULT : KFCL_ADD, 1, members + at, members + at, layer + k);
    }
    return true;
}

// The angles of a rotation node's layer, written one per curve, placed on
// the three members they belong to; false when they are of another shape.
bool AnglesOnLeaves(KFCurveNode* node, const double* layer, int layerCount, double* angles)
{
    const LeafLayout layout(node);
    std::vector<int> map;
    layout.MapValues(node->LayerGet(), node->LayerGet()->GetLayerID(), map);
    if (layout.Count() != 3 || static_cast<int>(map.size()) != layerCount)
        return false;
    for (int k = 0; k < layerCount; ++k)
        if (map[static_cast<size_t>(k)] >= 0)
            angles[map[static_cast<size_t>(k)]] = layer[k];
    return true;
}

} // namespace

KTime KFCurveNode::MapTime(KTime time, bool candidate)
{
    KFCurveNode* timeWarp = TimeWarpGet();
    if (!timeWarp)
        return time;
    ValueBuffer values(timeWarp->GetValueCount() + 4);
    timeWarp->GeneralEvaluate(values.Data(), time, nullptr, candidate);
    KTime mapped;
    mapped.SetSecondDouble(values[0]);
    return mapped;
}

double* KFCurveNode::Evaluate(double* values, KTime time, int* index)
{
    int localIndex = 0;
    if (!index)
        index = &localIndex;
    double* p = values;
    if (mFCurve)
        *p++ = mFCurve->Evaluate(time, index);
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i))
            p = Get(i)->Evaluate(p, time, index);
    return p;
}

double* KFCurveNode::GeneralEvaluate(double* values, KTime time, int* index, bool candidate)
{
    return EvaluateInternal(values, MapTime(time, candidate), index, candidate);
}

double* KFCurveNode::CandidateEvaluate(double* values, KTime time, int* index)
{
    return GeneralEvaluate(values, time, index, true);
}

// The stored total candidate as evaluation writes the node's values: the
// own curve's value, then the members (each quaternion base at any depth
// written as Euler XYZ angles).
double* KFCurveNode::WriteTotalCandidate(double* values)
{
    const int count = GetValueCount();
    ValueBuffer stored(count + 4);
    for (int i = 0; i < count + 4; ++i)
        stored[i] = mCandidateTotalValue.Get(i);
    const double* in = stored.Data();
    return StoredToEvaluated(this, in, values);
}

double* KFCurveNode::EvaluateMembers(double* values, KTime time, int* index, bool candidate)
{
    double* p = values;
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i))
            p = Get(i)->GeneralEvaluate(p, time, index, candidate);
    return p;
}

double* KFCurveNode::EvaluateInternal(double* values, KTime time, int* index, bool candidate)
{
    int localIndex = 0;
    if (!index)
        index = &localIndex;

    if (candidate && IsCandidate() && mLayerID == 0 &&
        (mCandidateTotalValue.GetTime() == time || (mFlags & eCandidateAnyTime) != 0))
        return WriteTotalCandidate(values);

    // Members of a rotation or quaternion type are combined as such only
    // when they have its shape: a quaternion base writes three angles for its
    // four members, never more values than the node holds.
    const int memberType = MemberLayerType(this);
    double quaternion[4] = {0.0, 0.0, 0.0, 1.0};
    const bool quaternionBase = memberType == KFCL_QUAT && mLayerID == 0;

    double* p = values;
    if (mFCurve)
        *p++ = candidate ? mFCurve->CandidateEvaluate(time, index) : mFCurve->Evaluate(time, index);
    double* members = p;

    if (quaternionBase)
    {
        ValueBuffer buffer(GetValueCount() + 4);
        double* end = EvaluateMembers(buffer.Data(), time, index, candidate);
        int written = static_cast<int>(end - buffer.Data());
        for (int i = 0; i < 4 && i < written; ++i)
            quaternion[i] = buffer[i];
    }
    else if (memberType == KFCL_EULER_XYZ)
        p = RotationEvaluateInternal(p, time, index, candidate, false);
    else
        p = EvaluateMembers(p, time, index, candidate);
    int memberCount = static_cast<int>(p - members);

    if (mNextLayer)
    {
        ValueBuffer layer(mNextLayer->GetValueCount() + 4);
        double* layerEnd = mNextLayer->GeneralEvaluate(layer.Data(), time, nullptr, candidate);
        int layerCount = static_cast<int>(layerEnd - layer.Data());
        if (mFCurve)
        {
            if (mLayerType == KFCL_NOLAYER || mLayerType == KFCL_ADD)
                values[0] += layer[0];
            else if (mLayerType == KFCL_MULT)
                values[0] *= layer[0];
        }
        else
        {
            int n = memberCount < layerCount ? memberCount : layerCount;
            switch (memberType)
            {
            case KFCL_NOLAYER:
            case KFCL_ADD:
            case KFCL_MULT:
                if (!CombineOnLeaves(this, memberType, members, memberCount, layer.Data(), layerCount))
                    CombineValues(memberType == KFCL_MULT ? KFCL_MULT : KFCL_ADD, n, members, members, layer.Data());
                break;
            case KFCL_EULER_XYZ:
            {
                // A layer angle without a curve turns nothing.
                double angles[3] = {0.0, 0.0, 0.0};
                const bool placed = layerCount < 3 && AnglesOnLeaves(this, layer.Data(), layerCount, angles);
                if (memberCount >= 3 && (layerCount >= 3 || placed))
                {
                    KSSRotationOrder order(mRotationOrder);
                    KgeRMatrix own, other, product;
                    order.V2M(own, members);
                    order.V2M(other, placed ? angles : layer.Data());
                    KmRR(product, other, own);
                    order.M2V(members, product);
                }
                break;
            }
            case KFCL_QUAT:
                if (layerCount >= 4)
                {
                    if (quaternionBase)
                        KmQQ(quaternion, quaternion, layer.Data());
                    else if (memberCount >= 4)
                        KmQQ(members, members, layer.Data());
                }
                break;
            default: break;
            }
        }
    }

    if (quaternionBase)
    {
        KgeRMatrix r;
        KmQtoR(r, quaternion);
        KmRtoVXYZ(p, r);
        p += 3;
    }

    if (candidate && mLayerID == 0)
    {
        // The values evaluated become the cached candidate; a quaternion
        // node keeps its quaternion so that solving reads one.
        SetCandidateMethods(CandidateTotalMethod(), KFCURVENODE_CANDIDATE_SET);
        mCandidateTotalValue.SetTime(time);
        if (quaternionBase)
        {
            int own = mFCurve ? 1 : 0;
            mCandidateTotalValue.SetCount(own + 4);
            if (own)
                mCandidateTotalValue[0] = values[0];
            for (int i = 0; i < 4; ++i)
                mCandidateTotalValue[own + i] = quaternion[i];
        }
        else
        {
            // Kept one value per curve, as a candidate set on the node is.
            ValueBuffer stored(GetValueCount() + 4);
            const double* in = values;
            double* end = EvaluatedToStored(this, in, stored.Data());
            mCandidateTotalValue.Set(stored.Data(), static_cast<int>(end - stored.Data()));
        }
    }
    return p;
}

double* KFCurveNode::RotationNodeEvaluate(double* values, KTime time, int* index, bool candidate)
{
    int localIndex = 0;
    if (!index)
        index = &localIndex;
    return RotationEvaluateInternal(values, MapTime(time, candidate), index, candidate, false);
}

double* KFCurveNode::RotationEvaluateInternal(double* values, KTime time, int* index, bool candidate,
                                              bool specificLayer)
{
    double* p = values;
    for (int i = 0; i < GetCount(); ++i)
    {
        KFCurveNode* child = Get(i);
        if (!child)
            continue;
        if (specificLayer)
            p = candidate ? child->CandidateEvaluateSpecificLayer(p, time, child->mLayerID, index)
                          : child->EvaluateSpecificLayer(p, time, child->mLayerID, index);
        else
            p = child->GeneralEvaluate(p, time, index, candidate);
    }
    // The members' own evaluation is the result, unless the rotation between
    // two keys is interpolated as quaternions; it is then also the reference
    // that keeps the angles continuous.
    if (p - values >= 3)
        RotationQuaternionInterpolate(values, time, candidate);
    return p;
}

bool KFCurveNode::RotationQuaternionInterpolate(double* values, KTime time, bool candidate)
{
    RotationSegment s;
    for (int i = 0; i < 3; ++i)
    {
        KFCurveNode* node = Get(i);
        if (!node || !node->mFCurve || node->GetCount() != 0)
            return false;
        s.curves[i] = node->mFCurve;
        // A candidate being edited at this very time is shown as it is.
        if (candidate && s.curves[i]->IsCandidate() && s.curves[i]->CandidateGetTime() == time)
            return false;
    }
    KFCurve* x = s.curves[0];
    const int count = x->KeyGetCount();
    if (count < 2 || !GetUseQuaternion())
        return false;

    int hint = 0;
    const double f = x->KeyFindAll(time, &hint);
    const double fa = floor(f);
    const double fb = ceil(f);
    if (fa == fb || fa < 0.0 || fb > static_cast<double>(count - 1))
        return false;
    s.a = static_cast<int>(fa);
    s.b = static_cast<int>(fb);
    const double u = f - fa;

    const unsigned int interpolation = x->KeyGetInterpolation(s.a);
    if (interpolation != KFCURVE_INTERPOLATION_LINEAR && interpolation != KFCURVE_INTERPOLATION_CUBIC)
        return false;

    // Key times in seconds, as doubles (extreme tick counts cannot overflow).
    s.ta = x->KeyGetTime(s.a);
    s.tb = x->KeyGetTime(s.b);
    s.sa = s.ta.GetSecondDouble();
    s.sb = s.tb.GetSecondDouble();
    s.dt = s.sb - s.sa;
    if (!(s.dt > 0.0))
        return false;

    s.order = KSSRotationOrder(mRotationOrder);
    AnglesAt(s.curves, s.ta, s.va);
    AnglesAt(s.curves, s.tb, s.vb);
    s.order.V2M(s.reference, s.va);
    RelativeQuaternion(s.qa, s.order, s.va, s.reference);
    RelativeQuaternion(s.qb, s.order, s.vb, s.reference);
    if (Dot4(s.qa, s.qb) < 0.0)
        Negate4(s.qb);

    double control[4][4];
    SegmentControls(s, interpolation == KFCURVE_INTERPOLATION_LINEAR, count, control);
    double q[4];
    BlendControls(control, u, q);

    KgeRMatrix rotation, world;
    KmQtoR(rotation, q);
    KmRR(world, s.reference, rotation);
    double angles[3];
    s.order.M2V(angles, world);
    if (mRotationOrder >= 0 && mRotationOrder < 12)
        KVNGetContinuousRotation(angles, angles, values, KmEulerAxis[mRotationOrder]);
    for (int i = 0; i < 3; ++i)
        values[i] = angles[i];
    return true;
}

double* KFCurveNode::EvaluateSpecificLayer(double* values, KTime time, int layerId, int* index)
{
    return EvaluateLayer(values, time, layerId, index, false);
}

double* KFCurveNode::CandidateEvaluateSpecificLayer(double* values, KTime time, int layerId, int* index)
{
    return EvaluateLayer(values, time, layerId, index, true);
}

// GetSpecificLayerValueCount and LeafLayout::MapValues (kfcurvelayer.cpp)
// walk the layers as this does: they change with it.
double* KFCurveNode::EvaluateLayer(double* values, KTime time, int layerId, int* index, bool candidate)
{
    int localIndex = 0;
    if (!index)
        index = &localIndex;
    int id = GetCorrectLayerID(layerId);
    KFCurveNode* node = this;
    while (node && node->mLayerID != id)
    {
        if (node->mLayerID > id)
            return values;
        node = node->mNextLayer;
    }
    if (!node)
        return values;
    double* p = values;
    if (node->mFCurve)
        *p++ = candidate ? node->mFCurve->CandidateEvaluate(time, index) : node->mFCurve->Evaluate(time, index);
    if (MemberLayerType(node) == KFCL_EULER_XYZ)
        return node->RotationEvaluateInternal(p, time, index, candidate, true);
    for (int i = 0; i < node->GetCount(); ++i)
    {
        KFCurveNode* child = node->Get(i);
        if (child)
            p = child->EvaluateLayer(p, time, layerId, index, candidate);
    }
    return p;
}

int KFCurveNode::GetSpecificLayerValueCount(int layerId)
{
    // Walks the layers as EvaluateLayer does.
    KFCurveNode* node = LayerGet(GetCorrectLayerID(layerId));
    if (!node)
        return 0;
    int count = node->mFCurve ? 1 : 0;
    const bool rotation = MemberLayerType(node) == KFCL_EULER_XYZ;
    for (int i = 0; i < node->GetCount(); ++i)
        if (KFCurveNode* child = node->Get(i))
            count += child->GetSpecificLayerValueCount(rotation ? child->mLayerID : layerId);
    return count;
}

bool KFCurveNode::GetTransformCurves(KFCurve** t, KFCurve** r, KFCurve** s)
{
    for (int i = 0; i < 3; ++i)
    {
        if (t)
            t[i] = nullptr;
        if (r)
            r[i] = nullptr;
        if (s)
            s[i] = nullptr;
    }
    if (!t || !r || !s)
        return false;
    static const char* const kMembers[3] = {"X", "Y", "Z"};
    struct Step
    {
        const char* path;
        KDataType* type;
        KFCurve** out;
    } steps[3] = {{"T", TypeLclTranslation(), t}, {"R", TypeLclRotation(), r}, {"S", TypeLclScaling(), s}};
    for (const Step& step : steps)
    {
        KFCurveNode* node = FindRecursive(step.path);
        if (!node && step.type)
            node = FindRecursive(step.type);
        if (!node)
            return false;
        for (int i = 0; i < 3; ++i)
        {
            KFCurveNode* member = node->FindRecursive(kMembers[i]);
            step.out[i] = member ? member->FCurveGet() : nullptr;
            if (!step.out[i])
                return false;
        }
    }
    return true;
}

unsigned int KFCurveNode::GetUpdateId()
{
    unsigned int id = mFCurve ? mFCurve->GetUpdateId() : 0u;
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i))
            id += Get(i)->GetUpdateId();
    return id;
}

unsigned int KFCurveNode::GetValuesUpdateId()
{
    unsigned int id = mFCurve ? mFCurve->GetValuesUpdateId() : 0u;
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i))
            id += Get(i)->GetValuesUpdateId();
    if (mNextLayer)
        id += mNextLayer->GetValuesUpdateId();
    return id;
}

// Room for the values one layer node writes when evaluated at its own id:
// a member may hold that layer in another shape.
static int OwnLayerRoom(KFCurveNode* node)
{
    return std::max(node->GetValueCount(), node->GetSpecificLayerValueCount(node->GetLayerID())) + 4;
}

// The values combined are this node's: a layer (read from a file) with more
// values than this node adds or multiplies into those alone.
void KFCurveNode::EvaluateCurvesExceptLayerRecursiveAdd(double* values, KTime time, int layerId, int* index)
{
    const int count = GetValueCount();
    for (KFCurveNode* node = this; node; node = node->mNextLayer)
    {
        if (node->mLayerID == layerId)
            continue;
        ValueBuffer layer(OwnLayerRoom(node));
        double* end = node->EvaluateSpecificLayer(layer.Data(), time, node->mLayerID, index);
        int n = std::min(static_cast<int>(end - layer.Data()), count);
        for (int i = 0; i < n; ++i)
            values[i] += layer[i];
    }
}

void KFCurveNode::EvaluateCurvesExceptLayerRecursiveMult(double* values, KTime time, int layerId, int* index)
{
    const int count = GetValueCount();
    for (KFCurveNode* node = this; node; node = node->mNextLayer)
    {
        if (node->mLayerID == layerId)
            continue;
        ValueBuffer layer(OwnLayerRoom(node));
        double* end = node->EvaluateSpecificLayer(layer.Data(), time, node->mLayerID, index);
        int n = std::min(static_cast<int>(end - layer.Data()), count);
        for (int i = node->mFCurve ? 1 : 0; i < n; ++i)
            values[i] *= layer[i];
    }
}

// The rotation values of one layer node as a matrix in the node's order.
static bool LayerRotation(KFCurveNode* node, KgeRMatrix& r, KTime time, int* index)
{
    ValueBuffer layer(OwnLayerRoom(node));
    double* end = node->EvaluateSpecificLayer(layer.Data(), time, node->GetLayerID(), index);
    int own = node->FCurveGet() ? 1 : 0;
    if (end - layer.Data() < own + 3)
        return false;
    KSSRotationOrder order(node->GetRotationOrder());
    order.V2M(r, layer.Data() + own);
    return true;
}

void KFCurveNode::EvaluateCurvesBeforeLayerRecursiveEulerXYZ(KgeRMatrix& m, KTime time, int layerId, int* index)
{
    for (KFCurveNode* node = this; node && node->mLayerID < layerId; node = node->mNextLayer)
    {
        KgeRMatrix r;
        if (LayerRotation(node, r, time, index))
            KmRR(m, r, m);
    }
}

void KFCurveNode::EvaluateCurvesAfterLayerRecursiveEulerXYZ(KgeRMatrix& m, KTime time, int layerId, int* index)
{
    for (KFCurveNode* node = this; node; node = node->mNextLayer)
    {
        if (node->mLayerID <= layerId)
            continue;
        KgeRMatrix r;
        if (LayerRotation(node, r, time, index))
            KmRR(m, r, m);
    }
}

// The four values of one quaternion layer node.
static bool LayerQuaternion(KFCurveNode* node, double* q, KTime time, int* index)
{
    ValueBuffer layer(OwnLayerRoom(node));
    double* end = node->EvaluateSpecificLayer(layer.Data(), time, node->GetLayerID(), index);
    int own = node->FCurveGet() ? 1 : 0;
    if (end - layer.Data() < own + 4)
        return false;
    for (int i = 0; i < 4; ++i)
        q[i] = layer[own + i];
    return true;
}

void KFCurveNode::EvaluateCurvesBeforeLayerRecursiveQuat(double* q, KTime time, int layerId, int* index)
{
    for (KFCurveNode* node = this; node && node->mLayerID < layerId; node = node->mNextLayer)
    {
        double l[4];
        if (LayerQuaternion(node, l, time, index))
            KmQQ(q, q, l);
    }
}

void KFCurveNode::EvaluateCurvesAfterLayerRecursiveQuat(double* q, KTime time, int layerId, int* index)
{
    // The layers above combine in chain order, as evaluation combines them:
    // q = q x L for each, so that the product equals the layers' own.
    for (KFCurveNode* node = this; node; node = node->mNextLayer)
    {
        if (node->mLayerID <= layerId)
            continue;
        double l[4];
        if (LayerQuaternion(node, l, time, index))
            KmQQ(q, q, l);
    }
}
