// NURBS creation: the host's creation data (directions swapped, wrapped
// points repeated, knots to six decimals, forms), the surface, its shaded
// precision and its blend shape; surfaces the conversion cannot read.
#include "import_test_util.h"

#include "host/zgeometry.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/qoxzeltnode.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/attributes/kqoxpatch.h"
#include "scene/attributes/kqoxshape.h"

using namespace qoxsdk_600;
using Strings = std::vector<std::string>;
using Kind = zelthost::TranscriptEntry::Kind;

namespace {

struct NurbsFixture
{
    NurbsFixture()
    {
        import.mScene = import.mManager.CreateKQoxScene();
        import.mRootNode = static_cast<QoxZeltNode*>(import.mScene->GetRootNode());
        nurb = import.mManager.CreateKQoxNurb();
        node = static_cast<QoxZeltNode*>(AddNode(import.mManager, import.mRootNode, "sheet", nurb));
    }
    // Orders, counts and forms; point (u, v) at (u, v, 10 v + u); knots 0, 1, 2 ...
    void Surface(unsigned uOrder, int uCount, KQoxNurb::ENurbType uType, unsigned vOrder, int vCount,
                 KQoxNurb::ENurbType vType)
    {
        nurb->SetOrder(uOrder, vOrder);
        nurb->InitControlPoints(uCount, uType, vCount, vType);
        for (int v = 0; v < vCount; ++v)
            for (int u = 0; u < uCount; ++u)
                nurb->GetControlPoints()[v * uCount + u] = KQoxVector4(u, v, 10 * v + u, 1);
        for (int i = 0; i < nurb->GetUKnotCount(); ++i)
            nurb->GetUKnotVector()[i] = i;
        for (int i = 0; i < nurb->GetVKnotCount(); ++i)
            nurb->GetVKnotVector()[i] = i;
    }
    struct Data
    {
        ZPointArray points;
        ZDoubleArray uKnots, vKnots;
        int uDegree = -1, vDegree = -1, uForm = -1, vForm = -1;
        ZStatus status;
        bool uOpened = true, vOpened = true;
    };
    Data Convert()
    {
        Data d;
        import.GetNURBData(nurb, nurb->GetControlPoints(), d.points, d.uKnots, d.vKnots, d.uDegree, d.vDegree, d.uForm,
                           d.vForm, &d.status, &d.uOpened, &d.vOpened);
        return d;
    }
    QoxZeltImport import;
    KQoxNurb* nurb;
    QoxZeltNode* node;
};

// The z of each point: 10 v + u of the file's point it came from.
std::vector<double> Zs(const ZPointArray& points)
{
    std::vector<double> out;
    for (unsigned i = 0; i < points.length(); ++i)
        out.push_back(points[i].z);
    return out;
}

} // namespace

TEST_F(ImportTest, OpenSurfaceSwapsItsDirections)
{
    NurbsFixture f;
    f.Surface(4, 4, KQoxNurb::eOPEN, 3, 3, KQoxNurb::eOPEN);
    const NurbsFixture::Data d = f.Convert();
    ASSERT_TRUE(d.status);
    // The three rows one after the other, each with its four points in U order.
    EXPECT_EQ(Zs(d.points), (std::vector<double>{0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23}));
    EXPECT_EQ(d.points[5].w, 1.0);
    EXPECT_EQ(d.uKnots.items(), (std::vector<double>{1, 2, 3, 4}));       // V knots 0..5 without their ends
    EXPECT_EQ(d.vKnots.items(), (std::vector<double>{1, 2, 3, 4, 5, 6})); // U knots 0..7 without their ends
    EXPECT_EQ(d.uDegree, 2);
    EXPECT_EQ(d.vDegree, 3);
    EXPECT_EQ(d.uForm, 1);
    EXPECT_EQ(d.vForm, 1);
    EXPECT_FALSE(d.uOpened);
    EXPECT_FALSE(d.vOpened);

    f.nurb->SetStep(3, 7);
    f.import.ImportGeometry(f.node);
    ASSERT_NE(f.node->GetDagPath(), nullptr);
    ZDagPath path = *f.node->GetDagPath();
    path.extendToShape();
    ZFnNurbsSurface surface(path);
    EXPECT_EQ(surface.numCVsInU(), 3);
    EXPECT_EQ(surface.numCVsInV(), 4);
    EXPECT_EQ(surface.degreeU(), 2);
    EXPECT_EQ(surface.formInV(), ZFnNurbsSurface::kOpen);
    EXPECT_EQ(surface.findPlug("curvePrecisionShaded").asInt(), 7);
    EXPECT_NE(Dag().find("sheet (transform)\n  nurbsSurfaceShape1 (nurbsSurface)\n"), std::string::npos) << Dag();
}

