// Cameras, the interface's state and queries.
#include "host/zcommands_private.h"

#include <algorithm>
#include <cstring>

namespace zelthost {
namespace cmd {

namespace {

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

} // namespace

void AddInterfaceCommands(CommandTable& table)
{
    table.insert({
        {"about", CmdAbout},
        {"camera", CmdCamera},
        {"cameraMakeNode", CmdCameraMakeNode},
        {"isAttributeEditorVisible", CmdIsAttributeEditorVisible},
        {"objectMoveCommand", CmdObjectMoveCommand},
        {"openAEWindow", CmdOpenAEWindow},
        {"optionVar", CmdOptionVar},
        {"refreshAE", CmdOpenAEWindow},
        {"setAttributeEditorVisible", CmdSetAttributeEditorVisible},
        {"setChannelBoxVisible", CmdSetChannelBoxVisible},
        {"transformLimits", CmdTransformLimits},
        {"upAxis", CmdUpAxis},
    });
}

} // namespace cmd
} // namespace zelthost
