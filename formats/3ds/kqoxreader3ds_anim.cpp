// The keyframer's key tracks into animation curves of the take "default
// take".

#include <climits>
#include <cmath>

#include "base/kmath_kernels.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvefilters.h"
#include "fcurve/kfcurvefilter_unroll.h"
#include "formats/3ds/kqoxreader3ds.h"
#include "formats/3ds/kqoxreader3ds_private.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmarker.h"
#include "scene/kqoxcolor.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

using namespace reader3ds;

namespace {

const double kUnrollQuality = 0.25;
const double kReducerPrecision = 1.0;
// The default hotspot and field of view of a track without values.
const float kDefaultAngle = 45.0f;

// The rotation of one key in the scene's axes as a quaternion (x, y, z, w):
// the axis turned to Y-up, the angle negated. A key without a usable axis
// or angle turns nothing.
void KeyQuaternion(const kfrotkey3ds& key, double q[4])
{
    KQoxVector4 axis = PointToScene(key.x, key.y, key.z);
    const double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    if (!(length > 0.0) || !std::isfinite(length) || !std::isfinite(key.angle))
    {
        q[0] = q[1] = q[2] = 0.0;
        q[3] = 1.0;
        return;
    }
    const double h = -0.5 * key.angle;
    const double s = std::sin(h) / length;
    q[0] = axis[0] * s;
    q[1] = axis[1] * s;
    q[2] = axis[2] * s;
    q[3] = std::cos(h);
}

// Scales the quaternion to unit length; a degenerate one becomes the identity.
void NormalizeQuaternion(double q[4])
{
    const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (!(length > 0.0) || !std::isfinite(length))
    {
        q[0] = q[1] = q[2] = 0.0;
        q[3] = 1.0;
        return;
    }
    for (int i = 0; i < 4; ++i)
        q[i] /= length;
}

// Euler XYZ angles in degrees of an orientation.
KQoxVector4 QuaternionToEuler(const double q[4])
{
    KQoxXMatrix matrix;
    matrix.SetQ(KQoxQuaternion(q[0], q[1], q[2], q[3]));
    return matrix.GetR();
}

// One key at time 0 holding the value.
void SetSingleKey(KFCurve* curve, double value)
{
    if (!curve)
        return;
    curve->KeyModifyBegin(1);
    curve->KeySetTCB(0, KTime(0), static_cast<float>(value), 0.0f, 0.0f, 0.0f);
    curve->KeyModifyEnd(1);
}

} // namespace

bool KQoxReader3DS::IsKeyed(unsigned long count, const void* keys, const void* values) const
{
    return mAnimation && count >= 2 && keys && values;
}

bool KQoxReader3DS::BeginTake(KQoxNode* node)
{
    if (!node)
        return false;
    // A node met twice keeps the take it has.
    node->CreateTakeNode(kTakeName);
    return node->SetCurrentTakeNode(kTakeName) && node->GetCurrentTakeNode();
}

template <class Values>
void KQoxReader3DS::KeyTrack(KFCurve** curves, int curveCount, unsigned long count, const keyheader3ds* keys,
                             Values values)
{
    const int reserved = count > static_cast<unsigned long>(INT_MAX) ? INT_MAX : static_cast<int>(count);
    for (int c = 0; c < curveCount; ++c)
        if (curves[c])
            curves[c]->KeyModifyBegin(reserved);
    int accepted = 0;
    long3ds last = 0;
    double out[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < reserved; ++i)
    {
        const keyheader3ds& key = keys[i];
        const long3ds frame = static_cast<long3ds>(key.time);
        if (accepted > 0 && frame <= last)
            continue;
        last = frame;
        values(i, out);
        const float tension = key.rflags & KeyUsesTension3ds ? key.tension : 0.0f;
        const float continuity = key.rflags & KeyUsesCont3ds ? key.continuity : 0.0f;
        const float bias = key.rflags & KeyUsesBias3ds ? key.bias : 0.0f;
        const KTime time = FrameTime(key.time);
        for (int c = 0; c < curveCount; ++c)
            if (curves[c])
                curves[c]->KeySetTCB(accepted, time, static_cast<float>(out[c]), tension, continuity, bias);
        ++accepted;
    }
    for (int c = 0; c < curveCount; ++c)
        if (curves[c])
            curves[c]->KeyModifyEnd(accepted);
}

