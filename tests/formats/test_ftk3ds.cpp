// The 3DS chunk toolkit on its own: record defaults, every record kind
// through a file, the chunk layout, parent-name resolution, limits, and
// damaged files.

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>

#include "formats/ftk3ds_test_util.h"

using namespace ftktest;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

class Ftk3ds : public ::testing::Test
{
protected:
    void SetUp() override { ResetToolkit3ds(); }
    void TearDown() override { ResetToolkit3ds(); }
    TempDir mDir;
};

keyheader3ds Key(ulong3ds frame, ushort3ds flags = 0, float t = 0, float c = 0, float b = 0)
{
    keyheader3ds k{};
    k.time = frame;
    k.rflags = flags;
    k.tension = t;
    k.continuity = c;
    k.bias = b;
    return k;
}

// A mesh of two triangles over four vertices, with every optional array.
mesh3ds* MakeQuad(const char* name)
{
    mesh3ds* m = nullptr;
    InitMeshObj3ds(&m, 4, 2, InitAllFields3ds);
    SetName(m->name, sizeof m->name, name);
    const point3ds v[] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0.5f}};
    for (int i = 0; i < 4; ++i)
    {
        m->vertexarray[i] = v[i];
        m->textarray[i] = {v[i].x * 0.5f, v[i].y * 0.25f};
        m->vflagarray[i] = static_cast<ushort3ds>(i + 1);
    }
    m->facearray[0] = {0, 1, 2, 7};
    m->facearray[1] = {0, 2, 3, 3};
    m->smootharray[0] = 1;
    m->smootharray[1] = 0x80000004u;
    m->isfast = 1;
    m->isfrozen = 1;
    const float matrix[12] = {1, 0, 0, 0, 0, 1, 0, -1, 0, 5, 6, 7};
    std::memcpy(m->locmatrix, matrix, sizeof matrix);
    m->nmats = 2;
    InitMeshObjField3ds(m, InitMatArray3ds);
    SetName(m->matarray[0].name, sizeof m->matarray[0].name, "Red");
    InitMatArrayIndex3ds(m, 0, 1);
    m->matarray[0].faceindex[0] = 1;
    SetName(m->matarray[1].name, sizeof m->matarray[1].name, "SixteenCharsLong");
    InitMatArrayIndex3ds(m, 1, 1);
    m->matarray[1].faceindex[0] = 0;
    return m;
}

material3ds* MakeMaterial(const char* name)
{
    material3ds* m = nullptr;
    InitMaterial3ds(&m);
    SetName(m->name, sizeof m->name, name);
    m->ambient = {0.1f, 0.2f, 0.3f};
    m->diffuse = {0.4f, 0.5f, 0.6f};
    m->specular = {0.9f, 0.9f, 0.9f};
    m->shininess = 0.3f;
    m->shinstrength = 0.5f;
    m->transparency = 0.25f;
    m->selfillumpct = 0.1f;
    m->twosided = 1;
    SetName(m->texture.name, sizeof m->texture.name, "brick.gif");
    m->texture.percent = 0.5f;
    m->texture.tiling = Decal3ds;
    m->texture.uscale = 2;
    m->texture.vscale = 4;
    m->texture.uoffset = 0.1f;
    m->texture.voffset = 0.2f;
    m->texture.rotation = 30;
    SetName(m->texture2.name, sizeof m->texture2.name, "bump.gif");
    m->texture2.percent = 1.0f;
    m->texture2.tiling = Both3ds;
    return m;
}

void ExpectPoint(const point3ds& p, float x, float y, float z)
{
    EXPECT_FLOAT_EQ(p.x, x);
    EXPECT_FLOAT_EQ(p.y, y);
    EXPECT_FLOAT_EQ(p.z, z);
}

} // namespace

// ---- Defaults ----

TEST_F(Ftk3ds, RecordsStartWithTheirDefaults)
{
    meshset3ds* s = nullptr;
    InitMeshSet3ds(&s);
    EXPECT_EQ(s->masterscale, 1.0f);
    EXPECT_EQ(s->ambientlight.r, 0.39216f);
    EXPECT_EQ(s->ambientlight.b, 0.39216f);
    EXPECT_EQ(s->shadowmapsize, 512);
    EXPECT_EQ(s->shadowfilter, 3.0f);
    ReleaseMeshSet3ds(&s);
    EXPECT_EQ(s, nullptr);

    background3ds* b = nullptr;
    InitBackground3ds(&b);
    EXPECT_STREQ(b->bitmap, "");
    EXPECT_EQ(b->solid.r + b->solid.g + b->solid.b, 0.0f);
    EXPECT_EQ(b->gradpercent, 0.5f);
    EXPECT_EQ(b->gradtop.r + b->gradmid.g + b->gradbottom.b, 0.0f);
    ReleaseBackground3ds(&b);

    kfsets3ds* k = nullptr;
    InitKfSets3ds(&k);
    EXPECT_EQ(k->animlength, 100u);
    ReleaseKfSets3ds(&k);

    light3ds* omni = nullptr;
    InitLight3ds(&omni);
    EXPECT_EQ(omni->spot, nullptr);
    EXPECT_EQ(omni->color.g, 0.708f);
    EXPECT_EQ(omni->multiplier, 1.0f);
    light3ds* spot = nullptr;
    InitSpotlight3ds(&spot);
    ASSERT_NE(spot->spot, nullptr);
    ExpectPoint(spot->spot->target, 1, 1, 1);
    EXPECT_EQ(spot->spot->hotspot, 44.0f);
    EXPECT_EQ(spot->spot->falloff, 45.0f);
    EXPECT_EQ(spot->spot->roll, 0.0f);
    EXPECT_EQ(spot->spot->projector.use, 0);
    InitLight3ds(&spot); // back to a point light: the spot part goes
    EXPECT_EQ(spot->spot, nullptr);
    ReleaseLight3ds(&omni);
    ReleaseLight3ds(&spot);

    camera3ds* c = nullptr;
    InitCamera3ds(&c);
    ExpectPoint(c->position, 0, 0, 0);
    ExpectPoint(c->target, 1, 1, 1);
    EXPECT_EQ(c->fov, 45.0f);
    EXPECT_EQ(c->nearplane, 10.0f);
    EXPECT_EQ(c->farplane, 1000.0f);
    ReleaseCamera3ds(&c);

    material3ds* m = nullptr;
    InitMaterial3ds(&m);
    EXPECT_STREQ(m->name, "");
    EXPECT_EQ(m->wiresize, 1.0f);
    EXPECT_EQ(m->shading, 3);
    EXPECT_EQ(m->twosided, 0);
    EXPECT_EQ(m->diffuse.r + m->shininess + m->transparency, 0.0f);
    EXPECT_STREQ(m->texture.name, "");
    EXPECT_EQ(m->texture.tiling, Tile3ds);
    EXPECT_EQ(m->texture2.uscale, 1.0f);
    ReleaseMaterial3ds(&m);

    objectmotion3ds* o = nullptr;
    InitObjectMotion3ds(&o, 0, 2, 3, 0, 1);
    EXPECT_EQ(o->msangle, 24.0f);
    EXPECT_EQ(o->npkeys, 0u);
    EXPECT_EQ(o->pos, nullptr);
    ASSERT_EQ(o->nrkeys, 2u);
    EXPECT_EQ(o->rot[1].angle, 0.0f);
    EXPECT_EQ(o->rot[1].z, 1.0f);
    ASSERT_EQ(o->nskeys, 3u);
    ExpectPoint(o->scale[2], 1, 1, 1);
    EXPECT_EQ(o->nhkeys, 1u);
    EXPECT_NE(o->hkeys, nullptr);
    // A second call replaces only the tracks it counts.
    InitObjectMotion3ds(&o, 4, 0, 0, 0, 0);
    EXPECT_EQ(o->npkeys, 4u);
    EXPECT_EQ(o->nrkeys, 2u);
    ReleaseObjectMotion3ds(&o);
    EXPECT_EQ(o, nullptr);
    EXPECT_FALSE(Failed());
}

