// Meshes, the polygon iterator, NURBS surfaces and blend shapes.
#include "host/zfn_private.h"
#include "host/zgeometry.h"
#include "host/zscene_private.h"

#include <algorithm>
#include <cmath>

using namespace zelthost;

namespace zelthost {

// The geometry input and output attribute names of a shape.
static const char* InputAttr(const Node* shape)
{
    return shape->mesh ? "inMesh" : "create";
}

static const char* OutputAttr(const Node* shape)
{
    return shape->mesh ? "outMesh" : "local";
}

// A mesh or NURBS shape: the object itself or the single shape below a transform.
Node* GeometryShape(const ZObject& object)
{
    Node* node = NodeOf(object);
    if (!node)
        return nullptr;
    if (node->Is(ZFn::kTransform))
    {
        Node* found = nullptr;
        for (uint64_t c : node->children)
        {
            Node* child = CurrentScene().Get(c);
            if (child && !child->intermediate && (child->mesh || child->nurbs))
            {
                if (found)
                    return nullptr;
                found = child;
            }
        }
        return found;
    }
    return node->mesh || node->nurbs ? node : nullptr;
}

// Puts a deformer in front of a shape: whatever fed the shape feeds the
// deformer, and the deformer feeds the shape. A shape fed by nothing gets an
// intermediate copy of itself (name + "Orig", last child of its transform)
// as the deformer's input.
ZStatus InsertDeformer(Node* deformer, Node* shape)
{
    Scene& scene = CurrentScene();
    int in = shape->FindAttr(InputAttr(shape));
    ZPlug shapeIn(shape->id, in, -1);
    ZPlugArray feeding;
    shapeIn.connectedTo(feeding, true, false);
    int slot = 0;
    auto elems = deformer->elements.find(deformer->FindAttr("input"));
    if (elems != deformer->elements.end())
        slot = elems->second.empty() ? 0 : *elems->second.rbegin() + 1;
    ZPlug defIn(deformer->id, deformer->FindAttr("input"), slot);
    ZPlug defOut(deformer->id, deformer->FindAttr("outputGeometry"), slot);
    ZStatus st;
    if (feeding.length() > 0)
    {
        st = scene.Disconnect(feeding[0], shapeIn);
        if (st)
            st = scene.Connect(feeding[0], defIn, false);
    }
    else
    {
        if (shape->parents.empty())
            return ZStatus(ZStatus::kInvalidParameter, "the shape has no transform");
        Node* orig = scene.Create(shape->type->name, ":" + shape->name + "Orig", shape->parents.front(), &st);
        if (!orig)
            return st;
        orig->intermediate = true;
        if (shape->mesh)
            orig->mesh = std::make_unique<MeshData>(*shape->mesh);
        if (shape->nurbs)
            orig->nurbs = std::make_unique<NurbsData>(*shape->nurbs);
        st = scene.Connect(ZPlug(orig->id, orig->FindAttr(OutputAttr(orig)), -1), defIn, false);
    }
    if (st)
        st = scene.Connect(defOut, shapeIn, false);
    return st;
}

} // namespace zelthost

