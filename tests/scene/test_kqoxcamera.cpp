// Cameras: the property set and its texts, formats, aspect and pixel ratio,
// film backs, angle of view and focal length, clipping planes, background
// placement, channel defaults and copies; and the camera switcher.

#include <cmath>
#include <limits>

#include "attribute_test_util.h"
#include "base/karray.h"
#include "object/kpropertydatatype.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxcameraproperties.h"
#include "scene/attributes/kqoxcameraswitcher.h"
#include "scene/attributes/kqoxtexture.h"

namespace attrtest {
namespace {

const char* const kCameraChannels =
    "FieldOfView|FieldOfViewX|FieldOfViewY|OpticalCenterX|OpticalCenterY|Roll|TurnTable|BackgroundColor (Color)";
const double kNaN = std::numeric_limits<double>::quiet_NaN();

double Degrees(double radians)
{
    return radians * 57.29577951308232;
}

TEST(CameraPropertiesTest, TableOrderTypesAndTexts)
{
    KQoxCameraProperties block;
    ASSERT_EQ(block.GetPropertyCount(), 65);
    const struct
    {
        int mIndex;
        const char* mName;
    } names[] = {{0, "Roll"},
                 {7, "TurnTable"},
                 {8, "DisplayTurnTableIcon"},
                 {9, "Motion Blur Intensity"},
                 {24, "ShowAzimut"},
                 {46, "BackgroundAlphaTreshold"},
                 {52, "2D Magnifier Zoom"},
                 {55, "CameraProjectionType"},
                 {64, "FrameSamplingCount"}};
    for (const auto& n : names)
        EXPECT_STREQ(block.GetProperty(n.mIndex)->GetPropertyName(), n.mName);
    int animatable = 0;
    for (int i = 0; i < block.GetPropertyCount(); ++i)
        animatable += block.GetProperty(i)->IsAnimatable() ? 1 : 0;
    EXPECT_EQ(animatable, 12);
    EXPECT_EQ(block.FindPropertyByName("FieldOfViewX")->GetPropertyDataType(), KDataTypeGet("FieldOfView"));
    EXPECT_EQ(block.FindPropertyByName("FilmFormatIndex")->GetPropertyInfo().mType, kPropertyTypeEnum);
    EXPECT_EQ(block.FindPropertyByName("FrameColor")->GetPropertyInfo().mType, kPropertyTypeColorRGB);

    // Before any camera reset every plain value is zero; the frame colour's
    // fourth component is 1 and the accessors leave it alone.
    EXPECT_EQ(block.FocalLengthGet(), 0.0);
    EXPECT_FALSE(block.ShowGridGet());
    EXPECT_EQ(block.FrameColorGet().w, 1.0);
    block.FrameColorSet(KgeRGBVector(0.1, 0.2, 0.3, 0.5));
    EXPECT_EQ(block.FrameColorGet().b, 0.3);
    EXPECT_EQ(block.FrameColorGet().w, 1.0);

    EXPECT_EQ(block.CameraFormatAsString(9), nullptr);
    EXPECT_EQ(block.CameraFormatAsString(11), nullptr);
    EXPECT_STREQ(block.CameraFormatAsString(10), "Full Screen");
    EXPECT_STREQ(block.ApertureModeAsString(0), "Horizontal & Vertical");
    EXPECT_STREQ(block.ViewFrustumBackPlaneModeAsString(0), "Disabled");
    EXPECT_STREQ(block.BackgroundModeAsString(2), "Background & Forground");
    EXPECT_STREQ(block.FilmFormatIndexAsString(11), "Imax");
    EXPECT_STREQ(block.ResolutionModeAsString(4), "Fixed Height Resolution");
    EXPECT_STREQ(block.SafeAreaDisplayStyleAsString(1), "Square Safe Area");
    EXPECT_STREQ(block.FocusSourceAsString(1), "Specific Distance");
    EXPECT_STREQ(block.BackPlaneDistanceModeAsString(1), "Relative to Camera");
    EXPECT_STREQ(block.CameraProjectionTypeAsString(1), "Orthographic");
    EXPECT_EQ(block.ResolutionModeAsString(-1), nullptr);
    EXPECT_EQ(block.FocusSourceAsString(2), nullptr);
    // The texts reach the property system.
    EXPECT_NE(block.FindPropertyByName("ApertureMode")->GetPropertyInfo().mToString, nullptr);
}

TEST(CameraTest, ResetDefaults)
{
    KQoxSdkManager manager;
    KQoxCamera* camera = manager.CreateKQoxCamera();
    EXPECT_EQ(camera->GetAttributeType(), KQoxNodeAttribute::eCAMERA);
    EXPECT_STREQ(camera->GetTypeName().ToChars(), "Camera");
    EXPECT_EQ(camera->GetFocalLength(), 35.0);
    EXPECT_EQ(camera->GetApertureMode(), KQoxCamera::eVERTICAL);
    EXPECT_EQ(camera->GetApertureFormat(), KQoxCamera::e35MM_TV_PROJECTION);
    EXPECT_EQ(camera->GetApertureWidth(), 0.816);
    EXPECT_EQ(camera->GetApertureHeight(), 0.612);
    EXPECT_EQ(camera->GetPropertyHandler()->FilmAspectRatioGet(), 0.816 / 0.612);
    EXPECT_EQ(camera->GetAngleOfView(), Degrees(2.0 * std::atan(25.4 * 0.612 / 35.0 * 0.5)));
    EXPECT_NEAR(camera->GetAngleOfView(), 25.04, 0.01);
    EXPECT_EQ(camera->GetNearPlane(), 10.0);
    EXPECT_EQ(camera->GetFarPlane(), 4000.0);
    EXPECT_EQ(camera->GetAspectWidth(), 320.0);
    EXPECT_EQ(camera->GetFormat(), KQoxCamera::eCUSTOM_FORMAT);
    EXPECT_EQ(camera->GetBackgroundPlacementOptions(), unsigned(KQoxCamera::eCENTER | KQoxCamera::eKEEP_RATIO));
    EXPECT_EQ(camera->GetPropertyHandler()->SafeAreaAspectRatioGet(), 1.33333333333333);
    EXPECT_EQ(camera->GetAntialiasingIntensity(), 0.77777);
    EXPECT_EQ(camera->GetNumberOfSamples(), 7);
    EXPECT_EQ(camera->GetSamplingType(), KQoxCamera::eSTOCHASTIC);
    EXPECT_EQ(camera->GetRenderOptionsUsageTime(), KQoxCamera::eOFFLINE);
    EXPECT_EQ(camera->GetFrameColor(), KQoxColor(0.3, 0.3, 0.3, 1.0));
    EXPECT_EQ(camera->GetAudioColor(), KQoxColor(0.0, 1.0, 0.0, 1.0));
    EXPECT_EQ(camera->GetUpVector()[1], 1.0);
    EXPECT_EQ(camera->GetDefaultFieldOfView(), 40.0);
    EXPECT_EQ(camera->GetBackgroundColor(), KQoxColor(0.0, 0.0, 0.0, 1.0));
    EXPECT_EQ(camera->GetBackgroundFileName(), nullptr);
    // Detached: no position.
    camera->SetPosition(KQoxVector4(1.0, 2.0, 3.0, 1.0));
    EXPECT_EQ(camera->GetPosition()[2], 0.0);
}

TEST(CameraTest, FormatsInEveryAspectMode)
{
    KQoxSdkManager manager;
    KQoxCamera* camera = manager.CreateKQoxCamera();
    const double ntsc = 1.3333333333 / (720.0 / 486.0);
    const struct
    {
        int mFormat;
        int mModeBefore;
        int mMode;
        double mW;
        double mH;
        double mRatio;
    } cases[] = {
        {1, 0, 2, 720.0, 486.0, ntsc},
        {1, 2, 2, 720.0, 486.0, ntsc},
        {1, 1, 1, 720.0 / 486.0 * ntsc, 1.0, ntsc},
        {1, 3, 3, 720.0, 486.0 / 720.0, ntsc},
        {1, 4, 4, 720.0 / 486.0, 486.0, ntsc},
        {3, 0, 2, 570.0, 486.0, 1.3333333333 / (570.0 / 486.0)}, // PAL kept at 486 lines
        {5, 0, 2, 1920.0, 1080.0, 1.7777777777 / (1920.0 / 1080.0)},
        {10, 0, 2, 1280.0, 1024.0, 1.3333333333 / 1.25},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.mFormat * 10 + c.mModeBefore);
        camera->Reset();
        camera->GetPropertyHandler()->ResolutionModeSet(static_cast<KQoxCamera::ECameraAspectRatioMode>(c.mModeBefore));
        camera->SetFormat(static_cast<KQoxCamera::ECameraFormat>(c.mFormat));
        EXPECT_EQ(camera->GetFormat(), c.mFormat);
        EXPECT_EQ(camera->GetAspectRatioMode(), c.mMode);
        EXPECT_DOUBLE_EQ(camera->GetAspectWidth(), c.mW);
        EXPECT_DOUBLE_EQ(camera->GetAspectHeight(), c.mH);
        EXPECT_DOUBLE_EQ(camera->GetPixelRatio(), c.mRatio);
    }
    EXPECT_NEAR(ntsc, 0.9, 1e-9);

