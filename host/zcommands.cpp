// The built-in script commands.
#include "host/zanim.h"
#include "host/zfn.h"
#include "host/zgeometry.h"
#include "host/zglobal.h"
#include "host/zhost.h"
#include "host/zinterp_private.h"
#include "host/zscene_private.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>

namespace zelthost {

namespace {

// ---- Argument helpers ----

struct FlagSpec
{
    const char* shortName;
    const char* longName;
    int values;
};

struct Parsed
{
    std::map<std::string, std::vector<std::vector<std::string>>> flags; // by long name
    std::vector<std::string> positional;
    bool Has(const char* name) const { return flags.count(name) > 0; }
    const std::string& Value(const char* name, size_t i = 0) const { return flags.at(name).back().at(i); }
};

bool IsFlagWord(const std::string& word, bool quoted)
{
    return !quoted && word.size() > 1 && word[0] == '-' && std::isalpha(static_cast<unsigned char>(word[1]));
}

ZStatus ParseFlags(const ScriptCommand& cmd, std::initializer_list<FlagSpec> specs, Parsed& out)
{
    for (size_t i = 0; i < cmd.args.size(); ++i)
    {
        const std::string& word = cmd.args[i];
        if (!IsFlagWord(word, cmd.quoted[i]))
        {
            out.positional.push_back(word);
            continue;
        }
        const FlagSpec* found = nullptr;
        for (const FlagSpec& s : specs)
            if (word == std::string("-") + s.shortName || word == std::string("-") + s.longName)
                found = &s;
        if (!found)
            return ZStatus(ZStatus::kInvalidParameter, "Invalid flag '" + word + "'");
        if (i + found->values >= cmd.args.size() && found->values > 0)
            return ZStatus(ZStatus::kInvalidParameter,
                           "Flag '" + word + "' needs " + std::to_string(found->values) + " value(s)");
        std::vector<std::string> values(cmd.args.begin() + i + 1, cmd.args.begin() + i + 1 + found->values);
        out.flags[found->longName].push_back(values);
        i += found->values;
    }
    return ZStatus();
}

bool ToNumber(const std::string& text, double& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end && *end == '\0';
}

bool ToBool(const std::string& text, bool& out)
{
    if (text == "true" || text == "on" || text == "yes" || text == "1")
        out = true;
    else if (text == "false" || text == "off" || text == "no" || text == "0")
        out = false;
    else
        return false;
    return true;
}

ZStatus NumberArg(const std::string& text, double& out)
{
    bool b;
    if (ToNumber(text, out))
        return std::isfinite(out) ? ZStatus()
                                  : ZStatus(ZStatus::kInvalidParameter, "'" + text + "' is not a finite number");
    if (ToBool(text, b))
    {
        out = b ? 1 : 0;
        return ZStatus();
    }
    return ZStatus(ZStatus::kInvalidParameter, "'" + text + "' is not a number");
}

ZStatus IntArg(const std::string& text, int& out)
{
    double d;
    if (!ToNumber(text, d) || d != std::floor(d) || std::fabs(d) > 2147483647.0)
        return ZStatus(ZStatus::kInvalidParameter, "'" + text + "' is not an integer");
    out = static_cast<int>(d);
    return ZStatus();
}

// Fifteen significant digits: unit conversions read back as typed (30, not
// 29.999999999999996).
std::string Format(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

double UiAngleToRadians(double v)
{
    return ZAngle(v, ZAngle::uiUnit()).asRadians();
}

double RadiansToUiAngle(double v)
{
    return ZAngle(v, ZAngle::kRadians).as(ZAngle::uiUnit());
}

double UiTimeToSeconds(double v)
{
    return ZTime(v, ZTime::uiUnit()).asSeconds();
}

Node* FindNode(const std::string& text, std::vector<uint64_t>* path = nullptr)
{
    std::vector<uint64_t> ids;
    bool dag = false;
    if (!CurrentScene().Resolve(text, ids, dag))
        return nullptr;
    if (path)
        *path = ids;
    return CurrentScene().Get(ids.back());
}

ZStatus NoObject(const std::string& text)
{
    return ZStatus(ZStatus::kInvalidParameter, "No object matches name: " + text);
}

// "node.attr" (the node part may be a DAG path).
ZStatus ResolvePlug(const std::string& text, ZPlug& plug)
{
    size_t bar = text.rfind('|');
    size_t dot = text.find('.', bar == std::string::npos ? 0 : bar);
    if (dot == std::string::npos || dot == 0 || dot + 1 >= text.size())
        return ZStatus(ZStatus::kInvalidParameter, "'" + text + "' does not name an attribute (node.attribute)");
    Node* node = FindNode(text.substr(0, dot));
    if (!node)
        return NoObject(text.substr(0, dot));
    ZStatus st;
    plug = ParsePlug(node, text.substr(dot + 1), &st);
    return st;
}

ZStatus ExpectCount(const Parsed& p, size_t low, size_t high, const char* what)
{
    if (p.positional.size() < low || p.positional.size() > high)
        return ZStatus(ZStatus::kInvalidParameter, std::string("expected ") + what);
    return ZStatus();
}

std::string PathName(const std::vector<uint64_t>& ids)
{
    return ZDagPath(ids).partialPathName().str();
}

// ---- Scene files and namespaces ----

ZStatus CmdFile(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd,
                            {{"f", "force", 0},
                             {"new", "newFile", 0},
                             {"i", "import", 0},
                             {"o", "open", 0},
                             {"ea", "exportAll", 0},
                             {"es", "exportSelected", 0},
                             {"typ", "type", 1},
                             {"op", "options", 1}},
                            p);
    if (!st)
        return st;
    if (p.Has("newFile"))
    {
        if (!p.positional.empty())
            return ZStatus(ZStatus::kInvalidParameter, "-new takes no file name");
        Host::Get().NewScene();
        return ZStatus();
    }
    bool reading = p.Has("import") || p.Has("open");
    bool writing = p.Has("exportAll") || p.Has("exportSelected");
    if (reading == writing || p.positional.size() != 1)
        return ZStatus(ZStatus::kInvalidParameter, "expected one of -new, -import, -open, -exportAll, -exportSelected "
                                                   "and one file name");
    const std::string& path = p.positional.front();
    std::string type = p.Has("type") ? p.Value("type") : FindTranslatorFor(path, writing);
    if (type.empty())
        return ZStatus(ZStatus::kNotFound, "No file translator for " + path);
    std::string options = p.Has("options") ? p.Value("options") : std::string();
    ZPxFileTranslator::FileAccessMode mode =
        p.Has("import") ? ZPxFileTranslator::kImportAccessMode
                        : (p.Has("open") ? ZPxFileTranslator::kOpenAccessMode
                                         : (p.Has("exportAll") ? ZPxFileTranslator::kExportAccessMode
                                                               : ZPxFileTranslator::kExportActiveAccessMode));
    st = RunTranslator(type, path, options, mode);
    if (st)
        result.push_back(path);
    return st;
}

ZStatus CmdNamespace(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(
        cmd,
        {{"set", "setNamespace", 1}, {"add", "addNamespace", 1}, {"rm", "removeNamespace", 1}, {"ex", "exists", 1}}, p);
    if (!st)
        return st;
    Scene& scene = CurrentScene();
    auto absolute = [&](const std::string& name) {
        if (!name.empty() && name[0] == ':')
            return name.substr(1);
        return scene.currentNamespace.empty() ? name : scene.currentNamespace + ":" + name;
    };
    auto valid = [](const std::string& name) {
        if (name.empty() || name.back() == ':')
            return false;
        for (char c : name)
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':'))
                return false;
        return true;
    };
    if (p.Has("exists"))
    {
        std::string name = p.Value("exists");
        result.push_back(name == ":" || scene.namespaces.count(absolute(name)) ? "1" : "0");
        return ZStatus();
    }
    if (p.Has("addNamespace"))
    {
        std::string full = absolute(p.Value("addNamespace"));
        if (!valid(full))
            return ZStatus(ZStatus::kInvalidParameter, "Invalid namespace name: " + p.Value("addNamespace"));
        if (scene.namespaces.count(full))
            return ZStatus(ZStatus::kInvalidParameter, "Namespace already exists: " + full);
        // Parents of a nested namespace are made too.
        for (size_t colon = full.find(':'); colon != std::string::npos; colon = full.find(':', colon + 1))
            scene.namespaces.insert(full.substr(0, colon));
        scene.namespaces.insert(full);
        result.push_back(full);
        return ZStatus();
    }
    if (p.Has("removeNamespace"))
    {
        std::string full = absolute(p.Value("removeNamespace"));
        if (!scene.namespaces.count(full))
            return ZStatus(ZStatus::kInvalidParameter, "Namespace does not exist: " + full);
        for (const auto& n : scene.Nodes())
            if (n.second->name.compare(0, full.size() + 1, full + ":") == 0)
                return ZStatus(ZStatus::kFailure, "Namespace " + full + " is not empty");
        for (const auto& ns : scene.namespaces)
            if (ns.compare(0, full.size() + 1, full + ":") == 0)
                return ZStatus(ZStatus::kFailure, "Namespace " + full + " is not empty");
        scene.namespaces.erase(full);
        if (scene.currentNamespace == full)
            scene.currentNamespace.clear();
        return ZStatus();
    }
    if (p.Has("setNamespace"))
    {
        std::string name = p.Value("setNamespace");
        if (name == ":")
        {
            scene.currentNamespace.clear();
            return ZStatus();
        }
        std::string full = absolute(name);
        if (!scene.namespaces.count(full))
        {
            std::string rooted = name[0] == ':' ? name.substr(1) : name;
            if (!scene.namespaces.count(rooted))
                return ZStatus(ZStatus::kInvalidParameter, "Namespace does not exist: " + name);
            full = rooted;
        }
        scene.currentNamespace = full;
        return ZStatus();
    }
    return ZStatus(ZStatus::kInvalidParameter, "expected -set, -add, -rm or -exists");
}

