// Transform animation of the import: the nine transform curves, the static
// transform values and cached global transform, visibility, rotation order,
// pivots and limits of one host-linked node.

#include <cmath>

#include "base/kmath_kernels.h"
#include "fcurve/kfcurve.h"
#include "host/zglobal.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/qoxzeltnode.h"
#include "plugin/qoxzeltutility.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;

namespace {

const double kDegreesPerRadian = 57.29577951308232;
const double kRadiansPerDegree = 0.017453292519943295;
// Old files: two rotations closer than this, element by element, are the same.
const double kSameRotation = 1e-6;
// Visibility above this is on.
const double kVisibleAbove = 0.00001;

// Host rotation-order code of an SDK order; kInvalid for Spheric XYZ and
// anything else.
ZTransformationMatrix::RotationOrder HostRotationOrder(ERotationOrder order)
{
    switch (order)
    {
    case eEULER_XYZ: return ZTransformationMatrix::kXYZ;
    case eEULER_XZY: return ZTransformationMatrix::kXZY;
    case eEULER_YZX: return ZTransformationMatrix::kYZX;
    case eEULER_YXZ: return ZTransformationMatrix::kYXZ;
    case eEULER_ZXY: return ZTransformationMatrix::kZXY;
    case eEULER_ZYX: return ZTransformationMatrix::kZYX;
    default: return ZTransformationMatrix::kInvalid;
    }
}

// The take's translation, Euler rotation and scaling curves, X, Y and Z
// (any may be null).
struct TransformCurves
{
    explicit TransformCurves(KQoxTakeNode& take)
        : mTranslation{take.GetTranslationX(), take.GetTranslationY(), take.GetTranslationZ()}
        , mRotation{take.GetEulerRotationX(), take.GetEulerRotationY(), take.GetEulerRotationZ()}
        , mScaling{take.GetScaleX(), take.GetScaleY(), take.GetScaleZ()}
    {}
    KFCurve* mTranslation[3];
    KFCurve* mRotation[3];
    KFCurve* mScaling[3];
};

// Rotation matrix of Euler XYZ angles in degrees, for row vectors.
void XYZMatrix(KRow4* m, double x, double y, double z)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m[r][c] = r == c ? 1.0 : 0.0;
    KmIJKtoR(m, x, y, z, 0);
}

bool SameRotation(const ZPoint& a, const ZPoint& b)
{
    double ma[4][4], mb[4][4];
    XYZMatrix(ma, a.x, a.y, a.z);
    XYZMatrix(mb, b.x, b.y, b.z);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            if (std::fabs(ma[r][c] - mb[r][c]) > kSameRotation)
                return false;
    return true;
}

ZPoint Point(const KQoxVector4& v)
{
    return ZPoint(v[0], v[1], v[2]);
}

// Old files: the pre- and post-rotation become joint orient and rotate axis
// when they differ from the host's, and the host pivots are cleared.
void OldFileFixUp(ZFnTransform& transform, QoxZeltNode& node)
{
    ZPoint pre = Point(node.GetPreRotation(eSOURCE_SET));
    ZPoint orient;
    QoxZeltUtility::GetJointOrient(transform, orient);
    if (!SameRotation(pre, orient))
        QoxZeltUtility::SetJointOrient(transform, pre);
    ZPoint post = Point(node.GetPostRotation(eSOURCE_SET));
    ZPoint axis;
    QoxZeltUtility::GetRotateAxis(transform, axis);
    if (!SameRotation(post, axis))
        QoxZeltUtility::SetRotateAxis(transform, post);
    transform.setRotatePivotTranslation(ZVector(0, 0, 0), ZSpace::kTransform);
    transform.setRotatePivot(ZPoint(0, 0, 0), ZSpace::kTransform, false);
    transform.setScalePivotTranslation(ZVector(0, 0, 0), ZSpace::kTransform);
    transform.setScalePivot(ZPoint(0, 0, 0), ZSpace::kTransform, false);
}