void KQoxReader3DS::ReduceKeys(KFCurve** curves, int count)
{
    if (!mReduceKeys)
        return;
    KFCurve* present[3];
    int n = 0;
    for (int c = 0; c < count && n < 3; ++c)
        if (curves[c])
            present[n++] = curves[c];
    if (n == 0)
        return;
    KFCurveFilterKeyReducer reducer;
    reducer.SetPrecision(kReducerPrecision);
    reducer.Apply(present, n);
}

bool KQoxReader3DS::CreateTransDataFrom3DSAnim(KQoxNode* node, unsigned long count, keyheader3ds* keys,
                                               point3ds* values)
{
    KQoxTakeNode* take = node ? node->GetCurrentTakeNode() : nullptr;
    if (!take)
        return true;
    KFCurve* curves[3] = {take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ()};
    const double scale = mReferenceNodeFlag ? 1.0 : mScaleFactor;
    auto convert = [scale](const point3ds& p) { return PointToScene(p.x * scale, p.y * scale, p.z * scale); };
    if (IsKeyed(count, keys, values))
    {
        KeyTrack(curves, 3, count, keys, [&](int i, double* out) {
            const KQoxVector4 t = convert(values[i]);
            out[0] = t[0];
            out[1] = t[1];
            out[2] = t[2];
        });
        ReduceKeys(curves, 3);
        return true;
    }
    const KQoxVector4 t = count > 0 && values ? convert(values[0]) : KQoxVector4(0.0, 0.0, 0.0);
    for (int c = 0; c < 3; ++c)
        if (curves[c])
            curves[c]->SetValue(static_cast<float>(t[c]));
    node->SetDefaultT(t);
    return true;
}

bool KQoxReader3DS::CreateRotDataFrom3DSAnim(KQoxNode* node, unsigned long count, keyheader3ds* keys,
                                             kfrotkey3ds* values)
{
    KQoxTakeNode* take = node ? node->GetCurrentTakeNode() : nullptr;
    if (!take)
        return true;
    KFCurve* curves[3] = {take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ()};
    if (IsKeyed(count, keys, values))
    {
        // Each key turns on from the orientation of the key before.
        double q[4] = {0.0, 0.0, 0.0, 1.0};
        KeyTrack(curves, 3, count, keys, [&](int i, double* out) {
            double k[4];
            KeyQuaternion(values[i], k);
            KmQQ(q, k, q);
            NormalizeQuaternion(q);
            const KQoxVector4 r = QuaternionToEuler(q);
            out[0] = r[0];
            out[1] = r[1];
            out[2] = r[2];
        });
        if (curves[0] && curves[1] && curves[2])
        {
            KFCurveFilterUnroll unroll;
            unroll.SetTestForPath(true);
            unroll.SetQualityTolerance(kUnrollQuality);
            unroll.Apply(curves, 3);
        }
        ReduceKeys(curves, 3);
        return true;
    }
    const kfrotkey3ds identity = {0.0f, 0.0f, 1.0f, 0.0f};
    double q[4];
    KeyQuaternion(count > 0 && values ? values[0] : identity, q);
    NormalizeQuaternion(q);
    const KQoxVector4 r = QuaternionToEuler(q);
    for (int c = 0; c < 3; ++c)
        if (curves[c])
            curves[c]->SetValue(static_cast<float>(r[c]));
    node->SetDefaultR(r);
    return true;
}

