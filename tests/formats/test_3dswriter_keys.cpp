// The 3DS writer's keyframer: curves sampled into key tracks, frame counts,
// parent names, and the motion records of meshes, dummies, lights and
// cameras with their targets, against values worked out by hand.

#include "w3ds_test_util.h"

#include <cmath>
#include <memory>

#include "scene/attributes/kqoxcameraproperties.h"

using namespace w3dstest;
using qoxtest::TempDir;

namespace {

const float kPi = 3.14159265f;

std::unique_ptr<KFCurve> Curve(std::initializer_list<std::pair<KTime, float>> keys)
{
    std::unique_ptr<KFCurve> curve(new KFCurve);
    for (const auto& key : keys)
        Key(curve.get(), key.first, key.second);
    return curve;
}

std::unique_ptr<KFCurve> Constant(float value)
{
    return Curve({{KTime(0), value}});
}

void ExpectPoint(const point3ds& p, double x, double y, double z, double tolerance = 1e-5)
{
    EXPECT_NEAR(p.x, x, tolerance) << "x";
    EXPECT_NEAR(p.y, y, tolerance) << "y";
    EXPECT_NEAR(p.z, z, tolerance) << "z";
}

void ExpectSampledHeaders(const keyheader3ds* keys, unsigned count)
{
    for (unsigned i = 0; i < count; ++i)
    {
        EXPECT_EQ(keys[i].time, i);
        EXPECT_EQ(keys[i].rflags, 7);
        EXPECT_EQ(keys[i].tension, 0.0f);
        EXPECT_EQ(keys[i].bias, 0.0f);
        EXPECT_EQ(keys[i].easefrom, 0.0f);
    }
}

// A writer with animation off, as after InitWrite with option 9 off.
struct StillWriter
{
    KQoxWriter3DS writer;
    explicit StillWriter(Scene& s)
        : writer(*s.manager)
    {
        auto options = Options({{9, 0}});
        writer.InitWrite(options.get());
    }
};

} // namespace

TEST(Writer3dsTracks, PositionScaleColourAndScalarSamples)
{
    auto one = Constant(1), two = Constant(2), three = Constant(3), zero = Constant(0);
    keyheader3ds keys[91];
    point3ds points[61];
    keys[0].time = 99;
    EXPECT_EQ(KQoxWriter3DS::Create3DSTransDataFromTCB(keys, points, one.get(), two.get(), three.get(), 0), 1);
    EXPECT_EQ(keys[0].time, 99u); // nothing written

    EXPECT_EQ(KQoxWriter3DS::Create3DSTransDataFromTCB(keys, points, one.get(), two.get(), three.get(), 61), 1);
    ExpectSampledHeaders(keys, 61);
    ExpectPoint(points[0], 1, -3, 2);
    ExpectPoint(points[60], 1, -3, 2);

    auto four = Constant(4);
    KQoxWriter3DS::Create3DSScaleDataFromTCB(keys, points, two.get(), three.get(), four.get(), 2);
    ExpectPoint(points[1], 2, 4, 3);
    KQoxWriter3DS::Create3DSScaleDataFromTCB(keys, points, zero.get(), zero.get(), zero.get(), 1);
    ExpectPoint(points[0], 1, 1, 1);
    auto tiny = Constant(9e-6f), minusTiny = Constant(-9e-6f);
    KQoxWriter3DS::Create3DSScaleDataFromTCB(keys, points, tiny.get(), minusTiny.get(), zero.get(), 1);
    ExpectPoint(points[0], 1, 1, 1);
    KQoxWriter3DS::Create3DSScaleDataFromTCB(keys, points, zero.get(), two.get(), three.get(), 1);
    ExpectPoint(points[0], 0, 3, 2);

    fcolor3ds colours[1];
    auto half = Constant(0.5f);
    KQoxWriter3DS::Create3DSColorDataFromTCB(keys, colours, one.get(), half.get(), zero.get(), 1);
    EXPECT_EQ(colours[0].r, 1.0f);
    EXPECT_EQ(colours[0].g, 0.5f);
    EXPECT_EQ(colours[0].b, 0.0f);

    // A curve whose keys start at 2 s is sampled from frame 0: before its
    // first key it holds that key's value; between keys it interpolates.
    auto late = Curve({{Frame(60), 10.0f}, {Frame(90), 40.0f}});
    float values[91];
    KQoxWriter3DS::Create3DSScalarDataFromTCB(keys, values, late.get(), 91);
    ExpectSampledHeaders(keys, 91);
    EXPECT_FLOAT_EQ(values[0], 10.0f);
    EXPECT_FLOAT_EQ(values[75], 25.0f);
    EXPECT_FLOAT_EQ(values[90], 40.0f);
}

