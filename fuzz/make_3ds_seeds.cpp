// Writes small 3DS scenes through the chunk toolkit into a directory, as
// seeds for fuzz_3ds: make_3ds_seeds <directory>.

#include <cstdio>
#include <cstring>
#include <string>

#include "formats/ftk3ds/ftk3ds.h"

namespace {

void Name(char* field, size_t size, const char* text)
{
    std::snprintf(field, size, "%s", text);
}

// A unit cube of 8 vertices and 12 faces, a smoothing group per side, with
// texture vertices and one material group.
mesh3ds* Cube(const char* name, const char* material)
{
    mesh3ds* m = nullptr;
    InitMeshObj3ds(&m, 8, 12, InitTextArray3ds | InitSmoothArray3ds);
    Name(m->name, sizeof m->name, name);
    for (int v = 0; v < 8; ++v)
    {
        m->vertexarray[v] = {float(v & 1), float((v >> 1) & 1), float((v >> 2) & 1)};
        m->textarray[v] = {float(v & 1), float((v >> 1) & 1)};
    }
    const ushort3ds quads[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    for (int s = 0; s < 6; ++s)
    {
        m->facearray[2 * s] = {quads[s][0], quads[s][1], quads[s][2], 7};
        m->facearray[2 * s + 1] = {quads[s][0], quads[s][2], quads[s][3], 7};
        m->smootharray[2 * s] = m->smootharray[2 * s + 1] = 1u << s;
    }
    m->locmatrix[9] = 2.0f;
    m->nmats = 1;
    InitMeshObjField3ds(m, InitMatArray3ds);
    Name(m->matarray[0].name, sizeof m->matarray[0].name, material);
    InitMatArrayIndex3ds(m, 0, 6);
    for (int f = 0; f < 6; ++f)
        m->matarray[0].faceindex[f] = static_cast<ushort3ds>(f);
    return m;
}

bool Write(const std::string& path, database3ds* db)
{
    file3ds* f = OpenFile3ds(path.c_str(), "wb");
    WriteDatabase3ds(f, db);
    CloseFile3ds(f);
    const bool ok = !ftkerr3ds;
    ResetToolkit3ds();
    return ok;
}

void Editor(database3ds* db)
{
    meshset3ds* settings = nullptr;
    InitMeshSet3ds(&settings);
    settings->masterscale = 0.5f;
    PutMeshSet3ds(db, settings);
    ReleaseMeshSet3ds(&settings);
    background3ds* background = nullptr;
    InitBackground3ds(&background);
    background->solid = {0.2f, 0.3f, 0.4f};
    PutBackground3ds(db, background);
    ReleaseBackground3ds(&background);

    material3ds* mat = nullptr;
    InitMaterial3ds(&mat);
    Name(mat->name, sizeof mat->name, "Wood");
    mat->diffuse = {0.6f, 0.4f, 0.2f};
    mat->shininess = 0.3f;
    Name(mat->texture.name, sizeof mat->texture.name, "wood.jpg");
    mat->texture.percent = 1.0f;
    mat->texture.uscale = 2.0f;
    mat->texture.rotation = 30.0f;
    // A DOS tool's name: upper case, a folder parted by a backslash, past 8.3.
    Name(mat->texture2.name, sizeof mat->texture2.name, "MAPS\\BUMP_OF_THE_WOODEN_BOX.GIF");
    mat->texture2.percent = 0.5f;
    mat->texture2.tiling = Decal3ds;
    PutMaterial3ds(db, mat);
    ReleaseMaterial3ds(&mat);

    mesh3ds* cube = Cube("Box01", "Wood");
    PutMesh3ds(db, cube);
    RelMeshObj3ds(&cube);

    light3ds* omni = nullptr;
    InitLight3ds(&omni);
    Name(omni->name, sizeof omni->name, "Omni01");
    omni->multiplier = 1.5f;
    PutOmnilight3ds(db, omni);
    ReleaseLight3ds(&omni);
    light3ds* spot = nullptr;
    InitSpotlight3ds(&spot);
    Name(spot->name, sizeof spot->name, "Spot01");
    spot->spot->projector.use = 1;
    Name(spot->spot->projector.bitmap, sizeof spot->spot->projector.bitmap, "slide.tga");
    PutSpotlight3ds(db, spot);
    ReleaseLight3ds(&spot);
    camera3ds* camera = nullptr;
    InitCamera3ds(&camera);
    Name(camera->name, sizeof camera->name, "Cam01");
    PutCamera3ds(db, camera);
    ReleaseCamera3ds(&camera);
}

void Keyframer(database3ds* db)
{
    objectmotion3ds* dummy = nullptr;
    InitObjectMotion3ds(&dummy, 1, 1, 1, 0, 0);
    Name(dummy->name, sizeof dummy->name, "$$$DUMMY");
    Name(dummy->instance, sizeof dummy->instance, "Grp");
    PutObjectMotion3ds(db, dummy);
    ReleaseObjectMotion3ds(&dummy);
    for (int n = 0; n < 2; ++n)
    {
        objectmotion3ds* box = nullptr;
        InitObjectMotion3ds(&box, 3, 3, 2, 0, 0);
        Name(box->name, sizeof box->name, "Box01");
        Name(box->instance, sizeof box->instance, n ? "Copy" : "");
        Name(box->parent, sizeof box->parent, "$$$DUMMY.Grp");
        box->pivot = {0.5f, 0.5f, 0.5f};
        for (int k = 0; k < 3; ++k)
        {
            box->pkeys[k].time = box->rkeys[k].time = static_cast<ulong3ds>(k * 10);
            box->pkeys[k].rflags = KeyUsesTension3ds | KeyUsesBias3ds;
            box->pkeys[k].tension = 0.5f;
            box->pos[k] = {float(k), 0.0f, float(n)};
            box->rot[k] = {0.5f, 0.0f, 0.0f, 1.0f};
        }
        box->skeys[1].time = 20;
        box->scale[1] = {2.0f, 1.0f, 1.0f};
        PutObjectMotion3ds(db, box);
        ReleaseObjectMotion3ds(&box);
    }
    omnimotion3ds* omni = nullptr;
    InitOmnilightMotion3ds(&omni, 1, 2);
    Name(omni->name, sizeof omni->name, "Omni01");
    Name(omni->parent, sizeof omni->parent, "Box01");
    omni->ckeys[1].time = 15;
    omni->color[1] = {1.0f, 0.0f, 0.0f};
    PutOmnilightMotion3ds(db, omni);
    ReleaseOmnilightMotion3ds(&omni);
    spotmotion3ds* spot = nullptr;
    InitSpotlightMotion3ds(&spot, 1, 1, 2, 1, 1, 1);
    Name(spot->name, sizeof spot->name, "Spot01");
    spot->hkeys[1].time = 5;
    spot->hot[0] = 20.0f;
    spot->hot[1] = 30.0f;
    PutSpotlightMotion3ds(db, spot);
    ReleaseSpotlightMotion3ds(&spot);
    cameramotion3ds* camera = nullptr;
    InitCameraMotion3ds(&camera, 2, 1, 1, 1);
    Name(camera->name, sizeof camera->name, "Cam01");
    Name(camera->tparent, sizeof camera->tparent, "Box01.Copy");
    camera->pkeys[1].time = 30;
    camera->fov[0] = 60.0f;
    PutCameraMotion3ds(db, camera);
    ReleaseCameraMotion3ds(&camera);
    kfsets3ds* sets = nullptr;
    InitKfSets3ds(&sets);
    sets->animlength = 30;
    PutKfSets3ds(db, sets);
    ReleaseKfSets3ds(&sets);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 1;
    const std::string dir = argv[1];
    bool ok = true;
    for (int kind = 0; kind < 3; ++kind)
    {
        database3ds* db = nullptr;
        InitDatabase3ds(&db);
        CreateNewDatabase3ds(db, MeshFile3ds);
        if (kind >= 1)
            Editor(db);
        if (kind == 2)
            Keyframer(db);
        const char* names[] = {"empty.3ds", "editor.3ds", "scene.3ds"};
        ok = Write(dir + "/" + names[kind], db) && ok;
        ReleaseDatabase3ds(&db);
    }
    return ok ? 0 : 1;
}
