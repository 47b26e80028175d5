#ifndef QOX_FORMATS_OBJ_KQOXREADEROBJ_H
#define QOX_FORMATS_OBJ_KQOXREADEROBJ_H

// KQoxReaderObj reads one OBJ text file into a scene: polygon faces become
// one mesh node per group name ("g"), rational B-spline surfaces ("surf"
// blocks) become NURBS nodes, and "usemtl" names are looked up in the
// material libraries named by "mtllib". A material's name, in "usemtl" and
// "newmtl" alike, is the whole rest of its line ("Car Paint"), without the
// blanks around it. Messages for the user (unsupported
// keywords, libraries and materials not found, map options left out) go to
// the message text; they never stop the read.
//
// A "v" statement of six numbers is a position and its colour ("v x y z r g
// b", as scanners and mesh tools write it), of seven a colour with alpha;
// of four, a position with its w. Once a file gives any vertex a colour,
// every mesh gets a vertex colour element by control point, each point the
// colour of its vertex: opaque white for a vertex written without one.
// Colours hold 0 to 1: a value outside (files written with 0 to 255) is
// clamped, and the message says how many values were.
//
// A "map_Kd" statement names its image with the rest of its line. When that
// whole rest names no file, options written before the name are read off
// it ("-s 2 2 1 wood.ppm"): "-s" (scale) and "-o" (offset) are kept on the
// texture as its scale and translation (u and v; w, of 3-D textures, is
// not kept), every other option of the MTL format ("-blendu", "-blendv",
// "-bm", "-boost", "-cc", "-clamp", "-imfchan", "-mm", "-t", "-texres",
// "-type") is named in the message with how many maps wrote it.

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/kmath_types.h"
#include "base/kname.h"
#include "fileio/kqoxio.h"
#include "formats/obj/kqoxobjparallel.h"
#include "formats/obj/kqoxobjrecords.h"
#include "formats/obj/kqoxobjscan.h"

namespace qoxsdk_600 {

class KQoxGeometry;
class KQoxMaterial;
class KQoxMesh;
class KQoxNodeAttribute;
class KQoxNurb;
class KQoxObject;
class KQoxTexture;

// Orders names without regard to case, as the reader's name sets do.
struct KObjNameLess
{
    bool operator()(const std::string& a, const std::string& b) const;
};
// The same names alike, hashed, for the sets only looked up in.
struct KObjNameHash
{
    size_t operator()(const std::string& name) const;
};
struct KObjNameEqual
{
    bool operator()(const std::string& a, const std::string& b) const;
};

class KQoxReaderObj : public KQoxReader
{
public:
    explicit KQoxReaderObj(KQoxSdkManager& manager);
    ~KQoxReaderObj() override;

    // Opens the file for reading (closing an open one first); error 3
    // "File not opened" when it cannot.
    bool FileOpen(const char* fileName) override;
    // False only when closing the file failed.
    bool FileClose() override;
    bool IsFileOpen() override { return mFile != nullptr; }
    // A new KStreamOptionsObj with its defaults; the caller owns it.
    KStreamOptions* GetReadOptions(bool parseFileAsNeeded) override;
    // Reads the open file into the scene. Options that are not a
    // KStreamOptionsObj: error 6 "Stream options not set". A "v", "vn", "vt"
    // or "vp" line with too few numbers, or a "surf" before any "cstype",
    // fails the read without an error id. Option 1 on: the mesh nodes hang
    // under a node named after the file with "_root" appended.
    bool Read(KQoxScene& scene, KStreamOptions* options) override;

