// Geometry and attributes whose lists are empty come back from every native
// form as they were written, and a rewrite of what was read gives the same
// bytes: a mesh with points but no polygons, a mesh with nothing at all,
// layer elements, NURBS and patch surfaces, shapes and links with empty
// arrays, channels without keys and empty user data.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio_test_util.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxpatch.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using fileiotest::ListScene;
using qoxtest::ReadFile;
using qoxtest::TempDir;

namespace {

struct Form
{
    int mExport;
    const char* mPassword;
    int mDigits;
    bool mSameBytes; // encrypted files take a new salt each time
} const kForms[] = {{eEXPORT_QOX_BINARY, "", 17, true},
                    {eEXPORT_QOX_ASCII, "", 15, true},
                    {eEXPORT_QOX_ENCRYPTED, "secret", 17, false},
                    {eEXPORT_QOX5_BINARY, "", 17, true},
                    {eEXPORT_QOX5_ASCII, "", 15, true}};

bool Export(KQoxSdkManager& manager, KQoxScene& scene, const std::string& name, const Form& form)
{
    KQoxExporter exporter(manager);
    EXPECT_TRUE(exporter.Initialize(name.c_str()));
    EXPECT_TRUE(exporter.SetFileFormat(form.mExport));
    exporter.SetPassword(form.mPassword);
    bool ok = exporter.Export(scene);
    EXPECT_TRUE(ok) << exporter.GetLastErrorString();
    return ok;
}

bool Import(KQoxSdkManager& manager, KQoxScene& scene, const std::string& name, const char* password)
{
    KQoxImporter importer(manager);
    importer.SetPassword(password);
    bool ok = importer.Initialize(name.c_str()) && importer.Import(scene);
    EXPECT_TRUE(ok) << importer.GetLastErrorString();
    return ok;
}

using Build = std::function<void(KQoxSdkManager&, KQoxScene&)>;
using Check = std::function<void(KQoxScene&)>;

// Builds a scene with build, writes it in form and reads it back with the
// same listing; (unencrypted) what was read is written again as the same
// bytes. check runs on the scene read.
void OneForm(const Form& form, const Build& build, const Check& check, const TempDir& dir)
{
    KQoxSdkManager manager;
    KQoxScene original(manager);
    build(manager, original);
    const std::string first = dir.File("first.qox"), second = dir.File("second.qox");
    ASSERT_TRUE(Export(manager, original, first, form));
    KQoxScene read(manager);
    ASSERT_TRUE(Import(manager, read, first, form.mPassword));
    EXPECT_EQ(ListScene(manager, read, form.mDigits), ListScene(manager, original, form.mDigits));
    check(read);
    if (!form.mSameBytes)
        return;
    ASSERT_TRUE(Export(manager, read, second, form));
    EXPECT_TRUE(ReadFile(first) == ReadFile(second));
}

void EveryForm(const Build& build, const Check& check)
{
    TempDir dir;
    for (const Form& form : kForms)
    {
        SCOPED_TRACE(form.mExport);
        OneForm(form, build, check, dir);
    }
}

KQoxMesh* AddMesh(KQoxSdkManager& manager, KQoxScene& scene, const char* name, int points)
{
    KQoxNode* node = manager.CreateKQoxNode(name);
    scene.GetRootNode()->AddChild(node);
    KQoxMesh* mesh = manager.CreateKQoxMesh();
    node->SetNodeAttribute(mesh);
    mesh->InitControlPoints(points);
    for (int i = 0; i < points; ++i)
        mesh->GetControlPoints()[i] = KQoxVector4(i, 2.5 * i, -i, 1);
    return mesh;
}

KQoxNodeAttribute* AttributeOf(KQoxScene& scene, int child)
{
    if (scene.GetRootNode()->GetChildCount() <= child)
        return nullptr;
    return scene.GetRootNode()->GetChild(child)->GetNodeAttribute();
}

} // namespace