// Affine matrix of XYZ angles (degrees), row scales and translation.
void TRSMatrix(KRow4* m, const double* t, const double* r, const double* s)
{
    XYZMatrix(m, r[0], r[1], r[2]);
    KmRS(m, m, s);
    for (int c = 0; c < 3; ++c)
        m[3][c] = t[c];
}

} // namespace

void QoxZeltImport::ImportTransformAnimation(QoxZeltNode& node)
{
    ZDagPath* path = node.GetDagPath();
    if (!path || !path->isValid())
        return;
    ZStatus status;
    ZFnTransform transform(*path, &status);
    if (!status)
        return;
    ImportTransformAnimation(transform, node);
    if (mOldVersion)
        return;
    ImportPivots(transform, node);
    ImportLimits(transform, node);
    ImportRotationOrder(transform, node);
}

void QoxZeltImport::ImportTransformAnimation(ZFnTransform& transform, QoxZeltNode& node)
{
    if (mOldVersion)
        OldFileFixUp(transform, node);
    KQoxTakeNode* take = node.GetCurrentTakeNode();
    if (!take)
        return;
    TransformCurves curves(*take);
    static const char* const kTranslate[3] = {"translateX", "translateY", "translateZ"};
    static const char* const kRotate[3] = {"rotateX", "rotateY", "rotateZ"};
    static const char* const kScale[3] = {"scaleX", "scaleY", "scaleZ"};

    ZStatus status;
    const double distanceUnit = QoxZeltUtility::DistanceUnitRatio();
    for (int axis = 0; axis < 3; ++axis)
        if (curves.mTranslation[axis])
            SetZeltCurve(transform, kTranslate[axis], *curves.mTranslation[axis], ZFnAnimCurve::kAnimCurveTL, 1.0,
                         distanceUnit, &status);
    for (int axis = 0; axis < 3; ++axis)
        if (curves.mScaling[axis])
            SetZeltCurve(transform, kScale[axis], *curves.mScaling[axis], ZFnAnimCurve::kAnimCurveTU, 1.0, 1.0,
                         &status);
    SetDefaultGeometry(node, transform);
    const double angleSlope = ZAngle::uiUnit() == ZAngle::kDegrees ? kRadiansPerDegree : 1.0;
    for (int axis = 0; axis < 3; ++axis)
        if (curves.mRotation[axis])
            SetZeltCurve(transform, kRotate[axis], *curves.mRotation[axis], ZFnAnimCurve::kAnimCurveTA,
                         kDegreesPerRadian, angleSlope, &status);
}

void QoxZeltImport::ImportRotationOrder(ZFnTransform& transform, QoxZeltNode& node)
{
    ERotationOrder order;
    node.GetRotationOrder(eDESTINATION_SET, order);
    ZTransformationMatrix::RotationOrder code = HostRotationOrder(order);
    if (code != ZTransformationMatrix::kInvalid)
        transform.setRotationOrder(code, true);
}

ZStatus QoxZeltImport::ImportAnimationVisibility(QoxZeltNode& node)
{
    ZPlug plug;
    ZStatus result = QoxZeltUtility::FindPlug(node, plug, "visibility");
    if (!result)
        return result;
    KQoxTakeNode* current = node.GetCurrentTakeNode();
    KQoxTakeNode* defaultTake = node.GetDefaultTakeNode();
    if (current && current != defaultTake)
    {
        if (KFCurve* curve = current->GetVisibility())
        {
            // Visibility is on or off: every key becomes a step of 0 or 1.
            for (int i = 0; i < curve->KeyGetCount(); ++i)
            {
                KFCurveKey* key = curve->KeyGetPtr(i);
                key->SetValue(key->GetValue() > kVisibleAbove ? 1.0f : 0.0f);
                key->SetInterpolation(KFCURVE_INTERPOLATION_CONSTANT);
            }
            SetZeltCurve(plug, *curve, ZFnAnimCurve::kAnimCurveTU, 1.0, 1.0);
        }
    }
    KFCurve* defaultCurve = defaultTake ? defaultTake->GetVisibility() : nullptr;
    bool visible = defaultCurve && defaultCurve->GetValue() > kVisibleAbove && node.GetVisibility();
    plug.setValue(visible ? 1.0 : 0.0);
    return result;
}

