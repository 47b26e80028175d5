#ifndef QOX_SCENE_ATTRIBUTES_KQOXMATERIAL_H
#define QOX_SCENE_ATTRIBUTES_KQOXMATERIAL_H

// KQoxMaterial: a surface material. A named object ("Material::" prefix,
// given by the SDK manager, which alone makes and destroys materials) with a
// shading-model name, a multi-layer flag and seven animatable shading values:
// emissive, ambient, diffuse and specular colours, opacity, reflectivity and
// shininess. Each take node carries the seven values as channels; the
// defaults are the static values of the Default take's curves, kept equal to
// the properties of the companion block KQoxMaterialProperties.
//
// Shininess is stored as 128 times its normalised value: the setters clamp
// to [0, 1] and scale, the getter scales back and clamps.

#include "base/kerror.h"
#include "base/kmath_kernels.h"
#include "base/kstring.h"
#include "base/kstringlist.h"
#include "object/kproperty.h"
#include "scene/kqoxcolor.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxtakenodecontainer.h"

namespace qoxsdk_600 {

class KQoxMaterialProperties;

class KQoxMaterial : public KQoxTakeNodeContainer
{
public:
    // Builds the property block, the Default take with its seven channels and
    // the defaults of Init.
    KQoxMaterial(KQoxSdkManager& pManager, const char* pName);
    ~KQoxMaterial() override;

    // Shading model "phong", multi-layer false.
    void Init();
    // The take nodes are rebuilt (Default only, from the current property
    // values), then Init.
    void Reset();
    void Destruct() override;

    ENameSpace GetNameSpace() const override { return eMATERIAL; }
    KQoxPropertyHandler* GetPropertyHandler() override;
    KString GetTypeName() override { return KString(""); }
    KStringList GetTypeFlags() override { return KStringList(); }
    // "Emissive", "Ambient", "Diffuse", "Specular" (members "X", "Y", "Z"),
    // "Opacity", "Reflectivity", "Shininess", seeded from the properties.
    void AddChannels(KQoxTakeNode* pTakeNode) override;
    KQoxUserProperty* CreateKQoxUserProperty(KProperty* pProperty) override;

    // The class id of KQoxMaterialProperties.
    static int GetClassID();

    void SetShadingModel(const char* pName);
    const char* GetShadingModel() const { return mShadingModel.ToChars(); }
    void SetMultiLayer(bool pMultiLayer) { mMultiLayer = pMultiLayer; }
    bool GetMultiLayer() const { return mMultiLayer; }

    // Defaults (Default take) ------------------------------------------------------
    // Colours: red, green and blue in single precision; alpha is ignored.
    void SetDefaultAmbientColor(const KQoxColor& pColor);
    void SetDefaultDiffuseColor(const KQoxColor& pColor);
    void SetDefaultSpecularColor(const KQoxColor& pColor);
    void SetDefaultEmissiveColor(const KQoxColor& pColor);
    // Fill red, green and blue; alpha is left as it is.
    KQoxColor& GetDefaultAmbientColor(KQoxColor& pColor);
    KQoxColor& GetDefaultDiffuseColor(KQoxColor& pColor);
    KQoxColor& GetDefaultSpecularColor(KQoxColor& pColor);
    KQoxColor& GetDefaultEmissiveColor(KQoxColor& pColor);
    // Clamped to [0, 1] on writing; read unclamped.
    void SetDefaultOpacity(double pOpacity);
    double GetDefaultOpacity();
    void SetDefaultReflectivity(double pReflectivity);
    double GetDefaultReflectivity();
    // Clamped to [0, 1], stored times 128; read divided by 128 and clamped.
    void SetDefaultShininess(double pShininess);
    double GetDefaultShininess();

    // Short forms of the defaults; colours read back with alpha 1.
    void SetAmbient(KQoxColor pColor) { SetDefaultAmbientColor(pColor); }
    void SetDiffuse(KQoxColor pColor) { SetDefaultDiffuseColor(pColor); }
    void SetSpecular(KQoxColor pColor) { SetDefaultSpecularColor(pColor); }
    void SetEmissive(KQoxColor pColor) { SetDefaultEmissiveColor(pColor); }
    void SetOpacity(double pValue) { SetDefaultOpacity(pValue); }
    void SetShininess(double pValue) { SetDefaultShininess(pValue); }
    void SetReflectivity(double pValue) { SetDefaultReflectivity(pValue); }
    KQoxColor GetAmbient();
    KQoxColor GetDiffuse();
    KQoxColor GetSpecular();
    KQoxColor GetEmissive();
    double GetOpacity() { return GetDefaultOpacity(); }
    double GetShininess() { return GetDefaultShininess(); }
    double GetReflectivity() { return GetDefaultReflectivity(); }

