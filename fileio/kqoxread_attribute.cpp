// Native reader: node attributes other than geometry, and the static values
// of a node's Default take.

#include <cstring>
#include <string>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "fileio/kqoxattribute_private.h"
#include "fileio/kqoxnative_private.h"
#include "fileio/kqoxreaderqox_private.h"
#include "scene/kqoxglobalcamerasettings.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

using namespace qoxnative;

void KQoxRead6::ReadAttribute(KQoxNode& node)
{
    if (!mFile.FieldReadBegin(kNodeAttribute))
        return;
    const int type = mFile.FieldReadI();
    // Made only once its block is entered, so that nothing is left over.
    KQoxNodeAttribute* attribute = nullptr;
    if (mFile.FieldReadBlockBegin())
    {
        attribute = CreateAttribute(mScene.mManager, type);
        if (!attribute)
            mFile.FieldReadBlockEnd();
    }
    if (attribute)
    {
        node.SetNodeAttribute(attribute);
        if (KObject* properties = AttributeProperties(attribute))
            mFile.FieldReadPropertiesList(*properties);
        switch (attribute->GetAttributeType())
        {
        case KQoxNodeAttribute::eSKELETON:
        {
            KQoxSkeleton* skeleton = static_cast<KQoxSkeleton*>(attribute);
            skeleton->SetSkeletonType(
                static_cast<KQoxSkeleton::ESkeletonType>(mFile.FieldReadI(kSkeletonType, skeleton->GetSkeletonType())));
            break;
        }
        case KQoxNodeAttribute::eMARKER:
        {
            KQoxMarker* marker = static_cast<KQoxMarker*>(attribute);
            marker->SetType(static_cast<KQoxMarker::EType>(mFile.FieldReadI(kMarkerType, marker->GetType())));
            break;
        }
        case KQoxNodeAttribute::eLIGHT:
        {
            KQoxLight* light = static_cast<KQoxLight*>(attribute);
            light->SetLightType(
                static_cast<KQoxLight::ELightType>(mFile.FieldReadI(kLightType, light->GetLightType())));
            if (mFile.FieldReadBegin(kLightFlags))
            {
                light->SetCastLight(mFile.FieldReadI() != 0);
                light->SetGroundProjection(mFile.FieldReadI() != 0);
                light->SetVolumetricProjection(mFile.FieldReadI() != 0);
                light->SetFrontVolumetricProjection(mFile.FieldReadI() != 0);
                mFile.FieldReadEnd();
            }
            const std::string gobo(mFile.FieldReadC(kGoboFileName, ""));
            if (!gobo.empty())
            {
                light->SetFileName(gobo.c_str());
                KQoxExpectText(light->GetFileName(), gobo.c_str());
            }
            break;
        }
        case KQoxNodeAttribute::eCAMERA_SWITCHER:
        {
            // The name list first (a new switcher has none): the index is
            // checked against it.
            KQoxCameraSwitcher* switcher = static_cast<KQoxCameraSwitcher*>(attribute);
            while (Ok() && mFile.FieldReadBegin(kCameraName))
            {
                switcher->AddCameraName(mFile.FieldReadC());
                mFile.FieldReadEnd();
            }
            int index = mFile.FieldReadI(kCameraIndex, -1);
            if (switcher->IsValidCameraIndex(index))
                switcher->SetDefaultCameraIndex(index);
            break;
        }
        case KQoxNodeAttribute::eCAMERA: ReadCameraFields(*static_cast<KQoxCamera*>(attribute)); break;
        default: break;
        }
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
}

void KQoxRead6::ReadCameraFields(KQoxCamera& camera)
{
    KQoxVector4 vector;
    if (ReadFour(kUpVector, vector))
        camera.SetUpVector(vector);
    if (ReadFour(kInterestPosition, vector))
        camera.SetDefaultCameraInterestPosition(vector);
    if (mFile.FieldReadBegin(kBackground))
    {
        const std::string media(mFile.FieldReadC()), file(mFile.FieldReadC());
        mFile.FieldReadEnd();
        camera.SetBackgroundMediaName(media.c_str());
        KQoxExpectText(camera.GetBackgroundMediaName(), media.c_str());
        camera.SetBackgroundFileName(file.c_str());
        KQoxExpectText(camera.GetBackgroundFileName(), file.c_str());
    }
    if (mFile.FieldReadBegin(kCameraFlags))
    {
        camera.SetShowInfoOnMoving(mFile.FieldReadI() != 0);
        camera.SetDisplaySafeAreaOnRender(mFile.FieldReadI() != 0);
        camera.SetShowAudio(mFile.FieldReadI() != 0);
        mFile.FieldReadEnd();
    }
    if (ReadFour(kAudioColor, vector))
        camera.SetAudioColor(KQoxColor(vector[0], vector[1], vector[2], vector[3]));
    if (mFile.FieldReadBegin(kRendering))
    {
        camera.SetAntialiasingMethod(static_cast<KQoxCamera::ECameraAntialiasingMethod>(mFile.FieldReadI()));
        camera.SetSamplingType(static_cast<KQoxCamera::ECameraSamplingType>(mFile.FieldReadI()));
        mFile.FieldReadEnd();
    }
}

void KQoxRead6::ReadCameraSwitcher()
{
    if (!mFile.FieldReadBegin(kCameraSwitcher))
        return;
    mFile.FieldReadC();
    // One switcher: a second is passed over.
    if (!mScene.mCameraSwitcher && mFile.FieldReadBlockBegin())
    {
        KQoxNode* node = mScene.mManager.CreateKQoxNode("Camera Switcher");
        KQoxCameraSwitcher* switcher = node ? mScene.mManager.CreateKQoxCameraSwitcher() : nullptr;
        if (switcher)
        {
            mScene.mCameraSwitcher = node;
            mScene.mOwnsCameraSwitcher = true;
            node->SetNodeAttribute(switcher);
            while (Ok() && mFile.FieldReadBegin(kCameraName))
            {
                switcher->AddCameraName(mFile.FieldReadC());
                mFile.FieldReadEnd();
            }
            ReadDefaults(*node);
        }
        else if (node)
            mScene.mManager.DestroyKQoxNode(node);
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
}

void KQoxRead6::ReadGlobalCameraSettings()
{
    if (!mFile.FieldReadBegin(kGlobalCameraSettings))
        return;
    if (mFile.FieldReadBlockBegin())
    {
        mScene.mHasCameraSettings = true;
        mScene.mDefaultCamera = mFile.FieldReadC(kDefaultCamera, "Producer Perspective");
        mScene.mDefaultViewingMode = mFile.FieldReadI(kDefaultViewingMode, 0);
        // One camera per producer view at most: the settings have seven.
        while (Ok() && mFile.FieldReadBegin(kProducerCamera))
        {
            KString name(mFile.FieldReadC());
            if (mScene.mProducerCameras.size() < KQoxGlobalCameraSettings::ePRODUCER_COUNT &&
                mFile.FieldReadBlockBegin())
            {
                KQoxCamera* camera = mScene.mManager.CreateKQoxCamera();
                if (camera)
                {
                    mScene.mProducerCameras.emplace_back(name, camera);
                    mFile.FieldReadPropertiesList(*camera->GetPropertyHandler());
                    ReadCameraFields(*camera);
                }
                mFile.FieldReadBlockEnd();
            }
            mFile.FieldReadEnd();
        }
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
}

namespace {

// A channel of the plain owed Default take as the writer stores it: its
// name, its layer type, and its children's names ("X", "Y", "Z" for the
// vector channels); one without children holds a curve.
struct PlainChannel
{
    const char* mName;
    int mLayerType;
    const PlainChannel* mChildren;
    int mChildCount;
};

const PlainChannel kPlainMembers[] = {
    {"X", KFCL_NOLAYER, nullptr, 0}, {"Y", KFCL_NOLAYER, nullptr, 0}, {"Z", KFCL_NOLAYER, nullptr, 0}};
const PlainChannel kPlainTransform[] = {
    {"T", KFCL_ADD, kPlainMembers, 3}, {"R", KFCL_EULER_XYZ, kPlainMembers, 3}, {"S", KFCL_MULT, kPlainMembers, 3}};
const PlainChannel kPlainDefaults[] = {{"Transform", KFCL_NOLAYER, kPlainTransform, 3},
                                       {"Visibility", KFCL_ADD, nullptr, 0}};

const char kDefaultValue[] = "Default";
const char kLayerID[] = "LayerID";
const char kLayerType[] = "LayerType";

// True when the open list holds childCount channels, a curve ("Default")
// when there are none, and the layer fields at most; nothing else.
bool ListHasPlainShape(KQox& file, int childCount)
{
    int channels = 0, defaults = 0, layerIDs = 0, layerTypes = 0;
    const int count = file.FieldReadGetRecordCount();
    for (int i = 0; i < count; ++i)
    {
        bool section = false;
        const char* name = file.FieldReadGetRecordName(i, &section);
        if (!name || section)
            return false;
        if (std::strcmp(name, kChannel) == 0)
            ++channels;
        else if (std::strcmp(name, kDefaultValue) == 0)
            ++defaults;
        else if (std::strcmp(name, kLayerID) == 0)
            ++layerIDs;
        else if (std::strcmp(name, kLayerType) == 0)
            ++layerTypes;
        else
            return false;
    }
    return channels == childCount && defaults == (childCount == 0 ? 1 : 0) && layerIDs <= 1 && layerTypes <= 1;
}

bool ReadPlainChannels(KQox& file, const PlainChannel* channels, int count, float*& values);

// Reads the next channel of the open list when it is the one expected, with
// the plain shape and the layer fields the writer gives it; its curve's
// value goes to values. On failure a field may be left open: the caller
// leaves the whole Defaults list and reads it again the long way.
bool ReadPlainChannel(KQox& file, const PlainChannel& expected, float*& values)
{
    if (!file.FieldReadBegin(kChannel) || std::strcmp(file.FieldReadC(), expected.mName) != 0 ||
        !file.FieldReadBlockBegin())
        return false;
    bool plain = ListHasPlainShape(file, expected.mChildCount);
    if (plain && expected.mChildCount == 0)
    {
        file.FieldReadBegin(kDefaultValue);
        *values++ = KFCurveValueFromFile(file.FieldReadD());
        file.FieldReadEnd();
    }
    plain = plain && file.FieldReadI(kLayerID, 0) == 0 && file.FieldReadI(kLayerType, 0) == expected.mLayerType &&
            ReadPlainChannels(file, expected.mChildren, expected.mChildCount, values);
    file.FieldReadBlockEnd();
    file.FieldReadEnd();
    return plain;
}

bool ReadPlainChannels(KQox& file, const PlainChannel* channels, int count, float*& values)
{
    for (int i = 0; i < count; ++i)
        if (!ReadPlainChannel(file, channels[i], values))
            return false;
    return true;
}

} // namespace

bool KQoxRead6::sPlainDefaults = true;

bool KQoxRead6::ReadPlainDefaults(IQoxObject& file, KQoxTakeNodeContainer& object)
{
    // The usual block of a node whose Default take is owed: its transform
    // and visibility channels with static values alone. Its values are kept
    // without building the take; anything else is read the long way, from
    // the start of the block, with the file's error as it was before.
    KProperty* properties[KQoxTakeNodeContainer::kPlainDefaultProperties] = {};
    if (!sPlainDefaults || !object.GetPlainDefaultProperties(properties) || !Ok(file) ||
        !file.FieldReadBegin(kDefaults))
        return false;
    KError& error = file.GetError();
    const int errorID = error.GetLastErrorID();
    const KString errorText(errorID == -1 ? "" : error.GetLastErrorString());
    float values[KQoxTakeNodeContainer::kPlainDefaultValues] = {};
    bool plain = false;
    if (file.FieldReadBlockBegin())
    {
        float* next = values;
        plain = ListHasPlainShape(file, 2) && ReadPlainChannels(file, kPlainDefaults, 2, next) &&
                next == values + KQoxTakeNodeContainer::kPlainDefaultValues;
        file.FieldReadBlockEnd();
    }
    if (error.GetLastErrorID() != errorID)
    {
        if (errorID == -1)
            error.ClearLastError();
        else
            error.SetLastError(errorID, errorText.ToChars());
        plain = false;
    }
    if (!plain || !object.KeepPlainDefaultValues(properties, values))
        return false;
    file.FieldReadEnd();
    return true;
}

void KQoxRead6::ReadDefaults(KQoxTakeNodeContainer& object)
{
    ReadDefaults(mFile, object);
}

void KQoxRead6::ReadDefaults(IQoxObject& file, KQoxTakeNodeContainer& object)
{
    if (ReadPlainDefaults(file, object))
        return;
    // A Default take the object owes stays owed when the values are all the
    // file changes in it.
    object.ChangeDefaultTakeValues([this, &file](KQoxTakeNode* take) {
        KFCurveNode* root = take ? take->GetKFCurveNode() : nullptr;
        if (!root || !file.FieldReadBegin(kDefaults))
            return;
        if (file.FieldReadBlockBegin())
        {
            // Only channels the object has: static values of what it animates.
            while (Ok(file) && KFCurveNodeCreate(&file, root, true, false, true))
            {}
            file.FieldReadBlockEnd();
        }
        file.FieldReadEnd();
    });
}

} // namespace qoxsdk_600