ZStatus CmdNamespaceInfo(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd, {{"lon", "listOnlyNamespaces", 0}, {"cur", "currentNamespace", 0}}, p);
    if (!st)
        return st;
    Scene& scene = CurrentScene();
    if (p.Has("currentNamespace"))
    {
        result.push_back(scene.currentNamespace.empty() ? ":" : scene.currentNamespace);
        return ZStatus();
    }
    if (p.Has("listOnlyNamespaces"))
    {
        // The namespaces directly inside the current one, by their full names.
        const std::string& cur = scene.currentNamespace;
        for (const std::string& ns : scene.namespaces)
        {
            std::string rest;
            if (cur.empty())
                rest = ns;
            else if (ns.compare(0, cur.size() + 1, cur + ":") == 0)
                rest = ns.substr(cur.size() + 1);
            else
                continue;
            if (rest.find(':') == std::string::npos)
                result.push_back(ns);
        }
        return ZStatus();
    }
    return ZStatus(ZStatus::kInvalidParameter, "expected -lon or -currentNamespace");
}

// ---- Nodes ----

ZStatus CmdCreateNode(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd, {{"n", "name", 1}, {"p", "parent", 1}, {"ss", "skipSelect", 0}}, p);
    if (!st || !(st = ExpectCount(p, 1, 1, "one node type")))
        return st;
    uint64_t parent = 0;
    if (p.Has("parent"))
    {
        Node* parentNode = FindNode(p.Value("parent"));
        if (!parentNode)
            return NoObject(p.Value("parent"));
        parent = parentNode->id;
    }
    Node* node = CurrentScene().Create(p.positional[0], p.Has("name") ? p.Value("name") : "", parent, &st);
    if (!node)
        return st;
    if (node->type->name == "mesh")
    {
        node->mesh = std::make_unique<MeshData>();
        node->mesh->uvSets.push_back(MeshData::UVSet{"map1", {}, {}, {}, false});
    }
    if (node->type->name.compare(0, 9, "animCurve") == 0)
    {
        node->curve = std::make_unique<CurveData>();
        static const char* kinds[] = {"animCurveTA", "animCurveTL", "animCurveTT", "animCurveTU"};
        for (int k = 0; k < 4; ++k)
            if (node->type->name == kinds[k])
                node->curve->type = k;
        if (node->type->name == "animCurveUU")
            node->curve->type = 7;
    }
    if (!p.Has("skipSelect"))
    {
        CurrentScene().selection.clear();
        CurrentScene().selection.add(ZObject(NodeRep(node->id)));
    }
    result.push_back(node->name);
    return ZStatus();
}

// exists NAME: 1 when NAME is a command (built in or from a plug-in), else 0.
ZStatus CmdExists(const ScriptCommand& cmd, Result& result)
{
    if (cmd.args.size() != 1)
        return ZStatus(ZStatus::kInvalidParameter, "expected one command name");
    result.push_back(FindBuiltin(cmd.args[0]) || PluginCommandExists(cmd.args[0]) ? "1" : "0");
    return ZStatus();
}

// character -empty -name NAME: a new empty character set; its name is the result.
ZStatus CmdCharacter(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd, {{"em", "empty", 0}, {"n", "name", 1}}, p);
    if (!st || !(st = ExpectCount(p, 0, 0, "flags only")))
        return st;
    Node* node = CurrentScene().Create("character", p.Has("name") ? p.Value("name") : "character1", 0, &st);
    if (!node)
        return st;
    result.push_back(node->name);
    return ZStatus();
}

ZStatus CmdRename(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd, {}, p);
    if (!st || !(st = ExpectCount(p, 2, 2, "a node and a new name")))
        return st;
    Node* node = FindNode(p.positional[0]);
    if (!node)
        return NoObject(p.positional[0]);
    std::string kept = CurrentScene().Rename(node, p.positional[1], &st);
    if (st)
        result.push_back(kept);
    return st;
}

ZStatus CmdDelete(const ScriptCommand& cmd, Result&)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd, {}, p);
    if (!st)
        return st;
    Scene& scene = CurrentScene();
    std::vector<uint64_t> doomed;
    if (p.positional.empty())
    {
        for (const auto& item : scene.selection.items())
            if (!item.path.empty() && !item.component.rep())
                doomed.push_back(item.path.back());
        if (doomed.empty())
            return ZStatus(ZStatus::kInvalidParameter, "Nothing is selected to delete");
    }
    for (const std::string& name : p.positional)
    {
        Node* node = FindNode(name);
        if (!node)
            return NoObject(name);
        doomed.push_back(node->id);
    }
    for (uint64_t id : doomed)
        scene.Delete(id);
    scene.selection.clear();
    return ZStatus();
}

ZStatus CmdParent(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(
        cmd,
        {{"w", "world", 0}, {"add", "addObject", 0}, {"r", "relative", 0}, {"a", "absolute", 0}, {"s", "shape", 0}}, p);
    if (!st)
        return st;
    bool world = p.Has("world");
    if (p.positional.size() < (world ? 1u : 2u))
        return ZStatus(ZStatus::kInvalidParameter, world ? "expected the objects to move"
                                                         : "expected the objects and "
                                                           "their new parent");
    Scene& scene = CurrentScene();
    uint64_t parent = scene.World();
    size_t count = p.positional.size();
    if (!world)
    {
        Node* parentNode = FindNode(p.positional.back());
        if (!parentNode)
            return NoObject(p.positional.back());
        parent = parentNode->id;
        --count;
    }
    for (size_t i = 0; i < count; ++i)
    {
        std::vector<uint64_t> path;
        Node* child = FindNode(p.positional[i], &path);
        if (!child)
            return NoObject(p.positional[i]);
        uint64_t oldParent = path.size() > 1 ? path[path.size() - 2] : scene.World();
        st = scene.Reparent(child->id, parent, p.Has("addObject"), p.Has("addObject") ? 0 : oldParent);
        if (!st)
            return st;
        // The name of the child by its (first) path under the new parent.
        for (const auto& q : scene.AllPathsTo(child->id))
            if (q.size() >= 2 ? q[q.size() - 2] == parent : parent == scene.World())
            {
                result.push_back(PathName(q));
                break;
            }
    }
    return ZStatus();
}

