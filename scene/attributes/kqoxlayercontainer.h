#ifndef QOX_SCENE_ATTRIBUTES_KQOXLAYERCONTAINER_H
#define QOX_SCENE_ATTRIBUTES_KQOXLAYERCONTAINER_H

// KQoxLayerContainer: the node attribute that owns the layers of one
// geometry (or shape), in order. Besides creating, counting and finding
// layers it offers per-layer material and texture operations (count, get,
// add, find by name), and it keeps the reference-counted material and texture
// lists of the scene entity it is in balanced with what its layers hold:
// every material or texture it adds to the entity is removed again exactly
// once when the entity is unset.

#include <utility>
#include <vector>

#include "base/karray.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/kqoxnodeattribute.h"

namespace qoxsdk_600 {

class KQoxEntity;
class KQoxMaterial;
class KQoxObject;
class KQoxSdkManager;
class KQoxTexture;

class KQoxLayerContainer : public KQoxNodeAttribute
{
public:
    explicit KQoxLayerContainer(KQoxSdkManager& pManager);
    // ClearLayers, then the attribute base. The entity must have been unset
    // (or cleared) before.
    ~KQoxLayerContainer() override;

    // Layers ----------------------------------------------------------------
    // Appends an empty layer; its index.
    int CreateLayer();
    // Deletes every layer, last first.
    void ClearLayers();
    int GetLayerCount() const { return mLayerArray.GetCount(); }
    // Number of layers that hold an element of the type.
    int GetLayerCount(KQoxLayerElement::ELayerElementType pType) const;
    // Null for an index out of range.
    KQoxLayer* GetLayer(int pIndex) const;
    // Index of the n-th (from 0) layer holding the type; -1 when none.
    int GetLayerIndex(int pRank, KQoxLayerElement::ELayerElementType pType) const;
    KQoxLayer* GetLayer(int pRank, KQoxLayerElement::ELayerElementType pType) const;
    // Number of layers among 0..pIndex holding the type, minus one; -1 for an
    // index out of range.
    int GetLayerTypedIndex(int pIndex, KQoxLayerElement::ELayerElementType pType) const;
    // Replaces this container's layers by deep copies of the other's.
    void CopyLayers(const KQoxLayerContainer* pOther);
    // CopyLayers(&pOther); the manager is not used.
    void Copy(const KQoxLayerContainer& pOther, KQoxSdkManager& pManager);

    // Entity ------------------------------------------------------------------
    // Moves the layers' direct materials and textures (reference modes 0 and
    // 2) from the current entity to the new one; nothing for the same entity.
    // Memory running out (std::bad_alloc) leaves them counted where they were.
    void SetEntity(KQoxEntity* pEntity);
    void UnsetEntity();
    KQoxEntity* GetEntity() const { return mEntity; }
    // Forgets the entity without touching its lists: for an entity that is
    // being cleared or destroyed.
    void ForgetEntity() { mEntity = nullptr; }

    // SetEntity in steps, for moves of many containers that happen whole or
    // not at all. CountIn counts the direct materials and textures in an
    // entity (memory running out takes back what it counted and throws
    // std::bad_alloc); CountOut takes them back, allocating nothing;
    // SwitchEntity records the entity they now count in.
    void CountIn(KQoxEntity& pEntity);
    void CountOut(KQoxEntity& pEntity);
    void SwitchEntity(KQoxEntity* pEntity) { mEntity = pEntity; }
    // Appends the objects CountIn counts, in its order, each with true for a
    // texture.
    void AppendCountedObjects(std::vector<std::pair<KQoxObject*, bool>>& pObjects) const;

    // Materials and textures of one layer --------------------------------------
    // Number of materials the layer uses: the direct count in reference modes
    // 0 and 2; in mode 1 the distinct index values, at most the number of
    // materials connected to the node (0 without a node).
    int GMC(unsigned int pLayer);
    // The i-th material of the layer, or null.
    KQoxMaterial* GM(int pIndex, unsigned int pLayer);
    // Creates the layers and the element as needed and appends the material
    // to the direct array (and to the entity); its position, or -1 when the
    // layer holds it already or the material is null.
    int AM(KQoxMaterial* pMaterial, unsigned int pLayer);
    // Position of the material named "Material::" + name (exact), or -1.
    int GMI(const char* pName, unsigned int pLayer);
    int GTC(unsigned int pLayer);
    KQoxTexture* GT(int pIndex, unsigned int pLayer);
    // As AM, but a texture already held gives the position where it is.
    int AT(KQoxTexture* pTexture, unsigned int pLayer);
    int GTI(const char* pName, unsigned int pLayer);

protected:
    KArrayTemplate<KQoxLayer*> mLayerArray; // owned, grows 16 at a time
    KQoxEntity* mEntity;                    // not owned
};

} // namespace qoxsdk_600

#endif