TEST(Writer3dsTracks, RotationKeysHoldTheTurnSinceThePreviousKey)
{
    auto zero = Constant(0), ninety = Constant(90);
    keyheader3ds keys[3];
    kfrotkey3ds rot[3];
    // A constant quarter turn about the scene's up axis: key 0 is the turn
    // about the 3DS up axis, the later keys do not turn.
    KQoxWriter3DS::Create3DSRotDataFromTCB(keys, rot, zero.get(), ninety.get(), zero.get(), 3);
    ExpectSampledHeaders(keys, 3);
    EXPECT_NEAR(rot[0].angle, -kPi / 2, 1e-5);
    EXPECT_NEAR(rot[0].x, 0, 1e-6);
    EXPECT_NEAR(rot[0].y, 0, 1e-6);
    EXPECT_NEAR(rot[0].z, 1, 1e-6);
    for (int i = 1; i < 3; ++i)
    {
        EXPECT_EQ(rot[i].angle, 0.0f);
        EXPECT_EQ(rot[i].x, -1.0f);
        EXPECT_EQ(rot[i].y, 0.0f);
        EXPECT_EQ(rot[i].z, 0.0f);
    }
    // No rotation at all: (-1, 0, 0) and 0 on every key.
    KQoxWriter3DS::Create3DSRotDataFromTCB(keys, rot, zero.get(), zero.get(), zero.get(), 2);
    EXPECT_EQ(rot[0].x, -1.0f);
    EXPECT_EQ(rot[0].angle, 0.0f);

    // Turning 3 degrees a frame about X: every key turns 3 degrees.
    auto spin = Curve({{KTime(0), 0.0f}, {Frame(2), 6.0f}});
    KQoxWriter3DS::Create3DSRotDataFromTCB(keys, rot, spin.get(), zero.get(), zero.get(), 3);
    for (int i = 1; i < 3; ++i)
    {
        EXPECT_NEAR(std::fabs(rot[i].angle), 3 * kPi / 180, 1e-5) << i;
        EXPECT_NEAR(std::fabs(rot[i].x), 1, 1e-5) << i;
    }
}

TEST(Writer3dsKeyframer, MeshNodeFrameCountsAndDefaults)
{
    Scene s;
    KQoxNode* node = s.AddQuad(nullptr, "ExactlyTen");
    node->SetDefaultT(KQoxVector4(1, 2, 3));
    node->SetDefaultS(KQoxVector4(2, 3, 4));
    KQoxWriter3DS writer(*s.manager);
    // No keys: one key of the defaults.
    auto still = writer.ConvMeshNodePBto3DS(node);
    ASSERT_NE(still, nullptr);
    EXPECT_STREQ(still->name, "ExactlyTen");
    EXPECT_EQ(still->npkeys, 1u);
    EXPECT_EQ(still->nrkeys, 1u);
    EXPECT_EQ(still->nskeys, 1u);
    EXPECT_EQ(still->nmkeys, 0u);
    EXPECT_EQ(still->nhkeys, 0u);
    ExpectPoint(still->pos[0], 1, -3, 2);
    ExpectPoint(still->scale[0], 2, 4, 3);
    EXPECT_EQ(writer.ConvMeshNodePBto3DS(nullptr), nullptr);

    // Keys on translation Y from 2 s to 3 s: 91 frames, the other channels
    // hold their defaults.
    KFCurve* y = node->GetCurrentTakeNode()->GetTranslationY();
    Key(y, Frame(60), 5.0f);
    Key(y, Frame(90), 8.0f);
    auto moving = writer.ConvMeshNodePBto3DS(node);
    ASSERT_EQ(moving->npkeys, 91u);
    ExpectSampledHeaders(moving->pkeys, 91);
    ExpectPoint(moving->pos[0], 1, -3, 5);
    ExpectPoint(moving->pos[90], 1, -3, 8);
    ExpectPoint(moving->scale[45], 2, 4, 3);

    // The last key at 1.99 s: frame 59 (truncated), 60 keys.
    y->KeyRemove(1);
    y->KeySetTime(0, KTime(static_cast<long long>(1.99 * 46186158000LL)));
    EXPECT_EQ(writer.ConvMeshNodePBto3DS(node)->npkeys, 60u);

    // Animation off: one key, whatever the curves hold.
    StillWriter off(s);
    auto one = off.writer.ConvMeshNodePBto3DS(node);
    EXPECT_EQ(one->npkeys, 1u);
    ExpectPoint(one->pos[0], 1, -3, 2);
}

