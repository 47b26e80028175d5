#ifndef QOX_SCENE_KQOXGLOBALCAMERASETTINGS_PRIVATE_H
#define QOX_SCENE_KQOXGLOBALCAMERASETTINGS_PRIVATE_H

// The producer views: node name and the camera settings each view is reset
// to. Every producer camera also has an angle of view of 40 degrees.

namespace qoxsdk_600 {

struct KQoxProducerCameraDefaults
{
    const char* mNodeName;
    int mProjection; // 0 perspective, 1 orthogonal
    double mNearPlane;
    double mFarPlane;
    double mPosition[4];
    double mUpVector[4];
};

const double kProducerAngleOfView = 40.0;
const char* const kDefaultCameraName = "Producer Perspective";
const char* const kCameraSwitcherName = "Camera Switcher";

// In the settings' order: perspective, top, bottom, front, back, right, left.
const KQoxProducerCameraDefaults kProducerCameras[7] = {
    {"Producer Perspective", 0, 10.0, 4000.0, {0.0, 71.3, 287.5, 1.0}, {0.0, 1.0, 0.0, 1.0}},
    {"Producer Top", 1, 1.0, 30000.0, {0.0, 4000.0, 0.0, 1.0}, {0.0, 0.0, -1.0, 1.0}},
    {"Producer Bottom", 1, 1.0, 30000.0, {0.0, -4000.0, 0.0, 1.0}, {0.0, 0.0, -1.0, 1.0}},
    {"Producer Front", 1, 1.0, 30000.0, {0.0, 0.0, 4000.0, 1.0}, {0.0, 1.0, 0.0, 1.0}},
    {"Producer Back", 1, 1.0, 30000.0, {0.0, 0.0, -4000.0, 1.0}, {0.0, 1.0, 0.0, 1.0}},
    {"Producer Right", 1, 1.0, 30000.0, {4000.0, 0.0, 0.0, 1.0}, {0.0, 1.0, 0.0, 1.0}},
    {"Producer Left", 1, 1.0, 30000.0, {-4000.0, 0.0, 0.0, 1.0}, {0.0, 1.0, 0.0, 1.0}},
};

} // namespace qoxsdk_600

#endif
