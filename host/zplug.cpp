// Plugs, their values, locks and connections, and the DG modifier.
#include "host/zdag.h"
#include "host/zfn.h"
#include "host/zscene_private.h"

#include <climits>
#include <cmath>

using namespace zelthost;

ZDGContext ZDGContext::fsNormal;

namespace {

struct Resolved
{
    Node* node = nullptr;
    const AttrDef* def = nullptr;
};

ZStatus Resolve(const ZPlug& plug, Resolved& r)
{
    r.node = CurrentScene().Get(plug.nodeId());
    if (!r.node)
        return ZStatus(ZStatus::kInvalidParameter, "the plug is null or its node no longer exists");
    r.def = r.node->Attr(plug.attributeIndex());
    if (!r.def)
        return ZStatus(ZStatus::kInvalidParameter, "the plug's attribute no longer exists");
    return ZStatus();
}

bool NeedsIndex(const Resolved& r, int logical)
{
    if (logical >= 0)
        return false;
    return r.def->array || (r.def->parent >= 0 && r.node->Attr(r.def->parent)->array);
}

std::string AttrPath(const Node* node, int attr, int logical, bool longNames)
{
    const AttrDef* def = node->Attr(attr);
    std::string own = longNames ? def->name : def->shortName;
    if (def->array && logical >= 0)
        own += "[" + std::to_string(logical) + "]";
    // A child is named alone unless its parent is an array ("inputs[1].color").
    if (def->parent >= 0 && node->Attr(def->parent)->array)
        return AttrPath(node, def->parent, logical, longNames) + "." + own;
    return own;
}

void MarkElement(const Resolved& r, int attr, int logical)
{
    if (logical < 0)
        return;
    r.node->elements[r.def->array ? attr : r.def->parent].insert(logical);
}

ZStatus Writable(const ZPlug& plug, Resolved& r, AttrDef::Kind kind)
{
    ZStatus st = Resolve(plug, r);
    if (!st)
        return st;
    if (r.def->kind != kind)
        return ZStatus(ZStatus::kInvalidParameter, "the value does not fit the type of " + plug.name().str());
    if (NeedsIndex(r, plug.logical()))
        return ZStatus(ZStatus::kInvalidParameter, plug.name().str() + " is an array: an element index is needed");
    if (plug.isLocked())
        return ZStatus(ZStatus::kFailure, "The attribute '" + plug.name().str() + "' is locked");
    return ZStatus();
}

} // namespace

ZPlug::ZPlug(const ZObject& node, const ZObject& attribute)
{
    Node* n = NodeOf(node);
    const auto& rep = attribute.rep();
    if (!n || !rep || rep->kind != ObjectRep::kAttribute)
        return;
    int index = -1;
    if (rep->pack.empty())
    {
        if (rep->node == n->id)
            index = rep->attr;
        else if (Node* other = CurrentScene().Get(rep->node); other && other->Attr(rep->attr))
            index = n->FindAttr(other->Attr(rep->attr)->name);
    }
    else
        index = n->FindAttr(rep->pack.front().name);
    if (index < 0)
        return;
    mNode = n->id;
    mAttr = index;
}

bool ZPlug::isNull(ZStatus* status) const
{
    Resolved r;
    ZSetStatus(status, ZStatus());
    return !Resolve(*this, r);
}

ZString ZPlug::name(ZStatus* status) const
{
    Resolved r;
    if (!ZSetStatus(status, Resolve(*this, r)))
        return ZString();
    return ZString(r.node->name + "." + AttrPath(r.node, mAttr, mLogical, true));
}

ZString ZPlug::info(ZStatus* status) const
{
    Resolved r;
    if (!ZSetStatus(status, Resolve(*this, r)))
        return ZString();
    std::string owner = r.node->name;
    if (r.node->type->dag)
    {
        std::vector<uint64_t> first = CurrentScene().FirstPathTo(r.node->id);
        if (!first.empty())
            owner = ZDagPath(first).fullPathName().str();
    }
    return ZString(owner + "." + AttrPath(r.node, mAttr, mLogical, true));
}

ZString ZPlug::partialName(bool includeNodeName, bool, bool, bool, bool, bool useLongNames, ZStatus* status) const
{
    Resolved r;
    if (!ZSetStatus(status, Resolve(*this, r)))
        return ZString();
    std::string text = AttrPath(r.node, mAttr, mLogical, useLongNames);
    if (!includeNodeName)
    {
        // Without the full attribute path only the leaf is named.
        size_t dot = text.rfind('.');
        if (dot != std::string::npos)
            text = text.substr(dot + 1);
    }
    return ZString(includeNodeName ? r.node->name + "." + text : text);
}

ZObject ZPlug::node(ZStatus* status) const
{
    Resolved r;
    if (!ZSetStatus(status, Resolve(*this, r)))
        return ZObject();
    return ZObject(NodeRep(mNode));
}

