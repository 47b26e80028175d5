// Curve node key queries and edits over the node's curve and its
// descendants (and, where asked, its layers), rotation continuity, copy and
// replace.
//
// A mask selects curves: entry 0 the node's own curve, entry i child i; a
// child reads its own selection from the mask shifted by its index.

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurvenode_internal.h"

#include "base/kmath_kernels.h"
#include "base/kmath_vn.h"

#include <cmath>

using namespace kfcurvenode_detail;

namespace {

// A node whose values are three Euler angles: no curve of its own and three
// children of one value each. Only such a node is kept continuous as a
// rotation; any other (a node of another shape given the rotation layer
// type) has as many values as its curves, which the three angles would
// not cover.
bool HoldsThreeAngles(KFCurveNode* node)
{
    return !node->FCurveGet() && MembersAreAngles(node);
}

} // namespace

// ---------------------------------------------------------------------------
// Counting and finding keys
// ---------------------------------------------------------------------------

int KFCurveNode::KeyGetCount(bool withLayers)
{
    int count = mFCurve ? mFCurve->KeyGetCount() : 0;
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i))
            count += Get(i)->KeyGetCount(false);
    if (withLayers && mNextLayer)
        count += mNextLayer->KeyGetCount(true);
    return count;
}

int KFCurveNode::KeyGetCountOnChild(int childIndex)
{
    KFCurveNode* child = Get(childIndex);
    int count = child ? child->KeyGetCount(false) : 0;
    if (mNextLayer)
        count += mNextLayer->KeyGetCountOnChild(childIndex);
    return count;
}

void KFCurveNode::InternalKeyGetEnd(KFCurveKey*& key, bool* mask, bool withLayers, bool last)
{
    if (mFCurve && KeySelected(mask, 0) && mFCurve->KeyGetCount() > 0)
    {
        KFCurveKey* end = mFCurve->KeyGetPtr(last ? mFCurve->KeyGetCount() - 1 : 0);
        if (end && (!key || (last ? end->GetTime() > key->GetTime() : end->GetTime() < key->GetTime())))
            key = end;
    }
    if (withLayers && mNextLayer)
        mNextLayer->InternalKeyGetEnd(key, mask, true, last);
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i) && KeySelected(mask, i))
            Get(i)->InternalKeyGetEnd(key, mask ? mask + i : nullptr, false, last);
}

void KFCurveNode::InternalKeyGetFirst(KFCurveKey*& key, bool* mask, bool withLayers)
{
    InternalKeyGetEnd(key, mask, withLayers, false);
}

void KFCurveNode::InternalKeyGetLast(KFCurveKey*& key, bool* mask, bool withLayers)
{
    InternalKeyGetEnd(key, mask, withLayers, true);
}

bool KFCurveNode::KeyGetFirst(KFCurveKey*& key, bool* mask, bool withLayers)
{
    key = nullptr;
    InternalKeyGetFirst(key, mask, withLayers);
    return key != nullptr;
}

bool KFCurveNode::KeyGetLast(KFCurveKey*& key, bool* mask, bool withLayers)
{
    key = nullptr;
    InternalKeyGetLast(key, mask, withLayers);
    return key != nullptr;
}

KTime KFCurveNode::GetFirstKeyTime(bool* mask, bool withLayers)
{
    KFCurveKey* key = nullptr;
    return KeyGetFirst(key, mask, withLayers) ? key->GetTime() : KTIME_MINUS_INFINITE;
}

KTime KFCurveNode::GetLastKeyTime(bool* mask, bool withLayers)
{
    KFCurveKey* key = nullptr;
    return KeyGetLast(key, mask, withLayers) ? key->GetTime() : KTIME_INFINITE;
}

bool KFCurveNode::GetAnimationIntervalRecursive(KTime& start, KTime& stop)
{
    bool found = false;
    if (mFCurve && mFCurve->KeyGetCount() > 0)
    {
        KTime first = mFCurve->KeyGetTime(0);
        KTime last = mFCurve->KeyGetTime(mFCurve->KeyGetCount() - 1);
        if (first < start)
            start = first;
        if (last > stop)
            stop = last;
        found = true;
    }
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i) && Get(i)->GetAnimationIntervalRecursive(start, stop))
            found = true;
    if (mNextLayer && mNextLayer->GetAnimationIntervalRecursive(start, stop))
        found = true;
    return found;
}