    // Copies the takes and the shading model; the multi-layer flag stays.
    KQoxMaterial& operator=(KQoxMaterial& pOther);
    // Names (with case), default colours (red, green, blue), opacity,
    // shininess and reflectivity exactly, shading models without case.
    bool operator==(KQoxMaterial& pOther);
    bool operator!=(KQoxMaterial& pOther) { return !(*this == pOther); }

    KError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString(); }

private:
    void SetDefaultColor(const char* pChannel, const KQoxColor& pColor);
    KQoxColor& GetDefaultColor(const char* pChannel, KQoxColor& pColor);
    void SetDefaultNumber(const char* pChannel, double pValue);
    double GetDefaultNumber(const char* pChannel);

    KQoxMaterialProperties* mProperties; // owned; destroyed through Destroy(0)
    KString mShadingModel;
    KError mError;
    bool mMultiLayer;
};

// The material's property block: "Emissive", "Ambient", "Diffuse",
// "Specular" (colours), "Opacity", "Reflectivity", "Shininess" (numbers, the
// shininess raw, 128 times normalised).
class KQoxMaterialProperties : public KQoxPropertyHandler
{
    KPLUG_CLASS_DECLARE(KQoxMaterialProperties)
public:
    explicit KQoxMaterialProperties(KQoxTakeNodeContainer* pOwner);
    ~KQoxMaterialProperties() override;

    void DefaultValueChanged(KQoxUserProperty* pUserProperty) override;
    KQoxObject* GetKQoxObject() override;
    KQoxMaterial* GetKQoxMaterial();

    // When a node's block is connected to this block (action 5), the node's
    // scene entity takes the material unless it holds one of that name.
    // Other plugs (and nodes without an entity) only pass the event on.
    bool PlugNotify(KPlugCallstack* pCallstack, kPlugAction pAction, KPlug* pPlug, int pIndex, KPlug* pOther,
                    kConnectionType pType, KPlug* pExtra) override;

    virtual void EmissiveSet(KgeRGBVector pValue) { mEmissive = pValue; }
    virtual KgeRGBVector EmissiveGet() { return mEmissive; }
    virtual void AmbientSet(KgeRGBVector pValue) { mAmbient = pValue; }
    virtual KgeRGBVector AmbientGet() { return mAmbient; }
    virtual void DiffuseSet(KgeRGBVector pValue) { mDiffuse = pValue; }
    virtual KgeRGBVector DiffuseGet() { return mDiffuse; }
    virtual void SpecularSet(KgeRGBVector pValue) { mSpecular = pValue; }
    virtual KgeRGBVector SpecularGet() { return mSpecular; }
    virtual void OpacitySet(double pValue) { mOpacity = pValue; }
    virtual double OpacityGet() { return mOpacity; }
    virtual void ReflectivitySet(double pValue) { mReflectivity = pValue; }
    virtual double ReflectivityGet() { return mReflectivity; }
    virtual void ShininessSet(double pValue) { mShininess = pValue; }
    virtual double ShininessGet() { return mShininess; }

    KPropertyTemplate<KgeRGBVector> Emissive;
    KPropertyTemplate<KgeRGBVector> Ambient;
    KPropertyTemplate<KgeRGBVector> Diffuse;
    KPropertyTemplate<KgeRGBVector> Specular;
    KPropertyTemplate<double> Opacity;
    KPropertyTemplate<double> Reflectivity;
    KPropertyTemplate<double> Shininess;

private:
    KgeRGBVector mEmissive;
    KgeRGBVector mAmbient;
    KgeRGBVector mDiffuse;
    KgeRGBVector mSpecular;
    double mOpacity = 0.0;
    double mReflectivity = 0.0;
    double mShininess = 0.0;
    KQoxTakeNodeContainer* mOwner;
};

} // namespace qoxsdk_600

#endif
