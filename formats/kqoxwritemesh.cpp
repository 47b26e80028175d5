#include "formats/kqoxwritemesh.h"

#include <memory>

#include "scene/attributes/kqoxgeometryconverter.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxpatch.h"
#include "scene/kqoxnodeattribute.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

KQoxWriteMesh::KQoxWriteMesh(KQoxSdkManager& manager, KQoxNodeAttribute* geometry)
    : mManager(manager)
{
    if (!geometry)
        return;
    const int type = geometry->GetAttributeType();
    if (type != KQoxNodeAttribute::eMESH && type != KQoxNodeAttribute::eNURB && type != KQoxNodeAttribute::ePATCH)
        return;
    // The converter goes back to the manager however the conversion ends
    // (the conversion itself leaves no mesh behind when it throws).
    auto destroy = [&manager](KQoxGeometryConverter* converter) { manager.DestroyKQoxGeometryConverter(converter); };
    std::unique_ptr<KQoxGeometryConverter, decltype(destroy)> converter(manager.CreateKQoxGeometryConverter(), destroy);
    if (!converter)
        return;
    if (type == KQoxNodeAttribute::eNURB)
        mMesh = converter->TriangulateNurb(static_cast<KQoxNurb*>(geometry));
    else if (type == KQoxNodeAttribute::ePATCH)
        mMesh = converter->TriangulatePatch(static_cast<KQoxPatch*>(geometry));
    else
        mMesh = converter->TriangulateMesh(static_cast<KQoxMesh*>(geometry));
}

KQoxWriteMesh::~KQoxWriteMesh()
{
    if (mMesh)
        mManager.DestroyKQoxNodeAttribute(mMesh);
}

} // namespace qoxsdk_600
