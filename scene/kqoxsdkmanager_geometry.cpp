// The SDK manager's meshes, shapes, links, materials and deformers.

#include "scene/attributes/kqoxdeformer.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

KQoxMesh* KQoxSdkManager::CreateKQoxMesh()
{
    return static_cast<KQoxMesh*>(AddCreatedNodeAttribute(AllocateKQoxMesh()));
}

KQoxShape* KQoxSdkManager::CreateKQoxShape()
{
    return AddCreated(mShapes, AllocateKQoxShape());
}

KQoxLink* KQoxSdkManager::CreateKQoxLink()
{
    return AddCreated(mLinks, AllocateKQoxLink());
}

KQoxMaterial* KQoxSdkManager::CreateKQoxMaterial(const char* pName)
{
    KString name = PrefixName("Material::", pName);
    return AddCreated<KQoxMaterial, true>(mMaterials, AllocateKQoxMaterial(name), mMaterialRenamingStrategy);
}

KQoxDeformer* KQoxSdkManager::CreateKQoxDeformer(const char* pName, const char* pType)
{
    KString name = PrefixName(GetDeformerPrefixFromTypeName(pType), pName);
    return AddCreated<KQoxDeformer, true>(mDeformers, AllocateKQoxDeformer(name, pType));
}

KQoxMesh* KQoxSdkManager::AllocateKQoxMesh()
{
    return new KQoxMesh(*this);
}

KQoxShape* KQoxSdkManager::AllocateKQoxShape()
{
    return new KQoxShape(*this);
}

KQoxLink* KQoxSdkManager::AllocateKQoxLink()
{
    return new KQoxLink;
}

KQoxMaterial* KQoxSdkManager::AllocateKQoxMaterial(const char* pName)
{
    return new KQoxMaterial(*this, pName);
}

KQoxDeformer* KQoxSdkManager::AllocateKQoxDeformer(const char* pName, const char* pType)
{
    return new KQoxDeformer(*this, pName, pType);
}

bool KQoxSdkManager::DestroyKQoxLink(KQoxLink* pLink)
{
    return DestroyListed(mLinks, pLink);
}

bool KQoxSdkManager::DestroyKQoxShape(KQoxShape* pShape)
{
    return DestroyListed(mShapes, pShape);
}

bool KQoxSdkManager::DestroyKQoxMaterial(KQoxMaterial* pMaterial)
{
    return DestroyUnlisted(mMaterials, pMaterial);
}

bool KQoxSdkManager::DestroyKQoxDeformer(KQoxDeformer* pDeformer)
{
    return DestroyUnlisted(mDeformers, pDeformer);
}

KQoxMaterial* KQoxSdkManager::FindKQoxMaterial(const char* pName, int pIndex)
{
    return FindNamed(mMaterials, "Material::", pName, pIndex);
}

} // namespace qoxsdk_600
