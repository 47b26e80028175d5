// Native reader: scene information, thumbnails and the global light and
// time settings.

#include "fileio/kqoxnative_private.h"
#include "fileio/kqoxreaderqox_private.h"
#include "scene/kqoxsceneinfo.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxthumbnail.h"

namespace qoxsdk_600 {

using namespace qoxnative;

KQoxThumbnail* KQoxRead6::Thumbnail()
{
    if (!mFile.FieldReadBegin(kThumbnail))
        return nullptr;
    KQoxThumbnail* thumbnail = nullptr;
    if (mFile.FieldReadBlockBegin())
    {
        int format = mFile.FieldReadI(kThumbnailFormat, KQoxThumbnail::eRGB_24);
        int size = mFile.FieldReadI(kThumbnailSize, KQoxThumbnail::eNOT_SET);
        if ((format == KQoxThumbnail::eRGB_24 || format == KQoxThumbnail::eRGBA_32) &&
            (size == KQoxThumbnail::e64x64 || size == KQoxThumbnail::e128x128) && mFile.FieldReadBegin(kThumbnailImage))
        {
            thumbnail = mScene.mManager.CreateKQoxThumbnail();
            // The format before the size: the size allocates for the format.
            thumbnail->SetDataFormat(format);
            thumbnail->SetSize(size);
            // The image must be exactly the size's byte count.
            long long count = mFile.FieldReadArrayCount();
            if (count != static_cast<long long>(thumbnail->GetSizeInBytes()) ||
                !mFile.FieldReadArrayB(thumbnail->GetThumbnailImage(), thumbnail->GetSizeInBytes()))
            {
                mScene.mManager.DestroyKQoxThumbnail(thumbnail);
                thumbnail = nullptr;
                mCorrupted = true;
            }
            mFile.FieldReadEnd();
        }
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
    return thumbnail;
}

void KQoxRead6::ReadSceneInfo()
{
    if (!mFile.FieldReadBegin(kSceneInfo))
        return;
    if (mFile.FieldReadBlockBegin())
    {
        if (!mScene.mSceneInfo)
            mScene.mSceneInfo = mMadeSceneInfo = mScene.mManager.CreateKQoxSceneInfo();
        KQoxSceneInfo* info = mScene.mSceneInfo;
        info->mTitle = mFile.FieldReadC(kTitle, "");
        info->mSubject = mFile.FieldReadC(kSubject, "");
        info->mAuthor = mFile.FieldReadC(kAuthor, "");
        info->mKeywords = mFile.FieldReadC(kKeywords, "");
        info->mRevision = mFile.FieldReadC(kRevision, "");
        info->mComment = mFile.FieldReadC(kComment, "");
        if (KQoxThumbnail* thumbnail = Thumbnail())
        {
            if (info->GetSceneThumbnail())
                mScene.mManager.DestroyKQoxThumbnail(info->GetSceneThumbnail());
            info->SetSceneThumbnail(thumbnail);
        }
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
}

void KQoxRead6::ReadGlobalSettings()
{
    if (!mFile.FieldReadBegin(kGlobalSettings))
        return;
    if (mFile.FieldReadBlockBegin())
    {
        KQoxGlobalLightSettings& light = mScene.mLightSettings;
        KQoxGlobalTimeSettings& time = mScene.mTimeSettings;
        if (mFile.FieldReadBegin(kAmbientColor))
        {
            double r = mFile.FieldReadD(), g = mFile.FieldReadD(), b = mFile.FieldReadD(), a = mFile.FieldReadD();
            light.SetAmbientColor(KQoxColor(r, g, b, a));
            mFile.FieldReadEnd();
        }
        if (mFile.FieldReadBegin(kFog))
        {
            light.SetFogEnable(mFile.FieldReadI() != 0);
            light.SetFogMode(mFile.FieldReadI());
            light.SetFogDensity(mFile.FieldReadD());
            light.SetFogStart(mFile.FieldReadD());
            light.SetFogEnd(mFile.FieldReadD());
            double r = mFile.FieldReadD(), g = mFile.FieldReadD(), b = mFile.FieldReadD(), a = mFile.FieldReadD();
            light.SetFogColor(KQoxColor(r, g, b, a));
            mFile.FieldReadEnd();
        }
        if (mFile.FieldReadBegin(kShadow))
        {
            light.SetShadowEnable(mFile.FieldReadI() != 0);
            light.SetShadowIntensity(mFile.FieldReadD());
            mFile.FieldReadEnd();
        }
        light.RemoveAllShadowPlanes();
        while (Ok() && mFile.FieldReadBegin(kShadowPlane))
        {
            KQoxGlobalLightSettings::KQoxShadowPlane plane;
            plane.mEnable = mFile.FieldReadI() != 0;
            for (int k = 0; k < 4; ++k)
                plane.mOrigin[k] = mFile.FieldReadD();
            for (int k = 0; k < 4; ++k)
                plane.mNormal[k] = mFile.FieldReadD();
            light.AddShadowPlane(plane);
            mFile.FieldReadEnd();
        }
        time.SetTimeMode(static_cast<KTime::ETimeMode>(mFile.FieldReadI(kTimeMode, time.GetTimeMode())));
        time.SetTimeProtocol(
            static_cast<KTime::ETimeProtocol>(mFile.FieldReadI(kTimeProtocol, time.GetTimeProtocol())));
        time.SetSnapOnFrameMode(mFile.FieldReadI(kSnapOnFrame, time.GetSnapOnFrameMode()));
        time.RemoveAllTimeMarkers();
        while (Ok() && mFile.FieldReadBegin(kTimeMarker))
        {
            KQoxGlobalTimeSettings::KQoxTimeMarker marker;
            marker.mName = mFile.FieldReadC();
            marker.mTime = mFile.FieldReadT();
            marker.mLoop = mFile.FieldReadI() != 0;
            time.AddTimeMarker(marker);
            mFile.FieldReadEnd();
        }
        time.SetCurrentTimeMarker(mFile.FieldReadI(kCurrentTimeMarker, -1));
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
}

} // namespace qoxsdk_600
