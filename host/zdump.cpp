// Text views of the scene: the DAG tree, counts, and the full dump.
#include "host/zanim.h"
#include "host/zhost.h"
#include "host/znumber_private.h"
#include "host/zscene_private.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <locale>
#include <sstream>

namespace zelthost {

namespace {

std::string Num(double v)
{
    const std::string text = NumberText(v, 'g', 15);
    double back = 0.0;
    ScanNumber(text, back);
    return back != v && std::isfinite(v) ? NumberText(v, 'g', 17) : text;
}

// A stream that writes counts without the grouping of any locale the
// process may have made global.
std::ostringstream ClassicStream()
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    return out;
}

// Depth-first over the DAG with an explicit stack, so deep trees do not recurse.
template <typename Visit>
void WalkDag(const Scene& scene, Visit visit)
{
    std::vector<std::pair<uint64_t, int>> stack;
    const Node* world = scene.Get(scene.World());
    for (auto it = world->children.rbegin(); it != world->children.rend(); ++it)
        stack.push_back({*it, 0});
    while (!stack.empty())
    {
        auto [id, depth] = stack.back();
        stack.pop_back();
        const Node* node = scene.Get(id);
        if (!node)
            continue;
        visit(node, depth);
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
            stack.push_back({*it, depth + 1});
    }
}

std::string PlugText(const Scene& scene, uint64_t node, int attr, int logical)
{
    (void)scene;
    return ZPlug(node, attr, logical).name().str();
}

} // namespace

std::string Host::ListDag() const
{
    const Scene& scene = const_cast<Host*>(this)->GetScene();
    std::ostringstream out = ClassicStream();
    WalkDag(scene, [&](const Node* node, int depth) {
        out << std::string(depth * 2, ' ') << node->name << " (" << node->type->name
            << (node->intermediate ? ", intermediate" : "") << (node->parents.size() > 1 ? ", instanced" : "") << ")\n";
    });
    return out.str();
}

std::string Host::Info() const
{
    const Scene& scene = const_cast<Host*>(this)->GetScene();
    size_t nodes = 0, dag = 0, transforms = 0, joints = 0, meshes = 0, nurbs = 0, cameras = 0, lights = 0, curves = 0,
           keys = 0, skins = 0, clusters = 0, blends = 0, shaders = 0;
    for (const auto& n : scene.Nodes())
    {
        const Node* node = n.second.get();
        if (node->id == scene.World())
            continue;
        ++nodes;
        dag += node->type->dag;
        transforms += node->Is(ZFn::kTransform) && !node->Is(ZFn::kJoint);
        joints += node->Is(ZFn::kJoint);
        meshes += node->mesh && !node->intermediate;
        nurbs += node->nurbs && !node->intermediate;
        cameras += node->Is(ZFn::kCamera);
        lights += node->Is(ZFn::kLight);
        if (node->curve)
        {
            ++curves;
            keys += node->curve->keys.size();
        }
        skins += node->Is(ZFn::kSkinClusterFilter);
        clusters += node->Is(ZFn::kCluster);
        blends += node->Is(ZFn::kBlendShape);
        shaders += node->Is(ZFn::kLambert);
    }
    std::ostringstream out = ClassicStream();
    out << "nodes: " << nodes << "\n"
        << "dag nodes: " << dag << "\n"
        << "transforms: " << transforms << "\n"
        << "joints: " << joints << "\n"
        << "meshes: " << meshes << "\n"
        << "nurbs surfaces: " << nurbs << "\n"
        << "cameras: " << cameras << "\n"
        << "lights: " << lights << "\n"
        << "shaders: " << shaders << "\n"
        << "anim curves: " << curves << " (" << keys << " keys)\n"
        << "skin clusters: " << skins << "\n"
        << "clusters: " << clusters << "\n"
        << "blend shapes: " << blends << "\n";
    return out.str();
}

