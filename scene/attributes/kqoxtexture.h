#ifndef QOX_SCENE_ATTRIBUTES_KQOXTEXTURE_H
#define QOX_SCENE_ATTRIBUTES_KQOXTEXTURE_H

// KQoxTexture: the image a material layer uses and how it is mapped onto the
// surface (mapping type, planar normal, UV swap, translation and scaling,
// cropping, wrap modes), blended, and where its alpha comes from.
//
// Textures are made and destroyed only by the SDK manager, which prefixes
// their names with "Texture::". Most of the state lives in the companion
// property block KQoxTextureProperties. Translation, rotation, scaling and
// alpha are channels in every take; the Default take's curves are the
// defaults. A texture whose property block has a video clip's block as its
// first source keeps its file names equal to the clip's, both ways.

#include "base/kerror.h"
#include "base/kmath_types.h"
#include "base/kstring.h"
#include "base/kstringlist.h"
#include "object/kproperty.h"
#include "object/kpropertylist.h"
#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxtakenodecontainer.h"

namespace qoxsdk_600 {

class KQoxEntity;
class KQoxTextureClips;
class KQoxTextureProperties;
class KQoxVideo;

class KQoxTexture : public KQoxTakeNodeContainer
{
public:
    typedef enum : int
    {
        eNONE,
        eRGB_INTENSITY,
        eBLACK
    } EAlphaSource;

    typedef enum : int
    {
        eNULL,
        ePLANAR,
        eSPHERICAL,
        eCYLINDRICAL,
        eBOX,
        eFACE,
        eUV,
        eENVIRONMENT
    } EMappingType;

    typedef enum : int
    {
        ePLANAR_NORMAL_X,
        ePLANAR_NORMAL_Y,
        ePLANAR_NORMAL_Z
    } EPlanarMappingNormal;

    typedef enum : int
    {
        eMODEL_MATERIAL,
        eDEFAULT_MATERIAL
    } EMaterialUse;

    typedef enum : int
    {
        eSTANDARD,
        eSHADOW_MAP,
        eLIGHT_MAP,
        eSPHERICAL_REFLEXION_MAP,
        eSPHERE_REFLEXION_MAP,
        eBUMP_NORMAL_MAP
    } ETextureUse;

    typedef enum : int
    {
        eTRANSLUCENT,
        eADDITIVE,
        eMODULATE,
        eMODULATE2
    } EBlendMode;

    typedef enum : int
    {
        eREPEAT,
        eCLAMP
    } EWrapMode;

    // Builds the property block, the Default take (through AddChannels) and
    // the defaults of Init.
    KQoxTexture(KQoxSdkManager& pManager, const char* pName);
    ~KQoxTexture() override;

    // Every field and property default below; the "CurrentMappingType" and
    // "UseMipMap" properties and the pivots are left as they are.
    void Init();
    // The take nodes are rebuilt (Default only), then Init.
    void Reset();

    ENameSpace GetNameSpace() const override { return eTEXTURE; }
    KQoxPropertyHandler* GetPropertyHandler() override;
    // The texture type ("TextureVideoClip" after Init); the flags are empty.
    KString GetTypeName() override { return mTextureType; }
    KStringList GetTypeFlags() override { return KStringList(); }
    // "Translation", "Rotation" and "Scaling" (members "X", "Y", "Z") and
    // "Alpha", added to the take node's root.
    void AddChannels(KQoxTakeNode* pTakeNode) override;
    KQoxUserProperty* CreateKQoxUserProperty(KProperty* pProperty) override;

    // File names ---------------------------------------------------------------
    // False and no change for a null or empty name. Otherwise the name is
    // stored and handed to the texture's video clip when the clip's differs.
    bool SetFileName(const char* pName);
    bool SetRelativeFileName(const char* pName);
    const char* GetFileName() const { return mFileName; }
    const char* GetRelativeFileName() const { return mRelativeFileName; }
    void SetMediaName(const char* pName) { mMediaName = pName ? pName : ""; }
    const char* GetMediaName() const { return mMediaName; }
    const char* GetTextureType() const { return mTextureType; }
    // The clip whose property block is the first source of this texture's
    // block, or null.
    KQoxVideo* GetVideo();

