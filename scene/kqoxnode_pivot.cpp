// Pivot-set conversion: rewriting a node's animation so that the motion made
// under one pivot set is made under the other, and clearing a pivot set.
//
// Both conversions shift the translation curves of every take node by the
// offset difference and, when a rotation, pivot or rotation order needs it,
// run the curve matrix converter over the take node's transform curves.

#include <cmath>
#include <utility>

#include "base/kmath_kernels.h"
#include "base/ktime.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvefilters.h"
#include "fcurve/kfcurvenode.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnode_math.h"
#include "scene/kqoxnode_walk.h"
#include "scene/kqoxnodeattribute.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

using namespace nodemath;

namespace {

typedef KQoxNodeProperties::KQoxPivot KPivotSet;
typedef KFCurveFilterMatrixConverter KConverter;

// Differences below this count as none for the scaling pivot and offset.
const double kPivotTolerance = 0.000001;

// x, y, z of v when the set is active; zero otherwise.
void ActiveValue(const KPivotSet& set, const KQoxVector4& v, double* out)
{
    const bool active = set.mPivotState == ePIVOT_STATE_ACTIVE;
    for (int i = 0; i < 3; ++i)
        out[i] = active ? v[i] : 0.0;
}

// The same, with pre- and post-rotations also zero in a set whose rotation
// space serves the limits only.
void ActiveRotation(const KPivotSet& set, const KQoxVector4& v, double* out)
{
    ActiveValue(set, v, out);
    if (set.mRotationSpaceForLimitOnly)
        out[0] = out[1] = out[2] = 0.0;
}

// The converter's code of a set's rotation order: twice the node's order,
// XYZ for a set whose rotation space serves the limits only. An order
// outside the node's table (a damaged file) is taken as XYZ, so the
// converter never indexes past its tables.
int ConverterRotationOrder(const KPivotSet& set)
{
    if (set.mRotationSpaceForLimitOnly)
        return 0;
    const int order = static_cast<int>(set.mRotationOrder);
    return order >= eEULER_XYZ && order <= eSPHERIC_XYZ ? 2 * order : 0;
}

void Difference(const double* a, const double* b, double* out)
{
    for (int i = 0; i < 3; ++i)
        out[i] = a[i] - b[i];
}

bool AnyNonZero(const double* v)
{
    return v[0] != 0.0 || v[1] != 0.0 || v[2] != 0.0;
}

bool AnyBeyondTolerance(const double* v)
{
    return std::fabs(v[0]) > kPivotTolerance || std::fabs(v[1]) > kPivotTolerance || std::fabs(v[2]) > kPivotTolerance;
}

void Rotation(KgeAMatrix& m, const double* angles)
{
    m.SetIdentity();
    KmXYZtoR(m.mData, angles[0], angles[1], angles[2]);
}

void InverseRotation(KgeAMatrix& m, const double* angles)
{
    Rotation(m, angles);
    KmRi(m.mData, m.mData);
}

void Translation(KgeAMatrix& m, const double* v)
{
    m.SetIdentity();
    for (int i = 0; i < 3; ++i)
        m.mData[3][i] = v[i];
}

// p taken back through a post-rotation: p . Rot(post)^T.
void Unrotate(const double* p, const double* post, double* out)
{
    KgeRMatrix r;
    KmXYZtoR(r.mData, post[0], post[1], post[2]);
    for (int j = 0; j < 3; ++j)
        out[j] = p[0] * r.mData[j][0] + p[1] * r.mData[j][1] + p[2] * r.mData[j][2];
}

// True when the rotation left in m, once its axes are divided by their
// signed lengths and rebuilt from Euler angles, differs from the identity.
bool Rotates(const KgeAMatrix& m)
{
    KgeRMatrix rebuilt;
    PureRotation(m.mData, rebuilt.mData);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (std::fabs(rebuilt.mData[i][j] - (i == j ? 1.0 : 0.0)) > kPivotTolerance)
                return true;
    return false;
}

// The geometric transform of a set: scaling, then rotation, then
// translation; the identity for a set that is not active.
void GeometricTransform(const KPivotSet& set, KgeAMatrix& g)
{
    g.SetIdentity();
    if (set.mPivotState != ePIVOT_STATE_ACTIVE)
        return;
    KgeAMatrix step;
    for (int i = 0; i < 3; ++i)
        g.mData[i][i] = set.mGeometricScaling[i];
    Rotation(step, set.mGeometricRotation.mData);
    KmAA(g.mData, step.mData, g.mData);
    for (int i = 0; i < 3; ++i)
        g.mData[3][i] += set.mGeometricTranslation[i];
}

// The resampling period of a frame rate: false when it is not at least one
// tick, or too long to count in ticks (resampling at such a period would
// leave curves without keys).
bool ResamplingPeriod(double frameRate, KTime& period)
{
    if (!(frameRate > 0.0) || !std::isfinite(1.0 / frameRate))
        return false;
    period.SetSecondDouble(1.0 / frameRate);
    return period.Get() >= 1 && period.Get() < KTIME_INFINITE.Get();
}

// The settings both conversions give their converter.
void SetConverterOptions(KConverter& converter, const KTime& period, bool keyReduce)
{
    converter.SetResamplingPeriod(period);
    converter.SetGenerateLastKeyExactlyAtEndTime(true);
    converter.SetApplyUnroll(true);
    converter.SetApplyConstantKeyReducer(keyReduce);
    converter.SetResampleTranslation(false);
}

// Adds d to the static value and to every key of the translation curves of
// each take node, and converts the take node's curves when asked.
void ShiftAndConvertTakes(KQoxNode& node, const double* d, bool convert, KConverter& converter)
{
    for (int j = 0; j < node.GetTakeNodeCount(); ++j)
    {
        KQoxTakeNode* take = node.GetTakeNode(j);
        if (!take)
            continue;
        KFCurve* curves[3] = {take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ()};
        for (int axis = 0; axis < 3; ++axis)
        {
            KFCurve* curve = curves[axis];
            if (!curve)
                continue;
            curve->SetValue(static_cast<float>(static_cast<double>(curve->GetValue()) + d[axis]));
            const float shift = static_cast<float>(d[axis]);
            curve->KeyModifyBegin();
            for (int k = 0; k < curve->KeyGetCount(); ++k)
                curve->KeyIncValue(k, shift);
            curve->KeyModifyEnd();
        }
        if (convert && take->GetKFCurveNode())
            converter.Apply(*take->GetKFCurveNode(), true);
    }
}

int TargetIndex(KQoxNode::EPivotSet target)
{
    return target == eSOURCE_SET ? 0 : 1;
}

// Runs op(node) on node and its subtree, parents before children, children
// in order, without recursion.
template <class Op>
void ForSubtreeTopDown(KQoxNode* node, Op op)
{
    KQoxWalkPreOrder(node, [&op](KQoxNode* n) {
        op(n);
        return true;
    });
}

// Runs convert(node, period) over the subtree, parents first, at the
// resampling period of the frame rate; a rate giving none changes nothing
// and sets eINVALID_FRAME_RATE in error.
template <class Convert>
void ConvertSubtree(KQoxNode* node, double frameRate, KError& error, Convert convert)
{
    KTime period;
    if (!ResamplingPeriod(frameRate, period))
    {
        error.SetLastErrorID(KQoxNode::eINVALID_FRAME_RATE);
        return;
    }
    ForSubtreeTopDown(node, [&](KQoxNode* n) { convert(n, period); });
}

// The active value of one vector of the set converted from, less the target's.
void SetDifference(const KPivotSet& from, const KPivotSet& to, KQoxVector4 KPivotSet::*vector, double* out)
{
    double a[3], b[3];
    ActiveValue(from, from.*vector, a);
    ActiveValue(to, to.*vector, b);
    Difference(a, b, out);
}

// Gives the converter a translation by v in one of its slots when wanted;
// whether it did.
bool AddTranslation(KConverter& converter, KConverter::EMatrixID slot, const double* v, bool wanted)
{
    if (!wanted)
        return false;
    KgeAMatrix m;
    Translation(m, v);
    converter.SetSourceMatrix(slot, m);
    return true;
}

// Gives the converter, in one of its slots, the change from one rotation of
// the set converted from to the target's, when either is not zero: with
// fromFirst the rotation converted from acts first and the target's is undone
// after it, else the target's is undone first. Whether it did.
bool AddRotationChange(KConverter& converter, KConverter::EMatrixID slot, const KPivotSet& from, const KPivotSet& to,
                       KQoxVector4 KPivotSet::*rotation, bool fromFirst)
{
    double rotationFrom[3], rotationTo[3];
    ActiveValue(from, from.*rotation, rotationFrom);
    ActiveValue(to, to.*rotation, rotationTo);
    if (!AnyNonZero(rotationFrom) && !AnyNonZero(rotationTo))
        return false;
    KgeAMatrix a, b, m;
    Rotation(a, rotationFrom);
    InverseRotation(b, rotationTo);
    if (fromFirst)
        KmAA(m.mData, b.mData, a.mData);
    else
        KmAA(m.mData, a.mData, b.mData);
    converter.SetSourceMatrix(slot, m);
    return true;
}

// Adds sign times a parent set's rotation pivot, unrotated by its
// post-rotation, when the set is active.
void AddParentPivot(const KPivotSet& set, double sign, double* d)
{
    if (set.mPivotState != ePIVOT_STATE_ACTIVE)
        return;
    double q[3];
    Unrotate(set.mRotationPivot.mData, set.mPostRotation.mData, q);
    for (int i = 0; i < 3; ++i)
        d[i] += sign * q[i];
}

} // namespace

