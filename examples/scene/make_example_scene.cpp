// Writes examples/scene/example.qox, the scene that scripts/run.sh imports
// into the host stand-in: a skinned body mesh with two materials and a
// texture, a floor with vertex colours, a three-joint skeleton with its bind
// pose, a camera, a spot light and two takes ("Walk" and "Run"). The
// texture's image, checker.tif, is made here and embedded in the file, which
// so carries it wherever it is copied: a read extracts it.
//
//   build/qox_example_scene [output.qox]
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tiffio.h>
#include <unistd.h>

#include "fcurve/kfcurve.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio/kqoxstreamoptionsqox.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxskeleton.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxpose.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakeinfo.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;

namespace {

KQoxNode* Add(KQoxSdkManager& manager, KQoxNode* parent, const char* name, KQoxNodeAttribute* attribute)
{
    KQoxNode* node = manager.CreateKQoxNode(name);
    if (attribute)
        node->SetNodeAttribute(attribute);
    parent->AddChild(node);
    return node;
}

KQoxSkeleton* Skeleton(KQoxSdkManager& manager, KQoxSkeleton::ESkeletonType type)
{
    KQoxSkeleton* skeleton = manager.CreateKQoxSkeleton();
    skeleton->SetSkeletonType(type);
    return skeleton;
}

KQoxMaterial* Material(KQoxSdkManager& manager, const char* name, double r, double g, double b)
{
    KQoxMaterial* material = manager.CreateKQoxMaterial(name);
    material->SetShadingModel("phong");
    material->SetDefaultDiffuseColor(KQoxColor(r, g, b, 1));
    return material;
}

// A cube of side 2 standing on the floor: 8 points, 6 quads, a normal and a
// UV per polygon vertex, the sides red and the top and bottom blue, the
// checker texture on every face, and skin links to the spine and the head
// (their bind transforms are set once the body has its node: BindLinks).
KQoxMesh* Body(KQoxSdkManager& manager, KQoxScene& scene, KQoxNode* spine, KQoxNode* head)
{
    KQoxMesh* mesh = manager.CreateKQoxMesh();
    mesh->InitControlPoints(8);
    for (int i = 0; i < 8; ++i)
        mesh->GetControlPoints()[i] = KQoxVector4(i & 1 ? 1 : -1, i & 2 ? 2 : 0, i & 4 ? 1 : -1, 1);
    const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    const double normals[6][3] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}};
    for (const auto& quad : quads)
    {
        mesh->BeginPolygon();
        for (int index : quad)
            mesh->AddPolygon(index);
        mesh->EndPolygon();
    }
    KQoxLayer* layer = mesh->GetLayer(0);
    KQoxLayerElementNormal* normalElement = new KQoxLayerElementNormal;
    normalElement->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
    KQoxLayerElementUV* uvs = new KQoxLayerElementUV;
    uvs->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
    uvs->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
    const double corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (const auto& corner : corners)
        uvs->mDirectArray.Add(KQoxVector2(corner[0], corner[1]));
    for (int p = 0; p < 6; ++p)
        for (int k = 0; k < 4; ++k)
        {
            normalElement->mDirectArray.Add(KQoxVector4(normals[p][0], normals[p][1], normals[p][2], 0));
            uvs->mIndexArray.Add(k);
        }
    layer->SetNormals(normalElement);
    layer->SetUVs(uvs);

    KQoxLayerElementMaterial* materials = new KQoxLayerElementMaterial;
    materials->mMappingMode = KQoxLayerElement::eBY_POLYGON;
    materials->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
    materials->mDirectArray.Add(Material(manager, "Red", 0.8, 0.1, 0.1));
    materials->mDirectArray.Add(Material(manager, "Blue", 0.1, 0.2, 0.8));
    for (int p = 0; p < 6; ++p)
        materials->mIndexArray.Add(p == 2 || p == 3 ? 1 : 0);
    layer->SetMaterials(materials);

    KQoxTexture* checker = manager.CreateKQoxTexture("Checker");
    checker->SetFileName("checker.tif");
    checker->SetRelativeFileName("checker.tif");
    scene.GetEntity()->AddTexture(checker);
    KQoxLayerElementTexture* textures = new KQoxLayerElementTexture;
    textures->mMappingMode = KQoxLayerElement::eALL_SAME;
    textures->mDirectArray.Add(checker);
    textures->mIndexArray.Add(0);
    layer->SetTextures(textures);

    for (KQoxNode* bone : {spine, head})
    {
        KQoxLink* link = manager.CreateKQoxLink();
        link->SetLink(bone);
        link->SetLinkMode(KQoxLink::eTOTAL1);
        for (int i = 0; i < 8; ++i)
            link->AddControlPointIndex(i, bone == head ? (i & 2 ? 0.75 : 0.0) : (i & 2 ? 0.25 : 1.0));
        mesh->AddLink(link);
    }
    return mesh;
}