TEST(Writer3dsKeyframer, ParentNames)
{
    Scene s;
    KQoxNode* body = s.AddQuad(nullptr, "Body");
    KQoxNode* arm = s.AddQuad(body, "ElevenChars");
    KQoxNode* group = s.AddNode(nullptr, "Grp1");
    KQoxNode* inGroup = s.AddQuad(group, "InGroup");
    KQoxNode* reference = s.AddNode(nullptr, "Qox_RootOfImport");
    KQoxNode* imported = s.AddQuad(reference, "Imported");
    KQoxNode* top = s.AddQuad(nullptr, "Top");
    KQoxNode* lamp = s.AddNode(group, "Lamp", s.NewLight(KQoxLight::ePOINT));
    KQoxNode* meshLamp = s.AddNode(body, "Lamp2", s.NewLight(KQoxLight::ePOINT));
    KQoxNode* rootLamp = s.AddNode(reference, "Lamp3", s.NewLight(KQoxLight::ePOINT));
    KQoxWriter3DS writer(*s.manager);
    auto a = writer.ConvMeshNodePBto3DS(arm);
    EXPECT_STREQ(a->name, "ElevenChar");
    EXPECT_STREQ(a->parent, "Body");
    EXPECT_STREQ(writer.ConvMeshNodePBto3DS(inGroup)->parent, "$$$DUMMY.Grp1");
    EXPECT_STREQ(writer.ConvMeshNodePBto3DS(imported)->parent, "");
    EXPECT_STREQ(writer.ConvMeshNodePBto3DS(s.root)->parent, "");
    EXPECT_STREQ(writer.ConvOmnilightNodePBto3DS(lamp)->parent, "$$$DUMMY.Grp1");
    EXPECT_STREQ(writer.ConvOmnilightNodePBto3DS(meshLamp)->parent, "Body");
    // Lights know no reference node.
    EXPECT_STREQ(writer.ConvOmnilightNodePBto3DS(rootLamp)->parent, "$$$DUMMY.Qox_RootOf");

    // With the reference node on, nodes under it hang under the root's dummy.
    auto on = Options({{1, 1}});
    KQoxWriter3DS named(*s.manager);
    named.InitWrite(on.get());
    EXPECT_STREQ(named.ConvMeshNodePBto3DS(imported)->parent, "$$$DUMMY.RootNod");
    EXPECT_STREQ(named.ConvMeshNodePBto3DS(top)->parent, "$$$DUMMY.RootNod");
}

