#ifndef QOX_SCENE_ATTRIBUTES_KQOXCAMERA_H
#define QOX_SCENE_ATTRIBUTES_KQOXCAMERA_H

// KQoxCamera: the node attribute of a camera (attribute type 7).
//
// Its settings are the 65 properties of KQoxCameraProperties, given a
// camera's meaning here: picture formats and aspect modes, film backs and the
// conversion between focal length and angle of view, clipping planes,
// background and safe-area settings, render options, and the defaults of its
// animated channels. Bounded setters clamp instead of failing; nothing
// reports an error.
//
// Set on a node, the camera keeps "FieldOfView", "FieldOfViewX",
// "FieldOfViewY", "OpticalCenterX", "OpticalCenterY", "Roll", "TurnTable" and
// "BackgroundColor (Color)" (X, Y, Z) in every take node; the Default take's
// curves are tied to the properties of the same name. The channels start from
// the property values, so settings made while detached survive attachment.
// The position is the default translation of the camera's node.

#include "base/kmath_types.h"
#include "base/kstring.h"
#include "base/kstringlist.h"
#include "scene/kqoxcolor.h"
#include "scene/kqoxnodeattribute.h"

class KFCurve;

namespace qoxsdk_600 {

class KQoxCameraProperties;
class KQoxTexture;

class KQoxCamera : public KQoxNodeAttribute
{
public:
    typedef enum : int
    {
        eFRAME_SIZE_WINDOW = 0,
        eFRAME_SIZE_FIXED_RATIO = 1,
        eFRAME_SIZE_FIXED_RESOLUTION = 2,
        eFRAME_SIZE_FIXED_WIDTH_RESOLUTION = 3,
        eFRAME_SIZE_FIXED_HEIGHT_RESOLUTION = 4
    } ECameraAspectRatioMode;

    typedef enum : int
    {
        eHORIZONTAL_AND_VERTICAL = 0,
        eHORIZONTAL = 1,
        eVERTICAL = 2
    } ECameraApertureMode;

    typedef enum : int
    {
        eCUSTOM_FORMAT = 0,
        eD1_NTSC = 1,
        eNTSC = 2,
        ePAL = 3,
        eD1_PAL = 4,
        eHD = 5,
        e640x480 = 6,
        e320x200 = 7,
        e320x240 = 8,
        eFULL_SCREEN = 10
    } ECameraFormat;

    typedef enum : int
    {
        eCUSTOM_APERTURE_FORMAT = 0,
        e16MM_THEATRICAL,
        eSUPER_16MM,
        e35MM_ACADEMY,
        e35MM_TV_PROJECTION,
        e35MM_FULL_APERTURE,
        e35MM_185_PROJECTION,
        e35MM_ANAMORPHIC,
        e70MM_PROJECTION,
        eVISTAVISION,
        eDYNAVISION,
        eIMAX
    } ECameraApertureFormat;

    typedef enum : int
    {
        eDISABLED = 0,
        eALWAYS = 1,
        eWHEN_MEDIA = 2
    } ECameraBackgroundDisplayMode;

    typedef enum : int
    {
        eRELATIVE_TO_INTEREST = 0,
        eRELATIVE_TO_CAMERA = 1
    } ECameraBackgroundDistanceMode;

    typedef enum : int
    {
        eBACKGROUND = 0,
        eFOREGROUND = 1,
        eBACKGROUND_AND_FOREGROUND = 2
    } ECameraBackgroundDrawingMode;

    typedef enum : int
    {
        eROUND = 0,
        eSQUARE = 1
    } ECameraSafeAreaStyle;

    typedef enum : int
    {
        ePERSPECTIVE = 0,
        eORTHOGONAL = 1
    } ECameraProjectionType;

    typedef enum : int
    {
        eCAMERA_INTEREST = 0,
        eSPECIFIC_DISTANCE = 1
    } ECameraFocusDistanceSource;

