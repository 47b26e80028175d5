// Shared helpers of the 3DS chunk toolkit tests: databases written to and
// read from files, and the error stack as codes.
#ifndef QOX_TESTS_FORMATS_FTK3DS_TEST_UTIL_H
#define QOX_TESTS_FORMATS_FTK3DS_TEST_UTIL_H

#include <cfloat>
#include <cstdio>
#include <limits>
#include <cstring>
#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "formats/ftk3ds/ftk3ds.h"

namespace ftktest {

// True when the last toolkit call failed, as a caller tests it.
inline bool Failed()
{
    return ftkerr3ds && !ignoreftkerr3ds;
}

inline std::vector<long> ErrorCodes()
{
    std::vector<long> codes;
    for (int i = 0; i < GetErrCount3ds(); ++i)
        codes.push_back(GetErrEntry3ds(i)->id);
    return codes;
}

// Every entry of the error stack, one a line.
inline std::string LastErrorText()
{
    std::string text;
    for (int i = 0; i < GetErrCount3ds(); ++i)
        text += std::string(i ? "\n" : "") + GetErrEntry3ds(i)->desc;
    return text;
}

// A fresh mesh-file database.
inline database3ds* NewDatabase()
{
    database3ds* db = nullptr;
    InitDatabase3ds(&db);
    CreateNewDatabase3ds(db, MeshFile3ds);
    return db;
}

// Writes `db` to `path`; false when the toolkit reports a failure.
inline bool WriteDb(database3ds* db, const std::string& path)
{
    file3ds* f = OpenFile3ds(path.c_str(), "wb");
    WriteDatabase3ds(f, db);
    CloseFile3ds(f);
    return !Failed();
}

// Reads the database of `path`, the file closed again; null on failure.
inline database3ds* ReadDb(const std::string& path)
{
    file3ds* f = OpenFile3ds(path.c_str(), "rb");
    database3ds* db = nullptr;
    InitDatabase3ds(&db);
    CreateDatabase3ds(f, db);
    CloseFile3ds(f);
    if (Failed())
        ReleaseDatabase3ds(&db);
    return db;
}

// One chunk's bytes, written by hand: its tag and length (little-endian,
// the 6 header bytes counted), then the payload.
inline std::string Chunk(unsigned tag, const std::string& payload)
{
    std::string c;
    const unsigned length = static_cast<unsigned>(payload.size() + 6);
    c += static_cast<char>(tag & 0xFF);
    c += static_cast<char>(tag >> 8);
    for (int i = 0; i < 4; ++i)
        c += static_cast<char>((length >> (8 * i)) & 0xFF);
    return c + payload;
}

inline void SetName(char* field, size_t cap, const char* text)
{
    std::snprintf(field, cap, "%s", text);
}

// One record of every kind, filled with values that survive a file exactly
// (fractions in whole percent, a field of view whose lens is exact), and
// released with the scene.
struct SampleScene
{
    mesh3ds* mesh = nullptr;
    material3ds* material = nullptr;
    light3ds* omni = nullptr;
    light3ds* spot = nullptr;
    camera3ds* camera = nullptr;
    meshset3ds* settings = nullptr;
    background3ds* background = nullptr;
    kfsets3ds* kfsettings = nullptr;
    objectmotion3ds* dummy = nullptr;
    objectmotion3ds* object = nullptr;
    omnimotion3ds* omnimotion = nullptr;
    spotmotion3ds* spotmotion = nullptr;
    cameramotion3ds* cameramotion = nullptr;

    static const int kVertices = 300;
    static const int kFaces = 500;

