#ifndef QOX_FORMATS_3DS_KQOXWRITER3DS_H
#define QOX_FORMATS_3DS_KQOXWRITER3DS_H

// KQoxWriter3DS writes a scene as one 3DS file through the 3DS chunk toolkit:
// the meshes (NURBS and patches triangulated) with their materials and
// texture maps, omni lights, spot lights and cameras, the editor settings,
// and a keyframer section that samples every node's motion at 30 frames per
// second from time 0. Y-up scene axes become the Z-up axes of 3DS: a point
// (X, Y, Z) is written (X, -Z, Y), a scaling (X, Z, Y).
//
// Names: the nodes and materials of the scene written get 3DS names of at
// most 10 and 15 characters, unique across both (see InitWrite); other
// scenes of the manager play no part. The caller's scene is never changed:
// names, triangulations, unwelded copies and the "Default" material of a
// textured mesh without material live only in the writer.
//
// The toolkit keeps its state per thread: one 3DS reader or writer may work
// on a thread at a time, and writers on different threads do not meet.

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fileio/kqoxio.h"
#include "formats/ftk3ds/ftk3ds.h"
#include "formats/kqoxdeformedgeometry.h"
#include "formats/kqoxtexturecopy.h"

#include "base/kstagedfiles.h"
#include "base/ktime.h"

class KFCurve;

namespace qoxsdk_600 {

class KQoxCamera;
class KQoxLight;
class KQoxMaterial;
class KQoxMesh;
class KQoxNode;
class KQoxObject;
class KQoxScene;
class KQoxTexture;

// Frees a toolkit record with its matching Release call.
struct K3dsRecordRelease
{
    void operator()(mesh3ds* p) const { RelMeshObj3ds(&p); }
    void operator()(material3ds* p) const { ReleaseMaterial3ds(&p); }
    void operator()(light3ds* p) const { ReleaseLight3ds(&p); }
    void operator()(camera3ds* p) const { ReleaseCamera3ds(&p); }
    void operator()(objectmotion3ds* p) const { ReleaseObjectMotion3ds(&p); }
    void operator()(omnimotion3ds* p) const { ReleaseOmnilightMotion3ds(&p); }
    void operator()(spotmotion3ds* p) const { ReleaseSpotlightMotion3ds(&p); }
    void operator()(cameramotion3ds* p) const { ReleaseCameraMotion3ds(&p); }
    void operator()(meshset3ds* p) const { ReleaseMeshSet3ds(&p); }
    void operator()(kfsets3ds* p) const { ReleaseKfSets3ds(&p); }
    void operator()(background3ds* p) const { ReleaseBackground3ds(&p); }
    void operator()(database3ds* p) const { ReleaseDatabase3ds(&p); }
};
template <class T>
using K3dsPtr = std::unique_ptr<T, K3dsRecordRelease>;

class KQoxWriter3DS : public KQoxWriter, public KQoxDeformedGeometry
{
public:
    explicit KQoxWriter3DS(KQoxSdkManager& manager);
    // Drops a file not completed by Write or FileClose: the target keeps
    // its contents.
    ~KQoxWriter3DS() override;

    // Creates the file through the toolkit, under a temporary name (see
    // base/kstagedfiles.h) that Write puts onto the target once the file and
    // its copied images are complete. Error 2 "File not created", false,
    // for a null name or when the file cannot be created, its text naming a
    // known cause ("File not created: the folder is not writable").
    bool FileCreate(const char* name) override;
    // Closes and moves the file when Write has not already; false (error 3
    // "Out of disk space") when closing fails, the target then kept.
    bool FileClose() override;
    // True while a created file has not been written and closed.
    bool IsFileOpen() override { return mFile != nullptr; }
    // A new KStreamOptions3ds with its defaults; the caller owns it.
    KStreamOptions* GetWriteOptions() override;
    // Writes the scene and closes the file. Options of another kind record
    // error 4 "Stream options not set" and the write goes on with the
    // current switches. Failures: error 1 "File not opened" (no file),
    // 3 "Out of disk space" (a write, the close or an image copy failed),
    // 2 "File not created" (an image copy, or the move onto the target,
    // failed), 5 "Unidentified error" (any other toolkit failure); every
    // file of the export is then removed and the old files stay.
    // Success or not, everything fetched from the toolkit is released and
    // its error state reset.
    bool Write(KQoxScene& scene, KStreamOptions* options) override;