namespace {

ZStatus NotMesh()
{
    return ZStatus(ZStatus::kInvalidParameter, "the function set is not attached to a mesh");
}

MeshData* MeshOf(const ZObject& object, ZStatus* status)
{
    Node* node = NodeOf(object);
    if (!node || !node->mesh)
    {
        ZSetStatus(status, NotMesh());
        return nullptr;
    }
    ZSetStatus(status, ZStatus());
    return node->mesh.get();
}

// Resolves the parent for a new shape: a transform, or a new one at the top.
ZStatus ShapeParent(const ZObject& parent, const char* transformName, Node** owner, bool* made)
{
    Scene& scene = CurrentScene();
    *made = false;
    if (parent.isNull())
    {
        ZStatus st;
        *owner = scene.Create("transform", transformName, 0, &st);
        *made = *owner != nullptr;
        return st;
    }
    *owner = NodeOf(parent);
    if (!*owner || !(*owner)->Is(ZFn::kTransform))
        return ZStatus(ZStatus::kInvalidParameter, "the parent of a shape must be a transform");
    return ZStatus();
}

void BuildOffsets(MeshData& mesh)
{
    mesh.offsets.resize(mesh.counts.size());
    int offset = 0;
    for (size_t p = 0; p < mesh.counts.size(); ++p)
    {
        mesh.offsets[p] = offset;
        offset += mesh.counts[p];
    }
}

template <typename Points>
ZObject CreateMesh(ZFnMesh& fn, int numVertices, int numPolygons, const Points& vertices, const ZIntArray& counts,
                   const ZIntArray& connects, const ZObject& parent, ZStatus* status)
{
    auto fail = [&](const std::string& text) {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "Cannot create the mesh: " + text));
        return ZObject();
    };
    if (numVertices < 0 || static_cast<unsigned>(numVertices) != vertices.length())
        return fail("the vertex count " + std::to_string(numVertices) + " differs from the " +
                    std::to_string(vertices.length()) + " points given");
    if (numPolygons < 0 || counts.length() > static_cast<unsigned>(numPolygons))
        return fail("the polygon count " + std::to_string(numPolygons) + " is below the " +
                    std::to_string(counts.length()) + " polygon sizes given");
    long long total = 0;
    for (unsigned p = 0; p < counts.length(); ++p)
    {
        if (counts[p] < 0)
            return fail("polygon " + std::to_string(p) + " has a negative size");
        total += counts[p];
    }
    if (total != static_cast<long long>(connects.length()))
        return fail("the polygon sizes add up to " + std::to_string(total) + " but " +
                    std::to_string(connects.length()) + " vertex indices are given");
    for (unsigned i = 0; i < connects.length(); ++i)
        if (connects[i] < 0 || connects[i] >= numVertices)
            return fail("vertex index " + std::to_string(connects[i]) + " is not below the vertex count " +
                        std::to_string(numVertices));
    for (unsigned i = 0; i < vertices.length(); ++i)
        if (!std::isfinite(vertices[i].x) || !std::isfinite(vertices[i].y) || !std::isfinite(vertices[i].z))
            return fail("point " + std::to_string(i) + " is not finite");
    Node* owner = nullptr;
    bool made = false;
    ZStatus st = ShapeParent(parent, "polySurface1", &owner, &made);
    if (!st)
    {
        ZSetStatus(status, st);
        return ZObject();
    }
    Node* shape = CurrentScene().Create("mesh", "polySurfaceShape1", owner->id, &st);
    if (!shape)
    {
        if (made)
            CurrentScene().Delete(owner->id);
        ZSetStatus(status, st);
        return ZObject();
    }
    auto mesh = std::make_unique<MeshData>();
    mesh->points.reserve(vertices.length());
    mesh->counts.reserve(counts.length());
    mesh->connects.reserve(connects.length());
    for (unsigned i = 0; i < vertices.length(); ++i)
        mesh->points.emplace_back(vertices[i].x, vertices[i].y, vertices[i].z, vertices[i].w);
    // Polygons of fewer than three vertices are dropped.
    unsigned offset = 0;
    for (unsigned p = 0; p < counts.length(); ++p)
    {
        if (counts[p] >= 3)
        {
            mesh->counts.push_back(counts[p]);
            mesh->connects.insert(mesh->connects.end(), connects.items().begin() + offset,
                                  connects.items().begin() + offset + counts[p]);
        }
        offset += counts[p];
    }
    BuildOffsets(*mesh);
    mesh->uvSets.push_back(MeshData::UVSet{"map1", {}, {}, {}, false});
    shape->mesh = std::move(mesh);
    fn.setObject(ZObject(NodeRep(shape->id)));
    ZSetStatus(status, ZStatus());
    return ZObject(NodeRep(made ? owner->id : shape->id));
}

int FaceVertexPosition(const MeshData& mesh, int face, int vertex)
{
    if (face < 0 || static_cast<size_t>(face) >= mesh.counts.size())
        return -1;
    for (int k = 0; k < mesh.counts[face]; ++k)
        if (mesh.connects[mesh.offsets[face] + k] == vertex)
            return k;
    return -1;
}

MeshData::UVSet* FindSet(MeshData& mesh, const ZString* name)
{
    if (!name)
        return mesh.uvSets.empty() ? nullptr : &mesh.uvSets.front();
    int i = mesh.FindUVSet(name->str());
    return i < 0 ? nullptr : &mesh.uvSets[i];
}

} // namespace

// ---- ZFnMesh ----

ZFN_DAG_CONSTRUCTORS(ZFnMesh)

ZStatus ZFnMesh::setObject(const ZObject& object)
{
    Node* node = NodeOf(object);
    if (node && node->Is(ZFn::kTransform))
        if (Node* shape = GeometryShape(object); shape && shape->mesh)
            return AttachNode(ZObject(NodeRep(shape->id)), ZFn::kMesh);
    return AttachNode(object, ZFn::kMesh);
}

ZObject ZFnMesh::create(int numVertices, int numPolygons, const ZFloatPointArray& vertices, const ZIntArray& counts,
                        const ZIntArray& connects, const ZObject& parent, ZStatus* status)
{
    return CreateMesh(*this, numVertices, numPolygons, vertices, counts, connects, parent, status);
}

