// The 3DS chunk toolkit against lib3ds, the reference reader and writer:
// files written by the toolkit read by lib3ds with the same values, and
// files lib3ds writes from scenes built here read by the toolkit.

#include "formats/ftk3ds_test_util.h"

using namespace ftktest;
using qoxtest::TempDir;

#ifndef QOX_HAVE_LIB3DS

TEST(Ftk3dsLib3ds, SkippedWithoutLib3ds)
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

class Ftk3dsLib3ds : public ::testing::Test
{
protected:
    void SetUp() override { ResetToolkit3ds(); }
    void TearDown() override { ResetToolkit3ds(); }
    TempDir mDir;
};

void ExpectVec(const float* v, float x, float y, float z)
{
    EXPECT_FLOAT_EQ(v[0], x);
    EXPECT_FLOAT_EQ(v[1], y);
    EXPECT_FLOAT_EQ(v[2], z);
}

void ExpectPoint(const point3ds& p, float x, float y, float z)
{
    EXPECT_FLOAT_EQ(p.x, x);
    EXPECT_FLOAT_EQ(p.y, y);
    EXPECT_FLOAT_EQ(p.z, z);
}

template <typename Key>
int CountKeys(Key* k)
{
    int n = 0;
    for (; k; k = k->next)
        ++n;
    return n;
}

} // namespace

