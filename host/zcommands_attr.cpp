// Attributes, connections, shading nodes and sets.
#include "host/zcommands_private.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace zelthost {
namespace cmd {

namespace {

// ---- Attributes ----

ZStatus CmdSetAttr(const ScriptCommand& cmd, Result&)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd, {{"type", "type", 1}, {"l", "lock", 1}, {"k", "keyable", 1}}, p);
    if (!st)
        return st;
    if (p.positional.empty())
        return ZStatus(ZStatus::kInvalidParameter, "expected an attribute (node.attribute) and its value");
    ZPlug plug;
    const AttrDef* def = nullptr;
    Node* node = nullptr;
    if (!(st = ResolvePlug(p.positional[0], plug, &def, &node)))
        return st;
    std::vector<std::string> values(p.positional.begin() + 1, p.positional.end());
    bool lock = false, unlockFirst = false;
    if (p.Has("lock"))
    {
        if (!ToBool(p.Value("lock"), lock))
            return ZStatus(ZStatus::kInvalidParameter, "-lock takes true or false");
        unlockFirst = !lock;
        if (unlockFirst)
            plug.setLocked(false);
    }
    if (!values.empty() || p.Has("type"))
    {
        std::string type = p.Has("type") ? p.Value("type") : std::string();
        if (type == "matrix")
        {
            if (def->kind != AttrDef::kMatrix)
                return ZStatus(ZStatus::kInvalidParameter, plug.name().str() + " is not a matrix attribute");
            if (values.size() != 16)
                return ZStatus(ZStatus::kInvalidParameter,
                               "a matrix needs 16 values, got " + std::to_string(values.size()));
            double m[4][4];
            for (int k = 0; k < 16; ++k)
                if (!(st = NumberArg(values[k], m[k / 4][k % 4])))
                    return st;
            ZFnMatrixData data;
            st = plug.setValue(data.create(ZMatrix(m)));
        }
        else if (type == "string")
        {
            if (values.size() != 1)
                return ZStatus(ZStatus::kInvalidParameter, "a string attribute takes one value");
            st = plug.setValue(ZString(values[0]));
        }
        else if (!type.empty() && type != "double3" && type != "float3" && type != "double" && type != "float")
            return ZStatus(ZStatus::kInvalidParameter, "unsupported type \"" + type + "\"");
        else if (def->kind == AttrDef::kString && type.empty())
        {
            if (values.size() != 1)
                return ZStatus(ZStatus::kInvalidParameter, "a string attribute takes one value");
            st = plug.setValue(ZString(values[0]));
        }
        else
        {
            // A number, or one number per child of a compound.
            std::vector<ZPlug> leaves;
            if (def->kind == AttrDef::kCompound)
                for (unsigned i = 0; i < plug.numChildren(); ++i)
                    leaves.push_back(plug.child(i));
            else
                leaves.push_back(plug);
            if (values.size() != leaves.size())
                return ZStatus(ZStatus::kInvalidParameter,
                               plug.name().str() + " takes " + std::to_string(leaves.size()) + " value(s)");
            for (size_t i = 0; i < leaves.size() && st; ++i)
            {
                double v;
                if (!(st = NumberArg(values[i], v)))
                    return st;
                const AttrDef* leaf = node->Attr(leaves[i].attributeIndex());
                st = leaves[i].setValue(leaf->unit == kAngle ? UiAngleToRadians(v) : v);
            }
        }
        if (!st)
            return st;
    }
    else if (!p.Has("lock") && !p.Has("keyable"))
        return ZStatus(ZStatus::kInvalidParameter, "expected a value for " + plug.name().str());
    if (p.Has("lock") && lock)
        plug.setLocked(true);
    return ZStatus();
}

