// Keyframes, time, playback and primitive geometry.
#include "host/zcommands_private.h"

#include <algorithm>
#include <cmath>

namespace zelthost {
namespace cmd {

namespace {

// ---- Animation ----

ZStatus CmdSetKeyframe(const ScriptCommand& cmd, Result& result)
{
    Parsed p;
    ZStatus st = ParseFlags(
        cmd, {{"t", "time", 1}, {"v", "value", 1}, {"itt", "inTangentType", 1}, {"ott", "outTangentType", 1}}, p);
    if (!st || !(st = ExpectCount(p, 1, 1, "one attribute (node.attribute)")))
        return st;
    ZPlug plug;
    const AttrDef* def = nullptr;
    if (!(st = ResolvePlug(p.positional[0], plug, &def)))
        return st;
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

} // namespace

void AddAnimationCommands(CommandTable& table)
{
    table.insert({
        {"currentTime", CmdCurrentTime},
        {"playbackOptions", CmdPlaybackOptions},
        {"polyCube", CmdPolyCube},
        {"setDrivenKeyframe", CmdSetDrivenKeyframe},
        {"setKeyframe", CmdSetKeyframe},
    });
}

} // namespace cmd
} // namespace zelthost
