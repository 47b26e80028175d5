// Node, DAG, transform, attribute, data, component and set function sets.
#include "host/zfn.h"
#include "host/zscene_private.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

using namespace zelthost;

namespace {

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

} // namespace

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

ZFnDependencyNode::ZFnDependencyNode(const ZObject& object, ZStatus* status)
{
    ZSetStatus(status, setObject(object));
}

ZStatus ZFnDependencyNode::setObject(const ZObject& object)
{
    return mAttachStatus = Attach(object, ZFn::kDependencyNode);
}

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
    mHasPath = false;
    return mAttachStatus = Attach(object, type());
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
    if (!parent.isNull())
    {
        Node* p = NodeOf(parent);
        if (!p)
        {
            ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "the parent is not a node"));
            return ZObject();
        }
        parentId = p->id;
    }
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
    if (index >= node->parents.size())
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "parent index out of range"));
        return ZObject();
    }
    return ZObject(NodeRep(node->parents[index]));
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
    if (index >= node->children.size())
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "child index out of range"));
        return ZObject();
    }
    return ZObject(NodeRep(node->children[index]));
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

// ---- Rotations ----

namespace {

// Column-vector rotation about one axis.
ZMatrix AxisRotation(int axis, double angle)
{
    ZMatrix m;
    double c = std::cos(angle), s = std::sin(angle);
    int a = (axis + 1) % 3, b = (axis + 2) % 3;
    m.matrix[a][a] = c;
    m.matrix[a][b] = -s;
    m.matrix[b][a] = s;
    m.matrix[b][b] = c;
    return m;
}

ZMatrix Transposed(const ZMatrix& m)
{
    ZMatrix t;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            t.matrix[r][c] = m.matrix[c][r];
    return t;
}

// Axes of each order (first turns first) and whether it is an odd permutation.
const int kOrderAxes[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 2, 1}, {1, 0, 2}, {2, 1, 0}};
const bool kOrderOdd[6] = {false, false, false, true, true, true};

} // namespace

ZMatrix ZEulerRotation::asMatrix() const
{
    const double angles[3] = {x, y, z};
    int o = static_cast<int>(order);
    if (o < 0 || o > 5)
        o = 0;
    const int* ax = kOrderAxes[o];
    // Column vectors: R = Rk * Rj * Ri; row vectors use its transpose.
    ZMatrix col =
        AxisRotation(ax[2], angles[ax[2]]) * AxisRotation(ax[1], angles[ax[1]]) * AxisRotation(ax[0], angles[ax[0]]);
    ZMatrix rowForm = Transposed(col);
    for (int k = 0; k < 3; ++k)
        rowForm.matrix[3][k] = rowForm.matrix[k][3] = 0;
    rowForm.matrix[3][3] = 1;
    return rowForm;
}

ZEulerRotation ZEulerRotation::decompose(const ZMatrix& matrix, RotationOrder order)
{
    int o = static_cast<int>(order);
    if (o < 0 || o > 5)
        o = 0;
    // Static-frame Euler extraction on the column-vector form, with the scale
    // of each row taken out first.
    double M[3][3];
    for (int r = 0; r < 3; ++r)
    {
        double len = std::sqrt(matrix.matrix[r][0] * matrix.matrix[r][0] + matrix.matrix[r][1] * matrix.matrix[r][1] +
                               matrix.matrix[r][2] * matrix.matrix[r][2]);
        for (int c = 0; c < 3; ++c)
            M[c][r] = len > 0 ? matrix.matrix[r][c] / len : 0;
    }
    int i = kOrderAxes[o][0], j = kOrderAxes[o][1], k = kOrderAxes[o][2];
    bool odd = kOrderOdd[o];
    double a, b, c;
    double cy = std::sqrt(M[i][i] * M[i][i] + M[j][i] * M[j][i]);
    double sgn = odd ? -1.0 : 1.0;
    if (cy > 16 * FLT_EPSILON)
    {
        a = std::atan2(sgn * M[k][j], M[k][k]);
        b = std::atan2(-sgn * M[k][i], cy);
        c = std::atan2(sgn * M[j][i], M[i][i]);
    }
    else
    {
        a = std::atan2(-sgn * M[j][k], M[j][j]);
        b = std::atan2(-sgn * M[k][i], cy);
        c = 0;
    }
    double angles[3];
    angles[i] = a;
    angles[j] = b;
    angles[k] = c;
    return ZEulerRotation(angles[0], angles[1], angles[2], static_cast<RotationOrder>(o));
}

ZEulerRotation ZEulerRotation::reorder(RotationOrder newOrder) const
{
    return decompose(asMatrix(), newOrder);
}

bool ZEulerRotation::isEquivalent(const ZEulerRotation& other, double tolerance) const
{
    return asMatrix().isEquivalent(other.asMatrix(), tolerance);
}

