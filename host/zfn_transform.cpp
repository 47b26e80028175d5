// Euler rotations, transformation matrices, transform and joint function sets.
#include "host/zfn_private.h"
#include "host/zscene_private.h"

#include <cfloat>
#include <cmath>

using namespace zelthost;

// ---- Rotations ----

namespace {

// Column-vector rotation about one axis.
ZMatrix AxisRotation(int axis, double angle)
{
    ZMatrix m;
    double c = std::cos(angle), s = std::sin(angle);
    int a = (axis + 1) % 3, b = (axis + 2) % 3;
    m.matrix[a][a] = c;
    m.matrix[a][b] = -s;
    m.matrix[b][a] = s;
    m.matrix[b][b] = c;
    return m;
}

ZMatrix Transposed(const ZMatrix& m)
{
    ZMatrix t;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            t.matrix[r][c] = m.matrix[c][r];
    return t;
}

// Axes of each order (first turns first) and whether it is an odd permutation.
const int kOrderAxes[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 2, 1}, {1, 0, 2}, {2, 1, 0}};
const bool kOrderOdd[6] = {false, false, false, true, true, true};

} // namespace

ZMatrix ZEulerRotation::asMatrix() const
{
    const double angles[3] = {x, y, z};
    int o = static_cast<int>(order);
    if (o < 0 || o > 5)
        o = 0;
    const int* ax = kOrderAxes[o];
    // Column vectors: R = Rk * Rj * Ri; row vectors use its transpose.
    ZMatrix col =
        AxisRotation(ax[2], angles[ax[2]]) * AxisRotation(ax[1], angles[ax[1]]) * AxisRotation(ax[0], angles[ax[0]]);
    ZMatrix rowForm = Transposed(col);
    for (int k = 0; k < 3; ++k)
        rowForm.matrix[3][k] = rowForm.matrix[k][3] = 0;
    rowForm.matrix[3][3] = 1;
    return rowForm;
}

ZEulerRotation ZEulerRotation::decompose(const ZMatrix& matrix, RotationOrder order)
{
    int o = static_cast<int>(order);
    if (o < 0 || o > 5)
        o = 0;
    // Static-frame Euler extraction on the column-vector form, with the scale
    // of each row taken out first.
    double M[3][3];
    for (int r = 0; r < 3; ++r)
    {
        double len = std::sqrt(matrix.matrix[r][0] * matrix.matrix[r][0] + matrix.matrix[r][1] * matrix.matrix[r][1] +
                               matrix.matrix[r][2] * matrix.matrix[r][2]);
        for (int c = 0; c < 3; ++c)
            M[c][r] = len > 0 ? matrix.matrix[r][c] / len : 0;
    }
    int i = kOrderAxes[o][0], j = kOrderAxes[o][1], k = kOrderAxes[o][2];
    bool odd = kOrderOdd[o];
    double a, b, c;
    double cy = std::sqrt(M[i][i] * M[i][i] + M[j][i] * M[j][i]);
    double sgn = odd ? -1.0 : 1.0;
    if (cy > 16 * FLT_EPSILON)
    {
        a = std::atan2(sgn * M[k][j], M[k][k]);
        b = std::atan2(-sgn * M[k][i], cy);
        c = std::atan2(sgn * M[j][i], M[i][i]);
    }
    else
    {
        a = std::atan2(-sgn * M[j][k], M[j][j]);
        b = std::atan2(-sgn * M[k][i], cy);
        c = 0;
    }
    double angles[3];
    angles[i] = a;
    angles[j] = b;
    angles[k] = c;
    return ZEulerRotation(angles[0], angles[1], angles[2], static_cast<RotationOrder>(o));
}

ZEulerRotation ZEulerRotation::reorder(RotationOrder newOrder) const
{
    return decompose(asMatrix(), newOrder);
}

bool ZEulerRotation::isEquivalent(const ZEulerRotation& other, double tolerance) const
{
    return asMatrix().isEquivalent(other.asMatrix(), tolerance);
}

