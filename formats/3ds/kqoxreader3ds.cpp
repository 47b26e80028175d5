// The 3DS reader's frame: files, options, fetching the toolkit records, the
// order of the conversion and the release of the toolkit state.

#include "formats/3ds/kqoxreader3ds.h"

#include <cerrno>
#include <cmath>

#include "base/kfile.h"
#include "base/kfilecause.h"
#include "base/kpath.h"
#include "formats/3ds/kqoxreader3ds_private.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/kqoxwholename.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmarker.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxglobalcamerasettings.h"
#include "scene/kqoxgloballightsettings.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakeinfo.h"

namespace qoxsdk_600 {

using namespace reader3ds;

namespace {

// Fetches `count` records by index into `out`; false at the first failure.
template <class R, class Failed>
bool FetchByIndex(database3ds* db, std::vector<R*>& out, ulong3ds count, void (*get)(database3ds*, ulong3ds, R**),
                  Failed failed)
{
    out.assign(count, nullptr);
    for (ulong3ds i = 0; i < count; ++i)
    {
        get(db, i, &out[i]);
        if (failed())
            return false;
    }
    return true;
}

// Releases every record of the list and empties it.
template <class R>
void ReleaseAll(std::vector<R*>& records, void (*release)(R**))
{
    for (R*& record : records)
        if (record)
            release(&record);
    records.clear();
}

} // namespace

KQoxReader3DS::KQoxReader3DS(KQoxSdkManager& manager)
    : KQoxReader(manager)
{}

KQoxReader3DS::~KQoxReader3DS()
{
    ReleaseRecords();
    FileClose();
    ClearErrList3ds();
}

bool KQoxReader3DS::FileOpen(const char* fileName)
{
    FileClose();
    if (!fileName)
        return Fail(eFILE_NOT_OPENED);
    // The folder the maps' images are found from: one that lost its text for
    // want of memory would be the working folder.
    mFolder = KQoxWholeText(ExtractDirectoryFromFilePath(KQoxWholeText(KFullPath(fileName)).ToChars())).ToChars();
    // A directory opens on this system but holds no file: not opened.
    if (GetFileKind(fileName) == kFILE_KIND_DIRECTORY)
    {
        mError.SetLastErrorCause(eFILE_NOT_OPENED, KFileErrorCause(EISDIR));
        return false;
    }
    // A stream is read whole here, to the bound streams are read to.
    mFile = OpenFile3ds(fileName, "rb");
    if (!mFile)
    {
        const int error = errno;
        const int count = GetErrCount3ds();
        const errrec3ds* last = count > 0 ? GetErrEntry3ds(count - 1) : nullptr;
        const long3ds code = last ? last->id : NO_FTK3DS_ERR;
        // The toolkit's reason stays out of the next read.
        ClearErrList3ds();
        if (code == ERR_OPENING_FILE)
        {
            mError.SetLastErrorCause(eFILE_NOT_OPENED, KFileErrorCause(error));
            return false;
        }
        return FailStreamRead(code == ERR_STREAM_TOO_LONG ? kSTREAM_READ_TOO_LONG
                              : code == ERR_NO_MEM        ? kSTREAM_READ_NO_MEMORY
                                                          : kSTREAM_READ_FAILED);
    }
    // A 3DS file begins with its main chunk's id.
    unsigned char head[2];
    const long3ds length = ReadHead3ds(mFile, head, sizeof(head));
    if (length < 0)
    {
        const int error = errno;
        FileClose();
        mError.SetLastErrorCause(eFILE_NOT_OPENED, KFileErrorCause(error));
        return false;
    }
    if (length < 2 || (head[0] | head[1] << 8) != kMainChunkId)
    {
        FileClose();
        mError.SetLastErrorCause(eFILE_CORRUPTED, length == 0 ? kCAUSE_EMPTY_FILE : kNot3dsCause);
        return false;
    }
    return true;
}

bool KQoxReader3DS::FileClose()
{
    if (mFile)
    {
        CloseFile3ds(mFile);
        mFile = nullptr;
        ClearErrList3ds();
    }
    return true;
}

KStreamOptions* KQoxReader3DS::GetReadOptions(bool)
{
    KStreamOptions3ds* options = KStreamOptions3dsCreate();
    options->Reset();
    return options;
}

bool KQoxReader3DS::Read(KQoxScene& scene, KStreamOptions* options)
{
    if (options && options->Is(KStreamOptions3ds::ClassId))
    {
        KStreamOptions3ds* set = static_cast<KStreamOptions3ds*>(options);
        mTextureMapping = set->GetOption(eOPTION_TEXTURE_MAPPING) == 1;
        mMaterialsFlag = set->GetOption(eOPTION_MATERIALS) == 1;
        mAnimation = set->GetOption(eOPTION_ANIM) == 1;
        mGeometries = set->GetOption(eOPTION_GEOMETRIES) == 1;
        mLights = set->GetOption(eOPTION_LIGHTS) == 1;
        mCameras = set->GetOption(eOPTION_CAMERA) == 1;
        mReduceKeys = set->GetOption(eOPTION_REDUCE_KEYS) == 1;
        mAmbientLight = set->GetOption(eOPTION_AMBIENT_LIGHT) == 1;
        mSmoothGroup = set->GetOption(eOPTION_SMOOTH_GROUP) == 1;
        mReferenceNodeFlag = set->GetOption(eOPTION_REFERENCE_NODE) == 1;
        mRescale = set->GetOption(eOPTION_RESCALE) == 1;
        set->SetTakeName(kTakeName);
    }
    else
    {
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
    }
    mScaleFactor = mRescale ? kRescaleFactor : 1.0;

    // What an earlier user of the toolkit left must not fail this read.
    ClearErrList3ds();
    if (!mFile)
    {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    ReleaseRecords();
    mScene = &scene;
    bool ok = UnlessOutOfMemory([&] { return FetchRecords() && ImportScene(scene); });
    // A failure is recorded already; the cleanup starts from a clear state.
    ClearErrList3ds();
    ok = CleanupRead() && ok;
    mScene = nullptr;
    return ok;
}

bool KQoxReader3DS::ToolkitFailed()
{
    if (!ftkerr3ds || ignoreftkerr3ds)
        return false;
    const int count = GetErrCount3ds();
    const errrec3ds* last = count > 0 ? GetErrEntry3ds(count - 1) : nullptr;
    long3ds code = last ? last->id : NO_FTK3DS_ERR;
    // Memory that ran out anywhere on the way explains the failures the
    // toolkit records after it (data it could not hold reads as invalid).
    for (int i = 0; i < count; ++i)
        if (const errrec3ds* entry = GetErrEntry3ds(i))
            if (entry->id == ERR_NO_MEM)
                code = ERR_NO_MEM;
    switch (code)
    {
    case ERR_INVALID_DATA:
    case ERR_INVALID_INDEX:
    case ERR_READING_FILE:
    case ERR_CREATING_DATABASE:
    case ERR_CORRUPT_FILE:
    case ERR_LIMIT_EXCEEDED: mError.SetLastErrorID(eFILE_CORRUPTED); break;
    case ERR_NO_MEM: mError.SetLastError(eUNIDENTIFIED_ERROR, kOutOfMemoryText); break;
    default: mError.SetLastErrorID(eUNIDENTIFIED_ERROR); break;
    }
    if (last)
    {
        mMessage += last->desc;
        mMessage += "\n";
    }
    return true;
}

bool KQoxReader3DS::FetchRecords()
{
    auto failed = [this] { return ToolkitFailed(); };
    InitDatabase3ds(&mDatabase);
    if (failed())
        return false;
    CreateDatabase3ds(mFile, mDatabase);
    if (failed())
        return false;
    InitMeshSet3ds(&mMeshSettings);
    if (failed())
        return false;
    GetMeshSet3ds(mDatabase, &mMeshSettings);
    if (failed())
        return false;

    // A master scale that is not a positive finite number leaves the scale.
    const double masterScale = mMeshSettings->masterscale;
    if (masterScale > 0.0 && std::isfinite(masterScale))
        mScaleFactor *= masterScale;
    mAmbientColor[0] = mMeshSettings->ambientlight.r;
    mAmbientColor[1] = mMeshSettings->ambientlight.g;
    mAmbientColor[2] = mMeshSettings->ambientlight.b;

    if (!FetchByIndex(mDatabase, mMeshes, GetMeshCount3ds(mDatabase), GetMeshByIndex3ds, failed))
        return false;
    mMeshAttributes.assign(mMeshes.size(), nullptr);
    if (mLights)
    {
        if (!FetchByIndex(mDatabase, mOmnilights, GetOmnilightCount3ds(mDatabase), GetOmnilightByIndex3ds, failed))
            return false;
        mOmnilightAttributes.assign(mOmnilights.size(), nullptr);
        if (!FetchByIndex(mDatabase, mSpotlights, GetSpotlightCount3ds(mDatabase), GetSpotlightByIndex3ds, failed))
            return false;
        mSpotlightAttributes.assign(mSpotlights.size(), nullptr);
        mSpotlightTargets.assign(mSpotlights.size(), nullptr);
    }
    if (mCameras)
    {
        if (!FetchByIndex(mDatabase, mCameras3ds, GetCameraCount3ds(mDatabase), GetCameraByIndex3ds, failed))
            return false;
        mCameraAttributes.assign(mCameras3ds.size(), nullptr);
        mCameraTargets.assign(mCameras3ds.size(), nullptr);
    }
    if (!FetchByIndex(mDatabase, mMaterials, GetMaterialCount3ds(mDatabase), GetMaterialByIndex3ds, failed))
        return false;

    // Keyframer nodes; a file without them gets one empty motion per object,
    // named after it.
    auto motions = [&](auto& out, ulong3ds count, auto get, const auto& objects, auto init) {
        if (count > 0)
            return FetchByIndex(mDatabase, out, count, get, failed);
        out.assign(objects.size(), nullptr);
        for (size_t i = 0; i < objects.size(); ++i)
        {
            init(&out[i]);
            if (failed())
                return false;
            CopyName3ds(out[i]->name, sizeof out[i]->name, objects[i]->name);
        }
        return true;
    };
    if (!motions(mObjectMotions, GetObjectNodeCount3ds(mDatabase), GetObjectMotionByIndex3ds, mMeshes,
                 [](objectmotion3ds** m) { InitObjectMotion3ds(m, 0, 0, 0, 0, 0); }))
        return false;
    mObjectMotionNodes.assign(mObjectMotions.size(), nullptr);
    if (mLights)
    {
        if (!motions(mOmnilightMotions, GetOmnilightNodeCount3ds(mDatabase), GetOmnilightMotionByIndex3ds, mOmnilights,
                     [](omnimotion3ds** m) { InitOmnilightMotion3ds(m, 0, 0); }))
            return false;
        mOmnilightMotionNodes.assign(mOmnilightMotions.size(), nullptr);
        if (!motions(mSpotlightMotions, GetSpotlightNodeCount3ds(mDatabase), GetSpotlightMotionByIndex3ds, mSpotlights,
                     [](spotmotion3ds** m) { InitSpotlightMotion3ds(m, 0, 0, 0, 0, 0, 0); }))
            return false;
        mSpotlightMotionNodes.assign(mSpotlightMotions.size(), nullptr);
        mSpotlightMotionTargetNodes.assign(mSpotlightMotions.size(), nullptr);
    }
    if (mCameras)
    {
        if (!motions(mCameraMotions, GetCameraNodeCount3ds(mDatabase), GetCameraMotionByIndex3ds, mCameras3ds,
                     [](cameramotion3ds** m) { InitCameraMotion3ds(m, 0, 0, 0, 0); }))
            return false;
        mCameraMotionNodes.assign(mCameraMotions.size(), nullptr);
        mCameraMotionTargetNodes.assign(mCameraMotions.size(), nullptr);
    }
    // Every record is copied out of the file now; bytes of it lost on the
    // way (another program cut it short) are damage.
    CheckDatabaseImage3ds(mDatabase);
    return !failed();
}

bool KQoxReader3DS::ImportScene(KQoxScene& scene)
{
    mScene = &scene;
    const KQoxColor ambient = mAmbientLight ? KQoxColor(mAmbientColor[0], mAmbientColor[1], mAmbientColor[2], 1.0)
                                            : KQoxColor(0.0, 0.0, 0.0, 1.0);
    scene.GetGlobalLightSettings().SetAmbientColor(ambient);

    const background3ds* background = FileBackground();
    const KQoxColor solid(background->solid.r, background->solid.g, background->solid.b, 1.0);
    KQoxGlobalCameraSettings& cameras = scene.GetGlobalCameraSettings();
    KQoxCamera* producers[] = {cameras.GetCameraProducerBack(),        cameras.GetCameraProducerBottom(),
                               cameras.GetCameraProducerFront(),       cameras.GetCameraProducerLeft(),
                               cameras.GetCameraProducerPerspective(), cameras.GetCameraProducerRight(),
                               cameras.GetCameraProducerTop()};
    for (KQoxCamera* producer : producers)
        if (producer)
            producer->SetDefaultBackgroundColor(solid);

    if (mMaterialsFlag && !ImportMaterials())
        return false;
    if (!ImportAllObjects() || !Create3DSNodeToKModelLookup())
        return false;
    if (mReferenceNodeFlag)
    {
        mReferenceNode = mManager.CreateKQoxNode(kReferenceNodeName);
        if (mReferenceNode)
        {
            scene.GetRootNode()->AddChild(mReferenceNode);
            mReferenceNode->SetDefaultS(KQoxVector4(mScaleFactor, mScaleFactor, mScaleFactor, 1.0));
        }
    }
    if (!ImportMeshHierarchy(scene))
        return false;
    ImportOmnilightHierarchy(scene);
    ImportSpotlightHierarchy(scene);
    ImportCameraHierarchy(scene);
    if (!ImportMeshAnim() || !ImportOmnilightAnim() || !ImportSpotlightAnim() || !ImportCameraAnim())
        return false;

    // The take spans the keys; without any (or with keys at one instant
    // only, as static light and camera tracks leave at time 0) it spans the
    // default length.
    KTime start = KTIME_INFINITE;
    KTime stop = KTIME_MINUS_INFINITE;
    scene.GetRootNode()->GetAnimationInterval(start, stop);
    if (!(start < stop))
    {
        start.SetTime(0, 0, 0, 0, 0, kTimeMode);
        stop.SetTime(0, 0, 0, kDefaultTakeFrames, 0, kTimeMode);
    }
    KQoxTakeInfo take;
    take.Name = kTakeName;
    take.LocalTimeSpan.Set(start, stop);
    take.ReferenceTimeSpan.Set(start, stop);
    scene.SetTakeInfo(take);
    scene.SetCurrentTake(kTakeName);
    return true;
}

bool KQoxReader3DS::ImportAllObjects()
{
    for (size_t i = 0; i < mMeshes.size(); ++i)
    {
        mMeshAttributes[i] = mManager.CreateKQoxMesh();
        if (mMeshAttributes[i] && mMeshes[i]->nfaces > 0)
            ConvertMesh3DStoPB(mMeshes[i], mMeshAttributes[i]);
    }
    for (size_t i = 0; i < mOmnilights.size(); ++i)
    {
        mOmnilightAttributes[i] = mManager.CreateKQoxLight();
        if (mOmnilightAttributes[i])
            ConvertOmnilight3DStoPB(mOmnilights[i], mOmnilightAttributes[i]);
    }
    for (size_t i = 0; i < mSpotlights.size(); ++i)
    {
        mSpotlightAttributes[i] = mManager.CreateKQoxLight();
        mSpotlightTargets[i] = mManager.CreateKQoxMarker();
        if (mSpotlightAttributes[i])
            ConvertSpotlight3DStoPB(mSpotlights[i], mSpotlightAttributes[i]);
    }
    for (size_t i = 0; i < mCameras3ds.size(); ++i)
    {
        mCameraAttributes[i] = mManager.CreateKQoxCamera();
        mCameraTargets[i] = mManager.CreateKQoxMarker();
        if (mCameraAttributes[i])
            ConvertCamera3DStoPB(mCameras3ds[i], mCameraAttributes[i]);
    }
    return true;
}

const background3ds* KQoxReader3DS::FileBackground()
{
    if (!mBackground)
    {
        InitBackground3ds(&mBackground);
        if (mDatabase)
            GetBackground3ds(mDatabase, &mBackground);
    }
    return mBackground;
}

void KQoxReader3DS::ReleaseRecords()
{
    ReleaseAll(mMeshes, RelMeshObj3ds);
    ReleaseAll(mOmnilights, ReleaseLight3ds);
    ReleaseAll(mSpotlights, ReleaseLight3ds);
    ReleaseAll(mCameras3ds, ReleaseCamera3ds);
    ReleaseAll(mMaterials, ReleaseMaterial3ds);
    ReleaseAll(mObjectMotions, ReleaseObjectMotion3ds);
    ReleaseAll(mOmnilightMotions, ReleaseOmnilightMotion3ds);
    ReleaseAll(mSpotlightMotions, ReleaseSpotlightMotion3ds);
    ReleaseAll(mCameraMotions, ReleaseCameraMotion3ds);
    if (mBackground)
        ReleaseBackground3ds(&mBackground);
    if (mMeshSettings)
        ReleaseMeshSet3ds(&mMeshSettings);
    if (mDatabase)
        ReleaseDatabase3ds(&mDatabase);
    // What was made of the records belongs to the manager.
    mMeshAttributes.clear();
    mObjectMotionNodes.clear();
    mOmnilightAttributes.clear();
    mOmnilightMotionNodes.clear();
    mSpotlightAttributes.clear();
    mSpotlightTargets.clear();
    mSpotlightMotionNodes.clear();
    mSpotlightMotionTargetNodes.clear();
    mCameraAttributes.clear();
    mCameraTargets.clear();
    mCameraMotionNodes.clear();
    mCameraMotionTargetNodes.clear();
    mMaterialTexturePairs.clear();
    mMaterialTextures.clear();
    mMaterialsByName.clear();
    mOmnilightMotionLights.clear();
    mSpotlightMotionLights.clear();
    mNodesByName.clear();
    mReferenceNode = nullptr;
}

bool KQoxReader3DS::CleanupRead()
{
    ReleaseRecords();
    bool ok = !ToolkitFailed();
    if (mFile)
    {
        CloseFile3ds(mFile);
        mFile = nullptr;
        ok = !ToolkitFailed() && ok;
    }
    ClearErrList3ds();
    return ok;
}

} // namespace qoxsdk_600