namespace {

void QuatToRowMatrix(double x, double y, double z, double w, ZMatrix& m)
{
    double n = x * x + y * y + z * z + w * w;
    double s = n > 0 ? 2.0 / n : 0.0;
    // Column-vector form, written transposed.
    double col[3][3] = {{1 - s * (y * y + z * z), s * (x * y - z * w), s * (x * z + y * w)},
                        {s * (x * y + z * w), 1 - s * (x * x + z * z), s * (y * z - x * w)},
                        {s * (x * z - y * w), s * (y * z + x * w), 1 - s * (x * x + y * y)}};
    m = ZMatrix();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            m.matrix[r][c] = col[c][r];
}

void RowMatrixToQuat(const ZMatrix& m, double& x, double& y, double& z, double& w)
{
    double M[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            M[r][c] = m.matrix[c][r];
    double trace = M[0][0] + M[1][1] + M[2][2];
    if (trace > 0)
    {
        double s = std::sqrt(trace + 1.0) * 2;
        w = 0.25 * s;
        x = (M[2][1] - M[1][2]) / s;
        y = (M[0][2] - M[2][0]) / s;
        z = (M[1][0] - M[0][1]) / s;
    }
    else if (M[0][0] > M[1][1] && M[0][0] > M[2][2])
    {
        double s = std::sqrt(1.0 + M[0][0] - M[1][1] - M[2][2]) * 2;
        w = (M[2][1] - M[1][2]) / s;
        x = 0.25 * s;
        y = (M[0][1] + M[1][0]) / s;
        z = (M[0][2] + M[2][0]) / s;
    }
    else if (M[1][1] > M[2][2])
    {
        double s = std::sqrt(1.0 + M[1][1] - M[0][0] - M[2][2]) * 2;
        w = (M[0][2] - M[2][0]) / s;
        x = (M[0][1] + M[1][0]) / s;
        y = 0.25 * s;
        z = (M[1][2] + M[2][1]) / s;
    }
    else
    {
        double s = std::sqrt(1.0 + M[2][2] - M[0][0] - M[1][1]) * 2;
        w = (M[1][0] - M[0][1]) / s;
        x = (M[0][2] + M[2][0]) / s;
        y = (M[1][2] + M[2][1]) / s;
        z = 0.25 * s;
    }
}

ZMatrix Translate(const double t[3], double sign = 1.0)
{
    ZMatrix m;
    for (int k = 0; k < 3; ++k)
        m.matrix[3][k] = sign * t[k];
    return m;
}

} // namespace

// ---- ZTransformationMatrix ----

ZEulerRotation::RotationOrder ZTransformationMatrix::ToEuler(RotationOrder order)
{
    if (order < kXYZ || order > kZYX)
        return ZEulerRotation::kXYZ;
    return static_cast<ZEulerRotation::RotationOrder>(order - 1);
}

ZTransformationMatrix::RotationOrder ZTransformationMatrix::FromEuler(ZEulerRotation::RotationOrder order)
{
    return static_cast<RotationOrder>(static_cast<int>(order) + 1);
}

ZMatrix ZTransformationMatrix::asMatrix() const
{
    ZMatrix scale;
    for (int k = 0; k < 3; ++k)
        scale.matrix[k][k] = s[k];
    ZMatrix axis = ZEulerRotation(ra[0], ra[1], ra[2]).asMatrix();
    return Translate(sp, -1) * scale * Translate(sp) * Translate(spt) * Translate(rp, -1) * axis * r.asMatrix() *
           Translate(rp) * Translate(rpt) * Translate(t);
}

ZVector ZTransformationMatrix::translation(ZSpace::Space, ZStatus* status) const
{
    ZSetStatus(status, ZStatus());
    return ZVector(t[0], t[1], t[2]);
}

ZStatus ZTransformationMatrix::setTranslation(const ZVector& v, ZSpace::Space)
{
    if (!Finite({v.x, v.y, v.z}))
        return NotFinite();
    t[0] = v.x;
    t[1] = v.y;
    t[2] = v.z;
    return ZStatus();
}

ZStatus ZTransformationMatrix::getRotation(double angles[3], RotationOrder& order, ZSpace::Space) const
{
    angles[0] = r.x;
    angles[1] = r.y;
    angles[2] = r.z;
    order = FromEuler(r.order);
    return ZStatus();
}

ZStatus ZTransformationMatrix::setRotation(const double angles[3], RotationOrder order, ZSpace::Space)
{
    if (order < kXYZ || order > kZYX)
        return ZStatus(ZStatus::kInvalidParameter, "invalid rotation order");
    if (!Finite({angles[0], angles[1], angles[2]}))
        return NotFinite();
    r = ZEulerRotation(angles[0], angles[1], angles[2], ToEuler(order));
    return ZStatus();
}

ZEulerRotation ZTransformationMatrix::eulerRotation(ZStatus* status) const
{
    ZSetStatus(status, ZStatus());
    return r;
}

ZStatus ZTransformationMatrix::getRotationQuaternion(double& x, double& y, double& z, double& w) const
{
    RowMatrixToQuat(r.asMatrix(), x, y, z, w);
    return ZStatus();
}

ZStatus ZTransformationMatrix::setRotationQuaternion(double x, double y, double z, double w)
{
    if (!Finite({x, y, z, w}))
        return NotFinite();
    ZMatrix m;
    QuatToRowMatrix(x, y, z, w, m);
    r = ZEulerRotation::decompose(m, r.order);
    return ZStatus();
}

ZTransformationMatrix::RotationOrder ZTransformationMatrix::rotationOrder(ZStatus* status) const
{
    ZSetStatus(status, ZStatus());
    return FromEuler(r.order);
}

ZStatus ZTransformationMatrix::reorderRotation(RotationOrder order)
{
    if (order < kXYZ || order > kZYX)
        return ZStatus(ZStatus::kInvalidParameter, "invalid rotation order");
    r = r.reorder(ToEuler(order));
    return ZStatus();
}

ZStatus ZTransformationMatrix::getScale(double scale[3], ZSpace::Space) const
{
    for (int k = 0; k < 3; ++k)
        scale[k] = s[k];
    return ZStatus();
}

ZStatus ZTransformationMatrix::setScale(const double scale[3], ZSpace::Space)
{
    if (!Finite({scale[0], scale[1], scale[2]}))
        return NotFinite();
    for (int k = 0; k < 3; ++k)
        s[k] = scale[k];
    return ZStatus();
}

// ---- ZFnTransform ----

ZFnTransform::ZFnTransform(const ZObject& object, ZStatus* status)
{
    ZSetStatus(status, setObject(object));
}

ZFnTransform::ZFnTransform(const ZDagPath& path, ZStatus* status)
{
    // A path to a shape reaches its transform.
    ZDagPath use = path;
    if (path.isValid() && path.length() > 0 && !CurrentScene().Get(path.ids().back())->Is(ZFn::kTransform))
        use.pop(1);
    ZSetStatus(status, setObject(use));
}

ZStatus ZFnTransform::setObject(const ZObject& object)
{
    mHasPath = false;
    return mAttachStatus = Attach(object, ZFn::kTransform);
}

ZObject ZFnTransform::create(const ZObject& parent, ZStatus* status)
{
    return ZFnDagNode::create("transform", parent, status);
}

ZTransformationMatrix ZFnTransform::transformation(ZStatus* status) const
{
    ZTransformationMatrix tm;
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &node)))
        return tm;
    ZVector v = GetVec(node, "translate");
    v.get(tm.t);
    v = GetVec(node, "rotate");
    int order = static_cast<int>(GetNum(node, "rotateOrder"));
    tm.r =
        ZEulerRotation(v.x, v.y, v.z, static_cast<ZEulerRotation::RotationOrder>(order >= 0 && order <= 5 ? order : 0));
    GetVec(node, "scale").get(tm.s);
    GetVec(node, "rotatePivot").get(tm.rp);
    GetVec(node, "rotatePivotTranslate").get(tm.rpt);
    GetVec(node, "scalePivot").get(tm.sp);
    GetVec(node, "scalePivotTranslate").get(tm.spt);
    GetVec(node, "rotateAxis").get(tm.ra);
    return tm;
}

