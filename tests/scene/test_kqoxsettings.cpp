// Value holders of a scene: thumbnails, scene and take descriptions, and the
// global light and time settings.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "base/ktime.h"
#include "scene/kqoxgloballightsettings.h"
#include "scene/kqoxglobaltimesettings.h"
#include "scene/kqoxsceneinfo.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxthumbnail.h"

using namespace qoxsdk_600;

TEST(KQoxThumbnailTest, ByteCountsFollowSizeAndFormat)
{
    struct Case
    {
        int format;
        int size;
        unsigned long bytes;
    };
    const Case cases[] = {{0, 64, 12288},  {1, 64, 16384}, {0, 128, 49152}, {1, 128, 65536},
                          {7, 128, 65536}, {0, 32, 0},     {1, 0, 0},       {0, -64, 0}};
    for (const Case& c : cases)
    {
        KQoxThumbnail thumbnail;
        thumbnail.SetDataFormat(c.format);
        thumbnail.SetSize(c.size);
        EXPECT_EQ(c.bytes, thumbnail.GetSizeInBytes()) << c.format << " " << c.size;
        EXPECT_EQ(c.bytes == 0, thumbnail.GetThumbnailImage() == nullptr);
    }
}

TEST(KQoxThumbnailTest, ImageCopiesStayInsideTheArray)
{
    KQoxThumbnail thumbnail;
    EXPECT_EQ(0, thumbnail.GetDataFormat());
    EXPECT_EQ(0, thumbnail.GetSize());
    EXPECT_EQ(nullptr, thumbnail.GetThumbnailImage());
    std::vector<unsigned char> pixels(65536);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<unsigned char>(i * 7);
    EXPECT_FALSE(thumbnail.SetThumbnailImage(pixels.data()));

    // Size set with three bytes per pixel, format widened afterwards: neither
    // the count nor the copy runs past the 12288 bytes allocated.
    thumbnail.SetSize(64);
    thumbnail.SetDataFormat(1);
    EXPECT_EQ(12288u, thumbnail.GetSizeInBytes());
    EXPECT_TRUE(thumbnail.SetThumbnailImage(pixels.data()));
    EXPECT_EQ(0, memcmp(pixels.data(), thumbnail.GetThumbnailImage(), 12288));

    // The same size again gives a fresh array of the new count.
    thumbnail.SetSize(64);
    EXPECT_TRUE(thumbnail.SetThumbnailImage(pixels.data()));
    EXPECT_EQ(0, memcmp(pixels.data(), thumbnail.GetThumbnailImage(), 16384));

    thumbnail.SetSize(32);
    EXPECT_EQ(nullptr, thumbnail.GetThumbnailImage());
    EXPECT_TRUE(thumbnail.SetThumbnailImage(pixels.data())); // copies nothing
}

TEST(KQoxSceneInfoTest, CopiesShareTheThumbnailAndClearForgetsIt)
{
    KQoxSdkManager manager;
    KQoxSceneInfo* info = manager.CreateKQoxSceneInfo();
    KQoxThumbnail* thumbnail = manager.CreateKQoxThumbnail();
    EXPECT_EQ(nullptr, info->GetSceneThumbnail());
    info->SetSceneThumbnail(thumbnail);
    info->mTitle = "Walk";
    KQoxSceneInfo copy;
    copy = *info;
    copy.mTitle = "Run";
    EXPECT_STREQ("Walk", info->mTitle.ToChars());
    EXPECT_EQ(thumbnail, copy.GetSceneThumbnail());
    info->Clear();
    EXPECT_EQ(nullptr, info->GetSceneThumbnail());
    EXPECT_TRUE(info->mTitle.IsEmpty());
    EXPECT_TRUE(manager.DestroyKQoxSceneInfo(info));
    EXPECT_EQ(1, manager.GetKQoxThumbnailCount()); // the thumbnail stays with the manager
}

