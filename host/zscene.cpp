// The scene model: node types, unique names, namespaces, DAG links and
// connections.
#include "host/zfn.h"
#include "host/zhost.h"
#include "host/zscene_private.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

namespace zelthost {

// ---- Node types ----

namespace {

class TypeBuilder
{
public:
    TypeBuilder(const std::string& name, std::vector<ZFn::Type> fn, bool dag, bool shape)
    {
        mType.name = name;
        mType.fnTypes = std::move(fn);
        mType.dag = dag;
        mType.shape = shape;
        Add("message", "msg", AttrDef::kMessage);
        if (dag)
        {
            Num("visibility", "v", kNumBoolean, kUnitless, 1.0, true);
            int wm = Add("worldMatrix", "wm", AttrDef::kMatrix);
            mType.attrs[wm].array = true;
        }
    }
    int Add(const std::string& name, const std::string& shortName, AttrDef::Kind kind, int parent = -1)
    {
        AttrDef def;
        def.name = name;
        def.shortName = shortName;
        def.kind = kind;
        def.parent = parent;
        def.numericType = kind == AttrDef::kNumeric ? kNumDouble : kNumInvalid;
        int index = static_cast<int>(mType.attrs.size());
        mType.attrs.push_back(def);
        if (parent >= 0)
            mType.attrs[parent].children.push_back(index);
        mType.byName.emplace(name, index);
        mType.byName.emplace(shortName, index);
        return index;
    }
    int Num(const std::string& name, const std::string& shortName, int numType, UnitKind unit, double def, bool keyable,
            int parent = -1)
    {
        int i = Add(name, shortName, AttrDef::kNumeric, parent);
        mType.attrs[i].numericType = numType;
        mType.attrs[i].unit = unit;
        mType.attrs[i].defaultValue = def;
        mType.attrs[i].keyable = keyable;
        return i;
    }
    // A three-part compound: children name + suffixes.
    int Vec(const std::string& name, const std::string& shortName, const char* suffixes, UnitKind unit, double def,
            bool keyable, int numType = kNumDouble, int parent = -1)
    {
        int c = Add(name, shortName, AttrDef::kCompound, parent);
        mType.attrs[c].numericType = numType == kNumFloat ? kNum3Float : kNum3Double;
        mType.attrs[c].keyable = keyable;
        for (int k = 0; k < 3; ++k)
            Num(name + suffixes[k], shortName + static_cast<char>(std::tolower(suffixes[k])), numType, unit, def,
                keyable, c);
        return c;
    }
    TypeInfo mType;
};

void AddTransformAttrs(TypeBuilder& b)
{
    b.Vec("translate", "t", "XYZ", kDistance, 0, true);
    b.Vec("rotate", "r", "XYZ", kAngle, 0, true);
    b.Vec("scale", "s", "XYZ", kUnitless, 1, true);
    b.Vec("rotatePivot", "rp", "XYZ", kDistance, 0, false);
    b.Vec("rotatePivotTranslate", "rpt", "XYZ", kDistance, 0, false);
    b.Vec("scalePivot", "sp", "XYZ", kDistance, 0, false);
    b.Vec("scalePivotTranslate", "spt", "XYZ", kDistance, 0, false);
    b.Vec("rotateAxis", "ra", "XYZ", kAngle, 0, false);
    b.Num("rotateOrder", "ro", kNumShort, kUnitless, 0, false);
    b.Num("inheritsTransform", "it", kNumBoolean, kUnitless, 1, false);
    static const char* kinds[] = {"Trans", "Rot", "Scale"};
    static const char* shorts[] = {"t", "r", "s"};
    for (int k = 0; k < 3; ++k)
        for (const char* axis : {"X", "Y", "Z"})
        {
            std::string a = axis, s = std::string(shorts[k]) + static_cast<char>(std::tolower(axis[0]));
            UnitKind unit = k == 0 ? kDistance : (k == 1 ? kAngle : kUnitless);
            double limit = k == 2 ? 1.0 : (k == 1 ? -M_PI * 2 : -1.0);
            b.Num(std::string("min") + kinds[k] + a + "Limit", "mn" + s + "l", kNumDouble, unit, limit, false);
            b.Num(std::string("max") + kinds[k] + a + "Limit", "mx" + s + "l", kNumDouble, unit,
                  k == 1 ? M_PI * 2 : 1.0, false);
            b.Num(std::string("min") + kinds[k] + a + "LimitEnable", "mn" + s + "le", kNumBoolean, kUnitless, 0, false);
            b.Num(std::string("max") + kinds[k] + a + "LimitEnable", "mx" + s + "le", kNumBoolean, kUnitless, 0, false);
        }
}

void AddGeometryFilterAttrs(TypeBuilder& b)
{
    int in = b.Add("input", "ip", AttrDef::kMessage);
    b.mType.attrs[in].array = true;
    int out = b.Add("outputGeometry", "og", AttrDef::kMessage);
    b.mType.attrs[out].array = true;
    b.Num("envelope", "en", kNumFloat, kUnitless, 1, true);
}

void AddLambertAttrs(TypeBuilder& b)
{
    b.Vec("color", "c", "RGB", kUnitless, 0.5, true, kNumFloat);
    b.Vec("transparency", "it", "RGB", kUnitless, 0, true, kNumFloat);
    b.Vec("ambientColor", "ac", "RGB", kUnitless, 0, true, kNumFloat);
    b.Vec("incandescence", "ic", "RGB", kUnitless, 0, true, kNumFloat);
    b.Num("diffuse", "dc", kNumFloat, kUnitless, 0.8, true);
    b.Vec("outColor", "oc", "RGB", kUnitless, 0, false, kNumFloat);
}

std::map<std::string, TypeInfo> BuildTypes()
{
    std::map<std::string, TypeInfo> types;
    auto keep = [&types](TypeBuilder& b) { types.emplace(b.mType.name, b.mType); };
    using F = ZFn;
    {
        TypeBuilder b("world", {F::kWorld, F::kDagNode, F::kDependencyNode}, true, false);
        keep(b);
    }
    {
        TypeBuilder b("transform", {F::kTransform, F::kDagNode, F::kDependencyNode}, true, false);
        AddTransformAttrs(b);
        keep(b);
    }
    {
        TypeBuilder b("joint", {F::kJoint, F::kTransform, F::kDagNode, F::kDependencyNode}, true, false);
        AddTransformAttrs(b);
        b.Vec("jointOrient", "jo", "XYZ", kAngle, 0, false);
        b.Add("bindPose", "bps", AttrDef::kMatrix);
        keep(b);
    }
    {
        TypeBuilder b("locator", {F::kLocator, F::kShape, F::kDagNode, F::kDependencyNode}, true, true);
        b.Vec("localPosition", "lp", "XYZ", kDistance, 0, false);
        keep(b);
    }
    {
        TypeBuilder b("mesh", {F::kMesh, F::kShape, F::kDagNode, F::kDependencyNode}, true, true);
        b.Add("inMesh", "i", AttrDef::kMessage);
        b.Add("outMesh", "o", AttrDef::kMessage);
        keep(b);
    }
    {
        TypeBuilder b("nurbsSurface", {F::kNurbsSurface, F::kShape, F::kDagNode, F::kDependencyNode}, true, true);
        b.Add("create", "cr", AttrDef::kMessage);
        b.Add("local", "l", AttrDef::kMessage);
        b.Num("curvePrecisionShaded", "cps", kNumShort, kUnitless, 1, false);
        keep(b);
    }
    {
        TypeBuilder b("camera", {F::kCamera, F::kShape, F::kDagNode, F::kDependencyNode}, true, true);
        b.Num("centerOfInterest", "coi", kNumDouble, kDistance, 5, false);
        b.Num("focalLength", "fl", kNumDouble, kUnitless, 35, true);
        b.Num("lensSqueezeRatio", "lsr", kNumDouble, kUnitless, 1, false);
        b.Num("cameraScale", "cs", kNumDouble, kUnitless, 1, false);
        b.Num("horizontalFilmAperture", "hfa", kNumDouble, kUnitless, 1.41732, false);
        b.Num("horizontalFilmOffset", "hfo", kNumDouble, kUnitless, 0, false);
        b.Num("verticalFilmAperture", "vfa", kNumDouble, kUnitless, 0.94488, false);
        b.Num("verticalFilmOffset", "vfo", kNumDouble, kUnitless, 0, false);
        b.Num("filmFit", "ff", kNumShort, kUnitless, 1, false);
        b.Num("overscan", "ovr", kNumDouble, kUnitless, 1, false);
        b.Num("motionBlur", "mb", kNumBoolean, kUnitless, 0, false);
        b.Num("shutterAngle", "sa", kNumDouble, kAngle, 144 * M_PI / 180, false);
        b.Num("nearClipPlane", "ncp", kNumDouble, kDistance, 0.1, false);
        b.Num("farClipPlane", "fcp", kNumDouble, kDistance, 10000, false);
        b.Num("clippingPlanes", "cp", kNumBoolean, kUnitless, 1, false);
        b.Num("orthographic", "o", kNumBoolean, kUnitless, 0, false);
        b.Num("orthographicWidth", "ow", kNumDouble, kDistance, 30, false);
        b.Num("focusDistance", "fd", kNumDouble, kDistance, 5, true);
        keep(b);
    }
    for (const char* light : {"pointLight", "directionalLight", "spotLight"})
    {
        ZFn::Type t = std::strcmp(light, "pointLight") == 0
                          ? F::kPointLight
                          : (std::strcmp(light, "spotLight") == 0 ? F::kSpotLight : F::kDirectionalLight);
        TypeBuilder b(light, {t, F::kLight, F::kShape, F::kDagNode, F::kDependencyNode}, true, true);
        b.Vec("color", "cl", "RGB", kUnitless, 1, true, kNumFloat);
        b.Num("intensity", "in", kNumFloat, kUnitless, 1, true);
        if (t == F::kSpotLight)
        {
            b.Num("coneAngle", "ca", kNumDouble, kAngle, 40 * M_PI / 180, true);
            b.Num("penumbraAngle", "pa", kNumDouble, kAngle, 0, true);
            b.Num("dropoff", "dro", kNumDouble, kUnitless, 0, true);
        }
        keep(b);
    }
    {
        TypeBuilder b("clusterHandle", {F::kClusterHandle, F::kShape, F::kDagNode, F::kDependencyNode}, true, true);
        keep(b);
    }
    {
        TypeBuilder b("lambert", {F::kLambert, F::kDependencyNode}, false, false);
        AddLambertAttrs(b);
        keep(b);
    }
    {
        TypeBuilder b("phong", {F::kPhong, F::kReflect, F::kLambert, F::kDependencyNode}, false, false);
        AddLambertAttrs(b);
        b.Vec("specularColor", "sc", "RGB", kUnitless, 0.5, true, kNumFloat);
        b.Num("reflectivity", "rfl", kNumFloat, kUnitless, 0.5, true);
        b.Num("cosinePower", "cp", kNumFloat, kUnitless, 20, true);
        keep(b);
    }
    for (const char* set : {"objectSet", "shadingEngine", "character"})
    {
        bool sg = std::strcmp(set, "shadingEngine") == 0;
        TypeBuilder b(set,
                      sg ? std::vector<ZFn::Type>{F::kShadingEngine, F::kSet, F::kDependencyNode}
                         : std::vector<ZFn::Type>{F::kSet, F::kDependencyNode},
                      false, false);
        int used = b.Add("usedBy", "ub", AttrDef::kMessage);
        b.mType.attrs[used].array = true;
        if (sg)
            b.Vec("surfaceShader", "ss", "RGB", kUnitless, 0, false, kNumFloat);
        keep(b);
    }
    {
        TypeBuilder b("skinCluster", {F::kSkinClusterFilter, F::kGeometryFilter, F::kDependencyNode}, false, false);
        AddGeometryFilterAttrs(b);
        int ma = b.Add("matrix", "ma", AttrDef::kMatrix);
        b.mType.attrs[ma].array = true;
        int pm = b.Add("bindPreMatrix", "pm", AttrDef::kMatrix);
        b.mType.attrs[pm].array = true;
        b.Add("geomMatrix", "gm", AttrDef::kMatrix);
        b.Num("normalizeWeights", "nw", kNumInt, kUnitless, 1, false);
        b.Num("maxInfluences", "mi", kNumInt, kUnitless, 5, false);
        b.Num("dropoffRate", "dr", kNumDouble, kUnitless, 4, false);
        keep(b);
    }
    {
        TypeBuilder b("cluster", {F::kCluster, F::kGeometryFilter, F::kDependencyNode}, false, false);
        AddGeometryFilterAttrs(b);
        b.Add("matrix", "ma", AttrDef::kMatrix);
        b.Add("bindPreMatrix", "pm", AttrDef::kMatrix);
        b.Num("relative", "rel", kNumBoolean, kUnitless, 0, false);
        keep(b);
    }
    {
        TypeBuilder b("blendShape", {F::kBlendShape, F::kGeometryFilter, F::kDependencyNode}, false, false);
        AddGeometryFilterAttrs(b);
        int w = b.Num("weight", "w", kNumDouble, kUnitless, 0, true);
        b.mType.attrs[w].array = true;
        keep(b);
    }
    {
        TypeBuilder b("rigidSkin", {F::kRigidSkin, F::kGeometryFilter, F::kDependencyNode}, false, false);
        AddGeometryFilterAttrs(b);
        keep(b);
    }
    static const struct
    {
        const char* name;
        ZFn::Type fn;
        int unit;
    } curves[] = {{"animCurveTA", F::kAnimCurveTimeToAngular, kAngle},
                  {"animCurveTL", F::kAnimCurveTimeToDistance, kDistance},
                  {"animCurveTT", F::kAnimCurveTimeToTime, kUnitless},
                  {"animCurveTU", F::kAnimCurveTimeToUnitless, kUnitless},
                  {"animCurveUU", F::kAnimCurveUnitlessToUnitless, kUnitless}};
    for (const auto& c : curves)
    {
        TypeBuilder b(c.name, {c.fn, F::kAnimCurve, F::kDependencyNode}, false, false);
        b.Num("input", "i", kNumDouble, kUnitless, 0, false);
        b.Num("output", "o", kNumDouble, static_cast<UnitKind>(c.unit), 0, false);
        keep(b);
    }
    {
        TypeBuilder b("file", {F::kFileTexture, F::kDependencyNode}, false, false);
        b.Add("fileTextureName", "ftn", AttrDef::kString);
        int uv = b.Add("uvCoord", "uv", AttrDef::kCompound);
        b.Num("uCoord", "u", kNumFloat, kUnitless, 0, false, uv);
        b.Num("vCoord", "v", kNumFloat, kUnitless, 0, false, uv);
        b.Vec("outColor", "oc", "RGB", kUnitless, 0, false, kNumFloat);
        b.Num("outAlpha", "oa", kNumFloat, kUnitless, 0, false);
        keep(b);
    }
    {
        TypeBuilder b("place2dTexture", {F::kPlace2dTexture, F::kDependencyNode}, false, false);
        int uv = b.Add("outUV", "ouv", AttrDef::kCompound);
        b.Num("outU", "ou", kNumFloat, kUnitless, 0, false, uv);
        b.Num("outV", "ov", kNumFloat, kUnitless, 0, false, uv);
        b.Num("offsetU", "ofu", kNumFloat, kUnitless, 0, true);
        b.Num("offsetV", "ofv", kNumFloat, kUnitless, 0, true);
        b.Num("rotateFrame", "rf", kNumDouble, kAngle, 0, true);
        b.Num("repeatU", "reu", kNumFloat, kUnitless, 1, true);
        b.Num("repeatV", "rev", kNumFloat, kUnitless, 1, true);
        keep(b);
    }
    {
        TypeBuilder b("layeredTexture", {F::kLayeredTexture, F::kDependencyNode}, false, false);
        int inputs = b.Add("inputs", "cs", AttrDef::kCompound);
        b.mType.attrs[inputs].array = true;
        b.Vec("color", "c", "RGB", kUnitless, 0, true, kNumFloat, inputs);
        b.Num("alpha", "a", kNumFloat, kUnitless, 1, true, inputs);
        b.Num("blendMode", "bm", kNumInt, kUnitless, 1, false, inputs);
        b.Vec("outColor", "oc", "RGB", kUnitless, 0, false, kNumFloat);
        b.Num("outAlpha", "oa", kNumFloat, kUnitless, 0, false);
        keep(b);
    }
    {
        TypeBuilder b("shaderList", {F::kShaderList, F::kDependencyNode}, false, false);
        int s = b.Add("shaders", "s", AttrDef::kMessage);
        b.mType.attrs[s].array = true;
        keep(b);
    }
    return types;
}

const std::map<std::string, TypeInfo>& Types()
{
    static const std::map<std::string, TypeInfo> types = BuildTypes();
    return types;
}

} // namespace

const TypeInfo* FindType(const std::string& name)
{
    auto it = Types().find(name);
    return it == Types().end() ? nullptr : &it->second;
}

// ---- Node ----

const AttrDef* Node::Attr(int index) const
{
    int n = static_cast<int>(type->attrs.size());
    if (index < 0)
        return nullptr;
    if (index < n)
        return &type->attrs[index];
    // A removed dynamic attribute keeps its index but has no name.
    if (index - n < static_cast<int>(dynamic.size()) && !dynamic[index - n].name.empty())
        return &dynamic[index - n];
    return nullptr;
}

int Node::FindAttr(const std::string& name) const
{
    auto it = type->byName.find(name);
    if (it != type->byName.end())
        return it->second;
    for (size_t i = 0; i < dynamic.size(); ++i)
        if (dynamic[i].name == name || dynamic[i].shortName == name)
            return static_cast<int>(type->attrs.size() + i);
    return -1;
}

bool Node::Is(ZFn::Type fn) const
{
    if (fn == ZFn::kBase)
        return true;
    return std::find(type->fnTypes.begin(), type->fnTypes.end(), fn) != type->fnTypes.end();
}

int MeshData::FindUVSet(const std::string& name) const
{
    for (size_t i = 0; i < uvSets.size(); ++i)
        if (uvSets[i].name == name)
            return static_cast<int>(i);
    return -1;
}

double CurveData::Evaluate(double t) const
{
    if (keys.empty())
        return 0;
    if (t <= keys.front().time)
        return keys.front().value;
    if (t >= keys.back().time)
        return keys.back().value;
    auto hi =
        std::upper_bound(keys.begin(), keys.end(), t, [](double time, const CurveKey& k) { return time < k.time; });
    const CurveKey& b = *hi;
    const CurveKey& a = *(hi - 1);
    if (a.outType == 5) // step
        return a.value;
    double f = (t - a.time) / (b.time - a.time);
    return a.value + (b.value - a.value) * f;
}

// ---- Scene ----

Scene::Scene()
{
    ZStatus st;
    auto world = std::make_unique<Node>();
    world->id = mNextId++;
    world->name = "world";
    world->type = FindType("world");
    mWorld = world->id;
    mById[world->id] = world.get();
    mNodes.emplace(world->id, std::move(world));
}

Node* Scene::Get(uint64_t id) const
{
    auto it = mById.find(id);
    return it == mById.end() ? nullptr : it->second;
}

Node* Scene::FindByName(const std::string& name) const
{
    bool absolute = !name.empty() && name[0] == ':';
    std::string n = absolute ? name.substr(1) : name;
    // A relative name is looked up in the current namespace first.
    if (!absolute && !currentNamespace.empty())
    {
        auto local = mByName.find(currentNamespace + ":" + n);
        if (local != mByName.end())
            return Get(local->second);
    }
    auto it = mByName.find(n);
    return it == mByName.end() ? nullptr : Get(it->second);
}

std::string Scene::Qualify(const std::string& name) const
{
    if (!name.empty() && name[0] == ':')
        return name.substr(1);
    return currentNamespace.empty() ? name : currentNamespace + ":" + name;
}

std::string Scene::UniqueName(const std::string& wanted)
{
    if (!mByName.count(wanted))
        return wanted;
    size_t end = wanted.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(wanted[end - 1])))
        --end;
    std::string base = wanted.substr(0, end);
    unsigned& next = mNextSuffix[base];
    if (next == 0)
        next = 1;
    while (mByName.count(base + std::to_string(next)))
        ++next;
    return base + std::to_string(next++);
}