std::string Host::Dump() const
{
    const Scene& scene = const_cast<Host*>(this)->GetScene();
    std::ostringstream out = ClassicStream();
    out << "# scene (angles in radians, times in seconds)\n";
    out << "time: current " << Num(scene.currentTime) << " s, range " << Num(scene.minTime) << " .. "
        << Num(scene.maxTime) << " s\n";
    out << "namespace: :" << scene.currentNamespace << "\n";
    for (const auto& ns : scene.namespaces)
        out << "namespace " << ns << "\n";
    out << "\n# dag\n" << ListDag();
    out << "\n# nodes\n";
    for (const auto& n : scene.Nodes())
    {
        const Node* node = n.second.get();
        if (node->id == scene.World())
            continue;
        out << node->name << " (" << node->type->name << ")\n";
        // Attribute values that differ from their defaults, in attribute order.
        std::vector<uint64_t> keys;
        keys.reserve(node->values.size());
        for (const auto& v : node->values)
            keys.push_back(v.first);
        std::sort(keys.begin(), keys.end());
        for (const AttrDef& def : node->dynamic)
            if (!def.name.empty() && def.parent < 0)
                out << "  attribute " << def.name << " (numeric type " << def.numericType << ")\n";
        for (uint64_t key : keys)
        {
            int a = static_cast<int>(key >> 32);
            int logical = static_cast<int>(static_cast<uint32_t>(key)) - 1;
            const AttrDef* def = node->Attr(a);
            const Value& v = node->values.at(key);
            if (!def || def->name.empty())
                continue;
            std::string text;
            if (def->kind == AttrDef::kString)
                text = "\"" + v.str + "\"";
            else if (def->kind == AttrDef::kMatrix)
                for (size_t k = 0; k < v.matrix.size(); ++k)
                    text += (k ? " " : "") + Num(v.matrix[k]);
            else if (v.num == def->defaultValue)
                continue;
            else
                text = Num(v.num);
            out << "  ." << ZPlug(node->id, a, logical).partialName(false, false, false, false, false, true).str()
                << " = " << text << "\n";
        }
        for (uint64_t key : node->locked)
            out << "  locked ."
                << ZPlug(node->id, static_cast<int>(key >> 32), static_cast<int>(static_cast<uint32_t>(key)) - 1)
                       .partialName(false, false, false, false, false, true)
                       .str()
                << "\n";
        for (const Connection& c : node->out)
            out << "  " << PlugText(scene, c.src, c.srcAttr, c.srcLogical) << " -> "
                << PlugText(scene, c.dst, c.dstAttr, c.dstLogical) << "\n";
        if (node->curve)
        {
            out << "  curve type " << node->curve->type << (node->curve->weighted ? " weighted" : "") << ", "
                << node->curve->keys.size() << " keys\n";
            for (const CurveKey& k : node->curve->keys)
            {
                out << "    key " << Num(k.time) << " s = " << Num(k.value) << " in " << k.inType << " out "
                    << k.outType << (k.tangentsLocked ? " locked" : "");
                if (k.hasIn)
                    out << " inTangent " << Num(k.inX) << "," << Num(k.inY);
                if (k.hasOut)
                    out << " outTangent " << Num(k.outX) << "," << Num(k.outY);
                out << "\n";
            }
        }
        if (node->mesh)
        {
            const MeshData& m = *node->mesh;
            out << "  mesh " << m.points.size() << " points, " << m.counts.size() << " polygons\n";
            for (size_t p = 0; p < m.counts.size(); ++p)
            {
                out << "    polygon " << p << ":";
                for (int k = 0; k < m.counts[p]; ++k)
                    out << " " << m.connects[m.offsets[p] + k];
                out << "\n";
            }
            for (const auto& uv : m.uvSets)
                out << "    uv set " << uv.name << ": " << uv.u.size() << " uvs" << (uv.assigned ? ", assigned" : "")
                    << "\n";
            if (!m.vertexColors.empty() || !m.faceVertexColors.empty())
                out << "    colours: " << m.vertexColors.size() << " by vertex, " << m.faceVertexColors.size()
                    << " by face vertex\n";
            if (!m.vertexNormals.empty() || !m.faceVertexNormals.empty())
                out << "    normals: " << m.vertexNormals.size() << " by vertex, " << m.faceVertexNormals.size()
                    << " by face vertex\n";
        }
        if (node->nurbs)
            out << "  nurbs " << node->nurbs->CountU() << " x " << node->nurbs->CountV() << " cvs, degrees "
                << node->nurbs->degreeU << " " << node->nurbs->degreeV << ", forms " << node->nurbs->formU << " "
                << node->nurbs->formV << "\n";
        for (const SetMember& m : node->members)
            if (const Node* member = scene.Get(m.node))
                out << "  member " << ComponentText(m, member, member->name) << "\n";
        if (node->skin)
        {
            out << "  influences:";
            for (uint64_t j : node->skin->influences)
                out << " " << (scene.Get(j) ? scene.Get(j)->name : std::string("<deleted>"));
            out << "\n";
            for (const auto& w : node->skin->weights)
            {
                out << "    point " << w.first << ":";
                for (const auto& e : w.second)
                    if (e.second != 0)
                        out << " " << e.first << "=" << Num(e.second);
                out << "\n";
            }
        }
        for (const auto& w : node->weights)
            out << "  weight " << w.first.first << (node->Is(ZFn::kCluster) && w.first.second ? "," : "")
                << (w.first.second ? std::to_string(w.first.second) : "") << " = " << Num(w.second) << "\n";
        for (const auto& t : node->targets)
            for (uint64_t id : t.second)
                if (const Node* target = scene.Get(id))
                    out << "  target " << t.first << ": " << target->name << "\n";
    }
    out << "\n# selection\n";
    ZStringArray selected;
    scene.selection.getSelectionStrings(selected);
    for (unsigned i = 0; i < selected.length(); ++i)
        out << selected[i].str() << "\n";
    return out.str();
}

} // namespace zelthost
