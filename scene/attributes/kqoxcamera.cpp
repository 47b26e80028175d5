// Cameras: formats, film backs, clipping planes, background and channels.

#include "scene/attributes/kqoxcamera.h"

#include <cmath>

#include "base/karray.h"
#include "scene/attributes/kqoxattribute_private.h"
#include "scene/attributes/kqoxcameraproperties.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxpropertyhandler.h"

namespace qoxsdk_600 {

namespace {

const double kRadiansToDegrees = 57.29577951308232;
const double kDegreesToRadians = 0.017453292519943295;
const double kMillimetresPerInch = 25.4;
const double kMinPlane = 0.001;
const double kMaxPlane = 600000.0;
const double kMinPixelRatio = 0.05;
const double kMaxPixelRatio = 20.0;
const double kMinAperture = 0.0001;
const double kMinAngle = 1.0;
const double kMaxAngle = 179.0;

// pValue within [pLow, pHigh]; a NaN gives pLow.
double Clamp(double pValue, double pLow, double pHigh)
{
    if (!(pValue >= pLow))
        return pLow;
    return pValue > pHigh ? pHigh : pValue;
}

// pValue, but at least pLow; a NaN gives pLow.
double AtLeast(double pValue, double pLow)
{
    return pValue >= pLow ? pValue : pLow;
}

struct PictureFormat
{
    int mFormat;
    unsigned int mWidth;
    unsigned int mHeight;
    double mScreenRatio;
};
// PAL keeps the D1 NTSC height of 486 lines: stored files carry its ratio.
const PictureFormat kPictureFormats[] = {
    {KQoxCamera::eD1_NTSC, 720, 486, 1.3333333333},      {KQoxCamera::eNTSC, 640, 480, 1.3333333333},
    {KQoxCamera::ePAL, 570, 486, 1.3333333333},          {KQoxCamera::eD1_PAL, 720, 576, 1.3333333333},
    {KQoxCamera::eHD, 1920, 1080, 1.7777777777},         {KQoxCamera::e640x480, 640, 480, 1.3333333333},
    {KQoxCamera::e320x200, 320, 200, 1.3333333333},      {KQoxCamera::e320x240, 320, 240, 1.3333333333},
    {KQoxCamera::eFULL_SCREEN, 1280, 1024, 1.3333333333}};

struct FilmBack
{
    double mWidth;
    double mHeight;
    double mSqueeze;
};
// Aperture formats 1 to 11, in inches.
const FilmBack kFilmBacks[11] = {{0.404, 0.295, 1.0}, {0.493, 0.292, 1.0}, {0.864, 0.630, 1.0}, {0.816, 0.612, 1.0},
                                 {0.980, 0.735, 1.0}, {0.825, 0.446, 1.0}, {0.864, 0.732, 2.0}, {2.066, 0.906, 1.0},
                                 {1.485, 0.991, 1.0}, {2.080, 1.480, 1.0}, {2.772, 2.072, 1.0}};

// The single-valued channels: name (also the property's), curve getter of
// the take node, display colour.
struct CameraChannel
{
    const char* mName;
    KFCurve* (KQoxTakeNode::*mCurve)();
    float mColor[3];
};
const CameraChannel kChannels[7] = {{"FieldOfView", &KQoxTakeNode::GetCameraFieldOfView, {0.55f, 0.55f, 0.81f}},
                                    {"FieldOfViewX", &KQoxTakeNode::GetCameraFieldOfViewX, {0.06f, 0.06f, 0.94f}},
                                    {"FieldOfViewY", &KQoxTakeNode::GetCameraFieldOfViewY, {0.04f, 0.04f, 0.4f}},
                                    {"OpticalCenterX", &KQoxTakeNode::GetCameraOpticalCenterX, {0.5f, 0.88f, 0.73f}},
                                    {"OpticalCenterY", &KQoxTakeNode::GetCameraOpticalCenterY, {0.13f, 0.56f, 0.34f}},
                                    {"Roll", &KQoxTakeNode::GetCameraRoll, {0.13f, 0.18f, 0.4f}},
                                    {"TurnTable", &KQoxTakeNode::GetCameraTurnTable, {0.4f, 0.13f, 0.18f}}};
const char* const kBackgroundChannel = "BackgroundColor (Color)";

} // namespace

// ---------------------------------------------------------------------------
// Life cycle

KQoxCamera::KQoxCamera(KQoxSdkManager& pManager)
    : KQoxNodeAttribute(pManager)
    , mProperties(new KQoxCameraProperties)
    , mShowInfoOnMoving(true)
    , mDisplaySafeAreaOnRender(false)
    , mShowAudio(false)
    , mAudioColor(0.0, 1.0, 0.0, 1.0)
    , mAntialiasingMethod(eOVERSAMPLING_ANTIALIASING)
    , mSamplingType(eSTOCHASTIC)
{
    Reset();
}

KQoxCamera::~KQoxCamera()
{
    attr::DetachAndDestroyBlock(*this, mProperties);
}

void KQoxCamera::Reset()
{
    KQoxCameraProperties& p = *mProperties;
    SetPosition(KQoxVector4(0.0, 0.0, -50.0, 1.0));
    SetUpVector(KQoxVector4(0.0, 1.0, 0.0, 1.0));
    SetDefaultCameraInterestPosition(KQoxVector4(0.0, 0.0, 0.0, 1.0));
    p.CameraProjectionTypeSet(ePERSPECTIVE);
    SetRoll(0.0);
    attr::SetPropertyDouble(p, "FieldOfView", 40.0);
    attr::SetPropertyDouble(p, "FieldOfViewX", 1.0);
    attr::SetPropertyDouble(p, "FieldOfViewY", 1.0);
    attr::SetPropertyDouble(p, "OpticalCenterX", 0.0);
    attr::SetPropertyDouble(p, "OpticalCenterY", 0.0);
    attr::SetPropertyColor(p, "BackgroundColor", 0.0, 0.0, 0.0);
    SetTurnTable(0.0);
    p.DisplayTurnTableIconSet(true);
    attr::SetPropertyDouble(p, "Motion Blur Intensity", 1.0);
    p.UseMotionBlurSet(false);
    p.UseRealTimeMotionBlurSet(true);

    p.CameraFormatSet(eCUSTOM_FORMAT);
    p.ResolutionModeSet(eFRAME_SIZE_WINDOW);
    p.AspectWSet(320.0);
    p.AspectHSet(200.0);
    p.PixelAspectRatioSet(1.0);
    p.LockModeSet(false);
    SetApertureFormat(e35MM_TV_PROJECTION);
    p.ApertureModeSet(eVERTICAL);
    p.NearPlaneSet(10.0);
    p.FarPlaneSet(4000.0);
    p.FocalLengthSet(35.0);
    mBackgroundFileName = "";
    mBackgroundMediaName = "";

    p.ViewFrustumBackPlaneModeSet(eWHEN_MEDIA);
    p.BackgroundModeSet(eBACKGROUND);
    p.ForegroundTransparentSet(true);
    p.BackgroundAlphaTresholdSet(0.5);
    p.FitImageSet(false);
    p.CenterSet(true);
    p.KeepRatioSet(true);
    p.CropSet(false);
    p.BackPlaneDistanceSet(100.0);
    p.BackPlaneDistanceModeSet(eRELATIVE_TO_INTEREST);

    p.ViewFrustumSet(true);
    p.ViewFrustumNearFarPlaneSet(false);
    p.ViewCameraToLookAtSet(true);
    p.ShowGridSet(true);
    p.ShowAzimutSet(true);
    p.ShowNameSet(true);
    mShowInfoOnMoving = true;
    p.ShowTimeCodeSet(false);
    p.ShowOpticalCenterSet(false);
    p.DisplaySafeAreaSet(false);
    p.SafeAreaDisplayStyleSet(eSQUARE);
    p.SafeAreaAspectRatio.Set(1.33333333333333);
    mDisplaySafeAreaOnRender = false;
    mShowAudio = false;
    mAudioColor.Set(0.0, 1.0, 0.0, 1.0);

    p.UseFrameColorSet(false);
    p.FrameColor.Set(KgeRGBVector(0.3, 0.3, 0.3, 1.0));

    p.UseRealTimeDOFAndAASet(false);
    p.UseAntialiasingSet(false);
    p.AntialiasingIntensitySet(0.77777);
    mAntialiasingMethod = eOVERSAMPLING_ANTIALIASING;
    p.FrameSamplingCountSet(7);
    mSamplingType = eSTOCHASTIC;
    p.UseAccumulationBufferSet(false);
    p.UseDepthOfFieldSet(false);
    p.FocusSourceSet(eCAMERA_INTEREST);
    p.FocusDistanceSet(200.0);
    p.FocusAngleSet(3.5);
    p.Use2DMagnifierZoomSet(false);
    attr::SetPropertyDouble(p, "2D Magnifier Zoom", 100.0);
    attr::SetPropertyDouble(p, "2D Magnifier X", 50.0);
    attr::SetPropertyDouble(p, "2D Magnifier Y", 50.0);
}

KQoxCamera& KQoxCamera::operator=(KQoxCamera& pOther)
{
    if (&pOther == this)
        return *this;
    KQoxCameraProperties& p = *mProperties;
    KQoxCameraProperties& o = *pOther.mProperties;
    mUpVector = pOther.mUpVector;
    mInterestPosition = pOther.mInterestPosition;
    SetPosition(pOther.GetPosition());
    SetRoll(pOther.GetRoll());
    SetTurnTable(pOther.GetTurnTable());

    p.CameraProjectionTypeSet(o.CameraProjectionTypeGet());
    p.CameraFormatSet(o.CameraFormatGet());
    p.ResolutionModeSet(o.ResolutionModeGet());
    p.AspectWSet(o.AspectWGet());
    p.AspectHSet(o.AspectHGet());
    p.PixelAspectRatioSet(o.PixelAspectRatioGet());
    p.NearPlaneSet(o.NearPlaneGet());
    p.FarPlaneSet(o.FarPlaneGet());
    p.LockModeSet(o.LockModeGet());
    p.FilmFormatIndexSet(o.FilmFormatIndexGet());
    p.ApertureModeSet(o.ApertureModeGet());
    p.FilmWidthSet(o.FilmWidthGet());
    p.FilmHeightSet(o.FilmHeightGet());
    p.FilmSqueezeRatioSet(o.FilmSqueezeRatioGet());
    p.FocalLengthSet(o.FocalLengthGet());
    mBackgroundMediaName = pOther.mBackgroundMediaName;
    mBackgroundFileName = pOther.mBackgroundFileName;

    p.ViewFrustumBackPlaneModeSet(o.ViewFrustumBackPlaneModeGet());
    p.BackgroundModeSet(o.BackgroundModeGet());
    p.ForegroundTransparentSet(o.ForegroundTransparentGet());
    p.BackgroundAlphaTresholdSet(o.BackgroundAlphaTresholdGet());
    p.FitImageSet(o.FitImageGet());
    p.CenterSet(o.CenterGet());
    p.KeepRatioSet(o.KeepRatioGet());
    p.CropSet(o.CropGet());
    p.BackPlaneDistanceSet(o.BackPlaneDistanceGet());
    p.BackPlaneDistanceModeSet(o.BackPlaneDistanceModeGet());

    p.ViewFrustumSet(o.ViewFrustumGet());
    p.ViewFrustumNearFarPlaneSet(o.ViewFrustumNearFarPlaneGet());
    p.ShowGridSet(o.ShowGridGet());
    p.ShowAzimutSet(o.ShowAzimutGet());
    p.ShowNameSet(o.ShowNameGet());
    mShowInfoOnMoving = pOther.mShowInfoOnMoving;
    p.ShowTimeCodeSet(o.ShowTimeCodeGet());
    p.DisplaySafeAreaSet(o.DisplaySafeAreaGet());
    p.SafeAreaDisplayStyleSet(o.SafeAreaDisplayStyleGet());
    mDisplaySafeAreaOnRender = pOther.mDisplaySafeAreaOnRender;
    mShowAudio = pOther.mShowAudio;

    SetDefaultBackgroundColor(pOther.GetBackgroundColor());
    mAudioColor = pOther.mAudioColor;
    p.UseFrameColorSet(o.UseFrameColorGet());
    p.FrameColorSet(o.FrameColorGet());

    p.UseRealTimeDOFAndAASet(o.UseRealTimeDOFAndAAGet());
    p.UseAntialiasingSet(o.UseAntialiasingGet());
    p.AntialiasingIntensitySet(o.AntialiasingIntensityGet());
    mAntialiasingMethod = pOther.mAntialiasingMethod;
    p.FrameSamplingCountSet(o.FrameSamplingCountGet());
    mSamplingType = pOther.mSamplingType;
    p.UseAccumulationBufferSet(o.UseAccumulationBufferGet());
    p.UseDepthOfFieldSet(o.UseDepthOfFieldGet());
    p.FocusSourceSet(o.FocusSourceGet());
    p.FocusDistanceSet(o.FocusDistanceGet());
    p.FocusAngleSet(o.FocusAngleGet());
    return *this;
}

// ---------------------------------------------------------------------------
// Position and channel defaults

void KQoxCamera::SetPosition(const KQoxVector4& pPosition)
{
    if (KQoxNode* node = GetNode())
        node->SetDefaultT(pPosition);
}

KQoxVector4 KQoxCamera::GetPosition()
{
    KQoxVector4 position(0.0, 0.0, 0.0, 0.0);
    if (KQoxNode* node = GetNode())
        node->GetDefaultT(position);
    return position;
}

double KQoxCamera::GetRoll()
{
    return attr::PropertyDouble(*mProperties, "Roll");
}

double KQoxCamera::GetTurnTable()
{
    return attr::PropertyDouble(*mProperties, "TurnTable");
}

void KQoxCamera::SetDefaultChannel(const char* pName, CurveGetter pCurve, double pValue)
{
    attr::SetPropertyDouble(*mProperties, pName, pValue);
    if (KQoxTakeNode* take = attr::DefaultTakeOf(*this))
        attr::SetCurveValue((take->*pCurve)(), pValue);
}

double KQoxCamera::GetDefaultChannel(const char* pName, CurveGetter pCurve)
{
    const double property = attr::PropertyDouble(*mProperties, pName);
    KQoxTakeNode* take = attr::DefaultTakeOf(*this);
    return take ? attr::CurveValue((take->*pCurve)(), property) : property;
}

#define KQOX_CAMERA_DEFAULT_CHANNEL(Name, Getter)                                                                      \
    void KQoxCamera::SetDefault##Name(double pValue)                                                                   \
    {                                                                                                                  \
        SetDefaultChannel(#Name, &KQoxTakeNode::Getter, pValue);                                                       \
    }                                                                                                                  \
    double KQoxCamera::GetDefault##Name()                                                                              \
    {                                                                                                                  \
        return GetDefaultChannel(#Name, &KQoxTakeNode::Getter);                                                        \
    }
KQOX_CAMERA_DEFAULT_CHANNEL(FieldOfView, GetCameraFieldOfView)
KQOX_CAMERA_DEFAULT_CHANNEL(FieldOfViewX, GetCameraFieldOfViewX)
KQOX_CAMERA_DEFAULT_CHANNEL(FieldOfViewY, GetCameraFieldOfViewY)
KQOX_CAMERA_DEFAULT_CHANNEL(OpticalCenterX, GetCameraOpticalCenterX)
KQOX_CAMERA_DEFAULT_CHANNEL(OpticalCenterY, GetCameraOpticalCenterY)
KQOX_CAMERA_DEFAULT_CHANNEL(Roll, GetCameraRoll)
KQOX_CAMERA_DEFAULT_CHANNEL(TurnTable, GetCameraTurnTable)
#undef KQOX_CAMERA_DEFAULT_CHANNEL

void KQoxCamera::SetDefaultBackgroundColor(const KQoxColor& pColor)
{
    attr::SetPropertyColor(*mProperties, "BackgroundColor", pColor.mRed, pColor.mGreen, pColor.mBlue);
    if (KQoxTakeNode* take = attr::DefaultTakeOf(*this))
    {
        attr::SetCurveValue(take->GetBackgroundColorR(), pColor.mRed);
        attr::SetCurveValue(take->GetBackgroundColorG(), pColor.mGreen);
        attr::SetCurveValue(take->GetBackgroundColorB(), pColor.mBlue);
    }
}

KQoxColor KQoxCamera::GetDefaultBackgroundColor()
{
    KgeRGBVector value = attr::PropertyColor(*mProperties, "BackgroundColor");
    double rgb[3] = {value.r, value.g, value.b};
    if (KQoxTakeNode* take = attr::DefaultTakeOf(*this))
    {
        rgb[0] = attr::CurveValue(take->GetBackgroundColorR(), rgb[0]);
        rgb[1] = attr::CurveValue(take->GetBackgroundColorG(), rgb[1]);
        rgb[2] = attr::CurveValue(take->GetBackgroundColorB(), rgb[2]);
    }
    return KQoxColor(rgb[0], rgb[1], rgb[2], 1.0);
}

KQoxColor KQoxCamera::GetBackgroundColor()
{
    KgeRGBVector value = attr::PropertyColor(*mProperties, "BackgroundColor");
    return KQoxColor(value.r, value.g, value.b, 1.0);
}

// ---------------------------------------------------------------------------
// Picture format and aspect

void KQoxCamera::SetFormat(ECameraFormat pFormat)
{
    KQoxCameraProperties& p = *mProperties;
    const ECameraAspectRatioMode mode = p.ResolutionModeGet();
    const PictureFormat* preset = nullptr;
    for (const PictureFormat& format : kPictureFormats)
        if (format.mFormat == pFormat)
            preset = &format;
    if (!preset)
    {
        p.CameraFormatSet(eCUSTOM_FORMAT);
        return;
    }
    SetAspect(eFRAME_SIZE_FIXED_RESOLUTION, preset->mWidth, preset->mHeight);
    SetPixelRatio(ComputePixelRatio(preset->mWidth, preset->mHeight, preset->mScreenRatio));
    p.CameraFormatSet(pFormat);
    switch (mode)
    {
    case eFRAME_SIZE_FIXED_RATIO:
        p.AspectWSet(p.AspectWGet() / p.AspectHGet() * p.PixelAspectRatioGet());
        p.AspectHSet(1.0);
        p.ResolutionModeSet(eFRAME_SIZE_FIXED_RATIO);
        break;
    case eFRAME_SIZE_FIXED_WIDTH_RESOLUTION:
        p.AspectHSet(p.AspectHGet() / p.AspectWGet());
        p.ResolutionModeSet(eFRAME_SIZE_FIXED_WIDTH_RESOLUTION);
        break;
    case eFRAME_SIZE_FIXED_HEIGHT_RESOLUTION:
        p.AspectWSet(p.AspectWGet() / p.AspectHGet());
        p.ResolutionModeSet(eFRAME_SIZE_FIXED_HEIGHT_RESOLUTION);
        break;
    default: break;
    }
}

KQoxCamera::ECameraFormat KQoxCamera::GetFormat()
{
    return mProperties->CameraFormatGet();
}

void KQoxCamera::SetAspect(ECameraAspectRatioMode pMode, double pWidth, double pHeight)
{
    KQoxCameraProperties& p = *mProperties;
    switch (pMode)
    {
    case eFRAME_SIZE_WINDOW:
        p.AspectWSet(pWidth);
        p.AspectHSet(pHeight);
        break;
    case eFRAME_SIZE_FIXED_RATIO:
        p.AspectWSet(AtLeast(pWidth, 0.001));
        p.AspectHSet(1.0);
        break;
    case eFRAME_SIZE_FIXED_RESOLUTION:
        p.AspectWSet(AtLeast(pWidth, 1.0));
        p.AspectHSet(AtLeast(pHeight, 1.0));
        break;
    case eFRAME_SIZE_FIXED_WIDTH_RESOLUTION:
        p.AspectWSet(AtLeast(pWidth, 1.0));
        p.AspectHSet(AtLeast(pHeight, 0.001));
        break;
    case eFRAME_SIZE_FIXED_HEIGHT_RESOLUTION:
        p.AspectWSet(AtLeast(pWidth, 0.001));
        p.AspectHSet(AtLeast(pHeight, 1.0));
        break;
    default: break;
    }
    SetFormat(eCUSTOM_FORMAT);
    p.ResolutionModeSet(pMode);
}

KQoxCamera::ECameraAspectRatioMode KQoxCamera::GetAspectRatioMode()
{
    return mProperties->ResolutionModeGet();
}

double KQoxCamera::GetAspectWidth()
{
    return mProperties->AspectWGet();
}

double KQoxCamera::GetAspectHeight()
{
    return mProperties->AspectHGet();
}

void KQoxCamera::SetPixelRatio(double pRatio)
{
    if (pRatio == mProperties->PixelAspectRatioGet())
        return;
    mProperties->PixelAspectRatioSet(Clamp(pRatio, kMinPixelRatio, kMaxPixelRatio));
    SetFormat(eCUSTOM_FORMAT);
}

double KQoxCamera::GetPixelRatio()
{
    return mProperties->PixelAspectRatioGet();
}

double KQoxCamera::ComputePixelRatio(unsigned int pWidth, unsigned int pHeight, double pScreenRatio)
{
    const double width = pWidth == 0 ? 1.0 : pWidth;
    const double height = pHeight == 0 ? 1.0 : pHeight;
    return pScreenRatio / (width / height);
}

// ---------------------------------------------------------------------------
// Clipping planes

void KQoxCamera::SetNearPlane(double pDistance)
{
    KQoxCameraProperties& p = *mProperties;
    p.NearPlaneSet(Clamp(pDistance, kMinPlane, kMaxPlane));
    if (p.FarPlaneGet() < p.NearPlaneGet())
        p.FarPlaneSet(p.NearPlaneGet());
}

double KQoxCamera::GetNearPlane()
{
    return mProperties->NearPlaneGet();
}

void KQoxCamera::SetFarPlane(double pDistance)
{
    KQoxCameraProperties& p = *mProperties;
    p.FarPlaneSet(Clamp(pDistance, kMinPlane, kMaxPlane));
    if (p.NearPlaneGet() > p.FarPlaneGet())
        p.NearPlaneSet(p.FarPlaneGet());
}

double KQoxCamera::GetFarPlane()
{
    return mProperties->FarPlaneGet();
}

// ---------------------------------------------------------------------------
// Film back and lens

void KQoxCamera::SetApertureFormat(ECameraApertureFormat pFormat)
{
    KQoxCameraProperties& p = *mProperties;
    if (pFormat >= e16MM_THEATRICAL && pFormat <= eIMAX)
    {
        const FilmBack& back = kFilmBacks[pFormat - 1];
        p.FilmFormatIndexSet(pFormat);
        p.FilmWidthSet(back.mWidth);
        p.FilmHeightSet(back.mHeight);
        p.FilmSqueezeRatioSet(back.mSqueeze);
    }
    else
        p.FilmFormatIndexSet(eCUSTOM_APERTURE_FORMAT);
    p.FilmAspectRatio.Set(p.FilmWidthGet() / p.FilmHeightGet());
}

KQoxCamera::ECameraApertureFormat KQoxCamera::GetApertureFormat()
{
    return mProperties->FilmFormatIndexGet();
}

void KQoxCamera::SetApertureMode(ECameraApertureMode pMode)
{
    mProperties->ApertureModeSet(pMode);
}

KQoxCamera::ECameraApertureMode KQoxCamera::GetApertureMode()
{
    return mProperties->ApertureModeGet();
}

void KQoxCamera::SetApertureWidth(double pWidth)
{
    if (pWidth == mProperties->FilmWidthGet())
        return;
    mProperties->FilmWidthSet(AtLeast(pWidth, kMinAperture));
    SetApertureFormat(eCUSTOM_APERTURE_FORMAT);
}

double KQoxCamera::GetApertureWidth()
{
    return mProperties->FilmWidthGet();
}

void KQoxCamera::SetApertureHeight(double pHeight)
{
    if (pHeight == mProperties->FilmHeightGet())
        return;
    mProperties->FilmHeightSet(AtLeast(pHeight, kMinAperture));
    SetApertureFormat(eCUSTOM_APERTURE_FORMAT);
}

double KQoxCamera::GetApertureHeight()
{
    return mProperties->FilmHeightGet();
}

void KQoxCamera::SetSqueezeRatio(double pRatio)
{
    if (pRatio == mProperties->FilmSqueezeRatioGet())
        return;
    mProperties->FilmSqueezeRatioSet(AtLeast(pRatio, kMinAperture));
    SetApertureFormat(eCUSTOM_APERTURE_FORMAT);
}

double KQoxCamera::GetSqueezeRatio()
{
    return mProperties->FilmSqueezeRatioGet();
}

void KQoxCamera::SetFocalLength(double pFocalLength)
{
    mProperties->FocalLengthSet(pFocalLength);
}

double KQoxCamera::GetFocalLength()
{
    return mProperties->FocalLengthGet();
}

double KQoxCamera::ComputeAngleOfView(double pWidth, double pHeight, double pFocalLength)
{
    const double film =
        mProperties->ApertureModeGet() == eVERTICAL ? pHeight : pWidth * mProperties->FilmSqueezeRatioGet();
    return 2.0 * std::atan(kMillimetresPerInch * film / pFocalLength * 0.5) * kRadiansToDegrees;
}

double KQoxCamera::ComputeFocalLength(double pWidth, double pHeight, double pAngle)
{
    const double film =
        mProperties->ApertureModeGet() == eVERTICAL ? pHeight : pWidth * mProperties->FilmSqueezeRatioGet();
    return kMillimetresPerInch * film / std::tan(pAngle * kDegreesToRadians * 0.5) * 0.5;
}

double KQoxCamera::GetAngleOfView()
{
    KQoxCameraProperties& p = *mProperties;
    return Clamp(ComputeAngleOfView(p.FilmWidthGet(), p.FilmHeightGet(), p.FocalLengthGet()), kMinAngle, kMaxAngle);
}

void KQoxCamera::SetAngleOfView(double pAngle)
{
    KQoxCameraProperties& p = *mProperties;
    const double angle = Clamp(pAngle, kMinAngle, kMaxAngle);
    p.FocalLengthSet(ComputeFocalLength(p.FilmWidthGet(), p.FilmHeightGet(), angle));
}

// ---------------------------------------------------------------------------
// Background

void KQoxCamera::SetBackgroundFileName(const char* pFileName)
{
    mBackgroundFileName = pFileName ? pFileName : "";
}

const char* KQoxCamera::GetBackgroundFileName() const
{
    return mBackgroundFileName.IsEmpty() ? nullptr : mBackgroundFileName.ToChars();
}

void KQoxCamera::SetBackgroundMediaName(const char* pName)
{
    mBackgroundMediaName = pName ? pName : "";
}

const char* KQoxCamera::GetBackgroundMediaName() const
{
    return mBackgroundMediaName.IsEmpty() ? nullptr : mBackgroundMediaName.ToChars();
}

void KQoxCamera::SetBackgroundTexture(KQoxTexture* pTexture)
{
    KQoxPropertyHandler* texture = pTexture ? pTexture->GetPropertyHandler() : nullptr;
    KQoxNode* node = GetNode();
    KQoxPropertyHandler* handler = node ? node->GetPropertyHandler() : nullptr;
    if (!texture || !handler || handler->IsConnectedSrc(texture))
        return;
    handler->ConnectSrc(texture, kConnectionNormal);
}

#define KQOX_CAMERA_PLAIN_ACCESS(Name, Type, Member)                                                                   \
    void KQoxCamera::Set##Name(Type pValue)                                                                            \
    {                                                                                                                  \
        mProperties->Member##Set(pValue);                                                                              \
    }                                                                                                                  \
    Type KQoxCamera::Get##Name()                                                                                       \
    {                                                                                                                  \
        return mProperties->Member##Get();                                                                             \
    }
KQOX_CAMERA_PLAIN_ACCESS(BackgroundDisplayMode, KQoxCamera::ECameraBackgroundDisplayMode, ViewFrustumBackPlaneMode)
KQOX_CAMERA_PLAIN_ACCESS(BackgroundDrawingMode, KQoxCamera::ECameraBackgroundDrawingMode, BackgroundMode)
KQOX_CAMERA_PLAIN_ACCESS(ForegroundMatteThresholdEnable, bool, ForegroundTransparent)
KQOX_CAMERA_PLAIN_ACCESS(ForegroundMatteThreshold, double, BackgroundAlphaTreshold)
KQOX_CAMERA_PLAIN_ACCESS(BackgroundDistance, double, BackPlaneDistance)
KQOX_CAMERA_PLAIN_ACCESS(BackgroundDistanceMode, KQoxCamera::ECameraBackgroundDistanceMode, BackPlaneDistanceMode)
KQOX_CAMERA_PLAIN_ACCESS(ViewCameraInterest, bool, ViewCameraToLookAt)
KQOX_CAMERA_PLAIN_ACCESS(ViewNearFarPlanes, bool, ViewFrustumNearFarPlane)
KQOX_CAMERA_PLAIN_ACCESS(ShowGrid, bool, ShowGrid)
KQOX_CAMERA_PLAIN_ACCESS(ShowAxis, bool, ShowAzimut)
KQOX_CAMERA_PLAIN_ACCESS(ShowName, bool, ShowName)
KQOX_CAMERA_PLAIN_ACCESS(ShowTimeCode, bool, ShowTimeCode)
KQOX_CAMERA_PLAIN_ACCESS(DisplaySafeArea, bool, DisplaySafeArea)
KQOX_CAMERA_PLAIN_ACCESS(SafeAreaStyle, KQoxCamera::ECameraSafeAreaStyle, SafeAreaDisplayStyle)
KQOX_CAMERA_PLAIN_ACCESS(MouseLock, bool, LockMode)
KQOX_CAMERA_PLAIN_ACCESS(ProjectionType, KQoxCamera::ECameraProjectionType, CameraProjectionType)
KQOX_CAMERA_PLAIN_ACCESS(UseFrameColor, bool, UseFrameColor)
KQOX_CAMERA_PLAIN_ACCESS(UseAntialiasing, bool, UseAntialiasing)
KQOX_CAMERA_PLAIN_ACCESS(AntialiasingIntensity, double, AntialiasingIntensity)
KQOX_CAMERA_PLAIN_ACCESS(NumberOfSamples, int, FrameSamplingCount)
KQOX_CAMERA_PLAIN_ACCESS(UseAccumulationBuffer, bool, UseAccumulationBuffer)
KQOX_CAMERA_PLAIN_ACCESS(UseDepthOfField, bool, UseDepthOfField)
KQOX_CAMERA_PLAIN_ACCESS(FocusDistanceSource, KQoxCamera::ECameraFocusDistanceSource, FocusSource)
KQOX_CAMERA_PLAIN_ACCESS(SpecificDistance, double, FocusDistance)
KQOX_CAMERA_PLAIN_ACCESS(FocusAngle, double, FocusAngle)
#undef KQOX_CAMERA_PLAIN_ACCESS

void KQoxCamera::SetBackgroundPlacementOptions(unsigned int pOptions)
{
    KQoxCameraProperties& p = *mProperties;
    p.FitImageSet((pOptions & eFIT) != 0);
    p.CenterSet((pOptions & eCENTER) != 0);
    p.KeepRatioSet((pOptions & eKEEP_RATIO) != 0);
    p.CropSet((pOptions & eCROP) != 0);
}

unsigned int KQoxCamera::GetBackgroundPlacementOptions()
{
    KQoxCameraProperties& p = *mProperties;
    unsigned int options = 0;
    options |= p.FitImageGet() ? static_cast<unsigned int>(eFIT) : 0u;
    options |= p.CenterGet() ? static_cast<unsigned int>(eCENTER) : 0u;
    options |= p.KeepRatioGet() ? static_cast<unsigned int>(eKEEP_RATIO) : 0u;
    options |= p.CropGet() ? static_cast<unsigned int>(eCROP) : 0u;
    return options;
}

void KQoxCamera::SetFrameColor(const KQoxColor& pColor)
{
    mProperties->FrameColorSet(KgeRGBVector(pColor.mRed, pColor.mGreen, pColor.mBlue, pColor.mAlpha));
    mProperties->FrameColorAlphaSet(pColor.mAlpha);
}

KQoxColor KQoxCamera::GetFrameColor()
{
    KgeRGBVector color = mProperties->FrameColorGet();
    return KQoxColor(color.r, color.g, color.b, color.w);
}

void KQoxCamera::SetRenderOptionsUsageTime(ECameraRenderOptionsUsageTime pTime)
{
    if (pTime == eREALTIME)
        mProperties->UseRealTimeDOFAndAASet(true);
    else if (pTime == eOFFLINE)
        mProperties->UseRealTimeDOFAndAASet(false);
}

KQoxCamera::ECameraRenderOptionsUsageTime KQoxCamera::GetRenderOptionsUsageTime()
{
    return mProperties->UseRealTimeDOFAndAAGet() ? eREALTIME : eOFFLINE;
}

// ---------------------------------------------------------------------------
// Channels and the node-attribute hooks

void KQoxCamera::AddChannels(KQoxTakeNode* pTakeNode)
{
    KQoxNodeAttribute::AddChannels(pTakeNode);
    attr::ChannelBuilder channels(*this, pTakeNode, *mProperties);
    if (!channels.Ready())
        return;
    for (const CameraChannel& channel : kChannels)
        channels.AddNumber(channel.mName, channel.mColor);
    channels.AddColor(kBackgroundChannel, "BackgroundColor");
}

void KQoxCamera::RemoveChannels(KQoxTakeNode* pTakeNode)
{
    for (const CameraChannel& channel : kChannels)
        attr::RemoveChannel(pTakeNode, channel.mName);
    attr::RemoveChannel(pTakeNode, kBackgroundChannel);
    KQoxNodeAttribute::RemoveChannels(pTakeNode);
}

void KQoxCamera::FillPropertyList(void* pList)
{
    attr::AppendProperties(*mProperties, pList);
}

KString KQoxCamera::GetTypeName()
{
    return KString("Camera");
}

KStringList KQoxCamera::GetTypeFlags()
{
    return TypeFlags("Camera");
}

} // namespace qoxsdk_600
