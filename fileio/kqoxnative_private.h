#ifndef QOX_FILEIO_KQOXNATIVE_PRIVATE_H
#define QOX_FILEIO_KQOXNATIVE_PRIVATE_H

// Names and versions of the version-6 scene layout (docs/qox-file-format.md,
// "How the SDK lays out a scene"), shared by the native reader and writer.
// Not part of the library's interface.

#include <cstring>

#include "fileio/iqoxobject.h"
#include "fileio/kqoxfilescene.h"
#include "fileio/kqoxstreamoptionsqox.h"

namespace qoxsdk_600 {
namespace qoxnative {

// ---- Sections and their versions ----
const char kDefinitions[] = "Definitions";
const char kObjects[] = "Objects";
const char kConnections[] = "Connections";
const char kTakes[] = "Takes";
const char kAnimation[] = "Animation"; // one per take
const int kDefinitionsVersion = 6000;
const int kObjectsVersion = 6000;
const int kConnectionsVersion = 6000;
const int kTakesVersion = 6000;
const int kAnimationVersion = 6000; // above 2000: times are ticks
// Every section of a version-5 file (5800) carries this version.
const int kVersion5Sections = 5800;

// ---- Header fields of the top-level list ----
const char kCreator[] = "Creator";
const char kCreatorText[] = "QOX SDK 6.0";

// ---- Definitions: "ObjectType": type name { "Count": n } ----
const char kObjectType[] = "ObjectType";
const char kCount[] = "Count";

// ---- Objects: one field per object, value: its full name ----
const char kModel[] = "Model";
const char kTexture[] = "Texture";
const char kVideo[] = "Video";
const char kMaterial[] = "Material";
const char kGenericNode[] = "GenericNode";
const char kPose[] = "Pose";         // its name, "BindPose" or "RestPose"; block of "PoseNode"
const char kPoseNode[] = "PoseNode"; // node name, matrix (16 D, row by row), local (I)
const char kSceneInfo[] = "SceneInfo";
// A character: its name without prefix; block: "Version", then "FilterSet"
// holding one "Param" per solver parameter: name, mode (I), minimum and
// maximum of its range (D), value (D). Readers go by the name.
const char kCharacter[] = "Character";
const char kFilterSet[] = "FilterSet";
const char kParam[] = "Param";
const int kCharacterVersion = 100;
// A character's links: "CharacterLinks" holds one "LinkGroup" per character
// node group with links set (I: the group), whose block holds one
// "CharacterLink" per link set: its node name S (empty: the link's place
// among the group's unnamed links gives its position in the group), the
// node's position among the Model fields I (-1: none), the template name S,
// and the offsets T, R, S (4 D each). The ids in no group have fields of
// their own holding the same values after the name.
const char kCharacterLinks[] = "CharacterLinks";
// A character's control set: "ControlSet" { "Type" I (carried unchanged),
// "UseAxis", "LockTransform", "Lock3DPick" I; one "ControlSetLink" per link
// set: id I, node position I, template name S; one "Effector" per effector
// with a node or flags of its own: id I, node position I, block of the
// flags "SHOW", "TACTIVE", "RACTIVE", "CANDIDATE_TACTIVE",
// "CANDIDATE_RACTIVE" (I each); one "EffectorAux" per auxiliary effector
// node: id I, set I (1 to 14), node position I }.
const char kControlSet[] = "ControlSet";
const char kControlSetType[] = "Type";
const char kUseAxis[] = "UseAxis";
const char kLockTransform[] = "LockTransform";
const char kLock3DPick[] = "Lock3DPick";
const char kControlSetLink[] = "ControlSetLink";
const char kEffector[] = "Effector";
const char kEffectorAux[] = "EffectorAux";
const char* const kEffectorFlags[5] = {"SHOW", "TACTIVE", "RACTIVE", "CANDIDATE_TACTIVE", "CANDIDATE_RACTIVE"};
// Control-set plugs: "ControlSetPlug" objects (full name, type text
// "ControlSetPlug"): "Version", the property list, then one "PlugList" per
// link or effector list holding nodes: the list's name S, then the nodes'
// positions among the Model fields (I each), in list order.
const char kControlSetPlug[] = "ControlSetPlug";
const char kPlugList[] = "PlugList";
const int kControlSetPlugVersion = 100;
// The scene's camera switcher (outside the node tree): "CameraSwitcher",
// its name and a block: "Version", one "CameraName" S per camera in order,
// "Defaults"; its takes' channels are in the animation sections under the
// same field name, position 0. "Camera Index" values are positions in the
// name list, renumbered on reading to the scene's own list.
const char kCameraSwitcher[] = "CameraSwitcher";
const int kCameraSwitcherVersion = 100;
// Character poses: "CharacterPose" objects (full name), whose block holds
// "Version" and then the pose's own scene as nested sections.
const char kCharacterPose[] = "CharacterPose";
const int kCharacterPoseVersion = 100;
// Poses nest scenes that may hold poses: deeper than this is damage.
const int kMaxNestedScenes = 8;
const char kLinkGroup[] = "LinkGroup";
const char kCharacterLink[] = "CharacterLink";
struct UngroupedCharacterLink
{
    int mId;
    const char* mField;
};
const UngroupedCharacterLink kUngroupedCharacterLinks[5] = {
    {67, "REFERENCE"}, {68, "LEFT_FLOOR"}, {69, "RIGHT_FLOOR"}, {88, "LEFT_HANDFLOOR"}, {89, "RIGHT_HANDFLOOR"}};
const char kGlobalSettings[] = "GlobalSettings";
const char kVersion[] = "Version";
const int kModelVersion = 232;
const int kTextureVersion = 202;
const int kVideoVersion = 100;
const int kMaterialVersion = 102;
const int kPoseVersion = 100;
const int kGenericNodeVersion = 100;
const int kGeometryVersion = 124;
const int kSceneInfoVersion = 100;
const int kGlobalSettingsVersion = 1000;

// Object blocks.
const char kUserProperties[] = "UserProperties"; // block of "UserProperty"
const char kUserProperty[] = "UserProperty";     // name, type name, label, flags, min, max
// The property list (IQoxObject's own field name); an object without one
// keeps the values of its user properties there.
const char kProperties[] = "Properties";
const char kMultiLayer[] = "MultiLayer";
const char kMultiTake[] = "MultiTake";
const char kShading[] = "Shading";
const char kCulling[] = "Culling";
const char kPivotEnabled[] = "PivotEnabled";
// A node's aim settings, 4 D each; written only when not (0, 0, 0, 0).
const char kPostTargetRotation[] = "PostTargetRotation";
const char kTargetUpVector[] = "TargetUpVector";
const char* const kCullingTokens[3] = {"CullingOff", "CullingOnCCW", "CullingOnCW"};
const char kShadingLetters[6] = {0, 'W', 'F', 'Y', 'T', 'U'}; // index: shading mode; 0 writes no field

// The type text of a node whose attribute is geometry; "" for any other.
inline const char* GeometryKindText(int attributeType)
{
    switch (attributeType)
    {
    case 4: return "Mesh";
    case 5: return "Nurb";
    case 6: return "Patch";
    default: return "";
    }
}

inline bool IsGeometryKindText(const char* text)
{
    for (int type = 4; type <= 6; ++type)
        if (std::strcmp(text, GeometryKindText(type)) == 0)
            return true;
    return false;
}

// Materials.
const char kShadingModel[] = "ShadingModel";

// Geometry of a mesh node: a "Geometry" block in the node's block.
const char kGeometry[] = "Geometry";
const char kVertices[] = "Vertices";                     // d array: x y z w per control point
const char kPolygonVertexIndex[] = "PolygonVertexIndex"; // i array: the polygons' vertices in order
const char kPolygonSizes[] = "PolygonSizes";             // i array: vertices per polygon
const char kPolygonGroups[] = "PolygonGroups";           // i array: group per polygon
const char kLayer[] = "Layer";                           // I: its index; block of layer elements
const char kMappingInformationType[] = "MappingInformationType";
const char kReferenceInformationType[] = "ReferenceInformationType";
const char kDirect[] = "Direct"; // the element's direct array
const char kIndex[] = "Index";   // its index array
const char kBlendMode[] = "BlendMode";
// Skin links: one "Link" per link, with the linked node's and the associate
// model's positions among the Model fields (-1: none) and a block.
const char kLink[] = "Link";
const char kLinkMode[] = "Mode";       // S "Additive" or "Total1"; no field: normalize
const char kUserData[] = "UserData";   // S id, S data
const char kIndexes[] = "Indexes";     // i array: control points
const char kWeights[] = "Weights";     // d array: their weights
const char kTransform[] = "Transform"; // T, R, S: 4 D each
const char kTransformLink[] = "TransformLink";
const char kTransformAssociateModel[] = "TransformAssociateModel";
const char kTransformParent[] = "TransformParent"; // only when set
// Skin and cluster deformers (version 6): one "Deformer" per deformer, its
// full name, its type text ("Skin", "Cluster") and a block: "Version",
// "MultiLayer"; a skin adds "Link_DeformAcuracy" (D), a cluster the fields of
// a link's block. The connections section ties them: "Skin" (skin, node),
// "Cluster" (cluster, skin), "Bone" (cluster, node), "Associate" (cluster,
// node); deformers by position among the Deformer fields.
const char kDeformer[] = "Deformer";
const char kSkinType[] = "Skin";
const char kClusterType[] = "Cluster";
const char kLinkDeformAccuracy[] = "Link_DeformAcuracy";
const int kDeformerVersion = 100;
const char kSkinOf[] = "Skin";
const char kClusterOf[] = "Cluster";
const char kBoneOf[] = "Bone";
const char kAssociateOf[] = "Associate";
// Shapes: one "Shape" per shape, its name and a block: "Vertices" and, when
// the shape has layer-0 normals, "Normals" (4 D per item).
const char kShape[] = "Shape";
const char kNormals[] = "Normals";
const char kTextureAlpha[] = "TextureAlpha";
// NURBS and patch surfaces: their description beside "Vertices" (the U x V
// control grid, U fastest), each field holding the U value, then the V one.
const char kNurbOrder[] = "NurbOrder";   // I, I
const char kDimensions[] = "Dimensions"; // control points per direction: I, I
const char kStep[] = "Step";             // I, I
const char kForm[] = "Form";             // S, S: "Periodic", "Closed", "Open"
const char kSurfaceMode[] = "SurfaceMode";
const char kKnotVectorU[] = "KnotVectorU"; // d array: knot count values
const char kKnotVectorV[] = "KnotVectorV";
const char kMultiplicityU[] = "MultiplicityU"; // i array: one per control point of the direction
const char kMultiplicityV[] = "MultiplicityV";
const char kPatchType[] = "PatchType"; // S, S: "Bezier", "BezierQuadric", "Cardinal", "BSpline", "Linear"
const char kClosed[] = "Closed";       // I, I
const char kUCapped[] = "UCapped";     // bottom, top: I, I
const char kVCapped[] = "VCapped";
// Layer element field names, by element type (1 to 6).
const char* const kLayerElementNames[7] = {"",
                                           "LayerElementNormal",
                                           "LayerElementMaterial",
                                           "LayerElementTexture",
                                           "LayerElementPolygonGroup",
                                           "LayerElementUV",
                                           "LayerElementColor"};

// Textures.
const char kTextureType[] = "Type";
const char kFileName[] = "FileName";
const char kRelativeFileName[] = "RelativeFilename";
const char kMedia[] = "Media";
const char kAlphaSource[] = "AlphaSource";
const char kCropping[] = "Cropping";
const char kMappingType[] = "MappingType";
const char kPlanarMappingNormal[] = "PlanarMappingNormal";
const char kUVTranslation[] = "UVTranslation";
const char kUVScaling[] = "UVScaling";

// Videos: embedded media, its form ("tif" through the image converter, "raw").
const char kOffset[] = "Offset";
const char kContent[] = "Content";
const char kContentForm[] = "ContentForm";
const char kContentTif[] = "tif";
const char kContentRaw[] = "raw";

// Scene information and its thumbnail.
const char kTitle[] = "Title";
const char kSubject[] = "Subject";
const char kAuthor[] = "Author";
const char kKeywords[] = "Keywords";
const char kRevision[] = "Revision";
const char kComment[] = "Comment";
const char kThumbnail[] = "Thumbnail"; // block: "Format", "Size", "Image" (bytes)
const char kThumbnailFormat[] = "Format";
const char kThumbnailSize[] = "Size";
const char kThumbnailImage[] = "Image";

// Global settings.
const char kAmbientColor[] = "AmbientColor";
const char kFog[] = "Fog";                 // enable, mode, density, start, end, colour r g b a
const char kShadow[] = "Shadow";           // enable, intensity
const char kShadowPlane[] = "ShadowPlane"; // enable, origin x y z w, normal x y z w
const char kTimeMode[] = "TimeMode";
const char kTimeProtocol[] = "TimeProtocol";
const char kSnapOnFrame[] = "SnapOnFrameMode";
const char kTimeMarker[] = "TimeMarker"; // name, time, loop
const char kCurrentTimeMarker[] = "CurrentTimeMarker";

// ---- Connections: "Connect": "OO", child, parent ----
const char kConnect[] = "Connect";
const char kObjectObject[] = "OO";
// A node's targets: "LookAt" (node, its look-at target) and "UpVector"
// (node, its up-vector target), nodes by position among the Model fields;
// at most one of each per node, never the node itself.
const char kLookAtOf[] = "LookAt";
const char kUpVectorOf[] = "UpVector";

// ---- Takes ----
const char kCurrent[] = "Current";
const char kTake[] = "Take"; // name { "FileName", "Comments", "LocalTime", "ReferenceTime", "Thumbnail" }
const char kTakeFileName[] = "FileName";
const char kComments[] = "Comments";
const char kLocalTime[] = "LocalTime";
const char kReferenceTime[] = "ReferenceTime";

// ---- Animation of one take: "Take": name, then one field per animated
// object (its full name) whose block holds its "Channel" fields ----
const char kChannel[] = "Channel";
const char kTimeWarp[] = "TimeWarp"; // its number, block: the time-warp node as one "Channel"

// What one version-6 read or write of a scene works on: the open field
// file, the content gathered or written, and the options it goes by.
struct KQoxNativePass
{
    KQoxNativePass(IQoxObject& file, KQoxFileScene& scene, const KStreamOptionsQox& options)
        : mFile(file)
        , mScene(scene)
        , mOptions(options)
    {}

    IQoxObject& mFile;
    KQoxFileScene& mScene;
    const KStreamOptionsQox& mOptions;
};

} // namespace qoxnative
} // namespace qoxsdk_600

#endif