TEST_F(Ftk3ds, MeshArraysAreSizedByFlagsAndMasks)
{
    mesh3ds* m = nullptr;
    InitMeshObj3ds(&m, 3, 2, 0);
    EXPECT_NE(m->vertexarray, nullptr);
    EXPECT_EQ(m->textarray, nullptr);
    EXPECT_EQ(m->smootharray, nullptr);
    EXPECT_EQ(m->locmatrix[0] * m->locmatrix[4] * m->locmatrix[8], 1.0f);
    InitMeshObj3ds(&m, 3, 2, InitTextArray3ds | InitSmoothArray3ds | InitVertexFlags3ds);
    EXPECT_EQ(m->ntextverts, 3);
    EXPECT_EQ(m->nvflags, 3);
    EXPECT_NE(m->smootharray, nullptr);
    m->vertexarray[2] = {7, 8, 9};
    m->nvertices = 1000; // grown with the contents kept, the new part zero
    InitMeshObjField3ds(m, InitVertexArray3ds);
    ExpectPoint(m->vertexarray[2], 7, 8, 9);
    ExpectPoint(m->vertexarray[999], 0, 0, 0);
    m->nvertices = 2;
    InitMeshObjField3ds(m, InitVertexArray3ds);
    m->nvertices = 4;
    InitMeshObjField3ds(m, InitVertexArray3ds);
    ExpectPoint(m->vertexarray[2], 0, 0, 0); // dropped and grown again: zero
    m->nmats = 3;
    InitMeshObjField3ds(m, InitMatArray3ds);
    InitMatArrayIndex3ds(m, 2, 5);
    EXPECT_EQ(m->matarray[2].nfaces, 5);
    EXPECT_FALSE(Failed());
    InitMatArrayIndex3ds(m, 3, 1);
    EXPECT_TRUE(Failed());
    EXPECT_EQ(ErrorCodes(), std::vector<long>{ERR_INVALID_ARG});
    m->nmats = 1; // the dropped entries free their face lists
    InitMeshObjField3ds(m, InitMatArray3ds);
    RelMeshObj3ds(&m);
    EXPECT_EQ(m, nullptr);
}

// ---- Every record kind through a file ----