ZStatus ZFnTransform::set(const ZTransformationMatrix& tm)
{
    Node* node = nullptr;
    ZStatus st = NodeStatus(mObject, &node);
    if (!st)
        return st;
    SetVec(node, "translate", ZVector(tm.t[0], tm.t[1], tm.t[2]));
    SetVec(node, "rotate", ZVector(tm.r.x, tm.r.y, tm.r.z));
    SetNum(node, "rotateOrder", static_cast<int>(tm.r.order));
    SetVec(node, "scale", ZVector(tm.s[0], tm.s[1], tm.s[2]));
    SetVec(node, "rotatePivot", ZVector(tm.rp[0], tm.rp[1], tm.rp[2]));
    SetVec(node, "rotatePivotTranslate", ZVector(tm.rpt[0], tm.rpt[1], tm.rpt[2]));
    SetVec(node, "scalePivot", ZVector(tm.sp[0], tm.sp[1], tm.sp[2]));
    SetVec(node, "scalePivotTranslate", ZVector(tm.spt[0], tm.spt[1], tm.spt[2]));
    SetVec(node, "rotateAxis", ZVector(tm.ra[0], tm.ra[1], tm.ra[2]));
    return ZStatus();
}

namespace {

// Reads or writes a three-part attribute of the attached transform,
// refusing locked plugs and non-finite numbers.
ZStatus SetTriple(const ZObject& object, const char* name, const ZVector& v)
{
    Node* node = nullptr;
    ZStatus st = NodeStatus(object, &node);
    if (!st)
        return st;
    if (!Finite({v.x, v.y, v.z}))
        return NotFinite();
    int attr = node->FindAttr(name);
    for (int a : {attr, node->Attr(attr)->children[0], node->Attr(attr)->children[1], node->Attr(attr)->children[2]})
        if (ZPlug(node->id, a, -1).isLocked())
            return ZStatus(ZStatus::kFailure, "The attribute '" + node->name + "." + name + "' is locked");
    SetVec(node, name, v);
    return ZStatus();
}

ZVector GetTriple(const ZObject& object, const char* name, ZStatus* status)
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(object, &node)))
        return ZVector();
    return GetVec(node, name);
}

} // namespace