TEST_F(ImportTest, WrappedDirectionsRepeatTheirFirstPoints)
{
    {
        // Periodic in U, order 4, even knots: the first 3 points of each row again.
        NurbsFixture f;
        f.Surface(4, 4, KQoxNurb::ePERIODIC, 2, 2, KQoxNurb::eOPEN);
        const NurbsFixture::Data d = f.Convert();
        ASSERT_TRUE(d.status);
        EXPECT_EQ(Zs(d.points), (std::vector<double>{0, 1, 2, 3, 0, 1, 2, 10, 11, 12, 13, 10, 11, 12}));
        EXPECT_EQ(d.vKnots.length(), 9u); // 4 + 2 x 4 - 1 - 2
        EXPECT_EQ(d.vForm, 3);
        EXPECT_EQ(d.uForm, 1);
        f.nurb->SetStep(-3, -1);
        f.import.ImportGeometry(f.node);
        ZDagPath path = *f.node->GetDagPath();
        path.extendToShape();
        ZFnNurbsSurface surface(path);
        EXPECT_EQ(surface.formInV(), ZFnNurbsSurface::kPeriodic);
        EXPECT_EQ(surface.findPlug("curvePrecisionShaded").asInt(), 0);
        EXPECT_FALSE(f.node->mUSeam);
    }
    {
        // One uneven spacing: open on the host, the U-opened flag set.
        NurbsFixture f;
        f.Surface(3, 3, KQoxNurb::ePERIODIC, 2, 2, KQoxNurb::eOPEN);
        f.nurb->GetUKnotVector()[4] += 0.001;
        const NurbsFixture::Data d = f.Convert();
        EXPECT_EQ(d.vForm, 1);
        EXPECT_TRUE(d.uOpened);
        EXPECT_FALSE(d.vOpened);
        EXPECT_EQ(d.points.length(), 2u * 5u); // still repeated
        f.import.ImportGeometry(f.node);
        EXPECT_TRUE(f.node->mUSeam);
        EXPECT_FALSE(f.node->mVSeam);
    }
    {
        // Closed in V is Periodic in V: rows 0 .. order - 2 come again.
        NurbsFixture f;
        f.Surface(2, 2, KQoxNurb::eOPEN, 3, 3, KQoxNurb::eCLOSED);
        const NurbsFixture::Data d = f.Convert();
        EXPECT_EQ(Zs(d.points), (std::vector<double>{0, 1, 10, 11, 20, 21, 0, 1, 10, 11}));
        EXPECT_EQ(d.uForm, 3);
    }
}

TEST_F(ImportTest, KnotsAreBroughtToSixDecimals)
{
    NurbsFixture f;
    f.Surface(2, 2, KQoxNurb::eOPEN, 2, 2, KQoxNurb::eOPEN);
    f.nurb->GetUKnotVector()[1] = 0.1234564;
    f.nurb->GetUKnotVector()[2] = 0.1234566;
    const NurbsFixture::Data d = f.Convert();
    ASSERT_EQ(d.vKnots.length(), 2u);
    EXPECT_EQ(d.vKnots[0], 0.123456);
    EXPECT_EQ(d.vKnots[1], 0.123457);
}

