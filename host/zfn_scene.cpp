// Skin clusters, cameras, lights and shaders.
#include "host/zfn_private.h"
#include "host/zscene_private.h"

#include <algorithm>
#include <cmath>

using namespace zelthost;

namespace {

ZStatus SetNodeNum(const ZObject& object, const char* attr, double value)
{
    Node* node = nullptr;
    ZStatus st = NodeStatus(object, &node);
    if (!st)
        return st;
    if (!std::isfinite(value))
        return NotFinite();
    ZPlug plug(node->id, node->FindAttr(attr), -1);
    return plug.setValue(value);
}

double GetNodeNum(const ZObject& object, const char* attr, ZStatus* status)
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(object, &node)))
        return 0;
    return GetNum(node, attr);
}

// A colour attribute: finite components only, and not while locked.
ZStatus SetNodeColor(const ZObject& object, const char* attr, const ZColor& color)
{
    Node* node = nullptr;
    ZStatus st = NodeStatus(object, &node);
    if (st && !(std::isfinite(color.r) && std::isfinite(color.g) && std::isfinite(color.b)))
        st = NotFinite();
    if (st && ZPlug(node->id, node->FindAttr(attr), -1).isLocked())
        st = ZStatus(ZStatus::kFailure, "The attribute '" + node->name + "." + attr + "' is locked");
    if (st)
        SetVec(node, attr, ZVector(color.r, color.g, color.b));
    return st;
}

ZColor GetNodeColor(const ZObject& object, const char* attr, ZStatus* status)
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(object, &node)))
        return ZColor();
    ZVector c = GetVec(node, attr);
    return ZColor(static_cast<float>(c.x), static_cast<float>(c.y), static_cast<float>(c.z));
}

} // namespace

// The getter and setter of a number or colour attribute of the attached node.
#define ZFN_NUMBER_ACCESSORS(Class, Type, Getter, Setter, attr)                                                        \
    Type Class::Getter(ZStatus* s) const                                                                               \
    {                                                                                                                  \
        return static_cast<Type>(GetNodeNum(mObject, attr, s));                                                        \
    }                                                                                                                  \
    ZStatus Class::Setter(Type v)                                                                                      \
    {                                                                                                                  \
        return SetNodeNum(mObject, attr, v);                                                                           \
    }
#define ZFN_COLOR_ACCESSORS(Class, Getter, Setter, attr)                                                               \
    ZColor Class::Getter(ZStatus* s) const                                                                             \
    {                                                                                                                  \
        return GetNodeColor(mObject, attr, s);                                                                         \
    }                                                                                                                  \
    ZStatus Class::Setter(const ZColor& c)                                                                             \
    {                                                                                                                  \
        return SetNodeColor(mObject, attr, c);                                                                         \
    }

// ---- ZFnSkinCluster ----

ZFN_NODE_KIND(ZFnSkinCluster, ZFn::kSkinClusterFilter)

unsigned ZFnSkinCluster::indexForInfluenceObject(const ZDagPath& influence, ZStatus* status) const
{
    Node* skin = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &skin)) || !skin->skin)
        return 0;
    if (!influence.isValid() || influence.length() == 0)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "the influence path is not valid"));
        return 0;
    }
    uint64_t id = influence.ids().back();
    for (size_t i = 0; i < skin->skin->influences.size(); ++i)
        if (skin->skin->influences[i] == id)
            return static_cast<unsigned>(i);
    ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter,
                               influence.partialPathName().str() + " is not an influence object of " + skin->name));
    return 0;
}

unsigned ZFnSkinCluster::influenceObjects(ZDagPathArray& paths, ZStatus* status) const
{
    paths.clear();
    Node* skin = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &skin)) || !skin->skin)
        return 0;
    for (uint64_t id : skin->skin->influences)
    {
        ZDagPath path;
        if (ZDagPath::getAPathTo(ZObject(NodeRep(id)), path))
            paths.append(path);
    }
    return paths.length();
}