TEST(Writer3dsKeyframer, OmniLightTracks)
{
    Scene s;
    KQoxLight* light = s.NewLight(KQoxLight::ePOINT);
    KQoxNode* node = s.AddNode(nullptr, "Omni", light);
    node->SetDefaultT(KQoxVector4(0, 5, 0));
    KQoxColor color(1, 0.5, 0.25);
    light->SetDefaultColor(color);
    KFCurve* red = node->GetCurrentTakeNode()->GetColorR();
    Key(red, KTime(0), 0.0f);
    Key(red, Frame(10), 1.0f);
    KQoxWriter3DS writer(*s.manager);
    auto motion = writer.ConvOmnilightNodePBto3DS(node);
    ASSERT_EQ(motion->npkeys, 11u);
    ASSERT_EQ(motion->nckeys, 11u);
    ExpectPoint(motion->pos[10], 0, 0, 5);
    EXPECT_NEAR(motion->color[5].r, 0.5f, 1e-6);
    EXPECT_FLOAT_EQ(motion->color[5].g, 0.5f);
    EXPECT_FLOAT_EQ(motion->color[5].b, 0.25f);

    StillWriter off(s);
    auto still = off.writer.ConvOmnilightNodePBto3DS(node);
    ASSERT_EQ(still->nckeys, 1u);
    EXPECT_FLOAT_EQ(still->color[0].r, 1.0f);
    EXPECT_EQ(writer.ConvOmnilightNodePBto3DS(s.AddQuad(nullptr, "NotALight")), nullptr);
}

TEST(Writer3dsKeyframer, SpotLightTargets)
{
    Scene s;
    KQoxLight* light = s.NewLight(KQoxLight::eSPOT);
    light->SetDefaultConeAngle(30);
    KQoxNode* rig = s.AddNode(nullptr, "Rig");
    KQoxNode* spot = s.AddNode(rig, "Spot", light);
    KQoxWriter3DS writer(*s.manager);

    // No target node: 10 units down the local -Y axis, under the light's
    // own parent.
    auto level = writer.ConvSpotlightNodePBto3DS(spot);
    ASSERT_NE(level, nullptr);
    EXPECT_STREQ(level->parent, "$$$DUMMY.Rig");
    EXPECT_STREQ(level->tparent, "$$$DUMMY.Rig");
    ASSERT_EQ(level->ntkeys, 1u);
    ExpectPoint(level->tpos[0], 0, 0, -10);
    EXPECT_EQ(level->nrkeys, 1u);
    EXPECT_EQ(level->roll[0], 0.0f);
    EXPECT_EQ(level->hot[0], 30.0f);
    EXPECT_EQ(level->fall[0], 30.0f);

    spot->SetDefaultR(KQoxVector4(90, 0, 0));
    spot->SetDefaultT(KQoxVector4(1, 2, 3));
    auto turned = writer.ConvSpotlightNodePBto3DS(spot);
    // Scene target (1, 2, 3) + (0, 0, -10), written (x, -z, y).
    ExpectPoint(turned->tpos[0], 1, 7, 2, 1e-4);

    // A moving light over 10 frames with a keyed cone: the target follows
    // frame by frame, hotspot and falloff are equal.
    KFCurve* x = spot->GetCurrentTakeNode()->GetTranslationX();
    Key(x, KTime(0), 0.0f);
    Key(x, Frame(10), 10.0f);
    KFCurve* cone = spot->GetCurrentTakeNode()->GetLightConeAngle();
    Key(cone, KTime(0), 30.0f);
    Key(cone, Frame(10), 45.0f);
    auto moving = writer.ConvSpotlightNodePBto3DS(spot);
    ASSERT_EQ(moving->ntkeys, 11u);
    ExpectPoint(moving->tpos[4], 4, 7, 2, 1e-4);
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(moving->hot[i], moving->fall[i]);
    EXPECT_FLOAT_EQ(moving->hot[5], 37.5f);

    // A target node under a null: its own motion, named by its parent. Keys
    // on X alone (none on Z) are followed.
    KQoxNode* aimRig = s.AddNode(nullptr, "AimRig");
    KQoxNode* aim = s.AddNode(aimRig, "Aim");
    aim->SetDefaultT(KQoxVector4(0, 4, 6));
    KFCurve* aimX = aim->GetCurrentTakeNode()->GetTranslationX();
    Key(aimX, KTime(0), 0.0f);
    Key(aimX, Frame(20), 20.0f);
    spot->SetTarget(aim);
    auto targeted = writer.ConvSpotlightNodePBto3DS(spot);
    EXPECT_STREQ(targeted->tparent, "$$$DUMMY.AimRig");
    ASSERT_EQ(targeted->ntkeys, 21u);
    ExpectPoint(targeted->tpos[10], 10, -6, 4);

    // Animation off: the target's default, over the target's own frames.
    StillWriter off(s);
    auto still = off.writer.ConvSpotlightNodePBto3DS(spot);
    EXPECT_EQ(still->npkeys, 1u);
    ASSERT_EQ(still->ntkeys, 21u);
    ExpectPoint(still->tpos[20], 0, -6, 4);

    // A target under a mesh names the mesh.
    KQoxNode* holder = s.AddQuad(nullptr, "Holder");
    holder->AddChild(aim);
    EXPECT_STREQ(writer.ConvSpotlightNodePBto3DS(spot)->tparent, "Holder");
}