    // Parsing of one statement's rest into the records.
    bool ParseObjFace(KObjFace& face, std::string_view rest);
    // The same for one "f" statement of the current state, parsed straight
    // into the face list: a face that does not parse or keeps fewer than
    // three references is dropped. False only when memory runs out.
    bool ReadFace(KObjMesh& mesh, KObjMesh::FaceList& list, std::string_view rest);
    // An "f" line at p (at its "f") of the plain form: one blank after the
    // keyword, at most 32 references of short numbers (as ReadFace scans
    // them fast) between blanks, none with vertex 0, nothing after them but
    // blanks, at least three references kept and, for a numbered mesh,
    // normals at every corner. Read as ReadFace reads it into the face
    // list, its corners numbered straight away for a numbered mesh (the one
    // the read numbers, mChainHeads covering the vertices), p moved to its
    // line break. False, nothing changed, for any other line (or when memory
    // runs out: the general reading tries again). shapes: the face line
    // shapes of the thread reading (without: the calling thread's).
    bool ReadPlainFaceLine(const char*& p, const char* end, KObjMesh& mesh, KObjMesh::FaceList& list,
                           KObjFaceShapes& shapes);
    bool ReadPlainFaceLine(const char*& p, const char* end, KObjMesh& mesh, KObjMesh::FaceList& list)
    {
        return ReadPlainFaceLine(p, end, mesh, list, mFaceShapes);
    }
    bool ParseObjSurf(KObjSurf& surf, std::string_view rest);
    // One reference "v", "v/t", "v/t/n" or "v//n", before conversion; true
    // when the vertex is not 0.
    static bool ParseVertexGroup(KIndexGroup& reference, std::string_view token);
    // One-based or negative (from the end) index to zero-based; -1 when out
    // of range.
    static int ConvertIndex(int index, int count);

    // Material libraries. Opening an "mtllib" line's libraries gives
    // eLIBRARIES_OPENED, eLIBRARY_MISSING when one names no file, or
    // eLIBRARY_NO_DESCRIPTOR, the read's error set, when one could not be
    // opened or looked for for want of a descriptor.
    enum LibrariesOpened
    {
        eLIBRARIES_OPENED,
        eLIBRARY_MISSING,
        eLIBRARY_NO_DESCRIPTOR
    };
    LibrariesOpened OpenLibrary(std::string_view rest);
    bool ReadMaterial(const std::string& name, KQoxMaterial*& material, KQoxTexture*& texture);
    bool CloseMtlLibrary();

    // Building: one mesh per group, one NURBS per rational B-spline surface.
    // The group's faces are used up (freed) on the way.
    KQoxMesh* CreateQoxMeshFromObjMesh(KObjMesh& mesh);
    bool FillNormals(KObjMesh& mesh);
    static KQoxVector4 ComputeDefaultNormal(const KQoxVector4* points);
    KQoxNurb* CreateQoxGeometryFromObjSurf(KObjSurf& surf);
    static int SwapArrayIndex(int i, int a, int b) { return i / b + (i % b) * a; }

    bool LoadScene(KQoxScene& scene);
    // Adds to the message how many faces of the whole file were dropped for
    // want of three vertex references in range, when any were.
    void ReportFacesOutOfRange();
    // Adds to the message how many vertex colour values of the file lay
    // outside 0 to 1, when any did: colours clamp them.
    void ReportColorsClamped();
    size_t mColorValuesClamped = 0;
    // Adds to the message, one line per option, how many maps wrote each
    // map option the textures do not keep.
    void ReportMapOptionsLeftOut();
    // The map options of the MTL format (their table is in
    // kqoxreaderobj_mtl.cpp), and per option how many maps of the read
    // wrote it where the texture does not keep it.
    enum
    {
        eMAP_OPTION_KINDS = 13
    };
    size_t mMapOptionsLeftOut[eMAP_OPTION_KINDS] = {};
    // The map statements other than "map_Kd" the read met in its materials,
    // by keyword as written in order of first meeting, with their counts;
    // ReportMapsLeftOut adds a line for each to the message.
    std::vector<std::pair<std::string, size_t>> mMapsLeftOut;
    void NoteMapLeftOut(std::string_view keyword);
    void ReportMapsLeftOut();
    // A "map_Kd" statement's rest into the texture: its file and relative
    // name, its scale and offset.
    void SetMapFile(KQoxTexture& texture, std::string_view rest, const KString& libraryFolder);
    // After a failed read or build: the groups' faces go, and the file's
    // lists too once pages of them were given back.
    void AbandonBuild();
    void DeleteObjMeshes() { mGroups.clear(); }
    // Everything one read collects back to empty, so that a reader reads
    // each file as a new one would.
    void ResetReadState();
    void PrintObjMeshes() {}