namespace {

template <typename Array>
ZStatus SetSkinWeights(const ZObject& object, const ZDagPath& geometry, const ZObject& components,
                       const ZIntArray& influences, const Array& weights, bool normalize, Array* oldValues)
{
    Node* skin = nullptr;
    ZStatus st = NodeStatus(object, &skin);
    if (!st)
        return st;
    if (!skin->skin)
        return ZStatus(ZStatus::kInvalidParameter, "the skin cluster has no geometry");
    SkinData& data = *skin->skin;
    ZDagPath shapePath = geometry;
    if (!shapePath.isValid() || shapePath.length() == 0 || !shapePath.extendToShape())
        return ZStatus(ZStatus::kInvalidParameter, "the geometry path is not valid");
    Node* shape = CurrentScene().Get(shapePath.ids().back());
    if (shape->id != data.geometry)
        return ZStatus(ZStatus::kInvalidParameter, shape->name + " is not deformed by " + skin->name);
    int pointCount = shape->mesh ? static_cast<int>(shape->mesh->points.size())
                                 : (shape->nurbs ? static_cast<int>(shape->nurbs->points.size()) : 0);
    int countV = shape->nurbs ? shape->nurbs->CountV() : 1;
    // The points named by the component (all points for a null component).
    std::vector<int> points;
    const auto& rep = components.rep();
    if (!rep)
        for (int i = 0; i < pointCount; ++i)
            points.push_back(i);
    else
    {
        ZFn::Type want = shape->mesh ? ZFn::kMeshVertComponent : ZFn::kSurfaceCVComponent;
        if (rep->kind != ObjectRep::kComponent || rep->componentType != want)
            return ZStatus(ZStatus::kInvalidParameter, "the component does not fit the geometry");
        for (const auto& e : rep->elements)
        {
            long long p = shape->nurbs ? static_cast<long long>(e.first) * countV + e.second : e.first;
            if (e.first < 0 || e.second < 0 || (shape->nurbs && e.second >= countV) || p >= pointCount)
                return ZStatus(ZStatus::kInvalidParameter, "component index out of range");
            points.push_back(static_cast<int>(p));
        }
    }
    for (unsigned k = 0; k < influences.length(); ++k)
        if (influences[k] < 0 || static_cast<size_t>(influences[k]) >= data.influences.size())
            return ZStatus(ZStatus::kInvalidParameter,
                           "influence index " + std::to_string(influences[k]) + " out of range");
    size_t n = influences.length();
    if (n == 0 || weights.length() != points.size() * n)
        return ZStatus(ZStatus::kInvalidParameter, "expected " + std::to_string(points.size() * n) + " weights, got " +
                                                       std::to_string(weights.length()));
    for (unsigned i = 0; i < weights.length(); ++i)
        if (!std::isfinite(static_cast<double>(weights[i])))
            return NotFinite();
    if (oldValues)
        oldValues->clear();
    for (size_t e = 0; e < points.size(); ++e)
    {
        auto& w = data.weights[points[e]];
        double given = 0, others = 0;
        for (size_t k = 0; k < n; ++k)
        {
            if (oldValues)
                oldValues->append(static_cast<typename std::decay<decltype(weights[0])>::type>(w[influences[k]]));
            w[influences[k]] = weights[e * n + k];
            given += weights[e * n + k];
        }
        if (!normalize)
            continue;
        for (auto& entry : w)
            if (std::find(influences.items().begin(), influences.items().end(), entry.first) ==
                influences.items().end())
                others += entry.second;
        double rest = given >= 1.0 ? 0.0 : 1.0 - given;
        for (auto& entry : w)
            if (std::find(influences.items().begin(), influences.items().end(), entry.first) ==
                influences.items().end())
                entry.second = others > 0 ? entry.second * rest / others : 0.0;
    }
    return ZStatus();
}

} // namespace

ZStatus ZFnSkinCluster::setWeights(const ZDagPath& geometry, const ZObject& components,
                                   const ZIntArray& influenceIndices, const ZFloatArray& weights, bool normalize,
                                   ZFloatArray* oldValues)
{
    return SetSkinWeights(mObject, geometry, components, influenceIndices, weights, normalize, oldValues);
}