void Scene::Unname(Node* node)
{
    auto it = mByName.find(node->name);
    if (it != mByName.end() && it->second == node->id)
        mByName.erase(it);
}

// The host's name rule: letters, digits and "_" in each namespace part, not
// starting with a digit. Other characters become "_" (a leading digit gets a
// "_" in front), as the host does on renaming; an empty name is refused.
static bool CleanName(std::string& name)
{
    if (name.empty() || name.back() == ':')
        return false;
    bool absolute = name[0] == ':';
    std::string out = absolute ? ":" : "";
    bool partStart = true;
    for (size_t i = absolute ? 1 : 0; i < name.size(); ++i)
    {
        char c = name[i];
        if (c == ':')
        {
            if (partStart)
                return false; // an empty namespace part
            out += c;
            partStart = true;
            continue;
        }
        if (partStart && std::isdigit(static_cast<unsigned char>(c)))
            out += '_';
        out += std::isalnum(static_cast<unsigned char>(c)) || c == '_' ? c : '_';
        partStart = false;
    }
    name = out;
    return true;
}

Node* Scene::Create(const std::string& typeName, const std::string& name, uint64_t parent, ZStatus* status)
{
    const TypeInfo* type = FindType(typeName);
    if (!type || typeName == "world")
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "Unknown node type: " + typeName));
        return nullptr;
    }
    Node* parentNode = nullptr;
    if (type->dag)
    {
        parentNode = Get(parent ? parent : mWorld);
        if (!parentNode || !parentNode->type->dag)
        {
            ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "the parent is not a DAG node"));
            return nullptr;
        }
        if (parentNode->type->shape)
        {
            ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "a shape cannot have children"));
            return nullptr;
        }
        if (type->shape && parentNode->id == mWorld)
        {
            ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "a shape needs a transform parent"));
            return nullptr;
        }
    }
    std::string wanted = name.empty() ? typeName + (type->shape ? "Shape1" : "1") : name;
    if (!CleanName(wanted))
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "Invalid node name: " + wanted));
        return nullptr;
    }
    std::string full = Qualify(wanted);
    size_t colon = full.rfind(':');
    if (colon != std::string::npos && !namespaces.count(full.substr(0, colon)))
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "Namespace does not exist: " + full.substr(0, colon)));
        return nullptr;
    }
    auto node = std::make_unique<Node>();
    node->id = mNextId++;
    node->type = type;
    node->name = UniqueName(full);
    mByName[node->name] = node->id;
    mById[node->id] = node.get();
    if (parentNode)
    {
        node->parents.push_back(parentNode->id);
        parentNode->children.push_back(node->id);
    }
    Node* out = node.get();
    mNodes.emplace(out->id, std::move(node));
    ZSetStatus(status, ZStatus());
    return out;
}

