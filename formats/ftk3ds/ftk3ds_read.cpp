// Reading: the chunk header tree of a file, the index of its objects and
// nodes, and the Get… calls that fill records from chunk data on demand.

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/kfile.h"
#include "formats/ftk3ds/ftk3ds_private.h"

namespace ftk3ds {

FileImage::~FileImage()
{
    guard.Release();
    if (mapped)
        munmap(mapped, size);
}

namespace {

// Bytes of a container's own data before its sub-chunks; -1 for a leaf, -2
// when the data is too short for what the chunk must begin with.
long PrefixSize(ushort3ds tag, const ubyte3ds* data, ulong3ds size)
{
    switch (tag)
    {
    case M3DMAGIC:
    case MDATA:
    case KFDATA:
    case N_TRI_OBJECT:
    case MAT_ENTRY:
    case AMBIENT_LIGHT:
    case SOLID_BGND:
    case MAT_AMBIENT:
    case MAT_DIFFUSE:
    case MAT_SPECULAR:
    case MAT_SHININESS:
    case MAT_SHIN2PCT:
    case MAT_TRANSPARENCY:
    case MAT_SELF_ILPCT:
    case MAT_TEXMAP:
    case MAT_TEX2MAP:
    case AMBIENT_NODE_TAG:
    case OBJECT_NODE_TAG:
    case CAMERA_NODE_TAG:
    case TARGET_NODE_TAG:
    case LIGHT_NODE_TAG:
    case L_TARGET_NODE_TAG:
    case SPOTLIGHT_NODE_TAG: return 0;
    case NAMED_OBJECT:
    {
        const void* end = std::memchr(data, 0, size);
        return end ? static_cast<const ubyte3ds*>(end) - data + 1 : -2;
    }
    case FACE_ARRAY:
    {
        if (size < 2)
            return -2;
        unsigned long need = 2ul + 8ul * (data[0] | (data[1] << 8));
        return need <= size ? static_cast<long>(need) : -2;
    }
    case N_DIRECT_LIGHT: return size >= 12 ? 12 : -2;
    case DL_SPOTLIGHT: return size >= 20 ? 20 : -2;
    case N_CAMERA: return size >= 32 ? 32 : -2;
    case V_GRADIENT: return size >= 4 ? 4 : -2;
    default: return -1;
    }
}

// Reads the chunks in [begin, end) of the image as children of `parent`.
bool ParseChunks(const ubyte3ds* base, size_t begin, size_t end, Chunk* parent, int depth)
{
    if (depth > kMaxDepth)
    {
        PushError(ERR_CORRUPT_FILE, "File is corrupted: chunks nest deeper than %d levels at offset %zu", kMaxDepth,
                  begin);
        return false;
    }
    size_t pos = begin;
    while (pos < end)
    {
        if (end - pos < kChunkHeaderSize)
        {
            PushError(ERR_CORRUPT_FILE, "File is corrupted: %zu stray bytes at offset %zu", end - pos, pos);
            return false;
        }
        Reader header(base + pos, kChunkHeaderSize);
        ushort3ds tag = header.U16();
        ulong3ds length = header.U32();
        if (length < kChunkHeaderSize || length > end - pos)
        {
            PushError(ERR_CORRUPT_FILE,
                      "File is corrupted: chunk 0x%04X at offset %zu has length %lu, %zu bytes left in its parent", tag,
                      pos, static_cast<unsigned long>(length), end - pos);
            return false;
        }
        std::unique_ptr<Chunk> chunk(new Chunk(tag));
        chunk->data = base + pos + kChunkHeaderSize;
        ulong3ds payload = length - kChunkHeaderSize;
        long prefix = PrefixSize(tag, chunk->data, payload);
        if (prefix == -2)
        {
            PushError(ERR_CORRUPT_FILE, "File is corrupted: chunk 0x%04X at offset %zu is too short for its data", tag,
                      pos);
            return false;
        }
        if (prefix < 0)
            chunk->size = payload;
        else
        {
            chunk->size = static_cast<ulong3ds>(prefix);
            size_t first = pos + kChunkHeaderSize + prefix;
            if (!ParseChunks(base, first, pos + length, chunk.get(), depth + 1))
                return false;
        }
        parent->Add(std::move(chunk));
        pos += length;
    }
    return true;
}

// Maps a regular file; reads anything else from its current position. The
// read's error is pushed when it fails.
bool LoadImage(file3ds* file, FileImage& image)
{
    struct stat st;
    int fd = fileno(file->fp);
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
    {
        if (st.st_size <= 0)
            return true;
        image.size = static_cast<size_t>(st.st_size);
        void* p = mmap(nullptr, image.size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (p == MAP_FAILED)
        {
            // No room to map the file in is a want of memory, not a bad file.
            const int why = errno;
            PushError(why == ENOMEM ? ERR_NO_MEM : ERR_READING_FILE, "Cannot read \"%s\": %s", file->name.c_str(),
                      std::strerror(why));
            image.size = 0;
            return false;
        }
        image.mapped = p;
        image.guard.Hold(p, image.size);
        image.data = static_cast<const ubyte3ds*>(p);
        return true;
    }
    // A pipe or device not read when opened (opened to be written too).
    return LoadStream(file->fp, file->name, image);
}

// The first bytes of a stream may begin a 3DS file: its main chunk's tag.
bool MayBe3ds(const ubyte3ds* head, size_t length)
{
    const ubyte3ds magic[2] = {M3DMAGIC & 0xFF, M3DMAGIC >> 8};
    return std::memcmp(head, magic, length < 2 ? length : 2) == 0;
}

} // namespace

bool LoadStream(std::FILE* fp, const std::string& name, FileImage& image)
{
    switch (ReadStreamWhole(fp, image.copy, StreamMostBytes(), 2, &MayBe3ds))
    {
    case kSTREAM_READ_WHOLE:
    case kSTREAM_READ_REFUSED: // what was read tells the reader it is no 3DS file
        image.data = image.copy.data();
        image.size = image.copy.size();
        return true;
    case kSTREAM_READ_TOO_LONG:
        PushError(ERR_STREAM_TOO_LONG, "Cannot read \"%s\": it holds more than %zu bytes", name.c_str(),
                  StreamMostBytes());
        return false;
    case kSTREAM_READ_NO_MEMORY: PushError(ERR_NO_MEM, "Cannot read \"%s\": out of memory", name.c_str()); return false;
    case kSTREAM_READ_FAILED: break;
    }
    PushError(ERR_READING_FILE, "Cannot read \"%s\": %s", name.c_str(), std::strerror(errno));
    return false;
}

namespace {

// ---- Chunk data helpers ----

Reader DataOf(const Chunk* c)
{
    return Reader(c->data, c->size);
}

// A colour from the colour sub-chunks of `c`: float colours before 24-bit
// ones. False when there is none or it is too short.
bool ReadColor(const Chunk* c, fcolor3ds* out)
{
    static const ushort3ds order[] = {COLOR_F, LIN_COLOR_F, COLOR_24, LIN_COLOR_24};
    for (ushort3ds tag : order)
    {
        const Chunk* col = c->Find(tag);
        if (!col)
            continue;
        Reader r = DataOf(col);
        if (tag == COLOR_F || tag == LIN_COLOR_F)
        {
            fcolor3ds v;
            v.r = r.F32();
            v.g = r.F32();
            v.b = r.F32();
            if (r.Ok())
            {
                *out = v;
                return true;
            }
        }
        else
        {
            ubyte3ds b[3];
            if (r.Bytes(b, 3))
            {
                *out = {b[0] / 255.0f, b[1] / 255.0f, b[2] / 255.0f};
                return true;
            }
        }
    }
    return false;
}

// A percentage sub-chunk of `c` as a fraction.
bool ReadPercent(const Chunk* c, float3ds* out)
{
    if (const Chunk* p = c->Find(INT_PERCENTAGE))
    {
        Reader r = DataOf(p);
        ushort3ds v = r.U16();
        if (r.Ok())
        {
            *out = v / 100.0f;
            return true;
        }
    }
    if (const Chunk* p = c->Find(FLOAT_PERCENTAGE))
    {
        Reader r = DataOf(p);
        float3ds v = r.F32();
        if (r.Ok())
        {
            *out = v / 100.0f;
            return true;
        }
    }
    return false;
}

bool ReadFloat(const Chunk* c, float3ds* out)
{
    Reader r = DataOf(c);
    float3ds v = r.F32();
    if (r.Ok())
        *out = v;
    return r.Ok();
}

bool ReadPoint(Reader& r, point3ds* p)
{
    p->x = r.F32();
    p->y = r.F32();
    p->z = r.F32();
    return r.Ok();
}

// Copies `count` items of `itemSize` bytes of little-endian 16/32-bit
// fields into `out`.
void CopyItems(void* out, const ubyte3ds* in, size_t count, size_t itemSize, size_t fieldSize)
{
    size_t bytes = count * itemSize;
    if (bytes == 0)
        return; // `out` may be null then
    if (HostIsLittleEndian())
    {
        std::memcpy(out, in, bytes);
        return;
    }
    ubyte3ds* o = static_cast<ubyte3ds*>(out);
    for (size_t i = 0; i < bytes; i += fieldSize)
        for (size_t k = 0; k < fieldSize; ++k)
            o[i + k] = in[i + fieldSize - 1 - k];
}

const char* ObjectName(const Chunk* named)
{
    return reinterpret_cast<const char*>(named->data); // NUL-terminated: checked by the tree reader
}

bool Corrupt(const char* what, const char* name)
{
    PushError(ERR_CORRUPT_FILE, "File is corrupted: %s of \"%s\"", what, name);
    return false;
}

// The counted array of `c`: a 16-bit count, then count items of itemSize.
template <typename T>
bool ReadCountedArray(const Chunk* c, size_t itemSize, size_t fieldSize, ushort3ds* n, T** array, const char* what,
                      const char* name)
{
    Reader r = DataOf(c);
    ushort3ds count = r.U16();
    if (!r.Ok() || static_cast<size_t>(count) * itemSize > r.Left())
        return Corrupt(what, name);
    std::free(*array);
    *array = static_cast<T*>(AllocArray(count, sizeof(T)));
    if (count && !*array)
    {
        PushError(ERR_NO_MEM, "Out of memory reading the %s of \"%s\"", what, name);
        *n = 0;
        return false;
    }
    CopyItems(*array, r.Here(), count, itemSize, fieldSize);
    *n = count;
    return true;
}

bool FillMesh(const Chunk* named, mesh3ds* m)
{
    const char* name = ObjectName(named);
    CopyName(m->name, sizeof m->name, name);
    for (const auto& c : named->children)
    {
        switch (c->tag)
        {
        case OBJ_HIDDEN: m->ishidden = 1; break;
        case OBJ_VIS_LOFTER: m->isvislofter = 1; break;
        case OBJ_MATTE: m->ismatte = 1; break;
        case OBJ_DOESNT_CAST: m->isnocast = 1; break;
        case OBJ_FAST: m->isfast = 1; break;
        case OBJ_DONT_RCVSHADOW: m->isnorcvshad = 1; break;
        case OBJ_FROZEN: m->isfrozen = 1; break;
        default: break;
        }
    }
    const Chunk* tri = named->Find(N_TRI_OBJECT);
    if (const Chunk* c = tri->Find(POINT_ARRAY))
        if (!ReadCountedArray(c, 12, 4, &m->nvertices, &m->vertexarray, "vertex array", name))
            return false;
    if (const Chunk* c = tri->Find(POINT_FLAG_ARRAY))
        if (!ReadCountedArray(c, 2, 2, &m->nvflags, &m->vflagarray, "vertex flag array", name))
            return false;
    if (const Chunk* c = tri->Find(TEX_VERTS))
        if (!ReadCountedArray(c, 8, 4, &m->ntextverts, &m->textarray, "texture vertex array", name))
            return false;
    if (const Chunk* c = tri->Find(MESH_MATRIX))
    {
        Reader r = DataOf(c);
        float3ds mat[12];
        for (float3ds& v : mat)
            v = r.F32();
        if (!r.Ok())
            return Corrupt("mesh matrix", name);
        std::memcpy(m->locmatrix, mat, sizeof mat);
    }
    const Chunk* faces = tri->Find(FACE_ARRAY);
    if (!faces)
        return true;
    if (!ReadCountedArray(faces, 8, 2, &m->nfaces, &m->facearray, "face array", name))
        return false;
    size_t groups = 0;
    for (const auto& c : faces->children)
        if (c->tag == MSH_MAT_GROUP)
            ++groups;
    if (groups > 0xFFFF)
    {
        PushError(ERR_LIMIT_EXCEEDED, "File is corrupted: %zu material groups in \"%s\"", groups, name);
        return false;
    }
    if (groups)
    {
        m->matarray = static_cast<objmat3ds*>(AllocArray(groups, sizeof(objmat3ds)));
        if (!m->matarray)
        {
            PushError(ERR_NO_MEM, "Out of memory reading the material list of \"%s\"", name);
            return false;
        }
    }
    for (const auto& c : faces->children)
    {
        if (c->tag == MSH_MAT_GROUP)
        {
            objmat3ds& entry = m->matarray[m->nmats++];
            Reader r = DataOf(c.get());
            if (!r.CStr(entry.name, sizeof entry.name))
                return Corrupt("material group name", name);
            Chunk tail; // the count and indices after the name
            tail.data = r.Here();
            tail.size = static_cast<ulong3ds>(r.Left());
            if (!ReadCountedArray(&tail, 2, 2, &entry.nfaces, &entry.faceindex, "material group", name))
                return false;
        }
        else if (c->tag == SMOOTH_GROUP && !m->smootharray)
        {
            if (static_cast<size_t>(m->nfaces) * 4 > c->size)
                return Corrupt("smoothing groups", name);
            m->smootharray = static_cast<ulong3ds*>(AllocArray(m->nfaces, 4));
            if (m->nfaces && !m->smootharray)
            {
                PushError(ERR_NO_MEM, "Out of memory reading the smoothing groups of \"%s\"", name);
                return false;
            }
            CopyItems(m->smootharray, c->data, m->nfaces, 4, 4);
        }
    }
    return true;
}

bool FillLight(const Chunk* named, light3ds* l)
{
    const char* name = ObjectName(named);
    CopyName(l->name, sizeof l->name, name);
    const Chunk* dl = named->Find(N_DIRECT_LIGHT);
    Reader r = DataOf(dl);
    ReadPoint(r, &l->pos);
    ReadColor(dl, &l->color);
    if (const Chunk* c = dl->Find(DL_MULTIPLIER))
        if (!ReadFloat(c, &l->multiplier))
            return Corrupt("light multiplier", name);
    const Chunk* spot = dl->Find(DL_SPOTLIGHT);
    if (!spot || !l->spot)
        return true;
    Reader s = DataOf(spot);
    ReadPoint(s, &l->spot->target);
    l->spot->hotspot = s.F32();
    l->spot->falloff = s.F32();
    if (const Chunk* c = spot->Find(DL_SPOT_ROLL))
        if (!ReadFloat(c, &l->spot->roll))
            return Corrupt("spot roll", name);
    if (const Chunk* c = spot->Find(DL_SPOT_PROJECTOR))
    {
        Reader p = DataOf(c);
        if (!p.CStr(l->spot->projector.bitmap, sizeof l->spot->projector.bitmap))
            return Corrupt("projector bitmap", name);
        l->spot->projector.use = 1;
    }
    return true;
}

bool FillCamera(const Chunk* named, camera3ds* c)
{
    const char* name = ObjectName(named);
    CopyName(c->name, sizeof c->name, name);
    const Chunk* cam = named->Find(N_CAMERA);
    Reader r = DataOf(cam);
    ReadPoint(r, &c->position);
    ReadPoint(r, &c->target);
    c->roll = r.F32();
    float3ds lens = r.F32();
    // A lens of 0 or a non-number gives no field of view: keep the default.
    if (lens > 0.0f && std::isfinite(lens))
        c->fov = 2400.0f / lens;
    if (const Chunk* ranges = cam->Find(CAM_RANGES))
    {
        Reader rr = DataOf(ranges);
        float3ds nearRange = rr.F32();
        float3ds farRange = rr.F32();
        if (!rr.Ok())
            return Corrupt("camera ranges", name);
        c->nearplane = nearRange;
        c->farplane = farRange;
    }
    return true;
}

// Tiling kind from the tiling flag bits: no tiling is a decal; the decal
// bit alone is decal over tiling.
ushort3ds TilingKind(ushort3ds bits)
{
    if (bits & 0x10)
        return Decal3ds;
    if (bits & 0x01)
        return Both3ds;
    return Tile3ds;
}

bool FillBitmap(const Chunk* map, bitmap3ds* b, const char* material)
{
    b->percent = 1.0f; // a map without a strength is at full strength
    ReadPercent(map, &b->percent);
    for (const auto& c : map->children)
    {
        Reader r = DataOf(c.get());
        switch (c->tag)
        {
        case MAT_MAPNAME:
            if (!r.CStr(b->name, sizeof b->name))
                return Corrupt("texture map name", material);
            if (std::strlen(b->name) + 1 != r.Pos()) // cut to fit: another file's name, or none
                return Corrupt("texture map name longer than 255 bytes", material);
            break;
        case MAT_MAP_TILING:
        {
            ushort3ds bits = r.U16();
            if (r.Ok())
                b->tiling = TilingKind(bits);
            break;
        }
        case MAT_MAP_USCALE: ReadFloat(c.get(), &b->uscale); break;
        case MAT_MAP_VSCALE: ReadFloat(c.get(), &b->vscale); break;
        case MAT_MAP_UOFFSET: ReadFloat(c.get(), &b->uoffset); break;
        case MAT_MAP_VOFFSET: ReadFloat(c.get(), &b->voffset); break;
        case MAT_MAP_ANG: ReadFloat(c.get(), &b->rotation); break;
        default: break;
        }
    }
    return true;
}

bool FillMaterial(const Chunk* entry, material3ds* m)
{
    if (const Chunk* c = entry->Find(MAT_NAME))
    {
        Reader r = DataOf(c);
        if (!r.CStr(m->name, sizeof m->name))
            return Corrupt("material name", "");
    }
    const char* name = m->name;
    for (const auto& c : entry->children)
    {
        switch (c->tag)
        {
        case MAT_AMBIENT: ReadColor(c.get(), &m->ambient); break;
        case MAT_DIFFUSE: ReadColor(c.get(), &m->diffuse); break;
        case MAT_SPECULAR: ReadColor(c.get(), &m->specular); break;
        case MAT_SHININESS: ReadPercent(c.get(), &m->shininess); break;
        case MAT_SHIN2PCT: ReadPercent(c.get(), &m->shinstrength); break;
        case MAT_TRANSPARENCY: ReadPercent(c.get(), &m->transparency); break;
        case MAT_SELF_ILPCT: ReadPercent(c.get(), &m->selfillumpct); break;
        case MAT_TWO_SIDE: m->twosided = 1; break;
        case MAT_WIRESIZE: ReadFloat(c.get(), &m->wiresize); break;
        case MAT_SHADING:
        {
            Reader r = DataOf(c.get());
            ushort3ds v = r.U16();
            if (r.Ok())
                m->shading = v;
            break;
        }
        case MAT_TEXMAP:
            if (!FillBitmap(c.get(), &m->texture, name))
                return false;
            break;
        case MAT_TEX2MAP:
            if (!FillBitmap(c.get(), &m->texture2, name))
                return false;
            break;
        default: break;
        }
    }
    return true;
}

// ---- Keyframer nodes ----

struct NodeHeader
{
    char name[11] = "";
    ushort3ds flags1 = 0, flags2 = 0, parent = kNoParent;
};

bool ReadNodeHeader(const Chunk* node, NodeHeader* h)
{
    const Chunk* c = node->Find(NODE_HDR);
    if (!c)
        return true; // a node without a header: no name, no parent
    Reader r = DataOf(c);
    r.CStr(h->name, sizeof h->name);
    h->flags1 = r.U16();
    h->flags2 = r.U16();
    h->parent = r.U16();
    if (!r.Ok())
        return Corrupt("node header", h->name);
    return true;
}

// The parent text of a node: its stored text, or the name of the node its
// parent id names.
void ParentText(database3ds* db, const Chunk* node, const NodeHeader& h, char* out, size_t cap)
{
    if (node->hasparenttext)
    {
        CopyName(out, cap, node->parenttext.c_str());
        return;
    }
    out[0] = '\0';
    if (h.parent == kNoParent)
        return;
    Index& index = GetIndex(db);
    auto it = index.nodebyid.find(h.parent);
    if (it != index.nodebyid.end())
        CopyName(out, cap, NodeParentText(it->second).c_str());
}

// The part every motion record shares: name, flags and parent text, from the
// node header. False when the header is damaged.
template <typename M>
bool ReadNodeBase(database3ds* db, const Chunk* node, M* m, NodeHeader* h)
{
    if (!ReadNodeHeader(node, h))
        return false;
    CopyName(m->name, sizeof m->name, h->name);
    m->flags1 = h->flags1;
    m->flags2 = h->flags2;
    ParentText(db, node, *h, m->parent, sizeof m->parent);
    return true;
}

// Value readers of the track kinds.
template <typename V>
bool ReadValue(Reader& r, V* v);
template <>
bool ReadValue(Reader& r, point3ds* v)
{
    return ReadPoint(r, v);
}
template <>
bool ReadValue(Reader& r, fcolor3ds* v)
{
    v->r = r.F32();
    v->g = r.F32();
    v->b = r.F32();
    return r.Ok();
}
template <>
bool ReadValue(Reader& r, kfrotkey3ds* v)
{
    v->angle = r.F32();
    v->x = r.F32();
    v->y = r.F32();
    v->z = r.F32();
    return r.Ok();
}
template <>
bool ReadValue(Reader& r, float3ds* v)
{
    *v = r.F32();
    return r.Ok();
}
template <>
bool ReadValue(Reader& r, kfmorph3ds* v)
{
    return r.CStr(v->name, sizeof v->name);
}
template <>
bool ReadValue(Reader&, char*)
{
    return true;
}
template <typename V>
size_t MinValueSize();
template <>
size_t MinValueSize<point3ds>()
{
    return 12;
}
template <>
size_t MinValueSize<fcolor3ds>()
{
    return 12;
}
template <>
size_t MinValueSize<kfrotkey3ds>()
{
    return 16;
}
template <>
size_t MinValueSize<float3ds>()
{
    return 4;
}
template <>
size_t MinValueSize<kfmorph3ds>()
{
    return 1;
}
template <>
size_t MinValueSize<char>()
{
    return 0;
}

// Reads the track `tag` of `node` into the count, flag, keys and values of
// a record (values null for a track without values). An absent track leaves
// them as they are.
template <typename V>
bool ReadTrack(const Chunk* node, ushort3ds tag, ulong3ds* n, ushort3ds* flag, keyheader3ds** keys, V** values,
               const char* name)
{
    const Chunk* c = node->Find(tag);
    if (!c)
        return true;
    Reader r = DataOf(c);
    ushort3ds flags = r.U16();
    r.Skip(8);
    ulong3ds count = r.U32();
    if (!r.Ok())
        return Corrupt("key track header", name);
    // Every key takes at least its frame, flags and value.
    if (count > r.Left() / (6 + MinValueSize<V>()))
    {
        PushError(ERR_CORRUPT_FILE, "File is corrupted: track 0x%04X of \"%s\" counts %lu keys in %zu bytes", tag, name,
                  static_cast<unsigned long>(count), r.Left());
        return false;
    }
    std::free(*keys);
    *keys = static_cast<keyheader3ds*>(AllocArray(count, sizeof(keyheader3ds)));
    *n = 0;
    if (values)
    {
        std::free(*values);
        *values = static_cast<V*>(AllocArray(count, sizeof(V)));
    }
    if (count && (!*keys || (values && !*values)))
    {
        PushError(ERR_NO_MEM, "Out of memory reading %lu keys of \"%s\"", static_cast<unsigned long>(count), name);
        return false;
    }
    *flag = flags;
    for (ulong3ds i = 0; i < count; ++i)
    {
        keyheader3ds& k = (*keys)[i];
        k.time = r.U32();
        k.rflags = r.U16();
        float3ds* fields[] = {&k.tension, &k.continuity, &k.bias, &k.easeto, &k.easefrom};
        for (int bit = 0; bit < 5; ++bit)
            if (k.rflags & (1 << bit))
                *fields[bit] = r.F32();
        V scratch{};
        if (!ReadValue(r, values ? &(*values)[i] : &scratch))
            return Corrupt("key track", name);
    }
    *n = count;
    return true;
}

template <typename T>
bool Fetch(database3ds* db, T** record, const char* what)
{
    if (!db || !record)
    {
        PushError(ERR_INVALID_ARG, "%s: null database or record pointer", what);
        return false;
    }
    return true;
}

bool CheckIndex(const std::vector<Chunk*>& list, ulong3ds index, const char* what)
{
    if (index < list.size())
        return true;
    PushError(ERR_INVALID_INDEX, "%s: index %lu, only %zu", what, static_cast<unsigned long>(index), list.size());
    return false;
}

// The count of one list of the index; 0 without a database.
ulong3ds Count(database3ds* db, std::vector<Chunk*> Index::*list)
{
    return db ? static_cast<ulong3ds>((GetIndex(db).*list).size()) : 0;
}

// The chunk a get-by-index call reads, or null after the error is pushed.
template <typename T>
const Chunk* ByIndex(database3ds* db, T** record, std::vector<Chunk*> Index::*list, ulong3ds index, const char* what)
{
    if (!Fetch(db, record, what) || !CheckIndex(GetIndex(db).*list, index, what))
        return nullptr;
    return (GetIndex(db).*list)[index];
}

// A get-by-index call: the record allocated when null (else refilled) by
// init, then filled from the entry's chunk.
template <typename T, typename Init, typename Fill>
void GetRecord(database3ds* db, ulong3ds index, T** record, std::vector<Chunk*> Index::*list, const char* what,
               Init init, Fill fill)
{
    const Chunk* chunk = ByIndex(db, record, list, index, what);
    if (!chunk)
        return;
    init(record);
    if (*record)
        fill(chunk, *record);
}

} // namespace

// ---- Index ----

Chunk* Editor(database3ds* db)
{
    return db && db->top ? db->top->Find(MDATA) : nullptr;
}

Chunk* Keyframer(database3ds* db)
{
    return db && db->top ? db->top->Find(KFDATA) : nullptr;
}

bool IsNodeTag(ushort3ds tag)
{
    return tag >= AMBIENT_NODE_TAG && tag <= SPOTLIGHT_NODE_TAG;
}

std::string NodeParentText(const Chunk* node)
{
    NodeHeader h;
    ReadNodeHeader(node, &h);
    std::string text = h.name;
    if (const Chunk* inst = node->Find(INSTANCE_NAME))
    {
        char instance[11];
        Reader r = DataOf(inst);
        if (r.CStr(instance, sizeof instance) && instance[0])
            text += std::string(".") + instance;
    }
    return text;
}

Index& GetIndex(database3ds* db)
{
    Index& index = db->index;
    if (index.valid)
        return index;
    index = Index();
    index.valid = true;
    if (Chunk* editor = Editor(db))
    {
        for (const auto& c : editor->children)
        {
            if (c->tag == MAT_ENTRY)
            {
                char name[17] = "";
                if (const Chunk* n = c->Find(MAT_NAME))
                {
                    Reader r = DataOf(n);
                    r.CStr(name, sizeof name);
                }
                index.materialbyname.emplace(name, index.materials.size());
                index.materials.push_back(c.get());
            }
            else if (c->tag == NAMED_OBJECT)
            {
                if (c->Find(N_TRI_OBJECT))
                    index.meshes.push_back(c.get());
                else if (const Chunk* dl = c->Find(N_DIRECT_LIGHT))
                    (dl->Find(DL_SPOTLIGHT) ? index.spots : index.omnis).push_back(c.get());
                else if (c->Find(N_CAMERA))
                    index.cameras.push_back(c.get());
            }
        }
    }
    if (Chunk* kf = Keyframer(db))
    {
        for (const auto& c : kf->children)
        {
            if (!IsNodeTag(c->tag))
                continue;
            Chunk* node = c.get();
            ulong3ds id = static_cast<ulong3ds>(index.allnodes.size());
            if (const Chunk* idc = node->Find(NODE_ID))
            {
                Reader r = DataOf(idc);
                ushort3ds v = r.U16();
                if (r.Ok())
                    id = v;
            }
            // Nodes put by this toolkit name their parents by text, and get
            // their ids only when written.
            if (!node->hasparenttext)
                index.nodebyid.emplace(id, node);
            index.allnodes.push_back(node);
            NodeHeader h;
            ReadNodeHeader(node, &h);
            switch (node->tag)
            {
            case OBJECT_NODE_TAG: index.objectnodes.push_back(node); break;
            case LIGHT_NODE_TAG: index.omninodes.push_back(node); break;
            case SPOTLIGHT_NODE_TAG: index.spotnodes.push_back(node); break;
            case CAMERA_NODE_TAG: index.cameranodes.push_back(node); break;
            case L_TARGET_NODE_TAG: index.spottargets.emplace(h.name, node); break;
            case TARGET_NODE_TAG: index.cameratargets.emplace(h.name, node); break;
            default: break;
            }
        }
    }
    return index;
}

} // namespace ftk3ds

using namespace ftk3ds;

void CreateDatabase3ds(file3ds* file, database3ds* db)
{
    if (!file || !db)
    {
        PushError(ERR_INVALID_ARG, "CreateDatabase3ds: null file or database");
        return;
    }
    if (!file->reading)
        return;
    db->top.reset();
    db->index = Index();
    // A stream was read whole when opened: its bytes serve every database.
    std::shared_ptr<FileImage> image = file->stream;
    if (!image)
    {
        image = std::make_shared<FileImage>();
        if (!LoadImage(file, *image))
        {
            PushError(ERR_CREATING_DATABASE, "Cannot create a database from \"%s\"", file->name.c_str());
            return;
        }
    }
    Reader r(image->data, image->size);
    ushort3ds tag = r.U16();
    ulong3ds length = r.U32();
    if (!r.Ok() || tag != M3DMAGIC || length < kChunkHeaderSize || length > image->size)
    {
        if (!r.Ok() || tag != M3DMAGIC)
            PushError(ERR_CORRUPT_FILE, "File is corrupted: \"%s\" does not begin with a 3DS main chunk",
                      file->name.c_str());
        else
            PushError(ERR_CORRUPT_FILE,
                      "File is corrupted: the main chunk of \"%s\" claims %lu bytes, the file has %zu",
                      file->name.c_str(), static_cast<unsigned long>(length), image->size);
        PushError(ERR_CREATING_DATABASE, "Cannot create a database from \"%s\"", file->name.c_str());
        return;
    }
    std::unique_ptr<Chunk> top(new Chunk(M3DMAGIC));
    top->data = image->data + kChunkHeaderSize;
    if (!ParseChunks(image->data, kChunkHeaderSize, length, top.get(), 1))
    {
        PushError(ERR_CREATING_DATABASE, "Cannot create a database from \"%s\"", file->name.c_str());
        return;
    }
    db->image = std::move(image);
    db->top = std::move(top);
}

// The counts of the editor objects and keyframer nodes, one list of the index each.
#define FTK3DS_COUNT(Name, list)                                                                                       \
    ulong3ds Name(database3ds* db)                                                                                     \
    {                                                                                                                  \
        return Count(db, &Index::list);                                                                                \
    }
FTK3DS_COUNT(GetMeshCount3ds, meshes)
FTK3DS_COUNT(GetOmnilightCount3ds, omnis)
FTK3DS_COUNT(GetSpotlightCount3ds, spots)
FTK3DS_COUNT(GetCameraCount3ds, cameras)
FTK3DS_COUNT(GetMaterialCount3ds, materials)
FTK3DS_COUNT(GetObjectNodeCount3ds, objectnodes)
FTK3DS_COUNT(GetOmnilightNodeCount3ds, omninodes)
FTK3DS_COUNT(GetSpotlightNodeCount3ds, spotnodes)
FTK3DS_COUNT(GetCameraNodeCount3ds, cameranodes)
#undef FTK3DS_COUNT

void CheckDatabaseImage3ds(database3ds* db)
{
    if (db && db->image && db->image->guard.Spoilt())
        PushError(ERR_CORRUPT_FILE, "File is corrupted: the file was cut short while it was read");
}

void GetMeshByIndex3ds(database3ds* db, ulong3ds index, mesh3ds** mesh)
{
    auto init = [](mesh3ds** m) { InitMeshObj3ds(m, 0, 0, 0); };
    GetRecord(db, index, mesh, &Index::meshes, "GetMeshByIndex3ds", init, FillMesh);
}

void GetOmnilightByIndex3ds(database3ds* db, ulong3ds index, light3ds** light)
{
    GetRecord(db, index, light, &Index::omnis, "GetOmnilightByIndex3ds", InitLight3ds, FillLight);
}

void GetSpotlightByIndex3ds(database3ds* db, ulong3ds index, light3ds** light)
{
    GetRecord(db, index, light, &Index::spots, "GetSpotlightByIndex3ds", InitSpotlight3ds,
              [](const Chunk* c, light3ds* l) {
                  if (l->spot)
                      FillLight(c, l);
              });
}

void GetCameraByIndex3ds(database3ds* db, ulong3ds index, camera3ds** camera)
{
    GetRecord(db, index, camera, &Index::cameras, "GetCameraByIndex3ds", InitCamera3ds, FillCamera);
}

void GetMaterialByIndex3ds(database3ds* db, ulong3ds index, material3ds** material)
{
    GetRecord(db, index, material, &Index::materials, "GetMaterialByIndex3ds", InitMaterial3ds, FillMaterial);
}

void GetMeshSet3ds(database3ds* db, meshset3ds** settings)
{
    if (!Fetch(db, settings, "GetMeshSet3ds"))
        return;
    if (!*settings)
        InitMeshSet3ds(settings);
    meshset3ds* s = *settings;
    Chunk* editor = Editor(db);
    if (!s || !editor)
        return; // a file without an editor section keeps the values given
    for (const auto& c : editor->children)
    {
        Reader r = DataOf(c.get());
        switch (c->tag)
        {
        case MASTER_SCALE: ReadFloat(c.get(), &s->masterscale); break;
        case LO_SHADOW_BIAS: ReadFloat(c.get(), &s->lowshadowbias); break;
        case SHADOW_MAP_SIZE:
        {
            ushort3ds v = r.U16();
            if (r.Ok())
                s->shadowmapsize = v;
            break;
        }
        case SHADOW_FILTER: ReadFloat(c.get(), &s->shadowfilter); break;
        case RAY_BIAS: ReadFloat(c.get(), &s->raytracebias); break;
        case O_CONSTS:
        {
            point3ds p;
            if (ReadPoint(r, &p))
                s->consaxis = p;
            break;
        }
        case AMBIENT_LIGHT: ReadColor(c.get(), &s->ambientlight); break;
        default: break;
        }
    }
}

void GetBackground3ds(database3ds* db, background3ds** background)
{
    if (!Fetch(db, background, "GetBackground3ds"))
        return;
    Chunk* editor = Editor(db);
    if (!editor)
        return;
    InitBackground3ds(background);
    background3ds* b = *background;
    if (!b)
        return;
    for (const auto& c : editor->children)
    {
        if (c->tag == BIT_MAP)
        {
            Reader r = DataOf(c.get());
            r.CStr(b->bitmap, sizeof b->bitmap);
        }
        else if (c->tag == SOLID_BGND)
            ReadColor(c.get(), &b->solid);
        else if (c->tag == V_GRADIENT)
        {
            Reader r = DataOf(c.get());
            b->gradpercent = r.F32();
            // Top, middle and bottom: the float colours in order, else the
            // linear ones.
            fcolor3ds* slots[] = {&b->gradtop, &b->gradmid, &b->gradbottom};
            for (ushort3ds tag : {COLOR_F, LIN_COLOR_F})
            {
                int filled = 0;
                for (const auto& col : c->children)
                {
                    if (col->tag != tag || filled == 3)
                        continue;
                    Reader cr = DataOf(col.get());
                    fcolor3ds v;
                    ReadValue(cr, &v);
                    if (cr.Ok())
                        *slots[filled++] = v;
                }
                if (filled)
                    break;
            }
        }
    }
}

void GetObjectMotionByIndex3ds(database3ds* db, ulong3ds index, objectmotion3ds** motion)
{
    const Chunk* node = ByIndex(db, motion, &Index::objectnodes, index, "GetObjectMotionByIndex3ds");
    if (!node)
        return;
    ReleaseObjectMotion3ds(motion);
    InitObjectMotion3ds(motion, 0, 0, 0, 0, 0);
    objectmotion3ds* m = *motion;
    NodeHeader h;
    if (!m || !ReadNodeBase(db, node, m, &h))
        return;
    const char* name = m->name;
    if (const Chunk* c = node->Find(INSTANCE_NAME))
    {
        Reader r = DataOf(c);
        if (!r.CStr(m->instance, sizeof m->instance))
            Corrupt("instance name", name);
    }
    if (const Chunk* c = node->Find(PIVOT))
    {
        Reader r = DataOf(c);
        if (!ReadPoint(r, &m->pivot))
            Corrupt("pivot", name);
    }
    if (const Chunk* c = node->Find(BOUNDBOX))
    {
        Reader r = DataOf(c);
        if (!ReadPoint(r, &m->bboxmin) || !ReadPoint(r, &m->bboxmax))
            Corrupt("bounding box", name);
    }
    if (const Chunk* c = node->Find(MORPH_SMOOTH))
        ReadFloat(c, &m->msangle);
    ReadTrack(node, POS_TRACK_TAG, &m->npkeys, &m->npflag, &m->pkeys, &m->pos, name) &&
        ReadTrack(node, ROT_TRACK_TAG, &m->nrkeys, &m->nrflag, &m->rkeys, &m->rot, name) &&
        ReadTrack(node, SCL_TRACK_TAG, &m->nskeys, &m->nsflag, &m->skeys, &m->scale, name) &&
        ReadTrack(node, MORPH_TRACK_TAG, &m->nmkeys, &m->nmflag, &m->mkeys, &m->morph, name) &&
        ReadTrack(node, HIDE_TRACK_TAG, &m->nhkeys, &m->nhflag, &m->hkeys, static_cast<char**>(nullptr), name);
}

void GetOmnilightMotionByIndex3ds(database3ds* db, ulong3ds index, omnimotion3ds** motion)
{
    const Chunk* node = ByIndex(db, motion, &Index::omninodes, index, "GetOmnilightMotionByIndex3ds");
    if (!node)
        return;
    ReleaseOmnilightMotion3ds(motion);
    InitOmnilightMotion3ds(motion, 0, 0);
    omnimotion3ds* m = *motion;
    NodeHeader h;
    if (!m || !ReadNodeBase(db, node, m, &h))
        return;
    ReadTrack(node, POS_TRACK_TAG, &m->npkeys, &m->npflag, &m->pkeys, &m->pos, m->name) &&
        ReadTrack(node, COL_TRACK_TAG, &m->nckeys, &m->ncflag, &m->ckeys, &m->color, m->name);
}

namespace {

// Fills the target part of a spot light or camera motion from the first
// target node of its name.
template <typename M>
void ReadTarget(database3ds* db, const Chunk* target, M* m)
{
    if (!target)
        return;
    NodeHeader h;
    if (!ReadNodeHeader(target, &h))
        return;
    m->tflags1 = h.flags1;
    m->tflags2 = h.flags2;
    ParentText(db, target, h, m->tparent, sizeof m->tparent);
    ReadTrack(target, POS_TRACK_TAG, &m->ntkeys, &m->ntflag, &m->tkeys, &m->tpos, m->name);
}

const Chunk* FindTarget(const std::unordered_map<std::string, Chunk*>& targets, const char* name)
{
    auto it = targets.find(name);
    return it == targets.end() ? nullptr : it->second;
}

} // namespace

void GetSpotlightMotionByIndex3ds(database3ds* db, ulong3ds index, spotmotion3ds** motion)
{
    const Chunk* node = ByIndex(db, motion, &Index::spotnodes, index, "GetSpotlightMotionByIndex3ds");
    if (!node)
        return;
    ReleaseSpotlightMotion3ds(motion);
    InitSpotlightMotion3ds(motion, 0, 0, 0, 0, 0, 0);
    spotmotion3ds* m = *motion;
    NodeHeader h;
    if (!m || !ReadNodeBase(db, node, m, &h))
        return;
    const char* name = m->name;
    if (ReadTrack(node, POS_TRACK_TAG, &m->npkeys, &m->npflag, &m->pkeys, &m->pos, name) &&
        ReadTrack(node, COL_TRACK_TAG, &m->nckeys, &m->ncflag, &m->ckeys, &m->color, name) &&
        ReadTrack(node, HOT_TRACK_TAG, &m->nhkeys, &m->nhflag, &m->hkeys, &m->hot, name) &&
        ReadTrack(node, FALL_TRACK_TAG, &m->nfkeys, &m->nfflag, &m->fkeys, &m->fall, name) &&
        ReadTrack(node, ROLL_TRACK_TAG, &m->nrkeys, &m->nrflag, &m->rkeys, &m->roll, name))
        ReadTarget(db, FindTarget(GetIndex(db).spottargets, h.name), m);
}

void GetCameraMotionByIndex3ds(database3ds* db, ulong3ds index, cameramotion3ds** motion)
{
    const Chunk* node = ByIndex(db, motion, &Index::cameranodes, index, "GetCameraMotionByIndex3ds");
    if (!node)
        return;
    ReleaseCameraMotion3ds(motion);
    InitCameraMotion3ds(motion, 0, 0, 0, 0);
    cameramotion3ds* m = *motion;
    NodeHeader h;
    if (!m || !ReadNodeBase(db, node, m, &h))
        return;
    const char* name = m->name;
    if (ReadTrack(node, POS_TRACK_TAG, &m->npkeys, &m->npflag, &m->pkeys, &m->pos, name) &&
        ReadTrack(node, FOV_TRACK_TAG, &m->nfkeys, &m->nfflag, &m->fkeys, &m->fov, name) &&
        ReadTrack(node, ROLL_TRACK_TAG, &m->nrkeys, &m->nrflag, &m->rkeys, &m->roll, name))
        ReadTarget(db, FindTarget(GetIndex(db).cameratargets, h.name), m);
}
