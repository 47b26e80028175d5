#ifndef QOX_FORMATS_DXF_KQOXWRITERDXF_H
#define QOX_FORMATS_DXF_KQOXWRITERDXF_H

// KQoxWriterDxf writes the meshes of a scene as a DXF text file: one LAYER
// entry per mesh node and its polygons as polyface-mesh POLYLINEs on that
// layer (one, or as many as the 16-bit counts of release AC1008 need), points
// in world space through the node's global matrix with the scene's Y-up axes
// turned into DXF's Z-up axes, and the colour of each mesh's last material as
// a DXF colour number. Layer names are the node names with the characters
// DXF readers refuse replaced; reals are written in the shortest form that
// reads back as the same double.
//
// The file is written under a temporary name beside its target and moved
// onto it in FileClose: a failed write, or a writer destroyed before
// FileClose, leaves the old file as it was and no temporary behind.

#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/kstagedfiles.h"
#include "fileio/kqoxio.h"
#include "formats/kqoxdeformedgeometry.h"

namespace qoxsdk_600 {

class KQoxColor;

class KQoxWriterDxf : public KQoxWriter, public KQoxDeformedGeometry
{
public:
    explicit KQoxWriterDxf(KQoxSdkManager& manager);
    ~KQoxWriterDxf() override;

    // Creates the file under its temporary name (closing an open one first;
    // see base/kstagedfiles.h); error 2 "File not created" when it cannot,
    // its text naming a known cause ("File not created: the folder does not
    // exist").
    bool FileCreate(const char* fileName) override;
    // Closes the file and moves it onto its target. False with error 3 "Out
    // of disk space" when closing failed or the file could not be given
    // room, or error 2 "File not created" when it could not be moved; the
    // old file then stays.
    bool FileClose() override;
    bool IsFileOpen() override { return mFile != nullptr; }
    // A new KStreamOptionsDxf with its defaults; the caller owns it.
    KStreamOptions* GetWriteOptions() override;
    // Writes the whole scene. Options that are not a KStreamOptionsDxf: error
    // 4 "Stream options not set", nothing written. No open file: error 1
    // "File not opened". A failed write: error 3 "Out of disk space", false,
    // and the file is dropped (the target keeps its contents).
    // Meshes are triangulated in place when option 2 is on (NURBS and patches
    // always); the scene's control points are never changed by deformation.
    bool Write(KQoxScene& scene, KStreamOptions* options) override;

    // One LAYER entry for a mesh node; with recurse, its children too (its
    // subtree in pre-order, of any depth).
    void WriteLayerTable(KQoxNode* node, bool recurse);
    // The polyface POLYLINEs of a mesh node (one unless its points or face
    // records pass 32,767); with recurse, its children's too.
    void WritePolyfaceMesh(KQoxNode* node, bool recurse);
    // The DXF colour number (1 to 255) of a colour; alpha is not used.
    static int GetACIFromQOXColor(const KQoxColor& color);

private:
    // FileCreate's and Write's work.
    bool CreateFile(const char* fileName);
    bool WriteScene(KQoxScene& scene, KStreamOptions* options);
    struct MeshText;

    // One group: the code line as given, then the value line.
    void Group(const char* code, const char* value);
    void Group(const char* code, int value);
    // An integer after the given blanks ("   " for the usual form).
    void GroupText(const char* code, const char* prefix, int value);
    // A real in the shortest form that reads back as the same double.
    void GroupReal(const char* code, double value);
    // Text as it is.
    void Raw(const char* text, size_t length);
    // Room for length more bytes at the end of the buffer, which is written
    // out first when they would not fit; the caller then moves mUsed.
    char* Room(size_t length);
    // Writes the buffered text to the file (a failure is remembered).
    void Drain();
    // Drains the buffer and flushes the file; false once a write failed.
    bool Flush();
    // Flushes and closes the file without moving it; false when that fails.
    bool CloseFile();

    // The layer name of a node: its name with the characters DXF readers
    // refuse replaced, kept distinct from every other node's layer name.
    std::string LayerName(KQoxNode* node) const;
    // Fills the layer names of the nodes (those below the root, in pre-order).
    void MakeLayerNames(const std::vector<KQoxNode*>& nodes);
    // WriteLayerTable and WritePolyfaceMesh for one node.
    void WriteLayerEntry(KQoxNode* node);
    void WritePolyfaceEntry(KQoxNode* node);
    // One POLYLINE holding the polygons [first, end) and the points they use
    // (all points when local is empty; else local maps a point to its
    // number in this POLYLINE and points lists them in that order).
    void WritePolyface(const MeshText& mesh, int first, int end, const std::vector<int>& points,
                       const std::vector<int>& local);

    KStagedFiles mStaged; // the file, moved onto its target in FileClose
    FILE* mFile = nullptr;
    KString mFileName;
    // Text waiting for the file: mUsed bytes of mData.
    static constexpr size_t kBufferSize = 1 << 20;
    std::vector<char> mData;
    size_t mUsed = 0;
    // Node name to layer name, for the names that needed a change.
    std::unordered_map<std::string, std::string> mLayerNames;
    bool mWriteFailed = false;
    bool mForceTriangulation = true;
    bool mEvaluateDeformations = true;
};

} // namespace qoxsdk_600

#endif
