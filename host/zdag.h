#ifndef ZELT_HOST_ZDAG_H
#define ZELT_HOST_ZDAG_H

// DAG paths, iterators, the selection list and plugs of the stand-in host.
// A path names one route from the world down to a node; a node with several
// parents (an instance) has several paths. Every operation validates its
// input and answers a failed ZStatus with a message; nothing crashes on a
// stale path or a deleted node.

#include "host/zbase.h"

#include <cstdint>

class ZDagPath;
using ZDagPathArray = ZArray<ZDagPath>;

class ZDagPath
{
public:
    ZDagPath() = default;
    // Nodes below the world, top first.
    explicit ZDagPath(const std::vector<uint64_t>& ids)
        : mIds(ids)
    {}

    // Number of nodes below the world.
    unsigned length(ZStatus* status = nullptr) const;
    // The node at the end of the path (the world for an empty path).
    ZObject node(ZStatus* status = nullptr) const;
    // The transform at or above the end of the path.
    ZObject transform(ZStatus* status = nullptr) const;
    // Every node still exists and every link is still a parent/child link.
    bool isValid(ZStatus* status = nullptr) const;
    // "|a|b"; "" for the world.
    ZString fullPathName(ZStatus* status = nullptr) const;
    // The shortest unique name of the end node ("b", or "a|b" when b is an instance).
    ZString partialPathName(ZStatus* status = nullptr) const;
    unsigned childCount(ZStatus* status = nullptr) const;
    ZObject child(unsigned index, ZStatus* status = nullptr) const;
    ZStatus push(const ZObject& child);
    ZStatus pop(unsigned count = 1);
    // Extends a path ending at a transform to its single shape below.
    ZStatus extendToShape();
    // The end node, or (for a transform) one of its shapes, supports the type.
    bool hasFn(ZFn::Type type, ZStatus* status = nullptr) const;
    ZFn::Type apiType(ZStatus* status = nullptr) const;
    // The first path to the node (in parent order).
    static ZStatus getAPathTo(const ZObject& node, ZDagPath& path);
    // Every path to the node, depth first through its parents.
    static ZStatus getAllPathsTo(const ZObject& node, ZDagPathArray& paths);
    // Number of paths (instances) that lead to the end node.
    unsigned instanceNumber(ZStatus* status = nullptr) const;

    bool operator==(const ZDagPath& o) const { return mIds == o.mIds; }
    bool operator!=(const ZDagPath& o) const { return mIds != o.mIds; }
    const std::vector<uint64_t>& ids() const { return mIds; }

private:
    std::vector<uint64_t> mIds;
};

// Depth-first walk over every DAG path of the scene: a node, then the
// subtrees of its children in child order; an instanced node is met once per
// path. The depth-first walk keeps only the current path, so scenes with many
// instance paths cost memory in their depth only; a breadth-first walk lists
// at most a million paths.
class ZItDag
{
public:
    enum TraversalType
    {
        kInvalidType = 0,
        kDepthFirst = 1,
        kBreadthFirst = 2
    };
    ZItDag(TraversalType type = kDepthFirst, ZFn::Type filter = ZFn::kInvalid, ZStatus* status = nullptr);
    bool isDone(ZStatus* status = nullptr) const;
    ZStatus next();
    ZStatus getPath(ZDagPath& path) const;
    ZObject currentItem(ZStatus* status = nullptr) const;
    ZStatus reset();

private:
    void Build();
    void Step(); // depth first: the next path in pre-order
    bool Accepted() const;
    TraversalType mType;
    ZFn::Type mFilter;
    std::vector<uint64_t> mPath; // depth first: the current path
    std::vector<size_t> mNext;   // depth first: next child to visit, per level from the world
    bool mDone = false;
    std::vector<std::vector<uint64_t>> mPaths; // breadth first
    size_t mIndex = 0;
};

