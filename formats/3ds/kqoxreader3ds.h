#ifndef QOX_FORMATS_3DS_KQOXREADER3DS_H
#define QOX_FORMATS_3DS_KQOXREADER3DS_H

// KQoxReader3DS reads one 3DS file into a scene through the 3DS chunk
// toolkit. It never touches chunks: the toolkit hands it plain records
// (meshes, lights, cameras, materials, keyframer nodes, settings) and the
// reader converts them, in this order, into the scene's ambient light and
// producer backgrounds, materials and textures, node attributes, nodes and
// their hierarchy, and animation curves of the one take "default take".
//
// Conventions of the conversion: 3DS is Z-up, the scene Y-up, so a point or
// axis (x, y, z) becomes (x, z, -y) and a scaling (x, y, z) becomes
// (x, z, y). Key frames stand at 30 frames per second from time 0. The unit
// scale ("Rescale": 2.54, times the file's master scale when positive) goes
// into every position, or into the "Qox_Root" reference node when "Create
// Reference Node" is on.
//
// Every read releases what it fetched from the toolkit and leaves the
// toolkit's error state clear, whether it succeeds or not. A failure of the
// toolkit is recorded as error 0 "File is corrupted" (damaged or truncated
// data) or 7 "Unidentified error" (anything else, out of memory included),
// with the toolkit's own description appended to the message text.

#include <string>
#include <unordered_map>
#include <vector>

#include "fileio/kqoxio.h"
#include "formats/ftk3ds/ftk3ds.h"

class KFCurve;

namespace qoxsdk_600 {

class KQoxCamera;
class KQoxLight;
class KQoxMaterial;
class KQoxMarker;
class KQoxMesh;
class KQoxNode;
class KQoxTexture;

class KQoxReader3DS : public KQoxReader
{
public:
    // The textures made for one 3DS material from its first and second map;
    // either may be null.
    struct KTexturePair
    {
        KQoxTexture* mFirst = nullptr;
        KQoxTexture* mSecond = nullptr;
    };

    explicit KQoxReader3DS(KQoxSdkManager& manager);
    // Closes the file and releases whatever a read left behind.
    ~KQoxReader3DS() override;

    // Opens the file for the toolkit (closing an open one first). False,
    // with error 3 "File not opened", for a null name, a directory or a file
    // the toolkit cannot open.
    bool FileOpen(const char* fileName) override;
    // Closes the file when one is open; true.
    bool FileClose() override;
    // True while a file is open (every read closes it).
    bool IsFileOpen() override { return mFile != nullptr; }
    // A new KStreamOptions3ds with its defaults; the caller owns it.
    KStreamOptions* GetReadOptions(bool parseFileAsNeeded) override;
    // Reads the open file into the scene. Options that are missing or not a
    // KStreamOptions3ds: error 6 "Stream options not set", and the read goes
    // on with the option flags as they were; otherwise the flags are taken
    // from the options (on when an option is exactly 1) and the options'
    // take name becomes "default take". False when the toolkit fails (see
    // the header comment) or a material cannot be made.
    bool Read(KQoxScene& scene, KStreamOptions* options) override;

    // The conversion of the fetched records into scene content, in the
    // order given at the top; false when the material import fails. The
    // take "default take" spans the keys, or frames 0 to 150 (at 30 frames
    // per second) when there are no keys at two different times; it is
    // stored in the scene and made current.
    virtual bool ImportScene(KQoxScene& scene);
    // One mesh attribute per mesh (converted when it has faces), one light
    // per omni light, a light and a target marker per spotlight, a camera
    // and a target marker per camera; true.
    virtual bool ImportAllObjects();
    // Releases the fetched records, the settings, the database and the
    // material textures, and closes the toolkit's files; false when the
    // toolkit reported a failure on the way.
    bool CleanupRead();

    // Materials and textures --------------------------------------------------
    // One material per 3DS material record, with a texture for its first map
    // and, when it has one, for its second; the material and the pair are
    // kept per material name for the meshes, which use only the materials
    // of their read. False when the manager cannot make a material.
    bool ImportMaterials();
    // The texture pair made for a 3DS material name (compared without regard
    // to case); null when there is none.
    const KTexturePair* FindTexturePair(const char* materialName) const;
    // The image file a map name stands for, from the folder of the file
    // read (see KFindFileFrom); "" when it names none.
    KString MapFile(const std::string& name) const;