ZObject ZPlug::attribute(ZStatus* status) const
{
    Resolved r;
    if (!ZSetStatus(status, Resolve(*this, r)))
        return ZObject();
    auto rep = std::make_shared<ObjectRep>();
    rep->kind = ObjectRep::kAttribute;
    rep->node = mNode;
    rep->attr = mAttr;
    return ZObject(rep);
}

bool ZPlug::isArray(ZStatus* status) const
{
    Resolved r;
    return ZSetStatus(status, Resolve(*this, r)) && r.def->array && mLogical < 0;
}

bool ZPlug::isElement(ZStatus* status) const
{
    Resolved r;
    return ZSetStatus(status, Resolve(*this, r)) && r.def->array && mLogical >= 0;
}

bool ZPlug::isCompound(ZStatus* status) const
{
    Resolved r;
    return ZSetStatus(status, Resolve(*this, r)) && r.def->kind == AttrDef::kCompound;
}

bool ZPlug::isChild(ZStatus* status) const
{
    Resolved r;
    return ZSetStatus(status, Resolve(*this, r)) && r.def->parent >= 0;
}

unsigned ZPlug::logicalIndex(ZStatus* status) const
{
    Resolved r;
    if (!ZSetStatus(status, Resolve(*this, r)))
        return 0;
    if (mLogical < 0)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "the plug is not an array element"));
        return 0;
    }
    return static_cast<unsigned>(mLogical);
}

unsigned ZPlug::numElements(ZStatus* status) const
{
    Resolved r;
    if (!ZSetStatus(status, Resolve(*this, r)))
        return 0;
    if (!r.def->array || mLogical >= 0)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, name().str() + " is not an array"));
        return 0;
    }
    auto it = r.node->elements.find(mAttr);
    return it == r.node->elements.end() ? 0 : static_cast<unsigned>(it->second.size());
}

ZPlug ZPlug::elementByLogicalIndex(unsigned index, ZStatus* status) const
{
    Resolved r;
    if (!ZSetStatus(status, Resolve(*this, r)))
        return ZPlug();
    if (!r.def->array || mLogical >= 0)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, name().str() + " is not an array"));
        return ZPlug();
    }
    if (index > static_cast<unsigned>(INT_MAX - 1))
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "element index out of range"));
        return ZPlug();
    }
    return ZPlug(mNode, mAttr, static_cast<int>(index));
}

ZPlug ZPlug::elementByPhysicalIndex(unsigned index, ZStatus* status) const
{
    unsigned n = numElements(status);
    if (index >= n)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "element index out of range"));
        return ZPlug();
    }
    const auto& set = CurrentScene().Get(mNode)->elements.at(mAttr);
    auto it = set.begin();
    std::advance(it, index);
    return ZPlug(mNode, mAttr, *it);
}

unsigned ZPlug::numChildren(ZStatus* status) const
{
    Resolved r;
    if (!ZSetStatus(status, Resolve(*this, r)))
        return 0;
    return static_cast<unsigned>(r.def->children.size());
}

ZPlug ZPlug::child(unsigned index, ZStatus* status) const
{
    Resolved r;
    if (!ZSetStatus(status, Resolve(*this, r)))
        return ZPlug();
    if (index >= r.def->children.size())
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "child index out of range"));
        return ZPlug();
    }
    if (r.def->array && mLogical < 0)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "take an element of the array first"));
        return ZPlug();
    }
    return ZPlug(mNode, r.def->children[index], mLogical);
}

ZPlug ZPlug::child(const ZObject& attribute, ZStatus* status) const
{
    Resolved r;
    if (!ZSetStatus(status, Resolve(*this, r)))
        return ZPlug();
    ZFnAttribute fn(attribute);
    std::string wanted = fn.name().str();
    for (unsigned i = 0; i < r.def->children.size(); ++i)
        if (r.node->Attr(r.def->children[i])->name == wanted)
            return child(i, status);
    ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "no child attribute " + wanted));
    return ZPlug();
}

ZPlug ZPlug::parent(ZStatus* status) const
{
    Resolved r;
    if (!ZSetStatus(status, Resolve(*this, r)))
        return ZPlug();
    if (r.def->parent < 0)
    {
        ZSetStatus(status, ZStatus(ZStatus::kNotFound, name().str() + " has no parent"));
        return ZPlug();
    }
    return ZPlug(mNode, r.def->parent, mLogical);
}

ZPlug ZPlug::array(ZStatus* status) const
{
    Resolved r;
    if (!ZSetStatus(status, Resolve(*this, r)))
        return ZPlug();
    if (!r.def->array || mLogical < 0)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "the plug is not an element"));
        return ZPlug();
    }
    return ZPlug(mNode, mAttr, -1);
}

