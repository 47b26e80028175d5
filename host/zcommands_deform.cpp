// Skin clusters, clusters and their weights.
#include "host/zcommands_private.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace zelthost {
namespace cmd {

namespace {

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

} // namespace

void AddDeformerCommands(CommandTable& table)
{
    table.insert({
        {"cluster", CmdCluster},
        {"newBindSkin", CmdNewBindSkin},
        {"newSkinCluster", CmdNewSkinCluster},
        {"percent", CmdPercent},
        {"skinPercent", CmdSkinPercent},
    });
}

} // namespace cmd
} // namespace zelthost