void AppendValue(const ZPlug& plug, Result& result)
{
    Node* node = CurrentScene().Get(plug.nodeId());
    const AttrDef* def = node->Attr(plug.attributeIndex());
    if (def->kind == AttrDef::kCompound)
    {
        for (unsigned i = 0; i < plug.numChildren(); ++i)
            AppendValue(plug.child(i), result);
        return;
    }
    if (def->kind == AttrDef::kMatrix)
    {
        ZObject data;
        plug.getValue(data);
        for (double v : data.rep()->matrix)
            result.push_back(Format(v));
        return;
    }
    if (def->kind == AttrDef::kString)
    {
        result.push_back(plug.asString().str());
        return;
    }
    double v = plug.asDouble();
    result.push_back(Format(def->unit == kAngle ? RadiansToUiAngle(v) : v));
}

// getAttr's flags (-lock, -time value) and the attribute named.
ZStatus ParseGetAttr(const ScriptCommand& cmd, Parsed& p)
{
    return ParseFlags(cmd, {{"l", "lock", 0}, {"t", "time", 1}}, p);
}

ZStatus CmdGetAttr(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseGetAttr(cmd, p);
    if (!st || !(st = ExpectCount(p, 1, 1, "one attribute (node.attribute)")))
        return st;
    ZPlug plug;
    const AttrDef* def = nullptr;
    Node* node = nullptr;
    if (!(st = ResolvePlug(p.positional[0], plug, &def, &node)))
        return st;
    if (p.Has("lock"))
    {
        result.push_back(plug.isLocked() ? "1" : "0");
        return ZStatus();
    }
    if (def->kind == AttrDef::kMessage)
        return ZStatus(ZStatus::kInvalidParameter, plug.name().str() + " holds no value");
    if ((def->array && plug.logical() < 0) ||
        (def->parent >= 0 && node->Attr(def->parent)->array && plug.logical() < 0))
        return ZStatus(ZStatus::kInvalidParameter, plug.name().str() + " is an array: name an element");
    // An animated attribute reads its curve at the current (or given) time.
    ZStatus curveStatus;
    ZFnAnimCurve curve(plug, &curveStatus);
    if (curveStatus && def->kind == AttrDef::kNumeric && curve.numKeys() > 0)
    {
        double t = CurrentScene().currentTime;
        if (p.Has("time"))
        {
            double frame;
            if (!(st = NumberArg(p.Value("time"), frame)))
                return st;
            t = UiTimeToSeconds(frame);
        }
        double v = curve.evaluate(ZTime(t, ZTime::kSeconds));
        result.push_back(Format(def->unit == kAngle ? RadiansToUiAngle(v) : v));
        return ZStatus();
    }
    AppendValue(plug, result);
    return ZStatus();
}

ZStatus CmdConnectAttr(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd, {{"f", "force", 0}, {"na", "nextAvailable", 0}}, p);
    if (!st || !(st = ExpectCount(p, 2, 2, "a source and a destination attribute")))
        return st;
    ZPlug src, dst;
    if (!(st = ResolvePlug(p.positional[0], src)) || !(st = ResolvePlug(p.positional[1], dst)))
        return st;
    if (p.Has("nextAvailable") && dst.isArray())
    {
        unsigned next = 0;
        Node* node = CurrentScene().Get(dst.nodeId());
        auto it = node->elements.find(dst.attributeIndex());
        if (it != node->elements.end() && !it->second.empty())
            next = static_cast<unsigned>(*it->second.rbegin()) + 1;
        dst = dst.elementByLogicalIndex(next);
    }
    st = CurrentScene().Connect(src, dst, p.Has("force"));
    if (st)
        result.push_back("Connected " + src.name().str() + " to " + dst.name().str() + ".");
    return st;
}

ZStatus CmdDisconnectAttr(const ScriptCommand& cmd, Result&)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd, {}, p);
    if (!st || !(st = ExpectCount(p, 2, 2, "a source and a destination attribute")))
        return st;
    ZPlug src, dst;
    if (!(st = ResolvePlug(p.positional[0], src)) || !(st = ResolvePlug(p.positional[1], dst)))
        return st;
    return CurrentScene().Disconnect(src, dst);
}