    // No preset: custom, the aspect untouched.
    for (int format : {9, 0, 11, -3})
    {
        camera->SetFormat(KQoxCamera::eD1_PAL);
        camera->SetFormat(static_cast<KQoxCamera::ECameraFormat>(format));
        EXPECT_EQ(camera->GetFormat(), KQoxCamera::eCUSTOM_FORMAT);
        EXPECT_EQ(camera->GetAspectWidth(), 720.0);
    }

    // The pixel ratio: an unchanged value keeps the preset; new values clamp.
    camera->SetFormat(KQoxCamera::eNTSC);
    camera->SetPixelRatio(camera->GetPixelRatio());
    EXPECT_EQ(camera->GetFormat(), KQoxCamera::eNTSC);
    const double ratios[][2] = {{100.0, 20.0}, {0.0, 0.05}, {-1.0, 0.05}, {kNaN, 0.05}, {1.5, 1.5}};
    for (const auto& r : ratios)
    {
        camera->SetFormat(KQoxCamera::eNTSC);
        camera->SetPixelRatio(r[0]);
        EXPECT_EQ(camera->GetPixelRatio(), r[1]);
        EXPECT_EQ(camera->GetFormat(), KQoxCamera::eCUSTOM_FORMAT);
    }
    EXPECT_EQ(camera->ComputePixelRatio(0, 0, 2.0), 2.0);
    EXPECT_EQ(camera->ComputePixelRatio(4, 0, 2.0), 0.5);
}

TEST(CameraTest, AspectTermsByMode)
{
    KQoxSdkManager manager;
    KQoxCamera* camera = manager.CreateKQoxCamera();
    const struct
    {
        int mMode;
        double mWidth;
        double mHeight;
        double mW;
        double mH;
    } cases[] = {{0, -5.0, 0.0, -5.0, 0.0},     {1, 0.0, 500.0, 0.001, 1.0},    {2, 0.5, kNaN, 1.0, 1.0},
                 {3, 640.0, 0.0, 640.0, 0.001}, {4, kNaN, 480.0, 0.001, 480.0}, {9, 1.0, 2.0, 1920.0 / 1080.0, 1080.0}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.mMode);
        // HD converted back to the previous case's mode (an unknown mode
        // leaves that aspect as it is).
        camera->SetFormat(KQoxCamera::eHD);
        camera->SetAspect(static_cast<KQoxCamera::ECameraAspectRatioMode>(c.mMode), c.mWidth, c.mHeight);
        EXPECT_EQ(camera->GetAspectWidth(), c.mW);
        EXPECT_EQ(camera->GetAspectHeight(), c.mH);
        EXPECT_EQ(camera->GetAspectRatioMode(), c.mMode); // stored even outside 0..4
        EXPECT_EQ(camera->GetFormat(), KQoxCamera::eCUSTOM_FORMAT);
    }
}

