// Version-6 writer: scene information and the global light and time settings.

#include "fileio/kqoxnative_private.h"
#include "fileio/writers/kqoxwriterqox6_private.h"
#include "scene/kqoxsceneinfo.h"

namespace qoxsdk_600 {

using namespace qoxnative;

void KQoxWrite6::WriteSceneInfo()
{
    KQoxSceneInfo* info = mScene.mSceneInfo;
    if (!info)
        return;
    mFile.FieldWriteBegin(kSceneInfo);
    mFile.FieldWriteC("SceneInfo::GlobalInfo");
    mFile.FieldWriteBlockBegin();
    Int(kVersion, kSceneInfoVersion);
    Text(kTitle, info->mTitle.ToChars());
    Text(kSubject, info->mSubject.ToChars());
    Text(kAuthor, info->mAuthor.ToChars());
    Text(kKeywords, info->mKeywords.ToChars());
    Text(kRevision, info->mRevision.ToChars());
    Text(kComment, info->mComment.ToChars());
    Thumbnail(info->GetSceneThumbnail());
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

void KQoxWrite6::WriteGlobalSettings()
{
    KQoxGlobalLightSettings& light = mScene.mLightSettings;
    KQoxGlobalTimeSettings& time = mScene.mTimeSettings;
    mFile.FieldWriteBegin(kGlobalSettings);
    mFile.FieldWriteC("");
    mFile.FieldWriteBlockBegin();
    Int(kVersion, kGlobalSettingsVersion);
    KQoxColor ambient = light.GetAmbientColor();
    const double ambientValues[4] = {ambient.mRed, ambient.mGreen, ambient.mBlue, ambient.mAlpha};
    Doubles(kAmbientColor, ambientValues, 4);
    KQoxColor fog = light.GetFogColor();
    mFile.FieldWriteBegin(kFog);
    mFile.FieldWriteI(light.GetFogEnable() ? 1 : 0);
    mFile.FieldWriteI(light.GetFogMode());
    mFile.FieldWriteD(light.GetFogDensity());
    mFile.FieldWriteD(light.GetFogStart());
    mFile.FieldWriteD(light.GetFogEnd());
    for (double v : {fog.mRed, fog.mGreen, fog.mBlue, fog.mAlpha})
        mFile.FieldWriteD(v);
    mFile.FieldWriteEnd();
    mFile.FieldWriteBegin(kShadow);
    mFile.FieldWriteI(light.GetShadowEnable() ? 1 : 0);
    mFile.FieldWriteD(light.GetShadowIntensity());
    mFile.FieldWriteEnd();
    for (int i = 0; i < light.GetShadowPlaneCount(); ++i)
    {
        KQoxGlobalLightSettings::KQoxShadowPlane* plane = light.GetShadowPlane(i);
        mFile.FieldWriteBegin(kShadowPlane);
        mFile.FieldWriteI(plane->mEnable ? 1 : 0);
        for (int k = 0; k < 4; ++k)
            mFile.FieldWriteD(plane->mOrigin[k]);
        for (int k = 0; k < 4; ++k)
            mFile.FieldWriteD(plane->mNormal[k]);
        mFile.FieldWriteEnd();
    }
    Int(kTimeMode, time.GetTimeMode());
    Int(kTimeProtocol, time.GetTimeProtocol());
    Int(kSnapOnFrame, time.GetSnapOnFrameMode());
    for (int i = 0; i < time.GetTimeMarkerCount(); ++i)
    {
        KQoxGlobalTimeSettings::KQoxTimeMarker* marker = time.GetTimeMarker(i);
        mFile.FieldWriteBegin(kTimeMarker);
        mFile.FieldWriteC(marker->mName.ToChars());
        mFile.FieldWriteT(marker->mTime);
        mFile.FieldWriteI(marker->mLoop ? 1 : 0);
        mFile.FieldWriteEnd();
    }
    Int(kCurrentTimeMarker, time.GetCurrentTimeMarker());
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

} // namespace qoxsdk_600