TEST(KQoxGlobalLightSettingsTest, DefaultsAndClamps)
{
    KQoxGlobalLightSettings light;
    EXPECT_EQ(KQoxColor(0.4, 0.4, 0.4, 0.0), light.GetAmbientColor());
    EXPECT_EQ(KQoxColor(1.0, 1.0, 1.0, 0.0), light.GetFogColor());

    struct Case
    {
        void (KQoxGlobalLightSettings::*set)(double);
        double (KQoxGlobalLightSettings::*get)() const;
        double in;
        double out;
    };
    using L = KQoxGlobalLightSettings;
    const double dmax = std::numeric_limits<double>::max();
    const Case cases[] = {
        {&L::SetFogStart, &L::GetFogStart, 2000.0, 1000.0},
        {&L::SetFogStart, &L::GetFogStart, -5.0, 0.0},
        {&L::SetFogStart, &L::GetFogStart, 12.5, 12.5},
        {&L::SetFogEnd, &L::GetFogEnd, 0.1, 0.3},
        {&L::SetFogEnd, &L::GetFogEnd, dmax, dmax},
        {&L::SetShadowIntensity, &L::GetShadowIntensity, 500, 300},
        {&L::SetShadowIntensity, &L::GetShadowIntensity, -1, 0},
        {&L::SetShadowIntensity, &L::GetShadowIntensity, 150, 150},
    };
    for (const Case& c : cases)
    {
        KQoxGlobalLightSettings fresh;
        (fresh.*c.set)(c.in);
        EXPECT_EQ(c.out, (fresh.*c.get)()) << c.in;
    }
}

TEST(KQoxGlobalLightSettingsTest, ShadowPlanesCopyAndReset)
{
    KQoxGlobalLightSettings light;
    EXPECT_EQ(nullptr, light.GetShadowPlane(0));
    EXPECT_STREQ("Index out of range.", light.GetLastErrorString());
    KQoxGlobalLightSettings::KQoxShadowPlane plane;
    EXPECT_TRUE(plane.mEnable);
    EXPECT_EQ(1.0, plane.mNormal[1]);
    plane.mOrigin = KQoxVector4(1.0, 2.0, 3.0);
    plane.mEnable = false;
    light.AddShadowPlane(KQoxGlobalLightSettings::KQoxShadowPlane());
    light.AddShadowPlane(plane);
    light.SetFogEnable(true);
    KQoxGlobalLightSettings copy;
    copy = light;
    ASSERT_EQ(2, copy.GetShadowPlaneCount());
    EXPECT_FALSE(copy.GetShadowPlane(1)->mEnable);
    EXPECT_EQ(3.0, copy.GetShadowPlane(1)->mOrigin[2]);
    EXPECT_TRUE(copy.GetFogEnable());
    light.RestoreDefaultSettings();
    EXPECT_EQ(0, light.GetShadowPlaneCount());
    EXPECT_FALSE(light.GetFogEnable());
    EXPECT_EQ(2, copy.GetShadowPlaneCount());
}

// Assignment copies every setting but not the error state; a reset brings
// every setting back to its default.
TEST(KQoxGlobalLightSettingsTest, EverySettingCopiedAndRestored)
{
    KQoxGlobalLightSettings light;
    light.SetAmbientColor(KQoxColor(0.1, 0.2, 0.3, 0.5));
    light.SetFogEnable(true);
    light.SetFogColor(KQoxColor(0.6, 0.7, 0.8, 0.9));
    light.SetFogMode(KQoxGlobalLightSettings::eEXPONENTIAL);
    light.SetFogEnd(50.0);
    light.SetFogStart(20.0);
    light.SetFogDensity(0.5);
    light.SetShadowEnable(true);
    light.SetShadowIntensity(75.0);
    light.AddShadowPlane(KQoxGlobalLightSettings::KQoxShadowPlane());
    EXPECT_EQ(nullptr, light.GetShadowPlane(4));

    KQoxGlobalLightSettings copy;
    copy = light;
    EXPECT_EQ(-1, copy.GetLastErrorID());
    EXPECT_EQ(KQoxColor(0.1, 0.2, 0.3, 0.5), copy.GetAmbientColor());
    EXPECT_TRUE(copy.GetFogEnable());
    EXPECT_EQ(KQoxColor(0.6, 0.7, 0.8, 0.9), copy.GetFogColor());
    EXPECT_EQ(KQoxGlobalLightSettings::eEXPONENTIAL, copy.GetFogMode());
    EXPECT_EQ(20.0, copy.GetFogStart());
    EXPECT_EQ(50.0, copy.GetFogEnd());
    EXPECT_EQ(0.5, copy.GetFogDensity());
    EXPECT_TRUE(copy.GetShadowEnable());
    EXPECT_EQ(75.0, copy.GetShadowIntensity());
    EXPECT_EQ(1, copy.GetShadowPlaneCount());

    copy.RestoreDefaultSettings();
    EXPECT_EQ(KQoxColor(0.4, 0.4, 0.4, 0.0), copy.GetAmbientColor());
    EXPECT_FALSE(copy.GetFogEnable());
    EXPECT_EQ(KQoxColor(1.0, 1.0, 1.0, 0.0), copy.GetFogColor());
    EXPECT_EQ(KQoxGlobalLightSettings::eLINEAR, copy.GetFogMode());
    EXPECT_EQ(0.3, copy.GetFogStart());
    EXPECT_EQ(1000.0, copy.GetFogEnd());
    EXPECT_EQ(0.002, copy.GetFogDensity());
    EXPECT_FALSE(copy.GetShadowEnable());
    EXPECT_EQ(0.0, copy.GetShadowIntensity());
    EXPECT_EQ(0, copy.GetShadowPlaneCount());
    copy = copy; // self-assignment keeps everything
    EXPECT_EQ(1000.0, copy.GetFogEnd());
}