    // Steps of Write. InitWrite reads the options, makes the database and
    // gives every node and material of the scene its 3DS name;
    // ExportQoxNode converts a node and its subtree; CleanupWrite writes the
    // database to the file.
    bool InitWrite(KStreamOptions* options);
    void ExportQoxNode(KQoxNode* node);
    bool CleanupWrite();

    // The 3DS name given to a node or material by InitWrite; for an object
    // InitWrite did not name, its name without namespace prefix, cut to
    // maxLength.
    std::string Get3dsName(KQoxObject* object, int maxLength = 10) const;
    // Makes base unique among every 3DS name given so far (compared without
    // regard to case) within maxLength characters, records and returns it.
    std::string MakeUniqueName(const std::string& base, int maxLength);

    // ---- Meshes ----

    // One mesh as 3DS triangle meshes: one record, or several when it has
    // more than 65,535 vertices or triangles (each portion then holds only the
    // vertices its faces use; the first keeps `name`, the others get unique
    // names). t, r and s are the node's transform in scene axes. Material
    // records of the combinations used are put into the database (when
    // there is one). Empty for a null mesh or one without polygons or points.
    std::vector<K3dsPtr<mesh3ds>> ConvMeshPBto3DS(KQoxMesh* mesh, const KQoxVector4& t, const KQoxVector4& r,
                                                  const KQoxVector4& s, const char* name);
    // An unwelded copy: every polygon vertex becomes a control point with its
    // UV at the same index. Made by the SDK manager; the caller destroys it
    // with DestroyKQoxNodeAttribute.
    KQoxMesh* VertexToPoint(KQoxMesh* mesh);
    // The number of meshes converted so far.
    int GetExportedMeshCount() const { return mExportedMeshCount; }

    // ---- Materials ----

    // The material record of one combination of layer 0: material index,
    // texture index and second texture index (out of range: none).
    K3dsPtr<material3ds> ConvMaterialPBto3DS(KQoxMesh* mesh, int material, int texture, int texture2);
    // The same from the objects themselves (any may be null).
    K3dsPtr<material3ds> ConvMaterialPBto3DS(KQoxMaterial* material, KQoxTexture* texture, KQoxTexture* texture2,
                                             int materialIndex, int textureIndex, int texture2Index);
    // Copies a texture image beside the written file with the export, never
    // over an existing file and under a name that fits a map's field (see
    // kqoxtexturecopy.h), the copy's file name in copyName; a failure is
    // noted in the message string, and one in writing the copy fails the
    // write. renamed: this call gave the image its copy under another name.
    bool CopyTextureFile(const char* path, KString& copyName, bool& renamed);

    // ---- Lights, cameras, transforms ----

    K3dsPtr<light3ds> ConvOmnilightPBto3DS(KQoxLight* light, const KQoxVector4& t, const char* name);
    K3dsPtr<light3ds> ConvSpotlightPBto3DS(KQoxLight* light, const KQoxVector4& t, const KQoxVector4& r,
                                           const char* name);
    // Also replaces the database's background colour by the camera's.
    K3dsPtr<camera3ds> ConvCameraPBto3DS(KQoxCamera* camera, const KQoxVector4& t, const char* name);
    // (X, -Z, Y).
    static void ConvTPBto3DS(double* out, const KQoxVector4& t);
    // Euler XYZ degrees re-expressed in 3DS axes.
    static void ConvRPBto3DS(double* out, const KQoxVector4& r);
    // (X, Z, Y).
    static void ConvSPBto3DS(double* out, const KQoxVector4& s);

    // ---- Key tracks: one key per frame i (0 .. count - 1) at i/30 s ----