void KQoxNode::ConvertPivotAnimation(EPivotSet target, double frameRate, bool keyReduce)
{
    const int index = TargetIndex(target);
    ConvertSubtree(this, frameRate, mError,
                   [&](KQoxNode* n, const KTime& period) { n->ConvertPivotAnimationOne(index, period, keyReduce); });
}

void KQoxNode::ConvertPivotAnimationRecursive(EPivotSet target, double frameRate, bool keyReduce)
{
    const int index = TargetIndex(target);
    ConvertSubtree(this, frameRate, mError, [&](KQoxNode* n, const KTime& period) {
        n->ConvertPivotAnimationRecursiveOne(index, period, keyReduce);
    });
}

void KQoxNode::ConvertPivotAnimationOne(int target, const KTime& period, bool keyReduce)
{
    const KPivotSet& to = std::as_const(*mProperties).mPivots[target];
    const KPivotSet& from = std::as_const(*mProperties).mPivots[1 - target];
    KConverter converter;
    bool convert = false;

    // Rotation pivot difference.
    double d[3];
    SetDifference(from, to, &KPivotSet::mRotationPivot, d);

    // The geometry's pivot moves the other way, in the node's unscaled space
    // and back through the post-rotation of the set converted from.
    if (KQoxNodeAttribute* geometry = GetGeometry())
    {
        KQoxVector4 s;
        GetDefaultS(s);
        double t[3];
        for (int i = 0; i < 3; ++i)
            t[i] = -d[i] / (s[i] == 0.0 ? 1.0 : s[i]);
        double moved[3] = {t[0], t[1], t[2]};
        if (from.mPivotState == ePIVOT_STATE_ACTIVE)
            Unrotate(t, from.mPostRotation.mData, moved);
        KQoxXMatrix pivot;
        geometry->GetPivot(pivot);
        KRow4* m = pivot;
        for (int i = 0; i < 3; ++i)
            m[3][i] += moved[i];
        geometry->SetPivot(pivot);
    }

    // Rotation offset difference.
    double offset[3];
    SetDifference(from, to, &KPivotSet::mRotationOffset, offset);
    for (int i = 0; i < 3; ++i)
        d[i] += offset[i];

    // The parent's pivots, as its children's global matrices make up for them.
    if (KQoxNode* parent = GetParent())
    {
        AddParentPivot(std::as_const(*parent->mProperties).mPivots[1 - target], -1.0, d);
        AddParentPivot(std::as_const(*parent->mProperties).mPivots[target], 1.0, d);
    }

    // The pre-rotation converted from, then the target's undone; for the
    // post-rotation, the target's undone, then the one converted from.
    convert |= AddRotationChange(converter, KConverter::ePreRotate, from, to, &KPivotSet::mPreRotation, true);
    convert |= AddRotationChange(converter, KConverter::ePostRotate, from, to, &KPivotSet::mPostRotation, false);

    SetConverterOptions(converter, period, keyReduce);
    ShiftAndConvertTakes(*this, d, convert, converter);
}