TEST_F(Ftk3dsLib3ds, Lib3dsReadsWhatTheToolkitWrites)
{
    SampleScene in;
    std::string path = mDir.File("toolkit.3ds");
    ASSERT_TRUE(in.Write(path)) << LastErrorText();
    Lib3dsFile* f = lib3ds_file_load(path.c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->master_scale, 0.5f);
    ExpectVec(f->ambient, 0.1f, 0.2f, 0.3f);
    EXPECT_EQ(f->frames, 90);
    ExpectVec(f->background.solid.col, 0.2f, 0.4f, 0.6f);
    EXPECT_STREQ(f->background.bitmap.name, "sky.jpg");

    const mesh3ds* x = in.mesh;
    Lib3dsMesh* lm = lib3ds_file_mesh_by_name(f, "Sphere01");
    ASSERT_NE(lm, nullptr);
    ASSERT_EQ(lm->points, x->nvertices);
    ASSERT_EQ(lm->texels, x->ntextverts);
    ASSERT_EQ(lm->faces, x->nfaces);
    for (int i = 0; i < x->nvertices; ++i)
    {
        EXPECT_EQ(0, std::memcmp(lm->pointL[i].pos, &x->vertexarray[i], 12)) << i; // extreme values too
        EXPECT_EQ(lm->texelL[i][0], x->textarray[i].u);
        EXPECT_EQ(lm->texelL[i][1], x->textarray[i].v);
    }
    for (int i = 0; i < x->nfaces; ++i)
    {
        const Lib3dsFace& face = lm->faceL[i];
        EXPECT_EQ(face.points[0], x->facearray[i].v1);
        EXPECT_EQ(face.points[1], x->facearray[i].v2);
        EXPECT_EQ(face.points[2], x->facearray[i].v3);
        EXPECT_EQ(face.flags, 7);
        EXPECT_EQ(face.smoothing, x->smootharray[i]);
        EXPECT_STREQ(face.material, i < x->nfaces / 2 ? "Gold" : "SixteenCharsLong");
    }
    ExpectVec(lm->matrix[3], 5, 6, 7);
    EXPECT_EQ(lm->matrix[0][0] * lm->matrix[1][1] * lm->matrix[2][2], 1.0f);

    Lib3dsMaterial* lmat = lib3ds_file_material_by_name(f, "Gold");
    ASSERT_NE(lmat, nullptr);
    ExpectVec(lmat->ambient, 0.2f, 0.1f, 0.0f);
    ExpectVec(lmat->diffuse, 1.0f, 0.8f, 0.2f);
    ExpectVec(lmat->specular, 0.9f, 0.9f, 0.9f);
    EXPECT_FLOAT_EQ(lmat->shininess, 0.3f);
    EXPECT_FLOAT_EQ(lmat->shin_strength, 0.5f);
    EXPECT_FLOAT_EQ(lmat->transparency, 0.25f);
    EXPECT_TRUE(lmat->two_sided);
    EXPECT_STREQ(lmat->texture1_map.name, "gold.jpg");
    EXPECT_FLOAT_EQ(lmat->texture1_map.percent, 0.5f);
    EXPECT_EQ(lmat->texture1_map.flags, 0x10u); // no tiling: a decal
    EXPECT_EQ(lmat->texture1_map.scale[0], 2.0f);
    EXPECT_EQ(lmat->texture1_map.scale[1], 4.0f);
    EXPECT_EQ(lmat->texture1_map.offset[1], 0.25f);
    EXPECT_EQ(lmat->texture1_map.rotation, 30.0f);
    EXPECT_STREQ(lmat->texture2_map.name, "bump.gif");
    EXPECT_EQ(lmat->texture2_map.flags, 0x01u); // decal over tiling

    Lib3dsLight* lo = lib3ds_file_light_by_name(f, "Omni01");
    ASSERT_NE(lo, nullptr);
    EXPECT_FALSE(lo->spot_light);
    ExpectVec(lo->position, 1, 2, 3);
    ExpectVec(lo->color, 1, 0.5f, 0.25f);
    EXPECT_EQ(lo->multiplier, 1.5f);
    Lib3dsLight* ls = lib3ds_file_light_by_name(f, "Spot01");
    ASSERT_NE(ls, nullptr);
    EXPECT_TRUE(ls->spot_light);
    ExpectVec(ls->spot, 4, 5, 6);
    EXPECT_EQ(ls->hot_spot, 20.0f);
    EXPECT_EQ(ls->fall_off, 30.0f);
    EXPECT_EQ(ls->roll, 15.0f);
    EXPECT_TRUE(ls->use_projector);
    EXPECT_STREQ(ls->projector, "slide.tga");
    Lib3dsCamera* lc = lib3ds_file_camera_by_name(f, "Cam01");
    ASSERT_NE(lc, nullptr);
    ExpectVec(lc->position, -1, -2, -3);
    EXPECT_FLOAT_EQ(lc->fov, 60.0f);
    EXPECT_EQ(lc->roll, 5.0f);
    EXPECT_EQ(lc->near_range, 2.0f);
    EXPECT_EQ(lc->far_range, 500.0f);

    // Nodes: ids from 0 in file order, parents by id.
    Lib3dsNode* ld = lib3ds_file_node_by_id(f, 0);
    ASSERT_NE(ld, nullptr);
    EXPECT_STREQ(ld->name, "$$$DUMMY");
    EXPECT_STREQ(ld->data.object.instance, "Grp1");
    Lib3dsNode* ln = lib3ds_file_node_by_name(f, "Sphere01", LIB3DS_OBJECT_NODE);
    ASSERT_NE(ln, nullptr);
    EXPECT_EQ(ln->node_id, 1);
    EXPECT_EQ(ln->parent, ld);
    EXPECT_EQ(ln->flags1, 0x4000);
    ExpectVec(ln->data.object.pivot, 1, 2, 3);
    ASSERT_EQ(CountKeys(ln->data.object.pos_track.keyL), 3);
    Lib3dsLin3Key* pk = ln->data.object.pos_track.keyL->next->next;
    EXPECT_EQ(pk->tcb.frame, 20);
    EXPECT_EQ(pk->tcb.flags, 31);
    EXPECT_EQ(pk->tcb.tens, 0.5f);
    EXPECT_EQ(pk->tcb.ease_from, 1.0f);
    ExpectVec(pk->value, 2, 4, 6);
    ASSERT_EQ(CountKeys(ln->data.object.rot_track.keyL), 2);
    Lib3dsQuatKey* rk = ln->data.object.rot_track.keyL->next;
    EXPECT_EQ(rk->tcb.frame, 10);
    EXPECT_EQ(rk->tcb.bias, -1.0f);
    EXPECT_EQ(rk->angle, 1.5707964f);
    ExpectVec(rk->axis, 0, 0, 1);
    ASSERT_EQ(CountKeys(ln->data.object.scl_track.keyL), 1);
    ExpectVec(ln->data.object.scl_track.keyL->value, 2, 3, 4);
    ASSERT_EQ(CountKeys(ln->data.object.morph_track.keyL), 1);
    EXPECT_STREQ(ln->data.object.morph_track.keyL->name, "Box02");
    Lib3dsNode* lon = lib3ds_file_node_by_name(f, "Omni01", LIB3DS_LIGHT_NODE);
    ASSERT_NE(lon, nullptr);
    EXPECT_EQ(lon->parent, ln);
    ASSERT_EQ(CountKeys(lon->data.light.pos_track.keyL), 2);
    ExpectVec(lon->data.light.pos_track.keyL->next->value, 9, 8, 7);
    ExpectVec(lon->data.light.col_track.keyL->value, 1, 0.5f, 0.25f);
    Lib3dsNode* lsn = lib3ds_file_node_by_name(f, "Spot01", LIB3DS_LIGHT_NODE);
    ASSERT_NE(lsn, nullptr);
    EXPECT_EQ(lsn->parent_id, 65535);
    EXPECT_EQ(lsn->data.light.hotspot_track.keyL->value, 20.0f);
    EXPECT_EQ(lsn->data.light.falloff_track.keyL->value, 30.0f);
    EXPECT_EQ(lsn->data.light.roll_track.keyL->value, 15.0f);
    Lib3dsNode* lst = lib3ds_file_node_by_name(f, "Spot01", LIB3DS_SPOT_NODE);
    ASSERT_NE(lst, nullptr);
    EXPECT_EQ(lst->parent, ln);
    EXPECT_EQ(lst->flags1, 3);
    ASSERT_EQ(CountKeys(lst->data.spot.pos_track.keyL), 2);
    ExpectVec(lst->data.spot.pos_track.keyL->next->value, 4, 5, 6);
    Lib3dsNode* lcn = lib3ds_file_node_by_name(f, "Cam01", LIB3DS_CAMERA_NODE);
    ASSERT_NE(lcn, nullptr);
    ASSERT_EQ(CountKeys(lcn->data.camera.fov_track.keyL), 2);
    EXPECT_EQ(lcn->data.camera.fov_track.keyL->next->value, 30.0f);
    EXPECT_EQ(lcn->data.camera.fov_track.keyL->next->tcb.frame, 30);
    EXPECT_EQ(lcn->data.camera.roll_track.keyL->value, -3.0f);
    Lib3dsNode* lct = lib3ds_file_node_by_name(f, "Cam01", LIB3DS_TARGET_NODE);
    ASSERT_NE(lct, nullptr);
    EXPECT_EQ(lct->parent, ld);
    EXPECT_EQ(lct->flags2, 9);
    lib3ds_file_free(f);
}