bool KQoxReader3DS::CreateScaleDataFrom3DSAnim(KQoxNode* node, unsigned long count, keyheader3ds* keys,
                                               point3ds* values)
{
    KQoxTakeNode* take = node ? node->GetCurrentTakeNode() : nullptr;
    if (!take)
        return true;
    KFCurve* curves[3] = {take->GetScaleX(), take->GetScaleY(), take->GetScaleZ()};
    if (IsKeyed(count, keys, values))
    {
        KeyTrack(curves, 3, count, keys, [&](int i, double* out) {
            out[0] = values[i].x;
            out[1] = values[i].z;
            out[2] = values[i].y;
        });
        ReduceKeys(curves, 3);
        return true;
    }
    const KQoxVector4 s =
        count > 0 && values ? KQoxVector4(values[0].x, values[0].z, values[0].y) : KQoxVector4(1.0, 1.0, 1.0);
    for (int c = 0; c < 3; ++c)
        if (curves[c])
            curves[c]->SetValue(static_cast<float>(s[c]));
    node->SetDefaultS(s);
    return true;
}

bool KQoxReader3DS::CreateColorDataFrom3DSAnim(KQoxNode* node, unsigned long count, keyheader3ds* keys,
                                               fcolor3ds* values)
{
    KQoxTakeNode* take = node ? node->GetCurrentTakeNode() : nullptr;
    if (!take)
        return true;
    KFCurve* curves[3] = {take->GetColorR(), take->GetColorG(), take->GetColorB()};
    if (IsKeyed(count, keys, values))
    {
        KeyTrack(curves, 3, count, keys, [&](int i, double* out) {
            out[0] = values[i].r;
            out[1] = values[i].g;
            out[2] = values[i].b;
        });
        ReduceKeys(curves, 3);
        return true;
    }
    const fcolor3ds white = {1.0f, 1.0f, 1.0f};
    const fcolor3ds& value = count > 0 && values ? values[0] : white;
    KQoxColor color(value.r, value.g, value.b, 1.0);
    if (KQoxLight* light = node->GetLight())
        light->SetDefaultColor(color);
    else if (KQoxMarker* marker = node->GetMarker())
        marker->SetDefaultColor(color);
    SetSingleKey(curves[0], value.r);
    SetSingleKey(curves[1], value.g);
    SetSingleKey(curves[2], value.b);
    return true;
}

void KQoxReader3DS::ScalarTrack(KQoxNode* node, KFCurve* curve, unsigned long count, keyheader3ds* keys,
                                float3ds* values, float defaultValue, void (*setDefault)(KQoxNode*, double))
{
    if (IsKeyed(count, keys, values))
    {
        KFCurve* curves[1] = {curve};
        KeyTrack(curves, 1, count, keys, [&](int i, double* out) { out[0] = values[i]; });
        ReduceKeys(curves, 1);
        return;
    }
    const float value = count > 0 && values ? values[0] : defaultValue;
    SetSingleKey(curve, value);
    setDefault(node, value);
}

bool KQoxReader3DS::CreateScalarDataFrom3DSAnim(KQoxNode* node, unsigned long count, keyheader3ds* keys,
                                                float3ds* values)
{
    KQoxTakeNode* take = node ? node->GetCurrentTakeNode() : nullptr;
    if (take)
        ScalarTrack(node, take->GetLightConeAngle(), count, keys, values, kDefaultAngle, [](KQoxNode* n, double v) {
            if (KQoxLight* light = n->GetLight())
                light->SetDefaultConeAngle(v);
        });
    return true;
}

bool KQoxReader3DS::CreateFOVDataFrom3DSAnim(KQoxNode* node, unsigned long count, keyheader3ds* keys, float3ds* values)
{
    KQoxTakeNode* take = node ? node->GetCurrentTakeNode() : nullptr;
    if (take)
        ScalarTrack(node, take->GetCameraFieldOfView(), count, keys, values, kDefaultAngle, [](KQoxNode* n, double v) {
            if (KQoxCamera* camera = n->GetCamera())
                camera->SetDefaultFieldOfView(v);
        });
    return true;
}

bool KQoxReader3DS::CreateRollDataFrom3DSAnim(KQoxNode* node, unsigned long count, keyheader3ds* keys, float3ds* values)
{
    KQoxTakeNode* take = node ? node->GetCurrentTakeNode() : nullptr;
    if (take)
        ScalarTrack(node, take->GetCameraRoll(), count, keys, values, 0.0f, [](KQoxNode* n, double v) {
            if (KQoxCamera* camera = n->GetCamera())
                camera->SetDefaultRoll(v);
        });
    return true;
}

