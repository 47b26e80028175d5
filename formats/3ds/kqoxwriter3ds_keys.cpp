// The 3DS writer's keyframer: curves sampled into key tracks at 30 frames
// per second from frame 0, and the motion records of mesh and dummy nodes,
// omni lights, spot lights and cameras with their targets.

#include "formats/3ds/kqoxwriter3ds.h"
#include "formats/3ds/kqoxwriter3ds_private.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "fcurve/kfcurvenode.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/kqoxcolor.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

using namespace w3ds;

// The curves made during one motion record: one-key curves holding default
// values, and converted copies. A channel without keys exports its default.
class KQoxWriter3DS::CurveSet
{
public:
    // A new curve with one key at time 0.
    KFCurve* Constant(double value)
    {
        std::unique_ptr<KFCurve> curve(new KFCurve);
        curve->KeyModifyBegin(1);
        curve->KeySetTCB(0, FrameTime(0), static_cast<float>(value), 0.0f, 0.0f, 0.0f);
        curve->KeyModifyEnd(1);
        return Adopt(std::move(curve));
    }
    // The curve when it has keys, else a constant of the default.
    KFCurve* OrConstant(KFCurve* curve, double value)
    {
        return curve && curve->KeyGetCount() > 0 ? curve : Constant(value);
    }
    // OrConstant on three curves with the defaults values[0..2].
    template <class Values>
    void OrConstants(KFCurve** curves, const Values& values)
    {
        for (int axis = 0; axis < 3; ++axis)
            curves[axis] = OrConstant(curves[axis], values[axis]);
    }
    // The translation, rotation or color curves of take (null: none) into
    // out, keyless ones holding the node's or the light's default.
    void Position(KQoxNode* node, KQoxTakeNode* take, KFCurve** out);
    void Rotation(KQoxNode* node, KQoxTakeNode* take, KFCurve** out);
    void Color(KQoxLight* light, KQoxTakeNode* take, KFCurve** out);
    // One transform channel: the take's curves where it has them, the node's
    // default value of the channel for the others.
    void Transform(KQoxNode* node, KQoxTakeNode* take, KFCurve** out, void (*curves)(KQoxTakeNode*, KFCurve**),
                   KQoxVector4& (KQoxNode::*defaultValue)(KQoxVector4&));
    KFCurve* Adopt(std::unique_ptr<KFCurve> curve)
    {
        mOwned.push_back(std::move(curve));
        return mOwned.back().get();
    }

private:
    std::vector<std::unique_ptr<KFCurve>> mOwned;
};

namespace {

// The three values of curves x, y, z at frame time t.
void Sample(KFCurve* x, KFCurve* y, KFCurve* z, const KTime& t, double* out)
{
    out[0] = x->Evaluate(t);
    out[1] = y->Evaluate(t);
    out[2] = z->Evaluate(t);
}

// One sampled key a frame for frames 0 to count - 1: the header of key i,
// and store(i, v) with the three curves' values v at that frame.
template <class Store>
void SampleTrack(keyheader3ds* keys, KFCurve* x, KFCurve* y, KFCurve* z, unsigned int count, Store store)
{
    for (unsigned int i = 0; i < count; ++i)
    {
        double v[3];
        Sample(x, y, z, FrameTime(static_cast<int>(i)), v);
        SampledHeader(keys[i], i);
        store(i, v);
    }
}

// The position p and the rotation rows of curves position and rotation at
// frame time t.
void SamplePose(KFCurve* const* position, KFCurve* const* rotation, const KTime& t, double* p, double rows[4][4])
{
    double angles[3];
    Sample(position[0], position[1], position[2], t, p);
    Sample(rotation[0], rotation[1], rotation[2], t, angles);
    EulerRows(rows, angles[0], angles[1], angles[2]);
}

// The take whose curves a motion record follows: none with animation off.
KQoxTakeNode* AnimatedTake(KQoxNode* node, bool animation)
{
    return animation ? node->GetCurrentTakeNode() : nullptr;
}

void TranslationCurves(KQoxTakeNode* take, KFCurve** out)
{
    out[0] = take->GetTranslationX();
    out[1] = take->GetTranslationY();
    out[2] = take->GetTranslationZ();
}

void RotationCurves(KQoxTakeNode* take, KFCurve** out)
{
    out[0] = take->GetEulerRotationX();
    out[1] = take->GetEulerRotationY();
    out[2] = take->GetEulerRotationZ();
}

void ColorCurves(KQoxTakeNode* take, KFCurve** out)
{
    out[0] = take->GetColorR();
    out[1] = take->GetColorG();
    out[2] = take->GetColorB();
}

// A light's default color as red, green, blue.
std::array<double, 3> DefaultColor(KQoxLight* light)
{
    KQoxColor c;
    light->GetDefaultColor(c);
    return {c.mRed, c.mGreen, c.mBlue};
}

} // namespace

