#ifndef QOX_FILEIO_WRITERS_KQOXWRITERQOX6_PRIVATE_H
#define QOX_FILEIO_WRITERS_KQOXWRITERQOX6_PRIVATE_H

// The state of one version-6 write, shared by the writer's units (one per
// object kind). Not part of the library's interface.

#include <unordered_map>
#include <vector>

#include "fileio/iqoxobject.h"
#include "fileio/kqoxfilescene.h"
#include "fileio/kqoxstreamoptionsqox.h"

class KObject;

namespace qoxsdk_600 {

class KQoxMaterial;
class KQoxGenericNode;
class KQoxGeometry;
class KQoxMesh;
class KQoxNode;
class KQoxPose;
class KQoxNodeAttribute;
class KQoxObject;
class KQoxTakeNodeContainer;
class KQoxThumbnail;

struct KQoxWrite6
{
    KQoxWrite6(IQoxObject& file, KQoxFileScene& scene, const KStreamOptionsQox& options)
        : mFile(file)
        , mScene(scene)
        , mOptions(options)
    {}

    IQoxObject& mFile;
    KQoxFileScene& mScene;
    const KStreamOptionsQox& mOptions;
    std::vector<KQoxNode*> mNodes; // every node under the root, parents first
    // Positions of materials and textures in the objects section, which
    // layer elements refer to.
    std::unordered_map<const void*, int> mMaterialIndex;
    std::unordered_map<const void*, int> mTextureIndex;
    std::unordered_map<const KQoxNode*, int> mNodeIndex; // positions among the Model fields

    // ---- helpers (kqoxwriterqox6.cpp) ----
    void Int(const char* name, int value);
    void Double(const char* name, double value);
    void Text(const char* name, const char* value);
    void Doubles(const char* name, const double* values, int count);
    // "Version", the object's user properties and its property list.
    void ObjectHeader(KQoxObject& object, KObject* properties, int version);
    void UserProperties(KQoxObject& object);
    void Thumbnail(KQoxThumbnail* thumbnail);
    // The take names animation is written for: every take node other than
    // "Default" of every object, in order of first appearance.
    std::vector<KString> TakeNames();
    std::vector<KQoxTakeNodeContainer*> Containers();

    // ---- units ----
    void WriteNode(KQoxNode& node);                    // writers/kqoxwrite_node.cpp
    void WriteMaterial(KQoxMaterial& material);        // writers/kqoxwrite_material.cpp
    void WritePose(KQoxPose& pose);                    // writers/kqoxwrite_pose.cpp
    void WriteGenericNode(KQoxGenericNode& node);      // writers/kqoxwrite_pose.cpp
    void WriteMesh(KQoxMesh& mesh);                    // writers/kqoxwrite_mesh.cpp
    void WriteLinksAndShapes(KQoxGeometry& geometry);  // writers/kqoxwrite_mesh.cpp
    void WriteAttribute(KQoxNodeAttribute& attribute); // writers/kqoxwrite_attribute.cpp
    void WriteDefaults(KQoxTakeNodeContainer& object); // writers/kqoxwrite_attribute.cpp
    void WriteTexture(KQoxTexture& texture);           // writers/kqoxwrite_texture.cpp
    void WriteVideo(KQoxVideo& video);                 // writers/kqoxwrite_video.cpp
    void WriteSceneInfo();                             // writers/kqoxwrite_settings.cpp
    void WriteGlobalSettings();                        // writers/kqoxwrite_settings.cpp
    void WriteTakes();                                 // writers/kqoxwrite_takes.cpp
    void WriteAnimation(const char* takeName);
};

} // namespace qoxsdk_600

#endif