ZObject ZFnMesh::create(int numVertices, int numPolygons, const ZPointArray& vertices, const ZIntArray& counts,
                        const ZIntArray& connects, const ZObject& parent, ZStatus* status)
{
    return CreateMesh(*this, numVertices, numPolygons, vertices, counts, connects, parent, status);
}

ZObject ZFnMesh::copy(const ZObject& source, const ZObject& parent, ZStatus* status)
{
    Node* from = GeometryShape(source);
    if (!from || !from->mesh)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "the source is not a mesh"));
        return ZObject();
    }
    MeshData data = *from->mesh;
    Node* owner = nullptr;
    bool made = false;
    ZStatus st = ShapeParent(parent, "polySurface1", &owner, &made);
    Node* shape = st ? CurrentScene().Create("mesh", "", owner->id, &st) : nullptr;
    if (!shape)
    {
        if (made)
            CurrentScene().Delete(owner->id);
        ZSetStatus(status, st);
        return ZObject();
    }
    shape->mesh = std::make_unique<MeshData>(std::move(data));
    setObject(ZObject(NodeRep(shape->id)));
    ZSetStatus(status, ZStatus());
    return ZObject(NodeRep(made ? owner->id : shape->id));
}

int ZFnMesh::numVertices(ZStatus* status) const
{
    MeshData* m = MeshOf(mObject, status);
    return m ? static_cast<int>(m->points.size()) : 0;
}

int ZFnMesh::numPolygons(ZStatus* status) const
{
    MeshData* m = MeshOf(mObject, status);
    return m ? static_cast<int>(m->counts.size()) : 0;
}

int ZFnMesh::numFaceVertices(ZStatus* status) const
{
    MeshData* m = MeshOf(mObject, status);
    return m ? static_cast<int>(m->connects.size()) : 0;
}

int ZFnMesh::polygonVertexCount(int polygon, ZStatus* status) const
{
    MeshData* m = MeshOf(mObject, status);
    if (!m)
        return 0;
    if (polygon < 0 || static_cast<size_t>(polygon) >= m->counts.size())
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "polygon index out of range"));
        return 0;
    }
    return m->counts[polygon];
}

ZStatus ZFnMesh::getPolygonVertices(int polygon, ZIntArray& vertices) const
{
    ZStatus st;
    MeshData* m = MeshOf(mObject, &st);
    if (!m)
        return st;
    if (polygon < 0 || static_cast<size_t>(polygon) >= m->counts.size())
        return ZStatus(ZStatus::kInvalidParameter, "polygon index out of range");
    vertices.clear();
    for (int k = 0; k < m->counts[polygon]; ++k)
        vertices.append(m->connects[m->offsets[polygon] + k]);
    return ZStatus();
}

ZStatus ZFnMesh::getPoints(ZPointArray& points, ZSpace::Space) const
{
    ZStatus st;
    MeshData* m = MeshOf(mObject, &st);
    if (!m)
        return st;
    points.clear();
    for (const ZPoint& p : m->points)
        points.append(p);
    return ZStatus();
}

template <typename Points>
static ZStatus SetMeshPoints(const ZObject& object, const Points& points)
{
    ZStatus st;
    MeshData* m = MeshOf(object, &st);
    if (!m)
        return st;
    if (points.length() != m->points.size())
        return ZStatus(ZStatus::kInvalidParameter, "expected " + std::to_string(m->points.size()) + " points, got " +
                                                       std::to_string(points.length()));
    for (unsigned i = 0; i < points.length(); ++i)
        if (!std::isfinite(points[i].x) || !std::isfinite(points[i].y) || !std::isfinite(points[i].z) ||
            !std::isfinite(points[i].w))
            return ZStatus(ZStatus::kInvalidParameter, "point " + std::to_string(i) + " is not finite");
    for (unsigned i = 0; i < points.length(); ++i)
        m->points[i] = ZPoint(points[i].x, points[i].y, points[i].z, points[i].w);
    return ZStatus();
}

ZStatus ZFnMesh::setPoints(const ZPointArray& points, ZSpace::Space)
{
    return SetMeshPoints(mObject, points);
}

ZStatus ZFnMesh::setPoints(const ZFloatPointArray& points, ZSpace::Space)
{
    return SetMeshPoints(mObject, points);
}

