#ifndef ZELT_HOST_ZSCENE_PRIVATE_H
#define ZELT_HOST_ZSCENE_PRIVATE_H

// The stand-in host's in-memory scene: nodes by id, their attributes and
// values, connections, DAG links, namespaces and unique names. Handles
// (ZObject, ZDagPath, ZPlug) hold node ids and look nodes up on every use, so
// a handle outliving its node is null, never dangling.

#include "host/zbase.h"
#include "host/zdag.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace zelthost {

// Numeric unit types (ZFnNumericData::Type codes).
enum NumericType
{
    kNumInvalid = 0,
    kNumBoolean = 1,
    kNumByte = 2,
    kNumChar = 3,
    kNumShort = 4,
    kNumInt = 7,
    kNumFloat = 10,
    kNum3Float = 12,
    kNumDouble = 13,
    kNum3Double = 15
};

// What a numeric value measures; decides the type of curve made for it.
enum UnitKind
{
    kUnitless = 0,
    kDistance = 1,
    kAngle = 2
};

struct AttrDef
{
    enum Kind
    {
        kNumeric,
        kCompound,
        kMatrix,
        kString,
        kMessage
    };
    std::string name, shortName;
    Kind kind = kNumeric;
    int numericType = kNumDouble; // leaf type; 12/15 on a three-part compound
    UnitKind unit = kUnitless;
    double defaultValue = 0;
    int parent = -1;           // index of the parent compound
    std::vector<int> children; // indices of the children
    bool array = false;
    bool hidden = false, keyable = false, storable = true, connectable = true, internal = false;
    bool hasSoftMin = false, hasSoftMax = false;
    double softMin = 0, softMax = 0;
    bool dynamic = false;
};

// Static description of a node type: its attributes and function-set types.
struct TypeInfo
{
    std::string name;
    std::vector<ZFn::Type> fnTypes; // most derived first
    bool dag = false, shape = false;
    std::vector<AttrDef> attrs;
    std::unordered_map<std::string, int> byName; // long and short names
};

struct Value
{
    double num = 0;
    std::string str;
    std::vector<double> matrix; // 16 values when set
};

struct Connection
{
    uint64_t src;
    int srcAttr, srcLogical;
    uint64_t dst;
    int dstAttr, dstLogical;
    bool operator==(const Connection& o) const
    {
        return src == o.src && srcAttr == o.srcAttr && srcLogical == o.srcLogical && dst == o.dst &&
               dstAttr == o.dstAttr && dstLogical == o.dstLogical;
    }
};

struct MeshData
{
    std::vector<ZPoint> points;
    std::vector<int> counts, connects, offsets; // offsets[p] = first connect of polygon p
    std::map<int, ZVector> vertexNormals;
    std::map<std::pair<int, int>, ZVector> faceVertexNormals; // (face, vertex)
    std::map<int, ZColor> vertexColors;
    std::map<std::pair<int, int>, ZColor> faceVertexColors;
    struct UVSet
    {
        std::string name;
        std::vector<float> u, v;
        std::vector<int> ids; // one per polygon vertex once assigned
        bool assigned = false;
    };
    std::vector<UVSet> uvSets;
    int FindUVSet(const std::string& name) const;
};

struct NurbsData
{
    std::vector<ZPoint> points; // host U outer, host V inner
    std::vector<double> knotsU, knotsV;
    int degreeU = 3, degreeV = 3, formU = 1, formV = 1;
    bool rational = false;
    int CountU() const { return static_cast<int>(knotsU.size()) - degreeU + 1; }
    int CountV() const { return static_cast<int>(knotsV.size()) - degreeV + 1; }
};

struct CurveKey
{
    double time = 0; // seconds
    double value = 0;
    int inType = 0, outType = 0;
    bool tangentsLocked = true, weightsLocked = true;
    bool hasIn = false, hasOut = false;
    float inX = 0, inY = 0, outX = 0, outY = 0;
};

struct CurveData
{
    int type = 3; // 0 angle, 1 distance, 2 time, 3 unitless
    bool weighted = false;
    int preInfinity = 0, postInfinity = 0;
    std::vector<CurveKey> keys; // ascending time
    double Evaluate(double seconds) const;
};

