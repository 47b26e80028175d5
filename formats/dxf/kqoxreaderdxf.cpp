#include "formats/dxf/kqoxreaderdxf.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <strings.h>

#include "base/kfile.h"
#include "base/kfilecause.h"
#include "base/ktextfile.h"
#include "base/kpath.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/kqoxwholename.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnode_walk.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

// The identity insert transform: insertion point, scale factors, rotation.
constexpr double kIdentity[7] = {0, 0, 0, 1, 1, 1, 0};

bool Is(std::string_view value, const char* word)
{
    return value == word;
}

// Turns the insertion point of an insert transform into the translation
// that puts the block's base point there: the node scales and rotates the
// block's geometry about the origin, so the base point is scaled and turned
// (about the file's Z axis) before it is taken from the insertion point.
void PlaceBasePoint(double* transform, double bx, double by, double bz)
{
    double x = bx * transform[3];
    double y = by * transform[4];
    const double z = bz * transform[5];
    if (transform[6] != 0)
    {
        const double angle = transform[6] * M_PI / 180.0;
        const double c = std::cos(angle);
        const double s = std::sin(angle);
        const double turnedX = c * x - s * y;
        y = s * x + c * y;
        x = turnedX;
    }
    transform[0] -= x;
    transform[1] -= y;
    transform[2] -= z;
}

// The cause of a file refused as no DXF file.
const char kNotDxfCause[] = "not a DXF file";

// The first bytes of a file may begin a DXF file: text (no NUL) whose first
// line, past a byte order mark and blank lines, is a group code (a whole
// number alone).
bool MayBeDxf(const unsigned char* head, size_t length)
{
    if (length == 0 || std::memchr(head, 0, length))
        return false;
    const unsigned char* p = head + KByteOrderMarkLength(head, length);
    const unsigned char* const end = head + length;
    auto blank = [](unsigned char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (p < end && (blank(*p) || *p == '\n'))
        ++p;
    if (p < end && (*p == '-' || *p == '+'))
        ++p;
    const unsigned char* digits = p;
    while (p < end && *p >= '0' && *p <= '9')
        ++p;
    if (p == digits)
        return p == end && length == KQoxReader::kHEAD_BYTES; // cut by a full block: not judged
    while (p < end && blank(*p))
        ++p;
    return p == end || *p == '\n';
}

} // namespace

bool KQoxReaderDxf::CaseLess::operator()(const std::string& a, const std::string& b) const
{
    return strcasecmp(a.c_str(), b.c_str()) < 0;
}

KQoxReaderDxf::KQoxReaderDxf(KQoxSdkManager& manager)
    : KQoxReader(manager)
{}

KQoxReaderDxf::~KQoxReaderDxf()
{
    KQoxReaderDxf::FileClose();
}

bool KQoxReaderDxf::FileOpen(const char* fileName)
{
    return OpenReadFile(fileName, mFile, mFileName, &MayBeDxf, kNotDxfCause);
}

bool KQoxReaderDxf::FileClose()
{
    const bool ok = CloseReadFile(mFile, mFileName);
    mBytes.clear();
    mBytes.shrink_to_fit();
    mPairs = KDxfPairReader();
    mBlockIndex.clear();
    mBlockIndexPosition = 0;
    return ok;
}

void KQoxReaderDxf::ResetReadState()
{
    // The layer table and the blocks' place are the file's; the materials
    // are the read's, and the manager may have destroyed them since. The
    // names given (of nodes and materials) stay taken across reads.
    mLayerColors.clear();
    mBlocksPosition = 0;
    std::fill(std::begin(mMaterials), std::end(mMaterials), nullptr);
    mOpenBlocks.clear();
    mRecentLayers.fill({std::string(), nullptr});
    mRecentNext = mRecentHit = 0;
    mPending[0] = mPending[1] = PendingFace();
    mHeld = 0;
    mLeftOut.clear();
    mOtherKindsLeftOut = 0;
}

