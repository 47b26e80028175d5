// Animation curves and the time slider.
#include "host/zanim.h"
#include "host/znumber_private.h"
#include "host/zscene_private.h"

#include <algorithm>
#include <cmath>

using namespace zelthost;

namespace {

CurveData* CurveOf(const ZObject& object, ZStatus* status)
{
    Node* node = NodeOf(object);
    if (!node || !node->curve)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "the function set is not attached to a curve"));
        return nullptr;
    }
    ZSetStatus(status, ZStatus());
    return node->curve.get();
}

CurveKey* KeyOf(const ZObject& object, unsigned index, ZStatus* status)
{
    CurveData* c = CurveOf(object, status);
    if (!c)
        return nullptr;
    if (index >= c->keys.size())
    {
        ZSetStatus(status,
                   ZStatus(ZStatus::kInvalidParameter, "key index " + std::to_string(index) + " out of range (" +
                                                           std::to_string(c->keys.size()) + " keys)"));
        return nullptr;
    }
    return &c->keys[index];
}

// Sets a flag of one key.
ZStatus SetKeyFlag(const ZObject& object, unsigned index, bool CurveKey::*flag, bool value)
{
    ZStatus st;
    if (CurveKey* k = KeyOf(object, index, &st))
        k->*flag = value;
    return st;
}

bool KeyFlag(const ZObject& object, unsigned index, bool CurveKey::*flag, ZStatus* status)
{
    CurveKey* k = KeyOf(object, index, status);
    return k && k->*flag;
}

// Sets how the curve goes on before its first or after its last key.
ZStatus SetInfinity(const ZObject& object, int CurveData::*end, ZFnAnimCurve::InfinityType type)
{
    ZStatus st;
    CurveData* c = CurveOf(object, &st);
    if (c && (type < ZFnAnimCurve::kConstant || type > ZFnAnimCurve::kOscillate || type == 2))
        return ZStatus(ZStatus::kInvalidParameter, "invalid infinity type");
    if (c)
        c->*end = type;
    return st;
}

ZFnAnimCurve::InfinityType Infinity(const ZObject& object, int CurveData::*end, ZStatus* status)
{
    CurveData* c = CurveOf(object, status);
    return c ? static_cast<ZFnAnimCurve::InfinityType>(c->*end) : ZFnAnimCurve::kConstant;
}

bool ValidTangent(int type)
{
    return type >= ZFnAnimCurve::kTangentGlobal && type <= ZFnAnimCurve::kTangentStepNext;
}

const double kSameTime = 1e-9; // seconds

} // namespace

ZFnAnimCurve::ZFnAnimCurve(const ZObject& curve, ZStatus* status)
{
    ZSetStatus(status, setObject(curve));
}

ZFnAnimCurve::ZFnAnimCurve(const ZPlug& plug, ZStatus* status)
{
    if (plug.isNull())
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "the plug is null"));
        return;
    }
    ZPlugArray sources;
    plug.connectedTo(sources, true, false);
    for (unsigned i = 0; i < sources.length(); ++i)
    {
        Node* n = CurrentScene().Get(sources[i].nodeId());
        if (n && n->curve)
        {
            ZSetStatus(status, setObject(ZObject(NodeRep(n->id))));
            return;
        }
    }
    ZSetStatus(status, ZStatus(ZStatus::kNotFound, "no animation curve is connected to " + plug.name().str()));
}

ZStatus ZFnAnimCurve::setObject(const ZObject& object)
{
    return mAttachStatus = Attach(object, ZFn::kAnimCurve);
}

