// Writing: the Put… calls that turn records into chunks of the database, and
// the one-pass writer of the whole chunk tree.

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <iterator>
#include <unordered_map>

#include "formats/ftk3ds/ftk3ds_private.h"

namespace ftk3ds {
namespace {

std::unique_ptr<Chunk> Leaf(ushort3ds tag, Bytes&& bytes)
{
    std::unique_ptr<Chunk> c(new Chunk(tag));
    c->SetData(std::move(bytes.v));
    return c;
}

std::unique_ptr<Chunk> Container(ushort3ds tag)
{
    return std::unique_ptr<Chunk>(new Chunk(tag));
}

std::unique_ptr<Chunk> U16Chunk(ushort3ds tag, ushort3ds v)
{
    Bytes b;
    b.U16(v);
    return Leaf(tag, std::move(b));
}

std::unique_ptr<Chunk> U32Chunk(ushort3ds tag, ulong3ds v)
{
    Bytes b;
    b.U32(v);
    return Leaf(tag, std::move(b));
}

std::unique_ptr<Chunk> FloatChunk(ushort3ds tag, float3ds v)
{
    Bytes b;
    b.F32(v);
    return Leaf(tag, std::move(b));
}

std::unique_ptr<Chunk> StringChunk(ushort3ds tag, const char* s, size_t cap)
{
    Bytes b;
    b.CStr(s, cap);
    return Leaf(tag, std::move(b));
}

std::unique_ptr<Chunk> ColorChunk(ushort3ds tag, const fcolor3ds& c)
{
    Bytes b;
    b.F32(c.r);
    b.F32(c.g);
    b.F32(c.b);
    return Leaf(tag, std::move(b));
}

// A chunk holding a float colour, and its linear twin when asked.
std::unique_ptr<Chunk> ColorContainer(ushort3ds tag, const fcolor3ds& c, bool linearToo)
{
    std::unique_ptr<Chunk> chunk = Container(tag);
    chunk->Add(ColorChunk(COLOR_F, c));
    if (linearToo)
        chunk->Add(ColorChunk(LIN_COLOR_F, c));
    return chunk;
}

// A fraction 0..1 as a whole percentage.
std::unique_ptr<Chunk> PercentContainer(ushort3ds tag, float3ds fraction)
{
    float3ds pct = fraction * 100.0f;
    ushort3ds v = 0;
    if (pct >= 65535.0f)
        v = 65535;
    else if (pct > 0.0f) // NaN and negatives give 0
        v = static_cast<ushort3ds>(pct + 0.5f);
    std::unique_ptr<Chunk> chunk = Container(tag);
    chunk->Add(U16Chunk(INT_PERCENTAGE, v));
    return chunk;
}

void PutPoint(Bytes& b, const point3ds& p)
{
    b.F32(p.x);
    b.F32(p.y);
    b.F32(p.z);
}

// Appends `count` items of `itemSize` bytes made of little-endian fields of
// `fieldSize` bytes.
void PutItems(Bytes& b, const void* items, size_t count, size_t itemSize, size_t fieldSize)
{
    size_t bytes = count * itemSize;
    if (HostIsLittleEndian())
    {
        b.Raw(items, bytes);
        return;
    }
    const ubyte3ds* in = static_cast<const ubyte3ds*>(items);
    size_t at = b.v.size();
    b.v.resize(at + bytes);
    for (size_t i = 0; i < bytes; i += fieldSize)
        for (size_t k = 0; k < fieldSize; ++k)
            b.v[at + i + k] = in[i + fieldSize - 1 - k];
}

bool CheckDb(database3ds* db, const void* record, const char* what)
{
    if (!db || !record)
    {
        PushError(ERR_INVALID_ARG, "%s: null database or record", what);
        return false;
    }
    if (!db->top)
    {
        PushError(ERR_WRONG_DATABASE, "%s: the database is empty (make it with CreateNewDatabase3ds)", what);
        return false;
    }
    return true;
}

// The editor or keyframer section, made when missing.
Chunk* Section(database3ds* db, ushort3ds tag)
{
    if (Chunk* c = db->top->Find(tag))
        return c;
    std::unique_ptr<Chunk> section = Container(tag);
    if (tag == MDATA)
        section->Add(U32Chunk(MESH_VERSION, kFileVersion));
    return db->top->Add(std::move(section));
}

// Replaces the chunks of `tags` in `section` by `fresh`, placed where the
// first of them stood (else at `front`, the start after any version chunk).
void ReplaceSettings(Chunk* section, std::initializer_list<ushort3ds> tags, std::vector<std::unique_ptr<Chunk>>&& fresh)
{
    auto& kids = section->children;
    size_t at = kids.size();
    size_t front = (!kids.empty() && kids[0]->tag == MESH_VERSION) ? 1 : 0;
    std::vector<std::unique_ptr<Chunk>> kept;
    kept.reserve(kids.size() + fresh.size());
    for (auto& c : kids)
    {
        bool match = false;
        for (ushort3ds t : tags)
            match = match || c->tag == t;
        if (match)
            at = std::min(at, kept.size());
        else
            kept.push_back(std::move(c));
    }
    if (at > kept.size())
        at = std::min(front, kept.size());
    kept.insert(kept.begin() + static_cast<long>(at), std::make_move_iterator(fresh.begin()),
                std::make_move_iterator(fresh.end()));
    kids = std::move(kept);
}

std::unique_ptr<Chunk> NamedObject(const char* name)
{
    std::unique_ptr<Chunk> c = Container(NAMED_OBJECT);
    Bytes b;
    b.CStr(name, 10);
    c->SetData(std::move(b.v));
    return c;
}

// ---- Meshes ----

bool CheckMesh(const mesh3ds* m)
{
    if ((m->nvertices && !m->vertexarray) || (m->nfaces && !m->facearray) || (m->nmats && !m->matarray) ||
        (m->nvflags && !m->vflagarray))
    {
        PushError(ERR_INVALID_ARG, "PutMesh3ds: mesh \"%.10s\" counts items its arrays lack", m->name);
        return false;
    }
    for (ushort3ds i = 0; i < m->nfaces; ++i)
    {
        const face3ds& f = m->facearray[i];
        if (f.v1 >= m->nvertices || f.v2 >= m->nvertices || f.v3 >= m->nvertices)
        {
            PushError(ERR_INVALID_DATA, "PutMesh3ds: face %u of mesh \"%.10s\" names a vertex past %u", i, m->name,
                      m->nvertices);
            return false;
        }
    }
    for (ushort3ds i = 0; i < m->nmats; ++i)
    {
        const objmat3ds& e = m->matarray[i];
        if (e.nfaces && !e.faceindex)
        {
            PushError(ERR_INVALID_ARG, "PutMesh3ds: material entry %u of mesh \"%.10s\" has no face list", i, m->name);
            return false;
        }
        for (ushort3ds k = 0; k < e.nfaces; ++k)
            if (e.faceindex[k] >= m->nfaces)
            {
                PushError(ERR_INVALID_DATA, "PutMesh3ds: material entry %u of mesh \"%.10s\" names face %u past %u", i,
                          m->name, e.faceindex[k], m->nfaces);
                return false;
            }
    }
    return true;
}

std::unique_ptr<Chunk> MeshChunks(const mesh3ds* m)
{
    std::unique_ptr<Chunk> named = NamedObject(m->name);
    const std::pair<ubyte3ds, ushort3ds> flags[] = {{m->ishidden, OBJ_HIDDEN}, {m->isvislofter, OBJ_VIS_LOFTER},
                                                    {m->ismatte, OBJ_MATTE},   {m->isnocast, OBJ_DOESNT_CAST},
                                                    {m->isfast, OBJ_FAST},     {m->isnorcvshad, OBJ_DONT_RCVSHADOW},
                                                    {m->isfrozen, OBJ_FROZEN}};
    for (const auto& f : flags)
        if (f.first)
            named->Add(Leaf(f.second, Bytes()));
    Chunk* tri = named->Add(Container(N_TRI_OBJECT));
    Bytes points;
    points.v.reserve(2 + 12 * static_cast<size_t>(m->nvertices));
    points.U16(m->nvertices);
    PutItems(points, m->vertexarray, m->nvertices, 12, 4);
    tri->Add(Leaf(POINT_ARRAY, std::move(points)));
    if (m->nvflags)
    {
        Bytes b;
        b.U16(m->nvflags);
        PutItems(b, m->vflagarray, m->nvflags, 2, 2);
        tri->Add(Leaf(POINT_FLAG_ARRAY, std::move(b)));
    }
    if (m->ntextverts && m->textarray)
    {
        Bytes b;
        b.v.reserve(2 + 8 * static_cast<size_t>(m->ntextverts));
        b.U16(m->ntextverts);
        PutItems(b, m->textarray, m->ntextverts, 8, 4);
        tri->Add(Leaf(TEX_VERTS, std::move(b)));
    }
    Bytes matrix;
    PutItems(matrix, m->locmatrix, 12, 4, 4);
    tri->Add(Leaf(MESH_MATRIX, std::move(matrix)));
    if (m->nfaces)
    {
        Bytes b;
        b.v.reserve(2 + 8 * static_cast<size_t>(m->nfaces));
        b.U16(m->nfaces);
        PutItems(b, m->facearray, m->nfaces, 8, 2);
        Chunk* faces = tri->Add(Leaf(FACE_ARRAY, std::move(b)));
        for (ushort3ds i = 0; i < m->nmats; ++i)
        {
            const objmat3ds& e = m->matarray[i];
            Bytes g;
            g.CStr(e.name, 16);
            g.U16(e.nfaces);
            PutItems(g, e.faceindex, e.nfaces, 2, 2);
            faces->Add(Leaf(MSH_MAT_GROUP, std::move(g)));
        }
        if (m->smootharray)
        {
            Bytes s;
            PutItems(s, m->smootharray, m->nfaces, 4, 4);
            faces->Add(Leaf(SMOOTH_GROUP, std::move(s)));
        }
    }
    return named;
}

// ---- Lights, cameras, materials ----

std::unique_ptr<Chunk> LightChunks(const light3ds* l)
{
    std::unique_ptr<Chunk> named = NamedObject(l->name);
    Bytes pos;
    PutPoint(pos, l->pos);
    Chunk* dl = named->Add(Leaf(N_DIRECT_LIGHT, std::move(pos)));
    dl->Add(ColorChunk(COLOR_F, l->color));
    dl->Add(FloatChunk(DL_MULTIPLIER, l->multiplier));
    if (const spotlight3ds* s = l->spot)
    {
        Bytes b;
        PutPoint(b, s->target);
        b.F32(s->hotspot);
        b.F32(s->falloff);
        Chunk* spot = dl->Add(Leaf(DL_SPOTLIGHT, std::move(b)));
        spot->Add(FloatChunk(DL_SPOT_ROLL, s->roll));
        if (s->projector.use)
            spot->Add(StringChunk(DL_SPOT_PROJECTOR, s->projector.bitmap, sizeof s->projector.bitmap - 1));
    }
    return named;
}

std::unique_ptr<Chunk> MapChunks(ushort3ds tag, const bitmap3ds& map)
{
    std::unique_ptr<Chunk> c = PercentContainer(tag, map.percent);
    c->Add(StringChunk(MAT_MAPNAME, map.name, sizeof map.name - 1));
    ushort3ds bits = map.tiling == Decal3ds ? 0x10 : map.tiling == Both3ds ? 0x01 : 0;
    c->Add(U16Chunk(MAT_MAP_TILING, bits));
    if (map.uscale != 1.0f)
        c->Add(FloatChunk(MAT_MAP_USCALE, map.uscale));
    if (map.vscale != 1.0f)
        c->Add(FloatChunk(MAT_MAP_VSCALE, map.vscale));
    if (map.uoffset != 0.0f)
        c->Add(FloatChunk(MAT_MAP_UOFFSET, map.uoffset));
    if (map.voffset != 0.0f)
        c->Add(FloatChunk(MAT_MAP_VOFFSET, map.voffset));
    if (map.rotation != 0.0f)
        c->Add(FloatChunk(MAT_MAP_ANG, map.rotation));
    return c;
}

std::unique_ptr<Chunk> MaterialChunks(const material3ds* m)
{
    std::unique_ptr<Chunk> entry = Container(MAT_ENTRY);
    entry->Add(StringChunk(MAT_NAME, m->name, sizeof m->name - 1));
    entry->Add(ColorContainer(MAT_AMBIENT, m->ambient, false));
    entry->Add(ColorContainer(MAT_DIFFUSE, m->diffuse, false));
    entry->Add(ColorContainer(MAT_SPECULAR, m->specular, false));
    entry->Add(PercentContainer(MAT_SHININESS, m->shininess));
    entry->Add(PercentContainer(MAT_SHIN2PCT, m->shinstrength));
    entry->Add(PercentContainer(MAT_TRANSPARENCY, m->transparency));
    entry->Add(PercentContainer(MAT_SELF_ILPCT, m->selfillumpct));
    if (m->twosided)
        entry->Add(Leaf(MAT_TWO_SIDE, Bytes()));
    entry->Add(FloatChunk(MAT_WIRESIZE, m->wiresize));
    entry->Add(U16Chunk(MAT_SHADING, m->shading));
    if (m->texture.name[0])
        entry->Add(MapChunks(MAT_TEXMAP, m->texture));
    if (m->texture2.name[0])
        entry->Add(MapChunks(MAT_TEX2MAP, m->texture2));
    return entry;
}

// ---- Keyframer ----

template <typename V>
void PutValue(Bytes& b, const V& v);
template <>
void PutValue(Bytes& b, const point3ds& v)
{
    PutPoint(b, v);
}
template <>
void PutValue(Bytes& b, const fcolor3ds& v)
{
    b.F32(v.r);
    b.F32(v.g);
    b.F32(v.b);
}
template <>
void PutValue(Bytes& b, const kfrotkey3ds& v)
{
    b.F32(v.angle);
    b.F32(v.x);
    b.F32(v.y);
    b.F32(v.z);
}
template <>
void PutValue(Bytes& b, const float3ds& v)
{
    b.F32(v);
}
template <>
void PutValue(Bytes& b, const kfmorph3ds& v)
{
    b.CStr(v.name, sizeof v.name - 1);
}

// A track chunk: flags, 8 unused bytes, the key count, then per key its
// frame, flags, the values its flags announce, and its value.
template <typename V>
bool Track(Chunk* node, ushort3ds tag, ulong3ds n, ushort3ds flag, const keyheader3ds* keys, const V* values,
           bool hasValues, const char* what)
{
    if (n && (!keys || (hasValues && !values)))
    {
        PushError(ERR_INVALID_ARG, "%s: track 0x%04X counts %lu keys but has no arrays", what, tag,
                  static_cast<unsigned long>(n));
        return false;
    }
    Bytes b;
    b.v.reserve(kTrackHeaderSize + static_cast<size_t>(n) * (6 + sizeof(V)));
    b.U16(flag);
    b.U32(0);
    b.U32(0);
    b.U32(n);
    for (ulong3ds i = 0; i < n; ++i)
    {
        const keyheader3ds& k = keys[i];
        b.U32(k.time);
        ushort3ds used = k.rflags & 0x1F;
        b.U16(used);
        const float3ds fields[] = {k.tension, k.continuity, k.bias, k.easeto, k.easefrom};
        for (int bit = 0; bit < 5; ++bit)
            if (used & (1 << bit))
                b.F32(fields[bit]);
        if (hasValues)
            PutValue(b, values[i]);
    }
    node->Add(Leaf(tag, std::move(b)));
    return true;
}

// A node with its id (given when written), header (parent resolved then).
std::unique_ptr<Chunk> NodeChunk(ushort3ds tag, const char* name, ushort3ds flags1, ushort3ds flags2,
                                 const char* parent)
{
    std::unique_ptr<Chunk> node = Container(tag);
    node->hasparenttext = true;
    node->parenttext.assign(parent, strnlen(parent, 21));
    node->Add(U16Chunk(NODE_ID, 0));
    Bytes h;
    h.CStr(name, 10);
    h.U16(flags1);
    h.U16(flags2);
    h.U16(kNoParent);
    node->Add(Leaf(NODE_HDR, std::move(h)));
    return node;
}

// Room for `more` nodes: node ids stop at 65534.
bool RoomForNodes(database3ds* db, size_t more, const char* what)
{
    size_t have = GetIndex(db).allnodes.size();
    if (have + more > kMaxNodes)
    {
        PushError(ERR_LIMIT_EXCEEDED, "%s: the keyframer holds %zu nodes, ids stop at %lu", what, have,
                  static_cast<unsigned long>(kMaxNodes - 1));
        return false;
    }
    return true;
}

// Adds finished node chunks to the keyframer and the index.
void AddNodes(database3ds* db, std::vector<std::unique_ptr<Chunk>>&& nodes)
{
    Chunk* kf = Section(db, KFDATA);
    Index& index = GetIndex(db);
    for (auto& n : nodes)
    {
        Chunk* node = kf->Add(std::move(n));
        index.allnodes.push_back(node);
        const Chunk* hdr = node->Find(NODE_HDR);
        std::string name(reinterpret_cast<const char*>(hdr->data));
        switch (node->tag)
        {
        case OBJECT_NODE_TAG: index.objectnodes.push_back(node); break;
        case LIGHT_NODE_TAG: index.omninodes.push_back(node); break;
        case SPOTLIGHT_NODE_TAG: index.spotnodes.push_back(node); break;
        case CAMERA_NODE_TAG: index.cameranodes.push_back(node); break;
        case L_TARGET_NODE_TAG: index.spottargets.emplace(name, node); break;
        case TARGET_NODE_TAG: index.cameratargets.emplace(name, node); break;
        default: break;
        }
    }
}

// A motion's node after the checks every put makes: a database, a record and
// room for `count` nodes (two with a target); null after the error.
template <typename M>
std::unique_ptr<Chunk> StartNode(database3ds* db, const M* m, ushort3ds tag, size_t count, const char* what)
{
    if (!CheckDb(db, m, what) || !RoomForNodes(db, count, what))
        return nullptr;
    return NodeChunk(tag, m->name, m->flags1, m->flags2, m->parent);
}

// Adds a finished node and, for a spot light or camera, its target node.
void AddNode(database3ds* db, std::unique_ptr<Chunk> node, std::unique_ptr<Chunk> target = nullptr)
{
    std::vector<std::unique_ptr<Chunk>> nodes;
    nodes.push_back(std::move(node));
    if (target)
        nodes.push_back(std::move(target));
    AddNodes(db, std::move(nodes));
}

// ---- Writing ----

// Total bytes of each chunk, header included; false past 4 GB.
bool Measure(const Chunk* c, std::unordered_map<const Chunk*, ulong3ds>& sizes)
{
    unsigned long long total = kChunkHeaderSize + static_cast<unsigned long long>(c->size);
    for (const auto& k : c->children)
    {
        if (!Measure(k.get(), sizes))
            return false;
        total += sizes[k.get()];
    }
    if (total > 0xFFFFFFFFull)
    {
        PushError(ERR_LIMIT_EXCEEDED, "Chunk 0x%04X would take %llu bytes, more than a chunk length can hold", c->tag,
                  total);
        return false;
    }
    sizes[c] = static_cast<ulong3ds>(total);
    return true;
}

// Buffers small writes; hands large ones to the file directly.
class Writer
{
public:
    explicit Writer(std::FILE* fp)
        : mFp(fp)
    {
        mBuffer.reserve(kBufferSize);
    }
    bool Ok() const { return mOk; }
    void Put(const void* p, size_t n)
    {
        if (!mOk)
            return;
        if (mBuffer.size() + n > kBufferSize || n >= kBufferSize / 4)
            Flush();
        if (n >= kBufferSize / 4)
        {
            if (std::fwrite(p, 1, n, mFp) != n)
                mOk = false;
            return;
        }
        const ubyte3ds* b = static_cast<const ubyte3ds*>(p);
        mBuffer.insert(mBuffer.end(), b, b + n);
    }
    void Flush()
    {
        if (mOk && !mBuffer.empty() && std::fwrite(mBuffer.data(), 1, mBuffer.size(), mFp) != mBuffer.size())
            mOk = false;
        mBuffer.clear();
    }

private:
    static const size_t kBufferSize = 1 << 20;
    std::FILE* mFp;
    std::vector<ubyte3ds> mBuffer;
    bool mOk = true;
};

void Emit(Writer& w, const Chunk* c, const std::unordered_map<const Chunk*, ulong3ds>& sizes)
{
    ubyte3ds header[6];
    ulong3ds total = sizes.at(c);
    header[0] = static_cast<ubyte3ds>(c->tag);
    header[1] = static_cast<ubyte3ds>(c->tag >> 8);
    for (int i = 0; i < 4; ++i)
        header[2 + i] = static_cast<ubyte3ds>(total >> (8 * i));
    w.Put(header, sizeof header);
    if (c->size)
        w.Put(c->data, c->size);
    for (const auto& k : c->children)
        Emit(w, k.get(), sizes);
}

// Rewrites the 16-bit value at `offset` of a chunk's data, copying data
// that still lies in the file image.
void Patch16(Chunk* c, size_t offset, ushort3ds v)
{
    if (c->owned.empty() || c->data != c->owned.data())
        c->SetData(std::vector<ubyte3ds>(c->data, c->data + c->size));
    c->owned[offset] = static_cast<ubyte3ds>(v);
    c->owned[offset + 1] = static_cast<ubyte3ds>(v >> 8);
}

// A node's object name and instance name, as a parent text must match them.
std::string NodeKey(const Chunk* node)
{
    std::string key;
    const Chunk* hdr = node->Find(NODE_HDR);
    if (hdr && hdr->size)
        key.assign(reinterpret_cast<const char*>(hdr->data),
                   strnlen(reinterpret_cast<const char*>(hdr->data), hdr->size));
    key += '\0';
    const Chunk* inst = node->Find(INSTANCE_NAME);
    if (inst && inst->size)
        key.append(reinterpret_cast<const char*>(inst->data),
                   strnlen(reinterpret_cast<const char*>(inst->data), inst->size));
    return key;
}

// Numbers the keyframer nodes from 0 in file order and gives each its
// parent's id: by text for nodes put here, by the old id for nodes read from
// a file. Nothing changes when every node came from the file.
void ResolveNodeIds(database3ds* db)
{
    Index& index = GetIndex(db);
    bool anyPut = false;
    for (const Chunk* n : index.allnodes)
        anyPut = anyPut || n->hasparenttext;
    if (!anyPut)
        return;
    std::unordered_map<const Chunk*, ushort3ds> newId;
    std::unordered_map<std::string, ushort3ds> byKey; // name '\0' instance, to the first such node
    for (size_t i = 0; i < index.allnodes.size(); ++i)
    {
        newId[index.allnodes[i]] = static_cast<ushort3ds>(i);
        byKey.emplace(NodeKey(index.allnodes[i]), static_cast<ushort3ds>(i));
    }
    for (size_t i = 0; i < index.allnodes.size(); ++i)
    {
        Chunk* n = index.allnodes[i];
        Chunk* idChunk = n->Find(NODE_ID);
        if (!idChunk)
        {
            n->children.insert(n->children.begin(), U16Chunk(NODE_ID, 0));
            idChunk = n->children.front().get();
        }
        if (idChunk->size >= 2)
            Patch16(idChunk, 0, static_cast<ushort3ds>(i));
        Chunk* hdr = n->Find(NODE_HDR);
        if (!hdr || !hdr->size)
            continue;
        ushort3ds parent = kNoParent;
        if (n->hasparenttext)
        {
            const std::string& text = n->parenttext;
            if (!text.empty())
            {
                // With a full stop: object name, then instance name.
                size_t dot = text.find('.');
                std::string key =
                    dot == std::string::npos ? text + '\0' : text.substr(0, dot) + '\0' + text.substr(dot + 1);
                auto it = byKey.find(key);
                if (it != byKey.end())
                    parent = it->second;
            }
        }
        else
        {
            Reader r(hdr->data, hdr->size);
            char name[11];
            r.CStr(name, sizeof name);
            r.Skip(4);
            ushort3ds old = r.U16();
            auto it = index.nodebyid.find(old);
            if (r.Ok() && old != kNoParent && it != index.nodebyid.end())
                parent = newId[it->second];
        }
        if (parent == i)
            parent = kNoParent; // a node cannot hang under itself
        const void* end = std::memchr(hdr->data, 0, hdr->size);
        size_t at = end ? static_cast<const ubyte3ds*>(end) - hdr->data + 1 + 4 : hdr->size;
        if (at + 2 <= hdr->size)
            Patch16(hdr, at, parent);
    }
    // The id map named the old ids; the index is rebuilt on next use.
    index.valid = false;
}

} // namespace
} // namespace ftk3ds