void KQoxReaderDxf::NoteLeftOut(std::string_view kind)
{
    if (Is(kind, "SEQEND") || Is(kind, "EOF"))
        return;
    const auto found = mLeftOut.find(kind);
    if (found != mLeftOut.end())
        ++found->second;
    else if (mLeftOut.size() < kMOST_KINDS_NAMED)
        mLeftOut.emplace(std::string(kind), 1);
    else
        ++mOtherKindsLeftOut; // a file of ever new kinds makes no endless message
}

void KQoxReaderDxf::ReportLeftOut()
{
    auto line = [this](size_t count, const KString& what) {
        mMessage += "Left out of the scene: ";
        mMessage += std::to_string(count).c_str();
        mMessage += " ";
        mMessage += what;
        mMessage += "\n";
    };
    for (const auto& kind : mLeftOut)
    {
        KString what = KMessageText(kind.first);
        what += kind.second == 1 ? " entity" : " entities";
        line(kind.second, what);
    }
    if (mOtherKindsLeftOut > 0)
        line(mOtherKindsLeftOut, "entities of other kinds");
    mLeftOut.clear();
    mOtherKindsLeftOut = 0;
    // A message that lost its text for want of memory fails the read (Read
    // runs this under UnlessOutOfMemory) rather than hide what was left out.
    if (!mMessage.IsOK())
        throw std::bad_alloc();
}

KStreamOptions* KQoxReaderDxf::GetReadOptions(bool)
{
    return new KStreamOptionsDxf();
}

bool KQoxReaderDxf::Read(KQoxScene& scene, KStreamOptions* options)
{
    if (!IsFileOpen())
    {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    if (!options || !options->Is(KStreamOptionsDxf::ClassId))
    {
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
        return false;
    }
    auto* dxf = static_cast<KStreamOptionsDxf*>(options);
    mObjectDerivation = dxf->GetObjectDerivation();
    mWeld = dxf->GetOption(KStreamOptionsDxf::eWELD_VERTICES) == 1;
    mReferenceNode = dxf->GetOption(KStreamOptionsDxf::eCREATE_REFERENCE_NODE) == 1;
    if (!scene.GetRootNode())
        return false;
    const Made before = {mManager.GetKQoxNodeCount(), mManager.GetKQoxNodeAttributeCount(),
                         mManager.GetKQoxMaterialCount()};
    if (UnlessOutOfMemory(
            [&] {
                const bool read = ReadFile(scene);
                ReportLeftOut();
                return read;
            },
            [&] { DestroyMadeSince(before); }))
        return true;
    // What was held for the read goes with it.
    mBytes = decltype(mBytes)();
    mPairs = KDxfPairReader();
    return false;
}

void KQoxReaderDxf::NeedMemory(bool had)
{
    if (!had)
        throw std::bad_alloc();
}

KQoxNode* KQoxReaderDxf::MakeNode(const std::string& name, bool number)
{
    // Names are texts up to their first NUL, as the manager takes them.
    return KQoxMakeNamedNode(mManager, name.c_str(), number ? &mRenaming : nullptr);
}

void KQoxReaderDxf::DestroyMadeSince(const Made& before)
{
    // The manager lists what it makes in order, and the read destroys none
    // of what it found: what stands past the counts the read made. Nothing
    // here may allocate: the attributes go first (each leaves its node),
    // then the nodes, each once it has no child left, as a node that leaves
    // the scene without children or geometry does not look through the
    // scene's names; then the materials.
    while (mManager.GetKQoxNodeAttributeCount() > before.mAttributes)
        mManager.DestroyKQoxNodeAttribute(mManager.GetKQoxNodeAttribute(mManager.GetKQoxNodeAttributeCount() - 1));
    while (mManager.GetKQoxNodeCount() > before.mNodes)
    {
        // The children of a node made by the read were made by it too.
        KQoxNode* node = mManager.GetKQoxNode(mManager.GetKQoxNodeCount() - 1);
        while (KQoxNode* child = KQoxChildAt(node, 0))
            node = child;
        mManager.DestroyKQoxNode(node);
    }
    while (mManager.GetKQoxMaterialCount() > before.mMaterials)
        mManager.DestroyKQoxMaterial(mManager.GetKQoxMaterial(mManager.GetKQoxMaterialCount() - 1));
    std::fill(std::begin(mMaterials), std::end(mMaterials), nullptr);
}

bool KQoxReaderDxf::ReadWholeFile()
{
    // In one portion when its size is known, in chunks past that (a file
    // that grows meanwhile). Only a regular file's size is its length.
    rewind(mFile);
    long size = -1;
    if (GetFileKind(mFile) == kFILE_KIND_REGULAR && fseek(mFile, 0, SEEK_END) == 0)
        size = ftell(mFile);
    rewind(mFile);
    if (size > 0)
    {
        mBytes.resize(static_cast<size_t>(size));
        mBytes.resize(fread(mBytes.data(), 1, mBytes.size(), mFile));
    }
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), mFile)) > 0)
        mBytes.insert(mBytes.end(), chunk, chunk + got);
    if (ferror(mFile))
    {
        mError.SetLastErrorID(eFILE_CORRUPTED);
        return false;
    }
    return true;
}

