// Blend shapes, materials, shading groups and textures of the import,
// checked on the host scene and in the script texts issued.
#include "import_pass_test_util.h"

#include <cmath>
#include <sys/stat.h>

#include "fileio/kqoximporter.h"
#include "host/zgeometry.h"
#include "plugin/qoxzeltdialogs.h"
#include "plugin/qoxzeltutility.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/attributes/kqoxtexture.h"

namespace {

using namespace qoxsdk_600;
using Strings = std::vector<std::string>;

// A mesh node "Face" of four points: two triangles, or three polygons.
class ShadingTest : public ImportPassTest
{
protected:
    void SetUp() override
    {
        ImportPassTest::SetUp();
        SetMode(2);
        mMesh = mImport->mManager.CreateKQoxMesh();
        mMesh->InitControlPoints(4);
        for (int i = 0; i < 4; ++i)
            mMesh->GetControlPoints()[i] = KQoxVector4(i % 2, i / 2, 0, 1);
        mNode = Node("Face");
        mNode->SetNodeAttribute(mMesh);
    }
    void Polygon(std::initializer_list<int> indices)
    {
        mMesh->BeginPolygon();
        for (int index : indices)
            mMesh->AddPolygon(index);
        mMesh->EndPolygon();
    }
    KQoxShape* Shape(const char* name, double lift)
    {
        KQoxShape* shape = mImport->mManager.CreateKQoxShape();
        shape->InitControlPoints(4);
        for (int i = 0; i < 4; ++i)
            shape->GetControlPoints()[i] = KQoxVector4(i % 2, i / 2, lift, 1);
        mMesh->AddShape(shape, name);
        return shape;
    }
    void Create() { mImport->CreateMeshGeometry(mNode); }
    KQoxLayerElementMaterial* Materials(KQoxLayerElement::EMappingMode mode, std::initializer_list<const char*> names,
                                        std::initializer_list<int> indices)
    {
        for (const char* name : names)
            mMesh->AM(mImport->mManager.CreateKQoxMaterial(name), 0);
        KQoxLayerElementMaterial* element = mMesh->GetLayer(0)->GetMaterials();
        element->mMappingMode = mode;
        element->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
        for (int index : indices)
            element->mIndexArray.Add(index);
        return element;
    }
    KQoxTexture* Texture(const char* name, const char* file)
    {
        KQoxTexture* texture = mImport->mManager.CreateKQoxTexture(name);
        texture->SetFileName(file);
        return texture;
    }
    static Strings Starting(const std::string& prefix)
    {
        Strings out;
        for (const std::string& c : Commands())
            if (c.compare(0, prefix.size(), prefix) == 0)
                out.push_back(c);
        return out;
    }
    static double Value(const std::string& node, const char* attribute)
    {
        double value = NAN;
        HostPlug(node, attribute).getValue(value);
        return value;
    }
    // The name of the mesh shape made for a node.
    static std::string ShapeName(QoxZeltNode* node)
    {
        return ZFnDagNode(ZFnDagNode(*node->GetDagPath()).child(0)).name().str();
    }
    // The node feeding a plug, or "".
    static std::string Feeder(const std::string& node, const char* attribute)
    {
        ZPlugArray feeds;
        HostPlug(node, attribute).connectedTo(feeds, true, false);
        return feeds.length() ? feeds[0].name().str() : std::string();
    }