using namespace ftk3ds;

void CreateNewDatabase3ds(database3ds* db, long3ds type)
{
    if (!db || type != MeshFile3ds)
    {
        PushError(ERR_INVALID_ARG, "CreateNewDatabase3ds: %s", db ? "unknown database type" : "null database");
        return;
    }
    db->image.reset();
    db->index = Index();
    db->top = Container(M3DMAGIC);
    db->top->Add(U32Chunk(M3D_VERSION, kFileVersion));
    Section(db, MDATA);
    kfsets3ds defaults;
    kfsets3ds* p = &defaults;
    std::memset(p, 0, sizeof defaults);
    defaults.animlength = 100;
    defaults.segend = 100;
    Section(db, KFDATA);
    PutKfSets3ds(db, p);
}

void PutMeshSet3ds(database3ds* db, meshset3ds* s)
{
    if (!CheckDb(db, s, "PutMeshSet3ds"))
        return;
    std::vector<std::unique_ptr<Chunk>> fresh;
    fresh.push_back(FloatChunk(MASTER_SCALE, s->masterscale));
    fresh.push_back(FloatChunk(LO_SHADOW_BIAS, s->lowshadowbias));
    fresh.push_back(U16Chunk(SHADOW_MAP_SIZE, s->shadowmapsize));
    fresh.push_back(FloatChunk(SHADOW_FILTER, s->shadowfilter));
    fresh.push_back(FloatChunk(RAY_BIAS, s->raytracebias));
    Bytes axis;
    PutPoint(axis, s->consaxis);
    fresh.push_back(Leaf(O_CONSTS, std::move(axis)));
    fresh.push_back(ColorContainer(AMBIENT_LIGHT, s->ambientlight, true));
    ReplaceSettings(Section(db, MDATA),
                    {MASTER_SCALE, LO_SHADOW_BIAS, SHADOW_MAP_SIZE, SHADOW_FILTER, RAY_BIAS, O_CONSTS, AMBIENT_LIGHT},
                    std::move(fresh));
}