bool KQoxReaderDxf::ReadFile(KQoxScene& scene)
{
    ResetReadState();

    // The whole file is held in memory and parsed in place. A stream was
    // read whole when it was opened: it is parsed where it lies.
    mBytes.clear();
    const unsigned char* bytes = mStreamBytes.data();
    size_t length = mStreamBytes.size();
    if (mStreamBytes.empty())
    {
        if (!ReadWholeFile())
            return false;
        bytes = reinterpret_cast<const unsigned char*>(mBytes.data());
        length = mBytes.size();
    }
    // The pairs start after a byte order mark.
    const size_t mark = KByteOrderMarkLength(bytes, length);
    mPairs = KDxfPairReader(reinterpret_cast<const char*>(bytes) + mark, length - mark);
    mBlockIndex.clear();
    mBlockIndexPosition = 0;

    KQoxNode* parent = scene.GetRootNode();
    if (mReferenceNode)
    {
        const KString file = ExtractFileName(mFileName.ToChars(), false);
        NeedMemory(mFileName.IsOK() && file.IsOK());
        KQoxNode* reference = MakeNode(std::string(file.ToChars()) + "_root", false);
        scene.GetRootNode()->AddChild(reference);
        parent = reference;
    }

    int code = 0;
    std::string_view value;
    while (GetLine(code, value))
    {
        if (Is(value, "EOF"))
            return true;
        if (code != 0 || !Is(value, "SECTION"))
            continue;
        if (!GetLine(code, value))
            return false;
        if (code != 2)
            continue;
        if (Is(value, "TABLES"))
            ReadTables();
        else if (Is(value, "BLOCKS"))
            mBlocksPosition = mPairs.Tell();
        else if (Is(value, "ENTITIES"))
        {
            switch (mObjectDerivation)
            {
            case KStreamOptionsDxf::eBY_ENTITY: return ReadEntities(parent);
            case KStreamOptionsDxf::eBY_LAYER: return ReadEntitiesByLayer(parent);
            case KStreamOptionsDxf::eBY_BLOCK: return ReadEntitiesAsBlock(parent, "ENTITIES");
            default: return false;
            }
        }
    }
    return false;
}

bool KQoxReaderDxf::ReadTables()
{
    int code = 0;
    std::string_view value;
    if (!GetLine(code, value))
        return false;
    for (;;)
    {
        if (code == 0 && Is(value, "ENDSEC"))
            return true;
        if (code == 0 && Is(value, "TABLE"))
        {
            if (!GetLine(code, value))
                return false;
            const bool layers = code == 2 && Is(value, "LAYER");
            if (!(layers ? ReadLayerRecords(code, value) : SkipTo(code, value, "ENDTAB")))
                return false;
        }
        if (!GetLine(code, value))
            return false;
    }
}