    typedef enum : int
    {
        eREALTIME = 0,
        eOFFLINE = 1
    } ECameraRenderOptionsUsageTime;

    typedef enum : int
    {
        eOVERSAMPLING_ANTIALIASING = 0,
        eHARDWARE_ANTIALIASING = 1
    } ECameraAntialiasingMethod;

    typedef enum : int
    {
        eUNIFORM = 0,
        eSTOCHASTIC = 1
    } ECameraSamplingType;

    // Background placement bits.
    enum
    {
        eFIT = 1 << 0,
        eCENTER = 1 << 1,
        eKEEP_RATIO = 1 << 2,
        eCROP = 1 << 3
    };

    // Creates the property set, then Reset.
    explicit KQoxCamera(KQoxSdkManager& pManager);
    // Detaches from the node first (removing the channels), then ends the
    // property set.
    ~KQoxCamera() override;

    EAttributeType GetAttributeType() const override { return eCAMERA; }
    void AddChannels(KQoxTakeNode* pTakeNode) override;
    void RemoveChannels(KQoxTakeNode* pTakeNode) override;
    void FillPropertyList(void* pList) override;
    // "Camera", and a list holding "Camera".
    KString GetTypeName() override;
    KStringList GetTypeFlags() override;

    KQoxCameraProperties* GetPropertyHandler() { return mProperties; }

    // Every setting to its default (see the property table); the position
    // (0, 0, -50) reaches the node only when attached.
    void Reset();
    // Copies every camera setting but the field-of-view and optical-centre
    // defaults, the magnifier and motion-blur values and a few display
    // switches; the position only between attached cameras.
    KQoxCamera& operator=(KQoxCamera& pOther);

    // Position and orientation ---------------------------------------------------
    // The node's default translation; nothing / zeros while detached.
    void SetPosition(const KQoxVector4& pPosition);
    KQoxVector4 GetPosition();
    void SetUpVector(const KQoxVector4& pVector) { mUpVector = pVector; }
    KQoxVector4 GetUpVector() const { return mUpVector; }
    void SetDefaultCameraInterestPosition(const KQoxVector4& pPosition) { mInterestPosition = pPosition; }
    KQoxVector4 GetDefaultCameraInterestPosition() const { return mInterestPosition; }
    void SetRoll(double pRoll) { SetDefaultRoll(pRoll); }
    void SetTurnTable(double pTurnTable) { SetDefaultTurnTable(pTurnTable); }
    // The properties' values, never the curves.
    double GetRoll();
    double GetTurnTable();

    // Defaults of the animated channels: the property, and while attached the
    // Default take's curve in single precision. The getters read the curve
    // while attached (the property when the curve is missing), else the
    // property.
    void SetDefaultFieldOfView(double pValue);
    double GetDefaultFieldOfView();
    void SetDefaultFieldOfViewX(double pValue);
    double GetDefaultFieldOfViewX();
    void SetDefaultFieldOfViewY(double pValue);
    double GetDefaultFieldOfViewY();
    void SetDefaultOpticalCenterX(double pValue);
    double GetDefaultOpticalCenterX();
    void SetDefaultOpticalCenterY(double pValue);
    double GetDefaultOpticalCenterY();
    void SetDefaultRoll(double pValue);
    double GetDefaultRoll();
    void SetDefaultTurnTable(double pValue);
    double GetDefaultTurnTable();
    void SetDefaultBackgroundColor(const KQoxColor& pColor);
    void SetBackgroundColor(const KQoxColor& pColor) { SetDefaultBackgroundColor(pColor); }
    // Alpha 1; from the curves while attached, else the property.
    KQoxColor GetDefaultBackgroundColor();
    // Always the property, alpha 1.
    KQoxColor GetBackgroundColor();