TEST_F(Ftk3ds, EditorRecordsRoundTripThroughAFile)
{
    database3ds* db = NewDatabase();
    mesh3ds* mesh = MakeQuad("Quad");
    PutMesh3ds(db, mesh);
    material3ds* mat = MakeMaterial("Red");
    PutMaterial3ds(db, mat);
    light3ds* omni = nullptr;
    InitLight3ds(&omni);
    SetName(omni->name, sizeof omni->name, "Omni01");
    omni->pos = {1, 2, 3};
    omni->color = {1, 0.5f, 0.25f};
    omni->multiplier = 1.5f;
    PutOmnilight3ds(db, omni);
    light3ds* spot = nullptr;
    InitSpotlight3ds(&spot);
    SetName(spot->name, sizeof spot->name, "Spot01");
    spot->spot->target = {4, 5, 6};
    spot->spot->hotspot = 20;
    spot->spot->falloff = 30;
    spot->spot->roll = 15;
    spot->spot->projector.use = 1;
    SetName(spot->spot->projector.bitmap, sizeof spot->spot->projector.bitmap, "slide.tga");
    PutSpotlight3ds(db, spot);
    camera3ds* cam = nullptr;
    InitCamera3ds(&cam);
    SetName(cam->name, sizeof cam->name, "Cam01");
    cam->position = {-1, -2, -3};
    cam->roll = 5;
    cam->fov = 60;
    cam->nearplane = 2;
    cam->farplane = 500;
    PutCamera3ds(db, cam);
    meshset3ds* set = nullptr;
    InitMeshSet3ds(&set);
    set->masterscale = 0.5f;
    set->ambientlight = {0.1f, 0.2f, 0.3f};
    set->shadowmapsize = 500;
    set->raytracebias = 3;
    set->consaxis = {0, 0, 1};
    PutMeshSet3ds(db, set);
    background3ds* bg = nullptr;
    InitBackground3ds(&bg);
    bg->solid = {0.2f, 0.4f, 0.6f};
    SetName(bg->bitmap, sizeof bg->bitmap, "sky.jpg");
    bg->gradtop = {1, 0, 0};
    bg->gradbottom = {0, 0, 1};
    PutBackground3ds(db, bg);
    ASSERT_FALSE(Failed()) << LastErrorText();
    ASSERT_TRUE(WriteDb(db, mDir.File("e.3ds")));
    ReleaseDatabase3ds(&db);

    db = ReadDb(mDir.File("e.3ds"));
    ASSERT_NE(db, nullptr) << LastErrorText();
    ASSERT_EQ(GetMeshCount3ds(db), 1u);
    ASSERT_EQ(GetOmnilightCount3ds(db), 1u);
    ASSERT_EQ(GetSpotlightCount3ds(db), 1u);
    ASSERT_EQ(GetCameraCount3ds(db), 1u);
    ASSERT_EQ(GetMaterialCount3ds(db), 1u);

    mesh3ds* m = nullptr;
    GetMeshByIndex3ds(db, 0, &m);
    ASSERT_FALSE(Failed()) << LastErrorText();
    EXPECT_STREQ(m->name, "Quad");
    EXPECT_EQ(m->isfast + m->isfrozen, 2);
    EXPECT_EQ(m->ishidden + m->ismatte + m->isnocast + m->isvislofter + m->isnorcvshad, 0);
    ASSERT_EQ(m->nvertices, 4);
    ASSERT_EQ(m->ntextverts, 4);
    ASSERT_EQ(m->nvflags, 4);
    ASSERT_EQ(m->nfaces, 2);
    EXPECT_EQ(0, std::memcmp(m->vertexarray, mesh->vertexarray, 4 * sizeof(point3ds)));
    EXPECT_EQ(0, std::memcmp(m->textarray, mesh->textarray, 4 * sizeof(textvert3ds)));
    EXPECT_EQ(0, std::memcmp(m->vflagarray, mesh->vflagarray, 4 * sizeof(ushort3ds)));
    EXPECT_EQ(0, std::memcmp(m->facearray, mesh->facearray, 2 * sizeof(face3ds)));
    EXPECT_EQ(0, std::memcmp(m->locmatrix, mesh->locmatrix, sizeof m->locmatrix));
    ASSERT_NE(m->smootharray, nullptr);
    EXPECT_EQ(m->smootharray[1], 0x80000004u);
    ASSERT_EQ(m->nmats, 2);
    EXPECT_STREQ(m->matarray[1].name, "SixteenCharsLong");
    ASSERT_EQ(m->matarray[0].nfaces, 1);
    EXPECT_EQ(m->matarray[0].faceindex[0], 1);

    light3ds* l = nullptr;
    GetOmnilightByIndex3ds(db, 0, &l);
    EXPECT_STREQ(l->name, "Omni01");
    EXPECT_EQ(l->spot, nullptr);
    ExpectPoint(l->pos, 1, 2, 3);
    EXPECT_EQ(l->color.b, 0.25f);
    EXPECT_EQ(l->multiplier, 1.5f);
    GetSpotlightByIndex3ds(db, 0, &l);
    EXPECT_STREQ(l->name, "Spot01");
    ASSERT_NE(l->spot, nullptr);
    ExpectPoint(l->spot->target, 4, 5, 6);
    EXPECT_EQ(l->spot->hotspot, 20.0f);
    EXPECT_EQ(l->spot->falloff, 30.0f);
    EXPECT_EQ(l->spot->roll, 15.0f);
    EXPECT_EQ(l->spot->projector.use, 1);
    EXPECT_STREQ(l->spot->projector.bitmap, "slide.tga");

    camera3ds* c = nullptr;
    GetCameraByIndex3ds(db, 0, &c);
    EXPECT_STREQ(c->name, "Cam01");
    ExpectPoint(c->position, -1, -2, -3);
    ExpectPoint(c->target, 1, 1, 1);
    EXPECT_FLOAT_EQ(c->fov, 60.0f); // through the lens 2400 / 60 = 40
    EXPECT_EQ(c->roll, 5.0f);
    EXPECT_EQ(c->nearplane, 2.0f);
    EXPECT_EQ(c->farplane, 500.0f);

    material3ds* r = nullptr;
    GetMaterialByIndex3ds(db, 0, &r);
    EXPECT_STREQ(r->name, "Red");
    EXPECT_EQ(r->diffuse.g, 0.5f);
    EXPECT_EQ(r->specular.r, 0.9f);
    EXPECT_FLOAT_EQ(r->shininess, 0.3f); // stored as 30 percent
    EXPECT_FLOAT_EQ(r->shinstrength, 0.5f);
    EXPECT_FLOAT_EQ(r->transparency, 0.25f);
    EXPECT_FLOAT_EQ(r->selfillumpct, 0.1f);
    EXPECT_EQ(r->twosided, 1);
    EXPECT_STREQ(r->texture.name, "brick.gif");
    EXPECT_FLOAT_EQ(r->texture.percent, 0.5f);
    EXPECT_EQ(r->texture.tiling, Decal3ds);
    EXPECT_EQ(r->texture.uscale, 2.0f);
    EXPECT_EQ(r->texture.vscale, 4.0f);
    EXPECT_EQ(r->texture.uoffset, 0.1f);
    EXPECT_EQ(r->texture.voffset, 0.2f);
    EXPECT_EQ(r->texture.rotation, 30.0f);
    EXPECT_STREQ(r->texture2.name, "bump.gif");
    EXPECT_EQ(r->texture2.tiling, Both3ds);
    EXPECT_EQ(r->texture2.uscale, 1.0f);

    meshset3ds* s = nullptr;
    InitMeshSet3ds(&s);
    GetMeshSet3ds(db, &s);
    EXPECT_EQ(s->masterscale, 0.5f);
    EXPECT_EQ(s->ambientlight.g, 0.2f);
    EXPECT_EQ(s->shadowmapsize, 500);
    EXPECT_EQ(s->raytracebias, 3.0f);
    ExpectPoint(s->consaxis, 0, 0, 1);
    background3ds* g = nullptr;
    InitBackground3ds(&g);
    GetBackground3ds(db, &g);
    EXPECT_STREQ(g->bitmap, "sky.jpg");
    EXPECT_EQ(g->solid.b, 0.6f);
    EXPECT_EQ(g->gradtop.r, 1.0f);
    EXPECT_EQ(g->gradbottom.b, 1.0f);
    EXPECT_FALSE(Failed()) << LastErrorText();

    // Records outlive the database they came from.
    ReleaseDatabase3ds(&db);
    EXPECT_EQ(m->vertexarray[3].z, 0.5f);
    for (mesh3ds** p : {&m, &mesh})
        RelMeshObj3ds(p);
    for (light3ds** p : {&l, &omni, &spot})
        ReleaseLight3ds(p);
    for (camera3ds** p : {&c, &cam})
        ReleaseCamera3ds(p);
    for (material3ds** p : {&r, &mat})
        ReleaseMaterial3ds(p);
    ReleaseMeshSet3ds(&s);
    ReleaseMeshSet3ds(&set);
    ReleaseBackground3ds(&g);
    ReleaseBackground3ds(&bg);
}

