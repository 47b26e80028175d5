#ifndef QOX_PLUGIN_IMPORT_QOXZELTIMPORT_H
#define QOX_PLUGIN_IMPORT_QOXZELTIMPORT_H

// QoxZeltImport: one native file opened for import into the host. It owns
// its SDK manager and, through OpenProject, the importer that the take
// queries read. Import() reads the chosen take into an SDK scene and builds
// host objects from it: geometry, materials, animation and deformations. The
// passes share the state this object carries for one import (scene, log,
// node name set, flags, material cache).

#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/karray.h"
#include "base/kmath_kernels.h"
#include "base/kmath_types.h"
#include "base/kset.h"
#include "base/kstring.h"
#include "base/ktime.h"
#include "host/zanim.h"
#include "host/zbase.h"
#include "host/zfn.h"
#include "host/zgeometry.h"
#include "plugin/qoxzeltsdkmanager.h"
#include "scene/kqoxpluginbase.h"

class KFCurve;
namespace qoxsdk_600 {
class KQoxGeometry;
class KQoxImporter;
class KQoxLink;
class KQoxMesh;
class KQoxNode;
class KQoxNurb;
class KQoxPose;
class KQoxScene;
class KQoxTexture;
class KQoxUserProperty;
} // namespace qoxsdk_600

class QoxLogFile;
class QoxZeltNode;
class QoxZeltProgressMeter;

// A host shader made through the import object, under the material's name
// without namespace prefix.
struct MaterialShaderData
{
    KString mName;
    ZObject mShader;
};

// One material group of a geometry: its representative polygon (-1: the whole
// object), the host shader of its slot, and its distinct textures with the
// blend mode of the texture element each came from.
struct FaceAttributes
{
    qoxsdk_600::KQoxGeometry* geometry = nullptr;
    int polygonIndex = -1;
    ZObject shader;
    KArrayTemplate<int> blendModes;
    KArrayTemplate<qoxsdk_600::KQoxTexture*> textures; // not owned
};
typedef std::vector<std::unique_ptr<FaceAttributes>> FaceAttributesList;

// One node of a bind pose with a host transform: the host transform before
// the pose was applied, and the pose's (global) matrix.
struct TempPoseData
{
    QoxZeltNode* mNode = nullptr;
    KQoxXMatrix mHostMatrix;
    KQoxXMatrix mBindMatrix;
};
typedef std::vector<std::unique_ptr<TempPoseData>> PoseRecordList;
// Each bind pose of the scene with the records of its nodes.
typedef std::vector<std::pair<qoxsdk_600::KQoxPose*, PoseRecordList>> PoseRecordTable;
// The nodes of the name set by initial name without namespace prefix; the
// first in key order for a name met twice.
typedef std::unordered_map<std::string, QoxZeltNode*> PoseNodeIndex;

class QoxZeltImport : public qoxsdk_600::KQoxPluginImportBase
{
public:
    QoxZeltImport();
    ~QoxZeltImport() override;

    // ---- The object ----
    // Opens the file: a new importer initialised with the name (its header,
    // version and takes are read now). A file that cannot be opened shows as
    // no takes, and the failure carries the importer's error, kept as
    // GetOpenError; "No importer" when none can be made.
    ZStatus OpenProject(const ZString& fileName);
    // Why the file could not be opened; empty when it was (or none was named).
    const KString& GetOpenError() const { return mOpenError; }
    // Drops the importer and any scene; always success.
    ZStatus CloseProject();
    void SetTakeName(const char* name) { mTakeName = name ? name : ""; }
    const KString& GetTakeName() const { return mTakeName; }
    // Reads the selected take into a scene and creates the host objects.
    // Failure, with the open host scene as it was, when the file cannot be
    // read or add mode cannot get a new host scene; success otherwise.
    // Leaves no scene and no log behind, and keeps the importer. Memory
    // running out fails it with "Out of memory" (nothing is thrown; the host
    // scene may hold what was built before).
    ZStatus Import();

    // The text after the first "-f" argument; empty when there is none.
    static KString parseArgs(const ZArgList& args, ZStatus* status = nullptr);

    qoxsdk_600::KQoxImporter* GetImporter() { return mImporter; }
    QoxZeltSdkManager& GetSdkManager() { return mManager; }
    // The running import's log; null outside Import.
    QoxLogFile* GetLog() { return mLog.get(); }
    // The scene and its root while Import runs; null otherwise.
    qoxsdk_600::KQoxScene* GetScene() { return mScene; }
    QoxZeltNode* GetRootNode() { return mRootNode; }
    KCharPtrSet& GetNodeNameSet() { return mNodeNameSet; }
    bool IsOldVersionFile() const { return mOldVersion; }