ZVector ZFnTransform::getTranslation(ZSpace::Space, ZStatus* status) const
{
    return GetTriple(mObject, "translate", status);
}

ZStatus ZFnTransform::setTranslation(const ZVector& t, ZSpace::Space)
{
    return SetTriple(mObject, "translate", t);
}

ZStatus ZFnTransform::getRotation(ZEulerRotation& rotation) const
{
    ZStatus st;
    rotation = transformation(&st).r;
    return st;
}

ZStatus ZFnTransform::getRotation(double angles[3], ZTransformationMatrix::RotationOrder& order) const
{
    ZStatus st;
    ZTransformationMatrix tm = transformation(&st);
    if (st)
        tm.getRotation(angles, order);
    return st;
}

ZStatus ZFnTransform::setRotation(const ZEulerRotation& rotation)
{
    if (rotation.order < ZEulerRotation::kXYZ || rotation.order > ZEulerRotation::kZYX)
        return ZStatus(ZStatus::kInvalidParameter, "invalid rotation order");
    ZStatus st = SetTriple(mObject, "rotate", ZVector(rotation.x, rotation.y, rotation.z));
    if (st)
        SetNum(NodeOf(mObject), "rotateOrder", static_cast<int>(rotation.order));
    return st;
}

ZStatus ZFnTransform::setRotation(const double angles[3], ZTransformationMatrix::RotationOrder order)
{
    if (order < ZTransformationMatrix::kXYZ || order > ZTransformationMatrix::kZYX)
        return ZStatus(ZStatus::kInvalidParameter, "invalid rotation order");
    return setRotation(ZEulerRotation(angles[0], angles[1], angles[2], ZTransformationMatrix::ToEuler(order)));
}

ZStatus ZFnTransform::getRotationQuaternion(double& x, double& y, double& z, double& w, ZSpace::Space) const
{
    ZStatus st;
    ZTransformationMatrix tm = transformation(&st);
    return st ? tm.getRotationQuaternion(x, y, z, w) : st;
}

ZStatus ZFnTransform::setRotationQuaternion(double x, double y, double z, double w, ZSpace::Space)
{
    ZStatus st;
    ZTransformationMatrix tm = transformation(&st);
    if (!st)
        return st;
    st = tm.setRotationQuaternion(x, y, z, w);
    return st ? setRotation(tm.r) : st;
}

ZStatus ZFnTransform::getScale(double scale[3]) const
{
    ZStatus st;
    GetTriple(mObject, "scale", &st).get(scale);
    return st;
}

ZStatus ZFnTransform::setScale(const double scale[3])
{
    return SetTriple(mObject, "scale", ZVector(scale[0], scale[1], scale[2]));
}

ZPoint ZFnTransform::rotatePivot(ZSpace::Space, ZStatus* status) const
{
    ZVector v = GetTriple(mObject, "rotatePivot", status);
    return ZPoint(v.x, v.y, v.z);
}

ZStatus ZFnTransform::setRotatePivot(const ZPoint& p, ZSpace::Space, bool)
{
    return SetTriple(mObject, "rotatePivot", ZVector(p));
}

ZVector ZFnTransform::rotatePivotTranslation(ZSpace::Space, ZStatus* status) const
{
    return GetTriple(mObject, "rotatePivotTranslate", status);
}

ZStatus ZFnTransform::setRotatePivotTranslation(const ZVector& v, ZSpace::Space)
{
    return SetTriple(mObject, "rotatePivotTranslate", v);
}

ZPoint ZFnTransform::scalePivot(ZSpace::Space, ZStatus* status) const
{
    ZVector v = GetTriple(mObject, "scalePivot", status);
    return ZPoint(v.x, v.y, v.z);
}

ZStatus ZFnTransform::setScalePivot(const ZPoint& p, ZSpace::Space, bool)
{
    return SetTriple(mObject, "scalePivot", ZVector(p));
}

ZVector ZFnTransform::scalePivotTranslation(ZSpace::Space, ZStatus* status) const
{
    return GetTriple(mObject, "scalePivotTranslate", status);
}

ZStatus ZFnTransform::setScalePivotTranslation(const ZVector& v, ZSpace::Space)
{
    return SetTriple(mObject, "scalePivotTranslate", v);
}

ZTransformationMatrix::RotationOrder ZFnTransform::rotationOrder(ZStatus* status) const
{
    ZStatus st;
    ZTransformationMatrix tm = transformation(&st);
    ZSetStatus(status, st);
    return st ? tm.rotationOrder() : ZTransformationMatrix::kInvalid;
}

