#ifndef QOX_FORMATS_DXF_KQOXREADERDXF_H
#define QOX_FORMATS_DXF_KQOXREADERDXF_H

// KQoxReaderDxf reads the geometry of a DXF text file into a scene: LINE,
// 3DFACE and POLYLINE entities become meshes (with one material per colour
// number), INSERTs become nodes holding their block's geometry, and the LAYER
// table gives layer colours and hidden layers. Every other entity the walks
// meet (drawn: in ENTITIES or an inserted block) is left out and named in the
// message, kind by kind with its count. A DXF point (x, y, z) is stored as
// (x, z, -y). A UTF-8 byte order mark before the first pair is skipped.

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/kmath_types.h"
#include "base/kname.h"
#include "fileio/kqoxio.h"
#include "formats/dxf/kqoxdxfpairs.h"
#include "formats/dxf/kqoxdxfweld.h"

namespace qoxsdk_600 {

class KQoxColor;
class KQoxMaterial;
class KQoxMesh;

class KQoxReaderDxf : public KQoxReader
{
public:
    explicit KQoxReaderDxf(KQoxSdkManager& manager);
    ~KQoxReaderDxf() override;

    // Opens the file for reading (closing an open one first); error 3
    // "File not opened" when it cannot.
    bool FileOpen(const char* fileName) override;
    // False only when closing the file failed.
    bool FileClose() override;
    bool IsFileOpen() override { return mFile != nullptr; }
    // A new KStreamOptionsDxf with its defaults; the caller owns it.
    KStreamOptions* GetReadOptions(bool parseFileAsNeeded) override;
    // Reads the open file into the scene under the derivation chosen by the
    // options. No file: error 3 "File not opened"; options that are not a
    // KStreamOptionsDxf: error 6 "Stream options not set". False when the file
    // ends before an "EOF" value or inside the ENTITIES section; nodes added
    // before stay in the scene. Memory running out at any point fails the
    // read with "Out of memory", the scene and the manager as they were. Either way the message gains one line per
    // kind of entity left out, in byte order of the kinds as written:
    //   Left out of the scene: <count> <kind> entities
    // ("entity" for a count of 1). A VERTEX that gives neither a point nor a
    // face (a 2D polyline's, say) counts as a VERTEX left out; an entity in
    // a block counts once per insert; blocks never inserted and SEQEND
    // markers count nothing. Past kMOST_KINDS_NAMED kinds, the rest count as
    //   Left out of the scene: <count> entities of other kinds
    bool Read(KQoxScene& scene, KStreamOptions* options) override;

    // Writes the RGB of colour numbers 1 to 255 into the colour; other numbers
    // leave it unchanged. Alpha is never touched.
    static void TranslateColor(int number, KQoxColor& color);

    // The most kinds of entity the message names one by one.
    static constexpr size_t kMOST_KINDS_NAMED = 64;

private:
    // Read's work once its options are taken.
    bool ReadFile(KQoxScene& scene);
    // The open file read whole into mBytes; false with eFILE_CORRUPTED when
    // it cannot be read.
    bool ReadWholeFile();
    // Points in scene axes (W = 1) and polygon records: word 0 the colour
    // flag, word 1 reserved, then records n, colour, n indices.
    struct Arrays
    {
        KDxfPoints mVertices;
        std::vector<int, KDxfLargeAllocator<int>> mRecords{0, 0};
        KDxfWeldIndex mWeld;
    };

    // The groups of one entity as read; absent groups stay 0.
    struct Entity
    {
        std::string_view mLayer;
        double mPoints[4][3] = {};
        int mColor = 0;
        int mFlags = 0;
        int mCorners[4] = {};
    };

    struct CaseLess
    {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    using LayerArrays = std::map<std::string, Arrays, CaseLess>;