namespace {

void QuatToRowMatrix(double x, double y, double z, double w, ZMatrix& m)
{
    double n = x * x + y * y + z * z + w * w;
    double s = n > 0 ? 2.0 / n : 0.0;
    // Column-vector form, written transposed.
    double col[3][3] = {{1 - s * (y * y + z * z), s * (x * y - z * w), s * (x * z + y * w)},
                        {s * (x * y + z * w), 1 - s * (x * x + z * z), s * (y * z - x * w)},
                        {s * (x * z - y * w), s * (y * z + x * w), 1 - s * (x * x + y * y)}};
    m = ZMatrix();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            m.matrix[r][c] = col[c][r];
}

void RowMatrixToQuat(const ZMatrix& m, double& x, double& y, double& z, double& w)
{
    double M[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            M[r][c] = m.matrix[c][r];
    double trace = M[0][0] + M[1][1] + M[2][2];
    if (trace > 0)
    {
        double s = std::sqrt(trace + 1.0) * 2;
        w = 0.25 * s;
        x = (M[2][1] - M[1][2]) / s;
        y = (M[0][2] - M[2][0]) / s;
        z = (M[1][0] - M[0][1]) / s;
    }
    else if (M[0][0] > M[1][1] && M[0][0] > M[2][2])
    {
        double s = std::sqrt(1.0 + M[0][0] - M[1][1] - M[2][2]) * 2;
        w = (M[2][1] - M[1][2]) / s;
        x = 0.25 * s;
        y = (M[0][1] + M[1][0]) / s;
        z = (M[0][2] + M[2][0]) / s;
    }
    else if (M[1][1] > M[2][2])
    {
        double s = std::sqrt(1.0 + M[1][1] - M[0][0] - M[2][2]) * 2;
        w = (M[0][2] - M[2][0]) / s;
        x = (M[0][1] + M[1][0]) / s;
        y = 0.25 * s;
        z = (M[1][2] + M[2][1]) / s;
    }
    else
    {
        double s = std::sqrt(1.0 + M[2][2] - M[0][0] - M[1][1]) * 2;
        w = (M[1][0] - M[0][1]) / s;
        x = (M[0][2] + M[2][0]) / s;
        y = (M[1][2] + M[2][1]) / s;
        z = 0.25 * s;
    }
}

ZMatrix Translate(const double t[3], double sign = 1.0)
{
    ZMatrix m;
    for (int k = 0; k < 3; ++k)
        m.matrix[3][k] = sign * t[k];
    return m;
}

} // namespace

// ---- ZTransformationMatrix ----

ZEulerRotation::RotationOrder ZTransformationMatrix::ToEuler(RotationOrder order)
{
    if (order < kXYZ || order > kZYX)
        return ZEulerRotation::kXYZ;
    return static_cast<ZEulerRotation::RotationOrder>(order - 1);
}

ZTransformationMatrix::RotationOrder ZTransformationMatrix::FromEuler(ZEulerRotation::RotationOrder order)
{
    return static_cast<RotationOrder>(static_cast<int>(order) + 1);
}

ZMatrix ZTransformationMatrix::asMatrix() const
{
    ZMatrix scale;
    for (int k = 0; k < 3; ++k)
        scale.matrix[k][k] = s[k];
    ZMatrix axis = ZEulerRotation(ra[0], ra[1], ra[2]).asMatrix();
    return Translate(sp, -1) * scale * Translate(sp) * Translate(spt) * Translate(rp, -1) * axis * r.asMatrix() *
           Translate(rp) * Translate(rpt) * Translate(t);
}

ZVector ZTransformationMatrix::translation(ZSpace::Space, ZStatus* status) const
{
    ZSetStatus(status, ZStatus());
    return ZVector(t[0], t[1], t[2]);
}

ZStatus ZTransformationMatrix::setTranslation(const ZVector& v, ZSpace::Space)
{
    if (!Finite({v.x, v.y, v.z}))
        return NotFinite();
    t[0] = v.x;
    t[1] = v.y;
    t[2] = v.z;
    return ZStatus();
}

ZStatus ZTransformationMatrix::getRotation(double angles[3], RotationOrder& order, ZSpace::Space) const
{
    angles[0] = r.x;
    angles[1] = r.y;
    angles[2] = r.z;
    order = FromEuler(r.order);
    return ZStatus();
}

ZStatus ZTransformationMatrix::setRotation(const double angles[3], RotationOrder order, ZSpace::Space)
{
    if (order < kXYZ || order > kZYX)
        return ZStatus(ZStatus::kInvalidParameter, "invalid rotation order");
    if (!Finite({angles[0], angles[1], angles[2]}))
        return NotFinite();
    r = ZEulerRotation(angles[0], angles[1], angles[2], ToEuler(order));
    return ZStatus();
}

ZEulerRotation ZTransformationMatrix::eulerRotation(ZStatus* status) const
{
    ZSetStatus(status, ZStatus());
    return r;
}

ZStatus ZTransformationMatrix::getRotationQuaternion(double& x, double& y, double& z, double& w) const
{
    RowMatrixToQuat(r.asMatrix(), x, y, z, w);
    return ZStatus();
}

ZStatus ZTransformationMatrix::setRotationQuaternion(double x, double y, double z, double w)
{
    if (!Finite({x, y, z, w}))
        return NotFinite();
    ZMatrix m;
    QuatToRowMatrix(x, y, z, w, m);
    r = ZEulerRotation::decompose(m, r.order);
    return ZStatus();
}

ZTransformationMatrix::RotationOrder ZTransformationMatrix::rotationOrder(ZStatus* status) const
{
    ZSetStatus(status, ZStatus());
    return FromEuler(r.order);
}

ZStatus ZTransformationMatrix::reorderRotation(RotationOrder order)
{
    if (order < kXYZ || order > kZYX)
        return ZStatus(ZStatus::kInvalidParameter, "invalid rotation order");
    r = r.reorder(ToEuler(order));
    return ZStatus();
}

ZStatus ZTransformationMatrix::getScale(double scale[3], ZSpace::Space) const
{
    for (int k = 0; k < 3; ++k)
        scale[k] = s[k];
    return ZStatus();
}

ZStatus ZTransformationMatrix::setScale(const double scale[3], ZSpace::Space)
{
    if (!Finite({scale[0], scale[1], scale[2]}))
        return NotFinite();
    for (int k = 0; k < 3; ++k)
        s[k] = scale[k];
    return ZStatus();
}

// ---- ZFnTransform ----

ZFnTransform::ZFnTransform(const ZObject& object, ZStatus* status)
{
    ZSetStatus(status, setObject(object));
}

ZFnTransform::ZFnTransform(const ZDagPath& path, ZStatus* status)
{
    // A path to a shape reaches its transform.
    ZDagPath use = path;
    if (path.isValid() && path.length() > 0 && !CurrentScene().Get(path.ids().back())->Is(ZFn::kTransform))
        use.pop(1);
    ZSetStatus(status, setObject(use));
}

ZStatus ZFnTransform::setObject(const ZObject& object)
{
    return AttachNode(object, ZFn::kTransform);
}

ZObject ZFnTransform::create(const ZObject& parent, ZStatus* status)
{
    return ZFnDagNode::create("transform", parent, status);
}

ZTransformationMatrix ZFnTransform::transformation(ZStatus* status) const
{
    ZTransformationMatrix tm;
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(mObject, &node)))
        return tm;
    ZVector v = GetVec(node, "translate");
    v.get(tm.t);
    v = GetVec(node, "rotate");
    int order = static_cast<int>(GetNum(node, "rotateOrder"));
    tm.r =
        ZEulerRotation(v.x, v.y, v.z, static_cast<ZEulerRotation::RotationOrder>(order >= 0 && order <= 5 ? order : 0));
    GetVec(node, "scale").get(tm.s);
    GetVec(node, "rotatePivot").get(tm.rp);
    GetVec(node, "rotatePivotTranslate").get(tm.rpt);
    GetVec(node, "scalePivot").get(tm.sp);
    GetVec(node, "scalePivotTranslate").get(tm.spt);
    GetVec(node, "rotateAxis").get(tm.ra);
    return tm;
}