bool KQoxReaderDxf::SkipTo(int& code, std::string_view& value, const char* word)
{
    while (!(code == 0 && Is(value, word)))
        if (!GetLine(code, value))
            return false;
    return true;
}

bool KQoxReaderDxf::ReadLayerRecords(int& code, std::string_view& value)
{
    if (!GetLine(code, value))
        return false;
    while (!(code == 0 && Is(value, "ENDTAB")))
    {
        if (!(code == 0 && Is(value, "LAYER")))
        {
            if (!GetLine(code, value))
                return false;
            continue;
        }
        // Each record starts with no name and colour 0, so a record never
        // lends its values to the next.
        std::string name;
        int color = 0;
        do
        {
            if (!GetLine(code, value))
                return false;
            if (code == 2)
                name.assign(value.data(), value.size());
            else if (code == 62)
                DxfScanInt(value, color);
        } while (code != 0);
        if (!name.empty())
            mLayerColors.emplace(name, color);
    }
    return true;
}

bool KQoxReaderDxf::ReadEntities(KQoxNode* parent)
{
    int code = 0;
    std::string_view value;
    for (;;)
    {
        if (!GetLine(code, value))
            return false;
        if (code != 0)
            continue;
        const bool line = Is(value, "LINE");
        if (line || Is(value, "3DFACE") || Is(value, "POLYLINE"))
        {
            const std::string kind(value);
            KQoxNode* node = MakeNode(kind, true);
            KQoxMesh* mesh = line ? ReadLine() : kind == "3DFACE" ? Read3DFace() : ReadPolyline();
            if (!mesh)
            {
                mManager.DestroyKQoxNode(node, true);
                continue;
            }
            if (line)
                node->SetShadingMode(KQoxNode::eWIRE_FRAME);
            node->SetNodeAttribute(mesh);
            parent->AddChild(node);
        }
        else if (Is(value, "INSERT"))
        {
            if (!ReadInsert(parent))
                return false;
        }
        else if (Is(value, "ENDSEC") || Is(value, "ENDBLK"))
            return true;
        else
            NoteLeftOut(value);
    }
}

bool KQoxReaderDxf::ReadEntitiesByLayer(KQoxNode* parent)
{
    // Held by value: the arrays are freed on every way out.
    LayerArrays layers;
    mRecentLayers.fill({std::string(), nullptr});
    mRecentNext = 0;
    mRecentHit = 0;
    mPending[0] = mPending[1] = PendingFace();
    int code = 0;
    std::string_view value;
    for (;;)
    {
        if (!GetLine(code, value))
        {
            mPending[0] = mPending[1] = PendingFace();
            return false;
        }
        if (code != 0)
            continue;
        if (Is(value, "3DFACE"))
        {
            Read3DFaceByLayer(layers);
            continue;
        }
        // Every other entity comes after the face held back.
        CompleteFace(mPending[mHeld]);
        if (Is(value, "LINE"))
            ReadLineByLayer(layers);
        else if (Is(value, "POLYLINE"))
            ReadPolylineByLayer(layers);
        else if (Is(value, "INSERT"))
        {
            if (!ReadInsert(parent))
                return false;
        }
        else if (Is(value, "ENDSEC") || Is(value, "ENDBLK"))
            break;
        else
            NoteLeftOut(value);
    }
    for (auto& layer : layers)
    {
        KQoxMesh* mesh = CreateMeshFromArrays(layer.second);
        layer.second = Arrays();
        if (!mesh)
            continue;
        KQoxNode* node = MakeNode(layer.first, true);
        node->SetNodeAttribute(mesh);
        if (LayerColor(layer.first) < 0)
            node->SetVisibility(false);
        parent->AddChild(node);
    }
    return true;
}

bool KQoxReaderDxf::ReadEntitiesAsBlock(KQoxNode* parent, const char* name)
{
    KQoxNode* node = MakeNode(name, false);
    BlockStack blocks;
    blocks.push_back(std::make_unique<OpenBlock>(parent, node, kIdentity));
    blocks.back()->mInsertsToParent = true;
    return ReadBlocks(blocks);
}