ZStatus ZFnTransform::setRotationOrder(ZTransformationMatrix::RotationOrder order, bool reorder)
{
    if (order < ZTransformationMatrix::kXYZ || order > ZTransformationMatrix::kZYX)
        return ZStatus(ZStatus::kInvalidParameter, "invalid rotation order");
    ZStatus st;
    ZTransformationMatrix tm = transformation(&st);
    if (!st)
        return st;
    ZEulerRotation r = reorder ? tm.r.reorder(ZTransformationMatrix::ToEuler(order))
                               : ZEulerRotation(tm.r.x, tm.r.y, tm.r.z, ZTransformationMatrix::ToEuler(order));
    return setRotation(r);
}

// ---- ZFnIkJoint ----

ZFnIkJoint::ZFnIkJoint(const ZObject& object, ZStatus* status)
{
    ZSetStatus(status, setObject(object));
}

ZFnIkJoint::ZFnIkJoint(const ZDagPath& path, ZStatus* status)
{
    ZSetStatus(status, ZFnDagNode::setObject(path));
}

ZStatus ZFnIkJoint::setObject(const ZObject& object)
{
    mHasPath = false;
    return mAttachStatus = Attach(object, ZFn::kJoint);
}

ZObject ZFnIkJoint::create(const ZObject& parent, ZStatus* status)
{
    ZObject made = ZFnDagNode::create("joint", parent, status);
    setObject(made);
    return made;
}

ZStatus ZFnIkJoint::getOrientation(double angles[3], ZTransformationMatrix::RotationOrder& order) const
{
    ZStatus st;
    GetTriple(mObject, "jointOrient", &st).get(angles);
    order = ZTransformationMatrix::kXYZ;
    return st;
}

ZStatus ZFnIkJoint::setOrientation(const double angles[3], ZTransformationMatrix::RotationOrder order)
{
    if (order != ZTransformationMatrix::kXYZ)
    {
        ZEulerRotation r = ZEulerRotation(angles[0], angles[1], angles[2], ZTransformationMatrix::ToEuler(order))
                               .reorder(ZEulerRotation::kXYZ);
        return SetTriple(mObject, "jointOrient", ZVector(r.x, r.y, r.z));
    }
    return SetTriple(mObject, "jointOrient", ZVector(angles[0], angles[1], angles[2]));
}

// ---- Attributes ----

namespace {

// The definition an attribute object stands for; null when it is gone.
AttrDef* DefOf(const ZObject& object)
{
    const auto& rep = object.rep();
    if (!rep || rep->kind != ObjectRep::kAttribute)
        return nullptr;
    if (!rep->pack.empty())
        return &rep->pack.front();
    Node* node = CurrentScene().Get(rep->node);
    return node ? const_cast<AttrDef*>(node->Attr(rep->attr)) : nullptr;
}

// Flags of static attributes are shared by every node of a type: only new
// and dynamic attributes change.
ZStatus EditableDef(const ZObject& object, AttrDef** def)
{
    *def = DefOf(object);
    if (!*def)
        return NotAttached();
    if (!object.rep()->pack.empty() || (*def)->dynamic)
        return ZStatus();
    return ZStatus(ZStatus::kInvalidParameter, "the flags of a static attribute cannot change");
}

bool ValidAttrName(const std::string& name)
{
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0])))
        return false;
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_'))
            return false;
    return true;
}

} // namespace

ZFnAttribute::ZFnAttribute(const ZObject& attribute, ZStatus* status)
{
    ZSetStatus(status, setObject(attribute));
}

ZStatus ZFnAttribute::setObject(const ZObject& object)
{
    return Attach(object, ZFn::kAttribute);
}

ZString ZFnAttribute::name(ZStatus* status) const
{
    AttrDef* def = DefOf(mObject);
    ZSetStatus(status, def ? ZStatus() : NotAttached());
    return def ? ZString(def->name) : ZString();
}

ZString ZFnAttribute::shortName(ZStatus* status) const
{
    AttrDef* def = DefOf(mObject);
    ZSetStatus(status, def ? ZStatus() : NotAttached());
    return def ? ZString(def->shortName) : ZString();
}

#define ZFN_ATTR_FLAG(Setter, Getter, field)                                                                           \
    ZStatus ZFnAttribute::Setter(bool value)                                                                           \
    {                                                                                                                  \
        AttrDef* def = nullptr;                                                                                        \
        ZStatus st = EditableDef(mObject, &def);                                                                       \
        if (st)                                                                                                        \
            def->field = value;                                                                                        \
        return st;                                                                                                     \
    }                                                                                                                  \
    bool ZFnAttribute::Getter(ZStatus* status) const                                                                   \
    {                                                                                                                  \
        AttrDef* def = DefOf(mObject);                                                                                 \
        ZSetStatus(status, def ? ZStatus() : NotAttached());                                                           \
        return def && def->field;                                                                                      \
    }