    // ---- Root wrapper and world transform (KQoxPluginImportBase) ----
    bool IsAlternativeQoxRootNode(qoxsdk_600::KQoxNode* node) override;
    bool NeedQoxRoot(qoxsdk_600::KQoxNode* node) override;
    void ComputeWorldTransform(KgeAMatrix& world) override;
    void CustomApplyWorldTransform(qoxsdk_600::KQoxNode* node, KgeAMatrix& world, bool isIdentity) override;
    // Puts the kept world transform into the scene under the root.
    void PropagateWorldTransformToChildrenOf(qoxsdk_600::KQoxNode* root);
    // Warns about animated non-uniform scale above children whose scale
    // inheritance the host cannot show; always success.
    ZStatus CheckBadScale(QoxZeltNode& root);
    // Merges the control points of the subtree's meshes split per polygon-vertex normal.
    void MergeMeshOnNormalPerPolyVertex(qoxsdk_600::KQoxNode* node);

    // ---- Pivots ----
    void EnablePivotUse(QoxZeltNode* node);
    void DisablePivotUse(QoxZeltNode* node);
    void RemoveRotationPivot(qoxsdk_600::KQoxNode* node);
    void RemoveRotationPivotOnNotPresentNode(QoxZeltNode* node);
    void ValidatePreAndPostJoints(qoxsdk_600::KQoxNode* node);
    void SetZeltPivotsRecursive(qoxsdk_600::KQoxNode* node);

    // ---- Node name set and dispatch ----
    // Adds (name, node) for the node and its whole subtree.
    void AddPelbrinNodeArray(qoxsdk_600::KQoxNode* node);
    // Fills the set with every node below node, then removes the reserved
    // top-level cameras from the scene and camera targets from the set.
    void FillPelbrinNodeArray(qoxsdk_600::KQoxNode* node);
    // Host objects for every node of the set (not in exclusive merge), then
    // the root namespace; always success.
    ZStatus ImportGeometry();
    // The animation of the node and its subtree; always success.
    ZStatus ImportAnimation(QoxZeltNode& node);
    // Reports the nodes whose blend-shape animation failed (log and dialog).
    void DisplayBlendShapeImportWarningDialog();

    // ---- Geometry creation ----
    // Creates the node's host objects, its uncreated ancestors first; always success.
    ZStatus ImportGeometry(QoxZeltNode* node);
    // type: an SDK skeleton type 0 to 3, or -1 for the node's own.
    void CreateSkeletonGeometry(QoxZeltNode& node, int type);
    // The "locator" shape made, or a null object.
    ZObject CreateNullGeometry(QoxZeltNode* node);
    void CreateJointGeometry(QoxZeltNode* node);
    void CreateMeshGeometry(QoxZeltNode* node);
    // False when the colours did not fit the mesh or the host refused them.
    bool SetVertexColors(qoxsdk_600::KQoxMesh* mesh, ZFnMesh& fnMesh);
    void CreateNurbGeometry(QoxZeltNode* node);
    // The host creation data of a surface (host U = SDK V). The opened flags
    // are those of the SDK U and V directions; either may be null.
    void GetNURBData(qoxsdk_600::KQoxNurb* nurb, KQoxVector4* controlPoints, ZPointArray& points, ZDoubleArray& uKnots,
                     ZDoubleArray& vKnots, int& uDegree, int& vDegree, int& uForm, int& vForm, ZStatus* status,
                     bool* uOpened, bool* vOpened);
    void CreateCameraGeometry(QoxZeltNode& node);
    // Failure when the node's path is not a camera.
    ZStatus ImportAnimationCamera(QoxZeltNode& node);
    void CreateLightGeometry(QoxZeltNode& node);
    // Always success.
    ZStatus ImportAnimationLight(QoxZeltNode& node);

    // ---- Transform animation ----
    void ImportTransformAnimation(QoxZeltNode& node);
    void ImportTransformAnimation(ZFnTransform& transform, QoxZeltNode& node);
    void ImportRotationOrder(ZFnTransform& transform, QoxZeltNode& node);
    ZStatus ImportAnimationVisibility(QoxZeltNode& node);
    void ImportPivots(ZFnTransform& transform, QoxZeltNode& node);
    void ImportLimits(ZFnTransform& transform, QoxZeltNode& node);