TEST(CameraTest, PlanesFilmBackAndLens)
{
    KQoxSdkManager manager;
    KQoxCamera* camera = manager.CreateKQoxCamera();
    camera->SetNearPlane(5000.0);
    EXPECT_EQ(camera->GetFarPlane(), 5000.0);
    camera->SetFarPlane(0.0);
    EXPECT_EQ(camera->GetFarPlane(), 0.001);
    EXPECT_EQ(camera->GetNearPlane(), 0.001);
    camera->SetFarPlane(std::numeric_limits<double>::max());
    EXPECT_EQ(camera->GetFarPlane(), 600000.0);
    camera->SetNearPlane(-std::numeric_limits<double>::infinity());
    EXPECT_EQ(camera->GetNearPlane(), 0.001);
    camera->SetNearPlane(kNaN);
    EXPECT_EQ(camera->GetNearPlane(), 0.001);

    const double backs[11][3] = {{0.404, 0.295, 1.0}, {0.493, 0.292, 1.0}, {0.864, 0.630, 1.0}, {0.816, 0.612, 1.0},
                                 {0.980, 0.735, 1.0}, {0.825, 0.446, 1.0}, {0.864, 0.732, 2.0}, {2.066, 0.906, 1.0},
                                 {1.485, 0.991, 1.0}, {2.080, 1.480, 1.0}, {2.772, 2.072, 1.0}};
    for (int format = 1; format <= 11; ++format)
    {
        camera->SetApertureFormat(static_cast<KQoxCamera::ECameraApertureFormat>(format));
        EXPECT_EQ(camera->GetApertureFormat(), format);
        EXPECT_EQ(camera->GetApertureWidth(), backs[format - 1][0]);
        EXPECT_EQ(camera->GetApertureHeight(), backs[format - 1][1]);
        EXPECT_EQ(camera->GetSqueezeRatio(), backs[format - 1][2]);
        EXPECT_EQ(camera->GetPropertyHandler()->FilmAspectRatioGet(), backs[format - 1][0] / backs[format - 1][1]);
    }
    camera->SetApertureFormat(KQoxCamera::e35MM_TV_PROJECTION);

    // Film back: an unchanged value keeps the format; new values keep 0.0001.
    camera->SetApertureWidth(0.816);
    EXPECT_EQ(camera->GetApertureFormat(), KQoxCamera::e35MM_TV_PROJECTION);
    camera->SetApertureWidth(0.0);
    EXPECT_EQ(camera->GetApertureWidth(), 0.0001);
    EXPECT_EQ(camera->GetApertureFormat(), KQoxCamera::eCUSTOM_APERTURE_FORMAT);
    EXPECT_EQ(camera->GetPropertyHandler()->FilmAspectRatioGet(), 0.0001 / 0.612);
    camera->SetSqueezeRatio(kNaN);
    EXPECT_EQ(camera->GetSqueezeRatio(), 0.0001);
    camera->SetApertureFormat(static_cast<KQoxCamera::ECameraApertureFormat>(12));
    EXPECT_EQ(camera->GetApertureWidth(), 0.0001); // sizes kept

    // Anamorphic: twice the width in modes 0 and 1, the height alone in mode 2.
    camera->SetApertureFormat(KQoxCamera::e35MM_ANAMORPHIC);
    EXPECT_EQ(camera->GetSqueezeRatio(), 2.0);
    camera->SetFocalLength(50.0);
    camera->SetApertureMode(KQoxCamera::eHORIZONTAL);
    EXPECT_DOUBLE_EQ(camera->GetAngleOfView(), Degrees(2.0 * std::atan(25.4 * 0.864 * 2.0 / 50.0 * 0.5)));
    camera->SetApertureMode(KQoxCamera::eVERTICAL);
    EXPECT_DOUBLE_EQ(camera->GetAngleOfView(), Degrees(2.0 * std::atan(25.4 * 0.732 / 50.0 * 0.5)));

    // The angle is clamped to [1, 179] both ways, and the two formulas agree.
    const double angles[][2] = {{0.0, 1.0}, {200.0, 179.0}, {kNaN, 1.0}, {60.0, 60.0}};
    for (const auto& a : angles)
    {
        camera->SetAngleOfView(a[0]);
        EXPECT_DOUBLE_EQ(camera->GetFocalLength(), 25.4 * 0.732 / std::tan(a[1] * 0.017453292519943295 * 0.5) * 0.5);
        EXPECT_NEAR(camera->GetAngleOfView(), a[1], 1e-9);
    }
    camera->SetFocalLength(0.0);
    EXPECT_EQ(camera->GetAngleOfView(), 179.0);
    camera->SetFocalLength(-10.0);
    EXPECT_EQ(camera->GetAngleOfView(), 1.0);
    EXPECT_EQ(camera->GetFocalLength(), -10.0); // stored unclamped
}