ZFN_ATTR_FLAG(setHidden, isHidden, hidden)
ZFN_ATTR_FLAG(setKeyable, isKeyable, keyable)
ZFN_ATTR_FLAG(setStorable, isStorable, storable)
ZFN_ATTR_FLAG(setConnectable, isConnectable, connectable)
#undef ZFN_ATTR_FLAG

ZStatus ZFnAttribute::setInternal(bool internal)
{
    AttrDef* def = nullptr;
    ZStatus st = EditableDef(mObject, &def);
    if (st)
        def->internal = internal;
    return st;
}

bool ZFnAttribute::isArray(ZStatus* status) const
{
    AttrDef* def = DefOf(mObject);
    ZSetStatus(status, def ? ZStatus() : NotAttached());
    return def && def->array;
}

ZFnNumericAttribute::ZFnNumericAttribute(const ZObject& attribute, ZStatus* status)
{
    ZSetStatus(status, setObject(attribute));
}

ZStatus ZFnNumericAttribute::setObject(const ZObject& object)
{
    mObject = ZObject();
    AttrDef* def = DefOf(object);
    if (!def)
        return ZStatus(ZStatus::kInvalidParameter, "the object is not an attribute");
    bool numeric = def->kind == AttrDef::kNumeric ||
                   (def->kind == AttrDef::kCompound && def->numericType != kNumInvalid && !def->children.empty());
    if (!numeric)
        return ZStatus(ZStatus::kInvalidParameter, "the attribute '" + def->name + "' is not numeric");
    mObject = object;
    return ZStatus();
}

ZObject ZFnNumericAttribute::create(const ZString& longName, const ZString& shortName, ZFnNumericData::Type type,
                                    double defaultValue, ZStatus* status)
{
    if (!ValidAttrName(longName.str()) || !ValidAttrName(shortName.str()))
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "Invalid attribute name: " + longName.str()));
        return ZObject();
    }
    static const struct
    {
        int parts, leaf;
    } shapes[] = {{0, 0}, {1, 1}, {1, 2},  {1, 3},  {1, 4},  {2, 4},  {3, 4},  {1, 7},
                  {2, 7}, {3, 7}, {1, 10}, {2, 10}, {3, 10}, {1, 13}, {2, 13}, {3, 13}};
    if (type <= ZFnNumericData::kInvalid || type >= ZFnNumericData::kLast)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "invalid numeric type"));
        return ZObject();
    }
    auto rep = std::make_shared<ObjectRep>();
    rep->kind = ObjectRep::kAttribute;
    AttrDef root;
    root.name = longName.str();
    root.shortName = shortName.str();
    root.numericType = type;
    root.defaultValue = defaultValue;
    int parts = shapes[type].parts;
    if (parts == 1)
        root.kind = AttrDef::kNumeric;
    else
    {
        root.kind = AttrDef::kCompound;
        static const char* suffix = "XYZ";
        for (int k = 0; k < parts; ++k)
        {
            AttrDef child;
            child.name = root.name + suffix[k];
            child.shortName = root.shortName + suffix[k];
            child.numericType = shapes[type].leaf;
            child.defaultValue = defaultValue;
            child.parent = 0;
            root.children.push_back(k + 1);
            rep->pack.push_back(child);
        }
    }
    rep->pack.insert(rep->pack.begin(), root);
    mObject = ZObject(rep);
    ZSetStatus(status, ZStatus());
    return mObject;
}

ZObject ZFnNumericAttribute::createColor(const ZString& longName, const ZString& shortName, ZStatus* status)
{
    ZObject made = create(longName, shortName, ZFnNumericData::k3Float, 0.0, status);
    if (made.isNull())
        return made;
    auto& pack = made.rep()->pack;
    static const char* suffix = "RGB";
    for (int k = 0; k < 3; ++k)
    {
        pack[k + 1].name = pack[0].name + suffix[k];
        pack[k + 1].shortName = pack[0].shortName + suffix[k];
    }
    return made;
}

ZFnNumericData::Type ZFnNumericAttribute::unitType(ZStatus* status) const
{
    AttrDef* def = DefOf(mObject);
    ZSetStatus(status, def ? ZStatus() : NotAttached());
    return def ? static_cast<ZFnNumericData::Type>(def->numericType) : ZFnNumericData::kInvalid;
}

ZStatus ZFnNumericAttribute::setSoftMin(double value)
{
    AttrDef* def = nullptr;
    ZStatus st = EditableDef(mObject, &def);
    if (st && !std::isfinite(value))
        st = NotFinite();
    if (st)
    {
        def->hasSoftMin = true;
        def->softMin = value;
    }
    return st;
}

ZStatus ZFnNumericAttribute::setSoftMax(double value)
{
    AttrDef* def = nullptr;
    ZStatus st = EditableDef(mObject, &def);
    if (st && !std::isfinite(value))
        st = NotFinite();
    if (st)
    {
        def->hasSoftMax = true;
        def->softMax = value;
    }
    return st;
}