ZStatus CmdSelect(const ScriptCommand& cmd, Result&)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd,
                            {{"cl", "clear", 0},
                             {"tgl", "toggle", 0},
                             {"add", "add", 0},
                             {"d", "deselect", 0},
                             {"r", "replace", 0},
                             {"ne", "noExpand", 0}},
                            p);
    if (!st)
        return st;
    ZSelectionList& sel = CurrentScene().selection;
    if (p.Has("clear"))
    {
        if (!p.positional.empty())
            return ZStatus(ZStatus::kInvalidParameter, "-clear takes no objects");
        sel.clear();
        return ZStatus();
    }
    ZSelectionList given;
    for (const std::string& name : p.positional)
    {
        st = given.add(ZString(name));
        if (!st)
            return st;
    }
    auto same = [](const ZSelectionList::Item& a, const ZSelectionList::Item& b) {
        if (a.path != b.path || (a.component.rep() == nullptr) != (b.component.rep() == nullptr))
            return false;
        return !a.component.rep() || (a.component.rep()->componentType == b.component.rep()->componentType &&
                                      a.component.rep()->elements == b.component.rep()->elements);
    };
    auto& items = sel.items();
    if (p.Has("toggle") || p.Has("deselect"))
    {
        for (const auto& g : given.items())
        {
            auto it =
                std::find_if(items.begin(), items.end(), [&](const ZSelectionList::Item& i) { return same(i, g); });
            if (it != items.end())
                items.erase(it);
            else if (p.Has("toggle"))
                items.push_back(g);
        }
        return ZStatus();
    }
    if (!p.Has("add"))
        sel.clear();
    for (const auto& g : given.items())
        if (std::none_of(items.begin(), items.end(), [&](const ZSelectionList::Item& i) { return same(i, g); }))
            items.push_back(g);
    return ZStatus();
}

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
    st = ResolvePlug(p.positional[0], plug);
    if (!st)
        return st;
    Node* node = CurrentScene().Get(plug.nodeId());
    const AttrDef* def = node->Attr(plug.attributeIndex());
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