void PutKfSets3ds(database3ds* db, kfsets3ds* s)
{
    if (!CheckDb(db, s, "PutKfSets3ds"))
        return;
    std::vector<std::unique_ptr<Chunk>> fresh;
    Bytes hdr;
    hdr.U16(kKeyframerRevision);
    hdr.CStr("", 0);
    hdr.U32(s->animlength);
    fresh.push_back(Leaf(KFHDR, std::move(hdr)));
    Bytes seg;
    seg.U32(s->segbegin);
    seg.U32(s->segend);
    fresh.push_back(Leaf(KFSEG, std::move(seg)));
    fresh.push_back(U32Chunk(KFCURTIME, s->curframe));
    ReplaceSettings(Section(db, KFDATA), {KFHDR, KFSEG, KFCURTIME}, std::move(fresh));
}

void PutBackground3ds(database3ds* db, background3ds* b)
{
    if (!CheckDb(db, b, "PutBackground3ds"))
        return;
    std::vector<std::unique_ptr<Chunk>> fresh;
    if (b->bitmap[0])
        fresh.push_back(StringChunk(BIT_MAP, b->bitmap, sizeof b->bitmap - 1));
    fresh.push_back(ColorContainer(SOLID_BGND, b->solid, true));
    Bytes pos;
    pos.F32(b->gradpercent);
    std::unique_ptr<Chunk> gradient = Leaf(V_GRADIENT, std::move(pos));
    for (const fcolor3ds* c : {&b->gradtop, &b->gradmid, &b->gradbottom})
        gradient->Add(ColorChunk(COLOR_F, *c));
    for (const fcolor3ds* c : {&b->gradtop, &b->gradmid, &b->gradbottom})
        gradient->Add(ColorChunk(LIN_COLOR_F, *c));
    fresh.push_back(std::move(gradient));
    // Use the bitmap when named, else the solid colour.
    fresh.push_back(Leaf(b->bitmap[0] ? USE_BIT_MAP : USE_SOLID_BGND, Bytes()));
    ReplaceSettings(Section(db, MDATA), {BIT_MAP, USE_BIT_MAP, SOLID_BGND, USE_SOLID_BGND, V_GRADIENT, USE_V_GRADIENT},
                    std::move(fresh));
}

