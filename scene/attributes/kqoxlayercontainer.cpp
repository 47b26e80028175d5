// The layer container: layers, the entity's material and texture counts,
// and the per-layer material and texture operations.

#include "scene/attributes/kqoxlayercontainer.h"

#include <new>
#include <unordered_set>
#include <utility>
#include <vector>

#include "object/kplug.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxpropertybinding.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

// Whether a source block passes the filter of a class id (-1 and the plug
// class itself let every source through).
bool PassesClassFilter(KPlug* pSource, int pClassId)
{
    if (!pSource)
        return false;
    if (pClassId == -1 || pClassId == KPlug::ClassId)
        return true;
    return pSource->Is(pClassId);
}

// The sources of the node's block that pass the class filter, in
// connection order.
int CountConnected(KQoxNode* pNode, int pClassId)
{
    KPlug* block = pNode ? pNode->GetPropertyHandler() : nullptr;
    if (!block)
        return 0;
    int count = 0;
    for (int i = 0; i < block->GetSrcCount(); ++i)
        if (PassesClassFilter(block->GetSrc(i), pClassId))
            ++count;
    return count;
}

KPlug* GetConnected(KQoxNode* pNode, int pClassId, int pIndex)
{
    KPlug* block = pNode ? pNode->GetPropertyHandler() : nullptr;
    if (!block || pIndex < 0)
        return nullptr;
    for (int i = 0; i < block->GetSrcCount(); ++i)
    {
        KPlug* source = block->GetSrc(i);
        if (PassesClassFilter(source, pClassId) && pIndex-- == 0)
            return source;
    }
    return nullptr;
}

// Number of distinct values of an index array (hashing, not the pairwise
// scan: the result is the same).
int CountDistinct(const KArrayTemplate<int>& pIndices)
{
    std::unordered_set<int> seen;
    seen.reserve(static_cast<size_t>(pIndices.GetCount()));
    for (int i = 0; i < pIndices.GetCount(); ++i)
        seen.insert(pIndices[i]);
    return static_cast<int>(seen.size());
}

template <class Element>
int CountUsed(Element* pElement, KQoxNode* pNode, int pClassId)
{
    if (!pElement)
        return 0;
    if (pElement->mReferenceMode != KQoxLayerElement::eINDEX)
        return pElement->mDirectArray.GetCount();
    if (!pNode)
        return 0;
    const int distinct = CountDistinct(pElement->mIndexArray);
    const int connected = CountConnected(pNode, pClassId);
    return distinct < connected ? distinct : connected;
}

template <class Object, class Element>
Object* GetUsed(Element* pElement, KQoxNode* pNode, int pClassId, int pIndex)
{
    if (!pElement)
        return nullptr;
    if (pElement->mReferenceMode != KQoxLayerElement::eINDEX)
        return pElement->mDirectArray.ValidateIndex(pIndex) ? pElement->mDirectArray[pIndex] : nullptr;
    if (!pNode || pIndex < 0 || pIndex >= CountConnected(pNode, pClassId))
        return nullptr;
    return static_cast<Object*>(GetKQoxObjectOfPlug(GetConnected(pNode, pClassId, pIndex)));
}

template <class Element>
int FindNamed(Element* pElement, const char* pPrefix, const char* pName)
{
    if (!pElement || !pName)
        return -1;
    KString fullName = KQoxSdkManager::PrefixName(pPrefix, pName);
    for (int i = 0; i < pElement->mDirectArray.GetCount(); ++i)
    {
        KQoxObject* object = pElement->mDirectArray[i];
        if (object && fullName == object->GetName())
            return i;
    }
    return -1;
}

// Whether the element's direct entries count in the entity.
bool CountsInEntity(const KQoxLayerElement* pElement)
{
    return pElement && (pElement->mReferenceMode == KQoxLayerElement::eDIRECT ||
                        pElement->mReferenceMode == KQoxLayerElement::eINDEX_TO_DIRECT);
}

} // namespace

KQoxLayerContainer::KQoxLayerContainer(KQoxSdkManager& pManager)
    : KQoxNodeAttribute(pManager)
    , mLayerArray(16)
    , mEntity(nullptr)
{}

KQoxLayerContainer::~KQoxLayerContainer()
{
    ClearLayers();
}

// ---- Layers -------------------------------------------------------------------

int KQoxLayerContainer::CreateLayer()
{
    return mLayerArray.Add(new KQoxLayer);
}