TEST_F(ImportTest, SurfacesTheConversionCannotReadAreNotMade)
{
    const struct
    {
        const char* mWhat;
        std::function<void(NurbsFixture&)> mBreak;
    } rows[] = {
        // Periodic with order 4 over two points: three points to repeat.
        {"wrap past the row", [](NurbsFixture& f) { f.Surface(4, 2, KQoxNurb::ePERIODIC, 2, 2, KQoxNurb::eOPEN); }},
        {"wrap past the column", [](NurbsFixture& f) { f.Surface(2, 2, KQoxNurb::eOPEN, 5, 3, KQoxNurb::eCLOSED); }},
        {"knots sized for another order",
         [](NurbsFixture& f) {
             f.Surface(2, 3, KQoxNurb::eOPEN, 2, 2, KQoxNurb::eOPEN);
             f.nurb->SetOrder(3, 2);
         }},
        {"order 0", [](NurbsFixture& f) { f.Surface(0, 2, KQoxNurb::eOPEN, 2, 2, KQoxNurb::eOPEN); }},
        {"no points", [](NurbsFixture& f) { f.Surface(2, 0, KQoxNurb::eOPEN, 2, 2, KQoxNurb::eOPEN); }},
    };
    for (const auto& row : rows)
    {
        zelthost::Host::Get().NewScene();
        NurbsFixture f;
        row.mBreak(f);
        const NurbsFixture::Data d = f.Convert();
        EXPECT_FALSE(d.status) << row.mWhat;
        EXPECT_EQ(d.points.length(), 0u) << row.mWhat;
        zelthost::Host::Get().ClearTranscript();
        f.import.ImportGeometry(f.node);
        const Strings errors = Entries(Kind::kError);
        ASSERT_EQ(errors.size(), 1u) << row.mWhat;
        EXPECT_EQ(errors[0].rfind("Cannot create Nurb: ", 0), 0u) << errors[0];
        // The transform was made and named; no surface under it.
        EXPECT_NE(Dag().find("sheet (transform)\n"), std::string::npos) << row.mWhat;
        EXPECT_EQ(Dag().find("nurbsSurface"), std::string::npos) << row.mWhat;
    }
}

TEST_F(ImportTest, SurfaceWithShapesGetsOneBlendShape)
{
    NurbsFixture f;
    f.Surface(2, 2, KQoxNurb::eOPEN, 2, 2, KQoxNurb::eOPEN);
    KQoxShape* shape = f.import.mManager.CreateKQoxShape();
    shape->InitControlPoints(4);
    f.nurb->AddShape(shape, "bulge");
    f.import.ImportGeometry(f.node);
    EXPECT_NE(zelthost::Host::Get().Info().find("blend shapes: 1"), std::string::npos);
}

TEST_F(ImportTest, PatchesAreMadeAsNurbsSurfaces)
{
    // (The native file does not keep patches yet: the patch is given directly.)
    NurbsFixture f;
    KQoxPatch* patch = f.import.mManager.CreateKQoxPatch();
    patch->InitControlPoints(4, KQoxPatch::eBEZIER, 4, KQoxPatch::eBEZIER);
    for (int i = 0; i < 16; ++i)
        patch->GetControlPoints()[i] = KQoxVector4(i % 4, i / 4, 0, 1);
    QoxZeltNode* node = static_cast<QoxZeltNode*>(AddNode(f.import.mManager, f.import.mRootNode, "bezier", patch));
    zelthost::Host::Get().ClearTranscript();
    f.import.ImportGeometry(node);
    EXPECT_NE(Dag().find("bezier (transform)\n  nurbsSurfaceShape1 (nurbsSurface)\n"), std::string::npos) << Dag();
    EXPECT_NE(node->GetNurb(), nullptr);
    EXPECT_TRUE(Entries(Kind::kError).empty());
}

TEST_F(ImportTest, DroppedRootWrapperGetsNoHostNode)
{
    // A wrapper with no transform of its own is dropped: its children go to the top.
    ASSERT_TRUE(Import([](KQoxSdkManager& m, KQoxScene& s) {
        KQoxNode* wrapper = AddNode(m, s.GetRootNode(), "Qox_Root");
        AddNode(m, wrapper, "inside");
    }));
    EXPECT_EQ(Dag().find("Qox_Root"), std::string::npos) << Dag();
    EXPECT_NE(Dag().find("\ninside (transform)\n  locatorShape1 (locator)\n"), std::string::npos) << Dag();
}
