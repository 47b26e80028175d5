// The scene's two forms: layers holding materials and textures by pointer
// and geometry holding skin links (version 5), against connections between
// property blocks and skin and cluster deformers (version 6).

#include <cstdio>
#include <unordered_map>
#include <vector>

#include "base/kpath.h"
#include "object/kplug.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxdeformer.h"
#include "scene/attributes/kqoxgeometry.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxpropertybinding.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

// The geometry (mesh, NURBS or patch) of a node, or null.
KQoxGeometry* GeometryOf(KQoxNode* pNode)
{
    return pNode ? dynamic_cast<KQoxGeometry*>(pNode->GetGeometry()) : nullptr;
}

// The nodes of the entity that hold a geometry, in list order (the count is
// read once).
std::vector<KQoxNode*> GeometryNodes(KQoxEntity& pEntity)
{
    std::vector<KQoxNode*> nodes;
    const int count = pEntity.GetNodeCount();
    for (int i = 0; i < count; ++i)
        if (KQoxNode* node = pEntity.GetNode(i); GeometryOf(node))
            nodes.push_back(node);
    return nodes;
}

// The sources of a plug that are blocks of the class, in connection order.
std::vector<KPlug*> SourcesOfClass(KPlug* pPlug, int pClassId)
{
    std::vector<KPlug*> sources;
    if (!pPlug)
        return sources;
    for (int i = 0; i < pPlug->GetSrcCount(); ++i)
        if (KPlug* source = pPlug->GetSrc(i); source && source->Is(pClassId))
            sources.push_back(source);
    return sources;
}

// Whether the plug is among the block's sources (searched from the last).
bool HasSource(KPlug* pBlock, KPlug* pPlug)
{
    for (int i = pBlock->GetSrcCount() - 1; i >= 0; --i)
        if (pBlock->GetSrc(i) == pPlug)
            return true;
    return false;
}

// The node's name without anything up to and including the first "::".
KString BaseName(KQoxNode* pNode)
{
    KString name(pNode->GetName());
    const int separator = name.Find("::");
    return separator < 0 ? name : name.Mid(static_cast<unsigned int>(separator + 2));
}

template <class Element>
void ConnectElement(KPlug* pNodeBlock, Element* pElement)
{
    if (pElement->mReferenceMode != KQoxLayerElement::eDIRECT &&
        pElement->mReferenceMode != KQoxLayerElement::eINDEX_TO_DIRECT)
        return;
    for (int i = 0; i < pElement->mDirectArray.GetCount(); ++i)
    {
        KQoxObject* object = pElement->mDirectArray[i];
        KPlug* block = object ? object->GetPropertyHandler() : nullptr;
        if (block && !HasSource(pNodeBlock, block))
            pNodeBlock->ConnectSrc(block, kConnectionNormal);
    }
    if (pElement->mReferenceMode == KQoxLayerElement::eINDEX_TO_DIRECT)
        for (int i = 0; i < pElement->mIndexArray.GetCount(); ++i)
            if (pElement->mIndexArray[i] >= pElement->mDirectArray.GetCount())
                pElement->mIndexArray[i] = -1;
}

// Fills the direct array of an element from the node's sources of the class.
// Index-to-direct entries are renumbered through one map from source
// position to direct position, so no renumbered entry is renumbered again,
// and a source already in the direct array keeps its place.
template <class Object, class Element>
void BuildDirectArray(KQoxNode* pNode, Element* pElement, int pClassId)
{
    std::vector<KPlug*> sources = SourcesOfClass(pNode->GetPropertyHandler(), pClassId);
    const int count = static_cast<int>(sources.size());
    KArrayTemplate<Object*>& direct = pElement->mDirectArray;
    if (pElement->mReferenceMode == KQoxLayerElement::eDIRECT)
    {
        while (direct.GetCount() < count)
            direct.Add(static_cast<Object*>(GetKQoxObjectOfPlug(sources[static_cast<size_t>(direct.GetCount())])));
        return;
    }
    if (pElement->mReferenceMode != KQoxLayerElement::eINDEX_TO_DIRECT)
        return;
    KArrayTemplate<int>& indices = pElement->mIndexArray;
    std::vector<char> used(static_cast<size_t>(count), 0);
    for (int i = 0; i < indices.GetCount(); ++i)
        if (indices[i] >= 0 && indices[i] < count)
            used[static_cast<size_t>(indices[i])] = 1;
    std::unordered_map<int, int> newPosition;
    for (int s = 0; s < count; ++s)
    {
        if (!used[static_cast<size_t>(s)])
            continue;
        Object* object = static_cast<Object*>(GetKQoxObjectOfPlug(sources[static_cast<size_t>(s)]));
        int d = direct.Find(object);
        if (d < 0)
            d = direct.Add(object);
        if (d != s)
            newPosition[s] = d;
    }
    for (int i = 0; i < indices.GetCount(); ++i)
        if (auto found = newPosition.find(indices[i]); found != newPosition.end())
            indices[i] = found->second;
}

} // namespace

// ---- Typed deformer queries -------------------------------------------------------

