#ifndef QOX_FILEIO_WRITERS_KQOXWRITERQOX6_PRIVATE_H
#define QOX_FILEIO_WRITERS_KQOXWRITERQOX6_PRIVATE_H

// The state of one version-6 write, shared by the writer's units (one per
// object kind). Not part of the library's interface.

#include <functional>
#include <unordered_map>
#include <vector>

#include "fileio/iqoxobject.h"
#include "fileio/kqoxnative_private.h"
#include "fileio/kqoxfilescene.h"
#include "fileio/kqoxstreamoptionsqox.h"

class KObject;

namespace qoxsdk_600 {

class KQoxCamera;
class KQoxCharacter;
class KQoxCharacterPose;
class KQoxControlSet;
class KQoxControlSetPlug;
class KQoxCharacterLink;
class KQoxMaterial;
class KQoxGenericNode;
class KQoxGeometry;
class KQoxMesh;
class KQoxNurb;
class KQoxPatch;
class KQoxNode;
class KQoxPose;
class KQoxNodeAttribute;
class KQoxObject;
class KQoxTakeNodeContainer;
class KQoxThumbnail;

class KQoxScene;
class KQoxLink;
struct KQoxWrittenSkin;

// Appends to message one line per kind of object the scene holds that the
// file does not store, with its count (writers/kqoxwrite_leftout.cpp).
void ReportLeftOut(KQoxScene& scene, int linksWithoutNode, KString& message);

struct KQoxWrite6 : qoxnative::KQoxNativePass
{
    using KQoxNativePass::KQoxNativePass;

    // The version-5 layout: sections carry kVersion5Sections and curves are
    // stored with their auto tangents as evaluated slopes.
    bool mVersion5 = false;
    std::vector<KQoxNode*> mNodes; // every node under the root, parents first
    // Positions of materials and textures in the objects section, which
    // layer elements refer to.
    std::unordered_map<const void*, int> mMaterialIndex;
    std::unordered_map<const void*, int> mTextureIndex;
    std::unordered_map<const KQoxNode*, int> mNodeIndex; // positions among the Model fields
    // Version 6: the skins to write as deformers (null: none), and the
    // positions among the Deformer fields of those written.
    const std::vector<KQoxWrittenSkin>* mSkins = nullptr;
    std::vector<int> mSkinIndex;
    // Writes a scene nested in the open field's block (a character pose's).
    std::function<void(KQoxScene&)> mWriteNested;
    bool mNestedAllowed = true;
    // Targets not written: outside the file's nodes, or the node itself.
    int mTargetsLeftOut = 0;
    // A clip's media that exists could not be embedded for want of a file
    // descriptor: the write fails.
    bool mDescriptorsRanOut = false;

    // ---- helpers (kqoxwriterqox6.cpp) ----
    // The version a section is written with: its own, or the version-5 one.
    int SectionVersion(int version6) const { return mVersion5 ? qoxnative::kVersion5Sections : version6; }
    void Int(const char* name, int value);
    void Double(const char* name, double value);
    void Text(const char* name, const char* value);
    void Doubles(const char* name, const double* values, int count);
    // "Version", the object's user properties and its property list.
    void ObjectHeader(KQoxObject& object, KObject* properties, int version);
    void UserProperties(KQoxObject& object);
    // For an object written without its property list: the values of the
    // user properties UserProperties wrote, as a property list of their own
    // (nothing when it has none).
    void UserPropertyValues(KQoxObject& object);
    void Thumbnail(KQoxThumbnail* thumbnail);
    // The take names animation is written for: every take node other than
    // "Default" of every object, in order of first appearance.
    std::vector<KString> TakeNames();
    std::vector<KQoxTakeNodeContainer*> Containers();

    // ---- units ----
    void WriteNode(KQoxNode& node);          // writers/kqoxwrite_node.cpp
    void WriteTargetVectors(KQoxNode& node); // post-target rotation, target up vector
    // The nodes' look-at and up-vector connections (writers/kqoxwrite_node.cpp).
    void WriteTargetConnections();
    void WriteMaterial(KQoxMaterial& material);      // writers/kqoxwrite_material.cpp
    void WritePose(KQoxPose& pose);                  // writers/kqoxwrite_pose.cpp
    void WriteGenericNode(KQoxGenericNode& node);    // writers/kqoxwrite_pose.cpp
    void WriteSurfaceOrMesh(KQoxGeometry& geometry); // writers/kqoxwrite_node.cpp: NURBS flipped as flagged
    void WriteGeometry(KQoxGeometry& geometry);      // writers/kqoxwrite_mesh.cpp
    void WritePolygons(KQoxMesh& mesh);
    void WriteNurbFields(KQoxNurb& nurb);
    void WritePatchFields(KQoxPatch& patch);
    void WriteLayers(KQoxGeometry& geometry);
    void WriteLinksAndShapes(KQoxGeometry& geometry);      // writers/kqoxwrite_mesh.cpp
    void WriteLinkFields(KQoxLink& link);                  // a link's block (a cluster's too)
    void WriteDeformers();                                 // writers/kqoxwrite_deformer.cpp
    void WriteClusterLink(KQoxNode& node, KQoxLink& link); // flipped with a flagged NURBS
    void WriteDeformerConnections();
    void WriteAttribute(KQoxNodeAttribute& attribute); // writers/kqoxwrite_attribute.cpp
    void WriteDefaults(KQoxTakeNodeContainer& object); // writers/kqoxwrite_attribute.cpp
    void WriteCameraFields(KQoxCamera& camera);
    void WriteCameraSwitcher();
    void WriteGlobalCameraSettings();
    void WriteTexture(KQoxTexture& texture);                 // writers/kqoxwrite_texture.cpp
    void WriteVideo(KQoxVideo& video);                       // writers/kqoxwrite_video.cpp
    void WriteCharacter(const KQoxFileCharacter& character); // writers/kqoxwrite_character.cpp
    void WriteControlSet(KQoxControlSet& set);
    void WriteCharacterPose(KQoxCharacterPose& pose); // writers/kqoxwrite_pose.cpp
    void WriteControlSetPlug(KQoxControlSetPlug& plug);
    void WriteCharacterLinks(KQoxCharacter& character);
    void WriteCharacterLink(const char* field, const char* name, const KQoxCharacterLink& link);
    void WriteSceneInfo();      // writers/kqoxwrite_settings.cpp
    void WriteGlobalSettings(); // writers/kqoxwrite_settings.cpp
    void WriteTakes();          // writers/kqoxwrite_takes.cpp
    void WriteAnimation(const char* takeName);
};

} // namespace qoxsdk_600

#endif