bool KFCurveNode::GetAnimationInterval(KTime& start, KTime& stop)
{
    KTime first = KTIME_INFINITE;
    KTime last = KTIME_MINUS_INFINITE;
    if (!GetAnimationIntervalRecursive(first, last))
        return false;
    if (first < start)
        start = first;
    if (last > stop)
        stop = last;
    return true;
}

void KFCurveNode::GetTimeSpan(KTime& start, KTime& stop)
{
    start = KTIME_INFINITE;
    stop = KTIME_MINUS_INFINITE;
    GetAnimationIntervalRecursive(start, stop);
}

void KFCurveNode::IsKeyRecursive(KTime time, int& asked, int& found, bool* mask, double indexTolerance,
                                 double leftSeconds, double rightSeconds)
{
    if (mFCurve && KeySelected(mask, 0))
    {
        asked++;
        int count = mFCurve->KeyGetCount();
        if (count > 0)
        {
            double f = mFCurve->KeyFind(time, nullptr);
            double a = floor(f);
            double b = ceil(f);
            double seconds = time.GetSecondDouble();
            bool hit = false;
            if (a >= 0.0 && a < count)
            {
                double lead = seconds - mFCurve->KeyGetTime(static_cast<int>(a)).GetSecondDouble();
                hit = f - a <= indexTolerance || (lead >= 0.0 && lead <= leftSeconds);
            }
            if (!hit && b >= 0.0 && b < count)
            {
                double lag = mFCurve->KeyGetTime(static_cast<int>(b)).GetSecondDouble() - seconds;
                hit = b - f <= indexTolerance || (lag >= 0.0 && lag <= rightSeconds);
            }
            if (hit)
                found++;
        }
    }
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i) && KeySelected(mask, i))
            Get(i)->IsKeyRecursive(time, asked, found, mask ? mask + i : nullptr, indexTolerance, leftSeconds,
                                   rightSeconds);
}

int KFCurveNode::IsKey(KTime& time, int* count, bool* mask, double indexTolerance, double leftSeconds,
                       double rightSeconds)
{
    int asked = 0;
    int found = 0;
    IsKeyRecursive(time, asked, found, mask, indexTolerance, leftSeconds, rightSeconds);
    if (count)
        *count = found;
    if (found == asked)
        return 2;
    return found > 0 ? 1 : 0;
}

void KFCurveNode::PrevNextKeyRecursive(KTime time, bool* mask, bool next, KTime& best)
{
    if (mFCurve && KeySelected(mask, 0) && mFCurve->KeyGetCount() > 0)
    {
        int count = mFCurve->KeyGetCount();
        double f = mFCurve->KeyFind(time, nullptr);
        double whole = floor(f);
        double index;
        if (next)
            index = whole == f ? f + 1.0 : ceil(f);
        else
            index = whole == f ? f - 1.0 : whole;
        if (index >= 0.0 && index < count)
        {
            KTime t = mFCurve->KeyGetTime(static_cast<int>(index));
            if (next ? t < best : t > best)
                best = t;
        }
    }
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i) && KeySelected(mask, i))
            Get(i)->PrevNextKeyRecursive(time, mask ? mask + i : nullptr, next, best);
}

KTime KFCurveNode::GetPrevKeyTime(KTime time, bool* mask)
{
    KTime best = KTIME_MINUS_INFINITE;
    PrevNextKeyRecursive(time, mask, false, best);
    return best;
}

KTime KFCurveNode::GetNextKeyTime(KTime time, bool* mask)
{
    KTime best = KTIME_INFINITE;
    PrevNextKeyRecursive(time, mask, true, best);
    return best;
}

// ---------------------------------------------------------------------------
// Editing keys
// ---------------------------------------------------------------------------

double* KFCurveNode::KeyAdd(KTime time, double* values)
{
    double* p = values;
    if (mFCurve)
    {
        KFCurveKey key;
        key.Init();
        key.Set(time, static_cast<float>(*p++), KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO, 0.0f, 0.0f,
                KFCURVE_WEIGHTED_NONE, KFCURVE_DEFAULT_WEIGHT, KFCURVE_DEFAULT_WEIGHT, 0.0f, 0.0f);
        mFCurve->KeyAdd(time, key);
    }
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i))
            p = Get(i)->KeyAdd(time, p);
    return p;
}