TEST_F(Ftk3ds, KeyframerRecordsRoundTripThroughAFile)
{
    database3ds* db = NewDatabase();
    objectmotion3ds* o = nullptr;
    InitObjectMotion3ds(&o, 2, 2, 1, 1, 1);
    SetName(o->name, sizeof o->name, "Box01");
    SetName(o->instance, sizeof o->instance, "A");
    o->flags1 = 0x4000;
    o->flags2 = 2;
    o->pivot = {1, 2, 3};
    o->bboxmin = {-1, -1, -1};
    o->bboxmax = {1, 1, 1};
    o->pkeys[0] = Key(0);
    o->pkeys[1] = Key(30, 31, 0.1f, 0.2f, 0.3f);
    o->pkeys[1].easeto = 0.4f;
    o->pkeys[1].easefrom = 0.5f;
    o->pos[1] = {10, 20, 30};
    o->rkeys[1] = Key(15, 4, 0, 0, -1);
    o->rot[1] = {1.5707964f, 0, 0, 1};
    o->scale[0] = {2, 2, 2};
    o->mkeys[0] = Key(5);
    SetName(o->morph[0].name, sizeof o->morph[0].name, "Box02");
    o->hkeys[0] = Key(7);
    o->msangle = 30;
    PutObjectMotion3ds(db, o);
    objectmotion3ds* dummy = nullptr;
    InitObjectMotion3ds(&dummy, 1, 1, 1, 0, 0);
    SetName(dummy->name, sizeof dummy->name, "$$$DUMMY");
    SetName(dummy->instance, sizeof dummy->instance, "Grp1");
    SetName(dummy->parent, sizeof dummy->parent, "Box01.A");
    PutObjectMotion3ds(db, dummy);

    omnimotion3ds* om = nullptr;
    InitOmnilightMotion3ds(&om, 1, 2);
    SetName(om->name, sizeof om->name, "Omni01");
    SetName(om->parent, sizeof om->parent, "$$$DUMMY.Grp1");
    om->pos[0] = {1, 1, 1};
    om->ckeys[1] = Key(10);
    om->color[1] = {0.5f, 0.25f, 1};
    PutOmnilightMotion3ds(db, om);

    spotmotion3ds* sm = nullptr;
    InitSpotlightMotion3ds(&sm, 1, 1, 2, 1, 1, 2);
    SetName(sm->name, sizeof sm->name, "Spot01");
    SetName(sm->parent, sizeof sm->parent, "Box01.A");
    SetName(sm->tparent, sizeof sm->tparent, "$$$DUMMY.Grp1");
    sm->hkeys[1] = Key(20);
    sm->hot[1] = 33;
    sm->fall[0] = 44;
    sm->roll[0] = 5;
    sm->tkeys[1] = Key(9);
    sm->tpos[1] = {7, 8, 9};
    sm->tflags1 = 3;
    PutSpotlightMotion3ds(db, sm);

    cameramotion3ds* cm = nullptr;
    InitCameraMotion3ds(&cm, 1, 2, 1, 1);
    SetName(cm->name, sizeof cm->name, "Cam01");
    cm->fkeys[1] = Key(40);
    cm->fov[1] = 50;
    cm->roll[0] = -3;
    cm->tpos[0] = {0, 5, 0};
    cm->tflags2 = 9;
    PutCameraMotion3ds(db, cm);
    ASSERT_FALSE(Failed()) << LastErrorText();
    ASSERT_TRUE(WriteDb(db, mDir.File("k.3ds")));
    ReleaseDatabase3ds(&db);

    db = ReadDb(mDir.File("k.3ds"));
    ASSERT_NE(db, nullptr) << LastErrorText();
    ASSERT_EQ(GetObjectNodeCount3ds(db), 2u);
    ASSERT_EQ(GetOmnilightNodeCount3ds(db), 1u);
    ASSERT_EQ(GetSpotlightNodeCount3ds(db), 1u);
    ASSERT_EQ(GetCameraNodeCount3ds(db), 1u);

    objectmotion3ds* r = nullptr;
    GetObjectMotionByIndex3ds(db, 0, &r);
    ASSERT_FALSE(Failed()) << LastErrorText();
    EXPECT_STREQ(r->name, "Box01");
    EXPECT_STREQ(r->instance, "A");
    EXPECT_STREQ(r->parent, "");
    EXPECT_EQ(r->flags1, 0x4000);
    EXPECT_EQ(r->flags2, 2);
    ExpectPoint(r->pivot, 1, 2, 3);
    ExpectPoint(r->bboxmax, 1, 1, 1);
    EXPECT_EQ(r->msangle, 30.0f);
    ASSERT_EQ(r->npkeys, 2u);
    EXPECT_EQ(r->pkeys[1].time, 30u);
    EXPECT_EQ(r->pkeys[1].rflags, 31);
    EXPECT_EQ(r->pkeys[1].bias, 0.3f);
    EXPECT_EQ(r->pkeys[1].easefrom, 0.5f);
    ExpectPoint(r->pos[1], 10, 20, 30);
    ASSERT_EQ(r->nrkeys, 2u);
    EXPECT_EQ(r->rkeys[1].rflags, 4);
    EXPECT_EQ(r->rkeys[1].bias, -1.0f);
    EXPECT_EQ(r->rkeys[1].tension, 0.0f); // not announced, not stored
    EXPECT_EQ(r->rot[1].angle, 1.5707964f);
    EXPECT_EQ(r->rot[0].z, 1.0f);
    ASSERT_EQ(r->nskeys, 1u);
    ExpectPoint(r->scale[0], 2, 2, 2);
    ASSERT_EQ(r->nmkeys, 1u);
    EXPECT_STREQ(r->morph[0].name, "Box02");
    ASSERT_EQ(r->nhkeys, 1u);
    EXPECT_EQ(r->hkeys[0].time, 7u);
    GetObjectMotionByIndex3ds(db, 1, &r);
    EXPECT_STREQ(r->name, "$$$DUMMY");
    EXPECT_STREQ(r->instance, "Grp1");
    EXPECT_STREQ(r->parent, "Box01.A");

    omnimotion3ds* ro = nullptr;
    GetOmnilightMotionByIndex3ds(db, 0, &ro);
    EXPECT_STREQ(ro->name, "Omni01");
    EXPECT_STREQ(ro->parent, "$$$DUMMY.Grp1");
    ASSERT_EQ(ro->nckeys, 2u);
    EXPECT_EQ(ro->ckeys[1].time, 10u);
    EXPECT_EQ(ro->color[1].g, 0.25f);

    spotmotion3ds* rs = nullptr;
    GetSpotlightMotionByIndex3ds(db, 0, &rs);
    EXPECT_STREQ(rs->name, "Spot01");
    EXPECT_STREQ(rs->parent, "Box01.A");
    EXPECT_STREQ(rs->tparent, "$$$DUMMY.Grp1");
    ASSERT_EQ(rs->nhkeys, 2u);
    EXPECT_EQ(rs->hot[1], 33.0f);
    EXPECT_EQ(rs->fall[0], 44.0f);
    EXPECT_EQ(rs->roll[0], 5.0f);
    ASSERT_EQ(rs->ntkeys, 2u);
    ExpectPoint(rs->tpos[1], 7, 8, 9);
    EXPECT_EQ(rs->tflags1, 3);

    cameramotion3ds* rc = nullptr;
    GetCameraMotionByIndex3ds(db, 0, &rc);
    EXPECT_STREQ(rc->name, "Cam01");
    ASSERT_EQ(rc->nfkeys, 2u);
    EXPECT_EQ(rc->fov[1], 50.0f);
    EXPECT_EQ(rc->fkeys[1].time, 40u);
    EXPECT_EQ(rc->roll[0], -3.0f);
    ASSERT_EQ(rc->ntkeys, 1u);
    ExpectPoint(rc->tpos[0], 0, 5, 0);
    EXPECT_EQ(rc->tflags2, 9);
    EXPECT_FALSE(Failed()) << LastErrorText();

    ReleaseDatabase3ds(&db);
    ReleaseObjectMotion3ds(&o);
    ReleaseObjectMotion3ds(&dummy);
    ReleaseObjectMotion3ds(&r);
    ReleaseOmnilightMotion3ds(&om);
    ReleaseOmnilightMotion3ds(&ro);
    ReleaseSpotlightMotion3ds(&sm);
    ReleaseSpotlightMotion3ds(&rs);
    ReleaseCameraMotion3ds(&cm);
    ReleaseCameraMotion3ds(&rc);
}

