// The manager's NURBS surfaces, patches and geometry converters.
#include "scene/attributes/kqoxgeometryconverter.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxpatch.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

KQoxNurb* KQoxSdkManager::CreateKQoxNurb()
{
    return static_cast<KQoxNurb*>(AddCreatedNodeAttribute(AllocateKQoxNurb()));
}

KQoxPatch* KQoxSdkManager::CreateKQoxPatch()
{
    return static_cast<KQoxPatch*>(AddCreatedNodeAttribute(AllocateKQoxPatch()));
}

KQoxGeometryConverter* KQoxSdkManager::CreateKQoxGeometryConverter()
{
    return AddCreated(mGeometryConverters, AllocateKQoxGeometryConverter());
}

bool KQoxSdkManager::DestroyKQoxGeometryConverter(KQoxGeometryConverter* pConverter)
{
    return DestroyListed(mGeometryConverters, pConverter);
}

KQoxNurb* KQoxSdkManager::AllocateKQoxNurb()
{
    return new KQoxNurb(*this);
}

KQoxPatch* KQoxSdkManager::AllocateKQoxPatch()
{
    return new KQoxPatch(*this);
}

KQoxGeometryConverter* KQoxSdkManager::AllocateKQoxGeometryConverter()
{
    return new KQoxGeometryConverter(*this);
}

} // namespace qoxsdk_600