double* KFCurveNode::KeyAppend(KTime time, double* values, bool continuousRotation)
{
    double* p = values;
    if (mFCurve)
        mFCurve->KeyAppendFast(time, static_cast<float>(*p++));
    if (continuousRotation && HoldsThreeAngles(this))
    {
        double rotation[3];
        GetContinuousRotation(rotation, p, time);
        for (int i = 0; i < 3; ++i)
            if (Get(i))
                Get(i)->KeyAppend(time, rotation + i, false);
        return p + GetValueCount();
    }
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i))
            p = Get(i)->KeyAppend(time, p, false);
    return p;
}

void KFCurveNode::DeleteKeyRecursive(KTime time, bool* mask, double tolerance)
{
    if (mFCurve && KeySelected(mask, 0) && mFCurve->KeyGetCount() > 0)
    {
        double f = mFCurve->KeyFind(time, nullptr);
        double a = floor(f + tolerance);
        double b = ceil(f - tolerance);
        if (a == b && a >= 0.0 && a < mFCurve->KeyGetCount())
            mFCurve->KeyRemove(static_cast<int>(a));
    }
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i) && KeySelected(mask, i))
            Get(i)->DeleteKeyRecursive(time, mask ? mask + i : nullptr, tolerance);
}

bool KFCurveNode::DeleteKey(KTime& time, bool* mask, double tolerance)
{
    (mObjectLayer ? mObjectLayer : this)->CandidateClear(0, true);
    int before = KeyGetCount(false);
    DeleteKeyRecursive(time, mask, tolerance);
    return KeyGetCount(false) != before;
}

bool KFCurveNode::Delete(KTime start, KTime stop)
{
    bool done = false;
    if (mFCurve && mFCurve->Delete(start, stop))
        done = true;
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i) && Get(i)->Delete(start, stop))
            done = true;
    return done;
}

double* KFCurveNode::GetValue(double* values)
{
    double* p = values;
    if (mFCurve)
        *p++ = mFCurve->GetValue();
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i))
            p = Get(i)->GetValue(p);
    return p;
}

double* KFCurveNode::SetValue(double* values)
{
    double* p = values;
    if (mFCurve)
        mFCurve->SetValue(static_cast<float>(*p++));
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i))
            p = Get(i)->SetValue(p);
    return p;
}

// ---------------------------------------------------------------------------
// Continuity of rotations
// ---------------------------------------------------------------------------

double* KFCurveNode::GetContinuousRotation(double* result, double* values, KTime time)
{
    if (!HoldsThreeAngles(this))
    {
        int n = GetValueCount();
        if (result != values)
            for (int i = 0; i < n; ++i)
                result[i] = values[i];
        return result + n;
    }
    double angles[3] = {values[0], values[1], values[2]};
    KTime previous = GetPrevKeyTime(time, nullptr);
    if (previous != KTIME_MINUS_INFINITE && mRotationOrder >= 0 && mRotationOrder < 12)
    {
        double reference[3];
        Evaluate(reference, previous, nullptr);
        KVNGetContinuousRotation(angles, angles, reference, KmEulerAxis[mRotationOrder]);
    }
    for (int i = 0; i < 3; ++i)
        result[i] = angles[i];
    return result + 3;
}

bool KFCurveNode::GetContinuousOffset(double* offset, double* from, double* to)
{
    double reference[3] = {from[0], from[1], from[2]};
    bool alternative = false;
    if (mRotationOrder >= 0 && mRotationOrder < 12)
    {
        const int* axes = KmEulerAxis[mRotationOrder];
        double nearest[3];
        alternative = KVNGetContinuousRotation(nearest, from, to, axes);
        if (alternative)
        {
            reference[axes[0]] = from[axes[0]] + 180.0;
            reference[axes[1]] = 180.0 - from[axes[1]];
            reference[axes[2]] = from[axes[2]] + 180.0;
        }
    }
    for (int i = 0; i < 3; ++i)
    {
        double whole;
        double fraction = modf((to[i] - reference[i]) / 360.0, &whole);
        if (fraction > 0.5000000000000002)
            whole += 1.0;
        else if (fraction < -0.5000000000000002)
            whole -= 1.0;
        offset[i] = whole * 360.0;
        if (alternative)
            offset[i] += 180.0;
    }
    return alternative;
}