    bool GetLine(int& code, std::string_view& value) { return mPairs.Next(code, value); }
    // Hands each pair of a record to onPair(code, value) up to the next
    // code-0 pair (included), then sets the reader back to that pair, where
    // the next record starts. False at the end of the file.
    template <class OnPair>
    bool ReadRecord(OnPair onPair)
    {
        int code = 0;
        std::string_view value;
        size_t start = 0;
        do
        {
            start = mPairs.Tell();
            if (!GetLine(code, value))
                return false;
            onPair(code, value);
        } while (code != 0);
        mPairs.Seek(start);
        return true;
    }
    // Everything one read gathers back to empty, so that a reader reads
    // each file as a new one would.
    void ResetReadState();
    // The manager's nodes, node attributes and materials when a read began.
    struct Made
    {
        int mNodes;
        int mAttributes;
        int mMaterials;
    };
    // Memory the read could not have where an object reports it rather than
    // throws (a null object, a text or an array come out short): throws
    // std::bad_alloc, so the read fails for it (Read runs under
    // UnlessOutOfMemory) rather than go on without what was lost.
    static void NeedMemory(bool had);
    // A node of the name, numbered by the read's renaming when number is set
    // ("LINE", "LINE1", ...). Memory running out on the way (the name's text
    // lost included) fails the read.
    KQoxNode* MakeNode(const std::string& name, bool number);
    // After a read that ran out of memory: destroys every node, attribute and
    // material made since, so the scene and the manager are as they were.
    void DestroyMadeSince(const Made& before);
    // Counts an entity of the kind a walk met and does not read (a SEQEND,
    // which only ends a list, or an "EOF" is none).
    void NoteLeftOut(std::string_view kind);
    // Adds the lines naming the entities left out to the message.
    void ReportLeftOut();
    bool ReadTables();
    // Reads pairs until a code-0 pair of word (the current one included);
    // false at the end of the file.
    bool SkipTo(int& code, std::string_view& value, const char* word);
    // The records of a LAYER table up to its ENDTAB, into mLayerColors.
    bool ReadLayerRecords(int& code, std::string_view& value);
    // The ENTITIES walks, one per derivation: a node per entity, a node per
    // layer, and one node named name for all entities (inserts to parent).
    bool ReadEntities(KQoxNode* parent);
    bool ReadEntitiesByLayer(KQoxNode* parent);
    bool ReadEntitiesAsBlock(KQoxNode* parent, const char* name);

    // A block whose entities are being read: its node, made as it opened,
    // joins parent when the block ends; with insertsToParent (the ENTITIES
    // read as one block) its inserts go to parent too.
    struct OpenBlock
    {
        OpenBlock(KQoxNode* parent, KQoxNode* node, const double* transform)
            : mParent(parent)
            , mNode(node)
        {
            std::copy(transform, transform + 7, mTransform);
        }
        KQoxNode* mParent;
        KQoxNode* mNode;
        // Insertion point, scale factors, rotation.
        double mTransform[7];
        Arrays mArrays;
        // Its last pair, kept while a block it inserts is read.
        int mCode = 0;
        std::string_view mValue;
        bool mInsertsToParent = false;
        bool mGeometry = false;
        bool mInserts = false;
        // Opened by an INSERT: its name (in mOpenBlocks) and where the
        // reading goes on once it ends.
        bool mInserted = false;
        std::string mName;
        size_t mResume = 0;
    };
    using BlockStack = std::vector<std::unique_ptr<OpenBlock>>;
    // Reads the entities of the block on top and of every block they insert,
    // until the first block is done; false when the file ends inside the
    // first block or one of its inserts (its node is then destroyed).
    bool ReadBlocks(BlockStack& blocks);
    // Gives an ended block's node its mesh and transform and adds it to its
    // parent; a block that made nothing is destroyed.
    void EndBlock(OpenBlock& block);
    // Reads an INSERT, with the blocks it inserts; false when the file ends
    // inside the insert's record.
    bool ReadInsert(KQoxNode* parent);
    // Reads an INSERT's record and opens its block under parent into
    // inserted, the reader at the block's entities; inserted stays null
    // (the reader after the record) when there is no block to read. False
    // when the file ends inside the record.
    bool BeginInsert(KQoxNode* parent, std::unique_ptr<OpenBlock>& inserted);
    // Sets the reader after the name of the block's BLOCK record; false when
    // there is none.
    bool FindBlock(std::string_view name);
    // Finds where each block's BLOCK record names it (mBlockIndex).
    void IndexBlocks();
    bool ReadBlockHeader(double& x, double& y, double& z, int& flags);

    // Reads an entity's groups up to the pair with code 0; with putBack the
    // file is set back to that pair, else its value is returned in next.
    bool ReadEntityGroups(Entity& entity, bool putBack, std::string_view* next);
    int ResolveColor(const Entity& entity) const;
    int LayerColor(std::string_view layer) const;
    static KQoxVector4 Convert(const double* point, double w = 1.0);
    // True when a face's first three corners coincide (within 1e-6).
    static bool Equal3(const Entity& entity);

