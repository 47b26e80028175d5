// The 3DS chunk toolkit on its own: record defaults, every record kind
// through a file, the chunk layout, parent-name resolution, limits, and
// damaged files.

#include <cfloat>
#include <cstddef>
#include <typeinfo>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <thread>

#include <unistd.h>

#include "formats/ftk3ds/ftk3ds_private.h" // the handle's stream, to break it
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

// Arrays of `n` items equal byte for byte; both null when empty.
template <typename T>
void ExpectSameArray(const T* a, const T* b, size_t n, const char* what)
{
    if (n == 0)
        return;
    ASSERT_TRUE(a && b) << what;
    EXPECT_EQ(0, std::memcmp(a, b, n * sizeof(T))) << what;
}

// A record holding no pointers, equal byte for byte (records are zeroed
// when made, padding included).
template <typename T>
void ExpectSameRecord(const T* a, const T* b, const char* what)
{
    ASSERT_TRUE(a && b) << what;
    EXPECT_EQ(0, std::memcmp(a, b, sizeof(T))) << what;
}

#define EXPECT_SAME_TRACK(a, b, n, flag, keys, values)                                                                 \
    do                                                                                                                 \
    {                                                                                                                  \
        ASSERT_EQ((a)->n, (b)->n) << #n;                                                                               \
        EXPECT_EQ((a)->flag, (b)->flag) << #flag;                                                                      \
        ExpectSameArray((a)->keys, (b)->keys, (a)->n, #keys);                                                          \
        ExpectSameArray((a)->values, (b)->values, (a)->n, #values);                                                    \
    } while (0)

template <typename M>
void ExpectSameNode(const M* a, const M* b)
{
    EXPECT_STREQ(a->name, b->name);
    EXPECT_STREQ(a->parent, b->parent) << a->name;
    EXPECT_EQ(a->flags1, b->flags1) << a->name;
    EXPECT_EQ(a->flags2, b->flags2) << a->name;
    EXPECT_SAME_TRACK(a, b, npkeys, npflag, pkeys, pos);
}

void ExpectPoint(const point3ds& p, float x, float y, float z)
{
    EXPECT_FLOAT_EQ(p.x, x);
    EXPECT_FLOAT_EQ(p.y, y);
    EXPECT_FLOAT_EQ(p.z, z);
}

} // namespace

// ---- Defaults ----

// An Init… result against the whole record, every byte: `set` fills the
// expected values into a zeroed record.
template <typename T, typename Init, typename Release, typename Set>
void ExpectDefaults(Init init, Release release, Set set)
{
    T want;
    std::memset(&want, 0, sizeof want);
    set(want);
    T* record = nullptr;
    init(&record);
    ExpectSameRecord<T>(record, &want, typeid(T).name());
    release(&record);
    EXPECT_EQ(record, nullptr);
}

TEST_F(Ftk3ds, RecordsStartWithTheirDefaults)
{
    ExpectDefaults<meshset3ds>(InitMeshSet3ds, ReleaseMeshSet3ds, [](meshset3ds& w) {
        w.masterscale = w.lowshadowbias = w.raytracebias = 1.0f;
        w.shadowmapsize = 512;
        w.shadowfilter = 3.0f;
        w.ambientlight = {0.39216f, 0.39216f, 0.39216f};
    });
    ExpectDefaults<background3ds>(InitBackground3ds, ReleaseBackground3ds,
                                  [](background3ds& w) { w.gradpercent = 0.5f; });
    ExpectDefaults<kfsets3ds>(InitKfSets3ds, ReleaseKfSets3ds, [](kfsets3ds& w) { w.animlength = w.segend = 100; });
    ExpectDefaults<camera3ds>(InitCamera3ds, ReleaseCamera3ds, [](camera3ds& w) {
        w.target = {1, 1, 1};
        w.fov = 45.0f;
        w.nearplane = 10.0f;
        w.farplane = 1000.0f;
    });
    ExpectDefaults<material3ds>(InitMaterial3ds, ReleaseMaterial3ds, [](material3ds& w) {
        w.wiresize = 1.0f;
        w.shading = 3;
        for (bitmap3ds* map : {&w.texture, &w.texture2})
        {
            map->tiling = Tile3ds;
            map->uscale = map->vscale = 1.0f;
        }
    });
    ExpectDefaults<light3ds>(InitLight3ds, ReleaseLight3ds, [](light3ds& w) {
        w.color = {0.708f, 0.708f, 0.708f};
        w.multiplier = 1.0f;
    });
    light3ds* light = nullptr;
    InitSpotlight3ds(&light);
    ASSERT_NE(light->spot, nullptr);
    ExpectPoint(light->spot->target, 1, 1, 1);
    EXPECT_EQ(light->spot->hotspot, 44.0f);
    EXPECT_EQ(light->spot->falloff, 45.0f);
    EXPECT_EQ(light->spot->roll + light->spot->projector.use, 0.0f);
    InitLight3ds(&light); // back to a point light: the spot part goes
    EXPECT_EQ(light->spot, nullptr);
    ReleaseLight3ds(&light);

    objectmotion3ds* o = nullptr;
    InitObjectMotion3ds(&o, 0, 2, 3, 0, 1);
    EXPECT_EQ(o->msangle, 24.0f);
    EXPECT_EQ(o->pos, nullptr);
    ASSERT_EQ(o->nrkeys, 2u);
    EXPECT_EQ(o->rot[1].angle + o->rot[1].x + o->rot[1].y, 0.0f);
    EXPECT_EQ(o->rot[1].z, 1.0f);
    ASSERT_EQ(o->nskeys, 3u);
    ExpectPoint(o->scale[2], 1, 1, 1);
    EXPECT_EQ(o->nhkeys, 1u);
    EXPECT_NE(o->hkeys, nullptr);
    InitObjectMotion3ds(&o, 4, 0, 0, 0, 0); // replaces only the tracks it counts
    EXPECT_EQ(o->npkeys, 4u);
    EXPECT_EQ(o->nrkeys, 2u);
    ReleaseObjectMotion3ds(&o);
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

TEST_F(Ftk3ds, EveryRecordKindRoundTripsThroughAFile)
{
    SampleScene in;
    ASSERT_TRUE(in.Write(mDir.File("all.3ds"))) << LastErrorText();
    database3ds* db = ReadDb(mDir.File("all.3ds"));
    ASSERT_NE(db, nullptr) << LastErrorText();
    const ulong3ds counts[] = {GetMeshCount3ds(db),          GetOmnilightCount3ds(db),     GetSpotlightCount3ds(db),
                               GetCameraCount3ds(db),        GetMaterialCount3ds(db),      GetObjectNodeCount3ds(db),
                               GetOmnilightNodeCount3ds(db), GetSpotlightNodeCount3ds(db), GetCameraNodeCount3ds(db)};
    const ulong3ds expected[] = {1, 1, 1, 1, 1, 2, 1, 1, 1};
    ASSERT_EQ(0, std::memcmp(counts, expected, sizeof counts));

    mesh3ds* m = nullptr;
    GetMeshByIndex3ds(db, 0, &m);
    ASSERT_FALSE(Failed()) << LastErrorText();
    const mesh3ds* x = in.mesh;
    EXPECT_STREQ(m->name, x->name);
    EXPECT_EQ(0, std::memcmp(&m->ishidden, &x->ishidden, 7)); // the seven flag bytes
    ASSERT_EQ(m->nvertices, x->nvertices);
    ASSERT_EQ(m->ntextverts, x->ntextverts);
    ASSERT_EQ(m->nvflags, x->nvflags);
    ASSERT_EQ(m->nfaces, x->nfaces);
    ExpectSameArray(m->vertexarray, x->vertexarray, x->nvertices, "vertices");
    ExpectSameArray(m->textarray, x->textarray, x->ntextverts, "texture vertices");
    ExpectSameArray(m->vflagarray, x->vflagarray, x->nvflags, "vertex flags");
    ExpectSameArray(m->facearray, x->facearray, x->nfaces, "faces");
    ExpectSameArray(m->smootharray, x->smootharray, x->nfaces, "smoothing");
    ExpectSameArray(m->locmatrix, x->locmatrix, 12, "matrix");
    ASSERT_EQ(m->nmats, x->nmats);
    for (int i = 0; i < x->nmats; ++i)
    {
        EXPECT_STREQ(m->matarray[i].name, x->matarray[i].name);
        ASSERT_EQ(m->matarray[i].nfaces, x->matarray[i].nfaces);
        ExpectSameArray(m->matarray[i].faceindex, x->matarray[i].faceindex, x->matarray[i].nfaces, "material faces");
    }

    material3ds* mat = nullptr;
    GetMaterialByIndex3ds(db, 0, &mat);
    ExpectSameRecord(mat, in.material, "material"); // fractions through whole percentages
    light3ds* l = nullptr;
    GetOmnilightByIndex3ds(db, 0, &l);
    EXPECT_EQ(0, std::memcmp(l, in.omni, offsetof(light3ds, spot)));
    EXPECT_EQ(l->spot, nullptr);
    GetSpotlightByIndex3ds(db, 0, &l);
    EXPECT_EQ(0, std::memcmp(l, in.spot, offsetof(light3ds, spot)));
    ExpectSameRecord(l->spot, in.spot->spot, "spot part");
    camera3ds* c = nullptr;
    GetCameraByIndex3ds(db, 0, &c);
    ExpectSameRecord(c, in.camera, "camera"); // field of view through the lens 2400 / 60
    meshset3ds* set = nullptr;
    GetMeshSet3ds(db, &set);
    ExpectSameRecord(set, in.settings, "mesh settings");
    background3ds* bg = nullptr;
    GetBackground3ds(db, &bg);
    ExpectSameRecord(bg, in.background, "background");

    objectmotion3ds* o = nullptr;
    for (const objectmotion3ds* want : {in.dummy, in.object})
    {
        GetObjectMotionByIndex3ds(db, want == in.dummy ? 0 : 1, &o);
        ExpectSameNode(o, want);
        EXPECT_STREQ(o->instance, want->instance);
        EXPECT_EQ(0, std::memcmp(&o->pivot, &want->pivot, sizeof(point3ds)));
        EXPECT_EQ(0, std::memcmp(&o->bboxmin, &want->bboxmin, 2 * sizeof(point3ds)));
        EXPECT_EQ(o->msangle, want->msangle);
        EXPECT_SAME_TRACK(o, want, nrkeys, nrflag, rkeys, rot);
        EXPECT_SAME_TRACK(o, want, nskeys, nsflag, skeys, scale);
        EXPECT_SAME_TRACK(o, want, nmkeys, nmflag, mkeys, morph);
        ASSERT_EQ(o->nhkeys, want->nhkeys);
        ExpectSameArray(o->hkeys, want->hkeys, o->nhkeys, "hide keys");
    }
    omnimotion3ds* om = nullptr;
    GetOmnilightMotionByIndex3ds(db, 0, &om);
    ExpectSameNode(om, in.omnimotion);
    EXPECT_SAME_TRACK(om, in.omnimotion, nckeys, ncflag, ckeys, color);
    spotmotion3ds* sm = nullptr;
    GetSpotlightMotionByIndex3ds(db, 0, &sm);
    const spotmotion3ds* ws = in.spotmotion;
    ExpectSameNode(sm, ws);
    EXPECT_SAME_TRACK(sm, ws, nckeys, ncflag, ckeys, color);
    EXPECT_SAME_TRACK(sm, ws, nhkeys, nhflag, hkeys, hot);
    EXPECT_SAME_TRACK(sm, ws, nfkeys, nfflag, fkeys, fall);
    EXPECT_SAME_TRACK(sm, ws, nrkeys, nrflag, rkeys, roll);
    EXPECT_SAME_TRACK(sm, ws, ntkeys, ntflag, tkeys, tpos);
    EXPECT_STREQ(sm->tparent, ws->tparent);
    EXPECT_EQ(sm->tflags1, ws->tflags1);
    cameramotion3ds* cm = nullptr;
    GetCameraMotionByIndex3ds(db, 0, &cm);
    const cameramotion3ds* wc = in.cameramotion;
    ExpectSameNode(cm, wc);
    EXPECT_SAME_TRACK(cm, wc, nfkeys, nfflag, fkeys, fov);
    EXPECT_SAME_TRACK(cm, wc, nrkeys, nrflag, rkeys, roll);
    EXPECT_SAME_TRACK(cm, wc, ntkeys, ntflag, tkeys, tpos);
    EXPECT_STREQ(cm->tparent, wc->tparent);
    EXPECT_EQ(cm->tflags2, wc->tflags2);
    EXPECT_FALSE(Failed()) << LastErrorText();

    // Records outlive the database they came from.
    ReleaseDatabase3ds(&db);
    EXPECT_EQ(m->vertexarray[297].x, 148.5f);
    RelMeshObj3ds(&m);
    ReleaseMaterial3ds(&mat);
    ReleaseLight3ds(&l);
    ReleaseCamera3ds(&c);
    ReleaseMeshSet3ds(&set);
    ReleaseBackground3ds(&bg);
    ReleaseObjectMotion3ds(&o);
    ReleaseOmnilightMotion3ds(&om);
    ReleaseSpotlightMotion3ds(&sm);
    ReleaseCameraMotion3ds(&cm);
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
    SampleScene scene;
    material3ds* a = scene.material;
    SetName(a->name, sizeof a->name, "Wood");
    PutMaterial3ds(db, a);
    SetName(a->name, sizeof a->name, "Stone");
    PutMaterial3ds(db, a);
    SetName(a->name, sizeof a->name, "Wood");
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
        {"omni light past the count",
         [&] {
             light3ds* l = nullptr;
             GetOmnilightByIndex3ds(db, 0, &l);
             EXPECT_EQ(l, nullptr);
         },
         {ERR_INVALID_INDEX}},
        {"spot light past the count",
         [&] {
             light3ds* l = nullptr;
             GetSpotlightByIndex3ds(db, 3, &l);
         },
         {ERR_INVALID_INDEX}},
        {"camera past the count",
         [&] {
             camera3ds* c = nullptr;
             GetCameraByIndex3ds(db, 0, &c);
         },
         {ERR_INVALID_INDEX}},
        {"material past the count",
         [&] {
             material3ds* m = nullptr;
             GetMaterialByIndex3ds(db, 0, &m);
         },
         {ERR_INVALID_INDEX}},
        {"object motion past the count",
         [&] {
             objectmotion3ds* m = nullptr;
             GetObjectMotionByIndex3ds(db, 0, &m);
             EXPECT_EQ(m, nullptr);
         },
         {ERR_INVALID_INDEX}},
        {"omni motion past the count",
         [&] {
             omnimotion3ds* m = nullptr;
             GetOmnilightMotionByIndex3ds(db, 0, &m);
         },
         {ERR_INVALID_INDEX}},
        {"spot motion past the count",
         [&] {
             spotmotion3ds* m = nullptr;
             GetSpotlightMotionByIndex3ds(db, 0, &m);
         },
         {ERR_INVALID_INDEX}},
        {"camera motion past the count",
         [&] {
             cameramotion3ds* m = nullptr;
             GetCameraMotionByIndex3ds(db, 0, &m);
         },
         {ERR_INVALID_INDEX}},
        {"camera motion from a null database",
         [&] {
             cameramotion3ds* m = nullptr;
             GetCameraMotionByIndex3ds(nullptr, 0, &m);
         },
         {ERR_INVALID_ARG}},
        {"material into a null record pointer", [&] { GetMaterialByIndex3ds(db, 0, nullptr); }, {ERR_INVALID_ARG}},
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
    // Without a database every count is 0.
    for (ulong3ds count :
         {GetMeshCount3ds(nullptr), GetOmnilightCount3ds(nullptr), GetSpotlightCount3ds(nullptr),
          GetCameraCount3ds(nullptr), GetMaterialCount3ds(nullptr), GetObjectNodeCount3ds(nullptr),
          GetOmnilightNodeCount3ds(nullptr), GetSpotlightNodeCount3ds(nullptr), GetCameraNodeCount3ds(nullptr)})
        EXPECT_EQ(count, 0u);
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
    SampleScene scene;
    scene.PutAll(db);
    file3ds* f = OpenFile3ds("/dev/full", "wb");
    ASSERT_NE(f, nullptr);
    WriteDatabase3ds(f, db);
    EXPECT_TRUE(Failed());
    EXPECT_EQ(ErrorCodes(), std::vector<long>{ERR_WRITING_FILE});
    EXPECT_NE(LastErrorText().find("Out of disk space"), std::string::npos);
    CloseFile3ds(f);
    // A close that fails is reported too (here its descriptor is gone).
    ClearErrList3ds();
    f = OpenFile3ds(mDir.File("w.3ds").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    close(fileno(f->fp));
    CloseFile3ds(f);
    EXPECT_EQ(ErrorCodes(), std::vector<long>{ERR_CLOSING_FILE});
    EXPECT_EQ(LastErrorText(), "Cannot close \"" + mDir.File("w.3ds") + "\": Bad file descriptor");
    // A file opened for reading is not written to.
    ClearErrList3ds();
    ASSERT_TRUE(WriteFile(mDir.File("r.3ds"), "x"));
    f = OpenFile3ds(mDir.File("r.3ds").c_str(), "rb");
    WriteDatabase3ds(f, db);
    EXPECT_EQ(ErrorCodes(), std::vector<long>{ERR_INVALID_ARG});
    CloseAllFiles3ds();
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
    // Every record kind, with a small mesh: the damage tests visit every byte.
    SampleScene scene;
    mesh3ds*& m = scene.mesh;
    InitMeshObj3ds(&m, 4, 2, InitAllFields3ds);
    SetName(m->name, sizeof m->name, "Sphere01");
    m->facearray[1] = {1, 2, 3, 0};
    m->nmats = 1;
    InitMeshObjField3ds(m, InitMatArray3ds);
    SetName(m->matarray[0].name, sizeof m->matarray[0].name, "Gold");
    InitMatArrayIndex3ds(m, 0, 1);
    std::string path = dir.File("sample.3ds");
    scene.Write(path);
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
        for (unsigned char v : {0x00, 0xFF})
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
    const auto chunk = &ftktest::Chunk;
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

TEST_F(Ftk3ds, MapNamesAreReadWhole)
{
    // Map names as tools write them: DOS's 8.3, longer ones (lib3ds writes
    // up to 63 bytes), folders with backslashes; whole up to 255 bytes, a
    // longer one refused rather than cut to another file's name.
    const struct
    {
        std::string name;
        bool terminated;
        const char* error; // "": read whole
    } cases[] = {
        {"GL-14_CH.TGA", true, ""},
        {"wood_grain.png", true, ""},
        {"textures\\planets\\951gaspra.png", true, ""},
        {std::string(63, 'a') + ".png", true, ""},
        {std::string(251, 'b') + ".png", true, ""},
        {std::string(252, 'c') + ".png", true, "File is corrupted: texture map name longer than 255 bytes of \"Mat\""},
        {"wood.png", false, "File is corrupted: texture map name of \"Mat\""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name.substr(0, 40));
        ResetToolkit3ds();
        const std::string mapName = Chunk(0xA300, c.terminated ? c.name + std::string(1, '\0') : c.name);
        const std::string material = Chunk(0xAFFF, Chunk(0xA000, std::string("Mat\0", 4)) + Chunk(0xA200, mapName));
        ASSERT_TRUE(WriteFile(mDir.File("m.3ds"), Chunk(0x4D4D, Chunk(0x3D3D, material))));
        database3ds* db = ReadDb(mDir.File("m.3ds"));
        ASSERT_NE(db, nullptr) << LastErrorText();
        material3ds* read = nullptr;
        GetMaterialByIndex3ds(db, 0, &read);
        if (*c.error)
            EXPECT_EQ(LastErrorText(), c.error);
        else
        {
            EXPECT_EQ(LastErrorText(), "");
            ASSERT_NE(read, nullptr);
            EXPECT_EQ(std::string(read->texture.name), c.name);
        }
        ReleaseMaterial3ds(&read);
        ReleaseDatabase3ds(&db);
    }
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

TEST_F(Ftk3ds, ErrorsAndOpenFilesAreEachThreadsOwn)
{
    // A failure on this thread, while another thread writes a file: neither
    // sees the other's flag, errors or files.
    ignoreftkerr3ds = true;
    EXPECT_EQ(OpenFile3ds(mDir.File("missing/none.3ds").c_str(), "rb"), nullptr);
    ASSERT_TRUE(ftkerr3ds);
    ASSERT_EQ(GetErrCount3ds(), 1);
    file3ds* own = OpenFile3ds(mDir.File("own.3ds").c_str(), "wb");
    ASSERT_NE(own, nullptr);
    bool flag = true, ignore = true;
    int errors = -1, laterErrors = -1;
    std::thread([&] {
        flag = ftkerr3ds;
        ignore = ignoreftkerr3ds;
        errors = GetErrCount3ds();
        file3ds* file = OpenFile3ds(mDir.File("other.3ds").c_str(), "wb");
        CloseAllFiles3ds(); // this thread's file only
        EXPECT_NE(file, nullptr);
        EXPECT_EQ(OpenFile3ds("", "rb"), nullptr);
        laterErrors = GetErrCount3ds();
    }).join();
    EXPECT_FALSE(flag);
    EXPECT_FALSE(ignore);
    EXPECT_EQ(errors, 0);
    EXPECT_EQ(laterErrors, 1);
    EXPECT_EQ(GetErrCount3ds(), 1); // the other thread's failure is not here
    EXPECT_EQ(GetErrEntry3ds(0)->id, ERR_OPENING_FILE);
    CloseFile3ds(own); // still open: the other thread closed only its own
    EXPECT_EQ(GetErrCount3ds(), 1);
}

TEST_F(Ftk3ds, FileCutShortUnderADatabaseIsReportedNotAFault)
{
    // A database reads its records from the file in place, long after it
    // is made. Another program cutting the file short meanwhile costs the
    // bytes it cut (they read as zeros), which the check reports.
    SampleScene scene;
    mesh3ds*& m = scene.mesh;
    InitMeshObj3ds(&m, 30000, 20000, InitAllFields3ds);
    SetName(m->name, sizeof m->name, "Big");
    for (ushort3ds i = 0; i < 30000; ++i)
        m->vertexarray[i] = {i * 0.25f, -i * 0.5f, 7.0f};
    const std::string path = mDir.File("big.3ds");
    scene.Write(path);
    ASSERT_GT(ReadFile(path).size(), size_t(300000));

    database3ds* db = ReadDb(path);
    ASSERT_NE(db, nullptr) << LastErrorText();
    mesh3ds* read = nullptr;
    GetMeshByIndex3ds(db, 0, &read);
    CheckDatabaseImage3ds(db);
    EXPECT_FALSE(Failed()) << "nothing lost: " << LastErrorText();

    ASSERT_EQ(truncate(path.c_str(), 4096), 0);
    GetMeshByIndex3ds(db, 0, &read);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->vertexarray[29999].x, 0.0f) << "lost bytes read as zeros";
    CheckDatabaseImage3ds(db);
    std::vector<long> codes = ErrorCodes();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.back(), ERR_CORRUPT_FILE);
    EXPECT_EQ(LastErrorText(), "File is corrupted: the file was cut short while it was read");
    RelMeshObj3ds(&read);
    ReleaseDatabase3ds(&db);
    CheckDatabaseImage3ds(nullptr); // nothing to check: nothing reported
}