void PutMesh3ds(database3ds* db, mesh3ds* mesh)
{
    if (!CheckDb(db, mesh, "PutMesh3ds") || !CheckMesh(mesh))
        return;
    Chunk* c = Section(db, MDATA)->Add(MeshChunks(mesh));
    GetIndex(db).meshes.push_back(c);
}

void PutOmnilight3ds(database3ds* db, light3ds* light)
{
    if (!CheckDb(db, light, "PutOmnilight3ds"))
        return;
    light3ds omni = *light;
    omni.spot = nullptr; // a point light: the spot part, if any, is not stored
    Chunk* c = Section(db, MDATA)->Add(LightChunks(&omni));
    GetIndex(db).omnis.push_back(c);
}

void PutSpotlight3ds(database3ds* db, light3ds* light)
{
    if (!CheckDb(db, light, "PutSpotlight3ds"))
        return;
    if (!light->spot)
    {
        PushError(ERR_INVALID_ARG, "PutSpotlight3ds: light \"%.10s\" has no spot part", light->name);
        return;
    }
    Chunk* c = Section(db, MDATA)->Add(LightChunks(light));
    GetIndex(db).spots.push_back(c);
}

void PutCamera3ds(database3ds* db, camera3ds* camera)
{
    if (!CheckDb(db, camera, "PutCamera3ds"))
        return;
    if (!(camera->fov > 0.0f) || !std::isfinite(camera->fov))
    {
        PushError(ERR_INVALID_DATA, "PutCamera3ds: camera \"%.10s\" has no field of view to turn into a lens",
                  camera->name);
        return;
    }
    std::unique_ptr<Chunk> named = NamedObject(camera->name);
    Bytes b;
    PutPoint(b, camera->position);
    PutPoint(b, camera->target);
    b.F32(camera->roll);
    b.F32(2400.0f / camera->fov);
    Chunk* cam = named->Add(Leaf(N_CAMERA, std::move(b)));
    Bytes ranges;
    ranges.F32(camera->nearplane);
    ranges.F32(camera->farplane);
    cam->Add(Leaf(CAM_RANGES, std::move(ranges)));
    Chunk* c = Section(db, MDATA)->Add(std::move(named));
    GetIndex(db).cameras.push_back(c);
}