    // Runs of "v", "vt" and "vn" statements, and of "f" statements, are cut
    // into portions read by up to threads threads at once when at least
    // minimumBytes of them are at hand (threads 1: never); what is read is
    // the same either way.
    void SetParallelRuns(int threads, size_t minimumBytes);

    // What the read collected; the arrays live as long as the reader, but
    // for those that building the last mesh frees (the meshes give their
    // pages back as they are built, and a failed build frees them).
    const KObjPodArray<KQoxVector4>& GetVertices() const { return mVertices; }
    const KObjPodArray<KQoxVector2>& GetTextureVertices() const { return mTextureVertices; }
    const KObjPodArray<KQoxVector4>& GetNormals() const { return mNormals; }
    const std::vector<KQoxVector4>& GetParameterVertices() const { return mParameterVertices; }
    // Per vertex its colour (red, green, blue, alpha), once any vertex had
    // one; empty otherwise.
    const KObjPodArray<KQoxVector4>& GetVertexColors() const { return mVertexColors; }

private:
    struct FileCloser
    {
        void operator()(FILE* file) const;
    };
    using FilePtr = std::unique_ptr<FILE, FileCloser>;
    // A library is read once, as far as the names looked up need: each
    // name's first "newmtl" is noted with where its statements start.
    struct Library
    {
        FilePtr mFile;
        KString mFolder; // the library's folder, absolute: map names are taken from it
        std::unique_ptr<KObjStatementReader> mReader;
        std::unordered_map<std::string, size_t> mStarts;
        size_t mNoted = 0;     // the names are noted up to here
        bool mAllNoted = false; // to the end of the library
        // Sets the reader at the statements of the name's first definition;
        // false when the library has none (or could not be read so far).
        bool Find(const std::string& name);
    };
    struct MaterialEntry
    {
        KQoxMaterial* mMaterial;
        KQoxTexture* mTexture;
    };

    // Per-read state.
    struct ReadState
    {
        std::string mGroupName = "default";
        // The mesh of mGroupName once a face looked it up: runs of faces
        // broken by "usemtl" or "s" need no new lookup.
        KObjMesh* mMesh = nullptr;
        int mSmoothingGroup = 0;
        KQoxMaterial* mMaterial = nullptr;
        KQoxTexture* mTexture = nullptr;
        KObjSurf::ECurveType mCurveType = KObjSurf::eNONE;
        bool mRational = false;
        int mDegreeU = 0, mDegreeV = 0;
        int mStepU = 0, mStepV = 0;
    };

