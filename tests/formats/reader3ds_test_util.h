// Shared helpers of the 3DS reader tests: a reader whose option flags and
// records a test can set, files read through the reader or the importer,
// and lookups in the scene read.
#ifndef QOX_TESTS_FORMATS_READER3DS_TEST_UTIL_H
#define QOX_TESTS_FORMATS_READER3DS_TEST_UTIL_H

#include <memory>
#include <string>

#include "fcurve/kfcurve.h"
#include "formats/3ds/kqoxreader3ds.h"
#include "formats/ftk3ds_test_util.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmarker.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

namespace reader3dstest {

using namespace qoxsdk_600;

// The reader with its state open to the tests.
class TestReader : public KQoxReader3DS
{
public:
    using KQoxReader3DS::KQoxReader3DS;
    using KQoxReader3DS::mAnimation;
    using KQoxReader3DS::mCameras;
    using KQoxReader3DS::mGeometries;
    using KQoxReader3DS::mLights;
    using KQoxReader3DS::mMaterials;
    using KQoxReader3DS::mMaterialsFlag;
    using KQoxReader3DS::mReduceKeys;
    using KQoxReader3DS::mReferenceNodeFlag;
    using KQoxReader3DS::mScaleFactor;
    using KQoxReader3DS::mSmoothGroup;
    using KQoxReader3DS::mTextureMapping;
};

// A manager, a scene and a test reader over them.
struct Fixture
{
    std::unique_ptr<KQoxSdkManager> manager{KQoxSdkManager::CreateKQoxSdkManager()};
    KQoxScene& scene = *manager->CreateKQoxScene();
    TestReader reader{*manager};
    bool ok = false;
    std::string message;

    // Reads path with the default options changed by set(options).
    template <class Set>
    bool Read(const std::string& path, Set set)
    {
        ResetToolkit3ds();
        if (!reader.FileOpen(path.c_str()))
            return ok = false;
        std::unique_ptr<KStreamOptions> options(reader.GetReadOptions(false));
        set(*static_cast<KStreamOptions3ds*>(options.get()));
        ok = reader.Read(scene, options.get());
        KString text;
        reader.GetMessage(text);
        message = text.ToChars();
        return ok;
    }
    bool Read(const std::string& path)
    {
        return Read(path, [](KStreamOptions3ds&) {});
    }
    // The node named "Model::" + name, or null.
    KQoxNode* Node(const char* name) { return manager->FindKQoxNode(name, 0); }
    KQoxMesh* Mesh(const char* name)
    {
        KQoxNode* node = Node(name);
        return node ? static_cast<KQoxMesh*>(node->GetMesh()) : nullptr;
    }
    // The parent's name without prefix, "" for none.
    std::string ParentName(const char* name)
    {
        KQoxNode* node = Node(name);
        KQoxNode* parent = node ? node->GetParent() : nullptr;
        return parent ? parent->GetNameWithoutNameSpacePrefix().ToChars() : "";
    }
};

// The node's curve of the current take through getter, or null.
inline KFCurve* Curve(KQoxNode* node, KFCurve* (KQoxTakeNode::*getter)())
{
    KQoxTakeNode* take = node ? node->GetCurrentTakeNode() : nullptr;
    return take ? (take->*getter)() : nullptr;
}

// Frames of a curve's keys at 30 frames per second.
inline std::vector<long long> KeyFrames(KFCurve* curve)
{
    std::vector<long long> frames;
    for (int i = 0; curve && i < curve->KeyGetCount(); ++i)
        frames.push_back(curve->KeyGetTime(i).GetFrame(true, 6));
    return frames;
}

// A mesh record of the given size with vertex i at vertices[i].
inline mesh3ds* NewMesh(const char* name, std::vector<point3ds> vertices, std::vector<face3ds> faces,
                        ushort3ds flags = 0)
{
    mesh3ds* mesh = nullptr;
    InitMeshObj3ds(&mesh, static_cast<ushort3ds>(vertices.size()), static_cast<ushort3ds>(faces.size()), flags);
    ftktest::SetName(mesh->name, sizeof mesh->name, name);
    for (size_t i = 0; i < vertices.size(); ++i)
        mesh->vertexarray[i] = vertices[i];
    for (size_t i = 0; i < faces.size(); ++i)
        mesh->facearray[i] = faces[i];
    return mesh;
}

// Gives the mesh one material group of these faces (appended to its list).
inline void AddMaterialGroup(mesh3ds* mesh, const char* material, std::vector<ushort3ds> faces)
{
    const ushort3ds entry = mesh->nmats;
    mesh->nmats = static_cast<ushort3ds>(entry + 1);
    InitMeshObjField3ds(mesh, InitMatArray3ds);
    ftktest::SetName(mesh->matarray[entry].name, sizeof mesh->matarray[entry].name, material);
    InitMatArrayIndex3ds(mesh, entry, static_cast<ushort3ds>(faces.size()));
    for (size_t i = 0; i < faces.size(); ++i)
        mesh->matarray[entry].faceindex[i] = faces[i];
}

// Writes every record put by put(db) to path; false on a toolkit failure.
template <class Put>
bool WriteFile3ds(const std::string& path, Put put)
{
    database3ds* db = ftktest::NewDatabase();
    put(db);
    bool ok = !ftktest::Failed() && ftktest::WriteDb(db, path);
    ReleaseDatabase3ds(&db);
    return ok;
}

// Writes a triangle "Tri" with texture coordinates whose material "Stone"
// maps the image named map, as the file names it; false on a failure.
inline bool WriteTexturedTriangle3ds(const std::string& path, const char* map)
{
    return WriteFile3ds(path, [&](database3ds* db) {
        material3ds* material = nullptr;
        InitMaterial3ds(&material);
        ftktest::SetName(material->name, sizeof material->name, "Stone");
        ftktest::SetName(material->texture.name, sizeof material->texture.name, map);
        material->texture.uscale = material->texture.vscale = 1.0f;
        PutMaterial3ds(db, material);
        ReleaseMaterial3ds(&material);
        mesh3ds* mesh = NewMesh("Tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 0}}, InitTextArray3ds);
        for (int v = 0; v < 3; ++v)
            mesh->textarray[v] = {v == 1 ? 1.0f : 0.0f, v == 2 ? 1.0f : 0.0f};
        AddMaterialGroup(mesh, "Stone", {0});
        PutMesh3ds(db, mesh);
        RelMeshObj3ds(&mesh);
    });
}

} // namespace reader3dstest

#endif
