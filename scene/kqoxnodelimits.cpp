#include "scene/kqoxnodelimits.h"

#include <cmath>

#include "base/kgeometry.h"
#include "base/kmath_kernels.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodeattribute.h"

namespace qoxsdk_600 {

KQoxLimits::KQoxLimits()
    : mMinActive{false, false, false}
    , mMaxActive{false, false, false}
{}

void KQoxLimits::SetLimitMinActive(bool x, bool y, bool z)
{
    mMinActive[0] = x;
    mMinActive[1] = y;
    mMinActive[2] = z;
}

void KQoxLimits::GetLimitMinActive(bool& x, bool& y, bool& z) const
{
    x = mMinActive[0];
    y = mMinActive[1];
    z = mMinActive[2];
}

void KQoxLimits::SetLimitMaxActive(bool x, bool y, bool z)
{
    mMaxActive[0] = x;
    mMaxActive[1] = y;
    mMaxActive[2] = z;
}

void KQoxLimits::GetLimitMaxActive(bool& x, bool& y, bool& z) const
{
    x = mMaxActive[0];
    y = mMaxActive[1];
    z = mMaxActive[2];
}

bool KQoxLimits::GetLimitSomethingActive() const
{
    for (int i = 0; i < 3; ++i)
        if (mMinActive[i] || mMaxActive[i])
            return true;
    return false;
}

KQoxNodeLimits::KQoxNodeLimits(KQoxNode* node)
    : mLimitedNode(node)
    , mTranslationLimitActive(false)
    , mRotationLimitActive(false)
    , mScalingLimitActive(false)
{
    if (mLimitedNode)
        mLimitedNode->SetRotationActiveProperty(false);
}

void KQoxNodeLimits::SetRotationLimitActive(bool active)
{
    mRotationLimitActive = active;
    if (mLimitedNode)
        mLimitedNode->SetRotationActiveProperty(active);
}

// ---------------------------------------------------------------------------

KQoxLimitsUtilities::KQoxLimitsUtilities(KQoxNodeLimits* limits)
    : mLimits(limits)
    , mAxisLength(1.0)
{}

KQoxLimits* KQoxLimitsUtilities::Kind(ELimitType type)
{
    if (!mLimits)
        return nullptr;
    switch (type)
    {
    case eT: return &mLimits->mTranslationLimits;
    case eR: return &mLimits->mRotationLimits;
    case eS: return &mLimits->mScalingLimits;
    default: return nullptr;
    }
}

KQoxVector4 KQoxLimitsUtilities::LimitEnd(ELimitType type, bool max)
{
    KQoxLimits* limits = Kind(type);
    if (!limits)
        return KQoxVector4();
    return max ? limits->GetLimitMax() : limits->GetLimitMin();
}

KQoxNode* KQoxLimitsUtilities::Node() const
{
    return mLimits ? mLimits->GetLimitedNode() : nullptr;
}

void KQoxLimitsUtilities::SetAuto(ELimitType type, bool automatic)
{
    if (!mLimits)
        return;
    switch (type)
    {
    case eT: mLimits->SetTranslationLimitActive(!automatic); break;
    case eR:
        mLimits->SetRotationLimitActive(!automatic);
        if (!automatic && Node())
            Node()->SetUseRotationSpaceForLimitOnly(eSOURCE_SET, true);
        break;
    case eS: mLimits->SetScalingLimitActive(!automatic); break;
    default: break;
    }
}

bool KQoxLimitsUtilities::GetAuto(ELimitType type)
{
    if (!mLimits)
        return true;
    switch (type)
    {
    case eT: return !mLimits->GetTranslationLimitActive();
    case eR: return !mLimits->GetRotationLimitActive();
    case eS: return !mLimits->GetScalingLimitActive();
    default: return true;
    }
}

void KQoxLimitsUtilities::SetEnable(ELimitType type, bool enable)
{
    KQoxLimits* limits = Kind(type);
    if (limits && limits->GetLimitSomethingActive() != enable)
    {
        limits->SetLimitMinActive(enable, enable, enable);
        limits->SetLimitMaxActive(enable, enable, enable);
    }
}

bool KQoxLimitsUtilities::GetEnable(ELimitType type)
{
    KQoxLimits* limits = Kind(type);
    return limits ? limits->GetLimitSomethingActive() : false;
}

void KQoxLimitsUtilities::SetDefault(ELimitType type, KQoxVector4 value)
{
    if (type == eR)
    {
        if (Node())
            Node()->SetPreRotation(eSOURCE_SET, value);
        return;
    }
    if (KQoxLimits* limits = Kind(type))
    {
        limits->SetLimitMin(value);
        limits->SetLimitMax(value);
    }
}

KQoxVector4 KQoxLimitsUtilities::GetDefault(ELimitType type)
{
    if (type == eR)
        return Node() ? Node()->GetPreRotation(eSOURCE_SET) : KQoxVector4();
    return LimitEnd(type, false);
}

void KQoxLimitsUtilities::SetMin(ELimitType type, KQoxVector4 value)
{
    if (KQoxLimits* limits = Kind(type))
        limits->SetLimitMin(value);
}

KQoxVector4 KQoxLimitsUtilities::GetMin(ELimitType type)
{
    return LimitEnd(type, false);
}

void KQoxLimitsUtilities::SetMax(ELimitType type, KQoxVector4 value)
{
    if (KQoxLimits* limits = Kind(type))
        limits->SetLimitMax(value);
}

KQoxVector4 KQoxLimitsUtilities::GetMax(ELimitType type)
{
    return LimitEnd(type, true);
}

void KQoxLimitsUtilities::SetRotationType(ERotationType type)
{
    if (Node())
        Node()->SetRotationOrder(eSOURCE_SET, type == eROTATION_SPHERIC ? eSPHERIC_XYZ : eEULER_XYZ);
}

KQoxLimitsUtilities::ERotationType KQoxLimitsUtilities::GetRotationType()
{
    ERotationOrder order = eEULER_XYZ;
    if (Node())
        Node()->GetRotationOrder(eSOURCE_SET, order);
    return order == eSPHERIC_XYZ ? eROTATION_SPHERIC : eROTATION_EULER;
}

KQoxLimitsUtilities::ERotationClampType KQoxLimitsUtilities::GetRotationClampType()
{
    return GetRotationType() == eROTATION_SPHERIC ? eROTATION_CLAMP_TYPE_ELIPSOID : eROTATION_CLAMP_TYPE_RECTANGULAR;
}

void KQoxLimitsUtilities::SetRotationAxis(KQoxVector4 axis)
{
    if (Node())
        Node()->SetPostRotation(eSOURCE_SET, axis);
}

KQoxVector4 KQoxLimitsUtilities::GetRotationAxis()
{
    return Node() ? Node()->GetPostRotation(eSOURCE_SET) : KQoxVector4();
}

namespace {

// Length of x, y, z; 0 when the sum of squares is 0.
double Length3(const double* v)
{
    double s = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    return s == 0.0 ? 0.0 : std::sqrt(s);
}

void Cross(double* out, const double* a, const double* b)
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

// Euler XYZ degrees of the rotation m relative to the rotation of reference.
KQoxVector4 RelativeAngles(const KgeRMatrix& reference, const KgeRMatrix& m)
{
    KgeRMatrix relative;
    KmRiR(relative.mData, reference.mData, m.mData);
    KQoxVector4 angles;
    KmRtoVXYZ(angles.mData, relative.mData);
    angles[3] = 0.0;
    return angles;
}

} // namespace

void KQoxLimitsUtilities::UpdateAutomatic(KQoxNode* node)
{
    const bool autoT = GetAuto(eT);
    const bool autoR = GetAuto(eR);
    const bool autoS = GetAuto(eS);
    if (!node || !node->GetParent() || !(autoT || autoR || autoS))
        return;

    const KQoxXMatrix parent = node->GetParent()->GetGlobalFromDefaultTake();
    const KQoxXMatrix global = node->GetGlobalFromDefaultTake();
    const KQoxXMatrix local = node->GetLocalFromDefaultTake();

    if (autoT)
    {
        KQoxVector4 t(local.Get(3, 0), local.Get(3, 1), local.Get(3, 2), 0.0);
        SetMin(eT, t);
        SetMax(eT, t);
    }

    if (autoR)
    {
        KQoxVector4 end = GetEndPointTranslation(node);
        const double axisLength = Length3(end.mData);
        double d[3] = {global.Get(3, 0) - parent.Get(3, 0), global.Get(3, 1) - parent.Get(3, 1),
                       global.Get(3, 2) - parent.Get(3, 2)};
        const double boneLength = Length3(d);

        KgeRMatrix rn, rp;
        KgeSetRM(rn, global.mMatrix);
        KgeSetRM(rp, parent.mMatrix);
        KgeRMatrix m = rn;
        if (axisLength > 0.0)
        {
            double u[3] = {end[0] / axisLength, end[1] / axisLength, end[2] / axisLength};
            double w[3];
            for (int j = 0; j < 3; ++j)
                w[j] = u[0] * rn.mData[0][j] + u[1] * rn.mData[1][j] + u[2] * rn.mData[2][j];
            double c[3] = {0.0, 0.0, 0.0};
            if (boneLength > 0.0)
            {
                double db[3] = {d[0] / boneLength, d[1] / boneLength, d[2] / boneLength};
                Cross(c, db, w);
            }
            const double cLength = Length3(c);
            if (cLength == 0.0)
            {
                KgeQuaternion q;
                KgeTVector xAxis(rn.mData[0][0], rn.mData[0][1], rn.mData[0][2], 1.0);
                KgeTVector target(w[0], w[1], w[2], 1.0);
                GetQuaternionFromPositionToPosition(q, xAxis, target);
                KgeRMatrix qm;
                KmQtoR(qm.mData, &q.x);
                KmRR(m.mData, qm.mData, rn.mData);
            }
            else
            {
                double n[3] = {c[0] / cLength, c[1] / cLength, c[2] / cLength};
                double nw[3];
                Cross(nw, n, w);
                for (int j = 0; j < 3; ++j)
                {
                    m.mData[0][j] = w[j];
                    m.mData[1][j] = nw[j];
                    m.mData[2][j] = n[j];
                }
            }
        }
        SetDefault(eR, RelativeAngles(rp, m));
        SetRotationAxis(RelativeAngles(rn, m));
        SetAxisLength(axisLength);
        if (boneLength > 0.0)
        {
            SetRotationType(eROTATION_EULER);
            SetRotationClampType(eROTATION_CLAMP_TYPE_RECTANGULAR);
        }
        else
        {
            SetRotationType(eROTATION_SPHERIC);
            SetRotationClampType(eROTATION_CLAMP_TYPE_ELIPSOID);
        }
    }

    if (autoS)
    {
        double rows[3][3];
        KQoxVector4 s;
        for (int i = 0; i < 3; ++i)
        {
            for (int j = 0; j < 3; ++j)
                rows[i][j] = local.Get(i, j);
            s[i] = Length3(rows[i]);
        }
        double c[3];
        Cross(c, rows[0], rows[1]);
        if (c[0] * rows[2][0] + c[1] * rows[2][1] + c[2] * rows[2][2] < 0.0)
            for (int i = 0; i < 3; ++i)
                s[i] = -s[i];
        SetMin(eS, s);
        SetMax(eS, s);
    }
}

KQoxVector4 KQoxLimitsUtilities::GetEndPointTranslation(KQoxNode* node)
{
    if (!node)
        return KQoxVector4(0.0, 0.0, 0.0, 1.0);

    // The longest child so far among all children, children without
    // attribute, markers, root skeletons and other skeletons; the first of
    // equal lengths stays.
    enum
    {
        eAny,
        eNoAttribute,
        eMarker,
        eRootSkeleton,
        eOtherSkeleton,
        eRecordCount
    };
    struct Record
    {
        double mLength = 0.0;
        KQoxVector4 mT;
    } records[eRecordCount];

    const int count = node->GetChildCount(false);
    for (int i = 0; i < count; ++i)
    {
        KQoxNode* child = node->GetChild(i);
        if (!child)
            continue;
        const KQoxXMatrix& local = child->GetLocalFromDefaultTake();
        KQoxVector4 t(local.Get(3, 0), local.Get(3, 1), local.Get(3, 2), 1.0);
        const double length = Length3(t.mData);
        auto keep = [&](int which) {
            if (length > records[which].mLength)
            {
                records[which].mLength = length;
                records[which].mT = t;
            }
        };
        keep(eAny);
        KQoxNodeAttribute* attribute = child->GetNodeAttribute();
        if (!attribute)
            keep(eNoAttribute);
        else if (attribute->GetAttributeType() == KQoxNodeAttribute::eMARKER)
            keep(eMarker);
        else if (attribute->GetAttributeType() == KQoxNodeAttribute::eSKELETON)
            keep(attribute->IsRootSkeleton() ? eRootSkeleton : eOtherSkeleton);
    }

    int chosen = eAny;
    KQoxNodeAttribute* own = node->GetNodeAttribute();
    if (!own)
        chosen = eNoAttribute;
    else if (own->GetAttributeType() == KQoxNodeAttribute::eMARKER)
        chosen = eMarker;
    else if (own->GetAttributeType() == KQoxNodeAttribute::eSKELETON)
        chosen = own->IsRootSkeleton() ? eRootSkeleton : eOtherSkeleton;
    if (!(records[chosen].mLength > 0.0))
        chosen = eAny;

    if (records[chosen].mLength > 0.0)
        return records[chosen].mT;
    return GetEndSite(node);
}

KQoxVector4 KQoxLimitsUtilities::GetEndSite(KQoxNode* node)
{
    KQoxVector4 result(0.0, 0.0, 0.0, 1.0);
    KQoxNodeAttribute* geometry = node ? node->GetGeometry() : nullptr;
    if (!geometry)
        return result;
    const int count = geometry->GetControlPointsCount();
    const KQoxVector4* points = geometry->GetControlPoints();
    if (count <= 0 || !points)
        return result;
    double longest = 0.0;
    result = KQoxVector4();
    for (int i = 0; i < count; ++i)
    {
        const double length = points[i].Length();
        if (length > 0.0 && length > longest)
        {
            longest = length;
            result = points[i];
        }
    }
    return result;
}

} // namespace qoxsdk_600