TEST_F(Ftk3dsLib3ds, TheToolkitReadsWhatLib3dsWrites)
{
    Lib3dsFile* f = lib3ds_file_new();
    f->master_scale = 2.0f;
    f->ambient[0] = 0.25f;
    f->ambient[1] = 0.5f;
    f->ambient[2] = 0.75f;
    f->background.solid.col[1] = 0.5f;
    f->background.solid.use = 1;

    Lib3dsMaterial* mat = lib3ds_material_new();
    std::strcpy(mat->name, "Steel");
    mat->diffuse[0] = 0.2f;
    mat->diffuse[1] = 0.4f;
    mat->diffuse[2] = 0.6f;
    mat->shininess = 0.7f;
    mat->transparency = 0.5f;
    mat->two_sided = 1;
    std::strcpy(mat->texture1_map.name, "steel.tga");
    mat->texture1_map.percent = 0.75f;
    mat->texture1_map.flags = 0x01; // decal over tiling
    mat->texture1_map.scale[0] = 1.0f;
    mat->texture1_map.scale[1] = 3.0f;
    mat->texture1_map.offset[0] = 0.5f;
    mat->texture1_map.rotation = 45.0f;
    lib3ds_file_insert_material(f, mat);

    const int nv = 200, nf = 150;
    Lib3dsMesh* mesh = lib3ds_mesh_new("Plate");
    lib3ds_mesh_new_point_list(mesh, nv);
    lib3ds_mesh_new_texel_list(mesh, nv);
    lib3ds_mesh_new_face_list(mesh, nf);
    for (int i = 0; i < nv; ++i)
    {
        mesh->pointL[i].pos[0] = i * 1.5f;
        mesh->pointL[i].pos[1] = -i * 0.5f;
        mesh->pointL[i].pos[2] = 7.0f;
        mesh->texelL[i][0] = i * 0.01f;
        mesh->texelL[i][1] = 0.5f;
    }
    for (int i = 0; i < nf; ++i)
    {
        mesh->faceL[i].points[0] = static_cast<Lib3dsWord>(i);
        mesh->faceL[i].points[1] = static_cast<Lib3dsWord>(i + 1);
        mesh->faceL[i].points[2] = static_cast<Lib3dsWord>(i + 2);
        mesh->faceL[i].flags = 3;
        mesh->faceL[i].smoothing = i % 3 ? 2u : 0x40000000u;
        std::strcpy(mesh->faceL[i].material, i % 2 ? "Steel" : "");
    }
    for (int r = 0; r < 4; ++r)
        mesh->matrix[r][r] = 1.0f;
    mesh->matrix[3][0] = 10.0f;
    lib3ds_file_insert_mesh(f, mesh);

    Lib3dsLight* light = lib3ds_light_new("Lamp");
    light->position[2] = 50.0f;
    light->color[0] = 0.5f;
    light->multiplier = 2.0f;
    lib3ds_file_insert_light(f, light);
    Lib3dsLight* spot = lib3ds_light_new("Beam");
    spot->spot_light = 1;
    spot->spot[0] = 3.0f;
    spot->hot_spot = 25.0f;
    spot->fall_off = 35.0f;
    spot->roll = 10.0f;
    lib3ds_file_insert_light(f, spot);
    Lib3dsCamera* cam = lib3ds_camera_new("View");
    cam->position[0] = 100.0f;
    cam->target[1] = 5.0f;
    cam->fov = 40.0f;
    cam->near_range = 1.0f;
    cam->far_range = 2000.0f;
    lib3ds_file_insert_camera(f, cam);

    Lib3dsNode* root = lib3ds_node_new_object();
    std::strcpy(root->name, "$$$DUMMY");
    std::strcpy(root->data.object.instance, "Rig");
    root->node_id = 0;
    root->parent_id = 65535;
    lib3ds_file_insert_node(f, root);
    Lib3dsNode* obj = lib3ds_node_new_object();
    std::strcpy(obj->name, "Plate");
    obj->node_id = 1;
    obj->parent_id = 0;
    obj->data.object.pivot[0] = 4.0f;
    for (int k = 0; k < 2; ++k)
    {
        Lib3dsLin3Key* key = lib3ds_lin3_key_new();
        key->tcb.frame = k * 15;
        key->value[0] = k * 3.0f;
        lib3ds_lin3_track_insert(&obj->data.object.pos_track, key);
    }
    Lib3dsQuatKey* rot = lib3ds_quat_key_new();
    rot->tcb.frame = 0;
    rot->angle = 0.5f;
    rot->axis[1] = 1.0f;
    lib3ds_quat_track_insert(&obj->data.object.rot_track, rot);
    lib3ds_file_insert_node(f, obj);
    Lib3dsNode* cn = lib3ds_node_new_camera();
    std::strcpy(cn->name, "View");
    cn->node_id = 2;
    cn->parent_id = 1;
    Lib3dsLin1Key* fov = lib3ds_lin1_key_new();
    fov->tcb.frame = 12;
    fov->value = 40.0f;
    lib3ds_lin1_track_insert(&cn->data.camera.fov_track, fov);
    lib3ds_file_insert_node(f, cn);
    Lib3dsNode* ct = lib3ds_node_new_target();
    std::strcpy(ct->name, "View");
    ct->node_id = 3;
    ct->parent_id = 0;
    Lib3dsLin3Key* tp = lib3ds_lin3_key_new();
    tp->value[2] = -5.0f;
    lib3ds_lin3_track_insert(&ct->data.target.pos_track, tp);
    lib3ds_file_insert_node(f, ct);
    std::string path = mDir.File("lib3ds.3ds");
    ASSERT_TRUE(lib3ds_file_save(f, path.c_str()));
    lib3ds_file_free(f);

    database3ds* db = ReadDb(path);
    ASSERT_NE(db, nullptr) << LastErrorText();
    meshset3ds* set = nullptr;
    InitMeshSet3ds(&set);
    GetMeshSet3ds(db, &set);
    EXPECT_EQ(set->masterscale, 2.0f);
    EXPECT_NEAR(set->ambientlight.r, 0.25f, 1e-6);
    EXPECT_NEAR(set->ambientlight.b, 0.75f, 1e-6);
    background3ds* bg = nullptr;
    InitBackground3ds(&bg);
    GetBackground3ds(db, &bg);
    EXPECT_NEAR(bg->solid.g, 0.5f, 1e-6);

    ASSERT_EQ(GetMaterialCount3ds(db), 1u);
    material3ds* rm = nullptr;
    GetMaterialByIndex3ds(db, 0, &rm);
    EXPECT_STREQ(rm->name, "Steel");
    EXPECT_NEAR(rm->diffuse.r, 0.2f, 1.0f / 255); // lib3ds stores 24-bit colours
    EXPECT_NEAR(rm->diffuse.b, 0.6f, 1.0f / 255);
    EXPECT_FLOAT_EQ(rm->shininess, 0.7f);
    EXPECT_FLOAT_EQ(rm->transparency, 0.5f);
    EXPECT_EQ(rm->twosided, 1);
    EXPECT_STREQ(rm->texture.name, "steel.tga");
    EXPECT_FLOAT_EQ(rm->texture.percent, 0.75f);
    EXPECT_EQ(rm->texture.tiling, Both3ds);
    EXPECT_EQ(rm->texture.vscale, 3.0f);
    EXPECT_EQ(rm->texture.uoffset, 0.5f);
    EXPECT_EQ(rm->texture.rotation, 45.0f);
    EXPECT_STREQ(rm->texture2.name, "");

    ASSERT_EQ(GetMeshCount3ds(db), 1u);
    mesh3ds* m = nullptr;
    GetMeshByIndex3ds(db, 0, &m);
    ASSERT_FALSE(Failed()) << LastErrorText();
    EXPECT_STREQ(m->name, "Plate");
    ASSERT_EQ(m->nvertices, nv);
    ASSERT_EQ(m->ntextverts, nv);
    ASSERT_EQ(m->nfaces, nf);
    ExpectPoint(m->vertexarray[nv - 1], (nv - 1) * 1.5f, -(nv - 1) * 0.5f, 7.0f);
    EXPECT_EQ(m->textarray[10].u, 10 * 0.01f);
    EXPECT_EQ(m->locmatrix[9], 10.0f);
    ASSERT_NE(m->smootharray, nullptr);
    for (int i = 0; i < nf; ++i)
    {
        EXPECT_EQ(m->facearray[i].v1, i);
        EXPECT_EQ(m->facearray[i].v3, i + 2);
        EXPECT_EQ(m->smootharray[i], i % 3 ? 2u : 0x40000000u);
    }
    ASSERT_GE(m->nmats, 1);
    int steelFaces = 0;
    for (int e = 0; e < m->nmats; ++e)
        if (!std::strcmp(m->matarray[e].name, "Steel"))
            for (int k = 0; k < m->matarray[e].nfaces; ++k)
            {
                EXPECT_EQ(m->matarray[e].faceindex[k] % 2, 1);
                ++steelFaces;
            }
    EXPECT_EQ(steelFaces, nf / 2);

    ASSERT_EQ(GetOmnilightCount3ds(db), 1u);
    ASSERT_EQ(GetSpotlightCount3ds(db), 1u);
    light3ds* l = nullptr;
    GetOmnilightByIndex3ds(db, 0, &l);
    EXPECT_STREQ(l->name, "Lamp");
    ExpectPoint(l->pos, 0, 0, 50);
    EXPECT_EQ(l->color.r, 0.5f);
    EXPECT_EQ(l->multiplier, 2.0f);
    GetSpotlightByIndex3ds(db, 0, &l);
    EXPECT_STREQ(l->name, "Beam");
    ExpectPoint(l->spot->target, 3, 0, 0);
    EXPECT_EQ(l->spot->hotspot, 25.0f);
    EXPECT_EQ(l->spot->falloff, 35.0f);
    EXPECT_EQ(l->spot->roll, 10.0f);
    ASSERT_EQ(GetCameraCount3ds(db), 1u);
    camera3ds* c = nullptr;
    GetCameraByIndex3ds(db, 0, &c);
    EXPECT_STREQ(c->name, "View");
    ExpectPoint(c->position, 100, 0, 0);
    ExpectPoint(c->target, 0, 5, 0);
    EXPECT_FLOAT_EQ(c->fov, 40.0f);
    EXPECT_EQ(c->nearplane, 1.0f);
    EXPECT_EQ(c->farplane, 2000.0f);

    ASSERT_EQ(GetObjectNodeCount3ds(db), 2u);
    objectmotion3ds* o = nullptr;
    GetObjectMotionByIndex3ds(db, 1, &o);
    ASSERT_FALSE(Failed()) << LastErrorText();
    EXPECT_STREQ(o->name, "Plate");
    EXPECT_STREQ(o->parent, "$$$DUMMY.Rig");
    ExpectPoint(o->pivot, 4, 0, 0);
    ASSERT_EQ(o->npkeys, 2u);
    EXPECT_EQ(o->pkeys[1].time, 15u);
    ExpectPoint(o->pos[1], 3, 0, 0);
    ASSERT_EQ(o->nrkeys, 1u);
    EXPECT_EQ(o->rot[0].angle, 0.5f);
    EXPECT_EQ(o->rot[0].y, 1.0f);
    ASSERT_EQ(GetCameraNodeCount3ds(db), 1u);
    cameramotion3ds* cm = nullptr;
    GetCameraMotionByIndex3ds(db, 0, &cm);
    EXPECT_STREQ(cm->name, "View");
    EXPECT_STREQ(cm->parent, "Plate");
    EXPECT_STREQ(cm->tparent, "$$$DUMMY.Rig");
    ASSERT_EQ(cm->nfkeys, 1u);
    EXPECT_EQ(cm->fkeys[0].time, 12u);
    EXPECT_EQ(cm->fov[0], 40.0f);
    ASSERT_EQ(cm->ntkeys, 1u);
    ExpectPoint(cm->tpos[0], 0, 0, -5);
    EXPECT_FALSE(Failed()) << LastErrorText();

    ReleaseMeshSet3ds(&set);
    ReleaseBackground3ds(&bg);
    ReleaseMaterial3ds(&rm);
    RelMeshObj3ds(&m);
    ReleaseLight3ds(&l);
    ReleaseCamera3ds(&c);
    ReleaseObjectMotion3ds(&o);
    ReleaseCameraMotion3ds(&cm);
    ReleaseDatabase3ds(&db);
}

#endif
