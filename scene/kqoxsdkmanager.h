#ifndef QOX_SCENE_KQOXSDKMANAGER_H
#define QOX_SCENE_KQOXSDKMANAGER_H

// KQoxSdkManager: factory and owner of every SDK object.
//
// Every scene object is made by one of the manager's Create operations and
// stays in one of its eighteen typed lists until it is destroyed through the
// same manager (its Destroy operations or Clear); callers never delete such
// objects. Allocation goes through virtual Allocate operations so that a
// subclass can supply its own subtypes, and destroyers and finders are
// virtual so that a subclass can take them over.
//
// The manager also names objects with their class prefix (PrefixName) and
// keeps the base library started while any manager exists: loading the
// program counts as one user, each manager as one more.
//
// Each object kind joins the manager with its own Create/Allocate/Destroy
// (and Find) operations written over the generic helpers below.

#include "base/kerror.h"
#include "base/kname.h"
#include "base/kstring.h"
#include "scene/kqoxobject.h"
#include "scene/kqoxobjectlist.h"

#include <type_traits>
#include <unordered_set>

class KProperty;

namespace qoxsdk_600 {

class KQoxScene;
class KQoxEntity;
class KQoxNode;
class KQoxNodeAttribute;
class KQoxLink;
class KQoxMaterial;
class KQoxShape;
class KQoxTexture;
class KQoxVideo;
class KQoxPose;
class KQoxUserProperty;
class KQoxThumbnail;
class KQoxSceneInfo;
class KQoxGenericNode;
class KQoxDeformer;
class KQoxGeometryConverter;
class KQoxNurb;
class KQoxPatch;
class KQoxImageConverter;
class KQoxExporter;
class KQoxImporter;
class KQoxMesh;
class KQoxNull;
class KQoxMarker;
class KQoxSkeleton;
class KQoxCamera;
class KQoxCameraSwitcher;
class KQoxLight;
class KQoxOpticalReference;
class KQoxTakeNodeContainer;

class KQoxSdkManager
{
public:
    enum
    {
        eObjectNotFound = 0
    };

    // Allocates a manager; the caller deletes it through the virtual destructor.
    static KQoxSdkManager* CreateKQoxSdkManager();

    KQoxSdkManager();
    // Clear, then the renaming strategies are deleted and the library user
    // count drops (the last user shuts the base library down).
    virtual ~KQoxSdkManager();
    KQoxSdkManager(const KQoxSdkManager&) = delete;
    KQoxSdkManager& operator=(const KQoxSdkManager&) = delete;

    KError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString(); }

    // The name without anything up to and including its first "::" ("Name"
    // when nothing is left), with the prefix in front when it is not empty.
    static KString PrefixName(const char* pPrefix, const char* pName);

    // The number of users of the base library: one for the loaded program,
    // one per live manager. Managers may be made and destroyed on any thread.
    static int GetManagerRefCount();

    // User properties: name, type name and label; null (nothing listed) when
    // the name or the label is null.
    KQoxUserProperty* CreateKQoxUserProperty(const char* pName, const char* pTypeName, const char* pLabel);
    // A wrapper of the property; null for a null property.
    KQoxUserProperty* CreateKQoxUserProperty(KProperty* pProperty);
    KQoxThumbnail* CreateKQoxThumbnail();
    // Nodes (kqoxsdkmanager_node.cpp): named "Model::" + the name, renamed by
    // the node strategy when one is set.
    KQoxNode* CreateKQoxNode(const char* pName);
    KQoxSceneInfo* CreateKQoxSceneInfo();
    // Scenes and poses (kqoxsdkmanager_scene.cpp). A pose is named "Pose::"
    // + the name; a bind pose when pBindPose is true, else a rest pose.
    KQoxScene* CreateKQoxScene();
    KQoxPose* CreateKQoxPose(const char* pName, bool pBindPose);
    // Node attributes without geometry (kqoxsdkmanager_attribute.cpp), listed
    // with the node attributes.
    KQoxNull* CreateKQoxNull();
    KQoxMarker* CreateKQoxMarker();
    KQoxSkeleton* CreateKQoxSkeleton();
    KQoxCamera* CreateKQoxCamera();
    KQoxLight* CreateKQoxLight();
    KQoxOpticalReference* CreateKQoxOpticalReference();
    // Constructed directly, without an allocator.
    KQoxCameraSwitcher* CreateKQoxCameraSwitcher();
    // A generic node named as given (no prefix).
    KQoxGenericNode* CreateKQoxGenericNode(const char* pName);