void PutMaterial3ds(database3ds* db, material3ds* material)
{
    if (!CheckDb(db, material, "PutMaterial3ds"))
        return;
    Chunk* editor = Section(db, MDATA);
    Index& index = GetIndex(db);
    std::unique_ptr<Chunk> entry = MaterialChunks(material);
    char name[17];
    CopyName(name, sizeof name, material->name);
    auto it = index.materialbyname.find(name);
    if (it != index.materialbyname.end())
    {
        Chunk* old = index.materials[it->second];
        for (auto& c : editor->children)
            if (c.get() == old)
            {
                c = std::move(entry);
                index.materials[it->second] = c.get();
                return;
            }
    }
    Chunk* c = editor->Add(std::move(entry));
    index.materialbyname[name] = index.materials.size();
    index.materials.push_back(c);
}

void PutObjectMotion3ds(database3ds* db, objectmotion3ds* m)
{
    const char* what = "PutObjectMotion3ds";
    std::unique_ptr<Chunk> node = StartNode(db, m, OBJECT_NODE_TAG, 1, what);
    if (!node)
        return;
    if (m->instance[0])
        node->Add(StringChunk(INSTANCE_NAME, m->instance, sizeof m->instance - 1));
    Bytes pivot;
    PutPoint(pivot, m->pivot);
    node->Add(Leaf(PIVOT, std::move(pivot)));
    Bytes box;
    PutPoint(box, m->bboxmin);
    PutPoint(box, m->bboxmax);
    node->Add(Leaf(BOUNDBOX, std::move(box)));
    node->Add(FloatChunk(MORPH_SMOOTH, m->msangle));
    Chunk* n = node.get();
    if (!Track(n, POS_TRACK_TAG, m->npkeys, m->npflag, m->pkeys, m->pos, true, what) ||
        !Track(n, ROT_TRACK_TAG, m->nrkeys, m->nrflag, m->rkeys, m->rot, true, what) ||
        !Track(n, SCL_TRACK_TAG, m->nskeys, m->nsflag, m->skeys, m->scale, true, what) ||
        (m->nmkeys && !Track(n, MORPH_TRACK_TAG, m->nmkeys, m->nmflag, m->mkeys, m->morph, true, what)) ||
        (m->nhkeys &&
         !Track(n, HIDE_TRACK_TAG, m->nhkeys, m->nhflag, m->hkeys, static_cast<const float3ds*>(nullptr), false, what)))
        return;
    AddNode(db, std::move(node));
}