// Each link of the body keeps where the body and its bone stood when the skin
// was bound: the scene as built. A writer that evaluates the skin then puts
// the body where it stands.
void BindLinks(KQoxNode* body)
{
    KQoxMesh* mesh = static_cast<KQoxMesh*>(body->GetMesh());
    for (int k = 0; k < mesh->GetLinkCount(); ++k)
    {
        KQoxLink* link = mesh->GetLink(k);
        link->SetTransformMatrix(body->GetGlobalFromDefaultTake());
        link->SetTransformLinkMatrix(link->GetLink()->GetGlobalFromDefaultTake());
    }
}

// A floor quad of side 10 with a colour at each corner.
KQoxMesh* Floor(KQoxSdkManager& manager)
{
    KQoxMesh* mesh = manager.CreateKQoxMesh();
    mesh->InitControlPoints(4);
    const double corners[4][2] = {{-5, -5}, {5, -5}, {5, 5}, {-5, 5}};
    for (int i = 0; i < 4; ++i)
        mesh->GetControlPoints()[i] = KQoxVector4(corners[i][0], 0, corners[i][1], 1);
    mesh->BeginPolygon();
    for (int i = 3; i >= 0; --i)
        mesh->AddPolygon(i);
    mesh->EndPolygon();
    KQoxLayerElementVertexColor* colors = new KQoxLayerElementVertexColor;
    colors->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
    const double rgb[4][3] = {{1, 1, 1}, {1, 0.5, 0}, {0, 0.5, 1}, {0.2, 0.2, 0.2}};
    for (const auto& color : rgb)
        colors->mDirectArray.Add(KQoxColor(color[0], color[1], color[2], 1));
    mesh->GetLayer(0)->SetVertexColors(colors);
    return mesh;
}

void AddTake(KQoxScene& scene, const char* name, const char* comment, double seconds)
{
    scene.CreateTake(name);
    KQoxTakeInfo info;
    info.Name = name;
    info.Comments = comment;
    KTime start, stop;
    stop.SetSecondDouble(seconds);
    info.LocalTimeSpan.Set(start, stop);
    info.ReferenceTimeSpan.Set(start, stop);
    scene.SetTakeInfo(info);
}

void Key(KFCurve* curve, double seconds, double value)
{
    KTime time;
    time.SetSecondDouble(seconds);
    curve->KeyAppendFast(time, static_cast<float>(value));
}