    // Textures and video clips: named "Texture::" or "Video::" + the name
    // (PrefixName), renamed by the texture or video strategy when one is set.
    KQoxTexture* CreateKQoxTexture(const char* pName);
    KQoxVideo* CreateKQoxVideo(const char* pName);
    // A registry of image conversion functions, kept until the manager goes.
    KQoxImageConverter* CreateKQoxImageConverter();

    // The file-format front ----------------------------------------------------
    // An exporter or importer listed until DestroyKQoxExporter /
    // DestroyKQoxImporter or Clear; null when none could be made. The front
    // lives in the file library above the scene: the default allocators make
    // its objects through the functions that library installs when it is
    // linked in (SetExporterFunctions, SetImporterFunctions), and give null
    // without them.
    KQoxExporter* CreateKQoxExporter();
    KQoxImporter* CreateKQoxImporter();
    // "Object not found" and false for an object this manager does not hold.
    bool DestroyKQoxExporter(KQoxExporter* pExporter);
    bool DestroyKQoxImporter(KQoxImporter* pImporter);

    // How the file library makes an exporter or importer for a manager and
    // deletes one (through its virtual destructor). Installed once by that
    // library when the program starts; a null pair removes them.
    typedef KQoxExporter* (*ExporterAllocator)(KQoxSdkManager& pManager);
    typedef void (*ExporterDestroyer)(KQoxExporter* pExporter);
    typedef KQoxImporter* (*ImporterAllocator)(KQoxSdkManager& pManager);
    typedef void (*ImporterDestroyer)(KQoxImporter* pImporter);
    static void SetExporterFunctions(ExporterAllocator pAllocate, ExporterDestroyer pDestroy);
    static void SetImporterFunctions(ImporterAllocator pAllocate, ImporterDestroyer pDestroy);

    // Geometry, materials and skinning (kqoxsdkmanager_geometry.cpp) ----------
    // A mesh is listed with the node attributes (destroyed through
    // DestroyKQoxNodeAttribute); shapes and links have lists of their own.
    KQoxMesh* CreateKQoxMesh();
    KQoxShape* CreateKQoxShape();
    KQoxLink* CreateKQoxLink();
    // Named "Material::" + the name, renamed by the material strategy when set.
    KQoxMaterial* CreateKQoxMaterial(const char* pName);
    // Named "SubDeformer::" + the name for the type "cluster" (any case),
    // else "Deformer::" + the name.
    KQoxDeformer* CreateKQoxDeformer(const char* pName, const char* pType);
    virtual bool DestroyKQoxLink(KQoxLink* pLink);
    virtual bool DestroyKQoxShape(KQoxShape* pShape);
    // Materials and deformers run their Destruct hook before they are deleted.
    virtual bool DestroyKQoxMaterial(KQoxMaterial* pMaterial);
    virtual bool DestroyKQoxDeformer(KQoxDeformer* pDeformer);
    // The pIndex-th material named "Material::" + the name.
    virtual KQoxMaterial* FindKQoxMaterial(const char* pName, int pIndex = 0);
    KQoxShape* GetKQoxShape(int pIndex) { return mShapes.Get(pIndex); }

    // Surfaces and the geometry converter (kqoxsdkmanager_surface.cpp) --------
    // Listed with the node attributes (destroyed through DestroyKQoxNodeAttribute).
    KQoxNurb* CreateKQoxNurb();
    KQoxPatch* CreateKQoxPatch();
    KQoxGeometryConverter* CreateKQoxGeometryConverter();
    virtual bool DestroyKQoxGeometryConverter(KQoxGeometryConverter* pConverter);
    KQoxDeformer* GetKQoxDeformer(int pIndex) { return mDeformers.Get(pIndex); }