TEST(KQoxGlobalTimeSettingsTest, ModeAndProtocolFallBackToTheProgramWideValues)
{
    const KTime::ETimeMode savedMode = KTime::GetGlobalTimeMode();
    const KTime::ETimeProtocol savedProtocol = KTime::GetGlobalTimeProtocol();
    struct Case
    {
        int stored;
        int global;
        int answer;
    };
    const Case modes[] = {{0, 11, 11}, {0, 0, 6}, {3, 11, 3}};
    const Case protocols[] = {{2, 0, 0}, {2, 2, 1}, {0, 2, 0}};
    for (const Case& c : modes)
    {
        KTime::SetGlobalTimeMode(c.global);
        KQoxGlobalTimeSettings time;
        EXPECT_EQ(6, time.GetTimeMode());
        time.SetTimeMode(c.stored);
        EXPECT_EQ(c.answer, time.GetTimeMode()) << c.stored << " " << c.global;
    }
    for (const Case& c : protocols)
    {
        KTime::SetGlobalTimeProtocol(c.global);
        KQoxGlobalTimeSettings time;
        EXPECT_EQ(1, time.GetTimeProtocol());
        time.SetTimeProtocol(c.stored);
        EXPECT_EQ(c.answer, time.GetTimeProtocol()) << c.stored << " " << c.global;
    }
    KTime::SetGlobalTimeMode(savedMode);
    KTime::SetGlobalTimeProtocol(savedProtocol);
}

TEST(KQoxGlobalTimeSettingsTest, SnapModesAndMarkers)
{
    KQoxGlobalTimeSettings time;
    time.SetSnapOnFrameMode(3);
    EXPECT_TRUE(time.GetSnapOnFrame());
    EXPECT_FALSE(time.SetCurrentTimeMarker(0));
    EXPECT_STREQ("Index out of range.", time.GetLastErrorString());
    EXPECT_EQ(-1, time.GetCurrentTimeMarker());

    KQoxGlobalTimeSettings::KQoxTimeMarker marker;
    marker.mTime = KTIME_MINUS_INFINITE;
    time.AddTimeMarker(marker);
    marker.mName = "End";
    marker.mLoop = true;
    time.AddTimeMarker(marker);
    EXPECT_EQ(-1, time.GetCurrentTimeMarker()); // adding never moves it
    EXPECT_TRUE(time.SetCurrentTimeMarker(1));
    KQoxGlobalTimeSettings copy;
    copy = time;
    ASSERT_EQ(2, copy.GetTimeMarkerCount());
    EXPECT_EQ(1, copy.GetCurrentTimeMarker());
    EXPECT_TRUE(copy.GetTimeMarker(1)->mLoop);
    EXPECT_EQ(KTIME_MINUS_INFINITE.Get(), copy.GetTimeMarker(0)->mTime.Get());
    EXPECT_NE(time.GetTimeMarker(1), copy.GetTimeMarker(1));
    time.RestoreDefaultSettings();
    EXPECT_EQ(0, time.GetTimeMarkerCount());
    EXPECT_EQ(-1, time.GetCurrentTimeMarker());
}