std::string Scene::Rename(Node* node, const std::string& name, ZStatus* status)
{
    if (!node || node->id == mWorld)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "the world cannot be renamed"));
        return std::string();
    }
    std::string clean = name;
    if (!CleanName(clean))
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "Invalid node name: " + name));
        return std::string();
    }
    std::string full = Qualify(clean);
    size_t colon = full.rfind(':');
    if (colon != std::string::npos && !namespaces.count(full.substr(0, colon)))
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "Namespace does not exist: " + full.substr(0, colon)));
        return std::string();
    }
    if (full == node->name)
    {
        ZSetStatus(status, ZStatus());
        return node->name;
    }
    Unname(node);
    node->name = UniqueName(full);
    mByName[node->name] = node->id;
    ZSetStatus(status, ZStatus());
    return node->name;
}

void Scene::Delete(uint64_t id)
{
    Node* node = Get(id);
    if (!node || id == mWorld)
        return;
    // Children that have no other parent go with it; instances stay.
    std::vector<uint64_t> children = node->children;
    for (uint64_t c : children)
    {
        Node* child = Get(c);
        if (!child)
            continue;
        child->parents.erase(std::remove(child->parents.begin(), child->parents.end(), id), child->parents.end());
        if (child->parents.empty())
            Delete(c);
    }
    for (uint64_t p : node->parents)
        if (Node* parent = Get(p))
            parent->children.erase(std::remove(parent->children.begin(), parent->children.end(), id),
                                   parent->children.end());
    for (const Connection& c : node->in)
        if (Node* other = Get(c.src); other && other != node)
            other->out.erase(std::remove(other->out.begin(), other->out.end(), c), other->out.end());
    for (const Connection& c : node->out)
        if (Node* other = Get(c.dst); other && other != node)
            other->in.erase(std::remove(other->in.begin(), other->in.end(), c), other->in.end());
    Unname(node);
    mById.erase(id);
    mNodes.erase(id);
}