namespace {

// Stores a value per vertex (normals, colours) after checking every index.
template <typename Array, typename Value>
ZStatus SetPerVertex(const ZObject& object, const Array& values, const ZIntArray& vertices,
                     std::map<int, Value> MeshData::*field, const char* lengthMismatch)
{
    ZStatus st;
    MeshData* m = MeshOf(object, &st);
    if (!m)
        return st;
    if (values.length() != vertices.length())
        return ZStatus(ZStatus::kInvalidParameter, lengthMismatch);
    for (unsigned i = 0; i < vertices.length(); ++i)
        if (vertices[i] < 0 || static_cast<size_t>(vertices[i]) >= m->points.size())
            return ZStatus(ZStatus::kInvalidParameter, "vertex index " + std::to_string(vertices[i]) + " out of range");
    for (unsigned i = 0; i < vertices.length(); ++i)
        (m->*field)[vertices[i]] = values[i];
    return ZStatus();
}

// Stores a value per face vertex after checking each vertex is on its face.
template <typename Array, typename Value>
ZStatus SetPerFaceVertex(const ZObject& object, const Array& values, const ZIntArray& faces, const ZIntArray& vertices,
                         std::map<std::pair<int, int>, Value> MeshData::*field, const char* lengthMismatch)
{
    ZStatus st;
    MeshData* m = MeshOf(object, &st);
    if (!m)
        return st;
    if (values.length() != faces.length() || faces.length() != vertices.length())
        return ZStatus(ZStatus::kInvalidParameter, lengthMismatch);
    for (unsigned i = 0; i < faces.length(); ++i)
        if (FaceVertexPosition(*m, faces[i], vertices[i]) < 0)
            return ZStatus(ZStatus::kInvalidParameter,
                           "vertex " + std::to_string(vertices[i]) + " is not on polygon " + std::to_string(faces[i]));
    for (unsigned i = 0; i < faces.length(); ++i)
        (m->*field)[{faces[i], vertices[i]}] = values[i];
    return ZStatus();
}

} // namespace

ZStatus ZFnMesh::setVertexNormals(const ZVectorArray& normals, const ZIntArray& vertices, ZSpace::Space)
{
    return SetPerVertex(mObject, normals, vertices, &MeshData::vertexNormals,
                        "normal and vertex lists differ in length");
}

ZStatus ZFnMesh::setFaceVertexNormals(const ZVectorArray& normals, const ZIntArray& faces, const ZIntArray& vertices,
                                      ZSpace::Space)
{
    return SetPerFaceVertex(mObject, normals, faces, vertices, &MeshData::faceVertexNormals,
                            "normal, face and vertex lists differ in length");
}

ZStatus ZFnMesh::setVertexColors(const ZColorArray& colors, const ZIntArray& vertices)
{
    return SetPerVertex(mObject, colors, vertices, &MeshData::vertexColors, "colour and vertex lists differ in length");
}

ZStatus ZFnMesh::setFaceVertexColors(const ZColorArray& colors, const ZIntArray& faces, const ZIntArray& vertices)
{
    return SetPerFaceVertex(mObject, colors, faces, vertices, &MeshData::faceVertexColors,
                            "colour, face and vertex lists differ in length");
}

namespace {

// The value the attached mesh keeps under key; kNotFound with the message when
// it has none.
template <typename Map, typename Value>
ZStatus Lookup(const ZObject& object, Map MeshData::*field, const typename Map::key_type& key, Value& out,
               const std::string& missing)
{
    ZStatus st;
    MeshData* m = MeshOf(object, &st);
    if (!m)
        return st;
    auto it = (m->*field).find(key);
    if (it == (m->*field).end())
        return ZStatus(ZStatus::kNotFound, missing);
    out = it->second;
    return ZStatus();
}

} // namespace

ZStatus ZFnMesh::getVertexColor(int vertex, ZColor& color) const
{
    return Lookup(mObject, &MeshData::vertexColors, vertex, color,
                  "vertex " + std::to_string(vertex) + " has no colour");
}

ZStatus ZFnMesh::getFaceVertexNormal(int face, int vertex, ZVector& normal) const
{
    return Lookup(mObject, &MeshData::faceVertexNormals, {face, vertex}, normal, "no normal at that face vertex");
}

ZStatus ZFnMesh::getVertexNormal(int vertex, ZVector& normal) const
{
    return Lookup(mObject, &MeshData::vertexNormals, vertex, normal,
                  "vertex " + std::to_string(vertex) + " has no normal");
}

ZStatus ZFnMesh::getFaceVertexColor(int face, int vertex, ZColor& color) const
{
    return Lookup(mObject, &MeshData::faceVertexColors, {face, vertex}, color, "no colour at that face vertex");
}

int ZFnMesh::numUVSets(ZStatus* status) const
{
    MeshData* m = MeshOf(mObject, status);
    return m ? static_cast<int>(m->uvSets.size()) : 0;
}

ZStatus ZFnMesh::getUVSetNames(ZStringArray& names) const
{
    ZStatus st;
    MeshData* m = MeshOf(mObject, &st);
    if (!m)
        return st;
    names.clear();
    for (const auto& s : m->uvSets)
        names.append(ZString(s.name));
    return ZStatus();
}