int KQoxScene::GetDeformerCount(int type)
{
    int count = 0;
    for (int i = 0; i < mEntity->GetDeformerCount(); ++i)
    {
        KQoxDeformer* deformer = dynamic_cast<KQoxDeformer*>(mEntity->GetDeformer(i));
        if (deformer && (type == 0 || deformer->GetDeformerType() == type))
            ++count;
    }
    return count;
}

KQoxDeformer* KQoxScene::GetDeformer(int index, int type)
{
    if (index < 0)
        return nullptr;
    for (int i = 0; i < mEntity->GetDeformerCount(); ++i)
    {
        KQoxDeformer* deformer = dynamic_cast<KQoxDeformer*>(mEntity->GetDeformer(i));
        if (deformer && (type == 0 || deformer->GetDeformerType() == type) && index-- == 0)
            return deformer;
    }
    return nullptr;
}

// ---- Materials, textures and videos -------------------------------------------------

void KQoxScene::ConnectMaterials()
{
    for (KQoxNode* node : GeometryNodes(*mEntity))
    {
        KQoxGeometry* geometry = GeometryOf(node);
        KPlug* block = node->GetPropertyHandler();
        if (!block)
            continue;
        for (int i = 0; i < geometry->GetLayerCount(KQoxLayerElement::eMATERIAL); ++i)
            ConnectElement(block, geometry->GetLayer(i, KQoxLayerElement::eMATERIAL)->GetMaterials());
    }
}

void KQoxScene::ConnectTextures()
{
    for (KQoxNode* node : GeometryNodes(*mEntity))
    {
        KQoxGeometry* geometry = GeometryOf(node);
        KPlug* block = node->GetPropertyHandler();
        if (!block)
            continue;
        for (int i = 0; i < geometry->GetLayerCount(KQoxLayerElement::eTEXTURE); ++i)
            ConnectElement(block, geometry->GetLayer(i, KQoxLayerElement::eTEXTURE)->GetTextures());
    }
}

void ConnectVideoToNodeUsing(KQoxTakeNodeContainer* pObject, const char* pFileName, const char* pRelativeFileName,
                             const char* pMediaName, const char* pFallbackName, KQoxSdkManager* pManager)
{
    // Without a file name there is nothing to play.
    if (!pObject || !pManager || !pFileName || !*pFileName)
        return;
    KPlug* block = pObject->GetPropertyHandler();
    if (!block)
        return;
    if (block->GetSrcCount() > 0 && GetKQoxObjectOfPlug(block->GetSrc(0)))
        return;
    const char* name = (pMediaName && *pMediaName) ? pMediaName : (pFallbackName ? pFallbackName : "");
    KQoxVideo* video = pManager->CreateKQoxVideo(name);
    if (!video)
        return;
    video->SetFileName(pFileName);
    if (pRelativeFileName && *pRelativeFileName)
        video->SetRelativeFileName(pRelativeFileName);
    block->ConnectSrc(video->GetPropertyHandler(), kConnectionNormal);
}

void KQoxScene::ConnectVideos()
{
    for (int i = 0; i < mEntity->GetTextureCount(); ++i)
    {
        KQoxObject* object = mEntity->GetTexture(i);
        if (!object || object->GetNameSpace() != KQoxObject::eTEXTURE)
            continue;
        KQoxTexture* texture = static_cast<KQoxTexture*>(object);
        KString fallback = texture->GetNameWithoutNameSpacePrefix();
        ConnectVideoToNodeUsing(texture, texture->GetFileName(), texture->GetRelativeFileName(),
                                texture->GetMediaName(), fallback.ToChars(), &mManager);
    }
    // Gobos of the lights of every node of the manager. No relative name is
    // given: a relative file name is relative already, and for an absolute
    // one no reference directory is known.
    for (int i = 0; i < mManager.GetKQoxNodeCount(); ++i)
    {
        KQoxNode* node = mManager.GetKQoxNode(i);
        KQoxLight* light = node ? node->GetLight() : nullptr;
        const char* fileName = light ? light->GetFileName() : nullptr;
        if (!fileName)
            continue;
        KString fallback = ExtractFileName(fileName, true);
        ConnectVideoToNodeUsing(node, fileName, nullptr, "", fallback.ToChars(), &mManager);
    }
}

void KQoxScene::BuildMaterialLayersDirectArray()
{
    for (KQoxNode* node : GeometryNodes(*mEntity))
    {
        KQoxGeometry* geometry = GeometryOf(node);
        for (int i = 0; i < geometry->GetLayerCount(KQoxLayerElement::eMATERIAL); ++i)
            BuildDirectArray<KQoxMaterial>(node, geometry->GetLayer(i, KQoxLayerElement::eMATERIAL)->GetMaterials(),
                                           KQoxMaterial::GetClassID());
    }
}

void KQoxScene::BuildTextureLayersDirectArray()
{
    for (KQoxNode* node : GeometryNodes(*mEntity))
    {
        KQoxGeometry* geometry = GeometryOf(node);
        for (int i = 0; i < geometry->GetLayerCount(KQoxLayerElement::eTEXTURE); ++i)
            BuildDirectArray<KQoxTexture>(node, geometry->GetLayer(i, KQoxLayerElement::eTEXTURE)->GetTextures(),
                                          KQoxTexture::GetClassID());
    }
}