bool Scene::IsAncestor(uint64_t maybeAncestor, uint64_t id) const
{
    // Iterative walk up every parent chain.
    std::vector<uint64_t> stack{id};
    std::set<uint64_t> seen;
    while (!stack.empty())
    {
        uint64_t n = stack.back();
        stack.pop_back();
        if (n == maybeAncestor)
            return true;
        if (!seen.insert(n).second)
            continue;
        if (Node* node = Get(n))
            stack.insert(stack.end(), node->parents.begin(), node->parents.end());
    }
    return false;
}

ZStatus Scene::Reparent(uint64_t childId, uint64_t newParentId, bool keepExisting, uint64_t oldParent)
{
    Node* child = Get(childId);
    Node* parent = Get(newParentId ? newParentId : mWorld);
    if (!child || !child->type->dag || child->id == mWorld)
        return ZStatus(ZStatus::kInvalidParameter, "the child is not a DAG node");
    if (!parent || !parent->type->dag || parent->type->shape)
        return ZStatus(ZStatus::kInvalidParameter, "the parent cannot have children");
    if (child->type->shape && parent->id == mWorld)
        return ZStatus(ZStatus::kInvalidParameter, "a shape needs a transform parent");
    if (IsAncestor(child->id, parent->id))
        return ZStatus(ZStatus::kInvalidParameter, "Cannot parent " + child->name + " under its own descendant");
    bool already = std::find(parent->children.begin(), parent->children.end(), child->id) != parent->children.end();
    if (keepExisting)
    {
        if (already)
            return ZStatus(ZStatus::kInvalidParameter, child->name + " is already a child of " + parent->name);
    }
    else
    {
        std::vector<uint64_t> from = child->parents;
        if (oldParent)
            from = {oldParent};
        for (uint64_t p : from)
        {
            if (Node* old = Get(p))
                old->children.erase(std::remove(old->children.begin(), old->children.end(), child->id),
                                    old->children.end());
            child->parents.erase(std::remove(child->parents.begin(), child->parents.end(), p), child->parents.end());
        }
        already = std::find(parent->children.begin(), parent->children.end(), child->id) != parent->children.end();
        if (already)
            return ZStatus();
    }
    parent->children.push_back(child->id);
    child->parents.push_back(parent->id);
    return ZStatus();
}

