// Node, DAG and set function sets, and the checks every function set shares.
#include "host/zfn_private.h"
#include "host/zscene_private.h"

#include <algorithm>
#include <cmath>

using namespace zelthost;

namespace zelthost {

ZStatus NotAttached()
{
    return ZStatus(ZStatus::kInvalidParameter, "the function set is not attached to a valid object");
}

bool Finite(std::initializer_list<double> values)
{
    for (double v : values)
        if (!std::isfinite(v))
            return false;
    return true;
}

ZStatus NotFinite()
{
    return ZStatus(ZStatus::kInvalidParameter, "the value is not a finite number");
}

ZStatus ParentId(const ZObject& parent, uint64_t& id)
{
    id = 0;
    if (parent.isNull())
        return ZStatus();
    Node* p = NodeOf(parent);
    if (!p)
        return ZStatus(ZStatus::kInvalidParameter, "the parent is not a node");
    id = p->id;
    return ZStatus();
}

} // namespace zelthost

// ---- ZFnBase ----

ZObject ZFnBase::object(ZStatus* status) const
{
    ZSetStatus(status, Check());
    return mObject;
}

ZStatus ZFnBase::setObject(const ZObject& object)
{
    mObject = object;
    return ZStatus();
}

bool ZFnBase::hasObj(const ZObject& object) const
{
    return object.hasFn(type());
}

ZStatus ZFnBase::Attach(const ZObject& object, ZFn::Type need)
{
    mObject = ZObject();
    if (object.isNull())
        return ZStatus(ZStatus::kInvalidParameter, "the object is null");
    if (!object.hasFn(need))
        return ZStatus(ZStatus::kInvalidParameter,
                       std::string("the object (") + object.apiTypeStr() + ") does not support this function set");
    mObject = object;
    return ZStatus();
}

ZStatus ZFnBase::Check() const
{
    return mObject.isNull() ? NotAttached() : ZStatus();
}

// ---- ZFnDependencyNode ----

ZFN_NODE_KIND(ZFnDependencyNode, ZFn::kDependencyNode)

ZObject ZFnDependencyNode::create(const ZString& typeName, const ZString& name, ZStatus* status)
{
    const TypeInfo* type = FindType(typeName.str());
    if (type && type->dag)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, typeName.str() + " is a DAG node type"));
        return ZObject();
    }
    ZStatus st;
    Node* node = CurrentScene().Create(typeName.str(), name.str(), 0, &st);
    if (!ZSetStatus(status, st))
        return ZObject();
    mObject = ZObject(NodeRep(node->id));
    return mObject;
}

ZString ZFnDependencyNode::name(ZStatus* status) const
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &node)))
        return ZString();
    return ZString(node->name);
}

ZString ZFnDependencyNode::setName(const ZString& name, bool, ZStatus* status)
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &node)))
        return ZString();
    ZStatus st;
    std::string kept = CurrentScene().Rename(node, name.str(), &st);
    ZSetStatus(status, st);
    return ZString(st ? kept : node->name);
}

ZString ZFnDependencyNode::typeName(ZStatus* status) const
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &node)))
        return ZString();
    return ZString(node->type->name);
}

namespace zelthost {

// "attr", "attr[3]", "parent.child", "inputs[1].color": a plug of the node.
ZPlug ParsePlug(const Node* node, const std::string& text, ZStatus* status)
{
    ZPlug plug;
    int logical = -1;
    size_t start = 0;
    int parentAttr = -1;
    while (start <= text.size())
    {
        size_t dot = text.find('.', start);
        std::string part = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        int index = -1;
        size_t bracket = part.find('[');
        if (bracket != std::string::npos)
        {
            if (part.back() != ']' || part.size() - bracket < 3 || part.size() - bracket > 11)
            {
                ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "Invalid attribute index: " + text));
                return ZPlug();
            }
            std::string digits = part.substr(bracket + 1, part.size() - bracket - 2);
            if (digits.find_first_not_of("0123456789") != std::string::npos)
            {
                ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "Invalid attribute index: " + text));
                return ZPlug();
            }
            index = std::stoi(digits);
            part = part.substr(0, bracket);
        }
        int attr = node->FindAttr(part);
        const AttrDef* def = node->Attr(attr);
        if (!def || (parentAttr >= 0 && def->parent != parentAttr) || (parentAttr < 0 && start > 0))
        {
            ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "No attribute '" + text + "' on " + node->name));
            return ZPlug();
        }
        if (index >= 0)
        {
            if (!def->array)
            {
                ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, part + " is not an array"));
                return ZPlug();
            }
            logical = index;
        }
        plug = ZPlug(node->id, attr, logical);
        parentAttr = attr;
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    ZSetStatus(status, ZStatus());
    return plug;
}

} // namespace zelthost

