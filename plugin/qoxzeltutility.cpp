#include "plugin/qoxzeltutility.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/knumbertext.h"
#include "host/zglobal.h"
#include "plugin/qoxzeltnode.h"

using namespace qoxsdk_600;

namespace {

const double kRadToDeg = 57.29577951308232;
const double kDegToRad = 0.017453292519943295;

ZStatus GetXYZ(const ZFnTransform& transform, const char* base, ZPoint& out)
{
    double* slots[3] = {&out.x, &out.y, &out.z};
    const char* axes = "XYZ";
    for (int i = 0; i < 3; ++i)
    {
        ZStatus st;
        ZPlug plug = transform.findPlug(ZString(std::string(base) + axes[i]), &st);
        double value = 0.0;
        if (st)
            st = plug.getValue(value);
        if (!st)
            return st;
        *slots[i] = value * kRadToDeg;
    }
    return ZStatus();
}

ZStatus SetXYZ(const ZFnTransform& transform, const char* base, const ZPoint& in)
{
    const double values[3] = {in.x, in.y, in.z};
    const char* axes = "XYZ";
    for (int i = 0; i < 3; ++i)
    {
        ZStatus st;
        ZPlug plug = transform.findPlug(ZString(std::string(base) + axes[i]), &st);
        if (st)
            st = plug.setValue(values[i] * kDegToRad);
        if (!st)
            return st;
    }
    return ZStatus();
}

} // namespace

ZStatus QoxZeltUtility::FindPlug(QoxZeltNode& node, ZPlug& plug, const char* name)
{
    return FindPlug(node.GetDagPath(), plug, name);
}

ZStatus QoxZeltUtility::FindPlug(ZDagPath* path, ZPlug& plug, const char* name)
{
    if (!path)
        return ZStatus(ZStatus::kInvalidParameter, "no host node");
    ZStatus st;
    ZFnDependencyNode fn(path->node(&st), &st);
    if (!st)
        return st;
    ZPlug found = fn.findPlug(ZString(name), &st);
    if (st)
        plug = found;
    return st;
}

bool QoxZeltUtility::GetPlug(ZFnDependencyNode& node, const char* name, ZPlug& plug)
{
    ZStatus st;
    ZPlug found = node.findPlug(ZString(name), &st);
    if (!st)
    {
        st.perror((std::string("Plug not found : ") + (name ? name : "")).c_str());
        return false;
    }
    plug = found;
    return true;
}

ZStatus QoxZeltUtility::SetPlugMatrix(ZPlug& plug, const double* values, bool useInfo)
{
    const ZString plugName = useInfo ? plug.info() : plug.name();
    std::string command = "setAttr " + plugName.str() + " -type \"matrix\"";
    for (int i = 0; i < 16; ++i)
        command += " " + KDoubleText(values[i], 'g', 17);
    ZStatus st = ZGlobal::executeCommand(ZString(command));
    DebugCheckStatus(st, command.c_str());
    return st;
}

bool QoxZeltUtility::GetDependencyOfThisType(ZObject* start, unsigned int filter, ZObject* out,
                                             ZItDependencyGraph::Direction direction, ZFn::Type type)
{
    if (!start || !out)
        return false;
    ZStatus st;
    ZItDependencyGraph it(*start, static_cast<ZFn::Type>(filter), direction, ZItDependencyGraph::kBreadthFirst,
                          ZItDependencyGraph::kPlugLevel, &st);
    if (!st)
        return false;
    for (; !it.isDone(); it.next())
    {
        ZObject item = it.currentItem();
        if (item.hasFn(type))
        {
            *out = item;
            return true;
        }
    }
    return false;
}

ZStatus QoxZeltUtility::GetJointOrient(const ZFnTransform& transform, ZPoint& angles)
{
    return GetXYZ(transform, "jointOrient", angles);
}

ZStatus QoxZeltUtility::SetJointOrient(const ZFnTransform& transform, const ZPoint& angles)
{
    return SetXYZ(transform, "jointOrient", angles);
}

ZStatus QoxZeltUtility::GetRotateAxis(const ZFnTransform& transform, ZPoint& angles)
{
    return GetXYZ(transform, "rotateAxis", angles);
}

ZStatus QoxZeltUtility::SetRotateAxis(const ZFnTransform& transform, const ZPoint& angles)
{
    return SetXYZ(transform, "rotateAxis", angles);
}

ZStatus QoxZeltUtility::GetZFnTransformNode(const ZFnTransform& transform, KQoxXMatrix& matrix)
{
    ZStatus st;
    ZVector t = transform.getTranslation(ZSpace::kTransform, &st);
    if (!st)
        return st;
    double q[4];
    double s[3];
    if (!(st = transform.getRotationQuaternion(q[0], q[1], q[2], q[3])) || !(st = transform.getScale(s)))
        return st;
    matrix.SetIdentity();
    matrix.SetT(KQoxVector4(t.x, t.y, t.z));
    matrix.SetQ(KQoxQuaternion(q[0], q[1], q[2], q[3]));
    matrix.SetS(KQoxVector4(s[0], s[1], s[2]));
    return ZStatus();
}