ZStatus ZFnSkinCluster::setWeights(const ZDagPath& geometry, const ZObject& components,
                                   const ZIntArray& influenceIndices, const ZDoubleArray& weights, bool normalize,
                                   ZDoubleArray* oldValues)
{
    return SetSkinWeights(mObject, geometry, components, influenceIndices, weights, normalize, oldValues);
}

ZStatus ZFnSkinCluster::getWeights(unsigned point, ZDoubleArray& weights) const
{
    Node* skin = nullptr;
    ZStatus st = NodeStatus(mObject, &skin);
    if (!st)
        return st;
    if (!skin->skin)
        return ZStatus(ZStatus::kInvalidParameter, "the skin cluster has no geometry");
    weights = ZDoubleArray(static_cast<unsigned>(skin->skin->influences.size()), 0.0);
    auto it = skin->skin->weights.find(static_cast<int>(point));
    if (it != skin->skin->weights.end())
        for (const auto& w : it->second)
            weights.set(w.second, static_cast<unsigned>(w.first));
    return ZStatus();
}

// ---- ZFnCamera ----

ZFN_DAG_CONSTRUCTORS(ZFnCamera)

ZStatus ZFnCamera::setObject(const ZObject& object)
{
    return AttachNode(object, ZFn::kCamera);
}

ZFN_NUMBER_ACCESSORS(ZFnCamera, double, lensSqueezeRatio, setLensSqueezeRatio, "lensSqueezeRatio")
ZFN_NUMBER_ACCESSORS(ZFnCamera, double, nearClippingPlane, setNearClippingPlane, "nearClipPlane")
ZFN_NUMBER_ACCESSORS(ZFnCamera, double, farClippingPlane, setFarClippingPlane, "farClipPlane")
ZFN_NUMBER_ACCESSORS(ZFnCamera, double, focalLength, setFocalLength, "focalLength")
ZFN_NUMBER_ACCESSORS(ZFnCamera, double, verticalFilmAperture, setVerticalFilmAperture, "verticalFilmAperture")
ZFN_NUMBER_ACCESSORS(ZFnCamera, double, horizontalFilmAperture, setHorizontalFilmAperture, "horizontalFilmAperture")
ZFN_NUMBER_ACCESSORS(ZFnCamera, double, focusDistance, setFocusDistance, "focusDistance")
ZStatus ZFnCamera::setClippingPlanes(bool on)
{
    return SetNodeNum(mObject, "clippingPlanes", on ? 1 : 0);
}
ZStatus ZFnCamera::setIsOrtho(bool ortho)
{
    return SetNodeNum(mObject, "orthographic", ortho ? 1 : 0);
}
ZStatus ZFnCamera::setFilmFit(int fit)
{
    if (fit < kFillFilmFit || fit > kOverscanFilmFit)
        return ZStatus(ZStatus::kInvalidParameter, "invalid film fit " + std::to_string(fit));
    return SetNodeNum(mObject, "filmFit", fit);
}
bool ZFnCamera::isOrtho(ZStatus* s) const
{
    return GetNodeNum(mObject, "orthographic", s) != 0;
}
int ZFnCamera::filmFit(ZStatus* s) const
{
    return static_cast<int>(GetNodeNum(mObject, "filmFit", s));
}

// ---- Lights ----

ZFN_DAG_CONSTRUCTORS(ZFnLight)

ZStatus ZFnLight::setObject(const ZObject& object)
{
    return AttachNode(object, type());
}

ZFN_COLOR_ACCESSORS(ZFnLight, color, setColor, "color")
ZFN_NUMBER_ACCESSORS(ZFnLight, float, intensity, setIntensity, "intensity")