ZPlug ZFnDependencyNode::findPlug(const ZString& attribute, ZStatus* status) const
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &node)))
        return ZPlug();
    return ParsePlug(node, attribute.str(), status);
}

ZPlug ZFnDependencyNode::findPlug(const ZObject& attribute, ZStatus* status) const
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &node)))
        return ZPlug();
    ZPlug plug(mObject, attribute);
    if (plug.isNull())
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "the node has no such attribute"));
    return plug;
}

ZObject ZFnDependencyNode::attribute(const ZString& name, ZStatus* status) const
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &node)))
        return ZObject();
    int index = node->FindAttr(name.str());
    if (index < 0 || name.length() == 0)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "No attribute '" + name.str() + "' on " + node->name));
        return ZObject();
    }
    return attribute(static_cast<unsigned>(index), status);
}

ZObject ZFnDependencyNode::attribute(unsigned index, ZStatus* status) const
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &node)))
        return ZObject();
    if (!node->Attr(static_cast<int>(index)))
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "attribute index out of range"));
        return ZObject();
    }
    auto rep = std::make_shared<ObjectRep>();
    rep->kind = ObjectRep::kAttribute;
    rep->node = node->id;
    rep->attr = static_cast<int>(index);
    return ZObject(rep);
}

unsigned ZFnDependencyNode::attributeCount(ZStatus* status) const
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &node)))
        return 0;
    return static_cast<unsigned>(node->AttrCount());
}

bool ZFnDependencyNode::hasAttribute(const ZString& name, ZStatus* status) const
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &node)))
        return false;
    return name.length() > 0 && node->FindAttr(name.str()) >= 0;
}

ZStatus ZFnDependencyNode::addAttribute(const ZObject& attribute, ZAttrClass)
{
    Node* node = nullptr;
    ZStatus st = NodeStatus(mObject, &node);
    if (!st)
        return st;
    const auto& rep = attribute.rep();
    if (!rep || rep->kind != ObjectRep::kAttribute || rep->pack.empty())
        return ZStatus(ZStatus::kInvalidParameter, "the object is not a new attribute");
    for (const AttrDef& def : rep->pack)
        if (node->FindAttr(def.name) >= 0 || node->FindAttr(def.shortName) >= 0)
            return ZStatus(ZStatus::kInvalidParameter,
                           "The attribute name '" + def.name + "' is already in use on " + node->name);
    int base = node->AttrCount();
    for (AttrDef def : rep->pack)
    {
        if (def.parent >= 0)
            def.parent += base;
        for (int& c : def.children)
            c += base;
        def.dynamic = true;
        node->dynamic.push_back(def);
    }
    return ZStatus();
}

ZStatus ZFnDependencyNode::removeAttribute(const ZObject& attribute, ZAttrClass)
{
    Node* node = nullptr;
    ZStatus st = NodeStatus(mObject, &node);
    if (!st)
        return st;
    const auto& rep = attribute.rep();
    if (!rep || rep->kind != ObjectRep::kAttribute)
        return ZStatus(ZStatus::kInvalidParameter, "the object is not an attribute");
    int index = rep->pack.empty() ? (rep->node == node->id ? rep->attr : -1) : node->FindAttr(rep->pack.front().name);
    const AttrDef* def = node->Attr(index);
    if (!def || !def->dynamic || def->parent >= 0)
        return ZStatus(ZStatus::kInvalidParameter, "only dynamic attributes can be removed");
    // Indices stay stable: the attribute and its children lose their names.
    std::vector<int> doomed{index};
    doomed.insert(doomed.end(), def->children.begin(), def->children.end());
    for (int a : doomed)
    {
        Scene& scene = CurrentScene();
        for (const Connection& c : std::vector<Connection>(node->in))
            if (c.dstAttr == a)
                scene.Disconnect(ZPlug(c.src, c.srcAttr, c.srcLogical), ZPlug(c.dst, c.dstAttr, c.dstLogical));
        for (const Connection& c : std::vector<Connection>(node->out))
            if (c.srcAttr == a)
                scene.Disconnect(ZPlug(c.src, c.srcAttr, c.srcLogical), ZPlug(c.dst, c.dstAttr, c.dstLogical));
        for (auto it = node->values.begin(); it != node->values.end();)
            it = static_cast<int>(it->first >> 32) == a ? node->values.erase(it) : std::next(it);
        AttrDef& d = node->dynamic[a - node->type->attrs.size()];
        d.name.clear();
        d.shortName.clear();
    }
    return ZStatus();
}