TEST(Writer3dsKeyframer, CameraTargetRollAndFieldOfView)
{
    Scene s;
    KQoxCamera* camera = s.manager->CreateKQoxCamera();
    KQoxNode* node = s.AddNode(nullptr, "Cam", camera);
    camera->SetApertureMode(KQoxCamera::eHORIZONTAL);
    KQoxWriter3DS writer(*s.manager);

    // Level at the origin: target (10, 0, 0); roll 90 - acos(0) * 180 / 3.1416.
    auto level = writer.ConvCameraNodePBto3DS(node);
    ASSERT_NE(level, nullptr);
    ASSERT_EQ(level->ntkeys, 1u);
    ExpectPoint(level->tpos[0], 10, 0, 0);
    const double offset = 90.0 - 90.0 * 3.141592653589793 / 3.1416;
    EXPECT_NEAR(offset, 0.00021, 1e-5);
    EXPECT_NEAR(level->roll[0], offset, 1e-6);
    EXPECT_STREQ(level->tparent, level->parent);
    EXPECT_NEAR(level->fov[0], camera->GetAngleOfView(), 1e-4);

    // Turned 90 degrees about X: up is (0, -1, 0), the side test flips the
    // sign: about +89.99958.
    node->SetDefaultR(KQoxVector4(90, 0, 0));
    EXPECT_NEAR(writer.ConvCameraNodePBto3DS(node)->roll[0], 180.0 * 3.141592653589793 / 3.1416 - 90.0, 1e-4);
    node->SetDefaultR(KQoxVector4(0, 0, 0));

    // A roll channel of 15 is added to the computed roll.
    KFCurve* roll = node->GetCurrentTakeNode()->GetCameraRoll();
    Key(roll, KTime(0), 15.0f);
    Key(roll, Frame(3), 15.0f);
    auto rolled = writer.ConvCameraNodePBto3DS(node);
    ASSERT_EQ(rolled->nrkeys, 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(rolled->roll[i], 15.0 + offset, 1e-4);

    // Horizontal aperture: keyed fields of view are written as they are.
    KFCurve* fov = node->GetCurrentTakeNode()->GetCameraFieldOfView();
    Key(fov, KTime(0), 40.0f);
    Key(fov, Frame(3), 60.0f);
    camera->SetApertureWidth(36);
    camera->SetApertureHeight(24);
    camera->SetSqueezeRatio(1);
    auto horizontal = writer.ConvCameraNodePBto3DS(node);
    EXPECT_FLOAT_EQ(horizontal->fov[0], 40.0f);
    EXPECT_FLOAT_EQ(horizontal->fov[3], 60.0f);

    // Vertical aperture: converted to horizontal, 36 by 24.
    camera->SetApertureMode(KQoxCamera::eVERTICAL);
    auto vertical = writer.ConvCameraNodePBto3DS(node);
    EXPECT_NEAR(vertical->fov[0], 57.27, 0.01);
    EXPECT_NEAR(vertical->fov[3], 81.79, 0.01);
    EXPECT_EQ(fov->KeyGetValue(0), 40.0f); // the scene keeps its keys

    // A zero aperture height leaves the values unconverted.
    camera->GetPropertyHandler()->FilmHeightSet(0.0); // past the camera's own clamp
    ASSERT_EQ(camera->GetApertureHeight(), 0.0);
    auto flat = writer.ConvCameraNodePBto3DS(node);
    EXPECT_FLOAT_EQ(flat->fov[0], 40.0f);
    EXPECT_TRUE(std::isfinite(flat->fov[3]));
    camera->SetApertureHeight(24);

    // Horizontal and vertical: the horizontal channel.
    camera->SetApertureMode(KQoxCamera::eHORIZONTAL_AND_VERTICAL);
    KFCurve* fovX = node->GetCurrentTakeNode()->GetCameraFieldOfViewX();
    Key(fovX, KTime(0), 70.0f);
    Key(fovX, Frame(3), 70.0f);
    EXPECT_FLOAT_EQ(writer.ConvCameraNodePBto3DS(node)->fov[1], 70.0f);

    // Animation off, vertical: the angle of view converted.
    camera->SetApertureMode(KQoxCamera::eVERTICAL);
    StillWriter off(s);
    auto still = off.writer.ConvCameraNodePBto3DS(node);
    ASSERT_EQ(still->nfkeys, 1u);
    const double v = camera->GetAngleOfView();
    EXPECT_NEAR(still->fov[0], 2 * std::atan(std::tan(v * kPi / 360) * 1.5) * 180 / kPi, 1e-3);

    // A target node: its motion, and the camera's roll channel unchanged.
    KQoxNode* aim = s.AddNode(nullptr, "Aim");
    aim->SetDefaultT(KQoxVector4(1, 2, 3));
    node->SetTarget(aim);
    auto targeted = writer.ConvCameraNodePBto3DS(node);
    ExpectPoint(targeted->tpos[0], 1, -3, 2);
    EXPECT_FLOAT_EQ(targeted->roll[2], 15.0f);
    // Under the root, named without InitWrite: the root's own name.
    EXPECT_STREQ(targeted->tparent, "$$$DUMMY.RootNode");
}

TEST(Writer3dsKeyframer, SpotAndCameraNodesInAFile)
{
    TempDir dir;
    Scene s;
    KQoxNode* spot = s.AddNode(nullptr, "Spot", s.NewLight(KQoxLight::eSPOT));
    spot->SetDefaultT(KQoxVector4(0, 10, 0));
    s.AddNode(nullptr, "Cam", s.manager->CreateKQoxCamera());
    auto options = Options();
    ASSERT_TRUE(WriteScene(s, dir.File("lights.3ds"), options.get()));
    Read3ds r(dir.File("lights.3ds"));
    ASSERT_EQ(GetSpotlightNodeCount3ds(r.db), 1u);
    spotmotion3ds* sm = nullptr;
    GetSpotlightMotionByIndex3ds(r.db, 0, &sm);
    K3dsPtr<spotmotion3ds> spotMotion(sm);
    EXPECT_STREQ(spotMotion->name, "Spot");
    ExpectPoint(spotMotion->pos[0], 0, 0, 10);
    ExpectPoint(spotMotion->tpos[0], 0, 0, 0);
    ASSERT_EQ(GetCameraNodeCount3ds(r.db), 1u);
    cameramotion3ds* cm = nullptr;
    GetCameraMotionByIndex3ds(r.db, 0, &cm);
    K3dsPtr<cameramotion3ds> cameraMotion(cm);
    EXPECT_STREQ(cameraMotion->name, "Cam");
    ExpectPoint(cameraMotion->tpos[0], 10, 0, 0);
}

TEST(Writer3dsKeyframer, LightAndCameraNamesAreCut)
{
    Scene s;
    KQoxWriter3DS writer(*s.manager);
    KQoxLight* light = s.NewLight(KQoxLight::ePOINT);
    s.AddNode(nullptr, "L", light);
    EXPECT_STREQ(writer.ConvOmnilightPBto3DS(light, KQoxVector4(), "KeyLightNumber1")->name, "KeyLightNu");
    EXPECT_STREQ(writer.ConvOmnilightPBto3DS(light, KQoxVector4(), "ExactlyTen")->name, "ExactlyTen");
    KQoxCamera* camera = s.manager->CreateKQoxCamera();
    s.AddNode(nullptr, "C", camera);
    auto record = writer.ConvCameraPBto3DS(camera, KQoxVector4(1, 2, 3), "CameraNumberOne");
    EXPECT_STREQ(record->name, "CameraNumb");
    ExpectPoint(record->position, 1, -3, 2);
    EXPECT_FLOAT_EQ(record->fov, 45.0f);
}
