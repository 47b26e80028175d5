#ifndef QOX_PLUGIN_IMPORT_QOXZELTIMPORT_H
#define QOX_PLUGIN_IMPORT_QOXZELTIMPORT_H

// QoxZeltImport: one native file opened for import into the host. It owns
// its SDK manager and, through OpenProject, the importer that the take
// queries read.

#include <memory>
#include <vector>

#include "base/karray.h"
#include "base/kmath_types.h"
#include "base/kstring.h"
#include "base/ktime.h"
#include "host/zanim.h"
#include "host/zbase.h"
#include "host/zfn.h"
#include "plugin/qoxzeltsdkmanager.h"
#include "scene/kqoxpluginbase.h"

namespace qoxsdk_600 {
class KQoxGeometry;
class KQoxImporter;
class KQoxMesh;
class KQoxNurb;
class KQoxScene;
class KQoxTexture;
class KQoxUserProperty;
} // namespace qoxsdk_600

class KFCurve;
class QoxLogFile;
class QoxZeltNode;

// A host shader made for a material during an import, found again by the
// material's name (without namespace). The import object owns the records.
struct MaterialShaderData
{
    KString name;
    ZObject* shader; // heap copy, owned by the record
};

// One material group of a geometry: its representative polygon (-1 for the
// whole object), its host shader and the distinct textures gathered for it,
// each with the blend mode of the texture element it came from.
struct FaceAttributes
{
    FaceAttributes()
        : geometry(nullptr)
        , polygonIndex(-1)
    {}
    qoxsdk_600::KQoxGeometry* geometry;
    int polygonIndex;
    ZObject shader;
    KArrayTemplate<int> blendModes;
    KArrayTemplate<qoxsdk_600::KQoxTexture*> textures;
};
typedef std::vector<std::unique_ptr<FaceAttributes>> FaceAttributesList;

// True when driven keys are protected (kProtectDrivenKeys) and the plug has
// a driver ("setDrivenKeyframe -q -cd" answers something else than "No drivers.").
bool IsDriven(ZPlug& plug);
// True when some key of the curve has a weighted left or right tangent.
bool HasWeightedTangent(KFCurve& curve);

class QoxZeltImport : public qoxsdk_600::KQoxPluginImportBase
{
public:
    QoxZeltImport();
    ~QoxZeltImport() override;

    // Opens the file: a new importer initialised with the name (its header,
    // version and takes are read now). Always success; a file that cannot be
    // opened shows as no takes and as the importer's error.
    ZStatus OpenProject(const ZString& fileName);
    // Drops the importer and any scene; always success.
    ZStatus CloseProject();
    void SetTakeName(const char* name) { mTakeName = name ? name : ""; }
    const KString& GetTakeName() const { return mTakeName; }
    // Reads the selected take into a scene and creates the host objects.
    ZStatus Import();

    // The text after the first "-f" argument; empty when there is none.
    static KString parseArgs(const ZArgList& args, ZStatus* status = nullptr);

    qoxsdk_600::KQoxImporter* GetImporter() { return mImporter.get(); }
    QoxZeltSdkManager& GetSdkManager() { return mManager; }

    void ComputeWorldTransform(KgeAMatrix& world) override;

    // ---- Animation, curves, user properties, shapes, materials, textures ----

    // Transform curves, static values and, for files that are not old, the
    // pivots, limits and rotation order of one host-linked node.
    void ImportTransformAnimation(QoxZeltNode& node);
    // The curves and static values onto a given host transform (with the
    // old-file fix-up when the old-version flag is set).
    void ImportTransformAnimation(ZFnTransform& transform, QoxZeltNode& node);
    // The destination set's rotation order as the host's (Spheric: untouched).
    void ImportRotationOrder(ZFnTransform& transform, QoxZeltNode& node);
    // Visibility curve (current take other than the default one) and static
    // visibility; failure when the host node has no "visibility".
    ZStatus ImportAnimationVisibility(QoxZeltNode& node);
    // Source pivot set (when active): joint orient, rotate axis, pivots.
    void ImportPivots(ZFnTransform& transform, QoxZeltNode& node);
    // "transformLimits" per limited axis, around the attribute-editor dance
    // of the first limited node of an interactive import.
    void ImportLimits(ZFnTransform& transform, QoxZeltNode& node);