bool KQoxReaderDxf::ReadBlocks(BlockStack& blocks)
{
    // Blocks inserted by blocks are read here, one level per entry of
    // blocks rather than per call, so that nesting of any depth never
    // exhausts the stack.
    bool ok = true;
    int code = 0;
    std::string_view value;
    while (!blocks.empty())
    {
        OpenBlock& block = *blocks.back();
        bool ended = false;
        bool failed = false;
        if (!GetLine(code, value))
            failed = true;
        else if (code != 0)
            continue;
        else if (Is(value, "LINE") || Is(value, "3DFACE") || Is(value, "POLYLINE"))
        {
            block.mGeometry = true;
            if (Is(value, "LINE"))
                ReadLineToArrays(block.mArrays);
            else if (Is(value, "3DFACE"))
                Read3DFaceToArrays(block.mArrays);
            else
                ReadPolylineToArrays(block.mArrays);
        }
        else if (Is(value, "INSERT"))
        {
            if (!block.mInsertsToParent)
                block.mInserts = true;
            std::unique_ptr<OpenBlock> inserted;
            if (!BeginInsert(block.mInsertsToParent ? block.mParent : block.mNode, inserted))
                failed = true;
            else if (inserted)
            {
                // Each block reads with its own last pair, as a call of its
                // own would: kept while the inserted block is read.
                block.mCode = code;
                block.mValue = value;
                code = 0;
                value = std::string_view();
                blocks.push_back(std::move(inserted));
            }
        }
        else if (Is(value, "ENDSEC") || Is(value, "ENDBLK"))
            ended = true;
        else
            NoteLeftOut(value);
        if (!ended && !failed)
            continue;
        // The block is done: it joins its parent, or goes with what it made
        // when the file ended inside it. The block that inserted it goes
        // on after the insert, whatever became of it.
        if (failed)
            mManager.DestroyKQoxNode(block.mNode, true);
        else
            EndBlock(block);
        if (block.mInserted)
        {
            mOpenBlocks.erase(block.mName);
            mPairs.Seek(block.mResume);
        }
        ok = !failed;
        blocks.pop_back();
        if (!blocks.empty())
        {
            code = blocks.back()->mCode;
            value = blocks.back()->mValue;
        }
    }
    // What the first block came to; an inserted block's end never fails
    // the block that inserted it.
    return ok;
}

void KQoxReaderDxf::EndBlock(OpenBlock& block)
{
    KQoxNode* node = block.mNode;
    if (block.mGeometry)
    {
        if (KQoxMesh* mesh = CreateMeshFromArrays(block.mArrays))
            node->SetNodeAttribute(mesh);
    }
    else if (!block.mInserts)
    {
        mManager.DestroyKQoxNode(node, true);
        return;
    }
    const double* transform = block.mTransform;
    if (transform[3] != 1 || transform[4] != 1 || transform[5] != 1 || std::isnan(transform[3]) ||
        std::isnan(transform[4]) || std::isnan(transform[5]))
    {
        // File x, y, z scale the scene's X, -Z and Y: the Z factor takes the
        // file's y factor, unsigned, as a scale needs no mirroring of axes.
        node->SetDefaultS(KQoxVector4(transform[3], transform[5], transform[4]));
    }
    if (transform[6] != 0 || std::isnan(transform[6]))
        node->SetDefaultR(KQoxVector4(0, transform[6], 0));
    if (transform[0] != 0 || transform[1] != 0 || transform[2] != 0 || std::isnan(transform[0]) ||
        std::isnan(transform[1]) || std::isnan(transform[2]))
        node->SetDefaultT(KQoxVector4(transform[0], transform[2], -transform[1]));
    block.mParent->AddChild(node);
}

bool KQoxReaderDxf::ReadInsert(KQoxNode* parent)
{
    std::unique_ptr<OpenBlock> inserted;
    if (!BeginInsert(parent, inserted))
        return false;
    if (inserted)
    {
        BlockStack blocks;
        blocks.push_back(std::move(inserted));
        ReadBlocks(blocks);
    }
    return true;
}

