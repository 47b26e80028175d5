#include "fcurve/kfcurvefilter_unroll.h"

#include "base/kmath.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurveglobal.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurvenode_internal.h"

#include <cmath>

namespace {

const char* const kUnrollMessages[] = {"No key", "Left unchanged", "Need rotation curvenode", "Unexepected"};

const char* const kNotRotation = "Unroll Filter, Works only on rotation CurveNodes.";
const char* const kNoKey = "Unroll Filter, No key to be filtered.";

const double kRadiansToDegrees = 57.29577951308232;

} // namespace

KFCurveFilterUnroll::KFCurveFilterUnroll()
    : KFCurveFilter("Unroll Filter", kUnrollMessages, 4)
    , mQualityTolerance(0.25)
    , mTestForPath(false)
{
    KFCurveFilterUnroll::Reset();
}

KFCurveFilterUnroll::~KFCurveFilterUnroll() = default;

void KFCurveFilterUnroll::Reset()
{
    mQualityTolerance = KFCURVE_GetRotationFilterUnrollQuality();
    mTestForPath = KFCURVE_GetRotationFilterUnrollTestForPath();
    KFCurveFilter::Reset();
}

void KFCurveFilterUnroll::SetQualityTolerance(double tolerance)
{
    mQualityTolerance = tolerance;
}

double KFCurveFilterUnroll::GetQualityTolerance()
{
    return mQualityTolerance;
}

void KFCurveFilterUnroll::SetTestForPath(bool test)
{
    mTestForPath = test;
}

bool KFCurveFilterUnroll::GetTestForPath()
{
    return mTestForPath;
}

bool KFCurveFilterUnroll::Apply(KFCurveNode& node, bool /*recursive*/)
{
    bool qualifies = node.GetLayerType() == KFCL_EULER_XYZ;
    const char* const members[3] = {"X", "Y", "Z"};
    for (const char* member : members)
    {
        KFCurveNode* child = node.FindRecursive(member);
        if (child && !child->FCurveGet())
            qualifies = false;
    }
    if (!qualifies)
    {
        mError.SetLastError(eNeedRotationCurveNode, kNotRotation);
        return false;
    }
    return DoUnroll(&node);
}

bool KFCurveFilterUnroll::Apply(KFCurve** curves, int count)
{
    if (count != 3 || !curves || !curves[0] || !curves[1] || !curves[2])
    {
        mError.SetLastError(eNeedRotationCurveNode, kNotRotation);
        return false;
    }

    kfcurvenode_detail::BorrowedRotation rotation(curves);
    return Apply(rotation.Node(), true);
}

bool KFCurveFilterUnroll::Apply(KFCurve& /*curve*/)
{
    mError.SetLastError(eNeedRotationCurveNode, kNotRotation);
    return false;
}

bool KFCurveFilterUnroll::DoUnroll(KFCurveNode* node)
{
    // Children 0, 1 and 2 hold the X, Y and Z curves; all three must exist.
    if (!node || node->GetCount() != 3 || node->GetLayerType() != KFCL_EULER_XYZ || !node->Get(0)->FCurveGet() ||
        !node->Get(1)->FCurveGet() || !node->Get(2)->FCurveGet())
    {
        mError.SetLastError(eNeedRotationCurveNode, kNotRotation);
        return false;
    }
    if (node->KeyGetCount(false) == 0)
    {
        mError.SetLastError(eNoKey, kNoKey);
        return false;
    }

    // Working span: the keys of the three curves, within the filter's range.
    bool any = false;
    KTime first, last;
    for (int c = 0; c < 3; ++c)
    {
        KFCurve* curve = node->Get(c)->FCurveGet();
        const int count = curve->KeyGetCount();
        if (count == 0)
            continue;
        const KTime a = curve->KeyGetTime(0), b = curve->KeyGetTime(count - 1);
        if (!any || a < first)
            first = a;
        if (!any || b > last)
            last = b;
        any = true;
    }
    if (!any)
    {
        mError.SetLastError(eNoKey, kNoKey);
        return false;
    }
    const KTime spanStart = first > mStart ? first : mStart;
    const KTime spanStop = last < mStop ? last : mStop;

    KFCurveNode* working = node->Clone(false);
    KFCurve* curves[3] = {working->Get(0)->FCurveGet(), working->Get(1)->FCurveGet(), working->Get(2)->FCurveGet()};

    // The three curves are unrolled as key triples: give them common key times.
    KFCurveFilterKeySync keySync;
    keySync.SetStartTime(mStart);
    keySync.SetStopTime(mStop);
    if (keySync.NeedApply(curves, 3))
        keySync.Apply(curves, 3);

    int hint = -1;
    const int i0 = static_cast<int>(curves[0]->KeyFind(spanStart, &hint));
    const int i1 = static_cast<int>(curves[0]->KeyFind(spanStop, &hint));
    if (i0 == -1)
    {
        mError.SetLastError(eNoKey, kNoKey);
        working->Destroy();
        return false;
    }

    KgeRVector reference(0.0, 0.0, 0.0);
    if (i0 > 0)
        reference = KgeRVector(curves[0]->KeyGetValue(i0), curves[1]->KeyGetValue(i0), curves[2]->KeyGetValue(i0));

    // Orders 0 to 11 are Euler orders; the spherical order (and any code
    // outside the table) keeps its values as they are.
    const int order = node->GetRotationOrder();
    const bool euler = order >= 0 && order < 12;
    const int keyCount = curves[0]->KeyGetCount();
    for (int k = i0; k <= i1 && k < keyCount; ++k)
    {
        const double value[3] = {curves[0]->KeyGetValue(k), curves[1]->KeyGetValue(k), curves[2]->KeyGetValue(k)};
        double unrolled[3] = {value[0], value[1], value[2]};
        if (euler)
        {
            const double ref[3] = {reference.x, reference.y, reference.z};
            KVNGetContinuousRotation(unrolled, value, ref, KmEulerAxis[order]);
        }
        for (int c = 0; c < 3; ++c)
            curves[c]->KeySetValue(k, static_cast<float>(unrolled[c]));

        KgeRVector next(unrolled[0], unrolled[1], unrolled[2]);
        if (!mTestForPath || InterpolationQualityFactor(reference, next) >= mQualityTolerance)
            reference = next;
    }

    if (i0 != i1)
        node->Replace(working, mStart, mStop, false, true);
    working->Destroy();
    return true;
}

double KFCurveFilterUnroll::InterpolationQualityFactor(KgeRVector& first, KgeRVector& second)
{
    const double dx = first.x - second.x, dy = first.y - second.y, dz = first.z - second.z;
    const double distance2 = dx * dx + dy * dy + dz * dz;

    KgeRMatrix a, b, relative;
    KmXYZtoR(a, first.x, first.y, first.z);
    KmXYZtoR(b, second.x, second.y, second.z);
    KmRiR(relative, a, b);
    double q[4] = {0.0, 0.0, 0.0, 1.0};
    KmRtoQ(q, relative);
    double w = q[3];
    if (w > 1.0)
        w = 1.0;
    else if (w < -1.0)
        w = -1.0;
    const double angle = 2.0 * std::acos(w) * kRadiansToDegrees;

    if (distance2 > 2.220446049250313e-16)
        return angle * angle / distance2;
    return 100.0;
}