    // The statement loop; false for the failures that end a read early.
    bool ReadStatements(KQoxScene& scene, KObjStatementReader& in);
    // One "v", "vn", "vt" or "vp" statement's rest; false when it holds too
    // few numbers.
    bool ReadPosition(std::string_view rest);
    bool ReadNormal(std::string_view rest);
    bool ReadTextureVertex(std::string_view rest);
    bool ReadParameterVertex(std::string_view rest);
    // The same into a given place; with six numbers or more, colored is set
    // and color holds red, green, blue and alpha (1 when not written).
    static bool ParsePosition(std::string_view rest, KQoxVector4& position, KQoxVector4& color, bool& colored);
    // The colour of a vertex read; the vertices before it without one are
    // white. Its values outside 0 to 1 are counted (always on the calling
    // thread, in file order, whatever the threads reading). False when
    // memory runs out.
    bool SetVertexColor(size_t vertex, const KQoxVector4& color);
    // Once a colour was read: every vertex read has its colour (white for
    // those written without one). False when memory runs out.
    bool CoverVertexColors();
    // The list items of a vertex statement's n numbers (three at least for
    // a position or a normal): a position's w is 1 and a texture vertex's
    // v 0 when absent; a normal's w is 0.
    static KQoxVector4 PlainPosition(const double* values, int n)
    {
        return KQoxVector4(values[0], values[1], values[2], n > 3 ? values[3] : 1.0);
    }
    static KQoxVector2 PlainTextureVertex(const double* values, int n)
    {
        return KQoxVector2(values[0], n > 1 ? values[1] : 0.0);
    }
    static KQoxVector4 PlainNormal(const double* values) { return KQoxVector4(values[0], values[1], values[2], 0.0); }
    static bool ParseNormal(std::string_view rest, KQoxVector4& normal);
    static bool ParseTextureVertex(std::string_view rest, KQoxVector2& textureVertex);
    // After a "v", "vt" or "vn" statement: the run of such statements at
    // hand read in parallel portions, until a statement of another kind; false
    // when a statement holds too few numbers or memory runs out.
    bool ReadVertexRuns(KObjStatementReader& in);
    // After an "f" statement: the same for the run of "f" statements, into
    // the current group's face list; false when memory runs out.
    bool ReadFaceRuns(KObjStatementReader& in, KObjMesh& mesh, KObjMesh::FaceList& list);
    // The same on the calling thread: the whole lines at hand are read
    // where they lie, without a statement-by-statement round; with most,
    // they stop at the first line past that many bytes (the statement loop
    // goes on with the run).
    bool ReadVertexLines(KObjStatementReader& in, size_t most = ~size_t(0));
    // A "v", "vt" or "vn" line at p of the form nearly every file writes
    // (one blank after the keyword, plain numbers, nothing after them) read
    // into its list, p moved to its line break; false, p unchanged, for any
    // other line (or when memory runs out: the general reading tries again).
    bool ReadPlainVertexLine(const char*& p, const char* end);
    // The lines read by ObjScanPlainVertexLines into their lists; false when
    // memory runs out.
    bool AddPlainLines(const KObjPlainLines& lines);
    bool ReadFaceLines(KObjStatementReader& in, KObjMesh& mesh, KObjMesh::FaceList& list,
                       size_t most = ~size_t(0));
    // The whole lines at hand when they are worth reading in parallel, cut
    // into a few portions per thread at line breaks; false otherwise, or
    // before the position noRunBefore (which a short run moves on).
    bool CutPortions(KObjStatementReader& in, size_t& noRunBefore, std::string_view& lines,
                     std::vector<std::string_view>& portions);
    bool ReadSurface(KQoxScene& scene, KObjStatementReader& in, std::string_view rest, std::string_view& keyword,
                     std::string_view& next, bool& more);
    void UseMaterial(std::string_view rest);
    void SetGroup(std::string_view rest);
    void SetSmoothingGroup(std::string_view rest);
    void SetCurveType(std::string_view rest);
    void AddNode(KQoxNode* parent, KQoxNodeAttribute* attribute, const std::string& groupName);
    // The material a face without one uses once a library was seen.
    KQoxMaterial* DefaultMaterial();
    using PointEntry = KObjMesh::Point;
    // The material and texture numbers in the mesh of each run of faces, in
    // the order of the face lists; materials and textures are added to the
    // mesh on the way.
    struct RunIndices
    {
        int mMaterial;
        int mTexture;
    };
    void IndexRuns(KQoxMesh& mesh, KObjMesh& objMesh, std::vector<RunIndices>& runs);
    // Materials and textures alike by name take one index in a mesh (as the
    // layer's lookup by name would give). Each object given to a mesh gets
    // the number of its name with its kind's prefix once per read; per name
    // number, the last mesh that took it and its index there. Meshes index
    // their runs without name sets of their own.
    struct NameUse
    {
        unsigned mMesh = 0; // stamp of the mesh (0: none yet)
        int mIndex = -1;
    };
    std::unordered_map<const KQoxObject*, int> mNameNumbers;
    std::unordered_map<std::string, int> mNamesNumbered;
    std::vector<NameUse> mNameUses;
    unsigned mMeshStamp = 0;
    // The use of the object's name, its number made on first sight.
    NameUse& UseOfName(const char* prefix, KQoxObject& object);
    // Numbers the distinct corners of every face in order of first
    // appearance into entries (reserved for every corner), writing each
    // corner's number to polygonVertices; the corners of each list are
    // freed once numbered. Returns the number of UVs; usedUVs gets the
    // count of corners up to the last one with a UV.
    int NumberCorners(KObjMesh& objMesh, KObjPodArray<PointEntry>& entries, int* polygonVertices, int& usedUVs);
    // Corners numbered as they are read: the corners of the list from first
    // on become point numbers of the mesh (the one mNumbering names), or,
    // once a face without normals came, the mesh's numbering stops. False
    // when memory runs out.
    bool NumberNewCorners(KObjMesh& mesh, KObjMesh::FaceList& list, size_t first);
    // The numbered corners of a numbered mesh back into its face list,
    // before the corners it holds, kept as corners from then on; false when
    // memory runs out.
    bool StopNumbering(KObjMesh& mesh);
    // The mesh, about to get its first faces in its one face list, numbers
    // its corners from now on; the one numbered so far keeps its numbers,
    // its chains cleared.
    void StartNumbering(KObjMesh& mesh);
    // The most items of each array a new numbered mesh reserves from the
    // sizes of the one before: small blocks of malloc's heap, never mapped
    // one by one, however the sizes alternate.
    static constexpr size_t kMostItemsHinted = size_t(1) << 12;
    // The chains of mNumbering's points out of mChainHeads.
    void ClearNumberingChains();
    // Makes the mesh's polygons from the faces' sizes, with the runs'
    // material and texture numbers where the layer keeps them by polygon.
    // False when memory runs out.
    bool SetFacePolygons(KQoxMesh& mesh, KObjMesh& objMesh, const std::vector<RunIndices>& runs, size_t faceCount);

