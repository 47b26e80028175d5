// Shape blending and skin baking shared by the geometry writers, and the
// texture copy beside a written file.

#include <gtest/gtest.h>

#include <memory>

#include "common/qox_test_common.h"
#include "formats/kqoxdeformedgeometry.h"
#include "formats/kqoxtexturecopy.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

KQoxVector4 P(double x, double y, double z)
{
    return KQoxVector4(x, y, z, 1.0);
}

struct Rig
{
    std::unique_ptr<KQoxSdkManager> manager{KQoxSdkManager::CreateKQoxSdkManager()};
    KQoxNode* node = manager->CreateKQoxNode("mesh");
    KQoxMesh* mesh = manager->CreateKQoxMesh();

    explicit Rig(int points)
    {
        mesh->InitControlPoints(points);
        for (int i = 0; i < points; ++i)
            mesh->GetControlPoints()[i] = P(i, 0, 0);
        node->SetNodeAttribute(mesh);
    }
    void AddShape(const KQoxVector4& offset, double weight, int points = -1)
    {
        KQoxShape* shape = manager->CreateKQoxShape();
        const int n = points < 0 ? mesh->GetControlPointsCount() : points;
        shape->InitControlPoints(n);
        for (int i = 0; i < n; ++i)
            shape->GetControlPoints()[i] = mesh->GetControlPoints()[i] + offset;
        const int index = mesh->AddShape(shape, ("s" + std::to_string(mesh->GetShapeCount())).c_str());
        mesh->SetDefaultShape(index, weight);
    }
    // A link to a joint translated by jointT, bound with identity matrices.
    KQoxLink* AddLink(KQoxLink::ELinkMode mode, const KQoxVector4& jointT,
                      std::initializer_list<std::pair<int, double>> entries)
    {
        KQoxNode* joint = manager->CreateKQoxNode("joint");
        joint->SetDefaultT(jointT);
        KQoxLink* link = manager->CreateKQoxLink();
        link->SetLink(joint);
        link->SetLinkMode(mode);
        for (auto& e : entries)
            link->AddControlPointIndex(e.first, e.second);
        mesh->AddLink(link);
        return link;
    }
    std::vector<KQoxVector4> Skin()
    {
        std::vector<KQoxVector4> pts(mesh->GetControlPoints(),
                                     mesh->GetControlPoints() + mesh->GetControlPointsCount());
        KQoxXMatrix identity;
        KQoxDeformedGeometry::ComputeLinkDeformation(identity, mesh, pts.data());
        return pts;
    }
};

void ExpectPoint(const KQoxVector4& p, double x, double y, double z)
{
    EXPECT_NEAR(p[0], x, 1e-12);
    EXPECT_NEAR(p[1], y, 1e-12);
    EXPECT_NEAR(p[2], z, 1e-12);
}

} // namespace

TEST(DeformedGeometry, ShapesAddAgainstTheUndeformedPoints)
{
    struct Case
    {
        std::vector<std::pair<double, double>> shapes; // (x offset, weight)
        double expectedDx;
    } cases[] = {
        {{}, 0.0},
        {{{1.0, 1.0}}, 1.0},
        {{{1.0, 0.5}}, 0.5},
        {{{1.0, 1.0}, {2.0, 1.0}}, 3.0},
        {{{1.0, 0.5}, {1.0, 0.5}}, 1.0},
        {{{2.0, -1.5}}, -3.0},
    };
    for (const Case& c : cases)
    {
        Rig rig(3);
        for (auto& s : c.shapes)
            rig.AddShape(KQoxVector4(s.first, 0, 0, 0), s.second);
        std::vector<KQoxVector4> pts(rig.mesh->GetControlPoints(), rig.mesh->GetControlPoints() + 3);
        KQoxDeformedGeometry::ComputeShapeDeformation(rig.node, rig.mesh, pts.data());
        for (int i = 0; i < 3; ++i)
            ExpectPoint(pts[i], i + c.expectedDx, 0, 0);
    }
}

TEST(DeformedGeometry, ShortShapeMovesOnlyThePointsItHas)
{
    Rig rig(4);
    rig.AddShape(KQoxVector4(0, 1, 0, 0), 1.0, 2);
    std::vector<KQoxVector4> pts(rig.mesh->GetControlPoints(), rig.mesh->GetControlPoints() + 4);
    KQoxDeformedGeometry::ComputeShapeDeformation(nullptr, rig.mesh, pts.data());
    ExpectPoint(pts[1], 1, 1, 0);
    ExpectPoint(pts[2], 2, 0, 0);
    ExpectPoint(pts[3], 3, 0, 0);
}