    // Picture format and aspect -------------------------------------------------
    // A preset sets the resolution, the pixel ratio and the format, then
    // converts back to the aspect mode the camera had; 0, 9 and unknown values
    // only mark the format custom.
    void SetFormat(ECameraFormat pFormat);
    ECameraFormat GetFormat();
    // Stores the terms by mode (clamped as the mode asks), marks the format
    // custom and stores the mode.
    void SetAspect(ECameraAspectRatioMode pMode, double pWidth, double pHeight);
    ECameraAspectRatioMode GetAspectRatioMode();
    double GetAspectWidth();
    double GetAspectHeight();
    // A new value is clamped to [0.05, 20] and marks the format custom.
    void SetPixelRatio(double pRatio);
    double GetPixelRatio();
    // screenRatio / (width / height); 0 counts as 1.
    double ComputePixelRatio(unsigned int pWidth, unsigned int pHeight, double pScreenRatio);

    // Clipping planes: [0.001, 600000], near kept at most far.
    void SetNearPlane(double pDistance);
    double GetNearPlane();
    void SetFarPlane(double pDistance);
    double GetFarPlane();

    // Film back and lens -----------------------------------------------------------
    // 1..11 take the preset film back; anything else marks it custom. The
    // film aspect ratio is recomputed in every case.
    void SetApertureFormat(ECameraApertureFormat pFormat);
    ECameraApertureFormat GetApertureFormat();
    void SetApertureMode(ECameraApertureMode pMode);
    ECameraApertureMode GetApertureMode();
    // A new value (inches) is kept at least 0.0001 and marks the film back custom.
    void SetApertureWidth(double pWidth);
    double GetApertureWidth();
    void SetApertureHeight(double pHeight);
    double GetApertureHeight();
    void SetSqueezeRatio(double pRatio);
    double GetSqueezeRatio();
    // Millimetres, unclamped.
    void SetFocalLength(double pFocalLength);
    double GetFocalLength();
    // Degrees, clamped to [1, 179]; the setter stores the focal length.
    void SetAngleOfView(double pAngle);
    double GetAngleOfView();
    double ComputeAngleOfView(double pWidth, double pHeight, double pFocalLength);
    double ComputeFocalLength(double pWidth, double pHeight, double pAngle);

    // Background ---------------------------------------------------------------------
    void SetBackgroundFileName(const char* pFileName);
    // Null when empty.
    const char* GetBackgroundFileName() const;
    void SetBackgroundMediaName(const char* pName);
    const char* GetBackgroundMediaName() const;
    // Connects the texture's property handler as a source of the node's; does
    // nothing for a null texture, a detached camera or an existing connection.
    void SetBackgroundTexture(KQoxTexture* pTexture);
    void SetBackgroundDisplayMode(ECameraBackgroundDisplayMode pMode);
    ECameraBackgroundDisplayMode GetBackgroundDisplayMode();
    void SetBackgroundDrawingMode(ECameraBackgroundDrawingMode pMode);
    ECameraBackgroundDrawingMode GetBackgroundDrawingMode();
    void SetForegroundMatteThresholdEnable(bool pEnable);
    bool GetForegroundMatteThresholdEnable();
    void SetForegroundMatteThreshold(double pThreshold);
    double GetForegroundMatteThreshold();
    // Bits eFIT, eCENTER, eKEEP_RATIO, eCROP; others ignored.
    void SetBackgroundPlacementOptions(unsigned int pOptions);
    unsigned int GetBackgroundPlacementOptions();
    void SetBackgroundDistance(double pDistance);
    double GetBackgroundDistance();
    void SetBackgroundDistanceMode(ECameraBackgroundDistanceMode pMode);
    ECameraBackgroundDistanceMode GetBackgroundDistanceMode();