    // Destroyers: remove the object from its list and delete it; an object
    // the manager does not hold gives "Object not found" and false.
    virtual bool DestroyKQoxUserProperty(KQoxUserProperty* pProperty);
    virtual bool DestroyKQoxThumbnail(KQoxThumbnail* pThumbnail);
    // With pRecursive the children's subtrees and the node's attribute go
    // too; false when any of them could not be destroyed.
    virtual bool DestroyKQoxNode(KQoxNode* pNode, bool pRecursive = false);
    // The attribute is taken off its node first.
    virtual bool DestroyKQoxNodeAttribute(KQoxNodeAttribute* pAttribute);
    // The pIndex-th node named "Model::" + the name.
    virtual KQoxNode* FindKQoxNode(const char* pName, int pIndex = 0);
    virtual bool DestroyKQoxSceneInfo(KQoxSceneInfo* pSceneInfo);
    // Generic nodes run their Destruct hook before they are deleted.
    virtual bool DestroyKQoxGenericNode(KQoxGenericNode* pGenericNode);
    // The pIndex-th generic node of that exact name.
    virtual KQoxGenericNode* FindKQoxGenericNode(const char* pName, int pIndex = 0);
    // Textures and clips run their Destruct hook before they are deleted.
    // A material, texture, clip, generic node or deformer destroyed leaves
    // every scene's list of them first, whatever its use count there.
    virtual bool DestroyKQoxTexture(KQoxTexture* pTexture);
    virtual bool DestroyKQoxVideo(KQoxVideo* pVideo);
    bool DestroyKQoxImageConverter(KQoxImageConverter* pConverter);
    // The scene goes; with pRecursive its root node is read first and then
    // destroyed with its subtree (the result of that destruction is returned).
    virtual bool DestroyKQoxScene(KQoxScene* pScene, bool pRecursive);
    // The pose also leaves the pose list of every scene of this manager.
    virtual bool DestroyKQoxPose(KQoxPose* pPose);
    // The first pose whose current name equals the text exactly (no prefixing).
    virtual KQoxPose* FindKQoxPose(const char* pName);

    // The first user property whose name equals the text; null without error.
    virtual KQoxUserProperty* FindKQoxUserProperty(const char* pName);
    // The pIndex-th texture or clip named "Texture::" or "Video::" + the name.
    virtual KQoxTexture* FindKQoxTexture(const char* pName, int pIndex = 0);
    virtual KQoxVideo* FindKQoxVideo(const char* pName, int pIndex = 0);

    // Counts and indexed access; null for an index out of range, no error.
    int GetKQoxSceneCount() const { return mScenes.GetCount(); }
    KQoxScene* GetKQoxScene(int pIndex) { return mScenes.Get(pIndex); }
    int GetKQoxNodeCount() const { return mNodes.GetCount(); }
    KQoxNode* GetKQoxNode(int pIndex) { return mNodes.Get(pIndex); }
    int GetKQoxNodeAttributeCount() const { return mNodeAttributes.GetCount(); }
    KQoxNodeAttribute* GetKQoxNodeAttribute(int pIndex) { return mNodeAttributes.Get(pIndex); }
    int GetKQoxLinkCount() const { return mLinks.GetCount(); }
    KQoxLink* GetKQoxLink(int pIndex) { return mLinks.Get(pIndex); }
    int GetKQoxMaterialCount() const { return mMaterials.GetCount(); }
    KQoxMaterial* GetKQoxMaterial(int pIndex) { return mMaterials.Get(pIndex); }
    int GetKQoxShapeCount() const { return mShapes.GetCount(); }
    int GetKQoxTextureCount() const { return mTextures.GetCount(); }
    KQoxTexture* GetKQoxTexture(int pIndex) { return mTextures.Get(pIndex); }
    int GetKQoxVideoCount() const { return mVideos.GetCount(); }
    KQoxVideo* GetKQoxVideo(int pIndex) { return mVideos.Get(pIndex); }
    int GetKQoxPoseCount() const { return mPoses.GetCount(); }
    KQoxPose* GetKQoxPose(int pIndex) { return mPoses.Get(pIndex); }
    // Counts the wrappers whose making a node put off as well.
    int GetKQoxUserPropertyCount() const
    {
        return mUserProperties.GetCount() + static_cast<int>(mDeferredUserPropertyCount);
    }
    int GetKQoxThumbnailCount() const { return mThumbnails.GetCount(); }
    int GetKQoxSceneInfoCount() const { return mSceneInfos.GetCount(); }
    int GetKQoxGenericNodeCount() const { return mGenericNodes.GetCount(); }
    KQoxGenericNode* GetKQoxGenericNode(int pIndex) { return mGenericNodes.Get(pIndex); }
    int GetKQoxDeformerCount() const { return mDeformers.GetCount(); }
    int GetKQoxGeometryConverterCount() const { return mGeometryConverters.GetCount(); }
    int GetKQoxImageConverterCount() const { return mImageConverters.GetCount(); }
    KQoxImageConverter* GetKQoxImageConverter(int pIndex) { return mImageConverters.Get(pIndex); }
    int GetKQoxExporterCount() const { return mExporters.GetCount(); }
    int GetKQoxImporterCount() const { return mImporters.GetCount(); }

    // Destroys the objects of every list but the deformers and the image
    // converters, in a fixed order (scenes, node attributes, nodes, links,
    // materials, shapes, textures, videos, poses, user properties, generic
    // nodes, thumbnails, scene infos, geometry converters, exporters,
    // importers), then clears the set renaming strategies.
    virtual void Clear();