void KQoxNode::ConvertPivotAnimationRecursiveOne(int target, const KTime& period, bool keyReduce)
{
    const KPivotSet& to = std::as_const(*mProperties).mPivots[target];
    const KPivotSet& from = std::as_const(*mProperties).mPivots[1 - target];
    KConverter converter;
    bool convert = false;
    KgeAMatrix m;
    double valueFrom[3], valueTo[3], difference[3];

    SetDifference(from, to, &KPivotSet::mRotationPivot, difference);
    convert |= AddTranslation(converter, KConverter::eRotationPivot, difference, AnyNonZero(difference));

    // The geometric transform of the set converted from replaces the
    // target's, baked into the geometry whatever the sets hold.
    if (KQoxNodeAttribute* geometry = GetGeometry())
    {
        KgeAMatrix gFrom, gTo;
        GeometricTransform(from, gFrom);
        GeometricTransform(to, gTo);
        KmAi(gTo.mData, gTo.mData);
        KmAA(m.mData, gFrom.mData, gTo.mData);
        KQoxXMatrix pivot;
        geometry->GetPivot(pivot);
        KmAA(pivot, pivot, m.mData);
        geometry->SetPivot(pivot);
        geometry->ApplyPivot();
    }

    SetDifference(from, to, &KPivotSet::mScalingPivot, difference);
    convert |= AddTranslation(converter, KConverter::eScalingPivot, difference, AnyBeyondTolerance(difference));

    double d[3];
    SetDifference(from, to, &KPivotSet::mRotationOffset, d);
    SetDifference(from, to, &KPivotSet::mScalingOffset, difference);
    convert |= AddTranslation(converter, KConverter::eScaleOffset, difference, AnyBeyondTolerance(difference));

    if (GetRotationActive())
    {
        KgeAMatrix a, b;
        ActiveRotation(from, from.mPreRotation, valueFrom);
        ActiveRotation(to, to.mPreRotation, valueTo);
        if (AnyNonZero(valueFrom) || AnyNonZero(valueTo))
        {
            Rotation(a, valueFrom);
            InverseRotation(b, valueTo);
            KmAA(m.mData, b.mData, a.mData);
            if (Rotates(m))
            {
                converter.SetSourceMatrix(KConverter::ePreRotate, m);
                convert = true;
            }
            else
                converter.SetSourceMatrix(KConverter::eInactivePre, a);
        }
        ActiveRotation(from, from.mPostRotation, valueFrom);
        ActiveRotation(to, to.mPostRotation, valueTo);
        if (AnyNonZero(valueFrom) || AnyNonZero(valueTo))
        {
            // The target's post-rotation undone, then the one converted from
            // (as in the translation-shift conversion; the converter's slot
            // acts right before the rotation, like the node's post-rotation).
            Rotation(b, valueTo);
            Rotation(a, valueFrom);
            KmRi(b.mData, b.mData);
            KmAA(m.mData, a.mData, b.mData);
            if (Rotates(m))
            {
                converter.SetSourceMatrix(KConverter::ePostRotate, m);
                convert = true;
            }
            else
                converter.SetSourceMatrix(KConverter::eInactivePost, b);
        }
    }

    SetConverterOptions(converter, period, keyReduce);
    converter.mSourceRotationOrder.mOrder = ConverterRotationOrder(from);
    converter.mDestRotationOrder.mOrder = ConverterRotationOrder(to);
    if (converter.mSourceRotationOrder.mOrder != converter.mDestRotationOrder.mOrder)
        convert = true;

    ShiftAndConvertTakes(*this, d, convert, converter);
}

void KQoxNode::ResetPivotSet(EPivotSet set)
{
    ForSubtreeTopDown(this, [set](KQoxNode* n) {
        const KQoxVector4 zero(0.0, 0.0, 0.0, 0.0);
        n->SetRotationOrder(set, eEULER_XYZ);
        n->SetPreRotation(set, zero);
        n->SetPostRotation(set, zero);
        n->SetRotationPivot(set, zero);
        n->SetScalingPivot(set, zero);
        n->SetRotationOffset(set, zero);
        n->SetScalingOffset(set, zero);
        n->SetGeometricTranslation(set, zero);
        n->SetGeometricRotation(set, zero);
        n->SetGeometricScaling(set, KQoxVector4(1.0, 1.0, 1.0, 1.0));
        n->SetUseRotationSpaceForLimitOnly(set, false);
    });
}

void KQoxNode::ResetPivotSetAndConvertAnimation()
{
    ResetPivotSet(eDESTINATION_SET);
    ConvertPivotAnimationRecursive(eDESTINATION_SET, 30.0, false);
    ResetPivotSet(eSOURCE_SET);
}

} // namespace qoxsdk_600