TEST(CameraTest, PlacementRenderOptionsAndFrameColour)
{
    KQoxSdkManager manager;
    KQoxCamera* camera = manager.CreateKQoxCamera();
    camera->SetBackgroundPlacementOptions(0x5);
    KQoxCameraProperties* p = camera->GetPropertyHandler();
    EXPECT_TRUE(p->FitImageGet() && p->KeepRatioGet());
    EXPECT_FALSE(p->CenterGet() || p->CropGet());
    EXPECT_EQ(camera->GetBackgroundPlacementOptions(), 5u);
    camera->SetBackgroundPlacementOptions(0xFFFFFFF0u);
    EXPECT_EQ(camera->GetBackgroundPlacementOptions(), 0u);
    camera->SetBackgroundPlacementOptions(0xFu);
    EXPECT_EQ(camera->GetBackgroundPlacementOptions(), 15u);

    camera->SetRenderOptionsUsageTime(KQoxCamera::eREALTIME);
    EXPECT_TRUE(p->UseRealTimeDOFAndAAGet());
    camera->SetRenderOptionsUsageTime(static_cast<KQoxCamera::ECameraRenderOptionsUsageTime>(2));
    EXPECT_EQ(camera->GetRenderOptionsUsageTime(), KQoxCamera::eREALTIME);

    camera->SetFrameColor(KQoxColor(0.1, 0.2, 0.3, 0.4));
    EXPECT_EQ(camera->GetFrameColor(), KQoxColor(0.1, 0.2, 0.3, 0.4));
    camera->SetAudioColor(KQoxColor(2.0, -1.0, 0.5, 1.0)); // clamped by the colour
    EXPECT_EQ(camera->GetAudioColor(), KQoxColor(1.0, 0.0, 0.5, 1.0));
    camera->SetShowAxis(false);
    EXPECT_FALSE(p->ShowAzimutGet());
    camera->SetForegroundMatteThreshold(0.25);
    EXPECT_EQ(p->BackgroundAlphaTresholdGet(), 0.25);
    camera->SetBackgroundFileName("back.tif");
    EXPECT_STREQ(camera->GetBackgroundFileName(), "back.tif");
    camera->SetBackgroundMediaName("");
    EXPECT_EQ(camera->GetBackgroundMediaName(), nullptr);
}