class ZSelectionList
{
public:
    enum MergeStrategy
    {
        kMergeNormal = 0,
        kXORWithList = 1,
        kRemoveFromList = 2
    };
    ZSelectionList() = default;
    ZStatus clear();
    bool isEmpty() const { return mItems.empty(); }
    unsigned length(ZStatus* status = nullptr) const;
    // Adds the node(s) or components a name or pattern names: "node", "|a|b",
    // "node.vtx[3:5]", "node.cv[1][2]", "node.f[0]".
    ZStatus add(const ZString& name, bool searchChildNamespaces = false);
    ZStatus add(const ZObject& node, bool mergeWithExisting = false);
    ZStatus add(const ZDagPath& path, const ZObject& component = ZObject::kNullObj, bool mergeWithExisting = false);
    ZStatus getDependNode(unsigned index, ZObject& node) const;
    ZStatus getDagPath(unsigned index, ZDagPath& path, ZObject& component) const;
    ZStatus getDagPath(unsigned index, ZDagPath& path) const;
    // The items as script texts: nodes as their partial path names,
    // components as "name.vtx[a:b]" ranges. Vertex or face items that follow
    // one another on one object and carry on each other's run join into one
    // range; cvs give one text each.
    ZStatus getSelectionStrings(ZStringArray& strings) const;
    ZStatus remove(unsigned index);

    struct Item
    {
        std::vector<uint64_t> path; // DAG path, or a single DG node id
        bool dag = false;
        ZObject component;
    };
    const std::vector<Item>& items() const { return mItems; }
    std::vector<Item>& items() { return mItems; }

private:
    std::vector<Item> mItems;
};

class ZItDependencyGraph;
class ZPlug;
using ZPlugArray = ZArray<ZPlug>;

// Evaluation context; the stand-in evaluates at the current time only.
class ZDGContext
{
public:
    static ZDGContext fsNormal;
};

// A node's attribute, or an element or child of one. Plugs are values: they
// name (node, attribute, logical index) and look the node up on every use.
class ZPlug
{
public:
    ZPlug() = default;
    ZPlug(const ZObject& node, const ZObject& attribute);
    ZPlug(uint64_t node, int attribute, int logicalIndex)
        : mNode(node)
        , mAttr(attribute)
        , mLogical(logicalIndex)
    {}

    bool isNull(ZStatus* status = nullptr) const;
    // "node.attribute[3].child" with long names.
    ZString name(ZStatus* status = nullptr) const;
    // "|path|to|node.attribute" with long names.
    ZString info(ZStatus* status = nullptr) const;
    // The attribute part only ("tx", "inputs[2].color"); long names when asked.
    ZString partialName(bool includeNodeName = false, bool includeNonMandatoryIndices = false,
                        bool includeInstancedIndices = false, bool useAlias = false, bool useFullAttributePath = false,
                        bool useLongNames = false, ZStatus* status = nullptr) const;
    ZObject node(ZStatus* status = nullptr) const;
    ZObject attribute(ZStatus* status = nullptr) const;

    bool isArray(ZStatus* status = nullptr) const;
    bool isElement(ZStatus* status = nullptr) const;
    bool isCompound(ZStatus* status = nullptr) const;
    bool isChild(ZStatus* status = nullptr) const;
    unsigned logicalIndex(ZStatus* status = nullptr) const;
    // Elements that exist (set or connected).
    unsigned numElements(ZStatus* status = nullptr) const;
    ZPlug elementByLogicalIndex(unsigned index, ZStatus* status = nullptr) const;
    ZPlug elementByPhysicalIndex(unsigned index, ZStatus* status = nullptr) const;
    ZPlug operator[](unsigned logicalIndex) const { return elementByLogicalIndex(logicalIndex); }
    unsigned numChildren(ZStatus* status = nullptr) const;
    ZPlug child(unsigned index, ZStatus* status = nullptr) const;
    ZPlug child(const ZObject& attribute, ZStatus* status = nullptr) const;
    ZPlug parent(ZStatus* status = nullptr) const;
    ZPlug array(ZStatus* status = nullptr) const;

    bool isLocked(ZStatus* status = nullptr) const;
    ZStatus setLocked(bool locked);
    bool isKeyable(ZStatus* status = nullptr) const;

    bool isConnected(ZStatus* status = nullptr) const;
    bool isSource(ZStatus* status = nullptr) const;
    bool isDestination(ZStatus* status = nullptr) const;
    // The plugs at the other ends: with asDst, the plug feeding this one; with
    // asSrc, the plugs this one feeds.
    bool connectedTo(ZPlugArray& plugs, bool asDst, bool asSrc, ZStatus* status = nullptr) const;