// ---------------------------------------------------------------------------
// Copy and replace
// ---------------------------------------------------------------------------

void KFCurveNode::SingleLayerCopyFrom(KFCurveNode* source, bool takeOver)
{
    if (!source || source == this)
        return;
    SetCandidateMethods(source->CandidateTotalMethod(), source->CandidateSpecificMethod());
    mCandidateTotalValue = source->mCandidateTotalValue;
    if (takeOver)
    {
        KFCurve* curve = source->mFCurve;
        source->mFCurve = nullptr;
        if (mFCurve)
            mFCurve->Destroy();
        mFCurve = curve;
    }
    else if (source->mFCurve)
    {
        if (!mFCurve)
            mFCurve = source->mFCurve->Copy(KTIME_MINUS_INFINITE, KTIME_INFINITE);
        else
            mFCurve->CopyFrom(*source->mFCurve, true);
    }
    SetLayerType(source->mLayerType, nullptr);
    int count = GetCount() < source->GetCount() ? GetCount() : source->GetCount();
    for (int i = 0; i < count; ++i)
        if (Get(i) && source->Get(i))
            Get(i)->CopyFrom(source->Get(i), takeOver);
}

void KFCurveNode::CopyFrom(KFCurveNode* source, bool takeOver)
{
    if (!source || source == this)
        return;
    SingleLayerCopyFrom(source, takeOver);
    LayerCopyFromRecursive(source, takeOver);
}

void KFCurveNode::LayerCopyFromRecursive(KFCurveNode* source, bool takeOver)
{
    if (!source || source == this)
        return;
    KFCurveNode* base = mObjectLayer ? mObjectLayer : this;
    KFCurveNode* target = this;
    for (KFCurveNode* from = source->mNextLayer; from; from = from->mNextLayer)
    {
        // Layers the source lacks go.
        KFCurveNode* layer = target->mNextLayer;
        while (layer && layer->mLayerID < from->mLayerID)
        {
            target->mNextLayer = layer->mNextLayer;
            layer->mNextLayer = nullptr;
            layer->Destroy();
            layer = target->mNextLayer;
        }
        if (!layer || layer->mLayerID > from->mLayerID)
        {
            if (!base->IsMultiLayer())
                break;
            layer = target->MakeLayer(from->mLayerID);
            layer->mObjectLayer = base;
            target->LinkLayerAfter(layer);
            FireOnObjectLayer(KFCURVENODEEVENT_CTRLCURVE);
        }
        layer->SingleLayerCopyFrom(from, takeOver);
        target = layer;
    }
    if (target->mNextLayer)
    {
        KFCurveNode* rest = target->mNextLayer;
        target->mNextLayer = nullptr;
        rest->Destroy();
        FireOnObjectLayer(KFCURVENODEEVENT_CTRLCURVE);
    }
}

KFCurveNode* KFCurveNode::SingleLayerCopy(KTime start, KTime stop)
{
    KFCurveNode* node = new KFCurveNode(GetName(), GetTimeWarpName(), GetDataType(), mLayerType, mLayerID);
    node->SetCandidateMethods(CandidateTotalMethod(), CandidateSpecificMethod());
    node->mCandidateTotalValue = mCandidateTotalValue;
    if (mFCurve)
        node->mFCurve = mFCurve->Copy(start, stop);
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i))
            node->Add(Get(i)->Copy(start, stop));
    return node;
}

KFCurveNode* KFCurveNode::Copy(KTime start, KTime stop)
{
    KFCurveNode* node = SingleLayerCopy(start, stop);
    if (mNextLayer)
    {
        KFCurveNode* layer = node->LayerCreate(mNextLayer->mLayerID, true);
        if (layer)
        {
            layer->mFlags = (layer->mFlags & ~ePublicFlags) | (mNextLayer->mFlags & ePublicFlags);
            node->LayerCopyFromRecursive(this, false);
        }
    }
    return node;
}