ZStatus ZFnNumericAttribute::setDefault(double value)
{
    AttrDef* def = nullptr;
    ZStatus st = EditableDef(mObject, &def);
    if (st)
        def->defaultValue = value;
    return st;
}

bool ZFnNumericAttribute::hasSoftMin(ZStatus* status) const
{
    AttrDef* def = DefOf(mObject);
    ZSetStatus(status, def ? ZStatus() : NotAttached());
    return def && def->hasSoftMin;
}

bool ZFnNumericAttribute::hasSoftMax(ZStatus* status) const
{
    AttrDef* def = DefOf(mObject);
    ZSetStatus(status, def ? ZStatus() : NotAttached());
    return def && def->hasSoftMax;
}

ZStatus ZFnNumericAttribute::getSoftMin(double& value) const
{
    AttrDef* def = DefOf(mObject);
    if (!def || !def->hasSoftMin)
        return ZStatus(ZStatus::kNotFound, "no soft minimum");
    value = def->softMin;
    return ZStatus();
}

ZStatus ZFnNumericAttribute::getSoftMax(double& value) const
{
    AttrDef* def = DefOf(mObject);
    if (!def || !def->hasSoftMax)
        return ZStatus(ZStatus::kNotFound, "no soft maximum");
    value = def->softMax;
    return ZStatus();
}

// ---- ZFnMatrixData ----

ZFnMatrixData::ZFnMatrixData(const ZObject& data, ZStatus* status)
{
    ZSetStatus(status, setObject(data));
}

ZStatus ZFnMatrixData::setObject(const ZObject& object)
{
    return Attach(object, ZFn::kMatrixData);
}

ZObject ZFnMatrixData::create(const ZMatrix& matrix, ZStatus* status)
{
    auto rep = std::make_shared<ObjectRep>();
    rep->kind = ObjectRep::kData;
    rep->matrix.assign(&matrix.matrix[0][0], &matrix.matrix[0][0] + 16);
    mObject = ZObject(rep);
    ZSetStatus(status, ZStatus());
    return mObject;
}

ZMatrix ZFnMatrixData::matrix(ZStatus* status) const
{
    if (!ZSetStatus(status, Check()))
        return ZMatrix();
    double m[4][4];
    std::copy(mObject.rep()->matrix.begin(), mObject.rep()->matrix.end(), &m[0][0]);
    return ZMatrix(m);
}

ZStatus ZFnMatrixData::set(const ZMatrix& matrix)
{
    ZStatus st = Check();
    if (st)
        mObject.rep()->matrix.assign(&matrix.matrix[0][0], &matrix.matrix[0][0] + 16);
    return st;
}

// ---- Components ----

ZFnComponent::ZFnComponent(const ZObject& component, ZStatus* status)
{
    ZSetStatus(status, setObject(component));
}

ZStatus ZFnComponent::setObject(const ZObject& object)
{
    return Attach(object, ZFn::kComponent);
}

int ZFnComponent::elementCount(ZStatus* status) const
{
    if (!ZSetStatus(status, Check()))
        return 0;
    return static_cast<int>(mObject.rep()->elements.size());
}

bool ZFnComponent::isComplete(ZStatus* status) const
{
    return ZSetStatus(status, Check()) && mObject.rep()->complete;
}

ZFn::Type ZFnComponent::componentType(ZStatus* status) const
{
    if (!ZSetStatus(status, Check()))
        return ZFn::kInvalid;
    return mObject.rep()->componentType;
}

ZFnSingleIndexedComponent::ZFnSingleIndexedComponent(const ZObject& component, ZStatus* status)
{
    ZSetStatus(status, setObject(component));
}

ZStatus ZFnSingleIndexedComponent::setObject(const ZObject& object)
{
    return Attach(object, ZFn::kSingleIndexedComponent);
}

ZObject ZFnSingleIndexedComponent::create(ZFn::Type componentType, ZStatus* status)
{
    if (componentType != ZFn::kMeshVertComponent && componentType != ZFn::kMeshPolygonComponent)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "not a single-indexed component type"));
        return ZObject();
    }
    auto rep = std::make_shared<ObjectRep>();
    rep->kind = ObjectRep::kComponent;
    rep->componentType = componentType;
    mObject = ZObject(rep);
    ZSetStatus(status, ZStatus());
    return mObject;
}

ZStatus ZFnSingleIndexedComponent::addElement(int index)
{
    ZStatus st = Check();
    if (st && index < 0)
        st = ZStatus(ZStatus::kInvalidParameter, "negative component index " + std::to_string(index));
    if (st)
        mObject.rep()->elements.push_back({index, 0});
    return st;
}

ZStatus ZFnSingleIndexedComponent::addElements(const ZIntArray& indices)
{
    ZStatus st = Check();
    for (unsigned i = 0; st && i < indices.length(); ++i)
        if (indices[i] < 0)
            st = ZStatus(ZStatus::kInvalidParameter, "negative component index " + std::to_string(indices[i]));
    for (unsigned i = 0; st && i < indices.length(); ++i)
        mObject.rep()->elements.push_back({indices[i], 0});
    return st;
}