    // Node attributes ---------------------------------------------------------
    // Fills the mesh: control points split by smoothing group (one per
    // vertex when "Smooth Group" is off or the mesh has no groups), one
    // triangle per face in face order, control-point normals, layer 0's UVs
    // by polygon vertex and its material and texture indices by polygon, and
    // layer 1 when a material of the mesh has a second texture. Indices out
    // of range in the record are skipped, never followed. Null source:
    // nothing. True.
    bool ConvertMesh3DStoPB(mesh3ds* source, KQoxMesh* mesh);
    // Point light; true.
    bool ConvertOmnilight3DStoPB(light3ds* source, KQoxLight* light);
    // Spot light, with the projector bitmap as its file name when the
    // projector is on; true.
    bool ConvertSpotlight3DStoPB(light3ds* source, KQoxLight* light);
    // Near plane = scale x near range, far plane = scale x far range x 10,
    // focal length = 2400 / field of view (left as it is for a field of view
    // that is not positive), aperture mode "Horizontal", background colour
    // the file's solid background; true.
    bool ConvertCamera3DStoPB(camera3ds* source, KQoxCamera* camera);

    // Nodes and hierarchy -----------------------------------------------------
    // Makes every node of the keyframer records and attaches the converted
    // attributes: mesh records by mesh name ("Geometries" on), lights and
    // cameras by name ("Lights", "Camera" on); records without a match get
    // empty nodes. Further nodes of one mesh get their own copy of it; each
    // node's pivot is taken off its own mesh. True.
    bool Create3DSNodeToKModelLookup();
    // Makes the node a child of the first node named parentName; false when
    // there is none or the node cannot go there (it would become its own
    // ancestor).
    bool UniteWithParent(KQoxNode* node, const char* parentName);
    // Place each node under its named parent, else under the base node (the
    // reference node when one was made, else the scene's root). Spotlights
    // and cameras also place their target node and aim at it. True.
    bool ImportMeshHierarchy(KQoxScene& scene);
    bool ImportOmnilightHierarchy(KQoxScene& scene);
    bool ImportSpotlightHierarchy(KQoxScene& scene);
    bool ImportCameraHierarchy(KQoxScene& scene);

    // Animation ---------------------------------------------------------------
    // Per node of a kind, in keyframer order: the take node "default take"
    // is made current and the node's tracks become curves; lights get their
    // default intensity from their multiplier. True.
    bool ImportMeshAnim();
    bool ImportOmnilightAnim();
    bool ImportSpotlightAnim();
    bool ImportCameraAnim();

    // Track converters: a track with at least two keys (and its key and
    // value arrays) becomes curve keys when "Anim" is on; otherwise only its
    // first value counts (the defaults below without one) and it sets the
    // node's default or, for the attribute tracks, one key at time 0 and the
    // attribute's default. Keys at a frame not after the last accepted one
    // are skipped. Curves the node's take does not have are skipped. True.
    // Translation (x, z, -y), scaled unless "Create Reference Node" is on;
    // default (0, 0, 0).
    bool CreateTransDataFrom3DSAnim(KQoxNode* node, unsigned long count, keyheader3ds* keys, point3ds* values);
    // Each key is the rotation since the previous one (the first is
    // absolute): the accumulated orientation as Euler XYZ degrees, unrolled;
    // default no rotation.
    bool CreateRotDataFrom3DSAnim(KQoxNode* node, unsigned long count, keyheader3ds* keys, kfrotkey3ds* values);
    // Scaling (x, z, y); default (1, 1, 1).
    bool CreateScaleDataFrom3DSAnim(KQoxNode* node, unsigned long count, keyheader3ds* keys, point3ds* values);
    // Light (or target marker) colour; default white.
    bool CreateColorDataFrom3DSAnim(KQoxNode* node, unsigned long count, keyheader3ds* keys, fcolor3ds* values);
    // Spot hotspot as the light's cone angle; default 45.
    bool CreateScalarDataFrom3DSAnim(KQoxNode* node, unsigned long count, keyheader3ds* keys, float3ds* values);
    // Camera field of view; default 45.
    bool CreateFOVDataFrom3DSAnim(KQoxNode* node, unsigned long count, keyheader3ds* keys, float3ds* values);
    // Camera roll; default 0.
    bool CreateRollDataFrom3DSAnim(KQoxNode* node, unsigned long count, keyheader3ds* keys, float3ds* values);

protected:
    // The option flags; the defaults are those of KStreamOptions3ds.
    bool mTextureMapping = true;     // option 8
    bool mMaterialsFlag = true;      // option 7
    bool mAnimation = true;          // option 9
    bool mGeometries = true;         // option 10
    bool mLights = true;             // option 11
    bool mCameras = true;            // option 12
    bool mReduceKeys = false;        // option 15
    bool mAmbientLight = true;       // option 13
    bool mSmoothGroup = true;        // option 16
    bool mReferenceNodeFlag = false; // option 1
    bool mRescale = true;            // option 14