TEST_F(Ftk3ds, ExtremeValuesKeepTheirBits)
{
    const float values[] = {FLT_MAX,
                            -FLT_MAX,
                            std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::denorm_min(),
                            -0.0f,
                            std::numeric_limits<float>::infinity()};
    database3ds* db = NewDatabase();
    mesh3ds* m = nullptr;
    InitMeshObj3ds(&m, 2, 0, InitTextArray3ds);
    SetName(m->name, sizeof m->name, "Extreme");
    std::memcpy(m->vertexarray, values, sizeof values);
    PutMesh3ds(db, m);
    ASSERT_TRUE(WriteDb(db, mDir.File("x.3ds")));
    ReleaseDatabase3ds(&db);
    db = ReadDb(mDir.File("x.3ds"));
    ASSERT_NE(db, nullptr);
    mesh3ds* r = nullptr;
    GetMeshByIndex3ds(db, 0, &r);
    ASSERT_EQ(r->nvertices, 2);
    EXPECT_EQ(0, std::memcmp(r->vertexarray, values, sizeof values));
    EXPECT_EQ(r->nfaces, 0);
    RelMeshObj3ds(&m);
    RelMeshObj3ds(&r);
    ReleaseDatabase3ds(&db);
}

// ---- Layout ----

TEST_F(Ftk3ds, ChunkLayoutIsByteExact)
{
    database3ds* db = nullptr;
    InitDatabase3ds(&db);
    CreateNewDatabase3ds(db, MeshFile3ds);
    mesh3ds* m = nullptr;
    InitMeshObj3ds(&m, 1, 0, 0);
    SetName(m->name, sizeof m->name, "A");
    m->vertexarray[0] = {1.0f, 2.0f, -2.0f};
    PutMesh3ds(db, m);
    ASSERT_TRUE(WriteDb(db, mDir.File("l.3ds")));
    std::string bytes = ReadFile(mDir.File("l.3ds"));
    // main 4D4D, version 0002 = 3, editor 3D3D: version 3D3E = 3, named object "A"
    const unsigned char head[] = {0x4D, 0x4D, 0, 0, 0, 0, 0x02, 0x00, 10, 0, 0, 0, 3, 0, 0, 0, 0x3D, 0x3D};
    ASSERT_GE(bytes.size(), sizeof head);
    EXPECT_EQ(0, std::memcmp(bytes.data() + 6, head + 6, sizeof head - 6));
    ulong3ds total = static_cast<unsigned char>(bytes[2]) | static_cast<unsigned char>(bytes[3]) << 8 |
                     static_cast<unsigned char>(bytes[4]) << 16 | static_cast<unsigned char>(bytes[5]) << 24;
    EXPECT_EQ(total, bytes.size());
    // The object: 4000 len "A\0", 4100 len, 4110 len 2+12: count 1, 1.0, 2.0, -2.0
    const unsigned char object[] = {0x00,
                                    0x40,
                                    6 + 2 + 6 + 6 + 14 + 6 + 48,
                                    0,
                                    0,
                                    0,
                                    'A',
                                    0,
                                    0x00,
                                    0x41,
                                    6 + 6 + 14 + 6 + 48,
                                    0,
                                    0,
                                    0,
                                    0x10,
                                    0x41,
                                    6 + 14,
                                    0,
                                    0,
                                    0,
                                    1,
                                    0,
                                    0x00,
                                    0x00,
                                    0x80,
                                    0x3F,
                                    0x00,
                                    0x00,
                                    0x00,
                                    0x40,
                                    0x00,
                                    0x00,
                                    0x00,
                                    0xC0,
                                    0x60,
                                    0x41,
                                    54,
                                    0,
                                    0,
                                    0,
                                    0x00,
                                    0x00,
                                    0x80,
                                    0x3F};
    size_t at = bytes.find(std::string(reinterpret_cast<const char*>(object), 8));
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(0, std::memcmp(bytes.data() + at, object, sizeof object));
    RelMeshObj3ds(&m);
    ReleaseDatabase3ds(&db);
}

// ---- Parent names ----

TEST_F(Ftk3ds, ParentNamesResolveToNodeIds)
{
    struct Case
    {
        const char* parent;
        const char* expected; // parent text read back; "" = no parent
    };
    const Case cases[] = {
        {"Body", "Body"},                   // object name, node without instance
        {"Body.Inst", "Body.Inst"},         // name and instance
        {"$$$DUMMY.Grp1", "$$$DUMMY.Grp1"}, // a dummy by its instance name
        {"Nobody", ""},                     // no match
        {"Body.Other", ""},                 // instance differs
        {"Twin", ""},                       // the node has an instance, the text none
        {"", ""},                           // no text
        {"Self", ""},                       // a node cannot be its own parent
    };
    database3ds* db = NewDatabase();
    auto put = [&](const char* name, const char* instance, const char* parent) {
        objectmotion3ds* o = nullptr;
        InitObjectMotion3ds(&o, 1, 1, 1, 0, 0);
        SetName(o->name, sizeof o->name, name);
        SetName(o->instance, sizeof o->instance, instance);
        SetName(o->parent, sizeof o->parent, parent);
        PutObjectMotion3ds(db, o);
        ReleaseObjectMotion3ds(&o);
    };
    for (const Case& c : cases)
        put(std::strcmp(c.parent, "Self") ? "Child" : "Self", "", c.parent);
    put("Body", "", "");
    put("Body", "Inst", "");
    put("$$$DUMMY", "Grp1", "");
    put("Twin", "T", "");
    ASSERT_TRUE(WriteDb(db, mDir.File("p.3ds")));
    ReleaseDatabase3ds(&db);
    db = ReadDb(mDir.File("p.3ds"));
    ASSERT_NE(db, nullptr);
    objectmotion3ds* r = nullptr;
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
    {
        GetObjectMotionByIndex3ds(db, static_cast<ulong3ds>(i), &r);
        EXPECT_STREQ(r->parent, cases[i].expected) << "parent text \"" << cases[i].parent << "\"";
    }
    ReleaseObjectMotion3ds(&r);
    ReleaseDatabase3ds(&db);
    // The file holds the ids: node 0 names Body (node 8), node 3 none.
    std::string bytes = ReadFile(mDir.File("p.3ds"));
    size_t hdr = bytes.find(std::string("\x10\xB0", 2));
    ASSERT_NE(hdr, std::string::npos);
    EXPECT_EQ(bytes.substr(hdr + 6, 6 + 4), std::string("Child\0\0\0\0\0", 10));
    EXPECT_EQ(static_cast<unsigned char>(bytes[hdr + 16]), 8);
    EXPECT_EQ(static_cast<unsigned char>(bytes[hdr + 17]), 0);
}