ZStatus ZFnTransform::set(const ZTransformationMatrix& tm)
{
    Node* node = nullptr;
    ZStatus st = NodeStatus(mObject, &node);
    if (!st)
        return st;
    SetVec(node, "translate", ZVector(tm.t[0], tm.t[1], tm.t[2]));
    SetVec(node, "rotate", ZVector(tm.r.x, tm.r.y, tm.r.z));
    SetNum(node, "rotateOrder", static_cast<int>(tm.r.order));
    SetVec(node, "scale", ZVector(tm.s[0], tm.s[1], tm.s[2]));
    SetVec(node, "rotatePivot", ZVector(tm.rp[0], tm.rp[1], tm.rp[2]));
    SetVec(node, "rotatePivotTranslate", ZVector(tm.rpt[0], tm.rpt[1], tm.rpt[2]));
    SetVec(node, "scalePivot", ZVector(tm.sp[0], tm.sp[1], tm.sp[2]));
    SetVec(node, "scalePivotTranslate", ZVector(tm.spt[0], tm.spt[1], tm.spt[2]));
    SetVec(node, "rotateAxis", ZVector(tm.ra[0], tm.ra[1], tm.ra[2]));
    return ZStatus();
}

namespace {

// Reads or writes a three-part attribute of the attached transform,
// refusing locked plugs and non-finite numbers.
ZStatus SetTriple(const ZObject& object, const char* name, const ZVector& v)
{
    Node* node = nullptr;
    ZStatus st = NodeStatus(object, &node);
    if (!st)
        return st;
    if (!Finite({v.x, v.y, v.z}))
        return NotFinite();
    int attr = node->FindAttr(name);
    for (int a : {attr, node->Attr(attr)->children[0], node->Attr(attr)->children[1], node->Attr(attr)->children[2]})
        if (ZPlug(node->id, a, -1).isLocked())
            return ZStatus(ZStatus::kFailure, "The attribute '" + node->name + "." + name + "' is locked");
    SetVec(node, name, v);
    return ZStatus();
}

ZPoint AsPoint(const ZVector& v)
{
    return ZPoint(v.x, v.y, v.z);
}

ZVector GetTriple(const ZObject& object, const char* name, ZStatus* status)
{
    Node* node = nullptr;
    if (!ZSetStatus(status, NodeStatus(object, &node)))
        return ZVector();
    return GetVec(node, name);
}

} // namespace