ZStatus ZFnMesh::createUVSet(ZString& name)
{
    ZStatus st;
    MeshData* m = MeshOf(mObject, &st);
    if (!m)
        return st;
    if (name.length() == 0 || m->FindUVSet(name.str()) >= 0)
        return ZStatus(ZStatus::kInvalidParameter, "the UV set name '" + name.str() + "' is empty or in use");
    m->uvSets.push_back(MeshData::UVSet{name.str(), {}, {}, {}, false});
    return ZStatus();
}

ZStatus ZFnMesh::renameUVSet(const ZString& oldName, const ZString& newName)
{
    ZStatus st;
    MeshData* m = MeshOf(mObject, &st);
    if (!m)
        return st;
    int i = m->FindUVSet(oldName.str());
    if (i < 0)
        return ZStatus(ZStatus::kInvalidParameter, "no UV set named '" + oldName.str() + "'");
    if (newName.length() == 0 || (m->FindUVSet(newName.str()) >= 0 && newName != oldName))
        return ZStatus(ZStatus::kInvalidParameter, "the UV set name '" + newName.str() + "' is empty or in use");
    m->uvSets[i].name = newName.str();
    return ZStatus();
}

namespace {

// The UV set uvSet names (the current one when null) of the attached mesh;
// a missing set is named in the failure where named is set.
ZStatus UVSetOf(const ZObject& object, const ZString* uvSet, bool named, MeshData*& mesh, MeshData::UVSet*& set)
{
    ZStatus st;
    mesh = MeshOf(object, &st);
    if (!mesh)
        return st;
    set = FindSet(*mesh, uvSet);
    if (set)
        return ZStatus();
    return ZStatus(ZStatus::kInvalidParameter,
                   named ? "no UV set named '" + (uvSet ? uvSet->str() : "") + "'" : std::string("no such UV set"));
}

} // namespace

ZStatus ZFnMesh::setUVs(const ZFloatArray& u, const ZFloatArray& v, const ZString* uvSet)
{
    MeshData* m = nullptr;
    MeshData::UVSet* set = nullptr;
    if (ZStatus st = UVSetOf(mObject, uvSet, true, m, set); !st)
        return st;
    if (u.length() != v.length())
        return ZStatus(ZStatus::kInvalidParameter, "the u and v lists differ in length");
    for (unsigned i = 0; i < u.length(); ++i)
        if (!std::isfinite(u[i]) || !std::isfinite(v[i]))
            return ZStatus(ZStatus::kInvalidParameter, "UV " + std::to_string(i) + " is not finite");
    set->u = u.items();
    set->v = v.items();
    // Ids that no longer name a UV are dropped.
    if (set->assigned)
        for (int id : set->ids)
            if (static_cast<size_t>(id) >= set->u.size())
            {
                set->ids.clear();
                set->assigned = false;
                break;
            }
    return ZStatus();
}

ZStatus ZFnMesh::getUVs(ZFloatArray& u, ZFloatArray& v, const ZString* uvSet) const
{
    MeshData* m = nullptr;
    MeshData::UVSet* set = nullptr;
    if (ZStatus st = UVSetOf(mObject, uvSet, false, m, set); !st)
        return st;
    u.items() = set->u;
    v.items() = set->v;
    return ZStatus();
}

ZStatus ZFnMesh::assignUVs(const ZIntArray& counts, const ZIntArray& ids, const ZString* uvSet)
{
    MeshData* m = nullptr;
    MeshData::UVSet* set = nullptr;
    if (ZStatus st = UVSetOf(mObject, uvSet, true, m, set); !st)
        return st;
    if (counts.length() != m->counts.size())
        return ZStatus(ZStatus::kInvalidParameter, "expected " + std::to_string(m->counts.size()) +
                                                       " polygon counts, got " + std::to_string(counts.length()));
    for (unsigned p = 0; p < counts.length(); ++p)
        if (counts[p] != m->counts[p])
            return ZStatus(ZStatus::kInvalidParameter, "polygon " + std::to_string(p) + " has " +
                                                           std::to_string(m->counts[p]) + " vertices, not " +
                                                           std::to_string(counts[p]));
    if (ids.length() != m->connects.size())
        return ZStatus(ZStatus::kInvalidParameter, "expected " + std::to_string(m->connects.size()) + " UV ids, got " +
                                                       std::to_string(ids.length()));
    for (unsigned i = 0; i < ids.length(); ++i)
        if (ids[i] < 0 || static_cast<size_t>(ids[i]) >= set->u.size())
            return ZStatus(ZStatus::kInvalidParameter, "UV id " + std::to_string(ids[i]) + " is not below the " +
                                                           std::to_string(set->u.size()) + " UVs of the set");
    set->ids = ids.items();
    set->assigned = true;
    return ZStatus();
}

