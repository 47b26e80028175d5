// Lights: a host point, directional or spot light, its colour, intensity
// and cone angle as static values (default take) and animation (current take).
#include <string>

#include "fcurve/kfcurve.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/qoxzeltnode.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using namespace qoxzeltimport;

namespace {

// Degrees to radians as the cone-angle curve is scaled (a float factor).
const float kConeAngleScale = 0.017453292f;
// Percent to fraction for the intensity curve.
const float kIntensityScale = 0.01f;

// A light shape of the function set's kind under parent, named name.
template <class LightFn>
ZObject CreateLightShape(const ZObject& parent, const ZString& name, ZStatus& status)
{
    LightFn fn;
    fn.create(parent, true, &status);
    fn.setName(name);
    return fn.object();
}

} // namespace

void QoxZeltImport::CreateLightGeometry(QoxZeltNode& node)
{
    KQoxLight* light = node.GetLight();
    if (!light)
        return;
    const ZObject parent = HostParentObject(&node);
    const KString name = ShortName(&node);
    const ZString shapeName((std::string(name.ToChars()) + "Shape").c_str());
    ZStatus st;
    ZObject shape;
    switch (light->GetLightType())
    {
    case KQoxLight::ePOINT: shape = CreateLightShape<ZFnPointLight>(parent, shapeName, st); break;
    case KQoxLight::eDIRECTIONAL: shape = CreateLightShape<ZFnDirectionalLight>(parent, shapeName, st); break;
    case KQoxLight::eSPOT: shape = CreateLightShape<ZFnSpotLight>(parent, shapeName, st); break;
    default: st = ZStatus(ZStatus::kInvalidParameter, "unknown light type"); break;
    }
    if (!st)
    {
        st.perror("Cannot create Light");
        return;
    }
    node.SetShapeObject(&shape);

    ZFnLight fnLight(shape);
    ZFnTransform transform(fnLight.parent(0), &st);
    ZDagPath path;
    transform.getPath(path);
    node.SetDagPath(&path);
    if (!st)
        return;
    AddUserProperties(transform, &node);
    transform.setName(ZString(name.ToChars()));
}

ZStatus QoxZeltImport::ImportAnimationLight(QoxZeltNode& node)
{
    KQoxTakeNode* defaultTake = node.GetDefaultTakeNode();
    KQoxTakeNode* current = node.GetCurrentTakeNode();
    KQoxTakeNode* animTake = current != defaultTake ? current : nullptr;
    if (!node.GetShapeObject())
        return ZStatus();
    ZDagPath path;
    ZDagPath::getAPathTo(*node.GetShapeObject(), path);

    // A transfer of one channel: the curve is scaled to host units first.
    auto transfer = [&](ZFnDependencyNode& fn, const char* attribute, KFCurve* curve, float scale,
                        ZFnAnimCurve::AnimCurveType type) {
        if (!curve)
            return;
        if (scale != 1.0f)
            curve->KeyScaleValueAndTangeant(false, scale);
        ZStatus st;
        ZPlug plug = fn.findPlug(attribute, &st);
        if (st)
            SetZeltCurve(plug, *curve, type, 1.0, 1.0);
    };

    if (path.hasFn(ZFn::kSpotLight))
    {
        ZFnSpotLight spot(path);
        if (animTake)
            transfer(spot, "coneAngle", animTake->GetLightConeAngle(), kConeAngleScale, ZFnAnimCurve::kAnimCurveTA);
        if (KFCurve* cone = defaultTake ? defaultTake->GetLightConeAngle() : nullptr)
            spot.setConeAngle(cone->GetValue() * kDegToRad);
    }
    ZFnLight fnLight(path);
    if (animTake)
    {
        transfer(fnLight, "colorR", animTake->GetColorR(), 1.0f, ZFnAnimCurve::kAnimCurveTU);
        transfer(fnLight, "colorG", animTake->GetColorG(), 1.0f, ZFnAnimCurve::kAnimCurveTU);
        transfer(fnLight, "colorB", animTake->GetColorB(), 1.0f, ZFnAnimCurve::kAnimCurveTU);
    }
    // Static values from the default take; a channel it lacks leaves the
    // host's value as it is.
    if (defaultTake)
    {
        ZColor color = fnLight.color();
        KFCurve* red = defaultTake->GetColorR();
        KFCurve* green = defaultTake->GetColorG();
        KFCurve* blue = defaultTake->GetColorB();
        if (red)
            color.r = red->GetValue();
        if (green)
            color.g = green->GetValue();
        if (blue)
            color.b = blue->GetValue();
        if (red || green || blue)
            fnLight.setColor(color);
    }
    if (animTake)
        transfer(fnLight, "intensity", animTake->GetLightIntensity(), kIntensityScale, ZFnAnimCurve::kAnimCurveTU);
    if (KFCurve* intensity = defaultTake ? defaultTake->GetLightIntensity() : nullptr)
        fnLight.setIntensity(static_cast<float>(intensity->GetValue() / 100.0));
    return ZStatus();
}