    // Moves the count of the texture's clip from the entity the texture was
    // in to the new one (null: none). False when the new entity refuses the
    // clip (another clip of that name); the texture is in the new entity all
    // the same. The entity must outlive the membership.
    bool SetEntity(KQoxEntity* pEntity);
    KQoxEntity* GetEntity() const { return mEntity; }

    // Fields of the texture itself ------------------------------------------
    void SetAlphaSource(EAlphaSource pSource) { mAlphaSource = pSource; }
    EAlphaSource GetAlphaSource() const { return mAlphaSource; }
    // Arguments in the order left, top, right, bottom.
    void SetCropping(int pLeft, int pTop, int pRight, int pBottom);
    int GetCroppingLeft() const { return mCroppingLeft; }
    int GetCroppingRight() const { return mCroppingRight; }
    int GetCroppingTop() const { return mCroppingTop; }
    int GetCroppingBottom() const { return mCroppingBottom; }
    // Stores the type and sets "CurrentMappingType" to its unified form.
    void SetMappingType(EMappingType pType);
    EMappingType GetMappingType() const { return mMappingType; }
    // Stores the normal; with a planar mapping also "CurrentMappingType".
    void SetPlanarMappingNormal(EPlanarMappingNormal pNormal);
    EPlanarMappingNormal GetPlanarMappingNormal() const { return mPlanarMappingNormal; }
    void SetUVTranslation(const KQoxVector2& pTranslation) { mUVTranslation = pTranslation; }
    KQoxVector2& GetUVTranslation() { return mUVTranslation; }
    void SetUVScaling(const KQoxVector2& pScaling) { mUVScaling = pScaling; }
    KQoxVector2& GetUVScaling() { return mUVScaling; }

    // Values of the property block ---------------------------------------------
    void SetSwapUV(bool pSwap);
    bool GetSwapUV();
    // "UseMaterial" is (use == model material).
    void SetMaterialUse(EMaterialUse pUse);
    EMaterialUse GetMaterialUse();
    // Stored in the property form: 1->3, 2->4, 3->1, 4->2, 5->5, else 0.
    void SetTextureUse(ETextureUse pUse);
    ETextureUse GetTextureUse();
    void SetWrapMode(EWrapMode pWrapU, EWrapMode pWrapV);
    EWrapMode GetWrapModeU();
    EWrapMode GetWrapModeV();
    void SetBlendMode(EBlendMode pMode);
    EBlendMode GetBlendMode();

    // Defaults: the Default take's curves (single precision) and the
    // animated properties (double) --------------------------------------------
    // Writes components 0 to 2 into the curves "X", "Y", "Z" of the channel,
    // then the property as (v0, v1, v2, 1).
    void SetDefaultT(const KQoxVector4& pT);
    void SetDefaultR(const KQoxVector4& pR);
    void SetDefaultS(const KQoxVector4& pS);
    // Fills components 0 to 2 from the curves; component 3 is left as given.
    KQoxVector4& GetDefaultT(KQoxVector4& pT);
    KQoxVector4& GetDefaultR(KQoxVector4& pR);
    KQoxVector4& GetDefaultS(KQoxVector4& pS);
    void SetDefaultAlpha(double pAlpha);
    // The "Texture alpha" property.
    double GetDefaultAlpha();

    // Shorthands of the defaults.
    void SetTranslation(double pU, double pV);
    void SetRotation(double pU, double pV, double pW);
    void SetScale(double pU, double pV);
    double GetTranslationU();
    double GetTranslationV();
    double GetRotationU();
    double GetRotationV();
    double GetRotationW();
    double GetScaleU();
    double GetScaleV();

    // Copies the takes, then the settings (file name through SetFileName, so
    // the clip follows); the relative file name is not copied.
    KQoxTexture& operator=(KQoxTexture& pTexture);
    // Names compared without trailing digits and blanks; defaults, fields,
    // "UseMaterial", "TextureTypeUse", "UVSwap", names and UV vectors compared
    // exactly.
    bool operator==(KQoxTexture& pTexture);

    static int GetClassID();
    // The class's error table, in an error object of the calling thread's
    // own: threads never share it. Each texture records its failures in an
    // error object of its own, which the two calls below read.
    static KError& GetError();
    int GetLastErrorID() const { return mTextureError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mTextureError.GetLastErrorString(); }