TEST_F(AttributeTest, CameraChannelsSeedingDefaultsAndDetach)
{
    const int callbacks = mNode->GetDefaultTakeCallbackCount();
    KQoxCamera* camera = mManager->CreateKQoxCamera();
    camera->SetDefaultRoll(15.25);
    camera->SetDefaultBackgroundColor(KQoxColor(0.0, 0.5, 1.0));
    mNode->SetNodeAttribute(camera);
    ExpectChannelsEverywhere(NodeChannels(kCameraChannels));
    EXPECT_EQ(mNode->GetDefaultTakeCallbackCount(), callbacks + 10);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(Take(i)->GetCameraRoll()->GetValue(), 15.25f);
        EXPECT_EQ(Take(i)->GetCameraFieldOfView()->GetValue(), 40.0f);
        EXPECT_EQ(Take(i)->GetBackgroundColorG()->GetValue(), 0.5f);
    }
    EXPECT_EQ(camera->GetRoll(), 15.25);
    EXPECT_EQ(camera->GetDefaultBackgroundColor(), KQoxColor(0.0, 0.5, 1.0));

    camera->SetDefaultFieldOfView(30.1);
    EXPECT_EQ(camera->GetDefaultFieldOfView(), static_cast<double>(30.1f));
    EXPECT_NE(camera->GetDefaultFieldOfView(), 30.1);
    // The curve is the default; the roll getter reads the property.
    DefaultTake()->GetCameraTurnTable()->SetValue(3.0f);
    EXPECT_EQ(camera->GetTurnTable(), 3.0);
    EXPECT_EQ(camera->GetDefaultTurnTable(), 3.0);

    // Position: the node's default translation.
    camera->SetPosition(KQoxVector4(1.0, 2.0, 3.0, 1.0));
    KQoxVector4 t;
    mNode->GetDefaultT(t);
    EXPECT_EQ(t[2], 3.0);
    EXPECT_EQ(camera->GetPosition()[1], 2.0);

    // A channel removed by hand: the getters fall back to the property and
    // the setters only set it.
    KFCurveNode* root = DefaultTake()->GetKFCurveNode();
    root->Delete(root->Find("OpticalCenterX"));
    root->Delete(root->Find("BackgroundColor (Color)"));
    camera->SetDefaultOpticalCenterX(0.75);
    EXPECT_EQ(camera->GetDefaultOpticalCenterX(), 0.75);
    camera->SetDefaultBackgroundColor(KQoxColor(1.0, 0.0, 0.0));
    EXPECT_EQ(camera->GetDefaultBackgroundColor(), KQoxColor(1.0, 0.0, 0.0));

    mNode->SetNodeAttribute(nullptr);
    ExpectChannelsEverywhere(NodeChannels(""));
    EXPECT_EQ(mNode->GetDefaultTakeCallbackCount(), callbacks);
    EXPECT_EQ(camera->GetDefaultFieldOfView(), static_cast<double>(30.1f));
}