ZStatus ZFnDependencyNode::getConnections(ZPlugArray& plugs) const
{
    Node* node = nullptr;
    ZStatus st = NodeStatus(mObject, &node);
    if (!st)
        return st;
    plugs.clear();
    for (const Connection& c : node->in)
        plugs.append(ZPlug(node->id, c.dstAttr, c.dstLogical));
    for (const Connection& c : node->out)
        plugs.append(ZPlug(node->id, c.srcAttr, c.srcLogical));
    return ZStatus();
}

// ---- ZFnDagNode ----

ZFnDagNode::ZFnDagNode(const ZObject& object, ZStatus* status)
{
    ZSetStatus(status, setObject(object));
}

ZFnDagNode::ZFnDagNode(const ZDagPath& path, ZStatus* status)
{
    ZSetStatus(status, setObject(path));
}

ZStatus ZFnDagNode::setObject(const ZObject& object)
{
    return AttachNode(object, type());
}

ZStatus ZFnDagNode::AttachNode(const ZObject& object, ZFn::Type need)
{
    mHasPath = false;
    return mAttachStatus = Attach(object, need);
}

ZStatus ZFnDagNode::setObject(const ZDagPath& path)
{
    mHasPath = false;
    mObject = ZObject();
    if (!path.isValid() || path.length() == 0)
        return mAttachStatus = ZStatus(ZStatus::kInvalidParameter, "the DAG path is not valid");
    ZDagPath use = path;
    Node* end = CurrentScene().Get(use.ids().back());
    // A path to a transform reaches the shape a shape function set needs.
    if (!end->Is(type()) && end->Is(ZFn::kTransform))
        use.extendToShape();
    ZStatus st = Attach(use.node(), type());
    if (st)
    {
        mPath = use;
        mHasPath = true;
    }
    return mAttachStatus = st;
}

ZObject ZFnDagNode::create(const ZString& typeName, const ZObject& parent, ZStatus* status)
{
    return create(typeName, ZString(), parent, status);
}

ZObject ZFnDagNode::create(const ZString& typeName, const ZString& name, const ZObject& parent, ZStatus* status)
{
    Scene& scene = CurrentScene();
    const TypeInfo* type = FindType(typeName.str());
    if (!type || !type->dag || typeName == "world")
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "Unknown DAG node type: " + typeName.str()));
        return ZObject();
    }
    uint64_t parentId = 0;
    if (!ZSetStatus(status, ParentId(parent, parentId)))
        return ZObject();
    ZStatus st;
    Node* result = nullptr;
    if (type->shape && (parentId == 0 || parentId == scene.World()))
    {
        // A shape needs a transform: make one and hand it back.
        Node* t = scene.Create("transform", typeName.str() + "1", 0, &st);
        Node* s = t ? scene.Create(typeName.str(), name.str(), t->id, &st) : nullptr;
        if (!s && t)
            scene.Delete(t->id);
        result = s ? t : nullptr;
    }
    else
        result = scene.Create(typeName.str(), name.str(), parentId, &st);
    if (!ZSetStatus(status, st) || !result)
        return ZObject();
    setObject(ZObject(NodeRep(result->id)));
    return mObject;
}

namespace {

// The node at index of a parent or child list; null, with the message, past
// its end.
ZObject NodeAt(const std::vector<uint64_t>& ids, unsigned index, const char* outOfRange, ZStatus* status)
{
    if (index >= ids.size())
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, outOfRange));
        return ZObject();
    }
    return ZObject(NodeRep(ids[index]));
}

} // namespace

unsigned ZFnDagNode::parentCount(ZStatus* status) const
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &node)))
        return 0;
    return static_cast<unsigned>(node->parents.size());
}