    // ---- Curve conversion ----
    ZStatus SetZeltCurve(ZFnTransform& transform, const char* attribute, KFCurve& curve,
                         ZFnAnimCurve::AnimCurveType type, double valueDivisor, double slopeFactor, ZStatus* status);
    ZStatus SetZeltCurve(ZPlug& plug, KFCurve& curve, ZFnAnimCurve::AnimCurveType type, double valueDivisor,
                         double slopeFactor);
    ZStatus SetZeltCurve(ZFnAnimCurve& hostCurve, KFCurve& curve, double valueDivisor, double slopeFactor,
                         ZStatus* attachStatus);
    int GetInfinityType(int extrapolation) const;
    ZStatus SetRotationZeltCurve(ZFnTransform& transform, KFCurve** curves, ZEulerRotation::RotationOrder order);

    // ---- Default transform values ----
    void SetTransformVector(double* values, KFCurve** curves) const;
    void SetDefaultGeometry(QoxZeltNode& node, ZFnTransform& transform);

    // ---- User properties ----
    void AddUserProperties(ZFnTransform& transform, QoxZeltNode* node);
    void AddUserProperty(qoxsdk_600::KQoxUserProperty* property, ZFnTransform& transform, QoxZeltNode* node);
    ZStatus ImportUserProperties(QoxZeltNode& node);

    // ---- Shape animation ----
    void ImportShapeAnimation(QoxZeltNode& node);

    // ---- Materials and textures ----
    void BuildMaterialInformation(QoxZeltNode* node);
    ZString ConnectMaterialShader(ZObject& shaderList, char* name, ZObject& shader);
    void FillSetWith(ZString& setName, const char* member, ZStringArray result, bool force);
    void ConnectTexture(ZObject& shader, qoxsdk_600::KQoxTexture* texture, qoxsdk_600::KQoxGeometry* geometry);
    void ConnectTexture(ZPlug& destination, qoxsdk_600::KQoxTexture* texture, qoxsdk_600::KQoxGeometry* geometry);
    void ConnectLayeredTexture(FaceAttributes* record);

    // ---- Deformations ----
    void BuildClusterInformation(QoxZeltNode* node);
    void BuildSmoothBinding(QoxZeltNode* node, QoxLogFile* log, qoxsdk_600::KQoxSdkManager* manager,
                            KArrayTemplate<qoxsdk_600::KQoxLink*>* links);
    void BuildRigidBinding(QoxZeltNode* node, QoxLogFile* log, qoxsdk_600::KQoxSdkManager* manager,
                           KArrayTemplate<qoxsdk_600::KQoxLink*>* links);
    void BuildWeightedDeformers(QoxZeltNode* node, QoxLogFile* log, qoxsdk_600::KQoxSdkManager* manager,
                                KArrayTemplate<qoxsdk_600::KQoxLink*>* links);
    void SortControlPointsOnSmoothSkin(qoxsdk_600::KQoxLink* link);

    // ---- State of one import (read and written by the passes) ----
    QoxZeltSdkManager mManager;
    // Made by the manager in OpenProject, destroyed through it in CloseProject.
    qoxsdk_600::KQoxImporter* mImporter = nullptr;
    QoxZeltNode* mRootNode;                           // while Import runs
    qoxsdk_600::KQoxScene* mScene;                    // while Import runs
    KCharPtrSet mNodeNameSet;                         // node name -> node, case-insensitive order
    std::unique_ptr<QoxLogFile> mLog;                 // while Import runs
    KString mTakeName;                                // the take made current
    KString mOpenError;                               // the importer's error when the file did not open
    KTime mCurrentHostTime;                           // the host's current time, read by Import
    bool mOldVersion;                                 // the file needs the old pivot handling
    bool mLimitsOnce;                                 // the attribute editor was handled for limits
    int mLockedAttributeAnswer;                       // 0 unlock all, 1 ask, 2 keep all locked
    std::vector<MaterialShaderData> mMaterialCache;   // shaders made, by material name
    KArrayTemplate<QoxZeltNode*> mBlendShapeFailures; // not owned
    std::unique_ptr<KQoxXMatrix> mWorldMatrix;        // the world transform kept when not the identity

    // Import itself, which may throw std::bad_alloc.
    ZStatus ImportTake();

