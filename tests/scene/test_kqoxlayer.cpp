// Layers, their deep copy, and the layer container's per-layer materials and
// textures with the entity's reference counts.

#include "geometry_test_util.h"

#include "object/kplug.h"
#include "scene/kqoxnodefinder.h"

namespace geometrytest {
namespace {

TEST(LayerTest, ElementSlotsAndTokens)
{
    KQoxLayer layer;
    EXPECT_EQ(layer.GetLayerElementOfType(KQoxLayerElement::eUNDEFINED), nullptr);
    EXPECT_EQ(layer.GetLayerElementOfType(static_cast<KQoxLayerElement::ELayerElementType>(7)), nullptr);
    layer.SetUVs(new KQoxLayerElementUV);
    EXPECT_EQ(layer.GetLayerElementOfType(KQoxLayerElement::eUV), layer.GetUVs());

    struct
    {
        int mValue;
        const char* mMapping;
        const char* mReference;
        const char* mBlend;
    } rows[] = {{-1, "NoMappingInformation", "Direct", "Translucent"},
                {0, "NoMappingInformation", "Direct", "Translucent"},
                {1, "ByVertice", "Index", "Add"},
                {2, "ByPolygonVertex", "IndexToDirect", "Modulate"},
                {3, "ByPolygon", "Direct", "Modulate2"},
                {4, "AllSame", "Direct", "MaxBlend"},
                {5, "NoMappingInformation", "Direct", "Translucent"}};
    for (const auto& row : rows)
    {
        EXPECT_STREQ(KQoxLayerElement::MappingModeToken(row.mValue), row.mMapping) << row.mValue;
        EXPECT_STREQ(KQoxLayerElement::ReferenceModeToken(row.mValue), row.mReference) << row.mValue;
        EXPECT_STREQ(KQoxLayerElementTexture::BlendModeToken(row.mValue), row.mBlend) << row.mValue;
    }
    KQoxLayerElement::EMappingMode mode = KQoxLayerElement::eNONE;
    EXPECT_TRUE(KQoxLayerElement::MappingModeFromToken("ByPolygonVertex", mode));
    EXPECT_EQ(mode, KQoxLayerElement::eBY_POLYGON_VERTEX);
    EXPECT_FALSE(KQoxLayerElement::MappingModeFromToken("byvertice", mode));
    EXPECT_EQ(mode, KQoxLayerElement::eBY_POLYGON_VERTEX);
}

TEST(LayerTest, DeepCopyOwnsItsElements)
{
    KQoxLayer source;
    auto* uvs = new KQoxLayerElementUV;
    uvs->mMappingMode = KQoxLayerElement::eBY_POLYGON_VERTEX;
    uvs->mReferenceMode = KQoxLayerElement::eINDEX_TO_DIRECT;
    for (int i = 0; i < 100; ++i)
        uvs->mDirectArray.Add(KQoxVector2(i, -i));
    uvs->mIndexArray.Add(99);
    source.SetUVs(uvs);
    auto* textures = new KQoxLayerElementTexture;
    EXPECT_EQ(textures->mReferenceMode, KQoxLayerElement::eINDEX_TO_DIRECT);
    textures->mReferenceMode = KQoxLayerElement::eINDEX;
    textures->mBlendMode = KQoxLayerElementTexture::eMODULATE2;
    textures->mAlpha = 0.25;
    source.SetTextures(textures);

    KQoxLayer copy;
    copy.SetNormals(new KQoxLayerElementNormal); // replaced by the copy
    copy = source;
    EXPECT_EQ(copy.GetNormals(), nullptr);
    EXPECT_EQ(copy.GetMaterials(), nullptr);
    EXPECT_EQ(copy.GetVertexColors(), nullptr);
    ASSERT_NE(copy.GetUVs(), nullptr);
    EXPECT_NE(copy.GetUVs(), source.GetUVs());
    EXPECT_EQ(copy.GetTextures()->mReferenceMode, KQoxLayerElement::eINDEX);
    EXPECT_EQ(copy.GetTextures()->mBlendMode, KQoxLayerElementTexture::eMODULATE2);
    EXPECT_EQ(copy.GetTextures()->mAlpha, 0.25);

    source.Clear();
    EXPECT_EQ(source.GetUVs(), nullptr);
    ASSERT_EQ(copy.GetUVs()->mDirectArray.GetCount(), 100);
    EXPECT_EQ(copy.GetUVs()->mDirectArray[99][1], -99.0);
    EXPECT_EQ(copy.GetUVs()->mIndexArray[0], 99);
    EXPECT_EQ(copy.GetUVs()->mMappingMode, KQoxLayerElement::eBY_POLYGON_VERTEX);

    // Assigning a layer to itself keeps every element.
    KQoxLayerElementUV* before = copy.GetUVs();
    KQoxLayer& self = copy;
    copy = self;
    EXPECT_EQ(copy.GetUVs(), before);
    EXPECT_EQ(copy.GetUVs()->mDirectArray.GetCount(), 100);
}

TEST_F(GeometryTest, LayerQueriesByType)
{
    KQoxMesh* mesh = mManager->CreateKQoxMesh();
    for (int i = 0; i < 3; ++i)
        mesh->CreateLayer();
    mesh->GetLayer(0)->SetUVs(new KQoxLayerElementUV);
    mesh->GetLayer(2)->SetUVs(new KQoxLayerElementUV);
    EXPECT_EQ(mesh->GetLayerCount(KQoxLayerElement::eUV), 2);
    EXPECT_EQ(mesh->GetLayerIndex(1, KQoxLayerElement::eUV), 2);
    EXPECT_EQ(mesh->GetLayerIndex(2, KQoxLayerElement::eUV), -1);
    EXPECT_EQ(mesh->GetLayer(1, KQoxLayerElement::eUV), mesh->GetLayer(2));
    EXPECT_EQ(mesh->GetLayerTypedIndex(2, KQoxLayerElement::eUV), 1);
    EXPECT_EQ(mesh->GetLayerTypedIndex(1, KQoxLayerElement::eUV), 0);
    EXPECT_EQ(mesh->GetLayerTypedIndex(3, KQoxLayerElement::eUV), -1);
    EXPECT_EQ(mesh->GetLayer(-1), nullptr);

    KQoxMesh* other = mManager->CreateKQoxMesh();
    other->CopyLayers(mesh);
    mesh->ClearLayers();
    EXPECT_EQ(mesh->GetLayerCount(), 0);
    EXPECT_EQ(other->GetLayerCount(KQoxLayerElement::eUV), 2);
}

// Adds, finds and counts in the direct reference modes, with the entity
// counting exactly one reference per direct entry while the mesh is in it.
TEST_F(GeometryTest, MaterialsAndTexturesInDirectModes)
{
    KQoxMesh* mesh = mManager->CreateKQoxMesh();
    KQoxNode* node = NodeWith("Body", mesh);
    KQoxMaterial* red = mManager->CreateKQoxMaterial("Red");
    KQoxMaterial* blue = mManager->CreateKQoxMaterial("Blue");
    KQoxTexture* wood = mManager->CreateKQoxTexture("Wood");

    mesh->CreateLayer();
    EXPECT_EQ(mesh->AM(red, 3), 0);
    EXPECT_EQ(mesh->GetLayerCount(), 4);
    EXPECT_EQ(mesh->GetLayerCount(KQoxLayerElement::eMATERIAL), 1);
    EXPECT_NE(mesh->GetLayer(3)->GetMaterials(), nullptr);
    EXPECT_EQ(mesh->AM(red, 3), -1); // already there: the entity is not touched
    EXPECT_EQ(mesh->AM(blue, 3), 1);
    EXPECT_EQ(mesh->AT(wood, 3), 0);
    EXPECT_EQ(mesh->AT(wood, 3), 0); // a texture reports where it is
    EXPECT_EQ(mesh->AM(red, 0), 0);
    EXPECT_EQ(mesh->AM(nullptr, 0), -1);
    EXPECT_EQ(mesh->AT(nullptr, 0), -1);

    EXPECT_EQ(mesh->GMC(3), 2);
    EXPECT_EQ(mesh->GM(1, 3), blue);
    EXPECT_EQ(mesh->GM(2, 3), nullptr);
    EXPECT_EQ(mesh->GMI("Blue", 3), 1);
    EXPECT_EQ(mesh->GMI("Material::Blue", 3), 1); // any given prefix is replaced
    EXPECT_EQ(mesh->GMI("blue", 3), -1);
    EXPECT_EQ(mesh->GMI(nullptr, 3), -1);
    EXPECT_EQ(mesh->GTI("Wood", 3), 0);
    EXPECT_EQ(mesh->GTC(3), 1);
    EXPECT_EQ(mesh->GT(0, 3), wood);
    EXPECT_EQ(mesh->GMC(7), 0);

    // red twice (layers 0 and 3), blue once, wood once.
    EXPECT_EQ(Entity().GetMaterialCount(), 2);
    EXPECT_EQ(Entity().GetTextureCount(), 1);
    node->SetNodeAttribute(nullptr); // unset: every reference goes
    EXPECT_EQ(Entity().GetMaterialCount(), 0);
    EXPECT_EQ(Entity().GetTextureCount(), 0);
    node->SetNodeAttribute(mesh);
    EXPECT_EQ(Entity().GetMaterialCount(), 2);
    mesh->SetEntity(&Entity()); // the same entity: nothing added twice
    node->SetNodeAttribute(nullptr);
    EXPECT_EQ(Entity().GetMaterialCount(), 0);
}

// In index mode the count is the number of distinct indices, at most the
// number of materials connected to the node, and the materials are the
// connected ones in connection order.
TEST_F(GeometryTest, MaterialsInIndexMode)
{
    KQoxMesh* mesh = mManager->CreateKQoxMesh();
    mesh->CreateLayer();
    auto* element = new KQoxLayerElementMaterial;
    element->mReferenceMode = KQoxLayerElement::eINDEX;
    for (int index : {2, 0, 2})
        element->mIndexArray.Add(index);
    mesh->GetLayer(0)->SetMaterials(element);
    EXPECT_EQ(mesh->GMC(0), 0); // no node
    EXPECT_EQ(mesh->GM(0, 0), nullptr);

    KQoxNode* node = NodeWith("Body", mesh);
    std::vector<KQoxMaterial*> materials;
    for (const char* name : {"A", "B", "C", "D", "E"})
        materials.push_back(mManager->CreateKQoxMaterial(name));
    KQoxTexture* texture = mManager->CreateKQoxTexture("T");
    node->GetPropertyHandler()->ConnectSrc(materials[0]->GetPropertyHandler());
    node->GetPropertyHandler()->ConnectSrc(texture->GetPropertyHandler()); // filtered out
    EXPECT_EQ(mesh->GMC(0), 1);
    for (int i = 1; i < 5; ++i)
        node->GetPropertyHandler()->ConnectSrc(materials[i]->GetPropertyHandler());
    EXPECT_EQ(mesh->GMC(0), 2);
    EXPECT_EQ(mesh->GM(4, 0), materials[4]);
    EXPECT_EQ(mesh->GM(5, 0), nullptr);
    EXPECT_EQ(mesh->GMI("A", 0), -1); // names are looked up in the direct array only
    // Connecting a material to a node of the scene puts it in the entity.
    EXPECT_NE(Entity().GetMaterial(KString("Material::C")), nullptr);
    // Index-mode elements add nothing to the entity of their own.
    node->SetNodeAttribute(nullptr);
    EXPECT_EQ(Entity().GetMaterialCount(), 5);
}

// A material connected to something that is not a node only passes the
// notification on.
TEST_F(GeometryTest, MaterialConnectedToAnotherMaterial)
{
    KQoxMaterial* a = mManager->CreateKQoxMaterial("A");
    KQoxMaterial* b = mManager->CreateKQoxMaterial("B");
    EXPECT_TRUE(b->GetPropertyHandler()->ConnectSrc(a->GetPropertyHandler()));
    EXPECT_EQ(Entity().GetMaterialCount(), 0);
    // A node outside any scene has no entity.
    KQoxNode* loose = mManager->CreateKQoxNode("Loose");
    EXPECT_TRUE(loose->GetPropertyHandler()->ConnectSrc(a->GetPropertyHandler()));
}

// Geometry set on a node outside the scene counts in the scene once the node
// joins it, and stops counting when the node leaves.
TEST_F(GeometryTest, GeometryFollowsItsNodeIntoTheScene)
{
    KQoxMesh* mesh = mManager->CreateKQoxMesh();
    mesh->AM(mManager->CreateKQoxMaterial("Paint"), 0);
    KQoxNode* node = mManager->CreateKQoxNode("Body");
    node->SetNodeAttribute(mesh);
    EXPECT_EQ(mesh->GetEntity(), nullptr);
    mScene->GetRootNode()->AddChild(node);
    EXPECT_EQ(mesh->GetEntity(), &Entity());
    EXPECT_EQ(Entity().GetMaterialCount(), 1);
    mScene->GetRootNode()->RemoveChild(node);
    EXPECT_EQ(mesh->GetEntity(), nullptr);
    EXPECT_EQ(Entity().GetMaterialCount(), 0);
}

// Many layers and many materials: counts stay balanced when the mesh leaves.
TEST_F(GeometryTest, ManyMaterialsBalanceTheEntity)
{
    KQoxMesh* mesh = mManager->CreateKQoxMesh();
    KQoxNode* node = NodeWith("Body", mesh);
    std::vector<KQoxMaterial*> materials;
    for (int i = 0; i < 2000; ++i)
        materials.push_back(mManager->CreateKQoxMaterial(("M" + std::to_string(i)).c_str()));
    for (int layer = 0; layer < 20; ++layer)
        for (int i = 0; i < 100; ++i)
            ASSERT_EQ(mesh->AM(materials[static_cast<size_t>(layer * 100 + i)], static_cast<unsigned>(layer)), i);
    EXPECT_EQ(Entity().GetMaterialCount(), 2000);
    node->SetNodeAttribute(nullptr);
    EXPECT_EQ(Entity().GetMaterialCount(), 0);
}

} // namespace
} // namespace geometrytest