void KQoxWriter3DS::CurveSet::Transform(KQoxNode* node, KQoxTakeNode* take, KFCurve** out,
                                        void (*curves)(KQoxTakeNode*, KFCurve**),
                                        KQoxVector4& (KQoxNode::*defaultValue)(KQoxVector4&))
{
    if (take)
        curves(take, out);
    KQoxVector4 value;
    (node->*defaultValue)(value);
    OrConstants(out, value);
}

void KQoxWriter3DS::CurveSet::Position(KQoxNode* node, KQoxTakeNode* take, KFCurve** out)
{
    Transform(node, take, out, TranslationCurves, &KQoxNode::GetDefaultT);
}

void KQoxWriter3DS::CurveSet::Rotation(KQoxNode* node, KQoxTakeNode* take, KFCurve** out)
{
    Transform(node, take, out, RotationCurves, &KQoxNode::GetDefaultR);
}

void KQoxWriter3DS::CurveSet::Color(KQoxLight* light, KQoxTakeNode* take, KFCurve** out)
{
    if (take)
        ColorCurves(take, out);
    OrConstants(out, DefaultColor(light));
}

namespace {

// Scene point (X, Y, Z) in 3DS axes.
point3ds ToPoint(const double* v)
{
    return {static_cast<float>(v[0]), static_cast<float>(-v[2]), static_cast<float>(v[1])};
}

// A parent name of at most 20 characters into its field.
void SetParentName(char* field, const std::string& text)
{
    field[kParentNameLength] = '\0';
    CopyName(field, kParentNameLength + 1, text);
}

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// The camera field of view v (degrees) of a vertical aperture as a
// horizontal one; unchanged for an aperture without height.
double HorizontalFieldOfView(double v, KQoxCamera* camera)
{
    const double height = camera->GetApertureHeight();
    if (height == 0.0)
        return v;
    return 2.0 *
           std::atan(std::tan(v * kDegToRad * 0.5) * camera->GetSqueezeRatio() *
                     (camera->GetApertureWidth() / height)) *
           kRadToDeg;
}

} // namespace

// ---- Key tracks ----

int KQoxWriter3DS::Create3DSTransDataFromTCB(keyheader3ds* keys, point3ds* values, KFCurve* x, KFCurve* y, KFCurve* z,
                                             unsigned int count)
{
    SampleTrack(keys, x, y, z, count, [&](unsigned int i, const double* v) { values[i] = ToPoint(v); });
    return 1;
}

