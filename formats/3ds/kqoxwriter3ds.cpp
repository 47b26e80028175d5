// The 3DS writer's frame: file, options, 3DS names, the node walk and the
// scene-wide records.

#include "formats/3ds/kqoxwriter3ds.h"

#include "formats/3ds/kqoxwriter3ds_private.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <unordered_set>

#include "base/kname.h"
#include "fcurve/kfcurvenode.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/kqoxwholename.h"
#include "scene/attributes/kqoxcamera.h"
#include "formats/kqoxwritemesh.h"
#include "scene/attributes/kqoxlayercontainer.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxgloballightsettings.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnode_walk.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

using namespace w3ds;

namespace {

std::string Lower(const std::string& text)
{
    std::string lower = text;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

} // namespace

KQoxWriter3DS::KQoxWriter3DS(KQoxSdkManager& manager)
    : KQoxWriter(manager)
{}

KQoxWriter3DS::~KQoxWriter3DS()
{
    // A file not completed by Write or FileClose leaves the target as it was.
    if (mFile)
    {
        CloseFile3ds(mFile);
        mFile = nullptr;
        ClearErrList3ds();
    }
    mStaged.Abandon();
    ReleaseWrite();
}

bool KQoxWriter3DS::Failed()
{
    return ftkerr3ds && !ignoreftkerr3ds;
}

bool KQoxWriter3DS::FileCreate(const char* name)
{
    return UnlessOutOfMemory([&] { return CreateFile(name); }, [&] { FailWith(eFILE_NOT_CREATED); });
}

bool KQoxWriter3DS::CreateFile(const char* name)
{
    FileClose();
    if (!name || !*name)
    {
        mError.SetLastErrorID(eFILE_NOT_CREATED);
        return false;
    }
    ClearErrList3ds();
    const KString staged = mStaged.Stage(name);
    if (staged.IsEmpty())
    {
        ClearErrList3ds();
        return StagedFailed(mStaged);
    }
    mFile = OpenFile3ds(staged.ToChars(), "wb");
    if (!mFile)
    {
        const int count = GetErrCount3ds();
        const errrec3ds* last = count > 0 ? GetErrEntry3ds(count - 1) : nullptr;
        const bool noMemory = last && last->id == ERR_NO_MEM;
        mStaged.Abandon();
        ClearErrList3ds();
        if (noMemory)
            throw std::bad_alloc(); // "Out of memory", as FileCreate reports it
        mError.SetLastErrorID(eFILE_NOT_CREATED);
        return false;
    }
    mFileName = name;
    mTextureCopies.Clear();
    mCopyError = -1;
    mCopyCause = nullptr;
    return true;
}

bool KQoxWriter3DS::FileClose()
{
    // Out of memory before the file is put, the old one stays.
    return UnlessOutOfMemory([&] { return CloseFile(); }, [&] { FailWith(eUNIDENTIFIED_ERROR); });
}

bool KQoxWriter3DS::CloseFile()
{
    if (!mFile)
        return true;
    ClearErrList3ds();
    CloseFile3ds(mFile);
    mFile = nullptr;
    const bool ok = !Failed();
    ClearErrList3ds();
    if (!ok)
    {
        mError.SetLastErrorID(eOUT_OF_DISK_SPACE);
        mStaged.Abandon();
        return false;
    }
    mTextureCopies.Done(); // the commit has the copies' descriptor
    return mStaged.Commit() || StagedFailed(mStaged, true);
}

KStreamOptions* KQoxWriter3DS::GetWriteOptions()
{
    KStreamOptions3ds* options = KStreamOptions3dsCreate();
    options->Reset();
    return options;
}

void KQoxWriter3DS::ReleaseWrite()
{
    mMeshSettings.reset();
    mDatabase.reset();
    if (mDefaultMaterial)
    {
        mManager.DestroyKQoxMaterial(mDefaultMaterial);
        mDefaultMaterial = nullptr;
    }
    mNames.clear();
    mUsedNames.clear();
}

// The toolkit's error state cleared at the end of a write. Files the
// toolkit has open for other readers and writers of this thread stay open:
// they are theirs to close.
void KQoxWriter3DS::ClearToolkitState()
{
    ClearErrList3ds();
    ignoreftkerr3ds = false;
}

// A failed write: the error recorded, everything released, the incomplete
// files closed and removed (the targets keep their contents), and the
// toolkit's error state cleared.
bool KQoxWriter3DS::FailWith(int errorId)
{
    bool outOfMemory = false;
    for (int i = 0; i < GetErrCount3ds(); ++i)
    {
        const long3ds code = GetErrEntry3ds(i)->id;
        if (code == ERR_WRITING_FILE || code == ERR_CLOSING_FILE)
            errorId = eOUT_OF_DISK_SPACE;
        outOfMemory = outOfMemory || code == ERR_NO_MEM;
    }
    if (outOfMemory && errorId == eUNIDENTIFIED_ERROR)
        mError.SetLastError(errorId, kOutOfMemoryText);
    else
        mError.SetLastErrorID(errorId);
    ReleaseWrite();
    if (mFile)
    {
        CloseFile3ds(mFile);
        mFile = nullptr;
    }
    mStaged.Abandon();
    ClearToolkitState();
    return false;
}

bool KQoxWriter3DS::Write(KQoxScene& scene, KStreamOptions* options)
{
    // Memory running out fails the write as a full disk would: nothing of
    // it is left, the old file as it was.
    return UnlessOutOfMemory([&] { return WriteScene(scene, options); }, [&] { FailWith(eUNIDENTIFIED_ERROR); });
}

bool KQoxWriter3DS::WriteScene(KQoxScene& scene, KStreamOptions* options)
{
    mScene = &scene;
    if (!mFile)
    {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    ClearErrList3ds();
    if (!InitWrite(options) || !mRootNode)
        return FailWith(eUNIDENTIFIED_ERROR);
    ExportQoxNode(mRootNode);
    if (Failed())
        return FailWith(eUNIDENTIFIED_ERROR);
    if (mCopyError >= 0)
    {
        const char* cause = mCopyCause;
        FailWith(mCopyError);
        if (cause && mError.GetLastErrorID() == mCopyError)
            mError.SetLastError(mCopyError, (KString(mError.GetErrorString(mCopyError)) + ": " + cause).ToChars());
        return false;
    }

    if (mAmbientLight)
    {
        const KQoxColor ambient = scene.GetGlobalLightSettings().GetAmbientColor();
        mMeshSettings->ambientlight = {static_cast<float>(ambient.mRed), static_cast<float>(ambient.mGreen),
                                       static_cast<float>(ambient.mBlue)};
    }
    else
    {
        mMeshSettings->ambientlight = {0.0f, 0.0f, 0.0f};
    }
    mMeshSettings->masterscale = mRescale ? static_cast<float>(mMasterScale) : 1.0f;
    mMeshSettings->shadowmapsize = 500;
    mMeshSettings->raytracebias = 3.0f;
    mMeshSettings->shadowfilter = 3.0f;
    PutMeshSet3ds(mDatabase.get(), mMeshSettings.get());
    if (Failed())
        return FailWith(eUNIDENTIFIED_ERROR);

    kfsets3ds* raw = nullptr;
    InitKfSets3ds(&raw);
    K3dsPtr<kfsets3ds> settings(raw);
    if (Failed())
        return FailWith(eUNIDENTIFIED_ERROR);
    const long long length = GetAnimationLength();
    settings->animlength = static_cast<ulong3ds>(length < 0 ? 0 : length);
    settings->segend = settings->animlength;
    PutKfSets3ds(mDatabase.get(), settings.get());
    if (Failed())
        return FailWith(eUNIDENTIFIED_ERROR);
    return CleanupWrite();
}

bool KQoxWriter3DS::InitWrite(KStreamOptions* options)
{
    mRootNode = mScene ? mScene->GetRootNode() : nullptr;
    if (options && options->Is(KStreamOptions3ds::ClassId))
    {
        KStreamOptions3ds* o = static_cast<KStreamOptions3ds*>(options);
        mTextureMapping = o->GetOption(8) == 1;
        mMaterials = o->GetOption(7) == 1;
        mAnimationOption = o->GetOption(9) == 1;
        mGeometries = o->GetOption(10) == 1;
        mLights = o->GetOption(11) == 1;
        mCameras = o->GetOption(12) == 1;
        mAmbientLight = o->GetOption(13) == 1;
        mReferenceNode = o->GetOption(1) == 1;
        mRescale = o->GetOption(14) == 1;
        mUVPerPolygon = o->GetOption(17) == 1;
    }
    else
    {
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
    }
    mMasterScale = mRescale ? kInchScale : 1.0;

    ReleaseWrite();
    database3ds* db = nullptr;
    InitDatabase3ds(&db);
    mDatabase.reset(db);
    if (Failed())
        return false;
    CreateNewDatabase3ds(db, MeshFile3ds);
    if (Failed())
        return false;
    meshset3ds* settings = nullptr;
    InitMeshSet3ds(&settings);
    mMeshSettings.reset(settings);
    if (Failed())
        return false;

    NameObjects();
    mExportedMeshCount = 0;
    mAnimation = mAnimationOption;
    mAnimationStart = KTime(0);
    mAnimationStop = KTime(0);
    if (mRootNode)
        mRootNode->GetAnimationInterval(mAnimationStart, mAnimationStop);
    if (mAnimationStart == mAnimationStop)
    {
        mAnimation = false;
        mAnimationStart = KTime(0);
        mAnimationStop = FrameTime(kEmptyAnimationFrames);
    }
    return true;
}

// Gives every node (10 characters) and then every material (15) of the
// scene being written its 3DS name, through one renaming strategy, so a
// material named like a node is numbered. They are named in the manager's
// order; what other scenes of the manager hold, or objects left from scenes
// destroyed before, neither takes a name nor is named. Without a scene
// (InitWrite called on its own) every object of the manager is named. The
// objects keep their own names.
void KQoxWriter3DS::NameObjects()
{
    mNames.clear();
    mUsedNames.clear();
    // The scene's own: the nodes under its root, its camera switcher and
    // those its entity lists; the materials its entity lists and those its
    // geometries use.
    std::unordered_set<const KQoxObject*> own;
    KQoxEntity* entity = mScene ? mScene->GetEntity() : nullptr;
    KQoxWalkPreOrder(mRootNode, [&](KQoxNode* node) {
        own.insert(node);
        if (auto* layers = dynamic_cast<KQoxLayerContainer*>(node->GetNodeAttribute()))
            for (int layer = 0; layer < layers->GetLayerCount(); ++layer)
                for (int i = 0, count = layers->GMC(static_cast<unsigned>(layer)); i < count; ++i)
                    own.insert(layers->GM(i, static_cast<unsigned>(layer)));
        return true;
    });
    if (mScene)
        own.insert(mScene->GetCameraSwitcher());
    for (int i = 0; entity && i < entity->GetNodeCount(); ++i)
        own.insert(entity->GetNode(i));
    for (int i = 0; entity && i < entity->GetMaterialCount(); ++i)
        own.insert(entity->GetMaterial(i));
    own.erase(nullptr);

    auto named = [&](const KQoxObject* object) { return !mScene || own.count(object) > 0; };
    KRenamingStrategy3DS strategy;
    KName name;
    // A name whose text memory could not hold would name the object "".
    auto start = [&name](const char* text) {
        name.SetInitialName(text);
        KQoxExpectText(name.GetCurrentName(), text);
    };
    for (int i = 0; i < mManager.GetKQoxNodeCount(); ++i)
    {
        KQoxNode* node = mManager.GetKQoxNode(i);
        if (!named(node))
            continue;
        start(node->GetName());
        strategy.Rename(name, kNodeNameLength);
        mNames[node] = MakeUniqueName(name.GetCurrentName(), kNodeNameLength);
    }
    for (int i = 0; i < mManager.GetKQoxMaterialCount(); ++i)
    {
        KQoxMaterial* material = mManager.GetKQoxMaterial(i);
        if (!named(material))
            continue;
        start(material->GetName());
        strategy.Rename(name, kMaterialNameLength);
        mNames[material] = MakeUniqueName(name.GetCurrentName(), kMaterialNameLength);
    }
}

std::string KQoxWriter3DS::MakeUniqueName(const std::string& base, int maxLength)
{
    std::string text = base.substr(0, static_cast<size_t>(maxLength));
    for (int k = 1; mUsedNames.count(Lower(text)); ++k)
    {
        const std::string suffix = std::to_string(k);
        text = base.substr(0, static_cast<size_t>(maxLength) - suffix.size()) + suffix;
    }
    mUsedNames.insert(Lower(text));
    return text;
}

std::string KQoxWriter3DS::Get3dsName(KQoxObject* object, int maxLength) const
{
    if (!object)
        return std::string();
    auto found = mNames.find(object);
    if (found != mNames.end())
        return found->second;
    return std::string(KQoxWholeName(*object).ToChars()).substr(0, static_cast<size_t>(maxLength));
}

void KQoxWriter3DS::LocalTransform(KQoxNode* node, KQoxVector4& t, KQoxVector4& r, KQoxVector4& s)
{
    KFCurve* curves[3][3] = {};
    KQoxTakeNode* take = node->GetCurrentTakeNode();
    KFCurveNode* curveNode = take ? take->GetKFCurveNode() : nullptr;
    if (curveNode)
        curveNode->GetTransformCurves(curves[0], curves[1], curves[2]);
    KQoxVector4* out[3] = {&t, &r, &s};
    node->GetDefaultT(t);
    node->GetDefaultR(r);
    node->GetDefaultS(s);
    for (int c = 0; c < 3; ++c)
    {
        if (!curves[c][0] || !curves[c][1] || !curves[c][2])
            continue;
        int last = -1;
        for (int axis = 0; axis < 3; ++axis)
            (*out[c])[axis] = curves[c][axis]->CandidateEvaluate(KTime(0), &last);
    }
}

void KQoxWriter3DS::ExportQoxNode(KQoxNode* node)
{
    // Pre-order, children in index order, without recursion so deep trees
    // cannot exhaust the stack.
    std::vector<KQoxNode*> stack;
    if (node)
        stack.push_back(node);
    while (!stack.empty() && !Failed())
    {
        KQoxNode* current = stack.back();
        stack.pop_back();
        KQoxVector4 t, r, s;
        LocalTransform(current, t, r, s);
        KQoxNodeAttribute* attribute = current->GetNodeAttribute();
        const int type = attribute ? attribute->GetAttributeType() : 0;
        const std::string name = Get3dsName(current);
        if (type == KQoxNodeAttribute::eMESH || type == KQoxNodeAttribute::eNURB || type == KQoxNodeAttribute::ePATCH)
        {
            if (mGeometries)
                ExportGeometry(current, t, r, s);
        }
        else if (type == KQoxNodeAttribute::eLIGHT)
        {
            KQoxLight* light = static_cast<KQoxLight*>(attribute);
            if (mLights && light->GetLightType() == KQoxLight::ePOINT)
            {
                if (auto record = ConvOmnilightPBto3DS(light, t, name.c_str()))
                    PutOmnilight3ds(mDatabase.get(), record.get());
                if (auto motion = ConvOmnilightNodePBto3DS(current))
                    PutOmnilightMotion3ds(mDatabase.get(), motion.get());
            }
            else if (mLights && light->GetLightType() == KQoxLight::eSPOT)
            {
                if (auto record = ConvSpotlightPBto3DS(light, t, r, name.c_str()))
                    PutSpotlight3ds(mDatabase.get(), record.get());
                if (auto motion = ConvSpotlightNodePBto3DS(current))
                    PutSpotlightMotion3ds(mDatabase.get(), motion.get());
            }
        }
        else if (type == KQoxNodeAttribute::eCAMERA)
        {
            if (mCameras)
            {
                if (auto record = ConvCameraPBto3DS(static_cast<KQoxCamera*>(attribute), t, name.c_str()))
                    PutCamera3ds(mDatabase.get(), record.get());
                if (auto motion = ConvCameraNodePBto3DS(current))
                    PutCameraMotion3ds(mDatabase.get(), motion.get());
            }
        }
        else
        {
            ExportDummy(current);
        }
        for (int i = current->GetChildCount(false) - 1; i >= 0; --i)
            stack.push_back(current->GetChild(i));
    }
}

void KQoxWriter3DS::ExportGeometry(KQoxNode* node, const KQoxVector4& t, const KQoxVector4& r, const KQoxVector4& s)
{
    KQoxNodeAttribute* attribute = node->GetNodeAttribute();
    const int type = attribute->GetAttributeType();
    const bool textureMapping = mTextureMapping;
    KQoxMesh* mesh = nullptr;
    std::unique_ptr<KQoxWriteMesh> triangulated;
    if (type == KQoxNodeAttribute::eMESH)
    {
        mesh = static_cast<KQoxMesh*>(attribute);
    }
    else
    {
        // NURBS and patches are written as triangle meshes made for the
        // write alone, without texture mapping.
        mTextureMapping = false;
        triangulated.reset(new KQoxWriteMesh(mManager, attribute));
        mesh = triangulated->Get();
    }
    std::vector<K3dsPtr<mesh3ds>> portions = ConvMeshPBto3DS(mesh, t, r, s, Get3dsName(node).c_str());
    for (auto& portion : portions)
        PutMesh3ds(mDatabase.get(), portion.get());
    // Every portion of a split mesh moves with the node.
    for (size_t i = 0; i < std::max<size_t>(portions.size(), 1); ++i)
    {
        K3dsPtr<objectmotion3ds> motion = ConvMeshNodePBto3DS(node);
        if (!motion)
            continue;
        if (i > 0)
            CopyName(motion->name, sizeof motion->name, portions[i]->name);
        PutObjectMotion3ds(mDatabase.get(), motion.get());
    }
    mTextureMapping = textureMapping;
}

void KQoxWriter3DS::ExportDummy(KQoxNode* node)
{
    const std::string name = Get3dsName(node);
    const bool reference = StartsWith(name, kReferenceNodePrefix);
    if (reference)
    {
        KQoxVector4 scaling(1, 1, 1);
        node->GetDefaultS(scaling);
        mMasterScale = kInchScale * scaling[0];
    }
    if (reference || !(node->GetParent() || mReferenceNode))
        return;
    K3dsPtr<objectmotion3ds> motion = ConvMeshNodePBto3DS(node);
    if (!motion)
        return;
    CopyName(motion->name, sizeof motion->name, kDummyName);
    CopyName(motion->instance, sizeof motion->instance, name);
    motion->bboxmin = {-0.5f, -0.5f, -0.5f};
    motion->bboxmax = {0.5f, 0.5f, 0.5f};
    PutObjectMotion3ds(mDatabase.get(), motion.get());
}

bool KQoxWriter3DS::CleanupWrite()
{
    WriteDatabase3ds(mFile, mDatabase.get());
    if (Failed())
        return FailWith(eUNIDENTIFIED_ERROR);
    mMeshSettings.reset();
    mDatabase.reset();
    if (Failed())
        return FailWith(eUNIDENTIFIED_ERROR);
    CloseFile3ds(mFile);
    mFile = nullptr;
    if (Failed())
        return FailWith(eOUT_OF_DISK_SPACE);
    // The file is put in place here: a message that lost a line for want of
    // memory fails the write first.
    if (!mMessage.IsOK())
        throw std::bad_alloc();
    mTextureCopies.Done(); // the commit has the copies' descriptor
    if (!mStaged.Commit())
    {
        FailWith(eFILE_NOT_CREATED);
        return StagedFailed(mStaged, true);
    }
    ReleaseWrite();
    ClearToolkitState();
    return true;
}

} // namespace qoxsdk_600
