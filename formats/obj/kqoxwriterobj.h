#ifndef QOX_FORMATS_OBJ_KQOXWRITEROBJ_H
#define QOX_FORMATS_OBJ_KQOXWRITEROBJ_H

// KQoxWriterObj writes a scene as one OBJ text file: every mesh node is one
// group ("g") with its vertices in world space, texture coordinates, normals
// and faces; materials go to a ".mtl" library beside the file, and texture
// images are copied there. NURBS and patches (and meshes with "Force
// Triangulation") are written triangulated, and shape and skin deformations
// are baked in when "Evaluate Link/Shape deformations" is on. The caller's
// scene is never changed: conversions and baking work on copies.
//
// The file, its library and the copied images are written under temporary
// names beside their targets and replace them only in FileClose, once every
// one is complete: a failed write, or a writer destroyed before FileClose,
// leaves the old files as they were and no temporary behind.

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/kname.h"
#include "base/kstagedfiles.h"
#include "fileio/kqoxio.h"
#include "formats/kqoxdeformedgeometry.h"
#include "formats/kqoxtexturecopy.h"
#include "formats/kqoxwritemesh.h"

namespace qoxsdk_600 {

class KQoxMaterial;
class KQoxMesh;
class KQoxNode;
class KQoxNodeAttribute;
class KQoxTexture;

// One library entry: a (material, texture) pair under a unique name.
struct KObjMaterial
{
    KObjMaterial(const char* name, KQoxMaterial* material, KQoxTexture* texture)
        : mMaterial(material)
        , mTexture(texture)
        , mName(name)
    {}
    KQoxMaterial* mMaterial; // not owned
    KQoxTexture* mTexture;   // not owned; null for none
    KString mName;
};

class KQoxWriterObj : public KQoxWriter, public KQoxDeformedGeometry
{
public:
    explicit KQoxWriterObj(KQoxSdkManager& manager);
    ~KQoxWriterObj() override;

    // Creates the file (and its directory) under its temporary name (see
    // base/kstagedfiles.h); error 1 "File not opened" for a null name, error
    // 2 "File not created" when the file cannot be made, its text naming a
    // known cause ("File not created: the file is read-only").
    bool FileCreate(const char* fileName) override;
    // Closes the files and moves them onto their targets. False with error 3
    // "Out of disk space" when closing failed or a file could not be given
    // room, or error 2 "File not created" when a file could not be moved;
    // the old files then stay.
    bool FileClose() override;
    bool IsFileOpen() override { return mObjFile != nullptr; }
    // A new KStreamOptionsObj with its defaults; the caller owns it.
    KStreamOptions* GetWriteOptions() override;
    // Writes the scene. Options that are not a KStreamOptionsObj: error 4
    // "Stream options not set", nothing written. No root node: false. A
    // write that fails (full disk): error 3 "Out of disk space"; a material
    // library or image copy that cannot be created: error 2 "File not
    // created". After those failures the export is dropped: every file
    // written is removed and the targets keep their contents.
    bool Write(KQoxScene& scene, KStreamOptions* options) override;

    bool IsGeometryNode(KQoxNode* node);
    // Triangulates a NURBS or patch (or a mesh with force triangulation)
    // into a new mesh kept for the write; false for other attributes.
    bool TriangulateGeometry(KQoxNode* node);
    bool InitNodes(KQoxNode* node);
    // Writes the node (and, with subtree, everything below it in pre-order).
    void WriteNode(KQoxNode* node, bool subtree);

    // Material library.
    bool CheckMaterials(KQoxNodeAttribute* attribute);
    // Creates the library beside the file: the file's name with blanks made
    // '_' and the extension ".mtl". False when it cannot be created.
    bool InitMtlLib();
    int FindObjMaterial(KQoxMaterial* material, KQoxTexture* texture);
    bool DestroyObjMaterials();
    // Writes "-s u v 1 " and "-o u v 0 " before a map's name for a texture
    // scaled or moved from its place.
    void WriteMapPlacement(KQoxTexture& texture);
    bool WriteMaterial(const char* name, KQoxMaterial* material, KQoxTexture* texture);
    // Copies an image beside the file with the export (see
    // kqoxtexturecopy.h), the copy's file name in copyName; a copy that
    // fails fails the write. A copy under another name than the image's is
    // named in the message, with the material that maps it first.
    bool CopyTextureFile(const char* path, const char* material, KString& copyName);
    // A message line: a name of that kind (group, material, texture) was
    // written with its line breaks made '_', as written.
    void NoteLineBreak(const char* kind, const char* written);

    // Long lists of lines (vertices, faces) are formatted in blocks of
    // blockItems by up to threads threads at once (threads 1: on the
    // calling one only); the text is the same either way.
    void SetParallelBlocks(int threads, size_t blockItems);

    // The name on the "mtllib" line; "" when none.
    const char* GetMaterialLibraryName() const { return mMaterialLibraryName.ToChars(); }

private:
    class Output;
    void WriteMesh(KQoxNode* node, KQoxMesh* mesh);
    // The entry of a pair, made (and its library block written) on first
    // use; then the "usemtl" line.
    void UseMaterial(KQoxMaterial* material, KQoxTexture* texture, const KString& nameText);
    // The mesh to write for a node: its triangulated copy, or its own mesh.
    KQoxMesh* MeshOf(KQoxNode* node);
    void ReleaseConverted();
    // Closes the file and the library (written out, not moved); false when
    // either could not be completed.
    bool CloseFiles();
    // A failed write: the error recorded, everything made released, every
    // file of the export removed. Returns false.
    bool FailWith(int errorId);
    // FileCreate's and Write's work.
    bool CreateFiles(const char* fileName);
    bool WriteScene(KQoxScene& scene, KStreamOptions* options);

    std::unique_ptr<Output> mObj;
    // Blocks of lines formatted in memory by the threads.
    std::vector<std::unique_ptr<Output>> mBlockTexts;
    std::unique_ptr<Output> mMtl;
    KStagedFiles mStaged;          // the file, its library and images, moved in FileClose
    KTextureCopies mTextureCopies; // the images copied by this save
    FILE* mObjFile = nullptr;
    FILE* mMtlFile = nullptr;
    KString mFileName;
    KString mMaterialLibraryName;
    bool mForceTriangulation = false;
    bool mEvaluateDeformations = true;
    bool mMaterialsPresent = false;
    bool mWriteFailed = false;
    bool mCreateFailed = false;         // an image copy could not be created
    const char* mCreateCause = nullptr; // why, in words, when known
    int mThreads;
    size_t mBlockItems = size_t(1) << 14;
    int mNextVertex = 1;
    int mNextTextureCoordinate = 1;
    int mNextNormal = 1;
    // Meshes whose vertex colours were not written: an OBJ vertex has one
    // colour, and theirs are not kept by control point.
    int mColorsLeftOut = 0;
    KQoxMaterial* mDefaultMaterial = nullptr;
    std::vector<std::unique_ptr<KObjMaterial>> mMaterialTable;
    KNumberRenamingStrategy mMaterialNames;
    std::map<KQoxNode*, std::unique_ptr<KQoxWriteMesh>> mConverted; // until the end of Write
};

} // namespace qoxsdk_600

#endif
