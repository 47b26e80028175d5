// Node transform settings: default transform, inheritance, rotation options,
// and the copies between the working records (source pivot set, limits) and
// the node properties that files store.

#include <cmath>
#include <utility>

#include "scene/kqoxnode.h"
#include "scene/kqoxuserproperty.h"

namespace qoxsdk_600 {

namespace {

// Runs f on the user property of that name. While the node's wrappers are put
// off, a wrapper of the same table property stands in, so that setting a
// default value does not make all of them.
template <class F>
void WithNamedProperty(KQoxNode& node, const char* name, F f)
{
    if (KProperty* pending = node.FindPendingProperty(name))
    {
        KQoxUserProperty standIn(node.GetSdkManager(), pending);
        standIn.SetPropertyHandler(node.GetPropertyHandler());
        f(standIn);
        return;
    }
    if (KQoxUserProperty* property = node.FindPropertyByName(name))
        f(*property);
}

} // namespace

// ---------------------------------------------------------------------------
// Default transform

void KQoxNode::SetDefaultVector(const char* name, const KQoxVector4& v)
{
    WithNamedProperty(*this, name, [&](KQoxUserProperty& property) { property.SetDefaultValue(v[0], v[1], v[2]); });
}

void KQoxNode::GetDefaultVector(const char* name, KQoxVector4& out)
{
    WithNamedProperty(*this, name,
                      [&](KQoxUserProperty& property) { property.GetDefaultValue(out[0], out[1], out[2]); });
}

void KQoxNode::SetDefaultT(const KQoxVector4& t)
{
    SetDefaultVector("Lcl Translation", t);
}

KQoxVector4& KQoxNode::GetDefaultT(KQoxVector4& out)
{
    GetDefaultVector("Lcl Translation", out);
    return out;
}

void KQoxNode::SetDefaultR(const KQoxVector4& r)
{
    SetDefaultVector("Lcl Rotation", r);
}

KQoxVector4& KQoxNode::GetDefaultR(KQoxVector4& out)
{
    GetDefaultVector("Lcl Rotation", out);
    return out;
}

void KQoxNode::SetDefaultS(const KQoxVector4& s)
{
    SetDefaultVector("Lcl Scaling", s);
}

KQoxVector4& KQoxNode::GetDefaultS(KQoxVector4& out)
{
    GetDefaultVector("Lcl Scaling", out);
    return out;
}

void KQoxNode::SetDefaultVisibility(double visibility)
{
    WithNamedProperty(*this, "Visibility", [&](KQoxUserProperty& property) { property.SetDefaultValue(visibility); });
}

double KQoxNode::GetDefaultVisibility()
{
    double value = 1.0;
    WithNamedProperty(*this, "Visibility", [&](KQoxUserProperty& property) { property.GetDefaultValue(value); });
    return value;
}

void KQoxNode::SetTransformationInheritType(ETransformInheritType type)
{
    mProperties->mInheritType.Value() = type;
}

void KQoxNode::GetTransformationInheritType(ETransformInheritType& out)
{
    out = mProperties->mInheritType.Value();
}

// ---------------------------------------------------------------------------
// Rotation options

void KQoxNode::SetRotationActive(bool active)
{
    Limits().SetRotationLimitActive(active);
    SetRotationActiveProperty(active);
}

bool KQoxNode::GetRotationActive()
{
    return mProperties->mRotationActive.Value();
}

void KQoxNode::SetRotationActiveProperty(bool active)
{
    mProperties->mRotationActive.Value() = active;
}

void KQoxNode::SetUseQuaternionForInterpolation(bool use)
{
    mProperties->mQuaternionInterpolate.Set(use);
}

bool KQoxNode::GetUseQuaternionForInterpolation()
{
    return mProperties->mQuaternionInterpolate.Value();
}

void KQoxNode::SetRotationStiffness(KQoxVector4 stiffness)
{
    mProperties->mRotationStiffnessX.Value() = stiffness[0];
    mProperties->mRotationStiffnessY.Value() = stiffness[1];
    mProperties->mRotationStiffnessZ.Value() = stiffness[2];
}

KQoxVector4 KQoxNode::GetRotationStiffness()
{
    return KQoxVector4(mProperties->mRotationStiffnessX.Value(), mProperties->mRotationStiffnessY.Value(),
                       mProperties->mRotationStiffnessZ.Value(), 1.0);
}

// ---------------------------------------------------------------------------
// Working records <-> properties

namespace {

typedef KQoxNodeProperties::Row<KgeTVector> VectorRow;
typedef KQoxNodeProperties::Row<bool> BoolRow;

// Two values differ beyond 1e-6.
bool Differs(double a, double b)
{
    return std::fabs(a - b) > 1e-6;
}

void StoreXYZ(VectorRow& row, const KQoxVector4& v)
{
    row.Value().x = v[0];
    row.Value().y = v[1];
    row.Value().z = v[2];
}

KQoxVector4 LoadXYZW(const VectorRow& row)
{
    const KgeTVector& v = row.Value();
    return KQoxVector4(v.x, v.y, v.z, v.w);
}

// The property rows of one limit kind.
struct LimitRows
{
    BoolRow* mActive;
    BoolRow* mMin[3];
    BoolRow* mMax[3];
    VectorRow* mMinVector;
    VectorRow* mMaxVector;
};

void LimitRowsOf(KQoxNodeProperties& p, LimitRows rows[3])
{
    rows[0] = {&p.mTranslationActive,
               {&p.mTranslationMinX, &p.mTranslationMinY, &p.mTranslationMinZ},
               {&p.mTranslationMaxX, &p.mTranslationMaxY, &p.mTranslationMaxZ},
               &p.mTranslationMin,
               &p.mTranslationMax};
    rows[1] = {&p.mRotationActive,
               {&p.mRotationMinX, &p.mRotationMinY, &p.mRotationMinZ},
               {&p.mRotationMaxX, &p.mRotationMaxY, &p.mRotationMaxZ},
               &p.mRotationMin,
               &p.mRotationMax};
    rows[2] = {&p.mScalingActive,
               {&p.mScalingMinX, &p.mScalingMinY, &p.mScalingMinZ},
               {&p.mScalingMaxX, &p.mScalingMaxY, &p.mScalingMaxZ},
               &p.mScalingMin,
               &p.mScalingMax};
}

// The pivot-set vector fields and the property rows that mirror them.
struct PivotVectorRow
{
    KQoxVector4 KQoxNodeProperties::KQoxPivot::*mField;
    VectorRow& (*mRow)(KQoxNodeProperties& p);
    double mNeutral; // the value that means "not in use"
};

#define KQOX_PIVOT_VECTOR_ROW(Name, Neutral)                                                                           \
    {                                                                                                                  \
        &KQoxNodeProperties::KQoxPivot::m##Name, [](KQoxNodeProperties& p) -> VectorRow& { return p.m##Name; },        \
            Neutral                                                                                                    \
    }
const PivotVectorRow kPivotVectorRows[] = {KQOX_PIVOT_VECTOR_ROW(RotationOffset, 0.0),
                                           KQOX_PIVOT_VECTOR_ROW(RotationPivot, 0.0),
                                           KQOX_PIVOT_VECTOR_ROW(RotationPivotUpdateOffset, 0.0),
                                           KQOX_PIVOT_VECTOR_ROW(PreRotation, 0.0),
                                           KQOX_PIVOT_VECTOR_ROW(PostRotation, 0.0),
                                           KQOX_PIVOT_VECTOR_ROW(ScalingOffset, 0.0),
                                           KQOX_PIVOT_VECTOR_ROW(ScalingPivot, 0.0),
                                           KQOX_PIVOT_VECTOR_ROW(ScalingPivotUpdateOffset, 0.0),
                                           KQOX_PIVOT_VECTOR_ROW(GeometricTranslation, 0.0),
                                           KQOX_PIVOT_VECTOR_ROW(GeometricRotation, 0.0),
                                           KQOX_PIVOT_VECTOR_ROW(GeometricScaling, 1.0)};
#undef KQOX_PIVOT_VECTOR_ROW

KQoxLimits& LimitsOf(KQoxNodeLimits& limits, int kind)
{
    return kind == 0 ? limits.mTranslationLimits : kind == 1 ? limits.mRotationLimits : limits.mScalingLimits;
}

const KQoxLimits& LimitsOf(const KQoxNodeLimits& limits, int kind)
{
    return kind == 0 ? limits.mTranslationLimits : kind == 1 ? limits.mRotationLimits : limits.mScalingLimits;
}

bool KindActive(const KQoxNodeLimits& limits, int kind)
{
    return kind == 0   ? limits.GetTranslationLimitActive()
           : kind == 1 ? limits.GetRotationLimitActive()
                       : limits.GetScalingLimitActive();
}

} // namespace

void KQoxNode::UpdatePropertiesFromPivotsAndLimits()
{
    KQoxNodeProperties& p = *mProperties;
    const KQoxNodeProperties::KQoxPivot& source = std::as_const(p).mPivots[eSOURCE_SET];
    for (const PivotVectorRow& row : kPivotVectorRows)
        StoreXYZ(row.mRow(p), source.*row.mField);
    p.mRotationOrder.Value() = source.mRotationOrder;
    p.mRotationSpaceForLimitOnly.Value() = source.mRotationSpaceForLimitOnly;

    LimitRows rows[3];
    LimitRowsOf(p, rows);
    for (int kind = 0; kind < 3; ++kind)
    {
        const KQoxLimits& limits = LimitsOf(LimitsForReading(), kind);
        rows[kind].mActive->Value() = KindActive(LimitsForReading(), kind);
        bool min[3], max[3];
        limits.GetLimitMinActive(min[0], min[1], min[2]);
        limits.GetLimitMaxActive(max[0], max[1], max[2]);
        for (int axis = 0; axis < 3; ++axis)
        {
            rows[kind].mMin[axis]->Value() = min[axis];
            rows[kind].mMax[axis]->Value() = max[axis];
        }
        StoreXYZ(*rows[kind].mMinVector, limits.GetLimitMin());
        StoreXYZ(*rows[kind].mMaxVector, limits.GetLimitMax());
    }
}

void KQoxNode::UpdatePivotsAndLimitsFromProperties()
{
    KQoxNodeProperties& p = *mProperties;

    bool pivotsInUse = p.mRotationOrder.Value() != eEULER_XYZ;
    for (const PivotVectorRow& row : kPivotVectorRows)
    {
        const KgeTVector& v = (row.mRow(p)).Value();
        if (Differs(v.x, row.mNeutral) || Differs(v.y, row.mNeutral) || Differs(v.z, row.mNeutral))
            pivotsInUse = true;
    }
    if (pivotsInUse)
    {
        KQoxNodeProperties::KQoxPivot& source = p.mPivots[eSOURCE_SET];
        for (const PivotVectorRow& row : kPivotVectorRows)
            source.*row.mField = LoadXYZW(row.mRow(p));
        source.mRotationOrder = p.mRotationOrder.Value();
        source.mRotationSpaceForLimitOnly = p.mRotationSpaceForLimitOnly.Value();
        source.mPivotState = ePIVOT_STATE_ACTIVE;
        source.mGlobalMatrixValid = false;
        p.mPivots.Reset(eDESTINATION_SET);
    }

    LimitRows rows[3];
    LimitRowsOf(p, rows);
    bool changed = false;
    for (int kind = 0; kind < 3 && !changed; ++kind)
        changed = KindActive(LimitsForReading(), kind) != rows[kind].mActive->Value();
    for (int kind = 0; kind < 3 && !changed; ++kind)
    {
        const KQoxLimits& limits = LimitsOf(LimitsForReading(), kind);
        for (int axis = 0; axis < 3 && !changed; ++axis)
            changed = limits.mMinActive[axis] != rows[kind].mMin[axis]->Value();
        for (int axis = 0; axis < 3 && !changed; ++axis)
            changed = limits.mMaxActive[axis] != rows[kind].mMax[axis]->Value();
        const KgeTVector& min = rows[kind].mMinVector->Value();
        const KgeTVector& max = rows[kind].mMaxVector->Value();
        for (int axis = 0; axis < 3 && !changed; ++axis)
            changed = Differs(limits.mMin[axis], min[axis]);
        for (int axis = 0; axis < 3 && !changed; ++axis)
            changed = Differs(limits.mMax[axis], max[axis]);
    }
    if (!changed)
        return;

    for (int kind = 0; kind < 3; ++kind)
    {
        const bool active = rows[kind].mActive->Value();
        if (kind == 0)
            Limits().SetTranslationLimitActive(active);
        else if (kind == 1)
            Limits().SetRotationLimitActive(active);
        else
            Limits().SetScalingLimitActive(active);
        KQoxLimits& limits = LimitsOf(Limits(), kind);
        limits.SetLimitMinActive(rows[kind].mMin[0]->Value(), rows[kind].mMin[1]->Value(), rows[kind].mMin[2]->Value());
        limits.SetLimitMaxActive(rows[kind].mMax[0]->Value(), rows[kind].mMax[1]->Value(), rows[kind].mMax[2]->Value());
        limits.SetLimitMin(LoadXYZW(*rows[kind].mMinVector));
        limits.SetLimitMax(LoadXYZW(*rows[kind].mMaxVector));
    }
}

} // namespace qoxsdk_600