ZObject ZFnDagNode::parent(unsigned index, ZStatus* status) const
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &node)))
        return ZObject();
    return NodeAt(node->parents, index, "parent index out of range", status);
}

unsigned ZFnDagNode::childCount(ZStatus* status) const
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &node)))
        return 0;
    return static_cast<unsigned>(node->children.size());
}

ZObject ZFnDagNode::child(unsigned index, ZStatus* status) const
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &node)))
        return ZObject();
    return NodeAt(node->children, index, "child index out of range", status);
}

ZStatus ZFnDagNode::addChild(ZObject& child, unsigned index, bool keepExistingParents)
{
    Node* node = nullptr;
    ZStatus st = NodeStatus(mObject, &node);
    if (!st)
        return st;
    Node* c = NodeOf(child);
    if (!c)
        return ZStatus(ZStatus::kInvalidParameter, "the child is not a node");
    st = CurrentScene().Reparent(c->id, node->id, keepExistingParents);
    if (st && index < node->children.size() - 1)
    {
        node->children.pop_back();
        node->children.insert(node->children.begin() + index, c->id);
    }
    return st;
}

ZStatus ZFnDagNode::removeChild(ZObject& child)
{
    Node* node = nullptr;
    ZStatus st = NodeStatus(mObject, &node);
    if (!st)
        return st;
    Node* c = NodeOf(child);
    if (!c || std::find(node->children.begin(), node->children.end(), c->id) == node->children.end())
        return ZStatus(ZStatus::kInvalidParameter, "the object is not a child of this node");
    if (c->parents.size() > 1)
    {
        node->children.erase(std::find(node->children.begin(), node->children.end(), c->id));
        c->parents.erase(std::find(c->parents.begin(), c->parents.end(), node->id));
        return ZStatus();
    }
    // The only parent: the child moves to the world.
    return CurrentScene().Reparent(c->id, 0, false);
}

ZStatus ZFnDagNode::getPath(ZDagPath& path) const
{
    Node* node = nullptr;
    ZStatus st = NodeStatus(mObject, &node);
    if (!st)
        return st;
    if (mHasPath && mPath.isValid())
    {
        path = mPath;
        return ZStatus();
    }
    return ZDagPath::getAPathTo(mObject, path);
}

ZDagPath ZFnDagNode::dagPath(ZStatus* status) const
{
    ZDagPath path;
    ZSetStatus(status, getPath(path));
    return path;
}

ZStatus ZFnDagNode::getAllPaths(ZDagPathArray& paths) const
{
    ZStatus st = Check();
    return st ? ZDagPath::getAllPathsTo(mObject, paths) : st;
}

ZString ZFnDagNode::fullPathName(ZStatus* status) const
{
    ZDagPath path;
    if (!ZSetStatus(status, getPath(path)))
        return ZString();
    return path.fullPathName(status);
}

ZString ZFnDagNode::partialPathName(ZStatus* status) const
{
    ZDagPath path;
    if (!ZSetStatus(status, getPath(path)))
        return ZString();
    return path.partialPathName(status);
}

bool ZFnDagNode::isInstanced(bool, ZStatus* status) const
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &node)))
        return false;
    // Instanced when some node on the way up has more than one parent.
    for (Node* n = node; n && !n->parents.empty(); n = CurrentScene().Get(n->parents.front()))
        if (n->parents.size() > 1)
            return true;
    return false;
}

bool ZFnDagNode::isIntermediateObject(ZStatus* status) const
{
    Node* node = nullptr;
    return ZSetStatus(status, NodeStatus(mObject, &node)) && node->intermediate;
}

ZStatus ZFnDagNode::setIntermediateObject(bool intermediate)
{
    Node* node = nullptr;
    ZStatus st = NodeStatus(mObject, &node);
    if (st)
        node->intermediate = intermediate;
    return st;
}

ZMatrix ZFnDagNode::transformationMatrix(ZStatus* status) const
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &node)))
        return ZMatrix();
    double m[4][4];
    LocalMatrix(node, m);
    return ZMatrix(m);
}

// ---- ZFnSet ----

ZFN_NODE_KIND(ZFnSet, ZFn::kSet)