TEST_F(AttributeTest, CameraBackgroundTextureAndCopy)
{
    KQoxCamera* camera = mManager->CreateKQoxCamera();
    KQoxTexture* texture = mManager->CreateKQoxTexture("Back");
    camera->SetBackgroundTexture(texture); // no node: nothing
    camera->SetBackgroundTexture(nullptr);
    mNode->SetNodeAttribute(camera);
    camera->SetBackgroundTexture(texture);
    camera->SetBackgroundTexture(texture);
    EXPECT_EQ(mNode->GetPropertyHandler()->GetSrcCount(), 1);
    EXPECT_TRUE(mNode->GetPropertyHandler()->IsConnectedSrc(texture->GetPropertyHandler()));

    camera->SetNearPlane(2.0);
    camera->SetApertureFormat(KQoxCamera::eIMAX);
    camera->SetDefaultFieldOfViewX(9.0);
    camera->SetPosition(KQoxVector4(7.0, 0.0, 0.0, 1.0));
    camera->SetDefaultBackgroundColor(KQoxColor(0.25, 0.25, 0.25));
    camera->SetAntialiasingMethod(KQoxCamera::eHARDWARE_ANTIALIASING);
    KQoxCamera* copy = mManager->CreateKQoxCamera();
    *copy = *camera;
    EXPECT_EQ(copy->GetNearPlane(), 2.0);
    EXPECT_EQ(copy->GetApertureFormat(), KQoxCamera::eIMAX);
    EXPECT_EQ(copy->GetApertureWidth(), 2.772);
    EXPECT_EQ(copy->GetAntialiasingMethod(), KQoxCamera::eHARDWARE_ANTIALIASING);
    EXPECT_EQ(copy->GetBackgroundColor(), KQoxColor(0.25, 0.25, 0.25));
    EXPECT_EQ(copy->GetDefaultFieldOfViewX(), 1.0); // not copied
    EXPECT_EQ(copy->GetPosition()[0], 0.0);         // detached copy: no position
}