bool KQoxReaderDxf::BeginInsert(KQoxNode* parent, std::unique_ptr<OpenBlock>& inserted)
{
    double transform[7] = {0, 0, 0, 1, 1, 1, 0};
    std::string blockName;
    const bool whole = ReadRecord([&](int code, std::string_view value) {
        switch (code)
        {
        case 2: blockName.assign(value.data(), value.size()); break;
        case 10:
        case 20:
        case 30: DxfScanDouble(value, transform[code / 10 - 1]); break;
        case 41:
        case 42:
        case 43: DxfScanDouble(value, transform[code - 38]); break;
        case 50: DxfScanDouble(value, transform[6]); break;
        default: break;
        }
    });
    if (!whole)
        return false;
    // The reader stands at the pair that ends the insert's record: where it
    // goes on after the block's entities.
    const size_t start = mPairs.Tell();

    double bx = 0, by = 0, bz = 0;
    int flags = 0;
    // A block already being read inserts itself: it is skipped.
    if (!blockName.empty() && !mOpenBlocks.count(blockName) && FindBlock(blockName) &&
        ReadBlockHeader(bx, by, bz, flags))
    {
        PlaceBasePoint(transform, bx, by, bz);
        KQoxNode* node = MakeNode(blockName, true);
        inserted = std::make_unique<OpenBlock>(parent, node, transform);
        inserted->mInserted = true;
        inserted->mResume = start;
        mOpenBlocks.insert(blockName);
        inserted->mName = std::move(blockName);
        // The block's entities are read from here on.
        return true;
    }
    mPairs.Seek(start);
    return true;
}

bool KQoxReaderDxf::FindBlock(std::string_view name)
{
    if (!mBlocksPosition)
    {
        int code = 0;
        std::string_view value;
        bool section = false;
        for (;;)
        {
            if (!GetLine(code, value))
                return false;
            // Kept, so that blocks inserted by this block find theirs too.
            if (section && code == 2 && Is(value, "BLOCKS"))
            {
                mBlocksPosition = mPairs.Tell();
                break;
            }
            section = code == 0 && Is(value, "SECTION");
        }
    }
    if (mBlockIndexPosition != mBlocksPosition)
        IndexBlocks();
    const auto found = mBlockIndex.find(std::string(name));
    if (found == mBlockIndex.end())
        return false;
    mPairs.Seek(found->second);
    return true;
}

void KQoxReaderDxf::IndexBlocks()
{
    // One walk from the blocks on, as a search for each name would go: the
    // first BLOCK record naming a block is the one found, and the walk ends
    // at the file's end, its "EOF", or an ENDSEC met where a block's name
    // was looked for.
    mBlockIndex.clear();
    mBlockIndexPosition = mBlocksPosition;
    mPairs.Seek(mBlocksPosition);
    int code = 0;
    std::string_view value;
    for (;;)
    {
        if (!GetLine(code, value))
            return;
        if (code != 0)
            continue;
        if (Is(value, "EOF"))
            return;
        if (!Is(value, "BLOCK"))
            continue;
        do
        {
            if (!GetLine(code, value))
                return;
        } while (code != 2 && code != 0);
        if (code == 2)
            mBlockIndex.emplace(std::string(value), mPairs.Tell());
        else if (Is(value, "ENDSEC"))
            return;
    }
}

bool KQoxReaderDxf::ReadBlockHeader(double& x, double& y, double& z, int& flags)
{
    x = y = z = 0;
    flags = 0;
    return ReadRecord([&](int code, std::string_view value) {
        if (code == 10)
            DxfScanDouble(value, x);
        else if (code == 20)
            DxfScanDouble(value, y);
        else if (code == 30)
            DxfScanDouble(value, z);
        else if (code == 70)
            DxfScanInt(value, flags);
    });
}

} // namespace qoxsdk_600