namespace geometrytest {
namespace {

// The duplicate-name finder looks at the materials, textures and videos of a
// node's geometry, against the entity and against what it met before.
TEST_F(GeometryTest, FinderReportsMaterialTextureAndVideoClashes)
{
    KQoxMesh* inScene = mManager->CreateKQoxMesh();
    inScene->AM(mManager->CreateKQoxMaterial("Paint"), 0);
    NodeWith("Inside", inScene);
    KQoxMesh* outside = mManager->CreateKQoxMesh();
    KQoxMaterial* paint = mManager->CreateKQoxMaterial("Paint");
    outside->AM(paint, 0);
    outside->AM(mManager->CreateKQoxMaterial("Other"), 1);
    KQoxTexture* texture = mManager->CreateKQoxTexture("Wood");
    texture->SetFileName("wood.tif");
    ConnectVideoToNodeUsing(texture, "wood.tif", nullptr, "", "Wood", mManager.get());
    outside->AT(texture, 0);
    KQoxTexture* twin = mManager->CreateKQoxTexture("Wood");
    outside->AT(twin, 2);
    KQoxNode* node = mManager->CreateKQoxNode("Outside");
    node->SetNodeAttribute(outside);

    KQoxNodeFinderDuplicateName quiet(&Entity());
    quiet.Apply(*node);
    EXPECT_EQ(quiet.GetMaterialArray().GetCount(), 2);
    EXPECT_EQ(quiet.GetDuplicateMaterialArray().GetCount(), 0);
    EXPECT_EQ(quiet.GetVideoArray().GetCount(), 1);

    KQoxNodeFinderDuplicateName finder(&Entity());
    for (int state : {1, 2, 3})
        finder.SetState(state, true);
    finder.Apply(*node);
    ASSERT_EQ(finder.GetDuplicateMaterialArray().GetCount(), 1);
    EXPECT_EQ(finder.GetDuplicateMaterialArray()[0], paint);
    ASSERT_EQ(finder.GetDuplicateTextureArray().GetCount(), 1); // the twin, against the first met
    EXPECT_EQ(finder.GetDuplicateTextureArray()[0], twin);
    EXPECT_EQ(finder.GetDuplicateVideoArray().GetCount(), 0);
    EXPECT_EQ(finder.GetTextureArray().GetCount(), 2);
}

} // namespace
} // namespace geometrytest