// --------------------------------------------------------------------------
// Camera switcher

TEST_F(AttributeTest, SwitcherNamesIndexAndChannel)
{
    KQoxCameraSwitcher* switcher = mManager->CreateKQoxCameraSwitcher();
    EXPECT_EQ(switcher->GetAttributeType(), KQoxNodeAttribute::eCAMERA_SWITCHER);
    EXPECT_EQ(switcher->GetCameraNameCount(), 0);
    EXPECT_STREQ(switcher->GetTypeName().ToChars(), "");
    EXPECT_EQ(switcher->GetTypeFlags().GetCount(), 0);
    EXPECT_EQ(switcher->GetDefaultCameraIndex(), 0); // detached
    switcher->SetDefaultCameraIndex(4);              // detached: nothing

    switcher->AddCameraName("A");
    switcher->AddCameraName("B");
    EXPECT_STREQ(switcher->GetCameraName(1), "B");
    EXPECT_EQ(switcher->GetCameraName(2), nullptr);
    EXPECT_EQ(switcher->GetCameraName(0xFFFFFFFFu), nullptr);
    EXPECT_TRUE(switcher->IsValidCameraIndex(1));
    EXPECT_FALSE(switcher->IsValidCameraIndex(2));
    EXPECT_FALSE(switcher->IsValidCameraIndex(-1));

    // Assignment replaces the list, so reading a scene again does not pile up.
    KQoxCameraSwitcher* other = mManager->CreateKQoxCameraSwitcher();
    other->AddCameraName("P");
    other->AddCameraName("Q");
    *switcher = *other;
    *switcher = *other;
    ASSERT_EQ(switcher->GetCameraNameCount(), 2);
    EXPECT_STREQ(switcher->GetCameraName(0), "P");

    mNode->SetNodeAttribute(switcher);
    ExpectChannelsEverywhere(NodeChannels("Camera Index"));
    EXPECT_EQ(switcher->GetDefaultCameraIndex(), 1);
    switcher->SetDefaultCameraIndex(3);
    EXPECT_EQ(switcher->GetDefaultCameraIndex(), 3);
    const struct
    {
        float mValue;
        int mIndex;
    } values[] = {{2.9f, 2}, {-2.9f, -2}, {std::numeric_limits<float>::quiet_NaN(), 0},
                  {3e9f, 0}, {-3e9f, 0},  {std::numeric_limits<float>::denorm_min(), 0}};
    for (const auto& v : values)
    {
        DefaultTake()->GetCameraIndex()->SetValue(v.mValue);
        EXPECT_EQ(switcher->GetDefaultCameraIndex(), v.mIndex) << v.mValue;
    }
    KFCurveNode* root = DefaultTake()->GetKFCurveNode();
    root->Delete(root->Find("Camera Index"));
    EXPECT_EQ(switcher->GetDefaultCameraIndex(), 0);
    switcher->SetDefaultCameraIndex(1);
    mNode->SetNodeAttribute(nullptr);
    for (int i = 1; i < 3; ++i)
        EXPECT_EQ(Channels(Take(i)), NodeChannels(""));
}

TEST(SwitcherTest, ManyNamesCopiedAndDestroyed)
{
    KQoxSdkManager manager;
    KQoxCameraSwitcher* switcher = manager.CreateKQoxCameraSwitcher();
    for (int i = 0; i < 100000; ++i)
        switcher->AddCameraName(i % 2 ? "Camera" : nullptr);
    KQoxCameraSwitcher* copy = manager.CreateKQoxCameraSwitcher();
    *copy = *switcher;
    EXPECT_TRUE(manager.DestroyKQoxNodeAttribute(switcher));
    ASSERT_EQ(copy->GetCameraNameCount(), 100000);
    EXPECT_STREQ(copy->GetCameraName(99999), "Camera");
    EXPECT_STREQ(copy->GetCameraName(0), "");
}

} // namespace
} // namespace attrtest
