#include "fileio_test_util.h"

#include <cfloat>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kproperty.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodelimits.h"
#include "scene/kqoxsceneinfo.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxthumbnail.h"
#include "scene/kqoxuserproperty.h"

using namespace qoxsdk_600;

namespace fileiotest {

namespace {

std::string Number(double v)
{
    char text[40];
    std::snprintf(text, sizeof(text), "%.17g", v);
    return text;
}

// skip: a property left out (a clip's media path: media are extracted anew).
void ListProperties(std::ostream& out, KObject* object, const char* skip = "")
{
    if (!object)
        return;
    for (int i = 0; i < object->GetPropertyCount(); ++i)
    {
        KProperty* p = object->GetProperty(i);
        if (p->GetPropertyFlag(16) || std::strcmp(p->GetPropertyName(), skip) == 0)
            continue;
        out << "  prop " << p->GetPropertyName() << " " << p->GetPropertyTypeName() << " = ";
        switch (p->GetPropertyType())
        {
        case kPropertyTypeVector3D:
        case kPropertyTypeVector4D:
        case kPropertyTypeColorRGB:
        case kPropertyTypeColorRGBA:
        {
            double v[4] = {0, 0, 0, 0};
            p->GetData(v, 0, nullptr, nullptr);
            out << Number(v[0]) << "," << Number(v[1]) << "," << Number(v[2]) << "," << Number(v[3]);
            break;
        }
        case kPropertyTypeInt:
        case kPropertyTypeEnum: out << p->AsInteger(); break;
        case kPropertyTypeBool:
        {
            bool b = false;
            p->GetData(&b, 0, nullptr, nullptr);
            out << b;
            break;
        }
        case kPropertyTypeFloat:
        case kPropertyTypeDouble: out << Number(p->AsDouble()); break;
        case kPropertyTypeTime:
        {
            KTime t;
            p->GetData(&t, 0, nullptr, nullptr);
            out << t.Get();
            break;
        }
        case kPropertyTypeCharPtr:
        case kPropertyTypeString:
        case kPropertyTypeStringList: out << p->AsString().ToChars(); break;
        default: out << "-"; break;
        }
        out << "\n";
    }
}

void ListCurveNode(std::ostream& out, KFCurveNode* node, int depth)
{
    out << std::string(static_cast<size_t>(depth) * 2, ' ') << "channel " << node->GetName();
    if (KFCurve* curve = node->FCurveGet())
    {
        out << " default " << Number(curve->GetValue()) << " extrap " << curve->GetPreExtrapolation() << "/"
            << curve->GetPostExtrapolation() << " keys " << curve->KeyGetCount();
        for (int k = 0; k < curve->KeyGetCount(); ++k)
        {
            KFCurveKey key = curve->KeyGet(k);
            out << " [" << key.GetTime().Get() << " " << Number(key.GetValue()) << " f" << key.GetFlags();
            for (int slot = 0; slot < 4; ++slot)
                out << " " << Number(key.GetDataFloat(static_cast<EKFCurveDataIndex>(slot)));
            out << "]";
        }
    }
    out << "\n";
    if (KFCurveNode* warp = node->TimeWarpGet())
        ListCurveNode(out, warp, depth + 2);
    for (int i = 0; i < node->GetCount(); ++i)
        ListCurveNode(out, node->Get(i), depth + 1);
}

void ListTakes(std::ostream& out, KQoxTakeNodeContainer& object)
{
    for (int t = 0; t < object.GetTakeNodeCount(); ++t)
    {
        KQoxTakeNode* take = object.GetTakeNode(t);
        out << "  take " << take->GetName() << "\n";
        if (KFCurveNode* root = take->GetKFCurveNode())
            for (int i = 0; i < root->GetCount(); ++i)
                ListCurveNode(out, root->Get(i), 2);
    }
}

void ListUserProperties(std::ostream& out, KQoxObject& object)
{
    for (int i = 0; i < object.GetPropertyCount(); ++i)
    {
        KQoxUserProperty* p = object.GetProperty(i);
        out << "  user " << p->GetName().ToChars() << " " << p->GetPropertyType() << " label "
            << p->GetLabel(false).ToChars() << " limits " << Number(p->GetMinLimit()) << " " << Number(p->GetMaxLimit())
            << " anim " << p->GetFlag(KQoxUserProperty::eANIMATABLE) << "\n";
    }
}

void ListThumbnail(std::ostream& out, KQoxThumbnail* thumbnail)
{
    if (!thumbnail)
        return;
    unsigned long sum = 0;
    for (unsigned long i = 0; i < thumbnail->GetSizeInBytes(); ++i)
        sum = sum * 31 + thumbnail->GetThumbnailImage()[i];
    out << "  thumbnail " << thumbnail->GetDataFormat() << " " << thumbnail->GetSize() << " " << sum << "\n";
}

KQoxThumbnail* MakeThumbnail(KQoxSdkManager& manager, int seed)
{
    KQoxThumbnail* thumbnail = manager.CreateKQoxThumbnail();
    thumbnail->SetDataFormat(KQoxThumbnail::eRGBA_32);
    thumbnail->SetSize(KQoxThumbnail::e64x64);
    std::string pixels(thumbnail->GetSizeInBytes(), '\0');
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<char>(i * 13 + static_cast<size_t>(seed));
    thumbnail->SetThumbnailImage(reinterpret_cast<const unsigned char*>(pixels.data()));
    return thumbnail;
}

void Animate(KQoxTakeNodeContainer& object, const char* take, double scale)
{
    KQoxTakeNode* node = object.CreateTakeNode(take);
    if (!node)
        return;
    KFCurve* curve = node->GetTranslationX();
    if (!curve)
        curve = node->GetTextureTranslationX();
    if (!curve)
        return;
    curve->KeyModifyBegin();
    for (int k = 0; k < 5; ++k)
    {
        int index = curve->KeyAdd(KTime(static_cast<long long>(k) * 1539538600LL));
        curve->KeySet(index, KTime(static_cast<long long>(k) * 1539538600LL), static_cast<float>(k * scale),
                      k % 2 ? KFCURVE_INTERPOLATION_CONSTANT : KFCURVE_INTERPOLATION_CUBIC,
                      k % 2 ? 0u : static_cast<unsigned int>(KFCURVE_TANGEANT_USER), k % 2 ? 0.0f : 0.5f * k,
                      k % 2 ? 0.0f : -0.25f * k);
    }
    curve->KeyModifyEnd();
    // The first take of every object plays through a time warp of its own.
    if (scale > 0)
    {
        KFCurveNode* warp = KFCurveNodeCreate("Warp");
        KFCurve* timing = KFCurveCreate();
        timing->KeyModifyBegin();
        timing->KeyAppendFast(KTime(0), 0.0f);
        timing->KeyAppendFast(KTime(46186158000LL), static_cast<float>(scale));
        timing->KeyModifyEnd();
        warp->FCurveSet(timing);
        node->GetKFCurveNode()->Get(0)->TimeWarpSet(warp);
    }
}

} // namespace

void BuildScene(KQoxFileScene& scene, const std::string& mediaFile)
{
    KQoxSdkManager& manager = scene.mManager;
    scene.mRoot = manager.CreateKQoxNode("Scene");
    KQoxNode* parent = scene.mRoot;
    const char* names[] = {"Hips", "Spine", "Head"};
    for (int i = 0; i < 3; ++i)
    {
        KQoxNode* node = manager.CreateKQoxNode(names[i]);
        parent->AddChild(node);
        node->SetDefaultT(KQoxVector4(i + 0.5, -DBL_MAX, 1e-310));
        node->SetDefaultR(KQoxVector4(10.0 * i, 20, 30));
        node->SetDefaultS(KQoxVector4(1, 2, 3));
        node->SetRotationPivot(eSOURCE_SET, KQoxVector4(1, 2, 3));
        node->SetPreRotation(eSOURCE_SET, KQoxVector4(0, 90, 0));
        node->GetLimits().SetTranslationLimitActive(i == 1);
        node->SetShadingMode(static_cast<KQoxNode::EShadingMode>(i)); // 0 writes no field
        node->SetCullingType(i);
        node->SetMultiLayer(i == 2);
        if (i == 1)
            node->SetPivotState(eSOURCE_SET, ePIVOT_STATE_REFERENCE);
        const char* types[] = {"Bool", "Real", "Color", "Integer", "Vector"};
        KQoxUserProperty* user = manager.CreateKQoxUserProperty(
            (std::string("Custom") + names[i]).c_str(), types[i + 1], (std::string("Label ") + names[i]).c_str());
        user->ModifyFlag(KQoxUserProperty::eANIMATABLE, i == 0);
        user->SetLimits(-5, 5);
        node->AddProperty(user);
        Animate(*node, "Walk", i + 1);
        Animate(*node, "Run", -(i + 1.5));
        parent = node;
    }
    // A second branch under the root.
    KQoxNode* side = manager.CreateKQoxNode("Side");
    scene.mRoot->AddChild(side);
    Animate(*side, "Walk", 0.25);

    KQoxTexture* texture = manager.CreateKQoxTexture("Skin");
    texture->SetFileName("/textures/skin.png");
    texture->SetRelativeFileName("skin.png");
    texture->SetMediaName("Video::SkinClip");
    texture->SetCropping(1, 2, 3, 4);
    texture->SetUVTranslation(KQoxVector2(0.25, -0.5));
    texture->SetUVScaling(KQoxVector2(2, 3));
    Animate(*texture, "Walk", 0.5);
    scene.mTextures.push_back(texture);

    KQoxVideo* video = manager.CreateKQoxVideo("SkinClip");
    video->SetFileName(mediaFile.c_str());
    video->SetRelativeFileName("skin.raw");
    video->SetOffset(KTime(123456789));
    scene.mVideos.push_back(video);

    scene.mSceneInfo = manager.CreateKQoxSceneInfo();
    scene.mSceneInfo->mTitle = "Title \"quoted\"";
    scene.mSceneInfo->mAuthor = "Author\nTwo lines";
    scene.mSceneInfo->mComment = "";
    scene.mSceneInfo->SetSceneThumbnail(MakeThumbnail(manager, 1));

    scene.mLightSettings.SetAmbientColor(KQoxColor(0.1, 0.2, 0.3, 1));
    scene.mLightSettings.SetFogEnable(true);
    scene.mLightSettings.SetFogDensity(0.5);
    KQoxGlobalLightSettings::KQoxShadowPlane plane;
    plane.mEnable = true;
    plane.mOrigin = KQoxVector4(1, 2, 3, 1);
    scene.mLightSettings.AddShadowPlane(plane);
    KQoxGlobalTimeSettings::KQoxTimeMarker marker;
    marker.mName = "Start";
    marker.mTime = KTime(46186158000LL);
    marker.mLoop = true;
    scene.mTimeSettings.AddTimeMarker(marker);
    scene.mTimeSettings.SetCurrentTimeMarker(0);

    for (const char* name : {"Walk", "Run"})
    {
        std::unique_ptr<KQoxTakeInfo> info(new KQoxTakeInfo);
        info->Name = name;
        info->Comments = std::string("Comments of ").append(name).c_str();
        info->LocalTimeSpan.Set(KTime(0), KTime(4 * 1539538600LL));
        info->ReferenceTimeSpan.Set(KTime(-1), KTime(46186158000LL * 100));
        scene.mTakeInfos.push_back(std::move(info));
    }
    scene.mTakeInfos[0]->SetTakeThumbnail(MakeThumbnail(manager, 7));
    scene.mCurrentTakeName = "Walk";
}

std::string ListScene(KQoxFileScene& scene)
{
    std::ostringstream out;
    std::vector<std::pair<KQoxNode*, int>> pending;
    if (scene.mRoot)
        for (int i = scene.mRoot->GetChildCount() - 1; i >= 0; --i)
            pending.push_back({scene.mRoot->GetChild(i), 0});
    while (!pending.empty())
    {
        KQoxNode* node = pending.back().first;
        int depth = pending.back().second;
        pending.pop_back();
        EPivotState state;
        node->GetPivotState(eSOURCE_SET, state);
        out << "node " << depth << " " << node->GetName() << " shading " << node->GetShadingMode() << " culling "
            << node->GetCullingType() << " multilayer " << node->GetMultiLayer() << " multitake "
            << node->GetMultiTakeMode() << " pivotstate " << state << " tlimit "
            << node->GetLimits().GetTranslationLimitActive() << "\n";
        node->UpdatePropertiesFromPivotsAndLimits();
        ListUserProperties(out, *node);
        ListProperties(out, node->GetPropertyHandler());
        ListTakes(out, *node);
        for (int i = node->GetChildCount() - 1; i >= 0; --i)
            pending.push_back({node->GetChild(i), depth + 1});
    }
    for (KQoxTexture* texture : scene.mTextures)
    {
        out << "texture " << texture->GetName() << " " << texture->GetFileName() << " "
            << texture->GetRelativeFileName() << " " << texture->GetMediaName() << " crop "
            << texture->GetCroppingLeft() << texture->GetCroppingTop() << texture->GetCroppingRight()
            << texture->GetCroppingBottom() << " uv " << Number(texture->GetUVTranslation()[0]) << " "
            << Number(texture->GetUVTranslation()[1]) << " " << Number(texture->GetUVScaling()[0]) << " "
            << Number(texture->GetUVScaling()[1]) << " mapping " << texture->GetMappingType() << " "
            << texture->GetPlanarMappingNormal() << " alpha " << texture->GetAlphaSource() << "\n";
        ListUserProperties(out, *texture);
        ListProperties(out, texture->GetPropertyHandler());
        ListTakes(out, *texture);
    }
    for (KQoxVideo* video : scene.mVideos)
    {
        out << "video " << video->GetName() << " " << video->GetRelativeFileName() << " offset "
            << video->GetOffset().Get() << "\n";
        ListProperties(out, video->GetPropertyHandler(), "Path");
        ListTakes(out, *video);
    }
    if (KQoxSceneInfo* info = scene.mSceneInfo)
    {
        out << "info " << info->mTitle.ToChars() << "|" << info->mSubject.ToChars() << "|" << info->mAuthor.ToChars()
            << "|" << info->mKeywords.ToChars() << "|" << info->mRevision.ToChars() << "|" << info->mComment.ToChars()
            << "\n";
        ListThumbnail(out, info->GetSceneThumbnail());
    }
    KQoxGlobalLightSettings& light = scene.mLightSettings;
    out << "light " << Number(light.GetAmbientColor().mRed) << " " << Number(light.GetAmbientColor().mBlue) << " fog "
        << light.GetFogEnable() << " " << light.GetFogMode() << " " << Number(light.GetFogDensity()) << " "
        << Number(light.GetFogStart()) << " " << Number(light.GetFogEnd()) << " shadow " << light.GetShadowEnable()
        << " " << Number(light.GetShadowIntensity()) << " planes " << light.GetShadowPlaneCount() << "\n";
    for (int i = 0; i < light.GetShadowPlaneCount(); ++i)
        out << "  plane " << light.GetShadowPlane(i)->mEnable << " " << Number(light.GetShadowPlane(i)->mOrigin[2])
            << "\n";
    KQoxGlobalTimeSettings& time = scene.mTimeSettings;
    out << "time " << time.GetTimeMode() << " " << time.GetTimeProtocol() << " " << time.GetSnapOnFrameMode()
        << " current marker " << time.GetCurrentTimeMarker() << "\n";
    for (int i = 0; i < time.GetTimeMarkerCount(); ++i)
        out << "  marker " << time.GetTimeMarker(i)->mName.ToChars() << " " << time.GetTimeMarker(i)->mTime.Get() << " "
            << time.GetTimeMarker(i)->mLoop << "\n";
    for (const std::unique_ptr<KQoxTakeInfo>& info : scene.mTakeInfos)
    {
        out << "takeinfo " << info->Name.ToChars() << "|" << info->Comments.ToChars() << "|"
            << info->LocalTimeSpan.GetStart().Get() << "|" << info->LocalTimeSpan.GetStop().Get() << "|"
            << info->ReferenceTimeSpan.GetStart().Get() << "|" << info->ReferenceTimeSpan.GetStop().Get() << "\n";
        ListThumbnail(out, info->GetTakeThumbnail());
    }
    out << "current take " << scene.mCurrentTakeName.ToChars() << "\n";
    return out.str();
}

void ClearScene(KQoxFileScene& scene)
{
    KQoxSdkManager& manager = scene.mManager;
    if (scene.mRoot)
        manager.DestroyKQoxNode(scene.mRoot, true);
    scene.mRoot = nullptr;
    for (KQoxTexture* texture : scene.mTextures)
        manager.DestroyKQoxTexture(texture);
    for (KQoxVideo* video : scene.mVideos)
        manager.DestroyKQoxVideo(video);
    scene.mTextures.clear();
    scene.mVideos.clear();
    scene.mTakeInfos.clear();
}

} // namespace fileiotest