int ZFnSingleIndexedComponent::element(unsigned position, ZStatus* status) const
{
    if (!ZSetStatus(status, Check()))
        return -1;
    if (position >= mObject.rep()->elements.size())
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "component position out of range"));
        return -1;
    }
    return mObject.rep()->elements[position].first;
}

ZStatus ZFnSingleIndexedComponent::getElements(ZIntArray& indices) const
{
    ZStatus st = Check();
    indices.clear();
    if (st)
        for (const auto& e : mObject.rep()->elements)
            indices.append(e.first);
    return st;
}

ZStatus ZFnSingleIndexedComponent::setCompleteData(int count)
{
    ZStatus st = Check();
    if (st && (count < 0 || count > 100000000))
        st = ZStatus(ZStatus::kInvalidParameter, "invalid element count " + std::to_string(count));
    if (!st)
        return st;
    auto& rep = *mObject.rep();
    rep.elements.clear();
    for (int i = 0; i < count; ++i)
        rep.elements.push_back({i, 0});
    rep.complete = true;
    rep.completeU = count;
    return st;
}

ZFnDoubleIndexedComponent::ZFnDoubleIndexedComponent(const ZObject& component, ZStatus* status)
{
    ZSetStatus(status, setObject(component));
}

ZStatus ZFnDoubleIndexedComponent::setObject(const ZObject& object)
{
    return Attach(object, ZFn::kDoubleIndexedComponent);
}

ZObject ZFnDoubleIndexedComponent::create(ZFn::Type componentType, ZStatus* status)
{
    if (componentType != ZFn::kSurfaceCVComponent)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "not a double-indexed component type"));
        return ZObject();
    }
    auto rep = std::make_shared<ObjectRep>();
    rep->kind = ObjectRep::kComponent;
    rep->componentType = componentType;
    mObject = ZObject(rep);
    ZSetStatus(status, ZStatus());
    return mObject;
}

ZStatus ZFnDoubleIndexedComponent::addElement(int u, int v)
{
    ZStatus st = Check();
    if (st && (u < 0 || v < 0))
        st = ZStatus(ZStatus::kInvalidParameter, "negative component index");
    if (st)
        mObject.rep()->elements.push_back({u, v});
    return st;
}

ZStatus ZFnDoubleIndexedComponent::addElements(const ZIntArray& u, const ZIntArray& v)
{
    if (u.length() != v.length())
        return ZStatus(ZStatus::kInvalidParameter, "the u and v index lists differ in length");
    ZStatus st;
    for (unsigned i = 0; st && i < u.length(); ++i)
        st = addElement(u[i], v[i]);
    return st;
}

ZStatus ZFnDoubleIndexedComponent::getElement(unsigned position, int& u, int& v) const
{
    ZStatus st = Check();
    if (st && position >= mObject.rep()->elements.size())
        st = ZStatus(ZStatus::kInvalidParameter, "component position out of range");
    if (st)
    {
        u = mObject.rep()->elements[position].first;
        v = mObject.rep()->elements[position].second;
    }
    return st;
}

ZStatus ZFnDoubleIndexedComponent::setCompleteData(int countU, int countV)
{
    ZStatus st = Check();
    if (st && (countU < 0 || countV < 0 || static_cast<long long>(countU) * countV > 100000000))
        st = ZStatus(ZStatus::kInvalidParameter, "invalid element counts");
    if (!st)
        return st;
    auto& rep = *mObject.rep();
    rep.elements.clear();
    for (int u = 0; u < countU; ++u)
        for (int v = 0; v < countV; ++v)
            rep.elements.push_back({u, v});
    rep.complete = true;
    rep.completeU = countU;
    rep.completeV = countV;
    return st;
}

// ---- ZFnSet ----

ZFnSet::ZFnSet(const ZObject& set, ZStatus* status)
{
    ZSetStatus(status, setObject(set));
}

ZStatus ZFnSet::setObject(const ZObject& object)
{
    return mAttachStatus = Attach(object, ZFn::kSet);
}

namespace zelthost {

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
            {
                m.elements.insert(m.elements.end(), rep->elements.begin(), rep->elements.end());
                std::sort(m.elements.begin(), m.elements.end());
                m.elements.erase(std::unique(m.elements.begin(), m.elements.end()), m.elements.end());
            }
            return;
        }
    SetMember m;
    m.node = node;
    m.component = kind;
    if (rep)
    {
        m.elements = rep->elements;
        std::sort(m.elements.begin(), m.elements.end());
        m.elements.erase(std::unique(m.elements.begin(), m.elements.end()), m.elements.end());
    }
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
        rep->elements = m.elements;
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
            for (const auto& e : component.rep()->elements)
                if (!std::binary_search(m.elements.begin(), m.elements.end(), e))
                    return false;
            return true;
        }
    return false;
}
