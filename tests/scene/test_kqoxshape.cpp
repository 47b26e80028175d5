// Blend shapes on a geometry: names, channels in every take, defaults, the
// version-5 renaming and its revert, cleaning after reading, and copies.

#include "geometry_test_util.h"

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "scene/kqoxtakenode.h"

namespace geometrytest {
namespace {

// A surface geometry that is not a mesh (attribute type 5), for the rules
// that differ between meshes and other geometry.
class TestSurface : public KQoxGeometry
{
public:
    explicit TestSurface(KQoxSdkManager& pManager)
        : KQoxGeometry(pManager)
    {}
    EAttributeType GetAttributeType() const override { return eNURB; }
};

class ShapeTest : public GeometryTest
{
protected:
    KQoxShape* Shape(int pPoints)
    {
        KQoxShape* shape = mManager->CreateKQoxShape();
        shape->InitControlPoints(pPoints);
        return shape;
    }
    // Names of the take node's root channels, in order.
    static std::vector<std::string> Channels(KQoxTakeNode* pTake)
    {
        std::vector<std::string> names;
        KFCurveNode* root = pTake->GetKFCurveNode();
        for (int i = 0; i < root->GetCount(); ++i)
            names.push_back(root->Get(i)->GetName());
        return names;
    }
    static bool HasChannel(KQoxTakeNode* pTake, const char* pName) { return pTake->GetKFCurveNode()->Find(pName) >= 0; }
};

TEST_F(ShapeTest, NamesAreTrimmedAndUnique)
{
    KQoxMesh* mesh = Cube();
    KQoxShape* smile = Shape(8);
    EXPECT_EQ(smile->GetAttributeType(), 0);
    struct
    {
        KQoxShape* mShape;
        const char* mName;
        int mResult;
        const char* mError;
    } rows[] = {
        {nullptr, "Null", -1, "Parameter is NULL."},
        {smile, "  Smile ", 0, nullptr},
        {Shape(8), "Smile", -1, "Shape name is already used."},
        {smile, "Other", -1, "Shape already added."},
        {Shape(8), " \t ", -1, "Shape name is invalid."},
        {Shape(8), nullptr, -1, "Shape name is invalid."},
        {Shape(8), "smile", 1, nullptr},
    };
    for (const auto& row : rows)
    {
        EXPECT_EQ(mesh->AddShape(row.mShape, row.mName), row.mResult) << (row.mName ? row.mName : "null");
        if (row.mError)
        {
            EXPECT_STREQ(mesh->GetLastErrorString(), row.mError);
        }
    }
    EXPECT_STREQ(mesh->GetShapeName(0), "Smile");
    EXPECT_EQ(mesh->GetShapeCount(), 2);
    EXPECT_EQ(mesh->GetShape(2), nullptr);
    EXPECT_EQ(mesh->GetShapeName(-1), nullptr);

    struct
    {
        KString mText;
        const char* mChannel;
    } names[] = {{"Smile ", "Smile (Shape)"}, {"Smile (Shape)  ", "Smile (Shape)"}, {"", " (Shape)"}};
    for (const auto& row : names)
        EXPECT_STREQ(KQoxGeometry::CreateShapeChannelName(row.mText).ToChars(), row.mChannel);
    EXPECT_STREQ(KQoxGeometry::CreateShapeChannelName(0).ToChars(), "Shape 01 (Shape)");
    EXPECT_STREQ(KQoxGeometry::CreateShapeChannelName(11).ToChars(), "Shape 12 (Shape)");
    EXPECT_STREQ(KQoxGeometry::CreateShapeChannelName(-1).ToChars(), "");
    EXPECT_EQ(mesh->GetDefaultShape(0), 0.0); // no node
}

TEST_F(ShapeTest, ChannelsInEveryTake)
{
    KQoxMesh* mesh = Cube();
    KQoxNode* node = NodeWith("Face", nullptr);
    node->CreateTakeNode("Take 001");
    ASSERT_EQ(mesh->AddShape(Shape(8), "Smile"), 0);
    node->SetNodeAttribute(mesh); // existing shape: channels in both takes
    ASSERT_EQ(mesh->AddShape(Shape(8), "Frown"), 1);
    node->CreateTakeNode("Take 002"); // copied from Default
    for (int t = 0; t < node->GetTakeNodeCount(); ++t)
        for (const char* name : {"Smile", "Frown"})
            EXPECT_TRUE(HasChannel(node->GetTakeNode(t), name)) << t << name;
    EXPECT_NE(node->GetPropertyHandler()->FindPropertyByName("Frown"), nullptr);

    mesh->SetDefaultShape(1, 0.75);
    EXPECT_EQ(mesh->GetDefaultShape(1), 0.75);
    EXPECT_EQ(mesh->GetShapeChannel(node->GetTakeNode(1), 1)->GetValue(), 0.0f);
    EXPECT_EQ(mesh->GetShapeChannel(nullptr, 0), nullptr);
    EXPECT_STREQ(mesh->GetLastErrorString(), "No shape curve found.");

    // The 21st shape's curve has the first one's colour.
    for (int s = 2; s < 21; ++s)
        ASSERT_EQ(mesh->AddShape(Shape(8), ("S" + std::to_string(s)).c_str()), s);
    KFCurveNode* first = mesh->GetShapeCurveNode(node->GetDefaultTakeNode(), 0);
    KFCurveNode* twentyFirst = mesh->GetShapeCurveNode(node->GetDefaultTakeNode(), 20);
    ASSERT_TRUE(first && twentyFirst);
    EXPECT_NE(mesh->GetShapeCurveNode(node->GetDefaultTakeNode(), 1), nullptr);

    mesh->ClearShape();
    EXPECT_EQ(mesh->GetShapeCount(), 0);
    for (int t = 0; t < node->GetTakeNodeCount(); ++t)
        EXPECT_FALSE(HasChannel(node->GetTakeNode(t), "Smile")) << t;
    EXPECT_EQ(mesh->GetNode(), node);
    EXPECT_EQ(mManager->GetKQoxShapeCount(), 21); // still the manager's
}

// A non-mesh geometry with shapes Smile and Frown in two takes: the version-5
// names are "Shape NN", the channels "Shape NN (Shape)"; the revert restores
// both in both takes.
TEST_F(ShapeTest, Version5RenameAndRevertAcrossTakes)
{
    auto* surface = new TestSurface(*mManager);
    KQoxNode* node = NodeWith("Surface", surface);
    node->CreateTakeNode("Take 001");
    surface->AddShape(Shape(4), "Smile");
    surface->AddShape(Shape(4), "Frown");
    surface->ClearTemporaryShapeNames();
    for (int t = 0; t < 2; ++t)
        surface->ConvertShapeNamesToV5Format(node->GetTakeNode(t));
    EXPECT_STREQ(surface->GetShapeName(0), "Shape 01");
    EXPECT_STREQ(surface->GetShapeName(1), "Shape 02");
    for (int t = 0; t < 2; ++t)
    {
        EXPECT_TRUE(HasChannel(node->GetTakeNode(t), "Shape 01 (Shape)")) << t;
        EXPECT_TRUE(HasChannel(node->GetTakeNode(t), "Shape 02 (Shape)")) << t;
        EXPECT_FALSE(HasChannel(node->GetTakeNode(t), "Smile")) << t;
    }
    for (int t = 0; t < 2; ++t)
        surface->RevertShapeNamesToV6Format(node->GetTakeNode(t));
    surface->ClearTemporaryShapeNames();
    EXPECT_STREQ(surface->GetShapeName(0), "Smile");
    EXPECT_STREQ(surface->GetShapeName(1), "Frown");
    for (int t = 0; t < 2; ++t)
    {
        EXPECT_TRUE(HasChannel(node->GetTakeNode(t), "Smile")) << t;
        EXPECT_TRUE(HasChannel(node->GetTakeNode(t), "Frown")) << t;
        EXPECT_FALSE(HasChannel(node->GetTakeNode(t), "Shape 01 (Shape)")) << t;
    }
    // The shape still finds its channel after the round trip.
    EXPECT_NE(surface->GetShapeChannel(node->GetTakeNode(1), 1), nullptr);
    delete surface; // not the manager's: leaves its node itself
}

TEST_F(ShapeTest, Version5KeepsMeshShapeNames)
{
    KQoxMesh* mesh = Cube();
    KQoxNode* node = NodeWith("Face", mesh);
    mesh->AddShape(Shape(8), "Smile");
    mesh->ConvertShapeNamesToV5Format(node->GetDefaultTakeNode());
    EXPECT_STREQ(mesh->GetShapeName(0), "Smile");
    EXPECT_TRUE(HasChannel(node->GetDefaultTakeNode(), "Smile (Shape)"));
    mesh->RevertShapeNamesToV6Format(node->GetDefaultTakeNode());
    EXPECT_TRUE(HasChannel(node->GetDefaultTakeNode(), "Smile"));
    // Cleaning leaves mesh channels alone.
    mesh->CleanShapeChannels(node->GetDefaultTakeNode());
    EXPECT_TRUE(HasChannel(node->GetDefaultTakeNode(), "Smile"));
}

// After reading, a surface's channel stored under the suffixed name hands its
// curves to the plain-named one and goes.
TEST_F(ShapeTest, CleaningMovesSuffixedChannels)
{
    auto* surface = new TestSurface(*mManager);
    KQoxNode* node = NodeWith("Surface", surface);
    surface->AddShape(Shape(4), "Smile");
    KFCurveNode* root = node->GetDefaultTakeNode()->GetKFCurveNode();
    KFCurveNode* suffixed = root->FindOrCreate("Shape 01 (Shape)", true);
    suffixed->FCurveGet()->SetValue(0.5f);
    surface->CleanShapeChannels(node->GetDefaultTakeNode());
    EXPECT_FALSE(HasChannel(node->GetDefaultTakeNode(), "Shape 01 (Shape)"));
    EXPECT_EQ(surface->GetDefaultShape(0), 0.5);
    delete surface;
    EXPECT_EQ(node->GetNodeAttribute(), nullptr);
}

TEST_F(ShapeTest, CopiesAndDestructionOrder)
{
    KQoxMesh* mesh = Cube();
    KQoxShape* shape = Shape(4);
    shape->InitNormals();
    shape->GetNormals()[3] = KQoxVector4(0, 1, 0);
    for (int i = 0; i < 4; ++i)
        shape->GetControlPoints()[i] = KQoxVector4(i, i, i, 1);
    mesh->AddShape(shape, "Smile");
    KQoxShape* copy = Shape(0);
    *copy = *shape;
    EXPECT_EQ(copy->GetControlPointsCount(), 4);
    EXPECT_NE(copy->GetLayer(0), shape->GetLayer(0));
    EXPECT_EQ(copy->GetNormals()[3][1], 1.0);
    EXPECT_EQ(copy->GetControlPoints()[2][0], 2.0);

    KQoxMesh* other = mManager->CreateKQoxMesh();
    *other = *mesh;
    ASSERT_EQ(other->GetShapeCount(), 1);
    EXPECT_NE(other->GetShape(0), shape);
    EXPECT_STREQ(other->GetShapeName(0), "Smile");
    // Destroying the geometry destroys its shapes through the manager; the
    // copy's shape stays.
    const int before = mManager->GetKQoxShapeCount();
    mManager->DestroyKQoxNodeAttribute(mesh);
    EXPECT_EQ(mManager->GetKQoxShapeCount(), before - 1);
    EXPECT_EQ(other->GetShape(0)->GetControlPointsCount(), 4);
}

// The scene goes before the geometry that counted in it: the geometry forgets
// the entity and is destroyed later without touching it.
TEST_F(ShapeTest, SceneDestroyedBeforeItsGeometry)
{
    KQoxMesh* mesh = Cube();
    KQoxNode* node = NodeWith("Face", mesh);
    KQoxShape* shape = Shape(8);
    mesh->AddShape(shape, "Smile");
    shape->AM(mManager->CreateKQoxMaterial("Skin"), 0);
    mesh->AM(mManager->CreateKQoxMaterial("Paint"), 0);
    EXPECT_EQ(Entity().GetMaterialCount(), 2);
    mScene->GetRootNode()->RemoveChild(node);
    mManager->DestroyKQoxScene(mScene, true);
    mScene = nullptr;
    EXPECT_EQ(mesh->GetEntity(), nullptr);
    EXPECT_EQ(shape->GetEntity(), nullptr);
    EXPECT_TRUE(mManager->DestroyKQoxNode(node, true));
}

} // namespace
} // namespace geometrytest