void PutOmnilightMotion3ds(database3ds* db, omnimotion3ds* m)
{
    const char* what = "PutOmnilightMotion3ds";
    std::unique_ptr<Chunk> node = StartNode(db, m, LIGHT_NODE_TAG, 1, what);
    if (!node)
        return;
    if (!Track(node.get(), POS_TRACK_TAG, m->npkeys, m->npflag, m->pkeys, m->pos, true, what) ||
        !Track(node.get(), COL_TRACK_TAG, m->nckeys, m->ncflag, m->ckeys, m->color, true, what))
        return;
    AddNode(db, std::move(node));
}

void PutSpotlightMotion3ds(database3ds* db, spotmotion3ds* m)
{
    const char* what = "PutSpotlightMotion3ds";
    std::unique_ptr<Chunk> node = StartNode(db, m, SPOTLIGHT_NODE_TAG, 2, what);
    if (!node)
        return;
    Chunk* n = node.get();
    std::unique_ptr<Chunk> target = NodeChunk(L_TARGET_NODE_TAG, m->name, m->tflags1, m->tflags2, m->tparent);
    if (!Track(n, POS_TRACK_TAG, m->npkeys, m->npflag, m->pkeys, m->pos, true, what) ||
        !Track(n, COL_TRACK_TAG, m->nckeys, m->ncflag, m->ckeys, m->color, true, what) ||
        !Track(n, HOT_TRACK_TAG, m->nhkeys, m->nhflag, m->hkeys, m->hot, true, what) ||
        !Track(n, FALL_TRACK_TAG, m->nfkeys, m->nfflag, m->fkeys, m->fall, true, what) ||
        !Track(n, ROLL_TRACK_TAG, m->nrkeys, m->nrflag, m->rkeys, m->roll, true, what) ||
        !Track(target.get(), POS_TRACK_TAG, m->ntkeys, m->ntflag, m->tkeys, m->tpos, true, what))
        return;
    AddNode(db, std::move(node), std::move(target));
}

