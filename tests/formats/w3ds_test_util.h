// Shared helpers of the 3DS writer tests: scenes built in memory, written
// through KQoxWriter3DS and read back record by record with the toolkit.
#ifndef QOX_TESTS_FORMATS_W3DS_TEST_UTIL_H
#define QOX_TESTS_FORMATS_W3DS_TEST_UTIL_H

#include <memory>
#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "formats/3ds/kqoxwriter3ds.h"
#include "formats/ftk3ds/ftk3ds.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

namespace w3dstest {

using namespace qoxsdk_600;

// Frame f at 30 frames per second.
inline KTime Frame(int f)
{
    KTime t;
    t.SetTime(0, 0, 0, f, 0, 0, 6);
    return t;
}

// Adds a linear key to a curve.
inline void Key(KFCurve* curve, KTime time, float value)
{
    const int index = curve->KeyAdd(time);
    curve->KeySet(index, time, value, KFCURVE_INTERPOLATION_LINEAR);
}

struct Scene
{
    std::unique_ptr<KQoxSdkManager> manager{KQoxSdkManager::CreateKQoxSdkManager()};
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxNode* root = scene.GetRootNode();

    KQoxNode* AddNode(KQoxNode* parent, const char* name, KQoxNodeAttribute* attribute = nullptr)
    {
        KQoxNode* node = manager->CreateKQoxNode(name);
        if (attribute)
            node->SetNodeAttribute(attribute);
        (parent ? parent : root)->AddChild(node);
        return node;
    }

    // A mesh of points and polygons; with materials, material k of the list
    // goes to polygon k (by polygon).
    KQoxMesh* NewMesh(const std::vector<KQoxVector4>& points, const std::vector<std::vector<int>>& polygons,
                      const std::vector<int>& polygonMaterials = {})
    {
        KQoxMesh* mesh = manager->CreateKQoxMesh();
        mesh->InitControlPoints(static_cast<int>(points.size()));
        for (size_t i = 0; i < points.size(); ++i)
            mesh->GetControlPoints()[i] = points[i];
        if (!polygonMaterials.empty())
            mesh->InitMaterialIndices(KQoxLayerElement::eBY_POLYGON);
        for (size_t p = 0; p < polygons.size(); ++p)
        {
            mesh->BeginPolygon(polygonMaterials.empty() ? -1 : polygonMaterials[p], -1, -1);
            for (int corner : polygons[p])
                mesh->AddPolygon(corner, -1);
            mesh->EndPolygon();
        }
        return mesh;
    }

    KQoxNode* AddQuad(KQoxNode* parent, const char* name)
    {
        return AddNode(parent, name, NewMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}}));
    }

    KQoxMaterial* AddMaterial(KQoxMesh* mesh, const char* name)
    {
        KQoxMaterial* material = manager->CreateKQoxMaterial(name);
        mesh->AM(material, 0);
        return material;
    }

    KQoxTexture* AddTexture(KQoxMesh* mesh, const char* name, const char* file)
    {
        KQoxTexture* texture = manager->CreateKQoxTexture(name);
        texture->SetFileName(file);
        texture->SetMappingType(KQoxTexture::eUV);
        mesh->AT(texture, 0);
        return texture;
    }

    KQoxLight* NewLight(KQoxLight::ELightType type)
    {
        KQoxLight* light = manager->CreateKQoxLight();
        light->SetLightType(type);
        return light;
    }
};

// Options of the writer, with changes.
inline std::unique_ptr<KStreamOptions3ds> Options(std::initializer_list<std::pair<int, int>> changes = {})
{
    std::unique_ptr<KStreamOptions3ds> options(KStreamOptions3dsCreate());
    options->Reset();
    for (const auto& change : changes)
        options->SetOption(change.first, change.second);
    return options;
}

// Writes the scene; the writer's message and last error in the arguments.
inline bool WriteScene(Scene& s, const std::string& path, KStreamOptions* options, std::string* message = nullptr,
                       int* error = nullptr)
{
    KQoxWriter3DS writer(*s.manager);
    bool ok = writer.FileCreate(path.c_str());
    if (ok)
        ok = writer.Write(s.scene, options);
    if (message)
    {
        KString text;
        writer.GetMessage(text);
        *message = text.ToChars();
    }
    if (error)
        *error = writer.GetLastErrorID();
    return ok;
}

// A written file read back through the toolkit.
struct Read3ds
{
    database3ds* db = nullptr;
    explicit Read3ds(const std::string& path)
    {
        ResetToolkit3ds();
        file3ds* file = OpenFile3ds(path.c_str(), "rb");
        if (!file)
            return;
        InitDatabase3ds(&db);
        CreateDatabase3ds(file, db);
        CloseFile3ds(file);
        if (ftkerr3ds)
            ReleaseDatabase3ds(&db);
    }
    ~Read3ds()
    {
        ReleaseDatabase3ds(&db);
        ResetToolkit3ds();
    }
    bool ok() const { return db != nullptr; }

    K3dsPtr<mesh3ds> Mesh(int i) const
    {
        mesh3ds* m = nullptr;
        GetMeshByIndex3ds(db, i, &m);
        return K3dsPtr<mesh3ds>(m);
    }
    // The mesh of that name, or null.
    K3dsPtr<mesh3ds> Mesh(const std::string& name) const
    {
        for (ulong3ds i = 0; i < GetMeshCount3ds(db); ++i)
        {
            auto m = Mesh(static_cast<int>(i));
            if (m && name == m->name)
                return m;
        }
        return nullptr;
    }
    K3dsPtr<material3ds> Material(const std::string& name) const
    {
        for (ulong3ds i = 0; i < GetMaterialCount3ds(db); ++i)
        {
            material3ds* m = nullptr;
            GetMaterialByIndex3ds(db, i, &m);
            K3dsPtr<material3ds> owned(m);
            if (owned && name == owned->name)
                return owned;
        }
        return nullptr;
    }
    std::vector<std::string> MaterialNames() const
    {
        std::vector<std::string> names;
        for (ulong3ds i = 0; i < GetMaterialCount3ds(db); ++i)
        {
            material3ds* m = nullptr;
            GetMaterialByIndex3ds(db, i, &m);
            K3dsPtr<material3ds> owned(m);
            names.push_back(owned ? owned->name : "?");
        }
        return names;
    }
    K3dsPtr<objectmotion3ds> Object(int i) const
    {
        objectmotion3ds* m = nullptr;
        GetObjectMotionByIndex3ds(db, i, &m);
        return K3dsPtr<objectmotion3ds>(m);
    }
    // The object motion of that name (and instance, for dummies), or null.
    K3dsPtr<objectmotion3ds> Object(const std::string& name, const std::string& instance = "") const
    {
        for (ulong3ds i = 0; i < GetObjectNodeCount3ds(db); ++i)
        {
            auto m = Object(static_cast<int>(i));
            if (m && name == m->name && instance == m->instance)
                return m;
        }
        return nullptr;
    }
    K3dsPtr<meshset3ds> Settings() const
    {
        meshset3ds* s = nullptr;
        InitMeshSet3ds(&s);
        GetMeshSet3ds(db, &s);
        return K3dsPtr<meshset3ds>(s);
    }
};

} // namespace w3dstest

#endif
