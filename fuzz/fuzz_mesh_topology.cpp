// Meshes as a file reader fills them: points, polygons whose indices may name
// no point, per-corner normals, link indices and weights and a shape, all
// taken from the input. Then normals, splitting and merging (with the built
// merge list and with one taken from the input) and the conversions between
// links and deformers must stay inside their arrays.

#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

#include <cstddef>
#include <cstdint>
#include <memory>

using namespace qoxsdk_600;

namespace {

// Reads small values off the input; zero once it is used up.
struct Input
{
    const uint8_t* mData;
    size_t mSize;
    size_t mAt = 0;
    int Byte() { return mAt < mSize ? mData[mAt++] : 0; }
    // Mostly small indices, sometimes far outside or negative.
    int Index()
    {
        const int b = Byte();
        if (b == 255)
            return -1 - Byte();
        if (b == 254)
            return 1000000 + Byte();
        return b % 64;
    }
    // Few distinct coordinates, so points often coincide.
    double Coordinate() { return (Byte() % 5) * 0.5; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static KQoxSdkManager* manager = KQoxSdkManager::CreateKQoxSdkManager();
    Input in{data, size};
    KQoxScene* scene = manager->CreateKQoxScene();
    KQoxMesh* mesh = manager->CreateKQoxMesh();
    KQoxNode* node = manager->CreateKQoxNode("Fuzz");
    scene->GetRootNode()->AddChild(node);
    node->SetNodeAttribute(mesh);

    const int points = in.Byte() % 48;
    mesh->InitControlPoints(points);
    for (int i = 0; i < points; ++i)
        mesh->GetControlPoints()[i] = KQoxVector4(in.Coordinate(), in.Coordinate(), in.Coordinate(), 1.0);
    const int polygons = in.Byte() % 32;
    for (int p = 0; p < polygons; ++p)
    {
        mesh->BeginPolygon(in.Index(), in.Index(), in.Byte());
        const int corners = in.Byte() % 6;
        for (int v = 0; v < corners; ++v)
            mesh->AddPolygon(in.Index(), in.Index());
    }
    if (in.Byte() & 1)
        mesh->InitNormals(mesh->GetPolygonVertexCount());
    else
        mesh->ComputeVertexNormals(in.Byte() & 1);
    mesh->CheckIfVertexNormalsCCW();

    KQoxLink* link = manager->CreateKQoxLink();
    link->SetLink(node);
    const int pairs = in.Byte() % 16;
    for (int i = 0; i < pairs; ++i)
        link->AddControlPointIndex(in.Index(), in.Byte() / 255.0);
    mesh->AddLink(link);
    KQoxShape* shape = manager->CreateKQoxShape();
    shape->InitControlPoints(in.Byte() % 48);
    shape->InitNormals();
    mesh->AddShape(shape, "Target");

    KArrayTemplate<KArrayTemplate<KQoxMesh::KDuplicateVertex>*> split;
    mesh->BuildSplitList(split, KQoxMesh::eBY_CONTROL_POINT);
    mesh->SplitPointsForHardEdge(split);
    for (int i = 0; i < split.GetCount(); ++i)
        delete split[i];

    KArrayTemplate<int> merge;
    mesh->BuildMergeList(merge, KQoxMesh::eBY_CONTROL_POINT, in.Byte() & 1);
    if (in.Byte() & 1)
        for (int i = 0; i < merge.GetCount(); ++i)
            merge[i] = in.Index();
    mesh->MergePointsForPolygonVerteNormals(merge);

    scene->BuildKQoxDeformerFromKQoxLink();
    scene->BuildKQoxLinkFromKQoxDeformer();
    scene->RemoveKQoxDeformers();
    scene->ConnectMaterials();
    scene->BuildMaterialLayersDirectArray();

    manager->DestroyKQoxScene(scene, true);
    return 0;
}