static ZStatus CheckPlug(const Scene& scene, const ZPlug& plug, Node** node, const AttrDef** def)
{
    *node = scene.Get(plug.nodeId());
    if (!*node)
        return ZStatus(ZStatus::kInvalidParameter, "the plug's node does not exist");
    *def = (*node)->Attr(plug.attributeIndex());
    if (!*def)
        return ZStatus(ZStatus::kInvalidParameter, "the plug's attribute does not exist");
    return ZStatus();
}

static bool IsArrayWithoutIndex(const Node* node, const AttrDef* def, int logical)
{
    // An array attribute, or a child of one, must name an element.
    if (logical >= 0)
        return false;
    if (def->array)
        return true;
    return def->parent >= 0 && node->Attr(def->parent)->array;
}

ZStatus Scene::Connect(const ZPlug& src, const ZPlug& dst, bool force)
{
    Node *s, *d;
    const AttrDef *sd, *dd;
    ZStatus st = CheckPlug(*this, src, &s, &sd);
    if (st)
        st = CheckPlug(*this, dst, &d, &dd);
    if (!st)
        return st;
    if (src == dst)
        return ZStatus(ZStatus::kInvalidParameter, "a plug cannot be connected to itself");
    if (IsArrayWithoutIndex(s, sd, src.logical()) && sd->kind != AttrDef::kMessage)
        return ZStatus(ZStatus::kInvalidParameter, "an element index is needed on " + src.name().str());
    if (IsArrayWithoutIndex(d, dd, dst.logical()))
        return ZStatus(ZStatus::kInvalidParameter, "an element index is needed on " + dst.name().str());
    if (!dd->connectable || !sd->connectable)
        return ZStatus(ZStatus::kInvalidParameter, "the attribute is not connectable");
    bool compatible = sd->kind == dd->kind || sd->kind == AttrDef::kMessage || dd->kind == AttrDef::kMessage;
    if (compatible && sd->kind == AttrDef::kCompound)
        compatible = sd->children.size() == dd->children.size();
    if (!compatible)
        return ZStatus(ZStatus::kInvalidParameter,
                       "The attribute " + src.name().str() + " cannot be connected to " + dst.name().str());
    if (d->locked.count(ValueKey(dst.attributeIndex(), dst.logical())))
        return ZStatus(ZStatus::kFailure, "The destination attribute '" + dst.name().str() + "' is locked");
    for (const Connection& c : d->in)
        if (c.dstAttr == dst.attributeIndex() && c.dstLogical == dst.logical())
        {
            if (c.src == src.nodeId() && c.srcAttr == src.attributeIndex() && c.srcLogical == src.logical())
                return ZStatus(ZStatus::kFailure, src.name().str() + " is already connected to " + dst.name().str());
            if (!force)
                return ZStatus(ZStatus::kFailure, "The destination attribute '" + dst.name().str() +
                                                      "' already has an incoming connection");
            ZStatus undone = Disconnect(ZPlug(c.src, c.srcAttr, c.srcLogical), dst);
            if (!undone)
                return undone;
            break;
        }
    Connection c{src.nodeId(), src.attributeIndex(), src.logical(), dst.nodeId(), dst.attributeIndex(), dst.logical()};
    s->out.push_back(c);
    d->in.push_back(c);
    auto mark = [](Node* n, const AttrDef* def, int attr, int logical) {
        if (logical < 0)
            return;
        int arr = def->array ? attr : def->parent;
        n->elements[arr].insert(logical);
    };
    mark(s, sd, src.attributeIndex(), src.logical());
    mark(d, dd, dst.attributeIndex(), dst.logical());
    return ZStatus();
}