ZStatus CmdGetAttr(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd, {{"l", "lock", 0}, {"t", "time", 1}}, p);
    if (!st || !(st = ExpectCount(p, 1, 1, "one attribute (node.attribute)")))
        return st;
    ZPlug plug;
    st = ResolvePlug(p.positional[0], plug);
    if (!st)
        return st;
    Node* node = CurrentScene().Get(plug.nodeId());
    const AttrDef* def = node->Attr(plug.attributeIndex());
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
    if (force)
        for (const auto& n : CurrentScene().Nodes())
        {
            Node* other = n.second.get();
            if (other == set || !other->Is(ZFn::kShadingEngine))
                continue;
            for (const auto& item : list.items())
            {
                uint64_t id = item.path.back();
                const auto& rep = item.component.rep();
                for (auto m = other->members.begin(); m != other->members.end();)
                {
                    if (m->node == id && (!rep || m->component.empty()))
                    {
                        m = other->members.erase(m);
                        continue;
                    }
                    if (m->node == id && rep)
                    {
                        auto& el = m->elements;
                        for (const auto& e : rep->elements)
                            el.erase(std::remove(el.begin(), el.end(), e), el.end());
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

// ---- Cameras ----

ZStatus CmdCamera(const ScriptCommand& cmd, Result& result)
{
    static const std::pair<const char*, const char*> numeric[] = {{"centerOfInterest", "centerOfInterest"},
                                                                  {"focalLength", "focalLength"},
                                                                  {"lensSqueezeRatio", "lensSqueezeRatio"},
                                                                  {"cameraScale", "cameraScale"},
                                                                  {"horizontalFilmAperture", "horizontalFilmAperture"},
                                                                  {"horizontalFilmOffset", "horizontalFilmOffset"},
                                                                  {"verticalFilmAperture", "verticalFilmAperture"},
                                                                  {"verticalFilmOffset", "verticalFilmOffset"},
                                                                  {"overscan", "overscan"},
                                                                  {"motionBlur", "motionBlur"},
                                                                  {"shutterAngle", "shutterAngle"},
                                                                  {"nearClipPlane", "nearClipPlane"},
                                                                  {"farClipPlane", "farClipPlane"},
                                                                  {"orthographic", "orthographic"},
                                                                  {"orthographicWidth", "orthographicWidth"}};
    Parsed p;
    ZStatus st = ParseFlags(cmd,
                            {{"coi", "centerOfInterest", 1},
                             {"fl", "focalLength", 1},
                             {"lsr", "lensSqueezeRatio", 1},
                             {"cs", "cameraScale", 1},
                             {"hfa", "horizontalFilmAperture", 1},
                             {"hfo", "horizontalFilmOffset", 1},
                             {"vfa", "verticalFilmAperture", 1},
                             {"vfo", "verticalFilmOffset", 1},
                             {"ff", "filmFit", 1},
                             {"ovr", "overscan", 1},
                             {"mb", "motionBlur", 1},
                             {"sa", "shutterAngle", 1},
                             {"ncp", "nearClipPlane", 1},
                             {"fcp", "farClipPlane", 1},
                             {"o", "orthographic", 1},
                             {"ow", "orthographicWidth", 1},
                             {"n", "name", 1}},
                            p);
    if (!st || !(st = ExpectCount(p, 0, 0, "flags only")))
        return st;
    std::vector<std::pair<std::string, double>> values;
    for (const auto& n : numeric)
        if (p.Has(n.first))
        {
            double v;
            if (!(st = NumberArg(p.Value(n.first), v)))
                return st;
            if (std::strcmp(n.first, "shutterAngle") == 0)
                v = UiAngleToRadians(v);
            values.push_back({n.second, v});
        }
    if (p.Has("filmFit"))
    {
        static const char* fits[] = {"Fill", "Horizontal", "Vertical", "Overscan"};
        int fit = -1;
        for (int k = 0; k < 4; ++k)
            if (strcasecmp(p.Value("filmFit").c_str(), fits[k]) == 0)
                fit = k;
        if (fit < 0)
            return ZStatus(ZStatus::kInvalidParameter, "Invalid film fit: " + p.Value("filmFit"));
        values.push_back({"filmFit", fit});
    }
    Scene& scene = CurrentScene();
    Node* transform = scene.Create("transform", p.Has("name") ? p.Value("name") : "camera1", 0, &st);
    if (!transform)
        return st;
    std::string shapeName =
        transform->name.substr(transform->name.rfind(':') == std::string::npos ? 0 : transform->name.rfind(':') + 1);
    Node* shape = scene.Create("camera", shapeName + "Shape", transform->id, &st);
    if (!shape)
    {
        scene.Delete(transform->id);
        return st;
    }
    for (const auto& v : values)
        SetNum(shape, v.first.c_str(), v.second);
    scene.selection.clear();
    scene.selection.add(ZObject(NodeRep(transform->id)));
    result.push_back(transform->name);
    result.push_back(shape->name);
    return ZStatus();
}

ZStatus CmdObjectMoveCommand(const ScriptCommand& cmd, Result&)
{
    if (!cmd.args.empty())
        return ZStatus(ZStatus::kInvalidParameter, "objectMoveCommand takes no arguments");
    return ZStatus();
}

// cameraMakeNode 1|2|3 "": gives the selected camera nothing (1), an aim (2)
// or an aim and an up object (3) under a new camera group; the selection
// becomes the camera, [the up object,] the aim object.
ZStatus CmdCameraMakeNode(const ScriptCommand& cmd, Result& result)
{
    if (cmd.args.empty() || cmd.args.size() > 2)
        return ZStatus(ZStatus::kInvalidParameter, "expected a node count and a camera name");
    int count = 0;
    ZStatus st = IntArg(cmd.args[0], count);
    if (!st || count < 1 || count > 3)
        return ZStatus(ZStatus::kInvalidParameter, "the node count must be 1, 2 or 3");
    Scene& scene = CurrentScene();
    Node* camera = nullptr;
    std::vector<uint64_t> path;
    if (cmd.args.size() == 2 && !cmd.args[1].empty())
        camera = FindNode(cmd.args[1], &path);
    else if (!scene.selection.items().empty() && scene.selection.items().front().dag)
    {
        path = scene.selection.items().front().path;
        camera = scene.Get(path.back());
    }
    if (!camera || !ZDagPath(path).hasFn(ZFn::kCamera) || !camera->Is(ZFn::kTransform))
        return ZStatus(ZStatus::kInvalidParameter, "select a camera first");
    ZSelectionList sel;
    if (count > 1)
    {
        std::string base =
            camera->name.substr(camera->name.rfind(':') == std::string::npos ? 0 : camera->name.rfind(':') + 1);
        uint64_t parent = path.size() > 1 ? path[path.size() - 2] : 0;
        Node* group = scene.Create("transform", base + "_group", parent, &st);
        if (!group)
            return st;
        ZFnNumericAttribute twist;
        ZObject attr = twist.create("twist", "tw", ZFnNumericData::kDouble, 0.0);
        attr.rep()->pack.front().unit = kAngle;
        attr.rep()->pack.front().keyable = true;
        ZFnDependencyNode(ZObject(NodeRep(group->id))).addAttribute(attr);
        scene.Reparent(camera->id, group->id, false, parent ? parent : scene.World());
        auto makeLocator = [&](const std::string& name) -> Node* {
            Node* t = scene.Create("transform", name, group->id, &st);
            if (t)
                scene.Create("locator", name + "Shape", t->id, &st);
            return t;
        };
        Node* aim = makeLocator(base + "_aim");
        Node* up = count == 3 ? makeLocator(base + "_up") : nullptr;
        if (!aim || (count == 3 && !up))
            return st;
        sel.add(ZObject(NodeRep(camera->id)));
        SetNum(aim, "translateZ", -GetNum(scene.Get(camera->children.front()), "centerOfInterest"));
        if (up)
        {
            SetNum(up, "translateY", 1.0);
            sel.add(ZObject(NodeRep(up->id)));
        }
        sel.add(ZObject(NodeRep(aim->id)));
        result.push_back(group->name);
    }
    else
        sel.add(ZObject(NodeRep(camera->id)));
    scene.selection = sel;
    return ZStatus();
}

// ---- UI state and queries ----

ZStatus CmdAbout(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd, {{"b", "batch", 0}, {"api", "apiVersion", 0}, {"v", "version", 0}}, p);
    if (!st)
        return st;
    if (p.Has("batch"))
        result.push_back(Host::Get().Batch() ? "1" : "0");
    else if (p.Has("apiVersion") || p.Has("version"))
        result.push_back(ZGlobal::apiVersion().str());
    else
        return ZStatus(ZStatus::kInvalidParameter, "expected -batch, -apiVersion or -version");
    return ZStatus();
}

ZStatus CmdOptionVar(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd,
                            {{"q", "query", 1},
                             {"iv", "intValue", 2},
                             {"fv", "floatValue", 2},
                             {"sv", "stringValue", 2},
                             {"ex", "exists", 1},
                             {"rm", "remove", 1}},
                            p);
    if (!st || !(st = ExpectCount(p, 0, 0, "flags only")))
        return st;
    auto& vars = Host::Get().optionVars;
    if (p.Has("query"))
    {
        auto it = vars.find(p.Value("query"));
        result.push_back(it == vars.end() ? "0" : it->second);
        return ZStatus();
    }
    if (p.Has("exists"))
    {
        result.push_back(vars.count(p.Value("exists")) ? "1" : "0");
        return ZStatus();
    }
    if (p.Has("remove"))
    {
        vars.erase(p.Value("remove"));
        return ZStatus();
    }
    for (const char* kind : {"intValue", "floatValue", "stringValue"})
        if (p.Has(kind))
            for (const auto& pair : p.flags.at(kind))
            {
                double v;
                int iv;
                if (std::strcmp(kind, "intValue") == 0 && !(st = IntArg(pair[1], iv)))
                    return st;
                if (std::strcmp(kind, "floatValue") == 0 && !(st = NumberArg(pair[1], v)))
                    return st;
                vars[pair[0]] = pair[1];
            }
    return ZStatus();
}

ZStatus IntSetting(const ScriptCommand& cmd, int& target)
{
    if (cmd.args.size() != 1)
        return ZStatus(ZStatus::kInvalidParameter, "expected 0 or 1");
    int v = 0;
    ZStatus st = IntArg(cmd.args[0], v);
    if (!st || (v != 0 && v != 1))
        return ZStatus(ZStatus::kInvalidParameter, "expected 0 or 1");
    target = v;
    return ZStatus();
}

ZStatus CmdSetAttributeEditorVisible(const ScriptCommand& cmd, Result&)
{
    return IntSetting(cmd, Host::Get().attributeEditorVisible);
}

ZStatus CmdSetChannelBoxVisible(const ScriptCommand& cmd, Result&)
{
    return IntSetting(cmd, Host::Get().channelBoxVisible);
}

ZStatus CmdIsAttributeEditorVisible(const ScriptCommand& cmd, Result& result)
{
    if (!cmd.args.empty())
        return ZStatus(ZStatus::kInvalidParameter, "takes no arguments");
    result.push_back(std::to_string(Host::Get().attributeEditorVisible));
    return ZStatus();
}

ZStatus CmdOpenAEWindow(const ScriptCommand& cmd, Result&)
{
    if (!cmd.args.empty())
        return ZStatus(ZStatus::kInvalidParameter, "takes no arguments");
    Host::Get().openedWindows.push_back(cmd.name);
    return ZStatus();
}

ZStatus CmdUpAxis(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    bool query = std::find(cmd.args.begin(), cmd.args.end(), "-q") != cmd.args.end() ||
                 std::find(cmd.args.begin(), cmd.args.end(), "-query") != cmd.args.end();
    ZStatus st = ParseFlags(cmd, {{"q", "query", 0}, {"ax", "axis", query ? 0 : 1}}, p);
    if (!st)
        return st;
    if (query)
    {
        result.push_back(Host::Get().UpAxis());
        return ZStatus();
    }
    if (!p.Has("axis") || (p.Value("axis") != "y" && p.Value("axis") != "z"))
        return ZStatus(ZStatus::kInvalidParameter, "the up axis must be y or z");
    Host::Get().SetUpAxis(p.Value("axis"));
    return ZStatus();
}

ZStatus CmdTransformLimits(const ScriptCommand& cmd, Result&)
{
    static const char* channels[] = {"tx", "ty", "tz", "rx", "ry", "rz", "sx", "sy", "sz"};
    static const char* kinds[] = {"Trans", "Rot", "Scale"};
    std::vector<FlagSpec> specs;
    std::vector<std::string> enable(9);
    for (int i = 0; i < 9; ++i)
        enable[i] = std::string("e") + channels[i];
    for (int i = 0; i < 9; ++i)
    {
        specs.push_back({channels[i], channels[i], 2});
        specs.push_back({enable[i].c_str(), enable[i].c_str(), 2});
    }
    Parsed p;
    // Flags are looked up in this list; ParseFlags takes an initializer list,
    // so the same parsing is done here over the vector.
    for (size_t i = 0; i < cmd.args.size(); ++i)
    {
        const std::string& word = cmd.args[i];
        if (!IsFlagWord(word, cmd.quoted[i]))
        {
            p.positional.push_back(word);
            continue;
        }
        auto it = std::find_if(specs.begin(), specs.end(),
                               [&](const FlagSpec& s) { return word == std::string("-") + s.shortName; });
        if (it == specs.end())
            return ZStatus(ZStatus::kInvalidParameter, "Invalid flag '" + word + "'");
        if (i + 2 >= cmd.args.size())
            return ZStatus(ZStatus::kInvalidParameter, "Flag '" + word + "' needs 2 values");
        p.flags[it->longName].push_back({cmd.args[i + 1], cmd.args[i + 2]});
        i += 2;
    }
    ZStatus st = ExpectCount(p, 1, 1, "one transform");
    if (!st)
        return st;
    Node* node = FindNode(p.positional[0]);
    if (!node)
        return NoObject(p.positional[0]);
    if (!node->Is(ZFn::kTransform))
        return ZStatus(ZStatus::kInvalidParameter, node->name + " is not a transform");
    // Check everything before changing anything.
    std::vector<std::pair<std::string, double>> writes;
    for (int i = 0; i < 9; ++i)
    {
        std::string axis(1, static_cast<char>(std::toupper(channels[i][1])));
        std::string stem = std::string(kinds[i / 3]) + axis + "Limit";
        if (p.Has(channels[i]))
        {
            double lo, hi;
            if (!(st = NumberArg(p.Value(channels[i], 0), lo)) || !(st = NumberArg(p.Value(channels[i], 1), hi)))
                return st;
            if (i / 3 == 1)
            {
                lo = UiAngleToRadians(lo);
                hi = UiAngleToRadians(hi);
            }
            writes.push_back({"min" + stem, lo});
            writes.push_back({"max" + stem, hi});
        }
        if (p.Has(enable[i].c_str()))
        {
            bool lo, hi;
            if (!ToBool(p.Value(enable[i].c_str(), 0), lo) || !ToBool(p.Value(enable[i].c_str(), 1), hi))
                return ZStatus(ZStatus::kInvalidParameter, "enable flags take 0/1 or true/false");
            writes.push_back({"min" + stem + "Enable", lo ? 1 : 0});
            writes.push_back({"max" + stem + "Enable", hi ? 1 : 0});
        }
    }
    for (const auto& w : writes)
        SetNum(node, w.first.c_str(), w.second);
    return ZStatus();
}

// ---- Animation ----

ZStatus CmdSetKeyframe(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(
        cmd, {{"t", "time", 1}, {"v", "value", 1}, {"itt", "inTangentType", 1}, {"ott", "outTangentType", 1}}, p);
    if (!st || !(st = ExpectCount(p, 1, 1, "one attribute (node.attribute)")))
        return st;
    ZPlug plug;
    if (!(st = ResolvePlug(p.positional[0], plug)))
        return st;
    const AttrDef* def = CurrentScene().Get(plug.nodeId())->Attr(plug.attributeIndex());
    double frame = 0, value = 0;
    double seconds = CurrentScene().currentTime;
    if (p.Has("time"))
    {
        if (!(st = NumberArg(p.Value("time"), frame)))
            return st;
        seconds = UiTimeToSeconds(frame);
    }
    if (p.Has("value"))
    {
        if (!(st = NumberArg(p.Value("value"), value)))
            return st;
        if (def->unit == kAngle)
            value = UiAngleToRadians(value);
    }
    else
        value = plug.asDouble(&st);
    if (!st)
        return st;
    auto tangent = [&](const char* flag, int& out) -> ZStatus {
        static const char* names[] = {"global", "fixed", "linear",  "flat",    "spline",  "step",
                                      "slow",   "fast",  "clamped", "plateau", "stepnext"};
        out = 4;
        if (!p.Has(flag))
            return ZStatus();
        for (int k = 0; k < 11; ++k)
            if (p.Value(flag) == names[k])
            {
                out = k;
                return ZStatus();
            }
        return ZStatus(ZStatus::kInvalidParameter, "Invalid tangent type: " + p.Value(flag));
    };
    int in = 4, out = 4;
    if (!(st = tangent("inTangentType", in)) || !(st = tangent("outTangentType", out)))
        return st;
    ZStatus attach;
    ZFnAnimCurve curve(plug, &attach);
    if (!attach)
    {
        curve.create(plug, nullptr, &st);
        if (!st)
            return st;
    }
    ZTime t(seconds, ZTime::kSeconds);
    for (unsigned i = 0; i < curve.numKeys(); ++i)
        if (std::fabs(curve.time(i).asSeconds() - seconds) <= 1e-9)
            curve.remove(i);
    curve.addKey(t, value, static_cast<ZFnAnimCurve::TangentType>(in), static_cast<ZFnAnimCurve::TangentType>(out),
                 nullptr, &st);
    if (st)
        result.push_back("1");
    return st;
}

ZStatus CmdSetDrivenKeyframe(const ScriptCommand& cmd, Result& result)
{
    bool query = std::find(cmd.args.begin(), cmd.args.end(), "-q") != cmd.args.end() ||
                 std::find(cmd.args.begin(), cmd.args.end(), "-query") != cmd.args.end();
    Parsed p;
    ZStatus st = ParseFlags(
        cmd, {{"q", "query", 0}, {"cd", "currentDriver", query ? 0 : 1}, {"dv", "driverValue", 1}, {"v", "value", 1}},
        p);
    if (!st || !(st = ExpectCount(p, 1, 1, "one driven attribute (node.attribute)")))
        return st;
    ZPlug driven;
    if (!(st = ResolvePlug(p.positional[0], driven)))
        return st;
    if (query)
    {
        if (!p.Has("currentDriver"))
            return ZStatus(ZStatus::kInvalidParameter, "expected -currentDriver");
        // Drivers: plugs feeding the input of a curve that feeds this plug.
        ZPlugArray sources;
        driven.connectedTo(sources, true, false);
        for (unsigned i = 0; i < sources.length(); ++i)
        {
            Node* curve = CurrentScene().Get(sources[i].nodeId());
            if (!curve || !curve->curve)
                continue;
            ZPlugArray drivers;
            ZPlug(curve->id, curve->FindAttr("input"), -1).connectedTo(drivers, true, false);
            for (unsigned k = 0; k < drivers.length(); ++k)
                result.push_back(drivers[k].name().str());
        }
        if (result.empty())
            result.push_back("No drivers.");
        return ZStatus();
    }
    if (!p.Has("currentDriver"))
        return ZStatus(ZStatus::kInvalidParameter, "expected -currentDriver");
    ZPlug driver;
    if (!(st = ResolvePlug(p.Value("currentDriver"), driver)))
        return st;
    double dv = driver.asDouble(&st), v = 0;
    if (!st)
        return st;
    v = driven.asDouble(&st);
    if (!st || (p.Has("driverValue") && !(st = NumberArg(p.Value("driverValue"), dv))) ||
        (p.Has("value") && !(st = NumberArg(p.Value("value"), v))))
        return st;
    ZStatus attach;
    ZFnAnimCurve curve(driven, &attach);
    if (!attach)
    {
        curve.create(driven, ZFnAnimCurve::kAnimCurveUU, nullptr, &st);
        if (!st)
            return st;
        Node* c = NodeOf(curve.object());
        if (!(st = CurrentScene().Connect(driver, ZPlug(c->id, c->FindAttr("input"), -1), false)))
            return st;
    }
    curve.addKey(ZTime(dv, ZTime::kSeconds), v, ZFnAnimCurve::kTangentSmooth, ZFnAnimCurve::kTangentSmooth, nullptr,
                 &st);
    return st;
}

ZStatus CmdCurrentTime(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd, {{"q", "query", 0}}, p);
    if (!st)
        return st;
    if (p.Has("query"))
    {
        result.push_back(Format(ZAnimControl::currentTime().as(ZTime::uiUnit())));
        return ZStatus();
    }
    double frame;
    if (!(st = ExpectCount(p, 1, 1, "a time")) || !(st = NumberArg(p.positional[0], frame)))
        return st;
    st = ZAnimControl::setCurrentTime(ZTime(frame, ZTime::uiUnit()));
    if (st)
        result.push_back(Format(frame));
    return st;
}

ZStatus CmdPlaybackOptions(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    bool query = std::find(cmd.args.begin(), cmd.args.end(), "-q") != cmd.args.end();
    ZStatus st =
        ParseFlags(cmd, {{"q", "query", 0}, {"min", "minTime", query ? 0 : 1}, {"max", "maxTime", query ? 0 : 1}}, p);
    if (!st)
        return st;
    if (query)
    {
        if (p.Has("minTime"))
            result.push_back(Format(ZAnimControl::minTime().as(ZTime::uiUnit())));
        if (p.Has("maxTime"))
            result.push_back(Format(ZAnimControl::maxTime().as(ZTime::uiUnit())));
        return ZStatus();
    }
    double lo = ZAnimControl::minTime().as(ZTime::uiUnit()), hi = ZAnimControl::maxTime().as(ZTime::uiUnit());
    if ((p.Has("minTime") && !(st = NumberArg(p.Value("minTime"), lo))) ||
        (p.Has("maxTime") && !(st = NumberArg(p.Value("maxTime"), hi))))
        return st;
    return ZAnimControl::setMinMaxTime(ZTime(lo, ZTime::uiUnit()), ZTime(hi, ZTime::uiUnit()));
}

// ---- Geometry ----

ZStatus CmdPolyCube(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd, {{"n", "name", 1}, {"w", "width", 1}}, p);
    if (!st || !(st = ExpectCount(p, 0, 0, "flags only")))
        return st;
    double w = 1;
    if (p.Has("width") && (!(st = NumberArg(p.Value("width"), w)) || !(w > 0) || !std::isfinite(w)))
        return st ? ZStatus(ZStatus::kInvalidParameter, "the width must be positive") : st;
    double h = w / 2;
    ZPointArray points;
    for (int k = 0; k < 8; ++k)
        points.append(ZPoint(k & 1 ? h : -h, k & 2 ? h : -h, k & 4 ? h : -h));
    static const int faces[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    ZIntArray counts(6, 4), connects;
    for (const auto& f : faces)
        for (int v : f)
            connects.append(v);
    Node* t = CurrentScene().Create("transform", p.Has("name") ? p.Value("name") : "pCube1", 0, &st);
    if (!t)
        return st;
    ZFnMesh mesh;
    ZObject shape = mesh.create(8, 6, points, counts, connects, ZObject(NodeRep(t->id)), &st);
    if (!st)
    {
        CurrentScene().Delete(t->id);
        return st;
    }
    std::string base = t->name.substr(t->name.rfind(':') == std::string::npos ? 0 : t->name.rfind(':') + 1);
    mesh.setName(base + "Shape");
    CurrentScene().selection.clear();
    CurrentScene().selection.add(ZObject(NodeRep(t->id)));
    result.push_back(t->name);
    result.push_back(NodeOf(shape)->name);
    return ZStatus();
}

// ---- Deformers ----

struct SkinSelection
{
    std::vector<uint64_t> joints;
    Node* geometry = nullptr;
};

ZStatus ReadSkinSelection(SkinSelection& out)
{
    for (const auto& item : CurrentScene().selection.items())
    {
        Node* node = item.path.empty() ? nullptr : CurrentScene().Get(item.path.back());
        if (!node)
            continue;
        if (node->Is(ZFn::kJoint) && !item.component.rep())
        {
            if (std::find(out.joints.begin(), out.joints.end(), node->id) == out.joints.end())
                out.joints.push_back(node->id);
            continue;
        }
        Node* shape = GeometryShape(ZObject(NodeRep(node->id)));
        if (!shape)
            continue;
        if (out.geometry && out.geometry != shape)
            return ZStatus(ZStatus::kInvalidParameter, "select only one geometry");
        out.geometry = shape;
    }
    if (out.joints.empty() || !out.geometry)
        return ZStatus(ZStatus::kInvalidParameter, "select at least one joint and one geometry");
    return ZStatus();
}

const std::vector<ZPoint>& ShapePoints(const Node* shape)
{
    return shape->mesh ? shape->mesh->points : shape->nurbs->points;
}

// Each point goes wholly to the nearest joint (world positions).
void ClosestJointWeights(SkinData& skin, const Node* shape)
{
    std::vector<ZPoint> jointPos;
    for (uint64_t j : skin.influences)
    {
        double m[4][4];
        WorldMatrix(CurrentScene().FirstPathTo(j), m);
        jointPos.emplace_back(m[3][0], m[3][1], m[3][2]);
    }
    double world[4][4];
    WorldMatrix(CurrentScene().FirstPathTo(shape->id), world);
    const auto& points = ShapePoints(shape);
    for (size_t i = 0; i < points.size(); ++i)
    {
        const ZPoint& q = points[i];
        double x = q.x * world[0][0] + q.y * world[1][0] + q.z * world[2][0] + world[3][0];
        double y = q.x * world[0][1] + q.y * world[1][1] + q.z * world[2][1] + world[3][1];
        double z = q.x * world[0][2] + q.y * world[1][2] + q.z * world[2][2] + world[3][2];
        size_t best = 0;
        double bestDist = INFINITY;
        for (size_t j = 0; j < jointPos.size(); ++j)
        {
            double d = (x - jointPos[j].x) * (x - jointPos[j].x) + (y - jointPos[j].y) * (y - jointPos[j].y) +
                       (z - jointPos[j].z) * (z - jointPos[j].z);
            if (d < bestDist)
            {
                bestDist = d;
                best = j;
            }
        }
        skin.weights[static_cast<int>(i)][static_cast<int>(best)] = 1.0;
    }
}

// Splits a single quoted option text ("-toSelectedBones -mi 5 -dr 4") into words.
ScriptCommand InnerOptions(const ScriptCommand& cmd)
{
    ScriptCommand inner;
    inner.name = cmd.name;
    for (size_t i = 0; i < cmd.args.size(); ++i)
    {
        std::string error;
        int line;
        std::vector<ScriptCommand> parsed;
        if (cmd.quoted[i] && ParseScript("x " + cmd.args[i], parsed, error, line) && parsed.size() == 1)
            for (const std::string& a : parsed[0].args)
            {
                inner.args.push_back(a);
                inner.quoted.push_back(false);
            }
        else
        {
            inner.args.push_back(cmd.args[i]);
            inner.quoted.push_back(cmd.quoted[i]);
        }
    }
    return inner;
}

ZStatus CmdNewSkinCluster(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(
        InnerOptions(cmd),
        {{"tsb", "toSelectedBones", 0}, {"mi", "maxInfluences", 1}, {"dr", "dropoffRate", 1}, {"n", "name", 1}}, p);
    if (!st || !(st = ExpectCount(p, 0, 0, "options only")))
        return st;
    int maxInfluences = 5;
    double dropoff = 4;
    if ((p.Has("maxInfluences") && !(st = IntArg(p.Value("maxInfluences"), maxInfluences))) ||
        (p.Has("dropoffRate") && !(st = NumberArg(p.Value("dropoffRate"), dropoff))))
        return st;
    SkinSelection sel;
    if (!(st = ReadSkinSelection(sel)))
        return st;
    Scene& scene = CurrentScene();
    for (const auto& n : scene.Nodes())
        if (n.second->skin && n.second->Is(ZFn::kSkinClusterFilter) && n.second->skin->geometry == sel.geometry->id)
            return ZStatus(ZStatus::kFailure, sel.geometry->name + " is already bound to " + n.second->name);
    Node* skin = scene.Create("skinCluster", p.Has("name") ? p.Value("name") : "skinCluster1", 0, &st);
    if (!skin)
        return st;
    if (!(st = InsertDeformer(skin, sel.geometry)))
    {
        scene.Delete(skin->id);
        return st;
    }
    skin->skin = std::make_unique<SkinData>();
    skin->skin->influences = sel.joints;
    skin->skin->geometry = sel.geometry->id;
    SetNum(skin, "maxInfluences", maxInfluences);
    SetNum(skin, "dropoffRate", dropoff);
    int matrixAttr = skin->FindAttr("matrix"), bindAttr = skin->FindAttr("bindPreMatrix");
    for (size_t i = 0; i < sel.joints.size(); ++i)
    {
        Node* joint = scene.Get(sel.joints[i]);
        double world[4][4];
        WorldMatrix(scene.FirstPathTo(joint->id), world);
        ZMatrix inverse = ZMatrix(world).inverse();
        ZFnMatrixData data;
        ZPlug(skin->id, bindAttr, static_cast<int>(i)).setValue(data.create(inverse));
        ZFnMatrixData pose;
        ZPlug(joint->id, joint->FindAttr("bindPose"), -1).setValue(pose.create(ZMatrix(world)));
        scene.Connect(ZPlug(joint->id, joint->FindAttr("worldMatrix"), 0),
                      ZPlug(skin->id, matrixAttr, static_cast<int>(i)), false);
    }
    ClosestJointWeights(*skin->skin, sel.geometry);
    result.push_back(skin->name);
    return ZStatus();
}

ZStatus CmdNewBindSkin(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(InnerOptions(cmd), {{"bcp", "byClosestPoint", 0}, {"tsb", "toSelectedBones", 0}}, p);
    if (!st || !(st = ExpectCount(p, 0, 0, "options only")))
        return st;
    SkinSelection sel;
    if (!(st = ReadSkinSelection(sel)))
        return st;
    Node* rigid = CurrentScene().Create("rigidSkin", "rigidSkin1", 0, &st);
    if (!rigid)
        return st;
    if (!(st = InsertDeformer(rigid, sel.geometry)))
    {
        CurrentScene().Delete(rigid->id);
        return st;
    }
    rigid->skin = std::make_unique<SkinData>();
    rigid->skin->influences = sel.joints;
    rigid->skin->geometry = sel.geometry->id;
    ClosestJointWeights(*rigid->skin, sel.geometry);
    result.push_back(rigid->name);
    return ZStatus();
}

Node* SkinByName(const std::string& name, ZStatus& st)
{
    Node* skin = FindNode(name);
    if (!skin || !skin->Is(ZFn::kSkinClusterFilter) || !skin->skin)
    {
        st = ZStatus(ZStatus::kInvalidParameter, "No skin cluster named: " + name);
        return nullptr;
    }
    return skin;
}

void NormalizeWeights(std::map<int, double>& w)
{
    double sum = 0;
    for (const auto& e : w)
        sum += e.second;
    if (sum > 0)
        for (auto& e : w)
            e.second /= sum;
}

ZStatus CmdSkinPercent(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd,
                            {{"nrm", "normalize", 1},
                             {"prw", "pruneWeights", 1},
                             {"t", "transform", 1},
                             {"v", "transformValue", 1},
                             {"q", "query", 0}},
                            p);
    if (!st)
        return st;
    if (p.positional.empty())
        return ZStatus(ZStatus::kInvalidParameter, "expected a skin cluster");
    Node* skin = SkinByName(p.positional[0], st);
    if (!skin)
        return st;
    SkinData& data = *skin->skin;
    // The points named (all points when none is).
    std::vector<int> points;
    for (size_t i = 1; i < p.positional.size(); ++i)
    {
        ZSelectionList list;
        if (!(st = list.add(ZString(p.positional[i]))))
            return st;
        const auto& item = list.items().front();
        if (item.path.back() != data.geometry)
            return ZStatus(ZStatus::kInvalidParameter, p.positional[i] + " is not deformed by " + skin->name);
        if (!item.component.rep())
            continue;
        Node* shape = CurrentScene().Get(data.geometry);
        int countV = shape->nurbs ? shape->nurbs->CountV() : 1;
        for (const auto& e : item.component.rep()->elements)
            points.push_back(shape->nurbs ? e.first * countV + e.second : e.first);
    }
    if (points.empty())
        for (const auto& w : data.weights)
            points.push_back(w.first);
    int influence = -1;
    if (p.Has("transform"))
    {
        Node* joint = FindNode(p.Value("transform"));
        auto it = joint ? std::find(data.influences.begin(), data.influences.end(), joint->id) : data.influences.end();
        if (it == data.influences.end())
            return ZStatus(ZStatus::kInvalidParameter, p.Value("transform") + " is not an influence of " + skin->name);
        influence = static_cast<int>(it - data.influences.begin());
    }
    if (p.Has("query"))
    {
        if (influence < 0)
            return ZStatus(ZStatus::kInvalidParameter, "-query needs -transform");
        for (int pt : points)
        {
            auto it = data.weights.find(pt);
            double w = 0;
            if (it != data.weights.end() && it->second.count(influence))
                w = it->second.at(influence);
            result.push_back(Format(w));
        }
        return ZStatus();
    }
    bool normalize = false;
    if (p.Has("normalize") && !ToBool(p.Value("normalize"), normalize))
        return ZStatus(ZStatus::kInvalidParameter, "-normalize takes true or false");
    double prune = -1, value = 0;
    if (p.Has("pruneWeights") && !(st = NumberArg(p.Value("pruneWeights"), prune)))
        return st;
    if (p.Has("transformValue") && (influence < 0 || !(st = NumberArg(p.Value("transformValue"), value))))
        return st ? ZStatus(ZStatus::kInvalidParameter, "-transformValue needs -transform") : st;
    for (int pt : points)
    {
        auto& w = data.weights[pt];
        if (prune >= 0)
            for (auto& e : w)
                if (e.second < prune)
                    e.second = 0;
        if (p.Has("transformValue"))
        {
            double others = 0;
            for (const auto& e : w)
                if (e.first != influence)
                    others += e.second;
            double rest = value >= 1 ? 0 : 1 - value;
            for (auto& e : w)
                if (e.first != influence)
                    e.second = others > 0 ? e.second * rest / others : 0;
            w[influence] = value;
        }
        if (normalize)
            NormalizeWeights(w);
    }
    return ZStatus();
}