// ---- Shading ----

ZStatus CmdShadingNode(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st =
        ParseFlags(cmd, {{"at", "asTexture", 0}, {"au", "asUtility", 0}, {"as", "asShader", 0}, {"n", "name", 1}}, p);
    if (!st || !(st = ExpectCount(p, 1, 1, "one node type")))
        return st;
    static const std::map<std::string, std::string> roles = {{"file", "asTexture"},
                                                             {"layeredTexture", "asTexture"},
                                                             {"place2dTexture", "asUtility"},
                                                             {"phong", "asShader"},
                                                             {"lambert", "asShader"}};
    const std::string& type = p.positional[0];
    auto it = roles.find(type);
    if (it == roles.end())
        return ZStatus(ZStatus::kInvalidParameter, "Unknown shading node type: " + type);
    if (!p.Has(it->second.c_str()))
        return ZStatus(ZStatus::kInvalidParameter,
                       type + " must be created with -" +
                           (it->second == "asTexture" ? "at" : (it->second == "asUtility" ? "au" : "as")));
    Node* node = CurrentScene().Create(type, p.Has("name") ? p.Value("name") : "", 0, &st);
    if (!node)
        return st;
    result.push_back(node->name);
    return ZStatus();
}

// Adds the members a script names (nodes or components) to a set; with
// force, shading groups give them up first.
ZStatus ToGeometry(ZSelectionList& list);

ZStatus AddMembers(Node* set, const std::vector<std::string>& names, bool force)
{
    ZSelectionList list;
    for (const std::string& name : names)
    {
        ZStatus st = list.add(ZString(name));
        if (!st)
            return st;
    }
    ToGeometry(list);
    // Each item's elements sorted once, for the lookups below.
    std::vector<SetMember::Elements> given(force ? list.items().size() : 0);
    for (size_t i = 0; i < given.size(); ++i)
        if (const auto& rep = list.items()[i].component.rep())
        {
            given[i] = rep->elements;
            // A range from a script text comes in order already.
            if (!std::is_sorted(given[i].begin(), given[i].end()))
                std::sort(given[i].begin(), given[i].end());
        }
    if (force)
        for (const auto& n : CurrentScene().Nodes())
        {
            Node* other = n.second.get();
            if (other == set || !other->Is(ZFn::kShadingEngine))
                continue;
            for (size_t i = 0; i < given.size(); ++i)
            {
                const auto& item = list.items()[i];
                uint64_t id = item.path.back();
                const auto& rep = item.component.rep();
                const SetMember::Elements& taken = given[i];
                for (auto m = other->members.begin(); m != other->members.end();)
                {
                    if (m->node == id && (!rep || m->component.empty()))
                    {
                        m = other->members.erase(m);
                        continue;
                    }
                    if (m->node == id && rep)
                    {
                        // The elements given up are looked up in the member's
                        // sorted ones; the member is rewritten only when it
                        // holds some, so that faces new to the scene cost no
                        // pass over the other groups' lists.
                        auto& el = m->Sorted();
                        const bool holds = std::any_of(taken.begin(), taken.end(), [&](const std::pair<int, int>& e) {
                            return std::binary_search(el.begin(), el.end(), e);
                        });
                        if (holds)
                            el.erase(std::remove_if(el.begin(), el.end(),
                                                    [&](const std::pair<int, int>& e) {
                                                        return std::binary_search(taken.begin(), taken.end(), e);
                                                    }),
                                     el.end());
                        if (el.empty())
                        {
                            m = other->members.erase(m);
                            continue;
                        }
                    }
                    ++m;
                }
            }
        }
    for (const auto& item : list.items())
        AddSetMember(set, item.path.back(), item.component);
    return ZStatus();
}