    SampleScene()
    {
        InitMeshObj3ds(&mesh, kVertices, kFaces, InitTextArray3ds | InitSmoothArray3ds | InitVertexFlags3ds);
        SetName(mesh->name, sizeof mesh->name, "Sphere01");
        for (int i = 0; i < kVertices; ++i)
        {
            mesh->vertexarray[i] = {i * 0.5f, -i * 0.25f, 1e-3f * i};
            mesh->textarray[i] = {i / 300.0f, 1.0f - i / 300.0f};
            mesh->vflagarray[i] = static_cast<ushort3ds>(i);
        }
        for (int i = 0; i < kFaces; ++i)
        {
            mesh->facearray[i] = {static_cast<ushort3ds>(i % kVertices), static_cast<ushort3ds>((i + 1) % kVertices),
                                  static_cast<ushort3ds>((i * 7) % kVertices), 7};
            mesh->smootharray[i] = 1u << (i % 32);
        }
        // Extreme values keep their bits: the largest floats, infinity, a NaN,
        // the smallest denormal and a negative zero.
        const float extremes[] = {FLT_MAX,
                                  -FLT_MAX,
                                  std::numeric_limits<float>::infinity(),
                                  std::numeric_limits<float>::quiet_NaN(),
                                  std::numeric_limits<float>::denorm_min(),
                                  -0.0f};
        std::memcpy(&mesh->vertexarray[kVertices - 2], extremes, sizeof extremes);
        mesh->isfast = mesh->isfrozen = 1;
        const float matrix[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 5, 6, 7};
        std::memcpy(mesh->locmatrix, matrix, sizeof matrix);
        mesh->nmats = 2;
        InitMeshObjField3ds(mesh, InitMatArray3ds);
        SetName(mesh->matarray[0].name, sizeof mesh->matarray[0].name, "Gold");
        SetName(mesh->matarray[1].name, sizeof mesh->matarray[1].name, "SixteenCharsLong");
        InitMatArrayIndex3ds(mesh, 0, kFaces / 2);
        InitMatArrayIndex3ds(mesh, 1, kFaces - kFaces / 2);
        for (int i = 0; i < kFaces; ++i)
            (i < kFaces / 2 ? mesh->matarray[0].faceindex[i] : mesh->matarray[1].faceindex[i - kFaces / 2]) =
                static_cast<ushort3ds>(i);

        InitMaterial3ds(&material);
        SetName(material->name, sizeof material->name, "Gold");
        material->ambient = {0.2f, 0.1f, 0.0f};
        material->diffuse = {1.0f, 0.8f, 0.2f};
        material->specular = {0.9f, 0.9f, 0.9f};
        material->shininess = 0.3f;
        material->shinstrength = 0.5f;
        material->transparency = 0.25f;
        material->selfillumpct = 0.1f;
        material->twosided = 1;
        SetName(material->texture.name, sizeof material->texture.name, "gold.jpg");
        material->texture.percent = 0.5f;
        material->texture.tiling = Decal3ds;
        material->texture.uscale = 2;
        material->texture.vscale = 4;
        material->texture.uoffset = 0.1f;
        material->texture.voffset = 0.25f;
        material->texture.rotation = 30;
        SetName(material->texture2.name, sizeof material->texture2.name, "bump.gif");
        material->texture2.percent = 1.0f;
        material->texture2.tiling = Both3ds;

        InitLight3ds(&omni);
        SetName(omni->name, sizeof omni->name, "Omni01");
        omni->pos = {1, 2, 3};
        omni->color = {1, 0.5f, 0.25f};
        omni->multiplier = 1.5f;
        InitSpotlight3ds(&spot);
        SetName(spot->name, sizeof spot->name, "Spot01");
        spot->pos = {0, 0, 10};
        spot->spot->target = {4, 5, 6};
        spot->spot->hotspot = 20;
        spot->spot->falloff = 30;
        spot->spot->roll = 15;
        spot->spot->projector.use = 1;
        SetName(spot->spot->projector.bitmap, sizeof spot->spot->projector.bitmap, "slide.tga");
        InitCamera3ds(&camera);
        SetName(camera->name, sizeof camera->name, "Cam01");
        camera->position = {-1, -2, -3};
        camera->fov = 60; // lens 40
        camera->roll = 5;
        camera->nearplane = 2;
        camera->farplane = 500;

        InitMeshSet3ds(&settings);
        settings->masterscale = 0.5f;
        settings->ambientlight = {0.1f, 0.2f, 0.3f};
        settings->shadowmapsize = 500;
        settings->raytracebias = 3;
        settings->consaxis = {0, 0, 1};
        InitBackground3ds(&background);
        SetName(background->bitmap, sizeof background->bitmap, "sky.jpg");
        background->solid = {0.2f, 0.4f, 0.6f};
        background->gradtop = {1, 0, 0};
        background->gradbottom = {0, 0, 1};
        InitKfSets3ds(&kfsettings);
        kfsettings->animlength = 90;

        InitObjectMotion3ds(&dummy, 1, 1, 1, 0, 0);
        SetName(dummy->name, sizeof dummy->name, "$$$DUMMY");
        SetName(dummy->instance, sizeof dummy->instance, "Grp1");
        dummy->bboxmin = {-0.5f, -0.5f, -0.5f};
        dummy->bboxmax = {0.5f, 0.5f, 0.5f};
        InitObjectMotion3ds(&object, 3, 2, 1, 1, 1);
        SetName(object->name, sizeof object->name, "Sphere01");
        SetName(object->parent, sizeof object->parent, "$$$DUMMY.Grp1");
        object->flags1 = 0x4000;
        object->flags2 = 2;
        object->pivot = {1, 2, 3};
        object->msangle = 30;
        for (int k = 0; k < 3; ++k)
        {
            object->pkeys[k].time = static_cast<ulong3ds>(k * 10);
            object->pos[k] = {k * 1.0f, k * 2.0f, k * 3.0f};
        }
        object->pkeys[2] = {20, 31, 0.5f, 0.25f, -0.5f, 0.125f, 1.0f}; // all five values
        object->rkeys[1] = {10, 4, 0, 0, -1, 0, 0};                    // bias only
        object->rot[1] = {1.5707964f, 0, 0, 1};
        object->scale[0] = {2, 3, 4};
        object->mkeys[0].time = 5;
        SetName(object->morph[0].name, sizeof object->morph[0].name, "Box02");
        object->hkeys[0].time = 7;
        InitOmnilightMotion3ds(&omnimotion, 2, 1);
        SetName(omnimotion->name, sizeof omnimotion->name, "Omni01");
        SetName(omnimotion->parent, sizeof omnimotion->parent, "Sphere01");
        omnimotion->pkeys[1].time = 5;
        omnimotion->pos[1] = {9, 8, 7};
        omnimotion->color[0] = {1, 0.5f, 0.25f};
        InitSpotlightMotion3ds(&spotmotion, 1, 1, 1, 1, 1, 2);
        SetName(spotmotion->name, sizeof spotmotion->name, "Spot01");
        SetName(spotmotion->tparent, sizeof spotmotion->tparent, "Sphere01");
        spotmotion->hot[0] = 20;
        spotmotion->fall[0] = 30;
        spotmotion->roll[0] = 15;
        spotmotion->tkeys[1].time = 20;
        spotmotion->tpos[1] = {4, 5, 6};
        spotmotion->tflags1 = 3;
        InitCameraMotion3ds(&cameramotion, 1, 2, 1, 1);
        SetName(cameramotion->name, sizeof cameramotion->name, "Cam01");
        SetName(cameramotion->tparent, sizeof cameramotion->tparent, "$$$DUMMY.Grp1");
        cameramotion->fkeys[1].time = 30;
        cameramotion->fov[0] = 60;
        cameramotion->fov[1] = 30;
        cameramotion->roll[0] = -3;
        cameramotion->tflags2 = 9;
    }

