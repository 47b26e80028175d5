// Attribute, matrix data and component function sets.
#include "host/zfn_private.h"
#include "host/zscene_private.h"

#include <algorithm>
#include <cmath>

using namespace zelthost;

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

// The definition of the attached attribute; NotAttached through status when
// there is none.
AttrDef* AttachedDef(const ZObject& object, ZStatus* status)
{
    AttrDef* def = DefOf(object);
    ZSetStatus(status, def ? ZStatus() : NotAttached());
    return def;
}

// One flag of the attached attribute; false when there is none.
bool DefFlag(const ZObject& object, bool AttrDef::*flag, ZStatus* status)
{
    AttrDef* def = AttachedDef(object, status);
    return def && def->*flag;
}

// Sets one field of an editable attribute's definition.
template <typename T, typename V>
ZStatus SetDefField(const ZObject& object, T AttrDef::*field, const V& value)
{
    AttrDef* def = nullptr;
    ZStatus st = EditableDef(object, &def);
    if (st)
        def->*field = value;
    return st;
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
    AttrDef* def = AttachedDef(mObject, status);
    return def ? ZString(def->name) : ZString();
}

ZString ZFnAttribute::shortName(ZStatus* status) const
{
    AttrDef* def = AttachedDef(mObject, status);
    return def ? ZString(def->shortName) : ZString();
}

#define ZFN_ATTR_FLAG(Setter, Getter, field)                                                                           \
    ZStatus ZFnAttribute::Setter(bool value)                                                                           \
    {                                                                                                                  \
        return SetDefField(mObject, &AttrDef::field, value);                                                           \
    }                                                                                                                  \
    bool ZFnAttribute::Getter(ZStatus* status) const                                                                   \
    {                                                                                                                  \
        return DefFlag(mObject, &AttrDef::field, status);                                                              \
    }

ZFN_ATTR_FLAG(setHidden, isHidden, hidden)
ZFN_ATTR_FLAG(setKeyable, isKeyable, keyable)
ZFN_ATTR_FLAG(setStorable, isStorable, storable)
ZFN_ATTR_FLAG(setConnectable, isConnectable, connectable)
#undef ZFN_ATTR_FLAG

ZStatus ZFnAttribute::setInternal(bool internal)
{
    return SetDefField(mObject, &AttrDef::internal, internal);
}

bool ZFnAttribute::isArray(ZStatus* status) const
{
    return DefFlag(mObject, &AttrDef::array, status);
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
    AttrDef* def = AttachedDef(mObject, status);
    return def ? static_cast<ZFnNumericData::Type>(def->numericType) : ZFnNumericData::kInvalid;
}

namespace {

// Sets one soft bound of an editable attribute.
ZStatus SetBound(const ZObject& object, double value, bool AttrDef::*has, double AttrDef::*bound)
{
    AttrDef* def = nullptr;
    ZStatus st = EditableDef(object, &def);
    if (st && !std::isfinite(value))
        st = NotFinite();
    if (st)
    {
        def->*has = true;
        def->*bound = value;
    }
    return st;
}

// Reads one soft bound; kNotFound with the message when it is not set.
ZStatus GetBound(const ZObject& object, double& value, bool AttrDef::*has, double AttrDef::*bound, const char* none)
{
    AttrDef* def = DefOf(object);
    if (!def || !(def->*has))
        return ZStatus(ZStatus::kNotFound, none);
    value = def->*bound;
    return ZStatus();
}

} // namespace

ZStatus ZFnNumericAttribute::setSoftMin(double value)
{
    return SetBound(mObject, value, &AttrDef::hasSoftMin, &AttrDef::softMin);
}

ZStatus ZFnNumericAttribute::setSoftMax(double value)
{
    return SetBound(mObject, value, &AttrDef::hasSoftMax, &AttrDef::softMax);
}

ZStatus ZFnNumericAttribute::setDefault(double value)
{
    return SetDefField(mObject, &AttrDef::defaultValue, value);
}

bool ZFnNumericAttribute::hasSoftMin(ZStatus* status) const
{
    return DefFlag(mObject, &AttrDef::hasSoftMin, status);
}

bool ZFnNumericAttribute::hasSoftMax(ZStatus* status) const
{
    return DefFlag(mObject, &AttrDef::hasSoftMax, status);
}

ZStatus ZFnNumericAttribute::getSoftMin(double& value) const
{
    return GetBound(mObject, value, &AttrDef::hasSoftMin, &AttrDef::softMin, "no soft minimum");
}

ZStatus ZFnNumericAttribute::getSoftMax(double& value) const
{
    return GetBound(mObject, value, &AttrDef::hasSoftMax, &AttrDef::softMax, "no soft maximum");
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

namespace {

// An empty component of a type.
ZObject NewComponent(ZFn::Type componentType)
{
    auto rep = std::make_shared<ObjectRep>();
    rep->kind = ObjectRep::kComponent;
    rep->componentType = componentType;
    return ZObject(rep);
}

} // namespace

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
    mObject = NewComponent(componentType);
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
    mObject = NewComponent(componentType);
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