    ZStatus getValue(double& value, ZDGContext& ctx = ZDGContext::fsNormal) const;
    ZStatus getValue(float& value, ZDGContext& ctx = ZDGContext::fsNormal) const;
    ZStatus getValue(int& value, ZDGContext& ctx = ZDGContext::fsNormal) const;
    ZStatus getValue(short& value, ZDGContext& ctx = ZDGContext::fsNormal) const;
    ZStatus getValue(char& value, ZDGContext& ctx = ZDGContext::fsNormal) const;
    ZStatus getValue(bool& value, ZDGContext& ctx = ZDGContext::fsNormal) const;
    ZStatus getValue(ZString& value, ZDGContext& ctx = ZDGContext::fsNormal) const;
    ZStatus getValue(ZObject& data, ZDGContext& ctx = ZDGContext::fsNormal) const;
    double asDouble(ZStatus* status = nullptr) const;
    int asInt(ZStatus* status = nullptr) const;
    bool asBool(ZStatus* status = nullptr) const;
    ZString asString(ZStatus* status = nullptr) const;

    ZStatus setValue(double value);
    ZStatus setValue(float value) { return setValue(static_cast<double>(value)); }
    ZStatus setValue(int value) { return setValue(static_cast<double>(value)); }
    ZStatus setValue(short value) { return setValue(static_cast<double>(value)); }
    ZStatus setValue(char value) { return setValue(static_cast<double>(value)); }
    ZStatus setValue(bool value) { return setValue(value ? 1.0 : 0.0); }
    ZStatus setValue(const ZString& value);
    ZStatus setValue(const char* value) { return setValue(ZString(value)); }
    // Matrix data (ZFnMatrixData) for matrix attributes.
    ZStatus setValue(const ZObject& data);

    bool operator==(const ZPlug& o) const { return mNode == o.mNode && mAttr == o.mAttr && mLogical == o.mLogical; }
    bool operator!=(const ZPlug& o) const { return !(*this == o); }

    uint64_t nodeId() const { return mNode; }
    int attributeIndex() const { return mAttr; }
    int logical() const { return mLogical; }

private:
    uint64_t mNode = 0;
    int mAttr = -1;
    int mLogical = -1;
};

// Connections made and broken as one step.
class ZDGModifier
{
public:
    ZDGModifier() = default;
    ZStatus connect(const ZPlug& source, const ZPlug& destination);
    ZStatus connect(const ZObject& sourceNode, const ZObject& sourceAttr, const ZObject& destNode,
                    const ZObject& destAttr);
    ZStatus disconnect(const ZPlug& source, const ZPlug& destination);
    ZStatus deleteNode(const ZObject& node);
    // Applies the queued steps in order; stops at the first that fails.
    ZStatus doIt();
    ZStatus undoIt() { return ZStatus(ZStatus::kNotImplemented, "undo is not supported"); }

private:
    struct Step
    {
        int kind; // 0 connect, 1 disconnect, 2 delete
        ZPlug src, dst;
        ZObject node;
    };
    std::vector<Step> mSteps;
};

// Walks the dependency graph from a node along connections, upstream or
// downstream, visiting each node once, nearest first.
class ZItDependencyGraph
{
public:
    enum Direction
    {
        kDownstream = 0,
        kUpstream = 1
    };
    enum Traversal
    {
        kDepthFirst = 0,
        kBreadthFirst = 1
    };
    enum Level
    {
        kNodeLevel = 0,
        kPlugLevel = 1
    };
    ZItDependencyGraph(const ZObject& root, ZFn::Type filter = ZFn::kInvalid, Direction direction = kDownstream,
                       Traversal traversal = kDepthFirst, Level level = kNodeLevel, ZStatus* status = nullptr);
    bool isDone(ZStatus* status = nullptr) const;
    ZStatus next();
    ZObject currentItem(ZStatus* status = nullptr) const;
    ZObject thisNode(ZStatus* status = nullptr) const { return currentItem(status); }

private:
    std::vector<uint64_t> mOrder;
    size_t mIndex = 0;
};

#endif