int KQoxWriter3DS::Create3DSRotDataFromTCB(keyheader3ds* keys, kfrotkey3ds* values, KFCurve* x, KFCurve* y, KFCurve* z,
                                           unsigned int count)
{
    double previous[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    for (unsigned int i = 0; i < count; ++i)
    {
        double angles[3];
        Sample(x, y, z, FrameTime(static_cast<int>(i)), angles);
        double m[4][4];
        EulerRows(m, angles[0], angles[1], angles[2]);
        // D = inverse(previous) . M: the turn from the previous key.
        double inverse[4][4], d[4][4];
        KmAi(inverse, previous);
        KmAA(d, m, inverse);
        double q[4];
        KmRtoQ(q, d);
        std::memcpy(previous, m, sizeof previous);
        const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
        if (length > 0.0)
            for (int k = 0; k < 3; ++k)
                q[k] /= length;
        else
            q[0] = q[1] = q[2] = 0.0;
        kfrotkey3ds key = {static_cast<float>(-2.0 * SafeAcos(q[3])), static_cast<float>(q[0]),
                           static_cast<float>(-q[2]), static_cast<float>(q[1])};
        if (std::fabs(key.x) < 1e-5 && std::fabs(key.y) < 1e-5 && std::fabs(key.z) < 1e-5 &&
            std::fabs(key.angle) < 1e-5)
        {
            key.x = -1.0f;
            key.angle = 0.0f;
        }
        SampledHeader(keys[i], i);
        values[i] = key;
    }
    return 1;
}

int KQoxWriter3DS::Create3DSScaleDataFromTCB(keyheader3ds* keys, point3ds* values, KFCurve* x, KFCurve* y, KFCurve* z,
                                             unsigned int count)
{
    SampleTrack(keys, x, y, z, count, [&](unsigned int i, const double* v) {
        // A vanishing scale would collapse the object: it stays whole.
        if (std::fabs(v[0]) < 1e-5 && std::fabs(v[1]) < 1e-5 && std::fabs(v[2]) < 1e-5)
            values[i] = {1.0f, 1.0f, 1.0f};
        else
            values[i] = {static_cast<float>(v[0]), static_cast<float>(v[2]), static_cast<float>(v[1])};
    });
    return 1;
}

int KQoxWriter3DS::Create3DSColorDataFromTCB(keyheader3ds* keys, fcolor3ds* values, KFCurve* r, KFCurve* g, KFCurve* b,
                                             unsigned int count)
{
    SampleTrack(keys, r, g, b, count, [&](unsigned int i, const double* v) {
        values[i] = {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
    });
    return 1;
}

int KQoxWriter3DS::Create3DSScalarDataFromTCB(keyheader3ds* keys, float* values, KFCurve* curve, unsigned int count)
{
    for (unsigned int i = 0; i < count; ++i)
    {
        SampledHeader(keys[i], i);
        values[i] = curve->Evaluate(FrameTime(static_cast<int>(i)));
    }
    return 1;
}

// ---- Frame counts, names, targets ----

int KQoxWriter3DS::GetFrameCount(KQoxNode* node, bool ignoreAnimationSwitch)
{
    if (!node || (!mAnimation && !ignoreAnimationSwitch))
        return 1;
    KQoxTakeNode* take = node->GetCurrentTakeNode();
    if (!take)
        return 1;
    KTime start(0), stop(0);
    take->GetAnimationInterval(start, stop);
    const long long last = stop.GetFrame(true, kTimeMode30);
    if (last < 0)
        return 1;
    // Counts past the largest int cannot be allocated; the toolkit then fails.
    return last >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(last + 1);
}

// The parent of a mesh or dummy node: an exported node by its name, a dummy
// as "$$$DUMMY." and its name; the reference node of an earlier 3DS import
// stands for the scene root's dummy (when written) or for no parent.
std::string KQoxWriter3DS::MeshParentName(KQoxNode* node)
{
    KQoxNode* parent = node->GetParent();
    if (!parent)
        return std::string();
    KQoxNodeAttribute* attribute = parent->GetNodeAttribute();
    const std::string name = Get3dsName(parent);
    if (attribute && IsExportedType(attribute->GetAttributeType()))
        return name;
    if (StartsWith(name, kReferenceNodePrefix))
    {
        if (!mReferenceNode)
            return std::string();
        KQoxNode* root = mScene ? mScene->GetRootNode() : nullptr;
        return std::string(kDummyParentPrefix) + (root ? Get3dsName(root) : std::string(kRootNodeName));
    }
    return std::string(kDummyParentPrefix) + name;
}

// The parent of a light, a camera or a target: as for meshes, without the
// reference-node case; empty without a parent.
std::string KQoxWriter3DS::ObjectParentName(KQoxNode* parent)
{
    if (!parent)
        return std::string();
    KQoxNodeAttribute* attribute = parent->GetNodeAttribute();
    if (attribute && IsExportedType(attribute->GetAttributeType()))
        return Get3dsName(parent);
    return std::string(kDummyParentPrefix) + Get3dsName(parent);
}

// The target of node and its translation curves: followed when animation
// is on and any of them has keys (keyless ones hold the default), else the
// target's default translation. count is the target's own frame count, n
// without a target (out then stays untouched).
KQoxNode* KQoxWriter3DS::TargetTrack(KQoxNode* node, int n, CurveSet& curves, KFCurve** out, int& count)
{
    KQoxNode* target = node->GetTarget();
    count = n;
    if (!target)
        return nullptr;
    count = GetFrameCount(target, true);
    KQoxVector4 t;
    target->GetDefaultT(t);
    KFCurve* taken[3] = {};
    bool keyed = false;
    if (KQoxTakeNode* take = AnimatedTake(target, mAnimation))
        TranslationCurves(take, taken);
    for (KFCurve* curve : taken)
        keyed = keyed || (curve && curve->KeyGetCount() > 0);
    if (!keyed)
        std::fill(taken, taken + 3, nullptr);
    curves.OrConstants(taken, t);
    std::copy(taken, taken + 3, out);
    return target;
}

// ---- Motion records ----

K3dsPtr<objectmotion3ds> KQoxWriter3DS::ConvMeshNodePBto3DS(KQoxNode* node)
{
    if (!node)
        return nullptr;
    const int n = GetFrameCount(node);
    CurveSet made;
    KFCurve* curves[3][3] = {};
    KQoxTakeNode* take = AnimatedTake(node, mAnimation);
    if (KFCurveNode* curveNode = take ? take->GetKFCurveNode() : nullptr)
        curveNode->GetTransformCurves(curves[0], curves[1], curves[2]);
    KQoxVector4 defaults[3] = {KQoxVector4(), KQoxVector4(), KQoxVector4(1, 1, 1)};
    node->GetDefaultT(defaults[0]);
    node->GetDefaultR(defaults[1]);
    node->GetDefaultS(defaults[2]);
    for (int c = 0; c < 3; ++c)
        made.OrConstants(curves[c], defaults[c]);

    objectmotion3ds* raw = nullptr;
    InitObjectMotion3ds(&raw, n, n, n, 0, 0);
    K3dsPtr<objectmotion3ds> record(raw);
    if (!record || Failed() || !record->pkeys || !record->rkeys || !record->skeys)
        return nullptr;
    CopyName(record->name, sizeof record->name, Get3dsName(node));
    SetParentName(record->parent, MeshParentName(node));
    Create3DSTransDataFromTCB(record->pkeys, record->pos, curves[0][0], curves[0][1], curves[0][2], n);
    Create3DSRotDataFromTCB(record->rkeys, record->rot, curves[1][0], curves[1][1], curves[1][2], n);
    Create3DSScaleDataFromTCB(record->skeys, record->scale, curves[2][0], curves[2][1], curves[2][2], n);
    return record;
}

// What the records of both light kinds start from: the light, its take, the
// frame count and the position and colour curves.
struct KQoxWriter3DS::LightTracks
{
    KQoxLight* mLight = nullptr;
    KQoxTakeNode* mTake = nullptr;
    int mFrames = 0;
    CurveSet mMade;
    KFCurve* mPosition[3] = {};
    KFCurve* mColor[3] = {};
};

// False when the node holds no light.
bool KQoxWriter3DS::StartLightTracks(KQoxNode* node, LightTracks& tracks)
{
    tracks.mLight = node ? node->GetLight() : nullptr;
    if (!tracks.mLight)
        return false;
    tracks.mFrames = GetFrameCount(node);
    tracks.mTake = AnimatedTake(node, mAnimation);
    tracks.mMade.Position(node, tracks.mTake, tracks.mPosition);
    tracks.mMade.Color(tracks.mLight, tracks.mTake, tracks.mColor);
    return true;
}

K3dsPtr<omnimotion3ds> KQoxWriter3DS::ConvOmnilightNodePBto3DS(KQoxNode* node)
{
    LightTracks tracks;
    if (!StartLightTracks(node, tracks))
        return nullptr;
    const int n = tracks.mFrames;
    KFCurve** position = tracks.mPosition;
    KFCurve** color = tracks.mColor;

    omnimotion3ds* raw = nullptr;
    InitOmnilightMotion3ds(&raw, n, n);
    K3dsPtr<omnimotion3ds> record(raw);
    if (!record || Failed() || !record->pkeys || !record->ckeys)
        return nullptr;
    CopyName(record->name, sizeof record->name, Get3dsName(node));
    SetParentName(record->parent, ObjectParentName(node->GetParent()));
    Create3DSTransDataFromTCB(record->pkeys, record->pos, position[0], position[1], position[2], n);
    Create3DSColorDataFromTCB(record->ckeys, record->color, color[0], color[1], color[2], n);
    return record;
}

K3dsPtr<spotmotion3ds> KQoxWriter3DS::ConvSpotlightNodePBto3DS(KQoxNode* node)
{
    LightTracks tracks;
    if (!StartLightTracks(node, tracks))
        return nullptr;
    KQoxLight* light = tracks.mLight;
    KQoxTakeNode* take = tracks.mTake;
    CurveSet& made = tracks.mMade;
    const int n = tracks.mFrames;
    KFCurve** position = tracks.mPosition;
    KFCurve** color = tracks.mColor;
    KFCurve* rotation[3] = {};
    made.Rotation(node, take, rotation);
    KFCurve* cone = nullptr;
    if (take)
        cone = take->GetLightConeAngle();
    cone = made.OrConstant(cone, light->GetDefaultConeAngle());
    // The roll of a spot is not exported: one key of 0.
    KFCurve* roll = made.Constant(0.0);

    KFCurve* aim[3] = {};
    int m = n;
    KQoxNode* target = TargetTrack(node, n, made, aim, m);

    spotmotion3ds* raw = nullptr;
    InitSpotlightMotion3ds(&raw, n, n, n, n, 1, m);
    K3dsPtr<spotmotion3ds> record(raw);
    if (!record || Failed() || !record->pkeys || !record->ckeys || !record->hkeys || !record->fkeys || !record->rkeys ||
        !record->tkeys)
        return nullptr;
    CopyName(record->name, sizeof record->name, Get3dsName(node));
    const std::string parent = ObjectParentName(node->GetParent());
    SetParentName(record->parent, parent);
    // The target node hangs where the node its position is relative to does.
    SetParentName(record->tparent, target ? ObjectParentName(target->GetParent()) : parent);
    Create3DSTransDataFromTCB(record->pkeys, record->pos, position[0], position[1], position[2], n);
    Create3DSColorDataFromTCB(record->ckeys, record->color, color[0], color[1], color[2], n);
    Create3DSScalarDataFromTCB(record->hkeys, record->hot, cone, n);
    Create3DSScalarDataFromTCB(record->fkeys, record->fall, cone, n);
    Create3DSScalarDataFromTCB(record->rkeys, record->roll, roll, 1);
    if (target)
    {
        Create3DSTransDataFromTCB(record->tkeys, record->tpos, aim[0], aim[1], aim[2], m);
        return record;
    }
    // No target node: the point 10 units along the light's local -Y axis.
    for (int i = 0; i < m; ++i)
    {
        const KTime time = FrameTime(i);
        double p[3], rows[4][4];
        SamplePose(position, rotation, time, p, rows);
        double q[3];
        for (int k = 0; k < 3; ++k)
            q[k] = static_cast<float>(p[k] - kTargetDistance * rows[1][k]);
        SampledHeader(record->tkeys[i], static_cast<unsigned int>(i));
        record->tpos[i] = ToPoint(q);
    }
    return record;
}

K3dsPtr<cameramotion3ds> KQoxWriter3DS::ConvCameraNodePBto3DS(KQoxNode* node)
{
    KQoxCamera* camera = node ? node->GetCamera() : nullptr;
    if (!camera)
        return nullptr;
    const int n = GetFrameCount(node);
    const int mode = camera->GetApertureMode();
    double fov0 = 0.0;
    if (mode == KQoxCamera::eHORIZONTAL)
        fov0 = camera->GetAngleOfView();
    else if (mode == KQoxCamera::eHORIZONTAL_AND_VERTICAL)
        fov0 = camera->GetDefaultFieldOfViewX();
    else
        fov0 = HorizontalFieldOfView(mAnimation ? camera->GetDefaultFieldOfView() : camera->GetAngleOfView(), camera);

    CurveSet made;
    KFCurve* position[3] = {};
    KFCurve* rotation[3] = {};
    KFCurve* fov = nullptr;
    KFCurve* roll = nullptr;
    KQoxTakeNode* take = AnimatedTake(node, mAnimation);
    made.Position(node, take, position);
    made.Rotation(node, take, rotation);
    if (take)
    {
        // Keyed fields of view follow the rule of the static one: the
        // horizontal channel in mode 0, the vertical one converted in
        // mode 2 (on a copy: the scene keeps its keys).
        fov =
            mode == KQoxCamera::eHORIZONTAL_AND_VERTICAL ? take->GetCameraFieldOfViewX() : take->GetCameraFieldOfView();
        roll = take->GetCameraRoll();
        if (fov && fov->KeyGetCount() > 0 && mode != KQoxCamera::eHORIZONTAL &&
            mode != KQoxCamera::eHORIZONTAL_AND_VERTICAL)
        {
            std::unique_ptr<KFCurve> copy(new KFCurve);
            copy->CopyFrom(*fov);
            const int keys = copy->KeyGetCount();
            copy->KeyModifyBegin(keys);
            for (int k = 0; k < keys; ++k)
                copy->KeySetValue(k, static_cast<float>(HorizontalFieldOfView(copy->KeyGetValue(k), camera)));
            copy->KeyModifyEnd(keys);
            fov = made.Adopt(std::move(copy));
        }
    }
    fov = made.OrConstant(fov, fov0);
    roll = made.OrConstant(roll, camera->GetRoll());

    KFCurve* aim[3] = {};
    int m = n;
    KQoxNode* target = TargetTrack(node, n, made, aim, m);

    cameramotion3ds* raw = nullptr;
    InitCameraMotion3ds(&raw, n, n, n, m);
    K3dsPtr<cameramotion3ds> record(raw);
    if (!record || Failed() || !record->pkeys || !record->fkeys || !record->rkeys || !record->tkeys)
        return nullptr;
    CopyName(record->name, sizeof record->name, Get3dsName(node));
    const std::string parent = ObjectParentName(node->GetParent());
    SetParentName(record->parent, parent);
    SetParentName(record->tparent, target ? ObjectParentName(target->GetParent()) : parent);
    Create3DSTransDataFromTCB(record->pkeys, record->pos, position[0], position[1], position[2], n);
    Create3DSScalarDataFromTCB(record->fkeys, record->fov, fov, n);
    if (target)
    {
        Create3DSScalarDataFromTCB(record->rkeys, record->roll, roll, n);
        Create3DSTransDataFromTCB(record->tkeys, record->tpos, aim[0], aim[1], aim[2], m);
        return record;
    }
    // No target node: the point 10 units along the camera's local +X axis,
    // and the roll recomputed from the camera's orientation.
    for (int i = 0; i < m; ++i)
    {
        const KTime time = FrameTime(i);
        double p[3], rows[4][4];
        SamplePose(position, rotation, time, p, rows);
        double q[3], u[3], s[3];
        for (int k = 0; k < 3; ++k)
        {
            q[k] = p[k] + kTargetDistance * rows[0][k];
            u[k] = rows[2][k];
            s[k] = p[k] + u[k];
        }
        // 3.1416, not pi: a level camera gets a roll of about 0.00021.
        const double a = 90.0 - SafeAcos(u[1]) * 180.0 / 3.1416;
        const double c[3] = {-q[2], 0.0, q[0]};
        double d1 = 0.0, d2 = 0.0;
        for (int k = 0; k < 3; ++k)
        {
            d1 += (c[k] - s[k]) * (c[k] - s[k]);
            d2 += (-c[k] - s[k]) * (-c[k] - s[k]);
        }
        const double signedAngle = std::sqrt(d1) >= std::sqrt(d2) ? -a : a;
        SampledHeader(record->rkeys[i], static_cast<unsigned int>(i));
        record->roll[i] = static_cast<float>(signedAngle + roll->Evaluate(time));
        double qf[3];
        for (int k = 0; k < 3; ++k)
            qf[k] = static_cast<float>(q[k]);
        SampledHeader(record->tkeys[i], static_cast<unsigned int>(i));
        record->tpos[i] = ToPoint(qf);
    }
    return record;
}

} // namespace qoxsdk_600
