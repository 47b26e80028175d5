// Version-6 writer: node attributes other than geometry (nulls, skeletons,
// markers, lights, cameras, camera switchers, optical references), and the
// static values of a node's Default take.

#include "fcurve/kfcurvenode.h"
#include "fileio/kqoxattribute_private.h"
#include "fileio/kqoxnative_private.h"
#include "fileio/writers/kqoxwriterqox6_private.h"
#include "scene/kqoxglobalcamerasettings.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

using namespace qoxnative;

void KQoxWrite6::WriteAttribute(KQoxNodeAttribute& attribute)
{
    const int type = attribute.GetAttributeType();
    mFile.FieldWriteBegin(kNodeAttribute);
    mFile.FieldWriteI(type);
    mFile.FieldWriteBlockBegin();
    if (KObject* properties = AttributeProperties(&attribute))
        mFile.FieldWritePropertiesList(*properties);
    switch (type)
    {
    case KQoxNodeAttribute::eSKELETON:
        Int(kSkeletonType, static_cast<KQoxSkeleton&>(attribute).GetSkeletonType());
        break;
    case KQoxNodeAttribute::eMARKER: Int(kMarkerType, static_cast<KQoxMarker&>(attribute).GetType()); break;
    case KQoxNodeAttribute::eLIGHT:
    {
        KQoxLight& light = static_cast<KQoxLight&>(attribute);
        Int(kLightType, light.GetLightType());
        mFile.FieldWriteBegin(kLightFlags);
        for (bool flag : {light.GetCastLight(), light.GetGroundProjection(), light.GetVolumetricProjection(),
                          light.GetFrontVolumetricProjection()})
            mFile.FieldWriteI(flag ? 1 : 0);
        mFile.FieldWriteEnd();
        Text(kGoboFileName, light.GetFileName() ? light.GetFileName() : "");
        break;
    }
    case KQoxNodeAttribute::eCAMERA_SWITCHER:
    {
        KQoxCameraSwitcher& switcher = static_cast<KQoxCameraSwitcher&>(attribute);
        for (int i = 0; i < switcher.GetCameraNameCount(); ++i)
            Text(kCameraName, switcher.GetCameraName(static_cast<unsigned int>(i)));
        Int(kCameraIndex, switcher.GetDefaultCameraIndex());
        break;
    }
    case KQoxNodeAttribute::eCAMERA: WriteCameraFields(static_cast<KQoxCamera&>(attribute)); break;
    default: break;
    }
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

void KQoxWrite6::WriteCameraFields(KQoxCamera& camera)
{
    auto vector = [this](const char* name, const KQoxVector4& v) {
        const double values[4] = {v[0], v[1], v[2], v[3]};
        Doubles(name, values, 4);
    };
    vector(kUpVector, camera.GetUpVector());
    vector(kInterestPosition, camera.GetDefaultCameraInterestPosition());
    mFile.FieldWriteBegin(kBackground);
    mFile.FieldWriteC(camera.GetBackgroundMediaName() ? camera.GetBackgroundMediaName() : "");
    mFile.FieldWriteC(camera.GetBackgroundFileName() ? camera.GetBackgroundFileName() : "");
    mFile.FieldWriteEnd();
    mFile.FieldWriteBegin(kCameraFlags);
    for (bool flag : {camera.GetShowInfoOnMoving(), camera.GetDisplaySafeAreaOnRender(), camera.GetShowAudio()})
        mFile.FieldWriteI(flag ? 1 : 0);
    mFile.FieldWriteEnd();
    KQoxColor audio = camera.GetAudioColor();
    const double audioValues[4] = {audio.mRed, audio.mGreen, audio.mBlue, audio.mAlpha};
    Doubles(kAudioColor, audioValues, 4);
    mFile.FieldWriteBegin(kRendering);
    mFile.FieldWriteI(camera.GetAntialiasingMethod());
    mFile.FieldWriteI(camera.GetSamplingType());
    mFile.FieldWriteEnd();
}

void KQoxWrite6::WriteCameraSwitcher()
{
    KQoxNode* node = mScene.mCameraSwitcher;
    KQoxCameraSwitcher* switcher = node ? dynamic_cast<KQoxCameraSwitcher*>(node->GetNodeAttribute()) : nullptr;
    if (!switcher)
        return;
    mFile.FieldWriteBegin(kCameraSwitcher);
    mFile.FieldWriteC(node->GetName());
    mFile.FieldWriteBlockBegin();
    Int(kVersion, kCameraSwitcherVersion);
    for (int i = 0; i < switcher->GetCameraNameCount(); ++i)
        Text(kCameraName, switcher->GetCameraName(static_cast<unsigned int>(i)));
    WriteDefaults(*node);
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

void KQoxWrite6::WriteGlobalCameraSettings()
{
    KQoxGlobalCameraSettings* settings = mScene.mCameraSettings;
    if (!settings)
        return;
    mFile.FieldWriteBegin(kGlobalCameraSettings);
    mFile.FieldWriteC("");
    mFile.FieldWriteBlockBegin();
    Int(kVersion, kGlobalCameraSettingsVersion);
    Text(kDefaultCamera, settings->GetDefaultCamera());
    Int(kDefaultViewingMode, settings->GetDefaultViewingMode());
    for (int i = 0; i < KQoxGlobalCameraSettings::ePRODUCER_COUNT; ++i)
    {
        KQoxCamera* camera = settings->GetProducerCamera(i);
        KQoxNode* node = settings->GetProducerNode(i);
        if (!camera || !node)
            continue;
        mFile.FieldWriteBegin(kProducerCamera);
        mFile.FieldWriteC(KQoxObject::RemovePrefix(node->GetName()).ToChars());
        mFile.FieldWriteBlockBegin();
        mFile.FieldWritePropertiesList(*camera->GetPropertyHandler());
        WriteCameraFields(*camera);
        mFile.FieldWriteBlockEnd();
        mFile.FieldWriteEnd();
    }
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

void KQoxWrite6::WriteDefaults(KQoxTakeNodeContainer& object)
{
    // A Default take the object owes is written without keeping it.
    object.ReadDefaultTake([this](KQoxTakeNode* take) {
        KFCurveNode* root = take ? take->GetKFCurveNode() : nullptr;
        if (!root || root->GetCount() == 0)
            return;
        mFile.FieldWriteBegin(kDefaults);
        mFile.FieldWriteBlockBegin();
        for (int c = 0; c < root->GetCount(); ++c)
            root->Get(c)->QoxStore(&mFile, true, true, true, kChannel, true);
        mFile.FieldWriteBlockEnd();
        mFile.FieldWriteEnd();
    });
}

} // namespace qoxsdk_600
