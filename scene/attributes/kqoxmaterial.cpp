// The material, its channels and defaults, and its property block.

#include "scene/attributes/kqoxmaterial.h"

#include <cstring>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kpropertydatatype.h"
#include "scene/attributes/kqoxattribute_private.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxpropertybinding.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

KPLUG_CLASS_IMPLEMENT(KQoxMaterialProperties, KQoxPropertyHandler, "KQoxMaterialProperties")

namespace {

const char* const kMaterialErrors[1] = {"Take node error"};
const char* const kMemberNames[3] = {"X", "Y", "Z"};
float kMemberColors[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
float kNumberColor[3] = {0.75f, 0.0f, 0.0f};

const char kEmissive[] = "Emissive";
const char kAmbient[] = "Ambient";
const char kDiffuse[] = "Diffuse";
const char kSpecular[] = "Specular";
const char kOpacity[] = "Opacity";
const char kReflectivity[] = "Reflectivity";
const char kShininess[] = "Shininess";

const double kShininessScale = 128.0;

double Clamp01(double pValue)
{
    if (pValue < 0.0)
        return 0.0;
    if (pValue > 1.0)
        return 1.0;
    return pValue;
}

KgeRGBVector Rgb(double pRed, double pGreen, double pBlue)
{
    KgeRGBVector value;
    value.r = pRed;
    value.g = pGreen;
    value.b = pBlue;
    return value;
}

// The curve of a channel of the take node (its member "X", "Y" or "Z" when
// member is 0 to 2, its own when -1), or null.
KFCurve* ChannelCurve(KQoxTakeNode* pTakeNode, const char* pChannel, int pMember)
{
    KFCurveNode* root = pTakeNode ? pTakeNode->GetKFCurveNode() : nullptr;
    const int index = root ? root->Find(pChannel) : -1;
    KFCurveNode* channel = index >= 0 ? root->Get(index) : nullptr;
    if (channel && pMember >= 0)
    {
        const int member = channel->Find(kMemberNames[pMember]);
        channel = member >= 0 ? channel->Get(member) : nullptr;
    }
    return channel ? channel->FCurveGet() : nullptr;
}

} // namespace

// ---- KQoxMaterial ------------------------------------------------------------------

int KQoxMaterial::GetClassID()
{
    return KQoxMaterialProperties::ClassId;
}

KQoxMaterial::KQoxMaterial(KQoxSdkManager& pManager, const char* pName)
    : KQoxTakeNodeContainer(pManager, pName, &mError)
    , mProperties(nullptr)
    , mShadingModel("")
    , mError(kMaterialErrors, 1)
    , mMultiLayer(false)
{
    mProperties = new KQoxMaterialProperties(this);
    KQoxTakeNodeContainer::Init();
    Init();
}

KQoxMaterial::~KQoxMaterial()
{
    mProperties->Destroy(0);
    mProperties = nullptr;
}

void KQoxMaterial::Init()
{
    mShadingModel = "phong";
    mMultiLayer = false;
}

void KQoxMaterial::Reset()
{
    KQoxTakeNodeContainer::Reset();
    Init();
}

void KQoxMaterial::Destruct()
{
    mProperties->Destruct();
}

KQoxPropertyHandler* KQoxMaterial::GetPropertyHandler()
{
    return mProperties;
}

KQoxUserProperty* KQoxMaterial::CreateKQoxUserProperty(KProperty* pProperty)
{
    return mManager.CreateKQoxUserProperty(pProperty);
}

void KQoxMaterial::AddChannels(KQoxTakeNode* pTakeNode)
{
    KFCurveNode* root = pTakeNode ? pTakeNode->GetKFCurveNode() : nullptr;
    if (!root)
        return;
    const bool isDefault = pTakeNode->GetName() && KString(pTakeNode->GetName()).CompareNoCase("Default") == 0;
    KQoxMaterialProperties& block = *mProperties;

    struct ColorChannel
    {
        const char* mName;
        KPropertyTemplate<KgeRGBVector>* mProperty;
        double mFallback;
    } colors[4] = {{kEmissive, &block.Emissive, 0.0},
                   {kAmbient, &block.Ambient, 0.2},
                   {kDiffuse, &block.Diffuse, 0.8},
                   {kSpecular, &block.Specular, 0.2}};
    for (ColorChannel& channel : colors)
    {
        KgeRGBVector value = Rgb(channel.mFallback, channel.mFallback, channel.mFallback);
        KProperty* property = attr::MarkAnimated(block.FindPropertyByName(channel.mName));
        if (property && property == channel.mProperty)
            value = channel.mProperty->Get();
        // Each node is placed before its curve is registered: out of memory
        // (std::bad_alloc) the take node never holds a channel with a member
        // missing, and no registered curve is destroyed.
        KFCurveNode* node = KFCurveNodeCreate(channel.mName, KDataTypeColor, 1, 0);
        KFCurveNodeAdopt(root, node);
        const double components[3] = {value.r, value.g, value.b};
        for (int m = 0; m < 3; ++m)
        {
            KFCurveNode* member = KFCurveNodeCreate(kMemberNames[m], static_cast<KDataType*>(nullptr), 0, 0);
            KFCurve* curve = KFCurveCreate();
            member->FCurveSet(curve, false);
            curve->SetValue(static_cast<float>(components[m]));
            curve->SetColor(kMemberColors[m]);
            KFCurveNodeAdopt(node, member);
            if (isDefault && property)
                RegisterDefaultTakeCallback(property, m, curve);
        }
    }

    struct NumberChannel
    {
        const char* mName;
        KPropertyTemplate<double>* mProperty;
        double mFallback;
    } numbers[3] = {{kOpacity, &block.Opacity, 1.0},
                    {kReflectivity, &block.Reflectivity, 0.3},
                    {kShininess, &block.Shininess, 6.4}};
    for (NumberChannel& channel : numbers)
    {
        double value = channel.mFallback;
        KProperty* property = attr::MarkAnimated(block.FindPropertyByName(channel.mName));
        if (property && property == channel.mProperty)
            value = channel.mProperty->Get();
        KFCurveNode* node = KFCurveNodeCreate(channel.mName, KDataTypeNumber, 1, 0);
        KFCurve* curve = KFCurveCreate();
        node->FCurveSet(curve, false);
        curve->SetValue(static_cast<float>(value));
        curve->SetColor(kNumberColor);
        KFCurveNodeAdopt(root, node);
        if (isDefault && property)
            RegisterDefaultTakeCallback(property, 0, curve);
    }
}

void KQoxMaterial::SetShadingModel(const char* pName)
{
    mShadingModel = pName ? pName : "";
}

// ---- Defaults ------------------------------------------------------------------------

void KQoxMaterial::SetDefaultColor(const char* pChannel, const KQoxColor& pColor)
{
    const double components[3] = {pColor.mRed, pColor.mGreen, pColor.mBlue};
    for (int m = 0; m < 3; ++m)
        if (KFCurve* curve = ChannelCurve(GetDefaultTakeNode(), pChannel, m))
            curve->SetValue(static_cast<float>(components[m]));
}

KQoxColor& KQoxMaterial::GetDefaultColor(const char* pChannel, KQoxColor& pColor)
{
    double components[3] = {0.0, 0.0, 0.0};
    for (int m = 0; m < 3; ++m)
        if (KFCurve* curve = ChannelCurve(GetDefaultTakeNode(), pChannel, m))
            components[m] = curve->GetValue();
    // Straight into the fields: the curves hold what was stored, unclamped.
    pColor.mRed = components[0];
    pColor.mGreen = components[1];
    pColor.mBlue = components[2];
    return pColor;
}

void KQoxMaterial::SetDefaultNumber(const char* pChannel, double pValue)
{
    if (KFCurve* curve = ChannelCurve(GetDefaultTakeNode(), pChannel, -1))
        curve->SetValue(static_cast<float>(pValue));
}

double KQoxMaterial::GetDefaultNumber(const char* pChannel)
{
    KFCurve* curve = ChannelCurve(GetDefaultTakeNode(), pChannel, -1);
    return curve ? curve->GetValue() : 0.0;
}

void KQoxMaterial::SetDefaultAmbientColor(const KQoxColor& pColor)
{
    SetDefaultColor(kAmbient, pColor);
}

void KQoxMaterial::SetDefaultDiffuseColor(const KQoxColor& pColor)
{
    SetDefaultColor(kDiffuse, pColor);
}

void KQoxMaterial::SetDefaultSpecularColor(const KQoxColor& pColor)
{
    SetDefaultColor(kSpecular, pColor);
}

void KQoxMaterial::SetDefaultEmissiveColor(const KQoxColor& pColor)
{
    SetDefaultColor(kEmissive, pColor);
}

KQoxColor& KQoxMaterial::GetDefaultAmbientColor(KQoxColor& pColor)
{
    return GetDefaultColor(kAmbient, pColor);
}

KQoxColor& KQoxMaterial::GetDefaultDiffuseColor(KQoxColor& pColor)
{
    return GetDefaultColor(kDiffuse, pColor);
}

KQoxColor& KQoxMaterial::GetDefaultSpecularColor(KQoxColor& pColor)
{
    return GetDefaultColor(kSpecular, pColor);
}

KQoxColor& KQoxMaterial::GetDefaultEmissiveColor(KQoxColor& pColor)
{
    return GetDefaultColor(kEmissive, pColor);
}

void KQoxMaterial::SetDefaultOpacity(double pOpacity)
{
    SetDefaultNumber(kOpacity, Clamp01(pOpacity));
}

double KQoxMaterial::GetDefaultOpacity()
{
    return GetDefaultNumber(kOpacity);
}

void KQoxMaterial::SetDefaultReflectivity(double pReflectivity)
{
    SetDefaultNumber(kReflectivity, Clamp01(pReflectivity));
}

double KQoxMaterial::GetDefaultReflectivity()
{
    return GetDefaultNumber(kReflectivity);
}

void KQoxMaterial::SetDefaultShininess(double pShininess)
{
    SetDefaultNumber(kShininess, Clamp01(pShininess) * kShininessScale);
}

double KQoxMaterial::GetDefaultShininess()
{
    return Clamp01(GetDefaultNumber(kShininess) * 0.0078125);
}

KQoxColor KQoxMaterial::GetAmbient()
{
    KQoxColor color;
    return GetDefaultColor(kAmbient, color);
}

KQoxColor KQoxMaterial::GetDiffuse()
{
    KQoxColor color;
    return GetDefaultColor(kDiffuse, color);
}

KQoxColor KQoxMaterial::GetSpecular()
{
    KQoxColor color;
    return GetDefaultColor(kSpecular, color);
}

KQoxColor KQoxMaterial::GetEmissive()
{
    KQoxColor color;
    return GetDefaultColor(kEmissive, color);
}

// ---- Copy and comparison -----------------------------------------------------------------

KQoxMaterial& KQoxMaterial::operator=(KQoxMaterial& pOther)
{
    if (&pOther == this)
        return *this;
    KQoxTakeNodeContainer::operator=(pOther);
    SetShadingModel(pOther.GetShadingModel());
    return *this;
}

bool KQoxMaterial::operator==(KQoxMaterial& pOther)
{
    if (KString(GetName()).Compare(pOther.GetName()) != 0)
        return false;
    const char* channels[4] = {kAmbient, kDiffuse, kSpecular, kEmissive};
    for (const char* channel : channels)
    {
        KQoxColor mine, theirs;
        GetDefaultColor(channel, mine);
        pOther.GetDefaultColor(channel, theirs);
        if (!(mine.mRed == theirs.mRed && mine.mGreen == theirs.mGreen && mine.mBlue == theirs.mBlue))
            return false;
    }
    if (!(GetDefaultOpacity() == pOther.GetDefaultOpacity()) ||
        !(GetDefaultShininess() == pOther.GetDefaultShininess()) ||
        !(GetDefaultReflectivity() == pOther.GetDefaultReflectivity()))
        return false;
    return mShadingModel.CompareNoCase(pOther.GetShadingModel()) == 0;
}

// ---- KQoxMaterialProperties ----------------------------------------------------------------

KQoxMaterialProperties::KQoxMaterialProperties(KQoxTakeNodeContainer* pOwner)
    : mOwner(pOwner)
{
    typedef KQoxMaterialProperties P;
    BindMemberProperty(Emissive, kEmissive, this, &P::EmissiveGet, &P::EmissiveSet, kPropertyTypeColorRGB);
    BindMemberProperty(Ambient, kAmbient, this, &P::AmbientGet, &P::AmbientSet, kPropertyTypeColorRGB);
    BindMemberProperty(Diffuse, kDiffuse, this, &P::DiffuseGet, &P::DiffuseSet, kPropertyTypeColorRGB);
    BindMemberProperty(Specular, kSpecular, this, &P::SpecularGet, &P::SpecularSet, kPropertyTypeColorRGB);
    BindMemberProperty(Opacity, kOpacity, this, &P::OpacityGet, &P::OpacitySet, kPropertyTypeDouble);
    BindMemberProperty(Reflectivity, kReflectivity, this, &P::ReflectivityGet, &P::ReflectivitySet,
                       kPropertyTypeDouble);
    BindMemberProperty(Shininess, kShininess, this, &P::ShininessGet, &P::ShininessSet, kPropertyTypeDouble);

    Emissive.Set(Rgb(0.0, 0.0, 0.0));
    Ambient.Set(Rgb(0.2, 0.2, 0.2));
    Specular.Set(Rgb(0.2, 0.2, 0.2));
    Diffuse.Set(Rgb(0.8, 0.8, 0.8));
    Opacity.Set(1.0);
    Reflectivity.Set(0.3);
    Shininess.Set(6.4);
}

KQoxMaterialProperties::~KQoxMaterialProperties() {}

void KQoxMaterialProperties::DefaultValueChanged(KQoxUserProperty* pUserProperty)
{
    mOwner->PropertyDefaultValueChanged(pUserProperty);
}

KQoxObject* KQoxMaterialProperties::GetKQoxObject()
{
    return mOwner;
}

KQoxMaterial* KQoxMaterialProperties::GetKQoxMaterial()
{
    return static_cast<KQoxMaterial*>(mOwner);
}

bool KQoxMaterialProperties::PlugNotify(KPlugCallstack* pCallstack, kPlugAction pAction, KPlug* pPlug, int pIndex,
                                        KPlug* pOther, kConnectionType pType, KPlug* pExtra)
{
    if (pPlug == this && pAction == kPlugDstConnected)
    {
        // Only a node's block leads to a scene entity.
        KQoxEntity* entity = attr::EntityOfNodePlug(pOther);
        if (entity && !entity->GetMaterial(KString(mOwner->GetName())))
            entity->AddMaterial(mOwner);
    }
    return KObject::PlugNotify(pCallstack, pAction, pPlug, pIndex, pOther, pType, pExtra);
}

} // namespace qoxsdk_600