// The deformer set of a cluster: the set its "message" feeds.
Node* DeformerSet(Node* cluster)
{
    for (const Connection& c : cluster->out)
        if (cluster->Attr(c.srcAttr)->name == "message")
            if (Node* set = CurrentScene().Get(c.dst); set && set->Is(ZFn::kSet))
                return set;
    return nullptr;
}

ZStatus CmdCluster(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd,
                            {{"n", "name", 1},
                             {"rel", "relative", 0},
                             {"bf", "before", 0},
                             {"bs", "bindState", 1},
                             {"wn", "weightedNode", 2}},
                            p);
    if (!st)
        return st;
    Scene& scene = CurrentScene();
    Node* handle = nullptr;
    if (p.Has("weightedNode"))
    {
        handle = FindNode(p.Value("weightedNode", 0));
        Node* second = FindNode(p.Value("weightedNode", 1));
        if (!handle || !second)
            return NoObject(!handle ? p.Value("weightedNode", 0) : p.Value("weightedNode", 1));
        if (!handle->Is(ZFn::kTransform))
            return ZStatus(ZStatus::kInvalidParameter, handle->name + " cannot be a cluster handle");
    }
    double bind = 0;
    if (p.Has("bindState") && !(st = NumberArg(p.Value("bindState"), bind)))
        return st;
    // The geometry: named objects, or else the selection.
    std::vector<std::pair<Node*, ZObject>> geometry;
    ZSelectionList given;
    for (const std::string& name : p.positional)
        if (!(st = given.add(ZString(name))))
            return st;
    const ZSelectionList& source = p.positional.empty() ? scene.selection : given;
    for (const auto& item : source.items())
        if (Node* shape = GeometryShape(ZObject(NodeRep(item.path.back()))))
            geometry.push_back({shape, item.component});
    std::string name = p.Has("name") ? p.Value("name") : "cluster1";
    Node* cluster = scene.Create("cluster", name, 0, &st);
    if (!cluster)
        return st;
    Node* set = scene.Create(
        "objectSet",
        cluster->name.substr(cluster->name.rfind(':') == std::string::npos ? 0 : cluster->name.rfind(':') + 1) + "Set",
        0, &st);
    if (!set)
    {
        scene.Delete(cluster->id);
        return st;
    }
    scene.Connect(ZPlug(cluster->id, cluster->FindAttr("message"), -1), ZPlug(set->id, set->FindAttr("usedBy"), 0),
                  false);
    SetNum(cluster, "relative", p.Has("relative") ? 1 : 0);
    std::string base =
        cluster->name.substr(cluster->name.rfind(':') == std::string::npos ? 0 : cluster->name.rfind(':') + 1);
    if (!handle)
        handle = scene.Create("transform", base + "Handle", 0, &st);
    if (!handle)
        return st;
    bool hasHandleShape = false;
    for (uint64_t c : handle->children)
        if (Node* child = scene.Get(c); child && child->Is(ZFn::kClusterHandle))
            hasHandleShape = true;
    if (!hasHandleShape)
        scene.Create("clusterHandle", base + "HandleShape", handle->id, &st);
    scene.Connect(ZPlug(handle->id, handle->FindAttr("worldMatrix"), 0),
                  ZPlug(cluster->id, cluster->FindAttr("matrix"), -1), false);
    for (auto& g : geometry)
    {
        InsertDeformer(cluster, g.first);
        ZObject comp = g.second;
        if (!comp.rep())
        {
            ZFnSingleIndexedComponent all;
            comp = all.create(ZFn::kMeshVertComponent);
            all.setCompleteData(static_cast<int>(ShapePoints(g.first).size()));
        }
        AddSetMember(set, g.first->id, comp);
        for (const auto& e : comp.rep()->elements)
            cluster->weights[e] = 1.0;
    }
    result.push_back(cluster->name);
    result.push_back(handle->name);
    return ZStatus();
}