ZStatus Scene::Disconnect(const ZPlug& src, const ZPlug& dst)
{
    Node* s = Get(src.nodeId());
    Node* d = Get(dst.nodeId());
    if (!s || !d)
        return ZStatus(ZStatus::kInvalidParameter, "the plug's node does not exist");
    Connection c{src.nodeId(), src.attributeIndex(), src.logical(), dst.nodeId(), dst.attributeIndex(), dst.logical()};
    auto it = std::find(d->in.begin(), d->in.end(), c);
    if (it == d->in.end())
        return ZStatus(ZStatus::kFailure, src.name().str() + " is not connected to " + dst.name().str());
    d->in.erase(it);
    s->out.erase(std::remove(s->out.begin(), s->out.end(), c), s->out.end());
    return ZStatus();
}

// Paths to a node, remembering those of every multi-parent ancestor so that a
// chain of instances costs its depth times the paths, not the paths squared.
static std::vector<std::vector<uint64_t>>
PathsTo(const Scene& scene, uint64_t id, std::unordered_map<uint64_t, std::vector<std::vector<uint64_t>>>& memo)
{
    std::vector<std::vector<uint64_t>> out;
    Node* node = scene.Get(id);
    if (!node || !node->type->dag)
        return out;
    if (id == scene.World())
        return {std::vector<uint64_t>()};
    // A single parent chain is walked up without recursion.
    std::vector<uint64_t> chain{id};
    while (node && node->parents.size() == 1 && node->parents.front() != scene.World())
    {
        chain.push_back(node->parents.front());
        node = scene.Get(node->parents.front());
    }
    if (!node || node->parents.empty())
        return out;
    std::vector<std::vector<uint64_t>> heads;
    if (node->parents.size() == 1)
        heads.push_back({});
    else
    {
        // Parents in order; a cycle cannot form (Reparent refuses one).
        for (uint64_t p : node->parents)
        {
            auto it = memo.find(p);
            if (it == memo.end())
                it = memo.emplace(p, PathsTo(scene, p, memo)).first;
            for (const auto& path : it->second)
                if (heads.size() < Scene::kMaxPaths)
                    heads.push_back(path);
        }
    }
    for (auto& head : heads)
    {
        head.insert(head.end(), chain.rbegin(), chain.rend());
        out.push_back(std::move(head));
    }
    return out;
}