    // Wrappers put off by an object (KQoxTakeNodeContainer::
    // PublishPropertiesLater): they count as listed from now on and take
    // the next pCount places in creation order; the object stays known until
    // it makes them or goes (EndDeferredUserProperties). Returns the first
    // place.
    unsigned long long DeferUserProperties(KQoxTakeNodeContainer* pObject, int pCount);
    void EndDeferredUserProperties(KQoxTakeNodeContainer* pObject, int pCount);

    // Name changes of objects made by this manager move this count, so that
    // the name lookups rebuild their index.
    void NameChanged() { ++mNameVersion; }
    unsigned long GetNameVersion() const { return mNameVersion; }

protected:
    virtual KQoxUserProperty* AllocateKQoxUserProperty(const char* pName, const char* pTypeName, const char* pLabel);
    virtual KQoxUserProperty* AllocateKQoxUserProperty(KProperty* pProperty);
    virtual KQoxThumbnail* AllocateKQoxThumbnail();
    virtual KQoxNode* AllocateKQoxNode(const char* pName);
    // Lists an attribute made by an attribute class's creation operation.
    KQoxNodeAttribute* AddCreatedNodeAttribute(KQoxNodeAttribute* pAttribute);
    // Destroys the subtrees below a node (not the node) without nesting.
    bool DestroyDeepSubtrees(KQoxNode* pNode);
    // Detaches and destroys the node's attribute, if any; pResult turns
    // false when this manager does not hold it.
    void DestroyAttributeOf(KQoxNode* pNode, bool& pResult);
    virtual KQoxSceneInfo* AllocateKQoxSceneInfo();
    virtual KQoxNull* AllocateKQoxNull();
    virtual KQoxMarker* AllocateKQoxMarker();
    virtual KQoxSkeleton* AllocateKQoxSkeleton();
    virtual KQoxCamera* AllocateKQoxCamera();
    virtual KQoxLight* AllocateKQoxLight();
    virtual KQoxOpticalReference* AllocateKQoxOpticalReference();
    virtual KQoxGenericNode* AllocateKQoxGenericNode(const char* pName);
    virtual KQoxTexture* AllocateKQoxTexture(const char* pName);
    virtual KQoxVideo* AllocateKQoxVideo(const char* pName);
    virtual KQoxImageConverter* AllocateKQoxImageConverter();
    virtual KQoxMesh* AllocateKQoxMesh();
    virtual KQoxShape* AllocateKQoxShape();
    virtual KQoxLink* AllocateKQoxLink();
    virtual KQoxNurb* AllocateKQoxNurb();
    virtual KQoxPatch* AllocateKQoxPatch();
    virtual KQoxGeometryConverter* AllocateKQoxGeometryConverter();
    virtual KQoxMaterial* AllocateKQoxMaterial(const char* pName);
    virtual KQoxDeformer* AllocateKQoxDeformer(const char* pName, const char* pType);
    virtual KQoxScene* AllocateKQoxScene();
    virtual KQoxPose* AllocateKQoxPose(const char* pName, bool pBindPose);
    virtual KQoxExporter* AllocateKQoxExporter();
    virtual KQoxImporter* AllocateKQoxImporter();

    // The generic steps of every kind -----------------------------------------

    // How Clear and the destroyers dispose of an object: the Destruct hook
    // first for the kinds that ask for it, then the destructor.
    template <class T, bool CallDestruct>
    static void DisposeObject(T* pObject)
    {
        if constexpr (CallDestruct)
            pObject->Destruct();
        delete pObject;
    }

    // The tail of every creation: null stays null (nothing listed, no error);
    // the renaming strategy, when set, renames the new object; the object is
    // appended to its list, which learns how to dispose of the kind.
    template <class T, bool CallDestruct = false>
    T* AddCreated(KQoxObjectList<T>& pList, T* pObject, KRenamingStrategy* pStrategy = nullptr)
    {
        if (!pObject)
            return nullptr;
        if constexpr (std::is_base_of<KQoxObject, T>::value)
        {
            if (pStrategy)
            {
                pStrategy->Rename(pObject->GetNameRecord());
                NameChanged();
            }
        }
        else
        {
            (void)pStrategy;
        }
        if (!pList.GetDestroyer())
            pList.SetDestroyer(&DisposeObject<T, CallDestruct>);
        pList.Add(pObject);
        return pObject;
    }

    // Takes an object out of its list; "Object not found" and false when the
    // manager does not hold it.
    template <class T>
    bool RemoveListed(KQoxObjectList<T>& pList, T* pObject)
    {
        if (!pList.Remove(pObject))
        {
            mError.SetLastErrorID(eObjectNotFound);
            return false;
        }
        return true;
    }