ZStatus ZFnMesh::getAssignedUVs(ZIntArray& counts, ZIntArray& ids, const ZString* uvSet) const
{
    MeshData* m = nullptr;
    MeshData::UVSet* set = nullptr;
    if (ZStatus st = UVSetOf(mObject, uvSet, false, m, set); !st)
        return st;
    counts.clear();
    for (size_t p = 0; p < m->counts.size(); ++p)
        counts.append(set->assigned ? m->counts[p] : 0);
    ids.items() = set->assigned ? set->ids : std::vector<int>();
    return ZStatus();
}

ZStatus ZFnMesh::updateSurface()
{
    ZStatus st;
    MeshOf(mObject, &st);
    return st;
}

// ---- ZItMeshPolygon ----

ZItMeshPolygon::ZItMeshPolygon(const ZObject& mesh, ZStatus* status)
{
    Node* shape = GeometryShape(mesh);
    mValid = shape && shape->mesh;
    mNode = mValid ? shape->id : 0;
    ZSetStatus(status, mValid ? ZStatus() : NotMesh());
}

ZItMeshPolygon::ZItMeshPolygon(const ZDagPath& mesh, const ZObject&, ZStatus* status)
    : ZItMeshPolygon(mesh.node(), status)
{}

static MeshData* IterMesh(uint64_t node)
{
    Node* n = CurrentScene().Get(node);
    return n ? n->mesh.get() : nullptr;
}

bool ZItMeshPolygon::isDone(ZStatus* status) const
{
    MeshData* m = IterMesh(mNode);
    ZSetStatus(status, m ? ZStatus() : NotMesh());
    return !m || mIndex >= m->counts.size();
}

ZStatus ZItMeshPolygon::next()
{
    if (isDone())
        return ZStatus(ZStatus::kFailure, "the iteration is done");
    ++mIndex;
    return ZStatus();
}

ZStatus ZItMeshPolygon::reset()
{
    mIndex = 0;
    return IterMesh(mNode) ? ZStatus() : NotMesh();
}

unsigned ZItMeshPolygon::index(ZStatus* status) const
{
    ZSetStatus(status, IterMesh(mNode) ? ZStatus() : NotMesh());
    return mIndex;
}

unsigned ZItMeshPolygon::count(ZStatus* status) const
{
    MeshData* m = IterMesh(mNode);
    ZSetStatus(status, m ? ZStatus() : NotMesh());
    return m ? static_cast<unsigned>(m->counts.size()) : 0;
}

unsigned ZItMeshPolygon::polygonVertexCount(ZStatus* status) const
{
    if (isDone(status))
    {
        ZSetStatus(status, ZStatus(ZStatus::kFailure, "no current polygon"));
        return 0;
    }
    return static_cast<unsigned>(IterMesh(mNode)->counts[mIndex]);
}

int ZItMeshPolygon::vertexIndex(int position, ZStatus* status) const
{
    if (isDone(status))
    {
        ZSetStatus(status, ZStatus(ZStatus::kFailure, "no current polygon"));
        return -1;
    }
    MeshData* m = IterMesh(mNode);
    if (position < 0 || position >= m->counts[mIndex])
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "vertex position out of range"));
        return -1;
    }
    return m->connects[m->offsets[mIndex] + position];
}

ZStatus ZItMeshPolygon::getVertices(ZIntArray& vertices) const
{
    if (isDone())
        return ZStatus(ZStatus::kFailure, "no current polygon");
    MeshData* m = IterMesh(mNode);
    vertices.clear();
    for (int k = 0; k < m->counts[mIndex]; ++k)
        vertices.append(m->connects[m->offsets[mIndex] + k]);
    return ZStatus();
}

ZObject ZItMeshPolygon::polygon(ZStatus* status) const
{
    if (isDone(status))
    {
        ZSetStatus(status, ZStatus(ZStatus::kFailure, "no current polygon"));
        return ZObject();
    }
    auto rep = std::make_shared<ObjectRep>();
    rep->kind = ObjectRep::kComponent;
    rep->componentType = ZFn::kMeshPolygonComponent;
    rep->elements.push_back({static_cast<int>(mIndex), 0});
    return ZObject(rep);
}

// ---- ZFnNurbsSurface ----

ZFN_DAG_CONSTRUCTORS(ZFnNurbsSurface)

ZStatus ZFnNurbsSurface::setObject(const ZObject& object)
{
    return AttachNode(object, ZFn::kNurbsSurface);
}

