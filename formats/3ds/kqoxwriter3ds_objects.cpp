// The 3DS writer's static lights and cameras, and the change of a node's
// translation, rotation and scaling from the scene's Y-up axes to the Z-up
// axes of 3DS.

#include "formats/3ds/kqoxwriter3ds.h"
#include "formats/3ds/kqoxwriter3ds_private.h"

#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/kqoxcolor.h"

namespace qoxsdk_600 {

using namespace w3ds;

namespace {

// The name rule of lights and cameras: the first 10 characters.
void SetObjectName(char* field, size_t size, const char* name)
{
    field[size - 1] = '\0';
    CopyName(field, size, name ? name : "");
}

void FillLight(light3ds& record, KQoxLight* light, const KQoxVector4& t, const char* name)
{
    SetObjectName(record.name, sizeof record.name, name);
    double position[3];
    KQoxWriter3DS::ConvTPBto3DS(position, t);
    record.pos = {static_cast<float>(position[0]), static_cast<float>(position[1]), static_cast<float>(position[2])};
    KQoxColor color;
    light->GetDefaultColor(color);
    record.color = {static_cast<float>(color.mRed), static_cast<float>(color.mGreen), static_cast<float>(color.mBlue)};
    record.multiplier = static_cast<float>(light->GetDefaultIntensity() / 100.0);
}

} // namespace

K3dsPtr<light3ds> KQoxWriter3DS::ConvOmnilightPBto3DS(KQoxLight* light, const KQoxVector4& t, const char* name)
{
    if (!light)
        return nullptr;
    light3ds* raw = nullptr;
    InitLight3ds(&raw);
    K3dsPtr<light3ds> record(raw);
    if (record)
        FillLight(*record, light, t, name);
    return record;
}

K3dsPtr<light3ds> KQoxWriter3DS::ConvSpotlightPBto3DS(KQoxLight* light, const KQoxVector4& t, const KQoxVector4& r,
                                                      const char* name)
{
    (void)r; // a spot's aim is carried by its target in the keyframer
    if (!light)
        return nullptr;
    light3ds* raw = nullptr;
    InitSpotlight3ds(&raw);
    K3dsPtr<light3ds> record(raw);
    if (!record)
        return record;
    FillLight(*record, light, t, name);
    if (record->spot)
        record->spot->hotspot = static_cast<float>(light->GetDefaultConeAngle());
    return record;
}

K3dsPtr<camera3ds> KQoxWriter3DS::ConvCameraPBto3DS(KQoxCamera* camera, const KQoxVector4& t, const char* name)
{
    if (!camera)
        return nullptr;
    camera3ds* raw = nullptr;
    InitCamera3ds(&raw);
    K3dsPtr<camera3ds> record(raw);
    if (!record)
        return record;
    SetObjectName(record->name, sizeof record->name, name);
    double position[3];
    ConvTPBto3DS(position, t);
    record->position = {static_cast<float>(position[0]), static_cast<float>(position[1]),
                        static_cast<float>(position[2])};

    // The file holds one background: the last camera written sets it.
    background3ds* background = nullptr;
    InitBackground3ds(&background);
    K3dsPtr<background3ds> owned(background);
    if (owned && mDatabase)
    {
        const KQoxColor color = camera->GetDefaultBackgroundColor();
        owned->solid = {static_cast<float>(color.mRed), static_cast<float>(color.mGreen),
                        static_cast<float>(color.mBlue)};
        PutBackground3ds(mDatabase.get(), owned.get());
    }
    return record;
}

void KQoxWriter3DS::ConvTPBto3DS(double* out, const KQoxVector4& t)
{
    out[0] = t[0];
    out[1] = -t[2];
    out[2] = t[1];
}

void KQoxWriter3DS::ConvSPBto3DS(double* out, const KQoxVector4& s)
{
    out[0] = s[0];
    out[1] = s[2];
    out[2] = s[1];
}

void KQoxWriter3DS::ConvRPBto3DS(double* out, const KQoxVector4& r)
{
    double m[4][4];
    EulerRows(m, r[0], r[1], r[2]);
    double q[4];
    KmRtoQ(q, m);
    // The same rotation about the axes as 3DS names them: (x, -z, y).
    const double axes[4] = {q[0], -q[2], q[1], q[3]};
    double back[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    KmQtoR(back, axes);
    KmRtoVXYZ(out, back);
}

} // namespace qoxsdk_600