    file3ds* mFile = nullptr;
    // The absolute folder of the file opened last: the map names of its
    // materials are taken from there.
    std::string mFolder;
    database3ds* mDatabase = nullptr;
    meshset3ds* mMeshSettings = nullptr;
    background3ds* mBackground = nullptr; // the file's background, for the cameras
    double mScaleFactor = 1.0;
    float mAmbientColor[3] = {0.0f, 0.0f, 0.0f};

    // Records fetched by index (owned until CleanupRead), each with what was
    // made of it at the same position.
    std::vector<mesh3ds*> mMeshes;
    std::vector<KQoxMesh*> mMeshAttributes;
    std::vector<objectmotion3ds*> mObjectMotions;
    std::vector<KQoxNode*> mObjectMotionNodes;
    KQoxNode* mReferenceNode = nullptr; // "Qox_Root" when made
    std::vector<material3ds*> mMaterials;
    std::vector<light3ds*> mOmnilights;
    std::vector<KQoxLight*> mOmnilightAttributes;
    std::vector<omnimotion3ds*> mOmnilightMotions;
    std::vector<KQoxNode*> mOmnilightMotionNodes;
    std::vector<light3ds*> mSpotlights;
    std::vector<KQoxLight*> mSpotlightAttributes;
    std::vector<KQoxMarker*> mSpotlightTargets;
    std::vector<spotmotion3ds*> mSpotlightMotions;
    std::vector<KQoxNode*> mSpotlightMotionNodes;
    std::vector<KQoxNode*> mSpotlightMotionTargetNodes;
    std::vector<camera3ds*> mCameras3ds;
    std::vector<KQoxCamera*> mCameraAttributes;
    std::vector<KQoxMarker*> mCameraTargets;
    std::vector<cameramotion3ds*> mCameraMotions;
    std::vector<KQoxNode*> mCameraMotionNodes;
    std::vector<KQoxNode*> mCameraMotionTargetNodes;
    // Per material index, the textures made for it; and by lower-cased
    // material name, the position of the first material of that name.
    std::vector<KTexturePair> mMaterialTexturePairs;
    std::unordered_map<std::string, size_t> mMaterialTextures;
    // The materials made by this read, by 3DS name; the first of a name.
    std::unordered_map<std::string, KQoxMaterial*> mMaterialsByName;
    // Per light motion, the light record of its name (-1: none).
    std::vector<long> mOmnilightMotionLights;
    std::vector<long> mSpotlightMotionLights;
    // The nodes made by this read, by full name; the first of a name.
    std::unordered_map<std::string, KQoxNode*> mNodesByName;

private:
    // Fetches every record of the file; false when the toolkit failed.
    bool FetchRecords();
    // True (after recording the reader's error) when the last toolkit call
    // failed.
    bool ToolkitFailed();
    // Releases the records and the toolkit state of a read.
    void ReleaseRecords();
    // The file's background record (fetched once; the toolkit's defaults
    // without a database or an editor section).
    const background3ds* FileBackground();
    // The node every node without another parent goes under.
    KQoxNode* BaseNode(KQoxScene& scene);
    // Places a spotlight or camera node and its target node.
    void PlaceAimedNode(KQoxScene& scene, KQoxNode* node, KQoxNode* target, const std::string& parent,
                        const std::string& targetParent);
    // Makes a node of the read, found by name by UniteWithParent.
    KQoxNode* MakeNode(const std::string& name);
    // Makes the take "default take" current on the node; false for null.
    bool BeginTake(KQoxNode* node);
    // Curve keys from a keyed track: values(i, out) writes the curve values
    // of key i into out[0 .. curveCount - 1].
    template <class Values>
    void KeyTrack(KFCurve** curves, int curveCount, unsigned long count, const keyheader3ds* keys, Values values);
    void ReduceKeys(KFCurve** curves, int count);
    bool IsKeyed(unsigned long count, const void* keys, const void* values) const;
    // One scalar attribute track (hotspot, field of view, roll).
    void ScalarTrack(KQoxNode* node, KFCurve* curve, unsigned long count, keyheader3ds* keys, float3ds* values,
                     float defaultValue, void (*setDefault)(KQoxNode*, double));

    KQoxScene* mScene = nullptr; // the scene of the read in progress
};

} // namespace qoxsdk_600

#endif