TEST(DeformedGeometry, SkinModesByHand)
{
    struct Case
    {
        const char* what;
        KQoxLink::ELinkMode mode;
        std::vector<std::pair<double, double>> links; // (joint x translation, weight on point 1)
        double expectedX1;
    } cases[] = {
        {"normalised, bind pose", KQoxLink::eNORMALIZE, {{0.0, 0.5}}, 1.0},
        {"normalised, two links average", KQoxLink::eNORMALIZE, {{4.0, 0.25}, {0.0, 0.25}}, 3.0},
        {"total one, quarter weight", KQoxLink::eTOTAL1, {{4.0, 0.25}}, 2.0},
        {"additive, full weight", KQoxLink::eADDITIVE, {{4.0, 1.0}}, 5.0},
        {"additive, two links compose", KQoxLink::eADDITIVE, {{4.0, 1.0}, {2.0, 1.0}}, 7.0},
        {"additive, half weight", KQoxLink::eADDITIVE, {{4.0, 0.5}}, 3.0},
        {"zero weight ignored", KQoxLink::eNORMALIZE, {{4.0, 0.0}}, 1.0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Rig rig(3);
        for (auto& l : c.links)
            rig.AddLink(c.mode, KQoxVector4(l.first, 0, 0), {{1, l.second}});
        std::vector<KQoxVector4> pts = rig.Skin();
        ExpectPoint(pts[0], 0, 0, 0); // no link reaches it
        ExpectPoint(pts[1], c.expectedX1, 0, 0);
        ExpectPoint(pts[2], 2, 0, 0);
    }
}

TEST(DeformedGeometry, ModeOfFirstLinkGovernsAndBadEntriesAreSkipped)
{
    Rig rig(2);
    rig.AddLink(KQoxLink::eTOTAL1, KQoxVector4(4, 0, 0), {{1, 0.25}, {-5, 1.0}, {2, 1.0}, {1000000, 0.5}});
    rig.AddLink(KQoxLink::eADDITIVE, KQoxVector4(0, 0, 0), {});
    KQoxLink* orphan = rig.manager->CreateKQoxLink(); // no linked node: ignored
    orphan->AddControlPointIndex(0, 1.0);
    rig.mesh->AddLink(orphan);
    std::vector<KQoxVector4> pts = rig.Skin();
    ExpectPoint(pts[0], 0, 0, 0);
    ExpectPoint(pts[1], 2, 0, 0);
}

TEST(DeformedGeometry, GlobalPositionComposesParentsOnTheLeft)
{
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxNode* parent = manager->CreateKQoxNode("p");
    KQoxNode* child = manager->CreateKQoxNode("c");
    parent->AddChild(child);
    parent->SetDefaultR(KQoxVector4(0, 0, 90));
    parent->SetDefaultT(KQoxVector4(10, 0, 0));
    child->SetDefaultT(KQoxVector4(1, 0, 0));
    KQoxVector4 p = KQoxDeformedGeometry::GetGlobalPosition(child).MultT(KQoxVector4(0, 0, 0));
    ExpectPoint(p, 10, 1, 0); // the child's offset turned by the parent's rotation
    // A deep chain does not recurse.
    KQoxNode* last = child;
    for (int i = 0; i < 2000; ++i)
    {
        KQoxNode* n = manager->CreateKQoxNode("n");
        n->SetDefaultT(KQoxVector4(0, 0, 1e-3));
        last->AddChild(n);
        last = n;
    }
    p = KQoxDeformedGeometry::GetGlobalPosition(last).MultT(KQoxVector4(0, 0, 0));
    EXPECT_NEAR(p[2], 2.0, 1e-9);
}

TEST(DeformedGeometry, MatrixHelpersWorkOnAllSixteenElements)
{
    KQoxXMatrix m;
    KQoxDeformedGeometry::MatrixScale(m, 3.0);
    KQoxDeformedGeometry::MatrixAddToDiagonal(m, 1.0);
    KQoxXMatrix n;
    KQoxDeformedGeometry::MatrixAdd(m, n);
    const double* e = m;
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(e[i], i % 5 == 0 ? 5.0 : 0.0) << i;
}

TEST(TextureCopy, CopiesSkipsAndReportsMissingFiles)
{
    qoxtest::TempDir src, dst;
    const std::string image = src.File("brick.tif");
    std::string payload(200000, 'x');
    payload[12345] = 'y';
    qoxtest::WriteFile(image, payload);
    const std::string obj = dst.File("scene.obj");
    KString message;

    EXPECT_TRUE(CopyTextureFile(image.c_str(), obj.c_str(), message));
    EXPECT_EQ(qoxtest::ReadFile(dst.File("brick.tif")), payload);
    EXPECT_STREQ(message.ToChars(), "");

    // There with the image's bytes: used as is, no message.
    KString name;
    EXPECT_TRUE(CopyTextureFile(image.c_str(), obj.c_str(), message, &name));
    EXPECT_STREQ(name.ToChars(), "brick.tif");
    // There with other bytes: kept, the copy numbered.
    qoxtest::WriteFile(dst.File("brick.tif"), "kept");
    EXPECT_TRUE(CopyTextureFile(image.c_str(), obj.c_str(), message, &name));
    EXPECT_EQ(qoxtest::ReadFile(dst.File("brick.tif")), "kept");
    EXPECT_STREQ(name.ToChars(), "brick-1.tif");
    EXPECT_EQ(qoxtest::ReadFile(dst.File("brick-1.tif")), payload);

    const std::string missing = src.File("none.tif");
    EXPECT_FALSE(CopyTextureFile(missing.c_str(), obj.c_str(), message));
    const std::string badDir = dst.File("no/such/dir/scene.obj");
    EXPECT_FALSE(CopyTextureFile(image.c_str(), badDir.c_str(), message));
    EXPECT_EQ(std::string(message.ToChars()), "Unable to locate texture file \"" + missing + "\".\n" +
                                                  "Error writing texture file \"" + dst.File("no/such/dir/brick.tif") +
                                                  "\".\n");
}