bool KQoxReader3DS::ImportMeshAnim()
{
    for (size_t r = 0; r < mObjectMotions.size() && r < mObjectMotionNodes.size(); ++r)
    {
        KQoxNode* node = mObjectMotionNodes[r];
        objectmotion3ds& m = *mObjectMotions[r];
        if (!BeginTake(node))
            continue;
        if (!CreateTransDataFrom3DSAnim(node, m.npkeys, m.pkeys, m.pos) ||
            !CreateRotDataFrom3DSAnim(node, m.nrkeys, m.rkeys, m.rot) ||
            !CreateScaleDataFrom3DSAnim(node, m.nskeys, m.skeys, m.scale))
            return false;
    }
    return true;
}

bool KQoxReader3DS::ImportOmnilightAnim()
{
    for (size_t r = 0; r < mOmnilightMotions.size() && r < mOmnilightMotionNodes.size(); ++r)
    {
        KQoxNode* node = mOmnilightMotionNodes[r];
        omnimotion3ds& m = *mOmnilightMotions[r];
        if (!BeginTake(node))
            continue;
        CreateTransDataFrom3DSAnim(node, m.npkeys, m.pkeys, m.pos);
        CreateColorDataFrom3DSAnim(node, m.nckeys, m.ckeys, m.color);
        KQoxLight* light = node->GetLight();
        const long found = r < mOmnilightMotionLights.size() ? mOmnilightMotionLights[r] : -1;
        if (light && found >= 0)
            light->SetDefaultIntensity(100.0 * mOmnilights[found]->multiplier);
    }
    return true;
}

bool KQoxReader3DS::ImportSpotlightAnim()
{
    for (size_t r = 0; r < mSpotlightMotions.size() && r < mSpotlightMotionNodes.size(); ++r)
    {
        KQoxNode* node = mSpotlightMotionNodes[r];
        spotmotion3ds& m = *mSpotlightMotions[r];
        if (BeginTake(node))
        {
            CreateTransDataFrom3DSAnim(node, m.npkeys, m.pkeys, m.pos);
            CreateColorDataFrom3DSAnim(node, m.nckeys, m.ckeys, m.color);
            CreateScalarDataFrom3DSAnim(node, m.nhkeys, m.hkeys, m.hot);
            KQoxLight* light = node->GetLight();
            const long found = r < mSpotlightMotionLights.size() ? mSpotlightMotionLights[r] : -1;
            if (light && found >= 0)
                light->SetDefaultIntensity(100.0 * mSpotlights[found]->multiplier);
        }
        KQoxNode* target = r < mSpotlightMotionTargetNodes.size() ? mSpotlightMotionTargetNodes[r] : nullptr;
        if (BeginTake(target))
            CreateTransDataFrom3DSAnim(target, m.ntkeys, m.tkeys, m.tpos);
    }
    return true;
}

bool KQoxReader3DS::ImportCameraAnim()
{
    for (size_t r = 0; r < mCameraMotions.size() && r < mCameraMotionNodes.size(); ++r)
    {
        KQoxNode* node = mCameraMotionNodes[r];
        cameramotion3ds& m = *mCameraMotions[r];
        if (BeginTake(node))
        {
            CreateTransDataFrom3DSAnim(node, m.npkeys, m.pkeys, m.pos);
            CreateFOVDataFrom3DSAnim(node, m.nfkeys, m.fkeys, m.fov);
            CreateRollDataFrom3DSAnim(node, m.nrkeys, m.rkeys, m.roll);
        }
        KQoxNode* target = r < mCameraMotionTargetNodes.size() ? mCameraMotionTargetNodes[r] : nullptr;
        if (BeginTake(target))
            CreateTransDataFrom3DSAnim(target, m.ntkeys, m.tkeys, m.tpos);
    }
    return true;
}

} // namespace qoxsdk_600