    static int Create3DSTransDataFromTCB(keyheader3ds* keys, point3ds* values, KFCurve* x, KFCurve* y, KFCurve* z,
                                         unsigned int count);
    // Each key holds the rotation from the previous key's orientation.
    static int Create3DSRotDataFromTCB(keyheader3ds* keys, kfrotkey3ds* values, KFCurve* x, KFCurve* y, KFCurve* z,
                                       unsigned int count);
    static int Create3DSScaleDataFromTCB(keyheader3ds* keys, point3ds* values, KFCurve* x, KFCurve* y, KFCurve* z,
                                         unsigned int count);
    static int Create3DSColorDataFromTCB(keyheader3ds* keys, fcolor3ds* values, KFCurve* r, KFCurve* g, KFCurve* b,
                                         unsigned int count);
    static int Create3DSScalarDataFromTCB(keyheader3ds* keys, float* values, KFCurve* curve, unsigned int count);

    // ---- Keyframer records ----

    K3dsPtr<objectmotion3ds> ConvMeshNodePBto3DS(KQoxNode* node);
    K3dsPtr<omnimotion3ds> ConvOmnilightNodePBto3DS(KQoxNode* node);
    K3dsPtr<spotmotion3ds> ConvSpotlightNodePBto3DS(KQoxNode* node);
    K3dsPtr<cameramotion3ds> ConvCameraNodePBto3DS(KQoxNode* node);

    // The number of keys of a node's tracks: the last key frame of its
    // current take at 30 frames per second, plus 1 (1 with animation off).
    int GetFrameCount(KQoxNode* node, bool ignoreAnimationSwitch = false);
    // The last frame of the animation (the keyframer length).
    long long GetAnimationLength() const { return mAnimationStop.GetFrame(true, 6); }
    bool GetAnimationSwitch() const { return mAnimation; }
    // The database being filled (null outside Write).
    database3ds* GetDatabase() const { return mDatabase.get(); }

private:
    class CurveSet;
    struct LightTracks;
    struct MeshFaces;
    bool Failed();
    bool FailWith(int errorId);
    // FileCreate's, FileClose's and Write's work.
    bool CreateFile(const char* name);
    bool CloseFile();
    bool WriteScene(KQoxScene& scene, KStreamOptions* options);
    void ClearToolkitState();
    void ReleaseWrite();
    void NameObjects();
    void ExportGeometry(KQoxNode* node, const KQoxVector4& t, const KQoxVector4& r, const KQoxVector4& s);
    void ExportDummy(KQoxNode* node);
    void LocalTransform(KQoxNode* node, KQoxVector4& t, KQoxVector4& r, KQoxVector4& s);
    std::string MeshParentName(KQoxNode* node);
    std::string ObjectParentName(KQoxNode* parent);
    KQoxMaterial* DefaultMaterial();
    void WriteMaterialList(KQoxMesh* mesh, MeshFaces& faces, std::vector<std::string>& names);
    KQoxNode* TargetTrack(KQoxNode* node, int n, CurveSet& curves, KFCurve** out, int& count);
    bool StartLightTracks(KQoxNode* node, LightTracks& tracks);

    // Switches read from the options.
    bool mTextureMapping = true;
    bool mMaterials = true;
    bool mAnimationOption = true;
    bool mGeometries = true;
    bool mLights = true;
    bool mCameras = true;
    bool mAmbientLight = true;
    bool mUVPerPolygon = false;
    bool mReferenceNode = false;
    bool mRescale = true;

    file3ds* mFile = nullptr;
    std::string mFileName; // the target
    KStagedFiles mStaged;  // the file and its images, moved when complete
    KTextureCopies mTextureCopies; // the images copied by this save
    int mCopyError = -1;   // the error of an image copy that failed
    const char* mCopyCause = nullptr; // why, in words, when known
    K3dsPtr<database3ds> mDatabase;
    K3dsPtr<meshset3ds> mMeshSettings;
    double mMasterScale = 1.0;
    int mExportedMeshCount = 0;
    KQoxScene* mScene = nullptr;
    KQoxNode* mRootNode = nullptr;
    KTime mAnimationStart;
    KTime mAnimationStop;
    bool mAnimation = true;

    std::map<const KQoxObject*, std::string> mNames; // 3DS names by object
    std::set<std::string> mUsedNames;                // every 3DS name given, lower case
    KQoxMaterial* mDefaultMaterial = nullptr;        // made by the manager, destroyed after the write
};

} // namespace qoxsdk_600

#endif