TEST_F(Ftk3ds, HundredThousandNodesChainByName)
{
    const int n = 100000;
    database3ds* db = NewDatabase();
    objectmotion3ds* o = nullptr;
    InitObjectMotion3ds(&o, 1, 1, 1, 0, 0);
    SetName(o->name, sizeof o->name, "$$$DUMMY");
    for (int i = 0; i < n - 1; ++i) // ids stop at 65534: the rest are refused
    {
        std::snprintf(o->instance, sizeof o->instance, "n%d", i % 1000000);
        std::snprintf(o->parent, sizeof o->parent, i ? "$$$DUMMY.n%d" : "", (i - 1) % 1000000);
        PutObjectMotion3ds(db, o);
        if (i < 65535)
        {
            ASSERT_FALSE(Failed()) << i;
        }
    }
    EXPECT_TRUE(Failed());
    EXPECT_EQ(GetErrEntry3ds(GetErrCount3ds() - 1)->id, ERR_LIMIT_EXCEEDED);
    EXPECT_EQ(GetObjectNodeCount3ds(db), 65535u);
    ClearErrList3ds();
    ASSERT_TRUE(WriteDb(db, mDir.File("n.3ds")));
    ReleaseDatabase3ds(&db);
    db = ReadDb(mDir.File("n.3ds"));
    ASSERT_NE(db, nullptr);
    objectmotion3ds* r = nullptr;
    GetObjectMotionByIndex3ds(db, 65534, &r);
    EXPECT_STREQ(r->instance, "n65534");
    EXPECT_STREQ(r->parent, "$$$DUMMY.n65533");
    ReleaseObjectMotion3ds(&r);
    ReleaseObjectMotion3ds(&o);
    ReleaseDatabase3ds(&db);
}

// ---- Limits and refused records ----

TEST_F(Ftk3ds, SixteenBitLimits)
{
    // The largest counts a 16-bit field holds go through.
    database3ds* db = NewDatabase();
    mesh3ds* m = nullptr;
    InitMeshObj3ds(&m, 65535, 65535, InitTextArray3ds);
    SetName(m->name, sizeof m->name, "Big");
    for (ulong3ds i = 0; i < 65535; ++i)
        m->facearray[i] = {static_cast<ushort3ds>(i), 65534, 0, 0};
    m->vertexarray[65534] = {1, 2, 3};
    PutMesh3ds(db, m);
    ASSERT_TRUE(WriteDb(db, mDir.File("big.3ds")));
    ReleaseDatabase3ds(&db);
    db = ReadDb(mDir.File("big.3ds"));
    ASSERT_NE(db, nullptr) << LastErrorText();
    mesh3ds* r = nullptr;
    GetMeshByIndex3ds(db, 0, &r);
    ASSERT_NE(r, nullptr) << LastErrorText();
    ASSERT_EQ(r->nvertices, 65535);
    ASSERT_EQ(r->nfaces, 65535);
    EXPECT_EQ(r->facearray[65534].v1, 65534);
    ExpectPoint(r->vertexarray[65534], 1, 2, 3);
    ReleaseDatabase3ds(&db);
    RelMeshObj3ds(&r);

    // Records that would need more are refused before anything is stored.
    struct Case
    {
        const char* what;
        std::function<void(mesh3ds*)> spoil;
        long code;
    };
    const Case cases[] = {
        {"face past the vertices", [](mesh3ds* x) { x->facearray[3].v3 = 65535; }, ERR_INVALID_DATA},
        {"material face past the faces",
         [](mesh3ds* x) {
             x->nmats = 1;
             InitMeshObjField3ds(x, InitMatArray3ds);
             InitMatArrayIndex3ds(x, 0, 1);
             x->matarray[0].faceindex[0] = 65535;
         },
         ERR_INVALID_DATA},
        {"count without an array",
         [](mesh3ds* x) {
             std::free(x->facearray);
             x->facearray = nullptr;
         },
         ERR_INVALID_ARG},
    };
    for (const Case& c : cases)
    {
        ClearErrList3ds();
        db = NewDatabase();
        mesh3ds* bad = nullptr;
        InitMeshObj3ds(&bad, 65535, 65535, 0);
        c.spoil(bad);
        PutMesh3ds(db, bad);
        EXPECT_EQ(ErrorCodes(), std::vector<long>{c.code}) << c.what;
        EXPECT_EQ(GetMeshCount3ds(db), 0u) << c.what;
        RelMeshObj3ds(&bad);
        ReleaseDatabase3ds(&db);
    }
    RelMeshObj3ds(&m);
}

TEST_F(Ftk3ds, PutMaterialReplacesTheEntryOfTheSameName)
{
    database3ds* db = NewDatabase();
    material3ds* a = MakeMaterial("Wood");
    PutMaterial3ds(db, a);
    material3ds* b = MakeMaterial("Stone");
    PutMaterial3ds(db, b);
    a->diffuse = {1, 0, 0};
    a->texture.name[0] = '\0';
    PutMaterial3ds(db, a);
    ASSERT_EQ(GetMaterialCount3ds(db), 2u);
    ASSERT_TRUE(WriteDb(db, mDir.File("m.3ds")));
    ReleaseDatabase3ds(&db);
    db = ReadDb(mDir.File("m.3ds"));
    material3ds* r = nullptr;
    GetMaterialByIndex3ds(db, 0, &r);
    EXPECT_STREQ(r->name, "Wood");
    EXPECT_EQ(r->diffuse.r, 1.0f);
    EXPECT_STREQ(r->texture.name, "");
    GetMaterialByIndex3ds(db, 1, &r);
    EXPECT_STREQ(r->name, "Stone");
    ReleaseMaterial3ds(&r);
    ReleaseMaterial3ds(&a);
    ReleaseMaterial3ds(&b);
    ReleaseDatabase3ds(&db);
}

// ---- Errors ----