// The texture's image: 8 x 8 pixels of 2 x 2 squares, white and grey, in an
// uncompressed RGB TIFF (the same bytes each time).
bool WriteChecker(const std::string& path)
{
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif)
        return false;
    const int side = 8;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, side);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, side);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, side);
    bool ok = true;
    for (int y = 0; y < side && ok; ++y)
    {
        unsigned char row[side * 3];
        for (int x = 0; x < side; ++x)
            for (int c = 0; c < 3; ++c)
                row[x * 3 + c] = ((x / 2 + y / 2) % 2) ? 96 : 240;
        ok = TIFFWriteScanline(tif, row, static_cast<uint32_t>(y), 0) == 1;
    }
    TIFFClose(tif);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string path = argc > 1 ? argv[1] : "examples/scene/example.qox";
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    KQoxNode* root = scene.GetRootNode();

    KQoxNode* hips = Add(manager, root, "Hips", Skeleton(manager, KQoxSkeleton::eROOT));
    KQoxNode* spine = Add(manager, hips, "Spine", Skeleton(manager, KQoxSkeleton::eLIMB));
    KQoxNode* head = Add(manager, spine, "Head", Skeleton(manager, KQoxSkeleton::eLIMB_NODE));
    spine->SetDefaultT(KQoxVector4(0, 1, 0));
    head->SetDefaultT(KQoxVector4(0, 1, 0));
    BindLinks(Add(manager, root, "Body", Body(manager, scene, spine, head)));
    Add(manager, root, "Floor", Floor(manager));

    KQoxCamera* camera = manager.CreateKQoxCamera();
    camera->SetApertureMode(KQoxCamera::eHORIZONTAL);
    camera->SetFocalLength(35);
    camera->SetNearPlane(0.5);
    camera->SetFarPlane(500);
    KQoxNode* shot = Add(manager, root, "Shot", camera);
    shot->SetDefaultT(KQoxVector4(0, 3, 12));

    KQoxLight* light = manager.CreateKQoxLight();
    light->SetLightType(KQoxLight::eSPOT);
    light->SetDefaultConeAngle(40);
    light->SetDefaultIntensity(80);
    KQoxColor warm(1, 0.9, 0.7);
    light->SetDefaultColor(warm);
    KQoxNode* lamp = Add(manager, root, "Lamp", light);
    lamp->SetDefaultT(KQoxVector4(4, 6, 4));

    // The bind pose: every joint and the body where they stand now.
    KQoxPose* pose = manager.CreateKQoxPose("BindPose", true);
    for (KQoxNode* node : {hips, spine, head, root->GetChild(1)})
    {
        const KQoxXMatrix& global = node->GetGlobalFromDefaultTake();
        KQoxMatrix matrix;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                matrix.Set(r, c, global.Get(r, c));
        pose->Add(node->GetName(), matrix);
    }
    scene.AddPose(pose);

    // "Walk" sways the spine over two seconds; "Run" bounces the hips and dims the lamp.
    AddTake(scene, "Walk", "a slow sway", 2.0);
    AddTake(scene, "Run", "a quick bounce", 1.0);
    scene.SetCurrentTake("Walk");
    Key(spine->GetCurrentTakeNode()->GetEulerRotationZ(), 0.0, -15);
    Key(spine->GetCurrentTakeNode()->GetEulerRotationZ(), 1.0, 15);
    Key(spine->GetCurrentTakeNode()->GetEulerRotationZ(), 2.0, -15);
    scene.SetCurrentTake("Run");
    for (int i = 0; i <= 4; ++i)
        Key(hips->GetCurrentTakeNode()->GetTranslationY(), i * 0.25, i % 2 ? 0.5 : 0.0);
    Key(lamp->GetCurrentTakeNode()->GetLightIntensity(), 0.0, 80);
    Key(lamp->GetCurrentTakeNode()->GetLightIntensity(), 1.0, 20);
    scene.SetCurrentTake("Walk");

    // The image is made in a folder of its own, which the write works in:
    // the texture names it "checker.tif" there, and the file the same
    // wherever it is written.
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd))
        return 1;
    const std::string output = path[0] == '/' ? path : std::string(cwd) + "/" + path;
    std::string folder = (std::filesystem::temp_directory_path() / "qox_example_XXXXXX").string();
    if (!mkdtemp(&folder[0]))
    {
        fprintf(stderr, "qox_example_scene: %s: no folder for the image\n", folder.c_str());
        return 1;
    }
    if (chdir(folder.c_str()) != 0 || !WriteChecker("checker.tif"))
    {
        fprintf(stderr, "qox_example_scene: %s: the image cannot be made\n", folder.c_str());
        std::filesystem::remove_all(folder);
        return 1;
    }
    KQoxExporter exporter(manager);
    exporter.Initialize(output.c_str());
    exporter.SetFileFormat(eEXPORT_QOX_BINARY);
    exporter.SetState(KStreamOptionsQox::eMEDIA, true);
    const bool written = exporter.Export(scene);
    std::filesystem::remove_all(folder);
    if (chdir(cwd) != 0 || !written)
    {
        fprintf(stderr, "qox_example_scene: %s: %s\n", path.c_str(), exporter.GetLastErrorString());
        return 1;
    }
    printf("qox_example_scene: wrote %s\n", path.c_str());
    return 0;
}
