// Scenes exported in every form, for the tests of what a save leaves.
#ifndef QOX_TESTS_FORMATS_EXPORT_TEST_UTIL_H
#define QOX_TESTS_FORMATS_EXPORT_TEST_UTIL_H

#include <memory>
#include <string>

#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

namespace exporttest {

using namespace qoxsdk_600;

struct Form
{
    int format;
    const char* extension;
};
inline const Form kForms[] = {{eEXPORT_QOX_BINARY, "qox"},
                       {eEXPORT_QOX_ASCII, "qox"},
                       {eEXPORT_OBJ, "obj"},
                       {eEXPORT_DXF, "dxf"},
                       {eEXPORT_3DS, "3ds"}};

// Exports a mesh of quads side by side, with a material, to path; the
// exporter's error text in error ("" on success).
inline bool ExportQuads(int quads, const std::string& path, int format, std::string& error,
                        const char* material = "Paint")
{
    KQoxRegisterGeometryFormats();
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxMesh* mesh = manager->CreateKQoxMesh();
    mesh->InitControlPoints(4 * quads);
    for (int q = 0; q < quads; ++q)
    {
        KQoxVector4* points = mesh->GetControlPoints();
        points[4 * q + 0] = KQoxVector4(q, 0, 0);
        points[4 * q + 1] = KQoxVector4(q + 1, 0, 0);
        points[4 * q + 2] = KQoxVector4(q + 1, 1, 0);
        points[4 * q + 3] = KQoxVector4(q, 1, 0);
        mesh->BeginPolygon();
        for (int k = 0; k < 4; ++k)
            mesh->AddPolygon(4 * q + k);
        mesh->EndPolygon();
    }
    mesh->AM(manager->CreateKQoxMaterial(material), 0);
    mesh->InitMaterialIndices(KQoxLayerElement::eALL_SAME);
    KQoxNode* node = manager->CreateKQoxNode("Quads");
    node->SetNodeAttribute(mesh);
    scene.GetRootNode()->AddChild(node);
    KQoxExporter exporter(*manager);
    if (!exporter.Initialize(path.c_str()) || !exporter.SetFileFormat(format))
        return false;
    std::unique_ptr<KStreamOptions> options(exporter.GetExportOptions());
    const bool ok = exporter.Export(scene, options.get());
    error = ok ? "" : exporter.GetLastErrorString();
    return ok;
}

// A scene of textured quads, built in code.
struct QuadScene
{
    std::unique_ptr<KQoxSdkManager> manager{KQoxSdkManager::CreateKQoxSdkManager()};
    KQoxScene& scene = *manager->CreateKQoxScene();

    // A mesh node of quads side by side, four points each, with a material
    // (<name>Paint); with an image, a texture of it (<name>Map) mapped by
    // point.
    KQoxMesh* AddQuads(const char* name, int quads, const char* image = nullptr)
    {
        KQoxMesh* mesh = manager->CreateKQoxMesh();
        mesh->InitControlPoints(4 * quads);
        KQoxVector4* points = mesh->GetControlPoints();
        for (int q = 0; q < quads; ++q)
        {
            points[4 * q + 0] = KQoxVector4(q, 0, 0);
            points[4 * q + 1] = KQoxVector4(q + 1, 0, 0);
            points[4 * q + 2] = KQoxVector4(q + 1, 1, 0.5);
            points[4 * q + 3] = KQoxVector4(q, 1, 0.5);
            mesh->BeginPolygon();
            for (int k = 0; k < 4; ++k)
                mesh->AddPolygon(4 * q + k);
            mesh->EndPolygon();
        }
        mesh->AM(manager->CreateKQoxMaterial((std::string(name) + "Paint").c_str()), 0);
        mesh->InitMaterialIndices(KQoxLayerElement::eALL_SAME);
        if (image)
        {
            KQoxTexture* texture = manager->CreateKQoxTexture((std::string(name) + "Map").c_str());
            texture->SetFileName(image);
            texture->SetMappingType(KQoxTexture::eUV);
            mesh->AT(texture, 0);
            mesh->InitTextureIndices(KQoxLayerElement::eALL_SAME);
            mesh->InitTextureUV(0);
            mesh->GetLayer(0)->GetUVs()->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
            for (int p = 0; p < 4 * quads; ++p)
                mesh->AddTextureUV(KQoxVector2(p % 2, p % 4 / 2));
        }
        KQoxNode* node = manager->CreateKQoxNode(name);
        node->SetNodeAttribute(mesh);
        scene.GetRootNode()->AddChild(node);
        return mesh;
    }
};

// Exports the scene through the registry in the given format; the
// exporter's error text in error (empty on success), its message in
// message when given.
inline bool ExportScene(QuadScene& s, const std::string& path, int format, std::string& error,
                        std::string* message = nullptr)
{
    KQoxRegisterGeometryFormats();
    KQoxExporter exporter(*s.manager);
    if (!exporter.Initialize(path.c_str()) || !exporter.SetFileFormat(format))
        return false;
    std::unique_ptr<KStreamOptions> options(exporter.GetExportOptions());
    const bool ok = exporter.Export(s.scene, options.get());
    error = ok ? "" : exporter.GetLastErrorString();
    if (message)
    {
        KString text;
        exporter.GetMessage(text);
        *message = text.ToChars();
    }
    return ok;
}

} // namespace exporttest

#endif