ZStatus CmdPercent(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd, {{"v", "value", 1}, {"q", "query", 0}}, p);
    if (!st)
        return st;
    if (p.positional.size() < 2)
        return ZStatus(ZStatus::kInvalidParameter, "expected a cluster and its points");
    Node* cluster = FindNode(p.positional[0]);
    if (!cluster || !cluster->Is(ZFn::kCluster))
        return ZStatus(ZStatus::kInvalidParameter, "No cluster named: " + p.positional[0]);
    Node* set = DeformerSet(cluster);
    if (!set)
        return ZStatus(ZStatus::kFailure, cluster->name + " has no deformer set");
    double value = 1;
    if (!p.Has("query") && (!p.Has("value") || !(st = NumberArg(p.Value("value"), value)) || !std::isfinite(value)))
        return st ? ZStatus(ZStatus::kInvalidParameter, "expected -value with a finite weight") : st;
    std::vector<std::pair<int, int>> elements;
    for (size_t i = 1; i < p.positional.size(); ++i)
    {
        ZSelectionList list;
        if (!(st = list.add(ZString(p.positional[i]))))
            return st;
        const auto& item = list.items().front();
        if (!item.component.rep())
            return ZStatus(ZStatus::kInvalidParameter, "expected points, not " + p.positional[i]);
        ZFnSet fn(ZObject(NodeRep(set->id)));
        if (!fn.isMember(ZDagPath(item.path), item.component))
            return ZStatus(ZStatus::kInvalidParameter,
                           p.positional[i] + " is not a member of the deformer set of " + cluster->name);
        elements.insert(elements.end(), item.component.rep()->elements.begin(), item.component.rep()->elements.end());
    }
    for (const auto& e : elements)
    {
        if (p.Has("query"))
        {
            auto it = cluster->weights.find(e);
            result.push_back(Format(it == cluster->weights.end() ? 0.0 : it->second));
        }
        else
            cluster->weights[e] = value;
    }
    return ZStatus();
}