std::vector<uint64_t> Scene::FirstPathTo(uint64_t id) const
{
    std::vector<uint64_t> path;
    Node* node = Get(id);
    if (!node || !node->type->dag || id == mWorld)
        return path;
    while (node && node->id != mWorld && !node->parents.empty())
    {
        path.push_back(node->id);
        node = Get(node->parents.front());
    }
    if (!node || node->id != mWorld)
        return std::vector<uint64_t>();
    std::reverse(path.begin(), path.end());
    return path;
}

std::vector<std::vector<uint64_t>> Scene::AllPathsTo(uint64_t id) const
{
    std::unordered_map<uint64_t, std::vector<std::vector<uint64_t>>> memo;
    return PathsTo(*this, id, memo);
}

static std::vector<std::string> SplitPath(const std::string& text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size())
    {
        size_t bar = text.find('|', start);
        parts.push_back(text.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    return parts;
}

bool Scene::Resolve(const std::string& text, std::vector<uint64_t>& path, bool& dag) const
{
    path.clear();
    dag = false;
    if (text.empty())
        return false;
    if (text.find('|') == std::string::npos)
    {
        Node* node = FindByName(text);
        if (!node || node->id == mWorld)
            return false;
        dag = node->type->dag;
        if (!dag)
        {
            path.push_back(node->id);
            return true;
        }
        path = FirstPathTo(node->id);
        return !path.empty();
    }
    std::vector<std::string> parts = SplitPath(text);
    bool absolute = parts.front().empty();
    if (absolute)
        parts.erase(parts.begin());
    for (const std::string& p : parts)
        if (p.empty())
            return false;
    Node* last = FindByName(parts.back());
    if (!last || !last->type->dag)
        return false;
    for (auto& candidate : AllPathsTo(last->id))
    {
        if (candidate.size() < parts.size() || (absolute && candidate.size() != parts.size()))
            continue;
        bool match = true;
        size_t offset = candidate.size() - parts.size();
        for (size_t i = 0; i < parts.size() && match; ++i)
        {
            Node* n = Get(candidate[offset + i]);
            std::string wanted = parts[i][0] == ':' ? parts[i].substr(1) : parts[i];
            match = n && n->name == wanted;
        }
        if (match)
        {
            path = candidate;
            dag = true;
            return true;
        }
    }
    return false;
}

// ---- Shared helpers ----

std::shared_ptr<ObjectRep> NodeRep(uint64_t id)
{
    auto rep = std::make_shared<ObjectRep>();
    rep->kind = ObjectRep::kNode;
    rep->node = id;
    return rep;
}

Node* NodeOf(const ZObject& object)
{
    const auto& rep = object.rep();
    if (!rep || rep->kind != ObjectRep::kNode)
        return nullptr;
    return CurrentScene().Get(rep->node);
}

ZStatus NodeStatus(const ZObject& object, Node** node)
{
    *node = NodeOf(object);
    if (*node)
        return ZStatus();
    if (object.rep() && object.rep()->kind == ObjectRep::kNode)
        return ZStatus(ZStatus::kInvalidParameter, "the object's node no longer exists");
    return ZStatus(ZStatus::kInvalidParameter, "the object is not a node");
}

Scene& CurrentScene()
{
    return Host::Get().GetScene();
}

double GetNum(const Node* node, int attr, int logical)
{
    const AttrDef* def = node ? node->Attr(attr) : nullptr;
    if (!def)
        return 0;
    auto it = node->values.find(ValueKey(attr, logical));
    return it == node->values.end() ? def->defaultValue : it->second.num;
}

void SetNum(Node* node, int attr, double value, int logical)
{
    if (node && node->Attr(attr))
        node->values[ValueKey(attr, logical)].num = value;
}

double GetNum(const Node* node, const char* attr)
{
    return node ? GetNum(node, node->FindAttr(attr), -1) : 0.0;
}

void SetNum(Node* node, const char* attr, double value)
{
    if (node)
        SetNum(node, node->FindAttr(attr), value, -1);
}

ZVector GetVec(const Node* node, const char* compound)
{
    int c = node ? node->FindAttr(compound) : -1;
    const AttrDef* def = c >= 0 ? node->Attr(c) : nullptr;
    if (!def || def->children.size() != 3)
        return ZVector();
    return ZVector(GetNum(node, def->children[0]), GetNum(node, def->children[1]), GetNum(node, def->children[2]));
}

void SetVec(Node* node, const char* compound, const ZVector& v)
{
    int c = node ? node->FindAttr(compound) : -1;
    const AttrDef* def = c >= 0 ? node->Attr(c) : nullptr;
    if (!def || def->children.size() != 3)
        return;
    const double values[3] = {v.x, v.y, v.z};
    for (int k = 0; k < 3; ++k)
        SetNum(node, def->children[k], values[k]);
}

static ZMatrix Translation(const ZVector& t, double sign = 1.0)
{
    ZMatrix m;
    m.matrix[3][0] = sign * t.x;
    m.matrix[3][1] = sign * t.y;
    m.matrix[3][2] = sign * t.z;
    return m;
}

void LocalMatrix(const Node* node, double out[4][4])
{
    ZMatrix m;
    if (node && node->Is(ZFn::kTransform))
    {
        ZVector s = GetVec(node, "scale"), sp = GetVec(node, "scalePivot"), rp = GetVec(node, "rotatePivot");
        ZMatrix scale;
        scale.matrix[0][0] = s.x;
        scale.matrix[1][1] = s.y;
        scale.matrix[2][2] = s.z;
        ZVector r = GetVec(node, "rotate"), ra = GetVec(node, "rotateAxis");
        int order = static_cast<int>(GetNum(node, "rotateOrder"));
        if (order < 0 || order > 5)
            order = 0;
        ZMatrix rot = ZEulerRotation(r.x, r.y, r.z, static_cast<ZEulerRotation::RotationOrder>(order)).asMatrix();
        ZMatrix axis = ZEulerRotation(ra.x, ra.y, ra.z).asMatrix();
        ZMatrix orient;
        if (node->Is(ZFn::kJoint))
        {
            ZVector jo = GetVec(node, "jointOrient");
            orient = ZEulerRotation(jo.x, jo.y, jo.z).asMatrix();
        }
        m = Translation(sp, -1) * scale * Translation(sp) * Translation(GetVec(node, "scalePivotTranslate")) *
            Translation(rp, -1) * axis * rot * orient * Translation(rp) *
            Translation(GetVec(node, "rotatePivotTranslate")) * Translation(GetVec(node, "translate"));
    }
    m.get(out);
}

void WorldMatrix(const std::vector<uint64_t>& path, double out[4][4])
{
    ZMatrix world;
    for (uint64_t id : path)
    {
        double local[4][4];
        LocalMatrix(CurrentScene().Get(id), local);
        world = ZMatrix(local) * world;
    }
    world.get(out);
}

void SortedUniqueFirsts(const SetMember::Elements& elements, std::vector<int>& indices)
{
    indices.clear();
    for (const auto& e : elements)
        indices.push_back(e.first);
    if (!std::is_sorted(indices.begin(), indices.end()))
        std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
}

std::string ComponentText(const SetMember& member, const Node* node, const std::string& nodeName)
{
    (void)node;
    return ComponentText(member.component, member.Sorted(), nodeName);
}

std::string ComponentText(const std::string& component, const SetMember::Elements& elements,
                          const std::string& nodeName)
{
    if (component.empty())
        return nodeName;
    std::string out;
    if (component == "cv")
    {
        for (const auto& e : elements)
            out += (out.empty() ? "" : " ") + nodeName + ".cv[" + std::to_string(e.first) + "][" +
                   std::to_string(e.second) + "]";
        return out;
    }
    // Runs of consecutive indices as ranges.
    std::vector<int> indices;
    SortedUniqueFirsts(elements, indices);
    for (size_t i = 0; i < indices.size();)
    {
        size_t j = i;
        while (j + 1 < indices.size() && indices[j + 1] == indices[j] + 1)
            ++j;
        std::string range = std::to_string(indices[i]);
        if (j > i)
            range += ":" + std::to_string(indices[j]);
        out += (out.empty() ? "" : " ") + nodeName + "." + component + "[" + range + "]";
        i = j + 1;
    }
    return out;
}

void PopulateDefaultScene(Scene& scene)
{
    struct Cam
    {
        const char* name;
        bool ortho;
        double t[3];
        double r[3];
    } cams[] = {{"persp", false, {28, 21, 28}, {-27.9, 45, 0}},
                {"top", true, {0, 100.1, 0}, {-90, 0, 0}},
                {"front", true, {0, 0, 100.1}, {0, 0, 0}},
                {"side", true, {100.1, 0, 0}, {0, 90, 0}}};
    for (const Cam& c : cams)
    {
        Node* t = scene.Create("transform", c.name, 0, nullptr);
        Node* s = scene.Create("camera", std::string(c.name) + "Shape", t->id, nullptr);
        SetVec(t, "translate", ZVector(c.t[0], c.t[1], c.t[2]));
        SetVec(t, "rotate", ZVector(c.r[0] * M_PI / 180, c.r[1] * M_PI / 180, c.r[2] * M_PI / 180));
        SetNum(s, "orthographic", c.ortho ? 1 : 0);
    }
    scene.Create("shaderList", "defaultShaderList1", 0, nullptr);
    scene.Create("lambert", "lambert1", 0, nullptr);
    scene.Create("shadingEngine", "initialShadingGroup", 0, nullptr);
}

} // namespace zelthost
