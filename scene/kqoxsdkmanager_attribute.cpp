// The SDK manager's node attributes without geometry, and generic nodes.

#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxcameraswitcher.h"
#include "scene/attributes/kqoxgenericnode.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmarker.h"
#include "scene/attributes/kqoxnull.h"
#include "scene/attributes/kqoxopticalreference.h"
#include "scene/attributes/kqoxskeleton.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

// The attribute when listing succeeded, else null.
template <class T>
T* Listed(KQoxNodeAttribute* pListed, T* pAttribute)
{
    return pListed ? pAttribute : nullptr;
}

} // namespace

KQoxNull* KQoxSdkManager::CreateKQoxNull()
{
    KQoxNull* attribute = AllocateKQoxNull();
    return Listed(AddCreatedNodeAttribute(attribute), attribute);
}

KQoxMarker* KQoxSdkManager::CreateKQoxMarker()
{
    KQoxMarker* attribute = AllocateKQoxMarker();
    return Listed(AddCreatedNodeAttribute(attribute), attribute);
}

KQoxSkeleton* KQoxSdkManager::CreateKQoxSkeleton()
{
    KQoxSkeleton* attribute = AllocateKQoxSkeleton();
    return Listed(AddCreatedNodeAttribute(attribute), attribute);
}

KQoxCamera* KQoxSdkManager::CreateKQoxCamera()
{
    KQoxCamera* attribute = AllocateKQoxCamera();
    return Listed(AddCreatedNodeAttribute(attribute), attribute);
}

KQoxLight* KQoxSdkManager::CreateKQoxLight()
{
    KQoxLight* attribute = AllocateKQoxLight();
    return Listed(AddCreatedNodeAttribute(attribute), attribute);
}

KQoxOpticalReference* KQoxSdkManager::CreateKQoxOpticalReference()
{
    KQoxOpticalReference* attribute = AllocateKQoxOpticalReference();
    return Listed(AddCreatedNodeAttribute(attribute), attribute);
}

KQoxCameraSwitcher* KQoxSdkManager::CreateKQoxCameraSwitcher()
{
    KQoxCameraSwitcher* attribute = new KQoxCameraSwitcher(*this);
    return Listed(AddCreatedNodeAttribute(attribute), attribute);
}

KQoxGenericNode* KQoxSdkManager::CreateKQoxGenericNode(const char* pName)
{
    return AddCreated<KQoxGenericNode, true>(mGenericNodes, AllocateKQoxGenericNode(pName ? pName : ""));
}

KQoxNull* KQoxSdkManager::AllocateKQoxNull()
{
    return new KQoxNull(*this);
}

KQoxMarker* KQoxSdkManager::AllocateKQoxMarker()
{
    return new KQoxMarker(*this);
}

KQoxSkeleton* KQoxSdkManager::AllocateKQoxSkeleton()
{
    return new KQoxSkeleton(*this);
}

KQoxCamera* KQoxSdkManager::AllocateKQoxCamera()
{
    return new KQoxCamera(*this);
}

KQoxLight* KQoxSdkManager::AllocateKQoxLight()
{
    return new KQoxLight(*this);
}

KQoxOpticalReference* KQoxSdkManager::AllocateKQoxOpticalReference()
{
    return new KQoxOpticalReference(*this);
}

KQoxGenericNode* KQoxSdkManager::AllocateKQoxGenericNode(const char* pName)
{
    return new KQoxGenericNode(*this, pName);
}

bool KQoxSdkManager::DestroyKQoxGenericNode(KQoxGenericNode* pGenericNode)
{
    return DestroyUnlisted(mGenericNodes, pGenericNode);
}

KQoxGenericNode* KQoxSdkManager::FindKQoxGenericNode(const char* pName, int pIndex)
{
    return FindNamed(mGenericNodes, nullptr, pName, pIndex);
}

} // namespace qoxsdk_600