bool ZPlug::isLocked(ZStatus* status) const
{
    Resolved r;
    if (!ZSetStatus(status, Resolve(*this, r)))
        return false;
    // A lock on a compound covers its children.
    for (int a = mAttr; a >= 0; a = r.node->Attr(a)->parent)
        if (r.node->locked.count(ValueKey(a, mLogical)))
            return true;
    return false;
}

ZStatus ZPlug::setLocked(bool locked)
{
    Resolved r;
    ZStatus st = Resolve(*this, r);
    if (!st)
        return st;
    if (locked)
        r.node->locked.insert(ValueKey(mAttr, mLogical));
    else
        for (int a = mAttr; a >= 0; a = r.node->Attr(a)->parent)
            r.node->locked.erase(ValueKey(a, mLogical));
    return ZStatus();
}

bool ZPlug::isKeyable(ZStatus* status) const
{
    Resolved r;
    return ZSetStatus(status, Resolve(*this, r)) && r.def->keyable;
}

bool ZPlug::connectedTo(ZPlugArray& plugs, bool asDst, bool asSrc, ZStatus* status) const
{
    plugs.clear();
    Resolved r;
    if (!ZSetStatus(status, Resolve(*this, r)))
        return false;
    if (asDst)
        for (const Connection& c : r.node->in)
            if (c.dstAttr == mAttr && c.dstLogical == mLogical)
                plugs.append(ZPlug(c.src, c.srcAttr, c.srcLogical));
    if (asSrc)
        for (const Connection& c : r.node->out)
            if (c.srcAttr == mAttr && c.srcLogical == mLogical)
                plugs.append(ZPlug(c.dst, c.dstAttr, c.dstLogical));
    return plugs.length() > 0;
}

bool ZPlug::isConnected(ZStatus* status) const
{
    ZPlugArray plugs;
    return connectedTo(plugs, true, true, status);
}

bool ZPlug::isSource(ZStatus* status) const
{
    ZPlugArray plugs;
    return connectedTo(plugs, false, true, status);
}

bool ZPlug::isDestination(ZStatus* status) const
{
    ZPlugArray plugs;
    return connectedTo(plugs, true, false, status);
}

ZStatus ZPlug::getValue(double& value, ZDGContext&) const
{
    Resolved r;
    ZStatus st = Resolve(*this, r);
    if (!st)
        return st;
    if (r.def->kind != AttrDef::kNumeric)
        return ZStatus(ZStatus::kInvalidParameter, name().str() + " does not hold a number");
    if (NeedsIndex(r, mLogical))
        return ZStatus(ZStatus::kInvalidParameter, name().str() + " is an array: an element index is needed");
    value = GetNum(r.node, mAttr, mLogical);
    return ZStatus();
}

template <typename T>
static ZStatus GetAs(const ZPlug& plug, T& value)
{
    double v = 0;
    ZStatus st = plug.getValue(v);
    if (st)
        value = static_cast<T>(v);
    return st;
}

ZStatus ZPlug::getValue(float& value, ZDGContext&) const
{
    return GetAs(*this, value);
}

ZStatus ZPlug::getValue(int& value, ZDGContext&) const
{
    double v = 0;
    ZStatus st = getValue(v);
    if (st)
        value = std::isfinite(v) && std::fabs(v) < 2147483647.0 ? static_cast<int>(v) : 0;
    return st;
}

ZStatus ZPlug::getValue(short& value, ZDGContext&) const
{
    int v = 0;
    ZStatus st = getValue(v);
    if (st)
        value = static_cast<short>(v);
    return st;
}

ZStatus ZPlug::getValue(char& value, ZDGContext&) const
{
    int v = 0;
    ZStatus st = getValue(v);
    if (st)
        value = static_cast<char>(v);
    return st;
}

ZStatus ZPlug::getValue(bool& value, ZDGContext&) const
{
    double v = 0;
    ZStatus st = getValue(v);
    if (st)
        value = v != 0;
    return st;
}

ZStatus ZPlug::getValue(ZString& value, ZDGContext&) const
{
    Resolved r;
    ZStatus st = Resolve(*this, r);
    if (!st)
        return st;
    if (r.def->kind != AttrDef::kString)
        return ZStatus(ZStatus::kInvalidParameter, name().str() + " does not hold a string");
    auto it = r.node->values.find(ValueKey(mAttr, mLogical));
    value = ZString(it == r.node->values.end() ? std::string() : it->second.str);
    return ZStatus();
}