    // One SDK curve onto the named attribute of a transform; the result is
    // also stored through status (not null).
    ZStatus SetZeltCurve(ZFnTransform& transform, const char* attribute, KFCurve& curve,
                         ZFnAnimCurve::AnimCurveType type, double valueDivisor, double slopeFactor, ZStatus* status);
    // One SDK curve onto a plug: driven keys, curve creation, locked plugs.
    ZStatus SetZeltCurve(ZPlug& plug, KFCurve& curve, ZFnAnimCurve::AnimCurveType type, double valueDivisor,
                         double slopeFactor);
    // Replaces the host curve's keys by the converted SDK keys; failure when
    // the host refused a key. attachStatus is the status the curve was attached with.
    ZStatus SetZeltCurve(ZFnAnimCurve& hostCurve, KFCurve& curve, double valueDivisor, double slopeFactor,
                         ZStatus* attachStatus);
    // Host infinity code of an SDK extrapolation type.
    int GetInfinityType(int extrapolation) const;
    // Samples three Euler curves (degrees) and keys them in a host rotation order.
    ZStatus SetRotationZeltCurve(ZFnTransform& transform, KFCurve** curves, ZEulerRotation::RotationOrder order);

    // values[0..2] = curves[0..2] at the current host time.
    void SetTransformVector(double* values, KFCurve** curves) const;
    // Static translation, rotation and scale at the current host time, and
    // the node's cached global transform.
    void SetDefaultGeometry(QoxZeltNode& node, ZFnTransform& transform);

    // A host attribute for each user property (flag 2) of the node.
    void AddUserProperties(ZFnTransform& transform, QoxZeltNode* node);
    void AddUserProperty(qoxsdk_600::KQoxUserProperty* property, ZFnTransform& transform, QoxZeltNode* node);
    // Values and curves of the node's user properties in the current take.
    ZStatus ImportUserProperties(QoxZeltNode& node);

    // Blend-shape targets and weight curves of a geometry node.
    void ImportShapeAnimation(QoxZeltNode& node);
    // Host surface data of a NURBS surface with the given control points.
    void GetNURBData(qoxsdk_600::KQoxNurb* nurb, KQoxVector4* controlPoints, ZPointArray& points, ZDoubleArray& uKnots,
                     ZDoubleArray& vKnots, int& uDegree, int& vDegree, int& uForm, int& vForm, ZStatus* status,
                     bool* uOpened, bool* vOpened);

    // Shaders, shading groups and textures of the geometries of a subtree.
    void BuildMaterialInformation(QoxZeltNode* node);
    // A shading group named name + "SG" fed by the shader; its host name.
    ZString ConnectMaterialShader(ZObject& shaderList, const char* name, ZObject& shader);
    // "sets -e [-forceElement]" of a member into a set; results are dropped.
    void FillSetWith(ZString& setName, const char* member, ZStringArray result, bool force);
    // A file texture (with its placement) into the shader's "color".
    void ConnectTexture(ZObject& shader, qoxsdk_600::KQoxTexture* texture, qoxsdk_600::KQoxGeometry* geometry);
    // A file texture (with its placement) into a colour plug.
    void ConnectTexture(ZPlug& destination, qoxsdk_600::KQoxTexture* texture, qoxsdk_600::KQoxGeometry* geometry);
    // Several textures through one layered texture into the record's shader.
    void ConnectLayeredTexture(FaceAttributes* record);

protected:
    // State of one import shared by the creation steps.
    QoxLogFile* mImportLog;                             // the running import's log, or null
    KTime mCurrentTime;                                 // host time the static values are read at
    bool mOldVersion;                                   // the file needs the old pivot handling
    bool mLimitsOnce;                                   // attribute-editor handling done
    int mLockedAttributeAnswer;                         // 0 unlock all, 1 ask, 2 keep all locked
    KArrayTemplate<MaterialShaderData*> mMaterialCache; // shaders made by this object
    KArrayTemplate<QoxZeltNode*> mBlendShapeFailures;   // weights that found no curve

private:
    // Appends a line to the running import's log (nothing without a log).
    void LogLine(const char* text);
    // Shaders, groups, members and textures of one geometry node.
    void BuildMaterials(QoxZeltNode& node, qoxsdk_600::KQoxGeometry* geometry, int type);
    // Faces into the slots' groups: by the polygon's material index, or by the
    // value most of its vertices carry.
    void AssignByPolygon(ZDagPath& path, qoxsdk_600::KQoxMesh* mesh, int count, std::vector<ZString>& groups,
                         std::vector<ZObject>& shaders, FaceAttributesList& records);
    void AssignByVertex(ZDagPath& path, qoxsdk_600::KQoxMesh* mesh, int mode, int count, std::vector<ZString>& groups,
                        std::vector<ZObject>& shaders, FaceAttributesList& records);
    // Builds blend-shape target i of a geometry node under a new hidden transform.
    void BuildShapeTarget(QoxZeltNode& node, qoxsdk_600::KQoxGeometry* geometry, int index, const ZObject& base,
                          ZObject& deformer, bool& renamed);

    QoxZeltSdkManager mManager;
    std::unique_ptr<qoxsdk_600::KQoxImporter> mImporter;
    QoxZeltNode* mRootNode;
    qoxsdk_600::KQoxScene* mScene;
    KString mTakeName;
};

#endif
