#include "scene/kqoxglobalcamerasettings.h"

#include <cstring>

#include "scene/attributes/kqoxcamera.h"
#include "scene/kqoxglobalcamerasettings_private.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {
const char* const kCameraSettingsErrors[KQoxGlobalCameraSettings::eERROR_COUNT] = {"Null parameter.",
                                                                                   "Unknown camera name."};
} // namespace

struct KQoxGlobalCameraSettings::Impl
{
    Impl(KQoxSdkManager& manager, KQoxScene& scene)
        : mManager(manager)
        , mScene(scene)
    {}

    KQoxSdkManager& mManager; // not owned
    KQoxScene& mScene;        // not owned
    KString mDefaultCamera;
    EViewingMode mViewingMode = eSTANDARD;
    KQoxCamera* mProducerCameras[ePRODUCER_COUNT] = {};
    KQoxNode* mProducerNodes[ePRODUCER_COUNT] = {};
};

KQoxGlobalCameraSettings::KQoxGlobalCameraSettings(KQoxSdkManager& manager, KQoxScene& scene)
    : KErrorOwner(kCameraSettingsErrors, eERROR_COUNT)
    , mImpl(new Impl(manager, scene))
{
    for (int i = 0; i < ePRODUCER_COUNT; ++i)
        mImpl->mProducerCameras[i] = manager.CreateKQoxCamera();
    for (int i = 0; i < ePRODUCER_COUNT; ++i)
    {
        KQoxNode* node = manager.CreateKQoxNode(kProducerCameras[i].mNodeName);
        if (node)
        {
            node->SetNodeAttribute(mImpl->mProducerCameras[i]);
            node->SetVisibility(false);
        }
        mImpl->mProducerNodes[i] = node;
    }
    RestoreDefaultSettings();
}

KQoxGlobalCameraSettings::~KQoxGlobalCameraSettings()
{
    // Each node takes its camera with it.
    for (KQoxNode*& node : mImpl->mProducerNodes)
    {
        if (node)
            mImpl->mManager.DestroyKQoxNode(node, true);
        node = nullptr;
    }
    for (KQoxCamera*& camera : mImpl->mProducerCameras)
        camera = nullptr;
}

void KQoxGlobalCameraSettings::RestoreDefaultSettings()
{
    mImpl->mDefaultCamera = kDefaultCameraName;
    mImpl->mViewingMode = eSTANDARD;
    for (int i = 0; i < ePRODUCER_COUNT; ++i)
    {
        KQoxCamera* camera = mImpl->mProducerCameras[i];
        if (!camera)
            continue;
        const KQoxProducerCameraDefaults& view = kProducerCameras[i];
        camera->Reset();
        camera->SetAngleOfView(kProducerAngleOfView);
        camera->SetProjectionType(static_cast<KQoxCamera::ECameraProjectionType>(view.mProjection));
        camera->SetNearPlane(view.mNearPlane);
        camera->SetFarPlane(view.mFarPlane);
        camera->SetPosition(KQoxVector4(view.mPosition[0], view.mPosition[1], view.mPosition[2], view.mPosition[3]));
        camera->SetUpVector(KQoxVector4(view.mUpVector[0], view.mUpVector[1], view.mUpVector[2], view.mUpVector[3]));
    }
}

bool KQoxGlobalCameraSettings::SetDefaultCamera(const char* name)
{
    if (!name)
    {
        mError.SetLastErrorID(eNULL_PARAMETER);
        return false;
    }
    bool known = strcmp(name, kCameraSwitcherName) == 0;
    for (int i = 0; i < ePRODUCER_COUNT && !known; ++i)
        known = strcmp(name, kProducerCameras[i].mNodeName) == 0;
    if (!known)
    {
        KQoxNode* root = mImpl->mScene.GetRootNode();
        known = root && root->FindChild(name, true, false) != nullptr;
    }
    if (!known)
    {
        mError.SetLastErrorID(eUNKNOWN_CAMERA_NAME);
        return false;
    }
    mImpl->mDefaultCamera = name;
    return true;
}

const char* KQoxGlobalCameraSettings::GetDefaultCamera() const
{
    return mImpl->mDefaultCamera.ToChars();
}

void KQoxGlobalCameraSettings::SetDefaultViewingMode(EViewingMode mode)
{
    mImpl->mViewingMode = mode;
}

KQoxGlobalCameraSettings::EViewingMode KQoxGlobalCameraSettings::GetDefaultViewingMode() const
{
    return mImpl->mViewingMode;
}

KQoxCamera* KQoxGlobalCameraSettings::GetProducerCamera(int producer) const
{
    if (producer < 0 || producer >= ePRODUCER_COUNT)
        return nullptr;
    return mImpl->mProducerCameras[producer];
}

KQoxNode* KQoxGlobalCameraSettings::GetProducerNode(int producer) const
{
    if (producer < 0 || producer >= ePRODUCER_COUNT)
        return nullptr;
    return mImpl->mProducerNodes[producer];
}

KQoxGlobalCameraSettings& KQoxGlobalCameraSettings::operator=(const KQoxGlobalCameraSettings& other)
{
    if (&other != this)
    {
        mImpl->mDefaultCamera = other.mImpl->mDefaultCamera;
        mImpl->mViewingMode = other.mImpl->mViewingMode;
        for (int i = 0; i < ePRODUCER_COUNT; ++i)
            if (mImpl->mProducerCameras[i] && other.mImpl->mProducerCameras[i])
                *mImpl->mProducerCameras[i] = *other.mImpl->mProducerCameras[i];
    }
    return *this;
}

void KQoxGlobalCameraSettings::CopyProducerCamera(KString name, const KQoxCamera* camera)
{
    if (name.IsEmpty() || !camera)
        return;
    // The views in the order they are compared.
    static const EProducer kOrder[ePRODUCER_COUNT] = {ePERSPECTIVE, eTOP, eFRONT, eBACK, eRIGHT, eLEFT, eBOTTOM};
    for (EProducer producer : kOrder)
    {
        if (name.Compare(kProducerCameras[producer].mNodeName) != 0)
            continue;
        // Copying reads the source only.
        if (KQoxCamera* target = mImpl->mProducerCameras[producer])
            if (target != camera)
                *target = *const_cast<KQoxCamera*>(camera);
        return;
    }
}

} // namespace qoxsdk_600