ZObject ZFnAnimCurve::create(const ZPlug& plug, AnimCurveType type, ZAnimCurveChange*, ZStatus* status)
{
    static const char* typeNames[] = {"animCurveTA", "animCurveTL", "animCurveTT", "animCurveTU",
                                      nullptr,       nullptr,       nullptr,       "animCurveUU"};
    if (type < kAnimCurveTA || type > kAnimCurveUU || !typeNames[type])
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "unsupported curve type " + std::to_string(type)));
        return ZObject();
    }
    ZStatus st;
    std::string plugName = plug.name(&st).str();
    if (!st)
    {
        ZSetStatus(status, st);
        return ZObject();
    }
    Node* target = CurrentScene().Get(plug.nodeId());
    const AttrDef* def = target->Attr(plug.attributeIndex());
    if (def->kind != AttrDef::kNumeric || (def->array && plug.logical() < 0))
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, plugName + " cannot be animated"));
        return ZObject();
    }
    if (plug.isLocked())
    {
        ZSetStatus(status, ZStatus(ZStatus::kFailure, "The attribute '" + plugName + "' is locked"));
        return ZObject();
    }
    if (plug.isDestination())
    {
        ZSetStatus(status, ZStatus(ZStatus::kFailure, plugName + " already has an incoming connection"));
        return ZObject();
    }
    // Named after the plug: "node_attribute", without namespace and brackets.
    std::string name = plugName.substr(0, plugName.find('.'));
    name = name.substr(name.rfind(':') == std::string::npos ? 0 : name.rfind(':') + 1) + "_" +
           plug.partialName(false, false, false, false, false, true).str();
    for (char& c : name)
        if (c == '.' || c == '[' || c == ']')
            c = '_';
    while (!name.empty() && name.back() == '_')
        name.pop_back();
    Node* curve = CurrentScene().Create(typeNames[type], name, 0, &st);
    if (!curve)
    {
        ZSetStatus(status, st);
        return ZObject();
    }
    curve->curve = std::make_unique<CurveData>();
    curve->curve->type = type;
    st = CurrentScene().Connect(ZPlug(curve->id, curve->FindAttr("output"), -1), plug, false);
    if (!st)
    {
        CurrentScene().Delete(curve->id);
        ZSetStatus(status, st);
        return ZObject();
    }
    setObject(ZObject(NodeRep(curve->id)));
    ZSetStatus(status, ZStatus());
    return mObject;
}

ZObject ZFnAnimCurve::create(const ZPlug& plug, ZAnimCurveChange* change, ZStatus* status)
{
    Node* target = CurrentScene().Get(plug.nodeId());
    const AttrDef* def = target ? target->Attr(plug.attributeIndex()) : nullptr;
    AnimCurveType type = kAnimCurveTU;
    if (def && def->unit == kAngle)
        type = kAnimCurveTA;
    else if (def && def->unit == kDistance)
        type = kAnimCurveTL;
    return create(plug, type, change, status);
}

ZFnAnimCurve::AnimCurveType ZFnAnimCurve::animCurveType(ZStatus* status) const
{
    CurveData* c = CurveOf(mObject, status);
    return c ? static_cast<AnimCurveType>(c->type) : kAnimCurveUnknown;
}

unsigned ZFnAnimCurve::numKeys(ZStatus* status) const
{
    CurveData* c = CurveOf(mObject, status);
    return c ? static_cast<unsigned>(c->keys.size()) : 0;
}

unsigned ZFnAnimCurve::addKey(const ZTime& time, double value, TangentType inType, TangentType outType,
                              ZAnimCurveChange*, ZStatus* status)
{
    CurveData* c = CurveOf(mObject, status);
    if (!c)
        return 0;
    double t = time.as(ZTime::kSeconds);
    if (!std::isfinite(t) || !std::isfinite(value) || ZTime::unitsPerSecond(time.unit()) == 0)
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "the key's time and value must be finite"));
        return 0;
    }
    if (!ValidTangent(inType) || !ValidTangent(outType))
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "invalid tangent type"));
        return 0;
    }
    auto at = std::lower_bound(c->keys.begin(), c->keys.end(), t,
                               [](const CurveKey& k, double when) { return k.time < when - kSameTime; });
    if (at != c->keys.end() && std::fabs(at->time - t) <= kSameTime)
    {
        ZSetStatus(status, ZStatus(ZStatus::kFailure, "a key already exists at time " + NumberText(t, 'f', 6) + " s"));
        return 0;
    }
    CurveKey key;
    key.time = t;
    key.value = value;
    key.inType = inType;
    key.outType = outType;
    unsigned index = static_cast<unsigned>(at - c->keys.begin());
    c->keys.insert(at, key);
    return index;
}