ZObject ZFnLight::CreateLight(const char* typeName, const ZObject& parent, bool addTransform, ZStatus* status)
{
    Scene& scene = CurrentScene();
    uint64_t parentId = 0;
    if (!ZSetStatus(status, ParentId(parent, parentId)))
        return ZObject();
    ZStatus st;
    Node* owner = nullptr;
    if (addTransform)
    {
        owner = scene.Create("transform", std::string(typeName) + "1", parentId, &st);
        if (!owner)
        {
            ZSetStatus(status, st);
            return ZObject();
        }
        parentId = owner->id;
    }
    Node* shape = scene.Create(typeName, "", parentId, &st);
    if (!shape && owner)
        scene.Delete(owner->id);
    if (!ZSetStatus(status, st))
        return ZObject();
    mObject = ZObject(NodeRep(shape->id));
    mHasPath = false;
    return mObject;
}

// What sets each kind of light apart: the type it attaches to and the node
// type it creates.
#define ZFN_LIGHT_KIND(Class, kind, typeName)                                                                          \
    ZStatus Class::setObject(const ZObject& object)                                                                    \
    {                                                                                                                  \
        return AttachNode(object, kind);                                                                               \
    }                                                                                                                  \
    ZObject Class::create(const ZObject& parent, bool addTransform, ZStatus* status)                                   \
    {                                                                                                                  \
        return CreateLight(typeName, parent, addTransform, status);                                                    \
    }

ZFnPointLight::ZFnPointLight(const ZObject& object, ZStatus* status)
{
    ZSetStatus(status, setObject(object));
}
ZFN_LIGHT_KIND(ZFnPointLight, ZFn::kPointLight, "pointLight")

ZFnDirectionalLight::ZFnDirectionalLight(const ZObject& object, ZStatus* status)
{
    ZSetStatus(status, setObject(object));
}
ZFN_LIGHT_KIND(ZFnDirectionalLight, ZFn::kDirectionalLight, "directionalLight")

ZFN_DAG_CONSTRUCTORS(ZFnSpotLight)
ZFN_LIGHT_KIND(ZFnSpotLight, ZFn::kSpotLight, "spotLight")
ZFN_NUMBER_ACCESSORS(ZFnSpotLight, double, coneAngle, setConeAngle, "coneAngle")

// ---- Shaders ----

ZFN_NODE_KIND(ZFnLambertShader, ZFn::kLambert)

ZObject ZFnLambertShader::CreateShader(const char* typeName, ZStatus* status)
{
    ZStatus st;
    Node* node = CurrentScene().Create(typeName, "", 0, &st);
    if (!ZSetStatus(status, st))
        return ZObject();
    mObject = ZObject(NodeRep(node->id));
    return mObject;
}

ZObject ZFnLambertShader::create(bool, ZStatus* status)
{
    return CreateShader("lambert", status);
}

ZFN_COLOR_ACCESSORS(ZFnLambertShader, color, setColor, "color")
ZFN_COLOR_ACCESSORS(ZFnLambertShader, transparency, setTransparency, "transparency")
ZFN_COLOR_ACCESSORS(ZFnLambertShader, ambientColor, setAmbientColor, "ambientColor")
ZFN_COLOR_ACCESSORS(ZFnLambertShader, incandescence, setIncandescence, "incandescence")
ZFN_NUMBER_ACCESSORS(ZFnLambertShader, float, diffuseCoeff, setDiffuseCoeff, "diffuse")

ZFN_NODE_KIND(ZFnReflectShader, ZFn::kReflect)
ZFN_COLOR_ACCESSORS(ZFnReflectShader, specularColor, setSpecularColor, "specularColor")
ZFN_NUMBER_ACCESSORS(ZFnReflectShader, float, reflectivity, setReflectivity, "reflectivity")

ZFN_NODE_KIND(ZFnPhongShader, ZFn::kPhong)
ZObject ZFnPhongShader::create(bool, ZStatus* status)
{
    return CreateShader("phong", status);
}
ZFN_NUMBER_ACCESSORS(ZFnPhongShader, float, cosPower, setCosPower, "cosinePower")

#undef ZFN_NUMBER_ACCESSORS
#undef ZFN_COLOR_ACCESSORS
#undef ZFN_LIGHT_KIND
