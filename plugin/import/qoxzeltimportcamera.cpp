// Cameras: the host camera (with its aim and up objects when the camera has
// a target), its settings, and its field-of-view and roll animation.
#include <cmath>
#include <string>

#include "fcurve/kfcurve.h"
#include "host/zglobal.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/import/qoxzeltimportutility.h"
#include "plugin/qoxzeltnode.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using namespace qoxzeltimport;

namespace {

const char kCameraCommand[] = "camera "
                              "-centerOfInterest 5 -focalLength 35 -lensSqueezeRatio 1 "
                              "-cameraScale 1 -horizontalFilmAperture 1.41732 -horizontalFilmOffset 0 "
                              "-verticalFilmAperture 0.94488 -verticalFilmOffset 0 -filmFit Horizontal "
                              "-overscan 1 -motionBlur 0 -shutterAngle 144 -nearClipPlane 0.01 -farClipPlane 1000 "
                              "-orthographic 0 -orthographicWidth 30; "
                              "objectMoveCommand; ";

// Whether the name ends with the suffix (tested on the reversed name, the
// reversed suffix at position 0).
bool EndsWith(const KString& name, const char* suffix)
{
    return name.Reverse().Find(KString(suffix).Reverse().ToChars(), 0) == 0;
}

// The field-of-view curve becomes a focal-length curve, in place.
void ConvertFieldOfView(KFCurve& curve, KQoxCamera& camera)
{
    QoxFOVToFocalLengthModifier modifier(camera);
    const auto convert = [&modifier](double fov) { return modifier.Modify(fov); };
    if (curve.KeyGetCount() == 0)
    {
        curve.SetValue(static_cast<float>(convert(camera.GetAngleOfView())));
        return;
    }
    curve.SetValue(static_cast<float>(convert(curve.GetValue())));
    for (int i = 0; i < curve.KeyGetCount(); ++i)
    {
        const float left = static_cast<float>(convert(curve.KeyGetLeftBezierTangeant(i)));
        const float right = static_cast<float>(convert(curve.KeyGetRightBezierTangeant(i)));
        KFCurveKey* key = curve.KeyGetPtr(i);
        key->SetValue(static_cast<float>(convert(key->GetValue())));
        const unsigned mode = key->GetTangeantMode();
        if (key->GetInterpolation() == KFCURVE_INTERPOLATION_CUBIC &&
            (mode == KFCURVE_TANGEANT_USER || mode == KFCURVE_TANGEANT_BREAK))
        {
            curve.KeySetLeftBezierTangeant(i, left);
            curve.KeySetRightBezierTangeant(i, right);
        }
    }
}

// Records the DAG path that now leads to a host object on its node: a path
// taken before the object moved no longer leads anywhere.
void RecordPathTo(const ZObject& object, KQoxNode* target)
{
    ZDagPath path;
    if (ZDagPath::getAPathTo(object, path))
        static_cast<QoxZeltNode*>(target)->SetDagPath(&path);
}

// Names an aim or up object after its node, and records it on the node.
void BindSelectedObject(QoxZeltImport& import, ZObject& object, KQoxNode* target)
{
    QoxZeltNode* node = static_cast<QoxZeltNode*>(target);
    ZFnTransform transform(object);
    transform.setName(ZString(ShortName(node).ToChars()));
    node->SetShapeObject(&object);
    ZDagPath path;
    transform.getPath(path);
    node->SetDagPath(&path);
    import.AddUserProperties(transform, node);
}

} // namespace

TwistFactors qoxzeltimport::TwistFactorsFor(int internalAngleUnit)
{
    // The twist turns the other way from the roll, whatever the unit.
    if (internalAngleUnit == ZAngle::kRadians)
        return TwistFactors{-kRadToDeg, kDegToRad, -kDegToRad};
    return TwistFactors{-1.0, 1.0, -1.0};
}

bool IsCameraGroup(QoxZeltNode* node)
{
    if (!node)
        return false;
    const KString name = ShortName(node);
    if (!EndsWith(name, "_group"))
        return false;
    const KString base = name.Left(name.GetLen() - 6);
    int count = 0;
    bool aim = false;
    for (int i = 0; i < node->GetChildCount(false); ++i)
    {
        KQoxNode* child = node->GetChild(i);
        const KString childName = ShortName(child);
        if (AttributeType(child) == eCAMERA && childName.Find(base.ToChars(), 0) == 0)
            ++count;
        if (EndsWith(childName, "_aim"))
        {
            ++count;
            aim = true;
        }
        if (EndsWith(childName, "_up"))
            ++count;
    }
    return count >= 2 && aim;
}