ZStatus ZFnAnimCurve::addKeyframe(const ZTime& time, double value, ZAnimCurveChange* change)
{
    ZStatus st;
    addKey(time, value, kTangentGlobal, kTangentGlobal, change, &st);
    return st;
}

ZStatus ZFnAnimCurve::remove(unsigned index, ZAnimCurveChange*)
{
    ZStatus st;
    if (!KeyOf(mObject, index, &st))
        return st;
    CurveData* c = CurveOf(mObject, nullptr);
    c->keys.erase(c->keys.begin() + index);
    return st;
}

ZTime ZFnAnimCurve::time(unsigned index, ZStatus* status) const
{
    CurveKey* k = KeyOf(mObject, index, status);
    return k ? ZTime(k->time, ZTime::kSeconds) : ZTime();
}

double ZFnAnimCurve::value(unsigned index, ZStatus* status) const
{
    CurveKey* k = KeyOf(mObject, index, status);
    return k ? k->value : 0.0;
}

ZStatus ZFnAnimCurve::setTime(unsigned index, const ZTime& time, ZAnimCurveChange*)
{
    ZStatus st;
    CurveKey* k = KeyOf(mObject, index, &st);
    if (!k)
        return st;
    double t = time.as(ZTime::kSeconds);
    if (!std::isfinite(t) || ZTime::unitsPerSecond(time.unit()) == 0)
        return ZStatus(ZStatus::kInvalidParameter, "the key's time must be finite");
    CurveData* c = CurveOf(mObject, nullptr);
    for (size_t i = 0; i < c->keys.size(); ++i)
        if (i != index && std::fabs(c->keys[i].time - t) <= kSameTime)
            return ZStatus(ZStatus::kFailure, "a key already exists at time " + NumberText(t, 'f', 6) + " s");
    k->time = t;
    std::stable_sort(c->keys.begin(), c->keys.end(),
                     [](const CurveKey& a, const CurveKey& b) { return a.time < b.time; });
    return ZStatus();
}

ZStatus ZFnAnimCurve::setValue(unsigned index, double value, ZAnimCurveChange*)
{
    ZStatus st;
    CurveKey* k = KeyOf(mObject, index, &st);
    if (k && !std::isfinite(value))
        return ZStatus(ZStatus::kInvalidParameter, "the key's value must be finite");
    if (k)
        k->value = value;
    return st;
}

ZFnAnimCurve::TangentType ZFnAnimCurve::inTangentType(unsigned index, ZStatus* status) const
{
    CurveKey* k = KeyOf(mObject, index, status);
    return k ? static_cast<TangentType>(k->inType) : kTangentGlobal;
}

ZFnAnimCurve::TangentType ZFnAnimCurve::outTangentType(unsigned index, ZStatus* status) const
{
    CurveKey* k = KeyOf(mObject, index, status);
    return k ? static_cast<TangentType>(k->outType) : kTangentGlobal;
}

ZStatus ZFnAnimCurve::setInTangentType(unsigned index, TangentType type, ZAnimCurveChange*)
{
    ZStatus st;
    CurveKey* k = KeyOf(mObject, index, &st);
    if (k && !ValidTangent(type))
        return ZStatus(ZStatus::kInvalidParameter, "invalid tangent type");
    if (k)
        k->inType = type;
    return st;
}

ZStatus ZFnAnimCurve::setOutTangentType(unsigned index, TangentType type, ZAnimCurveChange*)
{
    ZStatus st;
    CurveKey* k = KeyOf(mObject, index, &st);
    if (k && !ValidTangent(type))
        return ZStatus(ZStatus::kInvalidParameter, "invalid tangent type");
    if (k)
        k->outType = type;
    return st;
}

ZStatus ZFnAnimCurve::setTangent(unsigned index, float x, float y, bool inTangent, ZAnimCurveChange*, bool)
{
    ZStatus st;
    CurveKey* k = KeyOf(mObject, index, &st);
    if (!k)
        return st;
    if (!std::isfinite(x) || !std::isfinite(y))
        return ZStatus(ZStatus::kInvalidParameter, "the tangent must be finite");
    if (inTangent)
    {
        k->inX = x;
        k->inY = y;
        k->hasIn = true;
    }
    else
    {
        k->outX = x;
        k->outY = y;
        k->hasOut = true;
    }
    return ZStatus();
}

