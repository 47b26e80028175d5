#ifndef QOX_SCENE_KQOXGLOBALCAMERASETTINGS_H
#define QOX_SCENE_KQOXGLOBALCAMERASETTINGS_H

// KQoxGlobalCameraSettings: a scene's camera-wide settings, namely the seven
// producer views (perspective, top, bottom, front, back, right, left) on
// hidden nodes outside the scene's tree, the name of the default camera and
// the default viewing mode. The scene owns one.

#include <memory>

#include "base/kerror.h"
#include "base/kstring.h"

namespace qoxsdk_600 {

class KQoxCamera;
class KQoxNode;
class KQoxScene;
class KQoxSdkManager;

class KQoxGlobalCameraSettings : public KErrorOwner
{
public:
    enum EError : int
    {
        eNULL_PARAMETER = 0,  // "Null parameter."
        eUNKNOWN_CAMERA_NAME, // "Unknown camera name."
        eERROR_COUNT
    };

    enum EViewingMode : int
    {
        eSTANDARD = 0,
        eXRAY,
        eMODELS_ONLY
    };

    // The producer views in the order the settings keep them.
    enum EProducer : int
    {
        ePERSPECTIVE = 0,
        eTOP,
        eBOTTOM,
        eFRONT,
        eBACK,
        eRIGHT,
        eLEFT,
        ePRODUCER_COUNT
    };

    // Creates the seven producer cameras and their nodes through the manager
    // ("Model::Producer Perspective" and so on, hidden), then restores the
    // defaults.
    KQoxGlobalCameraSettings(KQoxSdkManager& manager, KQoxScene& scene);
    // Destroys the producer nodes (with what they hold) through the manager.
    ~KQoxGlobalCameraSettings();
    KQoxGlobalCameraSettings(const KQoxGlobalCameraSettings&) = delete;

    // Default camera "Producer Perspective", viewing mode 0, and every
    // producer camera reset to its view's settings.
    void RestoreDefaultSettings();

    // Stores the name when it is a producer name, "Camera Switcher", or the
    // name of a node under the scene's root; else error 1 and false. A null
    // name gives error 0.
    bool SetDefaultCamera(const char* name);
    const char* GetDefaultCamera() const;
    void SetDefaultViewingMode(EViewingMode mode);
    EViewingMode GetDefaultViewingMode() const;

    KQoxCamera* GetCameraProducerPerspective() const { return GetProducerCamera(ePERSPECTIVE); }
    KQoxCamera* GetCameraProducerTop() const { return GetProducerCamera(eTOP); }
    KQoxCamera* GetCameraProducerBottom() const { return GetProducerCamera(eBOTTOM); }
    KQoxCamera* GetCameraProducerFront() const { return GetProducerCamera(eFRONT); }
    KQoxCamera* GetCameraProducerBack() const { return GetProducerCamera(eBACK); }
    KQoxCamera* GetCameraProducerRight() const { return GetProducerCamera(eRIGHT); }
    KQoxCamera* GetCameraProducerLeft() const { return GetProducerCamera(eLEFT); }
    KQoxNode* GetCameraProducerPerspectiveNode() const { return GetProducerNode(ePERSPECTIVE); }
    KQoxNode* GetCameraProducerTopNode() const { return GetProducerNode(eTOP); }
    KQoxNode* GetCameraProducerBottomNode() const { return GetProducerNode(eBOTTOM); }
    KQoxNode* GetCameraProducerFrontNode() const { return GetProducerNode(eFRONT); }
    KQoxNode* GetCameraProducerBackNode() const { return GetProducerNode(eBACK); }
    KQoxNode* GetCameraProducerRightNode() const { return GetProducerNode(eRIGHT); }
    KQoxNode* GetCameraProducerLeftNode() const { return GetProducerNode(eLEFT); }
    // Null outside 0 to 6.
    KQoxCamera* GetProducerCamera(int producer) const;
    KQoxNode* GetProducerNode(int producer) const;

    // Copies the default camera name, the viewing mode and every setting of
    // each producer camera into the camera of the same view; the nodes stay.
    KQoxGlobalCameraSettings& operator=(const KQoxGlobalCameraSettings& other);
    // Copies every setting of the camera into the producer camera whose view
    // name ("Producer Top" and so on) equals the name exactly; nothing for an
    // empty name, a null camera or any other name.
    void CopyProducerCamera(KString name, const KQoxCamera* camera);

private:
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

} // namespace qoxsdk_600

#endif