ZObject ZFnNurbsSurface::create(const ZPointArray& cvs, const ZDoubleArray& uKnots, const ZDoubleArray& vKnots,
                                unsigned degreeInU, unsigned degreeInV, Form formU, Form formV, bool rational,
                                const ZObject& parent, ZStatus* status)
{
    auto fail = [&](const std::string& text) {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "Cannot create the NURBS surface: " + text));
        return ZObject();
    };
    if (degreeInU < 1 || degreeInV < 1 || degreeInU > 7 || degreeInV > 7)
        return fail("degrees must lie between 1 and 7");
    if (formU < kOpen || formU > kPeriodic || formV < kOpen || formV > kPeriodic)
        return fail("invalid form");
    for (const ZDoubleArray* knots : {&uKnots, &vKnots})
    {
        for (unsigned i = 0; i < knots->length(); ++i)
            if (!std::isfinite((*knots)[i]) || (i > 0 && (*knots)[i] < (*knots)[i - 1]))
                return fail("knots must be finite and non-decreasing");
    }
    long long nu = static_cast<long long>(uKnots.length()) - degreeInU + 1;
    long long nv = static_cast<long long>(vKnots.length()) - degreeInV + 1;
    if (nu < static_cast<long long>(degreeInU) + 1 || nv < static_cast<long long>(degreeInV) + 1)
        return fail("too few knots for the degree");
    if (nu * nv != static_cast<long long>(cvs.length()))
        return fail("expected " + std::to_string(nu * nv) + " control vertices, got " + std::to_string(cvs.length()));
    for (unsigned i = 0; i < cvs.length(); ++i)
        if (!std::isfinite(cvs[i].x) || !std::isfinite(cvs[i].y) || !std::isfinite(cvs[i].z) ||
            !std::isfinite(cvs[i].w))
            return fail("control vertex " + std::to_string(i) + " is not finite");
    Node* owner = nullptr;
    bool made = false;
    ZStatus st = ShapeParent(parent, "nurbsSurface1", &owner, &made);
    Node* shape =
        st ? CurrentScene().Create("nurbsSurface", made ? "nurbsSurfaceShape1" : "", owner->id, &st) : nullptr;
    if (!shape)
    {
        if (made)
            CurrentScene().Delete(owner->id);
        ZSetStatus(status, st);
        return ZObject();
    }
    auto data = std::make_unique<NurbsData>();
    data->points = cvs.items();
    data->knotsU = uKnots.items();
    data->knotsV = vKnots.items();
    data->degreeU = static_cast<int>(degreeInU);
    data->degreeV = static_cast<int>(degreeInV);
    data->formU = formU;
    data->formV = formV;
    data->rational = rational;
    shape->nurbs = std::move(data);
    setObject(ZObject(NodeRep(shape->id)));
    ZSetStatus(status, ZStatus());
    return ZObject(NodeRep(made ? owner->id : shape->id));
}

static NurbsData* NurbsOf(const ZObject& object, ZStatus* status)
{
    Node* node = NodeOf(object);
    ZSetStatus(status, node && node->nurbs ? ZStatus()
                                           : ZStatus(ZStatus::kInvalidParameter, "not attached to a NURBS surface"));
    return node ? node->nurbs.get() : nullptr;
}

// A number the attached surface keeps; 0 (kInvalid for a form) when none is
// attached.
static int NurbsInt(const ZObject& object, ZStatus* status, int NurbsData::*field)
{
    NurbsData* n = NurbsOf(object, status);
    return n ? n->*field : 0;
}

// Copies a list the attached surface keeps.
template <typename T>
static ZStatus CopyNurbs(const ZObject& object, std::vector<T> NurbsData::*field, std::vector<T>& out)
{
    ZStatus st;
    NurbsData* n = NurbsOf(object, &st);
    if (n)
        out = n->*field;
    return st;
}

int ZFnNurbsSurface::numCVsInU(ZStatus* s) const
{
    NurbsData* n = NurbsOf(mObject, s);
    return n ? n->CountU() : 0;
}
int ZFnNurbsSurface::numCVsInV(ZStatus* s) const
{
    NurbsData* n = NurbsOf(mObject, s);
    return n ? n->CountV() : 0;
}
int ZFnNurbsSurface::degreeU(ZStatus* s) const
{
    return NurbsInt(mObject, s, &NurbsData::degreeU);
}
int ZFnNurbsSurface::degreeV(ZStatus* s) const
{
    return NurbsInt(mObject, s, &NurbsData::degreeV);
}
ZFnNurbsSurface::Form ZFnNurbsSurface::formInU(ZStatus* s) const
{
    return static_cast<Form>(NurbsInt(mObject, s, &NurbsData::formU)); // kInvalid (0) when detached
}
ZFnNurbsSurface::Form ZFnNurbsSurface::formInV(ZStatus* s) const
{
    return static_cast<Form>(NurbsInt(mObject, s, &NurbsData::formV)); // kInvalid (0) when detached
}
ZStatus ZFnNurbsSurface::getCVs(ZPointArray& points) const
{
    return CopyNurbs(mObject, &NurbsData::points, points.items());
}
ZStatus ZFnNurbsSurface::getKnotsInU(ZDoubleArray& knots) const
{
    return CopyNurbs(mObject, &NurbsData::knotsU, knots.items());
}
ZStatus ZFnNurbsSurface::getKnotsInV(ZDoubleArray& knots) const
{
    return CopyNurbs(mObject, &NurbsData::knotsV, knots.items());
}