ZStatus ZFnAnimCurve::getTangent(unsigned index, float& x, float& y, bool inTangent) const
{
    ZStatus st;
    CurveKey* k = KeyOf(mObject, index, &st);
    if (k)
    {
        x = inTangent ? k->inX : k->outX;
        y = inTangent ? k->inY : k->outY;
    }
    return st;
}

ZStatus ZFnAnimCurve::setTangentsLocked(unsigned index, bool locked, ZAnimCurveChange*)
{
    return SetKeyFlag(mObject, index, &CurveKey::tangentsLocked, locked);
}

bool ZFnAnimCurve::tangentsLocked(unsigned index, ZStatus* status) const
{
    return KeyFlag(mObject, index, &CurveKey::tangentsLocked, status);
}

ZStatus ZFnAnimCurve::setWeightsLocked(unsigned index, bool locked, ZAnimCurveChange*)
{
    return SetKeyFlag(mObject, index, &CurveKey::weightsLocked, locked);
}

bool ZFnAnimCurve::weightsLocked(unsigned index, ZStatus* status) const
{
    return KeyFlag(mObject, index, &CurveKey::weightsLocked, status);
}

ZStatus ZFnAnimCurve::setIsWeighted(bool weighted, ZAnimCurveChange*)
{
    ZStatus st;
    CurveData* c = CurveOf(mObject, &st);
    if (c)
        c->weighted = weighted;
    return st;
}

bool ZFnAnimCurve::isWeighted(ZStatus* status) const
{
    CurveData* c = CurveOf(mObject, status);
    return c && c->weighted;
}

ZStatus ZFnAnimCurve::setPreInfinityType(InfinityType type, ZAnimCurveChange*)
{
    return SetInfinity(mObject, &CurveData::preInfinity, type);
}

ZStatus ZFnAnimCurve::setPostInfinityType(InfinityType type, ZAnimCurveChange*)
{
    return SetInfinity(mObject, &CurveData::postInfinity, type);
}

ZFnAnimCurve::InfinityType ZFnAnimCurve::preInfinityType(ZStatus* status) const
{
    return Infinity(mObject, &CurveData::preInfinity, status);
}

ZFnAnimCurve::InfinityType ZFnAnimCurve::postInfinityType(ZStatus* status) const
{
    return Infinity(mObject, &CurveData::postInfinity, status);
}

double ZFnAnimCurve::evaluate(const ZTime& time, ZStatus* status) const
{
    CurveData* c = CurveOf(mObject, status);
    return c ? c->Evaluate(time.as(ZTime::kSeconds)) : 0.0;
}

// ---- ZAnimControl ----

namespace {

ZStatus SetTime(double& field, const ZTime& time)
{
    double t = time.as(ZTime::kSeconds);
    if (!std::isfinite(t) || ZTime::unitsPerSecond(time.unit()) == 0)
        return ZStatus(ZStatus::kInvalidParameter, "the time must be finite");
    field = t;
    return ZStatus();
}

} // namespace

ZTime ZAnimControl::currentTime()
{
    return ZTime(CurrentScene().currentTime, ZTime::kSeconds);
}

ZStatus ZAnimControl::setCurrentTime(const ZTime& time)
{
    return SetTime(CurrentScene().currentTime, time);
}

ZTime ZAnimControl::minTime()
{
    return ZTime(CurrentScene().minTime, ZTime::kSeconds);
}

ZTime ZAnimControl::maxTime()
{
    return ZTime(CurrentScene().maxTime, ZTime::kSeconds);
}

ZStatus ZAnimControl::setMinTime(const ZTime& time)
{
    return SetTime(CurrentScene().minTime, time);
}

ZStatus ZAnimControl::setMaxTime(const ZTime& time)
{
    return SetTime(CurrentScene().maxTime, time);
}

ZStatus ZAnimControl::setMinMaxTime(const ZTime& min, const ZTime& max)
{
    if (min.as(ZTime::kSeconds) > max.as(ZTime::kSeconds))
        return ZStatus(ZStatus::kInvalidParameter, "the start time is after the end time");
    ZStatus st = setMinTime(min);
    return st ? setMaxTime(max) : st;
}