// ---- Links and deformers ---------------------------------------------------------------

void KQoxScene::BuildKQoxDeformerFromKQoxLink()
{
    for (KQoxNode* node : GeometryNodes(*mEntity))
    {
        KQoxGeometry* geometry = GeometryOf(node);
        KPlug* nodeBlock = node->GetPropertyHandler();
        if (geometry->GetLinkCount() == 0 || !nodeBlock)
            continue;
        KString skinName("Skin ");
        skinName += BaseName(node);
        KQoxDeformer* skin = mManager.CreateKQoxDeformer(skinName.ToChars(), "Skin");
        if (!skin)
            continue;
        skin->SetEntity(mEntity.get());
        nodeBlock->ConnectSrc(skin->GetPropertyHandler(), kConnectionNormal);

        for (int l = 0; l < geometry->GetLinkCount(); ++l)
        {
            KQoxLink* link = geometry->GetLink(l);
            if (!link || !link->GetLink())
                continue;
            KString base("Cluster ");
            base += BaseName(link->GetLink());
            KString name = KQoxSdkManager::PrefixName("SubDeformer::", base.ToChars());
            for (int n = 1; mEntity->GetDeformer(name.ToChars()); ++n)
            {
                char suffix[32];
                snprintf(suffix, sizeof(suffix), " %d", n);
                name = KQoxSdkManager::PrefixName("SubDeformer::", base.ToChars());
                name += suffix;
            }
            KQoxDeformer* cluster = mManager.CreateKQoxDeformer(name.ToChars(), "Cluster");
            if (!cluster)
                continue;
            cluster->SetEntity(mEntity.get());
            *cluster = *link;
            KPlug* clusterBlock = cluster->GetPropertyHandler();
            clusterBlock->ConnectSrc(link->GetLink()->GetPropertyHandler(), kConnectionNormal);
            if (KQoxNode* associate = link->GetAssociateModel())
                if (KProperty* reference = cluster->GetPropertyHandler()->FindPropertyByName("SrcModelReference"))
                    reference->ConnectSrc(associate->GetPropertyHandler(), kConnectionNormal);
            skin->GetPropertyHandler()->ConnectSrc(clusterBlock, kConnectionNormal);
        }
    }
}

void KQoxScene::BuildKQoxLinkFromKQoxDeformer()
{
    const int skins = GetDeformerCount(KQoxDeformer::eSKIN);
    for (int k = 0; k < skins; ++k)
    {
        KQoxDeformer* skin = GetDeformer(k, KQoxDeformer::eSKIN);
        KPlug* skinBlock = skin ? skin->GetPropertyHandler() : nullptr;
        if (!skinBlock)
            continue;
        for (int d = 0; d < skinBlock->GetDstCount(); ++d)
        {
            KQoxObject* object = GetKQoxObjectOfPlug(skinBlock->GetDst(d));
            if (!object || object->GetNameSpace() != KQoxObject::eNODE)
                continue;
            KQoxGeometry* geometry = GeometryOf(static_cast<KQoxNode*>(object));
            if (!geometry)
                continue;
            for (KPlug* source : SourcesOfClass(skinBlock, KQoxDeformer::GetClassID()))
            {
                KQoxDeformer* cluster = dynamic_cast<KQoxDeformer*>(GetKQoxObjectOfPlug(source));
                if (!cluster || cluster->GetDeformerType() != KQoxDeformer::eCLUSTER)
                    continue;
                KQoxLink* link = mManager.CreateKQoxLink();
                if (!link)
                    continue;
                *link = *cluster;
                std::vector<KPlug*> bones = SourcesOfClass(source, KQoxNode::GetClassID());
                if (!bones.empty())
                    link->SetLink(static_cast<KQoxNode*>(GetKQoxObjectOfPlug(bones.front())));
                if (KProperty* reference = cluster->GetPropertyHandler()->FindPropertyByName("SrcModelReference"))
                {
                    std::vector<KPlug*> models = SourcesOfClass(reference, KQoxNode::GetClassID());
                    if (!models.empty())
                        link->SetAssociateModel(static_cast<KQoxNode*>(GetKQoxObjectOfPlug(models.front())));
                }
                geometry->AddLink(link);
            }
        }
    }
}

void KQoxScene::RemoveKQoxDeformers()
{
    // Clusters first, then the rest. Each deformer leaves the entity
    // entirely (all its counts) before it is destroyed.
    for (int type : {static_cast<int>(KQoxDeformer::eCLUSTER), 0})
    {
        while (KQoxDeformer* deformer = GetDeformer(0, type))
        {
            while (!mEntity->RemoveDeformer(deformer) && mEntity->GetLastErrorID() == KQoxEntity::eDEFORMER_IN_USE)
            {}
            deformer->ForgetEntity();
            mManager.DestroyKQoxDeformer(deformer);
        }
    }
}

} // namespace qoxsdk_600
