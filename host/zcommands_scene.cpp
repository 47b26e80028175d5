// Scene files, namespaces and nodes.
#include "host/zcommands_private.h"

#include <algorithm>

namespace zelthost {
namespace cmd {

namespace {

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

} // namespace

void AddSceneCommands(CommandTable& table)
{
    table.insert({
        {"character", CmdCharacter},
        {"createNode", CmdCreateNode},
        {"delete", CmdDelete},
        {"exists", CmdExists},
        {"file", CmdFile},
        {"namespace", CmdNamespace},
        {"namespaceInfo", CmdNamespaceInfo},
        {"parent", CmdParent},
        {"rename", CmdRename},
        {"select", CmdSelect},
    });
}

} // namespace cmd
} // namespace zelthost