ZStatus QoxZeltUtility::SetZFnTransformNode(ZFnTransform& transform, const KQoxXMatrix& matrix)
{
    KQoxVector4 t = matrix.GetT();
    KQoxQuaternion q = matrix.GetQ();
    KQoxVector4 s = matrix.GetS();
    const double scale[3] = {s[0], s[1], s[2]};
    ZStatus st = transform.setTranslation(ZVector(t[0], t[1], t[2]), ZSpace::kTransform);
    if (st)
        st = transform.setRotationQuaternion(q[0], q[1], q[2], q[3]);
    if (st)
        st = transform.setScale(scale);
    return st;
}

void QoxZeltUtility::RemovePreAndPostFromRotation(QoxZeltNode& node, KQoxXMatrix& matrix)
{
    KQoxXMatrix pre;
    pre.SetR(node.GetPreRotation(qoxsdk_600::eSOURCE_SET));
    KQoxXMatrix post;
    post.SetR(node.GetPostRotation(qoxsdk_600::eSOURCE_SET));
    KQoxXMatrix rotation;
    rotation.SetQ(matrix.GetQ());
    KQoxXMatrix result = pre.Inverse() * rotation * post.Inverse();
    matrix.SetQ(result.GetQ());
}

double QoxZeltUtility::TimeUnitRatio()
{
    static const double kRatios[] = {1.0 / 3600.0, 1.0 / 60.0, 1.0, 1000.0, 15.0, 24.0, 30.0, 30.0, 48.0, 50.0, 60.0};
    int unit = static_cast<int>(ZTime::uiUnit());
    return unit >= 1 && unit <= 11 ? kRatios[unit - 1] : 1.0;
}

double QoxZeltUtility::DistanceUnitRatio()
{
    switch (ZDistance::uiUnit())
    {
    case ZDistance::kInches: return 2.54;
    case ZDistance::kFeet: return 30.48;
    case ZDistance::kYards: return 91.44;
    case ZDistance::kMiles: return 160934.4;
    case ZDistance::kMillimeters: return 0.1;
    case ZDistance::kMeters: return 100.0;
    case ZDistance::kKilometers: return 100000.0;
    default: return 1.0;
    }
}

bool QoxZeltUtility::IsCameraNameReserved(const char* name)
{
    static const char* const kReserved[] = {"persp",
                                            "top",
                                            "front",
                                            "side",
                                            "perspShape",
                                            "topShape",
                                            "frontShape",
                                            "sideShape",
                                            "Producer Perspective",
                                            "Producer Top",
                                            "Producer Front",
                                            "Producer Right"};
    if (!name)
        return false;
    for (const char* reserved : kReserved)
        if (strcmp(name, reserved) == 0)
            return true;
    return false;
}

std::string QoxZeltUtility::Replace(const char* text, const char* what, const char* with)
{
    std::string result = text ? text : "";
    if (!what || !*what)
        return result;
    const std::string from = what;
    const std::string to = with ? with : "";
    for (size_t at = result.find(from); at != std::string::npos; at = result.find(from, at + to.size()))
        result.replace(at, from.size(), to);
    return result;
}

void DebugCheckStatus(const ZStatus& status, const char* message)
{
    if (status)
        return;
    status.perror(status.errorString().c_str());
    if (message)
        status.perror((std::string(message) + " \n \n").c_str());
}

void FMSetPelbrinID(ZObject& object, int id)
{
    ZStatus st;
    ZFnDependencyNode node(object, &st);
    DebugCheckStatus(st, "FMSetPelbrinID: not a dependency node");
    if (!st)
        return;
    if (!node.hasAttribute("pelbrinTypeID"))
    {
        ZFnNumericAttribute fn;
        ZObject attribute = fn.create("pelbrinTypeID", "qoxID", ZFnNumericData::kInt, 0.0, &st);
        DebugCheckStatus(st, "FMSetPelbrinID: attribute not made");
        if (!st)
            return;
        DebugCheckStatus(fn.setHidden(true), "FMSetPelbrinID: setHidden");
        DebugCheckStatus(fn.setStorable(true), "FMSetPelbrinID: setStorable");
        DebugCheckStatus(fn.setConnectable(false), "FMSetPelbrinID: setConnectable");
        st = node.addAttribute(attribute);
        DebugCheckStatus(st, "FMSetPelbrinID: addAttribute");
        if (!st)
            return;
    }
    ZPlug plug = node.findPlug("pelbrinTypeID", &st);
    if (st)
        st = plug.setValue(id);
    DebugCheckStatus(st, "FMSetPelbrinID: setValue");
}

int ArrayTemplateCompareFctU32(const void* a, const void* b)
{
    uint32_t x;
    uint32_t y;
    memcpy(&x, a, sizeof(x));
    memcpy(&y, b, sizeof(y));
    return x < y ? -1 : (x > y ? 1 : 0);
}