ZVector ZFnTransform::getTranslation(ZSpace::Space, ZStatus* status) const
{
    return GetTriple(mObject, "translate", status);
}

ZStatus ZFnTransform::setTranslation(const ZVector& t, ZSpace::Space)
{
    return SetTriple(mObject, "translate", t);
}

ZStatus ZFnTransform::getRotation(ZEulerRotation& rotation) const
{
    ZStatus st;
    rotation = transformation(&st).r;
    return st;
}

ZStatus ZFnTransform::getRotation(double angles[3], ZTransformationMatrix::RotationOrder& order) const
{
    ZStatus st;
    ZTransformationMatrix tm = transformation(&st);
    if (st)
        tm.getRotation(angles, order);
    return st;
}

ZStatus ZFnTransform::setRotation(const ZEulerRotation& rotation)
{
    if (rotation.order < ZEulerRotation::kXYZ || rotation.order > ZEulerRotation::kZYX)
        return ZStatus(ZStatus::kInvalidParameter, "invalid rotation order");
    ZStatus st = SetTriple(mObject, "rotate", ZVector(rotation.x, rotation.y, rotation.z));
    if (st)
        SetNum(NodeOf(mObject), "rotateOrder", static_cast<int>(rotation.order));
    return st;
}

ZStatus ZFnTransform::setRotation(const double angles[3], ZTransformationMatrix::RotationOrder order)
{
    if (order < ZTransformationMatrix::kXYZ || order > ZTransformationMatrix::kZYX)
        return ZStatus(ZStatus::kInvalidParameter, "invalid rotation order");
    return setRotation(ZEulerRotation(angles[0], angles[1], angles[2], ZTransformationMatrix::ToEuler(order)));
}

ZStatus ZFnTransform::getRotationQuaternion(double& x, double& y, double& z, double& w, ZSpace::Space) const
{
    ZStatus st;
    ZTransformationMatrix tm = transformation(&st);
    return st ? tm.getRotationQuaternion(x, y, z, w) : st;
}

ZStatus ZFnTransform::setRotationQuaternion(double x, double y, double z, double w, ZSpace::Space)
{
    ZStatus st;
    ZTransformationMatrix tm = transformation(&st);
    if (!st)
        return st;
    st = tm.setRotationQuaternion(x, y, z, w);
    return st ? setRotation(tm.r) : st;
}