// Skin weights: influence logical index -> weight, per control point.
struct SkinData
{
    std::vector<uint64_t> influences; // by logical index
    uint64_t geometry = 0;            // the deformed shape
    std::map<int, std::map<int, double>> weights;
};

// Members of a set: whole nodes or components of them.
struct SetMember
{
    using Elements = std::vector<std::pair<int, int>>;

    uint64_t node;
    std::string component; // "" for the whole node, else "vtx", "f" or "cv"

    // The component's elements, ascending and without repeats.
    const Elements& Sorted() const;
    // The same, for removing some in place (what stays keeps its order).
    Elements& Sorted();
    // Adds elements in any order, repeats included. They join the sorted
    // ones when next read, so that a long run of adds (an import assigning
    // faces one by one) costs no more than one sort of the whole list.
    void Add(const Elements& more);

private:
    void Settle() const;
    // Read through Sorted(), which folds the added ones in first.
    mutable Elements mSorted;
    mutable Elements mAdded;
};

struct Node
{
    uint64_t id = 0;
    std::string name; // with its namespace, "ns:name"
    const TypeInfo* type = nullptr;
    std::vector<uint64_t> parents, children; // DAG links; parents empty for DG nodes
    std::vector<AttrDef> dynamic;            // indices follow the type's attributes
    std::unordered_map<uint64_t, Value> values;
    std::map<int, std::set<int>> elements; // array attr -> logical indices present
    std::set<uint64_t> locked;
    std::vector<Connection> in, out;
    bool intermediate = false;
    std::unique_ptr<MeshData> mesh;
    std::unique_ptr<NurbsData> nurbs;
    std::unique_ptr<CurveData> curve;
    std::unique_ptr<SkinData> skin;
    std::vector<SetMember> members;                // sets: their members
    std::map<std::pair<int, int>, double> weights; // cluster: weight by (vertex or u, v)
    std::vector<uint64_t> bases;                   // blend shape: base shapes
    std::map<int, std::vector<uint64_t>> targets;  // blend shape: targets by weight index

    int AttrCount() const { return static_cast<int>(type->attrs.size() + dynamic.size()); }
    const AttrDef* Attr(int index) const;
    int FindAttr(const std::string& name) const;
    bool Is(ZFn::Type fn) const;
};

inline uint64_t ValueKey(int attr, int logical)
{
    return (static_cast<uint64_t>(static_cast<uint32_t>(attr)) << 32) | static_cast<uint32_t>(logical + 1);
}

struct PluginRep;

// What a ZObject stands for.
struct ObjectRep
{
    enum Kind
    {
        kNode,
        kAttribute,
        kComponent,
        kData,
        kPlugin
    };
    Kind kind = kNode;
    uint64_t node = 0; // kNode; kAttribute on a node
    int attr = -1;     // kAttribute on a node
    // kAttribute not yet added to a node: the attribute and its children.
    std::vector<AttrDef> pack;
    // kComponent
    ZFn::Type componentType = ZFn::kInvalid;
    std::vector<std::pair<int, int>> elements;
    bool complete = false;
    int completeU = 0, completeV = 0;
    // kData
    std::vector<double> matrix;
    // kPlugin
    PluginRep* plugin = nullptr;
};

class Scene
{
public:
    Scene();

    // The world node: the parent of every top-level DAG node.
    uint64_t World() const { return mWorld; }
    Node* Get(uint64_t id) const;
    Node* FindByName(const std::string& name) const;
    // Creates a node of a registered type under a DAG parent (0: the world,
    // ignored for DG nodes). The name is made unique in the current namespace;
    // "" means the type's default name. Null for an unknown type or a bad parent.
    Node* Create(const std::string& typeName, const std::string& name, uint64_t parent, ZStatus* status);
    // Renames: the name goes into the current namespace unless it names one,
    // and is made unique. Returns the kept name or "" with a failed status.
    std::string Rename(Node* node, const std::string& name, ZStatus* status);
    // Deletes a node, its DAG children that have no other parent, and every
    // connection to them.
    void Delete(uint64_t id);
    ZStatus Reparent(uint64_t child, uint64_t newParent, bool keepExisting, uint64_t oldParent = 0);
    bool IsAncestor(uint64_t maybeAncestor, uint64_t node) const;