    int mFlagA;
    int mFlagB;

private:
    // The native writers' clips give a texture its names back after a write
    // by moving them in, which allocates nothing.
    friend class KQoxTextureClips;

    // This object's errors (its take nodes' failures), apart from every
    // other object's so that objects of managers on other threads never
    // share one.
    KError mTextureError;

    KQoxTextureProperties& Props() { return *mProperties; }
    void SetDefaultVector(const char* pChannel, KProperty* pProperty, const KQoxVector4& pValue);
    KQoxVector4& GetDefaultVector(const char* pChannel, KQoxVector4& pValue);
    // One component (0 to 2) of GetDefaultVector, read into a zero vector.
    double GetDefaultComponent(const char* pChannel, int pIndex);

    int mCroppingLeft;
    int mCroppingRight;
    int mCroppingTop;
    int mCroppingBottom;
    EAlphaSource mAlphaSource;
    EMappingType mMappingType;
    EPlanarMappingNormal mPlanarMappingNormal;
    KString mFileName;
    KString mRelativeFileName;
    KString mMediaName;
    KString mTextureType;
    KQoxVector2 mUVScaling;
    KQoxVector2 mUVTranslation;
    KQoxTextureProperties* mProperties; // owned; destroyed through Destroy(0)
    KQoxEntity* mEntity;                // not owned
};

// The texture's property block. Properties, in list order: "Translation",
// "Rotation", "Scaling" (animated vectors), "Texture alpha" (animated number),
// "TextureTypeUse", "CurrentTextureBlendMode", "UseMaterial", "UseMipMap",
// "CurrentMappingType", "UVSwap", "WrapModeU", "WrapModeV",
// "TextureRotationPivot", "TextureScalingPivot" and the object list
// "VideoProperty".
class KQoxTextureProperties : public KQoxPropertyHandler
{
    KPLUG_CLASS_DECLARE(KQoxTextureProperties)
public:
    typedef enum : int
    {
        eTEXTURE_USE_6_STANDARD,
        eTEXTURE_USE_6_SPHERICAL_REFLEXION_MAP,
        eTEXTURE_USE_6_SPHERE_REFLEXION_MAP,
        eTEXTURE_USE_6_SHADOW_MAP,
        eTEXTURE_USE_6_LIGHT_MAP,
        eTEXTURE_USE_6_BUMP_NORMAL_MAP
    } ETextureUse6;

    typedef enum : int
    {
        eUMT_UV,
        eUMT_PLANAR_Z,
        eUMT_PLANAR_X,
        eUMT_PLANAR_Y,
        eUMT_SPHERICAL,
        eUMT_CYLINDRICAL,
        eUMT_ENVIRONMENT,
        eUMT_PROJECTION,
        eUMT_BOX,
        eUMT_FACE,
        eUMT_NO_MAPPING
    } EUnifiedMappingType;

    explicit KQoxTextureProperties(KQoxTexture* pOwner);
    ~KQoxTextureProperties() override;

    void DefaultValueChanged(KQoxUserProperty* pUserProperty) override;
    KQoxObject* GetKQoxObject() override { return mOwner; }
    KQoxTexture* GetKQoxTexture() { return mOwner; }

    // When a plug is connected to this block (action 5) and the other end
    // belongs to a node whose scene entity does not hold a texture of this
    // name yet, the entity takes the texture.
    bool PlugNotify(KPlugCallstack* pCallstack, kPlugAction pAction, KPlug* pPlug, int pIndex, KPlug* pOther,
                    kConnectionType pType, KPlug* pExtra) override;

