#include "scene/attributes/kqoxtexture.h"

#include <cctype>
#include <cstring>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kpropertydatatype.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxpropertybinding.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

namespace {

const char* const sTextureErrorTable[1] = {"Take node error"};

const char* const kMemberNames[3] = {"X", "Y", "Z"};
float kMemberColors[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
float kAlphaColor[3] = {0.75f, 0.0f, 0.0f};

const char kTranslationChannel[] = "Translation";
const char kRotationChannel[] = "Rotation";
const char kScalingChannel[] = "Scaling";
const char kAlphaChannel[] = "Alpha";

// A container channel with the members "X", "Y" and "Z", each with a curve
// of its own colour, starting at the given value.
KFCurveNode* CreateVectorChannel(const char* pName, KDataType* pDataType, int pLayerType, float pValue)
{
    KFCurveNode* node = KFCurveNodeCreate(pName, pDataType, pLayerType, 0);
    try
    {
        for (int i = 0; i < 3; ++i)
        {
            KFCurveNode* member = KFCurveNodeCreate(kMemberNames[i], static_cast<KDataType*>(nullptr), 0, 0);
            KFCurve* curve = KFCurveCreate();
            member->FCurveSet(curve, false);
            if (pValue != 0.0f)
                curve->SetValue(pValue);
            curve->SetColor(kMemberColors[i]);
            KFCurveNodeAdopt(node, member);
        }
    }
    catch (...)
    {
        node->Destroy(); // never a channel with a member missing
        throw;
    }
    return node;
}

// The unified mapping of a planar mapping with that normal; false for an
// unknown normal.
bool PlanarMapping(KQoxTexture::EPlanarMappingNormal pNormal, KQoxTextureProperties::EUnifiedMappingType& pMapping)
{
    switch (pNormal)
    {
    case KQoxTexture::ePLANAR_NORMAL_X: pMapping = KQoxTextureProperties::eUMT_PLANAR_X; return true;
    case KQoxTexture::ePLANAR_NORMAL_Y: pMapping = KQoxTextureProperties::eUMT_PLANAR_Y; return true;
    case KQoxTexture::ePLANAR_NORMAL_Z: pMapping = KQoxTextureProperties::eUMT_PLANAR_Z; return true;
    default: return false;
    }
}

// Texture use and its property form map onto each other the same way both
// ways round: 1 <-> 3 and 2 <-> 4; 5 stays; anything else is 0.
int SwapTextureUse(int pUse)
{
    switch (pUse)
    {
    case 1: return 3;
    case 2: return 4;
    case 3: return 1;
    case 4: return 2;
    case 5: return 5;
    default: return 0;
    }
}

} // namespace

KString StripTrailingDigitsAndBlanks(const char* pName)
{
    if (!pName)
        return KString("");
    size_t length = strlen(pName);
    while (length > 0 && (isdigit(static_cast<unsigned char>(pName[length - 1])) ||
                          isspace(static_cast<unsigned char>(pName[length - 1]))))
        --length;
    return KString(pName, static_cast<unsigned int>(length));
}

// ---- KQoxTexture ------------------------------------------------------------

KError& KQoxTexture::GetError()
{
    static thread_local KError sError(sTextureErrorTable, 1);
    return sError;
}

int KQoxTexture::GetClassID()
{
    return KQoxTextureProperties::ClassId;
}

KQoxTexture::KQoxTexture(KQoxSdkManager& pManager, const char* pName)
    : KQoxTakeNodeContainer(pManager, pName, &mTextureError)
    , mFlagA(1)
    , mFlagB(1)
    , mTextureError(sTextureErrorTable, 1)
    , mCroppingLeft(0)
    , mCroppingRight(0)
    , mCroppingTop(0)
    , mCroppingBottom(0)
    , mAlphaSource(eNONE)
    , mMappingType(eUV)
    , mPlanarMappingNormal(ePLANAR_NORMAL_X)
    , mTextureType("TextureVideoClip")
    , mUVScaling(1.0, 1.0)
    , mUVTranslation(0.0, 0.0)
    , mProperties(nullptr)
    , mEntity(nullptr)
{
    mProperties = new KQoxTextureProperties(this);
    KQoxTakeNodeContainer::Init();
    Init();
}

KQoxTexture::~KQoxTexture()
{
    mProperties->Destroy(0);
    mProperties = nullptr;
}

void KQoxTexture::Init()
{
    mFlagA = 1;
    mFlagB = 1;
    mCroppingLeft = mCroppingRight = mCroppingTop = mCroppingBottom = 0;
    mAlphaSource = eNONE;
    mMappingType = eUV;
    mPlanarMappingNormal = ePLANAR_NORMAL_X;
    mFileName = "";
    mRelativeFileName = "";
    mMediaName = "";
    SetDefaultT(KQoxVector4(0.0, 0.0, 0.0, 1.0));
    SetDefaultR(KQoxVector4(0.0, 0.0, 0.0, 1.0));
    SetDefaultS(KQoxVector4(1.0, 1.0, 1.0, 1.0));
    SetDefaultAlpha(1.0);
    mTextureType = "TextureVideoClip";
    mUVScaling.Set(1.0, 1.0);
    mUVTranslation.Set(0.0, 0.0);
    Props().TextureTypeUse.Set(KQoxTextureProperties::eTEXTURE_USE_6_STANDARD);
    Props().CurrentTextureBlendMode.Set(eADDITIVE);
    Props().UseMaterial.Set(false);
    Props().UVSwap.Set(false);
    Props().WrapModeU.Set(eREPEAT);
    Props().WrapModeV.Set(eREPEAT);
}

void KQoxTexture::Reset()
{
    KQoxTakeNodeContainer::Reset();
    Init();
}

KQoxPropertyHandler* KQoxTexture::GetPropertyHandler()
{
    return mProperties;
}

void KQoxTexture::AddChannels(KQoxTakeNode* pTakeNode)
{
    if (!pTakeNode || !pTakeNode->GetKFCurveNode())
        return;
    KFCurveNode* root = pTakeNode->GetKFCurveNode();
    KFCurveNodeAdopt(root, CreateVectorChannel(kTranslationChannel, KDataTypeTranslation, KFCL_ADD, 0.0f));
    KFCurveNodeAdopt(root, CreateVectorChannel(kRotationChannel, KDataTypeRotation, KFCL_EULER_XYZ, 0.0f));
    KFCurveNodeAdopt(root, CreateVectorChannel(kScalingChannel, KDataTypeScaling, KFCL_MULT, 1.0f));
    KFCurveNode* alpha = KFCurveNodeCreate(kAlphaChannel, KDataTypeNumber, KFCL_ADD, 0);
    KFCurve* curve = KFCurveCreate();
    alpha->FCurveSet(curve, false);
    curve->SetValue(1.0f);
    curve->SetColor(kAlphaColor);
    KFCurveNodeAdopt(root, alpha);
}

KQoxUserProperty* KQoxTexture::CreateKQoxUserProperty(KProperty* pProperty)
{
    return mManager.CreateKQoxUserProperty(pProperty);
}

// ---- File names and the video clip ------------------------------------------

KQoxVideo* KQoxTexture::GetVideo()
{
    if (mProperties->GetSrcCount() < 1)
        return nullptr;
    KQoxObject* object = GetKQoxObjectOfPlug(mProperties->GetSrc(0));
    return (object && object->GetNameSpace() == eVIDEO) ? static_cast<KQoxVideo*>(object) : nullptr;
}

bool KQoxTexture::SetEntity(KQoxEntity* pEntity)
{
    if (pEntity == mEntity)
        return true;
    KQoxVideo* video = GetVideo();
    bool added = true;
    if (video && mEntity)
        mEntity->RemoveVideo(video);
    if (video && pEntity)
        added = pEntity->AddVideo(video);
    mEntity = pEntity;
    return added;
}

bool KQoxTexture::SetFileName(const char* pName)
{
    if (!pName || !*pName)
        return false;
    mFileName = pName;
    // Each side passes the name on only when the other's differs, so the
    // exchange with the clip ends after one round.
    KQoxVideo* video = GetVideo();
    if (video && (!video->GetFileName() || strcmp(video->GetFileName(), mFileName) != 0))
        video->SetFileName(mFileName);
    return true;
}

bool KQoxTexture::SetRelativeFileName(const char* pName)
{
    if (!pName || !*pName)
        return false;
    mRelativeFileName = pName;
    KQoxVideo* video = GetVideo();
    if (video && strcmp(video->GetRelativeFileName(), mRelativeFileName) != 0)
        video->SetRelativeFileName(mRelativeFileName);
    return true;
}

// ---- Fields and the property block ------------------------------------------

void KQoxTexture::SetCropping(int pLeft, int pTop, int pRight, int pBottom)
{
    mCroppingLeft = pLeft;
    mCroppingTop = pTop;
    mCroppingRight = pRight;
    mCroppingBottom = pBottom;
}

void KQoxTexture::SetMappingType(EMappingType pType)
{
    mMappingType = pType;
    KQoxTextureProperties::EUnifiedMappingType mapping = KQoxTextureProperties::eUMT_NO_MAPPING;
    switch (pType)
    {
    case ePLANAR:
        if (!PlanarMapping(mPlanarMappingNormal, mapping))
            return;
        break;
    case eSPHERICAL: mapping = KQoxTextureProperties::eUMT_SPHERICAL; break;
    case eCYLINDRICAL: mapping = KQoxTextureProperties::eUMT_CYLINDRICAL; break;
    case eBOX: mapping = KQoxTextureProperties::eUMT_BOX; break;
    case eFACE: mapping = KQoxTextureProperties::eUMT_FACE; break;
    case eUV: mapping = KQoxTextureProperties::eUMT_UV; break;
    case eENVIRONMENT: mapping = KQoxTextureProperties::eUMT_ENVIRONMENT; break;
    default: break;
    }
    Props().CurrentMappingType.Set(mapping);
}

void KQoxTexture::SetPlanarMappingNormal(EPlanarMappingNormal pNormal)
{
    mPlanarMappingNormal = pNormal;
    KQoxTextureProperties::EUnifiedMappingType mapping;
    if (mMappingType == ePLANAR && PlanarMapping(pNormal, mapping))
        Props().CurrentMappingType.Set(mapping);
}

void KQoxTexture::SetSwapUV(bool pSwap)
{
    Props().UVSwap.Set(pSwap);
}

bool KQoxTexture::GetSwapUV()
{
    return Props().UVSwap.Get();
}

void KQoxTexture::SetMaterialUse(EMaterialUse pUse)
{
    Props().UseMaterial.Set(pUse == eMODEL_MATERIAL);
}

KQoxTexture::EMaterialUse KQoxTexture::GetMaterialUse()
{
    return Props().UseMaterial.Get() ? eMODEL_MATERIAL : eDEFAULT_MATERIAL;
}

void KQoxTexture::SetTextureUse(ETextureUse pUse)
{
    Props().TextureTypeUse.Set(static_cast<KQoxTextureProperties::ETextureUse6>(SwapTextureUse(pUse)));
}

KQoxTexture::ETextureUse KQoxTexture::GetTextureUse()
{
    return static_cast<ETextureUse>(SwapTextureUse(Props().TextureTypeUse.Get()));
}

void KQoxTexture::SetWrapMode(EWrapMode pWrapU, EWrapMode pWrapV)
{
    Props().WrapModeU.Set(pWrapU);
    Props().WrapModeV.Set(pWrapV);
}

KQoxTexture::EWrapMode KQoxTexture::GetWrapModeU()
{
    return Props().WrapModeU.Get();
}

KQoxTexture::EWrapMode KQoxTexture::GetWrapModeV()
{
    return Props().WrapModeV.Get();
}

void KQoxTexture::SetBlendMode(EBlendMode pMode)
{
    Props().CurrentTextureBlendMode.Set(pMode);
}

KQoxTexture::EBlendMode KQoxTexture::GetBlendMode()
{
    return Props().CurrentTextureBlendMode.Get();
}

// ---- Defaults -----------------------------------------------------------------

void KQoxTexture::SetDefaultVector(const char* pChannel, KProperty* pProperty, const KQoxVector4& pValue)
{
    if (KQoxTakeNode* take = GetDefaultTakeNode())
    {
        for (int i = 0; i < 3; ++i)
            if (KFCurve* curve = take->GetKFCurve(pChannel, kMemberNames[i], static_cast<const char*>(nullptr)))
                curve->SetValue(static_cast<float>(pValue[i]));
    }
    KgeTVector value(pValue[0], pValue[1], pValue[2], 1.0);
    pProperty->SetData(&value, 0, nullptr, nullptr);
}

KQoxVector4& KQoxTexture::GetDefaultVector(const char* pChannel, KQoxVector4& pValue)
{
    if (KQoxTakeNode* take = GetDefaultTakeNode())
    {
        for (int i = 0; i < 3; ++i)
            if (KFCurve* curve = take->GetKFCurve(pChannel, kMemberNames[i], static_cast<const char*>(nullptr)))
                pValue[i] = curve->GetValue();
    }
    return pValue;
}

double KQoxTexture::GetDefaultComponent(const char* pChannel, int pIndex)
{
    KQoxVector4 value;
    return GetDefaultVector(pChannel, value)[pIndex];
}

void KQoxTexture::SetDefaultT(const KQoxVector4& pT)
{
    SetDefaultVector(kTranslationChannel, Props().Translation, pT);
}

void KQoxTexture::SetDefaultR(const KQoxVector4& pR)
{
    SetDefaultVector(kRotationChannel, Props().Rotation, pR);
}

void KQoxTexture::SetDefaultS(const KQoxVector4& pS)
{
    SetDefaultVector(kScalingChannel, Props().Scaling, pS);
}

KQoxVector4& KQoxTexture::GetDefaultT(KQoxVector4& pT)
{
    return GetDefaultVector(kTranslationChannel, pT);
}

KQoxVector4& KQoxTexture::GetDefaultR(KQoxVector4& pR)
{
    return GetDefaultVector(kRotationChannel, pR);
}

KQoxVector4& KQoxTexture::GetDefaultS(KQoxVector4& pS)
{
    return GetDefaultVector(kScalingChannel, pS);
}

void KQoxTexture::SetDefaultAlpha(double pAlpha)
{
    if (KQoxTakeNode* take = GetDefaultTakeNode())
        if (KFCurve* curve = take->GetTextureAlpha())
            curve->SetValue(static_cast<float>(pAlpha));
    Props().TextureAlpha->SetData(&pAlpha, 0, nullptr, nullptr);
}

double KQoxTexture::GetDefaultAlpha()
{
    double alpha = 0.0;
    Props().TextureAlpha->GetData(&alpha, 0, nullptr, nullptr);
    return alpha;
}

void KQoxTexture::SetTranslation(double pU, double pV)
{
    SetDefaultT(KQoxVector4(pU, pV, 0.0, 1.0));
}

void KQoxTexture::SetRotation(double pU, double pV, double pW)
{
    SetDefaultR(KQoxVector4(pU, pV, pW, 1.0));
}

void KQoxTexture::SetScale(double pU, double pV)
{
    SetDefaultS(KQoxVector4(pU, pV, 1.0, 1.0));
}

double KQoxTexture::GetTranslationU()
{
    return GetDefaultComponent(kTranslationChannel, 0);
}

double KQoxTexture::GetTranslationV()
{
    return GetDefaultComponent(kTranslationChannel, 1);
}

double KQoxTexture::GetRotationU()
{
    return GetDefaultComponent(kRotationChannel, 0);
}

double KQoxTexture::GetRotationV()
{
    return GetDefaultComponent(kRotationChannel, 1);
}

double KQoxTexture::GetRotationW()
{
    return GetDefaultComponent(kRotationChannel, 2);
}

double KQoxTexture::GetScaleU()
{
    return GetDefaultComponent(kScalingChannel, 0);
}

double KQoxTexture::GetScaleV()
{
    return GetDefaultComponent(kScalingChannel, 1);
}

// ---- Copy and comparison ----------------------------------------------------

KQoxTexture& KQoxTexture::operator=(KQoxTexture& pTexture)
{
    if (&pTexture == this)
        return *this;
    KQoxTakeNodeContainer::operator=(pTexture);
    // The copied Default take holds the other texture's defaults; the
    // animated properties follow, so that the defaults read the same both ways.
    KProperty* mine[4] = {Props().Translation, Props().Rotation, Props().Scaling, Props().TextureAlpha};
    KProperty* theirs[4] = {pTexture.Props().Translation, pTexture.Props().Rotation, pTexture.Props().Scaling,
                            pTexture.Props().TextureAlpha};
    for (int i = 0; i < 3; ++i)
    {
        KgeTVector value;
        theirs[i]->GetData(&value, 0, nullptr, nullptr);
        mine[i]->SetData(&value, 0, nullptr, nullptr);
    }
    SetDefaultAlpha(pTexture.GetDefaultAlpha());

    SetFileName(pTexture.mFileName);
    mMediaName = pTexture.mMediaName;
    SetSwapUV(pTexture.GetSwapUV());
    mAlphaSource = pTexture.mAlphaSource;
    SetCropping(pTexture.mCroppingLeft, pTexture.mCroppingTop, pTexture.mCroppingRight, pTexture.mCroppingBottom);
    SetMappingType(pTexture.mMappingType);
    SetPlanarMappingNormal(pTexture.mPlanarMappingNormal);
    SetMaterialUse(pTexture.GetMaterialUse());
    SetTextureUse(pTexture.GetTextureUse());
    SetBlendMode(pTexture.GetBlendMode());
    SetWrapMode(pTexture.GetWrapModeU(), pTexture.GetWrapModeV());
    mFlagA = pTexture.mFlagA;
    mFlagB = pTexture.mFlagB;
    mTextureType = pTexture.mTextureType;
    mUVScaling = pTexture.mUVScaling;
    mUVTranslation = pTexture.mUVTranslation;
    return *this;
}

bool KQoxTexture::operator==(KQoxTexture& pTexture)
{
    if (StripTrailingDigitsAndBlanks(GetName()) != StripTrailingDigitsAndBlanks(pTexture.GetName()))
        return false;

    KQoxVector4 a, b;
    GetDefaultT(a);
    pTexture.GetDefaultT(b);
    if (a[0] != b[0] || a[1] != b[1])
        return false;
    GetDefaultR(a);
    pTexture.GetDefaultR(b);
    if (a[0] != b[0] || a[1] != b[1] || a[2] != b[2])
        return false;
    GetDefaultS(a);
    pTexture.GetDefaultS(b);
    if (a[0] != b[0] || a[1] != b[1])
        return false;
    if (GetDefaultAlpha() != pTexture.GetDefaultAlpha())
        return false;

    if (mFlagA != pTexture.mFlagA || mFlagB != pTexture.mFlagB || mCroppingLeft != pTexture.mCroppingLeft ||
        mCroppingRight != pTexture.mCroppingRight || mCroppingTop != pTexture.mCroppingTop ||
        mCroppingBottom != pTexture.mCroppingBottom || mAlphaSource != pTexture.mAlphaSource ||
        mMappingType != pTexture.mMappingType || mPlanarMappingNormal != pTexture.mPlanarMappingNormal)
        return false;
    if (Props().UseMaterial.Get() != pTexture.Props().UseMaterial.Get() ||
        Props().TextureTypeUse.Get() != pTexture.Props().TextureTypeUse.Get() ||
        Props().UVSwap.Get() != pTexture.Props().UVSwap.Get())
        return false;
    if (mFileName != pTexture.mFileName || mMediaName != pTexture.mMediaName || mTextureType != pTexture.mTextureType)
        return false;
    return mUVScaling[0] == pTexture.mUVScaling[0] && mUVScaling[1] == pTexture.mUVScaling[1] &&
           mUVTranslation[0] == pTexture.mUVTranslation[0] && mUVTranslation[1] == pTexture.mUVTranslation[1];
}

} // namespace qoxsdk_600