    ZStatus Connect(const ZPlug& src, const ZPlug& dst, bool force);
    ZStatus Disconnect(const ZPlug& src, const ZPlug& dst);

    // Every node in creation order.
    const std::map<uint64_t, std::unique_ptr<Node>>& Nodes() const { return mNodes; }
    // Every path to a node, parents in order; at most kMaxPaths of them (a
    // chain of instances multiplies paths).
    std::vector<std::vector<uint64_t>> AllPathsTo(uint64_t id) const;
    // The first of them (through first parents); empty for a non-DAG node.
    std::vector<uint64_t> FirstPathTo(uint64_t id) const;
    static const size_t kMaxPaths = 100000;
    // Resolves "name", "|a|b", "a|b" or "ns:name" to DAG paths or a DG node.
    bool Resolve(const std::string& text, std::vector<uint64_t>& path, bool& dag) const;

    // Namespaces: full names without a leading ":" ("a", "a:b"); "" is the root.
    std::set<std::string> namespaces;
    std::string currentNamespace;
    std::string Qualify(const std::string& name) const;

    ZSelectionList selection;
    double minTime = 1.0 / 24.0, maxTime = 1.0, currentTime = 1.0 / 24.0;

private:
    std::string UniqueName(const std::string& wanted);
    void Unname(Node* node);
    std::map<uint64_t, std::unique_ptr<Node>> mNodes;
    std::unordered_map<uint64_t, Node*> mById;
    std::unordered_map<std::string, uint64_t> mByName;
    std::unordered_map<std::string, unsigned> mNextSuffix;
    uint64_t mNextId = 1;
    uint64_t mWorld = 0;
};

const TypeInfo* FindType(const std::string& name);
// The default scene objects: default cameras, shader list, initial shading.
void PopulateDefaultScene(Scene& scene);

// Shared by the function sets.
std::shared_ptr<ObjectRep> NodeRep(uint64_t id);
Node* NodeOf(const ZObject& object);
ZStatus NodeStatus(const ZObject& object, Node** node);
Scene& CurrentScene();
// Value helpers on a node attribute (a leaf numeric, or a compound whose
// children are numeric leaves).
double GetNum(const Node* node, int attr, int logical = -1);
void SetNum(Node* node, int attr, double value, int logical = -1);
double GetNum(const Node* node, const char* attr);
void SetNum(Node* node, const char* attr, double value);
ZVector GetVec(const Node* node, const char* compound);
void SetVec(Node* node, const char* compound, const ZVector& v);
// 4x4 matrices for row vectors.
void LocalMatrix(const Node* node, double m[4][4]);
void WorldMatrix(const std::vector<uint64_t>& path, double m[4][4]);
// The first indices of the elements, sorted, each once, into indices.
void SortedUniqueFirsts(const SetMember::Elements& elements, std::vector<int>& indices);
std::string ComponentText(const SetMember& member, const Node* node, const std::string& nodeName);
// The same for elements of the component ("vtx", "f" or "cv") as they come:
// cvs in their order, vertices and faces as ascending ranges.
std::string ComponentText(const std::string& component, const SetMember::Elements& elements,
                          const std::string& nodeName);
// "attr", "attr[3]", "parent.child": a plug of the node; a null plug and a
// failed status when the node has no such attribute.
ZPlug ParsePlug(const Node* node, const std::string& text, ZStatus* status);
// "vtx[3:5]", "f[2]", "cv[1][2]": a component object; false when malformed.
bool ParseComponent(const std::string& text, ZObject& component);
void AddSetMember(Node* set, uint64_t node, const ZObject& component);
// The mesh or NURBS shape of an object: itself, or the single one below a transform.
Node* GeometryShape(const ZObject& object);
// Puts a deformer in front of a shape (see zgeometry.cpp).
ZStatus InsertDeformer(Node* deformer, Node* shape);

} // namespace zelthost

#endif
