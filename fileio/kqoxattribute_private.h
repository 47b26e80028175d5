#ifndef QOX_FILEIO_KQOXATTRIBUTE_PRIVATE_H
#define QOX_FILEIO_KQOXATTRIBUTE_PRIVATE_H

// Node attributes as the native reader and writer see them: the property
// object each kind keeps, and making an attribute of a stored kind.

#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxcameraproperties.h"
#include "scene/attributes/kqoxcameraswitcher.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmarker.h"
#include "scene/attributes/kqoxnull.h"
#include "scene/attributes/kqoxopticalreference.h"
#include "scene/attributes/kqoxskeleton.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {
namespace qoxnative {

const char kNodeAttribute[] = "NodeAttribute"; // I: the attribute type; block
const char kDefaults[] = "Defaults";           // block: the Default take's channels, static values only
const char kSkeletonType[] = "SkeletonType";
const char kMarkerType[] = "MarkerType";
const char kLightType[] = "LightType";
const char kLightFlags[] = "LightFlags"; // cast light, ground, volumetric, front volumetric (I each)
const char kGoboFileName[] = "GoboFileName";
const char kCameraName[] = "CameraName"; // one per camera of a switcher, in order
const char kCameraIndex[] = "CameraIndex";
// A camera's settings that are no properties, after its property list.
const char kUpVector[] = "UpVector";                 // 4 D
const char kInterestPosition[] = "InterestPosition"; // 4 D
const char kBackground[] = "Background";             // media name S, file name S
const char kCameraFlags[] = "CameraFlags";           // show info on moving, safe area on render, show audio: I each
const char kAudioColor[] = "AudioColor";             // 4 D
const char kRendering[] = "Rendering";               // antialiasing method I, sampling type I

// Global camera settings: "GlobalCameraSettings" { "Version", "DefaultCamera"
// S, "DefaultViewingMode" I, one "ProducerCamera" per producer view: its
// name S and a block holding the camera's property list and settings }.
const char kGlobalCameraSettings[] = "GlobalCameraSettings";
const char kDefaultCamera[] = "DefaultCamera";
const char kDefaultViewingMode[] = "DefaultViewingMode";
const char kProducerCamera[] = "ProducerCamera";
const int kGlobalCameraSettingsVersion = 100;

// The attribute's own properties; null for kinds without.
inline KObject* AttributeProperties(KQoxNodeAttribute* attribute)
{
    if (!attribute)
        return nullptr;
    switch (attribute->GetAttributeType())
    {
    case KQoxNodeAttribute::eNULL: return static_cast<KQoxNull*>(attribute)->GetPropertyHandler();
    case KQoxNodeAttribute::eSKELETON: return static_cast<KQoxSkeleton*>(attribute)->GetPropertyHandler();
    case KQoxNodeAttribute::eMARKER: return static_cast<KQoxMarker*>(attribute)->GetPropertyHandler();
    case KQoxNodeAttribute::eLIGHT: return static_cast<KQoxLight*>(attribute)->GetPropertyHandler();
    case KQoxNodeAttribute::eCAMERA: return static_cast<KQoxCamera*>(attribute)->GetPropertyHandler();
    default: return nullptr;
    }
}

// A new attribute of a kind stored through the attribute block (geometry
// has blocks of its own); null for any other type.
inline KQoxNodeAttribute* CreateAttribute(KQoxSdkManager& manager, int type)
{
    switch (type)
    {
    case KQoxNodeAttribute::eNULL: return manager.CreateKQoxNull();
    case KQoxNodeAttribute::eSKELETON: return manager.CreateKQoxSkeleton();
    case KQoxNodeAttribute::eMARKER: return manager.CreateKQoxMarker();
    case KQoxNodeAttribute::eLIGHT: return manager.CreateKQoxLight();
    case KQoxNodeAttribute::eCAMERA: return manager.CreateKQoxCamera();
    case KQoxNodeAttribute::eCAMERA_SWITCHER: return manager.CreateKQoxCameraSwitcher();
    case KQoxNodeAttribute::eOPTICAL_REFERENCE: return manager.CreateKQoxOpticalReference();
    default: return nullptr;
    }
}

} // namespace qoxnative
} // namespace qoxsdk_600

#endif