    ~SampleScene()
    {
        RelMeshObj3ds(&mesh);
        ReleaseMaterial3ds(&material);
        ReleaseLight3ds(&omni);
        ReleaseLight3ds(&spot);
        ReleaseCamera3ds(&camera);
        ReleaseMeshSet3ds(&settings);
        ReleaseBackground3ds(&background);
        ReleaseKfSets3ds(&kfsettings);
        ReleaseObjectMotion3ds(&dummy);
        ReleaseObjectMotion3ds(&object);
        ReleaseOmnilightMotion3ds(&omnimotion);
        ReleaseSpotlightMotion3ds(&spotmotion);
        ReleaseCameraMotion3ds(&cameramotion);
    }

    // Puts every record into `db` (the dummy is node 0, the object node 1).
    void PutAll(database3ds* db) const
    {
        PutMeshSet3ds(db, settings);
        PutBackground3ds(db, background);
        PutMaterial3ds(db, material);
        PutMesh3ds(db, mesh);
        PutOmnilight3ds(db, omni);
        PutSpotlight3ds(db, spot);
        PutCamera3ds(db, camera);
        PutKfSets3ds(db, kfsettings);
        PutObjectMotion3ds(db, dummy);
        PutObjectMotion3ds(db, object);
        PutOmnilightMotion3ds(db, omnimotion);
        PutSpotlightMotion3ds(db, spotmotion);
        PutCameraMotion3ds(db, cameramotion);
    }

    // Writes the scene to `path`.
    bool Write(const std::string& path) const
    {
        database3ds* db = NewDatabase();
        PutAll(db);
        bool ok = !Failed() && WriteDb(db, path);
        ReleaseDatabase3ds(&db);
        return ok;
    }
};

} // namespace ftktest

#endif
