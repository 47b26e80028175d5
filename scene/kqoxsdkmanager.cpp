#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxentity.h"

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <strings.h>

#include "object/kbaselib.h"
#include "scene/kqoxsceneinfo.h"
#include "scene/kqoxtakenodecontainer.h"
#include "scene/kqoxthumbnail.h"
#include "scene/kqoxuserproperty.h"

namespace qoxsdk_600 {

namespace {
const char* const sErrorTable[2] = {"Object not found", nullptr};

// Users of the base library: the loaded program and every live manager.
// Managers are made and destroyed on any thread: the count and the library's
// start and shutdown change together under one lock.
std::mutex gsManagerLock;
int gsManagerRefCount = 0;

void ReleaseLibraryUser()
{
    std::lock_guard<std::mutex> lock(gsManagerLock);
    if (gsManagerRefCount > 0 && --gsManagerRefCount == 0)
        KBaseLib_Terminate();
}

void AddLibraryUser()
{
    std::lock_guard<std::mutex> lock(gsManagerLock);
    if (gsManagerRefCount == 0)
        KBaseLib_Init();
    ++gsManagerRefCount;
}

// Loading the program counts as one user, released at exit.
struct ProgramLibraryUser
{
    ProgramLibraryUser()
    {
        AddLibraryUser();
        atexit(&ReleaseLibraryUser);
    }
};
const ProgramLibraryUser sProgramLibraryUser;

// The file library's functions for the front objects (null until installed).
struct FrontFunctions
{
    KQoxSdkManager::ExporterAllocator mAllocateExporter = nullptr;
    KQoxSdkManager::ExporterDestroyer mDestroyExporter = nullptr;
    KQoxSdkManager::ImporterAllocator mAllocateImporter = nullptr;
    KQoxSdkManager::ImporterDestroyer mDestroyImporter = nullptr;
};

// Built on first use: the file library installs its functions from its own
// static initialisation, whose order against this file's is not known.
FrontFunctions& Front()
{
    static FrontFunctions functions;
    return functions;
}

// Lists a front object with the destroyer of its kind. The scene library
// cannot delete the object itself (its type is complete only above it).
template <class T>
T* ListFront(KQoxObjectList<T>& pList, T* pObject, void (*pDestroy)(T*))
{
    if (!pObject)
        return nullptr;
    // An object exists only when the file library is linked, and that
    // library installs the destroyer together with the allocator.
    assert(pDestroy);
    pList.SetDestroyer(pDestroy);
    pList.Add(pObject);
    return pObject;
}
} // namespace

KQoxSdkManager* KQoxSdkManager::CreateKQoxSdkManager()
{
    return new KQoxSdkManager;
}

KQoxSdkManager::KQoxSdkManager()
    : mNodeRenamingStrategy(nullptr)
    , mMaterialRenamingStrategy(nullptr)
    , mTextureRenamingStrategy(nullptr)
    , mVideoRenamingStrategy(nullptr)
    , mError(sErrorTable, 2)
{
    AddLibraryUser();
}

KQoxSdkManager::~KQoxSdkManager()
{
    Clear();
    // Clear leaves deformers and image converters listed; the manager owns
    // them all the same, so they go with it.
    // Scenes made on their own outlive it; their entities must not reach it.
    for (KQoxEntity* entity : mEntities)
    {
        entity->ForgetReferences(true);
        entity->mListedBy = nullptr;
    }
    mDeformers.DestroyAll();
    mImageConverters.DestroyAll();
    delete mNodeRenamingStrategy;
    delete mMaterialRenamingStrategy;
    delete mTextureRenamingStrategy;
    delete mVideoRenamingStrategy;
    ReleaseLibraryUser();
}

int KQoxSdkManager::GetManagerRefCount()
{
    std::lock_guard<std::mutex> lock(gsManagerLock);
    return gsManagerRefCount;
}

KString KQoxSdkManager::PrefixName(const char* pPrefix, const char* pName)
{
    KString name(pName ? pName : "");
    int separator = name.Find("::");
    if (separator >= 0)
        name = name.Mid(static_cast<unsigned int>(separator) + 2);
    if (name.IsEmpty())
        name = "Name";
    if (pPrefix && *pPrefix)
    {
        KString prefixed(pPrefix);
        prefixed += name;
        return prefixed;
    }
    return name;
}

const char* GetDeformerPrefixFromTypeName(const char* pTypeName)
{
    if (pTypeName && strcasecmp(pTypeName, "Cluster") == 0)
        return "SubDeformer::";
    return "Deformer::";
}

// User properties, thumbnails and scene infos ----------------------------------

KQoxUserProperty* KQoxSdkManager::Sequenced(KQoxUserProperty* pProperty)
{
    if (pProperty)
        pProperty->SetCreationSequence(mUserPropertySequence++);
    return pProperty;
}

KQoxUserProperty* KQoxSdkManager::CreateKQoxUserProperty(const char* pName, const char* pTypeName, const char* pLabel)
{
    return Sequenced(AddCreated(mUserProperties, AllocateKQoxUserProperty(pName, pTypeName, pLabel)));
}

KQoxUserProperty* KQoxSdkManager::CreateKQoxUserProperty(KProperty* pProperty)
{
    return Sequenced(AddCreated(mUserProperties, AllocateKQoxUserProperty(pProperty)));
}

// Whether the object is in the chain: first in it, or after another.
bool KQoxSdkManager::IsChainedDeferred(const KQoxTakeNodeContainer* pObject) const
{
    return pObject->mDeferredPrevious || mFirstDeferred == pObject;
}

void KQoxSdkManager::ChainDeferred(KQoxTakeNodeContainer* pObject)
{
    if (IsChainedDeferred(pObject))
        return;
    pObject->mDeferredPrevious = mLastDeferred;
    pObject->mDeferredNext = nullptr;
    (mLastDeferred ? mLastDeferred->mDeferredNext : mFirstDeferred) = pObject;
    mLastDeferred = pObject;
}

bool KQoxSdkManager::UnchainDeferred(KQoxTakeNodeContainer* pObject)
{
    if (!pObject || !IsChainedDeferred(pObject))
        return false;
    KQoxTakeNodeContainer* previous = pObject->mDeferredPrevious;
    KQoxTakeNodeContainer* next = pObject->mDeferredNext;
    (previous ? previous->mDeferredNext : mFirstDeferred) = next;
    (next ? next->mDeferredPrevious : mLastDeferred) = previous;
    pObject->mDeferredPrevious = nullptr;
    pObject->mDeferredNext = nullptr;
    return true;
}

unsigned long long KQoxSdkManager::DeferUserProperties(KQoxTakeNodeContainer* pObject, int pCount)
{
    const unsigned long long first = mUserPropertySequence;
    if (!pObject || pCount <= 0)
        return first;
    ChainDeferred(pObject);
    mDeferredUserPropertyCount += pCount;
    mUserPropertySequence += static_cast<unsigned long long>(pCount);
    return first;
}

void KQoxSdkManager::EndDeferredUserProperties(KQoxTakeNodeContainer* pObject, int pCount)
{
    if (UnchainDeferred(pObject) && pCount > 0)
        mDeferredUserPropertyCount -= pCount;
}

void KQoxSdkManager::PublishDeferredUserProperties()
{
    while (KQoxTakeNodeContainer* publisher = mFirstDeferred)
    {
        publisher->PublishPendingProperties();
        // Ends the registration in every case, so the loop always moves on.
        UnchainDeferred(publisher);
    }
}

KQoxThumbnail* KQoxSdkManager::CreateKQoxThumbnail()
{
    return AddCreated(mThumbnails, AllocateKQoxThumbnail());
}

KQoxSceneInfo* KQoxSdkManager::CreateKQoxSceneInfo()
{
    return AddCreated(mSceneInfos, AllocateKQoxSceneInfo());
}

KQoxUserProperty* KQoxSdkManager::AllocateKQoxUserProperty(const char* pName, const char* pTypeName, const char* pLabel)
{
    if (!pName || !pLabel)
        return nullptr;
    return new KQoxUserProperty(*this, pName, pTypeName, pLabel);
}

KQoxUserProperty* KQoxSdkManager::AllocateKQoxUserProperty(KProperty* pProperty)
{
    if (!pProperty)
        return nullptr;
    return new KQoxUserProperty(*this, pProperty);
}

KQoxThumbnail* KQoxSdkManager::AllocateKQoxThumbnail()
{
    return new KQoxThumbnail;
}

KQoxSceneInfo* KQoxSdkManager::AllocateKQoxSceneInfo()
{
    return new KQoxSceneInfo;
}

bool KQoxSdkManager::DestroyKQoxUserProperty(KQoxUserProperty* pProperty)
{
    return DestroyListed(mUserProperties, pProperty);
}

bool KQoxSdkManager::DestroyKQoxThumbnail(KQoxThumbnail* pThumbnail)
{
    return DestroyListed(mThumbnails, pThumbnail);
}

bool KQoxSdkManager::DestroyKQoxSceneInfo(KQoxSceneInfo* pSceneInfo)
{
    return DestroyListed(mSceneInfos, pSceneInfo);
}

KQoxUserProperty* KQoxSdkManager::FindKQoxUserProperty(const char* pName)
{
    // A wrapped property can be renamed through the property system, which
    // the manager does not see, so the names are read as they stand.
    if (!pName)
        return nullptr;
    PublishDeferredUserProperties();
    // The first in creation order: put-off wrappers join the list late.
    KQoxUserProperty* found = nullptr;
    mUserProperties.ForEach([&](KQoxUserProperty* property) {
        if ((!found || property->GetCreationSequence() < found->GetCreationSequence()) && property->GetName() == pName)
            found = property;
    });
    return found;
}

// The file-format front ----------------------------------------------------------

void KQoxSdkManager::SetExporterFunctions(ExporterAllocator pAllocate, ExporterDestroyer pDestroy)
{
    Front().mAllocateExporter = pAllocate;
    Front().mDestroyExporter = pDestroy;
}

void KQoxSdkManager::SetImporterFunctions(ImporterAllocator pAllocate, ImporterDestroyer pDestroy)
{
    Front().mAllocateImporter = pAllocate;
    Front().mDestroyImporter = pDestroy;
}

KQoxExporter* KQoxSdkManager::AllocateKQoxExporter()
{
    return Front().mAllocateExporter ? Front().mAllocateExporter(*this) : nullptr;
}

KQoxImporter* KQoxSdkManager::AllocateKQoxImporter()
{
    return Front().mAllocateImporter ? Front().mAllocateImporter(*this) : nullptr;
}

KQoxExporter* KQoxSdkManager::CreateKQoxExporter()
{
    return ListFront(mExporters, AllocateKQoxExporter(), Front().mDestroyExporter);
}

KQoxImporter* KQoxSdkManager::CreateKQoxImporter()
{
    return ListFront(mImporters, AllocateKQoxImporter(), Front().mDestroyImporter);
}

bool KQoxSdkManager::DestroyKQoxExporter(KQoxExporter* pExporter)
{
    if (!RemoveListed(mExporters, pExporter))
        return false;
    mExporters.GetDestroyer()(pExporter);
    return true;
}

bool KQoxSdkManager::DestroyKQoxImporter(KQoxImporter* pImporter)
{
    if (!RemoveListed(mImporters, pImporter))
        return false;
    mImporters.GetDestroyer()(pImporter);
    return true;
}

void KQoxSdkManager::UnlistFromEntities(KQoxObject* pObject)
{
    for (KQoxEntity* entity : mEntities)
        entity->Forget(pObject);
}

// Clear ----------------------------------------------------------------------

void KQoxSdkManager::Clear()
{
    mScenes.DestroyAll();
    // Scenes made on their own stay: they drop their records of what goes.
    for (KQoxEntity* entity : mEntities)
        entity->ForgetReferences(false);
    mNodeAttributes.DestroyAll();
    mNodes.DestroyAll();
    mLinks.DestroyAll();
    mMaterials.DestroyAll();
    mShapes.DestroyAll();
    mTextures.DestroyAll();
    mVideos.DestroyAll();
    mPoses.DestroyAll();
    mUserProperties.DestroyAll();
    // Objects the lists never held may still have wrappers put off: those
    // are gone with the list.
    while (KQoxTakeNodeContainer* publisher = mFirstDeferred)
    {
        UnchainDeferred(publisher);
        publisher->DropPendingProperties();
    }
    mDeferredUserPropertyCount = 0;
    mGenericNodes.DestroyAll();
    mThumbnails.DestroyAll();
    mSceneInfos.DestroyAll();
    mGeometryConverters.DestroyAll();
    mExporters.DestroyAll();
    mImporters.DestroyAll();
    KRenamingStrategy* strategies[4] = {mNodeRenamingStrategy, mMaterialRenamingStrategy, mTextureRenamingStrategy,
                                        mVideoRenamingStrategy};
    for (KRenamingStrategy* strategy : strategies)
        if (strategy)
            strategy->Clear();
}

} // namespace qoxsdk_600
