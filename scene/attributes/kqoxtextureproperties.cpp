// The texture's property block.

#include "fcurve/kfcurve.h"
#include "object/kpropertydatatype.h"
#include "scene/attributes/kqoxattribute_private.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxpropertybinding.h"

namespace qoxsdk_600 {

KPLUG_CLASS_IMPLEMENT(KQoxTextureProperties, KQoxPropertyHandler, "KQoxTextureProperties")

namespace {

const char* const kTextureUseTexts[6] = {"Color",     "Spherical Reflection Map", "Sphere Map", "Shadow Map",
                                         "Light Map", "Bump Map (NormalMap)"};
const char* const kBlendModeTexts[4] = {"Translucent", "Additive", "Modulate", "Modulate2"};
const char* const kMappingTypeTexts[11] = {"UV",          "Z",          "X",   "Y",    "Spherical", "Cylindrical",
                                           "Environment", "Projection", "Box", "Face", "None"};
const char* const kWrapModeTexts[2] = {"Repeat", "Clamp"};

} // namespace

KQoxTextureProperties::KQoxTextureProperties(KQoxTexture* pOwner)
    : mOwner(pOwner)
{
    Translation = AddAnimatedProperty("Translation", "Vector");
    Rotation = AddAnimatedProperty("Rotation", "Vector");
    Scaling = AddAnimatedProperty("Scaling", "Vector");
    TextureAlpha = AddAnimatedProperty("Texture alpha", "Number");

    typedef KQoxTextureProperties P;
    BindMemberProperty(TextureTypeUse, "TextureTypeUse", this, &P::TextureTypeUseGet, &P::TextureTypeUseSet,
                       kPropertyTypeEnum);
    BindAsString(TextureTypeUse, &P::TextureTypeUseAsString);
    BindMemberProperty(CurrentTextureBlendMode, "CurrentTextureBlendMode", this, &P::CurrentTextureBlendModeGet,
                       &P::CurrentTextureBlendModeSet, kPropertyTypeEnum);
    BindAsString(CurrentTextureBlendMode, &P::CurrentTextureBlendModeAsString);
    BindMemberProperty(UseMaterial, "UseMaterial", this, &P::UseMaterialGet, &P::UseMaterialSet, kPropertyTypeBool);
    BindMemberProperty(UseMipMap, "UseMipMap", this, &P::UseMipMapGet, &P::UseMipMapSet, kPropertyTypeBool);
    BindMemberProperty(CurrentMappingType, "CurrentMappingType", this, &P::CurrentMappingTypeGet,
                       &P::CurrentMappingTypeSet, kPropertyTypeEnum);
    BindAsString(CurrentMappingType, &P::CurrentMappingTypeAsString);
    BindMemberProperty(UVSwap, "UVSwap", this, &P::UVSwapGet, &P::UVSwapSet, kPropertyTypeBool);
    BindMemberProperty(WrapModeU, "WrapModeU", this, &P::WrapModeUGet, &P::WrapModeUSet, kPropertyTypeEnum);
    BindAsString(WrapModeU, &P::WrapModeUAsString);
    BindMemberProperty(WrapModeV, "WrapModeV", this, &P::WrapModeVGet, &P::WrapModeVSet, kPropertyTypeEnum);
    BindAsString(WrapModeV, &P::WrapModeVAsString);
    BindMemberProperty(TextureRotationPivot, "TextureRotationPivot", this, &P::TextureRotationPivotGet,
                       &P::TextureRotationPivotSet, kPropertyTypeVector3D);
    BindMemberProperty(TextureScalingPivot, "TextureScalingPivot", this, &P::TextureScalingPivotGet,
                       &P::TextureScalingPivotSet, kPropertyTypeVector3D);

    // The texture's video clips: the list accepts the clips' property blocks.
    VideoProperty.Init(nullptr);
    VideoProperty.SetPropertyInfo("VideoProperty", this, nullptr, nullptr);
    VideoProperty.SetContentSpec(1, KQoxVideoProperties::ClassId);
    VideoProperty.SetPropertyType(kPropertyTypeObject);
    PropertyAddToList(&VideoProperty);
}

KQoxTextureProperties::~KQoxTextureProperties() {}

KProperty* KQoxTextureProperties::AddAnimatedProperty(const char* pName, const char* pDataTypeName)
{
    return attr::AddAnimatedProperty(*this, pName, pDataTypeName, true);
}

void KQoxTextureProperties::DefaultValueChanged(KQoxUserProperty* pUserProperty)
{
    mOwner->PropertyDefaultValueChanged(pUserProperty);
}

bool KQoxTextureProperties::PlugNotify(KPlugCallstack* pCallstack, kPlugAction pAction, KPlug* pPlug, int pIndex,
                                       KPlug* pOther, kConnectionType pType, KPlug* pExtra)
{
    if (pPlug == this && pAction == kPlugDstConnected)
    {
        // Only a node's block leads to a scene entity; anything else is left alone.
        KQoxEntity* entity = attr::EntityOfNodePlug(pOther);
        if (entity && !entity->GetTexture(mOwner->GetName()))
            entity->AddTexture(mOwner);
    }
    return KObject::PlugNotify(pCallstack, pAction, pPlug, pIndex, pOther, pType, pExtra);
}

char* KQoxTextureProperties::TextureTypeUseAsString(int pValue)
{
    return EnumText(kTextureUseTexts, 6, pValue);
}

char* KQoxTextureProperties::CurrentTextureBlendModeAsString(int pValue)
{
    return EnumText(kBlendModeTexts, 4, pValue);
}

char* KQoxTextureProperties::CurrentMappingTypeAsString(int pValue)
{
    return EnumText(kMappingTypeTexts, 11, pValue);
}

char* KQoxTextureProperties::WrapModeUAsString(int pValue)
{
    return EnumText(kWrapModeTexts, 2, pValue);
}

} // namespace qoxsdk_600