void QoxZeltImport::CreateCameraGeometry(QoxZeltNode& node)
{
    KQoxCamera* camera = node.GetCamera();
    if (!camera)
        return;
    KQoxNode* target = node.GetTarget();
    KQoxNode* up = node.GetTargetUp();
    std::string text = kCameraCommand;
    text += !target ? "cameraMakeNode 1 " : up ? "cameraMakeNode 3 " : "cameraMakeNode 2 ";
    text += "\"\"";
    ZStringArray result;
    ZGlobal::executeCommand(ZString(text), result, true, false);

    ZSelectionList selection;
    ZGlobal::getActiveSelectionList(selection);
    const unsigned count = selection.length();
    if (count == 0 || count > 3)
        return;
    ZObject item;
    selection.getDependNode(0, item);
    ZFnDagNode cameraTransform(item);
    cameraTransform.setName(ZString(ShortName(&node).ToChars()));
    ZStatus st;
    ZFnCamera fnCamera(cameraTransform.child(0), &st);
    if (!st)
        return;
    fnCamera.setLensSqueezeRatio(camera->GetSqueezeRatio());
    fnCamera.setClippingPlanes(true);
    fnCamera.setNearClippingPlane(camera->GetNearPlane());
    fnCamera.setFarClippingPlane(camera->GetFarPlane());
    fnCamera.setFocalLength(camera->GetFocalLength());
    if (camera->GetProjectionType() == 1)
        fnCamera.setIsOrtho(true);

    ZObject shape = fnCamera.object();
    node.SetShapeObject(&shape);
    const ZObject cameraObject = fnCamera.parent(0);
    ZFnDagNode transformOfShape(cameraObject);
    ZDagPath path;
    transformOfShape.getPath(path);
    node.SetDagPath(&path);

    ZObject aim, upObject;
    if (count > 1 && target)
    {
        selection.getDependNode(count == 2 ? 1 : 2, aim);
        BindSelectedObject(*this, aim, target);
        if (count > 2 && up)
        {
            selection.getDependNode(1, upObject);
            BindSelectedObject(*this, upObject, up);
        }
    }

    // Under the host object of the SDK parent (past a camera group).
    QoxZeltNode* parent = ParentOf(&node);
    if (IsCameraGroup(parent))
        parent = ParentOf(parent);
    if (parent && parent != mRootNode && parent->GetDagPath() && parent->GetDagPath()->isValid())
    {
        ZString child =
            target ? ZFnDagNode(transformOfShape.parent(0)).partialPathName() : transformOfShape.partialPathName();
        ZFnDagNode parentNode(*parent->GetDagPath());
        ZGlobal::executeCommand(ZString("parent ") + child + " " + parentNode.partialPathName(), true, false);
        // The camera, aim and up objects moved with their group: their paths
        // are taken again, or the later passes would find none of them and
        // leave the camera's transform and lens at the creation defaults.
        RecordPathTo(cameraObject, &node);
        if (!aim.isNull())
            RecordPathTo(aim, target);
        if (!upObject.isNull())
            RecordPathTo(upObject, up);
        path = *node.GetDagPath();
    }
    ZFnTransform fnTransform(path);
    AddUserProperties(fnTransform, &node);
}

ZStatus QoxZeltImport::ImportAnimationCamera(QoxZeltNode& node)
{
    ZDagPath* path = node.GetDagPath();
    KQoxCamera* camera = node.GetCamera();
    if (!path || !camera || !path->hasFn(ZFn::kCamera))
        return ZStatus(ZStatus::kFailure, "not a camera");
    ZFnCamera fnCamera(*path);
    const int mode = camera->GetApertureMode();
    fnCamera.setLensSqueezeRatio(camera->GetSqueezeRatio());
    fnCamera.setNearClippingPlane(camera->GetNearPlane());
    fnCamera.setFarClippingPlane(camera->GetFarPlane());
    fnCamera.setFilmFit(mode >= 0 && mode <= 2 ? mode : 1);
    fnCamera.setIsOrtho(camera->GetProjectionType() == 1);
    fnCamera.setVerticalFilmAperture(camera->GetApertureHeight());
    fnCamera.setHorizontalFilmAperture(camera->GetApertureWidth());
    fnCamera.setFocusDistance(camera->GetSpecificDistance());

    KQoxTakeNode* take = node.GetCurrentTakeNode();
    KFCurve* fov = !take ? nullptr : mode == 0 ? take->GetCameraFieldOfViewX() : take->GetCameraFieldOfView();
    ZPlug focalLength = fnCamera.findPlug("focalLength");
    if (fov)
    {
        ConvertFieldOfView(*fov, *camera);
        SetZeltCurve(focalLength, *fov, ZFnAnimCurve::kAnimCurveTU, 1.0, 1.0);
        fnCamera.setFocalLength(fov->GetValue());
    }

    if (!node.GetTarget() || !path->isValid())
        return ZStatus();
    ZFnDagNode cameraNode(path->node());
    ZStatus st;
    ZFnDependencyNode group(cameraNode.parent(0), &st);
    ZPlug twist = st ? group.findPlug("twist", &st) : ZPlug();
    KFCurve* roll = take ? take->GetCameraRoll() : nullptr;
    if (!st || !roll)
        return ZStatus();
    const TwistFactors factors = TwistFactorsFor(ZAngle::internalUnit());
    SetZeltCurve(twist, *roll, ZFnAnimCurve::kAnimCurveTA, factors.mValueDivisor, factors.mSlopeFactor);
    twist.setValue(roll->GetValue() * factors.mStaticFactor);
    return ZStatus();
}