void KQoxLayerContainer::ClearLayers()
{
    while (mLayerArray.GetCount() > 0)
    {
        KQoxLayer* layer = mLayerArray.RemoveLast();
        layer->Clear();
        delete layer;
    }
}

int KQoxLayerContainer::GetLayerCount(KQoxLayerElement::ELayerElementType pType) const
{
    int count = 0;
    for (int i = 0; i < mLayerArray.GetCount(); ++i)
        if (mLayerArray[i]->GetLayerElementOfType(pType))
            ++count;
    return count;
}

KQoxLayer* KQoxLayerContainer::GetLayer(int pIndex) const
{
    return mLayerArray.ValidateIndex(pIndex) ? mLayerArray[pIndex] : nullptr;
}

int KQoxLayerContainer::GetLayerIndex(int pRank, KQoxLayerElement::ELayerElementType pType) const
{
    if (pRank < 0)
        return -1;
    for (int i = 0; i < mLayerArray.GetCount(); ++i)
        if (mLayerArray[i]->GetLayerElementOfType(pType) && pRank-- == 0)
            return i;
    return -1;
}

KQoxLayer* KQoxLayerContainer::GetLayer(int pRank, KQoxLayerElement::ELayerElementType pType) const
{
    const int index = GetLayerIndex(pRank, pType);
    return index < 0 ? nullptr : mLayerArray[index];
}

int KQoxLayerContainer::GetLayerTypedIndex(int pIndex, KQoxLayerElement::ELayerElementType pType) const
{
    if (!mLayerArray.ValidateIndex(pIndex))
        return -1;
    int count = 0;
    for (int i = 0; i <= pIndex; ++i)
        if (mLayerArray[i]->GetLayerElementOfType(pType))
            ++count;
    return count - 1;
}

void KQoxLayerContainer::CopyLayers(const KQoxLayerContainer* pOther)
{
    if (!pOther || pOther == this)
        return;
    const int count = pOther->GetLayerCount();
    ClearLayers();
    for (int i = 0; i < count; ++i)
    {
        KQoxLayer* layer = new KQoxLayer;
        *layer = *pOther->mLayerArray[i];
        mLayerArray.Add(layer);
    }
}

void KQoxLayerContainer::Copy(const KQoxLayerContainer& pOther, KQoxSdkManager& pManager)
{
    (void)pManager;
    CopyLayers(&pOther);
}

// ---- Entity -------------------------------------------------------------------------

void KQoxLayerContainer::AppendCountedObjects(std::vector<std::pair<KQoxObject*, bool>>& pObjects) const
{
    for (int i = 0; i < mLayerArray.GetCount(); ++i)
    {
        KQoxLayer* layer = mLayerArray[i];
        if (KQoxLayerElementMaterial* materials = layer->GetMaterials(); CountsInEntity(materials))
            for (int m = 0; m < materials->mDirectArray.GetCount(); ++m)
                pObjects.push_back({materials->mDirectArray[m], false});
        if (KQoxLayerElementTexture* textures = layer->GetTextures(); CountsInEntity(textures))
            for (int t = 0; t < textures->mDirectArray.GetCount(); ++t)
                pObjects.push_back({textures->mDirectArray[t], true});
    }
}

void KQoxLayerContainer::CountIn(KQoxEntity& pEntity)
{
    std::vector<std::pair<KQoxObject*, bool>> objects;
    AppendCountedObjects(objects);
    // Memory running out part way takes back what was counted, so the
    // entity never keeps a count that no container gives back.
    size_t counted = 0;
    try
    {
        for (; counted < objects.size(); ++counted)
            objects[counted].second ? pEntity.AddTexture(objects[counted].first)
                                    : pEntity.AddMaterial(objects[counted].first);
    }
    catch (const std::bad_alloc&)
    {
        // A count that failed left nothing to take back.
        while (counted > 0)
        {
            --counted;
            objects[counted].second ? pEntity.RemoveTexture(objects[counted].first)
                                    : pEntity.RemoveMaterial(objects[counted].first);
        }
        throw;
    }
}