// ---- Dialogs and output ----

ZStatus CmdConfirmDialog(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd,
                            {{"t", "title", 1},
                             {"m", "message", 1},
                             {"b", "button", 1},
                             {"db", "defaultButton", 1},
                             {"cb", "cancelButton", 1},
                             {"ds", "dismissString", 1}},
                            p);
    if (!st || !(st = ExpectCount(p, 0, 0, "flags only")))
        return st;
    std::vector<std::string> buttons;
    if (p.Has("button"))
        for (const auto& b : p.flags.at("button"))
            buttons.push_back(b[0]);
    int answer = Host::Get().NextDialogAnswer();
    std::string pressed;
    if (buttons.empty())
        pressed = p.Has("dismissString") ? p.Value("dismissString") : "";
    else if (answer >= 0 && static_cast<size_t>(answer) < buttons.size())
        pressed = buttons[answer];
    else
        return ZStatus(ZStatus::kInvalidParameter,
                       "the scripted answer " + std::to_string(answer) + " names no button of the dialog");
    std::string text =
        (p.Has("title") ? p.Value("title") : "") + " | " + (p.Has("message") ? p.Value("message") : "") + " | [";
    for (size_t i = 0; i < buttons.size(); ++i)
        text += (i ? "][" : "") + buttons[i];
    Host::Get().Record(TranscriptEntry::kDialog, text + "] -> " + pressed);
    result.push_back(pressed);
    return ZStatus();
}