    // Reads an entity's groups and makes the mesh it becomes; null when
    // either fails.
    KQoxMesh* ReadEntityMesh(Entity& entity);
    KQoxMesh* ReadLine();
    KQoxMesh* Read3DFace();
    KQoxMesh* ReadPolyline();
    // Each reads one entity (the caller has read its (0, kind) pair) into the
    // arrays of the entity's layer, made by AddLayer on first use.
    void ReadLineByLayer(LayerArrays& layers);
    void Read3DFaceByLayer(LayerArrays& layers);
    void ReadPolylineByLayer(LayerArrays& layers);
    // Each reads one entity into the arrays of the block being read.
    void ReadLineToArrays(Arrays& arrays);
    void Read3DFaceToArrays(Arrays& arrays);
    void ReadPolylineToArrays(Arrays& arrays);
    // Makes and registers the arrays of a layer met for the first time.
    bool AddLayer(std::string_view name, LayerArrays& layers);
    // The arrays of a layer, made by AddLayer when missing.
    Arrays& FindLayer(std::string_view name, LayerArrays& layers);
    Arrays& FindLayerInMap(std::string_view name, LayerArrays& layers);

    // A 3DFACE between its reading and its appending: the weld table's
    // slots for its corners are asked of memory while the next entity is
    // read, so the look-ups rarely wait. mArrays is null when none is held.
    struct PendingFace
    {
        Arrays* mArrays = nullptr;
        KQoxVector4 mCorners[4];
        KDxfWeldIndex::Key mKeys[4];
        int mCount = 0;
        int mColor = 0;
    };

    // Appending an entity whose groups are read.
    void AppendLine(Arrays& arrays, const Entity& entity);
    void AppendFace(Arrays& arrays, const Entity& entity);
    // AppendFace in two steps: the corners and their keys (slots prefetched),
    // then the records and look-ups, which leave the face empty. Faces must
    // be completed in the order they were read, before any other entity is
    // appended, for the points' numbering to stay the same.
    void PrepareFace(Arrays& arrays, const Entity& entity, PendingFace& face) const;
    void CompleteFace(PendingFace& face);
    // Reads the vertex list into the arrays; false when the header was not
    // followed by a VERTEX.
    bool AppendPolyline(Arrays& arrays, const Entity& header, std::string_view next);
    // A polygon mesh (flag 16): quads over its M x N vertices from first on,
    // closed in M (flag 1) and in N (flag 32) as flagged.
    void AppendPolygonMesh(Arrays& arrays, const Entity& header, int first, int color);
    // meshVertices: the polyline is a polygon mesh, whose vertices carry 64.
    // A vertex that adds neither a point nor a face is noted as left out.
    bool ReadVertex(Arrays& arrays, int firstIndex, int defaultColor, bool meshVertices);
    // ReadVertex's work once the vertex's groups are read.
    void StoreVertex(Arrays& arrays, const Entity& entity, int firstIndex, int defaultColor, bool meshVertices);

    int AddPoint(Arrays& arrays, const KQoxVector4& point, bool weld);
    KQoxMesh* CreateMeshFromArrays(const Arrays& arrays);
    KQoxMaterial* ColorMaterial(int number);
    // Direct LINE and 3DFACE: the polygon's material index for a colour.
    int AttachMaterial(KQoxMesh& mesh, int color);
    // Whether a LINE's or 3DFACE's mesh holds its one polygon whole: its
    // corners and, with materials by polygon, its material index.
    static bool WholePolygon(KQoxMesh& mesh, int corners);

    FILE* mFile = nullptr;
    KString mFileName;
    std::vector<char, KDxfLargeAllocator<char>> mBytes;
    KDxfPairReader mPairs;
    int mMaterialCounter = 0;
    size_t mBlocksPosition = 0;
    KNumberRenamingStrategy mRenaming;
    int mObjectDerivation = 0;
    bool mWeld = true;
    bool mReferenceNode = true;
    // Layer name to colour number as written (negative for a layer that is off).
    std::multimap<std::string, int, CaseLess> mLayerColors;
    KQoxMaterial* mMaterials[256] = {};
    // Layer names lately met by the layer walk, as written, with their
    // arrays (which a std::map never moves); emptied by each walk.
    std::array<std::pair<std::string, Arrays*>, 16> mRecentLayers;
    size_t mRecentNext = 0;
    // Where the name met last is kept among them.
    size_t mRecentHit = 0;
    // The face held back by the layer walk (see PendingFace), and the one
    // being prepared: they take turns, so no face is copied.
    PendingFace mPending[2];
    int mHeld = 0;
    // Blocks being read, so that a block inserting itself is skipped.
    std::set<std::string> mOpenBlocks;
    // Where FindBlock sets the reader for each block name, for the blocks
    // from mBlockIndexPosition on (0: none indexed yet).
    std::unordered_map<std::string, size_t> mBlockIndex;
    size_t mBlockIndexPosition = 0;
    // The entities left out by this read, by kind as written, and those of
    // the kinds past the kMOST_KINDS_NAMED first.
    std::map<std::string, size_t, std::less<>> mLeftOut;
    size_t mOtherKindsLeftOut = 0;
};

} // namespace qoxsdk_600

#endif