void KQoxLayerContainer::CountOut(KQoxEntity& pEntity)
{
    for (int i = 0; i < mLayerArray.GetCount(); ++i)
    {
        KQoxLayer* layer = mLayerArray[i];
        if (KQoxLayerElementMaterial* materials = layer->GetMaterials(); CountsInEntity(materials))
            for (int m = 0; m < materials->mDirectArray.GetCount(); ++m)
                pEntity.RemoveMaterial(materials->mDirectArray[m]);
        if (KQoxLayerElementTexture* textures = layer->GetTextures(); CountsInEntity(textures))
            for (int t = 0; t < textures->mDirectArray.GetCount(); ++t)
                pEntity.RemoveTexture(textures->mDirectArray[t]);
    }
}

void KQoxLayerContainer::SetEntity(KQoxEntity* pEntity)
{
    if (pEntity == mEntity)
        return;
    // Counted in the new entity before leaving the old one: memory running
    // out leaves the container where it was.
    if (pEntity)
        CountIn(*pEntity);
    if (mEntity)
        CountOut(*mEntity);
    mEntity = pEntity;
}

void KQoxLayerContainer::UnsetEntity()
{
    if (!mEntity)
        return;
    CountOut(*mEntity);
    mEntity = nullptr;
}

// ---- Materials and textures of one layer ---------------------------------------------

int KQoxLayerContainer::GMC(unsigned int pLayer)
{
    KQoxLayer* layer = GetLayer(static_cast<int>(pLayer));
    return layer ? CountUsed(layer->GetMaterials(), mNode, KQoxMaterial::GetClassID()) : 0;
}

KQoxMaterial* KQoxLayerContainer::GM(int pIndex, unsigned int pLayer)
{
    KQoxLayer* layer = GetLayer(static_cast<int>(pLayer));
    return layer ? GetUsed<KQoxMaterial>(layer->GetMaterials(), mNode, KQoxMaterial::GetClassID(), pIndex) : nullptr;
}

int KQoxLayerContainer::AM(KQoxMaterial* pMaterial, unsigned int pLayer)
{
    if (!pMaterial || pLayer > 0x7fffffffu)
        return -1;
    while (static_cast<unsigned int>(GetLayerCount()) <= pLayer)
        CreateLayer();
    KQoxLayer* layer = mLayerArray[static_cast<int>(pLayer)];
    if (!layer->GetMaterials())
        layer->SetMaterials(new KQoxLayerElementMaterial);
    KArrayTemplate<KQoxMaterial*>& direct = layer->GetMaterials()->mDirectArray;
    if (direct.Find(pMaterial) >= 0)
        return -1;
    if (mEntity)
        mEntity->AddMaterial(pMaterial);
    return direct.Add(pMaterial);
}

int KQoxLayerContainer::GMI(const char* pName, unsigned int pLayer)
{
    KQoxLayer* layer = GetLayer(static_cast<int>(pLayer));
    return layer ? FindNamed(layer->GetMaterials(), "Material::", pName) : -1;
}

int KQoxLayerContainer::GTC(unsigned int pLayer)
{
    KQoxLayer* layer = GetLayer(static_cast<int>(pLayer));
    return layer ? CountUsed(layer->GetTextures(), mNode, KQoxTexture::GetClassID()) : 0;
}

KQoxTexture* KQoxLayerContainer::GT(int pIndex, unsigned int pLayer)
{
    KQoxLayer* layer = GetLayer(static_cast<int>(pLayer));
    return layer ? GetUsed<KQoxTexture>(layer->GetTextures(), mNode, KQoxTexture::GetClassID(), pIndex) : nullptr;
}

int KQoxLayerContainer::AT(KQoxTexture* pTexture, unsigned int pLayer)
{
    if (!pTexture || pLayer > 0x7fffffffu)
        return -1;
    while (static_cast<unsigned int>(GetLayerCount()) <= pLayer)
        CreateLayer();
    KQoxLayer* layer = mLayerArray[static_cast<int>(pLayer)];
    if (!layer->GetTextures())
        layer->SetTextures(new KQoxLayerElementTexture);
    KArrayTemplate<KQoxTexture*>& direct = layer->GetTextures()->mDirectArray;
    const int found = direct.Find(pTexture);
    if (found >= 0)
        return found;
    if (mEntity)
        mEntity->AddTexture(pTexture);
    return direct.Add(pTexture);
}

int KQoxLayerContainer::GTI(const char* pName, unsigned int pLayer)
{
    KQoxLayer* layer = GetLayer(static_cast<int>(pLayer));
    return layer ? FindNamed(layer->GetTextures(), "Texture::", pName) : -1;
}

} // namespace qoxsdk_600