TEST_F(Ftk3ds, NullArgumentsAndFailedFilesAreReported)
{
    struct Case
    {
        const char* what;
        std::function<void()> call;
        std::vector<long> codes;
    };
    database3ds* db = NewDatabase();
    mesh3ds* none = nullptr;
    const Case cases[] = {
        {"open a missing file",
         [] { EXPECT_EQ(OpenFile3ds("/nonexistent/x.3ds", "rb"), nullptr); },
         {ERR_OPENING_FILE}},
        {"open without a name", [] { EXPECT_EQ(OpenFile3ds(nullptr, "rb"), nullptr); }, {ERR_INVALID_ARG}},
        {"database from a null file", [&] { CreateDatabase3ds(nullptr, db); }, {ERR_INVALID_ARG}},
        {"write to a null file", [&] { WriteDatabase3ds(nullptr, db); }, {ERR_INVALID_ARG}},
        {"put a null mesh", [&] { PutMesh3ds(db, none); }, {ERR_INVALID_ARG}},
        {"put into a null database", [&] { PutMesh3ds(nullptr, none); }, {ERR_INVALID_ARG}},
        {"unknown database type", [&] { CreateNewDatabase3ds(db, 7); }, {ERR_INVALID_ARG}},
        {"mesh past the count", [&] { GetMeshByIndex3ds(db, 0, &none); }, {ERR_INVALID_INDEX}},
        {"spot light without its spot part",
         [&] {
             light3ds* l = nullptr;
             InitLight3ds(&l);
             PutSpotlight3ds(db, l);
             ReleaseLight3ds(&l);
         },
         {ERR_INVALID_ARG}},
        {"camera without a field of view",
         [&] {
             camera3ds* c = nullptr;
             InitCamera3ds(&c);
             c->fov = 0;
             PutCamera3ds(db, c);
             ReleaseCamera3ds(&c);
         },
         {ERR_INVALID_DATA}},
    };
    for (const Case& c : cases)
    {
        ClearErrList3ds();
        c.call();
        EXPECT_TRUE(Failed()) << c.what;
        EXPECT_EQ(ErrorCodes(), c.codes) << c.what;
    }
    // Ignored errors still set the flag, but a caller goes on.
    ignoreftkerr3ds = true;
    PutMesh3ds(db, none);
    EXPECT_TRUE(ftkerr3ds);
    EXPECT_FALSE(Failed());
    ResetToolkit3ds();
    EXPECT_FALSE(ftkerr3ds || ignoreftkerr3ds);
    EXPECT_EQ(GetErrCount3ds(), 0);
    ReleaseDatabase3ds(&db);
}

TEST_F(Ftk3ds, AFullDiskIsReportedNotPassedAsWritten)
{
    database3ds* db = NewDatabase();
    mesh3ds* m = MakeQuad("Quad");
    PutMesh3ds(db, m);
    file3ds* f = OpenFile3ds("/dev/full", "wb");
    ASSERT_NE(f, nullptr);
    WriteDatabase3ds(f, db);
    EXPECT_TRUE(Failed());
    EXPECT_EQ(ErrorCodes(), std::vector<long>{ERR_WRITING_FILE});
    EXPECT_NE(LastErrorText().find("Out of disk space"), std::string::npos);
    CloseFile3ds(f);
    // A file opened for reading is not written to.
    ClearErrList3ds();
    ASSERT_TRUE(WriteFile(mDir.File("r.3ds"), "x"));
    f = OpenFile3ds(mDir.File("r.3ds").c_str(), "rb");
    WriteDatabase3ds(f, db);
    EXPECT_EQ(ErrorCodes(), std::vector<long>{ERR_INVALID_ARG});
    CloseAllFiles3ds();
    RelMeshObj3ds(&m);
    ReleaseDatabase3ds(&db);
}

// ---- Damaged files ----

namespace {

// Reads everything a reader reads; false when the toolkit reported failure.
bool ReadEverything(const std::string& path)
{
    database3ds* db = ReadDb(path);
    if (!db)
        return false;
    mesh3ds* m = nullptr;
    for (ulong3ds i = 0; i < GetMeshCount3ds(db); ++i)
        GetMeshByIndex3ds(db, i, &m);
    RelMeshObj3ds(&m);
    material3ds* mat = nullptr;
    for (ulong3ds i = 0; i < GetMaterialCount3ds(db); ++i)
        GetMaterialByIndex3ds(db, i, &mat);
    ReleaseMaterial3ds(&mat);
    light3ds* l = nullptr;
    for (ulong3ds i = 0; i < GetSpotlightCount3ds(db); ++i)
        GetSpotlightByIndex3ds(db, i, &l);
    ReleaseLight3ds(&l);
    objectmotion3ds* o = nullptr;
    for (ulong3ds i = 0; i < GetObjectNodeCount3ds(db); ++i)
        GetObjectMotionByIndex3ds(db, i, &o);
    ReleaseObjectMotion3ds(&o);
    spotmotion3ds* s = nullptr;
    for (ulong3ds i = 0; i < GetSpotlightNodeCount3ds(db); ++i)
        GetSpotlightMotionByIndex3ds(db, i, &s);
    ReleaseSpotlightMotion3ds(&s);
    ReleaseDatabase3ds(&db);
    return !Failed();
}

std::string SampleFile(const TempDir& dir)
{
    database3ds* db = NewDatabase();
    mesh3ds* m = MakeQuad("Quad");
    PutMesh3ds(db, m);
    material3ds* mat = MakeMaterial("Red");
    PutMaterial3ds(db, mat);
    light3ds* l = nullptr;
    InitSpotlight3ds(&l);
    SetName(l->name, sizeof l->name, "S");
    PutSpotlight3ds(db, l);
    objectmotion3ds* o = nullptr;
    InitObjectMotion3ds(&o, 2, 2, 2, 1, 1);
    SetName(o->name, sizeof o->name, "Quad");
    PutObjectMotion3ds(db, o);
    spotmotion3ds* s = nullptr;
    InitSpotlightMotion3ds(&s, 1, 1, 1, 1, 1, 1);
    SetName(s->name, sizeof s->name, "S");
    PutSpotlightMotion3ds(db, s);
    std::string path = dir.File("sample.3ds");
    WriteDb(db, path);
    RelMeshObj3ds(&m);
    ReleaseMaterial3ds(&mat);
    ReleaseLight3ds(&l);
    ReleaseObjectMotion3ds(&o);
    ReleaseSpotlightMotion3ds(&s);
    ReleaseDatabase3ds(&db);
    return path;
}

} // namespace

TEST_F(Ftk3ds, TruncatedFilesFailAtEveryLength)
{
    std::string bytes = ReadFile(SampleFile(mDir));
    ASSERT_GT(bytes.size(), 500u);
    ASSERT_TRUE(ReadEverything(mDir.File("sample.3ds")));
    for (size_t n = 0; n < bytes.size(); ++n)
    {
        ResetToolkit3ds();
        ASSERT_TRUE(WriteFile(mDir.File("t.3ds"), bytes.substr(0, n)));
        EXPECT_FALSE(ReadEverything(mDir.File("t.3ds"))) << "cut at " << n;
        std::vector<long> codes = ErrorCodes();
        ASSERT_FALSE(codes.empty());
        EXPECT_EQ(codes.front(), ERR_CORRUPT_FILE) << "cut at " << n;
        EXPECT_EQ(codes.back(), ERR_CREATING_DATABASE) << "cut at " << n;
    }
}