// Points without polygons, and a mesh with no points at all.
TEST(NativeEmptyParts, MeshesWithoutPolygonsOrPoints)
{
    EveryForm(
        [](KQoxSdkManager& manager, KQoxScene& scene) {
            AddMesh(manager, scene, "Cloud", 3);
            AddMesh(manager, scene, "Nothing", 0);
        },
        [](KQoxScene& read) {
            KQoxMesh* cloud = dynamic_cast<KQoxMesh*>(AttributeOf(read, 0));
            ASSERT_NE(cloud, nullptr);
            EXPECT_EQ(cloud->GetControlPointsCount(), 3);
            EXPECT_EQ(cloud->GetPolygonCount(), 0);
            EXPECT_EQ(cloud->GetControlPoints()[2][1], 5.0);
            KQoxMesh* nothing = dynamic_cast<KQoxMesh*>(AttributeOf(read, 1));
            ASSERT_NE(nothing, nullptr);
            EXPECT_EQ(nothing->GetControlPointsCount(), 0);
            EXPECT_EQ(nothing->GetPolygonCount(), 0);
        });
}

// Every kind of layer element holding no items and no indices, on a mesh
// with points but no polygons; a shape without points; a link to no point
// with empty user data.
TEST(NativeEmptyParts, EmptyLayerElementsShapesAndLinks)
{
    EveryForm(
        [](KQoxSdkManager& manager, KQoxScene& scene) {
            KQoxMesh* mesh = AddMesh(manager, scene, "Bare", 2);
            KQoxNode* bone = manager.CreateKQoxNode("Bone");
            scene.GetRootNode()->AddChild(bone);
            if (mesh->GetLayerCount() == 0)
                mesh->CreateLayer();
            KQoxLayer* layer = mesh->GetLayer(0);
            KQoxLayerElementNormal* normals = new KQoxLayerElementNormal;
            normals->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
            layer->SetNormals(normals);
            KQoxLayerElementMaterial* materials = new KQoxLayerElementMaterial;
            materials->mMappingMode = KQoxLayerElement::eBY_POLYGON;
            materials->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
            layer->SetMaterials(materials);
            KQoxLayerElementUV* uvs = new KQoxLayerElementUV;
            uvs->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
            uvs->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
            layer->SetUVs(uvs);
            KQoxLayerElementVertexColor* colors = new KQoxLayerElementVertexColor;
            colors->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
            colors->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
            layer->SetVertexColors(colors);
            KQoxLayerElementPolygonGroup* groups = new KQoxLayerElementPolygonGroup;
            groups->mMappingMode = KQoxLayerElement::eBY_POLYGON;
            layer->SetPolygonGroups(groups);
            KQoxShape* shape = manager.CreateKQoxShape();
            mesh->AddShape(shape, "Empty");
            KQoxLink* link = manager.CreateKQoxLink();
            link->SetLink(bone);
            link->SetUserData("", "");
            mesh->AddLink(link);
        },
        [](KQoxScene& read) {
            KQoxMesh* mesh = dynamic_cast<KQoxMesh*>(AttributeOf(read, 0));
            ASSERT_NE(mesh, nullptr);
            ASSERT_GE(mesh->GetLayerCount(), 1);
            EXPECT_NE(mesh->GetLayer(0)->GetUVs(), nullptr);
            EXPECT_EQ(mesh->GetShapeCount(), 1);
            EXPECT_EQ(mesh->GetLinkCount(), 1);
        });
}