    FILE* mFile = nullptr;
    KString mFileName;
    bool mCreateReferenceNode = false;
    KNumberRenamingStrategy mNodeRenaming;
    bool mNormalsSeen = false;
    bool mMaterialLibrarySeen = false;
    bool mTexturedMaterialUsed = false;
    bool mTextureVerticesSeen = false;
    std::map<std::string, std::unique_ptr<KObjMesh>, KObjNameLess> mGroups;
    std::unordered_map<std::string, MaterialEntry, KObjNameHash, KObjNameEqual> mMaterials;
    std::vector<Library> mLibraries;
    KObjPodArray<KQoxVector4> mVertices;
    KObjPodArray<KQoxVector2> mTextureVertices;
    KObjPodArray<KQoxVector4> mNormals;
    KObjPodArray<KQoxVector4> mVertexColors;
    std::vector<KQoxVector4> mParameterVertices;
    ReadState mState;
    KObjFace mFace{0, nullptr, nullptr};
    KQoxMaterial* mDefaultMaterial = nullptr;
    // Blocks of the file read at once when runs are read in parallel: a
    // forty-eighth of the file within these bounds, so that the buffers
    // (three blocks with the one read ahead) of a small file stay small
    // beside its scene.
    static constexpr size_t kParallelBlockLeast = size_t(1) << 20;
    static constexpr size_t kParallelBlock = size_t(8) << 20;
    size_t mBlock = kParallelBlock;
    // The block size for a file of fileBytes (0: size unknown).
    static size_t ParallelBlockFor(size_t fileBytes);
    // The size of the open file, 0 when unknown (leaves the file at its end).
    size_t FileBytes() const;
    size_t mFileBytes = 0;
    // A file this large whose second group gets faces has its lists on
    // large pages from their first items on (see StartNumbering).
    static constexpr size_t kListsOnLargePagesLeast = size_t(16) << 20;
    // Bytes of whole lines asked for at once by the calling thread's runs.
    static constexpr size_t kLinesAtOnce = size_t(256) << 10;
    // Statements at hand worth reading in parallel at least, by default.
    static constexpr size_t kDefaultMinimum = size_t(1) << 20;
    int mThreads = ObjDefaultThreads();
    size_t mParallelMinimum = kDefaultMinimum;
    // The least bytes read in parallel: at most half a block, which is what
    // is asked to be at hand.
    size_t ParallelMinimum() const { return std::min(mParallelMinimum, mBlock / 2); }
    // No parallel run of vertices (of faces) is tried before this position
    // of the file: the last try found too short a run.
    size_t mNoVertexRunBefore = 0;
    size_t mNoFaceRunBefore = 0;
    // Per thread, the faces of its portion of a run of "f" statements, with
    // where its portion's run ended.
    struct FacePortion
    {
        KObjMesh mMesh;
        KObjMesh::FaceList mList;
        size_t mStop = 0;    // bytes of the portion read
        bool mEnded = false; // a statement of another kind was met
        bool mFailed = false;
        KObjFaceShapes mShapes; // the face line shapes met by its thread
    };
    std::vector<std::unique_ptr<FacePortion>> mFacePortions;
    // Room for plain vertex lines read at once, with the line shapes met,
    // kept from one run to the next: [0] on the calling thread, one per
    // portion of a parallel run.
    std::vector<std::unique_ptr<KObjPlainLines>> mPlainLines;
    // Per portion of a parallel run of vertices, the colours its vertices
    // were written with, in file order.
    struct ColorAt
    {
        size_t mVertex;
        KQoxVector4 mColor;
    };
    std::vector<KObjPodArray<ColorAt>> mPortionColors;
    // The face line shapes met on the calling thread.
    KObjFaceShapes mFaceShapes;
    // mPlainLines with at least count of them.
    void MakePlainLines(size_t count);
    // Per vertex, the first distinct reference made of it (-1: none yet);
    // kept between meshes and reset where it was used. It grows with the
    // vertices in place, without copies.
    KObjPodArray<int> mChainHeads;
    // mChainHeads covering every vertex read so far, the new ones heading
    // no chain; false when memory runs out.
    bool CoverChainHeads();
    // The mesh whose corners are numbered as they are read (null: none):
    // the last mesh to get its first faces. Its points head the chains in
    // mChainHeads; meshes numbered before keep their numbers (mNumbered)
    // without chains.
    KObjMesh* mNumbering = nullptr;
    // Set while the last mesh is built: the file's vertex lists are freed
    // as its points are gathered.
    bool mBuildingLastMesh = false;
    // Whole pages of one of the file's lists (positions, texture vertices,
    // normals) by the mesh, in building order, after which no mesh reads
    // them: mPages[mStarts[k]] up to mPages[mStarts[k + 1]], ascending.
    struct PageDrops
    {
        std::vector<size_t> mStarts;
        std::vector<size_t> mPages;
        // Pages in a row waiting to go back: [mPendingFirst, mPendingEnd).
        size_t mPendingFirst = 0;
        size_t mPendingEnd = 0;
    };
    // The pages of the lists each mesh but the last reads last, before any
    // is built (none when there is one mesh).
    void FindPageDrops(PageDrops (&drops)[3]);
    // Gives back the pages no mesh after the k-th one reads, in runs of
    // kPagesDroppedAtOnce pages at least (the last run with the last mesh).
    void DropPages(PageDrops (&drops)[3], size_t k);
    // Gives back the run pending in list (0 positions, 1 texture
    // vertices, 2 normals).
    void FlushPageDrops(int list, PageDrops& d);
    // A quarter of a megabyte of each list at most waits to go back.
    static constexpr size_t kPagesDroppedAtOnce = 64;
    // Set once pages of the lists were given back: what is left of them is
    // freed should building fail.
    bool mPagesDropped = false;
};

} // namespace qoxsdk_600

#endif
