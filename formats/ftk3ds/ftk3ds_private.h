#ifndef QOX_FORMATS_FTK3DS_FTK3DS_PRIVATE_H
#define QOX_FORMATS_FTK3DS_FTK3DS_PRIVATE_H

// Inner state of the 3DS chunk toolkit, shared by ftk3ds_state.cpp (errors,
// files, records), ftk3ds_read.cpp (chunk tree and Get…) and
// ftk3ds_write.cpp (Put… and writing). Not part of the library's interface.

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/kmappingguard.h"
#include "formats/ftk3ds/ftk3ds.h"

namespace ftk3ds {

// ---- Chunk ids of the 3DS format ----
enum : ushort3ds
{
    // colours and percentages, inside many chunks
    COLOR_F = 0x0010,
    COLOR_24 = 0x0011,
    LIN_COLOR_24 = 0x0012,
    LIN_COLOR_F = 0x0013,
    INT_PERCENTAGE = 0x0030,
    FLOAT_PERCENTAGE = 0x0031,
    // file
    M3DMAGIC = 0x4D4D,
    M3D_VERSION = 0x0002,
    MDATA = 0x3D3D,
    MESH_VERSION = 0x3D3E,
    KFDATA = 0xB000,
    // editor settings
    MASTER_SCALE = 0x0100,
    BIT_MAP = 0x1100,
    USE_BIT_MAP = 0x1101,
    SOLID_BGND = 0x1200,
    USE_SOLID_BGND = 0x1201,
    V_GRADIENT = 0x1300,
    USE_V_GRADIENT = 0x1301,
    LO_SHADOW_BIAS = 0x1400,
    SHADOW_MAP_SIZE = 0x1420,
    SHADOW_FILTER = 0x1450,
    RAY_BIAS = 0x1460,
    O_CONSTS = 0x1500,
    AMBIENT_LIGHT = 0x2100,
    // named objects
    NAMED_OBJECT = 0x4000,
    OBJ_HIDDEN = 0x4010,
    OBJ_VIS_LOFTER = 0x4011,
    OBJ_DOESNT_CAST = 0x4012,
    OBJ_MATTE = 0x4013,
    OBJ_FAST = 0x4014,
    OBJ_FROZEN = 0x4016,
    OBJ_DONT_RCVSHADOW = 0x4017,
    N_TRI_OBJECT = 0x4100,
    POINT_ARRAY = 0x4110,
    POINT_FLAG_ARRAY = 0x4111,
    FACE_ARRAY = 0x4120,
    MSH_MAT_GROUP = 0x4130,
    TEX_VERTS = 0x4140,
    SMOOTH_GROUP = 0x4150,
    MESH_MATRIX = 0x4160,
    N_DIRECT_LIGHT = 0x4600,
    DL_SPOTLIGHT = 0x4610,
    DL_SPOT_PROJECTOR = 0x4653,
    DL_SPOT_ROLL = 0x4656,
    DL_MULTIPLIER = 0x465B,
    N_CAMERA = 0x4700,
    CAM_RANGES = 0x4720,
    // materials
    MAT_ENTRY = 0xAFFF,
    MAT_NAME = 0xA000,
    MAT_AMBIENT = 0xA010,
    MAT_DIFFUSE = 0xA020,
    MAT_SPECULAR = 0xA030,
    MAT_SHININESS = 0xA040,
    MAT_SHIN2PCT = 0xA041,
    MAT_TRANSPARENCY = 0xA050,
    MAT_TWO_SIDE = 0xA081,
    MAT_SELF_ILPCT = 0xA084,
    MAT_WIRESIZE = 0xA087,
    MAT_SHADING = 0xA100,
    MAT_TEXMAP = 0xA200,
    MAT_TEX2MAP = 0xA33A,
    MAT_MAPNAME = 0xA300,
    MAT_MAP_TILING = 0xA351,
    MAT_MAP_USCALE = 0xA354,
    MAT_MAP_VSCALE = 0xA356,
    MAT_MAP_UOFFSET = 0xA358,
    MAT_MAP_VOFFSET = 0xA35A,
    MAT_MAP_ANG = 0xA35C,
    // keyframer
    KFHDR = 0xB00A,
    KFSEG = 0xB008,
    KFCURTIME = 0xB009,
    AMBIENT_NODE_TAG = 0xB001,
    OBJECT_NODE_TAG = 0xB002,
    CAMERA_NODE_TAG = 0xB003,
    TARGET_NODE_TAG = 0xB004, // camera target
    LIGHT_NODE_TAG = 0xB005,
    L_TARGET_NODE_TAG = 0xB006, // spot light target
    SPOTLIGHT_NODE_TAG = 0xB007,
    NODE_HDR = 0xB010,
    INSTANCE_NAME = 0xB011,
    PIVOT = 0xB013,
    BOUNDBOX = 0xB014,
    MORPH_SMOOTH = 0xB015,
    POS_TRACK_TAG = 0xB020,
    ROT_TRACK_TAG = 0xB021,
    SCL_TRACK_TAG = 0xB022,
    FOV_TRACK_TAG = 0xB023,
    ROLL_TRACK_TAG = 0xB024,
    COL_TRACK_TAG = 0xB025,
    MORPH_TRACK_TAG = 0xB026,
    HOT_TRACK_TAG = 0xB027,
    FALL_TRACK_TAG = 0xB028,
    HIDE_TRACK_TAG = 0xB029,
    NODE_ID = 0xB030
};

const ulong3ds kChunkHeaderSize = 6;    // u16 tag, u32 length (header included)
const ulong3ds kTrackHeaderSize = 14;   // u16 flags, 8 unused bytes, u32 key count
const ushort3ds kNoParent = 65535;      // parent id of a top-level node
const ulong3ds kMaxNodes = 65535;       // node ids 0 .. 65534
const int kMaxDepth = 64;               // deepest chunk nesting accepted
const ulong3ds kFileVersion = 3;        // M3D_VERSION and MESH_VERSION written
const ushort3ds kKeyframerRevision = 5; // KFHDR revision written
const char kDummyName[] = "$$$DUMMY";
const int kMaxErrors = 64;

// ---- Process-wide state: errors and open files, all in one place ----

struct ToolkitState
{
    int errcount;                  // entries in errlist
    errrec3ds errlist[kMaxErrors]; // oldest first
    file3ds* openfiles;            // list of open files, newest first
};

// The calling thread's state (see ftk3ds.h), zero-initialised.
extern thread_local ToolkitState gState;

// Pushes `code` with a printf-style description and sets the error flag.
void PushError(long3ds code, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// ---- Chunk tree ----

// The file's bytes as read once: mapped when the file is a regular file,
// else copied. Chunks read from a file point into it.
struct FileImage
{
    const ubyte3ds* data = nullptr;
    size_t size = 0;
    void* mapped = nullptr; // munmap on release
    KMappingGuard guard;    // holds the mapping: pages lost read as zeros
    std::vector<ubyte3ds> copy;
    ~FileImage();
};

// Reads the stream fp (of that name) whole into image.copy (see
// OpenFile3ds); false, with its error pushed, when that fails.
bool LoadStream(std::FILE* fp, const std::string& name, FileImage& image);

// One chunk: its tag, its own data (all of the payload for a leaf; the part
// before the sub-chunks for a container) and its sub-chunks.
struct Chunk
{
    ushort3ds tag = 0;
    const ubyte3ds* data = nullptr; // into the file image or `owned`
    ulong3ds size = 0;              // bytes at `data`
    std::vector<ubyte3ds> owned;    // data built by a Put…
    std::vector<std::unique_ptr<Chunk>> children;
    // Keyframer nodes put by this toolkit: the parent named by text, resolved
    // to a node id when the database is written.
    bool hasparenttext = false;
    std::string parenttext;

    Chunk() = default;
    explicit Chunk(ushort3ds t)
        : tag(t)
    {}
    // Makes the chunk own `bytes` as its data.
    void SetData(std::vector<ubyte3ds>&& bytes)
    {
        owned = std::move(bytes);
        data = owned.data();
        size = static_cast<ulong3ds>(owned.size());
    }
    Chunk* Add(std::unique_ptr<Chunk> child)
    {
        children.push_back(std::move(child));
        return children.back().get();
    }
    Chunk* Find(ushort3ds childTag) const
    {
        for (const auto& c : children)
            if (c->tag == childTag)
                return c.get();
        return nullptr;
    }
};

// Lists of the objects and nodes of the tree, built on demand and dropped by
// every change.
struct Index
{
    bool valid = false;
    std::vector<Chunk*> meshes, omnis, spots, cameras, materials; // NAMED_OBJECT / MAT_ENTRY chunks
    std::vector<Chunk*> objectnodes, omninodes, spotnodes, cameranodes;
    std::vector<Chunk*> allnodes;                           // every keyframer node in file order
    std::unordered_map<ulong3ds, Chunk*> nodebyid;          // file node id to node
    std::unordered_map<std::string, Chunk*> spottargets;    // first spot target of a name
    std::unordered_map<std::string, Chunk*> cameratargets;  // first camera target of a name
    std::unordered_map<std::string, size_t> materialbyname; // name to position in `materials`
};

} // namespace ftk3ds

struct database3ds
{
    std::shared_ptr<ftk3ds::FileImage> image; // bytes read chunks point into
    std::unique_ptr<ftk3ds::Chunk> top;       // null while empty
    ftk3ds::Index index;
};

struct file3ds
{
    std::FILE* fp = nullptr;
    // A stream opened to be read only: its bytes, read whole when opened.
    std::shared_ptr<ftk3ds::FileImage> stream;
    std::string name;
    bool reading = false;
    bool writing = false;
    file3ds* next = nullptr; // in the toolkit's list of open files
};

namespace ftk3ds {

// ---- Little-endian byte access ----

// Reads values from a byte range; every read checks the bytes left.
class Reader
{
public:
    Reader(const ubyte3ds* data, size_t size)
        : mData(data)
        , mSize(size)
    {}
    size_t Left() const { return mSize - mPos; }
    size_t Pos() const { return mPos; }
    bool Ok() const { return mOk; }
    const ubyte3ds* Here() const { return mData + mPos; }
    bool Skip(size_t n)
    {
        if (!mOk || n > Left())
            return Fail();
        mPos += n;
        return true;
    }
    bool Bytes(void* out, size_t n)
    {
        if (!mOk || n > Left())
            return Fail();
        std::memcpy(out, mData + mPos, n);
        mPos += n;
        return true;
    }
    ubyte3ds U8()
    {
        ubyte3ds v = 0;
        Bytes(&v, 1);
        return v;
    }
    ushort3ds U16()
    {
        ubyte3ds b[2] = {0, 0};
        Bytes(b, 2);
        return static_cast<ushort3ds>(b[0] | (b[1] << 8));
    }
    ulong3ds U32()
    {
        ubyte3ds b[4] = {0, 0, 0, 0};
        Bytes(b, 4);
        return static_cast<ulong3ds>(b[0]) | (static_cast<ulong3ds>(b[1]) << 8) | (static_cast<ulong3ds>(b[2]) << 16) |
               (static_cast<ulong3ds>(b[3]) << 24);
    }
    float3ds F32()
    {
        ulong3ds bits = U32();
        float3ds f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    // A NUL-terminated text; copied into `out` (capacity `cap`, cut to fit).
    // False when no terminator lies inside the range.
    bool CStr(char* out, size_t cap)
    {
        const void* end = mOk && Left() ? std::memchr(mData + mPos, 0, Left()) : nullptr;
        if (!end)
            return Fail();
        size_t len = static_cast<const ubyte3ds*>(end) - (mData + mPos);
        size_t keep = len < cap ? len : cap - 1;
        std::memcpy(out, mData + mPos, keep);
        out[keep] = '\0';
        mPos += len + 1;
        return true;
    }

private:
    bool Fail()
    {
        mOk = false;
        return false;
    }
    const ubyte3ds* mData;
    size_t mSize;
    size_t mPos = 0;
    bool mOk = true;
};

// Builds the data of one chunk.
class Bytes
{
public:
    std::vector<ubyte3ds> v;
    void U8(ubyte3ds x) { v.push_back(x); }
    void U16(ushort3ds x)
    {
        v.push_back(static_cast<ubyte3ds>(x));
        v.push_back(static_cast<ubyte3ds>(x >> 8));
    }
    void U32(ulong3ds x)
    {
        for (int i = 0; i < 4; ++i)
            v.push_back(static_cast<ubyte3ds>(x >> (8 * i)));
    }
    void F32(float3ds f)
    {
        ulong3ds bits;
        std::memcpy(&bits, &f, 4);
        U32(bits);
    }
    // The text up to `cap` characters (the record's field may lack a terminator), then a NUL.
    void CStr(const char* s, size_t cap)
    {
        size_t n = strnlen(s, cap);
        v.insert(v.end(), s, s + n);
        v.push_back(0);
    }
    void Raw(const void* p, size_t n)
    {
        const ubyte3ds* b = static_cast<const ubyte3ds*>(p);
        v.insert(v.end(), b, b + n);
    }
};

// True on a little-endian machine: arrays of floats and 16-bit values are
// then copied whole between the file and the records.
inline bool HostIsLittleEndian()
{
    const ushort3ds probe = 1;
    ubyte3ds first;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

// ---- Shared helpers ----

// Builds the chunk index of the database when it is stale.
Index& GetIndex(database3ds* db);
// The editor and keyframer sections; null when absent.
Chunk* Editor(database3ds* db);
Chunk* Keyframer(database3ds* db);
// Copies `src` into the fixed field `dst` of `cap` bytes, cut to fit.
void CopyName(char* dst, size_t cap, const char* src);
// True for the tags of keyframer nodes.
bool IsNodeTag(ushort3ds tag);
// The name of a keyframer node as a parent text: name, or name "." instance.
std::string NodeParentText(const Chunk* node);

// Record memory: calloc with an overflow check; null for 0 items.
void* AllocArray(size_t count, size_t itemSize);
// Resizes an array allocated by AllocArray keeping its items, new items
// zero; null (the old array untouched) when that fails or for 0 items (the
// old array freed).
void* ResizeArray(void* old, size_t newCount, size_t itemSize);

} // namespace ftk3ds

#endif // QOX_FORMATS_FTK3DS_FTK3DS_PRIVATE_H