// NURBS surfaces without control points: one never given an order or a
// grid, one periodic and closed without an order, one with orders (its knot
// vectors hold the orders' knots, its multiplicity lists are empty); a
// patch never given a grid and one with an empty grid of its own types.
TEST(NativeEmptyParts, SurfacesWithEmptyLists)
{
    EveryForm(
        [](KQoxSdkManager& manager, KQoxScene& scene) {
            KQoxNurb* nurbs[3];
            for (KQoxNurb*& nurb : nurbs)
            {
                KQoxNode* node = manager.CreateKQoxNode("Sheet");
                scene.GetRootNode()->AddChild(node);
                nurb = manager.CreateKQoxNurb();
                node->SetNodeAttribute(nurb);
            }
            nurbs[1]->InitControlPoints(0, KQoxNurb::ePERIODIC, 0, KQoxNurb::eCLOSED);
            nurbs[2]->SetOrder(4, 3);
            nurbs[2]->InitControlPoints(0, KQoxNurb::eOPEN, 0, KQoxNurb::ePERIODIC);
            for (int i = 0; i < 2; ++i)
            {
                KQoxNode* node = manager.CreateKQoxNode("Quilt");
                scene.GetRootNode()->AddChild(node);
                KQoxPatch* patch = manager.CreateKQoxPatch();
                node->SetNodeAttribute(patch);
                if (i == 1)
                    patch->InitControlPoints(0, KQoxPatch::eBEZIER, 0, KQoxPatch::eCARDINAL);
            }
        },
        [](KQoxScene& read) {
            for (int i = 0; i < 3; ++i)
            {
                KQoxNurb* nurb = dynamic_cast<KQoxNurb*>(AttributeOf(read, i));
                ASSERT_NE(nurb, nullptr);
                EXPECT_EQ(nurb->GetControlPointsCount(), 0);
            }
            KQoxNurb* ordered = dynamic_cast<KQoxNurb*>(AttributeOf(read, 2));
            EXPECT_EQ(ordered->GetUKnotVectorSize(), 4);
            EXPECT_EQ(ordered->GetVKnotVectorSize(), 5);
            EXPECT_EQ(dynamic_cast<KQoxNurb*>(AttributeOf(read, 1))->GetNurbUType(), KQoxNurb::ePERIODIC);
            KQoxPatch* patch = dynamic_cast<KQoxPatch*>(AttributeOf(read, 4));
            ASSERT_NE(patch, nullptr);
            EXPECT_EQ(patch->GetPatchVType(), KQoxPatch::eCARDINAL);
        });
}

// A surface without an order that claims control points stays refused.
TEST(NativeEmptyParts, OrderlessSurfaceWithPointsIsRefused)
{
    TempDir dir;
    const Form& ascii = kForms[1];
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    KQoxNode* node = manager.CreateKQoxNode("Sheet");
    scene.GetRootNode()->AddChild(node);
    KQoxNurb* nurb = manager.CreateKQoxNurb();
    node->SetNodeAttribute(nurb);
    nurb->SetOrder(1, 1);
    nurb->InitControlPoints(1, KQoxNurb::eOPEN, 1, KQoxNurb::eOPEN);
    nurb->GetControlPoints()[0] = KQoxVector4(0, 0, 0, 1);
    const std::string name = dir.File("orderless.qox");
    ASSERT_TRUE(Export(manager, scene, name, ascii));
    std::string text = ReadFile(name);
    // Order 0 with one point and one knot each way: the sizes agree.
    const std::string from = "NurbOrder: 1,1", to = "NurbOrder: 0,0";
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, from.size(), to);
    for (const std::string key : {"KnotVectorU:", "KnotVectorV:"})
    {
        const size_t k = text.find(key);
        ASSERT_NE(k, std::string::npos);
        text.replace(k, text.find('\n', k) - k, key + " *d1:0");
    }
    ASSERT_TRUE(qoxtest::WriteFile(name, text));
    KQoxImporter importer(manager);
    ASSERT_TRUE(importer.Initialize(name.c_str()));
    KQoxScene read(manager);
    EXPECT_FALSE(importer.Import(read));
    EXPECT_STREQ(importer.GetLastErrorString(), "File is corrupted");
}

// A channel that holds no key, next to one that holds a key.
TEST(NativeEmptyParts, ChannelsWithoutKeys)
{
    EveryForm(
        [](KQoxSdkManager& manager, KQoxScene& scene) {
            KQoxNode* node = manager.CreateKQoxNode("Still");
            scene.GetRootNode()->AddChild(node);
            KQoxTakeNode* take = node->CreateTakeNode("Walk");
            KFCurve* y = take->GetTranslationY();
            y->KeyModifyBegin();
            y->KeySet(y->KeyAdd(KTime(0)), KTime(0), 1.0f, KFCURVE_INTERPOLATION_LINEAR, 0u);
            y->KeyModifyEnd();
        },
        [](KQoxScene& read) {
            ASSERT_EQ(read.GetRootNode()->GetChildCount(), 1);
            KQoxNode* node = read.GetRootNode()->GetChild(0);
            ASSERT_GE(node->GetTakeNodeCount(), 2);
            EXPECT_EQ(node->GetTakeNode(1)->GetTranslationX()->KeyGetCount(), 0);
            EXPECT_EQ(node->GetTakeNode(1)->GetTranslationY()->KeyGetCount(), 1);
        });
}
