// Files of the 3DS writer read by lib3ds, the reference reader, and dumped
// by 3dsdump: hierarchy, meshes, materials, lights, cameras and key tracks.

#include "w3ds_test_util.h"

#include "common/qox_test_run.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace w3dstest;
using qoxtest::TempDir;

#ifndef QOX_HAVE_LIB3DS

TEST(Writer3dsLib3ds, SkippedWithoutLib3ds)
{
    GTEST_SKIP() << "lib3ds is not installed: the cross-reads need it";
}

#else

#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/light.h>
#include <lib3ds/material.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>

namespace {

template <typename Key>
int CountKeys(Key* k)
{
    int n = 0;
    for (; k; k = k->next)
        ++n;
    return n;
}

void ExpectVec(const float* v, float x, float y, float z)
{
    EXPECT_NEAR(v[0], x, 1e-5);
    EXPECT_NEAR(v[1], y, 1e-5);
    EXPECT_NEAR(v[2], z, 1e-5);
}

// A scene of every kind the writer handles, with a hierarchy and motion.
struct Sample : Scene
{
    Sample()
    {
        KQoxMesh* quad = NewMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}}, {0, 1});
        KQoxMaterial* red = AddMaterial(quad, "Red");
        red->SetDiffuse(KQoxColor(1, 0, 0));
        AddMaterial(quad, "Blue")->SetDiffuse(KQoxColor(0, 0, 1));
        KQoxNode* body = AddNode(nullptr, "Body", quad);
        body->SetDefaultT(KQoxVector4(1, 2, 3));
        KFCurve* x = body->GetCurrentTakeNode()->GetTranslationX();
        Key(x, KTime(0), 1.0f);
        Key(x, Frame(30), 4.0f);
        KFCurve* ry = body->GetCurrentTakeNode()->GetEulerRotationY();
        Key(ry, KTime(0), 0.0f);
        Key(ry, Frame(30), 90.0f);
        AddNode(body, "Arm", NewMesh({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {{0, 1, 2}}));
        KQoxNode* group = AddNode(nullptr, "Grp");
        group->SetDefaultT(KQoxVector4(1, 0, 0));
        KQoxLight* lamp = NewLight(KQoxLight::ePOINT);
        AddNode(group, "Lamp", lamp)->SetDefaultT(KQoxVector4(0, 5, 0));
        KQoxLight* spot = NewLight(KQoxLight::eSPOT);
        spot->SetDefaultConeAngle(30);
        KQoxNode* spotNode = AddNode(group, "Spot", spot);
        KQoxNode* aim = AddNode(group, "Aim");
        aim->SetDefaultT(KQoxVector4(0, 0, -4));
        spotNode->SetTarget(aim);
        AddNode(nullptr, "Cam", manager->CreateKQoxCamera())->SetDefaultT(KQoxVector4(0, 0, 10));
    }
};

} // namespace