// ---- ZFnBlendShapeDeformer ----

ZFN_NODE_KIND(ZFnBlendShapeDeformer, ZFn::kBlendShape)

ZObject ZFnBlendShapeDeformer::create(const ZObject& baseObject, OriginSpace space, ZStatus* status)
{
    if (space != kLocalOrigin && space != kWorldOrigin)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "invalid origin space"));
        return ZObject();
    }
    Node* shape = GeometryShape(baseObject);
    if (!shape)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "the base object has no single mesh or NURBS shape"));
        return ZObject();
    }
    ZStatus st;
    Node* deformer = CurrentScene().Create("blendShape", "", 0, &st);
    if (deformer)
        st = InsertDeformer(deformer, shape);
    if (!st)
    {
        if (deformer)
            CurrentScene().Delete(deformer->id);
        ZSetStatus(status, st);
        return ZObject();
    }
    deformer->bases.push_back(shape->id);
    mObject = ZObject(NodeRep(deformer->id));
    ZSetStatus(status, ZStatus());
    return mObject;
}

ZStatus ZFnBlendShapeDeformer::addBaseObject(const ZObject& base)
{
    Node* deformer = nullptr;
    ZStatus st = NodeStatus(mObject, &deformer);
    if (!st)
        return st;
    Node* shape = GeometryShape(base);
    if (!shape)
        return ZStatus(ZStatus::kInvalidParameter, "the base object has no single mesh or NURBS shape");
    if (std::find(deformer->bases.begin(), deformer->bases.end(), shape->id) != deformer->bases.end())
        return ZStatus();
    st = InsertDeformer(deformer, shape);
    if (st)
        deformer->bases.push_back(shape->id);
    return st;
}

ZStatus ZFnBlendShapeDeformer::addTarget(const ZObject& base, int weightIndex, const ZObject& target, double fullWeight)
{
    Node* deformer = nullptr;
    ZStatus st = NodeStatus(mObject, &deformer);
    if (!st)
        return st;
    Node* b = GeometryShape(base);
    Node* t = GeometryShape(target);
    if (!b || std::find(deformer->bases.begin(), deformer->bases.end(), b->id) == deformer->bases.end())
        return ZStatus(ZStatus::kInvalidParameter, "the base object is not deformed by " + deformer->name);
    if (!t)
        return ZStatus(ZStatus::kInvalidParameter, "the target has no single mesh or NURBS shape");
    if (weightIndex < 0 || !std::isfinite(fullWeight))
        return ZStatus(ZStatus::kInvalidParameter, "invalid weight index or full weight");
    bool sameKind = (b->mesh && t->mesh) || (b->nurbs && t->nurbs);
    size_t bp = b->mesh ? b->mesh->points.size() : (b->nurbs ? b->nurbs->points.size() : 0);
    size_t tp = t->mesh ? t->mesh->points.size() : (t->nurbs ? t->nurbs->points.size() : 0);
    if (!sameKind || bp != tp)
        return ZStatus(ZStatus::kInvalidParameter, "the target's topology differs from the base's");
    deformer->targets[weightIndex].push_back(t->id);
    int weight = deformer->FindAttr("weight");
    deformer->elements[weight].insert(weightIndex);
    return ZStatus();
}

unsigned ZFnBlendShapeDeformer::numWeights(ZStatus* status) const
{
    Node* deformer = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &deformer)))
        return 0;
    return static_cast<unsigned>(deformer->targets.size());
}

ZStatus ZFnBlendShapeDeformer::getBaseObjects(ZObjectArray& bases) const
{
    Node* deformer = nullptr;
    ZStatus st = NodeStatus(mObject, &deformer);
    bases.clear();
    if (st)
        for (uint64_t id : deformer->bases)
            if (CurrentScene().Get(id))
                bases.append(ZObject(NodeRep(id)));
    return st;
}

ZStatus ZFnBlendShapeDeformer::getTargets(const ZObject&, int weightIndex, ZObjectArray& targets) const
{
    Node* deformer = nullptr;
    ZStatus st = NodeStatus(mObject, &deformer);
    targets.clear();
    if (!st)
        return st;
    auto it = deformer->targets.find(weightIndex);
    if (it != deformer->targets.end())
        for (uint64_t id : it->second)
            if (CurrentScene().Get(id))
                targets.append(ZObject(NodeRep(id)));
    return ZStatus();
}