namespace zelthost {

const SetMember::Elements& SetMember::Sorted() const
{
    Settle();
    return mSorted;
}

SetMember::Elements& SetMember::Sorted()
{
    Settle();
    return mSorted;
}

void SetMember::Add(const Elements& more)
{
    mAdded.insert(mAdded.end(), more.begin(), more.end());
}

void SetMember::Settle() const
{
    if (mAdded.empty())
        return;
    // Ranges and faces taken in order come sorted already.
    if (!std::is_sorted(mAdded.begin(), mAdded.end()))
        std::sort(mAdded.begin(), mAdded.end());
    // Elements added after the last ones (the usual case) are appended;
    // others are merged in, one pass over the list.
    const bool after = mSorted.empty() || mSorted.back() < mAdded.front();
    const auto middle = mSorted.insert(mSorted.end(), mAdded.begin(), mAdded.end());
    if (!after)
        std::inplace_merge(mSorted.begin(), middle, mSorted.end());
    mSorted.erase(std::unique(mSorted.begin(), mSorted.end()), mSorted.end());
    mAdded.clear();
    mAdded.shrink_to_fit();
}

void AddSetMember(Node* set, uint64_t node, const ZObject& component)
{
    std::string kind;
    const auto& rep = component.rep();
    if (rep)
        kind = rep->componentType == ZFn::kMeshVertComponent
                   ? "vtx"
                   : (rep->componentType == ZFn::kSurfaceCVComponent ? "cv" : "f");
    for (SetMember& m : set->members)
        if (m.node == node && m.component == kind)
        {
            if (rep)
                m.Add(rep->elements);
            return;
        }
    SetMember m;
    m.node = node;
    m.component = kind;
    if (rep)
        m.Add(rep->elements);
    set->members.push_back(std::move(m));
}

} // namespace zelthost

ZStatus ZFnSet::addMembers(const ZSelectionList& list)
{
    Node* set = nullptr;
    ZStatus st = NodeStatus(mObject, &set);
    if (!st)
        return st;
    for (const auto& item : list.items())
        if (item.path.empty() || !CurrentScene().Get(item.path.back()))
            return ZStatus(ZStatus::kInvalidParameter, "a selected object no longer exists");
    for (const auto& item : list.items())
        AddSetMember(set, item.path.back(), item.component);
    return ZStatus();
}

ZStatus ZFnSet::addMember(const ZDagPath& path, const ZObject& component)
{
    ZSelectionList list;
    ZStatus st = list.add(path, component);
    return st ? addMembers(list) : st;
}

ZStatus ZFnSet::addMember(const ZObject& node)
{
    ZSelectionList list;
    ZStatus st = list.add(node);
    return st ? addMembers(list) : st;
}

ZStatus ZFnSet::getMembers(ZSelectionList& members, bool) const
{
    Node* set = nullptr;
    ZStatus st = NodeStatus(mObject, &set);
    if (!st)
        return st;
    members.clear();
    for (const SetMember& m : set->members)
    {
        Node* n = CurrentScene().Get(m.node);
        if (!n)
            continue;
        if (m.component.empty())
        {
            members.add(ZObject(NodeRep(n->id)));
            continue;
        }
        auto rep = std::make_shared<ObjectRep>();
        rep->kind = ObjectRep::kComponent;
        rep->componentType = m.component == "vtx"
                                 ? ZFn::kMeshVertComponent
                                 : (m.component == "cv" ? ZFn::kSurfaceCVComponent : ZFn::kMeshPolygonComponent);
        rep->elements = m.Sorted();
        ZDagPath path;
        if (ZDagPath::getAPathTo(ZObject(NodeRep(n->id)), path))
            members.add(path, ZObject(rep));
    }
    return ZStatus();
}

bool ZFnSet::isMember(const ZDagPath& path, const ZObject& component, ZStatus* status) const
{
    Node* set = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &set)) || !path.isValid() || path.length() == 0)
        return false;
    ZDagPath full = path;
    if (component.rep())
        full.extendToShape();
    uint64_t id = full.ids().back();
    for (const SetMember& m : set->members)
        if (m.node == id)
        {
            if (!component.rep())
                return m.component.empty();
            const SetMember::Elements& elements = m.Sorted();
            for (const auto& e : component.rep()->elements)
                if (!std::binary_search(elements.begin(), elements.end(), e))
                    return false;
            return true;
        }
    return false;
}