TEST(Writer3dsLib3ds, Lib3dsReadsTheWrittenScene)
{
    TempDir dir;
    Sample s;
    const std::string path = dir.File("sample.3ds");
    auto options = Options();
    ASSERT_TRUE(WriteScene(s, path, options.get()));
    Lib3dsFile* f = lib3ds_file_load(path.c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->frames, 30);
    EXPECT_FLOAT_EQ(f->master_scale, 0.3937007874015748f);

    Lib3dsMesh* body = lib3ds_file_mesh_by_name(f, "Body");
    ASSERT_NE(body, nullptr);
    ASSERT_EQ(body->points, 4u);
    ASSERT_EQ(body->faces, 2u);
    ExpectVec(body->pointL[2].pos, 2, -3, 3); // (1, 1, 0) + (1, 2, 3), as (x, -z, y)
    ExpectVec(body->matrix[3], 1, -3, 2);
    EXPECT_STREQ(body->faceL[0].material, "Red");
    EXPECT_STREQ(body->faceL[1].material, "Blue");
    EXPECT_EQ(body->faceL[1].flags, 7);
    Lib3dsMaterial* red = lib3ds_file_material_by_name(f, "Red");
    ASSERT_NE(red, nullptr);
    ExpectVec(red->diffuse, 1, 0, 0);
    EXPECT_TRUE(red->two_sided);
    EXPECT_NE(lib3ds_file_material_by_name(f, "Blue"), nullptr);

    Lib3dsNode* bodyNode = lib3ds_file_node_by_name(f, "Body", LIB3DS_OBJECT_NODE);
    ASSERT_NE(bodyNode, nullptr);
    EXPECT_EQ(bodyNode->parent, nullptr);
    ASSERT_EQ(CountKeys(bodyNode->data.object.pos_track.keyL), 31);
    Lib3dsLin3Key* last = bodyNode->data.object.pos_track.keyL;
    while (last->next)
        last = last->next;
    EXPECT_EQ(last->tcb.frame, 30);
    ExpectVec(last->value, 4, -3, 2);
    ASSERT_EQ(CountKeys(bodyNode->data.object.rot_track.keyL), 31);
    // 90 degrees over 30 frames: 3 degrees a key about the 3DS up axis.
    Lib3dsQuatKey* turn = bodyNode->data.object.rot_track.keyL->next;
    EXPECT_NEAR(std::fabs(turn->angle), 3 * 3.14159265 / 180, 1e-5);
    EXPECT_NEAR(std::fabs(turn->axis[2]), 1, 1e-5);
    Lib3dsNode* arm = lib3ds_file_node_by_name(f, "Arm", LIB3DS_OBJECT_NODE);
    ASSERT_NE(arm, nullptr);
    EXPECT_EQ(arm->parent, bodyNode);

    Lib3dsNode* group = nullptr;
    for (Lib3dsNode* n = f->nodes; n; n = n->next)
        if (!std::strcmp(n->name, "$$$DUMMY") && !std::strcmp(n->data.object.instance, "Grp"))
            group = n;
    ASSERT_NE(group, nullptr);
    Lib3dsNode* lamp = lib3ds_file_node_by_name(f, "Lamp", LIB3DS_LIGHT_NODE);
    ASSERT_NE(lamp, nullptr);
    EXPECT_EQ(lamp->parent, group);
    ExpectVec(lamp->data.light.pos_track.keyL->value, 0, 0, 5);
    // lib3ds's own evaluation puts every node where the scene has it: the
    // lamp at (1, 5, 0) and the spot's target at Aim, (1, 0, -4), each in
    // 3DS axes.
    lib3ds_file_eval(f, 0);
    ExpectVec(lamp->matrix[3], 1, 0, 5);
    Lib3dsLight* omni = lib3ds_file_light_by_name(f, "Lamp");
    ASSERT_NE(omni, nullptr);
    EXPECT_FALSE(omni->spot_light);
    Lib3dsLight* spot = lib3ds_file_light_by_name(f, "Spot");
    ASSERT_NE(spot, nullptr);
    EXPECT_TRUE(spot->spot_light);
    EXPECT_FLOAT_EQ(spot->hot_spot, 30.0f);
    Lib3dsNode* spotTarget = lib3ds_file_node_by_name(f, "Spot", LIB3DS_SPOT_NODE);
    ASSERT_NE(spotTarget, nullptr);
    EXPECT_EQ(spotTarget->parent, group); // the target's parent: Aim's parent
    ExpectVec(spotTarget->data.spot.pos_track.keyL->value, 0, 4, 0);
    ExpectVec(spotTarget->matrix[3], 1, 4, 0);
    // At frame 30 the body has moved to x = 4 and turned a quarter about the
    // up axis: its X axis, (0, 0, -1) in the scene, is (0, 1, 0) in 3DS.
    lib3ds_file_eval(f, 30);
    ExpectVec(bodyNode->matrix[3], 4, -3, 2);
    ExpectVec(bodyNode->matrix[0], 0, 1, 0);
    ExpectVec(bodyNode->matrix[2], 0, 0, 1);

    Lib3dsCamera* cam = lib3ds_file_camera_by_name(f, "Cam");
    ASSERT_NE(cam, nullptr);
    ExpectVec(cam->position, 0, -10, 0);
    Lib3dsNode* camTarget = lib3ds_file_node_by_name(f, "Cam", LIB3DS_TARGET_NODE);
    ASSERT_NE(camTarget, nullptr);
    ExpectVec(camTarget->data.target.pos_track.keyL->value, 10, -10, 0);
    lib3ds_file_free(f);
}

TEST(Writer3dsLib3ds, ThreeDsDumpReadsTheWrittenScene)
{
    if (!qoxtest::HaveProgram("3dsdump"))
        GTEST_SKIP() << "3dsdump is not installed";
    TempDir dir;
    Sample s;
    const std::string path = dir.File("dump.3ds");
    auto options = Options();
    ASSERT_TRUE(WriteScene(s, path, options.get()));
    qoxtest::Command dump;
    dump.mArguments = {"3dsdump", "-s", "-u", "-m", "-t", "-c", "-l", "-n", path};
    dump.mErrorsToOutput = true;
    const qoxtest::Outcome run = qoxtest::Run(dump);
    ASSERT_EQ(run.mExit, 0);
    const std::string& text = run.mOut;
    EXPECT_NE(text.find("Body"), std::string::npos);
    EXPECT_NE(text.find("Arm"), std::string::npos);
    EXPECT_NE(text.find("Lamp"), std::string::npos);
    EXPECT_EQ(text.find("nknown"), std::string::npos) << text; // every chunk is one lib3ds knows
}

#endif
