#include "scene/kqoxglobalcamerasettings.h"

#include <cstring>

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
        , mError(kCameraSettingsErrors, eERROR_COUNT)
    {}

    KQoxSdkManager& mManager; // not owned
    KQoxScene& mScene;        // not owned
    KString mDefaultCamera;
    EViewingMode mViewingMode = eSTANDARD;
    KQoxNode* mProducerNodes[ePRODUCER_COUNT] = {};
    KError mError;
};

KQoxGlobalCameraSettings::KQoxGlobalCameraSettings(KQoxSdkManager& manager, KQoxScene& scene)
    : mImpl(new Impl(manager, scene))
{
    for (int i = 0; i < ePRODUCER_COUNT; ++i)
    {
        KQoxNode* node = manager.CreateKQoxNode(kProducerCameras[i].mNodeName);
        if (node)
            node->SetVisibility(false);
        mImpl->mProducerNodes[i] = node;
    }
    RestoreDefaultSettings();
}

KQoxGlobalCameraSettings::~KQoxGlobalCameraSettings()
{
    for (KQoxNode*& node : mImpl->mProducerNodes)
    {
        if (node)
            mImpl->mManager.DestroyKQoxNode(node, true);
        node = nullptr;
    }
}

void KQoxGlobalCameraSettings::RestoreDefaultSettings()
{
    mImpl->mDefaultCamera = kDefaultCameraName;
    mImpl->mViewingMode = eSTANDARD;
}

bool KQoxGlobalCameraSettings::SetDefaultCamera(const char* name)
{
    if (!name)
    {
        mImpl->mError.SetLastErrorID(eNULL_PARAMETER);
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
        mImpl->mError.SetLastErrorID(eUNKNOWN_CAMERA_NAME);
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
    }
    return *this;
}

KError& KQoxGlobalCameraSettings::GetError()
{
    return mImpl->mError;
}

int KQoxGlobalCameraSettings::GetLastErrorID() const
{
    return mImpl->mError.GetLastErrorID();
}

const char* KQoxGlobalCameraSettings::GetLastErrorString() const
{
    return mImpl->mError.GetLastErrorString();
}

} // namespace qoxsdk_600