ZStatus ZPlug::getValue(ZObject& data, ZDGContext&) const
{
    Resolved r;
    ZStatus st = Resolve(*this, r);
    if (!st)
        return st;
    if (r.def->kind != AttrDef::kMatrix)
        return ZStatus(ZStatus::kInvalidParameter, name().str() + " does not hold a matrix");
    if (NeedsIndex(r, mLogical))
        return ZStatus(ZStatus::kInvalidParameter, name().str() + " is an array: an element index is needed");
    auto rep = std::make_shared<ObjectRep>();
    rep->kind = ObjectRep::kData;
    auto it = r.node->values.find(ValueKey(mAttr, mLogical));
    if (it != r.node->values.end() && it->second.matrix.size() == 16)
        rep->matrix = it->second.matrix;
    else
    {
        const ZMatrix& id = ZMatrix::identity;
        rep->matrix.assign(&id.matrix[0][0], &id.matrix[0][0] + 16);
    }
    data = ZObject(rep);
    return ZStatus();
}

double ZPlug::asDouble(ZStatus* status) const
{
    double v = 0;
    ZSetStatus(status, getValue(v));
    return v;
}

int ZPlug::asInt(ZStatus* status) const
{
    int v = 0;
    ZSetStatus(status, getValue(v));
    return v;
}

bool ZPlug::asBool(ZStatus* status) const
{
    bool v = false;
    ZSetStatus(status, getValue(v));
    return v;
}

ZString ZPlug::asString(ZStatus* status) const
{
    ZString v;
    ZSetStatus(status, getValue(v));
    return v;
}

ZStatus ZPlug::setValue(double value)
{
    Resolved r;
    ZStatus st = Writable(*this, r, AttrDef::kNumeric);
    if (!st)
        return st;
    switch (r.def->numericType)
    {
    case kNumBoolean: value = value != 0 ? 1.0 : 0.0; break;
    case kNumByte:
    case kNumChar:
    case kNumShort:
    case kNumInt:
        if (!std::isfinite(value))
            return ZStatus(ZStatus::kInvalidParameter, "an integer attribute cannot hold " + std::to_string(value));
        value = std::trunc(value);
        break;
    case kNumFloat: value = static_cast<float>(value); break;
    default: break;
    }
    SetNum(r.node, mAttr, value, mLogical);
    MarkElement(r, mAttr, mLogical);
    return ZStatus();
}

ZStatus ZPlug::setValue(const ZString& value)
{
    Resolved r;
    ZStatus st = Writable(*this, r, AttrDef::kString);
    if (!st)
        return st;
    r.node->values[ValueKey(mAttr, mLogical)].str = value.str();
    MarkElement(r, mAttr, mLogical);
    return ZStatus();
}

ZStatus ZPlug::setValue(const ZObject& data)
{
    Resolved r;
    ZStatus st = Writable(*this, r, AttrDef::kMatrix);
    if (!st)
        return st;
    const auto& rep = data.rep();
    if (!rep || rep->kind != ObjectRep::kData || rep->matrix.size() != 16)
        return ZStatus(ZStatus::kInvalidParameter, "the object is not matrix data");
    r.node->values[ValueKey(mAttr, mLogical)].matrix = rep->matrix;
    MarkElement(r, mAttr, mLogical);
    return ZStatus();
}

// ---- ZDGModifier ----

ZStatus ZDGModifier::connect(const ZPlug& source, const ZPlug& destination)
{
    if (source.isNull() || destination.isNull())
        return ZStatus(ZStatus::kInvalidParameter, "cannot connect a null plug");
    mSteps.push_back({0, source, destination, ZObject()});
    return ZStatus();
}

ZStatus ZDGModifier::connect(const ZObject& sourceNode, const ZObject& sourceAttr, const ZObject& destNode,
                             const ZObject& destAttr)
{
    return connect(ZPlug(sourceNode, sourceAttr), ZPlug(destNode, destAttr));
}

ZStatus ZDGModifier::disconnect(const ZPlug& source, const ZPlug& destination)
{
    if (source.isNull() || destination.isNull())
        return ZStatus(ZStatus::kInvalidParameter, "cannot disconnect a null plug");
    mSteps.push_back({1, source, destination, ZObject()});
    return ZStatus();
}

ZStatus ZDGModifier::deleteNode(const ZObject& node)
{
    if (!NodeOf(node))
        return ZStatus(ZStatus::kInvalidParameter, "the object is not a node");
    mSteps.push_back({2, ZPlug(), ZPlug(), node});
    return ZStatus();
}

ZStatus ZDGModifier::doIt()
{
    std::vector<Step> steps;
    steps.swap(mSteps);
    for (const Step& s : steps)
    {
        ZStatus st;
        if (s.kind == 0)
            st = CurrentScene().Connect(s.src, s.dst, false);
        else if (s.kind == 1)
            st = CurrentScene().Disconnect(s.src, s.dst);
        else if (Node* n = NodeOf(s.node))
            CurrentScene().Delete(n->id);
        if (!st)
            return st;
    }
    return ZStatus();
}