void KFCurveNode::Replace(KFCurveNode* source, KTime start, KTime stop, bool exactSpan, bool candidateKeys)
{
    if (!source || source == this)
        return;
    // Keys are replaced as rotations only on members of a rotation's shape.
    const int memberType = MemberLayerType(this);
    if (memberType == KFCL_QUAT)
    {
        if (GetCount() != source->GetCount())
            return;
        auto length = [&](KFCurveNode* node, KTime t) {
            ValueBuffer values(node->GetValueCount() + 4);
            values[0] = values[1] = values[2] = 0.0;
            values[3] = 1.0;
            double* v = values.Data() + (node->mFCurve ? 1 : 0);
            v[0] = v[1] = v[2] = 0.0;
            v[3] = 1.0;
            node->Evaluate(values.Data(), t, nullptr);
            double sum = v[0] * v[0] + v[1] * v[1] + v[2] * v[2] + v[3] * v[3];
            return sum > 0.0 ? sqrt(sum) : 0.0;
        };
        ReplaceForQuaternion(source, start, stop, length(this, start), length(this, stop), exactSpan, candidateKeys);
        return;
    }
    if (memberType == KFCL_EULER_XYZ)
    {
        KFCurve* curves[3];
        KFCurve* sourceCurves[3];
        for (int i = 0; i < 3; ++i)
        {
            curves[i] = Get(i) ? Get(i)->mFCurve : nullptr;
            sourceCurves[i] = source->Get(i) ? source->Get(i)->mFCurve : nullptr;
            if (!curves[i] || !sourceCurves[i])
                return;
        }
        double largest = -1.0;
        for (int i = 0; i < 3; ++i)
        {
            double f = curves[i]->KeyFind(start, nullptr);
            if (f > largest)
                largest = f;
        }
        double nodeStart[3], nodeStop[3], sourceStart[3], sourceStop[3];
        for (int i = 0; i < 3; ++i)
        {
            nodeStart[i] = curves[i]->Evaluate(start, nullptr);
            nodeStop[i] = curves[i]->Evaluate(stop, nullptr);
            sourceStart[i] = sourceCurves[i]->Evaluate(start, nullptr);
            sourceStop[i] = sourceCurves[i]->Evaluate(stop, nullptr);
        }
        int middle = (mRotationOrder >= 0 && mRotationOrder < 12) ? KmEulerAxis[mRotationOrder][1] : 1;
        double startOffset[3] = {0.0, 0.0, 0.0};
        double stopOffset[3] = {0.0, 0.0, 0.0};
        bool startAlternative = false;
        double adjusted[3] = {sourceStop[0], sourceStop[1], sourceStop[2]};
        if (largest > 0.0)
        {
            startAlternative = GetContinuousOffset(startOffset, sourceStart, nodeStart);
            for (int i = 0; i < 3; ++i)
                adjusted[i] =
                    (startAlternative && i == middle) ? startOffset[i] - sourceStop[i] : sourceStop[i] + startOffset[i];
        }
        bool stopAlternative = GetContinuousOffset(stopOffset, nodeStop, adjusted);
        for (int i = 0; i < 3; ++i)
            curves[i]->ReplaceForEulerXYZ(sourceCurves[i], start, stop, static_cast<float>(startOffset[i]),
                                          static_cast<float>(stopOffset[i]), i == middle && startAlternative,
                                          i == middle && stopAlternative, exactSpan, candidateKeys);
        return;
    }
    if (mFCurve && source->mFCurve)
        mFCurve->Replace(source->mFCurve, start, stop, exactSpan, candidateKeys);
    if (GetCount() == source->GetCount())
        for (int i = 0; i < GetCount(); ++i)
            if (Get(i) && source->Get(i))
                Get(i)->Replace(source->Get(i), start, stop, exactSpan, candidateKeys);
}

void KFCurveNode::ReplaceForQuaternion(KFCurveNode* source, KTime start, KTime stop, double startFactor,
                                       double stopFactor, bool exactSpan, bool candidateKeys)
{
    if (!source)
        return;
    for (int i = 0; i < 4; ++i)
    {
        KFCurveNode* child = Get(i);
        KFCurveNode* sourceChild = source->Get(i);
        if (!child || !sourceChild || !child->mFCurve || !sourceChild->mFCurve)
            continue;
        child->mFCurve->ReplaceForQuaternion(sourceChild->mFCurve, start, stop, static_cast<float>(startFactor),
                                             static_cast<float>(stopFactor), exactSpan, candidateKeys);
    }
}