void PutCameraMotion3ds(database3ds* db, cameramotion3ds* m)
{
    const char* what = "PutCameraMotion3ds";
    std::unique_ptr<Chunk> node = StartNode(db, m, CAMERA_NODE_TAG, 2, what);
    if (!node)
        return;
    Chunk* n = node.get();
    std::unique_ptr<Chunk> target = NodeChunk(TARGET_NODE_TAG, m->name, m->tflags1, m->tflags2, m->tparent);
    if (!Track(n, POS_TRACK_TAG, m->npkeys, m->npflag, m->pkeys, m->pos, true, what) ||
        !Track(n, FOV_TRACK_TAG, m->nfkeys, m->nfflag, m->fkeys, m->fov, true, what) ||
        !Track(n, ROLL_TRACK_TAG, m->nrkeys, m->nrflag, m->rkeys, m->roll, true, what) ||
        !Track(target.get(), POS_TRACK_TAG, m->ntkeys, m->ntflag, m->tkeys, m->tpos, true, what))
        return;
    AddNode(db, std::move(node), std::move(target));
}

void WriteDatabase3ds(file3ds* file, database3ds* db)
{
    if (!file || !db || !file->writing)
    {
        PushError(ERR_INVALID_ARG, "WriteDatabase3ds: %s",
                  !file ? "null file"
                  : !db ? "null database"
                        : "the file is not open for writing");
        return;
    }
    if (!db->top)
    {
        PushError(ERR_INVALID_ARG, "WriteDatabase3ds: the database is empty");
        return;
    }
    ResolveNodeIds(db);
    std::unordered_map<const Chunk*, ulong3ds> sizes;
    if (!Measure(db->top.get(), sizes))
        return;
    Writer w(file->fp);
    Emit(w, db->top.get(), sizes);
    w.Flush();
    if (!w.Ok() || std::fflush(file->fp) != 0 || std::ferror(file->fp))
        PushError(ERR_WRITING_FILE, "Out of disk space: cannot write \"%s\"", file->name.c_str());
}