ZStatus ZFnTransform::getScale(double scale[3]) const
{
    ZStatus st;
    GetTriple(mObject, "scale", &st).get(scale);
    return st;
}

ZStatus ZFnTransform::setScale(const double scale[3])
{
    return SetTriple(mObject, "scale", ZVector(scale[0], scale[1], scale[2]));
}

ZPoint ZFnTransform::rotatePivot(ZSpace::Space, ZStatus* status) const
{
    return AsPoint(GetTriple(mObject, "rotatePivot", status));
}

ZStatus ZFnTransform::setRotatePivot(const ZPoint& p, ZSpace::Space, bool)
{
    return SetTriple(mObject, "rotatePivot", ZVector(p));
}

ZVector ZFnTransform::rotatePivotTranslation(ZSpace::Space, ZStatus* status) const
{
    return GetTriple(mObject, "rotatePivotTranslate", status);
}

ZStatus ZFnTransform::setRotatePivotTranslation(const ZVector& v, ZSpace::Space)
{
    return SetTriple(mObject, "rotatePivotTranslate", v);
}

ZPoint ZFnTransform::scalePivot(ZSpace::Space, ZStatus* status) const
{
    return AsPoint(GetTriple(mObject, "scalePivot", status));
}

ZStatus ZFnTransform::setScalePivot(const ZPoint& p, ZSpace::Space, bool)
{
    return SetTriple(mObject, "scalePivot", ZVector(p));
}

ZVector ZFnTransform::scalePivotTranslation(ZSpace::Space, ZStatus* status) const
{
    return GetTriple(mObject, "scalePivotTranslate", status);
}

ZStatus ZFnTransform::setScalePivotTranslation(const ZVector& v, ZSpace::Space)
{
    return SetTriple(mObject, "scalePivotTranslate", v);
}

ZTransformationMatrix::RotationOrder ZFnTransform::rotationOrder(ZStatus* status) const
{
    ZStatus st;
    ZTransformationMatrix tm = transformation(&st);
    ZSetStatus(status, st);
    return st ? tm.rotationOrder() : ZTransformationMatrix::kInvalid;
}

ZStatus ZFnTransform::setRotationOrder(ZTransformationMatrix::RotationOrder order, bool reorder)
{
    if (order < ZTransformationMatrix::kXYZ || order > ZTransformationMatrix::kZYX)
        return ZStatus(ZStatus::kInvalidParameter, "invalid rotation order");
    ZStatus st;
    ZTransformationMatrix tm = transformation(&st);
    if (!st)
        return st;
    ZEulerRotation r = reorder ? tm.r.reorder(ZTransformationMatrix::ToEuler(order))
                               : ZEulerRotation(tm.r.x, tm.r.y, tm.r.z, ZTransformationMatrix::ToEuler(order));
    return setRotation(r);
}

// ---- ZFnIkJoint ----

ZFN_DAG_CONSTRUCTORS(ZFnIkJoint)

ZStatus ZFnIkJoint::setObject(const ZObject& object)
{
    return AttachNode(object, ZFn::kJoint);
}

ZObject ZFnIkJoint::create(const ZObject& parent, ZStatus* status)
{
    ZObject made = ZFnDagNode::create("joint", parent, status);
    setObject(made);
    return made;
}

ZStatus ZFnIkJoint::getOrientation(double angles[3], ZTransformationMatrix::RotationOrder& order) const
{
    ZStatus st;
    GetTriple(mObject, "jointOrient", &st).get(angles);
    order = ZTransformationMatrix::kXYZ;
    return st;
}

ZStatus ZFnIkJoint::setOrientation(const double angles[3], ZTransformationMatrix::RotationOrder order)
{
    if (order != ZTransformationMatrix::kXYZ)
    {
        ZEulerRotation r = ZEulerRotation(angles[0], angles[1], angles[2], ZTransformationMatrix::ToEuler(order))
                               .reorder(ZEulerRotation::kXYZ);
        return SetTriple(mObject, "jointOrient", ZVector(r.x, r.y, r.z));
    }
    return SetTriple(mObject, "jointOrient", ZVector(angles[0], angles[1], angles[2]));
}