    KQoxMesh* mMesh = nullptr;
    QoxZeltNode* mNode = nullptr;
};

// The labels handed to the (silent) progress meter while materials are assigned.
class ProgressLabels
{
public:
    ProgressLabels()
        : mPrevious(QoxZeltProgressMeter::SetListener([this](const char* label) { mLabels.push_back(label); }))
    {}
    ~ProgressLabels() { QoxZeltProgressMeter::SetListener(mPrevious); }
    Strings Take() { return std::move(mLabels); }

private:
    Strings mLabels;
    QoxZeltProgressMeter::Listener mPrevious;
};

// ---- Blend shapes ----

TEST_F(ShadingTest, BlendShapeTargetsAreBuiltWithWeightCurves)
{
    Polygon({0, 1, 3, 2});
    Shape("Face.Smile", 1.0);
    Shape("Face.Frown", -1.0);
    UseTake(mNode);
    Create();
    KFCurve* smile = mMesh->GetShapeChannel(mNode->GetCurrentTakeNode(), 0);
    ASSERT_NE(smile, nullptr);
    Key(smile, 0, 0, KFCURVE_INTERPOLATION_LINEAR);
    Key(smile, 1, 100, KFCURVE_INTERPOLATION_LINEAR);
    mImport->ImportShapeAnimation(*mNode);

    ZObject deformer = HostNode("Face_BlendShaper");
    ASSERT_FALSE(deformer.isNull());
    ZFnBlendShapeDeformer blend(deformer);
    ZFnDagNode dag(*mNode->GetDagPath());
    ZObjectArray targets;
    blend.getTargets(dag.child(0), 0, targets);
    ASSERT_EQ(targets.length(), 1u);
    EXPECT_EQ(ZFnDependencyNode(targets[0]).name().str(), "Smile");
    blend.getTargets(dag.child(0), 1, targets);
    ASSERT_EQ(targets.length(), 1u);
    EXPECT_EQ(ZFnDependencyNode(targets[0]).name().str(), "Frown");
    // The targets stand hidden at the top of the DAG, under the full shape
    // names (as far as the host takes them).
    ZFnDagNode smileTransform(ZFnDagNode(targets[0]).parent(0));
    EXPECT_EQ(smileTransform.parentCount(), 1u);
    EXPECT_EQ(smileTransform.fullPathName().str().rfind('|'), 0u);
    double hidden = NAN;
    smileTransform.findPlug("visibility").getValue(hidden);
    EXPECT_EQ(hidden, 0.0);
    ZPointArray points;
    ZFnMesh(targets[0]).getPoints(points);
    ASSERT_EQ(points.length(), 4u);
    EXPECT_EQ(points[3].z, -1.0);

    // Weight 100 is 1.0; the slope keeps its proportion (1 per second, 1/24 per frame).
    ZFnAnimCurve weight(blend.findPlug("weight").elementByLogicalIndex(0));
    ASSERT_EQ(weight.numKeys(), 2u);
    EXPECT_DOUBLE_EQ(weight.value(1), 1.0);
    float x = 0, y = 0;
    ASSERT_TRUE(weight.getTangent(0, x, y, false));
    EXPECT_FLOAT_EQ(y / x, static_cast<float>(100.0 / 24.0 / 100.0));
    // Frown has no keys in the take: no weight curve.
    ZStatus attach;
    ZFnAnimCurve frown(blend.findPlug("weight").elementByLogicalIndex(1), &attach);
    EXPECT_EQ(frown.numKeys(), 0u);
}

TEST_F(ShadingTest, MeshTargetPointsAreSetBetweenTwoProgressLabels)
{
    Polygon({0, 1, 3, 2});
    Shape("Face.Smile", 1.0);
    Shape("Face.Frown", -1.0);
    UseTake(mNode);
    Create();
    ProgressLabels labels;
    mImport->ImportShapeAnimation(*mNode);
    EXPECT_EQ(labels.Take(), (Strings{"working...", "...", "working...", "..."}));
}

TEST_F(ShadingTest, ShapeWithoutDotUsesTheNodeNameAndBadCountsAreSkipped)
{
    Polygon({0, 1, 3, 2});
    Shape("Grin", 0.5);
    KQoxShape* bad = mImport->mManager.CreateKQoxShape();
    bad->InitControlPoints(3);
    mMesh->AddShape(bad, "Broken");
    Create();
    OpenLog();
    mImport->ImportShapeAnimation(*mNode);
    EXPECT_FALSE(HostNode("Face_BlendShaper").isNull());
    EXPECT_FALSE(HostNode("Grin").isNull());
    EXPECT_TRUE(HostNode("Broken").isNull());
    const std::string log = CloseLog();
    EXPECT_NE(log.find("Blend shape target Broken skipped: its point count differs from the base geometry's."),
              std::string::npos)
        << log;
}

TEST_F(ShadingTest, MergedNodesAnimateOrDeleteTheirDeformer)
{
    Polygon({0, 1, 3, 2});
    Shape("Face.Smile", 1.0);
    Shape("Face.Frown", 1.0);
    UseTake(mNode);
    Create();
    ZFnDagNode dag(*mNode->GetDagPath());
    ZObject base = dag.child(0);
    ZObject deformer;
    ASSERT_TRUE(QoxZeltUtility::GetDependencyOfThisType(&base, ZFn::kBlendShape, &deformer,
                                                        ZItDependencyGraph::kUpstream, ZFn::kBlendShape));
    ZFnBlendShapeDeformer blend(deformer);
    const std::string name = blend.name().str();
    ZPlug weights = blend.findPlug("weight");
    // An existing curve on weight 0 only.
    ZFnAnimCurve existing;
    existing.create(weights.elementByLogicalIndex(0), nullptr);
    existing.addKey(ZTime(5.0, ZTime::kSeconds), 0.3);
    for (int i = 0; i < 2; ++i)
    {
        KFCurve* channel = mMesh->GetShapeChannel(mNode->GetCurrentTakeNode(), i);
        Key(channel, 0, 50);
        Key(channel, 1, 100);
    }
    mNode->mMatchedByMerge = true;
    mImport->ImportShapeAnimation(*mNode);
    mImport->ImportShapeAnimation(*mNode);
    // No target built, the name kept; weight 0's keys replaced; weight 1 fails, once.
    EXPECT_EQ(blend.name().str(), name);
    ZObjectArray targets;
    blend.getTargets(base, 0, targets);
    EXPECT_EQ(targets.length(), 0u);
    ZFnAnimCurve replaced(weights.elementByLogicalIndex(0));
    ASSERT_EQ(replaced.numKeys(), 2u);
    EXPECT_DOUBLE_EQ(replaced.value(0), 0.5);
    ASSERT_EQ(mImport->mBlendShapeFailures.GetCount(), 1);
    EXPECT_EQ(mImport->mBlendShapeFailures[0], mNode);

    // The file's geometry lost its shapes: the merged deformer goes.
    mMesh->ClearShape();
    mImport->ImportShapeAnimation(*mNode);
    EXPECT_FALSE(QoxZeltUtility::GetDependencyOfThisType(&base, ZFn::kBlendShape, &deformer,
                                                         ZItDependencyGraph::kUpstream, ZFn::kBlendShape));
    // Not merged, no shapes, no deformer: nothing happens.
    mNode->mMatchedByMerge = false;
    ClearTranscript();
    mImport->ImportShapeAnimation(*mNode);
    EXPECT_TRUE(zelthost::Host::Get().Transcript().empty());
}

// ---- Materials and shading groups ----

TEST_F(ShadingTest, MeshWithoutMaterialsGetsTheDefaultShaderAndAnEmptyGroup)
{
    Polygon({0, 1, 3, 2});
    Create();
    ClearTranscript();
    mImport->BuildMaterialInformation(mImport->mRootNode);
    Strings sets = Starting("sets");
    EXPECT_EQ(sets, Strings{"sets -renderable true -noSurfaceShader true -empty -name \"FaceSG\""});
    Strings connects = Starting("connectAttr");
    ASSERT_EQ(connects.size(), 1u);
    EXPECT_EQ(connects[0], "connectAttr -f \"phong1.outColor\"  \"FaceSG.surfaceShader\"  ");
    ZFnPhongShader phong(HostNode("phong1"));
    EXPECT_FLOAT_EQ(phong.cosPower(), 3.0f);
    EXPECT_FLOAT_EQ(phong.color().r, 0.5f);
    EXPECT_FLOAT_EQ(phong.ambientColor().g, 0.4f);
    EXPECT_FLOAT_EQ(phong.specularColor().b, 0.3f);
    EXPECT_FLOAT_EQ(phong.transparency().r, 0.0f);
    EXPECT_EQ(mImport->mMaterialCache.size(), 0u);
}

TEST_F(ShadingTest, MaterialsByPolygonShareShadersByName)
{
    Polygon({0, 1, 2});
    Polygon({1, 3, 2});
    Polygon({0, 1, 3});
    Materials(KQoxLayerElement::eBY_POLYGON, {"Material::Red", "Material::Blue"}, {1, 0, 1});
    KQoxMaterial* red = mMesh->GM(0, 0);
    red->SetShininess(0.5);
    red->SetOpacity(0.25);
    red->SetDiffuse(KQoxColor(1, 0, 0));
    Create();
    ClearTranscript();
    mImport->BuildMaterialInformation(mImport->mRootNode);
    const std::string shape = ShapeName(mNode);
    EXPECT_EQ(Starting("sets"), (Strings{"sets -renderable true -noSurfaceShader true -empty -name \"FaceSG\"",
                                         "sets -renderable true -noSurfaceShader true -empty -name \"FaceSG\"",
                                         "sets -e -forceElement \"FaceSG\"  \"" + shape + ".f[1]\"",
                                         "sets -e -forceElement \"FaceSG1\"  \"" + shape + ".f[0]\"",
                                         "sets -e -forceElement \"FaceSG1\"  \"" + shape + ".f[2]\""}));
    ZFnPhongShader phong(HostNode("Red"));
    EXPECT_FLOAT_EQ(phong.cosPower(), 64.0f);
    EXPECT_FLOAT_EQ(phong.transparency().g, 0.75f);
    EXPECT_FLOAT_EQ(phong.color().r, 1.0f);
    ASSERT_EQ(mImport->mMaterialCache.size(), 2u);
    EXPECT_STREQ(mImport->mMaterialCache[0].mName.ToChars(), "Red");

    // A second mesh with a material of the same name reuses the shader; a
    // name differing in case only gets its own.
    QoxZeltNode* other = Node("Other");
    KQoxMesh* mesh = mImport->mManager.CreateKQoxMesh();
    mesh->InitControlPoints(3);
    mesh->BeginPolygon();
    for (int i : {0, 1, 2})
        mesh->AddPolygon(i);
    mesh->EndPolygon();
    other->SetNodeAttribute(mesh);
    mesh->AM(mImport->mManager.CreateKQoxMaterial("Material::Red"), 0);
    mesh->AM(mImport->mManager.CreateKQoxMaterial("Material::red"), 0);
    mesh->GetLayer(0)->GetMaterials()->mMappingMode = KQoxLayerElement::eALL_SAME;
    mImport->CreateMeshGeometry(other);
    ClearTranscript();
    mImport->BuildMaterialInformation(other);
    EXPECT_EQ(mImport->mMaterialCache.size(), 3u);
    Strings connects = Starting("connectAttr");
    ASSERT_EQ(connects.size(), 2u);
    EXPECT_EQ(connects[0], "connectAttr -f \"Red.outColor\"  \"OtherSG.surfaceShader\"  ");
    EXPECT_EQ(connects[1], "connectAttr -f \"red.outColor\"  \"OtherSG1.surfaceShader\"  ");
    // All same: both groups receive the whole object, the second last.
    EXPECT_EQ(Starting("sets -e"), (Strings{"sets -e -forceElement \"OtherSG\"  \"Other\"",
                                            "sets -e -forceElement \"OtherSG1\"  \"Other\""}));
}

// Each group's faces reach the host as the runs they make: one command per
// run, in group order; a value naming no material leaves its face out.
TEST_F(ShadingTest, MaterialsByPolygonGoToTheHostAsFaceRanges)
{
    for (int p = 0; p < 8; ++p)
        Polygon({0, 1, 3});
    Materials(KQoxLayerElement::eBY_POLYGON, {"Material::Red", "Material::Blue"}, {0, 0, 1, 1, 1, 0, 5, 0});
    Create();
    ClearTranscript();
    mImport->BuildMaterialInformation(mNode);
    const std::string shape = ShapeName(mNode);
    EXPECT_EQ(Starting("sets -e"), (Strings{"sets -e -forceElement \"FaceSG\"  \"" + shape + ".f[0:1]\"",
                                            "sets -e -forceElement \"FaceSG\"  \"" + shape + ".f[5]\"",
                                            "sets -e -forceElement \"FaceSG\"  \"" + shape + ".f[7]\"",
                                            "sets -e -forceElement \"FaceSG1\"  \"" + shape + ".f[2:4]\""}));
}

TEST_F(ShadingTest, MaterialsByVertexTakeTheMostCommonValue)
{
    // Six points, two triangles whose polygon vertices carry 2,3,3 and 2,3,1.
    mMesh->InitControlPoints(6);
    Polygon({0, 1, 2});
    Polygon({3, 4, 5});
    Materials(KQoxLayerElement::eBY_POLYGON_VERTEX, {"M::a", "M::b", "M::c", "M::d"}, {2, 3, 3, 2, 3, 1});
    Create();
    ClearTranscript();
    Params().SetBoolParam(QoxZeltUserParams::kImportShowUI, true);
    mImport->BuildMaterialInformation(mNode);
    EXPECT_TRUE(Dialogs().empty()); // only control-point mapping warns
    const std::string shape = ShapeName(mNode);
    EXPECT_EQ(Starting("sets -e"), (Strings{"sets -e -forceElement \"FaceSG2\"  \"" + shape + ".f[1]\"",
                                            "sets -e -forceElement \"FaceSG3\"  \"" + shape + ".f[0]\""}));

    // By control point the value of each vertex's control point counts:
    // points 0..5 carry 2,3,3,2,3,1 here too, and a warning is shown.
    mMesh->GetLayer(0)->GetMaterials()->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
    mNode->SetDagPath(nullptr);
    Create();
    ClearTranscript();
    mImport->BuildMaterialInformation(mNode);
    ASSERT_EQ(Dialogs().size(), 1u);
    EXPECT_EQ(Dialogs()[0], "QOX import warning | Materials assigned by Control Points. Results may differ from "
                            "original assignment. | [Ok] -> Ok");
    EXPECT_EQ(Starting("sets -e").size(), 2u);

    // The index array read by polygon vertex, not by control point: a
    // triangle on points 5, 4, 3 carries the values at positions 0, 1, 2.
    mMesh->InitControlPoints(6);
    QoxZeltNode* turned = Node("Turned");
    KQoxMesh* mesh = mImport->mManager.CreateKQoxMesh();
    mesh->InitControlPoints(6);
    mesh->BeginPolygon();
    for (int i : {5, 4, 3})
        mesh->AddPolygon(i);
    mesh->EndPolygon();
    turned->SetNodeAttribute(mesh);
    for (const char* name : {"M::a", "M::b", "M::c", "M::d"})
        mesh->AM(mImport->mManager.CreateKQoxMaterial(name), 0);
    KQoxLayerElementMaterial* element = mesh->GetLayer(0)->GetMaterials();
    element->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
    element->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
    for (int index : {0, 0, 1, 9, 9, 9})
        element->mIndexArray.Add(index);
    mImport->CreateMeshGeometry(turned);
    ClearTranscript();
    mImport->BuildMaterialInformation(turned);
    EXPECT_EQ(Starting("sets -e"), Strings{"sets -e -forceElement \"TurnedSG\"  \"" + ShapeName(turned) + ".f[0]\""});
}

TEST_F(ShadingTest, MaterialAssignmentReportsItsProgress)
{
    // By polygon: slot 2 holds polygons 0 and 2, slot 1 polygon 1, and each
    // slot's faces go to the host as one selection string per face range.
    Polygon({0, 1, 2});
    Polygon({1, 3, 2});
    Polygon({0, 1, 3});
    Materials(KQoxLayerElement::eBY_POLYGON, {"Material::Red", "Material::Blue"}, {1, 0, 1});
    Create();
    ProgressLabels labels;
    mImport->BuildMaterialInformation(mNode);
    EXPECT_EQ(labels.Take(), (Strings{"processing material 2 of 2( 0% )", "processing material 2 of 2 ( 33% )",
                                      "processing material 1 of 2( 0% )", "processing material 1 of 2 ( 66% )",
                                      "processing material 2 of 2 ( 100% )", "assigning material 1 of 2 ( 0% )",
                                      "assigning material 2 of 2 ( 0% )", "assigning material 2 of 2 ( 50% )"}));

    // By polygon vertex: one label per polygon, then one per selection string.
    QoxZeltNode* pair = Node("Pair");
    KQoxMesh* mesh = mImport->mManager.CreateKQoxMesh();
    mesh->InitControlPoints(6);
    for (int first : {0, 3})
    {
        mesh->BeginPolygon();
        for (int i = first; i < first + 3; ++i)
            mesh->AddPolygon(i);
        mesh->EndPolygon();
    }
    pair->SetNodeAttribute(mesh);
    for (const char* name : {"M::a", "M::b"})
        mesh->AM(mImport->mManager.CreateKQoxMaterial(name), 0);
    KQoxLayerElementMaterial* element = mesh->GetLayer(0)->GetMaterials();
    element->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
    element->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
    for (int index : {1, 1, 0, 1, 1, 1})
        element->mIndexArray.Add(index);
    mImport->CreateMeshGeometry(pair);
    labels.Take();
    ClearTranscript();
    mImport->BuildMaterialInformation(pair);
    // Both polygons take slot 2: their faces follow one another, so the
    // host returns them as one range, assigned in one step and one command.
    EXPECT_EQ(labels.Take(), (Strings{"processing polygon 1 of 2", "processing polygon 2 of 2",
                                      "applying... pass: 2 of 2  step: 0 of 1"}));
    EXPECT_EQ(Starting("sets -e"), Strings{"sets -e -forceElement \"PairSG1\"  \"" + ShapeName(pair) + ".f[0:1]\""});
}

TEST_F(ShadingTest, ExclusiveMergeAndMergedNodesKeepTheirShading)
{
    Polygon({0, 1, 3, 2});
    Create();
    SetMode(0);
    ClearTranscript();
    mImport->BuildMaterialInformation(mImport->mRootNode);
    EXPECT_TRUE(Commands().empty());
    SetMode(1);
    mNode->mMatchedByMerge = true;
    mImport->BuildMaterialInformation(mImport->mRootNode);
    EXPECT_TRUE(Commands().empty());
}

// ---- Textures ----

TEST_F(ShadingTest, OneTextureBecomesAPlacedFileTexture)
{
    Polygon({0, 1, 3, 2});
    Materials(KQoxLayerElement::eALL_SAME, {"M::wood"}, {0});
    KQoxTexture* texture = Texture("Texture::Grain", "/textures/grain.png");
    texture->SetTranslation(0.1, 0.2);
    texture->SetScale(2, 3);
    texture->SetRotation(0, 0, 90);
    mMesh->AT(texture, 0);
    mMesh->GetLayer(0)->GetTextures()->mMappingMode = KQoxLayerElement::eALL_SAME;
    mMesh->GetLayer(0)->GetTextures()->mIndexArray.Add(0);
    Create();
    ClearTranscript();
    mImport->BuildMaterialInformation(mNode);
    EXPECT_EQ(Starting("shadingNode"), (Strings{"shadingNode -at file", "shadingNode -au place2dTexture"}));
    EXPECT_EQ(HostPlug("Grain", "fileTextureName").asString().str(), "/textures/grain.png");
    EXPECT_EQ(Feeder("wood", "color"), "Grain.outColor");
    EXPECT_EQ(Feeder("Grain", "uv"), "place2dTexture1.outUV");
    // A mesh swaps the offsets (kept as the import always did).
    EXPECT_DOUBLE_EQ(Value("place2dTexture1", "offsetU"), texture->GetTranslationV());
    EXPECT_DOUBLE_EQ(Value("place2dTexture1", "offsetV"), texture->GetTranslationU());
    EXPECT_FLOAT_EQ(static_cast<float>(Value("place2dTexture1", "offsetU")), 0.2f);
    EXPECT_DOUBLE_EQ(Value("place2dTexture1", "repeatU"), 2);
    EXPECT_DOUBLE_EQ(Value("place2dTexture1", "repeatV"), 3);
    EXPECT_DOUBLE_EQ(Value("place2dTexture1", "rotateFrame"), 1.5707963267948966);

    // A colour already fed by another file texture keeps its feed.
    ZObject wood = HostNode("wood");
    ZFnPhongShader phong(wood);
    ZPlug color = phong.findPlug("color");
    mImport->ConnectTexture(color, Texture("Texture::Other", "/t/other.png"), mMesh);
    EXPECT_EQ(Feeder("wood", "color"), "Grain.outColor");
    EXPECT_FALSE(HostNode("Other").isNull());

    // Relative names: from the imported file's directory, as given without a file.
    ZPlug free = HostPlug("wood", "ambientColor");
    mImport->ConnectTexture(free, Texture("Texture::Near", "maps/near.png"), mMesh);
    EXPECT_EQ(HostPlug("Near", "fileTextureName").asString().str(), "maps/near.png");
    // (OpenProject would drop the scene; the importer alone is opened here.)
    mImport->mImporter = mImport->mManager.CreateKQoxImporter();
    mImport->mImporter->Initialize("/data/set/scene.qox");
    mImport->ConnectTexture(free, Texture("Texture::Far", "maps/../maps/far.png"), mMesh);
    EXPECT_EQ(HostPlug("Far", "fileTextureName").asString().str(), "/data/set/maps/far.png");
}

TEST_F(ShadingTest, FileTexturesNamingAPathOfAnotherMachineNameTheImageBeside)
{
    // A texture naming its image with a path of the author's machine names
    // the image beside the imported file, by its base name; its file name
    // and relative name as written still go first.
    Polygon({0, 1, 3, 2});
    Materials(KQoxLayerElement::eALL_SAME, {"M::wood"}, {0});
    Create();
    mImport->BuildMaterialInformation(mNode);
    qoxtest::TempDir dir;
    ASSERT_EQ(mkdir(dir.File("maps").c_str(), 0700), 0);
    for (const char* image : {"wood.png", "maps/stone.png", "stone.png"})
        ASSERT_TRUE(qoxtest::WriteFile(dir.File(image), image));
    mImport->mImporter = mImport->mManager.CreateKQoxImporter();
    mImport->mImporter->Initialize(dir.File("scene.qox").c_str());
    const struct
    {
        const char *mNode, *mFile, *mRelative, *mShown;
    } cases[] = {
        {"Wood", "C:\\Users\\me\\Desktop\\wood.png", "", "wood.png"},
        {"Wood2", "/home/me/models/WOOD.PNG", "textures/wood.png", "wood.png"},
        {"Stone", "/home/me/models/stone.png", "maps/stone.png", "maps/stone.png"}, // the relative name first
    };
    ZPlug free = HostPlug("wood", "ambientColor");
    for (const auto& c : cases)
    {
        KQoxTexture* texture = Texture((std::string("Texture::") + c.mNode).c_str(), c.mFile);
        texture->SetRelativeFileName(c.mRelative);
        mImport->ConnectTexture(free, texture, mMesh);
        EXPECT_EQ(HostPlug(c.mNode, "fileTextureName").asString().str(), dir.File(c.mShown)) << c.mFile;
    }
}

TEST_F(ShadingTest, SeveralTexturesGoThroughALayeredTexture)
{
    Polygon({0, 1, 3, 2});
    Materials(KQoxLayerElement::eALL_SAME, {"M::paint"}, {0});
    for (int layer = 0; layer < 2; ++layer)
    {
        while (mMesh->GetLayerCount() <= layer)
            mMesh->CreateLayer();
        KQoxLayerElementTexture* element = new KQoxLayerElementTexture;
        element->mMappingMode = KQoxLayerElement::eALL_SAME;
        element->mDirectArray.Add(Texture(layer ? "T::upper" : "T::lower", layer ? "/t/top.png" : "/t/bottom.png"));
        element->mIndexArray.Add(0);
        element->mBlendMode = layer ? KQoxLayerElementTexture::eMODULATE2 : KQoxLayerElementTexture::eADD;
        mMesh->GetLayer(layer)->SetTextures(element);
    }
    // A texture without a file name and an index past the arrays are passed over.
    mMesh->CreateLayer();
    KQoxLayerElementTexture* odd = new KQoxLayerElementTexture;
    odd->mMappingMode = KQoxLayerElement::eALL_SAME;
    odd->mDirectArray.Add(Texture("T::nameless", ""));
    odd->mIndexArray.Add(0);
    mMesh->GetLayer(2)->SetTextures(odd);
    mMesh->CreateLayer();
    KQoxLayerElementTexture* past = new KQoxLayerElementTexture;
    past->mMappingMode = KQoxLayerElement::eBY_POLYGON;
    past->mDirectArray.Add(Texture("T::far", "/t/far.png"));
    past->mIndexArray.Add(7);
    mMesh->GetLayer(3)->SetTextures(past);
    Create();
    mImport->BuildMaterialInformation(mNode);
    mImport->BuildMaterialInformation(mNode);

    // Numbered from 0 while the plug-in is loaded; the first texture on the last input.
    ASSERT_FALSE(HostNode("layeredTexture0").isNull());
    ASSERT_FALSE(HostNode("layeredTexture1").isNull());
    EXPECT_EQ(Feeder("paint", "color"), "layeredTexture0.outColor");
    EXPECT_EQ(Feeder("layeredTexture0", "inputs[1].color"), "lower.outColor");
    EXPECT_EQ(Feeder("layeredTexture0", "inputs[0].color"), "upper.outColor");
    EXPECT_EQ(Value("layeredTexture0", "inputs[1].blendMode"), 4.0); // Add
    EXPECT_EQ(Value("layeredTexture0", "inputs[0].blendMode"), 0.0); // Modulate2
    EXPECT_EQ(Value("layeredTexture0", "inputs[0].alpha"), 1.0);
    EXPECT_TRUE(HostNode("nameless").isNull());
    EXPECT_TRUE(HostNode("far").isNull());
}

TEST_F(ShadingTest, SurfacesTakeEveryGroupAsAWholeAndSwapTheirPlacement)
{
    KQoxNurb* nurb = mImport->mManager.CreateKQoxNurb();
    nurb->SetOrder(4, 4);
    nurb->InitControlPoints(8, KQoxNurb::eCLOSED, 4, KQoxNurb::eOPEN);
    QoxZeltNode* node = Node("Sheet");
    node->SetNodeAttribute(nurb);
    Host(node);
    nurb->AM(mImport->mManager.CreateKQoxMaterial("M::facing"), 0);
    nurb->AM(mImport->mManager.CreateKQoxMaterial("M::rear"), 0);
    // An empty texture element on a surface stands for the first texture,
    // and there is none: nothing is gathered.
    nurb->GetLayer(0)->SetTextures(new KQoxLayerElementTexture);
    ClearTranscript();
    mImport->BuildMaterialInformation(node);
    EXPECT_EQ(Starting("sets -e"), (Strings{"sets -e -forceElement \"SheetSG\"  \"Sheet\"",
                                            "sets -e -forceElement \"SheetSG1\"  \"Sheet\""}));
    EXPECT_TRUE(Starting("shadingNode").empty());

    // Placement on a surface closed in U with 8 control points, open in V.
    KQoxTexture* texture = Texture("T::cloth", "/t/cloth.png");
    texture->SetTranslation(0.1, 0.2);
    texture->SetScale(2, 3);
    texture->SetRotation(0, 0, 90);
    ZObject facing = HostNode("facing");
    ClearTranscript();
    mImport->ConnectTexture(facing, texture, nurb);
    EXPECT_EQ(Feeder("facing", "color"), "cloth.outColor");
    EXPECT_FLOAT_EQ(static_cast<float>(Value("place2dTexture1", "offsetU")), 0.2f);
    EXPECT_FLOAT_EQ(static_cast<float>(Value("place2dTexture1", "offsetV")), 0.35f);
    EXPECT_DOUBLE_EQ(Value("place2dTexture1", "repeatU"), 3);
    EXPECT_DOUBLE_EQ(Value("place2dTexture1", "repeatV"), 2);
    EXPECT_DOUBLE_EQ(Value("place2dTexture1", "rotateFrame"), -1.5707963267948966);
}

} // namespace