    // Viewer, safe area and render options (plain stores) ------------------------------
    void SetViewCameraInterest(bool pValue);
    bool GetViewCameraInterest();
    void SetViewNearFarPlanes(bool pValue);
    bool GetViewNearFarPlanes();
    void SetShowGrid(bool pValue);
    bool GetShowGrid();
    void SetShowAxis(bool pValue);
    bool GetShowAxis();
    void SetShowName(bool pValue);
    bool GetShowName();
    void SetShowInfoOnMoving(bool pValue) { mShowInfoOnMoving = pValue; }
    bool GetShowInfoOnMoving() const { return mShowInfoOnMoving; }
    void SetShowTimeCode(bool pValue);
    bool GetShowTimeCode();
    void SetDisplaySafeArea(bool pValue);
    bool GetDisplaySafeArea();
    void SetDisplaySafeAreaOnRender(bool pValue) { mDisplaySafeAreaOnRender = pValue; }
    bool GetDisplaySafeAreaOnRender() const { return mDisplaySafeAreaOnRender; }
    void SetSafeAreaStyle(ECameraSafeAreaStyle pStyle);
    ECameraSafeAreaStyle GetSafeAreaStyle();
    void SetShowAudio(bool pValue) { mShowAudio = pValue; }
    bool GetShowAudio() const { return mShowAudio; }
    void SetAudioColor(const KQoxColor& pColor) { mAudioColor = pColor; }
    KQoxColor GetAudioColor() const { return mAudioColor; }
    void SetMouseLock(bool pValue);
    bool GetMouseLock();
    void SetProjectionType(ECameraProjectionType pType);
    ECameraProjectionType GetProjectionType();
    void SetUseFrameColor(bool pValue);
    bool GetUseFrameColor();
    // The four components, alpha in the frame colour's fourth component.
    void SetFrameColor(const KQoxColor& pColor);
    KQoxColor GetFrameColor();
    // 0 real time, 1 offline; other values change nothing.
    void SetRenderOptionsUsageTime(ECameraRenderOptionsUsageTime pTime);
    ECameraRenderOptionsUsageTime GetRenderOptionsUsageTime();
    void SetUseAntialiasing(bool pValue);
    bool GetUseAntialiasing();
    void SetAntialiasingIntensity(double pValue);
    double GetAntialiasingIntensity();
    void SetAntialiasingMethod(ECameraAntialiasingMethod pMethod) { mAntialiasingMethod = pMethod; }
    ECameraAntialiasingMethod GetAntialiasingMethod() const { return mAntialiasingMethod; }
    void SetNumberOfSamples(int pCount);
    int GetNumberOfSamples();
    void SetSamplingType(ECameraSamplingType pType) { mSamplingType = pType; }
    ECameraSamplingType GetSamplingType() const { return mSamplingType; }
    void SetUseAccumulationBuffer(bool pValue);
    bool GetUseAccumulationBuffer();
    void SetUseDepthOfField(bool pValue);
    bool GetUseDepthOfField();
    void SetFocusDistanceSource(ECameraFocusDistanceSource pSource);
    ECameraFocusDistanceSource GetFocusDistanceSource();
    void SetSpecificDistance(double pDistance);
    double GetSpecificDistance();
    void SetFocusAngle(double pAngle);
    double GetFocusAngle();

private:
    typedef KFCurve* (KQoxTakeNode::*CurveGetter)();
    void SetDefaultChannel(const char* pName, CurveGetter pCurve, double pValue);
    double GetDefaultChannel(const char* pName, CurveGetter pCurve);

    KQoxCameraProperties* mProperties; // owned; ended through Destroy(0)
    KQoxVector4 mUpVector;
    KQoxVector4 mInterestPosition;
    KString mBackgroundMediaName;
    KString mBackgroundFileName;
    bool mShowInfoOnMoving;
    bool mDisplaySafeAreaOnRender;
    bool mShowAudio;
    KQoxColor mAudioColor;
    ECameraAntialiasingMethod mAntialiasingMethod;
    ECameraSamplingType mSamplingType;
};

} // namespace qoxsdk_600

#endif