    // Removes and disposes of a listed object.
    template <class T, bool CallDestruct = false>
    bool DestroyListed(KQoxObjectList<T>& pList, T* pObject)
    {
        if (!RemoveListed(pList, pObject))
            return false;
        DisposeObject<T, CallDestruct>(pObject);
        return true;
    }

    // Removes an object that scenes may list from its list and from every
    // live entity's lists, then disposes of it: no entity keeps it.
    template <class T>
    bool DestroyUnlisted(KQoxObjectList<T>& pList, T* pObject)
    {
        if (!RemoveListed(pList, pObject))
            return false;
        UnlistFromEntities(pObject);
        DisposeObject<T, true>(pObject);
        return true;
    }

    // The pIndex-th object (from 0, in list order) whose current name equals
    // PrefixName(pPrefix, pName) exactly, or without prefixing when pPrefix
    // is null; "Object not found" and null when there is none.
    template <class T>
    T* FindNamed(KQoxObjectList<T>& pList, const char* pPrefix, const char* pName, int pIndex)
    {
        T* found = nullptr;
        if (pPrefix)
            found = pList.FindByName(PrefixName(pPrefix, pName).ToChars(), pIndex, mNameVersion);
        else
            found = pList.FindByName(pName, pIndex, mNameVersion);
        if (!found)
            mError.SetLastErrorID(eObjectNotFound);
        return found;
    }

    // The eighteen lists, in order.
    KQoxObjectList<KQoxScene> mScenes;
    KQoxObjectList<KQoxNode> mNodes;
    KQoxObjectList<KQoxNodeAttribute> mNodeAttributes;
    KQoxObjectList<KQoxLink> mLinks;
    KQoxObjectList<KQoxMaterial> mMaterials;
    KQoxObjectList<KQoxShape> mShapes;
    KQoxObjectList<KQoxTexture> mTextures;
    KQoxObjectList<KQoxVideo> mVideos;
    KQoxObjectList<KQoxPose> mPoses;
    KQoxObjectList<KQoxUserProperty> mUserProperties;
    KQoxObjectList<KQoxThumbnail> mThumbnails;
    KQoxObjectList<KQoxSceneInfo> mSceneInfos;
    KQoxObjectList<KQoxGenericNode> mGenericNodes;
    KQoxObjectList<KQoxDeformer> mDeformers;
    KQoxObjectList<KQoxGeometryConverter> mGeometryConverters;
    KQoxObjectList<KQoxImageConverter> mImageConverters;
    KQoxObjectList<KQoxExporter> mExporters;
    KQoxObjectList<KQoxImporter> mImporters;

    // Renaming strategies of new nodes, materials, textures and videos; null
    // after construction, set by subclasses, deleted by the destructor.
    KRenamingStrategy* mNodeRenamingStrategy;
    KRenamingStrategy* mMaterialRenamingStrategy;
    KRenamingStrategy* mTextureRenamingStrategy;
    KRenamingStrategy* mVideoRenamingStrategy;

    KError mError;

private:
    // Makes every put-off wrapper (before the list is searched).
    void PublishDeferredUserProperties();
    // Gives a new user property the next place in creation order.
    KQoxUserProperty* Sequenced(KQoxUserProperty* pProperty);

    // The chain of objects with wrappers put off, in the order they put
    // them off: linked through the objects themselves.
    bool IsChainedDeferred(const KQoxTakeNodeContainer* pObject) const;
    void ChainDeferred(KQoxTakeNodeContainer* pObject);
    // False when the object was not in the chain.
    bool UnchainDeferred(KQoxTakeNodeContainer* pObject);

    friend class KQoxEntity;
    // Takes a destroyed object out of the lists of every entity alive.
    void UnlistFromEntities(KQoxObject* pObject);

    // The entities made with this manager and not destroyed yet (each
    // scene's); an entity forgets the manager if the manager goes first.
    std::unordered_set<KQoxEntity*> mEntities;
    unsigned long mNameVersion = 0;
    // Nesting of this manager's recursive node destructions (DestroyKQoxNode).
    int mNestedDestroy = 0;
    KQoxTakeNodeContainer* mFirstDeferred = nullptr;
    KQoxTakeNodeContainer* mLastDeferred = nullptr;
    long long mDeferredUserPropertyCount = 0;
    unsigned long long mUserPropertySequence = 0;
};

// "SubDeformer::" for the type name "Cluster" (any case), else "Deformer::".
const char* GetDeformerPrefixFromTypeName(const char* pTypeName);

} // namespace qoxsdk_600

#endif
