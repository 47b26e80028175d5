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

} // namespace exporttest

#endif