// Sets hold the geometry of a whole object, so that a later face assignment
// and a whole-object one name the same node.
ZStatus ToGeometry(ZSelectionList& list)
{
    for (auto& item : list.items())
        if (!item.component.rep())
            if (Node* shape = GeometryShape(ZObject(NodeRep(item.path.back()))); shape && item.dag)
            {
                ZDagPath path(item.path);
                if (path.extendToShape())
                    item.path = path.ids();
            }
    return ZStatus();
}

ZStatus CmdSets(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd,
                            {{"r", "renderable", 1},
                             {"nss", "noSurfaceShader", 1},
                             {"em", "empty", 0},
                             {"n", "name", 1},
                             {"e", "edit", 0},
                             {"fe", "forceElement", 1},
                             {"add", "addElement", 1},
                             {"rm", "remove", 1}},
                            p);
    if (!st)
        return st;
    if (p.Has("edit"))
    {
        std::vector<std::string> members = p.positional;
        std::string setName;
        const char* mode = p.Has("forceElement")
                               ? "forceElement"
                               : (p.Has("addElement") ? "addElement" : (p.Has("remove") ? "remove" : nullptr));
        if (mode)
            setName = p.Value(mode);
        else if (!members.empty())
        {
            setName = members.front();
            members.erase(members.begin());
        }
        Node* set = FindNode(setName);
        if (!set || !set->Is(ZFn::kSet))
            return ZStatus(ZStatus::kInvalidParameter, "No set named: " + setName);
        if (members.empty())
            return ZStatus(ZStatus::kInvalidParameter, "expected the members to edit");
        if (mode && std::strcmp(mode, "remove") == 0)
        {
            for (const std::string& name : members)
            {
                Node* n = FindNode(name.substr(0, name.find('.')));
                if (!n)
                    return NoObject(name);
                set->members.erase(std::remove_if(set->members.begin(), set->members.end(),
                                                  [&](const SetMember& m) { return m.node == n->id; }),
                                   set->members.end());
            }
            return ZStatus();
        }
        return AddMembers(set, members, mode && std::strcmp(mode, "forceElement") == 0);
    }
    bool renderable = false;
    if (p.Has("renderable") && !ToBool(p.Value("renderable"), renderable))
        return ZStatus(ZStatus::kInvalidParameter, "-renderable takes true or false");
    Node* set =
        CurrentScene().Create(renderable ? "shadingEngine" : "objectSet",
                              p.Has("name") ? p.Value("name") : (renderable ? "shadingEngine1" : "set1"), 0, &st);
    if (!set)
        return st;
    if (!p.Has("empty"))
    {
        std::vector<std::string> members = p.positional;
        if (members.empty())
        {
            ZStringArray selected;
            CurrentScene().selection.getSelectionStrings(selected);
            for (unsigned i = 0; i < selected.length(); ++i)
                members.push_back(selected[i].str());
        }
        if (!members.empty() && !(st = AddMembers(set, members, renderable)))
        {
            CurrentScene().Delete(set->id);
            return st;
        }
    }
    result.push_back(set->name);
    return ZStatus();
}

// getAttr, printing "NODE.ATTR = value" so that the value says what it is.
ZStatus CmdGetAttrPrint(const ScriptCommand& cmd, Result& result)
{
    ZStatus st = CmdGetAttr(cmd, result);
    if (st)
    {
        Parsed p;
        ParseGetAttr(cmd, p);
        std::string text = p.positional[0] + (p.Has("lock") ? " locked =" : " =");
        for (const std::string& value : result)
            text += " " + value;
        Host::Get().Record(TranscriptEntry::kInfo, text);
    }
    return st;
}

} // namespace

void AddAttributeCommands(CommandTable& table)
{
    table.insert({
        {"connectAttr", CmdConnectAttr},
        {"disconnectAttr", CmdDisconnectAttr},
        {"getAttr", CmdGetAttrPrint},
        {"setAttr", CmdSetAttr},
        {"sets", CmdSets},
        {"shadingNode", CmdShadingNode},
    });
}

} // namespace cmd
} // namespace zelthost