    virtual void TextureTypeUseSet(ETextureUse6 pValue) { mTextureTypeUse = pValue; }
    virtual ETextureUse6 TextureTypeUseGet() { return mTextureTypeUse; }
    virtual void CurrentTextureBlendModeSet(KQoxTexture::EBlendMode pValue) { mBlendMode = pValue; }
    virtual KQoxTexture::EBlendMode CurrentTextureBlendModeGet() { return mBlendMode; }
    virtual void UseMaterialSet(bool pValue) { mUseMaterial = pValue; }
    virtual bool UseMaterialGet() { return mUseMaterial; }
    virtual void UseMipMapSet(bool pValue) { mUseMipMap = pValue; }
    virtual bool UseMipMapGet() { return mUseMipMap; }
    virtual void CurrentMappingTypeSet(EUnifiedMappingType pValue) { mMappingType = pValue; }
    virtual EUnifiedMappingType CurrentMappingTypeGet() { return mMappingType; }
    virtual void UVSwapSet(bool pValue) { mUVSwap = pValue; }
    virtual bool UVSwapGet() { return mUVSwap; }
    virtual void WrapModeUSet(KQoxTexture::EWrapMode pValue) { mWrapModeU = pValue; }
    virtual KQoxTexture::EWrapMode WrapModeUGet() { return mWrapModeU; }
    virtual void WrapModeVSet(KQoxTexture::EWrapMode pValue) { mWrapModeV = pValue; }
    virtual KQoxTexture::EWrapMode WrapModeVGet() { return mWrapModeV; }
    // The pivots read back with a fourth component of 1.
    virtual void TextureRotationPivotSet(KgeTVector pValue) { mRotationPivot = pValue; }
    virtual KgeTVector TextureRotationPivotGet() { return Pivot(mRotationPivot); }
    virtual void TextureScalingPivotSet(KgeTVector pValue) { mScalingPivot = pValue; }
    virtual KgeTVector TextureScalingPivotGet() { return Pivot(mScalingPivot); }
    // Replaces the object at a position of "VideoProperty"; true on success.
    bool VideoPropertySet(int pIndex, KObject* pObject) { return VideoProperty.SetAt(pIndex, pObject); }
    KObject* VideoPropertyGet(int pIndex) { return VideoProperty.GetAt(pIndex); }

    // Enumeration texts; null outside each list. WrapModeV uses WrapModeU's.
    char* TextureTypeUseAsString(int pValue);
    char* CurrentTextureBlendModeAsString(int pValue);
    char* CurrentMappingTypeAsString(int pValue);
    char* WrapModeUAsString(int pValue);
    char* WrapModeVAsString(int pValue) { return WrapModeUAsString(pValue); }

    KProperty* Translation;
    KProperty* Rotation;
    KProperty* Scaling;
    KProperty* TextureAlpha;
    KPropertyTemplate<ETextureUse6> TextureTypeUse;
    KPropertyTemplate<KQoxTexture::EBlendMode> CurrentTextureBlendMode;
    KPropertyTemplate<bool> UseMaterial;
    KPropertyTemplate<bool> UseMipMap;
    KPropertyTemplate<EUnifiedMappingType> CurrentMappingType;
    KPropertyTemplate<bool> UVSwap;
    KPropertyTemplate<KQoxTexture::EWrapMode> WrapModeU;
    KPropertyTemplate<KQoxTexture::EWrapMode> WrapModeV;
    KPropertyTemplate<KgeTVector> TextureRotationPivot;
    KPropertyTemplate<KgeTVector> TextureScalingPivot;
    KPropertyObjectList VideoProperty;

private:
    // An animatable, animated property of the named data type.
    KProperty* AddAnimatedProperty(const char* pName, const char* pDataTypeName);
    static KgeTVector Pivot(KgeTVector pValue)
    {
        pValue.w = 1.0;
        return pValue;
    }

    ETextureUse6 mTextureTypeUse = eTEXTURE_USE_6_STANDARD;
    KQoxTexture::EBlendMode mBlendMode = KQoxTexture::eTRANSLUCENT;
    bool mUseMaterial = false;
    bool mUseMipMap = false;
    EUnifiedMappingType mMappingType = eUMT_UV;
    bool mUVSwap = false;
    KQoxTexture::EWrapMode mWrapModeU = KQoxTexture::eREPEAT;
    KQoxTexture::EWrapMode mWrapModeV = KQoxTexture::eREPEAT;
    KgeTVector mRotationPivot{0.0, 0.0, 0.0, 1.0};
    KgeTVector mScalingPivot{0.0, 0.0, 0.0, 1.0};
    KQoxTexture* mOwner;
};

// The object name without trailing decimal digits and white space.
KString StripTrailingDigitsAndBlanks(const char* pName);

} // namespace qoxsdk_600

#endif