ZStatus CmdDialogAnswers(const ScriptCommand& cmd, Result&)
{
    std::vector<int> answers;
    for (const std::string& a : cmd.args)
    {
        int v;
        ZStatus st = IntArg(a, v);
        if (!st)
            return st;
        answers.push_back(v);
    }
    Host::Get().QueueDialogAnswers(answers);
    return ZStatus();
}

ZStatus CmdPrint(const ScriptCommand& cmd, Result& result)
{
    std::string text;
    for (size_t i = 0; i < cmd.args.size(); ++i)
        text += (i ? " " : "") + cmd.args[i];
    Host::Get().Record(TranscriptEntry::kInfo, text);
    result.push_back(text);
    return ZStatus();
}

ZStatus CmdLoadPlugin(const ScriptCommand& cmd, Result& result)
{
    if (cmd.args.size() != 1)
        return ZStatus(ZStatus::kInvalidParameter, "expected the plug-in's path");
    ZStatus st = Host::Get().LoadPlugin(cmd.args[0]);
    if (st)
        result.push_back(GetRegistry().plugins.back()->name);
    return st;
}

ZStatus CmdUnloadPlugin(const ScriptCommand& cmd, Result&)
{
    if (cmd.args.size() != 1)
        return ZStatus(ZStatus::kInvalidParameter, "expected the plug-in's name");
    return Host::Get().UnloadPlugin(cmd.args[0]);
}

void Lines(const std::string& text, Result& result)
{
    size_t start = 0;
    while (start < text.size())
    {
        size_t nl = text.find('\n', start);
        result.push_back(text.substr(start, nl - start));
        if (nl == std::string::npos)
            break;
        start = nl + 1;
    }
}

ZStatus CmdLs(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(cmd, {{"type", "type", 1}}, p);
    if (!st || !(st = ExpectCount(p, 0, 0, "flags only")))
        return st;
    if (p.Has("type"))
    {
        for (const auto& n : CurrentScene().Nodes())
            if (n.second->type->name == p.Value("type"))
                result.push_back(n.second->name);
        for (const auto& r : result)
            Host::Get().Record(TranscriptEntry::kInfo, r);
        return ZStatus();
    }
    std::string text = Host::Get().ListDag();
    Lines(text, result);
    Host::Get().Record(TranscriptEntry::kInfo, text.empty() ? text : text.substr(0, text.size() - 1));
    return ZStatus();
}

ZStatus CmdInfo(const ScriptCommand& cmd, Result& result)
{
    if (!cmd.args.empty())
        return ZStatus(ZStatus::kInvalidParameter, "takes no arguments");
    std::string text = Host::Get().Info();
    Lines(text, result);
    Host::Get().Record(TranscriptEntry::kInfo, text.substr(0, text.size() - 1));
    return ZStatus();
}

ZStatus CmdDump(const ScriptCommand& cmd, Result& result)
{
    if (cmd.args.size() > 1)
        return ZStatus(ZStatus::kInvalidParameter, "expected at most a file name");
    std::string text = Host::Get().Dump();
    if (cmd.args.empty())
    {
        Host::Get().Record(TranscriptEntry::kInfo, text.substr(0, text.size() - 1));
        Lines(text, result);
        return ZStatus();
    }
    std::ofstream out(cmd.args[0], std::ios::binary);
    out << text;
    out.close();
    if (!out)
        return ZStatus(ZStatus::kFailure, "Cannot write " + cmd.args[0]);
    result.push_back(cmd.args[0]);
    return ZStatus();
}

ZStatus CmdGetAttrPrint(const ScriptCommand& cmd, Result& result)
{
    ZStatus st = CmdGetAttr(cmd, result);
    if (st)
    {
        std::string text;
        for (size_t i = 0; i < result.size(); ++i)
            text += (i ? " " : "") + result[i];
        Host::Get().Record(TranscriptEntry::kInfo, text);
    }
    return st;
}

const std::map<std::string, CommandHandler>& Table()
{
    static const std::map<std::string, CommandHandler> table = {
        {"about", CmdAbout},
        {"camera", CmdCamera},
        {"cameraMakeNode", CmdCameraMakeNode},
        {"character", CmdCharacter},
        {"cluster", CmdCluster},
        {"confirmDialog", CmdConfirmDialog},
        {"connectAttr", CmdConnectAttr},
        {"createNode", CmdCreateNode},
        {"currentTime", CmdCurrentTime},
        {"delete", CmdDelete},
        {"dialogAnswers", CmdDialogAnswers},
        {"disconnectAttr", CmdDisconnectAttr},
        {"dump", CmdDump},
        {"exists", CmdExists},
        {"file", CmdFile},
        {"getAttr", CmdGetAttrPrint},
        {"info", CmdInfo},
        {"isAttributeEditorVisible", CmdIsAttributeEditorVisible},
        {"loadPlugin", CmdLoadPlugin},
        {"ls", CmdLs},
        {"namespace", CmdNamespace},
        {"namespaceInfo", CmdNamespaceInfo},
        {"newBindSkin", CmdNewBindSkin},
        {"newSkinCluster", CmdNewSkinCluster},
        {"objectMoveCommand", CmdObjectMoveCommand},
        {"openAEWindow", CmdOpenAEWindow},
        {"optionVar", CmdOptionVar},
        {"parent", CmdParent},
        {"percent", CmdPercent},
        {"playbackOptions", CmdPlaybackOptions},
        {"polyCube", CmdPolyCube},
        {"print", CmdPrint},
        {"refreshAE", CmdOpenAEWindow},
        {"rename", CmdRename},
        {"select", CmdSelect},
        {"setAttr", CmdSetAttr},
        {"setAttributeEditorVisible", CmdSetAttributeEditorVisible},
        {"setChannelBoxVisible", CmdSetChannelBoxVisible},
        {"setDrivenKeyframe", CmdSetDrivenKeyframe},
        {"setKeyframe", CmdSetKeyframe},
        {"sets", CmdSets},
        {"shadingNode", CmdShadingNode},
        {"skinPercent", CmdSkinPercent},
        {"transformLimits", CmdTransformLimits},
        {"unloadPlugin", CmdUnloadPlugin},
        {"upAxis", CmdUpAxis},
    };
    return table;
}

} // namespace

CommandHandler FindBuiltin(const std::string& name)
{
    if (Host::Get().missingCommands.count(name))
        return nullptr;
    auto it = Table().find(name);
    return it == Table().end() ? nullptr : it->second;
}

} // namespace zelthost