TEST_F(Ftk3ds, CorruptedBytesNeverCrashOrOverAllocate)
{
    std::string bytes = ReadFile(SampleFile(mDir));
    // Every byte in turn set to values that break lengths and counts.
    for (size_t at = 0; at < bytes.size(); ++at)
        for (unsigned char v : {0x00, 0x80, 0xFF})
        {
            ResetToolkit3ds();
            std::string bad = bytes;
            bad[at] = static_cast<char>(v);
            ASSERT_TRUE(WriteFile(mDir.File("c.3ds"), bad));
            ReadEverything(mDir.File("c.3ds"));
            for (long code : ErrorCodes())
                EXPECT_TRUE(code == ERR_CORRUPT_FILE || code == ERR_CREATING_DATABASE || code == ERR_LIMIT_EXCEEDED)
                    << "byte " << at << " = " << int(v) << ": " << LastErrorText();
        }
}

TEST_F(Ftk3ds, DamagedChunkTreesGiveClearErrors)
{
    auto chunk = [](unsigned tag, const std::string& payload) {
        std::string c;
        unsigned len = static_cast<unsigned>(payload.size() + 6);
        c += static_cast<char>(tag & 0xFF);
        c += static_cast<char>(tag >> 8);
        for (int i = 0; i < 4; ++i)
            c += static_cast<char>((len >> (8 * i)) & 0xFF);
        return c + payload;
    };
    std::string nested = chunk(0xA200, "");
    for (int i = 0; i < 100; ++i)
        nested = chunk(0xA200, nested);
    struct Case
    {
        const char* what;
        std::string file;
        const char* text; // part of the first error's description
    };
    std::string tooLong = chunk(0x3D3D, chunk(0x0100, "abcd"));
    tooLong[8] = 60; // the editor claims more than the main chunk holds
    const Case cases[] = {
        {"empty file", "", "does not begin with a 3DS main chunk"},
        {"not a 3DS file", chunk(0x1234, ""), "does not begin with a 3DS main chunk"},
        {"main chunk past the file", chunk(0x4D4D, "").substr(0, 5) + "\x01", "claims 16777222 bytes, the file has 6"},
        {"child past its parent", chunk(0x4D4D, tooLong), "has length 60"},
        {"stray bytes", chunk(0x4D4D, "abc"), "3 stray bytes"},
        {"zero length", chunk(0x4D4D, std::string("\x00\x01\x00\x00\x00\x00", 6)), "has length 0"},
        {"nesting beyond the bound", chunk(0x4D4D, chunk(0x3D3D, chunk(0xAFFF, nested))), "nest deeper"},
        {"object name without terminator", chunk(0x4D4D, chunk(0x3D3D, chunk(0x4000, "abc"))), "too short"},
        {"face count past the data",
         chunk(0x4D4D, chunk(0x3D3D, chunk(0x4000, std::string("a\0", 2) + chunk(0x4100, chunk(0x4120, "\x05\x00"))))),
         "too short"},
    };
    for (const Case& c : cases)
    {
        ResetToolkit3ds();
        ASSERT_TRUE(WriteFile(mDir.File("d.3ds"), c.file));
        EXPECT_EQ(ReadDb(mDir.File("d.3ds")), nullptr) << c.what;
        ASSERT_GE(GetErrCount3ds(), 2) << c.what;
        EXPECT_EQ(GetErrEntry3ds(0)->id, ERR_CORRUPT_FILE) << c.what;
        EXPECT_NE(std::string(GetErrEntry3ds(0)->desc).find("File is corrupted"), std::string::npos) << c.what;
        EXPECT_NE(std::string(GetErrEntry3ds(0)->desc).find(c.text), std::string::npos)
            << c.what << ": " << GetErrEntry3ds(0)->desc;
        EXPECT_EQ(GetErrEntry3ds(GetErrCount3ds() - 1)->id, ERR_CREATING_DATABASE) << c.what;
    }

    // Counts larger than their data show when the record is fetched.
    std::string hugeCount = chunk(0x4110, std::string("\xFF\xFF", 2) + std::string(24, '\0'));
    std::string hugeKeys = chunk(0xB020, std::string("\0\0\0\0\0\0\0\0\0\0\xFF\xFF\xFF\xFF", 14));
    std::string file = chunk(0x4D4D, chunk(0x3D3D, chunk(0x4000, std::string("m\0", 2) + chunk(0x4100, hugeCount))) +
                                         chunk(0xB000, chunk(0xB002, hugeKeys)));
    ResetToolkit3ds();
    ASSERT_TRUE(WriteFile(mDir.File("h.3ds"), file));
    database3ds* db = ReadDb(mDir.File("h.3ds"));
    ASSERT_NE(db, nullptr) << LastErrorText();
    mesh3ds* m = nullptr;
    GetMeshByIndex3ds(db, 0, &m);
    EXPECT_EQ(ErrorCodes(), std::vector<long>{ERR_CORRUPT_FILE});
    EXPECT_EQ(LastErrorText(), "File is corrupted: vertex array of \"m\"");
    EXPECT_EQ(m->nvertices, 0);
    ClearErrList3ds();
    objectmotion3ds* o = nullptr;
    GetObjectMotionByIndex3ds(db, 0, &o);
    EXPECT_EQ(ErrorCodes(), std::vector<long>{ERR_CORRUPT_FILE});
    EXPECT_EQ(LastErrorText(), "File is corrupted: track 0xB020 of \"\" counts 4294967295 keys in 0 bytes");
    EXPECT_EQ(o->npkeys, 0u);
    RelMeshObj3ds(&m);
    ReleaseObjectMotion3ds(&o);
    ReleaseDatabase3ds(&db);
}

TEST_F(Ftk3ds, UnknownChunksAreSkippedAndKept)
{
    // A viewport chunk (not modelled) between known ones.
    std::string bytes = ReadFile(SampleFile(mDir));
    std::string unknown("\x01\x70\x0A\x00\x00\x00wxyz", 10);
    // Insert right after the editor's version chunk and fix the lengths.
    size_t editor = bytes.find(std::string("\x3D\x3D", 2));
    ASSERT_NE(editor, std::string::npos);
    auto bump = [&](size_t at) {
        ulong3ds len;
        std::memcpy(&len, bytes.data() + at + 2, 4);
        len += 10;
        std::memcpy(&bytes[at + 2], &len, 4);
    };
    bump(0);
    bump(editor);
    bytes.insert(editor + 6 + 10, unknown);
    ASSERT_TRUE(WriteFile(mDir.File("u.3ds"), bytes));
    EXPECT_TRUE(ReadEverything(mDir.File("u.3ds"))) << LastErrorText();
    // Written back unchanged.
    database3ds* db = ReadDb(mDir.File("u.3ds"));
    ASSERT_TRUE(WriteDb(db, mDir.File("u2.3ds")));
    EXPECT_EQ(ReadFile(mDir.File("u2.3ds")), bytes);
    ReleaseDatabase3ds(&db);
}
