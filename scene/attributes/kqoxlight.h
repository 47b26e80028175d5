#ifndef QOX_SCENE_ATTRIBUTES_KQOXLIGHT_H
#define QOX_SCENE_ATTRIBUTES_KQOXLIGHT_H

// KQoxLight: the node attribute of a light (attribute type 9).
//
// A light has a type (point, infinite, spot), four display switches, a gobo
// file name and four animatable values: colour, intensity, cone angle and fog.
// The values live in the companion block KQoxLightProperties. Once the light
// is set on a node, every take node of the node holds the channels "Color"
// (X, Y, Z), "Intensity", "Cone angle" and "Fog"; the Default take's curves
// are tied to the properties of the same name.
//
// The channels are seeded from the properties when the light is attached, so
// values set while detached survive attachment. The default getters read the
// Default take's curves while attached and the properties while detached.

#include "base/kstring.h"
#include "base/kstringlist.h"
#include "object/kobject.h"
#include "object/kproperty.h"
#include "object/kpropertylist.h"
#include "scene/kqoxcolor.h"
#include "scene/kqoxnodeattribute.h"

class KFCurve;

namespace qoxsdk_600 {

class KQoxLightProperties;

class KQoxLight : public KQoxNodeAttribute
{
public:
    typedef enum : int
    {
        ePOINT = 0,
        eDIRECTIONAL = 1,
        eSPOT = 2
    } ELightType;

    // Point light casting light, ground and volumetric projection on, front
    // volumetric projection off, colour (1, 1, 1), intensity 100, cone angle
    // 45, fog 50, no gobo file.
    explicit KQoxLight(KQoxSdkManager& pManager);
    // Detaches from the node first (removing the channels), then destroys
    // the property block.
    ~KQoxLight() override;

    EAttributeType GetAttributeType() const override { return eLIGHT; }
    void AddChannels(KQoxTakeNode* pTakeNode) override;
    void RemoveChannels(KQoxTakeNode* pTakeNode) override;
    void FillPropertyList(void* pList) override;
    // "Light", and a list holding "Light".
    KString GetTypeName() override;
    KStringList GetTypeFlags() override;

    KQoxLightProperties* GetPropertyHandler() { return mProperties; }

    void SetLightType(ELightType pType);
    ELightType GetLightType();
    void SetCastLight(bool pCastLight);
    bool GetCastLight();
    void SetGroundProjection(bool pProjection);
    bool GetGroundProjection();
    void SetVolumetricProjection(bool pProjection);
    bool GetVolumetricProjection();
    void SetFrontVolumetricProjection(bool pProjection);
    bool GetFrontVolumetricProjection();

    // Gobo file: the text is copied (null counts as empty); the getter gives
    // null for an empty name.
    bool SetFileName(const char* pFileName);
    const char* GetFileName() const;

    // Default values: the property and, while attached, the Default take's
    // curve (in single precision). Nothing is clamped.
    void SetDefaultColor(KQoxColor& pColor);
    KQoxColor& GetDefaultColor(KQoxColor& pColor);
    void SetDefaultIntensity(double pIntensity);
    double GetDefaultIntensity();
    void SetDefaultConeAngle(double pConeAngle);
    double GetDefaultConeAngle();
    void SetDefaultFog(double pFog);
    double GetDefaultFog();

    // Copies the type, the cast-light switch, the gobo file name and the
    // three projection switches; the animatable values are not copied.
    KQoxLight& operator=(KQoxLight& pOther);

private:
    void SetDefaultNumber(const char* pName, KFCurve* (KQoxTakeNode::*pCurve)(), double pValue);
    double GetDefaultNumber(const char* pName, KFCurve* (KQoxTakeNode::*pCurve)());

    KQoxLightProperties* mProperties; // owned; ended through Destroy(0)
    KString mFileName;
};

// The light's property block: "LightType", "CastLightOnObject",
// "DrawVolumetricLight", "DrawGroundProjection",
// "DrawFrontFacingVolumetricLight", the object list "GoboProperty", then the
// animatable "Color", "Intensity", "Cone angle" and "Fog".
class KQoxLightProperties : public KObject
{
    KPLUG_CLASS_DECLARE(KQoxLightProperties)
public:
    KQoxLightProperties();
    ~KQoxLightProperties() override;

    virtual void LightTypeSet(KQoxLight::ELightType pValue) { mLightType = pValue; }
    virtual KQoxLight::ELightType LightTypeGet() { return mLightType; }
    virtual void CastLightOnObjectSet(bool pValue) { mCastLightOnObject = pValue; }
    virtual bool CastLightOnObjectGet() { return mCastLightOnObject; }
    virtual void DrawVolumetricLightSet(bool pValue) { mDrawVolumetricLight = pValue; }
    virtual bool DrawVolumetricLightGet() { return mDrawVolumetricLight; }
    virtual void DrawGroundProjectionSet(bool pValue) { mDrawGroundProjection = pValue; }
    virtual bool DrawGroundProjectionGet() { return mDrawGroundProjection; }
    virtual void DrawFrontFacingVolumetricLightSet(bool pValue) { mDrawFrontFacingVolumetricLight = pValue; }
    virtual bool DrawFrontFacingVolumetricLightGet() { return mDrawFrontFacingVolumetricLight; }
    bool GoboPropertySet(int pIndex, KObject* pObject) { return GoboProperty.SetAt(pIndex, pObject); }
    KObject* GoboPropertyGet(int pIndex) { return GoboProperty.GetAt(pIndex); }

    // "Point Light", "Infinite Light", "Spot Light"; null for other values.
    char* LightTypeAsString(int pValue);

    KPropertyTemplate<KQoxLight::ELightType> LightType;
    KPropertyTemplate<bool> CastLightOnObject;
    KPropertyTemplate<bool> DrawVolumetricLight;
    KPropertyTemplate<bool> DrawGroundProjection;
    KPropertyTemplate<bool> DrawFrontFacingVolumetricLight;
    KPropertyObjectList GoboProperty;

private:
    KQoxLight::ELightType mLightType = KQoxLight::ePOINT;
    bool mCastLightOnObject = false;
    bool mDrawVolumetricLight = false;
    bool mDrawGroundProjection = false;
    bool mDrawFrontFacingVolumetricLight = false;
};

} // namespace qoxsdk_600

#endif