void QoxZeltImport::ImportPivots(ZFnTransform& transform, QoxZeltNode& node)
{
    EPivotState state;
    node.GetPivotState(eSOURCE_SET, state);
    if (state != ePIVOT_STATE_ACTIVE)
        return;
    QoxZeltUtility::SetJointOrient(transform, Point(node.GetPreRotation(eSOURCE_SET)));
    // The host's rotate axis turns the other way round than the post-rotation.
    const KQoxVector4& post = node.GetPostRotation(eSOURCE_SET);
    double m[4][4];
    XYZMatrix(m, post[0], post[1], post[2]);
    KmRi(m, m);
    double angles[3];
    KmRtoVXYZ(angles, m);
    QoxZeltUtility::SetRotateAxis(transform, ZPoint(angles[0], angles[1], angles[2]));
    transform.setRotatePivot(Point(node.GetRotationPivot(eSOURCE_SET)), ZSpace::kTransform, false);
    transform.setRotatePivotTranslation(ZVector(Point(node.GetRotationOffset(eSOURCE_SET))), ZSpace::kTransform);
    transform.setScalePivot(Point(node.GetScalingPivot(eSOURCE_SET)), ZSpace::kTransform, false);
    transform.setScalePivotTranslation(ZVector(Point(node.GetScalingOffset(eSOURCE_SET))), ZSpace::kTransform);
}

void QoxZeltImport::ImportLimits(ZFnTransform&, QoxZeltNode& node)
{
    const KQoxNodeLimits& limits = node.GetLimits();
    const KQoxLimits kinds[3] = {limits.mTranslationLimits, limits.mRotationLimits, limits.mScalingLimits};
    const bool active[3] = {limits.GetTranslationLimitActive(), limits.GetRotationLimitActive(),
                            limits.GetScalingLimitActive()};
    if (!active[0] && !active[1] && !active[2])
        return;

    // The attribute editor is undocked and hidden while the limits of the
    // first limited node of an interactive import are set.
    int docked = 0, visible = 0;
    ZStringArray result;
    if (!mLimitsOnce)
    {
        int batch = 0;
        DebugCheckStatus(ZGlobal::executeCommand("about -b", batch, true, false), nullptr);
        if (batch == 0)
        {
            mLimitsOnce = true;
            DebugCheckStatus(ZGlobal::executeCommand("optionVar -q aeInMainWindow", docked, true, false), nullptr);
            if (docked)
            {
                DebugCheckStatus(ZGlobal::executeCommand("isAttributeEditorVisible", visible, true, false), nullptr);
                ZGlobal::executeCommand("optionVar -iv aeInMainWindow 0;setAttributeEditorVisible 0", result, false,
                                        false);
            }
        }
    }

    static const char* const kHeads[9] = {"transformLimits -tx ", "transformLimits -ty ", "transformLimits -tz ",
                                          "transformLimits -rx ", "transformLimits -ry ", "transformLimits -rz ",
                                          "transformLimits -sx ", "transformLimits -sy ", "transformLimits -sz "};
    static const char* const kEnables[9] = {" -etx ", " -ety ", " -etz ", " -erx ", " -ery ",
                                            " -erz ", " -esx ", " -esy ", " -esz "};
    ZString pathName = node.GetDagPath() ? node.GetDagPath()->fullPathName() : ZString();
    for (int kind = 0; kind < 3; ++kind)
    {
        if (!active[kind])
            continue;
        bool minOn[3], maxOn[3];
        kinds[kind].GetLimitMinActive(minOn[0], minOn[1], minOn[2]);
        kinds[kind].GetLimitMaxActive(maxOn[0], maxOn[1], maxOn[2]);
        KQoxVector4 minimum = kinds[kind].GetLimitMin(), maximum = kinds[kind].GetLimitMax();
        for (int axis = 0; axis < 3; ++axis)
        {
            double low = minimum[axis], high = maximum[axis];
            // An inverted pair is closed on its inactive end; both active ends go as they are.
            if (low > high)
            {
                if (!maxOn[axis])
                    high = low;
                else if (!minOn[axis])
                    low = high;
            }
            ZString command(kHeads[kind * 3 + axis]);
            command += low;
            command += " ";
            command += high;
            command += kEnables[kind * 3 + axis];
            command += minOn[axis] ? 1 : 0;
            command += " ";
            command += maxOn[axis] ? 1 : 0;
            command += " ";
            command += pathName;
            ZGlobal::executeCommand(command, result, false, false);
        }
    }

    if (docked)
    {
        ZGlobal::executeCommand("openAEWindow;refreshAE;optionVar -iv aeInMainWindow 1;setAttributeEditorVisible 1",
                                result, false, false);
        if (visible == 0)
            ZGlobal::executeCommand("setChannelBoxVisible(1)", result, false, false);
    }
}