    // ---- Steps of Import, in order ----
    // A new log and an empty SDK scene for this import.
    void StartImport();
    // Logs the error and shows it in a dialog; the failure to return.
    ZStatus Fail(const KString& error);
    // Reads the file into the scene; failure (logged and shown) when it cannot.
    // Each line of what the read says is logged and shown as a warning.
    ZStatus ReadFile();
    void PassOnReadMessage();
    // Add mode: a new, empty host scene; failure (logged and shown) when the
    // host refuses it. The other modes keep the open scene.
    ZStatus PrepareHostScene(int mode);
    // The scene made ready for the host: old pivots, names, hard edges,
    // pairing with the open scene, the world transform and pivot conversion.
    void PrepareScene(int mode, QoxZeltProgressMeter& progress);
    // Host geometry, materials and animation, and the host time range.
    void BuildHostScene(int mode, QoxZeltProgressMeter& progress);
    void SetHostTimeRange();
    // Deformations built with the skinned nodes in their bind pose, then the
    // nodes taken back to their host transforms.
    void ImportDeformations(int mode, QoxZeltProgressMeter& progress);

    // ---- Bind-pose steps of Import ----
    // Old files with folded pivot nodes: bind pose entries take their "__Post_" matrix.
    void FixOldBindPoses(PoseRecordTable& poses);
    // The name set's nodes by the names bind poses give them.
    PoseNodeIndex IndexPoseNodes();
    // The records of one bind pose, parents first; moves the new nodes to the pose.
    void BuildPoseRecords(qoxsdk_600::KQoxPose& pose, PoseRecordList& records, bool foldPivots,
                          const PoseNodeIndex& nodes);

    // ---- Materials and shapes: steps of one geometry ----
    // Shaders, groups, members and textures of one geometry node.
    void BuildMaterials(QoxZeltNode& node, qoxsdk_600::KQoxGeometry* geometry, int type);
    // Faces into the slots' groups: by the polygon's material index, or by the
    // value most of its vertices carry.
    void AssignByPolygon(ZDagPath& path, qoxsdk_600::KQoxMesh* mesh, int count, std::vector<ZString>& groups,
                         std::vector<ZObject>& shaders, FaceAttributesList& records);
    void AssignByVertex(ZDagPath& path, qoxsdk_600::KQoxMesh* mesh, int mode, int count, std::vector<ZString>& groups,
                        std::vector<ZObject>& shaders, FaceAttributesList& records);
    // Builds blend-shape target index of a geometry node under a new hidden
    // transform; the deformer is renamed at the first target built.
    void BuildShapeTarget(QoxZeltNode& node, qoxsdk_600::KQoxGeometry* geometry, int index, const ZObject& base,
                          ZObject& deformer, bool& renamed);
};

// True when driven keys are protected (kProtectDrivenKeys) and the plug has
// a driver ("setDrivenKeyframe -q -cd" answers other than "No drivers.").
bool IsDriven(ZPlug& plug);
// True when some key of the curve has a weighted left or right tangent.
bool HasWeightedTangent(KFCurve& curve);

// Whether the file needs the old pivot handling: a stored version up to 5.7
// with a node below the root whose source pivots are in the reference state.
bool IsOldVersion(QoxZeltNode* root, qoxsdk_600::KQoxImporter* importer);
// Whether a node below node (node itself excluded) has source pivot state 1.
bool IsOldVersion(QoxZeltNode* node);

// ---- Tree helpers of the import ----
// Appends node (nothing for null) and its subtree, pre-order.
void ExtractQoxNodes(QoxZeltNode* node, KArrayTemplate<QoxZeltNode*>& list);
// Sorts the records into the pre-order of the tree under root; records of
// nodes outside the tree, and earlier records of a repeated node, are
// dropped. A single record stays as it is.
void ReOrder(PoseRecordList& records, QoxZeltNode* root);
// A node with a skeleton attribute.
bool IsJoint(qoxsdk_600::KQoxNode* node);
// Makes every skin influence of the subtree that is not a joint a limb-node joint.
void ReplaceNullsUsedAsLinks(QoxZeltNode* node, QoxZeltSdkManager* manager);
// Adds the link count of every geometry of the subtree to count.
void CountNbQoxLinks(QoxZeltNode* node, int& count);
// The grouping node of a camera with a look-at target ("x_group").
bool IsCameraGroup(QoxZeltNode* node);

// ---- Matrix and command-result utilities ----
// The scaled rotation plus translation of the transform (reordered to XYZ first).
void SetMatrix(ZTransformationMatrix& transform, KgeAMatrix& out);
// Translation, rotation (degrees) and scaling of the transform.
void SetVector(ZTransformationMatrix& transform, KgeTVector& t, KgeRVector& r, KgeSVector& s);
// The node's cached global transform as a matrix.
void SetMatrixFromGlobal(QoxZeltNode* node, KgeAMatrix& out);
// The host node named by result[index] (or by name); the null object, with
// "Result object not found." reported, when there is none.
ZObject GetResultObject(ZStringArray& result, unsigned index);
ZObject GetResultObject(ZString& name);

#endif
