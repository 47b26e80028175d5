// Lights and their property block.

#include "scene/attributes/kqoxlight.h"

#include "base/karray.h"
#include "scene/attributes/kqoxattribute_private.h"
#include "scene/kqoxpropertybinding.h"

namespace qoxsdk_600 {

KPLUG_CLASS_IMPLEMENT(KQoxLightProperties, KObject, "KQoxLightProperties")

namespace {

const char* const kLightTypeTexts[3] = {"Point Light", "Infinite Light", "Spot Light"};

// The four animatable values: name, start value, display colour.
struct LightChannel
{
    const char* mName;
    float mColor[3];
};
const LightChannel kNumberChannels[3] = {
    {"Intensity", {0.97f, 0.91f, 0.11f}}, {"Cone angle", {0.82f, 0.10f, 0.71f}}, {"Fog", {0.82f, 0.38f, 0.10f}}};

} // namespace

// ---------------------------------------------------------------------------
// Property block

KQoxLightProperties::KQoxLightProperties()
{
    typedef KQoxLightProperties P;
    BindMemberProperty(LightType, "LightType", this, &P::LightTypeGet, &P::LightTypeSet, kPropertyTypeEnum);
    BindAsString(LightType, &P::LightTypeAsString);
    BindMemberProperty(CastLightOnObject, "CastLightOnObject", this, &P::CastLightOnObjectGet, &P::CastLightOnObjectSet,
                       kPropertyTypeBool);
    BindMemberProperty(DrawVolumetricLight, "DrawVolumetricLight", this, &P::DrawVolumetricLightGet,
                       &P::DrawVolumetricLightSet, kPropertyTypeBool);
    BindMemberProperty(DrawGroundProjection, "DrawGroundProjection", this, &P::DrawGroundProjectionGet,
                       &P::DrawGroundProjectionSet, kPropertyTypeBool);
    BindMemberProperty(DrawFrontFacingVolumetricLight, "DrawFrontFacingVolumetricLight", this,
                       &P::DrawFrontFacingVolumetricLightGet, &P::DrawFrontFacingVolumetricLightSet, kPropertyTypeBool);

    // The gobo list holds other light blocks.
    GoboProperty.Init(nullptr);
    GoboProperty.SetPropertyInfo("GoboProperty", this, nullptr, nullptr);
    GoboProperty.SetFilter(KPlug_GetFilter(ClassId), 0);
    GoboProperty.SetPropertyType(kPropertyTypeObject);
    GoboProperty.SetContentSpec(1, ClassId);
    GoboProperty.SetDirection(1);
    PropertyAddToList(&GoboProperty);

    attr::AddAnimatedProperty(*this, "Color", "Color");
    attr::AddAnimatedProperty(*this, "Intensity", "Intensity");
    attr::AddAnimatedProperty(*this, "Cone angle", "Cone angle");
    attr::AddAnimatedProperty(*this, "Fog", "Fog");
}

KQoxLightProperties::~KQoxLightProperties() {}

char* KQoxLightProperties::LightTypeAsString(int pValue)
{
    return EnumText(kLightTypeTexts, 3, pValue);
}

// ---------------------------------------------------------------------------
// Light

KQoxLight::KQoxLight(KQoxSdkManager& pManager)
    : KQoxNodeAttribute(pManager)
    , mProperties(new KQoxLightProperties)
{
    SetCastLight(true);
    SetLightType(ePOINT);
    KQoxColor white(1.0, 1.0, 1.0, 1.0);
    SetDefaultColor(white);
    SetDefaultIntensity(100.0);
    SetDefaultConeAngle(45.0);
    SetDefaultFog(50.0);
    SetGroundProjection(true);
    SetVolumetricProjection(true);
    SetFrontVolumetricProjection(false);
    mFileName = "";
}

KQoxLight::~KQoxLight()
{
    attr::DetachAndDestroyBlock(*this, mProperties);
}

void KQoxLight::SetLightType(ELightType pType)
{
    mProperties->LightTypeSet(pType);
}

KQoxLight::ELightType KQoxLight::GetLightType()
{
    return mProperties->LightTypeGet();
}

void KQoxLight::SetCastLight(bool pCastLight)
{
    mProperties->CastLightOnObjectSet(pCastLight);
}

bool KQoxLight::GetCastLight()
{
    return mProperties->CastLightOnObjectGet();
}

void KQoxLight::SetGroundProjection(bool pProjection)
{
    mProperties->DrawGroundProjectionSet(pProjection);
}

bool KQoxLight::GetGroundProjection()
{
    return mProperties->DrawGroundProjectionGet();
}

void KQoxLight::SetVolumetricProjection(bool pProjection)
{
    mProperties->DrawVolumetricLightSet(pProjection);
}

bool KQoxLight::GetVolumetricProjection()
{
    return mProperties->DrawVolumetricLightGet();
}

void KQoxLight::SetFrontVolumetricProjection(bool pProjection)
{
    mProperties->DrawFrontFacingVolumetricLightSet(pProjection);
}

bool KQoxLight::GetFrontVolumetricProjection()
{
    return mProperties->DrawFrontFacingVolumetricLightGet();
}

bool KQoxLight::SetFileName(const char* pFileName)
{
    // The same text is not copied again (a clip connected to the light's
    // node gives it back): a copy short of memory would lose it.
    const char* name = pFileName ? pFileName : "";
    if (!mFileName.IsOK() || mFileName != name)
        mFileName = name;
    return true;
}

const char* KQoxLight::GetFileName() const
{
    return mFileName.IsEmpty() ? nullptr : mFileName.ToChars();
}

void KQoxLight::SetDefaultColor(KQoxColor& pColor)
{
    if (KQoxTakeNode* take = attr::DefaultTakeOf(*this))
    {
        attr::SetCurveValue(take->GetColorR(), pColor.mRed);
        attr::SetCurveValue(take->GetColorG(), pColor.mGreen);
        attr::SetCurveValue(take->GetColorB(), pColor.mBlue);
    }
    attr::SetPropertyColor(*mProperties, "Color", pColor.mRed, pColor.mGreen, pColor.mBlue);
}

KQoxColor& KQoxLight::GetDefaultColor(KQoxColor& pColor)
{
    // Detached, or without channels: the property's colour.
    KgeRGBVector value = attr::PropertyColor(*mProperties, "Color");
    double rgb[3] = {value.r, value.g, value.b};
    if (KQoxTakeNode* take = attr::DefaultTakeOf(*this))
    {
        rgb[0] = attr::CurveValue(take->GetColorR(), rgb[0]);
        rgb[1] = attr::CurveValue(take->GetColorG(), rgb[1]);
        rgb[2] = attr::CurveValue(take->GetColorB(), rgb[2]);
    }
    pColor.Set(rgb[0], rgb[1], rgb[2], pColor.mAlpha);
    return pColor;
}

void KQoxLight::SetDefaultNumber(const char* pName, KFCurve* (KQoxTakeNode::*pCurve)(), double pValue)
{
    if (KQoxTakeNode* take = attr::DefaultTakeOf(*this))
        attr::SetCurveValue((take->*pCurve)(), pValue);
    attr::SetPropertyDouble(*mProperties, pName, pValue);
}

double KQoxLight::GetDefaultNumber(const char* pName, KFCurve* (KQoxTakeNode::*pCurve)())
{
    const double property = attr::PropertyDouble(*mProperties, pName);
    KQoxTakeNode* take = attr::DefaultTakeOf(*this);
    return take ? attr::CurveValue((take->*pCurve)(), property) : property;
}

void KQoxLight::SetDefaultIntensity(double pIntensity)
{
    SetDefaultNumber("Intensity", &KQoxTakeNode::GetLightIntensity, pIntensity);
}

double KQoxLight::GetDefaultIntensity()
{
    return GetDefaultNumber("Intensity", &KQoxTakeNode::GetLightIntensity);
}

void KQoxLight::SetDefaultConeAngle(double pConeAngle)
{
    SetDefaultNumber("Cone angle", &KQoxTakeNode::GetLightConeAngle, pConeAngle);
}

double KQoxLight::GetDefaultConeAngle()
{
    return GetDefaultNumber("Cone angle", &KQoxTakeNode::GetLightConeAngle);
}

void KQoxLight::SetDefaultFog(double pFog)
{
    SetDefaultNumber("Fog", &KQoxTakeNode::GetLightFog, pFog);
}

double KQoxLight::GetDefaultFog()
{
    return GetDefaultNumber("Fog", &KQoxTakeNode::GetLightFog);
}

void KQoxLight::AddChannels(KQoxTakeNode* pTakeNode)
{
    KQoxNodeAttribute::AddChannels(pTakeNode);
    attr::ChannelBuilder channels(*this, pTakeNode, *mProperties);
    if (!channels.Ready())
        return;
    channels.AddColor("Color", "Color");
    for (const LightChannel& channel : kNumberChannels)
        channels.AddNumber(channel.mName, channel.mColor);
}

void KQoxLight::RemoveChannels(KQoxTakeNode* pTakeNode)
{
    for (const char* name : {"Color", "Intensity", "Cone angle", "Fog"})
        attr::RemoveChannel(pTakeNode, name);
    KQoxNodeAttribute::RemoveChannels(pTakeNode);
}

void KQoxLight::FillPropertyList(void* pList)
{
    attr::AppendProperties(*mProperties, pList);
}

KString KQoxLight::GetTypeName()
{
    return KString("Light");
}

KStringList KQoxLight::GetTypeFlags()
{
    return TypeFlags("Light");
}

KQoxLight& KQoxLight::operator=(KQoxLight& pOther)
{
    if (&pOther == this)
        return *this;
    SetLightType(pOther.GetLightType());
    SetCastLight(pOther.GetCastLight());
    mFileName = pOther.mFileName;
    SetGroundProjection(pOther.GetGroundProjection());
    SetVolumetricProjection(pOther.GetVolumetricProjection());
    SetFrontVolumetricProjection(pOther.GetFrontVolumetricProjection());
    return *this;
}

} // namespace qoxsdk_600