void QoxZeltImport::SetTransformVector(double* values, KFCurve** curves) const
{
    for (int i = 0; i < 3; ++i)
        values[i] = curves[i]->CandidateEvaluate(mCurrentHostTime);
}

void QoxZeltImport::SetDefaultGeometry(QoxZeltNode& node, ZFnTransform& transform)
{
    KQoxTakeNode* take = node.GetCurrentTakeNode();
    if (!take)
        return;
    TransformCurves curves(*take);
    for (int i = 0; i < 3; ++i)
        if (!curves.mTranslation[i] || !curves.mRotation[i] || !curves.mScaling[i])
            return;

    double t[3], s[3], r[3];
    SetTransformVector(t, curves.mTranslation);
    SetTransformVector(s, curves.mScaling);
    SetTransformVector(r, curves.mRotation);
    const double radians[3] = {r[0] / kDegreesPerRadian, r[1] / kDegreesPerRadian, r[2] / kDegreesPerRadian};

    transform.setTranslation(ZVector(t[0], t[1], t[2]), ZSpace::kTransform);
    ERotationOrder order;
    node.GetRotationOrder(eDESTINATION_SET, order);
    ZTransformationMatrix::RotationOrder code = HostRotationOrder(order);
    if (code != ZTransformationMatrix::kInvalid)
        transform.setRotation(radians, code);
    transform.setScale(s);

    // The global transform from the local XYZ values and the parent's cached one.
    double local[4][4];
    TRSMatrix(local, t, r, s);
    if (KQoxNode* parentNode = node.GetParent())
    {
        QoxZeltNode* parent = static_cast<QoxZeltNode*>(parentNode);
        double global[4][4];
        TRSMatrix(global, parent->GetGlobalTranslation(), parent->GetGlobalRotation(), parent->GetGlobalScaling());
        KmAA(local, global, local);
    }

    const double det = local[0][0] * (local[1][1] * local[2][2] - local[1][2] * local[2][1]) -
                       local[0][1] * (local[1][0] * local[2][2] - local[1][2] * local[2][0]) +
                       local[0][2] * (local[1][0] * local[2][1] - local[1][1] * local[2][0]);
    const double sign = det < 0.0 ? -1.0 : 1.0;
    double rows[4][4];
    double lengths[3];
    for (int i = 0; i < 3; ++i)
    {
        lengths[i] =
            sign * std::sqrt(local[i][0] * local[i][0] + local[i][1] * local[i][1] + local[i][2] * local[i][2]);
        // A row of length 0 (scaled to nothing) stays as it is.
        const double divisor = lengths[i] != 0.0 ? lengths[i] : 1.0;
        for (int c = 0; c < 3; ++c)
            rows[i][c] = local[i][c] / divisor;
    }
    double angles[3];
    KmRtoVXYZ(angles, rows);

    KgeTVector globalT;
    globalT.x = local[3][0];
    globalT.y = local[3][1];
    globalT.z = local[3][2];
    KgeRVector globalR;
    globalR.x = angles[0];
    globalR.y = angles[1];
    globalR.z = angles[2];
    KgeSVector globalS;
    globalS.x = lengths[0];
    globalS.y = lengths[1];
    globalS.z = lengths[2];
    node.SetGlobalTranslation(globalT);
    node.SetGlobalRotation(globalR);
    node.SetGlobalScaling(globalS);
}
